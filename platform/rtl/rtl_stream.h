// The runtime's stream classes: TStream (the abstract byte stream with a position), the
// in-memory TMemoryStream and TFileStream over a POSIX file descriptor.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/rtl.h"
#include "platform/com/types.h"

namespace pw {

// Origins of TStream::Seek. Other values are passed through as they are; streams that do not
// know them leave their position unchanged.
enum TSeekOrigin : std::int32_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};

// A file that could not be created or opened; the message names the file and the reason.
class EFileStreamError : public EStreamError {
 public:
  EFileStreamError(WideString message, DWORD code) : EStreamError(std::move(message)), code_(code) {}
  // The errno value of the failed call.
  DWORD ErrorCode() const noexcept { return code_; }

 private:
  DWORD code_;
};
class EFCreateError : public EFileStreamError {
 public:
  using EFileStreamError::EFileStreamError;
};
class EFOpenError : public EFileStreamError {
 public:
  using EFileStreamError::EFileStreamError;
};

// ReadBuffer and WriteBuffer moved fewer bytes than asked, or the system refused a transfer.
class EReadError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

class TStream : public TObject {
 public:
  // The size in bytes. The default asks Seek: the end's position, then the old position back.
  virtual std::int64_t GetSize();
  // Changes the size; the default does nothing.
  virtual void SetSize(std::int64_t newSize);
  // Move up to `count` bytes and answer how many were moved (0 at the end of the data).
  virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
  virtual std::int32_t Write(const void* buffer, std::int32_t count) = 0;
  // Sets the position relative to `origin` and answers the new position.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::int64_t Size() { return GetSize(); }
  std::int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(std::int64_t position) { Seek(position, soBeginning); }

  // Transfer exactly `count` bytes or raise EReadError / EWriteError ("Stream read error",
  // "Stream write error").
  void ReadBuffer(void* buffer, std::int32_t count);
  void WriteBuffer(const void* buffer, std::int32_t count);
};

// The position that Seek(offset, origin) asks of `stream` when it stands at `position`:
// counted from the beginning, from `position`, or from the end (the stream's GetSize, asked
// only then); an unknown origin keeps `position`.
std::int64_t SeekTargetOf(TStream& stream, std::int64_t position, std::int64_t offset, TSeekOrigin origin);

// Bytes in memory. Positions past the end are allowed; writing there fills the gap with zeros.
class TMemoryStream : public TStream {
 public:
  std::int64_t GetSize() override { return static_cast<std::int64_t>(data_.size()); }
  // Growing fills with zeros; the position moves to the new end only when it lay beyond it.
  void SetSize(std::int64_t newSize) override;
  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;
  // A position before the start raises EStreamError.
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

  std::uint8_t* Memory() { return data_.data(); }
  const std::uint8_t* Memory() const { return data_.data(); }
  void Clear();

 private:
  std::vector<std::uint8_t> data_;
  std::int64_t position_ = 0;
};

// Open modes of TFileStream: fmCreate, or one access mode combined with one share mode. POSIX
// files have no share modes: the share bits are accepted and have no effect.
inline constexpr std::uint16_t fmCreate = 0xFF00;  // create anew or truncate, read and write
inline constexpr std::uint16_t fmOpenRead = 0x0000;
inline constexpr std::uint16_t fmOpenWrite = 0x0001;
inline constexpr std::uint16_t fmOpenReadWrite = 0x0002;
inline constexpr std::uint16_t fmShareCompat = 0x0000;
inline constexpr std::uint16_t fmShareExclusive = 0x0010;
inline constexpr std::uint16_t fmShareDenyWrite = 0x0020;
inline constexpr std::uint16_t fmShareDenyRead = 0x0030;
inline constexpr std::uint16_t fmShareDenyNone = 0x0040;

// A file opened by name (UTF-16, UTF-8 at the system boundary). The constructor raises
// EFCreateError (fmCreate) or EFOpenError naming the file and the system's reason; a folder
// cannot be opened. Failed reads, writes, seeks and size changes raise EStreamError kinds
// naming the file. The descriptor is closed when the stream is freed.
class TFileStream : public TStream {
 public:
  TFileStream(WideStringView fileName, std::uint16_t mode);
  ~TFileStream() override;

  std::int64_t GetSize() override;
  // Sets the size and, as the runtime's handle streams do, moves the position to the new end.
  void SetSize(std::int64_t newSize) override;
  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

  const WideString& FileName() const { return fileName_; }
  int Handle() const { return fd_; }

 private:
  WideString fileName_;
  int fd_ = -1;
};

}  // namespace pw
