// The hash tables against std::unordered_map, for integer, GUID and UTF-16 keys at 1e3 to 1e6
// entries:
//   Insert   n new keys into a table made big enough never to rehash (unordered_map: reserve);
//   Rehash   n new keys into an 11-bucket table, which rehashes all the way up (unordered_map:
//            no reserve); the difference to Insert is the cost of growing;
//   Find     every key once, in an order other than the insertion order;
//   Iterate  every value once.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <unordered_map>
#include <vector>

#include "core/containers/hash_tables.h"

namespace pw {
namespace {

using IntegerKey = std::intptr_t;

// Distinct random keys, made once per type and count.
std::vector<IntegerKey> MakeKeys(std::size_t n, IntegerKey*) {
  std::mt19937_64 rng(n);
  std::vector<IntegerKey> keys(n);
  for (auto& k : keys) k = static_cast<IntegerKey>(rng());
  return keys;
}
std::vector<GUID> MakeKeys(std::size_t n, GUID*) {
  std::mt19937_64 rng(n);
  std::vector<GUID> keys(n);
  for (auto& g : keys) {
    const std::uint64_t a = rng(), b = rng();
    g.Data1 = static_cast<std::uint32_t>(a);
    g.Data2 = static_cast<std::uint16_t>(a >> 32);
    g.Data3 = static_cast<std::uint16_t>(a >> 48);
    for (int i = 0; i < 8; ++i) g.Data4[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(b >> (8 * i));
  }
  return keys;
}
std::vector<WideString> MakeKeys(std::size_t n, WideString*) {
  std::mt19937_64 rng(n);
  std::vector<WideString> keys(n);
  for (std::size_t i = 0; i < n; ++i) {
    // Identifier-like names of 8 to 23 code units, made distinct by a numbered tail.
    WideString s(8 + rng() % 8, u'a');
    for (char16_t& c : s) c = static_cast<char16_t>(u'a' + rng() % 26);
    for (std::size_t v = i; v; v /= 26) s.push_back(static_cast<char16_t>(u'A' + v % 26));
    keys[i] = std::move(s);
  }
  return keys;
}

template <class K>
const std::vector<K>& Keys(std::size_t n) {
  static std::map<std::size_t, std::vector<K>> cache;
  auto it = cache.find(n);
  if (it == cache.end()) it = cache.emplace(n, MakeKeys(n, static_cast<K*>(nullptr))).first;
  return it->second;
}

template <class K>
const std::vector<K>& LookupOrder(std::size_t n) {
  static std::map<std::size_t, std::vector<K>> cache;
  auto it = cache.find(n);
  if (it == cache.end()) {
    std::vector<K> keys = Keys<K>(n);
    std::shuffle(keys.begin(), keys.end(), std::mt19937_64(n + 1));
    it = cache.emplace(n, std::move(keys)).first;
  }
  return it->second;
}

template <class K>
struct TableOf;
template <>
struct TableOf<IntegerKey> {
  static auto Make(std::int32_t buckets) { return std::make_unique<TcvTable>(ioNone, ioNone, buckets); }
};
template <>
struct TableOf<GUID> {
  static auto Make(std::int32_t buckets) { return std::make_unique<TcvGUIDTable>(ioNone, buckets); }
};
template <>
struct TableOf<WideString> {
  static auto Make(std::int32_t buckets) { return std::make_unique<TcvWideStringTable>(ioNone, buckets); }
};

// The two contenders behind one small face.
template <class K>
class Tcv {
 public:
  using Key = K;
  Tcv(std::size_t expected, bool presize)
      : table_(TableOf<K>::Make(presize ? static_cast<std::int32_t>(2 * expected + 1) : 11)) {}
  void Put(const K& k, void* v) { table_->SetValue(k, v); }
  void* Get(const K& k) const { return table_->GetValue(k); }
  template <class F>
  void ForEach(F f) const {
    auto it = table_->GetIterator(imValue);
    while (it->HasNext()) f(it->Next());
  }

 private:
  decltype(TableOf<K>::Make(1)) table_;
};

template <class K>
class Std {
 public:
  using Key = K;
  Std(std::size_t expected, bool presize) {
    if (presize) map_.reserve(expected);
  }
  void Put(const K& k, void* v) { map_[k] = v; }
  void* Get(const K& k) const {
    auto it = map_.find(k);
    return it == map_.end() ? nullptr : it->second;
  }
  template <class F>
  void ForEach(F f) const {
    for (const auto& [k, v] : map_) f(v);
  }

 private:
  std::unordered_map<K, void*> map_;
};

using Tcv_Integer = Tcv<IntegerKey>;
using Std_Integer = Std<IntegerKey>;
using Tcv_GUID = Tcv<GUID>;
using Std_GUID = Std<GUID>;
using Tcv_UTF16 = Tcv<WideString>;
using Std_UTF16 = Std<WideString>;

void* ValueOf(std::size_t i) { return reinterpret_cast<void*>(i + 1); }

template <class C>
void Fill(C& c, std::size_t n) {
  const auto& keys = Keys<typename C::Key>(n);
  for (std::size_t i = 0; i < n; ++i) c.Put(keys[i], ValueOf(i));
}

template <class C, bool Presize>
void InsertKeys(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  Keys<typename C::Key>(n);
  for (auto _ : state) {
    auto c = std::make_unique<C>(n, Presize);
    Fill(*c, n);
    benchmark::DoNotOptimize(c.get());
    state.PauseTiming();
    c.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}

template <class C>
void BM_Insert(benchmark::State& state) {
  InsertKeys<C, true>(state);
}

template <class C>
void BM_Rehash(benchmark::State& state) {
  InsertKeys<C, false>(state);
}

template <class C>
void BM_Find(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  C c(n, false);
  Fill(c, n);
  const auto& lookups = LookupOrder<typename C::Key>(n);
  for (auto _ : state)
    for (const auto& k : lookups) benchmark::DoNotOptimize(c.Get(k));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}

template <class C>
void BM_Iterate(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  C c(n, false);
  Fill(c, n);
  for (auto _ : state) c.ForEach([](void* v) { benchmark::DoNotOptimize(v); });
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}

// 1e3 to 1e6 entries, each size measured briefly.
void Sizes(benchmark::internal::Benchmark* b) {
  b->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMicrosecond)->MinTime(0.05);
}

#define PW_BENCH_ALL(op)                               \
  BENCHMARK_TEMPLATE(op, Tcv_Integer)->Apply(Sizes);   \
  BENCHMARK_TEMPLATE(op, Std_Integer)->Apply(Sizes);   \
  BENCHMARK_TEMPLATE(op, Tcv_GUID)->Apply(Sizes);      \
  BENCHMARK_TEMPLATE(op, Std_GUID)->Apply(Sizes);      \
  BENCHMARK_TEMPLATE(op, Tcv_UTF16)->Apply(Sizes);     \
  BENCHMARK_TEMPLATE(op, Std_UTF16)->Apply(Sizes)

PW_BENCH_ALL(BM_Insert);
PW_BENCH_ALL(BM_Rehash);
PW_BENCH_ALL(BM_Find);
PW_BENCH_ALL(BM_Iterate);

}  // namespace
}  // namespace pw

BENCHMARK_MAIN();
