// The analyzer's protocol and each automate, on recordings built in the test.
#include <gtest/gtest.h>

#include "tests/web/recording_fixture.h"
#include "web/recording/analyze_automates.h"

namespace pw::web::test {
namespace {

using host::RecordedActionState;

using Analysis = RecordingTest;

std::vector<std::uint8_t> Block(std::size_t size, std::uint8_t fill) { return std::vector<std::uint8_t>(size, fill); }

TEST_F(Analysis, EmptyRecordingAndUntakenActionsStayAsTheyAre) {
  Analyze();
  EXPECT_TRUE(list->AllActions().empty());
  auto key = Add(kinds::kKeyPress, 1, {{keys::kKeyText, OleVariant(u"x")}});
  auto other = Add(kinds::kClickAction, 2);
  Analyze();
  EXPECT_EQ(LiveKinds(), (std::vector<GUID>{kinds::kKeyPress, kinds::kClickAction}));
  EXPECT_EQ(list->AllActions().size(), 2u);
}

TEST_F(Analysis, SelectChangeBecomesOneItemClickWithTheMergedScreenBlock) {
  auto open = Add(kinds::kClick, 1, {{keys::kSelectPending, OleVariant(true)}});
  open->SetBlock(keys::kScreenBlock, Block(1056, 0x11));
  auto key = Add(kinds::kKeyPress, 1);
  auto other = Add(kinds::kAddressEditIgnorable1, 9);  // taken while the list is open
  auto changed = Add(kinds::kSelectChanged, 1, {{keys::kItem, OleVariant(u"Blue")}});
  changed->SetBlock(keys::kScreenBlock, Block(1056, 0x22));
  Analyze();
  auto live = list->LiveActions();
  ASSERT_EQ(LiveKinds(), (std::vector<GUID>{kinds::kAddressEditIgnorable1, kinds::kItemClickAction}));
  auto item = live[1];
  ASSERT_EQ(item->Sources().size(), 1u);
  EXPECT_EQ(item->Sources()[0].Get(), changed.Get());
  EXPECT_EQ(Param(item.Get(), keys::kItem).AsString(), u"Blue");
  for (auto* a : {open.Get(), key.Get(), changed.Get()}) EXPECT_EQ(a->DetachCount(), 1);
  EXPECT_FALSE(Param(open.Get(), keys::kSelectPending).AsBool());
  std::vector<std::uint8_t> merged(1056);
  ASSERT_TRUE(item->GetParamData(keys::kScreenBlock, merged.data(), 1056));
  EXPECT_EQ(merged[0], 0x11);
  EXPECT_EQ(merged[15], 0x11);
  EXPECT_EQ(merged[16], 0x22);
  EXPECT_EQ(merged[1055], 0x22);
}

TEST_F(Analysis, SelectChangeLeftOpenIsDeletedUnlessItHoldsAClick) {
  auto open = Add(kinds::kClick, 1, {{keys::kSelectPending, OleVariant(true)}});
  auto key = Add(kinds::kKeyPress, 1);
  Analyze();
  EXPECT_TRUE(LiveKinds().empty());
  EXPECT_EQ(open->State(), RecordedActionState::Deleted);
  EXPECT_EQ(key->State(), RecordedActionState::Deleted);

  list = MakeObject<host::TRecordedActionList>();
  auto open2 = Add(kinds::kClick, 1, {{keys::kSelectPending, OleVariant(true)}});
  auto pending = Add(kinds::kPendingClick, 1);
  Analyze();
  ASSERT_EQ(LiveKinds(), std::vector<GUID>{kinds::kClickAction});
  EXPECT_EQ(list->LiveActions()[0]->Sources()[0].Get(), pending.Get());
  EXPECT_EQ(open2->DetachCount(), 1);
  EXPECT_EQ(pending->DetachCount(), 1);
}

TEST_F(Analysis, KeysOnAnotherTargetBelongToTheSelectionOnlyWithTheKeyStateBit) {
  Add(kinds::kClick, 1, {{keys::kSelectPending, OleVariant(true)}});
  auto belongs = Add(kinds::kKeyPress, 2);
  auto state = Block(40, 0);
  state[39] = 0x80;
  belongs->SetBlock(keys::kKeyStateBlock, state);
  Add(kinds::kSelectChanged, 1);
  Analyze();
  EXPECT_EQ(LiveKinds(), std::vector<GUID>{kinds::kItemClickAction});
  EXPECT_EQ(belongs->DetachCount(), 1);
}

struct DblCase {
  std::int32_t secondStamp;
  int secondTarget;
  bool flagged;
  std::size_t left;
};

TEST_F(Analysis, DoubleClickWithinTheDoubleClickTime) {
  const DblCase cases[] = {
      {1500, 1, true, 1}, {1501, 1, true, 2}, {1200, 2, true, 2}, {1200, 1, false, 2}, {900, 1, true, 2}};
  for (const auto& c : cases) {
    list = MakeObject<host::TRecordedActionList>();
    auto first = Add(kinds::kClickAction, 1, {{keys::kTimeStamp, OleVariant(1000)}});
    auto second = Add(kinds::kClickAction, c.secondTarget,
                      {{keys::kTimeStamp, OleVariant(c.secondStamp)}, {keys::kDoubleClick, OleVariant(c.flagged)}});
    Analyze();
    EXPECT_EQ(list->LiveActions().size(), c.left) << c.secondStamp << " " << c.secondTarget;
    EXPECT_EQ(second->State(), RecordedActionState::Live);
  }
  host.Windows().SetDoubleClickTime(100);
  list = MakeObject<host::TRecordedActionList>();
  Add(kinds::kClickAction, 1, {{keys::kTimeStamp, OleVariant(1000)}});
  Add(kinds::kClickAction, 1, {{keys::kTimeStamp, OleVariant(1200)}, {keys::kDoubleClick, OleVariant(true)}});
  Analyze();
  EXPECT_EQ(list->LiveActions().size(), 2u);
}

TEST_F(Analysis, SpaceOnACheckBoxAndItsChangeMakeOneSetChecked) {
  auto space = Add(kinds::kKeyPress, 3, {{keys::kKeyText, OleVariant(u" ")}});
  auto changed = Add(kinds::kCheckChanged, 3, {{keys::kChecked, OleVariant(true)}});
  Analyze();
  ASSERT_EQ(LiveKinds(), std::vector<GUID>{kinds::kSetCheckedAction});
  auto made = list->LiveActions()[0];
  ASSERT_EQ(made->Sources().size(), 2u);
  EXPECT_EQ(made->Sources()[0].Get(), changed.Get());
  EXPECT_EQ(made->Sources()[1].Get(), space.Get());
  EXPECT_EQ(Param(made.Get(), keys::kMethodName).AsString(), u"");
  // Another key, or a change on another target, makes nothing.
  list = MakeObject<host::TRecordedActionList>();
  Add(kinds::kKeyPress, 3, {{keys::kKeyText, OleVariant(u"x")}});
  Add(kinds::kCheckChanged, 3);
  Add(kinds::kKeyPress, 3, {{keys::kKeyText, OleVariant(u" ")}});
  Add(kinds::kCheckChanged, 4);
  Analyze();
  EXPECT_EQ(list->LiveActions().size(), 4u);
}

TEST_F(Analysis, RefreshNotReadyAndUseless) {
  auto refresh = Add(kinds::kRefreshEvent, 1);
  auto notReady = Add(kinds::kClickAction, 1, {{keys::kNotReady, OleVariant(true)}});
  auto useless = Add(kinds::kClickAction, 1, {{keys::kUseless, OleVariant(true)}});
  auto uselessKind = Add(kinds::kUseless, 1, {{keys::kBrowserId, OleVariant(7)}});
  auto keptKind = Add(kinds::kUseless, 1);
  Analyze();
  EXPECT_EQ(LiveKinds(), (std::vector<GUID>{kinds::kRefreshAction, kinds::kUseless}));
  EXPECT_EQ(list->LiveActions()[0]->Sources()[0].Get(), refresh.Get());
  for (auto* a : {refresh.Get(), notReady.Get(), useless.Get(), uselessKind.Get()})
    EXPECT_EQ(a->State(), RecordedActionState::Deleted);
}

TEST_F(Analysis, AddressTypingBecomesSetTextWhenAClickElsewhereIsReleased) {
  auto a = Add(kinds::kKeyPress, 5,
               {{keys::kObjectType, OleVariant(u"IE8AddressEdit")}, {keys::kKeyText, OleVariant(u"ab")}});
  Add(kinds::kAddressEditIgnorable2, 9);
  auto b = Add(kinds::kKeyPress, 5,
               {{keys::kObjectType, OleVariant(u"IE8ADDRESSEDIT")}, {keys::kKeyText, OleVariant(u"c")}});
  auto other = Add(kinds::kClick, 5, {{keys::kObjectType, OleVariant(u"IE8ADDRESSEDIT")}});
  auto click = Add(kinds::kClick, 6, {{keys::kMethodName, OleVariant(u"Click")}});
  Analyze();
  EXPECT_EQ(LiveKinds(),
            (std::vector<GUID>{kinds::kAddressEditIgnorable2, kinds::kSetTextAction, kinds::kSimpleClickAction}));
  auto text = list->LiveActions()[1];
  EXPECT_EQ(Param(text.Get(), keys::kItemValue).AsString(), u"abc");
  EXPECT_EQ(text->Sources()[0].Get(), b.Get());
  EXPECT_EQ(a->DetachCount(), 1);
  EXPECT_EQ(other->State(), RecordedActionState::Deleted);
  EXPECT_EQ(click->State(),
            RecordedActionState::Deleted);  // replaced by the simple click
}

TEST_F(Analysis, TypingLeftOpenAtTheEndIsFlushed) {
  Add(kinds::kKeyPress, 5, {{keys::kObjectType, OleVariant(u"IE8ADDRESSEDIT")}, {keys::kKeyText, OleVariant(u"x")}});
  Analyze();
  ASSERT_EQ(LiveKinds(), std::vector<GUID>{kinds::kSetTextAction});
  EXPECT_EQ(Param(list->LiveActions()[0].Get(), keys::kItemValue).AsString(), u"x");
}

TEST_F(Analysis, PageClose) {
  auto request =
      Add(kinds::kClick, 1, {{keys::kCloseRequested, OleVariant(true)}, {keys::kMethodName, OleVariant(u"Click")}});
  auto closed = Add(kinds::kPageClosed, 2);
  Analyze();
  ASSERT_EQ(LiveKinds(), std::vector<GUID>{kinds::kClosePageAction});
  EXPECT_EQ(list->LiveActions()[0]->Target(), TestId(2));
  EXPECT_EQ(request->DetachCount(), 1);
  EXPECT_EQ(closed->DetachCount(), 1);
  // A request never followed by the page closing goes to the simplification.
  list = MakeObject<host::TRecordedActionList>();
  Add(kinds::kClick, 1, {{keys::kCloseRequested, OleVariant(true)}, {keys::kMethodName, OleVariant(u"Click")}});
  Analyze();
  EXPECT_EQ(LiveKinds(), std::vector<GUID>{kinds::kSimpleClickAction});
}

TEST_F(Analysis, AnActionReleasedInProgressIsOfferedAgainToAllIncludingTheReleasingAutomate) {
  auto first =
      Add(kinds::kClick, 1, {{keys::kCloseRequested, OleVariant(true)}, {keys::kMethodName, OleVariant(u"A")}});
  auto second =
      Add(kinds::kClick, 1, {{keys::kCloseRequested, OleVariant(true)}, {keys::kMethodName, OleVariant(u"B")}});
  auto closed = Add(kinds::kPageClosed, 2);
  Analyze();
  // The second request ends the first one's wait (it goes to the simplification) and then
  // starts a wait of its own in the same automate, which the page closing completes.
  ASSERT_EQ(LiveKinds(), (std::vector<GUID>{kinds::kSimpleClickAction, kinds::kClosePageAction}));
  EXPECT_EQ(Param(list->LiveActions()[0].Get(), keys::kMethodName).AsString(), u"A");
  EXPECT_EQ(first->State(), RecordedActionState::Deleted);
  EXPECT_EQ(second->DetachCount(), 1);
  EXPECT_EQ(closed->DetachCount(), 1);
}

TEST_F(Analysis, FlashTabsAndComboBoxes) {
  auto tab = Add(kinds::kClick, 1,
                 {{keys::kObjectType, OleVariant(u"FLASH@PAGETAB")},
                  {keys::kParentType, OleVariant(u"FLASH@TABLIST")},
                  {keys::kParentId, OleVariant(GuidToWideString(TestId(40)))},
                  {keys::kItemValue, OleVariant(u"Details")}});
  auto plainTab = Add(kinds::kClick, 2, {{keys::kObjectType, OleVariant(u"FLASH@PAGETAB")}});
  auto combo = Add(kinds::kClick, 3, {{keys::kObjectType, OleVariant(u"FLASH@COMBOBOX")}});
  combo->SetBlock(keys::kScreenBlock, Block(1056, 1));
  auto item = Add(kinds::kClick, 4,
                  {{keys::kObjectType, OleVariant(u"flash@listitem")}, {keys::kItemValue, OleVariant(u"Two")}});
  Analyze();
  auto live = list->LiveActions();
  ASSERT_EQ(LiveKinds(),
            (std::vector<GUID>{kinds::kTabClickAction, kinds::kSimpleClickAction, kinds::kItemClickAction}));
  EXPECT_EQ(live[0]->Target(), TestId(40));
  EXPECT_EQ(Param(live[0].Get(), keys::kItem).AsString(), u"Details");
  EXPECT_EQ(Param(live[1].Get(), keys::kMethodName).AsString(), u"Click");
  EXPECT_EQ(plainTab->State(), RecordedActionState::Deleted);
  EXPECT_EQ(live[2]->Target(), TestId(3));
  EXPECT_EQ(Param(live[2].Get(), keys::kItem).AsString(), u"Two");
  std::vector<std::uint8_t> merged(1056);
  ASSERT_TRUE(live[2]->GetParamData(keys::kScreenBlock, merged.data(), 1056));
  EXPECT_EQ(merged[0], 1);
  EXPECT_EQ(merged[16], 0);
  EXPECT_EQ(combo->DetachCount(), 1);
  EXPECT_EQ(item->DetachCount(), 1);
  EXPECT_EQ(tab->DetachCount(), 1);
}

TEST_F(Analysis, SimplificationKeepsClicksThatAreNotPlain) {
  auto special = Add(kinds::kClick, 1, {{keys::kMethodName, OleVariant(u"Click")}});
  auto block = Block(16, 0);
  block[0] = 1;
  special->SetBlock(keys::kClickBlock, block);
  auto counted = Add(kinds::kClick, 1, {{keys::kMethodName, OleVariant(u"Click")}});
  counted->SetBlock(keys::kClickBlock, Block(16, 0));
  counted->SetBlock(keys::kClickCount, {2, 0, 0, 0});
  auto nameless = Add(kinds::kClick, 1);
  auto plain = Add(kinds::kClick, 1, {{keys::kMethodName, OleVariant(u"ClickButton")}});
  Analyze();
  EXPECT_EQ(LiveKinds(), (std::vector<GUID>{kinds::kClick, kinds::kClick, kinds::kClick, kinds::kSimpleClickAction}));
}

TEST_F(Analysis, ActivationInsertsANavigationForANewPage) {
  auto process = AddObject(10, u"Sys.Browser(\"chrome\")", kinds::kProcessNode);
  process->SetProperty(u"ProcessName", OleVariant(u"Chrome"));
  auto page = AddObject(11, u"Sys.Browser(\"chrome\").Page(\"http://a/\")", GUID{}, process.Get());
  auto first = Add(kinds::kClickAction, 11,
                   {{keys::kBrowserId, OleVariant(1)},
                    {keys::kUrl, OleVariant(u"http://a/")},
                    {keys::kOnProcess, OleVariant(true)}});
  auto second =
      Add(kinds::kClickAction, 11, {{keys::kBrowserId, OleVariant(1)}, {keys::kUrl, OleVariant(u"HTTP://A/")}});
  Analyze();
  auto live = list->LiveActions();
  ASSERT_EQ(LiveKinds(), (std::vector<GUID>{kinds::kNavigateAction, kinds::kClickAction, kinds::kClickAction}));
  auto navigation = live[0];
  EXPECT_EQ(Param(navigation.Get(), keys::kUrl).AsString(), u"http://a/");
  EXPECT_EQ(Param(navigation.Get(), keys::kBrowserId).AsInt(), 1);
  EXPECT_EQ(Param(navigation.Get(), keys::kBrowserType).AsString(), u"btChrome");
  EXPECT_TRUE(Param(navigation.Get(), keys::kOnProcess).AsBool());
}

TEST_F(Analysis, ANavigationResolvesItsObjectReference) {
  auto process = AddObject(10, u"Sys.Browser(\"iexplore\")", kinds::kProcessNode);
  auto page = AddObject(11, u"Page", GUID{}, process.Get());
  auto navigation =
      Add(kinds::kNavigateAction, 11,
          {{keys::kBrowserId, OleVariant(1)}, {keys::kObjectRef, OleVariant(GuidToWideString(TestId(11)))}});
  Analyze();
  EXPECT_EQ(Param(navigation.Get(), keys::kPageObjectId).AsString(), GuidToWideString(TestId(11)));
  EXPECT_EQ(Param(navigation.Get(), keys::kObjectRef).AsString(), u"");
  EXPECT_EQ(navigation->State(), RecordedActionState::Live);
}

TEST_F(Analysis, AFailingStepStillResetsEveryAutomate) {
  Add(kinds::kKeyPress, 5, {{keys::kObjectType, OleVariant(u"IE8ADDRESSEDIT")}, {keys::kKeyText, OleVariant(u"q")}});
  // A list item whose parent id is no GUID fails the Flash combo box automate.
  Add(kinds::kClick, 6, {{keys::kObjectType, OleVariant(u"FLASH@LISTITEM")}, {keys::kParentId, OleVariant(u"nope")}});
  auto analyzer = MakeObject<TpwWebEventAnalyzer>(host.Manager());
  EXPECT_TRUE(Failed(analyzer->Analyze(list.Get())));
  // The typing in progress was flushed by the final reset.
  EXPECT_EQ(LiveKinds().front(), kinds::kSetTextAction);
  ExpectDetachedAtMostOnce();
}

TEST_F(Analysis, TheListRefusesADoubleDetach) {
  auto a = Add(kinds::kClick, 1);
  EXPECT_EQ(list->DetachAction(a.Get()), S_OK);
  EXPECT_EQ(list->DetachAction(a.Get()), E_INVALIDARG);
  auto other = MakeObject<host::TRecordedActionList>();
  EXPECT_EQ(other->DetachAction(a.Get()), E_INVALIDARG);
}

}  // namespace
}  // namespace pw::web::test

namespace pw::web::test {
namespace {

// The host's list: the cursor stays valid while actions are detached, deleted, made, moved and
// added, and what is made or added during a pass is not met by that pass.
TEST_F(Analysis, TheListKeepsItsCursorWhileTheRecordingChanges) {
  auto a = Add(kinds::kClick, 1);
  auto b = Add(kinds::kClick, 2);
  auto c = Add(kinds::kClick, 3);
  ASSERT_EQ(list->Reset(), S_OK);
  ComPtr<IpwRecordedAction> current;
  ASSERT_TRUE(list->HasNext());
  ASSERT_EQ(list->Next(current.Put()), S_OK);  // a
  ComPtr<IpwRecordedAction> made;
  ASSERT_EQ(list->CreateAction(a.Get(), kinds::kClickAction, TestId(1), made.Put()), S_OK);
  ASSERT_EQ(list->DetachAction(a.Get()), S_OK);
  ASSERT_EQ(list->AddAction(kinds::kRefreshAction, TestId(9)), S_OK);
  ASSERT_EQ(list->DeleteAction(c.Get()), S_OK);
  ComPtr<IpwRecordedAction> atZero;
  ASSERT_EQ(list->CreateActionAt(b.Get(), kinds::kWaitAction, TestId(2), 0, atZero.Put()), S_OK);
  std::vector<IUnknown*> seen;
  while (list->HasNext()) {
    ASSERT_EQ(list->Next(current.Put()), S_OK);
    seen.push_back(IdentityOf(current.Get()));
  }
  EXPECT_EQ(seen, std::vector<IUnknown*>{IdentityOf(b.Get())});
  EXPECT_EQ(list->Next(current.Put()), E_FAIL);
  EXPECT_EQ(LiveKinds(),
            (std::vector<GUID>{kinds::kWaitAction, kinds::kClickAction, kinds::kRefreshAction, kinds::kClick}));
  // InsertBefore moves an action.
  ASSERT_EQ(list->InsertBefore(made.Get(), b.Get()), S_OK);
  EXPECT_EQ(LiveKinds(),
            (std::vector<GUID>{kinds::kWaitAction, kinds::kRefreshAction, kinds::kClickAction, kinds::kClick}));
}

}  // namespace
}  // namespace pw::web::test
