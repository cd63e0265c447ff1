// The control slices of Firefox elements: list boxes, combo boxes, XUL menus and XUL trees. Each
// keeps the script members, log texts and mouse handling of its web parent; what changes is how an
// item is found and where it lies on screen, which the element's native object inside the browser
// answers through late-bound methods with fixed DISPIDs (Boolean result, "out" arguments by
// reference; coordinates on the screen):
//   0x0A500001  (Item, out Left, out Top, out Width, out Height)           an item's bounds
//   0x0A900001  (ItemPath, out Window, out X, out Y, out Disabled)         a menu item
//   0x0A900002  (Item, Column, Action, out X, out Y, out Window, var Data,
//                out CanExpand, out Expanded, out ColumnVisible)            a tree item
// A COM error of the menu and tree calls counts as a missing item.
//
// The control's window is the window of its node's nearest window node (the node itself or an
// ancestor answering IpwSysObjectWindow); without one, its pivot window. Screen points become
// window points by subtracting the window rectangle the windows manager gives.
//
// The open drop-down of a combo box is looked for among the windows of the control window's
// process, in the manager's order: a window of class "MozillaWindowClass" (exact case) with an
// empty text that is visible (its first child instead when that exists and is visible), whose point
// test answers True for the given screen point (less the window's top-left corner) or, for
// (-1, -1), for its centre. The first such window is the drop-down; none when no window answers.
//
// Errors go to the test log as the control's error entries and the script call succeeds; other
// exceptions become the call's failure result.
#pragma once

#include <cstdint>

#include "interfaces/pwWebTesting.h"
#include "web/controls/select_elements.h"
#include "web/controls/web_custom_control.h"

namespace pw::web {

inline constexpr DISPID kFFItemBoundsDispId = 0x0A500001;
inline constexpr DISPID kFFMenuItemDispId = 0x0A900001;
inline constexpr DISPID kFFTreeItemDispId = 0x0A900002;
inline constexpr char16_t kMozillaWindowClass[] = u"MozillaWindowClass";

// The slices a Firefox builder attaches, each as its script object (which also answers
// IpwNodeSlice). The manager is the host object, the context the element's object context.
//   list box  "element!select" whose native "ComboBox" is not True
//   combo box "element!select" whose native "ComboBox" is True
//   XUL menu  the five menu control types
//   XUL tree  "element!tree"
ComPtr<IDispatch> CreateFFListBoxElement(IcvBaseManager* manager, IpwObjectContext2* context);
ComPtr<IDispatch> CreateFFComboElement(IcvBaseManager* manager, IpwObjectContext2* context);
ComPtr<IDispatch> CreateFFXULMenuElement(IcvBaseManager* manager, IpwObjectContext2* context);
ComPtr<IDispatch> CreateFFXULTreeElement(IcvBaseManager* manager, IpwObjectContext2* context);

// The control's window (see above); 0 when the slice has no node or the node has no window.
std::int32_t FFControlWindow(TpwWebCustomControl& control);
// The open drop-down window for a screen point, or (-1, -1) for any; 0 when there is none.
std::int32_t FindFFDropDownWindow(TpwWebCustomControl& control, std::int32_t x, std::int32_t y);

// List box: the item bounds from 0x0A500001, made relative to the control's window. A missing item
// writes "The listbox item %s not found." with "Total number of items: %d." and answers False.
class TpwFFListBoxElement final : public TpwWebLstBoxElement {
 public:
  TpwFFListBoxElement(IcvBaseManager* manager, IpwObjectContext2* context) : TpwWebLstBoxElement(manager, context) {}
  bool GetItemRect(const VARIANT& item, TRect& controlRect, bool activate, TRect& windowRect,
                   std::int32_t& window) override;
};

// Combo box: ClickItem opens the drop-down by the node's own "Click"(-1, -1, 0), with the node's
// wait time-out 0 meanwhile and put back whatever happens; clicks once more when no open drop-down
// is found; then clicks the item's centre in the drop-down that holds it (else in the control's
// window) and writes "The combo box item %s was selected.". A disabled item ("LineDisabled")
// writes "The combo box item %s is disabled." and clicks nothing; an item without bounds writes
// "Cannot perform the ClickItem operation.". A control whose window is gone does nothing.
class TpwFFComboElement final : public TpwWebComboElement {
 public:
  TpwFFComboElement(IcvBaseManager* manager, IpwObjectContext2* context)
      : TpwWebComboElement(manager, context, false) {}
  void ClickComboItem(const VARIANT& item) override;
};

// XUL menu: ClickItem("File|Open") clicks the item the native object finds for the path; the
// parent's point click passes an empty path. Texts name the item by the last part of the path.
class TpwFFXULMenuElement final : public AutoImplements<TpwWebCustomControl, IpwWebContainer> {
 public:
  TpwFFXULMenuElement(IcvBaseManager* manager, IpwObjectContext2* context)
      : AutoImplements(manager, context, std::vector<IID>{IpwWebContainer::iid}) {}
  // The menu click at (X, Y) of the item (0, 0 for an item path of its own).
  void ClickMenuItem(const WideString& itemPath, std::int32_t x, std::int32_t y);
  HRESULT Click(std::int32_t x, std::int32_t y, std::int32_t shift) override;
  // IpwWebContainer
  HRESULT ClickItem(BSTR item) override;
};

// The tree actions (Action argument of 0x0A900002).
enum class TpwFFTreeAction : std::int32_t { Click = 0, DblClick = 1, Expand = 2, Collapse = 3 };

// XUL tree: every member is one operation with (Item, Column, Shift, Button 0 left / 1 middle /
// 2 right, Action).
class TpwFFXULTreeElement final : public AutoImplements<TpwWebCustomControl, IpwWebTreeControl> {
 public:
  TpwFFXULTreeElement(IcvBaseManager* manager, IpwObjectContext2* context)
      : AutoImplements(manager, context, std::vector<IID>{IpwWebTreeControl::iid}) {}
  void TreeAction(const VARIANT& item, const VARIANT& column, std::int32_t shift, std::int32_t button,
                  TpwFFTreeAction action);
  // IpwWebTreeControl
  HRESULT ClickItem(const VARIANT& item, const VARIANT& column, std::int32_t shift) override;
  HRESULT ClickItemR(const VARIANT& item, const VARIANT& column, std::int32_t shift) override;
  HRESULT ClickItemM(const VARIANT& item, const VARIANT& column, std::int32_t shift) override;
  HRESULT DblClickItem(const VARIANT& item, const VARIANT& column, std::int32_t shift) override;
  HRESULT DblClickItemR(const VARIANT& item, const VARIANT& column, std::int32_t shift) override;
  HRESULT DblClickItemM(const VARIANT& item, const VARIANT& column, std::int32_t shift) override;
  HRESULT ExpandItem(const VARIANT& item) override;
  HRESULT CollapseItem(const VARIANT& item) override;
};

}  // namespace pw::web
