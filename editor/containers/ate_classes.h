// The editor's general containers: a sorted pointer list with an overridable order
// (TateSortedList), a growable array of fixed-size records (TateRecordList), a hash table from
// wide strings to 32-bit values (TateWideStringTable), a sorted 8-bit string list with fast
// keyword look-up (TFastStringList) and a list of subscribed handlers (TateNotifierList).
// User-interface thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/utils/ate_utils.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/collection.h"
#include "platform/rtl/rtl.h"

namespace pw::editor {

class TateSortedList : public TObject {
 public:
  TateSortedList() = default;
  std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
  // Raises EListError "List index out of bounds (%d)" outside 0..count-1.
  void* Get(std::int32_t index) const;
  std::int32_t IndexOf(void* item) const;
  // Sorted: placed by order (duplicates by `Duplicates`: 0 answer the found index, 1 insert
  // beside the equal items, 2 raise EListError); unsorted: appended.
  std::int32_t Add(void* item);
  bool Find(void* item, std::int32_t& index) const;
  // In a sorted list the same as Add (the index is ignored).
  void Insert(std::int32_t index, void* item);
  void Delete(std::int32_t index);
  void Clear() { items_.clear(); }

  bool Sorted = true;
  std::uint8_t Duplicates = 0;

 protected:
  virtual std::int32_t Compare(void* item1, void* item2) const;
  virtual std::int32_t CompareKey(void* item, void* key) const;

 private:
  std::vector<void*> items_;
};

class TateRecordList : public TObject {
 public:
  explicit TateRecordList(std::int32_t recordSize);
  ~TateRecordList() override { Clear(); }
  // A copy of `rec` (record-size bytes), or a zero-filled record for nil; answers its index.
  std::int32_t Add(const void* rec);
  // The address of record Index; Index = count is accepted (the place of the next record).
  void* GetItem(std::int32_t index);
  void SetCapacity(std::int32_t n);
  void SetCount(std::int32_t n);
  std::int32_t Count() const { return count_; }
  std::int32_t Capacity() const { return capacity_; }
  virtual void Clear();

 protected:
  virtual void Grow();
  [[noreturn]] virtual void Error(std::int32_t index);

 private:
  std::int32_t count_ = 0;
  std::int32_t capacity_ = 0;
  std::int32_t recordSize_;
  std::vector<std::uint8_t> data_;
};

class TateWideStringTable : public TObject {
 public:
  explicit TateWideStringTable(std::int32_t size);
  ~TateWideStringTable() override { Clear(); }
  // The value stored under `key`, 0 when absent (also in a table of 0 buckets).
  std::int32_t GetValue(WideStringView key) const;
  void SetValue(WideStringView key, std::int32_t value);
  void Clear();
  std::int32_t Count() const { return count_; }
  std::int32_t BucketCount() const { return static_cast<std::int32_t>(buckets_.size()); }
  std::int32_t Threshold() const { return threshold_; }

 private:
  struct Node {
    WideString Key;
    std::int32_t Value = 0;
    Node* Next = nullptr;
  };
  static std::uint32_t Hash(WideStringView key);
  void Rehash();

  std::vector<Node*> buckets_;
  std::int32_t count_ = 0;
  std::int32_t threshold_ = 0;
  float loadFactor_ = 0.5f;
};

// A sorted list of 8-bit strings (each with an object) whose look-up compares a bounded number
// of characters, or, with PartialMatch, the longest item that prefixes the text.
class TFastStringList : public TObject {
 public:
  explicit TFastStringList(bool caseSensitive);
  std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
  const std::string& Get(std::int32_t index) const;
  TObject* GetObject(std::int32_t index) const;
  std::int32_t Add(std::string s, TObject* object = nullptr);
  virtual bool Find(std::string_view s, std::int32_t& index) const;
  // `p` points at `len` characters (followed by a terminator when PartialMatch is used).
  bool FindText(const char* p, std::int32_t len, std::int32_t& index) const;
  // The bounded comparison of item Index with the longest word-bounded prefix of P that the
  // item can match; 0 sets Len to the matched length.
  std::int32_t MatchPrefix(std::int32_t index, const char* p, std::int32_t& len) const;
  virtual void Sort();

  bool CaseSensitive;
  bool PartialMatch = false;
  bool AcceptDuplicates = false;

 private:
  int CompareItems(const std::string& a, const std::string& b) const;
  int Bounded(const std::string& s, const char* p, std::int32_t n) const;
  std::vector<std::pair<std::string, TObject*>> items_;
};

// A subscribed handler: a function with the object it belongs to. Two handlers are equal when
// code and object are.
struct TateNotifyHandler {
  void* Object = nullptr;
  void (*Code)(void* object, void* a, std::intptr_t b) = nullptr;
  friend bool operator==(const TateNotifyHandler&, const TateNotifyHandler&) = default;
};

class TateNotifierListItem : public TCollectionItem {
 public:
  using TCollectionItem::TCollectionItem;
  WideString ClassName() const override { return u"TateNotifierListItem"; }
  TateNotifyHandler Handler;
};

// A collection of handlers (TateNotifierListItem).
class TateNotifierList : public TCollection {
 public:
  TateNotifierList();
  WideString ClassName() const override { return u"TateNotifierList"; }
  // Replaces an equal handler, then adds.
  void AddNotifier(const TateNotifyHandler& handler);
  void RemoveNotifier(const TateNotifyHandler& handler);
  // Calls every handler, first to last; a handler may unsubscribe itself while it runs.
  void Notify(void* a, std::intptr_t b);

 private:
  std::int32_t Find(const TateNotifyHandler& handler) const;
};

bool WideCharInString(WideStringView s, char16_t ch);
WideString CharSetToWideString(const TCharSet& set);

}  // namespace pw::editor
