// pwhost plugins: the module's main road. Loads the module, asks GetPluginRegistrator for the
// registrator and prints its table; creates each plug-in that the module builds and drives its
// life against the test host: Initialize and PostInitialize, the options pages, the hooks of the
// host's sample processes (described in the platform's process model), a change of the MSAA
// settings on its way to the running hooks, a notification, the removal of the hooks and
// Finalize; then unloads the module. The Web Testing plug-in's row also names the mapping its
// Flash local connection published.
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "core/com/exposed_objects.h"
#include "tools/pwhost/array_text.h"
#include "tools/pwhost/commands.h"
#include "host/module_loader.h"
#include "host/plugin_host.h"
#include "host/sample_firefox.h"
#include "host/test_host.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/shared_memory.h"
#include "platform/rtl/strings.h"
#include "web/flash/flash_local_connection.h"
#include "web/plugin/web_testing_plugin.h"

namespace pw::host {

namespace {

std::string Hex(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

// A value as the listing shows it: texts quoted (CR, LF, TAB as \r, \n, \t), Booleans
// True/False.
std::string ValueText(const OleVariant& v) {
  const VARIANT& x = *v.Ptr();
  if (x.vt == VT_EMPTY) return "Empty";
  if (x.vt == VT_NULL) return "Null";
  if (x.vt == VT_BOOL) return x.boolVal ? "True" : "False";
  OleVariant s;
  if (Failed(VariantChangeType(s.Ptr(), v.Ptr(), 0, VT_BSTR))) return "(value)";
  std::string text = WideToUtf8(BstrView(s.Ptr()->bstrVal)), out;
  if (x.vt != VT_BSTR) return text;
  for (char c : text) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c == '"') out += "\\\"";
    else out += c;
  }
  return "\"" + out + "\"";
}

std::string GuidList(const std::vector<GUID>& list) {
  if (list.empty()) return "none";
  std::string s;
  for (const auto& g : list) s += (s.empty() ? "" : ", ") + GuidToString(g);
  return s;
}

void PrintHookCalls(TProcess& process, std::size_t from) {
  auto calls = process.Hooks().Calls();
  for (std::size_t i = from; i < calls.size(); ++i) {
    const auto& c = calls[i];
    if (c.kind == HookCall::Parameters) {
      std::printf("      keys      %s\n", ArrayText(c.value, ValueText).c_str());
      std::printf("      values    %s\n", ArrayText(c.values, ValueText).c_str());
      continue;
    }
    std::printf("      %s %s %s\n", c.kind == HookCall::Command ? "command  " : "parameter", WideToUtf8(c.name).c_str(),
                ValueText(c.value).c_str());
  }
}

// The sample processes of the test host: one of each kind the technology tests tell apart.
std::vector<ProcessDescription> SampleProcesses() {
  return {
      {4101, u"vcapp.exe", {u"vcapp.exe", u"MFC140U.DLL", u"KERNEL32.DLL"}, {{0x10010, u"Afx:00400000:8"}}},
      {4102, u"vbapp.exe", {u"vbapp.exe", u"MSVBVM60.DLL", u"KERNEL32.DLL"}, {{0x10020, u"ThunderRT6Main"}}},
      {4103, u"iexplore.exe", {u"iexplore.exe", u"MSHTML.DLL", u"KERNEL32.DLL"}, {{0x10030, u"IEFrame"}}},
      SampleFirefoxProcess(),
  };
}

void PrintTable(const RegistratorTable& table) {
  std::printf("Registrator %s \"%s\"\n", GuidToString(table.key).c_str(), WideToUtf8(table.name).c_str());
  std::printf("  description: %s\n", WideToUtf8(table.description).c_str());
  std::printf("  list A (%zu): %s\n", table.listA.size(), GuidList(table.listA).c_str());
  std::printf("  list B (%zu): %s\n", table.listB.size(), GuidList(table.listB).c_str());
  std::printf("Plug-ins: %zu\n", table.plugins.size());
  for (std::size_t i = 0; i < table.plugins.size(); ++i) {
    const auto& p = table.plugins[i];
    std::printf("  %zu %s \"%s\"\n", i, GuidToString(p.key).c_str(), WideToUtf8(p.name).c_str());
    std::printf("      %s\n", WideToUtf8(p.description).c_str());
    std::printf("      version %d.%d, flag %s, requires %s, list A %s\n", p.version, p.version2,
                p.flag ? "True" : "False", GuidList(p.required).c_str(), GuidList(p.listA).c_str());
  }
}

// The extension points the host asks plug-ins for, by name; a point a plug-in does not answer
// (E_NOINTERFACE) is a step the host skips for it.
struct PointName {
  GUID iid;
  const char* name;
};
const PointName kPoints[] = {
    {IpwSysNodeBuilderProvider::iid, "builders"},         {IpwObjectTypeDescriptor::iid, "object type"},
    {IpwSubProviderList::iid, "sub-providers"},           {IpwOpenAppHookProvider::iid, "hooks"},
    {IpwSettingsPageProvider::iid, "settings pages"},     {IpwSettingsChangeListener::iid, "setting changes"},
    {IpwObjectKindProvider::iid, "object kinds"},         {IpwObjectCallProvider::iid, "call information"},
    {IpwRuntimeObjectProvider::iid, "runtime objects"},   {IpwEventSubscription::iid, "event subscription"},
    {IpwTestEngineEvents::iid, "engine events"},          {IpwHostEventListener::iid, "node events"},
    {IpwProjectItemTypeProvider::iid, "item types"},      {IpwActionProvider::iid, "actions"},
    {IpwWarningOptionProvider::iid, "warning options"},   {IpwMSAAExtensionB::iid, "settings groups"},
    {IpwSettingValueValidator::iid, "setting validator"},
};

std::string PointsOf(IUnknown* object) {
  std::string list;
  for (const auto& point : kPoints) {
    ComPtr<IUnknown> answer;
    if (Failed(object->QueryInterface(point.iid, answer.PutVoid())) || !answer) continue;
    list += (list.empty() ? "" : ", ") + std::string(point.name);
  }
  return list.empty() ? "none" : list;
}

// The actions a plug-in provides, each updated by the plug-in as a menu would be: key, caption
// and whether it is enabled now.
void PrintActions(TestHost& host, const TPluginHost::Plugin& p) {
  auto provider = QueryAs<IpwActionProvider>(p.object.Get());
  for (const auto& key : p.actions) {
    auto action = host.Actions().Find(key);
    if (!provider || !action) continue;
    const bool updated = Succeeded(provider->UpdateAction(action.Get()));
    const OleVariant enabled = action->Property(0);
    std::printf(
        "      action %s \"%s\": %s\n", GuidToString(key).c_str(), WideToUtf8(action->Property(1).AsString()).c_str(),
        !updated ? "update failed" : (enabled.Get().vt == VT_BOOL && !enabled.Get().boolVal ? "disabled" : "enabled"));
  }
}

// The warning options a plug-in contributes: key and caption of each.
void PrintWarningOptions(IUnknown* object) {
  auto provider = QueryAs<IpwWarningOptionProvider>(object);
  std::int32_t count = 0;
  if (!provider || Failed(provider->GetCount(&count))) return;
  for (std::int32_t i = 0; i < count; ++i) {
    GUID key{};
    BString caption;
    if (Failed(provider->GetOptionKey(i, &key)) || Failed(provider->GetOptionName(i, caption.Put()))) {
      std::printf("      warning option %d: failed\n", i);
      continue;
    }
    std::printf("      warning option %s \"%s\"\n", GuidToString(key).c_str(), WideToUtf8(caption.View()).c_str());
  }
}

// The mapping the Web Testing plug-in's Flash local connection publishes (its instance is the
// host's major version). The connection's thread publishes on its own after Initialize, so the
// names are read again at each change of shared memory until this process's token is under one
// of them (at most 5 s); a name held by another host of the same version is reported as such.
void PrintFlashMapping(TestHost& host) {
  std::int32_t major = 0;
  ComPtr<IpwHostInformation> information;
  if (Succeeded(host.Manager()->GetInformation(information.Put())) && information) information->GetMajorVersion(&major);
  const auto self = static_cast<std::uint32_t>(GetCurrentProcessId());
  TSharedMemoryWatch watch;  // before the first look: no publication after it is missed
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::optional<web::TLCInterfaceMapping> found;
  for (;;) {
    found = web::FindLCInterfaceMapping(major);
    if (found && found->processId == self) break;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !watch.Wait(left)) {
      found = web::FindLCInterfaceMapping(major);
      break;
    }
  }
  if (!found) std::printf("      Flash mapping: none published for version %d\n", major);
  else if (found->processId == self)
    std::printf("      Flash mapping \"%s\" (%u bytes)\n", WideToUtf8(found->name).c_str(), found->length);
  else
    std::printf("      Flash mapping \"%s\": held by another host (process %u)\n", WideToUtf8(found->name).c_str(),
                found->processId);
}

// A running plug-in: its points, its actions, its warning options, its object type and the
// settings its options page made.
void PrintRunningPlugin(TestHost& host, const TPluginHost::Plugin& p) {
  std::printf("  \"%s\": running\n", WideToUtf8(p.name).c_str());
  std::printf("      points: %s\n", PointsOf(p.object.Get()).c_str());
  PrintActions(host, p);
  PrintWarningOptions(p.object.Get());
  if (p.key == web::kWebTestingPluginKey) PrintFlashMapping(host);
  if (auto d = QueryAs<IpwObjectTypeDescriptor>(p.object.Get())) {
    BString name;
    GUID type{};
    std::int32_t order = 0, bitmap = 0;
    d->GetTypeName(name.Put());
    d->GetTypeKey(&type);
    d->GetOrder(&order);
    HRESULT hr = d->GetBitmap(&bitmap);
    BitmapData data;
    GetBitmapData(bitmap, data);
    std::printf("      object type %s \"%s\", order %d, bitmap %s\n", GuidToString(type).c_str(),
                WideToUtf8(name.View()).c_str(), order,
                Succeeded(hr) ? (std::to_string(data.width) + " x " + std::to_string(data.height)).c_str() : "missing");
  }
  if (!p.settingsGroup) return;
  for (const auto& s : p.settingsGroup->Children()) {
    std::printf("      setting %s \"%s\"", GuidToString(s->Key()).c_str(), WideToUtf8(s->Caption()).c_str());
    if (s->Kind() == kSettingTable) std::printf(": table of %zu rows\n", s->Rows().size());
    else std::printf(" = %s\n", ValueText(s->CurrentValue()).c_str());
  }
}

// One run of the plug-ins' life against a test host, stage by stage; any failure makes the
// status 1 and the run goes on.
class PluginsRun {
 public:
  PluginsRun(TestHost& host, IcvPluginRegistrator* registrator, const RegistratorTable& table)
      : host_(host), registrator_(registrator), table_(table), plugins_(host) {}

  int Run() {
    Create();
    Start();
    AttachProcesses();
    ChangeMsaaSettings();
    Notify();
    DetachProcesses();
    Finalize();
    host_.Processes().Clear();
    return status_;
  }

 private:
  void Create() {
    std::printf("Creating the plug-ins\n");
    for (std::size_t i = 0; i < table_.plugins.size(); ++i) {
      auto& p = plugins_.Create(registrator_, static_cast<std::int32_t>(i), table_.plugins[i].name);
      if (Failed(p.created))
        std::printf("  %zu \"%s\": not created (%s): %s\n", i, WideToUtf8(p.name).c_str(), Hex(p.created).c_str(),
                    WideToUtf8(p.error).c_str());
      else if (!p.object) std::printf("  %zu \"%s\": the registrator made no plug-in\n", i, WideToUtf8(p.name).c_str());
      else std::printf("  %zu \"%s\": created\n", i, WideToUtf8(p.name).c_str());
    }
  }

  void Start() {
    std::printf("Initialize, PostInitialize, options pages\n");
    if (plugins_.Start() != 0) status_ = 1;
    for (auto& p : plugins_.Plugins()) {
      if (!p.object) continue;
      if (!p.error.empty()) std::printf("  \"%s\": %s\n", WideToUtf8(p.name).c_str(), WideToUtf8(p.error).c_str());
      else PrintRunningPlugin(host_, p);
    }
    for (const auto& page : host_.Options().Pages())
      std::printf("  options page \"%s\" (values %d, %d)\n", WideToUtf8(page->Path()).c_str(), page->ImageIndex(),
                  page->Order());
    PrintHookParameters(0);
  }

  void AttachProcesses() {
    std::printf("Processes (the test host's samples)\n");
    for (const auto& d : SampleProcesses()) processes_.push_back(host_.Processes().Add(d));
    for (const auto& process : processes_) {
      auto outcome = plugins_.AttachProcess(*process);
      std::string names;
      for (auto index : outcome.done) names += (names.empty() ? "\"" : ", \"") + NameOf(index) + "\"";
      std::printf("  %u %s: served by %s\n", process->Id(), WideToUtf8(process->Name()).c_str(),
                  names.empty() ? "none" : names.c_str());
      PrintFailures(outcome);
      PrintHookCalls(*process, 0);
    }
  }

  // Two MSAA settings change; the plug-in passes them on to the running hooks.
  void ChangeMsaaSettings() {
    std::printf("Changing the MSAA settings\n");
    std::vector<std::size_t> seen;
    for (const auto& process : processes_) seen.push_back(process->Hooks().Calls().size());
    std::size_t received = host_.HookParameters().Received().size();
    if (auto compatibility = host_.Settings().FindSetting(MakeGuid("{3BAA9083-AE46-48CE-BFF4-A656DECF8E2F}")))
      compatibility->put_Value(OleVariant(true).Get());
    if (auto accepted = host_.Settings().FindSetting(MakeGuid("{47A56F4F-F2D3-4697-BEC8-632B29D5A344}")))
      accepted->SetCell(0, 6, OleVariant(true).Get());  // accept "Internet Explorer_Server" too
    PrintHookParameters(received);
    for (std::size_t i = 0; i < processes_.size(); ++i) {
      std::printf("  %u %s:\n", processes_[i]->Id(), WideToUtf8(processes_[i]->Name()).c_str());
      PrintHookCalls(*processes_[i], seen[i]);
    }
  }

  void Notify() {
    std::printf("Notify(1)\n");
    if (plugins_.Notify(1) == 0) return;
    status_ = 1;
    for (const auto& p : plugins_.Plugins())
      if (p.object && p.error.rfind(u"Notify: ", 0) == 0)
        std::printf("  \"%s\": %s\n", WideToUtf8(p.name).c_str(), WideToUtf8(p.error).c_str());
  }

  void DetachProcesses() {
    std::printf("Removing the hooks\n");
    for (const auto& process : processes_) {
      std::size_t from = process->Hooks().Calls().size();
      auto outcome = plugins_.DetachProcess(*process);
      std::printf("  %u %s: hooks loaded now: %zu\n", process->Id(), WideToUtf8(process->Name()).c_str(),
                  process->Hooks().LoadedLibraries().size());
      PrintFailures(outcome);
      PrintHookCalls(*process, from);
    }
  }

  void Finalize() {
    std::printf("Finalize\n");
    for (const auto& failure : plugins_.Stop()) {
      std::printf("  %s\n", WideToUtf8(failure).c_str());
      status_ = 1;
    }
  }

  std::string NameOf(std::int32_t index) const {
    return WideToUtf8(table_.plugins[static_cast<std::size_t>(index)].name);
  }
  void PrintFailures(const TPluginHost::HookOutcome& outcome) {
    for (const auto& [index, why] : outcome.failed) {
      std::printf("      \"%s\": %s\n", NameOf(index).c_str(), WideToUtf8(why).c_str());
      status_ = 1;
    }
  }
  // The hook parameters the host passed on, from the `from`th.
  void PrintHookParameters(std::size_t from) {
    auto sent = host_.HookParameters().Received();
    for (std::size_t i = from; i < sent.size(); ++i)
      std::printf("  hook parameter %s = %s\n", GuidToString(sent[i].key).c_str(), ValueText(sent[i].value).c_str());
  }

  TestHost& host_;
  IcvPluginRegistrator* registrator_;
  const RegistratorTable& table_;
  TPluginHost plugins_;
  std::vector<ComPtr<TProcess>> processes_;
  int status_ = 0;
};

int DrivePlugins(IcvPluginRegistrator* registrator) {
  RegistratorTable table = ReadRegistratorTable(registrator);
  PrintTable(table);
  TestHostOptions options;
  options.interactive = false;
  TestHost host(options);
  return PluginsRun(host, registrator, table).Run();
}

}  // namespace

int RunPluginsCommand(const CommandContext& context) {
  if (!context.args.empty()) {
    std::fprintf(stderr, "usage: pwhost plugins\n");
    return 2;
  }
  LoadedModule module(context.modulePath);
  std::printf("Loaded module %s\n", module.Path().c_str());
  auto get = module.ExportAs<GetPluginRegistratorProc>("GetPluginRegistrator");
  if (!get) {
    std::fprintf(stderr, "pwhost: the module does not export GetPluginRegistrator\n");
    return 1;
  }
  int status = 0;
  {
    ComPtr<IcvPluginRegistrator> registrator;
    HRESULT hr = get(registrator.Put());
    if (Failed(hr) || !registrator) {
      std::fprintf(stderr, "pwhost: GetPluginRegistrator failed (%s): %s\n", Hex(hr).c_str(),
                   WideToUtf8(FailureText(Failed(hr) ? hr : E_POINTER)).c_str());
      status = 1;
    } else {
      status = DrivePlugins(registrator.Get());
    }
  }
  if (auto disconnect = module.ExportAs<DisconnectExposedObjectsProc>(kDisconnectExposedObjectsExport))
    disconnect(WordTrue, 5000);
  bool gone = module.Unload();
  std::printf("Unloaded module%s\n", gone ? "" : " (still mapped by another user)");
  return status;
}

}  // namespace pw::host
