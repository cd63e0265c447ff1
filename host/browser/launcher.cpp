#include "host/browser/launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <thread>

#include "host/browser/errors.h"

extern char** environ;

namespace pw::browser {

namespace {

[[noreturn]] void Fail(const std::string& what, int error) {
  throw BrowserError(ErrorKind::Launch, "The browser could not be started: " + what + ": " + std::strerror(error));
}

std::string MakeProfileDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pw-browser-XXXXXX").string();
  if (!mkdtemp(pattern.data())) Fail("no profile folder", errno);
  return pattern;
}

// Members of the process group that have not ended yet. Orphaned helpers are reaped by
// whoever adopted them, so a zombie counts as gone.
int LiveGroupMembers(pid_t group) {
  int live = 0;
  std::error_code error;
  for (std::filesystem::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
    std::ifstream stat(it->path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    const auto close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size()) continue;
    const char state = line[close + 2];
    long parent = 0, pgrp = 0;
    if (std::sscanf(line.c_str() + close + 3, "%ld %ld", &parent, &pgrp) != 2) continue;
    if (pgrp == group && state != 'Z' && state != 'X') ++live;
  }
  return live;
}

}  // namespace

std::vector<std::string> EngineArguments(const LaunchOptions& options, const std::string& profileDir) {
  std::vector<std::string> args = {
      "--no-sandbox",
      "--remote-debugging-pipe",
      "--user-data-dir=" + profileDir,
      "--no-first-run",
      "--no-default-browser-check",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-extensions",
      "--mute-audio",
      "--hide-scrollbars",
      "--window-size=" + std::to_string(options.width) + "," + std::to_string(options.height),
  };
  args.insert(args.end(), options.extraArguments.begin(), options.extraArguments.end());
  args.push_back("about:blank");
  return args;
}

EngineProcess SpawnEngine(const LaunchOptions& options) {
  std::string executable = options.executable;
  if (const char* env = std::getenv("PW_BROWSER_ENGINE"); env && *env) executable = env;
  if (access(executable.c_str(), X_OK) != 0) {
    throw BrowserError(ErrorKind::Launch, "The browser could not be started: " + executable +
                                              " is missing (install the package chromium-headless-shell)");
  }
  const std::string profile = MakeProfileDir();
  try {
    return SpawnWithPipe(executable, EngineArguments(options, profile), profile);
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove_all(profile, ignored);
    throw;
  }
}

EngineProcess SpawnWithPipe(const std::string& executable, const std::vector<std::string>& arguments,
                            const std::string& profileDir) {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) Fail("no pipe", errno);
  const int parentEnd = pair[0];
  // The child's end above 4, so that duplicating it onto 3 and 4 never finds it there already.
  const int childEnd = fcntl(pair[1], F_DUPFD_CLOEXEC, 5);
  const int dupError = errno;
  close(pair[1]);
  if (childEnd < 0) {
    close(parentEnd);
    Fail("no pipe", dupError);
  }

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, childEnd, 3);
  posix_spawn_file_actions_adddup2(&actions, childEnd, 4);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(executable.c_str()));
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  pid_t pid = -1;
  const int rc = posix_spawn(&pid, executable.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(childEnd);
  if (rc != 0) {
    close(parentEnd);
    Fail(executable, rc);
  }
  return EngineProcess{pid, parentEnd, profileDir};
}

bool EngineRunning(const EngineProcess& process) { return process.pid > 0 && kill(process.pid, 0) == 0; }

void StopEngine(EngineProcess& process, std::chrono::milliseconds grace) {
  if (process.pid > 0) {
    // A bounded wait for a clean exit: the process is reaped as soon as it ends.
    const auto deadline = std::chrono::steady_clock::now() + grace;
    int status = 0;
    pid_t reaped = 0;
    auto step = std::chrono::milliseconds(1);
    while ((reaped = waitpid(process.pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(step);
      step = std::min(step * 2, std::chrono::milliseconds(20));
    }
    // The helpers of the engine share its session and process group: kill what is left.
    kill(-process.pid, SIGKILL);
    if (reaped == 0) {
      while (waitpid(process.pid, &status, 0) < 0 && errno == EINTR) {
      }
    }
    // SIGKILL is delivered asynchronously: the helpers end a moment later. Stopping means
    // nothing of the engine runs any more, so wait (bounded) for the last of them.
    const auto gone = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    step = std::chrono::milliseconds(1);
    while (LiveGroupMembers(process.pid) > 0 && std::chrono::steady_clock::now() < gone) {
      kill(-process.pid, SIGKILL);
      std::this_thread::sleep_for(step);
      step = std::min(step * 2, std::chrono::milliseconds(20));
    }
    process.pid = -1;
  }
  if (!process.profileDir.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(process.profileDir, ignored);
    process.profileDir.clear();
  }
}

}  // namespace pw::browser
