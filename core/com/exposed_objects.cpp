#include "core/com/exposed_objects.h"

#include <atomic>
#include <mutex>

#include "platform/com/marshal.h"
#include "platform/kernel/modules.h"
#include "platform/com/safecall.h"

namespace pw {

namespace {
std::atomic<TExposedObjects*> gExposedObjects{nullptr};

std::intptr_t KeyOf(IUnknown* identity) { return reinterpret_cast<std::intptr_t>(identity); }
}  // namespace

TExposedObjects* ExposedObjects() { return gExposedObjects.load(); }

TExposedObjects::TExposedObjects() = default;
TExposedObjects::~TExposedObjects() = default;

DWORD TExposedObjects::AddConnection(IUnknown* object) {
  std::lock_guard g(lock_);
  if (table_.Count() == 0) emptyEvent_.Reset();
  const std::intptr_t key = KeyOf(IdentityOf(object));
  const auto count = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(table_.GetValue(key))) + 1;
  table_.SetValue(key, reinterpret_cast<void*>(static_cast<std::uintptr_t>(count)));
  return count;
}

DWORD TExposedObjects::ReleaseConnection(IUnknown* object) {
  std::lock_guard g(lock_);
  IUnknown* identity = IdentityOf(object);
  const std::intptr_t key = KeyOf(identity);
  if (!table_.Exists(key)) return 0;  // a release without a matching connection changes nothing
  const auto count = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(table_.GetValue(key))) - 1;
  if (count == 0) {
    table_.Remove(key);
    for (auto& d : disconnecting_)
      if (d == identity) d = nullptr;
    if (table_.Count() == 0) emptyEvent_.Set();
  } else {
    table_.SetValue(key, reinterpret_cast<void*>(static_cast<std::uintptr_t>(count)));
  }
  return count;
}

void TExposedObjects::DisconnectAll(DWORD timeoutMs) {
  {
    std::lock_guard g(lock_);
    if (table_.Count() > 0) {
      std::vector<void*> keys;
      table_.GetValueArray(imKey, keys);
      disconnecting_.clear();
      for (void* k : keys) disconnecting_.push_back(static_cast<IUnknown*>(k));
      // COM calls ReleaseConnection back on this thread for each strong connection; the
      // recursive lock lets those calls in, and they clear the slots of released objects.
      for (std::size_t i = 0; i < disconnecting_.size(); ++i)
        if (IUnknown* obj = disconnecting_[i]) CoDisconnectObject(obj, 0);
      disconnecting_.clear();
    }
  }
  WaitForSingleObject(emptyEvent_, timeoutMs);
}

std::int32_t TExposedObjects::Count() {
  std::lock_guard g(lock_);
  return table_.Count();
}

void StartExposedObjects() {
  if (!gExposedObjects.load()) gExposedObjects.store(new TExposedObjects);
}

void StopExposedObjects() {
  TExposedObjects* registry = gExposedObjects.load();
  if (!registry) return;
  registry->DisconnectAll(5000);
  gExposedObjects.store(nullptr);
  delete registry;
}

HRESULT DisconnectExposedObjectsImpl(WordBool allModules, DWORD timeoutMs) {
  if (allModules) {
    try {
      ForEachModuleExport(kDisconnectExposedObjectsExport, [](void* address, const std::string&) {
        reinterpret_cast<DisconnectExposedObjectsProc>(address)(WordFalse, 5000);
      });
    } catch (...) {
      // The walk over the other modules is skipped when it fails; this module's pass still runs.
    }
  }
  // An export must not let an exception out: a pass that fails (out of memory) says so.
  return SafeCallBoundary([&] {
    if (TExposedObjects* registry = ExposedObjects()) registry->DisconnectAll(timeoutMs);
  });
}

}  // namespace pw
