// Logical folders on a real container (a Box with Part and Solo children): the stored layout
// (order, malformed and dangling references, nesting, unchanged bytes), default names, renames,
// monikers, moves, removals with and without the items, references, the Unavailable-node round
// trip, removed children, the action handler with a controller, the actions' registration and
// update, the edit and update brackets, and what tells the node-event sink.
#include <functional>

#include "core/options/options_tree.h"
#include "core/options/options_xml_storage.h"
#include "host/node_type_registry.h"
#include "platform/com/safecall.h"
#include "platform/ui/gdi.h"
#include "project/folders/virtual_folders.h"
#include "project/nodes/project_helpers.h"
#include "project/storage/node_file_helpers.h"
#include "tests/project/container_fixture.h"
#include "tests/support/scratch_dir.h"

namespace pw::test {

namespace {

using project::IpwProjectViewerNode;
using project::IpwProjectVirtualFolder;
using project::IpwProjectVirtualFolderExternalController;
using project::IpwProjectVirtualFolders;
using project::TpwProjectItem;

const GUID kKeyA = MakeGuid("{22222222-0000-0000-0000-00000000000A}");
const GUID kKeyB = MakeGuid("{22222222-0000-0000-0000-00000000000B}");
const GUID kKeyC = MakeGuid("{22222222-0000-0000-0000-00000000000C}");
const GUID kKeyS = MakeGuid("{22222222-0000-0000-0000-00000000000D}");
const GUID kKeyGone = MakeGuid("{22222222-0000-0000-0000-0000000000FF}");

ComPtr<IcvOptionsNode> Sub(IcvOptionsNode* node, WideStringView name) {
  ComPtr<IcvOptionsNode> sub;
  SafeCallCheck(node->GetNode(name, sub.Put()));
  return sub;
}
void SetText(IcvOptionsNode* node, WideStringView name, WideStringView value) {
  SafeCallCheck(project::PropertiesOf(node)->SetString(name, value));
}
void SetInt(IcvOptionsNode* node, WideStringView name, std::int32_t value) {
  SafeCallCheck(project::PropertiesOf(node)->SetInteger(name, value));
}
WideString GetText(IcvOptionsNode* node, WideStringView name) {
  WideString v;
  SafeCallCheck(project::PropertiesOf(node)->GetString(name, u"", &v));
  return v;
}
std::vector<WideString> ChildNames(IcvOptionsNode* node) {
  std::vector<WideString> names;
  ComPtr<IcvOptionsNodeIterator> it;
  SafeCallCheck(node->GetNodes(it.Put()));
  while (it->HasNext()) {
    ComPtr<IcvOptionsNode> child;
    it->Next(child);
    WideString name;
    SafeCallCheck(child->GetName(&name));
    names.push_back(WideLowerCase(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}
WideString Name(IpwProjectVirtualFolder* folder) {
  BString name;
  OleCheck(folder->GetName(name.Put()));
  return name.Str();
}
std::vector<GUID> Refs(IpwProjectVirtualFolder* folder) {
  std::int32_t count = 0;
  OleCheck(folder->GetReferenceCount(&count));
  std::vector<GUID> refs;
  for (std::int32_t i = 0; i < count; ++i) {
    GUID id{};
    OleCheck(folder->GetReference(i, &id));
    refs.push_back(id);
  }
  return refs;
}
ComPtr<IpwProjectVirtualFolder> SubFolder(IpwProjectVirtualFolder* folder, std::int32_t index) {
  ComPtr<IpwProjectViewerNode> node;
  OleCheck(folder->GetFolder(index, node.Put()));
  return QueryAs<IpwProjectVirtualFolder>(node.Get());
}
bool Ok(VARIANT_BOOL b) { return b != VARIANT_FALSE; }

class FoldersTest : public ContainerTest {
 protected:
  // A box with the parts a, b, c and the solo part s.
  ComPtr<TpwProjectItem> OpenParts(const std::function<void(IcvOptionsNode* folders)>& writeFolders = {}) {
    WriteBoxFile("box.pwb", {{"Item0000000000", kKeyA, kPartType, 0, u"a"},
                             {"Item0000000001", kKeyB, kPartType, 1, u"b"},
                             {"Item0000000002", kKeyC, kPartType, 2, u"c"},
                             {"Item0000000003", kKeyS, kSoloType, 3, u"s"}});
    if (writeFolders) {
      auto builder = CreateOptionsBuilder();
      builder->SetReader(CreateOptionsXmlReader(dir.File("box.pwb"), true).Get());
      builder->LoadAll();
      writeFolders(Sub(Sub(builder->GetRoot().Get(), u"Folders").Get(), u"Folders").Get());
      builder->Save();
      builder->ReleaseReader();
    }
    return OpenBox("box.pwb");
  }
  ComPtr<IpwProjectVirtualFolders> Folders(TpwProjectItem* box) {
    return QueryAs<IpwProjectVirtualFolders>(box->AsNode());
  }
  ComPtr<IpwProjectVirtualFolder> Top(TpwProjectItem* box, std::int32_t index) {
    ComPtr<IpwProjectVirtualFolder> folder;
    OleCheck(Folders(box)->GetItem(index, folder.Put()));
    return folder;
  }
  ComPtr<IpwProjectVirtualFolder> AddTop(TpwProjectItem* box, WideStringView name = {}) {
    ComPtr<IpwProjectVirtualFolder> folder;
    OleCheck(Folders(box)->AddFolder(folder.Put()));
    if (folder && !name.empty()) {
      VARIANT_BOOL ok = VARIANT_FALSE;
      OleCheck(folder->SetName(BString(name).Get(), &ok));
    }
    return folder;
  }
  GUID Id(TpwProjectItem* box, const GUID& key) { return project::NodeInstanceKey(box->ChildByKey(key)); }
  std::int32_t Save(TpwProjectItem* box) {
    box->Changed(true);
    return box->SaveToOwnFileResult();
  }
  // The stored "Folders" > "Folders" of the box file.
  ComPtr<IcvOptionsNode> StoredFolders() {
    stored_ = CreateOptionsBuilder();
    stored_->SetReader(CreateOptionsXmlReader(dir.File("box.pwb"), true).Get());
    stored_->LoadAll();
    stored_->ReleaseReader();
    return Sub(Sub(stored_->GetRoot().Get(), u"Folders").Get(), u"Folders");
  }
  // The errors shown from the mark on: text and help context.
  std::vector<std::pair<WideString, std::int32_t>> ErrorsSince(std::size_t mark) {
    std::vector<std::pair<WideString, std::int32_t>> out;
    auto all = host.Messenger().Messages();
    for (std::size_t i = mark; i < all.size(); ++i)
      if (all[i].kind == host::MessageRecord::Error) out.emplace_back(all[i].text, all[i].helpContext);
    return out;
  }
  std::size_t Mark() { return host.Messenger().Messages().size(); }
  // The action keys registered for the context, in order.
  std::vector<GUID> ActionsRegisteredFor(const GUID& context) {
    std::vector<GUID> keys;
    for (const auto& r : host.Actions().Registrations())
      if (r.contextKey == context) keys.push_back(r.actionKey);
    return keys;
  }
  ComPtr<IpwAction> MakeAction(const GUID& key) {
    ComPtr<IpwAction> action;
    OleCheck(host.Actions().CreateAction(1, key, BString(u"File").Get(), VARIANT_FALSE, GUID_NULL, action.Put()));
    return action;
  }
  static OleVariant Property(IpwAction* action, std::int32_t index) {
    OleVariant value;
    OleCheck(action->GetProperty(index, value.Put()));
    return value;
  }
  // What the box's folders hold: names, descriptions, the number of references and the
  // sub-folders, in order.
  std::string Describe(TpwProjectItem* box) {
    std::int32_t count = 0;
    OleCheck(Folders(box)->GetCount(&count));
    std::string out;
    for (std::int32_t i = 0; i < count; ++i) out += Describe(Top(box, i).Get());
    return out;
  }
  static std::string Describe(IpwProjectVirtualFolder* folder) {
    BString description;
    OleCheck(folder->GetDescription(description.Put()));
    std::int32_t count = 0;
    OleCheck(folder->GetFolderCount(&count));
    std::string out = WideToUtf8(Name(folder)) + "|" + WideToUtf8(description.Str()) + "|" +
                      std::to_string(Refs(folder).size()) + "[";
    for (std::int32_t i = 0; i < count; ++i) out += Describe(SubFolder(folder, i).Get());
    return out + "]";
  }
  GUID KeyOf(IpwProjectVirtualFolder* folder) {
    GUID key{};
    OleCheck(folder->GetInstanceKey(&key));
    return key;
  }

  ComPtr<IcvOptionsBuilder> stored_;
};

void WriteFolder(IcvOptionsNode* list, WideStringView entry, std::int32_t index, WideStringView caption,
                 std::vector<WideString> refKeys, const std::function<void(IcvOptionsNode*)>& sub = {}) {
  auto node = Sub(list, entry);
  if (index != -2) SetInt(node.Get(), u"Index", index);
  SetText(node.Get(), u"Caption", caption);
  auto refs = Sub(node.Get(), u"References");
  for (std::size_t i = 0; i < refKeys.size(); ++i) {
    auto ref = Sub(refs.Get(), project::ChildEntryName(static_cast<std::int32_t>(i)).replace(0, 4, u"Ref"));
    SetText(ref.Get(), u"Key", refKeys[i]);
    SetInt(ref.Get(), u"Index", static_cast<std::int32_t>(i));
  }
  if (sub) sub(Sub(node.Get(), u"Folders").Get());
}

TEST_F(FoldersTest, StoredFoldersLoadByIndexSkipMalformedKeysAndNestedFoldersRoundTrip) {
  auto box = OpenParts([](IcvOptionsNode* folders) {
    WriteFolder(folders, u"Folder0000000000", 5, u"Five", {GuidToWideString(kKeyA)});
    WriteFolder(
        folders, u"Folder0000000001", 1, u"One",
        {GuidToWideString(kKeyB), u"not a key", GuidToWideString(kKeyGone), GuidToWideString(kKeyC)},
        [](IcvOptionsNode* sub) { WriteFolder(sub, u"Folder0000000000", 0, u"Inner", {GuidToWideString(kKeyA)}); });
    WriteFolder(folders, u"Folder0000000002", 3, u"Three", {});
  });
  ASSERT_TRUE(box);
  EXPECT_FALSE(box->IsModified());
  std::int32_t count = 0;
  OleCheck(Folders(box.Get())->GetCount(&count));
  ASSERT_EQ(count, 3);
  EXPECT_EQ(Name(Top(box.Get(), 0).Get()), u"One");
  EXPECT_EQ(Name(Top(box.Get(), 1).Get()), u"Three");
  EXPECT_EQ(Name(Top(box.Get(), 2).Get()), u"Five");
  auto one = Top(box.Get(), 0);
  // The malformed key and the key of no child are skipped; the rest keep their order.
  EXPECT_EQ(Refs(one.Get()), (std::vector<GUID>{Id(box.Get(), kKeyB), Id(box.Get(), kKeyC)}));
  auto inner = SubFolder(one.Get(), 0);
  ASSERT_TRUE(inner);
  EXPECT_EQ(Name(inner.Get()), u"Inner");
  EXPECT_EQ(Refs(inner.Get()), (std::vector<GUID>{Id(box.Get(), kKeyA)}));

  // Saved with unchanged folders: they are not rewritten (the stored malformed and dangling
  // references stay), and a second save keeps the file's bytes.
  EXPECT_EQ(Save(box.Get()), 0);
  EXPECT_EQ(ChildNames(Sub(Sub(StoredFolders().Get(), u"Folder0000000001").Get(), u"References").Get()).size(), 4u);
  const std::string before = ReadFileBytes(dir.File("box.pwb"));
  EXPECT_EQ(Save(box.Get()), 0);
  EXPECT_EQ(ReadFileBytes(dir.File("box.pwb")), before);

  // A change rewrites the layout: contiguous indexes, keys of present children only.
  OleCheck(one->SetDescription(BString(u"first").Get()));
  EXPECT_TRUE(box->IsModified());
  EXPECT_EQ(Save(box.Get()), 0);
  auto stored = StoredFolders();
  EXPECT_EQ(ChildNames(stored.Get()),
            (std::vector<WideString>{u"folder0000000000", u"folder0000000001", u"folder0000000002"}));
  auto first = Sub(stored.Get(), u"Folder0000000000");
  EXPECT_EQ(GetText(first.Get(), u"Caption"), u"One");
  EXPECT_EQ(GetText(first.Get(), u"Description"), u"first");
  auto refs = Sub(first.Get(), u"References");
  EXPECT_EQ(ChildNames(refs.Get()), (std::vector<WideString>{u"ref0000000000", u"ref0000000001"}));
  EXPECT_EQ(GetText(Sub(refs.Get(), u"Ref0000000001").Get(), u"Key"), GuidToWideString(kKeyC));
  EXPECT_EQ(GetText(Sub(Sub(first.Get(), u"Folders").Get(), u"Folder0000000000").Get(), u"Caption"), u"Inner");

  // And reads back the same.
  box->Finalize();
  auto again = OpenBox("box.pwb");
  ASSERT_TRUE(again);
  EXPECT_EQ(Name(Top(again.Get(), 0).Get()), u"One");
  EXPECT_EQ(Refs(SubFolder(Top(again.Get(), 0).Get(), 0).Get()), (std::vector<GUID>{Id(again.Get(), kKeyA)}));
}

TEST_F(FoldersTest, TiesInIndexKeepTheStoredOrderAndAMissingIndexComesFirst) {
  auto box = OpenParts([](IcvOptionsNode* folders) {
    WriteFolder(folders, u"Folder0000000002", 1, u"Late", {});
    WriteFolder(folders, u"Folder0000000001", 1, u"Early", {});
    WriteFolder(folders, u"Folder0000000009", -2, u"None", {});
  });
  ASSERT_TRUE(box);
  EXPECT_EQ(Name(Top(box.Get(), 0).Get()), u"None");
  EXPECT_EQ(Name(Top(box.Get(), 1).Get()), u"Early");
  EXPECT_EQ(Name(Top(box.Get(), 2).Get()), u"Late");
}

TEST_F(FoldersTest, AReferenceToARemovedChildIsNotWritten) {
  auto box = OpenParts();
  ASSERT_TRUE(box);
  auto f = AddTop(box.Get(), u"F");
  VARIANT_BOOL ok = VARIANT_FALSE;
  for (const GUID& key : {kKeyA, kKeyB, kKeyC}) {
    OleCheck(f->AddReference(Id(box.Get(), key), VARIANT_FALSE, &ok));
    EXPECT_TRUE(Ok(ok));
  }
  OleCheck(box->RemoveChild(box->ChildByKey(kKeyB), VARIANT_FALSE));
  EXPECT_EQ(Refs(f.Get()), (std::vector<GUID>{Id(box.Get(), kKeyA), Id(box.Get(), kKeyC)}));
  EXPECT_EQ(Save(box.Get()), 0);
  auto refs = Sub(Sub(StoredFolders().Get(), u"Folder0000000000").Get(), u"References");
  EXPECT_EQ(ChildNames(refs.Get()), (std::vector<WideString>{u"ref0000000000", u"ref0000000001"}));
  EXPECT_EQ(GetText(Sub(refs.Get(), u"Ref0000000001").Get(), u"Key"), GuidToWideString(kKeyC));
}

TEST_F(FoldersTest, ASaveWhileTheChildrenAreHiddenKeepsTheReferences) {
  auto box = OpenParts();
  ASSERT_TRUE(box);
  auto f = AddTop(box.Get(), u"F");
  VARIANT_BOOL ok = VARIANT_FALSE;
  OleCheck(f->AddReference(Id(box.Get(), kKeyA), VARIANT_FALSE, &ok));
  box->BeginHideChildren();
  const std::int32_t code = Save(box.Get());
  box->EndHideChildren();
  EXPECT_EQ(code, 0);
  auto refs = Sub(Sub(StoredFolders().Get(), u"Folder0000000000").Get(), u"References");
  EXPECT_EQ(GetText(Sub(refs.Get(), u"Ref0000000000").Get(), u"Key"), GuidToWideString(kKeyA));
}

TEST_F(FoldersTest, TheExistingItemActionAddsTheFileHereAndRefersToIt) {
  auto projectNode = MakeObject<host::THostProject>(nullptr, NewTestKey());
  OleCheck(projectNode->Initialize(host.Manager()));
  ASSERT_TRUE(projectNode->ReloadFromFileName(dir.File("P.pwp"), false));
  struct Finalize {
    host::THostProject* node;
    ~Finalize() { node->Finalize(); }
  } finalize{projectNode.Get()};
  ComPtr<IpwProjectVirtualFolder> folder;
  OleCheck(QueryAs<IpwProjectVirtualFolders>(projectNode->AsNode())->AddFolder(folder.Put()));
  ASSERT_TRUE(folder);
  auto handler = QueryAs<IpwProjectActionHandler>(folder.Get());
  WriteItemFile("Thing.pwi", u"v");
  const std::string before = ReadFileBytes(dir.File("Thing.pwi"));
  OleVariant result;
  EXPECT_EQ(handler->ExecuteAction(project::kExistingItemAction, OleVariant(dir.File("none.pwi")).Get(), result.Put()),
            2);
  EXPECT_EQ(projectNode->ChildCount(), 0);
  EXPECT_EQ(handler->ExecuteAction(project::kExistingItemAction, OleVariant(dir.File("Thing.pwi")).Get(), result.Put()),
            0);
  ASSERT_EQ(projectNode->ChildCount(), 1);
  EXPECT_EQ(Refs(folder.Get()), (std::vector<GUID>{project::NodeInstanceKey(projectNode->ChildAt(0))}));
  // Referring to the item wrote nothing into its file.
  EXPECT_EQ(ReadFileBytes(dir.File("Thing.pwi")), before);
}

TEST_F(FoldersTest, DefaultNamesIgnoreCase) {
  auto box = OpenParts();
  ASSERT_TRUE(box);
  auto first = AddTop(box.Get());
  EXPECT_EQ(Name(first.Get()), u"NewFolder1");
  auto second = AddTop(box.Get(), u"newfolder2");
  EXPECT_EQ(Name(AddTop(box.Get()).Get()), u"NewFolder3");
  ComPtr<IpwProjectVirtualFolder> sub;
  OleCheck(first->AddFolder(sub.Put()));
  EXPECT_EQ(Name(sub.Get()), u"NewFolder1");
  ComPtr<IpwProjectVirtualFolder> out;
  EXPECT_EQ(Folders(box.Get())->GetItem(3, out.Put()), E_INVALIDARG);
  EXPECT_EQ(Folders(box.Get())->GetItem(-1, out.Put()), E_INVALIDARG);
}

TEST_F(FoldersTest, RenameRules) {
  auto box = OpenParts();
  ASSERT_TRUE(box);
  auto alpha = AddTop(box.Get(), u"Alpha");
  AddTop(box.Get(), u"Beta");
  struct Case {
    const char16_t* name;
    bool accepted;
    std::int32_t help;  // 0: no message
    const char16_t* after;
  } cases[] = {
      {u"   ", false, 4188, u"Alpha"}, {u"Beta", false, 4189, u"Alpha"},
      {u"ALPHA", true, 0, u"ALPHA"},  // its own name in other letters
      {u"beta", true, 0, u"beta"},    // a sibling's name in other letters
      {u"beta", true, 0, u"beta"},    // unchanged
  };
  for (const auto& c : cases) {
    const std::size_t mark = Mark();
    VARIANT_BOOL ok = VARIANT_FALSE;
    OleCheck(alpha->SetName(BString(c.name).Get(), &ok));
    EXPECT_EQ(Ok(ok), c.accepted) << WideToUtf8(c.name);
    EXPECT_EQ(Name(alpha.Get()), c.after);
    auto errors = ErrorsSince(mark);
    if (c.help == 0) {
      EXPECT_TRUE(errors.empty());
    } else {
      ASSERT_EQ(errors.size(), 1u);
      EXPECT_EQ(errors[0].second, c.help);
      if (c.help == 4189) EXPECT_EQ(errors[0].first, u"An element with the name 'Beta' already exists.");
      else EXPECT_EQ(errors[0].first, u"A name cannot be an empty string.");
    }
  }
  // The container refuses edits: nothing changes, nothing is said.
  host.Projects().SetCanEdit(false);
  const std::size_t mark = Mark();
  VARIANT_BOOL ok = VARIANT_TRUE;
  OleCheck(alpha->SetName(BString(u"Gamma").Get(), &ok));
  EXPECT_FALSE(Ok(ok));
  EXPECT_TRUE(ErrorsSince(mark).empty());
  host.Projects().SetCanEdit(true);
}

TEST_F(FoldersTest, AdvancedNameAndMonikerGoTogether) {
  auto box = OpenParts();
  ASSERT_TRUE(box);
  auto folder = AddTop(box.Get(), u"advanced");
  BString moniker;
  OleCheck(folder->GetMoniker(moniker.Put()));
  EXPECT_EQ(moniker.Str(), u"{69583268-92F3-49FA-B573-C831F5ABC27B}");
  auto other = AddTop(box.Get(), u"Other");
  OleCheck(other->SetMoniker(BString(u"{69583268-92F3-49FA-B573-C831F5ABC27B}").Get()));
  EXPECT_EQ(Name(other.Get()), u"Advanced");
  OleVariant value;
  EXPECT_EQ(other->GetOption(4, value.Put()), E_INVALIDARG);
  OleCheck(other->GetOption(1, value.Put()));
  EXPECT_TRUE(value.AsBool());
}

TEST_F(FoldersTest, MoveRules) {
  auto box = OpenParts();
  ASSERT_TRUE(box);
  auto a = AddTop(box.Get(), u"A");
  auto b = AddTop(box.Get(), u"B");
  ComPtr<IpwProjectVirtualFolder> inner;
  OleCheck(a->AddFolder(inner.Put()));
  GUID aKey{}, bKey{}, innerKey{}, top{};
  OleCheck(a->GetInstanceKey(&aKey));
  OleCheck(b->GetInstanceKey(&bKey));
  OleCheck(inner->GetInstanceKey(&innerKey));
  top = project::NodeInstanceKey(box->AsNode());

  const std::size_t mark = Mark();
  VARIANT_BOOL ok = VARIANT_TRUE;
  OleCheck(a->MoveTo(innerKey, &ok));  // into its own sub-tree
  EXPECT_FALSE(Ok(ok));
  OleCheck(a->MoveTo(aKey, &ok));  // to itself
  EXPECT_FALSE(Ok(ok));
  EXPECT_TRUE(ErrorsSince(mark).empty());

  // B moves into A: both lists change and the container is modified.
  EXPECT_EQ(Save(box.Get()), 0);
  EXPECT_FALSE(box->IsModified());
  OleCheck(b->MoveTo(aKey, &ok));
  EXPECT_TRUE(Ok(ok));
  std::int32_t count = 0;
  OleCheck(Folders(box.Get())->GetCount(&count));
  EXPECT_EQ(count, 1);
  OleCheck(a->GetFolderCount(&count));
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(box->IsModified());

  // A folder named like it at the top: B cannot move back up.
  AddTop(box.Get(), u"B");
  OleCheck(b->MoveTo(top, &ok));
  EXPECT_FALSE(Ok(ok));
  auto errors = ErrorsSince(mark);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], std::make_pair(WideString(u"An element with the name 'B' already exists."), 4189));
  // The inner folder moves to the top under its own name.
  OleCheck(inner->MoveTo(top, &ok));
  EXPECT_TRUE(Ok(ok));
  OleCheck(Folders(box.Get())->GetCount(&count));
  EXPECT_EQ(count, 3);
}

TEST_F(FoldersTest, RemovingAFolderTakesOnlyTheItemsItsTypeLets) {
  for (bool deleteItems : {false, true}) {
    SCOPED_TRACE(deleteItems);
    auto box = OpenParts();
    ASSERT_TRUE(box);
    auto f = AddTop(box.Get(), u"F");
    ComPtr<IpwProjectVirtualFolder> inner;
    OleCheck(f->AddFolder(inner.Put()));
    VARIANT_BOOL ok = VARIANT_FALSE;
    OleCheck(f->AddReference(Id(box.Get(), kKeyA), VARIANT_FALSE, &ok));
    OleCheck(inner->AddReference(Id(box.Get(), kKeyS), VARIANT_FALSE, &ok));
    auto keep = AddTop(box.Get(), u"Keep");
    OleCheck(keep->AddReference(Id(box.Get(), kKeyS), VARIANT_FALSE, &ok));
    auto* solo = dynamic_cast<TPart*>(
        static_cast<project::TpwBaseProjectNode*>(static_cast<IpwProjectNodeInternal*>(box->ChildByKey(kKeyS))));
    ComPtr<TPart> held(solo);

    OleCheck(Folders(box.Get())->RemoveFolder(f.Get(), ToWordBool(deleteItems)));
    std::int32_t count = 0;
    OleCheck(Folders(box.Get())->GetCount(&count));
    EXPECT_EQ(count, 1);
    // The Part (property 12 False) stays; the Solo part (True) leaves, and every folder with it.
    EXPECT_EQ(ChildValues(box.Get()), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(solo->finalized);
    EXPECT_TRUE(Refs(keep.Get()).empty());
    box->Finalize();
    boxes.clear();
  }
}

TEST_F(FoldersTest, ReferencesWithAndWithoutForce) {
  auto box = OpenParts();
  ASSERT_TRUE(box);
  auto f = AddTop(box.Get(), u"F");
  const GUID a = Id(box.Get(), kKeyA);
  VARIANT_BOOL ok = VARIANT_FALSE;
  OleCheck(f->AddReference(a, VARIANT_FALSE, &ok));
  EXPECT_TRUE(Ok(ok));
  OleCheck(f->AddReference(a, VARIANT_TRUE, &ok));  // once only, even forced
  EXPECT_FALSE(Ok(ok));
  OleCheck(f->CanRemoveReference(kKeyGone, &ok));
  EXPECT_FALSE(Ok(ok));
  GUID id{};
  EXPECT_EQ(f->GetReference(1, &id), E_INVALIDARG);
  EXPECT_EQ(f->GetReference(-1, &id), E_INVALIDARG);
  OleCheck(f->RemoveReference(kKeyGone, VARIANT_TRUE, &ok));
  EXPECT_FALSE(Ok(ok));
  OleCheck(f->RemoveReference(a, VARIANT_FALSE, &ok));
  EXPECT_TRUE(Ok(ok));
  EXPECT_TRUE(Refs(f.Get()).empty());
}

TEST_F(FoldersTest, ReferencesFollowAChildToItsUnavailableNodeAndBack) {
  auto box = OpenParts();
  ASSERT_TRUE(box);
  auto f = AddTop(box.Get(), u"F");
  auto g = AddTop(box.Get(), u"G");
  VARIANT_BOOL ok = VARIANT_FALSE;
  OleCheck(f->AddReference(Id(box.Get(), kKeyB), VARIANT_FALSE, &ok));
  OleCheck(g->AddReference(Id(box.Get(), kKeyC), VARIANT_FALSE, &ok));
  OleCheck(g->AddReference(Id(box.Get(), kKeyB), VARIANT_FALSE, &ok));
  ComPtr<IpwProjectNode> fake;
  OleCheck(box->ReplaceOnFake(box->ChildByKey(kKeyB), fake.Put(), &ok));
  ASSERT_TRUE(Ok(ok));
  const GUID fakeId = project::NodeInstanceKey(fake.Get());
  // Every folder that refers to the child follows it.
  EXPECT_EQ(Refs(f.Get()), (std::vector<GUID>{fakeId}));
  EXPECT_EQ(Refs(g.Get()), (std::vector<GUID>{Id(box.Get(), kKeyC), fakeId}));
  ComPtr<IpwProjectNode> real;
  OleCheck(box->ReplaceOnReal(QueryAs<IpwFakeProjectNode>(fake.Get()).Get(), real.Put(), &ok));
  ASSERT_TRUE(Ok(ok));
  EXPECT_EQ(Refs(f.Get()), (std::vector<GUID>{project::NodeInstanceKey(real.Get())}));
  EXPECT_EQ(Save(box.Get()), 0);
  EXPECT_EQ(
      GetText(
          Sub(Sub(Sub(StoredFolders().Get(), u"Folder0000000000").Get(), u"References").Get(), u"Ref0000000000").Get(),
          u"Key"),
      GuidToWideString(kKeyB));
}

// A controller that takes one action and answers the questions as set.
class TController final : public Implements<ComObject, IpwProjectVirtualFolderExternalController> {
 public:
  GUID action{};
  bool canAdd = true, handlesUpdate = false;
  int detached = 0, executed = 0, updated = 0;
  HRESULT Detach(IpwProjectVirtualFolder*) override { return ++detached, S_OK; }
  HRESULT Deleting(IpwProjectVirtualFolder*, VARIANT_BOOL) override { return S_OK; }
  HRESULT FolderAdded(IpwProjectVirtualFolder*, IpwProjectVirtualFolder*) override { return S_OK; }
  HRESULT CanAddFolder(IpwProjectVirtualFolder*, VARIANT_BOOL* r) override { return *r = ToWordBool(canAdd), S_OK; }
  HRESULT CanRemoveFolder(IpwProjectVirtualFolder*, IpwProjectVirtualFolder*, VARIANT_BOOL, VARIANT_BOOL* r) override {
    return *r = VARIANT_TRUE, S_OK;
  }
  HRESULT CanMoveTo(IpwProjectVirtualFolder*, const GUID&, VARIANT_BOOL* r) override { return *r = VARIANT_TRUE, S_OK; }
  HRESULT CanAddReference(IpwProjectVirtualFolder*, const GUID&, VARIANT_BOOL* r) override {
    return *r = VARIANT_TRUE, S_OK;
  }
  HRESULT CanRemoveReference(IpwProjectVirtualFolder*, const GUID&, VARIANT_BOOL* r) override {
    return *r = VARIANT_TRUE, S_OK;
  }
  HRESULT CanMoveReference(IpwProjectVirtualFolder*, const GUID&, const GUID&, VARIANT_BOOL* r) override {
    return *r = VARIANT_TRUE, S_OK;
  }
  HRESULT GetActionCount(std::int32_t* count) override { return *count = 1, S_OK; }
  HRESULT GetActionKey(std::int32_t, GUID* key) override { return *key = action, S_OK; }
  HRESULT ExecuteAction(const GUID& a, const VARIANT&, VARIANT*, VARIANT_BOOL* handled, std::int32_t* code) override {
    *handled = ToWordBool(a == action);
    if (a == action) ++executed, *code = 7;
    return S_OK;
  }
  HRESULT UpdateAction(const GUID&, VARIANT_BOOL* handled) override {
    ++updated;
    return *handled = ToWordBool(handlesUpdate), S_OK;
  }
};

TEST_F(FoldersTest, TheActionHandlerAsksTheControllerFirstThenAddsHere) {
  auto box = OpenParts();
  ASSERT_TRUE(box);
  auto f = AddTop(box.Get(), u"F");
  auto handler = QueryAs<IpwProjectActionHandler>(f.Get());
  ASSERT_TRUE(handler);
  OleVariant result;
  // A new Part here: added to the box and referred to by the folder.
  const std::int32_t before = box->ChildCount();
  EXPECT_EQ(
      handler->ExecuteAction(project::kNewItemAction, OleVariant(GuidToWideString(kPartType)).Get(), result.Put()), 0);
  EXPECT_TRUE(result.AsBool());
  ASSERT_EQ(box->ChildCount(), before + 1);
  EXPECT_EQ(Refs(f.Get()), (std::vector<GUID>{project::NodeInstanceKey(box->ChildAt(before))}));
  // A parameter that names no type, and an action of someone else: 2.
  EXPECT_EQ(handler->ExecuteAction(project::kNewItemAction, OleVariant(u"no type").Get(), result.Put()), 2);
  EXPECT_EQ(handler->ExecuteAction(kKeyGone, OleVariant().Get(), result.Put()), 2);
  EXPECT_EQ(box->ChildCount(), before + 1);

  auto controller = MakeObject<TController>();
  controller->action = project::kNewItemAction;
  OleCheck(f->SetController(controller.Get()));
  EXPECT_EQ(
      handler->ExecuteAction(project::kNewItemAction, OleVariant(GuidToWideString(kPartType)).Get(), result.Put()), 7);
  EXPECT_EQ(controller->executed, 1);
  EXPECT_EQ(box->ChildCount(), before + 1);
  // The controller's actions make the context menu.
  ComPtr<IpwMenu> menu;
  OleCheck(QueryAs<IpwContextMenuProvider>(f.Get())->GetContextMenu(menu.Put()));
  ASSERT_TRUE(menu);
  std::int32_t items = 0;
  OleCheck(menu->GetItemCount(&items));
  EXPECT_EQ(items, 1);
  // A controller that refuses sub-folders.
  controller->canAdd = false;
  ComPtr<IpwProjectVirtualFolder> sub;
  OleCheck(f->AddFolder(sub.Put()));
  EXPECT_FALSE(sub);
  // Removal tells it the folder goes.
  OleCheck(Folders(box.Get())->RemoveFolder(f.Get(), VARIANT_FALSE));
  EXPECT_EQ(controller->detached, 1);
}

TEST_F(FoldersTest, PropertiesNameAndDescription) {
  auto box = OpenParts();
  ASSERT_TRUE(box);
  auto f = AddTop(box.Get(), u"F");
  auto owner = QueryAs<IpwPropertyObjectOwner>(f.Get());
  auto list = QueryAs<IpwNodePropertyList>(f.Get());
  ASSERT_TRUE(owner && list);
  std::int32_t count = 0;
  OleCheck(list->GetPropertyCount(&count));
  EXPECT_EQ(count, 2);
  ComPtr<IpwPropertyObject> name;
  OleCheck(list->GetProperty(0, name.Put()));
  OleCheck(name->SetValue(OleVariant(u"G").Get()));
  EXPECT_EQ(Name(f.Get()), u"G");
  ComPtr<IpwPropertyObject> description;
  OleCheck(list->GetProperty(1, description.Put()));
  OleVariant text;
  OleCheck(description->GetValue(text.Put()));
  EXPECT_EQ(text.AsString(), u"A logical folder that is used to organize project items and elements.");
  ComPtr<IpwPropertyObject> none;
  EXPECT_EQ(list->GetProperty(2, none.Put()), E_INVALIDARG);
}

TEST_F(FoldersTest, UpdateGivesNewItemItsTitleAndEnablesTheActionsAsTheContainerAllows) {
  auto box = OpenParts();
  ASSERT_TRUE(box);
  auto f = AddTop(box.Get(), u"F");
  auto handler = QueryAs<IpwProjectActionHandler>(f.Get());
  ASSERT_TRUE(handler);
  auto newItem = MakeAction(project::kNewItemAction);
  auto existingItem = MakeAction(project::kExistingItemAction);
  auto other = MakeAction(kKeyGone);
  struct Case {
    const char* name;
    std::function<void()> set, reset;
    bool enabled;
  };
  const Case cases[] = {
      {"as opened", [] {}, [] {}, true},
      {"children hidden", [&] { box->BeginHideChildren(); }, [&] { box->EndHideChildren(); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OleCheck(newItem->SetProperty(3, OleVariant(u"Another title").Get()));
    OleCheck(newItem->SetProperty(0, OleVariant(!c.enabled).Get()));
    OleCheck(existingItem->SetProperty(0, OleVariant(!c.enabled).Get()));
    c.set();
    handler->UpdateAction(project::kNewItemAction);
    handler->UpdateAction(project::kExistingItemAction);
    handler->UpdateAction(kKeyGone);
    c.reset();
    EXPECT_EQ(Property(newItem.Get(), 3).AsString(), u"Add Child Item");
    EXPECT_EQ(Property(newItem.Get(), 0).AsBool(), c.enabled);
    EXPECT_EQ(Property(existingItem.Get(), 0).AsBool(), c.enabled);
    EXPECT_TRUE(Property(existingItem.Get(), 3).IsEmpty());
    EXPECT_TRUE(Property(other.Get(), 0).IsEmpty());
  }
  // A controller that handles the update leaves the folder nothing to do.
  auto controller = MakeObject<TController>();
  controller->action = kKeyGone;
  controller->handlesUpdate = true;
  OleCheck(f->SetController(controller.Get()));
  OleCheck(newItem->SetProperty(3, OleVariant(u"Another title").Get()));
  handler->UpdateAction(project::kNewItemAction);
  EXPECT_EQ(controller->updated, 1);
  EXPECT_EQ(Property(newItem.Get(), 3).AsString(), u"Another title");
  // One that does not: the folder updates after asking it.
  controller->handlesUpdate = false;
  handler->UpdateAction(project::kNewItemAction);
  EXPECT_EQ(controller->updated, 2);
  EXPECT_EQ(Property(newItem.Get(), 3).AsString(), u"Add Child Item");
  OleCheck(f->SetController(nullptr));
}

TEST_F(FoldersTest, AContainerWithoutFoldersKeepsItsStoredFoldersAsRead) {
  // No item type goes under a box: the box makes no collection.
  host.Projects().RemoveItemTypes(types.Get());
  auto box = OpenParts([](IcvOptionsNode* folders) {
    WriteFolder(folders, u"Folder0000000000", 0, u"Kept", {GuidToWideString(kKeyA), u"not a key"},
                [](IcvOptionsNode* sub) { WriteFolder(sub, u"Folder0000000000", 0, u"Inner", {}); });
  });
  ASSERT_TRUE(box);
  std::int32_t count = -1;
  OleCheck(Folders(box.Get())->GetCount(&count));
  EXPECT_EQ(count, 0);
  ComPtr<IpwProjectVirtualFolder> made;
  OleCheck(Folders(box.Get())->AddFolder(made.Put()));
  EXPECT_FALSE(made);
  // The stored "Folders" as the file holds them (the children's entries may gain fields).
  auto foldersText = [&] {
    const std::string file = ReadFileBytes(dir.File("box.pwb"));
    const auto begin = file.find("\t\t<Node name=\"folders\">");
    const auto end = file.find("\t\t<Prp name=\"signature\"", begin);
    return begin == std::string::npos || end == std::string::npos ? std::string() : file.substr(begin, end - begin);
  };
  const std::string before = foldersText();
  ASSERT_FALSE(before.empty());
  EXPECT_EQ(Save(box.Get()), 0);
  // The stored folders stay, a reference a collection would drop among them.
  auto kept = Sub(StoredFolders().Get(), u"Folder0000000000");
  EXPECT_EQ(GetText(kept.Get(), u"Caption"), u"Kept");
  EXPECT_EQ(ChildNames(Sub(kept.Get(), u"References").Get()),
            (std::vector<WideString>{u"ref0000000000", u"ref0000000001"}));
  EXPECT_EQ(GetText(Sub(Sub(kept.Get(), u"Folders").Get(), u"Folder0000000000").Get(), u"Caption"), u"Inner");
  EXPECT_EQ(foldersText(), before);
  box->Finalize();
  boxes.clear();
  host.Projects().AddItemTypes(types.Get());
}

TEST_F(FoldersTest, InAHostWithoutDialogsEachFolderRegistersTheItemActionsUntilItIsFinalized) {
  for (bool withoutDialogs : {false, true}) {
    SCOPED_TRACE(withoutDialogs);
    host.SetInteractive(!withoutDialogs);
    auto box = OpenParts();
    ASSERT_TRUE(box);
    auto f = AddTop(box.Get(), u"F");
    ComPtr<IpwProjectVirtualFolder> sub;
    OleCheck(f->AddFolder(sub.Put()));
    auto g = AddTop(box.Get(), u"G");
    const GUID fKey = KeyOf(f.Get()), subKey = KeyOf(sub.Get()), gKey = KeyOf(g.Get());
    const std::vector<GUID> both =
        withoutDialogs ? std::vector<GUID>{project::kNewItemAction, project::kExistingItemAction} : std::vector<GUID>{};
    EXPECT_EQ(ActionsRegisteredFor(fKey), both);
    EXPECT_EQ(ActionsRegisteredFor(subKey), both);
    EXPECT_EQ(ActionsRegisteredFor(gKey), both);
    if (withoutDialogs) {
      // The host runs the folder's New Item through the folder.
      EXPECT_EQ(host.Actions().Execute(project::kNewItemAction, subKey, OleVariant(GuidToWideString(kPartType))), 0);
      EXPECT_EQ(Refs(sub.Get()).size(), 1u);
    }
    // Removing a folder unregisters it and its sub-folders; unloading the box the rest.
    OleCheck(Folders(box.Get())->RemoveFolder(f.Get(), VARIANT_FALSE));
    EXPECT_TRUE(ActionsRegisteredFor(fKey).empty());
    EXPECT_TRUE(ActionsRegisteredFor(subKey).empty());
    EXPECT_EQ(ActionsRegisteredFor(gKey), both);
    box->Finalize();
    boxes.clear();
    EXPECT_TRUE(ActionsRegisteredFor(gKey).empty());
  }
  host.SetInteractive(true);
}

TEST_F(FoldersTest, ViewOptionsAndBitmapsTellTheNodeEventsWithoutModifyingTheContainer) {
  auto box = OpenParts();
  ASSERT_TRUE(box);
  auto f = AddTop(box.Get(), u"F");
  EXPECT_EQ(Save(box.Get()), 0);
  host.NodeEvents().ClearChanges();
  const HBITMAP first = CreateBitmapHandle(), second = CreateBitmapHandle();
  struct Case {
    const char* name;
    std::function<HRESULT()> set;
    std::size_t told;
  };
  const Case cases[] = {
      {"option 1 off", [&] { return f->SetOption(1, OleVariant(false).Get()); }, 1},
      {"option 1 off again", [&] { return f->SetOption(1, OleVariant(false).Get()); }, 0},
      {"option 0 a text", [&] { return f->SetOption(0, OleVariant(u"view").Get()); }, 1},
      {"option 3 on", [&] { return f->SetOption(3, OleVariant(true).Get()); }, 1},
      {"a bitmap", [&] { return f->SetBitmap(first); }, 1},
      {"the bitmap held", [&] { return f->SetBitmap(first); }, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t before = host.NodeEvents().Changes().size();
    OleCheck(c.set());
    auto changes = host.NodeEvents().Changes();
    ASSERT_EQ(changes.size() - before, c.told);
    for (std::size_t i = before; i < changes.size(); ++i) {
      EXPECT_EQ(changes[i].kind, 1);
      EXPECT_EQ(changes[i].node.Get(), box->AsNode());
    }
  }
  OleVariant value;
  OleCheck(f->GetOption(1, value.Put()));
  EXPECT_FALSE(value.AsBool());
  EXPECT_EQ(f->SetOption(4, OleVariant(true).Get()), E_INVALIDARG);
  EXPECT_FALSE(box->IsModified());
  // The bitmap set again is still the folder's and still valid; a new one replaces and frees it.
  HBITMAP held = 0;
  OleCheck(f->GetBitmap(&held));
  EXPECT_EQ(held, first);
  EXPECT_TRUE(IsGdiObject(first));
  OleCheck(f->SetBitmap(second));
  OleCheck(f->GetBitmap(&held));
  EXPECT_EQ(held, second);
  EXPECT_FALSE(IsGdiObject(first));
  EXPECT_TRUE(IsGdiObject(second));
}

TEST_F(FoldersTest, AddingHereRunsInsideOneProjectUpdateEndedInEveryCase) {
  auto box = OpenParts();
  ASSERT_TRUE(box);
  auto f = AddTop(box.Get(), u"F");
  auto handler = QueryAs<IpwProjectActionHandler>(f.Get());
  ASSERT_TRUE(handler);
  std::vector<std::int32_t> depths;
  types->onCreate = [&] { depths.push_back(host.ProjectUpdate().Depth()); };
  auto noticesSince = [&](std::size_t mark) {
    auto all = host.ProjectUpdate().Notices();
    return std::vector<WideString>(all.begin() + static_cast<std::ptrdiff_t>(mark), all.end());
  };
  const std::size_t mark = host.ProjectUpdate().Notices().size();
  OleVariant result;
  EXPECT_EQ(
      handler->ExecuteAction(project::kNewItemAction, OleVariant(GuidToWideString(kPartType)).Get(), result.Put()), 0);
  EXPECT_EQ(depths, (std::vector<std::int32_t>{1}));  // the part was made inside the update
  EXPECT_EQ(noticesSince(mark), (std::vector<WideString>{u"begin", u"end"}));
  // A failed add ends its update too.
  EXPECT_EQ(handler->ExecuteAction(project::kNewItemAction, OleVariant(u"no type").Get(), result.Put()), 2);
  EXPECT_EQ(noticesSince(mark), (std::vector<WideString>{u"begin", u"end", u"begin", u"end"}));
  EXPECT_EQ(host.ProjectUpdate().Depth(), 0);
  // A refused edit begins none.
  host.Projects().SetCanEdit(false);
  EXPECT_EQ(
      handler->ExecuteAction(project::kNewItemAction, OleVariant(GuidToWideString(kPartType)).Get(), result.Put()), 2);
  host.Projects().SetCanEdit(true);
  EXPECT_EQ(noticesSince(mark).size(), 4u);
  EXPECT_EQ(depths.size(), 1u);
  types->onCreate = nullptr;
}

TEST_F(FoldersTest, EveryChangeBeginsTheEditBeforeItChangesAndARefusalChangesNothing) {
  VARIANT_BOOL ok = VARIANT_FALSE;
  using Change = std::function<void(TpwProjectItem*, IpwProjectVirtualFolder*, IpwProjectVirtualFolder*)>;
  struct Case {
    const char* name;
    Change change;
  };
  const Case cases[] = {
      {"rename", [&](auto*, auto* a, auto*) { OleCheck(a->SetName(BString(u"A2").Get(), &ok)); }},
      {"description", [&](auto*, auto* a, auto*) { OleCheck(a->SetDescription(BString(u"about").Get())); }},
      {"sub-folder",
       [&](auto*, auto* a, auto*) {
         ComPtr<IpwProjectVirtualFolder> sub;
         OleCheck(a->AddFolder(sub.Put()));
       }},
      {"top folder",
       [&](auto* box, auto*, auto*) {
         ComPtr<IpwProjectVirtualFolder> top;
         OleCheck(Folders(box)->AddFolder(top.Put()));
       }},
      {"add reference",
       [&](auto* box, auto*, auto* b) { OleCheck(b->AddReference(Id(box, kKeyB), VARIANT_FALSE, &ok)); }},
      {"add reference by force",
       [&](auto* box, auto*, auto* b) { OleCheck(b->AddReference(Id(box, kKeyB), VARIANT_TRUE, &ok)); }},
      {"remove reference",
       [&](auto* box, auto* a, auto*) { OleCheck(a->RemoveReference(Id(box, kKeyA), VARIANT_FALSE, &ok)); }},
      {"move", [&](auto*, auto* a, auto* b) { OleCheck(b->MoveTo(KeyOf(a), &ok)); }},
      {"remove folder", [&](auto* box, auto*, auto* b) { OleCheck(Folders(box)->RemoveFolder(b, VARIANT_FALSE)); }},
  };
  for (const auto& c : cases) {
    for (bool allowed : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (allowed ? " allowed" : " refused"));
      auto box = OpenParts();
      ASSERT_TRUE(box);
      auto a = AddTop(box.Get(), u"A");
      auto b = AddTop(box.Get(), u"B");
      OleCheck(a->AddReference(Id(box.Get(), kKeyA), VARIANT_FALSE, &ok));
      ASSERT_EQ(Save(box.Get()), 0);
      ASSERT_FALSE(box->IsModified());
      const std::string before = Describe(box.Get());
      const std::size_t edits = host.Projects().EditsBegun().size(), mark = Mark();
      std::vector<std::string> atBegin;
      bool modifiedAtBegin = false;
      host.Projects().SetBeginEditHook([&](IpwProjectNode*) {
        if (!atBegin.empty()) return;
        atBegin.push_back(Describe(box.Get()));
        modifiedAtBegin = box->IsModified();
      });
      host.Projects().SetCanEdit(allowed);
      c.change(box.Get(), a.Get(), b.Get());
      host.Projects().SetCanEdit(true);
      host.Projects().SetBeginEditHook(nullptr);
      const auto begun = host.Projects().EditsBegun();
      if (allowed) {
        EXPECT_NE(Describe(box.Get()), before);
        EXPECT_TRUE(box->IsModified());
        ASSERT_GT(begun.size(), edits);
        EXPECT_EQ(begun[edits].Get(), box->AsNode());
        ASSERT_EQ(atBegin.size(), 1u);
        EXPECT_EQ(atBegin[0], before);  // nothing had changed yet
        EXPECT_FALSE(modifiedAtBegin);
      } else {
        EXPECT_EQ(Describe(box.Get()), before);
        EXPECT_FALSE(box->IsModified());
        EXPECT_EQ(begun.size(), edits);
      }
      EXPECT_TRUE(ErrorsSince(mark).empty());
      box->Finalize();
      boxes.clear();
    }
  }
}

}  // namespace
}  // namespace pw::test
