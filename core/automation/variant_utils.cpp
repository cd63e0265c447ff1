#include "core/automation/variant_utils.h"

#include <cmath>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw {

VARTYPE GetVarTypeNoRef(const VARIANT& v) noexcept {
  const VARIANT* p = &v;
  // A chain that refers back to itself ends at the same depth as everywhere else.
  for (int depth = 0; depth < kMaxVariantReferenceDepth && p->vt == (VT_BYREF | VT_VARIANT) && p->pvarVal; ++depth)
    p = p->pvarVal;
  return static_cast<VARTYPE>(p->vt & 0xBFFF);
}

namespace {

// B as A's kind; raises on a value that has no such form.
OleVariant Converted(const VARIANT& b, VARTYPE vt) {
  OleVariant out;
  HRESULT hr = VariantChangeType(out.Put(), &VariantDeref(b), 0, vt);
  if (Failed(hr)) throw EOleSysError(HResultMessage(hr), hr);
  return out;
}

}  // namespace

int SameVariantValue(const VARIANT& a0, const VARIANT& b) {
  const VARIANT& a = VariantDeref(a0);
  switch (a.vt) {
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8: {
      const double x = Converted(a, VT_R8).Get().dblVal;
      const double y = Converted(b, VT_R8).Get().dblVal;
      if (std::fabs(x - y) < 1e-10) return 0;
      return x < y ? -1 : 1;
    }
    case VT_BSTR: {
      const int c = CompareTextIgnoringCase(BstrView(a.bstrVal), BstrView(Converted(b, VT_BSTR).Get().bstrVal));
      return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    case VT_BOOL: {
      const bool x = a.boolVal != VARIANT_FALSE;
      const bool y = Converted(b, VT_BOOL).Get().boolVal != VARIANT_FALSE;
      if (x == y) return 0;
      return x ? 1 : -1;
    }
    default:
      return 0;
  }
}

}  // namespace pw
