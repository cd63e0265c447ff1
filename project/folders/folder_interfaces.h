// The interfaces of logical folders: what the project view sees of a folder and of a container's
// folders (COM: HRESULTs, an exception inside becomes a failure), the external controller a
// folder may be given, and the two internal owner interfaces through which a folder talks to its
// parent (plain calls that raise).
//
// Folders exist only in the project's data: a folder has a caption, a description, a moniker,
// sub-folders and references (the context identifiers of the container's children it shows).
// Nothing on disk moves when an item is put into a folder.
#pragma once

#include <span>
#include <vector>

#include "core/options/options_intf.h"
#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"
#include "platform/ui/gdi.h"

namespace pw::project {

struct IpwGUIDIterator;
struct IpwProjectVirtualFolder;

// A node of the project view: identity (the context identifier), name, description, bitmap and
// the nodes below it.
struct IpwProjectViewerNode : IpwProjectContextItem {
  static constexpr IID iid = MakeGuid("{4E5FE4C4-98C7-4D8E-90A1-E665384086B8}");
  using Inherited = IpwProjectContextItem;
  virtual HRESULT GetName(BSTR* name) = 0;
  virtual HRESULT GetDescription(BSTR* description) = 0;
  virtual HRESULT GetBitmap(HBITMAP* bitmap) = 0;
  virtual HRESULT GetFolderCount(std::int32_t* count) = 0;
  virtual HRESULT GetFolder(std::int32_t index, IpwProjectViewerNode** folder) = 0;
};

// What a folder is asked by the project view's controller of it (set with SetController).
struct IpwProjectVirtualFolderExternalController : IUnknown {
  static constexpr IID iid = MakeGuid("{649F1F87-85C4-4FD1-8B4D-34B65850209D}");
  // The folder goes away (finalised) or is being removed (with whether its items go).
  virtual HRESULT Detach(IpwProjectVirtualFolder* folder) = 0;
  virtual HRESULT Deleting(IpwProjectVirtualFolder* folder, VARIANT_BOOL deleteItems) = 0;
  virtual HRESULT FolderAdded(IpwProjectVirtualFolder* folder, IpwProjectVirtualFolder* added) = 0;
  virtual HRESULT CanAddFolder(IpwProjectVirtualFolder* folder, VARIANT_BOOL* result) = 0;
  virtual HRESULT CanRemoveFolder(IpwProjectVirtualFolder* folder, IpwProjectVirtualFolder* child,
                                  VARIANT_BOOL deleteItems, VARIANT_BOOL* result) = 0;
  virtual HRESULT CanMoveTo(IpwProjectVirtualFolder* folder, const GUID& targetId, VARIANT_BOOL* result) = 0;
  virtual HRESULT CanAddReference(IpwProjectVirtualFolder* folder, const GUID& contextId, VARIANT_BOOL* result) = 0;
  virtual HRESULT CanRemoveReference(IpwProjectVirtualFolder* folder, const GUID& contextId, VARIANT_BOOL* result) = 0;
  virtual HRESULT CanMoveReference(IpwProjectVirtualFolder* folder, const GUID& contextId, const GUID& targetId,
                                   VARIANT_BOOL* result) = 0;
  // The controller's actions: registered for the folder with the folder as handler.
  virtual HRESULT GetActionCount(std::int32_t* count) = 0;
  virtual HRESULT GetActionKey(std::int32_t index, GUID* key) = 0;
  // Handled: whether the controller took the action; Code: what the folder answers then.
  virtual HRESULT ExecuteAction(const GUID& action, const VARIANT& param, VARIANT* result, VARIANT_BOOL* handled,
                                std::int32_t* code) = 0;
  virtual HRESULT UpdateAction(const GUID& action, VARIANT_BOOL* handled) = 0;
};

// One logical folder.
struct IpwProjectVirtualFolder : IpwProjectViewerNode {
  static constexpr IID iid = MakeGuid("{B73F4F20-EECC-4270-83CB-168072CDEC1C}");
  using Inherited = IpwProjectViewerNode;
  virtual HRESULT SetName(BSTR name, VARIANT_BOOL* success) = 0;
  virtual HRESULT SetDescription(BSTR description) = 0;
  virtual HRESULT SetBitmap(HBITMAP bitmap) = 0;
  virtual HRESULT GetMoniker(BSTR* moniker) = 0;
  virtual HRESULT SetMoniker(BSTR moniker) = 0;
  virtual HRESULT GetOption(std::int32_t index, VARIANT* value) = 0;
  virtual HRESULT SetOption(std::int32_t index, const VARIANT& value) = 0;
  virtual HRESULT CanAddFolder(VARIANT_BOOL* result) = 0;
  virtual HRESULT AddFolder(IpwProjectVirtualFolder** folder) = 0;
  virtual HRESULT CanRemoveFolder(IpwProjectVirtualFolder* folder, VARIANT_BOOL deleteItems, VARIANT_BOOL* result) = 0;
  virtual HRESULT RemoveFolder(IpwProjectVirtualFolder* folder, VARIANT_BOOL deleteItems, VARIANT_BOOL* success) = 0;
  virtual HRESULT CanMoveTo(const GUID& targetId, VARIANT_BOOL* result) = 0;
  virtual HRESULT MoveTo(const GUID& targetId, VARIANT_BOOL* success) = 0;
  virtual HRESULT CanAddReference(const GUID& contextId, VARIANT_BOOL* result) = 0;
  virtual HRESULT CanRemoveReference(const GUID& contextId, VARIANT_BOOL* result) = 0;
  virtual HRESULT CanMoveReference(const GUID& contextId, const GUID& targetId, VARIANT_BOOL* result) = 0;
  virtual HRESULT AddReference(const GUID& contextId, VARIANT_BOOL force, VARIANT_BOOL* success) = 0;
  virtual HRESULT RemoveReference(const GUID& contextId, VARIANT_BOOL force, VARIANT_BOOL* success) = 0;
  virtual HRESULT GetReferenceCount(std::int32_t* count) = 0;
  virtual HRESULT GetReference(std::int32_t index, GUID* contextId) = 0;
  virtual HRESULT SetController(IpwProjectVirtualFolderExternalController* controller) = 0;
};

// The folder answers this key too, with its IpwProjectVirtualFolder.
inline constexpr IID kVirtualFolderAltIid = MakeGuid("{D8DCB565-5082-41C9-A199-791B1D8EFC25}");

// The top-level folders of a container (the container answers it and forwards to its
// collection).
struct IpwProjectVirtualFolders : IUnknown {
  static constexpr IID iid = MakeGuid("{A806E164-D758-4A9B-8B6A-90ADB33DF5E1}");
  virtual HRESULT GetCount(std::int32_t* count) = 0;
  // E_INVALIDARG outside 0 .. Count-1.
  virtual HRESULT GetItem(std::int32_t index, IpwProjectVirtualFolder** folder) = 0;
  virtual HRESULT CanAddFolder(VARIANT_BOOL* result) = 0;
  // Nil when the container may not change now.
  virtual HRESULT AddFolder(IpwProjectVirtualFolder** folder) = 0;
  virtual HRESULT RemoveFolder(IpwProjectVirtualFolder* folder, VARIANT_BOOL deleteItems) = 0;
};

// The container as the folders' source of new and existing items: Added lists the context
// identifiers of the children added.
struct IpwProjectVirtualFolderHost : IpwProjectVirtualFolders {
  static constexpr IID iid = MakeGuid("{0429B2AB-43A3-44EF-81E6-FC65666C58D0}");
  using Inherited = IpwProjectVirtualFolders;
  virtual HRESULT CanAddNewItem(VARIANT_BOOL* result) = 0;
  virtual HRESULT CanAddExistingItem(VARIANT_BOOL* result) = 0;
  virtual HRESULT AddNewItem(const GUID& typeKey, IpwGUIDIterator** added, VARIANT_BOOL* success) = 0;
  virtual HRESULT AddExistingItem(BSTR fileName, IpwGUIDIterator** added, VARIANT_BOOL* success) = 0;
};

// The container-change interface: Changed marks the container modified (and tells the host).
struct IpwContainerChange : IUnknown {
  static constexpr IID iid = MakeGuid("{7D37BF23-29CB-4092-85A4-FAE2F733D6E8}");
  virtual HRESULT Changed() = 0;
};

// ---- Internal: a folder and its parent (the collection or a folder). Plain calls that raise.

struct IpwProjectVirtualFolderOwner : IUnknown {
  static constexpr IID iid = MakeGuid("{E3068DE5-94B8-4543-A12A-E1C2AE9EBEA2}");
  virtual void FinalizeFolders() = 0;
  virtual bool IsFolderModified() = 0;
  virtual void MarkModified() = 0;
  virtual void Load(IcvOptionsNode* node) = 0;
  virtual void Save(IcvOptionsNode* node) = 0;
  virtual ComPtr<IpwProjectVirtualFolderOwner> GetOwner() = 0;
  virtual void Deleting(bool deleteItems) = 0;
  virtual bool ReplaceReference(const GUID& oldId, const GUID& newId) = 0;
  // Drops the context identifier from every folder of the sub-tree (a child left the container);
  // True when one held it.
  virtual bool DropReference(const GUID& contextId) = 0;
};

struct IpwProjectVirtualFolderPrivate : IpwProjectVirtualFolderOwner {
  static constexpr IID iid = MakeGuid("{232C7C01-3B68-4433-A3F5-09288B185CCF}");
  using Inherited = IpwProjectVirtualFolderOwner;
  virtual WideString GetDefaultFolderDescription() = 0;
  // Exact comparison, among this level's folders.
  virtual bool NameExists(WideStringView name) = 0;
  virtual GUID ContextIdToKey(const GUID& contextId) = 0;
  virtual GUID KeyToContextId(const GUID& key) = 0;
  virtual bool CanEdit() = 0;
  virtual void DeleteReferencedItems(std::span<const GUID> references, bool deleteItems) = 0;
  virtual void AttachFolder(IpwProjectVirtualFolder* folder) = 0;
  virtual void DetachFolder(IpwProjectVirtualFolder* folder) = 0;
  virtual void NotifyChanged() = 0;
  virtual bool CanAddNewItem() = 0;
  virtual bool AddNewItem(const GUID& typeKey, std::vector<GUID>& added, bool& gotList) = 0;
  virtual bool CanAddExistingItem() = 0;
  virtual bool AddExistingItem(WideStringView fileName, std::vector<GUID>& added, bool& gotList) = 0;
};

struct IpwProjectVirtualFolderCollection : IpwProjectVirtualFolderOwner {
  static constexpr IID iid = MakeGuid("{91B4CC83-2EAE-451F-9A1F-0E81A583D03F}");
  using Inherited = IpwProjectVirtualFolderOwner;
  virtual ComPtr<IpwProjectVirtualFolders> GetFolders() = 0;
};

}  // namespace pw::project
