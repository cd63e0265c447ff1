// Mapping a test object into the project's name mapping. BuildNodeMapChain makes the chain of
// the object and its ancestors up to the first one already mapped (each level with its proposed
// name and identification properties, the identification made unique below a search root when
// the identification provider asks for it); MapNodeChain then creates the missing items under
// the repository (the project's runtime object "NameMapping"), with unique names, their
// identification values and type information, and their aliases under "Aliases".
//
// The two halves call each other (a level is made by the identification and collision search,
// which reads values with the property helpers), so they are one unit. Host calls that fail
// raise; a cancel from the progress handler ends the chain build with an empty chain.
#pragma once

#include <functional>
#include <vector>

#include "interfaces/ProbewrightHost.h"
#include "platform/automation/variant.h"
#include "platform/com/comptr.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw {

// The host's project item type of the name mapping, and its runtime objects.
inline constexpr GUID kNameMappingItemType = MakeGuid("{5DCBAC3B-D39C-497C-9BE8-744CBADD37AA}");
inline constexpr GUID kRuntimeObjectService = MakeGuid("{74D5EA13-7482-49C0-9A25-290A6C1501DC}");
inline constexpr const char16_t* kNameMappingObjectName = u"NameMapping";
inline constexpr const char16_t* kAliasesObjectName = u"Aliases";
// Host settings: whether picked objects are mapped, and whether nodes' identification
// providers (with the collision search) are used.
inline constexpr GUID kAutoMapSetting = MakeGuid("{9C783DD8-B244-45BE-8070-8A67CC5487D0}");
inline constexpr GUID kIdentificationProviderSetting = MakeGuid("{539CB740-F6A7-48F6-9FEE-26BCB27C1F61}");
// The host services asked here.
inline constexpr GUID kSysManagerService = MakeGuid("{0157ED9A-887B-4FC5-BBAD-19ECB6BD9115}");
inline constexpr GUID kNameMappingTemplatesService = MakeGuid("{3488662A-8BBB-4ED4-A201-4A0DBF7BEA86}");
inline constexpr GUID kRunStateService = MakeGuid("{555A3A53-8D35-4F93-9570-00662CF627C6}");
// The node's name property (IpwSysNodeEx::GetPropertyValue).
inline constexpr GUID kNodeNameTextProperty = MakeGuid("{A0572AB9-A386-439B-ABF4-D79E3FC9D2AC}");

inline constexpr const char16_t* kDefaultItemName = u"Item";

using TNamesArray = std::vector<WideString>;
using TValuesArray = std::vector<OleVariant>;

// One level of the chain.
struct TpwNodeMapInfo {
  ComPtr<IpwSysNode> Node;
  WideString Name;  // proposed; MapNodeChain stores the name given
  bool Mapped = false;
  ComPtr<IpwNameMappingRepositoryItem> Item;
  ComPtr<IpwLogicalNameMappingItem> Alias;
  bool UnderSearchRoot = false;
  TNamesArray PropertyNames;  // stored in the item
  TNamesArray PropertyPaths;  // read from the node, parallel to PropertyNames
};
using TpwNodeMapInfoArray = std::vector<TpwNodeMapInfo>;

// Raised when the progress handler asks to cancel (empty message).
class ECancelMapProgress : public Exception {
 public:
  ECancelMapProgress() : Exception(u"") {}
};

// The chain of Node: Node's level first, the topmost last. False, with Chain empty, when Node
// is mapped already or the build was cancelled. Progress may be nil; it hears EndProgress at
// the end of every build that got past the first level (also after a cancel).
bool BuildNodeMapChain(IcvBaseManager* manager, IpwSysNode* node, TpwNodeMapInfoArray& chain,
                       IpwMapProgressHandler* progress);
// Creates the chain's missing items under Repository and their aliases under Aliases, topmost
// level first, writing them back into Chain. True when the whole chain was walked; an abort
// keeps what was made so far. The repository's update is ended on every way out.
bool MapNodeChain(IcvBaseManager* manager, IpwNameMappingRepositoryItem* repository, IpwLogicalNameMappingItem* aliases,
                  TpwNodeMapInfoArray& chain);

// Base, Base2, Base3, ...: the first that Taken does not answer true for.
WideString MakeUniqueName(const WideString& base, const std::function<bool(const WideString&)>& taken);
// The node's name as an identifier ("Item" for an empty one), made unique against Taken when
// it is given.
void MakeUniqueItemName(IpwSysNode* node, const std::function<bool(const WideString&)>* taken, WideString& name);

// Late-bound reading of test objects' properties. False when a step fails.
OleVariant GetDispValue(IUnknown* object);
OleVariant ResolveDefaultValue(const OleVariant& value);
bool GetDispIDOfName(IUnknown* object, WideStringView name, DISPID& dispId);
bool GetPropertyByDispID(IUnknown* object, DISPID dispId, OleVariant& value);
bool GetPropertyByName(IUnknown* object, WideStringView name, OleVariant& value);
bool HasPropertyByPath(IUnknown* object, WideStringView path);
bool GetPropertyByPath(IUnknown* object, WideStringView path, OleVariant& value);
// Whether a template applies: every required name exists, and each path's value, as text, is
// non-empty and matches the expression of the same index (the regular-expression library's
// dialect). Raises "Invalid regular expression." for an expression the library refuses.
bool MatchIdentificationRegExpr(IUnknown* object, const TNamesArray& paths, const TNamesArray& expressions,
                                const TNamesArray& requiredNames);

// ---- Identification and the collision search ---------------------------------------------

// What the collision search hands its visitor.
struct TNodeVisitorData {
  GUID Key{};
  ComPtr<IpwSysNode> Node;
  TNamesArray PropertyNames, PropertyPaths, ExtraNames, ExtraPaths;
  TValuesArray Values;
  TNamesArray WorkNames, WorkPaths, WorkExtraNames, WorkExtraPaths;
  TValuesArray WorkValues;
  ComPtr<IpwSysNode> Found;
  bool Cancelled = false;
};

GUID GetNodeKey(IUnknown* node);
ComPtr<IpwSysNode> GetParentNode(IpwSysNode* node);
// The project of the running test, else the current project; nil without one.
ComPtr<IpwProjectNode> GetMappingProject(IcvBaseManager* manager);
// The host's runtime object of that name for the project; nil without the host's runtime-object
// service or when the host has no such object.
ComPtr<IUnknown> GetRuntimeObject(IcvBaseManager* manager, WideStringView name, const GUID& projectKey);
// The item and alias that map Node in the project's name mapping; both nil when none.
void FindNodeMapping(IcvBaseManager* manager, IpwSysNode* node, ComPtr<IpwNameMappingRepositoryItem>& item,
                     ComPtr<IpwLogicalNameMappingItem>& alias);

bool ReadProperty(IUnknown* object, WideStringView name, OleVariant& value);
bool ReadPropertyValue(IUnknown* object, WideStringView path, OleVariant& value);
TValuesArray ReadPropertyValues(IUnknown* object, const TNamesArray& paths);
bool ValuesEqual(const OleVariant& a, const OleVariant& b);
bool AddUniqueName(const WideString& name, TNamesArray& names);
void AppendVariantNames(const OleVariant& value, TNamesArray& names);

// Parent steps from Node up to Root (2147483647 for no Node; ancestors + 2 when Root is not
// above Node).
std::int32_t GetNodeDepth(IpwSysNode* root, IpwSysNode* node);
// The nearest common strict ancestor of A and B (whatever their depths); nil when none.
ComPtr<IpwSysNode> FindCommonAncestor(IpwSysNode* a, IpwSysNode* b);
// The node on the way from Node up to Ancestor whose parent is Ancestor; nil when Ancestor is
// not above Node.
ComPtr<IpwSysNode> GetChildTowards(IpwSysNode* ancestor, IpwSysNode* node);

// The object tree's visitor of the collision search.
ComPtr<IpwSysNodeVisitor> MakeFindCollisionVisitor(IpwMapProgressHandler* progress);

// One chain build's shared state and its levels.
class TpwMapChainBuild {
 public:
  TpwMapChainBuild(IcvBaseManager* manager, IpwMapProgressHandler* progress);
  // Makes the level of Current; false when Current is nil. Next is the node the chain goes on
  // with (nil after a mapped level).
  bool BuildMapLevel(IpwSysNode* current, TpwNodeMapInfo& info, ComPtr<IpwSysNode>& next);
  // Raises ECancelMapProgress when the progress handler asks to cancel.
  void CheckMapCancel();
  // How many collision-search loops ended because the root would not move down.
  int StuckRoots() const { return stuckRoots_; }

 private:
  bool GatherIdentification(IpwSysNode* current, TNodeVisitorData& data);
  std::vector<ComPtr<IpwNameMappingTemplateNodeType>> FindMatchingTemplates(IpwSysNode* current);
  ComPtr<IpwSysNode> FindSearchRoot(IpwSysNode* current);

  ComPtr<IcvBaseManager> manager_;
  ComPtr<IpwMapProgressHandler> progress_;
  ComPtr<IpwSysManager> sysManager_;
  ComPtr<IpwSysNodeVisitor> visitor_;
  bool useProviders_ = false;
  ComPtr<IpwSysNode> previousSearched_;
  int stuckRoots_ = 0;
};

}  // namespace pw
