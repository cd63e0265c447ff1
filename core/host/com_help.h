// The module's handle on the COM helper library (cvComHelp): thin proxies over the library's
// global interface table and apartment threads, which can be cut loose from the library before
// it is unloaded.
#pragma once

#include <mutex>
#include <vector>

#include "core/host/module_proxy.h"
#include "platform/com/marshal.h"

namespace pw {

struct IcvInvokerProxy : IUnknown {
  static constexpr IID iid = MakeGuid("{FCDBBC95-4031-410B-974F-71112289E0E8}");
  using Inherited = IUnknown;
  // Drops the inner reference; the proxy answers calls without effect from then on.
  virtual HRESULT Detach() = 0;
};

struct IcvGlobalInterfaceTableProxy : IGlobalInterfaceTable {
  static constexpr IID iid = MakeGuid("{9244AF62-6F7B-42B5-8002-D25EB958EF02}");
  using Inherited = IGlobalInterfaceTable;
  virtual HRESULT Detach() = 0;
};

struct IcvComHelpProxy : IcvModuleProxy {
  static constexpr IID iid = MakeGuid("{E83FD018-C799-4149-A787-8F2B8FFE0214}");
  using Inherited = IcvModuleProxy;
  virtual HRESULT GetGlobalInterfaceTable(IGlobalInterfaceTable** table) = 0;
  virtual HRESULT GetSTA1(IcvSTA1** thread) = 0;
  virtual HRESULT GetPrivateSTA(IcvSTA1** thread) = 0;
  virtual HRESULT GetMTA(IcvMTA** thread) = 0;
  virtual HRESULT CreateInvoker(IcvInvoker** invoker) = 0;
  // Lets every borrowed single-threaded apartment start afresh, then detaches the proxies.
  virtual HRESULT ReleaseApartments() = 0;
};

// The proxies: each forwards to the library's object while it has one (calls from any thread;
// the inner reference is guarded).
template <class Inner>
class TcvHelperProxyBase : public TcvInterfacedObject {
 public:
  explicit TcvHelperProxyBase(Inner* inner) : inner_(inner) {}
  ComPtr<Inner> GetInner() {
    std::lock_guard g(lock_);
    return inner_;
  }
  void DropInner() {
    ComPtr<Inner> gone;
    std::lock_guard g(lock_);
    gone = std::move(inner_);
  }

 private:
  std::mutex lock_;
  ComPtr<Inner> inner_;
};

class TcvGlobalInterfaceTableProxy
    : public Implements<TcvHelperProxyBase<IGlobalInterfaceTable>, IcvGlobalInterfaceTableProxy> {
 public:
  using Implements::Implements;
  HRESULT RegisterInterfaceInGlobal(IUnknown* object, const IID& riid, DWORD* cookie) override;
  HRESULT RevokeInterfaceFromGlobal(DWORD cookie) override;
  HRESULT GetInterfaceFromGlobal(DWORD cookie, const IID& riid, void** ppv) override;
  HRESULT Detach() override;
};

// An invoker proxy answering the thread interface I of the library.
template <class I>
class TcvThreadProxy : public Implements<TcvHelperProxyBase<IcvInvoker>, IcvInvokerProxy, I> {
 public:
  explicit TcvThreadProxy(IcvInvoker* inner) : Implements<TcvHelperProxyBase<IcvInvoker>, IcvInvokerProxy, I>(inner) {}
  // Without inner it does nothing and answers S_OK.
  HRESULT Invoke(InvokerProc proc, void* param) override {
    ComPtr<IcvInvoker> inner = this->GetInner();
    return inner ? inner->Invoke(proc, param) : S_OK;
  }
  HRESULT Detach() override {
    this->DropInner();
    return S_OK;
  }
};

using TcvSTA1Proxy = TcvThreadProxy<IcvSTA1>;
using TcvMTAProxy = TcvThreadProxy<IcvMTA>;
using TcvInvokerProxy = TcvThreadProxy<IcvInvoker>;

class TcvComHelpProxy : public Implements<TModuleProxy, IcvComHelpProxy> {
 public:
  explicit TcvComHelpProxy(WideString fileName) : Implements(std::move(fileName)) {}

  HRESULT GetModuleInterface(IcvModuleIntf** intf) override { return TModuleProxy::GetModuleInterface(intf); }
  HRESULT Unload() override { return TModuleProxy::Unload(); }
  HRESULT GetGlobalInterfaceTable(IGlobalInterfaceTable** table) override;
  HRESULT GetSTA1(IcvSTA1** thread) override;
  HRESULT GetPrivateSTA(IcvSTA1** thread) override;
  HRESULT GetMTA(IcvMTA** thread) override;
  HRESULT CreateInvoker(IcvInvoker** invoker) override;
  HRESULT ReleaseApartments() override;

  // Detaches every proxy, then unloads the library.
  void UnloadModule() override;

 private:
  ComPtr<IcvComHelpModule> HelpModule();
  using ModuleGetter = HRESULT (IcvComHelpModule::*)(IUnknown** object);
  // The library's object that Getter answers, as Inner; nil when the library has none.
  template <class Inner>
  ComPtr<Inner> LibraryObject(ModuleGetter getter);
  // Proxy over that object, made on first use; it stays nil while the library has none.
  template <class Inner, class Proxy>
  void MakeProxyOnce(ComPtr<Proxy>& proxy, ModuleGetter getter);

  ComPtr<TcvGlobalInterfaceTableProxy> globalTableProxy_;
  ComPtr<TcvSTA1Proxy> sharedSTA_;
  ComPtr<TcvSTA1Proxy> privateSTA_;
  ComPtr<TcvMTAProxy> mta_;
  std::vector<ComPtr<TcvInvokerProxy>> invokers_;
};

// The module's proxy, between unit start (which loads the library and fails without it) and
// stop.
IcvComHelpProxy* ComHelp();
void StartComHelp();
void StopComHelp();

}  // namespace pw
