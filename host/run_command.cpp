// pwhost run SCRIPT.js [--log FILE]: runs a test script the way the host does. The host runs
// without dialogs, loads the module, publishes its runtime objects ("Log", "Sys") to the
// script, prints the log as the run goes (and writes it to FILE), and ends with a non-zero exit
// when the script fails, naming its file, line and message.
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "core/exposed_objects.h"
#include "host/commands.h"
#include "host/module_loader.h"
#include "host/script_engine.h"
#include "host/test_host.h"
#include "platform/strings.h"

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
  bool ok = false;
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
    // Plug-ins come with the module's registrator; until the module has one, the script sees
    // the host's own runtime objects.
    ScriptEngine engine(host.RuntimeObjects());
    ok = engine.RunFile(script, error);
  }
  if (!ok) std::fprintf(stderr, "%s\n", error.Text().c_str());
  if (auto disconnect = module.ExportAs<DisconnectExposedObjectsProc>(kDisconnectExposedObjectsExport))
    disconnect(WordTrue, 5000);
  module.Unload();
  return ok ? 0 : 1;
}

}  // namespace pw::host
