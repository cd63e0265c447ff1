// The host's input service (IpwInputService): the actions object of a window. Its members act at
// a point of the window's client area (ClientX, ClientY; -1 for either: the centre of the client
// area) with a modifier word (0x2000 Shift, 0x4000 Control, 0x8000 Alt) held:
//   Click, ClickM, ClickR, DblClick, DblClickM, DblClickR (ClientX, ClientY, Shift), by name or by DISPID
//   (kActionClick ...); HoverMouse (ClientX, ClientY) moves the mouse there; Keys (a key string,
//   keys.h) types into what has the focus.
// On a window of a tested browser's window tree the action is the page's own input at that
// viewport point; on the drop-down list window of a one-line select (browsers.h) a click chooses
// the item under the point; on any other window it is only recorded (there is no window system
// here). Every action is recorded, in order; a refused key string records nothing and types
// nothing. Keys with [F4] to a browser's frame window (its address bar, which a tested browser
// does not have) fail with E_NOTIMPL and type nothing.
// The action object of a test object in a window is the window's actions object (the key only
// names what is acted on).
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "host/browser/objects/browsers.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::host {

inline constexpr DISPID kActionClick = 0x2028001;
inline constexpr DISPID kActionClickM = 0x2028002;
inline constexpr DISPID kActionClickR = 0x2028003;
inline constexpr DISPID kActionDblClick = 0x2028004;
inline constexpr DISPID kActionDblClickM = 0x2028005;
inline constexpr DISPID kActionDblClickR = 0x2028006;
inline constexpr DISPID kActionHoverMouse = 0x2028010;
inline constexpr DISPID kActionKeys = 0x2028011;

struct InputAction {
  std::int32_t window = 0;
  DISPID action = 0;
  std::int32_t x = 0, y = 0, shift = 0;
  std::u16string keys = {};  // for Keys
  bool operator==(const InputAction&) const = default;
};

// The host's modifier word as the engine's modifier bits (keys.h).
int EngineModifiers(std::int32_t shift);
// Performs an action on a window (not recorded); a refused key string does nothing. Throws
// EOleSysError with the engine's text when the page fails.
void PerformInputAction(TBrowsers& browsers, const InputAction& action);
// The number of arguments of an action (Keys 1, HoverMouse 2, the clicks 3).
std::uint32_t InputActionArgumentCount(DISPID action);

class TInputService final : public Implements<ComObject, IpwInputService> {
 public:
  explicit TInputService(TBrowsers& browsers) : browsers_(browsers) {}
  HRESULT GetWindowObject(std::int32_t window, IDispatch** actions) override;
  // The window's actions object; the (key, window) pairs asked for are kept in order.
  HRESULT GetActionObject(const GUID& key, std::int32_t window, IDispatch** actions) override;
  std::vector<std::pair<GUID, std::int32_t>> ActionObjectRequests() const;
  std::vector<InputAction> Actions() const;
  void Record(const InputAction& action);
  TBrowsers& Browsers() { return browsers_; }

 private:
  TBrowsers& browsers_;
  mutable std::mutex mutex_;
  std::vector<InputAction> actions_;
  std::vector<std::pair<GUID, std::int32_t>> actionObjectRequests_;
};

}  // namespace pw::host
