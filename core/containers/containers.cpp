#include "core/containers/containers.h"

#include "core/com/interfaced_object.h"

namespace pw {

void AddRefItem(TcvItemOwnership flags, void* item) {
  if (item && (flags & ioInterface)) static_cast<IUnknown*>(item)->AddRef();
}

void ReleaseItem(TcvItemOwnership flags, void* item) {
  if (!item) return;
  if (flags & ioInterface) static_cast<IUnknown*>(item)->Release();
  if ((flags & ioOwned) && (flags & ioObject)) FreeObject(static_cast<TObject*>(item));
}

namespace {

// Walks a list from index 0 upwards. The list is not reference-counted: it must outlive the
// iterator.
class TcvListIterator final : public Implements<TcvInterfacedObject, IcvSimpleIterator> {
 public:
  explicit TcvListIterator(TcvList* list) : list_(list) {}
  bool HasNext() override { return index_ != list_->Count(); }
  void* Next() override {
    if (list_->Count() <= index_) throw EpfException(kNoSuchElement);
    return list_->Item(index_++);
  }
  void Reset() override { index_ = 0; }

 private:
  TcvList* list_;
  std::int32_t index_ = 0;
};

class TcvListReverseIterator final : public Implements<TcvInterfacedObject, IcvSimpleIterator> {
 public:
  explicit TcvListReverseIterator(TcvList* list) : list_(list), index_(list->Count() - 1) {}
  bool HasNext() override { return index_ >= 0; }
  void* Next() override {
    if (index_ < 0) throw EpfException(kNoSuchElement);
    return list_->Item(index_--);
  }
  void Reset() override { index_ = list_->Count() - 1; }

 private:
  TcvList* list_;
  std::int32_t index_;
};

}  // namespace

TcvList::TcvList(TcvItemOwnership flags, std::int32_t capacity)
    : items_(static_cast<std::size_t>(capacity > 0 ? capacity : 0), nullptr), flags_(flags) {}

TcvList::~TcvList() { Clear(); }

void TcvList::SetItem(std::int32_t index, void* item) {
  void*& slot = items_[static_cast<std::size_t>(index)];
  if (slot == item) return;  // storing what is already there must not free it
  AddRefItem(flags_, item);
  void* old = slot;
  slot = item;
  ReleaseItem(flags_, old);
}

void TcvList::Grow() { items_.resize(items_.empty() ? 10 : items_.size() * 2, nullptr); }

std::int32_t TcvList::Add(void* item) {
  if (count_ == Capacity()) Grow();
  AddRefItem(flags_, item);
  items_[static_cast<std::size_t>(count_)] = item;
  return count_++;
}

void TcvList::Delete(std::int32_t index) {
  auto i = static_cast<std::size_t>(index);
  void* old = items_[i];
  for (std::size_t k = i; k + 1 < static_cast<std::size_t>(count_); ++k) items_[k] = items_[k + 1];
  --count_;
  items_[static_cast<std::size_t>(count_)] = nullptr;
  ReleaseItem(flags_, old);
}

void TcvList::Clear() {
  while (count_ > 0) Delete(count_ - 1);
}

ComPtr<IcvSimpleIterator> TcvList::GetIterator(bool reverse) {
  if (reverse) return MakeObject<TcvListReverseIterator>(this);
  return MakeObject<TcvListIterator>(this);
}

}  // namespace pw
