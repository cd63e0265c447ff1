// Where the tests find the built programs and the sources, and how they run a program (in a
// shell, or a command function in this process with its output captured).
#pragma once

#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <utility>

namespace pw::test {

// The host folder (pwhost, the module, the helper libraries) and the source tree, as the build
// configured them.
inline std::string HostDir() { return PW_TEST_HOST_DIR; }
inline std::string SourceDir() { return PW_TEST_SOURCE_DIR; }

// Runs a shell command; its standard output and error together, and its exit code (-1 when it
// could not run or did not exit normally).
inline std::string RunCommand(const std::string& command, int& exitCode) {
  std::string out;
  exitCode = -1;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return out;
  char buf[512];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  const int status = pclose(p);
  if (status != -1 && WIFEXITED(status)) exitCode = WEXITSTATUS(status);
  return out;
}

// What a command run in this process printed, and its exit code.
struct CapturedRun {
  int code;
  std::string out, err;
};

// Runs `run(out, err)` (a command that prints to the two files and answers its exit code) with
// temporary files as its output and error, and collects what it printed.
template <class Run>
CapturedRun CaptureRun(Run&& run) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  CapturedRun r{std::forward<Run>(run)(out, err), {}, {}};
  for (auto [f, s] : {std::pair{out, &r.out}, {err, &r.err}}) {
    std::rewind(f);
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) s->append(buf, n);
    std::fclose(f);
  }
  return r;
}

}  // namespace pw::test
