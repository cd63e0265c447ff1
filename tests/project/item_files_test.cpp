// Item files apart from nodes: format recognition by the file's tail, the change snapshot and its
// comparison, the CRC of a file, the data-version rule.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

#include "core/files/crc32.h"
#include "project/storage/item_files.h"
#include "tests/support/scratch_dir.h"

namespace pw::test {
namespace {

using project::CheckVersionText;
using project::FileCRC32;
using project::IsProjectItemFileFormat;
using project::ReadFileSnapshot;
using project::SnapshotsEqual;

const std::string kSignatureLine =
    "<Prp name=\"signature\" type=\"S\" value=\"{E96AEE9E-8FE9-4ADA-BDAB-53AEE029022E}\"/>";
const std::string kVersionLine = "<Prp name=\"version\" type=\"S\" value=\"9.0\"/>";

void SetTimes(const std::string& path, long seconds) {
  struct timeval times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimes(path.c_str(), times), 0);
}

TEST(ItemFileFormat, RecognisesOnlyTheTail) {
  ScratchDir dir;
  struct Case {
    const char* what;
    std::string content;
    bool expected;
  } cases[] = {
      {"a short file is read whole", kSignatureLine + "\r\n" + kVersionLine, true},
      {"the signature more than 180 bytes before the end", kSignatureLine + std::string(200, ' ') + kVersionLine,
       false},
      {"both within the last 180 bytes of a long file", std::string(5000, 'x') + kSignatureLine + kVersionLine, true},
      {"no version", kSignatureLine, false},
      {"a signature that is no GUID text", "<Prp name=\"signature\" type=\"S\" value=\"x\"/>" + kVersionLine, false},
      {"other letter case", "<Prp name=\"Signature\" type=\"S\" value=\"{\"/>" + kVersionLine, false},
      {"empty", "", false},
  };
  int n = 0;
  for (const auto& c : cases) {
    std::string name = dir.Utf8File("f" + std::to_string(n++) + ".pwi");
    WriteFileBytes(name, c.content);
    EXPECT_EQ(IsProjectItemFileFormat(Utf8ToWide(name)), c.expected) << c.what;
  }
  EXPECT_FALSE(IsProjectItemFileFormat(dir.File("missing.pwi")));
  EXPECT_FALSE(IsProjectItemFileFormat(dir.Wide()));
}

TEST(ItemFileSnapshot, CrcOfFiles) {
  ScratchDir dir;
  WriteFileBytes(dir.Utf8File("check"), "123456789");
  EXPECT_EQ(FileCRC32(dir.File("check")), 0xCBF43926u);
  WriteFileBytes(dir.Utf8File("empty"), "");
  EXPECT_EQ(FileCRC32(dir.File("empty")), 0u);
  EXPECT_EQ(FileCRC32(dir.File("missing")), 0xFFFFFFFFu);
  // Longer than one read block.
  std::string big(3 * 1024 * 1024 + 17, 'a');
  WriteFileBytes(dir.Utf8File("big"), big);
  std::uint32_t crc = 0;
  Crc32Init(crc);
  crc = ~Crc32Update(crc, big.data(), static_cast<std::int32_t>(big.size()));
  EXPECT_EQ(FileCRC32(dir.File("big")), crc);
}

TEST(ItemFileSnapshot, ReadOnceForDataAndSnapshot) {
  ScratchDir dir;
  const std::string contents[] = {"123456789", "", std::string(70000, 'b') + "end"};
  int n = 0;
  for (const auto& content : contents) {
    const std::string name = dir.Utf8File("r" + std::to_string(n++));
    WriteFileBytes(name, content);
    std::string bytes = "stale";
    project::TFileSnapshot snapshot;
    ASSERT_TRUE(project::ReadFileWithSnapshot(Utf8ToWide(name), bytes, snapshot)) << name;
    EXPECT_EQ(bytes, content);
    const auto separate = ReadFileSnapshot(Utf8ToWide(name));
    EXPECT_EQ(snapshot.crc, separate.crc);
    EXPECT_EQ(snapshot.sizeLow, separate.sizeLow);
    EXPECT_EQ(snapshot.writeTime, separate.writeTime);
    EXPECT_EQ(snapshot.creationTime, separate.creationTime);
    EXPECT_TRUE(SnapshotsEqual(snapshot, separate));
  }
  // A missing file or a folder reads nothing and changes nothing.
  std::string bytes = "kept";
  project::TFileSnapshot snapshot;
  snapshot.crc = 7;
  EXPECT_FALSE(project::ReadFileWithSnapshot(dir.File("missing"), bytes, snapshot));
  EXPECT_FALSE(project::ReadFileWithSnapshot(dir.Wide(), bytes, snapshot));
  EXPECT_EQ(bytes, "kept");
  EXPECT_EQ(snapshot.crc, 7u);
}

TEST(ItemFileSnapshot, Decisions) {
  ScratchDir dir;
  const std::string a = dir.Utf8File("a.pwi"), e = dir.Utf8File("e.pwi");
  // Missing files: all zeros, equal.
  EXPECT_TRUE(SnapshotsEqual(ReadFileSnapshot(dir.File("x")), ReadFileSnapshot(dir.File("y"))));
  EXPECT_EQ(ReadFileSnapshot(dir.File("x")).writeTime, 0);

  WriteFileBytes(a, "content");
  SetTimes(a, 1000);
  auto before = ReadFileSnapshot(Utf8ToWide(a));
  EXPECT_EQ(before.sizeLow, 7u);
  EXPECT_EQ(before.writeTime, 1000LL * 1000000000);
  // The same content with new times is unchanged.
  WriteFileBytes(a, "content");
  SetTimes(a, 2000);
  EXPECT_TRUE(SnapshotsEqual(before, ReadFileSnapshot(Utf8ToWide(a))));
  // Other content is a change.
  WriteFileBytes(a, "CONTENT");
  SetTimes(a, 1000);
  EXPECT_FALSE(SnapshotsEqual(before, ReadFileSnapshot(Utf8ToWide(a))));

  // An empty file has CRC 0: its times decide.
  WriteFileBytes(e, "");
  SetTimes(e, 1000);
  auto empty = ReadFileSnapshot(Utf8ToWide(e));
  EXPECT_EQ(empty.crc, 0u);
  EXPECT_TRUE(SnapshotsEqual(empty, ReadFileSnapshot(Utf8ToWide(e))));
  SetTimes(e, 3000);
  EXPECT_FALSE(SnapshotsEqual(empty, ReadFileSnapshot(Utf8ToWide(e))));
  // A file that appeared where there was none.
  EXPECT_FALSE(SnapshotsEqual(ReadFileSnapshot(dir.File("x")), empty));
}

TEST(ItemFileVersion, NumbersCompare) {
  struct Case {
    const char16_t* stored;
    std::int32_t expected;
  } cases[] = {
      {u"10.0", 0}, {u"10.00", 0}, {u"11.0", 106}, {u"10.1", 106}, {u"8.0", 0},
      {u"4.0", 0},  {u"9.0", 0},   {u"3.0", 105},  {u"8.5", 105},  {u"8", 105},
      {u"", 105},   {u"abc", 105}, {u"10.", 105},  {u".5", 105},   {u"99999999999999.0", 105},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckVersionText(c.stored, u"10.0"), c.expected) << WideToUtf8(c.stored);
  // As text "8.0" sorts above "10.0"; as numbers it is older and passes.
  EXPECT_EQ(CheckVersionText(u"8.0", u"10.0"), 0);
  EXPECT_EQ(CheckVersionText(u"10.0", u"9.0"), 106);
}

}  // namespace
}  // namespace pw::test
