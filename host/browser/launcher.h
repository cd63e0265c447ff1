// Starting and stopping the engine process.
//
// The engine is spawned with posix_spawn in a session of its own (so its whole process tree
// can be killed as one group), with default signal dispositions and an empty signal mask, and
// with one end of a socketpair as its descriptors 3 and 4 (commands in, answers out). The
// parent's end is close-on-exec; the child's end is first moved above descriptor 4, so the
// duplications onto 3 and 4 never alias it. The engine exits by itself when its end of the
// pipe sees the parent's end close, so a crash of the parent leaves no engine behind.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace pw::browser {

inline constexpr const char* kDefaultEnginePath = "/usr/lib/chromium/chromium-headless-shell";

struct LaunchOptions {
  std::string executable = kDefaultEnginePath;  // $PW_BROWSER_ENGINE, when set, overrides it
  std::vector<std::string> extraArguments;
  int width = 1280;
  int height = 800;
};

// A started engine: its process, the parent's end of the pipe and its fresh profile folder.
struct EngineProcess {
  pid_t pid = -1;
  int fd = -1;
  std::string profileDir;
};

// The engine's full command line for a profile folder.
std::vector<std::string> EngineArguments(const LaunchOptions& options, const std::string& profileDir);

// Creates the profile folder, the pipe and the process. Throws BrowserError (Launch) with the
// reason when any step fails; nothing is left behind then.
EngineProcess SpawnEngine(const LaunchOptions& options);

// Spawns any program with the pipe as descriptors 3 and 4 (the engine, or a stand-in in tests).
EngineProcess SpawnWithPipe(const std::string& executable, const std::vector<std::string>& arguments,
                            const std::string& profileDir);

// Waits up to `grace` (real time) for the process to exit by itself, then kills its process
// group, reaps it, waits (at most 5 s) until no member of the group runs any more and removes
// the profile folder. Safe to call once per process; the pipe
// descriptor is not touched (its reader closes it).
void StopEngine(EngineProcess& process, std::chrono::milliseconds grace);

// True while the process has not been reaped and still runs.
bool EngineRunning(const EngineProcess& process);

}  // namespace pw::browser
