#include "openapps/extensions/node_proxy.h"

#include "platform/com/safecall.h"

namespace pw {

template <class I, class F>
HRESULT TpwSysNodeProxy::Forward(F&& call) {
  return SafeCall([&] {
    ComPtr<IpwSysNode> node = GetTargetNode();
    if (!node) return;
    ComPtr<I> target = QueryAs<I>(node.Get());
    if (!target) return;  // a target without the extended interface: nothing to do
    SafeCallCheck(call(target.Get()));
  });
}

namespace {

template <class T>
bool Clear(T** out) {
  if (!out) return false;
  *out = nullptr;
  return true;
}

template <class T>
bool ClearValue(T* out) {
  if (!out) return false;
  *out = T{};
  return true;
}

}  // namespace

HRESULT TpwSysNodeProxy::QueryMissingInterface(const IID& riid, void** ppv) noexcept {
  ComPtr<IpwSysNode> target;
  try {
    target = GetTargetNode();
  } catch (...) {
    return E_NOINTERFACE;
  }
  if (!target) return E_NOINTERFACE;
  return target->QueryInterface(riid, ppv);
}

HRESULT TpwSysNodeProxy::GetTypeInfoCount(std::uint32_t* count) {
  if (count) *count = 0;
  HRESULT hr = E_FAIL;
  SafeCall([&] {
    if (auto target = GetTargetNode()) hr = target->GetTypeInfoCount(count);
  });
  return hr;
}

HRESULT TpwSysNodeProxy::GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** typeInfo) {
  if (typeInfo) *typeInfo = nullptr;
  HRESULT hr = E_FAIL;
  SafeCall([&] {
    if (auto target = GetTargetNode()) hr = target->GetTypeInfo(index, lcid, typeInfo);
  });
  return hr;
}

HRESULT TpwSysNodeProxy::GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                                       DISPID* dispIds) {
  HRESULT hr = TcvFreeMarshaledAutoIntfObject::GetIDsOfNames(riid, names, count, lcid, dispIds);
  if (Succeeded(hr)) return hr;
  ComPtr<IpwSysNode> target;
  SafeCall([&] { target = GetTargetNode(); });
  return target ? target->GetIDsOfNames(riid, names, count, lcid, dispIds) : hr;
}

HRESULT TpwSysNodeProxy::Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                VARIANT* result, EXCEPINFO* excepInfo, std::uint32_t* argErr) {
  HRESULT hr = TcvFreeMarshaledAutoIntfObject::Invoke(dispId, riid, lcid, flags, params, result, excepInfo, argErr);
  if (hr != DISP_E_MEMBERNOTFOUND) return hr;
  ComPtr<IpwSysNode> target;
  SafeCall([&] { target = GetTargetNode(); });
  return target ? target->Invoke(dispId, riid, lcid, flags, params, result, excepInfo, argErr) : hr;
}

HRESULT TpwSysNodeProxy::GetExtensionCount(std::int32_t* count) {
  if (!ClearValue(count)) return E_POINTER;
  return Forward<IpwSysNode>([&](IpwSysNode* t) { return t->GetExtensionCount(count); });
}
HRESULT TpwSysNodeProxy::GetExtension(std::int32_t index, IpwSysNode** extension) {
  if (!Clear(extension)) return E_POINTER;
  return Forward<IpwSysNode>([&](IpwSysNode* t) { return t->GetExtension(index, extension); });
}
HRESULT TpwSysNodeProxy::GetParent(IpwSysNode** parent) {
  if (!Clear(parent)) return E_POINTER;
  return Forward<IpwSysNode>([&](IpwSysNode* t) { return t->GetParent(parent); });
}

#define PW_PROXY_RESERVED(n)                                                     \
  HRESULT TpwSysNodeProxy::Reserved##n() {                                       \
    return Forward<IpwSysNode>([&](IpwSysNode* t) { return t->Reserved##n(); }); \
  }
PW_PROXY_RESERVED(9)
PW_PROXY_RESERVED(11)
PW_PROXY_RESERVED(12)
PW_PROXY_RESERVED(14)
PW_PROXY_RESERVED(15)
PW_PROXY_RESERVED(17)
PW_PROXY_RESERVED(18)
PW_PROXY_RESERVED(21)
PW_PROXY_RESERVED(22)
PW_PROXY_RESERVED(23)
PW_PROXY_RESERVED(24)
#undef PW_PROXY_RESERVED

HRESULT TpwSysNodeProxy::NodeExists(VARIANT_BOOL* exists) {
  if (!ClearValue(exists)) return E_POINTER;
  return Forward<IpwSysNode>([&](IpwSysNode* t) { return t->NodeExists(exists); });
}
HRESULT TpwSysNodeProxy::GetOwnObject(IDispatch** object) {
  if (!Clear(object)) return E_POINTER;
  return Forward<IpwSysNode>([&](IpwSysNode* t) { return t->GetOwnObject(object); });
}
HRESULT TpwSysNodeProxy::Update() {
  return Forward<IpwSysNode>([&](IpwSysNode* t) { return t->Update(); });
}
HRESULT TpwSysNodeProxy::GetFullName(BSTR* name) {
  if (!Clear(name)) return E_POINTER;
  return Forward<IpwSysNode>([&](IpwSysNode* t) { return t->GetFullName(name); });
}

HRESULT TpwSysNodeProxy::Reserved28() {
  return Forward<IpwSysNodeEx>([&](IpwSysNodeEx* t) { return t->Reserved28(); });
}

HRESULT TpwSysNodeProxy::GetPropertyValue(const GUID& key, VARIANT* value) {
  if (!value) return E_POINTER;
  VariantInit(value);
  value->vt = VT_NULL;
  return Forward<IpwSysNodeEx>([&](IpwSysNodeEx* t) {
    VariantClear(value);
    return t->GetPropertyValue(key, value);
  });
}
HRESULT TpwSysNodeProxy::GetMappedNameElement(IcvSyntaxCodeInvokeExpression** element) {
  if (!Clear(element)) return E_POINTER;
  return Forward<IpwSysNodeEx>([&](IpwSysNodeEx* t) { return t->GetMappedNameElement(element); });
}
HRESULT TpwSysNodeProxy::GetChildren(IpwSysNodeIterator** children) {
  if (!Clear(children)) return E_POINTER;
  return Forward<IpwSysNodeEx>([&](IpwSysNodeEx* t) { return t->GetChildren(children); });
}
HRESULT TpwSysNodeProxy::GetNodeKey(GUID* key) {
  if (!ClearValue(key)) return E_POINTER;
  return Forward<IpwSysNodeEx>([&](IpwSysNodeEx* t) { return t->GetNodeKey(key); });
}
HRESULT TpwSysNodeProxy::GetContextObject(const GUID& key, IUnknown** object) {
  if (!Clear(object)) return E_POINTER;
  return Forward<IpwSysNodeEx>([&](IpwSysNodeEx* t) { return t->GetContextObject(key, object); });
}
HRESULT TpwSysNodeProxy::GetChildCount(std::int32_t* count) {
  if (!ClearValue(count)) return E_POINTER;
  return Forward<IpwSysNodeEx>([&](IpwSysNodeEx* t) { return t->GetChildCount(count); });
}
HRESULT TpwSysNodeProxy::Refresh() {
  return Forward<IpwSysNodeEx>([&](IpwSysNodeEx* t) { return t->Refresh(); });
}
HRESULT TpwSysNodeProxy::GetObjectTypeKey(GUID* typeKey) {
  if (!ClearValue(typeKey)) return E_POINTER;
  return Forward<IpwSysNodeEx>([&](IpwSysNodeEx* t) { return t->GetObjectTypeKey(typeKey); });
}

HRESULT TpwSysNodeProxy::GetKey(GUID* key) {
  if (!ClearValue(key)) return E_POINTER;
  return SafeCall([&] {
    ComPtr<IpwSysNode> node = GetTargetNode();
    if (auto item = QueryAs<IcvKeyItem>(node.Get())) return static_cast<void>(SafeCallCheck(item->GetKey(key)));
    OleCheck(CreateGuid(*key));
  });
}

}  // namespace pw
