// Small helpers of the project tree: reporting to the user and the host's
// diagnostic log, clearing a file's read-only mode and creating a folder path.
//
// Read-only is the POSIX mode: a file none of whose write bits is set; clearing
// it adds the owner's write bit only.
#pragma once

#include <vector>

#include "interfaces/ProbewrightHost.h"

namespace pw::project {

// The message of the exception being handled; empty outside a handler.
WideString CurrentExceptionMessage();
// Shows that message through the messenger (help context 0) when it is not
// empty.
void ShowCurrentException(IcvBaseManager* manager);
// Writes a line to the host's diagnostic log.
void WriteDiagnostic(IcvBaseManager* manager, WideStringView text);

// True when the file exists and is writable by mode, or its read-only mode was
// cleared; False for a missing name, a mode that cannot be read or changed. A
// folder counts as a file here.
bool ClearReadOnly(WideStringView fileName);
// Creates the folder and its missing parents, appending each created one
// (parents first) to Created. An empty path raises; an existing folder or the
// root counts as done.
bool ForceFolders(WideStringView path, std::vector<WideString>& created);

}  // namespace pw::project

namespace pw::project {

// Tells the project above a persistent node (one answering IpwFileNameCollection, not itself a
// Project) that the node joined it.
void NotifyProjectNodeAttached(IpwProjectNode* node);
// The same when it left; with CheckLinked, every step up checks that the parent still lists the
// node it came from and stops without telling anyone when it does not.
void NotifyProjectNodeDetached(IpwProjectNode* node, bool checkLinked);

// The mark of a node whose file changed on disk and was not reloaded: the marker bitmap in one of
// the node's bitmap parts and a sentence in its comment (attribute 5).
inline constexpr WideStringView kNotReloadedSentence = u"The file was modified, but it was not reloaded.";
bool HasNotReloadedMark(IpwProjectNode* node);
void SetNotReloadedMark(IpwProjectNode* node);
void ClearNotReloadedMark(IpwProjectNode* node);
// Deletes the marker bitmap (at the module's stop).
void ReleaseNotReloadedMarker();

}  // namespace pw::project
