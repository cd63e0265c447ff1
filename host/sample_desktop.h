// The test host's sample desktop: test objects with screen rectangles for picking. A process
// "orders" with a form holding two panels, each with an "OK" button alike in class, caption and
// index (they differ in ControlId only); a window of the host's own process; a screen panel
// (class "TpwPDAScreenPanel"). Windows are of the tested-window type, carry their class
// ("WndClass"), caption ("WndCaption") and index ("Index") as members and as their own
// identification; the buttons' identification providers search for collisions with ControlId
// as the extra property, and the form is their search root.
#pragma once

#include <vector>

#include "host/object_tree.h"

namespace pw::host {

class TestHost;

inline constexpr GUID kTestedWindowTypeKey = MakeGuid("{D5951CBA-CE04-4923-A948-7BAB0B219296}");

struct SampleDesktop {
  ComPtr<TSysNode> process, form, leftPanel, rightPanel, leftButton, rightButton;
  ComPtr<TSysNode> ownProcess, ownWindow, pdaProcess, screenPanel;
};

// Adds the sample desktop under the host's Sys.
SampleDesktop AddSampleDesktop(TestHost& host);

}  // namespace pw::host
