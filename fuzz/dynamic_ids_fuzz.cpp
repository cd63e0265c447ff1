// The hook side's matcher of dynamic identifiers: the pattern text and the identifiers both
// come from the bytes as UTF-16 (little-endian), split at U+0000: the text first, then up to
// eight identifiers. Lines without a prefix, expressions that do not compile and matches past
// PCRE2's limits are answers; nothing may run unbounded or fault, and a result must name a line
// of the text.
#include "fuzz/fuzz_support.h"
#include "host/dynamic_id_matcher.h"

using namespace pw;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string units(size / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  std::vector<std::u16string_view> parts;
  std::u16string_view rest(units);
  while (parts.size() < 9) {
    const std::size_t end = rest.find(u'\0');
    parts.push_back(rest.substr(0, end));
    if (end == std::u16string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  host::TDynamicIdMatcher matcher(parts[0]);
  fuzz::Check(matcher.Problems().size() <= matcher.LineCount(), "more problems than lines");
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const host::DynamicIdMatch m = matcher.Match(parts[i]);
    if (m.kind == host::DynamicIdMatch::NoMatch) {
      fuzz::Check(m.line == -1 && m.stableId.empty(), "a miss that names a line");
      continue;
    }
    fuzz::Check(m.line >= 0 && static_cast<std::size_t>(m.line) < matcher.LineCount(), "a match outside the lines");
    fuzz::Check((m.kind == host::DynamicIdMatch::Stable) == !m.stableId.empty(), "stable ID and kind disagree");
    const host::DynamicIdMatch again = matcher.Match(parts[i]);
    fuzz::Check(again.line == m.line && again.stableId == m.stableId, "the same identifier matched differently");
  }
  return 0;
}
