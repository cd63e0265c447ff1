// The storages of persistent nodes. TpwNodeVirtualStorage keeps a node's data inside its
// parent's data (an entry of the parent's child list); TpwNodeFileStorage keeps it in a file of
// its own: it opens the file (format and signature checks, the version rule, the unsaved-copy
// offer), saves it (also as a copy, into the unsaved copy, or to another name, which moves the
// node), moves the file when the node is renamed, watches it through a file observer and
// decides about a reload when it changed outside (snapshot of times, size and CRC-32).
//
// An item file is never lost or half written: every write goes through the options storage's
// temporary file and rename (light XML files through their writer's, own formats through the
// node); a read-only target is resolved before any write (the rename would
// replace it silently); a failed save to another name or a failed rename leaves the node bound
// to its old file, which stays where it was; a load that fails after reading leaves the storage
// closed, so no later save writes a partial tree over the file.
//
// The observer reaches the storage through a proxy that is detached under its lock before the
// storage goes, so no notice reaches a destroyed storage.
#pragma once

#include <mutex>
#include <optional>

#include "core/com/interfaced_object.h"
#include "core/options/light_xml_files.h"
#include "core/options/options_intf.h"
#include "interfaces/ProbewrightHost.h"
#include "project/storage/item_files.h"

namespace pw::project {

class TpwProjectNode;
class TpwNodeFileStorage;

class TpwNodeCustomStorage {
 public:
  explicit TpwNodeCustomStorage(TpwProjectNode* owner) : owner_(owner) {}
  virtual ~TpwNodeCustomStorage() = default;
  TpwNodeCustomStorage(const TpwNodeCustomStorage&) = delete;
  TpwNodeCustomStorage& operator=(const TpwNodeCustomStorage&) = delete;

  virtual void Initialize() {}
  virtual ComPtr<IcvOptionsNode> GetDataNode();
  virtual void ReleaseData() { data_ = nullptr; }
  virtual bool ValidateRename(WideStringView newName) { return true; }
  virtual void ApplyRename(WideStringView oldName, WideStringView newName) {}

  // The node from a data node (its "Caption" becomes the node's name); False for nil or a
  // failed load (the failure is shown, never raised).
  bool LoadFromDataNode(IcvOptionsNode* source);
  // 0 when saved or nothing had to be saved; the node's Save result otherwise. On 0 the target
  // holds a copy of the data.
  std::int32_t SaveToDataNode(IcvOptionsNode* target, bool force);
  void SetForceModified(bool value) { forceModified_ = value; }
  bool ForceModified() const { return forceModified_; }
  bool Saving() const { return saving_; }
  IcvOptionsBuilder* Data() const { return data_.Get(); }

 protected:
  TpwProjectNode* owner_;
  ComPtr<IcvOptionsBuilder> data_;
  bool forceModified_ = false;
  bool saving_ = false;
};

class TpwNodeVirtualStorage final : public TpwNodeCustomStorage {
 public:
  using TpwNodeCustomStorage::TpwNodeCustomStorage;
  ComPtr<IcvOptionsNode> GetDataNode() override;

 private:
  friend class TpwNodeCustomStorage;
  ComPtr<IcvOptionsNode> source_;
};

// The observer's owner: forwards to the storage until detached (under its lock).
class TpwFileObserverFakeOwner final : public Implements<TcvInterfacedObject, IpwFileObserverOwner> {
 public:
  explicit TpwFileObserverFakeOwner(TpwNodeFileStorage* storage) : storage_(storage) {}
  void Detach();
  HRESULT FileChanged() override;
  HRESULT FileDeleted() override;
  HRESULT FileReturned() override;
  HRESULT FileModeChanged() override;

 private:
  template <class F>
  HRESULT Forward(F f);
  // Recursive: a forward may end with the storage's own destruction on the same thread.
  std::recursive_mutex lock_;
  TpwNodeFileStorage* storage_;
};

class TpwNodeFileStorage final : public TpwNodeCustomStorage {
 public:
  explicit TpwNodeFileStorage(TpwProjectNode* owner);
  ~TpwNodeFileStorage() override;

  void Initialize() override;
  ComPtr<IcvOptionsNode> GetDataNode() override;
  void ReleaseData() override;
  bool ValidateRename(WideStringView newName) override;
  void ApplyRename(WideStringView oldName, WideStringView newName) override;

  // The observer's notices (flags 1 deleted, 2 changed, 4 back, 8 mode).
  void HandleFileFlag1() { CheckReload(); }
  void HandleFileFlag2() { ResetSnapshot(); }
  void HandleFileFlag4() {}
  void CheckReload();

  // Opens the node from the file: a missing file with CreateMissing is written at once.
  bool LoadFromFile(WideStringView fileName, bool quiet, bool createMissing);
  // 0 saved (or nothing to write), 1 refused or failed, 2 cancelled at the read-only question.
  std::int32_t SaveToFile(WideStringView newFileName, bool asCopy);
  WideString GetSaveTargetName() const;
  bool IsFileReadOnly() const { return IsFileReadOnlyName(fileName_); }
  void TakeSnapshot();
  // The same with a snapshot already read.
  void TakeSnapshot(const TFileSnapshot& snapshot);
  void ResetSnapshot() { snapshot_ = {}; }
  bool IsFileChanged() const { return !SnapshotsEqual(ReadFileSnapshot(fileName_), snapshot_); }
  void BeginUnsavedSave() { ++unsavedDepth_; }
  void EndUnsavedSave() {
    if (unsavedDepth_ > 0) --unsavedDepth_;
  }

  const WideString& FileName() const { return fileName_; }
  const TFileSnapshot& Snapshot() const { return snapshot_; }
  bool Closed() const { return closed_; }
  bool SavingToFile() const { return savingToFile_; }
  IpwFileObserver* Observer() const { return observer_.Get(); }

 private:
  // What a node file holds: options data, or the root element of a light XML file.
  struct FileData {
    ComPtr<IcvOptionsBuilder> options;
    ComPtr<IcvXMLDataReader> light;
    // The snapshot of the bytes the options were read from, when the file was read once for
    // both.
    std::optional<TFileSnapshot> snapshot;
  };
  // 0 not a node file, 1 options data, 2 light XML data.
  std::uint8_t ReadFileData(WideStringView fileName, FileData& data);
  bool ReadNodeFile(WideStringView fileName, bool quiet, FileData& data);
  // The node's own format (data format 2); raises when the node does not answer it.
  ComPtr<IpwOwnFormatNode> OwnFormat() const;
  // Writes the node as a light XML file; a failure raises and leaves the file as it was.
  void SaveLightFile(WideStringView fileName);
  // Writes the file of a data format 1 or 2 node (its own file or a copy).
  std::int32_t WriteOtherFormat(WideStringView fileName, bool asCopy);
  // Binds Data to the file; with ignoreOld the next save writes the whole tree (the file is
  // replaced by rename, never deleted first).
  void BindOptionsFile(WideStringView path, bool ignoreOld);
  // 0 another name chosen (in fileName), 1 make it writable, 2 cancel.
  std::int32_t ResolveReadOnlyTarget(WideString& fileName);
  void StopObserver();
  IcvBaseManager* Manager() const;

  ComPtr<IpwFileObserver> observer_;
  ComPtr<TpwFileObserverFakeOwner> observerOwner_;
  WideString fileName_;
  TFileSnapshot snapshot_;
  bool savingToFile_ = false;
  bool closed_ = true;
  ComPtr<IcvOptionsBuilder> saveData_;
  std::int32_t unsavedDepth_ = 0;
  // The unsaved copy a load took its data from: deleted once the load succeeded.
  WideString pendingCopy_;
};

}  // namespace pw::project
