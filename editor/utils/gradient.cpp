#include "editor/utils/gradient.h"

#include <algorithm>

#include "editor/rtf/rtf_attributes.h"

namespace pw::editor {

void GradientFill(graphics::Canvas& canvas, const TRect& r, std::uint32_t color1, bool vertical, std::uint32_t color2) {
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
  // Only the rows or columns that can reach the bitmap are drawn.
  graphics::Bitmap& target = canvas.target();
  const std::int64_t first = vertical ? std::max<std::int64_t>(r.Top, 0) : std::max<std::int64_t>(r.Left, 0);
  const std::int64_t last =
      vertical ? std::min<std::int64_t>(r.Bottom, target.height()) : std::min<std::int64_t>(r.Right, target.width());
  for (std::int64_t p = first; p < last; ++p) {
    canvas.SetPenColor(at(p - (vertical ? r.Top : r.Left)));
    const auto q = static_cast<std::int32_t>(p);
    if (vertical) {
      canvas.MoveTo(r.Left, q);
      canvas.LineTo(r.Right, q);
    } else {
      canvas.MoveTo(q, r.Top);
      canvas.LineTo(q, r.Bottom);
    }
  }
}

void GradientFill(graphics::Bitmap& bitmap, const TRect& r, std::uint32_t color1, bool vertical, std::uint32_t color2) {
  graphics::Canvas canvas(bitmap);
  GradientFill(canvas, r, color1, vertical, color2);
}

}  // namespace pw::editor
