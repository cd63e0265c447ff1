// What the project tree knows about item files on disk, apart from any node: recognising an
// item file by its tail, the unsaved copy's name, the read-only mode, the change snapshot (times,
// size and CRC-32 of the content) and the data-version rule.
//
// Read-only is the POSIX mode: a file none of whose write bits is set. Times are nanoseconds
// since the epoch; the birth time is 0 where the file system does not keep one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/com/types.h"

namespace pw::project {

// The unsaved copy of an item file is the file's full name followed by this suffix.
inline constexpr WideStringView kUnsavedCopySuffix = u".~$pwUnsaved$";
// How many bytes at the end of a file the format recognition reads.
inline constexpr std::int64_t kItemFileTailSize = 180;

// Whether `tail` (the last bytes of a file) holds both the stored signature property (a GUID
// text) and the stored version property, as the options XML writer spells them.
bool IsProjectItemFileText(std::string_view tail);
// Reads at most the last 180 bytes of the file and checks them; False when it cannot be read.
bool IsProjectItemFileFormat(WideStringView fileName);

struct TFileSnapshot {
  std::int64_t creationTime = 0;
  std::int64_t accessTime = 0;
  std::int64_t writeTime = 0;
  std::uint32_t sizeHigh = 0;
  std::uint32_t sizeLow = 0;
  std::uint32_t crc = 0;
};

// CRC-32 of the whole content, read in blocks (0 for an empty file); 0xFFFFFFFF when the file
// cannot be opened.
std::uint32_t FileCRC32(WideStringView fileName);
// The snapshot of a regular file; all zeros for a missing one.
TFileSnapshot ReadFileSnapshot(WideStringView fileName);
// Reads a regular file whole into `bytes` and takes its snapshot from the same bytes (so the
// snapshot describes exactly what was read); False, with nothing changed, when the file is
// missing or cannot be read.
bool ReadFileWithSnapshot(WideStringView fileName, std::string& bytes, TFileSnapshot& snapshot);
// Different CRCs differ; equal non-zero CRCs are equal; two zero CRCs compare creation time,
// write time and size (never the access time).
bool SnapshotsEqual(const TFileSnapshot& a, const TFileSnapshot& b);

bool FileExistsName(WideStringView fileName);
// The file exists and none of its write bits is set.
bool IsFileReadOnlyName(WideStringView fileName);
// Two names of one file: equal, or both existing with the same device and inode (a name that
// differs only in case is another file on Linux unless it names the same inode).
bool SameFileName(WideStringView a, WideStringView b);
// The file name without folder and extension.
WideString FileBaseName(WideStringView fileName);
// The extension with its dot ("" when there is none).
WideString FileExtension(WideStringView fileName);

// The data-version rule. Versions are "major.minor" numbers compared as numbers: equal passes;
// a stored version above the current one is 106 (newer); below it passes when it is "N.0" with
// 4 <= N (an older host's release), else 105. Empty or not a number is 105.
inline constexpr std::int32_t kVersionOk = 0;
inline constexpr std::int32_t kVersionUnknown = 105;
inline constexpr std::int32_t kVersionNewer = 106;
std::int32_t CheckVersionText(WideStringView stored, WideStringView current);

}  // namespace pw::project
