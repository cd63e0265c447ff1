// pwhost's "pick" command: the test host's sample desktop, picked at points through simulated
// input, and what picked objects map to in a fresh project's name mapping.
//
//   pwhost pick                      one line per pickable object: LEFT TOP RIGHT BOTTOM<TAB>full name
//   pwhost pick [--map] X,Y ...      pick at each point in turn
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace pw::host {

// `args` are the words after "pick". Exit code: 0 every point picked an object, 1 otherwise,
// 2 wrong arguments.
int RunPickCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

extern const char* const kPickUsage;

}  // namespace pw::host
