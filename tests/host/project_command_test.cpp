// pwhost project item and watch, run in this process.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "platform/rtl/strings.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/test_process.h"
#include "tools/pwhost/project_command.h"

namespace pw::host {
namespace {

using Result = test::CapturedRun;

Result RunProject(std::vector<std::string> args) {
  return test::CaptureRun([&](std::FILE* out, std::FILE* err) { return RunProjectCommand(args, out, err); });
}

using test::ReadFileBytes;
using test::ScratchDir;
using test::WriteFileBytes;

TEST(ProjectCommand, ItemIsCreatedOpenedAndRenamed) {
  ScratchDir dir;
  const std::string a = dir.Utf8File("A.pwi");
  auto r = RunProject({"item", a});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("name\tA\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("type\t{E96AEE9E-8FE9-4ADA-BDAB-53AEE029022E}\n"), std::string::npos);
  EXPECT_NE(r.out.find("version\t9.0\n"), std::string::npos);
  EXPECT_NE(r.out.find("read-only\t0\n"), std::string::npos);
  EXPECT_NE(r.out.find("error\t0\t\n"), std::string::npos);
  const std::string bytes = ReadFileBytes(a);
  ASSERT_FALSE(bytes.empty());
  // Opened again: nothing written.
  r = RunProject({"item", a});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(ReadFileBytes(a), bytes);
  // Renamed: the file moves.
  r = RunProject({"item", a, "--rename", "B"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("name\tB\n"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(dir.Utf8File("B.pwi")), bytes);
  EXPECT_TRUE(ReadFileBytes(a).empty());
}

TEST(ProjectCommand, RefusedOpenLeavesTheFile) {
  ScratchDir dir;
  struct Case {
    const char* name;
    std::string content;
    const char* error;
  } cases[] = {
      {"Junk.pwi", "<x/>", "error\t103\t"},
      {"Newer.pwi",
       "<?xml version=\"1.0\"?><Nodes version=\"1\"><Node name=\"root\"><Prp name=\"signature\" type=\"S\" "
       "value=\"{E96AEE9E-8FE9-4ADA-BDAB-53AEE029022E}\"/><Prp name=\"version\" type=\"S\" value=\"10.0\"/></Node>"
       "</Nodes>",
       "error\t106\t"},
  };
  for (const auto& c : cases) {
    WriteFileBytes(dir.Utf8File(c.name), c.content);
    auto r = RunProject({"item", dir.Utf8File(c.name)});
    EXPECT_EQ(r.code, 1) << c.name;
    EXPECT_NE(r.out.find(c.error), std::string::npos) << r.out;
    EXPECT_EQ(ReadFileBytes(dir.Utf8File(c.name)), c.content) << c.name;
    // A rename of a file that does not open touches nothing.
    r = RunProject({"item", dir.Utf8File(c.name), "--rename", "Other"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(ReadFileBytes(dir.Utf8File("Other.pwi")).empty());
  }
}

TEST(ProjectCommand, RefusalsSayWhyAndCreateNothing) {
  ScratchDir dir;
  const std::string a = dir.Utf8File("A.pwi");
  ASSERT_EQ(RunProject({"item", a}).code, 0);
  ASSERT_EQ(RunProject({"item", dir.Utf8File("B.pwi")}).code, 0);
  const std::string bytes = ReadFileBytes(a);
  WriteFileBytes(dir.Utf8File("Junk.pwi"), "<x/>");
  struct Case {
    std::vector<std::string> args;
    const char* reason;
  } cases[] = {
      // A missing file whose base name no item may have: the file-name check refuses it first.
      {{"item", dir.Utf8File("bad name?.pwi")}, "The 'bad name?' name is not valid for"},
      {{"item", dir.Utf8File("con.pwi")}, "reserved by the operating system"},
      // A file that does not open: the node's error.
      {{"item", dir.Utf8File("Junk.pwi")}, "Invalid format of Item data."},
      // Renames: the name check, another item's file.
      {{"item", a, "--rename", "x:y"}, "The 'x:y' name is not valid for"},
      {{"item", a, "--rename", "B"}, "already exists on disk at this location"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1] + (c.args.size() > 2 ? " " + c.args[3] : std::string()));
    auto r = RunProject(c.args);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.Utf8File("bad name?.pwi")));
  EXPECT_FALSE(std::filesystem::exists(dir.Utf8File("con.pwi")));
  EXPECT_FALSE(std::filesystem::exists(dir.Utf8File("x:y.pwi")));
  EXPECT_EQ(ReadFileBytes(a), bytes);
  EXPECT_EQ(ReadFileBytes(dir.Utf8File("Junk.pwi")), "<x/>");
}

TEST(ProjectCommand, WatchOpensTheFiles) {
  ScratchDir dir;
  auto r = RunProject({"watch", dir.Utf8File("A.pwi"), dir.Utf8File("B.pwi"), "--reload", "no", "--seconds", "0"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "watching " + dir.Utf8File("A.pwi") + "\nwatching " + dir.Utf8File("B.pwi") + "\n");
  EXPECT_EQ(RunProject({"watch"}).code, 2);
  EXPECT_EQ(RunProject({"watch", "x", "--reload", "maybe"}).code, 2);
  EXPECT_EQ(RunProject({"item"}).code, 2);
}

}  // namespace
}  // namespace pw::host
