// A fresh folder for one test, removed with everything in it afterwards; reading and writing
// the bytes of files.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/strings.h"

namespace pw::test {

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pw-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  WideString Wide() const { return Utf8ToWide(path_.string()); }
  // A name in the folder, in UTF-16 and in UTF-8.
  WideString File(const std::string& name) const { return Utf8ToWide(Utf8File(name)); }
  std::string Utf8File(const std::string& name) const { return (path_ / name).string(); }
  // The names of the files in the folder, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

// The bytes of a file (empty when it cannot be read).
inline std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
inline std::string ReadFileBytes(const WideString& name) { return ReadFileBytes(WideToUtf8(name)); }

// Makes or replaces a file with the bytes.
inline void WriteFileBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
inline void WriteFileBytes(const WideString& name, std::string_view bytes) { WriteFileBytes(WideToUtf8(name), bytes); }

}  // namespace pw::test
