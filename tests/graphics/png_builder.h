// Hand-made PNG files for the codec tests: any colour type and depth, chunks with their CRCs.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pw::graphics::testing {

inline void Put32Be(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline void Chunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
  Put32Be(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  const uLong crc = crc32(0, out.data() + start, static_cast<uInt>(out.size() - start));
  Put32Be(out, static_cast<std::uint32_t>(crc));
}

struct PngSpec {
  PngSpec(std::uint32_t w, std::uint32_t h, std::uint8_t d, std::uint8_t type, std::vector<std::uint8_t> r,
          std::vector<std::uint8_t> plte = {}, std::vector<std::uint8_t> trns = {})
      : width(w),
        height(h),
        depth(d),
        colorType(type),
        rows(std::move(r)),
        palette(std::move(plte)),
        transparency(std::move(trns)) {}
  std::uint32_t width = 1, height = 1;
  std::uint8_t depth = 8, colorType = 2;
  std::vector<std::uint8_t> rows;          // raw scanlines without filter bytes
  std::vector<std::uint8_t> palette;       // PLTE content
  std::vector<std::uint8_t> transparency;  // tRNS content
};

inline std::vector<std::uint8_t> MakePng(const PngSpec& s) {
  std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> ihdr;
  Put32Be(ihdr, s.width);
  Put32Be(ihdr, s.height);
  ihdr.insert(ihdr.end(), {s.depth, s.colorType, 0, 0, 0});
  Chunk(out, "IHDR", ihdr);
  if (!s.palette.empty()) Chunk(out, "PLTE", s.palette);
  if (!s.transparency.empty()) Chunk(out, "tRNS", s.transparency);
  const std::size_t rowBytes = s.height ? s.rows.size() / s.height : 0;
  std::vector<std::uint8_t> raw;
  for (std::uint32_t y = 0; y < s.height; ++y) {
    raw.push_back(0);  // filter: none
    raw.insert(raw.end(), s.rows.begin() + static_cast<std::ptrdiff_t>(y * rowBytes),
               s.rows.begin() + static_cast<std::ptrdiff_t>((y + 1) * rowBytes));
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<std::uint8_t> packed(size);
  compress(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
  packed.resize(size);
  Chunk(out, "IDAT", packed);
  Chunk(out, "IEND", {});
  return out;
}

}  // namespace pw::graphics::testing
