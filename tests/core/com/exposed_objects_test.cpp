// The reference-counted base and the exposed-object registry.
#include "core/com/exposed_objects.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/com/interfaced_object.h"
#include "platform/com/marshal.h"

namespace pw {
namespace {

struct IProbe : IUnknown {
  static constexpr IID iid = MakeGuid("{0E1F2A3B-0000-4000-8000-00000000A001}");
  virtual int Value() = 0;
};

std::atomic<int> gLive{0};

class Probe : public Implements<TcvInterfacedObject, IProbe> {
 public:
  Probe() { ++gLive; }
  ~Probe() override { --gLive; }
  int Value() override { return 42; }
};

// A fresh registry for each test, as the module's start creates it.
class ExposedObjectsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartExposedObjects();
    gLive = 0;
  }
  void TearDown() override {
    StopExposedObjects();
    EXPECT_EQ(gLive.load(), 0) << "an object outlived its references";
  }
  TExposedObjects& Registry() { return *ExposedObjects(); }
};

TEST_F(ExposedObjectsTest, StrongConnectionsCountUpAndDown) {
  EXPECT_TRUE(Registry().EmptyEvent().IsSet()) << "a new registry is empty: a disconnection need not wait";
  auto probe = MakeObject<Probe>();
  IExternalConnection* ext = probe.Get();
  EXPECT_EQ(ext->AddConnection(EXTCONN_STRONG, 0), 1u);
  EXPECT_EQ(ext->AddConnection(EXTCONN_STRONG, 0), 2u);
  EXPECT_EQ(Registry().Count(), 1);
  EXPECT_FALSE(Registry().EmptyEvent().IsSet());
  EXPECT_EQ(ext->ReleaseConnection(EXTCONN_STRONG, 0, 1), 1u);
  EXPECT_EQ(Registry().Count(), 1);
  EXPECT_EQ(ext->ReleaseConnection(EXTCONN_STRONG, 0, 1), 0u);
  EXPECT_EQ(Registry().Count(), 0);
  EXPECT_TRUE(Registry().EmptyEvent().IsSet());
}

TEST_F(ExposedObjectsTest, WeakConnectionsAndStrayReleasesLeaveTheRegistryAlone) {
  auto probe = MakeObject<Probe>();
  IExternalConnection* ext = probe.Get();
  EXPECT_EQ(ext->AddConnection(EXTCONN_WEAK, 0), 0u);
  EXPECT_EQ(ext->ReleaseConnection(EXTCONN_WEAK, 0, 1), 0u);
  EXPECT_EQ(Registry().Count(), 0);
  // A release that no connection matches must not store a wrapped-around count.
  EXPECT_EQ(ext->ReleaseConnection(EXTCONN_STRONG, 0, 1), 0u);
  EXPECT_EQ(Registry().Count(), 0);
  EXPECT_TRUE(Registry().EmptyEvent().IsSet());
}

TEST_F(ExposedObjectsTest, TheRegistryKeysObjectsByIdentity) {
  auto probe = MakeObject<Probe>();
  // Connections reported through different interfaces of one object count for one entry.
  Registry().AddConnection(static_cast<IProbe*>(probe.Get()));
  Registry().AddConnection(static_cast<IExternalConnection*>(probe.Get()));
  EXPECT_EQ(Registry().Count(), 1);
  EXPECT_EQ(Registry().ReleaseConnection(probe->Identity()), 1u);
  EXPECT_EQ(Registry().ReleaseConnection(probe->Identity()), 0u);
}

TEST_F(ExposedObjectsTest, MarshalingEntersTheObjectAndDisconnectingFreesIt) {
  StubCookie a = 0, b = 0;
  {
    auto probe = MakeObject<Probe>();
    ASSERT_EQ(CoMarshalInterfaceStrong(static_cast<IProbe*>(probe.Get()), &a), S_OK);
    ASSERT_EQ(CoMarshalInterfaceStrong(static_cast<IProbe*>(probe.Get()), &b), S_OK);
  }
  // Only the stubs keep the object alive now.
  EXPECT_EQ(gLive.load(), 1);
  EXPECT_EQ(Registry().Count(), 1);
  Registry().DisconnectAll(0);
  EXPECT_EQ(Registry().Count(), 0);
  EXPECT_EQ(gLive.load(), 0);
  EXPECT_EQ(CoReleaseMarshalData(a), E_INVALIDARG) << "a disconnected stub is gone";
}

TEST_F(ExposedObjectsTest, AReleasedProxyEndsItsConnection) {
  auto probe = MakeObject<Probe>();
  StubCookie c = 0;
  ASSERT_EQ(CoMarshalInterfaceStrong(static_cast<IProbe*>(probe.Get()), &c), S_OK);
  EXPECT_EQ(Registry().Count(), 1);
  EXPECT_EQ(CoReleaseMarshalData(c), S_OK);
  EXPECT_EQ(Registry().Count(), 0);
  EXPECT_EQ(CoConnectionCount(static_cast<IProbe*>(probe.Get())), 0u);
}

TEST_F(ExposedObjectsTest, DisconnectingManyObjectsFreesEachOnce) {
  for (int i = 0; i < 40; ++i) {  // enough to rehash the 11-bucket table twice
    auto probe = MakeObject<Probe>();
    StubCookie c;
    ASSERT_EQ(CoMarshalInterfaceStrong(static_cast<IProbe*>(probe.Get()), &c), S_OK);
  }
  EXPECT_EQ(Registry().Count(), 40);
  EXPECT_EQ(DisconnectExposedObjectsImpl(WordFalse, 0), S_OK);
  EXPECT_EQ(Registry().Count(), 0);
  EXPECT_EQ(gLive.load(), 0);
}

// An object whose disconnection releases another exposed object: the second one leaves the
// registry during the pass and must not be disconnected a second time.
class Chain : public Implements<TcvInterfacedObject, IProbe> {
 public:
  Chain() { ++gLive; }
  ~Chain() override {
    --gLive;
    if (next_) CoReleaseMarshalData(nextCookie_);
  }
  int Value() override { return 1; }
  void Hold(IProbe* next) {
    next_ = true;
    CoMarshalInterfaceStrong(next, &nextCookie_);
  }

 private:
  bool next_ = false;
  StubCookie nextCookie_ = 0;
};

TEST_F(ExposedObjectsTest, ObjectsReleasedDuringThePassAreNotDisconnectedAgain) {
  {
    auto first = MakeObject<Chain>();
    auto second = MakeObject<Chain>();
    first->Hold(static_cast<IProbe*>(second.Get()));
    auto third = MakeObject<Chain>();
    second->Hold(static_cast<IProbe*>(third.Get()));
    StubCookie c;
    ASSERT_EQ(CoMarshalInterfaceStrong(static_cast<IProbe*>(first.Get()), &c), S_OK);
  }
  EXPECT_EQ(Registry().Count(), 3);
  Registry().DisconnectAll(0);
  EXPECT_EQ(Registry().Count(), 0);
  EXPECT_EQ(gLive.load(), 0);
}

TEST_F(ExposedObjectsTest, DisconnectWaitsForReleasesFromOtherThreads) {
  ManualClock clock;
  ScopedClock use(clock);
  // An object held by a "remote" client that releases it only later, from another thread: a
  // weak marshal that the disconnection pass does not end.
  auto probe = MakeObject<Probe>();
  Registry().AddConnection(probe->Identity());
  std::atomic<bool> done{false};
  const auto reads = clock.ReadCount();
  std::thread waiter([&] {
    Registry().DisconnectAll(5000);
    done = true;
  });
  clock.WaitForReads(reads + 1);
  EXPECT_FALSE(done.load());
  Registry().ReleaseConnection(probe->Identity());
  waiter.join();
  EXPECT_TRUE(done.load());
}

TEST_F(ExposedObjectsTest, AWaitThatTimesOutLeavesTheObjectRegistered) {
  ManualClock clock;
  ScopedClock use(clock);
  auto probe = MakeObject<Probe>();
  Registry().AddConnection(probe->Identity());  // not a stub: the pass cannot end it
  const auto reads = clock.ReadCount();
  std::thread waiter([&] { Registry().DisconnectAll(5000); });
  clock.WaitForReads(reads + 1);
  clock.Advance(5000);
  waiter.join();
  EXPECT_EQ(Registry().Count(), 1);
  Registry().ReleaseConnection(probe->Identity());
}

TEST(ExposedObjectsLifecycle, ObjectsWorkWithoutARegistry) {
  StopExposedObjects();
  ASSERT_EQ(ExposedObjects(), nullptr);
  auto probe = MakeObject<Probe>();
  EXPECT_EQ(static_cast<IExternalConnection*>(probe.Get())->AddConnection(EXTCONN_STRONG, 0), 0u);
  EXPECT_EQ(DisconnectExposedObjectsImpl(WordFalse, 0), S_OK);
}

}  // namespace
}  // namespace pw
