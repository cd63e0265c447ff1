// Apartment-agile objects and wrappers.
//
// Objects of the module that aggregate the free-threaded marshaler are handed out directly to
// every apartment (TcvFreeMarshaledObject, TcvFreeMarshaledAutoIntfObject). Foreign or
// apartment-bound interfaces are wrapped by MakeGlobal: a wrapper keeps the object in the
// global interface table and fetches, at every call, a pointer valid in the calling apartment
// (TcvGlobalObject, TcvGlobalDispatch); where the table cannot be used, or the object is agile
// already, a direct wrapper holds the object itself (TcvFakeObject). Every wrapper is itself
// agile. A call that the wrapped object refuses with RPC_E_TIMEOUT or RPC_E_RETRY answers
// DISP_E_EXCEPTION with the method-invoke time-out text.
#pragma once

#include <mutex>

#include "core/automation/automation.h"
#include "platform/automation/dispatch.h"
#include "platform/rtl/exceptions.h"
#include "platform/com/marshal.h"

namespace pw {

// Marks an object that is agile by the free-threaded marshaler.
struct IcvFreeMarshaled : IUnknown {
  static constexpr IID iid = MakeGuid("{5E49BF32-7734-416A-85A1-5697D1B075DD}");
  using Inherited = IUnknown;
};

// Marks an apartment-agile wrapper; for callers in this process only.
struct IcvGlobalObject : IUnknown {
  static constexpr IID iid = MakeGuid("{41860C53-C862-4B78-978F-19EAF6F316A7}");
  using Inherited = IUnknown;
  // The wrapped object's interface for the calling apartment; the marshaling interfaces are
  // refused.
  virtual HRESULT QueryWrapped(const IID& riid, void** ppv) = 0;
  virtual HRESULT QueryWrappedUnfiltered(const IID& riid, void** ppv) = 0;
};

struct IcvGlobalUnknown : IUnknown {
  static constexpr IID iid = MakeGuid("{195840EC-00AC-4047-AD9E-FD6303F1B362}");
  using Inherited = IUnknown;
  virtual HRESULT GetWrappedUnknown(IUnknown** object) = 0;
};

struct IcvGlobalTable : IUnknown {
  static constexpr IID iid = MakeGuid("{0C1AFE38-1285-45C2-AC28-C646282492ED}");
  using Inherited = IUnknown;
  virtual bool Register(IUnknown* object, DWORD* cookie) = 0;
  virtual void Revoke(DWORD cookie) = 0;
  virtual bool GetInterface(DWORD cookie, const IID& riid, void** ppv) = 0;
};

// The interfaces that are never forwarded to a wrapped object: IMarshal, IIdentityUnmarshal,
// IStdMarshalInfo, IExternalConnection, IcvGlobalObject and IcvFreeMarshaled.
bool IsMarshalInterfaceID(const IID& iid);

// The global interface table refused a registration.
class EOleGITError : public EOleSysError {
 public:
  explicit EOleGITError(HRESULT code) : EOleSysError(u"", code) {}
};

inline constexpr char16_t kInvokeTimeoutMessage[] = u"This operation was canceled because the method invoke timeout has expired.";

// Base of the module's agile objects: aggregates the free-threaded marshaler.
class TcvFreeMarshaledObject : public Implements<TcvInterfacedObject, IcvFreeMarshaled> {
 protected:
  TcvFreeMarshaledObject();
  void* GetInterface(const IID& riid) noexcept override;

 private:
  ComPtr<IUnknown> freeThreadedMarshaler_;
  IMarshal* marshal_ = nullptr;  // the marshaler's IMarshal (no reference of its own)
};

// The automation base, agile: the free-threaded marshaler is aggregated on first need, when
// UseFreeThreadedMarshaler answers True.
class TcvFreeMarshaledAutoIntfObject : public Implements<TCVAAutoIntfObject, IcvFreeMarshaled> {
 public:
  virtual bool UseFreeThreadedMarshaler() { return true; }

 protected:
  explicit TcvFreeMarshaledAutoIntfObject(std::vector<IID> iids) : Implements(std::move(iids)) {}
  void* GetInterface(const IID& riid) noexcept override;

 private:
  std::once_flag made_;
  ComPtr<IUnknown> freeThreadedMarshaler_;
  IMarshal* marshal_ = nullptr;
};

// Access to the standard global interface table (a new view of it for every call).
class TcvGlobalTable : public Implements<TcvInterfacedObject, IcvGlobalTable> {
 public:
  bool Register(IUnknown* object, DWORD* cookie) override;
  void Revoke(DWORD cookie) override;
  bool GetInterface(DWORD cookie, const IID& riid, void** ppv) override;
};

// The module's table (nil before start and after stop).
IcvGlobalTable* GlobalTable();
void StartGlobalTable();
void StopGlobalTable();

// The wrapper that keeps only the table's cookie of the object.
class TcvGlobalObject : public Implements<TcvInterfacedObject, IcvGlobalUnknown, IcvGlobalObject> {
 public:
  // Raises EOleGITError when the table refuses the object.
  explicit TcvGlobalObject(IUnknown* wrapped);
  ~TcvGlobalObject() override;

  // IMarshal from the free-threaded marshaler, then the wrapper's own interfaces, then the
  // wrapped object's.
  HRESULT QueryInterface(const IID& riid, void** ppv) override;
  HRESULT QueryWrapped(const IID& riid, void** ppv) override;
  HRESULT QueryWrappedUnfiltered(const IID& riid, void** ppv) override;
  HRESULT GetWrappedUnknown(IUnknown** object) override;
  DWORD Cookie() const { return cookie_; }

 private:
  DWORD cookie_ = 0;
  ComPtr<IUnknown> freeThreadedMarshaler_;
  IMarshal* marshal_ = nullptr;
};

// The table wrapper of an object with IDispatch: each call goes to the wrapped object's
// IDispatch for the calling apartment.
class TcvGlobalDispatch : public Implements<TcvGlobalObject, IDispatch> {
 public:
  explicit TcvGlobalDispatch(IUnknown* wrapped) : Implements(wrapped) {}

  HRESULT QueryInterface(const IID& riid, void** ppv) override { return TcvGlobalObject::QueryInterface(riid, ppv); }
  // nil when the wrapped object offers no IDispatch (any more).
  virtual void GetWrappedDispatch(ComPtr<IDispatch>& dispatch);

  HRESULT GetTypeInfoCount(std::uint32_t* count) override;
  HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** typeInfo) override;
  HRESULT GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                        DISPID* dispIds) override;
  HRESULT Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override;
};

// The direct wrapper: holds the object itself.
class TcvFakeObject : public Implements<TcvInterfacedObject, IDispatch, IcvFreeMarshaled, IcvGlobalObject> {
 public:
  explicit TcvFakeObject(IUnknown* wrapped);

  HRESULT QueryInterface(const IID& riid, void** ppv) override;
  HRESULT QueryWrapped(const IID& riid, void** ppv) override;
  HRESULT QueryWrappedUnfiltered(const IID& riid, void** ppv) override { return QueryWrappedDirect(riid, ppv); }
  virtual HRESULT QueryWrappedDirect(const IID& riid, void** ppv);

  HRESULT GetTypeInfoCount(std::uint32_t* count) override;
  HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** typeInfo) override;
  HRESULT GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                        DISPID* dispIds) override;
  HRESULT Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override;

 private:
  ComPtr<IUnknown> freeThreadedMarshaler_;
  IMarshal* marshal_ = nullptr;
  ComPtr<IUnknown> wrapped_;
};

// An interface usable from every apartment: nil for nil; a table wrapper for a proxy; the
// object itself when it is a wrapper already; a direct wrapper for an agile object; else a
// table wrapper (a direct one when the table refuses the object).
void MakeGlobal(IUnknown* object, ComPtr<IUnknown>& result);
// The IDispatch to call: a wrapper's wrapped IDispatch for this apartment, else the object's
// own (nil when it has none).
void GlobalToDispatch(IUnknown* object, ComPtr<IDispatch>& dispatch);

}  // namespace pw
