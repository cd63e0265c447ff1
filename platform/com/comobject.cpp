#include "platform/com/comobject.h"

#include "platform/com/safecall.h"

namespace pw {

HRESULT ComObject::QueryInterface(const IID& riid, void** ppv) {
  if (!ppv) return E_POINTER;
  void* p = GetInterface(riid);
  if (!p) {
    *ppv = nullptr;
    return QueryMissingInterface(riid, ppv);
  }
  static_cast<IUnknown*>(p)->AddRef();
  *ppv = p;
  return S_OK;
}

ULONG ComObject::AddRef() { return static_cast<ULONG>(refCount_.fetch_add(1) + 1); }

ULONG ComObject::Release() {
  LONG n = refCount_.fetch_sub(1) - 1;
  if (n == 0) delete this;
  return static_cast<ULONG>(n);
}

void* ComObject::GetInterface(const IID& riid) noexcept {
  if (riid == IUnknown::iid) return Identity();
  return nullptr;
}

HRESULT ComObject::SafeCallException(std::exception_ptr e) noexcept {
  return HandleSafeCallException(e, GUID_NULL, u"", u"");
}

}  // namespace pw
