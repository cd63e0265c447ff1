#include "host/name_mapping.h"

#include <climits>

#include "core/automation/dispatch_helpers.h"
#include "host/test_host.h"
#include "platform/automation/safearray.h"
#include "platform/automation/typeinfo.h"
#include "platform/com/safecall.h"
#include "project/container/project_item.h"
#include "project/nodes/project_helpers.h"
#include "project/types/node_info.h"

namespace pw::host {

namespace {

// A value of a node by a dotted path, read late-bound; Empty when it cannot be read.
OleVariant ReadPath(IUnknown* object, WideStringView path) {
  ComPtr<IDispatch> at = QueryAs<IDispatch>(object);
  for (;;) {
    if (!at) return {};
    auto dot = path.find(u'.');
    const WideString head(path.substr(0, dot));
    OleVariant value = DispGetProperty(at.Get(), head.c_str(), OleVariant());
    if (dot == WideStringView::npos) {
      if (value.Type() == VT_DISPATCH) return DispGetPropertyByID(value.Get().pdispVal, DISPID_VALUE, OleVariant());
      return value;
    }
    if (value.Type() != VT_DISPATCH) return {};
    at = ComPtr<IDispatch>(value.Get().pdispVal);
    path = path.substr(dot + 1);
  }
}

bool SameValue(const OleVariant& a, const OleVariant& b) {
  if (a.IsEmpty() || b.IsEmpty()) return false;
  try {
    if (a.Type() == VT_BSTR || b.Type() == VT_BSTR) return SameTextIgnoringCase(a.AsString(), b.AsString());
    if (a.Type() == VT_BOOL || b.Type() == VT_BOOL) return a.AsBool() == b.AsBool();
    return a.AsDouble() == b.AsDouble();
  } catch (...) {
    return false;
  }
}

class TTemplate final : public Implements<ComObject, IpwNameMappingTemplateNodeType> {
 public:
  TTemplate(std::vector<WideString> paths, std::vector<WideString> expressions, std::vector<WideString> names)
      : paths_(std::move(paths)), expressions_(std::move(expressions)), names_(std::move(names)) {}
  HRESULT GetConditionPaths(VARIANT* v) override {
    return SafeCall([&] { SetOut(v, MakeNamesVariant(paths_)); });
  }
  HRESULT GetConditionExpressions(VARIANT* v) override {
    return SafeCall([&] { SetOut(v, MakeNamesVariant(expressions_)); });
  }
  HRESULT GetIdentificationNames(VARIANT* v) override {
    return SafeCall([&] { SetOut(v, MakeNamesVariant(names_)); });
  }

 private:
  std::vector<WideString> paths_, expressions_, names_;
};

const GUID kNameMappingTypesKey = MakeGuid("{6B1C2E8D-47A3-4F5E-9D20-3C8A1F7E5B64}");
const WideString kNameMappingTypeName = u"NameMapping";
const WideString kNameMappingCaption = u"Name Mapping";
const WideString kNameMappingDescription = u"Used to assign custom names to processes, windows and controls.";

project::TProjectNodeInfo NameMappingTypeInfo() {
  project::TProjectNodeInfo info;
  info.typeKey = &kNameMappingItemTypeKey;
  info.typeName = &kNameMappingTypeName;
  info.caption = &kNameMappingCaption;
  info.description = &kNameMappingDescription;
  info.parentTypeKey = &kProjectNodeType;
  info.singleInstance = true;
  return info;
}

// A project's NameMapping item: a project item that answers the root of its project's
// repository (nil when none was published).
class TNameMappingProjectItem final : public Implements<project::TpwProjectItem, IpwNameMappingRootProvider> {
 public:
  TNameMappingProjectItem(IpwProjectNode* parent, const GUID& key, ComPtr<TNameMappingRepository> repository)
      : Implements(parent, kNameMappingItemTypeKey, key), repository_(std::move(repository)) {}
  HRESULT GetMappingRoot(IpwNameMappingRepositoryItem** root) override {
    return SafeCall(
        [&] { SetOut(root, ComPtr<IpwNameMappingRepositoryItem>(repository_ ? &repository_->Root() : nullptr)); });
  }

 private:
  const ComPtr<TNameMappingRepository> repository_;
};

// The NameMapping item type: an item of it publishes its project's repository.
class TNameMappingTypes final : public Implements<ComObject, IpwProjectItemTypeProvider> {
 public:
  TNameMappingTypes(IcvBaseManager* manager, TNameMappings* owner) : manager_(manager), owner_(owner) {}
  void Detach() { owner_ = nullptr; }
  HRESULT GetKey(GUID* key) override {
    return SafeCall([&] { SetOutValue(key, kNameMappingTypesKey); });
  }
  HRESULT GetItemTypeCount(std::int32_t* count) override {
    return SafeCall([&] { SetOutValue<std::int32_t>(count, 1); });
  }
  HRESULT CreateItem(const GUID& typeKey, const GUID& key, IpwProjectNodeConfigInfo*, IUnknown*, IpwProjectNode* parent,
                     IpwProjectNode** node) override {
    return SafeCall([&] {
      if (typeKey != kNameMappingItemTypeKey) throw EOleSysError(u"Not a name-mapping item type", E_INVALIDARG);
      auto repository = owner_ ? owner_->Publish(project::GetProjectKey(parent)) : nullptr;
      auto item = MakeObject<TNameMappingProjectItem>(parent, key, std::move(repository));
      SafeCallCheck(item->Initialize(manager_));
      SetOut(node, ComPtr<IpwProjectNode>(item->AsNode()));
    });
  }
  HRESULT AddNewItem(IpwProjectNode*, const GUID&, BSTR, IpwProjectNode** node) override {
    if (node) *node = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetItemTypeInfo(std::int32_t index, IpwProjectNodeInfo** info) override {
    return SafeCall([&] {
      CheckIndex(index, 1);
      ComPtr<IpwProjectNodeInfo> made = MakeObject<project::TpwProjectNodeInfo>(manager_, NameMappingTypeInfo());
      SetOut(info, made);
    });
  }

 private:
  IcvBaseManager* manager_;
  TNameMappings* owner_;
};

}  // namespace

OleVariant MakeNamesVariant(const std::vector<WideString>& names) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<std::uint32_t>(names.size()));
  if (!array) throw std::bad_alloc();
  for (std::int32_t i = 0; i < static_cast<std::int32_t>(names.size()); ++i) {
    OleVariant element(names[static_cast<std::size_t>(i)]);
    SafeArrayPutElement(array, &i, element.Ptr());
  }
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ARRAY | VT_VARIANT;
  v.parray = array;
  return OleVariant::Attach(v);
}

// ---- Identification properties, type recorder ----------------------------------------------------

std::vector<TIdentificationProperties::Property> TIdentificationProperties::Properties() const {
  std::lock_guard guard(lock_);
  return properties_;
}
HRESULT TIdentificationProperties::AddProperty(BSTR name, VARIANT_BOOL flag, const VARIANT& value) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    properties_.push_back({WideString(BstrView(name)), flag != VARIANT_FALSE, OleVariant(value)});
  });
}
HRESULT TIdentificationProperties::GetCount(std::int32_t* count) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutCount(count, properties_);
  });
}
HRESULT TIdentificationProperties::GetPropertyName(std::int32_t index, BSTR* name) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    CheckIndex(index, properties_.size());
    SetOut(name, properties_[static_cast<std::size_t>(index)].name);
  });
}
HRESULT TIdentificationProperties::GetPropertyValue(std::int32_t index, VARIANT* value) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    CheckIndex(index, properties_.size());
    SetOut(value, properties_[static_cast<std::size_t>(index)].value);
  });
}
HRESULT TIdentificationProperties::SetPropertyValue(std::int32_t index, const VARIANT& value) {
  return SafeCall([&] {
    OleVariant v(VariantDeref(value));
    std::lock_guard guard(lock_);
    CheckIndex(index, properties_.size());
    properties_[static_cast<std::size_t>(index)].value = std::move(v);
  });
}

std::vector<WideString> TTypeRecorder::Recorded() const {
  std::lock_guard guard(lock_);
  return recorded_;
}
HRESULT TTypeRecorder::GetTypeSink(IpwTypeInfoSink** sink) {
  return SafeCall([&] { SetOut(sink, ComPtr<IpwTypeInfoSink>(static_cast<IpwTypeInfoSink*>(this))); });
}
HRESULT TTypeRecorder::AddTypeInfo(const VARIANT& description) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    recorded_.push_back(OleVariant(description).AsString());
  });
}
HRESULT TTypeRecorder::IsRecording(VARIANT_BOOL* recording) {
  return SafeCall([&] { SetOutBool(recording, recording_); });
}
HRESULT TTypeRecorder::DescribeTypeInfo(IUnknown* info, VARIANT* description) {
  return SafeCall([&] {
    auto typeInfo = QueryAs<ITypeInfo>(info);
    BString name;
    if (typeInfo) SafeCallCheck(typeInfo->GetDocumentation(MEMBERID_NIL, name.Put(), nullptr, nullptr, nullptr));
    SetOut(description, OleVariant(name.View()));
  });
}

// ---- Items ------------------------------------------------------------------------------------------

TNameMappingItem::TNameMappingItem(TNameMappingRepository* repository, TNameMappingItem* parent, WideString name)
    : repository_(repository), parent_(parent), name_(std::move(name)) {}

std::vector<ComPtr<TNameMappingItem>> TNameMappingItem::Children() const {
  std::lock_guard guard(lock_);
  return children_;
}
std::vector<WideString> TNameMappingItem::ChildMappedCalls() const {
  std::lock_guard guard(lock_);
  return childMapped_;
}
WideString TNameMappingItem::Path() const {
  WideString path = name_;
  for (auto at = parent_; at && at->parent_; at = at->parent_) path = at->name_ + u"." + path;
  return path;
}
HRESULT TNameMappingItem::GetName(BSTR* name) {
  return SafeCall([&] { SetOut(name, name_); });
}
HRESULT TNameMappingItem::GetParent(IpwNameMappingRepositoryItem** parent) {
  return SafeCall([&] { SetOut(parent, ComPtr<IpwNameMappingRepositoryItem>(parent_)); });
}
HRESULT TNameMappingItem::GetRoot(IpwNameMappingRepositoryItem** root) {
  return SafeCall([&] { SetOut(root, ComPtr<IpwNameMappingRepositoryItem>(repository_->root_.Get())); });
}
HRESULT TNameMappingItem::BeginUpdate(VARIANT_BOOL* begun) {
  return SafeCall([&] {
    if (repository_->refuseUpdate_) return SetOutBool(begun, false);
    ++repository_->begun_;
    SetOutBool(begun, true);
  });
}
HRESULT TNameMappingItem::EndUpdate() {
  ++repository_->ended_;
  return S_OK;
}
HRESULT TNameMappingItem::FindChildIndex(BSTR name, std::int32_t* index) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    std::int32_t found = -1;
    for (std::size_t i = 0; i < children_.size() && found < 0; ++i)
      if (SameTextIgnoringCase(children_[i]->name_, BstrView(name))) found = static_cast<std::int32_t>(i);
    SetOutValue(index, found);
  });
}
HRESULT TNameMappingItem::AddChild(BSTR name, IpwNameMappingRepositoryItem** child) {
  return SafeCall([&] {
    const int limit = repository_->itemLimit_;
    if (!acceptsChildren_ || (limit >= 0 && static_cast<int>(repository_->Items().size()) >= limit))
      return SetOut(child, ComPtr<IpwNameMappingRepositoryItem>());
    auto made = MakeObject<TNameMappingItem>(repository_, this, WideString(BstrView(name)));
    {
      std::lock_guard guard(lock_);
      children_.push_back(made);
    }
    SetOut(child, ComPtr<IpwNameMappingRepositoryItem>(made.Get()));
  });
}
HRESULT TNameMappingItem::SetUnderSearchRoot(VARIANT_BOOL underSearchRoot) {
  underSearchRoot_ = underSearchRoot != VARIANT_FALSE;
  return S_OK;
}
HRESULT TNameMappingItem::GetIdentification(IpwIdentificationProperties** properties) {
  return SafeCall([&] { SetOut(properties, identification_); });
}
HRESULT TNameMappingItem::GetTypeRecorder(IpwTypeInfoRecorder** recorder) {
  return SafeCall([&] { SetOut(recorder, recorder_); });
}
HRESULT TNameMappingItem::GetMappingIndex(IpwNameMappingIndex** index) {
  return SafeCall([&] { SetOut(index, ComPtr<IpwNameMappingIndex>(repository_)); });
}
HRESULT TNameMappingItem::ChildMapped(BSTR name, VARIANT_BOOL flag) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    childMapped_.push_back(WideString(BstrView(name)) + (flag ? u" true" : u" false"));
  });
}
HRESULT TNameMappingItem::GetChildCount(std::int32_t* count) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutCount(count, children_);
  });
}
HRESULT TNameMappingItem::GetChild(std::int32_t index, IpwNameMappingRepositoryItem** child) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    CheckIndex(index, children_.size());
    SetOut(child, ComPtr<IpwNameMappingRepositoryItem>(children_[static_cast<std::size_t>(index)].Get()));
  });
}
HRESULT TNameMappingItem::GetItemName(BSTR* name) { return GetName(name); }
HRESULT TNameMappingItem::GetParentItem(IpwNameMappingItem** parent) {
  return SafeCall([&] { SetOut(parent, ComPtr<IpwNameMappingItem>(parent_ && parent_->parent_ ? parent_ : nullptr)); });
}

// ---- Aliases ---------------------------------------------------------------------------------------

std::vector<ComPtr<TAliasItem>> TAliasItem::Children() const {
  std::lock_guard guard(lock_);
  return children_;
}
HRESULT TAliasItem::GetName(BSTR* name) {
  return SafeCall([&] { SetOut(name, name_); });
}
HRESULT TAliasItem::FindChildIndex(BSTR name, std::int32_t* index) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    std::int32_t found = -1;
    for (std::size_t i = 0; i < children_.size() && found < 0; ++i)
      if (SameTextIgnoringCase(children_[i]->name_, BstrView(name))) found = static_cast<std::int32_t>(i);
    SetOutValue(index, found);
  });
}
HRESULT TAliasItem::AddAlias(BSTR name, IpwNameMappingRepositoryItem* item, IpwLogicalNameMappingItem** alias) {
  return SafeCall([&] {
    auto* own = dynamic_cast<TNameMappingItem*>(item);
    auto made = MakeObject<TAliasItem>(WideString(BstrView(name)), own);
    made->SetRepository(repository_);
    {
      std::lock_guard guard(lock_);
      children_.push_back(made);
    }
    if (repository_ && own) {
      std::lock_guard guard(repository_->lock_);
      repository_->aliasOf_[own] = made;
    }
    SetOut(alias, ComPtr<IpwLogicalNameMappingItem>(made.Get()));
  });
}

// ---- The repository --------------------------------------------------------------------------------

TNameMappingRepository::TNameMappingRepository()
    : root_(MakeObject<TNameMappingItem>(this, nullptr, u"NameMapping")),
      aliases_(MakeObject<TAliasItem>(u"Aliases", nullptr)) {
  aliases_->SetRepository(this);
}

TNameMappingRepository::~TNameMappingRepository() = default;

void TNameMappingRepository::MapNode(const GUID& nodeKey, TNameMappingItem* item, TAliasItem* alias) {
  std::lock_guard guard(lock_);
  explicit_[nodeKey] = {ComPtr<TNameMappingItem>(item), ComPtr<TAliasItem>(alias)};
}

ComPtr<TAliasItem> TNameMappingRepository::AliasOf(TNameMappingItem* item) const {
  std::lock_guard guard(lock_);
  auto at = aliasOf_.find(item);
  return at == aliasOf_.end() ? nullptr : at->second;
}

std::vector<ComPtr<TNameMappingItem>> TNameMappingRepository::Items() const {
  std::vector<ComPtr<TNameMappingItem>> out;
  std::vector<ComPtr<TNameMappingItem>> stack;
  auto top = root_->Children();
  stack.assign(top.rbegin(), top.rend());
  while (!stack.empty()) {
    auto item = stack.back();
    stack.pop_back();
    out.push_back(item);
    auto children = item->Children();
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
  return out;
}

bool TNameMappingRepository::Maps(TNameMappingItem* item, IpwSysNode* node, int depth) {
  if (!node || depth > 1000) return false;
  auto properties = item->Identification().Properties();
  if (properties.empty()) {
    // Without identification an item maps the top of the tree only.
    ComPtr<IpwSysNode> parent;
    SafeCallCheck(node->GetParent(parent.Put()));
    return !parent && !item->ParentItem()->ParentItem();
  }
  for (const auto& p : properties)
    if (!SameValue(p.value, ReadPath(node, p.name))) return false;
  TNameMappingItem* parent = item->ParentItem();
  if (!parent || !parent->ParentItem()) return true;
  ComPtr<IpwSysNode> above;
  SafeCallCheck(node->GetParent(above.Put()));
  while (above) {
    if (Maps(parent, above.Get(), depth + 1)) return true;
    if (!item->UnderSearchRoot()) return false;
    ComPtr<IpwSysNode> next;
    SafeCallCheck(above->GetParent(next.Put()));
    above = next;
  }
  return false;
}

HRESULT TNameMappingRepository::FindNode(IpwSysNode* node, IpwNameMappingRepositoryItem** item,
                                         IpwLogicalNameMappingItem** alias) {
  return SafeCall([&] {
    if (item) *item = nullptr;
    if (alias) *alias = nullptr;
    if (!node) return;
    GUID key{};
    if (auto keyed = QueryAs<IcvKeyItem>(node)) SafeCallCheck(keyed->GetKey(&key));
    {
      std::lock_guard guard(lock_);
      if (auto at = explicit_.find(key); at != explicit_.end()) {
        SetOut(item, ComPtr<IpwNameMappingRepositoryItem>(at->second.first.Get()));
        SetOut(alias, ComPtr<IpwLogicalNameMappingItem>(at->second.second.Get()));
        return;
      }
    }
    for (const auto& candidate : Items()) {
      if (!Maps(candidate.Get(), node, 0)) continue;
      SetOut(item, ComPtr<IpwNameMappingRepositoryItem>(candidate.Get()));
      SetOut(alias, ComPtr<IpwLogicalNameMappingItem>(AliasOf(candidate.Get()).Get()));
      return;
    }
  });
}

// ---- Templates, node stand-ins ----------------------------------------------------------------------

void TNameMappingTemplates::Add(std::vector<WideString> conditionPaths, std::vector<WideString> expressions,
                                std::vector<WideString> identificationNames) {
  std::lock_guard guard(lock_);
  templates_.push_back(
      MakeObject<TTemplate>(std::move(conditionPaths), std::move(expressions), std::move(identificationNames)));
}
HRESULT TNameMappingTemplates::GetCount(std::int32_t* count) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutCount(count, templates_);
  });
}
HRESULT TNameMappingTemplates::GetTemplate(std::int32_t index, IpwNameMappingTemplateNodeType** nodeType) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutItem(nodeType, templates_, index);
  });
}

HRESULT THostIdentificationProvider::GetSearchCollisions(VARIANT_BOOL* search) {
  return SafeCall([&] { SetOutBool(search, searchCollisions); });
}
HRESULT THostIdentificationProvider::GetIsSearchRoot(VARIANT_BOOL* isRoot) {
  return SafeCall([&] { SetOutBool(isRoot, isSearchRoot); });
}
HRESULT THostIdentificationProvider::GetIdentificationNames(VARIANT* names) {
  return SafeCall([&] { SetOut(names, MakeNamesVariant(identificationNames)); });
}
HRESULT THostIdentificationProvider::GetExtraNames(VARIANT* names) {
  return SafeCall([&] { SetOut(names, MakeNamesVariant(extraNames)); });
}

HRESULT THostNodeIdentification::GetPropertyCount(std::int32_t* count) {
  return SafeCall([&] { SetOutCount(count, properties); });
}
HRESULT THostNodeIdentification::GetPropertyName(std::int32_t index, BSTR* name) {
  return SafeCall([&] {
    CheckIndex(index, properties.size());
    SetOut(name, properties[static_cast<std::size_t>(index)].first);
  });
}
HRESULT THostNodeIdentification::GetPropertyPath(std::int32_t index, BSTR* path) {
  return SafeCall([&] {
    CheckIndex(index, properties.size());
    SetOut(path, properties[static_cast<std::size_t>(index)].second);
  });
}

std::vector<std::int32_t> THostPropertyReader::TimeoutsSeen() const {
  std::lock_guard guard(lock_);
  return timeouts_;
}
HRESULT THostPropertyReader::ReadNodeProperty(BSTR name, VARIANT* value, VARIANT_BOOL* read) {
  return SafeCall([&] {
    std::int32_t timeout = INT32_MIN;
    if (auto wait = QueryAs<IpwWaitTimeoutValue>(node_)) wait->GetValue(&timeout);
    {
      std::lock_guard guard(lock_);
      timeouts_.push_back(timeout);
    }
    for (const auto& f : failing)
      if (SameTextIgnoringCase(f, BstrView(name))) throw EOleSysError(u"The property cannot be read", E_FAIL);
    const WideString text(BstrView(name));
    OleVariant got = DispGetProperty(node_, text.c_str(), OleVariant());
    SetOutBool(read, !got.IsEmpty());
    SetOut(value, got);
  });
}

void THostNodeServices::Set(const GUID& service, IUnknown* object) {
  std::lock_guard guard(lock_);
  if (object) services_[service] = ComPtr<IUnknown>(object);
  else services_.erase(service);
}
HRESULT THostNodeServices::GetNodeService(const GUID& service, IUnknown** object) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    auto at = services_.find(service);
    SetOut(object, at == services_.end() ? ComPtr<IUnknown>() : at->second);
  });
}

// ---- The host's name mappings ---------------------------------------------------------------------

TNameMappings::TNameMappings(TestHost& host) : host_(host) {
  host_.SetService(kNameMappingTemplatesKey, static_cast<IpwNameMappingTemplates*>(templates_.Get()));
  types_ = MakeObject<TNameMappingTypes>(host.Manager(), this);
  host_.Projects().AddItemTypes(types_.Get());
}

TNameMappings::~TNameMappings() {
  static_cast<TNameMappingTypes*>(types_.Get())->Detach();
  host_.Projects().RemoveItemTypes(types_.Get());
  host_.SetService(kNameMappingTemplatesKey, nullptr);
  std::lock_guard guard(lock_);
  for (const auto& [key, repository] : repositories_) {
    host_.RuntimeObjects().Unregister(u"NameMapping", key);
    host_.RuntimeObjects().Unregister(u"Aliases", key);
  }
}

ComPtr<TNameMappingRepository> TNameMappings::Publish(const GUID& projectKey) {
  std::lock_guard guard(lock_);
  auto& repository = repositories_[projectKey];
  if (!repository) {
    repository = MakeObject<TNameMappingRepository>();
    host_.RuntimeObjects().Register(u"NameMapping", static_cast<IpwNameMappingRepositoryItem*>(&repository->Root()),
                                    projectKey);
    host_.RuntimeObjects().Register(u"Aliases", static_cast<IpwLogicalNameMappingItem*>(&repository->Aliases()),
                                    projectKey);
  }
  return repository;
}

ComPtr<TNameMappingRepository> TNameMappings::Repository(const GUID& projectKey) const {
  std::lock_guard guard(lock_);
  auto at = repositories_.find(projectKey);
  return at == repositories_.end() ? nullptr : at->second;
}

}  // namespace pw::host
