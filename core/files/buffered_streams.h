// Streams that put a fixed-size memory buffer in front of another stream:
// TBufferedOutputStream collects small writes and hands them on in large pieces,
// TBufferedInputStream reads a buffer at a time and serves small reads from memory.
//
// The wrapped stream is borrowed, never freed here. Positions and sizes are 32-bit: a wrapped
// stream larger than 2 GiB, or a position that would pass 2 GiB, raises EStreamError instead
// of wrapping around.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/rtl/rtl_stream.h"

namespace pw {

class TBufferedStream : public TStream {
 public:
  static constexpr std::int32_t kDefaultBufferSize = 20480;

  // Raises Exception("BufSize <= 0") for a buffer size of 0 or less.
  explicit TBufferedStream(TStream& stream, std::int32_t bufSize = kDefaultBufferSize);

  std::int64_t GetSize() override = 0;
  // The base class moves no bytes: -1.
  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;

  TStream& WrappedStream() { return *stream_; }
  std::int32_t BufferSize() const { return bufSize_; }

 protected:
  // The position that Seek(offset, origin) asks for: from the start, from Position or from
  // GetSize; an unknown origin keeps Position. Outside 0 .. 2 GiB raises EStreamError.
  std::int32_t SeekTarget(std::int64_t offset, TSeekOrigin origin);

  TStream* stream_;
  std::int32_t bufSize_;
  // Output: valid bytes in the buffer. Input: the read offset inside the buffer.
  std::int32_t bufPos_ = 0;
  std::vector<std::uint8_t> buffer_;
  // The logical position of this stream.
  std::int32_t position_ = 0;
  // Output: the position in the wrapped stream where the buffer's first byte belongs.
  std::int32_t bufStart_ = 0;
};

// Appends to the wrapped stream: the buffer holds the bytes that belong right after the
// wrapped stream's end. Seeking back and writing inside the buffer patches it; writing before
// it (into bytes already handed on) flushes and writes there directly; writes that do not fit
// the buffer flush and go straight through. Destruction flushes.
class TBufferedOutputStream : public TBufferedStream {
 public:
  // Starts at the wrapped stream's end.
  explicit TBufferedOutputStream(TStream& stream, std::int32_t bufSize = kDefaultBufferSize);
  // Flushes. A failure here cannot be reported: call Flush first to see it. A subclass that
  // owns the wrapped stream flushes in its own destructor before freeing it; with nothing
  // buffered, this destructor does not touch the wrapped stream.
  ~TBufferedOutputStream() override;

  // Writes every buffered byte to the wrapped stream at its place and empties the buffer; the
  // wrapped stream is left at this stream's position (at most its end). Position is kept.
  void Flush();

  // The wrapped stream's size plus the buffered bytes.
  std::int64_t GetSize() override;
  // Shrinking below the wrapped size drops the buffer and truncates the wrapped stream;
  // growing by at most the buffer size extends the buffer with zeros; growing further flushes
  // and sets the wrapped size. Position moves back to the new end when it lay beyond it.
  void SetSize(std::int64_t newSize) override;
  // Reads what is there: wrapped bytes, then buffered ones; never past GetSize.
  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;
  // Moves Position only (also past the end; a later write there leaves zeros in the gap).
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

 private:
  std::int32_t WriteThrough(const void* buffer, std::int32_t count);
};

// Reads the wrapped stream from its current position a buffer at a time. Reads return the
// bytes that are really there: fewer than asked only at the end of the data.
class TBufferedInputStream : public TBufferedStream {
 public:
  explicit TBufferedInputStream(TStream& stream, std::int32_t bufSize = kDefaultBufferSize);

  // The wrapped stream's size.
  std::int64_t GetSize() override;
  std::int32_t Read(void* buffer, std::int32_t count) override;
  // Inside the buffered bytes only moves the read offset; elsewhere the buffer is dropped and
  // the wrapped stream repositioned. Positions past the end read nothing.
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

 private:
  // Valid bytes in the buffer (bufPos_ is the read offset).
  std::int32_t bufEnd_ = 0;
};

}  // namespace pw
