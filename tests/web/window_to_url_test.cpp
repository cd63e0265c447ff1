// ToUrl, URL, NavigateTo and Wait of a browser window's page on stub nodes and a stub browser
// object (its members by DISPID): navigation and its waits on the clock, relative URLs, the
// error texts, the E_FAIL fallback through the IE frame's address bar, a login page ending the
// waits, a page search without waiting.
#include <functional>

#include "core/automation/dispatch_helpers.h"
#include "core/host/invoke_expressions.h"
#include "host/node_context.h"
#include "tests/web/nav_fixture.h"
#include "web/navigation/canonical_url.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/to_url_log.h"
#include "web/navigation/web_helpers.h"
#include "web/navigation/window_to_url.h"

namespace pw::web::test {
namespace {

// A browser object: navigate (0x10F30) sets the URL it will show once it is ready; ready
// (0x10F32) answers True from the readyAfter-th call on; 0x10F33 answers the URL shown.
class TStubBrowser final : public Implements<ComObject, IDispatch> {
 public:
  WideString url = u"about:blank";
  WideString pending;
  int readyAfter = 1;  // -1: never ready
  int readyCalls = 0;
  HRESULT navigateError = S_OK;
  std::vector<WideString> calls;

  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const*, std::uint32_t, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                 std::uint32_t*) override {
    switch (id) {
      case 0x10F30: {
        const WideString to = OleVariant(params->rgvarg[0]).AsString();
        calls.push_back(u"navigate " + to);
        if (navigateError != S_OK) {
          info->scode = navigateError;
          info->bstrDescription = SysAllocString(u"navigation refused");
          return DISP_E_EXCEPTION;
        }
        pending = to;
        readyCalls = 0;
        return S_OK;
      }
      case 0x10F31: calls.push_back(u"navigated"); return S_OK;
      case 0x10F32: {
        ++readyCalls;
        const bool ready = readyAfter >= 0 && readyCalls >= readyAfter;
        if (ready && !pending.empty()) {
          url = pending;
          pending.clear();
        }
        if (result) *result = OleVariant(ready).Detach();
        return S_OK;
      }
      case 0x10F33:
        if (result) *result = OleVariant(url).Detach();
        return S_OK;
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }
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

class WindowToUrlTest : public NavTest {
 protected:
  WindowToUrlTest() {
    host.Settings().DefineSetting(MakeGuid("{9EB8E8E6-D2F2-4A8A-ADFB-492E8C0EAFEF}"), host::kSettingInteger, u"Wait",
                                  OleVariant(3000));
    host.Settings().DefineSetting(MakeGuid("{542B9FA0-35EA-4C4D-BF0B-661005CB94E9}"), host::kSettingInteger, u"Loading",
                                  OleVariant(2000));
    process = AddProcess(700, u"iexplore.exe");
    browserNode = process->AddChild(u"Browser", {OleVariant(0)});
    browserNode->SetMemberValue(u"ObjectType", OleVariant(u"Browser"));
    // The page of the IE server window: its URL is the browser's.
    page = browserNode->AddChild(u"Page", {OleVariant(u"page")});
    page->SetMemberValue(u"ObjectType", OleVariant(u"Page"));
    page->SetMember(u"URL", [this](std::vector<OleVariant>&) { return OleVariant(browser->url); });
    page->SetMemberValue(u"ProcessId", OleVariant(700));
    page->SetMemberValue(u"Visible", OleVariant(true));
    browser = MakeObject<TStubBrowser>();
    page->SetContextObject(kContextItemKey,
                           MakeObject<TContextItem>(static_cast<IDispatch*>(browser.Get()))->Identity());
    slice = MakeObject<TpwWebToUrlMethod>(Manager(), GUID_NULL, true);
    OleCheck(page->AddExtension(IpwWebPageLocator::iid, static_cast<IDispatch*>(slice->Dispatch()), GUID_NULL, 0));
  }
  OleVariant Call(const char16_t* name, std::vector<OleVariant> args) {
    return DispInvoke(static_cast<IpwSysNodeEx*>(page.Get()), name, args);
  }
  IUnknown* PageIdentity() { return Identity(page); }

  host::ScopedRunState run{host.RunState(), host::kRunStateRunning};
  ComPtr<host::TSysNode> process, browserNode, page;
  ComPtr<TStubBrowser> browser;
  ComPtr<TpwWebToUrlMethod> slice;
};

TEST_F(WindowToUrlTest, ARelativeUrlIsSentAsGivenAndAwaitedInItsCanonicalForm) {
  browser->url = u"http://a.test/dir/p.htm";
  browser->readyAfter = 2;
  // The page reports the canonical absolute form of what the browser was sent.
  page->SetMember(u"URL", [this](std::vector<OleVariant>&) {
    return OleVariant(ResolveUrl(u"http://a.test/dir/p.htm", browser->url));
  });
  const auto before = host.Log().Entries().size();
  OleVariant result = Call(u"ToUrl", {OleVariant(u"q page.htm?x=1")});
  EXPECT_EQ(Identity(result), PageIdentity());
  EXPECT_EQ(browser->calls.at(0), u"navigate q page.htm?x=1");
  EXPECT_EQ(browser->calls.at(1), u"navigated");
  auto entries = EntriesFrom(before);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Event);
  EXPECT_EQ(entries[0].text, u"Navigating to the q page.htm?x=1 page.");
}

TEST_F(WindowToUrlTest, ToUrlWaitsUntilTheBrowserShowsTheAbsoluteUrl) {
  browser->url = u"http://a.test/dir/p.htm";
  browser->readyAfter = 4;
  // The browser shows the absolute form of what it was sent.
  page->SetMember(u"URL", [this](std::vector<OleVariant>&) {
    return OleVariant(browser->url.starts_with(u"http:") ? browser->url : u"http://a.test/dir/" + browser->url);
  });
  const auto slept = clock.Slept();
  OleVariant result = Call(u"ToUrl", {OleVariant(u"http://a.test/dir/q.htm")});
  EXPECT_EQ(Identity(result), PageIdentity());
  // Three answers "not ready", 200 ms each, then ready with the URL.
  EXPECT_EQ(clock.Slept() - slept, 3u * kBrowserReadyStepMs);
  EXPECT_EQ(browser->readyCalls, 4);
  auto entries = host.Log().Entries();
  ASSERT_FALSE(entries.empty());
  EXPECT_NE(entries.back().text.find(u"Navigating to the http://a.test/dir/q.htm page."), WideString::npos);
  EXPECT_TRUE(entries.back().additionalText.starts_with(WideString(u"URL: http://a.test/dir/q.htm") + u"\r\n\r\n"));
}

TEST_F(WindowToUrlTest, ErrorTextsOfToUrl) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    const char16_t* info;
  } cases[] = {
      {"no browser node", [&] { browserNode->SetMemberValue(u"ObjectType", OleVariant(u"Window")); },
       kCannotFindBrowserNode},
      {"no browser object", [&] { page->SetContextObject(kContextItemKey, nullptr); }, kCannotGetBrowserObject},
      {"a navigation that raises", [&] { browser->navigateError = E_ABORT; }, kErrorCallingNavigateTo},
  };
  for (const auto& c : cases) {
    browserNode->SetMemberValue(u"ObjectType", OleVariant(u"Browser"));
    page->SetContextObject(kContextItemKey,
                           MakeObject<TContextItem>(static_cast<IDispatch*>(browser.Get()))->Identity());
    browser->navigateError = S_OK;
    c.arrange();
    const auto before = host.Log().Entries().size();
    OleVariant result = Call(u"ToUrl", {OleVariant(u"http://x.test/")});
    EXPECT_EQ(Identity(result), nullptr) << c.what;
    auto entries = EntriesFrom(before);
    ASSERT_FALSE(entries.empty()) << c.what;
    EXPECT_EQ(entries.back().kind, host::LogEntry::Error) << c.what;
    EXPECT_EQ(entries.back().text, u"Unable to navigate to the http://x.test/ page.") << c.what;
    EXPECT_TRUE(entries.back().additionalText.starts_with(
        WideString(u"URL: http://x.test/\r\nInfo: " + WideString(c.info)) + u"\r\n\r\n"))
        << c.what;
    if (browser->navigateError == E_ABORT) {
      ASSERT_EQ(entries.size(), 2u);
      EXPECT_EQ(entries[0].text, u"navigation refused");  // the exception's own message first
    }
  }
}

TEST_F(WindowToUrlTest, ToUrlOfAGoneNodeLogsThatThePageNodeIsMissing) {
  auto orphan = MakeObject<TpwWebToUrlMethod>(Manager(), GUID_NULL, true);
  ComPtr<IDispatch> result;
  BString url(u"http://x.test/" + WideString(70, u'a'));
  ASSERT_EQ(orphan->ToUrl(url.Get(), OleVariant().Get(), result.Put()), S_OK);
  EXPECT_FALSE(result);
  auto entries = host.Log().Entries();
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries.back().kind, host::LogEntry::Error);
  // Shortened in the message, whole in the details.
  EXPECT_EQ(entries.back().text, u"Unable to navigate to the " + ShortenUrlForLog(url.View()) + u" page.");
  EXPECT_NE(entries.back().text.size(),
            WideString(u"Unable to navigate to the " + WideString(url.View()) + u" page.").size());
  EXPECT_TRUE(entries.back().additionalText.starts_with(
      WideString(u"URL: " + WideString(url.View()) + u"\r\nInfo: " + kCannotFindPageNode) + u"\r\n\r\n"));
}

TEST_F(WindowToUrlTest, EFailTypesTheUrlIntoTheFrameOfTheTabsFrameProcess) {
  auto frameProcess = AddProcess(1234, u"iexplore.exe");
  std::vector<WideString> keys;
  frameProcess->SetMember(u"IEFrame", [&, p = frameProcess.Get()](std::vector<OleVariant>&) {
    auto frame = p->AddChild(u"IEFrame", {OleVariant(0)});
    frame->SetMember(u"Keys", [&](std::vector<OleVariant>& a) {
      keys.push_back(a.at(0).AsString());
      browser->url = u"http://b.test/";
      return OleVariant();
    });
    return OleVariant(static_cast<IDispatch*>(static_cast<IpwSysNodeEx*>(frame.Get())));
  });
  process->SetProcess(700, u"iexplore.exe", u"iexplore.exe SCODEF:1234 CREDAT:1");
  browser->navigateError = E_FAIL;
  OleVariant result = Call(u"ToUrl", {OleVariant(u"HTTP://B.test")});
  EXPECT_EQ(keys, std::vector<WideString>{u"[F4]^ahttp://b.test/[Enter]^0"});
  EXPECT_EQ(Identity(result), PageIdentity());
  EXPECT_EQ(host.Log().Entries().back().text, u"Navigating to the HTTP://B.test page.");
}

TEST_F(WindowToUrlTest, ALoginPageEndsBothWaits) {
  auto login = browserNode->AddChild(u"Login", {OleVariant(0)});
  login->SetMemberValue(u"ObjectType", OleVariant(u"Login"));
  browser->readyAfter = 1;  // ready at once, but the URL never comes
  page->SetMember(u"URL", [](std::vector<OleVariant>&) { return OleVariant(u"http://login.test/"); });
  browser->url = u"http://login.test/";
  page->SetMemberValue(u"Visible", OleVariant(false));  // no visible page to fall back to
  const auto slept = clock.Slept();
  OleVariant result = Call(u"ToUrl", {OleVariant(u"http://a.test/")});
  // No 200 ms step of the browser wait, no 100 ms step of the page wait: the visible-page
  // search's own pause only.
  EXPECT_LE(clock.Slept() - slept, 3000u);
  EXPECT_FALSE(NodeExists(Identity(result)));
  EXPECT_TRUE(host.Log().Entries().back().additionalText.starts_with(
      WideString(u"URL: http://a.test/\r\nInfo: Cannot find the Page node after calling the NavigateTo method.") +
      u"\r\n\r\n"));
}

TEST_F(WindowToUrlTest, NavigateToAndWaitKeepTheirLimitsAndURLReadsTheBrowser) {
  browser->url = u"http://a.test/";
  browser->readyAfter = -1;
  auto slept = clock.Slept();
  Call(u"NavigateTo", {OleVariant(u"b.htm"), OleVariant(1000)});
  EXPECT_GE(clock.Slept() - slept, 1000u);
  EXPECT_LE(clock.Slept() - slept, 1000u + kBrowserReadyStepMs);
  // Without WaitTime: the page loading option (2000 ms).
  slept = clock.Slept();
  OleVariant url = Call(u"Wait", {});
  EXPECT_GE(clock.Slept() - slept, 2000u);
  EXPECT_LE(clock.Slept() - slept, 2000u + kBrowserReadyStepMs);
  EXPECT_EQ(url.AsString(), u"http://a.test/");
  EXPECT_EQ(Call(u"URL", {}).AsString(), u"http://a.test/");
  EXPECT_EQ(browser->calls, (std::vector<WideString>{u"navigate b.htm", u"navigated", u"navigated"}));
}

TEST_F(WindowToUrlTest, WithoutWaitForPageThePageIsLookedForOnce) {
  auto once = MakeObject<TpwWebToUrlMethod>(Manager(), GUID_NULL, false);
  auto other = browserNode->AddChild(u"Frame", {OleVariant(1)});
  other->SetContextObject(kContextItemKey,
                          MakeObject<TContextItem>(static_cast<IDispatch*>(browser.Get()))->Identity());
  OleCheck(other->AddExtension(IpwWebPageLocator::iid, static_cast<IDispatch*>(once->Dispatch()), GUID_NULL, 0));
  page->SetMember(u"URL", [](std::vector<OleVariant>&) { return OleVariant(u"http://elsewhere.test/"); });
  browser->readyAfter = 1;
  const auto slept = clock.Slept();
  OleVariant result = DispInvoke(static_cast<IpwSysNodeEx*>(other.Get()), u"ToUrl",
                                 std::vector<OleVariant>{OleVariant(u"http://a.test/"), OleVariant(0)});
  // No 100 ms steps: one look, then the visible page of the process (its 1000 ms pause; the
  // page is no child of the process), then the host's Page("URL").
  EXPECT_EQ(clock.Slept() - slept, 1000u);
  EXPECT_FALSE(NodeExists(Identity(result)));
  EXPECT_EQ(host.HostObjects().NameRequests().back(), u"Page(\"http://a.test/\")");
}

// A page that gives its page context through its native context, as the host's pages do: the
// browser object is that context's object (the context item holds the document, which is never
// sent anywhere), and the page search under the context's key reads the page's own URL.
TEST_F(WindowToUrlTest, APageContextGivesTheBrowserAndThePageItsOwnUrl) {
  auto document = MakeObject<TStubBrowser>();
  auto hostPage = browserNode->AddChild(u"Page", {OleVariant(u"host")});
  hostPage->SetMemberValue(u"ObjectType", OleVariant(u"Page"));
  // Its own URL stands in for the slice's, which reads the browser.
  hostPage->SetMember(u"URL", [](std::vector<OleVariant>&) { return OleVariant(u"own"); });
  hostPage->YieldToSlices(u"URL");
  hostPage->SetMemberValue(u"ProcessId", OleVariant(700));
  hostPage->SetMemberValue(u"Visible", OleVariant(true));
  const auto context = [](ComPtr<IDispatch> object) {
    return MakeObject<host::TNodeObjectContext>([object] { return object; }, WideString(), u"page", OleVariant());
  };
  auto item = context(static_cast<IDispatch*>(document.Get()));
  hostPage->SetContextObject(kContextItemKey, static_cast<IpwObjectContext2*>(item.Get()));
  auto pageContext = context(static_cast<IDispatch*>(browser.Get()));
  hostPage->SetPageContext(static_cast<IpwObjectContext2*>(pageContext.Get()));
  page->SetMemberValue(u"Exists", OleVariant(false));  // the fixture's page is not the answer
  OleCheck(hostPage->AddExtension(
      IpwWebPageLocator::iid,
      static_cast<IDispatch*>(MakeObject<TpwWebToUrlMethod>(Manager(), kContextItemKey, true)->Dispatch()), GUID_NULL,
      0));
  browser->url = u"http://a.test/";
  const auto before = host.Log().Entries().size();
  OleVariant result = CallNode(hostPage, u"ToUrl", {OleVariant(u"http://a.test/next.htm")});
  EXPECT_EQ(Identity(result), Identity(hostPage));
  ASSERT_FALSE(browser->calls.empty());
  EXPECT_EQ(browser->calls.front(), u"navigate http://a.test/next.htm");
  EXPECT_TRUE(document->calls.empty());
  auto entries = EntriesFrom(before);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].text, u"Navigating to the http://a.test/next.htm page.");
  EXPECT_EQ(CallNode(hostPage, u"URL", {}).AsString(), u"http://a.test/next.htm");
  EXPECT_EQ(CallNode(hostPage, u"Wait", {OleVariant(500)}).AsString(), u"http://a.test/next.htm");
}

}  // namespace
}  // namespace pw::web::test
