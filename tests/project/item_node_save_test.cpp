// Saving item files: nothing written when unchanged or during a reload, read-only targets, save
// as, a target used by another item, renames that move the file, writes that fail midway.
#include <sys/stat.h>

#include "project/storage/node_file_helpers.h"
#include "tests/project/item_node_fixture.h"

namespace pw::test {
namespace {

void MakeReadOnly(const WideString& name) { ::chmod(WideToUtf8(name).c_str(), 0444); }

TEST_F(ItemNodeTest, UnchangedNodeWritesNothing) {
  WriteItemFile("A.pwi", u"v");
  auto node = Open(dir.File("A.pwi"));
  ASSERT_TRUE(node);
  struct stat before {};
  ::stat(dir.Utf8File("A.pwi").c_str(), &before);
  EXPECT_EQ(node->SaveToOwnFileResult(), 0);
  struct stat after {};
  ::stat(dir.Utf8File("A.pwi").c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino);  // not replaced
  EXPECT_FALSE(node->IsModified());
}

TEST_F(ItemNodeTest, SaveWritesTheChangeAndKeepsTheFileBound) {
  WriteItemFile("A.pwi", u"v");
  auto node = Open(dir.File("A.pwi"));
  ASSERT_TRUE(node);
  node->SetValue(u"changed");
  EXPECT_TRUE(node->IsModified());
  EXPECT_TRUE(node->CanSave());
  EXPECT_EQ(node->SaveToOwnFileResult(), 0);
  EXPECT_FALSE(node->IsModified());
  EXPECT_EQ(Open(dir.File("A.pwi"))->value, u"changed");
  EXPECT_EQ(node->FileStorage()->Snapshot().crc, project::FileCRC32(dir.File("A.pwi")));
}

TEST_F(ItemNodeTest, NothingIsSavedDuringAReload) {
  WriteItemFile("A.pwi", u"v");
  auto node = Open(dir.File("A.pwi"));
  node->SetValue(u"changed");
  std::string before = ReadFileBytes(dir.Utf8File("A.pwi"));
  node->SetReloadCount(1);
  EXPECT_FALSE(node->IsModified());
  EXPECT_EQ(node->SaveToOwnFileResult(), 0);
  node->SetReloadCount(0);
  EXPECT_EQ(ReadFileBytes(dir.Utf8File("A.pwi")), before);
  EXPECT_TRUE(node->IsModified());
}

TEST_F(ItemNodeTest, ReadOnlyTarget) {
  struct Case {
    const char* what;
    std::int32_t answer;
    std::int32_t result;
    const char* savedTo;  // the file that holds the change afterwards; nil: none
    const char* chosen = nullptr;  // answer 0: the name chosen in the save dialog
  } cases[] = {
      {"made writable", 1, 0, "A.pwi"},
      {"cancelled", 2, 2, nullptr},
      {"another name", 0, 0, "B.pwi", "B.pwi"},
      // The same write-protected file again (what a host without dialogs answers): cancelled,
      // not asked about forever.
      {"the same name again", 0, 2, nullptr, "A.pwi"},
  };
  for (const auto& c : cases) {
    WriteItemFile("A.pwi", u"v");
    std::remove(dir.Utf8File("B.pwi").c_str());
    auto node = Open(dir.File("A.pwi"));
    ASSERT_TRUE(node);
    MakeReadOnly(dir.File("A.pwi"));
    EXPECT_TRUE(node->Attribute(2).AsBool());
    std::string before = ReadFileBytes(dir.Utf8File("A.pwi"));
    node->SetValue(u"changed");
    host.Dialogs().QueueReadOnlyAnswer(c.answer);
    if (c.answer == 0) host.Dialogs().QueueAnswer({true, dir.File(c.chosen)});
    EXPECT_EQ(node->SaveToOwnFileResult(), c.result) << c.what;
    if (c.savedTo) {
      EXPECT_EQ(Open(dir.File(c.savedTo))->value, u"changed") << c.what;
      EXPECT_EQ(node->FileName(), dir.File(c.savedTo)) << c.what;
      EXPECT_FALSE(node->IsModified()) << c.what;
    } else {
      EXPECT_TRUE(node->IsModified()) << c.what;
    }
    if (c.answer != 1) {
      EXPECT_EQ(ReadFileBytes(dir.Utf8File("A.pwi")), before) << c.what;
      EXPECT_TRUE(project::IsFileReadOnlyName(dir.File("A.pwi"))) << c.what;
    }
    ::chmod(dir.Utf8File("A.pwi").c_str(), 0644);
    Finalize(node.Get());
  }
}

TEST_F(ItemNodeTest, SaveAsMovesTheNode) {
  WriteItemFile("A.pwi", u"v");
  auto node = Open(dir.File("A.pwi"));
  node->SetValue(u"changed");
  auto notices = MakeObject<host::TFileNotices>();
  host.SetService(project::kFileNoticesService, notices->Identity());
  EXPECT_EQ(node->FileStorage()->SaveToFile(dir.File("sub/B.pwi"), false), 0);
  EXPECT_EQ(node->FileName(), dir.File("sub/B.pwi"));
  EXPECT_EQ(node->Name(), u"B");
  EXPECT_EQ(Open(dir.File("sub/B.pwi"))->value, u"changed");
  // The old file stays as it was.
  EXPECT_EQ(Open(dir.File("A.pwi"))->value, u"v");
  ASSERT_EQ(notices->Notices().size(), 1u);
  EXPECT_EQ(notices->Notices()[0], u"Renamed B: " + dir.File("A.pwi") + u" -> " + dir.File("sub/B.pwi"));
  host.SetService(project::kFileNoticesService, nullptr);
}

TEST_F(ItemNodeTest, SaveAsWithARefusedNameKeepsTheOldFile) {
  WriteItemFile("A.pwi", u"v");
  auto node = Open(dir.File("A.pwi"));
  node->SetValue(u"changed");
  EXPECT_EQ(node->FileStorage()->SaveToFile(dir.File("con.pwi"), false), 1);
  EXPECT_EQ(node->FileName(), dir.File("A.pwi"));
  EXPECT_FALSE(project::FileExistsName(dir.File("con.pwi")));
  EXPECT_TRUE(node->IsModified());
  // The node still saves to its own file.
  EXPECT_EQ(node->SaveToOwnFileResult(), 0);
  EXPECT_EQ(Open(dir.File("A.pwi"))->value, u"changed");
}

TEST_F(ItemNodeTest, SaveAsOverAnotherItemsFileIsRefused) {
  WriteItemFile("A.pwi", u"a");
  std::filesystem::create_directory(dir.Path() / "sub");
  WriteItemFile("sub/B.pwi", u"b");
  auto a = Open(dir.File("A.pwi"));
  auto b = Open(dir.File("sub/B.pwi"));
  auto root = MakeObject<host::THostProjectNode>(nullptr, host::kProjectNodeType, u"Suite");
  root->AddChild(a->AsNode());
  root->AddChild(b->AsNode());
  host.Projects().SetSuiteOpen(true);
  host.Projects().SetSuiteRoot(root.Get());
  a->SetValue(u"changed");
  EXPECT_EQ(a->FileStorage()->SaveToFile(dir.File("sub/B.pwi"), false), 1);
  auto messages = host.Messenger().Messages();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().helpContext, 4098);
  EXPECT_EQ(Open(dir.File("sub/B.pwi"))->value, u"b");
  EXPECT_EQ(a->FileName(), dir.File("A.pwi"));
  host.Projects().SetSuiteRoot(nullptr);
  root->ClearChildren();
}

TEST_F(ItemNodeTest, CopySavesLeaveTheNodeBound) {
  WriteItemFile("A.pwi", u"v");
  auto node = Open(dir.File("A.pwi"));
  node->SetValue(u"changed");
  EXPECT_EQ(node->SaveToNewFileName(dir.File("Copy.pwi"), false), 0);
  EXPECT_EQ(node->FileName(), dir.File("A.pwi"));
  EXPECT_TRUE(node->IsModified());
  EXPECT_EQ(Open(dir.File("Copy.pwi"))->value, u"changed");
  EXPECT_EQ(Open(dir.File("A.pwi"))->value, u"v");
  // The unsaved copy works the same way.
  std::int32_t result = -1;
  ASSERT_EQ(node->SaveToUnsavedCopy(&result), S_OK);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(node->IsModified());
  EXPECT_TRUE(project::FileExistsName(dir.File("A.pwi.~$pwUnsaved$")));
  host.UnsavedFiles().QueueAnswer(false);
  auto saved = Open(dir.File("A.pwi"));
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->value, u"v");
  // The next ordinary save still reaches the real file.
  EXPECT_EQ(node->SaveToOwnFileResult(), 0);
  EXPECT_EQ(Open(dir.File("A.pwi"))->value, u"changed");
}

TEST_F(ItemNodeTest, RenameMovesTheFile) {
  WriteItemFile("Old.pwi", u"v");
  auto node = Open(dir.File("Old.pwi"));
  ASSERT_TRUE(node);
  ASSERT_EQ(node->SetName(BString(u"New").Get()), S_OK);
  EXPECT_EQ(node->FileName(), dir.File("New.pwi"));
  EXPECT_FALSE(project::FileExistsName(dir.File("Old.pwi")));
  EXPECT_EQ(Open(dir.File("New.pwi"))->value, u"v");
  auto notices = host.ProjectService().Notices();
  EXPECT_NE(std::find(notices.begin(), notices.end(), u"Renamed Old New"), notices.end());
  // Only the letter case: the file is moved, never deleted.
  ASSERT_EQ(node->SetName(BString(u"NEW").Get()), S_OK);
  EXPECT_EQ(node->FileName(), dir.File("NEW.pwi"));
  EXPECT_TRUE(project::FileExistsName(dir.File("NEW.pwi")));
  EXPECT_FALSE(project::FileExistsName(dir.File("New.pwi")));
  EXPECT_EQ(Open(dir.File("NEW.pwi"))->value, u"v");
  // A name whose file exists is refused.
  WriteItemFile("Taken.pwi", u"t");
  node->SetName(BString(u"Taken").Get());
  EXPECT_EQ(node->Name(), u"NEW");
  EXPECT_EQ(node->FileName(), dir.File("NEW.pwi"));
  EXPECT_EQ(Open(dir.File("Taken.pwi"))->value, u"t");
}

TEST_F(ItemNodeTest, RenameRefusedByTheHost) {
  WriteItemFile("Old.pwi", u"v");
  auto node = Open(dir.File("Old.pwi"));
  host.ProjectService().SetConfirmRename(false);
  node->SetName(BString(u"New").Get());
  host.ProjectService().SetConfirmRename(true);
  EXPECT_EQ(node->Name(), u"Old");
  EXPECT_TRUE(project::FileExistsName(dir.File("Old.pwi")));
  EXPECT_FALSE(project::FileExistsName(dir.File("New.pwi")));
}

TEST_F(ItemNodeTest, AWriteFailingMidwayLosesNothing) {
  WriteItemFile("A.pwi", u"v");
  auto node = Open(dir.File("A.pwi"));
  std::string before = ReadFileBytes(dir.Utf8File("A.pwi"));
  node->SetValue(u"changed");
  node->unsaveable = true;
  // A save: the old file stays whole.
  EXPECT_EQ(node->SaveToOwnFileResult(), 1);
  EXPECT_EQ(ReadFileBytes(dir.Utf8File("A.pwi")), before);
  EXPECT_TRUE(node->IsModified());
  // A save to another name: the node stays with its file.
  EXPECT_EQ(node->FileStorage()->SaveToFile(dir.File("B.pwi"), false), 1);
  EXPECT_EQ(node->FileName(), dir.File("A.pwi"));
  EXPECT_FALSE(project::FileExistsName(dir.File("B.pwi")));
  // A rename: name, path and file stay.
  EXPECT_NE(node->SetName(BString(u"C").Get()), S_OK);
  EXPECT_EQ(node->Name(), u"A");
  EXPECT_EQ(node->FileName(), dir.File("A.pwi"));
  EXPECT_EQ(ReadFileBytes(dir.Utf8File("A.pwi")), before);
  EXPECT_FALSE(project::FileExistsName(dir.File("C.pwi")));
  // Once the data can be written, the same node saves to its own file.
  node->unsaveable = false;
  EXPECT_EQ(node->SaveToOwnFileResult(), 0);
  EXPECT_EQ(Open(dir.File("A.pwi"))->value, u"changed");
  auto entries = dir.Entries();
  std::erase_if(entries, [](const std::string& e) { return e.starts_with(".") && e.ends_with(".lock"); });
  EXPECT_EQ(entries, (std::vector<std::string>{"A.pwi"}));
}

}  // namespace
}  // namespace pw::test
