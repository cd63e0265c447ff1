// The IE frame slices on stub nodes: IEFrame and WaitIEFrame of a tab process (the frame
// process's window, waits on the clock, no limit for -1, the placeholder without a frame
// process) and Page of a frame window (patterns, canonical URLs, the Page("URL") fallback).
#include "core/automation/dispatch_helpers.h"
#include "tests/web/nav_fixture.h"
#include "web/navigation/ie_frame.h"
#include "web/navigation/node_facts.h"

namespace pw::web::test {
namespace {

class IEFrameTest : public NavTest {
 protected:
  // A frame process whose Window("IEFrame", "*", i) answers the frame once `ready` is set
  // (before: a window node that does not exist), counting the calls.
  ComPtr<host::TSysNode> FrameProcess(std::int32_t pid) {
    auto process = AddProcess(pid, u"iexplore.exe");
    frame = process->AddChild(u"Window", {OleVariant(u"IEFrame")});
    missing = process->AddChild(u"Window", {OleVariant(u"none")});
    missing->SetMemberValue(u"Exists", OleVariant(false));
    process->SetMember(u"Window", [this](std::vector<OleVariant>& args) {
      ++windowCalls;
      EXPECT_EQ(args.at(0).AsString(), u"IEFrame");
      EXPECT_EQ(args.at(1).AsString(), u"*");
      indexes.push_back(args.at(2).AsInt());
      if (readyAfter >= 0 && windowCalls > readyAfter) return OleVariant(static_cast<IDispatch*>(Node(frame)));
      return OleVariant(static_cast<IDispatch*>(Node(missing)));
    });
    return process;
  }
  ComPtr<host::TSysNode> Tab(std::int32_t pid, std::int32_t framePid) {
    auto tab = AddProcess(pid, u"iexplore.exe", u"iexplore.exe SCODEF:" + IntToWide(framePid));
    Attach(tab, MakeObject<TpwWebIEFrameMethod>(Manager(), framePid), IpwWebIEFrameMethod::iid);
    return tab;
  }

  host::ScopedRunState run{host.RunState(), host::kRunStateRunning};
  ComPtr<host::TSysNode> frame, missing;
  int windowCalls = 0;
  int readyAfter = 0;  // Window answers the frame from this call on (-1: never)
  std::vector<std::int32_t> indexes;
};

TEST_F(IEFrameTest, IEFrameAnswersTheFrameProcessWindow) {
  FrameProcess(500);
  AddProcess(501, u"iexplore.exe");
  auto tab = Tab(600, 500);
  OleVariant result = CallNode(tab, u"IEFrame", {OleVariant(2)});
  EXPECT_EQ(Identity(result), Identity(frame));
  EXPECT_EQ(indexes, std::vector<std::int32_t>{3});  // the third frame: Window counts from 1
}

TEST_F(IEFrameTest, IEFrameWaitsTheDefaultTimeoutInStepsThenAnswersThePlaceholder) {
  SetDefaultWait(1000);
  FrameProcess(500);
  readyAfter = -1;
  auto tab = Tab(600, 500);
  const auto before = clock.Slept();
  OleVariant result = CallNode(tab, u"IEFrame", {OleVariant(0)});
  const auto slept = clock.Slept() - before;
  EXPECT_GE(slept, 1000u);
  EXPECT_LE(slept, 1100u + kIEFrameWaitStepMs);
  EXPECT_GE(windowCalls, 10);
  EXPECT_LE(windowCalls, 13);  // one look per 100 ms step, never a busy loop
  ASSERT_TRUE(Identity(result));
  EXPECT_FALSE(NodeExists(Identity(result)));
  const auto names = host.HostObjects().NameRequests();
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.back(), u"IEFrame");
}

TEST_F(IEFrameTest, WaitIEFrameTable) {
  struct Case {
    const char* what;
    std::int32_t timeout;
    int readyAfter;  // -1: never
    bool found;
    std::uint64_t minSlept, maxSlept;
  } cases[] = {
      {"found at once", 0, 0, true, 0, 0},
      {"found after three steps", 5000, 3, true, 300, 300},
      {"zero looks once", 0, -1, false, 0, 100},
      {"a limit of 250 ms", 250, -1, false, 250, 400},
      {"no limit: the frame comes after a minute", -1, 600, true, 60000, 60000},
      {"another negative looks once", -5, -1, false, 0, 100},
  };
  FrameProcess(500);
  auto tab = Tab(600, 500);
  for (const auto& c : cases) {
    windowCalls = 0;
    readyAfter = c.readyAfter;
    const auto before = clock.Slept();
    OleVariant result = CallNode(tab, u"WaitIEFrame", {OleVariant(0), OleVariant(c.timeout)});
    const auto slept = clock.Slept() - before;
    EXPECT_EQ(Identity(result) == Identity(frame), c.found) << c.what;
    EXPECT_FALSE(!c.found && NodeExists(Identity(result))) << c.what;
    EXPECT_GE(slept, c.minSlept) << c.what;
    EXPECT_LE(slept, c.maxSlept) << c.what;
  }
}

TEST_F(IEFrameTest, WaitWithoutLimitEndsWhenTheRunStops) {
  auto process = FrameProcess(500);
  auto tab = Tab(600, 500);
  // The frame never comes; a stop is requested at the tenth look.
  process->SetMember(u"Window", [&](std::vector<OleVariant>&) {
    if (++windowCalls == 10) host.RunState().SetStopping(true);
    return OleVariant(static_cast<IDispatch*>(Node(missing)));
  });
  OleVariant result = CallNode(tab, u"WaitIEFrame", {OleVariant(0), OleVariant(-1)});
  host.RunState().SetStopping(false);
  EXPECT_EQ(windowCalls, 10);
  EXPECT_FALSE(NodeExists(Identity(result)));
}

TEST_F(IEFrameTest, WithoutAFrameProcessTheAnswerIsTheIEFramePlaceholderAtOnce) {
  FrameProcess(500);
  auto tab = AddProcess(600, u"iexplore.exe");
  Attach(tab, MakeObject<TpwWebIEFrameMethod>(Manager(), 0), IpwWebIEFrameMethod::iid);
  const auto before = clock.Slept();
  OleVariant result = CallNode(tab, u"WaitIEFrame", {OleVariant(0), OleVariant(-1)});
  EXPECT_EQ(clock.Slept(), before);
  EXPECT_EQ(windowCalls, 0);
  ASSERT_TRUE(Identity(result));
  EXPECT_FALSE(NodeExists(Identity(result)));
}

// ---- Page of a frame window -----------------------------------------------------------------

TEST_F(IEFrameTest, PageFindsTheFramesPageByCanonicalUrlOrPattern) {
  auto process = AddProcess(500, u"iexplore.exe");
  auto window = AddWindow(process, 0x100, false);
  Attach(window, MakeObject<TpwWebIEFrameExtender>(Manager(), GUID_NULL), IpwWebIEFrame::iid);
  auto server = window->AddChild(u"Window", {OleVariant(u"Internet Explorer_Server")});
  auto pageA = AddPage(server, u"http://a.test/x/y.html", 500, true);
  auto pageB = AddPage(server, u"file:///tmp/form.html", 500, true);
  struct Case {
    const char16_t* url;
    IUnknown* page;  // nil: the placeholder for Page("url")
  } cases[] = {
      {u"HTTP://A.test:80/x/./z/../y.html", Identity(pageA)},
      {u"file:/tmp/form.html", Identity(pageB)},
      {u"*", Identity(pageB)},  // last child first
      {u"http://a.test/x/*", Identity(pageA)},
      {u"http://other.test/", nullptr},
  };
  for (const auto& c : cases) {
    OleVariant result = CallNode(window, u"Page", {OleVariant(c.url)});
    if (c.page) {
      EXPECT_EQ(Identity(result), c.page) << WideToUtf8(c.url);
    } else {
      ASSERT_TRUE(Identity(result)) << WideToUtf8(c.url);
      EXPECT_FALSE(NodeExists(Identity(result)));
      EXPECT_EQ(host.HostObjects().NameRequests().back(), u"Page(\"" + WideString(c.url) + u"\")");
    }
  }
  // "*" is a pattern, never canonicalised into "*/".
  pageA->SetMemberValue(u"Exists", OleVariant(false));
  pageB->SetMemberValue(u"Exists", OleVariant(false));
  OleVariant none = CallNode(window, u"Page", {OleVariant(u"*")});
  EXPECT_EQ(host.HostObjects().NameRequests().back(), u"Page(\"*\")");
  EXPECT_FALSE(NodeExists(Identity(none)));
}

// Frame windows whose pages live under their browser's node, not under the windows (the host's
// own nodes): each frame answers the page it shows (its pivot window is the frame's), never a
// page another frame shows or one no window shows.
TEST_F(IEFrameTest, PageOfAFrameIsThePageItShowsAmongItsBrowsersPages) {
  auto process = AddProcess(500, u"iexplore.exe");
  process->SetMemberValue(u"ObjectType", OleVariant(u"Browser"));
  auto first = AddWindow(process, 0x100, false);
  auto second = AddWindow(process, 0x200, false);
  auto unseen = AddWindow(process, 0, false);  // a frame without a window handle
  for (const auto& w : {first, second, unseen})
    Attach(w, MakeObject<TpwWebIEFrameExtender>(Manager(), GUID_NULL), IpwWebIEFrame::iid);
  auto a = AddPage(process, u"http://a.test/", 500, true);
  a->SetPivotWindow(0x100);
  auto b = AddPage(process, u"http://b.test/", 500, true);
  b->SetPivotWindow(0x200);
  AddPage(process, u"http://c.test/", 500, true);  // shown by no window
  struct Case {
    ComPtr<host::TSysNode> frame;
    const char16_t* url;
    IUnknown* page;  // nil: the placeholder for Page("url")
  } cases[] = {
      {first, u"*", Identity(a)},
      {second, u"*", Identity(b)},
      {first, u"HTTP://A.TEST:80", Identity(a)},
      {first, u"http://b.test/", nullptr},
      {second, u"http://c.test/", nullptr},
      {unseen, u"*", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.url));
    OleVariant result = CallNode(c.frame, u"Page", {OleVariant(c.url)});
    if (c.page) {
      EXPECT_EQ(Identity(result), c.page);
    } else {
      ASSERT_TRUE(Identity(result));
      EXPECT_FALSE(NodeExists(Identity(result)));
    }
  }
}

TEST_F(IEFrameTest, PageOfAFrameWhoseSearchRaisesAnswersTheNamedPlaceholder) {
  auto process = AddProcess(500, u"iexplore.exe");
  auto window = AddWindow(process, 0x100, false);
  Attach(window, MakeObject<TpwWebIEFrameExtender>(Manager(), GUID_NULL), IpwWebIEFrame::iid);
  auto page = AddPage(window, u"http://a.test/", 500, true);
  page->SetMember(u"ObjectType",
                  [](std::vector<OleVariant>&) -> OleVariant { throw EOleException(u"gone", E_FAIL, {}, {}, 0); });
  OleVariant result = CallNode(window, u"Page", {OleVariant(u"http://a.test/")});
  ASSERT_TRUE(Identity(result));
  EXPECT_NE(Identity(result), Identity(page));
  EXPECT_FALSE(NodeExists(Identity(result)));
}

}  // namespace
}  // namespace pw::web::test
