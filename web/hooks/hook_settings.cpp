#include "web/hooks/hook_settings.h"

#include <algorithm>
#include <vector>

#include "core/host/host_services.h"
#include "core/host/host_settings.h"
#include "platform/automation/safearray.h"
#include "platform/com/guid.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/kernel/processes.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "web/settings/dynamic_ids.h"
#include "web/settings/web_settings.h"

namespace pw::web {

namespace {

constexpr GUID kProcessService = MakeGuid("{06B8A42E-4755-44EE-95B1-D775606ECB17}");
constexpr GUID kWindowsService = MakeGuid("{463D5E7A-02B6-4BE5-A74C-2D885DC8D6BB}");
// The class-name buffer of the window test holds 260 characters with its terminator.
constexpr std::size_t kClassNameLimit = 259;

constexpr const GUID* kHookKeys[] = {&kPublishedTreeModelKey,     &kPublishedIdentifyByNameKey, &kLegacyFeaturesKey,
                                     &kIgnoreDynamicUrlParamsKey, &kDynamicParametersKey,       &kHookTableFlagKey,
                                     &kDynamicIdSettingKey};

OleVariant MakeArray(std::span<const OleVariant> items) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<std::uint32_t>(items.size()));
  if (!array) throw EOutOfMemory();
  OleVariant holder;
  holder.Ptr()->vt = VT_ARRAY | VT_VARIANT;
  holder.Ptr()->parray = array;
  for (std::int32_t i = 0; i < static_cast<std::int32_t>(items.size()); ++i)
    SafeCallCheck(SafeArrayPutElement(array, &i, items[static_cast<std::size_t>(i)].Ptr()));
  return holder;
}

bool TableHasFirstRowCurrent(IcvBaseManager* root) {
  auto setting = GetSettingIntf(root, kHookTableFlagKey);
  if (!setting) return false;
  ComPtr<IcvTableSetting_DVS> table;
  if (Failed(setting->QueryInterface(IcvTableSetting_DVS::iid, table.PutVoid())) || !table) return false;
  std::int32_t row = -1;
  SafeCallCheck(table->GetCurrentRow(&row));
  return row == 0;
}


// A late-bound method call; the arguments in declared order (DISPPARAMS takes them reversed).
void CallAgent(IDispatch* agent, std::int32_t dispId, std::initializer_list<VARIANT*> args) {
  // Shallow copies: the caller keeps owning the values.
  std::vector<VARIANT> reversed;
  for (VARIANT* a : args) reversed.push_back(*a);
  std::reverse(reversed.begin(), reversed.end());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<std::uint32_t>(reversed.size()), 0};
  OleVariant result;
  // What the agent answers is not read; an agent that lacks the member answers nothing here.
  agent->Invoke(dispId, GUID_NULL, 0, DISPATCH_METHOD, &params, result.Put(), nullptr, nullptr);
}

void ExecuteCommand(IDispatch* agent, WideStringView command) {
  OleVariant text(command);
  OleVariant library{WideStringView(kIEHookLibrary)};
  OleVariant reply;
  VARIANT out;
  out.vt = VT_BYREF | VT_VARIANT;
  out.pvarVal = reply.Ptr();
  CallAgent(agent, kDispIdExecuteCommand, {text.Ptr(), library.Ptr(), &out});
}

}  // namespace

ComPtr<IDispatch> HookAgent(IpwProcess* process) {
  if (!process) return nullptr;
  ComPtr<IpwHookChannel> channel;
  VARIANT_BOOL available = VARIANT_FALSE;
  SafeCallCheck(process->GetHookChannel(channel.Put(), &available));
  if (!available || !channel) return nullptr;
  ComPtr<IUnknown> object;
  VARIANT_BOOL found = VARIANT_FALSE;
  SafeCallCheck(channel->QueryObject(kHookAgentIid, object.Put(), &found));
  if (!found || !object) return nullptr;
  ComPtr<IDispatch> agent;
  if (Failed(object->QueryInterface(IDispatch::iid, agent.PutVoid()))) return nullptr;
  return agent;
}

OleVariant HookSettingKeys() {
  // Made once (thread-safe) and let go with the library that holds it, so a module unloaded
  // before the process ends leaves nothing behind.
  static const OleVariant keys = [] {
    std::vector<OleVariant> items;
    for (const GUID* k : kHookKeys) items.emplace_back(WideStringView(Utf8ToWide(GuidToString(*k))));
    return OleVariant(MakeArray(items));
  }();
  return keys;
}

OleVariant HookSettingValues(IcvBaseManager* root, const TpwWebSettings& settings) {
  const OleVariant ignore = GetSettingValue(root, kIgnoreDynamicUrlParamsKey);
  const std::vector<OleVariant> items = {
      OleVariant(settings.TreeModel()),
      OleVariant(std::int32_t{settings.IdentifyByName() ? -1 : 0}),
      OleVariant(settings.Legacy()),
      OleVariant(ignore.Get().vt == VT_BOOL && ignore.Get().boolVal != 0),
      OleVariant(WideStringView(DynamicParametersText(root))),
      OleVariant(TableHasFirstRowCurrent(root)),
      OleVariant(WideStringView(GetDynamicIdPatterns(root, false))),
  };
  return MakeArray(items);
}

bool IsBrowserHookProcess(WideStringView processName, std::span<const WideString> modules) {
  WideString lower(processName);
  for (auto& c : lower)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  for (const char16_t* browser : {u"iexplore.exe", u"presentationhost.exe", u"flashplayer"})
    if (lower.find(browser) != WideString::npos) return true;
  for (const auto& m : modules)
    if (SameTextIgnoringCase(m, u"mshtml.dll") || SameTextIgnoringCase(m, u"Adobe AIR.dll")) return true;
  return false;
}

bool IsBrowserHookProcessOf(IcvBaseManager* root, IpwProcess* process, IpwModuleList* modules) {
  if (!root) return false;
  auto info = GetHostService<IpwProcessInfoService>(root, kProcessService);
  if (!info) return false;
  BString name;
  SafeCallCheck(info->GetProcessName(process, name.Put()));
  std::vector<WideString> names;
  if (modules) {
    std::int32_t count = 0;
    SafeCallCheck(modules->GetCount(&count));
    for (std::int32_t i = 0; i < count; ++i) {
      BString module;
      SafeCallCheck(modules->GetName(i, module.Put()));
      names.emplace_back(module.View());
    }
  }
  if (IsBrowserHookProcess(name.View(), names)) return true;
  auto windows = QueryAs<IcvWindowsManagerEx>(GetHostService<IUnknown>(root, kWindowsService).Get());
  if (!windows) return false;
  ComPtr<IpwWindowList> list;
  SafeCallCheck(windows->GetProcessWindows(process, list.Put()));
  if (!list) return false;
  std::int32_t count = 0;
  SafeCallCheck(list->GetCount(&count));
  for (std::int32_t i = 0; i < count; ++i) {
    std::int32_t window = 0;
    SafeCallCheck(list->GetWindow(i, &window));
    WideString className = GetWindowClassName(static_cast<HWND>(window));
    if (className.size() > kClassNameLimit) className.resize(kClassNameLimit);
    if (SameTextIgnoringCase(className, u"ShockwaveFlash")) return true;
  }
  return false;
}

bool IsBrowserHookProcessOf(IcvBaseManager* root, IpwProcess* process) {
  if (!root) return false;
  auto info = GetHostService<IpwProcessInfoService>(root, kProcessService);
  if (!info) return false;
  ComPtr<IpwModuleList> modules;
  SafeCallCheck(info->GetProcessModules(process, modules.Put()));
  return IsBrowserHookProcessOf(root, process, modules.Get());
}

void InstallBrowserHook(IpwProcess* process, IcvBaseManager* root, const TpwWebSettings& settings) {
  auto agent = HookAgent(process);
  if (!agent) return;
  OleVariant keys = HookSettingKeys();
  OleVariant values = HookSettingValues(root, settings);
  CallAgent(agent.Get(), kDispIdSetParameters, {keys.Ptr(), values.Ptr()});
  ExecuteCommand(agent.Get(), kLoadHookCommand);
}

void RemoveBrowserHook(IpwProcess* process) {
  auto agent = HookAgent(process);
  if (!agent) return;
  ExecuteCommand(agent.Get(), kUnloadHookCommand);
}

}  // namespace pw::web
