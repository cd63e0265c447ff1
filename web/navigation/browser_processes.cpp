#include "web/navigation/browser_processes.h"

#include <unordered_set>

namespace pw::web {

bool BelongsToBrowser(std::int32_t processId, std::int32_t browserProcessId, std::int32_t currentBrowserProcessId,
                      const ParentProcessLookup& parentOf) {
  std::unordered_set<std::int32_t> seen;
  for (std::int32_t id = processId; id != 0; id = parentOf ? parentOf(id) : 0) {
    if (id == browserProcessId || id == currentBrowserProcessId) return true;
    if (!seen.insert(id).second) return false;
  }
  return false;
}

std::optional<std::int32_t> FrameProcessIdOf(WideStringView commandLine) {
  static constexpr WideStringView kKey = u"SCODEF:";
  std::size_t at = commandLine.find(kKey);
  if (at == WideStringView::npos) return std::nullopt;
  WideStringView number = commandLine.substr(at + kKey.size());
  number = number.substr(0, number.find_first_of(u" \t"));
  if (number.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (char16_t c : number) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
    if (value > INT32_MAX) return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace pw::web
