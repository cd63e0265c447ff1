#include "project/nodes/dialogs.h"

#include <sys/stat.h>

#include <atomic>

#include "core/files/file_utils.h"
#include "core/host/host_settings.h"
#include "platform/automation/bstr.h"
#include "platform/automation/variant.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"
#include "project/nodes/project_helpers.h"
#include "project/types/node_info.h"

namespace pw::project {

namespace {
std::atomic<bool> gSamplesFolderOffered{false};
GUID gDialogContext = kNodeRegistryService;

bool IsFolder(WideStringView name) {
  struct stat st {};
  return !name.empty() && ::stat(WideToUtf8(name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool Exists(WideStringView name) {
  struct stat st {};
  return !name.empty() && ::stat(WideToUtf8(name).c_str(), &st) == 0;
}

WideString HostFolder(IcvBaseManager* manager) {
  ComPtr<IpwHostInformation> info;
  SafeCallCheck(manager->GetInformation(info.Put()));
  if (!info) return {};
  BString folder;
  SafeCallCheck(info->GetFolder(folder.Put()));
  return folder.Str();
}

std::vector<WideString> Lines(WideStringView text) {
  std::vector<WideString> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of(u"\r\n", start);
    if (end == WideStringView::npos) end = text.size();
    WideString line = WideTrim(text.substr(start, end - start));
    if (!line.empty()) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

WideString Join(const std::vector<WideString>& parts, WideStringView separator) {
  WideString r;
  for (std::size_t i = 0; i < parts.size(); ++i) r += (i ? WideString(separator) : WideString()) + parts[i];
  return r;
}

WideString WithoutExtension(WideStringView name) {
  auto dot = name.rfind(u'.');
  return WideString(dot == WideStringView::npos ? name : name.substr(0, dot));
}
}  // namespace

bool ShowOpenFileDialog(IcvBaseManager* manager, WideStringView title, WideStringView filter, WideString& fileNames,
                        bool allowSeveral, bool fileMustExist, bool pathMustExist) {
  auto dialogs = GetDialogService(manager);
  if (!dialogs) return false;
  std::int32_t options =
      0x80004 | (allowSeveral ? 0x40 : 0) | (fileMustExist ? 0x200 : 0) | (pathMustExist ? 0x100 : 0);
  if (!gSamplesFolderOffered && WideTrim(fileNames).empty()) {
    fileNames = HostFolder(manager) + u"../Samples/";
    if (!IsFolder(fileNames)) {
      OleVariant setting = GetSettingValue(manager, kSamplesFolderSetting);
      if (!setting.IsEmpty()) {
        fileNames = setting.AsString();
        if (!IsFolder(fileNames)) fileNames.clear();
      }
    }
  }
  BString names(fileNames);
  BSTR value = names.Detach();
  std::int32_t filterIndex = 1;
  VARIANT_BOOL ok = VARIANT_FALSE;
  HRESULT hr = dialogs->OpenFileDialog(&gDialogContext, BString(title).Get(), &value, BString(filter).Get(),
                                       &filterIndex, options, &ok);
  names = BString::Attach(value);
  SafeCallCheck(hr);
  fileNames = names.Str();
  if (ok) gSamplesFolderOffered = true;
  return ok != VARIANT_FALSE;
}

bool ShowSaveFileDialog(IcvBaseManager* manager, WideStringView title, WideStringView filter, WideStringView defaultExt,
                        WideString& fileName, bool noReadOnlyReturn) {
  std::int32_t mode = 0;
  if (manager) SafeCallCheck(manager->GetHostMode(&mode));
  if (mode != 0)
    return IsValidPathName(RemoveTrailingDelimiter(WideExtractFilePath(fileName))) &&
           IsValidFileName(WideExtractFileName(fileName));
  auto dialogs = GetDialogService(manager);
  if (!dialogs) return false;
  BSTR value = SysAllocString(fileName);
  std::int32_t filterIndex = 1;
  VARIANT_BOOL ok = VARIANT_FALSE;
  HRESULT hr =
      dialogs->SaveFileDialog(&gDialogContext, BString(title).Get(), &value, BString(filter).Get(), &filterIndex,
                              BString(defaultExt).Get(), 0x80006 | (noReadOnlyReturn ? 0x1000 : 0), &ok);
  BString name = BString::Attach(value);
  SafeCallCheck(hr);
  fileName = name.Str();
  return ok != VARIANT_FALSE;
}

bool ShowSelectFolderDialog(IcvBaseManager* manager, WideStringView caption, WideString& folder) {
  auto dialogs = GetDialogService(manager);
  if (!dialogs) return false;
  BSTR value = SysAllocString(folder);
  VARIANT_BOOL ok = VARIANT_FALSE;
  HRESULT hr = dialogs->SelectFolderDialog(&gDialogContext, BString(caption).Get(), &value, &ok);
  BString held = BString::Attach(value);
  SafeCallCheck(hr);
  folder = held.Str();
  return ok != VARIANT_FALSE;
}

bool ShowSaveAsDialog(IcvBaseManager* manager, IpwProjectNode* node, WideString& fileName, WideStringView extension,
                      bool noReadOnlyReturn) {
  auto info = GetNodeInfo(manager, NodeTypeKey(node));
  OleVariant caption, numbered;
  if (info) {
    SafeCallCheck(info->GetProperty(kInfoCaption, caption.Put()));
    SafeCallCheck(info->GetProperty(kInfoNumberedNames, numbered.Put()));
  }
  WideString typeCaption = caption.IsEmpty() ? WideString() : caption.AsString();
  WideString title = WideFormat(u"Save %s As", {typeCaption});
  if (!numbered.IsEmpty() && numbered.AsBool()) {
    WideString ext(extension);
    ComPtr<IpwFileProjectNodeInfo> file;
    if (ext.empty() && info && Succeeded(info->QueryInterface(IpwFileProjectNodeInfo::iid, file.PutVoid())) && file) {
      BString e;
      SafeCallCheck(file->GetFileExtension(e.Put()));
      ext = e.Str();
    }
    WideString filter = WideFormat(u"%s File (*%s)|*%s", {typeCaption, ext, ext});
    filter = WideFormat(u"%s|All Files (*.*)|*.*", {filter});
    return ShowSaveFileDialog(manager, title, filter, ext, fileName, noReadOnlyReturn);
  }
  // The name (and with it the file name) is fixed: only the folder is chosen.
  if (!WideTrim(fileName).empty()) {
    title = WideFormat(u"Select the folder that will store the '%s' file.", {WideExtractFileName(fileName)});
  } else {
    OleVariant stored;
    if (Succeeded(node->GetAttribute(0, stored.Put())) && !stored.IsEmpty() && !WideTrim(stored.AsString()).empty())
      title = WideFormat(u"Select the folder that will store the '%s' file.", {WideExtractFileName(stored.AsString())});
  }
  WideString folder = WideExtractFilePath(fileName);
  if (!ShowSelectFolderDialog(manager, title, folder)) return false;
  WideString name = WideExtractFileName(fileName);
  WideString target = WideIncludeTrailingBackslash(folder) + name;
  if (Exists(target)) {
    ShowProjectError(
        manager,
        WideFormat(u"A file with the name '%s' already exists on disk at this location.", {WithoutExtension(name)}), 0);
    return false;
  }
  fileName = target;
  return true;
}

WideString AddExistingChildFilter(IcvBaseManager* manager, IpwProjectNode* parent) {
  GUID parentType = parent ? NodeTypeKey(parent) : GUID_NULL;
  std::vector<WideString> entries, allPatterns;
  std::size_t typeCount = 0;
  for (const auto& info : GetAllNodeInfos(manager)) {
    ComPtr<IpwFileProjectNodeInfo> file;
    if (Failed(info->QueryInterface(IpwFileProjectNodeInfo::iid, file.PutVoid())) || !file) continue;
    GUID parentKey{}, key{};
    SafeCallCheck(info->GetParentTypeKey(&parentKey));
    SafeCallCheck(info->GetKey(&key));
    if (parentKey != parentType) continue;
    OleVariant single, caption;
    SafeCallCheck(info->GetProperty(kInfoSingleInstance, single.Put()));
    if (single.AsBool() && HasChildOfType(parent, key)) continue;
    SafeCallCheck(info->GetProperty(kInfoCaption, caption.Put()));
    ++typeCount;
    BString extensions;
    SafeCallCheck(file->GetFileExtension(extensions.Put()));
    std::vector<WideString> patterns;
    for (const auto& ext : Lines(extensions.View())) {
      patterns.push_back(u"*" + ext);
      allPatterns.push_back(u"*" + ext);
    }
    WideString joined = Join(patterns, u"; ");
    if (!joined.empty()) entries.push_back(WideFormat(u"%s File (%s)|%s", {caption.AsString(), joined, joined}));
  }
  WideString filter = Join(entries, u"|");
  if (typeCount > 1) {
    if (!allPatterns.empty()) {
      WideString all = Join(allPatterns, u"; ");
      filter = WideFormat(u"All Supported Child Files (%s)|%s", {all, all}) + u"|" + filter;
    } else {
      filter.clear();
    }
  }
  return WideFormat(u"%s|All Files (*.*)|*.*", {filter});
}

bool ShowAddExistingChildDialog(IcvBaseManager* manager, IpwProjectNode* parent, WideString& fileNames) {
  WideString title = WideFormat(u"Add Existing Child - %s", {parent ? NodeName(parent) : WideString()});
  return ShowOpenFileDialog(manager, title, AddExistingChildFilter(manager, parent), fileNames, true, false, false);
}

}  // namespace pw::project
