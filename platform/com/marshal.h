// Marshaling: the stub manager, proxies, the free-threaded marshaler and the global interface
// table.
//
// Marshaling an interface for another apartment or process gives out a stub: the stub holds
// one reference to the object and reports a strong external connection to it (through the
// object's IExternalConnection, when it has one). The far side's release of its proxy ends the
// connection; CoDisconnectObject ends every connection of an object at once, calling back
// ReleaseConnection on the caller's thread for each, as COM does. A stub belongs to the
// apartment that made it; when that apartment closes, its stubs are disconnected.
//
// A proxy is what another apartment receives: an object whose interfaces run every call in the
// stub's apartment (platform/com/apartment.h). Interfaces are proxied only when a proxy factory is
// registered for them (RegisterProxyFactory); a pointer is recognised as a proxy when its
// identity (QueryInterface for IUnknown) is a proxy manager of this layer (IsComProxy).
//
// An object that aggregates the free-threaded marshaler (CoCreateFreeThreadedMarshaler) is
// apartment-agile: marshaling hands out the pointer itself to every apartment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/com/apartment.h"
#include "platform/com/comptr.h"

namespace pw {

using StubCookie = std::uint64_t;

// A strong marshal of `object` in the calling thread's apartment; the cookie names the
// connection. E_POINTER for nil.
HRESULT CoMarshalInterfaceStrong(IUnknown* object, StubCookie* cookie);
// The far side released the proxy of that connection. E_INVALIDARG for an unknown or
// already disconnected cookie. The object is released on its apartment's thread.
HRESULT CoReleaseMarshalData(StubCookie cookie);
// Ends every connection of the object (found by identity); S_OK also when it has none.
HRESULT CoDisconnectObject(IUnknown* object, DWORD reserved);
// Connections currently held for the object (its identity).
std::size_t CoConnectionCount(IUnknown* object);

// IMarshal: only what tells the free-threaded marshaler apart.
struct IMarshal : IUnknown {
  static constexpr IID iid = MakeGuid("{00000003-0000-0000-C000-000000000046}");
  using Inherited = IUnknown;
  virtual HRESULT GetUnmarshalClass(const IID& riid, void* pv, DWORD destContext, void* reserved, DWORD flags,
                                    CLSID* cls) = 0;
};
inline constexpr CLSID CLSID_InProcFreeMarshaler = MakeGuid("{0000033A-0000-0000-C000-000000000046}");

// The free-threaded marshaler, aggregated by `outer`: its non-delegating IUnknown, whose
// IMarshal the outer object hands out for queries of IMarshal.
HRESULT CoCreateFreeThreadedMarshaler(IUnknown* outer, IUnknown** marshaler);
// True when the object answers IMarshal with the free-threaded marshaler.
bool IsFreeThreaded(IUnknown* object);

// A marshaled interface in transit between apartments: either the agile object itself or a
// stub connection made in the object's apartment.
struct MarshalPacket {
  ComPtr<IUnknown> agile;
  StubCookie cookie = 0;
  bool valid() const { return agile || cookie != 0; }
};
// Marshals an interface of the calling thread's apartment (a proxy marshals a new connection to
// its object). CO_E_NOTINITIALIZED outside every apartment.
HRESULT CoMarshalInterface(IUnknown* object, const IID& riid, MarshalPacket* packet);
// A pointer valid in the calling thread's apartment: the object itself in its own apartment or
// when agile, else a new proxy. The packet stays valid (it may be unmarshaled again).
// RPC_E_DISCONNECTED when the object's connection is gone; E_NOINTERFACE when the object lacks
// riid or no proxy is registered for it.
HRESULT CoUnmarshalInterface(const MarshalPacket& packet, const IID& riid, void** ppv);
// Releases what the packet holds.
void CoReleaseMarshalPacket(MarshalPacket& packet);

// Proxies. A proxy manager is the identity of one unmarshaled reference; it owns one interface
// proxy per interface asked for.
class ProxyManager;

class InterfaceProxyBase {
 public:
  virtual ~InterfaceProxyBase() = default;
  // The interface pointer that the proxy answers.
  virtual void* Pointer() = 0;
};

using ProxyFactory = std::unique_ptr<InterfaceProxyBase> (*)(ProxyManager& manager);
// Registers the proxy of an interface (process-wide; a later registration replaces one).
void RegisterProxyFactory(const IID& iid, ProxyFactory factory);

class ProxyManager {
 public:
  virtual ~ProxyManager() = default;
  virtual IUnknown* Outer() = 0;
  // Runs `call` with the object's interface `iid` in the object's apartment and answers its
  // result; RPC_E_DISCONNECTED once the object is disconnected.
  virtual HRESULT Invoke(const IID& iid, WORD method, const std::function<HRESULT(void* target)>& call) = 0;
};

// The base of an interface proxy: IUnknown goes to the proxy manager; Call runs the operation
// in the object's apartment.
template <Interface I>
class InterfaceProxy : public InterfaceProxyBase, public I {
 public:
  explicit InterfaceProxy(ProxyManager& manager) : manager_(manager) {}
  void* Pointer() override { return static_cast<I*>(this); }
  HRESULT QueryInterface(const IID& riid, void** ppv) override { return manager_.Outer()->QueryInterface(riid, ppv); }
  ULONG AddRef() override { return manager_.Outer()->AddRef(); }
  ULONG Release() override { return manager_.Outer()->Release(); }

 protected:
  template <class F>
  HRESULT Call(WORD method, F&& f) {
    return manager_.Invoke(I::iid, method, [&](void* target) -> HRESULT { return f(static_cast<I*>(target)); });
  }
  ProxyManager& manager_;
};

template <class P>
std::unique_ptr<InterfaceProxyBase> MakeInterfaceProxy(ProxyManager& manager) {
  return std::make_unique<P>(manager);
}

// True when the pointer's identity is a proxy manager of this layer.
bool IsComProxy(IUnknown* object);

// The global interface table.
struct IGlobalInterfaceTable : IUnknown {
  static constexpr IID iid = MakeGuid("{00000146-0000-0000-C000-000000000046}");
  using Inherited = IUnknown;
  virtual HRESULT RegisterInterfaceInGlobal(IUnknown* object, const IID& riid, DWORD* cookie) = 0;
  virtual HRESULT RevokeInterfaceFromGlobal(DWORD cookie) = 0;
  virtual HRESULT GetInterfaceFromGlobal(DWORD cookie, const IID& riid, void** ppv) = 0;
};
inline constexpr CLSID CLSID_StdGlobalInterfaceTable = MakeGuid("{00000323-0000-0000-C000-000000000046}");

inline constexpr DWORD CLSCTX_INPROC_SERVER = 1;
// Creates an object of a class that the platform serves (the standard global interface table;
// every instance is a view of the one process-wide table) or that a running layer registered
// (platform/com/class_registry.h). REGDB_E_CLASSNOTREG for any other class.
HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD context, const IID& riid, void** ppv);

}  // namespace pw
