#include "core/containers/hash_tables.h"

#include "core/com/interfaced_object.h"

namespace pw {

template <class Key, class Derived>
class TcvHashTable<Key, Derived>::Iterator final : public Implements<TcvInterfacedObject, IcvSimpleIterator> {
 public:
  Iterator(std::shared_ptr<Buckets> buckets, TcvItemOwnership mode)
      : buckets_(std::move(buckets)), mode_(mode), bucket_(static_cast<std::int32_t>(buckets_->size())) {}

  bool HasNext() override { return Advance() != nullptr; }

  void* Next() override {
    Entry* e = Advance();
    if (!e) throw EpfException(kNoSuchElement);
    current_ = e->next;
    if (mode_ == imValue) return e->value;
    if (mode_ == imKey) {
      if constexpr (std::is_same_v<Key, std::intptr_t>) return reinterpret_cast<void*>(e->key);
      else return &e->key;
    }
    return e;
  }

  // Back to the top of the iterator's own array (which a rehash may have left behind).
  void Reset() override {
    bucket_ = static_cast<std::int32_t>(buckets_->size());
    current_ = nullptr;
  }

 private:
  // Moves down the buckets until an entry is found; keeps the position.
  Entry* Advance() {
    while (!current_ && bucket_ > 0) current_ = (*buckets_)[static_cast<std::size_t>(--bucket_)];
    return current_;
  }

  std::shared_ptr<Buckets> buckets_;
  TcvTableIterateMode mode_;
  std::int32_t bucket_;
  Entry* current_ = nullptr;
};

namespace {
// A table needs at least one bucket: the bucket of a key is its hash modulo the bucket count.
std::size_t CheckedBucketCount(std::int32_t bucketCount) {
  if (bucketCount < 1) throw EpfException(u"The bucket count of a table must be at least 1");
  return static_cast<std::size_t>(bucketCount);
}
}  // namespace

template <class Key, class Derived>
TcvHashTable<Key, Derived>::TcvHashTable(TcvItemOwnership keyFlags, TcvItemOwnership valueFlags,
                                         std::int32_t bucketCount)
    : buckets_(std::make_shared<Buckets>(CheckedBucketCount(bucketCount), nullptr)),
      bucketCount_(bucketCount),
      threshold_(static_cast<std::int32_t>(static_cast<std::uint32_t>(bucketCount) >> 1)),
      keyFlags_(keyFlags),
      valueFlags_(valueFlags) {}

template <class Key, class Derived>
TcvHashTable<Key, Derived>::~TcvHashTable() {
  for (Entry*& head : *buckets_) {
    while (Entry* e = head) {
      head = e->next;
      delete e;
    }
  }
}

template <class Key, class Derived>
std::uint32_t TcvHashTable<Key, Derived>::Hash(KeyArg key) {
  if constexpr (std::is_same_v<Key, std::intptr_t>) {
    return static_cast<std::uint32_t>(key);
  } else if constexpr (std::is_same_v<Key, WideString>) {
    std::uint32_t h = 0;
    for (char16_t c : key) h = h * 31u + c;
    return h;
  } else {
    return key.Data1;
  }
}

template <class Key, class Derived>
typename TcvHashTable<Key, Derived>::Entry* TcvHashTable<Key, Derived>::Find(KeyArg key) const {
  for (Entry* e = (*buckets_)[static_cast<std::size_t>(BucketOf(key))]; e; e = e->next)
    if (e->key == key) return e;
  return nullptr;
}

template <class Key, class Derived>
void TcvHashTable<Key, Derived>::SetValue(KeyArg key, void* value) {
  if (Entry* e = Find(key)) {
    if (e->value == value) return;  // storing what is already there must not free it
    AddRefItem(valueFlags_, value);
    void* old = e->value;
    e->value = value;
    ValueRemoved(old);
    return;
  }
  if (count_ >= threshold_) Rehash();
  auto& head = (*buckets_)[static_cast<std::size_t>(BucketOf(key))];
  auto* e = new Entry{Key(key), value, head};
  if constexpr (std::is_same_v<Key, std::intptr_t>) AddRefItem(keyFlags_, reinterpret_cast<void*>(key));
  AddRefItem(valueFlags_, value);
  head = e;
  ++count_;
}

template <class Key, class Derived>
void TcvHashTable<Key, Derived>::Rehash() {
  const std::int32_t newCount = bucketCount_ * 2 + 1;
  auto fresh = std::make_shared<Buckets>(static_cast<std::size_t>(newCount), nullptr);
  Buckets& old = *buckets_;
  bucketCount_ = newCount;
  threshold_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(newCount) >> 1);
  // The entries move to the new array and the old one is left empty: an iterator made before
  // the rehash still holds the old array and so meets no moved entry a second time.
  for (std::size_t b = old.size(); b-- > 0;) {
    Entry* e = old[b];
    old[b] = nullptr;
    while (e) {
      Entry* next = e->next;
      auto& head = (*fresh)[static_cast<std::size_t>(BucketOf(e->key))];
      e->next = head;
      head = e;
      e = next;
    }
  }
  buckets_ = std::move(fresh);
}

template <class Key, class Derived>
void* TcvHashTable<Key, Derived>::ExtractEntry(KeyArg key, bool& found) {
  found = false;
  Entry** link = &(*buckets_)[static_cast<std::size_t>(BucketOf(key))];
  for (Entry* e = *link; e; link = &e->next, e = e->next) {
    if (e->key == key) {
      *link = e->next;
      void* value = e->value;
      delete e;
      --count_;
      found = true;
      return value;
    }
  }
  return nullptr;
}

template <class Key, class Derived>
void TcvHashTable<Key, Derived>::ReleaseKey(const Key& key) {
  if constexpr (std::is_same_v<Key, std::intptr_t>) ReleaseItem(keyFlags_, reinterpret_cast<void*>(key));
}

template <class Key, class Derived>
void TcvHashTable<Key, Derived>::ValueRemoved(void* value) {
  if (!value) return;
  ReleaseItem(valueFlags_, value);
  if (OnRemove) OnRemove(static_cast<Derived*>(this), value);
}

template <class Key, class Derived>
void TcvHashTable<Key, Derived>::Clear() {
  Buckets& b = *buckets_;
  for (std::size_t i = b.size(); i-- > 0;) {
    Entry* e = b[i];
    b[i] = nullptr;
    while (e) {
      Entry* next = e->next;
      --count_;
      ReleaseKey(e->key);
      ValueRemoved(e->value);
      delete e;
      e = next;
    }
  }
  count_ = 0;
}

template <class Key, class Derived>
ComPtr<IcvSimpleIterator> TcvHashTable<Key, Derived>::GetIterator(TcvTableIterateMode mode) {
  return MakeObject<Iterator>(buckets_, mode);
}

template <class Key, class Derived>
void TcvHashTable<Key, Derived>::GetValueArray(TcvTableIterateMode mode, std::vector<void*>& values) {
  values.clear();
  values.reserve(static_cast<std::size_t>(count_));
  auto it = GetIterator(mode);
  while (it->HasNext()) values.push_back(it->Next());
}

template class TcvHashTable<std::intptr_t, TcvTable>;
template class TcvHashTable<WideString, TcvWideStringTable>;
template class TcvHashTable<GUID, TcvGUIDTable>;

void TcvTable::Remove(std::intptr_t key) {
  bool found;
  void* value = ExtractEntry(key, found);
  if (!found) return;
  ReleaseKey(key);
  ValueRemoved(value);
}

void TcvWideStringTable::Remove(WideStringView key) {
  bool found;
  void* value = ExtractEntry(key, found);
  if (found) ValueRemoved(value);
}

}  // namespace pw
