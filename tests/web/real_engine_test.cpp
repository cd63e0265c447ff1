// The navigation slices against the real engine (CTest "web_engine", label "engine"): a browser
// process sent to local pages by ToUrl, the page node it answers and the log entry.
#include <cstdlib>
#include <fstream>

#include "core/automation/dispatch_helpers.h"
#include "host/browser/objects/browsers.h"
#include "tests/support/scratch_dir.h"
#include "tests/web/nav_fixture.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/page_search.h"
#include "web/navigation/process_to_url.h"

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
  // The page is found by its URL below the process.
  EXPECT_EQ(FindPageByProperty(Node(process), GUID_NULL, second, false, Manager()).Get(), Node(chrome->node));
}

}  // namespace
}  // namespace pw::web::test
