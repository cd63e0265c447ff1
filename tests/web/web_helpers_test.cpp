// The pure helpers of the web slices: log URLs, address-bar keys, modifier texts, centres.
#include "web/navigation/web_helpers.h"

#include <gtest/gtest.h>

#include <climits>

#include "platform/rtl/strings.h"

namespace pw::web {
namespace {

WideString Repeat(char16_t c, std::size_t n) { return WideString(n, c); }

TEST(ShortenUrlForLog, Table) {
  const WideString sixty = u"http://example.com/" + Repeat(u'a', 41);
  ASSERT_EQ(sixty.size(), 60u);
  // 61 characters with "?" at position 30 (1-based): its first 29 characters and "...".
  const WideString query = u"http://example.com/" + Repeat(u'b', 10) + u"?" + Repeat(u'c', 31);
  ASSERT_EQ(query.size(), 61u);
  struct Case {
    WideString given, shown;
  } cases[] = {
      {u"", u""},
      {u"http://example.com/", u"http://example.com/"},
      {sixty, sixty},
      {sixty + u"x", sixty + u"..."},
      {query, query.substr(0, 29) + u"..."},
      {u"http://example.com/p;jsessionid=" + Repeat(u'1', 40), u"http://example.com/p..."},
      {u"http://example.com/p#" + Repeat(u'f', 50) + u"?q", u"http://example.com/p..."},
      {u"http://example.com/" + Repeat(u'd', 60) + u"?q=1", u"http://example.com/" + Repeat(u'd', 41) + u"..."},
  };
  for (const auto& c : cases) EXPECT_EQ(ShortenUrlForLog(c.given), c.shown) << WideToUtf8(c.given);
}

TEST(ShortenUrlForLog, NeverSplitsASurrogatePair) {
  // The 60th code unit is the first half of a pair: the cut keeps neither half.
  WideString url = u"http://example.com/" + Repeat(u'a', 40) + u"\U0001F600" + Repeat(u'z', 10);
  EXPECT_EQ(ShortenUrlForLog(url), u"http://example.com/" + Repeat(u'a', 40) + u"...");
}

TEST(MakeAddressBarKeys, Table) {
  struct Case {
    const char16_t *given, *keys;
  } cases[] = {
      {u"a^b[c", u"[F4]^aa^^b[[c[Enter]^0"},
      {u"", u"[F4]^a[Enter]^0"},
      {u"http://example.com/?q=~x", u"[F4]^ahttp://example.com/?q=~~x[Enter]^0"},
      {u"^^~[]%s", u"[F4]^a^^^^~~[[]%s[Enter]^0"},
  };
  for (const auto& c : cases) EXPECT_EQ(MakeAddressBarKeys(c.given), c.keys) << WideToUtf8(c.given);
}

TEST(FormatShiftKeys, Table) {
  struct Case {
    std::uint16_t shift;
    const char16_t* text;
  } cases[] = {
      {0, u"no"},
      {0x00FF, u"no"},  // other bits (the key itself) are no modifiers
      {kShiftKey, u"the Shift"},
      {kAltKey, u"the Alt"},
      {kControlKey, u"the Control"},
      {kAltKey | kControlKey, u"the Alt + Control"},
      {kShiftKey | kControlKey, u"the Shift + Control"},
      {kShiftKey | kAltKey | kControlKey | 0x41, u"the Shift + Alt + Control"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatShiftKeys(c.shift), c.text) << c.shift;
}

TEST(GetRectCenter, Table) {
  struct Case {
    TRect rect;
    TPoint center;
  } cases[] = {
      {{0, 0, 10, 20}, {5, 10}},
      {{0, 0, 11, 21}, {5, 10}},
      {{-11, -21, 0, 0}, {-5, -10}},  // toward zero, not down
      {{10, 10, 0, 0}, {5, 5}},       // inverted rectangles too
      {{INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX}, {INT32_MAX, INT32_MAX}},
      {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(GetRectCenter(c.rect), c.center);
}

}  // namespace
}  // namespace pw::web
