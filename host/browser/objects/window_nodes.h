// Window nodes of the tested browsers: the windows of a browser's window tree as test objects,
// found the way scripts name windows, with the per-window input actions.
//
// "Window"(ClassName, Caption, Index) on a browser process's node searches the process's
// top-level windows (the browsers' frames, then the open JavaScript dialogs, in the process's
// order); on a window node it searches that window's child windows. Class and caption are masks
// (* any run, ? one character; ignoring case); Index counts the matches from 1 (0 and a missing
// Index are 1). A frame's caption is its page's title, a dialog's its message, a child window's
// empty. The answer is the window's node: a frame's node is a child "Window" of the process node
// (made at the first ask, gone with its browser), a child window's node a child of its parent's
// node, a dialog's node the one the dialog has while it is open. A window that is not there
// answers an object outside the tree whose "Exists" is False.
//
// A window node answers "WndClass", "WndCaption", "Visible", the window handle
// (IpwSysObjectWindow), "Window" (its child windows) and the input actions of its window as the
// input service's actions object does (input_actions.h): "Click", "ClickR", "DblClick" (ClientX,
// ClientY, Shift; -1 or missing: the centre), "HoverMouse" (ClientX, ClientY) and "Keys" (a key
// string). On any window of a browser's tree they reach the browser's page ([F4] to a frame is
// refused: input_actions.h).
#pragma once

#include "host/browser/objects/browsers.h"

namespace pw::host {

// Adds "Window" to a browser process's node.
void AddProcessWindowMember(TSysNode& processNode, TBrowsers& browsers, BrowserKind kind);

}  // namespace pw::host
