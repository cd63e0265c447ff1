// Checked iterators: iterators over a collection that notice when the collection changed.
//
// The collection's owner makes the iterator with the collection's current generation and may
// then assign OnGetGeneration, a function that answers the current generation; the owner bumps
// its generation whenever the collection changes. Every operation first compares the two and
// raises EcvIteratorInvalidUsage, leaving the position alone, when they differ; without
// OnGetGeneration nothing is checked. Four bases walk an IInterfaceList, a TList, an
// IcvSimpleIterator and a TStrings; their typed Next is an ordinary member that descendants
// publish through interfaces of their own.
//
// Skip moves the position without checking bounds: a position past the end makes HasNext answer
// False. A nil source gives an iterator that is empty at once.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "core/com/interfaced_object.h"
#include "core/containers/simple_iterator.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/rtl_lists.h"

namespace pw {

class EcvIteratorInvalidUsage : public Exception {
 public:
  using Exception::Exception;
};

inline constexpr const char16_t* kInvalidIteratorUsage = u"TcvBaseIterator.CheckGeneration: Invalid iterator usage";

// The host's iterator interface; its methods return their results directly.
struct IcvIterator : IUnknown {
  static constexpr IID iid = MakeGuid("{CBF231D8-BA01-4937-B653-41048D569054}");
  virtual void Skip(std::int32_t count) = 0;
  virtual WordBool HasNext() = 0;
  virtual void Reset() = 0;
};

struct IcvStringIterator : IcvIterator {
  static constexpr IID iid = MakeGuid("{E7D22731-F671-4C07-90CA-C8829E03B10C}");
  using Inherited = IcvIterator;
  virtual void Next(WideString& value) = 0;
};

class TcvBaseIterator : public Implements<TcvInterfacedObject, IcvIterator> {
 public:
  explicit TcvBaseIterator(std::int32_t generation) : generation_(generation) {}

  std::int32_t Generation() const { return generation_; }
  // Answers the collection's current generation; nil: no check.
  std::function<std::int32_t()> OnGetGeneration;

  // Here each one only checks the generation; HasNext answers False.
  void Skip(std::int32_t count) override;
  WordBool HasNext() override;
  void Reset() override;

 protected:
  // Raises EcvIteratorInvalidUsage when OnGetGeneration answers another generation.
  void CheckGeneration();
  // index + count, held within the 32-bit range.
  static std::int32_t Advanced(std::int32_t index, std::int32_t count);

 private:
  std::int32_t generation_;
};

// The walk by position that the list iterators share. List is what holds the list (a counted
// reference, or a plain pointer whose owner keeps the list alive); nil walks nothing.
template <class List>
class TcvBaseIndexedIterator : public TcvBaseIterator {
 public:
  void Skip(std::int32_t count) override {
    CheckGeneration();
    if (list_) index_ = Advanced(index_, count);
  }
  WordBool HasNext() override {
    CheckGeneration();
    return ToWordBool(list_ && list_->Count() > index_);
  }
  void Reset() override {
    CheckGeneration();
    index_ = 0;
  }

 protected:
  TcvBaseIndexedIterator(List list, std::int32_t generation) : TcvBaseIterator(generation), list_(std::move(list)) {}

  // The item at the position, then one step on. Past the end (or without a list) raises
  // EListError.
  auto TakeNext() {
    CheckGeneration();
    if (!list_) throw EListError(ListIndexErrorMessage(index_));
    auto item = list_->Get(index_);
    ++index_;
    return item;
  }

  List list_;
  std::int32_t index_ = 0;
};

// Walks an interface list, holding a reference to it.
class TcvBaseInterfacedListIterator : public TcvBaseIndexedIterator<ComPtr<IInterfaceList>> {
 public:
  TcvBaseInterfacedListIterator(ComPtr<IInterfaceList> list, std::int32_t generation)
      : TcvBaseIndexedIterator(std::move(list), generation) {}

  ComPtr<IUnknown> Next() { return TakeNext(); }
};

// Walks a TList that its creator keeps alive.
class TcvBaseListIterator : public TcvBaseIndexedIterator<TList*> {
 public:
  TcvBaseListIterator(TList* list, std::int32_t generation) : TcvBaseIndexedIterator(list, generation) {}

  void* Next() { return TakeNext(); }
};

// Walks a container iterator, holding a reference to it. Skip only checks the generation.
class TcvBaseSimpleIterator : public TcvBaseIterator {
 public:
  TcvBaseSimpleIterator(ComPtr<IcvSimpleIterator> source, std::int32_t generation)
      : TcvBaseIterator(generation), source_(std::move(source)) {}

  // The source's next item; past the end (or without a source) raises EpfException
  // "No such element".
  void* Next();
  void Skip(std::int32_t count) override;
  WordBool HasNext() override;
  void Reset() override;

 protected:
  ComPtr<IcvSimpleIterator> source_;
};

// Walks 8-bit strings, widened through the system code page. Next does not check the
// generation. With ownsStrings the iterator destroys the strings with itself.
class TcvBaseStringIterator : public Implements<TcvBaseIterator, IcvStringIterator> {
 public:
  TcvBaseStringIterator(TStrings* strings, std::int32_t generation, bool ownsStrings)
      : Implements(generation), strings_(strings), ownsStrings_(ownsStrings) {}
  ~TcvBaseStringIterator() override;

  // The string at the position, then one step on. Past the end (or without strings) raises
  // EStringListError.
  void Next(WideString& value) override;
  void Skip(std::int32_t count) override;
  WordBool HasNext() override;
  void Reset() override;

 protected:
  std::int32_t index_ = 0;
  TStrings* strings_;
  bool ownsStrings_;
};

}  // namespace pw
