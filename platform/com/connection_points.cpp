#include "platform/com/connection_points.h"

namespace pw {

HRESULT TConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

HRESULT TConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (!container) return E_POINTER;
  *container = container_;
  if (container_) container_->AddRef();
  return container_ ? S_OK : E_FAIL;
}

HRESULT TConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  ComPtr<IDispatch> dispatch = QueryAs<IDispatch>(sink);
  if (!dispatch) return CONNECT_E_CANNOTCONNECT;
  std::lock_guard g(lock_);
  *cookie = next_++;
  sinks_.emplace_back(*cookie, std::move(dispatch));
  return S_OK;
}

HRESULT TConnectionPoint::Unadvise(DWORD cookie) {
  ComPtr<IDispatch> gone;  // released after the lock
  std::lock_guard g(lock_);
  for (auto it = sinks_.begin(); it != sinks_.end(); ++it)
    if (it->first == cookie) {
      gone = std::move(it->second);
      sinks_.erase(it);
      return S_OK;
    }
  return CONNECT_E_NOCONNECTION;
}

HRESULT TConnectionPoint::EnumConnections(IEnumConnections** connections) {
  if (connections) *connections = nullptr;
  return E_NOTIMPL;
}

HRESULT TConnectionPoint::Fire(DISPID dispId, DISPPARAMS* params) {
  std::vector<ComPtr<IDispatch>> sinks;
  {
    std::lock_guard g(lock_);
    for (auto& [cookie, sink] : sinks_) sinks.push_back(sink);
  }
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  HRESULT first = S_OK;
  for (auto& sink : sinks) {
    HRESULT hr = sink->Invoke(dispId, GUID_NULL, 0, DISPATCH_METHOD, params ? params : &none, nullptr, nullptr, nullptr);
    if (Failed(hr) && Succeeded(first)) first = hr;
  }
  return first;
}

void TConnectionPoint::DisconnectAll() {
  std::vector<std::pair<DWORD, ComPtr<IDispatch>>> sinks;  // released outside the lock
  {
    std::lock_guard g(lock_);
    sinks.swap(sinks_);
  }
}

std::size_t TConnectionPoint::SinkCount() {
  std::lock_guard g(lock_);
  return sinks_.size();
}

}  // namespace pw
