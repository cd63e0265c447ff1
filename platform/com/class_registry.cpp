#include "platform/com/class_registry.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace pw {
namespace {

struct Registration {
  DWORD cookie;
  CLSID clsid;
  ClassCreator creator;
};

struct ClassRegistry {
  std::mutex lock;
  std::vector<Registration> entries;
  DWORD next = 1;
};

ClassRegistry& Registry() {
  static ClassRegistry* registry = new ClassRegistry;  // lives until exit: modules may create at unload
  return *registry;
}

}  // namespace

DWORD RegisterClassCreator(const CLSID& clsid, ClassCreator creator) {
  auto& r = Registry();
  std::lock_guard guard(r.lock);
  const DWORD cookie = r.next++;
  r.entries.push_back({cookie, clsid, std::move(creator)});
  return cookie;
}

bool RevokeClassCreator(DWORD cookie) {
  auto& r = Registry();
  std::lock_guard guard(r.lock);
  return std::erase_if(r.entries, [&](const Registration& e) { return e.cookie == cookie; }) > 0;
}

HRESULT CreateRegisteredClass(const CLSID& clsid, const IID& riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  ClassCreator creator;
  {
    auto& r = Registry();
    std::lock_guard guard(r.lock);
    for (auto it = r.entries.rbegin(); it != r.entries.rend(); ++it)
      if (it->clsid == clsid) {
        creator = it->creator;
        break;
      }
  }
  if (!creator) return REGDB_E_CLASSNOTREG;
  return creator(riid, ppv);  // outside the lock: the creator may register or create in turn
}

}  // namespace pw
