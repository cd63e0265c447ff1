// The text the commands print for an array of VARIANTs, such as the key and value arrays a hook
// agent receives: "[N: a, b, ...]", each element shown by the command's own value text.
#pragma once

#include <cstdint>
#include <string>

#include "platform/automation/safearray.h"
#include "platform/automation/variant.h"

namespace pw::host {

using ValueTextProc = std::string (*)(const OleVariant& v);

// An array of VARIANTs in brackets with its count; anything else as valueText shows it.
inline std::string ArrayText(const OleVariant& v, ValueTextProc valueText) {
  const VARIANT& x = v.Get();
  if (x.vt != (VT_ARRAY | VT_VARIANT) || !x.parray) return valueText(v);
  std::int32_t lo = 0, hi = -1;
  SafeArrayGetLBound(x.parray, 1, &lo);
  SafeArrayGetUBound(x.parray, 1, &hi);
  std::string text = "[" + std::to_string(hi - lo + 1) + ":";
  for (std::int32_t i = lo; i <= hi; ++i) {
    OleVariant item;
    SafeArrayGetElement(x.parray, &i, item.Put());
    text += " " + valueText(item) + (i < hi ? "," : "");
  }
  return text + "]";
}

}  // namespace pw::host
