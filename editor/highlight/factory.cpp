#include "editor/highlight/factory.h"

namespace pw::editor {

TateHLRow* CreateHLRow(TateLineDataIntf* lineData, TateHLStateInternal* state) {
  return new TateHLRow(lineData, state);
}

}  // namespace pw::editor
