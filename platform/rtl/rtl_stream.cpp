#include "platform/rtl/rtl_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/rtl/strings.h"

namespace pw {

// ---- TStream

std::int64_t TStream::GetSize() {
  const std::int64_t position = Seek(0, soCurrent);
  const std::int64_t size = Seek(0, soEnd);
  Seek(position, soBeginning);
  return size;
}

void TStream::SetSize(std::int64_t) {}

void TStream::ReadBuffer(void* buffer, std::int32_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError(u"Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int32_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError(u"Stream write error");
}

std::int64_t SeekTargetOf(TStream& stream, std::int64_t position, std::int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case soBeginning: return offset;
    case soCurrent: return position + offset;
    case soEnd: return stream.GetSize() + offset;
    default: return position;
  }
}

// ---- TMemoryStream

namespace {

[[noreturn]] void RaiseNegativePosition(std::int64_t position) {
  throw EStreamError(u"Invalid stream position " + IntToWide(position) + u".");
}

std::size_t ToSize(std::int64_t v) { return static_cast<std::size_t>(v); }

}  // namespace

void TMemoryStream::SetSize(std::int64_t newSize) {
  if (newSize < 0) throw EStreamError(u"Invalid stream size " + IntToWide(newSize) + u".");
  data_.resize(ToSize(newSize), 0);
  if (position_ > newSize) position_ = newSize;
}

std::int32_t TMemoryStream::Read(void* buffer, std::int32_t count) {
  const std::int64_t size = GetSize();
  if (count <= 0 || position_ >= size) return 0;
  const std::int32_t n = static_cast<std::int32_t>(std::min<std::int64_t>(count, size - position_));
  std::memcpy(buffer, data_.data() + position_, ToSize(n));
  position_ += n;
  return n;
}

std::int32_t TMemoryStream::Write(const void* buffer, std::int32_t count) {
  if (count <= 0) return 0;
  const std::int64_t end = position_ + count;
  if (end > GetSize()) data_.resize(ToSize(end), 0);
  std::memcpy(data_.data() + position_, buffer, ToSize(count));
  position_ = end;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const std::int64_t target = SeekTargetOf(*this, position_, offset, origin);
  if (target < 0) RaiseNegativePosition(target);
  position_ = target;
  return position_;
}

void TMemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  position_ = 0;
}

// ---- TFileStream

namespace {

WideString Quoted(const WideString& fileName) { return u"\"" + fileName + u"\""; }

// "<what> "<file>". <reason>" as an exception of kind E.
template <class E>
[[noreturn]] void Fail(const WideString& fileName, const char16_t* what, int code) {
  throw E(WideString(what) + u" " + Quoted(fileName) + u". " + SysErrorMessage(static_cast<DWORD>(code)));
}

}  // namespace

TFileStream::TFileStream(WideStringView fileName, std::uint16_t mode) : fileName_(fileName) {
  const bool create = (mode & fmCreate) == fmCreate;
  auto fail = [&](int code) -> void {
    const WideString reason = u". " + SysErrorMessage(static_cast<DWORD>(code));
    if (create) throw EFCreateError(u"Cannot create file " + Quoted(fileName_) + reason, static_cast<DWORD>(code));
    throw EFOpenError(u"Cannot open file " + Quoted(fileName_) + reason, static_cast<DWORD>(code));
  };

  const std::string path = WideToUtf8(fileName_);
  if (path.find('\0') != std::string::npos) fail(EINVAL);

  int flags = O_CLOEXEC;
  if (create) {
    flags |= O_RDWR | O_CREAT | O_TRUNC;
  } else {
    switch (mode & 3) {
      case fmOpenRead: flags |= O_RDONLY; break;
      case fmOpenWrite: flags |= O_WRONLY; break;
      case fmOpenReadWrite: flags |= O_RDWR; break;
      default: fail(EINVAL);
    }
  }
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) fail(errno);

  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int code = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    fail(code);
  }
  fd_ = fd;
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

std::int64_t TFileStream::GetSize() {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) Fail<EStreamError>(fileName_, u"Cannot read the size of file", errno);
  return static_cast<std::int64_t>(st.st_size);
}

void TFileStream::SetSize(std::int64_t newSize) {
  if (newSize < 0) Fail<EStreamError>(fileName_, u"Cannot set the size of file", EINVAL);
  int rc;
  do {
    rc = ::ftruncate(fd_, static_cast<off_t>(newSize));
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) Fail<EStreamError>(fileName_, u"Cannot set the size of file", errno);
  Seek(newSize, soBeginning);
}

std::int32_t TFileStream::Read(void* buffer, std::int32_t count) {
  std::int32_t done = 0;
  auto* out = static_cast<char*>(buffer);
  while (done < count) {
    const ssize_t n = ::read(fd_, out + done, static_cast<std::size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail<EReadError>(fileName_, u"Cannot read from file", errno);
    }
    if (n == 0) break;
    done += static_cast<std::int32_t>(n);
  }
  return done;
}

std::int32_t TFileStream::Write(const void* buffer, std::int32_t count) {
  std::int32_t done = 0;
  const auto* in = static_cast<const char*>(buffer);
  while (done < count) {
    const ssize_t n = ::write(fd_, in + done, static_cast<std::size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail<EWriteError>(fileName_, u"Cannot write to file", errno);
    }
    if (n == 0) Fail<EWriteError>(fileName_, u"Cannot write to file", EIO);
    done += static_cast<std::int32_t>(n);
  }
  return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  int whence;
  switch (origin) {
    case soBeginning: whence = SEEK_SET; break;
    case soCurrent: whence = SEEK_CUR; break;
    case soEnd: whence = SEEK_END; break;
    default:
      whence = SEEK_CUR;
      offset = 0;
      break;
  }
  const off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (r < 0) Fail<EStreamError>(fileName_, u"Cannot set the position in file", errno);
  return static_cast<std::int64_t>(r);
}

}  // namespace pw
