// Logical folders of a container: the collection (the root, owned by the container), the folders
// below it and the bridge from the collection to the container node.
//
// Stored layout, below the node the container gives the collection (its data's "Folders"):
//   "Folders" > "Folder%.10d" (one per folder in list order; "Index", "Caption", "Description",
//   "Moniker") > "References" > "Ref%.10d" ("Key": the child's key in braces, "Index"), and the
//   folder's own "Folders" with its sub-folders, recursively. A save clears the node first and
//   writes the references of present children only, numbered without gaps. A load sorts each
//   level by "Index" (missing: -1; ties by entry name, the order the file keeps them in), skips a
//   reference whose "Key" is no GUID text or names no present child, and reads nothing else.
//   Keys are translated through a map of the container's children made once per load and save.
//
// References hold context identifiers (the children's instance keys), never keys. Folder
// operations change the project's data only: removing a folder removes from the container only
// the referenced children whose item type answers property 12 True, and their files go only when
// DeleteItems is True.
//
// Messages: "A name cannot be an empty string." (4188) and "An element with the name '%s'
// already exists." (4189), through the messenger. Out-of-range indexes: E_INVALIDARG.
#pragma once

#include <optional>
#include <unordered_map>

#include "core/com/interfaced_object.h"
#include "project/folders/folder_interfaces.h"
#include "project/nodes/companions.h"

namespace pw::project {

class TpwProjectVirtualFolder;

inline constexpr char16_t kDefaultFolderDescription[] =
    u"A logical folder that is used to organize project items and elements.";
// The moniker of the "Advanced" folder.
inline constexpr GUID kAdvancedFolderMoniker = MakeGuid("{69583268-92F3-49FA-B573-C831F5ABC27B}");
inline constexpr char16_t kAdvancedFolderMonikerText[] = u"{69583268-92F3-49FA-B573-C831F5ABC27B}";
// The folder's context menu.
inline constexpr GUID kFolderContextMenu = MakeGuid("{71DEE57B-AFF1-44E8-9649-53356EBC7122}");
inline constexpr std::int32_t kHelpEmptyName = 4188;
inline constexpr std::int32_t kHelpNameExists = 4189;
// The item-type property that lets a folder's removal take the referenced child with it.
inline constexpr std::int32_t kInfoRemoveWithFolder = 12;

// The collection's view of its container.
class TpwFolderCollectionOwner {
 public:
  virtual ~TpwFolderCollectionOwner() = default;
  virtual void Detach() = 0;
  virtual WideString GetDefaultFolderDescription() = 0;
  virtual GUID GetContextId() = 0;
  virtual GUID GetNewItemActionKey() = 0;
  virtual GUID GetAddExistingItemActionKey() = 0;
  virtual ComPtr<IpwProjectVirtualFolders> GetVirtualFoldersInterface() = 0;
  virtual ComPtr<IpwProjectVirtualFolderHost> GetChildFactory() = 0;
  virtual GUID ContextIdToKey(const GUID& contextId) = 0;
  virtual GUID KeyToContextId(const GUID& key) = 0;
  virtual bool RequestEdit() = 0;
  virtual void DeleteReferencedItems(std::span<const GUID> references, bool deleteItems) = 0;
  virtual void MarkNodeModified() = 0;
  virtual void NotifyNodeChanged() = 0;
  // Translation maps for the duration of a load or save (nested calls share them).
  virtual void BeginTranslation() {}
  virtual void EndTranslation() {}
};

class TpwFolderCollectionOwner_ProjectNode final : public TpwFolderCollectionOwner {
 public:
  TpwFolderCollectionOwner_ProjectNode(IcvBaseManager* manager, IpwProjectNode* node);
  void Detach() override;
  WideString GetDefaultFolderDescription() override { return kDefaultFolderDescription; }
  GUID GetContextId() override;
  GUID GetNewItemActionKey() override;
  GUID GetAddExistingItemActionKey() override;
  ComPtr<IpwProjectVirtualFolders> GetVirtualFoldersInterface() override;
  ComPtr<IpwProjectVirtualFolderHost> GetChildFactory() override;
  GUID ContextIdToKey(const GUID& contextId) override;
  GUID KeyToContextId(const GUID& key) override;
  bool RequestEdit() override;
  void DeleteReferencedItems(std::span<const GUID> references, bool deleteItems) override;
  void MarkNodeModified() override;
  void NotifyNodeChanged() override;
  void BeginTranslation() override;
  void EndTranslation() override;

 private:
  ComPtr<IcvBaseManager> manager_;
  ComPtr<IpwProjectNode> node_;
  std::int32_t translating_ = 0;
  bool keysMapped_ = false, idsMapped_ = false;
  std::unordered_map<GUID, GUID> keyToId_, idToKey_;
};

using TpwFolderList = std::vector<ComPtr<TpwProjectVirtualFolder>>;

// What the collection and a folder share as parents of folders.
class TpwFolderLevel {
 public:
  virtual ~TpwFolderLevel() = default;
  virtual TpwFolderList& FolderList() = 0;
  virtual GUID LevelContextId() = 0;
  virtual IpwProjectVirtualFolderPrivate* AsPrivate() = 0;
  virtual TpwFolderLevel* ParentLevel() = 0;

  // The work on the own list both levels share; a change marks the level modified.
  bool HasFolderNamed(WideStringView name);
  void AttachToList(IpwProjectVirtualFolder* folder);
  void DetachFromList(IpwProjectVirtualFolder* folder);
  // Lets a folder of the list delete its references and finalize, then takes it out.
  void RemoveFromList(TpwProjectVirtualFolder* folder, bool deleteItems);
  // Empties the list, then finalizes the folders it held.
  void FinalizeList();
};

class TpwProjectVirtualFolderCollection final
    : public Implements<TcvInterfacedObject, IpwProjectVirtualFolderPrivate, IpwProjectVirtualFolderCollection,
                        IpwProjectVirtualFolders, IpwProjectContextItem>,
      public TpwFolderLevel {
 public:
  // Takes the owner.
  TpwProjectVirtualFolderCollection(IcvBaseManager* manager, std::unique_ptr<TpwFolderCollectionOwner> owner);
  ~TpwProjectVirtualFolderCollection() override;

  // IpwProjectVirtualFolderOwner
  void FinalizeFolders() override;
  bool IsFolderModified() override { return modified_; }
  void MarkModified() override;
  void Load(IcvOptionsNode* node) override;
  void Save(IcvOptionsNode* node) override;
  ComPtr<IpwProjectVirtualFolderOwner> GetOwner() override { return nullptr; }
  void Deleting(bool) override {}
  bool ReplaceReference(const GUID& oldId, const GUID& newId) override;
  bool DropReference(const GUID& contextId) override;
  // IpwProjectVirtualFolderPrivate
  WideString GetDefaultFolderDescription() override;
  bool NameExists(WideStringView name) override;
  GUID ContextIdToKey(const GUID& contextId) override;
  GUID KeyToContextId(const GUID& key) override;
  bool CanEdit() override;
  void DeleteReferencedItems(std::span<const GUID> references, bool deleteItems) override;
  void AttachFolder(IpwProjectVirtualFolder* folder) override;
  void DetachFolder(IpwProjectVirtualFolder* folder) override;
  void NotifyChanged() override;
  bool CanAddNewItem() override;
  bool AddNewItem(const GUID& typeKey, std::vector<GUID>& added, bool& gotList) override;
  bool CanAddExistingItem() override;
  bool AddExistingItem(WideStringView fileName, std::vector<GUID>& added, bool& gotList) override;
  // IpwProjectVirtualFolderCollection
  ComPtr<IpwProjectVirtualFolders> GetFolders() override;
  // IpwProjectVirtualFolders
  HRESULT GetCount(std::int32_t* count) override;
  HRESULT GetItem(std::int32_t index, IpwProjectVirtualFolder** folder) override;
  HRESULT CanAddFolder(VARIANT_BOOL* result) override;
  HRESULT AddFolder(IpwProjectVirtualFolder** folder) override;
  HRESULT RemoveFolder(IpwProjectVirtualFolder* folder, VARIANT_BOOL deleteItems) override;
  // IpwProjectContextItem: the container's context identifier.
  HRESULT GetInstanceKey(GUID* key) override;
  // TpwFolderLevel
  TpwFolderList& FolderList() override { return folders_; }
  GUID LevelContextId() override;
  IpwProjectVirtualFolderPrivate* AsPrivate() override { return this; }
  TpwFolderLevel* ParentLevel() override { return nullptr; }

  TpwFolderCollectionOwner* Owner() const { return owner_.get(); }

 private:
  ComPtr<IcvBaseManager> manager_;
  std::unique_ptr<TpwFolderCollectionOwner> owner_;
  TpwFolderList folders_;
  bool modified_ = false;
};

class TpwProjectVirtualFolder final
    : public Implements<TcvInterfacedObject, IpwContextMenuProvider, IpwProjectVirtualFolderPrivate,
                        IpwProjectVirtualFolder, IpwPropertyObjectOwner, IpwNodePropertyList, IpwProjectActionHandler>,
      public TpwFolderLevel {
 public:
  TpwProjectVirtualFolder(IcvBaseManager* manager, IpwProjectVirtualFolderPrivate* owner, TpwFolderLevel* ownerLevel,
                          const GUID& newItemActionKey, const GUID& addExistingItemActionKey, WideStringView caption);
  ~TpwProjectVirtualFolder() override;

  const WideString& Caption() const { return caption_; }
  const GUID& Key() const { return key_; }
  const std::vector<GUID>& References() const { return references_; }
  // The references of the folder and its sub-folders, depth first.
  void CollectReferences(std::vector<GUID>& out) const;

  // IpwContextMenuProvider
  HRESULT GetContextMenu(IpwMenu** menu) override;
  // IpwProjectVirtualFolderOwner
  void FinalizeFolders() override;
  bool IsFolderModified() override { return modified_; }
  void MarkModified() override;
  void Load(IcvOptionsNode* node) override;
  void Save(IcvOptionsNode* node) override;
  ComPtr<IpwProjectVirtualFolderOwner> GetOwner() override;
  void Deleting(bool deleteItems) override;
  bool ReplaceReference(const GUID& oldId, const GUID& newId) override;
  bool DropReference(const GUID& contextId) override;
  // IpwProjectVirtualFolderPrivate (the own-list operations act on the sub-folders; the others go up)
  WideString GetDefaultFolderDescription() override;
  bool NameExists(WideStringView name) override;
  GUID ContextIdToKey(const GUID& contextId) override;
  GUID KeyToContextId(const GUID& key) override;
  bool CanEdit() override;
  void DeleteReferencedItems(std::span<const GUID> references, bool deleteItems) override;
  void AttachFolder(IpwProjectVirtualFolder* folder) override;
  void DetachFolder(IpwProjectVirtualFolder* folder) override;
  void NotifyChanged() override;
  bool CanAddNewItem() override;
  bool AddNewItem(const GUID& typeKey, std::vector<GUID>& added, bool& gotList) override;
  bool CanAddExistingItem() override;
  bool AddExistingItem(WideStringView fileName, std::vector<GUID>& added, bool& gotList) override;
  // IpwProjectVirtualFolder
  HRESULT GetInstanceKey(GUID* key) override;
  HRESULT GetName(BSTR* name) override;
  HRESULT GetDescription(BSTR* description) override;
  HRESULT GetBitmap(HBITMAP* bitmap) override;
  HRESULT GetFolderCount(std::int32_t* count) override;
  HRESULT GetFolder(std::int32_t index, IpwProjectViewerNode** folder) override;
  HRESULT SetName(BSTR name, VARIANT_BOOL* success) override;
  HRESULT SetDescription(BSTR description) override;
  HRESULT SetBitmap(HBITMAP bitmap) override;
  HRESULT GetMoniker(BSTR* moniker) override;
  HRESULT SetMoniker(BSTR moniker) override;
  HRESULT GetOption(std::int32_t index, VARIANT* value) override;
  HRESULT SetOption(std::int32_t index, const VARIANT& value) override;
  HRESULT CanAddFolder(VARIANT_BOOL* result) override;
  HRESULT AddFolder(IpwProjectVirtualFolder** folder) override;
  HRESULT CanRemoveFolder(IpwProjectVirtualFolder* folder, VARIANT_BOOL deleteItems, VARIANT_BOOL* result) override;
  HRESULT RemoveFolder(IpwProjectVirtualFolder* folder, VARIANT_BOOL deleteItems, VARIANT_BOOL* success) override;
  HRESULT CanMoveTo(const GUID& targetId, VARIANT_BOOL* result) override;
  HRESULT MoveTo(const GUID& targetId, VARIANT_BOOL* success) override;
  HRESULT CanAddReference(const GUID& contextId, VARIANT_BOOL* result) override;
  HRESULT CanRemoveReference(const GUID& contextId, VARIANT_BOOL* result) override;
  HRESULT CanMoveReference(const GUID& contextId, const GUID& targetId, VARIANT_BOOL* result) override;
  HRESULT AddReference(const GUID& contextId, VARIANT_BOOL force, VARIANT_BOOL* success) override;
  HRESULT RemoveReference(const GUID& contextId, VARIANT_BOOL force, VARIANT_BOOL* success) override;
  HRESULT GetReferenceCount(std::int32_t* count) override;
  HRESULT GetReference(std::int32_t index, GUID* contextId) override;
  HRESULT SetController(IpwProjectVirtualFolderExternalController* controller) override;
  // IpwPropertyObjectOwner: 0 the name (writable), 1 the description (read only).
  void GetPropertyValue(std::int32_t index, VARIANT* value) override;
  void SetPropertyValue(std::int32_t index, const VARIANT& value) override;
  // IpwNodePropertyList
  HRESULT GetPropertyCount(std::int32_t* count) override;
  HRESULT GetProperty(std::int32_t index, IpwPropertyObject** property) override;
  // IpwProjectActionHandler: the controller first; new item (a type key text) and existing item
  // (a file name) here; 0 when done, else 2.
  std::int32_t ExecuteAction(const GUID& action, const VARIANT& param, VARIANT* result) override;
  // The controller first; then the host's New Item action gets its title "Add Child Item" back and
  // is enabled by CanAddNewItem, Existing Item by CanAddExistingItem (property 0). Other actions
  // are left alone.
  void UpdateAction(const GUID& action) override;
  // TpwFolderLevel
  TpwFolderList& FolderList() override { return subFolders_; }
  GUID LevelContextId() override { return key_; }
  IpwProjectVirtualFolderPrivate* AsPrivate() override { return this; }
  TpwFolderLevel* ParentLevel() override { return ownerLevel_; }

  // The work of the two actions (False without a parent or when the container may not change).
  bool AddNewItemHere(const GUID& typeKey);
  bool AddExistingItemHere(WideStringView fileName);

 protected:
  void* GetInterface(const IID& riid) noexcept override;

 private:
  bool Rename(WideStringView value);
  bool ControllerSays(const std::function<HRESULT(VARIANT_BOOL*)>& ask);
  std::vector<GUID> ControllerActions();
  // The folder's own action keys (New Item, Existing Item) that are set.
  std::vector<GUID> ActionKeys() const;
  bool IsReferenced(const GUID& id) const;
  bool AddHere(const std::function<bool(std::vector<GUID>&, bool&)>& add);

  ComPtr<IcvBaseManager> manager_;
  GUID key_{};
  ComPtr<IpwProjectVirtualFolderPrivate> owner_;
  TpwFolderLevel* ownerLevel_ = nullptr;
  GUID newItemActionKey_{}, addExistingItemActionKey_{};
  WideString caption_, description_;
  HBITMAP bitmap_ = 0;
  WideString moniker_;
  WideString option0_;
  bool option1_ = true, option2_ = true, option3_ = false;
  ComPtr<IpwProjectVirtualFolderExternalController> controller_;
  TpwFolderList subFolders_;
  std::vector<GUID> references_;
  bool modified_ = false;
  bool actionsRegistered_ = false;
  std::vector<ComPtr<IpwPropertyObjectEx>> properties_;
};

// "NewFolder%d" with the first n that no folder of the list holds (ignoring case).
WideString DefaultFolderName(const TpwFolderList& list);
// A new folder under the level with a fresh default name, appended to its list.
ComPtr<TpwProjectVirtualFolder> CreateDefaultFolder(IcvBaseManager* manager, TpwFolderLevel& level,
                                                    const GUID& newItemActionKey, const GUID& addExistingItemActionKey);
// The folder object behind the interface (nil for someone else's).
TpwProjectVirtualFolder* AsFolderObject(IpwProjectVirtualFolder* folder);

}  // namespace pw::project
