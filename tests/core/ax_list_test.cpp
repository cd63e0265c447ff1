#include "core/ax_list.h"

#include "automation_fixture.h"
#include "platform/registry.h"

namespace pw::test {
namespace {

using AxList = AutomationTest;

TEST_F(AxList, ListsMembersInReverseWithFilters) {
  TAxList list;
  AddTypeInfoMembers(nullptr, lib.Get(), IpwTestSecond::iid, false, false, false, INVOKE_FUNC | INVOKE_PROPERTYGET, list);
  ASSERT_EQ(list.Count(), 3);  // the seven restricted inherited functions are left out
  EXPECT_EQ(list.Items(0).Name, "Echo");
  EXPECT_EQ(list.Items(0).ResultType, VT_VARIANT);
  EXPECT_EQ(list.Items(2).Name, "Name");
  EXPECT_EQ(list.Items(2).ResultType, VT_BSTR);

  TAxList first;
  AddTypeInfoMembers(nullptr, lib.Get(), IpwTestFirst::iid, false, false, false, INVOKE_FUNC, first);
  bool secret = false;
  for (int i = 0; i < first.Count(); ++i) secret |= first.Items(i).Name == "Secret";
  EXPECT_FALSE(secret);  // hidden
  TAxList all;
  AddTypeInfoMembers(nullptr, lib.Get(), IpwTestFirst::iid, false, true, true, INVOKE_FUNC, all);
  EXPECT_EQ(all.Count(), first.Count() + 1 + 1 + 7);  // Secret, Internal and the inherited seven
  for (int i = 0; i < all.Count(); ++i) {
    if (all.Items(i).Name == "Partner") {
      EXPECT_EQ(all.Items(i).ResultType, VT_USERDEFINED);
    }
  }

  TAxList none;
  AddTypeInfoMembers(nullptr, lib.Get(), GUID_NULL, true, true, true, 15, none);
  EXPECT_EQ(none.Count(), 0);
}

TEST_F(AxList, FindsLibrariesThroughTheRegistry) {
  const WideString path = AsciiWide(PW_TEST_TYPELIB);
  ASSERT_EQ(RegisterTypeLib(lib.Get(), path), S_OK);
  ComPtr<ITypeLib> found = LoadTypeLibForInterface(IpwTestSecond::iid);
  ASSERT_TRUE(found);
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(found->GetTypeInfoOfGuid(IpwTestSecond::iid, info.Put()), S_OK);

  // A "Version" that names no registered version still finds the library through any version.
  TRegistry reg(RootKey::ClassesRoot);
  ASSERT_TRUE(reg.OpenKey(u"Interface\\" + GuidToWideString(IpwTestFirst::iid) + u"\\Typelib", false));
  reg.WriteString(u"Version", u"9.9");
  EXPECT_TRUE(LoadTypeLibForInterface(IpwTestFirst::iid));
  EXPECT_FALSE(LoadTypeLibForInterface(MakeGuid("{11111111-2222-3333-4444-555555555555}")));
  EXPECT_FALSE(LoadTypeLibForInterface(IDispatch::iid));  // no OLE Automation library registered here
}

TEST_F(AxList, PropertyValuesForDisplay) {
  auto obj = MakeObject<TFirst>();
  EXPECT_EQ(GetAxPropertyValue(obj->Dispatch(), 1, nullptr, u"Name").AsString(), u"first");
  // Fail needs an argument: the call fails with a plain code, shown through its message.
  EXPECT_EQ(GetAxPropertyValue(obj->Dispatch(), 4, nullptr, u"Fail").AsString().substr(0, 7), u"Error: ");
  EXPECT_TRUE(GetAxPropertyValue(nullptr, 1, nullptr, u"Name").IsEmpty());
}

}  // namespace
}  // namespace pw::test
