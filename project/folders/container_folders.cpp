#include "project/folders/container_folders.h"

#include "platform/automation/bstr.h"
#include "platform/automation/out_params.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/rtl_lists.h"
#include "project/container/node_container.h"
#include "project/container/project_item.h"
#include "project/nodes/project_helpers.h"

namespace pw::project {

namespace {

ComPtr<IcvOptionsNode> FoldersNode(IcvOptionsNode* data) {
  ComPtr<IcvOptionsNode> node;
  SafeCallCheck(data->GetNode(u"Folders", node.Put()));
  return node;
}

ComPtr<IpwGUIDIterator> IteratorOf(const std::vector<GUID>& ids) {
  return ComPtr<IpwGUIDIterator>(static_cast<IpwGUIDIterator*>(TpwGUIDIterator::FromKeys(ids).Get()));
}

}  // namespace

void* TpwContainerFolders::InterfaceFor(const IID& riid) noexcept {
  if (riid == IpwProjectVirtualFolderHost::iid || riid == IpwProjectVirtualFolders::iid)
    return static_cast<IpwProjectVirtualFolderHost*>(this);
  if (riid == IpwContainerChange::iid) return static_cast<IpwContainerChange*>(this);
  return nullptr;
}

void TpwContainerFolders::Load(IcvOptionsNode* data, bool make) {
  Unload();
  if (!make || !data) return;
  collection_ = MakeObject<TpwProjectVirtualFolderCollection>(
      container_.Manager(),
      std::make_unique<TpwFolderCollectionOwner_ProjectNode>(container_.Manager(), container_.AsNode()));
  WordBool exists = 0;
  SafeCallCheck(data->NodeExists(u"Folders", &exists));
  if (exists) collection_->Load(FoldersNode(data).Get());
}

void TpwContainerFolders::Save(IcvOptionsNode* data) {
  if (!collection_ || !data || !collection_->IsFolderModified()) return;
  collection_->Save(FoldersNode(data).Get());
}

void TpwContainerFolders::Unload() {
  auto collection = std::move(collection_);
  collection_ = nullptr;
  if (collection) collection->FinalizeFolders();
}

void TpwContainerFolders::ChildReplaced(IpwProjectNode* oldNode, IpwProjectNode* newNode) {
  if (collection_) collection_->ReplaceReference(NodeInstanceKey(oldNode), NodeInstanceKey(newNode));
}

void TpwContainerFolders::ChildRemoved(IpwProjectNode* child) {
  if (collection_) collection_->DropReference(NodeInstanceKey(child));
}

HRESULT TpwContainerFolders::QueryInterface(const IID& riid, void** ppv) {
  return container_.AsNode()->QueryInterface(riid, ppv);
}
ULONG TpwContainerFolders::AddRef() { return container_.AsNode()->AddRef(); }
ULONG TpwContainerFolders::Release() { return container_.AsNode()->Release(); }

HRESULT TpwContainerFolders::GetCount(std::int32_t* count) {
  return SafeCallBoundary([&] {
    CheckOut(count);
    *count = 0;
    if (collection_) SafeCallCheck(collection_->GetCount(count));
  });
}

HRESULT TpwContainerFolders::GetItem(std::int32_t index, IpwProjectVirtualFolder** folder) {
  if (!collection_) {
    if (folder) *folder = nullptr;
    return E_INVALIDARG;
  }
  return collection_->GetItem(index, folder);
}

HRESULT TpwContainerFolders::CanAddFolder(VARIANT_BOOL* result) {
  return SafeCallBoundary([&] { SetOutBool(result, collection_ && container_.CanAddFolder()); });
}

HRESULT TpwContainerFolders::AddFolder(IpwProjectVirtualFolder** folder) {
  if (!collection_) {
    if (folder) *folder = nullptr;
    return folder ? S_OK : E_POINTER;
  }
  return collection_->AddFolder(folder);
}

HRESULT TpwContainerFolders::RemoveFolder(IpwProjectVirtualFolder* folder, VARIANT_BOOL deleteItems) {
  return collection_ ? collection_->RemoveFolder(folder, deleteItems) : S_OK;
}

HRESULT TpwContainerFolders::CanAddNewItem(VARIANT_BOOL* result) {
  return SafeCallBoundary([&] { SetOutBool(result, container_.CanAddNewItem()); });
}

HRESULT TpwContainerFolders::CanAddExistingItem(VARIANT_BOOL* result) {
  return SafeCallBoundary([&] { SetOutBool(result, container_.CanAddNewItem()); });
}

HRESULT TpwContainerFolders::AddNewItem(const GUID& typeKey, IpwGUIDIterator** added, VARIANT_BOOL* success) {
  return SafeCallBoundary([&] {
    if (added) *added = nullptr;
    auto list = MakeObject<TInterfaceList>();
    bool done = container_.AddChild(typeKey, list.Get());
    std::vector<GUID> ids;
    for (std::int32_t i = 0; i < list->Count(); ++i) ids.push_back(NodeInstanceKey(list->Get(i).Get()));
    if (done && added) *added = IteratorOf(ids).Detach();
    SetOutBool(success, done);
  });
}

HRESULT TpwContainerFolders::AddExistingItem(BSTR fileName, IpwGUIDIterator** added, VARIANT_BOOL* success) {
  return SafeCallBoundary([&] {
    if (added) *added = nullptr;
    auto keys = QueryAs<IpwGUIDIterator>(container_.AddExistingChild(BstrView(fileName)).Get());
    // The keys of the element and of what is below it: the folder refers to the children added.
    std::vector<GUID> ids;
    while (keys && keys->HasNext()) {
      GUID key{};
      keys->Next(key);
      if (IpwProjectNode* child = container_.ChildByKey(key)) ids.push_back(NodeInstanceKey(child));
    }
    if (keys && added) *added = IteratorOf(ids).Detach();
    SetOutBool(success, keys != nullptr);
  });
}

HRESULT TpwContainerFolders::Changed() {
  return SafeCallBoundary([&] { container_.Changed(true); });
}

}  // namespace pw::project
