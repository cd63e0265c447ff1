// The milestone of a browser core's platform.ini: what reads is at most four numbers of at most
// 65535 each; written back as "[Build]" and "Milestone=" with those numbers it reads the same.
#include <string>

#include "core/files/milestone.h"
#include "fuzz/fuzz_support.h"

using namespace pw;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(fuzz::AsText(data, size));
  auto version = ParseMilestone(text);
  if (!version) return 0;
  fuzz::Check(
      version->major <= 65535 && version->minor <= 65535 && version->release <= 65535 && version->build <= 65535,
      "a milestone number past 65535");
  const std::string written = "[Build]\nMilestone=" + std::to_string(version->major) + "." +
                              std::to_string(version->minor) + "." + std::to_string(version->release) + "." +
                              std::to_string(version->build) + "\n";
  auto again = ParseMilestone(written);
  fuzz::Check(again && again->major == version->major && again->minor == version->minor &&
                  again->release == version->release && again->build == version->build,
              "a written milestone reads as another version");
  return 0;
}
