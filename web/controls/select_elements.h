// The select elements of a page as controls: TpwWebLstBoxElement (a list box) and
// TpwWebComboElement (a drop-down). Both read their items only through late-bound members of
// the element's native object: "LineCount" (default 0), "LineText"(index) (default empty),
// "LineSelected" (default -1), "LinesSelected" (an array of indexes; Null when missing),
// "EditableComboBoxText" (the combo box's edit text, when the object has the member).
//
// An item is named by its index (any variant that is not a string) or by its text (a string,
// matched as a pattern of the regular-expression module against each item text in order; the
// first match wins). A designation in messages is the index as a number, or a text between
// single quotes (the found item's own text when found).
//
// The item reads answer orderly on bad input: an index out of range writes the error "The
// listbox item %s not found." ("The combo box item %s not found." on a combo box) with the
// details "Total number of items: %d." and answers an empty text or False.
#pragma once

#include "interfaces/ProbewrightHost.h"
#include "interfaces/pwWebTesting.h"
#include "core/automation/rect.h"
#include "web/controls/web_custom_control.h"

namespace pw::web {

class TpwWebCustomSelectElement : public Implements<TpwWebCustomControl, IpwItemTable> {
 public:
  // ";" when empty (so an empty separator reads back as ";").
  WideString GetListSeparator();
  void SetListSeparator(WideStringView separator) { listSeparator_ = separator; }

  std::int32_t GetLineCount();
  std::int32_t GetSelectedItem();
  // The text of an item by index; the not-found error and an empty text out of range.
  WideString GetItem(std::int32_t index);
  bool GetSelected(const VARIANT& item);
  WideString GetItemList();
  WideString GetSelectedItems();
  // The index of an item (pattern or index); -1 when there is none.
  std::int32_t FindItemIndex(const VARIANT& item);
  WideString FormatItemForLog(const VARIANT& item, std::int32_t index);
  virtual bool IsComboBox() const { return false; }

  // IpwItemTable: the items as one column "Value".
  HRESULT GetRowCount(std::int32_t* count) override;
  HRESULT GetColumnCount(std::int32_t* count) override;
  HRESULT GetColumnName(std::int32_t column, BSTR* name) override;
  HRESULT GetCellValue(std::int32_t row, std::int32_t column, VARIANT* value) override;
  HRESULT BeginRead() override { return S_OK; }
  HRESULT EndRead() override { return S_OK; }

 protected:
  TpwWebCustomSelectElement(IcvBaseManager* manager, IpwObjectContext2* context, std::vector<IID> iids)
      : Implements(manager, context, std::move(iids)) {}
  void PostNotFound(const WideString& designation);
  // "LineText"(index) as text, without a range test.
  WideString LineText(IDispatch* native, std::int32_t index);

 private:
  WideString listSeparator_;
};

// The eight clicks of a list box: button and count, and whether the point is the item's centre
// or a point (X, Y) of the item (-1, -1 its centre).
enum class TpwListClick { Click, DblClick, ClickXY, DblClickXY, ClickR, DblClickR, ClickRXY, DblClickRXY };

// A list box's clicks: the enabled check, the item (not found, disabled), its rectangle from the
// native object's GetLineRect (DISPID 0x9001) made relative to its window, the point (inside the
// item: the right and bottom edges are outside), the prepared event, the click through the
// input service's actions object of the item's window (Click 0x2028001, DblClick 0x2028004,
// ClickR 0x2028003, DblClickR 0x2028006 with ClientX, ClientY, Shift), and the event written.
// Every refusal writes one error and clicks nothing.
//
// Scripts reach it through IpwListBoxRightActions, IpwListBoxActions and IpwWebListBoxControl (in
// that order); wItemBounds answers the item's control-relative rectangle (GetItemRect without
// activation) as a rectangle object, nil when the item has none.
class TpwWebLstBoxElement : public AutoImplements<TpwWebCustomSelectElement, IpwListBoxRightActions, IpwListBoxActions,
                                                  IpwWebListBoxControl> {
 public:
  TpwWebLstBoxElement(IcvBaseManager* manager, IpwObjectContext2* context)
      : AutoImplements(
            manager, context,
            std::vector<IID>{IpwListBoxRightActions::iid, IpwListBoxActions::iid, IpwWebListBoxControl::iid}) {}

  void ClickItemAction(TpwListClick kind, const VARIANT& item, std::int32_t x, std::int32_t y, std::int32_t shift);
  // Selects or unselects an item (-1: every item) by Control-clicks; "already" when it is so.
  void SelectListItem(const VARIANT& item, bool selected);
  // Selects exactly the listed items: a variant array, a script array (its "length" and "0",
  // "1", ...), a text split at the separator's first character (ending at the first empty piece)
  // or one item; the first without modifier, the others with Control; one summary entry.
  void MultiSelectItems(const VARIANT& items);
  // The control-relative rectangle of an item (nil when it has none).
  ComPtr<IDispatch> ItemBounds(const VARIANT& item);

  // IpwListBoxRightActions
  HRESULT ClickItemR(const VARIANT& item, std::int32_t shift) override;
  HRESULT DblClickItemR(const VARIANT& item, std::int32_t shift) override;
  HRESULT ClickItemRXY(const VARIANT& item, std::int32_t x, std::int32_t y, std::int32_t shift) override;
  HRESULT DblClickItemRXY(const VARIANT& item, std::int32_t x, std::int32_t y, std::int32_t shift) override;
  // IpwListBoxActions
  HRESULT ClickItem(const VARIANT& item, std::int32_t shift) override;
  HRESULT DblClickItem(const VARIANT& item, std::int32_t shift) override;
  HRESULT ClickItemXY(const VARIANT& item, std::int32_t x, std::int32_t y, std::int32_t shift) override;
  HRESULT DblClickItemXY(const VARIANT& item, std::int32_t x, std::int32_t y, std::int32_t shift) override;
  HRESULT SelectItem(const VARIANT& item, VARIANT_BOOL selected) override;
  HRESULT MultiSelect(const VARIANT& items) override;
  HRESULT get_wItemCount(std::int32_t* value) override;
  HRESULT get_wItem(std::int32_t index, BSTR* value) override;
  HRESULT get_wSelected(const VARIANT& item, VARIANT_BOOL* value) override;
  HRESULT get_wSelectedItem(std::int32_t* value) override;
  // IpwWebListBoxControl
  HRESULT get_wListSeparator(BSTR* value) override;
  HRESULT put_wListSeparator(BSTR value) override;
  HRESULT get_wItemList(BSTR* value) override;
  HRESULT get_wSelectedItems(BSTR* value) override;
  HRESULT get_wItemBounds(const VARIANT& item, IDispatch** value) override;

  // The item's rectangles: ControlRect relative to the control, WindowRect to its window.
  virtual bool GetItemRect(const VARIANT& item, TRect& controlRect, bool activate, TRect& windowRect,
                           std::int32_t& window);

 private:
  // Steps 3 to 10 of a left click at the item's centre; True when the click was made.
  bool ClickListItem(const VARIANT& item, std::int32_t shift, bool selectionMode);
  bool ClickAt(const VARIANT& item, DISPID action, const char16_t* button, bool doubleClick, bool atPoint,
               std::int32_t x, std::int32_t y, std::int32_t shift, bool selectionMode);
  bool IsMultiSelect();
};

// Scripts reach it through IpwComboBoxText, IpwComboBoxActions and IpwWebComboBoxControl (in that
// order).
class TpwWebComboElement
    : public AutoImplements<TpwWebCustomSelectElement, IpwComboBoxText, IpwComboBoxActions, IpwWebComboBoxControl> {
 public:
  TpwWebComboElement(IcvBaseManager* manager, IpwObjectContext2* context, bool openWithoutClick)
      : AutoImplements(manager, context,
                       std::vector<IID>{IpwComboBoxText::iid, IpwComboBoxActions::iid, IpwWebComboBoxControl::iid}),
        openWithoutClick_(openWithoutClick) {}
  bool IsComboBox() const override { return true; }
  bool OpenWithoutClick() const { return openWithoutClick_; }
  // "EditableComboBoxText" when the native object has it, else the selected item's text (empty
  // when none is selected).
  WideString GetText();
  // Selects an item by a left click at its centre in the list window that GetLineRect (with
  // Activate) gives: the enabled check, the item (not found, disabled), the window brought to the
  // front, the control's own Click(-1, -1, 0) first unless it opens without one, the event "The
  // combo box item %s was selected." prepared, the click (reported with flag 2; to the node's
  // pivot window when it has one), then a wait of at most 3000 ms (50 ms steps on the clock)
  // while the list window exists and is visible, and the event written. An item without a
  // rectangle writes "Cannot perform the ClickItem operation." and clicks nothing.
  virtual void ClickComboItem(const VARIANT& item);

  // IpwComboBoxText
  HRESULT get_wText(BSTR* value) override;
  // IpwComboBoxActions
  HRESULT ClickItem(const VARIANT& item) override;
  HRESULT get_wItemCount(std::int32_t* value) override;
  HRESULT get_wItem(std::int32_t index, BSTR* value) override;
  HRESULT get_wSelectedItem(std::int32_t* value) override;
  // IpwWebComboBoxControl
  HRESULT get_wListSeparator(BSTR* value) override;
  HRESULT put_wListSeparator(BSTR value) override;
  HRESULT get_wItemList(BSTR* value) override;

 private:
  bool openWithoutClick_;
};

}  // namespace pw::web
