// Pictures of the tested browsers' windows: a window's picture is its page's viewport shot (the
// engine's PNG) decoded into the bitmap layer as a bitmap of the screen's format (32 bits, no
// alpha), the whole viewport or a rectangle of it. A rectangle is clipped to the viewport; an
// empty clip, or a window that is no tested browser's, gives no picture (0). A shot larger than
// the pixel cap of the bitmap layer gives no picture either (the decoder refuses it before it
// allocates). The caller owns the bitmap handle.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/browser/objects/browsers.h"
#include "platform/ui/gdi.h"

namespace pw::host {

struct PictureRect {
  std::int32_t left = 0, top = 0, width = 0, height = 0;
};

// PNG bytes as a screen-compatible bitmap handle; 0 when they are no picture.
HBITMAP BitmapFromPng(const std::string& png);
HBITMAP WindowPicture(TBrowsers& browsers, HWND window, const std::optional<PictureRect>& rect = std::nullopt);

}  // namespace pw::host
