// Points of `pwhost pick`: what parses prints back as the same text and parses to the same
// point; what does not parse is refused without a fault.
#include "fuzz/fuzz_support.h"
#include "host/screen_point.h"

using namespace pw;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(fuzz::AsText(data, size));
  auto point = host::ParseScreenPoint(text);
  if (!point) return 0;
  const std::string printed = host::FormatScreenPoint(*point);
  fuzz::Check(printed == text, "a point parsed from a text that is not its printed form");
  auto again = host::ParseScreenPoint(printed);
  fuzz::Check(again && *again == *point, "a printed point parses to another point");
  return 0;
}
