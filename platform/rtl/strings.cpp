#include "platform/rtl/strings.h"

#include <cstdio>

namespace pw {

WideString Utf8ToWide(std::string_view s) {
  WideString out;
  out.reserve(s.size());
  std::size_t i = 0;
  const std::size_t n = s.size();
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  while (i < n) {
    unsigned char c = byte(i);
    char32_t cp;
    std::size_t len;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      len = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      len = 4;
    } else {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (i + len > n) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    bool ok = true;
    for (std::size_t k = 1; k < len; ++k) {
      unsigned char cc = byte(i + k);
      if ((cc & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (cc & 0x3F);
    }
    static const char32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (!ok || cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

std::string WideToUtf8(WideStringView s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

namespace {

// Ranges where upper and lower case alternate: even code = upper, odd = lower (or the
// reverse when `oddUpper`).
struct PairRange {
  char16_t first, last;
  bool oddUpper;
};
constexpr PairRange kPairRanges[] = {
    {0x0100, 0x012F, false}, {0x0132, 0x0137, false}, {0x0139, 0x0148, true},  {0x014A, 0x0177, false},
    {0x0179, 0x017E, true},  {0x0182, 0x0185, false}, {0x01A0, 0x01A5, false}, {0x01DE, 0x01EF, false},
    {0x01F8, 0x021F, false}, {0x0222, 0x0233, false}, {0x0246, 0x024F, false}, {0x03D8, 0x03EF, false},
    {0x0460, 0x0481, false}, {0x048A, 0x04BF, false}, {0x04C1, 0x04CE, true},  {0x04D0, 0x052F, false},
    {0x1E00, 0x1E95, false}, {0x1EA0, 0x1EFF, false}, {0x2C80, 0x2CE3, false}, {0xA640, 0xA66D, false},
    {0xA680, 0xA69B, false}, {0xA722, 0xA72F, false}, {0xA732, 0xA76F, false}, {0xA77E, 0xA787, false},
    {0xA790, 0xA793, false}, {0xA796, 0xA7A9, false},
};

// Ranges where the lower case letter lies at a fixed distance from the upper case one.
struct ShiftRange {
  char16_t first, last;  // upper-case range
  int delta;             // lower = upper + delta
};
constexpr ShiftRange kShiftRanges[] = {
    {0x0041, 0x005A, 32},  {0x00C0, 0x00D6, 32},  {0x00D8, 0x00DE, 32},  {0x0391, 0x03A1, 32},
    {0x03A3, 0x03AB, 32},  {0x0388, 0x038A, 37},  {0x038E, 0x038F, 63},  {0x0410, 0x042F, 32},
    {0x0400, 0x040F, 80},  {0x0531, 0x0556, 48},  {0x10A0, 0x10C5, 7264}, {0x1F08, 0x1F0F, -8},
    {0x1F18, 0x1F1D, -8},  {0x1F28, 0x1F2F, -8},  {0x1F38, 0x1F3F, -8},  {0x1F48, 0x1F4D, -8},
    {0x1F68, 0x1F6F, -8},  {0x2160, 0x216F, 16},  {0x24B6, 0x24CF, 26},  {0x2C00, 0x2C2E, 48},
    {0xFF21, 0xFF3A, 32},
};

struct Single {
  char16_t upper, lower;
};
constexpr Single kSingles[] = {
    {0x0178, 0x00FF}, {0x0386, 0x03AC}, {0x038C, 0x03CC}, {0x0181, 0x0253}, {0x0186, 0x0254},
    {0x0187, 0x0188}, {0x018B, 0x018C}, {0x0191, 0x0192}, {0x0198, 0x0199}, {0x01A7, 0x01A8},
    {0x01AC, 0x01AD}, {0x01AF, 0x01B0}, {0x01B3, 0x01B4}, {0x01B5, 0x01B6}, {0x01B8, 0x01B9},
    {0x01BC, 0x01BD}, {0x01C4, 0x01C6}, {0x01C7, 0x01C9}, {0x01CA, 0x01CC}, {0x01CD, 0x01CE},
    {0x01CF, 0x01D0}, {0x01D1, 0x01D2}, {0x01D3, 0x01D4}, {0x01D5, 0x01D6}, {0x01D7, 0x01D8},
    {0x01D9, 0x01DA}, {0x01DB, 0x01DC}, {0x01F1, 0x01F3}, {0x01F4, 0x01F5},
};

}  // namespace

char16_t WideLowerChar(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  for (const auto& r : kShiftRanges)
    if (c >= r.first && c <= r.last) return static_cast<char16_t>(c + r.delta);
  for (const auto& r : kPairRanges)
    if (c >= r.first && c <= r.last) {
      bool isUpper = ((c & 1) != 0) == r.oddUpper;
      return isUpper ? static_cast<char16_t>(c + 1) : c;
    }
  for (const auto& s : kSingles)
    if (s.upper == c) return s.lower;
  return c;
}

char16_t WideUpperChar(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  for (const auto& r : kShiftRanges) {
    int lo = r.first + r.delta, hi = r.last + r.delta;
    if (c >= lo && c <= hi) return static_cast<char16_t>(c - r.delta);
  }
  for (const auto& r : kPairRanges)
    if (c >= r.first && c <= r.last) {
      bool isUpper = ((c & 1) != 0) == r.oddUpper;
      return isUpper ? c : static_cast<char16_t>(c - 1);
    }
  for (const auto& s : kSingles)
    if (s.lower == c) return s.upper;
  if (c == 0x03C2) return 0x03A3;  // final sigma
  return c;
}

WideString WideLowerCase(WideStringView s) {
  WideString r(s);
  for (auto& c : r) c = WideLowerChar(c);
  return r;
}

WideString WideUpperCase(WideStringView s) {
  WideString r(s);
  for (auto& c : r) c = WideUpperChar(c);
  return r;
}

int CompareTextIgnoringCase(WideStringView a, WideStringView b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    char16_t x = a[i], y = b[i];
    if (x == y) continue;
    x = WideLowerChar(x);
    y = WideLowerChar(y);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int CompareTextIgnoringCase(std::string_view a, std::string_view b) {
  auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    int x = lower(static_cast<unsigned char>(a[i])), y = lower(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::size_t IgnoringCaseHash::operator()(WideStringView s) const noexcept {
  std::size_t h = 1469598103934665603ull;
  for (char16_t c : s) h = (h ^ WideLowerChar(c)) * 1099511628211ull;
  return h;
}

WideString WideTrim(WideStringView s) { return WideTrimLeft(WideTrimRight(s)); }

WideString WideTrimRight(WideStringView s) {
  std::size_t e = s.size();
  while (e > 0 && s[e - 1] <= u' ') --e;
  return WideString(s.substr(0, e));
}

WideString WideTrimLeft(WideStringView s) {
  std::size_t b = 0;
  while (b < s.size() && s[b] <= u' ') ++b;
  return WideString(s.substr(b));
}

WideString IntToWide(long long v) { return AsciiToWide(std::to_string(v)); }

WideString WideFormat(WideStringView pattern, std::initializer_list<WideStringView> args) {
  WideString out;
  auto arg = args.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == u'%' && i + 1 < pattern.size() && pattern[i + 1] == u's' && arg != args.end()) {
      out += *arg++;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

WideString IntToHexWide(unsigned long long v, int minDigits) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*llX", minDigits, v);
  return AsciiToWide(buf);
}

}  // namespace pw
