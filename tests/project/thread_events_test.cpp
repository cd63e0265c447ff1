// Container changes posted from other threads run on the host's main thread.
#include "project/nodes/thread_events.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tests/project/project_fixture.h"

namespace pw::test {
namespace {

using namespace project;

class TRecordingContainer final : public Implements<ComObject, IpwProjectNodeContainer> {
 public:
  std::vector<std::thread::id> threads;
  std::vector<ComPtr<IpwProjectNode>> children;
  bool answer = true;
  ComPtr<IpwProjectNode> replacement;

  HRESULT GetChildEntry(IpwProjectNode*, IUnknown** entry, VARIANT*) override { return *entry = nullptr, S_OK; }
  HRESULT AddChild(IpwProjectNode* child, VARIANT_BOOL* added) override {
    threads.push_back(std::this_thread::get_id());
    if (answer) children.emplace_back(child);
    *added = ToWordBool(answer);
    return S_OK;
  }
  HRESULT RemoveChild(IpwProjectNode* child, VARIANT_BOOL) override {
    threads.push_back(std::this_thread::get_id());
    std::erase_if(children, [&](const auto& c) { return c.Get() == child; });
    return S_OK;
  }
  HRESULT ReplaceOnFake(IpwProjectNode*, IpwProjectNode** newNode, VARIANT_BOOL* replaced) override {
    threads.push_back(std::this_thread::get_id());
    *newNode = ComPtr<IpwProjectNode>(replacement).Detach();  // written even when refusing
    *replaced = ToWordBool(answer);
    return S_OK;
  }
  HRESULT ReplaceOnReal(IpwFakeProjectNode*, IpwProjectNode** newNode, VARIANT_BOOL* replaced) override {
    return ReplaceOnFake(nullptr, newNode, replaced);
  }
};

TEST_F(ProjectTest, PostFromWorkerRunsOnTheMainThread) {
  auto container = MakeObject<TRecordingContainer>();
  auto child = MakeObject<host::THostProjectNode>(nullptr, kWidgetType, u"C");
  std::atomic<bool> done{false};
  bool added = false;
  std::thread worker([&] {
    added = PostAddChild(Manager(), container.Get(), child.Get());
    done = true;
  });
  // Nothing changes until the main thread runs the queued event.
  while (host.Main().QueuedCount() == 0) std::this_thread::yield();
  EXPECT_TRUE(container->children.empty());
  EXPECT_TRUE(host.Main().RunUntil([&] { return done.load(); }, 60000));
  worker.join();
  EXPECT_TRUE(added);
  ASSERT_EQ(container->threads.size(), 1u);
  EXPECT_EQ(container->threads[0], std::this_thread::get_id());
  EXPECT_EQ(container->children.size(), 1u);
  // On the main thread the post runs at once.
  PostRemoveChild(Manager(), container.Get(), child.Get(), true);
  EXPECT_TRUE(container->children.empty());
}

TEST_F(ProjectTest, RefusedReplaceLeavesNoNode) {
  auto container = MakeObject<TRecordingContainer>();
  auto child = MakeObject<host::THostProjectNode>(nullptr, kWidgetType, u"Real");
  container->replacement = MakeObject<host::THostProjectNode>(nullptr, kWidgetType, u"Fake");
  container->answer = false;
  ComPtr<IpwProjectNode> newNode;
  EXPECT_FALSE(PostReplaceOnFake(Manager(), container.Get(), child.Get(), newNode));
  EXPECT_FALSE(newNode);
  container->answer = true;
  EXPECT_TRUE(PostReplaceOnFake(Manager(), container.Get(), child.Get(), newNode));
  EXPECT_EQ(newNode.Get(), container->replacement.Get());
  EXPECT_TRUE(PostReplaceOnReal(Manager(), container.Get(), nullptr, newNode));
  EXPECT_EQ(newNode.Get(), container->replacement.Get());
}

TEST(ContainerThreadEvents, HostChecksSizeAndKind) {
  TpwContainerThreadEventBlock block{7, &block};
  EXPECT_EQ(RunContainerThreadEvent(&block, sizeof(block)), E_INVALIDARG);
  block.Kind = kAddChild;
  EXPECT_EQ(RunContainerThreadEvent(&block, 4), E_INVALIDARG);
  EXPECT_EQ(RunContainerThreadEvent(nullptr, sizeof(block)), E_INVALIDARG);
}

}  // namespace
}  // namespace pw::test
