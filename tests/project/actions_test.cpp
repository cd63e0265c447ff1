// Project actions, menus, source control and the small project services.
#include <gtest/gtest.h>

#include "platform/ui/resources.h"
#include "project/actions/project_actions.h"
#include "project/nodes/small_services.h"
#include "tests/project/project_fixture.h"

namespace pw::test {
namespace {

using namespace project;

const BitmapResource kBitmaps[] = {{"ADDTOSCC", 16, 16, 1, 2, 3}, {"ICON_NEW_ITEM", 16, 16, 1, 2, 3}};
const ResourceTable kResources{{}, kBitmaps};

class ActionsTest : public ProjectTest {
 protected:
  ActionsTest() { RegisterModuleResources(&kResources); }
  ~ActionsTest() override { RegisterModuleResources(nullptr); }
};

class RecordingHandler final : public Implements<ComObject, IpwProjectActionHandler> {
 public:
  std::vector<GUID> executed;
  std::int32_t ExecuteAction(const GUID& action, const VARIANT&, VARIANT*) override {
    executed.push_back(action);
    return 0;
  }
  void UpdateAction(const GUID&) override {}
};

TEST_F(ActionsTest, ActionFromDescriptionCarriesItsTexts) {
  const GUID context = MakeGuid("{44444444-0000-0000-0000-000000000001}");
  std::int32_t before = GdiObjectCount();
  auto action = CreateActionFromDescription(Manager(), SourceControlItemActions()[0], context);
  auto kept = host.Actions().Find(SourceControlItemActions()[0].Key);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->Property(1).AsString(), u"Add to &Source Control...");
  EXPECT_EQ(kept->Property(2).AsString(), u"Adds an item to source control.");
  EXPECT_EQ(kept->Property(3).AsString(), u"Add to source control");
  EXPECT_EQ(kept->Property(4).AsInt(), 9400);
  EXPECT_NE(kept->Property(100).AsInt(), 0);
  EXPECT_EQ(host.Actions().ActionsOf(context).size(), 1u);
  // A description without a bitmap name, or of kind 0, sets no bitmap.
  TActionDescription plain = NodeActions()[3];
  CreateActionFromDescription(Manager(), plain, context);
  EXPECT_TRUE(host.Actions().Find(plain.Key)->Property(100).IsEmpty());
  TActionDescription kindZero = NodeActions()[0];
  kindZero.Kind = 0;
  CreateActionFromDescription(Manager(), kindZero, context);
  EXPECT_TRUE(host.Actions().Find(kindZero.Key)->Property(100).IsEmpty());
  EXPECT_EQ(GdiObjectCount(), before + 1);
  host.Actions().Clear();
}

TEST_F(ActionsTest, TablesKeepTheirTexts) {
  ASSERT_EQ(NodeActions().size(), 6u);
  ASSERT_EQ(SourceControlManagerActions().size(), 3u);
  ASSERT_EQ(SourceControlItemActions().size(), 11u);
  EXPECT_EQ(WideString(SourceControlItemActions()[6].Title), u"Histroy");
  EXPECT_EQ(NodeActions()[5].Command, 9497);
  EXPECT_EQ(GroupKeyOf(NodeActions()[0].Group), kNodeActionGroup);
  EXPECT_EQ(GroupKeyOf(SourceControlItemActions()[0].Group), GUID_NULL);
}

TEST_F(ActionsTest, ContextActionsReachTheHandler) {
  const GUID context = MakeGuid("{44444444-0000-0000-0000-000000000002}");
  auto handler = MakeObject<RecordingHandler>();
  const GUID keys[] = {NodeActions()[0].Key, NodeActions()[2].Key};
  RegisterContextActions(Manager(), context, keys, handler.Get());
  EXPECT_EQ(host.Actions().Execute(keys[1], context), 0);
  ASSERT_EQ(handler->executed.size(), 1u);
  EXPECT_EQ(handler->executed[0], keys[1]);
  UnregisterContextActions(Manager(), context, keys);
  EXPECT_TRUE(host.Actions().Registrations().empty());
}

TEST_F(ActionsTest, SourceControlMenuOnlyForTheCurrentNode) {
  auto node = MakeNode(kWidgetType, nullptr, u"W");
  auto other = MakeNode(kWidgetType, nullptr, u"X");
  ComPtr<IpwProjectNode> nodeIntf(static_cast<IpwProjectNodeInternal*>(node.Get()));
  EXPECT_FALSE(BuildSourceControlMenu(Manager(), nodeIntf.Get()));  // no source control
  auto presence = MakeObject<host::THostProjectNode>(nullptr, GUID_NULL, u"presence");
  host.SetService(kSccPresenceService, presence->Identity());
  host.Projects().SetCurrentNode(static_cast<IpwProjectNodeInternal*>(other.Get()));
  EXPECT_FALSE(BuildSourceControlMenu(Manager(), nodeIntf.Get()));
  EXPECT_FALSE(host.Menus().Find(kSourceControlMenuKey, true));
  host.Projects().SetCurrentNode(nodeIntf.Get());
  auto menu = BuildSourceControlMenu(Manager(), nodeIntf.Get());
  ASSERT_TRUE(menu);
  auto kept = host.Menus().Find(kSourceControlMenuKey, true);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->ParentKey(), kSourceControlParentMenuKey);
  BString caption;
  OleCheck(menu->GetCaption(caption.Put()));
  EXPECT_EQ(caption.View(), u"So&urce Control");
  auto items = kept->Items();
  ASSERT_EQ(items.size(), 12u);
  EXPECT_EQ(items[0].item.AsString(), GuidToWideString(SourceControlManagerActions()[1].Key));
  std::size_t defaults = 0;
  for (const auto& item : items) {
    EXPECT_NE(item.item.AsString(), GuidToWideString(SourceControlItemActions()[6].Key));
    EXPECT_EQ(item.kind, 3);
    if (item.state == 2) {
      ++defaults;
      EXPECT_EQ(item.item.AsString(), GuidToWideString(SourceControlItemActions()[2].Key));
    }
  }
  EXPECT_EQ(defaults, 1u);
  EXPECT_EQ(kept->UpdateDepth(), 0);
  host.Projects().SetCurrentNode(nullptr);
  host.SetService(kSccPresenceService, nullptr);
}

TEST_F(ProjectTest, ReloadDecisionByMode) {
  const GUID modeQuestion = MakeGuid("{73BD8AE3-0F50-47B6-B1E0-14669814AE32}");
  struct Case {
    const char* what;
    GUID mode;
    GUID reloadAnswer;
    bool silent;
    bool asked;
  } cases[] = {
      {"interactive asks", host::kHostModeInteractive, GUID_NULL, true, true},
      {"running, always", kHostModeRunning, kReloadAlways, true, false},
      {"running, silent", kHostModeRunning, GUID_NULL, true, false},
      {"running, asks", kHostModeRunning, GUID_NULL, false, true},
      {"other, silent", MakeGuid("{00000000-0000-0000-0000-0000000000EE}"), GUID_NULL, true, false},
  };
  for (const auto& c : cases) {
    host.State().SetAnswer(modeQuestion, c.mode);
    host.State().SetAnswer(kReloadQuestion, c.reloadAnswer);
    auto before = host.FileReloads().Questions().size();
    if (c.asked) host.FileReloads().QueueAnswer(true);
    bool wanted = IsFileReloadWanted(Manager(), u"/tmp/a.wdg", nullptr, c.silent);
    EXPECT_EQ(host.FileReloads().Questions().size() - before, c.asked ? 1u : 0u) << c.what;
    EXPECT_EQ(wanted, c.asked || c.reloadAnswer == kReloadAlways) << c.what;
  }
}

TEST_F(ProjectTest, StringCollectionAndBrokerObject) {
  auto list = MakeObject<TpwStringCollection>(std::vector<WideString>{u"a", u"b"});
  std::int32_t count = 0;
  OleCheck(list->GetCount(&count));
  EXPECT_EQ(count, 2);
  BString item;
  EXPECT_EQ(list->GetItem(-1, item.Put()), E_INVALIDARG);
  EXPECT_EQ(list->GetItem(2, item.Put()), E_INVALIDARG);
  auto update = GetBrokerObject(Manager());
  ASSERT_TRUE(update);
  OleCheck(update->BeginProjectUpdate());
  OleCheck(update->NodeFilesRemoved(project.Get(), list.Get()));
  OleCheck(update->EndProjectUpdate());
  EXPECT_EQ(host.ProjectUpdate().Notices(), (std::vector<WideString>{u"begin", u"removed Project1: a, b", u"end"}));
  auto scc = GetSccSupportManager(Manager());
  ASSERT_TRUE(scc);
  OleCheck(scc->ChildAdded(project.Get(), nullptr));
  EXPECT_EQ(host.Projects().SccNotices().size(), 1u);
}

}  // namespace
}  // namespace pw::test
