#include "project/folders/virtual_folders.h"

#include <algorithm>
#include <unordered_set>

#include "core/host/host_services.h"
#include "platform/automation/bstr.h"
#include "platform/automation/out_params.h"
#include "platform/com/guid.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "project/actions/project_actions.h"
#include "project/container/node_container.h"
#include "project/container/project_item.h"
#include "project/nodes/project_helpers.h"
#include "project/nodes/small_services.h"
#include "project/storage/node_file_helpers.h"

namespace pw::project {

namespace {

const WideString kEmptyNameText = u"A name cannot be an empty string.";
const WideString kNameExistsText = u"An element with the name '%s' already exists.";
const WideString kNameCaption = u"Name";
const WideString kDescriptionCaption = u"Description";
const WideString kGeneralCategory = u"General";
const WideString kNullKeyText = u"{00000000-0000-0000-0000-000000000000}";

[[noreturn]] void BadIndex() { throw EOleSysError(u"The index is out of range.", E_INVALIDARG); }

ComPtr<IcvOptionsNode> Child(IcvOptionsNode* node, WideStringView name) {
  ComPtr<IcvOptionsNode> sub;
  SafeCallCheck(node->GetNode(name, sub.Put()));
  return sub;
}

// A stored text; the default when it is missing or of another type.
WideString ReadText(IcvOptionsNode* node, WideStringView name, WideStringView defaultValue) {
  WideString value;
  if (Failed(PropertiesOf(node)->GetString(name, defaultValue, &value))) return WideString(defaultValue);
  return value;
}

// "Index" of a stored entry; -1 when missing or not an integer.
std::int32_t ReadIndex(IcvOptionsNode* node) {
  std::int32_t value = -1;
  if (Failed(PropertiesOf(node)->GetInteger(u"Index", -1, &value))) return -1;
  return value;
}

WideString TenDigits(WideStringView prefix, std::int32_t index) {
  WideString digits = IntToWide(index);
  return WideString(prefix) + WideString(digits.size() < 10 ? 10 - digits.size() : 0, u'0') + digits;
}

// The children of a node in the order of their "Index" (missing: -1); ties by entry name, the
// order in which the file keeps them.
std::vector<ComPtr<IcvOptionsNode>> SortedEntries(IcvOptionsNode* node) {
  struct Entry {
    std::int32_t index;
    WideString name;
    ComPtr<IcvOptionsNode> node;
  };
  std::vector<Entry> entries;
  ComPtr<IcvOptionsNodeIterator> it;
  SafeCallCheck(node->GetNodes(it.Put()));
  while (it->HasNext()) {
    ComPtr<IcvOptionsNode> child;
    it->Next(child);
    WideString name;
    SafeCallCheck(child->GetName(&name));
    entries.push_back({ReadIndex(child.Get()), WideLowerCase(name), child});
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.index != b.index ? a.index < b.index : a.name < b.name;
  });
  std::vector<ComPtr<IcvOptionsNode>> out;
  out.reserve(entries.size());
  for (auto& e : entries) out.push_back(std::move(e.node));
  return out;
}

// Writes a list of folders under node's "Folders".
void SaveFolderList(const TpwFolderList& list, IcvOptionsNode* node) {
  auto folders = Child(node, u"Folders");
  for (std::size_t i = 0; i < list.size(); ++i) {
    const auto index = static_cast<std::int32_t>(i);
    auto entry = Child(folders.Get(), TenDigits(u"Folder", index));
    list[i]->Save(entry.Get());
    SafeCallCheck(PropertiesOf(entry.Get())->SetInteger(u"Index", index));
  }
}

// Reads a list of folders from node's "Folders" into the level.
void LoadFolderList(IcvBaseManager* manager, TpwFolderLevel& level, IcvOptionsNode* node, const GUID& newItemKey,
                    const GUID& existingKey) {
  WordBool exists = 0;
  SafeCallCheck(node->NodeExists(u"Folders", &exists));
  if (!exists) return;
  auto folders = Child(node, u"Folders");
  // Each folder starts with the first default name the folders before it leave free (its stored
  // caption then replaces it). The names taken only grow, so the search goes on from the last.
  std::unordered_set<WideString, IgnoringCaseHash, IgnoringCaseEqual> taken;
  for (const auto& f : level.FolderList()) taken.insert(f->Caption());
  std::int32_t n = 1;
  for (const auto& entry : SortedEntries(folders.Get())) {
    while (taken.contains(u"NewFolder" + IntToWide(n))) ++n;
    auto folder = MakeObject<TpwProjectVirtualFolder>(manager, level.AsPrivate(), &level, newItemKey, existingKey,
                                                      u"NewFolder" + IntToWide(n));
    level.FolderList().push_back(folder);
    folder->Load(entry.Get());
    taken.insert(folder->Caption());
  }
}

bool Contains(const TpwFolderList& list, IpwProjectVirtualFolder* folder) {
  return std::any_of(list.begin(), list.end(), [&](const auto& f) { return f.Get() == AsFolderObject(folder); });
}

// Finds the level with the context identifier in the sub-tree of list, skipping one folder and
// everything below it.
TpwFolderLevel* FindLevel(TpwFolderList& list, const GUID& id, const TpwProjectVirtualFolder* skip) {
  for (auto& folder : list) {
    if (folder.Get() == skip) continue;
    if (folder->Key() == id) return folder.Get();
    if (auto found = FindLevel(folder->FolderList(), id, skip)) return found;
  }
  return nullptr;
}

GUID ParamGuid(const VARIANT& param) {
  if ((param.vt & VT_BSTR) == 0) return GUID_NULL;
  try {
    return GuidFromString(OleVariant(param).AsString()).value_or(GUID_NULL);
  } catch (const Exception&) {
    return GUID_NULL;
  }
}

WideString ParamText(const VARIANT& param) {
  if ((param.vt & 0xA) == 0xA) return WideString();
  try {
    return OleVariant(param).AsString();
  } catch (const Exception&) {
    return WideString();
  }
}

}  // namespace

bool TpwFolderLevel::HasFolderNamed(WideStringView name) {
  const auto& list = FolderList();
  return std::any_of(list.begin(), list.end(), [&](const auto& f) { return f->Caption() == name; });
}

void TpwFolderLevel::AttachToList(IpwProjectVirtualFolder* folder) {
  auto object = AsFolderObject(folder);
  if (!object) return;
  if (!Contains(FolderList(), folder)) FolderList().emplace_back(object);
  AsPrivate()->MarkModified();
}

void TpwFolderLevel::DetachFromList(IpwProjectVirtualFolder* folder) {
  auto object = AsFolderObject(folder);
  std::erase_if(FolderList(), [&](const auto& f) { return f.Get() == object; });
  AsPrivate()->MarkModified();
}

void TpwFolderLevel::RemoveFromList(TpwProjectVirtualFolder* folder, bool deleteItems) {
  ComPtr<TpwProjectVirtualFolder> held(folder);
  folder->Deleting(deleteItems);
  folder->FinalizeFolders();
  std::erase_if(FolderList(), [&](const auto& f) { return f.Get() == folder; });
  AsPrivate()->MarkModified();
}

void TpwFolderLevel::FinalizeList() {
  TpwFolderList old = std::move(FolderList());
  FolderList().clear();
  for (auto& f : old) f->FinalizeFolders();
}

WideString DefaultFolderName(const TpwFolderList& list) {
  std::unordered_set<WideString, IgnoringCaseHash, IgnoringCaseEqual> taken;
  for (const auto& f : list) taken.insert(f->Caption());
  for (std::int32_t n = 1;; ++n) {
    WideString candidate = u"NewFolder" + IntToWide(n);
    if (!taken.contains(candidate)) return candidate;
  }
}

ComPtr<TpwProjectVirtualFolder> CreateDefaultFolder(IcvBaseManager* manager, TpwFolderLevel& level,
                                                    const GUID& newItemActionKey,
                                                    const GUID& addExistingItemActionKey) {
  auto folder = MakeObject<TpwProjectVirtualFolder>(manager, level.AsPrivate(), &level, newItemActionKey,
                                                    addExistingItemActionKey, DefaultFolderName(level.FolderList()));
  level.FolderList().push_back(folder);
  return folder;
}

TpwProjectVirtualFolder* AsFolderObject(IpwProjectVirtualFolder* folder) {
  if (!folder) return nullptr;
  // Only this unit's folders answer the private interface; an outside object is no folder here.
  auto priv = QueryAs<IpwProjectVirtualFolderPrivate>(folder);
  if (!priv) return nullptr;
  return dynamic_cast<TpwProjectVirtualFolder*>(priv.Get());
}

// ---- TpwFolderCollectionOwner_ProjectNode ----------------------------------------------------

TpwFolderCollectionOwner_ProjectNode::TpwFolderCollectionOwner_ProjectNode(IcvBaseManager* manager,
                                                                           IpwProjectNode* node)
    : manager_(manager), node_(node) {}

void TpwFolderCollectionOwner_ProjectNode::Detach() {
  manager_ = nullptr;
  node_ = nullptr;
  keyToId_.clear();
  idToKey_.clear();
}

GUID TpwFolderCollectionOwner_ProjectNode::GetContextId() { return node_ ? NodeInstanceKey(node_.Get()) : GUID_NULL; }
GUID TpwFolderCollectionOwner_ProjectNode::GetNewItemActionKey() { return kNewItemAction; }
GUID TpwFolderCollectionOwner_ProjectNode::GetAddExistingItemActionKey() { return kExistingItemAction; }

ComPtr<IpwProjectVirtualFolders> TpwFolderCollectionOwner_ProjectNode::GetVirtualFoldersInterface() {
  return node_ ? QueryAs<IpwProjectVirtualFolders>(node_.Get()) : nullptr;
}

ComPtr<IpwProjectVirtualFolderHost> TpwFolderCollectionOwner_ProjectNode::GetChildFactory() {
  auto folders = GetVirtualFoldersInterface();
  return folders ? QueryAs<IpwProjectVirtualFolderHost>(folders.Get()) : nullptr;
}

void TpwFolderCollectionOwner_ProjectNode::BeginTranslation() {
  if (translating_++ > 0) return;
  keyToId_.clear();
  idToKey_.clear();
  keysMapped_ = idsMapped_ = false;
}

void TpwFolderCollectionOwner_ProjectNode::EndTranslation() {
  if (translating_ > 0 && --translating_ == 0) {
    keyToId_.clear();
    idToKey_.clear();
    keysMapped_ = idsMapped_ = false;
  }
}

// While translating, each direction's map is made at its first use (a load needs only keys to
// identifiers, a save only the reverse).
GUID TpwFolderCollectionOwner_ProjectNode::ContextIdToKey(const GUID& contextId) {
  if (!node_) return GUID_NULL;
  if (translating_ > 0) {
    if (!idsMapped_) {
      idsMapped_ = true;
      ForEachChild(node_.Get(), [&](IpwProjectNode* child) {
        idToKey_.try_emplace(NodeInstanceKey(child), NodeKey(child));
        return true;
      });
    }
    auto it = idToKey_.find(contextId);
    return it == idToKey_.end() ? GUID_NULL : it->second;
  }
  GUID key = GUID_NULL;
  ForEachChild(node_.Get(), [&](IpwProjectNode* child) {
    if (NodeInstanceKey(child) != contextId) return true;
    key = NodeKey(child);
    return false;
  });
  return key;
}

GUID TpwFolderCollectionOwner_ProjectNode::KeyToContextId(const GUID& key) {
  if (!node_) return GUID_NULL;
  if (translating_ > 0) {
    if (!keysMapped_) {
      keysMapped_ = true;
      ForEachChild(node_.Get(), [&](IpwProjectNode* child) {
        keyToId_.try_emplace(NodeKey(child), NodeInstanceKey(child));
        return true;
      });
    }
    auto it = keyToId_.find(key);
    return it == keyToId_.end() ? GUID_NULL : it->second;
  }
  GUID id = GUID_NULL;
  ForEachChild(node_.Get(), [&](IpwProjectNode* child) {
    if (NodeKey(child) != key) return true;
    id = NodeInstanceKey(child);
    return false;
  });
  return id;
}

bool TpwFolderCollectionOwner_ProjectNode::RequestEdit() {
  if (!node_) return false;
  auto registry = GetNodeRegistry(manager_.Get());
  if (!registry) return true;
  VARIANT_BOOL allowed = VARIANT_FALSE;
  SafeCallCheck(registry->CanEdit(node_.Get(), &allowed));
  if (!allowed) return false;
  SafeCallCheck(registry->BeginEdit(node_.Get()));
  return true;
}

void TpwFolderCollectionOwner_ProjectNode::DeleteReferencedItems(std::span<const GUID> references, bool deleteItems) {
  if (!node_ || references.empty()) return;
  const std::unordered_set<GUID> wanted(references.begin(), references.end());
  std::vector<ComPtr<IpwProjectNode>> collected;
  ForEachChild(node_.Get(), [&](IpwProjectNode* child) {
    if (wanted.contains(NodeInstanceKey(child))) collected.emplace_back(child);
    return collected.size() < references.size();
  });
  auto container = QueryAs<IpwProjectNodeContainer>(node_.Get());
  if (!container) return;
  // Hold the container: a removal may be the last thing that keeps the collection's owner alive.
  ComPtr<IpwProjectNode> node = node_;
  for (const auto& child : collected) {
    ComPtr<IcvBaseManager> childManager;
    if (auto access = QueryAs<IpwNodeManagerAccess>(child.Get())) access->GetManager(childManager.Put());
    auto info = GetNodeInfo(childManager ? childManager.Get() : manager_.Get(), NodeTypeKey(child.Get()));
    if (!info) continue;
    OleVariant allowed;
    SafeCallCheck(info->GetProperty(kInfoRemoveWithFolder, allowed.Put()));
    if (!allowed.AsBool()) continue;
    SafeCallCheck(container->RemoveChild(child.Get(), ToWordBool(deleteItems)));
  }
}

void TpwFolderCollectionOwner_ProjectNode::MarkNodeModified() {
  if (!node_) return;
  if (auto change = QueryAs<IpwContainerChange>(node_.Get())) {
    SafeCallCheck(change->Changed());
    return;
  }
  NotifyNodeChanged();
}

void TpwFolderCollectionOwner_ProjectNode::NotifyNodeChanged() {
  if (!node_) return;
  auto broker = GetObjectBroker(manager_.Get());
  if (!broker) return;
  ComPtr<IUnknown> object;
  SafeCallCheck(broker->GetObject(IpwProjectNodeEvents::iid, -1, object.Put()));
  if (auto events = CastHostObject<IpwProjectNodeEvents>(object.Get()))
    SafeCallCheck(events->NodeChanged(1, node_.Get()));
}

// ---- TpwProjectVirtualFolderCollection -------------------------------------------------------

TpwProjectVirtualFolderCollection::TpwProjectVirtualFolderCollection(IcvBaseManager* manager,
                                                                     std::unique_ptr<TpwFolderCollectionOwner> owner)
    : manager_(manager), owner_(std::move(owner)) {}

TpwProjectVirtualFolderCollection::~TpwProjectVirtualFolderCollection() = default;

void TpwProjectVirtualFolderCollection::FinalizeFolders() {
  FinalizeList();
  if (owner_) owner_->Detach();
  manager_ = nullptr;
}

void TpwProjectVirtualFolderCollection::MarkModified() {
  modified_ = true;
  if (owner_) owner_->MarkNodeModified();
}

namespace {
// Keeps the owner's translation maps for the scope (nested scopes share them).
class TranslationScope {
 public:
  explicit TranslationScope(TpwFolderCollectionOwner* owner) : owner_(owner) {
    if (owner_) owner_->BeginTranslation();
  }
  ~TranslationScope() {
    if (owner_) owner_->EndTranslation();
  }
  TranslationScope(const TranslationScope&) = delete;
  TranslationScope& operator=(const TranslationScope&) = delete;

 private:
  TpwFolderCollectionOwner* owner_;
};
}  // namespace

void TpwProjectVirtualFolderCollection::Load(IcvOptionsNode* node) {
  FinalizeList();
  TranslationScope translation(owner_.get());
  LoadFolderList(manager_.Get(), *this, node, owner_ ? owner_->GetNewItemActionKey() : GUID_NULL,
                 owner_ ? owner_->GetAddExistingItemActionKey() : GUID_NULL);
  modified_ = false;
}

void TpwProjectVirtualFolderCollection::Save(IcvOptionsNode* node) {
  TranslationScope translation(owner_.get());
  SafeCallCheck(node->Clear());
  SaveFolderList(folders_, node);
  modified_ = false;
}

bool TpwProjectVirtualFolderCollection::ReplaceReference(const GUID& oldId, const GUID& newId) {
  // Every folder that refers to the child follows it, not only the first one found.
  bool replaced = false;
  for (auto& f : folders_) replaced = f->ReplaceReference(oldId, newId) || replaced;
  return replaced;
}

bool TpwProjectVirtualFolderCollection::DropReference(const GUID& contextId) {
  bool dropped = false;
  for (auto& f : folders_) dropped = f->DropReference(contextId) || dropped;
  if (dropped) modified_ = true;
  return dropped;
}

WideString TpwProjectVirtualFolderCollection::GetDefaultFolderDescription() {
  return owner_ ? owner_->GetDefaultFolderDescription() : WideString();
}

bool TpwProjectVirtualFolderCollection::NameExists(WideStringView name) { return HasFolderNamed(name); }

GUID TpwProjectVirtualFolderCollection::ContextIdToKey(const GUID& contextId) {
  return owner_ ? owner_->ContextIdToKey(contextId) : GUID_NULL;
}
GUID TpwProjectVirtualFolderCollection::KeyToContextId(const GUID& key) {
  return owner_ ? owner_->KeyToContextId(key) : GUID_NULL;
}
bool TpwProjectVirtualFolderCollection::CanEdit() { return owner_ && owner_->RequestEdit(); }

void TpwProjectVirtualFolderCollection::DeleteReferencedItems(std::span<const GUID> references, bool deleteItems) {
  if (owner_) owner_->DeleteReferencedItems(references, deleteItems);
}

void TpwProjectVirtualFolderCollection::AttachFolder(IpwProjectVirtualFolder* folder) { AttachToList(folder); }
void TpwProjectVirtualFolderCollection::DetachFolder(IpwProjectVirtualFolder* folder) { DetachFromList(folder); }

void TpwProjectVirtualFolderCollection::NotifyChanged() {
  if (owner_) owner_->NotifyNodeChanged();
}

bool TpwProjectVirtualFolderCollection::CanAddNewItem() {
  auto host = owner_ ? owner_->GetChildFactory() : nullptr;
  VARIANT_BOOL result = VARIANT_FALSE;
  if (host) SafeCallCheck(host->CanAddNewItem(&result));
  return result != VARIANT_FALSE;
}

bool TpwProjectVirtualFolderCollection::CanAddExistingItem() {
  auto host = owner_ ? owner_->GetChildFactory() : nullptr;
  VARIANT_BOOL result = VARIANT_FALSE;
  if (host) SafeCallCheck(host->CanAddExistingItem(&result));
  return result != VARIANT_FALSE;
}

namespace {
void ReadIterator(IpwGUIDIterator* it, std::vector<GUID>& added, bool& gotList) {
  gotList = it != nullptr;
  if (!it) return;
  while (it->HasNext()) {
    GUID id{};
    it->Next(id);
    added.push_back(id);
  }
}
}  // namespace

bool TpwProjectVirtualFolderCollection::AddNewItem(const GUID& typeKey, std::vector<GUID>& added, bool& gotList) {
  gotList = false;
  auto host = owner_ ? owner_->GetChildFactory() : nullptr;
  if (!host) return false;
  ComPtr<IpwGUIDIterator> it;
  VARIANT_BOOL success = VARIANT_FALSE;
  SafeCallCheck(host->AddNewItem(typeKey, it.Put(), &success));
  ReadIterator(it.Get(), added, gotList);
  return success != VARIANT_FALSE;
}

bool TpwProjectVirtualFolderCollection::AddExistingItem(WideStringView fileName, std::vector<GUID>& added,
                                                        bool& gotList) {
  gotList = false;
  auto host = owner_ ? owner_->GetChildFactory() : nullptr;
  if (!host) return false;
  ComPtr<IpwGUIDIterator> it;
  VARIANT_BOOL success = VARIANT_FALSE;
  SafeCallCheck(host->AddExistingItem(BString(fileName).Get(), it.Put(), &success));
  ReadIterator(it.Get(), added, gotList);
  return success != VARIANT_FALSE;
}

ComPtr<IpwProjectVirtualFolders> TpwProjectVirtualFolderCollection::GetFolders() {
  return ComPtr<IpwProjectVirtualFolders>(static_cast<IpwProjectVirtualFolders*>(this));
}

HRESULT TpwProjectVirtualFolderCollection::GetCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue(count, static_cast<std::int32_t>(folders_.size())); });
}

HRESULT TpwProjectVirtualFolderCollection::GetItem(std::int32_t index, IpwProjectVirtualFolder** folder) {
  return SafeCall([&] {
    CheckOut(folder);
    *folder = nullptr;
    if (index < 0 || static_cast<std::size_t>(index) >= folders_.size()) BadIndex();
    *folder = ComPtr<IpwProjectVirtualFolder>(folders_[static_cast<std::size_t>(index)].Get()).Detach();
  });
}

HRESULT TpwProjectVirtualFolderCollection::CanAddFolder(VARIANT_BOOL* result) {
  return SafeCall([&] {
    CheckOut(result);
    *result = VARIANT_FALSE;
    auto folders = owner_ ? owner_->GetVirtualFoldersInterface() : nullptr;
    if (folders && folders.Get() != static_cast<IpwProjectVirtualFolders*>(this))
      SafeCallCheck(folders->CanAddFolder(result));
  });
}

HRESULT TpwProjectVirtualFolderCollection::AddFolder(IpwProjectVirtualFolder** folder) {
  return SafeCall([&] {
    CheckOut(folder);
    *folder = nullptr;
    if (!CanEdit()) return;
    auto made = CreateDefaultFolder(manager_.Get(), *this, owner_ ? owner_->GetNewItemActionKey() : GUID_NULL,
                                    owner_ ? owner_->GetAddExistingItemActionKey() : GUID_NULL);
    MarkModified();
    *folder = ComPtr<IpwProjectVirtualFolder>(made.Get()).Detach();
  });
}

HRESULT TpwProjectVirtualFolderCollection::RemoveFolder(IpwProjectVirtualFolder* folder, VARIANT_BOOL deleteItems) {
  return SafeCall([&] {
    auto object = AsFolderObject(folder);
    if (!object || !Contains(folders_, folder) || !CanEdit()) return;
    RemoveFromList(object, deleteItems != VARIANT_FALSE);
  });
}

HRESULT TpwProjectVirtualFolderCollection::GetInstanceKey(GUID* key) {
  return SafeCall([&] { SetOutValue(key, LevelContextId()); });
}

GUID TpwProjectVirtualFolderCollection::LevelContextId() { return owner_ ? owner_->GetContextId() : GUID_NULL; }

// ---- TpwProjectVirtualFolder -----------------------------------------------------------------

TpwProjectVirtualFolder::TpwProjectVirtualFolder(IcvBaseManager* manager, IpwProjectVirtualFolderPrivate* owner,
                                                 TpwFolderLevel* ownerLevel, const GUID& newItemActionKey,
                                                 const GUID& addExistingItemActionKey, WideStringView caption)
    : manager_(manager), owner_(owner), ownerLevel_(ownerLevel), newItemActionKey_(newItemActionKey),
      addExistingItemActionKey_(addExistingItemActionKey), caption_(caption), properties_(2) {
  OleCheck(CreateGuid(key_));
  if (owner_) description_ = owner_->GetDefaultFolderDescription();
  std::int32_t mode = 0;
  if (manager_ && Succeeded(manager_->GetHostMode(&mode)) && mode == 3) {
    auto keys = ActionKeys();
    if (!keys.empty()) {
      // The action service holds the handler until FinalizeFolders unregisters it.
      RegisterContextActions(manager_.Get(), key_, keys, static_cast<IpwProjectActionHandler*>(this));
      actionsRegistered_ = true;
    }
  }
}

TpwProjectVirtualFolder::~TpwProjectVirtualFolder() {
  if (bitmap_) DeleteObject(bitmap_);
}

void* TpwProjectVirtualFolder::GetInterface(const IID& riid) noexcept {
  if (riid == kVirtualFolderAltIid) return static_cast<IpwProjectVirtualFolder*>(this);
  return Implements::GetInterface(riid);
}

void TpwProjectVirtualFolder::CollectReferences(std::vector<GUID>& out) const {
  out.insert(out.end(), references_.begin(), references_.end());
  for (const auto& f : subFolders_) f->CollectReferences(out);
}

std::vector<GUID> TpwProjectVirtualFolder::ActionKeys() const {
  std::vector<GUID> keys;
  if (newItemActionKey_ != GUID_NULL) keys.push_back(newItemActionKey_);
  if (addExistingItemActionKey_ != GUID_NULL) keys.push_back(addExistingItemActionKey_);
  return keys;
}

bool TpwProjectVirtualFolder::IsReferenced(const GUID& id) const {
  return std::find(references_.begin(), references_.end(), id) != references_.end();
}

bool TpwProjectVirtualFolder::ControllerSays(const std::function<HRESULT(VARIANT_BOOL*)>& ask) {
  if (!controller_) return true;
  VARIANT_BOOL result = VARIANT_FALSE;
  SafeCallCheck(ask(&result));
  return result != VARIANT_FALSE;
}

std::vector<GUID> TpwProjectVirtualFolder::ControllerActions() {
  std::vector<GUID> keys;
  if (!controller_) return keys;
  std::int32_t count = 0;
  SafeCallCheck(controller_->GetActionCount(&count));
  for (std::int32_t i = 0; i < count; ++i) {
    GUID key{};
    SafeCallCheck(controller_->GetActionKey(i, &key));
    keys.push_back(key);
  }
  return keys;
}

HRESULT TpwProjectVirtualFolder::GetContextMenu(IpwMenu** menu) {
  return SafeCall([&] {
    CheckOut(menu);
    *menu = nullptr;
    auto keys = ControllerActions();
    if (keys.empty()) return;
    auto made = GetOrCreateMenu(manager_.Get(), GUID_NULL, kFolderContextMenu);
    if (!made) return;
    FillMenu(made.Get(), keys, {});
    *menu = made.Detach();
  });
}

void TpwProjectVirtualFolder::FinalizeFolders() {
  if (controller_) {
    SafeCallCheck(controller_->Detach(this));
    SafeCallCheck(SetController(nullptr));
  }
  if (actionsRegistered_) {
    actionsRegistered_ = false;
    if (manager_) UnregisterContextActions(manager_.Get(), key_, ActionKeys());
  }
  for (auto& p : properties_) {
    if (p) p->Detach();
    p = nullptr;
  }
  FinalizeList();
  references_.clear();
}

void TpwProjectVirtualFolder::MarkModified() {
  modified_ = true;
  if (owner_) owner_->MarkModified();
}

void TpwProjectVirtualFolder::Load(IcvOptionsNode* node) {
  FinalizeList();
  references_.clear();
  caption_ = ReadText(node, u"Caption", caption_);
  description_ = ReadText(node, u"Description", u"");
  moniker_ = ReadText(node, u"Moniker", u"");
  WordBool exists = 0;
  SafeCallCheck(node->NodeExists(u"References", &exists));
  if (exists) {
    auto refs = Child(node, u"References");
    for (const auto& entry : SortedEntries(refs.Get())) {
      WideString text;
      if (Failed(PropertiesOf(entry.Get())->GetString(u"Key", kNullKeyText, &text))) continue;
      auto key = GuidFromString(text);
      if (!key || *key == GUID_NULL) continue;
      GUID id = KeyToContextId(*key);
      if (id != GUID_NULL && !IsReferenced(id)) references_.push_back(id);
    }
  }
  LoadFolderList(manager_.Get(), *this, node, newItemActionKey_, addExistingItemActionKey_);
}

void TpwProjectVirtualFolder::Save(IcvOptionsNode* node) {
  SafeCallCheck(node->Clear());
  SaveFolderList(subFolders_, node);
  auto refs = Child(node, u"References");
  std::int32_t written = 0;
  for (const auto& id : references_) {
    GUID key = ContextIdToKey(id);
    if (key == GUID_NULL) continue;
    auto entry = Child(refs.Get(), TenDigits(u"Ref", written));
    auto props = PropertiesOf(entry.Get());
    SafeCallCheck(props->SetString(u"Key", GuidToWideString(key)));
    SafeCallCheck(props->SetInteger(u"Index", written));
    ++written;
  }
  auto props = PropertiesOf(node);
  SafeCallCheck(props->SetString(u"Caption", caption_));
  SafeCallCheck(props->SetString(u"Description", description_));
  SafeCallCheck(props->SetString(u"Moniker", moniker_));
}

ComPtr<IpwProjectVirtualFolderOwner> TpwProjectVirtualFolder::GetOwner() {
  return ComPtr<IpwProjectVirtualFolderOwner>(owner_.Get());
}

void TpwProjectVirtualFolder::Deleting(bool deleteItems) {
  if (controller_) SafeCallCheck(controller_->Deleting(this, ToWordBool(deleteItems)));
  std::vector<GUID> refs;
  CollectReferences(refs);
  if (owner_ && !refs.empty()) owner_->DeleteReferencedItems(refs, deleteItems);
}

bool TpwProjectVirtualFolder::ReplaceReference(const GUID& oldId, const GUID& newId) {
  auto it = std::find(references_.begin(), references_.end(), oldId);
  bool replaced = it != references_.end();
  if (replaced) *it = newId;
  for (auto& f : subFolders_) replaced = f->ReplaceReference(oldId, newId) || replaced;
  return replaced;
}

bool TpwProjectVirtualFolder::DropReference(const GUID& contextId) {
  bool dropped = std::erase(references_, contextId) > 0;
  if (dropped) modified_ = true;
  for (auto& f : subFolders_) dropped = f->DropReference(contextId) || dropped;
  return dropped;
}

WideString TpwProjectVirtualFolder::GetDefaultFolderDescription() {
  return owner_ ? owner_->GetDefaultFolderDescription() : WideString();
}
bool TpwProjectVirtualFolder::NameExists(WideStringView name) { return HasFolderNamed(name); }
GUID TpwProjectVirtualFolder::ContextIdToKey(const GUID& contextId) {
  return owner_ ? owner_->ContextIdToKey(contextId) : GUID_NULL;
}
GUID TpwProjectVirtualFolder::KeyToContextId(const GUID& key) {
  return owner_ ? owner_->KeyToContextId(key) : GUID_NULL;
}
bool TpwProjectVirtualFolder::CanEdit() { return owner_ && owner_->CanEdit(); }
void TpwProjectVirtualFolder::DeleteReferencedItems(std::span<const GUID> references, bool deleteItems) {
  if (owner_) owner_->DeleteReferencedItems(references, deleteItems);
}
void TpwProjectVirtualFolder::AttachFolder(IpwProjectVirtualFolder* folder) { AttachToList(folder); }
void TpwProjectVirtualFolder::DetachFolder(IpwProjectVirtualFolder* folder) { DetachFromList(folder); }
void TpwProjectVirtualFolder::NotifyChanged() {
  if (owner_) owner_->NotifyChanged();
}
bool TpwProjectVirtualFolder::CanAddNewItem() { return owner_ && owner_->CanAddNewItem(); }
bool TpwProjectVirtualFolder::AddNewItem(const GUID& typeKey, std::vector<GUID>& added, bool& gotList) {
  gotList = false;
  return owner_ && owner_->AddNewItem(typeKey, added, gotList);
}
bool TpwProjectVirtualFolder::CanAddExistingItem() { return owner_ && owner_->CanAddExistingItem(); }
bool TpwProjectVirtualFolder::AddExistingItem(WideStringView fileName, std::vector<GUID>& added, bool& gotList) {
  gotList = false;
  return owner_ && owner_->AddExistingItem(fileName, added, gotList);
}

HRESULT TpwProjectVirtualFolder::GetInstanceKey(GUID* key) {
  return SafeCall([&] { SetOutValue(key, key_); });
}
HRESULT TpwProjectVirtualFolder::GetName(BSTR* name) {
  return SafeCall([&] { SetOut(CheckOut(name), caption_); });
}
HRESULT TpwProjectVirtualFolder::GetDescription(BSTR* description) {
  return SafeCall([&] { SetOut(CheckOut(description), description_); });
}
HRESULT TpwProjectVirtualFolder::GetBitmap(HBITMAP* bitmap) {
  return SafeCall([&] { SetOutValue(bitmap, bitmap_); });
}
HRESULT TpwProjectVirtualFolder::GetFolderCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue(count, static_cast<std::int32_t>(subFolders_.size())); });
}
HRESULT TpwProjectVirtualFolder::GetFolder(std::int32_t index, IpwProjectViewerNode** folder) {
  return SafeCall([&] {
    CheckOut(folder);
    *folder = nullptr;
    if (index < 0 || static_cast<std::size_t>(index) >= subFolders_.size()) BadIndex();
    *folder = ComPtr<IpwProjectViewerNode>(subFolders_[static_cast<std::size_t>(index)].Get()).Detach();
  });
}

bool TpwProjectVirtualFolder::Rename(WideStringView value) {
  if (value == caption_) return true;
  if (!CanEdit()) return false;
  if (WideTrim(value).empty()) {
    ShowProjectError(manager_.Get(), kEmptyNameText, kHelpEmptyName);
    return false;
  }
  if (!SameTextIgnoringCase(value, caption_) && owner_ && owner_->NameExists(value)) {
    ShowProjectError(manager_.Get(), WideFormat(kNameExistsText, {value}), kHelpNameExists);
    return false;
  }
  caption_ = value;
  if (SameTextIgnoringCase(caption_, u"Advanced")) moniker_ = kAdvancedFolderMonikerText;
  MarkModified();
  return true;
}

HRESULT TpwProjectVirtualFolder::SetName(BSTR name, VARIANT_BOOL* success) {
  return SafeCall([&] {
    bool done = Rename(BstrView(name));
    if (success) *success = ToWordBool(done);
  });
}

HRESULT TpwProjectVirtualFolder::SetDescription(BSTR description) {
  return SafeCall([&] {
    WideStringView value = BstrView(description);
    if (value == description_ || !CanEdit()) return;
    description_ = value;
    MarkModified();
  });
}

HRESULT TpwProjectVirtualFolder::SetBitmap(HBITMAP bitmap) {
  return SafeCall([&] {
    // The bitmap already held stays: deleting it would leave the folder with a freed handle.
    if (bitmap == bitmap_) return;
    if (bitmap_) DeleteObject(bitmap_);
    bitmap_ = bitmap;
    NotifyChanged();
  });
}

HRESULT TpwProjectVirtualFolder::GetMoniker(BSTR* moniker) {
  return SafeCall([&] { SetOut(CheckOut(moniker), moniker_); });
}

HRESULT TpwProjectVirtualFolder::SetMoniker(BSTR moniker) {
  return SafeCall([&] {
    WideStringView value = BstrView(moniker);
    if (value == moniker_) return;
    moniker_ = value;
    if (SameTextIgnoringCase(moniker_, kAdvancedFolderMonikerText) && !SameTextIgnoringCase(caption_, u"Advanced"))
      caption_ = u"Advanced";
    MarkModified();
  });
}

HRESULT TpwProjectVirtualFolder::GetOption(std::int32_t index, VARIANT* value) {
  return SafeCall([&] {
    CheckOut(value);
    switch (index) {
      case 0: SetOut(value, OleVariant(option0_)); break;
      case 1: SetOut(value, OleVariant(option1_)); break;
      case 2: SetOut(value, OleVariant(option2_)); break;
      case 3: SetOut(value, OleVariant(option3_)); break;
      default: BadIndex();
    }
  });
}

HRESULT TpwProjectVirtualFolder::SetOption(std::int32_t index, const VARIANT& value) {
  return SafeCall([&] {
    OleVariant v(value);
    bool changed = false;
    auto setBool = [&](bool& field) {
      bool b = v.AsBool();
      changed = b != field;
      field = b;
    };
    switch (index) {
      case 0: {
        WideString s = v.AsString();
        changed = s != option0_;
        option0_ = s;
        break;
      }
      case 1: setBool(option1_); break;
      case 2: setBool(option2_); break;
      case 3: setBool(option3_); break;
      default: BadIndex();
    }
    if (changed) NotifyChanged();
  });
}

HRESULT TpwProjectVirtualFolder::CanAddFolder(VARIANT_BOOL* result) {
  return SafeCall(
      [&] { SetOutBool(result, ControllerSays([&](VARIANT_BOOL* r) { return controller_->CanAddFolder(this, r); })); });
}

HRESULT TpwProjectVirtualFolder::AddFolder(IpwProjectVirtualFolder** folder) {
  return SafeCall([&] {
    CheckOut(folder);
    *folder = nullptr;
    VARIANT_BOOL can = VARIANT_FALSE;
    if (!CanEdit() || Failed(CanAddFolder(&can)) || !can) return;
    auto made = CreateDefaultFolder(manager_.Get(), *this, newItemActionKey_, addExistingItemActionKey_);
    MarkModified();
    if (controller_) SafeCallCheck(controller_->FolderAdded(this, made.Get()));
    *folder = ComPtr<IpwProjectVirtualFolder>(made.Get()).Detach();
  });
}

HRESULT TpwProjectVirtualFolder::CanRemoveFolder(IpwProjectVirtualFolder* folder, VARIANT_BOOL deleteItems,
                                                 VARIANT_BOOL* result) {
  return SafeCall([&] {
    CheckOut(result);
    *result = VARIANT_FALSE;
    if (!Contains(subFolders_, folder)) return;
    SetOutBool(result, ControllerSays([&](VARIANT_BOOL* r) {
                 return controller_->CanRemoveFolder(this, folder, deleteItems, r);
               }));
  });
}

HRESULT TpwProjectVirtualFolder::RemoveFolder(IpwProjectVirtualFolder* folder, VARIANT_BOOL deleteItems,
                                              VARIANT_BOOL* success) {
  return SafeCall([&] {
    CheckOut(success);
    *success = VARIANT_FALSE;
    VARIANT_BOOL can = VARIANT_FALSE;
    SafeCallCheck(CanRemoveFolder(folder, deleteItems, &can));
    if (!can || !CanEdit()) return;
    RemoveFromList(AsFolderObject(folder), deleteItems != VARIANT_FALSE);
    *success = VARIANT_TRUE;
  });
}

namespace {
// The level whose context identifier is the target, searched from the folder's parent upwards;
// the folder's own sub-tree is never searched.
TpwFolderLevel* FindTarget(TpwProjectVirtualFolder& self, const GUID& targetId) {
  for (TpwFolderLevel* level = self.ParentLevel(); level; level = level->ParentLevel()) {
    if (level->LevelContextId() == targetId) return level;
    if (auto found = FindLevel(level->FolderList(), targetId, &self)) return found;
  }
  return nullptr;
}
}  // namespace

HRESULT TpwProjectVirtualFolder::CanMoveTo(const GUID& targetId, VARIANT_BOOL* result) {
  return SafeCall([&] {
    CheckOut(result);
    *result = VARIANT_FALSE;
    if (targetId == key_ || !FindTarget(*this, targetId)) return;
    SetOutBool(result, ControllerSays([&](VARIANT_BOOL* r) { return controller_->CanMoveTo(this, targetId, r); }));
  });
}

HRESULT TpwProjectVirtualFolder::MoveTo(const GUID& targetId, VARIANT_BOOL* success) {
  return SafeCall([&] {
    CheckOut(success);
    *success = VARIANT_FALSE;
    VARIANT_BOOL can = VARIANT_FALSE;
    SafeCallCheck(CanMoveTo(targetId, &can));
    if (!can || !CanEdit()) return;
    TpwFolderLevel* target = FindTarget(*this, targetId);
    if (!target) return;
    if (target->AsPrivate()->NameExists(caption_)) {
      ShowProjectError(manager_.Get(), WideFormat(kNameExistsText, {caption_}), kHelpNameExists);
      return;
    }
    ComPtr<TpwProjectVirtualFolder> held(this);
    if (owner_) owner_->DetachFolder(this);
    owner_ = target->AsPrivate();
    ownerLevel_ = target;
    owner_->AttachFolder(this);
    *success = VARIANT_TRUE;
  });
}

HRESULT TpwProjectVirtualFolder::CanAddReference(const GUID& contextId, VARIANT_BOOL* result) {
  return SafeCall([&] {
    CheckOut(result);
    *result = VARIANT_FALSE;
    if (IsReferenced(contextId)) return;
    SetOutBool(result,
               ControllerSays([&](VARIANT_BOOL* r) { return controller_->CanAddReference(this, contextId, r); }));
  });
}

HRESULT TpwProjectVirtualFolder::CanRemoveReference(const GUID& contextId, VARIANT_BOOL* result) {
  return SafeCall([&] {
    CheckOut(result);
    *result = VARIANT_FALSE;
    if (!IsReferenced(contextId)) return;
    SetOutBool(result,
               ControllerSays([&](VARIANT_BOOL* r) { return controller_->CanRemoveReference(this, contextId, r); }));
  });
}

HRESULT TpwProjectVirtualFolder::CanMoveReference(const GUID& contextId, const GUID& targetId, VARIANT_BOOL* result) {
  return SafeCall([&] {
    CheckOut(result);
    *result = VARIANT_FALSE;
    if (!IsReferenced(contextId)) return;
    SetOutBool(result, ControllerSays([&](VARIANT_BOOL* r) {
                 return controller_->CanMoveReference(this, contextId, targetId, r);
               }));
  });
}

HRESULT TpwProjectVirtualFolder::AddReference(const GUID& contextId, VARIANT_BOOL force, VARIANT_BOOL* success) {
  return SafeCall([&] {
    CheckOut(success);
    *success = VARIANT_FALSE;
    bool can = false;
    if (force) {
      can = !IsReferenced(contextId);
    } else {
      VARIANT_BOOL answer = VARIANT_FALSE;
      SafeCallCheck(CanAddReference(contextId, &answer));
      can = answer != VARIANT_FALSE;
    }
    if (!can || !CanEdit()) return;
    references_.push_back(contextId);
    MarkModified();
    *success = VARIANT_TRUE;
  });
}

HRESULT TpwProjectVirtualFolder::RemoveReference(const GUID& contextId, VARIANT_BOOL force, VARIANT_BOOL* success) {
  return SafeCall([&] {
    CheckOut(success);
    *success = VARIANT_FALSE;
    if (!CanEdit()) return;
    if (!force) {
      VARIANT_BOOL answer = VARIANT_FALSE;
      SafeCallCheck(CanRemoveReference(contextId, &answer));
      if (!answer) return;
    }
    auto it = std::find(references_.begin(), references_.end(), contextId);
    if (it == references_.end()) return;
    references_.erase(it);
    MarkModified();
    *success = VARIANT_TRUE;
  });
}

HRESULT TpwProjectVirtualFolder::GetReferenceCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue(count, static_cast<std::int32_t>(references_.size())); });
}

HRESULT TpwProjectVirtualFolder::GetReference(std::int32_t index, GUID* contextId) {
  return SafeCall([&] {
    CheckOut(contextId);
    if (index < 0 || static_cast<std::size_t>(index) >= references_.size()) BadIndex();
    *contextId = references_[static_cast<std::size_t>(index)];
  });
}

HRESULT TpwProjectVirtualFolder::SetController(IpwProjectVirtualFolderExternalController* controller) {
  return SafeCall([&] {
    if (controller == controller_.Get()) return;
    if (controller_ && manager_) UnregisterContextActions(manager_.Get(), key_, ControllerActions());
    controller_ = controller;
    if (controller_ && manager_)
      RegisterContextActions(manager_.Get(), key_, ControllerActions(), static_cast<IpwProjectActionHandler*>(this));
  });
}

void TpwProjectVirtualFolder::GetPropertyValue(std::int32_t index, VARIANT* value) {
  CheckOut(value);
  if (index == 0) SetOut(value, OleVariant(caption_));
  else if (index == 1) SetOut(value, OleVariant(description_));
  else BadIndex();
}

void TpwProjectVirtualFolder::SetPropertyValue(std::int32_t index, const VARIANT& value) {
  if (index != 0) BadIndex();
  Rename(OleVariant(value).AsString());
}

HRESULT TpwProjectVirtualFolder::GetPropertyCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue(count, 2); });
}

HRESULT TpwProjectVirtualFolder::GetProperty(std::int32_t index, IpwPropertyObject** property) {
  return SafeCall([&] {
    CheckOut(property);
    *property = nullptr;
    if (index < 0 || index > 1) BadIndex();
    auto& entry = properties_[static_cast<std::size_t>(index)];
    if (!entry)
      entry = MakeObject<TpwPropertyObject>(index == 0 ? &kNameCaption : &kDescriptionCaption, &kGeneralCategory,
                                            index == 0 ? &kNameCaption : &kDescriptionCaption, index == 1, index,
                                            static_cast<IpwPropertyObjectOwner*>(this));
    *property = ComPtr<IpwPropertyObject>(entry.Get()).Detach();
  });
}

bool TpwProjectVirtualFolder::AddHere(const std::function<bool(std::vector<GUID>&, bool&)>& add) {
  if (!owner_ || !CanEdit()) return false;
  auto update = GetBrokerObject(manager_.Get());
  if (update) SafeCallCheck(update->BeginProjectUpdate());
  struct End {
    IpwProjectUpdate* update;
    ~End() {
      if (update) update->EndProjectUpdate();
    }
  } end{update.Get()};
  std::vector<GUID> added;
  bool gotList = false;
  bool done = add(added, gotList);
  if (!done) return false;
  if (!gotList) return false;
  for (const auto& id : added) {
    VARIANT_BOOL ok = VARIANT_FALSE;
    SafeCallCheck(AddReference(id, VARIANT_FALSE, &ok));
  }
  return true;
}

bool TpwProjectVirtualFolder::AddNewItemHere(const GUID& typeKey) {
  return AddHere([&](std::vector<GUID>& added, bool& gotList) { return AddNewItem(typeKey, added, gotList); });
}

bool TpwProjectVirtualFolder::AddExistingItemHere(WideStringView fileName) {
  return AddHere([&](std::vector<GUID>& added, bool& gotList) { return AddExistingItem(fileName, added, gotList); });
}

std::int32_t TpwProjectVirtualFolder::ExecuteAction(const GUID& action, const VARIANT& param, VARIANT* result) {
  if (controller_) {
    VARIANT_BOOL handled = VARIANT_FALSE;
    std::int32_t code = 2;
    SafeCallCheck(controller_->ExecuteAction(action, param, result, &handled, &code));
    if (handled) return code;
  }
  bool done = false;
  if (action == newItemActionKey_ && action != GUID_NULL) done = AddNewItemHere(ParamGuid(param));
  else if (action == addExistingItemActionKey_ && action != GUID_NULL) done = AddExistingItemHere(ParamText(param));
  if (result) {
    VariantClear(result);
    *result = OleVariant(done).Detach();
  }
  return done ? 0 : 2;
}

void TpwProjectVirtualFolder::UpdateAction(const GUID& action) {
  if (controller_) {
    VARIANT_BOOL handled = VARIANT_FALSE;
    SafeCallCheck(controller_->UpdateAction(action, &handled));
    if (handled) return;
  }
  const bool newItem = action == newItemActionKey_ && action != GUID_NULL;
  if (!newItem && (action != addExistingItemActionKey_ || action == GUID_NULL)) return;
  auto actions = GetHostService<IpwActionService>(manager_.Get(), kActionService);
  if (!actions) return;
  ComPtr<IpwAction> found;
  if (Failed(actions->FindAction(action, found.Put())) || !found) return;
  // One host action serves every context, and another handler may have retitled it.
  if (newItem) ResetNewItemActionTitle(found.Get());
  const bool enabled = newItem ? CanAddNewItem() : CanAddExistingItem();
  SafeCallCheck(found->SetProperty(0, OleVariant(enabled).Get()));
}

}  // namespace pw::project
