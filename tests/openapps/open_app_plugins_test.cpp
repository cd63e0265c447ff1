// The five Open-Applications plug-ins, each a row of the tables below: interfaces, object
// types, call information, which processes they serve and the exact hook command sequences.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "openapps/open_app_plugins.h"
#include "openapps/registrator.h"
#include "openapps_fixture.h"
#include "platform/automation/safearray.h"
#include "tests/support/scratch_dir.h"

namespace pw {
namespace {

enum Kind { MSVC, Delphi, MSAA, UIA, VB };
const char* const kKindNames[] = {"MSVC", "Delphi", "MSAA", "UIA", "VB"};

ComPtr<IcvPlugin> Make(Kind k) {
  switch (k) {
    case MSVC: return ComPtr<IcvPlugin>(MakeObject<TpwMSVCPlugin>().Get());
    case Delphi: return ComPtr<IcvPlugin>(MakeObject<TpwDelphiPlugin>().Get());
    case MSAA: return ComPtr<IcvPlugin>(MakeObject<TpwMSAAPlugin>().Get());
    case UIA: return ComPtr<IcvPlugin>(MakeObject<TpwUiaSupportPlugin>().Get());
    case VB: return ComPtr<IcvPlugin>(MakeObject<TpwVBAppPlugin>().Get());
  }
  return nullptr;
}

// What the host asks call information for: an object of a type.
class TCallInfoRequest final : public Implements<ComObject, IpwObjectCallInfoRequest> {
 public:
  explicit TCallInfoRequest(const GUID& type) : type_(type) {}
  HRESULT Reserved3() override { return E_NOTIMPL; }
  HRESULT Reserved4() override { return E_NOTIMPL; }
  HRESULT GetTypeKey(GUID* key) override {
    *key = type_;
    return S_OK;
  }
  HRESULT Reserved6() override { return E_NOTIMPL; }
  HRESULT Reserved7() override { return E_NOTIMPL; }
  HRESULT Reserved8() override { return E_NOTIMPL; }
  HRESULT Reserved9() override { return E_NOTIMPL; }
  HRESULT Reserved10() override { return E_NOTIMPL; }
  HRESULT Reserved11() override { return E_NOTIMPL; }
  HRESULT Reserved12() override { return E_NOTIMPL; }
  HRESULT GetObjectOfKind(const GUID&, IUnknown** object) override {
    *object = nullptr;
    return S_OK;
  }

 private:
  GUID type_;
};

WideString CallInfoName(IUnknown* object) {
  auto info = QueryAs<IpwObjectCallInformation>(object);
  if (!info) return u"(none)";
  VARIANT_BOOL first = VARIANT_FALSE, second = VARIANT_TRUE;
  std::int32_t count = 0;
  BString name, param;
  EXPECT_EQ(info->GetFirstFlag(&first), S_OK);
  EXPECT_EQ(info->GetSecondFlag(&second), S_OK);
  EXPECT_EQ(info->GetParamCount(&count), S_OK);
  EXPECT_EQ(info->GetParamName(7, param.Put()), S_OK);  // "Name" for any index
  EXPECT_EQ(first, VARIANT_TRUE);
  EXPECT_EQ(second, VARIANT_FALSE);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(param.View(), u"Name");
  EXPECT_EQ(info->GetName(name.Put()), S_OK);
  return WideString(name.View());
}

// The call information a variant carries, as a list of names ("" for an empty variant).
std::vector<WideString> CallInfoNames(const OleVariant& v) {
  const VARIANT& x = *v.Ptr();
  if (x.vt == VT_EMPTY) return {};
  if (x.vt == VT_DISPATCH) return {CallInfoName(x.pdispVal)};
  if (x.vt == (VT_ARRAY | VT_VARIANT)) {
    std::vector<WideString> names;
    std::int32_t lo = 0, hi = -1;
    SafeArrayGetLBound(x.parray, 1, &lo);
    SafeArrayGetUBound(x.parray, 1, &hi);
    for (std::int32_t i = lo; i <= hi; ++i) {
      OleVariant item;
      SafeArrayGetElement(x.parray, &i, item.Ptr());
      EXPECT_EQ(item.Ptr()->vt, VT_UNKNOWN);
      names.push_back(CallInfoName(item.Ptr()->punkVal));
    }
    return names;
  }
  return {u"(unexpected variant)"};
}

class Plugins : public OpenAppsTest {
 protected:
  ComPtr<IcvPlugin> Started(Kind k) {
    auto p = Make(k);
    EXPECT_EQ(p->Initialize(host->Manager()), S_OK);
    EXPECT_EQ(p->PostInitialize(), S_OK);
    return p;
  }
};

struct DescriptorRow {
  Kind kind;
  const char* typeKey;
  const char16_t* typeName;
  std::int32_t order;
  std::vector<IID> answers, refuses;
};

TEST_F(Plugins, DescribeTheirObjectTypesAndAnswerTheirInterfaces) {
  const IID hook = IpwOpenAppHookProvider::iid, hook2 = IpwOpenAppHookProvider2::iid;
  const IID page = IpwSettingsPageProvider::iid, listener = IpwSettingsChangeListener::iid;
  const IID kinds = IpwObjectKindProvider::iid, a = IpwSettingValueValidator::iid, b = IpwMSAAExtensionB::iid;
  const std::vector<IID> common = {IcvPlugin::iid, IcvKeyItem::iid, IpwObjectTypeDescriptor::iid,
                                   IpwSubProviderList::iid, IpwObjectCallProvider::iid, hook};
  const std::vector<DescriptorRow> rows = {
      {MSVC, "{CA743EE8-5C5E-4DBD-A181-C9237877D4C1}", u"NativeCPPObject", 0, {}, {hook2, page, listener, kinds, a, b}},
      {Delphi, "{2675B1F0-347D-4847-A3A3-EF9C7E645BA7}", u"NativeDelphiObject", 0, {}, {hook2, page, listener, kinds, a, b}},
      {MSAA, "{29A12FDA-8C07-40A5-9C08-2588BCE9AA97}", u"NativeMSAA", -1000, {page, listener, a, b}, {hook2, kinds}},
      {UIA, "{F9475F9C-D137-4928-A5B1-FF98C1443C52}", u"NativeUIAObject", -999, {hook2, page, listener, kinds}, {a, b}},
      {VB, "{543EA129-115D-4E1C-BA3A-AD1FDBEB67D4}", u"NativeVBObject", 0, {hook2}, {page, listener, kinds, a, b}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(kKindNames[row.kind]);
    const std::int32_t handlesBefore = GdiObjectCount();
    {
      auto p = Make(row.kind);
      for (const auto& iid : common) {
        ComPtr<IUnknown> i;
        EXPECT_EQ(p->QueryInterface(iid, i.PutVoid()), S_OK) << GuidToString(iid);
      }
      for (const auto& iid : row.answers) {
        ComPtr<IUnknown> i;
        EXPECT_EQ(p->QueryInterface(iid, i.PutVoid()), S_OK) << GuidToString(iid);
      }
      for (const auto& iid : row.refuses) {
        ComPtr<IUnknown> i;
        EXPECT_EQ(p->QueryInterface(iid, i.PutVoid()), E_NOINTERFACE) << GuidToString(iid);
      }
      // Every interface's key is the plug-in's key.
      GUID pluginKey{}, hookKey{};
      ASSERT_EQ(p->GetKey(&pluginKey), S_OK);
      ASSERT_EQ(QueryAs<IpwOpenAppHookProvider>(p.Get())->GetKey(&hookKey), S_OK);
      EXPECT_EQ(hookKey, pluginKey);
      EXPECT_EQ(GuidToString(pluginKey), GuidToString(OpenAppsPluginTable()[row.kind].key));
      auto keyOf = [](auto* intf, auto getter) {
        GUID key{};
        if (intf) (intf->*getter)(&key);
        return key;
      };
      if (auto page = QueryAs<IpwSettingsPageProvider>(p.Get())) {
        EXPECT_EQ(keyOf(page.Get(), &IpwSettingsPageProvider::GetPageKey), pluginKey);
        EXPECT_EQ(keyOf(QueryAs<IpwSettingsChangeListener>(p.Get()).Get(), &IpwSettingsChangeListener::GetListenerKey),
                  pluginKey);
      }
      if (auto extA = QueryAs<IpwSettingValueValidator>(p.Get())) {
        EXPECT_EQ(keyOf(extA.Get(), &IpwSettingValueValidator::GetKey), pluginKey);
        EXPECT_EQ(keyOf(QueryAs<IpwMSAAExtensionB>(p.Get()).Get(), &IpwMSAAExtensionB::GetKey), pluginKey);
        VARIANT v{};
        EXPECT_EQ(extA->ValidatorOperation4(), S_OK);
        EXPECT_EQ(extA->ValidateSetting(nullptr, v), S_OK);
        EXPECT_EQ(extA->ValidatorOperation6(v), S_OK);
      }

      auto d = QueryAs<IpwObjectTypeDescriptor>(p.Get());
      GUID type{};
      BString name;
      std::int32_t order = 1, tag = -1;
      ASSERT_EQ(d->GetTypeKey(&type), S_OK);
      ASSERT_EQ(d->GetTypeName(name.Put()), S_OK);
      ASSERT_EQ(d->GetOrder(&order), S_OK);
      EXPECT_EQ(GuidToString(type), row.typeKey);
      EXPECT_EQ(name.View(), row.typeName);
      EXPECT_EQ(order, row.order);
      ASSERT_EQ(d->GetTag(&tag), S_OK);
      EXPECT_EQ(tag, 0);
      ASSERT_EQ(d->SetTag(42), S_OK);
      ASSERT_EQ(d->GetTag(&tag), S_OK);
      EXPECT_EQ(tag, 42);

      // The bitmap is loaded once and stays the plug-in's.
      std::int32_t first = 0, second = 0;
      ASSERT_EQ(d->GetBitmap(&first), S_OK);
      ASSERT_EQ(d->GetBitmap(&second), S_OK);
      EXPECT_EQ(first, second);
      EXPECT_EQ(GdiObjectCount(), handlesBefore + 1);
      BitmapData data;
      ASSERT_TRUE(GetBitmapData(first, data));
      EXPECT_EQ(data.width, 16);
      EXPECT_EQ(data.height, 16);

      // The one-item list answers the descriptor; the UI Automation plug-in only at index 0.
      auto list = QueryAs<IpwSubProviderList>(p.Get());
      EXPECT_EQ(list->GetCount(), 1);
      for (std::int32_t index : {0, 5}) {
        IUnknown* item = reinterpret_cast<IUnknown*>(0x1);
        const bool expected = index == 0 || row.kind != UIA;
        EXPECT_EQ(list->GetItem(index, &item), expected ? VARIANT_TRUE : VARIANT_FALSE) << index;
        if (expected) {
          EXPECT_EQ(IdentityOf(item), IdentityOf(d.Get()));
          item->Release();
        } else {
          EXPECT_EQ(item, nullptr);
        }
      }
    }
    EXPECT_EQ(GdiObjectCount(), handlesBefore);  // the plug-in freed its bitmap
  }
}

TEST_F(Plugins, MissingBitmapResourceFailsAndIsNotCached) {
  auto p = Make(VB);
  auto d = QueryAs<IpwObjectTypeDescriptor>(p.Get());
  RegisterModuleResources(nullptr);
  std::int32_t bitmap = -1;
  EXPECT_TRUE(Failed(d->GetBitmap(&bitmap)));
  EXPECT_NE(LastErrorText().find(u"VB_OBJECT"), WideString::npos);
  RegisterModuleResources(&ModuleResourceTable());
  ASSERT_EQ(d->GetBitmap(&bitmap), S_OK);
  EXPECT_TRUE(IsGdiObject(bitmap));
}

TEST_F(Plugins, UiaKindBitmapsForSilverlightAndTheRest) {
  const std::int32_t handlesBefore = GdiObjectCount();
  {
    auto p = Make(UIA);
    auto kinds = QueryAs<IpwObjectKindProvider>(p.Get());
    std::int32_t type = 0, silver = 0, again = 0, other = 0;
    ASSERT_EQ(QueryAs<IpwObjectTypeDescriptor>(p.Get())->GetBitmap(&type), S_OK);
    BString s1(u"SilverLight"), s2(u"silverlight"), button(u"Button");
    ASSERT_EQ(kinds->GetKindBitmap(s1.Get(), &silver), S_OK);
    ASSERT_EQ(kinds->GetKindBitmap(s2.Get(), &again), S_OK);
    ASSERT_EQ(kinds->GetKindBitmap(button.Get(), &other), S_OK);
    EXPECT_NE(silver, type);
    EXPECT_EQ(silver, again);
    EXPECT_EQ(other, type);
    EXPECT_EQ(GdiObjectCount(), handlesBefore + 2);  // each loaded once
  }
  EXPECT_EQ(GdiObjectCount(), handlesBefore);  // both freed with the plug-in
}

struct CallRow {
  Kind kind;
  GUID type;
  bool answer;
  std::vector<WideString> names;
};

TEST_F(Plugins, CallInformationByObjectType) {
  const GUID common = kCallTypeCommon, windowed = kCallTypeWindowed, other = MakeGuid("{00000000-0000-0000-0000-000000000001}");
  const GUID delphi = MakeGuid("{2675B1F0-347D-4847-A3A3-EF9C7E645BA7}"), msaa = MakeGuid("{29A12FDA-8C07-40A5-9C08-2588BCE9AA97}");
  const GUID vb = MakeGuid("{543EA129-115D-4E1C-BA3A-AD1FDBEB67D4}");
  const std::vector<CallRow> rows = {
      {MSVC, common, false, {}},
      {MSVC, windowed, false, {}},
      {Delphi, windowed, true, {u"VCLObject", u"CLXObject"}},
      {Delphi, common, true, {u"VCLObject", u"CLXObject"}},
      {Delphi, delphi, true, {u"VCLObject", u"CLXObject"}},
      {Delphi, other, false, {}},
      {MSAA, common, true, {u"MSAAObject"}},
      {MSAA, msaa, true, {u"MSAAObject"}},
      {MSAA, windowed, false, {}},
      {UIA, other, true, {}},
      {VB, windowed, true, {u"VBObject"}},
      {VB, common, true, {u"VBObject"}},
      {VB, vb, true, {u"VBObject"}},
      {VB, other, false, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(kKindNames[row.kind]) + " " + GuidToString(row.type));
    auto p = Make(row.kind);
    auto request = MakeObject<TCallInfoRequest>(row.type);
    OleVariant result(u"stale");  // cleared first
    VARIANT_BOOL answer = QueryAs<IpwObjectCallProvider>(p.Get())->GetCallInformation(request.Get(), result.Ptr());
    EXPECT_EQ(answer, row.answer ? VARIANT_TRUE : VARIANT_FALSE);
    EXPECT_EQ(CallInfoNames(result), row.names);
  }
}

TEST_F(Plugins, MSVCAndDelphiNeedTheHookParameterService) {
  for (Kind k : {MSVC, Delphi}) {
    SCOPED_TRACE(kKindNames[k]);
    auto p = Make(k);
    ASSERT_EQ(p->Initialize(host->Manager()), S_OK);
    EXPECT_EQ(p->PostInitialize(), S_OK);
    // A service that does not answer the hook parameter interface is refused.
    auto wrong = MakeObject<TCallInfoRequest>(GUID_NULL);
    host->SetService(host::services::kHookParameters, wrong->Identity());
    EXPECT_TRUE(Failed(p->PostInitialize()));
    host->SetService(host::services::kHookParameters, host->HookParameters().Identity());
    EXPECT_EQ(p->Finalize(), S_OK);
  }
}

// ---- Processes ------------------------------------------------------------------------------

struct ServedRow {
  const char* what;
  std::vector<WideString> modules, windows;
  bool hostFlag;
  bool vb;
};

TEST_F(Plugins, VisualBasicServesVisualBasic6ProcessesOnly) {
  const std::vector<ServedRow> rows = {
      {"runtime and main window", {u"app.exe", u"MSVBVM60.DLL"}, {u"ThunderRT6Main"}, false, true},
      {"names in other case", {u"msvbvm60.DLL"}, {u"Other", u"thunderrt6main"}, false, true},
      {"runtime without main window", {u"msvbvm60.DLL"}, {u"ThunderRT6FormDC"}, false, false},
      {"main window without runtime", {u"app.exe"}, {u"ThunderRT6Main"}, false, false},
      {"flagged by the host", {u"MSVBVM60.DLL"}, {u"ThunderRT6Main"}, true, false},
      {"nothing", {}, {}, false, false},
  };
  auto vb = Started(VB);
  auto msvc = Started(MSVC);
  DWORD id = 100;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    auto process = AddProcess(++id, u"app.exe", row.modules, row.windows);
    process->SetHostFlag(row.hostFlag);
    VARIANT_BOOL served = VARIANT_FALSE;
    ASSERT_EQ(QueryAs<IpwOpenAppHookProvider>(vb.Get())->IsProcessSupported(process.Get(), &served), S_OK);
    EXPECT_EQ(served != VARIANT_FALSE, row.vb);
    // IsTargetProcess with the host's module list answers the same.
    ComPtr<IpwModuleList> modules;
    ComPtr<IUnknown> service;
    ASSERT_EQ(host->Manager()->GetService(kProcessInfoService, service.Put()), S_OK);
    ASSERT_EQ(QueryAs<IpwProcessInfoService>(service.Get())->GetProcessModules(process.Get(), modules.Put()), S_OK);
    VARIANT_BOOL target = VARIANT_FALSE;
    ASSERT_EQ(QueryAs<IpwOpenAppHookProvider2>(vb.Get())->IsTargetProcess(process.Get(), modules.Get(), &target), S_OK);
    EXPECT_EQ(target, served);
    // The Visual C++ plug-in serves every process.
    ASSERT_EQ(QueryAs<IpwOpenAppHookProvider>(msvc.Get())->IsProcessSupported(process.Get(), &served), S_OK);
    EXPECT_EQ(served, VARIANT_TRUE);
  }
  // Without a manager nothing is served.
  auto idle = Make(VB);
  auto process = AddProcess(++id, u"app.exe", {u"MSVBVM60.DLL"}, {u"ThunderRT6Main"});
  VARIANT_BOOL served = VARIANT_TRUE;
  ASSERT_EQ(QueryAs<IpwOpenAppHookProvider>(idle.Get())->IsProcessSupported(process.Get(), &served), S_OK);
  EXPECT_EQ(served, VARIANT_FALSE);
}

TEST_F(Plugins, UiAutomationServesProcessesOnlyWhenItsLibraryIsOnTheSearchPath) {
  namespace fs = std::filesystem;
  test::ScratchDir scratch;
  fs::path folder = scratch.Path() / "uia-search";
  fs::create_directories(folder);
  auto process = AddProcess(7, u"app.exe", {}, {});
  for (bool present : {false, true}) {
    SCOPED_TRACE(present);
    fs::remove(folder / "UIAutomationCore.dll");
    if (present) std::ofstream(folder / "UIAutomationCore.dll") << "library";
    SetSystemSearchPath({"/nonexistent", folder.string()});
    auto p = Started(UIA);  // the search runs at Initialize
    VARIANT_BOOL served = VARIANT_FALSE, target = VARIANT_FALSE;
    ASSERT_EQ(QueryAs<IpwOpenAppHookProvider>(p.Get())->IsProcessSupported(process.Get(), &served), S_OK);
    ASSERT_EQ(QueryAs<IpwOpenAppHookProvider2>(p.Get())->IsTargetProcess(nullptr, nullptr, &target), S_OK);
    EXPECT_EQ(served != VARIANT_FALSE, present);
    EXPECT_EQ(target, served);
    EXPECT_EQ(p->Finalize(), S_OK);
    ASSERT_EQ(QueryAs<IpwOpenAppHookProvider2>(p.Get())->IsTargetProcess(nullptr, nullptr, &target), S_OK);
    EXPECT_EQ(target, VARIANT_FALSE);  // no manager
  }
  // A folder of that name is not the library.
  fs::remove(folder / "UIAutomationCore.dll");
  fs::create_directories(folder / "UIAutomationCore.dll");
  EXPECT_EQ(SearchPathA("UIAutomationCore.dll", 1024), "");
  fs::remove_all(folder);
  SetSystemSearchPath({});
}

// The calls a hook command target got, as text lines.
std::vector<std::string> CallLines(host::TProcess& process, std::size_t from = 0) {
  std::vector<std::string> lines;
  auto calls = process.Hooks().Calls();
  for (std::size_t i = from; i < calls.size(); ++i) {
    const auto& c = calls[i];
    std::string value;
    const VARIANT& v = *c.value.Ptr();
    if (v.vt == VT_NULL) value = "Null";
    else if (v.vt == VT_BOOL) value = v.boolVal ? "True" : "False";
    else if (v.vt == VT_BSTR) value = Narrow(BstrView(v.bstrVal));
    else value = "vt" + std::to_string(v.vt);
    lines.push_back(std::string(c.kind == host::HookCall::Command ? "command " : "parameter ") + Narrow(c.name) + " " + value);
  }
  return lines;
}

struct HookRow {
  Kind kind;
  std::vector<std::string> install, remove;
};

TEST_F(Plugins, InstallAndRemoveSendTheExactCommands) {
  const std::string load = "command {31B0A848-ACBE-4675-94E4-D6DE052D1C09} ";
  const std::string unload = "command {C9657614-62FE-4DDD-AD5F-6AB17BD0FB96} ";
  const std::vector<HookRow> rows = {
      {MSVC, {load + "pwMSVCHook.dll"}, {unload + "pwMSVCHook.dll"}},
      {Delphi, {load + "pwDelphiHook.dll"}, {unload + "pwDelphiHook.dll"}},
      // Without a page the accepted-windows setting is missing: "*"; the flag reads false.
      {MSAA,
       {"parameter {113608F6-48E7-4F3E-9C3D-E51E3D827266} *", "parameter {3BAA9083-AE46-48CE-BFF4-A656DECF8E2F} False",
        load + "pwMSAAAppHook.dll"},
       {unload + "pwMSAAAppHook.dll"}},
      {UIA, {"parameter {B936A2DA-76A8-4474-8B06-6D013115C353} *", load + "pwUiaHook.dll"}, {unload + "pwUiaHook.dll"}},
      {VB,
       {load + "pwVBHook.dll", "command {AD8C67D0-2765-461C-B3FD-089F2483D207} Null"},
       {unload + "pwVBHook.dll", "command {03AEE08F-351A-4D0C-AA18-588992B94152} Null"}},
  };
  DWORD id = 200;
  for (const auto& row : rows) {
    SCOPED_TRACE(kKindNames[row.kind]);
    auto p = Started(row.kind);
    auto hooks = QueryAs<IpwOpenAppHookProvider>(p.Get());
    auto process = AddProcess(++id, u"app.exe", {}, {});
    ASSERT_EQ(hooks->InstallHook(process.Get()), S_OK);
    EXPECT_EQ(CallLines(*process), row.install);
    EXPECT_EQ(process->Hooks().LoadedLibraries().size(), 1u);
    // What one process got does not count as broadcast to the running hooks.
    if (row.kind == MSAA) {
      auto& page = static_cast<TpwMSAAPlugin*>(p.Get())->Page();
      EXPECT_EQ(page.AcceptedWindowsSent(), u"");
      EXPECT_FALSE(page.CompatibilitySent());
    } else if (row.kind == UIA) {
      EXPECT_EQ(static_cast<TpwUiaSupportPlugin*>(p.Get())->Page().AcceptedWindowsSent(), u"");
    }
    std::size_t seen = process->Hooks().Calls().size();
    ASSERT_EQ(hooks->RemoveHook(process.Get()), S_OK);
    EXPECT_EQ(CallLines(*process, seen), row.remove);
    EXPECT_TRUE(process->Hooks().LoadedLibraries().empty());
    EXPECT_TRUE(host->HookParameters().Received().empty());  // only the process's own target
  }
}

struct ChannelRow {
  Kind kind;
  host::HookChannelState state;
  bool installs, removes;
};

TEST_F(Plugins, ProcessesWithoutAUsableChannelAreLeftAlone) {
  using S = host::HookChannelState;
  // MSVC and Delphi install on the channel's Boolean and remove on its reference; MSAA and UIA
  // use the reference both ways, VB the Boolean both ways.
  const std::vector<ChannelRow> rows = {
      {MSVC, S::NotAvailable, false, true},  {MSVC, S::NoChannel, false, false},  {MSVC, S::NoTarget, false, false},
      {Delphi, S::NotAvailable, false, true}, {Delphi, S::NoChannel, false, false},
      {MSAA, S::NotAvailable, true, true},   {MSAA, S::NoChannel, false, false},  {MSAA, S::NoTarget, false, false},
      {UIA, S::NotAvailable, true, true},    {UIA, S::NoChannel, false, false},
      {VB, S::NotAvailable, false, false},   {VB, S::NoChannel, false, false},    {VB, S::NoTarget, false, false},
      // A channel reported available but not handed out is not called, whichever answer counts.
      {MSVC, S::AvailableWithoutChannel, false, false}, {MSAA, S::AvailableWithoutChannel, false, false},
      {VB, S::AvailableWithoutChannel, false, false},
  };
  DWORD id = 300;
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(kKindNames[row.kind]) + " state " + std::to_string(static_cast<int>(row.state)));
    auto p = Started(row.kind);
    auto hooks = QueryAs<IpwOpenAppHookProvider>(p.Get());
    auto process = AddProcess(++id, u"app.exe", {}, {});
    process->SetChannelState(row.state);
    ASSERT_EQ(hooks->InstallHook(process.Get()), S_OK);
    EXPECT_EQ(!process->Hooks().Calls().empty(), row.installs);
    std::size_t seen = process->Hooks().Calls().size();
    ASSERT_EQ(hooks->RemoveHook(process.Get()), S_OK);
    EXPECT_EQ(process->Hooks().Calls().size() > seen, row.removes);
  }
  // A nil process is refused instead of being called.
  auto p = Started(MSVC);
  EXPECT_EQ(QueryAs<IpwOpenAppHookProvider>(p.Get())->InstallHook(nullptr), E_INVALIDARG);
}

TEST_F(Plugins, AFailingChannelFailsInstallAndRemoveWithItsReason) {
  using S = host::HookChannelState;
  const std::vector<std::pair<S, WideString>> failures = {
      {S::ChannelFails, u"The process has ended"},
      {S::QueryFails, u"The hook channel does not answer"},
  };
  DWORD id = 400;
  for (Kind k : {MSVC, Delphi, MSAA, UIA, VB})
    for (const auto& [state, reason] : failures) {
      SCOPED_TRACE(std::string(kKindNames[k]) + " state " + std::to_string(static_cast<int>(state)));
      auto p = Started(k);
      auto hooks = QueryAs<IpwOpenAppHookProvider>(p.Get());
      auto process = AddProcess(++id, u"app.exe", {}, {});
      process->SetChannelState(state);
      EXPECT_EQ(hooks->InstallHook(process.Get()), E_FAIL);
      EXPECT_EQ(LastErrorText(), reason);
      EXPECT_EQ(hooks->RemoveHook(process.Get()), E_FAIL);
      EXPECT_EQ(LastErrorText(), reason);
      EXPECT_TRUE(process->Hooks().Calls().empty());
    }
}

}  // namespace
}  // namespace pw
