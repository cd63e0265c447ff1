// TpwWebIE8EditControl: an edit element's PostKeys (IpwWebEditControl): the mouse first rests on
// the top-left corner of the element's parent ("HoverMouse"(0, 0) on the node's "Parent"), then
// the keys go to the element ("Keys"(Keys)); both late-bound on the slice's node. A detached
// slice ignores the call; a failing member is the call's failure.
#pragma once

#include "interfaces/pwWebTesting.h"
#include "openapps/extensions/node_slice.h"

namespace pw::web {

class TpwWebIE8EditControl final : public AutoImplements<TpwNodeSlice, IpwWebEditControl> {
 public:
  TpwWebIE8EditControl() : AutoImplements(std::vector<IID>{IpwWebEditControl::iid}) {}
  HRESULT PostKeys(BSTR keys) override;
};

}  // namespace pw::web
