// Comparison and search of pictures: the preparation of the two bitmaps (common format, fast
// byte-wise paths) and the search with its tolerances, progress and stop.
#include <algorithm>

#include "core/host/host_services.h"
#include "openapps/picture/bitmap_utils.h"
#include "openapps/picture/picture.h"
#include "openapps/picture/picture_errors.h"
#include "platform/automation/bstr.h"
#include "platform/com/errorinfo.h"
#include "platform/com/safecall.h"
#include "platform/kernel/clock.h"

namespace pw {

namespace {

template <class T>
void PutValue(T* out, T value) {
  if (!out) throw EOleSysError(u"Invalid pointer", E_POINTER);
  *out = value;
}

void CheckColorTolerance(std::int32_t colorTolerance) {
  if (colorTolerance < 0 || colorTolerance > 255) throw EpwInvalidColorToleranceArgument();
}

std::uint32_t Packed(std::int32_t t) {
  const auto v = static_cast<std::uint32_t>(t);
  return v + v * 256 + v * 65536;
}

// A copy of a bitmap's pixels as a class-library bitmap.
graphics::Bitmap CopyOf(HBITMAP handle) {
  auto pixels = BitmapPixels(handle);
  if (!pixels) throw EpwInvalidPicture();
  try {
    return *pixels;
  } catch (const std::bad_alloc&) {
    throw EpwPictureSysError(true);
  }
}

// The mask argument: nil or an empty picture is no mask; a handle that is no bitmap raises.
HBITMAP MaskHandle(IcvBaseManager* manager, const VARIANT& mask) {
  auto picture = PictureFromVariant(manager, mask, false);
  const HBITMAP handle = PictureHandle(picture.Get());
  if (handle && GetObjectType(handle) != OBJ_BITMAP) throw EpwInvalidPicture();
  return handle;
}

// Sets the thread's error information to a reason of PictureFindErrors; nothing when it cannot
// be made.
void SetFindError(std::size_t index) {
  ComPtr<ICreateErrorInfo> create;
  if (Failed(CreateErrorInfo(create.Put())) || !create) return;
  const TpwPictureErrorInfo& row = PictureFindErrors[index];
  create->SetGUID(row.guid);
  create->SetSource(u"");
  create->SetDescription(row.message);
  create->SetHelpFile(u"");
  create->SetHelpContext(0);
  if (auto info = create.As<IErrorInfo>()) SetErrorInfo(0, info.Get());
}

// The search's item in the host's indicator (asked for at the first report), removed at the end.
class SearchProgress {
 public:
  explicit SearchProgress(IcvBaseManager* manager) : manager_(manager) {}
  ~SearchProgress() {
    if (!indicator_ || item_ == 0) return;
    indicator_->BeginUpdate();
    indicator_->StopProgress(item_);
    indicator_->EndUpdate();
  }
  SearchProgress(const SearchProgress&) = delete;
  SearchProgress& operator=(const SearchProgress&) = delete;

  void Report(std::int32_t min, std::int32_t max, std::int32_t position) {
    if (item_ == 0) {
      if (asked_) return;
      asked_ = true;
      auto provider = GetHostService<IpwHostObjectProvider>(manager_, IpwHostObjectProvider::iid);
      if (!provider) return;
      ComPtr<IUnknown> indicator;
      SafeCallCheck(provider->GetIndicator(indicator.Put()));
      indicator_ = QueryAs<IpwIndicatorInternal>(indicator.Get());
      if (!indicator_) return;
      BString caption(u"Picture.Find");
      SafeCallCheck(indicator_->BeginUpdate());
      item_ = indicator_->StartProgress(caption.Get(), min, max);
      SafeCallCheck(indicator_->EndUpdate());
      if (item_ == 0) return;
    }
    indicator_->UpdateProgress(item_, position);
  }

 private:
  IcvBaseManager* manager_;
  bool asked_ = false;
  ComPtr<IpwIndicatorInternal> indicator_;
  std::int32_t item_ = 0;
};

}  // namespace

bool TpwPicture::CompareCore(CompareKind kind, const VARIANT& picture, bool transparent, std::int32_t pixelTolerance,
                             bool captureFlag, std::int32_t colorTolerance, const VARIANT& mask, bool option,
                             std::int32_t* statistic, std::int32_t* deviation, ComPtr<IpwPicture>* result) {
  CheckColorTolerance(colorTolerance);
  const bool raise = kind != CompareKind::Compare;
  if (statistic) *statistic = 0;
  if (deviation) *deviation = 0;
  auto other = PictureFromVariant(Manager_.Get(), picture, captureFlag);
  if (!other) {
    if (raise) throw EpwNullPictureArgument();
    return false;
  }
  const HBITMAP otherHandle = PictureHandle(other.Get());
  if (!otherHandle) {
    if (raise) throw EpwEmptyPicture();
    return Bitmap_ == 0;
  }
  if (!Bitmap_) {
    if (raise) throw EpwEmptyPicture();
    return false;
  }
  if (GetObjectType(Bitmap_) != OBJ_BITMAP || GetObjectType(otherHandle) != OBJ_BITMAP) throw EpwInvalidPicture();
  const HBITMAP maskHandle = MaskHandle(Manager_.Get(), mask);
  ReleaseSelection();

  BITMAP a{}, b{};
  GetObject(Bitmap_, a);
  GetObject(otherHandle, b);
  const bool sameSize = a.bmWidth == b.bmWidth && a.bmHeight == b.bmHeight;
  if (!sameSize && kind == CompareKind::Compare) return false;
  const bool fast = sameSize && !transparent && colorTolerance == 0 && maskHandle == 0;

  graphics::PixelFormat fa, fb;
  GetBitmapFormat(Bitmap_, fa);
  GetBitmapFormat(otherHandle, fb);
  TQuickBitmap quickA, quickB;
  const bool direct = (fa.bitCount == 24 || fa.bitCount == 32) && (fb.bitCount == 24 || fb.bitCount == 32);
  if (direct) {
    // A 24-bit side against a 32-bit one is compared as a 32-bit copy.
    if (fa.bitCount != fb.bitCount && fa.bitCount == 24) {
      graphics::Bitmap copy = CopyOf(Bitmap_);
      SetBitmapPixelFormat(copy, TPixelFormat::pf32bit);
      quickA.Attach(std::move(copy));
    } else {
      quickA.Attach(Bitmap_);
    }
    if (fa.bitCount != fb.bitCount && fb.bitCount == 24) {
      graphics::Bitmap copy = CopyOf(otherHandle);
      SetBitmapPixelFormat(copy, TPixelFormat::pf32bit);
      quickB.Attach(std::move(copy));
    } else {
      quickB.Attach(otherHandle);
    }
    if (fast && kind == CompareKind::Compare && quickA.AreBitsExtracted() && quickB.AreBitsExtracted()) {
      if (quickA.CompareBytewise(quickB)) return true;
      if (pixelTolerance == 0 && quickA.Bits()->format().bitCount != 32) return false;
    }
  } else {
    graphics::Bitmap copyA = CopyOf(Bitmap_), copyB = CopyOf(otherHandle);
    const bool aligned = AlignPixelFormats(copyA, copyB);
    quickA.Attach(std::move(copyA));
    quickB.Attach(std::move(copyB));
    if (aligned && fast && kind == CompareKind::Compare && quickA.Bits()->stride() == quickB.Bits()->stride()) {
      if (quickA.CompareBytewise(quickB)) return true;
      if (pixelTolerance == 0 && quickA.Bits()->format().SameAs(quickB.Bits()->format())) return false;
    }
  }
  TQuickBitmap quickMask;
  if (maskHandle) quickMask.Attach(maskHandle);
  const TQuickBitmap* maskView = maskHandle ? &quickMask : nullptr;
  if (kind == CompareKind::Compare)
    return CompareUniformSizedBitmaps(quickA, quickB, pixelTolerance, Packed(colorTolerance), transparent, maskView);

  HBITMAP difference = 0;
  std::int32_t first = 0;
  std::uint32_t packedDeviation = 0;
  const bool equal =
      CreateResultPicture(quickA, quickB, pixelTolerance, Packed(colorTolerance), transparent, maskView, true,
                          &difference, &first, &packedDeviation, kind == CompareKind::DifferenceEx && option);
  if (equal && kind == CompareKind::Difference) {
    DeleteObject(difference);
  } else {
    auto made = MakeObject<TpwPicture>(Manager_.Get());
    made->SetHandle(difference);
    *result = ComPtr<IpwPicture>(static_cast<IpwPicture*>(made.Get()));
  }
  if (statistic) *statistic = first;
  if (deviation)
    *deviation = static_cast<std::int32_t>(
        std::max({packedDeviation & 0xFF, (packedDeviation >> 8) & 0xFF, (packedDeviation >> 16) & 0xFF}));
  return equal;
}

HRESULT TpwPicture::Compare(const VARIANT& picture, VARIANT_BOOL transparent, std::int32_t pixelTolerance,
                            VARIANT_BOOL captureFlag, std::int32_t colorTolerance, const VARIANT& mask,
                            VARIANT_BOOL* equal) {
  return SafeCall([&] {
    const bool same = CompareCore(CompareKind::Compare, picture, transparent != VARIANT_FALSE, pixelTolerance,
                                  captureFlag != VARIANT_FALSE, colorTolerance, mask, false, nullptr, nullptr, nullptr);
    PutValue(equal, same ? VARIANT_TRUE : VARIANT_FALSE);
  });
}

HRESULT TpwPicture::Difference(const VARIANT& picture, VARIANT_BOOL transparent, std::int32_t pixelTolerance,
                               VARIANT_BOOL captureFlag, std::int32_t colorTolerance, const VARIANT& mask,
                               IpwPicture** result) {
  return SafeCall([&] {
    if (!result) throw EOleSysError(u"Invalid pointer", E_POINTER);
    ComPtr<IpwPicture> made;
    CompareCore(CompareKind::Difference, picture, transparent != VARIANT_FALSE, pixelTolerance,
                captureFlag != VARIANT_FALSE, colorTolerance, mask, false, nullptr, nullptr, &made);
    *result = made.Detach();
  });
}

HRESULT TpwPicture::DifferenceEx(const VARIANT& picture, VARIANT_BOOL transparent, std::int32_t pixelTolerance,
                                 VARIANT_BOOL captureFlag, std::int32_t colorTolerance, const VARIANT& mask,
                                 VARIANT_BOOL option, std::int32_t* statistic, std::int32_t* deviation,
                                 IpwPicture** result) {
  return SafeCall([&] {
    if (!result || !statistic || !deviation) throw EOleSysError(u"Invalid pointer", E_POINTER);
    ComPtr<IpwPicture> made;
    CompareCore(CompareKind::DifferenceEx, picture, transparent != VARIANT_FALSE, pixelTolerance,
                captureFlag != VARIANT_FALSE, colorTolerance, mask, option != VARIANT_FALSE, statistic, deviation,
                &made);
    *result = made.Detach();
  });
}

HRESULT TpwPicture::Find(const VARIANT& picture, std::int32_t left, std::int32_t top, VARIANT_BOOL transparent,
                         std::int32_t pixelTolerance, VARIANT_BOOL captureFlag, std::int32_t colorTolerance,
                         const VARIANT& mask, IDispatch** rect) {
  if (!rect) return E_POINTER;
  *rect = nullptr;
  ComPtr<IDispatch> found;
  const HRESULT hr = SafeCall([&] {
    found = DoFind(picture, left, top, transparent != VARIANT_FALSE, pixelTolerance, captureFlag != VARIANT_FALSE,
                   colorTolerance, mask);
  });
  if (Succeeded(hr)) *rect = found.Detach();
  return hr;
}

ComPtr<IDispatch> TpwPicture::DoFind(const VARIANT& picture, std::int32_t left, std::int32_t top, bool transparent,
                                     std::int32_t pixelTolerance, bool captureFlag, std::int32_t colorTolerance,
                                     const VARIANT& mask) {
  CheckColorTolerance(colorTolerance);
  auto notFound = [](std::size_t reason) {
    SetFindError(reason);
    return ComPtr<IDispatch>();
  };
  if (left < 0 || top < 0) return notFound(5);
  auto sought = PictureFromVariant(Manager_.Get(), picture, captureFlag);
  if (!sought) return notFound(0);
  if (!Bitmap_) return notFound(1);
  const HBITMAP soughtHandle = PictureHandle(sought.Get());
  if (!soughtHandle) return notFound(2);
  const HBITMAP maskHandle = MaskHandle(Manager_.Get(), mask);
  if (GetObjectType(Bitmap_) != OBJ_BITMAP || GetObjectType(soughtHandle) != OBJ_BITMAP) throw EpwInvalidPicture();
  ReleaseSelection();
  graphics::Bitmap searched = CopyOf(Bitmap_), soughtCopy = CopyOf(soughtHandle);
  if (searched.width() - soughtCopy.width() < left || searched.height() - soughtCopy.height() < top) return notFound(3);
  AlignPixelFormats(soughtCopy, searched);
  TQuickBitmap quickMask;
  if (maskHandle) quickMask.Attach(maskHandle);

  graphics::MatchRules rules;
  rules.pixelTolerance = pixelTolerance;
  rules.colorTolerance = colorTolerance;
  rules.transparent = transparent;
  rules.mask = maskHandle ? quickMask.Bits() : nullptr;

  // Progress at most once a second, in the host's indicator from the first report on; the
  // host's stop request after every position that does not match.
  const std::int32_t last = searched.width() - soughtCopy.width();
  std::uint64_t reported = CurrentClock().NowMs();
  SearchProgress progress(Manager_.Get());
  auto stop = GetHostService<IpwStopRequestService>(Manager_.Get(), IpwStopRequestService::iid);
  graphics::SearchControl control;
  control.onColumn = [&](std::int32_t x) {
    const std::uint64_t now = CurrentClock().NowMs();
    if (now - reported < 1000) return;
    reported = now;
    progress.Report(left, last, x);
  };
  if (stop) control.stopRequested = [&] { return stop->IsStopping() != VARIANT_FALSE; };

  graphics::SearchResult r;
  try {
    r = graphics::FindBitmap(searched, soughtCopy, left, top, rules, control);
  } catch (const graphics::GraphicsError&) {
    throw EpwPictureSysError(false);
  } catch (const std::bad_alloc&) {
    throw EpwPictureSysError(false);
  }
  switch (r.status) {
    case graphics::SearchResult::Status::Found: {
      auto found = MakeObject<TPictureRect>(r.x, r.y, soughtCopy.width(), soughtCopy.height());
      return ComPtr<IDispatch>(static_cast<IDispatch*>(static_cast<IpwRect*>(found.Get())));
    }
    case graphics::SearchResult::Status::Stopped:
      return notFound(6);
    case graphics::SearchResult::Status::OutOfRange:
      return notFound(3);
    case graphics::SearchResult::Status::NotFound:
      break;
  }
  return notFound(4);
}

}  // namespace pw
