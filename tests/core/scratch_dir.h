// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/strings.h"

namespace pw::test {

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pw-core-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  WideString Wide() const { return Utf8ToWide(path_.string()); }
  WideString File(const std::string& name) const { return Utf8ToWide((path_ / name).string()); }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFileBytes(const WideString& name) {
  std::ifstream in(WideToUtf8(name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFileBytes(const WideString& name, const std::string& data) {
  std::ofstream out(WideToUtf8(name), std::ios::binary);
  out << data;
}

}  // namespace pw::test
