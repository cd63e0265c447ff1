// Find on a page of the real engine, beside its baseline in this binary:
//   BM_QuerySelectorAll (baseline): one querySelectorAll round trip for the wanted element of a
//     page with 10 000 elements.
//   BM_FindLastOfManyElements / BM_FindNoMatch: the object locator's Find over the page node's
//     10 000 element nodes, matching the last one, or none. The counter round_trips is the number
//     of engine calls per Find on the unchanged page.
// Goals: Find at most 25x the baseline, and round_trips bounded by a constant (reads batched by
// the element objects), never one per element.
//
// The element nodes are the host's own below the page node: Find's refresh of the page node reads
// the whole element tree in one evaluation, with the properties the nodes answer from that read
// (id, name, className, type, title, alt, href, src), so a Find by one of them costs one engine
// round trip whatever the page's size. BM_RefreshElementTree measures that read alone (the nodes
// made before; the read keeps them).
//
// Figures on a loaded 8-core machine (load average about 18): the baseline 0.8-0.9 ms; the tree
// read 280 ms (37 ms of it in the host, the rest the engine's evaluation and the transfer of
// about 1 MB of JSON); Find 260-390 ms with 1 round trip (before the batching: 11-13 s with one
// round trip per element). The round-trip goal is met; the time goal (25x) is not: the tree read
// carries every element to the host, where a query the page answers itself would carry one.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/automation/automation.h"
#include "core/automation/dispatch_helpers.h"
#include "host/browser/browser.h"
#include "host/browser/objects/browsers.h"
#include "host/test_host.h"
#include "interfaces/pwWebTesting.h"
#include "platform/automation/dispatch_thunks.h"
#include "platform/rtl/strings.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/object_locator.h"

namespace {

using namespace pw;

constexpr int kElements = 10000;

struct ManyElementsPage {
  std::filesystem::path file = std::filesystem::temp_directory_path() / "pw_bench_many_elements.html";
  host::TestHost host{[] {
    host::TestHostOptions options;
    options.interactive = false;
    return options;
  }()};
  std::shared_ptr<host::TestedBrowser> tested;
  ComPtr<ITypeLib> moduleLibrary;

  ManyElementsPage() {
    // The slice answers through the module's own library, as the module registers it.
    RegisterInterfaceThunks(pwWebTestingInterfaceThunks());
    const char* path = PW_MODULE_TYPELIB;
    OleCheck(LoadTypeLib(WideString(path, path + std::char_traits<char>::length(path)), moduleLibrary.Put()));
    TypeLibraries()->Add(moduleLibrary.Get());
    std::ofstream out(file);
    out << "<!DOCTYPE html><html><body>";
    for (int i = 0; i < kElements; ++i) out << "<span id='el" << i << "'>" << i << "</span>";
    out << "</body></html>";
    out.close();
    tested = host.Browsers().Launch(host::BrowserKind::Chrome, "file://" + file.string());
  }
  ~ManyElementsPage() { std::filesystem::remove(file); }

  std::int64_t EngineCalls() { return host.Browsers().Engine().Conn().CallsSent(); }
};

void BM_QuerySelectorAll(benchmark::State& state) {
  ManyElementsPage page;
  const std::string expression = "document.querySelectorAll('#el" + std::to_string(kElements - 1) + "').length";
  for (auto _ : state) benchmark::DoNotOptimize(page.tested->page->Evaluate(expression));
}
BENCHMARK(BM_QuerySelectorAll)->Unit(benchmark::kMicrosecond);

void RunFind(benchmark::State& state, const WideString& wanted, bool found) {
  ManyElementsPage page;
  auto locator = MakeObject<web::TpwWebObjectLocator>(page.host.Manager());
  locator->AttachNode(static_cast<IpwSysNodeEx*>(page.tested->node.Get()));
  page.tested->node->Refresh();  // the nodes are made once, outside the measured Finds
  BString property(u"id");
  OleVariant value(wanted), tag;
  std::int64_t finds = 0;
  const auto before = page.EngineCalls();
  for (auto _ : state) {
    ComPtr<IDispatch> result;
    if (Failed(locator->Find(property.Get(), value.Get(), tag.Get(), result.Put())) || !result) {
      state.SkipWithError("Find failed");
      return;
    }
    const bool isElement = web::SameObject(result.Get(), static_cast<IpwSysNodeEx*>(page.tested->node.Get()))
                               ? false
                               : web::NodeExists(result.Get());
    if (isElement != found) {
      state.SkipWithError("Find answered the wrong object");
      return;
    }
    ++finds;
  }
  state.counters["round_trips"] =
      finds ? static_cast<double>(page.EngineCalls() - before) / static_cast<double>(finds) : 0;
}

// The share of Find that is the page node's refresh: the one read of the element tree.
void BM_RefreshElementTree(benchmark::State& state) {
  ManyElementsPage page;
  page.tested->node->Refresh();  // the nodes are made once; what is measured is a read that keeps them
  for (auto _ : state) page.tested->node->Refresh();
}
BENCHMARK(BM_RefreshElementTree)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FindLastOfManyElements(benchmark::State& state) { RunFind(state, u"el" + IntToWide(kElements - 1), true); }
BENCHMARK(BM_FindLastOfManyElements)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FindNoMatch(benchmark::State& state) { RunFind(state, u"none", false); }
BENCHMARK(BM_FindNoMatch)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
