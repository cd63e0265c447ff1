#include "platform/kernel/kernel.h"

#include <algorithm>
#include <sys/syscall.h>
#include <unistd.h>

namespace pw {

std::mutex& WaitableObject::WaitLock() {
  static std::mutex m;
  return m;
}

WaitableObject::~WaitableObject() = default;

void WaitableObject::NotifyWaitersLocked() {
  for (auto* cv : waiters_) cv->notify_all();
}

void Event::Set() {
  std::lock_guard lock(WaitLock());
  signaled_ = true;
  NotifyWaitersLocked();
}

void Event::Reset() {
  std::lock_guard lock(WaitLock());
  signaled_ = false;
}

bool Event::IsSet() const {
  std::lock_guard lock(WaitLock());
  return signaled_;
}

bool Mutex::IsSignaledLocked() const { return owner_ == 0 || owner_ == GetCurrentThreadId(); }

void Mutex::TakeLocked() {
  owner_ = GetCurrentThreadId();
  ++count_;
}

bool Mutex::Release() {
  std::lock_guard lock(WaitLock());
  if (owner_ == 0 || owner_ != GetCurrentThreadId()) return false;
  if (--count_ == 0) {
    owner_ = 0;
    NotifyWaitersLocked();
  }
  return true;
}

DWORD Mutex::Owner() const {
  std::lock_guard lock(WaitLock());
  return owner_;
}

DWORD Event::Wait(DWORD timeoutMs) { return WaitForSingleObject(*this, timeoutMs); }

DWORD WaitForMultipleObjects(std::span<WaitableObject* const> objects, bool waitAll, DWORD timeoutMs) {
  if (objects.empty()) return WAIT_FAILED;
  std::unique_lock lock(WaitableObject::WaitLock());
  auto satisfied = [&]() -> long {
    if (waitAll) {
      for (auto* o : objects)
        if (!o->IsSignaledLocked()) return -1;
      for (auto* o : objects) o->TakeLocked();
      return 0;
    }
    for (std::size_t i = 0; i < objects.size(); ++i)
      if (objects[i]->IsSignaledLocked()) {
        objects[i]->TakeLocked();
        return static_cast<long>(i);
      }
    return -1;
  };
  if (long i = satisfied(); i >= 0) return WAIT_OBJECT_0 + static_cast<DWORD>(i);
  if (timeoutMs == 0) return WAIT_TIMEOUT;

  std::condition_variable cv;
  for (auto* o : objects) o->waiters_.push_back(&cv);
  struct Unregister {
    std::span<WaitableObject* const> objs;
    std::condition_variable* cv;
    ~Unregister() {
      for (auto* o : objs) {
        auto it = std::find(o->waiters_.begin(), o->waiters_.end(), cv);
        if (it != o->waiters_.end()) o->waiters_.erase(it);
      }
    }
  } unregister{objects, &cv};

  Clock& clock = CurrentClock();
  const std::uint64_t deadline = timeoutMs == INFINITE ? 0 : clock.NowMs() + timeoutMs;
  for (;;) {
    if (long i = satisfied(); i >= 0) return WAIT_OBJECT_0 + static_cast<DWORD>(i);
    if (timeoutMs == INFINITE) {
      cv.wait(lock);
      continue;
    }
    const std::uint64_t now = clock.NowMs();
    if (now >= deadline) return WAIT_TIMEOUT;
    cv.wait_for(lock, clock.RealSlice(deadline - now));
  }
}

DWORD GetCurrentThreadId() {
  thread_local const DWORD id = static_cast<DWORD>(::syscall(SYS_gettid));
  return id;
}
DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

}  // namespace pw
