#include "core/options/xml_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/rtl/strings.h"

namespace pw {

namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

template <class T>
std::optional<T> ParseInteger(std::string_view text) {
  using U = std::make_unsigned_t<T>;
  std::string_view s = text;
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s.front() == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return std::nullopt;
  U magnitude = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  if (base == 16) {
    T v = static_cast<T>(magnitude);
    return negative ? static_cast<T>(U(0) - static_cast<U>(v)) : v;
  }
  const U limit = static_cast<U>(std::numeric_limits<T>::max()) + (negative ? 1u : 0u);
  if (magnitude > limit) return std::nullopt;
  return negative ? static_cast<T>(U(0) - magnitude) : static_cast<T>(magnitude);
}

}  // namespace

std::optional<char32_t> AppendXmlAttributeText(std::string& out, WideStringView s, bool spaceRuns) {
  const std::size_t n = s.size();
  for (std::size_t i = 0; i < n; ++i) {
    char16_t c = s[i];
    if (const char* reference = XmlMarkupReference(c)) {
      out += reference;
      continue;
    }
    switch (c) {
      case u'\t': out += "&#9;"; continue;
      case u'\n': out += "&#10;"; continue;
      case u'\r': out += "&#13;"; continue;
      case u' ':
        if (spaceRuns && ((i > 0 && s[i - 1] == u' ') || (i + 1 < n && s[i + 1] == u' '))) out += "&#32;";
        else out += ' ';
        continue;
      default: break;
    }
    if (c < 0x20 || c == 0xFFFE || c == 0xFFFF) return c;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00));
        ++i;
        continue;
      }
      return c;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) return c;
    AppendUtf8(out, c);
  }
  return std::nullopt;
}

WideString CharacterName(char32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return AsciiToWide(buf);
}

std::string FormatDouble(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  // The fewest digits that read back to the same value, as d.ddde[+-]x.
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  const std::string_view text(buf, static_cast<std::size_t>(end - buf));
  const auto e = text.find('e');
  std::string_view mantissa = text.substr(0, e);
  const bool negative = mantissa.front() == '-';
  if (negative) mantissa.remove_prefix(1);
  std::string digits;
  for (char c : mantissa)
    if (c != '.') digits += c;
  int exponent = 0;
  std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(), exponent);

  std::string out = negative ? "-" : "";
  // The general format: fixed notation while the value has at most 15 digits before the
  // decimal point and is at least 0.0001, else d.dddE[-]x.
  if (exponent >= -4 && exponent < 15) {
    if (exponent < 0) {
      out += "0.";
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out += digits;
    } else {
      const auto whole = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() <= whole) {
        out += digits;
        out.append(whole - digits.size(), '0');
      } else {
        out += std::string_view(digits).substr(0, whole);
        out += '.';
        out += std::string_view(digits).substr(whole);
      }
    }
    return out;
  }
  out += digits[0];
  if (digits.size() > 1) {
    out += '.';
    out += std::string_view(digits).substr(1);
  }
  out += 'E';
  out += std::to_string(exponent);
  return out;
}

std::optional<std::int32_t> ParseInt32(std::string_view text) { return ParseInteger<std::int32_t>(text); }
std::optional<std::int64_t> ParseInt64(std::string_view text) { return ParseInteger<std::int64_t>(text); }

std::optional<double> ParseDouble(std::string_view text) {
  std::string_view s = TrimBlanks(text);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty() || s.front() == '+') return std::nullopt;
  double value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (end != s.data() + s.size()) return std::nullopt;
  if (ec == std::errc::result_out_of_range) {
    // Too small underflows to zero, too large overflows to infinity, as the runtime reads.
    const bool negative = s.front() == '-';
    const auto e = s.find_first_of("eE");
    const bool tiny = e != std::string_view::npos && s.substr(e + 1).starts_with('-');
    value = tiny ? (negative ? -0.0 : 0.0) : (negative ? -HUGE_VAL : HUGE_VAL);
  } else if (ec != std::errc()) {
    return std::nullopt;
  }
  return value;
}

std::optional<bool> ParseBoolean(std::string_view text) {
  std::string_view s = TrimBlanks(text);
  if (SameTextIgnoringCase(s, std::string_view("true"))) return true;
  if (SameTextIgnoringCase(s, std::string_view("false"))) return false;
  if (auto d = ParseDouble(s)) return *d != 0;
  return std::nullopt;
}

}  // namespace pw
