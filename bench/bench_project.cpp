// Project nodes against the plain containers they stand on:
//   ChildsAdd       10 000 children added to a TProjectNodeChilds (type checked through the host's
//                   registry, key index, one reference each), against inserting their keys into a
//                   std::unordered_set (goal: 3x at most);
//   SiblingName     a new name checked against 10 000 siblings (FindChildNodeByName: the parent's
//                   iterator, each child's name, the ignore-case compare), against the same compare
//                   over a std::vector<std::u16string> of their names (goal: 3x at most);
//   UniqueName      GenerateUniqueName("Item", numbered) among the 10 000 siblings Item1...Item10000
//                   (the parent's iterator, each child's name and key, folded into a set, then
//                   Item10001 found), against the same over a std::unordered_set of their folded
//                   names made from a std::vector (goal: 2x at most).
#include <benchmark/benchmark.h>

#include <unordered_set>
#include <vector>

#include "host/test_host.h"
#include "platform/rtl/strings.h"
#include "project/nodes/base_node.h"
#include "project/nodes/project_helpers.h"
#include "project/wait/wait_helper.h"

namespace pw {
namespace {

constexpr int kCount = 10000;

// A container as the project tree's containers keep their children: a TProjectNodeChilds whose
// checked iterator walks the list in place.
class TBenchContainer final : public project::TpwBaseProjectNode {
 public:
  TBenchContainer() : TpwBaseProjectNode(nullptr, host::kProjectNodeType, GUID_NULL), childs(host::kProjectNodeType) {}
  ComPtr<IpwProjectNodeIterator> Children() override {
    return childs.GetIterator(static_cast<IpwProjectNodeInternal*>(this));
  }
  project::TProjectNodeChilds childs;
};

struct Tree {
  host::TestHost host;
  ComPtr<TBenchContainer> parent;
  std::vector<ComPtr<host::THostProjectNode>> children;
  std::vector<GUID> keys;
  std::vector<std::u16string> names;

  Tree() {
    parent = MakeObject<TBenchContainer>();
    ComPtr<IpwProjectNodeRegistry> registry(static_cast<IpwProjectNodeRegistry*>(&host.Projects()));
    for (int i = 0; i < kCount; ++i) {
      WideString name = u"Item" + IntToWide(i + 1);
      auto child = MakeObject<host::THostProjectNode>(nullptr, host::kItemNodeType, name);
      parent->childs.Add(registry.Get(), child.Get());
      keys.push_back(project::NodeKey(child.Get()));
      names.push_back(name);
      children.push_back(std::move(child));
    }
  }
  ~Tree() { parent->childs.Clear(); }
};

Tree& SharedTree() {
  static Tree* tree = new Tree;
  return *tree;
}

void BM_ChildsAdd(benchmark::State& state) {
  Tree& tree = SharedTree();
  ComPtr<IpwProjectNodeRegistry> registry(static_cast<IpwProjectNodeRegistry*>(&tree.host.Projects()));
  for (auto _ : state) {
    project::TProjectNodeChilds childs(host::kProjectNodeType);
    for (const auto& child : tree.children)
      if (!childs.Add(registry.Get(), child.Get())) state.SkipWithError("refused");
    benchmark::DoNotOptimize(childs.Count());
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_ChildsAdd)->Unit(benchmark::kMicrosecond);

void BM_ChildsAdd_Baseline_UnorderedSet(benchmark::State& state) {
  Tree& tree = SharedTree();
  for (auto _ : state) {
    std::unordered_set<GUID> keys;
    for (const auto& key : tree.keys) keys.insert(key);
    benchmark::DoNotOptimize(keys.size());
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_ChildsAdd_Baseline_UnorderedSet)->Unit(benchmark::kMicrosecond);

void BM_SiblingName(benchmark::State& state) {
  Tree& tree = SharedTree();
  for (auto _ : state) {
    auto found = project::FindChildNodeByName(static_cast<IpwProjectNodeInternal*>(tree.parent.Get()), u"NEW ITEM");
    benchmark::DoNotOptimize(found.Get());
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_SiblingName)->Unit(benchmark::kMicrosecond);

void BM_SiblingName_Baseline_Vector(benchmark::State& state) {
  Tree& tree = SharedTree();
  for (auto _ : state) {
    const std::u16string* found = nullptr;
    for (const auto& name : tree.names)
      if (SameTextIgnoringCase(name, u"NEW ITEM")) {
        found = &name;
        break;
      }
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_SiblingName_Baseline_Vector)->Unit(benchmark::kMicrosecond);

void BM_UniqueName(benchmark::State& state) {
  Tree& tree = SharedTree();
  for (auto _ : state) {
    WideString name;
    project::GenerateUniqueName(static_cast<IpwProjectNodeInternal*>(tree.parent.Get()), u"Item", nullptr, true, name);
    if (name != u"Item10001") state.SkipWithError("wrong name");
    benchmark::DoNotOptimize(name.data());
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_UniqueName)->Unit(benchmark::kMicrosecond);

void BM_UniqueName_Baseline_UnorderedSet(benchmark::State& state) {
  Tree& tree = SharedTree();
  for (auto _ : state) {
    std::unordered_set<std::u16string> taken;
    for (const auto& n : tree.names) taken.insert(WideLowerCase(n));
    int index = 1;
    while (taken.contains(WideLowerCase(u"Item" + IntToWide(index)))) ++index;
    benchmark::DoNotOptimize(index);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_UniqueName_Baseline_UnorderedSet)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace pw

BENCHMARK_MAIN();
