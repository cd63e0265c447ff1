// The five Open-Applications plug-ins, one per technology of the application under test. Each
// tells the host which processes it serves and which hook library the host is to load into
// them (hook provider), describes the object type its hook library publishes (object-type
// descriptor and its one-item list), and names the members that it adds to object types (call
// provider). The MSAA and UI Automation plug-ins also add an options page whose accepted-window
// lists travel to the hooks as hook parameters (openapps/accepted_windows.h).
#pragma once

#include "core/automation/automation.h"
#include "interfaces/ProbewrightHost.h"
#include "openapps/accepted_windows.h"
#include "openapps/plugin_base.h"
#include "platform/ui/gdi.h"

namespace pw {

inline constexpr GUID kMSVCPluginKey = MakeGuid("{B59AD9D6-201E-4C62-9E10-83F2F6C9D519}");
inline constexpr GUID kDelphiPluginKey = MakeGuid("{5AF1CFBF-5D5E-49C9-B54B-694AB69A7ED6}");
inline constexpr GUID kMSAAPluginKey = MakeGuid("{4756B7F6-935E-44E9-B629-901EE9D8E0BC}");
inline constexpr GUID kUiaPluginKey = MakeGuid("{5011462E-A0F5-41F6-92BA-783BB97DD1F0}");
inline constexpr GUID kVBPluginKey = MakeGuid("{62BBC87F-B65E-4366-AF8B-0002866DB7CD}");

// Host services the plug-ins ask the manager for.
inline constexpr GUID kProcessInfoService = MakeGuid("{06B8A42E-4755-44EE-95B1-D775606ECB17}");
inline constexpr GUID kWindowsManagerService = MakeGuid("{463D5E7A-02B6-4BE5-A74C-2D885DC8D6BB}");
inline constexpr GUID kHookParameterService = MakeGuid("{676A4D80-5C20-4A65-B4B8-BCD879BAE0A1}");

// The commands of the hook channel (their text form is what travels).
inline constexpr const char16_t* kLoadHookCommand = u"{31B0A848-ACBE-4675-94E4-D6DE052D1C09}";
inline constexpr const char16_t* kUnloadHookCommand = u"{C9657614-62FE-4DDD-AD5F-6AB17BD0FB96}";
inline constexpr const char16_t* kVBAfterLoadCommand = u"{AD8C67D0-2765-461C-B3FD-089F2483D207}";
inline constexpr const char16_t* kVBAfterUnloadCommand = u"{03AEE08F-351A-4D0C-AA18-588992B94152}";

// Object-type GUIDs that the call providers compare with.
inline constexpr GUID kCallTypeCommon = MakeGuid("{E9E061ED-0F79-433C-941B-A6235328FA2C}");
inline constexpr GUID kCallTypeWindowed = MakeGuid("{89700BDC-D5D8-4BE2-ACC3-E934A765A45A}");

// Step 1 of install and remove: which answer of the process's hook channel lets them go on.
enum class HookChannelTest {
  Reference,      // the channel reference
  FlagOnInstall,  // the channel's "available" Boolean on install, the reference on removal
  Flag,           // the Boolean on both
};

// What distinguishes the five plug-ins' object types and hooks.
struct OpenAppTechnology {
  GUID pluginKey;
  const char16_t* hookLibrary;
  GUID typeKey;
  const char16_t* typeName;
  const char* bitmapResource;
  std::int32_t order;
  HookChannelTest channelTest;
  bool checksHookParameterService;  // PostInitialize: the host's hook parameter service must be there
};

// The common part of the five: the object-type descriptor, its one-item list, the call
// provider and the hook provider's install and remove sequence.
class TpwOpenAppPlugin : public Implements<TcvBasePlugin, IpwObjectTypeDescriptor, IpwSubProviderList,
                                           IpwObjectCallProvider> {
 public:
  ~TpwOpenAppPlugin() override;

  // IcvKeyItem, and the GetKey of every further interface: the plug-in key.
  HRESULT GetKey(GUID* key) override { return TcvBasePlugin::GetKey(key); }
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
  // IpwObjectCallProvider
  VARIANT_BOOL GetCallInformation(IpwObjectCallInfoRequest* info, VARIANT* result) override;

  // IpwOpenAppHookProvider's operations, which TpwOpenAppPluginOf binds.
  HRESULT HookIsProcessSupported(IpwProcess* process, VARIANT_BOOL* supported);
  HRESULT HookInstall(IpwProcess* process);
  HRESULT HookRemove(IpwProcess* process);

  const OpenAppTechnology& Technology() const noexcept { return technology_; }

 protected:
  explicit TpwOpenAppPlugin(const OpenAppTechnology& technology) : technology_(technology) {}

  GUID DoGetKey() override { return technology_.pluginKey; }
  void DoPostInitialize() override;

  // Whether the plug-in serves the process (the base: always).
  virtual bool ProcessSupported(IpwProcess* /*process*/) { return true; }
  // Before the load command (hook parameters) and after each command.
  virtual void BeforeInstall(IDispatch* /*target*/) {}
  virtual void AfterInstall(IDispatch* /*target*/) {}
  virtual void AfterRemove(IDispatch* /*target*/) {}
  // Whether Info's type gets members, and what describes them. The base adds none (false).
  virtual bool CallInformation(IpwObjectCallInfoRequest* info, OleVariant& result);
  // The sub-provider list's answer for an index (the base: the descriptor for any index).
  virtual bool SubProviderIndexValid(std::int32_t /*index*/) { return true; }

  // The process's hook command target, or nil when the channel or the target is missing.
  ComPtr<IDispatch> HookCommandTarget(IpwProcess* process, bool installing);

 private:
  bool ChannelUsable(bool available, bool hasChannel, bool installing) const;

  OpenAppTechnology technology_;
  HBITMAP typeBitmap_ = 0;
  std::int32_t tag_ = 0;
};

// Late-bound calls of the hook command target (by dispatch identifier; a failure raises).
void ExecuteHookCommand(IDispatch* target, WideStringView command, const OleVariant& argument);
void SetHookParameter(IDispatch* target, const GUID& key, const OleVariant& value);

// A plug-in class's interface table over the common part: the GetKey of every listed interface
// answers the plug-in key, and the hook provider's operations go to the common sequence.
template <class... Intfs>
class TpwOpenAppPluginOf : public Implements<TpwOpenAppPlugin, Intfs...> {
 public:
  HRESULT GetKey(GUID* key) override { return TcvBasePlugin::GetKey(key); }
  HRESULT IsProcessSupported(IpwProcess* p, VARIANT_BOOL* s) override { return this->HookIsProcessSupported(p, s); }
  HRESULT InstallHook(IpwProcess* p) override { return this->HookInstall(p); }
  HRESULT RemoveHook(IpwProcess* p) override { return this->HookRemove(p); }

 protected:
  using Implements<TpwOpenAppPlugin, Intfs...>::Implements;
};

// A settings notification that failed with hr (its error information is the thread's): the
// failure goes to the host's diagnostic log, naming the plug-in's object type; the thread's
// error information stays as it was.
void ReportSettingsFailure(IcvBaseManager* manager, const OpenAppTechnology& technology, HRESULT hr);

// The MSAA and UI Automation plug-ins: the options page of accepted windows, the settings
// listener that keeps the hooks up to date, and the page's hook parameters before the load
// command. Intfs lists IpwSettingsChangeListener and IpwSettingsPageProvider among the others.
template <class... Intfs>
class TpwOpenAppPagePlugin : public TpwOpenAppPluginOf<Intfs...> {
 public:
  // IpwSettingsPageProvider and IpwSettingsChangeListener
  void GetPageKey(GUID* key) override { this->GetKey(key); }
  HRESULT RegisterPage(IpwSettingsGroup* group) override {
    return this->SafeCall([&] { page_.RegisterPage(this->Manager(), this->GetPluginKey(), group); });
  }
  void Unused5() override {}
  // No result code reaches the host from these two: a failure stays in the thread's error
  // information instead of escaping into the host's code, and, as a background failure, is
  // written to the host's diagnostic log.
  void SetSettingsGroup(IpwSetting* setting, const GUID& groupKey) override {
    Notified(this->SafeCall([&] { page_.SetSettingsGroup(this->Manager(), setting, groupKey); }));
  }
  void GetListenerKey(GUID* key) override { this->GetKey(key); }
  void Unused4(IUnknown*) override {}
  void SettingChanged(IpwSetting* setting, const GUID& groupKey) override {
    Notified(this->SafeCall([&] { page_.SettingChanged(this->Manager(), setting, groupKey); }));
  }
  void Unused6(IUnknown*) override {}

  TAcceptedWindowsPage& Page() { return page_; }

 protected:
  TpwOpenAppPagePlugin(const OpenAppTechnology& technology, const AcceptedWindowsPageInfo& page)
      : TpwOpenAppPluginOf<Intfs...>(technology), page_(page) {}

  void BeforeInstall(IDispatch* target) override { page_.SetHookParameters(this->Manager(), target); }

 private:
  void Notified(HRESULT hr) { ReportSettingsFailure(this->Manager(), this->Technology(), hr); }

  TAcceptedWindowsPage page_;
};

class TpwMSVCPlugin final : public TpwOpenAppPluginOf<IpwOpenAppHookProvider> {
 public:
  TpwMSVCPlugin();
};

class TpwDelphiPlugin final : public TpwOpenAppPluginOf<IpwOpenAppHookProvider> {
 public:
  TpwDelphiPlugin();

 protected:
  bool CallInformation(IpwObjectCallInfoRequest* info, OleVariant& result) override;

 private:
  OleVariant callInfos_;  // array 0..1 of the "VCLObject" and "CLXObject" call information
};

class TpwMSAAPlugin final
    : public TpwOpenAppPagePlugin<IpwSettingValueValidator, IpwMSAAExtensionB, IpwSettingsChangeListener,
                                  IpwSettingsPageProvider, IpwOpenAppHookProvider> {
 public:
  TpwMSAAPlugin();
  // The two extension points without content (the validator is added to no setting).
  HRESULT ValidatorOperation4() override { return S_OK; }
  HRESULT ValidateSetting(IpwSetting*, const VARIANT&) override { return S_OK; }
  HRESULT ValidatorOperation6(const VARIANT&) override { return S_OK; }
  HRESULT Operation4(IUnknown*) override { return S_OK; }
  HRESULT Operation5() override { return S_OK; }

 protected:
  bool CallInformation(IpwObjectCallInfoRequest* info, OleVariant& result) override;
};

class TpwUiaSupportPlugin final
    : public TpwOpenAppPagePlugin<IpwSettingsChangeListener, IpwSettingsPageProvider, IpwObjectKindProvider,
                                  IpwOpenAppHookProvider2> {
 public:
  TpwUiaSupportPlugin();
  ~TpwUiaSupportPlugin() override;
  HRESULT IsTargetProcess(IpwProcess* process, IpwModuleList* modules, VARIANT_BOOL* result) override;
  // IpwObjectKindProvider
  HRESULT GetKindBitmap(BSTR kindName, std::int32_t* bitmap) override;

  bool UiaAvailable() const noexcept { return uiaAvailable_; }

 protected:
  void DoInitialize(IcvBaseManager* manager) override;
  bool ProcessSupported(IpwProcess* process) override;
  bool CallInformation(IpwObjectCallInfoRequest* info, OleVariant& result) override;
  bool SubProviderIndexValid(std::int32_t index) override { return index == 0; }

 private:
  bool uiaAvailable_ = false;
  HBITMAP silverlightBitmap_ = 0;
};

class TpwVBAppPlugin final : public TpwOpenAppPluginOf<IpwOpenAppHookProvider2> {
 public:
  TpwVBAppPlugin();
  HRESULT IsTargetProcess(IpwProcess* process, IpwModuleList* modules, VARIANT_BOOL* result) override;

 protected:
  bool ProcessSupported(IpwProcess* process) override;
  void AfterInstall(IDispatch* target) override;
  void AfterRemove(IDispatch* target) override;
  bool CallInformation(IpwObjectCallInfoRequest* info, OleVariant& result) override;

 private:
  // The Visual Basic 6 test on a process whose module list is known.
  bool IsVisualBasic6(IpwProcess* process, IpwModuleList* modules);
};

// The call information of the member that a plug-in adds: one parameter "Name". Base is the
// object's root: the reference-counted base, or the automation base for objects that travel in
// a variant as a dispatch reference.
template <class Base>
class TpwCallInformationOf : public Implements<Base, IpwObjectCallInformation> {
 public:
  HRESULT GetFirstFlag(VARIANT_BOOL* flag) override;
  HRESULT GetName(BSTR* name) override;
  HRESULT GetSecondFlag(VARIANT_BOOL* flag) override;
  HRESULT GetParamCount(std::int32_t* count) override;
  HRESULT GetParamName(std::int32_t index, BSTR* name) override;

 protected:
  template <class... BaseArgs>
  explicit TpwCallInformationOf(WideString name, BaseArgs&&... baseArgs)
      : Implements<Base, IpwObjectCallInformation>(std::forward<BaseArgs>(baseArgs)...), name_(std::move(name)) {}

 private:
  WideString name_;
};

extern template class TpwCallInformationOf<TcvInterfacedObject>;
extern template class TpwCallInformationOf<TCVAAutoIntfObject>;

class TpwVCLObjectCallInformation final : public TpwCallInformationOf<TcvInterfacedObject> {
 public:
  explicit TpwVCLObjectCallInformation(WideString name) : TpwCallInformationOf(std::move(name)) {}
};

// The same answers from an automation object without members of its own: "MSAAObject" and
// "VBObject".
class TpwNamedCallInformation : public TpwCallInformationOf<TCVAAutoIntfObject> {
 protected:
  explicit TpwNamedCallInformation(const char16_t* name) : TpwCallInformationOf(name, std::vector<IID>{}) {}
};

class TpwMSAAObjectCallInformation final : public TpwNamedCallInformation {
 public:
  TpwMSAAObjectCallInformation() : TpwNamedCallInformation(u"MSAAObject") {}
};

class TpwWaitVBObject final : public TpwNamedCallInformation {
 public:
  TpwWaitVBObject() : TpwNamedCallInformation(u"VBObject") {}
};

}  // namespace pw
