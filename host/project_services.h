// The host's view of the project suite: the node registry (is a suite open, its root, the
// current node and the default project, nodes by key, the current language, the item-type lists
// and the edit permission of persistent nodes), the run control (the item the run works on, the run state), the
// diagnostic log and the node-event sink. The project tree itself belongs to plug-ins; the host
// keeps nodes that tests or plug-ins hand it. The host offers two item types of its own: Project
// ("*.pwp", each in a folder of its own) and Item ("*.pwi", under a Project).
#pragma once

#include <functional>
#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "host/com_support.h"
#include "host/host_config.h"
#include "host/run_state.h"
#include "interfaces/ProbewrightHost.h"
#include "project/types/node_info.h"

namespace pw::host {

// The type key of Project nodes.
inline constexpr GUID kProjectNodeType = MakeGuid("{362A8EE5-675E-43A9-869D-06ECE80B0CB4}");
// The type key of the host's Item nodes.
inline constexpr GUID kItemNodeType = MakeGuid("{E96AEE9E-8FE9-4ADA-BDAB-53AEE029022E}");
// The key of the host's own item-type list.
inline constexpr GUID kHostItemTypesKey = MakeGuid("{1DA40FDF-8FDB-4AD8-ADCA-F13523011DBA}");

// A plain project node the host can place in its registry: a key, a type, a parent and, for
// Project nodes, a language.
// Its children are the ones added to it; attributes are what was set (others: E_INVALIDARG).
class THostProjectNode final
    : public Implements<ComObject, IpwProjectNode, IpwProject, IpwProjectContextItem, IpwEventControl> {
 public:
  // The event sets the node handles as an event control of an Events item (IpwEventControl).
  void SetHandledEventSets(std::vector<GUID> sets) { eventSets_ = std::move(sets); }
  HRESULT GetEventSetCount(std::int32_t* count) override;
  HRESULT GetEventSet(std::int32_t index, GUID* set) override;
  THostProjectNode(IpwProjectNode* parent, const GUID& typeKey, WideStringView name, const GUID& key = GUID_NULL);
  void SetLanguageKey(const GUID& key) { languageKey_ = key; }
  void AddChild(IpwProjectNode* child) { children_.emplace_back(child); }
  // Lets the children and everything below them go (they hold their parent: the tree is a cycle
  // until then).
  void ClearChildren();
  // Attribute 0 is the file that keeps the node's data.
  void SetAttributeValue(std::int32_t id, const OleVariant& value) { attributes_[id] = value; }

  HRESULT GetKey(GUID* key) override;
  HRESULT GetName(BSTR* name) override;
  HRESULT SetName(BSTR name) override;
  HRESULT GetTypeKey(GUID* typeKey) override;
  HRESULT GetAttribute(std::int32_t id, VARIANT* value) override;
  HRESULT SetAttribute(std::int32_t id, const VARIANT& value) override;
  HRESULT GetGuidAttribute(std::int32_t index, GUID* value) override;
  HRESULT SetGuidAttribute(std::int32_t index, const GUID& value) override;
  HRESULT GetParent(IpwProjectNode** parent) override;
  HRESULT GetChildren(IpwProjectNodeIterator** children) override;
  HRESULT HasTests(VARIANT_BOOL* result) override;
  HRESULT GetTestContext(IUnknown** context) override;
  HRESULT GetTests(IpwTestIterator** tests) override;
  // IpwProject: attached and detached nodes are recorded.
  HRESULT GetLanguageKey(GUID* key) override;
  HRESULT NodeAttached(IpwProjectNode* node) override;
  HRESULT NodeDetached(IpwProjectNode* node) override;
  std::vector<WideString> Tracking() const { return tracking_; }
  // IpwProjectContextItem
  HRESULT GetInstanceKey(GUID* key) override;

 protected:
  void* GetInterface(const IID& riid) noexcept override;

 private:
  ComPtr<IpwProjectNode> parent_;
  GUID typeKey_, key_, instanceKey_{};
  WideString name_;
  GUID languageKey_{};
  std::vector<ComPtr<IpwProjectNode>> children_;
  std::map<std::int32_t, OleVariant> attributes_;
  std::vector<WideString> tracking_;
  std::vector<GUID> eventSets_;
};

// The host's own item types, Project and Item.
class THostItemTypes final : public Implements<ComObject, IpwProjectItemTypeProvider, IpwProjectItemFileLoader> {
 public:
  explicit THostItemTypes(IcvBaseManager* manager) : manager_(manager) {}
  HRESULT GetKey(GUID* key) override;
  HRESULT GetItemTypeCount(std::int32_t* count) override;
  // A project item of the type (host/node_type_registry.h: MakeHostNode); LoadItemFromFile opens
  // one from its ".pwp" or ".pwi" file.
  HRESULT LoadItemFromFile(IcvBaseManager* manager, IpwProjectNode* parent, BSTR fileName,
                           IpwProjectNode** node) override;
  HRESULT CreateItem(const GUID& typeKey, const GUID& key, IpwProjectNodeConfigInfo* configInfo, IUnknown* context,
                     IpwProjectNode* parent, IpwProjectNode** node) override;
  HRESULT AddNewItem(IpwProjectNode* parent, const GUID& typeKey, BSTR name, IpwProjectNode** node) override;
  HRESULT GetItemTypeInfo(std::int32_t index, IpwProjectNodeInfo** info) override;

 private:
  // Not counted: the manager holds the registry that holds this list.
  IcvBaseManager* manager_;
};

// The information of the Unavailable type (any parent) for that type's key, else nil.
ComPtr<IpwProjectNodeInfo> UnavailableTypeInfo(const GUID& typeKey, IcvBaseManager* manager);

// The node-event sink the broker hands out: records every NodeChanged.
class THostNodeEvents final : public Implements<ComObject, IpwProjectNodeEvents> {
 public:
  struct Record {
    std::int32_t kind;
    ComPtr<IpwProjectNode> node;
  };
  std::vector<Record> Changes() const;
  void ClearChanges();
  HRESULT NodeChanged(std::int32_t kind, IpwProjectNode* node) override;

 private:
  mutable std::mutex lock_;
  std::vector<Record> changes_;
};

// Also the source-control support manager of the run-control service: it records what it is told.
class TProjectRegistry final
    : public Implements<ComObject, IpwProjectNodeRegistry, IpwProjectNodeRegistryService, IpwRunControl,
                        IpwTestEngineState, IpwSccSupportManager, IpwProjectNodeTypeRegistry> {
 public:
  struct SccNotice {
    const char* what;  // "BeginReload", "EndReload", "ChildAdded", "ChildRemoved"
    ComPtr<IpwProjectNode> node, child;
  };
  std::vector<SccNotice> SccNotices() const;
  // The run control answers the run state that `run` holds (GUID_NULL without one).
  explicit TProjectRegistry(ComPtr<TRunState> run = nullptr) : run_(std::move(run)) {}
  void SetSuiteOpen(bool open);
  void AddNode(IpwProjectNode* node);
  // A change of the current node is told to the listener (the test host: the broker's node
  // events), outside the registry's lock; setting the same node again tells nothing.
  void SetCurrentNode(IpwProjectNode* node);
  void SetCurrentNodeListener(std::function<void(IpwProjectNode*)> listener);
  void SetCurrentLanguage(const GUID& key);
  // The item the test run works on (nil: none).
  void SetRunItem(IcvKeyItem* item);
  // The run control's stop: a running script ends at its next check (any thread). The request
  // holds until ClearStop.
  void RequestStop() noexcept { stopRequested_ = true; }
  bool StopRequested() const noexcept { return stopRequested_.load(); }
  void ClearStop() noexcept { stopRequested_ = false; }
  void SetSuiteRoot(IpwProjectNode* root);
  void SetDefaultProject(IpwProjectNode* project);
  // Item-type lists: the host's own first, then the plug-ins' in the order added.
  void AddItemTypes(IpwProjectItemTypeProvider* list);
  void RemoveItemTypes(IpwProjectItemTypeProvider* list);
  std::vector<ComPtr<IpwProjectItemTypeProvider>> ItemTypeLists() const;
  // The answer of CanEdit (True by default) and the nodes BeginEdit was called with.
  void SetCanEdit(bool canEdit);
  std::vector<ComPtr<IpwProjectNode>> EditsBegun() const;
  // Called with the node at each BeginEdit, after it is recorded and outside the registry's lock
  // (a test looks at the node's state the moment the edit begins).
  void SetBeginEditHook(std::function<void(IpwProjectNode*)> hook);
  void Clear();

  // IpwProjectNodeRegistry
  HRESULT GetNodeByKey(const GUID& key, IpwProjectNode** node) override;
  PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7) PW_HOST_RESERVED(8)
  PW_HOST_RESERVED(9) PW_HOST_RESERVED(10) PW_HOST_RESERVED(11)
  HRESULT IsSuiteOpen(VARIANT_BOOL* open) override;
  PW_HOST_RESERVED(13) PW_HOST_RESERVED(14) PW_HOST_RESERVED(15) PW_HOST_RESERVED(16) PW_HOST_RESERVED(17)
  HRESULT GetSuiteRoot(IpwProjectNode** root) override;
  HRESULT GetCurrentNode(IpwProjectNode** node) override;
  HRESULT GetDefaultProject(IpwProjectNode** project) override;
  PW_HOST_RESERVED(21) PW_HOST_RESERVED(22) PW_HOST_RESERVED(23) PW_HOST_RESERVED(24)
  HRESULT GetNodeInfoLists(IpwNodeInfoListEnumerator** lists) override;
  HRESULT GetNodeInfo(const GUID& typeKey, IpwProjectNodeInfo** info) override;
  PW_HOST_RESERVED(27) PW_HOST_RESERVED(28) PW_HOST_RESERVED(29) PW_HOST_RESERVED(30) PW_HOST_RESERVED(31)
  PW_HOST_RESERVED(32) PW_HOST_RESERVED(33)
  HRESULT CanEdit(IpwProjectNode* owner, VARIANT_BOOL* result) override;
  HRESULT BeginEdit(IpwProjectNode* owner) override;
  // IpwProjectNodeRegistryService
  HRESULT GetCurrentLanguageKey(GUID* key) override;
  // The owner's kind: 3 (a project explorer showing the containers' actions) unless set.
  HRESULT GetOwnerKind(std::int32_t* kind) override;
  void SetOwnerKind(std::int32_t kind) { ownerKind_ = kind; }
  // IpwRunControl (its reserved slots 4 to 31 are the registry's, by name)
  HRESULT GetCurrentItem(IcvKeyItem** item) override;
  // Slot 24: the run control's stop (RequestStop); the arguments are not read.
  HRESULT StopRun(std::int32_t, std::int32_t) override;
  PW_HOST_RESERVED(12) PW_HOST_RESERVED(18) PW_HOST_RESERVED(19) PW_HOST_RESERVED(20) PW_HOST_RESERVED(25)
  PW_HOST_RESERVED(26)
  // Slot 32: True while the run control's stop or the run state's stop flag is set.
  HRESULT IsStopRequested(VARIANT_BOOL* requested) override;
  // IpwTestEngineState
  HRESULT GetRunState(GUID* state) override;
  // IpwSccSupportManager
  PW_HOST_RESERVED(3)
  HRESULT BeginReload(IpwProjectNode* node) override;
  HRESULT EndReload(IpwProjectNode* node) override;
  HRESULT ChildAdded(IpwProjectNode* container, IpwProjectNode* child) override;
  HRESULT ChildRemoved(IpwProjectNode* container, IpwProjectNode* child) override;

  // IpwProjectNodeTypeRegistry (host/node_type_registry.cpp): the factories are the item-type
  // lists; before-add and after-add are recorded ("before CONTAINER NODE", "after NODE"), the
  // before-add answer is SetAddAllowed's; Unavailable nodes are the host's.
  void SetNodeManager(IcvBaseManager* manager) { nodeManager_ = manager; }
  void SetAddAllowed(bool allowed);
  std::vector<WideString> AddRecords() const;
  HRESULT GetFactoryCount(std::int32_t* count) override;
  HRESULT GetFactory(std::int32_t index, IpwProjectItemTypeProvider** factory) override;
  HRESULT GetTypeInfo(const GUID& typeKey, IpwProjectNodeInfo** info) override;
  HRESULT BeforeAdd(IpwProjectNode* container, IUnknown* nodeOrList, VARIANT_BOOL* allowed) override;
  HRESULT AfterAdd(IpwProjectNode* node, std::int32_t reserved) override;
  HRESULT CreateUnavailableNode(const GUID& typeKey, BSTR typeName, BSTR pluginName, const GUID& key,
                                IpwProjectNode* parent, IpwProjectNode** node) override;

 private:
  // Not counted: the manager holds this registry.
  IcvBaseManager* nodeManager_ = nullptr;
  bool addAllowed_ = true;
  std::atomic<std::int32_t> ownerKind_{3};
  std::vector<WideString> addRecords_;
  ComPtr<TRunState> run_;
  mutable std::mutex lock_;
  std::atomic<bool> stopRequested_{false};
  bool suiteOpen_ = false;
  std::vector<ComPtr<IpwProjectNode>> nodes_;
  ComPtr<IpwProjectNode> current_;
  std::function<void(IpwProjectNode*)> currentListener_;
  ComPtr<IcvKeyItem> runItem_;
  GUID language_{};
  ComPtr<IpwProjectNode> suiteRoot_, defaultProject_;
  std::vector<ComPtr<IpwProjectItemTypeProvider>> itemTypes_;
  bool canEdit_ = true;
  std::vector<ComPtr<IpwProjectNode>> editsBegun_;
  std::function<void(IpwProjectNode*)> beginEditHook_;
  std::vector<SccNotice> sccNotices_;
};

// The project-update object the broker hands out: records update brackets and removed files.
class THostProjectUpdate final : public Implements<ComObject, IpwProjectUpdate> {
 public:
  std::int32_t Depth() const;
  // "begin", "end" and "removed NAME: FILE, FILE" lines, in order.
  std::vector<WideString> Notices() const;
  HRESULT BeginProjectUpdate() override;
  HRESULT EndProjectUpdate() override;
  HRESULT NodeFilesRemoved(IpwProjectNode* node, IpwStringCollection* files) override;

 private:
  mutable std::mutex lock_;
  std::int32_t depth_ = 0;
  std::vector<WideString> notices_;
};

class TDiagnosticLog final : public Implements<ComObject, IpwDiagnosticLog> {
 public:
  std::vector<WideString> Lines() const;
  HRESULT Write(BSTR text) override;

 private:
  mutable std::mutex lock_;
  std::vector<WideString> lines_;
};

// The project service (IpwProjectService), handed out by the options service's entry of the
// lookup: it records "BeforeLoad NAME", "Unloaded NAME", "BeforeSave NAME", "Properties NAME",
// "ConfirmRename NAME NEW" and "Renamed NAME NEW" and answers from what the test set (no
// unsaved changes, properties shown, renames confirmed). Whether a node's data may be dropped
// ("MayDropData NAME"): yes for an unmodified node; else the next queued answer with dialogs (a
// missing answer fails the call) and no without dialogs.
class TProjectService final : public Implements<ComObject, IpwProjectService> {
 public:
  explicit TProjectService(std::shared_ptr<HostConfig> config = nullptr) : config_(std::move(config)) {}
  void QueueDropAnswer(bool answer);
  std::vector<WideString> Notices() const;
  void ClearNotices();
  void SetUnsavedChanges(bool value) { unsaved_ = value; }
  void SetCanShowProperties(bool value) { canShowProperties_ = value; }
  void SetConfirmRename(bool value) { confirmRename_ = value; }

  PW_HOST_RESERVED(3) PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7)
  PW_HOST_RESERVED(8) PW_HOST_RESERVED(9) PW_HOST_RESERVED(10)
  HRESULT BeforeLoad(IpwProjectNode* node) override;
  HRESULT NodeUnloaded(IpwProjectNode* node) override;
  HRESULT BeforeSave(IpwProjectNode* node) override;
  HRESULT HasUnsavedChanges(IpwProjectNode* node, VARIANT_BOOL* result) override;
  HRESULT CanShowProperties(IpwProjectNode* node, VARIANT_BOOL* result) override;
  HRESULT MayDropNodeData(IpwProjectNode* node, VARIANT_BOOL* result) override;
  PW_HOST_RESERVED(17) PW_HOST_RESERVED(18) PW_HOST_RESERVED(19) PW_HOST_RESERVED(20) PW_HOST_RESERVED(21)
  HRESULT ShowProperties(IpwProjectNode* node) override;
  PW_HOST_RESERVED(23) PW_HOST_RESERVED(24) PW_HOST_RESERVED(25) PW_HOST_RESERVED(26) PW_HOST_RESERVED(27)
  PW_HOST_RESERVED(28) PW_HOST_RESERVED(29) PW_HOST_RESERVED(30) PW_HOST_RESERVED(31) PW_HOST_RESERVED(32)
  PW_HOST_RESERVED(33)
  HRESULT ConfirmRename(IpwProjectNode* node, BSTR newName, VARIANT_BOOL* result) override;
  HRESULT NodeRenamed(IpwProjectNode* node, BSTR newName) override;

 private:
  void Add(WideString line);
  std::shared_ptr<HostConfig> config_;
  mutable std::mutex lock_;
  std::vector<WideString> notices_;
  std::deque<bool> dropAnswers_;
  std::atomic<bool> unsaved_{false}, canShowProperties_{true}, confirmRename_{true};
};

// The file notices of project nodes (IpwFileNotices): records "Renamed NAME: OLD -> NEW",
// "BeforeReload NAME" and "AfterReload NAME". The host has none registered; tests and pwhost
// register one under the file-notice service key.
class TFileNotices final : public Implements<ComObject, IpwFileNotices> {
 public:
  std::vector<WideString> Notices() const;
  PW_HOST_RESERVED(3) PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7)
  PW_HOST_RESERVED(8) PW_HOST_RESERVED(9) PW_HOST_RESERVED(10) PW_HOST_RESERVED(11) PW_HOST_RESERVED(12)
  PW_HOST_RESERVED(13) PW_HOST_RESERVED(14) PW_HOST_RESERVED(15)
  HRESULT FileRenamed(IpwProjectNode* node, BSTR oldPath, BSTR newPath) override;
  HRESULT BeforeReload(IpwProjectNode* node) override;
  HRESULT AfterReload(IpwProjectNode* node) override;

 private:
  mutable std::mutex lock_;
  std::vector<WideString> notices_;
};

// "NAME" of a node for the notices ("?" when it has none).
WideString NoticeName(IpwProjectNode* node);

}  // namespace pw::host
