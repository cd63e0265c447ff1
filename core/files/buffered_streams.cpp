#include "core/files/buffered_streams.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/rtl/strings.h"

namespace pw {

namespace {

constexpr std::int64_t kMaxPosition = std::numeric_limits<std::int32_t>::max();

// A position or size as the 32-bit value these streams keep.
std::int32_t Checked32(std::int64_t value, const char16_t* what) {
  if (value < 0) throw EStreamError(u"Invalid stream " + WideString(what) + u" " + IntToWide(value) + u".");
  if (value > kMaxPosition)
    throw EStreamError(u"A buffered stream cannot go beyond 2 GiB: the " + WideString(what) + u" would be " +
                       IntToWide(value) + u" bytes.");
  return static_cast<std::int32_t>(value);
}

std::size_t Bytes(std::int64_t n) { return static_cast<std::size_t>(n); }

}  // namespace

// ---- TBufferedStream

TBufferedStream::TBufferedStream(TStream& stream, std::int32_t bufSize) : stream_(&stream), bufSize_(bufSize) {
  if (bufSize <= 0) throw Exception(u"BufSize <= 0");
  bufStart_ = Checked32(stream.GetSize(), u"size");
  buffer_.assign(Bytes(bufSize), 0);
}

std::int32_t TBufferedStream::Read(void*, std::int32_t) { return -1; }
std::int32_t TBufferedStream::Write(const void*, std::int32_t) { return -1; }

std::int32_t TBufferedStream::SeekTarget(std::int64_t offset, TSeekOrigin origin) {
  return Checked32(SeekTargetOf(*this, position_, offset, origin), u"position");
}

// ---- TBufferedOutputStream

TBufferedOutputStream::TBufferedOutputStream(TStream& stream, std::int32_t bufSize) : TBufferedStream(stream, bufSize) {
  position_ = bufStart_;
}

TBufferedOutputStream::~TBufferedOutputStream() {
  if (bufPos_ == 0) return;
  try {
    Flush();
  } catch (...) {
    // Nothing can be reported from a destructor; callers that must know flush first.
  }
}

void TBufferedOutputStream::Flush() {
  if (bufPos_ == 0) return;
  stream_->Seek(bufStart_, soBeginning);
  stream_->WriteBuffer(buffer_.data(), bufPos_);
  bufStart_ += bufPos_;
  bufPos_ = 0;
  if (position_ != bufStart_) stream_->Seek(std::min(position_, bufStart_), soBeginning);
}

std::int64_t TBufferedOutputStream::GetSize() { return static_cast<std::int64_t>(bufStart_) + bufPos_; }

void TBufferedOutputStream::SetSize(std::int64_t newSize) {
  const std::int32_t size = Checked32(newSize, u"size");
  const std::int64_t growth = static_cast<std::int64_t>(size) - bufStart_;
  if (growth <= 0) {
    bufPos_ = 0;
    stream_->SetSize(size);
    bufStart_ = size;
  } else if (growth <= bufSize_) {
    const auto grown = static_cast<std::int32_t>(growth);
    if (grown > bufPos_) std::memset(buffer_.data() + bufPos_, 0, Bytes(grown - bufPos_));
    bufPos_ = grown;
  } else {
    Flush();
    stream_->SetSize(size);
    bufStart_ = size;
  }
  position_ = std::min(position_, size);
}

std::int32_t TBufferedOutputStream::Read(void* buffer, std::int32_t count) {
  const std::int64_t size = GetSize();
  if (count <= 0 || position_ >= size) return 0;
  const auto wanted = static_cast<std::int32_t>(std::min<std::int64_t>(count, size - position_));
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int32_t done = 0;
  if (position_ < bufStart_) {
    const std::int32_t fromWrapped = std::min(wanted, bufStart_ - position_);
    stream_->Seek(position_, soBeginning);
    done = std::max(stream_->Read(out, fromWrapped), 0);
    if (done < fromWrapped) {
      position_ += done;
      return done;
    }
  }
  if (done < wanted) {
    const std::int32_t offset = position_ + done - bufStart_;
    std::memcpy(out + done, buffer_.data() + offset, Bytes(wanted - done));
    done = wanted;
  }
  position_ += done;
  return done;
}

std::int32_t TBufferedOutputStream::Write(const void* buffer, std::int32_t count) {
  if (count <= 0) return 0;
  Checked32(static_cast<std::int64_t>(position_) + count, u"position");
  if (position_ < bufStart_) return WriteThrough(buffer, count);
  const std::int32_t offset = position_ - bufStart_;
  if (static_cast<std::int64_t>(offset) + count > bufSize_) return WriteThrough(buffer, count);
  if (offset > bufPos_) std::memset(buffer_.data() + bufPos_, 0, Bytes(offset - bufPos_));
  std::memcpy(buffer_.data() + offset, buffer, Bytes(count));
  bufPos_ = std::max(bufPos_, offset + count);
  position_ = bufStart_ + offset + count;
  return count;
}

// Bytes that do not belong in the buffer go to their place in the wrapped stream directly,
// after everything buffered has gone before them.
std::int32_t TBufferedOutputStream::WriteThrough(const void* buffer, std::int32_t count) {
  Flush();
  stream_->Seek(position_, soBeginning);
  const std::int32_t written = stream_->Write(buffer, count);
  if (written > 0) {
    position_ += written;
    bufStart_ = std::max(bufStart_, position_);
  }
  return written;
}

std::int64_t TBufferedOutputStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  position_ = SeekTarget(offset, origin);
  return position_;
}

// ---- TBufferedInputStream

TBufferedInputStream::TBufferedInputStream(TStream& stream, std::int32_t bufSize) : TBufferedStream(stream, bufSize) {
  position_ = Checked32(stream.Position(), u"position");
}

std::int64_t TBufferedInputStream::GetSize() { return stream_->GetSize(); }

// The buffer holds the wrapped bytes from (position_ - bufPos_) on, bufEnd_ of them; the
// wrapped stream stands right after them.
std::int32_t TBufferedInputStream::Read(void* buffer, std::int32_t count) {
  if (count <= 0) return 0;
  count = static_cast<std::int32_t>(std::min<std::int64_t>(count, kMaxPosition - position_));
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int32_t done = 0;
  while (done < count) {
    if (const std::int32_t available = bufEnd_ - bufPos_; available > 0) {
      const std::int32_t take = std::min(available, count - done);
      std::memcpy(out + done, buffer_.data() + bufPos_, Bytes(take));
      bufPos_ += take;
      done += take;
      continue;
    }
    bufPos_ = bufEnd_ = 0;
    const std::int32_t rest = count - done;
    if (rest >= bufSize_) {
      // Large reads bypass the buffer.
      const std::int32_t got = stream_->Read(out + done, rest);
      if (got <= 0) break;
      done += got;
      continue;
    }
    const std::int32_t got = stream_->Read(buffer_.data(), bufSize_);
    if (got <= 0) break;
    bufEnd_ = got;
  }
  position_ += done;
  return done;
}

std::int64_t TBufferedInputStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const std::int32_t target = SeekTarget(offset, origin);
  const std::int64_t bufferStart = static_cast<std::int64_t>(position_) - bufPos_;
  if (target >= bufferStart && target <= bufferStart + bufEnd_) {
    bufPos_ = static_cast<std::int32_t>(target - bufferStart);
  } else {
    stream_->Seek(target, soBeginning);
    bufPos_ = bufEnd_ = 0;
  }
  position_ = target;
  return position_;
}

}  // namespace pw
