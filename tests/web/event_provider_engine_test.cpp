// The web project event provider against the real engine (CTest "web_engine", label "engine"):
// the "iexplore" adapter's browsers found through the shell windows, their navigations and quits
// raised on the host's event sets while a test runs, and the dialog poll reading a real page's
// document through its server window.
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <future>
#include <mutex>

#include "core/com/agile_objects.h"
#include "host/browser/objects/browsers.h"
#include "platform/kernel/processes.h"
#include "platform/ui/window_messages.h"
#include "tests/support/scratch_dir.h"
#include "tests/web/nav_fixture.h"
#include "web/events/ie_browser_locator.h"
#include "web/events/web_project_event_provider.h"
#include "web/navigation/canonical_url.h"

namespace pw::web::test {
namespace {

bool EngineTestsWanted() {
  const char* env = std::getenv("PW_ENGINE_TESTS");
  return env && std::string(env) == "1";
}

// How long the engine may take for a page (real time: the engine's events are awaited).
constexpr auto kEngineWait = std::chrono::seconds(30);

class RealEngineEventProvider : public NavTest {
 protected:
  void SetUp() override {
    if (!EngineTestsWanted()) GTEST_SKIP() << "the engine tests run in the test web_engine";
    std::ofstream(dir.Utf8File("first.html")) << "<html><head><title>First</title></head><body>1</body></html>";
    std::ofstream(dir.Utf8File("second.html")) << "<html><head><title>Second</title></head><body>2</body></html>";
    host.EventSets().SetOnRaised([this](const host::TRaisedEvent& e) {
      WideString line = e.member;
      if (e.arguments.size() == 2) line += u" " + e.arguments[1].AsString();
      const OleVariant browser = e.arguments.empty() ? OleVariant() : e.arguments[0];
      const bool hasBrowser = browser.Type() == VT_UNKNOWN && browser.Get().punkVal;
      line += hasBrowser ? u" [browser]" : u" [none]";
      std::lock_guard g(lock);
      lines.push_back(line);
      if (hasBrowser) browsers.push_back(ComPtr<IUnknown>(browser.Get().punkVal));
      changed.notify_all();
    });
    provider = MakeObject<TpwWebProjectEventProvider>();
    ASSERT_EQ(provider->Initialize(Manager()), S_OK);
  }
  void TearDown() override {
    if (provider) provider->Finalize();
    provider = nullptr;
    host.EventSets().SetOnRaised({});
    host.Browsers().CloseAll();
    SetWindowMessageHandler(kDialogServer, nullptr);
    RemoveProcessDescription(kDialogProcess);
  }
  // The HTML dialog that a test describes.
  static constexpr DWORD kDialogProcess = 0x7D00;
  static constexpr HWND kDialogFrame = 0x7D0000, kDialogServer = 0x7D0002;

  std::string Url(const std::string& name) { return "file://" + dir.Utf8File(name); }
  WideString Canonical(const std::string& name) { return CanonicalizeUrl(Utf8ToWide(Url(name))); }

  // Waits until `line` was raised (awaiting the worker that raises it).
  bool WaitForLine(const WideString& line) {
    std::unique_lock g(lock);
    return changed.wait_for(g, kEngineWait, [&] { return std::find(lines.begin(), lines.end(), line) != lines.end(); });
  }
  std::vector<WideString> Lines() {
    std::lock_guard g(lock);
    auto sorted = lines;
    std::sort(sorted.begin(), sorted.end());
    return sorted;
  }
  // A promise kept when the browser's next event of the kind arrives; registered after the
  // browser object, so that object's sinks have seen the event by then.
  std::future<void> Next(host::TestedBrowser& browser, host::BrowserEventKind kind) {
    auto promise = std::make_shared<std::promise<void>>();
    auto done = std::make_shared<std::once_flag>();
    browser.events->Listen([promise, done, kind](const host::BrowserEvent& e) {
      if (e.kind == kind) std::call_once(*done, [&] { promise->set_value(); });
    });
    return promise->get_future();
  }
  // The browser object an event carried (its apartment-neutral wrapper) is the adapter's.
  static bool IsBrowserObject(IUnknown* carried, IDispatch* object) {
    ComPtr<IDispatch> dispatch;
    GlobalToDispatch(carried, dispatch);
    return dispatch && QueryAs<IUnknown>(dispatch.Get()).Get() == QueryAs<IUnknown>(object).Get();
  }

  pw::test::ScratchDir dir;
  ComPtr<TpwWebProjectEventProvider> provider;
  std::mutex lock;
  std::condition_variable changed;
  std::vector<WideString> lines;
  std::vector<ComPtr<IUnknown>> browsers;
};

TEST_F(RealEngineEventProvider, TheAdaptersBrowserIsFoundAndItsNavigationsRaiseEventsOnlyWhileATestRuns) {
  auto ie = host.Browsers().Launch(host::BrowserKind::InternetExplorer, Url("first.html"));
  ASSERT_EQ(provider->Start(), S_OK);
  EXPECT_EQ(provider->SinkCount(), 1u);  // the shell windows' rescan at Start
  EXPECT_EQ(provider->BrowserWindowCount(), 1u);
  auto object = host.Browsers().BrowserObject(*ie);
  EXPECT_EQ(FindIEServerWindow(object.Get()), ie->window + 2);

  // Outside a run: the sink follows the navigation, and nothing is raised.
  auto loaded = Next(*ie, host::BrowserEventKind::DocumentComplete);
  host.Browsers().Navigate(*ie, Url("second.html"));
  ASSERT_EQ(loaded.wait_for(kEngineWait), std::future_status::ready);
  EXPECT_EQ(provider->JobCount(), 0u);
  EXPECT_TRUE(Lines().empty());

  {
    host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
    host.Browsers().Navigate(*ie, Url("first.html"));
    ASSERT_TRUE(WaitForLine(u"OnWebPageDownloaded " + Canonical("first.html") + u" [browser]"));
    ASSERT_EQ(provider->Stop(), S_OK);
  }
  EXPECT_EQ(Lines(), (std::vector<WideString>{u"OnWebBeforeNavigate " + Canonical("first.html") + u" [browser]",
                                              u"OnWebDownloadFinished [browser]", u"OnWebDownloadStarted [browser]",
                                              u"OnWebPageDownloaded " + Canonical("first.html") + u" [browser]"}));
  std::lock_guard g(lock);
  for (const auto& carried : browsers) EXPECT_TRUE(IsBrowserObject(carried.Get(), object.Get()));
}

TEST_F(RealEngineEventProvider, ABrowserThatOpensLaterIsFollowedAndItsQuitReported) {
  ASSERT_EQ(provider->Start(), S_OK);
  EXPECT_EQ(provider->SinkCount(), 0u);
  host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
  auto ie = host.Browsers().Launch(host::BrowserKind::InternetExplorer, Url("first.html"));
  EXPECT_EQ(provider->SinkCount(), 1u);  // the shell windows announced it
  ASSERT_TRUE(WaitForLine(u"OnWebPageDownloaded " + Canonical("first.html") + u" [browser]"));
  EXPECT_EQ(provider->BrowserWindowCount(), 1u);
  // A "chrome" browser is no browser of the shell windows.
  host.Browsers().Launch(host::BrowserKind::Chrome, Url("second.html"));
  EXPECT_EQ(provider->SinkCount(), 1u);

  ASSERT_TRUE(host.Browsers().Close(ie->id));
  ASSERT_TRUE(WaitForLine(u"OnWebQuit [browser]"));
  EXPECT_EQ(provider->SinkCount(), 1u);  // until Stop
  ASSERT_EQ(provider->Stop(), S_OK);
  EXPECT_EQ(provider->SinkCount(), 0u);
  const auto all = Lines();
  EXPECT_EQ(std::count(all.begin(), all.end(), WideString(u"OnWebQuit [browser]")), 1);
  EXPECT_EQ(
      std::count_if(all.begin(), all.end(), [](const WideString& l) { return l.find(u"second") != WideString::npos; }),
      0);
}

// The engine opens no HTML dialogs: a dialog frame is described in the window model, and its
// server window hands over the document of a real adapter page (it asks the page's own server
// window). A JavaScript alert of the page is no HTML dialog and is not reported.
TEST_F(RealEngineEventProvider, TheDialogPollReadsARealPagesDocumentThroughItsServerWindow) {
  constexpr HWND kFrame = kDialogFrame, kServer = kDialogServer;
  auto ie = host.Browsers().Launch(host::BrowserKind::InternetExplorer, Url("first.html"));
  const HWND pageServer = ie->window + 2;
  auto document = GetDocumentOfWindow(pageServer);
  ASSERT_TRUE(document);
  EXPECT_EQ(DispGetProperty(document.Get(), u"title", OleVariant()).AsString(), u"First");

  DescribeProcess({kDialogProcess,
                   u"iexplore.exe",
                   {},
                   {{kFrame,
                     u"Internet Explorer_TridentDlgFrame",
                     {{kFrame + 1, u"Shell DocObject View", {{kServer, u"Internet Explorer_Server"}}}}}}});
  ASSERT_TRUE(SetWindowMessageHandler(kServer, [pageServer](HWND, unsigned message, WPARAM wParam, LPARAM lParam) {
    LRESULT answer = 0;
    SendMessageTimeoutA(pageServer, message, wParam, lParam, SMTO_ABORTIFHUNG, 1000, &answer);
    return answer;
  }));
  EXPECT_EQ(DialogServerWindows(), std::vector<HWND>{kServer});

  host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
  ASSERT_EQ(provider->Start(), S_OK);
  provider->PollDialogs();
  provider->PollDialogs();  // still open: not again
  const WideString url = Canonical("first.html");
  ASSERT_TRUE(WaitForLine(u"OnWebBeforeNavigate " + url + u" [none]"));
  ASSERT_TRUE(WaitForLine(u"OnWebPageDownloaded " + url + u" [none]"));

  // A JavaScript alert: a "#32770" window of the browser, no HTML dialog; its page cannot hand
  // over its document while the alert is open.
  auto opened = Next(*ie, host::BrowserEventKind::DialogOpened);
  ie->page->Evaluate("setTimeout(() => alert('Hello'), 0)");
  ASSERT_EQ(opened.wait_for(kEngineWait), std::future_status::ready);
  ASSERT_NE(ie->dialogWindow, 0u);
  provider->PollDialogs();
  EXPECT_EQ(provider->DialogWindowCount(), 1u);
  EXPECT_FALSE(GetDocumentOfWindow(pageServer));
  host.Browsers().CloseDialog(ie->dialogWindow, true);

  SetWindowMessageHandler(kServer, nullptr);
  RemoveProcessDescription(kDialogProcess);
  provider->PollDialogs();  // closed: forgotten, without an event
  EXPECT_EQ(provider->DialogWindowCount(), 0u);
  ASSERT_EQ(provider->Stop(), S_OK);
  EXPECT_EQ(Lines(), (std::vector<WideString>{u"OnWebBeforeNavigate " + url + u" [none]",
                                              u"OnWebPageDownloaded " + url + u" [none]"}));
}

}  // namespace
}  // namespace pw::web::test
