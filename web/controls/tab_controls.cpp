#include "web/controls/tab_controls.h"

#include "core/automation/dispatch_helpers.h"
#include "core/host/module_proxy.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"

namespace pw::web {

namespace {

std::int32_t ToInt(const OleVariant& value, std::int32_t fallback) {
  OleVariant n;
  if (Failed(VariantChangeType(n.Ptr(), value.Ptr(), 0, VT_I4))) return fallback;
  return n.Get().lVal;
}

WideString ToText(const OleVariant& value) {
  OleVariant t;
  if (Failed(VariantChangeType(t.Ptr(), value.Ptr(), 0, VT_BSTR))) return {};
  return WideString(BstrView(t.Get().bstrVal));
}

}  // namespace

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

}  // namespace pw::web
