// BMP files and packed DIBs (an info header, its colour table and masks, then the pixels, as
// the editor's rich-text pictures carry them).
//
// Read: info headers of 40 (with masks after it for BitFields), 52, 56, 108 and 124 bytes;
// uncompressed and BitFields pixels of 1, 4, 8, 16, 24 and 32 bits, rows bottom-up or top-down
// (negative height). 32-bit pixels have alpha only when the header gives an alpha mask.
// Run-length files and the old 12-byte header are refused. Every header field is checked
// against the data's size (and the pixel cap) before anything is allocated; a colour index past
// the table is an error. Errors raise GraphicsError with a message that says what is wrong.
//
// Write: the bitmap's own format, rows bottom-up: a 40-byte header for uncompressed pixels (and
// 16-bit BitFields, masks after it), a 108-byte header for 32-bit pixels with alpha. Writing
// what was read gives the same bytes again.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "graphics/bitmap.h"

namespace pw::graphics {

Bitmap ReadBmp(std::span<const std::uint8_t> file);
Bitmap ReadPackedDib(std::span<const std::uint8_t> dib);
std::vector<std::uint8_t> WriteBmp(const Bitmap& bitmap);
std::vector<std::uint8_t> WritePackedDib(const Bitmap& bitmap);

}  // namespace pw::graphics
