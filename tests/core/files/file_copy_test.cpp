#include "core/files/file_copy.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "tests/support/scratch_dir.h"

namespace pw {
namespace {

TEST(WideCopyFile, CopiesAndHonoursFailIfExists) {
  test::ScratchDir dir;
  const WideString source = dir.File("source.txt"), target = dir.File("target.txt");
  test::WriteFileBytes(source, std::string("one\0two", 7));

  EXPECT_TRUE(WideCopyFile(source, target, true));
  EXPECT_EQ(test::ReadFileBytes(target), std::string("one\0two", 7));

  test::WriteFileBytes(target, "keep");
  errno = 0;
  EXPECT_FALSE(WideCopyFile(source, target, true));
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(test::ReadFileBytes(target), "keep");

  EXPECT_TRUE(WideCopyFile(source, target, false));
  EXPECT_EQ(test::ReadFileBytes(target), std::string("one\0two", 7));

  errno = 0;
  EXPECT_FALSE(WideCopyFile(dir.File("missing"), dir.File("other"), false));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(WideCopyFile(source, source, false));  // a file is not copied onto itself
  EXPECT_EQ(test::ReadFileBytes(source), std::string("one\0two", 7));
  // A zero character would cut the target's name short and replace the source.
  test::WriteFileBytes(target, "other");
  errno = 0;
  EXPECT_FALSE(WideCopyFile(target, source + WideString(u"\0.bak", 5), false));
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(test::ReadFileBytes(source), std::string("one\0two", 7));
}

}  // namespace
}  // namespace pw
