// TpwFFSupportPlugin: the "Firefox Support" plug-in {A66AF104-...} (it needs "Web Testing"). It
// has no start-up work of its own (the plug-in base keeps the manager); everything happens when
// the host asks one of its points:
// - IpwOpenAppHookProvider2: whether a process is a Firefox process, by the version of its
//   Firefox core module ("xul.dll" or "xpcom_core.dll", ignoring case; the version comes from
//   GetFileVersion of the module's folder and name), and which hook library goes into it; the
//   install sends the hook four web settings (0x09000002) and then the load command, the removal
//   the unload command;
// - IpwSysNodeBuilderProvider: one new TpwFFObjectBuilder per call (firefox_object_builder.h);
// - IpwObjectTypeDescriptor "NativeFirefoxObject" {965345DC-...} and its one-item
//   IpwSubProviderList; IpwObjectKindProvider: the Flex, AIR, Flash and XUL bitmaps, "FFOBJECT"
//   for any other kind (each loaded once, deleted with the plug-in);
// - IpwObjectCallProvider: the page wait of "MozillaWindowClass" windows;
// - IpwWarningOptionProvider: one warning option, the out-of-process Flash message.
//
// The hook library is kept per process id under a lock: the host may check one process and then
// another before it hooks the first, and each process gets the library chosen for it. A process
// the plug-in never accepted gets no load command (there is no library to load). Each Firefox
// version met is counted once per process run of the module (TpwFirefoxStatistics).
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "core/automation/dispatch_helpers.h"
#include "interfaces/ProbewrightHost.h"
#include "openapps/plugin_base.h"
#include "platform/automation/variant.h"
#include "platform/ui/gdi.h"
#include "web/plugin/web_builders.h"

namespace pw::web {

inline constexpr GUID kFirefoxSupportPluginKey = MakeGuid("{A66AF104-DAD8-4D80-BF5B-FE5892B482C1}");
inline constexpr GUID kFirefoxObjectType = MakeGuid("{965345DC-52EC-41E8-8815-B4BC0B41E4E0}");
inline constexpr GUID kFirefoxWarningOptionKey = MakeGuid("{7938FD75-A005-40C9-BA6C-F7705FEDFEBB}");
inline constexpr GUID kFirefoxVersionCounterBase = MakeGuid("{00000000-88F2-442E-9D95-A82E8573773F}");
inline constexpr GUID kPageWaitMember = MakeGuid("{E9E061ED-0F79-433C-941B-A6235328FA2C}");

// The hook library chosen for a Firefox core module, and the Firefox version it counts.
struct TpwFirefoxHook {
  WideString library;
  std::int32_t version = 0;
};

// The hook of a core module's version: unreadable (nullopt) "pwFF3Hook.dll" counting 0; 1.9
// "pwFF3Hook.dll" counting 3; 2.0 "pwFF4Hook.dll" counting 4; major 5 and above
// "pwFF<major>Hook.dll" counting the major. Any other version does not count (nullopt).
std::optional<TpwFirefoxHook> FirefoxHookForVersion(const std::optional<FileVersion>& version);

// The hook of a module list: the first Firefox core module whose version counts decides; nullopt
// when none does (or the list is nil or empty). A list whose folders fail gives bare names.
std::optional<TpwFirefoxHook> ChooseFirefoxHook(IpwModuleList* modules);

// The "Tree model" option as the hook takes it: a 16- or 32-bit integer unchanged; a text "DOM" 0,
// "Tag" 1, "Hybrid" 2 (ignoring case), any other text 3; a value of any other type 2.
std::int32_t SettingToTreeModel(const VARIANT& value);

// Counts each Firefox version once: the counter {<version>-88F2-442E-9D95-A82E8573773F} named
// "Firefox version" is registered and incremented by 1 the first time its version is met. The
// table of versions met is guarded by a lock; the counters are called outside it and their
// failures are ignored.
class TpwFirefoxStatistics {
 public:
  explicit TpwFirefoxStatistics(TpwUsageCounters& counters) : counters_(counters) {}
  // True when this call counted the version.
  bool CountFirefoxVersion(std::int32_t version);
  static GUID CounterKey(std::int32_t version);

 private:
  TpwUsageCounters& counters_;
  std::mutex lock_;
  std::set<GUID> met_;
};
// The module's one statistics object (over the web layer's usage counters).
TpwFirefoxStatistics& FirefoxStatistics();

class TpwFFSupportPlugin final
    : public Implements<TcvBasePlugin, IpwSysNodeBuilderProvider, IpwWarningOptionProvider, IpwObjectKindProvider,
                        IpwObjectTypeDescriptor, IpwObjectCallProvider, IpwSubProviderList, IpwOpenAppHookProvider2> {
 public:
  explicit TpwFFSupportPlugin(TpwFirefoxStatistics& statistics = FirefoxStatistics()) : statistics_(statistics) {}
  ~TpwFFSupportPlugin() override;

  HRESULT GetKey(GUID* key) override { return TcvBasePlugin::GetKey(key); }
  // IpwSysNodeBuilderProvider
  HRESULT GetProviderKey(GUID* key) override { return GetKey(key); }
  std::int32_t GetBuilderCount() override { return 1; }
  HRESULT GetBuilder(std::int32_t index, IpwSysNodeBuilder** builder) override;
  std::int32_t BuilderProviderOperation6() override { return 0; }
  HRESULT BuilderProviderOperation7(IUnknown** object) override;
  // IpwWarningOptionProvider
  HRESULT GetCount(std::int32_t* count) override;
  HRESULT GetOptionKey(std::int32_t index, GUID* key) override;
  HRESULT GetOptionName(std::int32_t index, BSTR* name) override;
  HRESULT GetOptionDescription(std::int32_t index, BSTR* description) override;
  // IpwObjectKindProvider
  HRESULT GetKindBitmap(BSTR kindName, std::int32_t* bitmap) override;
  // IpwObjectTypeDescriptor
  HRESULT GetTypeKey(GUID* key) override;
  HRESULT GetTypeName(BSTR* name) override;
  HRESULT GetOrder(std::int32_t* order) override;
  HRESULT GetTag(std::int32_t* tag) override;
  HRESULT SetTag(std::int32_t tag) override;
  HRESULT GetBitmap(std::int32_t* bitmap) override;
  // IpwObjectCallProvider
  VARIANT_BOOL GetCallInformation(IpwObjectCallInfoRequest* info, VARIANT* result) override;
  // IpwSubProviderList
  std::int32_t GetCount() override { return 1; }
  VARIANT_BOOL GetItem(std::int32_t index, IUnknown** item) override;
  // IpwOpenAppHookProvider2
  HRESULT IsProcessSupported(IpwProcess* process, VARIANT_BOOL* supported) override;
  HRESULT InstallHook(IpwProcess* process) override;
  HRESULT RemoveHook(IpwProcess* process) override;
  HRESULT IsTargetProcess(IpwProcess* process, IpwModuleList* modules, VARIANT_BOOL* result) override;

  // The hook library kept for a process id; empty when none was chosen.
  WideString HookLibraryOf(std::int32_t processId) const;

 protected:
  GUID DoGetKey() override { return kFirefoxSupportPluginKey; }

 private:
  bool CheckProcessModules(IpwProcess* process, IpwModuleList* modules);
  HBITMAP Bitmap(HBITMAP& slot, const char* resource);

  TpwFirefoxStatistics& statistics_;
  std::int32_t tag_ = 0;
  mutable std::mutex librariesLock_;
  std::map<std::int32_t, WideString> libraries_;
  std::mutex bitmapLock_;
  HBITMAP typeBitmap_ = 0, flexBitmap_ = 0, airBitmap_ = 0, flashBitmap_ = 0, xulBitmap_ = 0;
};

ComPtr<IcvPlugin> CreateFirefoxSupportPlugin();

}  // namespace pw::web
