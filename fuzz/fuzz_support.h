// What the fuzz targets share: the bytes of an input as a file that is only in memory, a
// private temporary folder, and a check that ends the process with a message (a failed oracle
// is a fault like a crash).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pw::fuzz {

// A file in memory (memfd) holding the bytes; Path() names it for calls that open files by
// name. Nothing is written to a disk.
class MemoryFile {
 public:
  explicit MemoryFile(std::string_view bytes);
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// The process's own temporary folder, made on first use and removed at exit; TMPDIR points
// at it, so temporary files of the library land there too.
const std::string& ScratchFolder();

// Ends the process with the message when the condition does not hold.
void Check(bool condition, const char* what);

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace pw::fuzz
