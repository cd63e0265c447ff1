// Free functions that every project-tree class uses to reach the host and to
// walk the tree: the host services it needs, the current project and a node's
// project and language, children by name, type and instance, file names of
// nodes, the duplicate-key check, the name corrections for file names and
// identifiers, the host's version text and the node-type registry.
//
// They work on the host's node interfaces, so on any node whichever module made
// it. A failing host call raises; a missing service raises in its getter (a nil
// manager gives nil).
#pragma once

#include <functional>
#include <vector>

#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"
#include "platform/ui/gdi.h"

namespace pw::project {

// Node types and languages.
inline constexpr GUID kProjectTypeKey = MakeGuid("{362A8EE5-675E-43A9-869D-06ECE80B0CB4}");
// The language whose identifiers must begin with a letter.
inline constexpr GUID kLetterFirstLanguageKey = MakeGuid("{897793E3-73F3-4895-A956-3D41D3A24A45}");
// The item type that any parent accepts.
inline constexpr GUID kAnyParentTypeKey = MakeGuid("{C7DE7563-8C55-47C4-8725-E1B328F24160}");

// Host services of the manager's lookup.
inline constexpr GUID kDialogService = MakeGuid("{59A2F68C-B38D-4DD4-A53F-51A8B80588F4}");
inline constexpr GUID kNodeRegistryService = MakeGuid("{24B6FA0B-0143-461A-9758-AEB9E9A9428B}");
inline constexpr GUID kMessengerService = MakeGuid("{F6FF2D77-4189-428E-BABE-0FF1BC4EE6E4}");
inline constexpr GUID kProviderRegistryService = MakeGuid("{415B5AA1-C6AC-4D4D-9A53-063A521A45AB}");
inline constexpr GUID kObjectBrokerService = MakeGuid("{B194834B-CBC1-4C10-9840-53294F41FC3F}");
inline constexpr GUID kHostStateService = MakeGuid("{B4FE2003-80F1-469E-8C46-F286F8310606}");
inline constexpr GUID kDiagnosticLogService = MakeGuid("{2A39924A-C72A-4254-B8FD-B7F63B8553C2}");
// The state question "how does the host run" and its interactive answer.
inline constexpr GUID kHostModeQuestion = MakeGuid("{73BD8AE3-0F50-47B6-B1E0-14669814AE32}");
inline constexpr GUID kHostModeInteractive = MakeGuid("{160E9506-4F8D-440F-BEF4-81AC3D40C9D9}");

// Messages are lines joined by CR LF.
inline constexpr WideStringView kCrLf = u"\r\n";

ComPtr<IcvMessenger> GetMessenger(IcvBaseManager* manager);
ComPtr<IpwProjectNodeRegistry> GetNodeRegistry(IcvBaseManager* manager);
ComPtr<IpwObjectBroker> GetObjectBroker(IcvBaseManager* manager);
ComPtr<IpwHostState> GetHostState(IcvBaseManager* manager);
// Nil when the host has no dialog service.
ComPtr<IpwDialogService> GetDialogService(IcvBaseManager* manager);

// The messenger's error display (text, help context, 0), confirmation and
// correction question (text, 2, 3, 1, 0, 0; 1 means the user accepts).
void ShowProjectError(IcvBaseManager* manager, WideStringView text, std::int32_t helpContext);
bool ConfirmProject(IcvBaseManager* manager, WideStringView text, std::int32_t helpContext);
std::int32_t AskCorrection(IcvBaseManager* manager, WideStringView text);
// True when the host state answers the mode question with the interactive mode.
bool IsHostInteractive(IcvBaseManager* manager);

// Node accessors (a failing call raises).
GUID NodeKey(IpwProjectNode* node);
GUID NodeTypeKey(IpwProjectNode* node);
WideString NodeName(IpwProjectNode* node);
ComPtr<IpwProjectNode> NodeParent(IpwProjectNode* node);
// The node's context identifier; GUID_NULL when it has none.
GUID NodeInstanceKey(IUnknown* node);
// Hands f each child in GetChildren order until f answers false; false when f
// stopped the walk.
bool ForEachChild(IpwProjectNode* parent, const std::function<bool(IpwProjectNode*)>& f);

ComPtr<IpwProjectNode> GetCurrentProject(IcvBaseManager* manager);
// The node itself or its nearest ancestor of the Project type; nil without one.
ComPtr<IpwProjectNode> FindParentProject(IpwProjectNode* node);
GUID GetProjectKey(IpwProjectNode* node);
// The script language of the node's project; the host's current language
// without one.
GUID GetProjectLanguage(IpwProjectNode* node, IcvBaseManager* manager);

// A parent that answers the child-by-name question itself (a container loading its entries keeps
// the names of the children it added): S_OK with the first child of that name ignoring case, or
// nil; E_NOTIMPL when it cannot answer now (the caller walks the children).
struct IpwChildNameLookup : IUnknown {
  static constexpr IID iid = MakeGuid("{6B1D53E2-9A4C-4F0B-8E27-3C5D1A7F90B4}");
  using Inherited = IUnknown;
  virtual HRESULT FindChildByName(const char16_t* name, std::size_t length, IpwProjectNode** child) = 0;
};

// The first child whose name matches ignoring case; nil for a nil parent.
ComPtr<IpwProjectNode> FindChildNodeByName(IpwProjectNode* parent, WideStringView name);
ComPtr<IpwProjectNode> FindChildByType(IpwProjectNode* parent, const GUID& typeKey);
bool HasChildOfType(IpwProjectNode* parent, const GUID& typeKey);
// A child of Parent has the context identifier of Node.
bool HasChildWithInstance(IpwProjectNode* parent, IpwProjectNode* node);
// Depth first from Root (nil: the open suite's root) the first node whose
// attribute 0 is the file name. Two names match when they are equal, or name
// one existing file (same device and inode): file names on Linux are
// case-sensitive.
ComPtr<IpwProjectNode> FindNodeByFileName(IcvBaseManager* manager, WideStringView fileName, IpwProjectNode* root);
// Names from the ancestor whose context identifier is UpTo's (or the root) down
// to the node, joined by the path delimiter.
WideString GetNodePath(IpwProjectNode* node, IpwProjectNode* upTo);
// Names from the root down, joined by " | ".
WideString GetNodeDisplayPath(IpwProjectNode* node);
// The nearest ancestor (not the node itself) that keeps its data; nil without
// one.
ComPtr<IpwPersistentProjectNode> GetParentPersistentNode(IpwProjectNode* node);
// Attribute 0 of the node itself or its nearest persistent ancestor; empty
// without one.
WideString GetStorageFileName(IpwProjectNode* node);
// The node or something below it is modified.
bool IsNodeModified(IpwProjectNode* node);

// False (after showing the report) when two nodes of Root's subtree share a
// key.
bool CheckDuplicateKeys(IcvBaseManager* manager, IpwProjectNode* root);
// CheckDuplicateKeys, then no key of Root's subtree may be in the open suite.
bool CanAddExistingNode(IcvBaseManager* manager, IpwProjectNode* root);

// The name corrections: True when Name passes unchanged; False with the
// corrected name otherwise (False and an empty correction for an empty name).
bool CorrectFileName(WideStringView name, WideString& corrected);
bool CorrectIdentifier(WideStringView name, const GUID& languageKey, WideString& corrected);
// A letter or underscore, then letters, digits and underscores, not beginning
// with "_".
bool IsValidItemIdent(WideStringView name);

// The host's data-version text: "N.0" for a major version N from 4 on, empty
// below.
WideString GetHostVersionText(IcvBaseManager* manager);

// The node-type registry.
ComPtr<IpwProjectNodeInfo> GetNodeInfo(IcvBaseManager* manager, const GUID& typeKey);
// Property 2 (the caption) of the type's information; empty for a type that is
// not registered.
WideString GetNodeTypeNameByKey(IcvBaseManager* manager, const GUID& typeKey);
WideString GetNodeTypeName(IcvBaseManager* manager, IpwProjectNode* node);
WideString GetNodeTypePluginName(IcvBaseManager* manager, const GUID& typeKey);
// Property 1 (the bitmap) of the type's information; 0 for a type that is not
// registered.
HBITMAP GetNodeTypeImage(IcvBaseManager* manager, const GUID& typeKey);
bool CollectionHasNodeType(IpwProjectItemTypeProvider* list, const GUID& typeKey);
// Every item type of every list of the registry, in order.
std::vector<ComPtr<IpwProjectNodeInfo>> GetAllNodeInfos(IcvBaseManager* manager);
// The object registered under Key when the provider registry has it and it is
// available.
ComPtr<IUnknown> GetRegisteredObject(IcvBaseManager* manager, const GUID& key);

// The sorted, case-insensitive extensions of the file-kept types a parent may
// take.
std::vector<WideString> GetSupportedChildExtensions(IcvBaseManager* manager, IpwProjectNode* parent);

}  // namespace pw::project
