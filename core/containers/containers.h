// The core containers: TcvList (a growable array of pointer-sized items that can own what it
// holds) and TcvStack on top of it. No container locks: one thread at a time, or under a lock
// of the owner.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/com/comptr.h"
#include "platform/rtl/rtl.h"
#include "core/containers/simple_iterator.h"

namespace pw {

// Ownership set of a container, fixed at construction.
using TcvItemOwnership = std::uint8_t;
inline constexpr TcvItemOwnership ioOwned = 1;
inline constexpr TcvItemOwnership ioInterface = 2;
inline constexpr TcvItemOwnership ioObject = 4;
inline constexpr TcvItemOwnership ioNone = 0;
inline constexpr TcvItemOwnership ioInterfaces = ioInterface;           // 2: interface references
inline constexpr TcvItemOwnership ioOwnedObjects = ioOwned | ioObject;  // 5: owned objects

// Releases an item that leaves a container with ownership `flags`: first `Release` under
// ioInterface, then `Free` when both ioOwned and ioObject are set. Nil is ignored.
void ReleaseItem(TcvItemOwnership flags, void* item);
// Takes the reference that storing an item under ioInterface implies.
void AddRefItem(TcvItemOwnership flags, void* item);

// Items are pointer-sized: untyped pointers, IUnknown-derived interface pointers (stored as
// the interface pointer itself) or TObject pointers of owned objects.
class TcvList : public TObject {
 public:
  TcvList(TcvItemOwnership flags, std::int32_t capacity);
  ~TcvList() override;

  std::int32_t Count() const { return count_; }
  std::int32_t Capacity() const { return static_cast<std::int32_t>(items_.size()); }
  TcvItemOwnership Flags() const { return flags_; }

  // No range check: the index must lie in 0 .. Count - 1.
  void* Item(std::int32_t index) const { return items_[static_cast<std::size_t>(index)]; }
  void SetItem(std::int32_t index, void* item);

  std::int32_t Add(void* item);
  void Delete(std::int32_t index);
  void Clear();
  ComPtr<IcvSimpleIterator> GetIterator(bool reverse = false);

 protected:
  void Grow();

 private:
  std::vector<void*> items_;
  std::int32_t count_ = 0;
  TcvItemOwnership flags_;
};

class TcvStack : public TcvList {
 public:
  using TcvList::TcvList;
  std::int32_t Push(void* item) { return Add(item); }
  // Not allowed on an empty stack.
  void* Peek() const { return Item(Count() - 1); }
  void Pop() { Delete(Count() - 1); }
};

// Helpers for typed access to interface and object items.
template <class T>
T* ItemAs(void* item) {
  return static_cast<T*>(item);
}

}  // namespace pw
