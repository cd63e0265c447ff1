// The module's resource table, compiled from resources/pwOpenApps2.rc (resources/rc2cpp.cmake).
// The module registers it at start (platform/ui/resources.h); tests register it themselves.
#pragma once

#include "platform/ui/resources.h"

namespace pw {

const ResourceTable& ModuleResourceTable();

}  // namespace pw
