#include "graphics/bitmap.h"

#include <bit>
#include <cstring>
#include <limits>

namespace pw::graphics {

namespace {

struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint32_t max = 0;  // the largest value of the field
};

Channel ChannelOf(std::uint32_t mask) {
  Channel c;
  c.mask = mask;
  if (mask == 0) return c;
  c.shift = std::countr_zero(mask);
  c.max = mask >> c.shift;
  return c;
}

inline std::uint32_t Expand(const Channel& c, std::uint32_t pixel) {
  if (c.max == 0) return 0;
  const std::uint32_t v = (pixel & c.mask) >> c.shift;
  if (c.max == 255) return v;
  return static_cast<std::uint32_t>((static_cast<std::uint64_t>(v) * 255 + c.max / 2) / c.max);
}

inline std::uint32_t Pack(const Channel& c, std::uint32_t v8) {
  if (c.max == 0) return 0;
  const std::uint32_t v =
      c.max == 255 ? v8 : static_cast<std::uint32_t>((static_cast<std::uint64_t>(v8) * c.max + 127) / 255);
  return (v << c.shift) & c.mask;
}

struct MaskCodec {
  Channel r, g, b, a;
  explicit MaskCodec(const PixelFormat& f)
      : r(ChannelOf(f.RedMask())),
        g(ChannelOf(f.GreenMask())),
        b(ChannelOf(f.BlueMask())),
        a(ChannelOf(f.AlphaMask())) {}
  std::uint32_t Decode(std::uint32_t p) const {
    const std::uint32_t alpha = a.max ? Expand(a, p) : 255;
    return Argb(alpha, Expand(r, p), Expand(g, p), Expand(b, p));
  }
  std::uint32_t Encode(std::uint32_t c) const {
    return Pack(r, RedOf(c)) | Pack(g, GreenOf(c)) | Pack(b, BlueOf(c)) | Pack(a, AlphaOf(c));
  }
};

bool Contiguous(std::uint32_t m) {
  if (m == 0) return true;
  const std::uint32_t shifted = m >> std::countr_zero(m);
  return (shifted & (shifted + 1)) == 0;
}

}  // namespace

PixelFormat PixelFormat::Indexed(std::int32_t bits, std::vector<std::uint32_t> palette) {
  PixelFormat f;
  f.bitCount = bits;
  f.palette = std::move(palette);
  return f;
}

PixelFormat PixelFormat::Rgb555() {
  PixelFormat f;
  f.bitCount = 16;
  return f;
}

PixelFormat PixelFormat::Rgb565() {
  PixelFormat f;
  f.bitCount = 16;
  f.compression = Compression::BitFields;
  f.redMask = 0xF800;
  f.greenMask = 0x07E0;
  f.blueMask = 0x001F;
  return f;
}

PixelFormat PixelFormat::Rgb24() {
  PixelFormat f;
  f.bitCount = 24;
  return f;
}

PixelFormat PixelFormat::Rgb32() { return PixelFormat{}; }

PixelFormat PixelFormat::Argb32() {
  PixelFormat f;
  f.alpha = true;
  return f;
}

bool PixelFormat::Is565() const {
  return bitCount == 16 && compression == Compression::BitFields && redMask == 0xF800 && greenMask == 0x07E0 &&
         blueMask == 0x001F;
}

std::uint32_t PixelFormat::RedMask() const {
  if (bitCount == 16) return compression == Compression::BitFields ? redMask : 0x7C00;
  if (bitCount == 32 && compression == Compression::BitFields) return redMask;
  return bitCount >= 24 ? 0xFF0000 : 0;
}
std::uint32_t PixelFormat::GreenMask() const {
  if (bitCount == 16) return compression == Compression::BitFields ? greenMask : 0x03E0;
  if (bitCount == 32 && compression == Compression::BitFields) return greenMask;
  return bitCount >= 24 ? 0x00FF00 : 0;
}
std::uint32_t PixelFormat::BlueMask() const {
  if (bitCount == 16) return compression == Compression::BitFields ? blueMask : 0x001F;
  if (bitCount == 32 && compression == Compression::BitFields) return blueMask;
  return bitCount >= 24 ? 0x0000FF : 0;
}
std::uint32_t PixelFormat::AlphaMask() const {
  if (bitCount != 32 || !alpha) return 0;
  return compression == Compression::BitFields ? alphaMask : 0xFF000000u;
}

bool PixelFormat::SameAs(const PixelFormat& o) const {
  return bitCount == o.bitCount && RedMask() == o.RedMask() && GreenMask() == o.GreenMask() &&
         BlueMask() == o.BlueMask() && AlphaMask() == o.AlphaMask() && (!IsIndexed() || palette == o.palette);
}

void PixelFormat::Check() const {
  switch (bitCount) {
    case 1:
    case 4:
    case 8:
      if (palette.empty() || palette.size() > (std::size_t{1} << bitCount))
        throw GraphicsError(GraphicsError::Kind::BadArgument, "The colour table does not fit the bit count.");
      if (compression != Compression::Rgb)
        throw GraphicsError(GraphicsError::Kind::BadArgument, "Indexed bitmaps are not compressed.");
      return;
    case 16:
    case 32: {
      if (compression == Compression::Rgb) return;
      if (compression != Compression::BitFields)
        throw GraphicsError(GraphicsError::Kind::BadArgument, "Unsupported compression.");
      const std::uint32_t masks[] = {RedMask(), GreenMask(), BlueMask(), AlphaMask()};
      std::uint32_t seen = 0;
      for (std::uint32_t m : masks) {
        if (!Contiguous(m) || (seen & m) != 0 || (bitCount == 16 && m > 0xFFFF))
          throw GraphicsError(GraphicsError::Kind::BadArgument, "The colour masks overlap or are not contiguous.");
        seen |= m;
      }
      if (RedMask() == 0 && GreenMask() == 0 && BlueMask() == 0)
        throw GraphicsError(GraphicsError::Kind::BadArgument, "The colour masks are empty.");
      return;
    }
    case 24:
      if (compression == Compression::Rgb) return;
      [[fallthrough]];
    default:
      throw GraphicsError(GraphicsError::Kind::BadArgument, "Unsupported pixel format.");
  }
}

std::size_t RowBytes(std::int64_t width, std::int32_t bitCount) {
  if (width < 0) throw GraphicsError(GraphicsError::Kind::BadArgument, "Negative bitmap width.");
  const std::uint64_t bits = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bitCount);
  if (width != 0 && bits / static_cast<std::uint64_t>(width) != static_cast<std::uint64_t>(bitCount))
    throw GraphicsError(GraphicsError::Kind::OutOfMemory, "Not enough memory for the bitmap.");
  const std::uint64_t bytes = ((bits + 31) / 32) * 4;
  if (bytes > kMaxPixelBytes)
    throw GraphicsError(GraphicsError::Kind::OutOfMemory, "Not enough memory for the bitmap.");
  return static_cast<std::size_t>(bytes);
}

std::size_t CheckedPixelBytes(std::int64_t width, std::int64_t height, std::int32_t bitCount) {
  if (height < 0) throw GraphicsError(GraphicsError::Kind::BadArgument, "Negative bitmap height.");
  const std::size_t row = RowBytes(width, bitCount);
  if (height != 0 && row > kMaxPixelBytes / static_cast<std::uint64_t>(height))
    throw GraphicsError(GraphicsError::Kind::OutOfMemory, "Not enough memory for the bitmap.");
  return row * static_cast<std::size_t>(height);
}

Bitmap::Bitmap(std::int32_t width, std::int32_t height, PixelFormat format) {
  format.Check();
  const std::size_t total = CheckedPixelBytes(width, height, format.bitCount);
  if (format.bitCount == 32 && format.compression == Compression::Rgb) format.alphaMask = 0;
  if (format.bitCount == 32 && format.compression == Compression::BitFields) format.alpha = format.alphaMask != 0;
  width_ = width;
  height_ = height;
  stride_ = RowBytes(width, format.bitCount);
  format_ = std::move(format);
  try {
    bytes_.assign(total, 0);
  } catch (const std::bad_alloc&) {
    throw GraphicsError(GraphicsError::Kind::OutOfMemory, "Not enough memory for the bitmap.");
  }
}

void Bitmap::ReadRow(std::int32_t y, std::uint32_t* out) const {
  const std::uint8_t* p = Row(y);
  const std::int32_t w = width_;
  switch (format_.bitCount) {
    case 1:
    case 4:
    case 8: {
      const int bits = format_.bitCount;
      const int perByte = 8 / bits;
      const std::uint32_t mask = (1u << bits) - 1;
      const auto& pal = format_.palette;
      for (std::int32_t x = 0; x < w; ++x) {
        const std::uint32_t index = (p[x / perByte] >> ((perByte - 1 - x % perByte) * bits)) & mask;
        out[x] = 0xFF000000u | (index < pal.size() ? pal[index] & 0xFFFFFF : 0);
      }
      return;
    }
    case 24:
      for (std::int32_t x = 0; x < w; ++x, p += 3) out[x] = Argb(255, p[2], p[1], p[0]);
      return;
    case 32:
      if (format_.compression == Compression::Rgb) {
        std::memcpy(out, p, static_cast<std::size_t>(w) * 4);
        if (!format_.alpha)
          for (std::int32_t x = 0; x < w; ++x) out[x] |= 0xFF000000u;
        return;
      }
      {
        MaskCodec codec(format_);
        for (std::int32_t x = 0; x < w; ++x) {
          std::uint32_t v;
          std::memcpy(&v, p + 4 * x, 4);
          out[x] = codec.Decode(v);
        }
      }
      return;
    case 16: {
      MaskCodec codec(format_);
      for (std::int32_t x = 0; x < w; ++x)
        out[x] = codec.Decode(static_cast<std::uint32_t>(p[2 * x] | (p[2 * x + 1] << 8)));
      return;
    }
    default:
      return;
  }
}

void Bitmap::WriteRow(std::int32_t y, const std::uint32_t* in) {
  std::uint8_t* p = Row(y);
  const std::int32_t w = width_;
  switch (format_.bitCount) {
    case 1:
    case 4:
    case 8: {
      const int bits = format_.bitCount;
      const int perByte = 8 / bits;
      const std::uint32_t mask = (1u << bits) - 1;
      std::uint32_t lastRgb = 0xFFFFFFFFu;
      std::uint8_t lastIndex = 0;
      for (std::int32_t x = 0; x < w; ++x) {
        const std::uint32_t rgb = in[x] & 0xFFFFFF;
        if (rgb != lastRgb) {
          lastRgb = rgb;
          lastIndex = NearestIndex(format_.palette, rgb);
        }
        const int shift = (perByte - 1 - x % perByte) * bits;
        std::uint8_t& b = p[x / perByte];
        b = static_cast<std::uint8_t>((b & ~(mask << shift)) | ((lastIndex & mask) << shift));
      }
      return;
    }
    case 24:
      for (std::int32_t x = 0; x < w; ++x, p += 3) {
        p[0] = static_cast<std::uint8_t>(BlueOf(in[x]));
        p[1] = static_cast<std::uint8_t>(GreenOf(in[x]));
        p[2] = static_cast<std::uint8_t>(RedOf(in[x]));
      }
      return;
    case 32:
      if (format_.compression == Compression::Rgb) {
        std::memcpy(p, in, static_cast<std::size_t>(w) * 4);
        if (!format_.alpha)
          for (std::int32_t x = 0; x < w; ++x) p[4 * x + 3] = 0;
        return;
      }
      {
        MaskCodec codec(format_);
        for (std::int32_t x = 0; x < w; ++x) {
          const std::uint32_t v = codec.Encode(in[x]);
          std::memcpy(p + 4 * x, &v, 4);
        }
      }
      return;
    case 16: {
      MaskCodec codec(format_);
      for (std::int32_t x = 0; x < w; ++x) {
        const std::uint32_t v = codec.Encode(in[x]);
        p[2 * x] = static_cast<std::uint8_t>(v);
        p[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
      }
      return;
    }
    default:
      return;
  }
}

std::uint32_t Bitmap::GetPixel(std::int32_t x, std::int32_t y) const {
  const std::uint8_t* p = Row(y);
  switch (format_.bitCount) {
    case 24:
      return Argb(255, p[3 * x + 2], p[3 * x + 1], p[3 * x]);
    case 32:
      if (format_.compression == Compression::Rgb) {
        std::uint32_t v;
        std::memcpy(&v, p + 4 * x, 4);
        return format_.alpha ? v : (v | 0xFF000000u);
      }
      break;
    default:
      break;
  }
  // The other formats: decode the one pixel through a row of one.
  Bitmap one;
  one.width_ = 1;
  one.height_ = 1;
  one.format_ = format_;
  one.stride_ = 4;
  one.bytes_.assign(4, 0);
  const int bits = format_.bitCount;
  if (bits <= 8) {
    const int perByte = 8 / bits;
    const std::uint32_t index = (p[x / perByte] >> ((perByte - 1 - x % perByte) * bits)) & ((1u << bits) - 1);
    return 0xFF000000u | (index < format_.palette.size() ? format_.palette[index] & 0xFFFFFF : 0);
  }
  std::memcpy(one.bytes_.data(), p + static_cast<std::size_t>(x) * static_cast<std::size_t>(bits / 8),
              static_cast<std::size_t>(bits / 8));
  std::uint32_t out;
  one.ReadRow(0, &out);
  return out;
}

void Bitmap::SetPixel(std::int32_t x, std::int32_t y, std::uint32_t argb) {
  const int bits = format_.bitCount;
  std::uint8_t* p = Row(y);
  if (bits <= 8) {
    const int perByte = 8 / bits;
    const std::uint32_t mask = (1u << bits) - 1;
    const int shift = (perByte - 1 - x % perByte) * bits;
    const std::uint8_t index = NearestIndex(format_.palette, argb & 0xFFFFFF);
    std::uint8_t& b = p[x / perByte];
    b = static_cast<std::uint8_t>((b & ~(mask << shift)) | ((index & mask) << shift));
    return;
  }
  Bitmap one;
  one.width_ = 1;
  one.height_ = 1;
  one.format_ = format_;
  one.stride_ = 4;
  one.bytes_.assign(4, 0);
  one.WriteRow(0, &argb);
  std::memcpy(p + static_cast<std::size_t>(x) * static_cast<std::size_t>(bits / 8), one.bytes_.data(),
              static_cast<std::size_t>(bits / 8));
}

std::vector<std::uint32_t> Bitmap::ToArgb() const {
  std::vector<std::uint32_t> out(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
  for (std::int32_t y = 0; y < height_; ++y) ReadRow(y, out.data() + static_cast<std::size_t>(y) * width_);
  return out;
}

Bitmap Bitmap::Converted(const PixelFormat& format) const {
  Bitmap out(width_, height_, format);
  if (format_.SameAs(out.format_)) {
    out.bytes_ = bytes_;
    return out;
  }
  std::vector<std::uint32_t> row(static_cast<std::size_t>(width_));
  for (std::int32_t y = 0; y < height_; ++y) {
    ReadRow(y, row.data());
    out.WriteRow(y, row.data());
  }
  return out;
}

void Bitmap::SetPalette(std::vector<std::uint32_t> palette) {
  PixelFormat f = format_;
  f.palette = std::move(palette);
  f.Check();
  format_ = std::move(f);
}

std::uint8_t NearestIndex(const std::vector<std::uint32_t>& palette, std::uint32_t rgb) {
  rgb &= 0xFFFFFF;
  std::uint32_t best = 0;
  std::uint32_t bestDistance = std::numeric_limits<std::uint32_t>::max();
  for (std::uint32_t i = 0; i < palette.size(); ++i) {
    const std::uint32_t p = palette[i] & 0xFFFFFF;
    if (p == rgb) return static_cast<std::uint8_t>(i);
    const int dr = static_cast<int>(RedOf(p)) - static_cast<int>(RedOf(rgb));
    const int dg = static_cast<int>(GreenOf(p)) - static_cast<int>(GreenOf(rgb));
    const int db = static_cast<int>(BlueOf(p)) - static_cast<int>(BlueOf(rgb));
    const std::uint32_t d = static_cast<std::uint32_t>(dr * dr + dg * dg + db * db);
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return static_cast<std::uint8_t>(best);
}

}  // namespace pw::graphics
