// File observers and the project-node event subscription.
#include "project/nodes/observers.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/project/project_fixture.h"
#include "tests/support/scratch_dir.h"

namespace pw::test {
namespace {

using namespace project;

class TOwner final : public Implements<ComObject, IpwFileObserverOwner, IpwProjectNodeEventProviderOwner> {
 public:
  std::vector<std::string> calls;
  HRESULT FileChanged() override { return calls.push_back("changed"), S_OK; }
  HRESULT FileDeleted() override { return calls.push_back("deleted"), S_OK; }
  HRESULT FileReturned() override { return calls.push_back("returned"), S_OK; }
  HRESULT FileModeChanged() override { return calls.push_back("mode"), S_OK; }
  HRESULT OnEvent1(const VARIANT& arg) override { return calls.push_back("event1 " + std::to_string(arg.lVal)), S_OK; }
  HRESULT OnEvent2(const VARIANT&) override { return calls.push_back("event2"), S_OK; }
};

TEST_F(ProjectTest, ObserverTurnsFlagsIntoCalls) {
  ScratchDir dir;
  std::ofstream(dir.Utf8File("there")) << "x";
  struct Case {
    std::int32_t flags;
    const char* file;
    std::vector<std::string> calls;
  } cases[] = {
      {3, "there", {"changed"}}, {3, "missing", {"deleted"}},         {2, "missing", {"changed"}},
      {1, "there", {"deleted"}}, {12, "there", {"returned", "mode"}}, {6, "there", {"changed", "returned"}},
  };
  for (const auto& c : cases) {
    auto owner = MakeObject<TOwner>();
    auto observer = MakeObject<TpwFileObserver>(Manager(), owner.Get(), true);
    OleCheck(observer->SetFileName(BString(dir.File(c.file)).Get()));
    OleCheck(observer->Notify(c.flags));
    EXPECT_EQ(owner->calls, c.calls) << c.flags << " " << c.file;
    OleCheck(observer->Disconnect());
    OleCheck(observer->Notify(c.flags));  // no owner: nothing
    EXPECT_EQ(owner->calls, c.calls);
  }
  EXPECT_EQ(host.FileWatch().ClientCount(), 0u);
}

TEST_F(ProjectTest, ObserverFollowsTheFileThroughTheHost) {
  ScratchDir dir;
  std::string file = dir.Utf8File("item.wdg");
  std::ofstream(file) << "one";
  auto owner = MakeObject<TOwner>();
  auto observer = MakeObject<TpwFileObserver>(Manager(), owner.Get(), false);
  OleCheck(observer->SetFileName(BString(Utf8ToWide(file)).Get()));
  OleCheck(observer->SetFileName(BString(Utf8ToWide(file)).Get()));  // the same name registers again
  EXPECT_EQ(host.FileWatch().ClientCount(), 1u);
  std::ofstream(file) << "two, longer";
  host.FileWatch().CheckFiles();
  std::remove(file.c_str());
  host.FileWatch().CheckFiles();
  std::ofstream(file) << "three";
  host.FileWatch().CheckFiles();
  EXPECT_EQ(owner->calls, (std::vector<std::string>{"changed", "deleted", "changed", "returned"}));
  OleCheck(observer->Disconnect());
  EXPECT_EQ(host.FileWatch().ClientCount(), 0u);
}

TEST_F(ProjectTest, EventProviderSubscribesAndForwards) {
  auto owner = MakeObject<TOwner>();
  auto provider = MakeObject<TpwProjectNodeEventProvider>();
  OleCheck(provider->Connect(Manager(), owner.Get()));
  EXPECT_EQ(host.Broker().SubscriptionCount(), 1u);
  EXPECT_EQ(host.Broker().FireProjectNodeEvent(1, OleVariant(5)), 1u);
  EXPECT_EQ(host.Broker().FireProjectNodeEvent(2, OleVariant()), 1u);
  EXPECT_EQ(owner->calls, (std::vector<std::string>{"event1 5", "event2"}));
  OleCheck(provider->Disconnect());
  EXPECT_EQ(host.Broker().SubscriptionCount(), 0u);
  EXPECT_EQ(host.Broker().FireProjectNodeEvent(1, OleVariant(5)), 0u);
}

}  // namespace
}  // namespace pw::test
