#include "editor/rtf/rtf_parser.h"

#include <algorithm>
#include <limits>

namespace pw::editor {

namespace {
std::int32_t Find(const auto& table, std::string_view word) {
  auto it = std::lower_bound(table.begin(), table.end(), word);
  return it != table.end() && *it == word ? static_cast<std::int32_t>(it - table.begin()) : -1;
}

// Multiply and divide, rounded to nearest (halves away from zero), saturated.
std::int64_t MulDiv(std::int64_t v, std::int64_t num, std::int64_t den) {
  constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 1024;
  v = std::clamp(v, -kLimit, kLimit);
  const std::int64_t p = v * num;
  return p >= 0 ? (p + den / 2) / den : -((-p + den / 2) / den);
}

std::int32_t Clamp32(std::int64_t v) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

bool ControlChar(char16_t c) {
  const unsigned b = c & 0xFF;
  return b == '\'' || b == '*' || b == '-' || (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || b == '_' ||
         (b >= 'a' && b <= 'z');
}
unsigned Low(char16_t c) { return c & 0xFFu; }
bool EscapedPair(WideStringView line, std::size_t i) {
  return Low(line[i]) == '\\' && i + 1 < line.size() &&
         (Low(line[i + 1]) == '\\' || Low(line[i + 1]) == '{' || Low(line[i + 1]) == '}');
}
}  // namespace

std::int32_t RtfControlCode(std::string_view word) { return Find(kRtfControlWords, word); }
std::int32_t RtfPictureCode(std::string_view word) { return Find(kRtfPictureWords, word); }

std::int32_t PixelsToTwips(std::int64_t pixels) { return Clamp32(MulDiv(MulDiv(pixels, 567, 100), 254, 96)); }
std::int32_t TwipsToPixels(std::int64_t twips) { return Clamp32(MulDiv(MulDiv(twips, 100, 567), 96, 254)); }

TateRTF_Parser::TateRTF_Parser() : state_(this) {
  for (int k = 0; k < 4; ++k) styles_[static_cast<std::size_t>(k)].TokenKind = k + 1;
  InitialState = &state_;
}

TateSyntaxStyle* TateRTF_Parser::GetStyle(TateParseState*& state, WideStringView line, std::int32_t& pos) {
  if (!state) return nullptr;
  currentState_ = state;
  if (line.empty() || pos < 1 || pos > static_cast<std::int32_t>(line.size())) return DefaultStyle();
  std::size_t i = static_cast<std::size_t>(pos - 1);
  const unsigned c = Low(line[i]);
  TateRtfTokenKind kind;
  if (c == '{') {
    kind = rtkGroupOpen;
    ++i;
  } else if (c == '}') {
    kind = rtkGroupClose;
    ++i;
  } else if (c == '\\' && !EscapedPair(line, i) && i + 1 < line.size()) {
    kind = rtkControl;
    i += 2;
    while (i < line.size() && ControlChar(line[i])) ++i;
  } else if (c == '|') {
    kind = rtkText;
    ++i;
  } else {
    kind = rtkText;
    while (i < line.size()) {
      if (EscapedPair(line, i)) {
        i += 2;
        continue;
      }
      const unsigned d = Low(line[i]);
      if (d == '{' || d == '}' || d == '\\') break;
      ++i;
    }
    if (i == static_cast<std::size_t>(pos - 1)) ++i;  // a lone backslash at the line end
  }
  pos = static_cast<std::int32_t>(i) + 1;
  return Style(kind);
}

}  // namespace pw::editor
