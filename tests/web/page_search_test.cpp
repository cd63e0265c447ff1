// Finding the pages of a browser: the visible page of a browser process, pages by URL, the
// host's lookup by name, and the wait for a node to go.
#include "web/navigation/page_search.h"

#include "openapps/extensions/node_utils.h"
#include "tests/web/nav_fixture.h"
#include "web/navigation/node_facts.h"

namespace pw::web::test {
namespace {

class TBrowsersObject final : public Implements<ComObject, IpwBrowserList> {
 public:
  explicit TBrowsersObject(std::int32_t pid) : pid_(pid) {}
  HRESULT GetCurrentProcessId(std::int32_t* pid, VARIANT_BOOL* found) override {
    *pid = pid_;
    *found = pid_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }

 private:
  std::int32_t pid_;
};

class PageSearchTest : public NavTest {
 protected:
  void DescribeParent(DWORD id, DWORD parent) {
    ProcessDescription d;
    d.id = id;
    d.name = u"child" + IntToWide(id);
    d.parentId = parent;
    DescribeProcess(d);
  }
  ~PageSearchTest() override { ClearProcessDescriptions(); }
  IpwSysNode* Visible(const ComPtr<host::TSysNode>& process) {
    found_ = FindVisibleBrowserPage(Node(process), Manager());
    return found_.Get();
  }
  ComPtr<IpwSysNode> found_;
};

TEST_F(PageSearchTest, TheVisiblePageOfTheBrowserLastChildFirst) {
  auto browser = AddProcess(100);
  auto hidden = AddPage(browser, u"http://a/", 100, false);
  auto first = AddPage(browser, u"http://b/", 100, true);
  auto last = AddPage(browser, u"http://c/", 100, true);
  EXPECT_EQ(Visible(browser), Node(last));
  EXPECT_EQ(clock.Slept(), 1000u);  // the one pause before the search
  EXPECT_EQ(browser->RefreshCount(), 1);
  last->SetMemberValue(u"Visible", OleVariant(false));
  EXPECT_EQ(Visible(browser), Node(first));
}

TEST_F(PageSearchTest, InternalPagesComeLast) {
  auto browser = AddProcess(100);
  auto page = AddPage(browser, u"http://a/", 100, true);
  auto internal = AddPage(browser, u"about:blank", 100, true, u"SACore:start");
  EXPECT_EQ(Visible(browser), Node(page));
  page->SetMemberValue(u"Visible", OleVariant(false));
  // No visible page of its own left: the internal one, the last existing one, is the answer.
  EXPECT_EQ(Visible(browser), Node(internal));
  EXPECT_TRUE(IsInternalPage(Node(internal)));
  EXPECT_FALSE(IsInternalPage(Node(page)));
}

TEST_F(PageSearchTest, MinimisedWindowsAreRestoredWithTheirTimeOutPutBack) {
  auto browser = AddProcess(100);
  auto window = AddWindow(browser, 0x10010, true, 7);
  auto normal = AddWindow(browser, 0x10020, false, 5);
  auto a = AddPage(browser, u"http://a/", 100, false);
  auto b = AddPage(browser, u"http://b/", 100, false);
  // Nothing becomes visible: the last existing page is the answer.
  EXPECT_EQ(Visible(browser), Node(b));
  EXPECT_EQ(window->WindowActions(), (std::vector<WideString>{u"restore 0"}));
  EXPECT_EQ(window->WaitTimeout(), 7);
  EXPECT_TRUE(normal->WindowActions().empty());
  // The restore shows the first page: it wins over the hidden later one.
  window->SetWindowActionHandler([&](WideStringView) { a->SetMemberValue(u"Visible", OleVariant(true)); });
  EXPECT_EQ(Visible(browser), Node(a));
  // A restore that fails still puts the value back.
  window->SetWindowActionHandler([](WideStringView) { throw EOleSysError(u"no", E_FAIL); });
  a->SetMemberValue(u"Visible", OleVariant(false));
  EXPECT_THROW(Visible(browser), EOleSysError);
  EXPECT_EQ(window->WaitTimeout(), 7);
}

TEST_F(PageSearchTest, WhichPagesBelongToTheBrowser) {
  DescribeParent(300, 200);
  DescribeParent(200, 100);
  DescribeParent(400, 401);  // a loop after id reuse
  DescribeParent(401, 400);
  struct Case {
    std::int32_t pagePid, currentBrowser;
    bool belongs;
  } cases[] = {
      {100, 0, true},    // the browser itself
      {300, 0, true},    // a grandchild
      {999, 0, false},   // unrelated
      {999, 999, true},  // the host's current browser
      {400, 0, false},   // a parent chain that loops ends
      {0, 0, false},
  };
  for (const auto& c : cases) {
    if (c.currentBrowser)
      host.RuntimeObjects().Register(u"Browsers", static_cast<IpwBrowserList*>(MakeObject<TBrowsersObject>(c.currentBrowser).Get()));
    else
      host.RuntimeObjects().Unregister(u"Browsers");
    auto browser = AddProcess(100);
    auto page = AddPage(browser, u"http://x/", c.pagePid, true);
    EXPECT_EQ(Visible(browser) != nullptr, c.belongs) << c.pagePid << " " << c.currentBrowser;
    host.Sys().RemoveChild(browser.Get());
  }
}

TEST_F(PageSearchTest, NoProcessNoPage) {
  auto window = host.Sys().AddChild(u"Window");
  EXPECT_EQ(FindVisibleBrowserPage(Node(window), Manager()), nullptr);
  EXPECT_EQ(clock.Slept(), 0u);  // not a process: no pause either
  auto gone = AddProcess(100);
  AddPage(gone, u"http://a/", 100, true);
  gone->SetMemberValue(u"Exists", OleVariant(false));
  EXPECT_EQ(Visible(gone), nullptr);
  auto empty = AddProcess(101);
  EXPECT_EQ(Visible(empty), nullptr);
}

TEST_F(PageSearchTest, PagesByTheirUrl) {
  auto browser = AddProcess(100);
  auto a = AddPage(browser, u"http://shop/a.htm", 100, true);
  auto frame = AddPage(a, u"http://shop/frame.htm", 100, true);
  auto gone = AddPage(browser, u"http://shop/gone.htm", 100, true);
  gone->SetMemberValue(u"Exists", OleVariant(false));
  auto window = browser->AddChild(u"Window");
  window->SetMemberValue(u"URL", OleVariant(u"http://shop/a.htm"));  // not a page
  struct Case {
    WideString value;
    bool recursive;
    host::TSysNode* expected;
  } cases[] = {
      {u"HTTP://SHOP/A.HTM", false, a.Get()},
      {u"http://shop/*.htm", false, a.Get()},  // a pattern; the gone page is skipped
      {u"http://shop/frame.htm", false, nullptr},
      {u"http://shop/frame.htm", true, frame.Get()},
      {u"http://shop/gone.htm", true, nullptr},
      {u"http://other/", true, nullptr},
  };
  for (const auto& c : cases) {
    auto found = FindPageByProperty(Node(browser), GUID_NULL, c.value, c.recursive, Manager());
    EXPECT_EQ(found.Get(), c.expected ? Node(ComPtr<host::TSysNode>(c.expected)) : nullptr) << WideToUtf8(c.value);
  }
  // With a context key the URL comes from the node's context object of that key.
  const GUID key = MakeGuid("{7A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D}");
  auto context = host.Sys().AddChild(u"Context");
  context->SetMemberValue(u"URL", OleVariant(u"http://ctx/"));
  frame->SetContextObject(key, static_cast<IpwSysNodeEx*>(context.Get()));
  EXPECT_EQ(FindPageByProperty(Node(browser), key, u"http://ctx/", true, Manager()).Get(), Node(frame));
  EXPECT_EQ(FindPageByProperty(Node(browser), key, u"http://shop/a.htm", true, Manager()), nullptr);
}

TEST_F(PageSearchTest, TheHostsLookupByName) {
  auto browser = AddProcess(100);
  auto page = AddPage(browser, u"http://a/", 100, true);
  host.HostObjects().RegisterName(PageIdentification(u"http://a/"), static_cast<IpwSysNodeEx*>(page.Get()));
  EXPECT_EQ(PageIdentification(u"http://a/"), u"Page(\"http://a/\")");
  auto found = FindPageByIdentification(Manager(), u"page(\"http://a/\")");
  EXPECT_EQ(QueryAs<IpwSysNode>(found.Get()).Get(), Node(page));
  auto placeholder = FindPageByIdentification(Manager(), u"item");
  ASSERT_TRUE(placeholder);
  EXPECT_FALSE(NodeExists(placeholder.Get()));  // the host's placeholder
  EXPECT_EQ(host.HostObjects().NameRequests().back(), u"item");
}

TEST_F(PageSearchTest, WaitingForANodeToGo) {
  host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
  auto node = host.Sys().AddChild(u"Node");
  int looks = 0;
  node->SetMember(u"Exists", [&](std::vector<OleVariant>&) { return OleVariant(++looks < 4); });
  EXPECT_TRUE(WaitWithTimeoutCounter(Manager(), Node(node), 5000));
  EXPECT_EQ(clock.Slept(), 300u);  // three rounds of 100 ms before the fourth look
  const auto before = clock.Slept();
  auto stays = host.Sys().AddChild(u"Stays");
  EXPECT_FALSE(WaitWithTimeoutCounter(Manager(), Node(stays), 300));
  EXPECT_EQ(clock.Slept() - before, 400u);  // 300 is not yet over the time-out, 400 is
  // A run that ends expires the counter.
  int rounds = 0;
  stays->SetMember(u"Exists", [&](std::vector<OleVariant>&) {
    if (++rounds == 2) host.RunState().SetState(GUID_NULL);
    return OleVariant(true);
  });
  EXPECT_FALSE(WaitWithTimeoutCounter(Manager(), Node(stays), pw::TpwTimeoutCounter::kNoTimeLimit));
  EXPECT_EQ(rounds, 2);
}

TEST_F(PageSearchTest, TheActionPointSinkOfTheRunItem) {
  EXPECT_EQ(GetActionPointSink(Manager()), nullptr);  // no such service
  auto sinks = MakeObject<host::THostObjectProvider>(nullptr, nullptr);
  host.SetService(kActionPointService, static_cast<IpwHostObjectProvider*>(sinks.Get()));
  EXPECT_EQ(GetActionPointSink(Manager()), nullptr);  // no run item
  auto item = MakeObject<host::THostProjectNode>(nullptr, GUID_NULL, u"Test");
  GUID key{};
  item->GetKey(&key);
  host.Projects().SetRunItem(item.Get());
  auto sink = host.Sys().AddChild(u"Sink");
  sinks->RegisterObject(key, static_cast<IpwSysNodeEx*>(sink.Get()));
  EXPECT_EQ(QueryAs<IpwSysNode>(GetActionPointSink(Manager()).Get()).Get(), Node(sink));
  host.Projects().SetRunItem(nullptr);
}

}  // namespace
}  // namespace pw::web::test
