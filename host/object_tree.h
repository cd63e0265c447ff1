// The host's object tree of test objects (IpwSysManager, IpwSysNode and friends). A node has a
// key, properties by GUID (among them its names as code-model elements), children, extensions
// and context objects; scripts see it through IpwScriptSysNode ("Sys" is the root), which is
// also what the IDispatch of its IpwSysNode answers.
#pragma once

#include <atomic>
#include <climits>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "core/automation/automation.h"
#include "host/com_support.h"
#include "interfaces/ProbewrightHost.h"

namespace pw::host {

// Property keys of a node's names: the first and the second name (each an invoke expression).
inline constexpr GUID kNodeNameProperty = MakeGuid("{E38E283C-D00E-428E-B146-C2555847E758}");
inline constexpr GUID kNodeSecondNameProperty = MakeGuid("{49AB793E-88F7-4B7A-82B4-C6A3FCE36794}");

// The builders that the nodes of one tree are offered to, shared by the manager and its nodes
// (a node may outlive its manager), and the failures of the offers made as nodes were added.
struct TNodeBuilders {
  std::mutex lock;
  std::vector<ComPtr<IpwSysNodeBuilder>> list;
  std::vector<WideString> failures;
  // Moves when the list is cleared, so that a node's record of the builders that serve it
  // (uncounted: the plug-ins that made them may be gone) is not read for other builders.
  std::uint64_t generation = 0;
};

// The node property (IpwSysNodeEx::GetPropertyValue) that lists a node's live members:
// "value;checked;" (empty or Null: none).
inline constexpr GUID kLiveMembersProperty = MakeGuid("{6A1C2E47-0B9D-4F35-A8E2-93D7C41F5B60}");

class TSysNode final
    : public AutoImplements<TCVAAutoIntfObject, IpwScriptSysNode, IpwSysNodeEx, IpwSysNodeHighlight, IcvKeyItem,
                            IpwNodeReference, IpwSysNodeNameText, IpwExtensibleSysNode, IpwSysObjectWindow,
                            IpwSysObjectControlWithPivotWindow, IpwNativeContext, IpwSysObjectProcess,
                            IpwSysWindowActions, IpwWaitTimeoutValue, IpwSysNodeInvoke, IpwSysNodeElementSearch> {
 public:
  // A node named Name(args...) in code; GUID_NULL as the key makes a new one.
  TSysNode(TSysNode* parent, WideStringView name, std::vector<OleVariant> args, const GUID& key);
  ~TSysNode() override;

  // A new child joins the tree and is offered to the tree's builders at once (their failures go
  // to TSysManager::BuilderFailures). `prepare` runs on the child before it joins and is
  // offered, for what builders ask of a new node (its native objects, its type).
  ComPtr<TSysNode> AddChild(WideStringView name, std::vector<OleVariant> args = {}, const GUID& key = GUID_NULL,
                            const std::function<void(TSysNode&)>& prepare = {});
  // An extension node (found by FindNodeExtension through its key).
  ComPtr<TSysNode> AddExtension(const GUID& key);
  void RemoveChild(TSysNode* child);
  // The node's mapped name: an alias Name(args...) that names it without its ancestors.
  void SetMappedName(WideStringView name, std::vector<OleVariant> args = {});
  void SetSecondName(WideStringView name, std::vector<OleVariant> args = {});
  void SetProperty(const GUID& key, const OleVariant& value);
  // Whether the node's own property (not a builder's) is the text, compared exactly.
  bool PropertyIs(const GUID& key, WideStringView text) const;
  void SetContextObject(const GUID& key, IUnknown* object);
  // Drops the name property (a node that contributes nothing to full names).
  void ClearName();
  // Lets go of what plug-ins attached to this node and every node below it (slices, context and
  // native objects): a slice may hold the tree's manager, so the host calls this as it shuts down.
  void ReleaseAttachments();
  // The key of the node's object type (names come from the manager's type registry).
  void SetObjectType(const GUID& typeKey);
  // The native object of a kind that builders ask for (nil removes it). The one of kind GUID_NULL
  // is the node's default native object: while it answers IDispatch the node answers
  // IpwSysNodeInvoke, which calls it late-bound.
  void SetNativeObject(const GUID& kind, IUnknown* object);
  // A window node (IpwSysObjectWindow answers its handle; the node is also its own native object
  // under the window kind {E9E061ED-...} unless one was set for that kind) and a control with a
  // pivot window (IpwSysObjectControlWithPivotWindow); a node answers each only once it is set.
  void SetWindowHandle(std::int32_t handle) { windowHandle_ = handle; }
  void SetPivotWindow(std::int32_t handle) { pivotWindow_ = handle; }
  // Script members of the node's own (answered after IpwScriptSysNode's, before the slices'): a
  // value (read, and written by a property put) or a function of the arguments in call order
  // (an exception becomes the call's failure with its message and code). "Exists" answers
  // whether the node is in the tree unless a member of that name is set.
  //
  // A function member set by SetMember is a property (computed at each read, given a put's
  // value); one set by SetMethod is a method: it runs only when called (DISPATCH_METHOD), while a
  // plain read or a put answers DISP_E_MEMBERNOTFOUND, so a script reads it as a function to call
  // and never runs it by reading it. YieldToSlices makes the member of that name (an empty one
  // when there is none yet) stand in for a slice's member of the same name, from then on and
  // whatever is set under the name later: while a slice attached to the node answers the name,
  // the name reaches the slice; the node's own answers otherwise.
  using MemberFunction = std::function<OleVariant(std::vector<OleVariant>& args)>;
  void SetMemberValue(WideStringView name, const OleVariant& value);
  void SetMember(WideStringView name, MemberFunction function);
  void SetMethod(WideStringView name, MemberFunction function);
  void YieldToSlices(WideStringView name);
  // A member read from what the node stands for at each call (given one argument, as a property
  // put passes it, it writes it there): not a property the node knows, so searches over the
  // nodes' members leave it out. The node's property kLiveMembersProperty lists the names of its
  // live members, each followed by ";".
  void SetLiveMember(WideStringView name, MemberFunction function);
  OleVariant MemberValue(WideStringView name) const;
  // A process node (IpwSysObjectProcess; answered once set). It is also its own native object
  // under the process kind {89700BDC-...} unless one was set for that kind.
  void SetProcess(std::int32_t id, WideStringView name, WideStringView commandLine);
  // The window actions (IpwSysWindowActions, answered by window nodes) recorded in order:
  // "activate", "restore", "close <wait time>"; with the wait time-out value (IpwWaitTimeoutValue, answered once set)
  // at the time of the call: "activate 0".
  std::vector<WideString> WindowActions() const;
  void SetWaitTimeout(std::int32_t value) { waitTimeout_ = value; }
  std::int32_t WaitTimeout() const { return waitTimeout_; }
  // What an action on the window does besides being recorded (nil: nothing).
  void SetWindowActionHandler(std::function<void(WideStringView action)> handler);
  // The object context a page or web object node hands out through IpwNativeContext (nil: none;
  // then its context object under the context-item key {010C9CA9-...}, if any); while it has
  // one, the node is its own native object under that key (unless one was set for that kind).
  void SetPageContext(IUnknown* context);
  // The keys handed to the node's native context, in order.
  std::vector<GUID> ContextKeys() const;
  // The slices added to the node, in order.
  struct Slice {
    IID iid;
    ComPtr<IDispatch> dispatch;
    GUID group;
    std::int32_t tag;
  };
  std::vector<Slice> Slices() const;
  // An object that answers an interface the node does not implement itself (the node's
  // services, its own identification, its property reader): a QueryInterface of the node for
  // `iid` is the object's for it. Nil removes it.
  void SetInterfaceObject(const IID& iid, IUnknown* object);
  // How often the node was asked to refresh its children.
  int RefreshCount() const { return refreshes_; }
  // Children read on demand (the elements of a page): the loader runs, without the node's lock
  // and one at a time per node, whenever the node's children are asked for through its
  // interfaces (GetChildren, the child counts, Child) with `refresh` false, and at every Refresh
  // with `refresh` true; it adds, removes and orders the children itself and decides whether a
  // read is due. Children() (the C++ view, used by tree-wide searches) never runs it. A loader's
  // exception is not passed on: the children stay as they were.
  using ChildLoader = std::function<void(TSysNode& node, bool refresh)>;
  void SetChildLoader(ChildLoader loader);
  // Moves a child to the position (clamped to the end); nothing when it is no child.
  void MoveChild(TSysNode* child, std::size_t index);
  // The search of the nodes below this one in one read (the elements of a page): the node answers
  // IpwSysNodeElementSearch once it is set. The function gives the candidates and whether the
  // list is complete, or nothing for a property it cannot answer.
  struct ElementCandidates {
    std::vector<ComPtr<TSysNode>> nodes;
    bool complete = true;
  };
  using ElementSearch = std::function<std::optional<ElementCandidates>(
      TSysNode& node, WideStringView property, WideStringView text, WideStringView tag, std::int32_t maxCount)>;
  void SetElementSearch(ElementSearch search);

  const GUID& Key() const { return key_; }
  const WideString& NameText() const { return name_; }
  // The parent, counted; nil for the root and for a node that left the tree.
  ComPtr<TSysNode> Parent() const;
  std::vector<ComPtr<TSysNode>> Children() const;
  // The first child that passes the test, without a copy of the list: the test runs under this
  // node's lock (it may lock the child, never this node's ancestors). Nil when none passes.
  ComPtr<TSysNode> FindChild(const std::function<bool(const TSysNode&)>& test) const;
  bool Highlighted() const { return highlighted_; }
  // How often the node was highlighted.
  int HighlightCount() const { return highlights_; }
  // The node and everything below it, depth first; nil when the key is not there.
  ComPtr<TSysNode> FindByKey(const GUID& key);
  // The full name of the node in JavaScript (ancestors' names joined by ".").
  WideString FullNameText() const;

  // IpwSysNode
  HRESULT GetExtensionCount(std::int32_t* count) override;
  HRESULT GetExtension(std::int32_t index, IpwSysNode** extension) override;
  PW_HOST_RESERVED(9)
  HRESULT GetParent(IpwSysNode** parent) override;
  PW_HOST_RESERVED(11)
  PW_HOST_RESERVED(12)
      // "Exists" of the node's script members (whether it is in the tree unless a member answers).
      HRESULT NodeExists(VARIANT_BOOL* exists) override;
  PW_HOST_RESERVED(14)
  PW_HOST_RESERVED(15)
      // The node's own IDispatch (its members and its slices').
      HRESULT GetOwnObject(IDispatch** object) override;
  PW_HOST_RESERVED(17)
  PW_HOST_RESERVED(18)
      // The same as Refresh (a page node reads its whole element tree).
      HRESULT Update() override;
  HRESULT GetFullName(BSTR* name) override;
  PW_HOST_RESERVED(21) PW_HOST_RESERVED(22) PW_HOST_RESERVED(23) PW_HOST_RESERVED(24)
  // IpwSysNodeEx. A property the node does not hold itself comes from the builders that serve
  // the node (IpwSysNodePropertyProvider), the first that answers one (not Unassigned); Null
  // when none does.
  HRESULT GetPropertyValue(const GUID& key, VARIANT* value) override;
  HRESULT GetMappedNameElement(IcvSyntaxCodeInvokeExpression** element) override;
  HRESULT GetChildren(IpwSysNodeIterator** children) override;
  PW_HOST_RESERVED(28)
  HRESULT GetNodeKey(GUID* key) override;
  HRESULT GetContextObject(const GUID& key, IUnknown** object) override;
  HRESULT GetChildCount(std::int32_t* count) override;
  HRESULT Refresh() override;
  HRESULT GetObjectTypeKey(GUID* typeKey) override;
  // IcvKeyItem
  HRESULT GetKey(GUID* key) override;
  // IpwNodeReference: a weak reference object, which answers this node while it is alive and in
  // the tree, nil after.
  HRESULT Resolve(IUnknown** reference) override;
  // IpwSysNodeNameText: the node's name as JavaScript text.
  HRESULT GetNameText(BSTR* name) override;
  // IpwExtensibleSysNode (slots 11 and 13; its slots 4 to 10 and 12 share the reserved
  // operations of those names)
  PW_HOST_RESERVED(3)
  HRESULT GetNativeObject(const GUID& kind, IUnknown** object) override;
  HRESULT AddExtension(const GUID& iid, IUnknown* slice, const GUID& group, std::int32_t tag) override;
  // IDispatch: the node's own members, then its slices' in the order they were added (a member
  // that yields to slices comes after them). A name a slice answers gets a DISPID of the node
  // (kSliceDispIdBase + its entry) that routes each call to that slice with the slice's own
  // DISPID.
  static constexpr DISPID kSliceDispIdBase = 0x40000000;
  // IpwSysObjectWindow, IpwSysObjectControlWithPivotWindow, IpwNativeContext
  HRESULT GetHandle(std::int32_t* handle) override;
  HRESULT GetPivotWindow(std::int32_t* handle) override;
  HRESULT SetContextKey(const GUID& key) override;
  // (its slots 9 and 11 share IpwSysNode's reserved operations of those names)
  // clang-format off
  PW_HOST_RESERVED(4) PW_HOST_RESERVED(5) PW_HOST_RESERVED(6) PW_HOST_RESERVED(7) PW_HOST_RESERVED(8)
  PW_HOST_RESERVED(10)
      // clang-format on
      // IpwNativeContext 12: the object context that SetPageContext gave (nil without one).
      HRESULT GetPageContext(IUnknown** context) override;
  // IpwSysObjectProcess
  HRESULT GetProcessId(std::int32_t* id) override;
  HRESULT GetProcessName(BSTR* name) override;
  HRESULT GetCommandLine(BSTR* commandLine) override;
  // IpwSysWindowActions
  HRESULT Activate() override;
  HRESULT Restore() override;
  HRESULT Close(std::int32_t waitTime) override;
  // IpwWaitTimeoutValue
  HRESULT GetValue(std::int32_t* value) override;
  HRESULT SetValue(std::int32_t value) override;
  // IpwSysNodeInvoke: IDispatch's name look-up and Invoke of the default native object
  // (DISP_E_UNKNOWNNAME and DISP_E_MEMBERNOTFOUND once it is gone).
  HRESULT GetNativeIDsOfNames(const GUID& iid, const char16_t* const* names, std::uint32_t count, std::uint32_t locale,
                              std::int32_t* dispIds) override;
  HRESULT InvokeNative(std::int32_t dispId, const GUID& iid, std::uint32_t locale, std::uint16_t flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception, std::uint32_t* argError) override;
  // IpwSysNodeElementSearch (answered once SetElementSearch was called)
  HRESULT FindElementCandidates(BSTR property, BSTR text, BSTR tag, std::int32_t maxCount,
                                IpwSysNodeIterator** candidates, VARIANT_BOOL* complete) override;
  HRESULT GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                        DISPID* dispIds) override;
  HRESULT Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override;
  // IpwSysNodeHighlight
  HRESULT Highlight() override;
  HRESULT IsHighlighted(VARIANT_BOOL* result) override;
  HRESULT ResetHighlight() override;
  // IpwScriptSysNode
  HRESULT get_Name(BSTR* name) override;
  HRESULT get_FullName(BSTR* name) override;
  HRESULT get_ChildCount(std::int32_t* count) override;
  HRESULT Child(std::int32_t index, IDispatch** node) override;
  HRESULT get_Parent(IDispatch** node) override;

 private:
  mutable std::recursive_mutex lock_;
  // Not counted: a node's destructor clears its children's links under one tree-wide lock, and a
  // child takes its parent under the same lock only while the parent is alive (TryAddRef).
  TSysNode* parent_;
  GUID key_;
  WideString name_;
  std::map<GUID, OleVariant> properties_;
  ComPtr<IcvSyntaxCodeInvokeExpression> mappedName_;
  std::vector<ComPtr<TSysNode>> children_;
  std::vector<ComPtr<TSysNode>> extensions_;
  std::map<GUID, ComPtr<IUnknown>> contextObjects_;
  std::atomic<bool> highlighted_{false};  // reset from any thread
  std::atomic<int> highlights_{0};
  GUID typeKey_{};
  std::atomic<int> refreshes_{0};
  std::recursive_mutex childLoading_;
  bool loadingChildren_ = false;  // under childLoading_: a loader asking for the children again reads none
  ChildLoader childLoader_;
  ElementSearch elementSearch_;  // under lock_
  void LoadChildren(bool refresh);
  std::map<GUID, ComPtr<IUnknown>> natives_;
  ComPtr<IDispatch> DefaultNativeDispatch() const;
  std::atomic<std::int32_t> windowHandle_{0}, pivotWindow_{0};
  std::vector<GUID> contextKeys_;
  ComPtr<IUnknown> pageContext_;
  // The page context given, else the context object under the context-item key; under lock_.
  ComPtr<IUnknown> PageContextLocked() const;
  struct Member {
    WideString name;
    OleVariant value;
    MemberFunction function;
    bool live = false;
    bool method = false;
    bool yieldsToSlices = false;
  };
  static constexpr DISPID kMemberDispIdBase = 0x30000000;
  static constexpr DISPID kExistsDispId = kMemberDispIdBase - 1;  // "Exists" without a member of that name
  std::vector<Member> members_;
  // The index of the member of that name (ignoring case); members_.size() when there is none.
  // Marks a member live or not, and lists the live ones in the property kLiveMembersProperty.
  void SetMemberLiveLocked(std::size_t index, bool live);
  std::size_t FindMemberLocked(WideStringView name) const;
  void SetFunctionMember(WideStringView name, MemberFunction function, bool method);
  HRESULT InvokeMember(std::size_t index, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo);
  void RecordWindowAction(WideStringView action);
  bool isProcess_ = false;
  std::int32_t processId_ = 0;
  WideString processName_, commandLine_;
  std::vector<WideString> windowActions_;
  std::function<void(WideStringView)> windowActionHandler_;
  std::atomic<std::int32_t> waitTimeout_{INT32_MIN};
  std::vector<Slice> slices_;
  // The node's DISPIDs of slice members: entry i is (slice, the slice's DISPID).
  std::vector<std::pair<std::size_t, DISPID>> sliceRoutes_;
  // Set on a node that was removed from its parent: it and its descendants left the tree.
  std::atomic<bool> removed_{false};
  // The builders of the tree (the parent's; the manager's for the root).
  std::shared_ptr<TNodeBuilders> builders_;
  // The builders that serve the node (their ExtendNode added a slice to it), uncounted, valid
  // while builders_->generation is servedGeneration_.
  std::vector<IpwSysNodeBuilder*> servedBy_;
  std::uint64_t servedGeneration_ = 0;
  void NoteServedBy(IpwSysNodeBuilder* builder, std::uint64_t generation);
  // The builders that serve the node and are still the tree's, counted.
  std::vector<ComPtr<IpwSysNodeBuilder>> ServingBuilders() const;
  friend class TSysManager;
  friend std::vector<WideString> OfferToBuilders(TNodeBuilders&, TSysNode&, bool);

 public:
  struct Life;

 protected:
  void* GetInterface(const IID& riid) noexcept override;
  HRESULT QueryMissingInterface(const IID& riid, void** ppv) noexcept override;

 private:
  std::shared_ptr<Life> life_;
  std::map<IID, ComPtr<IUnknown>> interfaceObjects_;  // under lock_

 public:
  // Whether the node and its ancestors are still in the tree.
  bool InTree() const;
};

class TSysManager final : public Implements<ComObject, IpwSysManager, IpwObjectTypeRegistry> {
 public:
  // Names an object type.
  void RegisterType(const GUID& typeKey, WideStringView name);
  HRESULT FindTypeName(const GUID& typeKey, BSTR* name, VARIANT_BOOL* found) override;
  // The root is the node "Sys".
  TSysManager();
  ~TSysManager() override;
  const ComPtr<TSysNode>& Root() const { return root_; }

  HRESULT GetRoot(IpwSysNode** root) override;
  // The first node in the tree (depth first) whose window handle is Window.
  HRESULT GetWindowNode(std::int32_t window, IpwSysNode** node) override;
  // The innermost node (depth first, later children over earlier ones) whose screen rectangle
  // holds the point (right and bottom edges outside); nil when none.
  HRESULT GetObjectAtPoint(std::int32_t x, std::int32_t y, IpwSysNode** node) override;
  // Depth first below Root, Depth levels down (1: Root's children); Data handed on as it is.
  HRESULT VisitNodes(IpwSysNode* root, IpwSysNodeVisitor* visitor, std::uint8_t* data, std::int32_t reserved1,
                     std::int32_t depth, std::int32_t reserved2) override;
  // The screen rectangle of a node (the sample desktop's); an empty one removes it.
  struct ScreenRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  };
  void SetScreenRect(const GUID& nodeKey, const ScreenRect& rect);
  // The nodes that have a rectangle, in tree order (depth first), with their rectangles.
  std::vector<std::pair<ComPtr<TSysNode>, ScreenRect>> ScreenObjects() const;
  // How many nodes the visits handed to visitors (all visits since the manager was made).
  std::uint64_t VisitedCount() const { return visited_; }
  // The host's manager (uncounted here: the host owns the tree; SetHostManager(nullptr) as it
  // shuts down).
  HRESULT GetManager(IcvBaseManager** manager) override;
  PW_SYS_MANAGER_RESERVED
  // Start itself (StartOnly) or Start and the nodes below it already read, depth first in
  // child order; a node matches when each name's script member matches its value
  // (VariantsMatch; a member the node lacks matches nothing). Names and Values are single
  // values or arrays of the same length (E_INVALIDARG otherwise).
  HRESULT FindByIdentification(IpwSysNode* start, VARIANT_BOOL startOnly, const VARIANT& names, const VARIANT& values,
                               std::int32_t flags, IUnknown** object) override;
  void SetHostManager(IcvBaseManager* manager) { hostManager_ = manager; }

  // The builders that every node is offered to (TPluginHost adds the plug-ins'). A node added
  // to the tree is offered as it joins; the nodes that exist when builders come are offered
  // with OfferNode (TPluginHost::Start offers the whole tree).
  void AddBuilder(IpwSysNodeBuilder* builder);
  void ClearBuilders();
  // Offers the node (and, with `subtree`, everything below it) to every builder, in the order
  // they were added; answers the failures of ExtendNode as texts.
  std::vector<WideString> OfferNode(TSysNode& node, bool subtree = false);
  // The failures of the offers made as nodes joined the tree, in order.
  std::vector<WideString> BuilderFailures() const;

 private:
  ComPtr<TSysNode> root_;
  std::atomic<IcvBaseManager*> hostManager_{nullptr};
  std::mutex typesLock_;
  std::map<GUID, WideString> types_;
  std::shared_ptr<TNodeBuilders> builders_ = std::make_shared<TNodeBuilders>();
  mutable std::mutex rectsLock_;
  std::map<GUID, ScreenRect> rects_;
  std::atomic<std::uint64_t> visited_{0};
};

}  // namespace pw::host
