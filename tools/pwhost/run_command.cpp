// pwhost run SCRIPT.js [--log FILE] [--timeout SECONDS]: runs a test script the way the host does. The host runs
// without dialogs, loads the module, creates and starts its plug-ins, publishes the runtime
// objects ("Log", "Sys" and whatever the plug-ins registered) to the script, prints the log as
// the run goes (and writes it to FILE), finalizes the plug-ins, and ends with a non-zero exit
// when the script fails, naming its file, line and message, or when a plug-in fails to start.
// A script that runs past SECONDS, is stopped by the host's run control or interrupted (Ctrl+C)
// ends with "The script was stopped".
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

namespace {

// The engine that a Ctrl+C stops while a script runs.
std::atomic<ScriptEngine*> gRunningEngine{nullptr};

void StopOnInterrupt(int) {
  if (ScriptEngine* engine = gRunningEngine.load()) engine->Stop();
}

// Ctrl+C stops the engine for the life of a scope; the earlier handler comes back afterwards.
class InterruptStops {
 public:
  explicit InterruptStops(ScriptEngine& engine) {
    gRunningEngine = &engine;
    struct sigaction action {};
    action.sa_handler = StopOnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
  }
  ~InterruptStops() {
    sigaction(SIGINT, &previous_, nullptr);
    gRunningEngine = nullptr;
  }
  InterruptStops(const InterruptStops&) = delete;
  InterruptStops& operator=(const InterruptStops&) = delete;

 private:
  struct sigaction previous_ {};
};

constexpr const char* kRunUsage = "usage: pwhost run SCRIPT.js [--log FILE] [--timeout SECONDS]\n";

}  // namespace

int RunScriptCommand(const CommandContext& context) {
  std::string script, logFile;
  double timeoutSeconds = 0;
  for (std::size_t i = 0; i < context.args.size(); ++i) {
    const std::string& a = context.args[i];
    if (a == "--log" && i + 1 < context.args.size()) {
      logFile = context.args[++i];
    } else if (a == "--timeout" && i + 1 < context.args.size()) {
      const std::string& value = context.args[++i];
      char* end = nullptr;
      timeoutSeconds = std::strtod(value.c_str(), &end);
      if (value.empty() || *end || !(timeoutSeconds > 0) || timeoutSeconds > 1e9) {
        std::fprintf(stderr, "pwhost run: the time-out must be a number of seconds above 0, not %s\n%s", value.c_str(),
                     kRunUsage);
        return 2;
      }
    } else if (a.rfind("--", 0) == 0 || !script.empty()) {
      std::fprintf(stderr, "pwhost run: unexpected argument %s\n%s", a.c_str(), kRunUsage);
      return 2;
    } else {
      script = a;
    }
  }
  if (script.empty()) {
    std::fprintf(stderr, "%s", kRunUsage);
    return 2;
  }
  std::error_code ec;
  if (std::filesystem::is_directory(script, ec)) {
    std::fprintf(stderr, "pwhost run: %s is a folder, not a script file\n", script.c_str());
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
      ScriptLimits limits;
      limits.timeoutMs = static_cast<std::uint64_t>(timeoutSeconds * 1000);
      limits.shouldStop = [&host] { return host.Projects().StopRequested(); };
      ScriptEngine engine(host.RuntimeObjects(), std::move(limits));
      InterruptStops interrupt(engine);
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
