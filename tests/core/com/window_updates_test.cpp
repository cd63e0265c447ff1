#include "core/com/window_updates.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/kernel/processes.h"

namespace pw {
namespace {

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
