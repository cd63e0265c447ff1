// pwhost's "web" commands: the web testing settings and the dynamic identifier patterns, run
// in-process against a test host.
//
//   pwhost web ids [STEP]...   STEP: row=N, add-group, add-item, remove, up, down, yes, no, test=ID
//
// "ids" builds the table of dynamic identifiers as a project load does, runs the steps in order
// (yes and no answer the next question; a question without one is answered no), and prints
// the table and the hook text. test=ID runs "Test..." and prints the matching row and the
// stable ID, "not used" or "no match".
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace pw::host {

// `args` are the words after "web". Answers the exit code: 0 done, 1 an action was disabled or
// failed, 2 misused (an unknown step or value; nothing runs then).
int RunWebCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

extern const char* const kWebUsage;

}  // namespace pw::host
