#include "web/firefox/firefox_support_plugin.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/host/host_services.h"
#include "core/host/host_settings.h"
#include "platform/automation/bstr.h"
#include "platform/automation/out_params.h"
#include "platform/com/guid.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "platform/ui/resources.h"
#include "web/controls/wait_objects.h"
#include "web/firefox/firefox_object_builder.h"
#include "web/hooks/hook_settings.h"
#include "web/settings/web_settings.h"

namespace pw::web {

namespace {

constexpr GUID kProcessService = MakeGuid("{06B8A42E-4755-44EE-95B1-D775606ECB17}");

constexpr char16_t kWarningName[] =
    u"Show the 'Firefox Is Running the Flash Player Plug-In in Out-Of-Process Mode' message";
constexpr char16_t kWarningDescription[] =
    u"Specifies whether the test engine will display a special message when it detects that you are using the "
    u"out-of-process Firefox Flash Player plug-in.";

WideStringView FileNamePart(WideStringView path) {
  const auto slash = path.find_last_of(u"/\\");
  return slash == WideStringView::npos ? path : path.substr(slash + 1);
}

std::int32_t ProcessIdOf(IpwProcess* process) {
  std::int32_t id = 0;
  if (process) SafeCallCheck(process->GetProcessId(&id));
  return id;
}

// A late-bound method call with the arguments in declared order; its result is not read.
void CallMethod(IDispatch* target, DISPID id, std::vector<VARIANT> args) {
  std::reverse(args.begin(), args.end());  // DISPPARAMS holds them last first
  DISPPARAMS params{args.data(), nullptr, static_cast<std::uint32_t>(args.size()), 0};
  OleVariant result;
  target->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &params, result.Put(), nullptr, nullptr);
}

void SendSetting(IDispatch* target, const GUID& key, const OleVariant& value) {
  OleVariant keyText{WideStringView(Utf8ToWide(GuidToString(key)))};
  CallMethod(target, 0x09000002, {*keyText.Ptr(), *value.Ptr()});
}

void SendCommand(IDispatch* target, WideStringView command, WideStringView library) {
  OleVariant commandText(command), libraryText(library), reply;
  VARIANT byRef;
  byRef.vt = VT_BYREF | VT_VARIANT;
  byRef.pvarVal = reply.Ptr();
  CallMethod(target, kDispIdExecuteCommand, {*commandText.Ptr(), *libraryText.Ptr(), byRef});
}

bool IsTrue(const OleVariant& v) { return v.Get().vt == VT_BOOL && v.Get().boolVal != VARIANT_FALSE; }

}  // namespace

// ---- Versions, tree model, statistics -------------------------------------------------------

std::optional<TpwFirefoxHook> FirefoxHookForVersion(const std::optional<FileVersion>& version) {
  if (!version) return TpwFirefoxHook{u"pwFF3Hook.dll", 0};
  if (version->major == 1 && version->minor == 9) return TpwFirefoxHook{u"pwFF3Hook.dll", 3};
  if (version->major == 2 && version->minor == 0) return TpwFirefoxHook{u"pwFF4Hook.dll", 4};
  if (version->major >= 5 && version->major <= 0x7FFFFFFF) {
    char name[32];
    std::snprintf(name, sizeof name, "pwFF%uHook.dll", static_cast<unsigned>(version->major));
    return TpwFirefoxHook{Utf8ToWide(name), static_cast<std::int32_t>(version->major)};
  }
  return std::nullopt;
}

std::optional<TpwFirefoxHook> ChooseFirefoxHook(IpwModuleList* modules) {
  if (!modules) return std::nullopt;
  std::int32_t count = 0;
  SafeCallCheck(modules->GetCount(&count));
  for (std::int32_t i = 0; i < count; ++i) {
    BString name;
    SafeCallCheck(modules->GetName(i, name.Put()));
    const WideStringView file = FileNamePart(name.View());
    if (!SameTextIgnoringCase(file, u"xpcom_core.dll") && !SameTextIgnoringCase(file, u"xul.dll")) continue;
    BString folder;
    WideString path;
    if (Succeeded(modules->GetFolder(i, folder.Put()))) path = WideString(folder.View());
    if (!path.empty() && path.back() != u'/' && path.back() != u'\\') path += u'/';
    path += file;
    FileVersion v;
    std::optional<FileVersion> version;
    if (GetFileVersion(WideToUtf8(path), v)) version = v;
    if (auto hook = FirefoxHookForVersion(version)) return hook;
  }
  return std::nullopt;
}

std::int32_t SettingToTreeModel(const VARIANT& value) {
  switch (value.vt) {
    case VT_I2: return value.iVal;
    case VT_I4: return value.lVal;
    case VT_BSTR: {
      const WideStringView text = BstrView(value.bstrVal);
      if (SameTextIgnoringCase(text, u"DOM")) return 0;
      if (SameTextIgnoringCase(text, u"Tag")) return 1;
      if (SameTextIgnoringCase(text, u"Hybrid")) return 2;
      return 3;
    }
    default: return 2;
  }
}

GUID TpwFirefoxStatistics::CounterKey(std::int32_t version) {
  GUID key = kFirefoxVersionCounterBase;
  key.Data1 = static_cast<std::uint32_t>(version);
  return key;
}

bool TpwFirefoxStatistics::CountFirefoxVersion(std::int32_t version) {
  const GUID key = CounterKey(version);
  {
    std::lock_guard guard(lock_);
    if (!met_.insert(key).second) return false;
  }
  try {
    if (counters_.registerCounter) counters_.registerCounter(key, u"Firefox version");
    if (counters_.increment) counters_.increment(key, 1);
  } catch (...) {  // the statistics library failing is ignored
  }
  return true;
}

TpwFirefoxStatistics& FirefoxStatistics() {
  static TpwFirefoxStatistics statistics(UsageCounters());
  return statistics;
}

// ---- The plug-in ----------------------------------------------------------------------------

TpwFFSupportPlugin::~TpwFFSupportPlugin() {
  for (HBITMAP b : {typeBitmap_, flexBitmap_, airBitmap_, flashBitmap_, xulBitmap_})
    if (b) DeleteObject(b);
}

HBITMAP TpwFFSupportPlugin::Bitmap(HBITMAP& slot, const char* resource) {
  std::lock_guard guard(bitmapLock_);
  if (!slot) slot = LoadModuleBitmap(resource);
  return slot;
}

HRESULT TpwFFSupportPlugin::GetBuilder(std::int32_t, IpwSysNodeBuilder** builder) {
  return SafeCall([&] {
    CheckOut(builder);
    ComPtr<IpwSysNodeBuilder> made(MakeObject<TpwFFObjectBuilder>(Manager()).Get());
    if (*builder) (*builder)->Release();
    *builder = made.Detach();
  });
}

HRESULT TpwFFSupportPlugin::BuilderProviderOperation7(IUnknown** object) {
  return SafeCall([&] {
    CheckOut(object);
    if (*object) (*object)->Release();
    *object = nullptr;
  });
}

HRESULT TpwFFSupportPlugin::GetCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue(count, 1); });
}
HRESULT TpwFFSupportPlugin::GetOptionKey(std::int32_t index, GUID* key) {
  return SafeCall([&] {
    CheckOut(key);
    if (index == 0) *key = kFirefoxWarningOptionKey;
  });
}
HRESULT TpwFFSupportPlugin::GetOptionName(std::int32_t index, BSTR* name) {
  return SafeCall([&] { SetOut(name, index == 0 ? WideStringView(kWarningName) : WideStringView()); });
}
HRESULT TpwFFSupportPlugin::GetOptionDescription(std::int32_t index, BSTR* description) {
  return SafeCall([&] { SetOut(description, index == 0 ? WideStringView(kWarningDescription) : WideStringView()); });
}

HRESULT TpwFFSupportPlugin::GetKindBitmap(BSTR kindName, std::int32_t* bitmap) {
  return SafeCall([&] {
    CheckOut(bitmap);
    const WideStringView name = BstrView(kindName);
    if (SameTextIgnoringCase(name, u"flexobject")) *bitmap = Bitmap(flexBitmap_, "FLEXOBJECT");
    else if (SameTextIgnoringCase(name, u"airobject")) *bitmap = Bitmap(airBitmap_, "AIROBJECT");
    else if (SameTextIgnoringCase(name, u"flashobject")) *bitmap = Bitmap(flashBitmap_, "FLASHOBJECT");
    else if (SameTextIgnoringCase(name, u"xulobject")) *bitmap = Bitmap(xulBitmap_, "XULOBJECT");
    else *bitmap = Bitmap(typeBitmap_, "FFOBJECT");
  });
}

HRESULT TpwFFSupportPlugin::GetTypeKey(GUID* key) {
  return SafeCall([&] { SetOutValue(key, kFirefoxObjectType); });
}
HRESULT TpwFFSupportPlugin::GetTypeName(BSTR* name) {
  return SafeCall([&] { SetOut(name, u"NativeFirefoxObject"); });
}
HRESULT TpwFFSupportPlugin::GetOrder(std::int32_t* order) {
  return SafeCall([&] { SetOutValue(order, 0); });
}
HRESULT TpwFFSupportPlugin::GetTag(std::int32_t* tag) {
  return SafeCall([&] { SetOutValue(tag, tag_); });
}
HRESULT TpwFFSupportPlugin::SetTag(std::int32_t tag) {
  tag_ = tag;
  return S_OK;
}
HRESULT TpwFFSupportPlugin::GetBitmap(std::int32_t* bitmap) {
  return SafeCall([&] {
    CheckOut(bitmap);
    *bitmap = Bitmap(typeBitmap_, "FFOBJECT");
  });
}

VARIANT_BOOL TpwFFSupportPlugin::GetItem(std::int32_t index, IUnknown** item) {
  if (!item) return VARIANT_FALSE;
  if (index != 0) {
    *item = nullptr;
    return VARIANT_FALSE;
  }
  *item = static_cast<IpwObjectTypeDescriptor*>(this);
  (*item)->AddRef();
  return VARIANT_TRUE;
}

VARIANT_BOOL TpwFFSupportPlugin::GetCallInformation(IpwObjectCallInfoRequest* info, VARIANT* result) {
  if (result) VariantClear(result);
  if (!info || !result) return VARIANT_FALSE;
  OleVariant answer;
  const HRESULT hr = SafeCall([&] {
    GUID member{};
    SafeCallCheck(info->GetTypeKey(&member));
    if (member != kPageWaitMember) return;
    ComPtr<IUnknown> object;
    SafeCallCheck(info->GetObjectOfKind(member, object.Put()));
    auto window = QueryAs<IpwWindowObjectInfo>(object.Get());
    if (!window) return;
    BString className;
    SafeCallCheck(window->GetWndClass(className.Put()));
    if (!SameTextIgnoringCase(className.View(), u"MozillaWindowClass")) return;
    auto wait = MakeObject<TpwWaitPageObject>();
    answer = OleVariant(static_cast<IDispatch*>(wait.Get()));
  });
  if (Failed(hr) || answer.Get().vt == VT_EMPTY) return VARIANT_FALSE;
  *result = answer.Detach();
  return VARIANT_TRUE;
}

// ---- Hooks ----------------------------------------------------------------------------------

bool TpwFFSupportPlugin::CheckProcessModules(IpwProcess* process, IpwModuleList* modules) {
  auto hook = ChooseFirefoxHook(modules);
  if (!hook) return false;
  const std::int32_t id = ProcessIdOf(process);
  {
    std::lock_guard guard(librariesLock_);
    libraries_[id] = hook->library;
  }
  statistics_.CountFirefoxVersion(hook->version);
  return true;
}

WideString TpwFFSupportPlugin::HookLibraryOf(std::int32_t processId) const {
  std::lock_guard guard(librariesLock_);
  auto at = libraries_.find(processId);
  return at == libraries_.end() ? WideString() : at->second;
}

HRESULT TpwFFSupportPlugin::IsTargetProcess(IpwProcess* process, IpwModuleList* modules, VARIANT_BOOL* result) {
  return SafeCall([&] { SetOutBool(result, CheckProcessModules(process, modules)); });
}

HRESULT TpwFFSupportPlugin::IsProcessSupported(IpwProcess* process, VARIANT_BOOL* supported) {
  return SafeCall([&] {
    CheckOut(supported);
    *supported = VARIANT_FALSE;
    auto service = GetHostService<IpwProcessInfoService>(Manager(), kProcessService);
    if (!service) return;
    ComPtr<IpwModuleList> modules;
    SafeCallCheck(service->GetProcessModules(process, modules.Put()));
    SetOutBool(supported, CheckProcessModules(process, modules.Get()));
  });
}

HRESULT TpwFFSupportPlugin::InstallHook(IpwProcess* process) {
  return SafeCall([&] {
    auto target = HookAgent(process);
    if (!target) return;
    const WideString library = HookLibraryOf(ProcessIdOf(process));
    if (library.empty()) return;  // never accepted: nothing to load
    IcvBaseManager* host = Manager();
    const OleVariant identification = GetSettingValue(host, kIdentificationAttributeKey);
    const bool byName =
        identification.Get().vt == VT_BSTR && SameTextIgnoringCase(BstrView(identification.Get().bstrVal), u"Name");
    SendSetting(target.Get(), kPublishedTreeModelKey,
                OleVariant(SettingToTreeModel(GetSettingValue(host, kTreeModelKey).Get())));
    SendSetting(target.Get(), kPublishedIdentifyByNameKey, OleVariant(byName));
    SendSetting(target.Get(), kLegacyFeaturesKey, GetSettingValue(host, kLegacyFeaturesKey));
    SendSetting(target.Get(), kIgnoreDynamicUrlParamsKey,
                OleVariant(IsTrue(GetSettingValue(host, kIgnoreDynamicUrlParamsKey))));
    SendCommand(target.Get(), kLoadHookCommand, library);
  });
}

HRESULT TpwFFSupportPlugin::RemoveHook(IpwProcess* process) {
  return SafeCall([&] {
    auto target = HookAgent(process);
    if (!target) return;
    const WideString library = HookLibraryOf(ProcessIdOf(process));
    if (library.empty()) return;
    SendCommand(target.Get(), kUnloadHookCommand, library);
  });
}

ComPtr<IcvPlugin> CreateFirefoxSupportPlugin() { return ComPtr<IcvPlugin>(MakeObject<TpwFFSupportPlugin>().Get()); }

}  // namespace pw::web
