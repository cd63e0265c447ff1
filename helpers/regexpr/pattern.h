// A pattern of the regular-expression library's dialect (README.md beside this file),
// translated to PCRE2's syntax and compiled for its 16-bit flavour, and matched with bounded
// effort: a match that would take more than the limits below fails with an error instead of
// running on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/exceptions.h"

struct pcre2_real_code_16;
struct pcre2_real_match_context_16;

namespace pw::helpers {

class ERegExpr : public Exception {
 public:
  using Exception::Exception;
};

// How many times one match may call PCRE2's internal match function: patterns meet texts of
// test settings and window captions, which a well-formed pattern matches in far fewer steps;
// a nested repetition that backtracks exponentially hits it within a few milliseconds.
inline constexpr std::uint32_t kRegExprMatchLimit = 1'000'000;
// How deep the backtracking of one match may nest.
inline constexpr std::uint32_t kRegExprDepthLimit = 10'000;
// The heap (KiB) that one match may use for its backtracking frames.
inline constexpr std::uint32_t kRegExprHeapLimitKiB = 16 * 1024;

// The dialect's pattern in PCRE2's syntax.
std::u16string TranslatePattern(std::u16string_view pattern);

class CompiledPattern {
 public:
  // Raises ERegExpr "Invalid regular expression: ..." for a pattern that does not compile.
  explicit CompiledPattern(std::u16string_view pattern);
  ~CompiledPattern();
  CompiledPattern(const CompiledPattern&) = delete;
  CompiledPattern& operator=(const CompiledPattern&) = delete;

  // Whether it matches; the captures (0 the whole match) when it does. Raises ERegExpr when
  // the match would exceed one of the limits above.
  bool Match(std::u16string_view subject, std::vector<std::u16string>* captures) const;

 private:
  pcre2_real_code_16* code_ = nullptr;
  pcre2_real_match_context_16* context_ = nullptr;
};

}  // namespace pw::helpers
