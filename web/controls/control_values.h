// The values the element controls read from late-bound members: a number or a text, with what a
// member answers when the value does not convert. Shared by the select and tab controls.
#pragma once

#include <cstdint>

#include "platform/automation/bstr.h"
#include "platform/automation/variant.h"

namespace pw::web {

inline std::int32_t ToInt(const OleVariant& value, std::int32_t fallback) {
  OleVariant n;
  if (Failed(VariantChangeType(n.Ptr(), value.Ptr(), 0, VT_I4))) return fallback;
  return n.Get().lVal;
}

inline WideString ToText(const OleVariant& value) {
  OleVariant t;
  if (Failed(VariantChangeType(t.Ptr(), value.Ptr(), 0, VT_BSTR))) return {};
  return WideString(BstrView(t.Get().bstrVal));
}

}  // namespace pw::web
