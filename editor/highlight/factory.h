// The editor's default factories: the row the line store keeps beside each line.
#pragma once

#include "editor/highlight/hl_row.h"

namespace pw::editor {

// A new row over `lineData` (owned unless it is the store's shared default) starting in `state`.
TateHLRow* CreateHLRow(TateLineDataIntf* lineData, TateHLStateInternal* state);

}  // namespace pw::editor

namespace pw::editor {

class TateHighLighter;
// A new highlighter with only its "Indent" catch-all.
TateHighLighter* CreateDefaultHighlighter();

}  // namespace pw::editor
