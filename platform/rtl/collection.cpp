#include "platform/rtl/collection.h"

#include <algorithm>

#include "platform/rtl/strings.h"

namespace pw {

TCollectionItem::TCollectionItem(TCollection* collection) { SetCollection(collection); }

TCollectionItem::~TCollectionItem() {
  if (collection_) collection_->RemoveItem(this);
}

void TCollectionItem::SetCollection(TCollection* collection) {
  if (collection == collection_) return;
  if (collection_) collection_->RemoveItem(this);
  if (collection) collection->InsertItem(this);
}

std::int32_t TCollectionItem::Index() const { return collection_ ? collection_->IndexOf(this) : -1; }

void TCollectionItem::SetIndex(std::int32_t index) {
  if (!collection_) return;
  auto& items = collection_->items_;
  const std::int32_t from = Index();
  const std::int32_t to = std::clamp(index, 0, collection_->Count() - 1);
  if (from == to) return;
  items.erase(items.begin() + from);
  items.insert(items.begin() + to, this);
  Changed(true);
}

void TCollectionItem::Changed(bool allItems) {
  if (collection_ && collection_->updateCount_ == 0) collection_->Update(allItems ? nullptr : this);
}

TCollection::TCollection(ItemFactory factory) : factory_(std::move(factory)) {}

TCollection::~TCollection() {
  ++updateCount_;
  while (!items_.empty()) delete items_.back();
}

void TCollection::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TCollection*>(source);
  if (!other) return TPersistent::Assign(source);
  BeginUpdate();
  try {
    Clear();
    for (TCollectionItem* item : other->items_) Add()->Assign(item);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

TCollectionItem* TCollection::Add() { return Insert(Count()); }

TCollectionItem* TCollection::Insert(std::int32_t index) {
  if (index < 0 || index > Count()) throw EListError(u"List index out of bounds (" + IntToWide(index) + u")");
  if (!factory_) throw EListError(u"The collection makes no items");
  TCollectionItem* item = factory_(this);
  if (item->collection_ != this) item->SetCollection(this);
  const std::int32_t at = IndexOf(item);
  if (at != index) {
    items_.erase(items_.begin() + at);
    items_.insert(items_.begin() + index, item);
  }
  return item;
}

void TCollection::Delete(std::int32_t index) { delete Items(index); }

void TCollection::Clear() {
  if (items_.empty()) return;
  ++updateCount_;
  while (!items_.empty()) delete items_.back();
  --updateCount_;
  Changed();
}

TCollectionItem* TCollection::Items(std::int32_t index) const {
  if (index < 0 || index >= Count()) throw EListError(u"List index out of bounds (" + IntToWide(index) + u")");
  return items_[static_cast<std::size_t>(index)];
}

TCollectionItem* TCollection::FindItemID(std::int32_t id) const {
  for (TCollectionItem* item : items_)
    if (item->id_ == id) return item;
  return nullptr;
}

std::int32_t TCollection::IndexOf(const TCollectionItem* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<std::int32_t>(it - items_.begin());
}

void TCollection::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) Changed();
}

void TCollection::Changed() {
  if (updateCount_ == 0) Update(nullptr);
}

void TCollection::InsertItem(TCollectionItem* item) {
  items_.push_back(item);
  item->collection_ = this;
  item->id_ = nextId_++;
  Changed();
}

void TCollection::RemoveItem(TCollectionItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it != items_.end()) items_.erase(it);
  item->collection_ = nullptr;
  Changed();
}

}  // namespace pw
