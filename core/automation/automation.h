// The automation base: objects whose IDispatch is answered from the type information of the
// dual interfaces they name, looked up in the module's list of type libraries.
//
//   class TFoo : public AutoImplements<TCVAAutoIntfObject, IFoo> {
//    public:
//     TFoo() : AutoImplements({IFoo::iid}) {}
//     HRESULT get_Name(BSTR* v) override { return SafeCall([&] { ... }); }
//   };
//
// A script call by name goes GetIDsOfNames -> the type informations in IID order; a call by
// DISPID goes Invoke -> the owner of the DISPID (the first interface that declares it) and the
// function for the invoke flags, both from one lookup in the class's dispatch map -> the
// generated thunk on the object's pointer for that interface -> the method, through the
// interface's method table.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "core/com/interfaced_object.h"
#include "platform/automation/dispatch_call.h"
#include "platform/com/errorinfo.h"
#include "platform/automation/typeinfo.h"

namespace pw {

// The list of registered type libraries (the module's TMULTIPLY_TLB_CLASS).
class TMULTIPLY_TLB_CLASS : public TObject {
 public:
  // Appends a library; nil is ignored, duplicates are not detected.
  void Add(ITypeLib* lib);
  bool IsEmpty() const;
  // The type information of an interface from the first library that knows it. Raises
  // EOleSysError with the last failure code, or TYPE_E_ELEMENTNOTFOUND for an empty list.
  ComPtr<ITypeInfo> GetTypeInfoOfGuid(const IID& iid) const;
  void Clear();

 private:
  mutable std::mutex lock_;  // libraries are added at start-up and plug-in start, read at object creation
  std::vector<ComPtr<ITypeLib>> libraries_;
};

// The merged DISPID map of an object with several interfaces: for each DISPID, the index of
// the first interface that declares it and that interface's functions. Built once per class
// and shared; read-only after.
class TGuidsManager final : public ComObject {
 public:
  // Raises through OleCheck when a function description cannot be read.
  explicit TGuidsManager(const std::vector<ComPtr<ITypeInfo>>& typeInfos, std::vector<IID> iids);

  bool Contains(DISPID memberId) const { return OwnerOf(memberId) >= 0; }
  // Index into the object's IIDs; -1 when no interface declares the DISPID.
  std::int32_t OwnerOf(DISPID memberId) const {
    const DispatchMember* m = map_.Find(memberId);
    return m ? m->owner : -1;
  }
  std::int32_t Count() const { return static_cast<std::int32_t>(map_.Size()); }
  const std::vector<IID>& Iids() const { return iids_; }
  // Whether the map was built over these type informations.
  bool Serves(const std::vector<ComPtr<ITypeInfo>>& typeInfos) const { return typeInfos == typeInfos_; }
  // The merged map with the owners' functions; nil when a type information is not this
  // system's own (its Invoke serves the calls then).
  const DispatchMap* CallMap() const { return callable_ ? &map_ : nullptr; }

 private:
  DispatchMap map_;
  bool callable_ = true;
  std::vector<IID> iids_;
  std::vector<ComPtr<ITypeInfo>> typeInfos_;  // the functions in map_ belong to them
};

// The reference-counted automation root: keeps the IIDs; its IDispatch answers E_NOTIMPL.
class TCustomCVAAutoIntfObject : public Implements<TcvInterfacedObject, IDispatch> {
 public:
  HRESULT GetTypeInfoCount(std::uint32_t* count) override;
  HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** typeInfo) override;
  HRESULT GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                        DISPID* dispIds) override;
  HRESULT Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override;

  const std::vector<IID>& Iids() const { return iids_; }
  std::int32_t IidCount() const { return static_cast<std::int32_t>(iids_.size()); }
  // The object's IDispatch (every dual interface of the object answers the same calls).
  IDispatch* Dispatch() noexcept { return static_cast<IDispatch*>(this); }

 protected:
  explicit TCustomCVAAutoIntfObject(std::vector<IID> iids) : iids_(std::move(iids)) {}

 private:
  std::vector<IID> iids_;
};

// The automation base of every script-visible class of the module.
class TCVAAutoIntfObject : public Implements<TCustomCVAAutoIntfObject, ISupportErrorInfo> {
 public:
  HRESULT GetTypeInfoCount(std::uint32_t* count) override;
  HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** typeInfo) override;
  HRESULT GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                        DISPID* dispIds) override;
  // A put and a putref are one call (flags 12): the member's put answers, else its putref.
  HRESULT Invoke(DISPID dispId, const IID&, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override {
    return InvokeMember(dispId, flags, params, result, excepInfo, argErr);
  }
  // S_FALSE for every interface.
  HRESULT InterfaceSupportsErrorInfo(const IID& riid) override;

  // The class's shared member map; nil for an object with one interface or without type
  // information.
  const TGuidsManager* GuidsManager();

 protected:
  // Looks each interface up in the registered type libraries (raising when one is unknown);
  // with no library registered the object has no type information at all.
  explicit TCVAAutoIntfObject(std::vector<IID> iids);
  ~TCVAAutoIntfObject() override;

 private:
  // Done once, at the first call that needs it (the object is complete by then): the
  // interface pointers of the object, for several interfaces the class's member map, and the
  // map that Invoke calls through.
  void Bind();
  // Invoke without the parameters it does not use, so that all but one arrive in registers.
  HRESULT InvokeMember(DISPID dispId, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                       std::uint32_t* argErr);
  // InvokeMember for every call but the common one; the same parameters, so that InvokeMember
  // passes them on by a jump.
  HRESULT InvokeOther(DISPID dispId, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                      std::uint32_t* argErr);

  std::vector<ComPtr<ITypeInfo>> typeInfos_;
  std::atomic<bool> bound_{false};
  std::mutex bindLock_;
  std::vector<void*> interfaces_;  // the object's pointer for each IID; nil when not implemented
  ComPtr<TGuidsManager> guidsManager_;
  // Set by Bind when the functions are known: the map, and a copy of its array for InvokeMember
  // (the count stays 0 until the rest is in place).
  std::atomic<const DispatchMap*> callMap_{nullptr};
  const DispatchMember* members_ = nullptr;
  std::atomic<std::uint32_t> memberCount_{0};
};

// Implements<> for automation objects: adds dual interfaces to the class's table and routes
// their IDispatch methods, like their IUnknown ones, to the one implementation of the object.
template <class Base, class... Intfs>
class AutoImplements : public Implements<Base, Intfs...> {
 public:
  using Implements<Base, Intfs...>::Implements;

  HRESULT GetTypeInfoCount(std::uint32_t* count) override { return Base::GetTypeInfoCount(count); }
  HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** typeInfo) override {
    return Base::GetTypeInfo(index, lcid, typeInfo);
  }
  HRESULT GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                        DISPID* dispIds) override {
    return Base::GetIDsOfNames(riid, names, count, lcid, dispIds);
  }
  HRESULT Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override {
    return Base::Invoke(dispId, riid, lcid, flags, params, result, excepInfo, argErr);
  }
};

// Module state: the type-library list (nil before start and after stop).
TMULTIPLY_TLB_CLASS* TypeLibraries();
// Number of classes in the dispatch cache.
std::int32_t DispatchCacheCount();

// Unit start: the dispatch-cache lock, the dispatch cache, the type-library list, then the
// host executable's own type library when it has one. Unit stop: the reverse.
void StartAutomation();
void StopAutomation();

// This module's own type library (its type library resource); nil when it cannot be loaded.
ComPtr<ITypeLib> LoadModuleTypeLibrary();
// LoadTypeLib; a failure raises EOleSysError with its code.
ComPtr<ITypeLib> LoadTypeLibraryChecked(const WideString& fileName);

}  // namespace pw
