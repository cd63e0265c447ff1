#include "core/com/agile_objects.h"

#include "platform/automation/bstr.h"

namespace pw {

namespace {

constexpr IID IID_IIdentityUnmarshal = MakeGuid("{0000001B-0000-0000-C000-000000000046}");
constexpr IID IID_IStdMarshalInfo = MakeGuid("{00000018-0000-0000-C000-000000000046}");

// Aggregates a free-threaded marshaler into `outer`; raises when that fails.
void AggregateMarshaler(IUnknown* outer, ComPtr<IUnknown>& marshaler, IMarshal*& marshal) {
  OleCheck(CoCreateFreeThreadedMarshaler(outer, marshaler.Put()));
  void* p = nullptr;
  OleCheck(marshaler->QueryInterface(IMarshal::iid, &p));
  marshal = static_cast<IMarshal*>(p);
  marshal->Release();  // the reference was the outer object's own
}

// Answers IMarshal from the aggregated marshaler; false for other interfaces.
bool AnswerMarshal(IMarshal* marshal, const IID& riid, void** ppv) {
  if (riid != IMarshal::iid || !marshal) return false;
  marshal->AddRef();
  *ppv = marshal;
  return true;
}

// A wrapper's QueryInterface: IMarshal from the aggregated marshaler, else the wrapper's own
// interfaces, else the wrapped object's (the wrapper's QueryWrapped).
template <class Wrapper>
HRESULT QueryWrapperInterface(Wrapper& wrapper, IMarshal* marshal, const IID& riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (AnswerMarshal(marshal, riid, ppv)) return S_OK;
  if (wrapper.ComObject::QueryInterface(riid, ppv) == S_OK) return S_OK;
  return wrapper.QueryWrapped(riid, ppv);
}

// A wrapper's QueryWrapped: the marshaling interfaces are refused, the others go to Query; any
// exception gives E_NOINTERFACE.
template <class Query>
HRESULT QueryWrappedFiltered(const IID& riid, void** ppv, Query&& query) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsMarshalInterfaceID(riid)) return E_NOINTERFACE;
  try {
    return query();
  } catch (...) {
    return E_NOINTERFACE;
  }
}

// What a wrapper's Invoke answers for the wrapped object's answer.
HRESULT TimeOutMapped(HRESULT hr, EXCEPINFO* excepInfo) {
  if (hr != RPC_E_TIMEOUT && hr != RPC_E_RETRY) return hr;
  try {
    throw Exception(kInvokeTimeoutMessage);
  } catch (const Exception& e) {
    if (!excepInfo) return E_FAIL;
    ClearExcepInfo(*excepInfo);
    excepInfo->bstrDescription = SysAllocString(WideStringView(e.Message()));
    excepInfo->scode = E_FAIL;
    return DISP_E_EXCEPTION;
  }
}

template <class F>
HRESULT Guarded(F&& f) noexcept {
  try {
    return f();
  } catch (...) {
    return E_FAIL;
  }
}

// The wrappers' IDispatch: each call goes to the wrapped object's IDispatch for the calling
// apartment, which Fetch answers (nil when the object offers none: RPC_E_DISCONNECTED), and its
// answer comes back unchanged but for a time-out of Invoke; an exception inside answers E_FAIL.
template <class Fetch>
class ForwardedDispatch {
 public:
  explicit ForwardedDispatch(Fetch fetch) : fetch_(std::move(fetch)) {}

  // NoDispatch: the answer without a wrapped IDispatch (count 0 unless it is a failure).
  HRESULT GetTypeInfoCount(std::uint32_t* count, HRESULT noDispatch) {
    return Guarded([&] {
      ComPtr<IDispatch> d = fetch_();
      if (!d) {
        if (Succeeded(noDispatch)) *count = 0;
        return noDispatch;
      }
      HRESULT hr = d->GetTypeInfoCount(count);
      if (Failed(hr)) *count = 0;
      return hr;
    });
  }
  HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** typeInfo) {
    return Forward([&](IDispatch* d) { return d->GetTypeInfo(index, lcid, typeInfo); });
  }
  HRESULT GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                        DISPID* dispIds) {
    return Forward([&](IDispatch* d) { return d->GetIDsOfNames(riid, names, count, lcid, dispIds); });
  }
  HRESULT Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) {
    return Forward([&](IDispatch* d) {
      return TimeOutMapped(d->Invoke(dispId, riid, lcid, flags, params, result, excepInfo, argErr), excepInfo);
    });
  }

 private:
  template <class Call>
  HRESULT Forward(Call&& call) {
    return Guarded([&] {
      ComPtr<IDispatch> d = fetch_();
      return d ? call(d.Get()) : RPC_E_DISCONNECTED;
    });
  }

  Fetch fetch_;
};

ComPtr<TcvGlobalTable> gGlobalTable;

}  // namespace

bool IsMarshalInterfaceID(const IID& iid) {
  return iid == IMarshal::iid || iid == IID_IIdentityUnmarshal || iid == IID_IStdMarshalInfo ||
         iid == IExternalConnection::iid || iid == IcvGlobalObject::iid || iid == IcvFreeMarshaled::iid;
}

// ---- agile objects --------------------------------------------------------------------------

TcvFreeMarshaledObject::TcvFreeMarshaledObject() { AggregateMarshaler(Identity(), freeThreadedMarshaler_, marshal_); }

void* TcvFreeMarshaledObject::GetInterface(const IID& riid) noexcept {
  if (riid == IMarshal::iid && marshal_) return marshal_;
  return Implements::GetInterface(riid);
}

void* TcvFreeMarshaledAutoIntfObject::GetInterface(const IID& riid) noexcept {
  if (riid == IMarshal::iid) {
    try {
      std::call_once(made_, [&] {
        if (UseFreeThreadedMarshaler()) AggregateMarshaler(Identity(), freeThreadedMarshaler_, marshal_);
      });
    } catch (...) {
      return nullptr;
    }
    return marshal_;
  }
  return Implements::GetInterface(riid);
}

// ---- the table ------------------------------------------------------------------------------

namespace {

ComPtr<IGlobalInterfaceTable> StandardTable() {
  ComPtr<IGlobalInterfaceTable> table;
  OleCheck(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IGlobalInterfaceTable::iid,
                            table.PutVoid()));
  return table;
}

}  // namespace

bool TcvGlobalTable::Register(IUnknown* object, DWORD* cookie) {
  *cookie = 0;
  return Succeeded(StandardTable()->RegisterInterfaceInGlobal(object, IUnknown::iid, cookie));
}

void TcvGlobalTable::Revoke(DWORD cookie) {
  try {
    StandardTable()->RevokeInterfaceFromGlobal(cookie);
  } catch (...) {
  }
}

bool TcvGlobalTable::GetInterface(DWORD cookie, const IID& riid, void** ppv) {
  return Succeeded(StandardTable()->GetInterfaceFromGlobal(cookie, riid, ppv));
}

IcvGlobalTable* GlobalTable() { return gGlobalTable.Get(); }
void StartGlobalTable() { gGlobalTable = MakeObject<TcvGlobalTable>(); }
void StopGlobalTable() { gGlobalTable = nullptr; }

// ---- the table wrapper ----------------------------------------------------------------------

TcvGlobalObject::TcvGlobalObject(IUnknown* wrapped) {
  IcvGlobalTable* table = GlobalTable();
  if (!table || !table->Register(wrapped, &cookie_)) throw EOleGITError(E_FAIL);
  try {
    AggregateMarshaler(Identity(), freeThreadedMarshaler_, marshal_);
  } catch (...) {
    table->Revoke(cookie_);
    throw;
  }
}

TcvGlobalObject::~TcvGlobalObject() {
  if (IcvGlobalTable* table = GlobalTable()) table->Revoke(cookie_);
}

HRESULT TcvGlobalObject::QueryInterface(const IID& riid, void** ppv) {
  return QueryWrapperInterface(*this, marshal_, riid, ppv);
}

HRESULT TcvGlobalObject::QueryWrapped(const IID& riid, void** ppv) {
  return QueryWrappedFiltered(riid, ppv, [&] { return QueryWrappedUnfiltered(riid, ppv); });
}

HRESULT TcvGlobalObject::QueryWrappedUnfiltered(const IID& riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  IcvGlobalTable* table = GlobalTable();
  if (!table) return E_NOINTERFACE;
  if (table->GetInterface(cookie_, riid, ppv)) return S_OK;
  ComPtr<IUnknown> unknown;
  if (!table->GetInterface(cookie_, IUnknown::iid, unknown.PutVoid()) || !unknown) return E_NOINTERFACE;
  return unknown->QueryInterface(riid, ppv);
}

HRESULT TcvGlobalObject::GetWrappedUnknown(IUnknown** object) {
  return QueryWrappedUnfiltered(IUnknown::iid, reinterpret_cast<void**>(object));
}

// ---- the dispatch wrapper -------------------------------------------------------------------

void TcvGlobalDispatch::GetWrappedDispatch(ComPtr<IDispatch>& dispatch) {
  if (Failed(QueryWrapped(IDispatch::iid, dispatch.PutVoid()))) dispatch = nullptr;
}

namespace {

auto Forwarded(TcvGlobalDispatch* wrapper) {
  return ForwardedDispatch([wrapper] {
    ComPtr<IDispatch> d;
    wrapper->GetWrappedDispatch(d);
    return d;
  });
}

}  // namespace

HRESULT TcvGlobalDispatch::GetTypeInfoCount(std::uint32_t* count) {
  return Forwarded(this).GetTypeInfoCount(count, S_OK);
}

HRESULT TcvGlobalDispatch::GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** typeInfo) {
  return Forwarded(this).GetTypeInfo(index, lcid, typeInfo);
}

HRESULT TcvGlobalDispatch::GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                                         DISPID* dispIds) {
  return Forwarded(this).GetIDsOfNames(riid, names, count, lcid, dispIds);
}

HRESULT TcvGlobalDispatch::Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO* excepInfo, std::uint32_t* argErr) {
  return Forwarded(this).Invoke(dispId, riid, lcid, flags, params, result, excepInfo, argErr);
}

// ---- the direct wrapper ---------------------------------------------------------------------

TcvFakeObject::TcvFakeObject(IUnknown* wrapped) : wrapped_(wrapped) {
  AggregateMarshaler(Identity(), freeThreadedMarshaler_, marshal_);
}

HRESULT TcvFakeObject::QueryInterface(const IID& riid, void** ppv) {
  return QueryWrapperInterface(*this, marshal_, riid, ppv);
}

HRESULT TcvFakeObject::QueryWrapped(const IID& riid, void** ppv) {
  return QueryWrappedFiltered(riid, ppv, [&] { return QueryWrappedDirect(riid, ppv); });
}

HRESULT TcvFakeObject::QueryWrappedDirect(const IID& riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  try {
    return wrapped_ ? wrapped_->QueryInterface(riid, ppv) : E_NOINTERFACE;
  } catch (...) {
    return E_NOINTERFACE;
  }
}

namespace {

// The wrapped object's IDispatch is taken through QueryWrapped.
auto Forwarded(TcvFakeObject* wrapper) {
  return ForwardedDispatch([wrapper] {
    ComPtr<IDispatch> d;
    if (Failed(wrapper->QueryWrapped(IDispatch::iid, d.PutVoid()))) d = nullptr;
    return d;
  });
}

}  // namespace

HRESULT TcvFakeObject::GetTypeInfoCount(std::uint32_t* count) {
  return Forwarded(this).GetTypeInfoCount(count, E_NOTIMPL);
}

HRESULT TcvFakeObject::GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** typeInfo) {
  return Forwarded(this).GetTypeInfo(index, lcid, typeInfo);
}

HRESULT TcvFakeObject::GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                                     DISPID* dispIds) {
  return Forwarded(this).GetIDsOfNames(riid, names, count, lcid, dispIds);
}

HRESULT TcvFakeObject::Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* excepInfo, std::uint32_t* argErr) {
  return Forwarded(this).Invoke(dispId, riid, lcid, flags, params, result, excepInfo, argErr);
}

// ---- making objects global ------------------------------------------------------------------

namespace {

ComPtr<IUnknown> TableWrapper(IUnknown* object) {
  try {
    if (auto dispatch = QueryAs<IDispatch>(object)) {
      return ComPtr<IUnknown>(MakeObject<TcvGlobalDispatch>(object)->Identity());
    }
    return ComPtr<IUnknown>(MakeObject<TcvGlobalObject>(object)->Identity());
  } catch (const EOleGITError&) {
    return ComPtr<IUnknown>(MakeObject<TcvFakeObject>(object)->Identity());
  }
}

}  // namespace

void MakeGlobal(IUnknown* object, ComPtr<IUnknown>& result) {
  result = nullptr;
  if (!object) return;
  if (IsComProxy(object)) {
    result = TableWrapper(object);
  } else if (QueryAs<IcvGlobalObject>(object)) {
    result = object;
  } else if (QueryAs<IcvFreeMarshaled>(object)) {
    result = ComPtr<IUnknown>(MakeObject<TcvFakeObject>(object)->Identity());
  } else {
    result = TableWrapper(object);
  }
}

void GlobalToDispatch(IUnknown* object, ComPtr<IDispatch>& dispatch) {
  dispatch = nullptr;
  if (!object) return;
  if (!IsComProxy(object)) {
    if (auto global = QueryAs<IcvGlobalObject>(object)) {
      if (Failed(global->QueryWrapped(IDispatch::iid, dispatch.PutVoid()))) dispatch = nullptr;
      return;
    }
  }
  dispatch = QueryAs<IDispatch>(object);
}

}  // namespace pw
