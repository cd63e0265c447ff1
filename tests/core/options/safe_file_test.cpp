// The safe-file writer and the update lock: what a replaced file keeps, what is visible on the
// way, and what is left beside the file afterwards.
#include "core/options/safe_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "tests/support/scratch_dir.h"

namespace pw {
namespace {

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// The copy of a private file is never readable by others on its way to replace it; the
// replaced file keeps the old permissions, and a new file gets the process's.
TEST(SafeFileWriter, TheCopyOfAnExistingFileIsPrivateUntilItReplacesIt) {
  test::ScratchDir dir;
  const std::string target = dir.Utf8File("private.xml");
  test::WriteFileBytes(target, "old");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  {
    TcvSafeFileWriter writer(target);
    writer.Write("new");
    EXPECT_EQ(ModeOf(writer.TempName()) & 077, 0u);
    writer.Commit();
  }
  EXPECT_EQ(ModeOf(target), 0640u);
  EXPECT_EQ(test::ReadFileBytes(target), "new");

  const mode_t mask = ::umask(022);
  ::umask(mask);
  const std::string fresh = dir.Utf8File("fresh.xml");
  {
    TcvSafeFileWriter writer(fresh);
    writer.Write("x");
    writer.Commit();
  }
  EXPECT_EQ(ModeOf(fresh), 0666u & ~mask);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"fresh.xml", "private.xml"}));
}

// The lock file exists while the lock is held and goes with it, also when the file it guards
// was never made; a second lock after the first finds no file of the first's left over.
TEST(FileUpdateLock, TheLockFileGoesWithTheLock) {
  test::ScratchDir dir;
  const std::string target = dir.Utf8File("item.xml");
  for (int round = 0; round < 2; ++round) {
    TcvFileUpdateLock lock(target);
    EXPECT_TRUE(lock.Held());
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{".item.xml.lock"});
  }
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{});
  // Where no lock file can be made, no lock is held and nothing is made.
  TcvFileUpdateLock none(dir.Utf8File("no folder/item.xml"));
  EXPECT_FALSE(none.Held());
}

}  // namespace
}  // namespace pw
