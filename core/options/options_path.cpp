#include "core/options/options_path.h"

#include <cstdio>

#include "core/options/options_xml_storage.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

WideString StrictUtf8ToWide(std::string_view text, std::string_view what) {
  WideString wide = Utf8ToWide(text);
  // Well-formed UTF-8 is exactly what converts back to the same bytes.
  if (WideToUtf8(wide) != text) throw EcvOptionsPathError(AsciiToWide(what) + u" is not valid UTF-8 text");
  return wide;
}

std::vector<WideString> SplitOptionsPath(std::string_view path) {
  std::vector<std::string> raw(1);
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (c == '/') {
      // Checked as the path is split, before any node is made for it.
      // The root is the first level: a path holds at most kMaxOptionsNodeDepth - 1 node names
      // and the property's name.
      const std::size_t names = raw.size() - (raw.front().empty() ? 1 : 0);
      if (names >= static_cast<std::size_t>(kMaxOptionsNodeDepth))
        throw EcvOptionsPathError(u"the path names nodes nested more than " + IntToWide(kMaxOptionsNodeDepth) +
                                  u" levels deep");
      raw.emplace_back();
      continue;
    }
    if (c != '\\' || i + 1 == path.size()) {
      raw.back() += c;
      continue;
    }
    const char n = path[++i];
    switch (n) {
      case 't': raw.back() += '\t'; break;
      case 'n': raw.back() += '\n'; break;
      case 'r': raw.back() += '\r'; break;
      case 'x': {
        const int hi = i + 1 < path.size() ? HexDigitValue(path[i + 1]) : -1;
        const int lo = i + 2 < path.size() ? HexDigitValue(path[i + 2]) : -1;
        if (hi < 0 || lo < 0 || hi > 7)
          throw EcvOptionsPathError(u"the path holds \\x without two hexadecimal digits of an ASCII character");
        raw.back() += static_cast<char>(hi * 16 + lo);
        i += 2;
        break;
      }
      default: raw.back() += n; break;
    }
  }
  if (raw.size() > 1 && raw.front().empty()) raw.erase(raw.begin());  // a leading "/"
  std::vector<WideString> names;
  names.reserve(raw.size());
  for (const std::string& r : raw) {
    if (r.empty()) throw EcvOptionsPathError(u"the path " + Utf8ToWide(path) + u" has an empty name in it");
    WideString name = StrictUtf8ToWide(r, "a name in the path");
    if (name.size() > kMaxOptionsNameLength)
      throw EcvOptionsPathError(u"a name in the path is longer than " + IntToWide(kMaxOptionsNameLength) +
                                u" characters");
    names.push_back(std::move(name));
  }
  return names;
}

std::string EscapeOptionsText(WideStringView s, bool path) {
  std::string out;
  std::size_t start = 0;
  auto flush = [&](std::size_t end) { out += WideToUtf8(s.substr(start, end - start)); };
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    const char* escape = nullptr;
    switch (c) {
      case u'\\': escape = "\\\\"; break;
      case u'\t': escape = "\\t"; break;
      case u'\n': escape = "\\n"; break;
      case u'\r': escape = "\\r"; break;
      case u'"': escape = path ? nullptr : "\\\""; break;
      case u'/': escape = path ? "\\/" : nullptr; break;
      default: break;
    }
    if (!escape && c >= 0x20) continue;
    // UTF-16 runs between escapes convert whole, so surrogate pairs stay together.
    flush(i);
    start = i + 1;
    if (escape) {
      out += escape;
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned>(c));
      out += buf;
    }
  }
  flush(s.size());
  return out;
}

}  // namespace pw
