#include "tools/pwhost/module_plugins.h"

#include <cstdio>

#include "platform/rtl/strings.h"

namespace pw::host {

bool CreateModulePlugins(GetPluginRegistratorProc getRegistrator, TPluginHost& plugins, const char* command) {
  ComPtr<IcvPluginRegistrator> registrator;
  HRESULT hr = getRegistrator(registrator.Put());
  if (Failed(hr) || !registrator) {
    std::fprintf(stderr, "%s: GetPluginRegistrator failed: %s\n", command,
                 WideToUtf8(FailureText(Failed(hr) ? hr : E_POINTER)).c_str());
    return false;
  }
  RegistratorTable table = ReadRegistratorTable(registrator.Get());
  for (std::size_t i = 0; i < table.plugins.size(); ++i)
    plugins.Create(registrator.Get(), static_cast<std::int32_t>(i), table.plugins[i].name);
  return true;
}

}  // namespace pw::host
