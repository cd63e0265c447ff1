// pwhost's "editor" commands: load a text file as the editor does and report its encoding and
// lines, or load and save it in another encoding.
//
//   pwhost editor load FILE [--list] [--print] [--tabs STOPS]
//   pwhost editor save IN OUT --encoding utf16|utf8|ansi|keep [--list]
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace pw::host {

// `args` are the words after "editor". Answers the exit code: 0 done, 1 failed (unreadable or
// unrecognised content: OUT is not written), 2 misused (also a rejected STOPS).
int RunEditorCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

extern const char* const kEditorUsage;

}  // namespace pw::host
