// Drawing-object handles (bitmaps) as the window system hands them out. There is no window
// system here: a handle is a number that stays valid until DeleteObject, so code that passes
// bitmaps on and frees them can be checked for leaks and double frees. A bitmap made with a
// size keeps its pixels (32-bit 0x00RRGGBB values, rows from the top). Handles are one table
// per process (the platform is one shared library): a module's bitmap can be freed by the host.
#pragma once

#include <cstdint>
#include <vector>

namespace pw {

// Handles fit the 32-bit integer slots of the host's interfaces. 0 is no handle.
using HGDIOBJ = std::int32_t;
using HBITMAP = HGDIOBJ;

// A new bitmap handle without pixels (0 x 0).
HBITMAP CreateBitmapHandle();
// A new bitmap of width x height; `pixels` holds width * height values (missing ones are 0).
HBITMAP CreateBitmapOfSize(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels);
// Frees a handle; false for 0, an unknown or an already freed handle.
bool DeleteObject(HGDIOBJ handle);
// True while the handle is valid.
bool IsGdiObject(HGDIOBJ handle);
// The number of handles not yet freed.
std::int32_t GdiObjectCount();

struct BitmapData {
  std::int32_t width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
};
// The size and pixels of a valid bitmap; false for any other handle.
bool GetBitmapData(HBITMAP handle, BitmapData& data);

// A new bitmap with the size and pixels of a valid one (a device-independent copy); 0 for any
// other handle.
HBITMAP CopyImage(HBITMAP handle);
// Draws Source onto Target with its top-left corner at (x, y), clipped to Target; pixels of
// Source's transparent colour (the colour of its bottom-left pixel) are left out. False when
// either handle is not a valid bitmap or both are the same.
bool DrawTransparent(HBITMAP target, HBITMAP source, std::int32_t x, std::int32_t y);

}  // namespace pw
