// The check the New Item dialog runs: the creation parameters of an item type
// for a name and a folder, and their validation. Used by pwhost's project
// commands.
#pragma once

#include <optional>
#include <vector>

#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"

namespace pw::project {

// One item type as the host lists it.
struct TItemTypeSummary {
  GUID key{}, parentKey{};
  WideString caption, typeName, extension;
  bool singleInstance = false, numberedNames = false;
};
std::vector<TItemTypeSummary> ListItemTypes(IcvBaseManager* manager);

// The type whose type name (ignoring case) or key text is Name; nil when none.
ComPtr<IpwProjectNodeInfo> FindItemType(IcvBaseManager* manager, WideStringView nameOrKey);

struct TNewItemCheck {
  std::vector<std::pair<WideString, WideString>> params;  // caption and value as text
  WideString fileName;                                    // for file-kept types
  bool valid = false;
  std::int32_t badIndex = -1;
  WideString message;  // the first message (a refused question counts as a message)
};
// Creates the type's parameters under Parent, sets Name and (when given)
// Location, validates. Messages the host raises (no dialogs) end the check with
// their text.
TNewItemCheck CheckNewItem(IcvBaseManager* manager, IpwProjectNodeInfo* info, IpwProjectNode* parent,
                           WideStringView name, std::optional<WideString> location);

}  // namespace pw::project
