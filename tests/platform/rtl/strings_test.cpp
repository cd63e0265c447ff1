#include "platform/rtl/strings.h"

#include <gtest/gtest.h>

#include "platform/rtl/codepage.h"

namespace pw {
namespace {

TEST(Utf, RoundTripsEveryPlane) {
  const WideString text = u"abc \u00E9\u00DF \u4E2D\u6587 \U0001F600 end";
  const std::string utf8 = WideToUtf8(text);
  EXPECT_EQ(utf8, "abc \xC3\xA9\xC3\x9F \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80 end");
  EXPECT_EQ(Utf8ToWide(utf8), text);
}

TEST(Utf, MalformedInputBecomesReplacementCharacters) {
  struct Case {
    std::string in;
    WideString out;
  } cases[] = {
      {"a\x80z", u"a\uFFFDz"},                // stray continuation byte
      {"a\xC3", u"a\uFFFD"},                  // truncated sequence
      {"\xC0\xAF", u"\uFFFD\uFFFD"},          // overlong encoding of '/'
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToWide(c.in), c.out) << c.in;
  // An unpaired surrogate in UTF-16 cannot be written as UTF-8.
  EXPECT_EQ(WideToUtf8(WideString(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
}

TEST(IgnoringCase, FoldsBeyondAsciiWithoutLocale) {
  struct Case {
    const char16_t* a;
    const char16_t* b;
    bool same;
  } cases[] = {
      {u"Options", u"OPTIONS", true},   {u"\u00C9t\u00E9", u"\u00E9T\u00C9", true},
      {u"\u0100", u"\u0101", true},     {u"\u0139", u"\u013A", true},  // odd-upper pair range
      {u"\u0178", u"\u00FF", true},     {u"\u0391\u03A9", u"\u03B1\u03C9", true},
      {u"\u0416", u"\u0436", true},     {u"\u0401", u"\u0451", true},
      {u"\uFF21", u"\uFF41", true},     {u"a", u"b", false},
      {u"abc", u"abcd", false},         {u"\u0130", u"i", false},  // dotted capital I stays apart
  };
  for (const auto& c : cases) EXPECT_EQ(SameTextIgnoringCase(c.a, c.b), c.same) << WideToUtf8(c.a);
}

TEST(IgnoringCase, OrdersDeterministically) {
  EXPECT_LT(CompareTextIgnoringCase(u"apple", u"Banana"), 0);
  EXPECT_GT(CompareTextIgnoringCase(u"b", u"A"), 0);
  EXPECT_LT(CompareTextIgnoringCase(u"ab", u"ABC"), 0);
  EXPECT_EQ(CompareTextIgnoringCase(u"", u""), 0);
  EXPECT_EQ(IgnoringCaseHash{}(u"NoDe"), IgnoringCaseHash{}(u"node"));
  EXPECT_EQ(CompareTextIgnoringCase(std::string_view("ABC"), std::string_view("abd")), -1);
}

TEST(IgnoringCase, UpperAndLowerAreInverseOnCasedLetters) {
  for (char32_t c = 0x41; c < 0x3000; ++c) {
    auto ch = static_cast<char16_t>(c);
    char16_t lo = WideLowerChar(ch);
    if (lo != ch) {
      EXPECT_EQ(WideUpperChar(lo), ch) << std::hex << static_cast<int>(c);
    }
  }
}

TEST(Trim, RemovesControlsAndSpaces) {
  EXPECT_EQ(WideTrim(u" \t a b \r\n"), u"a b");
  EXPECT_EQ(WideTrim(u"   "), u"");
  EXPECT_EQ(WideTrimRight(u" x "), u" x");
  EXPECT_EQ(WideTrimLeft(u" x "), u"x ");
}

TEST(WideFormat, FillsEachPlaceInOrderAndNeverRescans) {
  EXPECT_EQ(WideFormat(u"The file %s in %s.", {u"a", u"b"}), u"The file a in b.");
  // An argument that holds "%s" is not filled again; a place without an argument stays.
  EXPECT_EQ(WideFormat(u"%s and %s", {u"%s"}), u"%s and %s");
  EXPECT_EQ(WideFormat(u"100% sure: %s", {u"x"}), u"100% sure: x");
  EXPECT_EQ(WideFormat(u"%s", {u"a", u"b"}), u"a");
}

TEST(SystemCodePage, MapsWindows1252) {
  EXPECT_EQ(SystemCodePageToWide("\x80\x9F\xE9\x81"), u"\u20AC\u0178\u00E9\u0081");
  EXPECT_EQ(WideToSystemCodePage(u"\u20AC\u00E9\u4E2D\u0081"), "\x80\xE9?\x81");
  // A character beyond the basic plane is one '?'; a lone surrogate is one as well.
  EXPECT_EQ(WideToSystemCodePage(u"a\U0001F600b"), "a?b");
  EXPECT_EQ(WideToSystemCodePage(std::u16string(u"a\xD83D" u"b\xDE00")), "a?b?");
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  EXPECT_EQ(WideToSystemCodePage(SystemCodePageToWide(all)), all);
}

}  // namespace
}  // namespace pw
