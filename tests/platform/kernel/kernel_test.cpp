#include "platform/kernel/kernel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace pw {
namespace {

TEST(Event, ManualResetStaysSignalledAutoResetIsTakenOnce) {
  Event manual(true, false), automatic(false, false);
  EXPECT_EQ(manual.Wait(0), WAIT_TIMEOUT);
  manual.Set();
  EXPECT_EQ(manual.Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(manual.Wait(0), WAIT_OBJECT_0);
  manual.Reset();
  EXPECT_FALSE(manual.IsSet());

  automatic.Set();
  EXPECT_EQ(automatic.Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(automatic.Wait(0), WAIT_TIMEOUT);
}

TEST(Event, WaitEndsWhenAnotherThreadSignals) {
  Event e(true, false);
  std::thread t([&] { e.Set(); });
  EXPECT_EQ(e.Wait(INFINITE), WAIT_OBJECT_0);
  t.join();
}

TEST(Event, TimeOutsFollowTheInjectedClock) {
  ManualClock clock;
  ScopedClock use(clock);
  Event e(true, false);
  std::atomic<DWORD> result{12345};
  const auto reads = clock.ReadCount();
  std::thread t([&] { result = e.Wait(5000); });
  clock.WaitForReads(reads + 1);  // the waiter has taken its deadline
  clock.Advance(4999);
  // Two more reads: the waiter has looked at the moved time at least once and waits on.
  clock.WaitForReads(clock.ReadCount() + 2);
  EXPECT_EQ(result.load(), 12345u) << "the wait must not end before its clock time";
  clock.Advance(1);
  t.join();
  EXPECT_EQ(result.load(), WAIT_TIMEOUT);
}

TEST(WaitForMultiple, AnyReturnsTheFirstSignalledAllNeedsEvery) {
  Event a(true, false), b(true, true), c(false, true);
  WaitableObject* objs[] = {&a, &b, &c};
  EXPECT_EQ(WaitForMultipleObjects(objs, false, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(objs, true, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(c.IsSet()) << "a failed wait-all must not take an auto-reset event";
  a.Set();
  EXPECT_EQ(WaitForMultipleObjects(objs, true, 0), WAIT_OBJECT_0);
  EXPECT_FALSE(c.IsSet());
}

TEST(CriticalSection, IsRecursive) {
  CriticalSection cs;
  cs.Enter();
  EXPECT_TRUE(cs.TryEnter());
  cs.Leave();
  bool otherGotIt = true;
  std::thread([&] { otherGotIt = cs.TryEnter(); }).join();
  EXPECT_FALSE(otherGotIt);
  cs.Leave();
  std::thread([&] {
    otherGotIt = cs.TryEnter();
    if (otherGotIt) cs.Leave();
  }).join();
  EXPECT_TRUE(otherGotIt);
}

TEST(Clock, TickCountAndSleepReadTheInjectedClock) {
  ManualClock clock(0xFFFFFFF0ull);
  {
    ScopedClock use(clock);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
    clock.Advance(0x20);
    EXPECT_EQ(GetTickCount(), 0x10u) << "tick counts wrap at 32 bits";
    EXPECT_EQ(GetTickCount64(), 0x100000010ull);
    const auto reads = clock.ReadCount();
    std::thread t([&] { SleepMs(100); });
    clock.WaitForReads(reads + 1);
    clock.Advance(100);
    t.join();
  }
  EXPECT_NE(&CurrentClock(), &clock);
}

}  // namespace
}  // namespace pw

namespace pw {
namespace {

// A thread that ends while it owns a mutex abandons it: the next wait takes it and says so.
TEST(Mutex, AThreadThatEndsHoldingItAbandonsIt) {
  Mutex m;
  Event held(true, false);
  std::thread owner([&] {
    ASSERT_EQ(WaitForSingleObject(m, INFINITE), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(m, INFINITE), WAIT_OBJECT_0);  // recursively, twice
    held.Set();
  });  // ends without releasing
  ASSERT_EQ(held.Wait(INFINITE), WAIT_OBJECT_0);
  owner.join();

  EXPECT_EQ(m.Owner(), 0u);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_ABANDONED_0);
  EXPECT_EQ(m.Owner(), GetCurrentThreadId());
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);  // the abandonment is reported once
  EXPECT_TRUE(m.Release());
  EXPECT_TRUE(m.Release());
  EXPECT_FALSE(m.Release());
  EXPECT_EQ(m.Owner(), 0u);
}

TEST(Mutex, AWaiterIsWokenByTheAbandonmentAndAFailedWaitTakesNothing) {
  Mutex m, other;
  Event held(true, false), end(true, false);
  std::thread owner([&] {
    WaitForSingleObject(m, INFINITE);
    held.Set();
    end.Wait(INFINITE);
  });
  ASSERT_EQ(held.Wait(INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_TIMEOUT);  // owned by the other thread
  EXPECT_FALSE(m.Release());                           // and not by this one
  std::atomic<DWORD> answer{WAIT_FAILED};
  std::thread waiter([&] {
    WaitableObject* both[] = {&other, &m};
    answer = WaitForMultipleObjects(both, true, INFINITE);
    other.Release();
    m.Release();
  });
  end.Set();  // the owner ends holding m; the waiter, blocked on it, gets it
  owner.join();
  waiter.join();
  EXPECT_EQ(answer.load(), WAIT_ABANDONED_0 + 1);
  EXPECT_EQ(m.Owner(), 0u);
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  m.Release();
}

TEST(Mutex, AMutexDestroyedBeforeItsOwnerEndsIsForgotten) {
  Event held(true, false), end(true, false);
  auto m = std::make_unique<Mutex>();
  std::thread owner([&] {
    WaitForSingleObject(*m, INFINITE);
    held.Set();
    end.Wait(INFINITE);
  });
  ASSERT_EQ(held.Wait(INFINITE), WAIT_OBJECT_0);
  m.reset();
  end.Set();
  owner.join();  // ending touches nothing of the destroyed mutex (AddressSanitizer checks)
}

}  // namespace
}  // namespace pw
