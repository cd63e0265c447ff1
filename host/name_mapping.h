// The test host's name mapping: per project a repository of mapped items (published as the
// project's runtime objects "NameMapping" and "Aliases" once the project has its NameMapping
// item), the templates service, and the stand-ins of what nodes offer the mapping (their
// services, identification provider, own identification and property reader).
//
// An item has a name, an index of its children's names (ignoring case), identification
// properties (name, flag, value), the flag "under search root", a type recorder (the names of
// the type information it was handed) and the parent's record of ChildMapped calls. Which node
// an item maps: a node the test entered with MapNode, else the first item (depth first) whose
// identification values all equal the node's (read late-bound, dotted paths through objects)
// and whose parent item maps the node's parent (any ancestor when the item is under its search
// root); items directly under the repository need no parent, and an item without
// identification maps the top of the object tree only.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "host/com_support.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::host {

class TestHost;

inline constexpr GUID kNameMappingItemTypeKey = MakeGuid("{5DCBAC3B-D39C-497C-9BE8-744CBADD37AA}");
inline constexpr GUID kNameMappingTemplatesKey = MakeGuid("{3488662A-8BBB-4ED4-A201-4A0DBF7BEA86}");

class TNameMappingRepository;

class TIdentificationProperties final : public Implements<ComObject, IpwIdentificationProperties> {
 public:
  struct Property {
    WideString name;
    bool flag = false;
    OleVariant value;
  };
  std::vector<Property> Properties() const;
  HRESULT AddProperty(BSTR name, VARIANT_BOOL flag, const VARIANT& value) override;
  HRESULT GetCount(std::int32_t* count) override;
  HRESULT GetPropertyName(std::int32_t index, BSTR* name) override;
  HRESULT GetPropertyValue(std::int32_t index, VARIANT* value) override;
  HRESULT SetPropertyValue(std::int32_t index, const VARIANT& value) override;

 private:
  mutable std::mutex lock_;
  std::vector<Property> properties_;
};

// Records the names of the type information handed to it (while Recording).
class TTypeRecorder final : public Implements<ComObject, IpwTypeInfoRecorder, IpwTypeInfoSink> {
 public:
  void SetRecording(bool recording) { recording_ = recording; }
  std::vector<WideString> Recorded() const;
  HRESULT GetTypeSink(IpwTypeInfoSink** sink) override;
  HRESULT AddTypeInfo(const VARIANT& description) override;
  HRESULT IsRecording(VARIANT_BOOL* recording) override;
  HRESULT DescribeTypeInfo(IUnknown* info, VARIANT* description) override;

 private:
  std::atomic<bool> recording_{true};
  mutable std::mutex lock_;
  std::vector<WideString> recorded_;
};

class TNameMappingItem final : public Implements<ComObject, IpwNameMappingRepositoryItem, IpwNameMappingItem> {
 public:
  TNameMappingItem(TNameMappingRepository* repository, TNameMappingItem* parent, WideString name);
  const WideString& Name() const { return name_; }
  TNameMappingItem* ParentItem() const { return parent_; }
  std::vector<ComPtr<TNameMappingItem>> Children() const;
  bool UnderSearchRoot() const { return underSearchRoot_; }
  TIdentificationProperties& Identification() { return *identification_; }
  TTypeRecorder& Recorder() { return *recorder_; }
  // The ChildMapped calls this item got: "NAME true".
  std::vector<WideString> ChildMappedCalls() const;
  // Whether AddChild makes a child (tests: false refuses).
  void SetAcceptsChildren(bool accepts) { acceptsChildren_ = accepts; }
  // The item's names from the repository down, joined by ".".
  WideString Path() const;

  HRESULT GetName(BSTR* name) override;
  HRESULT GetParent(IpwNameMappingRepositoryItem** parent) override;
  HRESULT GetRoot(IpwNameMappingRepositoryItem** root) override;
  HRESULT BeginUpdate(VARIANT_BOOL* begun) override;
  HRESULT EndUpdate() override;
  HRESULT FindChildIndex(BSTR name, std::int32_t* index) override;
  HRESULT AddChild(BSTR name, IpwNameMappingRepositoryItem** child) override;
  HRESULT SetUnderSearchRoot(VARIANT_BOOL underSearchRoot) override;
  HRESULT GetIdentification(IpwIdentificationProperties** properties) override;
  HRESULT GetTypeRecorder(IpwTypeInfoRecorder** recorder) override;
  HRESULT GetMappingIndex(IpwNameMappingIndex** index) override;
  HRESULT ChildMapped(BSTR name, VARIANT_BOOL flag) override;
  HRESULT GetChildCount(std::int32_t* count) override;
  HRESULT GetChild(std::int32_t index, IpwNameMappingRepositoryItem** child) override;
  // IpwNameMappingItem (full names of log texts)
  HRESULT GetItemName(BSTR* name) override;
  HRESULT GetParentItem(IpwNameMappingItem** parent) override;

 private:
  TNameMappingRepository* repository_;  // the repository owns the tree
  TNameMappingItem* parent_;
  WideString name_;
  mutable std::mutex lock_;
  std::vector<ComPtr<TNameMappingItem>> children_;
  std::atomic<bool> underSearchRoot_{false}, acceptsChildren_{true};
  ComPtr<TIdentificationProperties> identification_ = MakeObject<TIdentificationProperties>();
  ComPtr<TTypeRecorder> recorder_ = MakeObject<TTypeRecorder>();
  std::vector<WideString> childMapped_;
};

class TAliasItem final : public Implements<ComObject, IpwLogicalNameMappingItem> {
 public:
  TAliasItem(WideString name, TNameMappingItem* item) : name_(std::move(name)), item_(item) {}
  const WideString& Name() const { return name_; }
  TNameMappingItem* Item() const { return item_.Get(); }
  std::vector<ComPtr<TAliasItem>> Children() const;
  // Set by the repository: where new aliases are noted.
  void SetRepository(TNameMappingRepository* repository) { repository_ = repository; }

  HRESULT GetName(BSTR* name) override;
  HRESULT FindChildIndex(BSTR name, std::int32_t* index) override;
  HRESULT AddAlias(BSTR name, IpwNameMappingRepositoryItem* item, IpwLogicalNameMappingItem** alias) override;

 private:
  WideString name_;
  ComPtr<TNameMappingItem> item_;
  TNameMappingRepository* repository_ = nullptr;
  mutable std::mutex lock_;
  std::vector<ComPtr<TAliasItem>> children_;
};

class TNameMappingRepository final : public Implements<ComObject, IpwNameMappingIndex> {
 public:
  TNameMappingRepository();
  ~TNameMappingRepository() override;
  TNameMappingItem& Root() { return *root_; }
  TAliasItem& Aliases() { return *aliases_; }
  // Enters a node's mapping by the node's key.
  void MapNode(const GUID& nodeKey, TNameMappingItem* item, TAliasItem* alias);
  // Begin/end brackets on the root: how many begun, how many ended.
  int UpdatesBegun() const { return begun_; }
  int UpdatesEnded() const { return ended_; }
  // Tests: the root refuses to begin an update.
  void SetRefuseUpdate(bool refuse) { refuseUpdate_ = refuse; }
  // Tests: items refuse new children once the repository holds this many items (-1: no limit).
  void SetItemLimit(int limit) { itemLimit_ = limit; }
  // The alias made for an item; nil when none.
  ComPtr<TAliasItem> AliasOf(TNameMappingItem* item) const;
  // Every item, depth first.
  std::vector<ComPtr<TNameMappingItem>> Items() const;

  HRESULT FindNode(IpwSysNode* node, IpwNameMappingRepositoryItem** item, IpwLogicalNameMappingItem** alias) override;

 private:
  friend class TNameMappingItem;
  friend class TAliasItem;
  ComPtr<TNameMappingItem> root_;
  ComPtr<TAliasItem> aliases_;
  mutable std::mutex lock_;
  std::map<GUID, std::pair<ComPtr<TNameMappingItem>, ComPtr<TAliasItem>>> explicit_;
  std::map<TNameMappingItem*, ComPtr<TAliasItem>> aliasOf_;
  std::atomic<int> begun_{0}, ended_{0};
  std::atomic<bool> refuseUpdate_{false};
  std::atomic<int> itemLimit_{-1};
  bool Maps(TNameMappingItem* item, IpwSysNode* node, int depth);
};

// The templates service.
class TNameMappingTemplates final : public Implements<ComObject, IpwNameMappingTemplates> {
 public:
  void Add(std::vector<WideString> conditionPaths, std::vector<WideString> expressions,
           std::vector<WideString> identificationNames);
  HRESULT GetCount(std::int32_t* count) override;
  HRESULT GetTemplate(std::int32_t index, IpwNameMappingTemplateNodeType** nodeType) override;

 private:
  mutable std::mutex lock_;
  std::vector<ComPtr<IpwNameMappingTemplateNodeType>> templates_;
};

// A node's identification provider.
class THostIdentificationProvider final : public Implements<ComObject, IpwIdentificationProvider> {
 public:
  bool searchCollisions = false;
  bool isSearchRoot = false;
  std::vector<WideString> identificationNames, extraNames;
  HRESULT GetSearchCollisions(VARIANT_BOOL* search) override;
  HRESULT GetIsSearchRoot(VARIANT_BOOL* isRoot) override;
  HRESULT GetIdentificationNames(VARIANT* names) override;
  HRESULT GetExtraNames(VARIANT* names) override;
};

// A node's own identification: (name, path) pairs.
class THostNodeIdentification final : public Implements<ComObject, IpwNodeIdentification> {
 public:
  std::vector<std::pair<WideString, WideString>> properties;
  HRESULT GetPropertyCount(std::int32_t* count) override;
  HRESULT GetPropertyName(std::int32_t index, BSTR* name) override;
  HRESULT GetPropertyPath(std::int32_t index, BSTR* path) override;
};

// A node's property reader: answers the node's script members by name (through the node's
// IDispatch) and keeps, for each read, the node's wait time-out at that moment; a name in
// `failing` raises.
class THostPropertyReader final : public Implements<ComObject, IpwNodePropertyReader> {
 public:
  explicit THostPropertyReader(IDispatch* node) : node_(node) {}
  std::vector<WideString> failing;
  std::vector<std::int32_t> TimeoutsSeen() const;
  HRESULT ReadNodeProperty(BSTR name, VARIANT* value, VARIANT_BOOL* read) override;

 private:
  IDispatch* node_;  // the node owns the reader
  mutable std::mutex lock_;
  std::vector<std::int32_t> timeouts_;
};

// The services of a node by key.
class THostNodeServices final : public Implements<ComObject, IpwSysNodeServices> {
 public:
  void Set(const GUID& service, IUnknown* object);
  HRESULT GetNodeService(const GUID& service, IUnknown** object) override;

 private:
  std::mutex lock_;
  std::map<GUID, ComPtr<IUnknown>> services_;
};

// An array of variants holding the texts.
OleVariant MakeNamesVariant(const std::vector<WideString>& names);

// The host's name mappings: the NameMapping item type joins the node registry's lists (a
// project item of it publishes its project's repository as "NameMapping" and "Aliases", and
// answers IpwNameMappingRootProvider {911A4A68-...} with the repository's root), and the
// templates service is installed.
class TNameMappings {
 public:
  explicit TNameMappings(TestHost& host);
  ~TNameMappings();
  TNameMappings(const TNameMappings&) = delete;
  TNameMappings& operator=(const TNameMappings&) = delete;
  // The project's repository, published at once (what a NameMapping item does when made).
  ComPtr<TNameMappingRepository> Publish(const GUID& projectKey);
  // The project's repository; nil until published.
  ComPtr<TNameMappingRepository> Repository(const GUID& projectKey) const;
  TNameMappingTemplates& Templates() { return *templates_; }

 private:
  TestHost& host_;
  ComPtr<TNameMappingTemplates> templates_ = MakeObject<TNameMappingTemplates>();
  ComPtr<IpwProjectItemTypeProvider> types_;
  mutable std::mutex lock_;
  std::map<GUID, ComPtr<TNameMappingRepository>> repositories_;
};

}  // namespace pw::host
