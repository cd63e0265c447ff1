// The test host's browsers against scripted engines: processes, windows and nodes of each
// kind, popups, closing, and a new engine after the old one died.
#include "host/browser/objects/browsers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>

#include "host/browser/fake_engine.h"
#include "host/browser/objects/shell_windows.h"
#include "host/browser/objects/web_browser.h"
#include "platform/com/marshal.h"
#include "tests/browser/dispatch_call.h"
#include "tests/browser/recording_sink.h"
#include "host/test_host.h"
#include "platform/kernel/processes.h"

namespace pw::host {
namespace {

using browser::FakeEngine;
using test::Advise;
using test::RecordingSink;

struct BrowsersTest : ::testing::Test {
  std::vector<std::unique_ptr<FakeEngine>> engines;
  std::unique_ptr<TestHost> host;
  int started = 0;
  void SetUp() override {
    for (int i = 0; i < 2; ++i) engines.push_back(std::make_unique<FakeEngine>());
    TestHostOptions options;
    options.interactive = false;
    host = std::make_unique<TestHost>(options);
    host->Browsers().SetEngineFactory(
        [this] { return browser::Browser::Attach(engines.at(started++)->TakeClientEnd()); });
  }
  void TearDown() override {
    host.reset();
    engines.clear();
  }
  // Waits until the events the engine has sent so far have been handled: a round trip through
  // the engine puts its answer behind them on the pipe, then one through the event thread.
  void Settle() {
    host->Browsers().Engine().Conn().Call("Test.ping");
    std::promise<void> done;
    host->Browsers().Engine().Conn().Post([&] { done.set_value(); });
    done.get_future().wait();
  }
};

TEST_F(BrowsersTest, EachKindIsAProcessWithAWindowAndANodePerPage) {
  EXPECT_FALSE(host->Browsers().EngineRunning());  // started lazily
  auto chrome = host->Browsers().Launch(BrowserKind::Chrome, "file:///a.html");
  auto ie1 = host->Browsers().Launch(BrowserKind::InternetExplorer);
  auto ie2 = host->Browsers().Launch(BrowserKind::InternetExplorer, "file:///b.html");
  EXPECT_EQ(started, 1);
  EXPECT_EQ(engines[0]->WaitForCall("Page.navigate")["params"]["url"], "file:///a.html");
  EXPECT_EQ(host->Browsers().List().size(), 3u);

  const auto processes = host->Processes().All();
  ASSERT_EQ(processes.size(), 2u);
  const auto chromeProcess = FindProcessDescription(processes[0]->Id());
  const auto ieProcess = FindProcessDescription(processes[1]->Id());
  ASSERT_TRUE(chromeProcess && ieProcess);
  EXPECT_EQ(chromeProcess->name, u"chrome.exe");
  EXPECT_EQ(ieProcess->name, u"iexplore.exe");
  ASSERT_EQ(ieProcess->windows.size(), 2u);
  EXPECT_EQ(GetWindowClassName(ie2->window), u"IEFrame");
  EXPECT_EQ(GetWindowClassName(chrome->window), u"Chrome_WidgetWin_1");
  EXPECT_NE(ie1->window, ie2->window);
  EXPECT_EQ(host->Browsers().FindByWindow(ie1->window), ie1);
  EXPECT_EQ(processes[1]->Node()->Children().size(), 2u);

  EXPECT_TRUE(host->Browsers().Close(ie1->id));
  EXPECT_FALSE(host->Browsers().Close(ie1->id));
  EXPECT_EQ(engines[0]->WaitForCall("Target.closeTarget")["params"]["targetId"], ie1->page->TargetId());
  EXPECT_EQ(FindProcessDescription(processes[1]->Id())->windows.size(), 1u);
  EXPECT_EQ(processes[1]->Node()->Children().size(), 1u);

  host->Browsers().CloseAll();
  EXPECT_TRUE(host->Processes().All().empty());
  EXPECT_TRUE(host->Browsers().List().empty());
}

TEST_F(BrowsersTest, APopupIsABrowserOfItsOpenersKind) {
  auto ie = host->Browsers().Launch(BrowserKind::InternetExplorer);
  engines[0]->Emit("Target.targetCreated",
                   {{"targetInfo", {{"targetId", "P77"}, {"type", "page"}, {"openerId", ie->page->TargetId()}}}});
  engines[0]->WaitForCall("Target.attachToTarget", 3);
  Settle();
  auto all = host->Browsers().List();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1]->kind, BrowserKind::InternetExplorer);
  EXPECT_EQ(all[1]->page->OpenerId(), ie->page->TargetId());
  engines[0]->Emit("Target.targetDestroyed", {{"targetId", "P77"}});
  Settle();
  EXPECT_EQ(host->Browsers().List().size(), 1u);
}

TEST_F(BrowsersTest, ADeadEngineIsReplacedAtTheNextUseAndTheLogSaysSo) {
  auto first = host->Browsers().Launch(BrowserKind::Chrome);
  std::promise<void> closed;
  host->Browsers().Engine().OnClosed([&] { closed.set_value(); });
  engines[0]->Close();
  closed.get_future().wait();
  EXPECT_FALSE(host->Browsers().EngineRunning());
  auto second = host->Browsers().Launch(BrowserKind::Chrome);
  EXPECT_EQ(started, 2);
  EXPECT_EQ(host->Browsers().List().size(), 1u);  // the dead engine's browsers are gone
  bool said = false;
  for (const auto& entry : host->Log().Entries()) {
    said |= entry.kind == LogEntry::Warning && entry.text == u"The browser engine has closed; a new one is started";
  }
  EXPECT_TRUE(said);
}

// Records the browser events of a browser as "Kind url" lines.
struct EventLog {
  std::mutex mutex;
  std::vector<std::string> lines;
  void Listen(BrowserEvents& events) {
    events.Listen([this](const BrowserEvent& e) {
      std::lock_guard lock(mutex);
      lines.push_back(std::string(BrowserEventName(e.kind)) + (e.url.empty() ? "" : " " + e.url));
    });
  }
  std::vector<std::string> Lines() {
    std::lock_guard lock(mutex);
    return lines;
  }
};

TEST_F(BrowsersTest, ANavigationReportsItsEventsInOrderAndTheirState) {
  FakeEngine& engine = *engines[0];
  engine.On("Page.navigate", [&](const FakeEngine::Json& call) {
    const std::string s = call["sessionId"], target = s.substr(2), url = call["params"]["url"];
    engine.Reply(call["id"], {{"frameId", target}, {"loaderId", "LX"}});
    engine.Emit("Page.frameStartedLoading", {{"frameId", target}}, s);
    // An older document's lifecycle, repeated late, does not count.
    engine.Emit("Page.lifecycleEvent", {{"frameId", target}, {"loaderId", "L0"}, {"name", "load"}}, s);
    engine.Emit("Page.frameNavigated", {{"frame", {{"id", target}, {"loaderId", "LX"}, {"url", url}}}}, s);
    engine.Emit("Page.lifecycleEvent", {{"frameId", target}, {"loaderId", "L0"}, {"name", "load"}}, s);
    engine.Emit("Page.frameNavigated", {{"frame", {{"id", "child"}, {"parentId", target}, {"url", "about:blank"}}}}, s);
    engine.Emit("Page.lifecycleEvent", {{"frameId", target}, {"loaderId", "LX"}, {"name", "DOMContentLoaded"}}, s);
    engine.Emit("Page.lifecycleEvent", {{"frameId", target}, {"loaderId", "LX"}, {"name", "load"}}, s);
    engine.Emit("Page.frameStoppedLoading", {{"frameId", target}}, s);
    return std::optional<FakeEngine::Answer>();
  });
  auto ie = host->Browsers().Launch(BrowserKind::InternetExplorer);
  EventLog log;
  log.Listen(*ie->events);
  EXPECT_EQ(ie->events->State(), ReadyState::Uninitialized);
  host->Browsers().Navigate(*ie, "file:///a.html");
  Settle();
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"BeforeNavigate file:///a.html", "DownloadBegin",
                                                   "NavigateComplete file:///a.html", "DownloadComplete file:///a.html",
                                                   "DocumentComplete file:///a.html"}));
  EXPECT_EQ(ie->events->State(), ReadyState::Complete);
  EXPECT_FALSE(ie->events->Busy());
  EXPECT_EQ(ie->events->LocationUrl(), "file:///a.html");

  // A link the page follows by itself, a popup, the front window, and the end.
  engine.Emit("Page.frameRequestedNavigation", {{"frameId", ie->page->TargetId()}, {"url", "file:///b.html"}},
              ie->page->SessionId());
  engine.Emit("Target.targetCreated",
              {{"targetInfo", {{"targetId", "P50"}, {"type", "page"}, {"openerId", ie->page->TargetId()}}}});
  engine.WaitForCall("Target.attachToTarget", 3);
  Settle();
  EXPECT_EQ(host->Browsers().Front()->page->TargetId(), "P50");
  host->Browsers().Activate(ie->id);
  EXPECT_EQ(host->Browsers().Front(), ie);
  host->Browsers().Close(ie->id);
  const auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[5], "BeforeNavigate file:///b.html");
  EXPECT_EQ(lines[6], "NewWindow about:blank");
  EXPECT_EQ(lines[7], "WindowActivate");
  EXPECT_EQ(lines[8], "Quit");
}

TEST_F(BrowsersTest, ADialogLeftOpenIsAWindowOfItsBrowserUntilClosed) {
  auto ie = host->Browsers().Launch(BrowserKind::InternetExplorer);
  auto other = host->Browsers().Launch(BrowserKind::InternetExplorer);
  other->page->SetDialogPolicy([](const browser::DialogInfo&) { return browser::DialogAnswer{true, {}}; });
  engines[0]->Emit("Page.javascriptDialogOpening", {{"type", "confirm"}, {"message", "Sure?"}}, ie->page->SessionId());
  engines[0]->Emit("Page.javascriptDialogOpening", {{"type", "alert"}, {"message", "Auto"}}, other->page->SessionId());
  Settle();
  ASSERT_NE(ie->dialogWindow, 0u);
  EXPECT_EQ(other->dialogWindow, 0u);  // its policy answered at once
  EXPECT_EQ(GetWindowClassName(ie->dialogWindow), u"#32770");
  EXPECT_EQ(host->Browsers().FindByDialog(ie->dialogWindow), ie);
  const HWND dialog = ie->dialogWindow;
  host->Browsers().CloseDialog(dialog, false);
  EXPECT_EQ(engines[0]->WaitForCall("Page.handleJavaScriptDialog", 2)["params"]["accept"], false);
  EXPECT_EQ(ie->dialogWindow, 0u);
  EXPECT_TRUE(GetWindowClassName(dialog).empty());
  EXPECT_THROW(host->Browsers().CloseDialog(dialog, true), EOleSysError);
}

// Authentication challenges of a page's documents: one its login policy does not answer is a
// node "Login" under its browser's process until it is answered (the next one waiting behind it
// is shown then), its frame navigates elsewhere, or a navigation of the page replaces it; a
// navigation that meets one ends its wait with it. Every document request is let through.
TEST_F(BrowsersTest, AnAuthenticationChallengeIsALoginNodeOfItsBrowserUntilAnswered) {
  FakeEngine& engine = *engines[0];
  auto ie = host->Browsers().Launch(BrowserKind::InternetExplorer);
  auto other = host->Browsers().Launch(BrowserKind::InternetExplorer);
  other->page->SetLoginPolicy([](const browser::LoginInfo& info) -> std::optional<browser::LoginAnswer> {
    return browser::LoginAnswer{true, "auto", info.realm};
  });
  const auto fetch = engine.WaitForCall("Fetch.enable");
  EXPECT_EQ(fetch["params"]["handleAuthRequests"], true);
  EXPECT_EQ(fetch["params"]["patterns"][0]["resourceType"], "Document");
  auto challenge = [&](const browser::Page& page, const std::string& request, const std::string& url,
                       const std::string& realm) {
    engine.Emit(
        "Fetch.authRequired",
        {{"requestId", request},
         {"request", {{"url", url}, {"method", "GET"}}},
         {"frameId", page.TargetId()},
         {"resourceType", "Document"},
         {"authChallenge", {{"source", "Server"}, {"origin", "http://a"}, {"scheme", "basic"}, {"realm", realm}}}},
        page.SessionId());
  };
  auto answerOf = [&](int nth) { return engine.WaitForCall("Fetch.continueWithAuth", nth)["params"]; };

  challenge(*ie->page, "R1", "http://a/x", "Realm one");
  challenge(*other->page, "R2", "http://a/y", "Realm two");
  challenge(*ie->page, "R3", "http://a/z", "Realm three");  // waits behind R1
  Settle();
  EXPECT_EQ(answerOf(1),
            (browser::Json{{"requestId", "R2"},
                           {"authChallengeResponse",
                            {{"response", "ProvideCredentials"}, {"username", "auto"}, {"password", "Realm two"}}}}));
  EXPECT_FALSE(other->loginNode);
  ASSERT_TRUE(ie->loginNode);
  auto process = ie->node->Parent();
  EXPECT_EQ(process->Children().back().Get(), ie->loginNode.Get());
  EXPECT_EQ(ie->loginNode->MemberValue(u"ObjectType").AsString(), u"Login");
  EXPECT_EQ(ie->loginNode->MemberValue(u"URL").AsString(), u"http://a/x");
  EXPECT_EQ(ie->loginNode->MemberValue(u"Realm").AsString(), u"Realm one");
  EXPECT_EQ(ie->loginNode->MemberValue(u"Origin").AsString(), u"http://a");
  // The browser waits for its user: its page-ready member says so.
  auto object = host->Browsers().BrowserObject(*ie);
  EXPECT_EQ(test::InvokeId(object.Get(), kDispPageReady, DISPATCH_PROPERTYGET, {OleVariant(true)}).value.AsBool(),
            true);

  auto first = ie->loginNode;
  EXPECT_EQ(test::Get(first->Dispatch(), u"Authenticate", {OleVariant(u"ann")}).hr, DISP_E_EXCEPTION);
  EXPECT_EQ(test::Get(first->Dispatch(), u"Authenticate", {OleVariant(u"ann"), OleVariant(u"pw")}).hr, S_OK);
  EXPECT_EQ(answerOf(2),
            (browser::Json{{"requestId", "R1"},
                           {"authChallengeResponse",
                            {{"response", "ProvideCredentials"}, {"username", "ann"}, {"password", "pw"}}}}));
  ASSERT_TRUE(ie->loginNode);
  EXPECT_NE(ie->loginNode.Get(), first.Get());
  EXPECT_EQ(ie->loginNode->MemberValue(u"URL").AsString(), u"http://a/z");
  const auto children = process->Children();
  EXPECT_EQ(std::count(children.begin(), children.end(), ie->loginNode), 1);

  // Its frame starts another document: the login goes unanswered.
  engine.Emit("Page.frameStartedNavigating",
              {{"frameId", ie->page->TargetId()}, {"url", "http://b/"}, {"navigationType", "differentDocument"}},
              ie->page->SessionId());
  Settle();
  EXPECT_FALSE(ie->loginNode);
  EXPECT_FALSE(ie->page->OpenLogin());
  EXPECT_EQ(engine.CountCalls("Fetch.continueWithAuth"), 2u);

  // A navigation that meets a challenge ends with it; the next navigation cancels it.
  engine.On("Page.navigate", [&](const FakeEngine::Json& call) {
    if (call["params"]["url"] == "http://c/") challenge(*ie->page, "R4", "http://c/", "Realm four");
    return std::optional<FakeEngine::Answer>();  // never answered: the login ends the wait
  });
  host->Browsers().Navigate(*ie, "http://c/");
  ASSERT_TRUE(ie->loginNode);
  EXPECT_EQ(ie->loginNode->MemberValue(u"Realm").AsString(), u"Realm four");
  engine.On("Page.navigate", nullptr);
  host->Browsers().Navigate(*ie, "http://d/");
  EXPECT_EQ(answerOf(3)["authChallengeResponse"], (browser::Json{{"response", "CancelAuth"}}));
  EXPECT_FALSE(ie->loginNode);
  EXPECT_THROW(host->Browsers().AnswerLogin(ie->id, {}), EOleSysError);

  engine.Emit("Fetch.requestPaused", {{"requestId", "Q1"}, {"resourceType", "Document"}}, ie->page->SessionId());
  EXPECT_EQ(engine.WaitForCall("Fetch.continueRequest")["params"]["requestId"], "Q1");
}

TEST(UrlFromArgument, KeepsUrlsAndMakesFilesFileUrls) {
  EXPECT_EQ(UrlFromArgument("http://127.0.0.1:8080/x"), "http://127.0.0.1:8080/x");
  EXPECT_EQ(UrlFromArgument("about:blank"), "about:blank");
  EXPECT_EQ(UrlFromArgument("/tmp/a b#.html"), "file:///tmp/a%20b%23.html");
  EXPECT_EQ(UrlFromArgument("x.html"), "file://" + (std::filesystem::current_path() / "x.html").string());
  EXPECT_EQ(BrowserKindOf("IExplore"), BrowserKind::InternetExplorer);
  EXPECT_FALSE(BrowserKindOf("firefox"));
}

TEST(BrowserKinds, ByNumber) {
  const struct {
    int number;
    std::optional<BrowserKind> kind;
  } cases[] = {{-1, BrowserKind::InternetExplorer},
               {-3, BrowserKind::Chrome},
               {-2, std::nullopt},
               {-4, std::nullopt},
               {-5, std::nullopt},
               {0, std::nullopt}};
  for (const auto& c : cases) {
    EXPECT_EQ(BrowserKindOfNumber(c.number), c.kind) << c.number;
    if (c.kind) {
      EXPECT_EQ(BrowserKindNumber(*c.kind), c.number);
      EXPECT_EQ(BrowserKindOf(std::to_string(c.number)), c.kind);
    }
  }
}

// Scripts a navigation of the fake engine the way the real one reports it.
void ScriptNavigation(FakeEngine& engine) {
  engine.On("Page.navigate", [&engine](const FakeEngine::Json& call) {
    const std::string s = call["sessionId"], target = s.substr(2), url = call["params"]["url"];
    engine.Reply(call["id"], {{"frameId", target}, {"loaderId", "LX"}});
    engine.Emit("Page.frameStartedLoading", {{"frameId", target}}, s);
    engine.Emit("Page.frameNavigated", {{"frame", {{"id", target}, {"loaderId", "LX"}, {"url", url}}}}, s);
    engine.Emit("Page.lifecycleEvent", {{"frameId", target}, {"loaderId", "LX"}, {"name", "load"}}, s);
    engine.Emit("Page.frameStoppedLoading", {{"frameId", target}}, s);
    return std::optional<FakeEngine::Answer>();
  });
}

TEST_F(BrowsersTest, AnIExploreBrowserHasTheWindowTreeTheWebCodeSearches) {
  auto ie = host->Browsers().Launch(BrowserKind::InternetExplorer);
  auto chrome = host->Browsers().Launch(BrowserKind::Chrome);
  const HWND w = ie->window;
  EXPECT_EQ(GetChildWindowHandles(w), (std::vector<HWND>{w + 1, w + 2}));
  EXPECT_EQ(GetWindowClassName(w + 1), u"Shell DocObject View");
  EXPECT_EQ(GetWindowClassName(w + 2), u"Internet Explorer_Server");
  EXPECT_EQ(GetParentWindow(w + 2), w + 1);
  EXPECT_EQ(host->Browsers().FindByWindow(w + 2), ie);  // pictures and input reach the page from it
  EXPECT_EQ(GetWindowClassName(chrome->window + 1), u"Chrome_RenderWidgetHostHWND");
  host->Browsers().Close(ie->id);
  EXPECT_FALSE(IsWindow(w + 2));
}

TEST_F(BrowsersTest, TheBrowserObjectAnswersTheBrowserInterfaceAndRaisesItsEvents) {
  ScriptNavigation(*engines[0]);
  auto ie = host->Browsers().Launch(BrowserKind::InternetExplorer);
  ComPtr<IDispatch> object = host->Browsers().BrowserObject(*ie);
  ComPtr<IWebBrowser2> browser;
  ASSERT_EQ(object->QueryInterface(IWebBrowser2::iid, browser.PutVoid()), S_OK);
  EXPECT_EQ(host->Browsers().BrowserObject(*ie), object);  // one object per browser
  EXPECT_TRUE(IsFreeThreaded(object.Get()));               // every apartment uses it directly
  auto sink = MakeObject<RecordingSink>();
  Advise(object.Get(), DIID_DWebBrowserEvents2, sink.Get());

  EXPECT_EQ(test::InvokeId(object.Get(), test::IdOf(object.Get(), u"navigate"), DISPATCH_METHOD,
                           {OleVariant(WideStringView(u"file:///a.html"))})
                .hr,
            S_OK);
  Settle();
  EXPECT_EQ(sink->Lines(),
            (std::vector<std::string>{"250 file:///a.html", "106", "252 file:///a.html", "104", "259 file:///a.html"}));
  ComPtr<IUnknown> self;
  object->QueryInterface(IUnknown::iid, self.PutVoid());
  EXPECT_EQ(sink->First(0), self);  // the browser is the events' first argument
  EXPECT_EQ(sink->First(4), self);

  const struct {
    const char16_t* name;
    OleVariant value;
  } reads[] = {{u"LocationURL", OleVariant(WideStringView(u"file:///a.html"))},
               {u"Busy", OleVariant(false)},
               {u"ReadyState", OleVariant(std::int32_t{4})},
               {u"HWND", OleVariant(static_cast<std::int32_t>(ie->window))},
               {u"Visible", OleVariant(true)}};
  for (const auto& r : reads) {
    const auto got = test::InvokeId(object.Get(), test::IdOf(object.Get(), r.name), DISPATCH_PROPERTYGET);
    EXPECT_EQ(got.hr, S_OK) << WideToUtf8(r.name);
    EXPECT_TRUE(VariantValuesEqual(got.value.Get(), r.value.Get())) << WideToUtf8(r.name);
  }
  std::intptr_t window = 0;
  EXPECT_EQ(browser->get_HWND(&window), S_OK);
  EXPECT_EQ(static_cast<HWND>(window), ie->window);
  EXPECT_EQ(test::IdOf(object.Get(), u"GoSearch"), DISPID_UNKNOWN);

  // Window activate, then quit; the closed browser refuses what needs its page.
  host->Browsers().Activate(ie->id);
  EXPECT_EQ(browser->Quit(), S_OK);
  auto lines = sink->Lines();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[5], "111");
  EXPECT_EQ(lines[6], "253");
  // A quit browser lets its sinks go: this sink holds the browser (the events' first argument)
  // and never unadvises, and still neither keeps the other alive.
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(object->QueryInterface(IConnectionPointContainer::iid, container.PutVoid()), S_OK);
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put()), S_OK);
  EXPECT_EQ(point->Unadvise(1), CONNECT_E_NOCONNECTION);
  EXPECT_TRUE(host->Browsers().List().empty());
  const auto failed = test::InvokeId(object.Get(), kDispNavigate, DISPATCH_METHOD, {OleVariant(WideStringView(u"x"))});
  EXPECT_EQ(failed.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(failed.error, "The browser has closed");
  VARIANT_BOOL visible = VARIANT_TRUE;
  EXPECT_EQ(browser->get_Visible(&visible), S_OK);
  EXPECT_EQ(visible, VARIANT_FALSE);
  IDispatch* document = nullptr;
  EXPECT_NE(browser->get_Document(&document), S_OK);
  EXPECT_EQ(document, nullptr);
}

TEST_F(BrowsersTest, APopupIsGivenToNewWindowAsItsBrowserObject) {
  auto ie = host->Browsers().Launch(BrowserKind::InternetExplorer);
  auto object = host->Browsers().BrowserObject(*ie);
  auto sink = MakeObject<RecordingSink>();
  Advise(object.Get(), DIID_DWebBrowserEvents2, sink.Get());
  engines[0]->Emit("Target.targetCreated",
                   {{"targetInfo", {{"targetId", "P78"}, {"type", "page"}, {"openerId", ie->page->TargetId()}}}});
  engines[0]->WaitForCall("Target.attachToTarget", 3);
  Settle();
  ASSERT_EQ(sink->Lines(), std::vector<std::string>{"251"});
  auto popup = host->Browsers().List().at(1);
  ComPtr<IUnknown> popupObject;
  host->Browsers().BrowserObject(*popup)->QueryInterface(IUnknown::iid, popupObject.PutVoid());
  EXPECT_EQ(sink->First(0), popupObject);
}

TEST_F(BrowsersTest, TheShellWindowListIsCreatableAndReportsIExploreBrowsers) {
  ComPtr<IDispatch> list;
  ASSERT_EQ(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_INPROC_SERVER, IDispatch::iid, list.PutVoid()), S_OK);
  ComPtr<IShellWindows> shell;
  ASSERT_EQ(list->QueryInterface(IShellWindows::iid, shell.PutVoid()), S_OK);
  EXPECT_TRUE(IsFreeThreaded(list.Get()));
  auto sink = MakeObject<RecordingSink>();
  Advise(list.Get(), DIID_DShellWindowsEvents, sink.Get());

  auto chrome = host->Browsers().Launch(BrowserKind::Chrome);  // not a shell window
  auto ie = host->Browsers().Launch(BrowserKind::InternetExplorer);
  const std::int32_t cookie = kShellCookieBase + ie->id;
  EXPECT_EQ(sink->Lines(), std::vector<std::string>{"200 " + std::to_string(cookie)});
  std::int32_t count = -1;
  EXPECT_EQ(shell->get_Count(&count), S_OK);
  EXPECT_EQ(count, 1);
  const auto expected = host->Browsers().BrowserObject(*ie);
  for (const std::int32_t index : {0, cookie}) {  // by index and by the events' cookie
    const auto item = test::InvokeId(list.Get(), test::IdOf(list.Get(), u"Item"), DISPATCH_METHOD, {OleVariant(index)});
    ASSERT_EQ(item.hr, S_OK);
    ASSERT_EQ(item.value.Type(), VT_DISPATCH);
    EXPECT_EQ(item.value.Get().pdispVal, expected.Get()) << index;
  }
  IDispatch* none = nullptr;
  EXPECT_EQ(shell->Item(*OleVariant(std::int32_t{1}).Ptr(), &none), S_FALSE);
  EXPECT_EQ(none, nullptr);

  host->Browsers().Close(ie->id);
  EXPECT_EQ(sink->Lines().back(), "201 " + std::to_string(cookie));
  shell->get_Count(&count);
  EXPECT_EQ(count, 0);

  host.reset();  // the list is served while the host's browsers live
  ComPtr<IDispatch> later;
  EXPECT_EQ(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_INPROC_SERVER, IDispatch::iid, later.PutVoid()),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(shell->get_Count(&count), S_OK);
  EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace pw::host
