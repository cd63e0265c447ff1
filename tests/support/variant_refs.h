// VARIANT references as callers hand them in (VT_BYREF and the referred type).
#pragma once

#include "platform/automation/variant.h"

namespace pw::test {

// A reference of type VT_BYREF | type to target; the target outlives it.
inline VARIANT ByRef(VARTYPE type, void* target) {
  VARIANT v;
  VariantInit(&v);
  v.vt = static_cast<VARTYPE>(VT_BYREF | type);
  v.byref = target;
  return v;
}

}  // namespace pw::test
