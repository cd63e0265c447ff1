#include "core/files/crc32.h"

#include <zlib.h>

namespace pw {

std::uint32_t Crc32Update(std::uint32_t crc, const void* buffer, std::int32_t length) {
  if (length < 1) return crc;
  // zlib inverts before and after; this value carries no inversion, so undo both.
  const auto* p = static_cast<const Bytef*>(buffer);
  return ~static_cast<std::uint32_t>(::crc32(~crc, p, static_cast<uInt>(length)));
}

}  // namespace pw
