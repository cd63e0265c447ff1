#include "core/automation/automation.h"

#include <algorithm>
#include <typeinfo>

#include "core/containers/hash_tables.h"
#include "platform/rtl/exceptions.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/modules.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

// The first seven functions of a dispatch type information are IUnknown's and IDispatch's.
constexpr std::uint32_t kInheritedFunctions = 7;

TMULTIPLY_TLB_CLASS* gTypeLibraries = nullptr;
TcvTable* gDispatchCache = nullptr;  // class -> TGuidsManager*, one reference held by the cache
CriticalSection* gDispatchCacheLock = nullptr;

}  // namespace

// --- TMULTIPLY_TLB_CLASS ---

void TMULTIPLY_TLB_CLASS::Add(ITypeLib* lib) {
  if (!lib) return;
  std::lock_guard lock(lock_);
  libraries_.emplace_back(lib);
}

bool TMULTIPLY_TLB_CLASS::IsEmpty() const {
  std::lock_guard lock(lock_);
  return libraries_.empty();
}

ComPtr<ITypeInfo> TMULTIPLY_TLB_CLASS::GetTypeInfoOfGuid(const IID& iid) const {
  std::vector<ComPtr<ITypeLib>> libs;
  {
    std::lock_guard lock(lock_);
    libs = libraries_;
  }
  HRESULT last = TYPE_E_ELEMENTNOTFOUND;
  for (const auto& lib : libs) {
    ComPtr<ITypeInfo> info;
    last = lib->GetTypeInfoOfGuid(iid, info.Put());
    if (Succeeded(last) && info) return info;
  }
  OleError(last);
}

void TMULTIPLY_TLB_CLASS::Clear() {
  std::vector<ComPtr<ITypeLib>> libs;
  std::lock_guard lock(lock_);
  libs.swap(libraries_);
}

// --- TGuidsManager ---

TGuidsManager::TGuidsManager(const std::vector<ComPtr<ITypeInfo>>& typeInfos, std::vector<IID> iids)
    : iids_(std::move(iids)), typeInfos_(typeInfos) {
  for (std::size_t i = 0; i < typeInfos.size(); ++i) {
    ITypeInfo* info = typeInfos[i].Get();
    const DispatchMap* own = DispatchMapOf(info);
    if (!own) callable_ = false;
    TYPEATTR* attr = nullptr;
    OleCheck(info->GetTypeAttr(&attr));
    const std::uint32_t funcs = attr->cFuncs;
    try {
      for (std::uint32_t f = kInheritedFunctions; f < funcs; ++f) {
        FUNCDESC* desc = nullptr;
        OleCheck(info->GetFuncDesc(f, &desc));
        const DISPID id = desc->memid;
        info->ReleaseFuncDesc(desc);
        if (map_.Contains(id)) continue;  // the first interface that declares a DISPID owns it
        DispatchMember& m = map_.Add(id);
        if (const DispatchMember* declared = own ? own->Find(id) : nullptr) m = *declared;
        m.owner = static_cast<std::int32_t>(i);
      }
    } catch (...) {
      info->ReleaseTypeAttr(attr);
      throw;
    }
    info->ReleaseTypeAttr(attr);
  }
  map_.Finish();
}

// --- TCustomCVAAutoIntfObject ---

HRESULT TCustomCVAAutoIntfObject::GetTypeInfoCount(std::uint32_t*) { return E_NOTIMPL; }
HRESULT TCustomCVAAutoIntfObject::GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) { return E_NOTIMPL; }
HRESULT TCustomCVAAutoIntfObject::GetIDsOfNames(const IID&, const char16_t* const*, std::uint32_t, LCID, DISPID*) {
  return E_NOTIMPL;
}
HRESULT TCustomCVAAutoIntfObject::Invoke(DISPID, const IID&, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                         std::uint32_t*) {
  return E_NOTIMPL;
}

// --- TCVAAutoIntfObject ---

TCVAAutoIntfObject::TCVAAutoIntfObject(std::vector<IID> iids) : Implements(std::move(iids)) {
  TMULTIPLY_TLB_CLASS* libs = TypeLibraries();
  if (!libs || libs->IsEmpty()) return;
  typeInfos_.reserve(Iids().size());
  for (const IID& iid : Iids()) typeInfos_.push_back(libs->GetTypeInfoOfGuid(iid));
}

TCVAAutoIntfObject::~TCVAAutoIntfObject() = default;

void TCVAAutoIntfObject::Bind() {
  if (bound_.load(std::memory_order_acquire)) return;
  std::lock_guard bindLock(bindLock_);
  if (bound_.load(std::memory_order_relaxed)) return;
  [this] {
    interfaces_.resize(typeInfos_.size());
    for (std::size_t i = 0; i < typeInfos_.size(); ++i) interfaces_[i] = GetInterface(Iids()[i]);
    if (typeInfos_.size() < 2) return;
    if (!gDispatchCacheLock) {  // the module has stopped: no cache to share through
      guidsManager_ = MakeObject<TGuidsManager>(typeInfos_, Iids());
      return;
    }
    const auto key = reinterpret_cast<std::intptr_t>(&typeid(*this));
    std::lock_guard lock(*gDispatchCacheLock);
    auto* cached = static_cast<TGuidsManager*>(gDispatchCache->GetValue(key));
    if (cached && cached->Iids() == Iids() && cached->Serves(typeInfos_)) {
      guidsManager_ = cached;
      return;
    }
    auto manager = MakeObject<TGuidsManager>(typeInfos_, Iids());
    if (!cached) {
      manager->AddRef();  // the cache's own reference, released at unload
      gDispatchCache->SetValue(key, manager.Get());
    }
    // An object of the class that names other interfaces keeps a map of its own.
    guidsManager_ = std::move(manager);
  }();
  // Calls go through the map once the object's interface pointers are known.
  const DispatchMap* map = nullptr;
  if (!typeInfos_.empty()) map = guidsManager_ ? guidsManager_->CallMap() : DispatchMapOf(typeInfos_[0].Get());
  if (map) {
    members_ = map->Array();
    memberCount_.store(map->ArrayCount(), std::memory_order_release);
    callMap_.store(map, std::memory_order_release);
  }
  bound_.store(true, std::memory_order_release);
}

const TGuidsManager* TCVAAutoIntfObject::GuidsManager() {
  if (typeInfos_.empty()) return nullptr;
  Bind();
  return guidsManager_.Get();
}

HRESULT TCVAAutoIntfObject::GetTypeInfoCount(std::uint32_t* count) {
  if (!count) return E_POINTER;
  *count = static_cast<std::uint32_t>(IidCount());
  return S_OK;
}

HRESULT TCVAAutoIntfObject::GetTypeInfo(std::uint32_t index, LCID, ITypeInfo** typeInfo) {
  if (!typeInfo) return E_POINTER;
  *typeInfo = nullptr;
  if (index >= typeInfos_.size()) return DISP_E_BADINDEX;
  *typeInfo = typeInfos_[index].Get();
  (*typeInfo)->AddRef();
  return S_OK;
}

HRESULT TCVAAutoIntfObject::GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t count, LCID,
                                          DISPID* dispIds) {
  if (!names || !dispIds) return E_POINTER;
  if (count == 0) return S_OK;
  // The first name is the member, the others its parameters: the first interface that knows
  // the member answers for all of them.
  for (const auto& info : typeInfos_) {
    HRESULT hr = DispGetIDsOfNames(info.Get(), names, count, dispIds);
    if (dispIds[0] != MEMBERID_NIL) return hr;
  }
  for (std::uint32_t i = 0; i < count; ++i) dispIds[i] = MEMBERID_NIL;
  return DISP_E_UNKNOWNNAME;
}

HRESULT TCVAAutoIntfObject::InvokeMember(DISPID dispId, WORD flags, DISPPARAMS* params, VARIANT* result,
                                         EXCEPINFO* excepInfo, std::uint32_t* argErr) {
  // The common call (a member in the array of the dispatch map, no arguments) is served here;
  // everything else, errors included, by InvokeOther.
  if (const auto i = static_cast<std::uint32_t>(dispId); i < memberCount_.load(std::memory_order_acquire)) [[likely]] {
    const DispatchMember& m = members_[i];
    const DispatchFunction* f = m.ForAnyWrite(flags);
    if (f && IsDirectCall(*f, params, result)) {
      if (void* itf = interfaces_[static_cast<std::size_t>(m.owner)])
        return InvokeDirect(f->direct, itf, result, excepInfo);
    }
  }
  return InvokeOther(dispId, flags, params, result, excepInfo, argErr);
}

HRESULT TCVAAutoIntfObject::InvokeOther(DISPID dispId, WORD flags, DISPPARAMS* params, VARIANT* result,
                                        EXCEPINFO* excepInfo, std::uint32_t* argErr) {
  const DispatchMap* map = callMap_.load(std::memory_order_acquire);
  if (!map) {
    if (typeInfos_.empty()) return DISP_E_MEMBERNOTFOUND;  // no interfaces, or no type information
    try {
      Bind();
    } catch (...) {
      return SafeCallException(std::current_exception());
    }
    map = callMap_.load(std::memory_order_acquire);
  }
  if (map) {
    const DispatchMember& m = map->Lookup(dispId);
    const DispatchFunction* f = m.ForAnyWrite(flags);
    if (!f) return DISP_E_MEMBERNOTFOUND;
    void* itf = interfaces_[static_cast<std::size_t>(m.owner)];
    if (!itf) return DISP_E_MEMBERNOTFOUND;  // the class does not implement the interface it names
    return InvokeFunction(*f, itf, flags, params, result, excepInfo, argErr);
  }
  // Type informations of another implementation: their own Invoke finds the member.
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
    flags = DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;
  std::int32_t owner = guidsManager_ ? guidsManager_->OwnerOf(dispId) : 0;
  if (owner < 0 || static_cast<std::size_t>(owner) >= typeInfos_.size()) return DISP_E_MEMBERNOTFOUND;
  void* itf = interfaces_[static_cast<std::size_t>(owner)];
  if (!itf) return DISP_E_MEMBERNOTFOUND;  // the class does not implement the interface it names
  return typeInfos_[static_cast<std::size_t>(owner)]->Invoke(itf, dispId, flags, params, result, excepInfo, argErr);
}

HRESULT TCVAAutoIntfObject::InterfaceSupportsErrorInfo(const IID&) { return S_FALSE; }

// --- module state ---

TMULTIPLY_TLB_CLASS* TypeLibraries() { return gTypeLibraries; }

std::int32_t DispatchCacheCount() {
  if (!gDispatchCacheLock) return 0;
  std::lock_guard lock(*gDispatchCacheLock);
  return gDispatchCache->Count();
}

ComPtr<ITypeLib> LoadModuleTypeLibrary() {
  ComPtr<ITypeLib> lib;
  std::string file = ModuleFileOfAddress(reinterpret_cast<const void*>(&LoadModuleTypeLibrary));
  if (file.empty() || Failed(LoadTypeLib(Utf8ToWide(file), lib.Put()))) return nullptr;
  return lib;
}

ComPtr<ITypeLib> LoadTypeLibraryChecked(const WideString& fileName) {
  ComPtr<ITypeLib> lib;
  OleCheck(LoadTypeLib(fileName, lib.Put()));
  return lib;
}

void StartAutomation() {
  gDispatchCacheLock = new CriticalSection;
  gDispatchCache = new TcvTable(0, 0, 10000);
  gTypeLibraries = new TMULTIPLY_TLB_CLASS;
  // The host executable's own type library, when it carries one.
  ComPtr<ITypeLib> host;
  if (Succeeded(LoadTypeLib(Utf8ToWide(ProgramFile()), host.Put()))) gTypeLibraries->Add(host.Get());
}

void StopAutomation() {
  if (gDispatchCacheLock) {
    std::lock_guard lock(*gDispatchCacheLock);
    std::vector<void*> managers;
    gDispatchCache->GetValueArray(imValue, managers);
    for (void* m : managers) static_cast<TGuidsManager*>(m)->Release();
    gDispatchCache->Clear();
  }
  delete gDispatchCache;
  gDispatchCache = nullptr;
  delete gDispatchCacheLock;
  gDispatchCacheLock = nullptr;
  if (gTypeLibraries) gTypeLibraries->Clear();
  delete gTypeLibraries;
  gTypeLibraries = nullptr;
}

}  // namespace pw
