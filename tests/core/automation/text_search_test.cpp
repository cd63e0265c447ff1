#include "core/automation/text_search.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/rtl/strings.h"

namespace pw {
namespace {

TEST(WidePosEx, FindsTheFirstOccurrenceAtOrAfterTheOffset) {
  struct Case {
    const char16_t* sub;
    const char16_t* s;
    std::int32_t offset, expected;
  };
  const Case cases[] = {
      {u"", u"abc", 1, 0},      {u"b", u"abcb", 1, 2},  {u"b", u"abcb", 2, 2},   {u"b", u"abcb", 3, 4},
      {u"b", u"abcb", 5, 0},    {u"b", u"abcb", 0, 0},  {u"b", u"abcb", -3, 0},  {u"cb", u"abcb", 1, 3},
      {u"x", u"abc", 1, 0},     {u"abcd", u"abc", 1, 0}, {u"B", u"abcb", 1, 0},  {u"abc", u"abc", 1, 1},
      {u"\u00E9", u"e\u00E9", 1, 2},
  };
  for (const auto& c : cases)
    EXPECT_EQ(WidePosEx(c.sub, c.s, c.offset), c.expected)
        << WideToUtf8(c.sub) << " in " << WideToUtf8(c.s) << " from " << c.offset;
}

TEST(WideMatchesMask, Cases) {
  struct Case {
    const char16_t* mask;
    const char16_t* text;
    bool expected;
  };
  const Case cases[] = {
      {u"*", u"", true},          {u"*", u"abc", true},        {u"", u"", true},
      {u"", u"a", false},         {u"?", u"", true},           {u"?", u"a", true},
      {u"?", u"ab", false},       {u"a?", u"a", true},         {u"a?c", u"a", false},
      {u"a?c", u"abc", true},     {u"a*c", u"abcbc", true},    {u"a*c", u"abcb", false},
      {u"a**b", u"a*b", true},    {u"a**b", u"axb", false},    {u"**", u"*", true},
      {u"**", u"a", false},       {u"***", u"*abc", true},     {u"***", u"abc", false},
      {u"*.txt", u"f.txt", true}, {u"*.txt", u"f.TXT", false}, {u"abc", u"ABC", false},
      {u"*ab*cd", u"xabyabcd", true}, {u"a*b*c", u"aXbYbZc", true}, {u"*a*a", u"bab", false},
      {u"*a", u"aaa", true},      {u"*?", u"", true},          {u"\u00E4*", u"\u00E4x", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(WideMatchesMask(c.mask, c.text), c.expected) << WideToUtf8(c.mask) << " vs " << WideToUtf8(c.text);
}

// The rules stated one by one, trying every way a "*" can split the text.
bool MatchesByRules(WideStringView mask, WideStringView text) {
  if (mask.empty()) return text.empty();
  if (mask.starts_with(u"**")) return !text.empty() && text[0] == u'*' && MatchesByRules(mask.substr(2), text.substr(1));
  if (mask[0] == u'*') {
    for (std::size_t i = 0; i <= text.size(); ++i)
      if (MatchesByRules(mask.substr(1), text.substr(i))) return true;
    return false;
  }
  if (mask[0] == u'?') return MatchesByRules(mask.substr(1), text.empty() ? text : text.substr(1));
  return !text.empty() && text[0] == mask[0] && MatchesByRules(mask.substr(1), text.substr(1));
}

void AllStrings(WideStringView alphabet, std::size_t maxLength, std::vector<WideString>& out) {
  out.assign(1, WideString());
  for (std::size_t i = 0; i < out.size(); ++i)
    if (out[i].size() < maxLength)
      for (char16_t c : alphabet) out.push_back(out[i] + c);
}

TEST(WideMatchesMask, BacktrackingAgreesWithTheRulesOnEveryShortMask) {
  std::vector<WideString> masks, texts;
  AllStrings(u"ab*?", 5, masks);
  AllStrings(u"ab*", 4, texts);
  int mismatches = 0;
  for (const auto& m : masks)
    for (const auto& t : texts)
      if (WideMatchesMask(m, t) != MatchesByRules(m, t) && ++mismatches <= 5)
        ADD_FAILURE() << WideToUtf8(m) << " vs " << WideToUtf8(t);
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace pw
