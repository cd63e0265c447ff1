// The navigation slices against the real engine (CTest "web_engine", label "engine"): a browser
// process sent to local pages by ToUrl, the page node it answers and the log entry.
#include <cstdlib>
#include <fstream>
#include <future>

#include "core/automation/dispatch_helpers.h"
#include "host/browser/objects/browsers.h"
#include "tests/support/scratch_dir.h"
#include "tests/web/nav_fixture.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/page_search.h"
#include "web/navigation/process_to_url.h"
#include "web/navigation/window_helpers.h"

namespace pw::web::test {
namespace {

bool EngineTestsWanted() {
  const char* env = std::getenv("PW_ENGINE_TESTS");
  return env && std::string(env) == "1";
}

class RealEngineNavigation : public NavTest {
 protected:
  void SetUp() override {
    if (!EngineTestsWanted()) GTEST_SKIP() << "the engine tests run in the test web_engine";
    std::ofstream(dir.Utf8File("first.html")) << "<html><head><title>First</title></head><body>1</body></html>";
    std::ofstream(dir.Utf8File("second.html")) << "<html><head><title>Second</title></head><body>2</body></html>";
  }
  std::string Url(const std::string& name) { return "file://" + dir.Utf8File(name); }

  pw::test::ScratchDir dir;
  host::ScopedRunState run{host.RunState(), host::kRunStateRunning};
};

TEST_F(RealEngineNavigation, ToUrlOfTheBrowserProcessNavigatesItsPage) {
  auto chrome = host.Browsers().Launch(host::BrowserKind::Chrome, Url("first.html"));
  auto process = chrome->node->Parent();
  ASSERT_TRUE(process);
  auto slice = MakeObject<TpwWebProcessToUrlMethod>(Manager(), false);
  OleCheck(process->AddExtension(IpwWebPageLocator2::iid, static_cast<IDispatch*>(slice->Dispatch()), GUID_NULL, 0));

  // The page the browser shows is found by the same search the slice uses.
  EXPECT_EQ(FindVisibleBrowserPage(Node(process), Manager()).Get(), Node(chrome->node));

  const WideString second = Utf8ToWide(Url("second.html"));
  const OleVariant args[] = {OleVariant(second)};
  OleVariant result = DispInvoke(static_cast<IpwSysNodeEx*>(process.Get()), u"ToUrl", args);
  auto page = VarToDispatch(result.Get());
  ASSERT_TRUE(page);
  EXPECT_EQ(QueryAs<IUnknown>(page.Get()).Get(), QueryAs<IUnknown>(Node(chrome->node)).Get());
  EXPECT_EQ(NodeText(page.Get(), u"URL"), second);
  OleVariant title = DispGetProperty(host.Browsers().Document(*chrome).Get(), u"title", OleVariant());
  EXPECT_EQ(title.AsString(), u"Second");
  auto entries = host.Log().Entries();
  ASSERT_FALSE(entries.empty());
  EXPECT_NE(entries.back().text.find(u"Navigating to the "), WideString::npos);
  EXPECT_NE(entries.back().additionalText.find(u"URL: " + second), WideString::npos);
  // The host names it Page("url") and "Page" (the front browser's).
  auto named = FindPageByIdentification(Manager(), PageIdentification(second));
  EXPECT_EQ(QueryAs<IUnknown>(named.Get()).Get(), QueryAs<IUnknown>(Node(chrome->node)).Get());
  auto front = FindPageByIdentification(Manager(), u"Page");
  EXPECT_EQ(QueryAs<IUnknown>(front.Get()).Get(), QueryAs<IUnknown>(Node(chrome->node)).Get());
  // The page is found by its URL below the process.
  EXPECT_EQ(FindPageByProperty(Node(process), GUID_NULL, second, false, Manager()).Get(), Node(chrome->node));
}

TEST_F(RealEngineNavigation, AnAlertIsClosedAsAnUnexpectedWindow) {
  auto chrome = host.Browsers().Launch(host::BrowserKind::Chrome, Url("first.html"));
  auto process = chrome->node->Parent();
  std::int32_t pid = 0;
  ASSERT_EQ(QueryAs<IpwSysObjectProcess>(static_cast<IpwSysNodeEx*>(process.Get()))->GetProcessId(&pid), S_OK);
  EXPECT_FALSE(CloseUnexpectedWindows(Manager(), pid));  // nothing to close yet
  std::promise<void> opened, closed;
  chrome->events->Listen([&](const host::BrowserEvent& e) {
    if (e.kind == host::BrowserEventKind::DialogOpened) opened.set_value();
    if (e.kind == host::BrowserEventKind::DialogClosed) closed.set_value();
  });
  chrome->page->Evaluate("setTimeout(() => alert('Hello'), 0)");
  ASSERT_EQ(opened.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
  ASSERT_NE(chrome->dialogWindow, 0);
  const auto before = host.Log().Entries().size();
  EXPECT_TRUE(CloseUnexpectedWindows(Manager(), pid));
  ASSERT_EQ(closed.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_EQ(chrome->dialogWindow, 0);
  auto entries = host.Log().Entries();
  ASSERT_EQ(entries.size(), before + 1);
  EXPECT_EQ(entries.back().kind, host::LogEntry::Warning);
  EXPECT_EQ(entries.back().text, kCloseWithEscText);
  // The page answers again once its dialog is gone.
  OleVariant title = DispGetProperty(host.Browsers().Document(*chrome).Get(), u"title", OleVariant());
  EXPECT_EQ(title.AsString(), u"First");
}

}  // namespace
}  // namespace pw::web::test
