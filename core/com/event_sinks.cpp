#include "core/com/event_sinks.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <typeinfo>

#include "core/automation/ax_list.h"
#include "core/com/background_errors.h"
#include "core/com/threads.h"
#include "platform/rtl/codepage.h"
#include "platform/com/marshal.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"

namespace pw {

// ---- running calls --------------------------------------------------------------------------

namespace {

// The counters that the calling thread is inside, once per call.
thread_local std::vector<const TRunningCalls*> tInside;

}  // namespace

void TRunningCalls::Enter() {
  running_.fetch_add(1);
  tInside.push_back(this);
}

void TRunningCalls::Leave() {
  tInside.erase(std::find(tInside.begin(), tInside.end(), this));
  running_.fetch_sub(1);
  // Every leave may end a wait: a waiter inside calls of its own waits for fewer than all.
  std::lock_guard lock(WaitLock());
  NotifyWaitersLocked();
}

// Asked by the waiting thread itself, under the wait lock; calls that the waiter serves while
// it waits have left again before it asks.
bool TRunningCalls::IsSignaledLocked() const {
  return running_.load() <= static_cast<int>(std::count(tInside.begin(), tInside.end(), this));
}

void TRunningCalls::WaitIdle() {
  while (WaitHandle(*this, INFINITE) != 0) {
  }
}

namespace {

struct Running {
  explicit Running(TRunningCalls& calls) : calls(calls) { calls.Enter(); }
  ~Running() { calls.Leave(); }
  TRunningCalls& calls;
};

// The class name of an exception, without its namespace.
WideString ExceptionClassName(const std::exception& e) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status);
  std::string name = status == 0 && demangled ? demangled : typeid(e).name();
  std::free(demangled);
  if (auto colon = name.rfind("::"); colon != std::string::npos) name = name.substr(colon + 2);
  return Utf8ToWide(name);
}

}  // namespace

// ---- the sink -------------------------------------------------------------------------------

TpwEventSink::TpwEventSink(IUnknown* source, std::vector<IID> eventInterfaces, EventHandler handler)
    : source_(source), handler_(std::move(handler)), eventInterfaces_(std::move(eventInterfaces)) {
  for (const IID& iid : eventInterfaces_) {
    ComPtr<ITypeLib> lib = LoadTypeLibForInterface(iid);
    if (!lib) continue;
    TAxList list;
    AddTypeInfoMembers(nullptr, lib.Get(), iid, true, true, true, INVOKE_FUNC, list);
    for (std::int32_t i = 0; i < list.Count(); ++i) eventMap_.push_back({list.Items(i).Name, list.Items(i).MemberId});
  }
}

TpwEventSink::~TpwEventSink() = default;

// Handlers may ask for the source while Attach or Detach runs on another thread (and waits for
// them), so this takes only the source's own lock.
HRESULT TpwEventSink::GetEventSource(IUnknown** source) {
  if (!source) return E_POINTER;
  std::lock_guard g(sourceLock_);
  *source = ComPtr<IUnknown>(source_).Detach();
  return S_OK;
}

namespace {

// Takes the sink's lock; the thread counts as waiting until it has it.
std::unique_lock<CriticalSection> LockCounted(CriticalSection& lock, std::atomic<int>& waiting) {
  waiting.fetch_add(1);
  std::unique_lock g(lock);
  waiting.fetch_sub(1);
  return g;
}

}  // namespace

HRESULT TpwEventSink::Attach() {
  return SafeCall([&] {
    auto g = LockCounted(lock_, lockWaiters_);
    if (connected_.load()) return;
    ComPtr<IConnectionPointContainer> container = source_.As<IConnectionPointContainer>();
    if (!container) return;
    for (const IID& iid : eventInterfaces_) {
      ComPtr<IConnectionPoint> point;
      if (Failed(container->FindConnectionPoint(iid, point.Put())) || !point) continue;
      DWORD cookie = 0;
      if (Failed(point->Advise(Identity(), &cookie))) continue;
      Connection c;
      MakeGlobal(point.Get(), c.point);
      c.cookie = cookie;
      connections_.push_back(std::move(c));
    }
    connected_.store(true);
  });
}

HRESULT TpwEventSink::Detach() {
  return SafeCall([&] {
    bool raised = false;
    {
      auto g = LockCounted(lock_, lockWaiters_);
      if (!connected_.load()) return;
      try {
        for (auto& c : connections_)
          if (auto point = c.point.As<IConnectionPoint>()) point->Unadvise(c.cookie);
      } catch (...) {
        raised = true;
      }
      connections_.clear();
      try {
        if (source_) CoDisconnectObject(source_.Get(), 0);
        std::this_thread::yield();
      } catch (...) {
      }
      connected_.store(false);
    }
    // No handler is called once this returns. The wait holds no lock: running handlers may
    // still use the sink.
    running_.WaitIdle();
    if (raised) {
      ComPtr<IUnknown> gone;  // released after the locks
      std::lock_guard g(lock_);
      if (!connected_.load()) {
        std::lock_guard s(sourceLock_);
        gone = std::move(source_);
      }
    }
    CoDisconnectObject(Identity(), 0);
    std::this_thread::yield();
  });
}

HRESULT TpwEventSink::GetTypeInfoCount(std::uint32_t* count) {
  if (count) *count = 0;
  return E_NOTIMPL;
}

HRESULT TpwEventSink::GetTypeInfo(std::uint32_t, LCID, ITypeInfo** typeInfo) {
  if (typeInfo) *typeInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT TpwEventSink::GetIDsOfNames(const IID&, const char16_t* const*, std::uint32_t, LCID, DISPID*) {
  return E_NOTIMPL;
}

HRESULT TpwEventSink::Invoke(DISPID dispId, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT*,
                             EXCEPINFO* excepInfo, std::uint32_t*) {
  Running running(running_);
  if (!connected_.load()) return DISP_E_MEMBERNOTFOUND;
  auto entry = std::find_if(eventMap_.begin(), eventMap_.end(), [&](const TEventEntry& e) { return e.memberId == dispId; });
  if (entry == eventMap_.end()) return DISP_E_MEMBERNOTFOUND;
  try {
    if (handler_) handler_(source_.Get(), *entry, params);
    return S_OK;
  } catch (const std::exception& e) {
    if (excepInfo) {
      ClearExcepInfo(*excepInfo);
      excepInfo->bstrSource = SysAllocString(WideStringView(ExceptionClassName(e)));
      const auto* own = dynamic_cast<const Exception*>(&e);
      excepInfo->bstrDescription = SysAllocString(WideStringView(own ? own->Message() : Utf8ToWide(e.what())));
      excepInfo->scode = E_FAIL;
    }
    return DISP_E_EXCEPTION;
  } catch (...) {
    if (excepInfo) {
      ClearExcepInfo(*excepInfo);
      excepInfo->scode = E_FAIL;
    }
    return DISP_E_EXCEPTION;
  }
}

std::size_t TpwEventSink::ConnectionCount() {
  std::lock_guard g(lock_);
  return connections_.size();
}

// ---- the adapter ----------------------------------------------------------------------------

TpwCustomEvents::TpwCustomEvents(IUnknown* source, std::vector<IID> eventInterfaces) {
  auto sink = MakeObject<TpwEventSink>(source, std::move(eventInterfaces),
                                       [this](IUnknown* s, const TEventEntry& e, DISPPARAMS* p) { HandleEvent(s, e, p); });
  sink_ = QueryAs<IpwAttachable>(sink.Get());
  SafeCallCheck(sink_->Attach());
}

// Events reach DoEvent only from here on: before, the derived class is not constructed yet.
void TpwCustomEvents::Constructed() noexcept {
  Implements::Constructed();
  if (sink_) active_.store(true);
}

TpwCustomEvents::~TpwCustomEvents() { Detach(); }

HRESULT TpwCustomEvents::Attach() {
  return SafeCall([&] {
    if (!sink_) return;
    SafeCallCheck(sink_->Attach());
    active_.store(true);
  });
}

HRESULT TpwCustomEvents::Detach() {
  return SafeCall([&] {
    if (!sink_) return;
    active_.store(false);
    running_.WaitIdle();
    SafeCallCheck(sink_->Detach());
  });
}

HRESULT TpwCustomEvents::GetEventSource(IUnknown** source) {
  if (!source) return E_POINTER;
  *source = nullptr;
  if (auto s = sink_.As<IpwEventSource>()) return s->GetEventSource(source);
  return S_OK;
}

void TpwCustomEvents::HandleEvent(IUnknown* source, const TEventEntry& entry, DISPPARAMS* params) {
  // Counted before the test, so that Detach, which clears active first, waits for it.
  Running running(running_);
  if (active_.load()) DoEvent(source, entry, params);
}

}  // namespace pw
