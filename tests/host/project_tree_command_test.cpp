// pwhost project new, tree, add, add-existing, remove, rename and watch over a project file, run
// in this process.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/rtl/strings.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/test_process.h"
#include "tools/pwhost/project_command.h"

namespace pw::host {
namespace {

using Result = test::CapturedRun;
using test::ReadFileBytes;
using test::ScratchDir;

Result RunProject(std::vector<std::string> args) {
  return test::CaptureRun([&](std::FILE* out, std::FILE* err) { return RunProjectCommand(args, out, err); });
}

bool Exists(const std::string& file) { return std::filesystem::exists(file); }

// The tree's lines without the flags column's modified mark.
std::vector<std::string> Names(const std::string& tree) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start < tree.size()) {
    std::size_t end = tree.find('\n', start);
    std::string line = tree.substr(start, end - start);
    names.push_back(line.substr(0, line.find('\t')));
    start = end + 1;
  }
  return names;
}

TEST(ProjectTreeCommand, NewTreeAddRenameRemove) {
  ScratchDir dir;
  const std::string p = dir.Utf8File("Shop.pwp");
  auto r = RunProject({"new", p, "Stores", "Orders"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "saved 0\n");
  EXPECT_TRUE(Exists(dir.Utf8File("Stores.pwi")));
  EXPECT_TRUE(Exists(dir.Utf8File("Orders.pwi")));
  EXPECT_EQ(RunProject({"new", p, "Other"}).code, 1);  // the project exists

  r = RunProject({"tree", p});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Names(r.out), (std::vector<std::string>{"Shop", "  Stores", "  Orders"}));
  EXPECT_NE(r.out.find("  Stores\tItem {E96AEE9E-8FE9-4ADA-BDAB-53AEE029022E}\t" + dir.Utf8File("Stores.pwi") + "\t\n"),
            std::string::npos)
      << r.out;

  // A name the creation parameters refuse: exit 1, nothing written.
  const std::string before = ReadFileBytes(p);
  r = RunProject({"add", p, "con"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("reserved by the operating system"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFileBytes(p), before);
  EXPECT_FALSE(Exists(dir.Utf8File("con.pwi")));

  r = RunProject({"add", p, "Clients"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "saved 0\n");
  r = RunProject({"rename", p, "orders", "Invoices"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_FALSE(Exists(dir.Utf8File("Orders.pwi")));
  EXPECT_TRUE(Exists(dir.Utf8File("Invoices.pwi")));
  EXPECT_EQ(RunProject({"rename", p, "Nothing", "X"}).code, 1);

  r = RunProject({"remove", p, "Stores"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Exists(dir.Utf8File("Stores.pwi")));  // kept without --delete-files
  r = RunProject({"remove", p, "Clients", "--delete-files"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_FALSE(Exists(dir.Utf8File("Clients.pwi")));

  r = RunProject({"add-existing", p, dir.Utf8File("Stores.pwi")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(RunProject({"add-existing", p, dir.Utf8File("Stores.pwi")}).code, 1);  // already there
  EXPECT_EQ(RunProject({"add-existing", p, dir.Utf8File("Missing.pwi")}).code, 1);

  r = RunProject({"tree", p});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Names(r.out), (std::vector<std::string>{"Shop", "  Invoices", "  Stores"}));

  r = RunProject({"watch", p, "--seconds", "0"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "watching " + p + "\nwatching " + dir.Utf8File("Invoices.pwi") + "\nwatching " +
                       dir.Utf8File("Stores.pwi") + "\n");
}

// Every regular file of the folder with its bytes (a FIFO is left out: reading it would wait).
std::map<std::string, std::string> RegularFiles(const ScratchDir& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    if (entry.is_regular_file()) files[entry.path().string()] = ReadFileBytes(entry.path().string());
  return files;
}

// A file that cannot become an item of the project is refused with the reason: exit 1, nothing
// saved, the project file and every other file as they were.
TEST(ProjectTreeCommand, AJunkExistingItemIsRefusedWithTheReason) {
  ScratchDir dir;
  const std::string p = dir.Utf8File("P.pwp");
  ASSERT_EQ(RunProject({"new", p, "A"}).code, 0);
  ASSERT_EQ(RunProject({"new", dir.Utf8File("Other.pwp"), "B"}).code, 0);
  {
    std::ofstream(dir.Utf8File("junk.pwi")) << "not an item file";
    std::ofstream(dir.Utf8File("notes.txt")) << "notes";
  }
  ASSERT_EQ(::mkfifo(dir.Utf8File("pipe.pwi").c_str(), 0600), 0);
  std::filesystem::copy_file(dir.Utf8File("B.pwi"), dir.Utf8File("locked.pwi"));
  std::filesystem::permissions(dir.Utf8File("locked.pwi"), std::filesystem::perms::none);
  struct Refusal {
    std::string file, reason;
    bool needsUnprivileged = false;  // the superuser reads any file
  } refusals[] = {
      {"junk.pwi", "Invalid format of Item data."},
      {"notes.txt", "A project takes the item files of its child types (.pwi); '" + dir.Utf8File("notes.txt") +
                        "' is none of them."},
      {"Other.pwp", "is none of them."},
      {"pipe.pwi", "Cannot open the '" + dir.Utf8File("pipe.pwi") + "' file: it is not a regular file."},
      {"missing.pwi", "The '" + dir.Utf8File("missing.pwi") + "' file does not exist."},
      {"A.pwi", "The '" + dir.Utf8File("A.pwi") + "' file is in the project already."},
      {"locked.pwi", "the file cannot be read: ", true},
  };
  const auto before = RegularFiles(dir);
  for (const auto& c : refusals) {
    SCOPED_TRACE(c.file);
    if (c.needsUnprivileged && ::geteuid() == 0) continue;
    auto r = RunProject({"add-existing", p, dir.Utf8File(c.file)});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    // Said once: the host's loader, which makes two types, is asked once.
    const auto first = r.err.find(c.reason);
    EXPECT_NE(first, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(c.reason, first + 1), std::string::npos) << r.err;
    EXPECT_EQ(RegularFiles(dir), before);
  }
  auto r = RunProject({"tree", p});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Names(r.out), (std::vector<std::string>{"P", "  A"}));
}

TEST(ProjectTreeCommand, AMissingItemFileFailsTheProjectWithoutDialogs) {
  ScratchDir dir;
  const std::string p = dir.Utf8File("P.pwp");
  ASSERT_EQ(RunProject({"new", p, "A", "B"}).code, 0);
  std::filesystem::remove(dir.Utf8File("B.pwi"));
  const std::string before = ReadFileBytes(p);
  auto r = RunProject({"tree", p});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("107 Critical error: The '" + dir.Utf8File("B.pwi") + "' file does not exist."),
            std::string::npos)
      << r.err;
  EXPECT_EQ(RunProject({"add", p, "C"}).code, 1);
  EXPECT_EQ(ReadFileBytes(p), before);
}

TEST(ProjectTreeCommand, RemoveDeletesTheItemFileOnlyAfterTheProjectIsSaved) {
  ScratchDir dir;
  const std::string p = dir.Utf8File("P.pwp");
  ASSERT_EQ(RunProject({"new", p, "A", "B"}).code, 0);
  const std::string before = ReadFileBytes(p);
  const std::string itemBefore = ReadFileBytes(dir.Utf8File("A.pwi"));
  // A project that cannot be saved (its file is write-protected) keeps naming the item, so the
  // item's file stays as it was.
  namespace fs = std::filesystem;
  const auto writable = fs::status(p).permissions();
  fs::permissions(p, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  auto r = RunProject({"remove", p, "A", "--delete-files"});
  fs::permissions(p, writable);
  EXPECT_EQ(r.code, 1) << r.out << r.err;
  EXPECT_EQ(r.out.find("saved 0"), std::string::npos) << r.out;
  EXPECT_EQ(ReadFileBytes(p), before);
  ASSERT_TRUE(Exists(dir.Utf8File("A.pwi")));
  EXPECT_EQ(ReadFileBytes(dir.Utf8File("A.pwi")), itemBefore);

  r = RunProject({"remove", p, "A", "--delete-files"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "saved 0\n");
  EXPECT_FALSE(Exists(dir.Utf8File("A.pwi")));
  EXPECT_TRUE(Exists(dir.Utf8File("B.pwi")));
  r = RunProject({"tree", p});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Names(r.out), (std::vector<std::string>{"P", "  B"}));
}

// The tree lines of the folders: "[NAME]\tfolder\tITEMS" with their indentation.
std::vector<std::string> FolderLines(const std::string& tree) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < tree.size()) {
    std::size_t end = tree.find('\n', start);
    std::string line = tree.substr(start, end - start);
    if (line.find("\tfolder\t") != std::string::npos) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

TEST(ProjectTreeCommand, FoldersLiveInTheProjectFileOnly) {
  ScratchDir dir;
  const std::string p = dir.Utf8File("Shop.pwp");
  ASSERT_EQ(RunProject({"new", p, "Stores", "Orders", "Clients"}).code, 0);
  const std::string stores = ReadFileBytes(dir.Utf8File("Stores.pwi"));
  const std::string orders = ReadFileBytes(dir.Utf8File("Orders.pwi"));
  const std::string clients = ReadFileBytes(dir.Utf8File("Clients.pwi"));

  for (const auto& args : std::vector<std::vector<std::string>>{{"folder", p, "add", "Sales"},
                                                                {"folder", p, "add", "Archive"},
                                                                {"folder", p, "add", "Old", "--in", "Archive"},
                                                                {"folder", p, "ref", "Sales", "Orders"},
                                                                {"folder", p, "ref", "Sales", "Clients"},
                                                                {"folder", p, "ref", "Archive/Old", "Stores"},
                                                                {"folder", p, "rename", "Archive", "Attic"},
                                                                {"folder", p, "move", "Attic/Old", "/"},
                                                                {"folder", p, "unref", "Sales", "Clients"}}) {
    auto r = RunProject(args);
    ASSERT_EQ(r.code, 0) << args[2] << " " << args[3] << ": " << r.err;
    EXPECT_EQ(r.out, "saved 0\n");
  }
  auto r = RunProject({"tree", p});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(FolderLines(r.out),
            (std::vector<std::string>{"  [Sales]\tfolder\tOrders", "  [Attic]\tfolder\t", "  [Old]\tfolder\tStores"}));
  // No folder command touched an item's file.
  EXPECT_EQ(ReadFileBytes(dir.Utf8File("Stores.pwi")), stores);
  EXPECT_EQ(ReadFileBytes(dir.Utf8File("Orders.pwi")), orders);
  EXPECT_EQ(ReadFileBytes(dir.Utf8File("Clients.pwi")), clients);

  // Refusals: the message, exit 1, the project file unchanged.
  const std::string before = ReadFileBytes(p);
  struct Refusal {
    std::vector<std::string> args;
    std::string message;
  } refusals[] = {
      {{"folder", p, "rename", "Sales", "Attic"}, "An element with the name 'Attic' already exists."},
      {{"folder", p, "rename", "Sales", "  "}, "A name cannot be an empty string."},
      {{"folder", p, "add", "Sales"}, "An element with the name 'Sales' already exists."},
      {{"folder", p, "move", "Old", "Nowhere"}, "The project has no folder \"Nowhere\"."},
      {{"folder", p, "ref", "Sales", "Orders"}, "The folder refers to the item already."},
      {{"folder", p, "ref", "Sales", "Nothing"}, "The project has no item \"Nothing\"."},
      {{"folder", p, "unref", "Sales", "Stores"}, "The folder does not refer to the item."},
      {{"folder", p, "remove", "Missing"}, "The project has no folder \"Missing\"."},
  };
  for (const auto& c : refusals) {
    r = RunProject(c.args);
    EXPECT_EQ(r.code, 1) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(p), before) << c.message;
  }

  // Removing a folder takes its items out of the project; their files stay without
  // --delete-files and go with it.
  r = RunProject({"folder", p, "remove", "Old"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Exists(dir.Utf8File("Stores.pwi")));
  EXPECT_EQ(ReadFileBytes(dir.Utf8File("Stores.pwi")), stores);
  // A project that cannot be saved keeps naming the folder's items, so their files stay.
  {
    namespace fs = std::filesystem;
    const std::string unsaved = ReadFileBytes(p);
    const auto writable = fs::status(p).permissions();
    fs::permissions(p, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    r = RunProject({"folder", p, "remove", "Sales", "--delete-files"});
    fs::permissions(p, writable);
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_EQ(ReadFileBytes(p), unsaved);
    ASSERT_TRUE(Exists(dir.Utf8File("Orders.pwi")));
    EXPECT_EQ(ReadFileBytes(dir.Utf8File("Orders.pwi")), orders);
  }
  r = RunProject({"folder", p, "remove", "Sales", "--delete-files"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_FALSE(Exists(dir.Utf8File("Orders.pwi")));
  EXPECT_TRUE(Exists(dir.Utf8File("Clients.pwi")));
  r = RunProject({"tree", p});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Names(r.out), (std::vector<std::string>{"Shop", "  Clients", "  [Attic]"}));
}

TEST(ProjectTreeCommand, Misuse) {
  EXPECT_EQ(RunProject({"tree"}).code, 2);
  EXPECT_EQ(RunProject({"new"}).code, 2);
  EXPECT_EQ(RunProject({"remove", "p.pwp", "A", "--keep"}).code, 2);
  EXPECT_EQ(RunProject({"rename", "p.pwp", "A"}).code, 2);
  EXPECT_EQ(RunProject({"folder", "p.pwp", "add"}).code, 2);
  EXPECT_EQ(RunProject({"folder", "p.pwp", "rename", "A"}).code, 2);
  EXPECT_EQ(RunProject({"folder", "p.pwp", "remove", "A", "--keep"}).code, 2);
  EXPECT_EQ(RunProject({"folder", "p.pwp", "copy", "A", "B"}).code, 2);
  ScratchDir dir;
  EXPECT_EQ(RunProject({"tree", dir.Utf8File("none.pwp")}).code, 1);
  EXPECT_EQ(RunProject({"new", dir.Utf8File("p.txt")}).code, 1);
}

}  // namespace
}  // namespace pw::host
