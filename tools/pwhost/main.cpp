// pwhost: the test host's command-line front. It loads the module as the host does and runs
// one of its commands (a table below; each command lives in a file of its own).
#include <cstdio>
#include <string>
#include <vector>

#include "tools/pwhost/commands.h"
#include "host/module_loader.h"
#include "tools/pwhost/editor_command.h"
#include "tools/pwhost/options_command.h"
#include "tools/pwhost/picture_command.h"
#include "tools/pwhost/project_command.h"
#include "tools/pwhost/pick_command.h"
#include "tools/pwhost/web_command.h"
#include "platform/com/apartment.h"
#include "platform/com/registry.h"

namespace {

using namespace pw::host;

const Command kCommands[] = {
    {"plugins", "load the module, list its plug-ins and drive their life against the host (the default)",
     RunPluginsCommand},
    {"main", "load the module, disconnect its exposed objects, unload it", RunMainCommand},
    {"run",
     "SCRIPT.js [--log FILE] [--browser chrome|iexplore [--url URL]]  run a test script; the log is printed and "
     "written to FILE; a tested browser is opened before it and closed after",
     RunScriptCommand},
    {"record", "FILE [--out FILE] [--language JavaScript|VBScript]  analyze and describe a recording",
     RunRecordCommand},
    {"options", "dump FILE | set FILE PATH TYPE VALUE  show or change an options file",
     [](const CommandContext& c) { return RunOptionsCommand(c.args, stdout, stderr); }},
    {"picture", "find IMAGE NEEDLE | compare A B | convert IN OUT [OPTIONS]  search, compare or convert images",
     [](const CommandContext& c) { return RunPictureCommand(c.args, c.modulePath, stdout, stderr); }},
    {"editor",
     "load FILE [--list] [--print] [--tabs STOPS] | save IN OUT --encoding utf16|utf8|ansi|keep [--list] | "
     "highlight --scheme NAME FILE",
     [](const CommandContext& c) { return RunEditorCommand(c.args, stdout, stderr); }},
    {"project", kProjectUsage, [](const CommandContext& c) { return RunProjectCommand(c.args, stdout, stderr); }},
    {"pick", kPickUsage, [](const CommandContext& c) { return RunPickCommand(c.args, stdout, stderr); }},
    {"web", kWebUsage, [](const CommandContext& c) { return RunWebCommand(c.args, stdout, stderr); }},
};

void Usage() {
  std::puts("usage: pwhost [--module FILE] [COMMAND [ARGUMENTS]]\n\ncommands:");
  for (const auto& c : kCommands) std::printf("  %-8s %s\n", c.name, c.usage);
  std::printf("  %-8s %s\n", "help", "show this text");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  CommandContext context{DefaultModulePath(), {}};
  std::size_t i = 0;
  while (i < args.size() && args[i].rfind("--", 0) == 0) {
    if (args[i] == "--module" && i + 1 < args.size()) {
      context.modulePath = args[i + 1];
      i += 2;
    } else if (args[i] == "--help") {
      Usage();
      return 0;
    } else {
      std::fprintf(stderr, "pwhost: unknown option %s\n", args[i].c_str());
      Usage();
      return 2;
    }
  }
  std::string name = i < args.size() ? args[i++] : "plugins";
  context.args.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  if (name == "help") {
    Usage();
    return 0;
  }
  // The host's main thread is a single-threaded apartment, as a desktop host's is.
  pw::CoInitializeEx(nullptr, pw::COINIT_APARTMENTTHREADED);
  struct LeaveApartment {
    ~LeaveApartment() { pw::CoUninitialize(); }
  } leave;
  // The registry keeps HKCU in the user's configuration folder across runs (HKLM is read there).
  pw::SetRegistryFilesEnabled(true);
  try {
    for (const auto& c : kCommands)
      if (name == c.name) return c.run(context);
    std::fprintf(stderr, "pwhost: unknown command %s\n", name.c_str());
    Usage();
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pwhost: %s\n", e.what());
    return 1;
  }
}
