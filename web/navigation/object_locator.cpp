#include "web/navigation/object_locator.h"

#include "core/automation/dispatch_helpers.h"
#include "openapps/extensions/node_utils.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/page_search.h"

namespace pw::web {

TpwWebObjectLocator::TpwWebObjectLocator(IcvBaseManager* manager, std::vector<IID> iids)
    : AutoImplements(std::move(iids)), manager_(manager) {}

namespace {

WideString OptionalText(const VARIANT& v) {
  const VARIANT* at = &v;
  while (at->vt == (VT_BYREF | VT_VARIANT) && at->pvarVal) at = at->pvarVal;
  if (at->vt == VT_EMPTY || at->vt == VT_ERROR || at->vt == VT_NULL) return {};
  OleVariant copy;
  OleCheck(VariantCopyInd(copy.Put(), at));
  return copy.AsString();
}

bool ElementMatches(IpwSysNode* node, const char16_t* property, const VARIANT& key, WideStringView tag) {
  try {
    auto d = DispatchOf(node);
    if (!d) return false;
    if (!tag.empty() && !SameTextIgnoringCase(NodeText(node, u"tagName"), tag)) return false;
    if (!DispHasMember(d.Get(), property)) return false;
    return DispPropertyMatches(d.Get(), property, key);
  } catch (const EOleSysError&) {
    return false;  // an element that raises is skipped
  }
}

ComPtr<IpwSysNode> SearchBelow(IpwSysNode* node, const char16_t* property, const VARIANT& key, WideStringView tag) {
  TpwSysNodeChildren children;
  GetSysNodeChildren(node, false, children);
  for (const auto& child : children) {
    if (ElementMatches(child.Get(), property, key, tag)) return child;
    if (auto found = SearchBelow(child.Get(), property, key, tag)) return found;
  }
  return nullptr;
}

}  // namespace

HRESULT TpwWebObjectLocator::Find(BSTR propertyName, const VARIANT& keyValue, const VARIANT& tagName,
                                  IDispatch** value) {
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"No place for the object", E_POINTER);
    *value = nullptr;
    auto node = GetSliceNode();
    if (!node) return;
    if (auto ex = QueryAs<IpwSysNodeEx>(node.Get())) SafeCallCheck(ex->Refresh());
    const WideString property(propertyName ? WideStringView(propertyName) : WideStringView());
    const WideString tag = OptionalText(tagName);
    OleVariant key;
    OleCheck(VariantCopyInd(key.Put(), &keyValue));
    ComPtr<IDispatch> answer;
    if (auto found = SearchBelow(node.Get(), property.c_str(), key.Get(), tag)) answer = DispatchOf(found.Get());
    else answer = DispatchOf(FindPageByIdentification(manager_.Get(), u"item").Get());
    *value = answer.Detach();
  });
}

}  // namespace pw::web
