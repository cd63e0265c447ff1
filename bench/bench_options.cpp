// Options XML files: load and save of a 10 MB file with 100 000 properties, beside the raw
// parse speed of the XML parser over the same bytes; and the read of a file whose one
// attribute is 40 MB long, beside the raw parse of it (goal: at most 1.5 times the raw parse).
//
// Counters: bytes_per_second is the file's size per iteration; held_MB is the heap that the
// loaded tree and its storage keep; peak_rss_MB is the process's peak resident size so far.
#include <benchmark/benchmark.h>
#include <expat.h>
#include <malloc.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/options/options_name_pool.h"
#include "core/options/options_tree.h"
#include "core/options/options_xml_storage.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"

namespace {

using namespace pw;

constexpr int kNodes = 1000;
constexpr int kPropertiesPerNode = 100;

struct Fixture {
  std::filesystem::path dir;
  std::string file;
  std::string bytes;

  Fixture() {
    StartOptionsNamePool();
    std::string tmpl = (std::filesystem::temp_directory_path() / "pwbenchXXXXXX").string();
    dir = ::mkdtemp(tmpl.data());
    file = (dir / "large.xml").string();
    auto builder = CreateOptionsBuilder();
    builder->SetReader(CreateOptionsXmlReader(Utf8ToWide(file), true).Get());
    auto root = builder->GetRoot();
    for (int n = 0; n < kNodes; ++n) {
      ComPtr<IcvOptionsNode> node;
      SafeCallCheck(root->GetNode(u"node" + IntToWide(n), node.Put()));
      ComPtr<IcvOptionsProperties> p;
      SafeCallCheck(node->GetProperties(p.Put()));
      for (int i = 0; i < kPropertiesPerNode; ++i) {
        const WideString name = u"property" + IntToWide(i);
        switch (i % 5) {
          case 0: SafeCallCheck(p->SetInteger(name, n * i)); break;
          case 1: SafeCallCheck(p->SetDouble(name, n / (i + 1.0))); break;
          case 2: SafeCallCheck(p->SetBoolean(name, ToWordBool(i & 2))); break;
          default:
            SafeCallCheck(p->SetString(name, u"a value of node " + IntToWide(n) + u" & property " + IntToWide(i) +
                                                 u" with some more text to fill the line up to the length that such lines have in files"));
        }
      }
    }
    builder->Save();
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    bytes = s.str();
  }
  ~Fixture() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    StopOptionsNamePool();
  }
};

Fixture& Data() {
  static Fixture fixture;
  return fixture;
}

double PeakRssMB() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) / 1024.0;
}

double HeapMB() { return static_cast<double>(mallinfo2().uordblks) / (1024.0 * 1024.0); }

void XMLCALL CountStart(void* data, const XML_Char*, const XML_Char**) { ++*static_cast<long*>(data); }

// The parser alone over the bytes in memory, with an element handler that only counts.
void BM_ExpatRawParse(benchmark::State& state) {
  const std::string& bytes = Data().bytes;
  long elements = 0;
  for (auto _ : state) {
    XML_Parser p = XML_ParserCreate(nullptr);
    XML_SetUserData(p, &elements);
    XML_SetElementHandler(p, CountStart, nullptr);
    if (XML_Parse(p, bytes.data(), static_cast<int>(bytes.size()), XML_TRUE) != XML_STATUS_OK)
      state.SkipWithError("parse failed");
    XML_ParserFree(p);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  state.counters["file_MB"] = static_cast<double>(bytes.size()) / (1024.0 * 1024.0);
}
BENCHMARK(BM_ExpatRawParse)->Unit(benchmark::kMillisecond);

// Reading the file into the storage's records (what a first GetRoot does).
void BM_OptionsParseIntoStorage(benchmark::State& state) {
  for (auto _ : state) {
    auto storage = CreateOptionsXmlReader(Utf8ToWide(Data().file), true);
    benchmark::DoNotOptimize(storage->GetRoot());
    state.PauseTiming();
    storage = nullptr;
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Data().bytes.size()));
}
BENCHMARK(BM_OptionsParseIntoStorage)->Unit(benchmark::kMillisecond);

// One Binary property whose hexadecimal value is 40 MB long: the storage's read against the
// parser's raw parse of the same bytes in one call. A token longer than the parser's buffer
// must be scanned once, not again for every piece of the file that arrives.
struct LongAttribute {
  std::filesystem::path dir;
  std::string file;
  std::string bytes;
  LongAttribute() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "pwbenchXXXXXX").string();
    dir = ::mkdtemp(tmpl.data());
    file = (dir / "long.xml").string();
    bytes = "<Nodes version=\"1\"><Node name=\"root\"><Prp name=\"blob\" type=\"H\" value=\"";
    bytes.append(40u << 20, 'A');
    bytes += "\"/></Node></Nodes>";
    std::ofstream(file, std::ios::binary) << bytes;
  }
  ~LongAttribute() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

LongAttribute& LongData() {
  static LongAttribute data;
  return data;
}

void BM_LongAttributeExpatRawParse(benchmark::State& state) {
  const std::string& bytes = LongData().bytes;
  long elements = 0;
  for (auto _ : state) {
    XML_Parser p = XML_ParserCreate(nullptr);
    XML_SetUserData(p, &elements);
    XML_SetElementHandler(p, CountStart, nullptr);
    if (XML_Parse(p, bytes.data(), static_cast<int>(bytes.size()), XML_TRUE) != XML_STATUS_OK)
      state.SkipWithError("parse failed");
    XML_ParserFree(p);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_LongAttributeExpatRawParse)->Unit(benchmark::kMillisecond);

void BM_LongAttributeParseIntoStorage(benchmark::State& state) {
  for (auto _ : state) {
    auto storage = MakeObject<TcvSAX2OptionsReader>(Utf8ToWide(LongData().file), true);
    benchmark::DoNotOptimize(storage->GetRoot());
    if (storage->GetLoadFailure().failed) state.SkipWithError("the file did not read");
    state.PauseTiming();
    storage = nullptr;
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * LongData().bytes.size()));
}
BENCHMARK(BM_LongAttributeParseIntoStorage)->Unit(benchmark::kMillisecond);

// Reading the whole file into a tree: every node and every property table.
void BM_OptionsLoadAll(benchmark::State& state) {
  double held = 0;
  for (auto _ : state) {
    const double before = HeapMB();
    auto builder = CreateOptionsBuilder();
    builder->SetReader(CreateOptionsXmlReader(Utf8ToWide(Data().file), true).Get());
    builder->LoadAll();
    held = HeapMB() - before;
    state.PauseTiming();  // freeing the tree is not part of loading it
    builder = nullptr;
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Data().bytes.size()));
  state.counters["held_MB"] = held;
  state.counters["peak_rss_MB"] = PeakRssMB();
}
BENCHMARK(BM_OptionsLoadAll)->Unit(benchmark::kMillisecond);

// Saving a loaded tree: the storage rewrites the whole file.
void BM_OptionsSaveWhole(benchmark::State& state) {
  auto builder = CreateOptionsBuilder();
  builder->SetReader(CreateOptionsXmlReader(Utf8ToWide(Data().file), true).Get());
  builder->LoadAll();
  for (auto _ : state) builder->Save();
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Data().bytes.size()));
  state.counters["peak_rss_MB"] = PeakRssMB();
}
BENCHMARK(BM_OptionsSaveWhole)->Unit(benchmark::kMillisecond);

// One property changed in a large file: the tree sends one value; the file is written again
// from the records, without parsing it again.
void BM_OptionsChangeOneAndSave(benchmark::State& state) {
  auto builder = CreateOptionsBuilder();
  builder->SetReader(CreateOptionsXmlReader(Utf8ToWide(Data().file), true).Get());
  ComPtr<IcvOptionsNode> node;
  SafeCallCheck(builder->GetRoot()->GetNode(u"node500", node.Put()));
  ComPtr<IcvOptionsProperties> p;
  SafeCallCheck(node->GetProperties(p.Put()));
  std::int32_t value = 0;
  for (auto _ : state) {
    SafeCallCheck(p->SetInteger(u"property0", ++value));
    builder->Save();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Data().bytes.size()));
}
BENCHMARK(BM_OptionsChangeOneAndSave)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
