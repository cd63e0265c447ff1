// Browser and pages against the scripted engine: navigation waits for its own load, dialogs,
// stale objects, script errors and popups.
#include <gtest/gtest.h>

#include <future>

#include "host/browser/browser.h"
#include "host/browser/fake_engine.h"

namespace pw::browser {
namespace {

using namespace std::chrono_literals;
using Json = FakeEngine::Json;

std::optional<FakeEngine::Answer> NoAnswer(const Json&) { return std::nullopt; }

struct PageTest : ::testing::Test {
  FakeEngine engine;
  std::unique_ptr<Browser> browser;
  std::shared_ptr<Page> page;
  void SetUp() override {
    browser = Browser::Attach(engine.TakeClientEnd());
    ASSERT_EQ(browser->Pages().size(), 1u);
    page = browser->Pages()[0];
  }
  void TearDown() override {
    page.reset();
    browser.reset();
  }
};

TEST_F(PageTest, AttachesToTheEnginesPageAndEnablesItsEvents) {
  EXPECT_EQ(page->TargetId(), "P1");
  EXPECT_EQ(page->SessionId(), "S-P1");
  EXPECT_EQ(engine.WaitForCall("Page.setLifecycleEventsEnabled")["sessionId"], "S-P1");
  EXPECT_EQ(engine.WaitForCall("Target.setDiscoverTargets")["params"]["discover"], true);
}

TEST_F(PageTest, NavigateWaitsForTheLoadOfItsOwnNavigation) {
  engine.On("Page.navigate", [&](const Json& call) {
    engine.Reply(call["id"], {{"frameId", "P1"}, {"loaderId", "L7"}});
    return std::optional<FakeEngine::Answer>();
  });
  auto done = std::async(std::launch::async, [&] { page->Navigate("file:///x.html"); });
  engine.WaitForCall("Page.navigate");
  // The load of an earlier document and of another frame do not end the wait.
  engine.Emit("Page.lifecycleEvent", {{"frameId", "P1"}, {"loaderId", "L6"}, {"name", "load"}}, "S-P1");
  engine.Emit("Page.lifecycleEvent", {{"frameId", "F2"}, {"loaderId", "L7"}, {"name", "load"}}, "S-P1");
  engine.Emit("Page.lifecycleEvent", {{"frameId", "P1"}, {"loaderId", "L7"}, {"name", "DOMContentLoaded"}}, "S-P1");
  // A round trip through the engine (its answer comes behind the events), then one through the
  // event thread: the events above have been handled.
  browser->Conn().Call("Test.ping");
  std::promise<void> handled;
  browser->Conn().Post([&] { handled.set_value(); });
  handled.get_future().wait();
  EXPECT_EQ(done.wait_for(0s), std::future_status::timeout);
  engine.Emit("Page.lifecycleEvent", {{"frameId", "P1"}, {"loaderId", "L7"}, {"name", "load"}}, "S-P1");
  ASSERT_EQ(done.wait_for(20s), std::future_status::ready);
  done.get();
}

TEST_F(PageTest, NavigationResults) {
  engine.On("Page.navigate", [&](const Json& call) {
    const std::string url = call["params"]["url"];
    if (url == "file:///missing")
      return FakeEngine::Result({{"frameId", "P1"}, {"errorText", "net::ERR_FILE_NOT_FOUND"}});
    if (url == "#frag") return FakeEngine::Result({{"frameId", "P1"}});  // same document
    return std::optional<FakeEngine::Answer>();                          // never answered
  });
  try {
    page->Navigate("file:///missing");
    FAIL();
  } catch (const BrowserError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::Navigation);
    EXPECT_STREQ(e.what(), "The page could not be opened: file:///missing: net::ERR_FILE_NOT_FOUND");
  }
  page->Navigate("#frag");
  EXPECT_THROW(page->Navigate("file:///hangs", 20ms), BrowserError);
}

TEST_F(PageTest, ObjectsOfAnOldDocumentAreReleasedAsAGroup) {
  engine.On("Runtime.evaluate", [](const Json& call) {
    return FakeEngine::Result(
        {{"result", {{"type", "object"}, {"objectId", "O-" + call["params"].value("objectGroup", std::string())}}}});
  });
  EXPECT_EQ(page->Evaluate("document").ObjectId(), "O-doc1");
  const auto before = page->Document();
  page->Navigate("file:///b.html");
  EXPECT_EQ(page->Document(), before + 1);
  EXPECT_EQ(engine.WaitForCall("Runtime.releaseObjectGroup")["params"]["objectGroup"], "doc1");
  EXPECT_EQ(page->Evaluate("document").ObjectId(), "O-doc2");
  // Evaluation asks for objects by reference.
  EXPECT_EQ(engine.WaitForCall("Runtime.evaluate")["params"]["returnByValue"], false);
}

TEST_F(PageTest, ScriptExceptionsCarryTheirText) {
  engine.On("Runtime.evaluate", [](const Json&) {
    return FakeEngine::Result(
        {{"result", {{"type", "object"}}},
         {"exceptionDetails",
          {{"text", "Uncaught"}, {"exception", {{"description", "ReferenceError: nope is not defined"}}}}}});
  });
  try {
    page->Evaluate("nope");
    FAIL();
  } catch (const BrowserError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::Script);
    EXPECT_STREQ(e.what(), "ReferenceError: nope is not defined");
  }
}

TEST_F(PageTest, ADialogLeftOpenBlocksReadsButEndsTheActionThatOpenedIt) {
  engine.On("Runtime.evaluate", NoAnswer);
  engine.On("Input.dispatchMouseEvent", [](const Json& call) {
    return call["params"]["type"] == "mouseReleased" ? std::nullopt : FakeEngine::Result({});
  });
  engine.On("Page.handleJavaScriptDialog", [&](const Json& call) {
    engine.Emit("Page.javascriptDialogClosed", {{"result", call["params"]["accept"]}}, "S-P1");
    return FakeEngine::Result({});
  });
  auto read = page->Conn().Send("Runtime.evaluate", {{"expression", "1"}}, "S-P1");
  auto click = std::async(std::launch::async, [&] { page->Click(10, 10); });
  engine.WaitForCall("Input.dispatchMouseEvent", 3);
  engine.Emit("Page.javascriptDialogOpening", {{"type", "alert"}, {"message", "Hello"}, {"url", "file:///a"}}, "S-P1");
  ASSERT_EQ(click.wait_for(20s), std::future_status::ready);
  EXPECT_NO_THROW(click.get());
  try {
    read.Wait();
    FAIL();
  } catch (const BrowserError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::Dialog);
    EXPECT_STREQ(e.what(), "A dialog of the page is open: Hello");
  }
  ASSERT_TRUE(page->OpenDialog());
  EXPECT_EQ(page->OpenDialog()->type, "alert");
  EXPECT_THROW(page->Evaluate("2"), BrowserError);  // fails at once, without a call
  EXPECT_EQ(engine.CountCalls("Runtime.evaluate"), 1u);
  page->CloseDialog(true);
  EXPECT_FALSE(page->OpenDialog());
  EXPECT_THROW(page->CloseDialog(true), BrowserError);
}

TEST_F(PageTest, TheDialogPolicyAnswersOnTheEventThread) {
  std::promise<std::thread::id> policyThread;
  page->SetDialogPolicy([&](const DialogInfo& info) -> std::optional<DialogAnswer> {
    policyThread.set_value(std::this_thread::get_id());
    return DialogAnswer{false, "typed " + info.defaultPrompt};
  });
  engine.Emit("Page.javascriptDialogOpening", {{"type", "prompt"}, {"message", "Name?"}, {"defaultPrompt", "x"}},
              "S-P1");
  const auto answer = engine.WaitForCall("Page.handleJavaScriptDialog");
  EXPECT_EQ(answer["params"]["accept"], false);
  EXPECT_EQ(answer["params"]["promptText"], "typed x");
  EXPECT_NE(policyThread.get_future().get(), std::this_thread::get_id());
  EXPECT_FALSE(page->OpenDialog());
}

TEST_F(PageTest, APopupBecomesAPageWithItsOpener) {
  std::promise<std::shared_ptr<Page>> popup;
  browser->OnNewPage([&](const std::shared_ptr<Page>& p) { popup.set_value(p); });
  engine.Emit("Target.targetCreated", {{"targetInfo", {{"targetId", "P9"}, {"type", "page"}, {"openerId", "P1"}}}});
  auto future = popup.get_future();
  ASSERT_EQ(future.wait_for(20s), std::future_status::ready);
  auto p = future.get();
  EXPECT_EQ(p->OpenerId(), "P1");
  EXPECT_EQ(p->SessionId(), "S-P9");
  EXPECT_EQ(browser->Pages().size(), 2u);
  std::promise<void> closed;
  browser->OnPageClosed([&](const std::shared_ptr<Page>& gone) {
    if (gone == p) closed.set_value();
  });
  engine.Emit("Target.targetDestroyed", {{"targetId", "P9"}});
  ASSERT_EQ(closed.get_future().wait_for(20s), std::future_status::ready);
  EXPECT_TRUE(p->Closed());
  EXPECT_THROW(p->Evaluate("1"), BrowserError);
  EXPECT_EQ(browser->Pages().size(), 1u);
}

TEST_F(PageTest, ScreenshotsArriveAsPngBytes) {
  engine.On("Page.captureScreenshot", [](const Json&) { return FakeEngine::Result({{"data", "iVBORw0KGgo="}}); });
  engine.On("Page.getLayoutMetrics", [](const Json&) {
    return FakeEngine::Result({{"cssContentSize", {{"x", 0}, {"y", 0}, {"width", 300}, {"height", 2000}}}});
  });
  EXPECT_EQ(page->Screenshot(), std::string("\x89PNG\r\n\x1a\n", 8));
  page->Screenshot(std::nullopt, true);
  const auto full = engine.WaitForCall("Page.captureScreenshot", 2)["params"];
  EXPECT_EQ(full["clip"]["height"], 2000.0);
  EXPECT_EQ(full["captureBeyondViewport"], true);
}

TEST(DecodeBase64, DecodesWithAndWithoutPadding) {
  EXPECT_EQ(DecodeBase64("aGVsbG8="), "hello");
  EXPECT_EQ(DecodeBase64("aGVsbG8h"), "hello!");
  EXPECT_EQ(DecodeBase64(""), "");
}

}  // namespace
}  // namespace pw::browser
