#include "core/options/options_tree.h"

#include "core/options/options_iterator.h"
#include "platform/com/safecall.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

// Answers the node object behind any interface of it.
constexpr IID kNodeObjectIid = MakeGuid("{6C1E2F40-3B1D-4F0E-9C51-2A7D8E4B9F10}");

const WideString kEmptyName;

// Walks the live children of a node.
struct ChildWalk {
  using Elements = TcvOptionsNode;
  using Item = TcvOptionsNode;
  static ComPtr<IcvSimpleIterator> Source(TcvOptionsNode* node) {
    return node->ChildTable() ? node->ChildTable()->GetIterator(imValue) : nullptr;
  }
  static bool Live(const TcvOptionsNode* child) { return child->Alive(); }
};

class TcvOptionsNodeIterator final : public TcvOptionsIterator<IcvOptionsNodeIterator, ChildWalk> {
 public:
  explicit TcvOptionsNodeIterator(TcvOptionsNode* node) : TcvOptionsIterator(node, static_cast<IcvOptionsNode*>(node)) {}

  void Next(ComPtr<IcvOptionsNode>& node) override {
    TakeNext([&](TcvOptionsNode* current) { node = current; });
  }
};

}  // namespace

std::vector<TcvTable::Entry*> TableEntries(TcvTable* table) {
  std::vector<TcvTable::Entry*> result;
  if (!table) return result;
  std::vector<void*> raw;
  table->GetValueArray(imEntry, raw);
  result.reserve(raw.size());
  for (void* e : raw) result.push_back(static_cast<TcvTable::Entry*>(e));
  return result;
}

const char16_t* PropertyTypeName(TcvPropertyType type) {
  switch (type) {
    case ptInteger: return u"Integer";
    case ptString: return u"String";
    case ptDouble: return u"Double";
    case ptInt64: return u"Int64";
    case ptBinary: return u"Binary";
    case ptBoolean: return u"Boolean";
    default: return u"";
  }
}

// ---- TcvOptionsNode ----------------------------------------------------------------------

TcvOptionsNode::TcvOptionsNode(TcvOptionsBuilder* owner, TcvOptionsNode* parent, TcvNameHandle name,
                               TcvCookie cookie, bool notLoaded)
    : TcvOptionsElements(owner), name_(name), parent_(parent), cookie_(cookie), notLoaded_(notLoaded) {}

TcvOptionsNode::~TcvOptionsNode() {
  delete properties_;
  if (children_) {
    std::vector<TcvOptionsNode*> nodes = TableValues<TcvOptionsNode>(children_.get());
    children_->Clear();  // the table owns nothing; the nodes go below
    for (TcvOptionsNode* n : nodes) Discard(n);
  }
  if (name_) {
    if (TcvWideStringPool* pool = OptionsNamePool()) pool->Release(name_);
  }
}

void TcvOptionsNode::Discard(TcvOptionsNode* node) {
  if (node->refs_ > 0) {
    node->detached_ = true;
    node->parent_ = nullptr;
    node->ForgetStorage();
  } else {
    delete node;
  }
}

void TcvOptionsNode::ForgetStorage() {
  cookie_ = 0;
  notLoaded_ = false;
  for (TcvOptionsNode* n : TableValues<TcvOptionsNode>(children_.get())) n->ForgetStorage();
  ResetStorage();
}

HRESULT TcvOptionsNode::QueryInterface(const IID& riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IUnknown::iid || riid == IcvOptionsNode::iid) *ppv = static_cast<IcvOptionsNode*>(this);
  else if (riid == IcvOptionsNodeInternal::iid) *ppv = static_cast<IcvOptionsNodeInternal*>(this);
  else if (riid == kNodeObjectIid) *ppv = this;
  else return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

ULONG TcvOptionsNode::AddRef() {
  ++refs_;
  return owner_->AddRef();
}

ULONG TcvOptionsNode::Release() {
  TcvOptionsBuilder* owner = owner_;
  if (--refs_ == 0 && detached_) delete this;
  return owner->Release();
}

TcvOptionsNode* TcvOptionsNode::FromInterface(IcvOptionsNode* node) {
  if (!node) return nullptr;
  void* p = nullptr;
  if (Failed(node->QueryInterface(kNodeObjectIid, &p)) || !p) return nullptr;
  auto* result = static_cast<TcvOptionsNode*>(p);
  result->Release();
  return result;
}

const WideString& TcvOptionsNode::Name() const { return name_ ? NameOf(name_) : kEmptyName; }

TcvTable& TcvOptionsNode::Children() {
  if (!children_) children_ = std::make_unique<TcvTable>(0, 0, 4);
  return *children_;
}

void TcvOptionsNode::RemoveChild(TcvNameHandle key) {
  void* child = children_->Extract(reinterpret_cast<std::intptr_t>(key));
  Changed();
  if (child) Discard(static_cast<TcvOptionsNode*>(child));
}

void TcvOptionsNode::EnsureLoaded(bool deep, bool withProperties) {
  IcvOptionsReader* reader = owner_->Reader();
  if (notLoaded_ && cookie_ != 0 && reader) {
    TPropertyCookiesArray ids;
    reader->GetChildNodes(cookie_, ids);
    TcvWideStringPool& pool = RequireOptionsNamePool();
    for (TcvCookie id : ids) {
      TcvNameHandle handle = pool.Add(reader->GetNodeName(id));
      auto key = reinterpret_cast<std::intptr_t>(handle);
      if (children_) {
        if (auto* earlier = static_cast<TcvOptionsNode*>(children_->GetValue(key))) {
          // Two stored records of one name: the later one wins, the earlier record goes away at
          // the next save, so that it cannot come back once the later one is deleted.
          retired_.push_back(earlier->cookie_);
          RemoveChild(handle);
        }
      }
      Children().SetValue(key, new TcvOptionsNode(owner_, this, handle, id, true));
    }
    if (!ids.empty()) Changed();
  }
  notLoaded_ = false;
  if (withProperties) Properties();
  if (deep)
    for (TcvOptionsNode* n : TableValues<TcvOptionsNode>(children_.get())) n->EnsureLoaded(true, withProperties);
}

TcvOptionsNode* TcvOptionsNode::FindLiveChild(WideStringView name) const {
  if (!children_) return nullptr;
  TcvNameHandle handle = RequireOptionsNamePool().Find(name);
  if (!handle) return nullptr;
  auto* child = static_cast<TcvOptionsNode*>(children_->GetValue(reinterpret_cast<std::intptr_t>(handle)));
  return child && child->alive_ ? child : nullptr;
}

std::vector<TcvOptionsNode*> TcvOptionsNode::LiveChildren() const {
  std::vector<TcvOptionsNode*> result;
  for (TcvOptionsNode* n : TableValues<TcvOptionsNode>(children_.get()))
    if (n->alive_) result.push_back(n);
  return result;
}

TcvOptionsNode* TcvOptionsNode::Child(WideStringView name) {
  if (name.empty()) throw EcvOptionsException(kOptNodeWithoutName);
  EnsureLoaded(false, false);
  TcvWideStringPool& pool = RequireOptionsNamePool();
  if (children_) {
    if (TcvNameHandle handle = pool.Find(name)) {
      if (auto* child = static_cast<TcvOptionsNode*>(children_->GetValue(reinterpret_cast<std::intptr_t>(handle)))) {
        if (!child->alive_) {
          child->alive_ = true;
          Changed();
        }
        return child;
      }
    }
  }
  TcvNameHandle handle = pool.Add(name);
  auto* child = new TcvOptionsNode(owner_, this, handle, 0, false);
  Children().SetValue(reinterpret_cast<std::intptr_t>(handle), child);
  // A new child joins the table: iterators over it must not go on.
  Changed();
  return child;
}

TcvProperties* TcvOptionsNode::Properties() {
  if (!properties_) properties_ = new TcvProperties(owner_, this);
  return properties_;
}

void TcvOptionsNode::Delete() {
  EnsureLoaded(true, true);
  if (alive_) {
    alive_ = false;
    for (TcvOptionsNode* child : LiveChildren()) child->Delete();
  }
  Properties()->MarkAllDeleted();
}

void TcvOptionsNode::ClearContent() {
  EnsureLoaded(true, true);
  Changed();
  for (TcvOptionsNode* child : LiveChildren()) child->Delete();
  Properties()->MarkAllDeleted();
}

bool TcvOptionsNode::Modified() const {
  if ((!alive_ && cookie_ != 0) || (alive_ && cookie_ == 0) || !retired_.empty()) return true;
  if (properties_ && properties_->Modified()) return true;
  for (TcvOptionsNode* n : TableValues<TcvOptionsNode>(children_.get()))
    if (n->Modified()) return true;
  return false;
}

bool TcvOptionsNode::HasContent() const {
  return !LiveChildren().empty() || (properties_ && properties_->HasContent());
}

void TcvOptionsNode::Save(IcvOptionsReader* reader, int depth) {
  if (depth > kMaxOptionsNodeDepth)
    throw EcvOptionsException(u"Cannot save the options: the nodes are nested more than " +
                              IntToWide(kMaxOptionsNodeDepth) + u" levels deep.");
  reader->BeginNodeUpdate(cookie_);
  try {
    while (!retired_.empty()) {
      reader->DeleteNode(retired_.back());
      retired_.pop_back();
    }
    for (TcvTable::Entry* entry : TableEntries(children_.get())) {
      auto* child = static_cast<TcvOptionsNode*>(entry->value);
      if (!child->alive_) {
        if (child->cookie_ != 0) reader->DeleteNode(child->cookie_);
        RemoveChild(reinterpret_cast<TcvNameHandle>(entry->key));
      } else if (child->cookie_ == 0) {
        child->cookie_ = reader->AddNode(cookie_, child->Name());
      }
    }
    if (properties_) properties_->Save(cookie_, reader);
  } catch (...) {
    try {
      reader->EndNodeUpdate(cookie_);
    } catch (...) {
    }
    throw;
  }
  reader->EndNodeUpdate(cookie_);
  for (TcvOptionsNode* n : TableValues<TcvOptionsNode>(children_.get())) n->Save(reader, depth + 1);
}

void TcvOptionsNode::ResetStorage() {
  retired_.clear();
  for (TcvTable::Entry* entry : TableEntries(children_.get())) {
    auto* child = static_cast<TcvOptionsNode*>(entry->value);
    if (!child->alive_) {
      RemoveChild(reinterpret_cast<TcvNameHandle>(entry->key));
    } else {
      child->cookie_ = 0;
      child->ResetStorage();
    }
  }
  if (properties_) properties_->ResetStorage();
}

void TcvOptionsNode::Reload() {
  notLoaded_ = true;
  if (properties_ && properties_->Table().Count() == 0) properties_->ReadStored();
}

void TcvOptionsNode::CopyInto(IcvOptionsNode* destination) {
  for (TcvOptionsNode* child : LiveChildren()) {
    ComPtr<IcvOptionsNode> target;
    SafeCallCheck(destination->GetNode(child->Name(), target.Put()));
    child->CopyInto(target.Get());
  }
  if (properties_ && properties_->Table().Count() > 0) {
    ComPtr<IcvOptionsProperties> target;
    SafeCallCheck(destination->GetProperties(target.Put()));
    properties_->CopyInto(target.Get());
  }
}

void TcvOptionsNode::ReleaseContent() {
  IcvOptionsReader* reader = owner_->Reader();
  const bool stored = reader && cookie_ != 0;
  if (stored) reader->BeginNodeUpdate(cookie_);
  auto finish = [&] {
    if (stored) {
      reader->DeleteNode(cookie_);
      reader->EndNodeUpdate(cookie_);
    }
    cookie_ = 0;
    retired_.clear();  // the storage deleted them with the node
  };
  try {
    const std::vector<TcvTable::Entry*> entries = TableEntries(children_.get());
    for (TcvTable::Entry* e : entries) static_cast<TcvOptionsNode*>(e->value)->ReleaseContent();
    for (TcvTable::Entry* e : entries) RemoveChild(reinterpret_cast<TcvNameHandle>(e->key));
    if (properties_) properties_->ReleaseContent(reader);
  } catch (...) {
    try {
      finish();
    } catch (...) {
    }
    throw;
  }
  finish();
}

// ---- IcvOptionsNode ----------------------------------------------------------------------

HRESULT TcvOptionsNode::GetName(WideString* name) {
  if (!name) return E_POINTER;
  return SafeCallBoundary([&] { *name = Name(); });
}

HRESULT TcvOptionsNode::GetNode(WideStringView name, IcvOptionsNode** node) {
  if (!node) return E_POINTER;
  *node = nullptr;
  return SafeCallBoundary([&] {
    TcvOptionsNode* child = Child(name);
    child->AddRef();
    *node = child;
  });
}

HRESULT TcvOptionsNode::DeleteNode(WideStringView name) {
  return SafeCallBoundary([&] {
    EnsureLoaded(false, false);
    if (TcvOptionsNode* child = FindLiveChild(name)) {
      Changed();
      child->Delete();
    }
  });
}

HRESULT TcvOptionsNode::NodeExists(WideStringView name, WordBool* exists) {
  if (!exists) return E_POINTER;
  *exists = WordFalse;
  return SafeCallBoundary([&] {
    EnsureLoaded(false, false);
    *exists = ToWordBool(FindLiveChild(name) != nullptr);
  });
}

HRESULT TcvOptionsNode::Clear() {
  return SafeCallBoundary([&] { ClearContent(); });
}

HRESULT TcvOptionsNode::CopyTo(IcvOptionsNode* destination) {
  if (!destination) return E_POINTER;
  return SafeCallBoundary([&] {
    // Copying into the node itself, or into a node below it, would never end.
    for (TcvOptionsNode* n = FromInterface(destination); n; n = n->parent_)
      if (n == this) throw EcvOptionsException(kOptCopyToItself);
    EnsureLoaded(true, true);
    CopyInto(destination);
  });
}

HRESULT TcvOptionsNode::GetNodes(IcvOptionsNodeIterator** iterator) {
  if (!iterator) return E_POINTER;
  *iterator = nullptr;
  return SafeCallBoundary([&] {
    EnsureLoaded(false, false);
    *iterator = MakeObject<TcvOptionsNodeIterator>(this).Detach();
  });
}

HRESULT TcvOptionsNode::GetProperties(IcvOptionsProperties** properties) {
  if (!properties) return E_POINTER;
  *properties = nullptr;
  return SafeCallBoundary([&] {
    TcvProperties* table = Properties();
    table->AddRef();
    *properties = table;
  });
}

HRESULT TcvOptionsNode::IsModified(WordBool* modified) {
  if (!modified) return E_POINTER;
  *modified = WordFalse;
  return SafeCallBoundary([&] { *modified = ToWordBool(Modified()); });
}

HRESULT TcvOptionsNode::GetStorageInfo(CV_OPTIONS_STORAGE_INFO* info) {
  if (!info) return E_POINTER;
  return SafeCallBoundary([&] {
    *info = CV_OPTIONS_STORAGE_INFO{};
    if (IcvOptionsReader* reader = owner_->Reader()) reader->GetStorageInfo(*info);
  });
}

// ---- TcvOptionsBuilder -------------------------------------------------------------------

TcvOptionsBuilder::TcvOptionsBuilder() = default;

TcvOptionsBuilder::~TcvOptionsBuilder() { delete root_; }

TcvOptionsNode* TcvOptionsBuilder::RootNode() {
  if (!root_) root_ = new TcvOptionsNode(this, nullptr, nullptr, 0, true);
  return root_;
}

ComPtr<IcvOptionsNode> TcvOptionsBuilder::GetRoot() {
  TcvOptionsNode* root = RootNode();
  if (reader_) root->SetCookie(reader_->GetRoot());
  return ComPtr<IcvOptionsNode>(root);
}

void TcvOptionsBuilder::Save() {
  if (!reader_) throw EcvOptionsException(kOptNoReader);
  ComPtr<IcvOptionsReader> reader = reader_;
  reader->BeginUpdate();
  try {
    if (root_ && root_->Modified()) root_->Save(reader.Get());
  } catch (...) {
    try {
      reader->EndUpdate();
    } catch (...) {
    }
    throw;
  }
  reader->EndUpdate();
}

void TcvOptionsBuilder::LoadAll() {
  GetRoot();
  root_->EnsureLoaded(true, true);
}

void TcvOptionsBuilder::SetReader(IcvOptionsReader* reader) {
  if (reader == reader_.Get()) return;
  if (reader_) LoadAll();
  reader_ = reader;
  const bool hadRoot = root_ != nullptr;
  bool content = false;
  if (root_) {
    root_->ResetStorage();
    content = root_->HasContent();
  }
  if (reader_ && content) reader_->Clear();
  RootNode()->SetCookie(reader_ ? reader_->GetRoot() : 0);
  // A tree without content shows what the new storage holds.
  if (hadRoot && reader_ && !content) root_->Reload();
}

ComPtr<IcvOptionsBuilder> CreateOptionsBuilder() { return MakeObject<TcvOptionsBuilder>(); }

}  // namespace pw
