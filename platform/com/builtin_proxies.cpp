// The proxies that the platform provides for its own interfaces.
//
// Interface pointers travel marshaled: an argument that is an object (VT_DISPATCH or
// VT_UNKNOWN) reaches the callee as a pointer valid in the callee's apartment, and an object
// result comes back valid in the caller's. Type information objects are read-only and handed
// out as they are.
#include <vector>

#include "platform/com/connection_points.h"
#include "platform/automation/dispatch.h"
#include "platform/com/marshal.h"

namespace pw {

namespace {

bool IsObject(const VARIANT& v) { return v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN; }

const IID& ObjectIid(const VARIANT& v) { return v.vt == VT_DISPATCH ? IDispatch::iid : IUnknown::iid; }

class DispatchProxy final : public InterfaceProxy<IDispatch> {
 public:
  using InterfaceProxy::InterfaceProxy;

  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    return Call(3, [&](IDispatch* target) { return target->GetTypeInfoCount(count); });
  }
  HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** typeInfo) override {
    return Call(4, [&](IDispatch* target) { return target->GetTypeInfo(index, lcid, typeInfo); });
  }
  HRESULT GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                        DISPID* dispIds) override {
    return Call(5, [&](IDispatch* target) { return target->GetIDsOfNames(riid, names, count, lcid, dispIds); });
  }
  HRESULT Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override {
    // Object arguments leave this apartment marshaled.
    const std::uint32_t argc = params ? params->cArgs : 0;
    std::vector<MarshalPacket> packets(argc);
    for (std::uint32_t i = 0; i < argc; ++i) {
      const VARIANT& arg = params->rgvarg[i];
      if (IsObject(arg) && arg.punkVal) {
        HRESULT hr = CoMarshalInterface(arg.punkVal, ObjectIid(arg), &packets[i]);
        if (Failed(hr)) {
          for (auto& p : packets) CoReleaseMarshalPacket(p);
          return hr;
        }
      }
    }
    MarshalPacket answer;
    VARTYPE answerType = VT_EMPTY;
    HRESULT hr = Call(6, [&](IDispatch* target) -> HRESULT {
      std::vector<VARIANT> args(params && argc ? params->rgvarg : nullptr, params && argc ? params->rgvarg + argc : nullptr);
      std::vector<ComPtr<IUnknown>> held(argc);
      for (std::uint32_t i = 0; i < argc; ++i) {
        if (!packets[i].valid()) continue;
        HRESULT r = CoUnmarshalInterface(packets[i], ObjectIid(args[i]), held[i].PutVoid());
        if (Failed(r)) return r;
        args[i].punkVal = held[i].Get();
      }
      DISPPARAMS here{args.empty() ? nullptr : args.data(), params ? params->rgdispidNamedArgs : nullptr, argc,
                      params ? params->cNamedArgs : 0};
      HRESULT r = target->Invoke(dispId, riid, lcid, flags, params ? &here : nullptr, result, excepInfo, argErr);
      // An object result goes back marshaled.
      if (result && IsObject(*result) && result->punkVal) {
        answerType = result->vt;
        HRESULT m = CoMarshalInterface(result->punkVal, ObjectIid(*result), &answer);
        VariantClear(result);
        if (Failed(m)) return m;
      }
      return r;
    });
    for (auto& p : packets) CoReleaseMarshalPacket(p);
    if (answer.valid()) {
      IUnknown* there = nullptr;
      HRESULT u = CoUnmarshalInterface(answer, answerType == VT_DISPATCH ? IDispatch::iid : IUnknown::iid,
                                       reinterpret_cast<void**>(&there));
      CoReleaseMarshalPacket(answer);
      if (Failed(u)) return u;
      result->vt = answerType;
      result->punkVal = there;
    }
    return hr;
  }
};

// Runs `call` in the object's apartment with an interface argument marshaled in.
template <class F>
HRESULT WithInterfaceArgument(IUnknown* argument, const IID& iid, F&& call) {
  MarshalPacket packet;
  if (argument) {
    HRESULT hr = CoMarshalInterface(argument, iid, &packet);
    if (Failed(hr)) return hr;
  }
  HRESULT hr = call(packet);
  CoReleaseMarshalPacket(packet);
  return hr;
}

// Brings an interface result, marshaled out in the object's apartment, into this one.
template <class I>
HRESULT TakeInterfaceResult(MarshalPacket& packet, I** out) {
  if (!packet.valid()) return S_OK;
  HRESULT hr = CoUnmarshalInterface(packet, I::iid, reinterpret_cast<void**>(out));
  CoReleaseMarshalPacket(packet);
  return hr;
}

template <class I>
HRESULT MarshalInterfaceResult(I* there, MarshalPacket& packet) {
  if (!there) return S_OK;
  HRESULT hr = CoMarshalInterface(there, I::iid, &packet);
  there->Release();
  return hr;
}

class ConnectionPointProxy final : public InterfaceProxy<IConnectionPoint> {
 public:
  using InterfaceProxy::InterfaceProxy;

  HRESULT GetConnectionInterface(IID* iid) override {
    return Call(3, [&](IConnectionPoint* target) { return target->GetConnectionInterface(iid); });
  }
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override {
    if (!container) return E_POINTER;
    *container = nullptr;
    MarshalPacket packet;
    HRESULT hr = Call(4, [&](IConnectionPoint* target) {
      IConnectionPointContainer* there = nullptr;
      HRESULT r = target->GetConnectionPointContainer(&there);
      HRESULT m = MarshalInterfaceResult(there, packet);
      return Failed(r) ? r : m;
    });
    HRESULT u = TakeInterfaceResult(packet, container);
    return Failed(hr) ? hr : u;
  }
  HRESULT Advise(IUnknown* sink, DWORD* cookie) override {
    return WithInterfaceArgument(sink, IUnknown::iid, [&](MarshalPacket& packet) {
      return Call(5, [&](IConnectionPoint* target) {
        ComPtr<IUnknown> there;
        if (packet.valid()) {
          HRESULT r = CoUnmarshalInterface(packet, IUnknown::iid, there.PutVoid());
          if (Failed(r)) return r;
        }
        return target->Advise(there.Get(), cookie);
      });
    });
  }
  HRESULT Unadvise(DWORD cookie) override {
    return Call(6, [&](IConnectionPoint* target) { return target->Unadvise(cookie); });
  }
  HRESULT EnumConnections(IEnumConnections** connections) override {
    if (connections) *connections = nullptr;
    return E_NOTIMPL;
  }
};

class ConnectionPointContainerProxy final : public InterfaceProxy<IConnectionPointContainer> {
 public:
  using InterfaceProxy::InterfaceProxy;

  HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override {
    if (points) *points = nullptr;
    return E_NOTIMPL;
  }
  HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** point) override {
    if (!point) return E_POINTER;
    *point = nullptr;
    MarshalPacket packet;
    HRESULT hr = Call(4, [&](IConnectionPointContainer* target) {
      IConnectionPoint* there = nullptr;
      HRESULT r = target->FindConnectionPoint(iid, &there);
      HRESULT m = MarshalInterfaceResult(there, packet);
      return Failed(r) ? r : m;
    });
    HRESULT u = TakeInterfaceResult(packet, point);
    return Failed(hr) ? hr : u;
  }
};

}  // namespace

std::vector<std::pair<IID, ProxyFactory>> BuiltinProxies() {
  return {
      {IDispatch::iid, &MakeInterfaceProxy<DispatchProxy>},
      {IConnectionPoint::iid, &MakeInterfaceProxy<ConnectionPointProxy>},
      {IConnectionPointContainer::iid, &MakeInterfaceProxy<ConnectionPointContainerProxy>},
  };
}

}  // namespace pw
