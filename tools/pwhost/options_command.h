// pwhost's "options" commands: print an options XML file as a tree, and change one property of
// it through the options tree.
//
//   pwhost options dump FILE
//   pwhost options set FILE PATH TYPE VALUE
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace pw::host {

// `args` are the words after "options". Answers the exit code: 0 done, 1 failed, 2 misused.
int RunOptionsCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

// The usage lines of the options commands.
extern const char* const kOptionsUsage;

}  // namespace pw::host
