// The options tree in memory: the builder, its nodes and their property tables.
//
// The tree is lazy in both directions: a node reads its child list from the storage when it
// is first asked for a child, and its properties when they are first asked for; Save sends
// the storage only new, deleted and changed nodes and properties.
//
// Every interface obtained from a node or a property table counts on the builder, so it keeps
// the whole tree alive. A node that leaves the tree (a deleted node at the next Save, the
// content dropped by ReleaseContent) while someone still holds one of its interfaces is
// detached instead of freed: it stays usable, no longer belongs to any storage, and goes
// away with its last reference.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/com/interfaced_object.h"
#include "core/options/options_binary.h"
#include "core/options/options_intf.h"
#include "core/options/options_name_pool.h"

namespace pw {

class TcvOptionsBuilder;
class TcvOptionsNode;
class TcvProperties;

// Snapshots of a table of the tree in iteration order, so that the caller may change the table
// while it walks them: the entries (key: a name handle), and the values. Empty for no table.
std::vector<TcvTable::Entry*> TableEntries(TcvTable* table);
template <class T>
std::vector<T*> TableValues(TcvTable* table) {
  std::vector<T*> result;
  if (!table) return result;
  std::vector<void*> raw;
  table->GetValueArray(imValue, raw);
  result.reserve(raw.size());
  for (void* v : raw) result.push_back(static_cast<T*>(v));
  return result;
}

// Common base of nodes and property tables.
class TcvOptionsElements : public TObject {
 public:
  explicit TcvOptionsElements(TcvOptionsBuilder* owner) : owner_(owner) {}

  TcvOptionsBuilder* Owner() const { return owner_; }
  // The generation that iterators check: it moves whenever entries join or leave the table.
  std::int32_t ChangeCount() const { return changeCount_; }
  // Forgets every storage identity; deleted entries go away.
  virtual void ResetStorage() = 0;

 protected:
  void Changed() { ++changeCount_; }

  TcvOptionsBuilder* owner_;
  std::int32_t changeCount_ = 0;
};

class TcvOptionsNode final : public TcvOptionsElements, public IcvOptionsNode, public IcvOptionsNodeInternal {
 public:
  // `name` is a handle this node now owns (nil for the root).
  TcvOptionsNode(TcvOptionsBuilder* owner, TcvOptionsNode* parent, TcvNameHandle name, TcvCookie cookie,
                 bool notLoaded);
  ~TcvOptionsNode() override;

  // IUnknown: counts on the node and on the builder.
  HRESULT QueryInterface(const IID& riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // IcvOptionsNode
  HRESULT GetName(WideString* name) override;
  HRESULT GetNode(WideStringView name, IcvOptionsNode** node) override;
  HRESULT DeleteNode(WideStringView name) override;
  HRESULT NodeExists(WideStringView name, WordBool* exists) override;
  HRESULT Clear() override;
  HRESULT CopyTo(IcvOptionsNode* destination) override;
  HRESULT GetNodes(IcvOptionsNodeIterator** iterator) override;
  HRESULT GetProperties(IcvOptionsProperties** properties) override;
  HRESULT IsModified(WordBool* modified) override;
  HRESULT GetStorageInfo(CV_OPTIONS_STORAGE_INFO* info) override;

  // IcvOptionsNodeInternal
  void ReleaseContent() override;

  // The tree's own operations.
  const WideString& Name() const;
  TcvCookie Cookie() const { return cookie_; }
  void SetCookie(TcvCookie cookie) { cookie_ = cookie; }
  bool Alive() const { return alive_; }
  // Reads the child list when not yet read; with deep, the whole subtree; with properties,
  // creates the property tables on the way.
  void EnsureLoaded(bool deep, bool withProperties);
  // The child of that name, created (or made alive again) when missing.
  TcvOptionsNode* Child(WideStringView name);
  // The live child of that name, or nil (the child list must be loaded).
  TcvOptionsNode* FindLiveChild(WideStringView name) const;
  // The live children in table order (the child list must be loaded).
  std::vector<TcvOptionsNode*> LiveChildren() const;
  // The property table, created (and read from the storage) on first use.
  TcvProperties* Properties();
  bool Modified() const;
  bool HasContent() const;
  // `depth` is the node's level (the root's is 1); a node below kMaxOptionsNodeDepth levels
  // raises before anything of it is sent.
  void Save(IcvOptionsReader* reader, int depth = 1);
  void ResetStorage() override;
  void CopyInto(IcvOptionsNode* destination);
  // The node becomes unloaded again, so that its content is read from the storage anew.
  void Reload();
  // Iterator support.
  TcvTable* ChildTable() const { return children_.get(); }

  // A node of this class behind an interface of any node, or nil.
  static TcvOptionsNode* FromInterface(IcvOptionsNode* node);

 private:
  friend class TcvOptionsBuilder;
  void Delete();
  void ClearContent();
  void ForgetStorage();
  TcvTable& Children();
  void RemoveChild(TcvNameHandle key);
  // A node leaves the tree: freed, or detached while interfaces to it are held.
  static void Discard(TcvOptionsNode* node);

  TcvNameHandle name_;
  TcvOptionsNode* parent_;
  TcvCookie cookie_;
  bool notLoaded_;
  bool alive_ = true;
  bool detached_ = false;
  std::int32_t refs_ = 0;
  std::unique_ptr<TcvTable> children_;  // name handle -> node; entries leave through Discard
  TcvProperties* properties_ = nullptr;
  // Stored children displaced by a later record of the same name: deleted at the next save.
  std::vector<TcvCookie> retired_;
};

class TcvProperties final : public TcvOptionsElements, public IcvOptionsProperties, public IcvOptionsPropertyTypes {
 public:
  // Reads the stored properties when the node has a storage identity.
  TcvProperties(TcvOptionsBuilder* owner, TcvOptionsNode* node);
  ~TcvProperties() override;

  // IUnknown: counts on the node (and so on the builder).
  HRESULT QueryInterface(const IID& riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // IcvOptionsProperties
  HRESULT GetInteger(WideStringView name, std::int32_t defaultValue, std::int32_t* value) override;
  HRESULT GetString(WideStringView name, WideStringView defaultValue, WideString* value) override;
  HRESULT GetInt64(WideStringView name, std::int64_t defaultValue, std::int64_t* value) override;
  HRESULT GetDouble(WideStringView name, double defaultValue, double* value) override;
  HRESULT GetBinary(WideStringView name, void* buffer, std::int32_t bufferSize, std::int32_t* copied) override;
  HRESULT GetBoolean(WideStringView name, WordBool defaultValue, WordBool* value) override;
  HRESULT SetInteger(WideStringView name, std::int32_t value) override;
  HRESULT SetString(WideStringView name, WideStringView value) override;
  HRESULT SetInt64(WideStringView name, std::int64_t value) override;
  HRESULT SetDouble(WideStringView name, double value) override;
  HRESULT SetBinary(WideStringView name, const void* data, std::int32_t size, WordBool compressed) override;
  HRESULT SetBoolean(WideStringView name, WordBool value) override;
  HRESULT GetBinarySize(WideStringView name, std::int32_t* size) override;
  HRESULT PropertyExists(WideStringView name, WordBool* exists) override;
  HRESULT GetIterator(IcvPropertiesIterator** iterator) override;
  HRESULT Clear() override;

  // IcvOptionsPropertyTypes
  HRESULT GetPropertyType(WideStringView name, TcvPropertyType* type) override;

  // The tree's own operations.
  bool HasContent() const;
  bool Modified() const;
  void Save(TcvCookie nodeCookie, IcvOptionsReader* reader);
  void ResetStorage() override;
  void ReleaseContent(IcvOptionsReader* reader);
  void CopyInto(IcvOptionsProperties* destination);
  void MarkAllDeleted();
  // Reads the stored properties of the node into the (empty) table.
  void ReadStored();
  // The present stub of a name, or nil.
  TcvPropertyStub* FindPresent(WideStringView name) const;
  TcvTable& Table() { return table_; }
  TcvOptionsNode* Node() const { return node_; }

 private:
  TcvPropertyStub* Find(WideStringView name) const;
  // The stub to assign a value of type T to: present, of that type, under the name.
  template <class Stub, class... Args>
  Stub* Prepare(WideStringView name, Args&&... args);
  void Retire(TcvPropertyStub* stub);
  template <class Stub>
  Stub* PresentOfType(WideStringView name, TcvPropertyType type) const;
  // A typed getter's answer: the value of the present property of the stub's type, else the
  // default.
  template <class Stub, class T, class Default>
  HRESULT GetValue(WideStringView name, TcvPropertyType type, const Default& defaultValue, T* value);
  void RemoveEntry(std::intptr_t key);

  TcvOptionsNode* node_;
  TcvTable table_{0, 0, 4};  // name handle -> stub; keys and stubs are released by this table
  // Stubs displaced by a change of type: their stored records are deleted at the next save.
  std::vector<std::unique_ptr<TcvPropertyStub>> retired_;
};

class TcvOptionsBuilder final : public Implements<TcvInterfacedObject, IcvOptionsBuilder> {
 public:
  TcvOptionsBuilder();
  ~TcvOptionsBuilder() override;

  void SetReader(IcvOptionsReader* reader) override;
  ComPtr<IcvOptionsReader> GetReader() override { return reader_; }
  ComPtr<IcvOptionsNode> GetRoot() override;
  void Save() override;
  void LoadAll() override;
  void ReleaseReader() override { SetReader(nullptr); }

  IcvOptionsReader* Reader() const { return reader_.Get(); }
  TcvOptionsNode* RootNode();

 private:
  ComPtr<IcvOptionsReader> reader_;
  TcvOptionsNode* root_ = nullptr;
};

// A new, empty builder without a storage.
ComPtr<IcvOptionsBuilder> CreateOptionsBuilder();

}  // namespace pw
