#include "tools/pwhost/pick_command.h"

#include <unistd.h>

#include <filesystem>
#include <optional>

#include "host/name_mapping.h"
#include "host/node_type_registry.h"
#include "host/sample_desktop.h"
#include "host/screen_point.h"
#include "host/settings.h"
#include "host/test_host.h"
#include "openapps/module_resources.h"
#include "openapps/namemapping/name_mapping.h"
#include "openapps/namemapping/pick.h"
#include "platform/kernel/kernel.h"
#include "platform/ui/message_layer.h"
#include "platform/ui/resources.h"
#include "project/nodes/project_helpers.h"
#include "tools/pwhost/commands.h"

namespace pw::host {

const char* const kPickUsage =
    "[--map] [X,Y ...]  list the sample desktop's pickable objects, or pick at each point (with --map: map each "
    "into a fresh project's name mapping)";

namespace {

std::string Text(WideStringView s) { return WideToUtf8(s); }

std::string ValueText(const OleVariant& value) {
  if (value.IsEmpty()) return "Empty";
  if (value.IsNull()) return "Null";
  try {
    if (value.Type() == VT_BSTR) return "\"" + Text(value.AsString()) + "\"";
    return Text(value.AsString());
  } catch (...) {
    return "?";
  }
}

// A pickable object: of the tested-window type, not of pwhost's own process, not the screen
// panel.
bool Pickable(TSysNode& node) {
  GUID type{};
  node.GetObjectTypeKey(&type);
  if (type != kTestedWindowTypeKey) return false;
  if (node.MemberValue(u"WndClass").Type() == VT_BSTR && node.MemberValue(u"WndClass").AsString() == kScreenPanelClass)
    return false;
  for (auto at = ComPtr<TSysNode>(&node); at; at = at->Parent()) {
    std::int32_t id = 0;
    if (Succeeded(at->GetProcessId(&id)) && QueryAs<IpwSysObjectProcess>(static_cast<IpwSysNodeEx*>(at.Get())))
      return static_cast<DWORD>(id) != GetCurrentProcessId();
  }
  return true;
}

}  // namespace

int RunPickCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  bool map = false;
  std::vector<ScreenPoint> points;
  for (const auto& a : args) {
    if (a == "--map") {
      map = true;
      continue;
    }
    auto point = ParseScreenPoint(a);
    if (!point) {
      std::fprintf(err, "%s: not a point (X,Y: two whole numbers)\nusage: pwhost pick %s\n", a.c_str(), kPickUsage);
      return 2;
    }
    points.push_back(*point);
  }
  if (map && points.empty()) {
    std::fprintf(err, "--map needs points\nusage: pwhost pick %s\n", kPickUsage);
    return 2;
  }

  NamePoolUnit unit;
  TestHostOptions options;
  options.interactive = false;
  TestHost host(options);
  RegisterModuleResources(&ModuleResourceTable());
  struct Unregister {
    ~Unregister() {
      SetInputSource(nullptr);
      RegisterModuleResources(nullptr);
    }
  } unregister;
  AddSampleDesktop(host);

  if (points.empty()) {
    for (const auto& [node, rect] : host.ObjectTree().ScreenObjects()) {
      if (!Pickable(*node)) continue;
      std::fprintf(out, "%d %d %d %d\t%s\n", rect.left, rect.top, rect.right, rect.bottom,
                   Text(node->FullNameText()).c_str());
    }
    return 0;
  }

  std::optional<TNameMappings> mappings;
  ComPtr<THostProject> project;
  std::filesystem::path folder;
  if (map) {
    GUID key{};
    OleCheck(CreateGuid(key));
    folder = std::filesystem::temp_directory_path() /
             ("pwhost-pick-" + std::to_string(getpid()) + "-" + Text(GuidToWideString(key)).substr(1, 8));
    std::filesystem::create_directories(folder);
    project = MakeObject<THostProject>(nullptr, key);
    OleCheck(project->Initialize(host.Manager()));
    if (!project->ReloadFromFileName(Utf8ToWide((folder / "Pick.pwp").string()), false)) {
      std::fprintf(err, "the project in %s was not made\n", folder.string().c_str());
      return 1;
    }
    host.Projects().SetDefaultProject(project->AsNode());
    host.Settings().DefineSetting(kIdentificationProviderSetting, kSettingBoolean, u"Identification providers",
                                  OleVariant(true));
    mappings.emplace(host);
  }

  int result = 0;
  ComPtr<IpwMapSysNodeResult> previous;
  for (const auto& p : points) {
    bool fed = false;
    SetInputSource([&](InputEvent& e) {
      if (fed) return false;
      fed = true;
      e = {InputEvent::Kind::LeftUp, p.x, p.y, 0, 0};  // the pointer moves there and the button is released
      return true;
    });
    ComPtr<IpwSysNode> node;
    PickSysNodeOnScreen(host.Manager(), node);
    auto picked = node ? host.ObjectTree().Root()->FindByKey(GetNodeKey(node.Get())) : nullptr;
    if (!picked) {
      std::fprintf(out, "%s\tnothing picked\n", FormatScreenPoint(p).c_str());
      result = 1;
      continue;
    }
    std::fprintf(out, "%s\t%s\n", FormatScreenPoint(p).c_str(), Text(picked->FullNameText()).c_str());
    if (!map) continue;
    try {
      if (previous) OleCheck(previous->ProcessMappedItems());
      ComPtr<IpwMapSysNodeResult> mapped;
      CreateMapSysNodeResult(host.Manager(), node.Get(), mapped);
      auto repository = mappings->Repository(project::GetProjectKey(project->AsNode()));
      for (const auto& item : MappedItemsOf(mapped.Get())) {
        auto* own = dynamic_cast<TNameMappingItem*>(item.Get());
        if (!own) continue;
        std::string props;
        for (const auto& property : own->Identification().Properties())
          props += (props.empty() ? "" : " ") + Text(property.name) + "=" + ValueText(property.value);
        auto alias = repository ? repository->AliasOf(own) : nullptr;
        std::fprintf(out, "  item %s\t%s\tsearch root: %s\talias: %s\n", Text(own->Path()).c_str(), props.c_str(),
                     own->UnderSearchRoot() ? "yes" : "no", alias ? Text(alias->Name()).c_str() : "-");
      }
      if (MappedItemsOf(mapped.Get()).empty()) std::fprintf(out, "  mapped already\n");
      previous = mapped;
    } catch (const std::exception& e) {
      std::fprintf(err, "%s: not mapped: %s\n", FormatScreenPoint(p).c_str(), e.what());
      result = 1;
    }
  }
  if (map) {
    previous = nullptr;
    mappings.reset();
    host.Projects().SetDefaultProject(nullptr);
    project->Finalize();
    project = nullptr;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  return result;
}

}  // namespace pw::host
