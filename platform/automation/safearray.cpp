#include "platform/automation/safearray.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/automation/dispatch.h"

namespace pw {

namespace {

std::uint32_t ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_VARIANT: return sizeof(VARIANT);
    case VT_BSTR: case VT_DISPATCH: case VT_UNKNOWN: return sizeof(void*);
    case VT_I1: case VT_UI1: return 1;
    case VT_BOOL: case VT_I2: case VT_UI2: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
    default: return 0;
  }
}

std::size_t ElementCount(const SAFEARRAY* psa) {
  std::size_t n = 1;
  for (const auto& b : psa->rgsabound) n *= b.cElements;
  return psa->rgsabound.empty() ? 0 : n;
}

// Whether the elements of these bounds fit in memory at all: the product of the dimensions'
// counts, times the element size, must not wrap.
bool CountFits(const SAFEARRAYBOUND* bounds, std::uint32_t dims, std::uint32_t size) {
  std::size_t bytes = size;
  for (std::uint32_t d = 0; d < dims; ++d) {
    if (bounds[d].cElements == 0) return true;
    if (__builtin_mul_overflow(bytes, std::size_t{bounds[d].cElements}, &bytes)) return false;
  }
  return true;
}

// The element's offset; false when an index is out of bounds.
bool Offset(const SAFEARRAY* psa, const std::int32_t* indices, std::size_t& offset) {
  std::size_t flat = 0;
  for (std::size_t d = 0; d < psa->rgsabound.size(); ++d) {
    const auto& b = psa->rgsabound[d];
    std::int64_t rel = std::int64_t{indices[d]} - b.lLbound;
    if (rel < 0 || rel >= std::int64_t{b.cElements}) return false;
    flat = flat * b.cElements + static_cast<std::size_t>(rel);
  }
  offset = flat * psa->cbElements;
  return true;
}

void FreeElement(VARTYPE vt, void* p) {
  switch (vt) {
    case VT_VARIANT: VariantClear(static_cast<VARIANT*>(p)); break;
    case VT_BSTR: SysFreeString(*static_cast<BSTR*>(p)); *static_cast<BSTR*>(p) = nullptr; break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (auto* u = *static_cast<IUnknown**>(p)) u->Release();
      *static_cast<IUnknown**>(p) = nullptr;
      break;
    default: break;
  }
}

// Copies one element from src into the zeroed slot dst.
HRESULT CopyElement(VARTYPE vt, void* dst, const void* src, std::uint32_t size) {
  switch (vt) {
    case VT_VARIANT:
      return VariantCopy(static_cast<VARIANT*>(dst), static_cast<const VARIANT*>(src));
    case VT_BSTR: {
      BSTR s = *static_cast<const BSTR*>(src);
      BSTR c = s ? SysAllocStringLen(s, SysStringLen(s)) : nullptr;
      if (s && !c) return E_OUTOFMEMORY;
      *static_cast<BSTR*>(dst) = c;
      return S_OK;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      IUnknown* u = *static_cast<IUnknown* const*>(src);
      if (u) u->AddRef();
      *static_cast<IUnknown**>(dst) = u;
      return S_OK;
    }
    default:
      std::memcpy(dst, src, size);
      return S_OK;
  }
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, std::uint32_t dims, const SAFEARRAYBOUND* bounds) noexcept {
  std::uint32_t size = ElementSize(vt);
  if (!size || dims == 0 || dims > 0xFFFF || !bounds || !CountFits(bounds, dims, size)) return nullptr;
  try {
    auto* psa = new SAFEARRAY{};
    psa->cDims = static_cast<std::uint16_t>(dims);
    psa->cbElements = size;
    psa->vt = vt;
    psa->rgsabound.assign(bounds, bounds + dims);
    std::size_t count = ElementCount(psa);
    psa->pvData = count ? std::calloc(count, size) : nullptr;
    if (count && !psa->pvData) {
      delete psa;
      return nullptr;
    }
    if (vt == VT_VARIANT) {
      auto* v = static_cast<VARIANT*>(psa->pvData);
      for (std::size_t i = 0; i < count; ++i) VariantInit(&v[i]);
    }
    return psa;
  } catch (...) {
    return nullptr;
  }
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, std::int32_t lowerBound, std::uint32_t count) noexcept {
  SAFEARRAYBOUND b{count, lowerBound};
  return SafeArrayCreate(vt, 1, &b);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) noexcept {
  if (!psa) return S_OK;
  if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
  std::size_t count = ElementCount(psa);
  auto* data = static_cast<unsigned char*>(psa->pvData);
  for (std::size_t i = 0; i < count; ++i) FreeElement(psa->vt, data + i * psa->cbElements);
  std::free(psa->pvData);
  delete psa;
  return S_OK;
}

HRESULT SafeArrayCopy(const SAFEARRAY* psa, SAFEARRAY** out) noexcept {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!psa) return S_OK;
  SAFEARRAY* copy = SafeArrayCreate(psa->vt, psa->cDims, psa->rgsabound.data());
  if (!copy) return E_OUTOFMEMORY;
  std::size_t count = ElementCount(psa);
  const auto* src = static_cast<const unsigned char*>(psa->pvData);
  auto* dst = static_cast<unsigned char*>(copy->pvData);
  for (std::size_t i = 0; i < count; ++i) {
    HRESULT hr = CopyElement(psa->vt, dst + i * psa->cbElements, src + i * psa->cbElements, psa->cbElements);
    if (Failed(hr)) {
      SafeArrayDestroy(copy);
      return hr;
    }
  }
  *out = copy;
  return S_OK;
}

std::uint32_t SafeArrayGetDim(const SAFEARRAY* psa) noexcept { return psa ? psa->cDims : 0; }
std::uint32_t SafeArrayGetElemsize(const SAFEARRAY* psa) noexcept { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetVartype(const SAFEARRAY* psa, VARTYPE* vt) noexcept {
  if (!psa || !vt) return E_INVALIDARG;
  *vt = psa->vt;
  return S_OK;
}

HRESULT SafeArrayGetLBound(const SAFEARRAY* psa, std::uint32_t dim, std::int32_t* lower) noexcept {
  if (!psa || !lower) return E_INVALIDARG;
  if (dim < 1 || dim > psa->cDims) return DISP_E_BADINDEX;
  *lower = psa->rgsabound[dim - 1].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(const SAFEARRAY* psa, std::uint32_t dim, std::int32_t* upper) noexcept {
  if (!psa || !upper) return E_INVALIDARG;
  if (dim < 1 || dim > psa->cDims) return DISP_E_BADINDEX;
  const auto& b = psa->rgsabound[dim - 1];
  *upper = static_cast<std::int32_t>(std::int64_t{b.lLbound} + b.cElements - 1);
  return S_OK;
}

HRESULT SafeArrayGetElement(const SAFEARRAY* psa, const std::int32_t* indices, void* out) noexcept {
  if (!psa || !indices || !out) return E_INVALIDARG;
  std::size_t off;
  if (!Offset(psa, indices, off)) return DISP_E_BADINDEX;
  if (psa->vt == VT_VARIANT) VariantInit(static_cast<VARIANT*>(out));
  return CopyElement(psa->vt, out, static_cast<const unsigned char*>(psa->pvData) + off, psa->cbElements);
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, const std::int32_t* indices, const void* value) noexcept {
  if (!psa || !indices) return E_INVALIDARG;
  std::size_t off;
  if (!Offset(psa, indices, off)) return DISP_E_BADINDEX;
  void* slot = static_cast<unsigned char*>(psa->pvData) + off;
  switch (psa->vt) {
    case VT_VARIANT:
      return VariantCopy(static_cast<VARIANT*>(slot), static_cast<const VARIANT*>(value));
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      // The value itself is the string or the interface pointer.
      unsigned char fresh[sizeof(void*)] = {};
      const void* holder = &value;
      HRESULT hr = CopyElement(psa->vt, fresh, holder, psa->cbElements);
      if (Failed(hr)) return hr;
      FreeElement(psa->vt, slot);
      std::memcpy(slot, fresh, sizeof(void*));
      return S_OK;
    }
    default:
      if (!value) return E_INVALIDARG;
      std::memcpy(slot, value, psa->cbElements);
      return S_OK;
  }
}

HRESULT SafeArrayLock(SAFEARRAY* psa) noexcept {
  if (!psa) return E_INVALIDARG;
  if (psa->cLocks >= kSafeArrayMaxLocks) return E_UNEXPECTED;
  ++psa->cLocks;
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) noexcept {
  if (!psa) return E_INVALIDARG;
  if (!psa->cLocks) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** data) noexcept {
  if (!psa || !data) return E_INVALIDARG;
  const HRESULT hr = SafeArrayLock(psa);
  if (Failed(hr)) return hr;
  *data = psa->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) noexcept {
  if (!psa) return E_INVALIDARG;
  if (!psa->cLocks) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

}  // namespace pw
