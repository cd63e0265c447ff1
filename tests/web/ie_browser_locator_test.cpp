// The server window of a browser or a dialog frame, and the document its window hands over, on
// windows described in the platform's window model.
#include <gtest/gtest.h>

#include "platform/com/comobject.h"
#include "platform/kernel/processes.h"
#include "platform/rtl/strings.h"
#include "platform/ui/window_messages.h"
#include "web/events/ie_browser_locator.h"

namespace pw::web {
namespace {

// A browser that answers only "HWND" (or fails it).
class THwndBrowser final : public Implements<ComObject, IDispatch> {
 public:
  explicit THwndBrowser(HWND window, bool fails = false) : window_(window), fails_(fails) {}
  HRESULT GetTypeInfoCount(std::uint32_t* count) override { return *count = 0, S_OK; }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t, LCID, DISPID* ids) override {
    if (WideStringView(names[0]) != u"HWND") return DISP_E_UNKNOWNNAME;
    ids[0] = -515;
    return S_OK;
  }
  HRESULT Invoke(DISPID, const IID&, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, std::uint32_t*) override {
    if (fails_) return E_FAIL;
    if (result) *result = OleVariant(static_cast<std::int32_t>(window_)).Detach();
    return S_OK;
  }

 private:
  HWND window_;
  bool fails_;
};

class TDocument final : public Implements<ComObject, IDispatch> {
 public:
  HRESULT GetTypeInfoCount(std::uint32_t* count) override { return *count = 0, S_OK; }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const*, std::uint32_t, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID, const IID&, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, std::uint32_t*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
};

ComPtr<IDispatch> Browser(HWND window, bool fails = false) {
  return ComPtr<IDispatch>(MakeObject<THwndBrowser>(window, fails).Get());
}

constexpr DWORD kProcess = 0x7E00;
constexpr HWND kBrowser = 0x7E0000, kPlain = 0x7E0100, kDialog = 0x7E0200, kEmptyDialog = 0x7E0300,
               kOtherFrame = 0x7E0400;

class IEBrowserLocator : public ::testing::Test {
 protected:
  void SetUp() override {
    // A browser whose first child's descendant comes before its second child; a frame without
    // a server window; two dialog frames (one without a server); a server under another frame.
    DescribeProcess({kProcess,
                     u"iexplore.exe",
                     {},
                     {{kBrowser,
                       u"IEFrame",
                       {{kBrowser + 1, u"Shell DocObject View", {{kBrowser + 2, u"Internet Explorer_Server_2"}}},
                        {kBrowser + 3, u"Internet Explorer_Server"}}},
                      {kPlain, u"IEFrame", {{kPlain + 1, u"Shell DocObject View"}}},
                      {kDialog, u"INTERNET EXPLORER_TRIDENTDLGFRAME", {{kDialog + 1, u"internet explorer_server"}}},
                      {kEmptyDialog, u"Internet Explorer_TridentDlgFrame", {}},
                      {kOtherFrame, u"Internet Explorer_Hidden", {{kOtherFrame + 1, u"Internet Explorer_Server"}}}}});
  }
  void TearDown() override {
    SetWindowMessageHandler(kDialog + 1, nullptr);
    RemoveProcessDescription(kProcess);
  }
};

TEST_F(IEBrowserLocator, ServerClassComparesItsFirst24CharactersIgnoringCase) {
  struct Case {
    const char16_t* name;
    bool server;
  } cases[] = {
      {u"Internet Explorer_Server", true},   {u"internet explorer_SERVER", true}, {u"Internet Explorer_Server2", true},
      {u"Internet Explorer_Serve", false},   {u"Shell DocObject View", false},    {u"", false},
      {u" Internet Explorer_Server", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsIEServerClass(c.name), c.server) << WideToUtf8(c.name);
}

TEST_F(IEBrowserLocator, TheServerWindowIsTheFirstDescendantDepthFirst) {
  EXPECT_EQ(FindIEServerWindow(Browser(kBrowser).Get()), kBrowser + 2);
  EXPECT_EQ(FindIEServerWindow(Browser(kPlain).Get()), 0u);          // none below it
  EXPECT_EQ(FindIEServerWindow(Browser(0x7E0F00).Get()), 0u);        // no window
  EXPECT_EQ(FindIEServerWindow(Browser(kBrowser, true).Get()), 0u);  // "HWND" fails
  EXPECT_EQ(FindIEServerWindow(nullptr), 0u);
  EXPECT_EQ(GetBrowserWindowHandle(Browser(kPlain).Get()), kPlain);
}

TEST_F(IEBrowserLocator, DialogServerWindowsAreThoseOfDialogFramesOnly) {
  EXPECT_EQ(DialogServerWindows(), std::vector<HWND>{kDialog + 1});
}

TEST_F(IEBrowserLocator, TheDocumentComesFromTheServerWindowsAnswer) {
  const HWND server = kDialog + 1;
  EXPECT_FALSE(GetDocumentOfWindow(server));    // no handler: answer 0
  EXPECT_FALSE(GetDocumentOfWindow(0x7E0F00));  // no window
  auto document = MakeObject<TDocument>();
  const unsigned getObject = RegisterWindowMessageA(kHtmlGetObjectMessage);
  ASSERT_TRUE(SetWindowMessageHandler(server, [&](HWND, unsigned message, WPARAM wParam, LPARAM) -> LRESULT {
    return message == getObject ? LresultFromObject(IDispatch::iid, wParam, static_cast<IDispatch*>(document.Get()))
                                : 0;
  }));
  auto got = GetDocumentOfWindow(server);
  EXPECT_EQ(got.Get(), static_cast<IDispatch*>(document.Get()));
  // An answer that hands over no object.
  ASSERT_TRUE(SetWindowMessageHandler(server, [](HWND, unsigned, WPARAM, LPARAM) -> LRESULT { return 123456789; }));
  EXPECT_FALSE(GetDocumentOfWindow(server));
}

}  // namespace
}  // namespace pw::web
