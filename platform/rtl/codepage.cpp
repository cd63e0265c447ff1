#include "platform/rtl/codepage.h"

#include <array>

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

namespace pw {

namespace {
// 0x80..0xFF of Windows-1250; 0 marks the undefined positions.
constexpr char16_t k1250[128] = {
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021, 0,      0x2030, 0x0160, 0x2039, 0x015A,
    0x0164, 0x017D, 0x0179, 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0,      0x2122,
    0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6,
    0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, 0x00B0, 0x00B1, 0x02DB, 0x0142,
    0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, 0x0154,
    0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD,
    0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA,
    0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4,
    0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

struct Reverse1250 {
  std::array<unsigned char, 65536> table{};
  Reverse1250() {
    table.fill(0xFF);
    for (unsigned c = 0; c < 0x80; ++c) table[c] = static_cast<unsigned char>(c);
    for (unsigned i = 0; i < 128; ++i) table[k1250[i] ? k1250[i] : 0x80 + i] = static_cast<unsigned char>(0x80 + i);
  }
};
const Reverse1250& Reverse() {
  static const Reverse1250 r;
  return r;
}
}  // namespace

unsigned char WideCharToCodePage1250(char16_t c) { return Reverse().table[c]; }

const unsigned char* CodePage1250Table() { return Reverse().table.data(); }

std::string WideToCodePage1250(WideStringView s) {
  const auto& t = Reverse().table;
  std::string out(s.size(), '\0');
  for (std::size_t i = 0; i < s.size(); ++i) out[i] = static_cast<char>(t[s[i]]);
  return out;
}

char16_t CodePage1250CharToWide(unsigned char c) {
  if (c < 0x80) return c;
  const char16_t w = k1250[c - 0x80];
  return w ? w : static_cast<char16_t>(c);
}

}  // namespace pw
