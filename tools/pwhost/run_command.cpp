// pwhost run SCRIPT.js [--log FILE]: runs a test script the way the host does. The host runs
// without dialogs, loads the module, creates and starts its plug-ins, publishes the runtime
// objects ("Log", "Sys" and whatever the plug-ins registered) to the script, prints the log as
// the run goes (and writes it to FILE), finalizes the plug-ins, and ends with a non-zero exit
// when the script fails, naming its file, line and message, or when a plug-in fails to start.
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "core/com/exposed_objects.h"
#include "tools/pwhost/commands.h"
#include "host/module_loader.h"
#include "host/plugin_host.h"
#include "host/script/script_engine.h"
#include "host/test_host.h"
#include "platform/rtl/strings.h"

namespace pw::host {

int RunScriptCommand(const CommandContext& context) {
  std::string script, logFile;
  for (std::size_t i = 0; i < context.args.size(); ++i) {
    const std::string& a = context.args[i];
    if (a == "--log" && i + 1 < context.args.size()) {
      logFile = context.args[++i];
    } else if (a.rfind("--", 0) == 0 || !script.empty()) {
      std::fprintf(stderr, "pwhost run: unexpected argument %s\nusage: pwhost run SCRIPT.js [--log FILE]\n", a.c_str());
      return 2;
    } else {
      script = a;
    }
  }
  if (script.empty()) {
    std::fprintf(stderr, "usage: pwhost run SCRIPT.js [--log FILE]\n");
    return 2;
  }
  auto log = std::make_shared<std::ofstream>();
  if (!logFile.empty()) {
    log->open(logFile, std::ios::binary | std::ios::trunc);
    if (!*log) {
      std::fprintf(stderr, "pwhost run: unable to write the log file %s\n", logFile.c_str());
      return 1;
    }
  }

  LoadedModule module(context.modulePath);
  auto getRegistrator = module.ExportAs<GetPluginRegistratorProc>("GetPluginRegistrator");
  if (!getRegistrator) {
    std::fprintf(stderr, "pwhost run: the module does not export GetPluginRegistrator\n");
    return 1;
  }
  bool ok = false, started = true;
  ScriptError error;
  {
    TestHostOptions options;
    options.interactive = false;  // a script run is unattended
    TestHost host(options);
    host.SetPrinter([log](const WideString& line) {
      std::string text = WideToUtf8(line);
      std::printf("%s\n", text.c_str());
      std::fflush(stdout);
      if (log->is_open()) *log << text << '\n' << std::flush;
    });
    TPluginHost plugins(host);
    {
      ComPtr<IcvPluginRegistrator> registrator;
      HRESULT hr = getRegistrator(registrator.Put());
      if (Failed(hr) || !registrator) {
        std::fprintf(stderr, "pwhost run: GetPluginRegistrator failed: %s\n",
                     WideToUtf8(FailureText(Failed(hr) ? hr : E_POINTER)).c_str());
        return 1;
      }
      RegistratorTable table = ReadRegistratorTable(registrator.Get());
      for (std::size_t i = 0; i < table.plugins.size(); ++i)
        plugins.Create(registrator.Get(), static_cast<std::int32_t>(i), table.plugins[i].name);
    }
    plugins.Start();
    for (const auto& p : plugins.Plugins()) {
      // A plug-in that this build does not contain is left out, as the host leaves out plug-ins
      // it cannot create; any other failure is the run's.
      if (p.error.empty() || p.created == E_NOTIMPL) continue;
      std::fprintf(stderr, "pwhost run: the plug-in \"%s\" did not start: %s\n", WideToUtf8(p.name).c_str(),
                   WideToUtf8(p.error).c_str());
      started = false;
    }
    {
      ScopedRunState running(host.RunState(), kRunStateRunning);  // a test runs while the script runs
      ScriptEngine engine(host.RuntimeObjects());
      ok = engine.RunFile(script, error);
    }  // the script's objects are released before the plug-ins finalize
    plugins.Stop();
  }
  if (!ok) std::fprintf(stderr, "%s\n", error.Text().c_str());
  if (auto disconnect = module.ExportAs<DisconnectExposedObjectsProc>(kDisconnectExposedObjectsExport))
    disconnect(WordTrue, 5000);
  module.Unload();
  return ok && started ? 0 : 1;
}

}  // namespace pw::host
