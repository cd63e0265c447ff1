#include "project/storage/node_file_helpers.h"

#include <cstdio>

#include "core/files/file_utils.h"
#include "platform/automation/bstr.h"
#include "platform/automation/variant.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"
#include "project/actions/project_actions.h"
#include "project/nodes/project_helpers.h"
#include "project/nodes/small_services.h"
#include "project/storage/item_files.h"
#include "project/types/node_info.h"

namespace pw::project {

namespace {

template <class I>
ComPtr<I> SoftService(IcvBaseManager* manager, const GUID& service) {
  if (!manager) return nullptr;
  ComPtr<IUnknown> answer;
  if (Failed(manager->GetService(service, answer.Put()))) return nullptr;
  return QueryAs<I>(answer.Get());
}

WideString AttributeText(IpwProjectNode* node, std::int32_t id) {
  OleVariant value;
  if (!node || Failed(node->GetAttribute(id, value.Put())) || value.IsEmpty() || value.IsNull()) return {};
  return value.AsString();
}

WideString TypeCaption(IcvBaseManager* manager, IpwProjectNode* node) {
  try {
    return GetNodeTypeName(manager, node);
  } catch (...) {
    return {};
  }
}

WideString PendingName(IpwProjectNode* node, bool source) {
  for (ComPtr<IpwProjectNode> at(node); at; at = NodeParent(at.Get())) {
    if (auto save = QueryAs<IpwFileSaveSupport>(at.Get())) {
      BString name;
      if (Succeeded(source ? save->GetOldFileName(name.Put()) : save->GetNewFileName(name.Put()))) {
        WideString trimmed = WideTrim(name.View());
        if (!trimmed.empty()) return trimmed;
      }
    }
  }
  return GetStorageFileName(node);
}

}  // namespace

ComPtr<IcvOptionsProperties> PropertiesOf(IcvOptionsNode* node) {
  ComPtr<IcvOptionsProperties> properties;
  SafeCallCheck(node->GetProperties(properties.Put()));
  return properties;
}

ComPtr<IpwProjectService> GetProjectService(IcvBaseManager* manager) {
  return SoftService<IpwProjectService>(manager, kProjectServiceHost);
}
ComPtr<IpwReloadNotices> GetReloadNotices(IcvBaseManager* manager) {
  return SoftService<IpwReloadNotices>(manager, kProviderRegistryService);
}
ComPtr<IpwFileNotices> GetFileNotices(IcvBaseManager* manager) {
  return SoftService<IpwFileNotices>(manager, kFileNoticesService);
}

bool CheckElementFileName(IcvBaseManager* manager, IpwProjectNode* node, WideStringView name, WideStringView fileName,
                          bool always) {
  if (!IsValidFileName(name)) {
    WideString text = WideFormat(u"The '%s' name is not valid for %s.", {name, TypeCaption(manager, node)});
    text += kCrLf;
    text += u"The name cannot start with a dot or a space or have any of the following characters:";
    text += kCrLf;
    text += u"/ \\ : * ? \" < > |";
    ShowProjectError(manager, text, 4008);
    return false;
  }
  if (IsReservedDeviceName(name)) {
    ShowProjectError(manager,
                     WideFormat(u"The \"%s\" name cannot be used. It is reserved by the operating system as a "
                                u"device name.",
                                {name}),
                     0);
    return false;
  }
  WideString newPath = WideExtractFilePath(fileName) + WideString(name) + FileExtension(fileName);
  if ((always || !SameFileName(newPath, fileName)) && FileExistsName(newPath)) {
    ShowProjectError(manager,
                     WideFormat(u"A file with the name '%s' already exists on disk at this location.", {newPath}), 0);
    return false;
  }
  return true;
}

void NotifyFileRenamed(IcvBaseManager* manager, IpwProjectNode* node, WideStringView oldPath, WideStringView newPath) {
  if (auto notices = GetFileNotices(manager))
    SafeCallCheck(notices->FileRenamed(node, BString(oldPath).Get(), BString(newPath).Get()));
}

void NotifyBeforeReload(IcvBaseManager* manager, IpwProjectNode* node) {
  if (auto notices = GetReloadNotices(manager)) SafeCallCheck(notices->BeforeReload(node));
  if (auto files = GetFileNotices(manager)) SafeCallCheck(files->BeforeReload(node));
}

void NotifyAfterReload(IcvBaseManager* manager, IpwProjectNode* node) {
  if (auto notices = GetReloadNotices(manager)) SafeCallCheck(notices->AfterReload(node));
  if (auto files = GetFileNotices(manager)) SafeCallCheck(files->AfterReload(node));
}

bool IsReloadSettingOn(IcvBaseManager* manager) { return IsHostInteractive(manager); }

bool IsSecondReloadSettingOn(IcvBaseManager* manager) {
  auto state = GetHostState(manager);
  if (!state) return false;
  GUID answer{};
  SafeCallCheck(state->GetState(kHostModeQuestion, &answer));
  return answer == kHostModeRunning;
}

WideString ChildEntryName(std::int32_t index) {
  char text[32];
  std::snprintf(text, sizeof text, "Item%.10d", index);
  return AsciiToWide(text);
}

ComPtr<IcvOptionsNode> GetChildEntry(IcvOptionsNode* childList, std::int32_t index) {
  WideString oldName = u"Item" + IntToWide(index);
  WideString newName = ChildEntryName(index);
  ComPtr<IcvOptionsNode> old;
  WordBool exists = 0;
  if (oldName != newName) {
    SafeCallCheck(childList->NodeExists(oldName, &exists));
    if (exists) SafeCallCheck(childList->GetNode(oldName, old.Put()));
  }
  ComPtr<IcvOptionsNode> entry;
  SafeCallCheck(childList->GetNode(newName, entry.Put()));
  if (old) {
    SafeCallCheck(old->CopyTo(entry.Get()));
    SafeCallCheck(childList->DeleteNode(oldName));
  }
  return entry;
}

std::int32_t GetEntryIndex(IcvOptionsNode* entry) {
  std::int32_t value = -1;
  SafeCallCheck(PropertiesOf(entry)->GetInteger(u"Index", -1, &value));
  return value;
}

int CompareEntryIndex(IcvOptionsNode* a, IcvOptionsNode* b) {
  std::int32_t x = GetEntryIndex(a), y = GetEntryIndex(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

std::int32_t FindNameParam(IpwProjectNodeConfigInfo* config) {
  std::int32_t count = 0;
  SafeCallCheck(config->GetCount(&count));
  for (std::int32_t i = 0; i < count; ++i) {
    BString caption;
    SafeCallCheck(config->GetName(i, caption.Put()));
    if (SameTextIgnoringCase(caption.View(), u"&Name")) return i;
  }
  return -1;
}

WideString GetDefaultNodeFileName(IcvBaseManager* manager, IpwProjectNode* node) {
  WideString old;
  if (auto save = QueryAs<IpwFileSaveSupport>(node)) {
    BString name;
    if (Succeeded(save->GetOldFileName(name.Put()))) old = WideTrim(name.View());
  }
  // A node whose file is not moving: its old file is its file.
  if (old.empty()) old = AttributeText(node, 0);
  auto info = GetNodeInfo(manager, NodeTypeKey(node));
  if (!info) return old;
  ComPtr<IpwProjectNodeConfigInfo> config;
  SafeCallCheck(info->CreateConfigInfo(nullptr, config.Put()));
  auto fileConfig = QueryAs<IpwFileProjectNodeConfigInfo>(config.Get());
  if (!fileConfig) return old;
  OleVariant numbered;
  SafeCallCheck(info->GetProperty(11, numbered.Put()));
  WideString name = NodeName(node);
  if (!numbered.IsEmpty() && numbered.AsBool()) {
    std::int32_t i = FindNameParam(config.Get());
    if (i != -1) SafeCallCheck(config->SetValue(i, OleVariant(name).Get()));
  }
  ComPtr<IpwProjectNode> parent = NodeParent(node);
  BString full, sourceFolder, targetFolder;
  SafeCallCheck(fileConfig->GetFullFileName(full.Put()));
  WideString extension = FileExtension(full.View());
  SafeCallCheck(fileConfig->GetFileFolder(BString(WideExtractFilePath(GetPendingSourceFileName(parent.Get()))).Get(),
                                          sourceFolder.Put()));
  WideString candidate = WideIncludeTrailingBackslash(sourceFolder.View()) + name + extension;
  if (!SameFileName(old, candidate)) return old;
  SafeCallCheck(fileConfig->GetFileFolder(BString(WideExtractFilePath(GetPendingFileName(parent.Get()))).Get(),
                                          targetFolder.Put()));
  return WideIncludeTrailingBackslash(targetFolder.View()) + name + extension;
}

WideString GetPendingFileName(IpwProjectNode* node) { return node ? PendingName(node, false) : WideString(); }
WideString GetPendingSourceFileName(IpwProjectNode* node) { return node ? PendingName(node, true) : WideString(); }

GUID GetSourceControlMenuKey(IcvBaseManager* manager, IpwProjectNode* node) {
  auto menu = BuildSourceControlMenu(manager, node);
  if (!menu) return GUID_NULL;
  ComPtr<IpwMenuItems> items;
  if (Failed(menu->GetItems(items.Put())) || !items) return GUID_NULL;
  VARIANT_BOOL has = VARIANT_FALSE;
  if (Failed(items->HasItems(&has)) || !has) return GUID_NULL;
  GUID key{};
  SafeCallCheck(menu->GetKey(&key));
  return key;
}

WideString GetProjectFolder(IpwProjectNode* node) {
  auto project = FindParentProject(node);
  if (!project) return {};
  return WideExtractFilePath(AttributeText(project.Get(), 0));
}

ComPtr<IpwProjectNode> CreateNewChildItem(IcvBaseManager* manager, IpwProjectItemTypeProvider* types,
                                          IpwProjectNode* parent, const GUID& typeKey, WideStringView params) {
  std::int32_t count = 0;
  SafeCallCheck(types->GetItemTypeCount(&count));
  for (std::int32_t i = 0; i < count; ++i) {
    ComPtr<IpwProjectNodeInfo> info;
    if (Failed(types->GetItemTypeInfo(i, info.Put())) || !info) continue;
    GUID key{};
    SafeCallCheck(info->GetKey(&key));
    if (key != typeKey) continue;
    OleVariant single, typeName, display;
    SafeCallCheck(info->GetProperty(9, single.Put()));
    SafeCallCheck(info->GetProperty(0, typeName.Put()));
    SafeCallCheck(info->GetProperty(2, display.Put()));
    bool unique = !single.IsEmpty() && single.AsBool();
    if (unique && FindChildNodeByName(parent, typeName.AsString())) continue;
    GUID newKey{};
    OleCheck(CreateGuid(newKey));
    ComPtr<IpwProjectNode> node;
    if (Failed(types->CreateItem(typeKey, newKey, nullptr, manager, parent, node.Put())) || !node) continue;
    auto refuse = [&] {
      if (auto internal = QueryAs<IpwProjectNodeInternal>(node.Get())) internal->Finalize();
    };
    auto fileNode = QueryAs<IpwFileNode>(node.Get());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (!fileNode || Failed(fileNode->ReloadFromFile(BString(params).Get(), VARIANT_TRUE, &loaded)) || !loaded) {
      refuse();
      continue;
    }
    WideString fileName = AttributeText(node.Get(), 0);
    WideString name = NodeName(node.Get());
    bool clash = false;
    ForEachChild(parent, [&](IpwProjectNode* sibling) {
      if (sibling == node.Get()) return true;
      if (QueryAs<IpwFileNode>(sibling) && SameFileName(AttributeText(sibling, 0), fileName)) {
        ShowProjectError(manager, WideFormat(u"A child element with the '%s' file name already exists.", {fileName}),
                         0);
        clash = true;
        return false;
      }
      if (unique && SameTextIgnoringCase(NodeName(sibling), name)) {
        ShowProjectError(manager,
                         WideFormat(u"The %s '%s' cannot be added to the current %s, because an item with the "
                                    u"same name already exists.",
                                    {display.AsString(), name, TypeCaption(manager, parent)}),
                         0);
        clash = true;
        return false;
      }
      return true;
    });
    if (clash) {
      refuse();
      return nullptr;
    }
    return node;
  }
  return nullptr;
}

bool CreateFromInfo(IcvBaseManager* manager, IpwProjectNode* node, IcvOptionsNode* info) {
  WideString relPath;
  SafeCallCheck(PropertiesOf(info)->GetString(u"RelPath", u"", &relPath));
  auto lastError = QueryAs<IpwNodeLastError>(node);
  WideString display = TypeCaption(manager, node);
  if (WideTrim(relPath).empty()) {
    if (lastError) lastError->SetNodeError(0, BString(u"Information needed to create the element is invalid.").Get());
    else
      ShowProjectError(manager,
                       WideFormat(u"Unable to create the '%s' element, because information needed to create it is "
                                  u"invalid.",
                                  {display}),
                       4010);
    return false;
  }
  WideString path = ExpandFileNameRelative(GetProjectFolder(node), relPath);
  if (!FileExistsName(path)) {
    if (lastError) lastError->SetNodeError(101, BString(WideFormat(u"The '%s' file does not exist.", {path})).Get());
    else
      ShowProjectError(manager,
                       WideFormat(u"Unable to create the '%s' element, because the '%s' file needed to create it "
                                  u"does not exist.",
                                  {display, path}),
                       0);
    return false;
  }
  auto fileNode = QueryAs<IpwFileNode>(node);
  if (!fileNode) return false;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  SafeCallCheck(fileNode->ReloadFromFile(BString(path).Get(), VARIANT_FALSE, &loaded));
  return loaded != VARIANT_FALSE;
}

void WriteCreationInfo(IpwProjectNode* node, IcvOptionsNode* info) {
  WideString base = GetProjectFolder(node);
  WideString file = AttributeText(node, 0);
  SafeCallCheck(PropertiesOf(info)->SetString(u"RelPath", WideExtractRelativePath(base, file, false)));
}

void WriteCreationInfoFor(IcvBaseManager* manager, IpwProjectNode* node, IcvOptionsNode* info) {
  WideString file;
  if (auto save = QueryAs<IpwFileSaveSupport>(node)) {
    BString name;
    if (Succeeded(save->GetNewFileName(name.Put()))) file = WideTrim(name.View());
  }
  if (file.empty()) file = GetDefaultNodeFileName(manager, node);
  SafeCallCheck(
      PropertiesOf(info)->SetString(u"RelPath", WideExtractRelativePath(GetProjectFolder(node), file, false)));
}

}  // namespace pw::project
