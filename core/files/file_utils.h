// File, path and temporary-name utilities over UTF-16 file names (UTF-8 at the system
// boundary). Paths are POSIX: the delimiter is '/', there are no drive letters and no UNC
// names; core/files/README.md ("File names") says how the drive and network notions map here.
// File names compare exactly: POSIX file systems are case-sensitive.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/kernel/kernel.h"
#include "platform/com/types.h"

namespace pw {

inline constexpr char16_t kPathDelimiter = u'/';
// The longest path that IsValidPathName accepts.
inline constexpr std::size_t kMaxValidPathLength = 260;

// Characters never allowed in a file name, besides every character with code 31 or lower.
inline constexpr WideStringView InvalidFileNameChars = u"<>:\"/\\|*?";
// Characters never allowed in a path, besides every character with code 31 or lower.
inline constexpr WideStringView InvalidPathChars = u":*?|\"<>";

// ---- Name checks (never raise)

// True when `s` holds a character with code 31 or lower or any character of `chars`.
bool HasInvalidChar(WideStringView s, WideStringView chars);
// Not empty, not "." or ".." once trimmed, and no invalid file-name character.
bool IsValidFileName(WideStringView name);
// 1 to 260 characters without invalid path characters, whose folders either exist or are
// valid names that do not end with spaces, up to the root or a folder that exists (so a
// relative name is valid only when its first folder exists).
bool IsValidPathName(WideStringView path);
// Always False: there are no UNC names.
bool IsUNCPath(WideStringView path);
// True when `name` begins with "..".
bool IsParentRelative(WideStringView name);
// True when the folder of `fileName` is the host program's folder, "/usr/bin" or "/bin".
bool IsSystemFolderFile(WideStringView fileName);
// False for an empty name and for names on a network file system; True otherwise.
bool IsLocalDrive(WideStringView fileName);

// ---- Name transformations

// The folder part with its trailing delimiter ("" when there is none), and the name after it.
WideString WideExtractFilePath(WideStringView fileName);
WideString WideExtractFileName(WideStringView fileName);
// Empty when `s` is blank; otherwise `s` ending with the path delimiter.
WideString WideIncludeTrailingBackslash(WideStringView s);
// `s` without its last character when that is the path delimiter.
WideString RemoveTrailingDelimiter(WideStringView s);
// The folder part of `fileName` (the drive part is always empty here).
WideString ExtractPathWithoutDrive(WideStringView fileName);
// The names between consecutive delimiters: "/a/b/" gives a and b.
std::vector<WideString> SplitPathParts(WideStringView path);
// The absolute form of `fileName` against the current directory, with "." and ".." resolved
// and repeated delimiters collapsed, by name only (symbolic links are not followed). A trailing
// delimiter stays. Empty for an empty name.
WideString WideExpandFileName(WideStringView fileName);
// Without network names or short names, these are the expanded name.
WideString GetUniversalName(WideStringView fileName);
WideString WideExpandUNCFileName(WideStringView fileName);
WideString GetLongPath(WideStringView fileName);
// `destName` relative to the folder of `baseName`; see the definition for the rules.
WideString WideExtractRelativePath(WideStringView baseName, WideStringView destName, bool skipSystemFolders);

// ---- The current directory

// The process-wide, re-entrant lock under which this unit reads the current directory. Code
// that changes the current directory takes it too.
CriticalSection& CurrentDirLock();
// The current directory; raises EOSError when it cannot be read.
WideString GetCurrentDirLocked();
// `fileName` expanded against `baseFolder` (itself expanded against the current directory), or
// against the current directory when `baseFolder` is empty. The current directory is not
// changed.
WideString ExpandFileNameRelative(WideStringView baseFolder, WideStringView fileName);
// A name with a delimiter is looked up as it stands (relative to the current directory); a bare
// name in the current directory, then in each folder of $PATH. The expanded name of the first
// file or folder found; empty when there is none.
WideString SearchPathFile(WideStringView fileName);
// SearchPathFile with `baseFolder` taking the place of the current directory; when nothing is
// found, the expansion of `fileName` (for "..": of the folder part of `baseFolder` followed by
// `fileName`) when such a file or folder exists; else empty.
WideString ExpandAndSearchFileName(WideStringView baseFolder, WideStringView fileName);

// ---- Temporary files

// `folder` without one trailing delimiter, or, when it is empty, the system's temporary folder:
// $TMPDIR when it names an existing folder, else /tmp. No folder is ever created.
WideString GetTempFolder(WideStringView folder);
// Creates the new, empty file "<folder>/<prefix><thread id><counter>.tmp" (both numbers in
// upper-case hexadecimal) and closes it. Never opens an existing file. Answers 0 with the name,
// or the errno value with `fileName` emptied (EEXIST when the name is taken, EINVAL for a
// folder or prefix with a zero character).
DWORD TryCreateTempFile(WideStringView folder, WideStringView prefix, WideString& fileName);
// Creates a new, empty file with a name of its own in `folder` (the temporary folder when
// empty) and answers its long name. A name that is taken is retried with a fresh one; other
// failures, or too many taken names, raise EOSError.
WideString CreateUniqueTempFile(WideStringView prefix, WideStringView folder = {});

// The source of the temporary-name counter: a monotonic nanosecond count unless replaced (tests
// replace it to make names collide); nil restores it.
using TempNameCounterProc = std::uint64_t (*)();
void SetTempNameCounter(TempNameCounterProc proc);

}  // namespace pw
