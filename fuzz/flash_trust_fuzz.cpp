// The Flash player's trust file: the first line of the input (UTF-8, up to the first line feed)
// is a location, the rest the file's bytes. The text reads back from its written bytes; adding
// keeps the text in front and lists the location once, as a whole line, and adding it again
// changes nothing; removing drops exactly the lines equal to it and keeps every other line.
#include <algorithm>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "web/settings/flash_files.h"

using namespace pw;
using namespace pw::web;

namespace {

std::size_t Count(const std::vector<WideString>& lines, const WideString& line) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = fuzz::AsText(data, size);
  const std::size_t lf = input.find('\n');
  if (lf == std::string_view::npos) return 0;
  const WideString text = TrustTextOf(input.substr(lf + 1));
  fuzz::Check(TrustTextOf(TrustFileBytes(text)) == text, "a written trust file reads as another text");

  const WideString path = Utf8ToWide(input.substr(0, lf));
  WideString location;
  try {
    location = TrustedLocation(path);
  } catch (const EOleSysError& e) {
    const WideString trimmed = WideTrim(path);
    fuzz::Check(e.ErrorCode() == E_INVALIDARG, "a refused location is not E_INVALIDARG");
    fuzz::Check(trimmed.empty() || trimmed.find_first_of(u"\r\n") != WideString::npos,
                "a location of one line is refused");
    return 0;
  }
  fuzz::Check(location == WideTrim(path), "a stored location is not the trimmed path");

  const std::vector<WideString> lines = TrustTextLines(text);
  const auto added = TrustTextWithLocation(text, location);
  if (!added) {
    fuzz::Check(Count(lines, location) > 0, "a location no line equals counts as listed");
  } else {
    fuzz::Check(Count(lines, location) == 0, "a listed location is added again");
    fuzz::Check(added->starts_with(text), "adding a location changes the text in front");
    std::vector<WideString> expected = lines;
    expected.push_back(location);
    fuzz::Check(TrustTextLines(*added) == expected, "adding a location changes the other lines");
    fuzz::Check(!TrustTextWithLocation(*added, location), "an added location is added again");
    fuzz::Check(TrustTextOf(TrustFileBytes(*added)) == *added, "an added location does not read back");
  }

  const WideString removed = TrustTextWithoutLocation(text, location);
  std::vector<WideString> kept;
  for (const WideString& line : lines)
    if (line != location) kept.push_back(line);
  fuzz::Check(TrustTextLines(removed) == kept, "removing a location drops other lines or keeps it");
  fuzz::Check(TrustTextWithoutLocation(removed, location) == removed, "removing a location twice changes more");
  if (added)
    fuzz::Check(TrustTextLines(TrustTextWithoutLocation(*added, location)) == kept,
                "an added location removed again leaves other lines");
  return 0;
}
