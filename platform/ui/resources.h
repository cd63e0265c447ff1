// A binary's resources: string-table entries and bitmaps. The module's resource script
// (resources/pwOpenApps2.rc) is compiled into a table at build time (resources/rc2cpp.cmake); the module
// registers that table when its units start, and the loaders below read the registered table,
// as the system's resource functions read the resources of the calling module.
#pragma once

#include <cstdint>
#include <span>

#include "platform/ui/gdi.h"
#include "platform/com/types.h"

namespace pw {

struct StringResource {
  std::uint32_t id;
  const char16_t* text;
};

// A bitmap drawn from its description: a frame of `frame` colour, filled with `fill`, and a
// `mark` colour on the diagonal (0x00RRGGBB colours).
struct BitmapResource {
  const char* name;
  std::int32_t width, height;
  std::uint32_t frame, fill, mark;
};

// A cursor: its name and hot spot (nothing is drawn).
struct CursorResource {
  const char* name;
  std::int32_t hotX, hotY;
};

struct ResourceTable {
  std::span<const StringResource> strings;
  std::span<const BitmapResource> bitmaps;
  std::span<const CursorResource> cursors = {};
};

// Makes the table the binary's resources (nil tables: no resources).
void RegisterModuleResources(const ResourceTable* table);

// The string-table entry; false when there is none.
bool LoadModuleString(std::uint32_t id, WideString& text);
// A new bitmap of the named resource (the caller frees it with DeleteGdiObject); raises an
// operating-system error (EOSError, code ENOENT) naming the resource when there is none.
HBITMAP LoadModuleBitmap(const char* name);
// The registered name of the cursor resource of that name; nil when there is none.
const char* FindModuleCursor(const char* name);
inline bool DeleteGdiObject(HGDIOBJ handle) { return DeleteObject(handle); }

}  // namespace pw
