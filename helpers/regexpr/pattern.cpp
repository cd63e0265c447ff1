#include "helpers/regexpr/pattern.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

namespace pw::helpers {

std::u16string TranslatePattern(std::u16string_view pattern) {
  std::u16string out;
  bool inClass = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c == u'\\' && i + 1 < pattern.size()) {
      const char16_t d = pattern[++i];
      if (d == u'h') {
        out += inClass ? u"0-9A-Fa-f" : u"[0-9A-Fa-f]";
      } else {
        out += c;
        out += d;
      }
      continue;
    }
    if (inClass) {
      out += c;
      if (c == u']') inClass = false;
      continue;
    }
    switch (c) {
      case u'[':
        out += c;
        inClass = true;
        // A leading '^' and a ']' right after the opening are part of the class.
        if (i + 1 < pattern.size() && pattern[i + 1] == u'^') out += pattern[++i];
        if (i + 1 < pattern.size() && pattern[i + 1] == u']') out += pattern[++i];
        break;
      case u'{': out += u'('; break;
      case u'}': out += u')'; break;
      case u'(': out += u"(?:"; break;
      default: out += c;
    }
  }
  return out;
}

CompiledPattern::CompiledPattern(std::u16string_view pattern) {
  std::u16string translated = TranslatePattern(pattern);
  int error = 0;
  PCRE2_SIZE offset = 0;
  code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(translated.data()), translated.size(),
                        PCRE2_UTF | PCRE2_MATCH_INVALID_UTF, &error, &offset, nullptr);
  if (!code_) {
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(error, message, 256);
    throw ERegExpr(u"Invalid regular expression: " + std::u16string(reinterpret_cast<const char16_t*>(message)) + u".");
  }
  context_ = pcre2_match_context_create(nullptr);
  if (!context_) {
    pcre2_code_free(code_);
    throw EOutOfMemory();
  }
  pcre2_set_match_limit(context_, kRegExprMatchLimit);
  pcre2_set_depth_limit(context_, kRegExprDepthLimit);
  pcre2_set_heap_limit(context_, kRegExprHeapLimitKiB);
}

CompiledPattern::~CompiledPattern() {
  pcre2_match_context_free(context_);
  pcre2_code_free(code_);
}

bool CompiledPattern::Match(std::u16string_view subject, std::vector<std::u16string>* captures) const {
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(code_, nullptr);
  if (!data) throw EOutOfMemory();
  const int rc = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), 0, 0, data, context_);
  const bool matched = rc >= 0;
  if (matched && captures) {
    std::uint32_t groups = 0;
    pcre2_pattern_info(code_, PCRE2_INFO_CAPTURECOUNT, &groups);
    PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
    const std::uint32_t pairs = pcre2_get_ovector_count(data);
    captures->clear();
    for (std::uint32_t g = 0; g <= groups && g < pairs; ++g) {
      PCRE2_SIZE begin = ovector[2 * g], end = ovector[2 * g + 1];
      captures->push_back(begin == PCRE2_UNSET || end < begin ? std::u16string()
                                                              : std::u16string(subject.substr(begin, end - begin)));
    }
  }
  pcre2_match_data_free(data);
  if (rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT || rc == PCRE2_ERROR_HEAPLIMIT)
    throw ERegExpr(u"The regular expression needs more steps than a match may take (" +
                   std::u16string(rc == PCRE2_ERROR_MATCHLIMIT   ? u"match limit"
                                  : rc == PCRE2_ERROR_DEPTHLIMIT ? u"depth limit"
                                                                 : u"heap limit") +
                   u"); simplify the pattern.");
  if (rc == PCRE2_ERROR_NOMEMORY) throw EOutOfMemory();
  return matched;
}

}  // namespace pw::helpers
