// The browser event state machine: every state against every event, the DISPIDs and the URL
// argument, unassigned handlers, a whole navigation.
#include "web/navigation/ie_browser_events.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interfaces/ProbewrightHost.h"
#include "platform/automation/variant.h"
#include "platform/com/comobject.h"
#include "platform/com/connection_points.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw::web {
namespace {

using Kind = TpwBrowserEventKind;

// A browser stand-in: any object; its location is what the test sets.
class TStubBrowser : public Implements<ComObject, IpwTestLog> {
 public:
  HRESULT Message(BSTR, BSTR, std::int32_t) override { return S_OK; }
  HRESULT Error(BSTR, BSTR, std::int32_t) override { return S_OK; }
  HRESULT Warning(BSTR, BSTR, std::int32_t) override { return S_OK; }
  HRESULT Event(BSTR, BSTR, std::int32_t) override { return S_OK; }
  WideString location = u"HTTP://Example.com:80/done/../page.htm";
};

struct Recorder {
  std::vector<std::string> calls;
  IUnknown* expectedBrowser = nullptr;
  int wrongBrowser = 0;

  void Attach(TpwIEBrowserEventStates& m) {
    auto check = [this](IUnknown* b) { wrongBrowser += b != expectedBrowser; };
    m.OnBeforeNavigate = [this, check](IUnknown* b, const WideString& url) {
      check(b);
      calls.push_back("BeforeNavigate " + WideToUtf8(url));
    };
    m.OnPageDownloaded = [this, check](IUnknown* b, const WideString& url) {
      check(b);
      calls.push_back("PageDownloaded " + WideToUtf8(url));
    };
    m.OnDownloadStarted = [this, check](IUnknown* b) { check(b), calls.push_back("DownloadStarted"); };
    m.OnDownloadFinished = [this, check](IUnknown* b) { check(b), calls.push_back("DownloadFinished"); };
    m.OnActivate = [this, check](IUnknown* b) { check(b), calls.push_back("Activate"); };
    m.OnQuit = [this, check](IUnknown* b) { check(b), calls.push_back("Quit"); };
  }
};

class IEBrowserEvents : public ::testing::Test {
 protected:
  ComPtr<TStubBrowser> browser = MakeObject<TStubBrowser>();
  IUnknown* unknown = static_cast<IpwTestLog*>(browser.Get());
  TpwIEBrowserEventStates machine{unknown, [this](IUnknown* b) {
                                    EXPECT_EQ(b, unknown);
                                    return browser->location;
                                  }};
  Recorder recorder;

  void SetUp() override {
    recorder.expectedBrowser = unknown;
    recorder.Attach(machine);
  }

  // Brings the machine from idle to the state through events, then forgets the calls.
  void Enter(std::uint8_t state) {
    ASSERT_EQ(machine.State(), 0);
    if (state >= 1) machine.HandleEvent(Kind::BeforeNavigate, u"setup");
    if (state == 2) machine.HandleEvent(Kind::DownloadBegin);
    ASSERT_EQ(machine.State(), state);
    recorder.calls.clear();
  }
};

TEST_F(IEBrowserEvents, EveryStateAgainstEveryEvent) {
  const std::string page = "PageDownloaded http://example.com/page.htm";
  struct Case {
    std::uint8_t state;
    Kind kind;
    const char* call;  // "" for none
    std::uint8_t next;
  } cases[] = {
      {0, Kind::Quit, "Quit", 0},
      {0, Kind::BeforeNavigate, "BeforeNavigate Url Arg", 1},
      {0, Kind::DocumentComplete, "", 0},
      {0, Kind::DownloadBegin, "", 0},
      {0, Kind::DownloadEnd, "", 0},
      {0, Kind::WindowActivate, "Activate", 0},
      {1, Kind::Quit, "Quit", 0},
      {1, Kind::BeforeNavigate, "", 1},
      {1, Kind::DocumentComplete, "page", 0},
      {1, Kind::DownloadBegin, "DownloadStarted", 2},
      {1, Kind::DownloadEnd, "page", 0},
      {1, Kind::WindowActivate, "Activate", 1},
      {2, Kind::Quit, "Quit", 0},
      {2, Kind::BeforeNavigate, "BeforeNavigate Url Arg", 2},
      {2, Kind::DocumentComplete, "", 2},
      {2, Kind::DownloadBegin, "", 2},
      {2, Kind::DownloadEnd, "DownloadFinished", 1},
      {2, Kind::WindowActivate, "Activate", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "state " << int(c.state) << ", kind " << int(c.kind));
    machine.HandleEvent(Kind::Quit);  // back to idle
    Enter(c.state);
    machine.HandleEvent(c.kind, u"Url Arg");
    std::vector<std::string> expected;
    if (std::string(c.call) == "page") {
      expected.push_back(page);
    } else if (*c.call) {
      expected.push_back(c.call);
    }
    EXPECT_EQ(recorder.calls, expected);
    EXPECT_EQ(machine.State(), c.next);
  }
  EXPECT_EQ(recorder.wrongBrowser, 0);
}

TEST_F(IEBrowserEvents, ANavigationWithADownloadReportsEachStepOnce) {
  machine.HandleDispatchEvent(kDispidBeforeNavigate2, nullptr);
  machine.HandleDispatchEvent(kDispidDownloadBegin, nullptr);
  machine.HandleDispatchEvent(kDispidDownloadComplete, nullptr);
  machine.HandleDispatchEvent(kDispidDocumentComplete, nullptr);
  machine.HandleDispatchEvent(kDispidDocumentComplete, nullptr);  // a second one (a frame): nothing
  std::vector<std::string> expected = {"BeforeNavigate ", "DownloadStarted", "DownloadFinished",
                                       "PageDownloaded http://example.com/page.htm"};
  EXPECT_EQ(recorder.calls, expected);
  EXPECT_EQ(machine.State(), 0);
}

TEST_F(IEBrowserEvents, UnknownDispidsAreIgnored) {
  for (DISPID id : {0, 105, 251, 252, 260, -1}) machine.HandleDispatchEvent(id, nullptr);
  EXPECT_TRUE(recorder.calls.empty());
  EXPECT_EQ(machine.State(), 0);
}

TEST_F(IEBrowserEvents, UnassignedHandlersAreSkippedAndTheStateStillChanges) {
  TpwIEBrowserEventStates bare(unknown, nullptr);
  bare.HandleEvent(Kind::BeforeNavigate, u"x");
  EXPECT_EQ(bare.State(), 1);
  bare.HandleEvent(Kind::DownloadBegin);
  EXPECT_EQ(bare.State(), 2);
  bare.HandleEvent(Kind::DownloadEnd);
  EXPECT_EQ(bare.State(), 1);
  bare.HandleEvent(Kind::DocumentComplete);
  EXPECT_EQ(bare.State(), 0);
  EXPECT_EQ(bare.GetBrowserUrl(), u"");  // no reader: no location
}

TEST_F(IEBrowserEvents, AHandlerThatRaisesLeavesTheNewState) {
  machine.OnBeforeNavigate = [](IUnknown*, const WideString&) { throw std::runtime_error("handler"); };
  EXPECT_THROW(machine.HandleEvent(Kind::BeforeNavigate, u"x"), std::runtime_error);
  EXPECT_EQ(machine.State(), 1);
}

TEST(BeforeNavigateUrl, ReadsTheSecondArgumentAsItComes) {
  // BeforeNavigate2(pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel), reversed.
  OleVariant url(u"HTTP://Example.com/a b");
  std::vector<VARIANT> args(7);
  for (auto& a : args) VariantInit(&a);
  args[5].vt = VT_BYREF | VT_VARIANT;
  args[5].pvarVal = const_cast<VARIANT*>(&url.Get());
  DISPPARAMS params{args.data(), nullptr, 7, 0};
  EXPECT_EQ(BeforeNavigateUrl(&params), u"HTTP://Example.com/a b");  // not canonicalised

  args[5] = url.Get();  // by value (a shallow copy; url keeps ownership)
  EXPECT_EQ(BeforeNavigateUrl(&params), u"HTTP://Example.com/a b");
  OleVariant number(42);
  args[5] = number.Get();
  EXPECT_EQ(BeforeNavigateUrl(&params), u"42");
  VariantInit(&args[5]);
  args[5].vt = VT_NULL;
  EXPECT_EQ(BeforeNavigateUrl(&params), u"");
  DISPPARAMS one{args.data(), nullptr, 1, 0};
  EXPECT_EQ(BeforeNavigateUrl(&one), u"");
  EXPECT_EQ(BeforeNavigateUrl(nullptr), u"");
}

// ---- The sink over a browser's connection point --------------------------------------------

// A browser stand-in with the connection point of DWebBrowserEvents2 and a location that its
// IWebBrowser2 (here an IDispatch under that id) answers by DISPID.
class TPointBrowser : public Implements<ComObject, IConnectionPointContainer, IDispatch> {
 public:
  TPointBrowser() : point(MakeObject<TConnectionPoint>(kDIID_DWebBrowserEvents2, this)) {}
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override {
    if (points) *points = nullptr;
    return E_NOTIMPL;
  }
  HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** p) override {
    *p = nullptr;
    if (iid != kDIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
    *p = ComPtr<IConnectionPoint>(point).Detach();
    return S_OK;
  }
  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const*, std::uint32_t, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, std::uint32_t*) override {
    if (id != kDispidLocationUrl || !result) return DISP_E_MEMBERNOTFOUND;
    *result = OleVariant(location).Detach();
    return S_OK;
  }
  // Fires an event; BeforeNavigate2 gets its seven arguments with the URL second.
  HRESULT Fire(DISPID id, const WideString& url = u"") {
    std::vector<VARIANT> args(id == kDispidBeforeNavigate2 ? 7 : 0);
    for (auto& a : args) VariantInit(&a);
    BString text(url);
    if (!args.empty()) {
      args[5].vt = VT_BSTR;
      args[5].bstrVal = text.Get();
    }
    DISPPARAMS params{args.data(), nullptr, static_cast<std::uint32_t>(args.size()), 0};
    return point->Fire(id, &params);
  }

  ComPtr<TConnectionPoint> point;
  WideString location = u"HTTP://Example.com:80/a/../b.htm";
  bool answersWebBrowser = true;

 protected:
  HRESULT QueryMissingInterface(const IID& iid, void** ppv) noexcept override {
    if (iid != kIID_IWebBrowser2 || !answersWebBrowser) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IDispatch*>(this);
    return S_OK;
  }
};

class IEBrowserEventSink : public ::testing::Test {
 protected:
  TpwIEBrowserEventHandlers Handlers() {
    TpwIEBrowserEventHandlers h;
    h.OnBeforeNavigate = [this](IUnknown* b, const WideString& url) { Seen(b, "BeforeNavigate " + WideToUtf8(url)); };
    h.OnPageDownloaded = [this](IUnknown* b, const WideString& url) { Seen(b, "PageDownloaded " + WideToUtf8(url)); };
    h.OnDownloadStarted = [this](IUnknown* b) { Seen(b, "DownloadStarted"); };
    h.OnDownloadFinished = [this](IUnknown* b) { Seen(b, "DownloadFinished"); };
    h.OnActivate = [this](IUnknown* b) { Seen(b, "Activate"); };
    h.OnQuit = [this](IUnknown* b) { Seen(b, "Quit"); };
    return h;
  }
  void Seen(IUnknown* b, std::string call) {
    wrongBrowser += b != static_cast<IDispatch*>(browser.Get());
    calls.push_back(std::move(call));
  }

  ComPtr<TPointBrowser> browser = MakeObject<TPointBrowser>();
  IUnknown* unknown = static_cast<IDispatch*>(browser.Get());
  std::vector<std::string> calls;
  int wrongBrowser = 0;
};

TEST_F(IEBrowserEventSink, EventsOfTheConnectionPointReachTheHandlers) {
  auto sink = TpwIEBrowserEvents::Create(unknown, Handlers());
  EXPECT_TRUE(sink->Connected());
  EXPECT_EQ(browser->point->SinkCount(), 1u);
  for (DISPID id : {kDispidWindowActivate, kDispidBeforeNavigate2, 252, kDispidDownloadBegin, kDispidDownloadComplete,
                    kDispidDocumentComplete, kDispidOnQuit})
    EXPECT_EQ(browser->Fire(id, u"HTTP://Example.com/a b"), S_OK);
  // The URL of the page comes from the browser's location (canonical), not from the event.
  std::vector<std::string> expected = {"Activate",         "BeforeNavigate HTTP://Example.com/a b",   "DownloadStarted",
                                       "DownloadFinished", "PageDownloaded http://example.com/b.htm", "Quit"};
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(wrongBrowser, 0);
  EXPECT_EQ(sink->State(), 0);
}

TEST_F(IEBrowserEventSink, TheLastReleaseAndDisconnectUnadvise) {
  auto sink = TpwIEBrowserEvents::Create(unknown, Handlers());
  sink->Disconnect();
  EXPECT_FALSE(sink->Connected());
  EXPECT_EQ(browser->point->SinkCount(), 0u);
  browser->Fire(kDispidBeforeNavigate2, u"x");
  EXPECT_TRUE(calls.empty());
  sink->Disconnect();  // twice is harmless

  auto second = TpwIEBrowserEvents::Create(unknown, Handlers());
  EXPECT_EQ(browser->point->SinkCount(), 1u);
  second = nullptr;
  EXPECT_EQ(browser->point->SinkCount(), 0u);

  // A browser that already let its sinks go (it quit) is no obstacle.
  auto third = TpwIEBrowserEvents::Create(unknown, Handlers());
  browser->point->DisconnectAll();
  third = nullptr;
}

TEST_F(IEBrowserEventSink, ABrowserWithoutTheEventsOrItsLocation) {
  // No connection point: a sink that never reports.
  auto plain = MakeObject<TStubBrowser>();
  auto none = TpwIEBrowserEvents::Create(static_cast<IpwTestLog*>(plain.Get()), Handlers());
  EXPECT_FALSE(none->Connected());
  auto nil = TpwIEBrowserEvents::Create(nullptr, Handlers());
  EXPECT_FALSE(nil->Connected());
  // No IWebBrowser2: the downloaded page has an empty URL.
  browser->answersWebBrowser = false;
  auto sink = TpwIEBrowserEvents::Create(unknown, Handlers());
  browser->Fire(kDispidBeforeNavigate2, u"u");
  browser->Fire(kDispidDocumentComplete);
  std::vector<std::string> expected = {"BeforeNavigate u", "PageDownloaded "};
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(ReadBrowserLocation(unknown), u"");
  browser->answersWebBrowser = true;
  EXPECT_EQ(ReadBrowserLocation(unknown), browser->location);
  EXPECT_EQ(ReadBrowserLocation(nullptr), u"");
}

TEST_F(IEBrowserEventSink, AHandlerThatRaisesOrReleasesTheSink) {
  auto handlers = Handlers();
  handlers.OnActivate = [](IUnknown*) { throw Exception(u"handler failed"); };
  ComPtr<TpwIEBrowserEvents> sink;
  handlers.OnQuit = [&](IUnknown*) { sink = nullptr; };  // the last reference, on the event's thread
  sink = TpwIEBrowserEvents::Create(unknown, std::move(handlers));
  EXPECT_EQ(browser->Fire(kDispidWindowActivate), DISP_E_EXCEPTION);
  EXPECT_EQ(browser->Fire(kDispidOnQuit), S_OK);
  EXPECT_FALSE(sink);
  EXPECT_EQ(browser->point->SinkCount(), 0u);
}

}  // namespace
}  // namespace pw::web
