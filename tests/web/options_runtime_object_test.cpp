// The options runtime object over host settings: names and DISPIDs, gets and puts, argument
// counts, read-only options (the question, the stop of the run), the synthesised type
// description (functions, hidden flag, names, documentation), and the drop-down variant.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/host/host_services.h"
#include "core/host/host_settings.h"
#include "host/test_host.h"
#include "platform/automation/bstr.h"
#include "platform/rtl/strings.h"
#include "web/settings/options_runtime_object.h"

namespace {

using namespace pw;
using namespace pw::web;

constexpr GUID kGroup = MakeGuid("{5C0B3F01-0000-4000-8000-0000000000A0}");
constexpr GUID kTimeout = MakeGuid("{5C0B3F01-0000-4000-8000-0000000000A1}");
constexpr GUID kCaption = MakeGuid("{5C0B3F01-0000-4000-8000-0000000000A2}");
constexpr GUID kModel = MakeGuid("{5C0B3F01-0000-4000-8000-0000000000A3}");
constexpr GUID kSecret = MakeGuid("{5C0B3F01-0000-4000-8000-0000000000A4}");
constexpr GUID kMissing = MakeGuid("{5C0B3F01-0000-4000-8000-0000000000AF}");

class OptionsObject : public ::testing::Test {
 protected:
  OptionsObject() {
    host::TestHostOptions options;
    options.interactive = true;
    host_ = std::make_unique<host::TestHost>(options);
    auto group = RegisterSettingsGroup(host_->Manager(), kGroup, u"Options", u"", 0, 0, u"");
    AddSettingToGroup(group.Get(), host::kSettingInteger, kTimeout, kGroup, kGroup, u"Timeout",
                      u"Milliseconds to wait.", u"", OleVariant(std::int32_t{100}).Get());
    AddSettingToGroup(group.Get(), host::kSettingText, kCaption, kGroup, kGroup, u"Caption", u"The caption.", u"",
                      OleVariant(u"abc").Get());
    auto model = AddSettingToGroup(group.Get(), host::kSettingTable, kModel, kGroup, kGroup, u"Model", u"The model.",
                                   u"", OleVariant().Get());
    auto table = CastHostObject<IcvTableSetting_DVS>(model.Get());
    auto schema = CastHostObject<IcvTableSettingSchema_DVS>(model.Get());
    OleCheck(schema->AddColumn(5, nullptr, VARIANT_TRUE, VARIANT_TRUE));
    const char16_t* rows[] = {u"DOM", u"Tag", u"Hybrid", u"Tree"};
    OleCheck(table->SetRowCount(4));
    for (std::int32_t r = 0; r < 4; ++r) OleCheck(table->SetCell(0, r, OleVariant(rows[r]).Get()));
    OleCheck(table->SetCurrentRow(3));
    AddSettingToGroup(group.Get(), host::kSettingBoolean, kSecret, kGroup, kGroup, u"Secret", u"", u"",
                      OleVariant(false).Get());
  }
  ~OptionsObject() override = default;

  // Timeout (writable), Caption (read-only), Model (writable), Secret (hidden) unless `fourth`.
  ComPtr<IpwOptionsRuntimeObject> Make(bool dropDowns, bool fourth = true) {
    auto object = CreateOptionsRuntimeObject(host_->Manager(), dropDowns);
    AddOption(object.Get(), kTimeout, u"Timeout");
    AddOption(object.Get(), kCaption, u"Caption", false, true);
    AddOption(object.Get(), kModel, u"Model");
    if (fourth) AddOption(object.Get(), kSecret, u"Secret", true, false);
    return object;
  }
  static DISPID IdOf(IDispatch* object, const char16_t* name) {
    DISPID id = 0;
    EXPECT_EQ(object->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id), S_OK) << WideToUtf8(name);
    return id;
  }
  static OleVariant Get(IDispatch* object, const char16_t* name) {
    DISPPARAMS none{};
    OleVariant result;
    EXPECT_EQ(
        object->Invoke(IdOf(object, name), GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.Put(), nullptr, nullptr),
        S_OK);
    return result;
  }
  // A put with the arguments given (the first in the list first); the exception's text in
  // `message`.
  static HRESULT Put(IDispatch* object, DISPID id, std::vector<OleVariant> args, WideString* message = nullptr) {
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(it->Get());
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), &named, static_cast<std::uint32_t>(reversed.size()), args.empty() ? 0u : 1u};
    EXCEPINFO info{};
    const HRESULT hr = object->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, &info, nullptr);
    if (message) *message = WideString(BstrView(info.bstrDescription));
    ClearExcepInfo(info);
    return hr;
  }
  OleVariant Value(const GUID& key) { return GetSettingValue(host_->Manager(), key); }
  ComPtr<ITypeInfo> TypeInfoOf(IDispatch* object) {
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(object->GetTypeInfo(0, 0, info.Put()), S_OK);
    return info;
  }

  std::unique_ptr<host::TestHost> host_;
};

TEST_F(OptionsObject, NamesMatchIgnoringCaseAndDispIdsFollowAPositiveBase) {
  auto object = Make(false);
  auto other = Make(false);
  const char16_t* names[] = {u"tIMEOUT", u"Nothing", u"MODEL"};
  DISPID ids[3] = {};
  EXPECT_EQ(object->GetIDsOfNames(GUID_NULL, names, 3, 0, ids), DISP_E_UNKNOWNNAME);
  const DISPID base = static_cast<TpwOptionsRuntimeObjectHelper*>(object.Get())->Base();
  EXPECT_GT(base, 0);
  EXPECT_EQ(ids[0], base);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  EXPECT_EQ(ids[2], base + 2);  // every name was tried
  // Each object has a base of its own, far enough from the next for its options.
  const DISPID otherBase = static_cast<TpwOptionsRuntimeObjectHelper*>(other.Get())->Base();
  EXPECT_GT(otherBase, 0);
  EXPECT_GE(otherBase > base ? otherBase - base : base - otherBase, kOptionDispIdBlock);
  // DISPIDs outside the object's range are unknown.
  DISPPARAMS none{};
  OleVariant result;
  for (DISPID id : {base - 1, base + 4, DISPID_VALUE, DISPID_UNKNOWN, otherBase})
    EXPECT_EQ(object->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.Put(), nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND)
        << id;
  EXPECT_EQ(object->Invoke(base, GUID_NULL, 0, DISPATCH_METHOD, &none, result.Put(), nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
}

TEST_F(OptionsObject, GetsAndPutsGoToTheSettingsAtOnce) {
  auto object = Make(false);
  EXPECT_EQ(Get(object.Get(), u"Timeout").AsInt(), 100);
  EXPECT_EQ(Get(object.Get(), u"Caption").AsString(), u"abc");
  EXPECT_EQ(Get(object.Get(), u"Model").AsString(), u"Tree");
  ASSERT_EQ(Put(object.Get(), IdOf(object.Get(), u"Timeout"), {OleVariant(std::int32_t{2500})}), S_OK);
  EXPECT_EQ(Value(kTimeout).AsInt(), 2500);
  // A change made behind the object's back is what the next get reads.
  OleCheck(host_->Settings().FindSetting(kTimeout)->put_Value(OleVariant(std::int32_t{7}).Get()));
  EXPECT_EQ(Get(object.Get(), u"Timeout").AsInt(), 7);
  // A host refusal is the script call's error.
  auto limits = CastHostObject<IcvSettingInternal>(GetSetting(host_->Manager(), kTimeout).Get());
  OleCheck(limits->SetLimits(1, 10));
  WideString message;
  EXPECT_EQ(Put(object.Get(), IdOf(object.Get(), u"Timeout"), {OleVariant(std::int32_t{11})}, &message),
            DISP_E_EXCEPTION);
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(Value(kTimeout).AsInt(), 7);
}

TEST_F(OptionsObject, APutNeedsExactlyOneArgument) {
  auto object = Make(false);
  const DISPID timeout = IdOf(object.Get(), u"Timeout"), caption = IdOf(object.Get(), u"Caption");
  struct Case {
    DISPID id;
    std::size_t args;
    HRESULT expected;
  };
  const Case cases[] = {
      {timeout, 0, DISP_E_BADPARAMCOUNT},
      {timeout, 2, DISP_E_BADPARAMCOUNT},
      {caption, 0, E_INVALIDARG},
      {caption, 2, E_INVALIDARG},
  };
  for (const auto& c : cases) {
    std::vector<OleVariant> args(c.args, OleVariant(std::int32_t{55}));
    EXPECT_EQ(Put(object.Get(), c.id, args), c.expected) << c.id << " " << c.args;
  }
  EXPECT_EQ(Value(kTimeout).AsInt(), 100);
  EXPECT_EQ(Value(kCaption).AsString(), u"abc");
  EXPECT_TRUE(host_->Messenger().Messages().empty());
  // A put without any parameter block at all is refused the same way.
  EXPECT_EQ(object->Invoke(timeout, GUID_NULL, 0, DISPATCH_PROPERTYPUT, nullptr, nullptr, nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
}

TEST_F(OptionsObject, AReadOnlyPutAsksAndYesStopsTheRun) {
  auto object = Make(false);
  const DISPID caption = IdOf(object.Get(), u"Caption");
  // The value it has already, also as another type of the same value: nothing is asked.
  EXPECT_EQ(Put(object.Get(), caption, {OleVariant(u"abc")}), S_OK);
  EXPECT_EQ(Put(object.Get(), IdOf(object.Get(), u"Caption"), {OleVariant(u"abc")}), S_OK);
  EXPECT_TRUE(host_->Messenger().Messages().empty());

  host_->Messenger().QueueConfirmation(false);
  EXPECT_EQ(Put(object.Get(), caption, {OleVariant(u"xyz")}), S_OK);
  auto messages = host_->Messenger().Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].kind, host::MessageRecord::Confirmation);
  EXPECT_EQ(messages[0].text,
            u"The Options object allows you only to read option values.\r\nThe operation cannot be completed.\r\n"
            u"Terminate the test execution?");
  EXPECT_FALSE(host_->Projects().StopRequested());
  EXPECT_EQ(Value(kCaption).AsString(), u"abc");

  host_->Messenger().QueueConfirmation(true);
  EXPECT_EQ(Put(object.Get(), caption, {OleVariant(u"xyz")}), S_OK);
  EXPECT_TRUE(host_->Projects().StopRequested());
  EXPECT_EQ(Value(kCaption).AsString(), u"abc");  // never written
  host_->Projects().ClearStop();
}

TEST_F(OptionsObject, AReadOnlyNumberComparesByValue) {
  auto object = CreateOptionsRuntimeObject(host_->Manager(), false);
  AddOption(object.Get(), kTimeout, u"Timeout", false, true);
  EXPECT_EQ(Put(object.Get(), IdOf(object.Get(), u"Timeout"), {OleVariant(100.0)}), S_OK);
  EXPECT_EQ(Put(object.Get(), IdOf(object.Get(), u"Timeout"), {OleVariant(u"100")}), S_OK);
  EXPECT_TRUE(host_->Messenger().Messages().empty());
}

TEST_F(OptionsObject, ThreeOptionsOneReadOnlyGiveFiveFunctions) {
  auto object = Make(false, false);
  auto info = TypeInfoOf(object.Get());
  ASSERT_TRUE(info);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->cFuncs, 5);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_EQ(attr->memidConstructor, MEMBERID_NIL);
  EXPECT_EQ(attr->memidDestructor, MEMBERID_NIL);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->cImplTypes, 0);
  EXPECT_NE(attr->guid, GUID_NULL);
  const GUID guid = attr->guid;
  info->ReleaseTypeAttr(attr);
  TYPEATTR* otherAttr = nullptr;
  auto otherInfo = TypeInfoOf(Make(false, false).Get());
  ASSERT_EQ(otherInfo->GetTypeAttr(&otherAttr), S_OK);
  EXPECT_NE(otherAttr->guid, guid);  // a GUID per object

  const DISPID base = IdOf(object.Get(), u"Timeout");
  struct Expected {
    DISPID memid;
    INVOKEKIND kind;
    std::int16_t params;
  };
  const Expected expected[] = {
      {base, INVOKE_PROPERTYGET, 0},     {base, INVOKE_PROPERTYPUT, 1},     {base + 1, INVOKE_PROPERTYGET, 0},
      {base + 2, INVOKE_PROPERTYGET, 0}, {base + 2, INVOKE_PROPERTYPUT, 1},
  };
  for (std::uint32_t i = 0; i < 5; ++i) {
    FUNCDESC* f = nullptr;
    ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK) << i;
    EXPECT_EQ(f->memid, expected[i].memid) << i;
    EXPECT_EQ(f->invkind, expected[i].kind) << i;
    EXPECT_EQ(f->cParams, expected[i].params) << i;
    EXPECT_EQ(f->funckind, FUNC_STATIC);
    EXPECT_EQ(f->callconv, CC_STDCALL);
    EXPECT_EQ(f->wFuncFlags, 0);
    if (f->invkind == INVOKE_PROPERTYGET) {
      EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_VARIANT);
      EXPECT_EQ(f->elemdescFunc.paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
      EXPECT_EQ(f->lprgelemdescParam, nullptr);
    } else {
      EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_EMPTY);
      ASSERT_NE(f->lprgelemdescParam, nullptr);
      EXPECT_EQ(f->lprgelemdescParam[0].tdesc.vt, VT_VARIANT);
    }
    info->ReleaseFuncDesc(f);
  }
  FUNCDESC* past = nullptr;
  EXPECT_EQ(info->GetFuncDesc(5, &past), E_INVALIDARG);
  EXPECT_EQ(past, nullptr);
}

TEST_F(OptionsObject, AHiddenOptionIsReachableAndFlaggedHidden) {
  auto object = Make(false);
  EXPECT_EQ(Get(object.Get(), u"secret").AsBool(), false);
  ASSERT_EQ(Put(object.Get(), IdOf(object.Get(), u"Secret"), {OleVariant(true)}), S_OK);
  EXPECT_TRUE(Value(kSecret).AsBool());
  auto info = TypeInfoOf(object.Get());
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  ASSERT_EQ(attr->cFuncs, 7);
  for (std::uint32_t i = 0; i < 7; ++i) {
    FUNCDESC* f = nullptr;
    ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
    EXPECT_EQ(f->wFuncFlags, i >= 5 ? FUNCFLAG_FHIDDEN : 0) << i;
    info->ReleaseFuncDesc(f);
  }
}

TEST_F(OptionsObject, NamesDocumentationAndTheDispatchThroughTheTypeInfo) {
  auto object = Make(false);
  std::uint32_t count = 0;
  EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> none;
  EXPECT_EQ(object->GetTypeInfo(1, 0, none.Put()), E_INVALIDARG);
  auto info = TypeInfoOf(object.Get());
  const DISPID model = IdOf(object.Get(), u"Model");

  BString names[2];
  EXPECT_EQ(info->GetNames(model, names[0].Put(), 2, &count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(names[0].View(), u"Model");
  EXPECT_EQ(info->GetNames(model, names[0].Put(), 0, &count), E_INVALIDARG);
  EXPECT_EQ(info->GetNames(model + 10, names[0].Put(), 1, &count), E_INVALIDARG);

  BString name, doc, file;
  DWORD context = 7;
  EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, name.Put(), doc.Put(), &context, file.Put()), S_OK);
  EXPECT_EQ(name.View(), u"IDispatch");
  EXPECT_EQ(info->GetDocumentation(model, name.Put(), doc.Put(), &context, file.Put()), S_OK);
  EXPECT_EQ(name.View(), u"Model");
  EXPECT_EQ(doc.View(), u"The model.");
  EXPECT_EQ(context, 0u);
  EXPECT_TRUE(file.View().empty());
  EXPECT_EQ(info->GetDocumentation(model + 10, name.Put(), doc.Put(), &context, file.Put()), E_INVALIDARG);

  const char16_t* wanted = u"timeout";
  DISPID id = 0;
  EXPECT_EQ(info->GetIDsOfNames(&wanted, 1, &id), S_OK);
  EXPECT_EQ(id, IdOf(object.Get(), u"Timeout"));
  DISPPARAMS noArgs{};
  OleVariant result;
  EXPECT_EQ(info->Invoke(nullptr, id, DISPATCH_PROPERTYGET, &noArgs, result.Put(), nullptr, nullptr), S_OK);
  EXPECT_EQ(result.AsInt(), 100);
  ITypeLib* lib = reinterpret_cast<ITypeLib*>(1);
  std::uint32_t index = 9;
  EXPECT_EQ(info->GetContainingTypeLib(&lib, &index), E_NOTIMPL);
  EXPECT_EQ(lib, nullptr);
}

TEST_F(OptionsObject, AnOptionWithoutASettingIsNotAdded) {
  auto object = Make(false, false);
  BString name(u"Missing");
  EXPECT_FALSE(Succeeded(object->AddOption(kMissing, name.Get(), VARIANT_FALSE, VARIANT_FALSE)));
  const char16_t* wanted = u"Missing";
  DISPID id = 0;
  EXPECT_EQ(object->GetIDsOfNames(GUID_NULL, &wanted, 1, 0, &id), DISP_E_UNKNOWNNAME);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(TypeInfoOf(object.Get())->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->cFuncs, 5);
}

TEST_F(OptionsObject, ADropDownTakesTheTextOfAnEntry) {
  auto object = Make(true);
  const DISPID model = IdOf(object.Get(), u"Model");
  ASSERT_EQ(Put(object.Get(), model, {OleVariant(u"TAG")}), S_OK);
  std::int32_t row = -1;
  auto table = CastHostObject<IcvTableSetting_DVS>(GetSetting(host_->Manager(), kModel).Get());
  OleCheck(table->GetCurrentRow(&row));
  EXPECT_EQ(row, 1);
  EXPECT_EQ(Get(object.Get(), u"Model").AsString(), u"Tag");

  WideString message;
  EXPECT_EQ(Put(object.Get(), model, {OleVariant(u"x")}, &message), DISP_E_EXCEPTION);
  EXPECT_EQ(message,
            u"Unable to apply the \"x\" value.\r\n\r\nPossible values: \"DOM\", \"Tag\", \"Hybrid\", \"Tree\"");
  OleCheck(table->GetCurrentRow(&row));
  EXPECT_EQ(row, 1);

  // Settings that are no tables are written as they are.
  ASSERT_EQ(Put(object.Get(), IdOf(object.Get(), u"Timeout"), {OleVariant(std::int32_t{300})}), S_OK);
  EXPECT_EQ(Value(kTimeout).AsInt(), 300);
}

}  // namespace
