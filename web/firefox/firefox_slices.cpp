#include "web/firefox/firefox_slices.h"

#include <string>

#include "core/automation/dispatch_helpers.h"
#include "core/host/module_proxy.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/kernel/clock.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "web/controls/control_values.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/web_helpers.h"

namespace pw::web {

namespace {

// The members of the input service's actions object (the host's mouse).
constexpr DISPID kMouseClick = 0x2028001, kMouseClickM = 0x2028002, kMouseClickR = 0x2028003,
                 kMouseDblClick = 0x2028004, kMouseDblClickM = 0x2028005, kMouseDblClickR = 0x2028006,
                 kMouseMove = 0x2028010;

// The mouse buttons by code, as the log names them.
constexpr const char16_t* kButtonNames[] = {u"left", u"middle", u"right"};

WideString Number(std::int64_t n) { return IntToWide(n); }

bool IsTrue(const VARIANT& value) {
  OleVariant b;
  return Succeeded(VariantChangeType(b.Ptr(), &value, 0, VT_BOOL)) && b.Get().boolVal != VARIANT_FALSE;
}

// A text between single quotes, anything else as its number (or its text).
WideString Designation(const VARIANT& item) {
  const VARIANT& v = VariantDeref(item);
  if (v.vt == VT_BSTR) return u"'" + WideString(BstrView(v.bstrVal)) + u"'";
  return ToText(OleVariant(v));
}

OleVariant ValueOf(const VARIANT& item) {
  OleVariant value;
  OleCheck(VariantCopyInd(value.Ptr(), &item));
  return value;
}

// A method of the native object by DISPID; args in call order. False when the call fails with a
// COM error (the item counts as missing) or answers anything but True.
bool CallNative(IDispatch* native, DISPID id, VARIANT* argsInCallOrder, std::uint32_t count) {
  std::vector<VARIANT> reversed(argsInCallOrder, argsInCallOrder + count);
  for (std::uint32_t i = 0; i < count; ++i) reversed[i] = argsInCallOrder[count - 1 - i];
  DISPPARAMS params{reversed.data(), nullptr, count, 0};
  VARIANT result;
  VariantInit(&result);
  const HRESULT hr = native->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
  OleVariant answer = OleVariant::Attach(result);
  return Succeeded(hr) && IsTrue(answer.Get());
}

VARIANT IntRef(std::int32_t* value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_I4;
  v.byref = value;
  return v;
}

VARIANT BoolRef(VARIANT_BOOL* value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_BOOL;
  v.byref = value;
  return v;
}

// 0x0A500001: the item's screen rectangle (Left, Top, Left + Width, Top + Height).
bool ItemBoundsOf(IDispatch* native, std::int32_t index, TRect& rect) {
  std::int32_t left = 0, top = 0, width = 0, height = 0;
  VARIANT args[5] = {OleVariant(index).Detach(), IntRef(&left), IntRef(&top), IntRef(&width), IntRef(&height)};
  if (!CallNative(native, kFFItemBoundsDispId, args, 5)) return false;
  rect = {left, top, left + width, top + height};
  return true;
}

TPoint WindowOrigin(IcvWindowsManager* windows, std::int32_t window) {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  SafeCallCheck(windows->GetWindowRect(window, &left, &top, &right, &bottom));
  return {left, top};
}

bool Exists(IcvWindowsManager* windows, std::int32_t window) {
  VARIANT_BOOL exists = VARIANT_FALSE;
  SafeCallCheck(windows->WindowExists(window, &exists));
  return exists != VARIANT_FALSE;
}

bool Visible(IcvWindowsManager* windows, std::int32_t window) {
  VARIANT_BOOL visible = VARIANT_FALSE;
  SafeCallCheck(windows->WindowVisible(window, &visible));
  return visible != VARIANT_FALSE;
}

// The host's mouse on a window: moves to the point (window coordinates), then the click.
void MouseAction(IcvBaseManager* manager, std::int32_t window, DISPID click, std::int32_t x, std::int32_t y,
                 std::int32_t shift) {
  auto mouse = WindowActionsOf(manager, window);
  const OleVariant point[] = {OleVariant(x), OleVariant(y)};
  DispCallMethodByID(mouse.Get(), kMouseMove, point, OleVariant());
  CallPointAction(mouse.Get(), click, x, y, shift);
}

}  // namespace

// ---- Windows --------------------------------------------------------------------------------

std::int32_t FFControlWindow(TpwWebCustomControl& control) {
  auto node = control.GetSliceNode();
  if (!node) return 0;
  for (ComPtr<IUnknown> n(node.Get()); n; n = ComPtr<IUnknown>(ParentOf(n.Get()).Get())) {
    if (auto window = QueryAs<IpwSysObjectWindow>(n.Get())) {
      std::int32_t handle = 0;
      SafeCallCheck(window->GetHandle(&handle));
      return handle;
    }
  }
  std::int32_t pivot = 0;
  if (auto withPivot = QueryAs<IpwSysObjectControlWithPivotWindow>(node.Get())) {
    SafeCallCheck(withPivot->GetPivotWindow(&pivot));
  }
  return pivot;
}

std::int32_t FindFFDropDownWindow(TpwWebCustomControl& control, std::int32_t x, std::int32_t y) {
  const std::int32_t own = FFControlWindow(control);
  if (own == 0) return 0;
  IcvWindowsManager* windows = control.WindowsManager();
  std::int32_t processId = 0;
  SafeCallCheck(windows->GetWindowProcessId(own, &processId));
  ComPtr<IpwWindowList> list;
  SafeCallCheck(windows->GetWindowsOfProcess(processId, list.Put()));
  if (!list) return 0;
  std::int32_t count = 0;
  SafeCallCheck(list->GetCount(&count));
  for (std::int32_t i = 0; i < count; ++i) {
    std::int32_t window = 0;
    SafeCallCheck(list->GetWindow(i, &window));
    BString className, text;
    SafeCallCheck(windows->GetWindowClassName(window, className.Put()));
    if (className.View() != WideStringView(kMozillaWindowClass)) continue;
    SafeCallCheck(windows->GetWindowText(window, text.Put()));
    if (!text.View().empty() || !Visible(windows, window)) continue;
    std::int32_t child = 0;
    SafeCallCheck(windows->GetFirstChildWindow(window, &child));
    if (child != 0 && Exists(windows, child) && Visible(windows, child)) window = child;
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    SafeCallCheck(windows->GetWindowRect(window, &left, &top, &right, &bottom));
    const bool centre = x == -1 && y == -1;
    const std::int32_t testX = centre ? (right - left) / 2 : x - left;
    const std::int32_t testY = centre ? (bottom - top) / 2 : y - top;
    VARIANT_BOOL on = VARIANT_FALSE;
    SafeCallCheck(windows->IsPointOnWindow(window, testX, testY, &on));
    if (on != VARIANT_FALSE) return window;
  }
  return 0;
}

// ---- List box -------------------------------------------------------------------------------

bool TpwFFListBoxElement::GetItemRect(const VARIANT& item, TRect& controlRect, bool /*activate*/, TRect& windowRect,
                                      std::int32_t& window) {
  auto native = GetNativeObject();
  if (!native) return false;
  ActivateWindow();
  const std::int32_t index = FindItemIndex(item);
  if (index == -1) {
    PostNotFound(FormatItemForLog(item, -1));
    return false;
  }
  TRect screen;
  if (!ItemBoundsOf(native.Get(), index, screen)) return false;
  window = FFControlWindow(*this);
  IcvWindowsManager* windows = WindowsManager();
  const TPoint origin = WindowOrigin(windows, window);
  windowRect = {screen.Left - origin.X, screen.Top - origin.Y, screen.Right - origin.X, screen.Bottom - origin.Y};
  controlRect = windowRect;
  // The control's own coordinates start at its client area: shifted by where that lies in the
  // window, when the window reports one.
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  if (Succeeded(windows->GetClientRect(window, &left, &top, &right, &bottom))) {
    const std::int32_t dx = left - origin.X, dy = top - origin.Y;
    controlRect = {controlRect.Left - dx, controlRect.Top - dy, controlRect.Right - dx, controlRect.Bottom - dy};
  }
  return true;
}

// ---- Combo box ------------------------------------------------------------------------------

void TpwFFComboElement::ClickComboItem(const VARIANT& item) {
  const std::int32_t own = FFControlWindow(*this);
  if (own == 0 || !Exists(WindowsManager(), own)) return;
  if (!CheckEnabled()) return;
  const std::int32_t index = FindItemIndex(item);
  if (index == -1) {
    PostNotFound(FormatItemForLog(item, -1));
    return;
  }
  const WideString designation = FormatItemForLog(item, index);
  auto native = GetNativeObject();
  if (!native) throw EOleSysError(u"The combo box has no native object.", E_POINTER);
  const OleVariant indexArg[] = {OleVariant(index)};
  if (IsTrue(DispCallMethod(native.Get(), u"LineDisabled", indexArg, OleVariant(false)).Get())) {
    PostLog(u"The combo box item %s is disabled.", {designation}, u"", {}, TpwWebLogKind::Error);
    return;
  }
  ActivateWindow();
  // The node's own click opens the drop-down; its wait time-out is 0 meanwhile and comes back
  // whatever the clicks do.
  auto node = GetSliceNode();
  if (QueryAs<IpwWaitTimeoutValue>(node.Get())) {
    TpwZeroWaitTimeout zero(node.Get());
    OleCheck(Click(-1, -1, 0));
    if (FindFFDropDownWindow(*this, -1, -1) == 0) OleCheck(Click(-1, -1, 0));
  } else {
    OleCheck(Click(-1, -1, 0));
  }
  PrepareLogEntry(u"The combo box item %s was selected.", {designation}, u"", {}, TpwWebLogKind::Event);
  TRect rect;
  if (!ItemBoundsOf(native.Get(), index, rect)) {
    PostLog(u"Cannot perform the ClickItem operation.", {}, u"", {}, TpwWebLogKind::Error);
    return;
  }
  const std::int32_t x = rect.Left + (rect.Right - rect.Left) / 2, y = rect.Top + (rect.Bottom - rect.Top) / 2;
  std::int32_t window = FindFFDropDownWindow(*this, x, y);
  if (window == 0) window = own;
  const TPoint origin = WindowOrigin(WindowsManager(), window);
  MouseAction(Manager(), window, kMouseClick, x - origin.X, y - origin.Y, 0);
  WriteLogEntry();
}

ComPtr<IDispatch> CreateFFListBoxElement(IcvBaseManager* manager, IpwObjectContext2* context) {
  return ComPtr<IDispatch>(MakeObject<TpwFFListBoxElement>(manager, context)->Dispatch());
}

ComPtr<IDispatch> CreateFFComboElement(IcvBaseManager* manager, IpwObjectContext2* context) {
  return ComPtr<IDispatch>(MakeObject<TpwFFComboElement>(manager, context)->Dispatch());
}

// ---- XUL menu -------------------------------------------------------------------------------

void TpwFFXULMenuElement::ClickMenuItem(const WideString& itemPath, std::int32_t x, std::int32_t y) {
  if (!CheckEnabled()) return;
  ActivateWindow();
  auto native = GetNativeObject();
  if (!native) throw EOleSysError(u"The menu has no native object.", E_POINTER);
  std::int32_t window = -1, itemX = 0, itemY = 0;
  VARIANT_BOOL disabled = VARIANT_FALSE;
  VARIANT args[5] = {OleVariant(itemPath).Detach(), IntRef(&window), IntRef(&itemX), IntRef(&itemY),
                     BoolRef(&disabled)};
  const bool found = CallNative(native.Get(), kFFMenuItemDispId, args, 5);
  VariantClear(&args[0]);
  const std::size_t bar = itemPath.rfind(u'|');
  const WideString name = bar == WideString::npos ? itemPath : itemPath.substr(bar + 1);
  IcvWindowsManager* windows = WindowsManager();
  if (!found) {
    if (window == -1 || Visible(windows, window)) {
      PostLog(u"The control item %s not found.", {u"'" + name + u"'"}, u"", {}, TpwWebLogKind::Error);
    } else {
      PostLog(u"Cannot obtain the popup menu.", {}, u"Possible reason: There was no click that invokes the popup menu.",
              {}, TpwWebLogKind::Error);
    }
    return;
  }
  if (disabled != VARIANT_FALSE) {
    PostLog(u"The menu item '%s' is disabled.", {name}, u"", {}, TpwWebLogKind::Error);
    return;
  }
  const TPoint origin = WindowOrigin(windows, window);
  const std::int32_t clickX = (x < 0 ? 0 : x) + itemX - origin.X, clickY = (y < 0 ? 0 : y) + itemY - origin.Y;
  PrepareLogEntry(u"The menu item '%s' was clicked with the left mouse button.", {name}, u"", {}, TpwWebLogKind::Event);
  SleepMs(100);  // the menu settles before the click
  MouseAction(Manager(), window, kMouseClick, clickX, clickY, 0);
  WriteLogEntry();
}

HRESULT TpwFFXULMenuElement::Click(std::int32_t x, std::int32_t y, std::int32_t) {
  return SafeCall([&] { ClickMenuItem(WideString(), x, y); });
}

HRESULT TpwFFXULMenuElement::ClickItem(BSTR item) {
  return SafeCall([&] { ClickMenuItem(WideString(BstrView(item)), 0, 0); });
}

ComPtr<IDispatch> CreateFFXULMenuElement(IcvBaseManager* manager, IpwObjectContext2* context) {
  return ComPtr<IDispatch>(MakeObject<TpwFFXULMenuElement>(manager, context)->Dispatch());
}

// ---- XUL tree -------------------------------------------------------------------------------

void TpwFFXULTreeElement::TreeAction(const VARIANT& item, const VARIANT& column, std::int32_t shift,
                                     std::int32_t button, TpwFFTreeAction action) {
  if (button < 0 || button > 2) throw EOleSysError(u"Unknown mouse button " + Number(button), E_INVALIDARG);
  if (!CheckEnabled()) return;
  ActivateWindow();
  auto native = GetNativeObject();
  if (!native) throw EOleSysError(u"The tree has no native object.", E_POINTER);
  std::int32_t x = -1, y = -1, window = -1;
  VARIANT_BOOL canExpand = VARIANT_FALSE, expanded = VARIANT_FALSE, columnVisible = VARIANT_FALSE;
  OleVariant data;
  VARIANT dataRef;
  VariantInit(&dataRef);
  dataRef.vt = VT_BYREF | VT_VARIANT;
  dataRef.pvarVal = data.Ptr();
  OleVariant itemArg = ValueOf(item), columnArg = ValueOf(column);
  VARIANT args[10] = {itemArg.Get(),
                      columnArg.Get(),
                      OleVariant(static_cast<std::int32_t>(action)).Detach(),
                      IntRef(&x),
                      IntRef(&y),
                      IntRef(&window),
                      dataRef,
                      BoolRef(&canExpand),
                      BoolRef(&expanded),
                      BoolRef(&columnVisible)};
  const bool found = CallNative(native.Get(), kFFTreeItemDispId, args, 10);
  const WideString designation = Designation(itemArg.Get());
  if (!found) {
    PostLog(u"The control item %s not found.", {designation}, u"", {}, TpwWebLogKind::Error);
    return;
  }
  const bool expanding = action == TpwFFTreeAction::Expand, collapsing = action == TpwFFTreeAction::Collapse;
  if ((expanding || collapsing) && canExpand == VARIANT_FALSE) {
    PostLog(u"The tree item %s cannot be expanded or collapsed.", {designation}, u"", {}, TpwWebLogKind::Error);
    return;
  }
  if (expanding && expanded != VARIANT_FALSE) {
    PostLog(u"The tree item %s is already %s.", {designation, u"expanded"}, u"", {}, TpwWebLogKind::Error);
    return;
  }
  if (collapsing && expanded == VARIANT_FALSE) {
    PostLog(u"The tree item %s is already %s.", {designation, u"collapsed"}, u"", {}, TpwWebLogKind::Error);
    return;
  }
  if (columnVisible == VARIANT_FALSE) {
    PostLog(u"The column %s is not visible on screen.", {Designation(columnArg.Get())}, u"", {}, TpwWebLogKind::Error);
    return;
  }
  const WideString buttonName = kButtonNames[button];
  const WideString done = expanding    ? WideString(u"expanded")
                          : collapsing ? WideString(u"collapsed")
                          : action == TpwFFTreeAction::DblClick
                              ? u"double-clicked with the " + buttonName + u" mouse button"
                              : u"clicked with the " + buttonName + u" mouse button";
  if (x == -1 || y == -1) {  // done inside the browser
    PostLog(u"The tree item %s was %s.", {designation, done}, u"", {}, TpwWebLogKind::Event);
    return;
  }
  const TPoint origin = WindowOrigin(WindowsManager(), window);
  const std::int32_t clickX = x - origin.X, clickY = y - origin.Y;
  PrepareLogEntry(u"The tree item %s was %s.", {designation, done}, u"Click at the point (%s, %s) with %s key pressed.",
                  {Number(clickX), Number(clickY), FormatShiftKeys(static_cast<std::uint16_t>(shift))},
                  TpwWebLogKind::Event);
  const bool twice = action == TpwFFTreeAction::DblClick;
  const DISPID clicks[2][3] = {{kMouseClick, kMouseClickM, kMouseClickR},
                               {kMouseDblClick, kMouseDblClickM, kMouseDblClickR}};
  MouseAction(Manager(), window, clicks[twice ? 1 : 0][button], clickX, clickY, shift);
  WriteLogEntry();
}

HRESULT TpwFFXULTreeElement::ClickItem(const VARIANT& item, const VARIANT& column, std::int32_t shift) {
  return SafeCall([&] { TreeAction(item, column, shift, 0, TpwFFTreeAction::Click); });
}
HRESULT TpwFFXULTreeElement::ClickItemR(const VARIANT& item, const VARIANT& column, std::int32_t shift) {
  return SafeCall([&] { TreeAction(item, column, shift, 2, TpwFFTreeAction::Click); });
}
HRESULT TpwFFXULTreeElement::ClickItemM(const VARIANT& item, const VARIANT& column, std::int32_t shift) {
  return SafeCall([&] { TreeAction(item, column, shift, 1, TpwFFTreeAction::Click); });
}
HRESULT TpwFFXULTreeElement::DblClickItem(const VARIANT& item, const VARIANT& column, std::int32_t shift) {
  return SafeCall([&] { TreeAction(item, column, shift, 0, TpwFFTreeAction::DblClick); });
}
HRESULT TpwFFXULTreeElement::DblClickItemR(const VARIANT& item, const VARIANT& column, std::int32_t shift) {
  return SafeCall([&] { TreeAction(item, column, shift, 2, TpwFFTreeAction::DblClick); });
}
HRESULT TpwFFXULTreeElement::DblClickItemM(const VARIANT& item, const VARIANT& column, std::int32_t shift) {
  return SafeCall([&] { TreeAction(item, column, shift, 1, TpwFFTreeAction::DblClick); });
}
HRESULT TpwFFXULTreeElement::ExpandItem(const VARIANT& item) {
  return SafeCall([&] { TreeAction(item, OleVariant(u"Expand").Get(), 0, 0, TpwFFTreeAction::Expand); });
}
HRESULT TpwFFXULTreeElement::CollapseItem(const VARIANT& item) {
  return SafeCall([&] { TreeAction(item, OleVariant(u"Collapse").Get(), 0, 0, TpwFFTreeAction::Collapse); });
}

ComPtr<IDispatch> CreateFFXULTreeElement(IcvBaseManager* manager, IpwObjectContext2* context) {
  return ComPtr<IDispatch>(MakeObject<TpwFFXULTreeElement>(manager, context)->Dispatch());
}

}  // namespace pw::web
