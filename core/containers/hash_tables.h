// Chained hash tables keyed by integer (or pointer), wide string and GUID.
//
// Each table has a bucket count given at creation, rehashes to twice the buckets plus one when
// an insertion finds the count at half the buckets, and keeps the ownership rules of TcvList
// for its values (TcvTable also for its keys). Iteration visits the buckets from the highest
// index down and each chain from its head, so the most recently inserted entry of a bucket
// comes first. The order is part of the contract: callers rely on it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/containers/containers.h"
#include "platform/com/guid.h"

namespace pw {

// What a table iterator yields: 0 keys, 1 values, anything else (2 in use) entries.
using TcvTableIterateMode = std::uint8_t;
inline constexpr TcvTableIterateMode imKey = 0;
inline constexpr TcvTableIterateMode imValue = 1;
inline constexpr TcvTableIterateMode imEntry = 2;

template <class Key>
struct TcvTableEntry {
  Key key;  // first field: a pointer to the entry is a pointer to its key
  void* value;
  TcvTableEntry* next;
};

// The frame the three tables share. `Derived` is the concrete table, handed to OnRemove.
template <class Key, class Derived>
class TcvHashTable : public TObject {
 public:
  using Entry = TcvTableEntry<Key>;
  using KeyArg = std::conditional_t<std::is_same_v<Key, WideString>, WideStringView, const Key&>;
  // Called with the table and every value that left it (after the ownership rules ran).
  std::function<void(Derived* table, void* value)> OnRemove;

  bool Exists(KeyArg key) const { return Find(key) != nullptr; }
  // The value, or nil when the key is absent (Exists tells a stored nil apart).
  void* GetValue(KeyArg key) const {
    Entry* e = Find(key);
    return e ? e->value : nullptr;
  }
  // Replaces the value of a present key (the old value goes to ValueRemoved; storing the value
  // that is already there changes nothing) or inserts a new entry.
  void SetValue(KeyArg key, void* value);
  // Empties the table from the last bucket to the first; the bucket count stays.
  void Clear();

  ComPtr<IcvSimpleIterator> GetIterator(TcvTableIterateMode mode);
  // What an iterator in `mode` yields, in iteration order.
  void GetValueArray(TcvTableIterateMode mode, std::vector<void*>& values);

  std::int32_t Count() const { return count_; }
  std::int32_t BucketCount() const { return bucketCount_; }
  std::int32_t Threshold() const { return threshold_; }

  static std::uint32_t Hash(KeyArg key);

 protected:
  // A bucket count below 1 raises EpfException.
  TcvHashTable(TcvItemOwnership keyFlags, TcvItemOwnership valueFlags, std::int32_t bucketCount);
  // Frees the entries without the ownership rules; a table's own destructor calls Clear first
  // (and so must a descendant that overrides ValueRemoved, in its destructor).
  ~TcvHashTable() override;

  // Every value that leaves the table except through Extract: released by the value flags,
  // then handed to OnRemove.
  virtual void ValueRemoved(void* value);
  // Unlinks and frees the entry; returns its value without any ownership rule.
  void* ExtractEntry(KeyArg key, bool& found);
  void ReleaseKey(const Key& key);
  // The entry of a key, or nil. Entries keep their address until they leave the table.
  Entry* FindEntry(KeyArg key) const { return Find(key); }

 private:
  using Buckets = std::vector<Entry*>;
  class Iterator;

  Entry* Find(KeyArg key) const;
  std::int32_t BucketOf(KeyArg key) const {
    return static_cast<std::int32_t>((Hash(key) & 0x7FFFFFFFu) % static_cast<std::uint32_t>(bucketCount_));
  }
  void Rehash();

  // Shared with iterators, which keep the array they were made on.
  std::shared_ptr<Buckets> buckets_;
  std::int32_t count_ = 0;
  std::int32_t bucketCount_;
  std::int32_t threshold_;
  TcvItemOwnership keyFlags_, valueFlags_;
};

// Keys are 32-bit integers or pointers (pointer-sized here); the hash is the key itself.
class TcvTable : public TcvHashTable<std::intptr_t, TcvTable> {
 public:
  TcvTable(TcvItemOwnership keyFlags, TcvItemOwnership valueFlags, std::int32_t bucketCount)
      : TcvHashTable(keyFlags, valueFlags, bucketCount) {}
  ~TcvTable() override { Clear(); }
  // Mode 0 of an iterator yields the key itself.
  // Unlinks the key's entry and hands its value to the caller without any ownership rule and
  // without ValueRemoved (the key's own reference, under key ownership, goes with it); nil when
  // the key is absent.
  void* Extract(std::intptr_t key) {
    bool found;
    return ExtractEntry(key, found);
  }
  // Extract; then the key is released by the key flags and the value goes to ValueRemoved.
  void Remove(std::intptr_t key);
};

// Keys compare exactly (case-sensitive); the hash is h * 31 + c over the UTF-16 code units.
// Mode 0 of an iterator yields a pointer to the key (const WideString*).
class TcvWideStringTable : public TcvHashTable<WideString, TcvWideStringTable> {
 public:
  TcvWideStringTable(TcvItemOwnership valueFlags, std::int32_t bucketCount)
      : TcvHashTable(0, valueFlags, bucketCount) {}
  ~TcvWideStringTable() override { Clear(); }
  // As TcvTable::Extract.
  void* Extract(WideStringView key) {
    bool found;
    return ExtractEntry(key, found);
  }
  void Remove(WideStringView key);
};

// The hash is the GUID's Data1. Mode 0 of an iterator yields a pointer to the key (const GUID*).
// Single keys cannot be removed.
class TcvGUIDTable : public TcvHashTable<GUID, TcvGUIDTable> {
 public:
  TcvGUIDTable(TcvItemOwnership valueFlags, std::int32_t bucketCount) : TcvHashTable(0, valueFlags, bucketCount) {}
  ~TcvGUIDTable() override { Clear(); }
};

extern template class TcvHashTable<std::intptr_t, TcvTable>;
extern template class TcvHashTable<WideString, TcvWideStringTable>;
extern template class TcvHashTable<GUID, TcvGUIDTable>;

}  // namespace pw
