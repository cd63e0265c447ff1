#include "core/host/com_help.h"

#include "platform/automation/out_params.h"

#include "platform/rtl/exceptions.h"
#include "platform/com/safecall.h"

namespace pw {

// ---- the table proxy ------------------------------------------------------------------------

HRESULT TcvGlobalInterfaceTableProxy::RegisterInterfaceInGlobal(IUnknown* object, const IID& riid, DWORD* cookie) {
  ComPtr<IGlobalInterfaceTable> inner = GetInner();
  return inner ? inner->RegisterInterfaceInGlobal(object, riid, cookie) : E_FAIL;
}

HRESULT TcvGlobalInterfaceTableProxy::RevokeInterfaceFromGlobal(DWORD cookie) {
  ComPtr<IGlobalInterfaceTable> inner = GetInner();
  return inner ? inner->RevokeInterfaceFromGlobal(cookie) : S_OK;
}

HRESULT TcvGlobalInterfaceTableProxy::GetInterfaceFromGlobal(DWORD cookie, const IID& riid, void** ppv) {
  ComPtr<IGlobalInterfaceTable> inner = GetInner();
  return inner ? inner->GetInterfaceFromGlobal(cookie, riid, ppv) : E_FAIL;
}

HRESULT TcvGlobalInterfaceTableProxy::Detach() {
  DropInner();
  return S_OK;
}

// ---- the library proxy ----------------------------------------------------------------------

namespace {

// Run on each borrowed single-threaded apartment thread: everything the apartment still held
// goes, and the thread stays usable.
void ReinitializeApartment(void*) {
  CoUninitialize();
  CoInitialize(nullptr);
}

// The field's interface of the out parameter's type (nil when the field is nil).
template <class T>
void Hand(const ComPtr<T>& field, auto** out) {
  *CheckOut(out) = nullptr;
  using Out = std::remove_pointer_t<std::remove_pointer_t<decltype(out)>>;
  if (field) field->QueryInterface(Out::iid, reinterpret_cast<void**>(out));
}

}  // namespace

ComPtr<IcvComHelpModule> TcvComHelpProxy::HelpModule() {
  ComPtr<IcvModuleIntf> intf = ModuleIntf();
  return intf.As<IcvComHelpModule>();
}

template <class Inner>
ComPtr<Inner> TcvComHelpProxy::LibraryObject(ModuleGetter getter) {
  auto help = HelpModule();
  if (!help) return nullptr;
  ComPtr<IUnknown> answer;
  if (Failed((help.Get()->*getter)(answer.Put()))) return nullptr;
  return answer.As<Inner>();
}

template <class Inner, class Proxy>
void TcvComHelpProxy::MakeProxyOnce(ComPtr<Proxy>& proxy, ModuleGetter getter) {
  if (proxy) return;
  if (auto inner = LibraryObject<Inner>(getter)) proxy = MakeObject<Proxy>(inner.Get());
}

HRESULT TcvComHelpProxy::GetGlobalInterfaceTable(IGlobalInterfaceTable** table) {
  return SafeCall([&] {
    MakeProxyOnce<IGlobalInterfaceTable>(globalTableProxy_, &IcvComHelpModule::GetGlobalInterfaceTable);
    Hand(globalTableProxy_, table);
  });
}

HRESULT TcvComHelpProxy::GetSTA1(IcvSTA1** thread) {
  return SafeCall([&] {
    MakeProxyOnce<IcvInvoker>(sharedSTA_, &IcvComHelpModule::GetSTA1);
    Hand(sharedSTA_, thread);
  });
}

HRESULT TcvComHelpProxy::GetPrivateSTA(IcvSTA1** thread) {
  return SafeCall([&] {
    MakeProxyOnce<IcvSTA1>(privateSTA_, &IcvComHelpModule::CreateSTA);
    Hand(privateSTA_, thread);
  });
}

HRESULT TcvComHelpProxy::GetMTA(IcvMTA** thread) {
  return SafeCall([&] {
    MakeProxyOnce<IcvInvoker>(mta_, &IcvComHelpModule::GetMTA);
    Hand(mta_, thread);
  });
}

HRESULT TcvComHelpProxy::CreateInvoker(IcvInvoker** invoker) {
  return SafeCall([&] {
    CheckOut(invoker);
    *invoker = nullptr;
    auto inner = LibraryObject<IcvInvoker>(&IcvComHelpModule::CreateSTA);
    if (!inner) return;
    auto proxy = MakeObject<TcvInvokerProxy>(inner.Get());
    invokers_.push_back(proxy);
    *invoker = ComPtr<IcvInvoker>(static_cast<IcvInvoker*>(proxy.Get())).Detach();
  });
}

HRESULT TcvComHelpProxy::ReleaseApartments() {
  return SafeCall([&] {
    for (auto& invoker : invokers_) {
      OleCheck(invoker->Invoke(ReinitializeApartment, nullptr));
      invoker->Detach();
    }
    for (auto* sta : {&sharedSTA_, &privateSTA_}) {
      if (!*sta) continue;
      OleCheck((*sta)->Invoke(ReinitializeApartment, nullptr));
      (*sta)->Detach();
    }
    if (mta_) mta_->Detach();
  });
}

void TcvComHelpProxy::UnloadModule() {
  for (auto& invoker : invokers_) invoker->Detach();
  if (globalTableProxy_) globalTableProxy_->Detach();
  if (sharedSTA_) sharedSTA_->Detach();
  if (privateSTA_) privateSTA_->Detach();
  if (mta_) mta_->Detach();
  TModuleProxy::UnloadModule();
}

// ---- the unit -------------------------------------------------------------------------------

namespace {
ComPtr<TcvComHelpProxy> gComHelp;
}

IcvComHelpProxy* ComHelp() { return gComHelp.Get(); }

void StartComHelp() { gComHelp = MakeObject<TcvComHelpProxy>(kComHelpLibrary); }

void StopComHelp() {
  if (ComPtr<TcvComHelpProxy> help = std::move(gComHelp)) SafeCallCheck(help->Unload());
}

}  // namespace pw
