// What persistent nodes ask of and tell the host: the context actions they handle, the
// source-control menu query, item data of containers, and notices that arrive after the node
// is gone.
#include "core/options/options_tree.h"
#include "platform/com/safecall.h"
#include "project/actions/action_tables.h"
#include "project/actions/project_actions.h"
#include "project/nodes/node_helpers.h"
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

WideString PropertyText(IpwPropertyObject* property, bool caption) {
  if (caption) {
    BString text;
    OleCheck(property->GetCaption(text.Put()));
    return WideString(text.View());
  }
  OleVariant value;
  OleCheck(property->GetValue(value.Put()));
  return value.IsEmpty() ? WideString() : value.AsString();
}

TEST_F(ItemNodeTest, FileNodesShowStorageNameAndComment) {
  auto node = Open(dir.File("A.pwi"));
  std::int32_t count = 0;
  OleCheck(node->GetPropertyCount(&count));
  ASSERT_EQ(count, 5);
  ComPtr<IpwPropertyObject> storage, comment;
  OleCheck(node->GetProperty(3, storage.Put()));
  OleCheck(node->GetProperty(4, comment.Put()));
  EXPECT_EQ(PropertyText(storage.Get(), true), u"Storage Name");
  EXPECT_EQ(PropertyText(storage.Get(), false), dir.File("A.pwi"));
  EXPECT_EQ(PropertyText(comment.Get(), true), u"Comment");
  OleCheck(node->SetAttribute(5, OleVariant(u"a note").Get()));
  EXPECT_EQ(PropertyText(comment.Get(), false), u"a note");
  VARIANT_BOOL readOnly = VARIANT_FALSE;
  OleCheck(storage->GetReadOnly(&readOnly));
  EXPECT_TRUE(readOnly);
  EXPECT_EQ(storage->SetValue(OleVariant(u"B.pwi").Get()), E_FAIL);
  ComPtr<IpwPropertyObject> none;
  EXPECT_EQ(node->GetProperty(5, none.Put()), E_INVALIDARG);
  // A node kept in its parent's data has the base's three.
  auto stored = MakeObject<TItemNode>(nullptr, kParentStorageKind);
  OleCheck(stored->GetPropertyCount(&count));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(stored->GetProperty(3, none.Put()), E_INVALIDARG);
}

std::vector<WideString> MenuItemKeys(host::TMenu* menu) {
  std::vector<WideString> keys;
  for (const auto& item : menu->Items()) {
    if (item.item.Get().vt == VT_BSTR) {
      keys.push_back(item.item.AsString());
      continue;
    }
    // An action the menu service knows: its key.
    ComPtr<IpwAction> action;
    OleCheck(item.item.Get().punkVal->QueryInterface(IpwAction::iid, action.PutVoid()));
    GUID key{};
    OleCheck(action->GetKey(&key));
    keys.push_back(GuidToWideString(key));
  }
  return keys;
}

TEST_F(ItemNodeTest, ContextMenuHoldsSourceControlAndReload) {
  const GUID menuKey = MakeGuid("{05F2D106-C156-4279-B995-B8A431F87F86}");
  auto node = Open(dir.File("A.pwi"));
  // Nothing to offer: no menu.
  EXPECT_FALSE(node->GetContextMenu());
  EXPECT_FALSE(host.Menus().Find(menuKey, false));
  SetNotReloadedMark(node->AsNode());
  auto menu = node->GetContextMenu();
  ASSERT_TRUE(menu);
  auto found = host.Menus().Find(menuKey, false);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->ParentKey(), GUID_NULL);
  EXPECT_EQ(MenuItemKeys(found.Get()), std::vector<WideString>{GuidToWideString(NodeActions()[5].Key)});
  // With source control the source-control menu comes first; the menu is filled anew.
  auto notices = MakeObject<host::TFileNotices>();
  host.SetService(kFileNoticesService, notices->Identity());
  host.Projects().SetCurrentNode(node->AsNode());
  ASSERT_TRUE(node->GetContextMenu());
  EXPECT_EQ(MenuItemKeys(found.Get()),
            (std::vector<WideString>{GuidToWideString(kSourceControlMenuKey), GuidToWideString(NodeActions()[5].Key)}));
  host.Projects().SetCurrentNode(nullptr);
  host.SetService(kFileNoticesService, nullptr);
  // A node kept in its parent's data collects nothing, mark or not.
  auto stored = MakeObject<TItemNode>(nullptr, kParentStorageKind);
  OleCheck(stored->Initialize(host.Manager()));
  SetNotReloadedMark(stored->AsNode());
  EXPECT_FALSE(stored->GetContextMenu());
  stored->Finalize();
}

TEST_F(ItemNodeTest, FileNameCollection) {
  auto node = Open(dir.File("A.pwi"));
  auto names = node->GetStringCollection();
  std::int32_t count = 0;
  OleCheck(names->GetCount(&count));
  ASSERT_EQ(count, 1);
  BString item;
  OleCheck(names->GetItem(0, item.Put()));
  EXPECT_EQ(item.View(), dir.File("A.pwi"));
  EXPECT_EQ(names->GetItem(1, item.Put()), E_INVALIDARG);
  auto stored = MakeObject<TItemNode>(nullptr, kParentStorageKind);
  OleCheck(stored->GetStringCollection()->GetCount(&count));
  EXPECT_EQ(count, 0);
}

class TEventNode final : public TItemNode {
 public:
  using TItemNode::TItemNode;
  std::vector<std::int32_t> events;
  void EventProviderHook1(const VARIANT& arg) override { events.push_back(OleVariant(arg).AsInt()); }
  void EventProviderHook2(const VARIANT&) override { events.push_back(-2); }
};

TEST_F(ItemNodeTest, EventProviderLivesFromInitializeToFinalize) {
  auto node = MakeObject<TEventNode>(nullptr, kFileStorageKind);
  ComPtr<IUnknown> provider;
  OleCheck(node->GetEventProvider(provider.Put()));
  EXPECT_FALSE(provider);
  const std::size_t before = host.Broker().SubscriptionCount();
  OleCheck(node->Initialize(host.Manager()));
  OleCheck(node->GetEventProvider(provider.Put()));
  EXPECT_TRUE(provider);
  EXPECT_EQ(host.Broker().SubscriptionCount(), before + 1);
  host.Broker().FireProjectNodeEvent(1, OleVariant(7));
  host.Broker().FireProjectNodeEvent(2, OleVariant());
  EXPECT_EQ(node->events, (std::vector<std::int32_t>{7, -2}));
  node->Finalize();
  EXPECT_EQ(host.Broker().SubscriptionCount(), before);
  host.Broker().FireProjectNodeEvent(1, OleVariant(8));
  EXPECT_EQ(node->events.size(), 2u);
  OleCheck(node->GetEventProvider(provider.Put()));
  EXPECT_FALSE(provider);
}

}  // namespace
}  // namespace pw::test
