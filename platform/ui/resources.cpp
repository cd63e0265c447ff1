#include "platform/ui/resources.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

std::atomic<const ResourceTable*> gResources{nullptr};

std::vector<std::uint32_t> Draw(const BitmapResource& b) {
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(b.width) * static_cast<std::size_t>(b.height), b.fill);
  for (std::int32_t y = 0; y < b.height; ++y)
    for (std::int32_t x = 0; x < b.width; ++x) {
      std::uint32_t& p = pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(b.width) + static_cast<std::size_t>(x)];
      if (x == 0 || y == 0 || x == b.width - 1 || y == b.height - 1)
        p = b.frame;
      else if (x == y)
        p = b.mark;
    }
  return pixels;
}

}  // namespace

void RegisterModuleResources(const ResourceTable* table) { gResources.store(table); }

bool LoadModuleString(std::uint32_t id, WideString& text) {
  const ResourceTable* table = gResources.load();
  if (!table) return false;
  for (const auto& s : table->strings)
    if (s.id == id) {
      text = s.text;
      return true;
    }
  return false;
}

const char* FindModuleCursor(const char* name) {
  const ResourceTable* table = gResources.load();
  if (!table || !name) return nullptr;
  for (const auto& c : table->cursors)
    if (std::strcmp(c.name, name) == 0) return c.name;
  return nullptr;
}

HBITMAP LoadModuleBitmap(const char* name) {
  const ResourceTable* table = gResources.load();
  if (table && name)
    for (const auto& b : table->bitmaps)
      if (std::strcmp(b.name, name) == 0) return CreateBitmapOfSize(b.width, b.height, Draw(b));
  throw EOSError(u"System Error.  Code: " + IntToWide(ENOENT) + u".\nThe bitmap resource \"" +
                     Utf8ToWide(name ? name : "") + u"\" cannot be found in the module.",
                 ENOENT);
}

}  // namespace pw
