// The browser event state machine: every state against every event, the DISPIDs and the URL
// argument, unassigned handlers, a whole navigation.
#include "web/navigation/ie_browser_events.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interfaces/ProbewrightHost.h"
#include "platform/automation/variant.h"
#include "platform/com/comobject.h"
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

}  // namespace
}  // namespace pw::web
