// The Web Testing plug-in's browser hook against the real engine (CTest "web_engine", label
// "engine"): the host's "iexplore" adapter process is offered to the running plug-ins as the host
// offers every process, and the plug-in's hook provider hands its hook agent both arrays and the
// load command; the engine's own "chrome.exe" gets no hook.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "core/host/module_proxy.h"
#include "host/browser/objects/browsers.h"
#include "host/plugin_host.h"
#include "host/test_host.h"
#include "openapps/registrator.h"
#include "platform/automation/safearray.h"
#include "platform/rtl/strings.h"
#include "tests/support/scratch_dir.h"
#include "web/hooks/hook_settings.h"
#include "web/plugin/web_testing_plugin.h"
#include "web/settings/dynamic_ids.h"

namespace {

using namespace pw;
using namespace pw::web;

bool EngineTestsWanted() {
  const char* env = std::getenv("PW_ENGINE_TESTS");
  return env && std::string(env) == "1";
}

// A registrator of the Web Testing plug-in alone.
class TWebOnlyRegistrator final : public TcvBaseExtensionRegistrator {
 public:
  TWebOnlyRegistrator() { AddPlugin({kWebTestingPluginKey, u"Web Testing", u"", u"", u"", 1, 0}, nullptr, true); }

 protected:
  ComPtr<IcvPlugin> CreatePluginInstance(const TPluginDescription&) override {
    return ComPtr<IcvPlugin>(MakeObject<TpwWebTestingPlugin>(TpwWebTestingParts{}).Get());
  }
  GUID DoGetKey() override { return GUID_NULL; }
  WideString DoGetName() override { return u"test"; }
  std::int32_t DoGetListACount() override { return 0; }
  GUID DoGetListAItem(std::int32_t) override { return GUID_NULL; }
  std::int32_t DoGetListBCount() override { return 0; }
  GUID DoGetListBItem(std::int32_t) override { return GUID_NULL; }
};

std::vector<WideString> Texts(const OleVariant& array) {
  std::vector<WideString> items;
  if (array.Get().vt != (VT_ARRAY | VT_VARIANT)) return items;
  SAFEARRAY* a = array.Get().parray;
  std::int32_t lo = 0, hi = -1;
  SafeArrayGetLBound(a, 1, &lo);
  SafeArrayGetUBound(a, 1, &hi);
  for (std::int32_t i = lo; i <= hi; ++i) {
    OleVariant v, s;
    SafeArrayGetElement(a, &i, v.Put());
    items.push_back(Succeeded(VariantChangeType(s.Ptr(), v.Ptr(), 0, VT_BSTR)) ? WideString(BstrView(s.Get().bstrVal))
                                                                               : WideString(u"?"));
  }
  return items;
}

// The plug-in's own calls on a process's hook agent (the host also passes published values on to
// running hooks; those are the host's).
std::vector<host::HookCall> OwnCalls(host::TProcess& process) {
  auto calls = process.Hooks().Calls();
  std::erase_if(calls, [](const host::HookCall& c) { return c.kind == host::HookCall::Parameter; });
  return calls;
}

class RealEngineBrowserHook : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!EngineTestsWanted()) GTEST_SKIP() << "the engine tests run in the test web_engine";
    SetHostExeFolderOverride(Utf8ToWide(PW_TEST_HOST_DIR));
    host::TestHostOptions options;
    options.interactive = false;
    options.folder = Utf8ToWide(PW_TEST_HOST_DIR "/");
    host_ = std::make_unique<host::TestHost>(options);
    plugins_ = std::make_unique<host::TPluginHost>(*host_);
    registrator_ = MakeObject<TWebOnlyRegistrator>();
    ASSERT_EQ(plugins_->Create(registrator_.Get(), 0, u"Web Testing").created, S_OK);
    ASSERT_EQ(plugins_->Start(), 0u) << WideToUtf8(plugins_->Plugins()[0].error);
    std::ofstream(dir_.Utf8File("page.html")) << "<html><head><title>Hooked</title></head><body>1</body></html>";
  }
  void TearDown() override {
    if (plugins_) plugins_->Stop();
    plugins_ = nullptr;
    registrator_ = nullptr;
    if (host_) host_->Browsers().CloseAll();
    host_.reset();
    StopHelperModules();
  }
  ComPtr<host::TProcess> ProcessOf(const std::shared_ptr<host::TestedBrowser>& browser) {
    for (const auto& p : host_->Processes().All())
      if (p->Name() == host::BrowserProcessName(browser->kind)) return p;
    return nullptr;
  }

  pw::test::ScratchDir dir_;
  std::unique_ptr<host::TestHost> host_;
  std::unique_ptr<host::TPluginHost> plugins_;
  ComPtr<TWebOnlyRegistrator> registrator_;
};

TEST_F(RealEngineBrowserHook, TheIexploreAdapterGetsBothArraysAndChromeNoHook) {
  const std::string url = "file://" + dir_.Utf8File("page.html");
  auto ie = host_->Browsers().Launch(host::BrowserKind::InternetExplorer, url);
  auto chrome = host_->Browsers().Launch(host::BrowserKind::Chrome, url);
  auto ieProcess = ProcessOf(ie), chromeProcess = ProcessOf(chrome);
  ASSERT_TRUE(ieProcess);
  ASSERT_TRUE(chromeProcess);
  EXPECT_EQ(ieProcess->Name(), u"iexplore.exe");
  EXPECT_EQ(chromeProcess->Name(), u"chrome.exe");

  // The host offers each process to the running plug-ins: only the adapter is served.
  auto served = plugins_->AttachProcess(*ieProcess);
  EXPECT_TRUE(served.failed.empty());
  EXPECT_EQ(served.done, std::vector<std::int32_t>{0});
  auto unserved = plugins_->AttachProcess(*chromeProcess);
  EXPECT_TRUE(unserved.failed.empty());
  EXPECT_TRUE(unserved.done.empty());
  EXPECT_TRUE(OwnCalls(*chromeProcess).empty());
  EXPECT_TRUE(chromeProcess->Hooks().LoadedLibraries().empty());

  // The adapter's agent: the key array, the values array of the same length, then the load.
  auto calls = OwnCalls(*ieProcess);
  ASSERT_EQ(calls.size(), 2u);
  ASSERT_EQ(calls[0].kind, host::HookCall::Parameters);
  const auto keys = Texts(calls[0].value), values = Texts(calls[0].values);
  ASSERT_EQ(keys.size(), 7u);
  ASSERT_EQ(values.size(), 7u);
  EXPECT_EQ(keys[0], u"{66F235D3-108D-4961-A923-03333575E40E}");
  EXPECT_EQ(keys[6], u"{DB42CEAB-BFC4-40DB-9F48-9197D35FB5E2}");
  EXPECT_EQ(values[0], u"3");  // the tree model of a fresh project: Tree
  EXPECT_EQ(values[6], GetDynamicIdPatterns(host_->Manager(), false));
  EXPECT_EQ(std::count(values[6].begin(), values[6].end(), u'\n'), 17);  // the 18 built-in patterns
  EXPECT_EQ(calls[1].kind, host::HookCall::Command);
  EXPECT_EQ(calls[1].name, kLoadHookCommand);
  EXPECT_EQ(calls[1].value.AsString(), kIEHookLibrary);
  EXPECT_EQ(ieProcess->Hooks().LoadedLibraries(), std::vector<WideString>{kIEHookLibrary});
  // The agent keeps each pair as a parameter.
  EXPECT_EQ(ieProcess->Hooks().Parameters().at(keys[6]).AsString(), values[6]);

  // Leaving, the adapter's hook is removed; chrome had none to remove.
  auto removed = plugins_->DetachProcess(*ieProcess);
  EXPECT_EQ(removed.done, std::vector<std::int32_t>{0});
  EXPECT_TRUE(plugins_->DetachProcess(*chromeProcess).done.empty());
  calls = OwnCalls(*ieProcess);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[2].name, kUnloadHookCommand);
  EXPECT_TRUE(ieProcess->Hooks().LoadedLibraries().empty());
}

}  // namespace
