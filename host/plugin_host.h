// The host's side of plug-ins: reads a registrator's table, creates plug-ins by index and
// drives their life against the test host. Start runs Initialize (with the host's manager) and
// PostInitialize, then gives each options-page provider a settings group of its own: the
// provider registers its page and settings there, the host names each of the group's settings
// back to it (SetSettingsGroup) and tells its change listener when one of them changes. Processes
// are offered to the hook providers, which install and remove their hooks; Stop runs Finalize
// and lets the plug-ins go.
#pragma once

#include <vector>

#include "host/test_host.h"

namespace pw::host {

struct PluginTableRow {
  GUID key{};
  WideString name, description;
  std::int32_t version = 0, version2 = 0;
  bool flag = false;
  std::vector<GUID> required, listA;
};

struct RegistratorTable {
  GUID key{};
  WideString name, description;
  std::vector<GUID> listA, listB;
  std::vector<PluginTableRow> plugins;
};

// The module's export that hands out its registrator.
using GetPluginRegistratorProc = HRESULT (*)(IcvPluginRegistrator** registrator);

// Everything the registrator tells about itself and its plug-ins; a failing call raises.
RegistratorTable ReadRegistratorTable(IcvPluginRegistrator* registrator);

// The text of a failure: the thread's error information when the callee left some, else the
// code's own text.
WideString FailureText(HRESULT hr);

class TPluginHost {
 public:
  struct Plugin {
    std::int32_t index = -1;
    GUID key{};
    WideString name;
    ComPtr<IcvPlugin> object;  // nil when the registrator made none
    HRESULT created = S_OK;
    WideString error;          // why creation or a later step failed
    ComPtr<TSettingsGroup> settingsGroup;  // an options-page provider's group
    std::vector<GUID> actions;             // an action provider's actions, in its index order
  };

  explicit TPluginHost(TestHost& host);
  ~TPluginHost();
  TPluginHost(const TPluginHost&) = delete;
  TPluginHost& operator=(const TPluginHost&) = delete;

  // Creates plug-in `index`; the outcome is kept, a failure with its text.
  Plugin& Create(IcvPluginRegistrator* registrator, std::int32_t index, const WideString& name);
  // Initialize and PostInitialize, then the options pages; a failing step is kept in the
  // plug-in's error and the plug-in takes no further part. Answers the number of failures.
  std::size_t Start();
  // Notify on every running plug-in; a failure is kept in the plug-in's error and the plug-in
  // takes no further part. Answers the number of failures.
  std::size_t Notify(std::int32_t code);

  // What a hook step did: the plug-ins (by index) that did it, and those that failed, with why.
  struct HookOutcome {
    std::vector<std::int32_t> done;
    std::vector<std::pair<std::int32_t, WideString>> failed;
  };
  // Offers the process to every hook provider; those that serve it install their hooks. A
  // plug-in that fails the test or the installation is reported and the others go on.
  HookOutcome AttachProcess(TProcess& process);
  // The plug-ins that installed hooks into the process remove them, each whatever the others
  // answer.
  HookOutcome DetachProcess(TProcess& process);
  // Finalize on every plug-in the host started, then releases them all. Answers the failures
  // of Finalize, each as "name: reason".
  std::vector<WideString> Stop();

  // Runs a plug-in's action as the host's menu does: the providing plug-in updates the action
  // (its enabled state, property 0) and, when it is enabled, executes it with the parameter.
  // Answers whether it ran; raises when no running plug-in provides the key, or for the
  // provider's failure.
  bool RunAction(const GUID& action, const OleVariant& param = {});

  std::vector<Plugin>& Plugins() { return plugins_; }
  // The failures of builders' ExtendNode when Start offered them the object tree.
  const std::vector<WideString>& BuilderFailures() const { return builderFailures_; }
  bool Running(const Plugin& p) const { return started_ && p.object && p.error.empty(); }

 private:
  class TSettingsForwarder;
  void RegisterPage(Plugin& p);
  // The object types of the plug-in's descriptors (IpwSubProviderList) join the object tree's
  // type registry.
  void RegisterObjectTypes(Plugin& p);
  // The builders of a plug-in that answers IpwSysNodeBuilderProvider go to the object tree.
  void AddBuilders(Plugin& p);
  // The runtime objects a plug-in lists (IpwRuntimeObjectProvider) join the host's under their
  // names; nil objects are skipped. Withdrawn at Stop.
  void RegisterRuntimeObjects(Plugin& p);
  // A plug-in that answers IpwEventSubscription is subscribed to the broker's events until Stop.
  void Subscribe(Plugin& p);
  // A plug-in that answers IpwActionRegistrar registers its actions; the keys its
  // IpwActionProvider lists are kept with it.
  void RegisterActions(Plugin& p);
  void SettingChanged(IpwSetting* setting);

  TestHost& host_;
  std::vector<Plugin> plugins_;
  std::vector<std::pair<DWORD, std::int32_t>> hooks_;  // process id, plug-in index
  ComPtr<IpwSettingsListener> forwarder_;
  bool started_ = false;
  std::vector<WideString> builderFailures_;
  std::vector<GUID> subscriptions_;
  std::vector<WideString> runtimeObjects_;
};

}  // namespace pw::host
