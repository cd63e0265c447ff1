// TpwWebObjectLocator: the slice that gives page and frame nodes Find (IpwWebObjectLocator).
//
// Find (PropertyName, KeyValue, TagName): the first node below the node, depth first (each child
// tested before its own children), that passes: with a TagName, its "tagName" equals it ignoring
// case, it knows the member PropertyName (not a live member, which a node reads from its element at
// each call: those its property {6A1C2E47-...} lists), and that member matches KeyValue (texts ignoring case
// or as a wildcard mask; an object value through its default member). A node whose test raises is
// skipped. Nothing found: the host's object for "item" (a placeholder whose Exists is False).
// Without a node: nil.
//
// A node that searches below itself in one read (IpwSysNodeElementSearch: the page and element
// nodes of tested pages) is asked first: its candidates are tested in order with the same rule,
// and its answer stands when one passes or its list was complete. Otherwise (no such interface,
// a property it does not answer, a key without a text form, a failure, candidates that all fail
// while more may follow) the node is refreshed and the nodes below it walked.
#pragma once

#include <optional>

#include "interfaces/pwWebTesting.h"
#include "openapps/extensions/node_slice.h"

namespace pw::web {

// How many candidates Find asks a searching node for.
inline constexpr std::int32_t kSearchCandidates = 16;

// The node's own search: the found node (nil: none below it), or nothing when the node did not
// decide (the caller walks).
std::optional<ComPtr<IpwSysNode>> SearchWithNode(IpwSysNode* node, const char16_t* property, const VARIANT& key,
                                                 WideStringView tag);
// The walk: refreshes the node, then tests the nodes below it depth first.
ComPtr<IpwSysNode> WalkForElement(IpwSysNode* node, const char16_t* property, const VARIANT& key, WideStringView tag);

class TpwWebObjectLocator : public AutoImplements<TpwNodeSlice, IpwWebObjectLocator> {
 public:
  explicit TpwWebObjectLocator(IcvBaseManager* manager,
                               std::vector<IID> iids = std::vector<IID>{IpwWebObjectLocator::iid});

  HRESULT Find(BSTR propertyName, const VARIANT& keyValue, const VARIANT& tagName, IDispatch** value) override;

 protected:
  ComPtr<IcvBaseManager> manager_;
};

}  // namespace pw::web
