// The security zone settings that the "IEZoneSettings" object hands out: one object per zone,
// each property one URL action policy of that zone for the current user (platform/com/
// url_zones.h keeps them in the registry). A Boolean property reads True for the policy 0
// (allowed) and False for any other; it writes 0 for True and 3 for False. An Integer property
// reads and writes the policy as it is. Nothing is kept: every call goes to the store.
//
// A zone the system does not know has an empty ZoneName, and its policy reads and writes fail;
// any failing read or write raises an EOleSysError with the store's code (a failed read is
// never taken as "allowed", a failed write never passes silently).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/com/comptr.h"
#include "platform/com/types.h"

namespace pw::web {

struct IEZonePolicyProperty {
  DISPID dispId;
  const char16_t* name;
  bool boolean;  // else an integer
  DWORD action;
};

// The policy members of IpwIEZoneSettings (33), then IpwIE7ZoneSettings (15), then
// IpwIE8ZoneSettings (2), in their interfaces' order.
const std::vector<IEZonePolicyProperty>& IEZonePolicyProperties();

// The zone object of a zone for a browser of that major version (6: the base members; 7: and
// the version 7 ones; higher: and the version 8 ones).
ComPtr<IDispatch> CreateIEZoneSettings(DWORD zone, int majorVersion);

}  // namespace pw::web
