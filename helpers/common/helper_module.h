// What the helper libraries share: the module object's attach and detach of proxies, and
// aggregation of the free-threaded marshaler.
#pragma once

#include <algorithm>
#include <mutex>
#include <vector>

#include "core/host/helper_interfaces.h"
#include "platform/com/comobject.h"
#include "platform/com/marshal.h"

#define PW_HELPER_EXPORT extern "C" __attribute__((visibility("default")))

namespace pw::helpers {

// The module interface of a helper library: it knows the proxies attached to it.
template <class Base>
class HelperModule : public Base {
 public:
  explicit HelperModule(const char16_t* name) : name_(name) {}

  HRESULT GetModuleName(BSTR* name) override {
    if (!name) return E_POINTER;
    *name = SysAllocString(name_);
    return S_OK;
  }
  HRESULT GetModuleVersion(DWORD* version) override {
    if (!version) return E_POINTER;
    *version = 1;
    return S_OK;
  }
  // Proxies are known without a reference: each detaches before it goes.
  HRESULT AttachProxy(IcvModuleProxyCallback* proxy) override {
    if (!proxy) return E_POINTER;
    std::lock_guard g(lock_);
    proxies_.push_back(proxy);
    return S_OK;
  }
  HRESULT DetachProxy(IcvModuleProxyCallback* proxy) override {
    std::lock_guard g(lock_);
    auto it = std::find(proxies_.begin(), proxies_.end(), proxy);
    if (it == proxies_.end()) return E_INVALIDARG;
    proxies_.erase(it);
    return S_OK;
  }

 private:
  const char16_t* name_;
  std::mutex lock_;
  std::vector<IcvModuleProxyCallback*> proxies_;
};

// An object that aggregates the free-threaded marshaler: every apartment gets it directly.
template <class Base>
class FreeThreaded : public Base {
 public:
  template <class... Args>
  explicit FreeThreaded(Args&&... args) : Base(std::forward<Args>(args)...) {
    CoCreateFreeThreadedMarshaler(this->Identity(), marshaler_.Put());
  }

 protected:
  void* GetInterface(const IID& riid) noexcept override {
    if (riid == IMarshal::iid && marshaler_) {
      void* p = nullptr;
      marshaler_->QueryInterface(riid, &p);
      if (p) static_cast<IUnknown*>(p)->Release();  // QueryInterface takes the caller's reference
      return p;
    }
    return Base::GetInterface(riid);
  }

 private:
  ComPtr<IUnknown> marshaler_;
};

}  // namespace pw::helpers
