// VARIANT: the tagged value that crosses every late-bound call, with the OLE Automation
// coercion rules (VariantChangeType) for the types the module uses.
//
// Coercions are locale-neutral: numbers are written and read with '.' as the decimal
// separator; Booleans are written "True" / "False" and read from those words (ignoring case)
// or from a number. See variant.cpp for the full table.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/automation/bstr.h"
#include "platform/com/unknown.h"

namespace pw {

struct IDispatch;
struct SAFEARRAY;

using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using SCODE = std::int32_t;
using DATE = double;  // days since 30 December 1899, time as the fraction

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Currency: a 64-bit integer scaled by 10000.
struct CY {
  std::int64_t int64;
  friend constexpr bool operator==(const CY&, const CY&) = default;
};

enum : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_SAFEARRAY = 27,
  VT_USERDEFINED = 29,
  VT_CLSID = 72,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

// VariantChangeType flags.
inline constexpr std::uint16_t VARIANT_NOVALUEPROP = 0x01;  // do not ask an object for its default value

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    std::int64_t llVal;
    std::uint64_t ullVal;
    std::int32_t lVal;
    std::uint32_t ulVal;
    std::int32_t intVal;
    std::uint32_t uintVal;
    std::int16_t iVal;
    std::uint16_t uiVal;
    std::int8_t cVal;
    std::uint8_t bVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    CY cyVal;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SAFEARRAY* parray;
    VARIANT* pvarVal;
    void* byref;
  };
};
using VARIANTARG = VARIANT;

inline void VariantInit(VARIANT* v) noexcept { *v = VARIANT{}; }  // VT_EMPTY, all zero
// Whether a variant of this type owns what it holds (a string, an array, an interface
// reference), so that VariantClear has something to free.
inline bool VariantOwnsValue(VARTYPE vt) noexcept {
  return !(vt & VT_BYREF) && ((vt & VT_ARRAY) || vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN);
}
// Frees what the variant owns (string, array, interface reference) and makes it empty.
HRESULT VariantClear(VARIANT* v) noexcept;
// Deep copy: strings and arrays are duplicated, interfaces get a reference. dest is cleared first.
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) noexcept;
// VariantCopy of what a by-reference variant refers to (through nested variant references).
HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) noexcept;
// Converts src to vt into dest (dest may be src). On failure dest is left unchanged and the
// result is DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW or DISP_E_BADVARTYPE.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, std::uint16_t flags, VARTYPE vt) noexcept;
HRESULT VariantChangeTypeEx(VARIANT* dest, const VARIANT* src, LCID lcid, std::uint16_t flags, VARTYPE vt) noexcept;

// The variant a by-reference variant finally refers to (itself when it is not by reference).
// A chain longer than kMaxVariantReferenceDepth (a cycle, say) stops at a variant that is still
// a reference, which the conversions and copies refuse with E_INVALIDARG.
inline constexpr int kMaxVariantReferenceDepth = 64;
const VARIANT& VariantDeref(const VARIANT& v) noexcept;

// Equality of two values of the same type, as the runtime's variant comparison: numbers by
// value, strings exactly, objects by identity, Empty = Empty and Null = Null.
bool VariantValuesEqual(const VARIANT& a, const VARIANT& b) noexcept;

// The runtime's Variant: owns one VARIANT.
class OleVariant {
 public:
  OleVariant() noexcept { VariantInit(&v_); }
  OleVariant(const OleVariant& o);
  OleVariant(OleVariant&& o) noexcept : v_(o.v_) { VariantInit(&o.v_); }
  explicit OleVariant(const VARIANT& v);  // deep copy
  OleVariant(std::int32_t i) noexcept : OleVariant() { v_.vt = VT_I4, v_.lVal = i; }
  OleVariant(double d) noexcept : OleVariant() { v_.vt = VT_R8, v_.dblVal = d; }
  OleVariant(bool b) noexcept : OleVariant() { v_.vt = VT_BOOL, v_.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE; }
  OleVariant(WideStringView s);
  OleVariant(const char16_t* s) : OleVariant(WideStringView(s)) {}
  OleVariant(const WideString& s) : OleVariant(WideStringView(s)) {}
  OleVariant(IDispatch* d) noexcept;
  OleVariant(IUnknown* u) noexcept;
  ~OleVariant() { VariantClear(&v_); }

  OleVariant& operator=(OleVariant o) noexcept {
    std::swap(v_, o.v_);
    return *this;
  }

  static OleVariant Null() noexcept {
    OleVariant r;
    r.v_.vt = VT_NULL;
    return r;
  }
  static OleVariant Of(VARTYPE vt, std::int64_t value) noexcept;  // an integer of a given type
  // Takes over a VARIANT (which is left empty).
  static OleVariant Attach(VARIANT& v) noexcept {
    OleVariant r;
    r.v_ = v;
    VariantInit(&v);
    return r;
  }
  VARIANT Detach() noexcept {
    VARIANT r = v_;
    VariantInit(&v_);
    return r;
  }
  void Clear() noexcept { VariantClear(&v_); }

  VARTYPE Type() const noexcept { return v_.vt; }
  bool IsEmpty() const noexcept { return v_.vt == VT_EMPTY; }
  bool IsNull() const noexcept { return v_.vt == VT_NULL; }
  const VARIANT& Get() const noexcept { return v_; }
  VARIANT& Get() noexcept { return v_; }
  VARIANT* Ptr() noexcept { return &v_; }
  const VARIANT* Ptr() const noexcept { return &v_; }
  // For out parameters: clears and gives the VARIANT to fill.
  VARIANT* Put() noexcept {
    VariantClear(&v_);
    return &v_;
  }

  // Conversions through VariantChangeType; raise EOleSysError when the value does not convert.
  std::int32_t AsInt() const;
  double AsDouble() const;
  bool AsBool() const;
  WideString AsString() const;

 private:
  VARIANT v_;
};

}  // namespace pw
