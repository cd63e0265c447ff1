// The message layer: windows and their procedures, per-thread queues, the input source, the
// capture and the cursors.
#include "platform/ui/message_layer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel/processes.h"
#include "platform/ui/resources.h"

namespace pw {
namespace {

using ::testing::ElementsAre;
using Kind = InputEvent::Kind;

constexpr unsigned kMark = 0xC0DE;  // a message of the tests' own

// A message as the procedures saw it: "window message wParam lParam".
struct Seen {
  HWND window;
  unsigned message;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const Seen&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const Seen& s) {
    return out << std::hex << "{" << s.window << " " << s.message << " " << s.wParam << " " << s.lParam << "}"
               << std::dec;
  }
};

class MessageLayerTest : public ::testing::Test {
 protected:
  ~MessageLayerTest() override {
    SetInputSource(nullptr);
    ReleaseCapture();
    for (HWND w : windows_) DestroyWindow(w);
    Drain();
    SetCursor(0);
  }

  // A window of the calling thread whose procedure records what it is handed.
  HWND Recording(std::vector<Seen>* seen) {
    HWND w = CreateMessageWindow([seen](HWND window, unsigned m, WPARAM wp, LPARAM lp) -> LRESULT {
      seen->push_back({window, m, wp, lp});
      return 5;
    });
    windows_.push_back(w);
    return w;
  }

  // Feeds the events in order, then reports the feed drained.
  static void Feed(std::vector<InputEvent> events) {
    auto shared = std::make_shared<std::vector<InputEvent>>(std::move(events));
    auto at = std::make_shared<std::size_t>(0);
    SetInputSource([shared, at](InputEvent& e) {
      if (*at >= shared->size()) return false;
      e = (*shared)[(*at)++];
      return true;
    });
  }

  // Empties the calling thread's queue: a mark posted last is the end of it.
  static void Drain() {
    HWND end = CreateMessageWindow([](HWND, unsigned, WPARAM, LPARAM) -> LRESULT { return 0; });
    PostMessage(end, kMark, 0, 0);
    MSG m;
    for (int guard = 0; guard < 1000; ++guard) {
      GetMessage(&m);
      if (m.hwnd == end && m.message == kMark) break;
    }
    DestroyWindow(end);
  }

  // What the recording windows saw: the fixture's, so that the windows it destroys at the end
  // record into live vectors.
  std::vector<Seen> seen, a, b;
  std::vector<HWND> windows_;
};

TEST_F(MessageLayerTest, PostedMessagesComeInOrderAndReachTheProcedure) {
  HWND w = Recording(&seen);
  EXPECT_TRUE(IsMessageWindow(w));
  EXPECT_TRUE(IsWindow(w));  // the window table answers for this layer's windows too
  ASSERT_TRUE(PostMessage(w, kMark, 1, 2));
  ASSERT_TRUE(PostMessage(w, kMark + 1, 3, -4));
  EXPECT_TRUE(seen.empty());  // posting calls nothing

  MSG m;
  ASSERT_EQ(GetMessage(&m), 1);
  EXPECT_EQ(m.hwnd, w);
  EXPECT_EQ(m.message, kMark);
  EXPECT_EQ(DispatchMessage(&m), 5);
  ASSERT_EQ(GetMessage(&m), 1);
  EXPECT_EQ(DispatchMessage(&m), 5);
  EXPECT_EQ(SendMessage(w, kMark + 2, 0, 0), 5);
  EXPECT_THAT(seen, ElementsAre(Seen{w, kMark, 1, 2}, Seen{w, kMark + 1, 3, -4}, Seen{w, kMark + 2, 0, 0}));
  EXPECT_EQ(DispatchMessage(nullptr), 0);
}

TEST_F(MessageLayerTest, DestroyedWindowTakesNoMoreMessages) {
  HWND w = Recording(&seen);
  HWND other = Recording(&seen);
  ASSERT_TRUE(PostMessage(w, kMark, 1, 0));  // still queued when the window goes
  ASSERT_TRUE(PostMessage(other, kMark, 2, 0));

  EXPECT_TRUE(DestroyWindow(w));
  EXPECT_THAT(seen, ElementsAre(Seen{w, WM_DESTROY, 0, 0}));
  EXPECT_FALSE(IsMessageWindow(w));
  EXPECT_FALSE(IsWindow(w));
  EXPECT_FALSE(PostMessage(w, kMark, 3, 0));
  EXPECT_EQ(SendMessage(w, kMark, 0, 0), 0);
  MSG stale{w, kMark, 4, 0, {}};
  EXPECT_EQ(DispatchMessage(&stale), 0);
  EXPECT_FALSE(DestroyWindow(w));  // once only: no second WM_DESTROY
  EXPECT_FALSE(DestroyMessageWindow(w));

  // The message queued for the destroyed window went with it; the other window's is there.
  MSG m;
  ASSERT_EQ(GetMessage(&m), 1);
  EXPECT_EQ(m.hwnd, other);
  EXPECT_EQ(m.wParam, 2u);
  EXPECT_EQ(GetMessage(&m), 0);  // nothing else, no input source: the quit
  EXPECT_EQ(seen.size(), 1u);
}

TEST_F(MessageLayerTest, DestroyingTheCaptureHolderReleasesTheCaptureFirst) {
  HWND w = Recording(&seen);
  SetCapture(w);
  EXPECT_TRUE(DestroyWindow(w));
  EXPECT_THAT(seen, ElementsAre(Seen{w, WM_CAPTURECHANGED, 0, 0}, Seen{w, WM_DESTROY, 0, 0}));
  EXPECT_EQ(GetCapture(), 0u);
}

TEST_F(MessageLayerTest, CaptureChangedTellsTheLoserWhoTakesIt) {
  HWND first = Recording(&a);
  HWND second = Recording(&b);
  const HWND foreign = 0x4242;         // a window of no procedure here
  constexpr HWND kRelease = ~HWND(0);  // the step releases the capture instead
  const auto lost = [](HWND loser, HWND taker) {
    return std::vector<Seen>{{loser, WM_CAPTURECHANGED, 0, static_cast<LPARAM>(taker)}};
  };
  struct Step {
    const char* what;
    HWND taker;   // kRelease: ReleaseCapture
    HWND answer;  // what SetCapture answered (the holder before)
    HWND holder;  // GetCapture after it
    std::vector<Seen> firstSees, secondSees;
  } steps[] = {
      {"first takes it from nobody", first, 0, first, {}, {}},
      {"first takes it again", first, first, first, {}, {}},
      {"second takes it", second, first, second, lost(first, second), {}},
      {"released", kRelease, 0, 0, {}, lost(second, 0)},
      {"released with no holder", kRelease, 0, 0, {}, {}},
      {"first takes it", first, 0, first, {}, {}},
      {"a foreign window takes it", foreign, first, foreign, lost(first, foreign), {}},
      {"second takes it from the foreign one", second, foreign, second, {}, {}},
      {"set to nobody", 0, second, 0, {}, lost(second, 0)},
  };
  for (auto& s : steps) {
    SCOPED_TRACE(s.what);
    a.clear();
    b.clear();
    if (s.taker == kRelease) {
      EXPECT_TRUE(ReleaseCapture());
    } else {
      EXPECT_EQ(SetCapture(s.taker), s.answer);
    }
    EXPECT_EQ(GetCapture(), s.holder);
    EXPECT_EQ(a, s.firstSees);
    EXPECT_EQ(b, s.secondSees);
  }
}

TEST_F(MessageLayerTest, CaptureTakenByTheInputSource) {
  HWND w = Recording(&seen);
  struct Case {
    HWND taker;
  } cases[] = {{0x4242}, {0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.taker);
    seen.clear();
    SetCapture(w);
    Feed({{Kind::CaptureTaken, 0, 0, 0, c.taker}});
    MSG m;
    EXPECT_EQ(GetMessage(&m), 0);  // the capture change is no message of the queue; then drained
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_THAT(seen, ElementsAre(Seen{w, WM_CAPTURECHANGED, 0, static_cast<LPARAM>(c.taker)}));
    EXPECT_EQ(GetCapture(), c.taker);
  }
}

TEST_F(MessageLayerTest, InputWithoutACaptureHolderIsPassedOverButMovesThePointer) {
  Recording(&seen);
  Feed({{Kind::Move, 3, 4, 0, 0}, {Kind::Key, 9, 9, VK_ESCAPE, 0}, {Kind::LeftUp, 5, 6, 0, 0}});
  MSG m;
  EXPECT_EQ(GetMessage(&m), 0);  // every event passed over, then the drained source's quit
  POINT at;
  ASSERT_TRUE(GetCursorPos(&at));
  EXPECT_EQ(at.x, 5);
  EXPECT_EQ(at.y, 6);
  EXPECT_TRUE(seen.empty());
}

TEST_F(MessageLayerTest, InputGoesToTheCaptureHolderAfterPostedMessages) {
  HWND w = Recording(&seen);
  Feed({
      {Kind::LeftDown, 10, 20, 0, 0},
      {Kind::Move, -2, 70000, 0, 0},
      {Kind::Key, 99, 99, VK_ESCAPE, 0},  // keys leave the pointer where it is
      {Kind::LeftUp, 11, 21, 0, 0},
      {Kind::RightDown, 12, 22, 0, 0},
      {Kind::RightUp, 13, 23, 0, 0},
  });
  SetCapture(w);
  PostMessage(w, kMark, 0, 0);
  MSG m;
  ASSERT_EQ(GetMessage(&m), 1);
  EXPECT_EQ(m.message, kMark);  // posted messages before input
  auto point = [](std::int32_t x, std::int32_t y) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) | static_cast<std::uint32_t>(x & 0xFFFF));
  };
  struct Expected {
    unsigned message;
    WPARAM wParam;
    LPARAM lParam;
    POINT pt;
  } expected[] = {
      {WM_LBUTTONDOWN, 0, point(10, 20), {10, 20}}, {WM_MOUSEMOVE, 0, point(-2, 70000), {-2, 70000}},
      {WM_KEYDOWN, VK_ESCAPE, 1, {-2, 70000}},      {WM_LBUTTONUP, 0, point(11, 21), {11, 21}},
      {WM_RBUTTONDOWN, 0, point(12, 22), {12, 22}}, {WM_RBUTTONUP, 0, point(13, 23), {13, 23}},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.message);
    ASSERT_EQ(GetMessage(&m), 1);
    EXPECT_EQ(m.hwnd, w);
    EXPECT_EQ(m.message, e.message);
    EXPECT_EQ(m.wParam, e.wParam);
    EXPECT_EQ(m.lParam, e.lParam);
    EXPECT_EQ(m.pt.x, e.pt.x);
    EXPECT_EQ(m.pt.y, e.pt.y);
    POINT at;
    ASSERT_TRUE(GetCursorPos(&at));
    EXPECT_EQ(at.x, e.pt.x);
    EXPECT_EQ(at.y, e.pt.y);
  }
  EXPECT_FALSE(GetCursorPos(nullptr));
  // Drained: every call from now on is a quit (code 0).
  for (int i = 0; i < 2; ++i) {
    m = {};
    EXPECT_EQ(GetMessage(&m), 0);
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.hwnd, 0u);
    EXPECT_EQ(m.wParam, 0u);
  }
  EXPECT_TRUE(seen.empty());  // GetMessage hands messages out; only DispatchMessage calls
}

TEST_F(MessageLayerTest, QuitCarriesItsCodeAndWaitsItsTurn) {
  HWND w = Recording(&seen);
  Feed({{Kind::Key, 0, 0, 65, 0}});  // input is not read while the queue has messages
  SetCapture(w);
  PostMessage(w, kMark, 0, 0);
  PostQuitMessage(7);
  PostMessage(w, kMark + 1, 0, 0);
  MSG m;
  ASSERT_EQ(GetMessage(&m), 1);
  EXPECT_EQ(m.message, kMark);
  EXPECT_EQ(GetMessage(&m), 0);
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 7u);
  ASSERT_EQ(GetMessage(&m), 1);
  EXPECT_EQ(m.message, kMark + 1);
  ASSERT_EQ(GetMessage(&m), 1);
  EXPECT_EQ(m.message, WM_KEYDOWN);
  EXPECT_EQ(m.wParam, 65u);
  EXPECT_EQ(GetMessage(nullptr), 0);  // drained; no message to fill
}

TEST_F(MessageLayerTest, NoSourceIsADrainedSource) {
  SetInputSource(nullptr);
  MSG m;
  EXPECT_EQ(GetMessage(&m), 0);
  EXPECT_EQ(m.message, WM_QUIT);
}

// Each thread has a queue of its own: a message posted to a window goes to the queue of the
// thread that made the window, whoever posts it.
TEST_F(MessageLayerTest, QueuesArePerThread) {
  std::promise<HWND> made;
  std::promise<void> posted;
  std::promise<std::vector<Seen>> got;
  std::thread worker([&] {
    std::vector<Seen> seen;
    std::thread::id dispatchedOn;
    HWND w = CreateMessageWindow([&](HWND window, unsigned m, WPARAM wp, LPARAM lp) -> LRESULT {
      dispatchedOn = std::this_thread::get_id();
      seen.push_back({window, m, wp, lp});
      return 0;
    });
    PostQuitMessage(9);  // the worker's own quit: main never sees it
    made.set_value(w);
    posted.get_future().wait();
    MSG m;
    EXPECT_EQ(GetMessage(&m), 0);
    EXPECT_EQ(m.wParam, 9u);
    while (GetMessage(&m)) DispatchMessage(&m);  // the main thread's posts, then the drained source's quit
    EXPECT_EQ(dispatchedOn, std::this_thread::get_id());
    DestroyWindow(w);
    got.set_value(seen);
  });
  HWND w = made.get_future().get();
  EXPECT_TRUE(PostMessage(w, kMark, 1, 0));  // no ASSERT: the worker waits for the signal below
  EXPECT_TRUE(PostMessage(w, kMark, 2, 0));
  MSG m;
  m.message = kMark;
  EXPECT_EQ(GetMessage(&m), 0);  // the main thread's queue holds none of them
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 0u);
  posted.set_value();
  auto workerSaw = got.get_future().get();
  worker.join();
  EXPECT_THAT(workerSaw, ElementsAre(Seen{w, kMark, 1, 0}, Seen{w, kMark, 2, 0}, Seen{w, WM_DESTROY, 0, 0}));
}

// A thread that ends takes its windows and its queue with it: nothing it left behind reaches a
// later thread (thread identifiers are reused).
TEST_F(MessageLayerTest, AnEndedThreadLeavesNoWindowsOrMessages) {
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    HWND left = 0;
    std::thread first([&] {
      left = CreateMessageWindow([](HWND, unsigned, WPARAM, LPARAM) -> LRESULT { return 0; });
      PostMessage(left, kMark, 1, 0);
      PostQuitMessage(3);
    });
    first.join();
    EXPECT_FALSE(IsMessageWindow(left));
    EXPECT_FALSE(PostMessage(left, kMark, 2, 0));

    MSG m{};
    int got = -1;
    std::thread second([&] { got = GetMessage(&m); });
    second.join();
    EXPECT_EQ(got, 0);
    EXPECT_EQ(m.hwnd, 0u);
    EXPECT_EQ(m.wParam, 0u);  // the drained source's quit, not the ended thread's
  }
}

const CursorResource kCursors[] = {{"PICKER", 3, 4}, {"OTHER", 0, 0}};
const ResourceTable kCursorTable{{}, {}, kCursors};

TEST_F(MessageLayerTest, CursorsOfTheModuleResources) {
  RegisterModuleResources(&kCursorTable);
  struct Case {
    const char* name;
    bool loads;
  } cases[] = {{"PICKER", true}, {"OTHER", true}, {"MISSING", false}, {"picker", false}, {"", false}, {nullptr, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name ? c.name : "(nil)");
    HCURSOR cursor = LoadCursor(c.name);
    if (!c.loads) {
      EXPECT_EQ(cursor, 0u);
      continue;
    }
    ASSERT_NE(cursor, 0u);
    ASSERT_NE(CursorName(cursor), nullptr);
    EXPECT_STREQ(CursorName(cursor), c.name);
    EXPECT_TRUE(DestroyCursor(cursor));
    EXPECT_EQ(CursorName(cursor), nullptr);
    EXPECT_FALSE(DestroyCursor(cursor));
  }

  HCURSOR one = LoadCursor("PICKER"), two = LoadCursor("PICKER");
  EXPECT_NE(one, two);  // each load is a cursor of its own
  SetCursor(0);
  EXPECT_EQ(SetCursor(one), 0u);
  EXPECT_EQ(SetCursor(two), one);
  EXPECT_EQ(GetCursor(), two);
  EXPECT_EQ(CursorName(0), nullptr);
  DestroyCursor(one);
  DestroyCursor(two);

  RegisterModuleResources(nullptr);
  EXPECT_EQ(LoadCursor("PICKER"), 0u);  // no table, no cursors
}

}  // namespace
}  // namespace pw
