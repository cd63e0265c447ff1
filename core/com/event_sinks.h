// Event sinks: an adapter (TpwCustomEvents) watches a COM object that raises events through
// connection points. Its sink (TpwEventSink) learns the names and DISPIDs of the event
// interfaces' methods from their type libraries, advises itself on the source's connection
// points and hands every event to the adapter's DoEvent. Detaching unadvises, cuts remote
// references and waits until running handlers have returned: no event reaches DoEvent after
// Detach has returned.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "core/com/agile_objects.h"
#include "platform/com/connection_points.h"

namespace pw {

struct TEventEntry {
  WideString name;
  DISPID memberId = 0;
};

using EventHandler = std::function<void(IUnknown* source, const TEventEntry& entry, DISPPARAMS* params)>;

struct IpwEventSource : IUnknown {
  static constexpr IID iid = MakeGuid("{51E210E5-6FB9-4870-B098-2387AEF0B6E1}");
  using Inherited = IUnknown;
  virtual HRESULT GetEventSource(IUnknown** source) = 0;
};

struct IpwAttachable : IUnknown {
  static constexpr IID iid = MakeGuid("{DDCE9FE7-1F78-431C-9453-A8D77205C2EB}");
  using Inherited = IUnknown;
  virtual HRESULT Attach() = 0;
  virtual HRESULT Detach() = 0;
};

// Counts calls running at once and lets a waiter wait (serving calls) until none runs but the
// waiter's own. As a waitable object it is signalled, for the thread that waits for it, once no
// call runs but that thread's own.
class TRunningCalls final : public WaitableObject {
 public:
  void Enter();
  void Leave();
  // Waits until no call runs except those of the calling thread.
  void WaitIdle();

 protected:
  bool IsSignaledLocked() const override;

 private:
  std::atomic<int> running_{0};
};

class TpwEventSink : public Implements<TcvFreeMarshaledObject, IpwEventSource, IpwAttachable, IDispatch> {
 public:
  TpwEventSink(IUnknown* source, std::vector<IID> eventInterfaces, EventHandler handler);
  ~TpwEventSink() override;

  HRESULT GetEventSource(IUnknown** source) override;
  HRESULT Attach() override;
  HRESULT Detach() override;

  HRESULT GetTypeInfoCount(std::uint32_t* count) override;
  HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** typeInfo) override;
  HRESULT GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                        DISPID* dispIds) override;
  // Hands the event to the handler: DISP_E_MEMBERNOTFOUND for an unknown DISPID,
  // DISP_E_EXCEPTION (with the exception's class and message) when the handler raises.
  HRESULT Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override;

  bool Connected() const { return connected_.load(); }
  // Threads that have come to Attach or Detach and wait for the one that runs.
  int WaitingToAttachOrDetach() const { return lockWaiters_.load(); }
  const std::vector<TEventEntry>& EventMap() const { return eventMap_; }
  std::size_t ConnectionCount();

 private:
  struct Connection {
    ComPtr<IUnknown> point;  // made global: usable from any apartment
    DWORD cookie = 0;
  };

  std::atomic<bool> connected_{false};
  ComPtr<IUnknown> source_;  // changed under both locks
  std::mutex sourceLock_;    // for readers of the source; never held across a call
  EventHandler handler_;
  std::vector<TEventEntry> eventMap_;
  std::vector<Connection> connections_;
  std::vector<IID> eventInterfaces_;
  CriticalSection lock_;  // serialises Attach and Detach
  std::atomic<int> lockWaiters_{0};
  TRunningCalls running_;
};

// The base of event adapters: derived classes override DoEvent, and detach in their own
// destructor (events must not reach a half-destroyed adapter). Events reach DoEvent only once
// the object is constructed (MakeObject); those that come earlier are dropped.
class TpwCustomEvents : public Implements<TcvInterfacedObject, IpwAttachable, IpwEventSource> {
 public:
  // Connects at once.
  TpwCustomEvents(IUnknown* source, std::vector<IID> eventInterfaces);
  // Without a source (it could not be made): nothing is connected.
  struct Unconnected {};
  explicit TpwCustomEvents(Unconnected) {}
  ~TpwCustomEvents() override;

  HRESULT Attach() override;
  // Stops delivering events, waits for running handlers, then detaches the sink.
  HRESULT Detach() override;
  HRESULT GetEventSource(IUnknown** source) override;

  bool Active() const { return active_.load(); }

 protected:
  // Threads in Detach waiting for running handlers to return.
  std::size_t DetachesWaiting() const { return running_.WaiterCount(); }
  virtual void DoEvent(IUnknown* source, const TEventEntry& entry, DISPPARAMS* params) = 0;
  // Activates an adapter that its constructor connected.
  void Constructed() noexcept override;

 private:
  void HandleEvent(IUnknown* source, const TEventEntry& entry, DISPPARAMS* params);

  std::atomic<bool> active_{false};
  ComPtr<IpwAttachable> sink_;
  TRunningCalls running_;
};

}  // namespace pw
