#include <gtest/gtest.h>

#include <cstring>

#include "graphics/bmp.h"
#include "graphics/png.h"
#include "png_builder.h"

namespace pw::graphics {
namespace {

using testing::MakePng;
using testing::PngSpec;

// A bitmap of a format whose pixels use every part of it: a gradient with an alpha ramp.
Bitmap Sample(const PixelFormat& format, std::int32_t w = 13, std::int32_t h = 7) {
  Bitmap b(w, h, format);
  for (std::int32_t y = 0; y < h; ++y)
    for (std::int32_t x = 0; x < w; ++x)
      b.SetPixel(x, y,
                 Argb(static_cast<std::uint32_t>(40 + 15 * x), static_cast<std::uint32_t>(x * 19),
                      static_cast<std::uint32_t>(y * 37), static_cast<std::uint32_t>((x * y * 7) & 0xFF)));
  return b;
}

std::vector<PixelFormat> AllFormats() {
  return {PixelFormat::Indexed(1, {0x000000, 0xFFFFFF}),
          PixelFormat::Indexed(4, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x808080}),
          PixelFormat::Indexed(8, {0x102030, 0x405060, 0x708090, 0xA0B0C0, 0xFFFFFF}),
          PixelFormat::Rgb555(),
          PixelFormat::Rgb565(),
          PixelFormat::Rgb24(),
          PixelFormat::Rgb32(),
          PixelFormat::Argb32()};
}

TEST(BmpCodec, SecondPassIsByteIdenticalAndPixelsSurvive) {
  for (const auto& format : AllFormats()) {
    SCOPED_TRACE(format.bitCount);
    const Bitmap original = Sample(format);
    const std::vector<std::uint8_t> first = WriteBmp(original);
    const Bitmap read = ReadBmp(first);
    EXPECT_TRUE(read.format().SameAs(original.format()));
    EXPECT_EQ(read.HasAlpha(), original.HasAlpha());
    EXPECT_EQ(read.ToArgb(), original.ToArgb());
    EXPECT_EQ(WriteBmp(read), first);
    // The packed form carries the same.
    EXPECT_EQ(ReadPackedDib(WritePackedDib(original)).ToArgb(), original.ToArgb());
  }
}

// A 40-byte header file written by hand.
std::vector<std::uint8_t> HandBmp(std::int32_t w, std::int32_t h, std::uint16_t bits, std::uint32_t compression,
                                  const std::vector<std::uint32_t>& tables, const std::vector<std::uint8_t>& pixels,
                                  std::uint32_t colorsUsed = 0) {
  std::vector<std::uint8_t> out = {'B', 'M'};
  auto put32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  const std::uint32_t offset = 14 + 40 + 4 * static_cast<std::uint32_t>(tables.size());
  put32(offset + static_cast<std::uint32_t>(pixels.size()));
  put32(0);
  put32(offset);
  put32(40);
  put32(static_cast<std::uint32_t>(w));
  put32(static_cast<std::uint32_t>(h));
  out.push_back(1);
  out.push_back(0);
  out.push_back(static_cast<std::uint8_t>(bits));
  out.push_back(0);
  put32(compression);
  put32(static_cast<std::uint32_t>(pixels.size()));
  put32(0);
  put32(0);
  put32(colorsUsed);
  put32(0);
  for (auto t : tables) put32(t);
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

TEST(BmpCodec, HandMadeFiles) {
  // Top-down 24-bit 2 x 2: rows as stored are the rows from the top.
  const Bitmap topDown =
      ReadBmp(HandBmp(2, -2, 24, 0, {}, {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0}));
  EXPECT_EQ(topDown.GetPixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(topDown.GetPixel(1, 0), 0xFF00FF00u);
  EXPECT_EQ(topDown.GetPixel(0, 1), 0xFF0000FFu);
  EXPECT_EQ(topDown.GetPixel(1, 1), 0xFFFFFFFFu);
  // Bottom-up, the same bytes: the rows swap.
  const Bitmap bottomUp =
      ReadBmp(HandBmp(2, 2, 24, 0, {}, {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0}));
  EXPECT_EQ(bottomUp.GetPixel(0, 1), 0xFFFF0000u);
  // 16-bit bit fields 5-6-5 (masks after the 40-byte header): pure green.
  const Bitmap fields = ReadBmp(HandBmp(1, 1, 16, 3, {0xF800, 0x07E0, 0x001F}, {0xE0, 0x07, 0, 0}));
  EXPECT_TRUE(fields.format().Is565());
  EXPECT_EQ(fields.GetPixel(0, 0), 0xFF00FF00u);
  // An 8-bit file with a two-colour table.
  const Bitmap palette = ReadBmp(HandBmp(2, 1, 8, 0, {0x112233, 0x445566}, {1, 0, 0, 0}, 2));
  EXPECT_EQ(palette.GetPixel(0, 0), 0xFF445566u);
  EXPECT_EQ(palette.GetPixel(1, 0), 0xFF112233u);
}

void ExpectBad(const std::vector<std::uint8_t>& bytes, GraphicsError::Kind kind, const char* text, bool png) {
  try {
    if (png)
      ReadPng(bytes);
    else
      ReadBmp(bytes);
    ADD_FAILURE() << "read " << text;
  } catch (const GraphicsError& e) {
    EXPECT_EQ(e.kind(), kind) << text << ": " << e.what();
    EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
  }
}

TEST(BmpCodec, BadInputIsAClearError) {
  const auto good = HandBmp(2, 2, 24, 0, {}, std::vector<std::uint8_t>(16, 7));
  auto truncated = good;
  truncated.resize(truncated.size() - 3);
  auto magic = good;
  magic[0] = 'X';
  auto zeroWidth = HandBmp(0, 2, 24, 0, {}, {});
  auto huge = HandBmp(100000, 100000, 32, 0, {}, std::vector<std::uint8_t>(64));
  auto overflowing = HandBmp(0x7FFFFFFF, 0x7FFFFFFF, 32, 0, {}, std::vector<std::uint8_t>(64));
  auto rle = HandBmp(2, 2, 8, 1, {0, 0xFFFFFF}, std::vector<std::uint8_t>(8), 2);
  auto index = HandBmp(2, 1, 8, 0, {0x112233, 0x445566}, {1, 5, 0, 0}, 2);
  auto longTable = HandBmp(1, 1, 1, 0, {0, 1, 2}, {0, 0, 0, 0}, 3);
  ExpectBad(truncated, GraphicsError::Kind::BadData, "truncated", false);
  ExpectBad(magic, GraphicsError::Kind::BadData, "BM", false);
  ExpectBad(zeroWidth, GraphicsError::Kind::BadData, "width", false);
  ExpectBad(huge, GraphicsError::Kind::OutOfMemory, "memory", false);
  ExpectBad(overflowing, GraphicsError::Kind::OutOfMemory, "memory", false);
  ExpectBad(rle, GraphicsError::Kind::BadData, "run-length", false);
  ExpectBad(index, GraphicsError::Kind::BadData, "colour index", false);
  ExpectBad(longTable, GraphicsError::Kind::BadData, "colour table", false);
  ExpectBad({}, GraphicsError::Kind::BadData, "BM", false);
}

TEST(PngCodec, WrittenPixelsReadBackTheSame) {
  for (const auto& format : AllFormats()) {
    SCOPED_TRACE(format.bitCount);
    const Bitmap original = Sample(format);
    for (int level : {-1, 0, 9}) {
      const Bitmap read = ReadPng(WritePng(original, level));
      EXPECT_EQ(read.HasAlpha(), original.HasAlpha());
      EXPECT_EQ(read.ToArgb(), original.ToArgb());
    }
  }
}

TEST(PngCodec, HandMadeFilesOfEveryKind) {
  struct Case {
    const char* name;
    PngSpec spec;
    std::vector<std::uint32_t> pixels;
    bool alpha;
  };
  const Case cases[] = {
      {"grey 1-bit", {2, 1, 1, 0, {0x40}}, {0xFF000000u, 0xFFFFFFFFu}, false},
      {"grey 8-bit", {2, 1, 8, 0, {0x00, 0x80}}, {0xFF000000u, 0xFF808080u}, false},
      {"grey 16-bit", {1, 1, 16, 0, {0xFF, 0xFF}}, {0xFFFFFFFFu}, false},
      {"grey alpha", {1, 1, 8, 4, {0x80, 0x40}}, {0x40808080u}, true},
      {"rgb 16-bit", {1, 1, 16, 2, {0xFF, 0xFF, 0x00, 0x00, 0x80, 0x80}}, {0xFFFF0080u}, false},
      {"rgba", {1, 1, 8, 6, {1, 2, 3, 4}}, {0x04010203u}, true},
      {"palette 4-bit", {2, 1, 4, 3, {0x10}, {10, 20, 30, 40, 50, 60}}, {0xFF28323Cu, 0xFF0A141Eu}, false},
      {"palette with tRNS", {1, 1, 8, 3, {1}, {10, 20, 30, 40, 50, 60}, {255, 7}}, {0x0728323Cu}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bitmap b = ReadPng(MakePng(c.spec));
    EXPECT_EQ(b.HasAlpha(), c.alpha);
    EXPECT_EQ(b.ToArgb(), c.pixels);
  }
}

TEST(PngCodec, BadInputIsAClearError) {
  const auto good = MakePng({2, 2, 8, 2, std::vector<std::uint8_t>(12, 9)});
  auto truncated = good;
  truncated.resize(truncated.size() - 20);
  auto badCrc = good;
  badCrc[8 + 8 + 13] ^= 0xFF;  // IHDR's CRC
  auto magic = good;
  magic[1] = 'Q';
  ExpectBad(truncated, GraphicsError::Kind::BadData, "PNG", true);
  ExpectBad(badCrc, GraphicsError::Kind::BadData, "CRC", true);
  ExpectBad(magic, GraphicsError::Kind::BadData, "signature", true);
  ExpectBad(MakePng({0, 2, 8, 2, {}}), GraphicsError::Kind::BadData, "PNG", true);
  // 100000 x 100000 passes libpng's side limit but not the pixel cap.
  ExpectBad(MakePng({100000, 100000, 8, 6, std::vector<std::uint8_t>(100000 * 4, 0)}), GraphicsError::Kind::OutOfMemory,
            "memory", true);
  ExpectBad(MakePng({2000000, 1, 8, 2, {}}), GraphicsError::Kind::BadData, "PNG", true);
}

TEST(BitmapCap, CreationPastTheCapFailsBeforeAllocating) {
  EXPECT_THROW(Bitmap(100000, 100000, PixelFormat::Rgb32()), GraphicsError);
  EXPECT_THROW(Bitmap(0x7FFFFFFF, 0x7FFFFFFF, PixelFormat::Rgb32()), GraphicsError);
  EXPECT_THROW(Bitmap(-1, 5, PixelFormat::Rgb24()), GraphicsError);
  EXPECT_NO_THROW(CheckedPixelBytes(1920, 30000, 32));
  EXPECT_THROW(CheckedPixelBytes(1920, 140000, 32), GraphicsError);
}

}  // namespace
}  // namespace pw::graphics
