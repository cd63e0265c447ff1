#include "host/browser/objects/window_pictures.h"

#include <algorithm>

#include "graphics/png.h"

namespace pw::host {

HBITMAP BitmapFromPng(const std::string& png) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(png.data());
  const std::span<const std::uint8_t> data(bytes, png.size());
  if (!graphics::LooksLikePng(data)) return 0;
  try {
    graphics::Bitmap decoded = graphics::ReadPng(data);
    if (decoded.empty()) return 0;
    return CreateBitmapFrom(decoded.format().bitCount == 32 && !decoded.HasAlpha()
                                ? std::move(decoded)
                                : decoded.Converted(graphics::PixelFormat::Rgb32()));
  } catch (const graphics::GraphicsError&) {
    return 0;
  }
}

HBITMAP WindowPicture(TBrowsers& browsers, HWND window, const std::optional<PictureRect>& rect) {
  auto browser = browsers.FindByWindow(window);
  if (!browser || !browser->page || browser->page->Closed()) return 0;
  if (!rect) return BitmapFromPng(browser->page->Screenshot());
  // The viewport's size bounds the rectangle: a shot is exactly the viewport.
  const browser::Json metrics = browser->page->Metrics();
  // The clip is in page coordinates: the viewport's scroll position is added.
  const browser::Json viewport =
      metrics.value("cssVisualViewport", metrics.value("visualViewport", browser::Json::object()));
  const std::int32_t viewWidth = static_cast<std::int32_t>(viewport.value("clientWidth", 0.0));
  const std::int32_t viewHeight = static_cast<std::int32_t>(viewport.value("clientHeight", 0.0));
  const double pageX = viewport.value("pageX", 0.0), pageY = viewport.value("pageY", 0.0);
  const std::int32_t left = std::max(rect->left, 0), top = std::max(rect->top, 0);
  const std::int32_t right = std::min<std::int64_t>(std::int64_t{rect->left} + rect->width, viewWidth);
  const std::int32_t bottom = std::min<std::int64_t>(std::int64_t{rect->top} + rect->height, viewHeight);
  if (right <= left || bottom <= top) return 0;
  return BitmapFromPng(browser->page->Screenshot(
      browser::Clip{pageX + left, pageY + top, static_cast<double>(right - left), static_cast<double>(bottom - top)}));
}

}  // namespace pw::host
