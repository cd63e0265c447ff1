// A colour gradient drawn into a bitmap: R's rows (Vertical) or columns run
// from Color1 to Color2, per red, green and blue component c1 + (c2 - c1) * i /
// (n - 1) over the n rows or columns (truncated toward zero), so the first is
// Color1 and the last exactly Color2; a single row or column is Color1. Only
// R's own pixels are drawn (right and bottom exclusive), clipped to the bitmap;
// an empty R draws nothing. System colours are resolved first (ColorToRGB).
// Drawn as the canvas draws: a 1-pixel pen line per row or column, the pen left
// in the last colour.
#pragma once

#include <cstdint>

#include "editor/utils/ate_utils.h"
#include "graphics/bitmap.h"
#include "graphics/canvas.h"

namespace pw::editor {

void GradientFill(graphics::Canvas& canvas, const TRect& r, std::uint32_t color1, bool vertical, std::uint32_t color2);
// The same on a canvas of its own over `bitmap`.
void GradientFill(graphics::Bitmap& bitmap, const TRect& r, std::uint32_t color1, bool vertical, std::uint32_t color2);

}  // namespace pw::editor
