// The browser window helpers of the web slices.
//
// ActivateNodeWindow (manager, node): brings the top-level window that holds a node to the
// front. False for nil or while no test runs. The window node is the node or its nearest
// ancestor with a window; without one the node's pivot window is asked (again every 50 ms for
// at most 3000 ms while it answers 0): already the foreground window, or without a node, False.
// From the window node up, the first node whose window can be activated: its wait time-out is 0
// during the call and put back after it, whatever happens; a node whose "Visible" is False
// answers False; else it is activated (True).
//
// CloseUnexpectedWindows (manager, process id): for each window of the process, in order, whose
// state flags have bit 0 set and whose node has window actions: activates it, writes the warning
// "Simulating the ESC keystroke to close the unexpected window." on its node ("...the Enter
// keystroke..." for a window of class "OperaWindowClass", exact case) with the window's picture
// from the windows manager (none when it gives none or fails to take one: the window is closed
// all the same) and sends it "[Esc]" (or
// "[Enter]") through its "Keys" member with its wait time-out 0 meanwhile. True once a
// keystroke went; a failing "Keys" raises (after the time-out is put back).
#pragma once

#include <cstdint>

#include "interfaces/ProbewrightHost.h"
#include "platform/com/types.h"

namespace pw::web {

inline constexpr DWORD kPivotWindowWaitMs = 3000;
inline constexpr DWORD kPivotWindowStepMs = 50;
inline constexpr char16_t kOperaWindowClass[] = u"OperaWindowClass";
inline constexpr char16_t kCloseWithEscText[] = u"Simulating the ESC keystroke to close the unexpected window.";
inline constexpr char16_t kCloseWithEnterText[] = u"Simulating the Enter keystroke to close the unexpected window.";

bool ActivateNodeWindow(IcvBaseManager* manager, IUnknown* node);
bool CloseUnexpectedWindows(IcvBaseManager* manager, std::int32_t processId);

}  // namespace pw::web
