#include "host/browser/fake_engine.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

#include "host/browser/frames.h"

namespace pw::browser {

FakeEngine::FakeEngine() {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) throw std::runtime_error("socketpair failed");
  engineEnd_ = pair[0];
  clientEnd_ = pair[1];
  On("Target.getTargets", [](const Json&) {
    return Result({{"targetInfos", Json::array({{{"targetId", "P1"}, {"type", "page"}, {"url", "about:blank"}}})}});
  });
  On("Target.attachToTarget", [](const Json& call) {
    return Result({{"sessionId", "S-" + call["params"].value("targetId", std::string())}});
  });
  On("Target.createTarget", [this](const Json&) {
    std::lock_guard lock(mutex_);
    return Result({{"targetId", "P" + std::to_string(nextTarget_++)}});
  });
  On("Target.getTargetInfo", [](const Json& call) {
    return Result(
        {{"targetInfo", {{"targetId", call["params"].value("targetId", std::string())}, {"url", "about:blank"}}}});
  });
  On("Page.navigate", [this](const Json& call) {
    const std::string session = call.value("sessionId", std::string());
    const std::string target = session.size() > 2 ? session.substr(2) : session;
    std::string loader;
    {
      std::lock_guard lock(mutex_);
      loader = "L" + std::to_string(nextLoader_++);
    }
    Reply(call["id"].get<std::int64_t>(), {{"frameId", target}, {"loaderId", loader}});
    Emit("Page.frameNavigated", {{"frame", {{"id", target}, {"loaderId", loader}, {"url", call["params"]["url"]}}}},
         session);
    Emit("Page.lifecycleEvent", {{"frameId", target}, {"loaderId", loader}, {"name", "load"}}, session);
    return std::optional<Answer>();
  });
  reader_ = std::thread([this] { ReadLoop(); });
}

FakeEngine::~FakeEngine() {
  Close();
  if (reader_.joinable()) reader_.join();
  close(engineEnd_);
  if (clientEnd_ >= 0) close(clientEnd_);
}

int FakeEngine::TakeClientEnd() {
  const int fd = clientEnd_;
  clientEnd_ = -1;
  return fd;
}

void FakeEngine::On(const std::string& method, Handler handler) {
  std::lock_guard lock(mutex_);
  handlers_[method] = std::move(handler);
}

void FakeEngine::SendRaw(const std::string& bytes) {
  std::lock_guard lock(writeLock_);
  const char* data = bytes.data();
  std::size_t size = bytes.size();
  while (size > 0) {
    const ssize_t n = send(engineEnd_, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

void FakeEngine::Send(const Json& message) { SendRaw(message.dump() + std::string(1, '\0')); }

void FakeEngine::Reply(std::int64_t id, const Json& result) { Send({{"id", id}, {"result", result}}); }

void FakeEngine::Emit(const std::string& method, const Json& params, const std::string& sessionId) {
  Json message = {{"method", method}, {"params", params}};
  if (!sessionId.empty()) message["sessionId"] = sessionId;
  Send(message);
}

void FakeEngine::Close() {
  std::lock_guard lock(writeLock_);
  if (!closed_) {
    closed_ = true;
    shutdown(engineEnd_, SHUT_RDWR);
  }
}

std::vector<FakeEngine::Json> FakeEngine::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::size_t FakeEngine::CountCalls(const std::string& method) const {
  std::lock_guard lock(mutex_);
  std::size_t n = 0;
  for (const auto& call : calls_) n += call.value("method", std::string()) == method;
  return n;
}

FakeEngine::Json FakeEngine::WaitForCall(const std::string& method, int nth) {
  std::unique_lock lock(mutex_);
  Json found;
  const bool ok = arrived_.wait_for(lock, std::chrono::seconds(20), [&] {
    int seen = 0;
    for (const auto& call : calls_) {
      if (call.value("method", std::string()) == method && ++seen == nth) {
        found = call;
        return true;
      }
    }
    return false;
  });
  if (!ok) throw std::runtime_error("The fake engine got no call " + method);
  return found;
}

void FakeEngine::ReadLoop() {
  FrameSplitter splitter;
  std::vector<Frame> frames;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(engineEnd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    splitter.Feed(std::string_view(buffer, static_cast<std::size_t>(n)), frames);
    for (auto& frame : frames) {
      Json call;
      try {
        call = Json::parse(frame.text);
      } catch (const Json::exception&) {
        continue;
      }
      {
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
      }
      arrived_.notify_all();
      Handle(call);
    }
    frames.clear();
  }
}

void FakeEngine::Handle(const Json& call) {
  Handler handler;
  {
    std::lock_guard lock(mutex_);
    auto it = handlers_.find(call.value("method", std::string()));
    if (it != handlers_.end()) handler = it->second;
  }
  std::optional<Answer> answer = handler ? handler(call) : Result(Json::object());
  if (!answer) return;
  Json message = {{"id", call["id"]}};
  if (call.contains("sessionId")) message["sessionId"] = call["sessionId"];
  if (answer->error) {
    message["error"] = {{"code", answer->error->first}, {"message", answer->error->second}};
  } else {
    message["result"] = answer->result;
  }
  Send(message);
}

}  // namespace pw::browser
