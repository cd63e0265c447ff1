#include "host/main_thread.h"

#include <algorithm>
#include <iterator>

#include "platform/kernel/clock.h"
#include "platform/rtl/strings.h"

namespace pw::host {

struct MainThread::Job {
  enum State { Queued, Running, Done, Dropped };
  std::function<HRESULT()> work;
  std::mutex lock;
  State state = Queued;
  HRESULT result = S_OK;
  Event done{true, false};
};

HRESULT MainThread::PostAndWait(std::function<HRESULT()> work, DWORD timeoutMs) {
  if (IsMainThread()) return work();
  auto job = std::make_shared<Job>();
  job->work = std::move(work);
  {
    std::lock_guard guard(lock_);
    queue_.push_back(job);
  }
  queued_.Set();
  if (job->done.Wait(timeoutMs) == WAIT_OBJECT_0) return job->result;
  {
    std::lock_guard guard(job->lock);
    if (job->state == Job::Queued) {
      job->state = Job::Dropped;
      return RPC_E_TIMEOUT;
    }
  }
  job->done.Wait(INFINITE);
  return job->result;
}

void MainThread::Post(std::function<void()> work) {
  auto job = std::make_shared<Job>();
  job->work = [w = std::move(work)] {
    w();
    return S_OK;
  };
  {
    std::lock_guard guard(lock_);
    queue_.push_back(job);
  }
  queued_.Set();
}

std::shared_ptr<MainThread::Job> MainThread::Take() {
  std::lock_guard guard(lock_);
  if (queue_.empty()) return nullptr;
  auto job = queue_.front();
  queue_.pop_front();
  return job;
}

std::size_t MainThread::ProcessPending() {
  if (!IsMainThread()) throw Exception(u"Posted work runs on the main thread only");
  std::size_t count = 0;
  std::size_t limit = QueuedCount();  // work posted by the jobs themselves waits for the next round
  while (limit-- > 0) {
    auto job = Take();
    if (!job) break;
    {
      std::lock_guard guard(job->lock);
      if (job->state == Job::Dropped) continue;
      job->state = Job::Running;
    }
    HRESULT hr;
    try {
      hr = job->work();
    } catch (const EOleSysError& e) {
      hr = e.ErrorCode();
    } catch (...) {
      hr = E_UNEXPECTED;
    }
    {
      std::lock_guard guard(job->lock);
      job->result = hr;
      job->state = Job::Done;
    }
    job->done.Set();
    ++count;
  }
  return count;
}

bool MainThread::RunUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  std::uint64_t start = CurrentClock().NowMs();
  for (;;) {
    ProcessPending();
    if (done()) return true;
    std::uint64_t elapsed = CurrentClock().NowMs() - start;
    if (timeoutMs != INFINITE && elapsed >= timeoutMs) return done();
    DWORD slice = timeoutMs == INFINITE ? 10 : static_cast<DWORD>(std::min<std::uint64_t>(10, timeoutMs - elapsed));
    queued_.Wait(slice);
  }
}

std::size_t MainThread::QueuedCount() const {
  std::lock_guard guard(lock_);
  return queue_.size();
}

// ---- TObjectBroker ------------------------------------------------------------------------

void TObjectBroker::SetEventHandler(const GUID& eventClass, Handler handler) {
  std::lock_guard guard(lock_);
  if (handler)
    handlers_[eventClass] = std::move(handler);
  else
    handlers_.erase(eventClass);
}

std::vector<PostedEvent> TObjectBroker::PostedEvents() const {
  std::lock_guard guard(lock_);
  return posted_;
}

std::vector<ComPtr<IUnknown>> TObjectBroker::Objects(const GUID& iid) const {
  std::lock_guard guard(lock_);
  auto at = objects_.find(iid);
  return at == objects_.end() ? std::vector<ComPtr<IUnknown>>{} : at->second;
}

void TObjectBroker::Clear() {
  std::map<GUID, std::vector<ComPtr<IUnknown>>> objects;
  std::list<Subscription> subscriptions;
  std::lock_guard guard(lock_);
  handlers_.clear();
  objects.swap(objects_);
  subscriptions.swap(subscriptions_);
  subscriptionIndex_.clear();
  unkeyedSubscriptions_ = 0;
}

HRESULT TObjectBroker::GetObject(const GUID& iid, std::int32_t index, IUnknown** object) {
  return SafeCall([&] {
    auto list = Objects(iid);
    std::size_t i = index < 0 ? 0 : static_cast<std::size_t>(index);
    ComPtr<IUnknown> found = i < list.size() ? list[i] : nullptr;
    SetOut(object, ComPtr<IUnknown>());
    if (found) OleCheck(found->QueryInterface(iid, reinterpret_cast<void**>(object)));
  });
}

HRESULT TObjectBroker::PostAndWait(const GUID& eventClass, std::int64_t data, std::int32_t size,
                                   std::int32_t timeout) {
  return SafeCall([&] {
    Handler handler;
    {
      std::lock_guard guard(lock_);
      auto at = handlers_.find(eventClass);
      if (at != handlers_.end()) handler = at->second;
    }
    bool onMain = mainThread_.IsMainThread();
    HRESULT hr;
    if (!handler) {
      hr = E_INVALIDARG;
    } else {
      void* block = reinterpret_cast<void*>(static_cast<std::intptr_t>(data));
      DWORD wait = timeout < 0 ? INFINITE : static_cast<DWORD>(timeout);
      hr = mainThread_.PostAndWait([&] { return handler(block, size); }, wait);
    }
    {
      std::lock_guard guard(lock_);
      posted_.push_back({eventClass, size, onMain, hr});
    }
    if (!handler) throw EOleSysError(u"The host has no handler for the event " + GuidToWideString(eventClass), hr);
    if (Failed(hr)) throw EOleSysError(HResultMessage(hr), hr);
  });
}

HRESULT TObjectBroker::RegisterSubscription(IpwEventSubscription* subscription) {
  return SafeCall([&] {
    if (!subscription) throw EOleSysError(u"No subscription", E_INVALIDARG);
    GUID key{};
    const bool keyed = Succeeded(subscription->GetKey(&key));
    std::lock_guard guard(lock_);
    subscriptions_.push_back({subscription, key, keyed});
    if (!keyed) {
      ++unkeyedSubscriptions_;
      return;
    }
    try {
      subscriptionIndex_.emplace(key, std::prev(subscriptions_.end()));
    } catch (...) {
      subscriptions_.pop_back();
      throw;
    }
  });
}

HRESULT TObjectBroker::UnregisterSubscription(GUID* key) {
  return SafeCall([&] {
    if (!key) throw EOleSysError(u"No key", E_INVALIDARG);
    std::list<Subscription> gone;  // released outside the lock
    std::lock_guard guard(lock_);
    auto [first, last] = subscriptionIndex_.equal_range(*key);
    for (auto at = first; at != last; ++at) gone.splice(gone.end(), subscriptions_, at->second);
    subscriptionIndex_.erase(first, last);
    if (unkeyedSubscriptions_ == 0) return;
    for (auto at = subscriptions_.begin(); at != subscriptions_.end();) {
      auto next = std::next(at);
      GUID k{};
      if (!at->keyed && Succeeded(at->subscription->GetKey(&k)) && k == *key) {
        gone.splice(gone.end(), subscriptions_, at);
        --unkeyedSubscriptions_;
      }
      at = next;
    }
  });
}

std::size_t TObjectBroker::SubscriptionCount() const {
  std::lock_guard guard(lock_);
  return subscriptions_.size();
}

template <class Handler>
std::vector<ComPtr<Handler>> TObjectBroker::Listeners(const GUID& item) {
  std::vector<ComPtr<IpwEventSubscription>> subscriptions;
  {
    std::lock_guard guard(lock_);
    subscriptions.reserve(subscriptions_.size());
    for (const auto& s : subscriptions_) subscriptions.push_back(s.subscription);
  }
  std::vector<ComPtr<Handler>> out;
  for (const auto& s : subscriptions) {
    std::int32_t count = 0;
    if (Failed(s->GetCount(&count))) continue;
    bool listens = false;
    for (std::int32_t i = 0; i < count && !listens; ++i) {
      GUID iid{};
      std::int32_t value = 0;
      listens = Succeeded(s->GetItem(i, &iid, &value)) && iid == item;
    }
    ComPtr<Handler> handler;
    if (listens && Succeeded(s->QueryInterface(Handler::iid, handler.PutVoid())) && handler)
      out.push_back(std::move(handler));
  }
  return out;
}

std::size_t TObjectBroker::FireTestEngineEvent(std::int32_t id, const OleVariant& param, bool valueOnly) {
  auto listeners = Listeners<IpwTestEngineEvents>();
  for (const auto& l : listeners) OleCheck(valueOnly ? l->OnEvent2(id) : l->OnEvent(id, param.Get()));
  return listeners.size();
}

std::size_t TObjectBroker::FireNodeChanged(IUnknown* node) {
  static constexpr GUID kNodeEvents = MakeGuid("{85734084-F89C-48C5-9E23-A6C87C1FEF65}");
  auto listeners = Listeners<IpwHostEventListener>(kNodeEvents);
  for (const auto& l : listeners) OleCheck(l->NodeChanged(node));
  return listeners.size();
}

std::size_t TObjectBroker::FireProjectNodeEvent(std::int32_t which, const OleVariant& arg) {
  auto listeners = Listeners<IpwProjectNodeEventHandler>();
  for (const auto& l : listeners) OleCheck(which == 1 ? l->Event1(arg.Get()) : l->Event2(arg.Get()));
  return listeners.size();
}

HRESULT TObjectBroker::RegisterObject(const GUID& iid, IUnknown* object) {
  return SafeCall([&] {
    if (!object) throw EOleSysError(u"No object", E_INVALIDARG);
    std::lock_guard guard(lock_);
    objects_[iid].emplace_back(object);
  });
}

HRESULT TObjectBroker::UnregisterObject(const GUID& iid, IUnknown* object) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    auto& list = objects_[iid];
    auto at = std::find_if(list.begin(), list.end(), [&](const auto& o) { return o.Get() == object; });
    if (at != list.end()) list.erase(at);
  });
}

}  // namespace pw::host
