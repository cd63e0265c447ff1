#include "core/options/safe_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>

#include "platform/rtl/rtl_stream.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;

[[noreturn]] void RaiseCreateError(const std::string& target, WideStringView reason, int error) {
  throw EFCreateError(u"Cannot create file \"" + Utf8ToWide(target) + u"\". " + WideString(reason),
                      static_cast<DWORD>(error));
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A hidden file beside `path`: the folder part of `path`, then "." + its name + `suffix`.
std::string HiddenSibling(const std::string& path, const std::string& suffix) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return "." + path + suffix;
  return path.substr(0, slash + 1) + "." + path.substr(slash + 1) + suffix;
}

}  // namespace

std::string ResolveSaveTarget(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    char resolved[PATH_MAX];
    if (::realpath(current.c_str(), resolved)) return resolved;
    // A dangling link: its target (relative to the link's folder) is the file to create.
    char link[PATH_MAX];
    const ssize_t n = ::readlink(current.c_str(), link, sizeof link - 1);
    if (n <= 0) return current;
    const std::string text(link, static_cast<std::size_t>(n));
    current = text.front() == '/' ? text : FolderOf(current) + "/" + text;
  }
  return current;
}

void CheckReplaceableTarget(const std::string& target) {
  struct stat st;
  if (::stat(target.c_str(), &st) != 0) return;
  if (!S_ISREG(st.st_mode)) RaiseCreateError(target, u"It is not a regular file.", EINVAL);
  if (st.st_nlink > 1)
    RaiseCreateError(target,
                     u"It has " + IntToWide(static_cast<long long>(st.st_nlink)) +
                         u" hard links, and replacing it would leave the other names with the old content.",
                     EMLINK);
}

void CheckCreatableTarget(const std::string& target) {
  // An unnamed file in the folder tells whether a file may be made there, and leaves nothing.
  int fd = ::open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
    if (::access(FolderOf(target).c_str(), W_OK | X_OK) == 0) return;
  }
  if (fd < 0) {
    const int error = errno;
    RaiseCreateError(target, SysErrorMessage(static_cast<DWORD>(error)), error);
  }
  ::close(fd);
}

TcvFileUpdateLock::TcvFileUpdateLock(const std::string& target) {
  lock_ = HiddenSibling(ResolveSaveTarget(target), ".lock");
  // The holder before may have removed the lock file as it let go while this one waited for the
  // lock on it; a lock on a file that no longer has the name holds nobody back, so the file is
  // opened and locked again until the lock is on the file of that name.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    fd_ = ::open(lock_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    // Another user's lock file: a lock needs no write access.
    if (fd_ < 0 && errno == EACCES) fd_ = ::open(lock_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    struct stat locked;
    if (::fstat(fd_, &locked) != 0 || !S_ISREG(locked.st_mode)) break;
    int result;
    while ((result = ::flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (result != 0) break;
    struct stat named;
    if (::lstat(lock_.c_str(), &named) == 0 && named.st_dev == locked.st_dev && named.st_ino == locked.st_ino) return;
    ::close(fd_);
    fd_ = -1;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

TcvFileUpdateLock::~TcvFileUpdateLock() {
  if (fd_ < 0) return;
  // Removed while still held, so nothing is left beside the file; a writer that waits on this
  // file sees it gone and takes the lock on a new one.
  ::unlink(lock_.c_str());
  ::close(fd_);  // closing drops the lock
}

TcvSafeFileWriter::TcvSafeFileWriter(std::string target) : target_(ResolveSaveTarget(target)) {
  CheckReplaceableTarget(target_);
  // The copy of an existing file is readable by its owner alone until Commit gives it the
  // target's owner, group and permissions: the content of a private file is never exposed
  // on the way. A new file gets the permissions the process gives new files.
  struct stat existing;
  const mode_t mode = ::stat(target_.c_str(), &existing) == 0 ? 0600 : 0666;
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    temp_ = HiddenSibling(target_, "." + std::string(suffix) + ".tmp");
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd_ >= 0 || errno != EEXIST) break;
  }
  if (fd_ < 0) Fail(errno);
  buffer_.reserve(kBufferSize);
}

TcvSafeFileWriter::~TcvSafeFileWriter() {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(temp_.c_str());
  }
}

void TcvSafeFileWriter::Fail(int error) {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(temp_.c_str());
  }
  throw EFCreateError(u"Cannot create file \"" + Utf8ToWide(target_) + u"\". " + SysErrorMessage(static_cast<DWORD>(error)),
                      static_cast<DWORD>(error));
}

void TcvSafeFileWriter::Write(std::string_view bytes) {
  if (fd_ < 0) Fail(EBADF);
  if (buffer_.size() + bytes.size() > kBufferSize) Flush();
  if (bytes.size() >= kBufferSize) {
    buffer_.assign(bytes);
    Flush();
  } else {
    buffer_.append(bytes);
  }
}

void TcvSafeFileWriter::Flush() {
  const char* p = buffer_.data();
  std::size_t n = buffer_.size();
  while (n > 0) {
    ssize_t w = ::write(fd_, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  buffer_.clear();
}

void TcvSafeFileWriter::Commit() {
  if (fd_ < 0) Fail(EBADF);
  Flush();
  struct stat st;
  if (::stat(target_.c_str(), &st) == 0) {
    CheckReplaceableTarget(target_);
    struct stat mine;
    if (::fstat(fd_, &mine) != 0) Fail(errno);
    if ((mine.st_uid != st.st_uid || mine.st_gid != st.st_gid) && ::fchown(fd_, st.st_uid, st.st_gid) != 0) {
      const int error = errno;
      ::close(fd_);
      fd_ = -1;
      ::unlink(temp_.c_str());
      RaiseCreateError(target_,
                       u"Its owner and group cannot be kept (" + SysErrorMessage(static_cast<DWORD>(error)) +
                           u"), so it is left as it was.",
                       error);
    }
    if (::fchmod(fd_, st.st_mode & 07777) != 0) Fail(errno);
  }
  if (::fsync(fd_) != 0) Fail(errno);
  if (::close(fd_) != 0) {
    const int error = errno;
    fd_ = -1;
    ::unlink(temp_.c_str());
    Fail(error);
  }
  fd_ = -1;
  if (::rename(temp_.c_str(), target_.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp_.c_str());
    Fail(error);
  }
}

}  // namespace pw
