// Activating the window that holds a node, and closing the unexpected windows of a process.
#include "web/navigation/window_helpers.h"

#include "platform/ui/gdi.h"
#include "tests/web/nav_fixture.h"

namespace pw::web::test {
namespace {

class WindowHelpersTest : public NavTest {
 protected:
  ~WindowHelpersTest() override { ClearProcessDescriptions(); }
  host::ScopedRunState run{host.RunState(), host::kRunStateRunning};
};

TEST_F(WindowHelpersTest, ActivatesTheNearestWindowWithItsTimeOutAtZero) {
  auto process = AddProcess(100);
  auto window = AddWindow(process, 0x10010, false, 9);
  auto control = window->AddChild(u"Button");
  EXPECT_TRUE(ActivateNodeWindow(Manager(), Node(control)));
  EXPECT_EQ(window->WindowActions(), (std::vector<WideString>{u"activate 0"}));
  EXPECT_EQ(window->WaitTimeout(), 9);  // put back
  window->SetMemberValue(u"Visible", OleVariant(false));
  EXPECT_FALSE(ActivateNodeWindow(Manager(), Node(window)));
  EXPECT_EQ(window->WindowActions().size(), 1u);
  EXPECT_EQ(window->WaitTimeout(), 9);
  EXPECT_FALSE(ActivateNodeWindow(Manager(), nullptr));
  host.RunState().SetState(GUID_NULL);
  window->SetMemberValue(u"Visible", OleVariant(true));
  EXPECT_FALSE(ActivateNodeWindow(Manager(), Node(window)));  // no test runs
}

TEST_F(WindowHelpersTest, ThePivotWindowRoad) {
  auto process = AddProcess(100);
  auto window = AddWindow(process, 0x10010, false);
  auto element = host.Sys().AddChild(u"Element");              // no window above it
  EXPECT_FALSE(ActivateNodeWindow(Manager(), Node(element)));  // and no pivot window either
  element->SetPivotWindow(0x10010);
  EXPECT_TRUE(ActivateNodeWindow(Manager(), Node(element)));
  EXPECT_EQ(window->WindowActions().size(), 1u);
  host.Windows().SetForegroundWindow(0x10010);  // already in front: nothing to do
  EXPECT_FALSE(ActivateNodeWindow(Manager(), Node(element)));
  EXPECT_EQ(window->WindowActions().size(), 1u);
  element->SetPivotWindow(0x10099);  // a window without a node
  EXPECT_FALSE(ActivateNodeWindow(Manager(), Node(element)));
  EXPECT_EQ(clock.Slept(), 0u);
}

TEST_F(WindowHelpersTest, ClosesFlaggedWindowsWithTheirKeystroke) {
  host.Processes().Add(
      {200, u"opera.exe", {}, {{0x20010, u"OperaWindowClass"}, {0x20020, u"#32770"}, {0x20030, u"Main"}}});
  auto process = host.Processes().Find(200)->Node();
  std::vector<WideString> keys;
  auto add = [&](std::int32_t handle) {
    auto w = AddWindow(process, handle, false, 4);
    w->SetMember(u"Keys", [&keys, handle, node = w.Get()](std::vector<OleVariant>& args) {
      keys.push_back(IntToWide(handle) + u" " + args.at(0).AsString() + u" " + IntToWide(node->WaitTimeout()));
      return OleVariant();
    });
    return w;
  };
  auto opera = add(0x20010), dialog = add(0x20020), main = add(0x20030);
  // The dialog's picture comes from the windows manager; the other window's picture fails.
  host.Windows().SetPictureSource([](std::int32_t window, std::int32_t) -> std::int32_t {
    if (window == 0x20010) throw EOleSysError(u"A dialog of the page is open", E_FAIL);
    return window == 0x20020 ? CreateBitmapOfSize(30, 20, {}) : 0;
  });
  host.Windows().SetWindowStateFlags(0x20010, 1);
  EXPECT_TRUE(CloseUnexpectedWindows(Manager(), 200));
  EXPECT_EQ(keys, (std::vector<WideString>{IntToWide(0x20010) + u" [Enter] 0", IntToWide(0x20020) + u" [Esc] 0"}));
  EXPECT_EQ(opera->WaitTimeout(), 4);
  EXPECT_EQ(opera->WindowActions(), (std::vector<WideString>{u"activate 0"}));
  EXPECT_TRUE(main->WindowActions().empty());
  auto entries = host.Log().Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Warning);
  EXPECT_EQ(entries[0].text, kCloseWithEnterText);
  EXPECT_EQ(entries[1].text, kCloseWithEscText);
  EXPECT_NE(entries[1].additionalText.find(u"Window"), WideString::npos);  // the node's name
  EXPECT_FALSE(entries[0].picture);  // no picture to be had: the warning without one
  ASSERT_TRUE(entries[1].picture);
  EXPECT_EQ(entries[1].pictureWidth, 30);
  EXPECT_EQ(entries[1].pictureHeight, 20);
  // Nothing flagged: nothing logged, False.
  host.Windows().SetWindowStateFlags(0x20010, 0);
  host.Windows().SetWindowStateFlags(0x20020, 2);
  EXPECT_FALSE(CloseUnexpectedWindows(Manager(), 200));
  EXPECT_EQ(host.Log().Entries().size(), 2u);
  // A keystroke that fails raises after the time-out is back.
  host.Windows().SetWindowStateFlags(0x20020, 1);
  dialog->SetMember(u"Keys", [](std::vector<OleVariant>&) -> OleVariant { throw EOleSysError(u"gone", E_FAIL); });
  EXPECT_THROW(CloseUnexpectedWindows(Manager(), 200), EOleSysError);
  EXPECT_EQ(dialog->WaitTimeout(), 4);
  EXPECT_FALSE(CloseUnexpectedWindows(Manager(), 999));  // a process without windows
}

}  // namespace
}  // namespace pw::web::test
