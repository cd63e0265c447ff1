#include "core/host/host_services.h"

namespace pw {

void RaiseInterfaceCastError() { throw EOleSysError(u"Interface not supported", E_NOINTERFACE); }

}  // namespace pw
