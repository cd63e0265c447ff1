#include "core/containers/hash_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "tests/core/containers/test_objects.h"

namespace pw {
namespace {

using test::TCounted;
using test::TRecorded;

void* P(std::intptr_t v) { return reinterpret_cast<void*>(v); }

// An independent model of a chained table's iteration order: chains as vectors with the head in
// front, the same growth rule, and the order "buckets from the highest index down, each chain
// from its head".
template <class Key>
class OrderModel {
 public:
  OrderModel(std::int32_t buckets, std::uint32_t (*hash)(const Key&)) : chains_(buckets), hash_(hash) {}

  void Insert(const Key& key) {
    if (Contains(key)) return;
    if (count_ >= static_cast<std::int32_t>(chains_.size() / 2)) {
      std::vector<std::vector<Key>> fresh(chains_.size() * 2 + 1);
      for (std::size_t b = chains_.size(); b-- > 0;)
        for (const Key& k : chains_[b]) fresh[BucketOf(k, fresh.size())].insert(fresh[BucketOf(k, fresh.size())].begin(), k);
      chains_ = std::move(fresh);
    }
    auto& chain = chains_[BucketOf(key, chains_.size())];
    chain.insert(chain.begin(), key);
    ++count_;
  }
  void Erase(const Key& key) {
    auto& chain = chains_[BucketOf(key, chains_.size())];
    auto it = std::find(chain.begin(), chain.end(), key);
    if (it == chain.end()) return;
    chain.erase(it);
    --count_;
  }
  bool Contains(const Key& key) const {
    const auto& chain = chains_[BucketOf(key, chains_.size())];
    return std::find(chain.begin(), chain.end(), key) != chain.end();
  }
  std::vector<Key> Order() const {
    std::vector<Key> out;
    for (std::size_t b = chains_.size(); b-- > 0;) out.insert(out.end(), chains_[b].begin(), chains_[b].end());
    return out;
  }
  std::int32_t BucketCount() const { return static_cast<std::int32_t>(chains_.size()); }

 private:
  std::size_t BucketOf(const Key& key, std::size_t n) const { return (hash_(key) & 0x7FFFFFFFu) % n; }

  std::vector<std::vector<Key>> chains_;
  std::uint32_t (*hash_)(const Key&);
  std::int32_t count_ = 0;
};

std::uint32_t ModelIntHash(const std::intptr_t& k) { return static_cast<std::uint32_t>(static_cast<std::uintptr_t>(k)); }
std::uint32_t ModelStringHash(const WideString& k) {
  std::uint64_t h = 0;
  for (char16_t c : k) h = (h * 31 + c) % 0x100000000ull;
  return static_cast<std::uint32_t>(h);
}
std::uint32_t ModelGuidHash(const GUID& k) { return k.Data1; }

// Key access for each table: what mode 0 yields, turned back into a key.
std::intptr_t KeyFromIterator(const TcvTable&, void* p) { return reinterpret_cast<std::intptr_t>(p); }
WideString KeyFromIterator(const TcvWideStringTable&, void* p) { return *static_cast<const WideString*>(p); }
GUID KeyFromIterator(const TcvGUIDTable&, void* p) { return *static_cast<const GUID*>(p); }

// Runs inserts, replacements and (where the table has them) removals against both the table and
// the model, and compares every iteration mode with the model's order.
template <class Table, class Key>
void CheckAgainstModel(Table& table, OrderModel<Key>& model, const std::vector<Key>& keys, bool remove) {
  std::map<Key, std::intptr_t> values;
  std::intptr_t next = 1;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const Key& k = keys[i];
    table.SetValue(k, P(next));
    values[k] = next++;
    model.Insert(k);
    if constexpr (!std::is_same_v<Table, TcvGUIDTable>) {
      if (remove && i % 7 == 3) {
        const Key& gone = keys[i / 2];
        table.Remove(gone);
        values.erase(gone);
        model.Erase(gone);
      }
    }
  }
  ASSERT_EQ(table.BucketCount(), model.BucketCount());
  ASSERT_EQ(table.Count(), static_cast<std::int32_t>(values.size()));

  const std::vector<Key> order = model.Order();
  std::vector<void*> got, gotValues, gotEntries;
  table.GetValueArray(imKey, got);
  table.GetValueArray(imValue, gotValues);
  table.GetValueArray(imEntry, gotEntries);
  ASSERT_EQ(got.size(), order.size());
  ASSERT_EQ(gotValues.size(), order.size());
  ASSERT_EQ(gotEntries.size(), order.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(KeyFromIterator(table, got[i]), order[i]) << "position " << i;
    EXPECT_EQ(gotValues[i], P(values[order[i]])) << "position " << i;
    // An entry starts with its key.
    EXPECT_EQ(*static_cast<const Key*>(gotEntries[i]), order[i]);
    EXPECT_EQ(table.GetValue(order[i]), P(values[order[i]]));
  }
}

TEST(TcvHashTables, IterationOrderFollowsBucketsDownAndChainsFromTheHead) {
  std::mt19937_64 rng(12345);

  {
    SCOPED_TRACE("integer keys");
    std::vector<std::intptr_t> keys;
    for (int i = 0; i < 300; ++i) keys.push_back(static_cast<std::intptr_t>(rng()));
    for (int i = 0; i < 40; ++i) keys.push_back(i * 11 + 3);  // one long chain in an 11-bucket table
    for (int i = 0; i < 30; ++i) keys.push_back(keys[static_cast<std::size_t>(rng() % keys.size())]);  // replacements
    TcvTable table(ioNone, ioNone, 11);
    OrderModel<std::intptr_t> model(11, ModelIntHash);
    CheckAgainstModel(table, model, keys, true);
  }
  {
    SCOPED_TRACE("wide-string keys");
    std::vector<WideString> keys{u"", u"abc", u"ABC", u"Abc"};
    for (int i = 0; i < 300; ++i) {
      WideString s(rng() % 13, u'\0');
      for (char16_t& c : s) c = static_cast<char16_t>(rng() % 3 ? u'a' + rng() % 26 : rng() % 0x10000);
      keys.push_back(s);
    }
    for (int i = 0; i < 30; ++i) keys.push_back(keys[static_cast<std::size_t>(rng() % keys.size())]);
    TcvWideStringTable table(ioNone, 11);
    OrderModel<WideString> model(11, ModelStringHash);
    CheckAgainstModel(table, model, keys, true);
  }
  {
    SCOPED_TRACE("GUID keys");
    std::vector<GUID> keys;
    for (int i = 0; i < 300; ++i) {
      GUID g;
      g.Data1 = static_cast<std::uint32_t>(i % 3 ? rng() : 0xDEADBEEF);  // a third share their Data1
      g.Data2 = static_cast<std::uint16_t>(rng());
      g.Data4[7] = static_cast<std::uint8_t>(i);
      keys.push_back(g);
    }
    for (int i = 0; i < 30; ++i) keys.push_back(keys[static_cast<std::size_t>(rng() % keys.size())]);
    TcvGUIDTable table(ioNone, 11);
    OrderModel<GUID> model(11, ModelGuidHash);
    CheckAgainstModel(table, model, keys, false);
  }
}

TEST(TcvWideStringTable, HashIsTimes31PlusCodeUnit) {
  EXPECT_EQ(TcvWideStringTable::Hash(u"abc"), 96354u);
  EXPECT_EQ(TcvWideStringTable::Hash(u""), 0u);
  // 32-bit wrap-around: 31^7 * 'z' alone overflows.
  EXPECT_EQ(TcvWideStringTable::Hash(u"zzzzzzzzzzzz"), ModelStringHash(u"zzzzzzzzzzzz"));

  // "abc" falls in bucket 96354 mod 11 = 5: between "2" (50 mod 11 = 6) and "0" (48 mod 11 = 4).
  TcvWideStringTable table(ioNone, 11);
  table.SetValue(u"0", P(1));
  table.SetValue(u"abc", P(2));
  table.SetValue(u"2", P(3));
  std::vector<void*> values;
  table.GetValueArray(imValue, values);
  EXPECT_EQ(values, (std::vector<void*>{P(3), P(2), P(1)}));
}

TEST(TcvWideStringTable, KeysDifferingInCaseAreDifferentKeys) {
  TcvWideStringTable table(ioNone, 11);
  table.SetValue(u"Key", P(1));
  table.SetValue(u"key", P(2));
  EXPECT_EQ(table.Count(), 2);
  EXPECT_EQ(table.GetValue(u"Key"), P(1));
  EXPECT_EQ(table.GetValue(u"key"), P(2));
  EXPECT_FALSE(table.Exists(u"KEY"));
}

TEST(TcvGUIDTable, KeysSharingData1AreDifferentKeys) {
  constexpr GUID a = MakeGuid("{11111111-0000-0000-0000-000000000001}");
  constexpr GUID b = MakeGuid("{11111111-0000-0000-0000-000000000002}");
  TcvGUIDTable table(ioNone, 11);
  table.SetValue(a, P(1));
  table.SetValue(b, P(2));
  EXPECT_EQ(table.Count(), 2);
  EXPECT_EQ(table.GetValue(a), P(1));
  EXPECT_EQ(table.GetValue(b), P(2));
  // Same bucket: the later one is the chain's head and comes first.
  std::vector<void*> keys;
  table.GetValueArray(imKey, keys);
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(*static_cast<const GUID*>(keys[0]), b);
}

TEST(TcvTable, RehashesToTwiceThePlusOneWhenAnInsertFindsTheCountAtHalf) {
  TcvTable table(ioNone, ioNone, 11);
  EXPECT_EQ(table.Threshold(), 5);
  for (std::intptr_t k = 1; k <= 5; ++k) table.SetValue(k, P(k));
  EXPECT_EQ(table.BucketCount(), 11);
  // Replacing at Count = Threshold never rehashes.
  for (std::intptr_t k = 1; k <= 5; ++k) table.SetValue(k, P(k + 100));
  EXPECT_EQ(table.BucketCount(), 11);
  table.SetValue(6, P(6));  // the sixth distinct key
  EXPECT_EQ(table.BucketCount(), 23);
  EXPECT_EQ(table.Threshold(), 11);
  for (std::intptr_t k = 7; k <= 11; ++k) table.SetValue(k, P(k));
  EXPECT_EQ(table.BucketCount(), 23);
  table.SetValue(12, P(12));
  EXPECT_EQ(table.BucketCount(), 47);
  EXPECT_EQ(table.Threshold(), 23);
  for (std::intptr_t k = 1; k <= 12; ++k) EXPECT_EQ(table.GetValue(k), P(k <= 5 ? k + 100 : k));

  // Clear keeps the bucket count; the table is usable again.
  table.Clear();
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(table.BucketCount(), 47);
  EXPECT_FALSE(table.Exists(1));
  table.SetValue(1, P(1));
  EXPECT_EQ(table.GetValue(1), P(1));
}

TEST(TcvTable, OneBucketGrowsAtTheFirstInsert) {
  TcvTable table(ioNone, ioNone, 1);
  EXPECT_EQ(table.Threshold(), 0);
  table.SetValue(7, P(7));
  EXPECT_EQ(table.BucketCount(), 3);
  EXPECT_EQ(table.GetValue(7), P(7));
}

TEST(TcvHashTables, RefuseABucketCountBelowOne) {
  for (std::int32_t n : {0, -1}) {
    EXPECT_THROW(TcvTable(ioNone, ioNone, n), EpfException);
    EXPECT_THROW(TcvWideStringTable(ioNone, n), EpfException);
    EXPECT_THROW(TcvGUIDTable(ioNone, n), EpfException);
  }
}

TEST(TcvTable, AbsentKeysAndStoredNilValues) {
  TcvTable table(ioNone, ioNone, 11);
  EXPECT_EQ(table.GetValue(42), nullptr);
  table.SetValue(42, nullptr);
  EXPECT_EQ(table.GetValue(42), nullptr);  // cannot be told from an absent key...
  EXPECT_TRUE(table.Exists(42));           // ...but Exists can
  EXPECT_FALSE(table.Exists(43));
  EXPECT_EQ(table.Extract(43), nullptr);
  table.Remove(43);
  EXPECT_EQ(table.Count(), 1);
}

// Values leave a table by replacement, Remove and Clear (released by the value flags, then handed
// to OnRemove), never by Extract, which gives the value to the caller.
template <class Table, class Key>
void CheckValueRemoval(Table& table, const Key& k1, const Key& k2, const Key& k3) {
  std::vector<int> freed;
  std::vector<void*> removed;
  table.OnRemove = [&](Table* t, void* value) {
    EXPECT_EQ(t, &table);
    // The ownership rules have run before the owner hears of it.
    EXPECT_FALSE(freed.empty());
    removed.push_back(value);
  };
  auto* a = new TRecorded(&freed, 1);
  auto* b = new TRecorded(&freed, 2);
  auto* c = new TRecorded(&freed, 3);
  auto* d = new TRecorded(&freed, 4);
  // The items' addresses, for comparing after the objects are gone.
  void* const ia = a->AsItem();
  void* const ib = b->AsItem();
  void* const ic = c->AsItem();
  void* const id = d->AsItem();

  table.SetValue(k1, ia);
  table.SetValue(k1, ia);  // the value already there: nothing happens
  EXPECT_TRUE(freed.empty());
  EXPECT_TRUE(removed.empty());

  table.SetValue(k1, ib);  // replacement: the old value goes
  EXPECT_EQ(freed, (std::vector<int>{1}));
  EXPECT_EQ(removed, (std::vector<void*>{ia}));

  table.SetValue(k2, ic);
  void* extracted = table.Extract(k2);  // neither freed nor reported
  EXPECT_EQ(extracted, ic);
  EXPECT_EQ(freed.size(), 1u);
  EXPECT_EQ(removed.size(), 1u);
  EXPECT_FALSE(table.Exists(k2));
  delete c;
  freed.pop_back();

  table.Remove(k1);
  EXPECT_EQ(freed, (std::vector<int>{1, 2}));
  EXPECT_EQ(removed.back(), ib);

  table.SetValue(k3, nullptr);
  table.Remove(k3);  // nil values are not reported
  EXPECT_EQ(removed.size(), 2u);

  table.SetValue(k3, id);
  table.Clear();
  EXPECT_EQ(freed, (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(removed.back(), id);
  EXPECT_EQ(removed.size(), 3u);
  table.OnRemove = nullptr;
}

TEST(TcvHashTables, ValuesLeaveByReplaceRemoveAndClearButNotByExtract) {
  {
    TcvTable table(ioNone, ioOwnedObjects, 11);
    CheckValueRemoval<TcvTable, std::intptr_t>(table, 1, 12, 23);  // one chain
  }
  {
    TcvWideStringTable table(ioOwnedObjects, 11);
    CheckValueRemoval<TcvWideStringTable, WideString>(table, u"one", u"two", u"three");
  }
}

TEST(TcvGUIDTable, ReplacedAndClearedValuesAreReleased) {
  int destroyed = 0;
  std::vector<void*> removed;
  constexpr GUID k = MakeGuid("{6E0E4C37-8C2B-4E47-9C7C-3F1A1F1D2A11}");
  {
    TcvGUIDTable table(ioInterfaces, 11);
    table.OnRemove = [&](TcvGUIDTable*, void* value) { removed.push_back(value); };
    auto a = MakeObject<TCounted>(&destroyed);
    auto b = MakeObject<TCounted>(&destroyed);
    table.SetValue(k, a->AsItem());
    EXPECT_EQ(a->RefCount(), 2);
    table.SetValue(k, a->AsItem());
    EXPECT_EQ(a->RefCount(), 2);
    table.SetValue(k, b->AsItem());
    EXPECT_EQ(a->RefCount(), 1);
    EXPECT_EQ(b->RefCount(), 2);
    EXPECT_EQ(removed, (std::vector<void*>{a->AsItem()}));
    a = nullptr;
    EXPECT_EQ(destroyed, 1);
    b = nullptr;  // the table keeps b alive
    EXPECT_EQ(destroyed, 1);
  }  // the destructor releases it
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(removed.size(), 2u);
}

TEST(TcvTable, KeyOwnershipTakesAndReleasesKeys) {
  int destroyed = 0;
  TcvTable table(ioInterfaces, ioNone, 11);
  auto a = MakeObject<TCounted>(&destroyed);
  auto b = MakeObject<TCounted>(&destroyed);
  const auto ka = reinterpret_cast<std::intptr_t>(a->AsItem());
  const auto kb = reinterpret_cast<std::intptr_t>(b->AsItem());
  table.SetValue(ka, P(1));
  table.SetValue(ka, P(2));  // replacing a value keeps the stored key and its one reference
  table.SetValue(kb, P(3));
  EXPECT_EQ(a->RefCount(), 2);
  EXPECT_EQ(b->RefCount(), 2);
  table.Remove(ka);
  EXPECT_EQ(a->RefCount(), 1);
  table.Clear();
  EXPECT_EQ(b->RefCount(), 1);
  EXPECT_EQ(destroyed, 0);
}

// The wide-string pool of the options tree overrides ValueRemoved; so does this one.
class TRemovalLog : public TcvWideStringTable {
 public:
  explicit TRemovalLog(std::vector<void*>* log) : TcvWideStringTable(ioNone, 11), log_(log) {}
  ~TRemovalLog() override { Clear(); }

 protected:
  void ValueRemoved(void* value) override {
    log_->push_back(value);
    TcvWideStringTable::ValueRemoved(value);
  }

 private:
  std::vector<void*>* log_;
};

TEST(TcvHashTables, DescendantsSeeEveryRemovedValue) {
  std::vector<void*> log;
  {
    TRemovalLog table(&log);
    table.SetValue(u"a", P(1));
    table.SetValue(u"a", P(2));
    table.SetValue(u"b", P(3));
    table.SetValue(u"c", P(4));
    EXPECT_EQ(table.Extract(u"b"), P(3));
    table.Remove(u"a");
    EXPECT_EQ(log, (std::vector<void*>{P(1), P(2)}));
  }
  EXPECT_EQ(log, (std::vector<void*>{P(1), P(2), P(4)}));
}

TEST(TcvHashTables, IteratorsStopWithNoSuchElementAndHasNextNeverRaises) {
  TcvWideStringTable table(ioNone, 11);
  table.SetValue(u"x", P(1));
  for (TcvTableIterateMode mode : {imKey, imValue, imEntry, TcvTableIterateMode{7}}) {
    auto it = table.GetIterator(mode);
    EXPECT_TRUE(it->HasNext());
    EXPECT_TRUE(it->HasNext());  // HasNext keeps the position
    void* item = it->Next();
    if (mode == imValue) {
      EXPECT_EQ(item, P(1));
    } else {  // the key, or the entry, which starts with the key
      EXPECT_EQ(*static_cast<const WideString*>(item), u"x");
    }
    EXPECT_FALSE(it->HasNext());
    try {
      it->Next();
      ADD_FAILURE() << "Next past the end did not raise";
    } catch (const EpfException& e) {
      EXPECT_EQ(e.Message(), u"No such element");
    }
    EXPECT_FALSE(it->HasNext());
    it->Reset();
    EXPECT_TRUE(it->HasNext());
  }
  TcvGUIDTable empty(ioNone, 11);
  auto it = empty.GetIterator(imKey);
  EXPECT_FALSE(it->HasNext());
  EXPECT_THROW(it->Next(), EpfException);
}

TEST(TcvHashTables, AnIteratorMadeBeforeARehashWalksTheOldArray) {
  TcvTable table(ioNone, ioNone, 11);
  for (std::intptr_t k = 1; k <= 5; ++k) table.SetValue(k, P(k));
  auto stale = table.GetIterator(imKey);
  table.SetValue(6, P(6));  // rehash to 23 buckets
  ASSERT_EQ(table.BucketCount(), 23);
  // The old array gave its entries up to the new one: the stale iterator finds none of them,
  // and its Reset stays within the 11 buckets it holds.
  EXPECT_FALSE(stale->HasNext());
  stale->Reset();
  EXPECT_FALSE(stale->HasNext());
  EXPECT_THROW(stale->Next(), EpfException);

  auto fresh = table.GetIterator(imKey);
  std::vector<std::intptr_t> keys;
  while (fresh->HasNext()) keys.push_back(reinterpret_cast<std::intptr_t>(fresh->Next()));
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::intptr_t>{1, 2, 3, 4, 5, 6}));
}

TEST(TcvHashTables, GetValueArrayReplacesTheArrayContents) {
  TcvTable table(ioNone, ioNone, 11);
  table.SetValue(3, P(30));
  table.SetValue(14, P(140));  // same bucket as 3, so it comes first
  table.SetValue(5, P(50));
  std::vector<void*> out{P(99), P(98), P(97), P(96)};
  table.GetValueArray(imKey, out);
  EXPECT_EQ(out, (std::vector<void*>{P(5), P(14), P(3)}));
  table.GetValueArray(imValue, out);
  EXPECT_EQ(out, (std::vector<void*>{P(50), P(140), P(30)}));
  table.Clear();
  table.GetValueArray(imValue, out);
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace pw
