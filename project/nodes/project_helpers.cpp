#include "project/nodes/project_helpers.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <set>

#include "core/files/file_utils.h"
#include "core/host/host_services.h"
#include "core/host/node_names.h"
#include "platform/automation/bstr.h"
#include "platform/automation/variant.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"

namespace pw::project {

ComPtr<IcvMessenger> GetMessenger(IcvBaseManager* manager) {
  return GetHostService<IcvMessenger>(manager, kMessengerService);
}
ComPtr<IpwProjectNodeRegistry> GetNodeRegistry(IcvBaseManager* manager) {
  return GetHostService<IpwProjectNodeRegistry>(manager, kNodeRegistryService);
}
ComPtr<IpwObjectBroker> GetObjectBroker(IcvBaseManager* manager) {
  return GetHostService<IpwObjectBroker>(manager, kObjectBrokerService);
}
ComPtr<IpwHostState> GetHostState(IcvBaseManager* manager) {
  return GetHostService<IpwHostState>(manager, kHostStateService);
}
ComPtr<IpwDialogService> GetDialogService(IcvBaseManager* manager) {
  if (!manager) return nullptr;
  ComPtr<IUnknown> answer;
  if (Failed(manager->GetService(kDialogService, answer.Put())) || !answer) return nullptr;
  return CastHostObject<IpwDialogService>(answer.Get());
}

namespace {
ComPtr<IcvMessenger> RequireMessenger(IcvBaseManager* manager) {
  auto messenger = GetMessenger(manager);
  if (!messenger) throw EOleSysError(u"The host has no messenger.", E_NOINTERFACE);
  return messenger;
}
}  // namespace

void ShowProjectError(IcvBaseManager* manager, WideStringView text, std::int32_t helpContext) {
  SafeCallCheck(RequireMessenger(manager)->ShowError(BString(text).Get(), helpContext, 0));
}

bool ConfirmProject(IcvBaseManager* manager, WideStringView text, std::int32_t helpContext) {
  VARIANT_BOOL yes = VARIANT_FALSE;
  SafeCallCheck(RequireMessenger(manager)->Confirm(BString(text).Get(), helpContext, 0, 0, &yes));
  return yes != VARIANT_FALSE;
}

std::int32_t AskCorrection(IcvBaseManager* manager, WideStringView text) {
  std::int32_t answer = 0;
  SafeCallCheck(RequireMessenger(manager)->Ask(BString(text).Get(), 2, 3, 1, 0, 0, &answer));
  return answer;
}

bool IsHostInteractive(IcvBaseManager* manager) {
  auto state = GetHostState(manager);
  if (!state) return false;
  GUID answer{};
  SafeCallCheck(state->GetState(kHostModeQuestion, &answer));
  return answer == kHostModeInteractive;
}

GUID NodeKey(IpwProjectNode* node) {
  GUID key{};
  SafeCallCheck(node->GetKey(&key));
  return key;
}
GUID NodeTypeKey(IpwProjectNode* node) {
  GUID key{};
  SafeCallCheck(node->GetTypeKey(&key));
  return key;
}
WideString NodeName(IpwProjectNode* node) {
  BString name;
  SafeCallCheck(node->GetName(name.Put()));
  return name.Str();
}
ComPtr<IpwProjectNode> NodeParent(IpwProjectNode* node) {
  ComPtr<IpwProjectNode> parent;
  SafeCallCheck(node->GetParent(parent.Put()));
  return parent;
}
GUID NodeInstanceKey(IUnknown* node) {
  GUID key{};
  if (!node) return key;
  ComPtr<IpwProjectContextItem> item;
  if (Succeeded(node->QueryInterface(IpwProjectContextItem::iid, item.PutVoid())) && item)
    SafeCallCheck(item->GetInstanceKey(&key));
  return key;
}

bool ForEachChild(IpwProjectNode* parent, const std::function<bool(IpwProjectNode*)>& f) {
  if (!parent) return true;
  ComPtr<IpwProjectNodeIterator> children;
  SafeCallCheck(parent->GetChildren(children.Put()));
  if (!children) return true;
  while (children->HasNext()) {
    ComPtr<IpwProjectNode> child;
    children->Next(child.Put());
    if (child && !f(child.Get())) return false;
  }
  return true;
}

namespace {
ComPtr<IpwProjectNode> WalkToProject(ComPtr<IpwProjectNode> node) {
  while (node) {
    if (NodeTypeKey(node.Get()) == kProjectTypeKey) return node;
    node = NodeParent(node.Get());
  }
  return nullptr;
}
}  // namespace

ComPtr<IpwProjectNode> GetCurrentProject(IcvBaseManager* manager) {
  auto registry = GetNodeRegistry(manager);
  if (!registry) return nullptr;
  ComPtr<IpwProjectNode> current;
  SafeCallCheck(registry->GetCurrentNode(current.Put()));
  if (auto project = WalkToProject(current)) return project;
  ComPtr<IpwProjectNode> project;
  SafeCallCheck(registry->GetDefaultProject(project.Put()));
  return project;
}

ComPtr<IpwProjectNode> FindParentProject(IpwProjectNode* node) { return WalkToProject(ComPtr<IpwProjectNode>(node)); }

GUID GetProjectKey(IpwProjectNode* node) {
  auto project = FindParentProject(node);
  return project ? NodeKey(project.Get()) : GUID_NULL;
}

GUID GetProjectLanguage(IpwProjectNode* node, IcvBaseManager* manager) {
  if (node) {
    if (auto project = FindParentProject(node)) {
      ComPtr<IpwProject> intf;
      if (Succeeded(project->QueryInterface(IpwProject::iid, intf.PutVoid())) && intf) {
        GUID key{};
        SafeCallCheck(intf->GetLanguageKey(&key));
        return key;
      }
    }
  }
  return GetCurrentLanguageKey(manager);
}

ComPtr<IpwProjectNode> FindChildNodeByName(IpwProjectNode* parent, WideStringView name) {
  if (!parent) return nullptr;
  ComPtr<IpwChildNameLookup> lookup;
  if (Succeeded(parent->QueryInterface(IpwChildNameLookup::iid, lookup.PutVoid())) && lookup) {
    ComPtr<IpwProjectNode> found;
    HRESULT hr = lookup->FindChildByName(name.data(), name.size(), found.Put());
    if (hr != E_NOTIMPL) {
      SafeCallCheck(hr);
      return found;
    }
  }
  ComPtr<IpwProjectNodeIterator> children;
  SafeCallCheck(parent->GetChildren(children.Put()));
  if (!children) return nullptr;
  BString childName;
  while (children->HasNext()) {
    ComPtr<IpwProjectNode> child;
    children->Next(child.Put());
    if (!child) continue;
    SafeCallCheck(child->GetName(childName.Put()));
    if (SameTextIgnoringCase(childName.View(), name)) return child;
  }
  return nullptr;
}

ComPtr<IpwProjectNode> FindChildByType(IpwProjectNode* parent, const GUID& typeKey) {
  ComPtr<IpwProjectNode> found;
  ForEachChild(parent, [&](IpwProjectNode* child) {
    if (NodeTypeKey(child) != typeKey) return true;
    found = child;
    return false;
  });
  return found;
}

bool HasChildOfType(IpwProjectNode* parent, const GUID& typeKey) { return FindChildByType(parent, typeKey) != nullptr; }

bool HasChildWithInstance(IpwProjectNode* parent, IpwProjectNode* node) {
  GUID instance = NodeInstanceKey(node);
  return !ForEachChild(parent, [&](IpwProjectNode* child) { return NodeInstanceKey(child) != instance; });
}

namespace {
bool SameFile(WideStringView a, WideStringView b) {
  if (a == b) return true;
  struct stat sa {
  }, sb{};
  if (::stat(WideToUtf8(a).c_str(), &sa) != 0 || ::stat(WideToUtf8(b).c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

WideString AttributeText(IpwProjectNode* node, std::int32_t id) {
  OleVariant value;
  if (Failed(node->GetAttribute(id, value.Put()))) return {};
  if (value.IsEmpty() || value.IsNull()) return {};
  return value.AsString();
}

ComPtr<IpwProjectNode> FindByFile(IpwProjectNode* node, WideStringView fileName) {
  WideString own = AttributeText(node, 0);
  if (!own.empty() && SameFile(own, fileName)) return ComPtr<IpwProjectNode>(node);
  ComPtr<IpwProjectNode> found;
  ForEachChild(node, [&](IpwProjectNode* child) {
    found = FindByFile(child, fileName);
    return !found;
  });
  return found;
}
}  // namespace

ComPtr<IpwProjectNode> FindNodeByFileName(IcvBaseManager* manager, WideStringView fileName, IpwProjectNode* root) {
  ComPtr<IpwProjectNode> start(root);
  if (!start) {
    auto registry = GetNodeRegistry(manager);
    if (!registry) return nullptr;
    VARIANT_BOOL open = VARIANT_FALSE;
    SafeCallCheck(registry->IsSuiteOpen(&open));
    if (!open) return nullptr;
    SafeCallCheck(registry->GetSuiteRoot(start.Put()));
    if (!start) return nullptr;
  }
  return FindByFile(start.Get(), fileName);
}

WideString GetNodePath(IpwProjectNode* node, IpwProjectNode* upTo) {
  WideString path = NodeName(node);
  GUID stop = upTo ? NodeInstanceKey(upTo) : GUID_NULL;
  if (upTo && NodeInstanceKey(node) == stop) return path;
  for (auto p = NodeParent(node); p; p = NodeParent(p.Get())) {
    path = NodeName(p.Get()) + kPathDelimiter + path;
    if (upTo && NodeInstanceKey(p.Get()) == stop) break;
  }
  return path;
}

WideString GetNodeDisplayPath(IpwProjectNode* node) {
  WideString text = NodeName(node);
  for (auto p = NodeParent(node); p; p = NodeParent(p.Get())) text = NodeName(p.Get()) + u" | " + text;
  return text;
}

namespace {
ComPtr<IpwPersistentProjectNode> AsPersistent(IpwProjectNode* node) {
  ComPtr<IpwPersistentProjectNode> p;
  if (node && Succeeded(node->QueryInterface(IpwPersistentProjectNode::iid, p.PutVoid()))) return p;
  return nullptr;
}
}  // namespace

ComPtr<IpwPersistentProjectNode> GetParentPersistentNode(IpwProjectNode* node) {
  for (auto p = NodeParent(node); p; p = NodeParent(p.Get()))
    if (auto persistent = AsPersistent(p.Get())) return persistent;
  return nullptr;
}

WideString GetStorageFileName(IpwProjectNode* node) {
  if (!node) return {};
  if (AsPersistent(node)) return AttributeText(node, 0);
  auto parent = GetParentPersistentNode(node);
  return parent ? AttributeText(parent.Get(), 0) : WideString();
}

bool IsNodeModified(IpwProjectNode* node) {
  if (auto persistent = AsPersistent(node)) {
    VARIANT_BOOL modified = VARIANT_FALSE;
    SafeCallCheck(persistent->GetModified(&modified));
    if (modified) return true;
  }
  return !ForEachChild(node, [](IpwProjectNode* child) { return !IsNodeModified(child); });
}

namespace {
void CollectKeys(IpwProjectNode* node, std::map<GUID, std::vector<ComPtr<IpwProjectNode>>>& keys,
                 std::vector<GUID>& order) {
  GUID key = NodeKey(node);
  auto& list = keys[key];
  if (list.empty()) order.push_back(key);
  list.emplace_back(node);
  ForEachChild(node, [&](IpwProjectNode* child) {
    CollectKeys(child, keys, order);
    return true;
  });
}
}  // namespace

bool CheckDuplicateKeys(IcvBaseManager* manager, IpwProjectNode* root) {
  std::map<GUID, std::vector<ComPtr<IpwProjectNode>>> keys;
  std::vector<GUID> order;
  if (root) CollectKeys(root, keys, order);
  WideString report;
  for (const GUID& key : order) {
    const auto& list = keys[key];
    if (list.size() < 2) continue;
    if (!report.empty()) report += u"----------------\r\n\r\n";
    report += AsciiToWide(GuidToString(key)) + WideString(kCrLf);
    for (const auto& node : list) report += GetNodeDisplayPath(node.Get()) + WideString(kCrLf);
  }
  if (WideTrim(report).empty()) return true;
  ShowProjectError(manager,
                   WideFormat(u"The following project elements have the same "
                              u"keys:\r\n\r\n%s\r\n\r\nThe project suite "
                              u"(or project) cannot be opened.",
                              {report}),
                   4165);
  return false;
}

bool CanAddExistingNode(IcvBaseManager* manager, IpwProjectNode* root) {
  if (!CheckDuplicateKeys(manager, root)) return false;
  std::map<GUID, std::vector<ComPtr<IpwProjectNode>>> added, suite;
  std::vector<GUID> addedOrder, suiteOrder;
  if (root) CollectKeys(root, added, addedOrder);
  auto registry = GetNodeRegistry(manager);
  VARIANT_BOOL open = VARIANT_FALSE;
  if (registry) SafeCallCheck(registry->IsSuiteOpen(&open));
  if (open) {
    ComPtr<IpwProjectNode> suiteRoot;
    SafeCallCheck(registry->GetSuiteRoot(suiteRoot.Put()));
    if (suiteRoot) CollectKeys(suiteRoot.Get(), suite, suiteOrder);
  }
  return std::none_of(addedOrder.begin(), addedOrder.end(), [&](const GUID& k) { return suite.contains(k); });
}

bool CorrectFileName(WideStringView name, WideString& corrected) {
  corrected.clear();
  if (name.empty()) return false;
  corrected = WideString(name);
  bool valid = true;
  auto replace = [&](std::size_t i, WideStringView set) {
    char16_t c = corrected[i];
    if (c < 32 || c > 127) return;
    if (set.find(c) != WideStringView::npos) {
      corrected[i] = u'_';
      valid = false;
    }
  };
  replace(0, u" \"*./:<>?\\|");
  if (corrected.size() == 2) {
    replace(1, u"\"*./:<>?\\|");
  } else {
    for (std::size_t i = 1; i < corrected.size(); ++i) replace(i, u"\"*/:<>?\\|");
  }
  return valid;
}

namespace {
bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
bool IsAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
}  // namespace

bool CorrectIdentifier(WideStringView name, const GUID& languageKey, WideString& corrected) {
  corrected.clear();
  if (name.empty()) return false;
  corrected = WideString(name);
  bool valid = true;
  bool letterFirst = languageKey == kLetterFirstLanguageKey;
  char16_t first = corrected[0];
  if (!IsAsciiLetter(first) && (letterFirst || first != u'_')) {
    corrected[0] = letterFirst ? u'A' : u'_';
    valid = false;
  }
  for (std::size_t i = 1; i < corrected.size(); ++i) {
    char16_t c = corrected[i];
    if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != u'_') {
      corrected[i] = u'_';
      valid = false;
    }
  }
  return valid;
}

bool IsValidItemIdent(WideStringView name) {
  if (name.empty() || name[0] == u'_' || !IsAsciiLetter(name[0])) return false;
  return std::all_of(name.begin() + 1, name.end(),
                     [](char16_t c) { return IsAsciiLetter(c) || IsAsciiDigit(c) || c == u'_'; });
}

WideString GetHostVersionText(IcvBaseManager* manager) {
  if (!manager) return {};
  ComPtr<IpwHostInformation> info;
  SafeCallCheck(manager->GetInformation(info.Put()));
  if (!info) return {};
  std::int32_t major = 0;
  SafeCallCheck(info->GetMajorVersion(&major));
  if (major < 4) return {};
  return IntToWide(major) + u".0";
}

ComPtr<IpwProjectNodeInfo> GetNodeInfo(IcvBaseManager* manager, const GUID& typeKey) {
  auto registry = GetNodeRegistry(manager);
  if (!registry) return nullptr;
  ComPtr<IpwProjectNodeInfo> info;
  SafeCallCheck(registry->GetNodeInfo(typeKey, info.Put()));
  return info;
}

namespace {
OleVariant InfoProperty(IpwProjectNodeInfo* info, std::int32_t index) {
  OleVariant value;
  SafeCallCheck(info->GetProperty(index, value.Put()));
  return value;
}
}  // namespace

WideString GetNodeTypeNameByKey(IcvBaseManager* manager, const GUID& typeKey) {
  auto info = GetNodeInfo(manager, typeKey);
  return info ? InfoProperty(info.Get(), 2).AsString() : WideString();
}

WideString GetNodeTypeName(IcvBaseManager* manager, IpwProjectNode* node) {
  return node ? GetNodeTypeNameByKey(manager, NodeTypeKey(node)) : WideString();
}

WideString GetNodeTypePluginName(IcvBaseManager* manager, const GUID& typeKey) {
  auto info = GetNodeInfo(manager, typeKey);
  ComPtr<IpwProjectNodeInfoPlugin> plugin;
  if (!info || Failed(info->QueryInterface(IpwProjectNodeInfoPlugin::iid, plugin.PutVoid())) || !plugin) return {};
  BString name;
  SafeCallCheck(plugin->GetPluginName(name.Put()));
  return name.Str();
}

HBITMAP GetNodeTypeImage(IcvBaseManager* manager, const GUID& typeKey) {
  auto info = GetNodeInfo(manager, typeKey);
  return info ? InfoProperty(info.Get(), 1).AsInt() : 0;
}

bool CollectionHasNodeType(IpwProjectItemTypeProvider* list, const GUID& typeKey) {
  std::int32_t count = 0;
  SafeCallCheck(list->GetItemTypeCount(&count));
  for (std::int32_t i = 0; i < count; ++i) {
    ComPtr<IpwProjectNodeInfo> info;
    SafeCallCheck(list->GetItemTypeInfo(i, info.Put()));
    GUID key{};
    if (info && Succeeded(info->GetKey(&key)) && key == typeKey) return true;
  }
  return false;
}

std::vector<ComPtr<IpwProjectNodeInfo>> GetAllNodeInfos(IcvBaseManager* manager) {
  std::vector<ComPtr<IpwProjectNodeInfo>> result;
  auto registry = GetNodeRegistry(manager);
  if (!registry) return result;
  ComPtr<IpwNodeInfoListEnumerator> lists;
  SafeCallCheck(registry->GetNodeInfoLists(lists.Put()));
  if (!lists) return result;
  while (lists->MoveNext()) {
    ComPtr<IpwProjectItemTypeProvider> list;
    SafeCallCheck(lists->GetCurrent(list.Put()));
    if (!list) continue;
    std::int32_t count = 0;
    SafeCallCheck(list->GetItemTypeCount(&count));
    for (std::int32_t i = 0; i < count; ++i) {
      ComPtr<IpwProjectNodeInfo> info;
      SafeCallCheck(list->GetItemTypeInfo(i, info.Put()));
      if (info) result.push_back(std::move(info));
    }
  }
  return result;
}

ComPtr<IUnknown> GetRegisteredObject(IcvBaseManager* manager, const GUID& key) {
  auto registry = GetHostService<IpwProviderRegistry>(manager, kProviderRegistryService);
  if (!registry) return nullptr;
  VARIANT_BOOL registered = VARIANT_FALSE, available = VARIANT_FALSE;
  SafeCallCheck(registry->IsRegistered(key, &registered));
  if (!registered) return nullptr;
  SafeCallCheck(registry->IsAvailable(key, &available));
  if (!available) return nullptr;
  ComPtr<IUnknown> object;
  SafeCallCheck(registry->GetRegisteredObject(key, object.Put(), -1));
  return object;
}

std::vector<WideString> GetSupportedChildExtensions(IcvBaseManager* manager, IpwProjectNode* parent) {
  std::set<WideString, IgnoringCaseLess> extensions;
  GUID parentType = parent ? NodeTypeKey(parent) : GUID_NULL;
  for (const auto& info : GetAllNodeInfos(manager)) {
    ComPtr<IpwFileProjectNodeInfo> fileInfo;
    if (Failed(info->QueryInterface(IpwFileProjectNodeInfo::iid, fileInfo.PutVoid())) || !fileInfo) continue;
    GUID parentKey{}, key{};
    SafeCallCheck(info->GetParentTypeKey(&parentKey));
    SafeCallCheck(info->GetKey(&key));
    if (parentKey != parentType) continue;
    if (InfoProperty(info.Get(), 9).AsBool() && HasChildOfType(parent, key)) continue;
    BString text;
    SafeCallCheck(fileInfo->GetFileExtension(text.Put()));
    WideString all = text.Str();
    std::size_t start = 0;
    while (start <= all.size()) {
      std::size_t end = all.find_first_of(u"\r\n", start);
      if (end == WideString::npos) end = all.size();
      WideString line = WideTrim(WideStringView(all).substr(start, end - start));
      if (!line.empty()) extensions.insert(line);
      start = end + 1;
    }
  }
  return {extensions.begin(), extensions.end()};
}

}  // namespace pw::project
