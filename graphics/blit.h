// Copying and stretching between bitmaps of any formats, and the colour tables and colour
// reductions that go with them. Rectangles are clipped to both bitmaps; nothing here allocates
// more than the bitmaps it is given, except the functions that return a new bitmap.
#pragma once

#include <cstdint>
#include <vector>

#include "graphics/bitmap.h"

namespace pw::graphics {

struct Rect {
  std::int32_t x = 0, y = 0, width = 0, height = 0;
};

// Copies w x h pixels from (sx, sy) of src to (dx, dy) of dst, converting the format; the
// parts outside either bitmap are left out. src and dst may be the same bitmap.
void CopyPixels(const Bitmap& src, std::int32_t sx, std::int32_t sy, std::int32_t w, std::int32_t h, Bitmap& dst,
                std::int32_t dx, std::int32_t dy);

// Stretches the source rectangle onto the target rectangle (both clipped to their bitmaps'
// areas as a whole target pixel maps to a source pixel).
//  - Nearest: each target pixel takes the source pixel under its centre (pixels are repeated or
//    dropped, never mixed).
//  - AreaAverage: each target pixel is the average of the source area it covers, weighted by
//    how much of each source pixel lies inside it (a flat field stays flat; 2 x 2 pixels
//    halved become their mean).
enum class StretchMode { Nearest, AreaAverage };
void StretchPixels(const Bitmap& src, const Rect& from, Bitmap& dst, const Rect& to, StretchMode mode);

// A 1-bit copy: pixels of the background colour (white) become 1 (white), all others 0
// (black).
Bitmap MonochromeCopy(const Bitmap& src, std::uint32_t background = 0xFFFFFF);

// True when every pixel is pure black or pure white.
bool IsBlackWhite(const Bitmap& bitmap);

// The 16-colour table: black, dark red, dark green, olive, navy, purple, teal, grey, silver,
// red, lime, yellow, blue, fuchsia, aqua, white.
const std::vector<std::uint32_t>& SixteenColourPalette();
// The 256-colour halftone table: the sixteen colours above, a 6 x 6 x 6 colour cube and a
// grey ramp.
const std::vector<std::uint32_t>& HalftonePalette();

}  // namespace pw::graphics
