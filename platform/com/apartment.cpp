#include "platform/com/apartment.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/com/apartment_impl.h"

namespace pw {

// ---- the call queue -------------------------------------------------------------------------

bool CallQueue::Push(QueuedCall call) {
  std::lock_guard lock(WaitLock());
  if (closed_) return false;
  calls_.push_back(std::move(call));
  NotifyWaitersLocked();
  return true;
}

bool CallQueue::Pop(QueuedCall& call) {
  std::lock_guard lock(WaitLock());
  if (calls_.empty()) return false;
  call = std::move(calls_.front());
  calls_.pop_front();
  return true;
}

std::deque<QueuedCall> CallQueue::Close() {
  std::lock_guard lock(WaitLock());
  closed_ = true;
  return std::exchange(calls_, {});
}

void CallQueue::Reopen() {
  std::lock_guard lock(WaitLock());
  closed_ = false;
}

bool CallQueue::IsClosed() const {
  std::lock_guard lock(WaitLock());
  return closed_;
}

namespace {

// ---- per-thread state -----------------------------------------------------------------------

void CloseApartment(Apartment& apartment);

struct ThreadState {
  ApartmentRef apartment;
  ApartmentRef home;  // the thread's own STA object, reopened when the thread joins again
  int inits = 0;
  std::vector<std::uint64_t> outgoing;  // causalities of the calls this thread waits for
  std::uint64_t serving = 0;            // causality of the call being served, 0 when none

  ~ThreadState();
};

ThreadState& Tls() {
  thread_local ThreadState state;
  return state;
}

std::uint64_t NewCausality() {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1);
}

// The multithreaded apartment exists while some thread is in it.
struct MtaState {
  std::mutex lock;
  ApartmentRef apartment;
  int members = 0;
};

MtaState& Mta() {
  static MtaState* state = new MtaState;  // lives until the process ends
  return *state;
}

void LeaveApartment(ThreadState& ts) {
  ApartmentRef apartment = std::move(ts.apartment);
  ts.inits = 0;
  if (!apartment) return;
  if (apartment->Kind() == AptType::STA) {
    CloseApartment(*apartment);
    return;
  }
  auto& mta = Mta();
  ApartmentRef closing;
  {
    std::lock_guard g(mta.lock);
    if (--mta.members == 0) closing = std::exchange(mta.apartment, nullptr);
  }
  if (closing) CloseApartment(*closing);
}

ThreadState::~ThreadState() {
  // A thread that ends without leaving its apartment leaves it now.
  if (inits > 0) LeaveApartment(*this);
}

// Runs the call on the callee's thread and takes the error object it leaves there into the call
// (for the caller); the thread's own error object is kept aside meanwhile.
void RunCall(CallState& state) {
  ComPtr<IErrorInfo> own;
  GetErrorInfo(0, own.Put());
  try {
    state.result = (*state.call)();
  } catch (...) {
    state.result = E_UNEXPECTED;
  }
  GetErrorInfo(0, state.error.Put());
  SetErrorInfo(0, own.Get());
}

void FailCall(QueuedCall& call, HRESULT hr) {
  if (call.work) {
    call.work();  // internal tasks (releases) still run
    return;
  }
  call.state->result = hr;
  call.state->done.Set();
}

void CloseApartment(Apartment& apartment) {
  for (auto& call : apartment.Queue().Close()) FailCall(call, RPC_E_DISCONNECTED);
  DisconnectApartmentStubs(&apartment);
  apartment.Filter() = nullptr;
}

// Serves one incoming call on the STA's own thread.
void Serve(ThreadState& ts, QueuedCall& call) {
  if (call.work) {
    call.work();
    return;
  }
  CallState& state = *call.state;
  if (!ts.apartment) {  // the thread left its apartment while it was waiting
    state.result = RPC_E_DISCONNECTED;
    state.done.Set();
    return;
  }
  if (ComPtr<IMessageFilter> filter = ts.apartment->Filter()) {
    DWORD type = CALLTYPE_TOPLEVEL;
    if (!ts.outgoing.empty()) {
      bool nested = std::find(ts.outgoing.begin(), ts.outgoing.end(), call.causality) != ts.outgoing.end();
      type = nested ? CALLTYPE_NESTED : CALLTYPE_TOPLEVEL_CALLPENDING;
    }
    DWORD answer = filter->HandleInComingCall(type, call.callerThread, GetTickCount(), &call.info);
    if (answer != SERVERCALL_ISHANDLED) {
      state.rejected = answer == SERVERCALL_REJECTED ? SERVERCALL_REJECTED : SERVERCALL_RETRYLATER;
      state.done.Set();
      return;
    }
  }
  const std::uint64_t saved = std::exchange(ts.serving, call.causality);
  RunCall(state);
  ts.serving = saved;
  state.done.Set();
}

bool InSta(const ThreadState& ts) { return ts.apartment && ts.apartment->Kind() == AptType::STA; }

// Waits for the call to end; an STA keeps serving, and its incoming calls of the same chain
// count as nested.
void WaitForAnswer(ThreadState& ts, CallState& state, std::uint64_t causality) {
  if (!InSta(ts)) {
    WaitForSingleObject(state.done, INFINITE);
    return;
  }
  ts.outgoing.push_back(causality);
  WaitableObject* done[] = {&state.done};
  DWORD index = 0;
  while (CoWaitForMultipleHandles(0, INFINITE, 1, done, &index) != S_OK) {
  }
  ts.outgoing.pop_back();
}

}  // namespace

// ---- membership -----------------------------------------------------------------------------

HRESULT CoInitializeEx(void*, DWORD coinit) {
  ThreadState& ts = Tls();
  const AptType want = (coinit & COINIT_APARTMENTTHREADED) ? AptType::STA : AptType::MTA;
  if (ts.inits > 0) {
    if (ts.apartment->Kind() != want) return RPC_E_CHANGED_MODE;
    ++ts.inits;
    return S_FALSE;
  }
  if (want == AptType::STA) {
    if (ts.home) {
      ts.home->Queue().Reopen();
    } else {
      ts.home = std::make_shared<Apartment>(AptType::STA, GetCurrentThreadId());
    }
    ts.apartment = ts.home;
  } else {
    auto& mta = Mta();
    std::lock_guard g(mta.lock);
    if (!mta.apartment) mta.apartment = std::make_shared<Apartment>(AptType::MTA, 0);
    ++mta.members;
    ts.apartment = mta.apartment;
  }
  ts.inits = 1;
  return S_OK;
}

HRESULT CoInitialize(void* reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
  ThreadState& ts = Tls();
  if (ts.inits == 0) return;
  if (--ts.inits == 0) {
    ts.inits = 1;  // LeaveApartment resets it once the apartment is gone
    LeaveApartment(ts);
  }
}

HRESULT CoGetApartmentType(AptType* type) {
  ThreadState& ts = Tls();
  *type = ts.apartment ? ts.apartment->Kind() : AptType::None;
  return ts.apartment ? S_OK : CO_E_NOTINITIALIZED;
}

ApartmentRef CurrentApartment() { return Tls().apartment; }
bool IsSingleThreaded(const Apartment& apartment) { return apartment.Kind() == AptType::STA; }
DWORD ApartmentThreadId(const Apartment& apartment) { return apartment.ThreadId(); }

// ---- waits ----------------------------------------------------------------------------------

namespace {

// A wait that took an abandoned mutex among the first `count` handles: it succeeded, and the
// caller learns of the abandonment through the index (WAIT_ABANDONED_0 + i).
bool IsAbandonedWait(DWORD r, DWORD count) { return r >= WAIT_ABANDONED_0 && r < WAIT_ABANDONED_0 + count; }

}  // namespace

HRESULT CoWaitForMultipleHandles(DWORD, DWORD timeoutMs, ULONG count, WaitableObject* const* handles, DWORD* index) {
  ThreadState& ts = Tls();
  if (count > 0 && (!handles || !index)) return E_INVALIDARG;
  if (!InSta(ts)) {
    if (count == 0) {
      if (timeoutMs == INFINITE) return E_INVALIDARG;
      SleepMs(timeoutMs);
      return RPC_S_CALLPENDING;
    }
    DWORD r = WaitForMultipleObjects(std::span(handles, count), false, timeoutMs);
    if (r >= count && !IsAbandonedWait(r, count)) return RPC_S_CALLPENDING;
    *index = r;
    return S_OK;
  }
  ApartmentRef apartment = ts.apartment;  // kept while calls are served
  std::vector<WaitableObject*> objects(handles, handles + count);
  objects.push_back(&apartment->Queue());
  Clock& clock = CurrentClock();
  const std::uint64_t deadline = timeoutMs == INFINITE ? 0 : clock.NowMs() + timeoutMs;
  for (;;) {
    DWORD remaining = INFINITE;
    if (timeoutMs != INFINITE) {
      const std::uint64_t now = clock.NowMs();
      remaining = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    }
    DWORD r = WaitForMultipleObjects(objects, false, remaining);
    if (r < count || IsAbandonedWait(r, count)) {
      *index = r;
      return S_OK;
    }
    if (r == count) {
      QueuedCall call;
      if (apartment->Queue().Pop(call)) Serve(ts, call);
      continue;
    }
    return RPC_S_CALLPENDING;
  }
}

void CoRunMessageLoop(Event& quit) {
  WaitableObject* handles[] = {&quit};
  DWORD index = 0;
  while (CoWaitForMultipleHandles(0, INFINITE, 1, handles, &index) != S_OK) {
  }
}

// ---- message filters ------------------------------------------------------------------------

HRESULT CoRegisterMessageFilter(IMessageFilter* filter, IMessageFilter** previous) {
  ThreadState& ts = Tls();
  if (previous) *previous = nullptr;
  if (!InSta(ts)) return CO_E_NOT_SUPPORTED;
  ComPtr<IMessageFilter> old = std::exchange(ts.apartment->Filter(), ComPtr<IMessageFilter>(filter));
  if (previous) *previous = old.Detach();
  return S_OK;
}

// ---- calls ----------------------------------------------------------------------------------

HRESULT ApartmentCall(const ApartmentRef& target, const INTERFACEINFO& info, const std::function<HRESULT()>& call) {
  ThreadState& ts = Tls();
  if (!target || ts.apartment == target) return call();
  const std::uint64_t causality = ts.serving ? ts.serving : NewCausality();
  const std::uint64_t started = GetTickCount64();
  for (;;) {
    auto state = std::make_shared<CallState>();
    state->call = &call;
    std::thread worker;
    if (target->Kind() == AptType::STA) {
      QueuedCall queued;
      queued.state = state;
      queued.info = info;
      queued.callerThread = GetCurrentThreadId();
      queued.causality = causality;
      if (!target->Queue().Push(std::move(queued))) {
        SetErrorInfo(0, nullptr);
        return RPC_E_DISCONNECTED;
      }
    } else {
      // A call into the multithreaded apartment runs on a thread of that apartment.
      worker = std::thread([state, target, causality] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ThreadState& own = Tls();
        if (own.apartment != target) {
          state->result = RPC_E_DISCONNECTED;  // that apartment closed meanwhile
        } else {
          own.serving = causality;
          RunCall(*state);
          own.serving = 0;
        }
        CoUninitialize();
        state->done.Set();
      });
    }
    WaitForAnswer(ts, *state, causality);
    if (worker.joinable()) worker.join();
    // A failure brings the callee's error object back with it (none when the call did not run),
    // so no older one of this thread is taken for it.
    if (state->rejected || Failed(state->result)) SetErrorInfo(0, state->error.Get());
    if (!state->rejected) return state->result;

    ComPtr<IMessageFilter> filter = InSta(ts) ? ts.apartment->Filter() : nullptr;
    if (!filter) return state->rejected == SERVERCALL_RETRYLATER ? RPC_E_SERVERCALL_RETRYLATER : RPC_E_CALL_REJECTED;
    const DWORD elapsed = static_cast<DWORD>(GetTickCount64() - started);
    const DWORD answer = filter->RetryRejectedCall(target->ThreadId(), elapsed, state->rejected);
    if (answer == 0xFFFFFFFF) return RPC_E_CALL_REJECTED;
    if (answer >= 100) {
      DWORD index = 0;
      CoWaitForMultipleHandles(0, answer, 0, nullptr, &index);
    }
  }
}

bool ApartmentPost(const ApartmentRef& target, std::function<void()> work) {
  if (!target || target->Kind() != AptType::STA) return false;
  QueuedCall queued;
  queued.work = std::move(work);
  return target->Queue().Push(std::move(queued));
}

// ---- a thread of its own --------------------------------------------------------------------

struct StaThread::State {
  Event quit{true, false};
  std::thread thread;
};

StaThread::StaThread() : state_(std::make_shared<State>()) {
  std::promise<std::pair<ApartmentRef, DWORD>> started;
  auto ready = started.get_future();
  // The thread owns the promise: this constructor may go on (and drop its locals) while
  // set_value is still returning.
  state_->thread = std::thread([state = state_, started = std::move(started)]() mutable {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    started.set_value({CurrentApartment(), GetCurrentThreadId()});
    CoRunMessageLoop(state->quit);
    CoUninitialize();
  });
  auto [apartment, id] = ready.get();
  apartment_ = std::move(apartment);
  threadId_ = id;
}

StaThread::~StaThread() {
  state_->quit.Set();
  if (state_->thread.get_id() == std::this_thread::get_id()) {
    state_->thread.detach();  // destroyed by its own thread: it ends once this call returns
  } else {
    state_->thread.join();
  }
}

HRESULT StaThread::Run(const std::function<HRESULT()>& work) {
  return ApartmentCall(apartment_, INTERFACEINFO{nullptr, GUID_NULL, 0}, work);
}

}  // namespace pw
