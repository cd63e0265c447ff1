#include "core/platform_utils.h"
#include "platform/kernel/processes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "tests/support/scratch_dir.h"

namespace pw {
namespace {

TEST(GlobalObjectName, PutsTheNameIntoTheGlobalNamespaceOnce) {
  const std::string session = "_" + std::to_string(::getsid(0));
  struct Case {
    const char16_t* name;
    bool perSession;
    std::string expected;
  };
  const Case cases[] = {
      {u"ProbeMap", false, "Global\\ProbeMap"},
      {u"Global\\ProbeMap", false, "Global\\ProbeMap"},
      {u"ProbeMap", true, "Global\\ProbeMap" + session},
      {u"Global\\ProbeMap", true, "Global\\ProbeMap" + session},
      {u"global\\x", false, "Global\\global\\x"},  // the prefix is matched exactly
      {u"", false, "Global\\"},
      {u"Map\u00C4", false, "Global\\Map\xC3\x84"},  // UTF-8
  };
  for (const auto& c : cases) EXPECT_EQ(MakeGlobalObjectName(c.name, c.perSession), c.expected) << c.expected;
}

TEST(GlobalObjectName, SessionIdIsTheProcessSessionOrMinusOne) {
  EXPECT_EQ(GetProcessSessionId(static_cast<DWORD>(::getpid())), ::getsid(0));
  EXPECT_EQ(GetProcessSessionId(0x7FFFFFF0u), -1);  // no such process
  EXPECT_EQ(GetProcessSessionId(0), -1);            // nor is 0 the calling process
  EXPECT_EQ(GetGlobalSecurityAttributes(), nullptr);
}

TEST(WidePosEx, FindsTheFirstOccurrenceAtOrAfterTheOffset) {
  struct Case {
    const char16_t* sub;
    const char16_t* s;
    std::int32_t offset, expected;
  };
  const Case cases[] = {
      {u"", u"abc", 1, 0},      {u"b", u"abcb", 1, 2},  {u"b", u"abcb", 2, 2},   {u"b", u"abcb", 3, 4},
      {u"b", u"abcb", 5, 0},    {u"b", u"abcb", 0, 0},  {u"b", u"abcb", -3, 0},  {u"cb", u"abcb", 1, 3},
      {u"x", u"abc", 1, 0},     {u"abcd", u"abc", 1, 0}, {u"B", u"abcb", 1, 0},  {u"abc", u"abc", 1, 1},
      {u"\u00E9", u"e\u00E9", 1, 2},
  };
  for (const auto& c : cases)
    EXPECT_EQ(WidePosEx(c.sub, c.s, c.offset), c.expected)
        << WideToUtf8(c.sub) << " in " << WideToUtf8(c.s) << " from " << c.offset;
}

TEST(WideMatchesMask, Cases) {
  struct Case {
    const char16_t* mask;
    const char16_t* text;
    bool expected;
  };
  const Case cases[] = {
      {u"*", u"", true},          {u"*", u"abc", true},        {u"", u"", true},
      {u"", u"a", false},         {u"?", u"", true},           {u"?", u"a", true},
      {u"?", u"ab", false},       {u"a?", u"a", true},         {u"a?c", u"a", false},
      {u"a?c", u"abc", true},     {u"a*c", u"abcbc", true},    {u"a*c", u"abcb", false},
      {u"a**b", u"a*b", true},    {u"a**b", u"axb", false},    {u"**", u"*", true},
      {u"**", u"a", false},       {u"***", u"*abc", true},     {u"***", u"abc", false},
      {u"*.txt", u"f.txt", true}, {u"*.txt", u"f.TXT", false}, {u"abc", u"ABC", false},
      {u"*ab*cd", u"xabyabcd", true}, {u"a*b*c", u"aXbYbZc", true}, {u"*a*a", u"bab", false},
      {u"*a", u"aaa", true},      {u"*?", u"", true},          {u"\u00E4*", u"\u00E4x", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(WideMatchesMask(c.mask, c.text), c.expected) << WideToUtf8(c.mask) << " vs " << WideToUtf8(c.text);
}

// The rules stated one by one, trying every way a "*" can split the text.
bool MatchesByRules(WideStringView mask, WideStringView text) {
  if (mask.empty()) return text.empty();
  if (mask.starts_with(u"**")) return !text.empty() && text[0] == u'*' && MatchesByRules(mask.substr(2), text.substr(1));
  if (mask[0] == u'*') {
    for (std::size_t i = 0; i <= text.size(); ++i)
      if (MatchesByRules(mask.substr(1), text.substr(i))) return true;
    return false;
  }
  if (mask[0] == u'?') return MatchesByRules(mask.substr(1), text.empty() ? text : text.substr(1));
  return !text.empty() && text[0] == mask[0] && MatchesByRules(mask.substr(1), text.substr(1));
}

void AllStrings(WideStringView alphabet, std::size_t maxLength, std::vector<WideString>& out) {
  out.assign(1, WideString());
  for (std::size_t i = 0; i < out.size(); ++i)
    if (out[i].size() < maxLength)
      for (char16_t c : alphabet) out.push_back(out[i] + c);
}

TEST(WideMatchesMask, BacktrackingAgreesWithTheRulesOnEveryShortMask) {
  std::vector<WideString> masks, texts;
  AllStrings(u"ab*?", 5, masks);
  AllStrings(u"ab*", 4, texts);
  int mismatches = 0;
  for (const auto& m : masks)
    for (const auto& t : texts)
      if (WideMatchesMask(m, t) != MatchesByRules(m, t) && ++mismatches <= 5)
        ADD_FAILURE() << WideToUtf8(m) << " vs " << WideToUtf8(t);
  EXPECT_EQ(mismatches, 0);
}

TEST(Crc32, KnownVectorsAndPieces) {
  auto crcOf = [](const std::string& s) {
    std::uint32_t crc;
    Crc32Init(crc);
    return ~Crc32Update(crc, s.data(), static_cast<std::int32_t>(s.size()));
  };
  EXPECT_EQ(crcOf("abc"), 0x352441C2u);
  EXPECT_EQ(crcOf("123456789"), 0xCBF43926u);
  EXPECT_EQ(crcOf("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
  EXPECT_EQ(crcOf(""), 0u);

  // No final inversion inside; updating in pieces equals one update.
  const std::string text = "The quick brown fox jumps over the lazy dog";
  std::uint32_t crc;
  Crc32Init(crc);
  EXPECT_EQ(crc, 0xFFFFFFFFu);
  EXPECT_EQ(Crc32Update(crc, "abc", 3), ~0x352441C2u);
  std::uint32_t pieces = crc;
  pieces = Crc32Update(pieces, text.data(), 10);
  pieces = Crc32Update(pieces, text.data() + 10, static_cast<std::int32_t>(text.size()) - 10);
  EXPECT_EQ(~pieces, 0x414FA339u);
  // Lengths below 1 change nothing.
  EXPECT_EQ(Crc32Update(0x12345678u, "abc", 0), 0x12345678u);
  EXPECT_EQ(Crc32Update(0x12345678u, "abc", -4), 0x12345678u);
}

// Records what the window system was asked to do (the calls come one at a time).
std::vector<HWND> gCalls;
bool RecordCall(HWND wnd) {
  gCalls.push_back(wnd);
  return true;
}

class WindowUpdateLock : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(WindowUpdateLockCount(), 0);
    gCalls.clear();
    SetLockWindowUpdateProc(RecordCall);
  }
  void TearDown() override {
    SetLockWindowUpdateProc(nullptr);
    while (WindowUpdateLockCount() > 0) EndLockWindowUpdate();
  }
};

TEST_F(WindowUpdateLock, OnlyTheOutermostPairLocksAndUnlocks) {
  BeginLockWindowUpdate(11);
  BeginLockWindowUpdate(22);  // nested: the first window stays the locked one
  EXPECT_EQ(gCalls, std::vector<HWND>{11});
  EndLockWindowUpdate();
  EXPECT_EQ(gCalls, std::vector<HWND>{11});  // still locked
  EXPECT_EQ(WindowUpdateLockCount(), 1);
  EndLockWindowUpdate();
  EXPECT_EQ(gCalls, (std::vector<HWND>{11, 0}));

  // An End without a Begin is ignored and does not spoil the next pair.
  EndLockWindowUpdate();
  EXPECT_EQ(WindowUpdateLockCount(), 0);
  BeginLockWindowUpdate(33);
  EndLockWindowUpdate();
  EXPECT_EQ(gCalls, (std::vector<HWND>{11, 0, 33, 0}));
}

TEST_F(WindowUpdateLock, PairsFromManyThreadsLockAndUnlockInTurn) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 2000; ++i) {
        BeginLockWindowUpdate(static_cast<HWND>(t + 1));
        EndLockWindowUpdate();
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(WindowUpdateLockCount(), 0);
  ASSERT_FALSE(gCalls.empty());
  ASSERT_EQ(gCalls.size() % 2, 0u);
  for (std::size_t i = 0; i < gCalls.size(); ++i) {
    ASSERT_EQ(gCalls[i] == 0, i % 2 == 1) << "call " << i;
  }
}

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

namespace pw {
namespace {

TEST(WideGetClassName, AnswersTheDescribedWindowsClass) {
  ProcessDescription p;
  p.id = 7001;
  p.name = u"app.exe";
  p.windows = {{0x5001, u"Internet Explorer_Server"}, {0x5002, u"\u00C9diteur"}};
  DescribeProcess(p);
  EXPECT_EQ(WideGetClassName(0x5001), u"Internet Explorer_Server");
  EXPECT_EQ(WideGetClassName(0x5002), u"\u00C9diteur");
  EXPECT_EQ(WideGetClassName(0x5003), u"");
  RemoveProcessDescription(7001);
  EXPECT_EQ(WideGetClassName(0x5001), u"") << "a window of a removed process is gone";
}

}  // namespace
}  // namespace pw
