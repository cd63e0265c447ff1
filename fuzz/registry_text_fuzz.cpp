// The registry files' text: what reads writes back and reads again as the same keys, and that
// text writes the same bytes; what does not read is refused with the reader's error.
#include "fuzz/fuzz_support.h"
#include "platform/com/registry_file.h"

using namespace pw;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<RegistryFileKey> keys;
  try {
    keys = ParseRegistryText(fuzz::AsText(data, size), "HKEY_CURRENT_USER");
  } catch (const RegistryFileError&) {
    return 0;
  }
  // Text that was not UTF-8 (or lone surrogates) becomes replacement characters once written:
  // from the first written form on, the round trip is exact.
  const std::string first = FormatRegistryText(keys, "HKEY_CURRENT_USER");
  const auto again = ParseRegistryText(first, "HKEY_CURRENT_USER");
  fuzz::Check(again.size() == keys.size(), "a written text reads as another number of keys");
  const std::string second = FormatRegistryText(again, "HKEY_CURRENT_USER");
  fuzz::Check(second == first, "a written text does not write back the same bytes");
  fuzz::Check(ParseRegistryText(second, "HKEY_CURRENT_USER") == again, "a written text reads as other keys");
  return 0;
}
