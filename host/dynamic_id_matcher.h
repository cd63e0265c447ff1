// The hook's side of dynamic identifiers: the matcher of the pattern text that the web plug-in
// sends to its browser hook, as the host's test dialog and the browser layer use it.
//
// The text holds one pattern a line, lines separated by LF (a CR before it is dropped):
// "normal:" or "regexp:", the pattern, one TAB, the stable-ID template. A "normal:" pattern is a
// wildcard over the whole identifier (`WideMatchesMask`: "*" any run, "?" one character); a
// "regexp:" pattern is an expression of the regular-expression helper's dialect (braces capture,
// parentheses only group, "\h" a hexadecimal digit), found anywhere unless anchored. Patterns are
// tried in order; the first that matches decides: an empty template means the identifier is not
// used; otherwise "$n" is replaced by the n-th capture (empty when it took no part), "$$" by "$",
// and a "$" before anything else stays as it is. A template that expands to nothing also leaves
// the identifier unused (an empty name cannot name an object).
//
// Bad input never stops the matcher: a line without a known prefix, an expression that does not
// compile, and a match that reaches PCRE2's limits (the helper's match limit; JIT stack 1 MiB)
// count as no match for that line; `Problems()` names the lines that could not be used.
// Expressions are JIT-compiled when PCRE2 can, else interpreted under the same limits.
//
// A matcher keeps one scratch block for captures, so one object serves one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pw::host {

struct DynamicIdMatch {
  enum Kind { NoMatch, NotUsed, Stable };
  Kind kind = NoMatch;
  std::int32_t line = -1;   // the line (pattern) that matched, from 0
  std::u16string stableId;  // Kind Stable: the expanded template
};

class TDynamicIdMatcher {
 public:
  explicit TDynamicIdMatcher(std::u16string_view text);
  ~TDynamicIdMatcher();
  TDynamicIdMatcher(const TDynamicIdMatcher&) = delete;
  TDynamicIdMatcher& operator=(const TDynamicIdMatcher&) = delete;

  DynamicIdMatch Match(std::u16string_view id);

  // The number of lines of the text (usable or not).
  std::size_t LineCount() const;
  // "line N: reason" for each line that never matches.
  const std::vector<std::u16string>& Problems() const { return problems_; }

 private:
  struct Line;
  std::vector<std::unique_ptr<Line>> lines_;
  std::vector<std::u16string> problems_;
  struct Scratch;
  std::unique_ptr<Scratch> scratch_;
};

// Replaces "$n" in a template by the captures (index 0 the whole match); see above.
std::u16string ExpandStableIdTemplate(std::u16string_view templ, const std::vector<std::u16string_view>& captures);

}  // namespace pw::host
