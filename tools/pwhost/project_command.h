// pwhost's "project" commands: the item types the host knows, and the New Item
// dialog's check of a type's creation parameters. They run without dialogs:
// questions refuse, nothing is deleted.
//
//   pwhost project types
//   pwhost project validate TYPE NAME [--location DIR]
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace pw::host {

// `args` are the words after "project". Answers the exit code: 0 done (valid),
// 1 failed (invalid), 2 misused.
int RunProjectCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

extern const char* const kProjectUsage;

}  // namespace pw::host
