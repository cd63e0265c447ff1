#include "host/object_tree.h"

#include <algorithm>

#include "host/code_model.h"
#include "host/plugin_host.h"
#include "core/automation/dispatch_helpers.h"
#include "platform/rtl/strings.h"

namespace pw::host {

namespace {

class TNodeIterator final : public Implements<ComObject, IpwSysNodeIterator> {
 public:
  explicit TNodeIterator(std::vector<ComPtr<TSysNode>> nodes) : nodes_(std::move(nodes)) {}
  HRESULT HasNext(VARIANT_BOOL* result) override {
    return SafeCall([&] { SetOutValue<VARIANT_BOOL>(result, ToWordBool(index_ < nodes_.size())); });
  }
  HRESULT Next(IpwSysNode** node) override {
    return SafeCall([&] {
      if (index_ >= nodes_.size()) throw EOleSysError(u"No more nodes", E_FAIL);
      SetOut(node, ComPtr<IpwSysNode>(nodes_[index_++].Get()));
    });
  }

 private:
  std::vector<ComPtr<TSysNode>> nodes_;
  std::size_t index_ = 0;
};

// A fresh copy of a name element without its qualifier: whoever asks for a node's name may
// chain it to other elements without changing the host's own.
ComPtr<IcvSyntaxCodeInvokeExpression> CopyNameElement(IcvSyntaxCodeInvokeExpression* e) {
  auto copy = MakeObject<TSyntaxInvokeExpression>();
  BString name;
  OleCheck(e->get_Name(name.Put()));
  OleCheck(copy->put_Name(name.Get()));
  ComPtr<IcvSyntaxExpressionCollection> args;
  OleCheck(e->get_Arguments(args.Put()));
  OleCheck(copy->put_Arguments(args.Get()));
  VARIANT_BOOL has = VARIANT_FALSE;
  OleCheck(e->get_HasArgumentList(&has));
  OleCheck(copy->put_HasArgumentList(has));
  return copy;
}

OleVariant ElementValue(IcvSyntaxCodeInvokeExpression* e) { return OleVariant(static_cast<IUnknown*>(e)); }

// Guards every node's link to its parent, and the last release of a node.
std::recursive_mutex& ParentLinks() {
  static std::recursive_mutex lock;
  return lock;
}

}  // namespace

// What a weak reference reads: the node while it is alive, cleared by its destructor.
struct TSysNode::Life {
  std::mutex lock;
  TSysNode* node;
};

namespace {

class TNodeWeakReference final : public Implements<ComObject, IpwNodeReference> {
 public:
  explicit TNodeWeakReference(std::shared_ptr<TSysNode::Life> life) : life_(std::move(life)) {}
  HRESULT Resolve(IUnknown** node) override {
    return SafeCall([&] {
      ComPtr<TSysNode> alive;
      {
        std::lock_guard guard(life_->lock);
        if (life_->node && life_->node->TryAddRef()) alive = ComPtr<TSysNode>::Attach(life_->node);
      }
      SetOut(node, alive && alive->InTree() ? ComPtr<IUnknown>(static_cast<IpwSysNodeEx*>(alive.Get())) : nullptr);
    });
  }

 private:
  std::shared_ptr<TSysNode::Life> life_;
};

}  // namespace

// Offers a node (and, with `subtree`, everything below it as it is before the offer) to the
// builders; a builder whose ExtendNode adds a slice serves the node. Answers the failures.
// The key of the open-applications context table (a page's native context).
constexpr GUID kContextTableKey = MakeGuid("{010C9CA9-DAD6-477B-92A5-A435CF493762}");

// The kinds of process and window objects that builders ask a node for.
constexpr GUID kProcessKindKey = MakeGuid("{89700BDC-D5D8-4BE2-ACC3-E934A765A45A}");
constexpr GUID kWindowKindKey = MakeGuid("{E9E061ED-0F79-433C-941B-A6235328FA2C}");

// The kind of the builders that extend the Sys node only.
constexpr GUID kSysNodeBuilderKind = MakeGuid("{4A9F9237-C1F7-4B80-9573-8440D7B37DC6}");

std::vector<WideString> OfferToBuilders(TNodeBuilders& builders, TSysNode& node, bool subtree) {
  std::vector<ComPtr<IpwSysNodeBuilder>> list;
  std::uint64_t generation;
  {
    std::lock_guard guard(builders.lock);
    list = builders.list;
    generation = builders.generation;
  }
  std::vector<ComPtr<TSysNode>> children;
  if (subtree) children = node.Children();  // a child a builder adds is offered as it joins
  std::vector<WideString> failures;
  const bool root = !node.Parent();
  for (const auto& b : list) {
    // A builder of the Sys node's kind is offered the root alone.
    GUID kind{};
    if (!root && Succeeded(b->GetKind(&kind)) && kind == kSysNodeBuilderKind) continue;
    const std::size_t before = node.Slices().size();
    HRESULT hr = b->ExtendNode(static_cast<IpwSysNodeEx*>(&node));
    if (node.Slices().size() > before) node.NoteServedBy(b.Get(), generation);
    if (Failed(hr)) failures.push_back(node.FullNameText() + u": " + FailureText(hr));
  }
  for (const auto& c : children) {
    auto more = OfferToBuilders(builders, *c, true);
    failures.insert(failures.end(), more.begin(), more.end());
  }
  return failures;
}

TSysNode::TSysNode(TSysNode* parent, WideStringView name, std::vector<OleVariant> args, const GUID& key)
    : AutoImplements({IpwScriptSysNode::iid}),
      parent_(parent),
      key_(key),
      builders_(parent ? parent->builders_ : nullptr) {
  if (key_ == GUID_NULL) OleCheck(CreateGuid(key_));
  life_ = std::make_shared<Life>();
  life_->node = this;
  name_ = WideString(name);
  properties_[kNodeNameProperty] = ElementValue(MakeInvokeExpression(name, args).Get());
}

TSysNode::~TSysNode() {
  {
    std::lock_guard guard(life_->lock);
    life_->node = nullptr;
  }
  std::lock_guard links(ParentLinks());
  for (auto& c : children_) c->parent_ = nullptr;
  for (auto& e : extensions_) e->parent_ = nullptr;
}

ComPtr<TSysNode> TSysNode::Parent() const {
  std::lock_guard links(ParentLinks());
  if (!parent_ || !parent_->TryAddRef()) return nullptr;  // none, or one on its way out
  return ComPtr<TSysNode>::Attach(parent_);
}

ComPtr<TSysNode> TSysNode::AddChild(WideStringView name, std::vector<OleVariant> args, const GUID& key,
                                    const std::function<void(TSysNode&)>& prepare) {
  auto child = MakeObject<TSysNode>(this, name, std::move(args), key);
  if (prepare) prepare(*child);
  {
    std::lock_guard guard(lock_);
    children_.push_back(child);
  }
  if (builders_) {
    auto failures = OfferToBuilders(*builders_, *child, false);
    if (!failures.empty()) {
      std::lock_guard guard(builders_->lock);
      builders_->failures.insert(builders_->failures.end(), failures.begin(), failures.end());
    }
  }
  return child;
}

ComPtr<TSysNode> TSysNode::AddExtension(const GUID& key) {
  auto ext = MakeObject<TSysNode>(this, u"", std::vector<OleVariant>{}, key);
  ext->ClearName();
  std::lock_guard guard(lock_);
  extensions_.push_back(ext);
  return ext;
}

void TSysNode::RemoveChild(TSysNode* child) {
  ComPtr<TSysNode> removed;
  {
    std::lock_guard guard(lock_);
    auto at = std::find_if(children_.begin(), children_.end(), [&](const auto& c) { return c.Get() == child; });
    if (at == children_.end()) return;
    removed = std::move(*at);
    children_.erase(at);
  }
  removed->removed_ = true;
  std::lock_guard links(ParentLinks());
  removed->parent_ = nullptr;
}

bool TSysNode::InTree() const {
  if (removed_) return false;
  for (auto p = Parent(); p; p = p->Parent())
    if (p->removed_) return false;
  return true;
}

void TSysNode::SetObjectType(const GUID& typeKey) {
  std::lock_guard guard(lock_);
  typeKey_ = typeKey;
}

void TSysNode::SetMappedName(WideStringView name, std::vector<OleVariant> args) {
  auto e = MakeInvokeExpression(name, args);
  std::lock_guard guard(lock_);
  mappedName_ = e;
}

void TSysNode::SetSecondName(WideStringView name, std::vector<OleVariant> args) {
  SetProperty(kNodeSecondNameProperty, ElementValue(MakeInvokeExpression(name, args).Get()));
}

void TSysNode::SetProperty(const GUID& key, const OleVariant& value) {
  std::lock_guard guard(lock_);
  properties_[key] = value;
}

void TSysNode::SetContextObject(const GUID& key, IUnknown* object) {
  std::lock_guard guard(lock_);
  contextObjects_[key] = object;
}

void TSysNode::ReleaseAttachments() {
  std::vector<Slice> slices;
  std::map<GUID, ComPtr<IUnknown>> contexts, natives;
  ComPtr<IUnknown> pageContext;
  std::vector<ComPtr<TSysNode>> below;
  {
    std::lock_guard guard(lock_);
    slices.swap(slices_);
    sliceRoutes_.clear();
    contexts.swap(contextObjects_);
    natives.swap(natives_);
    pageContext = std::move(pageContext_);
    below = children_;
    below.insert(below.end(), extensions_.begin(), extensions_.end());
  }
  // Released outside the lock: a slice's destructor may reach the tree.
  slices.clear();
  contexts.clear();
  natives.clear();
  pageContext = nullptr;
  for (auto& node : below) node->ReleaseAttachments();
}

void TSysNode::ClearName() {
  std::lock_guard guard(lock_);
  properties_.erase(kNodeNameProperty);
}

std::vector<ComPtr<TSysNode>> TSysNode::Children() const {
  std::lock_guard guard(lock_);
  return children_;
}

ComPtr<TSysNode> TSysNode::FindChild(const std::function<bool(const TSysNode&)>& test) const {
  std::lock_guard guard(lock_);
  for (const auto& c : children_)
    if (test(*c)) return c;
  return nullptr;
}

ComPtr<TSysNode> TSysNode::FindByKey(const GUID& key) {
  if (key_ == key) return ComPtr<TSysNode>(this);
  for (const auto& c : Children())
    if (auto found = c->FindByKey(key)) return found;
  return nullptr;
}

WideString TSysNode::FullNameText() const {
  // The node and its ancestors, each counted while the name is built.
  std::vector<ComPtr<TSysNode>> line;
  for (ComPtr<TSysNode> n(const_cast<TSysNode*>(this)); n; n = n->Parent()) line.push_back(n);
  WideString full;
  for (const auto& n : line) {
    std::lock_guard guard(n->lock_);
    auto at = n->properties_.find(kNodeNameProperty);
    if (at == n->properties_.end()) continue;
    auto e = QueryAs<IcvSyntaxCodeInvokeExpression>(at->second.Get().punkVal);
    if (!e) continue;
    WideString own = RenderSyntaxElement(CopyNameElement(e.Get()).Get(), kJavaScriptLanguageKey);
    full = full.empty() ? own : own + u"." + full;
  }
  return full;
}

HRESULT TSysNode::GetParent(IpwSysNode** parent) {
  return SafeCall([&] {
    ComPtr<TSysNode> p = Parent();
    SetOut(parent, ComPtr<IpwSysNode>(p.Get()));
  });
}

HRESULT TSysNode::GetExtensionCount(std::int32_t* count) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutCount(count, extensions_);
  });
}

HRESULT TSysNode::GetExtension(std::int32_t index, IpwSysNode** extension) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutItem(extension, extensions_, index);
  });
}

void TSysNode::NoteServedBy(IpwSysNodeBuilder* builder, std::uint64_t generation) {
  std::lock_guard guard(lock_);
  if (servedGeneration_ != generation) servedBy_.clear();
  servedGeneration_ = generation;
  if (std::find(servedBy_.begin(), servedBy_.end(), builder) == servedBy_.end()) servedBy_.push_back(builder);
}

std::vector<ComPtr<IpwSysNodeBuilder>> TSysNode::ServingBuilders() const {
  std::vector<ComPtr<IpwSysNodeBuilder>> serving;
  if (!builders_) return serving;
  std::vector<IpwSysNodeBuilder*> served;
  std::uint64_t generation;
  {
    std::lock_guard guard(lock_);
    served = servedBy_;
    generation = servedGeneration_;
  }
  std::lock_guard guard(builders_->lock);
  if (generation != builders_->generation) return serving;
  for (const auto& b : builders_->list)
    if (std::find(served.begin(), served.end(), b.Get()) != served.end()) serving.push_back(b);
  return serving;
}

bool TSysNode::PropertyIs(const GUID& key, WideStringView text) const {
  std::lock_guard guard(lock_);
  auto at = properties_.find(key);
  return at != properties_.end() && at->second.Get().vt == VT_BSTR && BstrView(at->second.Get().bstrVal) == text;
}

HRESULT TSysNode::GetPropertyValue(const GUID& key, VARIANT* value) {
  return SafeCall([&] {
    {
      std::lock_guard guard(lock_);
      auto at = properties_.find(key);
      if (at != properties_.end()) {
        const VARIANT& v = at->second.Get();
        if (v.vt == VT_UNKNOWN)
          if (auto e = QueryAs<IcvSyntaxCodeInvokeExpression>(v.punkVal))
            return SetOut(value, ElementValue(CopyNameElement(e.Get()).Get()));
        return SetOut(value, at->second);
      }
    }
    // Asked without the node's lock: a provider reads the node back.
    for (const auto& builder : ServingBuilders()) {
      auto provider = QueryAs<IpwSysNodePropertyProvider>(builder.Get());
      if (!provider) continue;
      OleVariant answer;
      OleCheck(provider->GetNodeProperty(static_cast<IpwSysNodeEx*>(this), key, answer.Ptr()));
      if (answer.Type() != VT_EMPTY) return SetOut(value, answer);
    }
    SetOut(value, OleVariant::Null());
  });
}

HRESULT TSysNode::GetMappedNameElement(IcvSyntaxCodeInvokeExpression** element) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(element, mappedName_ ? CopyNameElement(mappedName_.Get()) : nullptr);
  });
}

void TSysNode::SetChildLoader(ChildLoader loader) {
  std::lock_guard loading(childLoading_);
  childLoader_ = std::move(loader);
}

void TSysNode::LoadChildren(bool refresh) {
  std::lock_guard loading(childLoading_);
  if (!childLoader_ || loadingChildren_) return;
  loadingChildren_ = true;
  try {
    childLoader_(*this, refresh);
  } catch (const std::exception&) {
    // The children stay as they were (a page that went away, a closed engine).
  }
  loadingChildren_ = false;
}

void TSysNode::MoveChild(TSysNode* child, std::size_t index) {
  std::lock_guard guard(lock_);
  auto at = std::find_if(children_.begin(), children_.end(), [&](const auto& c) { return c.Get() == child; });
  if (at == children_.end()) return;
  ComPtr<TSysNode> moved = std::move(*at);
  children_.erase(at);
  children_.insert(children_.begin() + static_cast<std::ptrdiff_t>(std::min(index, children_.size())),
                   std::move(moved));
}

HRESULT TSysNode::GetChildren(IpwSysNodeIterator** children) {
  LoadChildren(false);
  return SafeCall([&] { SetOut(children, MakeObject<TNodeIterator>(Children())); });
}

HRESULT TSysNode::GetKey(GUID* key) {
  return SafeCall([&] { SetOutValue(key, key_); });
}

HRESULT TSysNode::GetNodeKey(GUID* key) { return GetKey(key); }

HRESULT TSysNode::GetChildCount(std::int32_t* count) {
  LoadChildren(false);
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutCount(count, children_);  // counted without a copy of the list
  });
}

HRESULT TSysNode::Refresh() {
  ++refreshes_;
  LoadChildren(true);
  return S_OK;
}

HRESULT TSysNode::GetObjectTypeKey(GUID* typeKey) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutValue(typeKey, typeKey_);
  });
}

HRESULT TSysNode::Resolve(IUnknown** reference) {
  return SafeCall([&] { SetOut(reference, ComPtr<IUnknown>(MakeObject<TNodeWeakReference>(life_)->Identity())); });
}

HRESULT TSysNode::GetNameText(BSTR* name) { return get_Name(name); }

void TSysNode::SetNativeObject(const GUID& kind, IUnknown* object) {
  std::lock_guard guard(lock_);
  if (object)
    natives_[kind] = object;
  else
    natives_.erase(kind);
}

void* TSysNode::GetInterface(const IID& riid) noexcept {
  if ((riid == IpwSysObjectWindow::iid || riid == IpwSysWindowActions::iid) && windowHandle_ == 0) return nullptr;
  if (riid == IpwSysObjectProcess::iid && !isProcess_) return nullptr;
  if (riid == IpwWaitTimeoutValue::iid && waitTimeout_ == INT32_MIN) return nullptr;
  if (riid == IpwSysObjectControlWithPivotWindow::iid && pivotWindow_ == 0) return nullptr;
  if (riid == IpwSysNodeInvoke::iid && !DefaultNativeDispatch()) return nullptr;
  if (riid == IpwSysNodeElementSearch::iid) {
    std::lock_guard guard(lock_);
    if (!elementSearch_) return nullptr;
  }
  return AutoImplements::GetInterface(riid);
}

void TSysNode::SetInterfaceObject(const IID& iid, IUnknown* object) {
  std::lock_guard guard(lock_);
  if (object) interfaceObjects_[iid] = ComPtr<IUnknown>(object);
  else interfaceObjects_.erase(iid);
}

HRESULT TSysNode::QueryMissingInterface(const IID& riid, void** ppv) noexcept {
  ComPtr<IUnknown> object;
  {
    std::lock_guard guard(lock_);
    auto at = interfaceObjects_.find(riid);
    if (at == interfaceObjects_.end()) return E_NOINTERFACE;
    object = at->second;
  }
  return object->QueryInterface(riid, ppv);
}

ComPtr<IDispatch> TSysNode::DefaultNativeDispatch() const {
  ComPtr<IUnknown> native;
  {
    std::lock_guard guard(lock_);
    auto at = natives_.find(GUID_NULL);
    if (at == natives_.end()) return nullptr;
    native = at->second;
  }
  return QueryAs<IDispatch>(native.Get());
}

HRESULT TSysNode::GetNativeIDsOfNames(const GUID& iid, const char16_t* const* names, std::uint32_t count,
                                      std::uint32_t locale, std::int32_t* dispIds) {
  auto native = DefaultNativeDispatch();
  if (!native) return DISP_E_UNKNOWNNAME;
  return native->GetIDsOfNames(iid, names, count, locale, dispIds);
}

void TSysNode::SetElementSearch(ElementSearch search) {
  std::lock_guard guard(lock_);
  elementSearch_ = std::move(search);
}

HRESULT TSysNode::FindElementCandidates(BSTR property, BSTR text, BSTR tag, std::int32_t maxCount,
                                        IpwSysNodeIterator** candidates, VARIANT_BOOL* complete) {
  if (!candidates || !complete) return E_POINTER;
  *candidates = nullptr;
  *complete = VARIANT_FALSE;
  ElementSearch search;
  {
    std::lock_guard guard(lock_);
    search = elementSearch_;
  }
  if (!search) return E_NOTIMPL;
  std::optional<ElementCandidates> found;
  const HRESULT hr = SafeCall([&] {
    found = search(*this, property ? BstrView(property) : WideStringView(), text ? BstrView(text) : WideStringView(),
                   tag ? BstrView(tag) : WideStringView(), maxCount);
  });
  if (Failed(hr)) return hr;
  if (!found) return E_NOTIMPL;
  return SafeCall([&] {
    SetOut(candidates, MakeObject<TNodeIterator>(std::move(found->nodes)));
    *complete = ToWordBool(found->complete);
  });
}

HRESULT TSysNode::InvokeNative(std::int32_t dispId, const GUID& iid, std::uint32_t locale, std::uint16_t flags,
                               DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception, std::uint32_t* argError) {
  auto native = DefaultNativeDispatch();
  if (!native) return DISP_E_MEMBERNOTFOUND;
  return native->Invoke(dispId, iid, locale, flags, params, result, exception, argError);
}

HRESULT TSysNode::GetHandle(std::int32_t* handle) {
  return SafeCall([&] { SetOutValue<std::int32_t>(handle, windowHandle_); });
}

HRESULT TSysNode::GetPivotWindow(std::int32_t* handle) {
  return SafeCall([&] { SetOutValue<std::int32_t>(handle, pivotWindow_); });
}

HRESULT TSysNode::SetContextKey(const GUID& key) {
  std::lock_guard guard(lock_);
  contextKeys_.push_back(key);
  return S_OK;
}

void TSysNode::SetPageContext(IUnknown* context) {
  std::lock_guard guard(lock_);
  pageContext_ = context;
}

ComPtr<IUnknown> TSysNode::PageContextLocked() const {
  if (pageContext_) return pageContext_;
  auto at = contextObjects_.find(kContextTableKey);
  return at == contextObjects_.end() ? nullptr : at->second;
}

HRESULT TSysNode::GetPageContext(IUnknown** context) {
  return SafeCall([&] {
    CheckOut(context);
    std::lock_guard guard(lock_);
    *context = ComPtr<IUnknown>(PageContextLocked()).Detach();
  });
}

std::vector<GUID> TSysNode::ContextKeys() const {
  std::lock_guard guard(lock_);
  return contextKeys_;
}

std::vector<TSysNode::Slice> TSysNode::Slices() const {
  std::lock_guard guard(lock_);
  return slices_;
}

HRESULT TSysNode::GetNativeObject(const GUID& kind, IUnknown** object) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    auto at = natives_.find(kind);
    // A node with a page context is its own native context under the context-table key.
    if (at == natives_.end() && kind == kContextTableKey && PageContextLocked())
      return SetOut(object, ComPtr<IUnknown>(static_cast<IpwNativeContext*>(this)));
    // A process node is its own process object under the process kind.
    if (at == natives_.end() && isProcess_ && kind == kProcessKindKey)
      return SetOut(object, ComPtr<IUnknown>(static_cast<IpwSysObjectProcess*>(this)));
    // A window node is its own window object under the window kind.
    if (at == natives_.end() && windowHandle_ != 0 && kind == kWindowKindKey)
      return SetOut(object, ComPtr<IUnknown>(static_cast<IpwSysObjectWindow*>(this)));
    SetOut(object, at == natives_.end() ? nullptr : at->second);
  });
}

HRESULT TSysNode::AddExtension(const GUID& iid, IUnknown* slice, const GUID& group, std::int32_t tag) {
  return SafeCall([&] {
    auto dispatch = QueryAs<IDispatch>(slice);
    if (!dispatch) throw EOleSysError(u"A slice must answer IDispatch", E_INVALIDARG);
    if (auto attach = QueryAs<IpwNodeSlice>(slice))
      OleCheck(attach->AttachNode(static_cast<IpwSysNodeEx*>(this)));
    std::lock_guard guard(lock_);
    slices_.push_back({iid, dispatch, group, tag});
  });
}

std::size_t TSysNode::FindMemberLocked(WideStringView name) const {
  std::size_t i = 0;
  while (i < members_.size() && !SameTextIgnoringCase(members_[i].name, name)) ++i;
  return i;
}

void TSysNode::SetMemberValue(WideStringView name, const OleVariant& value) {
  std::lock_guard guard(lock_);
  const std::size_t i = FindMemberLocked(name);
  if (i == members_.size()) {
    members_.push_back({WideString(name), value, nullptr});
  } else {
    members_[i].value = value;
    members_[i].function = nullptr;
    members_[i].method = false;
    SetMemberLiveLocked(i, false);
  }
}

void TSysNode::SetFunctionMember(WideStringView name, MemberFunction function, bool method) {
  std::lock_guard guard(lock_);
  const std::size_t i = FindMemberLocked(name);
  if (i == members_.size()) members_.push_back({WideString(name), OleVariant(), nullptr});
  members_[i].function = std::move(function);
  members_[i].method = method;
  SetMemberLiveLocked(i, false);
}

void TSysNode::SetMember(WideStringView name, MemberFunction function) {
  SetFunctionMember(name, std::move(function), false);
}

void TSysNode::SetMethod(WideStringView name, MemberFunction function) {
  SetFunctionMember(name, std::move(function), true);
}

void TSysNode::YieldToSlices(WideStringView name) {
  std::lock_guard guard(lock_);
  const std::size_t i = FindMemberLocked(name);
  if (i == members_.size()) members_.push_back({WideString(name), OleVariant(), nullptr});
  members_[i].yieldsToSlices = true;
}

void TSysNode::SetLiveMember(WideStringView name, MemberFunction function) {
  SetMember(name, std::move(function));
  std::lock_guard guard(lock_);
  SetMemberLiveLocked(FindMemberLocked(name), true);
}

void TSysNode::SetMemberLiveLocked(std::size_t index, bool live) {
  if (members_[index].live == live) return;
  members_[index].live = live;
  WideString names;
  for (const auto& m : members_)
    if (m.live) names += m.name + u";";
  properties_[kLiveMembersProperty] = OleVariant(names);
}

OleVariant TSysNode::MemberValue(WideStringView name) const {
  std::lock_guard guard(lock_);
  const std::size_t i = FindMemberLocked(name);
  return i == members_.size() ? OleVariant() : members_[i].value;
}

void TSysNode::SetProcess(std::int32_t id, WideStringView name, WideStringView commandLine) {
  std::lock_guard guard(lock_);
  isProcess_ = true;
  processId_ = id;
  processName_ = WideString(name);
  commandLine_ = WideString(commandLine);
}

HRESULT TSysNode::GetProcessId(std::int32_t* id) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOutValue<std::int32_t>(id, processId_);
  });
}

HRESULT TSysNode::GetProcessName(BSTR* name) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(name, processName_);
  });
}

HRESULT TSysNode::GetCommandLine(BSTR* commandLine) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    SetOut(commandLine, commandLine_);
  });
}

void TSysNode::SetWindowActionHandler(std::function<void(WideStringView)> handler) {
  std::lock_guard guard(lock_);
  windowActionHandler_ = std::move(handler);
}

void TSysNode::RecordWindowAction(WideStringView action) {
  std::function<void(WideStringView)> handler;
  {
    std::lock_guard guard(lock_);
    WideString entry(action);
    if (waitTimeout_ != INT32_MIN) entry += u" " + IntToWide(waitTimeout_.load());
    windowActions_.push_back(std::move(entry));
    handler = windowActionHandler_;
  }
  if (handler) handler(action);
}

std::vector<WideString> TSysNode::WindowActions() const {
  std::lock_guard guard(lock_);
  return windowActions_;
}

HRESULT TSysNode::Activate() {
  return SafeCall([&] { RecordWindowAction(u"activate"); });
}

HRESULT TSysNode::Restore() {
  return SafeCall([&] { RecordWindowAction(u"restore"); });
}

HRESULT TSysNode::Close(std::int32_t waitTime) {
  return SafeCall([&] { RecordWindowAction(u"close " + IntToWide(waitTime)); });
}

HRESULT TSysNode::GetValue(std::int32_t* value) {
  return SafeCall([&] { SetOutValue<std::int32_t>(value, waitTimeout_.load()); });
}

HRESULT TSysNode::SetValue(std::int32_t value) {
  waitTimeout_ = value;
  return S_OK;
}

HRESULT TSysNode::InvokeMember(std::size_t index, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* excepInfo) {
  const std::uint32_t count = params ? params->cArgs : 0;
  std::vector<OleVariant> args;
  for (std::uint32_t i = 0; i < count; ++i) {
    const VARIANT& slot = params->rgvarg[count - 1 - i];
    OleVariant v;
    const VARIANT* at = &slot;
    while (at->vt == (VT_BYREF | VT_VARIANT) && at->pvarVal) at = at->pvarVal;
    if (Failed(VariantCopyInd(v.Put(), at))) return DISP_E_TYPEMISMATCH;
    args.push_back(std::move(v));
  }
  try {
    OleVariant answer;
    MemberFunction function;
    {
      std::lock_guard guard(lock_);
      if (index == SIZE_MAX) {
        answer = OleVariant(InTree());
      } else {
        Member& m = members_[index];
        // A method runs only when called: a read makes a script see a function, a put has no target.
        if (m.function && m.method && !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        if (!m.function && (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && !args.empty()) {
          m.value = args.back();
          return S_OK;
        }
        function = m.function;
        answer = m.value;
      }
    }
    if (function) answer = function(args);
    if (result) {
      VariantClear(result);
      OleCheck(VariantCopy(result, &answer.Get()));
    }
    return S_OK;
  } catch (const EOleSysError& e) {
    if (excepInfo) {
      ClearExcepInfo(*excepInfo);
      excepInfo->bstrDescription = SysAllocString(e.Message());
      excepInfo->scode = e.ErrorCode();
    }
    return DISP_E_EXCEPTION;
  } catch (const std::exception&) {
    if (excepInfo) {
      ClearExcepInfo(*excepInfo);
      excepInfo->scode = E_UNEXPECTED;
    }
    return DISP_E_EXCEPTION;
  }
}

HRESULT TSysNode::GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                                DISPID* dispIds) {
  HRESULT own = TCVAAutoIntfObject::GetIDsOfNames(riid, names, count, lcid, dispIds);
  if (Succeeded(own) || count == 0 || !names || !dispIds) return own;
  // A member that yields to slices answers only when no slice does (members are never removed,
  // so its index stays valid while the slices are asked).
  std::size_t yielding = SIZE_MAX;
  {
    std::lock_guard guard(lock_);
    if (const std::size_t i = FindMemberLocked(names[0]); i < members_.size()) {
      if (!members_[i].yieldsToSlices) {
        dispIds[0] = kMemberDispIdBase + static_cast<DISPID>(i);
        return S_OK;
      }
      yielding = i;
    } else if (SameTextIgnoringCase(names[0], u"Exists")) {
      dispIds[0] = kExistsDispId;
      return S_OK;
    }
  }
  std::vector<Slice> slices = Slices();
  for (std::size_t i = 0; i < slices.size(); ++i) {
    if (Failed(slices[i].dispatch->GetIDsOfNames(riid, names, count, lcid, dispIds))) continue;
    std::lock_guard guard(lock_);
    std::pair<std::size_t, DISPID> route{i, dispIds[0]};
    auto at = std::find(sliceRoutes_.begin(), sliceRoutes_.end(), route);
    if (at == sliceRoutes_.end()) at = sliceRoutes_.insert(sliceRoutes_.end(), route);
    dispIds[0] = kSliceDispIdBase + static_cast<DISPID>(at - sliceRoutes_.begin());
    return S_OK;
  }
  if (yielding != SIZE_MAX) {
    dispIds[0] = kMemberDispIdBase + static_cast<DISPID>(yielding);
    return S_OK;
  }
  return own;
}

HRESULT TSysNode::Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* excepInfo, std::uint32_t* argErr) {
  if (dispId == kExistsDispId) return InvokeMember(SIZE_MAX, flags, params, result, excepInfo);
  if (dispId >= kMemberDispIdBase && dispId < kSliceDispIdBase) {
    std::size_t index = static_cast<std::size_t>(dispId - kMemberDispIdBase);
    {
      std::lock_guard guard(lock_);
      if (index >= members_.size()) return DISP_E_MEMBERNOTFOUND;
    }
    return InvokeMember(index, flags, params, result, excepInfo);
  }
  if (dispId >= kSliceDispIdBase) {
    ComPtr<IDispatch> slice;
    DISPID sliceId = 0;
    {
      std::lock_guard guard(lock_);
      auto entry = static_cast<std::size_t>(dispId - kSliceDispIdBase);
      if (entry < sliceRoutes_.size()) {
        slice = slices_[sliceRoutes_[entry].first].dispatch;
        sliceId = sliceRoutes_[entry].second;
      }
    }
    if (slice) return slice->Invoke(sliceId, riid, lcid, flags, params, result, excepInfo, argErr);
  }
  return TCVAAutoIntfObject::Invoke(dispId, riid, lcid, flags, params, result, excepInfo, argErr);
}

HRESULT TSysNode::GetContextObject(const GUID& key, IUnknown** object) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    auto at = contextObjects_.find(key);
    SetOut(object, at == contextObjects_.end() ? nullptr : at->second);
  });
}

HRESULT TSysNode::Highlight() {
  highlighted_ = true;
  ++highlights_;
  return S_OK;
}
HRESULT TSysNode::IsHighlighted(VARIANT_BOOL* result) {
  return SafeCall([&] { SetOutValue<VARIANT_BOOL>(result, ToWordBool(highlighted_)); });
}
HRESULT TSysNode::ResetHighlight() {
  highlighted_ = false;
  return S_OK;
}

HRESULT TSysNode::get_Name(BSTR* name) {
  return SafeCall([&] {
    std::lock_guard guard(lock_);
    auto at = properties_.find(kNodeNameProperty);
    WideString text;
    if (at != properties_.end())
      if (auto e = QueryAs<IcvSyntaxCodeInvokeExpression>(at->second.Get().punkVal))
        text = RenderSyntaxElement(CopyNameElement(e.Get()).Get(), kJavaScriptLanguageKey);
    SetOut(name, text);
  });
}

HRESULT TSysNode::get_FullName(BSTR* name) {
  return SafeCall([&] { SetOut(name, FullNameText()); });
}

HRESULT TSysNode::GetFullName(BSTR* name) { return get_FullName(name); }

HRESULT TSysNode::NodeExists(VARIANT_BOOL* exists) {
  return SafeCall([&] {
    OleVariant value = DispGetProperty(static_cast<IpwSysNode*>(this), u"Exists", OleVariant(false));
    SetOutValue<VARIANT_BOOL>(exists, ToWordBool(value.Get().vt == VT_BOOL && value.Get().boolVal != VARIANT_FALSE));
  });
}

HRESULT TSysNode::GetOwnObject(IDispatch** object) {
  return SafeCall([&] { SetOut(object, ComPtr<IDispatch>(static_cast<IpwSysNode*>(this))); });
}

HRESULT TSysNode::Update() { return Refresh(); }

HRESULT TSysNode::get_ChildCount(std::int32_t* count) {
  LoadChildren(false);
  return SafeCall([&] { SetOutCount(count, Children()); });
}

HRESULT TSysNode::Child(std::int32_t index, IDispatch** node) {
  LoadChildren(false);
  return SafeCall([&] {
    auto children = Children();
    if (index < 0 || static_cast<std::size_t>(index) >= children.size())
      throw EOleSysError(u"The object has no child with index " + IntToWide(index), E_INVALIDARG);
    SetOut(node, ComPtr<IDispatch>(children[static_cast<std::size_t>(index)]->Dispatch()));
  });
}

HRESULT TSysNode::get_Parent(IDispatch** node) {
  return SafeCall([&] {
    ComPtr<TSysNode> p = Parent();
    SetOut(node, ComPtr<IDispatch>(p ? p->Dispatch() : nullptr));
  });
}

TSysManager::TSysManager() : root_(MakeObject<TSysNode>(nullptr, u"Sys", std::vector<OleVariant>{}, GUID_NULL)) {
  root_->builders_ = builders_;
}

TSysManager::~TSysManager() = default;

HRESULT TSysManager::GetRoot(IpwSysNode** root) {
  return SafeCall([&] { SetOut(root, ComPtr<IpwSysNode>(root_.Get())); });
}

namespace {
ComPtr<TSysNode> FindWindowNode(TSysNode& node, std::int32_t window) {
  std::int32_t handle = 0;
  if (QueryAs<IpwSysObjectWindow>(static_cast<IpwSysNodeEx*>(&node)) && Succeeded(node.GetHandle(&handle)) &&
      handle == window)
    return ComPtr<TSysNode>(&node);
  for (const auto& c : node.Children())
    if (auto found = FindWindowNode(*c, window)) return found;
  return nullptr;
}
}  // namespace

HRESULT TSysManager::GetWindowNode(std::int32_t window, IpwSysNode** node) {
  return SafeCall([&] {
    auto found = window ? FindWindowNode(*root_, window) : nullptr;
    SetOut(node, found ? ComPtr<IpwSysNode>(static_cast<IpwSysNodeEx*>(found.Get())) : nullptr);
  });
}

void TSysManager::SetScreenRect(const GUID& nodeKey, const ScreenRect& rect) {
  std::lock_guard guard(rectsLock_);
  if (rect.right <= rect.left || rect.bottom <= rect.top) rects_.erase(nodeKey);
  else rects_[nodeKey] = rect;
}

std::vector<std::pair<ComPtr<TSysNode>, TSysManager::ScreenRect>> TSysManager::ScreenObjects() const {
  std::map<GUID, ScreenRect> rects;
  {
    std::lock_guard guard(rectsLock_);
    rects = rects_;
  }
  std::vector<std::pair<ComPtr<TSysNode>, ScreenRect>> out;
  std::vector<ComPtr<TSysNode>> stack{root_};
  while (!stack.empty()) {
    auto node = stack.back();
    stack.pop_back();
    if (auto at = rects.find(node->Key()); at != rects.end()) out.emplace_back(node, at->second);
    auto children = node->Children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
  }
  return out;
}

HRESULT TSysManager::GetObjectAtPoint(std::int32_t x, std::int32_t y, IpwSysNode** node) {
  return SafeCall([&] {
    ComPtr<TSysNode> found;
    std::size_t foundDepth = 0;
    std::map<GUID, ScreenRect> rects;
    {
      std::lock_guard guard(rectsLock_);
      rects = rects_;
    }
    // Depth first; a deeper node, or a later one at the same depth, lies over what came before.
    std::vector<std::pair<ComPtr<TSysNode>, std::size_t>> stack{{root_, 0}};
    while (!stack.empty()) {
      auto [at, depth] = stack.back();
      stack.pop_back();
      if (auto r = rects.find(at->Key()); r != rects.end() && x >= r->second.left && x < r->second.right &&
                                          y >= r->second.top && y < r->second.bottom &&
                                          (!found || depth >= foundDepth)) {
        found = at;
        foundDepth = depth;
      }
      auto children = at->Children();
      for (auto it = children.rbegin(); it != children.rend(); ++it) stack.emplace_back(*it, depth + 1);
    }
    SetOut(node, found ? ComPtr<IpwSysNode>(static_cast<IpwSysNodeEx*>(found.Get())) : nullptr);
  });
}

HRESULT TSysManager::VisitNodes(IpwSysNode* root, IpwSysNodeVisitor* visitor, std::uint8_t* data, std::int32_t,
                                std::int32_t depth, std::int32_t) {
  return SafeCall([&] {
    if (!root || !visitor) OleCheck(E_INVALIDARG);
    GUID key{};
    auto item = QueryAs<IcvKeyItem>(root);
    if (!item) OleCheck(E_INVALIDARG);
    OleCheck(item->GetKey(&key));
    auto start = root_->FindByKey(key);
    if (!start) return;
    // Explicit stack: a deep tree does not deepen the call stack.
    std::vector<std::pair<ComPtr<TSysNode>, std::int32_t>> stack;
    auto push = [&](TSysNode& node, std::int32_t level) {
      if (level > depth) return;
      auto children = node.Children();
      for (auto it = children.rbegin(); it != children.rend(); ++it) stack.emplace_back(*it, level);
    };
    push(*start, 1);
    while (!stack.empty()) {
      auto [node, level] = stack.back();
      stack.pop_back();
      VARIANT_BOOL stop = VARIANT_FALSE;
      ++visited_;
      OleCheck(visitor->Visit(static_cast<IpwSysNodeEx*>(node.Get()), data, &stop));
      if (stop) return;
      if (level < depth) push(*node, level + 1);
    }
  });
}

void TSysManager::AddBuilder(IpwSysNodeBuilder* builder) {
  std::lock_guard guard(builders_->lock);
  if (builder) builders_->list.emplace_back(builder);
}

void TSysManager::ClearBuilders() {
  std::lock_guard guard(builders_->lock);
  builders_->list.clear();
  ++builders_->generation;
}

std::vector<WideString> TSysManager::OfferNode(TSysNode& node, bool subtree) {
  return OfferToBuilders(*builders_, node, subtree);
}

std::vector<WideString> TSysManager::BuilderFailures() const {
  std::lock_guard guard(builders_->lock);
  return builders_->failures;
}

HRESULT TSysManager::GetManager(IcvBaseManager** manager) {
  return SafeCall([&] { SetOut(manager, ComPtr<IcvBaseManager>(hostManager_.load())); });
}

namespace {

// The elements of a single value or a one-dimensional array, in order.
std::vector<OleVariant> IdentificationParts(const VARIANT& v) {
  const VARIANT& value = (v.vt == (VT_VARIANT | VT_BYREF) && v.pvarVal) ? *v.pvarVal : v;
  std::vector<OleVariant> parts;
  if (!(value.vt & VT_ARRAY)) {
    parts.emplace_back(value);
    return parts;
  }
  if (value.vt & VT_BYREF) throw EOleSysError(u"An identification array by reference", E_INVALIDARG);
  SAFEARRAY* array = value.parray;
  if (!array) return parts;
  std::int32_t low = 0, high = -1;
  OleCheck(SafeArrayGetLBound(array, 1, &low));
  OleCheck(SafeArrayGetUBound(array, 1, &high));
  for (std::int32_t i = low; i <= high; ++i) {
    OleVariant item;
    if ((value.vt & VT_TYPEMASK) == VT_VARIANT) {
      OleCheck(SafeArrayGetElement(array, &i, item.Put()));
    } else {
      VARIANT* raw = item.Put();
      OleCheck(SafeArrayGetElement(array, &i, &raw->lVal));
      raw->vt = static_cast<VARTYPE>(value.vt & VT_TYPEMASK);
    }
    parts.push_back(std::move(item));
  }
  return parts;
}

bool MatchesIdentification(TSysNode& node, const std::vector<OleVariant>& names,
                           const std::vector<OleVariant>& values) {
  auto* dispatch = static_cast<IpwSysNode*>(&node);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const WideString name = names[i].AsString();
    if (!DispHasMember(dispatch, name.c_str())) return false;
    OleVariant found = DispGetProperty(dispatch, name.c_str(), OleVariant());
    if (!VariantsMatch(values[i].Get(), found.Get())) return false;
  }
  return true;
}

ComPtr<TSysNode> FindIdentified(TSysNode& node, bool startOnly, const std::vector<OleVariant>& names,
                                const std::vector<OleVariant>& values) {
  if (MatchesIdentification(node, names, values)) return ComPtr<TSysNode>(&node);
  if (startOnly) return nullptr;
  for (const auto& child : node.Children())
    if (auto found = FindIdentified(*child, false, names, values)) return found;
  return nullptr;
}

}  // namespace

HRESULT TSysManager::FindByIdentification(IpwSysNode* start, VARIANT_BOOL startOnly, const VARIANT& names,
                                          const VARIANT& values, std::int32_t, IUnknown** object) {
  return SafeCall([&] {
    SetOut(object, ComPtr<IUnknown>());
    auto node = dynamic_cast<TSysNode*>(start);
    if (!node) return;
    const auto nameParts = IdentificationParts(names);
    const auto valueParts = IdentificationParts(values);
    if (nameParts.size() != valueParts.size())
      throw EOleSysError(u"The identification has not as many values as names", E_INVALIDARG);
    if (auto found = FindIdentified(*node, startOnly != VARIANT_FALSE, nameParts, valueParts))
      SetOut(object, ComPtr<IUnknown>(static_cast<IpwSysNode*>(found.Get())));
  });
}

void TSysManager::RegisterType(const GUID& typeKey, WideStringView name) {
  std::lock_guard guard(typesLock_);
  types_[typeKey] = WideString(name);
}

HRESULT TSysManager::FindTypeName(const GUID& typeKey, BSTR* name, VARIANT_BOOL* found) {
  return SafeCall([&] {
    std::lock_guard guard(typesLock_);
    auto at = types_.find(typeKey);
    SetOut(name, at == types_.end() ? WideString() : at->second);
    SetOutValue<VARIANT_BOOL>(found, ToWordBool(at != types_.end()));
  });
}

}  // namespace pw::host
