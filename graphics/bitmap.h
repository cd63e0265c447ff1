// Bitmaps in memory: every bitmap is a device-independent bitmap (1, 4 and 8 bits with a colour
// table; 16 bits 5-5-5 or with masks; 24 bits; 32 bits with or without alpha). Rows are kept
// from the top, each padded to a multiple of four bytes, pixels in the byte order of the
// bitmap files (blue first). Colours cross the API as 0xAARRGGBB values (alpha 255 for a
// bitmap without an alpha channel).
//
// One cap holds for every bitmap: at most kMaxPixelBytes bytes of pixels. Creation checks the
// cap (and every size computation for overflow) before allocating and raises GraphicsError
// (kind OutOfMemory) beyond it. This library knows nothing of handles or COM.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace pw::graphics {

class GraphicsError : public std::runtime_error {
 public:
  enum class Kind { OutOfMemory, BadData, BadArgument };
  GraphicsError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

// 1 GiB of pixel bytes: a 1920 x 30000 page of 32-bit pixels fits.
inline constexpr std::size_t kMaxPixelBytes = std::size_t{1} << 30;

enum class Compression : std::uint32_t { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3 };

// A colour value 0xAARRGGBB and its parts.
inline constexpr std::uint32_t Argb(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}
inline constexpr std::uint32_t AlphaOf(std::uint32_t c) { return c >> 24; }
inline constexpr std::uint32_t RedOf(std::uint32_t c) { return (c >> 16) & 0xFF; }
inline constexpr std::uint32_t GreenOf(std::uint32_t c) { return (c >> 8) & 0xFF; }
inline constexpr std::uint32_t BlueOf(std::uint32_t c) { return c & 0xFF; }

struct PixelFormat {
  std::int32_t bitCount = 32;  // 1, 4, 8, 16, 24 or 32
  Compression compression = Compression::Rgb;
  // For 16 and 32 bits with BitFields (16 bits Rgb is 5-5-5; 32 bits Rgb is 8-8-8 blue first).
  std::uint32_t redMask = 0, greenMask = 0, blueMask = 0;
  // 32 bits only: the fourth byte (or alphaMask with BitFields) is alpha.
  bool alpha = false;
  std::uint32_t alphaMask = 0;
  // 1, 4 and 8 bits: the colour table (0x00RRGGBB), at most 2^bitCount entries.
  std::vector<std::uint32_t> palette;

  static PixelFormat Indexed(std::int32_t bits, std::vector<std::uint32_t> palette);
  static PixelFormat Rgb555();
  static PixelFormat Rgb565();
  static PixelFormat Rgb24();
  static PixelFormat Rgb32();
  static PixelFormat Argb32();

  bool IsIndexed() const { return bitCount <= 8; }
  // 16 bits, BitFields, masks 0xF800, 0x07E0, 0x001F.
  bool Is565() const;
  // The masks in force (Rgb formats give their fixed masks; 0 for indexed formats).
  std::uint32_t RedMask() const;
  std::uint32_t GreenMask() const;
  std::uint32_t BlueMask() const;
  std::uint32_t AlphaMask() const;
  // Same layout (bits, masks, alpha, colour table).
  bool SameAs(const PixelFormat& other) const;
  // Bits per pixel 1-32, a colour table no longer than the bits allow, masks that are
  // contiguous and do not overlap; raises GraphicsError (BadArgument) otherwise.
  void Check() const;
};

// Bytes of one row: padded to four bytes. Raises GraphicsError (OutOfMemory) on overflow.
std::size_t RowBytes(std::int64_t width, std::int32_t bitCount);
// Raises GraphicsError (OutOfMemory) when width x height pixels of the format pass the cap (or
// overflow), BadArgument when a side is negative.
std::size_t CheckedPixelBytes(std::int64_t width, std::int64_t height, std::int32_t bitCount);

class Bitmap {
 public:
  Bitmap() = default;
  // A new bitmap, all bytes 0 (black, or the colour table's first entry). Raises GraphicsError
  // before allocating when the size or format is not acceptable.
  Bitmap(std::int32_t width, std::int32_t height, PixelFormat format);

  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }
  bool empty() const { return width_ == 0 || height_ == 0; }
  const PixelFormat& format() const { return format_; }
  std::size_t stride() const { return stride_; }
  bool HasAlpha() const { return format_.bitCount == 32 && format_.alpha; }
  std::uint8_t* Row(std::int32_t y) { return bytes_.data() + stride_ * static_cast<std::size_t>(y); }
  const std::uint8_t* Row(std::int32_t y) const { return bytes_.data() + stride_ * static_cast<std::size_t>(y); }
  std::vector<std::uint8_t>& Bytes() { return bytes_; }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

  // 0xAARRGGBB; the caller keeps (x, y) inside.
  std::uint32_t GetPixel(std::int32_t x, std::int32_t y) const;
  // Stores the colour in the bitmap's format (indexed formats: the nearest table colour).
  void SetPixel(std::int32_t x, std::int32_t y, std::uint32_t argb);
  // One row as 0xAARRGGBB values (width values into out).
  void ReadRow(std::int32_t y, std::uint32_t* out) const;
  void WriteRow(std::int32_t y, const std::uint32_t* in);
  // Every pixel as 0xAARRGGBB, rows from the top.
  std::vector<std::uint32_t> ToArgb() const;
  // A copy in another format (the same pixels as near as the format holds them).
  Bitmap Converted(const PixelFormat& format) const;
  // Replaces the colour table of an indexed bitmap (same length or shorter than the bits allow).
  void SetPalette(std::vector<std::uint32_t> palette);

 private:
  std::int32_t width_ = 0, height_ = 0;
  PixelFormat format_;
  std::size_t stride_ = 0;
  std::vector<std::uint8_t> bytes_;
};

// The index of the table colour nearest to a colour (exact entries first; squared distance).
std::uint8_t NearestIndex(const std::vector<std::uint32_t>& palette, std::uint32_t rgb);

}  // namespace pw::graphics
