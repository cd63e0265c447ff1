// Loading shared libraries by file name, as the module's host platform does it.
//
// A name with a '/' is loaded as it stands; a bare name is looked up first in the running
// program's folder, then along the dynamic loader's own search path. A library whose start
// fails (its module reported the failure with ReportModuleInitFailure while it was being
// loaded) is unloaded again and the load fails with ERROR_DLL_INIT_FAILED.
//
// Error codes of a failed load (GetLastError): ERROR_MOD_NOT_FOUND when no file was found,
// ERROR_BAD_EXE_FORMAT when a file was found but could not be loaded (also, before the system
// loader sees it, an ELF file whose headers or segments reach beyond its end, which would fault
// inside the loader: "The file ... is damaged: ..."), ERROR_DLL_INIT_FAILED
// when its start failed. LibraryErrorMessage gives the text of the thread's last failure.
#pragma once

#include <string>

#include "platform/com/types.h"

namespace pw {

using HMODULE = void*;

inline constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
inline constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
inline constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;
inline constexpr DWORD ERROR_DLL_INIT_FAILED = 1114;

// nil on failure (GetLastError tells why).
HMODULE LoadLibrary(const std::string& fileName);
bool FreeLibrary(HMODULE module);
void* GetProcAddress(HMODULE module, const char* name);
// The handle of a library already loaded in the process (without a new reference), or nil.
HMODULE GetModuleHandle(const std::string& fileName);

// The calling thread's last error code of this layer.
DWORD GetLastError();
void SetLastError(DWORD code);
// The text of the calling thread's last load failure when `code` is its code, else the
// standard text of the code.
WideString LibraryErrorMessage(DWORD code);

// Called by a library while it starts (from its load-time constructor) when its start failed;
// `address` is any address inside the library.
void ReportModuleInitFailure(const void* address, const WideString& message);

}  // namespace pw
