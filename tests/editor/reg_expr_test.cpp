// The pattern matcher: masks that match and fail, case rules, faulty masks, and patterns that
// would backtrack without end.
#include "editor/parser/reg_expr.h"

#include <gtest/gtest.h>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/persistent.h"

namespace pw::editor {
namespace {

struct MaskCase {
  const char* mask;
  const char16_t* text;
  int len;  // -1: no match
};

class Masks : public ::testing::TestWithParam<MaskCase> {};

TEST_P(Masks, MatchAtTheStart) {
  const MaskCase& c = GetParam();
  TateRegExpr r(c.mask, true);
  std::int32_t len = -7;
  const bool ok = r.Match(c.text, len);
  if (c.len < 0) {
    EXPECT_FALSE(ok) << c.mask;
  } else {
    ASSERT_TRUE(ok) << c.mask;
    EXPECT_EQ(len, c.len) << c.mask;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Masks,
    ::testing::Values(MaskCase{"ab|cd", u"ab", 2}, MaskCase{"ab|cd", u"acd", 3}, MaskCase{"a|b", u"a", 1},
                      MaskCase{"a|b", u"b", 1}, MaskCase{"{ab}*c", u"ababc", 5}, MaskCase{"{ab}*c", u"c", 1},
                      MaskCase{"a+", u"b", -1}, MaskCase{"a+", u"aaab", 3}, MaskCase{"x*", u"y", 1},
                      MaskCase{"#65", u"A", 1}, MaskCase{"[a-c]", u"b", 1}, MaskCase{"[^a-c]", u"b", -1},
                      MaskCase{"[^a-c]", u"x", 1}, MaskCase{"a*ab", u"aab", 3}, MaskCase{"\\*x", u"*x", 2},
                      MaskCase{"[#48-#57]+", u"123a", 3}, MaskCase{"[\\]\\-]", u"-", 1}, MaskCase{"abc", u"ab", -1},
                      MaskCase{"^.$", u"^.$", 3}, MaskCase{"a!b", u"ax", 2},
                      // A negated element at the end of the text takes nothing.
                      MaskCase{"a!b", u"a", 1}));

TEST(RegExpr, CaseInsensitivePatternsAreStoredUpperCased) {
  TateRegExpr r("abc[x-z]", false);
  std::int32_t len = 0;
  EXPECT_TRUE(r.Match(u"ABCY", len));
  EXPECT_EQ(len, 4);
  EXPECT_FALSE(r.Match(u"abcy", len));
}

TEST(RegExpr, FaultyMasksNameTheirPosition) {
  struct {
    const char* mask;
    const char16_t* message;
  } cases[] = {
      {"[]", u"[] is invalid mask at (2)"},     {"[ab", u"[ab is invalid mask at (4)"},
      {"a**", u"a** is invalid mask at (3)"},   {"*a", u"*a is invalid mask at (1)"},
      {"{a", u"{a is invalid mask at (3)"},     {"a}", u"a} is invalid mask at (3)"},
      {"ab\\", u"ab\\ is invalid mask at (3)"}, {"a!", u"a! is invalid mask at (2)"},
      {"[-a]", u"[-a] is invalid mask at (2)"},
  };
  for (const auto& c : cases) {
    try {
      TateRegExpr r(c.mask, true);
      ADD_FAILURE() << c.mask;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
  EXPECT_THROW(TateRegExpr("#x", true), EConvertError);
}

TEST(RegExpr, GroupsNestAtMost256Deep) {
  EXPECT_NO_THROW(TateRegExpr(std::string(256, '{') + "a" + std::string(256, '}'), true));
  try {
    TateRegExpr r(std::string(257, '{') + "a" + std::string(257, '}'), true);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find(u"invalid mask at (257)"), std::u16string::npos);
  }
}

TEST(RegExpr, BacktrackingStaysBoundedOnLongLines) {
  TateRegExpr r("a*a*a*a*b", true);
  const std::u16string text(3000, u'a');
  std::int32_t len = 0;
  // Without remembering failed continuations this takes billions of steps.
  EXPECT_FALSE(r.Match(text, len));
  EXPECT_TRUE(r.Match(text + u"b", len));
  EXPECT_EQ(len, 3001);
}

}  // namespace
}  // namespace pw::editor
