#include "core/files/file_utils.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "tests/support/scratch_dir.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

std::string U8(WideStringView s) { return WideToUtf8(s); }

WideString Cwd() { return Utf8ToWide(fs::current_path().string()); }

WideString HostFolder() { return Utf8ToWide(fs::read_symlink("/proc/self/exe").parent_path().string()); }

// Sets an environment variable for the life of a scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(FileNameChecks, ValidFileNames) {
  struct Case {
    const char16_t* name;
    bool valid;
  };
  const Case cases[] = {
      {u"a b.txt", true}, {u"..a", true},    {u" . ", false}, {u"..", false},  {u".", false},
      {u"", false},       {u"a|b", false},   {u"a\tb", false}, {u"a/b", false}, {u"a\\b", false},
      {u"a:b", false},    {u"a*", false},    {u"a?", false},  {u"<a>", false}, {u"\"a\"", false},
      {u"\u00E9t\u00E9.txt", true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidFileName(c.name), c.valid) << U8(c.name);
  EXPECT_TRUE(HasInvalidChar(u"ab\x1F", u""));
  EXPECT_FALSE(HasInvalidChar(u"ab ", u"x"));
  EXPECT_TRUE(HasInvalidChar(u"abx", u"x"));
}

TEST(FileNameChecks, ValidPathNames) {
  test::ScratchDir dir;
  fs::create_directory(dir.Path() / "ends with space ");
  WideString longest;
  while (longest.size() < 260) longest += u"/abcdefghi";  // 26 names of 9 letters
  ASSERT_EQ(longest.size(), 260u);

  struct Case {
    WideString path;
    bool valid;
  };
  const Case cases[] = {
      {u"/", true},
      {longest, true},
      {longest + u"x", false},
      {u"", false},
      {u"/tmp/a*b/c", false},
      {u"/a:b/c", false},
      {u"/a/b\x01/c", false},
      {dir.Wide() + u"/missing /x", false},  // a folder that does not exist must not end with a space
      {dir.Wide() + u"/ends with space /x", true},
      {dir.Wide() + u"/missing/deeper/", true},
      {u"/no-such-root/sub folder/", true},
      {u"/a", true},
      {u"/ ", false},  // a missing folder in the root that ends with a space
      // Relative names stand on the current folder: one whose first folder does not exist is
      // not a valid (fully qualified) path, however short that first name is.
      {u"no-such-folder/x", false},
      {u"ab/x", false},
      {u"a", false},
      {u".", true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidPathName(c.path), c.valid) << U8(c.path);
}

TEST(FileNameChecks, NoUncNamesAndParentRelativeNames) {
  EXPECT_FALSE(IsUNCPath(u"//server/share/x"));
  EXPECT_FALSE(IsUNCPath(u"\\\\server\\share"));
  for (const char16_t* yes : {u"../x", u"..", u"..x"}) EXPECT_TRUE(IsParentRelative(yes)) << U8(yes);
  for (const char16_t* no : {u".", u"/x", u"x/..", u"", u"./x"}) EXPECT_FALSE(IsParentRelative(no)) << U8(no);
}

TEST(FileNameChecks, SystemFolderFiles) {
  EXPECT_TRUE(IsSystemFolderFile(u"/usr/bin/ls"));
  EXPECT_TRUE(IsSystemFolderFile(u"/bin/sh"));
  EXPECT_TRUE(IsSystemFolderFile(HostFolder() + u"/helper.so"));
  EXPECT_FALSE(IsSystemFolderFile(u"/usr/bin/sub/x"));
  EXPECT_FALSE(IsSystemFolderFile(u"/usr/lib/x"));
  EXPECT_FALSE(IsSystemFolderFile(u"/USR/BIN/ls"));  // names compare exactly
  EXPECT_FALSE(IsSystemFolderFile(u"ls"));
}

TEST(FileNameChecks, LocalDrives) {
  test::ScratchDir dir;
  EXPECT_FALSE(IsLocalDrive(u""));
  EXPECT_FALSE(IsLocalDrive(u"   "));
  EXPECT_TRUE(IsLocalDrive(dir.Wide()));
  EXPECT_TRUE(IsLocalDrive(dir.Wide() + u"/not/there/yet.txt"));  // the nearest folder that exists
  EXPECT_TRUE(IsLocalDrive(u"/a/b/x.txt"));
}

TEST(FileNameTransforms, TrailingDelimitersAndParts) {
  EXPECT_EQ(WideIncludeTrailingBackslash(u"   "), u"");
  EXPECT_EQ(WideIncludeTrailingBackslash(u""), u"");
  EXPECT_EQ(WideIncludeTrailingBackslash(u"/a/"), u"/a/");
  EXPECT_EQ(WideIncludeTrailingBackslash(u"/a"), u"/a/");
  EXPECT_EQ(RemoveTrailingDelimiter(u"/a/"), u"/a");
  EXPECT_EQ(RemoveTrailingDelimiter(u"a//"), u"a/");
  EXPECT_EQ(RemoveTrailingDelimiter(u"/"), u"");
  EXPECT_EQ(RemoveTrailingDelimiter(u"a"), u"a");
  EXPECT_EQ(WideExtractFilePath(u"/a/b/x.txt"), u"/a/b/");
  EXPECT_EQ(WideExtractFilePath(u"x.txt"), u"");
  EXPECT_EQ(WideExtractFileName(u"/a/b/x.txt"), u"x.txt");
  EXPECT_EQ(WideExtractFileName(u"/a/b/"), u"");
  EXPECT_EQ(ExtractPathWithoutDrive(u"/a/b/x.txt"), u"/a/b/");
  EXPECT_EQ(SplitPathParts(u"/a/b/"), (std::vector<WideString>{u"a", u"b"}));
  EXPECT_EQ(SplitPathParts(u"/a/b/x.txt"), (std::vector<WideString>{u"a", u"b"}));
  EXPECT_TRUE(SplitPathParts(u"/").empty());
  EXPECT_TRUE(SplitPathParts(u"").empty());
}

TEST(FileNameTransforms, ExpansionResolvesNamesWithoutTouchingTheDisk) {
  struct Case {
    const char16_t* name;
    const char16_t* expanded;
  };
  const Case cases[] = {
      {u"/a/./b//c/../d", u"/a/b/d"}, {u"/a/b/", u"/a/b/"}, {u"/..", u"/"},     {u"/a/b/..", u"/a"},
      {u"/a/b/.", u"/a/b"},           {u"", u""},           {u"//x", u"/x"},    {u"/", u"/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WideExpandFileName(c.name), c.expanded) << U8(c.name);
    EXPECT_EQ(GetLongPath(c.name), c.expanded) << U8(c.name);
    EXPECT_EQ(GetUniversalName(c.name), c.expanded) << U8(c.name);
    EXPECT_EQ(WideExpandUNCFileName(c.name), c.expanded) << U8(c.name);
  }
  EXPECT_EQ(WideExpandFileName(u"x/../y/z"), Cwd() + u"/y/z");
}

TEST(FileNameTransforms, RelativePaths) {
  struct Case {
    const char16_t* base;
    WideString dest;
    bool skipSystemFolders;
    WideString expected;
  };
  const Case cases[] = {
      {u"/a/b/x.txt", u"/a/c/y.txt", false, u"../c/y.txt"},
      {u"/a/b/x.txt", u"/y.txt", false, u"/y.txt"},      // in the root while the base is not
      {u"/a/b/x.txt", u"/q/y.txt", false, u"/q/y.txt"},  // no folder in common: from the root
      {u"/a/b/x.txt", u"/a/b/y.txt", false, u"y.txt"},
      {u"/a/b/x.txt", u"/a/b/c/d/y.txt", false, u"c/d/y.txt"},
      {u"/a/b/c/x.txt", u"/a/y.txt", false, u"../../y.txt"},
      {u"/x.txt", u"/y.txt", false, u"y.txt"},
      {u"/x.txt", u"/q/y.txt", false, u"q/y.txt"},
      {u"/a/B/x.txt", u"/a/b/y.txt", false, u"../b/y.txt"},  // names compare exactly
      {u"/a/b/x.txt", u"/a/./c/../b/y.txt", false, u"y.txt"},
      {u"/a/b/x.txt", u"/usr/bin/tool", true, u"tool"},
      {u"/a/b/x.txt", u"/usr/bin/tool", false, u"/usr/bin/tool"},
      {u"/a/b/x.txt", HostFolder() + u"/helper.so", true, u"helper.so"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(WideExtractRelativePath(c.base, c.dest, c.skipSystemFolders), c.expected)
        << U8(c.base) << " -> " << U8(c.dest);
}

// Runs in a scratch folder made current, with a $PATH of its own; the old ones come back after.
class CurrentDir : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    fs::create_directories(dir_.Path() / "bin");
    fs::create_directories(dir_.Path() / "proj" / "items");
    fs::create_directories(dir_.Path() / "shared");
    root_ = Utf8ToWide(fs::canonical(dir_.Path()).string());
    fs::current_path(U8(root_));
    path_.emplace("PATH", U8(root_) + "/bin:/nonexistent-folder");
  }
  void TearDown() override {
    path_.reset();
    fs::current_path(old_);
  }
  void Touch(const std::string& relative) { test::WriteFileBytes(root_ + u"/" + Utf8ToWide(relative), "x"); }

  test::ScratchDir dir_;
  fs::path old_;
  WideString root_;
  std::optional<ScopedEnv> path_;
};

TEST_F(CurrentDir, ReadAndExpandWithoutChangingIt) {
  EXPECT_EQ(GetCurrentDirLocked(), root_);
  struct Case {
    WideString base;
    const char16_t* name;
    WideString expected;
  };
  const Case cases[] = {
      {u"/base/dir", u"../x", u"/base/x"},
      {u"/base", u"sub/f", u"/base/sub/f"},
      {u"/base/", u"/abs/f", u"/abs/f"},
      {u"", u"f", root_ + u"/f"},
      {u"rel", u"f", root_ + u"/rel/f"},
      {u"/no/such/base", u"f", u"/no/such/base/f"},  // the base need not exist
      {u"/base", u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExpandFileNameRelative(c.base, c.name), c.expected) << U8(c.name);
  EXPECT_EQ(GetCurrentDirLocked(), root_);
}

TEST_F(CurrentDir, SearchPathLooksInTheCurrentFolderThenInPath) {
  Touch("here.txt");
  Touch("bin/tool-xyz");
  Touch("bin/both");
  Touch("both");
  Touch("proj/items/a.xml");
  EXPECT_EQ(SearchPathFile(u"here.txt"), root_ + u"/here.txt");
  EXPECT_EQ(SearchPathFile(u"tool-xyz"), root_ + u"/bin/tool-xyz");
  EXPECT_EQ(SearchPathFile(u"both"), root_ + u"/both");  // the current folder comes first
  EXPECT_EQ(SearchPathFile(u"proj/items/a.xml"), root_ + u"/proj/items/a.xml");
  EXPECT_EQ(SearchPathFile(u"items/a.xml"), u"");  // names with a folder are not searched in $PATH
  EXPECT_EQ(SearchPathFile(u"missing"), u"");
  EXPECT_EQ(SearchPathFile(u""), u"");
  // A zero character would end the name early: the file before it is not the one asked for.
  const WideString cut(u"here.txt\0.bak", 13);
  EXPECT_EQ(SearchPathFile(cut), u"");
  EXPECT_EQ(ExpandAndSearchFileName(root_, cut), u"");
}

TEST_F(CurrentDir, ExpandAndSearchAgainstABaseFolder) {
  Touch("proj/items/a.xml");
  Touch("shared/common.xml");
  Touch("bin/tool-xyz");
  Touch("only-in-cwd.txt");
  const WideString base = root_ + u"/proj/";
  EXPECT_EQ(ExpandAndSearchFileName(base, u"items/a.xml"), root_ + u"/proj/items/a.xml");
  EXPECT_EQ(ExpandAndSearchFileName(base, u"../shared/common.xml"), root_ + u"/shared/common.xml");
  EXPECT_EQ(ExpandAndSearchFileName(base, u"items"), root_ + u"/proj/items");  // folders count
  EXPECT_EQ(ExpandAndSearchFileName(base, u"tool-xyz"), root_ + u"/bin/tool-xyz");
  EXPECT_EQ(ExpandAndSearchFileName(base, u"missing.xml"), u"");
  EXPECT_EQ(ExpandAndSearchFileName(base, u"   "), u"");
  EXPECT_EQ(ExpandAndSearchFileName(u"proj", u"items/a.xml"), root_ + u"/proj/items/a.xml");
  EXPECT_EQ(ExpandAndSearchFileName(u"", u"only-in-cwd.txt"), root_ + u"/only-in-cwd.txt");
  // A base that does not exist is searched as it is, never the current folder instead.
  EXPECT_EQ(ExpandAndSearchFileName(root_ + u"/no-such-base", u"only-in-cwd.txt"), u"");
  EXPECT_EQ(GetCurrentDirLocked(), root_);
}

TEST_F(CurrentDir, TheLockIsReentrantForItsOwnerOnly) {
  std::lock_guard outer(CurrentDirLock());
  EXPECT_EQ(GetCurrentDirLocked(), root_);  // the helpers take it again
  EXPECT_EQ(ExpandAndSearchFileName(u"", u"missing"), u"");
  bool taken = true;
  std::thread([&] {
    taken = CurrentDirLock().TryEnter();
    if (taken) CurrentDirLock().Leave();
  }).join();
  EXPECT_FALSE(taken);
}

// ---- Temporary files

// A counter that plays back fixed values, then keeps the last one.
std::vector<std::uint64_t> gCounterValues;
std::atomic<std::size_t> gCounterIndex{0};
std::uint64_t PlayBack() {
  const std::size_t i = gCounterIndex.fetch_add(1);
  return gCounterValues[std::min(i, gCounterValues.size() - 1)];
}

class TempFiles : public ::testing::Test {
 protected:
  void TearDown() override { SetTempNameCounter(nullptr); }
  void PlayCounter(std::vector<std::uint64_t> values) {
    gCounterValues = std::move(values);
    gCounterIndex = 0;
    SetTempNameCounter(PlayBack);
  }
  WideString NameFor(const WideString& folder, std::uint64_t counter) const {
    return folder + u"/cv" + IntToHexWide(GetCurrentThreadId()) + IntToHexWide(counter) + u".tmp";
  }
  test::ScratchDir dir_;
};

// $TMPDIR names the folder when it exists; a missing one is not created (the variable may
// point anywhere) and the system's folder serves instead.
TEST_F(TempFiles, TempFolderComesFromAnExistingTmpdirAndIsNeverCreated) {
  {
    ScopedEnv tmp("TMPDIR", U8(dir_.Wide()) + "/");
    EXPECT_EQ(GetTempFolder(u""), dir_.Wide());
  }
  {
    ScopedEnv tmp("TMPDIR", U8(dir_.Wide()) + "/made/here/");
    EXPECT_EQ(GetTempFolder(u""), u"/tmp");
    EXPECT_FALSE(fs::exists(dir_.Path() / "made"));
  }
  EXPECT_EQ(GetTempFolder(u"/some/folder/"), u"/some/folder");
  EXPECT_EQ(GetTempFolder(u"/some/folder"), u"/some/folder");
  test::WriteFileBytes(dir_.File("plain-file"), "x");
  ScopedEnv blocked("TMPDIR", U8(dir_.File("plain-file")));
  EXPECT_EQ(GetTempFolder(u""), u"/tmp");
}

TEST_F(TempFiles, TryCreateMakesANewEmptyFileAndNeverReopensOne) {
  PlayCounter({0xABC});
  WideString name;
  ASSERT_EQ(TryCreateTempFile(dir_.Wide(), u"cv", name), 0u);
  EXPECT_EQ(name, NameFor(dir_.Wide(), 0xABC));
  EXPECT_TRUE(fs::is_regular_file(U8(name)));
  EXPECT_EQ(fs::file_size(U8(name)), 0u);

  test::WriteFileBytes(name, "precious");
  WideString again = u"not emptied";
  EXPECT_EQ(TryCreateTempFile(dir_.Wide(), u"cv", again), static_cast<DWORD>(EEXIST));
  EXPECT_EQ(again, u"");
  EXPECT_EQ(test::ReadFileBytes(name), "precious");
}

TEST_F(TempFiles, ATakenNameIsRetriedWithAFreshOneAndKeptIntact) {
  const WideString taken = NameFor(dir_.Wide(), 5);
  test::WriteFileBytes(taken, "keep me");
  PlayCounter({5, 5, 6});
  const WideString created = CreateUniqueTempFile(u"cv", dir_.Wide());
  EXPECT_EQ(created, NameFor(dir_.Wide(), 6));
  EXPECT_EQ(test::ReadFileBytes(taken), "keep me");
  EXPECT_TRUE(fs::exists(U8(created)));
}

TEST_F(TempFiles, FailuresRaiseTheSystemError) {
  test::WriteFileBytes(NameFor(dir_.Wide(), 7), "x");
  PlayCounter({7});  // every name is taken
  try {
    CreateUniqueTempFile(u"cv", dir_.Wide());
    FAIL() << "created";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), static_cast<DWORD>(EEXIST));
  }
  SetTempNameCounter(nullptr);
  try {
    CreateUniqueTempFile(u"cv", dir_.Wide() + u"/missing-folder");
    FAIL() << "created";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), static_cast<DWORD>(ENOENT));
  }
  // A zero character in the prefix would create a file of another name than the one reported.
  try {
    CreateUniqueTempFile(WideString(u"cv\0x", 4), dir_.Wide());
    FAIL() << "created";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), static_cast<DWORD>(EINVAL));
  }
  // Nothing was deleted to make room.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path()), fs::directory_iterator()), 1);
}

TEST_F(TempFiles, ManyThreadsGetDistinctFiles) {
  constexpr int kThreads = 8, kEach = 50;
  std::mutex m;
  std::vector<WideString> names;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < kEach; ++i) {
        WideString name = CreateUniqueTempFile(u"cv", dir_.Wide() + u"/");
        std::lock_guard lock(m);
        names.push_back(std::move(name));
      }
    });
  for (auto& th : threads) th.join();
  const std::set<WideString> distinct(names.begin(), names.end());
  EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kThreads * kEach));
  for (const auto& name : distinct) {
    EXPECT_TRUE(name.starts_with(dir_.Wide() + u"/cv")) << U8(name);
    EXPECT_TRUE(name.ends_with(u".tmp")) << U8(name);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path()), fs::directory_iterator()), kThreads * kEach);
}

}  // namespace
}  // namespace pw
