// The injectable clock that every time-out and wait of the module reads.
//
// The system clock is monotonic milliseconds. Tests install a ManualClock and move time
// forward themselves, so no test sleeps for real seconds.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/com/types.h"

namespace pw {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::uint64_t NowMs() = 0;
  // How long a waiter may block in real time before it reads the clock again, when
  // `remainingMs` of clock time is left before its deadline.
  virtual std::chrono::milliseconds RealSlice(std::uint64_t remainingMs) = 0;
};

class SystemClock final : public Clock {
 public:
  std::uint64_t NowMs() override;
  std::chrono::milliseconds RealSlice(std::uint64_t remainingMs) override;
};

// Time stands still until the test advances it.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(std::uint64_t startMs = 1000) : now_(startMs) {}
  // A read is counted once it has taken its value, so a test that has seen the count move may
  // move time knowing that the reader saw the time before the move.
  std::uint64_t NowMs() override {
    const std::uint64_t now = now_.load();
    reads_.fetch_add(1);
    return now;
  }
  std::chrono::milliseconds RealSlice(std::uint64_t) override { return std::chrono::milliseconds(1); }
  void Advance(std::uint64_t ms) { now_.fetch_add(ms); }
  void Set(std::uint64_t ms) { now_.store(ms); }
  // How often the clock has been read: a test waits for a waiter to take its deadline before it
  // moves time. A read counted after a move may still have taken the time before it (at most one
  // per reading thread).
  std::uint64_t ReadCount() const { return reads_.load(); }
  void WaitForReads(std::uint64_t count) const;

 private:
  std::atomic<std::uint64_t> now_;
  std::atomic<std::uint64_t> reads_{0};
};

Clock& CurrentClock();
// Installs a clock for the whole process; nil restores the system clock.
void SetClock(Clock* clock);

// Installs a clock for the life of a scope.
class ScopedClock {
 public:
  explicit ScopedClock(Clock& c) { SetClock(&c); }
  ~ScopedClock() { SetClock(nullptr); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;
};

// Milliseconds of the current clock, wrapping at 32 bits.
DWORD GetTickCount();
std::uint64_t GetTickCount64();

inline constexpr DWORD INFINITE = 0xFFFFFFFF;

// Waits `ms` on the current clock (INFINITE is not allowed).
void SleepMs(DWORD ms);

}  // namespace pw
