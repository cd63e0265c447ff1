// Paths of `pwhost options set`: split the bytes into names; when they split, print the names
// back as a path and split that: the same names.
#include "core/options/options_path.h"
#include "fuzz/fuzz_support.h"

using namespace pw;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<WideString> names;
  try {
    names = SplitOptionsPath(fuzz::AsText(data, size));
  } catch (const EcvOptionsPathError&) {
    return 0;
  }
  fuzz::Check(!names.empty(), "a path split into no names");
  std::string printed;
  for (const WideString& name : names) {
    if (!printed.empty()) printed += '/';
    printed += EscapeOptionsText(name, true);
  }
  std::vector<WideString> again;
  try {
    again = SplitOptionsPath(printed);
  } catch (const EcvOptionsPathError&) {
    fuzz::Check(false, "a printed path does not split");
  }
  fuzz::Check(again == names, "a printed path splits into other names");
  return 0;
}
