// Finding the page of a browser or of an HTML dialog through its windows: the
// "Internet Explorer_Server" window under a browser or a dialog frame, and the document that
// such a window hands over when asked with the registered message "WM_HTML_GETOBJECT".
//
// - FindIEServerWindow: 0 for no browser, or when its "HWND" (read late-bound, also through an
//   apartment-neutral wrapper) is no window; else the first descendant, depth first (a child,
//   then its descendants, before the next child), whose class name's first 24 characters are
//   "Internet Explorer_Server" ignoring case (longer names match); 0 when none does.
// - DialogServerWindows: for each top-level window, in the order of the window table, whose
//   class is "Internet Explorer_TridentDlgFrame" ignoring case, its first such descendant; a
//   frame without one is left out.
// - GetDocumentOfWindow: sends the message (abort-if-hung, 1000 ms) and takes the object of the
//   answer as IDispatch (the layer reads documents late-bound); nil when the window does not
//   answer or answers no object. Never raises.
#pragma once

#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/com/comptr.h"
#include "platform/ui/window_system.h"

namespace pw::web {

inline constexpr const char16_t* kIEServerClass = u"Internet Explorer_Server";
inline constexpr const char16_t* kIEDialogFrameClass = u"Internet Explorer_TridentDlgFrame";
inline constexpr const char* kHtmlGetObjectMessage = "WM_HTML_GETOBJECT";

// Whether a class name counts as a server window's (its first 24 characters, ignoring case).
bool IsIEServerClass(WideStringView className);
// The browser's "HWND" (0 when the call fails).
HWND GetBrowserWindowHandle(IUnknown* browser);
HWND FindIEServerWindow(IUnknown* browser);
std::vector<HWND> DialogServerWindows();
ComPtr<IDispatch> GetDocumentOfWindow(HWND window);

}  // namespace pw::web
