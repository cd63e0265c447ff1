#include "core/options/safe_file.h"

#include <fcntl.h>
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

std::string FollowLinks(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved)) return resolved;
  return path;  // a dangling link: it is replaced itself
}

}  // namespace

TcvSafeFileWriter::TcvSafeFileWriter(std::string target) : target_(FollowLinks(target)) {
  const auto slash = target_.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    temp_ = folder + "." + base + "." + suffix + ".tmp";
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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
  if (::stat(target_.c_str(), &st) == 0 && ::fchmod(fd_, st.st_mode & 07777) != 0) Fail(errno);
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
