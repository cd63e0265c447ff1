// What the commands that run the module's plug-ins share: asking the module for its registrator
// and creating every plug-in of its table.
#pragma once

#include "host/plugin_host.h"

namespace pw::host {

// Creates each plug-in of the registrator's table in `plugins` (a plug-in that fails keeps its
// failure there). False when the module gives no registrator: the failure is printed to stderr
// under the command's name ("pwhost run: GetPluginRegistrator failed: ...").
bool CreateModulePlugins(GetPluginRegistratorProc getRegistrator, TPluginHost& plugins, const char* command);

}  // namespace pw::host
