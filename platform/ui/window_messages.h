// Messages to the windows of the window table (the windows the process model describes), and
// objects handed over in a message's answer.
//
// A window answers the messages of the handler installed for it (the host's model of a
// program's windows, or a test); a window without a handler answers 0 to every message, as a
// window procedure that leaves a message to the default one does. A handler runs on the
// sending thread, at once and outside every lock of this unit: it must not block, and the
// time-out of SendMessageTimeoutA bounds nothing here. Whoever installs a handler removes it
// with its window; handlers of windows that no longer exist are dropped at the next install or
// send, and a send to a window that does not exist fails.
//
// An object crosses a message as an LRESULT: the answering side makes one with
// LresultFromObject, the sender takes the object with ObjectFromLresult. Each result is taken
// once; an object is held from the answer until it is taken (a sender that gives up never
// calls it, and the reference is then held until the process ends).
#pragma once

#include <cstdint>
#include <functional>

#include "platform/com/unknown.h"
#include "platform/ui/window_system.h"

namespace pw {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

inline constexpr unsigned SMTO_NORMAL = 0x0000;
inline constexpr unsigned SMTO_BLOCK = 0x0001;
inline constexpr unsigned SMTO_ABORTIFHUNG = 0x0002;

// The answer of a window to a message.
using WindowMessageHandler = std::function<LRESULT(HWND window, unsigned message, WPARAM wParam, LPARAM lParam)>;

// Installs the handler of a window's messages in place of the one installed before; nil removes
// it. A window that does not exist gets none (false).
bool SetWindowMessageHandler(HWND window, WindowMessageHandler handler);

// Sends a message to a window and gives its answer in *result (0 without a handler). False, with
// *result 0, when the window does not exist. Flags and time-out are taken and not used.
bool SendMessageTimeoutA(HWND window, unsigned message, WPARAM wParam, LPARAM lParam, unsigned flags,
                         unsigned timeoutMs, LRESULT* result);

// The answer that hands `object` (as its interface `riid`) to the sender of a message: a
// positive number, or a failure result (negative) when the object does not answer `riid`.
LRESULT LresultFromObject(const IID& riid, WPARAM wParam, IUnknown* object);
// The object of such an answer as the interface `riid`: E_INVALIDARG for an answer that is not
// one (0, a failure, an unknown or already taken number), E_NOINTERFACE when the object does
// not answer `riid` (the answer is taken all the same).
HRESULT ObjectFromLresult(LRESULT result, const IID& riid, WPARAM wParam, void** object);

}  // namespace pw
