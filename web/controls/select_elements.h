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

class TpwWebLstBoxElement : public TpwWebCustomSelectElement {
 public:
  TpwWebLstBoxElement(IcvBaseManager* manager, IpwObjectContext2* context)
      : TpwWebCustomSelectElement(manager, context, {}) {}
};

class TpwWebComboElement : public TpwWebCustomSelectElement {
 public:
  TpwWebComboElement(IcvBaseManager* manager, IpwObjectContext2* context, bool openWithoutClick)
      : TpwWebCustomSelectElement(manager, context, {}), openWithoutClick_(openWithoutClick) {}
  bool IsComboBox() const override { return true; }
  bool OpenWithoutClick() const { return openWithoutClick_; }
  // "EditableComboBoxText" when the native object has it, else the selected item's text (empty
  // when none is selected).
  WideString GetText();

 private:
  bool openWithoutClick_;
};

}  // namespace pw::web
