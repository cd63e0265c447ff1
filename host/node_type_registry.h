// The host's side of project containers: the Unavailable node (the stand-in for an element whose
// type no factory makes: it keeps a copy of its entry's "Item Data", writes it back unchanged and
// never touches a file), the host's Project node (a project item that answers IpwProject) and
// Item node (a project item in a ".pwi" file), and the records of the node-type registry
// (IpwProjectNodeTypeRegistry, answered by TProjectRegistry): adds asked for and made, and the
// answer of the before-add question.
#pragma once

#include <mutex>
#include <vector>

#include "core/options/options_intf.h"
#include "host/com_support.h"
#include "host/project_services.h"
#include "project/container/project_item.h"

namespace pw::host {

class THostUnavailableNode final
    : public Implements<project::TpwBaseProjectNode, IpwFakeProjectNode, IpwParentStoredNode> {
 public:
  THostUnavailableNode(IpwProjectNode* parent, const GUID& key, const GUID& typeKey, WideStringView typeName,
                       WideStringView pluginName);

  const WideString& ErrorText() const { return errorText_; }
  IpwProjectNode* AsNode() { return static_cast<IpwProjectNodeInternal*>(this); }
  // The "Item Data" copy (nil before a load).
  ComPtr<IcvOptionsNode> ItemData() const;

  // IpwProjectNode (one implementation for every interface that extends it)
  PW_PROJECT_NODE_MEMBERS
  // IpwFakeProjectNode
  HRESULT GetFileName(BSTR* fileName) override;
  HRESULT GetRepresentedTypeKey(GUID* typeKey) override;
  HRESULT GetRepresentedTypeName(BSTR* typeName) override;
  HRESULT GetRepresentedPluginName(BSTR* pluginName) override;
  // IpwParentStoredNode: the item-data pair (a copy in, the same copy out).
  HRESULT LoadFromDataNode(IUnknown* source, VARIANT_BOOL* loaded) override;
  HRESULT SaveToDataNode(IUnknown* target, VARIANT_BOOL force, std::int32_t* result) override;
  HRESULT MarkChanged() override { return S_OK; }
  HRESULT GetEventProvider(IUnknown** provider) override;
  // Property 1 is the error text shown for the node.
  void GetPropertyValue(std::int32_t index, VARIANT* value) override;
  void SetPropertyValue(std::int32_t index, const VARIANT& value) override;

 protected:
  void* GetInterface(const IID& riid) noexcept override;

 private:
  GUID representedType_;
  WideString typeName_, pluginName_, errorText_;
  ComPtr<IcvOptionsBuilder> data_;
};

// The host's Project node: a project item of the Project type that answers IpwProject (its
// language is the host's current one; attached and detached nodes are recorded) and the
// file-deletion veto IpwProjectFileRemoval: it checks nothing (every file of a removed node goes)
// until a file is named to keep; then each file is asked about and the kept ones stay. The
// questions are recorded: "checks yes|no", "may remove FILE yes|no".
class THostProject final : public Implements<project::TpwProjectItem, IpwProject, IpwProjectFileRemoval> {
 public:
  THostProject(IpwProjectNode* parent, const GUID& key) : Implements(parent, kProjectNodeType, key) {}
  std::vector<WideString> Tracking() const;
  HRESULT GetLanguageKey(GUID* key) override;
  HRESULT NodeAttached(IpwProjectNode* node) override;
  HRESULT NodeDetached(IpwProjectNode* node) override;
  // IpwProjectFileRemoval
  void KeepFile(WideStringView fileName);
  std::vector<WideString> RemovalQuestions() const;
  HRESULT ChecksFileRemoval(VARIANT_BOOL* checks) override;
  HRESULT MayRemoveFile(BSTR fileName, VARIANT_BOOL* allowed) override;

 private:
  mutable std::mutex lock_;
  std::vector<WideString> tracking_;
  std::vector<WideString> keptFiles_, removalQuestions_;
};

// A node of the host's own types (Project, Item), initialised. With creation parameters of the
// file kind the node opens its file (created when missing) and takes the parameters' name.
ComPtr<IpwProjectNode> MakeHostNode(IcvBaseManager* manager, const GUID& typeKey, const GUID& key,
                                    IpwProjectNodeConfigInfo* config, IpwProjectNode* parent);
// A node of the host's types opened from an item file; nil when the file is no item file of them.
ComPtr<IpwProjectNode> LoadHostNode(IcvBaseManager* manager, IpwProjectNode* parent, WideStringView fileName);

}  // namespace pw::host
