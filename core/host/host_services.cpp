#include "core/host/host_services.h"

namespace pw {

void RaiseInterfaceCastError() { throw EOleSysError(u"Interface not supported", E_NOINTERFACE); }

void WriteHostDiagnostic(IcvBaseManager* manager, WideStringView text) noexcept {
  try {
    auto log = GetHostService<IpwDiagnosticLog>(manager, kDiagnosticLogService);
    if (!log) return;
    BString line(text);
    log->Write(line.Get());
  } catch (...) {
    // The diagnostic log is the last place a failure can go.
  }
}

}  // namespace pw
