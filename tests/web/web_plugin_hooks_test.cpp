// The Web Testing plug-in on the test host: its browser hook provider (which processes get
// "pwIEHook.dll", the two arrays, install and removal), the tree-model check of a test run (the
// log entry once per test item per run, the warning of state 12), the plug-in's tree model read
// back from the settings, the host's minor version on load, and the option pages' bitmap.
#include <gtest/gtest.h>

#include <memory>

#include "core/host/host_settings.h"
#include "core/host/module_proxy.h"
#include "host/com_support.h"
#include "host/test_host.h"
#include "openapps/module_resources.h"
#include "platform/automation/safearray.h"
#include "platform/rtl/strings.h"
#include "platform/ui/resources.h"
#include "web/hooks/hook_settings.h"
#include "web/plugin/web_testing_plugin.h"
#include "web/settings/dynamic_ids.h"
#include "web/settings/web_settings.h"

namespace {

using namespace pw;
using namespace pw::web;

std::vector<WideString> Texts(const OleVariant& array) {
  std::vector<WideString> items;
  if (array.Get().vt != (VT_ARRAY | VT_VARIANT)) return items;
  SAFEARRAY* a = array.Get().parray;
  std::int32_t lo = 0, hi = -1;
  SafeArrayGetLBound(a, 1, &lo);
  SafeArrayGetUBound(a, 1, &hi);
  for (std::int32_t i = lo; i <= hi; ++i) {
    OleVariant v;
    SafeArrayGetElement(a, &i, v.Put());
    OleVariant s;
    items.push_back(Succeeded(VariantChangeType(s.Ptr(), v.Ptr(), 0, VT_BSTR)) ? WideString(BstrView(s.Get().bstrVal))
                                                                               : WideString(u"?"));
  }
  return items;
}

// The object of engine event 3: a test item's type and key.
class TEngineObject final : public Implements<ComObject, IpwTestEngineEventObject> {
 public:
  TEngineObject(GUID type, GUID item) : type_(type), item_(item) {}
  HRESULT GetTypeKey(GUID* key) override { return *key = type_, S_OK; }
  PW_HOST_RESERVED(4)
  PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7) PW_HOST_RESERVED(8) PW_HOST_RESERVED(9) HRESULT
      GetItemKey(GUID* key) override {
    return *key = item_, S_OK;
  }

 private:
  GUID type_, item_;
};

std::unique_ptr<host::TestHost> MakeHost(std::int32_t minorVersion = 0) {
  SetHostExeFolderOverride(Utf8ToWide(PW_TEST_HOST_DIR));
  host::TestHostOptions options;
  options.interactive = true;
  options.folder = Utf8ToWide(PW_TEST_HOST_DIR "/");
  options.minorVersion = minorVersion;
  return std::make_unique<host::TestHost>(options);
}

class WebPluginHooks : public ::testing::Test {
 protected:
  WebPluginHooks() : host_(MakeHost()) {
    RegisterModuleResources(&ModuleResourceTable());  // as the module does at its start
    plugin_ = MakeObject<TpwWebTestingPlugin>(TpwWebTestingParts{});
    EXPECT_EQ(plugin_->Initialize(host_->Manager()), S_OK);
    group_ = RegisterSettingsGroup(host_->Manager(), kWebTestingPluginKey, u"Web Testing", u"", 0, 0, u"");
    EXPECT_EQ(Pages()->RegisterPage(group_.Get()), S_OK);
    for (const GUID* key : {&kTreeModelKey, &kLegacyFeaturesKey, &kIdentificationAttributeKey, &kDynamicIdSettingKey,
                            &kIgnoreDynamicUrlParamsKey, &kDynamicParametersKey})
      Pages()->SetSettingsGroup(S(*key), kWebTestingPluginKey);
  }
  ~WebPluginHooks() override {
    if (plugin_) (void)plugin_->Finalize();
    plugin_ = nullptr;
    group_ = nullptr;
    host_.reset();
    StopHelperModules();
  }
  IpwSetting* S(const GUID& key) { return static_cast<IcvTableSetting_DVS*>(host_->Settings().FindSetting(key).Get()); }
  IpwSettingsPageProvider* Pages() { return static_cast<IpwSettingsPageProvider*>(plugin_.Get()); }
  IpwSettingsChangeListener* Changes() { return static_cast<IpwSettingsChangeListener*>(plugin_.Get()); }
  IpwOpenAppHookProvider2* Hooks() { return static_cast<IpwOpenAppHookProvider2*>(plugin_.Get()); }
  IpwTestEngineEvents* Engine() { return static_cast<IpwTestEngineEvents*>(plugin_.Get()); }
  void ChangeTreeModel(std::int32_t row) {
    auto tree = host_->Settings().FindSetting(kTreeModelKey);
    ASSERT_EQ(static_cast<IcvTableSetting_DVS*>(tree.Get())->SetCurrentRow(row), S_OK);
    Changes()->SettingChanged(S(kTreeModelKey), kWebTestingPluginKey);
  }
  HRESULT ItemStarts(const GUID& type, const GUID& item) {
    auto object = MakeObject<TEngineObject>(type, item);
    OleVariant param(static_cast<IUnknown*>(static_cast<IpwTestEngineEventObject*>(object.Get())));
    return Engine()->OnEvent(kEngineTestItemStarts, param.Get());
  }
  std::size_t Warnings() { return host_->Log().CountOf(host::LogEntry::Warning); }

  std::unique_ptr<host::TestHost> host_;
  ComPtr<TpwWebTestingPlugin> plugin_;
  ComPtr<IpwSettingsGroup> group_;
};

TEST_F(WebPluginHooks, ProcessesAreTestedByNameModulesAndWindowClass) {
  struct Case {
    const char16_t* name;
    std::vector<WideString> modules;
    const char16_t* windowClass;
    bool supported;       // IsProcessSupported (the host's module list)
    bool withoutModules;  // IsTargetProcess with no module list
  };
  const Case cases[] = {
      {u"MyIEXPLORE.EXE.copy", {}, u"IEFrame", true, true},  // upper case inside a longer name
      {u"unknown.exe", {u"KERNEL32.DLL", u"MSHTML.DLL"}, u"Main", true, false},
      {u"app.exe", {u"Adobe AIR.dll"}, u"Main", true, false},
      {u"player.exe", {u"KERNEL32.DLL"}, u"shockwaveflash", true, true},  // the window class, any case
      {u"chrome.exe", {u"chrome.dll"}, u"Chrome_WidgetWin_1", false, false},
      {u"iexplore", {}, u"Main", false, false},  // no ".exe"
  };
  DWORD id = 6101;
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.name));
    const HWND window = 0x61000 + id;
    auto process = host_->Processes().Add({id++, c.name, c.modules, {{window, c.windowClass}}});
    VARIANT_BOOL supported = VARIANT_TRUE;
    ASSERT_EQ(Hooks()->IsProcessSupported(process.Get(), &supported), S_OK);
    EXPECT_EQ(supported != 0, c.supported);
    supported = VARIANT_TRUE;
    ASSERT_EQ(Hooks()->IsTargetProcess(process.Get(), nullptr, &supported), S_OK);
    EXPECT_EQ(supported != 0, c.withoutModules);
  }
  // Without a host (before Initialize) nothing is supported, and that is no failure.
  auto fresh = MakeObject<TpwWebTestingPlugin>(TpwWebTestingParts{});
  auto process = host_->Processes().Add({id, u"iexplore.exe", {}, {}});
  VARIANT_BOOL supported = VARIANT_TRUE;
  EXPECT_EQ(static_cast<IpwOpenAppHookProvider2*>(fresh.Get())->IsProcessSupported(process.Get(), &supported), S_OK);
  EXPECT_FALSE(supported);
  EXPECT_EQ(static_cast<IpwOpenAppHookProvider2*>(fresh.Get())->InstallHook(process.Get()), E_UNEXPECTED);
}

TEST_F(WebPluginHooks, InstallSendsTheArraysAndLoadsTheHookRemoveUnloadsIt) {
  auto process = host_->Processes().Add({6201, u"iexplore.exe", {u"MSHTML.DLL"}, {}});
  ASSERT_EQ(Hooks()->InstallHook(process.Get()), S_OK);
  ChangeTreeModel(2);                  // "Hybrid" between the two installs
  EXPECT_EQ(plugin_->TreeModel(), 2);  // the plug-in's own model follows the settings
  ASSERT_EQ(Hooks()->InstallHook(process.Get()), S_OK);
  // The host passes the published tree model on to the running hook too (a Parameter call); here
  // only the plug-in's own calls count.
  auto Own = [&] {
    auto all = process->Hooks().Calls();
    std::erase_if(all, [](const host::HookCall& c) { return c.kind == host::HookCall::Parameter; });
    return all;
  };
  auto calls = Own();
  ASSERT_EQ(calls.size(), 4u);
  for (std::size_t i : {0u, 2u}) {
    EXPECT_EQ(calls[i].kind, host::HookCall::Parameters);
    EXPECT_EQ(calls[i + 1].kind, host::HookCall::Command);
    EXPECT_EQ(calls[i + 1].name, kLoadHookCommand);
    EXPECT_EQ(calls[i + 1].value.AsString(), kIEHookLibrary);
  }
  const auto keys = Texts(calls[0].value);
  ASSERT_EQ(keys.size(), 7u);
  EXPECT_EQ(keys, Texts(calls[2].value));  // the same keys both times
  EXPECT_EQ(keys[0], u"{66F235D3-108D-4961-A923-03333575E40E}");
  const auto first = Texts(calls[0].values), second = Texts(calls[2].values);
  ASSERT_EQ(first.size(), 7u);
  ASSERT_EQ(second.size(), 7u);
  EXPECT_EQ(first[0], u"3");
  EXPECT_EQ(second[0], u"2");  // only the changed value differs
  for (std::size_t i = 1; i < 7; ++i) EXPECT_EQ(first[i], second[i]);
  // The target keeps each pair as a parameter.
  EXPECT_EQ(process->Hooks().Parameters().at(keys[0]).AsInt(), 2);
  EXPECT_EQ(process->Hooks().LoadedLibraries(), std::vector<WideString>{kIEHookLibrary});
  ASSERT_EQ(Hooks()->RemoveHook(process.Get()), S_OK);
  calls = Own();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[4].name, kUnloadHookCommand);
  EXPECT_TRUE(process->Hooks().LoadedLibraries().empty());
  // A process without a hook channel: both quietly do nothing.
  process->SetChannelState(host::HookChannelState::NoChannel);
  EXPECT_EQ(Hooks()->InstallHook(process.Get()), S_OK);
  EXPECT_EQ(Hooks()->RemoveHook(process.Get()), S_OK);
  EXPECT_EQ(Own().size(), 5u);
}

// The host's command target: arrays that do not pair up are recorded but change no parameter.
TEST_F(WebPluginHooks, TheCommandTargetTakesOnlyArraysThatPairUp) {
  auto process = host_->Processes().Add({6301, u"iexplore.exe", {}, {}});
  auto array = [](std::vector<OleVariant> items) {
    SAFEARRAY* a = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<std::uint32_t>(items.size()));
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(items.size()); ++i)
      SafeArrayPutElement(a, &i, items[static_cast<std::size_t>(i)].Ptr());
    OleVariant v;
    v.Ptr()->vt = VT_ARRAY | VT_VARIANT;
    v.Ptr()->parray = a;
    return v;
  };
  const OleVariant two = array({OleVariant(u"A"), OleVariant(u"B")}), one = array({OleVariant(std::int32_t{1})});
  const OleVariant numbers = array({OleVariant(std::int32_t{1}), OleVariant(std::int32_t{2})});
  struct Case {
    const OleVariant* keys;
    const OleVariant* values;
    bool taken;
  } cases[] = {{&two, &one, false}, {&numbers, &two, false}, {&one, &one, false}, {&two, &numbers, true}};
  for (const auto& c : cases) {
    VARIANT_BOOL result = VARIANT_TRUE;
    ASSERT_EQ(process->Hooks().SetParameters(c.keys->Get(), c.values->Get(), &result), S_OK);
    EXPECT_EQ(result != 0, c.taken);
  }
  EXPECT_EQ(process->Hooks().Calls().size(), 4u);
  const auto parameters = process->Hooks().Parameters();
  ASSERT_EQ(parameters.size(), 2u);
  EXPECT_EQ(parameters.at(u"B").AsInt(), 2);
}

TEST_F(WebPluginHooks, TreeModelCheckLogsOncePerItemPerRunAndWarnsOnState12) {
  const GUID test = kCheckedTestItemTypes[0], other = kCheckedTestItemTypes[1];
  const GUID a = MakeGuid("{A0000000-0000-0000-0000-000000000001}"),
             b = MakeGuid("{B0000000-0000-0000-0000-000000000002}");
  // Tree: suppressed.
  ASSERT_EQ(ItemStarts(test, a), S_OK);
  EXPECT_EQ(Warnings(), 0u);
  ChangeTreeModel(2);  // "Hybrid"
  const auto messages = host_->Messenger().Messages().size();
  ASSERT_EQ(Engine()->OnEvent2(kEngineRunStarts), S_OK);
  ASSERT_EQ(ItemStarts(test, a), S_OK);
  ASSERT_EQ(ItemStarts(test, a), S_OK);
  ASSERT_EQ(Warnings(), 1u);
  const auto entry = host_->Log().Entries().back();
  EXPECT_EQ(entry.text, kTreeModelLogText);
  EXPECT_EQ(entry.additionalText, TreeModelLogDetails(u"Hybrid"));
  EXPECT_NE(entry.additionalText.find(u"property is <b>Hybrid</b>."), WideString::npos);
  EXPECT_EQ(entry.priority, kTreeModelLogPriority);
  ASSERT_EQ(ItemStarts(other, b), S_OK);
  EXPECT_EQ(Warnings(), 2u);
  // Another type of object, or no object at all: no check.
  ASSERT_EQ(ItemStarts(MakeGuid("{C0000000-0000-0000-0000-000000000003}"),
                       MakeGuid("{C1000000-0000-0000-0000-000000000000}")),
            S_OK);
  ASSERT_EQ(Engine()->OnEvent(kEngineTestItemStarts, OleVariant(std::int32_t{5}).Get()), S_OK);
  EXPECT_EQ(Warnings(), 2u);
  // A new run reports the item again.
  ASSERT_EQ(Engine()->OnEvent2(kEngineRunEnds), S_OK);
  ASSERT_EQ(Engine()->OnEvent2(kEngineRunStarts), S_OK);
  ASSERT_EQ(ItemStarts(test, a), S_OK);
  EXPECT_EQ(Warnings(), 3u);
  // State 12: the warning to the user.
  ASSERT_EQ(Engine()->OnEvent2(kEngineTreeModelCheck), S_OK);
  ASSERT_EQ(host_->Messenger().Messages().size(), messages + 1);
  EXPECT_EQ(host_->Messenger().Messages().back().text, TreeModelWarningText(u"Hybrid"));
  EXPECT_EQ(host_->Messenger().Messages().back().helpContext, kTreeModelWarningHelp);
  // Legacy features suppress both.
  ASSERT_EQ(host_->Settings().FindSetting(kLegacyFeaturesKey)->put_Value(OleVariant(true).Get()), S_OK);
  Changes()->SettingChanged(S(kLegacyFeaturesKey), kWebTestingPluginKey);
  const auto after = host_->Messenger().Messages().size();
  ASSERT_EQ(ItemStarts(test, b), S_OK);
  ASSERT_EQ(Engine()->OnEvent2(kEngineTreeModelCheck), S_OK);
  EXPECT_EQ(Warnings(), 3u);
  EXPECT_EQ(host_->Messenger().Messages().size(), after);
  ASSERT_EQ(Engine()->OnEvent2(kEngineRunEnds), S_OK);
}

TEST_F(WebPluginHooks, OptionPagesCarryTheirBitmap) {
  for (const GUID* key : {&kWebTestingPageKey, &kObjectIdentificationPageKey, &kUrlProcessingPageKey}) {
    auto page = host_->Options().FindEntry(*key);
    ASSERT_NE(page, nullptr);
    EXPECT_NE(page->Bitmap(), HBITMAP{0});
  }
}

// Patterns stored by host 9.3: a host 9.3 loads them as they are, a host 9.0 with every row off.
TEST(WebPluginHostVersion, TheMinorVersionDecidesWhetherStoredPatternsLoadDisabled) {
  for (std::int32_t minor : {0, 3}) {
    SCOPED_TRACE(minor);
    auto host = MakeHost(minor);
    auto plugin = MakeObject<TpwWebTestingPlugin>(TpwWebTestingParts{});
    ASSERT_EQ(plugin->Initialize(host->Manager()), S_OK);
    {
      auto group = RegisterSettingsGroup(host->Manager(), kWebTestingPluginKey, u"Web Testing", u"", 0, 0, u"");
      ASSERT_EQ(static_cast<IpwSettingsPageProvider*>(plugin.Get())->RegisterPage(group.Get()), S_OK);
      auto table = host->Settings().FindSetting(kDynamicIdSettingKey);
      table->SetStoredVersion(std::pair{9, 3});
      static_cast<IpwSettingsPageProvider*>(plugin.Get())
          ->SetSettingsGroup(static_cast<IcvTableSetting_DVS*>(table.Get()), kWebTestingPluginKey);
      bool anyEnabled = false;
      for (const auto& r : table->Rows()) anyEnabled = anyEnabled || r[kDiEnabled].AsBool();
      EXPECT_EQ(anyEnabled, minor == 3);
      EXPECT_EQ(plugin->Settings()->LastPatterns().empty(), minor == 0);
    }
    EXPECT_EQ(plugin->Finalize(), S_OK);
    plugin = nullptr;
    host.reset();
    StopHelperModules();
  }
}

}  // namespace
