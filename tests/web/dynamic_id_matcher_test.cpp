// The hook side's matcher of the dynamic identifier text: the built-in patterns against the
// identifiers their descriptions name, misses, the template rules and bad lines.
#include <gtest/gtest.h>

#include <string>

#include "host/dynamic_id_matcher.h"
#include "web/settings/dynamic_ids.h"

namespace {

using pw::host::DynamicIdMatch;
using pw::host::TDynamicIdMatcher;

// The hook text of the built-in table, as the plug-in builds it.
std::u16string BuiltInText() {
  std::u16string text;
  for (const auto& d : pw::web::BuiltInDynamicIds()) {
    if (!text.empty()) text += u'\n';
    text += d.IsRegExp ? u"regexp:" : u"normal:";
    text += std::u16string(d.IdPattern) + u'\t' + d.StableIdTemplate;
  }
  return text;
}

struct Case {
  const char16_t* id;
  int line;                // -1: no match
  const char16_t* stable;  // nullptr: not used
};

TEST(DynamicIdMatcher, BuiltInPatternsMatchTheIdsTheirDescriptionsName) {
  const Case cases[] = {
      {u"yui-gen123", 0, nullptr},
      {u"node_yui_3_5_1_12", 1, nullptr},
      {u"ui-id-7", 2, nullptr},
      {u"dijit_form_Button_0", 3, nullptr},
      {u"row-3f2504e0-4f89-11d3-9a0c-0305e82c3301", 4, nullptr},
      {u"ctl00", 5, nullptr},
      {u"main_ctl03", 5, nullptr},
      {u"ctl00_m_g_a1b2c3d4_e5f6_7890_abcd_ef1234567890_ctl00_Button1", 6, u"Button1"},
      {u"ctl00_MainContent_Name", 7, u"MainContent_Name"},
      {u"ext-gen1234", 8, nullptr},
      {u"panel-ext-gen12", 8, nullptr},
      {u"ext-comp-1001", 9, nullptr},
      {u"extdd-12", 10, nullptr},
      {u"treepicker-1038", 11, u"treepicker"},
      {u"treepicker-1038-inputEl", 11, u"treepicker-inputEl"},
      {u"_t14", 12, nullptr},
      {u"j_id23", 13, nullptr},
      {u"j_idt23", 13, nullptr},
      {u"frm:menuLinks:0:link", 14, u"link"},
      {u"frm:menuLinks:3", 15, nullptr},
      {u"gwt-uid-370_runButton", 16, u"runButton"},
      {u"gwt-uid-370", 16, nullptr},  // the template expands to nothing: not used
      {u"x-widget-5_label", 17, u"5_label"},
      {u"auto-12_field", 17, u"field"},
      // Misses.
      {u"submitButton", -1, nullptr},
      {u"", -1, nullptr},
      {u"YUI-GEN1", -1, nullptr},  // wildcards compare exactly
      {u"ui-id", -1, nullptr},
      {u"treepicker-103", -1, nullptr},
      {u"j_idx23", -1, nullptr},
  };
  TDynamicIdMatcher matcher(BuiltInText());
  ASSERT_EQ(matcher.LineCount(), 18u);
  EXPECT_TRUE(matcher.Problems().empty());
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.id, c.id + std::char_traits<char16_t>::length(c.id)));
    const DynamicIdMatch m = matcher.Match(c.id);
    EXPECT_EQ(m.line, c.line);
    if (c.line < 0) {
      EXPECT_EQ(m.kind, DynamicIdMatch::NoMatch);
    } else if (!c.stable) {
      EXPECT_EQ(m.kind, DynamicIdMatch::NotUsed);
    } else {
      EXPECT_EQ(m.kind, DynamicIdMatch::Stable);
      EXPECT_EQ(m.stableId, c.stable);
    }
  }
}

TEST(DynamicIdMatcher, TemplatesExpandCapturesInOrderOfTheirBraces) {
  const std::vector<std::u16string_view> captures = {u"whole", u"a", u"b", u"c"};
  EXPECT_EQ(pw::host::ExpandStableIdTemplate(u"$1$3", captures), u"ac");
  EXPECT_EQ(pw::host::ExpandStableIdTemplate(u"x$2y", captures), u"xby");
  EXPECT_EQ(pw::host::ExpandStableIdTemplate(u"$9", captures), u"");  // no such capture
  EXPECT_EQ(pw::host::ExpandStableIdTemplate(u"$$1", captures), u"$1");
  EXPECT_EQ(pw::host::ExpandStableIdTemplate(u"a$", captures), u"a$");
  EXPECT_EQ(pw::host::ExpandStableIdTemplate(u"$x", captures), u"$x");
  EXPECT_EQ(pw::host::ExpandStableIdTemplate(u"$0", captures), u"whole");
  EXPECT_EQ(pw::host::ExpandStableIdTemplate(u"$99999999999999999999", captures), u"");
}

TEST(DynamicIdMatcher, FirstMatchingLineWinsAndBadLinesNeverMatch) {
  TDynamicIdMatcher matcher(
      u"bogus:abc\t\n"
      u"regexp:{unclosed\t$1\n"
      u"regexp:^id{\\d+}$\tn$1\r\n"
      u"normal:id*\t\n"
      u"normal:id7");
  ASSERT_EQ(matcher.LineCount(), 5u);
  ASSERT_EQ(matcher.Problems().size(), 2u);
  EXPECT_EQ(matcher.Problems()[0].substr(0, 8), u"line 0: ");
  EXPECT_EQ(matcher.Problems()[1].substr(0, 8), u"line 1: ");
  auto m = matcher.Match(u"id42");
  EXPECT_EQ(m.line, 2);
  EXPECT_EQ(m.stableId, u"n42");
  m = matcher.Match(u"idx");
  EXPECT_EQ(m.line, 3);
  EXPECT_EQ(m.kind, DynamicIdMatch::NotUsed);
  EXPECT_EQ(matcher.Match(u"abc").kind, DynamicIdMatch::NoMatch);
  // A line without a TAB has an empty template.
  TDynamicIdMatcher plain(u"normal:id7");
  EXPECT_EQ(plain.Match(u"id7").kind, DynamicIdMatch::NotUsed);
}

TEST(DynamicIdMatcher, AMatchPastTheLimitsCountsAsNoMatchAndTheNextLineIsTried) {
  // Nested repetition that backtracks exponentially on a text that cannot match.
  TDynamicIdMatcher matcher(u"regexp:^((a+)+)+$\t\nnormal:*\tfallback");
  const std::u16string id(40, u'a');
  auto m = matcher.Match(id + u"b");
  EXPECT_EQ(m.line, 1);
  EXPECT_EQ(m.stableId, u"fallback");
  EXPECT_EQ(matcher.Match(id).line, 0);
}

TEST(DynamicIdMatcher, InvalidUtf16IsMatchedNotRejected) {
  // An unpaired surrogate matches no pattern item, but the text around it is searched.
  TDynamicIdMatcher matcher(u"regexp:^x.*$\t\nregexp:{y}\t$1");
  const std::u16string id = std::u16string(u"x") + char16_t(0xD800) + u"y";
  const auto m = matcher.Match(id);
  EXPECT_EQ(m.line, 1);
  EXPECT_EQ(m.stableId, u"y");
}

}  // namespace
