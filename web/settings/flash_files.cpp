#include "web/settings/flash_files.h"

#include <algorithm>

#include "platform/com/types.h"
#include "platform/rtl/codepage.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw::web {

namespace {

bool LineHasName(std::string_view line, std::string_view name) {
  const std::size_t equals = line.find('=');
  return equals != std::string_view::npos && SameTextIgnoringCase(line.substr(0, equals), name);
}

// A line of the trust text: [start, textEnd) its text, [textEnd, end) its line end.
struct TrustLine {
  std::size_t start, textEnd, end;
};

std::vector<TrustLine> TrustLineSpans(WideStringView text) {
  std::vector<TrustLine> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t lf = text.find(u'\n', start);
    const std::size_t end = lf == WideStringView::npos ? text.size() : lf + 1;
    std::size_t textEnd = lf == WideStringView::npos ? text.size() : lf;
    if (textEnd > start && text[textEnd - 1] == u'\r') --textEnd;
    lines.push_back({start, textEnd, end});
    start = end;
  }
  return lines;
}

WideStringView LineText(WideStringView text, const TrustLine& line) {
  return text.substr(line.start, line.textEnd - line.start);
}

}  // namespace

// ---- mm.cfg ---------------------------------------------------------------------------------

std::string_view DebugConfigText(std::string_view bytes) {
  if (bytes.starts_with(kFlashUtf8Bom)) bytes.remove_prefix(kFlashUtf8Bom.size());
  return bytes;
}

std::string DebugConfigBytes(std::string_view text) {
  std::string bytes(kFlashUtf8Bom);
  bytes += text;
  return bytes;
}

std::vector<std::string> DebugConfigLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

std::optional<std::string> DebugConfigValue(std::string_view text, std::string_view key) {
  for (const std::string& line : DebugConfigLines(text)) {
    if (!LineHasName(line, key)) continue;
    std::string value = line.substr(line.find('=') + 1);
    if (value.empty()) return std::nullopt;
    return value;
  }
  return std::nullopt;
}

std::string DebugConfigWithValue(std::string_view text, std::string_view key, std::string_view value) {
  std::vector<std::string> lines = DebugConfigLines(text);
  const auto found =
      std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return LineHasName(l, key); });
  if (found != lines.end()) {
    if (value.empty()) lines.erase(found);
    else *found = std::string(key) + "=" + std::string(value);
  } else if (!value.empty()) {
    lines.push_back(std::string(key) + "=" + std::string(value));
  }
  std::string result;
  for (const std::string& line : lines) result += line + "\r\n";
  return result;
}

// ---- the trust file -----------------------------------------------------------------------

WideString TrustTextOf(std::string_view bytes) {
  if (!bytes.starts_with(kFlashUtf16Bom)) return SystemCodePageToWide(bytes);
  WideString text;
  text.reserve((bytes.size() - 2) / 2);
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
    text +=
        static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
  return text;
}

std::string TrustFileBytes(WideStringView text) {
  std::string bytes(kFlashUtf16Bom);
  bytes.reserve(2 + text.size() * 2);
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

WideString TrustedLocation(WideStringView path) {
  WideString location = WideTrim(path);
  if (location.empty()) throw EOleSysError(u"The trusted location is empty.", E_INVALIDARG);
  if (location.find_first_of(u"\r\n") != WideString::npos)
    throw EOleSysError(u"A trusted location cannot hold a line break.", E_INVALIDARG);
  return location;
}

std::vector<WideString> TrustTextLines(WideStringView text) {
  std::vector<WideString> lines;
  for (const TrustLine& line : TrustLineSpans(text)) lines.emplace_back(LineText(text, line));
  return lines;
}

std::optional<WideString> TrustTextWithLocation(WideStringView text, WideStringView location) {
  for (const TrustLine& line : TrustLineSpans(text))
    if (LineText(text, line) == location) return std::nullopt;
  WideString result(text);
  // An unended last line is ended; one that ends in CR only needs the LF to keep its text.
  if (!result.empty() && result.back() == u'\r') result += u'\n';
  else if (!result.empty() && result.back() != u'\n') result += u"\r\n";
  result += location;
  result += u"\r\n";
  return result;
}

WideString TrustTextWithoutLocation(WideStringView text, WideStringView location) {
  WideString kept;
  kept.reserve(text.size());
  for (const TrustLine& line : TrustLineSpans(text))
    if (LineText(text, line) != location) kept.append(text.substr(line.start, line.end - line.start));
  return kept;
}

}  // namespace pw::web
