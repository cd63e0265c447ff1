// The navigation slices against the real engine on pages of a loopback web server (CTest
// "web_engine"): ToUrl of a browser process and of a page window to http:// pages (a relative
// URL too, a refused connection), an HTTP login that ends both waits of ToUrl, and Find across
// the frames of a page (a frame of the same site, a srcdoc frame, one of another site).
//
// The window-level ToUrl runs on a page node of the test's own below the host's "iexplore"
// browser node, whose native context object is the browser object (the host's page nodes hand
// out their document there): the login node the host shows under the browser node is what
// ends its waits.
#include <cstdlib>
#include <future>
#include <mutex>

#include "core/automation/dispatch_helpers.h"
#include "core/host/invoke_expressions.h"
#include "host/browser/objects/browsers.h"
#include "tests/support/loopback_http_server.h"
#include "tests/web/nav_fixture.h"
#include "web/navigation/canonical_url.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/object_locator.h"
#include "web/navigation/page_search.h"
#include "web/navigation/process_to_url.h"
#include "web/navigation/to_url_log.h"
#include "web/navigation/window_to_url.h"

namespace pw::web::test {
namespace {

bool EngineTestsWanted() {
  const char* env = std::getenv("PW_ENGINE_TESTS");
  return env && std::string(env) == "1";
}

class TContextItem final : public Implements<ComObject, IpwOpenAppContextItem> {
 public:
  explicit TContextItem(IUnknown* object) : object_(object) {}
  HRESULT GetNativeObject(IUnknown** object) override {
    *object = ComPtr<IUnknown>(object_).Detach();
    return S_OK;
  }

 private:
  ComPtr<IUnknown> object_;
};

std::string Html(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html><html><head><title>" + title + "</title></head><body>" + body + "</body></html>";
}

class RealEngineHttp : public NavTest {
 protected:
  void SetUp() override {
    if (!EngineTestsWanted()) GTEST_SKIP() << "the engine tests run in the test web_engine";
    SetDefaultWait(3000);
    server.Put("/first.html", Html("First", "1"));
    server.Put("/second.html", Html("Second", "2"));
    server.Put("/dir/third.html", Html("Third", "3"));
    pw::test::LoopbackHttpServer::Page secret;
    secret.body = Html("In", "in");
    secret.realm = "Test realm";
    secret.user = "ann";
    secret.password = "secret";
    server.Put("/secret.html", secret);
  }
  WideString Url(const std::string& path) { return Utf8ToWide(server.Url(path)); }
  WideString Title(host::TestedBrowser& b) {
    return DispGetProperty(host.Browsers().Document(b).Get(), u"title", OleVariant()).AsString();
  }
  ComPtr<host::TSysNode> ProcessOf(host::TestedBrowser& b) { return b.node->Parent(); }
  // A page node for the window-level slices below the browser's process node: its URL and native
  // context object are the browser object's.
  ComPtr<host::TSysNode> WindowPage(host::TestedBrowser& b) {
    auto object = host.Browsers().BrowserObject(b);
    auto process = ProcessOf(b);
    std::int32_t pid = 0;
    QueryAs<IpwSysObjectProcess>(Node(process))->GetProcessId(&pid);
    auto page = process->AddChild(u"Page", {OleVariant(u"window")});
    page->SetMemberValue(u"ObjectType", OleVariant(u"Page"));
    page->SetMemberValue(u"ProcessId", OleVariant(pid));
    page->SetMemberValue(u"Visible", OleVariant(true));
    page->SetMember(u"URL", [object](std::vector<OleVariant>&) {
      return OleVariant(CanonicalizeUrl(DispInvokeId(object.Get(), kBrowserUrlDispid, u"URL", {}).AsString()));
    });
    page->SetContextObject(kContextItemKey, MakeObject<TContextItem>(object.Get())->Identity());
    Attach(page, MakeObject<TpwWebToUrlMethod>(Manager(), GUID_NULL, true), IpwWebPageLocator::iid);
    return page;
  }
  // The process's "Login" node, nil without one.
  static ComPtr<host::TSysNode> LoginNode(const ComPtr<host::TSysNode>& process) {
    for (const auto& child : process->Children())
      if (child->MemberValue(u"ObjectType").AsString() == u"Login") return child;
    return nullptr;
  }
  // Fulfilled at the next document complete of the browser.
  std::future<void> NextDocument(host::TestedBrowser& b) {
    auto promise = std::make_shared<std::promise<void>>();
    auto once = std::make_shared<std::once_flag>();
    auto future = promise->get_future();
    listeners.emplace_back(b.events, b.events->Listen([promise, once](const host::BrowserEvent& e) {
      if (e.kind == host::BrowserEventKind::DocumentComplete) std::call_once(*once, [&] { promise->set_value(); });
    }));
    return future;
  }
  void TearDown() override {
    for (auto& [events, id] : listeners) events->Unlisten(id);
  }

  pw::test::LoopbackHttpServer server;
  host::ScopedRunState run{host.RunState(), host::kRunStateRunning};
  std::vector<std::pair<std::shared_ptr<host::BrowserEvents>, int>> listeners;
};

// ToUrl of a browser process to http:// pages: an absolute URL, a relative one against the
// page's location, and a server that refuses the connection (the engine refuses the navigation
// twice: a failure, not a success).
TEST_F(RealEngineHttp, ProcessToUrlOpensLoopbackPages) {
  auto chrome = host.Browsers().Launch(host::BrowserKind::Chrome, server.Url("/first.html"));
  auto process = ProcessOf(*chrome);
  Attach(process, MakeObject<TpwWebProcessToUrlMethod>(Manager(), false), IpwWebPageLocator2::iid);

  OleVariant result = CallNode(process, u"ToUrl", {OleVariant(Url("/second.html"))});
  EXPECT_EQ(Identity(result), Identity(chrome->node));
  EXPECT_EQ(Title(*chrome), u"Second");

  auto before = host.Log().Entries().size();
  result = CallNode(process, u"ToUrl", {OleVariant(u"dir/third.html?x=1")});
  EXPECT_EQ(Identity(result), Identity(chrome->node));
  EXPECT_EQ(Title(*chrome), u"Third");
  EXPECT_EQ(NodeText(Node(chrome->node), u"URL"), Url("/dir/third.html?x=1"));
  auto entries = EntriesFrom(before);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Event);
  EXPECT_EQ(entries[0].text, u"Navigating to the dir/third.html?x=1 page.");
  EXPECT_EQ(server.Requests("/dir/third.html"), 1);

  std::string refused;
  {
    pw::test::LoopbackHttpServer gone;
    refused = gone.Url("/nothing.html");
  }
  before = host.Log().Entries().size();
  CallNode(process, u"ToUrl", {OleVariant(Utf8ToWide(refused))});
  entries = EntriesFrom(before);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Error);
  EXPECT_NE(entries[0].text.find(u"ERR_CONNECTION_REFUSED"), WideString::npos) << WideToUtf8(entries[0].text);
  EXPECT_EQ(entries[1].kind, host::LogEntry::Error);
  EXPECT_EQ(entries[1].text, u"Unable to navigate to the " + Utf8ToWide(refused) + u" page.");
  EXPECT_NE(entries[1].additionalText.find(kErrorCallingNavigateTo), WideString::npos);
}

// The window-level ToUrl of an "iexplore" page to an http:// page.
TEST_F(RealEngineHttp, WindowToUrlOpensALoopbackPage) {
  auto ie = host.Browsers().Launch(host::BrowserKind::InternetExplorer, server.Url("/first.html"));
  auto page = WindowPage(*ie);
  const auto before = host.Log().Entries().size();
  OleVariant result = CallNode(page, u"ToUrl", {OleVariant(Url("/second.html"))});
  EXPECT_EQ(Identity(result), Identity(page));
  EXPECT_EQ(Title(*ie), u"Second");
  auto entries = EntriesFrom(before);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Event);
  EXPECT_EQ(entries[0].text, u"Navigating to the " + Url("/second.html") + u" page.");
  EXPECT_EQ(CallNode(page, u"URL", {}).AsString(), Url("/second.html"));
}

// A page that answers 401 with a Basic challenge: the host shows a "Login" node under the
// browser, which ends the navigation wait and the page search of the window-level ToUrl at once;
// the node's Authenticate answers the challenge and the page loads.
TEST_F(RealEngineHttp, ALoginEndsBothWaitsOfTheWindowLevelToUrl) {
  auto ie = host.Browsers().Launch(host::BrowserKind::InternetExplorer, server.Url("/first.html"));
  auto process = ProcessOf(*ie);
  auto page = WindowPage(*ie);
  EXPECT_FALSE(LoginNode(process));
  const auto slept = clock.Slept();
  // A long wait of its own: only the login can end it early.
  OleVariant result = CallNode(page, u"ToUrl", {OleVariant(Url("/secret.html")), OleVariant(20000)});
  // Neither wait ran: only the pause of the final look for the visible page.
  EXPECT_EQ(clock.Slept() - slept, kFindVisiblePagePauseMs);
  EXPECT_TRUE(VarToDispatch(result.Get()));
  auto login = LoginNode(process);
  ASSERT_TRUE(login);
  EXPECT_TRUE(IsLoginPage(Node(process)));
  EXPECT_EQ(login->MemberValue(u"URL").AsString(), Url("/secret.html"));
  EXPECT_EQ(login->MemberValue(u"Realm").AsString(), u"Test realm");
  // The engine holds the page for the login: its document cannot be read meanwhile.
  try {
    host.Browsers().Document(*ie);
    ADD_FAILURE() << "the document answered while the login was open";
  } catch (const EOleSysError& e) {
    EXPECT_EQ(e.Message(), u"A login of the page is open: " + Url("/secret.html"));
  }
  // Wait ends at once too while the login is open.
  EXPECT_EQ(CallNode(page, u"Wait", {OleVariant(20000)}).AsString(), Url("/first.html"));
  EXPECT_EQ(clock.Slept() - slept, kFindVisiblePagePauseMs);

  auto loaded = NextDocument(*ie);
  CallNode(login, u"Authenticate", {OleVariant(u"ann"), OleVariant(u"secret")});
  ASSERT_EQ(loaded.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_EQ(Title(*ie), u"In");
  EXPECT_FALSE(LoginNode(process));
  EXPECT_EQ(server.Authorised("/secret.html"), 1);
}

// The process-level ToUrl ends when the login shows (the navigation counts it as its result);
// Cancel shows the server's own answer; a navigation replaces an open login.
TEST_F(RealEngineHttp, ALoginEndsTheProcessLevelToUrl) {
  auto chrome = host.Browsers().Launch(host::BrowserKind::Chrome, server.Url("/first.html"));
  auto process = ProcessOf(*chrome);
  Attach(process, MakeObject<TpwWebProcessToUrlMethod>(Manager(), false), IpwWebPageLocator2::iid);
  const auto slept = clock.Slept();
  OleVariant result = CallNode(process, u"ToUrl", {OleVariant(Url("/secret.html"))});
  EXPECT_EQ(clock.Slept() - slept, kFindVisiblePagePauseMs + 220u);  // the page's look and the settle wait
  EXPECT_EQ(Identity(result), Identity(chrome->node));
  auto login = LoginNode(process);
  ASSERT_TRUE(login);
  EXPECT_EQ(login->MemberValue(u"Scheme").AsString(), u"basic");

  auto loaded = NextDocument(*chrome);
  CallNode(login, u"Cancel", {});
  ASSERT_EQ(loaded.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_EQ(Title(*chrome), u"Denied");
  EXPECT_FALSE(LoginNode(process));

  // Asked again, then sent elsewhere: the open login goes with the navigation.
  CallNode(process, u"ToUrl", {OleVariant(Url("/secret.html"))});
  ASSERT_TRUE(LoginNode(process));
  CallNode(process, u"ToUrl", {OleVariant(Url("/second.html"))});
  EXPECT_EQ(Title(*chrome), u"Second");
  EXPECT_FALSE(LoginNode(process));
  EXPECT_EQ(server.Authorised("/secret.html"), 0);
}

// Find on the host's element nodes across frames: a frame of the same site and a srcdoc frame
// hold their documents' elements below their nodes (one round trip for the page's search);
// an element whose property raises does not end the search; the elements of a frame of another
// site are out of the page's reach (its node has no children); no match gives the "item" object.
TEST_F(RealEngineHttp, FindSearchesTheFramesOfThePage) {
  server.Put("/inner.html", Html("Inner",
                                 "<div id='innerBox'><input id='innerName' name='user' title='Inner name'>"
                                 "<a id='innerLink' href='x.html'>x</a>"
                                 "<button id='press' onclick=\"document.getElementById('out').textContent='pressed'\">"
                                 "Press</button><span id='out'>none</span></div>"));
  server.Put("/cross.html", Html("Cross", "<input id='crossName' title='Cross name'>"));
  const std::string srcdoc =
      "<form id=&quot;f&quot;><span id=&quot;raising&quot;>r</span>"
      "<input id=&quot;srcName&quot; title=&quot;x after&quot;></form>"
      "<script>Object.defineProperty(document.getElementById(&quot;raising&quot;), &quot;title&quot;,"
      " {get() { throw new Error(&quot;no title&quot;); }});</script>";
  server.Put("/frames.html", Html("Frames",
                                  "<div id='top'><input id='name' title='Top name'></div>"
                                  "<iframe id='same' src='/inner.html'></iframe>"
                                  "<iframe id='doc' srcdoc='" +
                                      srcdoc +
                                      "'></iframe>"
                                      "<iframe id='cross' src='" +
                                      server.Url("/cross.html", "localhost") +
                                      "'></iframe>"
                                      "<p id='last'>last</p>"));
  auto chrome = host.Browsers().Launch(host::BrowserKind::Chrome, server.Url("/frames.html"));
  ASSERT_EQ(Title(*chrome), u"Frames");
  auto page = chrome->node;
  Attach(page, MakeObject<TpwWebObjectLocator>(Manager()), IpwWebObjectLocator::iid);
  page->Refresh();
  auto idOf = [](const OleVariant& v) -> WideString {
    auto d = VarToDispatch(v.Get());
    if (!d || !NodeExists(d.Get())) return u"(none)";
    return NodeText(d.Get(), u"idStr");
  };
  auto& connection = host.Browsers().Engine().Conn();
  struct Case {
    const char16_t* property;
    const char16_t* value;
    const char16_t* tag;    // nullptr: none
    const char16_t* found;  // the element's id; "(none)": the "item" object
  } cases[] = {
      {u"id", u"innerName", nullptr, u"innerName"},
      {u"id", u"inner*", nullptr, u"innerBox"},  // depth first: the frame's elements follow the frame
      {u"id", u"inner*", u"INPUT", u"innerName"},
      {u"tagName", u"a", nullptr, u"innerLink"},
      {u"id", u"srcName", u"input", u"srcName"},
      {u"title", u"x*", nullptr, u"srcName"},  // past the element whose title raises
      {u"title", u"*name", nullptr, u"name"},
      {u"id", u"last", nullptr, u"last"},
      {u"id", u"crossName", nullptr, u"(none)"},  // another site's frame
      {u"id", u"nothing", nullptr, u"(none)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.property) + " " + WideToUtf8(c.value));
    const OleVariant tag = c.tag ? OleVariant(WideString(c.tag)) : OleVariant();
    const auto calls = connection.CallsSent();
    const OleVariant found =
        CallNode(page, u"Find", {OleVariant(WideString(c.property)), OleVariant(WideString(c.value)), tag});
    EXPECT_EQ(connection.CallsSent() - calls, 1);  // the page's one search, frames included
    EXPECT_EQ(idOf(found), c.found);
    if (WideString(c.found) == u"(none)") {
      ASSERT_TRUE(VarToDispatch(found.Get()));  // the host's "item" object
    }
    // The walk over the refreshed nodes answers the same.
    auto walked = WalkForElement(Node(page), c.property, OleVariant(WideString(c.value)).Get(), c.tag ? c.tag : u"");
    if (walked) {
      EXPECT_TRUE(SameObject(VarToDispatch(found.Get()).Get(), walked.Get()));
    } else {
      EXPECT_EQ(idOf(found), u"(none)");
    }
  }

  // The frames' nodes: the same site's and the srcdoc frame's hold their elements; another
  // site's holds none.
  auto child = [](const ComPtr<host::TSysNode>& node, const char16_t* name) -> ComPtr<host::TSysNode> {
    std::int32_t count = 0;
    node->GetChildCount(&count);
    for (const auto& c : node->Children())
      if (c->FullNameText().ends_with(name)) return c;
    return nullptr;
  };
  auto same = child(page, u"Frame(\"same\")");
  ASSERT_TRUE(same);
  auto box = child(same, u"Panel(\"innerBox\")");
  ASSERT_TRUE(box);
  EXPECT_TRUE(child(box, u"Textbox(\"innerName\")"));
  auto cross = child(page, u"Frame(\"cross\")");
  ASSERT_TRUE(cross);
  std::int32_t crossChildren = -1;
  cross->GetChildCount(&crossChildren);
  EXPECT_EQ(crossChildren, 0);

  // Find below a frame's node: only that frame's elements.
  Attach(same, MakeObject<TpwWebObjectLocator>(Manager()), IpwWebObjectLocator::iid);
  EXPECT_EQ(idOf(CallNode(same, u"Find", {OleVariant(u"id"), OleVariant(u"innerLink")})), u"innerLink");
  EXPECT_EQ(idOf(CallNode(same, u"Find", {OleVariant(u"id"), OleVariant(u"name")})), u"(none)");

  // An element of a frame is acted on where the frame shows it.
  auto press = child(box, u"Button(\"press\")");
  ASSERT_TRUE(press);
  CallNode(press, u"Click", {});
  EXPECT_EQ(chrome->page->Evaluate("document.getElementById('same').contentDocument.getElementById('out').textContent")
                .object.value("value", std::string()),
            "pressed");
}

}  // namespace
}  // namespace pw::web::test
