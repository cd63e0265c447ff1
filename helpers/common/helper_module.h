// What the helper libraries share: the module object's attach and detach of proxies (the
// free-threaded objects they hand out use platform/com/free_threaded.h).
#pragma once

#include <algorithm>
#include <mutex>
#include <vector>

#include "core/host/helper_interfaces.h"
#include "platform/com/comobject.h"
#include "platform/com/free_threaded.h"

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

}  // namespace pw::helpers
