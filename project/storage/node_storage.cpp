#include "project/storage/node_storage.h"

#include <unistd.h>

#include <algorithm>

#include "core/files/file_utils.h"
#include "core/host/host_services.h"
#include "core/options/options_tree.h"
#include "core/options/options_xml_storage.h"
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

void TpwNodeFileStorage::TakeSnapshot() { TakeSnapshot(ReadFileSnapshot(fileName_)); }

void TpwNodeFileStorage::TakeSnapshot(const TFileSnapshot& snapshot) {
  snapshot_ = snapshot;
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
  const std::uint8_t format = owner_->GetDataFormat();
  if (!closed_ && format != 0) {
    // The node is written to the new file first; only a complete write moves the node.
    if (WriteOtherFormat(newPath, false) != 0)
      throw EOleSysError(WideFormat(u"The '%s' file could not be written.", {newPath}), E_FAIL);
  } else if (!closed_ && data_) {
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

ComPtr<IpwOwnFormatNode> TpwNodeFileStorage::OwnFormat() const {
  auto own = QueryAs<IpwOwnFormatNode>(owner_->AsNode());
  if (!own) throw EOleSysError(u"The element does not read or write its own file format.", E_NOINTERFACE);
  return own;
}

void TpwNodeFileStorage::SaveLightFile(WideStringView fileName) {
  auto controller = TcvXMLDataWriterController::CreateForFile(fileName);
  auto writer = controller->GetWriter();
  std::int32_t result = owner_->SaveToWriter(writer.Get());
  if (result != 0) throw EOleSysError(u"The element could not be written.", E_FAIL);
}

std::int32_t TpwNodeFileStorage::WriteOtherFormat(WideStringView fileName, bool asCopy) {
  if (owner_->GetDataFormat() == 1) {
    SaveLightFile(fileName);
    return 0;
  }
  std::int32_t result = 1;
  SafeCallCheck(OwnFormat()->WriteFile(BString(fileName).Get(), ToWordBool(asCopy), &result));
  return result;
}

std::uint8_t TpwNodeFileStorage::ReadFileData(WideStringView fileName, FileData& data) {
  data = {};
  const bool options = owner_->GetDataFormat() == 0;
  if (!options && !FileExistsName(fileName)) return 0;
  if (options || IsProjectItemFileFormat(fileName)) {
    auto builder = CreateOptionsBuilder();
    auto reader = owner_->CreateOptionsReader(fileName);
    // The file is read once, for the data and for its snapshot; only a read that failed asks
    // whether the file is there at all.
    auto* xml = dynamic_cast<TcvSAX2OptionsReader*>(reader.Get());
    std::string bytes;
    TFileSnapshot snapshot;
    if (xml && ReadFileWithSnapshot(fileName, bytes, snapshot)) {
      xml->LoadFromMemory(bytes);
      data.snapshot = snapshot;
    } else if (!FileExistsName(fileName)) {
      return 0;
    }
    builder->SetReader(reader.Get());
    // A file that is there but cannot be read at all (no read permission, a FIFO, a device) says
    // so, rather than passing for a file of another format.
    if (xml) {
      xml->GetRoot();
      const auto& failure = xml->GetLoadFailure();
      if (failure.failed && failure.line == 0)
        throw EOleSysError(WideFormat(u"Cannot open the '%s' file: %s.", {fileName, failure.message}), E_FAIL);
    }
    if (!owner_->CheckSignature(builder->GetRoot().Get())) {
      data = {};
      return 0;
    }
    data.options = builder;
    return 1;
  }
  TcvXMLDataReaderController controller(fileName);
  auto root = controller.GetReader();
  if (!owner_->CheckReaderSignature(root.Get())) return 0;
  data.light = root;
  return 2;
}

bool TpwNodeFileStorage::ReadNodeFile(WideStringView fileName, bool quiet, FileData& data) {
  data = {};
  IcvBaseManager* manager = Manager();
  // The caller found the file; one that went since then is told apart only when the read fails.
  auto missing = [&] {
    if (FileExistsName(fileName)) return false;
    owner_->SetNodeError(kErrFileMissing, BString(WideFormat(u"The '%s' file does not exist.", {fileName})).Get());
    return true;
  };
  try {
    FileData options;
    if (ReadFileData(fileName, options) == 0) {
      if (missing()) return false;
      if (!quiet)
        ShowMessage(manager, WideFormat(u"Cannot open the '%s' file because it is not a valid %s file.",
                                        {fileName, GetNodeTypeName(manager, owner_->AsNode())}));
      return false;
    }
    WideString copy = WideString(fileName) + WideString(kUnsavedCopySuffix);
    bool fromCopy = false;
    if (FileExistsName(copy)) {
      FileData copyData;
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
          if (copyData.options) {
            copyData.options->LoadAll();
            copyData.options->SetReader(owner_->CreateOptionsReader(fileName).Get());
          }
          options = copyData;
          options.snapshot.reset();  // the snapshot is the file's, not the copy's
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
    const bool versionOk = options.options ? owner_->CheckDataVersion(options.options->GetRoot().Get(), flag)
                                           : owner_->CheckDataVersion(options.light.Get(), flag);
    if (!versionOk) {
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
    if (data.options && owner_->ModifiedWhenVersionDiffers()) data.options->ReleaseReader();
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
  const std::uint8_t format = owner_->GetDataFormat();
  WideString name;
  FileData raw;
  ComPtr<IUnknown> ownData;
  bool result = true;
  pendingCopy_.clear();
  if (missing) {
    name = WideString(fileName);
  } else {
    name = GetLongPath(fileName);
    if (WideTrim(name).empty()) name = WideString(fileName);
    result = owner_->CanLoad();
    if (result && format == 2) {
      VARIANT_BOOL read = VARIANT_FALSE;
      SafeCallCheck(OwnFormat()->ReadFile(BString(fileName).Get(), ToWordBool(quiet), ownData.Put(), &read));
      result = read != VARIANT_FALSE;
    } else if (result) {
      result = ReadNodeFile(name, quiet, raw);
    }
  }
  if (!result) return false;
  owner_->BeginUpdate();
  try {
    closed_ = false;
    fileName_ = WideExpandFileName(name);
    if (raw.snapshot) TakeSnapshot(*raw.snapshot);
    else TakeSnapshot();
    StopObserver();
    ComPtr<IUnknown> flagged;
    const bool flag = Succeeded(owner_->AsNode()->QueryInterface(kObserverFlagIid, flagged.PutVoid())) && flagged;
    observer_ = MakeObject<TpwFileObserver>(manager, observerOwner_.Get(), flag);
    owner_->ChangeName(FileBaseName(fileName_));
    if (format == 2) {
      VARIANT_BOOL loaded = VARIANT_FALSE;
      SafeCallCheck(OwnFormat()->LoadFile(BString(fileName_).Get(), ownData.Get(), &loaded));
      result = loaded != VARIANT_FALSE;
    } else if (raw.light || (format == 1 && !raw.options)) {
      data_ = nullptr;
      ComPtr<IcvXMLDataReader> root = raw.light;
      if (!root) root = TcvXMLDataReaderController(fileName_).GetReader();
      result = owner_->LoadFromReader(root.Get());
    } else {
      if (raw.options) data_ = raw.options;
      else BindOptionsFile(fileName_, false);
      if (owner_->ModifiedWhenVersionDiffers()) {
        WideString stored;
        SafeCallCheck(PropertiesOf(GetDataNode().Get())->GetString(u"Version", u"", &stored));
        if (stored != owner_->GetDataVersion()) forceModified_ = true;
      }
      result = owner_->Load();
      if (format == 1) {
        // Read from options XML: the next save writes the light format.
        forceModified_ = true;
        data_->ReleaseReader();
        data_ = nullptr;
      }
    }
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
    if (!IsFileReadOnlyName(chosen)) {
      fileName = chosen;
      return 0;
    }
    // The same write-protected file chosen again (a host without dialogs keeps the name it is
    // offered): nothing else will be chosen, so the save is cancelled instead of asking forever.
    if (SameFileName(chosen, fileName)) return 2;
    fileName = chosen;
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
  const std::uint8_t format = owner_->GetDataFormat();
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
      if (format != 0) {
        result = 0;
      } else {
        if (asCopy) {
          saveData_ = CreateOptionsBuilder();
          if (auto root = TpwNodeCustomStorage::GetDataNode()) SafeCallCheck(root->CopyTo(saveData_->GetRoot().Get()));
        } else if (!data_) {
          data_ = CreateOptionsBuilder();
        }
        result = owner_->Save();
      }
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
        auto* extender = owner_->Extender();
        if (format != 0) {
          // Light XML and own formats: written whole by their writers, which replace the file
          // only once it is complete.
          if (observer_) observer_->Refresh();
          result = WriteOtherFormat(saveTarget, asCopy);
          if (!asCopy && result == 0) {
            TakeSnapshot();
            if (toOther) owner_->ChangeName(FileBaseName(fileName_));
          }
          if (observer_) observer_->Refresh();
        } else if (asCopy) {
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
        // The extender hears of copies, of moves and of saves into the unsaved copy; its answer
        // counts when it is the larger.
        std::int32_t extended = 0;
        if (extender && result == 0) {
          BString written(saveTarget);
          if (asCopyArg) SafeCallCheck(extender->AfterSaveCopy(written.Get(), &extended));
          else if (toOther || asCopy) SafeCallCheck(extender->AfterSaveToFile(written.Get(), &extended));
        }
        result = std::max(result, extended);
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
