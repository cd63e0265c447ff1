// The regular-expression helper: compile a pattern of its dialect and match it against a
// subject, both taken from the bytes as UTF-16 (the first two bytes give the pattern's length).
// A pattern that does not compile and a match that hits the limits are answers; nothing may
// run unbounded or fault.
#include "fuzz/fuzz_support.h"
#include "helpers/regexpr/pattern.h"

using namespace pw;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::u16string units((size - 2) / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(data[2 + 2 * i] | data[3 + 2 * i] << 8);
  const std::size_t split = std::min<std::size_t>(units.size(), data[0] | data[1] << 8);
  const std::u16string_view pattern = std::u16string_view(units).substr(0, split);
  const std::u16string_view subject = std::u16string_view(units).substr(split);
  try {
    helpers::CompiledPattern compiled(pattern);
    std::vector<std::u16string> captures;
    if (compiled.Match(subject, &captures)) {
      fuzz::Check(!captures.empty(), "a match without the whole match");
      for (const auto& c : captures) fuzz::Check(c.size() <= subject.size(), "a capture longer than the subject");
    }
  } catch (const helpers::ERegExpr&) {
  }
  return 0;
}
