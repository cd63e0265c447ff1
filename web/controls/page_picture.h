// The whole-page picture: the page is scrolled through its own script window, one window
// picture is taken per scroll position, and the visible client area of each is pasted into one
// bitmap of the page's full scroll size; the result is cropped to the requested rectangle.
//
// Page metrics come from one of three routines over the page's late-bound objects:
//   GetOperaPageMetrics: "contentDocument", its "defaultView" (which must hold an object "opera"),
//     "documentElement" and "body": root sizes (the body's client size when the root's exceeds the
//     window's client rectangle; still larger: False); Top, Left from the root's "clientTop",
//     "clientLeft"; offsets from the view's "screenTop"/"screenLeft" less the window rectangle.
//   GetFirefoxPageMetrics: "contentDocument", its "defaultView" and "documentElement" (the engine's
//     "chrome" pages answer these): sizes from the root element (else from the body when the
//     root's client size exceeds the window's client rectangle); Top, Left from the client
//     rectangle; offsets from "mozInnerScreenX"/"mozInnerScreenY" less the window rectangle
//     (missing reads count 0; a negative offset becomes 0).
//   GetIEPageMetrics: "Application"."Document" (else "contentDocument"), its "documentElement" and
//     "parentWindow": root sizes, else body sizes; the window must be at least the client size.
// All answer False for a zero client size, and clamp the scroll size to the client size when the
// body's "scroll" is "no".
//
// Stitching (PlanPageTiles): columns outer, rows inner, stepping by the client size; the last
// column and row are aligned to the right and bottom edges; Width/Height (when not -1) with
// ClientX/ClientY limit the tiles to those covering the requested area. A client size larger than
// the scroll size shrinks to it; a zero step is refused (it would never end).
#pragma once

#include <functional>
#include <vector>

#include "core/automation/rect.h"
#include "graphics/bitmap.h"
#include "platform/com/comptr.h"

namespace pw::web {

struct TpwPageMetrics {
  std::int32_t Top = 0, Left = 0;
  std::int32_t ClientWidth = 0, ClientHeight = 0;
  std::int32_t ScrollWidth = 0, ScrollHeight = 0;
  std::int32_t OffsetY = 0, OffsetX = 0;
};

// E_INVALIDARG (raised as EOleSysError) for Width or Height 0, or below -1.
void CheckPagePictureArguments(std::int32_t width, std::int32_t height);

bool GetOperaPageMetrics(IDispatch* native, const TRect& windowRect, const TRect& clientRect,
                         ComPtr<IDispatch>& scrollTarget, TpwPageMetrics& metrics);
bool GetFirefoxPageMetrics(IDispatch* native, const TRect& windowRect, const TRect& clientRect,
                           ComPtr<IDispatch>& scrollTarget, TpwPageMetrics& metrics);
bool GetIEPageMetrics(IDispatch* native, const TRect& windowRect, ComPtr<IDispatch>& scrollTarget,
                      TpwPageMetrics& metrics);

struct TpwPageTile {
  std::int32_t X = 0, Y = 0;
  bool operator==(const TpwPageTile&) const = default;
};

// The scroll positions in capture order (metrics' client size adjusted as above). Raises
// E_INVALIDARG for a zero client size.
std::vector<TpwPageTile> PlanPageTiles(TpwPageMetrics& metrics, std::int32_t clientX, std::int32_t clientY,
                                       std::int32_t width, std::int32_t height);

// Scrolls to each tile, takes a window picture, and pastes its client block (at Left + OffsetX,
// Top + OffsetY) into a 32-bit bitmap of the scroll size. A shot that fails (the callback answers
// an empty bitmap) ends it with an empty result.
using TpwScrollTo = std::function<void(std::int32_t x, std::int32_t y)>;
using TpwTakeShot = std::function<graphics::Bitmap()>;
graphics::Bitmap StitchPageTiles(TpwPageMetrics metrics, std::int32_t clientX, std::int32_t clientY, std::int32_t width,
                                 std::int32_t height, const TpwScrollTo& scrollTo, const TpwTakeShot& takeShot);
// The requested rectangle of a page bitmap (ClientX/ClientY -1 meaning 0; Width/Height -1 meaning
// to the edge), clipped to it; empty when nothing of it is left. The same rule as the windows
// manager's region operation, for a host without one.
graphics::Bitmap CropPagePicture(graphics::Bitmap page, std::int32_t clientX, std::int32_t clientY, std::int32_t width,
                                 std::int32_t height);
// StitchPageTiles, then CropPagePicture.
graphics::Bitmap StitchPagePicture(TpwPageMetrics metrics, std::int32_t clientX, std::int32_t clientY,
                                   std::int32_t width, std::int32_t height, const TpwScrollTo& scrollTo,
                                   const TpwTakeShot& takeShot);

// "scrollTo"(x, y) on the scroll target, both Integers by reference; a failure raises.
void ScrollPageTo(IDispatch* scrollTarget, std::int32_t x, std::int32_t y);

}  // namespace pw::web
