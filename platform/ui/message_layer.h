// The message layer of the window system: windows with procedures, per-thread message queues,
// posting and dispatching, the quit message, mouse capture, the pointer position and cursors.
//
// No display is wired in: input comes from a source that the host installs (pointer moves,
// buttons, keys, capture taken by another window). GetMessage hands out the calling thread's
// posted messages first; when there are none it turns the next input event into the message
// for the window that holds the capture (the pointer's position is kept for GetCursorPos); a
// drained source (or none) posts WM_QUIT. Windows of this layer are also the window table's
// (IsWindow, DestroyWindow). A thread that ends takes its windows (without WM_DESTROY) and its
// queue with it. A cursor is made the current one and read back; none is drawn.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/ui/window_messages.h"

namespace pw {

inline constexpr unsigned WM_DESTROY = 0x0002;
inline constexpr unsigned WM_QUIT = 0x0012;
inline constexpr unsigned WM_KEYDOWN = 0x0100;
inline constexpr unsigned WM_MOUSEMOVE = 0x0200;
inline constexpr unsigned WM_LBUTTONDOWN = 0x0201;
inline constexpr unsigned WM_LBUTTONUP = 0x0202;
inline constexpr unsigned WM_RBUTTONDOWN = 0x0204;
inline constexpr unsigned WM_RBUTTONUP = 0x0205;
inline constexpr unsigned WM_CAPTURECHANGED = 0x0215;
inline constexpr int VK_ESCAPE = 27;

struct POINT {
  std::int32_t x = 0, y = 0;
};

struct MSG {
  HWND hwnd = 0;
  unsigned message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  POINT pt;
};

// A window's procedure; DefWindowProc answers what it leaves.
using WindowProcedure = std::function<LRESULT(HWND window, unsigned message, WPARAM wParam, LPARAM lParam)>;
LRESULT DefWindowProc(HWND window, unsigned message, WPARAM wParam, LPARAM lParam);

// A hidden window of the calling thread (its messages go to that thread's queue).
HWND CreateMessageWindow(WindowProcedure procedure);
// Whether the handle names a window of this layer (the window table's IsWindow answers these
// too).
bool IsMessageWindow(HWND window);
// Sends WM_DESTROY to the window's procedure and removes it; a window holding the capture
// releases it first. False when it is no window of this layer. (DestroyWindow calls it.)
bool DestroyMessageWindow(HWND window);

// Queues a message for the thread of the window; false when the window does not exist.
bool PostMessage(HWND window, unsigned message, WPARAM wParam, LPARAM lParam);
// Queues WM_QUIT (wParam the code) for the calling thread.
void PostQuitMessage(int code);
// The next message of the calling thread (see above); 0 for WM_QUIT, 1 otherwise.
int GetMessage(MSG* message);
// Nothing to translate without a keyboard layout.
inline bool TranslateMessage(const MSG*) { return false; }
// Calls the procedure of the message's window; 0 when it has none (or is gone).
LRESULT DispatchMessage(const MSG* message);
// Calls the window's procedure at once (0 when the window does not exist).
LRESULT SendMessage(HWND window, unsigned message, WPARAM wParam, LPARAM lParam);

// The capture: the window that gets the pointer's and the keys' input. Setting or releasing it
// sends WM_CAPTURECHANGED (lParam: the window that takes it, 0 for none) to the window that
// loses it.
HWND SetCapture(HWND window);
bool ReleaseCapture();
HWND GetCapture();

bool GetCursorPos(POINT* point);

using HCURSOR = std::uintptr_t;
// A cursor of the module's resources by name; 0 when there is none.
HCURSOR LoadCursor(const char* name);
// Makes the cursor the current one; answers the one before.
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
// The resource name of a loaded cursor; nil for 0 or an unknown handle.
const char* CursorName(HCURSOR cursor);
bool DestroyCursor(HCURSOR cursor);

// What the input source hands over.
struct InputEvent {
  enum class Kind { Move, LeftDown, LeftUp, RightDown, RightUp, Key, CaptureTaken } kind = Kind::Move;
  std::int32_t x = 0, y = 0;  // Move and the buttons: the pointer's position (buttons move it there first)
  int key = 0;                // Key: the virtual key
  HWND taker = 0;             // CaptureTaken: the window that takes it
};
// The next event; false when the source is drained. Installed per process; nil removes it.
using InputSource = std::function<bool(InputEvent& event)>;
void SetInputSource(InputSource source);

}  // namespace pw
