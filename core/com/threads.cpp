#include "core/com/threads.h"

#include <sys/uio.h>
#include <cerrno>
#include <unistd.h>

#include <mutex>

#include "core/com/background_errors.h"
#include "platform/ui/window_system.h"

namespace pw {

// ---- waits ----------------------------------------------------------------------------------

DWORD WaitHandles(DWORD count, WaitableObject* const* handles, DWORD timeoutMs) {
  DWORD index = 0;
  HRESULT hr = CoWaitForMultipleHandles(0, timeoutMs, count, handles, &index);
  return hr == S_OK ? index : WAIT_TIMEOUT;
}

DWORD WaitHandle(WaitableObject& handle, DWORD timeoutMs) {
  WaitableObject* one[] = {&handle};
  return WaitHandles(1, one, timeoutMs);
}

bool IsThreadInSTA() {
  AptType type{};
  return Succeeded(CoGetApartmentType(&type)) && type == AptType::STA;
}

namespace {

// Reads a pointer-sized value through the kernel, which reports unreadable memory (EFAULT)
// instead of faulting: by reading our own memory, or, where that call is refused, by writing it
// into a pipe.
bool ReadPointer(const void* at, const void** value) {
  iovec local{value, sizeof *value};
  iovec remote{const_cast<void*>(at), sizeof *value};
  if (process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == static_cast<ssize_t>(sizeof *value)) return true;
  if (errno != EPERM && errno != ENOSYS) return false;
  int fds[2];
  if (pipe(fds) != 0) return false;
  const bool ok = write(fds[1], at, sizeof *value) == static_cast<ssize_t>(sizeof *value) &&
                  read(fds[0], value, sizeof *value) == static_cast<ssize_t>(sizeof *value);
  close(fds[0]);
  close(fds[1]);
  return ok;
}

}  // namespace

bool IsValidInterfacePointer(const void* p) {
  if (!p) return false;
  const void* table = nullptr;
  const void* first = nullptr;
  const void* code = nullptr;
  return ReadPointer(p, &table) && table && ReadPointer(table, &first) && first && ReadPointer(first, &code);
}

// ---- worker threads -------------------------------------------------------------------------

TcvThreadWaitableObject::TcvThreadWaitableObject(std::unique_ptr<KernelThread> thread, DWORD threadId,
                                                 std::shared_ptr<Event> completion)
    : threadId_(threadId), thread_(std::move(thread)), completion_(std::move(completion)) {}

TcvThreadWaitableObject::~TcvThreadWaitableObject() {
  // The last reference waits for the worker's end, unless it is dropped on the worker itself.
  // The wait serves calls: the worker may be calling into the apartment that drops it.
  if (thread_ && threadId_ != GetCurrentThreadId()) {
    while (WaitHandle(thread_->Handle(), INFINITE) != 0) {
    }
  }
  thread_.reset();  // joins, or detaches on the worker itself
  completion_.reset();
}

DWORD TcvThreadWaitableObject::Wait(DWORD timeoutMs) {
  if (finished_.load()) return 0;
  if (GetCurrentThreadId() == threadId_) return 0xFFFFFFFF;
  WaitableObject* handles[] = {&thread_->Handle(), completion_.get()};
  DWORD r = WaitForMultipleObjects(handles, false, timeoutMs);
  if (r == 1) {
    // The method is done and the thread only has to return: it is never killed, joined.
    thread_->Join();
    r = 0;
  }
  if (r == 0) {
    thread_->Join();
    finished_.store(true);
  }
  return r;
}

void RunWaitableThread(void* argument, ComPtr<IcvWaitableObject>& waitable, WaitableMethod method) {
  auto completion = std::make_shared<Event>(true, false);
  auto thread = std::make_unique<KernelThread>([argument, done = completion, method = std::move(method)] {
    if (Succeeded(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
      if (method) {
        try {
          method(argument);
        } catch (...) {
          ReportBackgroundError(u"worker", CurrentExceptionMessage());
        }
      }
      CoUninitialize();
    } else {
      ReportBackgroundError(u"worker", u"The thread could not join the multithreaded apartment.");
    }
    done->Set();
  });
  const DWORD id = thread->ThreadId();
  waitable = MakeObject<TcvThreadWaitableObject>(std::move(thread), id, std::move(completion));
}

// ---- the timer ------------------------------------------------------------------------------

struct TcvOutstandingTimer::State {
  Event stop{true, false};
  Event stopped{true, false};
  std::mutex lock;
  Handler handler;
  bool stopOnError = false;
};

TcvOutstandingTimer::TcvOutstandingTimer(DWORD intervalMs)
    : interval_(intervalMs), state_(std::make_shared<State>()) {
  thread_ = std::make_unique<KernelThread>([this, state = state_, interval = interval_] {
    if (Failed(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
      ReportBackgroundError(u"timer", u"The thread could not join the multithreaded apartment.");
      state->stopped.Set();
      return;
    }
    while (WaitForSingleObject(state->stop, interval) == WAIT_TIMEOUT) {
      Handler handler;
      bool stopOnError = false;
      {
        std::lock_guard g(state->lock);
        handler = state->handler;
        stopOnError = state->stopOnError;
      }
      if (!handler) continue;
      try {
        handler(this);
      } catch (...) {
        ReportBackgroundError(u"timer", CurrentExceptionMessage());
        if (stopOnError) break;
      }
    }
    CoUninitialize();
    state->stopped.Set();
  });
}

TcvOutstandingTimer::~TcvOutstandingTimer() {
  if (!thread_->HasEnded()) {
    state_->stop.Set();
    if (thread_->ThreadId() != GetCurrentThreadId()) {
      WaitableObject* handles[] = {&state_->stopped, &thread_->Handle()};
      while (WaitHandles(2, handles, INFINITE) == WAIT_TIMEOUT) {
      }
    }
  }
  thread_.reset();  // joins; detaches when the timer is destroyed by its own handler
}

void TcvOutstandingTimer::SetOnTimer(Handler handler) {
  std::lock_guard g(state_->lock);
  state_->handler = std::move(handler);
}

void TcvOutstandingTimer::SetStopOnHandlerError(bool stop) {
  std::lock_guard g(state_->lock);
  state_->stopOnError = stop;
}

bool TcvOutstandingTimer::Stopped() const { return state_->stopped.IsSet(); }

// ---- the transparent lock -------------------------------------------------------------------

TcvTransparentCriticalSection::~TcvTransparentCriticalSection() = default;

void TcvTransparentCriticalSection::Acquire() {
  TSynchroObject::Acquire();
  // The caller never goes on without the lock: a failed wait is waited again. A lock whose
  // holder ended without releasing it is taken over (abandoned: the wait succeeded).
  for (;;) {
    const DWORD r = WaitHandle(mutex_, INFINITE);
    if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED_0) break;
  }
  if (holdCount_.load() == 0 && IsThreadInSTA()) {
    try {
      IMessageFilter* current = nullptr;
      if (Failed(CoRegisterMessageFilter(nullptr, &current)) || !IsValidInterfacePointer(current)) {
        current = nullptr;  // dropped without release
      }
      previousFilter_ = ComPtr<IMessageFilter>::Attach(current);
      auto restricted = MakeObject<TcvRestrictedMessageFilter>(previousFilter_.Get());
      IMessageFilter* returned = nullptr;
      if (Succeeded(CoRegisterMessageFilter(restricted.Get(), &returned)) && returned) returned->Release();
      filterInstalled_ = true;
    } catch (...) {
      (void)previousFilter_.Detach();
    }
  }
  holdCount_.fetch_add(1);
}

void TcvTransparentCriticalSection::Release() {
  TSynchroObject::Release();
  if (holdCount_.fetch_sub(1) - 1 == 0 && filterInstalled_) {
    filterInstalled_ = false;
    try {
      IMessageFilter* returned = nullptr;
      if (Succeeded(CoRegisterMessageFilter(previousFilter_.Get(), &returned)) && IsValidInterfacePointer(returned))
        returned->Release();
      previousFilter_ = nullptr;
    } catch (...) {
      (void)previousFilter_.Detach();
    }
  }
  // The filter is restored before the mutex goes.
  mutex_.Release();
}

// ---- the restricted filter ------------------------------------------------------------------

DWORD TcvRestrictedMessageFilter::HandleInComingCall(DWORD callType, HTASK, DWORD, INTERFACEINFO*) {
  return callType == CALLTYPE_TOPLEVEL || callType == CALLTYPE_NESTED ? SERVERCALL_ISHANDLED : SERVERCALL_RETRYLATER;
}

DWORD TcvRestrictedMessageFilter::RetryRejectedCall(HTASK callee, DWORD tickCount, DWORD rejectType) {
  return previous_ ? previous_->RetryRejectedCall(callee, tickCount, rejectType) : 0;
}

DWORD TcvRestrictedMessageFilter::MessagePending(HTASK callee, DWORD tickCount, DWORD pendingType) {
  return previous_ ? previous_->MessagePending(callee, tickCount, pendingType) : PENDINGMSG_WAITDEFPROCESS;
}

// ---- the window context ---------------------------------------------------------------------

namespace {

struct HookRecord {
  HHOOK hook;
};

TcvWindowContext* gWindowContext = nullptr;

}  // namespace

TcvWindowContext::TcvWindowContext() {
  hooks_ = std::make_unique<TcvTable>(ioNone, ioNone, 11);
  list_ = std::make_unique<TcvList>(ioNone, 10);
  listLock_ = std::make_unique<CriticalSection>();
  hooksLock_ = std::make_unique<CriticalSection>();
  nullMessage_ = RegisterWindowMessageA("CVA_NULL_MESSAGE");
}

TcvWindowContext::~TcvWindowContext() {
  std::vector<void*> records;
  hooks_->GetValueArray(imValue, records);
  for (void* r : records) {
    auto* record = static_cast<HookRecord*>(r);
    UnhookWindowsHookEx(record->hook);
    delete record;
  }
  hooks_.reset();
  list_.reset();
  listLock_.reset();
  hooksLock_.reset();
}

void StartThreads() { gWindowContext = new TcvWindowContext; }

void StopThreads() {
  delete gWindowContext;
  gWindowContext = nullptr;
}

TcvWindowContext* WindowContext() { return gWindowContext; }

}  // namespace pw
