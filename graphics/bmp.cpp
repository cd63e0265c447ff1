#include "graphics/bmp.h"

#include <cstring>
#include <string>

namespace pw::graphics {

namespace {

[[noreturn]] void Bad(const std::string& what) {
  throw GraphicsError(GraphicsError::Kind::BadData, "Bad BMP data: " + what);
}

std::uint32_t U32(std::span<const std::uint8_t> d, std::size_t at) {
  return static_cast<std::uint32_t>(d[at]) | static_cast<std::uint32_t>(d[at + 1]) << 8 |
         static_cast<std::uint32_t>(d[at + 2]) << 16 | static_cast<std::uint32_t>(d[at + 3]) << 24;
}
std::uint16_t U16(std::span<const std::uint8_t> d, std::size_t at) {
  return static_cast<std::uint16_t>(d[at] | d[at + 1] << 8);
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

// dib: the info header onwards; pixels: where the pixel rows start inside dib, or 0 for "right
// after the colour table".
Bitmap ReadDib(std::span<const std::uint8_t> dib, std::size_t pixelsAt) {
  if (dib.size() < 4) Bad("the info header is missing");
  const std::uint32_t headerSize = U32(dib, 0);
  if (headerSize == 12) Bad("the old 12-byte info header is not supported");
  if (headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 && headerSize != 124)
    Bad("unknown info header size " + std::to_string(headerSize));
  if (dib.size() < headerSize) Bad("the info header is truncated");
  const std::int32_t width = static_cast<std::int32_t>(U32(dib, 4));
  const std::int32_t rawHeight = static_cast<std::int32_t>(U32(dib, 8));
  const std::uint16_t planes = U16(dib, 12);
  const std::uint16_t bits = U16(dib, 14);
  const std::uint32_t compression = U32(dib, 16);
  std::uint32_t colorsUsed = U32(dib, 32);
  if (planes != 1) Bad("the plane count is not 1");
  if (width <= 0) Bad("the width is not positive");
  if (rawHeight == 0 || rawHeight == INT32_MIN) Bad("the height is zero or out of range");
  const bool topDown = rawHeight < 0;
  const std::int32_t height = topDown ? -rawHeight : rawHeight;
  if (compression == 1 || compression == 2) Bad("run-length encoded bitmaps are not supported");
  if (compression != 0 && compression != 3) Bad("unsupported compression " + std::to_string(compression));
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    Bad("unsupported bit count " + std::to_string(bits));
  if (compression == 3 && bits != 16 && bits != 32) Bad("bit fields need 16 or 32 bits");

  PixelFormat format;
  format.bitCount = bits;
  std::size_t at = headerSize;
  if (compression == 3) {
    format.compression = Compression::BitFields;
    if (headerSize == 40) {
      if (dib.size() < at + 12) Bad("the colour masks are truncated");
      format.redMask = U32(dib, at);
      format.greenMask = U32(dib, at + 4);
      format.blueMask = U32(dib, at + 8);
      at += 12;
    } else {
      format.redMask = U32(dib, 40);
      format.greenMask = U32(dib, 44);
      format.blueMask = U32(dib, 48);
      if (headerSize >= 56) format.alphaMask = U32(dib, 52);
    }
  } else if (bits == 32 && headerSize >= 56 && U32(dib, 52) == 0xFF000000u) {
    format.alpha = true;  // an alpha mask on uncompressed 32-bit pixels
  }
  if (format.compression == Compression::BitFields && bits == 32 && format.redMask == 0xFF0000 &&
      format.greenMask == 0xFF00 && format.blueMask == 0xFF &&
      (format.alphaMask == 0 || format.alphaMask == 0xFF000000u)) {
    // The plain 8-8-8 layout: kept as uncompressed pixels.
    format.compression = Compression::Rgb;
    format.alpha = format.alphaMask != 0;
    format.redMask = format.greenMask = format.blueMask = format.alphaMask = 0;
  }
  if (format.compression == Compression::BitFields) format.alpha = format.alphaMask != 0;
  if (bits <= 8) {
    const std::uint32_t most = 1u << bits;
    if (colorsUsed == 0) colorsUsed = most;
    if (colorsUsed > most) Bad("the colour table is longer than the bit count allows");
    if ((dib.size() - at) / 4 < colorsUsed) Bad("the colour table is truncated");
    for (std::uint32_t i = 0; i < colorsUsed; ++i) format.palette.push_back(U32(dib, at + 4 * i) & 0xFFFFFF);
    at += 4 * static_cast<std::size_t>(colorsUsed);
  }
  try {
    format.Check();
  } catch (const GraphicsError& e) {
    Bad(e.what());
  }
  if (pixelsAt == 0) pixelsAt = at;
  const std::size_t total = CheckedPixelBytes(width, height, bits);  // raises past the cap
  if (pixelsAt > dib.size() || dib.size() - pixelsAt < total) Bad("the pixel data is truncated");

  Bitmap bitmap(width, height, std::move(format));
  const std::size_t stride = bitmap.stride();
  for (std::int32_t row = 0; row < height; ++row) {
    const std::int32_t y = topDown ? row : height - 1 - row;
    std::memcpy(bitmap.Row(y), dib.data() + pixelsAt + stride * static_cast<std::size_t>(row), stride);
  }
  if (bits <= 8 && bitmap.format().palette.size() < (std::size_t{1} << bits)) {
    const std::size_t count = bitmap.format().palette.size();
    const int perByte = 8 / bits;
    const std::uint32_t mask = (1u << bits) - 1;
    for (std::int32_t y = 0; y < height; ++y) {
      const std::uint8_t* p = bitmap.Row(y);
      for (std::int32_t x = 0; x < width; ++x)
        if (((p[x / perByte] >> ((perByte - 1 - x % perByte) * bits)) & mask) >= count)
          Bad("a colour index is past the colour table");
    }
  }
  return bitmap;
}

void AppendDib(const Bitmap& bitmap, std::vector<std::uint8_t>& out) {
  const PixelFormat& f = bitmap.format();
  const bool alpha = bitmap.HasAlpha();
  const bool masks = f.compression == Compression::BitFields;
  const std::uint32_t headerSize = alpha ? 108 : 40;
  const std::size_t total = bitmap.stride() * static_cast<std::size_t>(bitmap.height());
  Put32(out, headerSize);
  Put32(out, static_cast<std::uint32_t>(bitmap.width()));
  Put32(out, static_cast<std::uint32_t>(bitmap.height()));
  Put16(out, 1);
  Put16(out, static_cast<std::uint16_t>(f.bitCount));
  Put32(out, masks || alpha ? 3 : 0);
  Put32(out, static_cast<std::uint32_t>(total));
  Put32(out, 2835);  // 72 dots per inch
  Put32(out, 2835);
  Put32(out, f.IsIndexed() ? static_cast<std::uint32_t>(f.palette.size()) : 0);
  Put32(out, 0);
  if (alpha) {
    Put32(out, f.RedMask());
    Put32(out, f.GreenMask());
    Put32(out, f.BlueMask());
    Put32(out, f.AlphaMask());
    Put32(out, 0x73524742);                      // "sRGB"
    for (int i = 0; i < 12; ++i) Put32(out, 0);  // end points and gamma
  } else if (masks) {
    Put32(out, f.RedMask());
    Put32(out, f.GreenMask());
    Put32(out, f.BlueMask());
  }
  for (std::uint32_t c : f.palette) Put32(out, c & 0xFFFFFF);
  for (std::int32_t row = bitmap.height() - 1; row >= 0; --row)
    out.insert(out.end(), bitmap.Row(row), bitmap.Row(row) + bitmap.stride());
}

}  // namespace

Bitmap ReadBmp(std::span<const std::uint8_t> file) {
  if (file.size() < 14 || file[0] != 'B' || file[1] != 'M') Bad("the file does not start with \"BM\"");
  const std::uint32_t offBits = U32(file, 10);
  if (offBits < 14 + 40 || offBits > file.size()) Bad("the pixel offset is outside the file");
  return ReadDib(file.subspan(14), offBits - 14);
}

Bitmap ReadPackedDib(std::span<const std::uint8_t> dib) { return ReadDib(dib, 0); }

std::vector<std::uint8_t> WritePackedDib(const Bitmap& bitmap) {
  if (bitmap.empty()) throw GraphicsError(GraphicsError::Kind::BadArgument, "An empty bitmap cannot be written.");
  std::vector<std::uint8_t> out;
  AppendDib(bitmap, out);
  return out;
}

std::vector<std::uint8_t> WriteBmp(const Bitmap& bitmap) {
  const std::vector<std::uint8_t> dib = WritePackedDib(bitmap);
  const std::size_t headerAndTables = dib.size() - bitmap.stride() * static_cast<std::size_t>(bitmap.height());
  std::vector<std::uint8_t> out;
  out.reserve(14 + dib.size());
  out.push_back('B');
  out.push_back('M');
  Put32(out, static_cast<std::uint32_t>(14 + dib.size()));
  Put32(out, 0);
  Put32(out, static_cast<std::uint32_t>(14 + headerAndTables));
  out.insert(out.end(), dib.begin(), dib.end());
  return out;
}

}  // namespace pw::graphics
