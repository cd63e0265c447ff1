// TpwProjectNodeContainer: the persistent project node that owns child project nodes. Beside
// its own data it keeps its children's records in the data node's "Child List": one entry per
// child ("Item" and ten digits) with "Key", "Type", "TypeName", "PluginName", "Index" and the
// child's "Item Data". Load rebuilds the children from the entries (sorted by "Index", ties in
// stored order): duplicate keys, single-instance types, missing factories and children that
// fail to load are reported, and each entry that cannot become its real node becomes an
// Unavailable node (the host's stand-in) that keeps the entry's data. Save rewrites the entries
// of the present children in place and never drops an entry it did not write: entries of
// children that could not be made, or whose save answered an unknown code, stay as read.
//
// The children change on the main thread only (the thread that initialised the container):
// AddChild, RemoveChild, ReplaceOnFake and ReplaceOnReal called from another thread are posted
// to the host's main thread and run there. The container keeps its entries by key and the
// largest stored "Index" in memory, so adding a child costs no walk of the stored entries.
//
// Every report goes through the messenger's Report (printed without dialogs, never raising),
// so a project with a missing plug-in still opens. While Load runs the container answers the
// child-by-name question from a name index of the children present and added, so opening a
// project of many items does not check each name against every sibling.
#pragma once

#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/rtl/strings.h"
#include "project/nodes/base_node.h"
#include "project/nodes/project_helpers.h"
#include "project/folders/container_folders.h"
#include "project/storage/project_node.h"

namespace pw::project {

// The host's stand-in for an element whose type cannot be made.
inline constexpr GUID kUnavailableNodeType = MakeGuid("{C7DE7563-8C55-47C4-8725-E1B328F24160}");
// The HTTP load-testing item: only its missing factory has a message of its own.
inline constexpr GUID kHttpLoadTestingType = MakeGuid("{E8C1C875-39EB-49BF-B198-621F4DCE9077}");

// Message styles of the container's reports.
inline constexpr std::int32_t kStyleDuplicateKey = 0x1026;
inline constexpr std::int32_t kStyleMissingFactory = 0xFA0;
inline constexpr std::int32_t kStyleReplacedByUnavailable = 0xFA6;
inline constexpr std::int32_t kStyleCopyQuestion = 0x1048;
inline constexpr std::int32_t kHelpContextLoadTesting = 0x85B;
// The node error of a critical child error in a host without dialogs.
inline constexpr std::int32_t kErrCritical = 107;

// The container's actions.
inline constexpr GUID kNewItemAction = MakeGuid("{1F19D2CA-4B01-420A-AD84-AB68DB2B4E58}");
inline constexpr GUID kExistingItemAction = MakeGuid("{F5C48E5A-FB55-4B1D-B500-8C0086EC8083}");

// Save codes.
inline constexpr std::int32_t kSaveDone = 0;
inline constexpr std::int32_t kSaveIncomplete = 1;
inline constexpr std::int32_t kSaveCancelled = 2;

// The host's node-type registry (nil without one).
ComPtr<IpwProjectNodeTypeRegistry> GetNodeTypeRegistry(IcvBaseManager* manager);
// The messenger's report: never raises (a host without messenger shows nothing).
void ReportToUser(IcvBaseManager* manager, WideStringView text, std::int32_t style, std::int32_t helpContext = 0);
// "Cannot load data for %s. ..." with or without the plug-in's name.
WideString FormatMissingFactoryMessage(WideStringView typeName, WideStringView pluginName);
// Whether the host runs in mode 3 (without dialogs).
bool IsHostModeWithoutDialogs(IcvBaseManager* manager);
// The kind of the project tree's owner (the node registry service's answer; 0 without it):
// containers register their actions New Item and Existing Item only for kind 3.
std::int32_t GetProjectOwnerKind(IcvBaseManager* manager);
// The owner's state test: True while the host state answers the mode question with the running
// mode. The containers' actions are disabled and drops refused meanwhile.
bool IsProjectOwnerBusy(IcvBaseManager* manager);

// The first fault of a container's children, as reported: a nil child, one that does not answer
// IpwProjectNode or one that does not answer IpwProjectContextItem ("The POSITION ... Container:
// FULL NAME [TYPE NAME:TYPE GUID]."); empty when there is none.
WideString FindChildFault(IcvBaseManager* manager, IpwProjectNode* container,
                          const std::vector<IpwProjectNode*>& children);

// The children of a container by position: the count (0 before the first child) and the child
// at a position; a position outside 0 .. count-1 fails with E_INVALIDARG.
struct IpwProjectNodeChildList : IUnknown {
  static constexpr IID iid = MakeGuid("{3E0C7A51-2D84-4B6F-9C1A-7F52B0D4E6A9}");
  using Inherited = IUnknown;
  virtual HRESULT GetChildCount(std::int32_t* count) = 0;
  virtual HRESULT GetChildAt(std::int32_t index, IpwProjectNode** child) = 0;
};

class TpwProjectNodeContainer
    : public Implements<TpwProjectNode, IpwProjectNodeContainer, IpwChildNameLookup, IpwProjectNodeChildList> {
 public:
  // IsVirtual: the container keeps its data in its parent's data (else in a file of its own).
  TpwProjectNodeContainer(IpwProjectNode* parent, const GUID& typeKey, const GUID& key, bool isVirtual);
  ~TpwProjectNodeContainer() override;

  std::int32_t ChildCount() const { return childs_ ? childs_->Count() : 0; }
  // Nil outside 0 .. ChildCount()-1.
  IpwProjectNode* ChildAt(std::int32_t index) const;
  IpwProjectNode* ChildByKey(const GUID& key) const { return childs_ ? childs_->FindByKey(key) : nullptr; }
  // The entry of a child in "Child List" (nil when it has none).
  ComPtr<IcvOptionsNode> EntryOf(const GUID& key);

  // Counters of the node classes: hidden children (the iterator yields nothing), copy saves
  // (with the flag: children are asked to copy themselves) and save overrides.
  void BeginHideChildren() { ++hideCount_; }
  void EndHideChildren() { --hideCount_; }
  void BeginCopy(bool copyChildren) {
    ++copyCount_;
    copyFlag_ = copyChildren;
  }
  void EndCopy() { --copyCount_; }

  // ---- The container's own steps (virtual)
  virtual bool CanAcceptChild(IpwProjectNode* child);
  virtual void WriteChildEntry(IpwProjectNode* child, IcvOptionsNode* entry, std::int32_t index);
  virtual bool EntryMatchesNode(IcvOptionsNode* entry, IpwProjectNode* child);
  virtual bool LoadChildData(IpwProjectNode* child, IcvOptionsNode* entry);
  virtual std::int32_t SaveChild(IpwProjectNode* child, IcvOptionsNode* entry);
  // A child leaves the container: finalised, with its files deleted when DeleteFiles. An
  // exception is reported once through the diagnostic log and raised again.
  virtual void FinalizeChild(IpwProjectNode* child, bool deleteFiles);
  virtual bool AddChildNode(IpwProjectNode* child);
  virtual bool RemoveChildNode(IpwProjectNode* child, bool deleteFiles);
  virtual bool ReplaceOnFakeNode(IpwProjectNode* child, ComPtr<IpwProjectNode>& fake);
  virtual bool ReplaceOnRealNode(IpwFakeProjectNode* fake, ComPtr<IpwProjectNode>& real);

  // The user-level add of a new child of a type: the registry's before-add question (with the
  // list), CreateChild, AddChildNode, the registry's after-add; the new child is saved and
  // appended to Added. False when nothing was added.
  virtual bool AddChild(const GUID& typeKey, IInterfaceList* added);
  // A new child of the type from the host's item service (the dialog service's New Item: the
  // type's creation parameters as the user fills them in, then the type's provider); nil when
  // the host has no item service, the user cancels or nothing is made.
  virtual ComPtr<IpwProjectNode> CreateChild(const GUID& typeKey);
  // Adds the elements kept in item files (the names one a line, CR LF between; each opened by
  // the first factory whose file loader takes it); the keys of the added children, nil when
  // nothing was added.
  virtual ComPtr<IUnknown> AddExistingChild(WideStringView fileNames);
  // After a user-level add: the provider registered for the node's type is asked for (when it is
  // registered and available) and let go, then the registry hears of the add (node, -1).
  void NotifyChildAdded(IpwProjectNode* node);
  // Whether logical folders are offered: no outside-change reload runs, the children are not
  // hidden and some registered type may go under the container.
  virtual bool CanHaveFolders();
  // Whether the container may add new items: it has data (or keeps it in its parent's), the host
  // has its item service (the dialog service) and CanHaveFolders.
  virtual bool CanAddNewItem();
  // What the Existing Item action asks: CanAddNewItem.
  virtual bool CanAddExistingItem() { return CanAddNewItem(); }
  // The first faulty child (nil, no IpwProjectNode, no IpwProjectContextItem) is reported;
  // False then.
  bool CheckChildren();

  // The container's actions New Item and Existing Item (others: the persistent node's). The
  // New Item parameter is a type key (a GUID text; anything else, the null GUID), the Existing
  // Item parameter a file name (an omitted one, or one that is no text, is empty). 0 when a
  // child was added, else 2.
  std::int32_t ExecuteAction(const GUID& action, const VARIANT& param, VARIANT* result) override;
  // New Item: title "Add Child Item", enabled by CanAddNewItem; Existing Item: enabled by
  // CanAddExistingItem; both disabled while the owner is busy. Others: the persistent node's.
  void UpdateAction(const GUID& action) override;

  // Files dropped on the container: taken when folders are offered, the owner is not busy and
  // one name has an extension of a type the container may take; the drop adds those files (in
  // their order) through AddExistingChild.
  bool CanAcceptFiles(WideStringView fileNames) override;
  void AcceptFiles(WideStringView fileNames) override;

  // Attribute 7 of a container kept in its parent's data: True when a child (or, below a child
  // that is no container, a node further down) answers True. Other attributes: the node's.
  OleVariant Attribute(std::int32_t id) override;

  // Configurations: each call runs the node's own step, then goes to every child that answers
  // IpwProjectNodeWithConfig, in order. The modified question answers False while the children
  // are hidden, else True when the node or a child answers True; a child saves a configuration
  // only when it has it and it is modified. A child's store is the container's store asked by
  // name for the child's key (GUID text with braces): an options node's sub-node; none when the
  // container has no store or the store is no options node.
  HRESULT IsConfigKeyModified(const GUID& key, VARIANT_BOOL* result) override;
  HRESULT SetConfig(IUnknown* config) override;
  HRESULT SaveConfigKey(const GUID& key) override;
  HRESULT LoadConfigKey(const GUID& key) override;
  ComPtr<IUnknown> GetChildConfigStore(IpwProjectNode* child);
  // A registered factory is withdrawn or registered: children of its types become Unavailable
  // nodes, or Unavailable nodes of its types are restored.
  void FactoryRemoved(IpwProjectItemTypeProvider* factory);
  void FactoryAdded(IpwProjectItemTypeProvider* factory);

  // An Unavailable node for an entry, loaded from it and added; nil when that fails.
  ComPtr<IpwProjectNode> CreateUnavailableNode(const GUID& typeKey, const GUID& key, IcvOptionsNode* entry,
                                               WideStringView typeName, WideStringView pluginName,
                                               WideStringView errorText);
  // Whether a registered type names this node's type as parent and can still be added.
  bool HasChildTypes();

  // Logical folders: the container keeps them when some registered type names its type as
  // parent; CanAddFolder is the container's answer to a new top-level folder.
  virtual bool SupportsFolders();
  virtual bool CanAddFolder() { return true; }
  TpwContainerFolders& Folders() { return folders_; }

  // ---- Overrides
  // The actions New Item and Existing Item are registered for the node's instance key when the
  // owner's kind is 3, and unregistered at Finalize whatever it is.
  void DoInitialize(IcvBaseManager* manager) override;
  void DoFinalize() override;
  bool Load() override;
  std::int32_t Save() override;
  void Unload() override;
  ComPtr<IpwProjectNodeIterator> Children() override;

  // IpwProjectNodeContainer
  HRESULT GetChildEntry(IpwProjectNode* child, IUnknown** entry, VARIANT* value) override;
  HRESULT AddChild(IpwProjectNode* child, VARIANT_BOOL* added) override;
  HRESULT RemoveChild(IpwProjectNode* child, VARIANT_BOOL deleteFiles) override;
  HRESULT ReplaceOnFake(IpwProjectNode* child, IpwProjectNode** newNode, VARIANT_BOOL* replaced) override;
  HRESULT ReplaceOnReal(IpwFakeProjectNode* fake, IpwProjectNode** newNode, VARIANT_BOOL* replaced) override;
  // IpwChildNameLookup: answered while Load runs (from the names of the children present when it
  // began and of those it added); E_NOTIMPL otherwise.
  HRESULT FindChildByName(const char16_t* name, std::size_t length, IpwProjectNode** child) override;
  // IpwProjectNodeChildList
  HRESULT GetChildCount(std::int32_t* count) override;
  HRESULT GetChildAt(std::int32_t index, IpwProjectNode** child) override;

 protected:
  void* GetInterface(const IID& riid) noexcept override;
  bool OnMainThread() const { return std::this_thread::get_id() == mainThread_; }
  IpwProjectNodeContainer* AsContainer() { return static_cast<IpwProjectNodeContainer*>(this); }

 private:
  ComPtr<IcvOptionsNode> ChildList();
  bool LoadChildren();
  // The entry a child's save writes to: its own (an older "Item%d" name migrated), or a new one.
  ComPtr<IcvOptionsNode> EntryForSave(IpwProjectNode* child, IcvOptionsNode* list, std::int32_t position);
  ComPtr<IcvOptionsNode> NewEntry(IcvOptionsNode* list);
  void ForgetEntry(const GUID& key, bool deleteIt);
  // The load-time name index made again from the present children (after a removal or a
  // replacement while loading).
  void IndexChildNames();
  // Walks the registry's factories and their type descriptions until f answers true.
  bool ForEachNodeType(const std::function<bool(IpwProjectItemTypeProvider*, IpwProjectNodeInfo*)>& f);
  bool IsSingleInstance(IpwProjectNodeInfo* info);
  // SaveChild without the configurations.
  std::int32_t SaveChildData(IpwProjectNode* child, IcvOptionsNode* entry);
  // One file of AddExistingChild; its keys are appended when it was added.
  bool AddExistingFile(WideStringView fileName, std::vector<GUID>& keys);
  // The project service's question before a child whose files stay loses its unsaved data.
  bool MayDropChildData(IpwProjectNode* child);
  // The children as they are now (empty while hidden).
  std::vector<ComPtr<IpwProjectNode>> ChildSnapshot() const;
  bool HasChildOfType(const GUID& type);
  void SetUnavailableError(IpwProjectNode* node, WideStringView text);
  // Puts New in Old's place (same key, position and entry); Old is finalised.
  void PutInPlace(IpwProjectNode* oldNode, IpwProjectNode* newNode);
  ComPtr<IpwProjectNode> MakeRealNode(IpwProjectItemTypeProvider* factory, const GUID& type, const GUID& key,
                                      IcvOptionsNode* entry, WideString& detail);

  std::unique_ptr<TProjectNodeChilds> childs_;
  // Entry names by key, the largest stored "Index" and a counter for fresh entry names.
  std::unordered_map<GUID, WideString> entryNames_;
  std::int32_t maxIndex_ = -1;
  std::int32_t hideCount_ = 0, copyCount_ = 0;
  bool copyFlag_ = false;
  bool loading_ = false;
  // While Load runs: the children by name ignoring case (the first of each name), so that a
  // loading child's name check does not walk its siblings.
  std::unordered_map<WideString, ComPtr<IpwProjectNode>, IgnoringCaseHash, IgnoringCaseEqual> loadNames_;
  std::thread::id mainThread_;
  TpwContainerFolders folders_{*this};
};

}  // namespace pw::project
