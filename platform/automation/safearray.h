// SAFEARRAY: a counted, bounded array of automation values (variants, strings, bytes,
// integers, interfaces) with one or more dimensions.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/automation/variant.h"

namespace pw {

struct SAFEARRAYBOUND {
  std::uint32_t cElements;
  std::int32_t lLbound;
};

struct SAFEARRAY {
  std::uint16_t cDims;
  std::uint16_t fFeatures;
  std::uint32_t cbElements;
  std::uint32_t cLocks;
  void* pvData;
  VARTYPE vt;                            // the element type
  std::vector<SAFEARRAYBOUND> rgsabound;  // one per dimension, the first dimension first
};

// Element types: VT_VARIANT, VT_BSTR, VT_DISPATCH, VT_UNKNOWN, VT_BOOL, VT_I1, VT_UI1, VT_I2,
// VT_UI2, VT_I4, VT_UI4, VT_INT, VT_UINT, VT_I8, VT_UI8, VT_R4, VT_R8, VT_CY, VT_DATE, VT_ERROR.
// Elements start zeroed (empty variants, nil strings and interfaces).
SAFEARRAY* SafeArrayCreate(VARTYPE vt, std::uint32_t dims, const SAFEARRAYBOUND* bounds) noexcept;
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, std::int32_t lowerBound, std::uint32_t count) noexcept;
// Frees the elements and the array; E_UNEXPECTED (DISP_E_ARRAYISLOCKED) while it is locked.
HRESULT SafeArrayDestroy(SAFEARRAY* psa) noexcept;
HRESULT SafeArrayCopy(const SAFEARRAY* psa, SAFEARRAY** out) noexcept;
std::uint32_t SafeArrayGetDim(const SAFEARRAY* psa) noexcept;
std::uint32_t SafeArrayGetElemsize(const SAFEARRAY* psa) noexcept;
HRESULT SafeArrayGetVartype(const SAFEARRAY* psa, VARTYPE* vt) noexcept;
// Dimensions count from 1; DISP_E_BADINDEX for a dimension out of range.
HRESULT SafeArrayGetLBound(const SAFEARRAY* psa, std::uint32_t dim, std::int32_t* lower) noexcept;
HRESULT SafeArrayGetUBound(const SAFEARRAY* psa, std::uint32_t dim, std::int32_t* upper) noexcept;
// One index per dimension, the first dimension first. Get copies the element out (a deep
// copy for variants and strings, a reference for interfaces); Put stores a copy of *value
// (for VT_VARIANT a VARIANT*, for VT_BSTR a BSTR, for interfaces the pointer itself, else a
// pointer to the value). DISP_E_BADINDEX for an index out of bounds.
HRESULT SafeArrayGetElement(const SAFEARRAY* psa, const std::int32_t* indices, void* out) noexcept;
HRESULT SafeArrayPutElement(SAFEARRAY* psa, const std::int32_t* indices, const void* value) noexcept;
// A lock keeps the data in place (Destroy refuses a locked array). Locks nest up to
// kSafeArrayMaxLocks; one more fails with E_UNEXPECTED, as does an unlock without a lock.
inline constexpr std::uint32_t kSafeArrayMaxLocks = 0xFFFF;
HRESULT SafeArrayLock(SAFEARRAY* psa) noexcept;
HRESULT SafeArrayUnlock(SAFEARRAY* psa) noexcept;
// Locks the array and hands out its data; SafeArrayUnaccessData unlocks it.
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** data) noexcept;
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) noexcept;

inline constexpr HRESULT DISP_E_ARRAYISLOCKED = MakeHResult(0x8002000D);

}  // namespace pw
