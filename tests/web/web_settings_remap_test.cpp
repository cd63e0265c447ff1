// The re-mapping of mapped pages after a user's change of the dynamic URL parameters, on the test
// host's name mapping: which project's mapping is searched, when the user is asked, what yes
// masks and what no keeps.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/host/host_settings.h"
#include "core/host/module_proxy.h"
#include "core/options/options_name_pool.h"
#include "host/name_mapping.h"
#include "host/node_type_registry.h"
#include "host/test_host.h"
#include "openapps/namemapping/name_mapping.h"
#include "platform/automation/bstr.h"
#include "platform/rtl/strings.h"
#include "project/container/item_helpers.h"
#include "project/nodes/project_helpers.h"
#include "tests/support/scratch_dir.h"
#include "web/settings/web_settings.h"

namespace {

using namespace pw;
using namespace pw::web;

constexpr GUID kGroup = MakeGuid("{7A6C3C55-1D2E-4F3A-9B8C-0D1E2F3A4B5D}");
constexpr GUID kOwner = MakeGuid("{11111111-2222-3333-4444-555555555556}");

class WebSettingsRemap : public ::testing::Test {
 protected:
  WebSettingsRemap() {
    StartOptionsNamePool();
    SetHostExeFolderOverride(Utf8ToWide(PW_TEST_HOST_DIR));
    host::TestHostOptions options;
    options.interactive = true;
    host_ = std::make_unique<host::TestHost>(options);
    mappings_ = std::make_unique<host::TNameMappings>(*host_);
    GUID key{};
    CreateGuid(key);
    project_ = MakeObject<host::THostProject>(nullptr, key);
    project_->Initialize(host_->Manager());
    project_->ReloadFromFileName(Utf8ToWide(dir_.Utf8File("Project.pwp")), false);
    host_->Projects().SetDefaultProject(project_->AsNode());
    host_->Projects().SetSuiteOpen(true);
    group_ = RegisterSettingsGroup(host_->Manager(), kGroup, u"Web", u"", 0, 0, u"");
    settings_ = std::make_unique<TpwWebSettings>(host_->Manager());
    settings_->BuildSettings(group_.Get(), nullptr);
    for (const GUID* k : {&kIgnoreDynamicUrlParamsKey, &kDynamicParametersKey}) settings_->SettingLoaded(S(*k), kOwner);
  }
  ~WebSettingsRemap() override {
    settings_.reset();
    group_ = nullptr;
    item_ = nullptr;
    host_->Projects().SetCurrentNode(nullptr);
    host_->Projects().SetDefaultProject(nullptr);
    mappings_.reset();
    project_->Finalize();
    project_ = nullptr;
    host_.reset();
    StopHelperModules();
    SetHostExeFolderOverride(u"");
    StopOptionsNamePool();
  }
  IpwSetting* S(const GUID& key) { return static_cast<IcvTableSetting_DVS*>(host_->Settings().FindSetting(key).Get()); }

  // The project's NameMapping item, made as a user adds it; answers the root of its mapping.
  host::TNameMappingItem& MappingRoot() {
    if (!item_)
      project::CreateProjectItem(host_->Manager(), project_->AsNode(), kNameMappingItemType, {}, u"", false, true,
                                 item_);
    EXPECT_TRUE(item_);
    return mappings_->Repository(project::GetProjectKey(project_->AsNode()))->Root();
  }
  // A mapped item below `parent` with its identification properties (name, value).
  host::TNameMappingItem& Map(host::TNameMappingItem& parent, const char16_t* name,
                              std::vector<std::pair<const char16_t*, const char16_t*>> identification) {
    ComPtr<IpwNameMappingRepositoryItem> child;
    EXPECT_EQ(parent.AddChild(BString(name).Get(), child.Put()), S_OK);
    auto* made = static_cast<host::TNameMappingItem*>(child.Get());
    for (const auto& [n, v] : identification)
      made->Identification().AddProperty(BString(n).Get(), VARIANT_TRUE, OleVariant(v).Get());
    return *made;
  }
  static WideString Url(host::TNameMappingItem& item) {
    for (const auto& p : item.Identification().Properties())
      if (SameTextIgnoringCase(p.name, u"URL")) return p.value.AsString();
    return u"(none)";
  }
  // A user's change of "Dynamic parameters": the rows, then the change told.
  void ChangeParameters(std::vector<const char16_t*> rows) {
    auto table = host_->Settings().FindSetting(kDynamicParametersKey);
    auto* t = static_cast<IcvTableSetting_DVS*>(table.Get());
    ASSERT_EQ(t->SetRowCount(static_cast<std::int32_t>(rows.size())), S_OK);
    for (std::size_t r = 0; r < rows.size(); ++r)
      ASSERT_EQ(t->SetCell(0, static_cast<std::int32_t>(r), OleVariant(rows[r]).Get()), S_OK);
    settings_->SettingChanged(t, kOwner);
  }
  std::vector<host::MessageRecord> Questions() {
    auto all = host_->Messenger().Messages();
    std::erase_if(all, [](const auto& m) { return m.kind != host::MessageRecord::Confirmation; });
    return all;
  }

  pw::test::ScratchDir dir_;
  std::unique_ptr<host::TestHost> host_;
  std::unique_ptr<host::TNameMappings> mappings_;
  ComPtr<host::THostProject> project_;
  ComPtr<IpwProjectNode> item_;
  ComPtr<IpwSettingsGroup> group_;
  std::unique_ptr<TpwWebSettings> settings_;
};

// Without a page with a URL in the mapping of the project in use nothing is asked (a question
// would fail: none is scripted), while the change is published all the same.
TEST_F(WebSettingsRemap, NoMappedPageNoQuestion) {
  ChangeParameters({u"sid"});  // the project has no NameMapping item yet
  auto& root = MappingRoot();
  ChangeParameters({u"sid2"});  // an empty mapping
  auto& browser = Map(root, u"browser", {{u"ObjectType", u"Browser"}, {u"URL", u"http://a/?sid=1"}});
  Map(browser, u"pageWithoutUrl", {{u"ObjectType", u"Page"}});
  Map(browser, u"urlWithoutPage", {{u"URL", u"http://a/?sid=2"}});
  ChangeParameters({u"sid3"});
  EXPECT_EQ(Url(browser), u"http://a/?sid=1");
  // A page, but no suite open; then a current node outside every project.
  Map(root, u"page", {{u"ObjectType", u"Page"}, {u"URL", u"http://a/?sid=3"}});
  host_->Projects().SetSuiteOpen(false);
  ChangeParameters({u"sid4"});
  host_->Projects().SetSuiteOpen(true);
  auto outside = MakeObject<host::THostProject>(nullptr, MakeGuid("{21111111-2222-3333-4444-555555555556}"));
  outside->Initialize(host_->Manager());
  host_->Projects().SetCurrentNode(outside->AsNode());  // a project of its own, without a mapping
  ChangeParameters({u"sid5"});
  host_->Projects().SetCurrentNode(nullptr);
  outside->Finalize();
  EXPECT_TRUE(Questions().empty());
  const auto published = host_->HookParameters().Received();
  ASSERT_FALSE(published.empty());
  EXPECT_EQ(published.back().value.AsString(), u"sid5");
}

// Yes masks the URL of every mapped page, at any depth and below other pages, with the trimmed
// non-empty rows; other items keep theirs. The project is the current node's.
TEST_F(WebSettingsRemap, YesMasksEveryMappedPage) {
  auto& root = MappingRoot();
  host_->Projects().SetDefaultProject(nullptr);
  host_->Projects().SetCurrentNode(item_.Get());
  auto& browser = Map(root, u"browser", {{u"ObjectType", u"Browser"}});
  struct Row {
    host::TNameMappingItem* item;
    const char16_t* masked;
  };
  auto& page = Map(browser, u"page", {{u"ObjectType", u"Page"}, {u"URL", u"http://a/p.htm?sid=1&q=2&user=x"}});
  auto& frame = Map(page, u"frame", {{u"objecttype", u"PAGE"}, {u"url", u"http://a/f.htm?user=y"}});
  auto& plain = Map(page, u"plain", {{u"ObjectType", u"Page"}, {u"URL", u"http://a/plain.htm?q=1"}});
  auto& button = Map(frame, u"button", {{u"ObjectType", u"Button"}, {u"URL", u"http://a/b.htm?sid=1"}});
  auto& top = Map(root, u"top", {{u"URL", u"http://a/t.htm?sid=3"}, {u"ObjectType", u"Page"}});
  const Row rows[] = {
      {&page, u"http://a/p.htm?sid=*&q=2&user=*"},
      {&frame, u"http://a/f.htm?user=*"},
      {&plain, u"http://a/plain.htm?q=1"},
      {&button, u"http://a/b.htm?sid=1"},
      {&top, u"http://a/t.htm?sid=*"},
  };
  host_->Messenger().QueueConfirmation(true);
  ChangeParameters({u" sid ", u"", u"user"});
  const auto questions = Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text, kRemapPagesQuestion);
  EXPECT_EQ(questions[0].helpContext, kRemapPagesHelp);
  for (const auto& r : rows) EXPECT_EQ(Url(*r.item), r.masked) << WideToUtf8(r.item->Path());
  // The same text again changes nothing: no question.
  ChangeParameters({u"sid", u"user"});
  EXPECT_EQ(Questions().size(), 1u);
}

// No keeps every URL; a load (no user's change) and switching the parameters off never ask; on
// again with the same names the flag alone is a change and asks.
TEST_F(WebSettingsRemap, NoKeepsTheMappingAndOnlyAUsersChangeAsks) {
  auto& page = Map(MappingRoot(), u"page", {{u"ObjectType", u"Page"}, {u"URL", u"http://a/p.htm?sid=1"}});
  host_->Messenger().QueueConfirmation(false);
  ChangeParameters({u"sid"});
  EXPECT_EQ(Questions().size(), 1u);
  EXPECT_EQ(Url(page), u"http://a/p.htm?sid=1");

  auto ignore = host_->Settings().FindSetting(kIgnoreDynamicUrlParamsKey);
  ASSERT_EQ(static_cast<IcvTableSetting_DVS*>(ignore.Get())->put_Value(OleVariant(false).Get()), S_OK);
  settings_->SettingChanged(S(kIgnoreDynamicUrlParamsKey), kOwner);
  settings_->SettingLoaded(S(kDynamicParametersKey), kOwner);
  EXPECT_EQ(Questions().size(), 1u);
  ASSERT_EQ(static_cast<IcvTableSetting_DVS*>(ignore.Get())->put_Value(OleVariant(true).Get()), S_OK);
  host_->Messenger().QueueConfirmation(true);
  settings_->SettingChanged(S(kIgnoreDynamicUrlParamsKey), kOwner);
  EXPECT_EQ(Questions().size(), 2u);
  EXPECT_EQ(Url(page), u"http://a/p.htm?sid=*");
}

}  // namespace
