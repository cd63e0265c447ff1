// The host's helper libraries: the folders they are found in, the proxy that loads one and
// holds its module interface, the regular-expression module, usage counters and the reporter
// brackets.
#pragma once

#include "core/host/helper_interfaces.h"
#include "core/com/interfaced_object.h"
#include "platform/kernel/library.h"

namespace pw {

// The folder of the host program, with a trailing '/' (empty stays empty).
WideString GetHostExeFolder();
// GetHostExeFolder + "Extensions/".
WideString GetExtensionsFolder();
// Points GetHostExeFolder at another folder (a trailing '/' is added); empty restores the
// program's own folder. For tests, which run from another folder than the host's.
void SetHostExeFolderOverride(const WideString& folder);

// Loads a helper library from the host folder, else from its "Extensions" folder; raises
// Exception with a message that names the file and the host folder when both fail.
HMODULE LoadHelperLibrary(const WideString& fileName);
// Loads the library and asks its "GetModuleIntf" for the module interface (nil when the export
// is missing).
void LoadModuleIntf(const WideString& fileName, HMODULE& handle, ComPtr<IUnknown>& intf);

struct IcvModuleProxy : IUnknown {
  static constexpr IID iid = MakeGuid("{20BEB319-07EF-4EC8-954B-CAF7D7A04801}");
  using Inherited = IUnknown;
  // The held module interface, nil when none.
  virtual HRESULT GetModuleInterface(IcvModuleIntf** intf) = 0;
  virtual HRESULT Unload() = 0;
};

// Loads a helper library, holds its module interface and introduces itself to the module;
// unloads on request (its own Unload, or the module's through the callback) or when destroyed.
class TModuleProxy : public Implements<TcvInterfacedObject, IcvModuleProxyCallback, IcvModuleProxy> {
 public:
  // Raises when the library is found in neither folder or offers no module interface; then
  // nothing is kept.
  explicit TModuleProxy(WideString fileName);
  ~TModuleProxy() override;

  HRESULT RequestUnload() override;
  HRESULT GetModuleInterface(IcvModuleIntf** intf) override;
  HRESULT Unload() override;

  // The unload itself (the module told, its interface released, the library freed); a second
  // call does nothing. Descendants extend it.
  virtual void UnloadModule();

  const WideString& FileName() const { return fileName_; }
  HMODULE Handle() const { return handle_; }

 protected:
  ComPtr<IcvModuleIntf> ModuleIntf() const { return module_; }

 private:
  WideString fileName_;
  HMODULE handle_ = nullptr;
  ComPtr<IcvModuleIntf> module_;
};

// The regular-expression module, its proxy made on first use (under a lock). Raises when the
// library cannot be loaded or does not offer IcvRegExprModule.
void GetRegExprModule(ComPtr<IcvRegExprModule>& module);

// Usage counters of the statistics library; False when the library or the export is missing,
// or the export fails. The name is escaped for XML (nil is an empty name).
bool RegisterStatCounter(const GUID& key, const char16_t* name);
bool IncStatCounter(const GUID& key, std::int32_t amount);
// The XML escape of counter names: < > & and " as entities, everything else as it is.
WideString EscapeCounterName(WideStringView name);

// The reporter library's interface, loaded on first use; nil when the library or its module
// interface cannot be had.
void GetReporterModule(ComPtr<IcvReporterModule>& reporter);
// Brackets around a call into a foreign object and around a read from a server; nothing
// happens while the reporter library is not loaded in the process.
void ReporterBeginForeignCall();
void ReporterEndForeignCall();
void ReporterBeginNetworkRead();
void ReporterEndNetworkRead();

// Unit stop: unloads the regular-expression proxy and drops the reporter interface.
void StopHelperModules();
// For tests only: also lets go of the libraries kept for the life of the process (the counters'
// and the reporter's), so the next use loads them afresh, with empty state, from the host
// folder of that moment.
void ResetHelperModulesForTesting();

class TcvUniqueIdentGenerator {
 public:
  // The text as an identifier: up to the first ASCII letter everything is dropped, ASCII
  // letters and digits are kept, each run of other characters becomes one "_"; Default when
  // nothing is left.
  static WideString MakeIdentifier(const WideString& text, const WideString& defaultIdent);
};

}  // namespace pw
