#include "platform/rtl/rtl_stream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/rtl/strings.h"
#include "tests/support/scratch_dir.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

using test::ReadFileBytes;
using test::ScratchDir;
using test::WriteFileBytes;

TEST(MemoryStream, ReadsWritesSeeksAndFillsGapsWithZeros) {
  TMemoryStream s;
  s.WriteBuffer("abc", 3);
  EXPECT_EQ(s.Position(), 3);
  EXPECT_EQ(s.Seek(5, soCurrent), 8);
  s.WriteBuffer("z", 1);
  ASSERT_EQ(s.Size(), 9);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), 9), std::string("abc\0\0\0\0\0z", 9));

  EXPECT_EQ(s.Seek(-2, soEnd), 7);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 2);  // only what is there
  EXPECT_EQ(s.Read(buf, 8), 0);
  EXPECT_THROW(s.Seek(-1, soBeginning), EStreamError);
  EXPECT_EQ(s.Seek(4, static_cast<TSeekOrigin>(7)), 9);  // unknown origin: position kept

  s.SetPosition(2);
  s.SetSize(1);  // position beyond the new end moves back to it
  EXPECT_EQ(s.Position(), 1);
  s.SetSize(4);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), 4), std::string("a\0\0\0", 4));
  EXPECT_EQ(s.Position(), 1);
}

TEST(Stream, ReadBufferAndWriteBufferRaiseOnShortTransfers) {
  TMemoryStream s;
  s.WriteBuffer("abc", 3);
  s.SetPosition(0);
  char buf[4];
  try {
    s.ReadBuffer(buf, 4);
    FAIL() << "no exception";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), u"Stream read error");
  }
  // A stream that takes nothing.
  struct Refusing : TMemoryStream {
    std::int32_t Write(const void*, std::int32_t) override { return 0; }
  } refusing;
  EXPECT_THROW(refusing.WriteBuffer("x", 1), EWriteError);
  refusing.WriteBuffer("x", 0);  // nothing to move is no error
}

TEST(FileStream, CreateTruncatesAndOpenModesGiveTheirAccess) {
  ScratchDir dir;
  const WideString name = dir.File("data.bin");
  WriteFileBytes(name, "old contents");
  {
    TFileStream s(name, fmCreate);
    EXPECT_EQ(s.Size(), 0);
    s.WriteBuffer("hello world", 11);
    s.SetPosition(6);
    char buf[5];
    s.ReadBuffer(buf, 5);
    EXPECT_EQ(std::string(buf, 5), "world");
  }
  EXPECT_EQ(ReadFileBytes(name), "hello world");
  {
    // Share bits are accepted (POSIX has no share modes).
    TFileStream s(name, fmOpenWrite | fmShareDenyNone);
    s.SetSize(5);
    EXPECT_EQ(s.Position(), 5);  // as handle streams do: the position goes to the new end
    s.WriteBuffer("!", 1);
  }
  EXPECT_EQ(ReadFileBytes(name), "hello!");
  {
    TFileStream s(name, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(s.Seek(-1, soEnd), 5);
    char c = 0;
    EXPECT_EQ(s.Read(&c, 1), 1);
    EXPECT_EQ(c, '!');
    EXPECT_THROW(s.WriteBuffer("x", 1), EWriteError);  // read-only
  }
  {
    TFileStream s(name, fmOpenReadWrite);
    s.Seek(0, soEnd);
    s.WriteBuffer("?", 1);
  }
  EXPECT_EQ(ReadFileBytes(name), "hello!?");
}

TEST(FileStream, FailuresNameTheFileAndTheReason) {
  ScratchDir dir;
  struct Case {
    const char* what;
    WideString name;
    std::uint16_t mode;
    bool create;
    int code;
  };
  const Case cases[] = {
      {"missing file", dir.File("missing.txt"), fmOpenRead, false, ENOENT},
      {"missing folder", dir.File("no/such/file.txt"), fmCreate, true, ENOENT},
      {"folder opened as a file", Utf8ToWide(dir.Path().string()), fmOpenRead, false, EISDIR},
      {"folder created as a file", Utf8ToWide(dir.Path().string()), fmCreate, true, EISDIR},
      {"no access mode", dir.File("x"), 3, false, EINVAL},
      {"name with a zero", dir.File("a") + WideString(1, u'\0') + u"b", fmCreate, true, EINVAL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      TFileStream s(c.name, c.mode);
      ADD_FAILURE() << "opened";
    } catch (const EFileStreamError& e) {
      EXPECT_EQ(c.create, dynamic_cast<const EFCreateError*>(&e) != nullptr);
      EXPECT_EQ(!c.create, dynamic_cast<const EFOpenError*>(&e) != nullptr);
      EXPECT_EQ(e.ErrorCode(), static_cast<DWORD>(c.code));
      const WideString expected = (c.create ? u"Cannot create file \"" : u"Cannot open file \"") + c.name + u"\". ";
      EXPECT_TRUE(e.Message().starts_with(expected)) << e.what();
      EXPECT_GT(e.Message().size(), expected.size());  // the system's reason follows
    }
  }
  EXPECT_FALSE(fs::exists(dir.Path() / "a"));
}

TEST(FileStream, NegativePositionsAndSizesRaise) {
  ScratchDir dir;
  TFileStream s(dir.File("f"), fmCreate);
  EXPECT_THROW(s.Seek(-1, soBeginning), EStreamError);
  EXPECT_THROW(s.SetSize(-1), EStreamError);
  EXPECT_EQ(s.Position(), 0);
}

}  // namespace
}  // namespace pw
