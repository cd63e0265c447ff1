#include "host/image_formats.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "graphics/bmp.h"
#include "graphics/png.h"
#include "platform/rtl/strings.h"
#include "platform/ui/gdi.h"

namespace pw::host {

namespace {

// Files past this size are not read (a bitmap at the pixel cap fits, with its headers).
constexpr std::uintmax_t kMaxFileBytes = graphics::kMaxPixelBytes + (1u << 20);

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) throw std::runtime_error("cannot open " + path);
  const std::streamoff size = in.tellg();
  if (size < 0) throw std::runtime_error("cannot read " + path);
  if (static_cast<std::uintmax_t>(size) > kMaxFileBytes) throw std::runtime_error(path + " is too large for an image");
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) throw std::runtime_error("cannot read " + path);
  return bytes;
}

// Writes beside the target and renames, so the old file stays whole until the new one is.
void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::remove(temporary.c_str());
      throw std::runtime_error("cannot write " + path);
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    throw std::runtime_error("cannot write " + path);
  }
}

}  // namespace

HRESULT TPngFormatOptions::get_FormatName(BSTR* name) {
  return SafeCall([&] { SetOut(name, u"PNG"); });
}

HRESULT TPngFormatOptions::get_CompressionLevel(std::int32_t* level) {
  return SafeCall([&] { SetOutValue(level, level_); });
}

HRESULT TPngFormatOptions::put_CompressionLevel(std::int32_t level) {
  return SafeCall([&] {
    if (level < -1 || level > 9) throw EOleSysError(u"The compression level must be -1 to 9.", E_INVALIDARG);
    level_ = level;
  });
}

TImageFormat::TImageFormat(Kind kind, std::shared_ptr<ImageFormatMessages> messages)
    : kind_(kind), messages_(std::move(messages)) {
  if (kind == Kind::Bmp) {
    name_ = u"BMP";
    extensions_ = {u"bmp", u"dib"};
  } else {
    name_ = u"PNG";
    extensions_ = {u"png"};
    options_ = MakeObject<TPngFormatOptions>();
  }
}

HRESULT TImageFormat::GetName(BSTR* name) {
  return SafeCall([&] { SetOut(name, name_); });
}

HRESULT TImageFormat::GetOptions(IDispatch** options) {
  return SafeCall([&] {
    if (!options) throw EOleSysError(u"Invalid pointer", E_POINTER);
    *options = options_ ? static_cast<IDispatch*>(static_cast<IpwPngFormatOptions*>(options_.Get())) : nullptr;
    if (*options) (*options)->AddRef();
  });
}

HRESULT TImageFormat::GetExtensionCount(std::int32_t* count) {
  return SafeCall([&] { SetOutCount(count, extensions_); });
}

HRESULT TImageFormat::GetExtension(std::int32_t index, BSTR* extension) {
  return SafeCall([&] {
    CheckIndex(index, extensions_.size());
    SetOut(extension, extensions_[static_cast<std::size_t>(index)]);
  });
}

HRESULT TImageFormat::Load(BSTR fileName, std::int32_t* bitmap) {
  return SafeCall([&] {
    SetOutValue(bitmap, 0);
    const std::string path = WideToUtf8(BstrView(fileName));
    try {
      const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
      graphics::Bitmap image = kind_ == Kind::Bmp ? graphics::ReadBmp(bytes) : graphics::ReadPng(bytes);
      const HBITMAP handle = CreateBitmapFrom(std::move(image));
      if (!handle) throw std::runtime_error("the image is empty");
      *bitmap = handle;
    } catch (const std::exception& e) {
      messages_->Set(path + ": " + e.what());
    }
  });
}

HRESULT TImageFormat::Save(BSTR* fileName, std::int32_t bitmap, IDispatch* options, VARIANT_BOOL* success) {
  return SafeCall([&] {
    SetOutValue(success, VARIANT_FALSE);
    if (!fileName) throw EOleSysError(u"Invalid pointer", E_POINTER);
    const std::string path = WideToUtf8(BstrView(*fileName));
    try {
      auto pixels = BitmapPixels(bitmap);
      if (!pixels || pixels->empty()) throw std::runtime_error("the picture holds no bitmap");
      std::int32_t level = options_ ? options_->Level() : -1;
      if (auto png = QueryAs<IpwPngFormatOptions>(options)) OleCheck(png->get_CompressionLevel(&level));
      WriteWholeFile(path, kind_ == Kind::Bmp ? graphics::WriteBmp(*pixels) : graphics::WritePng(*pixels, level));
      *success = VARIANT_TRUE;
    } catch (const std::exception& e) {
      messages_->Set(path + ": " + e.what());
    }
  });
}

THostImageFormatService::THostImageFormatService() : messages_(std::make_shared<ImageFormatMessages>()) {
  formats_.push_back(MakeObject<TImageFormat>(TImageFormat::Kind::Bmp, messages_));
  formats_.push_back(MakeObject<TImageFormat>(TImageFormat::Kind::Png, messages_));
}

std::string THostImageFormatService::LastError() const {
  std::lock_guard guard(messages_->lock);
  return messages_->last;
}

HRESULT THostImageFormatService::Reset() {
  std::lock_guard guard(lock_);
  position_ = 0;
  return S_OK;
}

HRESULT THostImageFormatService::HasNext(VARIANT_BOOL* result) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutValue(result, position_ < formats_.size() ? VARIANT_TRUE : VARIANT_FALSE);
  });
}

HRESULT THostImageFormatService::Next(IpwImageFormat** format) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    if (position_ >= formats_.size()) throw EOleSysError(u"No more image formats", E_FAIL);
    SetOut(format, formats_[position_++]);
  });
}

HRESULT THostImageFormatService::SavePicture(IpwPicture* picture, BSTR* fileName, IDispatch* options, BSTR* text,
                                             VARIANT_BOOL* success) {
  return SafeCall([&] {
    SetOutValue(success, VARIANT_FALSE);
    if (text) *text = nullptr;
    auto formatOptions = QueryAs<IpwImageFormatOptions>(options);
    if (!picture || !formatOptions) throw EOleSysError(u"Invalid arguments.", E_INVALIDARG);
    BString name;
    OleCheck(formatOptions->get_FormatName(name.Put()));
    std::int32_t handle = 0;
    OleCheck(picture->get_Handle(&handle));
    for (const auto& format : formats_) {
      if (!SameTextIgnoringCase(format->Name(), name.View())) continue;
      OleCheck(format->Save(fileName, handle, options, success));
      if (!*success && text) SetOut(text, Utf8ToWide(LastError()));
      return;
    }
    if (text) SetOut(text, u"Unknown image format: \"" + name.Str() + u"\"");
  });
}

}  // namespace pw::host
