// The bitmap utilities the picture is built on: bitmaps made in another's format, pixel
// format changes of class-library bitmaps (graphics::Bitmap), the common format two bitmaps
// are compared in, and TQuickBitmap, a view of a bitmap's pixels for comparison and search.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "graphics/bitmap.h"
#include "graphics/compare.h"
#include "platform/ui/gdi.h"

namespace pw {

// A bitmap of width x height in the format of `templateBitmap` (its colour table too); 0 when
// it cannot be made (the last error tells why).
HBITMAP CreateBitmapByTemplate(HDC dc, HBITMAP templateBitmap, std::int32_t width, std::int32_t height);
// CreateCompatibleBitmap that answers 0 (never raises) for sizes that are not positive.
HBITMAP SafeCreateCompatibleBitmap(HDC dc, std::int32_t width, std::int32_t height);

// Pixel formats of class-library bitmaps, by bit count; 15 is 16 bits 5-5-5, 16 is 5-6-5.
enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };
// Changes a bitmap's format in place: 1 bit: a monochrome copy (white the 1 bits); 4 and 8 bits
// with the palette given; 15, 24, 32 bits; 16 bits as 5-6-5 (ChangePixelFormat). Device:
// nothing. Raises EpwPictureSysError when the bitmap cannot be made.
void SetBitmapPixelFormat(graphics::Bitmap& bitmap, TPixelFormat format,
                          const std::vector<std::uint32_t>& palette = {});
void ChangePixelFormat(graphics::Bitmap& bitmap);  // to 16 bits 5-6-5

// Brings two bitmaps to a common format for a byte-wise comparison (A first); false when they
// cannot be (or when A's alpha would be lost), in which case they may be left as they are.
bool AlignPixelFormats(graphics::Bitmap& a, graphics::Bitmap& b);

// A view of a bitmap for comparison and search: attached to a handle (the handle's owner keeps
// it; DetachHandle forgets it) or owning a class-library bitmap.
class TQuickBitmap {
 public:
  TQuickBitmap() = default;
  ~TQuickBitmap() = default;
  TQuickBitmap(const TQuickBitmap&) = delete;
  TQuickBitmap& operator=(const TQuickBitmap&) = delete;

  void Attach(HBITMAP handle);
  void Attach(graphics::Bitmap bitmap);
  void DetachHandle() { Detach(); }
  void Detach();
  HBITMAP Handle() const { return Handle_; }
  std::int32_t Width() const;
  std::int32_t Height() const;
  bool AreBitsExtracted() const { return Bits() != nullptr; }
  bool CompareBytewise(const TQuickBitmap& other) const;
  bool HasAlphaChannel() const;
  // 0..255; 255 for every pixel of a bitmap without alpha.
  std::uint8_t GetAlpha(std::int32_t x, std::int32_t y) const;
  bool IsBlackWhite() const;
  // 0xAARRGGBB.
  std::uint32_t Pixel(std::int32_t x, std::int32_t y) const;
  const graphics::Bitmap* Bits() const;

 private:
  HBITMAP Handle_ = 0;
  std::shared_ptr<graphics::Bitmap> Shared_;  // the handle's pixels
  std::optional<graphics::Bitmap> Own_;
};

// Equal within the rules (graphics/compare.h). The packed colour tolerance holds the same
// tolerance in each of its three bytes.
bool CompareUniformSizedBitmaps(const TQuickBitmap& a, const TQuickBitmap& b, std::int32_t pixelTolerance,
                                std::uint32_t packedColorTolerance, bool transparent, const TQuickBitmap* mask);
// The comparison with a difference picture: `makePicture` (the first option) makes it (A in dim
// grey, differing pixels red); `onlyDifferences` (the second) leaves the grey out. `statistic`:
// the pixels that differ; `deviation`: the largest difference per channel, red << 16 | green << 8
// | blue. The caller owns the picture's handle.
bool CreateResultPicture(const TQuickBitmap& a, const TQuickBitmap& b, std::int32_t pixelTolerance,
                         std::uint32_t packedColorTolerance, bool transparent, const TQuickBitmap* mask,
                         bool makePicture, HBITMAP* picture, std::int32_t* statistic, std::uint32_t* deviation,
                         bool onlyDifferences);

}  // namespace pw
