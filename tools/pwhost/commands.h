// The commands of pwhost. Each lives in a file of its own under host/; main.cpp keeps the
// table that names them.
#pragma once

#include <string>
#include <vector>

#include "core/options/options_name_pool.h"

namespace pw::host {

struct CommandContext {
  std::string modulePath;         // --module, or the module beside pwhost
  std::vector<std::string> args;  // what follows the command's name
};

// The options name pool for as long as a command that reads or writes options or projects runs.
struct NamePoolUnit {
  NamePoolUnit() { StartOptionsNamePool(); }
  ~NamePoolUnit() { StopOptionsNamePool(); }
};

using CommandProc = int (*)(const CommandContext& context);

struct Command {
  const char* name;
  const char* usage;  // one line: arguments and what the command does
  CommandProc run;
};

// main: load the module, disconnect its exposed objects, unload it.
int RunMainCommand(const CommandContext& context);
// plugins: load the module, print its registrator's table, drive the life of its plug-ins.
int RunPluginsCommand(const CommandContext& context);
// run SCRIPT.js [--log FILE]: run a test script against the host with the module loaded.
int RunScriptCommand(const CommandContext& context);
// record FILE [--out FILE] [--language L]: analyze and describe a recording file.
int RunRecordCommand(const CommandContext& context);

}  // namespace pw::host
