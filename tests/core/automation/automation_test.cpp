#include "core/automation/automation.h"

#include "automation_fixture.h"
#include "core/containers/hash_tables.h"
#include "platform/com/errorinfo.h"
#include "tests/support/variant_refs.h"

namespace pw::test {
namespace {

using Automation = AutomationTest;

TEST_F(Automation, CallsByNameAndByDispid) {
  auto obj = MakeObject<TFirst>();
  IDispatch* d = obj->Dispatch();
  EXPECT_EQ(IdOf(d, u"SUBTRACT"), 3);  // names ignore case

  OleVariant r;
  ASSERT_EQ(Call(d, 3, DISPATCH_METHOD, {OleVariant(10), OleVariant(4)}, r.Put()), S_OK);
  EXPECT_EQ(r.Type(), VT_I4);
  EXPECT_EQ(r.AsInt(), 6);  // arguments arrive in call order

  // Arguments are converted to the parameter types; a failed conversion names the argument.
  std::uint32_t argErr = 99;
  OleVariant a(u"7"), b(u"x");
  VARIANT slots[2] = {b.Get(), a.Get()};
  DISPPARAMS p{slots, nullptr, 2, 0};
  ASSERT_EQ(d->Invoke(3, GUID_NULL, 0, DISPATCH_METHOD, &p, r.Put(), nullptr, &argErr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 0u);

  ASSERT_EQ(Call(d, IdOf(d, u"Name"), DISPATCH_PROPERTYPUT, {OleVariant(u"renamed")}, nullptr,
                 nullptr, {DISPID_PROPERTYPUT}), S_OK);
  ASSERT_EQ(Call(d, 1, DISPATCH_PROPERTYGET, {}, r.Put()), S_OK);
  EXPECT_EQ(r.AsString(), u"renamed");
  ASSERT_EQ(Call(d, 2, DISPATCH_PROPERTYPUT, {OleVariant(2.5)}, nullptr, nullptr, {DISPID_PROPERTYPUT}), S_OK);
  EXPECT_EQ(obj->count, 2);  // 2.5 rounds half to even

  EXPECT_EQ(Call(d, 999, DISPATCH_METHOD, {}, r.Put()), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(d, 3, DISPATCH_METHOD, {OleVariant(1)}, r.Put()), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(d, 3, DISPATCH_METHOD, {OleVariant(1), OleVariant(2), OleVariant(3)}, r.Put()), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(d, 5, DISPATCH_PROPERTYGET, {OleVariant(u"a")}, r.Put()), DISP_E_MEMBERNOTFOUND);  // a method only
}

// Count cannot be read; Value fills its result and then fails.
class TFailingReads : public TFirst {
 public:
  HRESULT get_Count(std::int32_t*) override {
    return SafeCall([] { throw EOleException(u"no count", E_FAIL, u"TestSource", u"", 0); });
  }
  HRESULT get_Value(VARIANT* r) override {
    *r = OleVariant(u"partial").Detach();
    return E_FAIL;
  }
};

TEST_F(Automation, OnlyASuccessfulCallReplacesTheResult) {
  auto obj = MakeObject<TFailingReads>();
  IDispatch* d = obj->Dispatch();
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  // A value the result held is freed and replaced; a method without a result leaves it empty.
  OleVariant r(u"old");
  ASSERT_EQ(d->Invoke(1, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, r.Ptr(), nullptr, nullptr), S_OK);
  EXPECT_EQ(r.AsString(), u"first");
  r = OleVariant(5);
  ASSERT_EQ(d->Invoke(10, GUID_NULL, 0, DISPATCH_METHOD, &none, r.Ptr(), nullptr, nullptr), S_OK);
  EXPECT_TRUE(r.IsEmpty());
  EXPECT_EQ(obj->secretCalls, 1);
  // Without a result the value is dropped.
  ASSERT_EQ(d->Invoke(1, GUID_NULL, 0, DISPATCH_PROPERTYGET, nullptr, nullptr, nullptr, nullptr), S_OK);

  // A failed call leaves the result as it was; what the method left behind is freed.
  for (const OleVariant& before : {OleVariant(7), OleVariant(u"kept")}) {
    r = before;
    EXCEPINFO info{};
    ASSERT_EQ(d->Invoke(2, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, r.Ptr(), &info, nullptr), DISP_E_EXCEPTION);
    EXPECT_EQ(info.scode, E_FAIL);
    EXPECT_EQ(BstrView(info.bstrDescription), u"no count");
    ClearExcepInfo(info);
    EXPECT_TRUE(VariantValuesEqual(r.Get(), before.Get()));
    ASSERT_EQ(d->Invoke(0, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, r.Ptr(), nullptr, nullptr), DISP_E_EXCEPTION);
    EXPECT_TRUE(VariantValuesEqual(r.Get(), before.Get()));
  }
}

TEST_F(Automation, PropertyPutAndPutrefBothArriveAsFlags12) {
  auto obj = MakeObject<TFirst>();
  auto other = MakeObject<TSecond>();
  // Item has only a putref accessor; a plain put reaches it because the flags become 12.
  ASSERT_EQ(Call(obj->Dispatch(), 6, DISPATCH_PROPERTYPUT, {OleVariant(other->Dispatch())}, nullptr,
                 nullptr, {DISPID_PROPERTYPUT}), S_OK);
  EXPECT_EQ(obj->item.Get(), other->Dispatch());
  // Count has only a put accessor; putref reaches it.
  ASSERT_EQ(Call(obj->Dispatch(), 2, DISPATCH_PROPERTYPUTREF, {OleVariant(5)}, nullptr, nullptr, {DISPID_PROPERTYPUT}), S_OK);
  EXPECT_EQ(obj->count, 5);
}

TEST_F(Automation, FailureBecomesExceptionWithErrorInfo) {
  auto obj = MakeObject<TFirst>();
  EXCEPINFO info{};
  OleVariant r;
  ASSERT_EQ(Call(obj->Dispatch(), 4, DISPATCH_METHOD, {OleVariant(u"it broke")}, r.Put(), &info), DISP_E_EXCEPTION);
  EXPECT_EQ(info.scode, E_FAIL);
  EXPECT_EQ(BstrView(info.bstrDescription), u"it broke");
  EXPECT_EQ(BstrView(info.bstrSource), u"TestSource");
  EXPECT_EQ(info.dwHelpContext, 7u);
  ClearExcepInfo(info);
  // The error information also stays with the thread.
  ComPtr<IErrorInfo> err;
  ASSERT_EQ(GetErrorInfo(0, err.Put()), S_OK);
  BString description;
  err->GetDescription(description.Put());
  EXPECT_EQ(description.View(), u"it broke");
}

TEST_F(Automation, NamedArgumentsOptionalsAndReferences) {
  auto obj = MakeObject<TFirst>();
  IDispatch* d = obj->Dispatch();
  const char16_t* names[] = {u"Subtract", u"subtrahend", u"Minuend"};
  DISPID ids[3];
  ASSERT_EQ(d->GetIDsOfNames(GUID_NULL, names, 3, 0, ids), S_OK);
  EXPECT_EQ(ids[0], 3);
  EXPECT_EQ(ids[1], 1);
  EXPECT_EQ(ids[2], 0);
  OleVariant r;
  // Subtrahend := 10, Minuend := 3, given by name in that order.
  ASSERT_EQ(Call(d, 3, DISPATCH_METHOD, {OleVariant(3), OleVariant(10)}, r.Put(), nullptr, {1, 0}), S_OK);
  EXPECT_EQ(r.AsInt(), -7);

  const char16_t* bad[] = {u"Subtract", u"Nothing"};
  ASSERT_EQ(d->GetIDsOfNames(GUID_NULL, bad, 2, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 3);
  EXPECT_EQ(ids[1], MEMBERID_NIL);

  ASSERT_EQ(Call(d, 5, DISPATCH_METHOD, {OleVariant(u"a")}, r.Put()), S_OK);
  EXPECT_EQ(r.AsString(), u"a|missing");
  ASSERT_EQ(Call(d, 5, DISPATCH_METHOD, {OleVariant(u"a"), OleVariant(3)}, r.Put()), S_OK);
  EXPECT_EQ(r.AsString(), u"a|3");

  std::int32_t x = 1, y = 2;
  VARIANT refs[2];
  VariantInit(&refs[0]);
  VariantInit(&refs[1]);
  refs[1].vt = refs[0].vt = VT_BYREF | VT_I4;
  refs[1].byref = &x;
  refs[0].byref = &y;
  DISPPARAMS p{refs, nullptr, 2, 0};
  ASSERT_EQ(d->Invoke(7, GUID_NULL, 0, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(x, 2);
  EXPECT_EQ(y, 1);
  // A by-value argument for a by-reference parameter reaches the callee in a temporary (what it
  // writes there is dropped); a reference of another type is refused.
  EXPECT_EQ(Call(d, 7, DISPATCH_METHOD, {OleVariant(1), OleVariant(2)}, nullptr), S_OK);
  double real = 1;
  refs[1] = test::ByRef(VT_R8, &real);
  std::uint32_t argErr = 99;
  EXPECT_EQ(d->Invoke(7, GUID_NULL, 0, DISPATCH_METHOD, &p, nullptr, nullptr, &argErr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 1u);
}

// By-reference parameters of every kind, and results that a failing call leaves behind.
class TRefs : public AutoImplements<TCVAAutoIntfObject, IpwTestRefs> {
 public:
  TRefs() : AutoImplements({IpwTestRefs::iid}) {}
  WideString appendedTo;  // the text Append found
  OleVariant stored;      // the value Store found
  ComPtr<TSecond> abandoned = MakeObject<TSecond>();

  HRESULT Append(BSTR* text, BSTR suffix) override {
    appendedTo = WideString(BstrView(*text));
    BSTR old = *text;
    *text = SysAllocString(appendedTo + WideString(BstrView(suffix)));
    SysFreeString(old);
    return S_OK;
  }
  HRESULT Fill(BSTR* text, VARIANT* value) override {  // [out] only: what was there is not read or freed
    *text = SysAllocString(u"filled");
    *value = OleVariant(u"value").Detach();
    return S_OK;
  }
  HRESULT Store(VARIANT* value) override {
    stored = OleVariant(*value);
    VariantClear(value);
    *value = OleVariant(u"replaced").Detach();
    return S_OK;
  }
  HRESULT get_Abandoned(IDispatch** r) override {
    *r = abandoned->Dispatch();
    (*r)->AddRef();
    return E_FAIL;
  }
  HRESULT get_AbandonedText(BSTR* r) override {
    *r = SysAllocString(u"abandoned");
    return E_FAIL;
  }
};

TEST_F(Automation, ByReferenceParametersTakeReferencesOrValues) {
  auto obj = MakeObject<TRefs>();
  IDispatch* d = obj->Dispatch();
  // A reference of the parameter's type: the callee works on the caller's own value.
  BString text(u"ab");
  BSTR raw = text.Detach();
  ASSERT_EQ(Call(d, 1, DISPATCH_METHOD, {OleVariant(test::ByRef(VT_BSTR, &raw)), OleVariant(u"c")}, nullptr), S_OK);
  text = BString::Attach(raw);
  EXPECT_EQ(text.View(), u"abc");
  // A value, converted to the parameter's type: the callee reads it, its answer is dropped.
  ASSERT_EQ(Call(d, 1, DISPATCH_METHOD, {OleVariant(12), OleVariant(u"c")}, nullptr), S_OK);
  EXPECT_EQ(obj->appendedTo, u"12");
  ASSERT_EQ(Call(d, 3, DISPATCH_METHOD, {OleVariant(u"kept")}, nullptr), S_OK);
  EXPECT_EQ(obj->stored.AsString(), u"kept");
  // [out] parameters given values start empty; what the callee writes is freed.
  ASSERT_EQ(Call(d, 2, DISPATCH_METHOD, {OleVariant(u"in"), OleVariant(5)}, nullptr), S_OK);
  // A reference to a VARIANT is the only reference a VARIANT parameter takes; a typed
  // parameter refuses it, as it refuses a value that does not convert.
  OleVariant held(u"x");
  VARIANT ref = test::ByRef(VT_VARIANT, held.Ptr());
  VARIANT args[1] = {ref};
  DISPPARAMS p{args, nullptr, 1, 0};
  ASSERT_EQ(d->Invoke(3, GUID_NULL, 0, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(held.AsString(), u"replaced");
  VARIANT two[2] = {OleVariant(u"c").Detach(), ref};
  DISPPARAMS q{two, nullptr, 2, 0};
  std::uint32_t argErr = 99;
  EXPECT_EQ(d->Invoke(1, GUID_NULL, 0, DISPATCH_METHOD, &q, nullptr, nullptr, &argErr), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 1u);
  VariantClear(&two[0]);
  EXPECT_EQ(Call(d, 1, DISPATCH_METHOD, {OleVariant::Null(), OleVariant(u"c")}, nullptr), DISP_E_TYPEMISMATCH);
}

TEST_F(Automation, AFailedCallFreesTheResultItsMethodLeftBehind) {
  auto obj = MakeObject<TRefs>();
  const LONG before = obj->abandoned->RefCount();
  OleVariant r(u"kept");
  EXPECT_EQ(Call(obj->Dispatch(), 4, DISPATCH_PROPERTYGET, {}, r.Put()), DISP_E_EXCEPTION);
  EXPECT_EQ(obj->abandoned->RefCount(), before);  // the object the method handed out is released
  EXPECT_EQ(Call(obj->Dispatch(), 5, DISPATCH_PROPERTYGET, {}, r.Put()), DISP_E_EXCEPTION);  // (leak check)
}

TEST_F(Automation, InterfaceArraysAndBooleans) {
  auto obj = MakeObject<TFirst>();
  IDispatch* d = obj->Dispatch();
  OleVariant r;
  ASSERT_EQ(Call(d, 8, DISPATCH_METHOD, {}, r.Put()), S_OK);
  ASSERT_EQ(r.Type(), VT_DISPATCH);
  OleVariant partner = r;
  ASSERT_EQ(Call(d, 9, DISPATCH_METHOD, {partner}, r.Put()), S_OK);
  EXPECT_DOUBLE_EQ(r.AsDouble(), 3.5);
  // An object without the parameter's interface is refused.
  EXPECT_EQ(Call(d, 9, DISPATCH_METHOD, {OleVariant(obj->Dispatch())}, r.Put()), DISP_E_TYPEMISMATCH);
  // A reference to an object is followed; a nil reference is refused.
  IDispatch* partnerRaw = partner.Get().pdispVal;
  ASSERT_EQ(Call(d, 9, DISPATCH_METHOD, {OleVariant(ByRef(VT_DISPATCH, &partnerRaw))}, r.Put()), S_OK);
  EXPECT_DOUBLE_EQ(r.AsDouble(), 3.5);
  EXPECT_EQ(Call(d, 9, DISPATCH_METHOD, {OleVariant(ByRef(VT_DISPATCH, nullptr))}, r.Put()), DISP_E_TYPEMISMATCH);
  ASSERT_EQ(Call(d, 12, DISPATCH_METHOD, {OleVariant(u"True")}, r.Put()), S_OK);
  EXPECT_EQ(r.Type(), VT_BOOL);
  EXPECT_EQ(r.Get().boolVal, VARIANT_FALSE);

  SAFEARRAY* a = SafeArrayCreateVector(VT_VARIANT, 1, 3);
  for (std::int32_t i = 1; i <= 3; ++i) {
    OleVariant v(i * 1.5);
    SafeArrayPutElement(a, &i, &v.Get());
  }
  VARIANT arr;
  VariantInit(&arr);
  arr.vt = VT_ARRAY | VT_VARIANT;
  arr.parray = a;
  OleVariant array = OleVariant::Attach(arr);
  ASSERT_EQ(Call(d, 13, DISPATCH_METHOD, {array}, r.Put()), S_OK);
  EXPECT_DOUBLE_EQ(r.AsDouble(), 9.0);
}

TEST_F(Automation, TwoInterfacesShareOneMapPerClass) {
  auto one = MakeObject<TFirstAndSecond>();
  auto two = MakeObject<TFirstAndSecond>();
  OleVariant r;
  // A DISPID of the second interface only reaches the second interface.
  ASSERT_EQ(Call(one->Dispatch(), 100, DISPATCH_PROPERTYGET, {}, r.Put()), S_OK);
  EXPECT_EQ(r.AsInt(), 100);
  ASSERT_EQ(Call(one->Dispatch(), 101, DISPATCH_METHOD, {OleVariant(u"x")}, r.Put()), S_OK);
  EXPECT_EQ(r.AsString(), u"x");
  // A DISPID both declare goes to the first.
  ASSERT_EQ(Call(one->Dispatch(), 1, DISPATCH_PROPERTYPUT, {OleVariant(u"n")}, nullptr, nullptr, {DISPID_PROPERTYPUT}), S_OK);
  EXPECT_EQ(one->name, u"n");
  EXPECT_EQ(IdOf(one->Dispatch(), u"Extra"), 100);

  const TGuidsManager* m1 = one->GuidsManager();
  ASSERT_NE(m1, nullptr);
  EXPECT_EQ(m1, two->GuidsManager());
  EXPECT_EQ(m1->OwnerOf(1), 0);
  EXPECT_EQ(m1->OwnerOf(100), 1);
  EXPECT_EQ(m1->OwnerOf(12345), -1);
  EXPECT_EQ(m1->Count(), 14 + 2);  // DISPIDs 0..13 of the first, then Extra and Echo
  EXPECT_EQ(DispatchCacheCount(), 1);
  // A one-interface class builds no map.
  auto single = MakeObject<TFirst>();
  EXPECT_EQ(single->GuidsManager(), nullptr);
  EXPECT_EQ(DispatchCacheCount(), 1);
  // The map outlives the objects: the cache keeps it until the automation state stops.
  one = nullptr;
  two = nullptr;
  EXPECT_EQ(DispatchCacheCount(), 1);
}

TEST_F(Automation, TypeInformationAccess) {
  auto obj = MakeObject<TFirstAndSecond>();
  std::uint32_t n = 0;
  ASSERT_EQ(obj->GetTypeInfoCount(&n), S_OK);
  EXPECT_EQ(n, 2u);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(obj->GetTypeInfo(1, 0, info.Put()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, IpwTestSecond::iid);
  info->ReleaseTypeAttr(attr);
  EXPECT_EQ(obj->GetTypeInfo(2, 0, info.Put()), DISP_E_BADINDEX);
  EXPECT_EQ(obj->InterfaceSupportsErrorInfo(IpwTestFirst::iid), S_FALSE);
}

TEST_F(Automation, UnknownInterfaceFailsConstruction) {
  struct TUnknownIid : AutoImplements<TCVAAutoIntfObject, IpwTestFirst> {
    TUnknownIid() : AutoImplements({MakeGuid("{00000000-1111-2222-3333-444444444444}")}) {}
  };
  try {
    MakeObject<TFirstImpl<TUnknownIid>>();
    FAIL() << "constructed";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.ErrorCode(), TYPE_E_ELEMENTNOTFOUND);
  }
}

TEST(AutomationWithoutLibraries, ObjectsAnswerWithoutTypeInformation) {
  RegisterInterfaceThunks(pwAutomationTestInterfaceThunks());
  StartAutomation();
  // The test program carries the module's library as its own (it loads at start); drop it.
  EXPECT_FALSE(TypeLibraries()->IsEmpty());
  TypeLibraries()->Clear();
  auto two = MakeObject<TFirstAndSecond>();
  std::uint32_t n = 0;
  two->GetTypeInfoCount(&n);
  EXPECT_EQ(n, 2u);
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(two->GetTypeInfo(0, 0, info.Put()), DISP_E_BADINDEX);
  OleVariant r;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(two->Invoke(1, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, r.Put(), nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
  const char16_t* names[] = {u"Name"};
  DISPID id = 0;
  EXPECT_EQ(two->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, MEMBERID_NIL);
  two = nullptr;
  StopAutomation();
}

TEST_F(Automation, ClassNamingAnInterfaceItLacksAnswersMemberNotFound) {
  // Names IpwTestSecond in its IIDs but implements only IpwTestFirst.
  struct TLying : TFirstImpl<AutoImplements<TCVAAutoIntfObject, IpwTestFirst>> {
    TLying() : TFirstImpl({IpwTestFirst::iid, IpwTestSecond::iid}) {}
  };
  auto obj = MakeObject<TLying>();
  OleVariant r;
  EXPECT_EQ(Call(obj->Dispatch(), 100, DISPATCH_PROPERTYGET, {}, r.Put()), DISP_E_MEMBERNOTFOUND);
  ASSERT_EQ(Call(obj->Dispatch(), 2, DISPATCH_PROPERTYGET, {}, r.Put()), S_OK);
}

TEST_F(Automation, ModuleLibraryLoadsFromTheBinary) {
  // This test program links the module's type library resource, as the module does.
  ComPtr<ITypeLib> own = LoadModuleTypeLibrary();
  ASSERT_TRUE(own);
  BString name;
  own->GetDocumentation(-1, name.Put(), nullptr, nullptr, nullptr);
  EXPECT_EQ(name.View(), u"pwWebTesting");
  EXPECT_THROW(LoadTypeLibraryChecked(u"/nonexistent/file.tlb"), EOleSysError);
}

}  // namespace
}  // namespace pw::test

namespace pw::test {
namespace {

// The platform compiles no thunks: an interface has them only once the binary that owns its
// description registers them, and a library loaded before that binds at its first call.
TEST_F(Automation, ThunksComeFromTheirOwnerAndBindAtTheFirstCall) {
  UnregisterInterfaceThunks(pwAutomationTestInterfaceThunks());
  EXPECT_EQ(FindInterfaceThunks(IpwTestFirst::iid), nullptr);
  ComPtr<ITypeLib> early;
  OleCheck(LoadTypeLib(AsciiWide(PW_TEST_TYPELIB), early.Put()));
  RegisterInterfaceThunks(pwAutomationTestInterfaceThunks());
  ASSERT_NE(FindInterfaceThunks(IpwTestFirst::iid), nullptr);

  ComPtr<ITypeInfo> info;
  ASSERT_EQ(early->GetTypeInfoOfGuid(IpwTestFirst::iid, info.Put()), S_OK);
  auto obj = MakeObject<TFirst>();
  OleVariant a(10), b(4), r;
  VARIANT slots[2] = {b.Get(), a.Get()};
  DISPPARAMS p{slots, nullptr, 2, 0};
  ASSERT_EQ(info->Invoke(static_cast<IpwTestFirst*>(obj.Get()), 3, DISPATCH_METHOD, &p, r.Put(), nullptr, nullptr),
            S_OK);
  EXPECT_EQ(r.AsInt(), 6);
}

}  // namespace
}  // namespace pw::test
