// TpwBaseProjectNode: the root class of every node the module places in the
// host's project tree. It carries what every node has, stored anywhere or not:
// its identity (key, type key, a per-object instance key), its parent, its name
// and the rules a new name must pass, a change counter with an update lock, the
// last error of a load, three general properties, display attributes and its
// own icon. The host sees it through IpwProjectNodeInternal (and so
// IpwProjectNode and IcvKeyItem), IpwProjectContextItem, IpwNodePropertyList,
// IpwPropertyObjectOwner, IpwNodeLastError, IpwNodeBitmapAccess and
// IpwNodeManagerAccess.
//
// Also TProjectNodeChilds, the child list of containers (indexed by key: keys
// never change), and the node iterators, which fail once the list they walk
// changed.
//
// Name, attributes and properties work before Initialize; name validation,
// notifications and property owners need the manager. Without one, a name check
// that fails raises its text.
#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include "core/com/interfaced_object.h"
#include "core/containers/checked_iterators.h"
#include "interfaces/ProbewrightHost.h"
#include "platform/automation/variant.h"
#include "project/nodes/companions.h"

namespace pw::project {

// The second identity under which nodes answer IpwNodeLastError.
inline constexpr IID kNodeLastErrorAltIid = MakeGuid("{59E2F6CE-98FE-41B9-A864-BA6081A4084E}");

// The general-property texts.
struct TpwPropertyTexts {
  static const WideString General;
  static const WideString Name, NameDescription;
  static const WideString Description, DescriptionDescription;
  static const WideString ComputerName, ComputerNameDescription;
  static const WideString UserName, UserNameDescription;
  static const WideString TypeName, TypeNameDescription;
  static const WideString StorageName, StorageNameDescription;
  static const WideString Comment, CommentDescription;
  static const WideString FileName, FileNameDescription;
};

class TpwBaseProjectNode
    : public Implements<TcvInterfacedObject, IpwProjectNodeInternal, IpwProjectContextItem, IpwNodePropertyList,
                        IpwPropertyObjectOwner, IpwNodeLastError, IpwNodeBitmapAccess, IpwNodeManagerAccess> {
 public:
  TpwBaseProjectNode(IpwProjectNode* parent, const GUID& typeKey, const GUID& key);
  ~TpwBaseProjectNode() override;

  const GUID& Key() const { return key_; }
  const GUID& TypeKey() const { return typeKey_; }
  const GUID& InstanceKey() const { return instanceKey_; }
  const WideString& Name() const { return name_; }
  IcvBaseManager* Manager() const { return manager_.Get(); }
  IpwProjectNode* Parent() const { return parent_.Get(); }
  std::int32_t ChangeCount() const { return changeCount_; }
  std::int32_t ErrorCode() const { return errorCode_; }
  const WideString& ErrorMessage() const { return errorMessage_; }
  bool Finalizing() const { return finalizing_; }
  std::int32_t ReloadCount() const { return reloadCount_; }
  void SetReloadCount(std::int32_t count) { reloadCount_ = count; }
  TpwProjectNodePersonalBitmap* PersonalBitmap() const { return bitmap_.get(); }

  // The name: unchanged for the same name; taken without checks while updating;
  // otherwise ValidateName (which may correct it), NameChanged and
  // DoChanged(True).
  void ChangeName(WideStringView newName);

  virtual void DoChanged(bool notify);
  virtual void ResetModified() { savedChangeCount_ = changeCount_; }
  virtual bool IsModified() { return changeCount_ != savedChangeCount_; }
  // 0 no rule, 1 file names, 2 identifiers of the project's language, 3
  // identifiers of the language whose names begin with a letter.
  virtual std::uint8_t GetStorageType() { return 0; }
  virtual bool ValidateName(WideString& newName, bool allowCorrection);
  virtual void NameChanged(const WideString& oldName, const WideString& newName) { MarkOwnerModified(); }
  virtual ComPtr<IpwPropertyObject> CreatePropertyObject(std::int32_t index);
  virtual std::int32_t PropertyCount() { return 3; }
  virtual OleVariant Attribute(std::int32_t id);
  virtual void ChangeAttribute(std::int32_t id, const OleVariant& value);
  virtual GUID GuidAttribute(std::int32_t index);
  virtual void ChangeGuidAttribute(std::int32_t index, const GUID& value);
  virtual ComPtr<IpwProjectNodeIterator> Children();
  virtual bool NodeHasTests() { return false; }
  virtual ComPtr<IUnknown> TestContext() { return nullptr; }
  virtual ComPtr<IpwTestIterator> Tests();
  virtual void DoInitialize(IcvBaseManager* manager);
  virtual void DoFinalize();
  virtual bool NodeCanRelease() { return true; }

  void BeginUpdate() { ++updateCount_; }
  void EndUpdate() {
    if (updateCount_ > 0) --updateCount_;
  }
  bool IsUpdating() const { return updateCount_ > 0; }
  // Tells the host's node-event sink that this node changed.
  void SendNodeChanged();
  // Marks the nearest persistent ancestor modified when it lists this node.
  void MarkOwnerModified();

  // IcvKeyItem, IpwProjectNode, IpwProjectNodeInternal
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
  HRESULT Initialize(IcvBaseManager* manager) override;
  HRESULT Finalize() override;
  HRESULT FinalizeNode() override;
  HRESULT CanRelease(VARIANT_BOOL* result) override;
  // IpwProjectContextItem
  HRESULT GetInstanceKey(GUID* key) override;
  // IpwNodePropertyList
  HRESULT GetPropertyCount(std::int32_t* count) override;
  HRESULT GetProperty(std::int32_t index, IpwPropertyObject** property) override;
  // IpwPropertyObjectOwner (plain calls: they raise)
  void GetPropertyValue(std::int32_t index, VARIANT* value) override;
  void SetPropertyValue(std::int32_t index, const VARIANT& value) override;
  // IpwNodeLastError
  HRESULT GetErrorCode(std::int32_t* code) override;
  HRESULT GetErrorMessage(BSTR* message) override;
  void SetNodeError(std::int32_t code, BSTR message) override;
  // IpwNodeBitmapAccess
  HRESULT SetBitmapHandle(std::int32_t handle) override;
  HRESULT GetBitmapPart(std::int32_t index, std::int32_t* handle) override;
  HRESULT SetBitmapPart(std::int32_t index, std::int32_t handle) override;
  HRESULT GetBitmapHandle(std::int32_t* handle) override;
  // IpwNodeManagerAccess
  void GetManager(IcvBaseManager** manager) override;

 protected:
  void Constructed() noexcept override;
  void* GetInterface(const IID& riid) noexcept override;
  // The type's information (nil without a manager or for a type the host does
  // not know).
  ComPtr<IpwProjectNodeInfo> TypeInfo() const;
  // Reports a failed name rule: shown through the messenger, or raised without
  // a manager.
  void ReportNameError(WideStringView text, std::int32_t helpContext);

  ComPtr<IcvBaseManager> manager_;
  ComPtr<IpwProjectNode> parent_;

 private:
  bool ApplyNameRule(WideString& newName, bool allowCorrection, const WideString& typeCaption);

  GUID instanceKey_{};
  std::unique_ptr<TpwProjectNodePersonalBitmap> bitmap_;
  WideString comment_;
  std::int32_t integerAttribute_ = -2;
  GUID key_{}, typeKey_{};
  WideString name_;
  std::int32_t changeCount_ = 0, savedChangeCount_ = 0, updateCount_ = 0;
  std::int32_t errorCode_ = 0;
  WideString errorMessage_;
  bool finalizing_ = false;
  std::int32_t reloadCount_ = 0;
  std::vector<ComPtr<IpwPropertyObject>> properties_;
};

// The members of IpwProjectNode, answered by TpwBaseProjectNode, for the body of a class derived
// from it that also implements an interface extending IpwProjectNode.
#define PW_PROJECT_NODE_MEMBERS                                                                               \
  HRESULT GetKey(GUID* key) override { return TpwBaseProjectNode::GetKey(key); }                              \
  HRESULT GetName(BSTR* name) override { return TpwBaseProjectNode::GetName(name); }                          \
  HRESULT SetName(BSTR name) override { return TpwBaseProjectNode::SetName(name); }                           \
  HRESULT GetTypeKey(GUID* typeKey) override { return TpwBaseProjectNode::GetTypeKey(typeKey); }              \
  HRESULT GetAttribute(std::int32_t id, VARIANT* value) override {                                            \
    return TpwBaseProjectNode::GetAttribute(id, value);                                                       \
  }                                                                                                           \
  HRESULT SetAttribute(std::int32_t id, const VARIANT& value) override {                                      \
    return TpwBaseProjectNode::SetAttribute(id, value);                                                       \
  }                                                                                                           \
  HRESULT GetGuidAttribute(std::int32_t index, GUID* value) override {                                        \
    return TpwBaseProjectNode::GetGuidAttribute(index, value);                                                \
  }                                                                                                           \
  HRESULT SetGuidAttribute(std::int32_t index, const GUID& value) override {                                  \
    return TpwBaseProjectNode::SetGuidAttribute(index, value);                                                \
  }                                                                                                           \
  HRESULT GetParent(IpwProjectNode** parent) override { return TpwBaseProjectNode::GetParent(parent); }       \
  HRESULT GetChildren(IpwProjectNodeIterator** children) override {                                           \
    return TpwBaseProjectNode::GetChildren(children);                                                         \
  }                                                                                                           \
  HRESULT HasTests(VARIANT_BOOL* result) override { return TpwBaseProjectNode::HasTests(result); }            \
  HRESULT GetTestContext(IUnknown** context) override { return TpwBaseProjectNode::GetTestContext(context); } \
  HRESULT GetTests(IpwTestIterator** tests) override { return TpwBaseProjectNode::GetTests(tests); }

// The ordered child list of a container. Every child holds one reference; every
// Add, Remove and Clear raises the generation that the list's iterators check.
class TProjectNodeChilds {
 public:
  explicit TProjectNodeChilds(const GUID& ownerTypeKey) : ownerTypeKey_(ownerTypeKey) {}
  ~TProjectNodeChilds() { Clear(); }
  TProjectNodeChilds(const TProjectNodeChilds&) = delete;
  TProjectNodeChilds& operator=(const TProjectNodeChilds&) = delete;

  // False for nil, a key already present or a type whose information names
  // another parent type (types of the any-parent key go anywhere). The registry
  // is asked once per type.
  bool Add(IpwProjectNodeRegistry* registry, IpwProjectNode* child);
  bool Remove(IpwProjectNode* child);
  // Puts NewChild in OldChild's place (same position; the key table follows NewChild's key).
  // False when OldChild is not here or NewChild's key is another child's.
  bool Replace(IpwProjectNode* oldChild, IpwProjectNode* newChild);
  // Whether it held any.
  bool Clear();
  std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
  // No range check.
  IpwProjectNode* Get(std::int32_t index) const { return items_[static_cast<std::size_t>(index)].Get(); }
  std::int32_t IndexOf(IpwProjectNode* child) const;
  bool Contains(IpwProjectNode* child) const { return IndexOf(child) >= 0; }
  std::int32_t IndexOfKey(const GUID& key) const;
  bool ContainsKey(const GUID& key) const { return byKey_.contains(key); }
  IpwProjectNode* FindByKey(const GUID& key) const;
  std::int32_t Generation() const { return generation_; }
  // An iterator that fails once the list changed; KeepAlive is held while it
  // lives (the list's owner).
  ComPtr<IpwProjectNodeIterator> GetIterator(IUnknown* keepAlive) const;
  // Every child that answers IpwProjectNodeInternal answers CanRelease True.
  bool AllChildrenCanRelease() const;

 private:
  GUID ownerTypeKey_;
  std::vector<ComPtr<IpwProjectNode>> items_;
  std::unordered_map<GUID, IpwProjectNode*> byKey_;
  std::unordered_map<GUID, bool> allowedTypes_;
  std::int32_t generation_ = 0;
};

// A node iterator over no nodes, and a test iterator over no tests.
ComPtr<IpwProjectNodeIterator> MakeEmptyNodeIterator();
ComPtr<IpwTestIterator> MakeEmptyTestIterator();
// A node iterator over a fixed list (no generation check).
ComPtr<IpwProjectNodeIterator> MakeNodeListIterator(std::vector<ComPtr<IpwProjectNode>> nodes);
// A node iterator over an interface list it holds, checked against Generation when given; an
// item that is no project node raises the interface-cast error.
ComPtr<IpwProjectNodeIterator> MakeInterfaceListNodeIterator(IInterfaceList* list,
                                                             std::function<std::int32_t()> generation);

}  // namespace pw::project
