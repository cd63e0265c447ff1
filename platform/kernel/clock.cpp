#include "platform/kernel/clock.h"

#include <thread>

namespace pw {

namespace {
SystemClock gSystemClock;
std::atomic<Clock*> gClock{&gSystemClock};
}  // namespace

std::uint64_t SystemClock::NowMs() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::chrono::milliseconds SystemClock::RealSlice(std::uint64_t remainingMs) {
  return std::chrono::milliseconds(remainingMs);
}

void ManualClock::WaitForReads(std::uint64_t count) const {
  while (reads_.load() < count) std::this_thread::yield();
}

Clock& CurrentClock() { return *gClock.load(); }
void SetClock(Clock* clock) { gClock.store(clock ? clock : &gSystemClock); }

DWORD GetTickCount() { return static_cast<DWORD>(CurrentClock().NowMs()); }
std::uint64_t GetTickCount64() { return CurrentClock().NowMs(); }

void SleepMs(DWORD ms) {
  Clock& c = CurrentClock();
  const std::uint64_t deadline = c.NowMs() + ms;
  for (;;) {
    const std::uint64_t now = c.NowMs();
    if (now >= deadline) return;
    std::this_thread::sleep_for(c.RealSlice(deadline - now));
  }
}

}  // namespace pw
