// CRC-32 of file and stream data (zlib's crc32 underneath).
#pragma once

#include <cstdint>

namespace pw {

// CRC-32 of ISO 3309 / IEEE 802.3 (reflected, polynomial 0xEDB88320). Crc32Init starts the
// value at 0xFFFFFFFF; no final inversion is applied: the caller does what its format needs.
inline void Crc32Init(std::uint32_t& crc) { crc = 0xFFFFFFFFu; }
// The CRC after `length` more bytes; a length below 1 leaves it unchanged.
std::uint32_t Crc32Update(std::uint32_t crc, const void* buffer, std::int32_t length);

}  // namespace pw
