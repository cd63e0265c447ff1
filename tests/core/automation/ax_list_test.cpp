#include "core/automation/ax_list.h"

#include "automation_fixture.h"
#include "interfaces/ProbewrightInternal.h"
#include "platform/automation/typelib_data.h"
#include "platform/com/registry.h"

namespace pw::test {
namespace {

using AxList = AutomationTest;

// Member names keep every character: none passes through an 8-bit code page.
TEST_F(AxList, MemberNamesStayUtf16) {
  const GUID iid = MakeGuid("{6A1E3C55-0B7D-4E21-9C3F-2D8A11B0E901}");
  tlb::LibraryData data;
  data.guid = MakeGuid("{6A1E3C55-0B7D-4E21-9C3F-2D8A11B0E900}");
  data.name = u"Names";
  tlb::TypeData type;
  type.guid = iid;
  type.name = u"INames";
  for (const char16_t* name : {u"Gr\u00F6\u00DFe", u"\u540D\u524D", u"\u0418\u043C\u044F"}) {
    tlb::FuncData f;
    f.memid = static_cast<std::int32_t>(type.funcs.size() + 1);
    f.slot = static_cast<std::int16_t>(type.funcs.size() + 3);
    f.name = name;
    f.result.chain = {VT_HRESULT};
    type.funcs.push_back(f);
  }
  data.types.push_back(type);
  const auto bytes = tlb::Serialize(data);
  ComPtr<ITypeLib> names;
  ASSERT_EQ(LoadTypeLibFromMemory(bytes.data(), bytes.size(), names.Put()), S_OK);
  TAxList list;
  AddTypeInfoMembers(nullptr, names.Get(), iid, false, false, false, INVOKE_FUNC, list);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Items(2).Name, u"Gr\u00F6\u00DFe");
  EXPECT_EQ(list.Items(1).Name, u"\u540D\u524D");
  EXPECT_EQ(list.Items(0).Name, u"\u0418\u043C\u044F");
}

TEST_F(AxList, ListsMembersInReverseWithFilters) {
  TAxList list;
  AddTypeInfoMembers(nullptr, lib.Get(), IpwTestSecond::iid, false, false, false, INVOKE_FUNC | INVOKE_PROPERTYGET, list);
  ASSERT_EQ(list.Count(), 3);  // the seven restricted inherited functions are left out
  EXPECT_EQ(list.Items(0).Name, u"Echo");
  EXPECT_EQ(list.Items(0).ResultType, VT_VARIANT);
  EXPECT_EQ(list.Items(2).Name, u"Name");
  EXPECT_EQ(list.Items(2).ResultType, VT_BSTR);

  TAxList first;
  AddTypeInfoMembers(nullptr, lib.Get(), IpwTestFirst::iid, false, false, false, INVOKE_FUNC, first);
  bool secret = false;
  for (int i = 0; i < first.Count(); ++i) secret |= first.Items(i).Name == u"Secret";
  EXPECT_FALSE(secret);  // hidden
  TAxList all;
  AddTypeInfoMembers(nullptr, lib.Get(), IpwTestFirst::iid, false, true, true, INVOKE_FUNC, all);
  EXPECT_EQ(all.Count(), first.Count() + 1 + 1 + 7);  // Secret, Internal and the inherited seven
  for (int i = 0; i < all.Count(); ++i) {
    if (all.Items(i).Name == u"Partner") {
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

  // IDispatch, IUnknown and IEnumVARIANT, which no "Typelib" key names, come from the OLE
  // Automation library once one is registered.
  const WideString oleAutomation = u"Typelib\\{00020430-0000-0000-C000-000000000046}";
  ASSERT_TRUE(reg.OpenKey(oleAutomation + u"\\2.0\\0\\win32", true));
  reg.WriteString(u"", path);
  EXPECT_TRUE(LoadTypeLibForInterface(IDispatch::iid));
  EXPECT_TRUE(LoadTypeLibForInterface(IID_IEnumVARIANT));
  EXPECT_FALSE(LoadTypeLibForInterface(MakeGuid("{11111111-2222-3333-4444-555555555555}")));
  EXPECT_TRUE(reg.DeleteKey(oleAutomation));
}

// Lets scripts read only the members it lists, unless it says all may be read; Count fails.
class TGuarded : public TFirstImpl<AutoImplements<TCVAAutoIntfObject, IpwTestFirst, IpwReadableMembers>> {
 public:
  TGuarded() : TFirstImpl({IpwTestFirst::iid}) {}
  bool all = false;
  int nameReads = 0;

  HRESULT AllMembersReadable(VARIANT_BOOL* r) override {
    *r = all ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT ReadableMembers(VARIANT* names) override {
    SAFEARRAY* a = SafeArrayCreateVector(VT_VARIANT, 1, 2);
    std::int32_t i = 1;
    for (const char16_t* name : {u"Item", u"Count"}) {
      OleVariant n(name);
      SafeArrayPutElement(a, &i, n.Ptr());
      ++i;
    }
    VariantInit(names);
    names->vt = VT_ARRAY | VT_VARIANT;
    names->parray = a;
    return S_OK;
  }
  HRESULT get_Name(BSTR* r) override {
    ++nameReads;
    return TFirstImpl::get_Name(r);
  }
  HRESULT get_Count(std::int32_t*) override {
    return SafeCall([] { throw EOleException(u"  no count \t", E_FAIL, u"", u"", 0); });
  }
};

TEST_F(AxList, PropertyValuesOnlyOfReadableMembers) {
  auto obj = MakeObject<TGuarded>();
  EXPECT_EQ(GetAxPropertyValue(obj->Dispatch(), 1, nullptr, u"Name").AsString(),
            u"Cannot get the value of this property.");
  EXPECT_EQ(obj->nameReads, 0);  // not listed: not invoked
  // Listed, but the read fails: the exception's description without its blanks.
  EXPECT_EQ(GetAxPropertyValue(obj->Dispatch(), 2, nullptr, u"Count").AsString(), u"Error: no count");
  obj->all = true;
  EXPECT_EQ(GetAxPropertyValue(obj->Dispatch(), 1, nullptr, u"Name").AsString(), u"first");
  EXPECT_EQ(obj->nameReads, 1);
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
