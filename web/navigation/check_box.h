// TpwWebCheckBoxControl: the slice that gives a check-box element ClickChecked (IpwWebCheckBox).
//
// ClickChecked (Checked): nothing without a node. A box whose "Enabled" is False: the error
// "Unable to perform the action because the control is disabled.". A box already in the wanted
// state ("checked", default False): the message "The check box is already %s." and no click.
// Otherwise a click at its centre ("Click"(-1, -1, 0), its wait time-out 0 meanwhile and put
// back after, also when the click fails), then a wait (the default wait time-out, 50 ms steps,
// "Waiting until the check box state changes.") until the state is the wanted one or the box is
// gone (a box that vanished counts as set). Then the event "The check box was clicked with the
// left mouse button." ("The control state has been changed to '%s'.") or the error "The check
// box was clicked, but the specified state was not set up." ("Check box stays in the %s
// state."). Entries carry the box's full name; a failing click is the call's failure.
#pragma once

#include "interfaces/pwWebTesting.h"
#include "openapps/extensions/node_slice.h"

namespace pw::web {

inline constexpr char16_t kControlDisabledText[] = u"Unable to perform the action because the control is disabled.";
inline constexpr char16_t kAlreadyCheckedText[] = u"The check box is already %s.";
inline constexpr char16_t kCheckBoxClickedText[] = u"The check box was clicked with the left mouse button.";
inline constexpr char16_t kCheckBoxNotSetText[] = u"The check box was clicked, but the specified state was not set up.";

class TpwWebCheckBoxControl final : public AutoImplements<TpwNodeSlice, IpwWebCheckBox> {
 public:
  explicit TpwWebCheckBoxControl(IcvBaseManager* manager);
  HRESULT ClickChecked(VARIANT_BOOL checked) override;

 private:
  ComPtr<IcvBaseManager> manager_;
};

// True when the node is gone or its "checked" equals Checked.
bool IsCheckedState(IUnknown* node, bool checked);

}  // namespace pw::web
