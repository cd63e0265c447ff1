#include "graphics/blit.h"

#include <algorithm>
#include <cstring>

namespace pw::graphics {

void CopyPixels(const Bitmap& src, std::int32_t sx, std::int32_t sy, std::int32_t w, std::int32_t h, Bitmap& dst,
                std::int32_t dx, std::int32_t dy) {
  // Clip against the source, then the target.
  if (sx < 0) {
    w += sx;
    dx -= sx;
    sx = 0;
  }
  if (sy < 0) {
    h += sy;
    dy -= sy;
    sy = 0;
  }
  if (dx < 0) {
    w += dx;
    sx -= dx;
    dx = 0;
  }
  if (dy < 0) {
    h += dy;
    sy -= dy;
    dy = 0;
  }
  w = std::min({w, src.width() - sx, dst.width() - dx});
  h = std::min({h, src.height() - sy, dst.height() - dy});
  if (w <= 0 || h <= 0) return;
  const bool same = src.format().SameAs(dst.format());
  const int bits = src.format().bitCount;
  if (same && bits >= 8) {
    const std::size_t bpp = static_cast<std::size_t>(bits / 8);
    const bool up = &src == &dst && dy > sy;
    for (std::int32_t i = 0; i < h; ++i) {
      const std::int32_t row = up ? h - 1 - i : i;
      std::memmove(dst.Row(dy + row) + dx * bpp, src.Row(sy + row) + sx * bpp, static_cast<std::size_t>(w) * bpp);
    }
    return;
  }
  // Through 0xAARRGGBB rows (whole rows, so that sub-byte pixels keep their neighbours).
  std::vector<std::uint32_t> in(static_cast<std::size_t>(src.width()));
  std::vector<std::uint32_t> out(static_cast<std::size_t>(dst.width()));
  std::vector<std::vector<std::uint32_t>> rows;
  if (&src == &dst) {  // read every source row before writing
    rows.resize(static_cast<std::size_t>(h));
    for (std::int32_t i = 0; i < h; ++i) {
      rows[i].resize(in.size());
      src.ReadRow(sy + i, rows[i].data());
    }
  }
  for (std::int32_t i = 0; i < h; ++i) {
    const std::uint32_t* s = in.data();
    if (&src == &dst) {
      s = rows[i].data();
    } else {
      src.ReadRow(sy + i, in.data());
    }
    dst.ReadRow(dy + i, out.data());
    std::memcpy(out.data() + dx, s + sx, static_cast<std::size_t>(w) * 4);
    dst.WriteRow(dy + i, out.data());
  }
}

namespace {

// Source coordinate of target pixel i of n over a source span of m starting at s: the pixel
// under the centre of the target pixel.
inline std::int64_t NearestSource(std::int64_t i, std::int64_t n, std::int64_t m) {
  return ((2 * i + 1) * m) / (2 * n);
}

}  // namespace

void StretchPixels(const Bitmap& src, const Rect& from, Bitmap& dst, const Rect& to, StretchMode mode) {
  if (from.width <= 0 || from.height <= 0 || to.width <= 0 || to.height <= 0) return;
  const std::vector<std::uint32_t> pixels = src.ToArgb();
  const std::int32_t sw = src.width(), sh = src.height();
  auto at = [&](std::int64_t x, std::int64_t y) -> std::uint32_t {
    x = std::clamp<std::int64_t>(x, 0, sw - 1);
    y = std::clamp<std::int64_t>(y, 0, sh - 1);
    return pixels[static_cast<std::size_t>(y) * sw + static_cast<std::size_t>(x)];
  };
  if (sw == 0 || sh == 0) return;
  std::vector<std::uint32_t> row(static_cast<std::size_t>(dst.width()));
  const std::int32_t y0 = std::max(0, to.y), y1 = std::min(dst.height(), to.y + to.height);
  const std::int32_t x0 = std::max(0, to.x), x1 = std::min(dst.width(), to.x + to.width);
  if (x0 >= x1) return;
  for (std::int32_t y = y0; y < y1; ++y) {
    dst.ReadRow(y, row.data());
    const std::int64_t ty = y - to.y;
    for (std::int32_t x = x0; x < x1; ++x) {
      const std::int64_t tx = x - to.x;
      if (mode == StretchMode::Nearest) {
        row[x] =
            at(from.x + NearestSource(tx, to.width, from.width), from.y + NearestSource(ty, to.height, from.height));
        continue;
      }
      // Area average in units of 1 / (to.width * to.height) source pixels: target pixel tx covers
      // source x range [tx * fw, (tx + 1) * fw) scaled by to.width.
      const std::int64_t ax0 = tx * from.width, ax1 = (tx + 1) * from.width;    // scaled by to.width
      const std::int64_t ay0 = ty * from.height, ay1 = (ty + 1) * from.height;  // scaled by to.height
      std::uint64_t sa = 0, sr = 0, sg = 0, sb = 0, total = 0;
      for (std::int64_t syi = ay0 / to.height; syi * to.height < ay1; ++syi) {
        const std::int64_t wy = std::min(ay1, (syi + 1) * to.height) - std::max(ay0, syi * to.height);
        if (wy <= 0) continue;
        for (std::int64_t sxi = ax0 / to.width; sxi * to.width < ax1; ++sxi) {
          const std::int64_t wx = std::min(ax1, (sxi + 1) * to.width) - std::max(ax0, sxi * to.width);
          if (wx <= 0) continue;
          const std::uint64_t weight = static_cast<std::uint64_t>(wx * wy);
          const std::uint32_t c = at(from.x + sxi, from.y + syi);
          sa += AlphaOf(c) * weight;
          sr += RedOf(c) * weight;
          sg += GreenOf(c) * weight;
          sb += BlueOf(c) * weight;
          total += weight;
        }
      }
      if (total == 0) continue;
      const std::uint64_t half = total / 2;
      row[x] = Argb(static_cast<std::uint32_t>((sa + half) / total), static_cast<std::uint32_t>((sr + half) / total),
                    static_cast<std::uint32_t>((sg + half) / total), static_cast<std::uint32_t>((sb + half) / total));
    }
    dst.WriteRow(y, row.data());
  }
}

Bitmap MonochromeCopy(const Bitmap& src, std::uint32_t background) {
  Bitmap out(src.width(), src.height(), PixelFormat::Indexed(1, {0x000000, 0xFFFFFF}));
  std::vector<std::uint32_t> row(static_cast<std::size_t>(src.width()));
  for (std::int32_t y = 0; y < src.height(); ++y) {
    src.ReadRow(y, row.data());
    for (auto& c : row) c = (c & 0xFFFFFF) == (background & 0xFFFFFF) ? 0xFFFFFFFFu : 0xFF000000u;
    out.WriteRow(y, row.data());
  }
  return out;
}

bool IsBlackWhite(const Bitmap& bitmap) {
  std::vector<std::uint32_t> row(static_cast<std::size_t>(bitmap.width()));
  for (std::int32_t y = 0; y < bitmap.height(); ++y) {
    bitmap.ReadRow(y, row.data());
    for (std::uint32_t c : row)
      if ((c & 0xFFFFFF) != 0 && (c & 0xFFFFFF) != 0xFFFFFF) return false;
  }
  return true;
}

const std::vector<std::uint32_t>& SixteenColourPalette() {
  static const std::vector<std::uint32_t> table = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                                   0x008080, 0x808080, 0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00,
                                                   0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  return table;
}

const std::vector<std::uint32_t>& HalftonePalette() {
  static const std::vector<std::uint32_t> table = [] {
    std::vector<std::uint32_t> t = SixteenColourPalette();
    for (std::uint32_t r = 0; r < 6; ++r)
      for (std::uint32_t g = 0; g < 6; ++g)
        for (std::uint32_t b = 0; b < 6; ++b) t.push_back((r * 51) << 16 | (g * 51) << 8 | (b * 51));
    for (std::uint32_t i = 0; t.size() < 256; ++i) {
      const std::uint32_t v = 8 + i * 10;
      t.push_back(v << 16 | v << 8 | v);
    }
    return t;
  }();
  return table;
}

}  // namespace pw::graphics
