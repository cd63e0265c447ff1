// The browser hook's settings arrays, the process test and the install and removal through the
// hook agent of the test host's processes.
#include <gtest/gtest.h>

#include <memory>

#include "core/host/host_settings.h"
#include "core/host/module_proxy.h"
#include "host/test_host.h"
#include "platform/automation/safearray.h"
#include "platform/rtl/strings.h"
#include "web/hooks/hook_settings.h"
#include "web/settings/dynamic_ids.h"
#include "web/settings/web_settings.h"

namespace {

using namespace pw;
using namespace pw::web;

std::vector<OleVariant> Items(const OleVariant& array) {
  std::vector<OleVariant> items;
  EXPECT_EQ(array.Get().vt, VT_ARRAY | VT_VARIANT);
  SAFEARRAY* a = array.Get().parray;
  std::int32_t lo = 0, hi = -1;
  SafeArrayGetLBound(a, 1, &lo);
  SafeArrayGetUBound(a, 1, &hi);
  EXPECT_EQ(lo, 0);
  for (std::int32_t i = lo; i <= hi; ++i) {
    OleVariant v;
    SafeArrayGetElement(a, &i, v.Put());
    items.push_back(v);
  }
  return items;
}

class HookSettings : public ::testing::Test {
 protected:
  HookSettings() {
    SetHostExeFolderOverride(Utf8ToWide(PW_TEST_HOST_DIR));
    host::TestHostOptions options;
    options.interactive = true;
    host_ = std::make_unique<host::TestHost>(options);
    group_ = RegisterSettingsGroup(host_->Manager(), kWebTestingPageKey, u"Web", u"", 0, 0, u"");
    settings_ = std::make_unique<TpwWebSettings>(host_->Manager());
    settings_->BuildSettings(group_.Get(), nullptr);
  }
  ~HookSettings() override {
    group_ = nullptr;
    StopHelperModules();
  }
  std::unique_ptr<host::TestHost> host_;
  ComPtr<IpwSettingsGroup> group_;
  std::unique_ptr<TpwWebSettings> settings_;
};

TEST_F(HookSettings, KeysAndValuesInTheirOrder) {
  const auto keys = Items(HookSettingKeys());
  const char16_t* expected[] = {u"{66F235D3-108D-4961-A923-03333575E40E}", u"{864E3A4C-B68F-4D37-84A9-3DA543AE07D4}",
                                u"{0787AA13-4C49-418A-A688-B23BE9F226F4}", u"{BC2725AB-C90D-4761-BEB2-ABACE30FE554}",
                                u"{33C0A94E-7F58-493C-BCCC-91685352F9B4}", u"{CC95DFE2-922E-4009-8786-5DB9446F979D}",
                                u"{DB42CEAB-BFC4-40DB-9F48-9197D35FB5E2}"};
  ASSERT_EQ(keys.size(), 7u);
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(keys[i].AsString(), expected[i]);
  const auto again = Items(HookSettingKeys());
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(again[i].AsString(), keys[i].AsString());

  auto values = Items(HookSettingValues(host_->Manager(), *settings_));
  ASSERT_EQ(values.size(), 7u);
  EXPECT_EQ(values[0].Get().vt, VT_I4);
  EXPECT_EQ(values[0].AsInt(), 3);
  EXPECT_EQ(values[1].AsInt(), 0);
  EXPECT_EQ(values[2].Get().vt, VT_BOOL);
  EXPECT_FALSE(values[2].AsBool());
  EXPECT_TRUE(values[3].AsBool());
  EXPECT_EQ(values[4].AsString(), u"*");
  EXPECT_FALSE(values[5].AsBool());  // no table {CC95DFE2-...}
  EXPECT_EQ(values[6].AsString(), GetDynamicIdPatterns(host_->Manager(), false));
  // Without rows the parameters text is an empty string, not a missing element.
  auto parameters = host_->Settings().FindSetting(kDynamicParametersKey);
  static_cast<IcvTableSetting_DVS*>(parameters.Get())->SetRowCount(0);
  values = Items(HookSettingValues(host_->Manager(), *settings_));
  EXPECT_EQ(values[4].Get().vt, VT_BSTR);
  EXPECT_EQ(values[4].AsString(), u"");
}

TEST(BrowserHookProcess, ByNameOrModule) {
  const std::vector<WideString> none, mshtml = {u"KERNEL32.DLL", u"MSHTML.DLL"}, air = {u"adobe air.dll"};
  EXPECT_TRUE(IsBrowserHookProcess(u"MyIEXPLORE.EXE.copy", none));
  EXPECT_TRUE(IsBrowserHookProcess(u"PresentationHost.exe", none));
  EXPECT_TRUE(IsBrowserHookProcess(u"FlashPlayer_32.exe", none));
  EXPECT_TRUE(IsBrowserHookProcess(u"unknown.exe", mshtml));
  EXPECT_TRUE(IsBrowserHookProcess(u"app.exe", air));
  EXPECT_FALSE(IsBrowserHookProcess(u"chrome.exe", none));
  EXPECT_FALSE(IsBrowserHookProcess(u"iexplore", none));
}

TEST_F(HookSettings, InstallLoadsTheHookAndRemoveUnloadsIt) {
  auto process = host_->Processes().Add({4242, u"iexplore.exe", {u"MSHTML.DLL"}, {}});
  InstallBrowserHook(process.Get(), host_->Manager(), *settings_);
  InstallBrowserHook(process.Get(), host_->Manager(), *settings_);
  auto calls = process->Hooks().Calls();
  ASSERT_EQ(calls.size(), 4u);  // each install: the two arrays, then the load
  EXPECT_EQ(calls[0].kind, host::HookCall::Parameters);
  EXPECT_EQ(Items(calls[0].value).size(), 7u);
  EXPECT_EQ(Items(calls[0].values).size(), 7u);
  EXPECT_EQ(calls[1].name, kLoadHookCommand);
  EXPECT_EQ(calls[1].value.AsString(), u"pwIEHook.dll");
  EXPECT_EQ(process->Hooks().LoadedLibraries().size(), 1u);
  RemoveBrowserHook(process.Get());
  calls = process->Hooks().Calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[4].name, kUnloadHookCommand);
  EXPECT_TRUE(process->Hooks().LoadedLibraries().empty());
  // No channel or agent: silent.
  for (auto state :
       {host::HookChannelState::NoChannel, host::HookChannelState::NotAvailable, host::HookChannelState::NoTarget}) {
    process->SetChannelState(state);
    InstallBrowserHook(process.Get(), host_->Manager(), *settings_);
    RemoveBrowserHook(process.Get());
  }
  EXPECT_EQ(process->Hooks().Calls().size(), 5u);
}

}  // namespace
