// Closing a page through its slice (TpwBrowserPageActions) over the test host's nodes: the
// browser's close member first, the window's close when it raises, the wait for the page (and
// for the process of its last page), and the one log entry that says what happened.
#include "host/com_support.h"
#include <gtest/gtest.h>

#include <functional>

#include "core/host/invoke_expressions.h"
#include "openapps/extensions/node_utils.h"
#include "platform/automation/bstr.h"
#include "platform/automation/safearray.h"
#include "platform/com/comobject.h"
#include "tests/web/nav_fixture.h"
#include "web/controls/page_actions.h"

namespace pw::web {
namespace {

// The browser object of the page context: its member 0x7FFF0001 runs what the case wants.
class TBrowserStub final : public Implements<ComObject, IDispatch> {
 public:
  std::function<HRESULT()> close;
  int calls = 0;
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
    if (result) VariantInit(result);
    if (id != kBrowserCloseDispid) return DISP_E_MEMBERNOTFOUND;
    if (params && params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    ++calls;
    return close ? close() : S_OK;
  }
};

class TPageContext final : public Implements<ComObject, IpwObjectContext2, IpwPageContextInformation> {
 public:
  ComPtr<IDispatch> browser;
  WideString title;  // empty: no information
  HRESULT IsValid(VARIANT_BOOL* v) override {
    *v = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT Renew(IUnknown**, GUID*, IpwObjectContext2**, VARIANT_BOOL*) override { return E_NOTIMPL; }
  PW_OBJECT_CONTEXT2_DEFAULTS
  HRESULT GetObject(IDispatch** o) override {
    *o = browser.Get();
    if (*o) (*o)->AddRef();
    return S_OK;
  }
  HRESULT GetPageInformation(VARIANT* info, VARIANT_BOOL* answered) override {
    VariantInit(info);
    *answered = title.empty() ? VARIANT_FALSE : VARIANT_TRUE;
    if (title.empty()) return S_OK;
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    OleVariant first(title);
    const std::int32_t at = 0;
    SafeArrayPutElement(array, &at, first.Ptr());
    info->vt = VT_ARRAY | VT_VARIANT;
    info->parray = array;
    return S_OK;
  }
};

class PageActions : public test::NavTest {
 protected:
  PageActions() {
    SetDefaultWait(5000);
    process = AddProcess(4100);
    page = AddPage(process, u"http://shop.test/", 4100, true);
    browser = MakeObject<TBrowserStub>();
    context = MakeObject<TPageContext>();
    context->browser = ComPtr<IDispatch>(static_cast<IDispatch*>(browser.Get()));
    page->SetContextObject(kContextItemKey, static_cast<IpwObjectContext2*>(context.Get()));
    slice = MakeObject<TpwBrowserPageActions>(Manager());
    OleCheck(slice->AttachNode(Node(page)));
  }
  // The page's own removal from the tree, as a browser that closed it does.
  HRESULT RemovePage() {
    process->RemoveChild(page.Get());
    return S_OK;
  }
  WideString FullName() {
    WideString name;
    GetSysNodeFullName(Manager(), Node(page), name);
    return name;
  }

  ComPtr<host::TSysNode> process, page;
  ComPtr<TBrowserStub> browser;
  ComPtr<TPageContext> context;
  ComPtr<TpwBrowserPageActions> slice;
};

TEST_F(PageActions, TheBrowserClosesThePageAndTheEventNamesIt) {
  AddPage(process, u"http://shop.test/other", 4100, true);  // not the only page: no process wait
  context->title = u"Shop";
  browser->close = [&] { return RemovePage(); };
  const WideString fullName = FullName();
  const auto first = host.Log().Entries().size();
  const auto start = clock.NowMs();
  ASSERT_EQ(slice->ClosePage(), S_OK);
  EXPECT_EQ(browser->calls, 1);
  const auto entries = EntriesFrom(first);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Event);
  EXPECT_EQ(entries[0].text, u"The 'Shop' page was closed.");
  EXPECT_EQ(entries[0].additionalText, fullName);
  EXPECT_LT(clock.NowMs() - start, 5000u);
}

TEST_F(PageActions, TheWindowClosesThePageWhenTheBrowserRaises) {
  browser->close = [] { return E_FAIL; };
  page->SetPivotWindow(0x9100);
  auto window = AddWindow(process, 0x9100, false, 7);
  window->SetWindowActionHandler([&](WideStringView action) {
    if (action.starts_with(u"close")) RemovePage();
  });
  const WideString fullName = FullName();
  const auto first = host.Log().Entries().size();
  ASSERT_EQ(slice->ClosePage(), S_OK);
  // The window's own wait is 0 while it closes (the default wait is its close time) and put back.
  EXPECT_EQ(window->WindowActions(), std::vector<WideString>{u"close 5000 0"});
  EXPECT_EQ(window->WaitTimeout(), 7);
  const auto entries = EntriesFrom(first);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Event);
  BString nameText;
  OleCheck(QueryAs<IpwSysNodeNameText>(Node(page))->GetNameText(nameText.Put()));
  EXPECT_EQ(entries[0].text, u"The '" + nameText.Str() + u"' page was closed.");  // no information: the name text
  EXPECT_EQ(entries[0].additionalText, fullName);
}

TEST_F(PageActions, APageThatStaysGivesTheErrorAfterTheWait) {
  context->title = u"Shop";
  AddPage(process, u"http://shop.test/other", 4100, true);
  const auto first = host.Log().Entries().size();
  const auto start = clock.NowMs();
  ASSERT_EQ(slice->ClosePage(), S_OK);  // the browser answers, the page stays
  EXPECT_GE(clock.NowMs() - start, 5000u);
  const auto entries = EntriesFrom(first);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Error);
  EXPECT_EQ(entries[0].text, u"The 'Shop' page was not closed.");
  EXPECT_EQ(entries[0].additionalText, FullName());
}

TEST_F(PageActions, TheLastPageAlsoWaitsForItsProcess) {
  context->title = u"Shop";
  browser->close = [&] { return RemovePage(); };
  const auto start = clock.NowMs();
  ASSERT_EQ(slice->ClosePage(), S_OK);
  // The page went at once; the process node stays, so its wait takes the whole time-out.
  EXPECT_GE(clock.NowMs() - start, 5000u);
  EXPECT_EQ(EntriesFrom(0).back().text, u"The 'Shop' page was closed.");
}

TEST_F(PageActions, NeitherWayClosesWhenTheBrowserRaisesAndThereIsNoWindow) {
  context->title = u"Shop";
  browser->close = [] { return E_FAIL; };
  const auto first = host.Log().Entries().size();
  const auto start = clock.NowMs();
  ASSERT_EQ(slice->ClosePage(), S_OK);
  EXPECT_LT(clock.NowMs() - start, 5000u);  // nothing closed it: no wait
  const auto entries = EntriesFrom(first);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].text, u"The 'Shop' page was not closed.");
}

TEST_F(PageActions, APageThatWentCountsAlsoWithoutWaitTime) {
  SetDefaultWait(0);
  AddPage(process, u"http://shop.test/other", 4100, true);
  context->title = u"Shop";
  browser->close = [&] { return RemovePage(); };
  ASSERT_EQ(slice->ClosePage(), S_OK);
  EXPECT_EQ(EntriesFrom(0).back().kind, host::LogEntry::Event);
  EXPECT_EQ(EntriesFrom(0).back().text, u"The 'Shop' page was closed.");
}

TEST_F(PageActions, ThePageContextTheNodeGivesNamesTheBrowser) {
  // The node's context item stays what the lookups read; the page context its native context
  // gives is another object, and its browser is the one that closes the page.
  AddPage(process, u"http://shop.test/other", 4100, true);
  auto other = MakeObject<TBrowserStub>();
  other->close = [&] { return RemovePage(); };
  auto pageContext = MakeObject<TPageContext>();
  pageContext->browser = ComPtr<IDispatch>(static_cast<IDispatch*>(other.Get()));
  pageContext->title = u"Shop";
  page->SetPageContext(static_cast<IpwObjectContext2*>(pageContext.Get()));
  ASSERT_EQ(slice->ClosePage(), S_OK);
  EXPECT_EQ(other->calls, 1);
  EXPECT_EQ(browser->calls, 0);
  EXPECT_EQ(EntriesFrom(0).back().text, u"The 'Shop' page was closed.");
}

TEST_F(PageActions, APageWithoutContextIsLeftAlone) {
  page->SetContextObject(kContextItemKey, nullptr);
  const auto first = host.Log().Entries().size();
  ASSERT_EQ(slice->ClosePage(), S_OK);
  EXPECT_EQ(browser->calls, 0);
  EXPECT_EQ(host.Log().Entries().size(), first);
}

}  // namespace
}  // namespace pw::web
