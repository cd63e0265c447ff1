// Drawing-object handles (bitmaps) as the window system hands them out. There is no window
// system here: a handle is a number that stays valid until DeleteObject, so code that passes
// bitmaps on and frees them can be checked for leaks and double frees.
#pragma once

#include <cstdint>

namespace pw {

// Handles fit the 32-bit integer slots of the host's interfaces. 0 is no handle.
using HGDIOBJ = std::int32_t;
using HBITMAP = HGDIOBJ;

// A new bitmap handle.
HBITMAP CreateBitmapHandle();
// Frees a handle; false for 0, an unknown or an already freed handle.
bool DeleteObject(HGDIOBJ handle);
// True while the handle is valid.
bool IsGdiObject(HGDIOBJ handle);
// The number of handles not yet freed.
std::int32_t GdiObjectCount();

}  // namespace pw
