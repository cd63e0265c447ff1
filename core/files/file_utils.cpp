#include "core/files/file_utils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

// A name the system can be asked about: not empty and without a zero character, which would
// end the name early and so ask about another file.
bool IsSystemName(WideStringView name) { return !name.empty() && name.find(u'\0') == WideStringView::npos; }

bool PathExists(WideStringView name) {
  struct stat st {};
  return IsSystemName(name) && ::stat(WideToUtf8(name).c_str(), &st) == 0;
}

bool FolderExists(WideStringView name) {
  struct stat st {};
  return IsSystemName(name) && ::stat(WideToUtf8(name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// An absolute name with "." and ".." resolved and repeated delimiters collapsed; a trailing
// delimiter stays (except on the root).
WideString NormalizeAbsolute(WideStringView path) {
  std::vector<WideStringView> names;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(kPathDelimiter, start);
    if (end == WideStringView::npos) end = path.size();
    const WideStringView name = path.substr(start, end - start);
    if (name == u"..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != u".") {
      names.push_back(name);
    }
    start = end + 1;
  }
  WideString result;
  for (const auto& name : names) {
    result += kPathDelimiter;
    result += name;
  }
  if (result.empty() || path.back() == kPathDelimiter) result += kPathDelimiter;
  return result;
}

// `name` expanded against the absolute folder `dir`.
WideString ExpandAgainst(WideStringView dir, WideStringView name) {
  if (name.empty()) return {};
  if (name.front() == kPathDelimiter) return NormalizeAbsolute(name);
  WideString joined(dir);
  joined += kPathDelimiter;
  joined += name;
  return NormalizeAbsolute(joined);
}

// The folder of the host program, without a trailing delimiter.
const WideString& HostProgramFolder() {
  static const WideString folder = [] {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? WideString() : RemoveTrailingDelimiter(WideExtractFilePath(Utf8ToWide(exe.string())));
  }();
  return folder;
}

bool IsNetworkFileSystem(unsigned long type) {
  static constexpr unsigned long kNetwork[] = {
      0x6969,      // NFS
      0x517B,      // SMB
      0xFF534D42,  // CIFS
      0xFE534D42,  // SMB2
      0x73757245,  // Coda
      0x5346414F,  // AFS
      0x6B414653,  // kAFS
      0x564C,      // NCP
      0x01021997,  // 9P
      0x00C36400,  // Ceph
      0x47504653,  // GPFS
      0x19830326,  // FhGFS / BeeGFS
      0x0BD00BD0,  // Lustre
  };
  for (unsigned long n : kNetwork)
    if ((type & 0xFFFFFFFFu) == n) return true;
  return false;
}

}  // namespace

// ---- Name checks

bool HasInvalidChar(WideStringView s, WideStringView chars) {
  for (char16_t c : s)
    if (c <= 31 || chars.find(c) != WideStringView::npos) return true;
  return false;
}

bool IsValidFileName(WideStringView name) {
  if (name.empty()) return false;
  const WideString trimmed = WideTrim(name);
  if (trimmed == u"." || trimmed == u"..") return false;
  return !HasInvalidChar(name, InvalidFileNameChars);
}

bool IsValidPathName(WideStringView path) {
  if (path.empty() || path.size() > kMaxValidPathLength) return false;
  if (!IsUNCPath(path) && HasInvalidChar(path, InvalidPathChars)) return false;
  // The walk up the folders ends at the root (empty once its delimiter is gone) or at a folder
  // that exists. A relative name whose first folder does not exist ends at an empty folder part
  // and is not valid, whatever the length of that first name.
  const WideString dir = RemoveTrailingDelimiter(path);
  if (dir.empty() || FolderExists(dir)) return true;
  return IsValidPathName(WideExtractFilePath(dir)) && !HasInvalidChar(WideExtractFileName(dir), InvalidPathChars) &&
         WideTrimRight(dir) == dir;
}

bool IsUNCPath(WideStringView) { return false; }

bool IsParentRelative(WideStringView name) { return name.starts_with(u".."); }

bool IsSystemFolderFile(WideStringView fileName) {
  const WideString folder = RemoveTrailingDelimiter(WideExtractFilePath(fileName));
  if (folder.empty()) return false;
  return folder == HostProgramFolder() || folder == u"/usr/bin" || folder == u"/bin";
}

bool IsLocalDrive(WideStringView fileName) {
  if (WideTrim(fileName).empty()) return false;
  std::string path;
  try {
    path = WideToUtf8(WideExpandFileName(fileName));
  } catch (...) {
    return false;
  }
  // The file system of the name, or of its nearest folder that exists.
  for (;;) {
    struct statfs st {};
    if (::statfs(path.c_str(), &st) == 0) return !IsNetworkFileSystem(static_cast<unsigned long>(st.f_type));
    if ((errno != ENOENT && errno != ENOTDIR) || path == "/") return false;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const std::size_t slash = path.rfind('/');
    path.erase(slash == 0 ? 1 : slash);
  }
}

// ---- Name transformations

WideString WideExtractFilePath(WideStringView fileName) {
  const std::size_t slash = fileName.rfind(kPathDelimiter);
  return slash == WideStringView::npos ? WideString() : WideString(fileName.substr(0, slash + 1));
}

WideString WideExtractFileName(WideStringView fileName) {
  const std::size_t slash = fileName.rfind(kPathDelimiter);
  return WideString(slash == WideStringView::npos ? fileName : fileName.substr(slash + 1));
}

WideString WideIncludeTrailingBackslash(WideStringView s) {
  if (WideTrim(s).empty()) return {};
  WideString result(s);
  if (result.back() != kPathDelimiter) result += kPathDelimiter;
  return result;
}

WideString RemoveTrailingDelimiter(WideStringView s) {
  if (!s.empty() && s.back() == kPathDelimiter) s.remove_suffix(1);
  return WideString(s);
}

WideString ExtractPathWithoutDrive(WideStringView fileName) { return WideExtractFilePath(fileName); }

std::vector<WideString> SplitPathParts(WideStringView path) {
  std::vector<WideString> parts;
  std::size_t slash = path.find(kPathDelimiter);
  while (slash != WideStringView::npos) {
    const std::size_t next = path.find(kPathDelimiter, slash + 1);
    if (next == WideStringView::npos) break;
    parts.emplace_back(path.substr(slash + 1, next - slash - 1));
    slash = next;
  }
  return parts;
}

WideString WideExpandFileName(WideStringView fileName) {
  if (fileName.empty()) return {};
  if (fileName.front() == kPathDelimiter) return NormalizeAbsolute(fileName);
  std::lock_guard lock(CurrentDirLock());
  return ExpandAgainst(GetCurrentDirLocked(), fileName);
}

WideString GetUniversalName(WideStringView fileName) { return WideExpandFileName(fileName); }
WideString WideExpandUNCFileName(WideStringView fileName) { return WideExpandFileName(fileName); }
WideString GetLongPath(WideStringView fileName) { return WideExpandFileName(fileName); }

WideString WideExtractRelativePath(WideStringView baseName, WideStringView destName, bool skipSystemFolders) {
  if (skipSystemFolders && IsSystemFolderFile(destName)) return WideExtractFileName(destName);
  // All names share the one (empty) drive, so the drive parts never differ.
  auto expanded = [](WideStringView name) {
    return WideTrim(name).empty() ? WideString(name) : WideExpandFileName(name);
  };
  const WideString base = expanded(baseName), dest = expanded(destName);
  const std::vector<WideString> baseParts = SplitPathParts(ExtractPathWithoutDrive(base));
  const std::vector<WideString> destParts = SplitPathParts(ExtractPathWithoutDrive(dest));
  const WideString fileName = WideExtractFileName(dest);

  if (IsLocalDrive(baseName)) {
    // Names that share no folder with the base are given from the root.
    if (destParts.empty()) return baseParts.empty() ? fileName : kPathDelimiter + fileName;
    if (!baseParts.empty() && baseParts.front() != destParts.front()) {
      WideString rooted(1, kPathDelimiter);
      for (const auto& part : destParts) rooted += part + kPathDelimiter;
      return rooted + fileName;
    }
  }
  std::size_t common = 0;
  while (common < baseParts.size() && common < destParts.size() && baseParts[common] == destParts[common]) ++common;
  WideString relative;
  for (std::size_t i = common; i < baseParts.size(); ++i) relative += u"../";
  for (std::size_t i = common; i < destParts.size(); ++i) relative += destParts[i] + kPathDelimiter;
  return relative + fileName;
}

// ---- The current directory

CriticalSection& CurrentDirLock() {
  static CriticalSection lock;
  return lock;
}

WideString GetCurrentDirLocked() {
  std::lock_guard lock(CurrentDirLock());
  char* dir = ::getcwd(nullptr, 0);
  if (!dir) RaiseLastOSError();
  WideString result = Utf8ToWide(dir);
  std::free(dir);
  return result;
}

WideString ExpandFileNameRelative(WideStringView baseFolder, WideStringView fileName) {
  std::lock_guard lock(CurrentDirLock());
  if (baseFolder.empty()) return WideExpandFileName(fileName);
  return ExpandAgainst(WideExpandFileName(baseFolder), fileName);
}

namespace {

// SearchPathFile with `dir` as the current directory.
WideString SearchPathIn(WideStringView dir, WideStringView fileName) {
  if (fileName.empty()) return {};
  WideString candidate = ExpandAgainst(dir, fileName);
  if (PathExists(candidate)) return candidate;
  if (fileName.find(kPathDelimiter) != WideStringView::npos) return {};
  const char* searchPath = std::getenv("PATH");
  if (!searchPath) return {};
  const WideString folders = Utf8ToWide(searchPath);
  std::size_t start = 0;
  while (start <= folders.size()) {
    std::size_t end = folders.find(u':', start);
    if (end == WideString::npos) end = folders.size();
    const WideStringView folder = WideStringView(folders).substr(start, end - start);
    if (!folder.empty()) {
      candidate = ExpandAgainst(ExpandAgainst(dir, folder), fileName);
      if (PathExists(candidate)) return candidate;
    }
    start = end + 1;
  }
  return {};
}

}  // namespace

WideString SearchPathFile(WideStringView fileName) {
  std::lock_guard lock(CurrentDirLock());
  if (fileName.empty()) return {};
  return SearchPathIn(GetCurrentDirLocked(), fileName);
}

WideString ExpandAndSearchFileName(WideStringView baseFolder, WideStringView fileName) {
  std::lock_guard lock(CurrentDirLock());
  const WideString dir = baseFolder.empty() ? GetCurrentDirLocked() : WideExpandFileName(baseFolder);
  WideString result = SearchPathIn(dir, fileName);
  if (result.empty() && !WideTrim(fileName).empty()) {
    const WideString candidate = IsParentRelative(fileName)
                                     ? ExpandAgainst(dir, WideExtractFilePath(baseFolder) + WideString(fileName))
                                     : ExpandAgainst(dir, fileName);
    if (PathExists(candidate)) result = candidate;
  }
  return result;
}

// ---- Temporary files

namespace {

std::uint64_t MonotonicNanoseconds() {
  return static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

std::atomic<TempNameCounterProc> gTempNameCounter{MonotonicNanoseconds};

// Taken names are retried this often before CreateUniqueTempFile gives up.
constexpr int kTempFileAttempts = 100;

}  // namespace

void SetTempNameCounter(TempNameCounterProc proc) { gTempNameCounter.store(proc ? proc : MonotonicNanoseconds); }

WideString GetTempFolder(WideStringView folder) {
  WideString result(folder);
  if (result.empty()) {
    // $TMPDIR only when it names a folder: a temporary folder is never created (the variable
    // may point anywhere), and the system's own serves when it is missing.
    const char* env = std::getenv("TMPDIR");
    std::error_code ec;
    const bool usable = env && *env && std::filesystem::is_directory(env, ec);
    result = Utf8ToWide(usable ? env : "/tmp");
  }
  if (result.size() > 1 && result.back() == kPathDelimiter) result.pop_back();
  return result;
}

DWORD TryCreateTempFile(WideStringView folder, WideStringView prefix, WideString& fileName) {
  WideString name(folder);
  name += kPathDelimiter;
  name += prefix;
  name += IntToHexWide(GetCurrentThreadId()) + IntToHexWide(gTempNameCounter.load()()) + u".tmp";
  if (!IsSystemName(name)) {
    fileName.clear();
    return static_cast<DWORD>(EINVAL);
  }
  int fd;
  do {
    // Create-new only: an existing file of the same name is never opened or truncated.
    fd = ::open(WideToUtf8(name).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    fileName.clear();
    return static_cast<DWORD>(errno);
  }
  ::close(fd);
  fileName = std::move(name);
  return 0;
}

WideString CreateUniqueTempFile(WideStringView prefix, WideStringView folder) {
  const WideString tempFolder = GetTempFolder(folder);
  WideString fileName;
  for (int attempt = 0; attempt < kTempFileAttempts; ++attempt) {
    const DWORD code = TryCreateTempFile(tempFolder, prefix, fileName);
    if (code == 0) return GetLongPath(fileName);
    if (code != EEXIST) RaiseOSError(code);
  }
  RaiseOSError(EEXIST);
}

}  // namespace pw
