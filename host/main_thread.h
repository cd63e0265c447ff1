// The host's main thread and its object broker. Work for the main thread is posted to a queue
// that the main thread runs (ProcessPending, RunUntil); a thread that posts and waits is held
// until its work ran there. Waits read the host clock.
#pragma once

#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "host/com_support.h"
#include "interfaces/ProbewrightHost.h"
#include "platform/kernel/kernel.h"

namespace pw::host {

class MainThread {
 public:
  // The thread that creates the object is the main thread.
  MainThread() : id_(std::this_thread::get_id()) {}
  MainThread(const MainThread&) = delete;
  MainThread& operator=(const MainThread&) = delete;

  bool IsMainThread() const { return std::this_thread::get_id() == id_; }

  // Runs the work on the main thread and answers its result; on the main thread it runs at
  // once. When the wait times out before the work started, the work is dropped and the answer
  // is RPC_E_TIMEOUT; work that has started is always waited for (it may use the caller's data).
  HRESULT PostAndWait(std::function<HRESULT()> work, DWORD timeoutMs);
  // Queues work without waiting for it.
  void Post(std::function<void()> work);

  // On the main thread: runs what is queued now; the number of jobs run.
  std::size_t ProcessPending();
  // On the main thread: runs queued work until done() answers true or the clock passes the
  // time-out; the last answer of done().
  bool RunUntil(const std::function<bool()>& done, DWORD timeoutMs);
  std::size_t QueuedCount() const;

 private:
  struct Job;
  std::shared_ptr<Job> Take();

  std::thread::id id_;
  mutable std::mutex lock_;
  std::deque<std::shared_ptr<Job>> queue_;
  Event queued_{false, false};
};

struct PostedEvent {
  GUID eventClass;
  std::int32_t size;
  bool fromMainThread;
  HRESULT result;
};

class TObjectBroker final : public Implements<ComObject, IpwObjectBroker> {
 public:
  using Handler = std::function<HRESULT(void* data, std::int32_t size)>;
  explicit TObjectBroker(MainThread& mainThread) : mainThread_(mainThread) {}

  // The main-thread handler of an event class (nil removes it).
  void SetEventHandler(const GUID& eventClass, Handler handler);
  std::vector<PostedEvent> PostedEvents() const;
  std::vector<ComPtr<IUnknown>> Objects(const GUID& iid) const;
  void Clear();

  HRESULT GetObject(const GUID& iid, std::int32_t index, IUnknown** object) override;
  HRESULT PostAndWait(const GUID& eventClass, std::int64_t data, std::int32_t size, std::int32_t timeout) override;
  HRESULT RegisterObject(const GUID& iid, IUnknown* object) override;
  HRESULT UnregisterObject(const GUID& iid, IUnknown* object) override;
  PW_HOST_RESERVED(7) PW_HOST_RESERVED(8) PW_HOST_RESERVED(9) PW_HOST_RESERVED(10)
  HRESULT RegisterSubscription(IpwEventSubscription* subscription) override;
  HRESULT UnregisterSubscription(GUID* key) override;

  std::size_t SubscriptionCount() const;
  // Delivers a project-node event (1 or 2) with its argument to every subscriber that listens
  // to the project-node events; the number of subscribers reached.
  std::size_t FireProjectNodeEvent(std::int32_t which, const OleVariant& arg);
  // Delivers a test-engine event to every subscriber that listens to them (IpwTestEngineEvents):
  // OnEvent (id, param), or with `valueOnly` OnEvent2 (id as the value); the number reached.
  std::size_t FireTestEngineEvent(std::int32_t id, const OleVariant& param, bool valueOnly = false);
  // Delivers a change of the current project node (IpwHostEventListener's NodeChanged) to every
  // subscriber that lists the node events {85734084-...}; the number reached.
  std::size_t FireNodeChanged(IUnknown* node);

 private:
  MainThread& mainThread_;
  mutable std::mutex lock_;
  std::map<GUID, Handler> handlers_;
  std::map<GUID, std::vector<ComPtr<IUnknown>>> objects_;
  std::vector<PostedEvent> posted_;
  // Subscriptions in the order they registered (the order events reach them), each with the key
  // it answered when it registered; the index finds them by that key. One whose key could not
  // be read then is asked again at each unregistration, as before.
  struct Subscription {
    ComPtr<IpwEventSubscription> subscription;
    GUID key;
    bool keyed;
  };
  std::list<Subscription> subscriptions_;
  std::unordered_multimap<GUID, std::list<Subscription>::iterator> subscriptionIndex_;
  std::size_t unkeyedSubscriptions_ = 0;
  // The subscribers that list the event interface, as that interface.
  template <class Handler>
  std::vector<ComPtr<Handler>> Listeners(const GUID& item = Handler::iid);
};

}  // namespace pw::host
