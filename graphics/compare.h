// Comparison and search kernels over bitmaps of any formats.
//
// A pixel of the sought (or second) bitmap is compared on its colour bytes; the alpha byte is a
// weight, never compared:
//  - alpha 0: ignored;
//  - alpha 255: equal colours, or with a colour tolerance T > 0 each of red, green and blue
//    differing by at most T;
//  - between: each channel of the sought colour less T (not below 0), times alpha / 255, is not
//    brighter than the other pixel's channel.
// A pixel is also ignored when `transparent` is set and its colour equals the sought bitmap's
// pixel (0, 0), or when a mask is given and the mask has no pixel there or a black one (mask
// coordinates are the sought bitmap's). A place matches (or two bitmaps are equal) when at most
// `pixelTolerance` pixels differ.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "graphics/bitmap.h"

namespace pw::graphics {

struct MatchRules {
  std::int32_t pixelTolerance = 0;
  std::int32_t colorTolerance = 0;  // 0..255
  bool transparent = false;
  const Bitmap* mask = nullptr;  // nil or empty: no mask
};

// Comparison of A (the own bitmap) with B (the other one, whose pixel (0, 0), alpha and mask
// count as the sought bitmap's). Bitmaps of different sizes compare on their union: a pixel
// inside one bitmap only differs (unless the mask leaves it out).
struct Comparison {
  bool equal = true;
  std::int64_t differing = 0;     // pixels that differ
  std::uint32_t deviation = 0;    // largest difference per channel: red << 16 | green << 8 | blue
  std::optional<Bitmap> picture;  // the difference picture, when asked for
};
// The difference picture is 32-bit without alpha, the union's size: A's pixels in dim grey,
// black outside A, differing pixels red. With `onlyDifferences` the grey is left out (black).
Comparison CompareBitmaps(const Bitmap& a, const Bitmap& b, const MatchRules& rules, bool makePicture,
                          bool onlyDifferences = false);

// The search of `needle` inside `haystack`: positions X from `left` (outer loop) and Y from
// `top` (inner loop); the first that matches wins.
struct SearchControl {
  // Called at the start of each X; nil: nothing.
  std::function<void(std::int32_t x)> onColumn;
  // Asked after each position that does not match; true ends the search. Nil: never.
  std::function<bool()> stopRequested;
};
struct SearchResult {
  enum class Status { Found, NotFound, Stopped, OutOfRange };
  Status status = Status::NotFound;
  std::int32_t x = 0, y = 0;
};
SearchResult FindBitmap(const Bitmap& haystack, const Bitmap& needle, std::int32_t left, std::int32_t top,
                        const MatchRules& rules, const SearchControl& control = {});

}  // namespace pw::graphics
