#include "platform/gdi.h"

#include <mutex>
#include <unordered_set>

namespace pw {

namespace {

struct Handles {
  std::mutex lock;
  std::unordered_set<HGDIOBJ> live;
  HGDIOBJ next = 0x100;
};

Handles& Table() {
  static Handles* table = new Handles;  // lives until exit: handles may be freed at unload
  return *table;
}

}  // namespace

HBITMAP CreateBitmapHandle() {
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  HGDIOBJ h = t.next++;
  if (t.next <= 0) t.next = 0x100;
  t.live.insert(h);
  return h;
}

bool DeleteObject(HGDIOBJ handle) {
  Handles& t = Table();
  std::lock_guard guard(t.lock);
  return t.live.erase(handle) != 0;
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

}  // namespace pw
