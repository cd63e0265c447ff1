// Slices of windowed controls. TpwCustomControl keeps the host, the control's object context and
// its window helper (made on the first attach), checks that the control can be used before an
// action, and writes what the action prepared to the test log after it. TpwGenericButton clicks a
// button or radio button.
//
// Log entries of a control: only while the slice is attached; the details end with "Tested
// object:" and the control's full name. Kinds: 2 an error, 3 a warning, 4 an action, written as a
// message with the prefix "[Event] ".
#pragma once

#include <vector>

#include "interfaces/pwWebTesting.h"
#include "openapps/extensions/control_window.h"
#include "openapps/extensions/node_slice.h"

namespace pw {

class TpwCustomControl : public TpwNodeSlice {
 public:
  enum EntryKind : std::int32_t { kEntryError = 2, kEntryWarning = 3, kEntryAction = 4 };
  struct Entry {
    EntryKind kind;
    WideString message, details;
  };

  IpwWin32CtrlStdActionsWindow* ControlWindow() const { return controlWindow_.Get(); }
  // The control's automation object; a TpwObjectDisconnected when the context gives none.
  ComPtr<IDispatch> GetControlObject();

 protected:
  TpwCustomControl(IcvBaseManager* host, IpwObjectContext2* context, std::vector<IID> iids);
  void DoAttachNode(IUnknown* node) override;
  // The dispatch interfaces the slice serves (none here).
  virtual std::vector<IID> GetInterfaceGuids() { return {}; }

  // Enabled and visible: a disabled control prepares the error and answers False; an invisible
  // one prepares the warning and answers True.
  bool CheckUsable(IDispatch* object);
  void PrepareEntry(EntryKind kind, WideStringView message, WideStringView details = {});
  // Writes the prepared entries to the test log (and forgets them).
  void WriteEntries();
  IcvBaseManager* Host() const { return host_.Get(); }

 private:
  ComPtr<IcvBaseManager> host_;
  ComPtr<IpwObjectContext2> context_;
  ComPtr<IpwWin32CtrlStdActionsWindow> controlWindow_;
  std::vector<Entry> prepared_;
};

inline constexpr char16_t kControlDisabledText[] = u"Unable to perform the action because the control is disabled.";
inline constexpr char16_t kControlInvisibleText[] =
    u"The action may be performed incorrectly, because the control is not visible.";

class TpwGenericButton final : public AutoImplements<TpwCustomControl, IpwGenericButton> {
 public:
  TpwGenericButton(IcvBaseManager* host, IpwObjectContext2* context, bool isRadio)
      : AutoImplements(host, context, std::vector<IID>{IpwGenericButton::iid}), isRadio_(isRadio) {}

  // Checks, clicks the control object's "Click"(X, Y, 0) (the centre of a button, the middle of
  // a radio button's box), then writes the entries. The control's wait time-out is 0 during
  // the click and restored after it, also when it fails.
  HRESULT Click() override;
  // A radio button is clicked in the middle of its box, any other button in its centre.
  bool IsRadio() const { return isRadio_; }

 protected:
  std::vector<IID> GetInterfaceGuids() override { return {IpwGenericButton::iid}; }

 private:
  bool isRadio_;
};

}  // namespace pw
