#include "graphics/compare.h"

#include <gtest/gtest.h>

#include "graphics/blit.h"

namespace pw::graphics {
namespace {

Bitmap Filled(std::int32_t w, std::int32_t h, std::uint32_t colour, const PixelFormat& f = PixelFormat::Rgb32()) {
  Bitmap b(w, h, f);
  for (std::int32_t y = 0; y < h; ++y)
    for (std::int32_t x = 0; x < w; ++x) b.SetPixel(x, y, colour);
  return b;
}

// A haystack with a distinct pattern (every pixel its own colour).
Bitmap Pattern(std::int32_t w, std::int32_t h) {
  Bitmap b(w, h, PixelFormat::Rgb24());
  for (std::int32_t y = 0; y < h; ++y)
    for (std::int32_t x = 0; x < w; ++x)
      b.SetPixel(x, y, Argb(255, static_cast<std::uint32_t>(x * 7), static_cast<std::uint32_t>(y * 11), 100));
  return b;
}

Bitmap Part(const Bitmap& b, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
            const PixelFormat& f = PixelFormat::Rgb24()) {
  Bitmap out(w, h, f);
  CopyPixels(b, x, y, w, h, out, 0, 0);
  return out;
}

TEST(CompareBitmaps, ToleranceTransparencyMaskAndUnion) {
  const Bitmap a = Filled(4, 4, 0xFF102030);
  Bitmap b = Filled(4, 4, 0xFF102030);
  b.SetPixel(1, 1, 0xFF152030);  // red +5
  b.SetPixel(2, 2, 0xFF102050);  // blue +32
  MatchRules rules;
  Comparison c = CompareBitmaps(a, b, rules, true);
  EXPECT_FALSE(c.equal);
  EXPECT_EQ(c.differing, 2);
  EXPECT_EQ(c.deviation, 0x050020u);
  ASSERT_TRUE(c.picture);
  EXPECT_EQ(c.picture->GetPixel(1, 1), 0xFFFF0000u);  // red where they differ
  EXPECT_NE(c.picture->GetPixel(0, 0), 0xFFFF0000u);  // dim grey elsewhere
  EXPECT_EQ(RedOf(c.picture->GetPixel(0, 0)), GreenOf(c.picture->GetPixel(0, 0)));
  rules.colorTolerance = 5;
  EXPECT_EQ(CompareBitmaps(a, b, rules, false).differing, 1);
  rules.pixelTolerance = 1;
  EXPECT_TRUE(CompareBitmaps(a, b, rules, false).equal);
  // A mask with black at (2, 2) leaves it out.
  Bitmap mask = Filled(4, 4, 0xFFFFFFFF);
  mask.SetPixel(2, 2, 0xFF000000);
  MatchRules masked;
  masked.colorTolerance = 5;
  masked.mask = &mask;
  EXPECT_TRUE(CompareBitmaps(a, b, masked, false).equal);
  // Transparent: B's (0, 0) colour is ignored wherever it is.
  Bitmap c2 = Filled(4, 4, 0xFF000000);
  MatchRules transparent;
  transparent.transparent = true;
  EXPECT_TRUE(CompareBitmaps(a, c2, transparent, false).equal);
  // Different sizes compare on their union: the pixels in one bitmap only differ.
  const Bitmap wide = Filled(6, 4, 0xFF102030);
  Comparison u = CompareBitmaps(a, wide, MatchRules{}, true);
  EXPECT_EQ(u.differing, 8);
  EXPECT_EQ(u.picture->width(), 6);
  EXPECT_EQ(u.picture->GetPixel(5, 3), 0xFFFF0000u);
}

TEST(CompareBitmaps, AlphaOfTheOtherBitmapIsAWeight) {
  const Bitmap a = Filled(2, 1, 0xFF808080, PixelFormat::Argb32());
  Bitmap b(2, 1, PixelFormat::Argb32());
  b.SetPixel(0, 0, 0x00FFFFFF);  // alpha 0: ignored
  b.SetPixel(1, 0, 0x80FFFFFF);  // half-weighted white: 127 <= 128
  EXPECT_TRUE(CompareBitmaps(a, b, MatchRules{}, false).equal);
  b.SetPixel(1, 0, 0xC0FFFFFF);  // 191 > 128
  EXPECT_FALSE(CompareBitmaps(a, b, MatchRules{}, false).equal);
}

TEST(FindBitmap, OrderLimitsAndTolerances) {
  const Bitmap hay = Pattern(20, 10);
  const Bitmap needle = Part(hay, 12, 4, 3, 3);
  SearchResult r = FindBitmap(hay, needle, 0, 0, MatchRules{});
  EXPECT_EQ(r.status, SearchResult::Status::Found);
  EXPECT_EQ(r.x, 12);
  EXPECT_EQ(r.y, 4);
  // The whole picture is found at (0, 0).
  r = FindBitmap(hay, hay, 0, 0, MatchRules{});
  EXPECT_EQ(r.status, SearchResult::Status::Found);
  EXPECT_EQ(r.x, 0);
  // Column order: a 1 x 1 needle that occurs at (5, 0) and (3, 7) is found at (3, 7).
  Bitmap twice = Filled(10, 10, 0xFF000000, PixelFormat::Rgb24());
  twice.SetPixel(5, 0, 0xFFFFFFFF);
  twice.SetPixel(3, 7, 0xFFFFFFFF);
  r = FindBitmap(twice, Filled(1, 1, 0xFFFFFFFF), 0, 0, MatchRules{});
  EXPECT_EQ(r.x, 3);
  EXPECT_EQ(r.y, 7);
  // Left beyond the last column: out of range; at the last column only that column.
  EXPECT_EQ(FindBitmap(hay, needle, 18, 0, MatchRules{}).status, SearchResult::Status::OutOfRange);
  EXPECT_EQ(FindBitmap(hay, needle, 17, 0, MatchRules{}).status, SearchResult::Status::NotFound);
  EXPECT_EQ(FindBitmap(hay, needle, 12, 0, MatchRules{}).x, 12);
  EXPECT_EQ(FindBitmap(hay, needle, 13, 0, MatchRules{}).status, SearchResult::Status::NotFound);
  // Tolerance of every pixel matches at the first position.
  MatchRules all;
  all.pixelTolerance = 9;
  r = FindBitmap(hay, needle, 0, 0, all);
  EXPECT_EQ(r.x, 0);
  EXPECT_EQ(r.y, 0);
  // A slightly changed needle needs the colour tolerance.
  Bitmap changed = needle;
  changed.SetPixel(1, 1, needle.GetPixel(1, 1) + 3);
  EXPECT_EQ(FindBitmap(hay, changed, 0, 0, MatchRules{}).status, SearchResult::Status::NotFound);
  MatchRules tolerant;
  tolerant.colorTolerance = 3;
  EXPECT_EQ(FindBitmap(hay, changed, 0, 0, tolerant).x, 12);
}

TEST(FindBitmap, PreCheckRejectsOnlyPastThePixelTolerance) {
  // The needle differs from the haystack only on its diagonal's first pixel: with a pixel
  // tolerance of 1 the place still matches.
  const Bitmap hay = Pattern(20, 10);
  Bitmap needle = Part(hay, 5, 2, 4, 4);
  needle.SetPixel(0, 0, 0xFF010203);
  MatchRules one;
  one.pixelTolerance = 1;
  SearchResult r = FindBitmap(hay, needle, 0, 0, one);
  EXPECT_EQ(r.status, SearchResult::Status::Found);
  EXPECT_EQ(r.x, 5);
  EXPECT_EQ(r.y, 2);
}

TEST(FindBitmap, TransparencyMaskAlphaAndStop) {
  const Bitmap hay = Pattern(20, 10);
  Bitmap needle = Part(hay, 8, 3, 3, 3);
  // Transparent: the needle's (0, 0) colour marks pixels that do not count.
  needle.SetPixel(2, 2, needle.GetPixel(0, 0));
  MatchRules transparent;
  transparent.transparent = true;
  EXPECT_EQ(FindBitmap(hay, needle, 0, 0, transparent).x, 8);
  EXPECT_EQ(FindBitmap(hay, needle, 0, 0, MatchRules{}).status, SearchResult::Status::NotFound);
  // Mask: black leaves a pixel out, and so does a mask smaller than the needle.
  Bitmap mask = Filled(3, 2, 0xFFFFFFFF);
  MatchRules masked;
  masked.mask = &mask;
  EXPECT_EQ(FindBitmap(hay, needle, 0, 0, masked).x, 8);
  // A needle with alpha 0 everywhere matches at once; alpha bits never count as colour.
  Bitmap invisible = Filled(3, 3, 0x00FF00FF, PixelFormat::Argb32());
  EXPECT_EQ(FindBitmap(hay, invisible, 2, 1, MatchRules{}).x, 2);
  Bitmap opaque = Part(hay, 8, 3, 3, 3, PixelFormat::Argb32());
  EXPECT_EQ(FindBitmap(hay, opaque, 0, 0, MatchRules{}).x, 8);
  // A stop request ends the search after the first rejected position.
  int asked = 0;
  SearchControl control;
  control.stopRequested = [&] { return ++asked == 1; };
  EXPECT_EQ(FindBitmap(hay, Part(hay, 15, 5, 3, 3), 0, 0, MatchRules{}, control).status, SearchResult::Status::Stopped);
  EXPECT_EQ(asked, 1);
}

}  // namespace
}  // namespace pw::graphics
