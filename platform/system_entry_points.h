// The system's process-wide services. On the original platform the system libraries exist
// once per process, so the thread's error object, drawing objects and the process list are the
// same for the host and every module it loads. Here each binary links its own copy of the
// platform layer; a service whose state must be one per process therefore publishes a table of
// its entry points under an exported name, and every copy uses the table of the main program
// when the program exports one (pwhost and the test programs that load the module do). A binary
// whose program exports nothing keeps its own state, which is the same thing when it is alone.
#pragma once

#include <dlfcn.h>

// Marks the entry-point table getters; the module's export list keeps them inside the module.
#define PW_SYSTEM_ENTRY_POINTS extern "C" __attribute__((visibility("default")))

namespace pw {

// The main program's table named by `exportName` (a getter answering `const Table*`), else the
// binary's own table.
template <class Table>
const Table& SystemEntryPoints(const char* exportName, const Table& own) {
  using Getter = const Table* (*)();
  auto getter = reinterpret_cast<Getter>(dlsym(RTLD_DEFAULT, exportName));
  const Table* shared = getter ? getter() : nullptr;
  return shared ? *shared : own;
}

}  // namespace pw
