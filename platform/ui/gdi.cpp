#include "platform/ui/gdi.h"

#include <cerrno>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "graphics/blit.h"
#include "platform/kernel/library.h"

namespace pw {

namespace {

// The 1 x 1 monochrome bitmap that a new memory context holds; never freed, not counted.
constexpr HBITMAP kStockBitmap = 0x10;
constexpr HDC kNoWindow = 0;

struct Object {
  std::int32_t type = 0;
  std::shared_ptr<graphics::Bitmap> bitmap;  // OBJ_BITMAP
  HDC selectedIn = 0;                        // OBJ_BITMAP: the context holding it
  HBITMAP selected = 0;                      // OBJ_MEMDC: its bitmap (kStockBitmap at first)
  std::int32_t stretchMode = BLACKONWHITE;   // contexts
  std::vector<std::uint32_t> colors;         // OBJ_PAL
};

struct Handles {
  std::mutex lock;
  std::unordered_map<HGDIOBJ, Object> live;
  HGDIOBJ next = 0x100;
  std::shared_ptr<graphics::Bitmap> stock =
      std::make_shared<graphics::Bitmap>(1, 1, graphics::PixelFormat::Indexed(1, {0x000000, 0xFFFFFF}));
  std::optional<graphics::Bitmap> clipboard;
};

Handles& Table() {
  static Handles* table = new Handles;  // lives until exit: handles may be freed at unload
  return *table;
}

HGDIOBJ Add(Handles& t, Object object) {
  HGDIOBJ h = t.next++;
  if (t.next <= 0) t.next = 0x100;
  t.live.emplace(h, std::move(object));
  return h;
}

HBITMAP AddBitmap(graphics::Bitmap bitmap) {
  Object o;
  o.type = OBJ_BITMAP;
  o.bitmap = std::make_shared<graphics::Bitmap>(std::move(bitmap));
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  return Add(t, std::move(o));
}

// The bitmap a handle names (the stock one too); nil otherwise. Called under the lock.
std::shared_ptr<graphics::Bitmap> BitmapLocked(Handles& t, HBITMAP h) {
  if (h == kStockBitmap) return t.stock;
  auto at = t.live.find(h);
  if (at == t.live.end() || at->second.type != OBJ_BITMAP) return nullptr;
  return at->second.bitmap;
}

// The bitmap selected into a context (nil for the screen, an unknown handle or none).
std::shared_ptr<graphics::Bitmap> ContextBitmap(HDC dc, std::int32_t* mode = nullptr) {
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  auto at = t.live.find(dc);
  if (at == t.live.end() || at->second.type != OBJ_MEMDC) return nullptr;
  if (mode) *mode = at->second.stretchMode;
  return BitmapLocked(t, at->second.selected);
}

// Runs a creation that may fail on the cap or the format: 0 and the last error then.
template <class Make>
HBITMAP Guarded(Make make) {
  try {
    return make();
  } catch (const graphics::GraphicsError& e) {
    SetLastError(e.kind() == graphics::GraphicsError::Kind::OutOfMemory ? ENOMEM : EINVAL);
  } catch (const std::bad_alloc&) {
    SetLastError(ENOMEM);
  }
  return 0;
}

}  // namespace

HBITMAP CreateBitmapHandle() { return AddBitmap(graphics::Bitmap()); }

HBITMAP CreateBitmapOfSize(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels) {
  return Guarded([&] {
    graphics::Bitmap b(width > 0 ? width : 0, height > 0 ? height : 0, graphics::PixelFormat::Rgb32());
    pixels.resize(static_cast<std::size_t>(b.width()) * static_cast<std::size_t>(b.height()));
    for (std::int32_t y = 0; y < b.height(); ++y)
      b.WriteRow(y, pixels.data() + static_cast<std::size_t>(y) * b.width());
    return AddBitmap(std::move(b));
  });
}

HBITMAP CreateDIBSection(HDC, std::int32_t width, std::int32_t height, const graphics::PixelFormat& format) {
  if (width <= 0 || height <= 0) {
    SetLastError(EINVAL);
    return 0;
  }
  return Guarded([&] { return AddBitmap(graphics::Bitmap(width, height, format)); });
}

HBITMAP CreateCompatibleBitmap(HDC dc, std::int32_t width, std::int32_t height) {
  graphics::PixelFormat format = graphics::PixelFormat::Rgb32();
  if (auto b = ContextBitmap(dc)) format = b->format();
  return CreateDIBSection(dc, width, height, format);
}

HBITMAP CreateBitmapFrom(graphics::Bitmap bitmap) {
  if (bitmap.empty()) return 0;
  return AddBitmap(std::move(bitmap));
}

HBITMAP CopyBitmap(HBITMAP bitmap) {
  auto b = BitmapPixels(bitmap);
  if (!b) return 0;
  return Guarded([&] { return AddBitmap(graphics::Bitmap(*b)); });
}

HBITMAP CopyImage(HBITMAP bitmap, std::uint32_t type, std::int32_t cx, std::int32_t cy, std::uint32_t flags) {
  auto b = BitmapPixels(bitmap);
  if (!b || type != IMAGE_BITMAP || cx != 0 || cy != 0) {
    SetLastError(EINVAL);
    return 0;
  }
  return Guarded(
      [&] { return AddBitmap((flags & LR_MONOCHROME) ? graphics::MonochromeCopy(*b) : graphics::Bitmap(*b)); });
}

bool DeleteObject(HGDIOBJ handle) {
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  auto at = t.live.find(handle);
  if (at == t.live.end()) return false;
  if (at->second.type == OBJ_DC || at->second.type == OBJ_MEMDC) return false;
  if (at->second.type == OBJ_BITMAP && at->second.selectedIn != 0) return false;
  t.live.erase(at);
  return true;
}

bool IsGdiObject(HGDIOBJ handle) {
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  return t.live.count(handle) != 0;
}

std::int32_t GdiObjectCount() {
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  return static_cast<std::int32_t>(t.live.size());
}

std::int32_t GetObjectType(HGDIOBJ handle) {
  if (handle == kStockBitmap) return OBJ_BITMAP;
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  auto at = t.live.find(handle);
  return at == t.live.end() ? 0 : at->second.type;
}

std::shared_ptr<graphics::Bitmap> BitmapPixels(HBITMAP bitmap) {
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  return BitmapLocked(t, bitmap);
}

bool GetObject(HBITMAP bitmap, BITMAP& out) {
  auto b = BitmapPixels(bitmap);
  if (!b) return false;
  out = BITMAP{};
  out.bmWidth = b->width();
  out.bmHeight = b->height();
  out.bmWidthBytes = static_cast<std::int32_t>(b->stride());
  out.bmBitsPixel = static_cast<std::uint16_t>(b->format().bitCount);
  out.bmBits = b->Bytes().empty() ? nullptr : b->Bytes().data();
  return true;
}

bool GetBitmapFormat(HBITMAP bitmap, graphics::PixelFormat& out) {
  auto b = BitmapPixels(bitmap);
  if (!b) return false;
  out = b->format();
  return true;
}

bool GetBitmapData(HBITMAP handle, BitmapData& data) {
  auto b = BitmapPixels(handle);
  if (!b) return false;
  data.width = b->width();
  data.height = b->height();
  data.pixels = b->ToArgb();
  for (auto& p : data.pixels) p &= 0xFFFFFF;
  return true;
}

HDC GetDC(std::int32_t window) {
  if (window != kNoWindow) return 0;
  Object o;
  o.type = OBJ_DC;
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  return Add(t, std::move(o));
}

std::int32_t ReleaseDC(std::int32_t, HDC dc) {
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  auto at = t.live.find(dc);
  if (at == t.live.end() || at->second.type != OBJ_DC) return 0;
  t.live.erase(at);
  return 1;
}

HDC CreateCompatibleDC(HDC dc) {
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  if (dc != 0) {
    auto at = t.live.find(dc);
    if (at == t.live.end() || (at->second.type != OBJ_DC && at->second.type != OBJ_MEMDC)) return 0;
  }
  Object o;
  o.type = OBJ_MEMDC;
  o.selected = kStockBitmap;
  return Add(t, std::move(o));
}

bool DeleteDC(HDC dc) {
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  auto at = t.live.find(dc);
  if (at == t.live.end() || at->second.type != OBJ_MEMDC) return false;
  auto held = t.live.find(at->second.selected);
  if (held != t.live.end()) held->second.selectedIn = 0;
  t.live.erase(at);
  return true;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  auto context = t.live.find(dc);
  if (context == t.live.end() || context->second.type != OBJ_MEMDC) return 0;
  const HBITMAP previous = context->second.selected;
  if (object == previous) return previous;
  if (object != kStockBitmap) {
    auto bitmap = t.live.find(object);
    if (bitmap == t.live.end() || bitmap->second.type != OBJ_BITMAP || bitmap->second.selectedIn != 0) return 0;
    bitmap->second.selectedIn = dc;
  }
  auto old = t.live.find(previous);
  if (old != t.live.end()) old->second.selectedIn = 0;
  context->second.selected = object;
  return previous;
}

std::int32_t SetStretchBltMode(HDC dc, std::int32_t mode) {
  if (mode < 1 || mode > 4) return 0;
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  auto at = t.live.find(dc);
  if (at == t.live.end() || (at->second.type != OBJ_MEMDC && at->second.type != OBJ_DC)) return 0;
  const std::int32_t previous = at->second.stretchMode;
  at->second.stretchMode = mode;
  return previous;
}

std::int32_t GetStretchBltMode(HDC dc) {
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  auto at = t.live.find(dc);
  if (at == t.live.end() || (at->second.type != OBJ_MEMDC && at->second.type != OBJ_DC)) return 0;
  return at->second.stretchMode;
}

bool BitBlt(HDC dst, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, HDC src, std::int32_t sx,
            std::int32_t sy, DWORD rop) {
  if (rop != SRCCOPY) return false;
  auto to = ContextBitmap(dst);
  auto from = ContextBitmap(src);
  if (!to || !from) return false;
  graphics::CopyPixels(*from, sx, sy, w, h, *to, x, y);
  return true;
}

bool StretchBlt(HDC dst, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, HDC src, std::int32_t sx,
                std::int32_t sy, std::int32_t sw, std::int32_t sh, DWORD rop) {
  if (rop != SRCCOPY || w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return false;
  std::int32_t mode = 0;
  auto to = ContextBitmap(dst, &mode);
  auto from = ContextBitmap(src);
  if (!to || !from) return false;
  if (w == sw && h == sh) {
    graphics::CopyPixels(*from, sx, sy, w, h, *to, x, y);
    return true;
  }
  graphics::StretchPixels(*from, {sx, sy, sw, sh}, *to, {x, y, w, h},
                          mode == HALFTONE ? graphics::StretchMode::AreaAverage : graphics::StretchMode::Nearest);
  return true;
}

COLORREF GetPixel(HDC dc, std::int32_t x, std::int32_t y) {
  auto b = ContextBitmap(dc);
  if (!b || x < 0 || y < 0 || x >= b->width() || y >= b->height()) return CLR_INVALID;
  return ArgbToColorRef(b->GetPixel(x, y));
}

COLORREF SetPixel(HDC dc, std::int32_t x, std::int32_t y, COLORREF color) {
  auto b = ContextBitmap(dc);
  if (!b || x < 0 || y < 0 || x >= b->width() || y >= b->height()) return CLR_INVALID;
  // An alpha bitmap keeps the pixel's alpha.
  const std::uint32_t alpha = b->HasAlpha() ? b->GetPixel(x, y) & 0xFF000000u : 0xFF000000u;
  b->SetPixel(x, y, (ColorRefToArgb(color) & 0xFFFFFF) | alpha);
  return ArgbToColorRef(b->GetPixel(x, y));
}

HPALETTE CreatePaletteOf(std::vector<std::uint32_t> colors) {
  Object o;
  o.type = OBJ_PAL;
  o.colors = std::move(colors);
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  return Add(t, std::move(o));
}

HPALETTE CreateHalftonePalette(HDC) { return CreatePaletteOf(graphics::HalftonePalette()); }

bool GetPaletteColors(HPALETTE palette, std::vector<std::uint32_t>& colors) {
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  auto at = t.live.find(palette);
  if (at == t.live.end() || at->second.type != OBJ_PAL) return false;
  colors = at->second.colors;
  return true;
}

bool SetClipboardBitmap(HBITMAP bitmap) {
  auto b = BitmapPixels(bitmap);
  if (!b || b->empty()) return false;
  graphics::Bitmap copy;
  try {
    copy = *b;
  } catch (const std::bad_alloc&) {
    SetLastError(ENOMEM);
    return false;
  }
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  t.clipboard = std::move(copy);
  return true;
}

HBITMAP GetClipboardBitmap() {
  std::optional<graphics::Bitmap> copy;
  {
    Handles& t = Table();
    std::lock_guard guard(t.lock);
    if (!t.clipboard) return 0;
    copy = *t.clipboard;
  }
  return AddBitmap(std::move(*copy));
}

void EmptyClipboard() {
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  t.clipboard.reset();
}

HBITMAP CopyImage(HBITMAP handle) { return CopyBitmap(handle); }

bool DrawTransparent(HBITMAP target, HBITMAP source, std::int32_t x, std::int32_t y) {
  BitmapData src;
  if (target == source || !GetBitmapData(source, src)) return false;
  auto dst = BitmapPixels(target);
  if (!dst) return false;
  if (src.width == 0 || src.height == 0) return true;
  const std::uint32_t transparent =
      src.pixels[static_cast<std::size_t>(src.height - 1) * static_cast<std::size_t>(src.width)];
  for (std::int32_t row = 0; row < src.height; ++row) {
    const std::int32_t ty = y + row;
    if (ty < 0 || ty >= dst->height()) continue;
    for (std::int32_t col = 0; col < src.width; ++col) {
      const std::int32_t tx = x + col;
      if (tx < 0 || tx >= dst->width()) continue;
      const std::uint32_t pixel = src.pixels[static_cast<std::size_t>(row) * static_cast<std::size_t>(src.width) + col];
      if (pixel == transparent) continue;
      dst->SetPixel(tx, ty, 0xFF000000u | pixel);
    }
  }
  return true;
}

}  // namespace pw
