// The host's input service (IpwInputService): the actions object of a window. Its members click
// at a point of the window's client area with a modifier word (0x2000 Shift, 0x4000 Control,
// 0x8000 Alt) held; they are answered by DISPID (kActionClick ...), each with the Integers
// ClientX, ClientY and Shift. On a tested browser's window the click is the page's own input at
// that point; on any other window it is only recorded (there is no window system here). Every
// click is recorded, in order. The action object of a test object in a window is the window's
// actions object (the key only names what is acted on).
#pragma once

#include <mutex>
#include <vector>

#include "host/browser/objects/browsers.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::host {

inline constexpr DISPID kActionClick = 0x2028001;
inline constexpr DISPID kActionClickM = 0x2028002;
inline constexpr DISPID kActionClickR = 0x2028003;
inline constexpr DISPID kActionDblClick = 0x2028004;
inline constexpr DISPID kActionDblClickR = 0x2028006;

struct InputAction {
  std::int32_t window = 0;
  DISPID action = 0;
  std::int32_t x = 0, y = 0, shift = 0;
  bool operator==(const InputAction&) const = default;
};

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
