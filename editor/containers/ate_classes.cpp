#include "editor/containers/ate_classes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/rtl/rtl_lists.h"
#include "platform/rtl/strings.h"

namespace pw::editor {

// ---- TateSortedList

void* TateSortedList::Get(std::int32_t index) const {
  if (index < 0 || index >= Count()) throw EListError(ListIndexErrorMessage(index));
  return items_[static_cast<std::size_t>(index)];
}

std::int32_t TateSortedList::IndexOf(void* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<std::int32_t>(it - items_.begin());
}

std::int32_t TateSortedList::Compare(void* item1, void* item2) const {
  const auto a = reinterpret_cast<std::intptr_t>(item1), b = reinterpret_cast<std::intptr_t>(item2);
  return a < b ? -1 : a > b ? 1 : 0;
}

std::int32_t TateSortedList::CompareKey(void* item, void* key) const { return Compare(item, key); }

bool TateSortedList::Find(void* item, std::int32_t& index) const {
  if (!Sorted) {
    index = IndexOf(item);
    return index >= 0;
  }
  std::int32_t l = 0, h = Count() - 1;
  while (l <= h) {
    const std::int32_t i = l + (h - l) / 2;
    const std::int32_t c = CompareKey(items_[static_cast<std::size_t>(i)], item);
    if (c < 0) {
      l = i + 1;
    } else if (c == 0) {
      index = i;
      if (Duplicates == 1) {
        // Beside the equal items, after the last of them, so the list stays ordered.
        while (index < Count() && CompareKey(items_[static_cast<std::size_t>(index)], item) == 0) ++index;
      }
      return true;
    } else {
      h = i - 1;
    }
  }
  index = l;
  return false;
}

std::int32_t TateSortedList::Add(void* item) {
  if (!Sorted) {
    items_.push_back(item);
    return Count() - 1;
  }
  std::int32_t index = 0;
  if (Find(item, index)) {
    if (Duplicates == 0) return index;
    if (Duplicates == 2) throw EListError(u"Duplicates not allowed in this list");
  }
  items_.insert(items_.begin() + index, item);
  return index;
}

void TateSortedList::Insert(std::int32_t index, void* item) {
  if (Sorted) {
    Add(item);
    return;
  }
  if (index < 0 || index > Count()) throw EListError(ListIndexErrorMessage(index));
  items_.insert(items_.begin() + index, item);
}

void TateSortedList::Delete(std::int32_t index) {
  if (index < 0 || index >= Count()) throw EListError(ListIndexErrorMessage(index));
  items_.erase(items_.begin() + index);
}

// ---- TateRecordList

TateRecordList::TateRecordList(std::int32_t recordSize) : recordSize_(std::max(recordSize, 1)) {}

void TateRecordList::Grow() {
  const std::int32_t delta = capacity_ > 64 ? capacity_ / 4 : capacity_ > 8 ? 16 : 4;
  SetCapacity(capacity_ + delta);
}

void TateRecordList::Error(std::int32_t index) {
  throw Exception(u"List Index out of bounds Index: " + IntToWide(index));
}

std::int32_t TateRecordList::Add(const void* rec) {
  if (count_ == capacity_) Grow();
  std::uint8_t* dest = data_.data() + static_cast<std::size_t>(count_) * static_cast<std::size_t>(recordSize_);
  if (rec)
    std::memcpy(dest, rec, static_cast<std::size_t>(recordSize_));
  else
    std::memset(dest, 0, static_cast<std::size_t>(recordSize_));
  return count_++;
}

void* TateRecordList::GetItem(std::int32_t index) {
  // Index = count reaches the place of the next record; it must lie inside the capacity.
  if (index < 0 || index > count_ || index >= capacity_) Error(index);
  return data_.data() + static_cast<std::size_t>(index) * static_cast<std::size_t>(recordSize_);
}

void TateRecordList::SetCapacity(std::int32_t n) {
  n = std::max(n, 0);
  if (n == capacity_) return;
  data_.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(recordSize_));
  capacity_ = n;
  count_ = std::min(count_, n);
}

void TateRecordList::SetCount(std::int32_t n) {
  n = std::max(n, 0);
  if (n > capacity_) SetCapacity(n);
  count_ = n;
}

void TateRecordList::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  count_ = capacity_ = 0;
}

// ---- TateWideStringTable

TateWideStringTable::TateWideStringTable(std::int32_t size)
    : buckets_(static_cast<std::size_t>(std::max(size, 0)), nullptr),
      threshold_(static_cast<std::int32_t>(std::nearbyint(std::max(size, 0) * 0.5f))) {}

std::uint32_t TateWideStringTable::Hash(WideStringView key) {
  std::uint32_t h = 0;
  for (char16_t c : key) h = h * 31u + c;
  return h & 0x7FFFFFFFu;
}

std::int32_t TateWideStringTable::GetValue(WideStringView key) const {
  if (buckets_.empty()) return 0;
  for (Node* n = buckets_[Hash(key) % buckets_.size()]; n; n = n->Next)
    if (n->Key == key) return n->Value;
  return 0;
}

void TateWideStringTable::SetValue(WideStringView key, std::int32_t value) {
  if (!buckets_.empty())
    for (Node* n = buckets_[Hash(key) % buckets_.size()]; n; n = n->Next)
      if (n->Key == key) {
        n->Value = value;
        return;
      }
  if (count_ >= threshold_ || buckets_.empty()) Rehash();
  auto* node = new Node{WideString(key), value, nullptr};
  Node*& head = buckets_[Hash(key) % buckets_.size()];
  node->Next = head;
  head = node;
  ++count_;
}

void TateWideStringTable::Rehash() {
  const std::size_t old = buckets_.size();
  const std::size_t size = old == 0 ? 10 : 2 * old + 1;
  std::vector<Node*> fresh(size, nullptr);
  for (std::size_t b = old; b-- > 0;) {
    Node* n = buckets_[b];
    while (n) {
      Node* next = n->Next;
      Node*& head = fresh[Hash(n->Key) % size];
      n->Next = head;
      head = n;
      n = next;
    }
  }
  buckets_.swap(fresh);
  threshold_ = static_cast<std::int32_t>(std::nearbyint(static_cast<float>(size) * loadFactor_));
}

void TateWideStringTable::Clear() {
  for (std::size_t b = buckets_.size(); b-- > 0;) {
    Node* n = buckets_[b];
    while (n) {
      Node* next = n->Next;
      delete n;
      n = next;
    }
    buckets_[b] = nullptr;
  }
  count_ = 0;
}

// ---- TFastStringList

TFastStringList::TFastStringList(bool caseSensitive) : CaseSensitive(caseSensitive) {}

const std::string& TFastStringList::Get(std::int32_t index) const {
  if (index < 0 || index >= Count()) throw EStringListError(ListIndexErrorMessage(index));
  return items_[static_cast<std::size_t>(index)].first;
}

TObject* TFastStringList::GetObject(std::int32_t index) const {
  if (index < 0 || index >= Count()) throw EStringListError(ListIndexErrorMessage(index));
  return items_[static_cast<std::size_t>(index)].second;
}

int TFastStringList::CompareItems(const std::string& a, const std::string& b) const {
  return CaseSensitive ? a.compare(b) : CompareTextIgnoringCase(a, b);
}

int TFastStringList::Bounded(const std::string& s, const char* p, std::int32_t n) const {
  return CaseSensitive ? CompareStrBounded(s, p, n) : CompareTextBounded(s, p, n);
}

std::int32_t TFastStringList::Add(std::string s, TObject* object) {
  std::int32_t index = 0;
  if (Find(s, index) && !AcceptDuplicates) return index;
  items_.insert(items_.begin() + index, {std::move(s), object});
  return index;
}

bool TFastStringList::Find(std::string_view s, std::int32_t& index) const {
  const std::string copy(s);
  return FindText(copy.c_str(), static_cast<std::int32_t>(copy.size()), index);
}

std::int32_t TFastStringList::MatchPrefix(std::int32_t index, const char* p, std::int32_t& len) const {
  const std::string& item = items_[static_cast<std::size_t>(index)].first;
  const std::int32_t n = p ? static_cast<std::int32_t>(std::strlen(p)) : 0;
  std::int32_t k = std::max(len, std::min(n, static_cast<std::int32_t>(item.size())));
  if (n - 1 > k && WordChars.Contains(static_cast<std::uint8_t>(p[k]))) ++k;
  const int c = Bounded(item, p, k);
  if (c == 0) len = k;
  return c;
}

bool TFastStringList::FindText(const char* p, std::int32_t len, std::int32_t& index) const {
  bool result = false;
  std::int32_t l = 0, h = Count() - 1;
  while (l <= h) {
    const std::int32_t i = l + (h - l) / 2;
    int c;
    if (PartialMatch) {
      std::int32_t k = len;
      c = MatchPrefix(i, p, k);
    } else {
      c = Bounded(items_[static_cast<std::size_t>(i)].first, p, len);
    }
    if (c < 0) {
      l = i + 1;
    } else {
      h = i - 1;
      if (c == 0) {
        result = true;
        if (!AcceptDuplicates) l = i;
      }
    }
  }
  index = l;
  return result;
}

void TFastStringList::Sort() {
  std::stable_sort(items_.begin(), items_.end(),
                   [this](const auto& a, const auto& b) { return CompareItems(a.first, b.first) < 0; });
}

// ---- TateNotifierList

TateNotifierList::TateNotifierList()
    : TCollection([](TCollection* c) -> TCollectionItem* { return new TateNotifierListItem(c); }) {}

std::int32_t TateNotifierList::Find(const TateNotifyHandler& handler) const {
  for (std::int32_t i = 0; i < Count(); ++i)
    if (static_cast<TateNotifierListItem*>(Items(i))->Handler == handler) return i;
  return -1;
}

void TateNotifierList::AddNotifier(const TateNotifyHandler& handler) {
  RemoveNotifier(handler);
  static_cast<TateNotifierListItem*>(Add())->Handler = handler;
}

void TateNotifierList::RemoveNotifier(const TateNotifyHandler& handler) {
  const std::int32_t i = Find(handler);
  if (i >= 0) Delete(i);
}

void TateNotifierList::Notify(void* a, std::intptr_t b) {
  std::vector<TateNotifyHandler> snapshot;
  for (std::int32_t i = 0; i < Count(); ++i) snapshot.push_back(static_cast<TateNotifierListItem*>(Items(i))->Handler);
  for (const auto& h : snapshot)
    if (Find(h) >= 0 && h.Code) h.Code(h.Object, a, b);
}

bool WideCharInString(WideStringView s, char16_t ch) { return s.find(ch) != WideStringView::npos; }

WideString CharSetToWideString(const TCharSet& set) {
  WideString out;
  for (unsigned c = 0; c < 256; ++c)
    if (set.Contains(static_cast<std::uint8_t>(c))) out.push_back(static_cast<char16_t>(c));
  return out;
}

}  // namespace pw::editor
