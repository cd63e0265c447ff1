#include "web/controls/edit_control.h"

#include <span>
#include <vector>

#include "core/automation/dispatch_helpers.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "web/navigation/node_facts.h"

namespace pw::web {

namespace {

// A method by name with its arguments by value; what the callee raised is raised.
void CallByValue(IDispatch* object, const char16_t* name, std::span<const OleVariant> args) {
  DISPID id = 0;
  OleCheck(object->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id));
  std::vector<VARIANT> reversed(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) reversed[args.size() - 1 - i] = args[i].Get();
  DISPPARAMS params{reversed.data(), nullptr, static_cast<std::uint32_t>(args.size()), 0};
  EXCEPINFO info{};
  const HRESULT hr = object->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &params, nullptr, &info, nullptr);
  if (hr == DISP_E_EXCEPTION) {
    const WideString text(BstrView(info.bstrDescription));
    const HRESULT code = info.scode ? info.scode : E_FAIL;
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    throw EOleSysError(text.empty() ? u"The call failed." : text, code);
  }
  OleCheck(hr);
}

}  // namespace

HRESULT TpwWebIE8EditControl::PostKeys(BSTR keys) {
  return SafeCall([&] {
    auto node = GetSliceNode();
    if (!node) return;
    auto element = DispatchOf(node.Get());
    if (!element) throw EOleSysError(u"The edit's node has no script members.", E_NOINTERFACE);
    OleVariant parent = DispInvoke(element.Get(), u"Parent", {}, DISPATCH_PROPERTYGET);
    const VARIANT& p = VariantDeref(parent.Get());
    if (p.vt != VT_DISPATCH || !p.pdispVal) throw EOleSysError(u"The edit has no parent to hover.", E_FAIL);
    const OleVariant corner[] = {OleVariant(0), OleVariant(0)};
    CallByValue(p.pdispVal, u"HoverMouse", corner);
    const OleVariant text[] = {OleVariant(WideString(BstrView(keys)))};
    CallByValue(element.Get(), u"Keys", text);
  });
}

}  // namespace pw::web
