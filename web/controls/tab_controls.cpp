#include "web/controls/tab_controls.h"

#include "core/automation/dispatch_helpers.h"
#include "core/host/module_proxy.h"
#include "platform/automation/bstr.h"
#include "openapps/extensions/node_utils.h"
#include "platform/automation/out_params.h"
#include "platform/com/safecall.h"
#include "platform/kernel/clock.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "web/controls/control_values.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/page_search.h"
#include "web/navigation/web_helpers.h"

namespace pw::web {

std::int32_t TpwWebTabListControl::GetTabCount() {
  return ToInt(DispGetProperty(GetNativeObject().Get(), u"LineCount", OleVariant(0)), 0);
}

std::int32_t TpwWebTabListControl::GetFocusedTab() {
  return ToInt(DispGetProperty(GetNativeObject().Get(), u"LineSelected", OleVariant(-1)), -1);
}

WideString TpwWebTabListControl::GetTabCaption(std::int32_t index) {
  const OleVariant args[] = {OleVariant(index)};
  return ToText(DispCallMethod(GetNativeObject().Get(), u"LineText", args, OleVariant(u"")));
}

std::int32_t TpwWebTabListControl::FindTabIndex(const VARIANT& item) {
  const VARIANT& v = VariantDeref(item);
  if (v.vt == VT_BSTR) {
    const WideString pattern(BstrView(v.bstrVal));
    const std::int32_t count = GetTabCount();
    ComPtr<IcvRegExprModule> regex;
    GetRegExprModule(regex);
    for (std::int32_t i = 0; i < count; ++i) {
      WordBool matched = 0;
      const WideString caption = GetTabCaption(i);
      SafeCallCheck(regex->Match(pattern.c_str(), caption.c_str(), &matched));
      if (matched) return i;
    }
    return -1;
  }
  OleVariant n;
  OleCheck(VariantChangeType(n.Ptr(), &item, 0, VT_I4));
  return n.Get().lVal;
}

WideString TpwWebTabListControl::FormatTabForLog(const VARIANT& item, std::int32_t index) {
  const VARIANT& v = VariantDeref(item);
  if (v.vt != VT_BSTR) return ToText(OleVariant(item));
  if (index == -1) return u"'" + WideString(BstrView(v.bstrVal)) + u"'";
  return u"'" + GetTabCaption(index) + u"'";
}

void TpwWebTabListControl::ClickTabItem(const VARIANT& item) {
  auto native = GetNativeObject();
  if (!native) return;
  ReportActionTarget();
  ControlCentreAction();
  const std::int32_t index = FindTabIndex(item);
  if (index == -1) {
    PostLog(u"The tab page %s not found.", {FormatTabForLog(item, -1)}, u"", {}, TpwWebLogKind::Error);
    return;
  }
  PrepareLogEntry(u"The tab page '%s' is activated.", {GetTabCaption(index)}, u"", {}, TpwWebLogKind::Event);
  std::int32_t window = 0;
  TRect rect;
  if (!CallGetLineRect(native.Get(), index, true, window, rect)) {
    PostLog(u"Cannot perform the ClickTab operation.", {}, u"", {}, TpwWebLogKind::Error);
    return;
  }
  std::int32_t originX = 0, originY = 0;
  SafeCallCheck(WindowsManager()->ClientToScreen(window, &originX, &originY));
  const TPoint centrePoint = GetRectCenter(rect);
  const std::int32_t x = centrePoint.X - originX, y = centrePoint.Y - originY;
  auto actions = WindowActions(window);
  ReportActionPoint(window, x, y, 1);
  CallPointAction(actions.Get(), 0x2028001, x, y, 0);
  WriteLogEntry();
}

HRESULT TpwWebTabListControl::ClickTab(const VARIANT& item) {
  return SafeCall([&] { ClickTabItem(item); });
}
HRESULT TpwWebTabListControl::get_TabCount(std::int32_t* value) {
  return SafeCall([&] { SetOutValue(value, GetTabCount()); });
}
HRESULT TpwWebTabListControl::get_FocusedTab(std::int32_t* value) {
  return SafeCall([&] { SetOutValue(value, GetFocusedTab()); });
}
HRESULT TpwWebTabListControl::get_TabCaption(std::int32_t index, BSTR* value) {
  return SafeCall([&] { SetOut(value, GetTabCaption(index)); });
}

namespace {

constexpr std::uint64_t kTabCloseWaitMs = 1000;
constexpr DWORD kTabCloseStepMs = 20;

bool TabPresent(IDispatch* tab) {
  auto presence = QueryAs<IpwTabPresence>(tab);
  if (!presence) return false;  // a tab that cannot say counts as gone
  VARIANT_BOOL present = VARIANT_FALSE;
  SafeCallCheck(presence->IsPresent(&present));
  return present != VARIANT_FALSE;
}

}  // namespace

HRESULT TpwWebTabButtonControl::Close() {
  return SafeCall([&] {
    auto node = GetSliceNode();
    if (!node) return;
    IcvBaseManager* manager = manager_.Get();
    auto ex = QueryAs<IpwSysNodeEx>(node.Get());
    if (!ex) return;
    ComPtr<IUnknown> contextObject;
    SafeCallCheck(ex->GetContextObject(contextKey_, contextObject.Put()));
    auto context = QueryAs<IpwTabContext>(contextObject.Get());
    if (!context) return;
    ComPtr<IDispatch> tab;
    SafeCallCheck(context->GetTabObject(tab.Put()));
    if (!tab) return;

    std::int32_t point[3] = {0, 0, 0};  // X, Y, Window
    VARIANT args[4];
    for (auto& a : args) VariantInit(&a);
    args[3].vt = VT_BOOL, args[3].boolVal = VARIANT_TRUE;  // call order: Activate, X, Y, Window
    for (int i = 0; i < 3; ++i) {
      args[2 - i].vt = VT_BYREF | VT_I4;
      args[2 - i].byref = &point[i];
    }
    DISPID id = 0;
    const char16_t* name = u"GetCloseHitPoint";
    OleCheck(tab->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id));
    DISPPARAMS params{args, nullptr, 4, 0};
    VARIANT result;
    VariantInit(&result);
    OleCheck(tab->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr));
    OleVariant answer = OleVariant::Attach(result);
    OleVariant given;
    if (Failed(VariantChangeType(given.Ptr(), answer.Ptr(), 0, VT_BOOL)) || given.Get().boolVal == VARIANT_FALSE) {
      LogNodeMessage(manager, node.Get(), u"The tab page cannot be closed.", {},
                     u"The tab page is inactive or has no Close button.", {}, TpwWebLogKind::Error);
      return;
    }
    const std::int32_t x = point[0], y = point[1], window = point[2];
    if (auto sink = QueryAs<IpwActionPointSink>(GetActionPointSink(manager).Get())) {
      SafeCallCheck(sink->ReportPoint(window, x, y, 1));
    }
    CallPointAction(WindowActionsOf(manager, window).Get(), closeWithMiddleClick_ ? 0x2028002 : 0x2028001, x, y, 0);

    const std::uint64_t deadline = GetTickCount64() + kTabCloseWaitMs;
    bool present = true;
    do {
      SleepMs(kTabCloseStepMs);
      present = TabPresent(tab.Get());
    } while (present && GetTickCount64() < deadline && IsTestRunning(manager));
    if (present) {
      LogNodeMessage(manager, node.Get(), u"The tab page was not closed.", {}, u"", {}, TpwWebLogKind::Error);
    } else {
      LogNodeMessage(manager, node.Get(), u"The tab page was closed.", {}, u"", {}, TpwWebLogKind::Event);
    }
  });
}

}  // namespace pw::web
