#include "platform/kernel/environment.h"

#include <cstdlib>
#include <vector>

#include "platform/rtl/strings.h"

namespace pw {

namespace {

std::optional<WideString> ProcessVariable(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return Utf8ToWide(value);
}

}  // namespace

std::optional<WideString> GetEnvironmentVariable(WideStringView name) {
  if (name.empty()) return std::nullopt;
  if (SameTextIgnoringCase(name, u"HOMEPATH")) return ProcessVariable("HOME");
  if (SameTextIgnoringCase(name, u"HOMEDRIVE")) return WideString();
  if (SameTextIgnoringCase(name, u"APPDATA")) {
    if (auto config = ProcessVariable("XDG_CONFIG_HOME"); config && !config->empty()) return config;
    const char* home = std::getenv("HOME");
    if (!home) return std::nullopt;
    return Utf8ToWide(std::string(home) + "/.config");
  }
  return ProcessVariable(WideToUtf8(name).c_str());
}

WideString ExpandEnvironmentStrings(WideStringView text) {
  WideString result;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find(u'%', i);
    if (open == WideStringView::npos) break;
    const std::size_t close = text.find(u'%', open + 1);
    if (close == WideStringView::npos) break;
    const WideStringView name = text.substr(open + 1, close - open - 1);
    if (auto value = GetEnvironmentVariable(name)) {
      result.append(text.substr(i, open - i));
      result += *value;
      i = close + 1;
    } else {
      // The unknown name is kept; its closing "%" may open the next name.
      result.append(text.substr(i, close - i));
      i = close;
    }
  }
  result.append(text.substr(i));
  return result;
}

WideString CanonicalizePath(WideStringView path) {
  if (path.empty()) return WideString();
  WideString text(path);
  for (char16_t& c : text)
    if (c == u'\\') c = u'/';
  const bool absolute = text.front() == u'/';
  const bool trailing = text.back() == u'/' && text.size() > 1;
  std::vector<WideString> segments;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(u'/', start);
    if (end == WideString::npos) end = text.size();
    WideString segment = text.substr(start, end - start);
    if (segment.empty() || segment == u".") {
      // nothing
    } else if (segment == u"..") {
      if (!segments.empty() && segments.back() != u"..") segments.pop_back();
      else if (!absolute) segments.push_back(segment);
    } else {
      segments.push_back(std::move(segment));
    }
    start = end + 1;
  }
  WideString result = absolute ? WideString(u"/") : WideString();
  for (std::size_t n = 0; n < segments.size(); ++n) {
    if (n) result += u'/';
    result += segments[n];
  }
  if (trailing && !segments.empty()) result += u'/';
  if (result.empty()) return WideString(1, u'.');
  return result;
}

SystemVersion GetSystemVersion() { return {10, 0}; }

}  // namespace pw
