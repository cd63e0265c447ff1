// TpwWebPagePictureMethod (IpwWebPagePicture): the script method PagePicture of page nodes.
//
// PagePicture(ClientX, ClientY, Width, Height), each optional, -1 meaning not given:
//   1. Width or Height 0 or below -1: E_INVALIDARG, before anything else happens.
//   2. A pause of 500 ms on the clock (the page settles), then the windows manager's update
//      (IcvWindowsManagerEx, when the host has it; a failure raises).
//   3. Without a node the answer is nil. From here on every early end falls back to the node's
//      own late-bound "Picture"(ClientX, ClientY, Width, Height) (Integers by reference):
//      no window node (the first node up from the page that answers IpwSysObjectWindow, else the
//      node of the page's pivot window), a window handle 0, no metrics routine that recognises
//      the page (GetOperaPageMetrics, GetIEPageMetrics, then GetFirefoxPageMetrics, over the node's native object), a
//      window picture that cannot be taken, or a page beyond the bitmap cap.
//   4. The window is activated, the page stitched from one window picture per tile
//      (StitchPageTiles) and cropped to the requested rectangle by the windows manager's region
//      operation (a failure, such as a rectangle outside the page, falls back; a host without the
//      extended interface gets CropPagePicture); the result is a new picture object that owns the
//      32-bit bitmap. The page stays scrolled to the last tile.
#pragma once

#include "interfaces/pwWebTesting.h"
#include "openapps/extensions/node_slice.h"

namespace pw::web {

inline constexpr DWORD kPagePicturePauseMs = 500;

class TpwWebPagePictureMethod final : public AutoImplements<TpwNodeSlice, IpwWebPagePicture> {
 public:
  explicit TpwWebPagePictureMethod(IcvBaseManager* manager);
  HRESULT PagePicture(const VARIANT& clientX, const VARIANT& clientY, const VARIANT& width, const VARIANT& height,
                      IDispatch** value) override;

 private:
  // The stitched picture; nil when the page cannot be captured this way.
  ComPtr<IDispatch> Capture(IpwSysNode* node, std::int32_t clientX, std::int32_t clientY, std::int32_t width,
                            std::int32_t height);

  ComPtr<IcvBaseManager> manager_;
  ComPtr<IcvWindowsManager> windows_;
};

}  // namespace pw::web
