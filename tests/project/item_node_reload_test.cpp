// Outside changes of item files: the snapshot decides whether the file changed, the host setting
// and the file-reload manager whether it is reloaded; a refused reload marks the node; a failed
// one is reported in the parent's entry. Also nodes kept in their parent's data.
#include <sys/stat.h>

#include "core/options/options_tree.h"
#include "platform/com/safecall.h"
#include "project/actions/action_tables.h"
#include "project/nodes/node_helpers.h"
#include "project/storage/node_file_helpers.h"
#include "tests/project/item_node_fixture.h"

namespace pw::test {
namespace {

// A container parent: its child's entry records what is set on it.
class TEntry final : public Implements<ComObject, IpwPropertyObjectOwner> {
 public:
  void GetPropertyValue(std::int32_t, VARIANT*) override {}
  void SetPropertyValue(std::int32_t index, const VARIANT& value) override {
    values.emplace_back(index, OleVariant(value).AsString());
  }
  std::vector<std::pair<std::int32_t, WideString>> values;
};

class TContainer final : public Implements<ComObject, IpwProjectNode, IpwProjectNodeContainer> {
 public:
  ComPtr<TEntry> entry = MakeObject<TEntry>();
  HRESULT GetKey(GUID* key) override { return *key = GUID_NULL, S_OK; }
  HRESULT GetName(BSTR* name) override { return *name = BString(u"Folder").Detach(), S_OK; }
  HRESULT SetName(BSTR) override { return E_NOTIMPL; }
  HRESULT GetTypeKey(GUID* key) override { return *key = GUID_NULL, S_OK; }
  HRESULT GetAttribute(std::int32_t, VARIANT*) override { return E_INVALIDARG; }
  HRESULT SetAttribute(std::int32_t, const VARIANT&) override { return E_INVALIDARG; }
  HRESULT GetGuidAttribute(std::int32_t, GUID*) override { return E_INVALIDARG; }
  HRESULT SetGuidAttribute(std::int32_t, const GUID&) override { return E_INVALIDARG; }
  HRESULT GetParent(IpwProjectNode** parent) override { return *parent = nullptr, S_OK; }
  HRESULT GetChildren(IpwProjectNodeIterator** children) override {
    return *children = project::MakeEmptyNodeIterator().Detach(), S_OK;
  }
  HRESULT HasTests(VARIANT_BOOL* r) override { return *r = VARIANT_FALSE, S_OK; }
  HRESULT GetTestContext(IUnknown** c) override { return *c = nullptr, S_OK; }
  HRESULT GetTests(IpwTestIterator** t) override { return *t = project::MakeEmptyTestIterator().Detach(), S_OK; }
  HRESULT GetChildEntry(IpwProjectNode*, IUnknown** entryOut, VARIANT*) override {
    return *entryOut = ComPtr<IUnknown>(entry->Identity()).Detach(), S_OK;
  }
  HRESULT AddChild(IpwProjectNode*, VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT RemoveChild(IpwProjectNode*, VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT ReplaceOnFake(IpwProjectNode*, IpwProjectNode**, VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT ReplaceOnReal(IpwFakeProjectNode*, IpwProjectNode**, VARIANT_BOOL*) override { return E_NOTIMPL; }
};

// A node that answers how an outside change is reloaded.
class TAskingNode final : public Implements<TItemNode, IpwReloadQuestion> {
 public:
  TAskingNode() : Implements(nullptr, project::kFileStorageKind) {}
  bool ask = true;
  PW_HOST_RESERVED(3) PW_HOST_RESERVED(4) HRESULT AskBeforeReload(VARIANT_BOOL* result) override {
    return *result = ask ? VARIANT_TRUE : VARIANT_FALSE, S_OK;
  }
};

void SetTimes(const std::string& path, long seconds) {
  struct timeval times[2] = {{seconds, 0}, {seconds, 0}};
  ::utimes(path.c_str(), times);
}

TEST_F(ItemNodeTest, SameContentWithNewTimesIsNoChange) {
  WriteItemFile("A.pwi", u"v");
  auto node = Open(dir.File("A.pwi"));
  std::string bytes = ReadFileBytes(dir.Utf8File("A.pwi"));
  WriteFileBytes(dir.Utf8File("A.pwi"), bytes);
  SetTimes(dir.Utf8File("A.pwi"), 5000);
  EXPECT_FALSE(node->FileStorage()->IsFileChanged());
  node->FileStorage()->CheckReload();
  EXPECT_TRUE(host.FileReloads().Questions().empty());
  EXPECT_EQ(node->loads, 1);
}

TEST_F(ItemNodeTest, ReloadAskedThroughTheFileReloadManager) {
  WriteItemFile("A.pwi", u"v");
  auto node = Open(dir.File("A.pwi"));
  auto notices = MakeObject<host::TFileNotices>();
  host.SetService(project::kFileNoticesService, notices->Identity());
  node->SetValue(u"local");
  WriteItemFile("A.pwi", u"outside");
  host.FileReloads().QueueAnswer(true);
  // The host's watch service finds the change and the observer reports it.
  EXPECT_GE(host.FileWatch().CheckFiles(), 1u);
  EXPECT_EQ(node->value, u"outside");
  EXPECT_FALSE(node->modifiedInLoad);  // a reload counts as no change
  EXPECT_FALSE(node->IsModified());
  EXPECT_FALSE(node->FileStorage()->IsFileChanged());
  auto questions = host.FileReloads().Questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text, u"Project element: A\r\nFile: " + dir.File("A.pwi"));
  EXPECT_EQ(host.Providers().ReloadNotices(), (std::vector<WideString>{u"BeforeReload A", u"AfterReload A"}));
  EXPECT_EQ(notices->Notices(), (std::vector<WideString>{u"BeforeReload A", u"AfterReload A"}));
  auto scc = host.Projects().SccNotices();
  ASSERT_EQ(scc.size(), 2u);
  EXPECT_STREQ(scc[0].what, "BeginReload");
  EXPECT_STREQ(scc[1].what, "EndReload");
  host.SetService(project::kFileNoticesService, nullptr);
}

TEST_F(ItemNodeTest, RefusedReloadMarksTheNode) {
  WriteItemFile("A.pwi", u"v");
  auto node = Open(dir.File("A.pwi"));
  WriteItemFile("A.pwi", u"outside");
  host.FileReloads().QueueAnswer(false);
  node->FileStorage()->CheckReload();
  EXPECT_EQ(node->value, u"v");
  EXPECT_TRUE(project::HasNotReloadedMark(node->AsNode()));
  EXPECT_TRUE(node->CanReload());
  // The Reload action brings the file in and clears the mark.
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(node->ExecuteAction(project::NodeActions()[5].Key, OleVariant().Get(), &result), 0);
  EXPECT_EQ(node->value, u"outside");
  EXPECT_FALSE(project::HasNotReloadedMark(node->AsNode()));
}

TEST_F(ItemNodeTest, ReloadHandlingOffMarksWithoutAsking) {
  WriteItemFile("A.pwi", u"v");
  auto node = Open(dir.File("A.pwi"));
  WriteItemFile("A.pwi", u"outside");
  host.SetInteractive(false);
  std::int32_t changes = node->ChangeCount();
  node->FileStorage()->CheckReload();
  host.SetInteractive(true);
  EXPECT_TRUE(host.FileReloads().Questions().empty());
  EXPECT_EQ(node->value, u"v");
  EXPECT_TRUE(project::HasNotReloadedMark(node->AsNode()));
  EXPECT_GT(node->ChangeCount(), changes);
}

TEST_F(ItemNodeTest, ReadOnlyFilesReloadSilently) {
  WriteItemFile("A.pwi", u"v");
  auto node = Open(dir.File("A.pwi"));
  WriteItemFile("A.pwi", u"outside");
  ::chmod(dir.Utf8File("A.pwi").c_str(), 0444);
  node->FileStorage()->CheckReload();
  EXPECT_TRUE(host.FileReloads().Questions().empty());
  EXPECT_EQ(node->value, u"outside");
  // A node that answers the question interface decides itself.
  auto asking = MakeObject<TAskingNode>();
  OleCheck(asking->Initialize(host.Manager()));
  ASSERT_TRUE(asking->ReloadFromFileName(dir.File("A.pwi"), false));
  ::chmod(dir.Utf8File("A.pwi").c_str(), 0644);
  WriteItemFile("A.pwi", u"again");
  ::chmod(dir.Utf8File("A.pwi").c_str(), 0444);
  host.FileReloads().QueueAnswer(true);
  asking->FileStorage()->CheckReload();
  EXPECT_EQ(host.FileReloads().Questions().size(), 1u);
  EXPECT_EQ(asking->value, u"again");
  asking->ask = false;
  ::chmod(dir.Utf8File("A.pwi").c_str(), 0644);
  WriteItemFile("A.pwi", u"third");
  asking->FileStorage()->CheckReload();
  EXPECT_EQ(host.FileReloads().Questions().size(), 1u);
  EXPECT_EQ(asking->value, u"third");
  asking->Finalize();
}

TEST_F(ItemNodeTest, FailedReloadIsReportedInTheParentsEntry) {
  WriteItemFile("A.pwi", u"v");
  auto parent = MakeObject<TContainer>();
  auto node = MakeObject<TItemNode>(parent.Get(), project::kFileStorageKind);
  OleCheck(node->Initialize(host.Manager()));
  nodes_.push_back(node);
  ASSERT_TRUE(node->ReloadFromFileName(dir.File("A.pwi"), false));
  WriteItemFile("A.pwi", u"v", u"10.0");
  host.FileReloads().QueueAnswer(true);
  node->FileStorage()->CheckReload();
  ASSERT_EQ(parent->entry->values.size(), 1u);
  EXPECT_EQ(parent->entry->values[0].first, 1);
  EXPECT_EQ(parent->entry->values[0].second, u"Reload error. [Newer version of the data format.]");
  // The node holds no data: nothing is saved over the newer file.
  EXPECT_TRUE(node->FileStorage()->Closed());
  std::string newer = ReadFileBytes(dir.Utf8File("A.pwi"));
  node->SetValue(u"x");
  node->SaveToOwnFileResult();
  EXPECT_EQ(ReadFileBytes(dir.Utf8File("A.pwi")), newer);
}

TEST_F(ItemNodeTest, ParentStoredNodes) {
  auto builder = CreateOptionsBuilder();
  auto root = builder->GetRoot();
  ComPtr<IcvOptionsNode> entry;
  SafeCallCheck(root->GetNode(u"Entry", entry.Put()));
  ComPtr<IcvOptionsProperties> props;
  SafeCallCheck(entry->GetProperties(props.Put()));
  SafeCallCheck(props->SetString(u"Caption", u"Child"));
  SafeCallCheck(props->SetString(u"Value", u"stored"));

  auto node = MakeObject<TItemNode>(nullptr, project::kParentStorageKind);
  OleCheck(node->Initialize(host.Manager()));
  nodes_.push_back(node);
  auto* storage = node->Storage();
  EXPECT_FALSE(storage->LoadFromDataNode(nullptr));
  EXPECT_EQ(node->loads, 0);
  // A source that reports changes makes the node modified.
  EXPECT_TRUE(storage->LoadFromDataNode(entry.Get()));
  EXPECT_EQ(node->Name(), u"Child");
  EXPECT_EQ(node->value, u"stored");
  EXPECT_TRUE(node->IsModified());
  node->ResetModified();
  // ForceModified does the same for the next load.
  storage->SetForceModified(true);
  builder->SetReader(nullptr);
  EXPECT_TRUE(storage->LoadFromDataNode(entry.Get()));
  EXPECT_TRUE(node->IsModified());

  // Saving clears the target and copies the data in.
  ComPtr<IcvOptionsNode> target;
  SafeCallCheck(root->GetNode(u"Target", target.Put()));
  ComPtr<IcvOptionsProperties> targetProps;
  SafeCallCheck(target->GetProperties(targetProps.Put()));
  SafeCallCheck(targetProps->SetString(u"Stale", u"x"));
  node->SetValue(u"new");
  EXPECT_EQ(storage->SaveToDataNode(target.Get(), false), 0);
  EXPECT_FALSE(node->IsModified());
  WideString caption, value, signature;
  WordBool stale = 1;
  SafeCallCheck(targetProps->GetString(u"Caption", u"", &caption));
  SafeCallCheck(targetProps->GetString(u"Value", u"", &value));
  SafeCallCheck(targetProps->GetString(u"Signature", u"", &signature));
  SafeCallCheck(targetProps->PropertyExists(u"Stale", &stale));
  EXPECT_EQ(caption, u"Child");
  EXPECT_EQ(value, u"new");
  EXPECT_EQ(signature, GuidToWideString(host::kItemNodeType));
  EXPECT_FALSE(stale);
  // Unmodified: nothing to save, the target is still refreshed.
  EXPECT_EQ(storage->SaveToDataNode(target.Get(), false), 0);
}

}  // namespace
}  // namespace pw::test
