// The IE-side navigation against the real engine (CTest "web_engine"): the browser event sink
// on the "iexplore" browser object, IEFrame and WaitIEFrame of its process, Page of an IE frame,
// the window-level ToUrl, URL, NavigateTo and Wait through the browser object, and Find and
// ClickChecked over the page's real elements.
//
// What the host does not offer yet is given by the tests themselves, each on top of the real
// objects: the process node's Window(class, caption, index) member, a "Browser" node whose
// native object answers the window-level navigation members by number (passed on to the real
// browser object's Navigate, ReadyState, Busy and LocationURL), and element nodes below a page
// (their members read from and clicks sent to the page's real DOM elements).
#include <cstdlib>
#include <fstream>
#include <future>
#include <map>
#include <mutex>

#include "core/automation/dispatch_helpers.h"
#include "core/host/invoke_expressions.h"
#include "host/browser/objects/browsers.h"
#include "host/browser/objects/web_browser.h"
#include "tests/support/scratch_dir.h"
#include "tests/web/nav_fixture.h"
#include "web/navigation/canonical_url.h"
#include "web/navigation/check_box.h"
#include "web/navigation/ie_browser_events.h"
#include "web/navigation/ie_frame.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/object_locator.h"
#include "web/navigation/page_search.h"
#include "web/navigation/process_to_url.h"
#include "web/navigation/window_to_url.h"
#include "web/plugin/web_builders.h"

namespace pw::web::test {
namespace {

bool EngineTestsWanted() {
  const char* env = std::getenv("PW_ENGINE_TESTS");
  return env && std::string(env) == "1";
}

// The window-level navigation members by number, passed on to a real browser object.
class TBrowserBridge final : public Implements<ComObject, IDispatch> {
 public:
  explicit TBrowserBridge(ComPtr<host::IWebBrowser2> web) : web_(std::move(web)) {}
  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const*, std::uint32_t, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 std::uint32_t*) override {
    switch (id) {
      case kBrowserNavigateDispid: {
        // A relative URL is taken against the current location, as a browser's address does.
        ++navigations;
        BString current;
        web_->get_LocationURL(current.Put());
        BString url(
            ResolveUrl(WideString(BstrView(current.Get())), OleVariant(params->rgvarg[params->cArgs - 1]).AsString()));
        return web_->Navigate(url.Get(), nullptr, nullptr, nullptr, nullptr);
      }
      case kBrowserNavigatedDispid: return S_OK;
      case kBrowserReadyDispid: {
        std::int32_t state = 0;
        VARIANT_BOOL busy = VARIANT_TRUE;
        web_->get_ReadyState(&state);
        web_->get_Busy(&busy);
        if (result) *result = OleVariant(state == 4 && !busy).Detach();
        return S_OK;
      }
      case kBrowserUrlDispid: {
        BString url;
        web_->get_LocationURL(url.Put());
        if (result) *result = OleVariant(WideString(BstrView(url.Get()))).Detach();
        return S_OK;
      }
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }
  int navigations = 0;

 private:
  ComPtr<host::IWebBrowser2> web_;
};

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

class RealEngineFrames : public NavTest {
 protected:
  void SetUp() override {
    if (!EngineTestsWanted()) GTEST_SKIP() << "the engine tests run in the test web_engine";
    std::ofstream(dir.Utf8File("first.html")) << "<html><head><title>First</title></head><body>1</body></html>";
    std::ofstream(dir.Utf8File("second.html")) << "<html><head><title>Second</title></head><body>2</body></html>";
    SetDefaultWait(3000);
  }
  std::string Url(const std::string& name) { return "file://" + dir.Utf8File(name); }
  ComPtr<host::IWebBrowser2> WebBrowser(host::TestedBrowser& b) {
    return QueryAs<host::IWebBrowser2>(host.Browsers().BrowserObject(b).Get());
  }
  WideString Title(host::TestedBrowser& b) {
    return DispGetProperty(host.Browsers().Document(b).Get(), u"title", OleVariant()).AsString();
  }

  pw::test::ScratchDir dir;
  host::ScopedRunState run{host.RunState(), host::kRunStateRunning};
};

// A real navigation of the "iexplore" browser reaches the sink advised on its browser object
// as one BeforeNavigate (the URL as asked) and one PageDownloaded (the canonical location); the
// browser's quit is reported and lets the sink go.
TEST_F(RealEngineFrames, TheBrowserObjectsEventsReachTheSink) {
  auto ie = host.Browsers().Launch(host::BrowserKind::InternetExplorer, Url("first.html"));
  auto object = host.Browsers().BrowserObject(*ie);
  ASSERT_TRUE(object);
  std::mutex lock;
  std::vector<WideString> seen;
  std::promise<void> downloaded, quit;
  TpwIEBrowserEventHandlers h;
  auto add = [&](WideString s) {
    std::lock_guard g(lock);
    seen.push_back(std::move(s));
  };
  h.OnBeforeNavigate = [&](IUnknown*, const WideString& url) { add(u"before " + url); };
  h.OnPageDownloaded = [&](IUnknown*, const WideString& url) {
    add(u"downloaded " + url);
    downloaded.set_value();
  };
  h.OnQuit = [&](IUnknown*) {
    add(u"quit");
    quit.set_value();
  };
  auto sink = TpwIEBrowserEvents::Create(object.Get(), std::move(h));
  ASSERT_TRUE(sink->Connected());

  const std::string target = Url("second.html") + "?a=1#top";
  host.Browsers().Navigate(*ie, target);
  ASSERT_EQ(downloaded.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
  {
    std::lock_guard g(lock);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], u"before " + Utf8ToWide(target));
    EXPECT_EQ(seen[1], u"downloaded " + CanonicalizeUrl(Utf8ToWide(target)));
  }
  EXPECT_EQ(sink->State(), 0);
  EXPECT_EQ(ReadBrowserLocation(object.Get()), CanonicalizeUrl(Utf8ToWide(target)));

  ASSERT_EQ(WebBrowser(*ie)->Quit(), S_OK);
  ASSERT_EQ(quit.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
  sink = nullptr;  // the browser let it go already; the release is harmless
}

// IEFrame and WaitIEFrame of the real "iexplore" process (its own frame process: the engine
// runs every page of a kind in one process), over the process's real window list.
TEST_F(RealEngineFrames, IEFrameAndWaitIEFrameAnswerTheProcesssFrameWindow) {
  auto ie = host.Browsers().Launch(host::BrowserKind::InternetExplorer, Url("first.html"));
  auto process = ie->node->Parent();
  ASSERT_TRUE(process);
  std::int32_t pid = 0;
  ASSERT_EQ(QueryAs<IpwSysObjectProcess>(Node(process))->GetProcessId(&pid), S_OK);
  // Window("IEFrame", "*", i): the i-th frame window of the process (counted from 1), made a
  // node on demand.
  std::vector<ComPtr<host::TSysNode>> frames;
  std::vector<HWND> handles;  // of each frame node (0: one that does not exist)
  int asked = 0;
  process->SetMember(u"Window", [&](std::vector<OleVariant>& args) {
    ++asked;
    const auto index = static_cast<std::size_t>(args.at(2).AsInt() - 1);
    std::vector<HWND> windows;
    for (const auto& b : host.Browsers().List())
      if (b->kind == host::BrowserKind::InternetExplorer) windows.push_back(b->window);
    auto w = process->AddChild(u"Window", {OleVariant(u"IEFrame"), OleVariant(u"*"), OleVariant(args.at(2))});
    if (args.at(0).AsString() == u"IEFrame" && index < windows.size()) {
      w->SetWindowHandle(static_cast<std::int32_t>(windows[index]));
      handles.push_back(windows[index]);
    } else {
      w->SetMemberValue(u"Exists", OleVariant(false));
      handles.push_back(0);
    }
    frames.push_back(w);
    return OleVariant(static_cast<IDispatch*>(Node(w)));
  });
  Attach(process, MakeObject<TpwWebIEFrameMethod>(Manager(), pid), IpwWebIEFrameMethod::iid);

  OleVariant first = CallNode(process, u"IEFrame", {OleVariant(0)});
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(Identity(first), Identity(frames[0]));
  EXPECT_EQ(handles[0], ie->window);

  // A second browser opens: its frame is the second.
  auto other = host.Browsers().Launch(host::BrowserKind::InternetExplorer, Url("second.html"));
  OleVariant second = CallNode(process, u"WaitIEFrame", {OleVariant(1), OleVariant(2000)});
  EXPECT_EQ(handles.back(), other->window);
  EXPECT_EQ(Identity(second), Identity(frames.back()));

  // No third one: the wait runs out on the clock, in 100 ms steps, and the host's "IEFrame"
  // placeholder answers.
  const auto before = clock.Slept();
  asked = 0;
  OleVariant none = CallNode(process, u"WaitIEFrame", {OleVariant(2), OleVariant(1000)});
  EXPECT_GE(clock.Slept() - before, 1000u);
  EXPECT_GT(asked, 5);
  auto placeholder = VarToDispatch(none.Get());
  ASSERT_TRUE(placeholder);
  EXPECT_FALSE(NodeExists(placeholder.Get()));
}

// Page of an IE frame: the real page below the process that holds the frame, by its URL in any
// of its forms or by a pattern; a page that is not there is the host's Page("URL") object, never
// another page.
TEST_F(RealEngineFrames, PageOfAnIEFrameFindsTheRealPage) {
  auto ie = host.Browsers().Launch(host::BrowserKind::InternetExplorer, Url("first.html"));
  auto process = ie->node->Parent();
  Attach(process, MakeObject<TpwWebIEFrameExtender>(Manager(), GUID_NULL), IpwWebIEFrame::iid);
  const WideString first = Utf8ToWide(Url("first.html"));
  const WideString loose = u"FILE:" + first.substr(5, first.rfind(u'/') - 5) + u"/./x/../first.html";
  for (const WideString& asked : {first, loose, WideString(u"*first*"), WideString(u"*")}) {
    SCOPED_TRACE(WideToUtf8(asked));
    OleVariant page = CallNode(process, u"Page", {OleVariant(asked)});
    EXPECT_EQ(Identity(page), Identity(ie->node));
  }
  OleVariant missing = CallNode(process, u"Page", {OleVariant(Utf8ToWide(Url("second.html")))});
  auto placeholder = VarToDispatch(missing.Get());
  ASSERT_TRUE(placeholder);
  EXPECT_NE(Identity(missing), Identity(ie->node));
  EXPECT_FALSE(NodeExists(placeholder.Get()));
}

// The window-level ToUrl, URL, NavigateTo and Wait send the real browser to local pages and
// answer its page; the outcome is in the log.
TEST_F(RealEngineFrames, TheWindowLevelToUrlNavigatesTheRealBrowser) {
  auto ie = host.Browsers().Launch(host::BrowserKind::InternetExplorer, Url("first.html"));
  auto web = WebBrowser(*ie);
  ASSERT_TRUE(web);
  auto process = AddProcess(4242, u"iexplore.exe");
  auto browserNode = process->AddChild(u"Browser", {OleVariant(0)});
  browserNode->SetMemberValue(u"ObjectType", OleVariant(u"Browser"));
  auto page = browserNode->AddChild(u"Page", {OleVariant(0)});
  page->SetMemberValue(u"ObjectType", OleVariant(u"Page"));
  page->SetMemberValue(u"ProcessId", OleVariant(4242));
  page->SetMemberValue(u"Visible", OleVariant(true));
  page->SetMember(u"URL", [web](std::vector<OleVariant>&) {
    BString url;
    web->get_LocationURL(url.Put());
    return OleVariant(CanonicalizeUrl(WideString(BstrView(url.Get()))));
  });
  auto bridge = MakeObject<TBrowserBridge>(web);
  page->SetContextObject(kContextItemKey, MakeObject<TContextItem>(static_cast<IDispatch*>(bridge.Get()))->Identity());
  Attach(page, MakeObject<TpwWebToUrlMethod>(Manager(), GUID_NULL, true), IpwWebPageLocator::iid);

  EXPECT_EQ(CallNode(page, u"URL", {}).AsString(), Utf8ToWide(Url("first.html")));
  const auto before = host.Log().Entries().size();
  const WideString second = Utf8ToWide(Url("second.html"));
  OleVariant result = CallNode(page, u"ToUrl", {OleVariant(second)});
  EXPECT_EQ(Identity(result), Identity(page));
  EXPECT_EQ(Title(*ie), u"Second");
  EXPECT_EQ(bridge->navigations, 1);
  auto entries = EntriesFrom(before);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Event);
  EXPECT_EQ(entries[0].text, u"Navigating to the " + second + u" page.");

  // A relative URL against the page's; NavigateTo and Wait answer once the page is there.
  CallNode(page, u"NavigateTo", {OleVariant(u"first.html?x=1"), OleVariant(2000)});
  EXPECT_EQ(Title(*ie), u"First");
  EXPECT_EQ(CallNode(page, u"Wait", {OleVariant(2000)}).AsString(),
            CanonicalizeUrl(Utf8ToWide(Url("first.html") + "?x=1")));
  EXPECT_EQ(bridge->navigations, 2);
}

// The same with no bridge: the host's browser object answers the window-level members by number.
TEST_F(RealEngineFrames, TheBrowserObjectAnswersTheWindowLevelMembersByNumber) {
  auto ie = host.Browsers().Launch(host::BrowserKind::InternetExplorer, Url("first.html"));
  auto object = host.Browsers().BrowserObject(*ie);
  ASSERT_TRUE(object);
  auto process = AddProcess(4243, u"iexplore.exe");
  auto browserNode = process->AddChild(u"Browser", {OleVariant(0)});
  browserNode->SetMemberValue(u"ObjectType", OleVariant(u"Browser"));
  auto page = browserNode->AddChild(u"Page", {OleVariant(0)});
  page->SetMemberValue(u"ObjectType", OleVariant(u"Page"));
  page->SetMemberValue(u"ProcessId", OleVariant(4243));
  page->SetMemberValue(u"Visible", OleVariant(true));
  page->SetMember(u"URL", [object](std::vector<OleVariant>&) {
    return OleVariant(CanonicalizeUrl(DispInvokeId(object.Get(), kBrowserUrlDispid, u"URL", {}).AsString()));
  });
  page->SetContextObject(kContextItemKey, MakeObject<TContextItem>(object.Get())->Identity());
  Attach(page, MakeObject<TpwWebToUrlMethod>(Manager(), GUID_NULL, true), IpwWebPageLocator::iid);

  const OleVariant navigated[] = {OleVariant(true)};
  EXPECT_TRUE(DispInvokeId(object.Get(), kBrowserReadyDispid, u"ready", navigated).AsBool());
  EXPECT_EQ(CallNode(page, u"URL", {}).AsString(), Utf8ToWide(Url("first.html")));
  const auto before = host.Log().Entries().size();
  const WideString second = Utf8ToWide(Url("second.html"));
  OleVariant result = CallNode(page, u"ToUrl", {OleVariant(second)});
  EXPECT_EQ(Identity(result), Identity(page));
  EXPECT_EQ(Title(*ie), u"Second");
  auto entries = EntriesFrom(before);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].text, u"Navigating to the " + second + u" page.");
  CallNode(page, u"NavigateTo", {OleVariant(u"first.html?x=1"), OleVariant(2000)});
  EXPECT_EQ(Title(*ie), u"First");
  EXPECT_EQ(CallNode(page, u"Wait", {OleVariant(2000)}).AsString(),
            CanonicalizeUrl(Utf8ToWide(Url("first.html") + "?x=1")));
  // A closed browser: not ready, and a navigation fails with E_FAIL (the address-bar fallback's cue).
  host.Browsers().Close(ie->id);
  EXPECT_FALSE(DispInvokeId(object.Get(), kBrowserReadyDispid, u"ready", navigated).AsBool());
  const OleVariant url[] = {OleVariant(second)};
  try {
    DispInvokeId(object.Get(), kBrowserNavigateDispid, u"navigate", url);
    ADD_FAILURE() << "a closed browser navigated";
  } catch (const EOleException& e) {
    EXPECT_EQ(e.ErrorCode(), E_FAIL);
  }
}

// The host's own nodes with the slices the plug-in's builders attach (none by hand): the
// navigation slice on each page (its URL and NavigateTo reach the slice, which finds the browser
// object in the page's own page context), the IEFrame slice on the "iexplore" process and the
// Page slice on each frame window, which answers the page that frame shows, never another
// browser's.
TEST_F(RealEngineFrames, TheBuildersSlicesNavigateTheHostsPagesAndFrames) {
  struct KeptFactories {
    TpwWebSliceFactories saved = WebSliceFactories();
    ~KeptFactories() { WebSliceFactories() = saved; }
  } kept;
  // The lookups' slices answer through the services' library, which this test does not load.
  WebSliceFactories() = TpwWebSliceFactories{};
  auto& tree = host.ObjectTree();
  auto process = MakeObject<TpwWebProcess>(Manager());
  auto window = MakeObject<TpwWebWindow>(Manager());
  auto table = MakeObject<TpwOpenAppContextTableBuilder>(
      static_cast<IpwSysManager*>(&tree), MakeGuid("{3E7B1C59-8A24-4F06-B1D3-6C92E0A4F715}"), kContextTableKind);
  for (IpwSysNodeBuilder* b :
       {static_cast<IpwSysNodeBuilder*>(process.Get()), static_cast<IpwSysNodeBuilder*>(window.Get()),
        static_cast<IpwSysNodeBuilder*>(table.Get())})
    tree.AddBuilder(b);
  struct Cleared {
    host::TSysManager& tree;
    ~Cleared() { tree.ClearBuilders(); }
  } cleared{tree};
  auto first = host.Browsers().Launch(host::BrowserKind::InternetExplorer, Url("first.html"));
  auto second = host.Browsers().Launch(host::BrowserKind::InternetExplorer, Url("second.html"));
  auto processNode = first->node->Parent();

  // The page's members reach the navigation slice: a relative URL, then Wait and ToUrl.
  CallNode(first->node, u"NavigateTo", {OleVariant(u"second.html?x=1"), OleVariant(5000)});
  EXPECT_EQ(Title(*first), u"Second");
  const WideString shown = CanonicalizeUrl(Utf8ToWide(Url("second.html") + "?x=1"));
  EXPECT_EQ(CallNode(first->node, u"URL", {}).AsString(), shown);
  EXPECT_EQ(CallNode(first->node, u"Wait", {}).AsString(), shown);
  const auto before = host.Log().Entries().size();
  OleVariant back = CallNode(first->node, u"ToUrl", {OleVariant(u"first.html")});
  EXPECT_EQ(Identity(back), Identity(first->node));
  EXPECT_EQ(Title(*first), u"First");
  auto entries = EntriesFrom(before);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].text, u"Navigating to the first.html page.");
  EXPECT_EQ(Title(*second), u"Second");  // the other browser stayed where it was

  // IEFrame(i) is the i-th browser's frame window; its Page the page that frame shows (a pattern
  // never reaches another frame's page; a URL no page shows is the host's object for it).
  OleVariant frame0 = CallNode(processNode, u"IEFrame", {OleVariant(0)});
  OleVariant frame1 = CallNode(processNode, u"IEFrame", {OleVariant(1)});
  auto page = [&](const OleVariant& frame, const std::string& url) {
    const OleVariant args[] = {OleVariant(Utf8ToWide(url))};
    return DispInvoke(VarToDispatch(frame.Get()).Get(), u"Page", args);
  };
  ASSERT_NE(Identity(frame0), Identity(frame1));
  EXPECT_EQ(Identity(page(frame0, "*")), Identity(first->node));
  EXPECT_EQ(Identity(page(frame1, "*")), Identity(second->node));
  EXPECT_EQ(Identity(page(frame0, Url("first.html"))), Identity(first->node));
  OleVariant notShown = page(frame0, Url("first.html") + "?not-shown");
  ASSERT_TRUE(Identity(notShown));
  EXPECT_FALSE(NodeExists(Identity(notShown)));
  for (const auto& failure : tree.BuilderFailures()) ADD_FAILURE() << WideToUtf8(failure);
}

// Find and ClickChecked over the page's real elements (element nodes whose members read the
// DOM element and whose Click clicks it).
class RealEngineElements : public RealEngineFrames {
 protected:
  ComPtr<host::TSysNode> Element(const ComPtr<host::TSysNode>& parent, const ComPtr<IDispatch>& document,
                                 const char16_t* id) {
    const OleVariant args[] = {OleVariant(WideString(id))};
    auto dom = VarToDispatch(DispInvoke(document.Get(), u"getElementById", args).Get());
    EXPECT_TRUE(dom) << WideToUtf8(id);
    auto node = parent->AddChild(u"Element", {OleVariant(WideString(id))});
    // ("name" would meet the node's own "Name": members are found ignoring case.)
    for (const char16_t* name : {u"tagName", u"id", u"value", u"checked", u"type"})
      node->SetMember(name, [dom, name](std::vector<OleVariant>&) { return DispInvoke(dom.Get(), name, {}); });
    node->SetMember(u"Enabled", [dom](std::vector<OleVariant>&) {
      return OleVariant(!DispInvoke(dom.Get(), u"disabled", {}).AsBool());
    });
    node->SetMember(u"Click", [dom](std::vector<OleVariant>&) {
      DispInvoke(dom.Get(), u"click", {});
      return OleVariant();
    });
    node->SetWaitTimeout(5000);
    return node;
  }
};

// The steps of examples/web-form.js on examples/web/form.html, with the slices attached by hand:
// ToUrl of the process, Find on the page, ClickChecked on its boxes.
TEST_F(RealEngineElements, TheWebFormExampleStepsOnTheRealPage) {
  const std::string form = "file://" + std::string(PW_TEST_SOURCE_DIR) + "/examples/web/form.html";
  auto ie = host.Browsers().Launch(host::BrowserKind::InternetExplorer, form);
  auto process = ie->node->Parent();
  Attach(process, MakeObject<TpwWebProcessToUrlMethod>(Manager(), false), IpwWebPageLocator2::iid);
  OleVariant opened = CallNode(process, u"ToUrl", {OleVariant(Utf8ToWide(form))});
  ASSERT_EQ(Identity(opened), Identity(ie->node));
  auto document = host.Browsers().Document(*ie);
  ASSERT_TRUE(document);
  // The elements hang below a node of their own: the page node's own element children (read by
  // the host from the page) would otherwise come first in the search.
  auto holder = process->AddChild(u"Page", {OleVariant(u"form")});
  std::map<WideString, ComPtr<host::TSysNode>> nodes;
  for (const char16_t* id : {u"agree", u"news", u"locked", u"off", u"userName", u"more"})
    nodes[id] = Element(holder, document, id);
  // An element whose test raises is skipped.
  auto broken = holder->AddChild(u"Element", {OleVariant(u"broken")});
  broken->SetMember(u"tagName", [](std::vector<OleVariant>&) -> OleVariant { throw Exception(u"gone"); });
  broken->SetMember(u"id", [](std::vector<OleVariant>&) -> OleVariant { throw Exception(u"gone"); });
  Attach(holder, MakeObject<TpwWebObjectLocator>(Manager()), IpwWebObjectLocator::iid);

  struct Case {
    const char16_t* property;
    const char16_t* value;
    const char16_t* tag;    // nullptr: none
    const char16_t* found;  // nullptr: the "item" placeholder
  } cases[] = {
      {u"id", u"news", nullptr, u"news"},
      {u"id", u"NEWS", u"input", u"news"},
      {u"id", u"user*", nullptr, u"userName"},
      {u"type", u"check*", u"INPUT", u"agree"},  // the first of four, depth first
      {u"value", u"Ann", nullptr, u"userName"},
      {u"id", u"more", u"a", u"more"},
      {u"id", u"more", u"input", nullptr},
      {u"id", u"nothing", nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.value));
    OleVariant tag = c.tag ? OleVariant(WideString(c.tag)) : OleVariant();
    OleVariant found =
        CallNode(holder, u"Find", {OleVariant(WideString(c.property)), OleVariant(WideString(c.value)), tag});
    if (c.found) {
      EXPECT_EQ(Identity(found), Identity(nodes[c.found]));
    } else {
      auto item = VarToDispatch(found.Get());
      ASSERT_TRUE(item);
      EXPECT_FALSE(NodeExists(item.Get()));
    }
  }

  auto checked = [&](const char16_t* id) {
    const OleVariant args[] = {OleVariant(WideString(id))};
    auto dom = VarToDispatch(DispInvoke(document.Get(), u"getElementById", args).Get());
    return DispInvoke(dom.Get(), u"checked", {}).AsBool();
  };
  for (const char16_t* id : {u"agree", u"news", u"locked", u"off"})
    Attach(nodes[id], MakeObject<TpwWebCheckBoxControl>(Manager()), IpwWebCheckBox::iid);
  const struct {
    const char16_t* id;
    bool wanted;
    host::LogEntry::Kind kind;
    const char16_t* text;
    bool after;
  } boxes[] = {
      {u"agree", true, host::LogEntry::Event, kCheckBoxClickedText, true},
      {u"news", true, host::LogEntry::Message, u"The check box is already checked.", true},
      {u"news", false, host::LogEntry::Event, kCheckBoxClickedText, false},
      {u"locked", true, host::LogEntry::Error, kCheckBoxNotSetText, false},
      {u"off", true, host::LogEntry::Error, kControlDisabledText, false},
  };
  for (const auto& b : boxes) {
    SCOPED_TRACE(WideToUtf8(b.id));
    const auto before = host.Log().Entries().size();
    CallNode(nodes[b.id], u"ClickChecked", {OleVariant(b.wanted)});
    auto entries = EntriesFrom(before);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().kind, b.kind);
    EXPECT_EQ(entries.back().text, b.text);
    EXPECT_EQ(checked(b.id), b.after);
  }
}

}  // namespace
}  // namespace pw::web::test
