// Containers: the stored child records (order, older names, duplicates, missing types, critical
// child errors, save codes, nothing stored lost) and the child operations (the main-thread rule,
// refusals, entry positions, Unavailable nodes and back, factories withdrawn and registered,
// finalise errors).
#include <atomic>

#include "host/node_type_registry.h"
#include "project/nodes/project_helpers.h"
#include "project/storage/node_file_helpers.h"
#include "tests/project/container_fixture.h"

namespace pw::test {

namespace {

using project::TpwProjectItem;

const GUID kKeyA = MakeGuid("{11111111-0000-0000-0000-00000000000A}");
const GUID kKeyB = MakeGuid("{11111111-0000-0000-0000-00000000000B}");
const GUID kKeyC = MakeGuid("{11111111-0000-0000-0000-00000000000C}");

std::string K(const GUID& g) { return GuidToString(g); }

std::int32_t SaveBox(TpwProjectItem* box) {
  box->Changed(true);
  return box->SaveToOwnFileResult();
}

TEST_F(ContainerTest, EntriesLoadInTheOrderOfTheirIndex) {
  WriteBoxFile("box.pwb", {{"Item3", kKeyC, kPartType, 3, u"c"},
                           {"Item0000000001", kKeyB, kPartType, 1, u"b"},
                           {"Item0000000000", kKeyA, kPartType, 0, u"a"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  EXPECT_EQ(ChildValues(box.Get()), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_TRUE(Reports().empty());
}

TEST_F(ContainerTest, EntriesWithoutIndexComeFirstAndTiesKeepTheirStoredOrder) {
  WriteBoxFile("box.pwb", {{"Item0000000005", kKeyA, kPartType, 1, u"a"},
                           {"Item0000000001", kKeyB, kPartType, 1, u"b"},
                           {"Item0000000009", kKeyC, kPartType, -2, u"c"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  // A tie keeps the stored order: the file holds the entries sorted by name (...01 before ...05).
  EXPECT_EQ(ChildValues(box.Get()), (std::vector<std::string>{"c", "b", "a"}));
}

TEST_F(ContainerTest, AnOlderEntryNameMovesToTheTenDigitNameAtTheNextSave) {
  WriteBoxFile("box.pwb", {{"Item0000000000", kKeyA, kPartType, 0, u"a"},
                           {"Item0000000001", kKeyB, kPartType, 1, u"b"},
                           {"Item2", kKeyC, kPartType, 2, u"c"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  EXPECT_EQ(SaveBox(box.Get()), 0);
  auto stored = StoredEntries("box.pwb");
  EXPECT_FALSE(stored.contains("item2"));
  ASSERT_TRUE(stored.contains("item0000000002"));
  EXPECT_EQ(stored["item0000000002"], K(kKeyC) + "|" + K(kPartType) + "|Part|Parts Plug-in|2|c|2");
}

TEST_F(ContainerTest, TwoEntriesWithOneKeyGiveOneChildAndOneReport) {
  WriteBoxFile("box.pwb", {{"Item0000000000", kKeyA, kPartType, 0, u"a"},
                           {"Item0000000001", kKeyA, kPartType, 1, u"again"},
                           {"Item0000000002", kKeyA, kPartType, 2, u"and again"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  EXPECT_EQ(ChildValues(box.Get()), (std::vector<std::string>{"a"}));
  auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find(u"have the same identifier"), WideString::npos);
  // The skipped entries are not lost at the next save.
  EXPECT_EQ(SaveBox(box.Get()), 0);
  EXPECT_EQ(StoredEntries("box.pwb").size(), 3u);
}

TEST_F(ContainerTest, AnEntryOfAMissingTypeSurvivesLoadAndSaveUnchanged) {
  WriteBoxFile("box.pwb", {{"Item0000000000", kKeyA, kPartType, 0, u"a"},
                           {"Item0000000001", kKeyB, kGadgetType, 1, u"gadget data", u"Gadget", u"Gizmo"}});
  const std::string before = StoredEntries("box.pwb")["item0000000001"];
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  EXPECT_EQ(ChildValues(box.Get()), (std::vector<std::string>{"a", "?The factory is not installed."}));
  auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], u"Cannot load data for Gadget.\r\n\r\nMake sure the 'Gizmo' plug-in is installed.");
  EXPECT_EQ(host.Messenger().Messages()[0].answer, project::kStyleMissingFactory);
  EXPECT_EQ(SaveBox(box.Get()), 0);
  EXPECT_EQ(StoredEntries("box.pwb")["item0000000001"], before);
  // Its file is never touched: an Unavailable node has none and answers no file interface.
  EXPECT_FALSE(QueryAs<IpwFileNode>(box->ChildAt(1)));
}

TEST_F(ContainerTest, AnUnavailableNodeWithoutTypeNameShowsTheTypeText) {
  WriteBoxFile("box.pwb", {{"Item0000000000", kKeyA, kGadgetType, 0, u"g"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  auto fake = QueryAs<IpwFakeProjectNode>(box->ChildAt(0));
  ASSERT_TRUE(fake);
  BString typeName;
  OleCheck(fake->GetRepresentedTypeName(typeName.Put()));
  EXPECT_EQ(typeName.Str(), GuidToWideString(kGadgetType));
  EXPECT_EQ(Reports()[0], u"Cannot load data for " + GuidToWideString(kGadgetType) +
                              u".\r\n\r\nMake sure the appropriate plug-in is installed.");
}

TEST_F(ContainerTest, TheLoadTestingNoticeIsShownAtMostOncePerProcess) {
  WriteBoxFile("box.pwb", {{"Item0000000000", kKeyA, project::kHttpLoadTestingType, 0, u"l"}});
  ASSERT_TRUE(OpenBox("box.pwb"));
  ASSERT_TRUE(OpenBox("box.pwb"));
  auto count = [&] {
    int n = 0;
    for (const auto& m : host.Messenger().Messages())
      if (m.text.starts_with(u"Cannot load data for HTTP load testing.")) {
        EXPECT_EQ(m.helpContext, project::kHelpContextLoadTesting);
        ++n;
      }
    return n;
  };
  EXPECT_LE(count(), 1);
  auto values = ChildValues(boxes.back().Get());
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].rfind("?Load testing is not supported in ", 0), 0u);
}

TEST_F(ContainerTest, ASingleInstanceTypeIsMadeOnce) {
  WriteBoxFile("box.pwb",
               {{"Item0000000000", kKeyA, kSoloType, 0, u"one"}, {"Item0000000001", kKeyB, kSoloType, 1, u"two"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  auto values = ChildValues(box.Get());
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0], "one");
  EXPECT_EQ(values[1].rfind("?Initialization error. [The type of the element you are trying to add is 'Solo'.", 0), 0u);
}

TEST_F(ContainerTest, AChildThatFailsToLoadBecomesUnavailableWithItsError) {
  WriteBoxFile("box.pwb", {{"Item0000000000", kKeyA, kPartType, 0, u"fail:101"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  EXPECT_EQ(ChildValues(box.Get()), (std::vector<std::string>{"?Initialization error. [Broken]"}));
}

class ContainerWithoutDialogsTest : public ContainerTest {
 protected:
  ContainerWithoutDialogsTest() : ContainerTest(false) {}
};

TEST_F(ContainerWithoutDialogsTest, CriticalChildErrorsFailTheLoad) {
  struct Case {
    const char16_t* value;
    const char16_t* error;  // nil: the load goes on
  };
  for (const Case& c :
       {Case{u"fail:101", u"Critical error: Broken"}, Case{u"fail:107", u"Broken"}, Case{u"fail:5", nullptr}}) {
    WriteBoxFile("box.pwb", {{"Item0000000000", kKeyA, kPartType, 0, c.value}});
    auto box = OpenBox("box.pwb");
    SCOPED_TRACE(WideToUtf8(c.value));
    if (!c.error) {
      ASSERT_TRUE(box);
      EXPECT_EQ(ChildValues(box.Get()), (std::vector<std::string>{"?Initialization error. [Broken]"}));
      continue;
    }
    EXPECT_FALSE(box);
    EXPECT_EQ(boxes.back()->ErrorCode(), project::kErrCritical);
    EXPECT_EQ(boxes.back()->ErrorMessage(), c.error);
  }
}

TEST_F(ContainerTest, SaveCodes) {
  struct Case {
    const char16_t* second;
    std::int32_t code;
  };
  for (const Case& c : {Case{u"save:0", 0}, Case{u"save:1", 1}, Case{u"save:2", 2}}) {
    WriteBoxFile("box.pwb", {{"Item0000000000", kKeyA, kPartType, 0, u"a"},
                             {"Item0000000001", kKeyB, kPartType, 1, c.second},
                             {"Item0000000002", kKeyC, kPartType, 2, u"c"}});
    auto box = OpenBox("box.pwb");
    ASSERT_TRUE(box);
    for (std::int32_t i = 0; i < 3; ++i)
      dynamic_cast<TPart*>(
          static_cast<project::TpwBaseProjectNode*>(static_cast<IpwProjectNodeInternal*>(box->ChildAt(i))))
          ->Changed(true);
    EXPECT_EQ(box->Save(), c.code) << WideToUtf8(c.second);
  }
}

TEST_F(ContainerTest, AnUnknownSaveCodeKeepsTheEntryAsRead) {
  WriteBoxFile("box.pwb", {{"Item0000000000", kKeyA, kPartType, 0, u"save:7"}});
  const std::string before = StoredEntries("box.pwb")["item0000000000"];
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  EXPECT_EQ(SaveBox(box.Get()), 0);
  EXPECT_EQ(StoredEntries("box.pwb")["item0000000000"], before);
}

TEST_F(ContainerTest, TheCopyQuestionDecidesTheCopySaveCode) {
  WriteBoxFile("box.pwb", {{"Item0000000000", kKeyA, kPartType, 0, u"a"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  box->BeginCopy(true);
  host.Messenger().QueueConfirmation(true);
  EXPECT_EQ(box->Save(), 1);
  host.Messenger().QueueConfirmation(false);
  EXPECT_EQ(box->Save(), 2);
  box->EndCopy();
  box->BeginCopy(false);
  EXPECT_EQ(box->Save(), 0);
  box->EndCopy();
}

TEST_F(ContainerTest, AnUnmodifiedContainerKeepsEntriesBeyondItsChildren) {
  WriteBoxFile("box.pwb",
               {{"Item0000000000", kKeyA, kPartType, 0, u"a"}, {"Item0000000001", kKeyA, kPartType, 1, u"duplicate"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  EXPECT_EQ(box->ChildCount(), 1);
  EXPECT_EQ(box->Save(), 0);
  auto stored = box->DataNode();
  ComPtr<IcvOptionsNode> list, surplus;
  OleCheck(stored->GetNode(u"Child List", list.Put()));
  WordBool exists = 0;
  OleCheck(list->NodeExists(u"Item0000000001", &exists));
  EXPECT_TRUE(exists);
}

// ---- Child operations

TEST_F(ContainerTest, AnAddFromAWorkerWaitsForTheMainThread) {
  WriteBoxFile("box.pwb", {});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  auto part = MakePart(box.Get(), u"w");
  VARIANT_BOOL added = VARIANT_FALSE;
  HRESULT hr = E_FAIL;
  std::thread worker([&] { hr = box->AddChild(part->AsNode(), &added); });
  while (host.Main().QueuedCount() == 0) std::this_thread::yield();
  EXPECT_EQ(box->ChildCount(), 0);
  host.Main().ProcessPending();
  worker.join();
  EXPECT_EQ(hr, S_OK);
  EXPECT_TRUE(added);
  EXPECT_EQ(box->ChildCount(), 1);
}

TEST_F(ContainerTest, AKnownKeyIsRefusedSilently) {
  WriteBoxFile("box.pwb", {{"Item0000000000", kKeyA, kPartType, 0, u"a"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  auto twin = MakePart(box.Get(), u"twin", kPartType, kKeyA);
  VARIANT_BOOL added = VARIANT_TRUE;
  OleCheck(box->AddChild(twin->AsNode(), &added));
  EXPECT_FALSE(added);
  EXPECT_TRUE(host.Messenger().Messages().empty());
  twin->Finalize();
}

TEST_F(ContainerTest, TheRegistryCanRefuseAnAdd) {
  WriteBoxFile("box.pwb", {});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  auto part = MakePart(box.Get(), u"p");
  part->ChangeName(u"P1");
  host.Projects().SetAddAllowed(false);
  VARIANT_BOOL added = VARIANT_TRUE;
  OleCheck(box->AddChild(part->AsNode(), &added));
  EXPECT_FALSE(added);
  EXPECT_EQ(box->ChildCount(), 0);
  EXPECT_EQ(host.Projects().AddRecords(), (std::vector<WideString>{u"before box P1"}));
  host.Projects().SetAddAllowed(true);
  part->Finalize();
}

TEST_F(ContainerTest, ANewEntryGoesAfterTheLargestStoredIndex) {
  WriteBoxFile("box.pwb",
               {{"Item0000000000", kKeyA, kPartType, 0, u"a"}, {"Item0000000007", kKeyB, kPartType, 7, u"b"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  auto part = MakePart(box.Get(), u"new");
  VARIANT_BOOL added = VARIANT_FALSE;
  OleCheck(box->AddChild(part->AsNode(), &added));
  ASSERT_TRUE(added);
  auto entry = box->EntryOf(project::NodeKey(part->AsNode()));
  ASSERT_TRUE(entry);
  WideString name;
  OleCheck(entry->GetName(&name));
  EXPECT_TRUE(SameTextIgnoringCase(name, u"Item0000000008")) << WideToUtf8(name);
  EXPECT_EQ(project::GetEntryIndex(entry.Get()), 8);
  // A second single-instance child is refused with the report.
  auto solo1 = MakePart(box.Get(), u"s1", kSoloType), solo2 = MakePart(box.Get(), u"s2", kSoloType);
  OleCheck(box->AddChild(solo1->AsNode(), &added));
  EXPECT_TRUE(added);
  OleCheck(box->AddChild(solo2->AsNode(), &added));
  EXPECT_FALSE(added);
  EXPECT_EQ(Reports().size(), 1u);
  solo2->Finalize();
}

TEST_F(ContainerTest, RemovingAChildDropsItsEntry) {
  WriteBoxFile("box.pwb",
               {{"Item0000000000", kKeyA, kPartType, 0, u"a"}, {"Item0000000001", kKeyB, kPartType, 1, u"b"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  OleCheck(box->RemoveChild(box->ChildAt(0), VARIANT_FALSE));
  EXPECT_EQ(ChildValues(box.Get()), (std::vector<std::string>{"b"}));
  EXPECT_EQ(box->SaveToOwnFileResult(), 0);
  auto stored = StoredEntries("box.pwb");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored.begin()->second.substr(0, 38), K(kKeyB));
}

TEST_F(ContainerTest, ReplacedByAnUnavailableNodeAndBackKeepsKeyPositionAndData) {
  WriteBoxFile("box.pwb",
               {{"Item0000000000", kKeyA, kPartType, 0, u"a"}, {"Item0000000001", kKeyB, kPartType, 1, u"b"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  ComPtr<IpwProjectNode> fake, real;
  VARIANT_BOOL done = VARIANT_FALSE;
  OleCheck(box->ReplaceOnFake(box->ChildAt(0), fake.Put(), &done));
  ASSERT_TRUE(done);
  EXPECT_EQ(project::NodeTypeKey(box->ChildAt(0)), project::kUnavailableNodeType);
  EXPECT_EQ(project::NodeKey(box->ChildAt(0)), kKeyA);
  EXPECT_EQ(SaveBox(box.Get()), 0);
  auto stored = StoredEntries("box.pwb");
  EXPECT_EQ(stored["item0000000000"], K(kKeyA) + "|" + K(kPartType) + "|Part|Parts Plug-in|0|a|2");
  OleCheck(box->ReplaceOnReal(QueryAs<IpwFakeProjectNode>(fake.Get()).Get(), real.Put(), &done));
  ASSERT_TRUE(done);
  EXPECT_EQ(ChildValues(box.Get()), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(project::NodeKey(box->ChildAt(0)), kKeyA);
  auto reports = Reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[1], u"The  node has been restored.");
}

TEST_F(ContainerTest, AWithdrawnFactoryMakesUnavailableNodesAndItsReturnRestoresThem) {
  WriteBoxFile("box.pwb",
               {{"Item0000000000", kKeyA, kPartType, 0, u"a"}, {"Item0000000001", kKeyB, kSoloType, 1, u"s"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  box->FactoryRemoved(types.Get());
  EXPECT_EQ(ChildValues(box.Get()),
            (std::vector<std::string>{"?The factory is not installed.", "?The factory is not installed."}));
  // The container's own type's factory changes nothing here.
  box->FactoryRemoved(boxTypes.Get());
  EXPECT_EQ(box->ChildCount(), 2);
  box->FactoryAdded(types.Get());
  EXPECT_EQ(ChildValues(box.Get()), (std::vector<std::string>{"a", "s"}));
}

TEST_F(ContainerTest, AFinalizeErrorIsReportedOnceAndRaisedAgain) {
  WriteBoxFile("box.pwb", {{"Item0000000000", kKeyA, kPartType, 0, u"throw"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  EXPECT_TRUE(Failed(box->RemoveChild(box->ChildAt(0), VARIANT_FALSE)));
  int reported = 0;
  for (const auto& line : host.Diagnostics().Lines())
    if (line.find(u"An exception occurred while finalizing the") != WideString::npos) {
      ++reported;
      EXPECT_NE(line.find(u"[Part]"), WideString::npos);
      EXPECT_NE(line.find(u"[Box]"), WideString::npos);
      EXPECT_NE(line.find(u"\"The part cannot let go.\""), WideString::npos);
    }
  EXPECT_EQ(reported, 1);
}

TEST_F(ContainerTest, UnloadFinalizesEveryChildAndRaisesTheFirstError) {
  WriteBoxFile("box.pwb", {{"Item0000000000", kKeyA, kPartType, 0, u"throw"},
                           {"Item0000000001", kKeyB, kPartType, 1, u"b"},
                           {"Item0000000002", kKeyC, kPartType, 2, u"throw"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  std::vector<ComPtr<TPart>> parts;
  for (std::int32_t i = 0; i < box->ChildCount(); ++i) {
    parts.emplace_back(dynamic_cast<TPart*>(box->ChildAt(i)));
    ASSERT_TRUE(parts.back());
  }
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_THROW(box->Unload(), Exception);
  for (const auto& part : parts) EXPECT_TRUE(part->finalized);
  EXPECT_EQ(box->ChildCount(), 0);
  int reported = 0;
  for (const auto& line : host.Diagnostics().Lines())
    if (line.find(u"An exception occurred while finalizing the") != WideString::npos) ++reported;
  EXPECT_EQ(reported, 2);
}

TEST_F(ContainerTest, TheChildNameCheckSeesRenamesOutsideALoad) {
  WriteBoxFile("box.pwb",
               {{"Item0000000000", kKeyA, kPartType, 0, u"a"}, {"Item0000000001", kKeyB, kPartType, 1, u"b"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  // The load-time index is gone once the load ends: the check walks the children as they are.
  auto lookup = QueryAs<project::IpwChildNameLookup>(static_cast<IpwProjectNodeContainer*>(box.Get()));
  ASSERT_TRUE(lookup);
  ComPtr<IpwProjectNode> found;
  EXPECT_EQ(lookup->FindChildByName(u"x", 1, found.Put()), E_NOTIMPL);
  auto second = dynamic_cast<TPart*>(box->ChildAt(1));
  ASSERT_TRUE(second);
  const WideString before = project::NodeName(second->AsNode());
  second->BeginUpdate();
  second->ChangeName(u"Renamed");
  second->EndUpdate();
  auto renamed = project::FindChildNodeByName(box->AsNode(), u"RENAMED");
  ASSERT_TRUE(renamed);
  EXPECT_EQ(project::NodeKey(renamed.Get()), kKeyB);
  if (!before.empty() && !SameTextIgnoringCase(before, u"Renamed")) {
    EXPECT_FALSE(project::FindChildNodeByName(box->AsNode(), before));
  }
}

TEST_F(ContainerTest, TheNewItemActionTakesATypeKeyText) {
  WriteBoxFile("box.pwb", {});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  BString soloText(GuidToWideString(kSoloType));
  BSTR soloBstr = soloText.Get();
  VARIANT byRef;
  VariantInit(&byRef);
  byRef.vt = VT_BSTR | VT_BYREF;
  byRef.byref = &soloBstr;
  VARIANT omitted;
  VariantInit(&omitted);
  omitted.vt = VT_ERROR;
  omitted.scode = DISP_E_PARAMNOTFOUND;
  struct Case {
    VARIANT param;
    std::int32_t answer;
    std::int32_t children;
  };
  const OleVariant notGuid(u"not a guid"), number(std::int32_t(5)), part(GuidToWideString(kPartType));
  const Case cases[] = {
      {notGuid.Get(), 2, 0}, {omitted, 2, 0}, {number.Get(), 2, 0}, {part.Get(), 0, 1}, {byRef, 0, 2}};
  for (const auto& c : cases) {
    OleVariant result;
    EXPECT_EQ(box->ExecuteAction(project::kNewItemAction, c.param, result.Put()), c.answer);
    EXPECT_EQ(result.Type(), VT_BOOL);
    EXPECT_EQ(result.AsBool(), c.answer == 0);
    EXPECT_EQ(box->ChildCount(), c.children);
  }
  EXPECT_EQ(project::NodeTypeKey(box->ChildAt(1)), kSoloType);
  // The registry hears after every attempt it allowed, also a failed one (the parts have no name).
  auto records = host.Projects().AddRecords();
  EXPECT_EQ(std::count(records.begin(), records.end(), u"after  -1"), 5);
  EXPECT_TRUE(box->CheckChildren());
}

// A part that refuses one interface (to make the faults the children check looks for).
class TRefusingPart final : public TPart {
 public:
  TRefusingPart(IpwProjectNode* parent, const IID& refused) : TPart(parent, kPartType, NewTestKey()), refused_(refused) {}

 protected:
  void* GetInterface(const IID& riid) noexcept override {
    return riid == refused_ ? nullptr : TPart::GetInterface(riid);
  }

 private:
  IID refused_;
};

TEST_F(ContainerTest, TheChildrenCheckNamesTheFirstFaultyChildAndItsContainer) {
  WriteBoxFile("box.pwb", {});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  auto good = MakePart(box.Get(), u"v");
  auto noNode = MakeObject<TRefusingPart>(box->AsNode(), IpwProjectNode::iid);
  auto noContext = MakeObject<TRefusingPart>(box->AsNode(), IpwProjectContextItem::iid);
  for (auto* refusing : {noNode.Get(), noContext.Get()}) OleCheck(refusing->Initialize(host.Manager()));
  OleCheck(noContext->SetName(BString(u"Odd").Get()));
  ASSERT_EQ(project::NodeName(noContext->AsNode()), u"Odd");
  const WideString where = u" Container: box [Box:" + GuidToWideString(kBoxType) + u"].";
  const WideString part = u"[Part:" + GuidToWideString(kPartType) + u"]";
  struct Case {
    const char* name;
    std::vector<IpwProjectNode*> children;
    WideString fault;
  };
  const Case cases[] = {
      {"all sound", {good->AsNode(), good->AsNode()}, u""},
      {"nil", {good->AsNode(), nullptr}, u"The 1 child is nil." + where},
      {"no IpwProjectNode",
       {noNode->AsNode(), nullptr},
       u"The 0 child does not support the IpwProjectNode interface." + where},
      {"no IpwProjectContextItem",
       {good->AsNode(), good->AsNode(), noContext->AsNode()},
       u"The 2 Odd " + part + u" child project node does not support the IpwProjectContextItem interface." + where},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(project::FindChildFault(host.Manager(), box->AsNode(), c.children), c.fault);
  }
  // A box of sound children reports nothing.
  const auto reports = Reports().size();
  VARIANT_BOOL added = VARIANT_FALSE;
  OleCheck(box->AddChild(good->AsNode(), &added));
  ASSERT_TRUE(added);
  EXPECT_TRUE(box->CheckChildren());
  EXPECT_EQ(Reports().size(), reports);
  for (auto* refusing : {noNode.Get(), noContext.Get()}) OleCheck(refusing->Finalize());
}

TEST_F(ContainerTest, TheChildListAnswersByPositionAndRefusesOthers) {
  WriteBoxFile("box.pwb", {});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  auto list = QueryAs<project::IpwProjectNodeChildList>(box->AsNode());
  ASSERT_TRUE(list);
  std::int32_t count = -1;
  OleCheck(list->GetChildCount(&count));
  EXPECT_EQ(count, 0);  // before the first child
  for (auto value : {u"a", u"b"}) {
    VARIANT_BOOL added = VARIANT_FALSE;
    OleCheck(box->AddChild(MakePart(box.Get(), value)->AsNode(), &added));
    ASSERT_TRUE(added);
  }
  OleCheck(list->GetChildCount(&count));
  EXPECT_EQ(count, 2);
  for (std::int32_t i : {-1, 0, 1, 2}) {
    SCOPED_TRACE(i);
    ComPtr<IpwProjectNode> child;
    const bool inside = i == 0 || i == 1;
    EXPECT_EQ(list->GetChildAt(i, child.Put()), inside ? S_OK : E_INVALIDARG);
    EXPECT_EQ(child.Get(), inside ? box->ChildAt(i) : nullptr);
  }
  EXPECT_EQ(list->GetChildAt(0, nullptr), E_POINTER);
}

TEST_F(ContainerTest, TheExistingItemActionAddsAnItemFile) {
  WriteBoxFile("box.pwb", {});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  VARIANT omitted;
  VariantInit(&omitted);
  omitted.vt = VT_ERROR;
  OleVariant result;
  EXPECT_EQ(box->ExecuteAction(project::kExistingItemAction, omitted, result.Put()), 2);
  EXPECT_EQ(box->ExecuteAction(project::kExistingItemAction, OleVariant(dir.File("none.pwi")).Get(), result.Put()), 2);
  EXPECT_EQ(Reports().back(), u"The '" + dir.File("none.pwi") + u"' file does not exist.");
  EXPECT_TRUE(result.IsEmpty());
  // The box takes no Item of the host: the file opens, the add is refused, nothing stays.
  WriteItemFile("Thing.pwi", u"v");
  EXPECT_EQ(box->ExecuteAction(project::kExistingItemAction, OleVariant(dir.File("Thing.pwi")).Get(), result.Put()), 2);
  EXPECT_EQ(box->ChildCount(), 0);
}

// ---- Helpers and the GUID iterator

TEST_F(ContainerTest, HelpersFindChildrenByNameAndType) {
  WriteBoxFile("box.pwb",
               {{"Item0000000000", kKeyA, kPartType, 0, u"a"}, {"Item0000000001", kKeyB, kSoloType, 1, u"s"}});
  auto box = OpenBox("box.pwb");
  ASSERT_TRUE(box);
  box->ChildAt(0)->SetName(BString(u"Stores").Get());
  EXPECT_EQ(project::FindChildItemByName(box->AsNode(), u"STORES").Get(), box->ChildAt(0));
  EXPECT_FALSE(project::FindChildItemByName(box->AsNode(), u"Store"));
  EXPECT_EQ(project::FindChildItemByType(box->AsNode(), kSoloType).Get(), box->ChildAt(1));
  EXPECT_FALSE(project::FindChildItemByType(box->AsNode(), kGadgetType));
  ComPtr<IpwProjectItemTypeProvider> factory;
  ComPtr<IpwProjectNodeInfo> info;
  EXPECT_TRUE(project::FindNodeType(host.Manager(), kSoloType, factory, info));
  EXPECT_EQ(factory.Get(), static_cast<IpwProjectItemTypeProvider*>(types.Get()));
  EXPECT_FALSE(project::FindNodeType(host.Manager(), kGadgetType, factory, info));
  // A single-instance type answers the existing child and makes nothing.
  const std::int32_t made = types->made;
  ComPtr<IpwProjectNode> node;
  project::CreateProjectItem(host.Manager(), box->AsNode(), kSoloType, {}, u"", false, true, node);
  EXPECT_EQ(node.Get(), box->ChildAt(1));
  EXPECT_EQ(types->made, made);
  project::CreateProjectItem(host.Manager(), box->AsNode(), kGadgetType, {}, u"", false, true, node);
  EXPECT_FALSE(node);
}

TEST_F(ContainerTest, CreateProjectItemCopiesTheFileThenLoadsIt) {
  GUID key = NewTestKey();
  auto projectNode = MakeObject<host::THostProject>(nullptr, key);
  OleCheck(projectNode->Initialize(host.Manager()));
  ASSERT_TRUE(projectNode->ReloadFromFileName(dir.File("P.pwp"), false));
  WriteItemFile("Source.pwi", u"copied value");
  ComPtr<IpwProjectNode> node;
  project::CreateProjectItem(host.Manager(), projectNode->AsNode(), host::kItemNodeType, {}, dir.File("Source.pwi"),
                             true, true, node);
  ASSERT_TRUE(node);
  EXPECT_EQ(projectNode->ChildCount(), 1);
  OleVariant file;
  OleCheck(node->GetAttribute(0, file.Put()));
  const std::string copy = WideToUtf8(file.AsString());
  EXPECT_NE(copy, dir.Utf8File("Source.pwi"));
  EXPECT_NE(ReadFileBytes(copy).find("copied value"), std::string::npos);
  // A copy that fails leaves no file and makes nothing.
  const auto before = dir.Entries();
  project::CreateProjectItem(host.Manager(), projectNode->AsNode(), host::kItemNodeType, {}, dir.File("Missing.pwi"),
                             false, true, node);
  EXPECT_FALSE(node);
  EXPECT_EQ(dir.Entries(), before);
  EXPECT_EQ(projectNode->ChildCount(), 1);
  projectNode->Finalize();
}

TEST(GuidIterator, WalksValidTextsAndRefusesOthers) {
  auto empty = project::TpwGUIDIterator::FromKeys({});
  EXPECT_FALSE(empty->HasNext());
  auto two = project::TpwGUIDIterator::FromKeys({GUID_NULL, kKeyA});
  ComPtr<project::IpwGUIDIterator> it = QueryAs<project::IpwGUIDIterator>(static_cast<IcvStringIterator*>(two.Get()));
  ASSERT_TRUE(it);
  GUID value = kKeyB;
  it->Next(value);
  EXPECT_EQ(value, GUID_NULL);
  it->Next(value);
  EXPECT_EQ(value, kKeyA);
  EXPECT_FALSE(it->HasNext());
  it->Reset();
  EXPECT_TRUE(it->HasNext());
  auto* bad = new TStringList;
  bad->Add("{00000000-0000-0000-0000-000000000000}");
  bad->Add("not a guid");
  EXPECT_ANY_THROW(MakeObject<project::TpwGUIDIterator>(bad));
}

}  // namespace
}  // namespace pw::test
