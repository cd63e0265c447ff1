// PNG images on libpng. Every colour type and depth is read as 24-bit pixels, or as 32-bit
// pixels with alpha when the image has alpha (an alpha channel or a transparency chunk);
// 16-bit samples are reduced to 8. Written as 8-bit RGB, or RGBA for a bitmap with alpha, at a
// compression level 0..9. The reader sets libpng's size limits and checks the pixel cap
// before it allocates; libpng's errors (bad signature, bad CRC, truncated data) raise
// GraphicsError with libpng's message.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "graphics/bitmap.h"

namespace pw::graphics {

Bitmap ReadPng(std::span<const std::uint8_t> data);
// level: 0 (none) .. 9 (smallest); -1 libpng's default.
std::vector<std::uint8_t> WritePng(const Bitmap& bitmap, int level = -1);
// Whether the data starts with the PNG signature.
bool LooksLikePng(std::span<const std::uint8_t> data);

}  // namespace pw::graphics
