// The shared routines of persistent nodes: child entries, entry order, the file-name check, the
// name parameter, pending file names, new child items and creation information.
#include "project/storage/node_file_helpers.h"

#include "core/options/options_tree.h"
#include "platform/com/safecall.h"
#include "project/nodes/project_helpers.h"
#include "tests/project/item_node_fixture.h"

namespace pw::test {
namespace {

using namespace project;

TEST_F(ItemNodeTest, ChildEntriesAreMigrated) {
  auto builder = CreateOptionsBuilder();
  auto list = builder->GetRoot();
  ComPtr<IcvOptionsNode> old;
  SafeCallCheck(list->GetNode(u"Item7", old.Put()));
  SafeCallCheck(PropertiesOf(old.Get())->SetInteger(u"Index", 3));
  EXPECT_EQ(ChildEntryName(7), u"Item0000000007");
  auto entry = GetChildEntry(list.Get(), 7);
  EXPECT_EQ(GetEntryIndex(entry.Get()), 3);
  WordBool exists = 1;
  SafeCallCheck(list->NodeExists(u"Item7", &exists));
  EXPECT_FALSE(exists);
  SafeCallCheck(list->NodeExists(u"Item0000000007", &exists));
  EXPECT_TRUE(exists);
  // An entry without "Index" sorts first.
  auto other = GetChildEntry(list.Get(), 8);
  EXPECT_EQ(GetEntryIndex(other.Get()), -1);
  EXPECT_LT(CompareEntryIndex(other.Get(), entry.Get()), 0);
  EXPECT_GT(CompareEntryIndex(entry.Get(), other.Get()), 0);
  EXPECT_EQ(CompareEntryIndex(entry.Get(), entry.Get()), 0);
}

TEST_F(ItemNodeTest, ElementFileNameCheck) {
  WriteItemFile("Taken.pwi", u"t");
  auto node = Open(dir.File("Mine.pwi"));
  ASSERT_TRUE(node);
  struct Case {
    const char16_t* name;
    bool always;
    bool passes;
    const char* message;
    std::int32_t helpContext;
  } cases[] = {
      {u"Good", false, true, nullptr, 0},
      {u"con", false, false, "reserved by the operating system", 0},
      {u"Con", false, false, "reserved by the operating system", 0},
      {u"console", false, true, nullptr, 0},
      {u"a:b", false, false, "is not valid for", 4008},
      {u"Taken", false, false, "already exists on disk", 0},
      // The node's own file is no other file, unless asked always.
      {u"Mine", false, true, nullptr, 0},
      {u"Mine", true, false, "already exists on disk", 0},
  };
  for (const auto& c : cases) {
    std::size_t before = host.Messenger().Messages().size();
    EXPECT_EQ(CheckElementFileName(host.Manager(), node->AsNode(), c.name, node->FileName(), c.always), c.passes)
        << WideToUtf8(c.name);
    auto messages = host.Messenger().Messages();
    if (c.message) {
      ASSERT_EQ(messages.size(), before + 1) << WideToUtf8(c.name);
      EXPECT_NE(WideToUtf8(messages.back().text).find(c.message), std::string::npos)
          << WideToUtf8(messages.back().text);
      EXPECT_EQ(messages.back().helpContext, c.helpContext);
    } else {
      EXPECT_EQ(messages.size(), before) << WideToUtf8(c.name);
    }
  }
}

// A parameter list with the captions given.
class TParams final : public Implements<ComObject, IpwProjectNodeConfigInfo> {
 public:
  explicit TParams(std::vector<WideString> names) : names_(std::move(names)) {}
  HRESULT GetCount(std::int32_t* count) override { return *count = static_cast<std::int32_t>(names_.size()), S_OK; }
  HRESULT GetName(std::int32_t i, BSTR* name) override { return *name = BString(names_[i]).Detach(), S_OK; }
  HRESULT GetValue(std::int32_t, VARIANT*) override { return E_NOTIMPL; }
  HRESULT SetValue(std::int32_t, const VARIANT&) override { return E_NOTIMPL; }
  HRESULT Validate(std::int32_t*, VARIANT_BOOL*) override { return E_NOTIMPL; }

 private:
  std::vector<WideString> names_;
};

TEST(NodeFileHelpers, FindNameParam) {
  EXPECT_EQ(FindNameParam(MakeObject<TParams>(std::vector<WideString>{u"Name", u"&name", u"&Name"}).Get()), 1);
  EXPECT_EQ(FindNameParam(MakeObject<TParams>(std::vector<WideString>{u"Location"}).Get()), -1);
}

TEST_F(ItemNodeTest, PendingFileNamesWhileSavingAs) {
  WriteItemFile("A.pwi", u"v");
  auto node = Open(dir.File("A.pwi"));
  EXPECT_EQ(GetPendingFileName(node->AsNode()), dir.File("A.pwi"));
  EXPECT_EQ(GetPendingSourceFileName(node->AsNode()), dir.File("A.pwi"));
  // During a save to a new file the node tells both names.
  struct Probe : TItemNode {
    using TItemNode::TItemNode;
    WideString pending, source;
    std::int32_t Save() override {
      pending = GetPendingFileName(AsNode());
      source = GetPendingSourceFileName(AsNode());
      return TItemNode::Save();
    }
  };
  auto probe = MakeObject<Probe>(nullptr, kFileStorageKind);
  OleCheck(probe->Initialize(host.Manager()));
  ASSERT_TRUE(probe->ReloadFromFileName(dir.File("A.pwi"), false));
  probe->SetValue(u"x");
  EXPECT_EQ(probe->SaveToNewFileName(dir.File("B.pwi"), false), 0);
  EXPECT_EQ(probe->pending, dir.File("B.pwi"));
  EXPECT_EQ(probe->source, dir.File("A.pwi"));
  probe->Finalize();
}

// Item types for new children: two entries with the same type; the first one's factory fails.
class TTypeInfo final : public Implements<ComObject, IpwProjectNodeInfo> {
 public:
  explicit TTypeInfo(bool single) : single_(single) {}
  HRESULT GetKey(GUID* key) override { return *key = host::kItemNodeType, S_OK; }
  HRESULT GetProperty(std::int32_t index, VARIANT* value) override {
    OleVariant v;
    if (index == 0) v = OleVariant(u"Item");
    if (index == 2) v = OleVariant(u"Test Item");
    if (index == 9) v = OleVariant(single_);
    return VariantCopy(value, v.Ptr());
  }
  HRESULT GetParentTypeKey(GUID* key) override { return *key = GUID_NULL, S_OK; }
  HRESULT CreateConfigInfo(IpwProjectNode*, IpwProjectNodeConfigInfo**) override { return E_NOTIMPL; }

 private:
  bool single_;
};

class TTypes final : public Implements<ComObject, IpwProjectItemTypeProvider> {
 public:
  explicit TTypes(IcvBaseManager* manager, bool single) : manager_(manager), single_(single) {}
  std::int32_t made = 0, refused = 0;
  std::vector<ComPtr<TItemNode>> nodes;
  HRESULT GetKey(GUID* key) override { return *key = GUID_NULL, S_OK; }
  HRESULT GetItemTypeCount(std::int32_t* count) override { return *count = 2, S_OK; }
  HRESULT CreateItem(const GUID&, const GUID&, IpwProjectNodeConfigInfo*, IUnknown*, IpwProjectNode* parent,
                     IpwProjectNode** node) override {
    if (made++ % 2 == 0) return *node = nullptr, S_OK;  // the first type's factory gives nothing
    auto n = MakeObject<TItemNode>(parent, kFileStorageKind);
    OleCheck(n->Initialize(manager_));
    nodes.push_back(n);
    *node = ComPtr<IpwProjectNode>(n->AsNode()).Detach();
    return S_OK;
  }
  HRESULT AddNewItem(IpwProjectNode*, const GUID&, BSTR, IpwProjectNode**) override { return E_NOTIMPL; }
  HRESULT GetItemTypeInfo(std::int32_t, IpwProjectNodeInfo** info) override {
    *info = ComPtr<IpwProjectNodeInfo>(MakeObject<TTypeInfo>(single_).Get()).Detach();
    return S_OK;
  }

 private:
  IcvBaseManager* manager_;
  bool single_;
};

TEST_F(ItemNodeTest, NewChildItems) {
  auto project = MakeObject<host::THostProjectNode>(nullptr, host::kProjectNodeType, u"Project1");
  project->SetAttributeValue(0, OleVariant(dir.File("Project1.pwp")));
  auto types = MakeObject<TTypes>(host.Manager(), false);
  auto child = CreateNewChildItem(host.Manager(), types.Get(), project.Get(), host::kItemNodeType, dir.File("C.pwi"));
  ASSERT_TRUE(child);
  EXPECT_EQ(types->made, 2);  // the second type was tried
  EXPECT_EQ(NodeName(child.Get()), u"C");
  EXPECT_TRUE(FileExistsName(dir.File("C.pwi")));
  project->AddChild(child.Get());
  // The same name as a sibling: the node's name rule refuses it.
  EXPECT_FALSE(CreateNewChildItem(host.Manager(), types.Get(), project.Get(), host::kItemNodeType, dir.File("C.pwi")));
  // Another name of the sibling's file: refused with a message, the half-made node released.
  std::filesystem::create_symlink(dir.Path() / "C.pwi", dir.Path() / "D.pwi");
  auto again = CreateNewChildItem(host.Manager(), types.Get(), project.Get(), host::kItemNodeType, dir.File("D.pwi"));
  EXPECT_FALSE(again);
  EXPECT_NE(WideToUtf8(host.Messenger().Messages().back().text).find("file name already exists"), std::string::npos)
      << WideToUtf8(host.Messenger().Messages().back().text);

  // Creation information: "RelPath" relative to the project's folder.
  auto builder = CreateOptionsBuilder();
  auto info = builder->GetRoot();
  WriteCreationInfo(child.Get(), info.Get());
  WideString rel;
  SafeCallCheck(PropertiesOf(info.Get())->GetString(u"RelPath", u"", &rel));
  EXPECT_EQ(rel, u"C.pwi");
  // Opened under another project of the same folder.
  auto project2 = MakeObject<host::THostProjectNode>(nullptr, host::kProjectNodeType, u"Project2");
  project2->SetAttributeValue(0, OleVariant(dir.File("Project2.pwp")));
  auto opened = MakeObject<TItemNode>(project2.Get(), kFileStorageKind);
  OleCheck(opened->Initialize(host.Manager()));
  nodes_.push_back(opened);
  EXPECT_TRUE(CreateFromInfo(host.Manager(), opened->AsNode(), info.Get()));
  EXPECT_EQ(opened->FileName(), dir.File("C.pwi"));
  // Blank and missing files fail with the node's error text.
  SafeCallCheck(PropertiesOf(info.Get())->SetString(u"RelPath", u"   "));
  auto blank = MakeObject<TItemNode>(project2.Get(), kFileStorageKind);
  OleCheck(blank->Initialize(host.Manager()));
  nodes_.push_back(blank);
  EXPECT_FALSE(CreateFromInfo(host.Manager(), blank->AsNode(), info.Get()));
  EXPECT_EQ(blank->ErrorMessage(), u"Information needed to create the element is invalid.");
  SafeCallCheck(PropertiesOf(info.Get())->SetString(u"RelPath", u"sub/None.pwi"));
  EXPECT_FALSE(CreateFromInfo(host.Manager(), blank->AsNode(), info.Get()));
  EXPECT_EQ(blank->ErrorMessage(), u"The '" + dir.File("sub/None.pwi") + u"' file does not exist.");
  EXPECT_FALSE(FileExistsName(dir.File("sub/None.pwi")));

  for (auto& n : types->nodes) n->Finalize();
  project->ClearChildren();
}

TEST_F(ItemNodeTest, SingleNameTypesRefuseADuplicateName) {
  auto project = MakeObject<host::THostProjectNode>(nullptr, host::kProjectNodeType, u"Project1");
  auto types = MakeObject<TTypes>(host.Manager(), true);
  auto first =
      CreateNewChildItem(host.Manager(), types.Get(), project.Get(), host::kItemNodeType, dir.File("Item.pwi"));
  ASSERT_TRUE(first);
  project->AddChild(first.Get());
  // A child named as the type already: the type is skipped.
  EXPECT_FALSE(
      CreateNewChildItem(host.Manager(), types.Get(), project.Get(), host::kItemNodeType, dir.File("sub/Item.pwi")));
  for (auto& n : types->nodes) n->Finalize();
  project->ClearChildren();
}

}  // namespace
}  // namespace pw::test
