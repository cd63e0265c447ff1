// Binary option values. A value of up to 16384 bytes lives in memory; a longer one lives in a
// temporary file of its own ("cv" prefix in the temporary directory), created when the value
// becomes long and deleted when it becomes short again or the stub is freed.
//
// A value set with compression is handed to the storage packed: a 16-byte header ("cvbin",
// 3 bytes of padding, the 32-bit value 1, the signed 32-bit unpacked length, little-endian)
// followed by a zlib stream at level 1. Reading recognises the header and keeps the block as it
// is stored; it is unpacked when the value is first asked for (its size, its bytes), so a table
// whose other properties change saves such a value again byte for byte without ever unpacking
// it. A block whose header claims more than kMaxUnpackedBinarySize bytes is refused unread
// when the value is asked for; the stored block stays as it was.
#pragma once

#include <cstdint>
#include <vector>

#include "core/options/options_stubs.h"

namespace pw {

inline constexpr std::uint32_t kBinaryMemoryLimit = 16384;
// The longest value a packed block may unpack to. Packing shrinks repetitive data up to about
// a thousand times, so a small file could otherwise claim gigabytes of temporary files; values
// that projects keep (settings, captured images, recorded files) stay well below this.
inline constexpr std::uint64_t kMaxUnpackedBinarySize = 64u << 20;
inline constexpr std::size_t kPackedHeaderSize = 16;

// True when a stored block would be read as a packed value: longer than the header and
// beginning with the magic.
bool LooksPacked(const std::uint8_t* data, std::size_t size);
// The packed block of a value.
std::vector<std::uint8_t> PackBinaryValue(const void* data, std::size_t size);

class TcvBinaryPropertyStub final : public TcvPropertyStub {
 public:
  static constexpr TcvPropertyType kType = ptBinary;
  // A present stub with an empty value; with a cookie and a stored size above 0 it reads the
  // stored value (a packed one is kept packed until it is asked for). `name` serves error
  // messages.
  TcvBinaryPropertyStub(TcvCookie cookie, IcvOptionsReader* reader, std::int32_t storedSize,
                        WideStringView name = {});
  ~TcvBinaryPropertyStub() override;
  TcvBinaryPropertyStub(const TcvBinaryPropertyStub&) = delete;
  TcvBinaryPropertyStub& operator=(const TcvBinaryPropertyStub&) = delete;

  // Replaces the value; raises "Not enough disk space in the temporary directory." when a
  // long value cannot be written to its temporary file.
  void SetValue(const void* data, std::uint32_t size, bool compressed);
  // The accessors of the value unpack a stored packed block first, raising when it is damaged
  // or longer than the cap (the block is kept, and the next call raises again).
  std::uint32_t GetSize();
  // Copies min(count, size) bytes and sets count to that number; a temporary file that
  // cannot be read gives 0 bytes.
  void GetData(void* buffer, std::int32_t& count);
  // The whole value; raises when a long value's temporary file cannot be read.
  std::vector<std::uint8_t> GetValue();
  bool Compressed() const { return compressed_; }
  // True while the value is the stored packed block, not unpacked yet.
  bool StillPacked() const { return !packed_.empty(); }
  // The open temporary file of a long value, -1 when the value is in memory. The file has no
  // name: it is unlinked from its creation on, so nothing is left behind however the process
  // ends.
  int TempFileDescriptor() const { return tempFd_; }

  bool IsModified() const override { return TcvPropertyStub::IsModified() || modified_; }
  void SaveTo(IcvOptionsReader* reader) override;
  TcvPropertyType GetType() const override { return ptBinary; }

 private:
  void Load(IcvOptionsReader* reader, std::int32_t storedSize);
  void EnsureUnpacked();
  void Unpack(const std::uint8_t* block, std::size_t size);
  void Snapshot();
  void DropTempFile();

  WideString name_;
  // The stored packed block while it is not unpacked (then data_ is empty and size_ 0).
  std::vector<std::uint8_t> packed_;
  std::vector<std::uint8_t> data_;
  std::uint32_t size_ = 0;
  std::vector<std::uint8_t> storedCopy_;
  std::uint32_t storedSize_ = 0;
  int tempFd_ = -1;
  bool compressed_ = false;
  bool modified_ = false;
};

}  // namespace pw
