// The Web Testing plug-in's action points and its Flash local connection, driven by the host's
// plug-in side: the seven dynamic-identifier actions registered under the plug-in key and
// listed in the provider's order, each run as the host's menu runs it (updated first, a disabled
// one not run), bad calls; the connection started at Initialize with the host's major version
// and gone after Finalize.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>

#include "core/host/host_settings.h"
#include "core/host/module_proxy.h"
#include "host/plugin_host.h"
#include "host/test_host.h"
#include "openapps/registrator.h"
#include "platform/rtl/strings.h"
#include "web/plugin/web_testing_plugin.h"
#include "web/settings/dynamic_ids.h"

namespace {

using namespace pw;
using namespace pw::web;

// A registrator of the one plug-in, made with the parts the test chooses.
class TWebRegistrator final : public TcvBaseExtensionRegistrator {
 public:
  explicit TWebRegistrator(TpwWebTestingParts parts) : parts_(std::move(parts)) {
    AddPlugin({kWebTestingPluginKey, u"Web Testing", u"", u"", u"", 1, 0}, nullptr, true);
  }
  ComPtr<TpwWebTestingPlugin> made;

 protected:
  ComPtr<IcvPlugin> CreatePluginInstance(const TPluginDescription&) override {
    made = MakeObject<TpwWebTestingPlugin>(parts_);
    return ComPtr<IcvPlugin>(made.Get());
  }
  GUID DoGetKey() override { return GUID_NULL; }
  WideString DoGetName() override { return u"test"; }
  std::int32_t DoGetListACount() override { return 0; }
  GUID DoGetListAItem(std::int32_t) override { return GUID_NULL; }
  std::int32_t DoGetListBCount() override { return 0; }
  GUID DoGetListBItem(std::int32_t) override { return GUID_NULL; }

 private:
  TpwWebTestingParts parts_;
};

std::u16string Prefix() { return Utf8ToWide("pwtest" + std::to_string(getpid()) + "_ProbewrightLCIntf"); }

class WebPluginActions : public ::testing::Test {
 protected:
  WebPluginActions() {
    SetHostExeFolderOverride(Utf8ToWide(PW_TEST_HOST_DIR));
    host::TestHostOptions options;
    options.interactive = true;
    options.folder = Utf8ToWide(PW_TEST_HOST_DIR "/");
    options.majorVersion = 12;
    host_ = std::make_unique<host::TestHost>(options);
    host_->Messenger().SetDefaultConfirmation(false);
    plugins_ = std::make_unique<host::TPluginHost>(*host_);
  }
  ~WebPluginActions() override {
    if (plugins_) plugins_->Stop();
    plugins_ = nullptr;
    registrator_ = nullptr;
    StopHelperModules();
  }
  TpwWebTestingPlugin& Start(TpwWebTestingParts parts = {}) {
    registrator_ = MakeObject<TWebRegistrator>(std::move(parts));
    EXPECT_EQ(plugins_->Create(registrator_.Get(), 0, u"Web Testing").created, S_OK);
    EXPECT_EQ(plugins_->Start(), 0u) << WideToUtf8(plugins_->Plugins()[0].error);
    return *registrator_->made.Get();
  }
  std::int32_t Rows() {
    auto table = FindDynamicIdTable(host_->Manager());
    std::int32_t rows = -1;
    if (table) table->GetRowCount(&rows);
    return rows;
  }

  std::unique_ptr<host::TestHost> host_;
  std::unique_ptr<host::TPluginHost> plugins_;
  ComPtr<TWebRegistrator> registrator_;
};

TEST_F(WebPluginActions, TheHostRegistersTheSevenActionsUnderThePluginKeyAndListsThemInProviderOrder) {
  Start();
  const auto& p = plugins_->Plugins()[0];
  std::vector<GUID> expected;
  for (std::int32_t i = 0; i < 7; ++i) expected.push_back(GetDynamicIdActionId(i));
  EXPECT_EQ(p.actions, expected);
  const auto registered = host_->Actions().ActionsOf(kWebTestingPluginKey);
  ASSERT_EQ(registered.size(), 7u);
  const auto descriptions = DynamicIdActionDescriptions();
  for (std::size_t i = 0; i < registered.size(); ++i) {
    GUID key{};
    registered[i]->GetKey(&key);
    EXPECT_EQ(key, descriptions[i].Key) << i;  // registration order
    EXPECT_EQ(registered[i]->Property(1).AsString(), descriptions[i].Caption) << i;
  }
}

TEST_F(WebPluginActions, RunningAnActionUpdatesItFirstAndADisabledOneIsNotRun) {
  Start();
  auto table = FindDynamicIdTable(host_->Manager());
  ASSERT_TRUE(table);
  const std::int32_t rows = Rows();
  ASSERT_GT(rows, 0);

  EXPECT_TRUE(plugins_->RunAction(kDynamicIdAddGroup));
  EXPECT_EQ(Rows(), rows + 1);
  // The first row cannot move up: the update disables the action and nothing runs.
  ASSERT_EQ(table->SetCurrentRow(0), S_OK);
  EXPECT_FALSE(plugins_->RunAction(kDynamicIdMoveUp));
  EXPECT_EQ(host_->Actions().Find(kDynamicIdMoveUp)->Property(0).AsBool(), false);
  EXPECT_EQ(Rows(), rows + 1);
  EXPECT_TRUE(plugins_->RunAction(kDynamicIdMoveDown));
  EXPECT_EQ(host_->Actions().Find(kDynamicIdMoveDown)->Property(0).AsBool(), true);

  // A key no plug-in provides.
  EXPECT_THROW(plugins_->RunAction(kWebTestingPluginKey), Exception);
}

TEST_F(WebPluginActions, BadCallsAnswerFailuresAndASecondRegistrationIsRefused) {
  auto& plugin = Start();
  IpwActionProvider* provider = &plugin;
  GUID key = kWebTestingPluginKey;
  EXPECT_EQ(provider->GetActionId(7, &key), S_OK);
  EXPECT_EQ(key, GUID_NULL);
  EXPECT_EQ(provider->GetActionId(-1, &key), S_OK);
  EXPECT_EQ(key, GUID_NULL);
  EXPECT_TRUE(Failed(provider->GetActionCount(nullptr)));
  GUID result{};
  std::int32_t code = -1;
  EXPECT_TRUE(Failed(provider->ExecuteAction(nullptr, OleVariant().Get(), &result, &code)));
  EXPECT_TRUE(Failed(provider->UpdateAction(nullptr)));
  // The actions exist: making them again fails, and nothing changes.
  IpwActionRegistrar* registrar = &plugin;
  EXPECT_TRUE(Failed(registrar->RegisterActions()));
  EXPECT_EQ(host_->Actions().ActionsOf(kWebTestingPluginKey).size(), 7u);
  EXPECT_EQ(registrar->ActionRegistrarOperation5(), S_OK);
  EXPECT_EQ(registrar->ActionRegistrarOperation6(), S_OK);
}

TEST_F(WebPluginActions, TheFlashConnectionRunsFromInitializeToFinalizeWithTheHostsMajorVersion) {
  TpwWebTestingParts parts;
  parts.makeFlashConnection = [](std::int32_t instance) {
    TMacromediaLCOptions options;
    options.namePrefix = Prefix();
    options.flashName = Prefix() + u"_Flash";
    return std::make_unique<TMacromediaLCInterface>(instance, options);
  };
  auto& plugin = Start(std::move(parts));
  ASSERT_NE(plugin.FlashConnection(), nullptr);
  EXPECT_EQ(plugin.FlashConnection()->Instance(), 12);
  plugin.FlashConnection()->Wait();
  ASSERT_EQ(plugin.FlashConnection()->GetState(), TMacromediaLCInterface::State::Published);
  const std::string system = SharedMemorySystemName(plugin.FlashConnection()->PublishedName());
  EXPECT_EQ(system.rfind("/Global.pwtest", 0), 0u);
  const int fd = shm_open(system.c_str(), O_RDONLY, 0);
  EXPECT_GE(fd, 0);
  if (fd >= 0) close(fd);
  EXPECT_TRUE(plugins_->Stop().empty());
  EXPECT_EQ(registrator_->made->FlashConnection(), nullptr);
  EXPECT_LT(shm_open(system.c_str(), O_RDONLY, 0), 0);
}

TEST_F(WebPluginActions, WithoutAFlashPartThereIsNoConnection) {
  auto& plugin = Start();
  EXPECT_EQ(plugin.FlashConnection(), nullptr);
}

}  // namespace
