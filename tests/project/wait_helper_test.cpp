// The wait helper on a clock that moves only when the helper sleeps, the test-engine listener
// through the host's broker, and unique child names.
#include <gtest/gtest.h>

#include <functional>

#include "host/test_host.h"
#include "platform/automation/bstr.h"
#include "platform/rtl/strings.h"
#include "project/wait/wait_helper.h"
#include "tests/support/stepping_clock.h"

namespace pw::test {
namespace {

using namespace project;

class WaitHelperTest : public ::testing::Test {
 protected:
  WaitHelperTest() : host(Options(clock)) {}
  static host::TestHostOptions Options(SteppingClock& c) {
    host::TestHostOptions o;
    o.interactive = false;
    o.clock = &c;
    return o;
  }
  IcvBaseManager* Manager() { return host.Manager(); }
  void SetDefaultWait(std::int32_t ms) {
    host.Settings().DefineSetting(kDefaultWaitTimeoutSetting, host::kSettingInteger, u"Wait", OleVariant(ms));
  }
  // Steps until the helper gives up; the number of True answers.
  static int StepsUntilFalse(TpwWaitHelper& wait, int limit = 100000) {
    int n = 0;
    while (n < limit && wait.WaitStep()) ++n;
    return n;
  }

  SteppingClock clock;
  host::TestHost host;
};

TEST_F(WaitHelperTest, TimeOutsAndTheIndicator) {
  host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
  struct Case {
    std::int32_t timeout;
    int steps;       // 50 ms steps before elapsed passes the time-out
    bool indicator;  // a bar with the time-out as maximum
  } cases[] = {
      {0, 1, false},      // the first step sees 0 elapsed, sleeps; the second sees 50 > 0
      {1000, 21, false},  // 1000 is not above 1000: no bar
      {1001, 21, true},   // 1050 > 1001 after 21 steps
      {30000, 601, true},
  };
  for (const auto& c : cases) {
    const std::uint64_t sleptBefore = clock.Slept();
    {
      TpwWaitHelper wait(Manager(), c.timeout, u"Waiting");
      EXPECT_EQ(wait.Timeout(), c.timeout);
      auto bars = host.Indicator().Bars();
      ASSERT_EQ(bars.size(), c.indicator ? 1u : 0u) << c.timeout;
      if (c.indicator) {
        EXPECT_EQ(bars[0].text, u"Waiting");
        EXPECT_EQ(bars[0].min, 0);
        EXPECT_EQ(bars[0].max, c.timeout);
      }
      EXPECT_EQ(StepsUntilFalse(wait), c.steps) << c.timeout;
      if (c.indicator) {
        EXPECT_EQ(host.Indicator().Bars()[0].position, (c.steps - 1) * 50);  // the last step's elapsed time
      }
    }
    EXPECT_TRUE(host.Indicator().Bars().empty()) << "the bar goes with the helper";
    EXPECT_EQ(clock.Slept() - sleptBefore, static_cast<std::uint64_t>(c.steps) * 50) << c.timeout;
  }
}

TEST_F(WaitHelperTest, ANegativeTimeOutTakesTheSettingAndANegativeSettingHasNoLimit) {
  host::ScopedRunState run(host.RunState(), host::kRunStateAlternate);
  SetDefaultWait(200);
  {
    TpwWaitHelper wait(Manager(), -1, u"Setting");
    EXPECT_EQ(wait.Timeout(), 200);
    EXPECT_EQ(StepsUntilFalse(wait), 5);
  }
  SetDefaultWait(-1);
  TpwWaitHelper endless(Manager(), -5, u"Endless");
  EXPECT_EQ(endless.Timeout(), -1);
  EXPECT_TRUE(host.Indicator().Bars().empty());
  EXPECT_EQ(StepsUntilFalse(endless, 5000), 5000);  // 250 s of clock time and still going
  host.RunState().SetStopping(true);
  EXPECT_FALSE(endless.WaitStep());
}

// A wait left to a host that has no default (or an empty one) waits without limit, as for a
// negative default, and not for 0 ms as a plain integer conversion of the empty value would.
TEST_F(WaitHelperTest, WithoutADefaultWaitANegativeTimeOutHasNoLimit) {
  host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
  struct Case {
    const char* name;
    std::function<void()> set;
  };
  const Case cases[] = {
      {"no setting", [] {}},
      {"an empty setting",
       [&] {
         host.Settings().DefineSetting(kDefaultWaitTimeoutSetting, host::kSettingInteger, u"Wait", OleVariant());
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.set();
    TpwWaitHelper wait(Manager(), -1, u"Default");
    EXPECT_EQ(wait.Timeout(), -1);
    EXPECT_TRUE(host.Indicator().Bars().empty());
    EXPECT_EQ(StepsUntilFalse(wait, 2000), 2000);  // 100 s of clock time and still going
    host.Projects().RequestStop();
    EXPECT_FALSE(wait.WaitStep());
    host.Projects().ClearStop();
  }
  ASSERT_TRUE(host.Settings().FindSetting(kDefaultWaitTimeoutSetting));
}

TEST_F(WaitHelperTest, EndsWithTheRunOrAStopRequestWithoutSleeping) {
  {
    TpwWaitHelper idle(Manager(), 5000, u"Idle");
    EXPECT_FALSE(idle.WaitStep());  // no run state answers True
  }
  {
    host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
    TpwWaitHelper wait(Manager(), 5000, u"Stop");
    EXPECT_TRUE(wait.WaitStep());
    host.Projects().RequestStop();
    EXPECT_FALSE(wait.WaitStep());
    host.Projects().ClearStop();
    EXPECT_TRUE(wait.WaitStep());
  }
  {
    // The host's mode answer "active" keeps a wait going without a running engine state.
    host.State().SetAnswer(kRunModeQuestion, kRunModeActive);
    TpwWaitHelper wait(Manager(), 5000, u"Mode");
    EXPECT_TRUE(wait.WaitStep());
    host.State().SetAnswer(kRunModeQuestion, GUID_NULL);
    EXPECT_FALSE(wait.WaitStep());
  }
  EXPECT_EQ(clock.Slept(), 150u);  // only the three steps that answered True slept
}

TEST_F(WaitHelperTest, TheTickCountWrapsHarmlessly) {
  host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
  clock.Set(0xFFFFFFFFull - 120);  // the 32-bit tick count wraps during the wait
  TpwWaitHelper wait(Manager(), 300, u"Wrap");
  EXPECT_EQ(StepsUntilFalse(wait), 7);
}

// ---- The listener ---------------------------------------------------------------------------

class TRecordingOwner final : public Implements<ComObject, IpwTestEngineEventListenerOwner> {
 public:
  std::vector<std::int32_t> events, values;
  HRESULT OnEngineEvent(std::int32_t id, const VARIANT&) override {
    events.push_back(id);
    return S_OK;
  }
  HRESULT OnEngineEvent2(std::int32_t value) override {
    values.push_back(value);
    return S_OK;
  }
};

WideString Text(BSTR b) {
  BString owned;
  *owned.Put() = b;
  return WideString(owned.View());
}

TEST_F(WaitHelperTest, ListenerWithAHandlerHearsOnlyEightAndElevenAndEveryValue) {
  std::vector<std::int32_t> heard;
  auto listener = TpwTestEngineEventListener::CreateWithHandler(Manager(), true, u"Mine",
                                                                [&](std::int32_t id) { heard.push_back(id); });
  EXPECT_EQ(host.Broker().SubscriptionCount(), 1u);
  for (std::int32_t id : {1, 7, 8, 9, 11, 12}) EXPECT_EQ(host.Broker().FireTestEngineEvent(id, OleVariant(id)), 1u);
  EXPECT_EQ(host.Broker().FireTestEngineEvent(42, OleVariant(), true), 1u);
  EXPECT_EQ(heard, (std::vector<std::int32_t>{8, 11, 42}));
  GUID iid{};
  std::int32_t value = 0, count = 0;
  ASSERT_EQ(listener->GetCount(&count), S_OK);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(listener->GetItem(5, &iid, &value), S_OK);  // whatever the index
  EXPECT_EQ(iid, IpwTestEngineEvents::iid);
  EXPECT_EQ(value, -1);  // the flag
  ASSERT_EQ(listener->Dispose(), S_OK);
  EXPECT_EQ(host.Broker().SubscriptionCount(), 0u);
  EXPECT_EQ(host.Broker().FireTestEngineEvent(8, OleVariant()), 0u);
  EXPECT_EQ(heard.size(), 3u);
  EXPECT_EQ(listener->Dispose(), S_OK);  // a second time does nothing
}

TEST_F(WaitHelperTest, ListenerWithAnOwnerHearsEverything) {
  auto owner = MakeObject<TRecordingOwner>();
  auto listener = MakeObject<TpwTestEngineEventListener>(Manager(), owner.Get(), false, u"Owned");
  for (std::int32_t id : {1, 8, 30}) host.Broker().FireTestEngineEvent(id, OleVariant());
  host.Broker().FireTestEngineEvent(5, OleVariant(), true);
  EXPECT_EQ(owner->events, (std::vector<std::int32_t>{1, 8, 30}));
  EXPECT_EQ(owner->values, (std::vector<std::int32_t>{5}));
  GUID iid{};
  std::int32_t value = -1;
  listener->GetItem(0, &iid, &value);
  EXPECT_EQ(value, 0);
  listener->Dispose();
  host.Broker().FireTestEngineEvent(8, OleVariant());
  EXPECT_EQ(owner->events.size(), 3u);
}

TEST_F(WaitHelperTest, TheWaitHelpersListenerNamesItself) {
  // The helper's listener is the broker's one subscription while it lives.
  TpwWaitHelper wait(Manager(), 10, u"x");
  ASSERT_EQ(host.Broker().SubscriptionCount(), 1u);
  auto listener = TpwTestEngineEventListener::CreateWithHandler(Manager(), false, u"TpwWaitHelper", nullptr);
  BSTR name = nullptr;
  ASSERT_EQ(listener->GetDisposableName(&name), S_OK);
  EXPECT_EQ(Text(name), u"TpwWaitHelper");
  ASSERT_EQ(listener->GetName(&name), S_OK);
  EXPECT_EQ(Text(name), u"TpwWaitHelper - TpwTestEngineEventListener");
  GUID a{}, b{};
  listener->GetKey(&a);
  ComPtr<IpwHostEventHandler> handler = QueryAs<IpwHostEventHandler>(static_cast<IpwTestEngineEvents*>(listener.Get()));
  ASSERT_TRUE(handler);
  handler->GetKey(&b);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, GUID_NULL);
  listener->Dispose();
  EXPECT_EQ(host.Broker().SubscriptionCount(), 1u);
}

TEST_F(WaitHelperTest, TheHelperLeavesTheBrokerWhenItGoes) {
  { TpwWaitHelper wait(Manager(), 10, u"x"); }
  EXPECT_EQ(host.Broker().SubscriptionCount(), 0u);
}

// ---- Unique names ---------------------------------------------------------------------------

TEST(UniqueNames, Table) {
  host::TestHost host;
  const GUID excluded = MakeGuid("{0B1D1C39-6D0E-4E0B-8A0B-8C1E5E2C0999}");
  struct Case {
    std::vector<WideString> children;
    WideString base;
    bool alwaysNumber, exclude;
    WideString format, expected;
  } cases[] = {
      {{u"Item", u"Item1"}, u"Item", false, false, u"", u"Item2"},
      {{u"Item1", u"Item2"}, u"Item", true, false, u"", u"Item3"},
      {{u"Other"}, u"Item", false, false, u"", u"Item"},
      {{}, u"Item", true, false, u"", u"Item1"},
      {{u"ITEM", u"item1", u"Item3"}, u"Item", false, false, u"", u"Item2"},  // ignoring case
      {{u"Item2", u"Item1"}, u"Item", false, false, u"", u"Item"},            // the bare name is free
      {{u"Item"}, u"Item", false, true, u"", u"Item"},                        // its own name stays
      {{u"Item_1"}, u"Item", true, false, u"%s_%d", u"Item_2"},
      {{u"NewFolder1", u"newfolder2"}, u"NewFolder", true, false, u"", u"NewFolder3"},
      {{u"5% A"}, u"A", true, false, u"%d%% %s", u"1% A"},
  };
  for (const auto& c : cases) {
    auto parent = MakeObject<host::THostProjectNode>(nullptr, GUID_NULL, u"Parent");
    for (const auto& name : c.children) {
      auto child = MakeObject<host::THostProjectNode>(parent.Get(), GUID_NULL, name, c.exclude ? excluded : GUID_NULL);
      parent->AddChild(child.Get());
    }
    WideString name;
    GenerateUniqueName(parent.Get(), c.base, c.exclude ? &excluded : nullptr, c.alwaysNumber, name, c.format);
    EXPECT_EQ(name, c.expected) << WideToUtf8(c.base) << " " << c.children.size();
    parent->ClearChildren();
  }
  WideString name;
  GenerateUniqueName(nullptr, u"Item", nullptr, false, name);
  EXPECT_EQ(name, u"Item");
  std::int32_t index = 7;  // a start index is kept
  GenerateUniqueNameEx(nullptr, u"Item", nullptr, u"", false, index, name);
  EXPECT_EQ(name, u"Item7");
}

}  // namespace
}  // namespace pw::test
