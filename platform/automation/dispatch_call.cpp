#include "platform/automation/dispatch_call.h"

#include <algorithm>
#include <cstring>

#include "platform/com/errorinfo.h"
#include "platform/rtl/exceptions.h"
#include "platform/automation/typeinfo.h"

namespace pw {

// --- DispatchMember ---

void DispatchMember::Add(std::int32_t invokeKind, const DispatchFunction* f) noexcept {
  std::size_t at;
  switch (invokeKind) {
    case INVOKE_PROPERTYGET: at = 2; break;
    case INVOKE_PROPERTYPUT: at = 4; break;
    case INVOKE_PROPERTYPUTREF: at = 5; break;
    default: at = 1; break;
  }
  if (!byFlags[at]) byFlags[at] = f;
  byFlags[3] = byFlags[1] ? byFlags[1] : byFlags[2];
  byFlags[6] = byFlags[4] ? byFlags[4] : byFlags[5];
}

// --- DispatchMap ---

DispatchMember& DispatchMap::Add(DISPID id) {
  auto [it, added] = buildIndex_.try_emplace(id, building_.size());
  if (added) building_.emplace_back(id, DispatchMember{});
  return building_[it->second].second;
}

bool DispatchMap::Contains(DISPID id) const { return buildIndex_.count(id) != 0 || Find(id) != nullptr; }

void DispatchMap::Finish() {
  size_ = building_.size();
  // The array covers DISPIDs below a few times the member count, so a type with a few members
  // of high DISPIDs does not get a large array of holes.
  const std::uint64_t limit = std::min<std::uint64_t>(4096, std::max<std::uint64_t>(64, 4 * size_));
  std::uint32_t count = 0;
  for (const auto& [id, m] : building_)
    if (static_cast<std::uint32_t>(id) < limit) count = std::max(count, static_cast<std::uint32_t>(id) + 1);
  dense_.assign(count, DispatchMember{});
  sparse_.clear();
  for (auto& [id, m] : building_) {
    if (static_cast<std::uint32_t>(id) < count) dense_[static_cast<std::uint32_t>(id)] = m;
    else sparse_.emplace_back(id, m);
  }
  std::sort(sparse_.begin(), sparse_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  denseCount_ = count;
  building_.clear();
  building_.shrink_to_fit();
  buildIndex_.clear();
}

const DispatchMember& DispatchMap::LookupSparse(DISPID id) const noexcept {
  static const DispatchMember kNone;
  auto it = std::lower_bound(sparse_.begin(), sparse_.end(), id, [](const auto& e, DISPID d) { return e.first < d; });
  return it != sparse_.end() && it->first == id ? it->second : kNone;
}

// --- the call ---

HRESULT FailedCall(HRESULT hr, EXCEPINFO* excepInfo) noexcept {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) != S_OK) info = nullptr;
  if (excepInfo) {
    std::memset(excepInfo, 0, sizeof *excepInfo);
    excepInfo->scode = hr;
    if (info) {
      info->GetSource(&excepInfo->bstrSource);
      info->GetDescription(&excepInfo->bstrDescription);
      info->GetHelpFile(&excepInfo->bstrHelpFile);
      info->GetHelpContext(&excepInfo->dwHelpContext);
    }
    if (!excepInfo->bstrDescription || SysStringLen(excepInfo->bstrDescription) == 0) {
      SysFreeString(excepInfo->bstrDescription);
      excepInfo->bstrDescription = nullptr;
      try {
        excepInfo->bstrDescription = SysAllocString(HResultMessage(hr));
      } catch (...) {
      }
    }
  }
  if (info) SetErrorInfo(0, info.Get());
  return DISP_E_EXCEPTION;
}

HRESULT InvokeDirect(DispatchThunk direct, void* instance, VARIANT* result, EXCEPINFO* excepInfo) {
  const HRESULT hr = direct(instance, nullptr, result);
  return Succeeded(hr) ? S_OK : FailedCall(hr, excepInfo);
}

namespace {

// Where a thunk leaves its value: the caller's result itself when it holds nothing to free;
// otherwise a scratch variant, whose value replaces the result (or is freed, when there is no
// result) once the call has succeeded. Either way a failed call leaves the result as it was.
class CallResult {
 public:
  explicit CallResult(VARIANT* result) noexcept
      : result_(result), out_(result && !VariantOwnsValue(result->vt) ? result : &scratch_) {}
  CallResult(const CallResult&) = delete;
  CallResult& operator=(const CallResult&) = delete;

  VARIANT* Out() noexcept { return out_; }
  // The answer of the call once the thunk has answered hr.
  HRESULT Finish(HRESULT hr, EXCEPINFO* excepInfo) noexcept {
    if (Failed(hr)) return FailedCall(hr, excepInfo);
    if (out_ != result_) {
      if (result_) {
        VariantClear(result_);
        *result_ = scratch_;
      } else if (VariantOwnsValue(scratch_.vt)) {
        VariantClear(&scratch_);
      }
    }
    return S_OK;
  }

 private:
  VARIANT* result_;
  VARIANT scratch_{};
  VARIANT* out_;
};

}  // namespace

namespace {

// Bytes of the value a by-reference argument of a scalar type points to.
std::size_t ByRefSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
    case VT_BSTR: case VT_DISPATCH: case VT_UNKNOWN: return sizeof(void*);
    default: return 4;
  }
}

// Whether a by-reference parameter of this type can be served from a temporary VARIANT (which
// VariantClear then frees): the scalars, strings, objects and VARIANT itself.
bool HoldsTemporary(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT:
    case VT_I8: case VT_UI8: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BOOL: case VT_ERROR:
    case VT_BSTR: case VT_DISPATCH: case VT_UNKNOWN: case VT_VARIANT:
      return true;
    default:
      return false;
  }
}

}  // namespace

HRESULT InvokeGeneral(const DispatchFunction& f, void* instance, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excepInfo, std::uint32_t* argErr) {
  if (!f.thunk) return E_NOTIMPL;  // no C++ binding for this interface
  const bool isPut = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  const std::size_t count = f.params.size();
  if (count == 0 && (!params || params->cArgs == 0)) {  // nothing to map
    CallResult out(result);
    return out.Finish(f.thunk(instance, nullptr, out.Out()), excepInfo);
  }
  static DISPPARAMS noArgs{nullptr, nullptr, 0, 0};
  if (!params) params = &noArgs;
  if (params->cNamedArgs > params->cArgs || (params->cArgs && !params->rgvarg) ||
      (params->cNamedArgs && !params->rgdispidNamedArgs))
    return E_INVALIDARG;

  // Which caller argument (its rgvarg index) goes to which parameter.
  constexpr std::size_t kInline = 8;
  std::int32_t inlineSource[kInline];
  std::vector<std::int32_t> heapSource;
  std::int32_t* source = inlineSource;
  if (count > kInline) {
    heapSource.resize(count);
    source = heapSource.data();
  }
  std::fill(source, source + count, -1);

  std::uint32_t positional = params->cArgs - params->cNamedArgs;
  for (std::uint32_t n = 0; n < params->cNamedArgs; ++n) {
    DISPID id = params->rgdispidNamedArgs[n];
    std::size_t target;
    if (id == DISPID_PROPERTYPUT && isPut && count > 0) {
      target = count - 1;
    } else if (id >= 0 && static_cast<std::size_t>(id) < count) {
      target = static_cast<std::size_t>(id);
    } else {
      if (argErr) *argErr = n;
      return DISP_E_PARAMNOTFOUND;
    }
    if (source[target] >= 0) {
      if (argErr) *argErr = n;
      return DISP_E_PARAMNOTFOUND;
    }
    source[target] = static_cast<std::int32_t>(n);
  }
  if (isPut && params->cNamedArgs == 0 && positional > 0 && count > 0) {
    // A put without the named value argument: the last argument is the value.
    source[count - 1] = 0;
    --positional;
    if (positional > count - 1) return DISP_E_BADPARAMCOUNT;
    for (std::uint32_t k = 0; k < positional; ++k)
      source[k] = static_cast<std::int32_t>(params->cArgs - 1 - k);
  } else {
    if (positional > count) return DISP_E_BADPARAMCOUNT;
    for (std::uint32_t k = 0; k < positional; ++k) {
      if (source[k] >= 0) {
        if (argErr) *argErr = static_cast<std::uint32_t>(source[k]);
        return DISP_E_PARAMNOTFOUND;
      }
      source[k] = static_cast<std::int32_t>(params->cArgs - 1 - k);
    }
  }

  // Convert the arguments. `owned` marks slots whose content must be released afterwards: the
  // converted value, the queried interface, or for a by-reference parameter given a value the
  // temporary in `temps` that the callee received.
  VARIANTARG inlineArgs[kInline];
  VARIANT inlineTemps[kInline];
  bool inlineOwned[kInline] = {};
  std::vector<VARIANTARG> heapArgs;
  std::vector<VARIANT> heapTemps;
  std::vector<char> heapOwned;
  VARIANTARG* args = inlineArgs;
  VARIANT* temps = inlineTemps;
  bool* owned = inlineOwned;
  if (count > kInline) {
    heapArgs.resize(count);
    heapTemps.resize(count);
    heapOwned.resize(count);
    args = heapArgs.data();
    temps = heapTemps.data();
    owned = reinterpret_cast<bool*>(heapOwned.data());
  }
  auto cleanup = [&](std::size_t upTo) {
    for (std::size_t k = 0; k < upTo; ++k) {
      if (!owned[k]) continue;
      if (f.params[k].mode == ParamMode::Interface) {
        if (args[k].byref) static_cast<IUnknown*>(args[k].byref)->Release();
      } else if (f.params[k].mode == ParamMode::ByRef) {
        VariantClear(&temps[k]);
      } else {
        VariantClear(&args[k]);
      }
    }
  };

  HRESULT hr = S_OK;
  std::size_t k = 0;
  for (; k < count; ++k) {
    const DispatchParam& p = f.params[k];
    owned[k] = false;
    if (source[k] < 0) {
      if (!p.optional) {
        hr = params->cNamedArgs ? DISP_E_PARAMNOTOPTIONAL : DISP_E_BADPARAMCOUNT;
        break;
      }
      VariantInit(&args[k]);
      args[k].vt = VT_ERROR;
      args[k].scode = DISP_E_PARAMNOTFOUND;
      continue;
    }
    const VARIANT& given = params->rgvarg[source[k]];
    switch (p.mode) {
      case ParamMode::Variant:
        args[k] = given;
        break;
      case ParamMode::Value:
        if (given.vt == p.vt) {
          args[k] = given;
        } else if (given.vt == (VT_BYREF | p.vt) && given.byref) {
          VariantInit(&args[k]);
          args[k].vt = p.vt;
          std::memcpy(&args[k].llVal, given.byref, ByRefSize(p.vt));
        } else {
          VariantInit(&args[k]);
          hr = VariantChangeType(&args[k], &given, 0, p.vt);
          owned[k] = Succeeded(hr);
        }
        break;
      case ParamMode::ByRef:
        VariantInit(&args[k]);
        if (given.vt == (VT_BYREF | p.vt) && given.byref) {
          args[k].vt = given.vt;
          args[k].byref = given.byref;
          break;
        }
        // A reference of another type, or a value for a parameter no temporary can stand for.
        if ((given.vt & VT_BYREF) || !HoldsTemporary(p.vt)) {
          hr = DISP_E_TYPEMISMATCH;
          break;
        }
        // A value: the callee gets a temporary of the parameter's type, holding the value
        // converted when the callee reads it, else nothing (zero, nil, Empty).
        VariantInit(&temps[k]);
        if (!p.input) temps[k].vt = p.vt == VT_VARIANT ? VARTYPE{VT_EMPTY} : p.vt;
        else if (p.vt == VT_VARIANT) hr = VariantCopy(&temps[k], &given);
        else hr = VariantChangeType(&temps[k], &given, 0, p.vt);
        if (Failed(hr)) break;
        owned[k] = true;
        args[k].vt = VT_BYREF | p.vt;
        args[k].byref = p.vt == VT_VARIANT ? static_cast<void*>(&temps[k]) : static_cast<void*>(&temps[k].llVal);
        break;
      case ParamMode::Interface: {
        const VARIANT& v = VariantDeref(given);
        VARTYPE vt = v.vt & ~VT_BYREF;
        IUnknown* unk = nullptr;
        if ((vt == VT_DISPATCH || vt == VT_UNKNOWN) && (v.vt & VT_BYREF) && !v.byref) {
          hr = DISP_E_TYPEMISMATCH;  // a nil reference
          break;
        }
        if (vt == VT_DISPATCH || vt == VT_UNKNOWN)
          unk = (v.vt & VT_BYREF) ? *static_cast<IUnknown**>(v.byref) : v.punkVal;
        else if (vt != VT_EMPTY && vt != VT_NULL) {
          hr = DISP_E_TYPEMISMATCH;
          break;
        }
        VariantInit(&args[k]);
        args[k].vt = VT_BYREF | VT_UNKNOWN;
        args[k].byref = nullptr;
        if (unk) {
          if (Failed(unk->QueryInterface(p.iid, &args[k].byref))) {
            hr = DISP_E_TYPEMISMATCH;
            break;
          }
          owned[k] = true;
        }
        break;
      }
      case ParamMode::Array: {
        const VARIANT& v = VariantDeref(given);
        SAFEARRAY* a = nullptr;
        if (v.vt == (VT_ARRAY | p.vt)) a = v.parray;
        else if (v.vt == (VT_BYREF | VT_ARRAY | p.vt) && v.byref) a = *static_cast<SAFEARRAY**>(v.byref);
        else {
          hr = DISP_E_TYPEMISMATCH;
          break;
        }
        VariantInit(&args[k]);
        args[k].vt = VT_ARRAY | p.vt;
        args[k].parray = a;
        break;
      }
    }
    if (Failed(hr)) {
      if (argErr) *argErr = static_cast<std::uint32_t>(source[k]);
      break;
    }
  }
  if (Failed(hr)) {
    cleanup(k);
    return hr;
  }

  CallResult out(result);
  hr = f.thunk(instance, args, out.Out());
  cleanup(count);
  return out.Finish(hr, excepInfo);
}

}  // namespace pw
