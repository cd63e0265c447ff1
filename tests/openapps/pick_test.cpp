// Picking test objects over simulated input feeds, and mapping what was picked.
#include <gmock/gmock.h>

#include "host/sample_desktop.h"
#include "openapps/module_resources.h"
#include "openapps/namemapping/pick.h"
#include "platform/ui/message_layer.h"
#include "platform/ui/resources.h"
#include "project/container/item_helpers.h"
#include "tests/openapps/name_mapping_fixture.h"

namespace pw {
namespace {

using ::testing::ElementsAre;
using Kind = InputEvent::Kind;

InputEvent Move(std::int32_t x, std::int32_t y) { return {Kind::Move, x, y, 0, 0}; }
InputEvent LeftUp(std::int32_t x, std::int32_t y) { return {Kind::LeftUp, x, y, 0, 0}; }
InputEvent RightDown(std::int32_t x, std::int32_t y) { return {Kind::RightDown, x, y, 0, 0}; }
InputEvent Key(int key) { return {Kind::Key, 0, 0, key, 0}; }
InputEvent CaptureTaken() { return {Kind::CaptureTaken, 0, 0, 0, 0x4242}; }
// The capture released with no other window taking it.
InputEvent CaptureReleased() { return {Kind::CaptureTaken, 0, 0, 0, 0}; }

class PickTest : public NameMappingTest {
 protected:
  PickTest() {
    RegisterModuleResources(&ModuleResourceTable());
    desktop = host::AddSampleDesktop(*host);
    SetCursor(kArrow);
  }
  ~PickTest() override {
    SetInputSource(nullptr);
    RegisterModuleResources(nullptr);
  }
  // Feeds the events in order, then reports the feed drained.
  void Feed(std::vector<InputEvent> events, std::function<void(std::size_t)> onEvent = {}) {
    auto shared = std::make_shared<std::vector<InputEvent>>(std::move(events));
    auto at = std::make_shared<std::size_t>(0);
    SetInputSource([shared, at, onEvent](InputEvent& e) {
      if (*at >= shared->size()) return false;
      if (onEvent) onEvent(*at);
      e = (*shared)[(*at)++];
      return true;
    });
  }
  ComPtr<IpwSysNode> Pick() {
    ComPtr<IpwSysNode> node;
    PickSysNodeOnScreen(host->Manager(), node);
    return node;
  }
  // Every way out leaves no capture, the cursor of before, no highlight and no pick running.
  void ExpectCleanEnd() {
    EXPECT_EQ(GetCapture(), 0u);
    EXPECT_EQ(GetCursor(), kArrow);
    EXPECT_FALSE(IsPickRunning());
    for (auto* n : {desktop.form.Get(), desktop.leftButton.Get(), desktop.rightButton.Get(), desktop.ownWindow.Get(),
                    desktop.screenPanel.Get()})
      EXPECT_FALSE(n->Highlighted());
  }

  static constexpr HCURSOR kArrow = 0x7777;
  host::SampleDesktop desktop;
};

TEST_F(PickTest, FeedsEndThePick) {
  struct Case {
    const char* what;
    std::vector<InputEvent> feed;
    host::TSysNode* picked;  // nil: no node
  } cases[] = {
      {"left release on a button", {Move(150, 360), LeftUp(150, 365)}, desktop.leftButton.Get()},
      {"release on the form", {Move(450, 120), LeftUp(450, 120)}, desktop.form.Get()},
      {"release on the panel", {LeftUp(295, 200)}, desktop.form.Get()},  // between the panels
      {"Esc", {Move(150, 360), Key(VK_ESCAPE), LeftUp(150, 360)}, nullptr},
      {"another key goes on", {Key(65), LeftUp(320, 360)}, desktop.rightButton.Get()},
      {"right button", {Move(150, 360), RightDown(150, 360), LeftUp(150, 360)}, nullptr},
      {"capture lost", {Move(150, 360), CaptureTaken(), LeftUp(150, 360)}, nullptr},
      // Released with no taker: the pick takes the capture back, and the release still reaches it.
      {"capture released, taken back", {Move(150, 360), CaptureReleased(), LeftUp(150, 360)}, desktop.leftButton.Get()},
      {"own process", {Move(700, 200), LeftUp(700, 200)}, nullptr},
      {"screen panel", {Move(700, 500), LeftUp(700, 500)}, nullptr},
      {"nothing there", {LeftUp(5, 5)}, nullptr},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    Feed(c.feed);
    auto node = Pick();
    if (c.picked) {
      ASSERT_TRUE(node);
      EXPECT_EQ(GetNodeKey(node.Get()), c.picked->Key());
    } else {
      EXPECT_FALSE(node);
    }
    ExpectCleanEnd();
    EXPECT_EQ(desktop.ownWindow->HighlightCount(), 0);
    EXPECT_EQ(desktop.screenPanel->HighlightCount(), 0);
  }
}

TEST_F(PickTest, CursorIsThePickCursorWhileThePickRuns) {
  const char* seen = nullptr;
  HWND capture = 0;
  Feed({Move(150, 360), LeftUp(150, 360)}, [&](std::size_t i) {
    if (i == 1) {
      seen = CursorName(GetCursor());
      capture = GetCapture();
    }
  });
  EXPECT_TRUE(Pick());
  ASSERT_NE(seen, nullptr);
  EXPECT_STREQ(seen, kPickCursorName);
  EXPECT_NE(capture, 0u);
  EXPECT_FALSE(IsWindow(capture));  // destroyed at the end
  ExpectCleanEnd();
}

TEST_F(PickTest, OneHighlightPerObject) {
  Feed({Move(150, 360), Move(160, 365), Move(170, 360), Move(450, 120), Move(150, 360), Key(VK_ESCAPE)});
  EXPECT_FALSE(Pick());
  EXPECT_EQ(desktop.leftButton->HighlightCount(), 2);  // three moves over it, then again after the form
  EXPECT_EQ(desktop.form->HighlightCount(), 1);
  ExpectCleanEnd();
}

TEST_F(PickTest, SecondPickMeanwhileGetsNothing) {
  ComPtr<IpwSysNode> inner;
  bool innerRan = false;
  Feed({Move(150, 360), LeftUp(150, 360)}, [&](std::size_t i) {
    if (i == 1) {
      PickSysNodeOnScreen(host->Manager(), inner);
      innerRan = true;
    }
  });
  auto node = Pick();
  EXPECT_TRUE(innerRan);
  EXPECT_FALSE(inner);
  ASSERT_TRUE(node);  // the running pick was not disturbed
  EXPECT_EQ(GetNodeKey(node.Get()), desktop.leftButton->Key());
  ExpectCleanEnd();
}

TEST_F(PickTest, QuitEndsThePickAndGoesOn) {
  Feed({Move(150, 360)});  // drained: the feed posts a quit
  EXPECT_FALSE(Pick());
  ExpectCleanEnd();
  SetInputSource([](InputEvent&) { return false; });
  MSG message;
  message.message = 1;
  EXPECT_EQ(GetMessage(&message), 0);  // the quit is there for the outer loop
  EXPECT_EQ(message.message, WM_QUIT);
}

// An object tree whose point look-up fails once.
class TFailingOnce final : public TForwardingSysManager {
 public:
  using TForwardingSysManager::TForwardingSysManager;
  HRESULT GetObjectAtPoint(std::int32_t x, std::int32_t y, IpwSysNode** node) override {
    if (!failed_) {
      failed_ = true;
      *node = nullptr;
      return E_FAIL;
    }
    return TForwardingSysManager::GetObjectAtPoint(x, y, node);
  }

 private:
  bool failed_ = false;
};

TEST_F(PickTest, RaisingHandlerSpoilsOneMessage) {
  auto failing = MakeObject<TFailingOnce>(&host->ObjectTree());
  host->SetService(kSysManagerService, static_cast<IpwSysManager*>(failing.Get()));
  Feed({LeftUp(150, 360), LeftUp(150, 360)});
  auto node = Pick();
  ASSERT_TRUE(node);
  EXPECT_EQ(GetNodeKey(node.Get()), desktop.leftButton->Key());
  ExpectCleanEnd();
}

// ---- Auto-mapping -------------------------------------------------------------------------------

TEST_F(PickTest, AutoMapOffOrMappedMapsNothing) {
  host->Settings().DefineSetting(kAutoMapSetting, host::kSettingBoolean, u"Auto map", OleVariant(false));
  ComPtr<IpwMapSysNodeResult> result;
  CreateMapSysNodeResult(host->Manager(), AsNode(desktop.leftButton.Get()), result);
  ASSERT_TRUE(result);
  EXPECT_TRUE(MappedItemsOf(result.Get()).empty());
  EXPECT_FALSE(project::FindChildItemByType(project->AsNode(), kNameMappingItemType));
  EXPECT_EQ(result->ProcessMappedItems(), S_OK);

  host->Settings().DefineSetting(kAutoMapSetting, host::kSettingBoolean, u"Auto map", OleVariant(true));
  auto repo = Publish();
  ComPtr<IpwNameMappingRepositoryItem> made;
  repo->Root().AddChild(BString(u"OK").Get(), made.Put());
  repo->MapNode(desktop.leftButton->Key(), static_cast<host::TNameMappingItem*>(made.Get()), nullptr);
  CreateMapSysNodeResult(host->Manager(), AsNode(desktop.leftButton.Get()), result);
  EXPECT_TRUE(MappedItemsOf(result.Get()).empty());
  EXPECT_EQ(repo->Items().size(), 1u);
}

TEST_F(PickTest, AutoMapWithoutAProjectOrItsMappingObjectMapsNothing) {
  // No NameMapping object published for the project: the item is made, nothing is mapped.
  ASSERT_FALSE(project::FindChildItemByType(project->AsNode(), kNameMappingItemType));
  Publish();
  host->RuntimeObjects().Unregister(u"NameMapping", ProjectKey());
  ComPtr<IpwMapSysNodeResult> result;
  CreateMapSysNodeResult(host->Manager(), AsNode(desktop.leftButton.Get()), result);
  ASSERT_TRUE(result);
  EXPECT_TRUE(MappedItemsOf(result.Get()).empty());
  EXPECT_TRUE(project::FindChildItemByType(project->AsNode(), kNameMappingItemType));
  EXPECT_TRUE(mappings->Repository(ProjectKey())->Items().empty());
  EXPECT_EQ(result->ProcessMappedItems(), S_OK);

  // No project at all.
  host->Projects().SetDefaultProject(nullptr);
  CreateMapSysNodeResult(host->Manager(), AsNode(desktop.leftButton.Get()), result);
  ASSERT_TRUE(result);
  EXPECT_TRUE(MappedItemsOf(result.Get()).empty());
  EXPECT_EQ(result->ProcessMappedItems(), S_OK);
  EXPECT_TRUE(mappings->Repository(ProjectKey())->Items().empty());
}

TEST_F(PickTest, AutoMapMakesTheNameMappingItemAndProcessesInOrder) {
  ASSERT_FALSE(project::FindChildItemByType(project->AsNode(), kNameMappingItemType));
  ComPtr<IpwMapSysNodeResult> result;
  CreateMapSysNodeResult(host->Manager(), AsNode(desktop.leftButton.Get()), result);
  EXPECT_TRUE(project::FindChildItemByType(project->AsNode(), kNameMappingItemType));
  auto repo = mappings->Repository(ProjectKey());
  ASSERT_TRUE(repo);
  auto items = MappedItemsOf(result.Get());
  ASSERT_EQ(items.size(), 5u);  // button, panel, form, process, Sys
  std::vector<WideString> names;
  for (auto& i : items) names.push_back(static_cast<host::TNameMappingItem*>(i.Get())->Path());
  EXPECT_THAT(names, ElementsAre(u"Sys.orders.Orders.Panel.OK", u"Sys.orders.Orders.Panel", u"Sys.orders.Orders",
                                 u"Sys.orders", u"Sys"));
  ASSERT_EQ(result->ProcessMappedItems(), S_OK);
  auto* panel = static_cast<host::TNameMappingItem*>(items[1].Get());
  EXPECT_THAT(panel->ChildMappedCalls(), ElementsAre(u"OK true"));
  EXPECT_THAT(repo->Root().ChildMappedCalls(), ElementsAre(u"Sys true"));

  // The twin button: its own chain stops at the mapped form's panel level? No: the other panel
  // is unmapped, so the chain ends at the mapped form.
  ComPtr<IpwMapSysNodeResult> second;
  CreateMapSysNodeResult(host->Manager(), AsNode(desktop.rightButton.Get()), second);
  auto more = MappedItemsOf(second.Get());
  ASSERT_EQ(more.size(), 2u);
  EXPECT_EQ(static_cast<host::TNameMappingItem*>(more[1].Get())->Path(), u"Sys.orders.Orders.Panel2");
}

TEST_F(PickTest, ProcessMappedItemsSkipsAbortedLevels) {
  auto repo = Publish();
  repo->SetItemLimit(3);  // Sys, orders, Orders; the panel is refused
  ComPtr<IpwMapSysNodeResult> result;
  CreateMapSysNodeResult(host->Manager(), AsNode(desktop.leftButton.Get()), result);
  auto items = MappedItemsOf(result.Get());
  ASSERT_EQ(items.size(), 5u);
  EXPECT_FALSE(items[0]);
  EXPECT_FALSE(items[1]);
  ASSERT_EQ(result->ProcessMappedItems(), S_OK);
  auto* orders = static_cast<host::TNameMappingItem*>(items[3].Get());
  EXPECT_THAT(orders->ChildMappedCalls(), ElementsAre(u"Orders true"));
}

}  // namespace
}  // namespace pw
