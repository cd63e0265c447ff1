// Picking a test object on the screen, and mapping the picked object.
//
// PickSysNodeOnScreen runs on the calling (user-interface) thread: it makes the pick cursor
// current, captures the pointer to a hidden message window and runs a message loop until the
// pick ends. Pointer moves highlight the tested application's window under the pointer (one
// highlight per object), a left-button release takes it, a right-button press, Esc or the loss
// of the capture to another window cancel. Objects of the picking process and of the screen
// panel "TpwPDAScreenPanel" are never highlighted nor picked. Every way out (also a quit
// message, which is posted again for the outer loop) releases the capture, restores the cursor,
// clears the highlight and destroys the window. One pick runs at a time per process.
//
// CreateMapSysNodeResult maps a picked node into the current project's name mapping (making
// the project's NameMapping item when it has none) unless the host setting turns it off; its
// ProcessMappedItems tells each created item's parent that the item was mapped.
#pragma once

#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"

#include <vector>

namespace pw {

// The window type of tested applications' windows (the node type a pick takes).
inline constexpr GUID kTestedWindowObjectType = MakeGuid("{D5951CBA-CE04-4923-A948-7BAB0B219296}");
inline constexpr const char* kPickCursorName = "ONSCREEN_NODE_FINDER_CURSOR";
inline constexpr const char16_t* kScreenPanelClass = u"TpwPDAScreenPanel";
inline constexpr unsigned CM_RELEASE = 0xB021;

// The picked node; nil when the pick was cancelled or another pick runs.
void PickSysNodeOnScreen(IcvBaseManager* manager, ComPtr<IpwSysNode>& node);
// Whether a pick runs now.
bool IsPickRunning();

void CreateMapSysNodeResult(IcvBaseManager* manager, IpwSysNode* node, ComPtr<IpwMapSysNodeResult>& result);
// The items the result holds, in chain order (the picked object's first; nil for a level whose
// creation was aborted).
std::vector<ComPtr<IpwNameMappingRepositoryItem>> MappedItemsOf(IpwMapSysNodeResult* result);

}  // namespace pw
