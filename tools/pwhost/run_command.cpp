// pwhost run SCRIPT.js [--log FILE] [--timeout SECONDS] [--browser chrome|iexplore [--url URL]]: runs a test script
// the way the host does. With --browser a tested browser of that kind is opened before the
// script (at URL; a URL without a scheme is a file, relative to the current folder) and closed
// after it, with the engine behind it. The host runs
// without dialogs, loads the module, creates and starts its plug-ins, publishes the runtime
// objects ("Log", "Sys" and whatever the plug-ins registered) to the script, prints the log as
// the run goes (and writes it to FILE), finalizes the plug-ins, and ends with a non-zero exit
// when the script fails, naming its file, line and message, when a plug-in fails to start, or
// when the log cannot be written. The log may not be the script (also through a link), nor a
// FIFO or folder; nothing is truncated before the script is read. A script that runs past
// SECONDS, is stopped by the host's run control or interrupted (Ctrl+C) ends with "The script was
// stopped".
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "core/automation/dispatch_helpers.h"
#include "core/com/exposed_objects.h"
#include "host/module_loader.h"
#include "host/plugin_host.h"
#include "host/script/script_engine.h"
#include "host/test_host.h"
#include "platform/rtl/strings.h"
#include "project/wait/wait_helper.h"
#include "tools/pwhost/commands.h"
#include "tools/pwhost/module_plugins.h"

namespace pw::host {

namespace {

// The default wait time-out of a run whose plug-ins define none, in milliseconds.
constexpr std::int32_t kDefaultWaitTimeoutMs = 10000;

constexpr const char* kLogIsTheScript = "it is the script itself";

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

// The --log file: checked and opened before the run, written line by line; the first failed
// write is kept (and later lines are not tried) so that the run ends reporting it.
class RunLog {
 public:
  ~RunLog() {
    if (fd_ >= 0) ::close(fd_);
  }
  // Empty when the log is open, else what is wrong with it.
  std::string Open(const std::string& path, const struct stat& script) {
    struct stat existing;
    if (::stat(path.c_str(), &existing) == 0 && S_ISFIFO(existing.st_mode)) return "it is not a regular file";
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd_ < 0) return WideToUtf8(SysErrorMessage(static_cast<DWORD>(errno)));
    struct stat st;
    if (::fstat(fd_, &st) != 0) return WideToUtf8(SysErrorMessage(static_cast<DWORD>(errno)));
    if (st.st_dev == script.st_dev && st.st_ino == script.st_ino) return kLogIsTheScript;
    // A device such as /dev/null may take the log; a FIFO, a socket or a folder may not.
    if (!S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode)) return "it is not a regular file";
    if (S_ISREG(st.st_mode) && ::ftruncate(fd_, 0) != 0) return WideToUtf8(SysErrorMessage(static_cast<DWORD>(errno)));
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    return {};
  }
  void Line(const std::string& text) {
    if (fd_ < 0 || error_) return;
    const std::string line = text + '\n';
    for (std::size_t done = 0; done < line.size();) {
      const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error_ = n < 0 ? errno : EIO;
        return;
      }
      done += static_cast<std::size_t>(n);
    }
  }
  // The errno of the first failed write, 0 when none failed.
  int Failed() const { return error_; }

 private:
  int fd_ = -1;
  int error_ = 0;
};

}  // namespace

int RunScriptCommand(const CommandContext& context) {
  constexpr const char* kUsage =
      "usage: pwhost run SCRIPT.js [--log FILE] [--timeout SECONDS] [--browser chrome|iexplore [--url URL]]\n";
  std::string script, logFile, browserName, url;
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
                     kUsage);
        return 2;
      }
    } else if (a == "--browser" && i + 1 < context.args.size()) {
      browserName = context.args[++i];
    } else if (a == "--url" && i + 1 < context.args.size()) {
      url = context.args[++i];
    } else if (a.rfind("--", 0) == 0 || !script.empty()) {
      std::fprintf(stderr, "pwhost run: unexpected argument %s\n%s", a.c_str(), kUsage);
      return 2;
    } else {
      script = a;
    }
  }
  if (script.empty()) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  std::error_code ec;
  if (std::filesystem::is_directory(script, ec)) {
    std::fprintf(stderr, "pwhost run: %s is a folder, not a script file\n", script.c_str());
    return 2;
  }
  std::optional<BrowserKind> browserKind;
  if (!browserName.empty()) {
    browserKind = BrowserKindOf(browserName);
    if (!browserKind) {
      std::fprintf(stderr, "pwhost run: unknown browser %s (chrome or iexplore)\n%s", browserName.c_str(), kUsage);
      return 2;
    }
  } else if (!url.empty()) {
    std::fprintf(stderr, "pwhost run: --url needs --browser\n%s", kUsage);
    return 2;
  }
  // The script is read before anything is truncated; the log is opened without blocking (a
  // FIFO would wait for a reader for ever) and must not be the script itself.
  struct stat scriptStat;
  if (::stat(script.c_str(), &scriptStat) != 0) {
    std::fprintf(stderr, "pwhost run: cannot read the script %s: %s\n", script.c_str(),
                 WideToUtf8(SysErrorMessage(static_cast<DWORD>(errno))).c_str());
    return 1;
  }
  // The run has its script (read and decoded) before the log is opened, so a script that cannot
  // run never costs the old log.
  std::string source;
  ScriptError error;
  if (!ScriptEngine::ReadFile(script, source, error)) {
    std::fprintf(stderr, "%s\n", error.Text().c_str());
    return 1;
  }
  auto log = std::make_shared<RunLog>();
  if (!logFile.empty()) {
    std::string problem = log->Open(logFile, scriptStat);
    if (!problem.empty()) {
      std::fprintf(stderr, "pwhost run: unable to write the log file %s: %s\n", logFile.c_str(), problem.c_str());
      return problem == kLogIsTheScript ? 2 : 1;
    }
  }

  LoadedModule module(context.modulePath);
  auto getRegistrator = module.ExportAs<GetPluginRegistratorProc>("GetPluginRegistrator");
  if (!getRegistrator) {
    std::fprintf(stderr, "pwhost run: the module does not export GetPluginRegistrator\n");
    return 1;
  }
  bool ok = false, started = true, ran = false;
  {
    TestHostOptions options;
    options.interactive = false;  // a script run is unattended
    TestHost host(options);
    host.SetPrinter([log](const WideString& line) {
      // A NUL inside a message is printed escaped, so that the rest of the line is not lost.
      std::string text;
      for (const char c : WideToUtf8(line)) {
        if (c == '\0')
          text += "\\0";
        else
          text += c;
      }
      std::printf("%s\n", text.c_str());
      std::fflush(stdout);
      log->Line(text);
    });
    TPluginHost plugins(host);
    if (!CreateModulePlugins(getRegistrator, plugins, "pwhost run")) return 1;
    plugins.Start();
    for (const auto& p : plugins.Plugins()) {
      // A plug-in that this build does not contain is left out, as the host leaves out plug-ins
      // it cannot create; any other failure is the run's.
      if (p.error.empty() || p.created == E_NOTIMPL) continue;
      std::fprintf(stderr, "pwhost run: the plug-in \"%s\" did not start: %s\n", WideToUtf8(p.name).c_str(),
                   WideToUtf8(p.error).c_str());
      started = false;
    }
    // A wait without a time of its own (a check box waiting for its state, a page lookup) takes
    // the default wait time-out, 10 seconds unless a plug-in defined it; without the setting
    // such a wait would never end.
    if (!host.Settings().FindSetting(project::kDefaultWaitTimeoutSetting)) {
      host.Settings().DefineSetting(project::kDefaultWaitTimeoutSetting, kSettingInteger, u"Default wait time-out",
                                    OleVariant(kDefaultWaitTimeoutMs));
    }
    bool browserReady = true;
    if (browserKind) {
      try {
        const std::string target = url.empty() ? std::string() : UrlFromArgument(url);
        auto tested = host.Browsers().Launch(*browserKind, target);
        // The browser's window shows the page's viewport: its rectangles are the viewport's size
        // (what the page picture reads).
        try {
          const auto viewport = [&](const char* expression) {
            return static_cast<std::int32_t>(tested->page->Evaluate(expression).object.value("value", 0));
          };
          const TRect view{0, 0, viewport("window.innerWidth"), viewport("window.innerHeight")};
          host.Windows().SetWindowRects(static_cast<std::int32_t>(tested->window), view, view);
        } catch (const browser::BrowserError&) {
          // a page that cannot answer now keeps empty rectangles: its picture is its viewport shot
        }
        // The frame's window node, made as a script's Window("*") of the process makes it, so
        // that what looks a window up by its handle (the page picture) finds it.
        if (auto process = tested->node->Parent()) {
          const OleVariant any[] = {OleVariant(u"*")};
          DispCallMethod(process->Dispatch(), u"Window", std::span<const OleVariant>(any), OleVariant());
        }
        host.Log().Add(LogEntry::Event,
                       u"Started the browser " + Utf8ToWide(browserName) +
                           (target.empty() ? WideString() : u" at " + Utf8ToWide(target)),
                       {}, kNormalPriority);
      } catch (const Exception& e) {
        std::fprintf(stderr, "pwhost run: the browser did not start: %s\n", WideToUtf8(e.Message()).c_str());
        browserReady = false;
        started = false;
      }
    }
    if (browserReady) {
      ScopedRunState running(host.RunState(), kRunStateRunning);  // a test runs while the script runs
      ScriptLimits limits;
      limits.timeoutMs = static_cast<std::uint64_t>(timeoutSeconds * 1000);
      limits.shouldStop = [&host] { return host.Projects().StopRequested(); };
      ScriptEngine engine(host.RuntimeObjects(), std::move(limits));
      InterruptStops interrupt(engine);
      // The plug-ins hear the run start (engine state 3) before the script and end (11) after.
      auto engineState = [&](std::int32_t state) {
        try {
          host.Broker().FireTestEngineEvent(state, OleVariant(), true);
        } catch (const Exception& e) {
          std::fprintf(stderr, "pwhost run: engine state %d: %s\n", state, WideToUtf8(e.Message()).c_str());
          started = false;
        }
      };
      engineState(3);
      ok = engine.Run(script, source, error);
      engineState(11);
      ran = true;
    }  // the script's objects are released before the plug-ins finalize
    host.Browsers().CloseAll();
    plugins.Stop();
  }
  if (!ok && ran) std::fprintf(stderr, "%s\n", error.Text().c_str());
  if (log->Failed()) {
    std::fprintf(stderr, "pwhost run: unable to write the log file %s: %s\n", logFile.c_str(),
                 WideToUtf8(SysErrorMessage(static_cast<DWORD>(log->Failed()))).c_str());
    ok = false;
  }
  if (auto disconnect = module.ExportAs<DisconnectExposedObjectsProc>(kDisconnectExposedObjectsExport))
    disconnect(WordTrue, 5000);
  module.Unload();
  return ok && started ? 0 : 1;
}

}  // namespace pw::host
