#include "editor/highlight/factory.h"

namespace pw::editor {

TateHLRow* CreateHLRow(TateLineDataIntf* lineData, TateHLStateInternal* state) {
  return new TateHLRow(lineData, state);
}

}  // namespace pw::editor

#include "editor/highlight/highlighter.h"

namespace pw::editor {

TateHighLighter* CreateDefaultHighlighter() { return new TateHighLighter(); }

}  // namespace pw::editor
