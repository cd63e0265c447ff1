// The module's calls into the window system: the nested window update lock, window class names
// and pending paint messages.
#pragma once

#include <cstdint>

#include "platform/com/types.h"
#include "platform/ui/window_system.h"

namespace pw {

// The module-wide window update lock: the outermost Begin locks drawing of its window (through
// the window system), the matching outermost End unlocks it; nested calls only count. An End
// without a Begin is ignored.
void BeginLockWindowUpdate(HWND wnd);
void EndLockWindowUpdate();
std::int32_t WindowUpdateLockCount();

// The class name of a window; empty when the window does not exist.
WideString WideGetClassName(HWND wnd);

// Dispatches the calling thread's pending paint messages (through the window system; without
// one there are none).
void ProcessPaintMessages();

}  // namespace pw
