#include "platform/ui/gdi.h"

#include <mutex>
#include <unordered_map>

namespace pw {

namespace {

struct Handles {
  std::mutex lock;
  std::unordered_map<HGDIOBJ, BitmapData> live;
  HGDIOBJ next = 0x100;
};

Handles& Table() {
  static Handles* table = new Handles;  // lives until exit: handles may be freed at unload
  return *table;
}

HBITMAP OwnCreate(std::int32_t width, std::int32_t height, std::vector<std::uint32_t>* pixels) {
  Handles& t = Table();
  BitmapData d;
  d.width = width > 0 ? width : 0;
  d.height = height > 0 ? height : 0;
  if (pixels) d.pixels = std::move(*pixels);
  d.pixels.resize(static_cast<std::size_t>(d.width) * static_cast<std::size_t>(d.height));
  std::lock_guard guard(t.lock);
  HGDIOBJ h = t.next++;
  if (t.next <= 0) t.next = 0x100;
  t.live.emplace(h, std::move(d));
  return h;
}

bool OwnDestroy(HGDIOBJ handle) {
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  return t.live.erase(handle) != 0;
}

bool OwnData(HGDIOBJ handle, BitmapData* out) {
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  auto at = t.live.find(handle);
  if (at == t.live.end()) return false;
  if (out) *out = at->second;
  return true;
}

std::int32_t OwnCount() {
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  return static_cast<std::int32_t>(t.live.size());
}

}  // namespace

HBITMAP CreateBitmapHandle() { return OwnCreate(0, 0, nullptr); }

HBITMAP CreateBitmapOfSize(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels) {
  return OwnCreate(width, height, &pixels);
}

bool DeleteObject(HGDIOBJ handle) { return OwnDestroy(handle); }

bool IsGdiObject(HGDIOBJ handle) { return OwnData(handle, nullptr); }

std::int32_t GdiObjectCount() { return OwnCount(); }

bool GetBitmapData(HBITMAP handle, BitmapData& data) { return OwnData(handle, &data); }

HBITMAP CopyImage(HBITMAP handle) {
  BitmapData d;
  if (!OwnData(handle, &d)) return 0;
  return OwnCreate(d.width, d.height, &d.pixels);
}

bool DrawTransparent(HBITMAP target, HBITMAP source, std::int32_t x, std::int32_t y) {
  BitmapData src;
  if (target == source || !OwnData(source, &src)) return false;
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  auto at = t.live.find(target);
  if (at == t.live.end()) return false;
  BitmapData& dst = at->second;
  if (src.width == 0 || src.height == 0) return true;
  std::uint32_t transparent = src.pixels[static_cast<std::size_t>(src.height - 1) * static_cast<std::size_t>(src.width)];
  for (std::int32_t row = 0; row < src.height; ++row) {
    std::int32_t ty = y + row;
    if (ty < 0 || ty >= dst.height) continue;
    for (std::int32_t col = 0; col < src.width; ++col) {
      std::int32_t tx = x + col;
      if (tx < 0 || tx >= dst.width) continue;
      std::uint32_t pixel = src.pixels[static_cast<std::size_t>(row) * static_cast<std::size_t>(src.width) + col];
      if (pixel == transparent) continue;
      dst.pixels[static_cast<std::size_t>(ty) * static_cast<std::size_t>(dst.width) + tx] = pixel;
    }
  }
  return true;
}

}  // namespace pw
