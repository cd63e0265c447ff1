#include "host/project_services.h"

#include "host/node_type_registry.h"

#include "project/nodes/base_node.h"
#include "project/types/node_info.h"

namespace pw::host {

namespace {
// The texts of the host's own item types.
const GUID kProjectTypeKeyValue = kProjectNodeType;
const GUID kItemTypeKeyValue = kItemNodeType;
const GUID kNoParentType = GUID_NULL;
const WideString kProjectTypeName = u"Project";
const WideString kProjectCaption = u"Project";
const WideString kProjectDescription = u"A project: test items and their settings.";
const WideString kProjectFileName = u"Project";
const WideString kProjectExtension = u".pwp";
const WideString kItemTypeName = u"Item";
const WideString kItemCaption = u"Item";
const WideString kItemDescription = u"A project item kept in a file of its own.";
const WideString kItemFileName = u"Item";
const WideString kItemExtension = u".pwi";
const WideString kHostPluginName = u"Probewright";

project::TProjectNodeInfo ProjectTypeInfo() {
  project::TProjectNodeInfo info;
  info.typeKey = &kProjectTypeKeyValue;
  info.typeName = &kProjectTypeName;
  info.caption = &kProjectCaption;
  info.description = &kProjectDescription;
  info.parentTypeKey = &kNoParentType;
  info.numberedNames = true;
  info.configClass = &project::ConfigInfoClass<project::TpwFileProjectNodeSeparateFolderConfigInfo>;
  info.defaultFileName = &kProjectFileName;
  info.fileExtension = &kProjectExtension;
  info.pluginName = &kHostPluginName;
  return info;
}

project::TProjectNodeInfo ItemTypeInfo() {
  project::TProjectNodeInfo info;
  info.typeKey = &kItemTypeKeyValue;
  info.typeName = &kItemTypeName;
  info.caption = &kItemCaption;
  info.description = &kItemDescription;
  info.parentTypeKey = &kProjectTypeKeyValue;
  info.numberedNames = true;
  info.flag12 = true;
  info.configClass = &project::ConfigInfoClass<project::TpwFileProjectNodeConfigInfo>;
  info.defaultFileName = &kItemFileName;
  info.fileExtension = &kItemExtension;
  info.pluginName = &kHostPluginName;
  return info;
}

// Walks a snapshot of the registry's lists.
class TNodeInfoListEnumerator final : public Implements<ComObject, IpwNodeInfoListEnumerator> {
 public:
  explicit TNodeInfoListEnumerator(std::vector<ComPtr<IpwProjectItemTypeProvider>> lists) : lists_(std::move(lists)) {}
  HRESULT Reset() override {
    position_ = -1;
    return S_OK;
  }
  VARIANT_BOOL MoveNext() override {
    if (position_ < static_cast<long>(lists_.size())) ++position_;
    return ToWordBool(position_ < static_cast<long>(lists_.size()));
  }
  HRESULT GetCount(std::int32_t* count) override {
    return SafeCall([&] { SetOutCount(count, lists_); });
  }
  HRESULT GetCurrent(IpwProjectItemTypeProvider** list) override {
    return SafeCall([&] { SetOutItem(list, lists_, position_); });
  }

 private:
  std::vector<ComPtr<IpwProjectItemTypeProvider>> lists_;
  long position_ = -1;
};
}  // namespace

THostProjectNode::THostProjectNode(IpwProjectNode* parent, const GUID& typeKey, WideStringView name, const GUID& key)
    : parent_(parent), typeKey_(typeKey), key_(key), name_(name) {
  if (key_ == GUID_NULL) OleCheck(CreateGuid(key_));
  OleCheck(CreateGuid(instanceKey_));
}

void* THostProjectNode::GetInterface(const IID& riid) noexcept {
  // Only Project nodes answer the project interface.
  if (riid == IpwProject::iid && typeKey_ != kProjectNodeType) return nullptr;
  // Only nodes given event sets are event controls.
  if (riid == IpwEventControl::iid && eventSets_.empty()) return nullptr;
  return Implements::GetInterface(riid);
}

HRESULT THostProjectNode::GetEventSetCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue(count, static_cast<std::int32_t>(eventSets_.size())); });
}
HRESULT THostProjectNode::GetEventSet(std::int32_t index, GUID* set) {
  return SafeCall([&] {
    CheckIndex(index, eventSets_.size());
    SetOutValue(set, eventSets_[static_cast<std::size_t>(index)]);
  });
}

HRESULT THostProjectNode::GetKey(GUID* key) {
  return SafeCall([&] { SetOutValue(key, key_); });
}
HRESULT THostProjectNode::GetName(BSTR* name) {
  return SafeCall([&] { SetOut(name, name_); });
}
HRESULT THostProjectNode::SetName(BSTR name) {
  return SafeCall([&] { name_ = WideString(BstrView(name)); });
}
HRESULT THostProjectNode::GetTypeKey(GUID* typeKey) {
  return SafeCall([&] { SetOutValue(typeKey, typeKey_); });
}
HRESULT THostProjectNode::GetAttribute(std::int32_t id, VARIANT* value) {
  auto at = attributes_.find(id);
  if (at == attributes_.end()) return E_INVALIDARG;
  return SafeCall([&] { SetOut(value, at->second); });
}
HRESULT THostProjectNode::SetAttribute(std::int32_t, const VARIANT&) { return E_INVALIDARG; }
HRESULT THostProjectNode::GetGuidAttribute(std::int32_t, GUID*) { return E_INVALIDARG; }
HRESULT THostProjectNode::SetGuidAttribute(std::int32_t, const GUID&) { return E_INVALIDARG; }
HRESULT THostProjectNode::GetParent(IpwProjectNode** parent) {
  return SafeCall([&] { SetOut(parent, parent_); });
}
HRESULT THostProjectNode::GetChildren(IpwProjectNodeIterator** children) {
  return SafeCall([&] { SetOut(children, project::MakeNodeListIterator(children_)); });
}
HRESULT THostProjectNode::HasTests(VARIANT_BOOL* result) {
  return SafeCall([&] { SetOutValue<VARIANT_BOOL>(result, VARIANT_FALSE); });
}
HRESULT THostProjectNode::GetTestContext(IUnknown** context) {
  return SafeCall([&] { SetOut(context, ComPtr<IUnknown>()); });
}
HRESULT THostProjectNode::GetTests(IpwTestIterator** tests) {
  return SafeCall([&] { SetOut(tests, project::MakeEmptyTestIterator()); });
}
HRESULT THostProjectNode::GetInstanceKey(GUID* key) {
  return SafeCall([&] { SetOutValue(key, instanceKey_); });
}
HRESULT THostProjectNode::NodeAttached(IpwProjectNode* node) {
  return SafeCall([&] {
    BString name;
    if (node) OleCheck(node->GetName(name.Put()));
    tracking_.push_back(u"attached " + name.Str());
  });
}
HRESULT THostProjectNode::NodeDetached(IpwProjectNode* node) {
  return SafeCall([&] {
    BString name;
    if (node) OleCheck(node->GetName(name.Put()));
    tracking_.push_back(u"detached " + name.Str());
  });
}
HRESULT THostProjectNode::GetLanguageKey(GUID* key) {
  return SafeCall([&] { SetOutValue(key, languageKey_); });
}

void TProjectRegistry::SetSuiteOpen(bool open) {
  std::lock_guard guard(lock_);
  suiteOpen_ = open;
}
void TProjectRegistry::AddNode(IpwProjectNode* node) {
  std::lock_guard guard(lock_);
  nodes_.emplace_back(node);
}
void TProjectRegistry::SetCurrentNode(IpwProjectNode* node) {
  std::function<void(IpwProjectNode*)> listener;
  {
    std::lock_guard guard(lock_);
    if (current_.Get() == node) return;
    current_ = node;
    listener = currentListener_;
  }
  if (listener) listener(node);
}
void TProjectRegistry::SetCurrentNodeListener(std::function<void(IpwProjectNode*)> listener) {
  std::lock_guard guard(lock_);
  currentListener_ = std::move(listener);
}
void TProjectRegistry::SetCurrentLanguage(const GUID& key) {
  std::lock_guard guard(lock_);
  language_ = key;
}
void TProjectRegistry::SetRunItem(IcvKeyItem* item) {
  std::lock_guard guard(lock_);
  runItem_ = item;
}
void TProjectRegistry::SetSuiteRoot(IpwProjectNode* root) {
  std::lock_guard guard(lock_);
  suiteRoot_ = root;
}
void TProjectRegistry::SetDefaultProject(IpwProjectNode* project) {
  std::lock_guard guard(lock_);
  defaultProject_ = project;
}
void TProjectRegistry::AddItemTypes(IpwProjectItemTypeProvider* list) {
  std::lock_guard guard(lock_);
  if (list) itemTypes_.emplace_back(list);
}
void TProjectRegistry::RemoveItemTypes(IpwProjectItemTypeProvider* list) {
  std::lock_guard guard(lock_);
  std::erase_if(itemTypes_, [&](const auto& l) { return l.Get() == list; });
}
std::vector<ComPtr<IpwProjectItemTypeProvider>> TProjectRegistry::ItemTypeLists() const {
  std::lock_guard guard(lock_);
  return itemTypes_;
}
void TProjectRegistry::SetCanEdit(bool canEdit) {
  std::lock_guard guard(lock_);
  canEdit_ = canEdit;
}
std::vector<ComPtr<IpwProjectNode>> TProjectRegistry::EditsBegun() const {
  std::lock_guard guard(lock_);
  return editsBegun_;
}
void THostProjectNode::ClearChildren() {
  auto children = std::move(children_);
  children_.clear();
  for (auto& child : children) {
    if (auto* node = dynamic_cast<THostProjectNode*>(child.Get())) node->ClearChildren();
  }
}

void TProjectRegistry::Clear() {
  std::vector<ComPtr<IpwProjectItemTypeProvider>> lists;
  std::vector<ComPtr<IpwProjectNode>> nodes;
  std::lock_guard guard(lock_);
  lists.swap(itemTypes_);
  nodes = nodes_;
  for (auto& n : nodes) {
    if (auto* node = dynamic_cast<THostProjectNode*>(n.Get())) node->ClearChildren();
  }
  suiteRoot_ = nullptr;
  defaultProject_ = nullptr;
  editsBegun_.clear();
  sccNotices_.clear();
  nodes_.clear();
  current_ = nullptr;
  runItem_ = nullptr;
  suiteOpen_ = false;
}

HRESULT TProjectRegistry::IsSuiteOpen(VARIANT_BOOL* open) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutValue<VARIANT_BOOL>(open, ToWordBool(suiteOpen_));
  });
}

HRESULT TProjectRegistry::GetCurrentNode(IpwProjectNode** node) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(node, current_);
  });
}

HRESULT TProjectRegistry::GetSuiteRoot(IpwProjectNode** root) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(root, suiteOpen_ ? suiteRoot_ : ComPtr<IpwProjectNode>());
  });
}

HRESULT TProjectRegistry::GetDefaultProject(IpwProjectNode** project) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(project, defaultProject_);
  });
}

HRESULT TProjectRegistry::GetNodeInfoLists(IpwNodeInfoListEnumerator** lists) {
  return SafeCall([&] { SetOut(lists, MakeObject<TNodeInfoListEnumerator>(ItemTypeLists())); });
}

HRESULT TProjectRegistry::GetNodeInfo(const GUID& typeKey, IpwProjectNodeInfo** info) {
  return SafeCall([&] {
    for (const auto& list : ItemTypeLists()) {
      std::int32_t count = 0;
      OleCheck(list->GetItemTypeCount(&count));
      for (std::int32_t i = 0; i < count; ++i) {
        ComPtr<IpwProjectNodeInfo> candidate;
        OleCheck(list->GetItemTypeInfo(i, candidate.Put()));
        GUID key{};
        if (candidate && Succeeded(candidate->GetKey(&key)) && key == typeKey) return SetOut(info, candidate);
      }
    }
    SetOut(info, UnavailableTypeInfo(typeKey, nodeManager_));
  });
}

HRESULT TProjectRegistry::CanEdit(IpwProjectNode*, VARIANT_BOOL* result) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutValue<VARIANT_BOOL>(result, ToWordBool(canEdit_));
  });
}

HRESULT TProjectRegistry::BeginEdit(IpwProjectNode* owner) {
  return SafeCall([&] {
    std::function<void(IpwProjectNode*)> hook;
    {
      std::lock_guard guard(lock_);
      editsBegun_.emplace_back(owner);
      hook = beginEditHook_;
    }
    if (hook) hook(owner);
  });
}

void TProjectRegistry::SetBeginEditHook(std::function<void(IpwProjectNode*)> hook) {
  std::lock_guard guard(lock_);
  beginEditHook_ = std::move(hook);
}

HRESULT TProjectRegistry::GetNodeByKey(const GUID& key, IpwProjectNode** node) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    for (const auto& n : nodes_) {
      GUID k{};
      if (Succeeded(n->GetKey(&k)) && k == key) return SetOut(node, n);
    }
    SetOut(node, ComPtr<IpwProjectNode>());
  });
}

HRESULT TProjectRegistry::GetCurrentLanguageKey(GUID* key) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutValue(key, language_);
  });
}

HRESULT TProjectRegistry::GetOwnerKind(std::int32_t* kind) {
  return SafeCall([&] { SetOutValue<std::int32_t>(kind, ownerKind_.load()); });
}

HRESULT TProjectRegistry::StopRun(std::int32_t, std::int32_t) {
  RequestStop();
  return S_OK;
}

HRESULT TProjectRegistry::IsStopRequested(VARIANT_BOOL* requested) {
  if (!requested) return E_POINTER;
  const bool stop = stopRequested_.load() || (run_ && run_->Stopping());
  *requested = stop ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT TProjectRegistry::GetCurrentItem(IcvKeyItem** item) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(item, runItem_);
  });
}

HRESULT TProjectRegistry::GetRunState(GUID* state) {
  return SafeCall([&] { SetOutValue(state, run_ ? run_->State() : GUID_NULL); });
}

std::vector<TProjectRegistry::SccNotice> TProjectRegistry::SccNotices() const {
  std::lock_guard guard(lock_);
  return sccNotices_;
}
HRESULT TProjectRegistry::BeginReload(IpwProjectNode* node) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    sccNotices_.push_back({"BeginReload", ComPtr<IpwProjectNode>(node), nullptr});
  });
}
HRESULT TProjectRegistry::EndReload(IpwProjectNode* node) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    sccNotices_.push_back({"EndReload", ComPtr<IpwProjectNode>(node), nullptr});
  });
}
HRESULT TProjectRegistry::ChildAdded(IpwProjectNode* container, IpwProjectNode* child) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    sccNotices_.push_back({"ChildAdded", ComPtr<IpwProjectNode>(container), ComPtr<IpwProjectNode>(child)});
  });
}
HRESULT TProjectRegistry::ChildRemoved(IpwProjectNode* container, IpwProjectNode* child) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    sccNotices_.push_back({"ChildRemoved", ComPtr<IpwProjectNode>(container), ComPtr<IpwProjectNode>(child)});
  });
}

std::int32_t THostProjectUpdate::Depth() const {
  std::lock_guard guard(lock_);
  return depth_;
}
std::vector<WideString> THostProjectUpdate::Notices() const {
  std::lock_guard guard(lock_);
  return notices_;
}
HRESULT THostProjectUpdate::BeginProjectUpdate() {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    ++depth_;
    notices_.push_back(u"begin");
  });
}
HRESULT THostProjectUpdate::EndProjectUpdate() {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    if (depth_ == 0) throw EOleSysError(u"No project update is open.", E_UNEXPECTED);
    --depth_;
    notices_.push_back(u"end");
  });
}
HRESULT THostProjectUpdate::NodeFilesRemoved(IpwProjectNode* node, IpwStringCollection* files) {
  return SafeCall([&] {
    WideString line = u"removed ";
    if (node) {
      BString name;
      OleCheck(node->GetName(name.Put()));
      line += name.Str();
    }
    line += u":";
    std::int32_t count = 0;
    if (files) OleCheck(files->GetCount(&count));
    for (std::int32_t i = 0; i < count; ++i) {
      BString file;
      OleCheck(files->GetItem(i, file.Put()));
      line += (i ? u", " : u" ") + file.Str();
    }
    std::lock_guard guard(lock_);
    notices_.push_back(line);
  });
}

HRESULT THostItemTypes::GetKey(GUID* key) {
  return SafeCall([&] { SetOutValue(key, kHostItemTypesKey); });
}
HRESULT THostItemTypes::GetItemTypeCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue<std::int32_t>(count, 2); });
}
HRESULT THostItemTypes::CreateItem(const GUID& typeKey, const GUID& key, IpwProjectNodeConfigInfo* configInfo,
                                   IUnknown*, IpwProjectNode* parent, IpwProjectNode** node) {
  return SafeCall([&] { SetOut(node, MakeHostNode(manager_, typeKey, key, configInfo, parent)); });
}
HRESULT THostItemTypes::LoadItemFromFile(IcvBaseManager* manager, IpwProjectNode* parent, BSTR fileName,
                                         IpwProjectNode** node) {
  return SafeCall([&] { SetOut(node, LoadHostNode(manager, parent, BstrView(fileName))); });
}
HRESULT THostItemTypes::AddNewItem(IpwProjectNode*, const GUID&, BSTR, IpwProjectNode** node) {
  if (node) *node = nullptr;
  return E_NOTIMPL;
}
HRESULT THostItemTypes::GetItemTypeInfo(std::int32_t index, IpwProjectNodeInfo** info) {
  return SafeCall([&] {
    CheckIndex(index, 2);
    ComPtr<IpwProjectNodeInfo> made =
        MakeObject<project::TpwFileProjectNodeInfo>(manager_, index == 0 ? ProjectTypeInfo() : ItemTypeInfo());
    SetOut(info, made);
  });
}

std::vector<THostNodeEvents::Record> THostNodeEvents::Changes() const {
  std::lock_guard guard(lock_);
  return changes_;
}
void THostNodeEvents::ClearChanges() {
  std::lock_guard guard(lock_);
  changes_.clear();
}
HRESULT THostNodeEvents::NodeChanged(std::int32_t kind, IpwProjectNode* node) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    changes_.push_back({kind, ComPtr<IpwProjectNode>(node)});
  });
}

std::vector<WideString> TDiagnosticLog::Lines() const {
  std::lock_guard guard(lock_);
  return lines_;
}

HRESULT TDiagnosticLog::Write(BSTR text) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    lines_.emplace_back(BstrView(text));
  });
}

WideString NoticeName(IpwProjectNode* node) {
  BString name;
  if (!node || Failed(node->GetName(name.Put()))) return u"?";
  return WideString(name.View());
}

void TProjectService::Add(WideString line) {
  std::lock_guard guard(lock_);
  notices_.push_back(std::move(line));
}
std::vector<WideString> TProjectService::Notices() const {
  std::lock_guard guard(lock_);
  return notices_;
}
void TProjectService::ClearNotices() {
  std::lock_guard guard(lock_);
  notices_.clear();
}
HRESULT TProjectService::BeforeLoad(IpwProjectNode* node) {
  return SafeCall([&] { Add(u"BeforeLoad " + NoticeName(node)); });
}
HRESULT TProjectService::NodeUnloaded(IpwProjectNode* node) {
  return SafeCall([&] { Add(u"Unloaded " + NoticeName(node)); });
}
HRESULT TProjectService::BeforeSave(IpwProjectNode* node) {
  return SafeCall([&] { Add(u"BeforeSave " + NoticeName(node)); });
}
HRESULT TProjectService::HasUnsavedChanges(IpwProjectNode*, VARIANT_BOOL* result) {
  return SafeCall([&] { SetOutValue<VARIANT_BOOL>(result, ToWordBool(unsaved_.load())); });
}
HRESULT TProjectService::CanShowProperties(IpwProjectNode*, VARIANT_BOOL* result) {
  return SafeCall([&] { SetOutValue<VARIANT_BOOL>(result, ToWordBool(canShowProperties_.load())); });
}
void TProjectService::QueueDropAnswer(bool answer) {
  std::lock_guard guard(lock_);
  dropAnswers_.push_back(answer);
}
HRESULT TProjectService::MayDropNodeData(IpwProjectNode* node, VARIANT_BOOL* result) {
  return SafeCall([&] {
    Add(u"MayDropData " + NoticeName(node));
    VARIANT_BOOL modified = VARIANT_FALSE;
    if (auto persistent = QueryAs<IpwPersistentProjectNode>(node)) OleCheck(persistent->GetModified(&modified));
    bool answer = true;
    if (modified) {
      if (!config_ || !config_->Interactive()) {
        answer = false;
      } else {
        std::lock_guard guard(lock_);
        if (dropAnswers_.empty()) throw EOleSysError(u"No answer queued for the question about unsaved data", E_FAIL);
        answer = dropAnswers_.front();
        dropAnswers_.pop_front();
      }
    }
    SetOutValue<VARIANT_BOOL>(result, ToWordBool(answer));
  });
}
HRESULT TProjectService::ShowProperties(IpwProjectNode* node) {
  return SafeCall([&] { Add(u"Properties " + NoticeName(node)); });
}
HRESULT TProjectService::ConfirmRename(IpwProjectNode* node, BSTR newName, VARIANT_BOOL* result) {
  return SafeCall([&] {
    Add(u"ConfirmRename " + NoticeName(node) + u" " + WideString(BstrView(newName)));
    SetOutValue<VARIANT_BOOL>(result, ToWordBool(confirmRename_.load()));
  });
}
HRESULT TProjectService::NodeRenamed(IpwProjectNode* node, BSTR newName) {
  return SafeCall([&] { Add(u"Renamed " + NoticeName(node) + u" " + WideString(BstrView(newName))); });
}

std::vector<WideString> TFileNotices::Notices() const {
  std::lock_guard guard(lock_);
  return notices_;
}
HRESULT TFileNotices::FileRenamed(IpwProjectNode* node, BSTR oldPath, BSTR newPath) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    notices_.push_back(u"Renamed " + NoticeName(node) + u": " + WideString(BstrView(oldPath)) + u" -> " +
                       WideString(BstrView(newPath)));
  });
}
HRESULT TFileNotices::BeforeReload(IpwProjectNode* node) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    notices_.push_back(u"BeforeReload " + NoticeName(node));
  });
}
HRESULT TFileNotices::AfterReload(IpwProjectNode* node) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    notices_.push_back(u"AfterReload " + NoticeName(node));
  });
}

}  // namespace pw::host
