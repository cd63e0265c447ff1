// A test host with image formats, pictures made from pixel bitmaps, and the failure messages
// of picture calls. Every test checks that it left no drawing handle behind.
#pragma once

#include <gtest/gtest.h>

#include "graphics/bitmap.h"
#include "host/test_host.h"
#include "openapps/picture/picture.h"
#include "platform/com/errorinfo.h"
#include "tests/support/scratch_dir.h"

namespace pw::test {

class PictureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    handles_ = GdiObjectCount();
    host_ = std::make_unique<host::TestHost>();
    // The rectangles Find gives are described in the module's own library.
    TypeLibraries()->Add(LoadTypeLibraryChecked(Utf8ToWide(PW_TEST_HOST_DIR "/pwOpenApps2.so")).Get());
  }
  void TearDown() override {
    host_.reset();
    EXPECT_EQ(GdiObjectCount(), handles_) << "drawing handles leaked";
  }

  IcvBaseManager* Manager() { return host_->Manager(); }

  ComPtr<TpwPicture> Empty() { return MakeObject<TpwPicture>(Manager()); }
  ComPtr<TpwPicture> Picture(graphics::Bitmap bitmap) {
    auto p = Empty();
    p->SetHandle(CreateBitmapFrom(std::move(bitmap)));
    return p;
  }
  // width x height with every pixel its own colour.
  static graphics::Bitmap Pattern(std::int32_t w, std::int32_t h,
                                  const graphics::PixelFormat& f = graphics::PixelFormat::Rgb24()) {
    graphics::Bitmap b(w, h, f);
    for (std::int32_t y = 0; y < h; ++y)
      for (std::int32_t x = 0; x < w; ++x)
        b.SetPixel(x, y,
                   graphics::Argb(255, static_cast<std::uint32_t>(x * 2 % 256), static_cast<std::uint32_t>(y * 2 % 256),
                                  static_cast<std::uint32_t>((x + y) % 7 * 30)));
    return b;
  }
  static graphics::Bitmap Filled(std::int32_t w, std::int32_t h, std::uint32_t argb,
                                 const graphics::PixelFormat& f = graphics::PixelFormat::Rgb24()) {
    graphics::Bitmap b(w, h, f);
    for (std::int32_t y = 0; y < h; ++y)
      for (std::int32_t x = 0; x < w; ++x) b.SetPixel(x, y, argb);
    return b;
  }
  static graphics::Bitmap& Pixels(TpwPicture* p) { return *BitmapPixels(p->Bitmap()); }
  static std::pair<std::int32_t, std::int32_t> SizeOf(IpwPicture* p) {
    ComPtr<IpwSize> size;
    EXPECT_EQ(p->get_Size(size.Put()), S_OK);
    std::int32_t w = -1, h = -1;
    size->get_Width(&w);
    size->get_Height(&h);
    return {w, h};
  }

  // The description of the thread's error information ("" when there is none).
  static std::u16string Error() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK || !info) return u"";
    BString text;
    info->GetDescription(text.Put());
    return text.Str();
  }
  static GUID ErrorGuid() {
    ComPtr<IErrorInfo> info;
    GUID g = GUID_NULL;
    if (GetErrorInfo(0, info.Put()) == S_OK && info) info->GetGUID(&g);
    return g;
  }

  static OleVariant Of(IpwPicture* p) { return OleVariant(static_cast<IDispatch*>(p)); }

  std::unique_ptr<host::TestHost> host_;

 private:
  std::int32_t handles_ = 0;
};

}  // namespace pw::test
