// The module's exported C entry points.
#include "core/com/exposed_objects.h"
#include "module/module_units.h"
#include "openapps/registrator.h"
#include "platform/com/types.h"

#define PW_EXPORT extern "C" __attribute__((visibility("default")))

// Disconnects the objects that COM holds for other apartments or processes; always S_OK.
PW_EXPORT pw::HRESULT DisconnectExposedObjects(pw::WordBool allModules, pw::DWORD timeoutMs) {
  return pw::DisconnectExposedObjectsImpl(allModules, timeoutMs);
}

// The module's registrator (one reference, for the host). A module whose start failed answers
// E_FAIL with error information that carries the start error, and no registrator.
PW_EXPORT pw::HRESULT GetPluginRegistrator(pw::IcvPluginRegistrator** registrator) {
  return pw::GetPluginRegistratorImpl(registrator, pw::ModuleStartError());
}
