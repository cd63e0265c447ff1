#include "platform/automation/dispatch_call.h"

#include <gtest/gtest.h>

#include "platform/automation/typeinfo.h"

namespace pw {
namespace {

// Functions that stand for a method, a get, a put and a putref.
const DispatchFunction kMethod{}, kGet{}, kPut{}, kPutRef{};

DispatchMember MemberOf(std::initializer_list<std::pair<std::int32_t, const DispatchFunction*>> functions) {
  DispatchMember m;
  m.owner = 0;
  for (const auto& [kind, f] : functions) m.Add(kind, f);
  return m;
}

TEST(DispatchMember, FlagsReachTheFunctionOfTheirKind) {
  const DispatchMember all = MemberOf({{INVOKE_PROPERTYPUTREF, &kPutRef}, {INVOKE_PROPERTYGET, &kGet},
                                       {INVOKE_FUNC, &kMethod}, {INVOKE_PROPERTYPUT, &kPut}});
  const DispatchMember getAndPutRef = MemberOf({{INVOKE_PROPERTYGET, &kGet}, {INVOKE_PROPERTYPUTREF, &kPutRef}});
  struct Case {
    WORD flags;
    const DispatchFunction* all;           // For, on a member with every kind
    const DispatchFunction* getAndPutRef;  // For, on a member with a get and a putref
    const DispatchFunction* anyWrite;      // ForAnyWrite, on the member with a get and a putref
  } cases[] = {
      {0, nullptr, nullptr, nullptr},
      {DISPATCH_METHOD, &kMethod, nullptr, nullptr},
      {DISPATCH_PROPERTYGET, &kGet, &kGet, &kGet},
      {DISPATCH_METHOD | DISPATCH_PROPERTYGET, &kMethod, &kGet, &kGet},
      {DISPATCH_PROPERTYPUT, &kPut, nullptr, &kPutRef},
      {DISPATCH_PROPERTYPUTREF, &kPutRef, &kPutRef, &kPutRef},
      {DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF, &kPut, &kPutRef, &kPutRef},
      {DISPATCH_METHOD | DISPATCH_PROPERTYPUT, &kPut, nullptr, &kPutRef},  // a write wins over a call
      {0x10 | DISPATCH_PROPERTYGET, &kGet, &kGet, &kGet},                   // other bits do not count
  };
  for (const auto& c : cases) {
    EXPECT_EQ(all.For(c.flags), c.all) << "flags " << c.flags;
    EXPECT_EQ(getAndPutRef.For(c.flags), c.getAndPutRef) << "flags " << c.flags;
    EXPECT_EQ(getAndPutRef.ForAnyWrite(c.flags), c.anyWrite) << "flags " << c.flags;
  }
  // The first function of each kind stays.
  DispatchMember twice = MemberOf({{INVOKE_PROPERTYGET, &kGet}, {INVOKE_PROPERTYGET, &kMethod}});
  EXPECT_EQ(twice.Get(), &kGet);
  EXPECT_EQ(getAndPutRef.First(), &kGet);
  EXPECT_EQ(MemberOf({{INVOKE_PROPERTYPUTREF, &kPutRef}}).First(), &kPutRef);
}

TEST(DispatchMap, FindsEveryDispidAndOnlyThose) {
  // Small DISPIDs land in the array; negative and far ones in the sorted list.
  const DISPID ids[] = {3, 0, 70, 5000, -4, 0x60020001, 1};
  DispatchMap map;
  for (std::size_t i = 0; i < std::size(ids); ++i) {
    DispatchMember& m = map.Add(ids[i]);
    m.owner = static_cast<std::int32_t>(i);
    m.Add(INVOKE_FUNC, &kMethod);
    EXPECT_TRUE(map.Contains(ids[i]));
  }
  EXPECT_EQ(&map.Add(70), &map.Add(70));  // one member per DISPID
  map.Finish();
  EXPECT_EQ(map.Size(), std::size(ids));
  for (std::size_t i = 0; i < std::size(ids); ++i) {
    const DispatchMember* m = map.Find(ids[i]);
    ASSERT_NE(m, nullptr) << ids[i];
    EXPECT_EQ(m->owner, static_cast<std::int32_t>(i));
    EXPECT_EQ(&map.Lookup(ids[i]), m);
    EXPECT_TRUE(map.Contains(ids[i]));
  }
  for (DISPID missing : {2, 69, 71, 4999, -1, -3, 0x60020000, 0x7FFFFFFF}) {
    EXPECT_EQ(map.Find(missing), nullptr) << missing;
    EXPECT_FALSE(map.Contains(missing)) << missing;
    EXPECT_EQ(map.Lookup(missing).For(DISPATCH_METHOD), nullptr) << missing;
  }
}

TEST(DispatchMap, FewMembersOfHighDispidsGetNoLargeArray) {
  DispatchMap map;
  for (DISPID id : {1000, 2000, 3000}) map.Add(id).owner = 0;
  map.Finish();
  EXPECT_EQ(map.ArrayCount(), 0u);
  EXPECT_NE(map.Find(2000), nullptr);
}

}  // namespace
}  // namespace pw
