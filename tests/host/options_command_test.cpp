#include "tools/pwhost/options_command.h"
#include "core/options/options_binary.h"
#include "core/options/options_name_pool.h"
#include "core/options/options_tree.h"
#include "core/options/options_xml_storage.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/test_process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace pw::host {
namespace {

using Result = test::CapturedRun;

// Runs the command in this process, collecting what it prints.
Result RunOptions(std::vector<std::string> args) {
  return test::CaptureRun([&](std::FILE* out, std::FILE* err) { return RunOptionsCommand(args, out, err); });
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

// A set of another property carries packed values over without unpacking them: their stored
// bytes survive byte for byte, and a value that could not be unpacked (over the cap, damaged)
// does not stop the set. Dump, which shows the values, refuses the file clearly.
TEST_F(OptionsCommand, SetCarriesUntouchedPackedValuesOverUnopened) {
  std::vector<std::uint8_t> zeros(kMaxUnpackedBinarySize + 1);
  std::vector<std::uint8_t> over = PackBinaryValue(zeros.data(), zeros.size());
  zeros = {};
  std::vector<std::uint8_t> padded = PackBinaryValue("a packed value", 14);
  padded[5] = padded[6] = padded[7] = 0xAA;  // another writer's padding: packing again differs
  {
    StartOptionsNamePool();
    ComPtr<IcvOptionsReader> storage = CreateOptionsXmlReader(Utf8ToWide(file), true);
    storage->BeginUpdate();
    const TcvCookie node = storage->AddNode(storage->GetRoot(), u"data");
    for (auto [name, block] : {std::pair{u"big", &over}, {u"padded", &padded}}) {
      const TcvCookie p = storage->AddProperty(node, name, ptBinary);
      storage->SetBinary(p, block->data(), static_cast<std::int32_t>(block->size()));
    }
    storage->EndUpdate();
    storage = nullptr;
    StopOptionsNamePool();
  }
  auto attribute = [&](const char* name) {
    const std::string bytes = ReadFileBytes(file);
    const std::size_t at = bytes.find(std::string("<Prp name=\"") + name + "\"");
    return at == std::string::npos ? std::string() : bytes.substr(at, bytes.find("/>", at) - at);
  };
  const std::string big = attribute("big"), small = attribute("padded");
  ASSERT_GT(big.size(), 100000u);
  ASSERT_FALSE(small.empty());
  for (const auto& set : std::vector<std::vector<std::string>>{{"set", file, "data/count", "Integer", "1"},
                                                               {"set", file, "data/count", "Integer", "2"},
                                                               {"set", file, "other/name", "String", "x"}}) {
    Result r = RunOptions(set);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(attribute("big"), big);
    EXPECT_EQ(attribute("padded"), small);
  }
  EXPECT_NE(ReadFileBytes(file).find("<Prp name=\"count\" type=\"I\" value=\"2\"/>"), std::string::npos);
  Result r = RunOptions({"dump", file});
  EXPECT_NE(r.code, 0);
  EXPECT_NE(r.err.find("The packed value of the 'big' Binary property is too long"), std::string::npos) << r.err;
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

// Values the command line cannot mean are refused (exit 2) instead of wrapping or guessing,
// and nothing is written for them.
TEST_F(OptionsCommand, OutOfRangeAndMalformedValuesAreRefused) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Int64", "-0x8000000000000001"}, {"Int64", "9223372036854775808"}, {"Int64", "0x1FFFFFFFFFFFFFFFF"},
      {"Integer", "-$FFFFFFFF"},        {"Integer", "2147483648"},         {"Integer", "$100000000"},
      {"Integer", " 5"},                {"Boolean", "NaN"},                 {"Boolean", "yes"},
      {"String", std::string("bad\xFF", 4)},
  };
  for (const auto& [type, value] : cases) {
    Result r = RunOptions({"set", file, "p", type, value});
    EXPECT_EQ(r.code, 2) << type << " " << value;
    EXPECT_FALSE(r.err.empty());
  }
  Result badName = RunOptions({"set", file, std::string("n\xC0/p", 5), "I", "1"});
  EXPECT_EQ(badName.code, 2);
  EXPECT_NE(badName.err.find("not valid UTF-8"), std::string::npos) << badName.err;
  EXPECT_TRUE(scratch.Entries().empty());

  // The edges of each range, and bit patterns in hexadecimal, are taken.
  const std::vector<std::vector<std::string>> taken = {
      {"a", "Int64", "-9223372036854775808"}, {"b", "Int64", "-0x8000000000000000"}, {"c", "Integer", "$FFFFFFFF"},
      {"d", "Integer", "-2147483648"},        {"e", "Boolean", "0"},                  {"f", "Boolean", "TRUE"},
      {"g", "Int64", "0xFFFFFFFFFFFFFFFF"},
  };
  for (const auto& t : taken) ASSERT_EQ(RunOptions({"set", file, t[0], t[1], t[2]}).code, 0) << t[2];
  EXPECT_EQ(RunOptions({"dump", file}).out,
            "node\t/\nprop\t/a\tInt64\t-9223372036854775808\nprop\t/b\tInt64\t-9223372036854775808\n"
            "prop\t/c\tInteger\t-1\nprop\t/d\tInteger\t-2147483648\nprop\t/e\tBoolean\tFalse\n"
            "prop\t/f\tBoolean\tTrue\nprop\t/g\tInt64\t-1\n");
}

// What a hostile file system puts in the way: a failed set leaves no file, a dangling link
// gets its target created, FIFOs and hard-linked files are refused at once, a path deeper
// than a file may nest is refused before anything is built.
TEST_F(OptionsCommand, HostileTargetsAreRefusedWithoutDamage) {
  const std::string missingFolder = dir + "/no folder/x.xml";
  Result r = RunOptions({"set", missingFolder, "p", "I", "1"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;

  // A failed save of a missing file leaves nothing behind: here a name XML cannot store.
  r = RunOptions({"set", file, "p", "String", std::string("a\x01", 2)});
  EXPECT_EQ(r.code, 1) << r.err;
  EXPECT_EQ(scratch.Entries(), std::vector<std::string>{});  // neither the file nor its lock file

  const std::string link = dir + "/link.xml", target = dir + "/made-by-set.xml";
  std::filesystem::create_symlink("made-by-set.xml", link);
  r = RunOptions({"set", link, "p", "I", "7"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_NE(ReadFileBytes(target).find("name=\"p\" type=\"I\" value=\"7\""), std::string::npos);

  const std::string fifo = dir + "/pipe.xml";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const auto& args : std::vector<std::vector<std::string>>{{"dump", fifo}, {"set", fifo, "p", "I", "1"}}) {
    r = RunOptions(args);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("it is not a regular file"), std::string::npos) << r.err;
  }

  const std::string linked = dir + "/second-name.xml";
  std::filesystem::create_hard_link(target, linked);
  const std::string before = ReadFileBytes(target);
  r = RunOptions({"set", target, "p", "I", "8"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("hard links"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFileBytes(target), before);

  std::string deep;
  for (int i = 0; i < 20000; ++i) deep += "n/";
  r = RunOptions({"set", file, deep + "p", "I", "1"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("nested more than 1000 levels deep"), std::string::npos) << r.err;
  r = RunOptions({"set", file, std::string(300, 'x'), "I", "1"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("longer than 255 characters"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_EQ(scratch.Entries(),
            (std::vector<std::string>{"link.xml", "made-by-set.xml", "pipe.xml", "second-name.xml"}));
}

// A save changes nothing of the file but its content: another user's file keeps its owner,
// group and permissions. A process that may not give files away (here another user who may
// write the file and its folder) fails the save saying why, and the old file stays as it was.
TEST_F(OptionsCommand, ASaveKeepsOwnerGroupAndPermissionsOrFails) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another owner takes root";
  constexpr uid_t kOtherUser = 65534;
  constexpr gid_t kOtherGroup = 65534;
  ASSERT_EQ(RunOptions({"set", file, "p", "I", "1"}).code, 0);
  ASSERT_EQ(::chown(file.c_str(), kOtherUser, kOtherGroup), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  Result r = RunOptions({"set", file, "p", "I", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kOtherUser);
  EXPECT_EQ(st.st_gid, kOtherGroup);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_NE(ReadFileBytes(file).find("name=\"p\" type=\"I\" value=\"2\""), std::string::npos);

  ASSERT_EQ(::chown(file.c_str(), 0, 0), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
  const std::string before = ReadFileBytes(file);
  const std::vector<std::string> entries = scratch.Entries();
  int status = -1;
  const std::string out =
      test::RunCommand("setpriv --reuid=" + std::to_string(kOtherUser) + " --regid=" + std::to_string(kOtherGroup) +
                           " --clear-groups '" + test::HostDir() + "/pwhost' options set '" + file + "' p I 3",
                       status);
  EXPECT_EQ(status, 1) << out;
  EXPECT_NE(out.find("Its owner and group cannot be kept (Operation not permitted), so it is left as it was."),
            std::string::npos)
      << out;
  EXPECT_EQ(ReadFileBytes(file), before);
  EXPECT_EQ(scratch.Entries(), entries);  // no temporary file left behind
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
}

// Several processes setting different properties of one file at once lose none of them.
TEST_F(OptionsCommand, ConcurrentSetsOfOneFileLoseNothing) {
  constexpr int kWriters = 4, kUpdates = 25;
  // Separate pwhost processes, as users start them: each writer its own loop in the background.
  std::string script;
  for (int w = 0; w < kWriters; ++w)
    script += "(for u in $(seq 0 " + std::to_string(kUpdates - 1) + "); do '" + test::HostDir() +
              "/pwhost' options set '" + file + "' w" + std::to_string(w) + "/u$u I $u || exit 1; done) & ";
  script += "fail=0; for j in $(jobs -p); do wait $j || fail=1; done; exit $fail";
  int code = -1;
  std::ofstream(dir + "/writers.sh") << script << "\n";
  const std::string output = test::RunCommand("bash '" + dir + "/writers.sh'", code);
  EXPECT_EQ(code, 0) << output;
  const std::string out = RunOptions({"dump", file}).out;
  int properties = 0;
  for (std::size_t at = 0; (at = out.find("prop\t", at)) != std::string::npos; ++at) ++properties;
  EXPECT_EQ(properties, kWriters * kUpdates) << out;
  // The lock files went with their locks.
  EXPECT_EQ(scratch.Entries(), (std::vector<std::string>{"item.xml", "writers.sh"}));
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
