#include "core/com_help.h"

#include "platform/exceptions.h"
#include "platform/safecall.h"

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

template <class T>
HRESULT Hand(const ComPtr<T>& field, auto** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (field) field->QueryInterface(std::remove_pointer_t<std::remove_pointer_t<decltype(out)>>::iid, reinterpret_cast<void**>(out));
  return S_OK;
}

}  // namespace

ComPtr<IcvComHelpModule> TcvComHelpProxy::HelpModule() {
  ComPtr<IcvModuleIntf> intf = ModuleIntf();
  return intf.As<IcvComHelpModule>();
}

HRESULT TcvComHelpProxy::GetGlobalInterfaceTable(IGlobalInterfaceTable** table) {
  return SafeCall([&] {
    if (!globalTableProxy_) {
      if (auto help = HelpModule()) {
        ComPtr<IUnknown> answer;
        if (Succeeded(help->GetGlobalInterfaceTable(answer.Put())))
          if (auto git = answer.As<IGlobalInterfaceTable>())
            globalTableProxy_ = MakeObject<TcvGlobalInterfaceTableProxy>(git.Get());
      }
    }
    OleCheck(Hand(globalTableProxy_, table));
  });
}

HRESULT TcvComHelpProxy::GetSTA1(IcvSTA1** thread) {
  return SafeCall([&] {
    if (!sharedSTA_) {
      if (auto help = HelpModule()) {
        ComPtr<IUnknown> answer;
        if (Succeeded(help->GetSTA1(answer.Put())))
          if (auto invoker = answer.As<IcvInvoker>()) sharedSTA_ = MakeObject<TcvSTA1Proxy>(invoker.Get());
      }
    }
    OleCheck(Hand(sharedSTA_, thread));
  });
}

HRESULT TcvComHelpProxy::GetPrivateSTA(IcvSTA1** thread) {
  return SafeCall([&] {
    if (!privateSTA_) {
      if (auto help = HelpModule()) {
        ComPtr<IUnknown> answer;
        if (Succeeded(help->CreateSTA(answer.Put())))
          if (auto sta = answer.As<IcvSTA1>()) privateSTA_ = MakeObject<TcvSTA1Proxy>(sta.Get());
      }
    }
    OleCheck(Hand(privateSTA_, thread));
  });
}

HRESULT TcvComHelpProxy::GetMTA(IcvMTA** thread) {
  return SafeCall([&] {
    if (!mta_) {
      if (auto help = HelpModule()) {
        ComPtr<IUnknown> answer;
        if (Succeeded(help->GetMTA(answer.Put())))
          if (auto invoker = answer.As<IcvInvoker>()) mta_ = MakeObject<TcvMTAProxy>(invoker.Get());
      }
    }
    OleCheck(Hand(mta_, thread));
  });
}

HRESULT TcvComHelpProxy::CreateInvoker(IcvInvoker** invoker) {
  return SafeCall([&] {
    if (!invoker) OleCheck(E_POINTER);
    *invoker = nullptr;
    auto help = HelpModule();
    if (!help) return;
    ComPtr<IUnknown> answer;
    if (Failed(help->CreateSTA(answer.Put()))) return;
    auto inner = answer.As<IcvInvoker>();
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
