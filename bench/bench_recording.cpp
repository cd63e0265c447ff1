// The recording analyzer over 100 000 recorded actions (clicks, keys, selects, check boxes,
// navigations) against the baseline of a plain pass over the same list (Reset, HasNext, Next
// and GetKind per action); Describe is measured beside them. Each iteration gets a fresh
// recording, built outside the timing.
#include <benchmark/benchmark.h>

#include "host/recording.h"
#include "host/test_host.h"
#include "web/recording/recorded_actions.h"
#include "web/recording/web_event_analyzer.h"

namespace {

using namespace pw;
using namespace pw::web;

constexpr int kActions = 100000;

GUID Target(int n) {
  GUID g{};
  g.Data1 = static_cast<std::uint32_t>(n % 50 + 1);
  return g;
}

ComPtr<host::TRecordedActionList> MakeRecording() {
  auto list = MakeObject<host::TRecordedActionList>();
  for (int i = 1; i <= 50; ++i) list->AddObject(MakeObject<host::TRecordedObject>(Target(i), u"Sys.Page.Control").Get());
  int n = 0;
  while (n < kActions) {
    int t = n;
    auto click = list->Append(kinds::kClick, Target(t));
    click->SetParamValue(keys::kMethodName, OleVariant(u"ClickButton"));
    auto key = list->Append(kinds::kKeyPress, Target(t + 1));
    key->SetParamValue(keys::kKeyText, OleVariant(u"a"));
    auto open = list->Append(kinds::kClick, Target(t + 2));
    open->SetParamValue(keys::kSelectPending, OleVariant(true));
    auto changed = list->Append(kinds::kSelectChanged, Target(t + 2));
    changed->SetParamValue(keys::kItem, OleVariant(u"Blue"));
    auto space = list->Append(kinds::kKeyPress, Target(t + 3));
    space->SetParamValue(keys::kKeyText, OleVariant(u" "));
    list->Append(kinds::kCheckChanged, Target(t + 3))->SetParamValue(keys::kChecked, OleVariant(true));
    auto navigate = list->Append(kinds::kNavigateAction, Target(t + 4));
    navigate->SetParamValue(keys::kBrowserId, OleVariant(1));
    navigate->SetParamValue(keys::kUrl, OleVariant(u"http://shop.test/"));
    auto plain = list->Append(kinds::kClickAction, Target(t + 5));
    plain->SetParamValue(keys::kTimeStamp, OleVariant(n * 1000));
    list->Append(kinds::kRefreshEvent, Target(t + 6));
    list->Append(kinds::kWaitAction, Target(t + 6));
    n += 10;
  }
  return list;
}

void BM_PlainPass(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto list = MakeRecording();
    state.ResumeTiming();
    list->Reset();
    std::size_t count = 0;
    while (list->HasNext()) {
      ComPtr<IpwRecordedAction> action;
      list->Next(action.Put());
      GUID kind{};
      action->GetKind(&kind);
      count += kind.Data1 & 1;
    }
    benchmark::DoNotOptimize(count);
    state.PauseTiming();
    list = nullptr;
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kActions);
}
BENCHMARK(BM_PlainPass)->Unit(benchmark::kMillisecond);

void BM_Analyze(benchmark::State& state) {
  host::TestHost host;
  auto analyzer = MakeObject<TpwWebEventAnalyzer>(host.Manager());
  for (auto _ : state) {
    state.PauseTiming();
    auto list = MakeRecording();
    state.ResumeTiming();
    if (Failed(analyzer->Analyze(list.Get()))) state.SkipWithError("Analyze failed");
    state.PauseTiming();
    list = nullptr;
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kActions);
}
BENCHMARK(BM_Analyze)->Unit(benchmark::kMillisecond);

void BM_Describe(benchmark::State& state) {
  host::TestHost host;
  auto analyzer = MakeObject<TpwWebEventAnalyzer>(host.Manager());
  for (auto _ : state) {
    state.PauseTiming();
    auto list = MakeRecording();
    analyzer->Analyze(list.Get());
    auto writer = MakeObject<host::TRecordedCodeWriter>();
    state.ResumeTiming();
    if (Failed(analyzer->Describe(writer.Get(), list.Get()))) state.SkipWithError("Describe failed");
    state.PauseTiming();
    list = nullptr;
    writer = nullptr;
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kActions);
}
BENCHMARK(BM_Describe)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
