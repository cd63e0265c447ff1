#include "openapps/plugin_base.h"

#include "platform/automation/out_params.h"
#include "platform/rtl/exceptions.h"

namespace pw {

HRESULT TcvBasePlugin::GetKey(GUID* key) {
  return SafeCall([&] {
    CheckOut(key);
    *key = DoGetKey();
  });
}

HRESULT TcvBasePlugin::Initialize(IcvBaseManager* manager) {
  return SafeCall([&] { DoInitialize(manager); });
}

HRESULT TcvBasePlugin::PostInitialize() {
  return SafeCall([&] { DoPostInitialize(); });
}

HRESULT TcvBasePlugin::Finalize() {
  return SafeCall([&] { DoFinalize(); });
}

HRESULT TcvBasePlugin::Notify(std::int32_t code) {
  return SafeCall([&] { DoNotify(code); });
}

GUID TcvBasePlugin::GetPluginKey() {
  GUID key{};
  GetKey(&key);
  return key;
}

void TcvBasePlugin::DoInitialize(IcvBaseManager* manager) { manager_ = manager; }

void TcvBasePlugin::DoFinalize() { manager_ = nullptr; }

}  // namespace pw
