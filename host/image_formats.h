// The host's image formats (service IpwImageFormatService): "BMP" (extensions bmp, dib) and
// "PNG" (png; options with the compression level, IpwPngFormatOptions). A format loads a file
// into a new bitmap handle (0 when the file is no image of the format) and saves a bitmap in
// its codec (graphics/bmp.h, graphics/png.h), writing a temporary file beside the target and
// renaming it, so a failed save leaves the old file as it was. The last failure's message is
// kept for the command line (LastError).
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/automation/automation.h"
#include "host/com_support.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::host {

inline constexpr GUID kImageFormatService = IpwImageFormatService::iid;

class TPngFormatOptions final : public AutoImplements<TCVAAutoIntfObject, IpwPngFormatOptions> {
 public:
  TPngFormatOptions() : AutoImplements({IpwPngFormatOptions::iid}) {}
  HRESULT get_FormatName(BSTR* name) override;
  HRESULT get_CompressionLevel(std::int32_t* level) override;
  // -1 (the codec's default) .. 9; anything else is refused.
  HRESULT put_CompressionLevel(std::int32_t level) override;
  std::int32_t Level() const { return level_; }

 private:
  std::int32_t level_ = -1;
};

struct ImageFormatMessages {
  std::mutex lock;
  std::string last;
  void Set(std::string message) {
    std::lock_guard guard(lock);
    last = std::move(message);
  }
};

class TImageFormat final : public Implements<ComObject, IpwImageFormat> {
 public:
  enum class Kind { Bmp, Png };
  TImageFormat(Kind kind, std::shared_ptr<ImageFormatMessages> messages);

  HRESULT GetName(BSTR* name) override;
  HRESULT GetOptions(IDispatch** options) override;
  HRESULT GetExtensionCount(std::int32_t* count) override;
  HRESULT GetExtension(std::int32_t index, BSTR* extension) override;
  HRESULT Load(BSTR fileName, std::int32_t* bitmap) override;
  HRESULT Save(BSTR* fileName, std::int32_t bitmap, IDispatch* options, VARIANT_BOOL* success) override;

  const WideString& Name() const { return name_; }

 private:
  Kind kind_;
  WideString name_;
  std::vector<WideString> extensions_;
  ComPtr<TPngFormatOptions> options_;
  std::shared_ptr<ImageFormatMessages> messages_;
};

class THostImageFormatService final : public Implements<ComObject, IpwImageFormatService> {
 public:
  THostImageFormatService();

  // The message of the last load or save that failed ("" when none did).
  std::string LastError() const;

  HRESULT Reset() override;
  HRESULT HasNext(VARIANT_BOOL* result) override;
  HRESULT Next(IpwImageFormat** format) override;
  HRESULT SavePicture(IpwPicture* picture, BSTR* fileName, IDispatch* options, BSTR* text,
                      VARIANT_BOOL* success) override;

 private:
  std::shared_ptr<ImageFormatMessages> messages_;
  std::vector<ComPtr<TImageFormat>> formats_;
  std::mutex lock_;
  std::size_t position_ = 0;
};

}  // namespace pw::host
