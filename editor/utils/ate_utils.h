// The small routines the editor's units share: integer and point ordering, rectangle tests,
// bounded comparisons for keyword tables, wide-string padding and trimming, the hex coding of
// byte data, the printable-character test, upper case, and the three constant character sets.
// Points are (X column, Y line) pairs of 32-bit signed integers; MaxInt as a column means "the
// end of the line".
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "platform/com/types.h"

namespace pw::editor {

inline constexpr std::int32_t MaxInt = std::numeric_limits<std::int32_t>::max();

struct TPoint {
  std::int32_t X = 0;
  std::int32_t Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

// (Left, Top) is the first point, (Right, Bottom) the second.
struct TRect {
  std::int32_t Left = 0;
  std::int32_t Top = 0;
  std::int32_t Right = 0;
  std::int32_t Bottom = 0;
  friend bool operator==(const TRect&, const TRect&) = default;
};

// A set of byte values, fixed at compile time.
struct TCharSet {
  std::uint64_t Bits[4] = {0, 0, 0, 0};
  constexpr bool Contains(std::uint8_t c) const { return (Bits[c >> 6] >> (c & 63)) & 1; }
  constexpr void Include(std::uint8_t c) { Bits[c >> 6] |= std::uint64_t{1} << (c & 63); }
};

constexpr TCharSet MakeCharSet(std::string_view chars) {
  TCharSet s;
  for (char c : chars) s.Include(static_cast<std::uint8_t>(c));
  return s;
}
constexpr TCharSet MakeCharRange(std::uint8_t from, std::uint8_t to) {
  TCharSet s;
  for (unsigned c = from; c <= to; ++c) s.Include(static_cast<std::uint8_t>(c));
  return s;
}

// 0-9, A-Z, "_" and a-z.
inline constexpr TCharSet WordChars = MakeCharSet("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz");
// #1 .. #32.
inline constexpr TCharSet BlankChars = MakeCharRange(1, 32);
// The punctuation that separates words (not < > _ ~ and not the backquote).
inline constexpr TCharSet DelimiterChars = MakeCharSet("!\"#$%&'()*+,-./:;=?[\\]^{|}@");

// The names of the font style bits (bold 1, italic 2, underline 4, strike-out 8) in the
// component stream: bit N is name N.
inline constexpr std::string_view kFontStyleNames[] = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};

// Sums of columns and lengths near MaxInt saturate instead of wrapping.
constexpr std::int32_t SatAdd(std::int32_t a, std::int32_t b) {
  const std::int64_t r = std::int64_t{a} + b;
  if (r > MaxInt) return MaxInt;
  if (r < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(r);
}

void SwapInts(std::int32_t& a, std::int32_t& b);
void OrderInts(std::int32_t& a, std::int32_t& b);
void SwapRectPoints(TRect& r);
bool IsRectZero(const TRect& r);
bool IsRectCollapsed(const TRect& r);
TRect EmptyRect();
// R with its points exchanged when Top > Bottom (the columns are not compared).
void NormalizeRange(const TRect& r, TRect& out);
void SetWideString(WideString& s, const char16_t* p, std::int32_t len);
// 1-based position of Sub in S at or after Offset; 0 when none.
std::int32_t PosFrom(std::string_view sub, std::string_view s, std::int32_t offset);
// Compare the first min(length of S, N) characters of S and P; on the first difference the
// difference of the two characters (ASCII letters folded to upper case in the Text form), else
// length of S - N. A null P counts as N = 0.
std::int32_t CompareTextBounded(std::string_view s, const char* p, std::int32_t n);
std::int32_t CompareStrBounded(std::string_view s, const char* p, std::int32_t n);
// The larger of Low and the smaller of Value and High (Low wins when High < Low).
std::int32_t EnsureRange(std::int32_t value, std::int32_t low, std::int32_t high);
void PadRightWide(WideString& s, std::int32_t len);
// 1-based position of the first unit at or after From (0-based) that is neither space nor tab.
std::int32_t FirstNonBlank(WideStringView s, std::int32_t from);
// True while the Alt key is down (the window system's key state).
bool IsAltDown();
// S without its trailing units of code 32 or less; a unit of code 1 stops the trimming.
WideString AteWideTrimRight(WideStringView s);
// Two upper-case hex digits of each unit's low byte, packed as two bytes into the first unit of
// each pair of output units (the second unit of each pair is 0).
void BytesToHexText(WideStringView s, WideString& out);
std::int32_t HexDigitValue(char16_t c);
void HexTextToBytes(WideStringView s, WideString& out);
// Not a control character (general category Cc) and not an unpaired low half of nothing: code
// units below 32 and 127..159 are control characters.
bool IsPrintableWideChar(char16_t c);
WideString WideUpperCaseEx(WideStringView s);

}  // namespace pw::editor
