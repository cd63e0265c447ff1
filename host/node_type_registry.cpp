#include "host/node_type_registry.h"

#include <algorithm>

#include "core/host/host_services.h"
#include "core/options/options_tree.h"
#include "host/project_services.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"
#include "project/nodes/project_helpers.h"
#include "project/storage/node_file_helpers.h"

namespace pw::host {

namespace {
ComPtr<IcvOptionsNode> OptionsNodeOf(IUnknown* object) {
  ComPtr<IcvOptionsNode> node;
  if (!object || Failed(object->QueryInterface(IcvOptionsNode::iid, node.PutVoid())) || !node)
    throw EOleSysError(u"The data is not an options node.", E_INVALIDARG);
  return node;
}

WideString FileBase(WideStringView path) {
  std::size_t slash = path.find_last_of(u'/');
  WideStringView name = slash == WideStringView::npos ? path : path.substr(slash + 1);
  std::size_t dot = name.find_last_of(u'.');
  return WideString(dot == WideStringView::npos ? name : name.substr(0, dot));
}
}  // namespace

// ---- THostUnavailableNode

THostUnavailableNode::THostUnavailableNode(IpwProjectNode* parent, const GUID& key, const GUID& typeKey,
                                           WideStringView typeName, WideStringView pluginName)
    : Implements(parent, project::kUnavailableNodeType, key), representedType_(typeKey), typeName_(typeName),
      pluginName_(pluginName) {
  BeginUpdate();
  ChangeName(typeName_);
  EndUpdate();
}

void* THostUnavailableNode::GetInterface(const IID& riid) noexcept {
  if (riid == IpwProjectNode::iid || riid == IcvKeyItem::iid)
    return static_cast<IpwProjectNode*>(static_cast<IpwProjectNodeInternal*>(this));
  return Implements::GetInterface(riid);
}

ComPtr<IcvOptionsNode> THostUnavailableNode::ItemData() const { return data_ ? data_->GetRoot() : nullptr; }

HRESULT THostUnavailableNode::GetFileName(BSTR* fileName) {
  return SafeCall([&] {
    WideString relPath;
    if (auto data = ItemData()) SafeCallCheck(project::PropertiesOf(data.Get())->GetString(u"RelPath", u"", &relPath));
    *fileName = BString(relPath).Detach();
  });
}
HRESULT THostUnavailableNode::GetRepresentedTypeKey(GUID* typeKey) {
  return SafeCall([&] { SetOutValue(typeKey, representedType_); });
}
HRESULT THostUnavailableNode::GetRepresentedTypeName(BSTR* typeName) {
  return SafeCall([&] { *typeName = BString(typeName_).Detach(); });
}
HRESULT THostUnavailableNode::GetRepresentedPluginName(BSTR* pluginName) {
  return SafeCall([&] { *pluginName = BString(pluginName_).Detach(); });
}

HRESULT THostUnavailableNode::LoadFromDataNode(IUnknown* source, VARIANT_BOOL* loaded) {
  return SafeCall([&] {
    auto node = OptionsNodeOf(source);
    data_ = CreateOptionsBuilder();
    SafeCallCheck(node->CopyTo(data_->GetRoot().Get()));
    // The element's name, when its data names its file.
    WideString relPath;
    SafeCallCheck(project::PropertiesOf(node.Get())->GetString(u"RelPath", u"", &relPath));
    if (!relPath.empty()) {
      BeginUpdate();
      ChangeName(FileBase(relPath));
      EndUpdate();
    }
    SetOutValue<VARIANT_BOOL>(loaded, VARIANT_TRUE);
  });
}

HRESULT THostUnavailableNode::SaveToDataNode(IUnknown* target, VARIANT_BOOL, std::int32_t* result) {
  return SafeCall([&] {
    auto node = OptionsNodeOf(target);
    if (data_) {
      SafeCallCheck(node->Clear());
      SafeCallCheck(data_->GetRoot()->CopyTo(node.Get()));
    }
    SetOutValue<std::int32_t>(result, 0);
  });
}

HRESULT THostUnavailableNode::GetEventProvider(IUnknown** provider) {
  return SafeCall([&] { SetOut(provider, ComPtr<IUnknown>()); });
}

void THostUnavailableNode::GetPropertyValue(std::int32_t index, VARIANT* value) {
  if (index != 1) return TpwBaseProjectNode::GetPropertyValue(index, value);
  VariantInit(value);
  *value = OleVariant(errorText_).Detach();
}

void THostUnavailableNode::SetPropertyValue(std::int32_t index, const VARIANT& value) {
  if (index != 1) return TpwBaseProjectNode::SetPropertyValue(index, value);
  errorText_ = OleVariant(value).AsString();
}

// ---- THostProject

std::vector<WideString> THostProject::Tracking() const {
  std::lock_guard guard(lock_);
  return tracking_;
}
HRESULT THostProject::GetLanguageKey(GUID* key) {
  return SafeCall([&] {
    GUID language{};
    if (auto service = GetHostService<IpwProjectNodeRegistryService>(Manager(), project::kNodeRegistryService))
      SafeCallCheck(service->GetCurrentLanguageKey(&language));
    SetOutValue(key, language);
  });
}
HRESULT THostProject::NodeAttached(IpwProjectNode* node) {
  return SafeCall([&] {
    WideString line = u"attached " + (node ? project::NodeName(node) : WideString());
    std::lock_guard guard(lock_);
    tracking_.push_back(line);
  });
}
HRESULT THostProject::NodeDetached(IpwProjectNode* node) {
  return SafeCall([&] {
    WideString line = u"detached " + (node ? project::NodeName(node) : WideString());
    std::lock_guard guard(lock_);
    tracking_.push_back(line);
  });
}

void THostProject::KeepFile(WideStringView fileName) {
  std::lock_guard guard(lock_);
  keptFiles_.emplace_back(fileName);
}
std::vector<WideString> THostProject::RemovalQuestions() const {
  std::lock_guard guard(lock_);
  return removalQuestions_;
}
HRESULT THostProject::ChecksFileRemoval(VARIANT_BOOL* checks) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    const bool answer = !keptFiles_.empty();
    removalQuestions_.push_back(answer ? u"checks yes" : u"checks no");
    SetOutValue<VARIANT_BOOL>(checks, ToWordBool(answer));
  });
}
HRESULT THostProject::MayRemoveFile(BSTR fileName, VARIANT_BOOL* allowed) {
  return SafeCall([&] {
    const WideString name(BstrView(fileName));
    std::lock_guard guard(lock_);
    const bool answer = std::find(keptFiles_.begin(), keptFiles_.end(), name) == keptFiles_.end();
    removalQuestions_.push_back(u"may remove " + name + (answer ? u" yes" : u" no"));
    SetOutValue<VARIANT_BOOL>(allowed, ToWordBool(answer));
  });
}

// ---- Host nodes

namespace {
ComPtr<project::TpwProjectItem> NewHostItem(IcvBaseManager* manager, const GUID& typeKey, const GUID& key,
                                            IpwProjectNode* parent) {
  ComPtr<project::TpwProjectItem> node;
  if (typeKey == kProjectNodeType) node = MakeObject<THostProject>(parent, key);
  else if (typeKey == kItemNodeType) node = MakeObject<project::TpwProjectItem>(parent, kItemNodeType, key);
  else throw EOleSysError(u"The host makes no nodes of the type " + GuidToWideString(typeKey), E_INVALIDARG);
  SafeCallCheck(node->Initialize(manager));
  return node;
}
}  // namespace

ComPtr<IpwProjectNode> MakeHostNode(IcvBaseManager* manager, const GUID& typeKey, const GUID& key,
                                    IpwProjectNodeConfigInfo* config, IpwProjectNode* parent) {
  auto node = NewHostItem(manager, typeKey, key, parent);
  if (auto file = QueryAs<IpwFileProjectNodeConfigInfo>(config)) {
    BString path;
    SafeCallCheck(file->GetFullFileName(path.Put()));
    if (!node->ReloadFromFileName(path.Str(), false)) {
      node->Finalize();
      return nullptr;
    }
  }
  return ComPtr<IpwProjectNode>(node->AsNode());
}

ComPtr<IpwProjectNode> LoadHostNode(IcvBaseManager* manager, IpwProjectNode* parent, WideStringView fileName) {
  GUID typeKey{};
  if (fileName.ends_with(u".pwp")) typeKey = kProjectNodeType;
  else if (fileName.ends_with(u".pwi")) typeKey = kItemNodeType;
  else return nullptr;
  GUID key{};
  SafeCallCheck(CreateGuid(key));
  auto node = NewHostItem(manager, typeKey, key, parent);
  if (!node->ReloadFromFileName(fileName, false)) {
    // A host without dialogs showed nothing: the node's error is the only word of why, and the
    // node goes now, so the messenger's report carries it.
    if (project::IsHostModeWithoutDialogs(manager) && !node->ErrorMessage().empty())
      project::ReportToUser(manager, node->ErrorMessage(), 0);
    node->Finalize();
    return nullptr;
  }
  return ComPtr<IpwProjectNode>(node->AsNode());
}

// ---- The registry's node-type side

namespace {
const GUID kUnavailableTypeValue = project::kUnavailableNodeType;
const GUID kAnyParent = GUID_NULL;
const WideString kUnavailableName = u"Unavailable";
const WideString kUnavailableDescription = u"An element whose type is not available.";
const WideString kHostPlugin = u"Probewright";
}  // namespace

ComPtr<IpwProjectNodeInfo> UnavailableTypeInfo(const GUID& typeKey, IcvBaseManager* manager) {
  if (typeKey != project::kUnavailableNodeType) return nullptr;
  project::TProjectNodeInfo info;
  info.typeKey = &kUnavailableTypeValue;
  info.typeName = &kUnavailableName;
  info.caption = &kUnavailableName;
  info.description = &kUnavailableDescription;
  info.parentTypeKey = &kAnyParent;
  info.pluginName = &kHostPlugin;
  return MakeObject<project::TpwProjectNodeInfo>(manager, info);
}

void TProjectRegistry::SetAddAllowed(bool allowed) {
  std::lock_guard guard(lock_);
  addAllowed_ = allowed;
}
std::vector<WideString> TProjectRegistry::AddRecords() const {
  std::lock_guard guard(lock_);
  return addRecords_;
}
HRESULT TProjectRegistry::GetFactoryCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue<std::int32_t>(count, static_cast<std::int32_t>(ItemTypeLists().size())); });
}
HRESULT TProjectRegistry::GetFactory(std::int32_t index, IpwProjectItemTypeProvider** factory) {
  return SafeCall([&] {
    auto lists = ItemTypeLists();
    CheckIndex(index, static_cast<std::int32_t>(lists.size()));
    SetOut(factory, lists[static_cast<std::size_t>(index)]);
  });
}
HRESULT TProjectRegistry::GetTypeInfo(const GUID& typeKey, IpwProjectNodeInfo** info) {
  return GetNodeInfo(typeKey, info);
}
HRESULT TProjectRegistry::BeforeAdd(IpwProjectNode* container, IUnknown* nodeOrList, VARIANT_BOOL* allowed) {
  return SafeCall([&] {
    WideString line = u"before " + (container ? project::NodeName(container) : WideString());
    if (auto node = QueryAs<IpwProjectNode>(nodeOrList)) line += u" " + project::NodeName(node.Get());
    else line += nodeOrList ? u" (list)" : u" (none)";
    std::lock_guard guard(lock_);
    addRecords_.push_back(line);
    SetOutValue<VARIANT_BOOL>(allowed, ToWordBool(addAllowed_));
  });
}
HRESULT TProjectRegistry::AfterAdd(IpwProjectNode* node, std::int32_t reserved) {
  return SafeCall([&] {
    WideString line = u"after " + (node ? project::NodeName(node) : WideString()) + u" " + IntToWide(reserved);
    std::lock_guard guard(lock_);
    addRecords_.push_back(line);
  });
}
HRESULT TProjectRegistry::CreateUnavailableNode(const GUID& typeKey, BSTR typeName, BSTR pluginName, const GUID& key,
                                                IpwProjectNode* parent, IpwProjectNode** node) {
  return SafeCall([&] {
    auto made = MakeObject<THostUnavailableNode>(parent, key, typeKey, BstrView(typeName), BstrView(pluginName));
    SafeCallCheck(made->Initialize(nodeManager_));
    SetOut(node, ComPtr<IpwProjectNode>(made->AsNode()));
  });
}

}  // namespace pw::host
