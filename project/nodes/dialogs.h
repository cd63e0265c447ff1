// The project tree's dialogs through the host's dialog service: open (and add existing child),
// save, save as and select folder. Without a dialog service each answers False; a save without
// dialogs (manager mode other than 0) checks the name instead of asking.
#pragma once

#include <vector>

#include "interfaces/ProbewrightHost.h"

namespace pw::project {

// The host setting naming the samples folder.
inline constexpr GUID kSamplesFolderSetting = MakeGuid("{BF1B288F-24C5-4279-BBAA-153365A92B94}");

// Until the first confirmed open dialog, an empty initial name becomes the samples folder.
bool ShowOpenFileDialog(IcvBaseManager* manager, WideStringView title, WideStringView filter, WideString& fileNames,
                        bool allowSeveral, bool fileMustExist, bool pathMustExist);
bool ShowSaveFileDialog(IcvBaseManager* manager, WideStringView title, WideStringView filter, WideStringView defaultExt,
                        WideString& fileName, bool noReadOnlyReturn);
bool ShowSaveAsDialog(IcvBaseManager* manager, IpwProjectNode* node, WideString& fileName, WideStringView extension,
                      bool noReadOnlyReturn);
bool ShowSelectFolderDialog(IcvBaseManager* manager, WideStringView caption, WideString& folder);
// "Add Existing Child - <parent>" with a filter entry per child type the parent may take.
bool ShowAddExistingChildDialog(IcvBaseManager* manager, IpwProjectNode* parent, WideString& fileNames);
// The filter ShowAddExistingChildDialog offers.
WideString AddExistingChildFilter(IcvBaseManager* manager, IpwProjectNode* parent);

}  // namespace pw::project
