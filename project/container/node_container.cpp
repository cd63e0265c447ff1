#include "project/container/node_container.h"

#include <algorithm>
#include <set>
#include <utility>

#include "core/host/host_services.h"
#include "platform/automation/out_params.h"
#include "project/actions/project_actions.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "project/nodes/node_helpers.h"
#include "project/nodes/project_helpers.h"
#include "project/nodes/small_services.h"
#include "project/nodes/thread_events.h"
#include "project/container/project_item.h"
#include "project/storage/item_files.h"
#include "project/storage/node_file_helpers.h"

namespace pw::project {

namespace {

const WideString kDuplicateKeyText =
    u"Two or more child elements of the '%s' node have the same identifier. Only one element will be created.";
const WideString kSingleInstanceText =
    u"The type of the element you are trying to add is '%s'. An element of this type already exists.\r\nThere can "
    u"be only one element of this type in the parent node.";
const WideString kInitializationError = u"Initialization error.";
const WideString kFactoryNotInstalled = u"The factory is not installed.";
const WideString kLoadTestingNotice =
    u"Cannot load data for HTTP load testing.\r\nHTTP load testing is not supported in %s. Data will be unavailable.";
const WideString kLoadTestingError = u"Load testing is not supported in %s";
const WideString kCopyQuestion = u"Unable to copy the %s item. Do you want to continue?";
const WideString kReplacedText = u"The %s node will be replaced with the Unavailable node.";
const WideString kRestoredText = u"The %s node has been restored.";
const WideString kFinalizeErrorText =
    u"An exception occurred while finalizing the %s [%s] child project node of the %s [%s] container project node : ";

// The load-testing notice is shown once per process.
std::atomic<bool> loadTestingNoticeShown{false};

ComPtr<IcvOptionsNode> SubNode(IcvOptionsNode* node, WideStringView name) {
  ComPtr<IcvOptionsNode> sub;
  SafeCallCheck(node->GetNode(name, sub.Put()));
  return sub;
}

WideString ReadString(IcvOptionsNode* node, WideStringView name, WideStringView defaultValue) {
  WideString value;
  SafeCallCheck(PropertiesOf(node)->GetString(name, defaultValue, &value));
  return value;
}

WideString NodeNameOf(IcvOptionsNode* node) {
  WideString name;
  SafeCallCheck(node->GetName(&name));
  return name;
}

bool NodeExists(IcvOptionsNode* node, WideStringView name) {
  WordBool exists = 0;
  SafeCallCheck(node->NodeExists(name, &exists));
  return exists != 0;
}

// "Item" and ten digits (option names compare ignoring case).
bool IsCurrentEntryName(WideStringView name) {
  if (name.size() != 14 || !SameTextIgnoringCase(name.substr(0, 4), u"Item")) return false;
  return std::all_of(name.begin() + 4, name.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

WideString ErrorTextFor(WideStringView detail) {
  WideString trimmed = WideTrim(detail);
  if (trimmed.empty()) return kInitializationError;
  return kInitializationError + u" [" + trimmed + u"]";
}

// One object, whichever of its interfaces each pointer is.
bool SameNode(IUnknown* a, IUnknown* b) {
  if (a == b) return true;
  if (!a || !b) return false;
  return QueryAs<IUnknown>(a).Get() == QueryAs<IUnknown>(b).Get();
}

void ReleaseNode(IpwProjectNode* node) {
  if (auto internal = QueryAs<IpwProjectNodeInternal>(node)) internal->Finalize();
}

WideString ProductText(IcvBaseManager* manager) {
  ComPtr<IpwHostInformation> info;
  if (!manager || Failed(manager->GetInformation(info.Put())) || !info) return WideString();
  BString name;
  std::int32_t version = 0;
  info->GetProductName(name.Put());
  info->GetMajorVersion(&version);
  return name.Str() + u" " + IntToWide(version);
}

}  // namespace

ComPtr<IpwProjectNodeTypeRegistry> GetNodeTypeRegistry(IcvBaseManager* manager) {
  return GetHostService<IpwProjectNodeTypeRegistry>(manager, kNodeRegistryService);
}

void ReportToUser(IcvBaseManager* manager, WideStringView text, std::int32_t style, std::int32_t helpContext) {
  try {
    if (auto messenger = GetMessenger(manager)) messenger->Report(BString(text).Get(), style, helpContext);
  } catch (...) {
  }
}

WideString FormatMissingFactoryMessage(WideStringView typeName, WideStringView pluginName) {
  if (pluginName.empty())
    return WideFormat(u"Cannot load data for %s.\r\n\r\nMake sure the appropriate plug-in is installed.", {typeName});
  return WideFormat(u"Cannot load data for %s.\r\n\r\nMake sure the '%s' plug-in is installed.",
                    {typeName, pluginName});
}

bool IsHostModeWithoutDialogs(IcvBaseManager* manager) {
  std::int32_t mode = 0;
  return manager && Succeeded(manager->GetHostMode(&mode)) && mode == 3;
}

std::int32_t GetProjectOwnerKind(IcvBaseManager* manager) {
  // A registry service that does not answer the question is an owner of no particular kind.
  auto service = QueryAs<IpwProjectNodeRegistryService>(GetHostService<IUnknown>(manager, kNodeRegistryService).Get());
  std::int32_t kind = 0;
  if (service) SafeCallCheck(service->GetOwnerKind(&kind));
  return kind;
}

bool IsProjectOwnerBusy(IcvBaseManager* manager) {
  auto state = GetHostState(manager);
  if (!state) return false;
  GUID answer{};
  SafeCallCheck(state->GetState(kHostModeQuestion, &answer));
  return answer == kHostModeRunning;
}

TpwProjectNodeContainer::TpwProjectNodeContainer(IpwProjectNode* parent, const GUID& typeKey, const GUID& key,
                                                 bool isVirtual)
    : Implements(parent, typeKey, key, isVirtual ? kParentStorageKind : kFileStorageKind),
      mainThread_(std::this_thread::get_id()) {}

TpwProjectNodeContainer::~TpwProjectNodeContainer() = default;

void* TpwProjectNodeContainer::GetInterface(const IID& riid) noexcept {
  if (void* p = folders_.InterfaceFor(riid)) return p;
  return Implements::GetInterface(riid);
}

IpwProjectNode* TpwProjectNodeContainer::ChildAt(std::int32_t index) const {
  if (!childs_ || index < 0 || index >= childs_->Count()) return nullptr;
  return childs_->Get(index);
}

ComPtr<IpwProjectNodeIterator> TpwProjectNodeContainer::Children() {
  if (!childs_ || hideCount_ > 0) return MakeEmptyNodeIterator();
  return childs_->GetIterator(static_cast<IpwProjectNodeContainer*>(this));
}

// ---- Entries

ComPtr<IcvOptionsNode> TpwProjectNodeContainer::ChildList() {
  auto data = DataNode();
  if (!data) return nullptr;
  return SubNode(data.Get(), u"Child List");
}

ComPtr<IcvOptionsNode> TpwProjectNodeContainer::EntryOf(const GUID& key) {
  auto at = entryNames_.find(key);
  if (at == entryNames_.end()) return nullptr;
  auto list = ChildList();
  if (!list || !NodeExists(list.Get(), at->second)) return nullptr;
  return SubNode(list.Get(), at->second);
}

ComPtr<IcvOptionsNode> TpwProjectNodeContainer::NewEntry(IcvOptionsNode* list) {
  std::int32_t position = std::max(maxIndex_ + 1, ChildCount());
  while (NodeExists(list, ChildEntryName(position))) ++position;
  maxIndex_ = std::max(maxIndex_, position);
  return project::GetChildEntry(list, position);
}

ComPtr<IcvOptionsNode> TpwProjectNodeContainer::EntryForSave(IpwProjectNode* child, IcvOptionsNode* list,
                                                             std::int32_t position) {
  GUID key = NodeKey(child);
  auto at = entryNames_.find(key);
  if (at == entryNames_.end() || !NodeExists(list, at->second)) {
    auto entry = NewEntry(list);
    entryNames_[key] = NodeNameOf(entry.Get());
    return entry;
  }
  // An entry of the older unpadded name moves to the padded name of its position when that is
  // free (its whole content is copied, the old node removed).
  if (!IsCurrentEntryName(at->second) && SameTextIgnoringCase(at->second, u"Item" + IntToWide(position)) &&
      !NodeExists(list, ChildEntryName(position))) {
    auto entry = project::GetChildEntry(list, position);
    at->second = NodeNameOf(entry.Get());
    return entry;
  }
  return SubNode(list, at->second);
}

void TpwProjectNodeContainer::ForgetEntry(const GUID& key, bool deleteIt) {
  auto at = entryNames_.find(key);
  if (at == entryNames_.end()) return;
  if (deleteIt) {
    if (auto list = ChildList()) SafeCallCheck(list->DeleteNode(at->second));
  }
  entryNames_.erase(at);
}

bool TpwProjectNodeContainer::EntryMatchesNode(IcvOptionsNode* entry, IpwProjectNode* child) {
  GUID type = NodeTypeKey(child);
  if (type == kUnavailableNodeType) {
    if (auto fake = QueryAs<IpwFakeProjectNode>(child)) SafeCallCheck(fake->GetRepresentedTypeKey(&type));
  }
  auto stored = GuidFromString(ReadString(entry, u"Type", GuidToWideString(GUID_NULL)));
  auto key = GuidFromString(ReadString(entry, u"Key", GuidToWideString(GUID_NULL)));
  return stored && key && *stored == type && *key == NodeKey(child);
}

void TpwProjectNodeContainer::WriteChildEntry(IpwProjectNode* child, IcvOptionsNode* entry, std::int32_t index) {
  auto p = PropertiesOf(entry);
  SafeCallCheck(p->SetString(u"Key", GuidToWideString(NodeKey(child))));
  GUID type = NodeTypeKey(child);
  auto fake = type == kUnavailableNodeType ? QueryAs<IpwFakeProjectNode>(child) : nullptr;
  if (fake) {
    GUID represented{};
    BString typeName, pluginName;
    SafeCallCheck(fake->GetRepresentedTypeKey(&represented));
    SafeCallCheck(fake->GetRepresentedTypeName(typeName.Put()));
    SafeCallCheck(fake->GetRepresentedPluginName(pluginName.Put()));
    SafeCallCheck(p->SetString(u"Type", GuidToWideString(represented)));
    SafeCallCheck(p->SetString(u"TypeName", typeName.Str()));
    SafeCallCheck(p->SetString(u"PluginName", pluginName.Str()));
  } else {
    SafeCallCheck(p->SetString(u"Type", GuidToWideString(type)));
    SafeCallCheck(p->SetString(u"TypeName", GetNodeTypeName(Manager(), child)));
    SafeCallCheck(p->SetString(u"PluginName", GetNodeTypePluginName(Manager(), type)));
  }
  SafeCallCheck(p->SetInteger(u"Index", index));
  maxIndex_ = std::max(maxIndex_, index);
  if (auto persistent = QueryAs<IpwPersistentProjectNode>(child)) {
    auto itemData = SubNode(entry, u"Item Data");
    if (copyCount_ > 0) SafeCallCheck(itemData->Clear());
    else SafeCallCheck(persistent->WriteItemData(entry));
  }
}

bool TpwProjectNodeContainer::LoadChildData(IpwProjectNode* child, IcvOptionsNode* entry) {
  auto itemData = SubNode(entry, u"Item Data");
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (auto persistent = QueryAs<IpwPersistentProjectNode>(child)) {
    SafeCallCheck(persistent->LoadItemData(entry, &loaded));
  } else if (auto stored = QueryAs<IpwParentStoredNode>(child)) {
    SafeCallCheck(stored->LoadFromDataNode(itemData.Get(), &loaded));
  }
  return loaded != VARIANT_FALSE;
}

namespace {
// The child's configurations of the keys that it has and that are modified are saved.
void SaveChildConfigs(IpwProjectNode* child, const std::vector<GUID>& keys) {
  auto config = QueryAs<IpwProjectNodeWithConfig>(child);
  if (!config) return;
  for (const GUID& key : keys) {
    VARIANT_BOOL has = VARIANT_FALSE, modified = VARIANT_FALSE;
    SafeCallCheck(config->HasConfigKey(key, &has));
    if (!has) continue;
    SafeCallCheck(config->IsConfigKeyModified(key, &modified));
    if (modified) SafeCallCheck(config->SaveConfigKey(key));
  }
}
}  // namespace

std::int32_t TpwProjectNodeContainer::SaveChild(IpwProjectNode* child, IcvOptionsNode* entry) {
  std::int32_t code = SaveChildData(child, entry);
  if (code == kSaveDone && copyCount_ == 0) SaveChildConfigs(child, GetConfigKeys());
  return code;
}

std::int32_t TpwProjectNodeContainer::SaveChildData(IpwProjectNode* child, IcvOptionsNode* entry) {
  if (copyCount_ > 0) {
    if (!copyFlag_) return kSaveDone;
    // No node here copies itself: the user decides whether the copy goes on without it.
    auto messenger = GetMessenger(Manager());
    VARIANT_BOOL yes = VARIANT_FALSE;
    if (messenger)
      SafeCallCheck(messenger->Confirm(BString(WideFormat(kCopyQuestion, {GetNodeDisplayPath(child)})).Get(),
                                       kStyleCopyQuestion, 0, 0, &yes));
    return yes != VARIANT_FALSE ? kSaveIncomplete : kSaveCancelled;
  }
  if (auto file = QueryAs<IpwFileNode>(child)) {
    std::int32_t result = 0;
    SafeCallCheck(file->SaveToOwnFile(&result));
    return result;
  }
  if (auto persistent = QueryAs<IpwPersistentProjectNode>(child))
    return Succeeded(persistent->SaveNode()) ? kSaveDone : kSaveIncomplete;
  if (auto stored = QueryAs<IpwParentStoredNode>(child)) {
    std::int32_t result = 0;
    SafeCallCheck(stored->SaveToDataNode(SubNode(entry, u"Item Data").Get(), VARIANT_TRUE, &result));
    return result;
  }
  return kSaveIncomplete;
}

// ---- Load and save

namespace {
// The folders translate their references against the children, hidden or not.
struct ChildrenShown {
  std::int32_t& count;
  std::int32_t saved;
  explicit ChildrenShown(std::int32_t& c) : count(c), saved(std::exchange(c, 0)) {}
  ~ChildrenShown() { count = saved; }
};
}  // namespace

bool TpwProjectNodeContainer::Load() {
  if (!LoadChildren()) return false;
  ChildrenShown shown(hideCount_);
  folders_.Load(DataNode().Get(), SupportsFolders());
  return true;
}

bool TpwProjectNodeContainer::LoadChildren() {
  if (!TpwProjectNode::Load()) return false;
  auto list = ChildList();
  if (!list) return true;
  // The children's files are asked about once each while they load.
  TpwFileReloadBatch batch(Manager());
  struct Loading {
    TpwProjectNodeContainer& self;
    ~Loading() {
      self.loading_ = false;
      self.loadNames_.clear();
    }
  } loading{*this};
  loading_ = true;
  IndexChildNames();

  struct Entry {
    std::int32_t index;
    WideString name;
    ComPtr<IcvOptionsNode> node;
  };
  std::vector<Entry> entries;
  ComPtr<IcvOptionsNodeIterator> it;
  SafeCallCheck(list->GetNodes(it.Put()));
  while (it->HasNext()) {
    ComPtr<IcvOptionsNode> node;
    it->Next(node);
    entries.push_back({GetEntryIndex(node.Get()), WideLowerCase(NodeNameOf(node.Get())), node});
  }
  // Ties keep the stored order: the file holds the entries sorted by name (the tree's walk has
  // an order of its own).
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.index != b.index ? a.index < b.index : a.name < b.name; });
  entryNames_.clear();
  maxIndex_ = -1;
  for (const auto& e : entries) maxIndex_ = std::max(maxIndex_, e.index);

  IcvBaseManager* manager = Manager();
  bool duplicateReported = false;
  std::set<GUID> singlesMade;
  for (const auto& e : entries) {
    IcvOptionsNode* entry = e.node.Get();
    WideString typeText = ReadString(entry, u"Type", GuidToWideString(GUID_NULL));
    GUID type = GuidFromString(typeText).value_or(GUID_NULL);
    WideString typeName = ReadString(entry, u"TypeName", u"");
    if (typeName.empty()) typeName = typeText;
    WideString pluginName = ReadString(entry, u"PluginName", u"");
    GUID key = GuidFromString(ReadString(entry, u"Key", GuidToWideString(GUID_NULL))).value_or(GUID_NULL);

    if (ChildByKey(key)) {
      if (!duplicateReported) {
        duplicateReported = true;
        ReportToUser(manager, WideFormat(kDuplicateKeyText, {GetNodeDisplayPath(AsNode())}), kStyleDuplicateKey);
      }
      continue;
    }
    const WideString entryName = NodeNameOf(entry);
    entryNames_[key] = entryName;
    bool found = false;
    ComPtr<IpwProjectNode> made;
    bool critical = false;
    ForEachNodeType([&](IpwProjectItemTypeProvider* factory, IpwProjectNodeInfo* info) {
      GUID infoKey{};
      SafeCallCheck(info->GetKey(&infoKey));
      if (infoKey != type) return false;
      found = true;
      WideString detail;
      if (IsSingleInstance(info) && singlesMade.contains(type)) {
        OleVariant caption;
        SafeCallCheck(info->GetProperty(2, caption.Put()));
        detail = WideFormat(kSingleInstanceText, {caption.AsString()});
        ReportToUser(manager, detail, 0);
      } else {
        ComPtr<IpwProjectNode> node;
        HRESULT hr = factory->CreateItem(type, key, nullptr, manager, AsNode(), node.Put());
        if (Succeeded(hr) && node) {
          bool accepted = false;
          try {
            accepted = LoadChildData(node.Get(), entry) && AddChildNode(node.Get());
          } catch (const Exception& ex) {
            detail = ex.Message();
          }
          if (accepted) {
            made = node;
            if (IsSingleInstance(info)) singlesMade.insert(type);
          } else {
            std::int32_t code = 0;
            BString message;
            if (auto error = QueryAs<IpwNodeLastError>(node.Get())) {
              error->GetErrorCode(&code);
              error->GetErrorMessage(message.Put());
            }
            if (code != 0 && IsHostModeWithoutDialogs(manager) && (code == kErrFileMissing || code == kErrCritical)) {
              SetNodeError(
                  kErrCritical,
                  BString(code == kErrFileMissing ? u"Critical error: " + message.Str() : message.Str()).Get());
              ReleaseNode(node.Get());
              critical = true;
              return true;
            }
            if (!message.Str().empty()) detail = message.Str();
            ReleaseNode(node.Get());
          }
        }
      }
      if (!made) made = CreateUnavailableNode(type, key, entry, typeName, pluginName, ErrorTextFor(detail));
      return made != nullptr;
    });
    if (critical) {
      entryNames_.erase(key);
      return false;
    }
    if (!found) {
      if (type == kHttpLoadTestingType) {
        WideString product = ProductText(manager);
        if (!loadTestingNoticeShown.exchange(true))
          ReportToUser(manager, WideFormat(kLoadTestingNotice, {product}), 0, kHelpContextLoadTesting);
        made = CreateUnavailableNode(type, key, entry, typeName, pluginName, WideFormat(kLoadTestingError, {product}));
      } else {
        ReportToUser(manager, FormatMissingFactoryMessage(typeName, pluginName), kStyleMissingFactory);
        made = CreateUnavailableNode(type, key, entry, typeName, pluginName, kFactoryNotInstalled);
      }
    }
    // An entry that became no node stays as read, unclaimed by any child.
    if (!made) entryNames_.erase(key);
  }
  return true;
}

std::int32_t TpwProjectNodeContainer::Save() {
  std::int32_t remembered = kSaveDone;
  if (auto list = ChildList()) {
    std::int32_t position = 0;
    if (childs_) {
      // A snapshot: a child's save may not change the list, but the walk must not depend on it.
      std::vector<ComPtr<IpwProjectNode>> children;
      if (hideCount_ == 0)
        for (std::int32_t i = 0; i < childs_->Count(); ++i) children.emplace_back(childs_->Get(i));
      for (const auto& child : children) {
        auto entry = EntryForSave(child.Get(), list.Get(), position);
        std::int32_t code = SaveChild(child.Get(), entry.Get());
        if (code == kSaveCancelled) return kSaveCancelled;
        if (code == kSaveDone || code == kSaveIncomplete) {
          WriteChildEntry(child.Get(), entry.Get(), position);
          if (code == kSaveIncomplete) remembered = kSaveIncomplete;
        }
        ++position;
      }
    }
  }
  {
    ChildrenShown shown(hideCount_);
    folders_.Save(DataNode().Get());
  }
  std::int32_t own = TpwProjectNode::Save();
  return static_cast<std::uint32_t>(own) > static_cast<std::uint32_t>(remembered) ? own : remembered;
}

void TpwProjectNodeContainer::Unload() {
  // Every child is finalised even when one fails; the first failure is raised once the
  // container is unloaded (each was already written to the diagnostic log by FinalizeChild).
  std::exception_ptr first;
  folders_.Unload();
  if (childs_) {
    const bool deleteFiles = Finalizing();
    std::unique_ptr<TProjectNodeChilds> childs = std::move(childs_);
    std::vector<ComPtr<IpwProjectNode>> children;
    for (std::int32_t i = 0; i < childs->Count(); ++i) children.emplace_back(childs->Get(i));
    childs->Clear();
    for (const auto& child : children) {
      try {
        FinalizeChild(child.Get(), deleteFiles);
      } catch (...) {
        if (!first) first = std::current_exception();
      }
    }
  }
  entryNames_.clear();
  maxIndex_ = -1;
  TpwProjectNode::Unload();
  if (first) std::rethrow_exception(first);
}

// ---- Types

bool TpwProjectNodeContainer::ForEachNodeType(
    const std::function<bool(IpwProjectItemTypeProvider*, IpwProjectNodeInfo*)>& f) {
  auto registry = GetNodeTypeRegistry(Manager());
  if (!registry) return false;
  std::int32_t factories = 0;
  SafeCallCheck(registry->GetFactoryCount(&factories));
  for (std::int32_t i = 0; i < factories; ++i) {
    ComPtr<IpwProjectItemTypeProvider> factory;
    SafeCallCheck(registry->GetFactory(i, factory.Put()));
    if (!factory) continue;
    std::int32_t count = 0;
    SafeCallCheck(factory->GetItemTypeCount(&count));
    for (std::int32_t j = 0; j < count; ++j) {
      ComPtr<IpwProjectNodeInfo> info;
      SafeCallCheck(factory->GetItemTypeInfo(j, info.Put()));
      if (info && f(factory.Get(), info.Get())) return true;
    }
  }
  return false;
}

bool TpwProjectNodeContainer::IsSingleInstance(IpwProjectNodeInfo* info) {
  OleVariant value;
  if (!info || Failed(info->GetProperty(9, value.Put()))) return false;
  return value.AsBool();
}

bool TpwProjectNodeContainer::HasChildOfType(const GUID& type) {
  if (!childs_) return false;
  for (std::int32_t i = 0; i < childs_->Count(); ++i)
    if (NodeTypeKey(childs_->Get(i)) == type) return true;
  return false;
}

bool TpwProjectNodeContainer::SupportsFolders() {
  return ForEachNodeType([&](IpwProjectItemTypeProvider*, IpwProjectNodeInfo* info) {
    GUID parent{};
    SafeCallCheck(info->GetParentTypeKey(&parent));
    return parent == TypeKey();
  });
}

bool TpwProjectNodeContainer::HasChildTypes() {
  return ForEachNodeType([&](IpwProjectItemTypeProvider*, IpwProjectNodeInfo* info) {
    GUID parent{}, key{};
    SafeCallCheck(info->GetParentTypeKey(&parent));
    SafeCallCheck(info->GetKey(&key));
    if (parent != TypeKey()) return false;
    return !IsSingleInstance(info) || !HasChildOfType(key);
  });
}

void TpwProjectNodeContainer::SetUnavailableError(IpwProjectNode* node, WideStringView text) {
  if (auto owner = QueryAs<IpwPropertyObjectOwner>(node)) owner->SetPropertyValue(1, OleVariant(text).Get());
}

ComPtr<IpwProjectNode> TpwProjectNodeContainer::CreateUnavailableNode(const GUID& typeKey, const GUID& key,
                                                                      IcvOptionsNode* entry, WideStringView typeName,
                                                                      WideStringView pluginName,
                                                                      WideStringView errorText) {
  auto registry = GetNodeTypeRegistry(Manager());
  if (!registry) return nullptr;
  ComPtr<IpwProjectNode> node;
  if (Failed(registry->CreateUnavailableNode(typeKey, BString(typeName).Get(), BString(pluginName).Get(), key, AsNode(),
                                             node.Put())) ||
      !node)
    return nullptr;
  bool ok = false;
  try {
    ok = LoadChildData(node.Get(), entry) && AddChildNode(node.Get());
  } catch (const Exception&) {
    ok = false;
  }
  if (!ok) {
    ReleaseNode(node.Get());
    return nullptr;
  }
  SetUnavailableError(node.Get(), errorText);
  return node;
}

// ---- Child operations

bool TpwProjectNodeContainer::CanAcceptChild(IpwProjectNode* child) {
  if (!child || !DataNode()) return false;
  GUID type = NodeTypeKey(child);
  if (type == kUnavailableNodeType) return true;
  auto info = GetNodeInfo(Manager(), type);
  if (!info) return false;
  GUID parent{};
  SafeCallCheck(info->GetParentTypeKey(&parent));
  return parent == TypeKey() &&
         (QueryAs<IpwPersistentProjectNode>(child) != nullptr || QueryAs<IpwParentStoredNode>(child) != nullptr);
}

bool TpwProjectNodeContainer::AddChildNode(IpwProjectNode* child) {
  if (!CanAcceptChild(child)) return false;
  GUID key = NodeKey(child), type = NodeTypeKey(child);
  if (ChildByKey(key)) return false;
  if (type != kUnavailableNodeType) {
    auto info = GetNodeInfo(Manager(), type);
    if (IsSingleInstance(info.Get()) && HasChildOfType(type)) {
      ReportToUser(Manager(), WideFormat(kSingleInstanceText, {GetNodeTypeNameByKey(Manager(), type)}), 0);
      return false;
    }
  }
  auto registry = GetNodeTypeRegistry(Manager());
  if (registry) {
    VARIANT_BOOL allowed = VARIANT_TRUE;
    SafeCallCheck(registry->BeforeAdd(AsNode(), child, &allowed));
    if (!allowed) return false;
  }
  auto list = ChildList();
  bool written = false;
  auto existing = EntryOf(key);
  if (!existing || !EntryMatchesNode(existing.Get(), child)) {
    if (existing) entryNames_.erase(key);
    auto entry = NewEntry(list.Get());
    entryNames_[key] = NodeNameOf(entry.Get());
    WriteChildEntry(child, entry.Get(), std::max(GetEntryIndex(entry.Get()), maxIndex_));
    written = true;
  }
  if (!childs_) childs_ = std::make_unique<TProjectNodeChilds>(TypeKey());
  bool added = childs_->Add(GetNodeRegistry(Manager()).Get(), QueryAs<IpwProjectNode>(child).Get());
  if (!added) {
    ForgetEntry(key, written);
    return false;
  }
  if (loading_) loadNames_.try_emplace(NodeName(child), child);
  else DoChanged(true);
  NotifyProjectNodeAttached(child);
  return true;
}

void TpwProjectNodeContainer::IndexChildNames() {
  loadNames_.clear();
  if (!childs_) return;
  for (std::int32_t i = 0; i < childs_->Count(); ++i) {
    IpwProjectNode* child = childs_->Get(i);
    if (child) loadNames_.try_emplace(NodeName(child), child);
  }
}

HRESULT TpwProjectNodeContainer::FindChildByName(const char16_t* name, std::size_t length, IpwProjectNode** child) {
  if (!child) return E_POINTER;
  *child = nullptr;
  if (!loading_ || hideCount_ > 0) return E_NOTIMPL;
  return SafeCall([&] {
    auto it = loadNames_.find(WideStringView(name, length));
    if (it != loadNames_.end()) *child = ComPtr<IpwProjectNode>(it->second).Detach();
  });
}

void TpwProjectNodeContainer::FinalizeChild(IpwProjectNode* child, bool deleteFiles) {
  WideString childName, childType;
  try {
    childName = GetNodeDisplayPath(child);
    childType = GetNodeTypeName(Manager(), child);
    if (auto config = QueryAs<IpwProjectNodeWithConfig>(child)) SafeCallCheck(config->SetConfig(nullptr));
    auto internal = QueryAs<IpwProjectNodeInternal>(child);
    if (internal) SafeCallCheck(deleteFiles ? internal->FinalizeNode() : internal->Finalize());
  } catch (const Exception& ex) {
    WideString text = WideFormat(kFinalizeErrorText, {childName, childType, GetNodeDisplayPath(AsNode()),
                                                      GetNodeTypeName(Manager(), AsNode())}) +
                      u"\"" + ex.Message() + u"\"";
    WriteDiagnostic(Manager(), text);
    throw;
  }
}

bool TpwProjectNodeContainer::RemoveChildNode(IpwProjectNode* node, bool deleteFiles) {
  IpwProjectNode* child = node ? ChildByKey(NodeKey(node)) : nullptr;
  if (!child || !SameNode(child, node)) return false;
  ComPtr<IpwProjectNode> held(child);
  TpwFileReloadBatch batch(Manager());
  // A child whose files stay loses what it holds unsaved: the host decides whether it may.
  if (!deleteFiles && !MayDropChildData(child)) return false;
  // The project hears of it while the container still lists the child (its walk up checks that).
  NotifyProjectNodeDetached(child, true);
  GUID key = NodeKey(child);
  ForgetEntry(key, true);
  childs_->Remove(child);
  folders_.ChildRemoved(child);
  if (loading_) IndexChildNames();
  DoChanged(true);
  FinalizeChild(child, deleteFiles);
  return true;
}

void TpwProjectNodeContainer::PutInPlace(IpwProjectNode* oldNode, IpwProjectNode* newNode) {
  ComPtr<IpwProjectNode> held(oldNode);
  NotifyProjectNodeDetached(oldNode, true);
  if (!childs_->Replace(oldNode, newNode)) throw EOleSysError(u"The node is not a child of the container.", E_FAIL);
  NotifyProjectNodeAttached(newNode);
  folders_.ChildReplaced(oldNode, newNode);
  if (loading_) IndexChildNames();
  DoChanged(true);
  FinalizeChild(oldNode, false);
}

bool TpwProjectNodeContainer::ReplaceOnFakeNode(IpwProjectNode* node, ComPtr<IpwProjectNode>& fake) {
  fake = nullptr;
  IpwProjectNode* child = node ? ChildByKey(NodeKey(node)) : nullptr;
  if (!child || !SameNode(child, node)) return false;
  ComPtr<IpwProjectNode> held(child);
  ReportToUser(Manager(), WideFormat(kReplacedText, {NodeName(child)}), kStyleReplacedByUnavailable);
  GUID key = NodeKey(child), type = NodeTypeKey(child);
  auto entry = EntryOf(key);
  if (!entry) return false;
  // The child's present data goes into its entry first.
  if (auto persistent = QueryAs<IpwPersistentProjectNode>(child)) {
    SafeCallCheck(persistent->WriteItemData(entry.Get()));
  } else if (auto stored = QueryAs<IpwParentStoredNode>(child)) {
    std::int32_t result = 0;
    SafeCallCheck(stored->SaveToDataNode(SubNode(entry.Get(), u"Item Data").Get(), VARIANT_TRUE, &result));
  }
  auto registry = GetNodeTypeRegistry(Manager());
  if (!registry) return false;
  ComPtr<IpwProjectNode> made;
  SafeCallCheck(registry->CreateUnavailableNode(type, BString(GetNodeTypeName(Manager(), child)).Get(),
                                                BString(GetNodeTypePluginName(Manager(), type)).Get(), key, AsNode(),
                                                made.Put()));
  if (!made) return false;
  if (!LoadChildData(made.Get(), entry.Get())) {
    ReleaseNode(made.Get());
    return false;
  }
  PutInPlace(child, made.Get());
  fake = made;
  return true;
}

ComPtr<IpwProjectNode> TpwProjectNodeContainer::MakeRealNode(IpwProjectItemTypeProvider* factory, const GUID& type,
                                                             const GUID& key, IcvOptionsNode* entry,
                                                             WideString& detail) {
  ComPtr<IpwProjectNode> node;
  if (Failed(factory->CreateItem(type, key, nullptr, Manager(), AsNode(), node.Put())) || !node) return nullptr;
  bool loaded = false;
  try {
    loaded = LoadChildData(node.Get(), entry);
  } catch (const Exception& ex) {
    detail = ex.Message();
  }
  if (loaded) return node;
  BString message;
  if (auto error = QueryAs<IpwNodeLastError>(node.Get())) error->GetErrorMessage(message.Put());
  if (!message.Str().empty()) detail = message.Str();
  ReleaseNode(node.Get());
  return nullptr;
}

bool TpwProjectNodeContainer::ReplaceOnRealNode(IpwFakeProjectNode* fake, ComPtr<IpwProjectNode>& real) {
  real = nullptr;
  auto asNode = QueryAs<IpwProjectNode>(fake);
  IpwProjectNode* stored = asNode ? ChildByKey(NodeKey(asNode.Get())) : nullptr;
  if (!stored || !SameNode(stored, asNode.Get())) return false;
  ComPtr<IpwProjectNode> fakeNode(stored);
  GUID type{};
  SafeCallCheck(fake->GetRepresentedTypeKey(&type));
  GUID key = NodeKey(fakeNode.Get());
  auto entry = EntryOf(key);
  if (!entry) return false;
  // The Unavailable node's data is the entry's "Item Data" as read: it writes it back first.
  std::int32_t result = 0;
  if (auto stored = QueryAs<IpwParentStoredNode>(fakeNode.Get()))
    SafeCallCheck(stored->SaveToDataNode(SubNode(entry.Get(), u"Item Data").Get(), VARIANT_TRUE, &result));
  WideString detail;
  bool tried = false;
  ForEachNodeType([&](IpwProjectItemTypeProvider* factory, IpwProjectNodeInfo* info) {
    GUID infoKey{};
    SafeCallCheck(info->GetKey(&infoKey));
    if (infoKey != type) return false;
    tried = true;
    real = MakeRealNode(factory, type, key, entry.Get(), detail);
    return true;
  });
  if (!real) {
    if (tried) SetUnavailableError(fakeNode.Get(), ErrorTextFor(detail));
    return false;
  }
  PutInPlace(fakeNode.Get(), real.Get());
  ReportToUser(Manager(), WideFormat(kRestoredText, {NodeName(real.Get())}), 0);
  return true;
}

void TpwProjectNodeContainer::FactoryRemoved(IpwProjectItemTypeProvider* factory) {
  if (!factory || !childs_) return;
  std::int32_t count = 0;
  SafeCallCheck(factory->GetItemTypeCount(&count));
  std::set<GUID> types;
  for (std::int32_t j = 0; j < count; ++j) {
    ComPtr<IpwProjectNodeInfo> info;
    SafeCallCheck(factory->GetItemTypeInfo(j, info.Put()));
    GUID key{};
    if (info && Succeeded(info->GetKey(&key))) types.insert(key);
  }
  if (types.contains(TypeKey())) return;
  std::vector<ComPtr<IpwProjectNode>> affected;
  for (std::int32_t i = 0; i < childs_->Count(); ++i)
    if (types.contains(NodeTypeKey(childs_->Get(i)))) affected.emplace_back(childs_->Get(i));
  for (const auto& child : affected) {
    ComPtr<IpwProjectNode> fake;
    if (ReplaceOnFakeNode(child.Get(), fake)) SetUnavailableError(fake.Get(), kFactoryNotInstalled);
  }
}

void TpwProjectNodeContainer::FactoryAdded(IpwProjectItemTypeProvider* factory) {
  if (!factory || !childs_) return;
  std::vector<ComPtr<IpwFakeProjectNode>> fakes;
  for (std::int32_t i = 0; i < childs_->Count(); ++i)
    if (NodeTypeKey(childs_->Get(i)) == kUnavailableNodeType)
      if (auto fake = QueryAs<IpwFakeProjectNode>(childs_->Get(i))) fakes.push_back(fake);
  std::int32_t count = 0;
  SafeCallCheck(factory->GetItemTypeCount(&count));
  for (const auto& fake : fakes) {
    GUID type{};
    SafeCallCheck(fake->GetRepresentedTypeKey(&type));
    for (std::int32_t j = 0; j < count; ++j) {
      ComPtr<IpwProjectNodeInfo> info;
      SafeCallCheck(factory->GetItemTypeInfo(j, info.Put()));
      GUID key{};
      if (!info || Failed(info->GetKey(&key)) || key != type) continue;
      GUID nodeKey = NodeKey(QueryAs<IpwProjectNode>(fake.Get()).Get());
      ComPtr<IpwProjectNode> fakeNode(ChildByKey(nodeKey));
      if (!fakeNode) break;
      auto entry = EntryOf(nodeKey);
      if (!entry) break;
      std::int32_t result = 0;
      if (auto stored = QueryAs<IpwParentStoredNode>(fakeNode.Get()))
        SafeCallCheck(stored->SaveToDataNode(SubNode(entry.Get(), u"Item Data").Get(), VARIANT_TRUE, &result));
      WideString detail;
      auto real = MakeRealNode(factory, type, nodeKey, entry.Get(), detail);
      if (real) {
        PutInPlace(fakeNode.Get(), real.Get());
        ReportToUser(Manager(), WideFormat(kRestoredText, {NodeName(real.Get())}), 0);
      } else {
        SetUnavailableError(fakeNode.Get(), ErrorTextFor(detail));
      }
      break;
    }
  }
}

// ---- User-level operations

namespace {
const WideString kOutsideChangeText =
    u"Unable to add the item to the project, because one of the parent project items, the project or project suite "
    u"was changed outside of Probewright. Probewright has reloaded it. Please add the item again.";
constexpr std::int32_t kStyleOutsideChange = 0x10E8;
constexpr std::int32_t kStyleFileMissing = 0x1006;
constexpr std::int32_t kStyleKeyExists = 0x1009;

// A parameter's GUID: a by-reference value is taken as its value; a text converts; anything
// else (an omitted parameter, a text that is no GUID) is the null GUID.
GUID ParamGuid(const VARIANT& param) {
  VARIANT copy;
  VariantInit(&copy);
  if (Failed(VariantCopyInd(&copy, &param))) return GUID_NULL;
  OleVariant value = OleVariant::Attach(copy);
  if (value.Type() != VT_BSTR) return GUID_NULL;
  return GuidFromString(value.AsString()).value_or(GUID_NULL);
}

// A parameter's text: empty for an omitted parameter and for anything that does not convert.
WideString ParamText(const VARIANT& param) {
  VARIANT copy;
  VariantInit(&copy);
  if (Failed(VariantCopyInd(&copy, &param))) return WideString();
  OleVariant value = OleVariant::Attach(copy);
  if (value.Type() == VT_ERROR || value.IsEmpty() || value.IsNull()) return WideString();
  try {
    return value.AsString();
  } catch (...) {
    return WideString();
  }
}

// File names one a line (CR LF, or LF alone, between): the lines that are not blank, trimmed.
std::vector<WideString> SplitFileNames(WideStringView text) {
  std::vector<WideString> names;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(u'\n', start);
    if (end == WideStringView::npos) end = text.size();
    WideString line = WideTrim(text.substr(start, end - start));
    if (!line.empty()) names.push_back(std::move(line));
    start = end + 1;
  }
  return names;
}

// The extension with its dot; empty for a name without one.
WideStringView ExtensionOf(WideStringView name) {
  std::size_t dot = name.rfind(u'.');
  std::size_t slash = name.rfind(u'/');
  if (dot == WideStringView::npos || (slash != WideStringView::npos && dot < slash)) return {};
  return name.substr(dot);
}

bool HasExtension(const std::vector<WideString>& extensions, WideStringView name) {
  WideStringView extension = ExtensionOf(name);
  if (extension.empty()) return false;
  return std::any_of(extensions.begin(), extensions.end(),
                     [&](const WideString& e) { return SameTextIgnoringCase(e, extension); });
}

// A node, or a node below it that is no container, answers attribute 7 True. A container
// below answers for its own sub-tree.
bool SubtreeAnswersAttribute7(IpwProjectNode* node) {
  bool found = false;
  ForEachChild(node, [&](IpwProjectNode* child) {
    OleVariant value;
    if (Succeeded(child->GetAttribute(7, value.Put())) && value.Type() == VT_BOOL && value.AsBool()) found = true;
    else if (!QueryAs<IpwProjectNodeContainer>(child)) found = SubtreeAnswersAttribute7(child);
    return !found;
  });
  return found;
}

void CollectKeys(IpwProjectNode* node, std::vector<GUID>& keys) {
  keys.push_back(NodeKey(node));
  ForEachChild(node, [&](IpwProjectNode* child) {
    CollectKeys(child, keys);
    return true;
  });
}
}  // namespace

bool TpwProjectNodeContainer::CanHaveFolders() { return ReloadCount() == 0 && hideCount_ == 0 && HasChildTypes(); }

bool TpwProjectNodeContainer::CanAddNewItem() {
  return (VirtualStorage() || DataNode()) && GetDialogService(Manager()) && CanHaveFolders();
}

void TpwProjectNodeContainer::UpdateAction(const GUID& action) {
  if (action != kNewItemAction && action != kExistingItemAction) return TpwProjectNode::UpdateAction(action);
  auto actions = GetHostService<IpwActionService>(Manager(), kActionService);
  if (!actions) return;
  ComPtr<IpwAction> found;
  if (Failed(actions->FindAction(action, found.Put())) || !found) return;
  const bool busy = IsProjectOwnerBusy(Manager());
  bool enabled = false;
  if (action == kNewItemAction) {
    ResetNewItemActionTitle(found.Get());
    enabled = CanAddNewItem() && !busy;
  } else {
    enabled = CanAddExistingItem() && !busy;
  }
  SafeCallCheck(found->SetProperty(0, OleVariant(enabled).Get()));
}

bool TpwProjectNodeContainer::CanAcceptFiles(WideStringView fileNames) {
  if (!CanHaveFolders() || IsProjectOwnerBusy(Manager())) return false;
  auto extensions = GetSupportedChildExtensions(Manager(), AsNode());
  if (extensions.empty()) return false;
  for (const auto& name : SplitFileNames(fileNames))
    if (HasExtension(extensions, name)) return true;
  return false;
}

void TpwProjectNodeContainer::AcceptFiles(WideStringView fileNames) {
  TpwProjectNode::AcceptFiles(fileNames);
  auto extensions = GetSupportedChildExtensions(Manager(), AsNode());
  WideString taken;
  for (const auto& name : SplitFileNames(fileNames)) {
    if (!HasExtension(extensions, name)) continue;
    if (!taken.empty()) taken += kCrLf;
    taken += name;
  }
  if (!WideTrim(taken).empty()) AddExistingChild(taken);
}

OleVariant TpwProjectNodeContainer::Attribute(std::int32_t id) {
  if (id != 7 || FileStorage()) return TpwProjectNode::Attribute(id);
  return OleVariant(SubtreeAnswersAttribute7(AsNode()));
}

std::vector<ComPtr<IpwProjectNode>> TpwProjectNodeContainer::ChildSnapshot() const {
  std::vector<ComPtr<IpwProjectNode>> children;
  if (!childs_ || hideCount_ > 0) return children;
  for (std::int32_t i = 0; i < childs_->Count(); ++i) children.emplace_back(childs_->Get(i));
  return children;
}

ComPtr<IUnknown> TpwProjectNodeContainer::GetChildConfigStore(IpwProjectNode* child) {
  ComPtr<IcvOptionsNode> store;
  IUnknown* own = GetConfig();
  if (!own || Failed(own->QueryInterface(IcvOptionsNode::iid, store.PutVoid())) || !store) return nullptr;
  return ComPtr<IUnknown>(SubNode(store.Get(), GuidToWideString(NodeKey(child))));
}

HRESULT TpwProjectNodeContainer::IsConfigKeyModified(const GUID& key, VARIANT_BOOL* result) {
  return SafeCall([&] {
    if (!result) throw EOleSysError(u"Invalid pointer", E_POINTER);
    *result = VARIANT_FALSE;
    if (hideCount_ > 0) return;
    bool modified = ConfigKeyModified(key);
    for (const auto& child : ChildSnapshot()) {
      if (modified) break;
      auto config = QueryAs<IpwProjectNodeWithConfig>(child.Get());
      VARIANT_BOOL answer = VARIANT_FALSE;
      if (config) SafeCallCheck(config->IsConfigKeyModified(key, &answer));
      modified = answer != VARIANT_FALSE;
    }
    *result = ToWordBool(modified);
  });
}

HRESULT TpwProjectNodeContainer::SetConfig(IUnknown* config) {
  return SafeCall([&] {
    SafeCallCheck(TpwProjectNode::SetConfig(config));
    for (const auto& child : ChildSnapshot())
      if (auto childConfig = QueryAs<IpwProjectNodeWithConfig>(child.Get()))
        SafeCallCheck(childConfig->SetConfig(GetChildConfigStore(child.Get()).Get()));
  });
}

HRESULT TpwProjectNodeContainer::SaveConfigKey(const GUID& key) {
  return SafeCall([&] {
    SafeCallCheck(TpwProjectNode::SaveConfigKey(key));
    for (const auto& child : ChildSnapshot()) SaveChildConfigs(child.Get(), {key});
  });
}

HRESULT TpwProjectNodeContainer::LoadConfigKey(const GUID& key) {
  return SafeCall([&] {
    SafeCallCheck(TpwProjectNode::LoadConfigKey(key));
    for (const auto& child : ChildSnapshot())
      if (auto childConfig = QueryAs<IpwProjectNodeWithConfig>(child.Get()))
        SafeCallCheck(childConfig->LoadConfigKey(key));
  });
}

namespace {
const GUID kContainerActions[] = {kNewItemAction, kExistingItemAction};
}

void TpwProjectNodeContainer::DoInitialize(IcvBaseManager* manager) {
  TpwProjectNode::DoInitialize(manager);
  if (manager && GetProjectOwnerKind(manager) == 3 && GetHostService<IUnknown>(manager, kActionService))
    RegisterContextActions(manager, InstanceKey(), kContainerActions, static_cast<IpwProjectActionHandler*>(this));
}

void TpwProjectNodeContainer::DoFinalize() {
  // Unregistered whatever the owner's kind; the node's own finalisation runs also when that fails.
  std::exception_ptr failure;
  try {
    if (Manager() && GetHostService<IUnknown>(Manager(), kActionService))
      UnregisterContextActions(Manager(), InstanceKey(), kContainerActions);
  } catch (...) {
    failure = std::current_exception();
  }
  TpwProjectNode::DoFinalize();
  if (failure) std::rethrow_exception(failure);
}

bool TpwProjectNodeContainer::MayDropChildData(IpwProjectNode* child) {
  if (!QueryAs<IpwPersistentProjectNode>(child)) return true;
  auto service = GetProjectService(Manager());
  if (!service) return true;
  VARIANT_BOOL may = VARIANT_TRUE;
  SafeCallCheck(service->MayDropNodeData(child, &may));
  return may != VARIANT_FALSE;
}

ComPtr<IpwProjectNode> TpwProjectNodeContainer::CreateChild(const GUID& typeKey) {
  auto items = GetDialogService(Manager());
  if (!items) return nullptr;
  ComPtr<IpwProjectNode> node;
  VARIANT_BOOL made = VARIANT_FALSE;
  SafeCallCheck(items->NewItem(AsNode(), typeKey, node.Put(), &made));
  if (made) return node;
  if (node) ReleaseNode(node.Get());
  return nullptr;
}

bool TpwProjectNodeContainer::AddChild(const GUID& typeKey, IInterfaceList* added) {
  TpwFileReloadBatch batch(Manager());
  auto registry = GetNodeTypeRegistry(Manager());
  if (registry) {
    VARIANT_BOOL allowed = VARIANT_TRUE;
    SafeCallCheck(registry->BeforeAdd(AsNode(), added, &allowed));
    if (!allowed) return false;
  }
  ComPtr<IpwProjectNode> node;
  try {
    if (typeKey != GUID_NULL) node = CreateChild(typeKey);
  } catch (...) {
    // The registry hears of the failed add before the failure goes on.
    if (registry) registry->AfterAdd(nullptr, -1);
    throw;
  }
  bool done = node && AddChildNode(node.Get());
  if (done && ReloadCount() > 0) {
    RemoveChildNode(node.Get(), true);
    ReportToUser(Manager(), kOutsideChangeText, kStyleOutsideChange);
    done = false;
  } else if (node && !done) {
    ReleaseNode(node.Get());
  }
  if (!done) {
    if (registry) SafeCallCheck(registry->AfterAdd(nullptr, -1));
    return false;
  }
  if (auto persistent = QueryAs<IpwPersistentProjectNode>(node.Get())) SafeCallCheck(persistent->SaveNode());
  if (added) added->Add(node.Get());
  NotifyChildAdded(node.Get());
  return true;
}

void TpwProjectNodeContainer::NotifyChildAdded(IpwProjectNode* node) {
  // The provider registered for the type (an editor of new items) is asked for and let go.
  GetRegisteredObject(Manager(), NodeTypeKey(node));
  if (auto registry = GetNodeTypeRegistry(Manager())) SafeCallCheck(registry->AfterAdd(node, -1));
}

ComPtr<IUnknown> TpwProjectNodeContainer::AddExistingChild(WideStringView fileNames) {
  TpwFileReloadBatch batch(Manager());
  if (auto registry = GetNodeTypeRegistry(Manager())) {
    VARIANT_BOOL allowed = VARIANT_TRUE;
    SafeCallCheck(registry->BeforeAdd(AsNode(), nullptr, &allowed));
    if (!allowed) return nullptr;
  }
  std::vector<WideString> names = SplitFileNames(fileNames);
  // An empty text is one file name that does not exist.
  if (names.empty()) names.emplace_back();
  std::vector<GUID> keys;
  bool any = false;
  for (const auto& name : names) any = AddExistingFile(name, keys) || any;
  if (!any) return nullptr;
  return ComPtr<IUnknown>(static_cast<IpwGUIDIterator*>(TpwGUIDIterator::FromKeys(keys).Get()));
}

bool TpwProjectNodeContainer::AddExistingFile(WideStringView fileName, std::vector<GUID>& addedKeys) {
  IcvBaseManager* manager = Manager();
  if (fileName.empty() || !FileExistsName(fileName)) {
    ReportToUser(manager, WideFormat(u"The '%s' file does not exist.", {fileName}), kStyleFileMissing);
    return false;
  }
  ComPtr<IpwProjectNode> node;
  // Each factory's loader is asked once, whatever number of types it makes.
  IpwProjectItemTypeProvider* asked = nullptr;
  ForEachNodeType([&](IpwProjectItemTypeProvider* factory, IpwProjectNodeInfo*) {
    if (factory == asked) return false;
    asked = factory;
    auto loader = QueryAs<IpwProjectItemFileLoader>(factory);
    if (!loader) return false;
    SafeCallCheck(loader->LoadItemFromFile(manager, AsNode(), BString(fileName).Get(), node.Put()));
    return node != nullptr;
  });
  if (!node) {
    ReportToUser(manager, WideFormat(u"Could not add a child element from the '%s' file.", {fileName}), 0);
    return false;
  }
  std::vector<GUID> keys;
  CollectKeys(node.Get(), keys);
  bool known = false;
  for (const auto& key : keys)
    if (ChildByKey(key)) known = true;
  if (!known) {
    if (auto nodes = GetNodeRegistry(manager)) {
      for (const auto& key : keys) {
        ComPtr<IpwProjectNode> existing;
        if (Succeeded(nodes->GetNodeByKey(key, existing.Put())) && existing) known = true;
      }
    }
  }
  if (known) {
    ReportToUser(manager,
                 WideFormat(u"Unable to add an element from the '%s' file, because this element or its child element "
                            u"already exists in the project suite, or it is a copy of an existing element.",
                            {fileName}),
                 kStyleKeyExists);
    ReleaseNode(node.Get());
    return false;
  }
  if (!AddChildNode(node.Get())) {
    ReleaseNode(node.Get());
    ReportToUser(manager, WideFormat(u"Could not add a child element from the '%s' file.", {fileName}), 0);
    return false;
  }
  if (ReloadCount() > 0) {
    RemoveChildNode(node.Get(), false);
    ReportToUser(manager, kOutsideChangeText, kStyleOutsideChange);
    return false;
  }
  NotifyChildAdded(node.Get());
  addedKeys.insert(addedKeys.end(), keys.begin(), keys.end());
  return true;
}

WideString FindChildFault(IcvBaseManager* manager, IpwProjectNode* container,
                          const std::vector<IpwProjectNode*>& children) {
  auto described = [&](IpwProjectNode* node) {
    return u"[" + GetNodeTypeName(manager, node) + u":" + GuidToWideString(NodeTypeKey(node)) + u"]";
  };
  const WideString where = u" Container: " + GetNodeDisplayPath(container) + u" " + described(container) + u".";
  for (std::size_t i = 0; i < children.size(); ++i) {
    IpwProjectNode* child = children[i];
    const WideString position = IntToWide(static_cast<std::int32_t>(i));
    if (!child) return u"The " + position + u" child is nil." + where;
    if (!QueryAs<IpwProjectNode>(child))
      return u"The " + position + u" child does not support the IpwProjectNode interface." + where;
    if (!QueryAs<IpwProjectContextItem>(child))
      return u"The " + position + u" " + NodeName(child) + u" " + described(child) +
             u" child project node does not support the IpwProjectContextItem interface." + where;
  }
  return {};
}

bool TpwProjectNodeContainer::CheckChildren() {
  if (!childs_) return true;
  std::vector<IpwProjectNode*> children;
  for (std::int32_t i = 0; i < childs_->Count(); ++i) children.push_back(childs_->Get(i));
  WideString fault = FindChildFault(Manager(), AsNode(), children);
  if (fault.empty()) return true;
  ReportToUser(Manager(), fault, 0);
  return false;
}

std::int32_t TpwProjectNodeContainer::ExecuteAction(const GUID& action, const VARIANT& param, VARIANT* result) {
  if (action == kNewItemAction) {
    bool added = AddChild(ParamGuid(param), nullptr);
    if (result) {
      VariantClear(result);
      *result = OleVariant(added).Detach();
    }
    return added ? 0 : 2;
  }
  if (action == kExistingItemAction) {
    bool added = AddExistingChild(ParamText(param)) != nullptr;
    return added ? 0 : 2;
  }
  if (result) VariantClear(result);
  return TpwProjectNode::ExecuteAction(action, param, result);
}

// ---- IpwProjectNodeContainer: off the main thread each call is posted to it.

HRESULT TpwProjectNodeContainer::GetChildEntry(IpwProjectNode* child, IUnknown** entry, VARIANT* value) {
  return SafeCall([&] {
    if (entry) *entry = nullptr;
    if (value) VariantInit(value);
    if (!child || !SameNode(ChildByKey(NodeKey(child)), child)) return;
    auto node = EntryOf(NodeKey(child));
    if (!node) return;
    if (value) *value = OleVariant(GetEntryIndex(node.Get())).Detach();
    if (entry) *entry = node.Detach();
  });
}

HRESULT TpwProjectNodeContainer::AddChild(IpwProjectNode* child, VARIANT_BOOL* added) {
  return SafeCall([&] {
    bool done = OnMainThread() ? AddChildNode(child) : PostAddChild(Manager(), AsContainer(), child);
    if (added) *added = ToWordBool(done);
  });
}

HRESULT TpwProjectNodeContainer::RemoveChild(IpwProjectNode* child, VARIANT_BOOL deleteFiles) {
  return SafeCall([&] {
    if (OnMainThread()) RemoveChildNode(child, deleteFiles != VARIANT_FALSE);
    else PostRemoveChild(Manager(), AsContainer(), child, deleteFiles != VARIANT_FALSE);
  });
}

HRESULT TpwProjectNodeContainer::GetChildCount(std::int32_t* count) {
  return SafeCall([&] { SetOutValue<std::int32_t>(count, ChildCount()); });
}

HRESULT TpwProjectNodeContainer::GetChildAt(std::int32_t index, IpwProjectNode** child) {
  if (!child) return E_POINTER;
  *child = nullptr;
  if (index < 0 || index >= ChildCount()) return E_INVALIDARG;
  return SafeCall([&] { *child = ComPtr<IpwProjectNode>(childs_->Get(index)).Detach(); });
}

HRESULT TpwProjectNodeContainer::ReplaceOnFake(IpwProjectNode* child, IpwProjectNode** newNode,
                                               VARIANT_BOOL* replaced) {
  return SafeCall([&] {
    if (newNode) *newNode = nullptr;
    ComPtr<IpwProjectNode> made;
    bool done =
        OnMainThread() ? ReplaceOnFakeNode(child, made) : PostReplaceOnFake(Manager(), AsContainer(), child, made);
    if (replaced) *replaced = ToWordBool(done);
    if (newNode) *newNode = made.Detach();
  });
}

HRESULT TpwProjectNodeContainer::ReplaceOnReal(IpwFakeProjectNode* fake, IpwProjectNode** newNode,
                                               VARIANT_BOOL* replaced) {
  return SafeCall([&] {
    if (newNode) *newNode = nullptr;
    ComPtr<IpwProjectNode> made;
    bool done =
        OnMainThread() ? ReplaceOnRealNode(fake, made) : PostReplaceOnReal(Manager(), AsContainer(), fake, made);
    if (replaced) *replaced = ToWordBool(done);
    if (newNode) *newNode = made.Detach();
  });
}

}  // namespace pw::project
