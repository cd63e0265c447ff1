// The replay driver: feeds files to a fuzz target without libFuzzer, so that every build (gcc
// included) replays the seed corpus and the regression inputs.
//
//   fuzz_NAME PATH...   each PATH a file, or a folder whose files (recursively, sorted by
//                       name) are fed in turn; names starting with "." are skipped
//
// Each file's name is printed before it runs, so a crash names its reproducer. Exit 1 when no
// input was found; a fault ends the process as the fault does.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  std::vector<std::filesystem::path> files;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
      std::vector<std::filesystem::path> found;
      for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
        if (entry.is_regular_file() && !entry.path().filename().string().starts_with("."))
          found.push_back(entry.path());
      std::sort(found.begin(), found.end());
      files.insert(files.end(), found.begin(), found.end());
    } else if (std::filesystem::exists(path, ec)) {
      files.push_back(path);
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "replay: no input files\n");
    return 1;
  }
  for (const auto& file : files) {
    std::fprintf(stderr, "replay: %s\n", file.c_str());
    std::fflush(stderr);
    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::fprintf(stderr, "replay: %zu inputs, no fault\n", files.size());
  return 0;
}
