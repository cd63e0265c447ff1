#include "tools/pwhost/project_command.h"

#include "tools/pwhost/project_tree_command.h"

#include <filesystem>
#include <optional>

#include "host/node_type_registry.h"
#include "host/plugin_host.h"
#include "host/test_host.h"
#include "platform/com/guid.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "platform/kernel/clock.h"
#include "platform/ui/resources.h"
#include "project/nodes/node_helpers.h"
#include "project/storage/item_files.h"
#include "project/storage/node_file_helpers.h"
#include "project/storage/node_storage.h"
#include "project/storage/project_node.h"
#include "project/types/new_item_check.h"
#include "tools/pwhost/commands.h"

namespace pw::host {

const char* const kProjectUsage =
    "types | validate TYPE NAME [--location DIR] | item FILE.pwi [--rename NAME] | watch FILE...|P.pwp [--reload "
    "yes|no] [--seconds N]  list item types, check a new item, open an item file or follow outside changes";

namespace {
std::string Text(WideStringView s) { return WideToUtf8(s); }

int Usage(std::FILE* err) {
  std::fprintf(err, "usage: pwhost project %s\n       pwhost project %s\n", kProjectUsage, kProjectTreeUsage);
  return 2;
}

// What the host's messenger showed, a line each.
void PrintMessages(TestHost& host, std::FILE* err) {
  for (const auto& m : host.Messenger().Messages()) std::fprintf(err, "%s\n", Text(m.text).c_str());
}

int Types(std::FILE* out) {
  TestHostOptions options;
  options.interactive = false;
  TestHost host(options);
  for (const auto& t : project::ListItemTypes(host.Manager()))
    std::fprintf(out, "%s\t%s\t%s\t%s\t%s\tsingle=%d\tnumbered=%d\n", GuidToString(t.key).c_str(),
                 Text(t.caption).c_str(), Text(t.typeName).c_str(), Text(t.extension).c_str(),
                 GuidToString(t.parentKey).c_str(), t.singleInstance ? 1 : 0, t.numberedNames ? 1 : 0);
  return 0;
}

int Validate(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  if (args.size() != 3 && !(args.size() == 5 && args[3] == "--location")) return Usage(err);
  TestHostOptions options;
  options.interactive = false;
  TestHost host(options);
  auto info = project::FindItemType(host.Manager(), Utf8ToWide(args[1]));
  if (!info) {
    std::fprintf(err, "The host knows no item type \"%s\".\n", args[1].c_str());
    return 1;
  }
  std::optional<WideString> location;
  if (args.size() == 5) location = Utf8ToWide(args[4]);
  auto check = project::CheckNewItem(host.Manager(), info.Get(), nullptr, Utf8ToWide(args[2]), location);
  for (std::size_t i = 0; i < check.params.size(); ++i)
    std::fprintf(out, "%zu\t%s\t%s\n", i, Text(check.params[i].first).c_str(), Text(check.params[i].second).c_str());
  if (!check.fileName.empty()) std::fprintf(out, "file\t%s\n", Text(check.fileName).c_str());
  if (check.valid) {
    std::fputs("valid\n", out);
    return 0;
  }
  std::fprintf(out, "%s\n", check.message.empty() ? "invalid" : Text(check.message).c_str());
  return 1;
}
// The module is not loaded in this process: the watch command carries the one bitmap of the
// module's resource script that the not-reloaded mark draws (as the script declares it).
const BitmapResource kMarkerBitmap[] = {{"ICON_NONRELOADED_MARKER", 8, 8, 0x800000, 0xFFD0D0, 0xC00000}};
const ResourceTable kMarkerResources{{}, kMarkerBitmap};
struct MarkerResources {
  MarkerResources() { RegisterModuleResources(&kMarkerResources); }
  ~MarkerResources() {
    project::ReleaseNotReloadedMarker();
    RegisterModuleResources(nullptr);
  }
};

ComPtr<project::TpwProjectNode> NewItemNode(TestHost& host) {
  GUID key{};
  OleCheck(CreateGuid(key));
  auto node = MakeObject<project::TpwProjectNode>(nullptr, kItemNodeType, key, project::kFileStorageKind);
  OleCheck(node->Initialize(host.Manager()));
  return node;
}

std::string TimeText(std::int64_t ns) {
  return std::to_string(ns / 1000000000) + "." + std::to_string(1000000000 + ns % 1000000000).substr(1);
}

void PrintItem(project::TpwProjectNode& node, std::FILE* out) {
  auto* storage = node.FileStorage();
  const auto& s = storage->Snapshot();
  std::fprintf(out, "file\t%s\n", Text(node.FileName()).c_str());
  std::fprintf(out, "name\t%s\n", Text(node.Name()).c_str());
  std::fprintf(out, "type\t%s\n", GuidToString(node.TypeKey()).c_str());
  WideString version;
  if (auto data = node.DataNode()) {
    ComPtr<IcvOptionsProperties> properties;
    if (Succeeded(data->GetProperties(properties.Put()))) properties->GetString(u"Version", u"", &version);
  }
  std::fprintf(out, "version\t%s\n", Text(version).c_str());
  std::fprintf(out, "read-only\t%d\n", storage->IsFileReadOnly() ? 1 : 0);
  std::fprintf(out, "size\t%llu\n",
               static_cast<unsigned long long>((static_cast<std::uint64_t>(s.sizeHigh) << 32) | s.sizeLow));
  std::fprintf(out, "crc32\t%08X\n", s.crc);
  std::fprintf(out, "written\t%s\n", TimeText(s.writeTime).c_str());
  std::fprintf(out, "born\t%s\n", TimeText(s.creationTime).c_str());
}

void PrintError(project::TpwProjectNode& node, std::FILE* out) {
  std::fprintf(out, "error\t%d\t%s\n", node.ErrorCode(), Text(node.ErrorMessage()).c_str());
}

// Why a step was refused: what the messenger showed, else the raised error's text, else the
// node's last error, else Fallback.
void PrintReason(TestHost& host, project::TpwProjectNode& node, WideStringView raised, const char* fallback,
                 std::FILE* err) {
  if (!host.Messenger().Messages().empty()) PrintMessages(host, err);
  else if (!raised.empty()) std::fprintf(err, "%s\n", Text(raised).c_str());
  else if (node.ErrorCode() != 0 && !node.ErrorMessage().empty())
    std::fprintf(err, "%s\n", Text(node.ErrorMessage()).c_str());
  else std::fprintf(err, "%s\n", fallback);
}

int Item(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  if (args.size() != 2 && !(args.size() == 4 && args[2] == "--rename")) return Usage(err);
  NamePoolUnit unit;
  TestHostOptions options;
  options.interactive = false;
  TestHost host(options);
  auto node = NewItemNode(host);
  struct Finalize {
    project::TpwProjectNode& node;
    ~Finalize() { node.Finalize(); }
  } finalize{*node};
  const WideString file = Utf8ToWide(args[1]);
  WideString raised;
  bool opened = false;
  try {
    // A missing file is created under its base name: a name no item may have creates nothing.
    opened = (project::FileExistsName(file) ||
              project::CheckElementFileName(host.Manager(), node->AsNode(), project::FileBaseName(file), file, false)) &&
             node->ReloadFromFileName(file, false);
  } catch (const Exception& ex) {
    raised = ex.Message();
  }
  if (!opened) {
    PrintError(*node, out);
    PrintReason(host, *node, raised, "The file is not an item file of the host's Item type.", err);
    return 1;
  }
  if (args.size() == 4) {
    WideString before = node->FileName();
    HRESULT hr = node->SetName(BString(Utf8ToWide(args[3])).Get());
    if (Failed(hr) || node->FileName() == before) {
      PrintReason(host, *node, Failed(hr) ? FailureText(hr) : WideString(), "The new name was refused.", err);
      std::fprintf(err, "The item was not renamed.\n");
      PrintItem(*node, out);
      return 1;
    }
  }
  PrintItem(*node, out);
  PrintError(*node, out);
  return 0;
}

int Watch(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  std::vector<std::string> files;
  bool reload = true;
  long seconds = 10;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--reload" && i + 1 < args.size() && (args[i + 1] == "yes" || args[i + 1] == "no")) {
      reload = args[++i] == "yes";
    } else if (args[i] == "--seconds" && i + 1 < args.size()) {
      char* end = nullptr;
      seconds = std::strtol(args[++i].c_str(), &end, 10);
      if (*end || seconds < 0) return Usage(err);
    } else if (args[i].rfind("--", 0) == 0) {
      return Usage(err);
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.empty()) return Usage(err);
  NamePoolUnit unit;
  MarkerResources resources;
  TestHostOptions options;
  options.interactive = false;
  TestHost host(options);
  // Reload handling: the host's setting on (the file-reload manager of a host without dialogs
  // answers yes) or off (changed nodes get the not-reloaded mark).
  host.State().SetAnswer(kHostModeQuestion, reload ? kHostModeInteractive : GUID_NULL);
  std::vector<ComPtr<project::TpwProjectNode>> nodes;
  // A project file: the project and its items are followed; finalising the project finalises
  // its items.
  const bool projectFile = files.size() == 1 && files[0].ends_with(".pwp");
  struct FinalizeAll {
    std::vector<ComPtr<project::TpwProjectNode>>& nodes;
    bool projectFile;
    ~FinalizeAll() {
      if (projectFile && !nodes.empty()) nodes.front()->Finalize();
      else
        for (auto& n : nodes) n->Finalize();
    }
  } finalize{nodes, projectFile};
  int rc = 0;
  if (projectFile) {
    GUID key{};
    OleCheck(CreateGuid(key));
    auto projectNode = MakeObject<THostProject>(nullptr, key);
    OleCheck(projectNode->Initialize(host.Manager()));
    if (!projectNode->ReloadFromFileName(Utf8ToWide(std::filesystem::absolute(files[0]).string()), false)) {
      std::fprintf(err, "%s: not opened (%s)\n", files[0].c_str(), Text(projectNode->ErrorMessage()).c_str());
      projectNode->Finalize();
      return 1;
    }
    nodes.push_back(projectNode);
    for (std::int32_t i = 0; i < projectNode->ChildCount(); ++i) {
      auto* base =
          static_cast<project::TpwBaseProjectNode*>(static_cast<IpwProjectNodeInternal*>(projectNode->ChildAt(i)));
      if (auto* item = dynamic_cast<project::TpwProjectNode*>(base)) nodes.emplace_back(item);
    }
    for (auto& n : nodes) std::fprintf(out, "watching %s\n", Text(n->FileName()).c_str());
    files.clear();
  }
  for (const auto& f : files) {
    auto node = NewItemNode(host);
    if (!node->ReloadFromFileName(Utf8ToWide(f), false)) {
      std::fprintf(err, "%s: not opened (%s)\n", f.c_str(), Text(node->ErrorMessage()).c_str());
      node->Finalize();
      rc = 1;
      continue;
    }
    std::fprintf(out, "watching %s\n", Text(node->FileName()).c_str());
    nodes.push_back(node);
  }
  std::fflush(out);
  auto& clock = CurrentClock();
  const std::uint64_t end = clock.NowMs() + static_cast<std::uint64_t>(seconds) * 1000;
  for (;;) {
    std::vector<bool> marked;
    for (auto& n : nodes) marked.push_back(project::HasNotReloadedMark(n->AsNode()));
    std::vector<WideString> reloads = host.Providers().ReloadNotices();
    host.FileWatch().CheckFiles();
    std::vector<WideString> after = host.Providers().ReloadNotices();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      WideString notice = u"AfterReload " + nodes[i]->Name();
      auto count = [&](const std::vector<WideString>& v) { return std::count(v.begin(), v.end(), notice); };
      if (count(after) > count(reloads)) std::fprintf(out, "reloaded %s\n", Text(nodes[i]->FileName()).c_str());
      else if (!marked[i] && project::HasNotReloadedMark(nodes[i]->AsNode()))
        std::fprintf(out, "not reloaded %s\n", Text(nodes[i]->FileName()).c_str());
    }
    std::fflush(out);
    if (clock.NowMs() >= end) break;
    SleepMs(200);
  }
  return rc;
}

}  // namespace

int RunProjectCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  try {
    if (args.size() == 1 && args[0] == "types") return Types(out);
    if (!args.empty() && args[0] == "validate") return Validate(args, out, err);
    if (!args.empty() && args[0] == "item") return Item(args, out, err);
    if (!args.empty() && args[0] == "watch") return Watch(args, out, err);
    if (int rc = RunProjectTreeCommand(args, out, err); rc >= 0) return rc;
    return Usage(err);
  } catch (const Exception& e) {
    std::fprintf(err, "%s\n", WideToUtf8(e.Message()).c_str());
    return 1;
  }
}

}  // namespace pw::host
