// TpwNodeSlice: the base of every slice, the automation object a builder attaches to a node to
// add script members to it. The node owns its slices; a slice keeps only the node's weak
// reference object and resolves it at each use (GetSliceNode: nil when not attached or when the
// node is gone). Slices are apartment-agile.
//
//   class TpwX : public AutoImplements<TpwNodeSlice, IpwX> {
//     TpwX() : AutoImplements(std::vector<IID>{IpwX::iid}) {}
//   };
//
// TpwObjectDisconnected stands in for a control object that no longer exists: late-bound calls
// on it fail with RPC_E_DISCONNECTED.
#pragma once

#include <mutex>

#include "core/com/agile_objects.h"
#include "interfaces/ProbewrightHost.h"

namespace pw {

class TpwNodeSlice : public AutoImplements<TcvFreeMarshaledAutoIntfObject, IpwNodeSlice> {
 public:
  // Drops the reference kept so far; keeps the node's reference object when Node offers one
  // (a node without IpwNodeReference leaves the slice unattached). Subclasses call it first.
  HRESULT AttachNode(IUnknown* node) override;
  // The node (a strong reference for the caller); nil when not attached or the node is gone.
  ComPtr<IpwSysNode> GetSliceNode();
  bool Attached();

 protected:
  explicit TpwNodeSlice(std::vector<IID> iids) : AutoImplements(std::move(iids)) {}
  virtual void DoAttachNode(IUnknown*) {}
  // The node's reference object; nil when not attached.
  ComPtr<IpwNodeReference> NodeReference();

 private:
  std::mutex lock_;  // the host may attach while another thread reads
  ComPtr<IpwNodeReference> nodeRef_;
};

// The text of a node that cannot be found any more.
inline constexpr char16_t kObjectNotFoundText[] =
    u"Unable to find the object %s. See Additional Information for details.";

class TpwObjectDisconnected final : public Implements<TcvFreeMarshaledObject, IDispatch> {
 public:
  // 0 with success.
  HRESULT GetTypeInfoCount(std::uint32_t* count) override;
  // E_INVALIDARG.
  HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** typeInfo) override;
  // RPC_E_DISCONNECTED.
  HRESULT GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                        DISPID* dispIds) override;
  // DISP_E_EXCEPTION, the record's code RPC_E_DISCONNECTED with the system's text for it.
  HRESULT Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override;
};

}  // namespace pw
