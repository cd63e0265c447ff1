// Mapping a leaf of a 50 000-node tree whose every button collides with it (alike class and
// caption, told apart by ControlId), per visited node, against the floor: one depth-first walk
// of the same tree reading the same three properties of each node through IDispatch. Goal: the
// mapping costs at most 2x the walk per node ("ratio" in the mapping's counters: its time per
// visited node over the walk's, both measured in the same run).
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "host/name_mapping.h"
#include "host/settings.h"
#include "host/test_host.h"
#include "openapps/namemapping/name_mapping.h"

namespace {

using namespace pw;

constexpr int kPanels = 100;
constexpr int kButtonsPerPanel = 499;  // with the panels, the form, the process: about 50 000 nodes

struct Tree {
  std::unique_ptr<host::TestHost> host;
  ComPtr<host::TSysNode> form, leaf;
  std::size_t nodes = 0;
};

Tree& SharedTree() {
  static Tree* tree = [] {
    auto* t = new Tree;
    host::TestHostOptions options;
    options.interactive = false;
    t->host = std::make_unique<host::TestHost>(options);
    t->host->Settings().DefineSetting(kIdentificationProviderSetting, host::kSettingBoolean, u"Providers",
                                      OleVariant(true));
    auto process = t->host->Sys().AddChild(u"Process", {OleVariant(u"app")});
    t->form = process->AddChild(u"Window", {OleVariant(u"TForm")});
    auto rootProvider = MakeObject<host::THostIdentificationProvider>();
    rootProvider->isSearchRoot = true;
    auto rootServices = MakeObject<host::THostNodeServices>();
    rootServices->Set(IpwIdentificationProvider::iid, static_cast<IpwIdentificationProvider*>(rootProvider.Get()));
    t->form->SetInterfaceObject(IpwSysNodeServices::iid, static_cast<IpwSysNodeServices*>(rootServices.Get()));
    std::int32_t id = 0;
    t->nodes = 2;
    for (int p = 0; p < kPanels; ++p) {
      auto panel = t->form->AddChild(u"Window", {OleVariant(u"TPanel"), OleVariant(p)});
      panel->SetMemberValue(u"WndClass", OleVariant(u"TPanel"));
      ++t->nodes;
      for (int b = 0; b < kButtonsPerPanel; ++b) {
        auto button = panel->AddChild(u"Window", {OleVariant(u"TButton"), OleVariant(b)});
        button->SetMemberValue(u"WndClass", OleVariant(u"TButton"));
        button->SetMemberValue(u"WndCaption", OleVariant(u"OK"));
        button->SetMemberValue(u"ControlId", OleVariant(++id));
        ++t->nodes;
        t->leaf = button;
      }
    }
    auto provider = MakeObject<host::THostIdentificationProvider>();
    provider->identificationNames = {u"WndClass", u"WndCaption"};
    provider->extraNames = {u"ControlId"};
    provider->searchCollisions = true;
    auto services = MakeObject<host::THostNodeServices>();
    services->Set(IpwIdentificationProvider::iid, static_cast<IpwIdentificationProvider*>(provider.Get()));
    t->leaf->SetInterfaceObject(IpwSysNodeServices::iid, static_cast<IpwSysNodeServices*>(services.Get()));
    return t;
  }();
  return *tree;
}

OleVariant ReadByName(IDispatch* object, const char16_t* name) {
  DISPID id = 0;
  const char16_t* names[] = {name};
  OleVariant value;
  if (Failed(object->GetIDsOfNames(GUID_NULL, names, 1, 0, &id))) return value;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  object->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, value.Put(), nullptr, nullptr);
  return value;
}

// The floor: every node below the form, its three properties through IDispatch; answers the
// number of nodes walked.
std::size_t WalkReadingProperties(Tree& t) {
  std::size_t visited = 0;
  std::vector<ComPtr<host::TSysNode>> stack = t.form->Children();
  while (!stack.empty()) {
    auto node = stack.back();
    stack.pop_back();
    ++visited;
    IDispatch* d = static_cast<IpwScriptSysNode*>(node.Get());
    for (const char16_t* name : {u"WndClass", u"WndCaption", u"ControlId"})
      benchmark::DoNotOptimize(ReadByName(d, name));
    auto children = node->Children();
    stack.insert(stack.end(), children.begin(), children.end());
  }
  return visited;
}

using Clock = std::chrono::steady_clock;

double Nanoseconds(Clock::duration d) { return std::chrono::duration<double, std::nano>(d).count(); }

// The floor per node, measured here (the best of a few walks), for the mapping's ratio.
double FloorNsPerNode(Tree& t) {
  double best = 0;
  for (int round = 0; round < 5; ++round) {
    const auto start = Clock::now();
    const std::size_t visited = WalkReadingProperties(t);
    const double perNode = Nanoseconds(Clock::now() - start) / static_cast<double>(visited);
    if (round == 0 || perNode < best) best = perNode;
  }
  return best;
}

void BM_WalkReadingProperties(benchmark::State& state) {
  Tree& t = SharedTree();
  std::size_t visited = 0;
  for (auto _ : state) visited += WalkReadingProperties(t);
  state.counters["ns_per_node"] =
      benchmark::Counter(static_cast<double>(visited), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WalkReadingProperties)->Unit(benchmark::kMillisecond);

// Counters: ns_per_node, the mapping's time per node its visits handed to the visitor;
// floor_ns_per_node, the walk's (measured in this run before the mapping); ratio, the first over
// the second (goal: at most 2).
void BM_MapLeafWithCollisions(benchmark::State& state) {
  Tree& t = SharedTree();
  const double floor = FloorNsPerNode(t);
  const std::uint64_t before = t.host->ObjectTree().VisitedCount();
  Clock::duration spent{};
  for (auto _ : state) {
    const auto start = Clock::now();
    TpwNodeMapInfoArray chain;
    bool built = BuildNodeMapChain(t.host->Manager(), static_cast<IpwSysNodeEx*>(t.leaf.Get()), chain, nullptr);
    spent += Clock::now() - start;
    if (!built || chain.empty() || !chain[0].UnderSearchRoot) state.SkipWithError("the leaf was not told apart");
    benchmark::DoNotOptimize(chain);
  }
  const double visited = static_cast<double>(t.host->ObjectTree().VisitedCount() - before);
  state.counters["ns_per_node"] =
      benchmark::Counter(visited, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  if (visited > 0 && floor > 0) {
    state.counters["floor_ns_per_node"] = floor;
    state.counters["ratio"] = Nanoseconds(spent) / visited / floor;
  }
}
BENCHMARK(BM_MapLeafWithCollisions)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
