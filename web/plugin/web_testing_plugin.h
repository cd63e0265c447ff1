// TpwWebTestingPlugin: the "Web Testing" plug-in {716200DB-...}, row 5 of the module's table.
//
// Life: Initialize keeps the manager, loads "Extensions/ProbewrightInternal.tlb" and
// "Extensions/pwOpenAppServices.tlb" of the host folder (a library that cannot be loaded fails
// Initialize and nothing is created), makes the recording analyzer and the web project event
// provider (initialised with the manager) and registers the analyzer with the host's recording
// service when it has one; PostInitialize registers it when it was not yet (once); Finalize
// finalises the provider, withdraws the analyzer and lets the manager go, also after a failed
// Initialize.
//
// Points (every key answers the plug-in key; a point not listed answers E_NOINTERFACE):
// - IpwSysNodeBuilderProvider: five new builders per call (web_builders.h); index 5 and others
//   leave the out value;
// - IpwObjectTypeDescriptor "NativeWebObject" {85B7275D-...} and its one-item IpwSubProviderList;
// - IpwObjectKindProvider: the Flex, AIR and Flash bitmaps (each loaded once, its usage counter
//   registered and counted at that first load), the page icon for any other kind;
// - IpwObjectCallProvider: the page wait of an "Internet Explorer_Server" window; the dialog
//   waits (Alert, Confirm, Prompt, Login) of a page; the item wait of "all", the frame wait of
//   "frames"/"frame", the item wait of any other named web object with tree model DOM or Hybrid;
// - IpwRuntimeObjectProvider: "Web", "IESettings", "IEZoneSettings", "FlashSettings" (nil until
//   the settings pages make them: RegisterPage takes them from the web settings; Finalize lets
//   them go);
// - IpwEventSubscription {FD39D04F-...}: the test-engine events and the host's node events;
// - IpwTestEngineEvents: state 3 (a run starts) and 11 (a run ends) count the active runs (never
//   below 0: an end without a start is ignored) and start or stop the event provider by the
//   delivery rule; IpwHostEventListener: NodeChanged records the node's project and applies the
//   rule while a run is active;
// - IpwSettingsPageProvider: RegisterPage builds the web settings (web/settings/web_settings.h)
//   with the plug-in's validator on the dynamic-identifier table; method 5 withdraws the
//   validator; SetSettingsGroup (a setting loaded) and IpwSettingsChangeListener's
//   SettingChanged forward to the settings' SettingLoaded and SettingChanged. After each load
//   and change the plug-in's tree model and legacy flag are read back from the settings;
// - IpwSettingValueValidator {767C39FB-...}: its key; ValidateSetting (the host asks it about
//   each change of the dynamic-identifier table, on whose key the settings pages added the
//   plug-in) forwards to DynamicIdSettingChanged with the manager; the other two do nothing.
//   While it is added the host's settings hold a reference to the plug-in: method 5 and
//   Finalize withdraw it;
// - engine event 3 with a test item {DAA206BF-...} or {5FC128EC-...} (IpwTestEngineEventObject)
//   and engine state 12 run the settings' tree-model check; the end of a run (state 11) lets
//   every item be reported again;
// - IpwOpenAppHookProvider2: the browser hook "pwIEHook.dll" (web/hooks/hook_settings.h);
// - IpwActionRegistrar: RegisterActions makes the seven dynamic-identifier actions with the
//   plug-in key as their context; IpwActionProvider lists their keys and executes and updates
//   them (web/settings/dynamic_ids.h);
// - IpwWarningOptionProvider: one warning option, "Application was not prepared properly"
//   {2CC97723-...} with its caption and description (web_settings.h); the index is not read, so
//   every index answers that option;
// - the settings-group listener {22345578-...} (IpwMSAAExtensionB): its key; Operation4 and
//   Operation5 do nothing.
// Initialize ends by starting the Flash local connection of the host's major version
// (web/flash/flash_local_connection.h); Finalize frees it first.
// The settings hold the host's version (IpwHostInformation's major and minor versions), read at
// Initialize. Finalize withdraws the validator.
// Delivery rule: the provider starts when the project (the default project for GUID_NULL) has an
// Events item {E7ABA87F-...} whose event controls, walked in order, handle the set
// {17CEDA71-...}; else it stops.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

#include "interfaces/ProbewrightHost.h"
#include "openapps/plugin_base.h"
#include "platform/ui/gdi.h"
#include "web/events/web_project_event_provider.h"
#include "web/flash/flash_local_connection.h"
#include "web/settings/web_settings.h"

namespace pw::web {

inline constexpr GUID kWebTestingPluginKey = MakeGuid("{716200DB-CE5E-4E45-A405-B22EA6BBDDA8}");
inline constexpr GUID kNativeWebObjectType = MakeGuid("{85B7275D-2E99-4A15-8D21-821BCA3D04A1}");
inline constexpr GUID kHostEventsSubscriptionItem = MakeGuid("{85734084-F89C-48C5-9E23-A6C87C1FEF65}");
inline constexpr GUID kEventsItemType = MakeGuid("{E7ABA87F-E873-4452-9921-6F4BAAEB2BCC}");
inline constexpr GUID kWebTestingEventSet = MakeGuid("{17CEDA71-1EFE-4CF0-8FE3-F2B949EC7028}");
inline constexpr std::int32_t kEngineRunStarts = 3;
inline constexpr std::int32_t kEngineRunEnds = 11;
inline constexpr std::int32_t kEngineTestItemStarts = 3;
inline constexpr std::int32_t kEngineTreeModelCheck = 12;
// The event objects (test items) whose start runs the tree-model check.
inline constexpr GUID kCheckedTestItemTypes[] = {MakeGuid("{DAA206BF-9846-4A5F-ADE6-F7874BB5B6C4}"),
                                                 MakeGuid("{5FC128EC-DD83-46CD-A509-76AD19EA2A02}")};

// What the plug-in makes at Initialize (tests put stand-ins).
struct TpwWebTestingParts {
  std::function<ComPtr<IUnknown>(IcvBaseManager*)> makeAnalyzer;
  std::function<ComPtr<IpwWebProjectEventProvider>()> makeEventProvider;
  // The Flash local connection of an instance (the host's major version); none when empty.
  std::function<std::unique_ptr<TMacromediaLCInterface>(std::int32_t instance)> makeFlashConnection;
  // The makers of the settings objects besides "Web" (settings_objects.h).
  TpwSettingsObjectCreators settingsObjects = DefaultSettingsObjectCreators();
};
TpwWebTestingParts DefaultWebTestingParts();

// Whether the project of the key handles the web events (the delivery rule's test).
bool ProjectHandlesWebEvents(IcvBaseManager* manager, const GUID& projectKey);

// The plug-in answers two interfaces with a method GetCount(long*): the event subscription (2)
// and the warning options (1). Each gets a method of its own name through these points, so
// one object answers both counts.
struct TpwEventSubscriptionPoint : IpwEventSubscription {
  HRESULT GetCount(std::int32_t* count) final { return GetSubscriptionCount(count); }
  virtual HRESULT GetSubscriptionCount(std::int32_t* count) = 0;
};
struct TpwWarningOptionPoint : IpwWarningOptionProvider {
  HRESULT GetCount(std::int32_t* count) final { return GetWarningOptionCount(count); }
  virtual HRESULT GetWarningOptionCount(std::int32_t* count) = 0;
};
// The settings-group listener of the plug-ins (an interface without content here).
using IpwSettingsGroupListener = IpwMSAAExtensionB;

class TpwWebTestingPlugin final
    : public Implements<TcvBasePlugin, IpwSysNodeBuilderProvider, IpwObjectTypeDescriptor, IpwSubProviderList,
                        IpwObjectKindProvider, IpwObjectCallProvider, IpwRuntimeObjectProvider,
                        TpwEventSubscriptionPoint, IpwTestEngineEvents, IpwHostEventListener, IpwSettingsPageProvider,
                        IpwSettingsChangeListener, IpwOpenAppHookProvider2, IpwActionRegistrar, IpwActionProvider,
                        TpwWarningOptionPoint, IpwSettingsGroupListener, IpwSettingValueValidator> {
 public:
  explicit TpwWebTestingPlugin(TpwWebTestingParts parts = DefaultWebTestingParts());
  ~TpwWebTestingPlugin() override;

  HRESULT GetKey(GUID* key) override { return TcvBasePlugin::GetKey(key); }
  // IpwSysNodeBuilderProvider
  HRESULT GetProviderKey(GUID* key) override { return GetKey(key); }
  std::int32_t GetBuilderCount() override { return 5; }
  HRESULT GetBuilder(std::int32_t index, IpwSysNodeBuilder** builder) override;
  std::int32_t BuilderProviderOperation6() override { return 0; }
  HRESULT BuilderProviderOperation7(IUnknown** object) override;
  // IpwObjectTypeDescriptor
  HRESULT GetTypeKey(GUID* key) override;
  HRESULT GetTypeName(BSTR* name) override;
  HRESULT GetOrder(std::int32_t* order) override;
  HRESULT GetTag(std::int32_t* tag) override;
  HRESULT SetTag(std::int32_t tag) override;
  HRESULT GetBitmap(std::int32_t* bitmap) override;
  // IpwSubProviderList
  std::int32_t GetCount() override { return 1; }
  VARIANT_BOOL GetItem(std::int32_t index, IUnknown** item) override;
  // IpwObjectKindProvider
  HRESULT GetKindBitmap(BSTR kindName, std::int32_t* bitmap) override;
  // IpwObjectCallProvider
  VARIANT_BOOL GetCallInformation(IpwObjectCallInfoRequest* info, VARIANT* result) override;
  // IpwRuntimeObjectProvider
  std::int32_t GetObjectCount() override { return 4; }
  HRESULT GetObjectItem(std::int32_t index, BSTR* name, IUnknown** object, VARIANT_BOOL* first,
                        VARIANT_BOOL* second) override;
  // IpwEventSubscription, IpwHostEventHandler
  HRESULT GetName(BSTR* name) override;
  HRESULT GetSubscriptionCount(std::int32_t* count) override;
  HRESULT GetItem(std::int32_t index, GUID* eventIid, std::int32_t* value) override;
  // IpwTestEngineEvents: OnEvent (code, object), OnEvent2 (state)
  HRESULT OnEvent(std::int32_t eventId, const VARIANT& param) override;
  HRESULT OnEvent2(std::int32_t value) override;
  // IpwHostEventListener
  HRESULT Event5() override { return S_OK; }
  HRESULT Event6() override { return S_OK; }
  HRESULT Event7() override { return S_OK; }
  HRESULT NodeChanged(IUnknown* node) override;
  HRESULT Event9() override { return S_OK; }
  HRESULT Event10() override { return S_OK; }
  HRESULT Event11() override { return S_OK; }
  // IpwSettingsPageProvider, IpwSettingsChangeListener (failures stay in the thread's error
  // information)
  void GetPageKey(GUID* key) override { GetKey(key); }
  HRESULT RegisterPage(IpwSettingsGroup* group) override;
  void Unused5() override;
  void SetSettingsGroup(IpwSetting* setting, const GUID& ownerKey) override;
  void GetListenerKey(GUID* key) override { GetKey(key); }
  void Unused4(IUnknown*) override {}
  void SettingChanged(IpwSetting* setting, const GUID& ownerKey) override;
  void Unused6(IUnknown*) override {}
  // IpwOpenAppHookProvider2: the browser hook (web/hooks/hook_settings.h). Supported starts
  // False and stays so without a host, the process service or a match; the install needs the
  // settings (E_UNEXPECTED before Initialize and after Finalize).
  HRESULT IsProcessSupported(IpwProcess* process, VARIANT_BOOL* supported) override;
  HRESULT InstallHook(IpwProcess* process) override;
  HRESULT RemoveHook(IpwProcess* process) override;
  HRESULT IsTargetProcess(IpwProcess* process, IpwModuleList* modules, VARIANT_BOOL* supported) override;

  // IpwActionRegistrar: RegisterActions makes the seven dynamic-identifier actions under the
  // plug-in key; IpwActionProvider: their keys, Execute and Update (web/settings/dynamic_ids.h).
  HRESULT RegisterActions() override;
  HRESULT ActionRegistrarOperation5() override { return S_OK; }
  HRESULT ActionRegistrarOperation6() override { return S_OK; }
  HRESULT GetActionCount(std::int32_t* count) override;
  HRESULT GetActionId(std::int32_t index, GUID* key) override;
  HRESULT ExecuteAction(IpwAction* action, const VARIANT& param, GUID* result, std::int32_t* code) override;
  HRESULT UpdateAction(IpwAction* action) override;
  // IpwWarningOptionProvider (the index is not read)
  HRESULT GetWarningOptionCount(std::int32_t* count) override;
  HRESULT GetOptionKey(std::int32_t index, GUID* key) override;
  HRESULT GetOptionName(std::int32_t index, BSTR* name) override;
  HRESULT GetOptionDescription(std::int32_t index, BSTR* description) override;
  // IpwSettingsGroupListener
  HRESULT Operation4(IUnknown*) override { return S_OK; }
  HRESULT Operation5() override { return S_OK; }
  // IpwSettingValueValidator
  HRESULT ValidatorOperation4() override { return S_OK; }
  HRESULT ValidateSetting(IpwSetting* setting, const VARIANT& newValue) override;
  HRESULT ValidatorOperation6(const VARIANT&) override { return S_OK; }
  // The Flash local connection (nil before Initialize and after Finalize).
  TMacromediaLCInterface* FlashConnection() const { return flashConnection_.get(); }

  // The tree model (0 DOM, 1 Tag, 2 Hybrid, 3 Tree), 3 after Initialize.
  std::uint8_t TreeModel() const { return treeModel_; }
  void SetTreeModel(std::uint8_t model) { treeModel_ = model; }
  std::int32_t ActiveRuns() const { return activeRuns_.load(); }
  GUID CurrentProject() const;
  bool AnalyzerRegistered() const { return analyzerRegistered_; }
  IpwWebProjectEventProvider* EventProvider() const { return eventProvider_.Get(); }
  IUnknown* Analyzer() const { return analyzer_.Get(); }
  // The web settings (nil before Initialize and after Finalize).
  TpwWebSettings* Settings() const { return settings_.get(); }
  // The plug-in as the validator of the dynamic-identifier table, and whether it is added.
  IpwSettingValueValidator* Validator() { return this; }
  bool ValidatorAdded() const { return validatorAdded_; }

 protected:
  GUID DoGetKey() override { return kWebTestingPluginKey; }
  void DoInitialize(IcvBaseManager* manager) override;
  void DoPostInitialize() override;
  void DoFinalize() override;

 private:
  void RegisterAnalyzer(bool wish);
  void ApplyDeliveryRule(const GUID& projectKey);
  // The tree model and legacy flag read back from the settings after a load or a change.
  void SyncFromSettings();
  void StartFlashConnection();

  TpwWebTestingParts parts_;
  std::int32_t tag_ = 0;
  HBITMAP pageIcon_ = 0, flexBitmap_ = 0, airBitmap_ = 0, flashBitmap_ = 0;
  std::mutex bitmapLock_;
  std::atomic<std::uint8_t> treeModel_{3};
  bool legacyFeatures_ = false;
  ComPtr<IUnknown> analyzer_;
  bool analyzerRegistered_ = false;
  ComPtr<IpwWebProjectEventProvider> eventProvider_;
  TpwSettingsObjects objects_;
  std::atomic<std::int32_t> activeRuns_{0};
  mutable std::mutex projectLock_;
  GUID currentProject_{};
  std::unique_ptr<TpwWebSettings> settings_;
  bool validatorAdded_ = false;
  std::unique_ptr<TMacromediaLCInterface> flashConnection_;
};

ComPtr<IcvPlugin> CreateWebTestingPlugin();

}  // namespace pw::web
