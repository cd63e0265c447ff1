// pwhost's "project" commands: the item types the host knows, the New Item
// dialog's check of a type's creation parameters, an item file of the host's Item
// type opened (created when missing, renamed on request) with its snapshot, and
// item files followed for outside changes. They run without dialogs: questions
// refuse, nothing is deleted.
//
//   pwhost project types
//   pwhost project validate TYPE NAME [--location DIR]
//   pwhost project item FILE.pwi [--rename NAME]
//   pwhost project watch FILE...|P.pwp [--reload yes|no] [--seconds N]   (P.pwp: it and its items)
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
