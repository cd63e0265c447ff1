#include "web/navigation/object_locator.h"

#include <optional>

#include "core/automation/dispatch_helpers.h"
#include "core/host/host_services.h"
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

// The node property that lists a node's live members, each name followed by ";".
constexpr GUID kLiveMembersProperty = MakeGuid("{6A1C2E47-0B9D-4F35-A8E2-93D7C41F5B60}");

// A member the node reads from its element at each call (value, checked): Find compares what the
// nodes know, and testing such a member would cost a page round trip per node.
bool IsLiveMember(IpwSysNode* node, const char16_t* property) {
  auto ex = QueryAs<IpwSysNodeEx>(node);
  if (!ex) return false;
  OleVariant names;
  if (Failed(ex->GetPropertyValue(kLiveMembersProperty, names.Ptr())) || names.Get().vt != VT_BSTR) return false;
  const WideStringView list = BstrView(names.Get().bstrVal);
  const WideStringView wanted(property);
  for (std::size_t at = 0; at < list.size();) {
    std::size_t end = list.find(u';', at);
    if (end == WideStringView::npos) end = list.size();
    if (SameTextIgnoringCase(list.substr(at, end - at), wanted)) return true;
    at = end + 1;
  }
  return false;
}

bool ElementMatches(IpwSysNode* node, const char16_t* property, const VARIANT& key, WideStringView tag) {
  try {
    auto d = DispatchOf(node);
    if (!d) return false;
    if (!tag.empty() && !SameTextIgnoringCase(NodeText(node, u"tagName"), tag)) return false;
    if (!DispHasMember(d.Get(), property)) return false;
    if (IsLiveMember(node, property)) return false;
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

// The text that a node's text member is compared with: the key as text, as the comparison
// converts it for a text; nothing when it has no text form.
std::optional<WideString> KeyAsText(const VARIANT& key) {
  if (key.vt == VT_BSTR) return WideString(BstrView(key.bstrVal));
  OleVariant text;
  if (Failed(VariantChangeType(text.Ptr(), &key, 0, VT_BSTR))) return std::nullopt;
  return WideString(BstrView(text.Get().bstrVal));
}

}  // namespace

std::optional<ComPtr<IpwSysNode>> SearchWithNode(IpwSysNode* node, const char16_t* property, const VARIANT& key,
                                                 WideStringView tag) {
  auto search = QueryAs<IpwSysNodeElementSearch>(node);
  if (!search) return std::nullopt;
  const auto text = KeyAsText(key);
  if (!text) return std::nullopt;
  BString name(property), wanted(*text), tagName(tag);
  ComPtr<IpwSysNodeIterator> candidates;
  VARIANT_BOOL complete = VARIANT_FALSE;
  if (Failed(search->FindElementCandidates(name.Get(), wanted.Get(), tagName.Get(), kSearchCandidates, candidates.Put(),
                                           &complete)) ||
      !candidates) {
    return std::nullopt;  // not answered, or the question failed: the walk decides
  }
  ComPtr<IpwSysNode> found;
  ForEachHostItem<IpwSysNode>(candidates.Get(), [&](IpwSysNode* candidate) {
    if (!found && ElementMatches(candidate, property, key, tag)) found = candidate;
  });
  if (found || complete) return found;
  return std::nullopt;
}

ComPtr<IpwSysNode> WalkForElement(IpwSysNode* node, const char16_t* property, const VARIANT& key, WideStringView tag) {
  if (auto ex = QueryAs<IpwSysNodeEx>(node)) SafeCallCheck(ex->Refresh());
  return SearchBelow(node, property, key, tag);
}

HRESULT TpwWebObjectLocator::Find(BSTR propertyName, const VARIANT& keyValue, const VARIANT& tagName,
                                  IDispatch** value) {
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"No place for the object", E_POINTER);
    *value = nullptr;
    auto node = GetSliceNode();
    if (!node) return;
    const WideString property(propertyName ? WideStringView(propertyName) : WideStringView());
    const WideString tag = OptionalText(tagName);
    OleVariant key;
    OleCheck(VariantCopyInd(key.Put(), &keyValue));
    ComPtr<IDispatch> answer;
    auto found = SearchWithNode(node.Get(), property.c_str(), key.Get(), tag);
    if (!found) found = WalkForElement(node.Get(), property.c_str(), key.Get(), tag);
    if (*found) answer = DispatchOf(found->Get());
    else answer = DispatchOf(FindPageByIdentification(manager_.Get(), u"item").Get());
    *value = answer.Detach();
  });
}

}  // namespace pw::web
