// Opening item files: signature and version checks, a missing file written at once, the unsaved
// copy, Quiet, a load that fails after reading.
#include <sys/stat.h>

#include "core/options/options_tree.h"
#include "tests/project/item_node_fixture.h"

namespace pw::test {
namespace {

using project::TpwNodeFileStorage;

TEST_F(ItemNodeTest, OpenChecksSignatureAndVersion) {
  struct Case {
    const char* what;
    const char16_t* signature;
    const char16_t* version;
    bool opens;
    bool modified;  // an older version is brought up to the current one: the next save writes it
    std::int32_t error;
    const char* message;  // a part of the one message shown; nil: none
  } cases[] = {
      {"signature in other case", u"{e96aee9e-8fe9-4ada-bdab-53aee029022e}", u"9.0", true, false, 0, nullptr},
      {"an older release", u"{E96AEE9E-8FE9-4ADA-BDAB-53AEE029022E}", u"8.0", true, true, 0, nullptr},
      {"a newer release", u"{E96AEE9E-8FE9-4ADA-BDAB-53AEE029022E}", u"10.0", false, false, 106, "newer version"},
      {"an unknown version", u"{E96AEE9E-8FE9-4ADA-BDAB-53AEE029022E}", u"3.5", false, false, 105,
       "unknown data format"},
      {"an empty version", u"{E96AEE9E-8FE9-4ADA-BDAB-53AEE029022E}", u"", false, false, 105, "unknown data format"},
      {"another type", u"{0B1D1C39-6D0E-4E0B-8A0B-8C1E5E2C0001}", u"9.0", false, false, 103, "not a valid"},
  };
  int n = 0;
  for (const auto& c : cases) {
    std::string name = "Case" + std::to_string(n++) + ".pwi";
    WriteItemFile(name, u"v", c.version, c.signature);
    std::string before = ReadFileBytes(dir.Utf8File(name));
    std::size_t messagesBefore = Messages().size();
    auto node = MakeFileNode();
    EXPECT_EQ(node->ReloadFromFileName(dir.File(name), false), c.opens) << c.what;
    EXPECT_EQ(node->ErrorCode(), c.error) << c.what;
    auto messages = Messages();
    if (c.message) {
      ASSERT_EQ(messages.size(), messagesBefore + 1) << c.what;
      EXPECT_NE(WideToUtf8(messages.back()).find(c.message), std::string::npos) << WideToUtf8(messages.back());
    } else {
      EXPECT_EQ(messages.size(), messagesBefore) << c.what;
    }
    EXPECT_EQ(node->FileStorage()->Closed(), !c.opens) << c.what;
    if (c.opens) {
      EXPECT_EQ(node->value, u"v");
      EXPECT_EQ(node->IsModified(), c.modified) << c.what;
    }
    // Opening never writes.
    EXPECT_EQ(ReadFileBytes(dir.Utf8File(name)), before) << c.what;
  }
}

TEST_F(ItemNodeTest, EmptyVersionLeavesTheFlag) {
  WriteItemFile("A.pwi", u"v", u"");
  auto node = Open(dir.File("Other.pwi"));
  ASSERT_TRUE(node);
  auto builder = CreateOptionsBuilder();
  builder->SetReader(node->CreateOptionsReader(dir.File("A.pwi")).Get());
  bool flag = true;
  EXPECT_FALSE(node->CheckDataVersion(builder->GetRoot().Get(), flag));
  EXPECT_TRUE(flag);
  flag = true;
  WriteItemFile("B.pwi", u"v", u"3.0");
  auto other = CreateOptionsBuilder();
  other->SetReader(node->CreateOptionsReader(dir.File("B.pwi")).Get());
  EXPECT_FALSE(node->CheckDataVersion(other->GetRoot().Get(), flag));
  EXPECT_FALSE(flag);
}

TEST_F(ItemNodeTest, MissingFileIsWrittenAtOnce) {
  auto node = Open(dir.File("New.pwi"));
  ASSERT_TRUE(node);
  EXPECT_EQ(node->Name(), u"New");
  EXPECT_FALSE(node->IsModified());
  EXPECT_EQ(node->FileStorage()->Snapshot().crc, project::FileCRC32(dir.File("New.pwi")));
  // It opens again as an item of its type.
  auto again = Open(dir.File("New.pwi"));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->ErrorCode(), 0);
}

// The host's own item type keeps no properties of its own: its files are recognised.
TEST_F(ItemNodeTest, FilesOfTheHostsTypesAreRecognised) {
  for (const GUID& type : {host::kItemNodeType, host::kProjectNodeType}) {
    GUID key{};
    OleCheck(CreateGuid(key));
    auto node = MakeObject<project::TpwProjectNode>(nullptr, type, key, project::kFileStorageKind);
    OleCheck(node->Initialize(host.Manager()));
    WideString name = dir.File(type == host::kItemNodeType ? "Item.pwi" : "Project.pwp");
    ASSERT_TRUE(node->ReloadFromFileName(name, false));
    EXPECT_TRUE(project::IsProjectItemFileFormat(name));
    // Saved again under another name.
    WideString other = dir.File(type == host::kItemNodeType ? "Other.pwi" : "Other.pwp");
    EXPECT_EQ(node->FileStorage()->SaveToFile(other, false), 0);
    EXPECT_TRUE(project::IsProjectItemFileFormat(other));
    node->Finalize();
  }
}

TEST_F(ItemNodeTest, QuietAndInvalidFiles) {
  WriteFileBytes(dir.Utf8File("Junk.pwi"), "not xml at all");
  auto node = MakeFileNode();
  EXPECT_FALSE(node->ReloadFromFileName(dir.File("Junk.pwi"), true));
  EXPECT_TRUE(Messages().empty());
  EXPECT_FALSE(node->ReloadFromFileName(dir.File("Junk.pwi"), false));
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(ReadFileBytes(dir.Utf8File("Junk.pwi")), "not xml at all");
  // A later save has nothing bound to write over the file.
  node->SetValue(u"x");
  EXPECT_EQ(ReadFileBytes(dir.Utf8File("Junk.pwi")), "not xml at all");
}

TEST_F(ItemNodeTest, FailedLoadAfterReadingLeavesTheStorageClosed) {
  WriteItemFile("A.pwi", u"old");
  std::string before = ReadFileBytes(dir.Utf8File("A.pwi"));
  auto node = MakeFileNode();
  node->failLoad = true;
  EXPECT_FALSE(node->ReloadFromFileName(dir.File("A.pwi"), false));
  EXPECT_EQ(node->ErrorCode(), project::kErrException);
  EXPECT_TRUE(node->FileStorage()->Closed());
  EXPECT_EQ(node->FileStorage()->Data(), nullptr);
  node->failLoad = false;
  node->SetValue(u"partial");
  EXPECT_NE(node->SaveToOwnFileResult(), 0);
  EXPECT_EQ(ReadFileBytes(dir.Utf8File("A.pwi")), before);
}

TEST_F(ItemNodeTest, UnsavedCopy) {
  const std::string copy = "A.pwi.~$pwUnsaved$";
  struct Case {
    const char* what;
    bool validCopy;
    bool interactive;
    int answer;  // -1: not asked
    const char16_t* value;
    bool copyStays;
    bool modified;
  } cases[] = {
      {"yes", true, true, 1, u"unsaved", false, true},
      {"no", true, true, 0, u"saved", false, false},
      {"a damaged copy", false, true, -1, u"saved", false, false},
      {"without dialogs", true, false, -1, u"saved", true, false},
  };
  for (const auto& c : cases) {
    WriteItemFile("A.pwi", u"saved");
    if (c.validCopy) {
      WriteItemFile(copy, u"unsaved");
    } else {
      WriteFileBytes(dir.Utf8File(copy), "<broken");
    }
    host.SetInteractive(c.interactive);
    std::size_t asked = host.UnsavedFiles().Questions().size();
    if (c.answer >= 0) host.UnsavedFiles().QueueAnswer(c.answer == 1);
    auto node = Open(dir.File("A.pwi"));
    ASSERT_TRUE(node) << c.what;
    EXPECT_EQ(node->value, c.value) << c.what;
    EXPECT_EQ(host.UnsavedFiles().Questions().size(), asked + (c.answer >= 0 ? 1 : 0)) << c.what;
    EXPECT_EQ(project::FileExistsName(dir.File(copy)), c.copyStays) << c.what;
    EXPECT_EQ(node->IsModified(), c.modified) << c.what;
    Finalize(node.Get());
  }
  host.SetInteractive(true);
}

TEST_F(ItemNodeTest, RefusedLoadKeepsTheUnsavedCopy) {
  WriteItemFile("A.pwi", u"saved", u"10.0");
  WriteItemFile("A.pwi.~$pwUnsaved$", u"unsaved", u"10.0");
  host.UnsavedFiles().QueueAnswer(true);
  auto node = MakeFileNode();
  EXPECT_FALSE(node->ReloadFromFileName(dir.File("A.pwi"), false));
  EXPECT_TRUE(project::FileExistsName(dir.File("A.pwi.~$pwUnsaved$")));
}

TEST_F(ItemNodeTest, OpenedFromTheCopySavesToTheRealFile) {
  WriteItemFile("A.pwi", u"saved");
  WriteItemFile("A.pwi.~$pwUnsaved$", u"unsaved");
  host.UnsavedFiles().QueueAnswer(true);
  auto node = Open(dir.File("A.pwi"));
  ASSERT_TRUE(node);
  EXPECT_EQ(node->SaveToOwnFileResult(), 0);
  auto again = Open(dir.File("A.pwi"));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->value, u"unsaved");
  EXPECT_FALSE(node->IsModified());
}

TEST_F(ItemNodeTest, ProjectServiceHearsLoadsAndSaves) {
  auto node = Open(dir.File("A.pwi"));
  ASSERT_TRUE(node);
  auto notices = host.ProjectService().Notices();
  EXPECT_EQ(std::count(notices.begin(), notices.end(), u"BeforeLoad A"), 1);
  EXPECT_EQ(std::count(notices.begin(), notices.end(), u"BeforeSave A"), 1);
  // Unsaved changes the host holds count as the node's.
  EXPECT_FALSE(node->IsModified());
  host.ProjectService().SetUnsavedChanges(true);
  EXPECT_TRUE(node->IsModified());
  host.ProjectService().SetUnsavedChanges(false);
}

TEST_F(ItemNodeTest, InterfacesFollowTheStorage) {
  auto file = MakeFileNode();
  auto parentStored = MakeObject<TItemNode>(nullptr, project::kParentStorageKind);
  OleCheck(parentStored->Initialize(host.Manager()));
  nodes_.push_back(parentStored);
  ComPtr<IUnknown> p;
  EXPECT_EQ(file->GetStorageType(), 1);
  EXPECT_EQ(parentStored->GetStorageType(), 0);
  EXPECT_EQ(file->QueryInterface(IpwPersistentProjectNode::iid, p.PutVoid()), S_OK);
  EXPECT_EQ(file->QueryInterface(IpwFileNode::iid, p.PutVoid()), S_OK);
  EXPECT_EQ(file->QueryInterface(IpwParentStoredNode::iid, p.PutVoid()), E_NOINTERFACE);
  EXPECT_EQ(parentStored->QueryInterface(IpwPersistentProjectNode::iid, p.PutVoid()), E_NOINTERFACE);
  EXPECT_EQ(parentStored->QueryInterface(IpwFileNode::iid, p.PutVoid()), E_NOINTERFACE);
  EXPECT_EQ(parentStored->QueryInterface(IpwParentStoredNode::iid, p.PutVoid()), S_OK);
  // The node's identity as a project node is one.
  ComPtr<IpwProjectNode> a, b;
  ASSERT_EQ(file->QueryInterface(IpwProjectNode::iid, a.PutVoid()), S_OK);
  ASSERT_EQ(file->QueryInterface(IpwFileSaveSupport::iid, b.PutVoid()), S_OK);
  BString name;
  EXPECT_EQ(b->GetName(name.Put()), S_OK);
}

}  // namespace
}  // namespace pw::test
