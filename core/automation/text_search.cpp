#include "core/automation/text_search.h"

namespace pw {

std::int32_t WidePosEx(WideStringView sub, WideStringView s, std::int32_t offset) {
  if (sub.empty() || offset < 1 || static_cast<std::size_t>(offset) > s.size()) return 0;
  const std::size_t found = s.find(sub, static_cast<std::size_t>(offset - 1));
  return found == WideStringView::npos ? 0 : static_cast<std::int32_t>(found + 1);
}

bool WideMatchesMask(WideStringView mask, WideStringView text) {
  const std::size_t maskLength = mask.size(), textLength = text.size();
  std::size_t m = 0, t = 0;
  // Where to resume after the most recent lone "*": the mask after it, and the first text
  // position it has not yet absorbed.
  std::size_t starMask = WideStringView::npos, starText = 0;
  for (;;) {
    bool matched = false;
    if (m < maskLength) {
      const char16_t c = mask[m];
      if (c == u'*' && m + 1 < maskLength && mask[m + 1] == u'*') {
        if (t < textLength && text[t] == u'*') {
          m += 2;
          ++t;
          matched = true;
        }
      } else if (c == u'*') {
        starMask = ++m;
        starText = t;
        matched = true;
      } else if (c == u'?') {
        ++m;
        if (t < textLength) ++t;  // at the end of the text "?" matches nothing
        matched = true;
      } else if (t < textLength && text[t] == c) {
        ++m;
        ++t;
        matched = true;
      }
    } else if (t == textLength) {
      return true;
    }
    if (matched) continue;
    // Let the most recent "*" absorb one more character and try again from there.
    if (starMask == WideStringView::npos || starText >= textLength) return false;
    m = starMask;
    t = ++starText;
  }
}

}  // namespace pw
