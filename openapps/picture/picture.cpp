#include "openapps/picture/picture.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "core/automation/dispatch_helpers.h"
#include "core/host/host_services.h"
#include "openapps/picture/bitmap_utils.h"
#include "openapps/picture/picture_errors.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

inline constexpr GUID kImageFormatService = IpwImageFormatService::iid;

template <class I, class P>
void PutOut(I** out, const P& p) {
  if (!out) throw EOleSysError(u"Invalid pointer", E_POINTER);
  *out = p ? static_cast<I*>(p.Get()) : nullptr;
  if (*out) (*out)->AddRef();
}

template <class T>
void PutValue(T* out, T value) {
  if (!out) throw EOleSysError(u"Invalid pointer", E_POINTER);
  *out = value;
}

[[noreturn]] void InvalidValue() { throw Exception(u"Invalid value."); }
[[noreturn]] void InvalidArguments() { throw Exception(u"Invalid arguments."); }
[[noreturn]] void SystemError() { throw Exception(u"System error."); }

// The extension of a file name with its dot ("" when it has none).
WideString ExtensionOf(const WideString& fileName) {
  const auto dot = fileName.find_last_of(u'.');
  const auto slash = fileName.find_last_of(u"/\\");
  if (dot == WideString::npos || (slash != WideString::npos && dot < slash)) return WideString();
  return fileName.substr(dot);
}

std::vector<ComPtr<IpwImageFormat>> Formats(IpwImageFormatService* service) {
  std::vector<ComPtr<IpwImageFormat>> formats;
  SafeCallCheck(service->Reset());
  ForEachHostItem<IpwImageFormat>(service, [&](IpwImageFormat* f) { formats.emplace_back(f); });
  return formats;
}

bool HasExtension(IpwImageFormat* format, const WideString& extension) {
  std::int32_t count = 0;
  SafeCallCheck(format->GetExtensionCount(&count));
  for (std::int32_t i = 0; i < count; ++i) {
    BString e;
    SafeCallCheck(format->GetExtension(i, e.Put()));
    if (SameTextIgnoringCase(u"." + e.Str(), extension)) return true;
  }
  return false;
}

ComPtr<IpwImageFormatService> FormatService(IcvBaseManager* manager) {
  auto service = GetHostService<IpwImageFormatService>(manager, kImageFormatService);
  if (!service) throw Exception(u"The host has no image formats.");
  return service;
}

// The memory context selection of another bitmap, undone at scope end.
class TempSelection {
 public:
  explicit TempSelection(HBITMAP bitmap) {
    dc_ = CreateCompatibleDC(0);
    if (!dc_) throw EpwPictureSysError(false);
    previous_ = SelectObject(dc_, bitmap);
    if (!previous_) {
      DeleteDC(dc_);
      SystemError();
    }
  }
  ~TempSelection() {
    SelectObject(dc_, previous_);
    DeleteDC(dc_);
  }
  TempSelection(const TempSelection&) = delete;
  TempSelection& operator=(const TempSelection&) = delete;
  HDC dc() const { return dc_; }

 private:
  HDC dc_ = 0;
  HGDIOBJ previous_ = 0;
};

// A bitmap handle freed unless released.
struct OwnedBitmap {
  HBITMAP handle = 0;
  ~OwnedBitmap() {
    if (handle) DeleteObject(handle);
  }
  HBITMAP Release() { return std::exchange(handle, 0); }
};

}  // namespace

// ---- TpwPictureSize ----------------------------------------------------------------------

TpwPictureSize::TpwPictureSize(TpwPicture* picture, std::int32_t width, std::int32_t height)
    : AutoImplements({IpwSize::iid}), Width_(width), Height_(height), Picture_(picture) {}

HRESULT TpwPictureSize::get_Width(std::int32_t* value) {
  return SafeCall([&] { PutValue(value, Width_); });
}
HRESULT TpwPictureSize::get_Height(std::int32_t* value) {
  return SafeCall([&] { PutValue(value, Height_); });
}

HRESULT TpwPictureSize::put_Width(std::int32_t value) {
  return SafeCall([&] {
    if (!Picture_) {
      Width_ = value;
      return;
    }
    auto detached = MakeObject<TpwPictureSize>(nullptr, value, Height_);
    SafeCallCheck(Picture_->put_Size(detached.Get()));
  });
}

HRESULT TpwPictureSize::put_Height(std::int32_t value) {
  return SafeCall([&] {
    if (!Picture_) {
      Height_ = value;
      return;
    }
    auto detached = MakeObject<TpwPictureSize>(nullptr, Width_, value);
    SafeCallCheck(Picture_->put_Size(detached.Get()));
  });
}

HRESULT TpwPictureSize::DetachPicture() {
  Picture_ = nullptr;
  return S_OK;
}

HRESULT TpwPictureSize::SetSize(std::int32_t width, std::int32_t height) {
  Width_ = width;
  Height_ = height;
  return S_OK;
}

// ---- TPictureRect ------------------------------------------------------------------------

TPictureRect::TPictureRect(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height)
    : AutoImplements({IpwRect::iid}), Left_(left), Top_(top), Right_(left + width), Bottom_(top + height) {}

HRESULT TPictureRect::get_Left(std::int32_t* v) {
  return SafeCall([&] { PutValue(v, Left_); });
}
HRESULT TPictureRect::put_Left(std::int32_t v) { return Left_ = v, S_OK; }
HRESULT TPictureRect::get_Top(std::int32_t* v) {
  return SafeCall([&] { PutValue(v, Top_); });
}
HRESULT TPictureRect::put_Top(std::int32_t v) { return Top_ = v, S_OK; }
HRESULT TPictureRect::get_Right(std::int32_t* v) {
  return SafeCall([&] { PutValue(v, Right_); });
}
HRESULT TPictureRect::put_Right(std::int32_t v) { return Right_ = v, S_OK; }
HRESULT TPictureRect::get_Bottom(std::int32_t* v) {
  return SafeCall([&] { PutValue(v, Bottom_); });
}
HRESULT TPictureRect::put_Bottom(std::int32_t v) { return Bottom_ = v, S_OK; }
HRESULT TPictureRect::get_Width(std::int32_t* v) {
  return SafeCall([&] { PutValue(v, std::abs(Right_ - Left_)); });
}
HRESULT TPictureRect::get_Height(std::int32_t* v) {
  return SafeCall([&] { PutValue(v, std::abs(Bottom_ - Top_)); });
}

// ---- TpwPicture --------------------------------------------------------------------------

TpwPicture::TpwPicture(IcvBaseManager* manager) : AutoImplements({IpwPicture2::iid}), Manager_(manager) {
  SizeObject_ = MakeObject<TpwPictureSize>(this, 0, 0);
}

TpwPicture::TpwPicture(IcvBaseManager* manager, HBITMAP templateBitmap, std::int32_t width, std::int32_t height)
    : TpwPicture(manager) {
  const HDC screen = GetDC(0);
  const HBITMAP bitmap = CreateBitmapByTemplate(screen, templateBitmap, width, height);
  ReleaseDC(0, screen);
  if (!bitmap) {
    SizeObject_->DetachPicture();
    throw EpwPictureSysError(false);
  }
  Bitmap_ = bitmap;
  SizeObject_->SetSize(width, height);
}

TpwPicture::~TpwPicture() {
  ReleaseSelection();
  if (Bitmap_) DeleteObject(Bitmap_);
  if (SizeObject_) SizeObject_->DetachPicture();
}

void TpwPicture::SelectBitmap() {
  if (MemoryDC_) return;
  MemoryDC_ = CreateCompatibleDC(0);
  if (!MemoryDC_) throw EpwPictureSysError(false);
  PreviousObject_ = SelectObject(MemoryDC_, Bitmap_);
  if (!PreviousObject_) {
    DeleteDC(MemoryDC_);
    MemoryDC_ = 0;
    SystemError();
  }
}

void TpwPicture::ReleaseSelection() {
  if (!MemoryDC_) return;
  SelectObject(MemoryDC_, PreviousObject_);
  DeleteDC(MemoryDC_);
  MemoryDC_ = 0;
  PreviousObject_ = 0;
}

void TpwPicture::SetHandle(HBITMAP bitmap) {
  if (bitmap == 0) {
    SizeObject_->SetSize(0, 0);
  } else {
    BITMAP info;
    if (GetObject(bitmap, info)) SizeObject_->SetSize(info.bmWidth, std::abs(info.bmHeight));
  }
  ReleaseSelection();
  if (Bitmap_ && Bitmap_ != bitmap) DeleteObject(Bitmap_);
  Bitmap_ = bitmap;
}

void TpwPicture::CheckBitmap() const {
  if (!Bitmap_) throw EpwEmptyPicture();
  if (GetObjectType(Bitmap_) != OBJ_BITMAP) throw EpwInvalidPicture();
}

HRESULT TpwPicture::get_Handle(std::int32_t* bitmap) {
  return SafeCall([&] {
    ReleaseSelection();
    PutValue(bitmap, Bitmap_);
  });
}

HRESULT TpwPicture::get_Size(IpwSize** value) {
  return SafeCall([&] { PutOut(value, ComPtr<IpwSize>(static_cast<IpwSize*>(SizeObject_.Get()))); });
}

HRESULT TpwPicture::put_Size(IpwSize* value) {
  return SafeCall([&] {
    if (!value) InvalidValue();
    CheckBitmap();
    std::int32_t width = 0, height = 0;
    SafeCallCheck(value->get_Width(&width));
    SafeCallCheck(value->get_Height(&height));
    if (width <= 0 || height <= 0) InvalidValue();
    if (width == SizeObject_->Width() && height == SizeObject_->Height()) return;
    Resize(width, height);
  });
}

void TpwPicture::Resize(std::int32_t width, std::int32_t height) {
  SelectBitmap();
  struct ReleaseAtEnd {
    TpwPicture* p;
    ~ReleaseAtEnd() { p->ReleaseSelection(); }
  } releaseAtEnd{this};
  OwnedBitmap made;
  made.handle = SafeCreateCompatibleBitmap(MemoryDC_, width, height);
  if (!made.handle) throw EpwPictureSysError(false);
  {
    TempSelection target(made.handle);
    if (!BitBlt(target.dc(), 0, 0, width, height, MemoryDC_, 0, 0, SRCCOPY)) throw EpwPictureSysError(false);
  }
  ReleaseSelection();
  SetHandle(made.Release());
}

HRESULT TpwPicture::SaveToFile(BSTR fileName, const VARIANT& options, VARIANT_BOOL* success) {
  return SafeCall(
      [&] { PutValue(success, DoSave(WideString(BstrView(fileName)), options) ? VARIANT_TRUE : VARIANT_FALSE); });
}

bool TpwPicture::DoSave(const WideString& fileName, const VARIANT& optionsValue) {
  if (!Bitmap_) return false;
  if (GetObjectType(Bitmap_) != OBJ_BITMAP) throw EpwInvalidPicture();
  ReleaseSelection();
  const VARIANT& v = VariantDeref(optionsValue);
  ComPtr<IUnknown> options;
  if (v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) {
    options = v.vt == VT_DISPATCH ? ComPtr<IUnknown>(static_cast<IUnknown*>(v.pdispVal)) : ComPtr<IUnknown>(v.punkVal);
  } else if (v.vt != VT_EMPTY && v.vt != VT_NULL && v.vt != VT_ERROR) {
    InvalidArguments();
  }
  auto service = FormatService(Manager_.Get());
  // The file name goes by reference: a format may change it; what comes back is freed here.
  struct ByRefName {
    BSTR value;
    explicit ByRefName(const WideString& s) : value(SysAllocString(s)) {}
    ~ByRefName() { SysFreeString(value); }
  };
  if (!options) {
    const WideString extension = ExtensionOf(fileName);
    for (const auto& format : Formats(service.Get())) {
      if (!HasExtension(format.Get(), extension)) continue;
      VARIANT_BOOL saved = VARIANT_FALSE;
      ByRefName name(fileName);
      SafeCallCheck(format->Save(&name.value, Bitmap_, nullptr, &saved));
      if (saved) return true;
    }
    return false;
  }
  auto formatOptions = QueryAs<IpwImageFormatOptions>(options.Get());
  if (!formatOptions) InvalidArguments();
  VARIANT_BOOL saved = VARIANT_FALSE;
  BString text;
  ByRefName name(fileName);
  SafeCallCheck(
      service->SavePicture(static_cast<IpwPicture*>(this), &name.value, formatOptions.Get(), text.Put(), &saved));
  return saved != VARIANT_FALSE;
}

HRESULT TpwPicture::LoadFromFile(BSTR fileName, VARIANT_BOOL* success) {
  return SafeCall([&] { PutValue(success, DoLoad(WideString(BstrView(fileName))) ? VARIANT_TRUE : VARIANT_FALSE); });
}

bool TpwPicture::DoLoad(const WideString& fileName) {
  SetHandle(0);
  const WideString extension = ExtensionOf(fileName);
  auto service = FormatService(Manager_.Get());
  const auto formats = Formats(service.Get());
  BString name(fileName);
  HBITMAP loaded = 0;
  std::size_t tried = formats.size();
  for (std::size_t i = 0; i < formats.size(); ++i) {
    if (!HasExtension(formats[i].Get(), extension)) continue;
    tried = i;
    std::int32_t h = 0;
    SafeCallCheck(formats[i]->Load(name.Get(), &h));
    loaded = h;
    break;
  }
  for (std::size_t i = 0; loaded == 0 && i < formats.size(); ++i) {
    if (i == tried) continue;
    std::int32_t h = 0;
    SafeCallCheck(formats[i]->Load(name.Get(), &h));
    loaded = h;
  }
  SetHandle(loaded);
  return Bitmap_ != 0;
}

HRESULT TpwPicture::CopyToClipboard() {
  return SafeCall([&] {
    if (!Bitmap_) return;
    if (GetObjectType(Bitmap_) != OBJ_BITMAP) throw EpwInvalidPicture();
    ReleaseSelection();
    if (!SetClipboardBitmap(Bitmap_)) throw EpwPictureSysError(false);
  });
}

HRESULT TpwPicture::get_Pixels(std::int32_t x, std::int32_t y, std::int32_t* color) {
  return SafeCall([&] {
    CheckBitmap();
    const bool wasSelected = MemoryDC_ != 0;
    SelectBitmap();
    const COLORREF c = GetPixel(MemoryDC_, x, y);
    if (!wasSelected) ReleaseSelection();
    if (c == CLR_INVALID) throw EpwInvalidPictureCoordinates();
    PutValue(color, static_cast<std::int32_t>(c));
  });
}

HRESULT TpwPicture::put_Pixels(std::int32_t x, std::int32_t y, std::int32_t color) {
  return SafeCall([&] {
    CheckBitmap();
    const bool wasSelected = MemoryDC_ != 0;
    SelectBitmap();
    const COLORREF c = SetPixel(MemoryDC_, x, y, static_cast<COLORREF>(color));
    if (!wasSelected) ReleaseSelection();
    if (c == CLR_INVALID) throw EpwInvalidPictureCoordinates();
  });
}

HRESULT TpwPicture::GetRect(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                            IpwPicture** result) {
  return SafeCall([&] { PutOut(result, CopyRect(x, y, width, height)); });
}

ComPtr<IpwPicture> TpwPicture::CopyRect(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
  CheckBitmap();
  const std::int64_t w0 = SizeObject_->Width(), h0 = SizeObject_->Height();
  std::int64_t w = width == -1 ? w0 - x : width;
  std::int64_t h = height == -1 ? h0 - y : height;
  if (w <= 0 || h <= 0 || x >= w0 || y >= h0 || x + w <= 0 || y + h <= 0) InvalidArguments();
  w = std::min<std::int64_t>(w0, x + w) - std::max<std::int64_t>(0, x);
  h = std::min<std::int64_t>(h0, y + h) - std::max<std::int64_t>(0, y);
  const std::int32_t sx = std::max(0, x), sy = std::max(0, y);
  const bool wasSelected = MemoryDC_ != 0;
  SelectBitmap();
  struct ReleaseAtEnd {
    TpwPicture* p;
    bool keep;
    ~ReleaseAtEnd() {
      if (!keep) p->ReleaseSelection();
    }
  } releaseAtEnd{this, wasSelected};
  OwnedBitmap made;
  made.handle = SafeCreateCompatibleBitmap(MemoryDC_, static_cast<std::int32_t>(w), static_cast<std::int32_t>(h));
  if (!made.handle) throw EpwPictureSysError(false);
  {
    TempSelection target(made.handle);
    if (!BitBlt(target.dc(), 0, 0, static_cast<std::int32_t>(w), static_cast<std::int32_t>(h), MemoryDC_, sx, sy,
                SRCCOPY))
      throw EpwPictureSysError(false);
  }
  auto picture = MakeObject<TpwPicture>(Manager_.Get());
  picture->SetHandle(made.Release());
  return ComPtr<IpwPicture>(static_cast<IpwPicture*>(picture.Get()));
}

HRESULT TpwPicture::Stretch(std::int32_t width, std::int32_t height, VARIANT_BOOL halftone) {
  return SafeCall([&] { DoStretch(width, height, halftone != VARIANT_FALSE); });
}

void TpwPicture::DoStretch(std::int32_t width, std::int32_t height, bool halftone) {
  CheckBitmap();
  if (width <= 0 || height <= 0) InvalidArguments();
  const std::int32_t w = SizeObject_->Width(), h = SizeObject_->Height();
  if (width == w && height == h) return;
  auto target = MakeObject<TpwPicture>(Manager_.Get(), Bitmap_, width, height);
  struct ReleaseAll {
    TpwPicture* a;
    TpwPicture* b;
    ~ReleaseAll() {
      a->ReleaseSelection();
      b->ReleaseSelection();
    }
  } releaseAll{this, target.Get()};
  target->SelectBitmap();
  SelectBitmap();
  auto stretch = [](TpwPicture* to, std::int32_t tw, std::int32_t th, TpwPicture* from, std::int32_t fw,
                    std::int32_t fh) {
    if (!StretchBlt(to->MemoryDC(), 0, 0, tw, th, from->MemoryDC(), 0, 0, fw, fh, SRCCOPY))
      throw EpwPictureSysError(false);
  };
  auto setMode = [](HDC dc, std::int32_t mode) {
    if (!SetStretchBltMode(dc, mode)) throw EpwPictureSysError(false);
  };
  // One source column (row) per target column (row): the one nearest the target's centre.
  auto reduceColumns = [](TpwPicture* to, std::int32_t tw, TpwPicture* from, std::int32_t fw, std::int32_t fh) {
    for (std::int32_t i = 0; i < tw; ++i) {
      const std::int32_t source = static_cast<std::int32_t>((2LL * i + 1) * fw / (2LL * tw));
      if (!BitBlt(to->MemoryDC(), i, 0, 1, fh, from->MemoryDC(), source, 0, SRCCOPY)) throw EpwPictureSysError(false);
    }
  };
  auto reduceRows = [](TpwPicture* to, std::int32_t th, TpwPicture* from, std::int32_t fw, std::int32_t fh) {
    for (std::int32_t j = 0; j < th; ++j) {
      const std::int32_t source = static_cast<std::int32_t>((2LL * j + 1) * fh / (2LL * th));
      if (!BitBlt(to->MemoryDC(), 0, j, fw, 1, from->MemoryDC(), 0, source, SRCCOPY)) throw EpwPictureSysError(false);
    }
  };
  ComPtr<TpwPicture> intermediate;
  if (halftone) {
    setMode(target->MemoryDC(), HALFTONE);
    stretch(target.Get(), width, height, this, w, h);
  } else if (w < width) {
    if (h <= height) {
      setMode(target->MemoryDC(), COLORONCOLOR);
      stretch(target.Get(), width, height, this, w, h);
    } else {
      intermediate = MakeObject<TpwPicture>(Manager_.Get(), Bitmap_, w, height);
      intermediate->SelectBitmap();
      reduceRows(intermediate.Get(), height, this, w, h);
      setMode(target->MemoryDC(), COLORONCOLOR);
      stretch(target.Get(), width, height, intermediate.Get(), w, height);
    }
  } else if (w == width) {
    if (h <= height) {
      setMode(target->MemoryDC(), COLORONCOLOR);
      stretch(target.Get(), width, height, this, w, h);
    } else {
      reduceRows(target.Get(), height, this, w, h);
    }
  } else {
    intermediate = MakeObject<TpwPicture>(Manager_.Get(), Bitmap_, width, h);
    intermediate->SelectBitmap();
    reduceColumns(intermediate.Get(), width, this, w, h);
    if (h < height) {
      setMode(target->MemoryDC(), COLORONCOLOR);
      stretch(target.Get(), width, height, intermediate.Get(), width, h);
    } else if (h == height) {
      intermediate->ReleaseSelection();
      target->ReleaseSelection();
      target->SetHandle(0);
      std::int32_t handle = 0;
      SafeCallCheck(intermediate->DetachHandle(&handle));
      target->SetHandle(handle);
      target->SelectBitmap();
    } else {
      reduceRows(target.Get(), height, intermediate.Get(), width, h);
    }
  }
  if (intermediate) intermediate->ReleaseSelection();
  target->ReleaseSelection();
  ReleaseSelection();
  std::int32_t handle = 0;
  SafeCallCheck(target->DetachHandle(&handle));
  SetHandle(handle);
}

HRESULT TpwPicture::CreateFormatOptions(BSTR formatName, IDispatch** options) {
  return SafeCall([&] {
    auto service = FormatService(Manager_.Get());
    for (const auto& format : Formats(service.Get())) {
      BString name;
      SafeCallCheck(format->GetName(name.Put()));
      if (!SameTextIgnoringCase(name.View(), BstrView(formatName))) continue;
      ComPtr<IDispatch> found;
      SafeCallCheck(format->GetOptions(found.Put()));
      PutOut(options, found);
      return;
    }
    throw EpwUnknownPictureFormat(BstrView(formatName));
  });
}

HRESULT TpwPicture::DetachHandle(std::int32_t* bitmap) {
  return SafeCall([&] {
    if (!bitmap) throw EOleSysError(u"Invalid pointer", E_POINTER);
    ReleaseSelection();
    if (Bitmap_) SizeObject_->SetSize(0, 0);
    *bitmap = std::exchange(Bitmap_, 0);
  });
}

HRESULT TpwPicture::IsBlackWhite(VARIANT_BOOL* result) {
  return SafeCall([&] {
    if (!Bitmap_) return PutValue(result, VARIANT_FALSE);
    ReleaseSelection();
    TQuickBitmap quick;
    quick.Attach(Bitmap_);
    const bool blackWhite = quick.IsBlackWhite();
    quick.DetachHandle();
    PutValue(result, blackWhite ? VARIANT_TRUE : VARIANT_FALSE);
  });
}

void TpwPicture::SetTag(BSTR value) { Tag_ = WideString(BstrView(value)); }

void TpwPicture::GetTag(BSTR* value) {
  if (value) *value = SysAllocString(Tag_);
}

// ---- Script values -------------------------------------------------------------------------

HBITMAP PictureHandle(IpwPicture* picture) {
  if (!picture) return 0;
  std::int32_t handle = 0;
  SafeCallCheck(picture->get_Handle(&handle));
  return handle;
}

ComPtr<IpwPicture> PictureFromVariant(IcvBaseManager* manager, const VARIANT& value, bool captureFlag) {
  const VARIANT& v = VariantDeref(value);
  switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return nullptr;
    case VT_BSTR: {
      auto picture = MakeObject<TpwPicture>(manager);
      VARIANT_BOOL loaded = VARIANT_FALSE;
      SafeCallCheck(picture->LoadFromFile(v.bstrVal, &loaded));
      if (!loaded) throw EpwInvalidPictureArgument();
      return ComPtr<IpwPicture>(static_cast<IpwPicture*>(picture.Get()));
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      IUnknown* object = v.vt == VT_DISPATCH ? static_cast<IUnknown*>(v.pdispVal) : v.punkVal;
      if (!object) return nullptr;
      if (auto picture = QueryAs<IpwPicture>(object)) return picture;
      auto dispatch = QueryAs<IDispatch>(object);
      if (!dispatch) throw EpwInvalidPictureArgument();
      const std::array<OleVariant, 5> args = {OleVariant(0), OleVariant(0), OleVariant(-1), OleVariant(-1),
                                              OleVariant(captureFlag)};
      const OleVariant captured = DispCallMethod(dispatch.Get(), u"Picture", args, OleVariant());
      const VARIANT& c = VariantDeref(*captured.Ptr());
      ComPtr<IpwPicture> picture;
      if (c.vt == VT_DISPATCH) picture = QueryAs<IpwPicture>(c.pdispVal);
      if (c.vt == VT_UNKNOWN) picture = QueryAs<IpwPicture>(c.punkVal);
      if (!picture) throw EpwInvalidPictureArgument();
      return picture;
    }
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT: {
      OleVariant asInt;
      if (Succeeded(VariantChangeType(asInt.Ptr(), &v, 0, VT_I8)) && asInt.Ptr()->llVal == 0) return nullptr;
      throw EpwInvalidPictureArgument();
    }
    default:
      throw EpwInvalidPictureArgument();
  }
}

}  // namespace pw
