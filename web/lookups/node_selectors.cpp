#include "web/lookups/node_selectors.h"

#include "core/automation/dispatch_helpers.h"
#include "core/host/invoke_expressions.h"
#include "openapps/extensions/node_utils.h"
#include "platform/automation/bstr.h"
#include "platform/automation/safearray.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "web/navigation/node_facts.h"

namespace pw::web {

ComPtr<IpwObjectContext2> NodeObjectContext(IUnknown* node) {
  if (!QueryAs<IpwNativeContext>(node)) return nullptr;
  auto ex = QueryAs<IpwSysNodeEx>(node);
  if (!ex) return nullptr;
  ComPtr<IUnknown> object;
  SafeCallCheck(ex->GetContextObject(kContextItemKey, object.Put()));
  return QueryAs<IpwObjectContext2>(object.Get());
}

ComPtr<IDispatch> NodePageObject(IUnknown* node) {
  auto context = NodeObjectContext(node);
  if (!context) return nullptr;
  ComPtr<IDispatch> object;
  SafeCallCheck(context->GetObject(object.Put()));
  return object;
}

WideString NodeContextIdentifier(IUnknown* node) {
  auto context = NodeObjectContext(node);
  if (!context) return {};
  BString identifier;
  SafeCallCheck(context->GetIdentifier(identifier.Put()));
  return identifier.Str();
}

namespace {

void IndexChildren(IpwSysNode* node, TpwIdentifierIndex& index) {
  TpwSysNodeChildren children;
  GetSysNodeChildren(node, false, children);
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    WideString identifier = NodeContextIdentifier(it->Get());
    if (!identifier.empty()) index.try_emplace(std::move(identifier), *it);
    IndexChildren(it->Get(), index);
  }
}

// The array of a Variant (also by reference); nil for anything else.
SAFEARRAY* ArrayOf(VARIANT& v) {
  if ((v.vt & VT_ARRAY) && !(v.vt & VT_BYREF)) return v.parray;
  if (v.vt == (VT_VARIANT | VT_BYREF) && v.pvarVal) return ArrayOf(*v.pvarVal);
  return nullptr;
}

WideString ElementIdentifier(IDispatch* element) {
  try {
    return DispInvokeId(element, kDispElementIdentifier, u"the element's identifier", {}, DISPATCH_PROPERTYGET)
        .AsString();
  } catch (const std::exception&) {
    return {};
  }
}

ComPtr<IDispatch> ElementTestObject(IDispatch* element) {
  try {
    return VarToDispatch(
        DispInvokeId(element, kDispElementTestObject, u"the element's test object", {}, DISPATCH_PROPERTYGET).Get());
  } catch (const std::exception&) {
    return nullptr;
  }
}

}  // namespace

void IndexSubtree(IpwSysNode* node, TpwIdentifierIndex& index) {
  if (!node) return;
  SafeCallCheck(node->Update());
  IndexChildren(node, index);
}

OleVariant ConvertSelectorResult(IpwSysNode* node, const VARIANT& result, bool single) {
  if (single && (result.vt == VT_EMPTY || result.vt == VT_NULL)) return OleVariant(static_cast<IDispatch*>(nullptr));
  OleVariant copy(result);
  SAFEARRAY* array = ArrayOf(copy.Get());
  if (!array) return copy;
  VARTYPE type = VT_EMPTY;
  OleCheck(SafeArrayGetVartype(array, &type));
  if (type != VT_VARIANT) return copy;  // only arrays of Variants hold objects
  std::int32_t low = 0, high = -1;
  OleCheck(SafeArrayGetLBound(array, 1, &low));
  OleCheck(SafeArrayGetUBound(array, 1, &high));
  bool indexed = false;
  TpwIdentifierIndex index;
  for (std::int32_t i = low; i <= high; ++i) {
    OleVariant item;
    OleCheck(SafeArrayGetElement(array, &i, item.Put()));
    if (item.Type() != VT_DISPATCH || !item.Get().pdispVal) continue;
    IDispatch* element = item.Get().pdispVal;
    ComPtr<IDispatch> found;
    const WideString identifier = ElementIdentifier(element);
    if (!identifier.empty() && node) {
      if (!indexed) {
        IndexSubtree(node, index);
        indexed = true;
      }
      if (auto at = index.find(identifier); at != index.end()) found = DispatchOf(at->second.Get());
    }
    if (!found) found = ElementTestObject(element);
    if (!found) continue;
    if (single) return OleVariant(found.Get());
    OleVariant replacement(found.Get());
    OleCheck(SafeArrayPutElement(array, &i, replacement.Ptr()));
  }
  return copy;
}

OleVariant TpwNodeSelector::CallPageSide(DISPID id, const char16_t* name, BSTR text, bool flag,
                                         ComPtr<IpwSysNode>& node) {
  node = GetSliceNode();
  auto page = node ? NodePageObject(node.Get()) : nullptr;
  if (!page) {
    node = nullptr;
    return {};
  }
  const OleVariant args[] = {OleVariant(WideStringView(text ? text : u"")), OleVariant(flag)};
  return DispInvokeId(page.Get(), id, name, args, DISPATCH_METHOD);
}

namespace {

bool OptionalFlag(const VARIANT& v) {
  const VARIANT& value = (v.vt == (VT_VARIANT | VT_BYREF) && v.pvarVal) ? *v.pvarVal : v;
  if (value.vt == VT_EMPTY || value.vt == VT_ERROR) return false;  // left out
  return OleVariant(value).AsBool();
}

void CheckOut(void* out) {
  if (!out) throw EOleSysError(u"No place for the result", E_POINTER);
}

}  // namespace

HRESULT TpwEvaluateXPath::EvaluateXPath(BSTR xpath, const VARIANT& searchInFrames, VARIANT* value) {
  return SafeCall([&] {
    CheckOut(value);
    VariantInit(value);
    ComPtr<IpwSysNode> node;
    OleVariant raw = CallPageSide(kDispEvaluateXPath, u"EvaluateXPath", xpath, OptionalFlag(searchInFrames), node);
    *value = ConvertSelectorResult(node.Get(), raw.Get(), false).Detach();
  });
}

HRESULT TpwEvaluateXPath::FindChildByXPath(BSTR xpath, const VARIANT& searchInFrames, IDispatch** value) {
  return SafeCall([&] {
    CheckOut(value);
    *value = nullptr;
    OleVariant result;
    SafeCallCheck(EvaluateXPath(xpath, searchInFrames, result.Put()));
    SAFEARRAY* array = ArrayOf(result.Get());
    if (!array) return;
    VARTYPE type = VT_EMPTY;
    OleCheck(SafeArrayGetVartype(array, &type));
    if (type != VT_VARIANT) return;
    std::int32_t low = 0, high = -1;
    OleCheck(SafeArrayGetLBound(array, 1, &low));
    OleCheck(SafeArrayGetUBound(array, 1, &high));
    ComPtr<IDispatch> first;
    for (std::int32_t i = low; i <= high; ++i) {
      OleVariant item;
      OleCheck(SafeArrayGetElement(array, &i, item.Put()));
      if (item.Type() != VT_DISPATCH || !item.Get().pdispVal) continue;
      if (QueryAs<IpwSysNode>(item.Get().pdispVal)) {
        *value = ComPtr<IDispatch>(item.Get().pdispVal).Detach();
        return;
      }
      if (!first) first = item.Get().pdispVal;
    }
    *value = first.Detach();
  });
}

HRESULT TpwCssSelectorMethods::QuerySelector(BSTR selector, VARIANT* value) {
  return SafeCall([&] {
    CheckOut(value);
    VariantInit(value);
    ComPtr<IpwSysNode> node;
    OleVariant raw = CallPageSide(kDispQueryCssSelector, u"QuerySelector", selector, true, node);
    if (!node) return;  // no page object: Empty
    *value = ConvertSelectorResult(node.Get(), raw.Get(), true).Detach();
  });
}

HRESULT TpwCssSelectorMethods::QuerySelectorAll(BSTR selector, VARIANT* value) {
  return SafeCall([&] {
    CheckOut(value);
    VariantInit(value);
    ComPtr<IpwSysNode> node;
    OleVariant raw = CallPageSide(kDispQueryCssSelector, u"QuerySelectorAll", selector, false, node);
    *value = ConvertSelectorResult(node.Get(), raw.Get(), false).Detach();
  });
}

}  // namespace pw::web
