#include "project/nodes/base_node.h"

#include "core/host/host_services.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"
#include "project/nodes/project_helpers.h"
#include "project/types/name_rules.h"
#include "project/types/node_info.h"

namespace pw::project {

const WideString TpwPropertyTexts::General = u"General";
const WideString TpwPropertyTexts::Name = u"Name";
const WideString TpwPropertyTexts::NameDescription = u"The project element's name.";
const WideString TpwPropertyTexts::Description = u"Description";
const WideString TpwPropertyTexts::DescriptionDescription = u"A brief description of the element.";
const WideString TpwPropertyTexts::ComputerName = u"Computer name";
const WideString TpwPropertyTexts::ComputerNameDescription = u"The name of the computer where the test was run.";
const WideString TpwPropertyTexts::UserName = u"User name";
const WideString TpwPropertyTexts::UserNameDescription = u"The name of the user who ran the test.";
const WideString TpwPropertyTexts::TypeName = u"Type Name";
const WideString TpwPropertyTexts::TypeNameDescription = u"The element's type.";
const WideString TpwPropertyTexts::StorageName = u"Storage Name";
const WideString TpwPropertyTexts::StorageNameDescription = u"The name of the file that stores the element's data.";
const WideString TpwPropertyTexts::Comment = u"Comment";
const WideString TpwPropertyTexts::CommentDescription = u"Any text stored along with the element.";
const WideString TpwPropertyTexts::FileName = u"File Name";
const WideString TpwPropertyTexts::FileNameDescription = u"The name of the file that stores the element's data.";

namespace {
void CheckOut(const void* p) {
  if (!p) throw EOleSysError(u"Invalid pointer", E_POINTER);
}
[[noreturn]] void BadArgument() { throw EOleSysError(u"The argument is out of range.", E_INVALIDARG); }

OleVariant InfoProperty(IpwProjectNodeInfo* info, std::int32_t index) {
  OleVariant v;
  if (info) SafeCallCheck(info->GetProperty(index, v.Put()));
  return v;
}
bool InfoBool(IpwProjectNodeInfo* info, std::int32_t index) { return info && InfoProperty(info, index).AsBool(); }
WideString InfoText(IpwProjectNodeInfo* info, std::int32_t index) {
  return info ? InfoProperty(info, index).AsString() : WideString();
}

// ---- Iterators

// A walk over a TProjectNodeChilds, checked against its generation.
class TpwBasedListProjectNodeIterator final
    : public Implements<TcvBaseIndexedIterator<const TProjectNodeChilds*>, IpwProjectNodeIterator> {
 public:
  TpwBasedListProjectNodeIterator(const TProjectNodeChilds* list, IUnknown* keepAlive)
      : Implements(list, list ? list->Generation() : 0), keepAlive_(keepAlive) {
    if (list) OnGetGeneration = [list] { return list->Generation(); };
  }
  void Skip(std::int32_t count) override { TcvBaseIndexedIterator::Skip(count); }
  VARIANT_BOOL HasNext() override { return TcvBaseIndexedIterator::HasNext(); }
  void Reset() override { TcvBaseIndexedIterator::Reset(); }
  void Next(IpwProjectNode** node) override {
    CheckOut(node);
    *node = TakeNext();
    if (*node) (*node)->AddRef();
  }

 private:
  ComPtr<IUnknown> keepAlive_;
};

// A walk over an interface list; Next casts each item to a project node.
class TpwBasedIntfListProjectNodeIterator final
    : public Implements<TcvBaseInterfacedListIterator, IpwProjectNodeIterator> {
 public:
  TpwBasedIntfListProjectNodeIterator(IInterfaceList* list, std::function<std::int32_t()> generation)
      : Implements(ComPtr<IInterfaceList>(list), generation ? generation() : 0) {
    OnGetGeneration = std::move(generation);
  }
  void Skip(std::int32_t count) override { TcvBaseInterfacedListIterator::Skip(count); }
  VARIANT_BOOL HasNext() override { return TcvBaseInterfacedListIterator::HasNext(); }
  void Reset() override { TcvBaseInterfacedListIterator::Reset(); }
  void Next(IpwProjectNode** node) override {
    CheckOut(node);
    *node = nullptr;
    ComPtr<IUnknown> item = TcvBaseInterfacedListIterator::Next();
    *node = CastHostObject<IpwProjectNode>(item.Get()).Detach();
  }
};

// A walk over a fixed list of interfaces.
template <class Intf, class Item>
class TFixedListIterator final : public Implements<TcvBaseIterator, Intf> {
 public:
  explicit TFixedListIterator(std::vector<ComPtr<Item>> items)
      : Implements<TcvBaseIterator, Intf>(0), items_(std::move(items)) {}
  void Skip(std::int32_t count) override { index_ = Advanced(index_, count); }
  VARIANT_BOOL HasNext() override {
    return ToWordBool(index_ >= 0 && static_cast<std::size_t>(index_) < items_.size());
  }
  void Reset() override { index_ = 0; }
  void Next(Item** item) override {
    CheckOut(item);
    if (!HasNext()) throw EListError(ListIndexErrorMessage(index_));
    *item = items_[static_cast<std::size_t>(index_++)].Get();
    if (*item) (*item)->AddRef();
  }

 private:
  using TcvBaseIterator::Advanced;
  std::vector<ComPtr<Item>> items_;
  std::int32_t index_ = 0;
};
}  // namespace

ComPtr<IpwProjectNodeIterator> MakeEmptyNodeIterator() {
  return MakeObject<TFixedListIterator<IpwProjectNodeIterator, IpwProjectNode>>(std::vector<ComPtr<IpwProjectNode>>{});
}
ComPtr<IpwTestIterator> MakeEmptyTestIterator() {
  return MakeObject<TFixedListIterator<IpwTestIterator, IUnknown>>(std::vector<ComPtr<IUnknown>>{});
}
ComPtr<IpwProjectNodeIterator> MakeInterfaceListNodeIterator(IInterfaceList* list,
                                                             std::function<std::int32_t()> generation) {
  return MakeObject<TpwBasedIntfListProjectNodeIterator>(list, std::move(generation));
}

ComPtr<IpwProjectNodeIterator> MakeNodeListIterator(std::vector<ComPtr<IpwProjectNode>> nodes) {
  return MakeObject<TFixedListIterator<IpwProjectNodeIterator, IpwProjectNode>>(std::move(nodes));
}

// ---- TpwBaseProjectNode

TpwBaseProjectNode::TpwBaseProjectNode(IpwProjectNode* parent, const GUID& typeKey, const GUID& key)
    : parent_(parent), key_(key), typeKey_(typeKey) {
  OleCheck(CreateGuid(instanceKey_));
}

TpwBaseProjectNode::~TpwBaseProjectNode() = default;

void TpwBaseProjectNode::Constructed() noexcept {
  Implements::Constructed();
  properties_.resize(static_cast<std::size_t>(std::max(0, PropertyCount())));
}

void* TpwBaseProjectNode::GetInterface(const IID& riid) noexcept {
  if (riid == kNodeLastErrorAltIid) return static_cast<IpwNodeLastError*>(this);
  return Implements::GetInterface(riid);
}

ComPtr<IpwProjectNodeInfo> TpwBaseProjectNode::TypeInfo() const {
  return manager_ ? GetNodeInfo(manager_.Get(), typeKey_) : nullptr;
}

void TpwBaseProjectNode::SendNodeChanged() {
  auto broker = GetObjectBroker(manager_.Get());
  if (!broker) return;
  ComPtr<IUnknown> object;
  SafeCallCheck(broker->GetObject(IpwProjectNodeEvents::iid, -1, object.Put()));
  ComPtr<IpwProjectNodeEvents> events;
  if (!object || Failed(object->QueryInterface(IpwProjectNodeEvents::iid, events.PutVoid())) || !events) return;
  SafeCallCheck(events->NodeChanged(1, static_cast<IpwProjectNodeInternal*>(this)));
}

void TpwBaseProjectNode::DoChanged(bool notify) {
  if (updateCount_ > 0) return;
  if (notify) SendNodeChanged();
  ++changeCount_;
}

void TpwBaseProjectNode::MarkOwnerModified() {
  ComPtr<IpwProjectNode> self(static_cast<IpwProjectNodeInternal*>(this));
  for (auto p = parent_; p; p = NodeParent(p.Get())) {
    ComPtr<IpwPersistentProjectNode> persistent;
    if (Failed(p->QueryInterface(IpwPersistentProjectNode::iid, persistent.PutVoid())) || !persistent) continue;
    if (HasChildWithInstance(p.Get(), self.Get())) SafeCallCheck(persistent->SetModified(VARIANT_TRUE));
    return;
  }
}

void TpwBaseProjectNode::ChangeName(WideStringView newNameView) {
  WideString newName(newNameView);
  if (newName == name_) return;
  if (IsUpdating()) {
    name_ = newName;
    return;
  }
  if (!ValidateName(newName, true)) return;
  WideString oldName = name_;
  name_ = newName;
  NameChanged(oldName, newName);
  DoChanged(true);
}

void TpwBaseProjectNode::ReportNameError(WideStringView text, std::int32_t helpContext) {
  if (!manager_) throw EOleSysError(WideString(text), E_FAIL);
  ShowProjectError(manager_.Get(), text, helpContext);
}

bool TpwBaseProjectNode::ApplyNameRule(WideString& newName, bool allowCorrection, const WideString& typeCaption) {
  std::uint8_t storage = GetStorageType();
  WideString corrected, message;
  std::int32_t context;
  if (storage == 1) {
    if (CorrectFileName(newName, corrected)) return true;
    message = FileNameRuleMessage(newName, typeCaption);
    context = 4008;
  } else if (storage == 2 || storage == 3) {
    GUID language = storage == 3 ? kLetterFirstLanguageKey
                                 : GetProjectLanguage(static_cast<IpwProjectNodeInternal*>(this), manager_.Get());
    if (CorrectIdentifier(newName, language, corrected)) return true;
    message = IdentifierRuleMessage(newName, typeCaption, language == kLetterFirstLanguageKey);
    context = 4078;
  } else {
    return true;
  }
  if (!manager_ || !IsHostInteractive(manager_.Get())) throw EOleSysError(message, E_FAIL);
  if (!allowCorrection || WideTrim(corrected).empty()) {
    ShowProjectError(manager_.Get(), message, context);
    return false;
  }
  if (AskCorrection(manager_.Get(), CorrectionQuestion(message, corrected)) != 1) return false;
  newName = corrected;
  return true;
}

bool TpwBaseProjectNode::ValidateName(WideString& newName, bool allowCorrection) {
  auto info = TypeInfo();
  if (info) {
    bool single = InfoBool(info.Get(), kInfoSingleInstance);
    bool numbered = InfoBool(info.Get(), kInfoNumberedNames);
    if (name_.empty()) {
      if (single && !numbered && newName != InfoText(info.Get(), kInfoTypeName)) {
        ReportNameError(WideFormat(u"The '%s' name is invalid for the %s "
                                   u"element.\r\nThe name '%s' should be used.",
                                   {newName, InfoText(info.Get(), kInfoCaption), InfoText(info.Get(), kInfoTypeName)}),
                        4112);
        return false;
      }
    } else if (!numbered && newName != name_) {
      ReportNameError(WideFormat(kNameCannotChangeMessage, {name_}), 4007);
      return false;
    }
  }
  if (WideTrim(newName).empty()) {
    ReportNameError(kEmptyNameMessage, 0);
    return false;
  }
  if (newName.size() > kMaxNameLength) {
    ReportNameError(kNameTooLongMessage, 0);
    return false;
  }
  if (!ApplyNameRule(newName, allowCorrection, InfoText(info.Get(), kInfoCaption))) return false;
  if (parent_) {
    auto same = FindChildNodeByName(parent_.Get(), newName);
    if (same && NodeKey(same.Get()) != key_) {
      ReportNameError(WideFormat(u"An element with the name '%s' already exists.", {newName}), 4189);
      return false;
    }
  }
  if (!name_.empty() && reloadCount_ == 0 && !IsUpdating() && manager_) {
    ComPtr<IpwProjectNode> owner;
    ComPtr<IpwProjectNode> self(static_cast<IpwProjectNodeInternal*>(this));
    for (auto p = parent_; p; p = NodeParent(p.Get())) {
      ComPtr<IpwPersistentProjectNode> persistent;
      if (Succeeded(p->QueryInterface(IpwPersistentProjectNode::iid, persistent.PutVoid())) && persistent) {
        owner = p;
        break;
      }
    }
    if (owner) {
      auto registry = GetNodeRegistry(manager_.Get());
      if (registry) {
        VARIANT_BOOL canEdit = VARIANT_FALSE;
        SafeCallCheck(registry->CanEdit(owner.Get(), &canEdit));
        if (!canEdit) return false;
        SafeCallCheck(registry->BeginEdit(owner.Get()));
      }
    }
  }
  return true;
}

ComPtr<IpwPropertyObject> TpwBaseProjectNode::CreatePropertyObject(std::int32_t index) {
  IpwPropertyObjectOwner* owner = manager_ ? static_cast<IpwPropertyObjectOwner*>(this) : nullptr;
  switch (index) {
    case 0: {
      bool readOnly = !manager_ || !InfoBool(TypeInfo().Get(), kInfoNumberedNames);
      return MakeObject<TpwPropertyObject>(&TpwPropertyTexts::Name, &TpwPropertyTexts::General,
                                           &TpwPropertyTexts::NameDescription, readOnly, 0, owner);
    }
    case 1:
      return MakeObject<TpwPropertyObject>(&TpwPropertyTexts::Description, &TpwPropertyTexts::General,
                                           &TpwPropertyTexts::DescriptionDescription, true, 1, owner);
    case 2:
      return MakeObject<TpwPropertyObject>(&TpwPropertyTexts::TypeName, &TpwPropertyTexts::General,
                                           &TpwPropertyTexts::TypeNameDescription, true, 2, owner);
    default:
      BadArgument();
  }
}

OleVariant TpwBaseProjectNode::Attribute(std::int32_t id) {
  switch (id) {
    case 1:
      return OleVariant();
    case 4: {
      HBITMAP handle = bitmap_ ? bitmap_->GetBitmapHandle() : 0;
      return OleVariant(static_cast<std::int32_t>(handle ? CopyImage(handle) : 0));
    }
    case 5:
      return comment_;
    case 6:
      return OleVariant(integerAttribute_);
    case 7:
      return OleVariant(false);
    default:
      BadArgument();
  }
}

void TpwBaseProjectNode::ChangeAttribute(std::int32_t id, const OleVariant& value) {
  switch (id) {
    case 4: {
      if (!bitmap_) return;
      bool changed = false;
      bitmap_->SetBitmapHandle(static_cast<HBITMAP>(value.AsInt()), changed);
      if (changed) SendNodeChanged();
      return;
    }
    case 5:
      comment_ = value.IsEmpty() || value.IsNull() ? WideString() : value.AsString();
      SendNodeChanged();
      return;
    case 6:
      integerAttribute_ = value.AsInt();
      return;
    default:
      BadArgument();
  }
}

GUID TpwBaseProjectNode::GuidAttribute(std::int32_t index) {
  if (index != 0) BadArgument();
  return instanceKey_;
}

void TpwBaseProjectNode::ChangeGuidAttribute(std::int32_t, const GUID&) { BadArgument(); }

ComPtr<IpwProjectNodeIterator> TpwBaseProjectNode::Children() { return MakeEmptyNodeIterator(); }
ComPtr<IpwTestIterator> TpwBaseProjectNode::Tests() { return MakeEmptyTestIterator(); }

void TpwBaseProjectNode::DoInitialize(IcvBaseManager* manager) {
  manager_ = manager;
  bitmap_ = std::make_unique<TpwProjectNodePersonalBitmap>(manager, typeKey_);
}

void TpwBaseProjectNode::DoFinalize() {
  for (auto& p : properties_) {
    ComPtr<IpwPropertyObjectEx> ex;
    if (p && Succeeded(p->QueryInterface(IpwPropertyObjectEx::iid, ex.PutVoid())) && ex) ex->Detach();
    p = nullptr;
  }
  bitmap_.reset();
  parent_ = nullptr;
  manager_ = nullptr;
}

// ---- Interface methods

HRESULT TpwBaseProjectNode::GetKey(GUID* key) {
  return SafeCall([&] { CheckOut(key), *key = key_; });
}
HRESULT TpwBaseProjectNode::GetName(BSTR* name) {
  return SafeCall([&] { CheckOut(name), *name = SysAllocString(name_); });
}
HRESULT TpwBaseProjectNode::SetName(BSTR name) {
  return SafeCall([&] { ChangeName(BstrView(name)); });
}
HRESULT TpwBaseProjectNode::GetTypeKey(GUID* typeKey) {
  return SafeCall([&] { CheckOut(typeKey), *typeKey = typeKey_; });
}
HRESULT TpwBaseProjectNode::GetAttribute(std::int32_t id, VARIANT* value) {
  return SafeCall([&] {
    CheckOut(value);
    OleVariant v = Attribute(id);
    VariantInit(value);
    *value = v.Detach();
  });
}
HRESULT TpwBaseProjectNode::SetAttribute(std::int32_t id, const VARIANT& value) {
  return SafeCall([&] { ChangeAttribute(id, OleVariant(value)); });
}
HRESULT TpwBaseProjectNode::GetGuidAttribute(std::int32_t index, GUID* value) {
  return SafeCall([&] { CheckOut(value), *value = GuidAttribute(index); });
}
HRESULT TpwBaseProjectNode::SetGuidAttribute(std::int32_t index, const GUID& value) {
  return SafeCall([&] { ChangeGuidAttribute(index, value); });
}
HRESULT TpwBaseProjectNode::GetParent(IpwProjectNode** parent) {
  return SafeCall([&] {
    CheckOut(parent);
    *parent = ComPtr<IpwProjectNode>(parent_).Detach();
  });
}
HRESULT TpwBaseProjectNode::GetChildren(IpwProjectNodeIterator** children) {
  return SafeCall([&] { CheckOut(children), *children = Children().Detach(); });
}
HRESULT TpwBaseProjectNode::HasTests(VARIANT_BOOL* result) {
  return SafeCall([&] { CheckOut(result), *result = ToWordBool(NodeHasTests()); });
}
HRESULT TpwBaseProjectNode::GetTestContext(IUnknown** context) {
  return SafeCall([&] { CheckOut(context), *context = TestContext().Detach(); });
}
HRESULT TpwBaseProjectNode::GetTests(IpwTestIterator** tests) {
  return SafeCall([&] { CheckOut(tests), *tests = Tests().Detach(); });
}
HRESULT TpwBaseProjectNode::Initialize(IcvBaseManager* manager) {
  return SafeCall([&] { DoInitialize(manager); });
}
HRESULT TpwBaseProjectNode::Finalize() {
  return SafeCall([&] { DoFinalize(); });
}
HRESULT TpwBaseProjectNode::FinalizeNode() {
  return SafeCall([&] {
    finalizing_ = true;
    struct Reset {
      bool& flag;
      ~Reset() { flag = false; }
    } reset{finalizing_};
    DoFinalize();
  });
}
HRESULT TpwBaseProjectNode::CanRelease(VARIANT_BOOL* result) {
  return SafeCall([&] { CheckOut(result), *result = ToWordBool(NodeCanRelease()); });
}
HRESULT TpwBaseProjectNode::GetInstanceKey(GUID* key) {
  return SafeCall([&] { CheckOut(key), *key = instanceKey_; });
}
HRESULT TpwBaseProjectNode::GetPropertyCount(std::int32_t* count) {
  return SafeCall([&] { CheckOut(count), *count = PropertyCount(); });
}
HRESULT TpwBaseProjectNode::GetProperty(std::int32_t index, IpwPropertyObject** property) {
  return SafeCall([&] {
    CheckOut(property);
    if (index < 0 || static_cast<std::size_t>(index) >= properties_.size()) BadArgument();
    auto& entry = properties_[static_cast<std::size_t>(index)];
    if (!entry) entry = CreatePropertyObject(index);
    *property = ComPtr<IpwPropertyObject>(entry).Detach();
  });
}

void TpwBaseProjectNode::GetPropertyValue(std::int32_t index, VARIANT* value) {
  CheckOut(value);
  OleVariant v;
  switch (index) {
    case 0:
      v = name_;
      break;
    case 1:
      v = InfoText(TypeInfo().Get(), kInfoDescription);
      break;
    case 2:
      v = InfoText(TypeInfo().Get(), kInfoCaption);
      break;
    default:
      BadArgument();
  }
  VariantInit(value);
  *value = v.Detach();
}

void TpwBaseProjectNode::SetPropertyValue(std::int32_t index, const VARIANT& value) {
  if (index != 0) BadArgument();
  ChangeName(OleVariant(value).AsString());
}

HRESULT TpwBaseProjectNode::GetErrorCode(std::int32_t* code) {
  return SafeCall([&] { CheckOut(code), *code = errorCode_; });
}
HRESULT TpwBaseProjectNode::GetErrorMessage(BSTR* message) {
  return SafeCall([&] { CheckOut(message), *message = SysAllocString(errorMessage_); });
}
void TpwBaseProjectNode::SetNodeError(std::int32_t code, BSTR message) {
  errorCode_ = code;
  errorMessage_ = WideString(BstrView(message));
}

HRESULT TpwBaseProjectNode::SetBitmapHandle(std::int32_t handle) {
  return SafeCall([&] {
    if (!bitmap_) return;
    bool changed = false;
    bitmap_->SetBitmapHandle(handle, changed);
    if (changed) SendNodeChanged();
  });
}
HRESULT TpwBaseProjectNode::GetBitmapPart(std::int32_t index, std::int32_t* handle) {
  return SafeCall([&] { CheckOut(handle), *handle = bitmap_ ? bitmap_->GetBitmapPart(index) : 0; });
}
HRESULT TpwBaseProjectNode::SetBitmapPart(std::int32_t index, std::int32_t handle) {
  return SafeCall([&] {
    if (!bitmap_) return;
    bool changed = false;
    bitmap_->SetBitmapPart(index, handle, changed);
    if (changed) SendNodeChanged();
  });
}
HRESULT TpwBaseProjectNode::GetBitmapHandle(std::int32_t* handle) {
  return SafeCall([&] { CheckOut(handle), *handle = bitmap_ ? bitmap_->GetBitmapHandle() : 0; });
}
void TpwBaseProjectNode::GetManager(IcvBaseManager** manager) {
  CheckOut(manager);
  *manager = ComPtr<IcvBaseManager>(manager_).Detach();
}

// ---- TProjectNodeChilds

bool TProjectNodeChilds::Add(IpwProjectNodeRegistry* registry, IpwProjectNode* child) {
  if (!child) return false;
  GUID key = NodeKey(child);
  if (byKey_.contains(key)) return false;
  GUID type = NodeTypeKey(child);
  auto known = allowedTypes_.find(type);
  bool allowed;
  if (known != allowedTypes_.end()) {
    allowed = known->second;
  } else {
    allowed = false;
    ComPtr<IpwProjectNodeInfo> info;
    if (registry) SafeCallCheck(registry->GetNodeInfo(type, info.Put()));
    if (info) {
      GUID parentType{}, infoKey{};
      SafeCallCheck(info->GetParentTypeKey(&parentType));
      SafeCallCheck(info->GetKey(&infoKey));
      allowed = parentType == ownerTypeKey_ || infoKey == kAnyParentTypeKey;
      allowedTypes_.emplace(type, allowed);
    }
  }
  if (!allowed) return false;
  items_.emplace_back(child);
  byKey_.emplace(key, child);
  ++generation_;
  return true;
}

bool TProjectNodeChilds::Remove(IpwProjectNode* child) {
  std::int32_t index = IndexOf(child);
  if (index < 0) return false;
  ComPtr<IpwProjectNode> held = std::move(items_[static_cast<std::size_t>(index)]);
  items_.erase(items_.begin() + index);
  for (auto it = byKey_.begin(); it != byKey_.end(); ++it)
    if (it->second == child) {
      byKey_.erase(it);
      break;
    }
  ++generation_;
  return true;
}

bool TProjectNodeChilds::Replace(IpwProjectNode* oldChild, IpwProjectNode* newChild) {
  std::int32_t index = IndexOf(oldChild);
  if (index < 0 || !newChild) return false;
  GUID oldKey = NodeKey(oldChild), newKey = NodeKey(newChild);
  if (newKey != oldKey && byKey_.contains(newKey)) return false;
  byKey_.erase(oldKey);
  byKey_.emplace(newKey, newChild);
  items_[static_cast<std::size_t>(index)] = ComPtr<IpwProjectNode>(newChild);
  ++generation_;
  return true;
}

bool TProjectNodeChilds::Clear() {
  bool had = !items_.empty();
  std::vector<ComPtr<IpwProjectNode>> old;
  old.swap(items_);
  byKey_.clear();
  ++generation_;
  return had;
}

std::int32_t TProjectNodeChilds::IndexOf(IpwProjectNode* child) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].Get() == child) return static_cast<std::int32_t>(i);
  return -1;
}

std::int32_t TProjectNodeChilds::IndexOfKey(const GUID& key) const {
  auto at = byKey_.find(key);
  return at == byKey_.end() ? -1 : IndexOf(at->second);
}

IpwProjectNode* TProjectNodeChilds::FindByKey(const GUID& key) const {
  auto at = byKey_.find(key);
  return at == byKey_.end() ? nullptr : at->second;
}

ComPtr<IpwProjectNodeIterator> TProjectNodeChilds::GetIterator(IUnknown* keepAlive) const {
  return MakeObject<TpwBasedListProjectNodeIterator>(this, keepAlive);
}

bool TProjectNodeChilds::AllChildrenCanRelease() const {
  for (const auto& child : items_) {
    ComPtr<IpwProjectNodeInternal> internal;
    if (Failed(child->QueryInterface(IpwProjectNodeInternal::iid, internal.PutVoid())) || !internal) continue;
    VARIANT_BOOL can = VARIANT_TRUE;
    SafeCallCheck(internal->CanRelease(&can));
    if (!can) return false;
  }
  return true;
}

}  // namespace pw::project
