// The module's unit table and its start state.
#pragma once

#include "core/com/unit_table.h"
#include "platform/com/types.h"

namespace pw {

// The table, in start order.
UnitTable& ModuleUnits();
// Empty after a clean start; the failure's message otherwise.
const WideString& ModuleStartError();

}  // namespace pw
