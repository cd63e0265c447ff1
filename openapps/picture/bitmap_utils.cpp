#include "openapps/picture/bitmap_utils.h"

#include <algorithm>
#include <cstring>

#include "graphics/blit.h"
#include "openapps/picture/picture_errors.h"

namespace pw {

HBITMAP CreateBitmapByTemplate(HDC dc, HBITMAP templateBitmap, std::int32_t width, std::int32_t height) {
  graphics::PixelFormat format;
  if (!GetBitmapFormat(templateBitmap, format)) return 0;
  return CreateDIBSection(dc, width, height, format);
}

HBITMAP SafeCreateCompatibleBitmap(HDC dc, std::int32_t width, std::int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  return CreateCompatibleBitmap(dc, width, height);
}

namespace {

graphics::Bitmap Converted(const graphics::Bitmap& b, const graphics::PixelFormat& f) {
  try {
    return b.Converted(f);
  } catch (const graphics::GraphicsError&) {
    throw EpwPictureSysError(true);
  } catch (const std::bad_alloc&) {
    throw EpwPictureSysError(true);
  }
}

// Bits per pixel with 5-5-5 counted as 15.
int EffectiveBits(const graphics::PixelFormat& f) {
  if (f.bitCount == 16 && f.compression == graphics::Compression::Rgb) return 15;
  if (f.bitCount == 16 && f.RedMask() == 0x7C00 && f.GreenMask() == 0x03E0 && f.BlueMask() == 0x001F) return 15;
  return f.bitCount;
}

TPixelFormat FormatOfBits(int bits) {
  switch (bits) {
    case 1:
      return TPixelFormat::pf1bit;
    case 4:
      return TPixelFormat::pf4bit;
    case 8:
      return TPixelFormat::pf8bit;
    case 15:
      return TPixelFormat::pf15bit;
    case 16:
      return TPixelFormat::pf16bit;
    case 24:
      return TPixelFormat::pf24bit;
    default:
      return TPixelFormat::pf32bit;
  }
}

// The colour table's number of colours equal and its entries equal.
bool SameColourTables(const graphics::PixelFormat& a, const graphics::PixelFormat& b) { return a.palette == b.palette; }

}  // namespace

void ChangePixelFormat(graphics::Bitmap& bitmap) { bitmap = Converted(bitmap, graphics::PixelFormat::Rgb565()); }

void SetBitmapPixelFormat(graphics::Bitmap& bitmap, TPixelFormat format, const std::vector<std::uint32_t>& palette) {
  switch (format) {
    case TPixelFormat::pfDevice:
      return;
    case TPixelFormat::pf1bit:
      try {
        bitmap = graphics::MonochromeCopy(bitmap);
      } catch (const graphics::GraphicsError&) {
        throw EpwPictureSysError(false);
      }
      return;
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit: {
      const int bits = format == TPixelFormat::pf4bit ? 4 : 8;
      std::vector<std::uint32_t> table = palette;
      if (table.size() > (std::size_t{1} << bits)) table.resize(std::size_t{1} << bits);
      if (table.empty()) table = bits == 4 ? graphics::SixteenColourPalette() : graphics::HalftonePalette();
      bitmap = Converted(bitmap, graphics::PixelFormat::Indexed(bits, std::move(table)));
      return;
    }
    case TPixelFormat::pf15bit:
      bitmap = Converted(bitmap, graphics::PixelFormat::Rgb555());
      return;
    case TPixelFormat::pf16bit:
      ChangePixelFormat(bitmap);
      return;
    case TPixelFormat::pf24bit:
      bitmap = Converted(bitmap, graphics::PixelFormat::Rgb24());
      return;
    case TPixelFormat::pf32bit:
      bitmap = Converted(bitmap, graphics::PixelFormat::Rgb32());
      return;
  }
}

bool AlignPixelFormats(graphics::Bitmap& a, graphics::Bitmap& b) {
  const graphics::PixelFormat fa = a.format(), fb = b.format();
  // Our bitmaps are never run-length encoded: only the plain and bit-field layouts come here.
  const int bitsA = EffectiveBits(fa), bitsB = EffectiveBits(fb);
  const bool lowIsA = bitsA < bitsB;
  graphics::Bitmap& low = lowIsA ? a : b;
  graphics::Bitmap& high = lowIsA ? b : a;
  const int lowBits = lowIsA ? bitsA : bitsB, highBits = lowIsA ? bitsB : bitsA;
  // Changing A's format would lose its alpha.
  const bool alphaGuard = !lowIsA && highBits == 32 && a.HasAlpha();
  switch (lowBits) {
    case 32:
      return true;
    case 24:
      if (highBits == 32) SetBitmapPixelFormat(low, TPixelFormat::pf32bit);
      return true;
    case 16:
      if (highBits == 16 && low.format().RedMask() == high.format().RedMask() &&
          low.format().GreenMask() == high.format().GreenMask() && low.format().BlueMask() == high.format().BlueMask())
        return true;
      if (low.format().Is565()) {
        if (highBits == 16) {
          SetBitmapPixelFormat(low, TPixelFormat::pf15bit);
          SetBitmapPixelFormat(high, TPixelFormat::pf15bit);
        } else {
          if (alphaGuard) return false;
          SetBitmapPixelFormat(high, TPixelFormat::pf16bit);
        }
        return true;
      }
      SetBitmapPixelFormat(low, TPixelFormat::pf15bit);
      if (alphaGuard) return false;
      SetBitmapPixelFormat(high, TPixelFormat::pf15bit);
      return true;
    case 15:
      if (highBits == 15) return true;
      if (alphaGuard) return false;
      SetBitmapPixelFormat(high, TPixelFormat::pf15bit);
      return true;
    case 8:
    case 4: {
      if (alphaGuard) return false;
      if (highBits == lowBits && SameColourTables(high.format(), low.format())) return true;
      const auto& table = lowBits == 8 ? graphics::HalftonePalette() : graphics::SixteenColourPalette();
      const TPixelFormat target = FormatOfBits(lowBits);
      if (highBits < 24) SetBitmapPixelFormat(high, TPixelFormat::pf24bit);
      SetBitmapPixelFormat(high, target, table);
      SetBitmapPixelFormat(low, TPixelFormat::pf24bit);
      SetBitmapPixelFormat(low, target, table);
      return true;
    }
    case 1:
      if (alphaGuard) return false;
      if (highBits == 1 && SameColourTables(high.format(), low.format())) return true;
      SetBitmapPixelFormat(high, TPixelFormat::pf1bit);
      SetBitmapPixelFormat(low, TPixelFormat::pf1bit);
      return true;
    default:
      return false;
  }
}

void TQuickBitmap::Attach(HBITMAP handle) {
  Detach();
  Handle_ = handle;
  Shared_ = BitmapPixels(handle);
}

void TQuickBitmap::Attach(graphics::Bitmap bitmap) {
  Detach();
  Own_ = std::move(bitmap);
}

void TQuickBitmap::Detach() {
  Handle_ = 0;
  Shared_.reset();
  Own_.reset();
}

const graphics::Bitmap* TQuickBitmap::Bits() const {
  if (Own_) return &*Own_;
  return Shared_.get();
}

std::int32_t TQuickBitmap::Width() const { return Bits() ? Bits()->width() : 0; }
std::int32_t TQuickBitmap::Height() const { return Bits() ? Bits()->height() : 0; }
bool TQuickBitmap::HasAlphaChannel() const { return Bits() && Bits()->HasAlpha(); }

std::uint8_t TQuickBitmap::GetAlpha(std::int32_t x, std::int32_t y) const {
  if (!HasAlphaChannel()) return 255;
  return static_cast<std::uint8_t>(graphics::AlphaOf(Bits()->GetPixel(x, y)));
}

bool TQuickBitmap::IsBlackWhite() const { return Bits() && graphics::IsBlackWhite(*Bits()); }

std::uint32_t TQuickBitmap::Pixel(std::int32_t x, std::int32_t y) const { return Bits()->GetPixel(x, y); }

bool TQuickBitmap::CompareBytewise(const TQuickBitmap& other) const {
  const graphics::Bitmap *a = Bits(), *b = other.Bits();
  if (!a || !b || a->width() != b->width() || a->height() != b->height() || !a->format().SameAs(b->format()))
    return false;
  const std::size_t used = (static_cast<std::size_t>(a->width()) * a->format().bitCount + 7) / 8;
  if (used == a->stride()) return std::memcmp(a->Bytes().data(), b->Bytes().data(), a->Bytes().size()) == 0;
  for (std::int32_t y = 0; y < a->height(); ++y)
    if (std::memcmp(a->Row(y), b->Row(y), used) != 0) return false;
  return true;
}

namespace {

graphics::MatchRules Rules(std::int32_t pixelTolerance, std::uint32_t packed, bool transparent,
                           const TQuickBitmap* mask) {
  graphics::MatchRules rules;
  rules.pixelTolerance = pixelTolerance;
  rules.colorTolerance = static_cast<std::int32_t>(packed & 0xFF);
  rules.transparent = transparent;
  rules.mask = mask ? mask->Bits() : nullptr;
  return rules;
}

}  // namespace

bool CompareUniformSizedBitmaps(const TQuickBitmap& a, const TQuickBitmap& b, std::int32_t pixelTolerance,
                                std::uint32_t packedColorTolerance, bool transparent, const TQuickBitmap* mask) {
  return graphics::CompareBitmaps(*a.Bits(), *b.Bits(), Rules(pixelTolerance, packedColorTolerance, transparent, mask),
                                  false)
      .equal;
}

bool CreateResultPicture(const TQuickBitmap& a, const TQuickBitmap& b, std::int32_t pixelTolerance,
                         std::uint32_t packedColorTolerance, bool transparent, const TQuickBitmap* mask,
                         bool makePicture, HBITMAP* picture, std::int32_t* statistic, std::uint32_t* deviation,
                         bool onlyDifferences) {
  graphics::Comparison c;
  try {
    c = graphics::CompareBitmaps(*a.Bits(), *b.Bits(), Rules(pixelTolerance, packedColorTolerance, transparent, mask),
                                 makePicture, onlyDifferences);
  } catch (const graphics::GraphicsError&) {
    throw EpwPictureSysError(true);
  }
  *picture = c.picture ? CreateBitmapFrom(std::move(*c.picture)) : 0;
  if (makePicture && *picture == 0) throw EpwPictureSysError(false);
  *statistic = static_cast<std::int32_t>(std::min<std::int64_t>(c.differing, INT32_MAX));
  *deviation = c.deviation;
  return c.equal;
}

}  // namespace pw
