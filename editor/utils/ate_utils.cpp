#include "editor/utils/ate_utils.h"

#include <algorithm>
#include <utility>

#include "platform/rtl/strings.h"
#include "platform/ui/window_system.h"

namespace pw::editor {

void SwapInts(std::int32_t& a, std::int32_t& b) { std::swap(a, b); }
void OrderInts(std::int32_t& a, std::int32_t& b) {
  if (a > b) std::swap(a, b);
}
void SwapRectPoints(TRect& r) {
  std::swap(r.Left, r.Right);
  std::swap(r.Top, r.Bottom);
}
bool IsRectZero(const TRect& r) { return r.Left == 0 && r.Top == 0 && r.Right == 0 && r.Bottom == 0; }
bool IsRectCollapsed(const TRect& r) { return r.Left == r.Right && r.Top == r.Bottom; }
TRect EmptyRect() { return {}; }
void NormalizeRange(const TRect& r, TRect& out) {
  out = r;
  if (out.Top > out.Bottom) SwapRectPoints(out);
}
void SetWideString(WideString& s, const char16_t* p, std::int32_t len) {
  len = std::max(len, 0);
  if (p)
    s.assign(p, static_cast<std::size_t>(len));
  else
    s.assign(static_cast<std::size_t>(len), u'\0');
}

std::int32_t PosFrom(std::string_view sub, std::string_view s, std::int32_t offset) {
  if (sub.empty() || s.empty() || offset < 1) return 0;
  if (static_cast<std::size_t>(offset) > s.size()) return 0;
  const std::size_t from = static_cast<std::size_t>(offset - 1);
  if (sub.size() > s.size() - from) return 0;
  const std::size_t at = s.find(sub, from);
  return at == std::string_view::npos ? 0 : static_cast<std::int32_t>(at + 1);
}

namespace {
std::int32_t CompareBounded(std::string_view s, const char* p, std::int32_t n, bool fold) {
  if (!p) n = 0;
  n = std::max(n, 0);
  const std::int32_t len = static_cast<std::int32_t>(s.size());
  const std::int32_t m = std::min(len, n);
  auto up = [fold](unsigned char c) -> int { return fold && c >= 'a' && c <= 'z' ? c - 32 : c; };
  for (std::int32_t i = 0; i < m; ++i) {
    const int a = up(static_cast<unsigned char>(s[static_cast<std::size_t>(i)]));
    const int b = up(static_cast<unsigned char>(p[i]));
    if (a != b) return a - b;
  }
  return len - n;
}
}  // namespace

std::int32_t CompareTextBounded(std::string_view s, const char* p, std::int32_t n) {
  return CompareBounded(s, p, n, true);
}
std::int32_t CompareStrBounded(std::string_view s, const char* p, std::int32_t n) {
  return CompareBounded(s, p, n, false);
}

std::int32_t EnsureRange(std::int32_t value, std::int32_t low, std::int32_t high) {
  return std::max(low, std::min(value, high));
}

void PadRightWide(WideString& s, std::int32_t len) {
  if (len > 0 && s.size() < static_cast<std::size_t>(len)) s.resize(static_cast<std::size_t>(len), u' ');
}

std::int32_t FirstNonBlank(WideStringView s, std::int32_t from) {
  for (std::size_t i = static_cast<std::size_t>(std::max(from, 0)); i < s.size(); ++i)
    if (s[i] != u' ' && s[i] != u'\t') return static_cast<std::int32_t>(i + 1);
  return 0;
}

bool IsAltDown() { return GetAsyncKeyDown(VK_MENU); }

WideString AteWideTrimRight(WideStringView s) {
  std::size_t n = s.size();
  while (n > 0 && s[n - 1] <= 32 && s[n - 1] != 1) --n;
  return WideString(s.substr(0, n));
}

void BytesToHexText(WideStringView s, WideString& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out.assign(s.size() * 2, u'\0');
  for (std::size_t i = 0; i < s.size(); ++i) {
    const unsigned b = s[i] & 0xFF;
    // Two bytes at byte offset 4 * i: the first unit of the pair holds both digits.
    out[2 * i] = static_cast<char16_t>(static_cast<unsigned char>(kHex[b >> 4]) |
                                       (static_cast<unsigned>(static_cast<unsigned char>(kHex[b & 15])) << 8));
  }
}

std::int32_t HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return static_cast<std::int32_t>(c) - 65 + 10;
}

void HexTextToBytes(WideStringView s, WideString& out) {
  out.assign(s.size() / 2, u'\0');
  for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
    const std::int32_t v = 16 * HexDigitValue(s[i]) + HexDigitValue(s[i + 1]);
    out[i / 2] = static_cast<char16_t>(v & 0xFF);
  }
}

bool IsPrintableWideChar(char16_t c) { return !(c < 32 || (c >= 127 && c <= 159)); }

WideString WideUpperCaseEx(WideStringView s) { return WideUpperCase(s); }

}  // namespace pw::editor
