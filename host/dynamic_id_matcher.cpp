#include "host/dynamic_id_matcher.h"

#include <algorithm>
#include <new>

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include "core/automation/text_search.h"
#include "helpers/regexpr/pattern.h"

namespace pw::host {

namespace {

constexpr std::u16string_view kRegExpPrefix = u"regexp:";
constexpr std::u16string_view kNormalPrefix = u"normal:";
constexpr std::size_t kJitStackMax = 1024 * 1024;

std::u16string LineLabel(std::size_t index) {
  std::string n = std::to_string(index);
  return u"line " + std::u16string(n.begin(), n.end()) + u": ";
}

}  // namespace

struct TDynamicIdMatcher::Line {
  bool regExp = false;
  std::u16string pattern, templ;
  pcre2_code* code = nullptr;  // regExp only; nil: never matches
  ~Line() { pcre2_code_free(code); }
};

struct TDynamicIdMatcher::Scratch {
  pcre2_match_context* context = nullptr;
  pcre2_jit_stack* jitStack = nullptr;
  pcre2_match_data* data = nullptr;
  std::vector<std::u16string_view> captures;
  ~Scratch() {
    pcre2_match_data_free(data);
    pcre2_jit_stack_free(jitStack);
    pcre2_match_context_free(context);
  }
};

TDynamicIdMatcher::TDynamicIdMatcher(std::u16string_view text) : scratch_(std::make_unique<Scratch>()) {
  std::uint32_t maxPairs = 1;
  std::size_t index = 0;
  while (true) {
    const std::size_t end = text.find(u'\n');
    std::u16string_view raw = text.substr(0, end);
    if (!raw.empty() && raw.back() == u'\r') raw.remove_suffix(1);
    auto line = std::make_unique<Line>();
    bool usable = true;
    if (raw.starts_with(kRegExpPrefix) || raw.starts_with(kNormalPrefix)) {
      line->regExp = raw.starts_with(kRegExpPrefix);
      raw.remove_prefix(kRegExpPrefix.size());
      const std::size_t tab = raw.find(u'\t');
      line->pattern = raw.substr(0, tab);
      if (tab != std::u16string_view::npos) line->templ = raw.substr(tab + 1);
    } else {
      usable = false;
      problems_.push_back(LineLabel(index) + u"no \"normal:\" or \"regexp:\" prefix");
    }
    if (usable && line->regExp) {
      const std::u16string translated = helpers::TranslatePattern(line->pattern);
      int error = 0;
      PCRE2_SIZE offset = 0;
      line->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(translated.data()), translated.size(),
                                 PCRE2_UTF | PCRE2_MATCH_INVALID_UTF, &error, &offset, nullptr);
      if (!line->code) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(error, message, 256);
        problems_.push_back(LineLabel(index) + reinterpret_cast<const char16_t*>(message));
      } else {
        pcre2_jit_compile(line->code, PCRE2_JIT_COMPLETE);  // interpreted when JIT is not there
        std::uint32_t groups = 0;
        pcre2_pattern_info(line->code, PCRE2_INFO_CAPTURECOUNT, &groups);
        maxPairs = std::max(maxPairs, groups + 1);
      }
    }
    lines_.push_back(std::move(line));
    ++index;
    if (end == std::u16string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  scratch_->context = pcre2_match_context_create(nullptr);
  scratch_->jitStack = pcre2_jit_stack_create(32 * 1024, kJitStackMax, nullptr);
  scratch_->data = pcre2_match_data_create(maxPairs, nullptr);
  if (!scratch_->context || !scratch_->jitStack || !scratch_->data) throw std::bad_alloc();
  pcre2_set_match_limit(scratch_->context, helpers::kRegExprMatchLimit);
  pcre2_set_depth_limit(scratch_->context, helpers::kRegExprDepthLimit);
  pcre2_set_heap_limit(scratch_->context, helpers::kRegExprHeapLimitKiB);
  pcre2_jit_stack_assign(scratch_->context, nullptr, scratch_->jitStack);
}

TDynamicIdMatcher::~TDynamicIdMatcher() = default;

std::size_t TDynamicIdMatcher::LineCount() const { return lines_.size(); }

DynamicIdMatch TDynamicIdMatcher::Match(std::u16string_view id) {
  DynamicIdMatch result;
  std::vector<std::u16string_view>& captures = scratch_->captures;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Line& line = *lines_[i];
    captures.clear();
    if (!line.regExp) {
      if (!WideMatchesMask(line.pattern, id)) continue;
      captures.push_back(id);
    } else {
      if (!line.code) continue;
      const int rc = pcre2_match(line.code, reinterpret_cast<PCRE2_SPTR>(id.data()), id.size(), 0, 0, scratch_->data,
                                 scratch_->context);
      if (rc < 0) continue;  // no match, or a limit reached: this line does not match
      const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(scratch_->data);
      // Only the first rc pairs are set by this match; later ones belong to no group of it.
      const std::uint32_t pairs = std::min(pcre2_get_ovector_count(scratch_->data), static_cast<std::uint32_t>(rc));
      for (std::uint32_t g = 0; g < pairs; ++g) {
        const PCRE2_SIZE b = ovector[2 * g], e = ovector[2 * g + 1];
        captures.push_back(b == PCRE2_UNSET || e < b || e > id.size() ? std::u16string_view() : id.substr(b, e - b));
      }
    }
    result.line = static_cast<std::int32_t>(i);
    if (!line.templ.empty()) result.stableId = ExpandStableIdTemplate(line.templ, captures);
    result.kind = result.stableId.empty() ? DynamicIdMatch::NotUsed : DynamicIdMatch::Stable;
    return result;
  }
  return result;
}

std::u16string ExpandStableIdTemplate(std::u16string_view templ, const std::vector<std::u16string_view>& captures) {
  std::u16string out;
  for (std::size_t i = 0; i < templ.size(); ++i) {
    const char16_t c = templ[i];
    if (c != u'$' || i + 1 >= templ.size()) {
      out += c;
      continue;
    }
    if (templ[i + 1] == u'$') {
      out += u'$';
      ++i;
      continue;
    }
    std::size_t j = i + 1, n = 0;
    bool big = false;
    while (j < templ.size() && templ[j] >= u'0' && templ[j] <= u'9') {
      n = n * 10 + static_cast<std::size_t>(templ[j] - u'0');
      if (n > 65535) big = true, n = 65535;
      ++j;
    }
    if (j == i + 1) {
      out += c;
      continue;
    }
    if (!big && n < captures.size()) out += captures[n];
    i = j - 1;
  }
  return out;
}

}  // namespace pw::host
