#include "web/controls/tab_controls.h"

#include "core/automation/dispatch_helpers.h"
#include "core/host/module_proxy.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "web/controls/control_values.h"
#include "web/controls/pending_nav_helpers.h"
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

void TpwWebTabListControl::ClickTab(const VARIANT& item) {
  auto native = GetNativeObject();
  if (!native) return;
  pending::ReportActionTarget(Manager(), GetSliceNode().Get());
  const OleVariant centre[] = {OleVariant(-1), OleVariant(-1)};
  DispCallMethodByID(native.Get(), 0x0200000B, centre, OleVariant());
  const std::int32_t index = FindTabIndex(item);
  if (index == -1) {
    PostLog(u"The tab page %s not found.", {FormatTabForLog(item, -1)}, u"", {}, TpwWebLogKind::Error);
    return;
  }
  PrepareLogEntry(u"The tab page '%s' is activated.", {GetTabCaption(index)}, u"", {}, TpwWebLogKind::Event);
  std::int32_t values[5] = {};
  VARIANT args[7];
  for (auto& a : args) VariantInit(&a);
  args[6].vt = VT_I4, args[6].lVal = index;  // call order: Index, Activate, Window, Left, Top, Right, Bottom
  args[5].vt = VT_BOOL, args[5].boolVal = VARIANT_TRUE;
  for (int i = 0; i < 5; ++i) {
    args[4 - i].vt = VT_BYREF | VT_I4;
    args[4 - i].byref = &values[i];
  }
  DISPPARAMS params{args, nullptr, 7, 0};
  VARIANT result;
  VariantInit(&result);
  OleCheck(native->Invoke(0x9001, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr));
  OleVariant answer = OleVariant::Attach(result);
  OleVariant given;
  if (Failed(VariantChangeType(given.Ptr(), answer.Ptr(), 0, VT_BOOL)) || given.Get().boolVal == VARIANT_FALSE) {
    PostLog(u"Cannot perform the ClickTab operation.", {}, u"", {}, TpwWebLogKind::Error);
    return;
  }
  const std::int32_t window = values[0];
  ComPtr<IUnknown> service;
  SafeCallCheck(Manager()->GetService(MakeGuid("{463D5E7A-02B6-4BE5-A74C-2D885DC8D6BB}"), service.Put()));
  auto windows = QueryAs<IcvWindowsManager>(service.Get());
  if (!windows) throw EOleSysError(u"The host has no windows manager.", E_NOINTERFACE);
  std::int32_t originX = 0, originY = 0;
  SafeCallCheck(windows->ClientToScreen(window, &originX, &originY));
  const TPoint centrePoint = GetRectCenter(TRect{values[1], values[2], values[3], values[4]});
  const std::int32_t x = centrePoint.X - originX, y = centrePoint.Y - originY;
  SafeCallCheck(Manager()->GetService(MakeGuid("{10989D82-BE71-4BD3-BE80-30B785CD1009}"), service.Put()));
  auto input = QueryAs<IpwInputService>(service.Get());
  if (!input) throw EOleSysError(u"The host has no input service.", E_NOINTERFACE);
  ComPtr<IDispatch> actions;
  SafeCallCheck(input->GetWindowObject(window, actions.Put()));
  if (!actions) throw EOleSysError(u"The host gave no actions object for the window.", E_FAIL);
  pending::ReportActionPoint(Manager(), window, x, y, 1);
  VARIANT clickArgs[3];
  for (auto& a : clickArgs) VariantInit(&a);
  clickArgs[2].vt = VT_I4, clickArgs[2].lVal = x;
  clickArgs[1].vt = VT_I4, clickArgs[1].lVal = y;
  clickArgs[0].vt = VT_I4, clickArgs[0].lVal = 0;
  DISPPARAMS clickParams{clickArgs, nullptr, 3, 0};
  OleCheck(actions->Invoke(0x2028001, GUID_NULL, 0, DISPATCH_METHOD, &clickParams, nullptr, nullptr, nullptr));
  WriteLogEntry();
}

}  // namespace pw::web
