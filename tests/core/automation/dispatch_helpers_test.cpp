#include "core/automation/dispatch_helpers.h"

#include "automation_fixture.h"
#include "platform/com/comobject.h"
#include "platform/rtl/strings.h"
#include "tests/support/variant_refs.h"

namespace pw::test {
namespace {

using DispatchHelpers = AutomationTest;

TEST_F(DispatchHelpers, VarToDispatchFollowsVariantReferencesOnly) {
  auto obj = MakeObject<TFirst>();
  OleVariant direct(obj->Dispatch());
  EXPECT_EQ(VarToDispatch(direct.Get()).Get(), obj->Dispatch());
  VARIANT ref1 = ByRef(VT_VARIANT, &direct.Get());
  VARIANT ref2 = ByRef(VT_VARIANT, &ref1);
  EXPECT_EQ(VarToDispatch(ref2).Get(), obj->Dispatch());
  IDispatch* raw = obj->Dispatch();
  VARIANT byRefDispatch = ByRef(VT_DISPATCH, &raw);
  EXPECT_FALSE(VarToDispatch(byRefDispatch));
  EXPECT_FALSE(VarToDispatch(OleVariant(3).Get()));
  VARIANT self = ByRef(VT_VARIANT, nullptr);
  self.pvarVal = &self;  // a reference to itself ends, with nothing
  EXPECT_FALSE(VarToDispatch(self));
}

TEST_F(DispatchHelpers, ReadsAndCallsWithDefaults) {
  auto obj = MakeObject<TFirst>();
  IDispatch* d = obj->Dispatch();
  EXPECT_TRUE(DispHasMember(d, u"Count"));
  EXPECT_FALSE(DispHasMember(d, u"Nothing"));
  EXPECT_FALSE(DispHasMember(nullptr, u"Count"));
  EXPECT_EQ(DispGetProperty(d, u"Name", OleVariant(u"dflt")).AsString(), u"first");
  EXPECT_EQ(DispGetProperty(d, u"Nothing", OleVariant(u"dflt")).AsString(), u"dflt");
  EXPECT_EQ(DispGetProperty(nullptr, u"Name", OleVariant(u"dflt")).AsString(), u"dflt");
  // Flags 3 reach a method without arguments too, and a failing call gives the default.
  EXPECT_EQ(DispGetProperty(d, u"Partner", OleVariant()).Type(), VT_DISPATCH);
  EXPECT_EQ(DispGetProperty(d, u"Subtract", OleVariant(-1)).AsInt(), -1);

  // The callee receives the arguments in the order given.
  OleVariant args[] = {OleVariant(10), OleVariant(3)};
  EXPECT_EQ(DispCallMethod(d, u"Subtract", args, OleVariant()).AsInt(), 7);
  OleVariant bad[] = {OleVariant(u"x"), OleVariant(3)};
  EXPECT_EQ(DispCallMethod(d, u"Subtract", bad, OleVariant(u"dflt")).AsString(), u"dflt");
  EXPECT_EQ(DispCallMethodByID(d, 3, args, OleVariant()).AsInt(), 7);
}

TEST(VariantsMatch, Table) {
  struct Case {
    OleVariant wanted, found;
    bool match;
  };
  const Case cases[] = {
      {OleVariant(5), OleVariant(u"5"), true},         // converted to the found type
      {OleVariant(u"5"), OleVariant(), false},          // a found Empty never matches another type
      {OleVariant(u"5"), OleVariant::Null(), false},
      {OleVariant(u"Sub*"), OleVariant(u"Submit"), true},
      {OleVariant(u"sub*"), OleVariant(u"Submit"), false},  // masks are case-sensitive
      {OleVariant(u"SUBMIT"), OleVariant(u"submit"), true}, // equality ignores case
      {OleVariant(u"S?b**"), OleVariant(u"Sub*"), true},
      {OleVariant(u"Sub?"), OleVariant(u"Sub"), true},      // "?" also matches the end
      {OleVariant(u"a*c"), OleVariant(u"abXbc"), true},
      {OleVariant(u"a*c"), OleVariant(u"abXbd"), false},
      {OleVariant(u"7"), OleVariant(7), true},
      {OleVariant(u"x"), OleVariant(7), false},             // no conversion: types differ
      {OleVariant(true), OleVariant(-1), true},
      {OleVariant(2.5), OleVariant(2.5), true},
      {OleVariant(), OleVariant(), true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(VariantsMatch(c.wanted.Get(), c.found.Get()), c.match)
        << WideToUtf8(OleVariant(c.wanted).Type() == VT_BSTR ? c.wanted.AsString() : u"") << " vs type "
        << c.found.Type();
}

TEST_F(DispatchHelpers, PropertyMatchesThroughDefaultMember) {
  auto obj = MakeObject<TFirst>();
  auto holder = MakeObject<TFirst>();
  holder->item = obj->Dispatch();
  obj->name = u"inner";
  // Item is an object: its default member (Value) is compared.
  EXPECT_TRUE(DispPropertyMatches(holder->Dispatch(), u"Item", OleVariant(u"default:inner").Get()));
  EXPECT_FALSE(DispPropertyMatches(holder->Dispatch(), u"Item", OleVariant(u"inner").Get()));
  EXPECT_TRUE(DispPropertyMatches(holder->Dispatch(), u"Count", OleVariant(u"0").Get()));
  EXPECT_FALSE(DispPropertyMatches(holder->Dispatch(), u"Nothing", OleVariant().Get()));
  EXPECT_FALSE(DispPropertyMatches(nullptr, u"Count", OleVariant(0).Get()));
}

// A host manager whose runtime-object service knows a test log, or something else as "Log".
class TFakeLog : public Implements<ComObject, IpwTestLog> {
 public:
  HRESULT Message(BSTR, BSTR, std::int32_t) override { return S_OK; }
  HRESULT Error(BSTR, BSTR, std::int32_t) override { return S_OK; }
  HRESULT Warning(BSTR, BSTR, std::int32_t) override { return S_OK; }
  HRESULT Event(BSTR, BSTR, std::int32_t) override { return S_OK; }
};

class TFakeHost : public Implements<ComObject, IcvBaseManager, IpwRuntimeObjectService> {
 public:
  ComPtr<IUnknown> log;
  bool hasRuntimeService = true;
  WideString askedFor;
#define PW_RESERVED(n) \
  HRESULT Reserved##n() override { return E_NOTIMPL; }
  PW_RESERVED(3) PW_RESERVED(4) PW_RESERVED(5) PW_RESERVED(6) PW_RESERVED(7) PW_RESERVED(8) PW_RESERVED(9)
  PW_RESERVED(10) PW_RESERVED(11) PW_RESERVED(12)
#undef PW_RESERVED
  HRESULT GetHostMode(std::int32_t*) override { return E_NOTIMPL; }
  HRESULT GetInformation(IpwHostInformation**) override { return E_NOTIMPL; }
  HRESULT GetService(const GUID& service, IUnknown** result) override {
    *result = nullptr;
    if (service != IpwRuntimeObjectService::iid || !hasRuntimeService) return E_NOINTERFACE;
    *result = static_cast<IcvBaseManager*>(this);
    AddRef();
    return S_OK;
  }
  HRESULT GetRuntimeObject(BSTR name, const GUID&, IUnknown** result) override {
    askedFor = WideString(BstrView(name));
    *result = log.Get();
    if (*result) (*result)->AddRef();
    return *result ? S_OK : E_FAIL;
  }
};

TEST(GetLogObject, FindsTheRuntimeObjectLog) {
  auto host = MakeObject<TFakeHost>();
  auto log = MakeObject<TFakeLog>();
  host->log = static_cast<IpwTestLog*>(log.Get());
  ComPtr<IpwTestLog> found = GetLogObject(host.Get());
  EXPECT_EQ(found.Get(), static_cast<IpwTestLog*>(log.Get()));
  EXPECT_EQ(host->askedFor, u"Log");
  EXPECT_EQ(kRuntimeObjectNames.front(), u"Log");
  EXPECT_EQ(kRuntimeObjectNames.back(), u"Item");

  host->log = static_cast<IcvBaseManager*>(host.Get());  // "Log" that is no test log
  EXPECT_FALSE(GetLogObject(host.Get()));
  host->log = nullptr;  // the lookup fails: its result is not examined
  EXPECT_FALSE(GetLogObject(host.Get()));
  host->hasRuntimeService = false;
  EXPECT_THROW(GetLogObject(host.Get()), EOleSysError);
}

TEST(GetFileVersion, AnswersFalseWithZeros) {
  FileVersion v{1, 2, 3, 4};
  EXPECT_FALSE(GetFileVersion("/proc/self/exe", v));
  EXPECT_EQ(v.major + v.minor + v.release + v.build, 0u);
}

TEST(GetFileVersion, DescribedModulesAnswerUnderEitherSpellingUntilForgotten) {
  SetDescribedFileVersion("C:\\Program Files\\Sample\\xul.dll", FileVersion{115, 0, 3, 8});
  FileVersion v;
  ASSERT_TRUE(GetFileVersion("c:/program files/sample/XUL.DLL", v));
  EXPECT_EQ(v.major, 115u);
  EXPECT_EQ(v.build, 8u);
  SetDescribedFileVersion("c:/program files/sample/xul.dll", FileVersion{116, 1, 0, 0});
  ASSERT_TRUE(GetFileVersion("C:\\Program Files\\Sample\\xul.dll", v));
  EXPECT_EQ(v.major, 116u);
  RemoveDescribedFileVersion("C:/Program Files/Sample/xul.dll");
  EXPECT_FALSE(GetFileVersion("c:/program files/sample/xul.dll", v));
  EXPECT_EQ(v.major, 0u);
  RemoveDescribedFileVersion("never described");
}

}  // namespace
}  // namespace pw::test
