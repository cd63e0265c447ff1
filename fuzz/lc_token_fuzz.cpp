// The token of a marshaled interface, as another process would read it from the Flash local
// connection's shared memory: only a token of this process naming a live registration gives an
// object; bytes that are no token are E_INVALIDARG, any other token CO_E_OBJNOTCONNECTED, and a
// failure never hands out a pointer.
#include <unistd.h>

#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/com/apartment.h"
#include "web/flash/flash_local_connection.h"

using namespace pw;

namespace {

struct Registered {
  Registered() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    object = ComPtr<IDispatch>(MakeObject<web::TMacromediaLCDispatch>(u"pwfuzz_MacromediaFMOmega").Get());
    web::MarshalInterfaceToken(object.Get(), IDispatch::iid, &token, &cookie);
  }
  ComPtr<IDispatch> object;
  std::vector<std::uint8_t> token;
  DWORD cookie = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Registered registered;
  const std::vector<std::uint8_t> input(data, data + size);
  void* p = nullptr;
  const HRESULT hr = web::UnmarshalInterfaceToken(input, IDispatch::iid, &p);
  const bool isToken = size == web::kInterfaceTokenSize && std::memcmp(data, "PWMI", 4) == 0;
  if (input == registered.token) {
    fuzz::Check(hr == S_OK && p == registered.object.Get(), "the registered token gives another answer");
  } else if (!isToken) {
    fuzz::Check(hr == E_INVALIDARG, "bytes that are no token are not refused as such");
  } else {
    fuzz::Check(hr == CO_E_OBJNOTCONNECTED, "an unknown token is not answered as not connected");
  }
  if (Failed(hr)) fuzz::Check(p == nullptr, "a failure hands out a pointer");
  if (p) static_cast<IUnknown*>(p)->Release();
  return 0;
}
