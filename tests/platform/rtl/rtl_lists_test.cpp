#include "platform/rtl/rtl_lists.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/support/raised.h"

namespace pw {
namespace {

using test::Raised;

TEST(RuntimeLists, BadIndexesRaiseListErrors) {
  TList list;
  char a = 'a', b = 'b';
  EXPECT_EQ(list.Add(&a), 0);
  EXPECT_EQ(list.Add(&b), 1);
  EXPECT_EQ(list.Get(1), &b);
  for (std::int32_t bad : {-1, 2}) {
    EXPECT_THROW(list.Get(bad), EListError);
    EXPECT_THROW(list.Delete(bad), EListError);
  }
  EXPECT_EQ(Raised([&] { list.Get(2); }), u"List index out of bounds (2)");
  EXPECT_EQ(Raised([&] { list.Get(-1); }), u"List index out of bounds (-1)");
  list.Delete(0);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Get(0), &b);

  TStringList strings;
  EXPECT_EQ(strings.Add("x"), 0);
  EXPECT_EQ(strings.Get(0), "x");
  EXPECT_THROW(strings.Get(1), EStringListError);
  EXPECT_EQ(Raised([&] { strings.Get(1); }), u"List index out of bounds (1)");

  auto intfs = MakeObject<TInterfaceList>();
  EXPECT_THROW(intfs->Get(0), EListError);
  EXPECT_EQ(Raised([&] { intfs->Get(0); }), u"List index out of bounds (0)");
}

class TProbe : public ComObject {
 public:
  explicit TProbe(int* destroyed) : destroyed_(destroyed) {}
  ~TProbe() override { ++*destroyed_; }

 private:
  int* destroyed_;
};

TEST(TInterfaceList, HoldsOneReferencePerItem) {
  int destroyed = 0;
  auto list = MakeObject<TInterfaceList>();
  ASSERT_TRUE(list.As<IInterfaceList>());
  auto a = MakeObject<TProbe>(&destroyed);
  EXPECT_EQ(list->Add(a->Identity()), 0);
  EXPECT_EQ(list->Add(a->Identity()), 1);
  EXPECT_EQ(list->Add(nullptr), 2);
  EXPECT_EQ(a->RefCount(), 3);
  EXPECT_EQ(list->Get(1).Get(), a->Identity());
  EXPECT_EQ(list->Get(2), nullptr);
  list->Clear();
  EXPECT_EQ(a->RefCount(), 1);

  list->Add(MakeObject<TProbe>(&destroyed)->Identity());
  EXPECT_EQ(destroyed, 0);
  list = nullptr;
  EXPECT_EQ(destroyed, 1);
}

}  // namespace
}  // namespace pw
