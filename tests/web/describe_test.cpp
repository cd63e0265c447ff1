// Recorded actions' code and descriptions, URL expressions around the tested host, and the
// page-object expression.
#include <gtest/gtest.h>

#include "host/code_model.h"
#include "platform/automation/safearray.h"
#include "tests/web/recording_fixture.h"

namespace pw::web::test {
namespace {

class Describe : public RecordingTest {
 protected:
  void SetUp() override { page = AddObject(1, u"Sys.Browser(\"iexplore\").Page(\"http://a/\").Button(\"OK\")"); }
  void Run() {
    analyzer = MakeObject<TpwWebEventAnalyzer>(host.Manager());
    ASSERT_EQ(analyzer->Describe(writer.Get(), list.Get()), S_OK);
  }
  std::string Code(host::TRecordedAction* action, const GUID& language = host::kJavaScriptLanguageKey) {
    std::string code;
    for (const auto& s : action->StatementsBefore())
      code += WideToUtf8(host::RenderSyntaxElement(s.Get(), language)) + "; ";
    if (action->Call()) code += WideToUtf8(host::RenderRecordedCall(*action->Call(), language));
    return code;
  }
  std::string Description(host::TRecordedAction* action) {
    return action->Call() ? WideToUtf8(host::ExpandRecordedDescription(*action->Call(), host::kJavaScriptLanguageKey))
                          : "";
  }
  void SetOption(const GUID& key, std::int32_t kind, const OleVariant& value) {
    host.Settings().DefineSetting(key, kind, u"option", value);
  }

  ComPtr<host::TRecordedObject> page;
  ComPtr<host::TRecordedCodeWriter> writer = MakeObject<host::TRecordedCodeWriter>();
  ComPtr<TpwWebEventAnalyzer> analyzer;
};

struct ClickCase {
  std::int32_t mask;
  bool dbl;
  std::int32_t shift;
  const char* code;
};

TEST_F(Describe, ClickRows) {
  const ClickCase cases[] = {
      {0, false, 0, "Click(3, 4)"},
      {1, false, 0, "Click(3, 4)"},
      {2, true, 0, "DblClickR(3, 4)"},
      {3, false, 0, "Click(3, 4)"},
      {4, false, 0, "ClickM(3, 4)"},
      {6, false, 0, "ClickR(3, 4)"},
      {1, false, 7, "Click(3, 4, skShift | skCtrl | skAlt)"},
      {1, true, 5, "DblClick(3, 4, skShift | skAlt)"},
  };
  for (const auto& c : cases) {
    list = MakeObject<host::TRecordedActionList>();
    list->AddObject(page.Get());
    auto click = Add(kinds::kClickAction, 1,
                     {{keys::kButtonMask, OleVariant(c.mask)},
                      {keys::kDoubleClick, OleVariant(c.dbl)},
                      {keys::kShiftState, OleVariant(c.shift)},
                      {keys::kX, OleVariant(3)},
                      {keys::kY, OleVariant(4)}});
    Run();
    EXPECT_EQ(Code(click.Get()), WideToUtf8(page->Name()) + "." + c.code);
    EXPECT_EQ(Description(click.Get()), "Clicks the '" + WideToUtf8(page->Name()) + "' control.");
    EXPECT_FALSE(click->CodeFlag());
  }
}

TEST_F(Describe, ItemClicksChecksTabsAndSimpleClicks) {
  auto item = Add(kinds::kItemClickAction, 1,
                  {{keys::kItem, OleVariant(u"")},
                   {keys::kItemText, OleVariant(u"Red")},
                   {keys::kItemExtra, OleVariant(2)},
                   {keys::kButtonMask, OleVariant(2)}});
  auto named =
      Add(kinds::kItemClickAction, 1, {{keys::kItem, OleVariant(3)}, {keys::kItemMethod, OleVariant(u"SelectItem")}});
  auto clickWithItem = Add(kinds::kClickAction, 1, {{keys::kItem, OleVariant(u"Blue")}});
  auto checked = Add(kinds::kSetCheckedAction, 1, {{keys::kChecked, OleVariant(true)}});
  auto tab = Add(kinds::kTabClickAction, 1, {{keys::kItem, OleVariant(u"Details")}});
  auto simple = Add(kinds::kSimpleClickAction, 1, {{keys::kMethodName, OleVariant(u"ClickButton")}});
  auto refresh = Add(kinds::kRefreshAction, 1);
  auto close = Add(kinds::kClosePageAction, 1);
  auto other = Add(kinds::kKeyPress, 1);
  Run();
  std::string o = WideToUtf8(page->Name()) + ".";
  EXPECT_EQ(Code(item.Get()), o + "ClickItemR(\"Red\", 2)");
  EXPECT_EQ(Description(item.Get()), "Selects the Red item of the '" + WideToUtf8(page->Name()) + "' select control.");
  EXPECT_EQ(Code(named.Get()), o + "SelectItem(3)");
  EXPECT_EQ(Code(clickWithItem.Get()), o + "ClickItem(\"Blue\")");
  EXPECT_EQ(Code(checked.Get()), o + "ClickChecked(true)");
  EXPECT_EQ(Description(checked.Get()),
            "Sets the Checked property of the '" + WideToUtf8(page->Name()) + "' check box to True.");
  EXPECT_EQ(Code(tab.Get()), o + "ClickTab(\"Details\")");
  EXPECT_EQ(Code(simple.Get()), o + "ClickButton()");
  EXPECT_TRUE(simple->CodeFlag());
  EXPECT_EQ(Code(refresh.Get()), o + "Refresh()");
  EXPECT_EQ(Description(refresh.Get()), "");
  EXPECT_EQ(Code(close.Get()), o + "Close()");
  EXPECT_EQ(Code(other.Get()), "");
  EXPECT_EQ(Code(item.Get(), host::kVBScriptLanguageKey), o + "ClickItemR \"Red\", 2");
}

TEST_F(Describe, ConsecutiveWaitsAndTheWaitComment) {
  AddObject(2, u"Other");
  SetOption(kAddWaitCommentsOption, host::kSettingBoolean, OleVariant(true));
  auto first = Add(kinds::kWaitAction, 1, {{keys::kUrl, OleVariant(u"http://a/b")}});
  auto second = Add(kinds::kWaitAction, 1);
  auto third = Add(kinds::kWaitAction, 2);
  Run();
  std::string o = WideToUtf8(page->Name());
  EXPECT_EQ(Code(first.Get()), "// Please wait until download completes: \"http://a/b\"; " + o + ".Wait()");
  EXPECT_EQ(Description(first.Get()), "Waits until the browser loads the page and is ready to accept user input.");
  EXPECT_EQ(Code(second.Get()), "");
  EXPECT_EQ(Code(third.Get()), "Other.Wait()");
  EXPECT_EQ(Code(first.Get(), host::kVBScriptLanguageKey),
            "' Please wait until download completes: \"http://a/b\"; " + o + ".Wait");
}

TEST_F(Describe, NavigationsByBrowserAndOnTheProcess) {
  auto process = AddObject(10, u"Sys.Browser(\"iexplore\")", kinds::kProcessNode);
  auto tab = AddObject(11, u"Sys.Browser(\"iexplore\").Page(\"http://a/\")", GUID{}, process.Get());
  auto pageId = OleVariant(GuidToWideString(TestId(11)));
  Params common{{keys::kOnProcess, OleVariant(true)},
                {keys::kBrowserType, OleVariant(u"btIExplorer")},
                {keys::kPageObjectId, pageId}};
  auto first = Add(kinds::kNavigateAction, 11, common);
  first->SetParamValue(keys::kUrl, OleVariant(u"http://a/"));
  auto second = Add(kinds::kNavigateAction, 11, common);
  second->SetParamValue(keys::kUrl, OleVariant(u"http://a/archive.MHT"));
  auto activate = Add(kinds::kNavigateAction, 11, common);
  activate->SetParamValue(keys::kActivateObjectId, pageId);
  auto activated = Add(kinds::kNavigateAction, 11, common);
  activated->SetParamValue(keys::kActivated, OleVariant(true));
  auto noProcessFlag = Add(kinds::kNavigateAction, 11, {{keys::kBrowserType, OleVariant(u"btIExplorer")}});
  Run();
  EXPECT_EQ(Code(first.Get()), "Item(\"btIExplorer\").Navigate(\"http://a/\"); ");
  EXPECT_EQ(first->Call(), nullptr);
  EXPECT_EQ(Code(second.Get()), "Sys.Browser(\"iexplore\").ToUrl(\"http://a/archive.MHT\")");
  EXPECT_TRUE(second->Call()->Flag());
  EXPECT_TRUE(second->CodeFlag());
  EXPECT_EQ(Description(second.Get()), "Navigates to the 'http://a/archive.MHT' address.");
  EXPECT_EQ(Code(activate.Get()), "Sys.Browser(\"iexplore\").Page(\"http://a/\").Activate()");
  EXPECT_EQ(Code(activated.Get()), "");
  EXPECT_EQ(Code(noProcessFlag.Get()), "");
  // With the single-browser setting every navigation is a page call, also an activated one.
  host.Settings().DefineSetting(kSingleBrowserSetting, host::kSettingBoolean, u"single", OleVariant(true));
  writer = MakeObject<host::TRecordedCodeWriter>();
  for (auto& a : list->LiveActions()) a->SetParamValue(keys::kActivated, OleVariant(false));
  Run();
  EXPECT_EQ(Code(first.Get()),
            "Item(\"btIExplorer\").Navigate(\"http://a/\"); Sys.Browser(\"iexplore\").ToUrl(\"http://a/\")");
}

struct UrlCase {
  const char16_t* host;
  const char16_t* as;
  const char16_t* url;
  const char* js;
  const char* vb;
};

TEST_F(Describe, UrlExpressionAroundTheTestedHost) {
  const UrlCase cases[] = {
      {u"test.local", u"Project.Variables.Host", u"http://test.local/a?b=1",
       "\"http://\" + Project.Variables.Host + \"/a?b=1\"", "\"http://\" & Project.Variables.Host & \"/a?b=1\""},
      {u"test.local", u"", u"http://test.local/a", "\"http://test.local/a\"", "\"http://test.local/a\""},
      {u"", u"H", u"http://test.local/a", "\"http://test.local/a\"", "\"http://test.local/a\""},
      {u"h", u"H", u"h", "\"h\"", "\"h\""},
      {u"test.local", u"H", u"test.local", "H", "H"},
      {u"ab", u"H", u"ab/ab", "H + \"/\" + H", "H & \"/\" & H"},
      {u"Test.Local", u"H", u"http://test.local/", "\"http://test.local/\"", "\"http://test.local/\""},
  };
  for (const auto& c : cases) {
    SetOption(kTestedHostOption, host::kSettingText, OleVariant(c.host));
    SetOption(kRecordTestedHostAsOption, host::kSettingText, OleVariant(c.as));
    analyzer = MakeObject<TpwWebEventAnalyzer>(host.Manager());
    auto e = analyzer->UrlExpression(c.url);
    ASSERT_TRUE(e);
    EXPECT_EQ(WideToUtf8(host::RenderSyntaxElement(e.Get(), host::kJavaScriptLanguageKey)), c.js) << WideToUtf8(c.url);
    EXPECT_EQ(WideToUtf8(host::RenderSyntaxElement(e.Get(), host::kVBScriptLanguageKey)), c.vb) << WideToUtf8(c.url);
  }
  EXPECT_FALSE(analyzer->UrlExpression(u""));
  SetOption(kTestedHostOption, host::kSettingText, OleVariant(u"ab"));
  EXPECT_EQ(analyzer->UrlText(u"ab/"), u"H + \"/\"");
}

OleVariant StringArray(std::initializer_list<const char16_t*> items) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<std::uint32_t>(items.size()));
  std::int32_t i = 0;
  for (const auto* item : items) {
    OleVariant v(item);
    OleCheck(SafeArrayPutElement(array, &i, v.Ptr()));
    ++i;
  }
  OleVariant r;
  r.Get().vt = VT_ARRAY | VT_VARIANT;
  r.Get().parray = array;
  return r;
}

TEST_F(Describe, PageObjectExpression) {
  SetOption(kIgnoreDynamicUrlParamsOption, host::kSettingBoolean, OleVariant(true));
  auto table =
      host.Settings().DefineSetting(kDynamicParametersOption, host::kSettingTable, u"Dynamic parameters", OleVariant());
  BString column(u"Name");
  OleCheck(table->AddColumn(host::kSettingText, column.Get(), VARIANT_TRUE, VARIANT_FALSE));
  std::int32_t row = 0;
  OleCheck(table->AppendRow(&row));
  OleCheck(table->SetCell(0, row, OleVariant(u"sid").Get()));
  analyzer = MakeObject<TpwWebEventAnalyzer>(host.Manager());
  struct Case {
    const char16_t* name;
    bool hasParams;
    OleVariant params;
    bool answer;
  };
  const Case cases[] = {{u"PAGE", true, StringArray({u"http://a/?sid=5&x=1"}), true},
                        {u"page", true, StringArray({u"a", u"b"}), false},
                        {u"Frame", true, StringArray({u"a"}), false},
                        {u"page", false, StringArray({u"a"}), false},
                        {u"page", true, OleVariant(u"a"), false}};
  for (const auto& c : cases) {
    ComPtr<IcvSyntaxElement> expression;
    VARIANT_BOOL answer = VARIANT_FALSE;
    BString name(c.name);
    ASSERT_EQ(analyzer->MakeObjectExpression(name.Get(), c.hasParams ? VARIANT_TRUE : VARIANT_FALSE, c.params.Get(),
                                             expression.Put(), &answer),
              S_OK);
    EXPECT_EQ(answer != VARIANT_FALSE, c.answer) << WideToUtf8(c.name);
    EXPECT_EQ(static_cast<bool>(expression), c.answer);
    if (expression) {
      EXPECT_EQ(WideToUtf8(host::RenderSyntaxElement(expression.Get(), host::kJavaScriptLanguageKey)),
                "Page(\"http://a/?sid=*&x=1\")");
    }
  }
}

TEST(DescribeStart, WithoutASyntaxManagerTheAnalyzerIsNotMade) {
  host::TestHost host;
  host.SetService(host::services::kSyntax, nullptr);
  EXPECT_THROW(MakeObject<TpwWebEventAnalyzer>(host.Manager()), Exception);
}

}  // namespace
}  // namespace pw::web::test
