// TpwProjectItem: the project item, a container that always keeps its data in a file of its own
// (the base of the items plug-ins contribute). Besides the container's interfaces it answers
// IpwProjectItemNode: the node's thirteen IpwProjectNode methods and five item-file operations.
//
// TpwGUIDIterator: the keys of the children an add from a file made, as IpwGUIDIterator (the
// string iterator's Skip, HasNext and Reset, then Next giving a GUID). Every text is checked when
// the iterator is made: a text that is no GUID makes the constructor raise the conversion error.
#pragma once

#include <vector>

#include "core/containers/checked_iterators.h"
#include "project/container/node_container.h"

namespace pw::project {

struct IpwProjectItemNode : IpwProjectNode {
  static constexpr IID iid = MakeGuid("{81F17682-DA63-456A-A332-18D039C5F23F}");
  using Inherited = IpwProjectNode;
  virtual HRESULT ReloadFromFile(BSTR fileName, VARIANT_BOOL quiet, VARIANT_BOOL* loaded) = 0;
  virtual HRESULT SaveToOwnFile(std::int32_t* result) = 0;
  virtual HRESULT SaveToNewFile(BSTR fileName, VARIANT_BOOL flag, std::int32_t* result) = 0;
  virtual HRESULT SaveToDefaultFile(VARIANT_BOOL flag, std::int32_t* result) = 0;
  virtual HRESULT WriteCreationInfo(IUnknown* info) = 0;
};

struct IpwGUIDIterator : IcvIterator {
  static constexpr IID iid = MakeGuid("{5F8E7434-68EB-4953-8F4E-EA6790E99E79}");
  using Inherited = IcvIterator;
  virtual void Next(GUID& value) = 0;
};

class TpwProjectItem : public Implements<TpwProjectNodeContainer, IpwProjectItemNode> {
 public:
  TpwProjectItem(IpwProjectNode* parent, const GUID& typeKey, const GUID& key);

  // IpwProjectNode (one implementation for every interface that extends it)
  PW_PROJECT_NODE_MEMBERS
  // The item-file operations
  HRESULT ReloadFromFile(BSTR fileName, VARIANT_BOOL quiet, VARIANT_BOOL* loaded) override {
    return TpwProjectNode::ReloadFromFile(fileName, quiet, loaded);
  }
  HRESULT SaveToOwnFile(std::int32_t* result) override { return TpwProjectNode::SaveToOwnFile(result); }
  HRESULT SaveToNewFile(BSTR fileName, VARIANT_BOOL flag, std::int32_t* result) override {
    return TpwProjectNode::SaveToNewFile(fileName, flag, result);
  }
  HRESULT SaveToDefaultFile(VARIANT_BOOL flag, std::int32_t* result) override {
    return TpwProjectNode::SaveToDefaultFile(flag, result);
  }
  HRESULT WriteCreationInfo(IUnknown* info) override { return TpwProjectNode::WriteCreationInfo(info); }

 protected:
  void* GetInterface(const IID& riid) noexcept override;
};

class TpwGUIDIterator : public Implements<TcvBaseStringIterator, IpwGUIDIterator> {
 public:
  // Takes the list; raises the conversion error for a text that is no GUID.
  explicit TpwGUIDIterator(TStringList* strings);
  static ComPtr<TpwGUIDIterator> FromKeys(const std::vector<GUID>& keys);

  void Skip(std::int32_t count) override { TcvBaseStringIterator::Skip(count); }
  WordBool HasNext() override { return TcvBaseStringIterator::HasNext(); }
  void Reset() override { TcvBaseStringIterator::Reset(); }
  void Next(GUID& value) override;
  using TcvBaseStringIterator::Next;
};

}  // namespace pw::project
