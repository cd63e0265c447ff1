// Names and security of kernel objects shared with other processes: the global namespace
// prefix, the per-session suffix (the process's session id) and the security attributes.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/types.h"

namespace pw {

// Security attributes for kernel objects shared with other processes. Kernel objects on Linux
// take no security descriptor and there are no SIDs, so there are never shared attributes to
// hand out: GetGlobalSecurityAttributes answers nil, which means "default security".
struct SecurityAttributes;
SecurityAttributes* GetGlobalSecurityAttributes();

// The name of a kernel object in the global namespace: Name with "Global\" put in front unless
// it already begins with it; with `perSession`, "_" and the session id of the current process
// appended. Kernel-object names are 8-bit: UTF-8.
std::string MakeGlobalObjectName(WideStringView name, bool perSession);

// The session id of a process (getsid); -1 when it cannot be read or there is no such process.
std::int32_t GetProcessSessionId(DWORD processId);

}  // namespace pw
