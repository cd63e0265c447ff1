#include "project/storage/project_node.h"

#include <unistd.h>

#include <algorithm>

#include "core/files/file_utils.h"
#include "core/host/host_services.h"
#include "core/options/options_tree.h"
#include "core/options/options_xml_storage.h"
#include "platform/automation/bstr.h"
#include "platform/automation/out_params.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"
#include "project/actions/action_tables.h"
#include "project/actions/project_actions.h"
#include "project/nodes/companions.h"
#include "project/nodes/dialogs.h"
#include "project/nodes/node_helpers.h"
#include "project/nodes/observers.h"
#include "project/nodes/project_helpers.h"
#include "project/nodes/small_services.h"
#include "project/storage/node_file_helpers.h"
#include "project/storage/node_storage.h"

namespace pw::project {

namespace {

ComPtr<IcvOptionsNode> AsOptionsNode(IUnknown* object) {
  ComPtr<IcvOptionsNode> node;
  if (!object || Failed(object->QueryInterface(IcvOptionsNode::iid, node.PutVoid())) || !node)
    throw EOleSysError(u"The entry is not an options node.", E_INVALIDARG);
  return node;
}

// The project-node actions a node serves: Save, Save As, Properties, Reload.
const GUID& ActionKey(std::size_t index) { return NodeActions()[index].Key; }
constexpr std::size_t kSaveAction = 2, kSaveAsAction = 3, kPropertiesAction = 4, kReloadAction = 5;

std::vector<GUID> HandledActions(bool fileStorage) {
  if (!fileStorage) return {ActionKey(kSaveAction)};
  return {ActionKey(kSaveAction), ActionKey(kSaveAsAction), ActionKey(kPropertiesAction), ActionKey(kReloadAction)};
}

// The menu a persistent node fills for its context.
constexpr GUID kNodeContextMenu = MakeGuid("{05F2D106-C156-4279-B995-B8A431F87F86}");

}  // namespace

TpwProjectNode::TpwProjectNode(IpwProjectNode* parent, const GUID& typeKey, const GUID& key, std::uint8_t storageKind)
    : Implements(parent, typeKey, key) {
  if (storageKind == kFileStorageKind) storage_ = std::make_unique<TpwNodeFileStorage>(this);
  else if (storageKind == kParentStorageKind) storage_ = std::make_unique<TpwNodeVirtualStorage>(this);
  else throw EOleSysError(u"Unknown storage kind.", E_INVALIDARG);
  storage_->Initialize();
}

TpwProjectNode::~TpwProjectNode() { storage_.reset(); }

TpwNodeFileStorage* TpwProjectNode::FileStorage() const { return dynamic_cast<TpwNodeFileStorage*>(storage_.get()); }
TpwNodeVirtualStorage* TpwProjectNode::VirtualStorage() const {
  return dynamic_cast<TpwNodeVirtualStorage*>(storage_.get());
}

WideString TpwProjectNode::FileName() const {
  auto file = FileStorage();
  return file ? file->FileName() : WideString();
}

void* TpwProjectNode::GetInterface(const IID& riid) noexcept {
  const bool file = FileStorage() != nullptr;
  if (riid == IpwProjectNode::iid || riid == IcvKeyItem::iid)
    return static_cast<IpwProjectNode*>(static_cast<IpwProjectNodeInternal*>(this));
  if ((riid == IpwPersistentProjectNode::iid || riid == IpwFileNode::iid || riid == IpwUnsavedCopySave::iid) && !file)
    return nullptr;
  if ((riid == IpwParentStoredNode::iid || riid == IpwParentStoredMarker::iid) && file) return nullptr;
  return Implements::GetInterface(riid);
}

// ---- Data and checks

bool TpwProjectNode::HasModifiedData() {
  if (GetDataFormat() != 0) return false;
  auto data = DataNode();
  if (!data) return false;
  WordBool modified = 0;
  SafeCallCheck(data->IsModified(&modified));
  return modified != 0;
}

ComPtr<IcvOptionsNode> TpwProjectNode::DataNode() {
  if (GetDataFormat() > 1) return nullptr;
  return storage_->GetDataNode();
}

ComPtr<IcvOptionsNode> TpwProjectNode::Settings() {
  auto data = DataNode();
  if (!data) return nullptr;
  ComPtr<IcvOptionsNode> settings;
  SafeCallCheck(data->GetNode(u"Settings", settings.Put()));
  return settings;
}

WideString TpwProjectNode::GetSignature() { return GuidToWideString(TypeKey()); }
WideString TpwProjectNode::GetDataVersion() { return GetHostVersionText(Manager()); }

ComPtr<IcvOptionsReader> TpwProjectNode::CreateOptionsReader(WideStringView fileName) {
  return CreateOptionsXmlReader(fileName, true);
}

bool TpwProjectNode::CheckSignature(IcvOptionsNode* data) {
  WideString stored;
  SafeCallCheck(PropertiesOf(data)->GetString(u"Signature", u"", &stored));
  if (SameTextIgnoringCase(stored, GetSignature())) return true;
  SetNodeError(kErrInvalidFormat,
               BString(WideFormat(u"Invalid format of %s data.", {GetNodeTypeName(Manager(), AsNode())})).Get());
  return false;
}

bool TpwProjectNode::CheckDataVersion(IcvOptionsNode* data, bool& flag) {
  WideString stored;
  SafeCallCheck(PropertiesOf(data)->GetString(u"Version", u"", &stored));
  return CheckVersionText(stored, flag);
}

namespace {
WideString ReaderText(IcvXMLDataReader* reader, WideStringView name) {
  OleVariant value;
  SafeCallCheck(reader->FindPropertyValue(name, OleVariant(u""), &value));
  return value.AsString();
}
}  // namespace

bool TpwProjectNode::CheckReaderSignature(IcvXMLDataReader* reader) {
  if (SameTextIgnoringCase(ReaderText(reader, u"Signature"), GetSignature())) return true;
  SetNodeError(kErrInvalidFormat,
               BString(WideFormat(u"Invalid format of %s data.", {GetNodeTypeName(Manager(), AsNode())})).Get());
  return false;
}

bool TpwProjectNode::CheckDataVersion(IcvXMLDataReader* reader, bool& flag) {
  return CheckVersionText(ReaderText(reader, u"Version"), flag);
}

bool TpwProjectNode::LoadFromReader(IcvXMLDataReader*) {
  unloadCount_ = 0;
  if (extender_ && ReloadCount() == 0) SafeCallCheck(extender_->AfterLoad());
  return true;
}

std::int32_t TpwProjectNode::WriteHeader(IcvDataWriter* writer) {
  SafeCallCheck(writer->WriteString(u"Signature", GetSignature()));
  SafeCallCheck(writer->WriteString(u"Version", GetDataVersion()));
  return 0;
}

std::int32_t TpwProjectNode::SaveToWriter(IcvDataWriter* writer) {
  if (extender_) SafeCallCheck(extender_->BeforeWrite());
  SafeCallCheck(writer->BeginWrite());
  std::int32_t result = WriteHeader(writer);
  if (result != 0) return result;
  SafeCallCheck(writer->FlushProp());
  result = WriteData(writer);
  if (result != 0) return result;
  SafeCallCheck(writer->EndWrite());
  return 0;
}

bool TpwProjectNode::CheckVersionText(const WideString& stored, bool& flag) {
  std::int32_t verdict = project::CheckVersionText(stored, GetDataVersion());
  if (!stored.empty()) flag = false;
  if (verdict == kVersionOk) return true;
  SetNodeError(verdict, BString(verdict == kVersionNewer ? u"Newer version of the data format."
                                                         : u"Unknown version of the data format.")
                            .Get());
  return false;
}

// ---- Load, save, unload

bool TpwProjectNode::Load() {
  unloadCount_ = 0;
  if (GetDataFormat() == 0) {
    if (auto service = GetProjectService(Manager())) SafeCallCheck(service->BeforeLoad(AsNode()));
  }
  if (auto data = DataNode()) {
    WideString current = GetDataVersion(), stored;
    auto properties = PropertiesOf(data.Get());
    SafeCallCheck(properties->GetString(u"Version", current, &stored));
    if (!SameTextIgnoringCase(stored, current)) SafeCallCheck(properties->SetString(u"Version", current));
  }
  if (extender_ && ReloadCount() == 0) SafeCallCheck(extender_->AfterLoad());
  return true;
}

std::int32_t TpwProjectNode::Save() {
  if (GetDataFormat() == 0) {
    if (auto service = GetProjectService(Manager())) SafeCallCheck(service->BeforeSave(AsNode()));
  }
  if (config_) {
    for (const GUID& key : GetConfigKeys())
      if (ConfigKeyModified(key)) StoreConfigKey(key);
  }
  if (extender_) SafeCallCheck(unsavedDepth_ == 0 ? extender_->Save() : extender_->SaveUnsaved());
  if (auto data = DataNode()) {
    auto properties = PropertiesOf(data.Get());
    SafeCallCheck(properties->SetString(u"Signature", GetSignature()));
    SafeCallCheck(properties->SetString(u"Version", GetDataVersion()));
  }
  return 0;
}

void TpwProjectNode::Unload() {
  if (GetDataFormat() == 0) {
    if (auto service = GetProjectService(Manager())) SafeCallCheck(service->NodeUnloaded(AsNode()));
  }
  if (extender_ && ReloadCount() == 0) SafeCallCheck(extender_->Unload(ToWordBool(Finalizing())));
}

namespace {

// Sorted ignoring case, one entry per name.
void AddUnique(std::vector<WideString>& list, WideString name) {
  auto at = std::lower_bound(list.begin(), list.end(), name, IgnoringCaseLess{});
  if (at != list.end() && SameTextIgnoringCase(*at, name)) return;
  list.insert(at, std::move(name));
}

}  // namespace

void DeleteRemovedFiles(IpwProjectNode* project, const std::vector<WideString>& files,
                        const std::vector<WideString>& folders) {
  auto veto = QueryAs<IpwProjectFileRemoval>(FindParentProject(project).Get());
  VARIANT_BOOL checks = VARIANT_FALSE;
  if (veto && Failed(veto->ChecksFileRemoval(&checks))) checks = VARIANT_TRUE;
  for (const auto& file : files) {
    if (checks) {
      VARIANT_BOOL allowed = VARIANT_FALSE;
      if (Failed(veto->MayRemoveFile(BString(file).Get(), &allowed)) || !allowed) continue;
    }
    if (!FileExistsName(file)) continue;
    ClearReadOnly(file);
    ::unlink(WideToUtf8(file).c_str());
  }
  // A folder that is missing or not empty stays.
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) ::rmdir(WideToUtf8(*folder).c_str());
}

void CollectRemovedNodeFiles(IpwProjectNode* node, std::vector<WideString>& files, std::vector<WideString>& folders) {
  if (!node) return;
  if (auto internal = QueryAs<IpwProjectNodeInternal>(node))
    if (auto* stored = dynamic_cast<TpwProjectNode*>(static_cast<TpwBaseProjectNode*>(internal.Get())))
      stored->CollectStorageFiles(files, folders);
  ForEachChild(node, [&](IpwProjectNode* child) {
    CollectRemovedNodeFiles(child, files, folders);
    return true;
  });
}

void TpwProjectNode::CollectStorageFiles(std::vector<WideString>& files, std::vector<WideString>& folders) {
  auto file = FileStorage();
  if (!file || WideTrim(file->FileName()).empty()) return;
  AddUnique(files, file->FileName());
  WideString folder = RemoveTrailingDelimiter(WideExtractFilePath(file->FileName()));
  if (!folder.empty()) AddUnique(folders, std::move(folder));
}

void TpwProjectNode::UnloadData() {
  ++unloadCount_;
  BeginUpdate();
  const bool removing = Finalizing();
  std::vector<WideString> files, folders;
  try {
    if (removing) {
      CollectStorageFiles(files, folders);
      if (auto update = GetBrokerObject(Manager())) {
        auto list = MakeObject<TpwStringCollection>(files);
        SafeCallCheck(update->NodeFilesRemoved(AsNode(), list.Get()));
      }
    }
    Unload();
  } catch (...) {
    storage_->ReleaseData();
    EndUpdate();
    throw;
  }
  storage_->ReleaseData();
  if (removing) DeleteRemovedFiles(AsNode(), files, folders);
  EndUpdate();
  ResetModified();
}

void TpwProjectNode::ReportReloadError(WideStringView text) {
  auto container = QueryAs<IpwProjectNodeContainer>(Parent());
  if (!container) return;
  ComPtr<IUnknown> entry;
  OleVariant value;
  if (Failed(container->GetChildEntry(AsNode(), entry.Put(), value.Put())) || !entry) return;
  auto owner = QueryAs<IpwPropertyObjectOwner>(entry.Get());
  if (!owner) return;
  owner->SetPropertyValue(1, OleVariant(text).Get());
}

bool TpwProjectNode::Reload() {
  IcvBaseManager* manager = Manager();
  ComPtr<IpwProjectNode> self(AsNode());
  auto scc = GetSccSupportManager(manager);
  if (scc) SafeCallCheck(scc->BeginReload(self.Get()));
  NotifyBeforeReload(manager, self.Get());
  SetReloadCount(ReloadCount() + 1);
  bool ok = false;
  ComPtr<IUnknown> config = config_;
  if (unloadCount_ == 0) {
    WideString name = FileName();
    BeginUpdate();
    try {
      UnloadData();
      DoChanged(false);
      ok = ReloadFromFileName(name, false);
    } catch (...) {
      ok = false;
    }
    EndUpdate();
    if (!ok) {
      WideString message = WideTrim(ErrorMessage());
      WideString text = message.empty() || ErrorCode() == 0 ? WideString(u"Reload error.")
                                                            : WideFormat(u"%s [%s]", {u"Reload error.", message});
      ReportReloadError(text);
    }
  }
  SetReloadCount(ReloadCount() - 1);
  NotifyAfterReload(manager, self.Get());
  if (ok) {
    config_ = config;
    if (config_)
      for (const GUID& key : GetConfigKeys()) ReadConfigKey(key);
  }
  if (scc) SafeCallCheck(scc->EndReload(self.Get()));
  if (ok) SendNodeChanged();
  return ok;
}

bool TpwProjectNode::ReloadFromFileName(WideStringView fileName, bool quiet) {
  auto file = FileStorage();
  return file && file->LoadFromFile(fileName, quiet, true);
}

std::int32_t TpwProjectNode::SaveToOwnFileResult() {
  auto file = FileStorage();
  if (!file) return 1;
  return file->SaveToFile(file->FileName(), false);
}

std::int32_t TpwProjectNode::SaveNodeResult() { return FileStorage() ? SaveToOwnFileResult() : 1; }

std::int32_t TpwProjectNode::SaveToNewFileName(WideStringView fileName, bool flag) {
  auto file = FileStorage();
  if (!file || SameFileName(file->FileName(), fileName)) return 1;
  ++saveAsCount_;
  oldFileName_ = file->FileName();
  newFileName_ = WideString(fileName);
  saveAsFlag_ = flag;
  std::int32_t result = 1;
  BeginUpdate();
  try {
    result = file->SaveToFile(fileName, true);
  } catch (...) {
    EndUpdate();
    --saveAsCount_;
    throw;
  }
  EndUpdate();
  --saveAsCount_;
  return result;
}

std::int32_t TpwProjectNode::SaveToDefaultFileResult(bool flag) {
  ++saveAsCount_;
  saveAsFlag_ = flag;
  struct Lower {
    std::int32_t& count;
    ~Lower() { --count; }
  } lower{saveAsCount_};
  auto file = FileStorage();
  if (file) {
    oldFileName_ = file->FileName();
    newFileName_ = GetDefaultNodeFileName(Manager(), AsNode());
  } else {
    oldFileName_.clear();
    newFileName_.clear();
  }
  if (!newFileName_.empty() && file) {
    if (SameFileName(newFileName_, file->FileName())) return SaveToOwnFileResult();
    BeginUpdate();
    std::int32_t result = 1;
    try {
      result = file->SaveToFile(newFileName_, true);
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
    return result;
  }
  return saveTarget_ ? storage_->SaveToDataNode(saveTarget_.Get(), true) : 1;
}

void TpwProjectNode::BeginUnsavedSave() {
  ++unsavedDepth_;
  if (auto file = FileStorage()) file->BeginUnsavedSave();
}
void TpwProjectNode::EndUnsavedSave() {
  if (unsavedDepth_ > 0) --unsavedDepth_;
  if (auto file = FileStorage()) file->EndUnsavedSave();
}

// ---- Actions

bool TpwProjectNode::CanSave() {
  if (ReloadCount() > 0 || unloadCount_ > 0) return false;
  return IsModified();
}

bool TpwProjectNode::SaveAction() {
  if (!FileStorage()) {
    auto owner = GetParentPersistentNode(AsNode());
    return owner && Succeeded(owner->SaveNode());
  }
  return SaveNodeResult() == 0;
}

bool TpwProjectNode::CanSaveAs() {
  return ReloadCount() == 0 && unloadCount_ == 0 && FileStorage() && !FileName().empty() &&
         IsHostInteractive(Manager());
}

bool TpwProjectNode::SaveAs() {
  auto file = FileStorage();
  if (!file || !Manager()) return false;
  WideString chosen = file->FileName();
  if (!ShowSaveAsDialog(Manager(), AsNode(), chosen, FileExtension(chosen), false)) return false;
  return file->SaveToFile(chosen, false) == 0;
}

bool TpwProjectNode::CanShowProperties() {
  if (ReloadCount() > 0 || unloadCount_ > 0) return false;
  auto service = GetProjectService(Manager());
  VARIANT_BOOL result = VARIANT_FALSE;
  return service && Succeeded(service->CanShowProperties(AsNode(), &result)) && result;
}

void TpwProjectNode::ShowNodeProperties() {
  if (auto service = GetProjectService(Manager())) SafeCallCheck(service->ShowProperties(AsNode()));
}

bool TpwProjectNode::CanReload() {
  return ReloadCount() == 0 && unloadCount_ == 0 && HasNotReloadedMark(AsNode()) && IsHostInteractive(Manager());
}

// ---- Context menu and file names

void TpwProjectNode::CollectMenuKeys(std::vector<GUID>& keys) {
  if (!FileStorage()) return;
  GUID scc = GetSourceControlMenuKey(Manager(), AsNode());
  if (scc != GUID_NULL) keys.push_back(scc);
  if (HasNotReloadedMark(AsNode())) keys.push_back(ActionKey(kReloadAction));
}

ComPtr<IpwMenu> TpwProjectNode::GetContextMenu() {
  std::vector<GUID> keys;
  CollectMenuKeys(keys);
  if (keys.empty()) return nullptr;
  auto menu = GetOrCreateMenu(Manager(), GUID_NULL, kNodeContextMenu);
  if (menu) FillMenuWithActions(Manager(), menu.Get(), keys, {});
  return menu;
}

void TpwProjectNode::FillStringCollection(std::vector<WideString>& list) {
  auto add = [&](WideString name) {
    if (WideTrim(name).empty()) return;
    for (const auto& item : list)
      if (SameTextIgnoringCase(item, name)) return;
    list.push_back(std::move(name));
  };
  if (FileStorage()) add(GetStorageFileName(AsNode()));
  if (!extender_) return;
  ComPtr<IpwStringCollection> files;
  SafeCallCheck(extender_->GetFileNames(files.Put()));
  std::int32_t count = 0;
  if (files) SafeCallCheck(files->GetCount(&count));
  for (std::int32_t i = 0; i < count; ++i) {
    BString file;
    SafeCallCheck(files->GetItem(i, file.Put()));
    add(WideString(file.Str()));
  }
}

ComPtr<IpwStringCollection> TpwProjectNode::GetStringCollection() {
  std::vector<WideString> list;
  FillStringCollection(list);
  std::stable_sort(list.begin(), list.end(), IgnoringCaseLess{});
  list.erase(std::unique(list.begin(), list.end(), IgnoringCaseEqual{}), list.end());
  return MakeObject<TpwStringCollection>(std::move(list));
}

// ---- Overrides of the base node

void TpwProjectNode::DoChanged(bool notify) {
  TpwBaseProjectNode::DoChanged(notify);
  if (FileStorage() || IsUpdating()) return;
  if (auto owner = GetParentPersistentNode(AsNode())) SafeCallCheck(owner->SetModified(VARIANT_TRUE));
  for (auto p = ComPtr<IpwProjectNode>(Parent()); p; p = NodeParent(p.Get())) {
    if (auto stored = QueryAs<IpwParentStoredNode>(p.Get())) stored->MarkChanged();
  }
}

bool TpwProjectNode::IsModified() {
  if (ReloadCount() > 0 || unloadCount_ > 0) return false;
  bool modified = false;
  if (FileStorage()) modified = TpwBaseProjectNode::IsModified() || HasModifiedData();
  else if (VirtualStorage()) modified = TpwBaseProjectNode::IsModified();
  if (!modified && GetDataFormat() == 0) {
    if (auto service = GetProjectService(Manager())) {
      VARIANT_BOOL unsaved = VARIANT_FALSE;
      SafeCallCheck(service->HasUnsavedChanges(AsNode(), &unsaved));
      modified = unsaved != VARIANT_FALSE;
    }
    for (const GUID& key : GetConfigKeys()) {
      if (modified) break;
      modified = ConfigKeyModified(key);
    }
  }
  if (!modified && extender_) {
    VARIANT_BOOL extended = VARIANT_FALSE;
    SafeCallCheck(extender_->IsModified(&extended));
    modified = extended != VARIANT_FALSE;
  }
  return modified;
}

std::uint8_t TpwProjectNode::GetStorageType() { return FileStorage() ? 1 : TpwBaseProjectNode::GetStorageType(); }

bool TpwProjectNode::ValidateName(WideString& newName, bool allowCorrection) {
  return TpwBaseProjectNode::ValidateName(newName, allowCorrection) && storage_->ValidateRename(newName);
}

void TpwProjectNode::NameChanged(const WideString& oldName, const WideString& newName) {
  try {
    storage_->ApplyRename(oldName, newName);
  } catch (...) {
    // The file stays where it was, and so does the name.
    BeginUpdate();
    ChangeName(oldName);
    EndUpdate();
    throw;
  }
  TpwBaseProjectNode::NameChanged(oldName, newName);
}

OleVariant TpwProjectNode::Attribute(std::int32_t id) {
  auto file = FileStorage();
  switch (id) {
    case 0: return OleVariant(file ? file->FileName() : WideString());
    case 2:
      if (file) return OleVariant(file->IsFileReadOnly());
      if (auto owner = GetParentPersistentNode(AsNode())) {
        OleVariant value;
        SafeCallCheck(owner->GetAttribute(2, value.Put()));
        return value;
      }
      return OleVariant(false);
    case 3:
      if (GetDataFormat() != 0) return OleVariant();
      return OleVariant(static_cast<IUnknown*>(static_cast<IpwNodeSettingsSource*>(this)));
    case 7:
      if (file) return OleVariant(true);
      break;
    default: break;
  }
  return TpwBaseProjectNode::Attribute(id);
}

std::int32_t TpwProjectNode::PropertyCount() {
  std::int32_t count = TpwBaseProjectNode::PropertyCount();
  if (!FileStorage()) return count;
  storageNameIndex_ = count;
  commentIndex_ = count + 1;
  return count + 2;
}

ComPtr<IpwPropertyObject> TpwProjectNode::CreatePropertyObject(std::int32_t index) {
  if (index >= 0 && (index == storageNameIndex_ || index == commentIndex_)) {
    IpwPropertyObjectOwner* owner = Manager() ? static_cast<IpwPropertyObjectOwner*>(this) : nullptr;
    const bool storage = index == storageNameIndex_;
    return MakeObject<TpwPropertyObject>(
        storage ? &TpwPropertyTexts::StorageName : &TpwPropertyTexts::Comment, &TpwPropertyTexts::General,
        storage ? &TpwPropertyTexts::StorageNameDescription : &TpwPropertyTexts::CommentDescription, true, index,
        owner);
  }
  return TpwBaseProjectNode::CreatePropertyObject(index);
}

void TpwProjectNode::GetPropertyValue(std::int32_t index, VARIANT* value) {
  if (index < 0 || (index != storageNameIndex_ && index != commentIndex_)) {
    TpwBaseProjectNode::GetPropertyValue(index, value);
    return;
  }
  if (!value) throw EOleSysError(u"Invalid pointer", E_POINTER);
  OleVariant v = index == storageNameIndex_ ? OleVariant(GetStorageFileName(AsNode())) : Attribute(5);
  VariantInit(value);
  *value = v.Detach();
}

void TpwProjectNode::DoInitialize(IcvBaseManager* manager) {
  TpwBaseProjectNode::DoInitialize(manager);
  if (manager && GetHostService<IUnknown>(manager, kActionService)) {
    auto keys = HandledActions(FileStorage() != nullptr);
    RegisterContextActions(manager, InstanceKey(), keys, static_cast<IpwProjectActionHandler*>(this));
    actionsRegistered_ = true;
  }
  if (manager && GetObjectBroker(manager)) {
    auto provider = MakeObject<TpwProjectNodeEventProvider>();
    SafeCallCheck(provider->Connect(manager, static_cast<IpwProjectNodeEventProviderOwner*>(this)));
    eventProvider_ = provider;
  }
  if (auto extender = CreateExtender()) {
    SafeCallCheck(extender->Initialize(manager, AsNode()));
    extender_ = std::move(extender);
  }
}

void TpwProjectNode::DoFinalize() {
  ++unloadCount_;
  if (actionsRegistered_ && Manager()) {
    actionsRegistered_ = false;
    auto keys = HandledActions(FileStorage() != nullptr);
    UnregisterContextActions(Manager(), InstanceKey(), keys);
  }
  // The provider holds the node: it lets go here.
  if (auto provider = std::move(eventProvider_)) SafeCallCheck(provider->Disconnect());
  UnloadData();
  if (auto extender = std::move(extender_)) SafeCallCheck(extender->Finalize());
  TpwBaseProjectNode::DoFinalize();
}

// ---- Interface methods

HRESULT TpwProjectNode::GetModified(VARIANT_BOOL* modified) {
  return SafeCall([&] { *modified = IsModified() ? VARIANT_TRUE : VARIANT_FALSE; });
}
HRESULT TpwProjectNode::SetModified(VARIANT_BOOL modified) {
  return SafeCall([&] {
    if (modified) DoChanged(false);
    else ResetModified();
  });
}
HRESULT TpwProjectNode::SaveNode() {
  return SafeCall([&] {
    if (SaveNodeResult() != 0) throw EOleSysError(u"The element was not saved.", E_FAIL);
  });
}
HRESULT TpwProjectNode::LoadItemData(IUnknown* entry, VARIANT_BOOL* loaded) {
  return SafeCall([&] {
    auto node = AsOptionsNode(entry);
    ComPtr<IcvOptionsNode> data;
    SafeCallCheck(node->GetNode(u"Item Data", data.Put()));
    UnloadData();
    bool ok = FileStorage() ? CreateFromInfo(Manager(), AsNode(), data.Get()) : storage_->LoadFromDataNode(data.Get());
    *loaded = ok ? VARIANT_TRUE : VARIANT_FALSE;
  });
}
HRESULT TpwProjectNode::WriteItemData(IUnknown* entry) {
  return SafeCall([&] {
    auto node = AsOptionsNode(entry);
    ComPtr<IcvOptionsNode> data;
    SafeCallCheck(node->GetNode(u"Item Data", data.Put()));
    if (FileStorage()) WriteCreationInfoFor(Manager(), AsNode(), data.Get());
  });
}
HRESULT TpwProjectNode::ReloadFromFile(BSTR fileName, VARIANT_BOOL quiet, VARIANT_BOOL* loaded) {
  return SafeCall(
      [&] { *loaded = ReloadFromFileName(BstrView(fileName), quiet != VARIANT_FALSE) ? VARIANT_TRUE : VARIANT_FALSE; });
}
HRESULT TpwProjectNode::SaveToOwnFile(std::int32_t* result) {
  return SafeCall([&] { *result = SaveToOwnFileResult(); });
}
HRESULT TpwProjectNode::SaveToNewFile(BSTR fileName, VARIANT_BOOL flag, std::int32_t* result) {
  return SafeCall([&] { *result = SaveToNewFileName(BstrView(fileName), flag != VARIANT_FALSE); });
}
HRESULT TpwProjectNode::IsSavingToNewFile(VARIANT_BOOL* result) {
  return SafeCall([&] { *result = saveAsCount_ > 0 ? VARIANT_TRUE : VARIANT_FALSE; });
}
// Both names are empty unless a save to another file runs.
HRESULT TpwProjectNode::GetNewFileName(BSTR* fileName) {
  return SafeCall([&] { *fileName = BString(saveAsCount_ > 0 ? newFileName_ : WideString()).Detach(); });
}
HRESULT TpwProjectNode::GetOldFileName(BSTR* fileName) {
  return SafeCall([&] { *fileName = BString(saveAsCount_ > 0 ? oldFileName_ : WideString()).Detach(); });
}
HRESULT TpwProjectNode::SaveToDefaultFile(VARIANT_BOOL flag, std::int32_t* result) {
  return SafeCall([&] { *result = SaveToDefaultFileResult(flag != VARIANT_FALSE); });
}
HRESULT TpwProjectNode::WriteCreationInfo(IUnknown* info) {
  return SafeCall([&] {
    if (FileStorage()) WriteCreationInfoFor(Manager(), AsNode(), AsOptionsNode(info).Get());
  });
}
HRESULT TpwProjectNode::LoadFromDataNode(IUnknown* source, VARIANT_BOOL* loaded) {
  return SafeCall([&] {
    ComPtr<IcvOptionsNode> node;
    if (source) node = AsOptionsNode(source);
    *loaded = storage_->LoadFromDataNode(node.Get()) ? VARIANT_TRUE : VARIANT_FALSE;
  });
}
HRESULT TpwProjectNode::SaveToDataNode(IUnknown* target, VARIANT_BOOL force, std::int32_t* result) {
  return SafeCall([&] { *result = storage_->SaveToDataNode(AsOptionsNode(target).Get(), force != VARIANT_FALSE); });
}
HRESULT TpwProjectNode::MarkChanged() {
  return SafeCall([&] { DoChanged(false); });
}
HRESULT TpwProjectNode::GetEventProvider(IUnknown** provider) {
  return SafeCall([&] { *provider = ComPtr<IUnknown>(eventProvider_.Get()).Detach(); });
}
HRESULT TpwProjectNode::OnEvent1(const VARIANT& arg) {
  return SafeCall([&] { EventProviderHook1(arg); });
}
HRESULT TpwProjectNode::OnEvent2(const VARIANT& arg) {
  return SafeCall([&] { EventProviderHook2(arg); });
}
HRESULT TpwProjectNode::SaveToUnsavedCopy(std::int32_t* result) {
  return SafeCall([&] {
    BeginUnsavedSave();
    try {
      *result = SaveToOwnFileResult();
    } catch (...) {
      EndUnsavedSave();
      throw;
    }
    EndUnsavedSave();
  });
}

std::int32_t TpwProjectNode::ExecuteAction(const GUID& action, const VARIANT&, VARIANT*) {
  if (action == ActionKey(kSaveAction)) {
    SaveAction();
  } else if (action == ActionKey(kSaveAsAction)) {
    SaveAs();
  } else if (action == ActionKey(kPropertiesAction)) {
    ShowNodeProperties();
  } else if (action == ActionKey(kReloadAction)) {
    Reload();
  } else {
    return 2;
  }
  return 0;
}

void TpwProjectNode::UpdateAction(const GUID& action) {
  bool enabled = false;
  if (action == ActionKey(kSaveAction)) enabled = CanSave();
  else if (action == ActionKey(kSaveAsAction)) enabled = CanSaveAs();
  else if (action == ActionKey(kPropertiesAction)) enabled = CanShowProperties();
  else if (action == ActionKey(kReloadAction)) enabled = CanReload();
  else return;
  auto actions = GetHostService<IpwActionService>(Manager(), kActionService);
  if (!actions) return;
  ComPtr<IpwAction> found;
  if (Succeeded(actions->FindAction(action, found.Put())) && found)
    SafeCallCheck(found->SetProperty(0, OleVariant(enabled).Get()));
}

HRESULT TpwProjectNode::GetStringCollection(IpwStringCollection** files) {
  return SafeCall([&] { SetOut(files, GetStringCollection()); });
}

// ---- Context menu, settings source, changes, auxiliary calls, configurations

HRESULT TpwProjectNode::GetContextMenu(IpwMenu** menu) {
  return SafeCall([&] { SetOut(menu, GetContextMenu()); });
}
HRESULT TpwProjectNode::GetProjectKey(GUID* key) {
  return SafeCall([&] { SetOutValue(key, project::GetProjectKey(AsNode())); });
}
HRESULT TpwProjectNode::GetSettings(IUnknown** settings) {
  return SafeCall([&] { SetOut(settings, Settings()); });
}
HRESULT TpwProjectNode::Changed(VARIANT_BOOL notify) {
  return SafeCall([&] { DoChanged(notify != VARIANT_FALSE); });
}
HRESULT TpwProjectNode::AuxiliaryQuery(std::int32_t, const VARIANT&, VARIANT_BOOL* result) {
  return SafeCall([&] { SetOutBool(result, false); });
}
HRESULT TpwProjectNode::AuxiliaryNotify(std::int32_t, const VARIANT&) { return S_OK; }
HRESULT TpwProjectNode::HasConfigKey(const GUID& key, VARIANT_BOOL* result) {
  return SafeCall([&] {
    auto keys = GetConfigKeys();
    SetOutBool(result, std::find(keys.begin(), keys.end(), key) != keys.end());
  });
}
HRESULT TpwProjectNode::IsConfigKeyModified(const GUID& key, VARIANT_BOOL* result) {
  return SafeCall([&] { SetOutBool(result, ConfigKeyModified(key)); });
}
HRESULT TpwProjectNode::SetConfig(IUnknown* config) {
  return SafeCall([&] { config_ = config; });
}
HRESULT TpwProjectNode::SaveConfigKey(const GUID& key) {
  return SafeCall([&] { StoreConfigKey(key); });
}
HRESULT TpwProjectNode::LoadConfigKey(const GUID& key) {
  return SafeCall([&] { ReadConfigKey(key); });
}

}  // namespace pw::project
