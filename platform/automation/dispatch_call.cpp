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

namespace {

constexpr std::size_t kInlineParams = 8;

// Fills source[k] with the caller argument (its rgvarg index) that goes to parameter k, -1 for
// none: named arguments first (DISPID_PROPERTYPUT names the value of a put), then the
// positional ones, which rgvarg holds last-first. A put without the named value takes its last
// argument as the value.
HRESULT MapArguments(std::size_t count, bool isPut, const DISPPARAMS& params, std::int32_t* source,
                     std::uint32_t* argErr) {
  std::fill(source, source + count, -1);
  std::uint32_t positional = params.cArgs - params.cNamedArgs;
  for (std::uint32_t n = 0; n < params.cNamedArgs; ++n) {
    DISPID id = params.rgdispidNamedArgs[n];
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
  if (isPut && params.cNamedArgs == 0 && positional > 0 && count > 0) {
    source[count - 1] = 0;
    --positional;
    if (positional > count - 1) return DISP_E_BADPARAMCOUNT;
    for (std::uint32_t k = 0; k < positional; ++k) source[k] = static_cast<std::int32_t>(params.cArgs - 1 - k);
    return S_OK;
  }
  if (positional > count) return DISP_E_BADPARAMCOUNT;
  for (std::uint32_t k = 0; k < positional; ++k) {
    if (source[k] >= 0) {
      if (argErr) *argErr = static_cast<std::uint32_t>(source[k]);
      return DISP_E_PARAMNOTFOUND;
    }
    source[k] = static_cast<std::int32_t>(params.cArgs - 1 - k);
  }
  return S_OK;
}

// One argument handed over as its parameter expects it. `owned` is set when `arg` (or, for a
// by-reference parameter given a value, the temporary `temp` the callee receives) holds
// something to release after the call: the converted value or the queried interface.
HRESULT ConvertArgument(const DispatchParam& p, const VARIANT& given, VARIANTARG& arg, VARIANT& temp, bool& owned) {
  HRESULT hr = S_OK;
  switch (p.mode) {
    case ParamMode::Variant: arg = given; return S_OK;
    case ParamMode::Value:
      if (given.vt == p.vt) {
        arg = given;
      } else if (given.vt == (VT_BYREF | p.vt) && given.byref) {
        VariantInit(&arg);
        arg.vt = p.vt;
        std::memcpy(&arg.llVal, given.byref, ByRefSize(p.vt));
      } else {
        VariantInit(&arg);
        hr = VariantChangeType(&arg, &given, 0, p.vt);
        owned = Succeeded(hr);
      }
      return hr;
    case ParamMode::ByRef:
      VariantInit(&arg);
      if (given.vt == (VT_BYREF | p.vt) && given.byref) {
        arg.vt = given.vt;
        arg.byref = given.byref;
        return S_OK;
      }
      // A reference of another type, or a value for a parameter no temporary can stand for.
      if ((given.vt & VT_BYREF) || !HoldsTemporary(p.vt)) return DISP_E_TYPEMISMATCH;
      // A value: the callee gets a temporary of the parameter's type, holding the value
      // converted when the callee reads it, else nothing (zero, nil, Empty).
      VariantInit(&temp);
      if (!p.input) temp.vt = p.vt == VT_VARIANT ? VARTYPE{VT_EMPTY} : p.vt;
      else if (p.vt == VT_VARIANT) hr = VariantCopy(&temp, &given);
      else hr = VariantChangeType(&temp, &given, 0, p.vt);
      if (Failed(hr)) return hr;
      owned = true;
      arg.vt = VT_BYREF | p.vt;
      arg.byref = p.vt == VT_VARIANT ? static_cast<void*>(&temp) : static_cast<void*>(&temp.llVal);
      return S_OK;
    case ParamMode::Interface: {
      const VARIANT& v = VariantDeref(given);
      VARTYPE vt = v.vt & ~VT_BYREF;
      IUnknown* unk = nullptr;
      if ((vt == VT_DISPATCH || vt == VT_UNKNOWN) && (v.vt & VT_BYREF) && !v.byref) return DISP_E_TYPEMISMATCH;
      if (vt == VT_DISPATCH || vt == VT_UNKNOWN)
        unk = (v.vt & VT_BYREF) ? *static_cast<IUnknown**>(v.byref) : v.punkVal;
      else if (vt != VT_EMPTY && vt != VT_NULL) return DISP_E_TYPEMISMATCH;
      VariantInit(&arg);
      arg.vt = VT_BYREF | VT_UNKNOWN;
      arg.byref = nullptr;
      if (unk) {
        if (Failed(unk->QueryInterface(p.iid, &arg.byref))) return DISP_E_TYPEMISMATCH;
        owned = true;
      }
      return S_OK;
    }
    case ParamMode::Array: {
      const VARIANT& v = VariantDeref(given);
      SAFEARRAY* a = nullptr;
      if (v.vt == (VT_ARRAY | p.vt)) a = v.parray;
      else if (v.vt == (VT_BYREF | VT_ARRAY | p.vt) && v.byref) a = *static_cast<SAFEARRAY**>(v.byref);
      else return DISP_E_TYPEMISMATCH;
      VariantInit(&arg);
      arg.vt = VT_ARRAY | p.vt;
      arg.parray = a;
      return S_OK;
    }
  }
  return S_OK;
}

// The converted arguments of one call: on the stack for up to kInlineParams parameters. What
// was converted is released when the call is over.
class ConvertedArguments {
 public:
  explicit ConvertedArguments(const DispatchFunction& f) : f_(f) {
    const std::size_t count = f.params.size();
    if (count > kInlineParams) {
      heapArgs_.resize(count);
      heapTemps_.resize(count);
      heapOwned_.resize(count);
      args_ = heapArgs_.data();
      temps_ = heapTemps_.data();
      owned_ = reinterpret_cast<bool*>(heapOwned_.data());
    }
  }
  ConvertedArguments(const ConvertedArguments&) = delete;
  ConvertedArguments& operator=(const ConvertedArguments&) = delete;
  ~ConvertedArguments() {
    for (std::size_t k = 0; k < converted_; ++k) {
      if (!owned_[k]) continue;
      if (f_.params[k].mode == ParamMode::Interface) {
        if (args_[k].byref) static_cast<IUnknown*>(args_[k].byref)->Release();
      } else if (f_.params[k].mode == ParamMode::ByRef) {
        VariantClear(&temps_[k]);
      } else {
        VariantClear(&args_[k]);
      }
    }
  }

  // Converts every parameter's argument (source as MapArguments filled it); a missing optional
  // one is passed as DISP_E_PARAMNOTFOUND.
  HRESULT Convert(const DISPPARAMS& params, const std::int32_t* source, std::uint32_t* argErr) {
    for (std::size_t k = 0; k < f_.params.size(); ++k) {
      const DispatchParam& p = f_.params[k];
      owned_[k] = false;
      converted_ = k + 1;
      if (source[k] < 0) {
        if (!p.optional) return params.cNamedArgs ? DISP_E_PARAMNOTOPTIONAL : DISP_E_BADPARAMCOUNT;
        VariantInit(&args_[k]);
        args_[k].vt = VT_ERROR;
        args_[k].scode = DISP_E_PARAMNOTFOUND;
        continue;
      }
      HRESULT hr = ConvertArgument(p, params.rgvarg[source[k]], args_[k], temps_[k], owned_[k]);
      if (Failed(hr)) {
        if (argErr) *argErr = static_cast<std::uint32_t>(source[k]);
        return hr;
      }
    }
    return S_OK;
  }
  VARIANTARG* Args() noexcept { return args_; }

 private:
  const DispatchFunction& f_;
  std::size_t converted_ = 0;  // slots that may own something
  VARIANTARG inlineArgs_[kInlineParams];
  VARIANT inlineTemps_[kInlineParams];
  bool inlineOwned_[kInlineParams] = {};
  std::vector<VARIANTARG> heapArgs_;
  std::vector<VARIANT> heapTemps_;
  std::vector<char> heapOwned_;
  VARIANTARG* args_ = inlineArgs_;
  VARIANT* temps_ = inlineTemps_;
  bool* owned_ = inlineOwned_;
};

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

  std::int32_t inlineSource[kInlineParams];
  std::vector<std::int32_t> heapSource;
  std::int32_t* source = inlineSource;
  if (count > kInlineParams) {
    heapSource.resize(count);
    source = heapSource.data();
  }
  HRESULT hr = MapArguments(count, isPut, *params, source, argErr);
  if (Failed(hr)) return hr;

  ConvertedArguments args(f);
  hr = args.Convert(*params, source, argErr);
  if (Failed(hr)) return hr;

  CallResult out(result);
  hr = f.thunk(instance, args.Args(), out.Out());
  return out.Finish(hr, excepInfo);
}

}  // namespace pw
