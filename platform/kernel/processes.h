// The processes and windows of the machine, as far as the plug-ins inspect them: each process
// with its identifier, its name, the modules loaded in it and its top-level windows with their
// class names; and the system search path. There are no such processes on this machine: the
// host (or a test) describes them here, and the host's services and the search below read them
// the way the system's process, module and window functions would. One model per process (the
// platform is one shared library), so the host's description is what a loaded module sees.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/com/types.h"
#include "platform/ui/window_system.h"

namespace pw {

struct WindowDescription {
  HWND window = 0;
  WideString className;
  std::vector<WindowDescription> children = {};  // child windows, in z-order (each with its own)
};

struct ProcessDescription {
  DWORD id = 0;
  WideString name;                        // the program's name without the folder, e.g. "vb6app.exe"
  std::vector<WideString> modules;        // file names of the loaded modules, e.g. "MSVBVM60.DLL"
  std::vector<WindowDescription> windows; // top-level windows, in z-order
  DWORD parentId = 0;                     // the parent process (0: none known)
  WideString moduleFolder = {};           // the folder the modules were loaded from, with its
                                          // closing separator (empty: not known)
};

// The version resources of module files. Files here carry none: the host describes them (names
// compared ignoring case, '\\' and '/' alike), for every loaded module to read.
struct ModuleFileVersion {
  DWORD major = 0, minor = 0, release = 0, build = 0;
};
void DescribeModuleFileVersion(const std::string& fileName, const ModuleFileVersion& version);
void RemoveModuleFileVersion(const std::string& fileName);
std::optional<ModuleFileVersion> FindModuleFileVersion(const std::string& fileName);

// Adds a process, or replaces the one with the same identifier.
void DescribeProcess(const ProcessDescription& process);
// Removes the process and its windows; false when there is none.
bool RemoveProcessDescription(DWORD id);
// Removes every process.
void ClearProcessDescriptions();
std::optional<ProcessDescription> FindProcessDescription(DWORD id);
std::vector<ProcessDescription> ProcessDescriptions();

// The modules of a process (empty when the process is unknown).
std::vector<WideString> GetProcessModuleNames(DWORD id);
// The top-level windows of a process (empty when the process is unknown).
std::vector<HWND> GetProcessWindowHandles(DWORD id);
// The class of a window (top-level or child); empty for a window that does not exist.
WideString GetWindowClassName(HWND window);
// The descendants of a window in the order the system's child enumeration visits them: a child,
// then that child's descendants, before the next child. Empty for no window or no children.
std::vector<HWND> GetChildWindowHandles(HWND window);
// The parent of a child window; 0 for a top-level window or none.
HWND GetParentWindow(HWND window);
// The process of a window (top-level or child); 0 for none.
DWORD GetWindowProcessId(HWND window);

// The folders searched for a bare file name, in order. Until set, the folders of $PATH.
void SetSystemSearchPath(std::vector<std::string> folders);
std::vector<std::string> SystemSearchPath();
// The system's search of a file on the search path (no path and no extension given): the full
// name of the first regular file of that name, empty when none is found or the full name does
// not fit `bufferLength` characters with its terminator.
std::string SearchPathA(const std::string& fileName, std::size_t bufferLength);

}  // namespace pw
