#include "platform/com/marshal.h"
#include "platform/com/class_registry.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "platform/com/apartment_impl.h"

namespace pw {

// The proxies of the platform's own interfaces (builtin_proxies.cpp).
std::vector<std::pair<IID, ProxyFactory>> BuiltinProxies();

namespace {

// ---- the stub manager -----------------------------------------------------------------------

struct Stub {
  IUnknown* identity;               // holds one reference
  std::weak_ptr<Apartment> apartment;  // where the object lives; expired/empty: outside every one
  const Apartment* home = nullptr;
};

struct StubManager {
  std::mutex lock;
  StubCookie next = 1;
  std::map<StubCookie, Stub> stubs;
};

StubManager& Manager() {
  static StubManager* m = new StubManager;  // lives until the process ends
  return *m;
}

void EndConnection(IUnknown* identity) {
  if (auto ext = QueryAs<IExternalConnection>(identity)) ext->ReleaseConnection(EXTCONN_STRONG, 0, 1);
  identity->Release();
}

// Takes the stubs that Match picks out of the stub manager and ends their connections (outside
// the manager's lock: ending one may release the object).
template <class Match>
void EndStubsWhere(Match match) {
  std::vector<IUnknown*> ended;
  {
    auto& m = Manager();
    std::lock_guard g(m.lock);
    for (auto it = m.stubs.begin(); it != m.stubs.end();) {
      if (match(it->second)) {
        ended.push_back(it->second.identity);
        it = m.stubs.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto* unk : ended) EndConnection(unk);
}

// Adds a connection to an identity that the caller keeps alive.
StubCookie AddStub(IUnknown* identity, const ApartmentRef& apartment) {
  identity->AddRef();
  if (auto ext = QueryAs<IExternalConnection>(identity)) ext->AddConnection(EXTCONN_STRONG, 0);
  auto& m = Manager();
  std::lock_guard g(m.lock);
  StubCookie cookie = m.next++;
  m.stubs.emplace(cookie, Stub{identity, apartment, apartment.get()});
  return cookie;
}

// The object and apartment of a live connection; false once it is gone.
bool FindStub(StubCookie cookie, ComPtr<IUnknown>* identity, ApartmentRef* apartment) {
  auto& m = Manager();
  std::lock_guard g(m.lock);
  auto it = m.stubs.find(cookie);
  if (it == m.stubs.end()) return false;
  if (identity) *identity = it->second.identity;
  if (apartment) *apartment = it->second.apartment.lock();
  return true;
}

// ---- the free-threaded marshaler ------------------------------------------------------------

class FreeThreadedMarshaler final : public IUnknown {
 public:
  explicit FreeThreadedMarshaler(IUnknown* outer) : outer_(outer ? outer : this), part_(this) {}

  HRESULT QueryInterface(const IID& riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IUnknown::iid) {
      *ppv = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    if (riid == IMarshal::iid) {
      *ppv = static_cast<IMarshal*>(&part_);
      part_.AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

 private:
  // IMarshal of the aggregate: its IUnknown is the outer object's.
  struct Part final : IMarshal {
    explicit Part(FreeThreadedMarshaler* self) : self(self) {}
    HRESULT QueryInterface(const IID& riid, void** ppv) override { return self->outer_->QueryInterface(riid, ppv); }
    ULONG AddRef() override { return self->outer_->AddRef(); }
    ULONG Release() override { return self->outer_->Release(); }
    HRESULT GetUnmarshalClass(const IID&, void*, DWORD, void*, DWORD, CLSID* cls) override {
      if (!cls) return E_POINTER;
      *cls = CLSID_InProcFreeMarshaler;
      return S_OK;
    }
    FreeThreadedMarshaler* self;
  };

  std::atomic<ULONG> refs_{1};
  IUnknown* outer_;
  Part part_;
};

// ---- proxies --------------------------------------------------------------------------------

struct ProxyRegistry {
  std::mutex lock;
  std::vector<std::pair<IID, ProxyFactory>> factories;
};

ProxyRegistry& Proxies() {
  static ProxyRegistry* r = [] {
    auto* registry = new ProxyRegistry;  // lives until the process ends
    registry->factories = BuiltinProxies();
    return registry;
  }();
  return *r;
}

ProxyFactory FindProxyFactory(const IID& iid) {
  auto& r = Proxies();
  std::lock_guard g(r.lock);
  for (auto& [id, factory] : r.factories)
    if (id == iid) return factory;
  return nullptr;
}

class ProxyManagerImpl final : public ProxyManager, public IUnknown {
 public:
  ProxyManagerImpl(StubCookie cookie, ApartmentRef apartment, IUnknown* identity)
      : cookie_(cookie), apartment_(std::move(apartment)), identity_(identity) {}
  ~ProxyManagerImpl() override {
    proxies_.clear();
    CoReleaseMarshalData(cookie_);
  }

  IUnknown* Outer() override { return this; }

  bool NewConnection(StubCookie* cookie) {
    ComPtr<IUnknown> identity;
    ApartmentRef home;
    if (!FindStub(cookie_, &identity, &home)) return false;
    *cookie = AddStub(identity.Get(), home);
    return true;
  }

  HRESULT QueryInterface(const IID& riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IUnknown::iid) {
      *ppv = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    {
      std::lock_guard g(lock_);
      for (auto& [id, proxy] : proxies_)
        if (id == riid) {
          *ppv = proxy->Pointer();
          AddRef();
          return S_OK;
        }
    }
    ProxyFactory factory = FindProxyFactory(riid);
    if (!factory) return E_NOINTERFACE;
    // Ask the object itself whether it has the interface.
    HRESULT hr = Invoke(riid, 0, [](void*) { return S_OK; });
    if (Failed(hr)) return hr;
    std::lock_guard g(lock_);
    for (auto& [id, proxy] : proxies_)
      if (id == riid) {
        *ppv = proxy->Pointer();
        AddRef();
        return S_OK;
      }
    proxies_.emplace_back(riid, factory(*this));
    *ppv = proxies_.back().second->Pointer();
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

  HRESULT Invoke(const IID& iid, WORD method, const std::function<HRESULT(void*)>& call) override {
    if (!FindStub(cookie_, nullptr, nullptr)) {
      SetErrorInfo(0, nullptr);  // no older error object of this thread goes with the failure
      return RPC_E_DISCONNECTED;
    }
    const StubCookie cookie = cookie_;
    // Everything that touches the object happens on its side.
    std::function<HRESULT()> remote = [cookie, &iid, &call]() -> HRESULT {
      ComPtr<IUnknown> identity;
      if (!FindStub(cookie, &identity, nullptr)) return RPC_E_DISCONNECTED;
      void* target = nullptr;
      HRESULT hr = identity->QueryInterface(iid, &target);
      if (Failed(hr) || !target) return Failed(hr) ? hr : E_NOINTERFACE;
      hr = call(target);
      static_cast<IUnknown*>(target)->Release();
      return hr;
    };
    HRESULT hr = ApartmentCall(apartment_, INTERFACEINFO{identity_, iid, method}, remote);
    return hr;
  }

 private:
  std::atomic<ULONG> refs_{0};
  const StubCookie cookie_;
  const ApartmentRef apartment_;
  IUnknown* const identity_;  // for message filters only; not a reference
  std::mutex lock_;
  std::vector<std::pair<IID, std::unique_ptr<InterfaceProxyBase>>> proxies_;
};

// ---- the global interface table -------------------------------------------------------------

class GlobalInterfaceTable final : public IGlobalInterfaceTable {
 public:
  HRESULT QueryInterface(const IID& riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IUnknown::iid || riid == IGlobalInterfaceTable::iid) {
      *ppv = static_cast<IGlobalInterfaceTable*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  // The table lives as long as the process.
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }

  HRESULT RegisterInterfaceInGlobal(IUnknown* object, const IID& riid, DWORD* cookie) override {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!object) return E_INVALIDARG;
    MarshalPacket packet;
    HRESULT hr = CoMarshalInterface(object, riid, &packet);
    if (Failed(hr)) return hr;
    std::lock_guard g(lock_);
    *cookie = next_++;
    entries_.emplace(*cookie, Entry{std::move(packet), riid});
    return S_OK;
  }

  HRESULT RevokeInterfaceFromGlobal(DWORD cookie) override {
    MarshalPacket packet;
    {
      std::lock_guard g(lock_);
      auto it = entries_.find(cookie);
      if (it == entries_.end()) return E_INVALIDARG;
      packet = std::move(it->second.packet);
      entries_.erase(it);
    }
    CoReleaseMarshalPacket(packet);
    return S_OK;
  }

  HRESULT GetInterfaceFromGlobal(DWORD cookie, const IID& riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    MarshalPacket packet;
    {
      std::lock_guard g(lock_);
      auto it = entries_.find(cookie);
      if (it == entries_.end()) return E_INVALIDARG;
      packet.agile = it->second.packet.agile;
      packet.cookie = it->second.packet.cookie;
    }
    return CoUnmarshalInterface(packet, riid, ppv);
  }

 private:
  struct Entry {
    MarshalPacket packet;
    IID iid;
  };
  std::mutex lock_;
  DWORD next_ = 1;
  std::map<DWORD, Entry> entries_;
};

GlobalInterfaceTable& TheGlobalTable() {
  static GlobalInterfaceTable* table = new GlobalInterfaceTable;  // lives until the process ends
  return *table;
}

}  // namespace

// ---- stubs ----------------------------------------------------------------------------------

HRESULT CoMarshalInterfaceStrong(IUnknown* object, StubCookie* cookie) {
  if (!object || !cookie) return E_POINTER;
  ComPtr<IUnknown> identity;
  HRESULT hr = object->QueryInterface(IUnknown::iid, identity.PutVoid());
  if (Failed(hr)) return hr;
  *cookie = AddStub(identity.Get(), CurrentApartment());
  return S_OK;
}

HRESULT CoReleaseMarshalData(StubCookie cookie) {
  Stub stub{};
  {
    auto& m = Manager();
    std::lock_guard g(m.lock);
    auto it = m.stubs.find(cookie);
    if (it == m.stubs.end()) return E_INVALIDARG;
    stub = it->second;
    m.stubs.erase(it);
  }
  // The object is released on its own apartment's thread when that is another STA.
  ApartmentRef home = stub.apartment.lock();
  if (home && home != CurrentApartment() && IsSingleThreaded(*home)) {
    IUnknown* identity = stub.identity;
    if (ApartmentPost(home, [identity] { EndConnection(identity); })) return S_OK;
  }
  EndConnection(stub.identity);
  return S_OK;
}

HRESULT CoDisconnectObject(IUnknown* object, DWORD) {
  if (!object) return E_INVALIDARG;
  IUnknown* identity = IdentityOf(object);
  EndStubsWhere([&](const Stub& stub) { return stub.identity == identity; });
  return S_OK;
}

std::size_t CoConnectionCount(IUnknown* object) {
  IUnknown* identity = IdentityOf(object);
  auto& m = Manager();
  std::lock_guard g(m.lock);
  std::size_t n = 0;
  for (auto& [cookie, stub] : m.stubs)
    if (stub.identity == identity) ++n;
  return n;
}

void DisconnectApartmentStubs(const Apartment* apartment) {
  EndStubsWhere([&](const Stub& stub) { return stub.home == apartment; });
}

// ---- the free-threaded marshaler ------------------------------------------------------------

HRESULT CoCreateFreeThreadedMarshaler(IUnknown* outer, IUnknown** marshaler) {
  if (!marshaler) return E_POINTER;
  *marshaler = new FreeThreadedMarshaler(outer);
  return S_OK;
}

bool IsFreeThreaded(IUnknown* object) {
  auto marshal = QueryAs<IMarshal>(object);
  CLSID cls{};
  return marshal && Succeeded(marshal->GetUnmarshalClass(IUnknown::iid, nullptr, 0, nullptr, 0, &cls)) &&
         cls == CLSID_InProcFreeMarshaler;
}

// ---- packets --------------------------------------------------------------------------------

HRESULT CoMarshalInterface(IUnknown* object, const IID& riid, MarshalPacket* packet) {
  if (!object || !packet) return E_POINTER;
  *packet = MarshalPacket{};
  ApartmentRef here = CurrentApartment();
  if (!here) return CO_E_NOTINITIALIZED;
  ComPtr<IUnknown> asked;
  HRESULT hr = object->QueryInterface(riid, asked.PutVoid());
  if (Failed(hr)) return hr;
  ComPtr<IUnknown> identity;
  hr = object->QueryInterface(IUnknown::iid, identity.PutVoid());
  if (Failed(hr)) return hr;
  if (auto* proxy = dynamic_cast<ProxyManagerImpl*>(identity.Get())) {
    // A proxy passes on a new connection to its own object.
    return proxy->NewConnection(&packet->cookie) ? S_OK : RPC_E_DISCONNECTED;
  }
  if (IsFreeThreaded(identity.Get())) {
    packet->agile = identity;
    return S_OK;
  }
  packet->cookie = AddStub(identity.Get(), here);
  return S_OK;
}

HRESULT CoUnmarshalInterface(const MarshalPacket& packet, const IID& riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (packet.agile) return packet.agile->QueryInterface(riid, ppv);
  if (!packet.cookie) return E_INVALIDARG;
  ComPtr<IUnknown> identity;
  ApartmentRef home;
  if (!FindStub(packet.cookie, &identity, &home)) return RPC_E_DISCONNECTED;
  ApartmentRef here = CurrentApartment();
  if (!here) return CO_E_NOTINITIALIZED;
  if (!home || home == here) return identity->QueryInterface(riid, ppv);
  // A proxy with a connection of its own.
  StubCookie own = AddStub(identity.Get(), home);
  ComPtr<IUnknown> manager(static_cast<IUnknown*>(new ProxyManagerImpl(own, home, identity.Get())));
  identity = nullptr;
  return manager->QueryInterface(riid, ppv);
}

void CoReleaseMarshalPacket(MarshalPacket& packet) {
  packet.agile = nullptr;
  if (packet.cookie) CoReleaseMarshalData(std::exchange(packet.cookie, 0));
}

// ---- proxies --------------------------------------------------------------------------------

void RegisterProxyFactory(const IID& iid, ProxyFactory factory) {
  auto& r = Proxies();
  std::lock_guard g(r.lock);
  for (auto& [id, f] : r.factories)
    if (id == iid) {
      f = factory;
      return;
    }
  r.factories.emplace_back(iid, factory);
}

bool IsComProxy(IUnknown* object) {
  return dynamic_cast<ProxyManagerImpl*>(IdentityOf(object)) != nullptr;
}

// ---- classes --------------------------------------------------------------------------------

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD, const IID& riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (clsid != CLSID_StdGlobalInterfaceTable) return CreateRegisteredClass(clsid, riid, ppv);
  return TheGlobalTable().QueryInterface(riid, ppv);
}

}  // namespace pw
