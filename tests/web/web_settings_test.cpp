// The web testing settings: what BuildSettings creates, in order; publications to the shared
// value store on load and change; the migration of old projects to the legacy features; the
// repair of the tree-model rows; the tree-model warning.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "core/host/host_settings.h"
#include "core/host/module_proxy.h"
#include "host/test_host.h"
#include "platform/com/guid.h"
#include "platform/rtl/strings.h"
#include "web/settings/dynamic_ids.h"
#include "web/settings/web_settings.h"

namespace {

using namespace pw;
using namespace pw::web;

constexpr GUID kGroup = MakeGuid("{7A6C3C55-1D2E-4F3A-9B8C-0D1E2F3A4B5C}");
constexpr GUID kOwner = MakeGuid("{11111111-2222-3333-4444-555555555555}");
constexpr GUID kOtherOwner = MakeGuid("{66666666-2222-3333-4444-555555555555}");

class WebSettings : public ::testing::Test {
 protected:
  WebSettings() {
    SetHostExeFolderOverride(Utf8ToWide(PW_TEST_HOST_DIR));
    host::TestHostOptions options;
    options.interactive = true;
    host_ = std::make_unique<host::TestHost>(options);
    group_ = RegisterSettingsGroup(host_->Manager(), kGroup, u"Web", u"", 0, 0, u"");
    settings_ = std::make_unique<TpwWebSettings>(host_->Manager());
    settings_->BuildSettings(group_.Get(), nullptr);
  }
  ~WebSettings() override {
    group_ = nullptr;
    StopHelperModules();
  }
  ComPtr<host::TSetting> Setting(const GUID& key) { return host_->Settings().FindSetting(key); }
  IpwSetting* S(const GUID& key) { return static_cast<IcvTableSetting_DVS*>(Setting(key).Get()); }
  void LoadAll(const GUID& owner) {
    for (const GUID* k : {&kTreeModelKey, &kLegacyFeaturesKey, &kIdentificationAttributeKey, &kDynamicIdSettingKey,
                          &kIgnoreDynamicUrlParamsKey, &kDynamicParametersKey})
      settings_->SettingLoaded(S(*k), owner);
  }
  std::vector<host::HookParameter> Published() { return host_->HookParameters().Received(); }
  void Select(const GUID& key, std::int32_t row) {
    auto table = Setting(key);
    ASSERT_EQ(static_cast<IcvTableSetting_DVS*>(table.Get())->SetCurrentRow(row), S_OK);
  }

  std::unique_ptr<host::TestHost> host_;
  ComPtr<IpwSettingsGroup> group_;
  std::unique_ptr<TpwWebSettings> settings_;
};

// One ordered table: each setting's key (as text, so a wrong constant shows), kind, page,
// caption, exact description, default and, for the drop-down lists, their rows; the table of
// dynamic identifiers comes last.
TEST_F(WebSettings, BuildSettingsCreatesTheNineSettingsThenTheTable) {
  struct Row {
    const char* key;
    std::int32_t kind;
    const GUID* page;
    const char16_t* caption;
    const char16_t* description;
    OleVariant value;
    std::vector<WideString> rows;
  };
  const Row rows[] = {
      {"{ABE9C069-5D2D-4FBA-B1B0-FF96C0F0B1F6}",
       6,
       &kWebTestingPageKey,
       u"Tree model",
       u"Specifies the object model used to present the hierarchy of web page elements.",
       OleVariant(u"Tree"),
       {u"DOM", u"Tag", u"Hybrid", u"Tree"}},
      {"{323FACDA-38E8-4C1B-B22C-99E0AB90EADC}",
       5,
       &kWebTestingPageKey,
       u"Tested host",
       u"Substring in the page URL that is replaced with strings specified by the Record Tested Host as an option "
       u"during the recording.",
       OleVariant(u""),
       {}},
      {"{E47A2931-EE5D-42D2-8CB7-3796DE597AA1}",
       5,
       &kWebTestingPageKey,
       u"Record tested host as",
       u"String that replaces a substring specified by Tested Host, in the page URL during recording.",
       OleVariant(u""),
       {}},
      {"{74CC9F3B-2E52-4B16-844A-9EE33532B51E}",
       1,
       &kWebTestingPageKey,
       u"Add comments for Wait method",
       u"Posts comments on the page for which the Wait method was generated during recording.",
       OleVariant(false),
       {}},
      {"{0787AA13-4C49-418A-A688-B23BE9F226F4}",
       1,
       &kWebTestingPageKey,
       u"Use legacy web testing features",
       u"When enabled, Probewright uses the web object hierarchy, identification and addressing used in ver. 8 and "
       u"earlier.",
       OleVariant(false),
       {}},
      {"{95E3327A-7433-4A00-9257-6E9A4B4F1795}",
       6,
       &kObjectIdentificationPageKey,
       u"Identification attribute",
       u"This option allows selecting an attribute that is used to identify web elements.",
       OleVariant(u"ID"),
       {u"ID", u"Name"}},
      {"{BC2725AB-C90D-4761-BEB2-ABACE30FE554}",
       1,
       &kUrlProcessingPageKey,
       u"Ignore dynamic URL parameters",
       u"If this option is enabled, the dynamic parameters of web pages will be replaced with an asterisk.",
       OleVariant(true),
       {}},
      {"{33C0A94E-7F58-493C-BCCC-91685352F9B4}",
       6,
       &kUrlProcessingPageKey,
       u"Dynamic parameters",
       u"The names of dynamic parameters that will be ignored during recording.",
       OleVariant(u"*"),
       {u"*"}},
      {"{542B9FA0-35EA-4C4D-BF0B-661005CB94E9}",
       2,
       &kWebTestingPageKey,
       u"Web page loading timeout, ms",
       u"The number of milliseconds to wait until the browser loads the page and is ready to accept user input before "
       u"continuing the test execution.",
       OleVariant(std::int32_t{60000}),
       {}},
  };
  auto group = host_->Settings().FindGroupByKey(kGroup);
  const auto children = group->Children();
  ASSERT_EQ(children.size(), 10u);
  for (std::size_t i = 0; i < 9; ++i) {
    SCOPED_TRACE(WideToUtf8(rows[i].caption));
    const auto& s = children[i];
    EXPECT_EQ(GuidToString(s->Key()), rows[i].key);
    EXPECT_EQ(s->Kind(), rows[i].kind);
    EXPECT_EQ(s->Caption(), rows[i].caption);
    EXPECT_EQ(s->Description(), rows[i].description);
    EXPECT_EQ(s->TypeKey(), kWebSettingsScope);
    EXPECT_EQ(s->OwnerKey(), *rows[i].page);
    EXPECT_EQ(s->CurrentValue().Get().vt, rows[i].value.Get().vt);
    EXPECT_EQ(s->CurrentValue().AsString(), rows[i].value.AsString());
    std::vector<WideString> texts;
    if (s->Kind() == 6)
      for (const auto& r : s->Rows()) texts.push_back(r[0].AsString());
    EXPECT_EQ(texts, rows[i].rows);
  }
  EXPECT_EQ(children[9]->Key(), kDynamicIdSettingKey);
  // The timeout keeps to its limits.
  auto timeout = Setting(kPageLoadingTimeoutKey);
  EXPECT_EQ(static_cast<IcvTableSetting_DVS*>(timeout.Get())->put_Value(OleVariant(std::int32_t{999}).Get()),
            E_INVALIDARG);
  EXPECT_EQ(static_cast<IcvTableSetting_DVS*>(timeout.Get())->put_Value(OleVariant(std::int32_t{1000}).Get()), S_OK);
  // The pages.
  for (const GUID* page : {&kWebTestingPageKey, &kObjectIdentificationPageKey, &kUrlProcessingPageKey})
    EXPECT_TRUE(host_->Options().FindEntry(*page));
  EXPECT_EQ(settings_->LastDynamicParameters(), u"sessionid\nuserid");
  EXPECT_TRUE(settings_->LastIgnoreFlag());
}

TEST_F(WebSettings, LoadPublishesChangedValuesAndTheLegacyFlagAlways) {
  LoadAll(kOwner);
  auto p = Published();
  // Tree (3) and ID are the kept values already: not published; legacy always; patterns once;
  // the ignore flag unchanged; the parameters text "*" differs from the initial one.
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(p[0].key, kLegacyFeaturesKey);
  EXPECT_EQ(p[1].key, kDynamicIdSettingKey);
  EXPECT_EQ(p[1].value.AsString().substr(0, 16), u"normal:yui-gen*\t");
  EXPECT_EQ(p[2].key, kDynamicParametersKey);
  EXPECT_EQ(p[2].value.AsString(), u"*");
}

TEST_F(WebSettings, ChangesPublishOnlyWhatChangedAndOnlyForTheLoadedOwner) {
  LoadAll(kOwner);
  const auto base = Published().size();
  Select(kTreeModelKey, 2);  // "Hybrid"
  settings_->SettingChanged(S(kTreeModelKey), kOtherOwner);
  EXPECT_EQ(Published().size(), base);
  settings_->SettingChanged(S(kTreeModelKey), kOwner);
  ASSERT_EQ(Published().size(), base + 1);
  EXPECT_EQ(Published().back().key, kPublishedTreeModelKey);
  EXPECT_EQ(Published().back().value.AsInt(), 2);
  ASSERT_EQ(host_->Messenger().Messages().size(), 1u);
  EXPECT_EQ(host_->Messenger().Messages()[0].text, TreeModelWarningText(u"Hybrid"));
  EXPECT_EQ(host_->Messenger().Messages()[0].helpContext, 4292);
  settings_->SettingChanged(S(kTreeModelKey), kOwner);  // unchanged
  EXPECT_EQ(Published().size(), base + 1);
  // The legacy flag is published every time; with it set the warning is suppressed.
  Setting(kLegacyFeaturesKey)->put_Value(OleVariant(true).Get());
  settings_->SettingChanged(S(kLegacyFeaturesKey), kOwner);
  settings_->SettingChanged(S(kLegacyFeaturesKey), kOwner);
  EXPECT_EQ(Published().size(), base + 3);
  EXPECT_EQ(host_->Messenger().Messages().size(), 1u);
  // Identification by name.
  Select(kIdentificationAttributeKey, 1);
  settings_->SettingChanged(S(kIdentificationAttributeKey), kOwner);
  EXPECT_EQ(Published().back().key, kPublishedIdentifyByNameKey);
  EXPECT_TRUE(Published().back().value.AsBool());
  // Ignore off: False, not the text; on again: the text only when it differs.
  const auto before = Published().size();
  Setting(kIgnoreDynamicUrlParamsKey)->put_Value(OleVariant(false).Get());
  settings_->SettingChanged(S(kIgnoreDynamicUrlParamsKey), kOwner);
  ASSERT_EQ(Published().size(), before + 1);
  EXPECT_FALSE(Published().back().value.AsBool());
  Setting(kIgnoreDynamicUrlParamsKey)->put_Value(OleVariant(true).Get());
  settings_->SettingChanged(S(kIgnoreDynamicUrlParamsKey), kOwner);
  EXPECT_EQ(Published().size(), before + 2);  // the text "*" is the last one
  // A change of the patterns.
  auto table = static_cast<IcvTableSetting_DVS*>(Setting(kDynamicIdSettingKey).Get());
  table->SetCell(kDiEnabled, 1, OleVariant(false).Get());
  settings_->SettingChanged(S(kDynamicIdSettingKey), kOwner);
  EXPECT_EQ(Published().back().key, kDynamicIdSettingKey);
  EXPECT_EQ(Published().back().value.AsString().substr(0, 16), u"normal:*yui_3_*\t");
}

TEST_F(WebSettings, WithoutTheStoreValuesAreKeptButNothingIsPublished) {
  host_->SetService(kSharedValueStoreService, nullptr);
  Select(kTreeModelKey, 0);
  LoadAll(kOwner);
  EXPECT_EQ(settings_->TreeModel(), 0);
  EXPECT_FALSE(settings_->LastPatterns().empty());
  EXPECT_EQ(Published().size(), 0u);
  EXPECT_EQ(settings_->LastDynamicParameters(), u"sessionid\nuserid");
}

TEST_F(WebSettings, OldProjectsWithAnotherTreeModelSwitchToLegacyFeatures) {
  struct Case {
    std::optional<std::pair<std::int32_t, std::int32_t>> stored;
    std::int32_t treeRow;
    bool treeFirst;
    bool legacyAfter;
  };
  const Case cases[] = {
      {std::pair{8, 0}, 2, true, true},    // older, Hybrid, tree first: switched on
      {std::pair{8, 0}, 2, false, false},  // legacy loaded first: the flag comes too late
      {std::pair{8, 0}, 3, true, false},   // Tree: nothing to migrate
      {std::nullopt, 2, true, false},      // never stored: this version's
      {std::pair{9, 0}, 2, true, false},   // stored by this version
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    Setting(kLegacyFeaturesKey)->put_Value(OleVariant(false).Get());
    for (const GUID* k : {&kTreeModelKey, &kLegacyFeaturesKey}) Setting(*k)->SetStoredVersion(c.stored);
    Select(kTreeModelKey, c.treeRow);
    settings_->SettingLoaded(S(kIdentificationAttributeKey), kOtherOwner);  // a new project
    if (c.treeFirst) settings_->SettingLoaded(S(kTreeModelKey), kOwner);
    settings_->SettingLoaded(S(kLegacyFeaturesKey), kOwner);
    if (!c.treeFirst) settings_->SettingLoaded(S(kTreeModelKey), kOwner);
    EXPECT_EQ(Setting(kLegacyFeaturesKey)->CurrentValue().AsBool(), c.legacyAfter);
    EXPECT_FALSE(settings_->MigrationFlag() && c.treeFirst);
  }
}

TEST_F(WebSettings, TreeModelRowsAreRepairedOnLoad) {
  auto table = static_cast<IcvTableSetting_DVS*>(Setting(kTreeModelKey).Get());
  table->SetCell(0, 0, OleVariant(u"dom").Get());
  Select(kTreeModelKey, 0);
  settings_->SettingLoaded(S(kTreeModelKey), kOwner);
  EXPECT_EQ(settings_->TreeModel(), 0);
  EXPECT_EQ(Setting(kTreeModelKey)->Rows()[0][0].AsString(), u"DOM");
  // Three rows: rebuilt with the four, the selection kept.
  table->SetRowCount(3);
  Select(kTreeModelKey, 1);
  settings_->SettingLoaded(S(kTreeModelKey), kOwner);
  const auto rows = Setting(kTreeModelKey)->Rows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[3][0].AsString(), u"Tree");
  EXPECT_EQ(Setting(kTreeModelKey)->CurrentValue().AsString(), u"Tag");
  EXPECT_TRUE(host_->Messenger().Messages().empty());  // loads never warn
}

TEST_F(WebSettings, PatternsOfAnotherHostVersionLoadDisabled) {
  Setting(kDynamicIdSettingKey)->SetStoredVersion(std::pair{8, 5});
  settings_->SettingLoaded(S(kDynamicIdSettingKey), kOwner);
  EXPECT_EQ(settings_->LastPatterns(), u"");
  for (const auto& r : Setting(kDynamicIdSettingKey)->Rows()) EXPECT_FALSE(r[kDiEnabled].AsBool());
  EXPECT_EQ(Setting(kDynamicIdSettingKey)->Rows().size(), 27u);  // flags only, nothing deleted
}

// The "Web" object: the three options of the web settings, a drop-down for the tables.
TEST_F(WebSettings, TheWebObjectReadsAndWritesTheWebSettings) {
  auto web = settings_->Objects().web;
  ASSERT_TRUE(web);
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(web->QueryInterface(IDispatch::iid, dispatch.PutVoid()), S_OK);
  auto id = [&](const char16_t* name) {
    DISPID d = DISPID_UNKNOWN;
    EXPECT_EQ(dispatch->GetIDsOfNames(GUID_NULL, &name, 1, 0, &d), S_OK) << WideToUtf8(name);
    return d;
  };
  auto get = [&](const char16_t* name) {
    DISPPARAMS none{};
    OleVariant result;
    EXPECT_EQ(dispatch->Invoke(id(name), GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.Put(), nullptr, nullptr),
              S_OK);
    return result;
  };
  auto put = [&](const char16_t* name, OleVariant value, EXCEPINFO* info) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{value.Ptr(), &named, 1, 1};
    return dispatch->Invoke(id(name), GUID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, info, nullptr);
  };
  EXPECT_EQ(get(u"TreeModel").AsString(), u"Tree");
  EXPECT_EQ(get(u"IdentificationAttribute").AsString(), u"ID");
  EXPECT_EQ(get(u"WebPageLoadingTimeout").AsInt(), 60000);
  EXCEPINFO info{};
  ASSERT_EQ(put(u"TreeModel", OleVariant(u"dom"), &info), S_OK);
  EXPECT_EQ(get(u"treemodel").AsString(), u"DOM");
  ASSERT_EQ(put(u"IdentificationAttribute", OleVariant(u"NAME"), &info), S_OK);
  EXPECT_EQ(GetSettingValue(host_->Manager(), kIdentificationAttributeKey).AsString(), u"Name");
  ASSERT_EQ(put(u"WebPageLoadingTimeout", OleVariant(std::int32_t{5000}), &info), S_OK);
  EXPECT_EQ(GetSettingValue(host_->Manager(), kPageLoadingTimeoutKey).AsInt(), 5000);
  ASSERT_EQ(put(u"TreeModel", OleVariant(u"x"), &info), DISP_E_EXCEPTION);
  EXPECT_EQ(BstrView(info.bstrDescription),
            u"Unable to apply the \"x\" value.\r\n\r\nPossible values: \"DOM\", \"Tag\", \"Hybrid\", \"Tree\"");
  ClearExcepInfo(info);
  EXPECT_EQ(get(u"TreeModel").AsString(), u"DOM");
  // Without creators the other three objects are not made.
  EXPECT_FALSE(settings_->Objects().ieSettings);
  EXPECT_FALSE(settings_->Objects().ieZoneSettings);
  EXPECT_FALSE(settings_->Objects().flashSettings);
}

// What a creator makes in these tests.
class TFakeSettingsObject final : public ComObject {};

// The IE, zone and Flash objects come from the creators, after the nine settings and before the
// table of dynamic identifiers; the IE class follows the browser's major version.
TEST_F(WebSettings, TheOtherSettingsObjectsComeFromTheCreators) {
  struct Case {
    std::optional<std::int32_t> major;
    TpwIESettingsClass expected;
  };
  const Case cases[] = {{6, TpwIESettingsClass::Base},
                        {7, TpwIESettingsClass::IE7},
                        {8, TpwIESettingsClass::IE8},
                        {11, TpwIESettingsClass::IE8},
                        {std::nullopt, TpwIESettingsClass::Base}};
  for (const auto& c : cases) {
    // A host of its own, so the settings are created anew.
    host::TestHost host{host::TestHostOptions{}};
    auto group = RegisterSettingsGroup(host.Manager(), kGroup, u"Web", u"", 0, 0, u"");
    std::vector<WideString> calls;
    TpwSettingsObjectCreators creators;
    if (c.major) creators.ieMajorVersion = [major = *c.major] { return major; };
    auto made = [&](const char16_t* what, IcvBaseManager* manager) {
      EXPECT_EQ(manager, host.Manager());
      EXPECT_TRUE(host.Settings().FindSetting(kPageLoadingTimeoutKey));
      EXPECT_FALSE(host.Settings().FindSetting(kDynamicIdSettingKey));
      calls.push_back(what);
      return ComPtr<IUnknown>(MakeObject<TFakeSettingsObject>()->Identity());
    };
    std::optional<TpwIESettingsClass> madeClass;
    creators.ieSettings = [&](IcvBaseManager* m, TpwIESettingsClass cls) {
      madeClass = cls;
      return made(u"IESettings", m);
    };
    creators.ieZoneSettings = [&](IcvBaseManager* m) { return made(u"IEZoneSettings", m); };
    creators.flashSettings = [&](IcvBaseManager* m) { return made(u"FlashSettings", m); };
    TpwWebSettings settings(host.Manager(), creators);
    settings.BuildSettings(group.Get(), nullptr);
    EXPECT_EQ(calls, (std::vector<WideString>{u"IESettings", u"IEZoneSettings", u"FlashSettings"}));
    ASSERT_TRUE(madeClass);
    EXPECT_EQ(*madeClass, c.expected);
    EXPECT_TRUE(settings.Objects().web);
    EXPECT_TRUE(settings.Objects().ieSettings);
    EXPECT_TRUE(settings.Objects().ieZoneSettings);
    EXPECT_TRUE(settings.Objects().flashSettings);
  }
}

// An object whose creator raises (its type library not loaded here, say) is left out; the other
// objects and the settings after it are made all the same.
TEST_F(WebSettings, AnObjectThatCannotBeMadeIsLeftOut) {
  host::TestHost host{host::TestHostOptions{}};
  auto group = RegisterSettingsGroup(host.Manager(), kGroup, u"Web", u"", 0, 0, u"");
  TpwSettingsObjectCreators creators;
  creators.ieSettings = [](IcvBaseManager*, TpwIESettingsClass) -> ComPtr<IUnknown> {
    throw EOleSysError(u"Element not found", static_cast<HRESULT>(0x8002802B));
  };
  creators.flashSettings = [](IcvBaseManager*) {
    return ComPtr<IUnknown>(MakeObject<TFakeSettingsObject>()->Identity());
  };
  TpwWebSettings settings(host.Manager(), creators);
  settings.BuildSettings(group.Get(), nullptr);
  EXPECT_TRUE(settings.Objects().web);
  EXPECT_FALSE(settings.Objects().ieSettings);
  EXPECT_FALSE(settings.Objects().ieZoneSettings);
  EXPECT_TRUE(settings.Objects().flashSettings);
  EXPECT_TRUE(host.Settings().FindSetting(kDynamicIdSettingKey));
}

}  // namespace
