// The host's keyed registries under many entries added and removed in mixed order: action
// handlers, event subscriptions of the object broker and file-watch clients keep the order in
// which they are asked (the order of first registration), whatever was removed in between.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/host/host_services.h"
#include "host/test_host.h"
#include "platform/rtl/strings.h"

namespace pw {
namespace {

using host::TestHost;

GUID NumberedGuid(std::uint32_t group, std::uint32_t n) {
  GUID g = MakeGuid("{44444444-0000-0000-0000-000000000000}");
  g.Data2 = static_cast<std::uint16_t>(group);
  g.Data1 = n;
  return g;
}

class LoggingHandler : public Implements<ComObject, IpwProjectActionHandler> {
 public:
  LoggingHandler(int id, std::shared_ptr<std::vector<int>> log) : id_(id), log_(std::move(log)) {}
  std::int32_t ExecuteAction(const GUID&, const VARIANT&, VARIANT*) override {
    log_->push_back(id_);
    return 0;
  }
  void UpdateAction(const GUID&) override {}
  int Id() const { return id_; }

 private:
  int id_;
  std::shared_ptr<std::vector<int>> log_;
};

TEST(HostRegistries, ActionHandlersRegisteredAndUnregisteredInMixedOrderKeepTheirOrder) {
  TestHost host;
  auto actions = GetHostService<IpwActionService>(host.Manager(), host::services::kActions);
  auto log = std::make_shared<std::vector<int>>();
  struct Expected {
    GUID action, context;
    int handler;
  };
  std::vector<Expected> model;  // what the service should hold, in its order
  std::vector<ComPtr<LoggingHandler>> handlers;
  auto handler = [&](int id) {
    handlers.push_back(MakeObject<LoggingHandler>(id, log));
    return handlers.back().Get();
  };
  auto registerPair = [&](const GUID& action, const GUID& context, int id) {
    ASSERT_EQ(actions->RegisterHandler(action, context, handler(id)), S_OK);
    auto at = std::find_if(model.begin(), model.end(),
                           [&](const Expected& e) { return e.action == action && e.context == context; });
    if (at != model.end()) at->handler = id;  // replaced in place
    else model.push_back({action, context, id});
  };
  auto unregisterPair = [&](const GUID& action, const GUID& context) {
    ASSERT_EQ(actions->UnregisterHandler(action, context), S_OK);
    std::erase_if(model, [&](const Expected& e) { return e.action == action && e.context == context; });
  };
  auto check = [&](const char* step) {
    SCOPED_TRACE(step);
    auto regs = host.Actions().Registrations();
    ASSERT_EQ(regs.size(), model.size());
    for (std::size_t i = 0; i < regs.size(); ++i) {
      EXPECT_EQ(regs[i].actionKey, model[i].action) << i;
      EXPECT_EQ(regs[i].contextKey, model[i].context) << i;
      EXPECT_EQ(static_cast<LoggingHandler*>(regs[i].handler.Get())->Id(), model[i].handler) << i;
    }
    // Every pair reaches its own handler.
    log->clear();
    for (const auto& e : model) EXPECT_EQ(host.Actions().Execute(e.action, e.context), 0);
    std::vector<int> expected;
    for (const auto& e : model) expected.push_back(e.handler);
    EXPECT_EQ(*log, expected);
  };

  // Four actions for each of 300 contexts, as nodes register theirs; the same action key under
  // other contexts and the same context under other actions are distinct pairs.
  constexpr int kContexts = 300, kActions = 4;
  int next = 0;
  for (int c = 0; c < kContexts; ++c)
    for (int a = 0; a < kActions; ++a) registerPair(NumberedGuid(1, a), NumberedGuid(2, c), next++);
  check("registered");
  // Every third context goes (in reverse), then the second action of every fifth.
  for (int c = kContexts - 1; c >= 0; c -= 3)
    for (int a = 0; a < kActions; ++a) unregisterPair(NumberedGuid(1, a), NumberedGuid(2, c));
  for (int c = 0; c < kContexts; c += 5) unregisterPair(NumberedGuid(1, 1), NumberedGuid(2, c));
  check("unregistered in mixed order");
  // A pair that is unregistered twice or never was changes nothing.
  unregisterPair(NumberedGuid(1, 0), NumberedGuid(2, kContexts - 1));
  unregisterPair(NumberedGuid(1, 9), NumberedGuid(2, 9));
  check("unknown pairs");
  // Registered again: a pair still held keeps its place with the new handler; one that went
  // comes last.
  registerPair(NumberedGuid(1, 2), NumberedGuid(2, 1), next++);
  registerPair(NumberedGuid(1, 1), NumberedGuid(2, 0), next++);
  registerPair(NumberedGuid(1, 0), NumberedGuid(2, kContexts - 1), next++);
  check("registered again");
  EXPECT_EQ(host.Actions().Execute(NumberedGuid(1, 0), NumberedGuid(2, kContexts - 4)),
            static_cast<std::int32_t>(E_INVALIDARG));
  EXPECT_EQ(actions->RegisterHandler(NumberedGuid(1, 0), NumberedGuid(2, 0), nullptr), E_INVALIDARG);
  check("nil handler refused");

  host.Actions().Clear();
  model.clear();
  check("cleared");
  registerPair(NumberedGuid(1, 0), NumberedGuid(2, 0), next++);
  check("after clear");
}

// A subscription to the project-node events that logs its deliveries; its key can be made to
// fail.
class LoggingSubscription : public Implements<ComObject, IpwProjectNodeEventHandler, IpwEventSubscription> {
 public:
  LoggingSubscription(int id, const GUID& key, std::shared_ptr<std::vector<int>> log)
      : id_(id), key_(key), log_(std::move(log)) {}
  bool keyFails = false;
  HRESULT GetKey(GUID* key) override {
    if (keyFails) return E_FAIL;
    *key = key_;
    return S_OK;
  }
  HRESULT GetName(BSTR* name) override {
    *name = SysAllocString(u"LoggingSubscription");
    return S_OK;
  }
  HRESULT Event1(const VARIANT&) override {
    log_->push_back(id_);
    return S_OK;
  }
  HRESULT Event2(const VARIANT&) override { return S_OK; }
  HRESULT GetCount(std::int32_t* count) override {
    *count = 1;
    return S_OK;
  }
  HRESULT GetItem(std::int32_t, GUID* iid, std::int32_t* value) override {
    *iid = IpwProjectNodeEventHandler::iid;
    *value = -1;
    return S_OK;
  }

 private:
  int id_;
  GUID key_;
  std::shared_ptr<std::vector<int>> log_;
};

TEST(HostRegistries, BrokerSubscriptionsLeaveByKeyAndEventsKeepTheRegistrationOrder) {
  TestHost host;
  auto broker = GetHostService<IpwObjectBroker>(host.Manager(), host::services::kObjectBroker);
  auto log = std::make_shared<std::vector<int>>();
  std::vector<ComPtr<LoggingSubscription>> subs;
  std::vector<int> expected;
  // 200 subscriptions; 50 and 51 share a key; 70 cannot tell its key when it registers.
  for (int i = 0; i < 200; ++i) {
    subs.push_back(MakeObject<LoggingSubscription>(i, NumberedGuid(3, i == 51 ? 50 : i), log));
    if (i == 70) subs.back()->keyFails = true;
    ASSERT_EQ(broker->RegisterSubscription(static_cast<IpwEventSubscription*>(subs.back().Get())), S_OK);
    expected.push_back(i);
  }
  auto unsubscribe = [&](std::uint32_t key) {
    GUID k = NumberedGuid(3, key);
    ASSERT_EQ(broker->UnregisterSubscription(&k), S_OK);
    std::erase_if(expected, [&](int id) { return (id == 51 ? 50u : static_cast<std::uint32_t>(id)) == key; });
  };
  auto fire = [&] {
    log->clear();
    EXPECT_EQ(host.Broker().FireProjectNodeEvent(1, OleVariant(1)), expected.size());
    EXPECT_EQ(*log, expected);
    EXPECT_EQ(host.Broker().SubscriptionCount(), expected.size());
  };
  fire();
  for (std::uint32_t k = 199; k >= 150; k -= 7) unsubscribe(k);
  for (std::uint32_t k = 0; k < 100; k += 4) unsubscribe(k);
  fire();
  unsubscribe(50);  // both subscriptions with that key go
  unsubscribe(50);  // and nothing more
  fire();
  // The subscription whose key failed is asked for it again when a key is unregistered.
  subs[70]->keyFails = false;
  unsubscribe(70);
  fire();
  // Registered again, a subscription comes last.
  ASSERT_EQ(broker->RegisterSubscription(static_cast<IpwEventSubscription*>(subs[4].Get())), S_OK);
  expected.push_back(4);
  fire();
  GUID none{};
  EXPECT_EQ(broker->UnregisterSubscription(nullptr), E_INVALIDARG);
  EXPECT_EQ(broker->UnregisterSubscription(&none), S_OK);
  fire();
  host.Broker().Clear();
  expected.clear();
  fire();
}

class LoggingWatchClient : public Implements<ComObject, IpwFileWatchClient> {
 public:
  LoggingWatchClient(int id, std::string file, std::shared_ptr<std::vector<int>> log)
      : id_(id), file_(std::move(file)), log_(std::move(log)) {}
  HRESULT GetKey(GUID* key) override {
    *key = GUID_NULL;
    return S_OK;
  }
  HRESULT GetFileName(BSTR* name) override {
    *name = SysAllocString(Utf8ToWide(file_));
    return S_OK;
  }
  HRESULT GetFlag(VARIANT_BOOL* flag) override {
    *flag = VARIANT_FALSE;
    return S_OK;
  }
  HRESULT Notify(std::int32_t) override {
    log_->push_back(id_);
    return S_OK;
  }

 private:
  int id_;
  std::string file_;
  std::shared_ptr<std::vector<int>> log_;
};

TEST(HostRegistries, FileWatchClientsAreCheckedInRegistrationOrder) {
  TestHost host;
  auto watch = GetHostService<IpwFileWatchService>(host.Manager(), host::services::kFileWatch);
  const std::string file = ::testing::TempDir() + "pw_watch_order_" + std::to_string(::getpid()) + ".txt";
  std::remove(file.c_str());
  auto log = std::make_shared<std::vector<int>>();
  std::vector<ComPtr<LoggingWatchClient>> clients;
  std::vector<int> expected;
  // 100 clients of one file that does not exist yet.
  for (int i = 0; i < 100; ++i) {
    clients.push_back(MakeObject<LoggingWatchClient>(i, file, log));
    ASSERT_EQ(watch->Register(clients.back().Get()), S_OK);
    expected.push_back(i);
  }
  for (int i = 99; i >= 0; i -= 3) {
    ASSERT_EQ(watch->Unregister(clients[i].Get()), S_OK);
    std::erase(expected, i);
  }
  ASSERT_EQ(watch->Unregister(clients[99].Get()), S_OK);  // not watched any more: nothing happens
  // Registered again while watched: keeps its place; after it went: comes last.
  ASSERT_EQ(watch->Register(clients[1].Get()), S_OK);
  ASSERT_EQ(watch->Register(clients[0].Get()), S_OK);
  expected.push_back(0);
  EXPECT_EQ(host.FileWatch().ClientCount(), expected.size());
  std::ofstream(file) << "here";
  EXPECT_EQ(host.FileWatch().CheckFiles(), expected.size());
  EXPECT_EQ(*log, expected);
  EXPECT_EQ(watch->CheckNow(clients[3].Get()), E_INVALIDARG);
  EXPECT_EQ(watch->Refresh(clients[3].Get()), E_INVALIDARG);
  EXPECT_EQ(watch->Refresh(clients[2].Get()), S_OK);
  host.FileWatch().Clear();
  EXPECT_EQ(host.FileWatch().ClientCount(), 0u);
  EXPECT_EQ(watch->CheckNow(clients[2].Get()), E_INVALIDARG);
  std::remove(file.c_str());
}

}  // namespace
}  // namespace pw
