// TpwSysNodeProxy: an apartment-agile stand-in for a node of the host's object tree. A subclass
// supplies the node it stands for (GetTargetNode, asked again at every call, nil when none) and
// the dual interfaces of its own script members; the proxy forwards every node method to the
// target, and every late-bound name and DISPID that its own type information does not know to
// the target's IDispatch. Interfaces it lacks are asked of the target.
//
//   class TBrowserProxy : public AutoImplements<TpwSysNodeProxy, IpwBrowser> {
//     TBrowserProxy() : AutoImplements(std::vector<IID>{IpwBrowser::iid}) {}
//     ComPtr<IpwSysNode> GetTargetNode() override { ... }
//   };
#pragma once

#include "core/com/agile_objects.h"
#include "interfaces/ProbewrightHost.h"
#include "interfaces/pwWebTesting.h"

namespace pw {

class TpwSysNodeProxy
    : public AutoImplements<TcvFreeMarshaledAutoIntfObject, IpwSysNodeProxyMarker, IpwSysNodeEx, IcvKeyItem> {
 public:
  // The node the proxy stands for; nil when there is none (now).
  virtual ComPtr<IpwSysNode> GetTargetNode() = 0;

  // The target's; E_FAIL without a target.
  HRESULT GetTypeInfoCount(std::uint32_t* count) override;
  HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** typeInfo) override;
  // Own names first, then the target's.
  HRESULT GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                        DISPID* dispIds) override;
  // A DISPID of the proxy's own members is answered by them (their errors included); any other
  // goes to the target unchanged.
  HRESULT Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override;

  // IpwSysNode and IpwSysNodeEx: out values are cleared (variants Null); without a target the
  // call succeeds with them; otherwise the target answers.
  HRESULT GetExtensionCount(std::int32_t* count) override;
  HRESULT GetExtension(std::int32_t index, IpwSysNode** extension) override;
  HRESULT Reserved9() override;
  HRESULT GetParent(IpwSysNode** parent) override;
  HRESULT Reserved11() override;
  HRESULT Reserved12() override;
  HRESULT NodeExists(VARIANT_BOOL* exists) override;
  HRESULT Reserved14() override;
  HRESULT Reserved15() override;
  HRESULT GetOwnObject(IDispatch** object) override;
  HRESULT Reserved17() override;
  HRESULT Reserved18() override;
  HRESULT Update() override;
  HRESULT GetFullName(BSTR* name) override;
  HRESULT Reserved21() override;
  HRESULT Reserved22() override;
  HRESULT Reserved23() override;
  HRESULT Reserved24() override;
  HRESULT GetPropertyValue(const GUID& key, VARIANT* value) override;
  HRESULT GetMappedNameElement(IcvSyntaxCodeInvokeExpression** element) override;
  HRESULT GetChildren(IpwSysNodeIterator** children) override;
  HRESULT Reserved28() override;
  HRESULT GetNodeKey(GUID* key) override;
  HRESULT GetContextObject(const GUID& key, IUnknown** object) override;
  HRESULT GetChildCount(std::int32_t* count) override;
  HRESULT Refresh() override;
  HRESULT GetObjectTypeKey(GUID* typeKey) override;
  // IcvKeyItem: the target's key; without a target (or one without a key) a new GUID every time.
  HRESULT GetKey(GUID* key) override;

 protected:
  explicit TpwSysNodeProxy(std::vector<IID> iids = {}) : AutoImplements(std::move(iids)) {}
  // After the proxy's own interfaces, the target's (the caller then holds the target's
  // interface).
  HRESULT QueryMissingInterface(const IID& riid, void** ppv) noexcept override;

 private:
  template <class I, class F>
  HRESULT Forward(F&& call);
};

}  // namespace pw
