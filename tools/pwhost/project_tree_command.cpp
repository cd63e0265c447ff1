// pwhost's project explorer: a project file (.pwp) whose items are item files (.pwi) of the
// host's Item type beside it. Without dialogs: the messenger's messages go to stderr, questions
// refuse. Each changing command saves the project and prints the save code; a refusal exits 1
// and writes nothing.
#include "tools/pwhost/project_tree_command.h"

#include <algorithm>
#include <filesystem>

#include "host/node_type_registry.h"
#include "host/plugin_host.h"
#include "host/test_host.h"
#include "platform/com/guid.h"
#include "platform/com/safecall.h"
#include "platform/kernel/clock.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "project/container/item_helpers.h"
#include "project/folders/virtual_folders.h"
#include "project/nodes/node_helpers.h"
#include "project/nodes/project_helpers.h"
#include "project/storage/node_file_helpers.h"
#include "project/storage/node_storage.h"
#include "project/storage/project_node.h"
#include "tools/pwhost/commands.h"

namespace pw::host {

namespace {
std::string Text(WideStringView s) { return WideToUtf8(s); }

// The host, the project and everything below it for one command.
struct Session {
  NamePoolUnit unit;
  TestHost host{[] {
    TestHostOptions options;
    options.interactive = false;
    return options;
  }()};
  ComPtr<THostProject> project;

  ~Session() {
    if (project) project->Finalize();
  }
  void PrintMessages(std::FILE* err) {
    for (const auto& m : host.Messenger().Messages()) std::fprintf(err, "%s\n", Text(m.text).c_str());
  }
  // Opens the project file (Create: written when missing; otherwise it must exist).
  bool Open(const std::string& file, bool create, std::FILE* err) {
    const WideString name = Utf8ToWide(std::filesystem::absolute(file).lexically_normal().string());
    if (!name.ends_with(u".pwp")) {
      std::fprintf(err, "%s: a project file ends with .pwp\n", file.c_str());
      return false;
    }
    if (!create && !std::filesystem::exists(file)) {
      std::fprintf(err, "%s: the project file does not exist\n", file.c_str());
      return false;
    }
    if (create && std::filesystem::exists(file)) {
      std::fprintf(err, "%s: the project file exists already\n", file.c_str());
      return false;
    }
    GUID key{};
    OleCheck(CreateGuid(key));
    project = MakeObject<THostProject>(nullptr, key);
    OleCheck(project->Initialize(host.Manager()));
    if (!project->ReloadFromFileName(name, false)) {
      PrintMessages(err);
      std::fprintf(err, "%s: not opened (%d %s)\n", file.c_str(), project->ErrorCode(),
                   Text(project->ErrorMessage()).c_str());
      return false;
    }
    return true;
  }
  int Save(std::FILE* out, std::FILE* err) {
    project->Changed(true);
    std::int32_t code = project->SaveToOwnFileResult();
    PrintMessages(err);
    std::fprintf(out, "saved %d\n", code);
    return code == 0 ? 0 : 1;
  }
  // A new Item under the project: the host's New Item dialog (its name scripted) makes it from
  // the type's creation parameters and the type's provider, and the project adds it as the user's
  // New Item does (the registry's before-add and after-add, the suite's key check). False (after
  // the messages) when it was not added; a file made for a refused item goes again.
  bool NewItem(WideStringView name, std::FILE* err) {
    host.Dialogs().QueueNewItem({true, WideString(name)});
    const std::size_t runs = host.Dialogs().NewItems().size();
    bool added = false;
    WideString raised;
    try {
      added = project->AddChild(kItemNodeType, nullptr);
    } catch (const Exception& ex) {
      raised = ex.Message();
    }
    if (added) return true;
    PrintMessages(err);
    if (!raised.empty()) std::fprintf(err, "%s\n", Text(raised).c_str());
    const auto runsNow = host.Dialogs().NewItems();
    const bool made = runsNow.size() > runs && runsNow[runs].made;
    std::fprintf(err, made ? "The item \"%s\" was not added.\n" : "The item \"%s\" was not created.\n",
                 Text(name).c_str());
    if (made && !runsNow[runs].file.empty()) {
      std::error_code ec;
      std::filesystem::remove(Text(runsNow[runs].file), ec);
    }
    return false;
  }
};

int Usage(std::FILE* err) {
  std::fprintf(err, "usage: pwhost project %s\n", kProjectTreeUsage);
  return 2;
}

std::string Flags(IpwProjectNode* node) {
  std::string flags;
  auto add = [&](const std::string& f) { flags += (flags.empty() ? "" : ",") + f; };
  if (project::NodeTypeKey(node) == project::kUnavailableNodeType) {
    OleVariant text;
    if (auto owner = QueryAs<IpwPropertyObjectOwner>(node)) owner->GetPropertyValue(1, text.Put());
    add("unavailable: " + Text(text.AsString()));
  }
  if (auto persistent = QueryAs<IpwPersistentProjectNode>(node)) {
    VARIANT_BOOL modified = VARIANT_FALSE;
    if (Succeeded(persistent->GetModified(&modified)) && modified) add("modified");
  }
  OleVariant file;
  if (Succeeded(node->GetAttribute(0, file.Put())) && file.Type() == VT_BSTR) {
    std::error_code ec;
    auto status = std::filesystem::status(Text(file.AsString()), ec);
    if (!ec && (status.permissions() & std::filesystem::perms::owner_write) == std::filesystem::perms::none)
      add("read-only");
  }
  if (project::HasNotReloadedMark(node)) add("not reloaded");
  if (auto error = QueryAs<IpwNodeLastError>(node)) {
    std::int32_t code = 0;
    BString message;
    error->GetErrorCode(&code);
    error->GetErrorMessage(message.Put());
    if (code != 0) add("error " + std::to_string(code) + ": " + Text(message.Str()));
  }
  return flags;
}

std::string Indent(int depth) { return std::string(static_cast<std::size_t>(depth) * 2, ' '); }

// A folder line: "[NAME]", "folder" and the names of the items it refers to (joined by ", ").
void PrintFolders(IpwProjectNode* container, const project::TpwFolderList& folders, int depth, std::FILE* out) {
  for (const auto& folder : folders) {
    std::string items;
    for (const GUID& id : folder->References()) {
      project::ForEachChild(container, [&](IpwProjectNode* child) {
        if (project::NodeInstanceKey(child) != id) return true;
        items += (items.empty() ? "" : ", ") + Text(project::NodeName(child));
        return false;
      });
    }
    std::fprintf(out, "%s[%s]\tfolder\t%s\n", Indent(depth).c_str(), Text(folder->Caption()).c_str(), items.c_str());
    PrintFolders(container, const_cast<project::TpwProjectVirtualFolder&>(*folder).FolderList(), depth + 1, out);
  }
}

void PrintTree(IcvBaseManager* manager, IpwProjectNode* node, int depth, std::FILE* out) {
  GUID type = project::NodeTypeKey(node);
  OleVariant file;
  std::string fileText;
  if (Succeeded(node->GetAttribute(0, file.Put())) && file.Type() == VT_BSTR) fileText = Text(file.AsString());
  if (auto fake = QueryAs<IpwFakeProjectNode>(node)) {
    BString name;
    fake->GetFileName(name.Put());
    fileText = Text(name.Str());
  }
  std::fprintf(out, "%s%s\t%s %s\t%s\t%s\n", std::string(static_cast<std::size_t>(depth) * 2, ' ').c_str(),
               Text(project::NodeName(node)).c_str(), Text(project::GetNodeTypeName(manager, node)).c_str(),
               GuidToString(type).c_str(), fileText.c_str(), Flags(node).c_str());
  project::ForEachChild(node, [&](IpwProjectNode* child) {
    PrintTree(manager, child, depth + 1, out);
    return true;
  });
  auto internal = QueryAs<IpwProjectNodeInternal>(node);
  auto* container =
      internal
          ? dynamic_cast<project::TpwProjectNodeContainer*>(static_cast<project::TpwBaseProjectNode*>(internal.Get()))
          : nullptr;
  if (container) {
    if (auto* collection = dynamic_cast<project::TpwProjectVirtualFolderCollection*>(container->Folders().Collection()))
      PrintFolders(node, collection->FolderList(), depth + 1, out);
  }
}

int New(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  if (args.size() < 2) return Usage(err);
  Session s;
  if (!s.Open(args[1], true, err)) return 1;
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (!s.NewItem(Utf8ToWide(args[i]), err)) {
      // A refused name leaves no project behind.
      std::vector<WideString> files;
      for (std::int32_t c = 0; c < s.project->ChildCount(); ++c) {
        OleVariant f;
        if (Succeeded(s.project->ChildAt(c)->GetAttribute(0, f.Put()))) files.push_back(f.AsString());
      }
      WideString projectFile = s.project->FileName();
      s.project->Finalize();
      s.project = nullptr;
      std::error_code ec;
      for (const auto& f : files) std::filesystem::remove(Text(f), ec);
      std::filesystem::remove(Text(projectFile), ec);
      return 1;
    }
  }
  return s.Save(out, err);
}

int Tree(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  if (args.size() != 2) return Usage(err);
  Session s;
  if (!s.Open(args[1], false, err)) return 1;
  PrintTree(s.host.Manager(), s.project->AsNode(), 0, out);
  s.PrintMessages(err);
  return 0;
}

int Add(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  if (args.size() != 3) return Usage(err);
  Session s;
  if (!s.Open(args[1], false, err)) return 1;
  if (!s.NewItem(Utf8ToWide(args[2]), err)) return 1;
  return s.Save(out, err);
}

int AddExisting(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  if (args.size() != 3) return Usage(err);
  Session s;
  if (!s.Open(args[1], false, err)) return 1;
  const std::string file = std::filesystem::absolute(args[2]).lexically_normal().string();
  // An item file opened again is a new element with a key of its own: the suite's key check
  // cannot tell that the project holds it already, its file name can.
  for (std::int32_t i = 0; i < s.project->ChildCount(); ++i) {
    OleVariant f;
    if (Succeeded(s.project->ChildAt(i)->GetAttribute(0, f.Put())) && Text(f.AsString()) == file) {
      std::fprintf(err, "The '%s' file is in the project already.\n", file.c_str());
      return 1;
    }
  }
  ComPtr<IUnknown> added;
  WideString raised;
  try {
    added = s.project->AddExistingChild(Utf8ToWide(file));
  } catch (const Exception& ex) {
    raised = ex.Message();
  }
  if (!added) {
    s.PrintMessages(err);
    if (!raised.empty()) std::fprintf(err, "%s\n", Text(raised).c_str());
    // What no loader of the project's child types opens is refused without a word of its own.
    const auto extensions = project::GetSupportedChildExtensions(s.host.Manager(), s.project->AsNode());
    const std::string extension = std::filesystem::path(file).extension().string();
    const bool taken = std::any_of(extensions.begin(), extensions.end(),
                                   [&](const WideString& e) { return SameTextIgnoringCase(e, Utf8ToWide(extension)); });
    if (!taken) {
      std::string list;
      for (const auto& e : extensions) list += (list.empty() ? "" : ", ") + Text(e);
      std::fprintf(err, "A project takes the item files of its child types (%s); '%s' is none of them.\n", list.c_str(),
                   file.c_str());
    }
    return 1;
  }
  return s.Save(out, err);
}

int Remove(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  bool deleteFiles = args.size() == 4 && args[3] == "--delete-files";
  if (args.size() != 3 && !deleteFiles) return Usage(err);
  Session s;
  if (!s.Open(args[1], false, err)) return 1;
  auto child = project::FindChildItemByName(s.project->AsNode(), Utf8ToWide(args[2]));
  if (!child) {
    std::fprintf(err, "The project has no item \"%s\".\n", args[2].c_str());
    return 1;
  }
  // The item's files go only once the project that no longer names them is saved: the child
  // leaves keeping its files, the project is saved, and only a saved project lets them go.
  std::vector<WideString> files, folders;
  if (deleteFiles) project::CollectRemovedNodeFiles(child.Get(), files, folders);
  bool removed = false;
  try {
    removed = s.project->RemoveChildNode(child.Get(), false);
  } catch (const Exception& ex) {
    s.PrintMessages(err);
    std::fprintf(err, "%s\n", Text(ex.Message()).c_str());
    return 1;
  }
  if (!removed) {
    s.PrintMessages(err);
    std::fprintf(err, "The item \"%s\" was not removed.\n", args[2].c_str());
    return 1;
  }
  int rc = s.Save(out, err);
  if (deleteFiles && rc == 0) project::DeleteRemovedFiles(s.project->AsNode(), files, folders);
  return rc;
}

int Rename(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  if (args.size() != 4) return Usage(err);
  Session s;
  if (!s.Open(args[1], false, err)) return 1;
  auto child = project::FindChildItemByName(s.project->AsNode(), Utf8ToWide(args[2]));
  if (!child) {
    std::fprintf(err, "The project has no item \"%s\".\n", args[2].c_str());
    return 1;
  }
  HRESULT hr = child->SetName(BString(Utf8ToWide(args[3])).Get());
  if (Failed(hr) || !SameTextIgnoringCase(project::NodeName(child.Get()), Utf8ToWide(args[3]))) {
    s.PrintMessages(err);
    if (Failed(hr)) std::fprintf(err, "%s\n", Text(FailureText(hr)).c_str());
    std::fprintf(err, "The item was not renamed.\n");
    return 1;
  }
  return s.Save(out, err);
}

// ---- Folders

// The level a path names: "/" (or empty) the top, else folder names joined by "/" (exact).
project::TpwFolderLevel* FindFolderLevel(project::TpwProjectVirtualFolderCollection& collection,
                                         const std::string& path) {
  project::TpwFolderLevel* level = &collection;
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string name = path.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    project::TpwFolderLevel* next = nullptr;
    for (auto& f : level->FolderList())
      if (Text(f->Caption()) == name) next = f.Get();
    if (!next) return nullptr;
    level = next;
  }
  return level;
}

int FolderCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  // folder P.pwp VERB ...
  if (args.size() < 4) return Usage(err);
  const std::string& verb = args[2];
  std::vector<std::string> rest(args.begin() + 3, args.end());
  bool deleteFiles = false;
  std::string in = "/";
  if (verb == "remove" && rest.size() == 2 && rest[1] == "--delete-files") {
    deleteFiles = true;
    rest.pop_back();
  }
  if (verb == "add" && rest.size() == 3 && rest[1] == "--in") {
    in = rest[2];
    rest.resize(1);
  }
  const std::size_t wanted = verb == "add" || verb == "remove"                                        ? 1
                             : verb == "rename" || verb == "move" || verb == "ref" || verb == "unref" ? 2
                                                                                                      : 0;
  if (wanted == 0 || rest.size() != wanted) return Usage(err);
  Session s;
  if (!s.Open(args[1], false, err)) return 1;
  auto* collection = dynamic_cast<project::TpwProjectVirtualFolderCollection*>(s.project->Folders().Collection());
  if (!collection) {
    std::fprintf(err, "The project keeps no folders.\n");
    return 1;
  }
  auto refused = [&](const std::string& what) {
    s.PrintMessages(err);
    if (!what.empty()) std::fprintf(err, "%s\n", what.c_str());
    return 1;
  };
  auto folderAt = [&](const std::string& path) -> project::TpwProjectVirtualFolder* {
    auto* level = FindFolderLevel(*collection, path);
    return level == collection ? nullptr : dynamic_cast<project::TpwProjectVirtualFolder*>(level);
  };
  // A refusal the messenger raised (a host without dialogs) comes back as a failure.
  auto ok = [&](HRESULT hr) {
    if (Succeeded(hr)) return true;
    s.PrintMessages(err);
    std::fprintf(err, "%s\n", Text(FailureText(hr)).c_str());
    return false;
  };
  auto noFolder = [&](const std::string& path) { return refused("The project has no folder \"" + path + "\"."); };
  auto itemId = [&](const std::string& name) {
    auto child = project::FindChildItemByName(s.project->AsNode(), Utf8ToWide(name));
    return child ? project::NodeInstanceKey(child.Get()) : GUID_NULL;
  };

  if (verb == "add") {
    auto* level = FindFolderLevel(*collection, in);
    if (!level) return noFolder(in);
    ComPtr<project::IpwProjectVirtualFolder> made;
    HRESULT hr = level == collection ? collection->AddFolder(made.Put())
                                     : dynamic_cast<project::TpwProjectVirtualFolder*>(level)->AddFolder(made.Put());
    if (!ok(hr)) return 1;
    if (!made) return refused("The folder was not added.");
    VARIANT_BOOL renamed = VARIANT_FALSE;
    if (!ok(made->SetName(BString(Utf8ToWide(rest[0])).Get(), &renamed))) return 1;
    if (!renamed) return refused("The folder was not added.");
  } else if (verb == "rename") {
    auto* folder = folderAt(rest[0]);
    if (!folder) return noFolder(rest[0]);
    VARIANT_BOOL renamed = VARIANT_FALSE;
    if (!ok(folder->SetName(BString(Utf8ToWide(rest[1])).Get(), &renamed))) return 1;
    if (!renamed) return refused("The folder was not renamed.");
  } else if (verb == "move") {
    auto* folder = folderAt(rest[0]);
    if (!folder) return noFolder(rest[0]);
    auto* target = FindFolderLevel(*collection, rest[1]);
    if (!target) return noFolder(rest[1]);
    VARIANT_BOOL moved = VARIANT_FALSE;
    if (!ok(folder->MoveTo(target->LevelContextId(), &moved))) return 1;
    if (!moved) return refused("The folder was not moved.");
  } else if (verb == "ref" || verb == "unref") {
    auto* folder = folderAt(rest[0]);
    if (!folder) return noFolder(rest[0]);
    GUID id = itemId(rest[1]);
    if (id == GUID_NULL) return refused("The project has no item \"" + rest[1] + "\".");
    VARIANT_BOOL done = VARIANT_FALSE;
    HRESULT hr = verb == "ref" ? folder->AddReference(id, VARIANT_FALSE, &done)
                               : folder->RemoveReference(id, VARIANT_FALSE, &done);
    if (!ok(hr)) return 1;
    if (!done)
      return refused(verb == "ref" ? "The folder refers to the item already."
                                   : "The folder does not refer to the item.");
  } else {
    auto* folder = folderAt(rest[0]);
    if (!folder) return noFolder(rest[0]);
    auto* parent = folder->ParentLevel();
    ComPtr<project::IpwProjectVirtualFolder> held(folder);
    // The items the folder takes with it leave keeping their files; their files go only once the
    // project that no longer names them is saved. Each child's files are listed now, while the
    // child can still say which they are.
    struct Held {
      ComPtr<IpwProjectNode> node;
      std::vector<WideString> files, folders;
    };
    std::vector<Held> before;
    if (deleteFiles) {
      for (std::int32_t i = 0; i < s.project->ChildCount(); ++i) {
        Held h{ComPtr<IpwProjectNode>(s.project->ChildAt(i)), {}, {}};
        project::CollectRemovedNodeFiles(h.node.Get(), h.files, h.folders);
        before.push_back(std::move(h));
      }
    }
    if (parent == collection) {
      if (!ok(collection->RemoveFolder(folder, VARIANT_FALSE))) return 1;
    } else {
      VARIANT_BOOL removed = VARIANT_FALSE;
      if (!ok(dynamic_cast<project::TpwProjectVirtualFolder*>(parent)->RemoveFolder(folder, VARIANT_FALSE, &removed)))
        return 1;
    }
    if (FindFolderLevel(*collection, rest[0]) == folder) return refused("The folder was not removed.");
    int rc = s.Save(out, err);
    if (rc != 0) return rc;
    for (auto& h : before) {
      bool stays = false;
      for (std::int32_t i = 0; i < s.project->ChildCount() && !stays; ++i)
        stays = s.project->ChildAt(i) == h.node.Get();
      if (!stays) project::DeleteRemovedFiles(s.project->AsNode(), h.files, h.folders);
    }
    return rc;
  }
  return s.Save(out, err);
}

}  // namespace

const char* const kProjectTreeUsage =
    "new P.pwp NAME... | tree P.pwp | add P.pwp NAME | add-existing P.pwp FILE.pwi | remove P.pwp NAME "
    "[--delete-files] | rename P.pwp OLD NEW | folder P.pwp add NAME [--in FOLDER] | folder P.pwp rename FOLDER NEW | "
    "folder P.pwp move FOLDER TARGET | folder P.pwp ref|unref FOLDER ITEM | folder P.pwp remove FOLDER "
    "[--delete-files]  the project explorer over a project file and its item files (FOLDER: names joined by \"/\"; "
    "TARGET \"/\" is the top)";

int RunProjectTreeCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  if (args.empty()) return -1;
  const std::string& verb = args[0];
  if (verb == "new") return New(args, out, err);
  if (verb == "tree") return Tree(args, out, err);
  if (verb == "add") return Add(args, out, err);
  if (verb == "add-existing") return AddExisting(args, out, err);
  if (verb == "remove") return Remove(args, out, err);
  if (verb == "rename") return Rename(args, out, err);
  if (verb == "folder") return FolderCommand(args, out, err);
  return -1;
}

}  // namespace pw::host
