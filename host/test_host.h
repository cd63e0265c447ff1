// The test host: the host manager that plug-ins get and every host service behind it, each a
// real in-memory implementation. Tests create one, choose how it answers, hand its manager to
// the module's code and read back what the code did.
//
//   host::TestHost host;                        // interactive, JavaScript, the system clock
//   host.Messenger().QueueConfirmation(true);   // the next confirmation answers yes
//   RegisterSettingsGroup(host.Manager(), ...); // the module's code works against it
//   EXPECT_EQ(host.Log().Entries().size(), 1u);
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "host/action_points.h"
#include "host/browser/objects/browsers.h"
#include "host/browser/objects/input_actions.h"
#include "host/event_sets.h"
#include "host/code_model.h"
#include "host/file_queries.h"
#include "host/host_config.h"
#include "host/host_state.h"
#include "host/image_formats.h"
#include "host/main_thread.h"
#include "host/messenger.h"
#include "host/object_tree.h"
#include "host/processes.h"
#include "host/recording.h"
#include "host/project_services.h"
#include "host/run_state.h"
#include "host/settings.h"
#include "host/test_log.h"
#include "host/ui_services.h"
#include "platform/kernel/clock.h"

namespace pw::host {

// Service GUIDs of the host manager's lookup.
namespace services {
inline constexpr GUID kSettings = MakeGuid("{B2B8BD2F-363E-48DD-9FB1-FD64DE2428B7}");
inline constexpr GUID kOptions = MakeGuid("{F3B20D9E-6BE1-468C-9120-F3D33E254B27}");
inline constexpr GUID kNodeRegistry = MakeGuid("{24B6FA0B-0143-461A-9758-AEB9E9A9428B}");
inline constexpr GUID kDiagnosticLog = MakeGuid("{2A39924A-C72A-4254-B8FD-B7F63B8553C2}");
inline constexpr GUID kMessenger = MakeGuid("{F6FF2D77-4189-428E-BABE-0FF1BC4EE6E4}");
inline constexpr GUID kObjectBroker = MakeGuid("{B194834B-CBC1-4C10-9840-53294F41FC3F}");
inline constexpr GUID kDialogs = MakeGuid("{59A2F68C-B38D-4DD4-A53F-51A8B80588F4}");
inline constexpr GUID kHostState = MakeGuid("{B4FE2003-80F1-469E-8C46-F286F8310606}");
inline constexpr GUID kFileWatch = MakeGuid("{ECEC5F4E-EFF9-4E6E-A47E-F708C2C99ABE}");
inline constexpr GUID kRunControl = MakeGuid("{555A3A53-8D35-4F93-9570-00662CF627C6}");
inline constexpr GUID kHostObjects = MakeGuid("{EBDBAC08-25B3-4B2C-9545-1BD01637FFBB}");
inline constexpr GUID kActions = MakeGuid("{66B82366-743B-4638-B399-DC7745476471}");
inline constexpr GUID kMenus = MakeGuid("{239FCDBF-49D7-4838-BD45-77288F7D9B57}");
inline constexpr GUID kSyntax = MakeGuid("{DEC76189-3991-46A6-9D7B-E1A2EBA99C44}");
inline constexpr GUID kRuntimeObjects = MakeGuid("{74D5EA13-7482-49C0-9A25-290A6C1501DC}");
inline constexpr GUID kSysManager = MakeGuid("{0157ED9A-887B-4FC5-BBAD-19ECB6BD9115}");
inline constexpr GUID kProviderRegistry = MakeGuid("{415B5AA1-C6AC-4D4D-9A53-063A521A45AB}");
inline constexpr GUID kFileReload = MakeGuid("{578B80EB-A126-4987-A3B5-E0BF0C5DB23B}");
inline constexpr GUID kUnsavedFileQuery = MakeGuid("{0A5D44F6-2F15-476D-8B86-8708052C900D}");
inline constexpr GUID kProcessInfo = MakeGuid("{06B8A42E-4755-44EE-95B1-D775606ECB17}");
inline constexpr GUID kWindowsManager = MakeGuid("{463D5E7A-02B6-4BE5-A74C-2D885DC8D6BB}");
inline constexpr GUID kHookParameters = MakeGuid("{676A4D80-5C20-4A65-B4B8-BCD879BAE0A1}");
inline constexpr GUID kRecording = MakeGuid("{7304CEEC-41E0-461E-9B13-F1B94DF03466}");
inline constexpr GUID kImageFormats = MakeGuid("{3B1367F5-9B09-46AB-861E-57F435F66D6A}");
inline constexpr GUID kStopRequest = MakeGuid("{A0CC50ED-072D-4512-8E65-C5A63D307263}");
inline constexpr GUID kInput = MakeGuid("{10989D82-BE71-4BD3-BE80-30B785CD1009}");
// The event sets, looked up by their interface id.
inline constexpr GUID kActiveXEvents = MakeGuid("{9DD37E86-3A58-4C45-9274-8CC3505533F0}");
}  // namespace services

// The host's options group "Open Applications", under which the technology plug-ins' pages go.
inline constexpr GUID kOpenApplicationsGroup = MakeGuid("{44B9A6D6-D936-488E-916F-7232B07C89AB}");

// The host setting that names the current scripting language.
inline constexpr GUID kCurrentLanguageSetting = MakeGuid("{63CE614F-7E70-45FF-8635-E9A86B0F7750}");

struct TestHostOptions {
  bool interactive = true;
  WideString currentLanguage = u"JavaScript";
  // Installed for the host's life when given (the host's waits and log times read it).
  Clock* clock = nullptr;
  // The host's major version (the information object's answer).
  std::int32_t majorVersion = 9;
  // The host's minor version (the second number; settings stored by another pair are older).
  std::int32_t minorVersion = 0;
  // The host folder the information object answers (ending in "/"); empty: the program's folder.
  WideString folder;
};

class THostManager;

class TestHost {
 public:
  explicit TestHost(TestHostOptions options = {});
  ~TestHost();
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  // What plug-ins get.
  IcvBaseManager* Manager() const;

  void SetInteractive(bool interactive);
  bool Interactive() const { return config_->Interactive(); }
  // Where log entries and messages are printed as they come (nothing by default).
  void SetPrinter(HostConfig::Printer printer) { config_->SetPrinter(std::move(printer)); }

  // Adds or replaces a service of the lookup (nil removes it).
  void SetService(const GUID& service, IUnknown* object);
  // The services asked for so far, in order (also those the host does not have).
  std::vector<GUID> ServiceRequests() const;

  TSettingsManager& Settings() { return *settings_; }
  TOptionsService& Options() { return *options_; }
  TMessenger& Messenger() { return *messenger_; }
  TTestLog& Log() { return *log_; }
  TRuntimeObjectService& RuntimeObjects() { return *runtime_; }
  TSyntaxManager& Syntax() { return *syntax_; }
  TSysManager& ObjectTree() { return *sys_; }
  TSysNode& Sys() { return *sys_->Root(); }
  TProjectRegistry& Projects() { return *projects_; }
  THostNodeEvents& NodeEvents() { return *nodeEvents_; }
  THostProjectUpdate& ProjectUpdate() { return *projectUpdate_; }
  TDiagnosticLog& Diagnostics() { return *diagnostics_; }
  THostState& State() { return *state_; }
  // The run state and the stop flag behind every question about the test run.
  TRunState& RunState() { return *run_; }
  TIndicator& Indicator() { return *indicator_; }
  THostObjectProvider& HostObjects() { return *hostObjects_; }
  MainThread& Main() { return main_; }
  TObjectBroker& Broker() { return *broker_; }
  TDialogService& Dialogs() { return *dialogs_; }
  TFileWatchService& FileWatch() { return *fileWatch_; }
  TActionService& Actions() { return *actions_; }
  TMenuService& Menus() { return *menus_; }
  TFileReloadManager& FileReloads() { return *fileReload_; }
  TUnsavedFileQuery& UnsavedFiles() { return *unsavedFiles_; }
  TProviderRegistry& Providers() { return *providers_; }
  // The project service (behind the options service's lookup key).
  TProjectService& ProjectService() { return *projectService_; }
  // The processes (platform model, object tree, hook channels) and the services over them.
  TProcessList& Processes() { return *processes_; }
  THookParameterService& HookParameters() { return *hookParameters_; }
  TWindowsManager& Windows() { return *windows_; }
  TInputService& Input() { return *input_; }
  // The action-point service: the sink of each run item and what the sinks were told.
  TActionPointService& ActionPoints() { return *actionPoints_; }
  // The analyzers plug-ins registered for recordings.
  TRecordingService& Recording() { return *recording_; }
  // The event sets plug-ins registered, and the events they raised (printed as they come).
  TActiveXEventManager& EventSets() { return *eventSets_; }
  // The image formats "BMP" and "PNG".
  THostImageFormatService& ImageFormats() { return *imageFormats_; }
  // The tested browsers: pages of one real engine, started with the first browser and stopped
  // with the host.
  TBrowsers& Browsers() { return *browsers_; }

 private:
  std::shared_ptr<HostConfig> config_;
  std::unique_ptr<ScopedClock> clock_;
  bool ownsAutomation_ = false;
  MainThread main_;
  ComPtr<TSettingsManager> settings_;
  ComPtr<TOptionsService> options_;
  ComPtr<TMessenger> messenger_;
  ComPtr<TTestLog> log_;
  ComPtr<TRuntimeObjectService> runtime_;
  ComPtr<TSyntaxManager> syntax_;
  ComPtr<TSysManager> sys_;
  ComPtr<TProjectRegistry> projects_;
  ComPtr<THostNodeEvents> nodeEvents_;
  ComPtr<THostProjectUpdate> projectUpdate_;
  ComPtr<TDiagnosticLog> diagnostics_;
  ComPtr<TRunState> run_;
  ComPtr<THostState> state_;
  ComPtr<TIndicator> indicator_;
  ComPtr<THostObjectProvider> hostObjects_;
  ComPtr<TObjectBroker> broker_;
  ComPtr<TDialogService> dialogs_;
  ComPtr<TFileWatchService> fileWatch_;
  ComPtr<TActionService> actions_;
  ComPtr<TMenuService> menus_;
  ComPtr<TFileReloadManager> fileReload_;
  ComPtr<TUnsavedFileQuery> unsavedFiles_;
  ComPtr<TProviderRegistry> providers_;
  ComPtr<TProjectService> projectService_;
  std::unique_ptr<TProcessList> processes_;
  ComPtr<TProcessInfoService> processInfo_;
  std::unique_ptr<TActionPointService> actionPoints_ = std::make_unique<TActionPointService>();
  ComPtr<TWindowsManager> windows_;
  ComPtr<TInputService> input_;
  ComPtr<THookParameterService> hookParameters_;
  ComPtr<TRecordingService> recording_;
  ComPtr<TActiveXEventManager> eventSets_;
  ComPtr<THostImageFormatService> imageFormats_;
  std::unique_ptr<TBrowsers> browsers_;
  ComPtr<THostManager> manager_;
};

}  // namespace pw::host
