#include "openapps/namemapping/name_mapping.h"

#include <climits>
#include <unordered_set>

#include "core/host/helper_interfaces.h"
#include "core/host/host_services.h"
#include "core/host/host_settings.h"
#include "core/host/module_proxy.h"
#include "openapps/namemapping/type_walker.h"
#include "platform/automation/bstr.h"
#include "platform/automation/safearray.h"
#include "platform/com/comobject.h"
#include "platform/com/safecall.h"
#include "project/nodes/project_helpers.h"

namespace pw {

// ---- Names ------------------------------------------------------------------------------------

WideString MakeUniqueName(const WideString& base, const std::function<bool(const WideString&)>& taken) {
  WideString name = base;
  for (long long counter = 2; taken(name); ++counter) name = base + IntToWide(counter);
  return name;
}

void MakeUniqueItemName(IpwSysNode* node, const std::function<bool(const WideString&)>* taken, WideString& name) {
  WideString text;
  if (auto ex = QueryAs<IpwSysNodeEx>(node)) {
    OleVariant value;
    SafeCallCheck(ex->GetPropertyValue(kNodeNameTextProperty, value.Put()));
    if (!value.IsEmpty() && !value.IsNull()) text = value.AsString();
  }
  if (text.empty()) text = kDefaultItemName;
  name = TcvUniqueIdentGenerator::MakeIdentifier(text, kDefaultItemName);
  if (taken) name = MakeUniqueName(name, *taken);
}

// ---- Late-bound property reading ----------------------------------------------------------------

namespace {

const VARIANT& Deref(const VARIANT& v) { return (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal) ? *v.pvarVal : v; }

ComPtr<IDispatch> DispatchOf(const OleVariant& value) {
  const VARIANT& v = Deref(value.Get());
  if (v.vt == VT_DISPATCH) return ComPtr<IDispatch>(v.pdispVal);
  return nullptr;
}

bool IsDispatchValue(const OleVariant& value) {
  VARTYPE vt = Deref(value.Get()).vt & static_cast<VARTYPE>(~VT_BYREF);
  return vt == VT_DISPATCH;
}

// The path split at its first ".": (head, rest); rest empty when there is no ".".
std::pair<WideStringView, WideStringView> SplitPath(WideStringView path, bool& dotted) {
  auto dot = path.find(u'.');
  dotted = dot != WideStringView::npos;
  if (!dotted) return {path, {}};
  return {path.substr(0, dot), path.substr(dot + 1)};
}

}  // namespace

OleVariant GetDispValue(IUnknown* object) {
  if (!object) return OleVariant::Null();
  OleVariant value;
  GetPropertyByDispID(object, DISPID_VALUE, value);
  return value;
}

OleVariant ResolveDefaultValue(const OleVariant& value) {
  if (auto d = DispatchOf(value)) return GetDispValue(d.Get());
  return value;
}

bool GetDispIDOfName(IUnknown* object, WideStringView name, DISPID& dispId) {
  dispId = DISPID_UNKNOWN;
  if (!object) return false;
  const WideString text(name);
  const char16_t* names[] = {text.c_str()};
  if (auto invoke = QueryAs<IpwSysNodeInvoke>(object))
    return Succeeded(invoke->GetNativeIDsOfNames(GUID_NULL, names, 1, 0, &dispId));
  auto dispatch = QueryAs<IDispatch>(object);
  return dispatch && Succeeded(dispatch->GetIDsOfNames(GUID_NULL, names, 1, 0, &dispId));
}

bool GetPropertyByDispID(IUnknown* object, DISPID dispId, OleVariant& value) {
  value.Clear();
  if (!object) return false;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (auto invoke = QueryAs<IpwSysNodeInvoke>(object))
    return Succeeded(
        invoke->InvokeNative(dispId, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, value.Put(), nullptr, nullptr));
  auto dispatch = QueryAs<IDispatch>(object);
  return dispatch &&
         Succeeded(dispatch->Invoke(dispId, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, value.Put(), nullptr, nullptr));
}

bool GetPropertyByName(IUnknown* object, WideStringView name, OleVariant& value) {
  DISPID id = DISPID_UNKNOWN;
  return GetDispIDOfName(object, name, id) && GetPropertyByDispID(object, id, value);
}

bool HasPropertyByPath(IUnknown* object, WideStringView path) {
  bool dotted = false;
  auto [head, rest] = SplitPath(path, dotted);
  if (!dotted) {
    DISPID id = DISPID_UNKNOWN;
    return GetDispIDOfName(object, head, id);
  }
  OleVariant inner;
  if (!GetPropertyByName(object, head, inner)) return false;
  auto d = DispatchOf(inner);
  return d && HasPropertyByPath(d.Get(), rest);
}

bool GetPropertyByPath(IUnknown* object, WideStringView path, OleVariant& value) {
  bool dotted = false;
  auto [head, rest] = SplitPath(path, dotted);
  if (!dotted) return GetPropertyByName(object, head, value);
  OleVariant inner;
  if (!GetPropertyByName(object, head, inner)) return false;
  auto d = DispatchOf(inner);
  if (!d) return false;
  return GetPropertyByPath(d.Get(), rest, value);
}

bool MatchIdentificationRegExpr(IUnknown* object, const TNamesArray& paths, const TNamesArray& expressions,
                                const TNamesArray& requiredNames) {
  for (const auto& name : requiredNames)
    if (!HasPropertyByPath(object, name)) return false;
  std::vector<ComPtr<IcvRegExpr>> compiled;
  if (!paths.empty()) {
    ComPtr<IcvRegExprModule> module;
    GetRegExprModule(module);
    for (std::size_t i = 0; i < paths.size(); ++i) {
      ComPtr<IcvRegExpr> expression;
      const WideString pattern = i < expressions.size() ? expressions[i] : WideString();
      if (Failed(module->CreateRegExpr(expression.Put())) || !expression ||
          Failed(expression->SetPattern(pattern.c_str())))
        throw Exception(u"Invalid regular expression.");
      compiled.push_back(expression);
    }
  }
  for (std::size_t i = 0; i < paths.size(); ++i) {
    OleVariant value;
    if (!GetPropertyByPath(object, paths[i], value)) return false;
    value = ResolveDefaultValue(value);
    VARTYPE vt = value.Type() & static_cast<VARTYPE>(~VT_BYREF);
    if (vt == VT_ERROR || vt == VT_UNKNOWN) return false;
    WideString text;
    try {
      text = value.AsString();
    } catch (const std::exception&) {
      text.clear();
    }
    if (text.empty()) return false;
    WordBool matched = 0;
    SafeCallCheck(compiled[i]->Test(text.c_str(), &matched));
    if (!matched) return false;
  }
  return true;
}

// ---- Identification: nodes, projects, values -----------------------------------------------------

GUID GetNodeKey(IUnknown* node) {
  GUID key{};
  if (auto item = QueryAs<IcvKeyItem>(node)) SafeCallCheck(item->GetKey(&key));
  return key;
}

ComPtr<IpwSysNode> GetParentNode(IpwSysNode* node) {
  if (!node) return nullptr;
  ComPtr<IpwSysNode> parent;
  SafeCallCheck(node->GetParent(parent.Put()));
  return parent;
}

ComPtr<IpwProjectNode> GetMappingProject(IcvBaseManager* manager) {
  if (!manager) return nullptr;
  // The running test's item, through the node registry (which finds nodes by key).
  if (auto run = GetHostService<IpwRunControl>(manager, kRunStateService)) {
    ComPtr<IcvKeyItem> item;
    if (Succeeded(run->GetCurrentItem(item.Put())) && item) {
      GUID key{};
      SafeCallCheck(item->GetKey(&key));
      if (auto registry = GetHostService<IpwProjectNodeRegistry>(manager, project::kNodeRegistryService)) {
        ComPtr<IpwProjectNode> node;
        if (Succeeded(registry->GetNodeByKey(key, node.Put())) && node) {
          if (auto found = project::FindParentProject(node.Get())) return found;
        }
      }
    }
  }
  return project::GetCurrentProject(manager);
}

ComPtr<IUnknown> GetRuntimeObject(IcvBaseManager* manager, WideStringView name, const GUID& projectKey) {
  auto service = GetHostService<IpwRuntimeObjectService>(manager, kRuntimeObjectService);
  if (!service) return nullptr;
  ComPtr<IUnknown> object;
  BString text(name);
  if (Failed(service->GetRuntimeObject(text.Get(), projectKey, object.Put()))) return nullptr;
  return object;
}

void FindNodeMapping(IcvBaseManager* manager, IpwSysNode* node, ComPtr<IpwNameMappingRepositoryItem>& item,
                     ComPtr<IpwLogicalNameMappingItem>& alias) {
  item = nullptr;
  alias = nullptr;
  if (!node) return;
  auto project = GetMappingProject(manager);
  if (!project) return;
  auto object = GetRuntimeObject(manager, kNameMappingObjectName, project::GetProjectKey(project.Get()));
  auto repository = QueryAs<IpwNameMappingRepositoryItem>(object.Get());
  if (!repository) return;
  ComPtr<IpwNameMappingIndex> index;
  SafeCallCheck(repository->GetMappingIndex(index.Put()));
  if (index) SafeCallCheck(index->FindNode(node, item.Put(), alias.Put()));
}

bool ReadProperty(IUnknown* object, WideStringView name, OleVariant& value) {
  value.Clear();
  if (!object) return false;
  OleVariant raw;
  bool read = false;
  if (auto reader = QueryAs<IpwNodePropertyReader>(object)) {
    auto timeout = QueryAs<IpwWaitTimeoutValue>(object);
    std::int32_t saved = 0;
    if (timeout) {
      SafeCallCheck(timeout->GetValue(&saved));
      SafeCallCheck(timeout->SetValue(0));
    }
    struct Restore {
      IpwWaitTimeoutValue* t;
      std::int32_t v;
      ~Restore() {
        if (t) t->SetValue(v);
      }
    } restore{timeout.Get(), saved};
    BString text(name);
    VARIANT_BOOL answered = VARIANT_FALSE;
    SafeCallCheck(reader->ReadNodeProperty(text.Get(), raw.Put(), &answered));
    read = answered != VARIANT_FALSE;
  } else if (auto dispatch = QueryAs<IDispatch>(object)) {
    // A property that cannot be read is no value (not a text telling why).
    const WideString text(name);
    const char16_t* names[] = {text.c_str()};
    DISPID id = DISPID_UNKNOWN;
    if (Succeeded(dispatch->GetIDsOfNames(GUID_NULL, names, 1, 0, &id))) {
      DISPPARAMS none{nullptr, nullptr, 0, 0};
      read = Succeeded(dispatch->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, raw.Put(), nullptr, nullptr));
    }
  }
  if (!read) return false;
  value = OleVariant(Deref(raw.Get()));
  return true;
}

bool ReadPropertyValue(IUnknown* object, WideStringView path, OleVariant& value) {
  bool dotted = false;
  auto [head, rest] = SplitPath(path, dotted);
  if (!ReadProperty(object, head, value)) return false;
  if (IsDispatchValue(value)) {
    auto d = DispatchOf(value);
    if (!d) return false;
    if (dotted) return ReadPropertyValue(d.Get(), rest, value);
    value = GetDispValue(d.Get());
    return true;
  }
  return !dotted;
}

TValuesArray ReadPropertyValues(IUnknown* object, const TNamesArray& paths) {
  TValuesArray values(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i)
    if (!ReadPropertyValue(object, paths[i], values[i])) values[i].Clear();
  return values;
}

namespace {

enum class ValueKind { Empty, Null, Bool, Number, Text, Other };

ValueKind KindOf(const VARIANT& v) {
  switch (v.vt) {
    case VT_EMPTY: return ValueKind::Empty;
    case VT_NULL: return ValueKind::Null;
    case VT_BOOL: return ValueKind::Bool;
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE: return ValueKind::Number;
    case VT_BSTR: return ValueKind::Text;
    default: return ValueKind::Other;
  }
}

}  // namespace

bool ValuesEqual(const OleVariant& a, const OleVariant& b) {
  try {
    const VARIANT& x = Deref(a.Get());
    const VARIANT& y = Deref(b.Get());
    const ValueKind kx = KindOf(x), ky = KindOf(y);
    if (kx == ValueKind::Other || ky == ValueKind::Other) return false;
    if (kx == ValueKind::Empty || kx == ValueKind::Null || ky == ValueKind::Empty || ky == ValueKind::Null)
      return kx == ky;
    if (kx == ValueKind::Bool && ky == ValueKind::Bool) return (x.boolVal != 0) == (y.boolVal != 0);
    if (kx == ValueKind::Text && ky == ValueKind::Text)
      return SameTextIgnoringCase(BstrView(x.bstrVal), BstrView(y.bstrVal));
    if (kx == ValueKind::Text || ky == ValueKind::Text) {
      // A text against a number or a Boolean: the other value as text.
      const WideString tx = OleVariant(x).AsString(), ty = OleVariant(y).AsString();
      return SameTextIgnoringCase(tx, ty);
    }
    return OleVariant(x).AsDouble() == OleVariant(y).AsDouble();
  } catch (...) {
    return false;
  }
}

bool AddUniqueName(const WideString& name, TNamesArray& names) {
  for (const auto& n : names)
    if (SameTextIgnoringCase(n, name)) return false;
  names.push_back(name);
  return true;
}

void AppendVariantNames(const OleVariant& value, TNamesArray& names) {
  const VARIANT& v = Deref(value.Get());
  if (v.vt == VT_BSTR) {
    names.emplace_back(BstrView(v.bstrVal));
    return;
  }
  if (v.vt != (VT_ARRAY | VT_VARIANT) || !v.parray) return;
  std::int32_t low = 0, high = -1;
  if (Failed(SafeArrayGetLBound(v.parray, 1, &low)) || Failed(SafeArrayGetUBound(v.parray, 1, &high))) return;
  for (std::int32_t i = low; i <= high; ++i) {
    OleVariant element;
    if (Failed(SafeArrayGetElement(v.parray, &i, element.Put()))) continue;
    names.push_back(element.AsString());
  }
}

// ---- Tree helpers ---------------------------------------------------------------------------------

std::int32_t GetNodeDepth(IpwSysNode* root, IpwSysNode* node) {
  if (!node) return INT32_MAX;
  const GUID rootKey = GetNodeKey(root);
  std::int32_t steps = 0;
  for (auto at = GetParentNode(node); at; at = GetParentNode(at.Get())) {
    ++steps;
    if (GetNodeKey(at.Get()) == rootKey) return steps;
  }
  return steps + 2;
}

ComPtr<IpwSysNode> FindCommonAncestor(IpwSysNode* a, IpwSysNode* b) {
  if (!a || !b) return nullptr;
  std::unordered_set<GUID> above;
  for (auto at = GetParentNode(a); at; at = GetParentNode(at.Get())) above.insert(GetNodeKey(at.Get()));
  for (auto at = GetParentNode(b); at; at = GetParentNode(at.Get()))
    if (above.contains(GetNodeKey(at.Get()))) return at;
  return nullptr;
}

ComPtr<IpwSysNode> GetChildTowards(IpwSysNode* ancestor, IpwSysNode* node) {
  if (!ancestor || !node) return nullptr;
  const GUID key = GetNodeKey(ancestor);
  ComPtr<IpwSysNode> at(node);
  while (at) {
    auto parent = GetParentNode(at.Get());
    if (!parent) return nullptr;
    if (GetNodeKey(parent.Get()) == key) return at;
    at = parent;
  }
  return nullptr;
}

namespace {

// Whether Ancestor lies strictly above Node.
bool IsStrictlyAbove(IpwSysNode* ancestor, IpwSysNode* node) {
  const GUID key = GetNodeKey(ancestor);
  for (auto at = GetParentNode(node); at; at = GetParentNode(at.Get()))
    if (GetNodeKey(at.Get()) == key) return true;
  return false;
}

bool AskCancel(IpwMapProgressHandler* progress) {
  if (!progress) return false;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  SafeCallCheck(progress->CheckCancel(&cancel));
  return cancel != VARIANT_FALSE;
}

class TpwFindCollisionVisitor final : public Implements<ComObject, IpwSysNodeVisitor> {
 public:
  explicit TpwFindCollisionVisitor(IpwMapProgressHandler* progress) : progress_(progress) {}

  HRESULT Visit(IpwSysNode* item, std::uint8_t* raw, VARIANT_BOOL* stop) override {
    return SafeCall([&] {
      auto& data = *reinterpret_cast<TNodeVisitorData*>(raw);
      if (!item) return;
      if (AskCancel(progress_.Get())) {
        data.Cancelled = true;
        if (stop) *stop = VARIANT_TRUE;
        return;
      }
      if (GetNodeKey(item) == data.Key) return;
      for (std::size_t i = 0; i < data.WorkPaths.size(); ++i) {
        OleVariant value;
        if (!ReadPropertyValue(item, data.WorkPaths[i], value)) return;
        if (i >= data.WorkValues.size() || !ValuesEqual(data.WorkValues[i], value)) return;
      }
      for (std::size_t j = 0; j < data.WorkExtraPaths.size(); ++j) {
        OleVariant own, theirs;
        if (!ReadPropertyValue(data.Node.Get(), data.WorkExtraPaths[j], own)) continue;
        if (ReadPropertyValue(item, data.WorkExtraPaths[j], theirs) && ValuesEqual(own, theirs)) continue;
        // This property tells them apart: the identification takes it.
        bool added = AddUniqueName(data.WorkExtraPaths[j], data.WorkPaths);
        if (j < data.WorkExtraNames.size()) AddUniqueName(data.WorkExtraNames[j], data.WorkNames);
        if (added) data.WorkValues.push_back(own);
        data.WorkExtraPaths.erase(data.WorkExtraPaths.begin() + static_cast<std::ptrdiff_t>(j));
        if (j < data.WorkExtraNames.size())
          data.WorkExtraNames.erase(data.WorkExtraNames.begin() + static_cast<std::ptrdiff_t>(j));
        return;
      }
      data.Found = ComPtr<IpwSysNode>(item);
      if (stop) *stop = VARIANT_TRUE;
    });
  }

 private:
  ComPtr<IpwMapProgressHandler> progress_;
};

ComPtr<IpwIdentificationProvider> ProviderOf(IpwSysNode* node) {
  auto services = QueryAs<IpwSysNodeServices>(node);
  if (!services) return nullptr;
  ComPtr<IUnknown> object;
  if (Failed(services->GetNodeService(IpwIdentificationProvider::iid, object.Put())) || !object) return nullptr;
  return QueryAs<IpwIdentificationProvider>(object.Get());
}

TNamesArray NamesOf(HRESULT (IpwNameMappingTemplateNodeType::*get)(VARIANT*), IpwNameMappingTemplateNodeType* t) {
  OleVariant value;
  SafeCallCheck((t->*get)(value.Put()));
  TNamesArray names;
  AppendVariantNames(value, names);
  return names;
}

}  // namespace

ComPtr<IpwSysNodeVisitor> MakeFindCollisionVisitor(IpwMapProgressHandler* progress) {
  return MakeObject<TpwFindCollisionVisitor>(progress);
}

// ---- The chain build -------------------------------------------------------------------------------

TpwMapChainBuild::TpwMapChainBuild(IcvBaseManager* manager, IpwMapProgressHandler* progress)
    : manager_(manager), progress_(progress) {
  sysManager_ = GetHostService<IpwSysManager>(manager, kSysManagerService);
  visitor_ = MakeFindCollisionVisitor(progress);
  OleVariant setting = GetSettingOleValue(manager, kIdentificationProviderSetting);
  useProviders_ = setting.Type() == VT_BOOL && setting.Get().boolVal != VARIANT_FALSE;
}

void TpwMapChainBuild::CheckMapCancel() {
  if (AskCancel(progress_.Get())) throw ECancelMapProgress();
}

std::vector<ComPtr<IpwNameMappingTemplateNodeType>> TpwMapChainBuild::FindMatchingTemplates(IpwSysNode* current) {
  std::vector<ComPtr<IpwNameMappingTemplateNodeType>> matching;
  ComPtr<IUnknown> answer;
  if (Failed(manager_->GetService(kNameMappingTemplatesService, answer.Put())) || !answer) return matching;
  auto templates = QueryAs<IpwNameMappingTemplates>(answer.Get());
  if (!templates) return matching;
  std::int32_t count = 0;
  SafeCallCheck(templates->GetCount(&count));
  for (std::int32_t i = 0; i < count; ++i) {
    ComPtr<IpwNameMappingTemplateNodeType> t;
    SafeCallCheck(templates->GetTemplate(i, t.Put()));
    if (!t) continue;
    if (MatchIdentificationRegExpr(current, NamesOf(&IpwNameMappingTemplateNodeType::GetConditionPaths, t.Get()),
                                   NamesOf(&IpwNameMappingTemplateNodeType::GetConditionExpressions, t.Get()),
                                   NamesOf(&IpwNameMappingTemplateNodeType::GetIdentificationNames, t.Get())))
      matching.push_back(t);
  }
  return matching;
}

bool TpwMapChainBuild::GatherIdentification(IpwSysNode* current, TNodeVisitorData& data) {
  data.Key = GetNodeKey(current);
  data.Node = ComPtr<IpwSysNode>(current);
  bool search = false;
  try {
    auto templates = FindMatchingTemplates(current);
    auto templateNames = [&] {
      return NamesOf(&IpwNameMappingTemplateNodeType::GetIdentificationNames, templates.front().Get());
    };
    ComPtr<IpwIdentificationProvider> provider = useProviders_ ? ProviderOf(current) : nullptr;
    bool done = false;
    if (provider) {
      data.PropertyNames.clear();
      data.PropertyPaths.clear();
      data.ExtraNames.clear();
      data.ExtraPaths.clear();
      OleVariant names;
      SafeCallCheck(provider->GetIdentificationNames(names.Put()));
      AppendVariantNames(names, data.PropertyPaths);
      data.PropertyNames = data.PropertyPaths;
      if (!data.PropertyNames.empty()) {
        if (!templates.empty()) {
          data.ExtraPaths = data.PropertyPaths;
          data.ExtraNames = data.PropertyPaths;
          data.PropertyPaths = templateNames();
          data.PropertyNames = data.PropertyPaths;
        }
        VARIANT_BOOL collisions = VARIANT_FALSE;
        SafeCallCheck(provider->GetSearchCollisions(&collisions));
        search = collisions != VARIANT_FALSE;
        OleVariant extra;
        SafeCallCheck(provider->GetExtraNames(extra.Put()));
        TNamesArray extraNames;
        AppendVariantNames(extra, extraNames);
        data.ExtraPaths.insert(data.ExtraPaths.end(), extraNames.begin(), extraNames.end());
        data.ExtraNames.insert(data.ExtraNames.end(), extraNames.begin(), extraNames.end());
        done = true;
      }
    }
    if (!done && !templates.empty()) {
      data.PropertyPaths = templateNames();
      data.PropertyNames = data.PropertyPaths;
    } else if (!done) {
      if (auto own = QueryAs<IpwNodeIdentification>(current)) {
        std::int32_t count = 0;
        SafeCallCheck(own->GetPropertyCount(&count));
        for (std::int32_t i = 0; i < count; ++i) {
          BString name, path;
          SafeCallCheck(own->GetPropertyName(i, name.Put()));
          SafeCallCheck(own->GetPropertyPath(i, path.Put()));
          data.PropertyNames.emplace_back(name.View());
          data.PropertyPaths.emplace_back(path.View());
        }
      }
    }
  } catch (...) {
    if (search) data.Values = ReadPropertyValues(current, data.PropertyPaths);
    throw;
  }
  if (search) data.Values = ReadPropertyValues(current, data.PropertyPaths);
  return search;
}

ComPtr<IpwSysNode> TpwMapChainBuild::FindSearchRoot(IpwSysNode* current) {
  for (auto at = GetParentNode(current); at; at = GetParentNode(at.Get())) {
    if (useProviders_) {
      if (auto provider = ProviderOf(at.Get())) {
        VARIANT_BOOL root = VARIANT_FALSE;
        SafeCallCheck(provider->GetIsSearchRoot(&root));
        if (root) return at;
      }
    }
    ComPtr<IpwNameMappingRepositoryItem> item;
    ComPtr<IpwLogicalNameMappingItem> alias;
    FindNodeMapping(manager_.Get(), at.Get(), item, alias);
    if (item) return at;
  }
  return nullptr;
}

bool TpwMapChainBuild::BuildMapLevel(IpwSysNode* current, TpwNodeMapInfo& info, ComPtr<IpwSysNode>& next) {
  info = TpwNodeMapInfo{};
  next = nullptr;
  if (!current) return false;
  CheckMapCancel();
  info.Node = ComPtr<IpwSysNode>(current);
  FindNodeMapping(manager_.Get(), current, info.Item, info.Alias);
  info.Mapped = static_cast<bool>(info.Item);
  if (info.Mapped) return true;

  auto parent = GetParentNode(current);
  TNodeVisitorData data;
  info.UnderSearchRoot = GatherIdentification(current, data);
  next = parent;
  info.PropertyNames = data.PropertyNames;
  info.PropertyPaths = data.PropertyPaths;
  MakeUniqueItemName(current, nullptr, info.Name);
  if (!info.UnderSearchRoot) return true;

  auto root = FindSearchRoot(current);
  if (!root || !sysManager_) {
    info.UnderSearchRoot = false;
    return true;
  }
  data.Cancelled = false;
  const GUID parentKey = GetNodeKey(parent.Get());
  for (;;) {
    data.Found = nullptr;
    data.WorkNames = data.PropertyNames;
    data.WorkPaths = data.PropertyPaths;
    data.WorkExtraNames = data.ExtraNames;
    data.WorkExtraPaths = data.ExtraPaths;
    data.WorkValues = data.Values;
    const std::int32_t depth = GetNodeDepth(root.Get(), previousSearched_.Get());
    SafeCallCheck(
        sysManager_->VisitNodes(root.Get(), visitor_.Get(), reinterpret_cast<std::uint8_t*>(&data), 0, depth, 0));
    if (data.Cancelled) throw ECancelMapProgress();
    if (!data.Found) break;
    auto common = FindCommonAncestor(current, data.Found.Get());
    if (!common || GetNodeKey(common.Get()) == parentKey) {
      info.UnderSearchRoot = false;
      break;
    }
    auto below = GetChildTowards(common.Get(), parent.Get());
    // The next root must lie strictly below this one; otherwise the search would repeat itself.
    if (!below || !IsStrictlyAbove(root.Get(), below.Get())) {
      ++stuckRoots_;
      info.UnderSearchRoot = false;
      break;
    }
    root = below;
    CheckMapCancel();
  }
  info.PropertyPaths = data.WorkPaths;
  info.PropertyNames = data.WorkNames;
  if (info.UnderSearchRoot) {
    next = root;
  }
  previousSearched_ = ComPtr<IpwSysNode>(current);
  return true;
}

// ---- The two operations of the picking -------------------------------------------------------------

bool BuildNodeMapChain(IcvBaseManager* manager, IpwSysNode* node, TpwNodeMapInfoArray& chain,
                       IpwMapProgressHandler* progress) {
  chain.clear();
  bool result = true;
  try {
    TpwMapChainBuild build(manager, progress);
    ComPtr<IpwSysNode> current(node);
    int count = 0;
    for (;;) {
      TpwNodeMapInfo info;
      ComPtr<IpwSysNode> next;
      if (!build.BuildMapLevel(current.Get(), info, next)) break;
      if (info.Mapped && count == 0) {
        chain.clear();
        return false;
      }
      const bool mapped = info.Mapped;
      chain.push_back(std::move(info));
      if (mapped) break;
      ++count;
      current = next;
    }
  } catch (const ECancelMapProgress&) {
    chain.clear();
    result = false;
  } catch (...) {
    if (progress) progress->EndProgress();
    throw;
  }
  if (progress) SafeCallCheck(progress->EndProgress());
  return result;
}

namespace {

bool ChildNameTaken(IpwNameMappingRepositoryItem* parent, const WideString& name) {
  std::int32_t index = -1;
  BString text(name);
  SafeCallCheck(parent->FindChildIndex(text.Get(), &index));
  return index != -1;
}

bool AliasNameTaken(IpwLogicalNameMappingItem* parent, const WideString& name) {
  std::int32_t index = -1;
  BString text(name);
  SafeCallCheck(parent->FindChildIndex(text.Get(), &index));
  return index != -1;
}

}  // namespace

bool MapNodeChain(IcvBaseManager* /*manager*/, IpwNameMappingRepositoryItem* repository,
                  IpwLogicalNameMappingItem* aliases, TpwNodeMapInfoArray& chain) {
  if (!repository) return false;
  ComPtr<IpwNameMappingRepositoryItem> root;
  SafeCallCheck(repository->GetRoot(root.Put()));
  if (!root) return false;
  VARIANT_BOOL begun = VARIANT_FALSE;
  SafeCallCheck(root->BeginUpdate(&begun));
  if (!begun) return false;
  struct EndUpdate {
    IpwNameMappingRepositoryItem* root;
    ~EndUpdate() { root->EndUpdate(); }
  } endUpdate{root.Get()};

  ComPtr<IpwNameMappingRepositoryItem> parentItem;
  ComPtr<IpwLogicalNameMappingItem> aliasParent;
  for (auto level = chain.rbegin(); level != chain.rend(); ++level) {
    if (level->Mapped) {
      parentItem = level->Item;
      aliasParent = level->Alias;
      if (!level->Alias && !GetParentNode(level->Node.Get())) aliasParent = ComPtr<IpwLogicalNameMappingItem>(aliases);
      continue;
    }
    if (!parentItem) {
      parentItem = ComPtr<IpwNameMappingRepositoryItem>(repository);
      aliasParent = ComPtr<IpwLogicalNameMappingItem>(aliases);
    }
    const WideString name =
        MakeUniqueName(level->Name, [&](const WideString& n) { return ChildNameTaken(parentItem.Get(), n); });
    ComPtr<IpwNameMappingRepositoryItem> item;
    SafeCallCheck(parentItem->AddChild(BString(name).Get(), item.Put()));
    if (!item) return false;
    SafeCallCheck(item->SetUnderSearchRoot(level->UnderSearchRoot ? VARIANT_TRUE : VARIANT_FALSE));
    ComPtr<IpwIdentificationProperties> properties;
    SafeCallCheck(item->GetIdentification(properties.Put()));
    if (!properties) return false;
    for (std::size_t j = 0; j < level->PropertyNames.size(); ++j) {
      OleVariant value;
      if (j < level->PropertyPaths.size() && !ReadPropertyValue(level->Node.Get(), level->PropertyPaths[j], value))
        value.Clear();
      SafeCallCheck(properties->AddProperty(BString(level->PropertyNames[j]).Get(), VARIANT_FALSE, value.Get()));
    }
    level->Mapped = true;
    level->Name = name;
    level->Item = item;
    ComPtr<IpwTypeInfoRecorder> recorder;
    SafeCallCheck(item->GetTypeRecorder(recorder.Put()));
    if (recorder && QueryAs<IDispatch>(level->Node.Get())) WalkDispatchTypeInfos(recorder.Get(), level->Node.Get());
    parentItem = item;
    if (!GetParentNode(level->Node.Get())) continue;
    if (aliasParent) {
      const WideString aliasName =
          MakeUniqueName(name, [&](const WideString& n) { return AliasNameTaken(aliasParent.Get(), n); });
      ComPtr<IpwLogicalNameMappingItem> alias;
      SafeCallCheck(aliasParent->AddAlias(BString(aliasName).Get(), item.Get(), alias.Put()));
      level->Alias = alias;
      aliasParent = alias;
    } else {
      level->Alias = nullptr;
    }
  }
  return true;
}

}  // namespace pw
