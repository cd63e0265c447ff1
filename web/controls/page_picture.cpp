#include "web/controls/page_picture.h"

#include <algorithm>

#include "core/automation/dispatch_helpers.h"
#include "graphics/blit.h"
#include "platform/automation/dispatch.h"
#include "platform/rtl/exceptions.h"

namespace pw::web {

namespace {

ComPtr<IDispatch> ObjectOf(IDispatch* object, const char16_t* name) {
  return VarToDispatch(DispGetProperty(object, name, OleVariant()).Get());
}

std::int32_t IntOf(IDispatch* object, const char16_t* name) {
  OleVariant value = DispGetProperty(object, name, OleVariant(0));
  OleVariant n;
  if (Failed(VariantChangeType(n.Ptr(), value.Ptr(), 0, VT_I4))) return 0;
  return n.Get().lVal;
}

bool ScrollIsNo(IDispatch* body) {
  OleVariant value = DispGetProperty(body, u"scroll", OleVariant(u""));
  return value.Get().vt == VT_BSTR && BstrView(value.Get().bstrVal) == u"no";
}

void ClampToClient(TpwPageMetrics& m) {
  m.ScrollHeight = std::min(m.ScrollHeight, m.ClientHeight);
  m.ScrollWidth = std::min(m.ScrollWidth, m.ClientWidth);
}

std::int32_t WidthOf(const TRect& r) { return r.Right - r.Left; }
std::int32_t HeightOf(const TRect& r) { return r.Bottom - r.Top; }

}  // namespace

void CheckPagePictureArguments(std::int32_t width, std::int32_t height) {
  if (width == 0 || height == 0 || width < -1 || height < -1) {
    throw EOleSysError(u"The width and height of the picture must be positive, or -1 for the whole page.",
                       E_INVALIDARG);
  }
}

bool GetOperaPageMetrics(IDispatch* native, const TRect& windowRect, const TRect& clientRect,
                         ComPtr<IDispatch>& scrollTarget, TpwPageMetrics& m) {
  auto document = ObjectOf(native, u"contentDocument");
  if (!document) return false;
  auto view = ObjectOf(document.Get(), u"defaultView");
  if (!view || !ObjectOf(view.Get(), u"opera")) return false;
  auto root = ObjectOf(document.Get(), u"documentElement");
  auto body = ObjectOf(document.Get(), u"body");
  if (!root || !body) return false;
  m = {};
  m.OffsetY = IntOf(view.Get(), u"screenTop") - windowRect.Top;
  m.OffsetX = IntOf(view.Get(), u"screenLeft") - windowRect.Left;
  m.ScrollWidth = IntOf(root.Get(), u"scrollWidth");
  m.ScrollHeight = IntOf(root.Get(), u"scrollHeight");
  m.Top = IntOf(root.Get(), u"clientTop");
  m.Left = IntOf(root.Get(), u"clientLeft");
  m.ClientWidth = IntOf(root.Get(), u"clientWidth");
  m.ClientHeight = IntOf(root.Get(), u"clientHeight");
  if (m.ClientWidth > WidthOf(clientRect) || m.ClientHeight > HeightOf(clientRect)) {
    m.ClientWidth = IntOf(body.Get(), u"clientWidth");
    m.ClientHeight = IntOf(body.Get(), u"clientHeight");
    if (m.ClientWidth > WidthOf(clientRect) || m.ClientHeight > HeightOf(clientRect)) return false;
  }
  if (m.ClientWidth <= 0 || m.ClientHeight <= 0) return false;  // a zero step would never end
  if (ScrollIsNo(body.Get())) ClampToClient(m);
  scrollTarget = view;
  return true;
}

bool GetFirefoxPageMetrics(IDispatch* native, const TRect& windowRect, const TRect& clientRect,
                           ComPtr<IDispatch>& scrollTarget, TpwPageMetrics& m) {
  auto document = ObjectOf(native, u"contentDocument");
  if (!document) return false;
  auto view = ObjectOf(document.Get(), u"defaultView");
  auto root = ObjectOf(document.Get(), u"documentElement");
  if (!view || !root) return false;
  m = {};
  m.ScrollWidth = IntOf(root.Get(), u"scrollWidth");
  m.ScrollHeight = IntOf(root.Get(), u"scrollHeight");
  m.ClientWidth = IntOf(root.Get(), u"clientWidth");
  m.ClientHeight = IntOf(root.Get(), u"clientHeight");
  if (!m.ScrollWidth || !m.ScrollHeight || !m.ClientWidth || !m.ClientHeight) return false;
  m.Top = clientRect.Top;
  m.Left = clientRect.Left;
  m.OffsetY = std::max(IntOf(view.Get(), u"mozInnerScreenY") - windowRect.Top, 0);
  m.OffsetX = std::max(IntOf(view.Get(), u"mozInnerScreenX") - windowRect.Left, 0);
  auto body = ObjectOf(document.Get(), u"body");
  if (body) {
    if (m.ClientWidth > WidthOf(clientRect) || m.ClientHeight > HeightOf(clientRect)) {
      m.ScrollWidth = IntOf(body.Get(), u"scrollWidth");
      m.ScrollHeight = IntOf(body.Get(), u"scrollHeight");
      m.ClientWidth = IntOf(body.Get(), u"clientWidth");
      m.ClientHeight = IntOf(body.Get(), u"clientHeight");
      if (!m.ScrollWidth || !m.ScrollHeight || !m.ClientWidth || !m.ClientHeight) return false;
      if (m.ClientWidth > WidthOf(clientRect) || m.ClientHeight > HeightOf(clientRect)) return false;
    }
    if (ScrollIsNo(body.Get())) ClampToClient(m);
  }
  scrollTarget = view;
  return true;
}

bool GetIEPageMetrics(IDispatch* native, const TRect& windowRect, ComPtr<IDispatch>& scrollTarget, TpwPageMetrics& m) {
  ComPtr<IDispatch> document;
  if (auto application = ObjectOf(native, u"Application")) document = ObjectOf(application.Get(), u"Document");
  if (!document) document = ObjectOf(native, u"contentDocument");
  if (!document) return false;
  auto root = ObjectOf(document.Get(), u"documentElement");
  auto window = ObjectOf(document.Get(), u"parentWindow");
  if (!root || !window) return false;
  m = {};
  m.ScrollWidth = IntOf(root.Get(), u"scrollWidth");
  m.ScrollHeight = IntOf(root.Get(), u"scrollHeight");
  if (m.ScrollWidth && m.ScrollHeight) {
    m.Top = IntOf(root.Get(), u"clientTop");
    m.Left = IntOf(root.Get(), u"clientLeft");
    m.ClientWidth = IntOf(root.Get(), u"clientWidth");
    m.ClientHeight = IntOf(root.Get(), u"clientHeight");
  }
  auto body = ObjectOf(document.Get(), u"body");
  if (body && (!m.ClientWidth || !m.ClientHeight)) {
    m.ScrollWidth = IntOf(body.Get(), u"scrollWidth");
    m.ScrollHeight = IntOf(body.Get(), u"scrollHeight");
    m.Top = IntOf(body.Get(), u"clientTop");
    m.Left = IntOf(body.Get(), u"clientLeft");
    m.ClientWidth = IntOf(body.Get(), u"clientWidth");
    m.ClientHeight = IntOf(body.Get(), u"clientHeight");
    if (!m.ScrollWidth || !m.ScrollHeight) return false;
  }
  if (!m.ClientWidth || !m.ClientHeight) return false;
  if (WidthOf(windowRect) < m.ClientWidth || HeightOf(windowRect) < m.ClientHeight) return false;
  if (body && ScrollIsNo(body.Get())) ClampToClient(m);
  scrollTarget = window;
  return true;
}

std::vector<TpwPageTile> PlanPageTiles(TpwPageMetrics& m, std::int32_t clientX, std::int32_t clientY,
                                       std::int32_t width, std::int32_t height) {
  const std::int64_t limitX = width == -1 ? m.ScrollWidth : std::int64_t{width} + (clientX == -1 ? 0 : clientX);
  const std::int64_t limitY = height == -1 ? m.ScrollHeight : std::int64_t{height} + (clientY == -1 ? 0 : clientY);
  m.ClientWidth = std::min(m.ClientWidth, m.ScrollWidth);
  m.ClientHeight = std::min(m.ClientHeight, m.ScrollHeight);
  if (m.ClientWidth <= 0 || m.ClientHeight <= 0) {
    if (m.ScrollWidth <= 0 || m.ScrollHeight <= 0) return {};  // nothing to capture
    throw EOleSysError(u"The page has no visible client area.", E_INVALIDARG);
  }
  std::vector<TpwPageTile> tiles;
  for (std::int32_t x = 0; x < m.ScrollWidth && x < limitX; x += m.ClientWidth) {
    if (x + m.ClientWidth > m.ScrollWidth) x = m.ScrollWidth - m.ClientWidth;
    for (std::int32_t y = 0; y < m.ScrollHeight && y < limitY; y += m.ClientHeight) {
      if (y + m.ClientHeight > m.ScrollHeight) y = m.ScrollHeight - m.ClientHeight;
      tiles.push_back({x, y});
    }
  }
  return tiles;
}

graphics::Bitmap StitchPageTiles(TpwPageMetrics m, std::int32_t clientX, std::int32_t clientY, std::int32_t width,
                                 std::int32_t height, const TpwScrollTo& scrollTo, const TpwTakeShot& takeShot) {
  const auto tiles = PlanPageTiles(m, clientX, clientY, width, height);
  if (tiles.empty()) return {};
  graphics::Bitmap page(m.ScrollWidth, m.ScrollHeight, graphics::PixelFormat::Rgb32());
  for (const auto& tile : tiles) {
    scrollTo(tile.X, tile.Y);
    const graphics::Bitmap shot = takeShot();
    if (shot.empty()) return {};
    graphics::CopyPixels(shot, m.Left + m.OffsetX, m.Top + m.OffsetY, m.ClientWidth, m.ClientHeight, page, tile.X,
                         tile.Y);
  }
  return page;
}

graphics::Bitmap CropPagePicture(graphics::Bitmap page, std::int32_t clientX, std::int32_t clientY, std::int32_t width,
                                 std::int32_t height) {
  if (page.empty()) return {};
  const std::int32_t w = page.width(), h = page.height();
  const std::int32_t left = clientX == -1 ? 0 : std::clamp(clientX, 0, w);
  const std::int32_t top = clientY == -1 ? 0 : std::clamp(clientY, 0, h);
  const std::int32_t right =
      width == -1 ? w : static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{left} + width, w));
  const std::int32_t bottom =
      height == -1 ? h : static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{top} + height, h));
  if (left == 0 && top == 0 && right == w && bottom == h) return page;
  if (right <= left || bottom <= top) return {};
  graphics::Bitmap cropped(right - left, bottom - top, graphics::PixelFormat::Rgb32());
  graphics::CopyPixels(page, left, top, right - left, bottom - top, cropped, 0, 0);
  return cropped;
}

graphics::Bitmap StitchPagePicture(TpwPageMetrics m, std::int32_t clientX, std::int32_t clientY, std::int32_t width,
                                   std::int32_t height, const TpwScrollTo& scrollTo, const TpwTakeShot& takeShot) {
  return CropPagePicture(StitchPageTiles(m, clientX, clientY, width, height, scrollTo, takeShot), clientX, clientY,
                         width, height);
}

void ScrollPageTo(IDispatch* scrollTarget, std::int32_t x, std::int32_t y) {
  const char16_t* name = u"scrollTo";
  DISPID id = DISPID_UNKNOWN;
  OleCheck(scrollTarget->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id));
  std::int32_t xs = x, ys = y;
  VARIANT args[2];
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  args[1].vt = VT_BYREF | VT_I4;  // x (first in call order, last in the array)
  args[1].byref = &xs;
  args[0].vt = VT_BYREF | VT_I4;
  args[0].byref = &ys;
  DISPPARAMS params{args, nullptr, 2, 0};
  OleCheck(scrollTarget->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
}

}  // namespace pw::web
