#include "graphics/compare.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace pw::graphics {

namespace {

inline std::uint32_t ChannelDiff(std::uint32_t a, std::uint32_t b) {
  return static_cast<std::uint32_t>(std::abs(static_cast<int>(a) - static_cast<int>(b)));
}

// The pixel rule for a sought colour c with alpha a against a colour h (colour bytes only).
inline bool PixelMatches(std::uint32_t c, std::uint32_t a, std::uint32_t h, std::uint32_t t) {
  if (a == 255) {
    if (t == 0) return ((c ^ h) & 0xFFFFFF) == 0;
    return ChannelDiff(RedOf(c), RedOf(h)) <= t && ChannelDiff(GreenOf(c), GreenOf(h)) <= t &&
           ChannelDiff(BlueOf(c), BlueOf(h)) <= t;
  }
  auto weighted = [&](std::uint32_t cc, std::uint32_t hh) {
    const std::uint32_t d = cc > t ? cc - t : 0;
    return d * a / 255 <= hh;
  };
  return weighted(RedOf(c), RedOf(h)) && weighted(GreenOf(c), GreenOf(h)) && weighted(BlueOf(c), BlueOf(h));
}

// Whether the mask leaves the pixel out (no mask: never).
inline bool MaskedOut(const Bitmap* mask, const std::vector<std::uint32_t>& maskPixels, std::int32_t x,
                      std::int32_t y) {
  if (!mask) return false;
  if (x >= mask->width() || y >= mask->height()) return true;
  return (maskPixels[static_cast<std::size_t>(y) * mask->width() + x] & 0xFFFFFF) == 0;
}

// A's pixel in dim grey: its brightness halved, lifted by a quarter.
inline std::uint32_t Dim(std::uint32_t c) {
  const std::uint32_t lum = (((c >> 16) & 0xFF) * 77 + ((c >> 8) & 0xFF) * 150 + (c & 0xFF) * 29) >> 8;
  const std::uint32_t d = lum / 2 + 64;
  return d << 16 | d << 8 | d;
}

// A row of the difference picture (32 bits, no alpha) in dim grey.
void DimRow(const std::uint32_t* in, std::uint32_t* out, std::int32_t n) {
  for (std::int32_t x = 0; x < n; ++x) out[x] = Dim(in[x]);
}

inline std::uint32_t* PictureRow(Bitmap& picture, std::int32_t y) {
  return reinterpret_cast<std::uint32_t*>(picture.Row(y));
}

void CheckTolerances(const MatchRules& rules) {
  if (rules.colorTolerance < 0 || rules.colorTolerance > 255)
    throw GraphicsError(GraphicsError::Kind::BadArgument, "The colour tolerance is outside 0..255.");
}

}  // namespace

Comparison CompareBitmaps(const Bitmap& a, const Bitmap& b, const MatchRules& rules, bool makePicture,
                          bool onlyDifferences) {
  CheckTolerances(rules);
  Comparison result;
  const Bitmap* mask = rules.mask && !rules.mask->empty() ? rules.mask : nullptr;
  const bool sameSize = a.width() == b.width() && a.height() == b.height();
  // Identical pixel bytes are equal whatever the rules say.
  if (!makePicture && sameSize && a.format().SameAs(b.format()) && a.Bytes() == b.Bytes()) return result;

  const std::int32_t w = std::max(a.width(), b.width()), h = std::max(a.height(), b.height());
  std::vector<std::uint32_t> maskPixels = mask ? mask->ToArgb() : std::vector<std::uint32_t>();
  if (makePicture) result.picture.emplace(w, h, PixelFormat::Rgb32());
  // Rows whose bytes are equal have no differences whatever the rules (identical pixels never
  // differ and add nothing to the deviation).
  const bool sameLayout = a.width() == b.width() && a.format().SameAs(b.format());
  const std::size_t usedBytes = (static_cast<std::size_t>(a.width()) * a.format().bitCount + 7) / 8;
  const std::uint32_t t = static_cast<std::uint32_t>(rules.colorTolerance);
  const bool useTransparent = rules.transparent && !b.empty();
  const std::uint32_t transparent = useTransparent ? b.GetPixel(0, 0) & 0xFFFFFF : 0;
  const bool bAlpha = b.HasAlpha();
  std::vector<std::uint32_t> rowA(static_cast<std::size_t>(w)), rowB(static_cast<std::size_t>(w));
  std::uint32_t devR = 0, devG = 0, devB = 0;
  for (std::int32_t y = 0; y < h; ++y) {
    const bool rowInA = y < a.height(), rowInB = y < b.height();
    std::uint32_t* pictureRow = makePicture ? PictureRow(*result.picture, y) : nullptr;
    if (sameLayout && rowInA && rowInB && std::memcmp(a.Row(y), b.Row(y), usedBytes) == 0) {
      if (makePicture && !onlyDifferences) {
        if (a.format().bitCount == 32 && a.format().compression == Compression::Rgb) {
          DimRow(reinterpret_cast<const std::uint32_t*>(a.Row(y)), pictureRow, w);
        } else {
          a.ReadRow(y, rowA.data());
          DimRow(rowA.data(), pictureRow, w);
        }
      }
      continue;
    }
    if (rowInA) a.ReadRow(y, rowA.data());
    if (rowInB) b.ReadRow(y, rowB.data());
    for (std::int32_t x = 0; x < w; ++x) {
      const bool inA = rowInA && x < a.width(), inB = rowInB && x < b.width();
      bool differs = false;
      if (!MaskedOut(mask, maskPixels, x, y)) {
        if (inA && inB) {
          const std::uint32_t cb = rowB[x], ca = rowA[x];
          const std::uint32_t alpha = bAlpha ? AlphaOf(cb) : 255;
          const bool ignored = alpha == 0 || (useTransparent && (cb & 0xFFFFFF) == transparent);
          if (!ignored) {
            differs = !PixelMatches(cb, alpha, ca, t);
            devR = std::max(devR, ChannelDiff(RedOf(ca), RedOf(cb)));
            devG = std::max(devG, ChannelDiff(GreenOf(ca), GreenOf(cb)));
            devB = std::max(devB, ChannelDiff(BlueOf(ca), BlueOf(cb)));
          }
        } else {
          differs = true;
        }
      }
      if (differs) {
        ++result.differing;
        if (!makePicture && result.differing > rules.pixelTolerance) {
          result.equal = false;
          result.deviation = devR << 16 | devG << 8 | devB;
          return result;
        }
      }
      if (!makePicture) continue;
      if (differs)
        pictureRow[x] = 0xFF0000;
      else if (inA && !onlyDifferences)
        pictureRow[x] = Dim(rowA[x]);
    }
  }
  result.equal = result.differing <= rules.pixelTolerance;
  result.deviation = devR << 16 | devG << 8 | devB;
  return result;
}

namespace {

struct NeedlePixel {
  std::size_t offset;  // y * haystack width + x
  std::uint32_t colour;
  std::uint32_t alpha;
};

// Mismatches of the pixels at one position, stopping once they pass the tolerance.
template <bool kExact>
inline std::int64_t Mismatches(const std::uint32_t* base, const NeedlePixel* pixels, std::size_t count,
                               std::int64_t tolerance, std::uint32_t t) {
  std::int64_t misses = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const NeedlePixel& p = pixels[i];
    const bool match = kExact ? base[p.offset] == p.colour : PixelMatches(p.colour, p.alpha, base[p.offset], t);
    if (!match && ++misses > tolerance) return misses;
  }
  return misses;
}

}  // namespace

SearchResult FindBitmap(const Bitmap& haystack, const Bitmap& needle, std::int32_t left, std::int32_t top,
                        const MatchRules& rules, const SearchControl& control) {
  CheckTolerances(rules);
  SearchResult result;
  const std::int32_t hw = haystack.width(), hh = haystack.height(), nw = needle.width(), nh = needle.height();
  if (left < 0 || top < 0 || nw == 0 || nh == 0 || hw - nw < left || hh - nh < top) {
    result.status = SearchResult::Status::OutOfRange;
    return result;
  }
  const Bitmap* mask = rules.mask && !rules.mask->empty() ? rules.mask : nullptr;
  const std::vector<std::uint32_t> maskPixels = mask ? mask->ToArgb() : std::vector<std::uint32_t>();
  // Each pixel is read once into the caches; the haystack keeps its colour bytes only.
  std::vector<std::uint32_t> hay = haystack.ToArgb();
  for (auto& c : hay) c &= 0xFFFFFF;
  const std::vector<std::uint32_t> sought = needle.ToArgb();
  const bool alphaChannel = needle.HasAlpha();
  const std::uint32_t transparent = sought[0] & 0xFFFFFF;
  const std::uint32_t t = static_cast<std::uint32_t>(rules.colorTolerance);

  // The pixels that count, with their offsets in the haystack; the diagonal ones apart.
  std::vector<NeedlePixel> all, diagonal;
  bool allOpaque = true;
  auto counts = [&](std::int32_t x, std::int32_t y, NeedlePixel& out) {
    const std::uint32_t c = sought[static_cast<std::size_t>(y) * nw + x];
    const std::uint32_t a = alphaChannel ? AlphaOf(c) : 255;
    if (a == 0) return false;
    if (rules.transparent && a == 255 && (c & 0xFFFFFF) == transparent) return false;
    if (MaskedOut(mask, maskPixels, x, y)) return false;
    out = {static_cast<std::size_t>(y) * hw + x, c & 0xFFFFFF, a};
    return true;
  };
  all.reserve(static_cast<std::size_t>(nw) * nh);
  for (std::int32_t y = 0; y < nh; ++y)
    for (std::int32_t x = 0; x < nw; ++x) {
      NeedlePixel p;
      if (counts(x, y, p)) {
        all.push_back(p);
        if (p.alpha != 255) allOpaque = false;
      }
    }
  const std::int32_t n = std::max(nw, nh);
  for (std::int32_t i = 0; i < n; ++i) {
    NeedlePixel p;
    if (counts(static_cast<std::int32_t>(static_cast<std::int64_t>(nw) * i / n),
               static_cast<std::int32_t>(static_cast<std::int64_t>(nh) * i / n), p))
      diagonal.push_back(p);
  }
  // The order of the full check does not change its count, only how soon a place fails: the
  // sought bitmap's rarest colours first (on flat panels its common colour matches everywhere).
  {
    std::unordered_map<std::uint32_t, std::uint32_t> frequency;
    for (const auto& p : all) ++frequency[p.colour];
    auto rarer = [&](const NeedlePixel& l, const NeedlePixel& r) {
      return frequency.at(l.colour) < frequency.at(r.colour);
    };
    std::stable_sort(all.begin(), all.end(), rarer);
    for (const auto& p : diagonal) frequency.try_emplace(p.colour, 0);
    std::stable_sort(diagonal.begin(), diagonal.end(), rarer);
  }
  const bool exact = t == 0 && allOpaque;
  const std::int64_t tolerance = rules.pixelTolerance;
  // Fewer counted pixels than the tolerance: the first position matches.
  for (std::int32_t x = left; x <= hw - nw; ++x) {
    if (control.onColumn) control.onColumn(x);
    for (std::int32_t y = top; y <= hh - nh; ++y) {
      const std::uint32_t* base = hay.data() + static_cast<std::size_t>(y) * hw + x;
      bool match;
      if (exact)
        match = Mismatches<true>(base, diagonal.data(), diagonal.size(), tolerance, t) <= tolerance &&
                Mismatches<true>(base, all.data(), all.size(), tolerance, t) <= tolerance;
      else
        match = Mismatches<false>(base, diagonal.data(), diagonal.size(), tolerance, t) <= tolerance &&
                Mismatches<false>(base, all.data(), all.size(), tolerance, t) <= tolerance;
      if (match) {
        result.status = SearchResult::Status::Found;
        result.x = x;
        result.y = y;
        return result;
      }
      if (control.stopRequested && control.stopRequested()) {
        result.status = SearchResult::Status::Stopped;
        return result;
      }
    }
  }
  result.status = SearchResult::Status::NotFound;
  return result;
}

}  // namespace pw::graphics
