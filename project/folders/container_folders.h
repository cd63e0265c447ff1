// The logical folders of a container: its folder collection (made at load when some item type
// names the container's type as parent, read from the data's "Folders" node, written back only
// when changed, finalised at unload) and the interfaces the container answers for them,
// IpwProjectVirtualFolderHost (with IpwProjectVirtualFolders) and IpwContainerChange. They live
// in a part object of the container whose IUnknown is the container's.
//
// A container without a collection leaves its stored "Folders" exactly as read. A child that
// leaves the container leaves every folder; a child replaced by an Unavailable node (and back)
// keeps its place in every folder that refers to it.
#pragma once

#include "project/folders/virtual_folders.h"

namespace pw::project {

class TpwProjectNodeContainer;

class TpwContainerFolders final : public IpwProjectVirtualFolderHost, public IpwContainerChange {
 public:
  explicit TpwContainerFolders(TpwProjectNodeContainer& container) : container_(container) {}
  TpwContainerFolders(const TpwContainerFolders&) = delete;
  TpwContainerFolders& operator=(const TpwContainerFolders&) = delete;

  // The pointer the container answers for riid (nil for other interfaces).
  void* InterfaceFor(const IID& riid) noexcept;

  // With Make the collection is made and read from data's "Folders" (nothing is created in the
  // data when it holds none); without it no collection exists.
  void Load(IcvOptionsNode* data, bool make);
  // Writes the collection into data's "Folders" when it changed.
  void Save(IcvOptionsNode* data);
  void Unload();
  // The container's children changed.
  void ChildReplaced(IpwProjectNode* oldNode, IpwProjectNode* newNode);
  void ChildRemoved(IpwProjectNode* child);

  IpwProjectVirtualFolderCollection* Collection() const { return collection_.Get(); }

  // IUnknown: the container's.
  HRESULT QueryInterface(const IID& riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;
  // IpwProjectVirtualFolders: forwarded to the collection (none: no folders, no adds).
  HRESULT GetCount(std::int32_t* count) override;
  HRESULT GetItem(std::int32_t index, IpwProjectVirtualFolder** folder) override;
  HRESULT CanAddFolder(VARIANT_BOOL* result) override;
  HRESULT AddFolder(IpwProjectVirtualFolder** folder) override;
  HRESULT RemoveFolder(IpwProjectVirtualFolder* folder, VARIANT_BOOL deleteItems) override;
  // IpwProjectVirtualFolderHost: the container's user-level adds; Added lists the context
  // identifiers of the children added.
  HRESULT CanAddNewItem(VARIANT_BOOL* result) override;
  HRESULT CanAddExistingItem(VARIANT_BOOL* result) override;
  HRESULT AddNewItem(const GUID& typeKey, IpwGUIDIterator** added, VARIANT_BOOL* success) override;
  HRESULT AddExistingItem(BSTR fileName, IpwGUIDIterator** added, VARIANT_BOOL* success) override;
  // IpwContainerChange
  HRESULT Changed() override;

 private:
  TpwProjectNodeContainer& container_;
  ComPtr<TpwProjectVirtualFolderCollection> collection_;
};

}  // namespace pw::project
