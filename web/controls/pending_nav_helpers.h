// STAND-IN, TO BE REPLACED by the shared web navigation helpers once they are merged: the
// entry of a node (its full name as the object name, no picture). Kept private to the controls.
#pragma once

#include "openapps/extensions/node_utils.h"
#include "web/navigation/web_log.h"

namespace pw::web::pending {

inline void LogNodeMessage(IcvBaseManager* manager, IpwSysNode* node, WideStringView text, TpwLogArgs textArgs,
                           WideStringView details, TpwLogArgs detailsArgs, TpwWebLogKind kind) {
  if (!node) return;
  WideString name;
  GetSysNodeFullName(manager, node, name);
  LogNamedMessage(manager, name, text, textArgs, details, detailsArgs, kind);
}

// The window activation of a node and the host's action-point sink: no counterpart in the test
// host yet; the steps are kept in place and do nothing.
inline bool ActivateNodeWindow(IcvBaseManager*, IpwSysNode*) { return false; }
inline void ReportActionTarget(IcvBaseManager*, IpwSysNode*) {}
inline void ReportActionPoint(IcvBaseManager*, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {}

}  // namespace pw::web::pending
