#include "platform/automation/typeinfo.h"

#include <elf.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/com/comobject.h"
#include "platform/automation/dispatch_call.h"
#include "platform/automation/dispatch_thunks.h"
#include "platform/com/errorinfo.h"
#include "platform/rtl/exceptions.h"
#include "platform/com/registry.h"
#include "platform/rtl/strings.h"
#include "platform/automation/typelib_data.h"

namespace pw {

void ClearExcepInfo(EXCEPINFO& info) noexcept {
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  std::memset(&info, 0, sizeof info);
}

namespace {

std::mutex gThunkLock;
std::vector<std::span<const InterfaceThunks>> gThunks;

const InterfaceThunks* FindIn(std::span<const InterfaceThunks> set, const GUID& iid) {
  auto it = std::lower_bound(set.begin(), set.end(), iid, [](const InterfaceThunks& e, const GUID& g) { return e.iid < g; });
  return it != set.end() && it->iid == iid ? &*it : nullptr;
}

}  // namespace

void RegisterInterfaceThunks(std::span<const InterfaceThunks> thunks) {
  std::lock_guard lock(gThunkLock);
  for (const auto& s : gThunks)
    if (s.data() == thunks.data()) return;
  gThunks.push_back(thunks);
}

void UnregisterInterfaceThunks(std::span<const InterfaceThunks> thunks) {
  std::lock_guard lock(gThunkLock);
  std::erase_if(gThunks, [&](const auto& s) { return s.data() == thunks.data(); });
}

const InterfaceThunks* FindInterfaceThunks(const GUID& iid) noexcept {
  std::lock_guard lock(gThunkLock);
  for (const auto& s : gThunks)
    if (const InterfaceThunks* t = FindIn(s, iid)) return t;
  return nullptr;
}

namespace {

class TTypeLib;

struct FuncInfo {
  DispatchFunction call;
  std::vector<ELEMDESC> elems;
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
  HRESULT GetRefTypeOfImplType(std::uint32_t index, HREFTYPE* ref) override;
  HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) override;

  // The reference of the base: kBaseRef; the references of VT_USERDEFINED types count from 0.
  static constexpr HREFTYPE kBaseRef = 0x80000000u;

  const tlb::TypeData& Data() const { return data_; }
  // The map, its functions bound to the interface's thunks.
  const DispatchMap& Map() const {
    BindThunks();
    return map_;
  }

 private:
  // Binds each function to its thunk once, at the first call: the owner of the interface may
  // register its thunks after the library was loaded.
  void BindThunks() const {
    std::call_once(thunksBound_, [this] {
      const InterfaceThunks* thunks = FindInterfaceThunks(data_.guid);
      if (!thunks || thunks->funcCount != data_.funcs.size()) return;
      for (std::size_t i = 0; i < funcs_.size(); ++i) {
        funcs_[i].call.thunk = thunks->thunks[i];
        if (data_.funcs[i].params.empty()) funcs_[i].call.direct = funcs_[i].call.thunk;
      }
    });
  }
  // The function that names a member: its method, else get, put, putref.
  const tlb::FuncData* FirstFunction(DISPID memid) const {
    const DispatchMember* m = map_.Find(memid);
    return m ? &data_.funcs[m->First()->index] : nullptr;
  }
  const TYPEDESC* MakeTypeDesc(const tlb::TypeSpec& spec, std::size_t at = 0);

  TTypeLib* lib_;
  std::uint32_t index_;
  tlb::TypeData data_;
  TYPEATTR attr_{};
  std::vector<FUNCDESC> descs_;
  std::map<DISPID, std::size_t> namedBy_;  // the function whose names GetNames answers
  mutable std::vector<FuncInfo> funcs_;  // thunks bound by BindThunks
  mutable std::once_flag thunksBound_;
  std::deque<TYPEDESC> typeDescs_;  // stable addresses for nested descriptions
  std::vector<GUID> refs_;          // VT_USERDEFINED references
  DispatchMap map_;
  std::unordered_map<WideString, DISPID> names_;  // lower-cased
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
  // The library's type of that name; nil when it has none.
  TTypeInfo* InfoNamed(const std::u16string& name) const {
    for (const auto& info : infos_)
      if (info->Data().name == name) return info.get();
    return nullptr;
  }
  TTypeInfo* InfoOfGuid(const GUID& guid) const {
    auto it = byGuid_.find(guid);
    return it == byGuid_.end() ? nullptr : it->second;
  }

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

DispatchParam MakeDispatchParam(const tlb::ParamData& p) {
  DispatchParam info{ParamMode::Value, VT_EMPTY, (p.flags & PARAMFLAG_FOPT) != 0, GUID{},
                     (p.flags & PARAMFLAG_FIN) != 0 || !(p.flags & PARAMFLAG_FOUT)};
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
    fi.call.index = static_cast<std::uint16_t>(i);
    for (const auto& p : f.params) {
      fi.call.params.push_back(MakeDispatchParam(p));
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

    DispatchMember& m = map_.Add(f.memid);
    m.owner = 0;
    m.Add(f.invkind, &fi.call);
    names_.try_emplace(WideLowerCase(f.name), f.memid);
    // A member of the interface itself hides an inherited one of the same id (an event set
    // numbers its members from the id the dispatch members of a dual interface start at).
    namedBy_[f.memid] = i;
  }
  map_.Finish();
  attr_.cbSizeVft = static_cast<WORD>(slots * static_cast<int>(sizeof(void*)));
}

HRESULT TTypeInfo::GetNames(DISPID memid, BSTR* names, std::uint32_t maxNames, std::uint32_t* count) {
  if (!names || !count) return E_INVALIDARG;
  *count = 0;
  auto named = namedBy_.find(memid);
  if (named == namedBy_.end()) return TYPE_E_ELEMENTNOTFOUND;
  const tlb::FuncData* f = &data_.funcs[named->second];
  if (maxNames == 0) return S_OK;
  if (!BstrOut(&names[0], f->name)) return E_OUTOFMEMORY;
  *count = 1;
  for (std::size_t k = 0; k < f->params.size() && *count < maxNames; ++k) {
    if (!BstrOut(&names[*count], f->params[k].name)) return E_OUTOFMEMORY;
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
  const DispatchMember* m = map_.Find(it->second);
  for (std::uint32_t n = 1; n < count; ++n) {
    WideStringView wanted = names[n] ? WideStringView(names[n]) : WideStringView();
    for (const DispatchFunction* fi : {m->Method(), m->Get(), m->Put(), m->PutRef()}) {
      if (!fi) continue;
      const auto& params = data_.funcs[fi->index].params;
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
    const tlb::FuncData* f = FirstFunction(memid);
    if (!f) return TYPE_E_ELEMENTNOTFOUND;
    n = &f->name;
    d = &f->doc;
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

// The type information of IUnknown and IDispatch: attributes and a name, no functions of their
// own. They live for the process: references are not counted.
class TBuiltinTypeInfo final : public ITypeInfo {
 public:
  TBuiltinTypeInfo(const GUID& guid, const char16_t* name, ITypeInfo* base) : name_(name), base_(base) {
    attr_.guid = guid;
    attr_.typekind = TKIND_INTERFACE;
    attr_.cImplTypes = base ? 1 : 0;
    attr_.memidConstructor = attr_.memidDestructor = MEMBERID_NIL;
    attr_.cbAlignment = alignof(void*);
    attr_.cbSizeVft = static_cast<WORD>((base ? 7 : 3) * sizeof(void*));
  }
  HRESULT QueryInterface(const IID& riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IUnknown::iid || riid == ITypeInfo::iid) {
      *ppv = static_cast<ITypeInfo*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeAttr(TYPEATTR** attr) override {
    if (!attr) return E_INVALIDARG;
    *attr = &attr_;
    return S_OK;
  }
  HRESULT GetFuncDesc(std::uint32_t, FUNCDESC** desc) override {
    if (desc) *desc = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT GetNames(DISPID, BSTR*, std::uint32_t, std::uint32_t* count) override {
    if (count) *count = 0;
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT GetIDsOfNames(const char16_t* const*, std::uint32_t count, DISPID* memids) override {
    for (std::uint32_t i = 0; memids && i < count; ++i) memids[i] = MEMBERID_NIL;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(void*, DISPID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, std::uint32_t*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
  HRESULT GetDocumentation(DISPID memid, BSTR* name, BSTR* doc, DWORD* helpContext, BSTR* helpFile) override {
    if (memid != MEMBERID_NIL) return TYPE_E_ELEMENTNOTFOUND;
    if (helpContext) *helpContext = 0;
    if (!BstrOut(name, name_) || !BstrOut(doc, u"") || !BstrOut(helpFile, u"")) return E_OUTOFMEMORY;
    return S_OK;
  }
  HRESULT GetContainingTypeLib(ITypeLib** lib, std::uint32_t* index) override {
    if (lib) *lib = nullptr;
    if (index) *index = 0;
    return TYPE_E_ELEMENTNOTFOUND;
  }
  void ReleaseTypeAttr(TYPEATTR*) override {}
  void ReleaseFuncDesc(FUNCDESC*) override {}
  HRESULT GetRefTypeOfImplType(std::uint32_t index, HREFTYPE* ref) override {
    if (!ref) return E_INVALIDARG;
    *ref = 0;
    if (!base_ || index != 0) return TYPE_E_ELEMENTNOTFOUND;
    *ref = TTypeInfo::kBaseRef;
    return S_OK;
  }
  HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) override {
    if (!info) return E_INVALIDARG;
    *info = nullptr;
    if (!base_ || ref != TTypeInfo::kBaseRef) return TYPE_E_ELEMENTNOTFOUND;
    *info = base_;
    return S_OK;
  }

 private:
  const char16_t* name_;
  ITypeInfo* base_;
  TYPEATTR attr_{};
};

// The built-in type information that a base of this name resolves to; nil for other names.
ITypeInfo* BuiltinTypeInfoNamed(const std::u16string& name) {
  if (name == u"IUnknown") return BuiltinTypeInfoOfIUnknown();
  if (name == u"IDispatch") return BuiltinTypeInfoOfIDispatch();
  return nullptr;
}

HRESULT TTypeInfo::GetRefTypeOfImplType(std::uint32_t index, HREFTYPE* ref) {
  if (!ref) return E_INVALIDARG;
  *ref = 0;
  if (data_.baseName.empty() || index != 0) return TYPE_E_ELEMENTNOTFOUND;
  *ref = kBaseRef;
  return S_OK;
}

HRESULT TTypeInfo::GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) {
  if (!info) return E_INVALIDARG;
  *info = nullptr;
  ITypeInfo* found = nullptr;
  if (ref == kBaseRef) {
    if (data_.baseName.empty()) return TYPE_E_ELEMENTNOTFOUND;
    found = lib_->InfoNamed(data_.baseName);
    if (!found) found = BuiltinTypeInfoNamed(data_.baseName);
  } else if (ref < refs_.size()) {
    found = lib_->InfoOfGuid(refs_[ref]);
    if (!found && refs_[ref] == IDispatch::iid) found = BuiltinTypeInfoOfIDispatch();
    if (!found && refs_[ref] == IUnknown::iid) found = BuiltinTypeInfoOfIUnknown();
  }
  if (!found) return TYPE_E_ELEMENTNOTFOUND;
  found->AddRef();
  *info = found;
  return S_OK;
}

HRESULT TTypeInfo::Invoke(void* instance, DISPID memid, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* excepInfo, std::uint32_t* argErr) {
  if (!instance) return E_INVALIDARG;
  const DispatchMember* m = Map().Find(memid);
  const DispatchFunction* f = m ? m->For(flags) : nullptr;
  if (!f) return DISP_E_MEMBERNOTFOUND;
  return InvokeFunction(*f, instance, flags, params, result, excepInfo, argErr);
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

// Whether following the bases of the library's interfaces (by name, inside the library) comes
// back to an interface already on the way.
bool BasesFormCycle(const tlb::LibraryData& lib) {
  std::unordered_map<std::u16string, std::size_t> byName;
  for (std::size_t i = 0; i < lib.types.size(); ++i) byName.try_emplace(lib.types[i].name, i);
  // 0 not seen, 1 on the current path, 2 done (no cycle from it).
  std::vector<std::uint8_t> state(lib.types.size(), 0);
  for (std::size_t start = 0; start < lib.types.size(); ++start) {
    std::vector<std::size_t> path;
    for (std::size_t at = start;;) {
      if (state[at] == 2) break;
      if (state[at] == 1) return true;
      state[at] = 1;
      path.push_back(at);
      if (lib.types[at].baseName.empty()) break;
      auto next = byName.find(lib.types[at].baseName);
      if (next == byName.end()) break;
      at = next->second;
    }
    for (std::size_t p : path) state[p] = 2;
  }
  return false;
}

}  // namespace

ITypeInfo* BuiltinTypeInfoOfIUnknown() {
  static TBuiltinTypeInfo info(IUnknown::iid, u"IUnknown", nullptr);
  return &info;
}

ITypeInfo* BuiltinTypeInfoOfIDispatch() {
  static TBuiltinTypeInfo info(IDispatch::iid, u"IDispatch", BuiltinTypeInfoOfIUnknown());
  return &info;
}

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
    if (BasesFormCycle(content)) return TYPE_E_INVDATAREAD;
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

const DispatchMap* DispatchMapOf(ITypeInfo* info) noexcept {
  const auto* own = dynamic_cast<const TTypeInfo*>(info);
  return own ? &own->Map() : nullptr;
}

HRESULT DispGetIDsOfNames(ITypeInfo* info, const char16_t* const* names, std::uint32_t count, DISPID* dispIds) {
  if (!info) return E_INVALIDARG;
  return info->GetIDsOfNames(names, count, dispIds);
}

}  // namespace pw
