// Small helpers shared by the test host's service objects. Out parameters follow the
// platform's one rule (platform/automation/out_params.h).
#pragma once

#include <utility>

#include "platform/automation/bstr.h"
#include "platform/automation/out_params.h"
#include "platform/com/comobject.h"
#include "platform/rtl/exceptions.h"
#include "platform/automation/variant.h"

namespace pw::host {

// An operation of a host interface that the test host does not serve.
#define PW_HOST_RESERVED(n) \
  HRESULT Reserved##n() override { return E_NOTIMPL; }

// An index outside 0 .. count - 1 is a bad argument.
inline void CheckIndex(long index, std::size_t count) {
  if (index < 0 || static_cast<std::size_t>(index) >= count) throw EOleSysError(u"Index out of range", E_INVALIDARG);
}

// A list's size as an out count.
template <class List>
void SetOutCount(std::int32_t* out, const List& list) {
  SetOutValue(out, static_cast<std::int32_t>(list.size()));
}

// The item of a list at an index (checked), handed out through SetOut.
template <class Out, class List>
void SetOutItem(Out* out, const List& list, long index) {
  CheckIndex(index, list.size());
  SetOut(out, list[static_cast<std::size_t>(index)]);
}

}  // namespace pw::host
