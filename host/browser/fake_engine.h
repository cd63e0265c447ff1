// A scripted stand-in for the engine on a socketpair, for tests of everything above the pipe.
//
// It reads the client's calls on a thread of its own, records them, and answers each with the
// handler set for its method (a result, an error, or nothing: the call then hangs). Common calls
// have defaults that behave like one page: target discovery answers page "P1"; attaching
// answers session "S-" + target id; a navigation answers loader "L<n>" and then reports the new
// document and its load. Tests can send any event, any raw bytes, and close the pipe.
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pw::browser {

class FakeEngine {
 public:
  using Json = nlohmann::json;
  struct Answer {
    Json result = Json::object();
    std::optional<std::pair<int, std::string>> error;  // code and message
  };
  static std::optional<Answer> Result(Json result) { return Answer{std::move(result), std::nullopt}; }
  static std::optional<Answer> Error(int code, std::string message) {
    return Answer{Json::object(), std::make_pair(code, std::move(message))};
  }
  // Nullopt: the call is not answered.
  using Handler = std::function<std::optional<Answer>(const Json& call)>;

  FakeEngine();
  ~FakeEngine();
  FakeEngine(const FakeEngine&) = delete;
  FakeEngine& operator=(const FakeEngine&) = delete;

  // The client's end of the pipe (once).
  int TakeClientEnd();
  void On(const std::string& method, Handler handler);
  void SendRaw(const std::string& bytes);
  void Send(const Json& message);  // with its NUL
  void Reply(std::int64_t id, const Json& result);
  void Emit(const std::string& method, const Json& params, const std::string& sessionId = {});
  // Closes the engine's end: the client reads end of file.
  void Close();
  // Every call received so far; and a wait (real time, bounded) for the n-th call of a method.
  std::vector<Json> Calls() const;
  Json WaitForCall(const std::string& method, int nth = 1);
  std::size_t CountCalls(const std::string& method) const;

 private:
  void ReadLoop();
  void Handle(const Json& call);

  int engineEnd_ = -1;
  int clientEnd_ = -1;
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::map<std::string, Handler> handlers_;
  std::vector<Json> calls_;
  std::mutex writeLock_;
  int nextTarget_ = 2;
  int nextLoader_ = 1;
  bool closed_ = false;
  std::thread reader_;
};

}  // namespace pw::browser
