// Host actions and menus of the project tree: actions made from their descriptions, handlers
// registered for a context, menus filled with action items, the "So&urce Control" submenu of a
// project node, and the host's source-control support manager.
#pragma once

#include <span>

#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"
#include "project/actions/action_tables.h"

namespace pw::project {

inline constexpr GUID kActionService = MakeGuid("{66B82366-743B-4638-B399-DC7745476471}");
// The project view's action registry: the action service taken as this interface.
inline constexpr IID kActionRegistryIid = MakeGuid("{41338AB1-D596-4A0E-B12C-F33A6708E84C}");
inline constexpr GUID kMenuService = MakeGuid("{239FCDBF-49D7-4838-BD45-77288F7D9B57}");
inline constexpr GUID kSccSupportService = MakeGuid("{555A3A53-8D35-4F93-9570-00662CF627C6}");
inline constexpr GUID kSccPresenceService = MakeGuid("{C664EECD-4693-4042-80BD-8E0C66B48CF2}");

// Registers the handler for each action key, in order, under the context.
void RegisterContextActions(IcvBaseManager* manager, const GUID& contextKey, std::span<const GUID> actionKeys,
                            IpwProjectActionHandler* handler);
void UnregisterContextActions(IcvBaseManager* manager, const GUID& contextKey, std::span<const GUID> actionKeys);
// Sets the action's title (property 3) to the New Item action's own title, "Add Child Item";
// containers and logical folders do so before they update that action.
void ResetNewItemActionTitle(IpwAction* action);

// Nil when the host has no menu service.
ComPtr<IpwMenuService> GetMenuService(IcvBaseManager* manager);
GUID GroupKeyOf(const GUID* group);
// Creates the action (properties 1 caption, 2 hint, 3 title, 4 command, 100 the bitmap for kinds
// other than 0 with a bitmap name) and adds it under the context.
ComPtr<IpwAction> CreateActionFromDescription(IcvBaseManager* manager, const TActionDescription& description,
                                              const GUID& contextKey);
ComPtr<IpwMenu> GetOrCreateMenu(IcvBaseManager* manager, const GUID& parentKey, const GUID& key);
ComPtr<IpwMenu> GetOrCreateSubmenu(IcvBaseManager* manager, const GUID& parentKey, const GUID& key);
// Clears the menu and adds the items (kind 3, value 0), marking the defaults with state 2, inside
// one update (ended also after a failure). Nothing for a nil menu.
void FillMenu(IpwMenu* menu, std::span<const GUID> items, std::span<const GUID> defaultItems);
// The same, adding the host's action object where the menu service knows one.
void FillMenuWithActions(IcvBaseManager* manager, IpwMenu* menu, std::span<const GUID> items,
                         std::span<const GUID> defaultItems);
// The "So&urce Control" submenu for the node the source-control service names (the registry's
// current node); nil for any other node or without source control.
ComPtr<IpwMenu> BuildSourceControlMenu(IcvBaseManager* manager, IpwProjectNode* node);
ComPtr<IpwSccSupportManager> GetSccSupportManager(IcvBaseManager* manager);

}  // namespace pw::project
