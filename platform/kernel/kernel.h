// Kernel objects: waitable objects (events), recursive critical sections, thread ids and the
// wait functions. Waits measure their time-outs on the injectable clock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "platform/kernel/clock.h"
#include "platform/com/types.h"

namespace pw {

inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_ABANDONED_0 = 0x80;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// An object a thread can wait for. All waitable state is guarded by one process-wide wait
// lock, so a thread can wait for several objects at once.
class WaitableObject {
 public:
  WaitableObject() = default;
  virtual ~WaitableObject();
  WaitableObject(const WaitableObject&) = delete;
  WaitableObject& operator=(const WaitableObject&) = delete;

  // How many threads are waiting for this object now (a test learns that another thread has
  // reached its wait).
  std::size_t WaiterCount() const;

 protected:
  // Called under the wait lock.
  virtual bool IsSignaledLocked() const = 0;
  // The wait that this object satisfied takes it (an auto-reset event resets itself); true
  // when the wait gets it abandoned (a mutex whose owner ended while it held it).
  virtual bool TakeLocked() { return false; }
  // Wakes every thread waiting for this object; the caller holds the wait lock.
  void NotifyWaitersLocked();
  static std::mutex& WaitLock();

 private:
  friend DWORD WaitForMultipleObjects(std::span<WaitableObject* const>, bool, DWORD);
  std::vector<std::condition_variable*> waiters_;
};

class Event final : public WaitableObject {
 public:
  Event(bool manualReset, bool initialState) : manualReset_(manualReset), signaled_(initialState) {}
  void Set();
  void Reset();
  bool IsSet() const;
  // WAIT_OBJECT_0 or WAIT_TIMEOUT.
  DWORD Wait(DWORD timeoutMs);

 protected:
  bool IsSignaledLocked() const override { return signaled_; }
  bool TakeLocked() override {
    if (!manualReset_) signaled_ = false;
    return false;
  }

 private:
  const bool manualReset_;
  bool signaled_;
};

// A kernel mutex: owned by one thread at a time, recursively. A wait for it takes it when it is
// free or already owned by the waiting thread. A thread that ends while it owns the mutex
// abandons it: the mutex is free again, and the wait that takes it next answers
// WAIT_ABANDONED_0 (+ its index) instead of WAIT_OBJECT_0; the one after answers as usual.
class Mutex final : public WaitableObject {
 public:
  Mutex();
  ~Mutex() override;
  // False when the calling thread does not own the mutex.
  bool Release();
  // The owning thread's id, 0 when free.
  DWORD Owner() const;

  struct State;
  struct HeldByThread;  // what a thread owns; abandons it when the thread ends

 protected:
  bool IsSignaledLocked() const override;
  bool TakeLocked() override;

 private:
  std::shared_ptr<State> state_;  // outlives the mutex while a thread still lists it
};

// WAIT_OBJECT_0 + index of the object that ended the wait (the first signalled one, or 0 when
// waitAll), WAIT_ABANDONED_0 + index when that was an abandoned mutex (with waitAll: the first
// abandoned one), or WAIT_TIMEOUT.
DWORD WaitForMultipleObjects(std::span<WaitableObject* const> objects, bool waitAll, DWORD timeoutMs);
inline DWORD WaitForSingleObject(WaitableObject& object, DWORD timeoutMs) {
  WaitableObject* one[1] = {&object};
  return WaitForMultipleObjects(one, false, timeoutMs);
}

// A recursive lock (the runtime's TCriticalSection).
class CriticalSection {
 public:
  void Enter() { m_.lock(); }
  bool TryEnter() { return m_.try_lock(); }
  void Leave() { m_.unlock(); }
  // BasicLockable, for std::lock_guard / std::unique_lock.
  void lock() { Enter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex m_;
};

// The kernel's id of the calling thread.
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();

}  // namespace pw
