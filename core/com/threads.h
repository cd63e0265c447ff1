// Synchronisation and threads that are careful about apartments: the COM-aware wait, worker
// threads with a waitable result, the timer thread, and the transparent critical section that
// keeps serving calls while it waits.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "core/containers/containers.h"
#include "core/containers/hash_tables.h"
#include "core/com/interfaced_object.h"
#include "platform/com/apartment.h"
#include "platform/kernel/thread.h"

namespace pw {

// The COM-aware wait: the index of the signalled handle, or WAIT_TIMEOUT (258) for every
// failure, the time-out included. In a single-threaded apartment it serves calls meanwhile.
DWORD WaitHandles(DWORD count, WaitableObject* const* handles, DWORD timeoutMs);
DWORD WaitHandle(WaitableObject& handle, DWORD timeoutMs);

// Whether the calling thread has joined a single-threaded apartment.
bool IsThreadInSTA();
// Whether the pointer, the method table it points to and that table's first entry are
// readable.
bool IsValidInterfacePointer(const void* p);

struct IcvWaitableObject : IUnknown {
  static constexpr IID iid = MakeGuid("{A9E8157A-F428-41DD-87DA-B9432CF235C4}");
  using Inherited = IUnknown;
  // 0 once the worker has ended; 0xFFFFFFFF when called on the worker itself; WAIT_TIMEOUT
  // when the time-out passed first.
  virtual DWORD Wait(DWORD timeoutMs) = 0;
};

// A worker thread's job: its end can be waited for; the last reference waits for it (serving
// calls meanwhile in a single-threaded apartment).
class TcvThreadWaitableObject : public Implements<TcvInterfacedObject, IcvWaitableObject> {
 public:
  TcvThreadWaitableObject(std::unique_ptr<KernelThread> thread, DWORD threadId, std::shared_ptr<Event> completion);
  ~TcvThreadWaitableObject() override;

  DWORD Wait(DWORD timeoutMs) override;
  bool Finished() const { return finished_.load(); }

 private:
  const DWORD threadId_;
  std::unique_ptr<KernelThread> thread_;
  std::shared_ptr<Event> completion_;  // shared with the worker, which sets it last
  std::atomic<bool> finished_{false};
};

// Runs method(argument) on a new thread in the multithreaded apartment. An exception of the
// method is reported as a background error ("worker").
using WaitableMethod = std::function<void(void* argument)>;
void RunWaitableThread(void* argument, ComPtr<IcvWaitableObject>& waitable, WaitableMethod method);

// A periodic timer with a thread of its own in the multithreaded apartment. The period counts
// from the end of the previous handler call. A handler that raises is reported as a
// background error ("timer") and the timer goes on, unless StopOnHandlerError is set.
class TcvOutstandingTimer : public TObject {
 public:
  using Handler = std::function<void(TcvOutstandingTimer* sender)>;

  explicit TcvOutstandingTimer(DWORD intervalMs);
  // Stops the thread, waiting (and serving calls) while a handler still runs.
  ~TcvOutstandingTimer() override;

  DWORD Interval() const { return interval_; }
  // Assigned by the owner after construction; runs on the timer thread.
  void SetOnTimer(Handler handler);
  void SetStopOnHandlerError(bool stop);
  // Whether the timer thread has ended (only by destruction or a failing handler with
  // StopOnHandlerError).
  bool Stopped() const;

 private:
  struct State;
  const DWORD interval_;
  std::shared_ptr<State> state_;
  std::unique_ptr<KernelThread> thread_;
};

// The runtime's synchronisation base.
class TSynchroObject : public TObject {
 public:
  virtual void Acquire() {}
  virtual void Release() {}
};

// A recursive lock whose waits keep serving calls. While a single-threaded-apartment thread
// holds it, a restrictive message filter lets in only top-level and nested calls.
class TcvTransparentCriticalSection : public TSynchroObject {
 public:
  TcvTransparentCriticalSection() = default;
  ~TcvTransparentCriticalSection() override;

  void Acquire() override;
  void Release() override;
  // BasicLockable.
  void lock() { Acquire(); }
  void unlock() { Release(); }

  std::int32_t HoldCount() const { return holdCount_.load(); }
  bool FilterInstalled() const { return filterInstalled_; }

 private:
  Mutex mutex_;
  ComPtr<IMessageFilter> previousFilter_;
  std::atomic<std::int32_t> holdCount_{0};
  bool filterInstalled_ = false;
};

// Serves top-level and nested calls and asks the others to retry later; rejected calls and
// pending messages go to the filter it replaced.
class TcvRestrictedMessageFilter : public Implements<TcvInterfacedObject, IMessageFilter> {
 public:
  explicit TcvRestrictedMessageFilter(IMessageFilter* previous) : previous_(previous) {}

  DWORD HandleInComingCall(DWORD callType, HTASK caller, DWORD tickCount, INTERFACEINFO* info) override;
  DWORD RetryRejectedCall(HTASK callee, DWORD tickCount, DWORD rejectType) override;
  DWORD MessagePending(HTASK callee, DWORD tickCount, DWORD pendingType) override;

 private:
  ComPtr<IMessageFilter> previous_;
};

// The process-wide window context: a table of hook records and a list, each with its lock, and
// the message number of "CVA_NULL_MESSAGE".
class TcvWindowContext : public TObject {
 public:
  TcvWindowContext();
  ~TcvWindowContext() override;
  unsigned NullMessage() const { return nullMessage_; }

 private:
  std::unique_ptr<TcvTable> hooks_;
  std::unique_ptr<CriticalSection> hooksLock_;
  std::unique_ptr<TcvList> list_;
  std::unique_ptr<CriticalSection> listLock_;
  unsigned nullMessage_ = 0;
};

// Unit start and stop: the window context singleton.
void StartThreads();
void StopThreads();
TcvWindowContext* WindowContext();

}  // namespace pw
