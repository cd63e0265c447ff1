#include "host/browser/connection.h"

#include "platform/com/apartment.h"

namespace pw::browser {

struct PendingCall::State {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  Json result;
  struct Failure {
    ErrorKind kind;
    std::string message;
    int code;
  };
  // Plain data, thrown afresh by the waiter: no exception object (nor its shared message)
  // crosses threads.
  std::optional<Failure> error;
  std::string sessionId;
  std::string method;
  std::int64_t id = 0;
  std::chrono::steady_clock::time_point deadline;
  std::unique_ptr<Event> staSignal;  // set when the caller waits in a single-threaded apartment

  void Finish(Json value, std::optional<BrowserError> failure) {
    {
      std::lock_guard lock(mutex);
      if (finished) return;
      finished = true;
      result = std::move(value);
      if (failure) error = Failure{failure->Kind(), std::string(failure->what()), failure->Code()};
    }
    done.notify_all();
    if (staSignal) staSignal->Set();
  }
};

Json PendingCall::Wait() {
  if (!state_) throw BrowserError(ErrorKind::Closed, kClosedMessage);
  if (state_->staSignal) {
    WaitableObject* handles[1] = {state_->staSignal.get()};
    DWORD index = 0;
    while (!state_->staSignal->IsSet()) CoWaitForMultipleHandles(0, INFINITE, 1, handles, &index);
  }
  std::unique_lock lock(state_->mutex);
  state_->done.wait(lock, [&] { return state_->finished; });
  if (state_->error) throw BrowserError(state_->error->kind, state_->error->message, state_->error->code);
  return state_->result;
}

std::int64_t PendingCall::Id() const { return state_ ? state_->id : 0; }

Connection::Connection(int fd, ConnectionOptions options) : options_(std::move(options)) {
  dispatcher_ = std::thread([this] { DispatchLoop(); });
  timer_ = std::thread([this] { TimerLoop(); });
  transport_ = std::make_unique<Transport>(
      fd, options_.maxMessageBytes, [this](Frame&& frame) { OnFrame(std::move(frame)); }, [this] { OnClosed(); });
}

Connection::~Connection() { Close(); }

void Connection::Log(const std::string& text) {
  if (options_.log) options_.log(text);
}

PendingCall Connection::Send(const std::string& method, Json params, const std::string& sessionId,
                             std::chrono::milliseconds timeout) {
  PendingCall call;
  call.state_ = std::make_shared<PendingCall::State>();
  auto& state = *call.state_;
  state.sessionId = sessionId;
  state.method = method;
  AptType apartment = AptType::None;
  if (Succeeded(CoGetApartmentType(&apartment)) && apartment == AptType::STA) {
    state.staSignal = std::make_unique<Event>(true, false);
  }
  if (timeout.count() <= 0) timeout = options_.callTimeout;
  state.deadline = std::chrono::steady_clock::now() + timeout;

  Json message = {{"id", 0}, {"method", method}, {"params", std::move(params)}};
  if (!sessionId.empty()) message["sessionId"] = sessionId;
  const std::int64_t id = Register(call.state_, false);
  if (id == 0) return call;
  message["id"] = id;
  if (!transport_->Send(message.dump(-1, ' ', false, Json::error_handler_t::replace))) {
    Complete(id, {}, BrowserError(ErrorKind::Closed, kClosedMessage));
  }
  return call;
}

std::int64_t Connection::Register(const std::shared_ptr<PendingCall::State>& state, bool expectation) {
  std::lock_guard lock(mutex_);
  if (closed_) {
    state->Finish({}, BrowserError(ErrorKind::Closed, kClosedMessage));
    return 0;
  }
  const std::int64_t id = expectation ? nextExpectation_-- : nextId_++;
  state->id = id;
  pending_.emplace(id, state);
  const bool earliest = deadlines_.empty() || state->deadline < deadlines_.begin()->first;
  deadlines_.emplace(state->deadline, id);
  if (earliest) timerWake_.notify_one();
  return id;
}

std::pair<std::int64_t, PendingCall> Connection::Expect(const std::string& what, const std::string& sessionId,
                                                        std::chrono::milliseconds timeout) {
  PendingCall call;
  call.state_ = std::make_shared<PendingCall::State>();
  call.state_->sessionId = sessionId;
  call.state_->method = what;
  AptType apartment = AptType::None;
  if (Succeeded(CoGetApartmentType(&apartment)) && apartment == AptType::STA) {
    call.state_->staSignal = std::make_unique<Event>(true, false);
  }
  if (timeout.count() <= 0) timeout = options_.callTimeout;
  call.state_->deadline = std::chrono::steady_clock::now() + timeout;
  const std::int64_t id = Register(call.state_, true);
  return {id, std::move(call)};
}

void Connection::Complete(std::int64_t id, Json result, std::optional<BrowserError> error) {
  std::shared_ptr<PendingCall::State> state;
  {
    std::lock_guard lock(mutex_);
    auto it = pending_.find(id);
    if (it == pending_.end()) return;
    state = std::move(it->second);
    pending_.erase(it);
    auto range = deadlines_.equal_range(state->deadline);
    for (auto d = range.first; d != range.second; ++d) {
      if (d->second == id) {
        deadlines_.erase(d);
        break;
      }
    }
  }
  state->Finish(std::move(result), std::move(error));
}

void Connection::OnFrame(Frame&& frame) {
  if (frame.oversized) {
    const std::string text =
        "The browser sent a message larger than " + std::to_string(options_.maxMessageBytes) + " bytes; it was dropped";
    Log(text);
    if (frame.id) Complete(*frame.id, {}, BrowserError(ErrorKind::TooLarge, text));
    return;
  }
  Json message;
  try {
    message = ParseMessage(frame.text);
  } catch (const std::exception& e) {
    const std::string text = std::string("The browser sent a malformed message: ") + e.what();
    Log(text);
    if (auto id = LeadingCallId(frame.text)) {
      Complete(*id, {}, BrowserError(ErrorKind::Malformed, text));
    }
    return;
  }
  if (!message.is_object()) {
    Log("The browser sent a message that is not an object; it was dropped");
    return;
  }
  if (auto id = message.find("id"); id != message.end() && id->is_number_integer()) {
    if (auto error = message.find("error"); error != message.end()) {
      const std::string text = error->value("message", std::string("The browser refused the call"));
      const int code = error->value("code", 0);
      const ErrorKind kind = text.find("Could not find object with given id") != std::string::npos ||
                                     text.find("Cannot find context with specified id") != std::string::npos
                                 ? ErrorKind::StaleObject
                                 : ErrorKind::Protocol;
      Complete(id->get<std::int64_t>(), {},
               BrowserError(kind, kind == ErrorKind::StaleObject ? kStaleObjectMessage : text, code));
    } else {
      Json result = message.contains("result") ? std::move(message["result"]) : Json::object();
      Complete(id->get<std::int64_t>(), std::move(result), std::nullopt);
    }
    return;
  }
  auto method = message.find("method");
  if (method == message.end() || !method->is_string()) {
    Log("The browser sent a message that is neither an answer nor an event; it was dropped");
    return;
  }
  auto event = std::make_shared<ProtocolEvent>();
  event->method = method->get<std::string>();
  if (auto params = message.find("params"); params != message.end()) event->params = std::move(*params);
  if (auto session = message.find("sessionId"); session != message.end() && session->is_string()) {
    event->sessionId = session->get<std::string>();
  }
  Post([this, event] {
    std::vector<EventHandler> handlers;
    {
      std::lock_guard lock(eventMutex_);
      for (auto& [id, handler] : handlers_) handlers.push_back(handler);
    }
    for (auto& handler : handlers) handler(*event);
  });
}

void Connection::OnClosed() {
  std::unordered_map<std::int64_t, std::shared_ptr<PendingCall::State>> pending;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    pending.swap(pending_);
    deadlines_.clear();
  }
  for (auto& [id, state] : pending) {
    state->Finish({}, BrowserError(ErrorKind::Closed, kClosedMessage));
  }
  auto event = std::make_shared<ProtocolEvent>();
  event->method = kClosedEvent;
  Post([this, event] {
    std::vector<EventHandler> handlers;
    {
      std::lock_guard lock(eventMutex_);
      for (auto& [id, handler] : handlers_) handlers.push_back(handler);
    }
    for (auto& handler : handlers) handler(*event);
  });
}

int Connection::Subscribe(EventHandler handler) {
  std::lock_guard lock(eventMutex_);
  const int id = nextHandler_++;
  handlers_.emplace(id, std::move(handler));
  return id;
}

void Connection::Unsubscribe(int id) {
  std::lock_guard lock(eventMutex_);
  handlers_.erase(id);
}

void Connection::Post(std::function<void()> work) {
  {
    std::lock_guard lock(eventMutex_);
    if (eventsStopping_) return;
    eventQueue_.push_back(std::move(work));
  }
  eventWake_.notify_one();
}

void Connection::InterruptSession(const std::string& sessionId, const BrowserError& error) {
  std::vector<std::int64_t> ids;
  {
    std::lock_guard lock(mutex_);
    for (auto& [id, state] : pending_) {
      if (state->sessionId == sessionId) ids.push_back(id);
    }
  }
  for (auto id : ids) Complete(id, {}, error);
}

bool Connection::IsClosed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

std::int64_t Connection::CallsSent() const {
  std::lock_guard lock(mutex_);
  return nextId_ - 1;
}

std::size_t Connection::PendingCount() const {
  std::lock_guard lock(mutex_);
  return pending_.size();
}

void Connection::DispatchLoop() {
  for (;;) {
    std::function<void()> work;
    {
      std::unique_lock lock(eventMutex_);
      eventWake_.wait(lock, [&] { return eventsStopping_ || !eventQueue_.empty(); });
      if (eventQueue_.empty()) return;
      work = std::move(eventQueue_.front());
      eventQueue_.pop_front();
    }
    try {
      work();
    } catch (const std::exception& e) {
      Log(std::string("An event handler failed: ") + e.what());
    }
  }
}

void Connection::TimerLoop() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (deadlines_.empty()) {
      timerWake_.wait(lock);
      continue;
    }
    const auto first = deadlines_.begin()->first;
    if (std::chrono::steady_clock::now() < first) {
      timerWake_.wait_until(lock, first);
      continue;
    }
    const std::int64_t id = deadlines_.begin()->second;
    auto it = pending_.find(id);
    const std::string method = it != pending_.end() ? it->second->method : std::string();
    lock.unlock();
    Complete(id, {}, BrowserError(ErrorKind::Timeout, "The browser did not answer " + method + " in time"));
    lock.lock();
  }
}

void Connection::Close() {
  if (transport_) transport_->Close();  // the reader ends: every pending call fails
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    stopping_ = true;
  }
  timerWake_.notify_all();
  if (timer_.joinable()) timer_.join();
  {
    std::lock_guard lock(eventMutex_);
    eventsStopping_ = true;
  }
  eventWake_.notify_all();
  if (dispatcher_.joinable()) dispatcher_.join();
}

}  // namespace pw::browser
