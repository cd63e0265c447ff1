// The Web Testing plug-in's settings points on the test host: the pages built through
// RegisterPage with the plug-in's validator on the dynamic-identifier table, a load and a change
// forwarded through the plug-in publishing to the shared value store, the validator's reports,
// method 5 and Finalize withdrawing the validator, and the points still unanswered.
#include <gtest/gtest.h>

#include <memory>

#include "core/host/host_settings.h"
#include "core/host/module_proxy.h"
#include "host/test_host.h"
#include "platform/automation/bstr.h"
#include "platform/rtl/strings.h"
#include "web/plugin/web_testing_plugin.h"
#include "web/settings/dynamic_ids.h"
#include "web/settings/web_settings.h"

namespace {

using namespace pw;
using namespace pw::web;

class WebPluginSettings : public ::testing::Test {
 protected:
  WebPluginSettings() {
    SetHostExeFolderOverride(Utf8ToWide(PW_TEST_HOST_DIR));
    host::TestHostOptions options;
    options.interactive = true;
    options.folder = Utf8ToWide(PW_TEST_HOST_DIR "/");
    host_ = std::make_unique<host::TestHost>(options);
    TpwWebTestingParts parts;  // no analyzer, no event provider: only the settings matter here
    plugin_ = MakeObject<TpwWebTestingPlugin>(std::move(parts));
    EXPECT_EQ(plugin_->Initialize(host_->Manager()), S_OK);
    group_ = RegisterSettingsGroup(host_->Manager(), kWebTestingPluginKey, u"Web Testing", u"", 0, 0, u"");
  }
  ~WebPluginSettings() override {
    if (plugin_) (void)plugin_->Finalize();
    plugin_ = nullptr;
    group_ = nullptr;
    StopHelperModules();
  }
  IpwSetting* S(const GUID& key) { return static_cast<IcvTableSetting_DVS*>(host_->Settings().FindSetting(key).Get()); }
  IpwSettingsPageProvider* Pages() { return static_cast<IpwSettingsPageProvider*>(plugin_.Get()); }
  IpwSettingsChangeListener* Changes() { return static_cast<IpwSettingsChangeListener*>(plugin_.Get()); }
  std::vector<host::HookParameter> Published() { return host_->HookParameters().Received(); }

  std::unique_ptr<host::TestHost> host_;
  ComPtr<TpwWebTestingPlugin> plugin_;
  ComPtr<IpwSettingsGroup> group_;
};

TEST_F(WebPluginSettings, RegisterPageBuildsTheSettingsAndLoadAndChangePublish) {
  ASSERT_NE(plugin_->Settings(), nullptr);
  ASSERT_EQ(Pages()->RegisterPage(group_.Get()), S_OK);
  for (const GUID* key : {&kTreeModelKey, &kLegacyFeaturesKey, &kIdentificationAttributeKey, &kDynamicIdSettingKey,
                          &kIgnoreDynamicUrlParamsKey, &kDynamicParametersKey})
    ASSERT_NE(S(*key), nullptr);
  for (const GUID* key : {&kTreeModelKey, &kLegacyFeaturesKey, &kIdentificationAttributeKey, &kDynamicIdSettingKey,
                          &kIgnoreDynamicUrlParamsKey, &kDynamicParametersKey})
    Pages()->SetSettingsGroup(S(*key), kWebTestingPluginKey);
  const auto loaded = Published();
  ASSERT_FALSE(loaded.empty());
  EXPECT_EQ(loaded[0].key, kLegacyFeaturesKey);
  // A user's change of the tree model, through the plug-in's change listener.
  auto tree = host_->Settings().FindSetting(kTreeModelKey);
  ASSERT_EQ(static_cast<IcvTableSetting_DVS*>(tree.Get())->SetCurrentRow(2), S_OK);  // "Hybrid"
  Changes()->SettingChanged(S(kTreeModelKey), kWebTestingPluginKey);
  ASSERT_EQ(Published().size(), loaded.size() + 1);
  EXPECT_EQ(Published().back().key, kPublishedTreeModelKey);
  EXPECT_EQ(Published().back().value.AsInt(), 2);
  EXPECT_EQ(plugin_->Settings()->TreeModel(), 2);
  // Another owner's change is not the plug-in's.
  ASSERT_EQ(static_cast<IcvTableSetting_DVS*>(tree.Get())->SetCurrentRow(0), S_OK);
  Changes()->SettingChanged(S(kTreeModelKey), MakeGuid("{66666666-2222-3333-4444-555555555555}"));
  EXPECT_EQ(Published().size(), loaded.size() + 1);
}

// The plug-in answers {767C39FB-...} itself and is added on the table's key: the host asks it
// about each edit of the table, and it reports what the table's checks find until method 5 or
// Finalize withdraws it.
TEST_F(WebPluginSettings, TheHostAsksThePluginAboutTableEditsUntilWithdrawn) {
  const std::size_t before = host_->Settings().ListenerCount();
  ASSERT_EQ(Pages()->RegisterPage(group_.Get()), S_OK);
  EXPECT_EQ(host_->Settings().ListenerCount(), before + 1);
  EXPECT_TRUE(plugin_->ValidatorAdded());
  ComPtr<IpwSettingValueValidator> validator;
  ASSERT_EQ(plugin_->QueryInterface(IpwSettingValueValidator::iid, validator.PutVoid()), S_OK);
  GUID key{};
  ASSERT_EQ(validator->GetKey(&key), S_OK);
  EXPECT_EQ(key, kWebTestingPluginKey);
  VARIANT none{};
  EXPECT_EQ(validator->ValidatorOperation4(), S_OK);
  EXPECT_EQ(validator->ValidatorOperation6(none), S_OK);

  auto table = FindDynamicIdTable(host_->Manager());
  ASSERT_NE(table, nullptr);
  const auto& messenger = host_->Messenger();
  auto edit = [&](std::int32_t row, std::int32_t column, const OleVariant& value) {
    ASSERT_EQ(table->SetCurrentRow(row), S_OK);
    ASSERT_EQ(table->SetCurrentColumn(column), S_OK);
    ASSERT_EQ(table->SetCell(column, row, value.Get()), S_OK);
  };
  // A bad expression on a RegExp row (8): told through the messenger's 16, the cell kept.
  edit(8, kDiPattern, OleVariant(u"{unclosed"));
  ASSERT_EQ(messenger.Messages().size(), 1u);
  EXPECT_EQ(messenger.Messages().back().text, kDynamicIdInvalidRegExpr);
  EXPECT_EQ(messenger.Messages().back().helpContext, kDynamicIdInvalidRegExprHelp);
  OleVariant kept;
  ASSERT_EQ(table->GetCell(kDiPattern, 8, kept.Put()), S_OK);
  EXPECT_EQ(kept.AsString(), u"{unclosed");
  // A template on a wildcard row (1): told as well.
  edit(1, kDiTemplate, OleVariant(u"$1"));
  ASSERT_EQ(messenger.Messages().size(), 2u);
  EXPECT_EQ(messenger.Messages().back().text, kDynamicIdMisplacedTemplate);
  // A change of rows (not a cell) asks nothing of the checks.
  std::int32_t appended = -1;
  ASSERT_EQ(table->AppendRow(&appended), S_OK);
  EXPECT_EQ(messenger.Messages().size(), 2u);

  // Method 5 withdraws it (twice is harmless): the same bad edit is no longer reported.
  Pages()->Unused5();
  Pages()->Unused5();
  EXPECT_FALSE(plugin_->ValidatorAdded());
  EXPECT_EQ(host_->Settings().ListenerCount(), before);
  edit(8, kDiPattern, OleVariant(u"(again"));
  EXPECT_EQ(messenger.Messages().size(), 2u);

  // Added again (twice: a second build adds it once only), Finalize withdraws it too; asked
  // after Finalize, it does nothing.
  ASSERT_EQ(Pages()->RegisterPage(group_.Get()), S_OK);
  ASSERT_EQ(Pages()->RegisterPage(group_.Get()), S_OK);
  EXPECT_EQ(host_->Settings().ListenerCount(), before + 1);
  EXPECT_EQ(plugin_->Finalize(), S_OK);
  EXPECT_EQ(host_->Settings().ListenerCount(), before);
  EXPECT_EQ(plugin_->Settings(), nullptr);
  EXPECT_EQ(validator->ValidateSetting(S(kDynamicIdSettingKey), none), S_OK);
  EXPECT_EQ(messenger.Messages().size(), 2u);
  validator = nullptr;
  plugin_ = nullptr;
}

TEST_F(WebPluginSettings, SettingsPointsBeforeInitializeFailCleanly) {
  auto fresh = MakeObject<TpwWebTestingPlugin>(TpwWebTestingParts{});
  EXPECT_EQ(static_cast<IpwSettingsPageProvider*>(fresh.Get())->RegisterPage(group_.Get()), E_UNEXPECTED);
  static_cast<IpwSettingsChangeListener*>(fresh.Get())->SettingChanged(nullptr, kWebTestingPluginKey);
  // The hook point is answered, as the base and the extended interface.
  ComPtr<IUnknown> hooks;
  EXPECT_EQ(plugin_->QueryInterface(IpwOpenAppHookProvider::iid, hooks.PutVoid()), S_OK);
  EXPECT_EQ(plugin_->QueryInterface(IpwOpenAppHookProvider2::iid, hooks.PutVoid()), S_OK);
}

// The runtime-object records: names always, objects once the settings pages made them, and let
// go at Finalize.
TEST_F(WebPluginSettings, TheSettingsObjectsAreTheRuntimeObjectsOnceThePagesAreBuilt) {
  class TFake final : public ComObject {};
  TpwWebTestingParts parts;
  std::int32_t made = 0;
  auto fake = [&](IcvBaseManager*) {
    ++made;
    return ComPtr<IUnknown>(MakeObject<TFake>()->Identity());
  };
  parts.settingsObjects.ieSettings = [&](IcvBaseManager* m, TpwIESettingsClass) { return fake(m); };
  parts.settingsObjects.ieZoneSettings = fake;
  parts.settingsObjects.flashSettings = fake;
  (void)plugin_->Finalize();
  plugin_ = MakeObject<TpwWebTestingPlugin>(std::move(parts));
  ASSERT_EQ(plugin_->Initialize(host_->Manager()), S_OK);
  auto* provider = static_cast<IpwRuntimeObjectProvider*>(plugin_.Get());
  ASSERT_EQ(provider->GetObjectCount(), 4);
  auto item = [&](std::int32_t i, BString& name, ComPtr<IUnknown>& object) {
    VARIANT_BOOL first = VARIANT_FALSE, second = VARIANT_FALSE;
    EXPECT_EQ(provider->GetObjectItem(i, name.Put(), object.Put(), &first, &second), S_OK);
  };
  const char16_t* names[] = {u"Web", u"IESettings", u"IEZoneSettings", u"FlashSettings"};
  for (std::int32_t i = 0; i < 4; ++i) {
    BString name;
    ComPtr<IUnknown> object;
    item(i, name, object);
    EXPECT_EQ(name.View(), names[i]);
    EXPECT_FALSE(object) << i;
  }
  ASSERT_EQ(Pages()->RegisterPage(group_.Get()), S_OK);
  EXPECT_EQ(made, 3);
  for (std::int32_t i = 0; i < 4; ++i) {
    BString name;
    ComPtr<IUnknown> object;
    item(i, name, object);
    EXPECT_EQ(name.View(), names[i]);
    EXPECT_TRUE(object) << i;
  }
  BString name;
  ComPtr<IUnknown> web;
  item(0, name, web);
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(web->QueryInterface(IDispatch::iid, dispatch.PutVoid()), S_OK);
  const char16_t* member = u"TreeModel";
  DISPID id = DISPID_UNKNOWN;
  EXPECT_EQ(dispatch->GetIDsOfNames(GUID_NULL, &member, 1, 0, &id), S_OK);
  dispatch = nullptr;
  web = nullptr;
  EXPECT_EQ(plugin_->Finalize(), S_OK);
  ComPtr<IUnknown> after;
  item(0, name, after);
  EXPECT_FALSE(after);
  plugin_ = nullptr;
}

}  // namespace
