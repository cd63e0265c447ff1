#include "core/options/options_binary.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "core/files/file_utils.h"
#include "platform/automation/out_params.h"
#include "platform/rtl/rtl_stream.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

constexpr char kMagic[5] = {'c', 'v', 'b', 'i', 'n'};
// deflate never packs better than 1032:1, so a header that claims more lies.
constexpr std::uint64_t kMaxInflateRatio = 1032;

[[noreturn]] void RaiseNoTempSpace() { throw EcvOptionsException(kOptNoTempSpace); }

[[noreturn]] void RaiseDamaged(WideStringView name, const char* reason) {
  throw EcvOptionsException(u"The packed value of the '" + WideString(name) + u"' Binary property is damaged: " +
                            AsciiToWide(reason) + u".");
}

// A new, empty temporary file in the temporary folder that has no name from the start
// (O_TMPFILE); where the file system cannot make one, a new "cv..." file unlinked at once. A
// failure names the folder and the system's reason.
int CreateTempFile() {
  const WideString folder = GetTempFolder(u"");
  try {
    const std::string path = WideToUtf8(folder);
    int fd = ::open(path.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    const std::string name = WideToUtf8(CreateUniqueTempFile(u"cv", folder));
    fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC);
    ::unlink(name.c_str());
    if (fd < 0) RaiseNoTempSpace();
    return fd;
  } catch (const EcvOptionsException&) {
    throw;
  } catch (const Exception& e) {
    throw EcvOptionsException(u"Cannot create a temporary file for a Binary value in the folder " + folder + u": " +
                              e.Message());
  }
}

// Writes all n bytes at an offset; false when they cannot be written.
bool WriteAt(int fd, std::uint64_t at, const std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    const ssize_t done = ::pwrite(fd, p, n, static_cast<off_t>(at));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    p += done, at += static_cast<std::uint64_t>(done), n -= static_cast<std::size_t>(done);
  }
  return true;
}

// Reads the first n bytes of a file; false when they cannot be read.
bool ReadStart(int fd, std::uint8_t* p, std::size_t n) {
  std::uint64_t at = 0;
  while (n > 0) {
    const ssize_t done = ::pread(fd, p, n, static_cast<off_t>(at));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    p += done, at += static_cast<std::uint64_t>(done), n -= static_cast<std::size_t>(done);
  }
  return true;
}

std::int32_t ReadLE32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                                   static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
}

void WriteLE32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Inflates a zlib stream that must give exactly `expected` bytes, handing them to `sink` in
// pieces. Returns an error text, or nil on success.
const char* Inflate(const std::uint8_t* in, std::size_t inSize, std::uint64_t expected,
                    const std::function<void(const std::uint8_t*, std::size_t)>& sink) {
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return "the decompressor cannot start";
  std::vector<std::uint8_t> chunk(std::min<std::uint64_t>(expected, 65536) + 1);
  zs.next_in = const_cast<Bytef*>(in);
  zs.avail_in = static_cast<uInt>(inSize);
  std::uint64_t total = 0;
  const char* error = nullptr;
  for (;;) {
    zs.next_out = chunk.data();
    zs.avail_out = static_cast<uInt>(chunk.size());
    int rc = inflate(&zs, Z_NO_FLUSH);
    std::size_t produced = chunk.size() - zs.avail_out;
    total += produced;
    if (total > expected) {
      error = "it unpacks to more bytes than its header says";
      break;
    }
    if (produced) {
      try {
        sink(chunk.data(), produced);
      } catch (...) {
        inflateEnd(&zs);
        throw;
      }
    }
    if (rc == Z_STREAM_END) {
      if (total != expected) error = "it unpacks to fewer bytes than its header says";
      break;
    }
    if (rc == Z_BUF_ERROR && zs.avail_in == 0) {
      error = "the compressed data breaks off";
      break;
    }
    if (rc != Z_OK) {
      error = "the compressed data is not valid";
      break;
    }
  }
  inflateEnd(&zs);
  return error;
}

}  // namespace

bool LooksPacked(const std::uint8_t* data, std::size_t size) {
  return size > kPackedHeaderSize && std::memcmp(data, kMagic, sizeof kMagic) == 0;
}

std::vector<std::uint8_t> PackBinaryValue(const void* data, std::size_t size) {
  uLong bound = compressBound(static_cast<uLong>(size));
  std::vector<std::uint8_t> block(kPackedHeaderSize + bound);
  uLongf packed = bound;
  const Bytef* src = size ? static_cast<const Bytef*>(data) : reinterpret_cast<const Bytef*>("");
  if (compress2(block.data() + kPackedHeaderSize, &packed, src, static_cast<uLong>(size), 1) != Z_OK)
    throw EOutOfMemory();
  block.resize(kPackedHeaderSize + packed);
  std::memcpy(block.data(), kMagic, sizeof kMagic);
  WriteLE32(block.data() + 8, 1);
  WriteLE32(block.data() + 12, static_cast<std::uint32_t>(size));
  return block;
}

TcvBinaryPropertyStub::TcvBinaryPropertyStub(TcvCookie cookie, IcvOptionsReader* reader, std::int32_t storedSize,
                                             WideStringView name)
    : TcvPropertyStub(cookie), name_(name) {
  try {
    if (cookie != 0 && storedSize > 0 && reader) Load(reader, storedSize);
    Snapshot();
  } catch (...) {
    DropTempFile();
    throw;
  }
}

TcvBinaryPropertyStub::~TcvBinaryPropertyStub() { DropTempFile(); }

void TcvBinaryPropertyStub::Load(IcvOptionsReader* reader, std::int32_t storedSize) {
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(storedSize));
  std::int32_t n = storedSize;
  reader->ReadBinary(Cookie, buffer.data(), n);
  if (n < 0 || n > storedSize) n = 0;
  buffer.resize(static_cast<std::size_t>(n));
  if (LooksPacked(buffer.data(), buffer.size())) {
    packed_ = std::move(buffer);
    compressed_ = true;
  } else {
    SetValue(buffer.data(), static_cast<std::uint32_t>(n), false);
  }
}

void TcvBinaryPropertyStub::EnsureUnpacked() {
  if (packed_.empty()) return;
  std::vector<std::uint8_t> block = std::move(packed_);
  packed_.clear();
  try {
    Unpack(block.data(), block.size());
  } catch (...) {
    // Nothing of the value stays; the stored block is kept for the save and the next try.
    DropTempFile();
    std::vector<std::uint8_t>().swap(data_);
    size_ = 0;
    packed_ = std::move(block);
    compressed_ = true;
    modified_ = false;
    throw;
  }
  // Unpacked whole: the value read is the stored one.
  Snapshot();
}

void TcvBinaryPropertyStub::Unpack(const std::uint8_t* block, std::size_t size) {
  const WideStringView name = name_;
  const std::int32_t length = ReadLE32(block + 12);
  if (length <= 0) {
    SetValue(nullptr, 0, true);
    return;
  }
  const std::size_t packed = size - kPackedHeaderSize;
  const auto expected = static_cast<std::uint64_t>(length);
  // Checked before anything of that length exists.
  if (expected > packed * kMaxInflateRatio) RaiseDamaged(name, "its header claims more bytes than the data can hold");
  if (expected > kMaxUnpackedBinarySize)
    throw EcvOptionsException(u"The packed value of the '" + WideString(name) + u"' Binary property is too long: it " +
                              u"unpacks to " + IntToWide(length) + u" bytes, more than the limit of " +
                              IntToWide(static_cast<long long>(kMaxUnpackedBinarySize)) + u" bytes.");
  const std::uint8_t* stream = block + kPackedHeaderSize;
  if (expected <= kBinaryMemoryLimit) {
    std::vector<std::uint8_t> value;
    value.reserve(static_cast<std::size_t>(expected));
    if (const char* error = Inflate(stream, packed, expected, [&](const std::uint8_t* p, std::size_t n) {
          value.insert(value.end(), p, p + n);
        }))
      RaiseDamaged(name, error);
    SetValue(value.data(), static_cast<std::uint32_t>(value.size()), true);
    return;
  }
  // A long value goes straight into its temporary file.
  SetValue(nullptr, 0, true);
  tempFd_ = CreateTempFile();
  std::uint64_t written = 0;
  bool full = false;
  const char* error = Inflate(stream, packed, expected, [&](const std::uint8_t* p, std::size_t n) {
    if (!full && !WriteAt(tempFd_, written, p, n)) full = true;
    written += n;
  });
  if (full) RaiseNoTempSpace();
  if (error) RaiseDamaged(name, error);
  size_ = static_cast<std::uint32_t>(expected);
  compressed_ = true;
  modified_ = true;
}

void TcvBinaryPropertyStub::Snapshot() {
  storedCopy_.clear();
  storedSize_ = size_;
  if (size_ >= 1 && size_ <= kBinaryMemoryLimit) storedCopy_ = data_;
  modified_ = false;
}

void TcvBinaryPropertyStub::DropTempFile() {
  if (tempFd_ < 0) return;
  ::close(tempFd_);
  tempFd_ = -1;
}

void TcvBinaryPropertyStub::SetValue(const void* data, std::uint32_t size, bool compressed) {
  if (size > 0) CheckOut(data);
  if (!packed_.empty()) {
    // The stored value is not known unpacked: any new value counts as a change.
    std::vector<std::uint8_t>().swap(packed_);
    storedSize_ = 0xFFFFFFFFu;
    storedCopy_.clear();
  }
  compressed_ = compressed;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  if (size > kBinaryMemoryLimit) {
    std::vector<std::uint8_t>().swap(data_);
    if (tempFd_ < 0) tempFd_ = CreateTempFile();
    size_ = 0;
    // The reason is not passed on: a full temporary folder is what fails here.
    if (::ftruncate(tempFd_, 0) != 0 || !WriteAt(tempFd_, 0, bytes, size)) RaiseNoTempSpace();
    modified_ = true;
  } else {
    DropTempFile();
    if (size > 0) data_.assign(bytes, bytes + size);
    else std::vector<std::uint8_t>().swap(data_);
    modified_ = !(storedSize_ == size && (size == 0 || std::memcmp(bytes, storedCopy_.data(), size) == 0));
  }
  size_ = size;
}

std::uint32_t TcvBinaryPropertyStub::GetSize() {
  EnsureUnpacked();
  return size_;
}

void TcvBinaryPropertyStub::GetData(void* buffer, std::int32_t& count) {
  EnsureUnpacked();
  if (count < 0) count = 0;
  count = static_cast<std::int32_t>(std::min<std::uint32_t>(static_cast<std::uint32_t>(count), size_));
  if (count == 0) return;
  if (tempFd_ < 0) {
    std::memcpy(buffer, data_.data(), static_cast<std::size_t>(count));
    return;
  }
  std::vector<std::uint8_t> scratch(static_cast<std::size_t>(count));
  if (!ReadStart(tempFd_, scratch.data(), scratch.size())) {
    count = 0;
    return;
  }
  std::memcpy(buffer, scratch.data(), scratch.size());
}

std::vector<std::uint8_t> TcvBinaryPropertyStub::GetValue() {
  EnsureUnpacked();
  if (tempFd_ < 0) return data_;
  std::vector<std::uint8_t> value(size_);
  if (!ReadStart(tempFd_, value.data(), value.size()))
    throw EcvOptionsException(u"Cannot read the temporary file of a Binary value.");
  return value;
}

void TcvBinaryPropertyStub::SaveTo(IcvOptionsReader* reader) {
  if (!packed_.empty()) {
    // A value nobody asked for goes back as the block it was read as.
    reader->SetBinary(Cookie, packed_.data(), static_cast<std::int32_t>(packed_.size()));
    return;
  }
  std::vector<std::uint8_t> value = GetValue();
  // An unpacked value that would read as a packed block is stored packed, so that it reads
  // back as the bytes it is.
  if (compressed_ || LooksPacked(value.data(), value.size())) {
    std::vector<std::uint8_t> block = PackBinaryValue(value.data(), value.size());
    reader->SetBinary(Cookie, block.data(), static_cast<std::int32_t>(block.size()));
  } else {
    reader->SetBinary(Cookie, value.data(), static_cast<std::int32_t>(value.size()));
  }
  Snapshot();
}

}  // namespace pw
