#include "openapps/extensions/node_slice.h"

#include "openapps/extensions/node_utils.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"

namespace pw {

HRESULT TpwNodeSlice::AttachNode(IUnknown* node) {
  return SafeCall([&] {
    ComPtr<IpwNodeReference> reference;
    if (auto source = QueryAs<IpwNodeReference>(node)) {
      ComPtr<IUnknown> object;
      SafeCallCheck(source->Resolve(object.Put()));
      reference = QueryAs<IpwNodeReference>(object.Get());
    }
    {
      std::lock_guard guard(lock_);
      nodeRef_ = reference;
    }
    DoAttachNode(node);
  });
}

ComPtr<IpwSysNode> TpwNodeSlice::GetSliceNode() {
  ComPtr<IpwNodeReference> reference;
  {
    std::lock_guard guard(lock_);
    reference = nodeRef_;
  }
  return GetReferencedNode(reference.Get());
}

ComPtr<IpwNodeReference> TpwNodeSlice::NodeReference() {
  std::lock_guard guard(lock_);
  return nodeRef_;
}

bool TpwNodeSlice::Attached() {
  std::lock_guard guard(lock_);
  return static_cast<bool>(nodeRef_);
}

HRESULT TpwObjectDisconnected::GetTypeInfoCount(std::uint32_t* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT TpwObjectDisconnected::GetTypeInfo(std::uint32_t, LCID, ITypeInfo** typeInfo) {
  if (typeInfo) *typeInfo = nullptr;
  return E_INVALIDARG;
}

HRESULT TpwObjectDisconnected::GetIDsOfNames(const IID&, const char16_t* const*, std::uint32_t, LCID, DISPID*) {
  return RPC_E_DISCONNECTED;
}

HRESULT TpwObjectDisconnected::Invoke(DISPID, const IID&, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO* excepInfo,
                                      std::uint32_t*) {
  if (excepInfo) {
    *excepInfo = EXCEPINFO{};
    excepInfo->scode = RPC_E_DISCONNECTED;
    excepInfo->bstrDescription = SysAllocString(SysErrorMessage(static_cast<DWORD>(RPC_E_DISCONNECTED)));
  }
  return DISP_E_EXCEPTION;
}

}  // namespace pw
