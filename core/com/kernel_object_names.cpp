#include "core/com/kernel_object_names.h"

#include <unistd.h>

#include "platform/kernel/processes.h"
#include "platform/kernel/kernel.h"
#include "platform/rtl/strings.h"

namespace pw {

SecurityAttributes* GetGlobalSecurityAttributes() { return nullptr; }

std::string MakeGlobalObjectName(WideStringView name, bool perSession) {
  static constexpr std::string_view kGlobal = "Global\\";
  std::string result = WideToUtf8(name);
  if (!result.starts_with(kGlobal)) result.insert(0, kGlobal);
  if (perSession) result += "_" + std::to_string(GetProcessSessionId(GetCurrentProcessId()));
  return result;
}

std::int32_t GetProcessSessionId(DWORD processId) {
  if (processId == 0) return -1;  // no process has id 0 (getsid would answer the caller's session)
  const pid_t sid = ::getsid(static_cast<pid_t>(processId));
  return sid < 0 ? -1 : static_cast<std::int32_t>(sid);
}

}  // namespace pw
