// The real engine on local pages (file:// and a loopback server of the test). Every wait is for
// an event or an answer; nothing sleeps. Run by the CTest test "browser_engine" only.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <sstream>
#include <thread>

#include "host/browser/browser.h"
#include "host/test_host.h"
#include "platform/automation/safearray.h"
#include "host/browser/objects/shell_windows.h"
#include "host/browser/objects/web_browser.h"
#include "platform/com/marshal.h"
#include "tests/browser/dispatch_call.h"
#include "tests/browser/recording_sink.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/scratch_dir.h"

namespace pw::browser {
namespace {

using namespace std::chrono_literals;

constexpr const char* kPage = R"(<!DOCTYPE html>
<html><head><title>Engine test</title></head>
<body style="margin:0">
<button id="b" style="position:absolute;left:10px;top:10px;width:100px;height:30px"
        onclick="document.getElementById('out').textContent='clicked'">Press</button>
<button id="al" style="position:absolute;left:10px;top:50px;width:100px;height:30px"
        onclick="alert('Hello'); document.getElementById('out').textContent='after alert'">Alert</button>
<a id="pop" href="popup.html" target="_blank"
   style="position:absolute;left:10px;top:90px;width:100px;height:30px;display:block">Popup</a>
<input id="in" style="position:absolute;left:10px;top:130px;width:200px;height:30px"
       onkeydown="if (event.key==='Enter') document.getElementById('out').textContent='enter:'+this.value">
<ul style="position:absolute;left:10px;top:170px"><li>one</li><li>two</li><li>three</li></ul>
<div id="out" style="position:absolute;left:300px;top:10px">none</div>
</body></html>)";

// Processes of a process group that still run (zombies not counted: the machine's first process
// reaps them when it gets to it).
int LiveProcessesInGroup(pid_t group) {
  int live = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    const auto close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    char state = 0;
    long parent = 0, pgrp = 0;
    rest >> state >> parent >> pgrp;
    if (pgrp == group && state != 'Z' && state != 'X') ++live;
  }
  return live;
}

bool EngineTestsWanted() {
  const char* env = std::getenv("PW_ENGINE_TESTS");
  return env && std::string(env) == "1";
}

class RealEngine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!EngineTestsWanted()) return;
    dir_ = new test::ScratchDir();
    std::ofstream(dir_->Utf8File("page.html")) << kPage;
    std::ofstream(dir_->Utf8File("popup.html")) << "<html><head><title>Popup</title></head><body>p</body></html>";
    browser_ = Browser::Launch().release();
  }
  static void TearDownTestSuite() {
    const pid_t pid = browser_ ? browser_->ProcessId() : 0;
    delete browser_;
    if (pid > 0) {
      EXPECT_EQ(LiveProcessesInGroup(pid), 0);
    }
    browser_ = nullptr;
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (!EngineTestsWanted()) GTEST_SKIP() << "the engine tests run in the test browser_engine";
    ASSERT_NE(browser_, nullptr);
    page_ = browser_->Pages().front();
    page_->Navigate("file://" + dir_->Utf8File("page.html"));
  }
  std::string Text(const std::string& expression) {
    return page_->Evaluate(expression).object.value("value", std::string());
  }

  static test::ScratchDir* dir_;
  static Browser* browser_;
  std::shared_ptr<Page> page_;
};
test::ScratchDir* RealEngine::dir_ = nullptr;
Browser* RealEngine::browser_ = nullptr;

TEST_F(RealEngine, NavigatesAndReadsTheDocument) {
  EXPECT_EQ(page_->Title(), "Engine test");
  EXPECT_EQ(page_->Url(), "file://" + dir_->Utf8File("page.html"));
  EXPECT_EQ(page_->Evaluate("document.querySelectorAll('li').length").object["value"], 3);
  const RemoteValue list = page_->Evaluate("document.evaluate('//li[2]', document, null, 9, null).singleNodeValue");
  ASSERT_TRUE(list.IsObject());
  EXPECT_EQ(page_->CallOn(list.ObjectId(), "function() { return this.textContent; }").object["value"], "two");
  EXPECT_EQ(page_->Evaluate("undefined").Type(), "undefined");
  EXPECT_EQ(page_->Evaluate("document.body").Subtype(), "node");
  try {
    page_->Evaluate("nope.x");
    FAIL();
  } catch (const BrowserError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::Script);
    EXPECT_NE(std::string(e.what()).find("nope is not defined"), std::string::npos);
  }
  // An object of a document that is gone.
  const auto old = page_->Evaluate("document.body").ObjectId();
  page_->Navigate("file://" + dir_->Utf8File("popup.html"));
  EXPECT_EQ(page_->Title(), "Popup");
  try {
    page_->CallOn(old, "function() { return 1; }");
    FAIL();
  } catch (const BrowserError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::StaleObject);
  }
  EXPECT_THROW(page_->Navigate("file://" + dir_->Utf8File("missing.html")), BrowserError);
}

TEST_F(RealEngine, ClicksAndTypes) {
  page_->Click(60, 25);
  EXPECT_EQ(Text("document.getElementById('out').textContent"), "clicked");
  page_->Click(60, 145);
  page_->InsertText("abc");
  page_->Key("Enter");
  EXPECT_EQ(Text("document.getElementById('out').textContent"), "enter:abc");
}

TEST_F(RealEngine, ADialogBlocksThePageUntilClosed) {
  page_->Click(60, 65);
  ASSERT_TRUE(page_->OpenDialog());
  EXPECT_EQ(page_->OpenDialog()->message, "Hello");
  EXPECT_THROW(page_->Evaluate("1"), BrowserError);
  page_->CloseDialog(true);
  EXPECT_EQ(Text("document.getElementById('out').textContent"), "after alert");
}

TEST_F(RealEngine, APopupOpensAsAPageWithItsOpener) {
  std::promise<std::shared_ptr<Page>> popup;
  std::once_flag once;
  browser_->OnNewPage([&](const std::shared_ptr<Page>& p) { std::call_once(once, [&] { popup.set_value(p); }); });
  page_->Click(60, 105);
  auto future = popup.get_future();
  ASSERT_EQ(future.wait_for(30s), std::future_status::ready);
  auto p = future.get();
  EXPECT_EQ(p->OpenerId(), page_->TargetId());
  p->Close();
}

TEST_F(RealEngine, ScreenshotsArePngOfTheViewportOrTheClip) {
  auto width = [](const std::string& png) {
    return png.size() > 24 ? (static_cast<unsigned char>(png[18]) << 8) | static_cast<unsigned char>(png[19]) : 0;
  };
  const std::string viewport = page_->Screenshot();
  ASSERT_EQ(viewport.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_EQ(width(viewport), 1280);
  EXPECT_EQ(width(page_->Screenshot(Clip{10, 10, 100, 30})), 100);
}

TEST_F(RealEngine, LoadsFromALoopbackServer) {
  const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  socklen_t length = sizeof address;
  getsockname(server, reinterpret_cast<sockaddr*>(&address), &length);
  listen(server, 4);
  std::thread serve([server] {
    for (;;) {
      const int client = accept(server, nullptr, nullptr);
      if (client < 0) return;
      char request[4096];
      const ssize_t n = read(client, request, sizeof request);
      const bool page = n > 0 && std::string(request, static_cast<std::size_t>(n)).rfind("GET / ", 0) == 0;
      const std::string body = page ? "<html><head><title>Served</title></head><body>hi</body></html>" : "";
      const std::string answer =
          std::string(page ? "HTTP/1.1 200 OK" : "HTTP/1.1 404 Not Found") +
          "\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size()) +
          "\r\n\r\n" + body;
      (void)!write(client, answer.data(), answer.size());
      close(client);
    }
  });
  const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
  page_->Navigate(url);
  EXPECT_EQ(page_->Title(), "Served");
  shutdown(server, SHUT_RDWR);
  serve.join();
  close(server);
}

// Waits (30 s at most, on the real clock) for the next event of a page that passes a test; the
// handler shares its state, so it may still run after the wait is gone.
class NextEvent {
 public:
  NextEvent(Page& page, std::function<bool(const ProtocolEvent&)> test) : page_(page), state_(new State) {
    future_ = state_->promise.get_future();
    id_ = page.Subscribe([state = state_, test = std::move(test)](const ProtocolEvent& e) {
      if (!test(e)) return;
      std::lock_guard g(state->lock);
      if (!state->done) state->promise.set_value();
      state->done = true;
    });
  }
  ~NextEvent() { page_.Unsubscribe(id_); }
  bool Wait() { return future_.wait_for(30s) == std::future_status::ready; }

 private:
  struct State {
    std::mutex lock;
    bool done = false;
    std::promise<void> promise;
  };
  Page& page_;
  std::shared_ptr<State> state_;
  std::future<void> future_;
  int id_ = 0;
};

// An authentication challenge of a document: an open login that ends the navigation's wait and
// holds the page's calls, until it is answered (wrong credentials ask again) or a new navigation
// replaces it; a login policy answers at once. Each case has its own path and credentials: the
// engine remembers credentials that worked and offers them to the same server again.
TEST_F(RealEngine, AnAuthenticationChallengeIsAnOpenLoginUntilAnswered) {
  test::LoopbackHttpServer server;
  auto guarded = [](const char* title, const char* realm, const char* user) {
    test::LoopbackHttpServer::Page page;
    page.body = std::string("<html><head><title>") + title + "</title></head><body>in</body></html>";
    page.realm = realm;
    page.user = user;
    page.password = "secret";
    return page;
  };
  server.Put("/in.html", guarded("In", "Test realm", "ann"));
  server.Put("/other.html", guarded("Other", "Other realm", "bob"));
  server.Put("/open.html", "<html><head><title>Open</title></head><body>open</body></html>");
  const std::string frame = page_->TargetId();
  auto load = [frame](const ProtocolEvent& e) {
    return e.method == "Page.lifecycleEvent" && e.params.value("name", std::string()) == "load" &&
           e.params.value("frameId", std::string()) == frame;
  };

  // The navigation ends with the login open; the old document still answers.
  page_->Navigate(server.Url("/in.html"));
  auto login = page_->OpenLogin();
  ASSERT_TRUE(login);
  EXPECT_EQ(login->url, server.Url("/in.html"));
  EXPECT_EQ(login->realm, "Test realm");
  EXPECT_EQ(login->origin, server.Url(""));
  EXPECT_EQ(login->scheme, "basic");
  EXPECT_FALSE(login->proxy);
  // The engine holds the page's calls meanwhile: they fail at once.
  try {
    page_->Evaluate("document.title");
    ADD_FAILURE() << "the page answered while its login was open";
  } catch (const BrowserError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::Login);
    EXPECT_EQ(std::string(e.what()), "A login of the page is open: " + server.Url("/in.html"));
  }
  EXPECT_EQ(page_->Title(), "Engine test");  // the target's own facts still answer
  // A new navigation cancels it.
  page_->Navigate(server.Url("/open.html"));
  EXPECT_FALSE(page_->OpenLogin());
  EXPECT_EQ(page_->Title(), "Open");
  EXPECT_THROW(page_->AnswerLogin({}), BrowserError);

  // Wrong credentials: the server asks again; the right ones open the page.
  {
    NextEvent again(*page_, [count = std::make_shared<int>(0)](const ProtocolEvent& e) {
      return e.method == "Fetch.authRequired" && ++*count == 2;
    });
    page_->Navigate(server.Url("/in.html"));
    ASSERT_TRUE(page_->OpenLogin());
    page_->AnswerLogin({true, "ann", "wrong"});
    ASSERT_TRUE(again.Wait());
  }
  ASSERT_TRUE(page_->OpenLogin());
  {
    NextEvent loaded(*page_, load);
    page_->AnswerLogin({true, "ann", "secret"});
    ASSERT_TRUE(loaded.Wait());
  }
  EXPECT_FALSE(page_->OpenLogin());
  EXPECT_EQ(page_->Title(), "In");
  EXPECT_EQ(server.Authorised("/in.html"), 1);

  // A policy answers as the challenge arrives: the navigation waits for the page's load.
  std::vector<std::string> asked;
  page_->SetLoginPolicy([&](const LoginInfo& info) -> std::optional<LoginAnswer> {
    asked.push_back(info.realm);
    return LoginAnswer{true, "bob", "secret"};
  });
  page_->Navigate(server.Url("/other.html"));
  page_->SetLoginPolicy(nullptr);
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked.back(), "Other realm");
  EXPECT_FALSE(page_->OpenLogin());
  EXPECT_EQ(page_->Title(), "Other");
}

TEST_F(RealEngine, AKilledEngineFailsItsCallsAndLeavesNothingBehind) {
  auto own = Browser::Launch();
  const pid_t pid = own->ProcessId();
  std::promise<void> closed;
  own->OnClosed([&] { closed.set_value(); });
  auto page = own->Pages().front();
  auto hang = page->Conn().Send("Runtime.evaluate", {{"expression", "new Promise(() => {})"}, {"awaitPromise", true}},
                                page->SessionId());
  kill(pid, SIGKILL);
  try {
    hang.Wait();
    FAIL();
  } catch (const BrowserError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::Closed);
  }
  ASSERT_EQ(closed.get_future().wait_for(30s), std::future_status::ready);
  EXPECT_THROW(page->Evaluate("1"), BrowserError);
  own->Close();
  EXPECT_EQ(LiveProcessesInGroup(pid), 0);  // the whole group is gone
}

std::u16string TextOf(const test::DispatchResult& r) {
  return r.value.Ptr()->vt == VT_BSTR ? std::u16string(BstrView(r.value.Ptr()->bstrVal)) : u"<not a text>";
}

IDispatch* Object(const test::DispatchResult& r) {
  return r.value.Ptr()->vt == VT_DISPATCH ? r.value.Ptr()->pdispVal : nullptr;
}

TEST_F(RealEngine, TheHostsDocumentsAndElementsAnswerLateBoundCalls) {
  host::TestHostOptions options;
  options.interactive = false;
  host::TestHost host(options);
  auto tested = host.Browsers().Launch(host::BrowserKind::InternetExplorer, "file://" + dir_->Utf8File("page.html"));
  auto document = host.Browsers().Document(*tested);
  IDispatch* doc = document.Get();
  EXPECT_EQ(TextOf(test::Get(doc, u"title")), u"Engine test");
  EXPECT_EQ(TextOf(test::Get(doc, u"Title")), u"Engine test");  // ignoring case
  ASSERT_EQ(test::Put(doc, u"title", OleVariant(u"Changed")).hr, S_OK);
  EXPECT_EQ(TextOf(test::Get(doc, u"title")), u"Changed");

  auto input = test::Get(doc, u"getElementById", {OleVariant(u"in")});
  ASSERT_NE(Object(input), nullptr);
  ASSERT_EQ(test::Put(Object(input), u"value", OleVariant(u"typed")).hr, S_OK);
  EXPECT_EQ(TextOf(test::Get(Object(input), u"value")), u"typed");
  EXPECT_EQ(test::Get(Object(input), u"nosuchmember").hr, DISP_E_UNKNOWNNAME);
  EXPECT_EQ(test::Get(Object(input), u"placeholder").value.Ptr()->vt, VT_BSTR);

  // Collections: length, item, and the default member with an index.
  auto items = test::Get(doc, u"getElementsByTagName", {OleVariant(u"li")});
  ASSERT_NE(Object(items), nullptr);
  auto length = test::Get(Object(items), u"length");
  EXPECT_EQ(length.value.Ptr()->vt, VT_I4);
  EXPECT_EQ(length.value.Ptr()->lVal, 3);
  auto second = test::Get(Object(items), u"item", {OleVariant(1)});
  EXPECT_EQ(TextOf(test::Get(Object(second), u"textContent")), u"two");
  auto third = test::InvokeId(Object(items), DISPID_VALUE, DISPATCH_PROPERTYGET, {OleVariant(2)});
  EXPECT_EQ(TextOf(test::Get(Object(third), u"textContent")), u"three");
  EXPECT_EQ(test::Get(Object(items), u"item", {OleVariant(9)}).value.Ptr()->vt, VT_NULL);

  // The page-side members: XPath, CSS and the element identifier.
  auto xpath = test::InvokeId(doc, host::kDispEvaluateXPath, DISPATCH_METHOD, {OleVariant(u"//li"), OleVariant(false)});
  ASSERT_EQ(xpath.value.Ptr()->vt, VT_ARRAY | VT_VARIANT);
  std::int32_t upper = -1;
  SafeArrayGetUBound(xpath.value.Ptr()->parray, 1, &upper);
  EXPECT_EQ(upper, 2);
  auto count =
      test::InvokeId(doc, host::kDispEvaluateXPath, DISPATCH_METHOD, {OleVariant(u"count(//li)"), OleVariant(false)});
  EXPECT_EQ(count.value.Ptr()->lVal, 3);
  auto single = test::InvokeId(doc, host::kDispQueryCss, DISPATCH_METHOD, {OleVariant(u"#out"), OleVariant(true)});
  EXPECT_EQ(TextOf(test::Get(Object(single), u"textContent")), u"none");
  auto none = test::InvokeId(doc, host::kDispQueryCss, DISPATCH_METHOD, {OleVariant(u".nothing"), OleVariant(true)});
  EXPECT_EQ(none.value.Ptr()->vt, VT_NULL);
  auto all = test::InvokeId(doc, host::kDispQueryCss, DISPATCH_METHOD, {OleVariant(u"button"), OleVariant(false)});
  ASSERT_EQ(all.value.Ptr()->vt, VT_ARRAY | VT_VARIANT);
  const auto id1 = TextOf(test::InvokeId(Object(single), host::kDispElementId, DISPATCH_PROPERTYGET));
  auto again = test::InvokeId(doc, host::kDispQueryCss, DISPATCH_METHOD, {OleVariant(u"#out"), OleVariant(true)});
  EXPECT_EQ(TextOf(test::InvokeId(Object(again), host::kDispElementId, DISPATCH_PROPERTYGET)), id1);
  EXPECT_NE(TextOf(test::InvokeId(Object(input), host::kDispElementId, DISPATCH_PROPERTYGET)), id1);

  // A script exception, then an object of a document the page has left.
  auto thrown = test::Get(doc, u"querySelector", {OleVariant(u"[[[")});
  EXPECT_EQ(thrown.hr, DISP_E_EXCEPTION);
  EXPECT_NE(thrown.error.find("not a valid selector"), std::string::npos);
  tested->page->Navigate("file://" + dir_->Utf8File("popup.html"));
  auto stale = test::Get(Object(input), u"value");
  EXPECT_EQ(stale.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(stale.error, "The object no longer exists");
  EXPECT_EQ(TextOf(test::Get(host.Browsers().Document(*tested).Get(), u"title")), u"Popup");
}

TEST_F(RealEngine, ListElementsAnswerTheirItemsInAFewRoundTrips) {
  host::TestHostOptions options;
  options.interactive = false;
  host::TestHost host(options);
  auto tested = host.Browsers().Launch(host::BrowserKind::Chrome, "file://" + dir_->Utf8File("page.html"));
  tested->page->Evaluate(R"((() => {
    const s = document.createElement('select');
    s.id = 'many'; s.multiple = true;
    for (let i = 0; i < 2000; ++i) s.add(new Option('item ' + i, 'v' + i));
    s.options[5].disabled = true; s.options[7].selected = true; s.options[9].selected = true;
    document.body.appendChild(s);
    const t = document.createElement('div');
    t.setAttribute('role', 'tablist');
    t.innerHTML = '<span role="tab">First</span><span role="tab" aria-selected="true"> Second </span>';
    document.body.appendChild(t);
    document.body.appendChild(document.createElement('p')).id = 'plain';
  })())");
  auto document = host.Browsers().Document(*tested);
  auto list = test::Get(document.Get(), u"getElementById", {OleVariant(u"many")});
  IDispatch* select = Object(list);
  ASSERT_NE(select, nullptr);
  auto& connection = host.Browsers().Engine().Conn();

  EXPECT_EQ(test::Get(select, u"LineCount").value.Ptr()->lVal, 2000);
  const auto before = connection.CallsSent();
  for (std::int32_t i = 0; i < 2000; ++i) {
    auto text = test::Get(select, u"LineText", {OleVariant(i)});
    ASSERT_EQ(TextOf(text), u"item " + Utf8ToWide(std::to_string(i)));
  }
  EXPECT_LE(connection.CallsSent() - before, 3);  // all texts in one read, not one read per item
  EXPECT_EQ(test::Get(select, u"LineText", {OleVariant(2000)}).hr, DISP_E_EXCEPTION);
  EXPECT_EQ(test::Get(select, u"LineSelected").value.Ptr()->lVal, 7);
  auto selected = test::Get(select, u"LinesSelected");
  ASSERT_EQ(selected.value.Ptr()->vt, VT_ARRAY | VT_VARIANT);
  std::int32_t upper = -1;
  SafeArrayGetUBound(selected.value.Ptr()->parray, 1, &upper);
  EXPECT_EQ(upper, 1);
  EXPECT_EQ(test::Get(select, u"LineDisabled", {OleVariant(5)}).value.Ptr()->boolVal, VARIANT_TRUE);
  EXPECT_EQ(test::Get(select, u"LineDisabled", {OleVariant(6)}).value.Ptr()->boolVal, VARIANT_FALSE);
  EXPECT_EQ(test::Get(select, u"IsMultiSelect").value.Ptr()->boolVal, VARIANT_TRUE);
  EXPECT_EQ(test::Get(select, u"Enabled").value.Ptr()->boolVal, VARIANT_TRUE);

  // A change of the list is seen by the next read: the kept texts are not answered any more.
  tested->page->Evaluate("document.getElementById('many').options[3].text = 'renamed'");
  EXPECT_EQ(test::Get(select, u"LineCount").value.Ptr()->lVal, 2000);
  EXPECT_EQ(TextOf(test::Get(select, u"LineText", {OleVariant(3)})), u"renamed");
  tested->page->Evaluate("document.getElementById('many').disabled = true");
  EXPECT_EQ(test::Get(select, u"Enabled").value.Ptr()->boolVal, VARIANT_FALSE);

  // An ARIA tab list gives its tabs; an element without items refuses.
  auto tabs = test::InvokeId(document.Get(), host::kDispQueryCss, DISPATCH_METHOD,
                             {OleVariant(u"[role=tablist]"), OleVariant(true)});
  EXPECT_EQ(test::Get(Object(tabs), u"LineCount").value.Ptr()->lVal, 2);
  EXPECT_EQ(TextOf(test::Get(Object(tabs), u"LineText", {OleVariant(1)})), u"Second");
  EXPECT_EQ(test::Get(Object(tabs), u"LineSelected").value.Ptr()->lVal, 1);
  auto plain = test::Get(document.Get(), u"getElementById", {OleVariant(u"plain")});
  auto refused = test::Get(Object(plain), u"LineCount");
  EXPECT_EQ(refused.hr, DISP_E_EXCEPTION);
  EXPECT_NE(refused.error.find("The object has no items"), std::string::npos);
}

TEST_F(RealEngine, AnIExploreBrowserReportsItsEventsInTheOrderOfThatBrowser) {
  host::TestHostOptions options;
  options.interactive = false;
  host::TestHost host(options);
  auto ie = host.Browsers().Launch(host::BrowserKind::InternetExplorer);
  std::mutex mutex;
  std::vector<std::string> seen;
  std::promise<void> popupOpened;
  ie->events->Listen([&](const host::BrowserEvent& e) {
    std::lock_guard lock(mutex);
    seen.push_back(host::BrowserEventName(e.kind));
    if (e.kind == host::BrowserEventKind::NewWindow) popupOpened.set_value();
  });
  const std::string url = "file://" + dir_->Utf8File("page.html");
  host.Browsers().Navigate(*ie, url);
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(seen, (std::vector<std::string>{"BeforeNavigate", "DownloadBegin", "NavigateComplete", "DownloadComplete",
                                              "DocumentComplete"}));
  }
  EXPECT_EQ(ie->events->State(), host::ReadyState::Complete);
  EXPECT_EQ(ie->events->LocationUrl(), url);
  EXPECT_FALSE(ie->events->Busy());
  // A popup opened by a click is a new browser of the same kind.
  ie->page->Click(60, 105);
  ASSERT_EQ(popupOpened.get_future().wait_for(30s), std::future_status::ready);
  EXPECT_EQ(host.Browsers().List().size(), 2u);
  EXPECT_EQ(host.Browsers().List()[1]->kind, host::BrowserKind::InternetExplorer);
}

// The "iexplore" adapter on the real engine: the shell's list reports the browser, its object
// raises the navigation events in the order of that browser and answers its state and document.
TEST_F(RealEngine, TheIExploreObjectsRaiseTheirEventsFromTheEngine) {
  host::TestHostOptions options;
  options.interactive = false;
  host::TestHost host(options);
  ComPtr<IDispatch> list;
  ASSERT_EQ(CoCreateInstance(host::CLSID_ShellWindows, nullptr, CLSCTX_INPROC_SERVER, IDispatch::iid, list.PutVoid()),
            S_OK);
  auto shellSink = MakeObject<test::RecordingSink>();
  test::Advise(list.Get(), host::DIID_DShellWindowsEvents, shellSink.Get());
  auto ie = host.Browsers().Launch(host::BrowserKind::InternetExplorer);
  ASSERT_EQ(shellSink->Lines().size(), 1u);
  const auto item = test::InvokeId(list.Get(), host::kDispShellItem, DISPATCH_METHOD, {OleVariant(std::int32_t{0})});
  ASSERT_EQ(item.value.Type(), VT_DISPATCH);
  IDispatch* object = item.value.Get().pdispVal;
  auto sink = MakeObject<test::RecordingSink>();
  test::Advise(object, host::DIID_DWebBrowserEvents2, sink.Get());

  const std::string url = "file://" + dir_->Utf8File("page.html");
  ASSERT_EQ(test::InvokeId(object, host::kDispNavigate, DISPATCH_METHOD, {OleVariant(Utf8ToWide(url))}).hr, S_OK);
  EXPECT_EQ(sink->Lines(), (std::vector<std::string>{"250 " + url, "106", "252 " + url, "104", "259 " + url}));
  EXPECT_EQ(test::InvokeId(object, host::kDispReadyState, DISPATCH_PROPERTYGET).value.AsInt(), 4);
  EXPECT_FALSE(test::InvokeId(object, host::kDispBusy, DISPATCH_PROPERTYGET).value.AsBool());
  EXPECT_EQ(test::InvokeId(object, host::kDispLocationName, DISPATCH_PROPERTYGET).value.AsString(), u"Engine test");
  const auto document = test::InvokeId(object, host::kDispDocument, DISPATCH_PROPERTYGET);
  ASSERT_EQ(document.value.Type(), VT_DISPATCH);
  EXPECT_EQ(test::InvokeId(document.value.Get().pdispVal, test::IdOf(document.value.Get().pdispVal, u"title"),
                           DISPATCH_PROPERTYGET)
                .value.AsString(),
            u"Engine test");
  ASSERT_EQ(test::InvokeId(object, host::kDispQuit, DISPATCH_METHOD).hr, S_OK);
  EXPECT_EQ(sink->Lines().back(), "253");
  EXPECT_EQ(shellSink->Lines().back(), "201 " + std::to_string(host::kShellCookieBase + ie->id));
}

}  // namespace
}  // namespace pw::browser
