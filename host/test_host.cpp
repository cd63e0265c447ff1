#include "host/test_host.h"

#include "host/browser/objects/window_pictures.h"

#include "interfaces/ProbewrightInternal.h"
#include "interfaces/pwOpenAppServices.h"

#include "platform/kernel/modules.h"
#include "project/nodes/thread_events.h"
#include "platform/rtl/strings.h"

namespace pw::host {

class THostInformation final : public Implements<ComObject, IpwHostInformation> {
 public:
  THostInformation(std::int32_t majorVersion, std::int32_t minorVersion, WideString folder)
      : majorVersion_(majorVersion), minorVersion_(minorVersion), folder_(std::move(folder)) {
    OleCheck(CreateGuid(instance_));
  }

  HRESULT GetProductName(BSTR* name) override {
    return SafeCall([&] { SetOut(name, u"Probewright"); });
  }
  PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7)
  HRESULT GetMajorVersion(std::int32_t* version) override {
    return SafeCall([&] { SetOutValue(version, majorVersion_); });
  }
  HRESULT GetMinorVersion(std::int32_t* version) override {
    return SafeCall([&] { SetOutValue(version, minorVersion_); });
  }
  PW_HOST_RESERVED(10) PW_HOST_RESERVED(11) PW_HOST_RESERVED(12) HRESULT GetFileName(BSTR* fileName) override {
    return SafeCall([&] { SetOut(fileName, Utf8ToWide(ProgramFile())); });
  }
  HRESULT GetFolder(BSTR* folder) override {
    return SafeCall([&] {
      if (!folder_.empty()) return SetOut(folder, folder_);
      std::string exe = ProgramFile();
      SetOut(folder, Utf8ToWide(exe.substr(0, exe.rfind('/') + 1)));
    });
  }
  PW_HOST_RESERVED(15) PW_HOST_RESERVED(16) PW_HOST_RESERVED(17) PW_HOST_RESERVED(18) PW_HOST_RESERVED(19)
  PW_HOST_RESERVED(20) PW_HOST_RESERVED(21) PW_HOST_RESERVED(22) PW_HOST_RESERVED(23) PW_HOST_RESERVED(24)
  HRESULT GetInstanceKey(GUID* key) override {
    return SafeCall([&] { SetOutValue(key, instance_); });
  }

 private:
  std::int32_t majorVersion_, minorVersion_;
  WideString folder_;
  GUID instance_{};
};

class THostManager final : public Implements<ComObject, IcvBaseManager> {
 public:
  THostManager(std::shared_ptr<HostConfig> config, std::int32_t majorVersion, std::int32_t minorVersion,
               WideString folder)
      : config_(std::move(config)),
        information_(MakeObject<THostInformation>(majorVersion, minorVersion, std::move(folder))) {}

  void SetService(const GUID& service, IUnknown* object) {
    std::lock_guard guard(lock_);
    if (object)
      services_[service] = object;
    else
      services_.erase(service);
  }
  std::vector<GUID> Requests() const {
    std::lock_guard guard(lock_);
    return requests_;
  }
  void Clear() {
    std::map<GUID, ComPtr<IUnknown>> old;
    std::lock_guard guard(lock_);
    old.swap(services_);
  }

  PW_HOST_RESERVED(3) PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(8)
  PW_HOST_RESERVED(9) PW_HOST_RESERVED(10)
  HRESULT GetHostMode(std::int32_t* mode) override {
    return SafeCall([&] { SetOutValue(mode, config_->Mode()); });
  }
  // An unknown service answers nil.
  HRESULT GetService(const GUID& service, IUnknown** result) override {
    return SafeCall([&] {
      ComPtr<IUnknown> found;
      {
        std::lock_guard guard(lock_);
        requests_.push_back(service);
        auto at = services_.find(service);
        if (at != services_.end()) found = at->second;
      }
      SetOut(result, found);
    });
  }
  HRESULT GetInformation(IpwHostInformation** info) override {
    return SafeCall([&] { SetOut(info, information_); });
  }

 private:
  std::shared_ptr<HostConfig> config_;
  ComPtr<THostInformation> information_;
  mutable std::mutex lock_;
  std::map<GUID, ComPtr<IUnknown>> services_;
  std::vector<GUID> requests_;
};

TestHost::TestHost(TestHostOptions options) : config_(std::make_shared<HostConfig>()) {
  if (options.clock) clock_ = std::make_unique<ScopedClock>(*options.clock);
  // The host's interfaces are called late-bound through the thunks of its own descriptions.
  RegisterInterfaceThunks(ProbewrightHostInterfaceThunks());
  RegisterInterfaceThunks(ProbewrightInternalInterfaceThunks());
  RegisterInterfaceThunks(pwOpenAppServicesInterfaceThunks());
  // The host's script-visible objects take their type information from the host's own library.
  if (!TypeLibraries()) {
    StartAutomation();
    ownsAutomation_ = true;
  }
  config_->SetMode(options.interactive ? kHostInteractive : kHostWithoutDialogs);

  settings_ = MakeObject<TSettingsManager>();
  options_ = MakeObject<TOptionsService>(settings_.Get());
  messenger_ = MakeObject<TMessenger>(config_);
  log_ = MakeObject<TTestLog>(config_);
  runtime_ = MakeObject<TRuntimeObjectService>();
  syntax_ = MakeObject<TSyntaxManager>();
  sys_ = MakeObject<TSysManager>();
  run_ = MakeObject<TRunState>();
  projects_ = MakeObject<TProjectRegistry>(run_);
  // A new current node goes to the subscribers of the node events.
  // A listener's failure does not undo the change.
  projects_->SetCurrentNodeListener([this](IpwProjectNode* node) {
    try {
      if (broker_) broker_->FireNodeChanged(node);
    } catch (...) {
    }
  });
  diagnostics_ = MakeObject<TDiagnosticLog>();
  state_ = MakeObject<THostState>(config_, run_);
  indicator_ = MakeObject<TIndicator>();
  hostObjects_ = MakeObject<THostObjectProvider>(indicator_, [sys = sys_](const GUID& key) -> ComPtr<IUnknown> {
    auto node = sys->Root()->FindByKey(key);
    return node ? ComPtr<IUnknown>(node->Identity()) : nullptr;
  });
  broker_ = MakeObject<TObjectBroker>(main_);
  dialogs_ = MakeObject<TDialogService>(config_);
  dialogs_->SetPatternTableSource([this] {
    auto table = settings_ ? settings_->FindSetting(kDynamicIdTableKey) : nullptr;
    return table ? table->Rows() : std::vector<std::vector<OleVariant>>{};
  });
  fileWatch_ = MakeObject<TFileWatchService>();
  actions_ = MakeObject<TActionService>();
  menus_ = MakeObject<TMenuService>(actions_);
  fileReload_ = MakeObject<TFileReloadManager>(config_);
  unsavedFiles_ = MakeObject<TUnsavedFileQuery>(config_);
  providers_ = MakeObject<TProviderRegistry>();
  projectService_ = MakeObject<TProjectService>(config_);
  options_->SetProjectService(projectService_->Identity());
  processes_ = std::make_unique<TProcessList>(*sys_->Root());
  browsers_ = std::make_unique<TBrowsers>(*processes_, *log_);
  // Script-style names of pages: "Page" the front browser's page, Page("url") a browser's page
  // at that location (ignoring case).
  hostObjects_->SetNameFinder([browsers = browsers_.get()](WideStringView name) -> ComPtr<IUnknown> {
    auto pageNode = [](const std::shared_ptr<TestedBrowser>& b) {
      return b && b->node ? ComPtr<IUnknown>(static_cast<IpwSysNodeEx*>(b->node.Get())) : nullptr;
    };
    if (SameTextIgnoringCase(name, u"Page")) return pageNode(browsers->Front());
    constexpr WideStringView open = u"Page(\"", close = u"\")";
    if (name.size() < open.size() + close.size() || !SameTextIgnoringCase(name.substr(0, open.size()), open) ||
        !name.ends_with(close))
      return nullptr;
    const WideStringView url = name.substr(open.size(), name.size() - open.size() - close.size());
    for (const auto& b : browsers->List()) {
      if (SameTextIgnoringCase(Utf8ToWide(b->Location()), url)) return pageNode(b);
    }
    return nullptr;
  });
  processInfo_ = MakeObject<TProcessInfoService>(*processes_);
  windows_ = MakeObject<TWindowsManager>();
  // A window's picture: the viewport shot of the tested browser whose window it is.
  windows_->SetPictureSource([browsers = browsers_.get()](std::int32_t window, std::int32_t) {
    return static_cast<std::int32_t>(WindowPicture(*browsers, static_cast<HWND>(window)));
  });
  input_ = MakeObject<TInputService>(*browsers_);
  recording_ = MakeObject<TRecordingService>();
  eventSets_ = MakeObject<TActiveXEventManager>([config = config_](const WideString& line) { config->Print(line); });
  hookParameters_ = MakeObject<THookParameterService>(*processes_);
  imageFormats_ = MakeObject<THostImageFormatService>();
  manager_ = MakeObject<THostManager>(config_, options.majorVersion, options.minorVersion, options.folder);
  sys_->SetHostManager(manager_.Get());
  options_->DefineGroup(kOpenApplicationsGroup, u"Open Applications");
  nodeEvents_ = MakeObject<THostNodeEvents>();
  OleCheck(broker_->RegisterObject(IpwProjectNodeEvents::iid, nodeEvents_->Identity()));
  broker_->SetEventHandler(project::kContainerThreadEventClass, &project::RunContainerThreadEvent);
  projectUpdate_ = MakeObject<THostProjectUpdate>();
  OleCheck(broker_->RegisterObject(IpwProjectUpdate::iid, projectUpdate_->Identity()));
  projects_->AddItemTypes(MakeObject<THostItemTypes>(manager_.Get()).Get());
  projects_->SetNodeManager(manager_.Get());
  dialogs_->SetNodeManager(manager_.Get());

  settings_->DefineSetting(kCurrentLanguageSetting, kSettingText, u"Scripting language",
                           OleVariant(options.currentLanguage));
  for (const auto& l : syntax_->Languages())
    if (SameTextIgnoringCase(l.name, options.currentLanguage)) projects_->SetCurrentLanguage(l.key);
  runtime_->Register(u"Log", log_->Dispatch());
  runtime_->Register(u"Sys", sys_->Root()->Dispatch());

  auto add = [&](const GUID& g, IUnknown* o) { manager_->SetService(g, o); };
  add(services::kSettings, settings_->Identity());
  add(services::kOptions, options_->Identity());
  add(services::kNodeRegistry, projects_->Identity());
  add(services::kDiagnosticLog, diagnostics_->Identity());
  add(services::kMessenger, messenger_->Identity());
  add(services::kObjectBroker, broker_->Identity());
  add(services::kDialogs, dialogs_->Identity());
  add(services::kHostState, state_->Identity());
  add(services::kFileWatch, fileWatch_->Identity());
  add(services::kRunControl, projects_->Identity());
  add(services::kHostObjects, hostObjects_->Identity());
  add(services::kActions, actions_->Identity());
  add(services::kMenus, menus_->Identity());
  add(services::kSyntax, syntax_->Identity());
  add(services::kRuntimeObjects, runtime_->Identity());
  add(services::kSysManager, sys_->Identity());
  add(services::kProviderRegistry, providers_->Identity());
  add(kActionPointServiceKey, actionPoints_->Provider());
  add(services::kFileReload, fileReload_->Identity());
  add(services::kUnsavedFileQuery, unsavedFiles_->Identity());
  add(services::kProcessInfo, processInfo_->Identity());
  add(services::kWindowsManager, windows_->Identity());
  add(services::kInput, static_cast<IpwInputService*>(input_.Get()));
  add(services::kHookParameters, hookParameters_->Identity());
  add(services::kRecording, recording_->Identity());
  add(services::kActiveXEvents, eventSets_->Identity());
  add(services::kImageFormats, imageFormats_->Identity());
  add(services::kStopRequest, run_->Identity());
}

TestHost::~TestHost() {
  // The engine goes first: its pages are processes and nodes of the host.
  browsers_->CloseAll();
  // Break the links between services and what plug-ins left registered, then let them go.
  // Pictures kept by the log may hold the manager.
  log_->DropPictures();
  manager_->Clear();
  runtime_->Clear();
  broker_->Clear();
  actions_->Clear();
  menus_->Clear();
  fileWatch_->Clear();
  projects_->Clear();
  providers_->Clear();
  options_->Shutdown();
  settings_->Shutdown();
  // Slices and builders of plug-ins may hold the tree's manager.
  sys_->ClearBuilders();
  sys_->Root()->ReleaseAttachments();
  sys_->SetHostManager(nullptr);
  dialogs_->SetNodeManager(nullptr);
  projects_->SetNodeManager(nullptr);
  manager_ = nullptr;
  browsers_.reset();
  processes_->Clear();
  imageFormats_ = nullptr;
  hookParameters_ = nullptr;
  windows_ = nullptr;
  recording_ = nullptr;
  eventSets_ = nullptr;
  processInfo_ = nullptr;
  processes_.reset();
  providers_ = nullptr;
  projectService_ = nullptr;
  unsavedFiles_ = nullptr;
  fileReload_ = nullptr;
  menus_ = nullptr;
  actions_ = nullptr;
  fileWatch_ = nullptr;
  dialogs_ = nullptr;
  if (projects_) projects_->SetCurrentNodeListener(nullptr);
  broker_ = nullptr;
  nodeEvents_ = nullptr;
  projectUpdate_ = nullptr;
  hostObjects_ = nullptr;
  indicator_ = nullptr;
  state_ = nullptr;
  diagnostics_ = nullptr;
  projects_ = nullptr;
  run_ = nullptr;
  sys_ = nullptr;
  syntax_ = nullptr;
  runtime_ = nullptr;
  log_ = nullptr;
  messenger_ = nullptr;
  options_ = nullptr;
  settings_ = nullptr;
  if (ownsAutomation_) StopAutomation();
}

IcvBaseManager* TestHost::Manager() const { return manager_.Get(); }

void TestHost::SetInteractive(bool interactive) {
  config_->SetMode(interactive ? kHostInteractive : kHostWithoutDialogs);
}

void TestHost::SetService(const GUID& service, IUnknown* object) { manager_->SetService(service, object); }

std::vector<GUID> TestHost::ServiceRequests() const { return manager_->Requests(); }

}  // namespace pw::host
