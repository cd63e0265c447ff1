#include "platform/com/guid.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <thread>
#include <vector>

namespace pw {
namespace {

TEST(Guid, ParsesAndFormatsRegistryForm) {
  constexpr GUID g = MakeGuid("{82C1D57A-D575-44E4-A904-D736F8FF94B9}");
  EXPECT_EQ(g.Data1, 0x82C1D57Au);
  EXPECT_EQ(g.Data2, 0xD575);
  EXPECT_EQ(g.Data3, 0x44E4);
  EXPECT_EQ(g.Data4[0], 0xA9);
  EXPECT_EQ(g.Data4[7], 0xB9);
  EXPECT_EQ(GuidToString(g), "{82C1D57A-D575-44E4-A904-D736F8FF94B9}");
  EXPECT_EQ(GuidToWideString(g), u"{82C1D57A-D575-44E4-A904-D736F8FF94B9}");
  // Lower-case input reads the same; the text form is always upper case.
  EXPECT_EQ(GuidFromString(std::string_view("{82c1d57a-d575-44e4-a904-d736f8ff94b9}")), g);
  EXPECT_EQ(GuidFromString(std::u16string_view(u"{82C1D57A-D575-44E4-A904-D736F8FF94B9}")), g);
}

// The text form against printf's for every hex digit in every position, and back.
TEST(Guid, FormatsEveryDigitAsPrintfDoes) {
  std::vector<GUID> guids = {GUID_NULL, MakeGuid("{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}")};
  for (std::uint32_t n = 0; n < 16; ++n) {
    GUID g{};
    g.Data1 = 0x01234567u * (n + 1) ^ (n << 28);
    g.Data2 = static_cast<std::uint16_t>(0x89AB + n * 0x1111);
    g.Data3 = static_cast<std::uint16_t>(0xCDEF - n * 0x0F0F);
    for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<std::uint8_t>(n * 16 + (15 - n + i) % 16);
    guids.push_back(g);
  }
  for (const GUID& g : guids) {
    char expected[40];
    std::snprintf(expected, sizeof expected, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2,
                  g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                  g.Data4[7]);
    EXPECT_EQ(GuidToString(g), expected);
    EXPECT_EQ(GuidToWideString(g), std::u16string(expected, expected + 38));
    EXPECT_EQ(GuidFromString(GuidToWideString(g)), g);
  }
}

TEST(Guid, RejectsMalformedText) {
  for (const char* bad : {"", "82C1D57A-D575-44E4-A904-D736F8FF94B9", "{82C1D57A-D575-44E4-A904-D736F8FF94B}",
                          "{82C1D57A-D575-44E4-A904-D736F8FF94BG}", "{82C1D57AD575-44E4-A904-D736F8FF94B9-}",
                          "(82C1D57A-D575-44E4-A904-D736F8FF94B9)"}) {
    EXPECT_FALSE(GuidFromString(std::string_view(bad)).has_value()) << bad;
  }
  EXPECT_FALSE(GuidFromString(std::u16string_view(u"{82C1D57A-D575-44E4-A904-D736F8FF94\u00E9}")).has_value());
}

TEST(Guid, CreatedGuidsAreVersion4AndDistinct) {
  std::set<GUID> seen;
  for (int i = 0; i < 1000; ++i) {
    GUID g;
    ASSERT_EQ(CreateGuid(g), S_OK);
    EXPECT_EQ(g.Data3 >> 12, 4);
    EXPECT_EQ(g.Data4[0] & 0xC0, 0x80);
    seen.insert(g);
  }
  EXPECT_EQ(seen.size(), 1000u);
}

TEST(Guid, ThreadsMakeDistinctGuids) {
  // Each thread takes its own random bytes: none hands out another's.
  constexpr int kThreads = 4, kEach = 500;
  std::vector<std::vector<GUID>> made(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&made, t] {
      for (int i = 0; i < kEach; ++i) {
        GUID g;
        if (CreateGuid(g) == S_OK) made[t].push_back(g);
      }
    });
  for (auto& t : threads) t.join();
  std::set<GUID> seen;
  for (const auto& list : made) {
    EXPECT_EQ(list.size(), static_cast<std::size_t>(kEach));
    seen.insert(list.begin(), list.end());
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kEach));
}

TEST(Guid, AForkedChildDoesNotRepeatItsParentsGuids) {
  GUID before;
  ASSERT_EQ(CreateGuid(before), S_OK);  // whatever state the creator keeps is now in use
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    GUID g;
    const bool ok = CreateGuid(g) == S_OK && ::write(fds[1], &g, sizeof g) == static_cast<ssize_t>(sizeof g);
    ::_exit(ok ? 0 : 1);
  }
  ::close(fds[1]);
  GUID inChild;
  const ssize_t got = ::read(fds[0], &inChild, sizeof inChild);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_EQ(got, static_cast<ssize_t>(sizeof inChild));
  GUID inParent;
  ASSERT_EQ(CreateGuid(inParent), S_OK);
  EXPECT_NE(inChild, inParent);
}

}  // namespace
}  // namespace pw
