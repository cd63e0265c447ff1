// COM apartments of the platform layer.
//
// A thread joins an apartment with CoInitializeEx: a single-threaded apartment (STA) is that
// thread alone, with a queue of incoming calls that the thread serves whenever it waits through
// CoWaitForMultipleHandles (or runs CoRunMessageLoop); the multithreaded apartment (MTA) is
// every thread that joined it. A call into an object of another apartment goes through a proxy
// (platform/com/marshal.h): it is queued to the object's STA thread, or run on a thread of the MTA,
// and the caller waits for the answer. A caller in an STA keeps serving its own queue while it
// waits, so nested calls back into it are served.
//
// Each call carries a causality: the chain of calls it belongs to. A call that an STA receives
// while it waits for one of its own outgoing calls is "nested" when it belongs to the same
// chain, and "top-level while a call is pending" otherwise. The STA's message filter, when one
// is registered, decides for each incoming call whether it is served, and for each call of the
// thread that another apartment rejected whether to retry.
#pragma once

#include <functional>
#include <memory>

#include "platform/kernel/kernel.h"
#include "platform/com/unknown.h"

namespace pw {

inline constexpr DWORD COINIT_MULTITHREADED = 0;
inline constexpr DWORD COINIT_APARTMENTTHREADED = 2;

inline constexpr HRESULT CO_E_NOTINITIALIZED = MakeHResult(0x800401F0);
inline constexpr HRESULT CO_E_NOT_SUPPORTED = MakeHResult(0x80004021);
inline constexpr HRESULT RPC_S_CALLPENDING = MakeHResult(0x80010115);

// Joins the calling thread to an apartment: S_OK the first time, S_FALSE for a repeated call
// of the same kind, RPC_E_CHANGED_MODE when the thread is already in the other kind.
HRESULT CoInitializeEx(void* reserved, DWORD coinit);
// CoInitializeEx with COINIT_APARTMENTTHREADED.
HRESULT CoInitialize(void* reserved);
// Leaves once; the last call of the thread leaves the apartment. When an STA closes, or the
// last thread leaves the MTA, the calls still queued fail and every object of the apartment
// that was marshaled out is disconnected.
void CoUninitialize();

enum class AptType { None = -1, STA = 0, MTA = 1 };
// The calling thread's apartment kind; CO_E_NOTINITIALIZED (and None) when it joined none.
HRESULT CoGetApartmentType(AptType* type);

// The COM-aware wait: waits until one of the handles is signalled (its index in *index) or the
// time-out passes (RPC_S_CALLPENDING); a mutex abandoned by its ended owner is taken with
// *index WAIT_ABANDONED_0 + its index (S_OK). In an STA it serves incoming calls while it waits.
// flags are accepted for form (0: wait for any one, not alertable).
HRESULT CoWaitForMultipleHandles(DWORD flags, DWORD timeoutMs, ULONG count, WaitableObject* const* handles,
                                 DWORD* index);
// An STA thread's loop: serves incoming calls until `quit` is signalled.
void CoRunMessageLoop(Event& quit);

// Message filters. Call types of HandleInComingCall:
inline constexpr DWORD CALLTYPE_TOPLEVEL = 1;
inline constexpr DWORD CALLTYPE_NESTED = 2;
inline constexpr DWORD CALLTYPE_ASYNC = 3;
inline constexpr DWORD CALLTYPE_TOPLEVEL_CALLPENDING = 4;
inline constexpr DWORD CALLTYPE_ASYNC_CALLPENDING = 5;
// Answers of HandleInComingCall, and reject types of RetryRejectedCall:
inline constexpr DWORD SERVERCALL_ISHANDLED = 0;
inline constexpr DWORD SERVERCALL_REJECTED = 1;
inline constexpr DWORD SERVERCALL_RETRYLATER = 2;
// Answers of MessagePending:
inline constexpr DWORD PENDINGMSG_CANCELCALL = 0;
inline constexpr DWORD PENDINGMSG_WAITNOPROCESS = 1;
inline constexpr DWORD PENDINGMSG_WAITDEFPROCESS = 2;
inline constexpr DWORD PENDINGTYPE_TOPLEVEL = 1;
inline constexpr DWORD PENDINGTYPE_NESTED = 2;

// A task is a thread here: its thread id.
using HTASK = DWORD;

struct INTERFACEINFO {
  IUnknown* pUnk;  // the object called
  IID iid;         // the interface called
  WORD wMethod;    // the operation's slot
};

struct IMessageFilter : IUnknown {
  static constexpr IID iid = MakeGuid("{00000016-0000-0000-C000-000000000046}");
  using Inherited = IUnknown;
  virtual DWORD HandleInComingCall(DWORD callType, HTASK caller, DWORD tickCount, INTERFACEINFO* info) = 0;
  // -1 (0xFFFFFFFF) cancels the call; below 100 retries at once; otherwise waits that many
  // milliseconds and retries.
  virtual DWORD RetryRejectedCall(HTASK callee, DWORD tickCount, DWORD rejectType) = 0;
  virtual DWORD MessagePending(HTASK callee, DWORD tickCount, DWORD pendingType) = 0;
};

// Registers the calling STA thread's message filter (nil removes it) and hands back the one it
// replaces (with its reference), or nil. CO_E_NOT_SUPPORTED outside a single-threaded apartment.
HRESULT CoRegisterMessageFilter(IMessageFilter* filter, IMessageFilter** previous);

// An apartment, as far as other parts of the platform need to name one.
class Apartment;
using ApartmentRef = std::shared_ptr<Apartment>;

// The calling thread's apartment, or nil.
ApartmentRef CurrentApartment();
// True when the apartment is a single-threaded one.
bool IsSingleThreaded(const Apartment& apartment);
// The STA's thread id (0 for the MTA).
DWORD ApartmentThreadId(const Apartment& apartment);

// Runs `call` in `target` for the calling thread and answers its result: directly when the
// caller is in that apartment (or target is nil, an object outside every apartment); else on
// the STA's thread or on a thread of the MTA, while the caller waits (serving its own queue
// when it is an STA). `info` is what the target's message filter sees. RPC_E_DISCONNECTED when
// the target apartment has closed; CO_E_NOTINITIALIZED when the caller joined none.
HRESULT ApartmentCall(const ApartmentRef& target, const INTERFACEINFO& info, const std::function<HRESULT()>& call);
// Queues `work` to run on the STA's thread without waiting for it (not seen by message
// filters); false when the apartment is not an STA or has closed.
bool ApartmentPost(const ApartmentRef& target, std::function<void()> work);

// A thread of its own in a single-threaded apartment, serving calls until it is destroyed.
class StaThread {
 public:
  StaThread();
  ~StaThread();
  StaThread(const StaThread&) = delete;
  StaThread& operator=(const StaThread&) = delete;

  ApartmentRef Apartment() const { return apartment_; }
  DWORD ThreadId() const { return threadId_; }
  // Runs `work` on the thread and waits for it (a call of the calling thread into this
  // apartment, so an STA caller keeps serving its own calls meanwhile). RPC_E_DISCONNECTED
  // once the thread has stopped.
  HRESULT Run(const std::function<HRESULT()>& work);

 private:
  struct State;
  std::shared_ptr<State> state_;
  ApartmentRef apartment_;
  DWORD threadId_ = 0;
};

}  // namespace pw
