// Item texts of a list through the host's DOM objects on the real engine, each measure beside
// its baseline in this binary:
//   BM_OneTextRead (baseline) vs BM_FindLastOfManyItems: the last of 10 000 options' text read by
//     one evaluation, against finding it as the select controls do (LineCount, then LineText of
//     each item in order until the text matches). The counter round_trips is the number of
//     protocol calls per search: a few (the count, one read of all texts), never one per item.
//     Goal: round_trips <= 3 and the search at most 50x the one read (it moves 10 000 texts).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "host/browser/browser.h"
#include "host/browser/objects/dom_object.h"
#include "platform/automation/dispatch.h"
#include "platform/rtl/strings.h"

namespace {

using namespace pw;
using namespace pw::browser;

constexpr int kItems = 10000;

struct ListPage {
  std::unique_ptr<Browser> browser = Browser::Launch();
  std::shared_ptr<Page> page = browser->Pages().front();
  ListPage() {
    page->Evaluate("(() => { const s = document.createElement('select'); s.id = 'many'; s.size = 10;"
                   "for (let i = 0; i < " + std::to_string(kItems) +
                   "; ++i) s.add(new Option('item ' + i)); document.body.appendChild(s); })()");
  }
  ~ListPage() { browser->Close(); }
};

OleVariant Read(IDispatch* object, const char16_t* name, std::vector<OleVariant> args = {}) {
  DISPID id = DISPID_UNKNOWN;
  object->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id);
  std::vector<VARIANT> reversed;
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(*it->Ptr());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<std::uint32_t>(reversed.size()), 0};
  VARIANT result;
  VariantInit(&result);
  object->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &params, &result, nullptr, nullptr);
  return OleVariant::Attach(result);
}

void BM_OneTextRead(benchmark::State& state) {
  ListPage list;
  const std::string expression = "document.getElementById('many').options[" + std::to_string(kItems - 1) + "].text";
  for (auto _ : state) benchmark::DoNotOptimize(list.page->Evaluate(expression));
}
BENCHMARK(BM_OneTextRead)->Unit(benchmark::kMicrosecond);

void BM_FindLastOfManyItems(benchmark::State& state) {
  ListPage list;
  auto names = std::make_shared<host::DomNames>();
  auto document = host::DocumentObject(list.page, names);
  OleVariant select = Read(document.Get(), u"getElementById", {OleVariant(u"many")});
  IDispatch* object = select.Ptr()->pdispVal;
  const WideString wanted = u"item " + Utf8ToWide(std::to_string(kItems - 1));
  std::int64_t calls = 0, searches = 0;
  for (auto _ : state) {
    const auto before = list.browser->Conn().CallsSent();
    // A fresh object per search: nothing kept from the previous one.
    OleVariant fresh = Read(document.Get(), u"getElementById", {OleVariant(u"many")});
    const std::int32_t count = Read(fresh.Ptr()->pdispVal, u"LineCount").Ptr()->lVal;
    std::int32_t found = -1;
    for (std::int32_t i = 0; i < count && found < 0; ++i) {
      OleVariant text = Read(fresh.Ptr()->pdispVal, u"LineText", {OleVariant(i)});
      if (text.Ptr()->vt == VT_BSTR && BstrView(text.Ptr()->bstrVal) == wanted) found = i;
    }
    if (found != kItems - 1) state.SkipWithError("the last item was not found");
    calls += list.browser->Conn().CallsSent() - before - 1;  // the element look-up is not the search's
    ++searches;
  }
  (void)object;
  state.counters["round_trips"] = searches ? static_cast<double>(calls) / static_cast<double>(searches) : 0;
}
BENCHMARK(BM_FindLastOfManyItems)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
