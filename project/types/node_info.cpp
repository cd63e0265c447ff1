#include "project/types/node_info.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>

#include "core/files/file_utils.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/rtl/rtl_lists.h"
#include "platform/rtl/strings.h"
#include "platform/ui/resources.h"
#include "project/nodes/node_helpers.h"
#include "project/nodes/project_helpers.h"
#include "project/types/name_rules.h"

namespace pw::project {

namespace {
WideString Text(const WideString* p) { return p ? *p : WideString(); }

bool PathExists(WideStringView name) {
  struct stat st {};
  return !name.empty() && ::stat(WideToUtf8(name).c_str(), &st) == 0;
}

bool FileExists(WideStringView name) {
  struct stat st {};
  return !name.empty() && ::stat(WideToUtf8(name).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// The host program's folder (with its delimiter) and file.
WideString HostFileName(IcvBaseManager* manager) {
  if (!manager) return {};
  ComPtr<IpwHostInformation> info;
  SafeCallCheck(manager->GetInformation(info.Put()));
  if (!info) return {};
  BString name;
  SafeCallCheck(info->GetFileName(name.Put()));
  return name.Str();
}

WideString ResolveHostRelative(IcvBaseManager* manager, const WideString* name, WideStringView fallback) {
  WideString hostFile = HostFileName(manager);
  WideString folder = WideExtractFilePath(hostFile);
  WideString result;
  if (!name)
    result = fallback.empty() ? hostFile : folder + WideString(fallback);
  else
    result = ExpandAndSearchFileName(folder, *name);
  return FileExists(result) ? result : WideString();
}
}  // namespace

bool IsReservedDeviceName(WideStringView name) {
  static constexpr WideStringView kDevices =
      u"|CON|PRN|AUX|NUL|COM1|COM2|COM3|COM4|COM5|COM6|COM7|COM8|COM9|LPT1|"
      u"LPT2|LPT3|LPT4|LPT5|LPT6|LPT7|LPT8|LPT9|";
  WideString wrapped = u"|" + WideUpperCase(name) + u"|";
  return WideString(kDevices).find(wrapped) != WideString::npos;
}

bool FolderExists(WideStringView folder) {
  struct stat st {};
  return !folder.empty() && ::stat(WideToUtf8(folder).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ---- TpwProjectNodeInfo

TpwProjectNodeInfo::TpwProjectNodeInfo(IcvBaseManager* owner, const TProjectNodeInfo& info)
    : owner_(owner), info_(info) {}

TpwProjectNodeInfo::~TpwProjectNodeInfo() {
  if (bitmap_) DeleteGdiObject(bitmap_);
}

void* TpwProjectNodeInfo::GetInterface(const IID& riid) noexcept {
  if (riid == IpwFileProjectNodeInfo::iid && !IsFileInfo()) return nullptr;
  return Implements::GetInterface(riid);
}

OleVariant TpwProjectNodeInfo::Property(std::int32_t index) {
  switch (index) {
    case kInfoTypeName:
      return Text(info_.typeName);
    case kInfoBitmap:
      if (!bitmap_ && !info_.bitmapName.empty()) bitmap_ = LoadModuleBitmap(WideToUtf8(info_.bitmapName).c_str());
      return OleVariant(static_cast<std::int32_t>(bitmap_));
    case kInfoCaption:
      return Text(info_.caption);
    case kInfoDescription:
      return Text(info_.description);
    case kInfoLongDescription:
      return Text(info_.longDescription);
    case kInfoNumber:
      return OleVariant(info_.number);
    case kInfoFile:
      return ResolveHostRelative(owner_.Get(), info_.infoFile, {});
    case kInfoText:
      return info_.text;
    case kInfoHelpFile:
      return ResolveHostRelative(owner_.Get(), info_.helpFile, u"ProjectWizard.chm");
    case kInfoSingleInstance:
      return OleVariant(info_.singleInstance);
    case kInfoFlag10:
      return OleVariant(info_.flag10);
    case kInfoNumberedNames:
      return OleVariant(info_.numberedNames);
    case kInfoFlag12:
      return OleVariant(info_.flag12);
    case kInfoFlag13:
      return OleVariant(info_.flag13);
    default:
      throw EOleSysError(u"The item type has no property with this index.", E_INVALIDARG);
  }
}

HRESULT TpwProjectNodeInfo::GetKey(GUID* key) {
  return SafeCall([&] {
    if (!key) throw EOleSysError(u"Invalid pointer", E_POINTER);
    *key = info_.typeKey ? *info_.typeKey : GUID_NULL;
  });
}

HRESULT TpwProjectNodeInfo::GetProperty(std::int32_t index, VARIANT* value) {
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"Invalid pointer", E_POINTER);
    OleVariant v = Property(index);
    VariantInit(value);
    *value = v.Detach();
  });
}

HRESULT TpwProjectNodeInfo::GetParentTypeKey(GUID* key) {
  return SafeCall([&] {
    if (!key) throw EOleSysError(u"Invalid pointer", E_POINTER);
    *key = info_.parentTypeKey ? *info_.parentTypeKey : GUID_NULL;
  });
}

HRESULT
TpwProjectNodeInfo::CreateConfigInfo(IpwProjectNode* parent, IpwProjectNodeConfigInfo** configInfo) {
  return SafeCall([&] {
    if (!configInfo) throw EOleSysError(u"Invalid pointer", E_POINTER);
    *configInfo = nullptr;
    if (!info_.configClass) return;
    auto made = info_.configClass(owner_.Get(), static_cast<IpwFileProjectNodeInfo*>(this), parent);
    *configInfo = made.Detach();
  });
}

HRESULT TpwProjectNodeInfo::GetDefaultFileName(BSTR* fileName) {
  return SafeCall([&] {
    if (!fileName) throw EOleSysError(u"Invalid pointer", E_POINTER);
    *fileName = SysAllocString(Text(info_.defaultFileName));
  });
}

HRESULT TpwProjectNodeInfo::GetFileExtension(BSTR* extension) {
  return SafeCall([&] {
    if (!extension) throw EOleSysError(u"Invalid pointer", E_POINTER);
    *extension = SysAllocString(Text(info_.fileExtension));
  });
}

HRESULT TpwProjectNodeInfo::GetPluginName(BSTR* name) {
  return SafeCall([&] {
    if (!name) throw EOleSysError(u"Invalid pointer", E_POINTER);
    *name = SysAllocString(Text(info_.pluginName));
  });
}

// ---- TpwProjectNodeConfigInfo

TpwProjectNodeConfigInfo::TpwProjectNodeConfigInfo(IcvBaseManager* owner, IpwProjectNodeInfo* nodeInfo,
                                                   IpwProjectNode* parent)
    : owner_(owner), nodeInfo_(nodeInfo), parent_(parent) {}

void TpwProjectNodeConfigInfo::Setup() {
  params_.clear();
  for (auto& name : GetParamNames()) params_.push_back({std::move(name), OleVariant()});
  InitDefaults();
}

const TpwCfgParam& TpwProjectNodeConfigInfo::Param(std::int32_t index) const {
  if (index < 0 || index >= ParamCount()) throw EListError(ListIndexErrorMessage(index));
  return params_[static_cast<std::size_t>(index)];
}

void TpwProjectNodeConfigInfo::SetParamValue(std::int32_t index, const OleVariant& value) {
  Param(index);
  params_[static_cast<std::size_t>(index)].Value = value;
}

OleVariant TpwProjectNodeConfigInfo::InfoProperty(std::int32_t index) const {
  OleVariant value;
  if (nodeInfo_) SafeCallCheck(nodeInfo_->GetProperty(index, value.Put()));
  return value;
}

bool TpwProjectNodeConfigInfo::Validate(std::int32_t& badIndex) {
  if (parent_ && InfoBool(kInfoSingleInstance)) {
    GUID key{};
    SafeCallCheck(nodeInfo_->GetKey(&key));
    if (HasChildOfType(parent_.Get(), key)) {
      ShowProjectError(owner_.Get(),
                       WideFormat(u"The type of the element you are trying to "
                                  u"add is '%s'. An element of this type "
                                  u"already exists.\r\nThere can be only one "
                                  u"element of this type in the parent node.",
                                  {InfoText(kInfoCaption)}),
                       0);
      badIndex = 0;
      return false;
    }
  }
  for (std::int32_t i = 0; i < ParamCount(); ++i) {
    if (!ValidateParam(i)) {
      badIndex = i;
      return false;
    }
  }
  badIndex = -1;
  return true;
}

HRESULT TpwProjectNodeConfigInfo::GetCount(std::int32_t* count) {
  return SafeCall([&] {
    if (!count) throw EOleSysError(u"Invalid pointer", E_POINTER);
    *count = ParamCount();
  });
}

HRESULT TpwProjectNodeConfigInfo::GetName(std::int32_t index, BSTR* name) {
  return SafeCall([&] {
    if (!name) throw EOleSysError(u"Invalid pointer", E_POINTER);
    *name = SysAllocString(Param(index).Name);
  });
}

HRESULT TpwProjectNodeConfigInfo::GetValue(std::int32_t index, VARIANT* value) {
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"Invalid pointer", E_POINTER);
    OleVariant copy = Param(index).Value;
    VariantInit(value);
    *value = copy.Detach();
  });
}

HRESULT TpwProjectNodeConfigInfo::SetValue(std::int32_t index, const VARIANT& value) {
  return SafeCall([&] { SetParamValue(index, OleVariant(value)); });
}

HRESULT TpwProjectNodeConfigInfo::Validate(std::int32_t* badIndex, VARIANT_BOOL* ok) {
  return SafeCall([&] {
    if (!badIndex || !ok) throw EOleSysError(u"Invalid pointer", E_POINTER);
    std::int32_t bad = -1;
    bool passed = Validate(bad);
    *badIndex = bad;
    *ok = ToWordBool(passed);
  });
}

// ---- TpwNamedProjectNodeConfigInfo

std::vector<WideString> TpwNamedProjectNodeConfigInfo::GetParamNames() {
  auto names = TpwProjectNodeConfigInfo::GetParamNames();
  nameIndex_ = static_cast<std::int32_t>(names.size());
  names.push_back(u"&Name");
  return names;
}

void TpwNamedProjectNodeConfigInfo::InitDefaults() {
  TpwProjectNodeConfigInfo::InitDefaults();
  SetParamValue(nameIndex_, GenerateDefaultName());
}

std::vector<WideString> TpwNamedProjectNodeConfigInfo::CollectSiblingNames() const {
  std::vector<WideString> names;
  if (!parent_ || InfoBool(kInfoSingleInstance)) return names;
  ForEachChild(parent_.Get(), [&](IpwProjectNode* child) {
    names.push_back(NodeName(child));
    return true;
  });
  std::sort(names.begin(), names.end(), IgnoringCaseLess());
  return names;
}

namespace {
bool InSorted(const std::vector<WideString>& names, WideStringView name) {
  return std::binary_search(names.begin(), names.end(), name, IgnoringCaseLess());
}
}  // namespace

WideString TpwNamedProjectNodeConfigInfo::GenerateDefaultName() {
  auto siblings = CollectSiblingNames();
  WideString base = InfoText(kInfoTypeName);
  if (!InfoBool(kInfoNumberedNames)) return base;
  for (long long n = 1;; ++n) {
    WideString candidate = base + IntToWide(n);
    if (!InSorted(siblings, candidate)) return candidate;
  }
}

bool TpwNamedProjectNodeConfigInfo::Validate(std::int32_t& badIndex) {
  if (!TpwProjectNodeConfigInfo::Validate(badIndex)) return false;
  if (!parent_) return true;
  WideString name = Name();
  if (FindChildNodeByName(parent_.Get(), name)) {
    ShowProjectError(owner_.Get(),
                     WideFormat(u"The %s '%s' cannot be added to the current "
                                u"%s, because an item with the same name "
                                u"already exists.",
                                {InfoText(kInfoCaption), name, GetNodeTypeName(owner_.Get(), parent_.Get())}),
                     0);
    badIndex = nameIndex_;
    return false;
  }
  return true;
}

bool TpwNamedProjectNodeConfigInfo::ValidateParam(std::int32_t index) {
  if (index != nameIndex_) return true;
  WideString name = Name();
  if (WideTrim(name).empty()) {
    ShowProjectError(owner_.Get(), kEmptyNameMessage, 0);
    return false;
  }
  if (!InfoBool(kInfoNumberedNames) && name != InfoText(kInfoTypeName)) {
    ShowProjectError(owner_.Get(), WideFormat(kNameCannotChangeMessage, {InfoText(kInfoCaption)}), 4007);
    SetParamValue(nameIndex_, InfoText(kInfoTypeName));
    return false;
  }
  if (name.size() > kMaxNameLength) {
    ShowProjectError(owner_.Get(), kNameTooLongMessage, 4137);
    return false;
  }
  std::int32_t mode = GetNameCheckMode();
  WideString corrected, message;
  std::int32_t context = 0;
  if (mode == 1) {
    if (CorrectFileName(name, corrected)) return true;
    message = FileNameRuleMessage(name, InfoText(kInfoCaption));
  } else if (mode == 2 || mode == 3) {
    GUID language = mode == 3 ? kLetterFirstLanguageKey : GetProjectLanguage(parent_.Get(), owner_.Get());
    if (CorrectIdentifier(name, language, corrected)) return true;
    message = IdentifierRuleMessage(name, InfoText(kInfoCaption), language == kLetterFirstLanguageKey);
    context = 4078;
  } else {
    return true;
  }
  if (WideTrim(corrected).empty()) {
    ShowProjectError(owner_.Get(), message, context);
    return false;
  }
  if (AskCorrection(owner_.Get(), CorrectionQuestion(message, corrected)) != 1) return false;
  SetParamValue(nameIndex_, corrected);
  return true;
}

// ---- TpwFileProjectNodeConfigInfo

std::vector<WideString> TpwFileProjectNodeConfigInfo::GetParamNames() {
  auto names = TpwNamedProjectNodeConfigInfo::GetParamNames();
  locationIndex_ = static_cast<std::int32_t>(names.size());
  names.push_back(u"&Location");
  return names;
}

void TpwFileProjectNodeConfigInfo::InitDefaults() {
  TpwNamedProjectNodeConfigInfo::InitDefaults();
  SetParamValue(locationIndex_, WideExtractFilePath(GenerateFileName({})));
}

WideString TpwFileProjectNodeConfigInfo::GenerateDefaultName() {
  WideString name = WideExtractFileName(GenerateFileName({}));
  WideString ext = GetTypeFileExtension();
  if (!ext.empty() && name.size() >= ext.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0)
    name.resize(name.size() - ext.size());
  return name;
}

WideString TpwFileProjectNodeConfigInfo::GetTypeFileExtension() const {
  ComPtr<IpwFileProjectNodeInfo> info;
  if (!nodeInfo_ || Failed(nodeInfo_->QueryInterface(IpwFileProjectNodeInfo::iid, info.PutVoid())) || !info) return {};
  BString ext;
  SafeCallCheck(info->GetFileExtension(ext.Put()));
  return ext.Str();
}

WideString TpwFileProjectNodeConfigInfo::GetDefaultFolder() {
  if (!parent_) return WideString(1, kPathDelimiter);
  for (ComPtr<IpwProjectNode> node = parent_; node; node = NodeParent(node.Get())) {
    ComPtr<IpwPersistentProjectNode> persistent;
    if (Succeeded(node->QueryInterface(IpwPersistentProjectNode::iid, persistent.PutVoid())) && persistent)
      return WideExtractFilePath(GetStorageFileName(node.Get()));
  }
  return {};
}

bool TpwFileProjectNodeConfigInfo::CandidateTaken(WideStringView dir, WideStringView candidate, WideStringView ext) {
  return PathExists(WideString(dir) + WideString(candidate) + WideString(ext));
}

WideString TpwFileProjectNodeConfigInfo::GenerateFileName(WideStringView folder) {
  auto siblings = CollectSiblingNames();
  WideString dir = WideTrim(folder).empty() ? GetDefaultFolder() : WideIncludeTrailingBackslash(folder);
  ComPtr<IpwFileProjectNodeInfo> info;
  WideString base;
  if (nodeInfo_ && Succeeded(nodeInfo_->QueryInterface(IpwFileProjectNodeInfo::iid, info.PutVoid())) && info) {
    BString b;
    SafeCallCheck(info->GetDefaultFileName(b.Put()));
    base = b.Str();
  }
  WideString ext = GetTypeFileExtension();
  if (!InfoBool(kInfoNumberedNames)) return dir + base + ext;
  for (long long n = 1;; ++n) {
    WideString candidate = base + IntToWide(n);
    if (!InSorted(siblings, candidate) && !CandidateTaken(dir, candidate, ext)) return dir + candidate + ext;
  }
}

WideString TpwFileProjectNodeConfigInfo::GetFileName() {
  WideString location = WideTrimRight(RemoveTrailingDelimiter(Param(locationIndex_).Value.AsString()));
  return location + kPathDelimiter + Name() + GetTypeFileExtension();
}

WideString TpwFileProjectNodeConfigInfo::GetFileFolder(WideStringView folder) {
  return WideExtractFilePath(GenerateFileName(folder));
}

bool TpwFileProjectNodeConfigInfo::DeleteFile(WideStringView fileName) {
  return ::unlink(WideToUtf8(fileName).c_str()) == 0;
}

bool TpwFileProjectNodeConfigInfo::ValidateParam(std::int32_t index) {
  if (index == locationIndex_) {
    if (!IsValidPathName(Param(locationIndex_).Value.AsString())) {
      ShowProjectError(owner_.Get(), u"The location must be a fully qualified folder name.", 4138);
      return false;
    }
    return true;
  }
  if (!TpwNamedProjectNodeConfigInfo::ValidateParam(index)) return false;
  if (index == nameIndex_ && IsReservedDeviceName(Name())) {
    ShowProjectError(owner_.Get(),
                     u"The \"" + Name() +
                         u"\" name cannot be used. It is reserved by the "
                         u"operating system as a device name.",
                     0);
    return false;
  }
  return true;
}

namespace {
// The nearest existing folder at or above the folder of FileName.
WideString NearestExistingFolder(WideStringView fileName) {
  WideString dir = RemoveTrailingDelimiter(WideExtractFilePath(fileName));
  while (!dir.empty() && !FolderExists(dir)) {
    WideString up = RemoveTrailingDelimiter(WideExtractFilePath(dir));
    if (up == dir) break;
    dir = up;
  }
  return dir.empty() ? WideString(1, kPathDelimiter) : dir;
}
}  // namespace

bool TpwFileProjectNodeConfigInfo::Validate(std::int32_t& badIndex) {
  if (!TpwNamedProjectNodeConfigInfo::Validate(badIndex)) return false;
  WideString fileName = GetFileName();
  if (auto user = FindNodeByFileName(owner_.Get(), fileName, nullptr)) {
    ShowProjectError(owner_.Get(),
                     WideFormat(u"The '%s' file already exists and it is used "
                                u"by the '%s' item in the project suite.",
                                {fileName, GetNodePath(user.Get(), nullptr)}),
                     4098);
    badIndex = locationIndex_;
    return false;
  }
  if (fileName.size() > kMaxNameLength) {
    ShowProjectError(owner_.Get(), kNameTooLongMessage, 4137);
    badIndex = nameIndex_;
    return false;
  }
  // The file system that would hold the file: it must be there and writable.
  WideString volume = NearestExistingFolder(fileName);
  struct statvfs fs {};
  if (::statvfs(WideToUtf8(volume).c_str(), &fs) != 0 || (fs.f_flag & ST_RDONLY)) {
    ShowProjectError(owner_.Get(),
                     WideFormat(u"%s cannot be created, since the specified drive or "
                                u"network path '%s' is invalid, "
                                u"read-only or contains a name reserved for the system.",
                                {InfoText(kInfoCaption), volume}),
                     0);
    badIndex = locationIndex_;
    return false;
  }
  WideString folder = RemoveTrailingDelimiter(WideExtractFilePath(fileName));
  if (!folder.empty() && !FolderExists(folder)) {
    std::vector<WideString> created;
    bool made = ForceFolders(folder, created);
    for (auto it = created.rbegin(); it != created.rend(); ++it) ::rmdir(WideToUtf8(*it).c_str());
    if (!made) {
      ShowProjectError(owner_.Get(), u"Unable to create the directory \"" + folder + u"\".", 0);
      badIndex = locationIndex_;
      return false;
    }
  }
  if (PathExists(fileName)) {
    if (!ConfirmProject(owner_.Get(),
                        WideFormat(u"The %s cannot be created, because the "
                                   u"file '%s' already exists.",
                                   {InfoText(kInfoCaption), fileName}) +
                            u"\r\n\r\nDo you want to overwrite it?",
                        4106)) {
      badIndex = locationIndex_;
      return false;
    }
    if (!DeleteFile(fileName)) {
      ShowProjectError(owner_.Get(), WideFormat(u"Unable to delete the '%s' file.", {fileName}), 0);
      badIndex = locationIndex_;
      return false;
    }
  }
  badIndex = -1;
  return true;
}

HRESULT TpwFileProjectNodeConfigInfo::GetFileFolder(BSTR folder, BSTR* result) {
  return SafeCall([&] {
    if (!result) throw EOleSysError(u"Invalid pointer", E_POINTER);
    *result = SysAllocString(GetFileFolder(BstrView(folder)));
  });
}

HRESULT TpwFileProjectNodeConfigInfo::GetFileExtension(BSTR* extension) {
  return SafeCall([&] {
    if (!extension) throw EOleSysError(u"Invalid pointer", E_POINTER);
    *extension = SysAllocString(GetTypeFileExtension());
  });
}

HRESULT TpwFileProjectNodeConfigInfo::GetFullFileName(BSTR* fileName) {
  return SafeCall([&] {
    if (!fileName) throw EOleSysError(u"Invalid pointer", E_POINTER);
    *fileName = SysAllocString(GetFileName());
  });
}

// ---- TpwFileProjectNodeSeparateFolderConfigInfo

bool TpwFileProjectNodeSeparateFolderConfigInfo::CandidateTaken(WideStringView dir, WideStringView candidate,
                                                                WideStringView) {
  return PathExists(WideString(dir) + WideString(candidate));
}

WideString TpwFileProjectNodeSeparateFolderConfigInfo::GetFileName() {
  WideString location = WideTrimRight(RemoveTrailingDelimiter(Param(locationIndex_).Value.AsString()));
  return location + kPathDelimiter + WideTrimRight(Name()) + kPathDelimiter + Name() + GetTypeFileExtension();
}

WideString TpwFileProjectNodeSeparateFolderConfigInfo::GetFileFolder(WideStringView folder) {
  WideString generated = GenerateFileName(folder);
  WideString part = WideExtractFilePath(generated);
  if (!parent_) return part + Name() + kPathDelimiter;
  WideString base = WideExtractFileName(generated);
  WideString ext = GetTypeFileExtension();
  if (!ext.empty() && base.size() >= ext.size() && base.compare(base.size() - ext.size(), ext.size(), ext) == 0)
    base.resize(base.size() - ext.size());
  return part + base + kPathDelimiter;
}

bool TpwFileProjectNodeSeparateFolderConfigInfo::ValidateParam(std::int32_t index) {
  if (index != locationIndex_) return TpwFileProjectNodeConfigInfo::ValidateParam(index);
  WideString path =
      WideIncludeTrailingBackslash(Param(locationIndex_).Value.AsString()) + WideTrimRight(Name()) + kPathDelimiter;
  if (!IsValidPathName(path)) {
    ShowProjectError(owner_.Get(), u"The location must be a fully qualified folder name.", 4138);
    return false;
  }
  return true;
}

}  // namespace pw::project
