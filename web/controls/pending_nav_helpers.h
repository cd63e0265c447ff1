// STAND-IN, TO BE REPLACED once the host's action-point service has a sink interface: the reports
// of an action's target and point to the sink of the current run (GetActionPointSink). The
// steps stay in place in the controls and do nothing yet.
#pragma once

#include "interfaces/ProbewrightHost.h"

namespace pw::web::pending {

inline void ReportActionTarget(IcvBaseManager*, IpwSysNode*) {}
inline void ReportActionPoint(IcvBaseManager*, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {}

}  // namespace pw::web::pending
