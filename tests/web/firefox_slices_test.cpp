// The Firefox control slices over a described element (a scripted item table answering the
// browser-side DISPIDs), described windows of one browser process and the host's recording mouse:
// list box bounds, the combo box's drop-down click (and its search), XUL menu and tree actions.
#include "host/com_support.h"
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "core/automation/dispatch_helpers.h"
#include "core/host/module_proxy.h"
#include "host/browser/objects/input_actions.h"
#include "host/test_host.h"
#include "openapps/extensions/node_utils.h"
#include "platform/automation/bstr.h"
#include "platform/com/comobject.h"
#include "platform/kernel/processes.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "tests/support/stepping_clock.h"
#include "tests/web/module_library.h"
#include "web/controls/control_values.h"
#include "web/firefox/firefox_slices.h"
#include "web/navigation/web_helpers.h"

namespace pw::web {
namespace {

constexpr std::int32_t kProcessId = 4711;
constexpr std::int32_t kControlWindow = 0x1100, kDropDown = 0x1200, kMenuWindow = 0x1300, kTreeWindow = 0x1400;

// What the element's native object answers: the items (each a 80 x 20 row of the screen at
// (150, 100 + 20 i)), the menu item and the tree item of the next call; every browser-side call is
// recorded with its arguments as text.
class TFFElement final : public Implements<ComObject, IDispatch> {
 public:
  std::vector<WideString> items = {u"alpha", u"beta", u"gamma", u"delta"};
  std::vector<std::int32_t> disabled;
  bool enabled = true, giveBounds = true;
  HRESULT failWith = S_OK;  // a COM error of the browser-side calls
  // 0x0A900001 and 0x0A900002: found, window, point, flags.
  bool found = true, itemDisabled = false, canExpand = true, expanded = false, columnVisible = true;
  std::int32_t window = 0, x = -1, y = -1;
  std::vector<WideString> calls;

  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t, LCID, DISPID* ids) override {
    static const std::map<WideString, DISPID> kNames = {
        {u"LineCount", 1}, {u"LineText", 2}, {u"Enabled", 3}, {u"LineDisabled", 4}};
    auto at = kNames.find(names[0]);
    if (at == kNames.end()) return DISP_E_UNKNOWNNAME;
    ids[0] = at->second;
    return S_OK;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS* p, VARIANT* result, EXCEPINFO*,
                 std::uint32_t*) override {
    OleVariant value;
    auto arg = [&](std::uint32_t i) -> const VARIANT& { return VariantDeref(p->rgvarg[p->cArgs - 1 - i]); };
    auto setInt = [&](std::uint32_t i, std::int32_t v) {
      *static_cast<std::int32_t*>(p->rgvarg[p->cArgs - 1 - i].byref) = v;
    };
    auto setBool = [&](std::uint32_t i, bool v) {
      *static_cast<VARIANT_BOOL*>(p->rgvarg[p->cArgs - 1 - i].byref) = v ? VARIANT_TRUE : VARIANT_FALSE;
    };
    auto text = [](const VARIANT& v) {
      OleVariant t;
      VariantChangeType(t.Ptr(), &v, 0, VT_BSTR);
      return WideString(BstrView(t.Get().bstrVal));
    };
    switch (id) {
      case 1: value = OleVariant(static_cast<std::int32_t>(items.size())); break;
      case 2: value = OleVariant(items.at(static_cast<std::size_t>(arg(0).lVal))); break;
      case 3: value = OleVariant(enabled); break;
      case 4: value = OleVariant(std::find(disabled.begin(), disabled.end(), arg(0).lVal) != disabled.end()); break;
      case kFFItemBoundsDispId: {
        if (p->cArgs != 5) return DISP_E_BADPARAMCOUNT;
        calls.push_back(u"bounds " + text(arg(0)));
        if (Failed(failWith)) return failWith;
        const std::int32_t i = arg(0).lVal;
        setInt(1, 150), setInt(2, 100 + 20 * i), setInt(3, 80), setInt(4, 20);
        value = OleVariant(giveBounds && i >= 0 && i < static_cast<std::int32_t>(items.size()));
        break;
      }
      case kFFMenuItemDispId: {
        if (p->cArgs != 5 || arg(0).vt != VT_BSTR) return DISP_E_BADPARAMCOUNT;
        calls.push_back(u"menu " + text(arg(0)));
        if (Failed(failWith)) return failWith;
        setInt(1, window), setInt(2, x), setInt(3, y), setBool(4, itemDisabled);
        value = OleVariant(found);
        break;
      }
      case kFFTreeItemDispId: {
        if (p->cArgs != 10 || p->rgvarg[3].vt != (VT_BYREF | VT_VARIANT)) return DISP_E_BADPARAMCOUNT;
        calls.push_back(u"tree " + text(arg(0)) + u" " + text(arg(1)) + u" " + text(arg(2)));
        if (Failed(failWith)) return failWith;
        setInt(3, x), setInt(4, y), setInt(5, window);
        setBool(7, canExpand), setBool(8, expanded), setBool(9, columnVisible);
        value = OleVariant(found);
        break;
      }
      default: return DISP_E_MEMBERNOTFOUND;
    }
    if (result) *result = value.Detach();
    return S_OK;
  }
};

class TElementContext final : public Implements<ComObject, IpwObjectContext2> {
 public:
  ComPtr<IDispatch> object;
  HRESULT IsValid(VARIANT_BOOL* v) override {
    *v = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT Renew(IUnknown**, GUID*, IpwObjectContext2**, VARIANT_BOOL*) override { return E_NOTIMPL; }
  PW_OBJECT_CONTEXT2_DEFAULTS
  HRESULT GetObject(IDispatch** o) override {
    *o = object.Get();
    if (*o) (*o)->AddRef();
    return S_OK;
  }
};

class FirefoxSlices : public ::testing::Test {
 protected:
  FirefoxSlices() : scopedClock_(clock_) {
    SetHostExeFolderOverride(Utf8ToWide(PW_TEST_HOST_DIR));
    host::TestHostOptions options;
    options.interactive = false;
    host_ = std::make_unique<host::TestHost>(options);
    library_ = std::make_unique<test::ScopedModuleLibrary>();
    element_ = MakeObject<TFFElement>();
    context_ = MakeObject<TElementContext>();
    context_->object = ComPtr<IDispatch>(static_cast<IDispatch*>(element_.Get()));
    // The browser's windows, in the order the process lists them: the page window, then the
    // drop-down (a text-less window) and the menu and tree windows.
    DescribeWindows({{kControlWindow, u"MozillaWindowClass"},
                     {kDropDown, u"MozillaWindowClass"},
                     {kMenuWindow, u"MozillaWindowClass"},
                     {kTreeWindow, u"MozillaWindowClass"}});
    auto& windows = host_->Windows();
    windows.SetWindowRects(kControlWindow, {100, 50, 900, 650}, {108, 80, 892, 642});
    windows.SetWindowText(kControlWindow, u"Page - Browser");
    windows.SetWindowRects(kDropDown, {150, 100, 230, 200}, {150, 100, 230, 200});
    windows.SetWindowRects(kMenuWindow, {300, 200, 400, 300}, {300, 200, 400, 300});
    windows.SetWindowText(kMenuWindow, u"menu");
    windows.SetWindowRects(kTreeWindow, {0, 0, 500, 500}, {0, 0, 500, 500});
    windows.SetWindowText(kTreeWindow, u"tree");
    auto window = host_->Sys().AddChild(u"Process", {OleVariant(u"firefox")})->AddChild(u"Window");
    window->SetWindowHandle(kControlWindow);
    node_ = window->AddChild(u"Element");
    node_->SetMember(u"Click", [this](std::vector<OleVariant>&) {
      ++nodeClicks_;
      timeoutsSeen_.push_back(node_->WaitTimeout());
      if (clickRaises_) throw EOleSysError(u"The element cannot be clicked", E_FAIL);
      if (nodeClicks_ >= clicksToOpen_) host_->Windows().SetWindowState(kDropDown, true, true);
      return OleVariant();
    });
    node_->SetWaitTimeout(5000);
    host_->Windows().SetWindowState(kDropDown, true, false);  // closed until the element is clicked
  }
  ~FirefoxSlices() override {
    RemoveProcessDescription(kProcessId);
    library_.reset();
    host_.reset();
    StopHelperModules();
    SetHostExeFolderOverride(u"");
  }
  void DescribeWindows(std::vector<WindowDescription> windows) {
    DescribeProcess({static_cast<DWORD>(kProcessId), u"firefox.exe", {u"xul.dll"}, std::move(windows)});
  }
  template <class T>
  ComPtr<T> Make() {
    auto control = MakeObject<T>(host_->Manager(), context_.Get());
    EXPECT_EQ(control->AttachNode(static_cast<IpwSysNodeEx*>(node_.Get())), S_OK);
    return control;
  }
  // The log's entries after those already looked at.
  std::vector<host::LogEntry> Entries() const {
    auto all = host_->Log().Entries();
    return {all.begin() + static_cast<std::ptrdiff_t>(logFrom_), all.end()};
  }
  // The mouse's actions as "window action x y shift" (action: move, click, clickM ...).
  std::vector<std::string> Mouse() const {
    static const std::map<DISPID, std::string> kNames = {
        {host::kActionClick, "click"},         {host::kActionClickM, "clickM"},
        {host::kActionClickR, "clickR"},       {host::kActionDblClick, "dblClick"},
        {host::kActionDblClickM, "dblClickM"}, {host::kActionDblClickR, "dblClickR"},
        {host::kActionHoverMouse, "move"}};
    std::vector<std::string> out;
    const auto actions = host_->Input().Actions();
    for (std::size_t i = mouseFrom_; i < actions.size(); ++i) {
      const auto& a = actions[i];
      out.push_back(std::to_string(a.window) + " " + kNames.at(a.action) + " " + std::to_string(a.x) + " " +
                    std::to_string(a.y) + (a.action == host::kActionHoverMouse ? "" : " " + std::to_string(a.shift)));
    }
    return out;
  }
  WideString FullName() {
    WideString name;
    GetSysNodeFullName(host_->Manager(), static_cast<IpwSysNodeEx*>(node_.Get()), name);
    return name;
  }

  pw::test::SteppingClock clock_;
  ScopedClock scopedClock_;
  std::unique_ptr<host::TestHost> host_;
  std::unique_ptr<test::ScopedModuleLibrary> library_;
  ComPtr<TFFElement> element_;
  ComPtr<TElementContext> context_;
  ComPtr<host::TSysNode> node_;
  std::size_t logFrom_ = 0, mouseFrom_ = 0;  // the mouse's actions before this one are not looked at
  int nodeClicks_ = 0, clicksToOpen_ = 1;
  bool clickRaises_ = false;
  std::vector<std::int32_t> timeoutsSeen_;
};

std::string Text(const WideString& s) { return WideToUtf8(s); }

std::string Text(const TRect& r) {
  return std::to_string(r.Left) + " " + std::to_string(r.Top) + " " + std::to_string(r.Right) + " " +
         std::to_string(r.Bottom);
}

// ---- List box -------------------------------------------------------------------------------

TEST_F(FirefoxSlices, ListBoxBoundsAreRelativeToTheWindowAndTheControlsClientArea) {
  auto box = Make<TpwFFListBoxElement>();
  TRect controlRect, windowRect;
  std::int32_t window = 0;
  ASSERT_TRUE(box->GetItemRect(OleVariant(u"gamma").Get(), controlRect, false, windowRect, window));
  EXPECT_EQ(window, kControlWindow);
  // screen (150, 140, 230, 160) less the window's corner (100, 50), then its client offset (8, 30)
  EXPECT_EQ(Text(windowRect), "50 90 130 110");
  EXPECT_EQ(Text(controlRect), "42 60 122 80");
  EXPECT_EQ(element_->calls, std::vector<WideString>{u"bounds 2"});

  // A script's wItemBounds answers the control rectangle; ClickItem clicks the window point.
  ComPtr<IDispatch> bounds;
  ASSERT_EQ(box->get_wItemBounds(OleVariant(1).Get(), bounds.Put()), S_OK);
  ASSERT_TRUE(bounds);
  EXPECT_EQ(ToInt(DispGetProperty(bounds.Get(), u"Top", OleVariant()), -1), 40);
  ASSERT_EQ(box->ClickItem(OleVariant(u"alpha").Get(), 0), S_OK);
  EXPECT_EQ(Mouse(), std::vector<std::string>{std::to_string(kControlWindow) + " click 90 60 0"});
}

TEST_F(FirefoxSlices, ListBoxMissingItemWritesTheErrorWithTheCountAndGivesNoBounds) {
  auto box = Make<TpwFFListBoxElement>();
  TRect controlRect, windowRect;
  std::int32_t window = 0;
  EXPECT_FALSE(box->GetItemRect(OleVariant(u"omega").Get(), controlRect, false, windowRect, window));
  EXPECT_TRUE(element_->calls.empty());  // the browser is not asked for an item that is not there
  element_->giveBounds = false;
  EXPECT_FALSE(box->GetItemRect(OleVariant(0).Get(), controlRect, false, windowRect, window));
  auto entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Error);
  EXPECT_EQ(Text(entries[0].text), "The listbox item 'omega' not found.");
  EXPECT_EQ(entries[0].additionalText, u"Total number of items: 4.\r\n\r\n" + FullName());
}

// ---- Combo box ------------------------------------------------------------------------------

TEST_F(FirefoxSlices, ComboClicksTheItemInTheOpenDropDown) {
  auto combo = Make<TpwFFComboElement>();
  ASSERT_EQ(combo->ClickItem(OleVariant(u"gamma").Get()), S_OK);
  EXPECT_EQ(nodeClicks_, 1);                               // the drop-down opened at the first click
  EXPECT_EQ(timeoutsSeen_, std::vector<std::int32_t>{0});  // no waiting while it opens
  EXPECT_EQ(node_->WaitTimeout(), 5000);
  // item 2's centre (190, 150) lies in the drop-down at (150, 100): its point (40, 50)
  const std::string dd = std::to_string(kDropDown);
  EXPECT_EQ(Mouse(), (std::vector<std::string>{dd + " move 40 50", dd + " click 40 50 0"}));
  EXPECT_EQ(element_->calls, std::vector<WideString>{u"bounds 2"});
  auto entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Event);
  EXPECT_EQ(Text(entries[0].text), "The combo box item 'gamma' was selected.");
}

TEST_F(FirefoxSlices, ComboClicksOnceMoreWhenTheDropDownDidNotOpen) {
  clicksToOpen_ = 2;
  auto combo = Make<TpwFFComboElement>();
  ASSERT_EQ(combo->ClickItem(OleVariant(0).Get()), S_OK);
  EXPECT_EQ(nodeClicks_, 2);
  EXPECT_EQ(timeoutsSeen_, (std::vector<std::int32_t>{0, 0}));
  EXPECT_EQ(node_->WaitTimeout(), 5000);
  EXPECT_EQ(Mouse().back(), std::to_string(kDropDown) + " click 40 10 0");
}

TEST_F(FirefoxSlices, ComboPutsTheWaitTimeoutBackWhenTheOpeningClickRaises) {
  clickRaises_ = true;
  auto combo = Make<TpwFFComboElement>();
  EXPECT_TRUE(Failed(combo->ClickItem(OleVariant(1).Get())));
  EXPECT_EQ(timeoutsSeen_, std::vector<std::int32_t>{0});
  EXPECT_EQ(node_->WaitTimeout(), 5000);
  EXPECT_TRUE(Mouse().empty());
}

TEST_F(FirefoxSlices, ComboClicksInItsOwnWindowWhenNoDropDownHoldsThePoint) {
  element_->items.push_back(u"far down");  // item 4 at (190, 190): below the drop-down's point test
  host_->Windows().SetPointTest(kDropDown, [](std::int32_t x, std::int32_t y) { return y < 60; });
  auto combo = Make<TpwFFComboElement>();
  ASSERT_EQ(combo->ClickItem(OleVariant(u"far").Get()), S_OK);
  // (190, 190) less the page window's corner (100, 50)
  EXPECT_EQ(Mouse().back(), std::to_string(kControlWindow) + " click 90 140 0");
}

TEST_F(FirefoxSlices, ComboRefusalsWriteOneErrorAndClickNothing) {
  struct Case {
    const char* name;
    OleVariant item;
    std::vector<std::int32_t> disabled;
    bool giveBounds;
    const char* error;
    const char* details;  // before the node's full name; null: the name alone
  };
  const Case cases[] = {
      {"missing", OleVariant(u"omega"), {}, true, "The combo box item 'omega' not found.", "Total number of items: 4."},
      {"disabled", OleVariant(u"beta"), {1}, true, "The combo box item 'beta' is disabled.", nullptr},
      {"no bounds", OleVariant(3), {}, false, "Cannot perform the ClickItem operation.", nullptr},
  };
  auto combo = Make<TpwFFComboElement>();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    logFrom_ = host_->Log().Entries().size();
    mouseFrom_ = host_->Input().Actions().size();
    element_->disabled = c.disabled;
    element_->giveBounds = c.giveBounds;
    const int clicksBefore = nodeClicks_;
    ASSERT_EQ(combo->ClickItem(c.item.Get()), S_OK);
    auto entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, host::LogEntry::Error);
    EXPECT_EQ(Text(entries[0].text), c.error);
    EXPECT_EQ(entries[0].additionalText, c.details ? Utf8ToWide(c.details) + u"\r\n\r\n" + FullName() : FullName());
    EXPECT_TRUE(Mouse().empty());
    if (!c.giveBounds) EXPECT_EQ(nodeClicks_, clicksBefore + 1);  // opened, then nothing to click
    else EXPECT_EQ(nodeClicks_, clicksBefore);
  }
}

TEST_F(FirefoxSlices, ComboWhoseWindowIsGoneDoesNothing) {
  host_->Windows().SetWindowState(kControlWindow, false, false);
  auto combo = Make<TpwFFComboElement>();
  ASSERT_EQ(combo->ClickItem(OleVariant(u"omega").Get()), S_OK);
  EXPECT_TRUE(Entries().empty());
  EXPECT_EQ(nodeClicks_, 0);
}

// The drop-down is the first window of the control window's process that is of the exact class,
// without text, visible (its visible first child instead) and whose point test answers True.
TEST_F(FirefoxSlices, DropDownSearchTakesTheFirstWindowThatPassesEveryTest) {
  constexpr std::int32_t kWrongCase = 0x2001, kWithText = 0x2002, kHidden = 0x2003, kParent = 0x2004, kChild = 0x2005,
                         kPlain = 0x2006;
  DescribeWindows({{kControlWindow, u"MozillaWindowClass"},
                   {kWrongCase, u"mozillawindowclass"},
                   {kWithText, u"MozillaWindowClass"},
                   {kHidden, u"MozillaWindowClass"},
                   {kParent, u"MozillaWindowClass", {{kChild, u"MozillaWindowClass"}}},
                   {kPlain, u"MozillaWindowClass"}});
  auto& windows = host_->Windows();
  for (std::int32_t w : {kWrongCase, kWithText, kHidden, kParent, kPlain})
    windows.SetWindowRects(w, {0, 0, 100, 100}, {0, 0, 100, 100});
  windows.SetWindowRects(kChild, {10, 10, 50, 50}, {10, 10, 50, 50});
  windows.SetWindowText(kWithText, u"Title");
  windows.SetWindowState(kHidden, true, false);
  auto combo = Make<TpwFFComboElement>();
  struct Case {
    const char* name;
    std::int32_t x, y;
    bool childVisible;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"the centre: the visible child of the first candidate", -1, -1, true, kChild},
      {"a point inside the child", 20, 20, true, kChild},
      {"a point outside the child", 70, 70, true, kPlain},
      {"a hidden child leaves its parent", 70, 70, false, kParent},
      {"a point on no window", 500, 500, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    windows.SetWindowState(kChild, true, c.childVisible);
    EXPECT_EQ(FindFFDropDownWindow(*combo, c.x, c.y), c.expected);
  }
  // Every earlier window was a candidate the point test would have taken: only the tests above
  // left them out.
  windows.SetWindowText(kWithText, u"");
  EXPECT_EQ(FindFFDropDownWindow(*combo, -1, -1), kWithText);
}

// ---- XUL menu -------------------------------------------------------------------------------

TEST_F(FirefoxSlices, MenuClicksTheItemOfThePathAndNamesItByItsLastPart) {
  element_->window = kMenuWindow, element_->x = 320, element_->y = 230;
  auto menu = Make<TpwFFXULMenuElement>();
  BString path(u"File|Open");
  ASSERT_EQ(menu->ClickItem(path.Get()), S_OK);
  EXPECT_EQ(element_->calls, std::vector<WideString>{u"menu File|Open"});
  const std::string w = std::to_string(kMenuWindow);
  EXPECT_EQ(Mouse(), (std::vector<std::string>{w + " move 20 30", w + " click 20 30 0"}));
  EXPECT_GE(clock_.Slept(), 100u);
  auto entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, host::LogEntry::Event);
  EXPECT_EQ(Text(entries[0].text), "The menu item 'Open' was clicked with the left mouse button.");

  // The parent's point click: an empty path, the point added to the item's.
  mouseFrom_ = host_->Input().Actions().size();
  ASSERT_EQ(menu->Click(5, 6, 0), S_OK);
  EXPECT_EQ(element_->calls.back(), u"menu ");
  EXPECT_EQ(Mouse().back(), w + " click 25 36 0");
}

TEST_F(FirefoxSlices, MenuRefusals) {
  struct Case {
    const char* name;
    bool found, disabled;
    std::int32_t window;
    bool windowVisible;
    HRESULT failWith;
    const char* error;
    const char* details;
  };
  const Case cases[] = {
      {"disabled", true, true, kMenuWindow, true, S_OK, "The menu item 'Open' is disabled.", nullptr},
      {"no window", false, false, -1, true, S_OK, "The control item 'Open' not found.", nullptr},
      {"open menu without it", false, false, kMenuWindow, true, S_OK, "The control item 'Open' not found.", nullptr},
      {"closed popup", false, false, kMenuWindow, false, S_OK, "Cannot obtain the popup menu.",
       "Possible reason: There was no click that invokes the popup menu."},
      {"COM error", true, false, kMenuWindow, true, DISP_E_EXCEPTION, "The control item 'Open' not found.", nullptr},
  };
  auto menu = Make<TpwFFXULMenuElement>();
  BString path(u"File|Open");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    logFrom_ = host_->Log().Entries().size();
    element_->found = c.found, element_->itemDisabled = c.disabled, element_->window = c.window;
    element_->failWith = c.failWith;
    host_->Windows().SetWindowState(kMenuWindow, true, c.windowVisible);
    ASSERT_EQ(menu->ClickItem(path.Get()), S_OK);
    auto entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, host::LogEntry::Error);
    EXPECT_EQ(Text(entries[0].text), c.error);
    EXPECT_EQ(entries[0].additionalText, c.details ? Utf8ToWide(c.details) + u"\r\n\r\n" + FullName() : FullName());
    EXPECT_TRUE(Mouse().empty());
  }
}

TEST_F(FirefoxSlices, DisabledMenuAsksNothing) {
  element_->enabled = false;
  auto menu = Make<TpwFFXULMenuElement>();
  BString path(u"File|Open");
  ASSERT_EQ(menu->ClickItem(path.Get()), S_OK);
  EXPECT_TRUE(element_->calls.empty());
  ASSERT_EQ(Entries().size(), 1u);
  EXPECT_EQ(Entries()[0].text, kWebControlDisabledText);
}

// ---- XUL tree -------------------------------------------------------------------------------

TEST_F(FirefoxSlices, TreeMembersClickByButtonAndAction) {
  element_->window = kTreeWindow, element_->x = 40, element_->y = 60;
  auto tree = Make<TpwFFXULTreeElement>();
  using Member = HRESULT (TpwFFXULTreeElement::*)(const VARIANT&, const VARIANT&, std::int32_t);
  struct Case {
    Member member;
    OleVariant item;
    const char* action;  // the mouse action
    const char* call;    // the browser-side call: item, column, action
    const char* text;
  };
  const Case cases[] = {
      {&TpwFFXULTreeElement::ClickItem, OleVariant(u"Inbox"), "click", "tree Inbox Name 0",
       "The tree item 'Inbox' was clicked with the left mouse button."},
      {&TpwFFXULTreeElement::ClickItemR, OleVariant(3), "clickR", "tree 3 Name 0",
       "The tree item 3 was clicked with the right mouse button."},
      {&TpwFFXULTreeElement::ClickItemM, OleVariant(u"Inbox"), "clickM", "tree Inbox Name 0",
       "The tree item 'Inbox' was clicked with the middle mouse button."},
      {&TpwFFXULTreeElement::DblClickItem, OleVariant(u"Inbox"), "dblClick", "tree Inbox Name 1",
       "The tree item 'Inbox' was double-clicked with the left mouse button."},
      {&TpwFFXULTreeElement::DblClickItemR, OleVariant(u"Inbox"), "dblClickR", "tree Inbox Name 1",
       "The tree item 'Inbox' was double-clicked with the right mouse button."},
      {&TpwFFXULTreeElement::DblClickItemM, OleVariant(3), "dblClickM", "tree 3 Name 1",
       "The tree item 3 was double-clicked with the middle mouse button."},
  };
  const std::string w = std::to_string(kTreeWindow);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    logFrom_ = host_->Log().Entries().size();
    mouseFrom_ = host_->Input().Actions().size();
    element_->calls.clear();
    ASSERT_EQ((tree.Get()->*c.member)(c.item.Get(), OleVariant(u"Name").Get(), 0x2000), S_OK);
    EXPECT_EQ(element_->calls, std::vector<WideString>{Utf8ToWide(c.call)});
    EXPECT_EQ(Mouse(), (std::vector<std::string>{w + " move 40 60", w + " " + c.action + " 40 60 8192"}));
    auto entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, host::LogEntry::Event);
    EXPECT_EQ(Text(entries[0].text), c.text);
    EXPECT_EQ(entries[0].additionalText,
              u"Click at the point (40, 60) with " + FormatShiftKeys(0x2000) + u" key pressed.\r\n\r\n" + FullName());
  }
}

TEST_F(FirefoxSlices, TreeExpandAndCollapseStates) {
  struct Case {
    const char* name;
    bool expand;
    bool canExpand, expanded, found;
    std::int32_t x;
    const char* text;
    host::LogEntry::Kind kind;
  };
  const Case cases[] = {
      {"expand inside the browser", true, true, false, true, -1, "The tree item 'Inbox' was expanded.",
       host::LogEntry::Event},
      {"collapse inside the browser", false, true, true, true, -1, "The tree item 'Inbox' was collapsed.",
       host::LogEntry::Event},
      {"already expanded", true, true, true, true, 40, "The tree item 'Inbox' is already expanded.",
       host::LogEntry::Error},
      {"already collapsed", false, true, false, true, 40, "The tree item 'Inbox' is already collapsed.",
       host::LogEntry::Error},
      {"a leaf", true, false, false, true, 40, "The tree item 'Inbox' cannot be expanded or collapsed.",
       host::LogEntry::Error},
      {"missing", true, true, false, false, 40, "The control item 'Inbox' not found.", host::LogEntry::Error},
  };
  auto tree = Make<TpwFFXULTreeElement>();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    logFrom_ = host_->Log().Entries().size();
    element_->calls.clear();
    element_->canExpand = c.canExpand, element_->expanded = c.expanded, element_->found = c.found;
    element_->window = kTreeWindow, element_->x = c.x, element_->y = c.x;
    const OleVariant item(u"Inbox");
    ASSERT_EQ(c.expand ? tree->ExpandItem(item.Get()) : tree->CollapseItem(item.Get()), S_OK);
    EXPECT_EQ(element_->calls, std::vector<WideString>{c.expand ? u"tree Inbox Expand 2" : u"tree Inbox Collapse 3"});
    auto entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, c.kind);
    EXPECT_EQ(Text(entries[0].text), c.text);
    EXPECT_TRUE(Mouse().empty());
  }
}

TEST_F(FirefoxSlices, TreeColumnOffScreenAndCOMErrors) {
  element_->window = kTreeWindow, element_->x = 40, element_->y = 60;
  auto tree = Make<TpwFFXULTreeElement>();
  element_->columnVisible = false;
  ASSERT_EQ(tree->ClickItem(OleVariant(2).Get(), OleVariant(u"Size").Get(), 0), S_OK);
  element_->columnVisible = true;
  element_->failWith = E_FAIL;
  ASSERT_EQ(tree->ClickItem(OleVariant(2).Get(), OleVariant(u"Size").Get(), 0), S_OK);
  auto entries = Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(Text(entries[0].text), "The column 'Size' is not visible on screen.");
  EXPECT_EQ(Text(entries[1].text), "The control item 2 not found.");
  EXPECT_TRUE(Mouse().empty());
}

// ---- Creation -------------------------------------------------------------------------------

TEST_F(FirefoxSlices, CreationFunctionsGiveScriptObjectsWithTheirMembers) {
  struct Case {
    ComPtr<IDispatch> (*create)(IcvBaseManager*, IpwObjectContext2*);
    IID iid;
    const char16_t* member;
  };
  const Case cases[] = {
      {&CreateFFListBoxElement, IpwWebListBoxControl::iid, u"wItemBounds"},
      {&CreateFFComboElement, IpwComboBoxActions::iid, u"ClickItem"},
      {&CreateFFXULMenuElement, IpwWebContainer::iid, u"ClickItem"},
      {&CreateFFXULTreeElement, IpwWebTreeControl::iid, u"ExpandItem"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Text(c.member));
    auto slice = c.create(host_->Manager(), context_.Get());
    ASSERT_TRUE(slice);
    EXPECT_TRUE(QueryAs<IpwNodeSlice>(slice.Get()));
    ComPtr<IUnknown> own;
    EXPECT_EQ(slice->QueryInterface(c.iid, reinterpret_cast<void**>(own.Put())), S_OK);
    const char16_t* names[] = {c.member};
    DISPID id = 0;
    EXPECT_EQ(slice->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), S_OK);
  }
}

}  // namespace
}  // namespace pw::web
