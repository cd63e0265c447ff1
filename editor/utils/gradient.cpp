#include "editor/utils/gradient.h"

#include <algorithm>

#include "editor/rtf/rtf_attributes.h"

namespace pw::editor {

void GradientFill(graphics::Bitmap& canvas, const TRect& r, std::uint32_t color1, bool vertical, std::uint32_t color2) {
  if (r.Right <= r.Left || r.Bottom <= r.Top) return;
  const std::uint32_t a = ColorToRGB(color1), b = ColorToRGB(color2);
  const std::int64_t n =
      vertical ? static_cast<std::int64_t>(r.Bottom) - r.Top : static_cast<std::int64_t>(r.Right) - r.Left;
  auto at = [&](std::int64_t i) {
    std::uint32_t argb = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
      const std::int64_t c1 = (a >> shift) & 0xFF, c2 = (b >> shift) & 0xFF;
      const std::int64_t c = n > 1 ? c1 + (c2 - c1) * i / (n - 1) : c1;
      // a is red + green*256 + blue*65536; the bitmap takes 0xAARRGGBB.
      argb |= static_cast<std::uint32_t>(c & 0xFF) << (16 - shift);
    }
    return argb;
  };
  const std::int32_t left = std::max(r.Left, 0), right = std::min(r.Right, canvas.width());
  const std::int32_t top = std::max(r.Top, 0), bottom = std::min(r.Bottom, canvas.height());
  for (std::int32_t y = top; y < bottom; ++y)
    for (std::int32_t x = left; x < right; ++x)
      canvas.SetPixel(x, y,
                      at(vertical ? static_cast<std::int64_t>(y) - r.Top : static_cast<std::int64_t>(x) - r.Left));
}

}  // namespace pw::editor
