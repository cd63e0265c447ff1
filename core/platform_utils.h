// Small platform utilities: names of kernel objects shared with other processes, wide-string
// search and wildcard match, file copy, the nested window update lock and CRC-32.
//
// Helpers of the same family that live elsewhere: CreateGuid (platform/com/guid.h), WideToUtf8
// and WideLowerCase (platform/rtl/strings.h).
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/types.h"
#include "platform/ui/window_system.h"

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

// Copies a file (contents and permission bits). With `failIfExists` an existing target is
// left alone and the copy fails. On failure errno holds the reason.
bool WideCopyFile(WideStringView source, WideStringView target, bool failIfExists);

// The 1-based position of the first occurrence of `sub` in `s` at `offset` (1-based) or later;
// 0 when `sub` is empty or absent or `offset` is below 1. Code units compare exactly.
std::int32_t WidePosEx(WideStringView sub, WideStringView s, std::int32_t offset = 1);

// True when the whole of `text` matches `mask`, comparing code units exactly: "*" matches any
// run of characters (also none), "**" one literal "*", "?" any one character and also the end
// of the text (so a mask ending in "?" matches a text one character shorter); any other
// character matches itself.
bool WideMatchesMask(WideStringView mask, WideStringView text);

// The module-wide window update lock: the outermost Begin locks drawing of its window (through
// the window system), the matching outermost End unlocks it; nested calls only count. An End
// without a Begin is ignored.
void BeginLockWindowUpdate(HWND wnd);
void EndLockWindowUpdate();
std::int32_t WindowUpdateLockCount();

// The class name of a window; empty when the window does not exist.
WideString WideGetClassName(HWND wnd);

// Dispatches the calling thread's pending paint messages (through the window system; without
// one there are none).
void ProcessPaintMessages();

// CRC-32 of ISO 3309 / IEEE 802.3 (reflected, polynomial 0xEDB88320). Crc32Init starts the
// value at 0xFFFFFFFF; no final inversion is applied: the caller does what its format needs.
inline void Crc32Init(std::uint32_t& crc) { crc = 0xFFFFFFFFu; }
// The CRC after `length` more bytes; a length below 1 leaves it unchanged.
std::uint32_t Crc32Update(std::uint32_t crc, const void* buffer, std::int32_t length);

}  // namespace pw
