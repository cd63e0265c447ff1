// Small variant helpers: the type of a value behind references, and a three-way comparison.
#pragma once

#include "platform/automation/variant.h"

namespace pw {

// The variant's type without the by-reference bit; a reference to a variant is followed to the
// variant it refers to (a chain that refers back to itself stops at the depth limit of
// VariantDeref).
VARTYPE GetVarTypeNoRef(const VARIANT& v) noexcept;

// -1, 0 or 1, chosen by the type of A: numbers compare as reals (equal when they differ by less
// than 1e-10), strings ignoring case, Booleans as Booleans (1 when A is true and B is not); any
// other type of A gives 0. B is converted to A's kind; a B that cannot be converted raises
// EOleSysError with DISP_E_TYPEMISMATCH.
int SameVariantValue(const VARIANT& a, const VARIANT& b);

}  // namespace pw
