// Out parameters of interface methods: the one rule for a nil out pointer. Each helper raises
// "Invalid pointer" (EOleSysError, E_POINTER) before it writes anything, so a method whose body
// runs inside SafeCall answers E_POINTER with that error information; nothing is written
// through a nil pointer and nothing is allocated for it.
#pragma once

#include <type_traits>

#include "platform/automation/bstr.h"
#include "platform/automation/variant.h"
#include "platform/rtl/exceptions.h"

namespace pw {

// The out pointer itself, checked: raises E_POINTER for nil.
template <class T>
T* CheckOut(T* out) {
  if (!out) OleError(E_POINTER);
  return out;
}

// A plain value (integers, GUIDs, handles...).
template <class T>
void SetOutValue(T* out, std::type_identity_t<T> value) {
  CheckOut(out);
  *out = value;
}

inline void SetOutBool(VARIANT_BOOL* out, bool value) { SetOutValue(out, value ? VARIANT_TRUE : VARIANT_FALSE); }

// A new BSTR with the text; the caller frees it.
inline void SetOut(BSTR* out, WideStringView text) {
  CheckOut(out);  // first: the right side of an assignment is evaluated before its left
  *out = SysAllocString(text);
}

// An interface with a reference of its own (nil stays nil).
template <class I, class P>
requires requires(const P& p) { p.Get(); }
void SetOut(I** out, const P& p) {
  CheckOut(out);
  *out = p ? static_cast<I*>(p.Get()) : nullptr;
  if (*out) (*out)->AddRef();
}

// A copy of a variant.
inline void SetOut(VARIANT* out, const OleVariant& v) {
  CheckOut(out);
  VariantInit(out);
  OleCheck(VariantCopy(out, v.Ptr()));
}

}  // namespace pw
