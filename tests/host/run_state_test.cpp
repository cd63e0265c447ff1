// The run state and the stop flag behind every question about the test run, and the
// indicator's progress bars and update brackets.
#include <gtest/gtest.h>

#include "core/host/host_services.h"
#include "host/test_host.h"
#include "platform/rtl/strings.h"

namespace pw {
namespace {

using host::TestHost;

struct RunAnswers {
  GUID engineState, runControlState, hostStateAnswer;
  bool stopping;
};

RunAnswers AskEveryone(TestHost& host) {
  RunAnswers a{};
  auto engine = GetHostService<IpwStopRequestService>(host.Manager(), host::services::kStopRequest);
  a.stopping = engine->IsStopping() != VARIANT_FALSE;
  ComPtr<IpwTestEngineState> state;
  OleCheck(engine->QueryInterface(IpwTestEngineState::iid, state.PutVoid()));
  OleCheck(state->GetRunState(&a.engineState));
  auto runControl = GetHostService<IpwTestEngineState>(host.Manager(), host::services::kRunControl);
  OleCheck(runControl->GetRunState(&a.runControlState));
  auto hostState = GetHostService<IpwHostState>(host.Manager(), host::services::kHostState);
  OleCheck(hostState->GetState(host::kRunStateQuestion, &a.hostStateAnswer));
  return a;
}

TEST(RunState, EveryQuestionReadsTheOneStateAndStopFlag) {
  TestHost host;
  RunAnswers idle = AskEveryone(host);
  EXPECT_EQ(idle.engineState, GUID_NULL);
  EXPECT_EQ(idle.runControlState, GUID_NULL);
  EXPECT_EQ(idle.hostStateAnswer, GUID_NULL);
  EXPECT_FALSE(idle.stopping);

  {
    host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
    host.RunState().SetStopping(true);
    RunAnswers running = AskEveryone(host);
    EXPECT_EQ(running.engineState, host::kRunStateRunning);
    EXPECT_EQ(running.runControlState, host::kRunStateRunning);
    EXPECT_EQ(running.hostStateAnswer, host::kRunStateRunning);
    EXPECT_TRUE(running.stopping);
  }
  RunAnswers after = AskEveryone(host);
  EXPECT_EQ(after.engineState, GUID_NULL);
  EXPECT_EQ(after.hostStateAnswer, GUID_NULL);
  EXPECT_FALSE(after.stopping);

  // The run control still answers its own interface.
  auto runControl = GetHostService<IpwRunControl>(host.Manager(), host::services::kRunControl);
  ComPtr<IcvKeyItem> item;
  EXPECT_EQ(runControl->GetCurrentItem(item.Put()), S_OK);
}

TEST(RunControl, StopRunRequestsTheStopUntilCleared) {
  TestHost host;
  auto runControl = GetHostService<IpwRunControl>(host.Manager(), host::services::kRunControl);
  VARIANT_BOOL requested = VARIANT_TRUE;
  ASSERT_EQ(runControl->IsStopRequested(&requested), S_OK);
  EXPECT_EQ(requested, VARIANT_FALSE);
  ASSERT_EQ(runControl->StopRun(0, 0), S_OK);
  EXPECT_TRUE(host.Projects().StopRequested());
  ASSERT_EQ(runControl->IsStopRequested(&requested), S_OK);
  EXPECT_EQ(requested, VARIANT_TRUE);
  host.Projects().ClearStop();
  EXPECT_FALSE(host.Projects().StopRequested());
}

TEST(Indicator, ProgressBarsAndUpdateBrackets) {
  TestHost host;
  ComPtr<IUnknown> object;
  auto provider = GetHostService<IpwHostObjectProvider>(host.Manager(), host::services::kHostObjects);
  OleCheck(provider->GetIndicator(object.Put()));
  ComPtr<IpwIndicatorInternal> indicator;
  OleCheck(object->QueryInterface(IpwIndicatorInternal::iid, indicator.PutVoid()));

  OleCheck(indicator->BeginUpdate());
  OleCheck(indicator->BeginUpdate());
  EXPECT_EQ(host.Indicator().UpdateLevel(), 2);
  BString text(u"Waiting");
  std::int32_t first = indicator->StartProgress(text.Get(), 0, 3000);
  std::int32_t second = indicator->StartProgress(text.Get(), 10, 20);
  OleCheck(indicator->EndUpdate());
  OleCheck(indicator->EndUpdate());
  OleCheck(indicator->EndUpdate());  // one too many: ignored
  EXPECT_EQ(host.Indicator().UpdateLevel(), 0);
  EXPECT_NE(first, second);
  for (auto id : {first, second}) {
    EXPECT_NE(id, 0);
    EXPECT_NE(id, -1);
  }

  indicator->UpdateProgress(first, 1500);
  indicator->UpdateProgress(second, 99);  // beyond the range: kept at its end
  indicator->UpdateProgress(12345, 1);    // unknown: ignored
  auto bars = host.Indicator().Bars();
  ASSERT_EQ(bars.size(), 2u);
  EXPECT_EQ(bars[0].text, u"Waiting");
  EXPECT_EQ(bars[0].position, 1500);
  EXPECT_EQ(bars[1].position, 20);

  indicator->StopProgress(first);
  indicator->StopProgress(first);  // twice: nothing more to remove
  ASSERT_EQ(host.Indicator().Bars().size(), 1u);
  EXPECT_EQ(host.Indicator().Bars()[0].id, second);
  EXPECT_EQ(host.Indicator().Events()[2], u"start " + Utf8ToWide(std::to_string(first)) + u" Waiting 0 3000");
}

}  // namespace
}  // namespace pw
