#include "core/containers/containers.h"

#include <gtest/gtest.h>

#include "tests/core/containers/test_objects.h"

namespace pw {
namespace {

using test::TCounted;
using test::TRecorded;

void* P(std::intptr_t v) { return reinterpret_cast<void*>(v); }

TEST(TcvList, GrowsToTenThenDoubles) {
  struct Case {
    std::int32_t initial, adds, capacity;
  };
  for (const Case& c : {Case{10, 10, 10}, Case{10, 11, 20}, Case{0, 0, 0}, Case{0, 1, 10}, Case{0, 11, 20},
                        Case{0, 21, 40}, Case{1, 2, 2}, Case{1, 3, 4}}) {
    TcvList list(ioNone, c.initial);
    for (std::int32_t i = 0; i < c.adds; ++i) EXPECT_EQ(list.Add(P(i + 1)), i);
    EXPECT_EQ(list.Count(), c.adds);
    EXPECT_EQ(list.Capacity(), c.capacity) << "initial " << c.initial << ", adds " << c.adds;
    for (std::int32_t i = 0; i < c.adds; ++i) EXPECT_EQ(list.Item(i), P(i + 1));
  }
}

TEST(TcvList, DeleteMovesTheFollowingItemsDown) {
  TcvList list(ioNone, 10);
  list.Add(P(1));
  list.Add(P(2));
  list.Add(P(3));
  list.Delete(0);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Item(0), P(2));
  EXPECT_EQ(list.Item(1), P(3));
  EXPECT_EQ(list.Capacity(), 10);
  list.Delete(1);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Item(0), P(2));
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Capacity(), 10);  // the capacity never shrinks
}

TEST(TcvList, OwnedObjectsAreFreedLastToFirst) {
  std::vector<int> freed;
  {
    TcvList list(ioOwnedObjects, 10);
    for (int id = 1; id <= 4; ++id) list.Add((new TRecorded(&freed, id))->AsItem());
    list.Clear();
    EXPECT_EQ(freed, (std::vector<int>{4, 3, 2, 1}));
    freed.clear();
    for (int id = 5; id <= 7; ++id) list.Add((new TRecorded(&freed, id))->AsItem());
  }  // the destructor clears the same way
  EXPECT_EQ(freed, (std::vector<int>{7, 6, 5}));
}

TEST(TcvList, OwnedObjectLeavingBySetItemDeleteOrPopIsFreed) {
  std::vector<int> freed;
  TcvStack stack(ioOwnedObjects, 10);
  auto* a = new TRecorded(&freed, 1);
  EXPECT_EQ(stack.Push(a->AsItem()), 0);
  EXPECT_EQ(stack.Push((new TRecorded(&freed, 2))->AsItem()), 1);
  EXPECT_EQ(stack.Push((new TRecorded(&freed, 3))->AsItem()), 2);

  stack.SetItem(0, a->AsItem());  // the same object again: kept alive, not freed
  EXPECT_TRUE(freed.empty());
  stack.SetItem(0, (new TRecorded(&freed, 4))->AsItem());
  EXPECT_EQ(freed, (std::vector<int>{1}));

  stack.Delete(1);
  EXPECT_EQ(freed, (std::vector<int>{1, 2}));
  stack.Pop();
  EXPECT_EQ(freed, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(stack.Count(), 1);
}

TEST(TcvList, InterfaceItemsAreHeldOnceAndReleasedOnce) {
  int destroyed = 0;
  TcvList list(ioInterfaces, 10);
  TCounted* first = nullptr;
  for (int i = 0; i < 3; ++i) {
    auto obj = MakeObject<TCounted>(&destroyed);
    list.Add(obj->AsItem());
    EXPECT_EQ(obj->RefCount(), 2);
    if (i == 0) first = obj.Get();
  }  // the list now holds the only reference to each
  EXPECT_EQ(destroyed, 0);
  list.Add(nullptr);  // nil items are stored without any reference
  EXPECT_EQ(list.Count(), 4);

  // Storing into a slot the interface it already holds leaves that interface alive.
  list.SetItem(0, first->AsItem());
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(first->RefCount(), 1);

  // A new interface is taken before the old one goes.
  auto replacement = MakeObject<TCounted>(&destroyed);
  list.SetItem(0, replacement->AsItem());
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(replacement->RefCount(), 2);

  list.Clear();
  EXPECT_EQ(destroyed, 3);
  EXPECT_EQ(replacement->RefCount(), 1);
}

TEST(TcvList, UnownedItemsAreLeftAlone) {
  std::vector<int> freed;
  TRecorded a(&freed, 1);
  {
    TcvList list(ioNone, 0);
    list.Add(a.AsItem());
    list.SetItem(0, nullptr);
    list.Add(a.AsItem());
  }
  EXPECT_TRUE(freed.empty());
}

TEST(TcvStack, PeekAndPopWorkOnTheLastItem) {
  TcvStack stack(ioNone, 0);
  stack.Push(P(1));
  EXPECT_EQ(stack.Push(P(2)), 1);
  EXPECT_EQ(stack.Peek(), P(2));
  EXPECT_EQ(stack.Count(), 2);
  stack.Pop();
  EXPECT_EQ(stack.Peek(), P(1));
  stack.Pop();
  EXPECT_EQ(stack.Count(), 0);
}

// Drains an iterator; checks that HasNext agrees with Next all the way.
std::vector<void*> Drain(IcvSimpleIterator& it) {
  std::vector<void*> out;
  while (it.HasNext()) out.push_back(it.Next());
  return out;
}

void ExpectNoSuchElement(IcvSimpleIterator& it) {
  try {
    it.Next();
    ADD_FAILURE() << "Next past the end did not raise";
  } catch (const EpfException& e) {
    EXPECT_EQ(e.Message(), u"No such element");
  }
}

TEST(TcvListIterators, WalkForwardAndBackwardAndStopAtTheEnd) {
  TcvList list(ioNone, 10);
  for (int i = 1; i <= 3; ++i) list.Add(P(i));

  auto forward = list.GetIterator(false);
  EXPECT_EQ(Drain(*forward), (std::vector<void*>{P(1), P(2), P(3)}));
  ExpectNoSuchElement(*forward);
  EXPECT_FALSE(forward->HasNext());  // HasNext never raises, not even after a failed Next
  forward->Reset();
  EXPECT_EQ(forward->Next(), P(1));

  auto backward = list.GetIterator(true);
  EXPECT_EQ(Drain(*backward), (std::vector<void*>{P(3), P(2), P(1)}));
  ExpectNoSuchElement(*backward);
  EXPECT_FALSE(backward->HasNext());
  list.Add(P(4));
  backward->Reset();  // starts again from the list's current last item
  EXPECT_EQ(Drain(*backward), (std::vector<void*>{P(4), P(3), P(2), P(1)}));
}

TEST(TcvListIterators, EmptyListYieldsNothing) {
  TcvList list(ioNone, 0);
  for (bool reverse : {false, true}) {
    auto it = list.GetIterator(reverse);
    EXPECT_FALSE(it->HasNext());
    ExpectNoSuchElement(*it);
  }
}

TEST(TcvListIterators, AnswerTheSimpleIteratorInterface) {
  TcvList list(ioNone, 0);
  auto it = list.GetIterator();
  EXPECT_TRUE(it.As<IcvSimpleIterator>());
  EXPECT_EQ(IcvSimpleIterator::iid, MakeGuid("{82C1D57A-D575-44E4-A904-D736F8FF94B9}"));
}

}  // namespace
}  // namespace pw
