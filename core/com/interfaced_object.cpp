#include "core/com/interfaced_object.h"

#include "core/com/exposed_objects.h"

namespace pw {

DWORD TcvInterfacedObject::AddConnection(DWORD extconn, DWORD) {
  TExposedObjects* registry = ExposedObjects();
  if (registry && (extconn & EXTCONN_STRONG)) return registry->AddConnection(Identity());
  return 0;
}

DWORD TcvInterfacedObject::ReleaseConnection(DWORD extconn, DWORD, BOOL) {
  TExposedObjects* registry = ExposedObjects();
  if (registry && (extconn & EXTCONN_STRONG)) return registry->ReleaseConnection(Identity());
  return 0;
}

}  // namespace pw
