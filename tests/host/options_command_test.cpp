#include "tools/pwhost/options_command.h"
#include "core/options/options_name_pool.h"
#include "core/options/options_tree.h"
#include "core/options/options_xml_storage.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/test_process.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace pw::host {
namespace {

struct Result {
  int code;
  std::string out, err;
};

// Runs the command in this process, collecting what it prints.
Result RunOptions(std::vector<std::string> args) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  Result r{RunOptionsCommand(args, out, err), {}, {}};
  for (auto [f, s] : {std::pair{out, &r.out}, {err, &r.err}}) {
    std::rewind(f);
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) s->append(buf, n);
    std::fclose(f);
  }
  return r;
}

using test::ReadFileBytes;

class OptionsCommand : public ::testing::Test {
 protected:
  test::ScratchDir scratch;
  std::string dir = scratch.Path().string(), file = dir + "/item.xml";
};

TEST_F(OptionsCommand, SetCreatesAndChangesAndDumpShowsEveryType) {
  const std::vector<std::vector<std::string>> sets = {
      {"Settings/Count", "Integer", "-3"},   {"Settings/Name", "String", "tab\there \"q\" \xC3\xA9"},
      {"Settings/Ratio", "Double", "0.25"},  {"Settings/Big", "int64", "-9223372036854775808"},
      {"Settings/Blob", "H", "00ff10"},      {"Flag", "Boolean", "true"},
      {"A\\/B/x", "I", "1"},                 {"Settings/Count", "I", "7"},
  };
  for (const auto& s : sets) {
    Result r = RunOptions({"set", file, s[0], s[1], s[2]});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
  }
  Result r = RunOptions({"dump", file});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "node\t/\n"
            "prop\t/flag\tBoolean\tTrue\n"
            "node\t/a\\/b\n"
            "prop\t/a\\/b/x\tInteger\t1\n"
            "node\t/settings\n"
            "prop\t/settings/big\tInt64\t-9223372036854775808\n"
            "prop\t/settings/blob\tBinary\t00FF10\n"
            "prop\t/settings/count\tInteger\t7\n"
            "prop\t/settings/name\tString\t\"tab\\there \\\"q\\\" \xC3\xA9\"\n"
            "prop\t/settings/ratio\tDouble\t0.25\n");
  EXPECT_NE(ReadFileBytes(file).find("<Prp name=\"count\" type=\"I\" value=\"7\"/>"), std::string::npos);
}

// A Binary value stored packed is shown as such, and a new value set through the command is
// packed again.
TEST_F(OptionsCommand, PackedBinaryValuesStayPacked) {
  {
    StartOptionsNamePool();
    auto builder = CreateOptionsBuilder();
    builder->SetReader(CreateOptionsXmlReader(Utf8ToWide(file), true).Get());
    ComPtr<IcvOptionsProperties> props;
    SafeCallCheck(builder->GetRoot()->GetProperties(props.Put()));
    const std::uint8_t bytes[] = {1, 2, 3};
    SafeCallCheck(props->SetBinary(u"Packed", bytes, 3, WordTrue));
    builder->Save();
    builder = nullptr;
    props = nullptr;
    StopOptionsNamePool();
  }
  Result r = RunOptions({"dump", file});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "node\t/\nprop\t/packed\tBinary\t010203\tcompressed\n");
  ASSERT_EQ(RunOptions({"set", file, "packed", "Binary", "0405"}).code, 0);
  r = RunOptions({"dump", file});
  EXPECT_EQ(r.out, "node\t/\nprop\t/packed\tBinary\t0405\tcompressed\n");
  // "cvbin" leads the stored bytes.
  EXPECT_NE(ReadFileBytes(file).find("type=\"H\" value=\"637662696E"), std::string::npos);
}

TEST_F(OptionsCommand, BadArgumentsAndBadFilesFailClearly) {
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* message;
  };
  const std::string missing = dir + "/missing.xml";
  const Case cases[] = {
      {{}, 2, "usage:"},
      {{"dump"}, 2, "usage:"},
      {{"frobnicate", file}, 2, "usage:"},
      {{"set", file, "p", "Integer", "abc"}, 2, "'abc' is not a valid Integer value"},
      {{"set", file, "p", "Float", "1"}, 2, "unknown type Float"},
      {{"set", file, "a//p", "I", "1"}, 2, "has an empty name in it"},
      {{"set", file, "p", "Binary", "ABC"}, 2, "two hexadecimal digits per byte"},
      {{"dump", missing}, 1, "No such file or directory"},
  };
  for (const Case& c : cases) {
    Result r = RunOptions(c.args);
    EXPECT_EQ(r.code, c.code);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(file));

  // A file that does not read is reported and left as it is.
  const std::string bad = "<Nodes version=\"1\">\n<Node name=\"root\"><Prp name=\"p\" type=\"Q\" value=\"1\"/>";
  std::ofstream(file, std::ios::binary) << bad;
  Result dump = RunOptions({"dump", file});
  EXPECT_EQ(dump.code, 1);
  EXPECT_NE(dump.err.find("line 2: unknown property type 'Q'"), std::string::npos) << dump.err;
  Result set = RunOptions({"set", file, "p", "I", "1"});
  EXPECT_EQ(set.code, 1);
  EXPECT_NE(set.err.find("could not be read"), std::string::npos) << set.err;
  EXPECT_EQ(ReadFileBytes(file), bad);
}

TEST_F(OptionsCommand, PwhostRunsTheCommands) {
  const std::string pwhost = test::HostDir() + "/pwhost";
  const std::string set = "'" + pwhost + "' options set '" + file + "' Top/Value String 'x y' 2>&1";
  ASSERT_EQ(std::system(set.c_str()), 0);
  std::FILE* p = ::popen(("'" + pwhost + "' options dump '" + file + "'").c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[256];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  EXPECT_EQ(WEXITSTATUS(::pclose(p)), 0);
  EXPECT_EQ(out, "node\t/\nnode\t/top\nprop\t/top/value\tString\t\"x y\"\n");
  EXPECT_NE(std::system(("'" + pwhost + "' options dump >/dev/null 2>&1").c_str()), 0);
}

}  // namespace
}  // namespace pw::host
