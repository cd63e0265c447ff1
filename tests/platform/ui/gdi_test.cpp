#include "platform/ui/gdi.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "graphics/blit.h"
#include "platform/kernel/library.h"

namespace pw {
namespace {

// Every test leaves the handle table as it found it.
class GdiTest : public ::testing::Test {
 protected:
  void SetUp() override { handles_ = GdiObjectCount(); }
  void TearDown() override { EXPECT_EQ(GdiObjectCount(), handles_) << "handles leaked"; }

  // A bitmap in a memory context, freed at the end of the test.
  struct Surface {
    HBITMAP bitmap = 0;
    HDC dc = 0;
    HGDIOBJ previous = 0;
    Surface(std::int32_t w, std::int32_t h, const graphics::PixelFormat& f) {
      bitmap = CreateDIBSection(0, w, h, f);
      dc = CreateCompatibleDC(0);
      previous = SelectObject(dc, bitmap);
    }
    ~Surface() {
      SelectObject(dc, previous);
      DeleteDC(dc);
      DeleteObject(bitmap);
    }
  };

 private:
  std::int32_t handles_ = 0;
};

std::vector<graphics::PixelFormat> Formats() {
  return {graphics::PixelFormat::Indexed(1, {0x000000, 0xFFFFFF}),
          graphics::PixelFormat::Indexed(4, graphics::SixteenColourPalette()),
          graphics::PixelFormat::Indexed(8, graphics::HalftonePalette()),
          graphics::PixelFormat::Rgb555(),
          graphics::PixelFormat::Rgb565(),
          graphics::PixelFormat::Rgb24(),
          graphics::PixelFormat::Rgb32(),
          graphics::PixelFormat::Argb32()};
}

TEST_F(GdiTest, BitBltConvertsBetweenEveryPairOfFormats) {
  // Colours that every format holds exactly: black, white, and for the colour formats red and
  // blue (5-bit channels hold 0 and 255 exactly).
  for (const auto& from : Formats()) {
    for (const auto& to : Formats()) {
      SCOPED_TRACE(std::to_string(from.bitCount) + " -> " + std::to_string(to.bitCount));
      const bool mono = from.bitCount == 1 || to.bitCount == 1;
      const COLORREF colours[] = {RGB(0, 0, 0), RGB(255, 255, 255), mono ? RGB(0, 0, 0) : RGB(255, 0, 0),
                                  mono ? RGB(255, 255, 255) : RGB(0, 0, 255)};
      Surface src(4, 3, from), dst(6, 5, to);
      for (int i = 0; i < 4; ++i) EXPECT_EQ(SetPixel(src.dc, i, 1, colours[i]), colours[i]);
      ASSERT_TRUE(BitBlt(dst.dc, 1, 2, 4, 3, src.dc, 0, 0, SRCCOPY));
      for (int i = 0; i < 4; ++i) EXPECT_EQ(GetPixel(dst.dc, 1 + i, 3), colours[i]);
    }
  }
}

TEST_F(GdiTest, PixelsColourOrderAndBounds) {
  Surface s(3, 2, graphics::PixelFormat::Rgb32());
  EXPECT_EQ(SetPixel(s.dc, 2, 1, 0x00123456), 0x00123456u);  // 0x00BBGGRR: blue 0x12, red 0x56
  auto pixels = BitmapPixels(s.bitmap);
  EXPECT_EQ(pixels->GetPixel(2, 1) & 0xFFFFFF, 0x563412u);
  EXPECT_EQ(GetPixel(s.dc, 3, 0), CLR_INVALID);
  EXPECT_EQ(GetPixel(s.dc, -1, 0), CLR_INVALID);
  EXPECT_EQ(SetPixel(s.dc, 0, 2, 0), CLR_INVALID);
  const HDC screen = GetDC(0);
  EXPECT_EQ(GetPixel(screen, 0, 0), CLR_INVALID);  // the screen has no pixels here
  ReleaseDC(0, screen);
}

TEST_F(GdiTest, StretchModes) {
  // COLORONCOLOR: each target pixel takes the source pixel under its centre.
  Surface src(4, 1, graphics::PixelFormat::Rgb24()), wide(8, 1, graphics::PixelFormat::Rgb24()),
      narrow(2, 1, graphics::PixelFormat::Rgb24());
  for (int x = 0; x < 4; ++x) SetPixel(src.dc, x, 0, RGB(x * 10, 0, 0));
  EXPECT_NE(SetStretchBltMode(wide.dc, COLORONCOLOR), 0);
  ASSERT_TRUE(StretchBlt(wide.dc, 0, 0, 8, 1, src.dc, 0, 0, 4, 1, SRCCOPY));
  for (int x = 0; x < 8; ++x) EXPECT_EQ(GetPixel(wide.dc, x, 0), RGB(x / 2 * 10, 0, 0));
  SetStretchBltMode(narrow.dc, COLORONCOLOR);
  ASSERT_TRUE(StretchBlt(narrow.dc, 0, 0, 2, 1, src.dc, 0, 0, 4, 1, SRCCOPY));
  EXPECT_EQ(GetPixel(narrow.dc, 0, 0), RGB(10, 0, 0));  // source 1 of 0..1
  EXPECT_EQ(GetPixel(narrow.dc, 1, 0), RGB(30, 0, 0));  // source 3 of 2..3
  // HALFTONE: a flat field stays flat; 2 x 2 pixels become their mean.
  Surface flat(5, 5, graphics::PixelFormat::Rgb32()), four(2, 2, graphics::PixelFormat::Rgb32()),
      one(1, 1, graphics::PixelFormat::Rgb32()), spread(3, 3, graphics::PixelFormat::Rgb32());
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) SetPixel(flat.dc, x, y, RGB(40, 80, 120));
  SetStretchBltMode(spread.dc, HALFTONE);
  ASSERT_TRUE(StretchBlt(spread.dc, 0, 0, 3, 3, flat.dc, 0, 0, 5, 5, SRCCOPY));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(GetPixel(spread.dc, x, y), RGB(40, 80, 120));
  SetPixel(four.dc, 0, 0, RGB(0, 0, 0));
  SetPixel(four.dc, 1, 0, RGB(100, 0, 0));
  SetPixel(four.dc, 0, 1, RGB(0, 200, 0));
  SetPixel(four.dc, 1, 1, RGB(100, 200, 40));
  SetStretchBltMode(one.dc, HALFTONE);
  ASSERT_TRUE(StretchBlt(one.dc, 0, 0, 1, 1, four.dc, 0, 0, 2, 2, SRCCOPY));
  EXPECT_EQ(GetPixel(one.dc, 0, 0), RGB(50, 100, 10));
}

TEST_F(GdiTest, ContextsHoldOneBitmapAndABitmapOneContext) {
  const HBITMAP bitmap = CreateCompatibleBitmap(0, 2, 2);
  ASSERT_NE(bitmap, 0);
  EXPECT_EQ(GetObjectType(bitmap), OBJ_BITMAP);
  BITMAP info;
  ASSERT_TRUE(GetObject(bitmap, info));
  EXPECT_EQ(info.bmBitsPixel, 32);  // the screen's format
  const HDC a = CreateCompatibleDC(0), b = CreateCompatibleDC(a);
  EXPECT_EQ(GetObjectType(a), OBJ_MEMDC);
  const HGDIOBJ stock = SelectObject(a, bitmap);
  ASSERT_NE(stock, 0);
  EXPECT_EQ(GetObjectType(stock), OBJ_BITMAP);
  EXPECT_EQ(SelectObject(b, bitmap), 0);  // already in a
  EXPECT_FALSE(DeleteObject(bitmap));     // selected bitmaps stay
  EXPECT_EQ(SelectObject(a, stock), bitmap);
  EXPECT_NE(SelectObject(b, bitmap), 0);
  EXPECT_TRUE(DeleteDC(b));  // frees the bitmap's selection
  EXPECT_FALSE(DeleteObject(a));
  EXPECT_TRUE(DeleteDC(a));
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_FALSE(DeleteObject(bitmap));
  EXPECT_EQ(GetObjectType(bitmap), 0);
}

TEST_F(GdiTest, CapMonochromeHalftoneAndClipboard) {
  SetLastError(0);
  EXPECT_EQ(CreateDIBSection(0, 100000, 100000, graphics::PixelFormat::Rgb32()), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ENOMEM));
  EXPECT_EQ(CreateCompatibleBitmap(0, 0x7FFFFFFF, 0x7FFFFFFF), 0);

  Surface colour(3, 1, graphics::PixelFormat::Rgb24());
  SetPixel(colour.dc, 0, 0, RGB(255, 255, 255));
  SetPixel(colour.dc, 1, 0, RGB(200, 200, 200));
  const HBITMAP mono = CopyImage(colour.bitmap, IMAGE_BITMAP, 0, 0, LR_MONOCHROME);
  graphics::PixelFormat f;
  ASSERT_TRUE(GetBitmapFormat(mono, f));
  EXPECT_EQ(f.bitCount, 1);
  BitmapData data;
  ASSERT_TRUE(GetBitmapData(mono, data));
  EXPECT_EQ(data.pixels, (std::vector<std::uint32_t>{0xFFFFFF, 0, 0}));  // only the white background is 1
  EXPECT_TRUE(DeleteObject(mono));

  const HPALETTE palette = CreateHalftonePalette(0);
  std::vector<std::uint32_t> colours;
  ASSERT_TRUE(GetPaletteColors(palette, colours));
  EXPECT_EQ(colours.size(), 256u);
  EXPECT_TRUE(DeleteObject(palette));

  ASSERT_TRUE(SetClipboardBitmap(colour.bitmap));
  SetPixel(colour.dc, 0, 0, RGB(1, 2, 3));  // the clipboard keeps its own copy
  const HBITMAP pasted = GetClipboardBitmap();
  ASSERT_NE(pasted, 0);
  ASSERT_TRUE(GetBitmapData(pasted, data));
  EXPECT_EQ(data.pixels[0], 0xFFFFFFu);
  EXPECT_TRUE(DeleteObject(pasted));
  EmptyClipboard();
  EXPECT_EQ(GetClipboardBitmap(), 0);
}

}  // namespace
}  // namespace pw
