// The protocol connection: numbered calls with answers, and events.
//
// A call is sent with the next id and completes exactly once: with the engine's answer, with
// its error, at its deadline (measured on the real clock: the engine runs in real time
// whatever clock the host shows), when the pipe closes ("The browser has closed"), or when
// its page is interrupted (a dialog opened). The reader thread completes answers; a timer
// thread completes deadlines. A caller in a single-threaded apartment waits with the
// platform's COM-aware wait, so calls into its apartment are served meanwhile.
//
// Events are delivered in the order they arrived, on one dispatcher thread per connection,
// never on the reader: a handler may make calls of its own. When the pipe closes the handlers
// get one last event, `kClosedEvent`. A message that is not JSON is reported to the log; an
// answer among them fails its call; the connection goes on with the next frame.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>

#include "host/browser/errors.h"
#include "host/browser/transport.h"

namespace pw::browser {

using Json = nlohmann::json;

inline constexpr const char* kClosedEvent = "Connection.closed";
inline constexpr std::chrono::milliseconds kDefaultCallTimeout{30000};

struct ProtocolEvent {
  std::string method;
  Json params;
  std::string sessionId;  // empty for the browser's own events
};

struct ConnectionOptions {
  std::chrono::milliseconds callTimeout = kDefaultCallTimeout;
  std::size_t maxMessageBytes = kDefaultMaxMessageBytes;
  std::function<void(const std::string&)> log;  // notes about dropped or malformed messages
};

class Connection;

// A call on its way: Wait answers its result or throws its BrowserError.
class PendingCall {
 public:
  PendingCall() = default;
  Json Wait();
  bool Valid() const { return state_ != nullptr; }
  // The call's id (an expectation's is negative); 0 for a call that never went out.
  std::int64_t Id() const;

 private:
  friend class Connection;
  struct State;
  std::shared_ptr<State> state_;
};

class Connection {
 public:
  using EventHandler = std::function<void(const ProtocolEvent&)>;

  // Takes over the descriptor.
  Connection(int fd, ConnectionOptions options = {});
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Sends a call without waiting (pipelining); timeout 0 takes the connection's default.
  PendingCall Send(const std::string& method, Json params = Json::object(), const std::string& sessionId = {},
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(0));
  Json Call(const std::string& method, Json params = Json::object(), const std::string& sessionId = {},
            std::chrono::milliseconds timeout = std::chrono::milliseconds(0)) {
    return Send(method, std::move(params), sessionId, timeout).Wait();
  }

  // Handlers run on the dispatcher thread; the id removes one. Removal from a handler is fine.
  int Subscribe(EventHandler handler);
  void Unsubscribe(int id);
  // Runs `work` on the dispatcher thread after the events already queued.
  void Post(std::function<void()> work);

  // A wait for something the caller recognises among events: it completes like a call (its
  // deadline, the pipe closing, an interrupt of its session) or when Fulfil is given its id.
  std::pair<std::int64_t, PendingCall> Expect(const std::string& what, const std::string& sessionId,
                                              std::chrono::milliseconds timeout);
  void Fulfil(std::int64_t id, Json result) { Complete(id, std::move(result), std::nullopt); }

  // Completes the pending calls of one session with `error`.
  void InterruptSession(const std::string& sessionId, const BrowserError& error);

  bool IsClosed() const;
  // Closes the pipe (failing every pending call) and stops the threads. Not from a handler.
  void Close();
  // Number of calls waiting for an answer.
  std::size_t PendingCount() const;
  // Number of calls sent so far (the round trips that benchmarks report).
  std::int64_t CallsSent() const;

 private:
  std::int64_t Register(const std::shared_ptr<PendingCall::State>& state, bool expectation);
  void OnFrame(Frame&& frame);
  void OnClosed();
  void Complete(std::int64_t id, Json result, std::optional<BrowserError> error);
  void Log(const std::string& text);
  void DispatchLoop();
  void TimerLoop();

  ConnectionOptions options_;
  mutable std::mutex mutex_;
  std::int64_t nextId_ = 1;
  std::int64_t nextExpectation_ = -1;
  bool closed_ = false;
  bool stopping_ = false;
  std::unordered_map<std::int64_t, std::shared_ptr<PendingCall::State>> pending_;
  std::multimap<std::chrono::steady_clock::time_point, std::int64_t> deadlines_;
  std::condition_variable timerWake_;

  std::mutex eventMutex_;
  std::condition_variable eventWake_;
  std::deque<std::function<void()>> eventQueue_;
  std::map<int, EventHandler> handlers_;
  int nextHandler_ = 1;
  bool eventsStopping_ = false;

  std::thread dispatcher_;
  std::thread timer_;
  std::unique_ptr<Transport> transport_;
};

}  // namespace pw::browser
