#include "core/containers/checked_iterators.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <map>

#include "core/containers/containers.h"
#include "platform/rtl/strings.h"
#include "tests/core/containers/test_objects.h"
#include "tests/support/raised.h"

namespace pw {
namespace {

using test::Raised;
using test::TCounted;

// One kind of checked iterator over the three items "a", "b", "c" (or over a nil source).
struct Kind {
  const char* name;
  std::function<ComPtr<TcvBaseIterator>(std::int32_t generation, bool nilSource)> make;
  std::function<std::string(TcvBaseIterator&)> next;
  bool skipMoves;         // Skip advances the position
  bool nextChecked;       // Next checks the generation
  WideString endMessage;  // what Next past the end raises
  std::function<void(TcvBaseIterator&)> expectEndErrorType;
};

char kA[] = "a", kB[] = "b", kC[] = "c";

TList& ThreeItemList() {
  static TList list;
  if (list.Count() == 0) {
    list.Add(kA);
    list.Add(kB);
    list.Add(kC);
  }
  return list;
}

// The interface list's items, named.
std::map<IUnknown*, std::string>& Labels() {
  static std::map<IUnknown*, std::string> labels;
  return labels;
}

ComPtr<IInterfaceList> ThreeInterfaceList() {
  static int destroyed = 0;
  auto list = MakeObject<TInterfaceList>();
  for (const char* label : {"a", "b", "c"}) {
    auto item = MakeObject<TCounted>(&destroyed);
    Labels()[item->Identity()] = label;
    list->Add(item->Identity());
  }
  return list;
}

const std::vector<Kind>& Kinds() {
  static const std::vector<Kind> kinds{
      {"interface list",
       [](std::int32_t g, bool nil) -> ComPtr<TcvBaseIterator> {
         return MakeObject<TcvBaseInterfacedListIterator>(nil ? nullptr : ThreeInterfaceList(), g);
       },
       [](TcvBaseIterator& it) {
         return Labels().at(static_cast<TcvBaseInterfacedListIterator&>(it).Next().Get());
       },
       true, true, u"List index out of bounds (3)",
       [](TcvBaseIterator& it) { EXPECT_THROW(static_cast<TcvBaseInterfacedListIterator&>(it).Next(), EListError); }},
      {"TList",
       [](std::int32_t g, bool nil) -> ComPtr<TcvBaseIterator> {
         return MakeObject<TcvBaseListIterator>(nil ? nullptr : &ThreeItemList(), g);
       },
       [](TcvBaseIterator& it) {
         return std::string(static_cast<const char*>(static_cast<TcvBaseListIterator&>(it).Next()));
       },
       true, true, u"List index out of bounds (3)",
       [](TcvBaseIterator& it) { EXPECT_THROW(static_cast<TcvBaseListIterator&>(it).Next(), EListError); }},
      {"simple iterator",
       [](std::int32_t g, bool nil) -> ComPtr<TcvBaseIterator> {
         ComPtr<IcvSimpleIterator> source;
         if (!nil) {
           static TcvList list(ioNone, 10);
           if (list.Count() == 0) {
             list.Add(kA);
             list.Add(kB);
             list.Add(kC);
           }
           source = list.GetIterator();
         }
         return MakeObject<TcvBaseSimpleIterator>(source, g);
       },
       [](TcvBaseIterator& it) {
         return std::string(static_cast<const char*>(static_cast<TcvBaseSimpleIterator&>(it).Next()));
       },
       false, true, u"No such element",
       [](TcvBaseIterator& it) { EXPECT_THROW(static_cast<TcvBaseSimpleIterator&>(it).Next(), EpfException); }},
      {"strings",
       [](std::int32_t g, bool nil) -> ComPtr<TcvBaseIterator> {
         TStringList* strings = nullptr;
         if (!nil) {
           strings = new TStringList;
           for (const char* s : {"a", "b", "c"}) strings->Add(s);
         }
         return MakeObject<TcvBaseStringIterator>(strings, g, true);
       },
       [](TcvBaseIterator& it) {
         WideString value;
         static_cast<TcvBaseStringIterator&>(it).Next(value);
         return WideToUtf8(value);
       },
       true, false, u"List index out of bounds (3)",
       [](TcvBaseIterator& it) {
         WideString value;
         EXPECT_THROW(static_cast<TcvBaseStringIterator&>(it).Next(value), EStringListError);
       }},
  };
  return kinds;
}

TEST(CheckedIterators, WalkThreeItemsAndStartAgainAfterReset) {
  for (const Kind& k : Kinds()) {
    SCOPED_TRACE(k.name);
    auto it = k.make(0, false);
    std::vector<std::string> got;
    for (int round = 0; round < 2; ++round) {
      got.clear();
      for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(it->HasNext(), WordTrue);
        EXPECT_EQ(it->HasNext(), WordTrue);  // asking again does not move
        got.push_back(k.next(*it));
      }
      EXPECT_EQ(got, (std::vector<std::string>{"a", "b", "c"}));
      EXPECT_EQ(it->HasNext(), WordFalse);
      EXPECT_EQ(Raised([&] { k.next(*it); }), k.endMessage);
      EXPECT_EQ(it->HasNext(), WordFalse);
      it->Reset();
    }
  }
}

TEST(CheckedIterators, SkipMovesWithoutBoundsChecks) {
  for (const Kind& k : Kinds()) {
    SCOPED_TRACE(k.name);
    auto it = k.make(0, false);
    it->Skip(2);
    EXPECT_EQ(k.next(*it), k.skipMoves ? "c" : "a");
    if (!k.skipMoves) continue;  // the simple iterator's Skip only checks the generation
    it->Skip(5);                 // past the end: HasNext simply answers False
    EXPECT_EQ(it->HasNext(), WordFalse);
    it->Skip(INT_MAX);  // no overflow: the position stays past the end
    it->Skip(INT_MAX);
    EXPECT_EQ(it->HasNext(), WordFalse);
    it->Reset();
    EXPECT_EQ(k.next(*it), "a");
  }
}

TEST(CheckedIterators, AChangedGenerationRaisesAndKeepsThePosition) {
  for (const Kind& k : Kinds()) {
    SCOPED_TRACE(k.name);
    std::int32_t generation = 4;
    auto it = k.make(4, false);
    it->OnGetGeneration = [&] { return generation; };
    EXPECT_EQ(it->Generation(), 4);
    EXPECT_EQ(k.next(*it), "a");

    generation = 5;
    for (const auto& op : std::vector<std::function<void()>>{[&] { it->HasNext(); }, [&] { it->Skip(1); },
                                                             [&] { it->Reset(); }})
      EXPECT_EQ(Raised(op), u"TcvBaseIterator.CheckGeneration: Invalid iterator usage");
    EXPECT_THROW(it->HasNext(), EcvIteratorInvalidUsage);
    if (k.nextChecked) {
      EXPECT_EQ(Raised([&] { k.next(*it); }), u"TcvBaseIterator.CheckGeneration: Invalid iterator usage");
    } else {
      EXPECT_EQ(k.next(*it), "b");  // the string iterator's Next does not check
    }

    generation = 4;
    EXPECT_EQ(it->HasNext(), WordTrue);
    EXPECT_EQ(k.next(*it), k.nextChecked ? "b" : "c");
  }
}

TEST(CheckedIterators, WithoutAGenerationSourceNothingIsChecked) {
  for (const Kind& k : Kinds()) {
    SCOPED_TRACE(k.name);
    auto it = k.make(12345, false);
    it->Skip(1);
    it->Reset();
    EXPECT_EQ(it->HasNext(), WordTrue);
    EXPECT_EQ(k.next(*it), "a");
  }
}

TEST(CheckedIterators, ANilSourceIsEmptyAtOnce) {
  for (const Kind& k : Kinds()) {
    SCOPED_TRACE(k.name);
    auto it = k.make(0, true);
    EXPECT_EQ(it->HasNext(), WordFalse);
    it->Skip(3);
    it->Reset();
    EXPECT_EQ(it->HasNext(), WordFalse);
    k.expectEndErrorType(*it);  // a clear error, not a crash
  }
}

TEST(TcvBaseIterator, OnlyChecksTheGenerationAndHasNothing) {
  auto it = MakeObject<TcvBaseIterator>(1);
  EXPECT_EQ(it->HasNext(), WordFalse);
  it->Skip(1);
  it->Reset();
  it->OnGetGeneration = [] { return 2; };
  EXPECT_THROW(it->HasNext(), EcvIteratorInvalidUsage);
  EXPECT_THROW(it->Skip(1), EcvIteratorInvalidUsage);
  EXPECT_THROW(it->Reset(), EcvIteratorInvalidUsage);
}

TEST(TcvBaseStringIterator, AnswersBothInterfacesAndWidensThroughTheSystemCodePage) {
  auto* strings = new TStringList;
  strings->Add("\x80 caf\xE9");
  strings->Add("");
  auto it = MakeObject<TcvBaseStringIterator>(strings, 0, true);

  auto strs = it.As<IcvStringIterator>();
  auto iter = it.As<IcvIterator>();
  ASSERT_TRUE(strs);
  ASSERT_TRUE(iter);
  EXPECT_EQ(IcvIterator::iid, MakeGuid("{CBF231D8-BA01-4937-B653-41048D569054}"));
  EXPECT_EQ(IcvStringIterator::iid, MakeGuid("{E7D22731-F671-4C07-90CA-C8829E03B10C}"));
  EXPECT_EQ(iter->HasNext(), -1);
  WideString value;
  strs->Next(value);
  EXPECT_EQ(value, u"\u20AC caf\u00E9");
  strs->Next(value);
  EXPECT_EQ(value, u"");
  EXPECT_EQ(iter->HasNext(), 0);
  EXPECT_TRUE(MakeObject<TcvBaseListIterator>(nullptr, 0).As<IcvIterator>());
  EXPECT_FALSE(MakeObject<TcvBaseListIterator>(nullptr, 0).As<IcvStringIterator>());
}

class TRecordedStrings : public TStringList {
 public:
  explicit TRecordedStrings(bool* destroyed) : destroyed_(destroyed) {}
  ~TRecordedStrings() override { *destroyed_ = true; }

 private:
  bool* destroyed_;
};

TEST(TcvBaseStringIterator, DestroysItsStringsOnlyWhenItOwnsThem) {
  bool ownedGone = false, keptGone = false;
  TRecordedStrings kept(&keptGone);
  MakeObject<TcvBaseStringIterator>(new TRecordedStrings(&ownedGone), 0, true);
  MakeObject<TcvBaseStringIterator>(&kept, 0, false);
  EXPECT_TRUE(ownedGone);
  EXPECT_FALSE(keptGone);
}

TEST(CheckedIterators, InterfaceAndSimpleSourcesAreKeptAlive) {
  int destroyed = 0;
  ComPtr<TcvBaseInterfacedListIterator> overList;
  {
    auto list = MakeObject<TInterfaceList>();
    list->Add(MakeObject<TCounted>(&destroyed)->Identity());
    overList = MakeObject<TcvBaseInterfacedListIterator>(list, 0);
  }
  EXPECT_EQ(destroyed, 0);
  EXPECT_TRUE(overList->Next());
  overList = nullptr;
  EXPECT_EQ(destroyed, 1);

  ComPtr<TcvBaseSimpleIterator> overSource;
  TcvList items(ioNone, 0);
  items.Add(kA);
  overSource = MakeObject<TcvBaseSimpleIterator>(items.GetIterator(), 0);
  EXPECT_EQ(overSource->Next(), kA);
}

}  // namespace
}  // namespace pw
