// pwhost's project explorer: "project new|tree|add|add-existing|remove|rename|folder" over a project
// file (.pwp) and the item files (.pwi) of the host's Item type beside it.
//
//   pwhost project new P.pwp NAME...
//   pwhost project tree P.pwp
//   pwhost project add P.pwp NAME
//   pwhost project add-existing P.pwp FILE.pwi
//   pwhost project remove P.pwp NAME [--delete-files]
//   pwhost project rename P.pwp OLD NEW
//   pwhost project folder P.pwp add NAME [--in FOLDER] | rename FOLDER NEW | move FOLDER TARGET |
//                               ref FOLDER ITEM | unref FOLDER ITEM | remove FOLDER [--delete-files]
// (FOLDER: folder names joined by "/"; TARGET "/" is the top). The logical folders live in the
// project file only: no folder command moves or rewrites an item's file, and "remove" deletes the
// files of the items it takes with the folder only with --delete-files.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace pw::host {

// `args` are the words after "project". -1 when the verb is none of these; else the exit code:
// 0 done, 1 refused or failed (nothing written), 2 misused.
int RunProjectTreeCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

extern const char* const kProjectTreeUsage;

}  // namespace pw::host
