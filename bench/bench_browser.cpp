// The browser layer against the real engine, each measure beside its baseline in this binary:
//   BM_RawRoundTrip vs BM_DispatchPropertyRead: a DOM property read (document.title) as one
//     protocol message written and its answer read straight off the pipe, against the same read
//     through the host's IDispatch (name cached, Invoke, JSON, VARIANT). Goal: at most 1.3x.
//   BM_BareSpawnFirstReply vs BM_LaunchFirstReply: the engine spawned by hand and its first
//     answer read off the pipe, against the launcher and the connection. Goal: at most 1.1x.
//   BM_SequentialReads vs BM_PipelinedReads: 1000 reads one after another, against 1000 sent
//     at once and then awaited.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "host/browser/browser.h"
#include "host/browser/objects/dom_object.h"
#include "platform/automation/dispatch.h"

namespace {

using namespace pw;
using namespace pw::browser;

// A message written and its answer read, without the connection (the baseline).
class RawPipe {
 public:
  explicit RawPipe(int fd) : fd_(fd) {}
  std::string RoundTrip(const std::string& message) {
    Write(message);
    return ReadUntilAnswer();
  }
  void Write(const std::string& message) {
    std::string framed = message;
    framed.push_back('\0');
    (void)!send(fd_, framed.data(), framed.size(), MSG_NOSIGNAL);
  }
  // The next frame that is an answer (events are skipped).
  std::string ReadUntilAnswer() {
    for (;;) {
      const std::size_t nul = buffer_.find('\0');
      if (nul != std::string::npos) {
        std::string frame = buffer_.substr(0, nul);
        buffer_.erase(0, nul + 1);
        if (frame.rfind("{\"id\":", 0) == 0) return frame;
        continue;
      }
      char chunk[65536];
      const ssize_t n = read(fd_, chunk, sizeof chunk);
      if (n <= 0) return {};
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }

 private:
  int fd_;
  std::string buffer_;
};

void BM_RawRoundTrip(benchmark::State& state) {
  EngineProcess engine = SpawnEngine({});
  RawPipe pipe(engine.fd);
  const std::string targets = pipe.RoundTrip(R"({"id":1,"method":"Target.getTargets"})");
  const auto target = Json::parse(targets)["result"]["targetInfos"][0]["targetId"].get<std::string>();
  const auto attach = Json::parse(pipe.RoundTrip(
      Json({{"id", 2}, {"method", "Target.attachToTarget"}, {"params", {{"targetId", target}, {"flatten", true}}}})
          .dump()));
  const std::string session = attach["result"]["sessionId"];
  const auto document = Json::parse(pipe.RoundTrip(Json({{"id", 3},
                                                         {"method", "Runtime.evaluate"},
                                                         {"params", {{"expression", "document.title='T'; document"}}},
                                                         {"sessionId", session}})
                                                       .dump()));
  const std::string objectId = document["result"]["result"]["objectId"];
  const std::string read = Json({{"id", 4},
                                 {"method", "Runtime.callFunctionOn"},
                                 {"params",
                                  {{"objectId", objectId},
                                   {"functionDeclaration", "function(){return this.title;}"},
                                   {"returnByValue", false}}},
                                 {"sessionId", session}})
                               .dump();
  for (auto _ : state) benchmark::DoNotOptimize(pipe.RoundTrip(read));
  pipe.RoundTrip(R"({"id":5,"method":"Browser.close"})");
  StopEngine(engine, std::chrono::seconds(5));
  close(engine.fd);
}
BENCHMARK(BM_RawRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_DispatchPropertyRead(benchmark::State& state) {
  auto browser = Browser::Launch();
  auto page = browser->Pages().front();
  page->Evaluate("document.title='T'");
  auto names = std::make_shared<host::DomNames>();
  auto document = host::DocumentObject(page, names);
  const char16_t* name = u"title";
  DISPID id = 0;
  for (auto _ : state) {
    document->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    document->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
    VariantClear(&result);
  }
  document = nullptr;
  browser->Close();
}
BENCHMARK(BM_DispatchPropertyRead)->Unit(benchmark::kMicrosecond);

void BM_BareSpawnFirstReply(benchmark::State& state) {
  for (auto _ : state) {
    EngineProcess engine = SpawnEngine({});
    RawPipe pipe(engine.fd);
    benchmark::DoNotOptimize(pipe.RoundTrip(R"({"id":1,"method":"Target.getTargets"})"));
    state.PauseTiming();
    pipe.RoundTrip(R"({"id":2,"method":"Browser.close"})");
    StopEngine(engine, std::chrono::seconds(5));
    close(engine.fd);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_BareSpawnFirstReply)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_LaunchFirstReply(benchmark::State& state) {
  for (auto _ : state) {
    EngineProcess engine = SpawnEngine({});
    auto connection = std::make_unique<Connection>(engine.fd);
    benchmark::DoNotOptimize(connection->Call("Target.getTargets"));
    state.PauseTiming();
    try {
      connection->Call("Browser.close");
    } catch (const BrowserError&) {
    }
    StopEngine(engine, std::chrono::seconds(5));
    connection.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LaunchFirstReply)->Unit(benchmark::kMillisecond)->Iterations(5);

constexpr int kReads = 1000;

void BM_SequentialReads(benchmark::State& state) {
  auto browser = Browser::Launch();
  auto page = browser->Pages().front();
  const std::string document = page->Evaluate("document").ObjectId();
  for (auto _ : state) {
    for (int i = 0; i < kReads; ++i) page->CallOn(document, "function(){return this.title;}");
  }
  browser->Close();
}
BENCHMARK(BM_SequentialReads)->Unit(benchmark::kMillisecond);

void BM_PipelinedReads(benchmark::State& state) {
  auto browser = Browser::Launch();
  auto page = browser->Pages().front();
  const std::string document = page->Evaluate("document").ObjectId();
  std::vector<PendingCall> calls(kReads);
  for (auto _ : state) {
    for (auto& call : calls) call = page->SendCallOn(document, "function(){return this.title;}");
    for (auto& call : calls) benchmark::DoNotOptimize(call.Wait());
  }
  browser->Close();
}
BENCHMARK(BM_PipelinedReads)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
