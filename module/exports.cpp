// The module's exported C entry points.
#include "core/exposed_objects.h"
#include "platform/types.h"

#define PW_EXPORT extern "C" __attribute__((visibility("default")))

// Disconnects the objects that COM holds for other apartments or processes; always S_OK.
PW_EXPORT pw::HRESULT DisconnectExposedObjects(pw::WordBool allModules, pw::DWORD timeoutMs) {
  return pw::DisconnectExposedObjectsImpl(allModules, timeoutMs);
}
