#include "project/nodes/observers.h"

#include <sys/stat.h>

#include "core/host/host_services.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"
#include "project/nodes/project_helpers.h"

namespace pw::project {

namespace {
void CheckOut(const void* p) {
  if (!p) throw EOleSysError(u"Invalid pointer", E_POINTER);
}
bool FileExists(WideStringView name) {
  struct stat st {};
  return !name.empty() && ::stat(WideToUtf8(name).c_str(), &st) == 0;
}
}  // namespace

TpwFileObserver::TpwFileObserver(IcvBaseManager* manager, IpwFileObserverOwner* owner, bool flag)
    : manager_(manager), owner_(owner), flag_(flag) {
  OleCheck(CreateGuid(key_));
}

ComPtr<IpwFileWatchService> TpwFileObserver::Service() const {
  auto service = GetHostService<IpwFileWatchService>(manager_.Get(), kFileWatchService);
  if (!service) throw EOleSysError(u"The host has no file-watch service.", E_NOINTERFACE);
  return service;
}

void TpwFileObserver::ChangeFileName(WideStringView name) {
  IpwFileWatchClient* self = this;
  if (!fileName_.empty() && !SameTextIgnoringCase(fileName_, name)) SafeCallCheck(Service()->Unregister(self));
  fileName_ = WideString(name);
  if (!fileName_.empty()) SafeCallCheck(Service()->Register(self));
}

HRESULT TpwFileObserver::SetFileName(BSTR fileName) {
  return SafeCall([&] { ChangeFileName(BstrView(fileName)); });
}
HRESULT TpwFileObserver::GetFileName(BSTR* fileName) {
  return SafeCall([&] { CheckOut(fileName), *fileName = SysAllocString(fileName_); });
}
HRESULT TpwFileObserver::Refresh() {
  return SafeCall([&] {
    if (!fileName_.empty()) SafeCallCheck(Service()->Refresh(this));
  });
}
HRESULT TpwFileObserver::CheckNow() {
  return SafeCall([&] {
    if (!fileName_.empty()) SafeCallCheck(Service()->CheckNow(this));
  });
}
HRESULT TpwFileObserver::Disconnect() {
  return SafeCall([&] {
    // Unregisters even when the service refuses, so the owner goes in any case.
    struct Drop {
      ComPtr<IpwFileObserverOwner>& owner;
      ~Drop() { owner = nullptr; }
    } drop{owner_};
    if (!fileName_.empty()) {
      IpwFileWatchClient* self = this;
      fileName_.clear();
      SafeCallCheck(Service()->Unregister(self));
    }
  });
}
HRESULT TpwFileObserver::GetKey(GUID* key) {
  return SafeCall([&] { CheckOut(key), *key = key_; });
}
HRESULT TpwFileObserver::GetFlag(VARIANT_BOOL* flag) {
  return SafeCall([&] { CheckOut(flag), *flag = ToWordBool(flag_); });
}
HRESULT TpwFileObserver::Notify(std::int32_t flags) {
  return SafeCall([&] {
    ComPtr<IpwFileObserverOwner> owner = owner_;
    if (!owner) return;
    if ((flags & 3) == 3) {
      SafeCallCheck(FileExists(fileName_) ? owner->FileChanged() : owner->FileDeleted());
    } else {
      if (flags & 2) SafeCallCheck(owner->FileChanged());
      if (flags & 1) SafeCallCheck(owner->FileDeleted());
    }
    if (flags & 4) SafeCallCheck(owner->FileReturned());
    if (flags & 8) SafeCallCheck(owner->FileModeChanged());
  });
}

// ---- TpwProjectNodeEventProvider

TpwProjectNodeEventProvider::TpwProjectNodeEventProvider() { OleCheck(CreateGuid(key_)); }

HRESULT TpwProjectNodeEventProvider::GetKey(GUID* key) {
  return SafeCall([&] { CheckOut(key), *key = key_; });
}
HRESULT TpwProjectNodeEventProvider::GetName(BSTR* name) {
  return SafeCall([&] { CheckOut(name), *name = SysAllocString(u"TpwProjectNodeEventProvider"); });
}
HRESULT TpwProjectNodeEventProvider::Event1(const VARIANT& arg) {
  return SafeCall([&] {
    if (owner_) SafeCallCheck(owner_->OnEvent1(arg));
  });
}
HRESULT TpwProjectNodeEventProvider::Event2(const VARIANT& arg) {
  return SafeCall([&] {
    if (owner_) SafeCallCheck(owner_->OnEvent2(arg));
  });
}
HRESULT TpwProjectNodeEventProvider::GetCount(std::int32_t* count) {
  return SafeCall([&] { CheckOut(count), *count = 1; });
}
HRESULT TpwProjectNodeEventProvider::GetItem(std::int32_t, GUID* eventIid, std::int32_t* value) {
  return SafeCall([&] {
    CheckOut(eventIid), CheckOut(value);
    *eventIid = IpwProjectNodeEventHandler::iid;
    *value = -1;
  });
}
HRESULT TpwProjectNodeEventProvider::Connect(IcvBaseManager* manager, IpwProjectNodeEventProviderOwner* owner) {
  return SafeCall([&] {
    manager_ = manager;
    owner_ = owner;
    auto broker = GetObjectBroker(manager);
    if (!broker) throw EOleSysError(u"The host has no object broker.", E_NOINTERFACE);
    SafeCallCheck(broker->RegisterSubscription(static_cast<IpwEventSubscription*>(this)));
  });
}
HRESULT TpwProjectNodeEventProvider::Disconnect() {
  return SafeCall([&] {
    struct Drop {
      TpwProjectNodeEventProvider& p;
      ~Drop() { p.manager_ = nullptr, p.owner_ = nullptr; }
    } drop{*this};
    if (auto broker = GetObjectBroker(manager_.Get())) SafeCallCheck(broker->UnregisterSubscription(&key_));
  });
}

}  // namespace pw::project
