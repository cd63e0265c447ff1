// Project-item helpers: the node type of a key with its factory, a new project item of a type
// under a parent (fresh, or loaded from a copy of a file), the add of a node to a parent
// container, the children of a parent by name (ignoring case) or type; and the constants that
// name the host's project-item vocabulary.
//
// The normal refusals raise nothing: a type that is not registered, creation parameters that do
// not validate (with a message), a copy that fails or an add the parent refuses leave no node
// (a refused node is released). Failing host calls raise.
#pragma once

#include <vector>

#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"

namespace pw::project {

inline constexpr WideStringView kDispValuePrefix = u"DispValue:";
inline constexpr WideStringView kCustomDispValuePrefix = u"CustomDispValue:";
inline constexpr WideStringView kProjectVariablePrefix = u"PrjVar:";
inline constexpr WideStringView kProjectVariableText = u"Project Variable";

// The factory and description of the type; False when no factory lists it.
bool FindNodeType(IcvBaseManager* manager, const GUID& typeKey, ComPtr<IpwProjectItemTypeProvider>& factory,
                  ComPtr<IpwProjectNodeInfo>& typeInfo);

// A new item of the type under Parent. A single-instance type answers the parent's existing
// child of the type (no key is made). Guids go to the creation parameters by position. With a
// FileName the file is copied to the item's file (through a temporary file renamed into place:
// a failed copy leaves no file) and the item is loaded from the copy. With AddToParent the item
// is added to Parent. Node is nil when nothing was made.
void CreateProjectItem(IcvBaseManager* manager, IpwProjectNode* parent, const GUID& typeKey,
                       const std::vector<GUID>& guids, WideStringView fileName, bool flag, bool addToParent,
                       ComPtr<IpwProjectNode>& node);

// Through the parent's AddChild; a refused node is released. A parent that is no container
// leaves the node alone. Answers whether the node was added.
bool AddNodeToParent(IpwProjectNode* parent, IpwProjectNode* node);

// The first child whose name equals Name ignoring case; nil when none.
ComPtr<IpwProjectNode> FindChildItemByName(IpwProjectNode* parent, WideStringView name);
// The first child of the type; nil when none.
ComPtr<IpwProjectNode> FindChildItemByType(IpwProjectNode* parent, const GUID& typeKey);

}  // namespace pw::project
