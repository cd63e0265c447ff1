// Messages to described windows and objects handed over in their answers.
#include "platform/ui/window_messages.h"

#include <gtest/gtest.h>

#include "platform/com/comobject.h"
#include "platform/com/comptr.h"
#include "platform/kernel/processes.h"

namespace pw {
namespace {

constexpr DWORD kProcess = 0x7A110;
constexpr HWND kFrame = 0x7A1100, kChild = 0x7A1101;

struct IThing : IUnknown {
  static constexpr IID iid = MakeGuid("{4C0B4C2E-0E53-4F53-9D0B-6C1C3E5F0A01}");
  using Inherited = IUnknown;
};
struct IOther : IUnknown {
  static constexpr IID iid = MakeGuid("{4C0B4C2E-0E53-4F53-9D0B-6C1C3E5F0A02}");
  using Inherited = IUnknown;
};
class TThing final : public Implements<ComObject, IThing> {};

class WindowMessages : public ::testing::Test {
 protected:
  void SetUp() override { DescribeProcess({kProcess, u"dialog.exe", {}, {{kFrame, u"Frame", {{kChild, u"Child"}}}}}); }
  void TearDown() override {
    SetWindowMessageHandler(kFrame, nullptr);
    SetWindowMessageHandler(kChild, nullptr);
    RemoveProcessDescription(kProcess);
  }
};

TEST_F(WindowMessages, AWindowAnswersThroughItsHandlerAndZeroWithout) {
  LRESULT answer = -1;
  EXPECT_TRUE(SendMessageTimeoutA(kChild, 0xC000, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer));
  EXPECT_EQ(answer, 0);  // no handler: the default answer

  unsigned seenMessage = 0;
  HWND seenWindow = 0;
  ASSERT_TRUE(SetWindowMessageHandler(kChild, [&](HWND w, unsigned m, WPARAM wp, LPARAM lp) -> LRESULT {
    seenWindow = w;
    seenMessage = m;
    return static_cast<LRESULT>(wp) + lp;
  }));
  EXPECT_TRUE(SendMessageTimeoutA(kChild, 0xC001, 40, 2, SMTO_NORMAL, 10, &answer));
  EXPECT_EQ(answer, 42);
  EXPECT_EQ(seenWindow, kChild);
  EXPECT_EQ(seenMessage, 0xC001u);
  EXPECT_TRUE(SendMessageTimeoutA(kFrame, 0xC001, 40, 2, SMTO_NORMAL, 10, &answer));
  EXPECT_EQ(answer, 0);  // the parent has no handler of its own

  // Replaced, then removed.
  ASSERT_TRUE(SetWindowMessageHandler(kChild, [](HWND, unsigned, WPARAM, LPARAM) -> LRESULT { return 7; }));
  EXPECT_TRUE(SendMessageTimeoutA(kChild, 1, 0, 0, 0, 0, &answer));
  EXPECT_EQ(answer, 7);
  EXPECT_TRUE(SetWindowMessageHandler(kChild, nullptr));
  EXPECT_TRUE(SendMessageTimeoutA(kChild, 1, 0, 0, 0, 0, &answer));
  EXPECT_EQ(answer, 0);
}

TEST_F(WindowMessages, NoWindowNoAnswerAndAGoneWindowsHandlerIsDropped) {
  LRESULT answer = -1;
  EXPECT_FALSE(SendMessageTimeoutA(0x7A11FF, 1, 0, 0, 0, 0, &answer));
  EXPECT_EQ(answer, 0);
  EXPECT_FALSE(SetWindowMessageHandler(0x7A11FF, [](HWND, unsigned, WPARAM, LPARAM) -> LRESULT { return 1; }));

  ASSERT_TRUE(SetWindowMessageHandler(kChild, [](HWND, unsigned, WPARAM, LPARAM) -> LRESULT { return 5; }));
  RemoveProcessDescription(kProcess);
  EXPECT_FALSE(SendMessageTimeoutA(kChild, 1, 0, 0, 0, 0, &answer));
  // Described again under the same numbers: the old handler went with the window.
  SetUp();
  EXPECT_TRUE(SendMessageTimeoutA(kChild, 1, 0, 0, 0, 0, &answer));
  EXPECT_EQ(answer, 0);
}

TEST_F(WindowMessages, AnObjectCrossesAnAnswerOnce) {
  auto thing = MakeObject<TThing>();
  const LRESULT answer = LresultFromObject(IThing::iid, 0, static_cast<IThing*>(thing.Get()));
  ASSERT_GT(answer, 0);
  ComPtr<IThing> taken;
  ASSERT_EQ(ObjectFromLresult(answer, IThing::iid, 0, taken.PutVoid()), S_OK);
  EXPECT_EQ(taken.Get(), static_cast<IThing*>(thing.Get()));
  ComPtr<IThing> again;
  EXPECT_EQ(ObjectFromLresult(answer, IThing::iid, 0, again.PutVoid()), E_INVALIDARG);  // taken already
  EXPECT_EQ(again.Get(), nullptr);

  // Asked as an interface it does not answer: refused, and the answer is gone all the same.
  const LRESULT second = LresultFromObject(IUnknown::iid, 0, static_cast<IThing*>(thing.Get()));
  ComPtr<IOther> other;
  EXPECT_EQ(ObjectFromLresult(second, IOther::iid, 0, other.PutVoid()), E_NOINTERFACE);
  EXPECT_EQ(ObjectFromLresult(second, IUnknown::iid, 0, other.PutVoid()), E_INVALIDARG);

  EXPECT_LT(LresultFromObject(IOther::iid, 0, static_cast<IThing*>(thing.Get())), 0);  // no such interface: a failure
  EXPECT_LT(LresultFromObject(IThing::iid, 0, nullptr), 0);
  EXPECT_EQ(ObjectFromLresult(0, IThing::iid, 0, taken.PutVoid()), E_INVALIDARG);
  EXPECT_EQ(taken.Get(), nullptr);
  EXPECT_EQ(ObjectFromLresult(E_FAIL, IThing::iid, 0, taken.PutVoid()), E_INVALIDARG);
  EXPECT_EQ(ObjectFromLresult(answer, IThing::iid, 0, nullptr), E_POINTER);
}

}  // namespace
}  // namespace pw
