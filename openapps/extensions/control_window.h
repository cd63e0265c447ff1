// TpwOpenControlWindow: what the host's standard actions on a control ask of it (its window
// handle, its rectangle, whether a point can be reached), answered from the control's automation
// object (reached through its object context, renewed when it no longer holds) and, for the
// window, from the node tree when the object gives none. Plain calls: nothing raises out of them;
// a failure answers 0 or False. A cached handle that no longer names a window is never answered.
#pragma once

#include "core/com/interfaced_object.h"
#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"

namespace pw {

// Members of the host's control objects.
namespace control_members {
inline constexpr DISPID kVisible = 0x02000001;
inline constexpr DISPID kWidth = 0x02000004;
inline constexpr DISPID kHeight = 0x02000005;
inline constexpr DISPID kLeft = 0x02000006;
inline constexpr DISPID kTop = 0x02000007;
inline constexpr DISPID kEnabled = 0x02000008;
inline constexpr DISPID kWindowHandle = 0x02000009;
inline constexpr char16_t kCheckPointAccessible[] = u"CheckPointAccessible";
}  // namespace control_members

inline constexpr GUID kWindowsManagerService = MakeGuid("{463D5E7A-02B6-4BE5-A74C-2D885DC8D6BB}");

class TpwOpenControlWindow final : public Implements<TcvInterfacedObject, IpwWin32CtrlStdActionsWindow> {
 public:
  TpwOpenControlWindow(IcvBaseManager* host, IpwNodeReference* nodeRef, IpwObjectContext2* context);

  std::int32_t GetWindowHandle() override;
  VARIANT_BOOL GetControlRect(std::int32_t* left, std::int32_t* top, std::int32_t* right,
                              std::int32_t* bottom) override;
  VARIANT_BOOL IsPointAccessible(std::int32_t x, std::int32_t y) override;

  // The control's automation object; a context that no longer holds is renewed first. Raises
  // the failures of the context's calls.
  ComPtr<IDispatch> GetControlObject();
  // The window of the nearest ancestor window node, else the pivot window of the nearest
  // ancestor that has one; 0 when none.
  std::int32_t FindPivotWindow();

 private:
  bool GetCheckPointDispId(DISPID& id);
  std::int32_t WindowHandle();

  ComPtr<IcvBaseManager> host_;
  ComPtr<IpwNodeReference> nodeRef_;
  ComPtr<IpwObjectContext2> context_;
  std::int32_t windowHandle_ = 0;
  DISPID checkPointDispId_ = -1;  // -1 not looked up, -2 the look-up failed
};

}  // namespace pw
