// pwhost main: loads the module as the host does, disconnects its exposed objects and unloads it.
#include <cstdio>
#include <string>

#include "core/com/exposed_objects.h"
#include "tools/pwhost/commands.h"
#include "host/module_loader.h"

namespace pw::host {

namespace {
std::string Hex(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}
}  // namespace

int RunMainCommand(const CommandContext& context) {
  LoadedModule module(context.modulePath);
  std::printf("Loaded module %s\n", module.Path().c_str());
  for (const char* name : {"DisconnectExposedObjects", "GetPluginRegistrator"})
    std::printf("  export %-26s %s\n", name, module.Export(name) ? "found" : "not in this build");
  auto disconnect = module.ExportAs<DisconnectExposedObjectsProc>(kDisconnectExposedObjectsExport);
  if (!disconnect) {
    std::fprintf(stderr, "pwhost: the module does not export DisconnectExposedObjects\n");
    return 1;
  }
  HRESULT hr = disconnect(WordTrue, 5000);
  std::printf("DisconnectExposedObjects(True, 5000) returned %s\n", Hex(hr).c_str());
  bool gone = module.Unload();
  std::printf("Unloaded module%s\n", gone ? "" : " (still mapped by another user)");
  return Succeeded(hr) ? 0 : 1;
}

}  // namespace pw::host
