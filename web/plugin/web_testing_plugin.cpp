#include "web/plugin/web_testing_plugin.h"

#include <algorithm>

#include "core/automation/automation.h"
#include "core/host/host_services.h"
#include "core/host/module_proxy.h"
#include "core/host/node_names.h"
#include "platform/automation/bstr.h"
#include "platform/automation/out_params.h"
#include "platform/automation/safearray.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "platform/ui/gdi.h"
#include "platform/ui/resources.h"
#include "web/controls/wait_objects.h"
#include "web/hooks/hook_settings.h"
#include "web/plugin/web_builders.h"
#include "web/recording/web_event_analyzer.h"
#include "web/settings/dynamic_ids.h"

namespace pw::web {

namespace {

constexpr GUID kRecordingServiceKey = MakeGuid("{7304CEEC-41E0-461E-9B13-F1B94DF03466}");
constexpr GUID kTestEngineEventsIid = MakeGuid("{0C4EC6DB-AC6A-41DA-8664-827C1F88BFDE}");

// The object kinds whose nodes get waits on items.
constexpr GUID kWebObjectKinds[] = {
    kNativeWebObjectType,
    MakeGuid("{965345DC-52EC-41E8-8815-B4BC0B41E4E0}"),
    MakeGuid("{25D42377-9DA1-4AFA-BAA2-E56CA174E77F}"),
    MakeGuid("{B5284B8B-C248-4863-8E7E-DA3079780D42}"),
    MakeGuid("{EDBCFE79-75D9-4A7D-95AA-4A0E8013E720}"),
};

struct KindBitmap {
  const char16_t* kind;
  const char* resource;
  const char16_t* counter;
  GUID counterKey;
};
constexpr KindBitmap kKindBitmaps[] = {
    {u"flexobject", "FLEXOBJECT", u"Flex", MakeGuid("{9B0B7987-EB8B-4120-9153-53FF6F53C8EC}")},
    {u"airobject", "AIROBJECT", u"AIR", MakeGuid("{33E4E55C-D135-4966-91CF-39DCD909F176}")},
    {u"flashobject", "FLASHOBJECT", u"Flash", MakeGuid("{84A701D7-D0A7-4A88-A903-657E12897AA9}")},
};

// Loads the host folder's library and adds it to the shared list; raises when it cannot.
void LoadHostLibrary(IcvBaseManager* manager, WideStringView relative) {
  ComPtr<IpwHostInformation> information;
  SafeCallCheck(manager->GetInformation(information.Put()));
  if (!information) throw EOleSysError(u"The host gives no information object", E_NOINTERFACE);
  BString folder;
  SafeCallCheck(information->GetFolder(folder.Put()));
  WideString path(folder.View());
  if (!path.empty() && path.back() != u'/') path += u'/';
  path += relative;
  TypeLibraries()->Add(LoadTypeLibraryChecked(path).Get());
}

OleVariant VariantArrayOf(const std::vector<OleVariant>& items) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<std::uint32_t>(items.size()));
  if (!array) OleError(E_OUTOFMEMORY);
  OleVariant holder;
  holder.Ptr()->vt = VT_ARRAY | VT_VARIANT;
  holder.Ptr()->parray = array;
  for (std::int32_t i = 0; i < static_cast<std::int32_t>(items.size()); ++i)
    OleCheck(SafeArrayPutElement(array, &i, items[static_cast<std::size_t>(i)].Ptr()));
  return holder;
}

ComPtr<IcvPlugin> CreateDefault() { return ComPtr<IcvPlugin>(MakeObject<TpwWebTestingPlugin>().Get()); }

OleVariant ItemWait(const char16_t* name, bool noParameter) {
  auto wait = MakeObject<TpwWaitItemObject>(name, noParameter);
  return OleVariant(static_cast<IDispatch*>(wait.Get()));
}

// The name of a web object: its context's object type text, else the native object's own name.
WideString WebObjectName(IUnknown* native) {
  if (auto context = QueryAs<IpwObjectContext2>(native)) {
    BString text;
    OleVariant value;
    VARIANT_BOOL found = VARIANT_FALSE;
    SafeCallCheck(context->GetObjectType(text.Put(), value.Ptr(), &found));
    if (found) return WideString(text.View());
  }
  if (auto named = QueryAs<IpwNamedObject>(native)) {
    BString name;
    SafeCallCheck(named->GetObjectName(name.Put()));
    return WideString(name.View());
  }
  return {};
}

}  // namespace

TpwWebTestingParts DefaultWebTestingParts() {
  return {
      [](IcvBaseManager* manager) {
        return ComPtr<IUnknown>(static_cast<IpwRecordingAnalyzer*>(MakeObject<TpwWebEventAnalyzer>(manager).Get()));
      },
      [] { return ComPtr<IpwWebProjectEventProvider>(MakeObject<TpwWebProjectEventProvider>().Get()); },
      [](std::int32_t instance) { return std::make_unique<TMacromediaLCInterface>(instance); },
  };
}

ComPtr<IcvPlugin> CreateWebTestingPlugin() { return CreateDefault(); }

bool ProjectHandlesWebEvents(IcvBaseManager* manager, const GUID& projectKey) {
  auto registry = GetHostService<IpwProjectNodeRegistry>(manager, kNodeRegistryService);
  if (!registry) return false;
  ComPtr<IpwProjectNode> project;
  if (projectKey == GUID_NULL) SafeCallCheck(registry->GetDefaultProject(project.Put()));
  else SafeCallCheck(registry->GetNodeByKey(projectKey, project.Put()));
  if (!project) return false;
  auto firstChildOfType = [](IpwProjectNode* node, const GUID& type) -> ComPtr<IpwProjectNode> {
    ComPtr<IpwProjectNodeIterator> children;
    SafeCallCheck(node->GetChildren(children.Put()));
    if (!children) return nullptr;
    while (children->HasNext()) {
      ComPtr<IpwProjectNode> child;
      children->Next(child.Put());
      if (!child) continue;
      GUID t{};
      SafeCallCheck(child->GetTypeKey(&t));
      if (t == type) return child;
    }
    return nullptr;
  };
  auto events = firstChildOfType(project.Get(), kEventsItemType);
  if (!events) return false;
  ComPtr<IpwProjectNodeIterator> controls;
  SafeCallCheck(events->GetChildren(controls.Put()));
  if (!controls) return false;
  while (controls->HasNext()) {
    ComPtr<IpwProjectNode> child;
    controls->Next(child.Put());
    auto control = QueryAs<IpwEventControl>(child.Get());
    if (!control) continue;
    std::int32_t count = 0;
    SafeCallCheck(control->GetEventSetCount(&count));
    for (std::int32_t i = 0; i < count; ++i) {
      GUID set{};
      SafeCallCheck(control->GetEventSet(i, &set));
      if (set == kWebTestingEventSet) return true;
    }
  }
  return false;
}

TpwWebTestingPlugin::TpwWebTestingPlugin(TpwWebTestingParts parts) : parts_(std::move(parts)) {}

TpwWebTestingPlugin::~TpwWebTestingPlugin() {
  for (HBITMAP b : {pageIcon_, flexBitmap_, airBitmap_, flashBitmap_})
    if (b) DeleteObject(b);
}

// ---- Life -----------------------------------------------------------------------------------

void TpwWebTestingPlugin::DoInitialize(IcvBaseManager* manager) {
  TcvBasePlugin::DoInitialize(manager);
  LoadHostLibrary(manager, u"Extensions/ProbewrightInternal.tlb");
  LoadHostLibrary(manager, u"Extensions/pwOpenAppServices.tlb");
  legacyFeatures_ = false;
  treeModel_ = 3;
  settings_ = std::make_unique<TpwWebSettings>(manager, parts_.settingsObjects);
  {
    ComPtr<IpwHostInformation> information;
    SafeCallCheck(manager->GetInformation(information.Put()));
    std::int32_t major = 0, minor = 0;
    if (information) {
      SafeCallCheck(information->GetMajorVersion(&major));
      SafeCallCheck(information->GetMinorVersion(&minor));
    }
    settings_->SetHostVersion(major, minor);
  }
  if (parts_.makeAnalyzer) analyzer_ = parts_.makeAnalyzer(manager);
  if (parts_.makeEventProvider) {
    eventProvider_ = parts_.makeEventProvider();
    if (eventProvider_) SafeCallCheck(eventProvider_->Initialize(manager));
  }
  RegisterAnalyzer(true);
  StartFlashConnection();
}

void TpwWebTestingPlugin::DoPostInitialize() { RegisterAnalyzer(true); }

void TpwWebTestingPlugin::DoFinalize() {
  flashConnection_.reset();  // joins its thread, withdraws the published object
  if (eventProvider_) {
    auto provider = std::move(eventProvider_);
    SafeCallCheck(provider->Finalize());
  }
  RegisterAnalyzer(false);
  analyzer_ = nullptr;
  if (settings_ && validatorAdded_) settings_->RemoveValidator(Validator());
  validatorAdded_ = false;
  settings_.reset();
  objects_ = {};
  TcvBasePlugin::DoFinalize();
}

void TpwWebTestingPlugin::RegisterAnalyzer(bool wish) {
  if (analyzerRegistered_ == wish) return;
  auto registry = GetHostService<IpwRecordingService>(Manager(), kRecordingServiceKey);
  if (wish) {
    if (registry && analyzer_) {
      SafeCallCheck(registry->Register(analyzer_.Get()));
      analyzerRegistered_ = true;
    }
  } else {
    analyzerRegistered_ = false;
    if (registry && analyzer_) SafeCallCheck(registry->Remove(analyzer_.Get()));
  }
}

// ---- Flash local connection and actions ------------------------------------------------------

void TpwWebTestingPlugin::StartFlashConnection() {
  if (!parts_.makeFlashConnection) return;
  ComPtr<IpwHostInformation> information;
  SafeCallCheck(Manager()->GetInformation(information.Put()));
  std::int32_t major = 0;
  if (information) SafeCallCheck(information->GetMajorVersion(&major));
  flashConnection_ = parts_.makeFlashConnection(major);
}

HRESULT TpwWebTestingPlugin::RegisterActions() {
  return SafeCall([&] { RegisterDynamicIdActions(Manager(), kWebTestingPluginKey); });
}

HRESULT TpwWebTestingPlugin::GetActionCount(std::int32_t* count) {
  return SafeCall([&] {
    CheckOut(count);
    *count = GetDynamicIdActionCount();
  });
}

HRESULT TpwWebTestingPlugin::GetActionId(std::int32_t index, GUID* key) {
  return SafeCall([&] {
    CheckOut(key);
    *key = GetDynamicIdActionId(index);
  });
}

HRESULT TpwWebTestingPlugin::ExecuteAction(IpwAction* action, const VARIANT& param, GUID* result, std::int32_t* code) {
  return SafeCall([&] {
    CheckOut(code);
    if (!action) throw EOleSysError(u"No action", E_INVALIDARG);
    *code = ExecuteDynamicIdAction(Manager(), action, param, result);
  });
}

HRESULT TpwWebTestingPlugin::UpdateAction(IpwAction* action) {
  return SafeCall([&] {
    if (!action) throw EOleSysError(u"No action", E_INVALIDARG);
    UpdateDynamicIdAction(Manager(), action);
  });
}

// ---- Warning option -------------------------------------------------------------------------

HRESULT TpwWebTestingPlugin::GetWarningOptionCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue(count, 1); });
}
HRESULT TpwWebTestingPlugin::GetOptionKey(std::int32_t, GUID* key) {
  return SafeCall([&] { SetOutValue(key, kAppNotPreparedWarningKey); });
}
HRESULT TpwWebTestingPlugin::GetOptionName(std::int32_t, BSTR* name) {
  return SafeCall([&] { SetOut(name, kAppNotPreparedWarningCaption); });
}
HRESULT TpwWebTestingPlugin::GetOptionDescription(std::int32_t, BSTR* description) {
  return SafeCall([&] { SetOut(description, kAppNotPreparedWarningDescription); });
}

// ---- Builders -------------------------------------------------------------------------------

HRESULT TpwWebTestingPlugin::GetBuilder(std::int32_t index, IpwSysNodeBuilder** builder) {
  return SafeCall([&] {
    CheckOut(builder);
    IcvBaseManager* manager = Manager();
    ComPtr<IpwSysNodeBuilder> made;
    switch (index) {
      case 0: made = MakeObject<TpwWebElementExtenderBuilder>(manager).Get(); break;
      case 1: made = MakeObject<TpwWebWindow>(manager).Get(); break;
      case 2: made = MakeObject<TpwWebProcess>(manager).Get(); break;
      case 3: {
        auto sys = GetHostService<IpwSysManager>(manager, kSysManagerHostService);
        GUID key{};
        OleCheck(CreateGuid(key));
        made = MakeObject<TpwOpenAppContextTableBuilder>(sys.Get(), key, kContextTableKind).Get();
        break;
      }
      case 4: {
        auto sys = GetHostService<IpwSysManager>(manager, kSysManagerHostService);
        made = MakeObject<TpwOpenAppSysBuilder>(sys.Get(), kSysBuilderKey, kSysBuilderKind).Get();
        break;
      }
      default: return;  // the out value stays as it was
    }
    if (*builder) (*builder)->Release();
    *builder = made.Detach();
  });
}

HRESULT TpwWebTestingPlugin::BuilderProviderOperation7(IUnknown** object) {
  return SafeCall([&] {
    CheckOut(object);
    if (*object) (*object)->Release();
    *object = nullptr;
  });
}

// ---- Object type ----------------------------------------------------------------------------

HRESULT TpwWebTestingPlugin::GetTypeKey(GUID* key) {
  return SafeCall([&] { SetOutValue(key, kNativeWebObjectType); });
}
HRESULT TpwWebTestingPlugin::GetTypeName(BSTR* name) {
  return SafeCall([&] { SetOut(name, u"NativeWebObject"); });
}
HRESULT TpwWebTestingPlugin::GetOrder(std::int32_t* order) {
  return SafeCall([&] { SetOutValue(order, 1); });
}
HRESULT TpwWebTestingPlugin::GetTag(std::int32_t* tag) {
  return SafeCall([&] { SetOutValue(tag, tag_); });
}
HRESULT TpwWebTestingPlugin::SetTag(std::int32_t tag) {
  tag_ = tag;
  return S_OK;
}
HRESULT TpwWebTestingPlugin::GetBitmap(std::int32_t* bitmap) {
  return SafeCall([&] {
    CheckOut(bitmap);
    std::lock_guard guard(bitmapLock_);
    if (!pageIcon_) pageIcon_ = LoadModuleBitmap("WEB_PAGE_ICON");
    *bitmap = pageIcon_;
  });
}

VARIANT_BOOL TpwWebTestingPlugin::GetItem(std::int32_t, IUnknown** item) {
  if (!item) return VARIANT_FALSE;
  *item = static_cast<IpwObjectTypeDescriptor*>(this);
  (*item)->AddRef();
  return VARIANT_TRUE;
}

// ---- Object kinds and waits -----------------------------------------------------------------

HRESULT TpwWebTestingPlugin::GetKindBitmap(BSTR kindName, std::int32_t* bitmap) {
  return SafeCall([&] {
    CheckOut(bitmap);
    const WideStringView name = BstrView(kindName);
    std::lock_guard guard(bitmapLock_);
    HBITMAP* cache[] = {&flexBitmap_, &airBitmap_, &flashBitmap_};
    for (std::size_t i = 0; i < std::size(kKindBitmaps); ++i) {
      if (!SameTextIgnoringCase(name, kKindBitmaps[i].kind)) continue;
      if (!*cache[i]) {
        *cache[i] = LoadModuleBitmap(kKindBitmaps[i].resource);
        auto& counters = UsageCounters();
        try {
          if (counters.registerCounter) counters.registerCounter(kKindBitmaps[i].counterKey, kKindBitmaps[i].counter);
          if (counters.increment) counters.increment(kKindBitmaps[i].counterKey, 1);
        } catch (...) {  // counters failing are ignored
        }
      }
      *bitmap = *cache[i];
      return;
    }
    if (!pageIcon_) pageIcon_ = LoadModuleBitmap("WEB_PAGE_ICON");
    *bitmap = pageIcon_;
  });
}

VARIANT_BOOL TpwWebTestingPlugin::GetCallInformation(IpwObjectCallInfoRequest* info, VARIANT* result) {
  if (result) VariantClear(result);
  if (!info || !result) return VARIANT_FALSE;
  OleVariant answer;
  HRESULT hr = SafeCall([&] {
    GUID kind{};
    SafeCallCheck(info->GetTypeKey(&kind));
    if (kind == kWebProcessKind) return;
    ComPtr<IUnknown> object;
    if (kind == kWebWindowKind) {
      SafeCallCheck(info->GetObjectOfKind(kind, object.Put()));
      auto window = QueryAs<IpwWindowObjectInfo>(object.Get());
      if (!window) return;
      BString className;
      SafeCallCheck(window->GetWndClass(className.Put()));
      if (SameTextIgnoringCase(className.View(), u"Internet Explorer_Server")) {
        auto wait = MakeObject<TpwWaitPageObject>();
        answer = OleVariant(static_cast<IDispatch*>(wait.Get()));
      }
      return;
    }
    if (std::find(std::begin(kWebObjectKinds), std::end(kWebObjectKinds), kind) == std::end(kWebObjectKinds)) return;
    SafeCallCheck(info->GetObjectOfKind(kind, object.Put()));
    auto element = QueryAs<IpwTabContext>(object.Get());
    if (!element) return;
    ComPtr<IUnknown> native;
    SafeCallCheck(element->GetObjectContext(native.Put()));
    const WideString name = WebObjectName(native.Get());
    if (SameTextIgnoringCase(name, u"page")) {
      std::vector<OleVariant> waits;
      for (const char16_t* n : {u"Alert", u"Confirm", u"Prompt", u"Login"}) waits.push_back(ItemWait(n, true));
      answer = VariantArrayOf(waits);
    } else if (SameTextIgnoringCase(name, u"all")) {
      answer = ItemWait(u"Item", false);
    } else if (SameTextIgnoringCase(name, u"frames") || SameTextIgnoringCase(name, u"frame")) {
      answer = ItemWait(u"Frame", false);
    } else if (!name.empty() && (treeModel_ == 0 || treeModel_ == 2)) {
      answer = ItemWait(u"Item", false);
    }
  });
  if (Failed(hr) || answer.Ptr()->vt == VT_EMPTY) return VARIANT_FALSE;
  *result = answer.Detach();
  return VARIANT_TRUE;
}

// ---- Runtime objects ------------------------------------------------------------------------

HRESULT TpwWebTestingPlugin::GetObjectItem(std::int32_t index, BSTR* name, IUnknown** object, VARIANT_BOOL* first,
                                           VARIANT_BOOL* second) {
  return SafeCall([&] {
    if (!name || !object || !first || !second) OleError(E_POINTER);
    if (index < 0 || index > 3) {
      *second = VARIANT_TRUE;
      return;
    }
    IUnknown* objects[] = {objects_.web.Get(), objects_.ieSettings.Get(), objects_.ieZoneSettings.Get(),
                           objects_.flashSettings.Get()};
    SysFreeString(*name);
    *name = nullptr;
    SetOut(name, kSettingsObjectNames[index]);
    if (*object) (*object)->Release();
    *object = objects[index];
    if (*object) (*object)->AddRef();
    *first = VARIANT_TRUE;
    *second = VARIANT_TRUE;
  });
}

// ---- Events ---------------------------------------------------------------------------------

HRESULT TpwWebTestingPlugin::GetName(BSTR* name) {
  return SafeCall([&] { SetOut(name, u"TpwWebTestingPlugin"); });
}
HRESULT TpwWebTestingPlugin::GetSubscriptionCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue(count, 2); });
}
HRESULT TpwWebTestingPlugin::GetItem(std::int32_t index, GUID* eventIid, std::int32_t* value) {
  return SafeCall([&] {
    if (!eventIid || !value) OleError(E_POINTER);
    if (index == 0) *eventIid = kTestEngineEventsIid;
    else if (index == 1) *eventIid = kHostEventsSubscriptionItem;
    else return;  // other indexes leave the record
    *value = 0;
  });
}

HRESULT TpwWebTestingPlugin::OnEvent(std::int32_t eventId, const VARIANT& param) {
  return SafeCall([&] {
    if (eventId != kEngineTestItemStarts || !settings_) return;
    IUnknown* unknown = param.vt == VT_UNKNOWN    ? param.punkVal
                        : param.vt == VT_DISPATCH ? static_cast<IUnknown*>(param.pdispVal)
                                                  : nullptr;
    auto object = QueryAs<IpwTestEngineEventObject>(unknown);
    if (!object) return;
    GUID type{};
    SafeCallCheck(object->GetTypeKey(&type));
    if (std::find(std::begin(kCheckedTestItemTypes), std::end(kCheckedTestItemTypes), type) ==
        std::end(kCheckedTestItemTypes))
      return;
    GUID item{};
    SafeCallCheck(object->GetItemKey(&item));
    settings_->TreeModelCheck(kEngineTestItemStarts, item);
  });
}

HRESULT TpwWebTestingPlugin::OnEvent2(std::int32_t state) {
  return SafeCall([&] {
    if (state == kEngineRunStarts) {
      if (activeRuns_.load() == 0) ApplyDeliveryRule(CurrentProject());
      ++activeRuns_;
    } else if (state == kEngineRunEnds) {
      // An end without a start is ignored: the count never drops below 0.
      std::int32_t runs = activeRuns_.load();
      while (runs > 0 && !activeRuns_.compare_exchange_weak(runs, runs - 1)) {
      }
      if (runs == 1 && eventProvider_) SafeCallCheck(eventProvider_->Stop());
      if (settings_) settings_->ClearReportedItems();
    } else if (state == kEngineTreeModelCheck) {
      if (settings_) settings_->TreeModelCheck(kEngineTreeModelCheck, GUID_NULL);
    }
  });
}

HRESULT TpwWebTestingPlugin::NodeChanged(IUnknown* node) {
  return SafeCall([&] {
    GUID project{};
    if (auto source = QueryAs<IpwNodeSettingsSource>(node)) SafeCallCheck(source->GetProjectKey(&project));
    {
      std::lock_guard guard(projectLock_);
      currentProject_ = project;
    }
    if (activeRuns_.load() >= 1) ApplyDeliveryRule(project);
  });
}

// ---- Settings -------------------------------------------------------------------------------

HRESULT TpwWebTestingPlugin::RegisterPage(IpwSettingsGroup* group) {
  return SafeCall([&] {
    if (!settings_) OleError(E_UNEXPECTED);
    // A second build adds the validator once more: the first is withdrawn, so one withdrawal
    // always leaves none behind (the host's list holds a reference to the plug-in).
    if (validatorAdded_) settings_->RemoveValidator(Validator());
    validatorAdded_ = false;
    settings_->BuildSettings(group, Validator());
    validatorAdded_ = true;
    objects_ = settings_->Objects();
  });
}

void TpwWebTestingPlugin::Unused5() {
  (void)SafeCall([&] {
    if (settings_ && validatorAdded_) settings_->RemoveValidator(Validator());
    validatorAdded_ = false;
  });
}

HRESULT TpwWebTestingPlugin::ValidateSetting(IpwSetting* setting, const VARIANT&) {
  return SafeCall([&] {
    if (IcvBaseManager* manager = Manager()) DynamicIdSettingChanged(manager, setting);
  });
}

void TpwWebTestingPlugin::SetSettingsGroup(IpwSetting* setting, const GUID& ownerKey) {
  (void)SafeCall([&] {
    if (settings_) settings_->SettingLoaded(setting, ownerKey);
    SyncFromSettings();
  });
}

void TpwWebTestingPlugin::SettingChanged(IpwSetting* setting, const GUID& ownerKey) {
  (void)SafeCall([&] {
    if (settings_) settings_->SettingChanged(setting, ownerKey);
    SyncFromSettings();
  });
}

void TpwWebTestingPlugin::SyncFromSettings() {
  if (!settings_) return;
  treeModel_ = static_cast<std::uint8_t>(settings_->TreeModel());
  legacyFeatures_ = settings_->Legacy();
}

// ---- Browser hook ---------------------------------------------------------------------------

HRESULT TpwWebTestingPlugin::IsProcessSupported(IpwProcess* process, VARIANT_BOOL* supported) {
  if (!supported) return E_POINTER;
  *supported = VARIANT_FALSE;
  return SafeCall([&] { *supported = ToWordBool(IsBrowserHookProcessOf(Manager(), process)); });
}

HRESULT TpwWebTestingPlugin::IsTargetProcess(IpwProcess* process, IpwModuleList* modules, VARIANT_BOOL* supported) {
  if (!supported) return E_POINTER;
  *supported = VARIANT_FALSE;
  return SafeCall([&] { *supported = ToWordBool(IsBrowserHookProcessOf(Manager(), process, modules)); });
}

HRESULT TpwWebTestingPlugin::InstallHook(IpwProcess* process) {
  return SafeCall([&] {
    if (!settings_) OleError(E_UNEXPECTED);
    InstallBrowserHook(process, Manager(), *settings_);
  });
}

HRESULT TpwWebTestingPlugin::RemoveHook(IpwProcess* process) {
  return SafeCall([&] { RemoveBrowserHook(process); });
}

GUID TpwWebTestingPlugin::CurrentProject() const {
  std::lock_guard guard(projectLock_);
  return currentProject_;
}

void TpwWebTestingPlugin::ApplyDeliveryRule(const GUID& projectKey) {
  if (!eventProvider_) return;
  if (ProjectHandlesWebEvents(Manager(), projectKey)) SafeCallCheck(eventProvider_->Start());
  else SafeCallCheck(eventProvider_->Stop());
}

}  // namespace pw::web
