// TpwProjectNode: the project node that keeps data, in a file of its own (storage kind 0,
// TpwNodeFileStorage) or inside its parent's data (kind 1, TpwNodeVirtualStorage). Its data is
// an options tree (the data node) that subclasses read in Load and write in Save around the
// inherited step; every stored node carries "Signature" (its type key) and "Version" (the
// host's data version), checked when it is read. It loads, saves, saves as, saves to a new or
// default file, unloads and reloads with the host's notices around them, and serves the
// project-node actions Save, Save As, Properties and Reload.
//
// Which interfaces it answers depends on its storage: IpwPersistentProjectNode and IpwFileNode
// only with a file, IpwParentStoredNode and IpwParentStoredMarker only in its parent's data.
#pragma once

#include <memory>
#include <vector>

#include "core/options/light_xml_files.h"
#include "core/options/options_intf.h"
#include "project/nodes/base_node.h"

namespace pw::project {

class TpwNodeCustomStorage;
class TpwNodeFileStorage;
class TpwNodeVirtualStorage;

inline constexpr std::uint8_t kFileStorageKind = 0;
inline constexpr std::uint8_t kParentStorageKind = 1;

// Node error codes of loads.
inline constexpr std::int32_t kErrFileMissing = 101;
inline constexpr std::int32_t kErrInvalidFormat = 103;
inline constexpr std::int32_t kErrInvalidCaption = 104;
inline constexpr std::int32_t kErrException = static_cast<std::int32_t>(0x80020009u);

class TpwProjectNode
    : public Implements<TpwBaseProjectNode, IpwPersistentProjectNode, IpwFileNode, IpwFileSaveSupport,
                        IpwParentStoredNode, IpwUnsavedCopySave, IpwProjectActionHandler, IpwFileNameCollection,
                        IpwProjectNodeEventProviderOwner, IpwContextMenuProvider, IpwNodeSettingsSource, IpwNodeChange,
                        IpwParentStoredMarker, IpwNodeAuxiliary, IpwProjectNodeWithConfig> {
 public:
  TpwProjectNode(IpwProjectNode* parent, const GUID& typeKey, const GUID& key, std::uint8_t storageKind);
  ~TpwProjectNode() override;

  TpwNodeCustomStorage* Storage() const { return storage_.get(); }
  // Nil for a node of the other kind.
  TpwNodeFileStorage* FileStorage() const;
  TpwNodeVirtualStorage* VirtualStorage() const;
  std::int32_t UnloadCount() const { return unloadCount_.load(); }
  // The node as the host sees it.
  IpwProjectNode* AsNode() { return static_cast<IpwProjectNodeInternal*>(this); }
  // The file name (empty for a node kept in its parent's data).
  WideString FileName() const;

  // ---- What subclasses override
  // 0: options XML. Every node of this program answers 0.
  virtual std::uint8_t GetDataFormat() { return 0; }
  virtual bool HasModifiedData();
  virtual bool GetNodeOption() { return false; }
  // Reads the node from the data node (filled by the storage): the "Version" is brought up to
  // the current one. Subclasses read their properties after calling it.
  virtual bool Load();
  // Writes "Signature" and "Version"; 0 when done. Subclasses write their properties first.
  virtual std::int32_t Save();
  virtual void Unload();
  virtual WideString GetSignature();
  virtual WideString GetDataVersion();
  virtual bool CanLoad() { return true; }
  virtual ComPtr<IcvOptionsReader> CreateOptionsReader(WideStringView fileName);
  virtual bool ModifiedWhenVersionDiffers() { return false; }
  virtual void ReportReloadError(WideStringView text);
  // The files and folders of the node, deleted when the node is removed from the suite: a file
  // node's file and its folder.
  virtual void CollectStorageFiles(std::vector<WideString>& files, std::vector<WideString>& folders);

  // The checks of a read: signature (103), then version (105 unknown, 106 newer). The version
  // check leaves Flag as it was for an empty version and sets it False otherwise.
  bool CheckSignature(IcvOptionsNode* data);
  bool CheckDataVersion(IcvOptionsNode* data, bool& flag);

  // ---- Light XML data (data format 1) and nodes that read and write their own files (2)
  // Format 1 nodes read themselves from the file's root element (after the same checks) and
  // write themselves through a data writer; an options XML file of the node is still read
  // (through Load) and written in the light format at the next save. Format 2 nodes answer
  // IpwOwnFormatNode, which the storage calls to read, load and write the file.
  bool CheckReaderSignature(IcvXMLDataReader* reader);
  bool CheckDataVersion(IcvXMLDataReader* reader, bool& flag);
  // Reads the node from the root element; subclasses read their data after calling it.
  virtual bool LoadFromReader(IcvXMLDataReader* reader);
  // "Signature" and "Version"; 0 when done.
  virtual std::int32_t WriteHeader(IcvDataWriter* writer);
  // The node's own attributes and child elements; 0 when done.
  virtual std::int32_t WriteData(IcvDataWriter* writer) { return 0; }
  // The whole root element: header, data, end. A failing step leaves the element open, so a
  // file writer never puts a partial file in place of the old one.
  std::int32_t SaveToWriter(IcvDataWriter* writer);

  // ---- Steps
  void Changed(bool notify) { DoChanged(notify); }
  ComPtr<IcvOptionsNode> DataNode();
  ComPtr<IcvOptionsNode> Settings();
  bool Reload();
  // Drops the node's data. While the node is finalized for removal it deletes the node's files
  // (CollectStorageFiles; the project above may keep a file) and then its folders once empty.
  void UnloadData();
  // The file operations (file storage only; False or 1 for other nodes).
  bool ReloadFromFileName(WideStringView fileName, bool quiet);
  std::int32_t SaveToOwnFileResult();
  std::int32_t SaveNodeResult();
  std::int32_t SaveToNewFileName(WideStringView fileName, bool flag);
  std::int32_t SaveToDefaultFileResult(bool flag);
  bool SavingToNewFile() const { return saveAsCount_ > 0; }
  const WideString& NewFileNameText() const { return newFileName_; }
  const WideString& OldFileNameText() const { return oldFileName_; }
  void BeginUnsavedSave();
  void EndUnsavedSave();
  void SetSaveTarget(IcvOptionsNode* target) { saveTarget_ = target; }

  bool CanSave();
  bool SaveAction();
  bool CanSaveAs();
  bool SaveAs();
  bool CanShowProperties();
  void ShowNodeProperties();
  bool CanReload();
  // Files dropped on the node (the names one a line, CR LF between): whether the node takes them
  // (False here) and the drop (nothing here).
  virtual bool CanAcceptFiles(WideStringView fileNames) { return false; }
  virtual void AcceptFiles(WideStringView fileNames) {}

  // The context menu {05F2D106-...} filled with CollectMenuKeys (found or created); nil when no
  // key is collected or the host has no menu service.
  ComPtr<IpwMenu> GetContextMenu();
  // A file node's menu keys: its source-control menu key (when that menu has items), then
  // "Reload" while it carries the not-reloaded mark. None for other nodes.
  virtual void CollectMenuKeys(std::vector<GUID>& keys);
  // The file names the node uses, sorted ignoring case, without duplicates.
  ComPtr<IpwStringCollection> GetStringCollection();
  virtual void FillStringCollection(std::vector<WideString>& list);
  // The project-node events of the node's event provider (made by Initialize when the host has
  // an object broker, released by Finalize); nothing in this class.
  virtual void EventProviderHook1(const VARIANT& arg) {}
  virtual void EventProviderHook2(const VARIANT& arg) {}

  // ---- Overrides of the base node
  void DoChanged(bool notify) override;
  bool IsModified() override;
  std::uint8_t GetStorageType() override;
  bool ValidateName(WideString& newName, bool allowCorrection) override;
  void NameChanged(const WideString& oldName, const WideString& newName) override;
  OleVariant Attribute(std::int32_t id) override;
  // A file node adds "Storage Name" (its file) and "Comment" (attribute 5), both read-only.
  std::int32_t PropertyCount() override;
  ComPtr<IpwPropertyObject> CreatePropertyObject(std::int32_t index) override;
  void GetPropertyValue(std::int32_t index, VARIANT* value) override;
  void DoInitialize(IcvBaseManager* manager) override;
  void DoFinalize() override;

  // IpwProjectNode (one implementation for every interface that extends it)
  PW_PROJECT_NODE_MEMBERS
  // IpwPersistentProjectNode
  HRESULT GetModified(VARIANT_BOOL* modified) override;
  HRESULT SetModified(VARIANT_BOOL modified) override;
  HRESULT SaveNode() override;
  HRESULT LoadItemData(IUnknown* entry, VARIANT_BOOL* loaded) override;
  HRESULT WriteItemData(IUnknown* entry) override;
  // IpwFileNode
  HRESULT ReloadFromFile(BSTR fileName, VARIANT_BOOL quiet, VARIANT_BOOL* loaded) override;
  HRESULT SaveToOwnFile(std::int32_t* result) override;
  // IpwFileSaveSupport
  HRESULT SaveToNewFile(BSTR fileName, VARIANT_BOOL flag, std::int32_t* result) override;
  HRESULT IsSavingToNewFile(VARIANT_BOOL* result) override;
  HRESULT GetNewFileName(BSTR* fileName) override;
  HRESULT GetOldFileName(BSTR* fileName) override;
  HRESULT SaveToDefaultFile(VARIANT_BOOL flag, std::int32_t* result) override;
  HRESULT WriteCreationInfo(IUnknown* info) override;
  // IpwParentStoredNode
  HRESULT LoadFromDataNode(IUnknown* source, VARIANT_BOOL* loaded) override;
  HRESULT SaveToDataNode(IUnknown* target, VARIANT_BOOL force, std::int32_t* result) override;
  HRESULT MarkChanged() override;
  HRESULT GetEventProvider(IUnknown** provider) override;
  // IpwUnsavedCopySave
  HRESULT SaveToUnsavedCopy(std::int32_t* result) override;
  // IpwProjectActionHandler: Save, Save As, Properties and Reload.
  std::int32_t ExecuteAction(const GUID& action, const VARIANT& param, VARIANT* result) override;
  void UpdateAction(const GUID& action) override;
  // IpwFileNameCollection
  HRESULT GetStringCollection(IpwStringCollection** files) override;
  // IpwProjectNodeEventProviderOwner
  HRESULT OnEvent1(const VARIANT& arg) override;
  HRESULT OnEvent2(const VARIANT& arg) override;

  // ---- Context menu, settings source, changes, auxiliary calls, configurations, extender
  // IpwContextMenuProvider
  HRESULT GetContextMenu(IpwMenu** menu) override;
  // IpwNodeSettingsSource (GetKey and GetTypeKey are IpwProjectNode's)
  HRESULT GetProjectKey(GUID* key) override;
  HRESULT GetSettings(IUnknown** settings) override;
  // IpwNodeChange
  HRESULT Changed(VARIANT_BOOL notify) override;
  // IpwNodeAuxiliary: nothing in this class (the query answers False).
  HRESULT AuxiliaryQuery(std::int32_t kind, const VARIANT& argument, VARIANT_BOOL* result) override;
  HRESULT AuxiliaryNotify(std::int32_t kind, const VARIANT& argument) override;
  // IpwProjectNodeWithConfig: the configurations the node keeps under GetConfigKeys in the
  // Config store it was given.
  HRESULT HasConfigKey(const GUID& key, VARIANT_BOOL* result) override;
  HRESULT IsConfigKeyModified(const GUID& key, VARIANT_BOOL* result) override;
  HRESULT SetConfig(IUnknown* config) override;
  HRESULT SaveConfigKey(const GUID& key) override;
  HRESULT LoadConfigKey(const GUID& key) override;

  // The keys of the node's configurations; none in this class.
  virtual std::vector<GUID> GetConfigKeys() { return {}; }
  IUnknown* GetConfig() const { return config_.Get(); }
  // What the interface's calls do for one key: nothing in this class.
  virtual bool ConfigKeyModified(const GUID& key) { return false; }
  virtual void StoreConfigKey(const GUID& key) {}
  virtual void ReadConfigKey(const GUID& key) {}
  // The node's extender, made by Initialize from CreateExtender (nil: none) and released by
  // Finalize. It takes part in loads, saves, unloads, the modified state and the file names.
  virtual ComPtr<IpwPNExtenderProvider> CreateExtender() { return nullptr; }
  IpwPNExtenderProvider* Extender() const { return extender_.Get(); }

 protected:
  void* GetInterface(const IID& riid) noexcept override;

 private:
  friend class TpwNodeCustomStorage;
  friend class TpwNodeFileStorage;
  friend class TpwNodeVirtualStorage;

  std::unique_ptr<TpwNodeCustomStorage> storage_;
  std::atomic<std::int32_t> unloadCount_{0};
  std::int32_t unsavedDepth_ = 0;
  std::int32_t saveAsCount_ = 0;
  WideString oldFileName_, newFileName_;
  bool saveAsFlag_ = false;
  ComPtr<IcvOptionsNode> saveTarget_;
  bool actionsRegistered_ = false;
  ComPtr<IpwProjectNodeEventProvider> eventProvider_;
  bool CheckVersionText(const WideString& stored, bool& flag);

  std::int32_t storageNameIndex_ = -1, commentIndex_ = -1;
  ComPtr<IUnknown> config_;
  ComPtr<IpwPNExtenderProvider> extender_;
};

// The files and folders that removing Node from the suite deletes: those of every node of its
// subtree that keeps data (CollectStorageFiles), sorted ignoring case, one entry per name.
void CollectRemovedNodeFiles(IpwProjectNode* node, std::vector<WideString>& files, std::vector<WideString>& folders);
// Deletes the files of a removed node unless the project (Project: the Project node above the
// removed node, or that node itself; nil: no veto) keeps them, then the folders, the deepest
// first, once they are empty. A missing file is skipped.
void DeleteRemovedFiles(IpwProjectNode* project, const std::vector<WideString>& files,
                        const std::vector<WideString>& folders);

}  // namespace pw::project
