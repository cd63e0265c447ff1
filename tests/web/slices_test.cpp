// The navigation slices attached to host nodes by hand (as a builder attaches them) and called
// by name through the node: ToUrl of a browser process, Find, ClickChecked.
#include "core/automation/automation.h"
#include "core/automation/dispatch_helpers.h"
#include "platform/automation/dispatch_thunks.h"
#include "tests/web/nav_fixture.h"
#include "web/navigation/check_box.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/object_locator.h"
#include "web/navigation/process_to_url.h"
#include "web/navigation/to_url_log.h"

namespace pw::web::test {
namespace {

class SlicesTest : public NavTest {
 protected:
  ~SlicesTest() override { ClearProcessDescriptions(); }

  // The entries posted since the last MarkLog.
  std::vector<host::LogEntry> Entries() { return EntriesFrom(mark_); }
  void MarkLog() { mark_ = host.Log().Entries().size(); }
  std::size_t mark_ = 0;
  ComPtr<host::TSysNode> BrowserWithToUrl(std::int32_t pid, WideStringView name, bool ie,
                                          WideStringView commandLine = u"") {
    auto process = AddProcess(pid, name, commandLine);
    process->SetMemberValue(u"Id", OleVariant(pid));
    process->SetMemberValue(u"CommandLine", OleVariant(WideString(commandLine)));
    Attach(process, MakeObject<TpwWebProcessToUrlMethod>(Manager(), ie), IpwWebPageLocator2::iid);
    return process;
  }
  // A page whose NavigateTo records its arguments and runs `then`.
  ComPtr<host::TSysNode> NavigablePage(const ComPtr<host::TSysNode>& process, std::int32_t pid,
                                       std::function<void()> then = nullptr) {
    auto page = AddPage(process, u"about:blank", pid, true);
    page->SetMember(u"NavigateTo", [this, then](std::vector<OleVariant>& args) {
      navigations.push_back(args.at(0).AsString() + u" " + IntToWide(args.at(1).AsInt()));
      if (then) then();
      return OleVariant();
    });
    return page;
  }

  host::ScopedRunState run{host.RunState(), host::kRunStateRunning};
  std::vector<WideString> navigations;
};

// ---- ToUrl of a browser process ---------------------------------------------------------------

TEST_F(SlicesTest, ToUrlNavigatesTheVisiblePageAndLogsTheEvent) {
  auto browser = BrowserWithToUrl(100, u"chrome", false);
  auto page = NavigablePage(browser, 100);
  const WideString url = u"http://shop.test/catalogue/products/list.htm?category=garden&sort=price&page=2";
  OleVariant result = CallNode(browser, u"ToUrl", {OleVariant(url), OleVariant(5000)});
  EXPECT_EQ(Identity(result), Identity(page));
  EXPECT_EQ(navigations, (std::vector<WideString>{url + u" 5000"}));
  auto entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].text, u"Navigating to the http://shop.test/catalogue/products/list.htm... page.");
  EXPECT_TRUE(entries[0].additionalText.starts_with(u"URL: " + url + u"\r\n\r\n"));
  // No WaitTime: -1 reaches the page.
  CallNode(browser, u"ToUrl", {OleVariant(u"http://a/")});
  EXPECT_EQ(navigations.back(), u"http://a/ -1");
}

TEST_F(SlicesTest, ToUrlErrorTextsAndDetails) {
  SetDefaultWait(5000);
  struct Case {
    const char* what;
    bool ie, liveProcess, navigateTo;
    WideString error;
  } cases[] = {
      {"no page, not iexplore", false, true, true, kNoBlankPage},
      {"a page without NavigateTo", false, true, false, kNoNavigateToMethod},
      {"the process has ended", false, false, true, kCannotGetProcessObject},
  };
  for (const auto& c : cases) {
    MarkLog();
    auto browser = BrowserWithToUrl(200, u"firefox", c.ie, u"firefox.exe -new");
    ComPtr<host::TSysNode> page;
    if (!c.navigateTo) page = AddPage(browser, u"about:blank", 200, true);
    ComPtr<IDispatch> slice = browser->Slices().at(0).dispatch;
    if (!c.liveProcess) host.Sys().RemoveChild(browser.Get());
    const std::uint64_t before = clock.Slept();
    const char16_t* names[] = {u"ToUrl"};
    DISPID id = 0;
    ASSERT_EQ(slice->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), S_OK);
    OleVariant result = DispInvoke(slice.Get(), u"ToUrl", std::vector<OleVariant>{OleVariant(u"http://x/")});
    auto entries = Entries();
    ASSERT_FALSE(entries.empty()) << c.what;
    const auto& last = entries.back();
    EXPECT_EQ(last.kind, host::LogEntry::Error) << c.what;
    EXPECT_EQ(last.text, u"Unable to navigate to the http://x/ page.") << c.what;
    const WideString details = c.liveProcess ? u"URL: http://x/\r\nProcess ID: 200\r\nProcess Command Line: "
                                               u"firefox.exe -new\r\nInfo: " +
                                                   c.error
                                             : u"URL: http://x/\r\nInfo: " + c.error;
    EXPECT_TRUE(last.additionalText.starts_with(details)) << c.what << ": " << WideToUtf8(last.additionalText);
    if (c.navigateTo && c.liveProcess) {
      // A 5000 ms setting still waits 30000 ms for a page (each look pauses 1000 ms).
      const auto slept = clock.Slept() - before;
      EXPECT_GE(slept, 30000u);
      EXPECT_LE(slept, 32000u);
      bool bar = false;
      for (const auto& e : host.Indicator().Events())
        bar |= e.find(u"Waiting for Page('*') 0 30000") != WideString::npos;
      EXPECT_TRUE(bar);
      EXPECT_TRUE(host.Indicator().Bars().empty());
    }
    if (!c.liveProcess) {
      ASSERT_TRUE(Identity(result));  // the host's placeholder for Page("http://x/")
      EXPECT_FALSE(NodeExists(Identity(result)));
    }
    host.Sys().RemoveChild(browser.Get());
  }
}

TEST_F(SlicesTest, ToUrlRetriesThroughTheFrameOfAnIExploreTabProcess) {
  std::vector<WideString> keys;
  auto frameProcess = AddProcess(1234, u"iexplore.exe");
  // The member holds the node by a plain pointer: a counted one would keep the node alive.
  frameProcess->SetMember(u"IEFrame", [&, process = frameProcess.Get()](std::vector<OleVariant>& args) {
    EXPECT_EQ(args.at(0).AsInt(), 0);
    auto frame = process->AddChild(u"IEFrame", {OleVariant(0)});
    frame->SetMember(u"Keys", [&](std::vector<OleVariant>& a) {
      keys.push_back(a.at(0).AsString());
      return OleVariant();
    });
    return OleVariant(static_cast<IDispatch*>(static_cast<IpwSysNodeEx*>(frame.Get())));
  });
  auto tab = BrowserWithToUrl(1300, u"iexplore.exe", true, u"iexplore.exe SCODEF:1234 CREDAT:1");
  auto page = AddPage(tab, u"about:blank", 1300, true);
  int calls = 0;
  page->SetMember(u"NavigateTo", [&](std::vector<OleVariant>&) -> OleVariant {
    ++calls;
    throw EOleException(u"refused", E_FAIL, {}, {}, 0);
  });
  OleVariant result = CallNode(tab, u"ToUrl", {OleVariant(u"http://a/^b")});
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(keys, (std::vector<WideString>{u"[F4]^aabout:blank[Enter]^0", u"[F4]^ahttp://a/^^b[Enter]^0"}));
  EXPECT_EQ(Identity(result), Identity(page));
  ASSERT_EQ(Entries().size(), 1u);
  EXPECT_EQ(Entries()[0].kind, host::LogEntry::Event);
}

// A relative URL goes to the page against its location; the log names it as given. Against a
// page that has no "scheme://" location the URL goes as it is.
TEST_F(SlicesTest, ToUrlTakesARelativeUrlAgainstThePagesLocation) {
  auto browser = BrowserWithToUrl(100, u"chrome", false);
  auto page = NavigablePage(browser, 100);
  const struct {
    const char16_t* location;
    const char16_t* given;
    const char16_t* sent;
  } cases[] = {
      {u"http://shop.test/a/b.htm?x=1", u"c.htm", u"http://shop.test/a/c.htm"},
      {u"http://shop.test/a/b.htm", u"../up.htm?q=a b", u"http://shop.test/up.htm?q=a b"},
      {u"http://shop.test/a/b.htm", u"/root.htm", u"http://shop.test/root.htm"},
      {u"file:///tmp/pages/one.html", u"two.html", u"file:///tmp/pages/two.html"},
      {u"http://shop.test/a/b.htm", u"HTTP://Other.test/X", u"HTTP://Other.test/X"},  // absolute: untouched
      {u"about:blank", u"c.htm", u"c.htm"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.given));
    page->SetMemberValue(u"URL", OleVariant(WideString(c.location)));
    MarkLog();
    navigations.clear();
    OleVariant result = CallNode(browser, u"ToUrl", {OleVariant(WideString(c.given))});
    EXPECT_EQ(Identity(result), Identity(page));
    EXPECT_EQ(navigations, (std::vector<WideString>{WideString(c.sent) + u" -1"}));
    auto entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].text, u"Navigating to the " + WideString(c.given) + u" page.");
  }
}

// A page that refuses NavigateTo (E_FAIL) twice in a browser that cannot type into a frame:
// nothing was opened, and the log says so with the refusal.
TEST_F(SlicesTest, ToUrlRefusedTwiceWithoutAFrameIsAFailure) {
  auto browser = BrowserWithToUrl(100, u"chrome", false, u"chrome.exe");
  auto page = AddPage(browser, u"http://old.test/", 100, true);
  int calls = 0;
  page->SetMember(u"NavigateTo", [&](std::vector<OleVariant>&) -> OleVariant {
    ++calls;
    throw EOleException(u"The page could not be opened: http://a/: net::ERR_NAME_NOT_RESOLVED", E_FAIL, {}, {}, 0);
  });
  OleVariant result = CallNode(browser, u"ToUrl", {OleVariant(u"http://a/")});
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(Identity(result), Identity(page));  // the page it still shows
  auto entries = Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Error);
  EXPECT_EQ(entries[0].text, u"The page could not be opened: http://a/: net::ERR_NAME_NOT_RESOLVED");
  EXPECT_EQ(entries[1].kind, host::LogEntry::Error);
  EXPECT_EQ(entries[1].text, u"Unable to navigate to the http://a/ page.");
  EXPECT_TRUE(entries[1].additionalText.starts_with(
      u"URL: http://a/\r\nProcess ID: 100\r\nProcess Command Line: chrome.exe\r\nInfo: " +
      WideString(kErrorCallingNavigateTo)))
      << WideToUtf8(entries[1].additionalText);
}

TEST_F(SlicesTest, ToUrlLogsAnotherExceptionOnceAndCountsTheCallAsDone) {
  auto browser = BrowserWithToUrl(100, u"chrome", false);
  auto page = AddPage(browser, u"about:blank", 100, true);
  page->SetMember(u"NavigateTo",
                  [](std::vector<OleVariant>&) -> OleVariant { throw EOleException(u"boom", E_ABORT, {}, {}, 0); });
  OleVariant result = CallNode(browser, u"ToUrl", {OleVariant(u"http://a/")});
  EXPECT_EQ(Identity(result), Identity(page));
  auto entries = Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Error);
  EXPECT_EQ(entries[0].text, u"boom");
  EXPECT_EQ(entries[1].kind, host::LogEntry::Event);
}

TEST_F(SlicesTest, ToUrlTakesThePageThatReplacedTheOldOneWhileItSettled) {
  auto browser = BrowserWithToUrl(100, u"chrome", false);
  ComPtr<host::TSysNode> replacement;
  ComPtr<host::TSysNode> page;
  page = NavigablePage(browser, 100, [&] {
    page->SetMemberValue(u"Exists", OleVariant(false));
    replacement = AddPage(browser, u"http://a/", 100, true);
  });
  const std::uint64_t before = clock.Slept();
  OleVariant result = CallNode(browser, u"ToUrl", {OleVariant(u"http://a/")});
  EXPECT_EQ(Identity(result), Identity(replacement));
  EXPECT_EQ(clock.Slept() - before, 1000u + 20u + 1000u);  // the first look, one settle step, the second look
  // A page that stays: the settle wait ends after 200 ms.
  navigations.clear();
  auto browser2 = BrowserWithToUrl(101, u"chrome", false);
  NavigablePage(browser2, 101);
  const std::uint64_t before2 = clock.Slept();
  CallNode(browser2, u"ToUrl", {OleVariant(u"http://b/")});
  EXPECT_EQ(clock.Slept() - before2, 1000u + 220u);
}

// ---- Find -----------------------------------------------------------------------------------

TEST_F(SlicesTest, FindWalksThePageDepthFirst) {
  auto browser = AddProcess(100);
  auto page = AddPage(browser, u"http://a/", 100, true);
  Attach(page, MakeObject<TpwWebObjectLocator>(Manager()), IpwWebObjectLocator::iid);
  auto element = [](const ComPtr<host::TSysNode>& parent, WideStringView tag, WideStringView id) {
    auto e = parent->AddChild(u"Element", {OleVariant(WideString(id))});
    e->SetMemberValue(u"tagName", OleVariant(WideString(tag)));
    e->SetMemberValue(u"id", OleVariant(WideString(id)));
    return e;
  };
  auto form = element(page, u"FORM", u"form1");
  auto raising = form->AddChild(u"Element");
  raising->SetMemberValue(u"tagName", OleVariant(u"INPUT"));
  raising->SetMember(u"id", [](std::vector<OleVariant>&) -> OleVariant { throw EOleSysError(u"gone", E_FAIL); });
  auto name = element(form, u"INPUT", u"userName");
  auto frame = AddPage(page, u"http://a/frame", 100, true);
  auto inFrame = element(frame, u"input", u"password");
  auto div = element(page, u"DIV", u"userNameLabel");
  struct Case {
    WideString property, value, tag;
    host::TSysNode* expected;  // nil: the "item" object
  } cases[] = {
      {u"id", u"userName", u"", name.Get()},
      {u"ID", u"USERNAME", u"input", name.Get()},  // names and texts ignoring case
      {u"id", u"user*", u"", name.Get()},          // the first in depth-first order
      {u"id", u"user*", u"DIV", div.Get()},
      {u"id", u"password", u"INPUT", inFrame.Get()},  // inside a frame
      {u"id", u"nothing", u"", nullptr},
      {u"value", u"x", u"", nullptr},  // no element knows the property
  };
  for (const auto& c : cases) {
    std::vector<OleVariant> args{OleVariant(c.property), OleVariant(c.value)};
    if (!c.tag.empty()) args.emplace_back(c.tag);
    OleVariant result = CallNode(page, u"Find", args);
    if (c.expected) {
      EXPECT_EQ(Identity(result), Identity(ComPtr<host::TSysNode>(c.expected))) << WideToUtf8(c.value);
    } else {
      ASSERT_TRUE(Identity(result));
      EXPECT_FALSE(NodeExists(Identity(result))) << WideToUtf8(c.value);
      EXPECT_EQ(host.HostObjects().NameRequests().back(), u"item");
    }
  }
  EXPECT_GE(page->RefreshCount(), 1);
}

// ---- ClickChecked ---------------------------------------------------------------------------

TEST_F(SlicesTest, ClickCheckedStates) {
  SetDefaultWait(500);
  struct Case {
    const char* what;
    bool checked, enabled, reacts, vanishes, wanted;
    int clicks;
    host::LogEntry::Kind kind;
    WideString text, details;
  } cases[] = {
      {"already set", true, true, true, false, true, 0, host::LogEntry::Message, u"The check box is already checked.",
       u""},
      {"set", false, true, true, false, true, 1, host::LogEntry::Event, kCheckBoxClickedText,
       u"The control state has been changed to 'checked'."},
      {"cleared", true, true, true, false, false, 1, host::LogEntry::Event, kCheckBoxClickedText,
       u"The control state has been changed to 'unchecked'."},
      {"its script refuses", false, true, false, false, true, 1, host::LogEntry::Error, kCheckBoxNotSetText,
       u"Check box stays in the unchecked state."},
      {"disabled", false, false, true, false, true, 0, host::LogEntry::Error, kControlDisabledText, u""},
      {"vanishes", false, true, false, true, true, 1, host::LogEntry::Event, kCheckBoxClickedText,
       u"The control state has been changed to 'checked'."},
  };
  for (const auto& c : cases) {
    MarkLog();
    auto page = host.Sys().AddChild(u"Page");
    auto box = page->AddChild(u"CheckBox");
    box->SetMemberValue(u"checked", OleVariant(c.checked));
    box->SetMemberValue(u"Enabled", OleVariant(c.enabled));
    box->SetWaitTimeout(3);
    int clicks = 0;
    box->SetMember(u"Click", [&, b = box.Get()](std::vector<OleVariant>& args) {
      ++clicks;
      EXPECT_EQ(args.at(0).AsInt(), -1);
      EXPECT_EQ(b->WaitTimeout(), 0);
      if (c.reacts) b->SetMemberValue(u"checked", OleVariant(!c.checked));
      if (c.vanishes) b->SetMemberValue(u"Exists", OleVariant(false));
      return OleVariant();
    });
    Attach(box, MakeObject<TpwWebCheckBoxControl>(Manager()), IpwWebCheckBox::iid);
    const std::uint64_t before = clock.Slept();
    CallNode(box, u"ClickChecked", {OleVariant(c.wanted)});
    EXPECT_EQ(clicks, c.clicks) << c.what;
    EXPECT_EQ(box->WaitTimeout(), 3) << c.what;
    auto entries = Entries();
    ASSERT_EQ(entries.size(), 1u) << c.what;
    EXPECT_EQ(entries[0].kind, c.kind) << c.what;
    EXPECT_EQ(entries[0].text, c.text) << c.what;
    EXPECT_TRUE(entries[0].additionalText.starts_with(c.details)) << c.what;
    EXPECT_NE(entries[0].additionalText.find(u"CheckBox"), WideString::npos) << c.what;  // the box's name
    if (std::string_view(c.what) == "its script refuses") {
      EXPECT_GE(clock.Slept() - before, 500u);  // it waited out the default time-out
    } else {
      EXPECT_EQ(clock.Slept() - before, 0u) << c.what;
    }
    host.Sys().RemoveChild(page.Get());
  }
}

}  // namespace
}  // namespace pw::web::test
