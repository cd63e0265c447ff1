#include "web/flash/flash_local_connection.h"

#include <cstring>

#include "core/com/kernel_object_names.h"
#include "platform/automation/safearray.h"
#include "platform/com/apartment.h"
#include "platform/com/marshal.h"
#include "platform/kernel/kernel.h"
#include "platform/rtl/strings.h"

namespace pw::web {

namespace {

constexpr std::uint8_t kTokenMagic[4] = {'P', 'W', 'M', 'I'};

void PutLe32(std::uint8_t* at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetLe32(const std::uint8_t* at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(at[i]) << (8 * i);
  return v;
}

ComPtr<IGlobalInterfaceTable> GlobalTable() {
  ComPtr<IGlobalInterfaceTable> table;
  CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IGlobalInterfaceTable::iid,
                   table.PutVoid());
  return table;
}

}  // namespace

std::optional<TLCInterfaceMapping> FindLCInterfaceMapping(std::int32_t instance, std::u16string_view namePrefix) {
  const std::u16string plain = std::u16string(namePrefix) + Utf8ToWide(std::to_string(instance));
  for (const std::u16string& name : {Utf8ToWide(MakeGlobalObjectName(plain, true)), plain}) {
    auto head = TNamedSharedMemory::Open(name, 4);
    if (!head) continue;
    TLCInterfaceMapping found;
    found.name = name;
    found.length = GetLe32(static_cast<const std::uint8_t*>(head->Data()));
    auto whole = TNamedSharedMemory::Open(name, std::size_t{4} + found.length);
    if (!whole) return std::nullopt;
    const auto* bytes = static_cast<const std::uint8_t*>(whole->Data()) + 4;
    if (found.length == kInterfaceTokenSize && std::memcmp(bytes, kTokenMagic, 4) == 0)
      found.processId = GetLe32(bytes + 4);
    return found;
  }
  return std::nullopt;
}

HRESULT MarshalInterfaceToken(IUnknown* object, const IID& riid, std::vector<std::uint8_t>* token, DWORD* cookie) {
  if (!object || !token || !cookie) return E_POINTER;
  auto table = GlobalTable();
  if (!table) return E_UNEXPECTED;
  DWORD registered = 0;
  const HRESULT hr = table->RegisterInterfaceInGlobal(object, riid, &registered);
  if (Failed(hr)) return hr;
  token->assign(kInterfaceTokenSize, 0);
  std::memcpy(token->data(), kTokenMagic, 4);
  PutLe32(token->data() + 4, GetCurrentProcessId());
  PutLe32(token->data() + 8, registered);
  *cookie = registered;
  return S_OK;
}

HRESULT UnmarshalInterfaceToken(std::span<const std::uint8_t> token, const IID& riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (token.size() != kInterfaceTokenSize || std::memcmp(token.data(), kTokenMagic, 4) != 0) return E_INVALIDARG;
  if (GetLe32(token.data() + 4) != GetCurrentProcessId()) return CO_E_OBJNOTCONNECTED;
  auto table = GlobalTable();
  if (!table) return E_UNEXPECTED;
  const HRESULT hr = table->GetInterfaceFromGlobal(GetLe32(token.data() + 8), riid, ppv);
  return hr == E_INVALIDARG ? CO_E_OBJNOTCONNECTED : hr;  // withdrawn
}

HRESULT ReleaseInterfaceToken(DWORD cookie) {
  auto table = GlobalTable();
  return table ? table->RevokeInterfaceFromGlobal(cookie) : E_UNEXPECTED;
}

// ---- The dispatch object ----------------------------------------------------------------------

HRESULT TMacromediaLCDispatch::Invoke(DISPID dispId, const IID&, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                                      EXCEPINFO*, std::uint32_t*) {
  if (dispId != 0) return DISP_E_MEMBERNOTFOUND;
  if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) == 0 || !params || params->cArgs != 1 ||
      !params->rgvarg)
    return E_INVALIDARG;
  const VARIANT& argument = params->rgvarg[0];
  constexpr VARTYPE kBytes = VT_ARRAY | VT_UI1;
  if ((argument.vt & kBytes) != kBytes || (argument.vt & VT_BYREF) || !argument.parray) return E_INVALIDARG;
  SAFEARRAY* array = argument.parray;
  if (SafeArrayGetDim(array) < 1) return E_INVALIDARG;
  const std::size_t size = static_cast<std::size_t>(SafeArrayGetElemsize(array)) * array->rgsabound[0].cElements;
  // A memory smaller than the array is refused whole: writing past its end would fault.
  auto memory = TNamedSharedMemory::Open(flashName_, size);
  if (!memory) return E_FAIL;
  const HRESULT locked = SafeArrayLock(array);
  if (Failed(locked)) return locked;
  if (size) std::memcpy(memory->Data(), array->pvData, size);
  SafeArrayUnlock(array);
  return S_OK;
}

// ---- The publishing object --------------------------------------------------------------------

TMacromediaLCInterface::TMacromediaLCInterface(std::int32_t instance, TMacromediaLCOptions options)
    : instance_(instance), options_(std::move(options)) {
  thread_ = std::thread([this] { Publish(); });
}

TMacromediaLCInterface::~TMacromediaLCInterface() {
  Wait();
  mapping_.reset();  // unlinks the name
  if (registered_) ReleaseInterfaceToken(cookie_);
  if (dispatch_) CoDisconnectObject(dispatch_.Get(), 0);
  dispatch_ = nullptr;
}

void TMacromediaLCInterface::Wait() {
  if (thread_.joinable()) thread_.join();
}

TMacromediaLCInterface::State TMacromediaLCInterface::GetState() const {
  std::lock_guard guard(lock_);
  return state_;
}

std::u16string TMacromediaLCInterface::PublishedName() const {
  std::lock_guard guard(lock_);
  return published_;
}

std::u16string TMacromediaLCInterface::PlainName() const {
  return options_.namePrefix + Utf8ToWide(std::to_string(instance_));
}

std::u16string TMacromediaLCInterface::GlobalName() const {
  return Utf8ToWide(MakeGlobalObjectName(PlainName(), true));
}

void TMacromediaLCInterface::Publish() {
  auto finish = [this](State state) {
    std::lock_guard guard(lock_);
    state_ = state;
  };
  if (Failed(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return finish(State::Failed);
  struct Leave {
    ~Leave() { CoUninitialize(); }
  } leave;
  ComPtr<IDispatch> dispatch(MakeObject<TMacromediaLCDispatch>(options_.flashName).Get());
  std::vector<std::uint8_t> token;
  DWORD cookie = 0;
  if (Failed(MarshalInterfaceToken(dispatch.Get(), IDispatch::iid, &token, &cookie))) return finish(State::Failed);
  {
    std::lock_guard guard(lock_);
    dispatch_ = dispatch;
    cookie_ = cookie;
    registered_ = true;
  }
  if (options_.beforePublish) options_.beforePublish();

  const auto create = options_.create
                          ? options_.create
                          : [](std::u16string_view name, std::size_t size, TNamedSharedMemory::Outcome* outcome) {
                              return TNamedSharedMemory::Create(name, size, outcome);
                            };
  const std::size_t length = token.size();
  std::u16string name = GlobalName();
  TNamedSharedMemory::Outcome outcome = TNamedSharedMemory::Outcome::Refused;
  auto mapping = create(name, length + 4, &outcome);
  if (!mapping && outcome == TNamedSharedMemory::Outcome::Refused) {
    name = PlainName();
    mapping = create(name, length + 4, &outcome);
  }
  if (!mapping) return finish(outcome == TNamedSharedMemory::Outcome::ExistsLive ? State::Kept : State::Failed);
  // The bytes first, the length last: a reader that finds the length finds the whole token, and
  // the write of the length wakes the watches of shared memory (TSharedMemoryWatch).
  std::uint8_t lengthBytes[4];
  PutLe32(lengthBytes, static_cast<std::uint32_t>(length));
  if (!mapping->Write(4, token) || !mapping->Write(0, lengthBytes)) return finish(State::Failed);
  std::lock_guard guard(lock_);
  mapping_ = std::move(mapping);
  published_ = std::move(name);
  state_ = State::Published;
}

}  // namespace pw::web
