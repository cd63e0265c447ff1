// The Flash player's debug configuration (mm.cfg): the settings read from a file are read the
// same from what writing each of them back gives; setting a key reads back as that value and
// leaves the other keys as they were; a key that no line named, set and removed again, leaves
// the same lines.
#include <array>
#include <optional>
#include <string>

#include "fuzz/fuzz_support.h"
#include "web/settings/flash_files.h"

using namespace pw;
using namespace pw::web;

namespace {

constexpr std::array<std::string_view, 5> kKeys = {"PreloadSWF", "AS3Trace", "TraceOutputFileEnable",
                                                   "ErrorReportingEnable", "TraceOutputBuffered"};
using Settings = std::array<std::optional<std::string>, kKeys.size()>;

Settings Read(std::string_view text) {
  Settings settings;
  for (std::size_t i = 0; i < kKeys.size(); ++i) settings[i] = DebugConfigValue(text, kKeys[i]);
  return settings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(DebugConfigText(fuzz::AsText(data, size)));
  const Settings settings = Read(text);

  // Written back key by key (what a script's reads and writes do), then as a file and read.
  std::string written = text;
  for (std::size_t i = 0; i < kKeys.size(); ++i)
    if (settings[i]) written = DebugConfigWithValue(written, kKeys[i], *settings[i]);
  const std::string file = DebugConfigBytes(written);
  fuzz::Check(DebugConfigText(file) == written, "a written configuration reads as another text");
  fuzz::Check(Read(DebugConfigText(file)) == settings, "a written configuration reads as other settings");

  const std::size_t lineCount = DebugConfigLines(text).size();
  for (std::size_t i = 0; i < kKeys.size(); ++i) {
    const std::string set = DebugConfigWithValue(text, kKeys[i], "1");
    Settings expected = settings;
    expected[i].emplace("1");
    fuzz::Check(Read(set) == expected, "setting a key changes another one or does not read back");
    const auto lines = DebugConfigLines(set);
    if (lines.size() == lineCount + 1) {
      // No line was named so: the line was appended, and removing it gives the lines back.
      fuzz::Check(lines.back() == std::string(kKeys[i]) + "=1", "an appended key is not the last line");
      fuzz::Check(DebugConfigLines(DebugConfigWithValue(set, kKeys[i], "")) == DebugConfigLines(text),
                  "a key set and removed again changes the other lines");
    } else {
      fuzz::Check(lines.size() == lineCount, "setting a named key changes the number of lines");
    }
  }
  return 0;
}
