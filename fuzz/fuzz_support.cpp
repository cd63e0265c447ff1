#include "fuzz/fuzz_support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace pw::fuzz {

MemoryFile::MemoryFile(std::string_view bytes) {
  fd_ = ::memfd_create("fuzz-input", MFD_CLOEXEC);
  if (fd_ < 0) throw std::runtime_error("memfd_create failed");
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) throw std::runtime_error("writing the memory file failed");
    done += static_cast<std::size_t>(n);
  }
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

MemoryFile::~MemoryFile() { ::close(fd_); }

namespace {

std::string MakeScratchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pw-fuzz-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  ::setenv("TMPDIR", pattern.c_str(), 1);
  static std::string folder;
  folder = pattern;
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  });
  return pattern;
}

}  // namespace

const std::string& ScratchFolder() {
  static const std::string folder = MakeScratchFolder();
  return folder;
}

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz oracle failed: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

}  // namespace pw::fuzz
