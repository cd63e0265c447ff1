// A clock for single-threaded tests of waits: time stands still until a waiter sleeps, and a
// sleep moves the clock to its deadline at once (no real time passes). Tests also move it by
// hand (Advance), like a ManualClock.
#pragma once

#include <atomic>

#include "platform/kernel/clock.h"

namespace pw::test {

class SteppingClock final : public Clock {
 public:
  explicit SteppingClock(std::uint64_t startMs = 1000) : now_(startMs) {}
  std::uint64_t NowMs() override { return now_.load(); }
  std::chrono::milliseconds RealSlice(std::uint64_t remainingMs) override {
    now_.fetch_add(remainingMs);
    slept_.fetch_add(remainingMs);
    return std::chrono::milliseconds(0);
  }
  void Advance(std::uint64_t ms) { now_.fetch_add(ms); }
  void Set(std::uint64_t ms) { now_.store(ms); }
  // The clock time that waiters slept in all.
  std::uint64_t Slept() const { return slept_.load(); }

 private:
  std::atomic<std::uint64_t> now_;
  std::atomic<std::uint64_t> slept_{0};
};

}  // namespace pw::test
