// What persistent nodes ask of and tell the host: the context actions they handle, the
// source-control menu query, item data of containers, and notices that arrive after the node
// is gone.
#include "core/options/options_tree.h"
#include "platform/com/safecall.h"
#include "project/actions/action_tables.h"
#include "project/actions/project_actions.h"
#include "project/storage/node_file_helpers.h"
#include "tests/project/item_node_fixture.h"

namespace pw::test {
namespace {

using namespace project;

TEST_F(ItemNodeTest, ActionsFollowTheStorage) {
  auto file = MakeFileNode();
  auto registrations = host.Actions().Registrations();
  EXPECT_EQ(registrations.size(), 4u);
  auto stored = MakeObject<TItemNode>(nullptr, kParentStorageKind);
  OleCheck(stored->Initialize(host.Manager()));
  EXPECT_EQ(host.Actions().Registrations().size(), 5u);
  stored->Finalize();
  Finalize(file.Get());
  EXPECT_TRUE(host.Actions().Registrations().empty());
}

TEST_F(ItemNodeTest, ActionsSaveAndTellWhetherTheyCan) {
  WriteItemFile("A.pwi", u"v");
  auto node = Open(dir.File("A.pwi"));
  EXPECT_FALSE(node->CanSave());
  EXPECT_TRUE(node->CanSaveAs());
  EXPECT_FALSE(node->CanReload());
  EXPECT_TRUE(node->CanShowProperties());
  node->SetValue(u"x");
  EXPECT_TRUE(node->CanSave());
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(node->ExecuteAction(NodeActions()[2].Key, OleVariant().Get(), &result), 0);
  EXPECT_FALSE(node->IsModified());
  EXPECT_EQ(node->ExecuteAction(NodeActions()[4].Key, OleVariant().Get(), &result), 0);
  auto notices = host.ProjectService().Notices();
  EXPECT_NE(std::find(notices.begin(), notices.end(), u"Properties A"), notices.end());
  EXPECT_EQ(node->ExecuteAction(NodeActions()[0].Key, OleVariant().Get(), &result), 2);
  // Without dialogs there is no save as.
  host.SetInteractive(false);
  EXPECT_FALSE(node->CanSaveAs());
  host.SetInteractive(true);
}

TEST_F(ItemNodeTest, SourceControlMenuKey) {
  auto node = Open(dir.File("A.pwi"));
  EXPECT_EQ(GetSourceControlMenuKey(host.Manager(), node->AsNode()), GUID_NULL);
  // The file-notice service also says that source control is present.
  auto notices = MakeObject<host::TFileNotices>();
  host.SetService(kFileNoticesService, notices->Identity());
  host.Projects().SetCurrentNode(node->AsNode());
  EXPECT_EQ(GetSourceControlMenuKey(host.Manager(), node->AsNode()), kSourceControlMenuKey);
  host.Projects().SetCurrentNode(nullptr);
  EXPECT_EQ(GetSourceControlMenuKey(host.Manager(), node->AsNode()), GUID_NULL);
  host.SetService(kFileNoticesService, nullptr);
}

TEST_F(ItemNodeTest, ItemDataOfContainers) {
  auto project = MakeObject<host::THostProjectNode>(nullptr, host::kProjectNodeType, u"Project1");
  project->SetAttributeValue(0, OleVariant(dir.File("Project1.pwp")));
  WriteItemFile("A.pwi", u"v");
  auto node = MakeObject<TItemNode>(project.Get(), kFileStorageKind);
  OleCheck(node->Initialize(host.Manager()));
  nodes_.push_back(node);
  ASSERT_TRUE(node->ReloadFromFileName(dir.File("A.pwi"), false));
  auto builder = CreateOptionsBuilder();
  auto entry = GetChildEntry(builder->GetRoot().Get(), 0);
  ASSERT_EQ(node->WriteItemData(entry.Get()), S_OK);
  ComPtr<IcvOptionsNode> data;
  SafeCallCheck(entry->GetNode(u"Item Data", data.Put()));
  ComPtr<IcvOptionsProperties> props;
  SafeCallCheck(data->GetProperties(props.Put()));
  WideString rel;
  SafeCallCheck(props->GetString(u"RelPath", u"", &rel));
  EXPECT_EQ(rel, u"A.pwi");
  // Another node of the project opens the item from the entry.
  auto other = MakeObject<TItemNode>(project.Get(), kFileStorageKind);
  OleCheck(other->Initialize(host.Manager()));
  nodes_.push_back(other);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  ASSERT_EQ(other->LoadItemData(entry.Get(), &loaded), S_OK);
  EXPECT_TRUE(loaded);
  EXPECT_EQ(other->value, u"v");
  EXPECT_EQ(other->FileName(), dir.File("A.pwi"));
}

TEST_F(ItemNodeTest, NoticesAfterTheNodeIsGone) {
  auto node = Open(dir.File("A.pwi"));
  ComPtr<IpwFileWatchClient> client;
  ASSERT_EQ(node->FileStorage()->Observer()->QueryInterface(IpwFileWatchClient::iid, client.PutVoid()), S_OK);
  Finalize(node.Get());
  node = nullptr;
  WriteItemFile("A.pwi", u"outside");
  EXPECT_EQ(client->Notify(2), S_OK);
  EXPECT_EQ(client->Notify(1), S_OK);
  EXPECT_TRUE(host.FileReloads().Questions().empty());
}

}  // namespace
}  // namespace pw::test
