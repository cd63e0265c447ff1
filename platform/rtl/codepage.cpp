#include "platform/rtl/codepage.h"

namespace pw {

namespace {
// 0x80..0x9F of Windows-1252; 0 marks the five undefined positions, which map to the C1 control
// of the same code, as the system's conversion does.
constexpr char16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};
}  // namespace

char16_t SystemCodePageCharToWide(unsigned char c) {
  if (c >= 0x80 && c <= 0x9F) {
    char16_t w = kHigh[c - 0x80];
    return w ? w : static_cast<char16_t>(c);
  }
  return c;
}

WideString SystemCodePageToWide(std::string_view s) {
  WideString out;
  out.reserve(s.size());
  for (char c : s) out.push_back(SystemCodePageCharToWide(static_cast<unsigned char>(c)));
  return out;
}

std::string WideToSystemCodePage(WideStringView s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t w = s[i];
    // A character beyond the basic plane is one character, written as two code units.
    if (w >= 0xD800 && w <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      out.push_back('?');
      ++i;
      continue;
    }
    if (w < 0x80 || (w >= 0xA0 && w <= 0xFF)) {
      out.push_back(static_cast<char>(w));
      continue;
    }
    char c = '?';
    for (int i = 0; i < 32; ++i)
      if (kHigh[i] == w || (kHigh[i] == 0 && w == 0x80 + i)) {
        c = static_cast<char>(0x80 + i);
        break;
      }
    out.push_back(c);
  }
  return out;
}

}  // namespace pw
