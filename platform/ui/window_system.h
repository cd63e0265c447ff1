// The window system's calls that the module makes. No window system is wired in yet: each call
// does nothing and answers success until a window layer (or a test) installs its own; which
// windows exist is what the process model describes.
#pragma once

#include <cstdint>

namespace pw {

using HWND = std::uintptr_t;

// Locks drawing of one window; 0 unlocks the locked window. Only one window can be locked at a
// time.
bool LockWindowUpdate(HWND wnd);

using LockWindowUpdateProc = bool (*)(HWND wnd);
// Installs the window system's implementation; nil restores the one that does nothing.
void SetLockWindowUpdateProc(LockWindowUpdateProc proc);

// A message number unique to the name for the life of the process (from 0xC000 on, the same
// number for the same name).
unsigned RegisterWindowMessageA(const char* name);

using HHOOK = std::uintptr_t;
// Removes a window hook; without a window system there is none to remove.
bool UnhookWindowsHookEx(HHOOK hook);

// Whether a key is down right now, by its virtual-key code (VK_MENU 0x12 is Alt). Without a
// window system no key is down.
inline constexpr int VK_MENU = 0x12;
bool GetAsyncKeyDown(int virtualKey);
using KeyStateProc = bool (*)(int virtualKey);
// Installs the window system's implementation; nil restores the one without keys.
void SetKeyStateProc(KeyStateProc proc);
// The window table: the windows of the processes that the process model describes
// (platform/kernel/processes.h). IsWindow: whether a handle names such a window; DestroyWindow
// removes it from its process (false when there is none).
bool IsWindow(HWND window);
bool DestroyWindow(HWND window);

// Removes and dispatches every pending paint message of the calling thread; without a window
// system there is none.
void DispatchPaintMessages();

}  // namespace pw

// The message layer (windows with procedures, queues, capture, cursors): message_layer.h.
