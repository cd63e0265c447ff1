// The interfaces persistent nodes answer besides loading and saving: the context menu and the
// file names, the settings source, changes, auxiliary calls and configurations; and the files a
// node removed from the suite leaves behind.
#include <sys/stat.h>

#include <filesystem>

#include "core/options/options_tree.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "project/actions/action_tables.h"
#include "project/nodes/node_helpers.h"
#include "project/nodes/project_helpers.h"
#include "project/nodes/small_services.h"
#include "project/storage/node_file_helpers.h"
#include "core/host/host_services.h"
#include "tests/project/item_node_fixture.h"

namespace pw::test {
namespace {

using namespace project;

template <class I>
ComPtr<I> Ask(IUnknown* object) {
  ComPtr<I> result;
  if (Failed(object->QueryInterface(I::iid, result.PutVoid()))) return nullptr;
  return result;
}

ComPtr<TItemNode> MakeStoredNode(host::TestHost& host, IpwProjectNode* parent = nullptr) {
  auto node = MakeObject<TItemNode>(parent, kParentStorageKind);
  OleCheck(node->Initialize(host.Manager()));
  return node;
}

std::vector<WideString> Items(IpwStringCollection* list) {
  std::vector<WideString> items;
  std::int32_t count = 0;
  OleCheck(list->GetCount(&count));
  for (std::int32_t i = 0; i < count; ++i) {
    BString item;
    OleCheck(list->GetItem(i, item.Put()));
    items.emplace_back(item.View());
  }
  return items;
}

TEST_F(ItemNodeTest, ContextMenuAndFileNamesThroughTheirInterfaces) {
  auto node = Open(dir.File("A.pwi"));
  auto stored = MakeStoredNode(host);
  for (TItemNode* n : {node.Get(), stored.Get()}) {
    ASSERT_TRUE(Ask<IpwContextMenuProvider>(n->AsNode())) << "every persistent node answers the menu";
    ASSERT_TRUE(Ask<IpwFileNameCollection>(n->AsNode())) << "and the file names";
  }
  auto menus = Ask<IpwContextMenuProvider>(node->AsNode());
  ComPtr<IpwMenu> menu;
  ASSERT_EQ(menus->GetContextMenu(menu.Put()), S_OK);
  EXPECT_FALSE(menu);  // nothing to offer
  SetNotReloadedMark(node->AsNode());
  ASSERT_EQ(menus->GetContextMenu(menu.Put()), S_OK);
  EXPECT_TRUE(menu);
  EXPECT_EQ(menus->GetContextMenu(nullptr), E_POINTER);

  ComPtr<IpwStringCollection> files;
  ASSERT_EQ(Ask<IpwFileNameCollection>(node->AsNode())->GetStringCollection(files.Put()), S_OK);
  EXPECT_EQ(Items(files.Get()), std::vector<WideString>{dir.File("A.pwi")});
  ASSERT_EQ(Ask<IpwFileNameCollection>(stored->AsNode())->GetStringCollection(files.Put()), S_OK);
  EXPECT_TRUE(Items(files.Get()).empty());
  stored->Finalize();
}

TEST_F(ItemNodeTest, ParentStoredMarkerFollowsTheStorage) {
  auto file = MakeFileNode();
  auto stored = MakeStoredNode(host);
  EXPECT_FALSE(Ask<IpwParentStoredMarker>(file->AsNode()));
  auto marker = Ask<IpwParentStoredMarker>(stored->AsNode());
  ASSERT_TRUE(marker);
  GUID key{};
  ASSERT_EQ(marker->GetKey(&key), S_OK);
  EXPECT_EQ(key, stored->Key());
  stored->Finalize();
}

TEST_F(ItemNodeTest, SettingsSourceIsAttributeThree) {
  auto node = Open(dir.File("A.pwi"));
  OleVariant attribute;
  ASSERT_EQ(node->GetAttribute(3, attribute.Put()), S_OK);
  ASSERT_EQ(attribute.Ptr()->vt, VT_UNKNOWN);
  auto source = Ask<IpwNodeSettingsSource>(attribute.Ptr()->punkVal);
  ASSERT_TRUE(source);
  GUID key{}, type{}, project{};
  ASSERT_EQ(source->GetKey(&key), S_OK);
  ASSERT_EQ(source->GetTypeKey(&type), S_OK);
  ASSERT_EQ(source->GetProjectKey(&project), S_OK);
  EXPECT_EQ(key, node->Key());
  EXPECT_EQ(type, host::kItemNodeType);
  EXPECT_EQ(project, GUID_NULL);  // no project above
  // The settings are the data's "Settings" child: what is written there is saved with the node.
  ComPtr<IUnknown> settings;
  ASSERT_EQ(source->GetSettings(settings.Put()), S_OK);
  auto options = Ask<IcvOptionsNode>(settings.Get());
  ASSERT_TRUE(options);
  SafeCallCheck(PropertiesOf(options.Get())->SetString(u"Mode", u"fast"));
  node->Changed(true);
  ASSERT_EQ(node->SaveToOwnFileResult(), 0);
  Finalize(node.Get());
  auto again = Open(dir.File("A.pwi"));
  WideString mode;
  SafeCallCheck(PropertiesOf(again->Settings().Get())->GetString(u"Mode", u"", &mode));
  EXPECT_EQ(mode, u"fast");
  // A node without data has no settings.
  auto empty = MakeFileNode();
  ASSERT_EQ(Ask<IpwNodeSettingsSource>(empty->AsNode())->GetSettings(settings.Put()), S_OK);
  EXPECT_FALSE(settings);
}

TEST_F(ItemNodeTest, ChangeAndAuxiliaryCalls) {
  auto node = Open(dir.File("A.pwi"));
  EXPECT_FALSE(node->IsModified());
  auto change = Ask<IpwNodeChange>(node->AsNode());
  ASSERT_TRUE(change);
  ASSERT_EQ(change->Changed(VARIANT_TRUE), S_OK);
  EXPECT_TRUE(node->IsModified());
  auto auxiliary = Ask<IpwNodeAuxiliary>(node->AsNode());
  ASSERT_TRUE(auxiliary);
  VARIANT_BOOL answer = VARIANT_TRUE;
  ASSERT_EQ(auxiliary->AuxiliaryQuery(1, OleVariant(2).Get(), &answer), S_OK);
  EXPECT_EQ(answer, VARIANT_FALSE);
  EXPECT_EQ(auxiliary->AuxiliaryNotify(1, OleVariant().Get()), S_OK);
}

constexpr GUID kConfigA = MakeGuid("{6B0C0E51-1C2D-4E3F-8A9B-0C1D2E3F4A01}");
constexpr GUID kConfigB = MakeGuid("{6B0C0E51-1C2D-4E3F-8A9B-0C1D2E3F4A02}");

// A node with two configurations; key A is modified on demand.
class TConfigNode final : public TItemNode {
 public:
  using TItemNode::TItemNode;
  bool aModified = false;
  std::vector<WideString> calls;
  std::vector<GUID> GetConfigKeys() override { return {kConfigA, kConfigB}; }
  bool ConfigKeyModified(const GUID& key) override { return key == kConfigA && aModified; }
  void StoreConfigKey(const GUID& key) override {
    calls.push_back(u"save " + GuidToWideString(key));
    aModified = false;
  }
  void ReadConfigKey(const GUID& key) override { calls.push_back(u"load " + GuidToWideString(key)); }
};

TEST_F(ItemNodeTest, ConfigurationsTakePartInModifiedSaveAndReload) {
  auto node = MakeObject<TConfigNode>(nullptr, kFileStorageKind);
  OleCheck(node->Initialize(host.Manager()));
  nodes_.push_back(node);
  ASSERT_TRUE(node->ReloadFromFileName(dir.File("C.pwi"), false));
  auto config = Ask<IpwProjectNodeWithConfig>(node->AsNode());
  ASSERT_TRUE(config);
  VARIANT_BOOL has = VARIANT_FALSE;
  ASSERT_EQ(config->HasConfigKey(kConfigB, &has), S_OK);
  EXPECT_EQ(has, VARIANT_TRUE);
  ASSERT_EQ(config->HasConfigKey(GUID_NULL, &has), S_OK);
  EXPECT_EQ(has, VARIANT_FALSE);

  // A modified configuration makes the node modified.
  EXPECT_FALSE(node->IsModified());
  node->aModified = true;
  EXPECT_TRUE(node->IsModified());
  VARIANT_BOOL modified = VARIANT_FALSE;
  ASSERT_EQ(config->IsConfigKeyModified(kConfigA, &modified), S_OK);
  EXPECT_EQ(modified, VARIANT_TRUE);

  // Without a store nothing is saved; with one, the modified configuration only.
  node->SetValue(u"x");
  ASSERT_EQ(node->SaveToOwnFileResult(), 0);
  EXPECT_TRUE(node->calls.empty());
  node->aModified = true;
  node->SetValue(u"y");
  auto store = CreateOptionsBuilder();
  ASSERT_EQ(config->SetConfig(store.Get()), S_OK);
  EXPECT_EQ(node->GetConfig(), static_cast<IUnknown*>(store.Get()));
  ASSERT_EQ(node->SaveToOwnFileResult(), 0);
  EXPECT_EQ(node->calls, std::vector<WideString>{u"save " + GuidToWideString(kConfigA)});

  // A reload keeps the store and loads every configuration again.
  node->calls.clear();
  ASSERT_TRUE(node->Reload());
  EXPECT_EQ(node->GetConfig(), static_cast<IUnknown*>(store.Get()));
  EXPECT_EQ(node->calls,
            (std::vector<WideString>{u"load " + GuidToWideString(kConfigA), u"load " + GuidToWideString(kConfigB)}));
  // The interface's own calls reach the same steps.
  node->calls.clear();
  ASSERT_EQ(config->SaveConfigKey(kConfigB), S_OK);
  ASSERT_EQ(config->LoadConfigKey(kConfigA), S_OK);
  EXPECT_EQ(node->calls,
            (std::vector<WideString>{u"save " + GuidToWideString(kConfigB), u"load " + GuidToWideString(kConfigA)}));
}

// A project above nodes that may keep some of their files when they are removed.
class TVetoProject final : public Implements<TItemNode, IpwProjectFileRemoval> {
 public:
  TVetoProject() : Implements(nullptr, kFileStorageKind, kProjectTypeKey) {}
  bool checks = true;
  WideString keep;
  HRESULT ChecksFileRemoval(VARIANT_BOOL* result) override { return *result = ToWordBool(checks), S_OK; }
  HRESULT MayRemoveFile(BSTR file, VARIANT_BOOL* allowed) override {
    return *allowed = ToWordBool(BstrView(file) != keep), S_OK;
  }
};

TEST_F(ItemNodeTest, RemovedNodesDeleteTheirFiles) {
  namespace fs = std::filesystem;
  const WideString folder = dir.File("Items");
  fs::create_directories(fs::path(WideToUtf8(folder)));
  const WideString a = folder + u"/A.pwi", b = dir.File("B.pwi");
  auto nodeA = Open(a);
  auto nodeB = Open(b);
  ASSERT_TRUE(nodeA && nodeB);
  ASSERT_EQ(::chmod(WideToUtf8(a).c_str(), 0444), 0);  // a read-only file goes as well
  // Closing the suite (Finalize) keeps the file; removal (FinalizeNode) deletes it and its folder
  // once empty, and the host hears which files went.
  Finalize(nodeB.Get());
  EXPECT_TRUE(FileExistsName(b));
  OleCheck(nodeA->FinalizeNode());
  EXPECT_FALSE(FileExistsName(a));
  EXPECT_FALSE(fs::exists(fs::path(WideToUtf8(folder))));
  const auto notices = host.ProjectUpdate().Notices();
  ASSERT_FALSE(notices.empty());
  EXPECT_EQ(notices.back(), u"removed A: " + a);
  // A folder that still holds other files stays.
  auto nodeC = Open(dir.File("C.pwi"));
  OleCheck(nodeC->FinalizeNode());
  EXPECT_FALSE(FileExistsName(dir.File("C.pwi")));
  EXPECT_TRUE(FileExistsName(b));
}

TEST_F(ItemNodeTest, TheProjectMayKeepARemovedNodesFile) {
  auto project = MakeObject<TVetoProject>();
  OleCheck(project->Initialize(host.Manager()));
  struct Cases {
    bool checks;
    bool keepFile;
    bool deleted;
  } cases[] = {{true, true, false}, {true, false, true}, {false, true, true}};
  int i = 0;
  for (const auto& c : cases) {
    const WideString file = dir.File("V" + std::to_string(i++) + ".pwi");
    auto node = MakeObject<TItemNode>(project->AsNode(), kFileStorageKind);
    OleCheck(node->Initialize(host.Manager()));
    ASSERT_TRUE(node->ReloadFromFileName(file, false));
    project->checks = c.checks;
    project->keep = c.keepFile ? file : WideString();
    OleCheck(node->FinalizeNode());
    EXPECT_EQ(!FileExistsName(file), c.deleted) << c.checks << c.keepFile;
  }
  project->Finalize();
}

TEST_F(ItemNodeTest, ReloadBatchAsksAboutEachFileOnce) {
  auto& reloads = host.FileReloads();
  {
    TpwFileReloadBatch outer(host.Manager());
    TpwFileReloadBatch inner(host.Manager());
    EXPECT_EQ(reloads.BatchDepth(), 2);
    reloads.QueueAnswer(false);
    reloads.QueueAnswer(true);
    EXPECT_FALSE(IsFileReloadWanted(host.Manager(), u"/p/a.pwi", nullptr, false));
    EXPECT_FALSE(IsFileReloadWanted(host.Manager(), u"/p/a.pwi", nullptr, false));  // not asked again
    EXPECT_TRUE(IsFileReloadWanted(host.Manager(), u"/p/b.pwi", nullptr, false));
  }
  EXPECT_EQ(reloads.BatchDepth(), 0);
  EXPECT_EQ(reloads.Questions().size(), 2u);
  // Outside a batch every question is asked; an end without a begin fails.
  reloads.QueueAnswer(true);
  EXPECT_TRUE(IsFileReloadWanted(host.Manager(), u"/p/a.pwi", nullptr, false));
  EXPECT_EQ(reloads.Questions().size(), 3u);
  auto manager = GetHostService<IpwFileReloadManager>(host.Manager(), kFileReloadService);
  EXPECT_EQ(manager->EndReloadBatch(), E_UNEXPECTED);
}

}  // namespace
}  // namespace pw::test
