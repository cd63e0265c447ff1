#include "project/storage/node_storage.h"

#include <unistd.h>

#include "core/files/file_utils.h"
#include "core/host/host_services.h"
#include "core/options/options_tree.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"
#include "project/nodes/dialogs.h"
#include "project/nodes/node_helpers.h"
#include "project/nodes/observers.h"
#include "project/nodes/project_helpers.h"
#include "project/nodes/small_services.h"
#include "project/storage/node_file_helpers.h"
#include "project/storage/project_node.h"

namespace pw::project {

namespace {

// Shows a message; a host that cannot show it (one without dialogs raises the text) leaves the
// node's error to tell.
void ShowMessage(IcvBaseManager* manager, WideStringView text, std::int32_t helpContext = 0) {
  try {
    ShowProjectError(manager, text, helpContext);
  } catch (...) {
  }
}

void ShowException(IcvBaseManager* manager) {
  WideString message = CurrentExceptionMessage();
  if (!message.empty()) ShowMessage(manager, message);
}

bool RemoveFile(WideStringView fileName) {
  if (!FileExistsName(fileName)) return true;
  ClearReadOnly(fileName);
  return ::unlink(WideToUtf8(fileName).c_str()) == 0;
}

// Writes a copy of the tree to the file (replacing it by rename); the tree itself stays bound
// where it was, so a write that fails changes nothing.
void WriteCopy(TpwProjectNode* owner, IcvOptionsNode* root, WideStringView fileName) {
  auto copy = CreateOptionsBuilder();
  if (root) SafeCallCheck(root->CopyTo(copy->GetRoot().Get()));
  auto reader = owner->CreateOptionsReader(fileName);
  reader->Clear();
  copy->SetReader(reader.Get());
  copy->Save();
  copy->ReleaseReader();
}

}  // namespace

// ---- Custom and virtual storage

ComPtr<IcvOptionsNode> TpwNodeCustomStorage::GetDataNode() { return data_ ? data_->GetRoot() : nullptr; }

ComPtr<IcvOptionsNode> TpwNodeVirtualStorage::GetDataNode() {
  if (source_) return source_;
  return TpwNodeCustomStorage::GetDataNode();
}

bool TpwNodeCustomStorage::LoadFromDataNode(IcvOptionsNode* source) {
  if (!source) return false;
  bool result = false;
  auto* self = dynamic_cast<TpwNodeVirtualStorage*>(this);
  owner_->BeginUpdate();
  try {
    if (self) self->source_ = source;
    data_ = CreateOptionsBuilder();
    WideString caption;
    SafeCallCheck(PropertiesOf(source)->GetString(u"Caption", u"", &caption));
    if (!caption.empty()) owner_->ChangeName(caption);
    result = owner_->Load();
    if (self) self->source_ = nullptr;
    SafeCallCheck(source->CopyTo(data_->GetRoot().Get()));
  } catch (...) {
    if (self) self->source_ = nullptr;
    result = false;
    ShowException(owner_->Manager());
  }
  owner_->EndUpdate();
  if (result) {
    WordBool changed = 0;
    source->IsModified(&changed);
    if (changed || forceModified_) owner_->DoChanged(true);
    else owner_->ResetModified();
    forceModified_ = false;
  }
  return result;
}

std::int32_t TpwNodeCustomStorage::SaveToDataNode(IcvOptionsNode* target, bool force) {
  saving_ = force;
  std::int32_t result = 0;
  try {
    if (owner_->IsModified() || IsNodeModified(owner_->AsNode()) || force) {
      if (!data_) data_ = CreateOptionsBuilder();
      owner_->BeginUpdate();
      try {
        SafeCallCheck(PropertiesOf(GetDataNode().Get())->SetString(u"Caption", owner_->Name()));
        result = owner_->Save();
      } catch (...) {
        owner_->EndUpdate();
        throw;
      }
      owner_->EndUpdate();
    }
  } catch (...) {
    saving_ = false;
    throw;
  }
  saving_ = false;
  const bool savingAs = owner_->SavingToNewFile();
  if (result == 0) {
    if (auto data = GetDataNode()) {
      SafeCallCheck(target->Clear());
      SafeCallCheck(data->CopyTo(target));
    }
    if (!savingAs) owner_->ResetModified();
  } else if (result != 2 && !savingAs) {
    owner_->DoChanged(true);
  }
  return result;
}

// ---- The observer's owner

void TpwFileObserverFakeOwner::Detach() {
  std::lock_guard guard(lock_);
  storage_ = nullptr;
}

template <class F>
HRESULT TpwFileObserverFakeOwner::Forward(F f) {
  ComPtr<TpwFileObserverFakeOwner> self(this);
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    if (storage_) f(*storage_);
  });
}

HRESULT TpwFileObserverFakeOwner::FileChanged() {
  return Forward([](TpwNodeFileStorage& s) { s.HandleFileFlag1(); });
}
HRESULT TpwFileObserverFakeOwner::FileDeleted() {
  return Forward([](TpwNodeFileStorage& s) { s.HandleFileFlag2(); });
}
HRESULT TpwFileObserverFakeOwner::FileReturned() {
  return Forward([](TpwNodeFileStorage& s) { s.HandleFileFlag4(); });
}
HRESULT TpwFileObserverFakeOwner::FileModeChanged() {
  return Forward([](TpwNodeFileStorage& s) { s.CheckReload(); });
}

// ---- File storage

TpwNodeFileStorage::TpwNodeFileStorage(TpwProjectNode* owner) : TpwNodeCustomStorage(owner) {}

TpwNodeFileStorage::~TpwNodeFileStorage() {
  if (observerOwner_) observerOwner_->Detach();
  StopObserver();
  observerOwner_ = nullptr;
}

void TpwNodeFileStorage::Initialize() {
  observerOwner_ = MakeObject<TpwFileObserverFakeOwner>(this);
  fileName_.clear();
  snapshot_ = {};
  savingToFile_ = false;
  closed_ = true;
  unsavedDepth_ = 0;
}

IcvBaseManager* TpwNodeFileStorage::Manager() const { return owner_->Manager(); }

ComPtr<IcvOptionsNode> TpwNodeFileStorage::GetDataNode() {
  if (saveData_) return saveData_->GetRoot();
  return TpwNodeCustomStorage::GetDataNode();
}

void TpwNodeFileStorage::StopObserver() {
  if (!observer_) return;
  ComPtr<IpwFileObserver> observer = std::move(observer_);
  observer->Disconnect();
}

void TpwNodeFileStorage::ReleaseData() {
  if (closed_) return;
  StopObserver();
  snapshot_ = {};
  if (data_ && owner_->GetDataFormat() == 0) data_->ReleaseReader();
  TpwNodeCustomStorage::ReleaseData();
  closed_ = true;
}

void TpwNodeFileStorage::TakeSnapshot() {
  snapshot_ = ReadFileSnapshot(fileName_);
  if (HasNotReloadedMark(owner_->AsNode())) ClearNotReloadedMark(owner_->AsNode());
}

WideString TpwNodeFileStorage::GetSaveTargetName() const {
  return unsavedDepth_ > 0 ? fileName_ + WideString(kUnsavedCopySuffix) : fileName_;
}

void TpwNodeFileStorage::BindOptionsFile(WideStringView path, bool ignoreOld) {
  if (!data_) data_ = CreateOptionsBuilder();
  data_->ReleaseReader();
  ComPtr<IcvOptionsReader> reader = owner_->CreateOptionsReader(path);
  // The tree replaces what the file held: the next save writes it whole, by rename.
  if (ignoreOld) reader->Clear();
  data_->SetReader(reader.Get());
  if (owner_->ModifiedWhenVersionDiffers()) data_->ReleaseReader();
}

bool TpwNodeFileStorage::ValidateRename(WideStringView newName) {
  if (fileName_.empty()) return true;
  IcvBaseManager* manager = Manager();
  if (!CheckElementFileName(manager, owner_->AsNode(), newName, fileName_, false)) return false;
  if (owner_->IsUpdating() || owner_->ReloadCount() > 0) return true;
  auto service = GetProjectService(manager);
  if (!service) return true;
  VARIANT_BOOL confirmed = VARIANT_TRUE;
  SafeCallCheck(service->ConfirmRename(owner_->AsNode(), BString(newName).Get(), &confirmed));
  if (!confirmed) return false;
  SafeCallCheck(service->NodeRenamed(owner_->AsNode(), BString(newName).Get()));
  return true;
}

void TpwNodeFileStorage::ApplyRename(WideStringView oldName, WideStringView newName) {
  if (oldName == newName || owner_->IsUpdating() || fileName_.empty()) return;
  if (newName == FileBaseName(fileName_)) return;
  WideString newPath = WideExtractFilePath(fileName_) + WideString(newName) + FileExtension(fileName_);
  if (newPath == fileName_) return;
  const WideString oldPath = fileName_;
  if (!closed_ && data_) {
    // The data goes to the new file first; only a complete write moves the node.
    owner_->Save();
    WriteCopy(owner_, data_->GetRoot().Get(), newPath);
    BindOptionsFile(newPath, true);
    data_->Save();
  }
  fileName_ = newPath;
  if (observer_) {
    observer_->SetFileName(BString(fileName_).Get());
    observer_->Refresh();
  }
  TakeSnapshot();
  NotifyFileRenamed(Manager(), owner_->AsNode(), oldPath, newPath);
  // A name that differs only in case may be the same file: it is never deleted then.
  if (!SameFileName(oldPath, newPath) && FileExistsName(oldPath) && FileExistsName(newPath)) RemoveFile(oldPath);
}

std::uint8_t TpwNodeFileStorage::ReadFileData(WideStringView fileName, ComPtr<IcvOptionsBuilder>& data) {
  data = nullptr;
  if (!FileExistsName(fileName)) return 0;
  if (owner_->GetDataFormat() != 0 && !IsProjectItemFileFormat(fileName)) return 0;
  auto builder = CreateOptionsBuilder();
  builder->SetReader(owner_->CreateOptionsReader(fileName).Get());
  if (!owner_->CheckSignature(builder->GetRoot().Get())) return 0;
  data = builder;
  return 1;
}

bool TpwNodeFileStorage::ReadNodeFile(WideStringView fileName, bool quiet, ComPtr<IcvOptionsBuilder>& data) {
  data = nullptr;
  IcvBaseManager* manager = Manager();
  if (!FileExistsName(fileName)) {
    owner_->SetNodeError(kErrFileMissing, BString(WideFormat(u"The '%s' file does not exist.", {fileName})).Get());
    return false;
  }
  try {
    ComPtr<IcvOptionsBuilder> options;
    if (ReadFileData(fileName, options) == 0) {
      if (!quiet)
        ShowMessage(manager, WideFormat(u"Cannot open the '%s' file because it is not a valid %s file.",
                                        {fileName, GetNodeTypeName(manager, owner_->AsNode())}));
      return false;
    }
    WideString copy = WideString(fileName) + WideString(kUnsavedCopySuffix);
    bool fromCopy = false;
    if (FileExistsName(copy)) {
      ComPtr<IcvOptionsBuilder> copyData;
      std::uint8_t kind = 0;
      try {
        kind = ReadFileData(copy, copyData);
      } catch (...) {
        kind = 0;
      }
      if (kind == 0) {
        // A damaged copy holds nothing to offer.
        RemoveFile(copy);
      } else if (manager && IsHostInteractive(manager) && GetHostService<IUnknown>(manager, kUnsavedFileQueryService)) {
        if (AskLoadFromUnsavedFile(manager, fileName)) {
          copyData->LoadAll();
          copyData->SetReader(owner_->CreateOptionsReader(fileName).Get());
          options = copyData;
          fromCopy = true;
        } else {
          RemoveFile(copy);
        }
      }
    }
    WideString base = FileBaseName(fileName);
    if (!owner_->ValidateName(base, false)) {
      owner_->SetNodeError(kErrInvalidCaption,
                           BString(WideFormat(u"The '%s' caption assigned to %s is invalid.",
                                              {FileBaseName(fileName), GetNodeTypeName(manager, owner_->AsNode())}))
                               .Get());
      return false;
    }
    bool flag = false;
    if (!owner_->CheckDataVersion(options->GetRoot().Get(), flag)) {
      ShowMessage(manager, WideFormat(owner_->ErrorCode() == kVersionNewer
                                          ? u"Cannot open the '%s' file because it was created by a newer version of "
                                            u"Probewright."
                                          : u"Cannot open the '%s' file because it has an unknown data format version.",
                                      {fileName}));
      return false;
    }
    if (fromCopy) {
      forceModified_ = true;
      pendingCopy_ = copy;
    }
    data = options;
    if (owner_->ModifiedWhenVersionDiffers()) data->ReleaseReader();
    return true;
  } catch (...) {
    owner_->SetNodeError(kErrException, BString(CurrentExceptionMessage()).Get());
    ShowException(manager);
    return false;
  }
}

bool TpwNodeFileStorage::LoadFromFile(WideStringView fileName, bool quiet, bool createMissing) {
  IcvBaseManager* manager = Manager();
  const bool missing = !FileExistsName(fileName);
  WideString name;
  ComPtr<IcvOptionsBuilder> raw;
  bool result = true;
  pendingCopy_.clear();
  if (missing) {
    name = WideString(fileName);
  } else {
    name = GetLongPath(fileName);
    if (WideTrim(name).empty()) name = WideString(fileName);
    result = owner_->CanLoad() && ReadNodeFile(name, quiet, raw);
  }
  if (!result) return false;
  owner_->BeginUpdate();
  try {
    closed_ = false;
    fileName_ = WideExpandFileName(name);
    TakeSnapshot();
    StopObserver();
    ComPtr<IUnknown> flagged;
    const bool flag = Succeeded(owner_->AsNode()->QueryInterface(kObserverFlagIid, flagged.PutVoid())) && flagged;
    observer_ = MakeObject<TpwFileObserver>(manager, observerOwner_.Get(), flag);
    owner_->ChangeName(FileBaseName(fileName_));
    if (raw) data_ = raw;
    else BindOptionsFile(fileName_, false);
    if (owner_->ModifiedWhenVersionDiffers()) {
      WideString stored;
      SafeCallCheck(PropertiesOf(GetDataNode().Get())->GetString(u"Version", u"", &stored));
      if (stored != owner_->GetDataVersion()) forceModified_ = true;
    }
    result = owner_->Load();
  } catch (...) {
    result = false;
    owner_->SetNodeError(kErrException, BString(CurrentExceptionMessage()).Get());
    ShowException(manager);
  }
  owner_->EndUpdate();
  if (!result) {
    // Nothing half-read stays bound to the file.
    closed_ = false;
    ReleaseData();
    forceModified_ = false;
    return false;
  }
  if (!pendingCopy_.empty()) {
    RemoveFile(pendingCopy_);
    pendingCopy_.clear();
  }
  if (missing && createMissing) {
    if (SaveToFile(fileName_, false) == 0) {
      TakeSnapshot();
      owner_->ResetModified();
    } else {
      owner_->DoChanged(true);
    }
  } else {
    owner_->ResetModified();
  }
  if (observer_) {
    BString observed;
    if (Succeeded(observer_->GetFileName(observed.Put())) && observed.View() != fileName_)
      observer_->SetFileName(BString(fileName_).Get());
  }
  if (owner_->GetNodeOption() && data_) {
    if (auto internal = QueryAs<IcvOptionsNodeInternal>(data_->GetRoot().Get())) internal->ReleaseContent();
  }
  if (forceModified_) owner_->DoChanged(true);
  forceModified_ = false;
  return true;
}

std::int32_t TpwNodeFileStorage::ResolveReadOnlyTarget(WideString& fileName) {
  IcvBaseManager* manager = Manager();
  auto dialogs = GetDialogService(manager);
  if (!dialogs) return 1;
  for (;;) {
    std::int32_t answer = 2;
    SafeCallCheck(dialogs->ResolveReadOnlyFile(BString(fileName).Get(), &answer));
    if (answer != 0) return answer;
    WideString chosen = fileName;
    for (;;) {
      if (!ShowSaveAsDialog(manager, owner_->AsNode(), chosen, FileExtension(chosen), false)) return 2;
      WideString base = FileBaseName(chosen);
      if (owner_->ValidateName(base, false)) break;
    }
    fileName = chosen;
    if (!IsFileReadOnlyName(fileName)) return 0;
  }
}

std::int32_t TpwNodeFileStorage::SaveToFile(WideStringView newFileName, bool asCopyArg) {
  struct Flag {
    bool& f;
    ~Flag() { f = false; }
  } savingFlag{savingToFile_};
  savingToFile_ = true;
  if (WideTrim(newFileName).empty()) return 1;
  if (owner_->ReloadCount() > 0) return 0;
  IcvBaseManager* manager = Manager();
  IpwProjectNode* node = owner_->AsNode();
  // A save into the unsaved copy is a copy save: the node stays bound to its file as it was.
  const bool asCopy = asCopyArg || unsavedDepth_ > 0;
  std::int32_t result = 0;
  WideString target(newFileName);
  bool toOther = !SameFileName(target, fileName_);
  WideString oldName = fileName_;
  if (toOther) {
    try {
      WideString base = FileBaseName(target);
      if (!owner_->ValidateName(base, true)) return 1;
      target = WideExtractFilePath(newFileName) + base + FileExtension(newFileName);
      if (!asCopy) {
        auto other = FindNodeByFileName(manager, WideExpandFileName(target), nullptr);
        if (other && other.Get() != node) {
          ShowMessage(manager,
                      WideFormat(u"The '%s' file already exists and it is used by the '%s' item in the project suite.",
                                 {WideExpandFileName(target), GetNodePath(other.Get(), nullptr)}),
                      4098);
          return 1;
        }
        if (owner_->TypeKey() != kNodeRegistryService) NotifyProjectNodeDetached(node, true);
      }
    } catch (...) {
      ShowException(manager);
      return 1;
    }
    fileName_ = WideExpandFileName(target);
  }
  saving_ = toOther;
  bool rebound = false;
  const bool unchanged = !IsNodeModified(node) && FileExistsName(fileName_) && !toOther;
  if (!unchanged) {
    owner_->BeginUpdate();
    try {
      if (asCopy) {
        saveData_ = CreateOptionsBuilder();
        if (auto root = TpwNodeCustomStorage::GetDataNode()) SafeCallCheck(root->CopyTo(saveData_->GetRoot().Get()));
      } else if (!data_) {
        data_ = CreateOptionsBuilder();
      }
      result = owner_->Save();
      WideString saveTarget = asCopy && !asCopyArg ? GetSaveTargetName() : fileName_;
      const bool write = result == 0 && (toOther || owner_->IsModified() || asCopy || !FileExistsName(saveTarget));
      if (write && FileExistsName(saveTarget) && IsFileReadOnlyName(saveTarget)) {
        WideString chosen = saveTarget;
        std::int32_t answer = ResolveReadOnlyTarget(chosen);
        if (answer == 0) {
          if (!toOther) oldName = fileName_;
          fileName_ = WideExpandFileName(chosen);
          saveTarget = asCopy && !asCopyArg ? GetSaveTargetName() : fileName_;
          toOther = true;
        } else if (answer == 1) {
          if (!ClearReadOnly(saveTarget)) {
            ShowMessage(manager,
                        WideFormat(u"%s cannot remove write protection from '%s'.", {u"Probewright", saveTarget}));
            result = 1;
          }
        } else {
          result = 2;
        }
      }
      if (write && result == 0) {
        std::vector<WideString> created;
        WideString folder = RemoveTrailingDelimiter(WideExtractFilePath(saveTarget));
        if (!folder.empty()) ForceFolders(folder, created);
        if (asCopy) {
          auto reader = owner_->CreateOptionsReader(saveTarget);
          reader->Clear();
          saveData_->SetReader(reader.Get());
          saveData_->Save();
        } else {
          if (toOther) {
            // The new file is written whole before the tree moves to it.
            WriteCopy(owner_, data_->GetRoot().Get(), saveTarget);
            BindOptionsFile(saveTarget, true);
            rebound = true;
          }
          if (observer_) observer_->Refresh();
          data_->Save();
          if (owner_->GetNodeOption()) {
            if (auto internal = QueryAs<IcvOptionsNodeInternal>(data_->GetRoot().Get())) internal->ReleaseContent();
          }
          TakeSnapshot();
          if (observer_) observer_->Refresh();
          if (toOther) owner_->ChangeName(FileBaseName(fileName_));
        }
      }
    } catch (...) {
      result = 1;
      ShowException(manager);
    }
    owner_->EndUpdate();
  }
  saving_ = false;
  if (asCopy) {
    if (saveData_) {
      saveData_->ReleaseReader();
      saveData_ = nullptr;
    }
    fileName_ = oldName;
  } else {
    if (result != 0 && toOther) {
      fileName_ = oldName;
      if (rebound) BindOptionsFile(fileName_, false);
    }
    if (result == 0 && toOther) {
      owner_->MarkOwnerModified();
      NotifyFileRenamed(manager, node, oldName, fileName_);
      owner_->SendNodeChanged();
    }
    if (result == 0 && FileExistsName(fileName_)) owner_->ResetModified();
    else owner_->DoChanged(true);
    if (observer_) observer_->SetFileName(BString(fileName_).Get());
    if (toOther && owner_->TypeKey() != kNodeRegistryService) NotifyProjectNodeAttached(node);
  }
  return result;
}

void TpwNodeFileStorage::CheckReload() {
  if (closed_ || !IsFileChanged()) return;
  IcvBaseManager* manager = Manager();
  IpwProjectNode* node = owner_->AsNode();
  bool reload = IsReloadSettingOn(manager);
  if (reload) {
    bool ask;
    if (auto question = QueryAs<IpwReloadQuestion>(node)) {
      VARIANT_BOOL answer = VARIANT_TRUE;
      SafeCallCheck(question->AskBeforeReload(&answer));
      ask = answer != VARIANT_FALSE;
    } else {
      ask = !IsFileReadOnly();
    }
    if (ask) reload = IsFileReloadWanted(manager, fileName_, node, false);
  }
  if (reload) {
    owner_->Reload();
    if (!closed_) TakeSnapshot();
  } else if (!closed_) {
    if (!HasNotReloadedMark(node)) SetNotReloadedMark(node);
    owner_->DoChanged(false);
  }
}

}  // namespace pw::project
