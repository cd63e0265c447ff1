#include "platform/kernel/kernel.h"

#include <algorithm>
#include <utility>
#include <sys/syscall.h>
#include <unistd.h>

namespace pw {

std::mutex& WaitableObject::WaitLock() {
  static std::mutex m;
  return m;
}

WaitableObject::~WaitableObject() = default;

std::size_t WaitableObject::WaiterCount() const {
  std::lock_guard lock(WaitLock());
  return waiters_.size();
}

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

struct Mutex::State {
  Mutex* self;  // nil once the mutex is gone
  DWORD owner = 0;
  int count = 0;
  bool abandoned = false;
};

// The mutexes the calling thread owns. When the thread ends, each is abandoned: freed, marked,
// and its waiters woken.
struct Mutex::HeldByThread {
  std::vector<std::shared_ptr<State>> held;
  ~HeldByThread() {
    std::lock_guard lock(WaitLock());
    for (auto& s : held) {
      if (s->count == 0) continue;
      s->owner = 0;
      s->count = 0;
      s->abandoned = true;
      if (s->self) s->self->NotifyWaitersLocked();
    }
  }
};

namespace {
thread_local Mutex::HeldByThread tHeldMutexes;
}

Mutex::Mutex() : state_(std::make_shared<State>(State{this})) {}

Mutex::~Mutex() {
  std::lock_guard lock(WaitLock());
  state_->self = nullptr;
}

bool Mutex::IsSignaledLocked() const { return state_->owner == 0 || state_->owner == GetCurrentThreadId(); }

bool Mutex::TakeLocked() {
  State& s = *state_;
  if (s.count++ == 0) {
    s.owner = GetCurrentThreadId();
    tHeldMutexes.held.push_back(state_);
  }
  return std::exchange(s.abandoned, false);
}

bool Mutex::Release() {
  std::lock_guard lock(WaitLock());
  State& s = *state_;
  if (s.owner == 0 || s.owner != GetCurrentThreadId()) return false;
  if (--s.count == 0) {
    s.owner = 0;
    std::erase(tHeldMutexes.held, state_);
    NotifyWaitersLocked();
  }
  return true;
}

DWORD Mutex::Owner() const {
  std::lock_guard lock(WaitLock());
  return state_->owner;
}

DWORD Event::Wait(DWORD timeoutMs) { return WaitForSingleObject(*this, timeoutMs); }

DWORD WaitForMultipleObjects(std::span<WaitableObject* const> objects, bool waitAll, DWORD timeoutMs) {
  if (objects.empty()) return WAIT_FAILED;
  std::unique_lock lock(WaitableObject::WaitLock());
  // The wait's answer once it is satisfied, -1 before.
  auto satisfied = [&]() -> long {
    if (waitAll) {
      for (auto* o : objects)
        if (!o->IsSignaledLocked()) return -1;
      long answer = WAIT_OBJECT_0;
      for (std::size_t i = 0; i < objects.size(); ++i)
        if (objects[i]->TakeLocked() && answer == WAIT_OBJECT_0) answer = static_cast<long>(WAIT_ABANDONED_0 + i);
      return answer;
    }
    for (std::size_t i = 0; i < objects.size(); ++i)
      if (objects[i]->IsSignaledLocked())
        return static_cast<long>((objects[i]->TakeLocked() ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i);
    return -1;
  };
  if (long r = satisfied(); r >= 0) return static_cast<DWORD>(r);
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
    if (long r = satisfied(); r >= 0) return static_cast<DWORD>(r);
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
