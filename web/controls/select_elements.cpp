#include "web/controls/select_elements.h"

#include <string>

#include "core/automation/dispatch_helpers.h"
#include "core/host/module_proxy.h"
#include "platform/automation/bstr.h"
#include "platform/automation/out_params.h"
#include "platform/automation/safearray.h"
#include "platform/com/safecall.h"
#include "platform/kernel/clock.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "web/controls/control_values.h"
#include "web/navigation/window_helpers.h"
#include "web/navigation/web_helpers.h"

namespace pw::web {

namespace {

WideString Number(std::int64_t n) { return Utf8ToWide(std::to_string(n)); }

bool IsString(const VARIANT& item) { return VariantDeref(item).vt == VT_BSTR; }

WideString StringOf(const VARIANT& item) { return WideString(BstrView(VariantDeref(item).bstrVal)); }

bool PatternMatches(IcvRegExprModule* regex, const WideString& pattern, const WideString& subject) {
  WordBool matched = 0;
  SafeCallCheck(regex->Match(pattern.c_str(), subject.c_str(), &matched));
  return matched != 0;
}

// The indexes of a "LinesSelected" answer; empty for Null or anything that is not an array.
std::vector<OleVariant> ArrayElements(const OleVariant& value) {
  std::vector<OleVariant> out;
  const VARIANT& v = VariantDeref(value.Get());
  if (!(v.vt & VT_ARRAY) || !v.parray) return out;
  std::int32_t low = 0, high = -1;
  if (Failed(SafeArrayGetLBound(v.parray, 1, &low)) || Failed(SafeArrayGetUBound(v.parray, 1, &high))) return out;
  for (std::int32_t i = low; i <= high; ++i) {
    OleVariant element;
    if ((v.vt & VT_TYPEMASK) == VT_VARIANT) {
      SafeArrayGetElement(v.parray, &i, element.Ptr());
    } else if ((v.vt & VT_TYPEMASK) == VT_I4) {
      std::int32_t n = 0;
      SafeArrayGetElement(v.parray, &i, &n);
      element = OleVariant(n);
    } else {
      continue;
    }
    out.push_back(std::move(element));
  }
  return out;
}

}  // namespace

WideString TpwWebCustomSelectElement::GetListSeparator() {
  if (listSeparator_.empty()) listSeparator_ = u";";
  return listSeparator_;
}

std::int32_t TpwWebCustomSelectElement::GetLineCount() {
  return ToInt(DispGetProperty(GetNativeObject().Get(), u"LineCount", OleVariant(0)), 0);
}

std::int32_t TpwWebCustomSelectElement::GetSelectedItem() {
  return ToInt(DispGetProperty(GetNativeObject().Get(), u"LineSelected", OleVariant(-1)), -1);
}

WideString TpwWebCustomSelectElement::LineText(IDispatch* native, std::int32_t index) {
  const OleVariant args[] = {OleVariant(index)};
  return ToText(DispCallMethod(native, u"LineText", args, OleVariant(u"")));
}

void TpwWebCustomSelectElement::PostNotFound(const WideString& designation) {
  PostLog(IsComboBox() ? u"The combo box item %s not found." : u"The listbox item %s not found.", {designation},
          u"Total number of items: %s.", {Number(GetLineCount())}, TpwWebLogKind::Error);
}

WideString TpwWebCustomSelectElement::GetItem(std::int32_t index) {
  if (index < 0 || index >= GetLineCount()) {
    PostNotFound(Number(index));
    return {};
  }
  return LineText(GetNativeObject().Get(), index);
}

std::int32_t TpwWebCustomSelectElement::FindItemIndex(const VARIANT& item) {
  const std::int32_t count = GetLineCount();
  if (IsString(item)) {
    const WideString pattern = StringOf(item);
    auto native = GetNativeObject();
    ComPtr<IcvRegExprModule> regex;
    GetRegExprModule(regex);
    for (std::int32_t i = 0; i < count; ++i) {
      if (PatternMatches(regex.Get(), pattern, LineText(native.Get(), i))) return i;
    }
    return -1;
  }
  OleVariant n;
  if (Failed(VariantChangeType(n.Ptr(), &item, 0, VT_I4))) return -1;
  const std::int32_t index = n.Get().lVal;
  return index < 0 || index >= count ? -1 : index;
}

WideString TpwWebCustomSelectElement::FormatItemForLog(const VARIANT& item, std::int32_t index) {
  if (!IsString(item)) {
    OleVariant copy(item);
    return ToText(copy);
  }
  if (index == -1) return u"'" + StringOf(item) + u"'";
  return u"'" + LineText(GetNativeObject().Get(), index) + u"'";
}

bool TpwWebCustomSelectElement::GetSelected(const VARIANT& item) {
  const std::int32_t index = FindItemIndex(item);
  if (index == -1) {
    PostNotFound(FormatItemForLog(item, -1));
    return false;
  }
  auto native = GetNativeObject();
  const auto selected = ArrayElements(DispGetProperty(native.Get(), u"LinesSelected", OleVariant::Null()));
  const VARIANT& wanted = VariantDeref(item);
  ComPtr<IcvRegExprModule> regex;
  for (const auto& element : selected) {
    if (wanted.vt == VT_I4 || wanted.vt == VT_I2) {
      const std::int32_t value = wanted.vt == VT_I4 ? wanted.lVal : wanted.iVal;
      if (ToInt(element, -2) == value) return true;
    } else if (wanted.vt == VT_BSTR) {
      if (!regex) GetRegExprModule(regex);
      if (PatternMatches(regex.Get(), StringOf(item), LineText(native.Get(), ToInt(element, -1)))) return true;
    }
  }
  return false;
}

WideString TpwWebCustomSelectElement::GetItemList() {
  const std::int32_t count = GetLineCount();
  auto native = GetNativeObject();
  const WideString separator = GetListSeparator();
  WideString list;
  for (std::int32_t i = 0; i < count; ++i) {
    if (i > 0) list += separator;
    list += LineText(native.Get(), i);
  }
  return list;
}

WideString TpwWebCustomSelectElement::GetSelectedItems() {
  auto native = GetNativeObject();
  const auto selected = ArrayElements(DispGetProperty(native.Get(), u"LinesSelected", OleVariant::Null()));
  const WideString separator = GetListSeparator();
  WideString list;
  bool first = true;
  for (const auto& element : selected) {
    if (!first) list += separator;
    first = false;
    list += LineText(native.Get(), ToInt(element, -1));
  }
  return list;
}

HRESULT TpwWebCustomSelectElement::GetRowCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue(count, GetLineCount()); });
}
HRESULT TpwWebCustomSelectElement::GetColumnCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue(count, 1); });
}
HRESULT TpwWebCustomSelectElement::GetColumnName(std::int32_t, BSTR* name) {
  return SafeCall([&] { SetOut(name, u"Value"); });
}
HRESULT TpwWebCustomSelectElement::GetCellValue(std::int32_t row, std::int32_t, VARIANT* value) {
  if (value) VariantInit(value);
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"No place for the value", E_POINTER);
    *value = OleVariant(LineText(GetNativeObject().Get(), row)).Detach();
  });
}

namespace {

constexpr char16_t kNoMultipleSelection[] = u"The listbox does not support multiple selection.";

struct ClickRow {
  TpwListClick kind;
  DISPID action;
  const char16_t* button;
  bool doubleClick, atPoint;
};
constexpr ClickRow kClicks[] = {
    {TpwListClick::Click, 0x2028001, u"left", false, false},
    {TpwListClick::DblClick, 0x2028004, u"left", true, false},
    {TpwListClick::ClickXY, 0x2028001, u"left", false, true},
    {TpwListClick::DblClickXY, 0x2028004, u"left", true, true},
    {TpwListClick::ClickR, 0x2028003, u"right", false, false},
    {TpwListClick::DblClickR, 0x2028006, u"right", true, false},
    {TpwListClick::ClickRXY, 0x2028003, u"right", false, true},
    {TpwListClick::DblClickRXY, 0x2028006, u"right", true, true},
};

bool IsMinusOne(const VARIANT& item) {
  const VARIANT& v = VariantDeref(item);
  if (v.vt == VT_BSTR) return false;
  OleVariant n;
  return Succeeded(VariantChangeType(n.Ptr(), &v, 0, VT_I4)) && n.Get().lVal == -1;
}

}  // namespace

bool TpwWebLstBoxElement::IsMultiSelect() {
  OleVariant value = DispGetProperty(GetNativeObject().Get(), u"IsMultiSelect", OleVariant(true));
  OleVariant b;
  return Failed(VariantChangeType(b.Ptr(), value.Ptr(), 0, VT_BOOL)) || b.Get().boolVal != VARIANT_FALSE;
}

bool TpwWebLstBoxElement::GetItemRect(const VARIANT& item, TRect& controlRect, bool activate, TRect& windowRect,
                                      std::int32_t& window) {
  auto native = GetNativeObject();
  if (!native) return false;
  if (activate) ReportActionTarget();
  ControlCentreAction();
  const std::int32_t index = FindItemIndex(item);
  if (index == -1) {
    PostNotFound(FormatItemForLog(item, -1));
    return false;
  }
  TRect rect;
  if (!CallGetLineRect(native.Get(), index, activate, window, rect)) return false;
  std::int32_t originX = 0, originY = 0;
  SafeCallCheck(WindowsManager()->ClientToScreen(window, &originX, &originY));
  windowRect = {rect.Left - originX, rect.Top - originY, rect.Right - originX, rect.Bottom - originY};
  controlRect = windowRect;  // the control window gives no offset of its own here
  return true;
}

bool TpwWebLstBoxElement::ClickAt(const VARIANT& item, DISPID action, const char16_t* button, bool doubleClick,
                                  bool atPoint, std::int32_t x, std::int32_t y, std::int32_t shift,
                                  bool selectionMode) {
  const std::int32_t index = FindItemIndex(item);
  if (index == -1) {
    PostNotFound(FormatItemForLog(item, -1));
    return false;
  }
  const WideString designation = FormatItemForLog(item, index);
  const OleVariant indexArg[] = {OleVariant(index)};
  OleVariant disabled = DispCallMethod(GetNativeObject().Get(), u"LineDisabled", indexArg, OleVariant(false));
  OleVariant isDisabled;
  if (Succeeded(VariantChangeType(isDisabled.Ptr(), disabled.Ptr(), 0, VT_BOOL)) &&
      isDisabled.Get().boolVal != VARIANT_FALSE) {
    PostLog(u"The listbox item %s is disabled.", {designation}, u"", {}, TpwWebLogKind::Error);
    return false;
  }
  TRect controlRect, windowRect;
  std::int32_t window = 0;
  if (!GetItemRect(item, controlRect, true, windowRect, window)) {
    PostLog(u"Cannot activate the %s item.", {designation}, u"", {}, TpwWebLogKind::Error);
    return false;
  }
  TPoint logPoint, clickPoint;
  if (!atPoint) {
    logPoint = GetRectCenter(controlRect);
    clickPoint = GetRectCenter(windowRect);
  } else {
    const std::int32_t width = windowRect.Right - windowRect.Left, height = windowRect.Bottom - windowRect.Top;
    if (x == -1 && y == -1) {
      x = width / 2;
      y = height / 2;
    }
    if (x < 0 || x >= width || y < 0 || y >= height) {
      PostLog(u"There was an attempt to perform an action at point (%s, %s), which is beyond the item's bounds.",
              {Number(x), Number(y)}, u"", {}, TpwWebLogKind::Error);
      return false;
    }
    logPoint = {controlRect.Left + x, controlRect.Top + y};
    clickPoint = {windowRect.Left + x, windowRect.Top + y};
  }
  if (selectionMode) {
    const bool wasSelected = GetSelected(item);
    PrepareLogEntry(wasSelected ? u"The listbox item %s was unselected." : u"The listbox item %s was selected.",
                    {designation}, u"", {}, TpwWebLogKind::Event);
  } else {
    PrepareLogEntry(doubleClick ? u"The listbox item %s was double-clicked with the %s mouse button."
                                : u"The listbox item %s was clicked with the %s mouse button.",
                    {designation, button}, u"Click at the point (%s, %s) with %s key pressed.",
                    {Number(logPoint.X), Number(logPoint.Y), FormatShiftKeys(static_cast<std::uint16_t>(shift))},
                    TpwWebLogKind::Event);
  }
  ReportActionPoint(window, clickPoint.X, clickPoint.Y, 1);
  CallPointAction(WindowActions(window).Get(), action, clickPoint.X, clickPoint.Y, shift);
  WriteLogEntry();
  return true;
}

void TpwWebLstBoxElement::ClickItemAction(TpwListClick kind, const VARIANT& item, std::int32_t x, std::int32_t y,
                                          std::int32_t shift) {
  const ClickRow* row = nullptr;
  for (const auto& r : kClicks) {
    if (r.kind == kind) row = &r;
  }
  if (!row || !CheckEnabled()) return;
  ActivateWindow();
  ClickAt(item, row->action, row->button, row->doubleClick, row->atPoint, x, y, shift, false);
}

bool TpwWebLstBoxElement::ClickListItem(const VARIANT& item, std::int32_t shift, bool selectionMode) {
  return ClickAt(item, 0x2028001, u"left", false, false, -1, -1, shift, selectionMode);
}

void TpwWebLstBoxElement::SelectListItem(const VARIANT& item, bool selected) {
  if (!CheckEnabled()) return;
  if (IsMinusOne(item)) {
    const std::int32_t count = GetLineCount();
    if (count > 0 && !IsMultiSelect()) {
      PostLog(kNoMultipleSelection, {}, u"", {}, TpwWebLogKind::Error);
      return;
    }
    for (std::int32_t i = 0; i < count; ++i) {
      const OleVariant index(i);
      if (GetSelected(index.Get()) != selected) ClickListItem(index.Get(), kControlKey, true);
    }
    return;
  }
  if (FindItemIndex(item) != -1 && GetSelected(item) == selected) {
    PostLog(u"The listbox item %s is already %s.",
            {FormatItemForLog(item, FindItemIndex(item)), selected ? u"selected" : u"unselected"}, u"", {},
            TpwWebLogKind::Message);
    return;
  }
  if (!IsMultiSelect() && !selected) {
    PostLog(kNoMultipleSelection, {}, u"", {}, TpwWebLogKind::Error);
    return;
  }
  ClickListItem(item, kControlKey, true);
}

void TpwWebLstBoxElement::MultiSelectItems(const VARIANT& items) {
  if (!CheckEnabled()) return;
  ActivateWindow();
  if (!IsMultiSelect()) {
    PostLog(kNoMultipleSelection, {}, u"", {}, TpwWebLogKind::Error);
    return;
  }
  std::vector<OleVariant> list;
  const VARIANT& v = VariantDeref(items);
  if (v.vt & VT_ARRAY) {
    list = ArrayElements(OleVariant(v));
  } else if (v.vt == VT_DISPATCH && v.pdispVal) {
    const std::int32_t length = ToInt(DispGetProperty(v.pdispVal, u"length", OleVariant(0)), 0);
    for (std::int32_t i = 0; i < length; ++i) {
      const WideString name = Number(i);
      list.push_back(DispGetProperty(v.pdispVal, name.c_str(), OleVariant()));
    }
  } else if (v.vt == VT_BSTR) {
    const WideString text(BstrView(v.bstrVal));
    const char16_t separator = GetListSeparator()[0];
    std::size_t start = 0;
    for (;;) {
      const std::size_t end = text.find(separator, start);
      const WideString piece = text.substr(start, end == WideString::npos ? WideString::npos : end - start);
      if (piece.empty()) break;
      list.emplace_back(piece);
      if (end == WideString::npos) break;
      start = end + 1;
    }
  } else {
    list.emplace_back(v);
  }
  MuteLog();
  WideString names;
  auto native = GetNativeObject();
  for (const auto& element : list) {
    const std::int32_t index = FindItemIndex(element.Get());
    if (index == -1) continue;
    const OleVariant indexArg[] = {OleVariant(index)};
    OleVariant disabled = DispCallMethod(native.Get(), u"LineDisabled", indexArg, OleVariant(false));
    OleVariant b;
    if (Succeeded(VariantChangeType(b.Ptr(), disabled.Ptr(), 0, VT_BOOL)) && b.Get().boolVal != VARIANT_FALSE) continue;
    names += FormatItemForLog(element.Get(), index) + u"\r\n";
  }
  bool allClicked = true;
  try {
    bool first = true;
    for (const auto& element : list) {
      if (!ClickListItem(element.Get(), first ? 0 : kControlKey, true)) {
        allClicked = false;
        break;
      }
      first = false;
    }
  } catch (...) {
    // The summary is written also when a click raised; the exception goes on.
    UnmuteLog();
    PostLog(u"The number of selected items has changed (see details).", {}, u"The list of selected items:\r\n%s.",
            {names}, TpwWebLogKind::Event);
    throw;
  }
  UnmuteLog();
  if (allClicked) {
    PostLog(u"The number of selected items has changed (see details).", {}, u"The list of selected items:\r\n%s.",
            {names}, TpwWebLogKind::Event);
  }
}

WideString TpwWebComboElement::GetText() {
  auto native = GetNativeObject();
  if (native && DispHasMember(native.Get(), u"EditableComboBoxText")) {
    return ToText(DispGetProperty(native.Get(), u"EditableComboBoxText", OleVariant(u"")));
  }
  const std::int32_t selected = GetSelectedItem();
  return selected == -1 ? WideString() : LineText(native.Get(), selected);
}

void TpwWebComboElement::ClickComboItem(const VARIANT& item) {
  auto native = GetNativeObject();
  if (!native || !CheckEnabled()) return;
  const std::int32_t index = FindItemIndex(item);
  if (index == -1) {
    PostNotFound(FormatItemForLog(item, -1));
    return;
  }
  const WideString designation = FormatItemForLog(item, index);
  const OleVariant indexArg[] = {OleVariant(index)};
  OleVariant disabled = DispCallMethod(native.Get(), u"LineDisabled", indexArg, OleVariant(false));
  OleVariant isDisabled;
  if (Succeeded(VariantChangeType(isDisabled.Ptr(), disabled.Ptr(), 0, VT_BOOL)) &&
      isDisabled.Get().boolVal != VARIANT_FALSE) {
    PostLog(u"The combo box item %s is disabled.", {designation}, u"", {}, TpwWebLogKind::Error);
    return;
  }
  ActivateWindow();
  ReportActionTarget();
  ControlCentreAction();
  if (!openWithoutClick_) OleCheck(Click(-1, -1, 0));
  PrepareLogEntry(u"The combo box item %s was selected.", {designation}, u"", {}, TpwWebLogKind::Event);
  std::int32_t window = 0;
  TRect rect;
  if (!CallGetLineRect(native.Get(), index, true, window, rect)) {
    PostLog(u"Cannot perform the ClickItem operation.", {}, u"", {}, TpwWebLogKind::Error);
    return;
  }
  IcvWindowsManager* windows = WindowsManager();
  const TPoint centre = GetRectCenter(rect);
  std::int32_t originX = 0, originY = 0;
  SafeCallCheck(windows->ClientToScreen(window, &originX, &originY));
  const std::int32_t x = centre.X - originX, y = centre.Y - originY;
  std::int32_t reportWindow = window, reportX = x, reportY = y;
  std::int32_t pivotWindow = 0;
  if (auto pivot = QueryAs<IpwSysObjectControlWithPivotWindow>(GetSliceNode().Get())) {
    SafeCallCheck(pivot->GetPivotWindow(&pivotWindow));
  }
  if (pivotWindow != 0) {  // a node without a pivot window answers 0: the list window takes the report
    std::int32_t pivotX = 0, pivotY = 0;
    SafeCallCheck(windows->ClientToScreen(pivotWindow, &pivotX, &pivotY));
    reportWindow = pivotWindow, reportX = centre.X - pivotX, reportY = centre.Y - pivotY;
  }
  auto actions = WindowActions(window);
  ReportActionPoint(reportWindow, reportX, reportY, 2);
  CallPointAction(actions.Get(), 0x2028001, x, y, 0);
  const std::uint64_t deadline = GetTickCount64() + 3000;
  for (;;) {
    VARIANT_BOOL exists = VARIANT_FALSE, visible = VARIANT_FALSE;
    SafeCallCheck(windows->WindowExists(window, &exists));
    if (exists != VARIANT_FALSE) SafeCallCheck(windows->WindowVisible(window, &visible));
    if (exists == VARIANT_FALSE || visible == VARIANT_FALSE || GetTickCount64() >= deadline) break;
    SleepMs(50);
  }
  WriteLogEntry();
}

// ---- Script interfaces ---------------------------------------------------------------------
// A script passes a variable by reference (VT_BYREF | VT_I4, VT_BYREF | VT_BSTR ...): the members
// work on the value it refers to, so an index or a text is one whichever way it came.

namespace {

OleVariant ValueOf(const VARIANT& item) {
  OleVariant value;
  OleCheck(VariantCopyInd(value.Ptr(), &item));
  return value;
}

}  // namespace

ComPtr<IDispatch> TpwWebLstBoxElement::ItemBounds(const VARIANT& item) {
  TRect controlRect, windowRect;
  std::int32_t window = 0;
  if (!GetItemRect(item, controlRect, false, windowRect, window)) return nullptr;
  auto rect = MakeObject<TpwRect>(controlRect);
  return ComPtr<IDispatch>(rect->Dispatch());
}

HRESULT TpwWebLstBoxElement::ClickItemR(const VARIANT& item, std::int32_t shift) {
  return SafeCall([&] { ClickItemAction(TpwListClick::ClickR, ValueOf(item).Get(), -1, -1, shift); });
}
HRESULT TpwWebLstBoxElement::DblClickItemR(const VARIANT& item, std::int32_t shift) {
  return SafeCall([&] { ClickItemAction(TpwListClick::DblClickR, ValueOf(item).Get(), -1, -1, shift); });
}
HRESULT TpwWebLstBoxElement::ClickItemRXY(const VARIANT& item, std::int32_t x, std::int32_t y, std::int32_t shift) {
  return SafeCall([&] { ClickItemAction(TpwListClick::ClickRXY, ValueOf(item).Get(), x, y, shift); });
}
HRESULT TpwWebLstBoxElement::DblClickItemRXY(const VARIANT& item, std::int32_t x, std::int32_t y, std::int32_t shift) {
  return SafeCall([&] { ClickItemAction(TpwListClick::DblClickRXY, ValueOf(item).Get(), x, y, shift); });
}
HRESULT TpwWebLstBoxElement::ClickItem(const VARIANT& item, std::int32_t shift) {
  return SafeCall([&] { ClickItemAction(TpwListClick::Click, ValueOf(item).Get(), -1, -1, shift); });
}
HRESULT TpwWebLstBoxElement::DblClickItem(const VARIANT& item, std::int32_t shift) {
  return SafeCall([&] { ClickItemAction(TpwListClick::DblClick, ValueOf(item).Get(), -1, -1, shift); });
}
HRESULT TpwWebLstBoxElement::ClickItemXY(const VARIANT& item, std::int32_t x, std::int32_t y, std::int32_t shift) {
  return SafeCall([&] { ClickItemAction(TpwListClick::ClickXY, ValueOf(item).Get(), x, y, shift); });
}
HRESULT TpwWebLstBoxElement::DblClickItemXY(const VARIANT& item, std::int32_t x, std::int32_t y, std::int32_t shift) {
  return SafeCall([&] { ClickItemAction(TpwListClick::DblClickXY, ValueOf(item).Get(), x, y, shift); });
}
HRESULT TpwWebLstBoxElement::SelectItem(const VARIANT& item, VARIANT_BOOL selected) {
  return SafeCall([&] { SelectListItem(ValueOf(item).Get(), selected != VARIANT_FALSE); });
}
HRESULT TpwWebLstBoxElement::MultiSelect(const VARIANT& items) {
  return SafeCall([&] { MultiSelectItems(ValueOf(items).Get()); });
}
HRESULT TpwWebLstBoxElement::get_wItemCount(std::int32_t* value) {
  return SafeCall([&] { SetOutValue(value, GetLineCount()); });
}
HRESULT TpwWebLstBoxElement::get_wItem(std::int32_t index, BSTR* value) {
  return SafeCall([&] { SetOut(value, GetItem(index)); });
}
HRESULT TpwWebLstBoxElement::get_wSelected(const VARIANT& item, VARIANT_BOOL* value) {
  return SafeCall(
      [&] { SetOutValue<VARIANT_BOOL>(value, GetSelected(ValueOf(item).Get()) ? VARIANT_TRUE : VARIANT_FALSE); });
}
HRESULT TpwWebLstBoxElement::get_wSelectedItem(std::int32_t* value) {
  return SafeCall([&] { SetOutValue(value, GetSelectedItem()); });
}
HRESULT TpwWebLstBoxElement::get_wListSeparator(BSTR* value) {
  return SafeCall([&] { SetOut(value, GetListSeparator()); });
}
HRESULT TpwWebLstBoxElement::put_wListSeparator(BSTR value) {
  return SafeCall([&] { SetListSeparator(BstrView(value)); });
}
HRESULT TpwWebLstBoxElement::get_wItemList(BSTR* value) {
  return SafeCall([&] { SetOut(value, GetItemList()); });
}
HRESULT TpwWebLstBoxElement::get_wSelectedItems(BSTR* value) {
  return SafeCall([&] { SetOut(value, GetSelectedItems()); });
}
HRESULT TpwWebLstBoxElement::get_wItemBounds(const VARIANT& item, IDispatch** value) {
  if (value) *value = nullptr;
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"No place for the rectangle", E_POINTER);
    *value = ItemBounds(ValueOf(item).Get()).Detach();
  });
}

HRESULT TpwWebComboElement::get_wText(BSTR* value) {
  return SafeCall([&] { SetOut(value, GetText()); });
}
HRESULT TpwWebComboElement::ClickItem(const VARIANT& item) {
  return SafeCall([&] { ClickComboItem(ValueOf(item).Get()); });
}
HRESULT TpwWebComboElement::get_wItemCount(std::int32_t* value) {
  return SafeCall([&] { SetOutValue(value, GetLineCount()); });
}
HRESULT TpwWebComboElement::get_wItem(std::int32_t index, BSTR* value) {
  return SafeCall([&] { SetOut(value, GetItem(index)); });
}
HRESULT TpwWebComboElement::get_wSelectedItem(std::int32_t* value) {
  return SafeCall([&] { SetOutValue(value, GetSelectedItem()); });
}
HRESULT TpwWebComboElement::get_wListSeparator(BSTR* value) {
  return SafeCall([&] { SetOut(value, GetListSeparator()); });
}
HRESULT TpwWebComboElement::put_wListSeparator(BSTR value) {
  return SafeCall([&] { SetListSeparator(BstrView(value)); });
}
HRESULT TpwWebComboElement::get_wItemList(BSTR* value) {
  return SafeCall([&] { SetOut(value, GetItemList()); });
}

}  // namespace pw::web
