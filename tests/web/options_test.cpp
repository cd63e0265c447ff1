// The web testing options read from the host's settings, and the masking of
// dynamic URL parameters.
#include <gtest/gtest.h>

#include "host/test_host.h"
#include "platform/rtl/strings.h"
#include "web/options/web_testing_options.h"

namespace pw::web {
namespace {

struct MaskCase {
  const char16_t* url;
  std::vector<WideString> names;
  const char16_t* expected;
};

TEST(MaskDynamicUrlParams, Table) {
  const MaskCase cases[] = {
      {u"page.htm?id=5&sessionid=AB12&x=1", {u"sessionid"}, u"page.htm?id=5&sessionid=*&x=1"},
      {u"page.htm?id=5&SessionID=AB12&x=1", {u"sessionid"}, u"page.htm?id=5&SessionID=*&x=1"},
      {u"page.htm;jsessionid=1?a=2", {u"*"}, u"page.htm*"},
      {u"page.htm?a=2;b=3", {u"*"}, u"page.htm*"},
      {u"page.htm#top", {u"*"}, u"page.htm*"},
      {u"page.htm", {u"*"}, u"page.htm"},
      {u"page.htm", {u"sessionid"}, u"page.htm"},
      {u"http://host/path/page.htm", {u"id"}, u"http://host/path/page.htm"},
      // A parameter without a value does not hide the one after it.
      {u"page.htm?flag&sessionid=1", {u"sessionid"}, u"page.htm?flag&sessionid=*"},
      {u"page.htm?flag;sessionid=1", {u"sessionid"}, u"page.htm?flag;sessionid=*"},
      // Every occurrence, several names in order; ";" does not end a masked
      // value.
      {u"p?a=1&b=2&a=3", {u"a"}, u"p?a=*&b=2&a=*"},
      {u"p?a=1&b=2&c=3", {u"a", u"c"}, u"p?a=*&b=2&c=*"},
      {u"p?a=1;b=2&c=3", {u"a"}, u"p?a=*&c=3"},
      {u"p?ab=1&a=2", {u"a"}, u"p?ab=1&a=*"},
      {u"p?a=", {u"a"}, u"p?a=*"},
      {u"", {u"a"}, u""},
      {u"p?a=1", {}, u"p?a=1"},
      {u"p?a=1&b=2", {u"b", u"*"}, u"p*"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(WideToUtf8(MaskDynamicUrlParams(c.url, c.names)), WideToUtf8(c.expected)) << WideToUtf8(c.url);
}

class WebOptions : public ::testing::Test {
 protected:
  host::TestHost host;
};

TEST_F(WebOptions, MissingSettingsReadAsUnset) {
  TpwWebTestingOptions options(host.Manager());
  EXPECT_FALSE(options.GetAddWaitComments());
  EXPECT_FALSE(options.GetIgnoreDynamicUrlParams());
  EXPECT_EQ(options.GetTestedHost(), u"");
  EXPECT_EQ(options.GetRecordTestedHostAs(), u"");
  std::vector<WideString> names{u"kept"};
  options.GetDynamicParameters(names);
  EXPECT_EQ(names, std::vector<WideString>{u"kept"});
  EXPECT_TRUE(TpwWebTestingOptions::GetRecordOnProcess());
  TpwWebTestingOptions none(nullptr);
  EXPECT_FALSE(none.GetAddWaitComments());
}

TEST_F(WebOptions, ReadsEveryValueAnew) {
  TpwWebTestingOptions options(host.Manager());
  auto comments = host.Settings().DefineSetting(kAddWaitCommentsOption, host::kSettingBoolean, u"c", OleVariant(true));
  host.Settings().DefineSetting(kTestedHostOption, host::kSettingText, u"Tested host", OleVariant(u"test.local"));
  host.Settings().DefineSetting(kRecordTestedHostAsOption, host::kSettingText, u"as", OleVariant(u"Project.Host"));
  host.Settings().DefineSetting(kIgnoreDynamicUrlParamsOption, host::kSettingBoolean, u"i", OleVariant(1));
  EXPECT_TRUE(options.GetAddWaitComments());
  EXPECT_EQ(options.GetTestedHost(), u"test.local");
  EXPECT_EQ(options.GetRecordTestedHostAs(), u"Project.Host");
  EXPECT_FALSE(options.GetIgnoreDynamicUrlParams());  // only True itself counts
  OleCheck(comments->put_Value(OleVariant(false).Get()));
  EXPECT_FALSE(options.GetAddWaitComments());
}

TEST_F(WebOptions, DynamicParametersAppendTheTableRows) {
  auto table =
      host.Settings().DefineSetting(kDynamicParametersOption, host::kSettingTable, u"Dynamic parameters", OleVariant());
  BString column(u"Name");
  OleCheck(table->AddColumn(host::kSettingText, column.Get(), VARIANT_TRUE, VARIANT_FALSE));
  for (const char16_t* n : {u"sid", u"token"}) {
    std::int32_t row = 0;
    OleCheck(table->AppendRow(&row));
    OleCheck(table->SetCell(0, row, OleVariant(n).Get()));
  }
  std::vector<WideString> names{u"first"};
  TpwWebTestingOptions(host.Manager()).GetDynamicParameters(names);
  EXPECT_EQ(names, (std::vector<WideString>{u"first", u"sid", u"token"}));
}

}  // namespace
}  // namespace pw::web
