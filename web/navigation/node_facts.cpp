#include "web/navigation/node_facts.h"

#include <vector>

#include "core/automation/dispatch_helpers.h"
#include "core/host/host_settings.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"

namespace pw::web {

ComPtr<IDispatch> DispatchOf(IUnknown* object) { return object ? QueryAs<IDispatch>(object) : nullptr; }

bool NodeExists(IUnknown* node) {
  auto d = DispatchOf(node);
  if (!d) return false;
  OleVariant v = DispGetProperty(d.Get(), u"Exists", OleVariant(true));
  try {
    return v.AsBool();
  } catch (const EOleSysError&) {
    return false;
  }
}

WideString NodeText(IUnknown* node, const char16_t* name) {
  auto d = DispatchOf(node);
  if (!d) return {};
  OleVariant v = DispGetProperty(d.Get(), name, OleVariant());
  if (v.Get().vt == VT_EMPTY || v.Get().vt == VT_NULL) return {};
  try {
    return v.AsString();
  } catch (const EOleSysError&) {
    return {};
  }
}

WideString GetNodeObjectType(IUnknown* node) { return NodeText(node, u"ObjectType"); }

bool NodeIsVisible(IUnknown* node, bool defaultValue) {
  auto d = DispatchOf(node);
  if (!d) return defaultValue;
  OleVariant v = DispGetProperty(d.Get(), u"Visible", OleVariant(defaultValue));
  return v.Get().vt == VT_BOOL ? v.Get().boolVal != VARIANT_FALSE : defaultValue;
}

OleVariant DispInvoke(IDispatch* object, const char16_t* name, std::span<const OleVariant> args, WORD flags) {
  if (!object) throw EOleSysError(u"No object to call " + WideString(name), E_POINTER);
  DISPID id = 0;
  const char16_t* names[] = {name};
  HRESULT hr = object->GetIDsOfNames(GUID_NULL, names, 1, 0, &id);
  if (Failed(hr)) throw EOleSysError(u"Unknown name: " + WideString(name), hr);
  return DispInvokeId(object, id, name, args, flags);
}

OleVariant DispInvokeId(IDispatch* object, DISPID id, const char16_t* name, std::span<const OleVariant> args,
                        WORD flags) {
  if (!object) throw EOleSysError(u"No object to call " + WideString(name), E_POINTER);
  HRESULT hr = S_OK;
  std::vector<std::int32_t> ints(args.size());
  std::vector<VARIANT> slots(args.size());
  for (auto& s : slots) VariantInit(&s);
  struct Cleanup {
    std::vector<VARIANT>& v;
    ~Cleanup() {
      for (auto& s : v) VariantClear(&s);
    }
  } cleanup{slots};
  for (std::size_t i = 0; i < args.size(); ++i) {
    VARIANT& slot = slots[args.size() - 1 - i];  // the callee reads the last slot first
    if (args[i].Get().vt == VT_I4) {
      ints[i] = args[i].Get().lVal;
      slot.vt = VT_BYREF | VT_I4;
      slot.byref = &ints[i];
    } else {
      OleCheck(VariantCopy(&slot, &args[i].Get()));
    }
  }
  DISPPARAMS params{slots.empty() ? nullptr : slots.data(), nullptr, static_cast<std::uint32_t>(slots.size()), 0};
  OleVariant result;
  EXCEPINFO info{};
  hr = object->Invoke(id, GUID_NULL, 0, flags, &params, result.Put(), &info, nullptr);
  // The by-reference integers are not VARIANT-owned: detach them before the cleanup clears.
  for (auto& s : slots)
    if (s.vt == (VT_BYREF | VT_I4)) s.vt = VT_EMPTY;
  if (hr == DISP_E_EXCEPTION) {
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    WideString message = info.bstrDescription ? WideString(info.bstrDescription) : WideString();
    HRESULT code = info.scode ? info.scode : E_FAIL;
    ClearExcepInfo(info);
    throw EOleException(message, code, {}, {}, 0);
  }
  if (Failed(hr)) throw EOleSysError(u"The call of " + WideString(name) + u" failed", hr);
  return result;
}

ComPtr<IpwSysNode> ParentOf(IUnknown* node) {
  auto n = QueryAs<IpwSysNode>(node);
  if (!n) return nullptr;
  ComPtr<IpwSysNode> parent;
  SafeCallCheck(n->GetParent(parent.Put()));
  return parent;
}

ComPtr<IpwSysNode> ReferencedNodeOf(IUnknown* node) {
  ComPtr<IUnknown> at(node);
  for (int hop = 0; hop < 2; ++hop) {
    auto reference = QueryAs<IpwNodeReference>(at.Get());
    if (!reference) return nullptr;
    ComPtr<IUnknown> next;
    SafeCallCheck(reference->Resolve(next.Put()));
    if (auto found = QueryAs<IpwSysNode>(next.Get())) return found;
    at = next;
  }
  return nullptr;
}

bool SameObject(IUnknown* a, IUnknown* b) { return QueryAs<IUnknown>(a).Get() == QueryAs<IUnknown>(b).Get(); }

std::int32_t OptionalIntArgument(const VARIANT& v, std::int32_t missing) {
  const VARIANT* at = &v;
  while (at->vt == (VT_BYREF | VT_VARIANT) && at->pvarVal) at = at->pvarVal;
  if (at->vt == VT_EMPTY || at->vt == VT_ERROR || at->vt == VT_NULL) return missing;
  OleVariant copy;
  OleCheck(VariantCopyInd(copy.Put(), at));
  return copy.AsInt();
}

std::int32_t IntSetting(IcvBaseManager* manager, const GUID& key, std::int32_t missing) {
  OleVariant v = GetSettingValue(manager, key);
  return v.Get().vt == VT_EMPTY ? missing : v.AsInt();
}

TpwZeroWaitTimeout::TpwZeroWaitTimeout(IUnknown* node) : value_(QueryAs<IpwWaitTimeoutValue>(node)) {
  if (!value_) return;
  SafeCallCheck(value_->GetValue(&saved_));
  SafeCallCheck(value_->SetValue(0));
}

TpwZeroWaitTimeout::~TpwZeroWaitTimeout() {
  if (value_) value_->SetValue(saved_);
}

}  // namespace pw::web
