// pwhost: the test host's command-line front. It loads the module as the host does and runs
// the module's main jobs.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/exposed_objects.h"
#include "host/module_loader.h"
#include "platform/apartment.h"
#include "platform/exceptions.h"
#include "platform/strings.h"

namespace {

using namespace pw;

void Usage() {
  std::puts(
      "usage: pwhost [--module FILE] [COMMAND]\n"
      "\n"
      "commands:\n"
      "  main     load the module, disconnect its exposed objects, unload it (the default)\n"
      "  help     show this text");
}

std::string Hex(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

int RunMain(const std::string& modulePath) {
  // The host's main thread is a single-threaded apartment, as a desktop host's is.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  struct Leave {
    ~Leave() { CoUninitialize(); }
  } leave;
  host::LoadedModule module(modulePath);
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

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string modulePath = host::DefaultModulePath();
  std::size_t i = 0;
  while (i < args.size() && args[i].rfind("--", 0) == 0) {
    if (args[i] == "--module" && i + 1 < args.size()) {
      modulePath = args[i + 1];
      i += 2;
    } else if (args[i] == "--help") {
      Usage();
      return 0;
    } else {
      std::fprintf(stderr, "pwhost: unknown option %s\n", args[i].c_str());
      Usage();
      return 2;
    }
  }
  std::string command = i < args.size() ? args[i] : "main";
  try {
    if (command == "main") return RunMain(modulePath);
    if (command == "help") {
      Usage();
      return 0;
    }
    std::fprintf(stderr, "pwhost: unknown command %s\n", command.c_str());
    Usage();
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pwhost: %s\n", e.what());
    return 1;
  }
}
