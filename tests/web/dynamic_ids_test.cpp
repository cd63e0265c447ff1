// The dynamic identifier table: the built-in table and its hook text, the seven actions with
// the table's two-level invariant checked after each step, their enabled states, the wizard and
// test dialogs, and the validator of edited cells.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/host/host_settings.h"
#include "core/host/module_proxy.h"
#include "host/test_host.h"
#include "platform/rtl/strings.h"
#include "web/settings/dynamic_ids.h"

namespace {

using namespace pw;
using namespace pw::web;

constexpr GUID kGroupKey = MakeGuid("{4F2B0B7E-93D1-4A7C-8F0C-0E7D2C5D1A11}");
constexpr GUID kContext = MakeGuid("{9D1E6F1A-2B3C-4D5E-8F90-A1B2C3D4E5F6}");

std::u16string Split(const std::u16string& text, std::vector<std::u16string>& lines) {
  lines.clear();
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(u'\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::u16string::npos) break;
    start = end + 1;
  }
  return text;
}

class DynamicIds : public ::testing::Test {
 protected:
  DynamicIds() {
    SetHostExeFolderOverride(Utf8ToWide(PW_TEST_HOST_DIR));
    host::TestHostOptions options;
    options.interactive = true;
    host_ = std::make_unique<host::TestHost>(options);
    auto group = RegisterSettingsGroup(Root(), kGroupKey, u"Web Testing", u"", 0, 0, u"");
    table_ = CreateDynamicIdSetting(group.Get(), kDynamicIdSettingKey);
    RegisterDynamicIdActions(Root(), kContext);
  }
  // The helper library is unloaded while the test still runs; left to the exit-time destructors,
  // the proxy would be torn down after the library it points into.
  ~DynamicIds() override {
    table_ = nullptr;
    StopHelperModules();
  }

  IcvBaseManager* Root() { return host_->Manager(); }
  std::vector<std::vector<OleVariant>> Rows() { return host_->Settings().FindSetting(kDynamicIdSettingKey)->Rows(); }
  std::int32_t Current() {
    std::int32_t r = -1;
    table_->GetCurrentRow(&r);
    return r;
  }
  void Select(std::int32_t row) { ASSERT_EQ(table_->SetCurrentRow(row), S_OK); }
  static bool IsGroup(const std::vector<OleVariant>& row) { return row[kDiIsGroup].AsBool(); }
  static std::u16string Description(const std::vector<OleVariant>& row) { return row[kDiDescription].AsString(); }
  // Descriptions in table order, groups marked with "#".
  std::vector<std::u16string> Outline() {
    std::vector<std::u16string> out;
    for (const auto& r : Rows()) out.push_back((IsGroup(r) ? u"#" : u"") + Description(r));
    return out;
  }
  // The two-level invariant: row 0 a group; groups have parent -1; items the nearest group above.
  void CheckInvariant() {
    const auto rows = Rows();
    std::int32_t group = -1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      SCOPED_TRACE(i);
      ASSERT_EQ(rows[i].size(), 10u);
      if (IsGroup(rows[i])) {
        EXPECT_EQ(rows[i][kDiParent].AsInt(), -1);
        group = static_cast<std::int32_t>(i);
      } else {
        ASSERT_GE(group, 0) << "an item before any group";
        EXPECT_EQ(rows[i][kDiParent].AsInt(), group);
      }
      EXPECT_EQ(rows[i][kDiImage].AsInt(), -1);
      EXPECT_EQ(rows[i][kDiPatternTypes].AsString(), u"Wildcard\r\nRegExp");
    }
  }
  void Run(const GUID& action) {
    auto a = host_->Actions().Find(action);
    ASSERT_TRUE(a);
    GUID out = kContext;
    EXPECT_EQ(ExecuteDynamicIdAction(Root(), a.Get(), OleVariant().Get(), &out), 0);
    EXPECT_EQ(out, GUID_NULL);
    CheckInvariant();
  }
  bool Enabled(const GUID& action) {
    auto a = host_->Actions().Find(action);
    a->SetProperty(0, OleVariant(true).Get());
    UpdateDynamicIdAction(Root(), a.Get());
    return a->Property(0).AsBool();
  }
  std::int32_t RowOf(std::u16string_view description) {
    const auto rows = Rows();
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (Description(rows[i]) == description) return static_cast<std::int32_t>(i);
    return -1;
  }

  std::unique_ptr<host::TestHost> host_;
  ComPtr<IcvTableSetting_DVS> table_;
};

TEST_F(DynamicIds, BuiltInTableHasTenColumnsEighteenPatternsNineGroups) {
  auto setting = host_->Settings().FindSetting(kDynamicIdSettingKey);
  ASSERT_TRUE(setting);
  EXPECT_EQ(setting->Caption(), u"Dynamic Identifiers");
  EXPECT_EQ(setting->Description(), kDynamicIdSettingDescription);
  EXPECT_EQ(setting->Kind(), 6);
  EXPECT_EQ(setting->TypeKey(), kDynamicIdSettingTypeKey);
  EXPECT_EQ(setting->OwnerKey(), kDynamicIdSettingOwnerKey);
  const auto columns = setting->Columns();
  const std::vector<std::pair<std::int32_t, std::u16string>> expected = {
      {2, u"__Parent_Idx__"}, {2, u"__Image_Handle__"}, {1, u"__Is_Group_Node__"}, {1, u"Enabled"},
      {5, u"Description"},    {5, u"Pattern Type"},     {5, u"ID Pattern"},        {5, u"Stable ID Template"},
      {5, u"Pattern Types"},  {2, u"Tree control"}};
  ASSERT_EQ(columns.size(), expected.size());
  for (std::size_t i = 0; i < columns.size(); ++i) {
    EXPECT_EQ(columns[i].kind, expected[i].first);
    EXPECT_EQ(columns[i].name, expected[i].second);
    EXPECT_EQ(columns[i].visible, i >= 4 && i <= 7);
  }
  CheckInvariant();
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 27u);
  EXPECT_EQ(Current(), 26);
  const std::vector<std::u16string> groups = {
      u"Yahoo! UI library", u"jQuery UI library", u"Dojo toolkit",       u"Other", u"ASP.NET",
      u"Sencha ExtJS",      u"JavaServer Faces",  u"Google Web Toolkit", u"Custom"};
  std::vector<std::u16string> seen;
  std::size_t item = 0;
  for (const auto& r : rows) {
    if (IsGroup(r)) {
      seen.push_back(Description(r));
      EXPECT_TRUE(r[kDiEnabled].AsBool());
      EXPECT_EQ(r[kDiPattern].AsString(), u"");
      continue;
    }
    const auto& d = BuiltInDynamicIds()[item++];
    EXPECT_EQ(Description(r), d.Description);
    EXPECT_EQ(r[kDiPattern].AsString(), d.IdPattern);
    EXPECT_EQ(r[kDiTemplate].AsString(), d.StableIdTemplate);
    EXPECT_EQ(r[kDiPatternType].AsString(), d.IsRegExp ? u"RegExp" : u"Wildcard");
    EXPECT_TRUE(r[kDiEnabled].AsBool());
    EXPECT_EQ(Description(rows[static_cast<std::size_t>(r[kDiParent].AsInt())]), d.Group);
  }
  EXPECT_EQ(item, 18u);
  EXPECT_EQ(seen, groups);
  EXPECT_EQ(Description(rows.back()), u"Custom");
}

TEST_F(DynamicIds, HookTextHasOneLinePerEnabledPattern) {
  const std::u16string text = GetDynamicIdPatterns(Root(), false);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), u'\n');
  std::vector<std::u16string> lines;
  Split(text, lines);
  ASSERT_EQ(lines.size(), 18u);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(i);
    const auto& d = BuiltInDynamicIds()[i];
    const bool normal = i <= 3 || i == 10;
    EXPECT_EQ(lines[i], std::u16string(normal ? u"normal:" : u"regexp:") + d.IdPattern + u"\t" + d.StableIdTemplate);
  }
  EXPECT_EQ(lines[0], u"normal:yui-gen*\t");
  EXPECT_EQ(text.find(u'\r'), std::u16string::npos);
}

TEST_F(DynamicIds, HookTextCleansCellsAndSkipsDisabledAndGroupRows) {
  // Pattern with TAB, CR and LF; template with TAB, CR and LF: each becomes "_".
  ASSERT_EQ(table_->SetCell(kDiPattern, 1, OleVariant(u"a\tb\rc\nd").Get()), S_OK);
  ASSERT_EQ(table_->SetCell(kDiTemplate, 1, OleVariant(u"$1\t\r\n").Get()), S_OK);
  ASSERT_EQ(table_->SetCell(kDiEnabled, 2, OleVariant(false).Get()), S_OK);          // "*yui_3_*" off
  ASSERT_EQ(table_->SetCell(kDiPatternType, 8, OleVariant(u"regexp").Get()), S_OK);  // not exactly "RegExp"
  std::vector<std::u16string> lines;
  Split(GetDynamicIdPatterns(Root(), false), lines);
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[0], u"normal:a_b_c_d\t$1___");
  EXPECT_EQ(lines[1], u"normal:ui-id-*\t");
  EXPECT_EQ(lines[3], u"normal:\\h+-\\h+-\\h+-\\h+-\\h+\t");
  for (const auto& l : lines) EXPECT_EQ(l.find(u"yui_3_"), std::u16string::npos);
}

TEST_F(DynamicIds, DisableAllTurnsEveryRowOffAndGivesNoText) {
  const auto writesBefore = host_->Settings().Writes().size();
  EXPECT_EQ(GetDynamicIdPatterns(Root(), true), u"");
  for (const auto& r : Rows()) EXPECT_FALSE(r[kDiEnabled].AsBool());
  EXPECT_EQ(host_->Settings().Writes().size(), writesBefore + 27);
  EXPECT_EQ(GetDynamicIdPatterns(Root(), false), u"");
}

TEST_F(DynamicIds, NoTableGivesEmptyTextAndDisabledEditing) {
  host::TestHostOptions options;
  host::TestHost bare(options);
  EXPECT_EQ(GetDynamicIdPatterns(bare.Manager(), false), u"");
  EXPECT_EQ(GetDynamicIdPatterns(bare.Manager(), true), u"");
  EXPECT_FALSE(IsDynamicIdActionEnabled(bare.Manager(), kDynamicIdRemove));
  EXPECT_TRUE(IsDynamicIdActionEnabled(bare.Manager(), kDynamicIdAddGroup));
  EXPECT_THROW(AddDynamicIdGroup(bare.Manager()), Exception);
}

TEST_F(DynamicIds, ActionsInHostOrderAndRegistrationOrder) {
  const GUID order[] = {kDynamicIdAddByWizard, kDynamicIdAddGroup, kDynamicIdRemove, kDynamicIdMoveUp,
                        kDynamicIdMoveDown,    kDynamicIdTest,     kDynamicIdAddItem};
  ASSERT_EQ(GetDynamicIdActionCount(), 7);
  for (std::int32_t i = 0; i < 7; ++i) EXPECT_EQ(GetDynamicIdActionId(i), order[i]);
  EXPECT_EQ(GetDynamicIdActionId(7), GUID_NULL);
  EXPECT_EQ(GetDynamicIdActionId(-1), GUID_NULL);
  const auto actions = host_->Actions().ActionsOf(kContext);
  ASSERT_EQ(actions.size(), 7u);
  const auto descriptions = DynamicIdActionDescriptions();
  for (std::size_t i = 0; i < 7; ++i) {
    GUID key;
    actions[i]->GetKey(&key);
    EXPECT_EQ(key, descriptions[i].Key);
    EXPECT_EQ(actions[i]->Property(1).AsString(), descriptions[i].Caption);
  }
  EXPECT_EQ(descriptions[6].Caption, std::u16string(u"Test..."));
}

TEST_F(DynamicIds, AddItemInsideAspNetAppendsToItAndShiftsLaterParents) {
  Select(10);  // the first ASP.NET item
  Run(kDynamicIdAddItem);
  EXPECT_EQ(Current(), 13);
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 28u);
  EXPECT_EQ(Description(rows[13]), u"Custom");
  EXPECT_EQ(rows[13][kDiParent].AsInt(), 9);
  EXPECT_FALSE(rows[13][kDiEnabled].AsBool());
  EXPECT_EQ(rows[13][kDiPatternType].AsString(), u"Wildcard");
  EXPECT_EQ(Description(rows[14]), u"Sencha ExtJS");
  EXPECT_EQ(rows[15][kDiParent].AsInt(), 14);
  // On an empty trailing group: the item goes into it.
  Select(27);
  Run(kDynamicIdAddItem);
  EXPECT_EQ(Current(), 28);
  EXPECT_EQ(Rows()[28][kDiParent].AsInt(), 27);
}

TEST_F(DynamicIds, AddGroupAppendsAnEnabledCustomGroup) {
  Select(3);
  Run(kDynamicIdAddGroup);
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 28u);
  EXPECT_EQ(Current(), 27);
  EXPECT_TRUE(IsGroup(rows[27]));
  EXPECT_EQ(Description(rows[27]), u"Custom");
}

TEST_F(DynamicIds, RemovingAGroupWithItemsAsksFirst) {
  Select(9);  // ASP.NET with three items
  host_->Messenger().QueueConfirmation(false);
  Run(kDynamicIdRemove);
  EXPECT_EQ(Rows().size(), 27u);
  ASSERT_EQ(host_->Messenger().Messages().size(), 1u);
  EXPECT_EQ(host_->Messenger().Messages()[0].text, kDynamicIdRemoveGroupQuestion);
  host_->Messenger().QueueConfirmation(true);
  Run(kDynamicIdRemove);
  EXPECT_EQ(Rows().size(), 23u);
  EXPECT_EQ(Description(Rows()[9]), u"Sencha ExtJS");
  EXPECT_EQ(Current(), 9);
  // An empty group and an item go without a question.
  const auto asked = host_->Messenger().Messages().size();
  Select(22);  // "Custom", empty
  Run(kDynamicIdRemove);
  EXPECT_EQ(Rows().size(), 22u);
  Select(1);
  Run(kDynamicIdRemove);
  EXPECT_EQ(Rows().size(), 21u);
  EXPECT_EQ(host_->Messenger().Messages().size(), asked);
}

TEST_F(DynamicIds, RemovingTheLastItemOfAGroupSelectsTheRowAbove) {
  Select(4);  // the one jQuery item; row 5 is the next group
  Run(kDynamicIdRemove);
  EXPECT_EQ(Current(), 3);
  EXPECT_EQ(Outline()[3], u"#jQuery UI library");
  EXPECT_EQ(Outline()[4], u"#Dojo toolkit");
}

TEST_F(DynamicIds, EnabledStatesFollowTheCurrentRow) {
  struct Case {
    std::int32_t row;
    bool up, down;
  };
  const Case cases[] = {{0, false, true}, {1, false, true}, {2, true, true},
                        {25, true, true}, {23, true, true}, {26, true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row);
    Select(c.row);
    EXPECT_EQ(Enabled(kDynamicIdMoveUp), c.up);
    EXPECT_EQ(Enabled(kDynamicIdMoveDown), c.down);
    EXPECT_TRUE(Enabled(kDynamicIdRemove));
    EXPECT_TRUE(Enabled(kDynamicIdTest));
  }
  // An item in the last row is last; a group followed only by items is last.
  Select(26);
  Run(kDynamicIdAddItem);
  EXPECT_FALSE(Enabled(kDynamicIdMoveDown));
  Select(26);
  EXPECT_FALSE(Enabled(kDynamicIdMoveDown));
  // An empty table disables the four, never the three adds.
  ASSERT_EQ(table_->SetRowCount(0), S_OK);
  for (const GUID& a : {kDynamicIdRemove, kDynamicIdTest, kDynamicIdMoveUp, kDynamicIdMoveDown})
    EXPECT_FALSE(Enabled(a));
  for (const GUID& a : {kDynamicIdAddByWizard, kDynamicIdAddGroup, kDynamicIdAddItem}) EXPECT_TRUE(Enabled(a));
  Run(kDynamicIdAddItem);  // into a new "Custom" group
  EXPECT_EQ(Outline(), (std::vector<std::u16string>{u"#Custom", u"Custom"}));
}

TEST_F(DynamicIds, MovingItemsWithinAndAcrossGroups) {
  // Within ASP.NET: rows 10 and 11 exchange, the moved item stays current.
  Select(10);
  Run(kDynamicIdMoveDown);
  EXPECT_EQ(Current(), 11);
  EXPECT_EQ(Description(Rows()[11]), BuiltInDynamicIds()[5].Description);
  // The first ASP.NET item up, confirmed: the last item of "Other".
  Select(10);
  const std::u16string moved = Description(Rows()[10]);
  host_->Messenger().QueueConfirmation(true);
  Run(kDynamicIdMoveUp);
  EXPECT_EQ(host_->Messenger().Messages().back().text, kDynamicIdMoveItemQuestion);
  EXPECT_EQ(Current(), 9);
  EXPECT_EQ(Description(Rows()[9]), moved);
  EXPECT_EQ(Rows()[9][kDiParent].AsInt(), 7);
  EXPECT_EQ(Description(Rows()[10]), u"ASP.NET");
  // Refused: nothing moves.
  Select(11);  // now the first ASP.NET item
  host_->Messenger().QueueConfirmation(false);
  const auto before = Outline();
  Run(kDynamicIdMoveUp);
  EXPECT_EQ(Outline(), before);
  // The last GWT item down, confirmed: the first item of "Custom".
  Select(25);
  host_->Messenger().QueueConfirmation(true);
  Run(kDynamicIdMoveDown);
  EXPECT_EQ(Outline()[25], u"#Custom");
  EXPECT_EQ(Current(), 26);
  EXPECT_EQ(Rows()[26][kDiParent].AsInt(), 25);
  // The first item of the first group cannot leave it: there is no group above.
  Select(1);
  host_->Messenger().QueueConfirmation(true);
  const auto top = Outline();
  Run(kDynamicIdMoveUp);
  EXPECT_EQ(Outline(), top);
}

TEST_F(DynamicIds, MovingGroupsExchangesWholeBlocks) {
  Select(9);  // ASP.NET (4 rows) up over "Other" (2 rows)
  Run(kDynamicIdMoveUp);
  EXPECT_EQ(Current(), 7);
  auto outline = Outline();
  EXPECT_EQ(outline[7], u"#ASP.NET");
  EXPECT_EQ(outline[11], u"#Other");
  Run(kDynamicIdMoveDown);  // and back
  EXPECT_EQ(Current(), 9);
  EXPECT_EQ(Outline()[7], u"#Other");
  // The first group cannot go up, the last cannot go down.
  Select(0);
  const auto before = Outline();
  Run(kDynamicIdMoveUp);
  Select(26);
  Run(kDynamicIdMoveDown);
  EXPECT_EQ(Outline(), before);
  // "Custom" up over GWT.
  Run(kDynamicIdMoveUp);
  EXPECT_EQ(Outline()[23], u"#Custom");
  EXPECT_EQ(Outline()[24], u"#Google Web Toolkit");
  EXPECT_EQ(Current(), 23);
}

TEST_F(DynamicIds, WizardAddsIntoTheCurrentGroupOrSelectsADuplicate) {
  host_->Dialogs().QueuePatternWizard({true, true, u"^{ID}-\\d+$", u"$1", u"Numbered IDs"});
  Select(14);  // inside "Sencha ExtJS"
  Run(kDynamicIdAddByWizard);
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 28u);
  EXPECT_EQ(Current(), 18);
  EXPECT_EQ(Description(rows[18]), u"Numbered IDs");
  EXPECT_EQ(rows[18][kDiPatternType].AsString(), u"RegExp");
  EXPECT_EQ(rows[18][kDiTemplate].AsString(), u"$1");
  EXPECT_TRUE(rows[18][kDiEnabled].AsBool());
  EXPECT_EQ(rows[18][kDiParent].AsInt(), 13);
  // The same pattern in other case: the existing row is selected, nothing added.
  host_->Dialogs().QueuePatternWizard({true, false, u"YUI-GEN*", u"", u"again"});
  Select(26);
  Run(kDynamicIdAddByWizard);
  EXPECT_EQ(Rows().size(), 28u);
  EXPECT_EQ(Current(), 1);
  // Cancelled: nothing.
  Run(kDynamicIdAddByWizard);
  EXPECT_EQ(Rows().size(), 28u);
  EXPECT_EQ(host_->Dialogs().PatternWizardRuns(), 3u);
}

TEST_F(DynamicIds, TestDialogMatchesTheEnabledRows) {
  host_->Dialogs().QueuePatternTest(u"treepicker-1038-inputEl");
  host_->Dialogs().QueuePatternTest(u"yui-gen7");
  host_->Dialogs().QueuePatternTest(u"plainId");
  for (int i = 0; i < 3; ++i) Run(kDynamicIdTest);
  const auto tests = host_->Dialogs().PatternTests();
  ASSERT_EQ(tests.size(), 3u);
  EXPECT_EQ(tests[0].row, 17);
  EXPECT_EQ(tests[0].shown, u"treepicker-inputEl");
  EXPECT_EQ(tests[1].row, 1);
  EXPECT_EQ(tests[1].shown, u"not used");
  EXPECT_EQ(tests[2].row, -1);
  EXPECT_EQ(tests[2].shown, u"no match");
}

TEST_F(DynamicIds, ValidatorReportsBadExpressionsAndMisplacedTemplates) {
  auto setting = host_->Settings().FindSetting(kDynamicIdSettingKey);
  auto edit = [&](std::int32_t column, std::int32_t row, const OleVariant& value) {
    ASSERT_EQ(table_->SetCurrentRow(row), S_OK);
    ASSERT_EQ(table_->SetCurrentColumn(column), S_OK);
    ASSERT_EQ(table_->SetCell(column, row, value.Get()), S_OK);
    DynamicIdSettingChanged(Root(), setting.Get());
  };
  auto messages = [&] { return host_->Messenger().Messages(); };
  edit(kDiPattern, 8, OleVariant(u"{unclosed"));  // a RegExp row
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].kind, host::MessageRecord::Message);
  EXPECT_EQ(messages()[0].text, kDynamicIdInvalidRegExpr);
  EXPECT_EQ(messages()[0].helpContext, 4327);
  EXPECT_EQ(Rows()[8][kDiPattern].AsString(), u"{unclosed");  // kept as entered
  edit(kDiEnabled, 8, OleVariant(false));                     // turned off: not checked
  EXPECT_EQ(messages().size(), 1u);
  edit(kDiEnabled, 8, OleVariant(true));
  EXPECT_EQ(messages().size(), 2u);
  edit(kDiPatternType, 8, OleVariant(u"Wildcard"));  // a wildcard is never an expression
  EXPECT_EQ(messages().size(), 2u);
  edit(kDiPattern, 10, OleVariant(u""));  // empty: not checked
  edit(kDiPattern, 10, OleVariant(u"^ok{\\d}$"));
  EXPECT_EQ(messages().size(), 2u);
  // A template on a wildcard row.
  edit(kDiTemplate, 1, OleVariant(u"$1"));
  ASSERT_EQ(messages().size(), 3u);
  EXPECT_EQ(messages()[2].kind, host::MessageRecord::Information);
  EXPECT_EQ(messages()[2].text, kDynamicIdMisplacedTemplate);
  EXPECT_EQ(messages()[2].helpContext, 4328);
  edit(kDiTemplate, 10, OleVariant(u"$1"));  // RegExp row: fine
  edit(kDiTemplate, 1, OleVariant(u""));
  EXPECT_EQ(messages().size(), 3u);
  // Only cell changes (bit 2) are looked at: a row appended is not.
  ASSERT_EQ(table_->SetCurrentColumn(kDiTemplate), S_OK);
  ASSERT_EQ(table_->SetCell(kDiTemplate, 1, OleVariant(u"$1").Get()), S_OK);
  std::int32_t appended = 0;
  ASSERT_EQ(table_->AppendRow(&appended), S_OK);
  DynamicIdSettingChanged(Root(), setting.Get());
  EXPECT_EQ(messages().size(), 3u);
  // Another setting's change is ignored.
  auto other =
      host_->Settings().DefineSetting(MakeGuid("{0787AA13-4C49-418A-A688-B23BE9F226F4}"), 1, u"x", OleVariant(true));
  DynamicIdSettingChanged(Root(), other.Get());
  EXPECT_EQ(messages().size(), 3u);
}

}  // namespace
