// Loaded shared objects of the process and the module's own file.
#pragma once

#include <functional>
#include <string>

namespace pw {

// For every shared object loaded in the process (the main program first) that itself defines
// the exported symbol `name`, calls `visit` with the symbol's address and the object's file.
// A symbol that an object only imports from another one is not reported for it. Each object
// stays loaded while `visit` runs for it.
void ForEachModuleExport(const char* name, const std::function<void(void* address, const std::string& path)>& visit);

// The file of the shared object (or program) that contains `address`; empty when unknown.
std::string ModuleFileOfAddress(const void* address);
// The running program's file (/proc/self/exe).
std::string ProgramFile();

}  // namespace pw
