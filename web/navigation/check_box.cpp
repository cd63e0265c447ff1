#include "web/navigation/check_box.h"

#include "core/automation/dispatch_helpers.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "project/wait/wait_helper.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/web_log.h"

namespace pw::web {

namespace {

bool BoolMember(IUnknown* node, const char16_t* name, bool defaultValue) {
  auto d = DispatchOf(node);
  OleVariant v = DispGetProperty(d.Get(), name, OleVariant(defaultValue));
  try {
    return v.AsBool();
  } catch (const EOleSysError&) {
    return defaultValue;
  }
}

const char16_t* StateName(bool checked) { return checked ? u"checked" : u"unchecked"; }

}  // namespace

bool IsCheckedState(IUnknown* node, bool checked) {
  if (!NodeExists(node)) return true;
  return BoolMember(node, u"checked", false) == checked;
}

TpwWebCheckBoxControl::TpwWebCheckBoxControl(IcvBaseManager* manager)
    : AutoImplements(std::vector<IID>{IpwWebCheckBox::iid}), manager_(manager) {}

HRESULT TpwWebCheckBoxControl::ClickChecked(VARIANT_BOOL checkedArg) {
  return SafeCall([&] {
    const bool wanted = checkedArg != VARIANT_FALSE;
    auto node = GetSliceNode();
    if (!node) return;
    IcvBaseManager* manager = manager_.Get();
    if (!BoolMember(node.Get(), u"Enabled", true)) {
      LogNodeMessage(manager, node.Get(), kControlDisabledText, {}, u"", {}, TpwWebLogKind::Error);
      return;
    }
    const bool current = BoolMember(node.Get(), u"checked", false);
    if (current == wanted) {
      LogNodeMessage(manager, node.Get(), kAlreadyCheckedText, {StateName(current)}, u"", {}, TpwWebLogKind::Message);
      return;
    }
    {
      TpwZeroWaitTimeout zero(node.Get());
      const OleVariant args[] = {OleVariant(-1), OleVariant(-1), OleVariant(0)};
      DispInvoke(DispatchOf(node.Get()).Get(), u"Click", args);
    }
    if (!IsCheckedState(node.Get(), wanted)) {
      project::TpwWaitHelper wait(manager, -1, u"Waiting until the check box state changes.");
      while (wait.WaitStep())
        if (IsCheckedState(node.Get(), wanted)) break;
    }
    if (!IsCheckedState(node.Get(), wanted)) {
      LogNodeMessage(manager, node.Get(), kCheckBoxNotSetText, {}, u"Check box stays in the %s state.",
                     {StateName(current)}, TpwWebLogKind::Error);
    } else {
      LogNodeMessage(manager, node.Get(), kCheckBoxClickedText, {}, u"The control state has been changed to '%s'.",
                     {StateName(wanted)}, TpwWebLogKind::Event);
    }
  });
}

}  // namespace pw::web
