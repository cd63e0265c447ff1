#include "platform/marshal.h"

#include <map>
#include <mutex>
#include <vector>

#include "platform/comptr.h"

namespace pw {

namespace {

struct Stub {
  IUnknown* identity;  // holds one reference
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

}  // namespace

HRESULT CoMarshalInterfaceStrong(IUnknown* object, StubCookie* cookie) {
  if (!object || !cookie) return E_POINTER;
  IUnknown* identity = nullptr;
  HRESULT hr = object->QueryInterface(IUnknown::iid, reinterpret_cast<void**>(&identity));
  if (Failed(hr)) return hr;
  if (auto ext = QueryAs<IExternalConnection>(identity)) ext->AddConnection(EXTCONN_STRONG, 0);
  auto& m = Manager();
  std::lock_guard g(m.lock);
  *cookie = m.next++;
  m.stubs.emplace(*cookie, Stub{identity});
  return S_OK;
}

HRESULT CoReleaseMarshalData(StubCookie cookie) {
  IUnknown* identity = nullptr;
  {
    auto& m = Manager();
    std::lock_guard g(m.lock);
    auto it = m.stubs.find(cookie);
    if (it == m.stubs.end()) return E_INVALIDARG;
    identity = it->second.identity;
    m.stubs.erase(it);
  }
  EndConnection(identity);
  return S_OK;
}

HRESULT CoDisconnectObject(IUnknown* object, DWORD) {
  if (!object) return E_INVALIDARG;
  IUnknown* identity = IdentityOf(object);
  std::vector<IUnknown*> ended;
  {
    auto& m = Manager();
    std::lock_guard g(m.lock);
    for (auto it = m.stubs.begin(); it != m.stubs.end();) {
      if (it->second.identity == identity) {
        ended.push_back(it->second.identity);
        it = m.stubs.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto* unk : ended) EndConnection(unk);
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

}  // namespace pw
