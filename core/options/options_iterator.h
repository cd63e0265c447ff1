// The walk that the node and property iterators share: a look-ahead over an iterator of the
// elements' table that passes over the entries that are not live. Once the elements changed
// after the iterator was made (their generation moved), every call raises "The iterator is used
// incorrectly"; so does any failure inside Next.
#pragma once

#include "core/options/options_tree.h"

namespace pw {

// Walk names the elements and what their table's iterator yields:
//   using Elements = ...;                                          // a node or a property table
//   using Item = ...;
//   static ComPtr<IcvSimpleIterator> Source(Elements* elements);  // nil: nothing to walk
//   static bool Live(const Item* item);
template <class Intf, class Walk>
class TcvOptionsIterator : public Implements<TcvInterfacedObject, Intf> {
 public:
  using Elements = typename Walk::Elements;
  using Item = typename Walk::Item;

  void Skip(std::int32_t count) override {
    Check();
    for (std::int32_t i = 0; i < count && lookAhead_; ++i) Advance();
  }
  WordBool HasNext() override {
    Check();
    return ToWordBool(lookAhead_ != nullptr);
  }
  void Reset() override {
    Check();
    Restart();
  }

 protected:
  // Holder, an interface of the elements, keeps them and their tree alive.
  TcvOptionsIterator(Elements* elements, IUnknown* holder)
      : elements_(elements), holder_(holder), generation_(elements->ChangeCount()) {
    Restart();
  }

  // Next's frame: the walk moves past the look-ahead item, then Deliver gets it.
  template <class Deliver>
  void TakeNext(Deliver&& deliver) {
    try {
      Check();
      if (!lookAhead_) throw EcvOptionsException(kOptIteratorMisuse);
      Item* current = lookAhead_;
      Advance();
      deliver(current);
    } catch (const EcvOptionsException&) {
      throw;
    } catch (...) {
      throw EcvOptionsException(kOptIteratorMisuse);
    }
  }

 private:
  void Check() const {
    if (elements_->ChangeCount() != generation_) throw EcvOptionsException(kOptIteratorMisuse);
  }
  void Restart() {
    source_ = Walk::Source(elements_);
    Advance();
  }
  void Advance() {
    lookAhead_ = nullptr;
    while (source_ && source_->HasNext()) {
      auto* item = static_cast<Item*>(source_->Next());
      if (Walk::Live(item)) {
        lookAhead_ = item;
        return;
      }
    }
  }

  Elements* elements_;
  ComPtr<IUnknown> holder_;
  std::int32_t generation_;
  ComPtr<IcvSimpleIterator> source_;
  Item* lookAhead_ = nullptr;
};

}  // namespace pw
