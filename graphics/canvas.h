// A device context over a bitmap, as small as the editor's drawing needs it: a selected brush
// (the fill colour) and pen (a 1-pixel line colour), a current position, rectangle fills,
// lines and copies of other bitmaps. Colours are 0xAARRGGBB as everywhere in this library.
// Everything is clipped to the bitmap; coordinates may lie anywhere in 32 bits, and the work
// done is bounded by the pixels inside the bitmap.
#pragma once

#include <cstdint>

#include "graphics/bitmap.h"

namespace pw::graphics {

class Canvas {
 public:
  explicit Canvas(Bitmap& target) : target_(target) {}

  Bitmap& target() { return target_; }
  void SetBrushColor(std::uint32_t argb) { brush_ = argb; }
  std::uint32_t BrushColor() const { return brush_; }
  void SetPenColor(std::uint32_t argb) { pen_ = argb; }
  std::uint32_t PenColor() const { return pen_; }

  // Fills the pixels from (left, top) up to, not including, (right, bottom) with the brush; an
  // empty or inverted rectangle fills nothing.
  void FillRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
  void MoveTo(std::int32_t x, std::int32_t y) {
    x_ = x;
    y_ = y;
  }
  std::int32_t PenX() const { return x_; }
  std::int32_t PenY() const { return y_; }
  // A line in the pen's colour from the current position up to, not including, (x, y), which
  // becomes the current position. Each step along the longer axis sets one pixel; the other
  // coordinate is rounded to the nearest pixel (halves away from the start).
  void LineTo(std::int32_t x, std::int32_t y);
  // Copies `source` (converting its format) with its top-left pixel at (x, y).
  void Draw(std::int32_t x, std::int32_t y, const Bitmap& source);

 private:
  Bitmap& target_;
  std::uint32_t brush_ = 0xFFFFFFFFu;  // white
  std::uint32_t pen_ = 0xFF000000u;    // black
  std::int32_t x_ = 0, y_ = 0;
};

}  // namespace pw::graphics
