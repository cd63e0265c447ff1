// The runtime's TCollection: an ordered list of items of one class that the collection owns.
//
// An item made with a collection joins it at the end and gets the next ID (IDs are never
// reused in a collection); an item that is destroyed leaves its collection, and the collection
// frees its items when it is destroyed or cleared. Changes are reported through Update (the
// item, or nil for the whole collection) unless an update bracket is open; the bracket's end
// reports once. Items(i) raises EListError "List index out of bounds (i)" outside
// 0 .. Count - 1. Assign from another collection rebuilds the items and assigns each.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/rtl/persistent.h"

namespace pw {

class TCollection;

class TCollectionItem : public TPersistent {
 public:
  explicit TCollectionItem(TCollection* collection);
  ~TCollectionItem() override;

  WideString ClassName() const override { return u"TCollectionItem"; }
  TCollection* Collection() const { return collection_; }
  // Moves the item to another collection (nil: none).
  void SetCollection(TCollection* collection);
  std::int32_t ID() const { return id_; }
  std::int32_t Index() const;
  // Moves the item to `index` (clamped to the collection).
  void SetIndex(std::int32_t index);
  // The name shown for the item; the class name unless a derived class names it.
  virtual WideString DisplayName() const { return ClassName(); }

 protected:
  // Reports a change of this item (allItems: of the whole collection).
  void Changed(bool allItems);

 private:
  friend class TCollection;
  TCollection* collection_ = nullptr;
  std::int32_t id_ = 0;
};

class TCollection : public TPersistent {
 public:
  // Makes a new item inside the collection (its constructor joins it).
  using ItemFactory = std::function<TCollectionItem*(TCollection*)>;

  explicit TCollection(ItemFactory factory);
  ~TCollection() override;

  WideString ClassName() const override { return u"TCollection"; }
  void Assign(TPersistent* source) override;

  TCollectionItem* Add();
  // A new item at `index` (0 .. Count).
  TCollectionItem* Insert(std::int32_t index);
  void Delete(std::int32_t index);
  void Clear();
  std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
  TCollectionItem* Items(std::int32_t index) const;
  TCollectionItem* FindItemID(std::int32_t id) const;
  std::int32_t IndexOf(const TCollectionItem* item) const;

  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  std::int32_t UpdateCount() const { return updateCount_; }

 protected:
  // A change of `item` (nil: of the collection), outside update brackets.
  virtual void Update(TCollectionItem* /*item*/) {}
  void Changed();

 private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* item);
  void RemoveItem(TCollectionItem* item);

  ItemFactory factory_;
  std::vector<TCollectionItem*> items_;
  std::int32_t nextId_ = 0;
  std::int32_t updateCount_ = 0;
};

}  // namespace pw
