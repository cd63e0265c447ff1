#include "web/controls/select_elements.h"

#include <string>

#include "core/automation/dispatch_helpers.h"
#include "core/host/module_proxy.h"
#include "platform/automation/bstr.h"
#include "platform/automation/out_params.h"
#include "platform/automation/safearray.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw::web {

namespace {

std::int32_t ToInt(const OleVariant& value, std::int32_t fallback) {
  OleVariant n;
  if (Failed(VariantChangeType(n.Ptr(), value.Ptr(), 0, VT_I4))) return fallback;
  return n.Get().lVal;
}

WideString ToText(const OleVariant& value) {
  OleVariant t;
  if (Failed(VariantChangeType(t.Ptr(), value.Ptr(), 0, VT_BSTR))) return {};
  return WideString(BstrView(t.Get().bstrVal));
}

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

WideString TpwWebComboElement::GetText() {
  auto native = GetNativeObject();
  if (native && DispHasMember(native.Get(), u"EditableComboBoxText")) {
    return ToText(DispGetProperty(native.Get(), u"EditableComboBoxText", OleVariant(u"")));
  }
  const std::int32_t selected = GetSelectedItem();
  return selected == -1 ? WideString() : LineText(native.Get(), selected);
}

}  // namespace pw::web
