// Inside the apartment layer: the apartment object and its call queue (shared by
// apartment.cpp and marshal.cpp only).
#pragma once

#include <deque>
#include <functional>
#include <memory>

#include "platform/com/apartment.h"
#include "platform/com/comptr.h"
#include "platform/com/errorinfo.h"

namespace pw {

struct CallState {
  Event done{true, false};
  HRESULT result = S_OK;
  DWORD rejected = 0;  // SERVERCALL_REJECTED or SERVERCALL_RETRYLATER when the callee refused
  const std::function<HRESULT()>* call = nullptr;
  ComPtr<IErrorInfo> error;  // what the call left as its thread's error object
};


struct QueuedCall {
  std::function<void()> work;  // an internal task (not seen by the message filter), or empty
  std::shared_ptr<CallState> state;
  INTERFACEINFO info{};
  DWORD callerThread = 0;
  std::uint64_t causality = 0;
};

// The queue of calls waiting for an STA's thread; signalled while it holds calls.
class CallQueue final : public WaitableObject {
 public:
  bool Push(QueuedCall call);
  bool Pop(QueuedCall& call);
  // Refuses every later call and hands back those still queued.
  std::deque<QueuedCall> Close();
  // Accepts calls again (the thread joined its apartment anew).
  void Reopen();
  bool IsClosed() const;

 protected:
  bool IsSignaledLocked() const override { return !calls_.empty(); }

 private:
  std::deque<QueuedCall> calls_;
  bool closed_ = false;
};

class Apartment {
 public:
  Apartment(AptType kind, DWORD threadId) : kind_(kind), threadId_(threadId) {}
  AptType Kind() const { return kind_; }
  DWORD ThreadId() const { return threadId_; }
  CallQueue& Queue() { return queue_; }
  // The STA's message filter; touched only on its own thread.
  ComPtr<IMessageFilter>& Filter() { return filter_; }

 private:
  const AptType kind_;
  const DWORD threadId_;
  CallQueue queue_;
  ComPtr<IMessageFilter> filter_;
};

// Disconnects every stub made in the apartment (marshal.cpp); runs when the apartment closes.
void DisconnectApartmentStubs(const Apartment* apartment);

}  // namespace pw
