// Connection points: how an object raises events to the sinks that advised on it.
//
// Events are raised through the sinks' IDispatch::Invoke (the event interfaces are dispatch
// interfaces), so Advise takes a sink that answers IDispatch. TConnectionPoint is a ready-made
// connection point for event sources.
#pragma once

#include <mutex>
#include <vector>

#include "platform/com/comobject.h"
#include "platform/automation/dispatch.h"

namespace pw {

struct IConnectionPointContainer;

// Enumerations are not served by this layer; their interfaces are only named.
struct IEnumConnections;
struct IEnumConnectionPoints;

inline constexpr HRESULT CONNECT_E_NOCONNECTION = MakeHResult(0x80040200);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = MakeHResult(0x80040202);

struct IConnectionPoint : IUnknown {
  static constexpr IID iid = MakeGuid("{B196B286-BAB4-101A-B69C-00AA00341D07}");
  using Inherited = IUnknown;
  virtual HRESULT GetConnectionInterface(IID* iid) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
  virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
  virtual HRESULT Unadvise(DWORD cookie) = 0;
  virtual HRESULT EnumConnections(IEnumConnections** connections) = 0;
};

struct IConnectionPointContainer : IUnknown {
  static constexpr IID iid = MakeGuid("{B196B284-BAB4-101A-B69C-00AA00341D07}");
  using Inherited = IUnknown;
  virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) = 0;
  virtual HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** point) = 0;
};

// The connection point of one event interface of a source object.
class TConnectionPoint : public Implements<ComObject, IConnectionPoint> {
 public:
  // `container` is the source object; it owns the point and outlives it (no reference).
  TConnectionPoint(const IID& eventInterface, IConnectionPointContainer* container)
      : iid_(eventInterface), container_(container) {}

  HRESULT GetConnectionInterface(IID* iid) override;
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
  // CONNECT_E_CANNOTCONNECT for a sink without IDispatch.
  HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
  // CONNECT_E_NOCONNECTION for an unknown cookie.
  HRESULT Unadvise(DWORD cookie) override;
  HRESULT EnumConnections(IEnumConnections** connections) override;

  // Raises an event: Invoke of every sink advised at this moment, in advise order. Answers the
  // first failure (the other sinks are still called).
  HRESULT Fire(DISPID dispId, DISPPARAMS* params);
  std::size_t SinkCount();
  // Lets every sink go, as a source that will raise nothing more does: a sink that holds the
  // source (an event argument, say) and never unadvises no longer keeps both alive. A later
  // Unadvise answers CONNECT_E_NOCONNECTION.
  void DisconnectAll();

 private:
  const IID iid_;
  IConnectionPointContainer* const container_;
  std::mutex lock_;
  DWORD next_ = 1;
  std::vector<std::pair<DWORD, ComPtr<IDispatch>>> sinks_;
};

}  // namespace pw
