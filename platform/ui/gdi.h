// Drawing objects as the window system hands them out: bitmaps, device contexts and palettes
// behind numeric handles, and an in-process clipboard for bitmaps. There is no window system
// here: a handle is a number that stays valid until it is freed, so code that passes bitmaps on
// and frees them can be checked for leaks and double frees. Handles are one table per process
// (the platform is one shared library): a module's bitmap can be freed by the host.
//
// Every bitmap is a device-independent bitmap of the pixel library (graphics/bitmap.h): 1, 4
// and 8 bits with a colour table, 16 bits 5-5-5 or with masks, 24, 32 with or without alpha.
// Creation beyond the pixel cap, or with sizes that overflow, fails with 0 and the last error
// ENOMEM (EINVAL for a format or size that cannot be) before anything is allocated. The screen (GetDC(0)) is a 32-bit
// device without alpha and without pixels of its own. A memory device context holds one
// bitmap at a time (at first a 1 x 1 monochrome stock bitmap) and a stretch mode; a bitmap is
// selected into one context at a time and cannot be freed while selected.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "graphics/bitmap.h"
#include "platform/com/types.h"

namespace pw {

// Handles fit the 32-bit integer slots of the host's interfaces. 0 is no handle.
using HGDIOBJ = std::int32_t;
using HBITMAP = HGDIOBJ;
using HDC = HGDIOBJ;
using HPALETTE = HGDIOBJ;
// A colour 0x00BBGGRR.
using COLORREF = std::uint32_t;

inline constexpr std::int32_t OBJ_DC = 3;
inline constexpr std::int32_t OBJ_PAL = 5;
inline constexpr std::int32_t OBJ_BITMAP = 7;
inline constexpr std::int32_t OBJ_MEMDC = 10;
inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFFu;
inline constexpr DWORD SRCCOPY = 0x00CC0020;
inline constexpr std::int32_t BLACKONWHITE = 1;
inline constexpr std::int32_t COLORONCOLOR = 3;
inline constexpr std::int32_t HALFTONE = 4;
inline constexpr std::uint32_t IMAGE_BITMAP = 0;
inline constexpr std::uint32_t LR_DEFAULTCOLOR = 0;
inline constexpr std::uint32_t LR_MONOCHROME = 1;

inline constexpr COLORREF RGB(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return (r & 0xFF) | (g & 0xFF) << 8 | (b & 0xFF) << 16;
}
// 0x00BBGGRR <-> 0xAARRGGBB (alpha 255).
inline constexpr std::uint32_t ColorRefToArgb(COLORREF c) {
  return 0xFF000000u | (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
}
inline constexpr COLORREF ArgbToColorRef(std::uint32_t argb) {
  return (argb >> 16 & 0xFF) | (argb & 0xFF00) | (argb & 0xFF) << 16;
}

// ---- Bitmaps -----------------------------------------------------------------------------

// A new bitmap handle without pixels (0 x 0).
HBITMAP CreateBitmapHandle();
// A new 32-bit bitmap of width x height; `pixels` holds width * height values 0x00RRGGBB, rows
// from the top (missing ones are 0).
HBITMAP CreateBitmapOfSize(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels);
// A new bitmap of a size and format (all pixels 0); 0 and the last error when it cannot be made.
HBITMAP CreateDIBSection(HDC dc, std::int32_t width, std::int32_t height, const graphics::PixelFormat& format);
// A bitmap in the format of the context's bitmap (the screen's: 32 bits).
HBITMAP CreateCompatibleBitmap(HDC dc, std::int32_t width, std::int32_t height);
// A handle for a bitmap made elsewhere (a codec's); 0 for an empty one.
HBITMAP CreateBitmapFrom(graphics::Bitmap bitmap);
// An independent copy, same format; 0 for anything that is not a bitmap.
HBITMAP CopyBitmap(HBITMAP bitmap);
// A copy: with LR_MONOCHROME a 1-bit one whose 1 bits are the background colour (white).
// cx, cy must be 0 (the same size). 0 when the handle is no bitmap.
HBITMAP CopyImage(HBITMAP bitmap, std::uint32_t type, std::int32_t cx, std::int32_t cy, std::uint32_t flags);

// Frees a bitmap or palette handle; false for 0, an unknown, a freed handle, a bitmap still
// selected into a context, a context (DeleteDC / ReleaseDC free those) or the stock bitmap.
bool DeleteObject(HGDIOBJ handle);
// True while the handle is valid (any kind).
bool IsGdiObject(HGDIOBJ handle);
// The number of handles (bitmaps, contexts, palettes) not yet freed.
std::int32_t GdiObjectCount();
// OBJ_BITMAP, OBJ_DC, OBJ_MEMDC, OBJ_PAL; 0 for anything else.
std::int32_t GetObjectType(HGDIOBJ handle);

struct BITMAP {
  std::int32_t bmType = 0;
  std::int32_t bmWidth = 0;
  std::int32_t bmHeight = 0;
  std::int32_t bmWidthBytes = 0;
  std::uint16_t bmPlanes = 1;
  std::uint16_t bmBitsPixel = 0;
  void* bmBits = nullptr;
};
// The description of a bitmap; false for any other handle.
bool GetObject(HBITMAP bitmap, BITMAP& out);
// The format record: bit count, compression, masks, colour table, alpha.
bool GetBitmapFormat(HBITMAP bitmap, graphics::PixelFormat& out);
// The bitmap's pixels themselves (shared with the handle while it lives); nil for any other
// handle. The caller must not use them from two threads at once.
std::shared_ptr<graphics::Bitmap> BitmapPixels(HBITMAP bitmap);

struct BitmapData {
  std::int32_t width = 0, height = 0;
  std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, rows from the top
};
// The size and pixels of a valid bitmap; false for any other handle.
bool GetBitmapData(HBITMAP handle, BitmapData& data);

// ---- Device contexts ---------------------------------------------------------------------

// GetDC(0): the screen; the window system has no windows, so any other value fails (0).
HDC GetDC(std::int32_t window);
std::int32_t ReleaseDC(std::int32_t window, HDC dc);
// A memory context (with the stock bitmap selected); 0 when dc is neither 0, the screen nor a
// memory context.
HDC CreateCompatibleDC(HDC dc);
// Frees a memory context; the bitmap in it is free to be selected elsewhere.
bool DeleteDC(HDC dc);
// Selects a bitmap into a memory context; answers the bitmap it replaced, 0 on failure (no
// memory context, no bitmap, or a bitmap selected into another context).
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// The previous mode; 0 on failure. COLORONCOLOR: nearest pixel; HALFTONE: area average.
std::int32_t SetStretchBltMode(HDC dc, std::int32_t mode);
std::int32_t GetStretchBltMode(HDC dc);
// SRCCOPY only; formats are converted. False when a context has no bitmap or the operation
// is not SRCCOPY.
bool BitBlt(HDC dst, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, HDC src, std::int32_t sx,
            std::int32_t sy, DWORD rop);
bool StretchBlt(HDC dst, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, HDC src, std::int32_t sx,
                std::int32_t sy, std::int32_t sw, std::int32_t sh, DWORD rop);
// CLR_INVALID outside the bitmap (or without one). SetPixel answers the colour it set (the
// nearest the format holds).
COLORREF GetPixel(HDC dc, std::int32_t x, std::int32_t y);
COLORREF SetPixel(HDC dc, std::int32_t x, std::int32_t y, COLORREF color);

// ---- Palettes ----------------------------------------------------------------------------

// The 256-colour halftone palette.
HPALETTE CreateHalftonePalette(HDC dc);
// A palette of given colours (0x00RRGGBB).
HPALETTE CreatePaletteOf(std::vector<std::uint32_t> colors);
bool GetPaletteColors(HPALETTE palette, std::vector<std::uint32_t>& colors);

// ---- Clipboard ---------------------------------------------------------------------------

// The process's clipboard keeps its own copy of a bitmap (CF_BITMAP).
inline constexpr std::uint32_t CF_BITMAP = 2;
bool SetClipboardBitmap(HBITMAP bitmap);
// A new handle with a copy of the clipboard's bitmap (the caller frees it); 0 when it has none.
HBITMAP GetClipboardBitmap();
void EmptyClipboard();

// A new bitmap with the size and pixels of a valid one (a device-independent copy); 0 for any
// other handle.
HBITMAP CopyImage(HBITMAP handle);
// Draws Source onto Target with its top-left corner at (x, y), clipped to Target; pixels of
// Source's transparent colour (the colour of its bottom-left pixel) are left out. False when
// either handle is not a valid bitmap or both are the same.
bool DrawTransparent(HBITMAP target, HBITMAP source, std::int32_t x, std::int32_t y);

}  // namespace pw
