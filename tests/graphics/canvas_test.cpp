// The device context over a bitmap: fills and pen lines with their exclusive ends, rounding of
// slanted lines, clipping of coordinates anywhere in 32 bits, and copies.
#include "graphics/canvas.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace pw::graphics {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFFFFu, kRed = 0xFFFF0000u;

// The bitmap as rows of '.' (white) and '#' (anything else).
std::vector<std::string> Picture(const Bitmap& b) {
  std::vector<std::string> rows;
  for (std::int32_t y = 0; y < b.height(); ++y) {
    std::string row;
    for (std::int32_t x = 0; x < b.width(); ++x) row += b.GetPixel(x, y) == kWhite ? '.' : '#';
    rows.push_back(row);
  }
  return rows;
}

Bitmap White(std::int32_t w, std::int32_t h) {
  Bitmap b(w, h, PixelFormat::Rgb32());
  Canvas c(b);
  c.FillRect(0, 0, w, h);  // the brush starts white
  return b;
}

TEST(Canvas, FillsTheirRectangleClippedAndNothingWhenEmpty) {
  Bitmap b = White(5, 4);
  Canvas c(b);
  c.SetBrushColor(kRed);
  c.FillRect(3, 2, 100, 100);
  c.FillRect(1, 1, 1, 3);  // no width
  c.FillRect(2, 3, 0, 0);  // inverted
  c.FillRect(INT_MIN, INT_MIN, 1, 1);
  EXPECT_EQ(Picture(b), (std::vector<std::string>{"#....", ".....", "...##", "...##"}));
  EXPECT_EQ(b.GetPixel(4, 3), kRed);
}

TEST(Canvas, PenLinesLeaveOutTheirEndAndMoveThePosition) {
  struct Case {
    const char* what;
    std::int32_t x0, y0, x1, y1;
    std::vector<std::string> picture;
  };
  const Case cases[] = {
      {"across", 0, 1, 5, 1, {".....", "#####", ".....", "....."}},
      {"down, end left out", 2, 0, 2, 3, {"..#..", "..#..", "..#..", "....."}},
      {"backwards", 4, 3, 1, 3, {".....", ".....", ".....", "..###"}},
      {"slanted: nearest pixel", 0, 0, 5, 2, {"##...", "..##.", "....#", "....."}},
      {"steep", 1, 0, 2, 4, {".#...", ".#...", "..#..", "..#.."}},
      {"one point: nothing", 3, 3, 3, 3, {".....", ".....", ".....", "....."}},
      {"from far outside", INT_MIN, 2, INT_MAX, 2, {".....", ".....", "#####", "....."}},
      {"far outside the other way", -1000000000, -5, 1000000000, -5, {".....", ".....", ".....", "....."}},
      {"slanted from outside", -2, -1, 8, 4, {"#....", ".##..", "...##", "....."}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    Bitmap b = White(5, 4);
    Canvas c(b);
    c.SetPenColor(kRed);
    c.MoveTo(k.x0, k.y0);
    c.LineTo(k.x1, k.y1);
    EXPECT_EQ(Picture(b), k.picture);
    EXPECT_EQ(c.PenX(), k.x1);
    EXPECT_EQ(c.PenY(), k.y1);
  }
}

TEST(Canvas, DrawCopiesAnotherBitmapClipped) {
  Bitmap b = White(4, 3);
  Bitmap red(2, 2, PixelFormat::Rgb24());
  Canvas r(red);
  r.SetBrushColor(kRed);
  r.FillRect(0, 0, 2, 2);
  Canvas c(b);
  c.Draw(3, -1, red);
  EXPECT_EQ(Picture(b), (std::vector<std::string>{"...#", "....", "...."}));
  EXPECT_EQ(b.GetPixel(3, 0), kRed);
}

}  // namespace
}  // namespace pw::graphics
