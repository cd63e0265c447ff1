// TcvInterfacedObject: the reference-counted base of most classes of the module.
//
// Besides IUnknown it implements IExternalConnection, so that every strong external
// connection COM makes to the object (when one of its interfaces is marshaled to another
// apartment or process) is entered in the exposed-object registry.
#pragma once

#include "platform/com/comobject.h"

namespace pw {

class TcvInterfacedObject : public Implements<ComObject, IExternalConnection> {
 public:
  DWORD AddConnection(DWORD extconn, DWORD reserved) override;
  DWORD ReleaseConnection(DWORD extconn, DWORD reserved, BOOL lastReleaseCloses) override;

 protected:
  TcvInterfacedObject() = default;
};

}  // namespace pw
