// TcvBasePlugin: the base of every plug-in of the module. It answers IcvPlugin for the host and
// keeps the host's manager from Initialize to Finalize; a subclass adds its extension points
// as further interfaces of the same object and overrides the Do... operations.
#pragma once

#include "core/com/interfaced_object.h"
#include "interfaces/ProbewrightHost.h"

namespace pw {

class TcvBasePlugin : public Implements<TcvInterfacedObject, IcvPlugin> {
 public:
  // IcvPlugin (and IcvKeyItem): each bound to the virtual operation of the same name.
  HRESULT GetKey(GUID* key) override;
  HRESULT Initialize(IcvBaseManager* manager) override;
  HRESULT PostInitialize() override;
  HRESULT Finalize() override;
  HRESULT Notify(std::int32_t code) override;

  // The plug-in's key from the virtual GetKey (what its option pages and settings are keyed by).
  GUID GetPluginKey();
  // The host's manager between Initialize and Finalize; nil otherwise.
  IcvBaseManager* Manager() const noexcept { return manager_.Get(); }

 protected:
  TcvBasePlugin() = default;

  // The key of the plug-in's row in the plug-in table.
  virtual GUID DoGetKey() = 0;
  // Keeps the manager, replacing (and releasing) an earlier one.
  virtual void DoInitialize(IcvBaseManager* manager);
  virtual void DoPostInitialize() {}
  // Releases the manager.
  virtual void DoFinalize();
  virtual void DoNotify(std::int32_t /*code*/) {}

 private:
  ComPtr<IcvBaseManager> manager_;
};

}  // namespace pw
