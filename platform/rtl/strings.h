// Wide-string helpers: UTF-8 at the operating-system boundary and the one locale-independent
// "ignoring case" comparison used everywhere in the module.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/com/types.h"

namespace pw {

// UTF-8 <-> UTF-16. Malformed input and unpaired surrogates become U+FFFD.
WideString Utf8ToWide(std::string_view s);
std::string WideToUtf8(WideStringView s);

// Simple (one-to-one) case mapping of a UTF-16 code unit, independent of any locale.
char16_t WideLowerChar(char16_t c);
char16_t WideUpperChar(char16_t c);
WideString WideLowerCase(WideStringView s);
WideString WideUpperCase(WideStringView s);

// Ordinal comparison after lower-casing each code unit; -1, 0 or 1.
int CompareTextIgnoringCase(WideStringView a, WideStringView b);
inline bool SameTextIgnoringCase(WideStringView a, WideStringView b) {
  return a.size() == b.size() && CompareTextIgnoringCase(a, b) == 0;
}
// The same for 8-bit (ASCII-compatible) text: only A-Z fold.
int CompareTextIgnoringCase(std::string_view a, std::string_view b);
inline bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareTextIgnoringCase(a, b) == 0;
}

struct IgnoringCaseLess {
  using is_transparent = void;
  bool operator()(WideStringView a, WideStringView b) const { return CompareTextIgnoringCase(a, b) < 0; }
};
struct IgnoringCaseEqual {
  using is_transparent = void;
  bool operator()(WideStringView a, WideStringView b) const { return SameTextIgnoringCase(a, b); }
};
struct IgnoringCaseHash {
  using is_transparent = void;
  std::size_t operator()(WideStringView s) const noexcept;
};

// Trims characters with code 32 or lower, as the runtime's Trim does.
WideString WideTrim(WideStringView s);
WideString WideTrimRight(WideStringView s);
WideString WideTrimLeft(WideStringView s);

// Pattern with each "%s", in order, replaced by the next argument; a "%s" beyond the arguments
// stays as it is. Inserted texts are not searched again.
WideString WideFormat(WideStringView pattern, std::initializer_list<WideStringView> args);

// Conversions of numbers, locale-neutral.
WideString IntToWide(long long v);
WideString IntToHexWide(unsigned long long v, int minDigits = 0);

// Short conversions for ASCII-only literals and diagnostics.
inline WideString AsciiToWide(std::string_view s) { return WideString(s.begin(), s.end()); }

}  // namespace pw
