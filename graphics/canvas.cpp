#include "graphics/canvas.h"

#include <algorithm>
#include <cstdlib>

#include "graphics/blit.h"

namespace pw::graphics {

void Canvas::FillRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
  const std::int32_t l = std::max(left, 0), r = std::min(right, target_.width());
  const std::int32_t t = std::max(top, 0), b = std::min(bottom, target_.height());
  for (std::int32_t y = t; y < b; ++y)
    for (std::int32_t x = l; x < r; ++x) target_.SetPixel(x, y, brush_);
}

void Canvas::LineTo(std::int32_t x, std::int32_t y) {
  const std::int64_t x0 = x_, y0 = y_;
  const std::int64_t dx = static_cast<std::int64_t>(x) - x0, dy = static_cast<std::int64_t>(y) - y0;
  x_ = x;
  y_ = y;
  const bool alongX = std::llabs(dx) >= std::llabs(dy);
  const std::int64_t n = alongX ? std::llabs(dx) : std::llabs(dy);  // pixels: steps 0 .. n - 1
  if (n == 0) return;
  const std::int64_t major0 = alongX ? x0 : y0, step = (alongX ? dx : dy) < 0 ? -1 : 1;
  const std::int64_t minor0 = alongX ? y0 : x0, minorDelta = alongX ? dy : dx;
  const std::int64_t extent = alongX ? target_.width() : target_.height();
  // Only the steps whose major coordinate lies inside the bitmap can draw.
  std::int64_t kFrom = 0, kTo = n;  // [kFrom, kTo)
  if (step > 0) {
    kFrom = std::max<std::int64_t>(kFrom, -major0);
    kTo = std::min<std::int64_t>(kTo, extent - major0);
  } else {
    kFrom = std::max<std::int64_t>(kFrom, major0 - (extent - 1));
    kTo = std::min<std::int64_t>(kTo, major0 + 1);
  }
  const std::int64_t minorExtent = alongX ? target_.height() : target_.width();
  for (std::int64_t k = kFrom; k < kTo; ++k) {
    const std::int64_t major = major0 + k * step;
    // Nearest pixel: (2 k |d| + n) div 2n, signed like the delta.
    const std::int64_t off = (2 * k * std::llabs(minorDelta) + n) / (2 * n);
    const std::int64_t minor = minor0 + (minorDelta < 0 ? -off : off);
    if (minor < 0 || minor >= minorExtent) continue;
    const auto px = static_cast<std::int32_t>(alongX ? major : minor);
    const auto py = static_cast<std::int32_t>(alongX ? minor : major);
    target_.SetPixel(px, py, pen_);
  }
}

void Canvas::Draw(std::int32_t x, std::int32_t y, const Bitmap& source) {
  CopyPixels(source, 0, 0, source.width(), source.height(), target_, x, y);
}

}  // namespace pw::graphics
