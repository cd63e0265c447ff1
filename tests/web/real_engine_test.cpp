// The navigation slices against the real engine (CTest "web_engine", label "engine"): a browser
// process sent to local pages by ToUrl, the page node it answers and the log entry.
#include <cstdlib>
#include <fstream>
#include <future>
#include <mutex>

#include <nlohmann/json.hpp>

#include "core/automation/dispatch_helpers.h"
#include "host/browser/objects/browsers.h"
#include "tests/support/scratch_dir.h"
#include "tests/web/nav_fixture.h"
#include "web/navigation/canonical_url.h"
#include "web/navigation/ie_browser_events.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/page_search.h"
#include "web/navigation/process_to_url.h"
#include "web/navigation/window_helpers.h"

namespace pw::web::test {
namespace {

bool EngineTestsWanted() {
  const char* env = std::getenv("PW_ENGINE_TESTS");
  return env && std::string(env) == "1";
}

class RealEngineNavigation : public NavTest {
 protected:
  void SetUp() override {
    if (!EngineTestsWanted()) GTEST_SKIP() << "the engine tests run in the test web_engine";
    std::ofstream(dir.Utf8File("first.html")) << "<html><head><title>First</title></head><body>1</body></html>";
    std::ofstream(dir.Utf8File("second.html")) << "<html><head><title>Second</title></head><body>2</body></html>";
  }
  std::string Url(const std::string& name) { return "file://" + dir.Utf8File(name); }

  pw::test::ScratchDir dir;
  host::ScopedRunState run{host.RunState(), host::kRunStateRunning};
};

TEST_F(RealEngineNavigation, ToUrlOfTheBrowserProcessNavigatesItsPage) {
  auto chrome = host.Browsers().Launch(host::BrowserKind::Chrome, Url("first.html"));
  auto process = chrome->node->Parent();
  ASSERT_TRUE(process);
  auto slice = MakeObject<TpwWebProcessToUrlMethod>(Manager(), false);
  OleCheck(process->AddExtension(IpwWebPageLocator2::iid, static_cast<IDispatch*>(slice->Dispatch()), GUID_NULL, 0));

  // The page the browser shows is found by the same search the slice uses.
  EXPECT_EQ(FindVisibleBrowserPage(Node(process), Manager()).Get(), Node(chrome->node));

  const WideString second = Utf8ToWide(Url("second.html"));
  const OleVariant args[] = {OleVariant(second)};
  OleVariant result = DispInvoke(static_cast<IpwSysNodeEx*>(process.Get()), u"ToUrl", args);
  auto page = VarToDispatch(result.Get());
  ASSERT_TRUE(page);
  EXPECT_EQ(QueryAs<IUnknown>(page.Get()).Get(), QueryAs<IUnknown>(Node(chrome->node)).Get());
  EXPECT_EQ(NodeText(page.Get(), u"URL"), second);
  OleVariant title = DispGetProperty(host.Browsers().Document(*chrome).Get(), u"title", OleVariant());
  EXPECT_EQ(title.AsString(), u"Second");
  auto entries = host.Log().Entries();
  ASSERT_FALSE(entries.empty());
  EXPECT_NE(entries.back().text.find(u"Navigating to the "), WideString::npos);
  EXPECT_NE(entries.back().additionalText.find(u"URL: " + second), WideString::npos);
  // The host names it Page("url") and "Page" (the front browser's).
  auto named = FindPageByIdentification(Manager(), PageIdentification(second));
  EXPECT_EQ(QueryAs<IUnknown>(named.Get()).Get(), QueryAs<IUnknown>(Node(chrome->node)).Get());
  auto front = FindPageByIdentification(Manager(), u"Page");
  EXPECT_EQ(QueryAs<IUnknown>(front.Get()).Get(), QueryAs<IUnknown>(Node(chrome->node)).Get());
  // The page is found by its URL below the process.
  EXPECT_EQ(FindPageByProperty(Node(process), GUID_NULL, second, false, Manager()).Get(), Node(chrome->node));
}

TEST_F(RealEngineNavigation, AnAlertIsClosedAsAnUnexpectedWindow) {
  auto chrome = host.Browsers().Launch(host::BrowserKind::Chrome, Url("first.html"));
  auto process = chrome->node->Parent();
  std::int32_t pid = 0;
  ASSERT_EQ(QueryAs<IpwSysObjectProcess>(static_cast<IpwSysNodeEx*>(process.Get()))->GetProcessId(&pid), S_OK);
  EXPECT_FALSE(CloseUnexpectedWindows(Manager(), pid));  // nothing to close yet
  std::promise<void> opened, closed;
  chrome->events->Listen([&](const host::BrowserEvent& e) {
    if (e.kind == host::BrowserEventKind::DialogOpened) opened.set_value();
    if (e.kind == host::BrowserEventKind::DialogClosed) closed.set_value();
  });
  chrome->page->Evaluate("setTimeout(() => alert('Hello'), 0)");
  ASSERT_EQ(opened.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
  ASSERT_NE(chrome->dialogWindow, 0);
  const auto before = host.Log().Entries().size();
  EXPECT_TRUE(CloseUnexpectedWindows(Manager(), pid));
  ASSERT_EQ(closed.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_EQ(chrome->dialogWindow, 0);
  auto entries = host.Log().Entries();
  ASSERT_EQ(entries.size(), before + 1);
  EXPECT_EQ(entries.back().kind, host::LogEntry::Warning);
  EXPECT_EQ(entries.back().text, kCloseWithEscText);
  // The page answers again once its dialog is gone.
  OleVariant title = DispGetProperty(host.Browsers().Document(*chrome).Get(), u"title", OleVariant());
  EXPECT_EQ(title.AsString(), u"First");
}

// The engine's own URL parser is the oracle of the canonical form: both agree but for the
// listed browser-mode differences (the engine's value is given where it differs).
TEST_F(RealEngineNavigation, CanonicalUrlsAgreeWithTheEnginesUrlParser) {
  auto chrome = host.Browsers().Launch(host::BrowserKind::Chrome, Url("first.html"));
  const std::string longPath = std::string(300, 'p');
  struct Case {
    std::string base, given;
    const char* engine;  // nullptr: the engine gives our result
  } cases[] = {
      {"", "HTTP://WWW.Example.COM/Path/File.HTM", nullptr},
      {"", "http://example.com", nullptr},
      {"", "http://example.com/a/b/../c/./d.htm", nullptr},
      {"", "http://example.com/../../x", nullptr},
      {"", "http://example.com:80/x", nullptr},
      {"", "https://example.com:443/", nullptr},
      {"", "http://example.com:8080/", nullptr},
      {"", "ftp://user:pw@Example.com:21/a", nullptr},
      {"", "http://[::1]:80/", nullptr},
      {"", "http://example.com/caf\xc3\xa9", nullptr},
      {"", "http://example.com/a\"<b>`{c}", nullptr},
      {"", "http://example.com/%7e?x=%41", nullptr},
      {"", "http://example.com?q", nullptr},
      {"", "http://example.com#top", nullptr},
      {"", "about:blank", nullptr},
      {"", "file:///tmp/a.htm", nullptr},
      {"", "file:////tmp/a.htm", nullptr},
      {"", "file:/tmp/a.htm", nullptr},
      {"", "file://Server/share/a.htm", nullptr},
      {"", "HTTP://Example.com/" + longPath + "/../q?" + std::string(300, 'x'), nullptr},
      // the query and fragment are kept as given
      {"", "http://example.com/my page.htm?a b=c d#e f", "http://example.com/my%20page.htm?a%20b=c%20d#e%20f"},
      // "localhost" is dropped (the engine's parser keeps it; its navigation drops it)
      {"", "file://localhost/tmp/a.htm", "file://localhost/tmp/a.htm"},
      // backslashes in http paths are not turned into slashes
      {"", "http://example.com/a\\b", "http://example.com/a/b"},
      // references against a base
      {"http://Example.com/b/c/d.htm?x=1#y", "../e.htm", nullptr},
      {"http://Example.com/b/c/d.htm?x=1#y", "/e.htm", nullptr},
      {"http://Example.com/b/c/d.htm?x=1#y", "?q=2", nullptr},
      {"http://Example.com/b/c/d.htm?x=1#y", "#top", nullptr},
      {"http://Example.com/b/c/d.htm?x=1#y", "//Other.com/x", nullptr},
      {"file:///tmp/b/c.htm", "../../../d.htm", nullptr},
      {"http://Example.com/b/c/d.htm", "e f.htm?g h", "http://example.com/b/c/e%20f.htm?g%20h"},
  };
  nlohmann::json list = nlohmann::json::array();
  for (const auto& c : cases) list.push_back({c.base, c.given});
  // One round trip for all cases.
  auto value = chrome->page->Evaluate("JSON.stringify(" + list.dump() +
                                      ".map(([b, u]) => { try { return b ? new URL(u, b).href : new URL(u).href; }"
                                      " catch (e) { return null; } }))");
  auto engine = nlohmann::json::parse(value.object.at("value").get<std::string>());
  ASSERT_EQ(engine.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    const WideString given = Utf8ToWide(c.given);
    const std::string ours =
        WideToUtf8(c.base.empty() ? CanonicalizeUrl(given) : ResolveUrl(Utf8ToWide(c.base), given));
    ASSERT_TRUE(engine[i].is_string()) << c.given;
    EXPECT_EQ(engine[i].get<std::string>(), c.engine ? std::string(c.engine) : ours) << c.base << " + " << c.given;
    if (c.engine) {
      EXPECT_NE(ours, c.engine) << "no longer a difference: " << c.given;
    }
  }
}

// A real navigation reaches the event state machine (each host browser event handed on under
// its event's DISPID, as the browser's event interface numbers them) as one BeforeNavigate and
// one PageDownloaded with the canonical location.
TEST_F(RealEngineNavigation, ARealNavigationGivesOneBeforeNavigateAndOnePageDownloaded) {
  auto chrome = host.Browsers().Launch(host::BrowserKind::Chrome, Url("first.html"));
  std::mutex lock;
  std::string location;
  TpwIEBrowserEventStates states(nullptr, [&](IUnknown*) {
    std::lock_guard g(lock);
    return Utf8ToWide(location);
  });
  std::vector<WideString> seen;
  std::promise<void> downloaded;
  states.OnBeforeNavigate = [&](IUnknown*, const WideString& url) { seen.push_back(u"before " + url); };
  states.OnPageDownloaded = [&](IUnknown*, const WideString& url) {
    seen.push_back(u"downloaded " + url);
    downloaded.set_value();
  };
  states.OnDownloadStarted = [&](IUnknown*) { seen.push_back(u"started"); };
  states.OnDownloadFinished = [&](IUnknown*) { seen.push_back(u"finished"); };
  chrome->events->Listen([&](const host::BrowserEvent& e) {
    std::optional<DISPID> id;
    switch (e.kind) {
      case host::BrowserEventKind::BeforeNavigate: id = kDispidBeforeNavigate2; break;
      case host::BrowserEventKind::DownloadBegin: id = kDispidDownloadBegin; break;
      case host::BrowserEventKind::DownloadComplete: id = kDispidDownloadComplete; break;
      case host::BrowserEventKind::DocumentComplete: id = kDispidDocumentComplete; break;
      case host::BrowserEventKind::NavigateComplete: {
        std::lock_guard g(lock);
        location = e.url;
        return;
      }
      default: return;
    }
    // BeforeNavigate2's arguments in reverse order: the URL is the second argument.
    std::vector<VARIANT> args(7);
    for (auto& a : args) VariantInit(&a);
    BString url(Utf8ToWide(e.url));
    args[5].vt = VT_BSTR;
    args[5].bstrVal = url.Get();
    DISPPARAMS params{args.data(), nullptr, static_cast<std::uint32_t>(args.size()), 0};
    states.HandleDispatchEvent(*id, &params);
  });
  const std::string target = Url("second.html") + "?a=1";
  host.Browsers().Navigate(*chrome, target);
  ASSERT_EQ(downloaded.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
  const WideString canonical = CanonicalizeUrl(Utf8ToWide(target));
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen.front(), u"before " + Utf8ToWide(target));
  EXPECT_EQ(seen.back(), u"downloaded " + canonical);
  EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [](const WideString& s) { return s.starts_with(u"before"); }), 1);
  EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [](const WideString& s) { return s.starts_with(u"downloaded"); }),
            1);
  EXPECT_EQ(states.State(), 0);
}

}  // namespace
}  // namespace pw::web::test
