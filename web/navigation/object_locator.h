// TpwWebObjectLocator: the slice that gives page and frame nodes Find (IpwWebObjectLocator).
//
// Find (PropertyName, KeyValue, TagName): refreshes the node, then walks the nodes below it
// depth first (each child tested before its own children). A node passes when, with a TagName,
// its "tagName" equals it ignoring case, it knows the member PropertyName, and that member
// matches KeyValue (texts ignoring case or as a wildcard mask; an object value through its
// default member). A node whose test raises is skipped. Nothing found: the host's object for
// "item" (a placeholder whose Exists is False). Without a node: nil.
#pragma once

#include "interfaces/pwWebTesting.h"
#include "openapps/extensions/node_slice.h"

namespace pw::web {

class TpwWebObjectLocator : public AutoImplements<TpwNodeSlice, IpwWebObjectLocator> {
 public:
  explicit TpwWebObjectLocator(IcvBaseManager* manager,
                               std::vector<IID> iids = std::vector<IID>{IpwWebObjectLocator::iid});

  HRESULT Find(BSTR propertyName, const VARIANT& keyValue, const VARIANT& tagName, IDispatch** value) override;

 protected:
  ComPtr<IcvBaseManager> manager_;
};

}  // namespace pw::web
