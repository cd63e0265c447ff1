#include "platform/automation/variant.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "platform/com/comptr.h"
#include "platform/automation/dispatch.h"
#include "platform/rtl/exceptions.h"
#include "platform/automation/safearray.h"
#include "platform/rtl/strings.h"

// Coercion table of VariantChangeType (source down, target across):
//
//   from \ to       integers         R4/R8/DATE    CY            BOOL        BSTR            DISPATCH/UNKNOWN
//   EMPTY           0                0             0             False       ""              nil
//   NULL            mismatch         mismatch      mismatch      mismatch    mismatch        mismatch
//   integers        range-checked    value         value*10000   <> 0        decimal         mismatch
//   BOOL            True = -1 (*)    -1 / 0        -1 / 0        copy        "True"/"False"  mismatch
//   R4/R8/DATE      round half even  value (**)    rounded       <> 0        "%.7G"/"%.15G"  mismatch
//   CY              round half even  value         copy          <> 0        fixed point     mismatch
//   BSTR            parsed           parsed        parsed        word/number copy            mismatch
//   DISPATCH        its default value (DISPID_VALUE), converted; with VARIANT_NOVALUEPROP mismatch
//   UNKNOWN         mismatch, except to DISPATCH/UNKNOWN by interface query
//   ERROR           only to ERROR
//
// (*) to an unsigned type True wraps (255 for UI1). (**) R4 overflows past FLT_MAX; DATE past
// its range (-657434 .. 2958465). Out-of-range values give DISP_E_OVERFLOW, unconvertible ones
// DISP_E_TYPEMISMATCH. DATE values convert as numbers only: date texts are not read or written.
// EMPTY and NULL convert only among themselves. Texts are read and written locale-neutrally.

namespace pw {

namespace {

bool IsKnownScalar(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE:
    case VT_BSTR: case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_UNKNOWN: case VT_I1: case VT_UI1:
    case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
      return true;
    default:
      return false;
  }
}

bool IsValidType(VARTYPE vt) {
  if (vt & VT_ARRAY) {
    VARTYPE base = vt & ~(VT_ARRAY | VT_BYREF);
    return base == VT_VARIANT || (IsKnownScalar(base) && base != VT_EMPTY && base != VT_NULL);
  }
  if (vt & VT_BYREF) {
    VARTYPE base = vt & ~VT_BYREF;
    return base == VT_VARIANT || (IsKnownScalar(base) && base != VT_EMPTY && base != VT_NULL);
  }
  return IsKnownScalar(vt);
}

// Size of the value a by-reference variant points to.
std::size_t ScalarSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
    case VT_BSTR: case VT_DISPATCH: case VT_UNKNOWN: return sizeof(void*);
    default: return 0;
  }
}

// A number on its way between two types.
struct Number {
  enum Kind { Signed, Unsigned, Real, Currency } kind = Signed;
  std::int64_t i = 0;  // Signed, Currency (scaled by 10000)
  std::uint64_t u = 0;
  double d = 0;
  bool fromBool = false;
};

// Integer division by 10000 rounding half to even.
std::int64_t CurrencyToInteger(std::int64_t c) {
  std::int64_t q = c / 10000, r = c % 10000;
  std::int64_t twice = (r < 0 ? -r : r) * 2;
  if (twice > 10000 || (twice == 10000 && (q & 1))) q += (c < 0 ? -1 : 1);
  return q;
}

// A decimal number: an optional sign, digits with an optional '.' (at least one digit), and an
// optional exponent. Nothing else reads as a number: no "inf" or "nan", no hexadecimal.
bool IsDecimalNumber(std::string_view t) {
  auto digit = [&](std::size_t i) { return i < t.size() && t[i] >= '0' && t[i] <= '9'; };
  std::size_t i = 0, digits = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  for (; digit(i); ++i) ++digits;
  if (i < t.size() && t[i] == '.')
    for (++i; digit(i); ++i) ++digits;
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    if (!digit(i)) return false;
    while (digit(i)) ++i;
  }
  return i == t.size();
}

bool ParseNumber(WideStringView text, Number& out) {
  std::string s;
  s.reserve(text.size());
  for (char16_t c : text) {
    if (c > 0x7F) return false;
    s.push_back(static_cast<char>(c));
  }
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  if (!IsDecimalNumber(std::string_view(s).substr(b, e - b))) return false;
  const char* first = s.data() + b;
  const char* last = s.data() + e;
  if (*first == '+') ++first;
  std::int64_t iv = 0;
  auto ri = std::from_chars(first, last, iv);
  if (ri.ec == std::errc() && ri.ptr == last) {
    out.kind = Number::Signed;
    out.i = iv;
    return true;
  }
  std::uint64_t uv = 0;
  auto ru = std::from_chars(first, last, uv);
  if (ru.ec == std::errc() && ru.ptr == last) {
    out.kind = Number::Unsigned;
    out.u = uv;
    return true;
  }
  double dv = 0;
  auto rd = std::from_chars(first, last, dv, std::chars_format::general);
  if (rd.ptr != last) return false;
  if (rd.ec == std::errc::result_out_of_range) {
    // Too large a magnitude overflows; too small a one (a negative exponent) reads as zero.
    std::string_view num(first, static_cast<std::size_t>(last - first));
    auto e = num.find_first_of("eE");
    bool tiny = e != std::string_view::npos && e + 1 < num.size() && num[e + 1] == '-';
    if (!tiny) {
      out.kind = Number::Real;
      out.d = std::numeric_limits<double>::infinity();
      return true;
    }
    dv = 0;
  } else if (rd.ec != std::errc()) {
    return false;
  }
  out.kind = Number::Real;
  out.d = dv;
  return true;
}

// Reads a scalar variant as a number. S_OK, or DISP_E_TYPEMISMATCH.
HRESULT ToNumber(const VARIANT& v, Number& n) {
  switch (v.vt) {
    case VT_EMPTY: n.kind = Number::Signed; n.i = 0; return S_OK;
    case VT_I1: n.i = v.cVal; return S_OK;
    case VT_I2: n.i = v.iVal; return S_OK;
    case VT_I4: case VT_INT: n.i = v.lVal; return S_OK;
    case VT_I8: n.i = v.llVal; return S_OK;
    case VT_UI1: n.kind = Number::Unsigned; n.u = v.bVal; return S_OK;
    case VT_UI2: n.kind = Number::Unsigned; n.u = v.uiVal; return S_OK;
    case VT_UI4: case VT_UINT: n.kind = Number::Unsigned; n.u = v.ulVal; return S_OK;
    case VT_UI8: n.kind = Number::Unsigned; n.u = v.ullVal; return S_OK;
    case VT_BOOL: n.i = v.boolVal ? -1 : 0; n.fromBool = true; return S_OK;
    case VT_R4: n.kind = Number::Real; n.d = v.fltVal; return S_OK;
    case VT_R8: n.kind = Number::Real; n.d = v.dblVal; return S_OK;
    case VT_DATE: n.kind = Number::Real; n.d = v.date; return S_OK;
    case VT_CY: n.kind = Number::Currency; n.i = v.cyVal.int64; return S_OK;
    case VT_BSTR: return ParseNumber(BstrView(v.bstrVal), n) ? S_OK : DISP_E_TYPEMISMATCH;
    default: return DISP_E_TYPEMISMATCH;
  }
}

struct IntRange {
  std::int64_t min;
  std::uint64_t max;
  bool isUnsigned;
};

IntRange RangeOf(VARTYPE vt) {
  switch (vt) {
    case VT_I1: return {-128, 127, false};
    case VT_UI1: return {0, 255, true};
    case VT_I2: return {-32768, 32767, false};
    case VT_UI2: return {0, 65535, true};
    case VT_I4: case VT_INT: return {std::numeric_limits<std::int32_t>::min(), 0x7FFFFFFF, false};
    case VT_UI4: case VT_UINT: return {0, 0xFFFFFFFFu, true};
    case VT_I8: return {std::numeric_limits<std::int64_t>::min(), 0x7FFFFFFFFFFFFFFFull, false};
    default: return {0, 0xFFFFFFFFFFFFFFFFull, true};  // VT_UI8
  }
}

void StoreInteger(VARIANT& out, VARTYPE vt, std::uint64_t bits) {
  out.vt = vt;
  switch (vt) {
    case VT_I1: out.cVal = static_cast<std::int8_t>(bits); break;
    case VT_UI1: out.bVal = static_cast<std::uint8_t>(bits); break;
    case VT_I2: out.iVal = static_cast<std::int16_t>(bits); break;
    case VT_UI2: out.uiVal = static_cast<std::uint16_t>(bits); break;
    case VT_I4: case VT_INT: out.lVal = static_cast<std::int32_t>(bits); break;
    case VT_UI4: case VT_UINT: out.ulVal = static_cast<std::uint32_t>(bits); break;
    default: out.ullVal = bits; break;
  }
}

HRESULT NumberToInteger(const Number& n, VARTYPE vt, VARIANT& out) {
  IntRange r = RangeOf(vt);
  switch (n.kind) {
    case Number::Signed:
    case Number::Currency: {
      std::int64_t v = n.kind == Number::Currency ? CurrencyToInteger(n.i) : n.i;
      if (v < 0) {
        if (r.isUnsigned) {
          if (!n.fromBool) return DISP_E_OVERFLOW;
          StoreInteger(out, vt, static_cast<std::uint64_t>(v));  // True wraps to all ones
          return S_OK;
        }
        if (v < r.min) return DISP_E_OVERFLOW;
      } else if (static_cast<std::uint64_t>(v) > r.max) {
        return DISP_E_OVERFLOW;
      }
      StoreInteger(out, vt, static_cast<std::uint64_t>(v));
      return S_OK;
    }
    case Number::Unsigned:
      if (n.u > r.max) return DISP_E_OVERFLOW;
      StoreInteger(out, vt, n.u);
      return S_OK;
    case Number::Real: {
      double d = std::nearbyint(n.d);  // the default rounding mode: half to even
      if (std::isnan(d)) return DISP_E_OVERFLOW;
      if (r.isUnsigned) {
        if (d < 0 || d >= 18446744073709551616.0 || d > static_cast<double>(r.max)) return DISP_E_OVERFLOW;
        StoreInteger(out, vt, static_cast<std::uint64_t>(d));
      } else {
        if (d < -9223372036854775808.0 || d >= 9223372036854775808.0) return DISP_E_OVERFLOW;
        auto v = static_cast<std::int64_t>(d);
        if (v < r.min || v > static_cast<std::int64_t>(r.max)) return DISP_E_OVERFLOW;
        StoreInteger(out, vt, static_cast<std::uint64_t>(v));
      }
      return S_OK;
    }
  }
  return DISP_E_TYPEMISMATCH;
}

double NumberToDouble(const Number& n) {
  switch (n.kind) {
    case Number::Signed: return static_cast<double>(n.i);
    case Number::Unsigned: return static_cast<double>(n.u);
    case Number::Currency: return static_cast<double>(n.i) / 10000.0;
    default: return n.d;
  }
}

HRESULT NumberToCurrency(const Number& n, CY& out) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max() / 10000;
  switch (n.kind) {
    case Number::Currency: out.int64 = n.i; return S_OK;
    case Number::Signed:
      if (n.i > kMax || n.i < -kMax) return DISP_E_OVERFLOW;
      out.int64 = n.i * 10000;
      return S_OK;
    case Number::Unsigned:
      if (n.u > static_cast<std::uint64_t>(kMax)) return DISP_E_OVERFLOW;
      out.int64 = static_cast<std::int64_t>(n.u) * 10000;
      return S_OK;
    default: {
      double d = std::nearbyint(n.d * 10000.0);
      if (std::isnan(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0) return DISP_E_OVERFLOW;
      out.int64 = static_cast<std::int64_t>(d);
      return S_OK;
    }
  }
}

bool NumberIsZero(const Number& n) {
  switch (n.kind) {
    case Number::Unsigned: return n.u == 0;
    case Number::Real: return n.d == 0;
    default: return n.i == 0;
  }
}

WideString FormatReal(double d, int digits) {
  if (std::isnan(d)) return u"NaN";
  if (std::isinf(d)) return d < 0 ? u"-INF" : u"INF";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, digits);  // locale-free
  std::string s(buf, r.ptr);
  for (char& c : s)
    if (c == 'e') c = 'E';
  return AsciiToWide(s);
}

WideString FormatCurrency(std::int64_t c) {
  bool neg = c < 0;
  std::uint64_t a = neg ? 0 - static_cast<std::uint64_t>(c) : static_cast<std::uint64_t>(c);
  std::string s = std::to_string(a / 10000);
  std::uint64_t frac = a % 10000;
  if (frac) {
    char buf[8];
    std::snprintf(buf, sizeof buf, ".%04u", static_cast<unsigned>(frac));
    std::string f(buf);
    while (f.back() == '0') f.pop_back();
    s += f;
  }
  return AsciiToWide(neg ? "-" + s : s);
}

HRESULT ToText(const VARIANT& v, WideString& out) {
  switch (v.vt) {
    case VT_EMPTY: out.clear(); return S_OK;
    case VT_BOOL: out = v.boolVal ? u"True" : u"False"; return S_OK;
    case VT_R4: out = FormatReal(v.fltVal, 7); return S_OK;
    case VT_R8: out = FormatReal(v.dblVal, 15); return S_OK;
    case VT_CY: out = FormatCurrency(v.cyVal.int64); return S_OK;
    case VT_BSTR: out = WideString(BstrView(v.bstrVal)); return S_OK;
    case VT_I1: case VT_I2: case VT_I4: case VT_INT: case VT_I8: case VT_UI1: case VT_UI2: case VT_UI4:
    case VT_UINT: case VT_UI8: {
      Number n;
      ToNumber(v, n);
      out = n.kind == Number::Unsigned ? AsciiToWide(std::to_string(n.u)) : IntToWide(n.i);
      return S_OK;
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT TextToBool(WideStringView text, VARIANT_BOOL& out) {
  WideString t = WideTrim(text);
  if (SameTextIgnoringCase(t, u"True")) {
    out = VARIANT_TRUE;
    return S_OK;
  }
  if (SameTextIgnoringCase(t, u"False")) {
    out = VARIANT_FALSE;
    return S_OK;
  }
  Number n;
  if (!ParseNumber(t, n)) return DISP_E_TYPEMISMATCH;
  out = NumberIsZero(n) ? VARIANT_FALSE : VARIANT_TRUE;
  return S_OK;
}

// Converts a plain (not by-reference) scalar. `out` is a fresh variant.
HRESULT ConvertScalar(const VARIANT& src, VARTYPE vt, std::uint16_t flags, VARIANT& out) {
  if (src.vt == VT_DISPATCH && vt != VT_DISPATCH && vt != VT_UNKNOWN) {
    // An object converts through its default value.
    if ((flags & VARIANT_NOVALUEPROP) || !src.pdispVal) return DISP_E_TYPEMISMATCH;
    VARIANT value;
    VariantInit(&value);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    HRESULT hr = src.pdispVal->Invoke(DISPID_VALUE, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr,
                                      nullptr);
    if (Failed(hr) || value.vt == VT_DISPATCH) {
      VariantClear(&value);
      return DISP_E_TYPEMISMATCH;
    }
    hr = VariantChangeType(&out, &value, flags | VARIANT_NOVALUEPROP, vt);
    VariantClear(&value);
    return hr;
  }
  if (src.vt == VT_NULL) {
    if (vt != VT_NULL && vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
    out.vt = vt;
    return S_OK;
  }
  if (src.vt == VT_ERROR) {
    if (vt != VT_ERROR) return DISP_E_TYPEMISMATCH;
    out = src;
    return S_OK;
  }
  if (src.vt == VT_UNKNOWN || src.vt == VT_DISPATCH) {
    if (vt != VT_UNKNOWN && vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
    if (!src.punkVal) {
      out.vt = vt;
      out.punkVal = nullptr;
      return S_OK;
    }
    void* p = nullptr;
    if (Failed(src.punkVal->QueryInterface(vt == VT_DISPATCH ? IDispatch::iid : IUnknown::iid, &p)))
      return DISP_E_TYPEMISMATCH;
    out.vt = vt;
    out.byref = p;
    return S_OK;
  }
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
      if (src.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
      out.vt = vt;
      return S_OK;
    case VT_ERROR:
      return DISP_E_TYPEMISMATCH;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (src.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
      out.vt = vt;
      out.punkVal = nullptr;
      return S_OK;
    case VT_BSTR: {
      WideString text;
      if (src.vt == VT_DATE) return DISP_E_TYPEMISMATCH;
      if (HRESULT hr = ToText(src, text); Failed(hr)) return hr;
      BSTR b = SysAllocStringLen(text.data(), static_cast<std::uint32_t>(text.size()));
      if (!b) return E_OUTOFMEMORY;
      out.vt = VT_BSTR;
      out.bstrVal = b;
      return S_OK;
    }
    case VT_BOOL: {
      VARIANT_BOOL b = VARIANT_FALSE;
      if (src.vt == VT_BSTR) {
        if (HRESULT hr = TextToBool(BstrView(src.bstrVal), b); Failed(hr)) return hr;
      } else {
        Number n;
        if (HRESULT hr = ToNumber(src, n); Failed(hr)) return hr;
        b = NumberIsZero(n) ? VARIANT_FALSE : VARIANT_TRUE;
      }
      out.vt = VT_BOOL;
      out.boolVal = b;
      return S_OK;
    }
    default:
      break;
  }
  if (src.vt == VT_BSTR && vt == VT_DATE) return DISP_E_TYPEMISMATCH;
  Number n;
  if (HRESULT hr = ToNumber(src, n); Failed(hr)) return hr;
  switch (vt) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT:
    case VT_I8: case VT_UI8:
      return NumberToInteger(n, vt, out);
    case VT_R4: {
      double d = NumberToDouble(n);
      if (std::isfinite(d) && std::fabs(d) > FLT_MAX) return DISP_E_OVERFLOW;
      if (std::isinf(d) && n.kind == Number::Real && src.vt == VT_BSTR) return DISP_E_OVERFLOW;
      out.vt = VT_R4;
      out.fltVal = static_cast<float>(d);
      return S_OK;
    }
    case VT_R8: {
      double d = NumberToDouble(n);
      if (std::isinf(d) && src.vt == VT_BSTR) return DISP_E_OVERFLOW;
      out.vt = VT_R8;
      out.dblVal = d;
      return S_OK;
    }
    case VT_DATE: {
      double d = NumberToDouble(n);
      if (!(d >= -657434.0 && d < 2958466.0)) return DISP_E_OVERFLOW;
      out.vt = VT_DATE;
      out.date = d;
      return S_OK;
    }
    case VT_CY: {
      CY c;
      if (HRESULT hr = NumberToCurrency(n, c); Failed(hr)) return hr;
      out.vt = VT_CY;
      out.cyVal = c;
      return S_OK;
    }
    default:
      return DISP_E_BADVARTYPE;
  }
}

}  // namespace

HRESULT VariantClear(VARIANT* v) noexcept {
  if (!v) return E_INVALIDARG;
  if (!IsValidType(v->vt)) return DISP_E_BADVARTYPE;
  if (VariantOwnsValue(v->vt)) {
    if (v->vt & VT_ARRAY) {
      if (v->parray) {
        HRESULT hr = SafeArrayDestroy(v->parray);
        if (Failed(hr)) return hr;
      }
    } else if (v->vt == VT_BSTR) {
      SysFreeString(v->bstrVal);
    } else if (v->punkVal) {
      v->punkVal->Release();
    }
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) noexcept {
  if (!dest || !src) return E_INVALIDARG;
  if (!IsValidType(src->vt)) return DISP_E_BADVARTYPE;
  if (dest == src) return S_OK;
  VARIANT copy = *src;
  if (!(src->vt & VT_BYREF)) {
    if (src->vt & VT_ARRAY) {
      if (src->parray) {
        HRESULT hr = SafeArrayCopy(src->parray, &copy.parray);
        if (Failed(hr)) return hr;
      }
    } else if (src->vt == VT_BSTR) {
      if (src->bstrVal) {
        copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
        if (!copy.bstrVal) return E_OUTOFMEMORY;
      }
    } else if ((src->vt == VT_DISPATCH || src->vt == VT_UNKNOWN) && src->punkVal) {
      src->punkVal->AddRef();
    }
  }
  HRESULT hr = VariantClear(dest);
  if (Failed(hr)) {
    VariantClear(&copy);
    return hr;
  }
  *dest = copy;
  return S_OK;
}

const VARIANT& VariantDeref(const VARIANT& v) noexcept {
  const VARIANT* p = &v;
  for (int depth = 0; depth < kMaxVariantReferenceDepth && p->vt == (VT_BYREF | VT_VARIANT) && p->pvarVal; ++depth)
    p = p->pvarVal;
  return *p;
}

namespace {

// The plain variant a by-reference one stands for, without owning anything (shallow).
HRESULT ShallowDeref(const VARIANT& src, VARIANT& out) {
  const VARIANT& v = VariantDeref(src);
  if (!(v.vt & VT_BYREF)) {
    out = v;
    return S_OK;
  }
  if (v.vt == (VT_BYREF | VT_VARIANT)) return E_INVALIDARG;  // a nil variant reference
  VARTYPE base = v.vt & ~VT_BYREF;
  if (!v.byref) return E_INVALIDARG;
  VariantInit(&out);
  out.vt = base;
  if (base & VT_ARRAY) {
    out.parray = *static_cast<SAFEARRAY**>(v.byref);
    return S_OK;
  }
  std::size_t size = ScalarSize(base);
  if (!size) return DISP_E_BADVARTYPE;
  std::memcpy(&out.llVal, v.byref, size);
  return S_OK;
}

}  // namespace

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) noexcept {
  if (!dest || !src) return E_INVALIDARG;
  if (!IsValidType(src->vt)) return DISP_E_BADVARTYPE;
  VARIANT plain;
  HRESULT hr = ShallowDeref(*src, plain);
  if (Failed(hr)) return hr;
  if (dest == src) {
    VARIANT copy;
    VariantInit(&copy);
    hr = VariantCopy(&copy, &plain);
    if (Failed(hr)) return hr;
    *dest = copy;
    return S_OK;
  }
  return VariantCopy(dest, &plain);
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, std::uint16_t flags, VARTYPE vt) noexcept {
  if (!dest || !src) return E_INVALIDARG;
  if (!IsValidType(src->vt)) return DISP_E_BADVARTYPE;
  if ((vt & VT_BYREF) || vt == VT_VARIANT) return DISP_E_BADVARTYPE;
  if (!IsValidType(vt)) return DISP_E_BADVARTYPE;
  VARIANT plain;
  HRESULT hr = ShallowDeref(*src, plain);
  if (Failed(hr)) return hr;
  VARIANT result;
  VariantInit(&result);
  if ((vt & VT_ARRAY) || (plain.vt & VT_ARRAY)) {
    if (vt != plain.vt) return DISP_E_TYPEMISMATCH;
    hr = VariantCopy(&result, &plain);
  } else if (vt == plain.vt) {
    hr = VariantCopy(&result, &plain);
  } else {
    try {
      hr = ConvertScalar(plain, vt, flags, result);
    } catch (...) {
      hr = E_OUTOFMEMORY;
    }
  }
  if (Failed(hr)) return hr;
  if (dest != src) {
    hr = VariantClear(dest);
    if (Failed(hr)) {
      VariantClear(&result);
      return hr;
    }
  } else if (!(src->vt & VT_BYREF)) {
    VariantClear(dest);
  }
  *dest = result;
  return S_OK;
}

HRESULT VariantChangeTypeEx(VARIANT* dest, const VARIANT* src, LCID, std::uint16_t flags, VARTYPE vt) noexcept {
  return VariantChangeType(dest, src, flags, vt);
}

bool VariantValuesEqual(const VARIANT& a0, const VARIANT& b0) noexcept {
  const VARIANT& a = VariantDeref(a0);
  const VARIANT& b = VariantDeref(b0);
  if (a.vt != b.vt) return false;
  switch (a.vt) {
    case VT_EMPTY: case VT_NULL: return true;
    case VT_BSTR: return BstrView(a.bstrVal) == BstrView(b.bstrVal);
    case VT_DISPATCH: case VT_UNKNOWN: return IdentityOf(a.punkVal) == IdentityOf(b.punkVal);
    case VT_BOOL: return (a.boolVal != 0) == (b.boolVal != 0);
    case VT_ERROR: return a.scode == b.scode;
    case VT_R4: return a.fltVal == b.fltVal;
    case VT_R8: return a.dblVal == b.dblVal;
    case VT_DATE: return a.date == b.date;
    case VT_CY: return a.cyVal.int64 == b.cyVal.int64;
    default:
      if (a.vt & (VT_ARRAY | VT_BYREF)) return a.byref == b.byref;
      Number na, nb;
      if (Failed(ToNumber(a, na)) || Failed(ToNumber(b, nb))) return false;
      return na.kind == Number::Unsigned ? na.u == nb.u : na.i == nb.i;
  }
}

// --- OleVariant ---

OleVariant::OleVariant(const OleVariant& o) : OleVariant() {
  HRESULT hr = VariantCopy(&v_, &o.v_);
  if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
  OleCheck(hr);
}

OleVariant::OleVariant(const VARIANT& v) : OleVariant() {
  HRESULT hr = VariantCopy(&v_, &v);
  if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
  OleCheck(hr);
}

OleVariant::OleVariant(WideStringView s) : OleVariant() {
  v_.bstrVal = SysAllocString(s);
  v_.vt = VT_BSTR;
}

OleVariant::OleVariant(IDispatch* d) noexcept : OleVariant() {
  v_.vt = VT_DISPATCH;
  v_.pdispVal = d;
  if (d) d->AddRef();
}

OleVariant::OleVariant(IUnknown* u) noexcept : OleVariant() {
  v_.vt = VT_UNKNOWN;
  v_.punkVal = u;
  if (u) u->AddRef();
}

OleVariant OleVariant::Of(VARTYPE vt, std::int64_t value) noexcept {
  OleVariant r;
  StoreInteger(r.v_, vt, static_cast<std::uint64_t>(value));
  return r;
}

namespace {
VARIANT Converted(const VARIANT& v, VARTYPE vt) {
  VARIANT out;
  VariantInit(&out);
  OleCheck(VariantChangeType(&out, &v, 0, vt));
  return out;
}
}  // namespace

std::int32_t OleVariant::AsInt() const { return Converted(v_, VT_I4).lVal; }
double OleVariant::AsDouble() const { return Converted(v_, VT_R8).dblVal; }
bool OleVariant::AsBool() const { return Converted(v_, VT_BOOL).boolVal != 0; }
WideString OleVariant::AsString() const {
  VARIANT out = Converted(v_, VT_BSTR);
  WideString s(BstrView(out.bstrVal));
  VariantClear(&out);
  return s;
}

}  // namespace pw
