#include "platform/typeinfo.h"

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/comobject.h"
#include "platform/dispatch_thunks.h"
#include "platform/errorinfo.h"
#include "platform/exceptions.h"
#include "platform/registry.h"
#include "platform/strings.h"
#include "platform/typelib_data.h"

namespace pw {

void ClearExcepInfo(EXCEPINFO& info) noexcept {
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  std::memset(&info, 0, sizeof info);
}

namespace {

std::mutex gThunkLock;
std::vector<std::span<const InterfaceThunks>> gExtraThunks;

const InterfaceThunks* FindIn(std::span<const InterfaceThunks> set, const GUID& iid) {
  auto it = std::lower_bound(set.begin(), set.end(), iid, [](const InterfaceThunks& e, const GUID& g) { return e.iid < g; });
  return it != set.end() && it->iid == iid ? &*it : nullptr;
}

}  // namespace

void RegisterInterfaceThunks(std::span<const InterfaceThunks> thunks) {
  std::lock_guard lock(gThunkLock);
  for (const auto& s : gExtraThunks)
    if (s.data() == thunks.data()) return;
  gExtraThunks.push_back(thunks);
}

const InterfaceThunks* FindInterfaceThunks(const GUID& iid) noexcept {
  if (const InterfaceThunks* t = FindIn(BuiltInInterfaceThunks(), iid)) return t;
  std::lock_guard lock(gThunkLock);
  for (const auto& s : gExtraThunks)
    if (const InterfaceThunks* t = FindIn(s, iid)) return t;
  return nullptr;
}

namespace {

class TTypeLib;

// How Invoke hands an argument to a parameter.
enum class ParamMode : std::uint8_t {
  Variant,    // VARIANT: as the caller gave it
  Value,      // a scalar, string or object: converted to the type
  ByRef,      // VT_PTR to a scalar or VARIANT: the caller's reference of exactly that type
  Interface,  // VT_PTR to an interface: the object queried for that interface
  Array,      // SAFEARRAY: the caller's array of that element type
};

struct ParamInfo {
  ParamMode mode;
  VARTYPE vt;  // Value: the type; ByRef, Array: the element type
  bool optional;
  GUID iid;  // Interface
};

struct FuncInfo {
  std::vector<ParamInfo> params;
  std::vector<ELEMDESC> elems;
};

// The functions of one member id, by invoke kind.
struct Member {
  std::int16_t method = -1, get = -1, put = -1, putref = -1;
  bool Exists() const { return method >= 0 || get >= 0 || put >= 0 || putref >= 0; }
};

bool BstrOut(BSTR* out, WideStringView s) {
  if (!out) return true;
  *out = SysAllocStringLen(s.data(), static_cast<std::uint32_t>(s.size()));
  return *out != nullptr;
}

class TTypeInfo final : public ITypeInfo {
 public:
  TTypeInfo(TTypeLib* lib, std::uint32_t index, tlb::TypeData data, WORD major, WORD minor);

  HRESULT QueryInterface(const IID& riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IUnknown::iid || riid == ITypeInfo::iid) {
      *ppv = static_cast<ITypeInfo*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  // A type information lives as long as its library: its references are the library's.
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT GetTypeAttr(TYPEATTR** attr) override {
    if (!attr) return E_INVALIDARG;
    *attr = &attr_;
    return S_OK;
  }
  HRESULT GetFuncDesc(std::uint32_t index, FUNCDESC** desc) override {
    if (!desc) return E_INVALIDARG;
    if (index >= descs_.size()) return TYPE_E_ELEMENTNOTFOUND;
    *desc = &descs_[index];
    return S_OK;
  }
  void ReleaseTypeAttr(TYPEATTR*) override {}
  void ReleaseFuncDesc(FUNCDESC*) override {}

  HRESULT GetNames(DISPID memid, BSTR* names, std::uint32_t maxNames, std::uint32_t* count) override;
  HRESULT GetIDsOfNames(const char16_t* const* names, std::uint32_t count, DISPID* memids) override;
  HRESULT Invoke(void* instance, DISPID memid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                 std::uint32_t* argErr) override;
  HRESULT GetDocumentation(DISPID memid, BSTR* name, BSTR* doc, DWORD* helpContext, BSTR* helpFile) override;
  HRESULT GetContainingTypeLib(ITypeLib** lib, std::uint32_t* index) override;

  const tlb::TypeData& Data() const { return data_; }

 private:
  const Member* FindMember(DISPID memid) const {
    if (memid >= 0 && static_cast<std::size_t>(memid) < dense_.size()) {
      const Member& m = dense_[static_cast<std::size_t>(memid)];
      return m.Exists() ? &m : nullptr;
    }
    auto it = std::lower_bound(sparse_.begin(), sparse_.end(), memid,
                               [](const auto& e, DISPID id) { return e.first < id; });
    return it != sparse_.end() && it->first == memid ? &it->second : nullptr;
  }
  Member& MemberSlot(DISPID memid);
  const TYPEDESC* MakeTypeDesc(const tlb::TypeSpec& spec, std::size_t at = 0);
  static HRESULT FailWithException(HRESULT hr, EXCEPINFO* excepInfo);

  TTypeLib* lib_;
  std::uint32_t index_;
  tlb::TypeData data_;
  TYPEATTR attr_{};
  std::vector<FUNCDESC> descs_;
  std::vector<FuncInfo> funcs_;
  std::deque<TYPEDESC> typeDescs_;  // stable addresses for nested descriptions
  std::vector<GUID> refs_;          // VT_USERDEFINED references
  std::vector<Member> dense_;       // member ids 0 .. kDenseLimit - 1
  std::vector<std::pair<DISPID, Member>> sparse_;
  std::unordered_map<WideString, DISPID> names_;  // lower-cased
  const InterfaceThunks* thunks_ = nullptr;
  static constexpr DISPID kDenseLimit = 4096;
};

class TTypeLib final : public Implements<ComObject, ITypeLib> {
 public:
  explicit TTypeLib(tlb::LibraryData data) : guid_(data.guid), major_(data.major), minor_(data.minor),
                                              name_(std::move(data.name)), doc_(std::move(data.doc)) {
    infos_.reserve(data.types.size());
    for (std::size_t i = 0; i < data.types.size(); ++i) {
      infos_.push_back(std::make_unique<TTypeInfo>(this, static_cast<std::uint32_t>(i), std::move(data.types[i]),
                                                   major_, minor_));
      byGuid_.emplace(infos_.back()->Data().guid, infos_.back().get());
    }
  }

  std::uint32_t GetTypeInfoCount() override { return static_cast<std::uint32_t>(infos_.size()); }
  HRESULT GetTypeInfo(std::uint32_t index, ITypeInfo** info) override {
    if (!info) return E_INVALIDARG;
    *info = nullptr;
    if (index >= infos_.size()) return TYPE_E_ELEMENTNOTFOUND;
    *info = infos_[index].get();
    (*info)->AddRef();
    return S_OK;
  }
  HRESULT GetTypeInfoType(std::uint32_t index, TYPEKIND* kind) override {
    if (!kind) return E_INVALIDARG;
    if (index >= infos_.size()) return TYPE_E_ELEMENTNOTFOUND;
    *kind = static_cast<TYPEKIND>(infos_[index]->Data().kind);
    return S_OK;
  }
  HRESULT GetTypeInfoOfGuid(const GUID& guid, ITypeInfo** info) override {
    if (!info) return E_INVALIDARG;
    *info = nullptr;
    auto it = byGuid_.find(guid);
    if (it == byGuid_.end()) return TYPE_E_ELEMENTNOTFOUND;
    *info = it->second;
    (*info)->AddRef();
    return S_OK;
  }
  HRESULT GetLibAttr(TLIBATTR** attr) override {
    if (!attr) return E_INVALIDARG;
    *attr = &libAttr_;
    return S_OK;
  }
  void ReleaseTLibAttr(TLIBATTR*) override {}
  HRESULT GetDocumentation(std::int32_t index, BSTR* name, BSTR* doc, DWORD* helpContext, BSTR* helpFile) override {
    if (index == -1) {
      if (helpContext) *helpContext = 0;
      if (!BstrOut(name, name_) || !BstrOut(doc, doc_) || !BstrOut(helpFile, u"")) return E_OUTOFMEMORY;
      return S_OK;
    }
    if (index < 0 || static_cast<std::size_t>(index) >= infos_.size()) return TYPE_E_ELEMENTNOTFOUND;
    return infos_[static_cast<std::size_t>(index)]->GetDocumentation(MEMBERID_NIL, name, doc, helpContext, helpFile);
  }

  const std::u16string& Name() const { return name_; }

 private:
  GUID guid_;
  WORD major_, minor_;
  std::u16string name_, doc_;
  TLIBATTR libAttr_{guid_, 0, SYS_WIN64, major_, minor_, 0};
  std::vector<std::unique_ptr<TTypeInfo>> infos_;
  std::unordered_map<GUID, TTypeInfo*> byGuid_;
};

ULONG TTypeInfo::AddRef() { return lib_->AddRef(); }
ULONG TTypeInfo::Release() { return lib_->Release(); }

const TYPEDESC* TTypeInfo::MakeTypeDesc(const tlb::TypeSpec& spec, std::size_t at) {
  TYPEDESC& d = typeDescs_.emplace_back();
  d.vt = spec.chain[at];
  d.lptdesc = nullptr;
  if ((d.vt == VT_PTR || d.vt == VT_SAFEARRAY) && at + 1 < spec.chain.size()) {
    d.lptdesc = MakeTypeDesc(spec, at + 1);
  } else if (d.vt == VT_USERDEFINED) {
    auto it = std::find(refs_.begin(), refs_.end(), spec.ref);
    d.hreftype = static_cast<HREFTYPE>(it - refs_.begin());
    if (it == refs_.end()) refs_.push_back(spec.ref);
  }
  return &d;
}

Member& TTypeInfo::MemberSlot(DISPID memid) {
  if (memid >= 0 && memid < kDenseLimit) {
    if (dense_.size() <= static_cast<std::size_t>(memid)) dense_.resize(static_cast<std::size_t>(memid) + 1);
    return dense_[static_cast<std::size_t>(memid)];
  }
  auto it = std::lower_bound(sparse_.begin(), sparse_.end(), memid,
                             [](const auto& e, DISPID id) { return e.first < id; });
  if (it == sparse_.end() || it->first != memid) it = sparse_.insert(it, {memid, Member{}});
  return it->second;
}

ParamInfo MakeParamInfo(const tlb::ParamData& p) {
  ParamInfo info{ParamMode::Value, VT_EMPTY, (p.flags & PARAMFLAG_FOPT) != 0, GUID{}};
  const auto& c = p.type.chain;
  if (c[0] == VT_VARIANT) {
    info.mode = ParamMode::Variant;
  } else if (c[0] == VT_PTR && c.size() > 1 && c[1] == VT_USERDEFINED) {
    info.mode = ParamMode::Interface;
    info.iid = p.type.ref;
  } else if (c[0] == VT_PTR && c.size() > 1) {
    info.mode = ParamMode::ByRef;
    info.vt = c[1];
  } else if (c[0] == VT_SAFEARRAY && c.size() > 1) {
    info.mode = ParamMode::Array;
    info.vt = c[1];
  } else {
    info.vt = c[0];
  }
  return info;
}

TTypeInfo::TTypeInfo(TTypeLib* lib, std::uint32_t index, tlb::TypeData data, WORD major, WORD minor)
    : lib_(lib), index_(index), data_(std::move(data)) {
  attr_.guid = data_.guid;
  attr_.typekind = static_cast<TYPEKIND>(data_.kind);
  attr_.cFuncs = static_cast<WORD>(data_.funcs.size());
  attr_.cImplTypes = data_.baseName.empty() ? 0 : 1;
  attr_.wTypeFlags = data_.flags;
  attr_.wMajorVerNum = major;
  attr_.wMinorVerNum = minor;
  attr_.memidConstructor = attr_.memidDestructor = MEMBERID_NIL;
  attr_.cbAlignment = alignof(void*);
  int slots = 0;
  funcs_.resize(data_.funcs.size());
  descs_.resize(data_.funcs.size());
  for (std::size_t i = 0; i < data_.funcs.size(); ++i) {
    const auto& f = data_.funcs[i];
    FuncInfo& fi = funcs_[i];
    FUNCDESC& d = descs_[i];
    slots = std::max(slots, f.slot + 1);
    for (const auto& p : f.params) {
      fi.params.push_back(MakeParamInfo(p));
      ELEMDESC e{};
      e.tdesc = *MakeTypeDesc(p.type);
      e.paramdesc.wParamFlags = p.flags;
      fi.elems.push_back(e);
    }
    d.memid = f.memid;
    d.lprgelemdescParam = fi.elems.empty() ? nullptr : fi.elems.data();
    d.funckind = data_.kind == TKIND_DISPATCH ? FUNC_DISPATCH : FUNC_PUREVIRTUAL;
    d.invkind = static_cast<INVOKEKIND>(f.invkind);
    d.callconv = CC_STDCALL;
    d.cParams = static_cast<std::int16_t>(f.params.size());
    d.cParamsOpt = 0;
    d.oVft = static_cast<std::int16_t>(f.slot * static_cast<int>(sizeof(void*)));
    d.elemdescFunc.tdesc = *MakeTypeDesc(f.result);
    d.wFuncFlags = f.flags;

    Member& m = MemberSlot(f.memid);
    auto idx = static_cast<std::int16_t>(i);
    switch (f.invkind) {
      case INVOKE_PROPERTYGET: if (m.get < 0) m.get = idx; break;
      case INVOKE_PROPERTYPUT: if (m.put < 0) m.put = idx; break;
      case INVOKE_PROPERTYPUTREF: if (m.putref < 0) m.putref = idx; break;
      default: if (m.method < 0) m.method = idx; break;
    }
    names_.try_emplace(WideLowerCase(f.name), f.memid);
  }
  attr_.cbSizeVft = static_cast<WORD>(slots * static_cast<int>(sizeof(void*)));
  if (const InterfaceThunks* t = FindInterfaceThunks(data_.guid); t && t->funcCount == data_.funcs.size())
    thunks_ = t;
}

HRESULT TTypeInfo::GetNames(DISPID memid, BSTR* names, std::uint32_t maxNames, std::uint32_t* count) {
  if (!names || !count) return E_INVALIDARG;
  *count = 0;
  const Member* m = FindMember(memid);
  if (!m) return TYPE_E_ELEMENTNOTFOUND;
  std::int16_t i = m->method >= 0 ? m->method : m->get >= 0 ? m->get : m->put >= 0 ? m->put : m->putref;
  const auto& f = data_.funcs[static_cast<std::size_t>(i)];
  if (maxNames == 0) return S_OK;
  if (!BstrOut(&names[0], f.name)) return E_OUTOFMEMORY;
  *count = 1;
  for (std::size_t k = 0; k < f.params.size() && *count < maxNames; ++k) {
    if (!BstrOut(&names[*count], f.params[k].name)) return E_OUTOFMEMORY;
    ++*count;
  }
  return S_OK;
}

HRESULT TTypeInfo::GetIDsOfNames(const char16_t* const* names, std::uint32_t count, DISPID* memids) {
  if (!names || !memids) return E_INVALIDARG;
  if (count == 0) return S_OK;
  for (std::uint32_t i = 0; i < count; ++i) memids[i] = MEMBERID_NIL;
  auto it = names_.find(WideLowerCase(names[0] ? WideStringView(names[0]) : WideStringView()));
  if (it == names_.end()) return DISP_E_UNKNOWNNAME;
  memids[0] = it->second;
  HRESULT result = S_OK;
  const Member* m = FindMember(it->second);
  for (std::uint32_t n = 1; n < count; ++n) {
    WideStringView wanted = names[n] ? WideStringView(names[n]) : WideStringView();
    for (std::int16_t fi : {m->method, m->get, m->put, m->putref}) {
      if (fi < 0) continue;
      const auto& params = data_.funcs[static_cast<std::size_t>(fi)].params;
      for (std::size_t k = 0; k < params.size() && memids[n] == MEMBERID_NIL; ++k)
        if (SameTextIgnoringCase(params[k].name, wanted)) memids[n] = static_cast<DISPID>(k);
    }
    if (memids[n] == MEMBERID_NIL) result = DISP_E_UNKNOWNNAME;
  }
  return result;
}

HRESULT TTypeInfo::GetDocumentation(DISPID memid, BSTR* name, BSTR* doc, DWORD* helpContext, BSTR* helpFile) {
  const std::u16string* n = &data_.name;
  const std::u16string* d = &data_.doc;
  if (memid != MEMBERID_NIL) {
    const Member* m = FindMember(memid);
    if (!m) return TYPE_E_ELEMENTNOTFOUND;
    std::int16_t i = m->method >= 0 ? m->method : m->get >= 0 ? m->get : m->put >= 0 ? m->put : m->putref;
    n = &data_.funcs[static_cast<std::size_t>(i)].name;
    d = &data_.funcs[static_cast<std::size_t>(i)].doc;
  }
  if (helpContext) *helpContext = 0;
  if (!BstrOut(name, *n) || !BstrOut(doc, *d) || !BstrOut(helpFile, u"")) return E_OUTOFMEMORY;
  return S_OK;
}

HRESULT TTypeInfo::GetContainingTypeLib(ITypeLib** lib, std::uint32_t* index) {
  if (!lib) return E_INVALIDARG;
  *lib = lib_;
  lib_->AddRef();
  if (index) *index = index_;
  return S_OK;
}

// A failure of the implementation: its error information becomes the exception record, and
// stays the thread's error information for callers that read it there.
HRESULT TTypeInfo::FailWithException(HRESULT hr, EXCEPINFO* excepInfo) {
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

HRESULT TTypeInfo::Invoke(void* instance, DISPID memid, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* excepInfo, std::uint32_t* argErr) {
  if (!instance) return E_INVALIDARG;
  const Member* m = FindMember(memid);
  if (!m) return DISP_E_MEMBERNOTFOUND;
  const bool isPut = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  std::int16_t fi = -1;
  if (isPut) {
    if ((flags & DISPATCH_PROPERTYPUT) && m->put >= 0) fi = m->put;
    else if ((flags & DISPATCH_PROPERTYPUTREF) && m->putref >= 0) fi = m->putref;
  } else {
    if ((flags & DISPATCH_METHOD) && m->method >= 0) fi = m->method;
    else if ((flags & DISPATCH_PROPERTYGET) && m->get >= 0) fi = m->get;
  }
  if (fi < 0) return DISP_E_MEMBERNOTFOUND;
  const auto index = static_cast<std::size_t>(fi);
  if (!thunks_ || !thunks_->thunks[index]) return E_NOTIMPL;  // no C++ binding for this interface

  const FuncInfo& func = funcs_[index];
  const std::size_t count = func.params.size();
  if (count == 0 && (!params || params->cArgs == 0)) {
    // The common property read: nothing to map or convert.
    VARIANT value;
    VariantInit(&value);
    HRESULT hr = thunks_->thunks[index](instance, nullptr, &value);
    if (Failed(hr)) {
      VariantClear(&value);
      return FailWithException(hr, excepInfo);
    }
    if (result) {
      VariantClear(result);
      *result = value;
    } else {
      VariantClear(&value);
    }
    return S_OK;
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

  // Convert the arguments. `owned` marks slots whose content must be released afterwards.
  VARIANTARG inlineArgs[kInline];
  bool inlineOwned[kInline] = {};
  std::vector<VARIANTARG> heapArgs;
  std::vector<char> heapOwned;
  VARIANTARG* args = inlineArgs;
  bool* owned = inlineOwned;
  if (count > kInline) {
    heapArgs.resize(count);
    heapOwned.resize(count);
    args = heapArgs.data();
    owned = reinterpret_cast<bool*>(heapOwned.data());
  }
  auto cleanup = [&](std::size_t upTo) {
    for (std::size_t k = 0; k < upTo; ++k) {
      if (!owned[k]) continue;
      if (func.params[k].mode == ParamMode::Interface) {
        if (args[k].byref) static_cast<IUnknown*>(args[k].byref)->Release();
      } else {
        VariantClear(&args[k]);
      }
    }
  };

  HRESULT hr = S_OK;
  std::size_t k = 0;
  for (; k < count; ++k) {
    const ParamInfo& p = func.params[k];
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
          std::memcpy(&args[k].llVal, given.byref, p.vt == VT_I1 || p.vt == VT_UI1 ? 1
                                                   : p.vt == VT_I2 || p.vt == VT_UI2 || p.vt == VT_BOOL ? 2
                                                   : p.vt == VT_I8 || p.vt == VT_UI8 || p.vt == VT_R8 ||
                                                           p.vt == VT_CY || p.vt == VT_DATE
                                                       ? 8
                                                   : p.vt == VT_BSTR || p.vt == VT_DISPATCH || p.vt == VT_UNKNOWN
                                                       ? sizeof(void*)
                                                       : 4);
        } else {
          VariantInit(&args[k]);
          hr = VariantChangeType(&args[k], &given, 0, p.vt);
          owned[k] = Succeeded(hr);
        }
        break;
      case ParamMode::ByRef:
        if (given.vt != (VT_BYREF | p.vt) || !given.byref) {
          hr = DISP_E_TYPEMISMATCH;
          break;
        }
        VariantInit(&args[k]);
        args[k].vt = given.vt;
        args[k].byref = given.byref;
        break;
      case ParamMode::Interface: {
        const VARIANT& v = VariantDeref(given);
        VARTYPE vt = v.vt & ~VT_BYREF;
        IUnknown* unk = nullptr;
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

  VARIANT value;
  VariantInit(&value);
  hr = thunks_->thunks[index](instance, args, &value);
  cleanup(count);
  if (Failed(hr)) {
    VariantClear(&value);
    return FailWithException(hr, excepInfo);
  }
  if (result) {
    VariantClear(result);
    *result = value;
  } else {
    VariantClear(&value);
  }
  return S_OK;
}

// The bytes of the section that holds an executable's or shared object's type library.
bool ReadElfSection(std::ifstream& file, const char* wanted, std::vector<std::uint8_t>& out) {
  Elf64_Ehdr eh{};
  file.seekg(0);
  if (!file.read(reinterpret_cast<char*>(&eh), sizeof eh)) return false;
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64) return false;
  if (eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shnum == 0 || eh.e_shstrndx >= eh.e_shnum) return false;
  std::vector<Elf64_Shdr> sections(eh.e_shnum);
  file.seekg(static_cast<std::streamoff>(eh.e_shoff));
  if (!file.read(reinterpret_cast<char*>(sections.data()),
                 static_cast<std::streamsize>(sections.size() * sizeof(Elf64_Shdr))))
    return false;
  const Elf64_Shdr& names = sections[eh.e_shstrndx];
  if (names.sh_size > (1u << 24)) return false;
  std::string strtab(names.sh_size, '\0');
  file.seekg(static_cast<std::streamoff>(names.sh_offset));
  if (!file.read(strtab.data(), static_cast<std::streamsize>(strtab.size()))) return false;
  for (const auto& s : sections) {
    if (s.sh_name >= strtab.size() || std::strcmp(strtab.c_str() + s.sh_name, wanted) != 0) continue;
    if (s.sh_type == SHT_NOBITS || s.sh_size > (1u << 28)) return false;
    out.resize(s.sh_size);
    file.seekg(static_cast<std::streamoff>(s.sh_offset));
    return static_cast<bool>(file.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(s.sh_size)));
  }
  return false;
}

}  // namespace

HRESULT LoadTypeLibFromMemory(const void* data, std::size_t size, ITypeLib** lib) {
  if (!lib) return E_INVALIDARG;
  *lib = nullptr;
  if (!data) return E_INVALIDARG;
  try {
    tlb::LibraryData content;
    switch (tlb::Deserialize(static_cast<const std::uint8_t*>(data), size, content)) {
      case tlb::ReadResult::Ok: break;
      case tlb::ReadResult::NotALibrary: return TYPE_E_CANTLOADLIBRARY;
      case tlb::ReadResult::NewerFormat: return TYPE_E_UNSUPFORMAT;
      case tlb::ReadResult::Damaged: return TYPE_E_INVDATAREAD;
    }
    for (const auto& t : content.types)
      for (const auto& f : t.funcs) {
        if (f.result.chain.empty()) return TYPE_E_INVDATAREAD;
        for (const auto& p : f.params)
          if (p.type.chain.empty()) return TYPE_E_INVDATAREAD;
      }
    auto obj = MakeObject<TTypeLib>(std::move(content));
    *lib = static_cast<ITypeLib*>(obj.Detach());
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT LoadTypeLib(const std::u16string& fileName, ITypeLib** lib) {
  if (!lib) return E_INVALIDARG;
  *lib = nullptr;
  try {
    std::ifstream file(WideToUtf8(fileName), std::ios::binary);
    if (!file) return TYPE_E_CANTLOADLIBRARY;
    char head[4] = {};
    file.read(head, 4);
    std::vector<std::uint8_t> bytes;
    if (file.gcount() == 4 && std::memcmp(head, tlb::kMagic, 4) == 0) {
      file.seekg(0, std::ios::end);
      auto size = static_cast<std::size_t>(file.tellg());
      if (size > (1u << 28)) return TYPE_E_INVDATAREAD;
      bytes.resize(size);
      file.seekg(0);
      if (!file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
        return TYPE_E_CANTLOADLIBRARY;
    } else {
      file.clear();
      // An executable or shared object: its type library resource.
      if (!ReadElfSection(file, ".pwtypelib", bytes)) return TYPE_E_CANTLOADLIBRARY;
    }
    return LoadTypeLibFromMemory(bytes.data(), bytes.size(), lib);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT RegisterTypeLib(ITypeLib* lib, const std::u16string& fullPath) {
  if (!lib) return E_INVALIDARG;
  try {
    TLIBATTR* attr = nullptr;
    HRESULT hr = lib->GetLibAttr(&attr);
    if (Failed(hr)) return hr;
    const WideString libGuid = GuidToWideString(attr->guid);
    const WideString version = IntToWide(attr->wMajorVerNum) + u"." + IntToWide(attr->wMinorVerNum);
    lib->ReleaseTLibAttr(attr);
    TRegistry reg(RootKey::ClassesRoot);
    BString name;
    lib->GetDocumentation(-1, name.Put(), nullptr, nullptr, nullptr);
    reg.OpenKey(u"Typelib\\" + libGuid + u"\\" + version, true);
    reg.WriteString(u"", name.View());
    reg.OpenKey(u"Typelib\\" + libGuid + u"\\" + version + u"\\0\\win32", true);
    reg.WriteString(u"", fullPath);
    for (std::uint32_t i = 0; i < lib->GetTypeInfoCount(); ++i) {
      ComPtr<ITypeInfo> info;
      if (Failed(lib->GetTypeInfo(i, info.Put()))) continue;
      TYPEATTR* ta = nullptr;
      if (Failed(info->GetTypeAttr(&ta))) continue;
      const GUID iid = ta->guid;
      const TYPEKIND kind = ta->typekind;
      info->ReleaseTypeAttr(ta);
      if (kind != TKIND_INTERFACE && kind != TKIND_DISPATCH) continue;
      reg.OpenKey(u"Interface\\" + GuidToWideString(iid) + u"\\Typelib", true);
      reg.WriteString(u"", libGuid);
      reg.WriteString(u"Version", version);
    }
    reg.CloseKey();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT DispGetIDsOfNames(ITypeInfo* info, const char16_t* const* names, std::uint32_t count, DISPID* dispIds) {
  if (!info) return E_INVALIDARG;
  return info->GetIDsOfNames(names, count, dispIds);
}

}  // namespace pw
