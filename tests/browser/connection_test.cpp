// The connection against the scripted engine: answers reach their callers whatever their
// order, events arrive in order on the dispatcher thread, and every way a call can end.
#include "host/browser/connection.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "host/browser/fake_engine.h"
#include "platform/com/apartment.h"

namespace pw::browser {
namespace {

using namespace std::chrono_literals;

struct ConnectionTest : ::testing::Test {
  FakeEngine engine;
  std::vector<std::string> logged;
  std::mutex logMutex;
  std::unique_ptr<Connection> MakeConnection(ConnectionOptions options = {}) {
    options.log = [this](const std::string& text) {
      std::lock_guard lock(logMutex);
      logged.push_back(text);
    };
    return std::make_unique<Connection>(engine.TakeClientEnd(), std::move(options));
  }
};

TEST_F(ConnectionTest, AnswersReachTheirCallersInAnyOrder) {
  engine.On("Test.echo", [](const FakeEngine::Json&) { return std::optional<FakeEngine::Answer>(); });
  auto connection = MakeConnection();
  auto first = connection->Send("Test.echo", {{"n", 1}});
  auto second = connection->Send("Test.echo", {{"n", 2}}, "S1");
  const auto call1 = engine.WaitForCall("Test.echo", 1);
  const auto call2 = engine.WaitForCall("Test.echo", 2);
  EXPECT_EQ(call2["sessionId"], "S1");
  EXPECT_FALSE(call1.contains("sessionId"));
  engine.Reply(call2["id"], {{"v", "two"}});
  engine.Reply(call1["id"], {{"v", "one"}});
  EXPECT_EQ(second.Wait()["v"], "two");
  EXPECT_EQ(first.Wait()["v"], "one");
  EXPECT_EQ(connection->PendingCount(), 0u);
}

TEST_F(ConnectionTest, TheEnginesErrorFailsItsCall) {
  engine.On("Test.fail", [](const FakeEngine::Json&) { return FakeEngine::Error(-32601, "'Test.fail' wasn't found"); });
  engine.On("Runtime.callFunctionOn",
            [](const FakeEngine::Json&) { return FakeEngine::Error(-32000, "Could not find object with given id"); });
  auto connection = MakeConnection();
  try {
    connection->Call("Test.fail");
    FAIL();
  } catch (const BrowserError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::Protocol);
    EXPECT_EQ(e.Code(), -32601);
    EXPECT_STREQ(e.what(), "'Test.fail' wasn't found");
  }
  try {
    connection->Call("Runtime.callFunctionOn");
    FAIL();
  } catch (const BrowserError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::StaleObject);
    EXPECT_STREQ(e.what(), "The object no longer exists");
  }
}

TEST_F(ConnectionTest, EventsArriveInOrderOnOneThreadThatIsNotTheReader) {
  auto connection = MakeConnection();
  std::mutex mutex;
  std::vector<int> seen;
  std::set<std::thread::id> threads;
  std::promise<void> all;
  connection->Subscribe([&](const ProtocolEvent& event) {
    std::lock_guard lock(mutex);
    if (event.method != "Test.tick") return;
    seen.push_back(event.params["n"]);
    threads.insert(std::this_thread::get_id());
    if (seen.size() == 200) all.set_value();
  });
  // A handler that makes a call of its own: the reader must stay free to deliver its answer.
  std::promise<std::string> nested;
  connection->Subscribe([&](const ProtocolEvent& event) {
    if (event.method == "Test.nest") nested.set_value(connection->Call("Test.inner").dump());
  });
  for (int i = 0; i < 200; ++i) engine.Emit("Test.tick", {{"n", i}});
  engine.Emit("Test.nest", {});
  ASSERT_EQ(all.get_future().wait_for(20s), std::future_status::ready);
  EXPECT_EQ(nested.get_future().get(), "{}");
  std::lock_guard lock(mutex);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(seen[i], i);
  EXPECT_EQ(threads.size(), 1u);
  EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

TEST_F(ConnectionTest, ACallWithoutAnswerEndsAtItsDeadline) {
  engine.On("Test.hang", [](const FakeEngine::Json&) { return std::optional<FakeEngine::Answer>(); });
  auto connection = MakeConnection();
  auto slow = connection->Send("Test.hang", {}, {}, 10s);
  try {
    connection->Call("Test.hang", {}, {}, 20ms);
    FAIL();
  } catch (const BrowserError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::Timeout);
    EXPECT_STREQ(e.what(), "The browser did not answer Test.hang in time");
  }
  // A late answer of the timed-out call is dropped; the other call still waits and completes.
  const auto late = engine.WaitForCall("Test.hang", 2);
  engine.Reply(late["id"], {});
  const auto first = engine.WaitForCall("Test.hang", 1);
  engine.Reply(first["id"], {{"ok", true}});
  EXPECT_EQ(slow.Wait()["ok"], true);
}

TEST_F(ConnectionTest, EndOfFileFailsEveryPendingAndEveryLaterCall) {
  engine.On("Test.hang", [](const FakeEngine::Json&) { return std::optional<FakeEngine::Answer>(); });
  auto connection = MakeConnection();
  std::promise<void> closedEvent;
  connection->Subscribe([&](const ProtocolEvent& event) {
    if (event.method == kClosedEvent) closedEvent.set_value();
  });
  std::vector<PendingCall> calls;
  for (int i = 0; i < 5; ++i) calls.push_back(connection->Send("Test.hang"));
  engine.WaitForCall("Test.hang", 5);
  engine.Close();
  for (auto& call : calls) {
    try {
      call.Wait();
      FAIL();
    } catch (const BrowserError& e) {
      EXPECT_EQ(e.Kind(), ErrorKind::Closed);
      EXPECT_STREQ(e.what(), "The browser has closed");
    }
  }
  ASSERT_EQ(closedEvent.get_future().wait_for(20s), std::future_status::ready);
  EXPECT_TRUE(connection->IsClosed());
  EXPECT_THROW(connection->Call("Test.after"), BrowserError);
}

TEST_F(ConnectionTest, MalformedAndOversizedAnswersFailTheirCallAndTheConnectionGoesOn) {
  engine.On("Test.raw", [](const FakeEngine::Json&) { return std::optional<FakeEngine::Answer>(); });
  ConnectionOptions options;
  options.maxMessageBytes = 1000;
  auto connection = MakeConnection(options);
  auto malformed = connection->Send("Test.raw");
  auto oversized = connection->Send("Test.raw");
  auto fine = connection->Send("Test.raw");
  const auto id1 = engine.WaitForCall("Test.raw", 1)["id"].get<std::int64_t>();
  const auto id2 = engine.WaitForCall("Test.raw", 2)["id"].get<std::int64_t>();
  const auto id3 = engine.WaitForCall("Test.raw", 3)["id"].get<std::int64_t>();
  engine.SendRaw("{\"id\":" + std::to_string(id1) + ",\"result\":{" + std::string(1, '\0'));
  engine.SendRaw(std::string("[1,2") + '\0');  // no call to blame: only logged
  engine.SendRaw("{\"id\":" + std::to_string(id2) + ",\"result\":\"" + std::string(5000, 'x') + "\"}" +
                 std::string(1, '\0'));
  engine.Reply(id3, {{"text", "caf\xC3\xA9"}});
  try {
    malformed.Wait();
    FAIL();
  } catch (const BrowserError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::Malformed);
  }
  try {
    oversized.Wait();
    FAIL();
  } catch (const BrowserError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::TooLarge);
    EXPECT_STREQ(e.what(), "The browser sent a message larger than 1000 bytes; it was dropped");
  }
  EXPECT_EQ(fine.Wait()["text"], "caf\xC3\xA9");
  std::lock_guard lock(logMutex);
  EXPECT_EQ(logged.size(), 3u);
}

TEST_F(ConnectionTest, ALoneSurrogateIsRepairedNotDropped) {
  engine.On("Test.raw", [](const FakeEngine::Json&) { return std::optional<FakeEngine::Answer>(); });
  auto connection = MakeConnection();
  auto call = connection->Send("Test.raw");
  const auto id = engine.WaitForCall("Test.raw")["id"].get<std::int64_t>();
  engine.SendRaw("{\"id\":" + std::to_string(id) + ",\"result\":{\"value\":\"a\\udc01b\"}}" + std::string(1, '\0'));
  EXPECT_EQ(call.Wait()["value"],
            "a\xEF\xBF\xBD"
            "b");
}

TEST_F(ConnectionTest, InterruptingASessionEndsOnlyItsCalls) {
  engine.On("Test.hang", [](const FakeEngine::Json&) { return std::optional<FakeEngine::Answer>(); });
  auto connection = MakeConnection();
  auto mine = connection->Send("Test.hang", {}, "S1");
  auto other = connection->Send("Test.hang", {}, "S2");
  engine.WaitForCall("Test.hang", 2);
  connection->InterruptSession("S1", BrowserError(ErrorKind::Dialog, "A dialog of the page is open: hi"));
  EXPECT_THROW(mine.Wait(), BrowserError);
  EXPECT_EQ(connection->PendingCount(), 1u);
  engine.Reply(engine.WaitForCall("Test.hang", 2)["id"], {{"ok", 1}});
  EXPECT_EQ(other.Wait()["ok"], 1);
}

TEST_F(ConnectionTest, ACallerInASingleThreadedApartmentServesIncomingCallsWhileItWaits) {
  engine.On("Test.hang", [](const FakeEngine::Json&) { return std::optional<FakeEngine::Answer>(); });
  auto connection = MakeConnection();
  StaThread sta;
  std::promise<void> waiting;
  std::future<HRESULT> outer = std::async(std::launch::async, [&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const HRESULT hr = sta.Run([&] {
      auto call = connection->Send("Test.hang");
      waiting.set_value();
      return call.Wait()["ok"] == 1 ? S_OK : E_FAIL;
    });
    CoUninitialize();
    return hr;
  });
  waiting.get_future().wait();
  engine.WaitForCall("Test.hang");
  // The STA is blocked in its call; a call into it is served all the same.
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  EXPECT_EQ(sta.Run([] { return S_FALSE; }), S_FALSE);
  CoUninitialize();
  engine.Reply(engine.WaitForCall("Test.hang")["id"], {{"ok", 1}});
  EXPECT_EQ(outer.get(), S_OK);
}

}  // namespace
}  // namespace pw::browser
