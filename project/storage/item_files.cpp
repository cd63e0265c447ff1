#include "project/storage/item_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/files/crc32.h"
#include "platform/rtl/strings.h"

namespace pw::project {

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

int OpenRegularForReading(WideStringView fileName) {
  int fd = ::open(WideToUtf8(fileName).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::int64_t Nanoseconds(const struct statx_timestamp& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// "major" or "major.minor", digits only; nullopt otherwise.
std::optional<std::pair<std::int64_t, std::int64_t>> ParseVersion(WideStringView text) {
  std::int64_t parts[2] = {0, 0};
  int part = 0;
  bool digit = false;
  for (char16_t c : text) {
    if (c == u'.') {
      if (!digit || part == 1) return std::nullopt;
      part = 1;
      digit = false;
    } else if (c >= u'0' && c <= u'9') {
      if (parts[part] > 100000000) return std::nullopt;
      parts[part] = parts[part] * 10 + (c - u'0');
      digit = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digit) return std::nullopt;
  return std::make_pair(parts[0], parts[1]);
}

}  // namespace

bool IsProjectItemFileText(std::string_view tail) {
  return tail.find("<Prp name=\"signature\" type=\"S\" value=\"{") != std::string_view::npos &&
         tail.find("<Prp name=\"version\" type=\"S\" value=\"") != std::string_view::npos;
}

bool IsProjectItemFileFormat(WideStringView fileName) {
  Fd fd(OpenRegularForReading(fileName));
  if (fd.Get() < 0) return false;
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) return false;
  std::int64_t size = st.st_size;
  off_t offset = size > kItemFileTailSize ? static_cast<off_t>(size - kItemFileTailSize) : 0;
  char buffer[kItemFileTailSize];
  std::size_t got = 0;
  while (got < sizeof buffer) {
    ssize_t n = ::pread(fd.Get(), buffer + got, sizeof buffer - got, offset + static_cast<off_t>(got));
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return IsProjectItemFileText(std::string_view(buffer, got));
}

std::uint32_t FileCRC32(WideStringView fileName) {
  Fd fd(OpenRegularForReading(fileName));
  if (fd.Get() < 0) return 0xFFFFFFFFu;
  ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  std::uint32_t crc = 0;
  Crc32Init(crc);
  // Blocks of 1 MiB, or one block a little larger than the file: a small item file costs no
  // large allocation (which the allocator would map and unmap for every file) and nothing is
  // cleared before it is read into.
  struct stat st {};
  std::size_t size = 1 << 20;
  if (::fstat(fd.Get(), &st) == 0 && st.st_size >= 0 && static_cast<std::uint64_t>(st.st_size) < size)
    size = static_cast<std::size_t>(st.st_size) + 4096;
  auto buffer = std::make_unique_for_overwrite<char[]>(size);
  for (;;) {
    ssize_t n = ::read(fd.Get(), buffer.get(), size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return 0xFFFFFFFFu;
    }
    if (n == 0) break;
    crc = Crc32Update(crc, buffer.get(), static_cast<std::int32_t>(n));
  }
  return ~crc;
}

TFileSnapshot ReadFileSnapshot(WideStringView fileName) {
  TFileSnapshot snapshot;
  struct statx sx {};
  std::string name = WideToUtf8(fileName);
  if (name.empty() || ::statx(AT_FDCWD, name.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0 ||
      !S_ISREG(sx.stx_mode))
    return snapshot;
  if (sx.stx_mask & STATX_BTIME) snapshot.creationTime = Nanoseconds(sx.stx_btime);
  snapshot.accessTime = Nanoseconds(sx.stx_atime);
  snapshot.writeTime = Nanoseconds(sx.stx_mtime);
  snapshot.sizeHigh = static_cast<std::uint32_t>(sx.stx_size >> 32);
  snapshot.sizeLow = static_cast<std::uint32_t>(sx.stx_size & 0xFFFFFFFFu);
  snapshot.crc = FileCRC32(fileName);
  return snapshot;
}

bool ReadFileWithSnapshot(WideStringView fileName, std::string& bytes, TFileSnapshot& snapshot) {
  // One statx on the open file tells both that it is a regular file and its snapshot fields.
  Fd fd(::open(WideToUtf8(fileName).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.Get() < 0) return false;
  struct statx sx {};
  if (::statx(fd.Get(), "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0 || !(sx.stx_mask & STATX_TYPE) ||
      !S_ISREG(sx.stx_mode))
    return false;
  std::string content(static_cast<std::size_t>(sx.stx_size) + 1, '\0');
  bool failed = false, atEnd = false;
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t got = ::read(fd.Get(), content.data() + done, content.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failed = true;
    if (got == 0) atEnd = true;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  content.resize(done);
  if (failed) return false;
  // A file that grew while it was read (its end not met yet) is read to its end.
  char block[65536];
  while (!atEnd) {
    const ssize_t got = ::read(fd.Get(), block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    content.append(block, static_cast<std::size_t>(got));
  }
  TFileSnapshot result;
  if (sx.stx_mask & STATX_BTIME) result.creationTime = Nanoseconds(sx.stx_btime);
  result.accessTime = Nanoseconds(sx.stx_atime);
  result.writeTime = Nanoseconds(sx.stx_mtime);
  const std::uint64_t size = content.size();
  result.sizeHigh = static_cast<std::uint32_t>(size >> 32);
  result.sizeLow = static_cast<std::uint32_t>(size & 0xFFFFFFFFu);
  std::uint32_t crc = 0;
  Crc32Init(crc);
  for (std::size_t at = 0; at < content.size(); at += 1 << 30) {
    const std::size_t n = std::min<std::size_t>(content.size() - at, 1 << 30);
    crc = Crc32Update(crc, content.data() + at, static_cast<std::int32_t>(n));
  }
  result.crc = ~crc;
  bytes = std::move(content);
  snapshot = result;
  return true;
}

bool SnapshotsEqual(const TFileSnapshot& a, const TFileSnapshot& b) {
  if (a.crc != b.crc) return false;
  if (a.crc != 0) return true;
  return a.creationTime == b.creationTime && a.writeTime == b.writeTime && a.sizeHigh == b.sizeHigh &&
         a.sizeLow == b.sizeLow;
}

bool FileExistsName(WideStringView fileName) {
  if (fileName.empty()) return false;
  struct stat st {};
  return ::stat(WideToUtf8(fileName).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool IsFileReadOnlyName(WideStringView fileName) {
  if (fileName.empty()) return false;
  struct stat st {};
  if (::stat(WideToUtf8(fileName).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool SameFileName(WideStringView a, WideStringView b) {
  if (a == b) return true;
  if (a.empty() || b.empty()) return false;
  struct stat sa {
  }, sb{};
  if (::stat(WideToUtf8(a).c_str(), &sa) != 0 || ::stat(WideToUtf8(b).c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

WideString FileExtension(WideStringView fileName) {
  std::size_t slash = fileName.rfind(u'/');
  std::size_t dot = fileName.rfind(u'.');
  if (dot == WideStringView::npos || (slash != WideStringView::npos && dot < slash)) return {};
  return WideString(fileName.substr(dot));
}

WideString FileBaseName(WideStringView fileName) {
  std::size_t slash = fileName.rfind(u'/');
  WideStringView name = slash == WideStringView::npos ? fileName : fileName.substr(slash + 1);
  std::size_t dot = name.rfind(u'.');
  return WideString(dot == WideStringView::npos ? name : name.substr(0, dot));
}

std::int32_t CheckVersionText(WideStringView stored, WideStringView current) {
  if (stored.empty()) return kVersionUnknown;
  if (SameTextIgnoringCase(stored, current)) return kVersionOk;
  auto s = ParseVersion(stored);
  auto c = ParseVersion(current);
  if (!s || !c) return kVersionUnknown;
  if (*s == *c) return kVersionOk;
  if (*s > *c) return kVersionNewer;
  if (s->first >= 4 && s->second == 0 && stored.find(u'.') != WideStringView::npos) return kVersionOk;
  return kVersionUnknown;
}

}  // namespace pw::project
