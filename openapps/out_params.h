// Out parameters of the plug-ins' interface methods, set inside SafeCall: a nil pointer fails
// with E_POINTER and error information.
#pragma once

#include "platform/automation/bstr.h"
#include "platform/rtl/exceptions.h"

namespace pw {

template <class T>
void OutValue(T* out, T value) {
  if (!out) OleError(E_POINTER);
  *out = value;
}

inline void OutBool(VARIANT_BOOL* out, bool value) {
  OutValue<VARIANT_BOOL>(out, value ? VARIANT_TRUE : VARIANT_FALSE);
}

// A new BSTR with the text; the caller frees it.
inline void OutText(BSTR* out, WideStringView text) {
  if (!out) OleError(E_POINTER);
  *out = SysAllocString(text);
}

}  // namespace pw
