#include "core/files/crc32.h"

#include <gtest/gtest.h>

#include <string>

namespace pw {
namespace {

TEST(Crc32, KnownVectorsAndPieces) {
  auto crcOf = [](const std::string& s) {
    std::uint32_t crc;
    Crc32Init(crc);
    return ~Crc32Update(crc, s.data(), static_cast<std::int32_t>(s.size()));
  };
  EXPECT_EQ(crcOf("abc"), 0x352441C2u);
  EXPECT_EQ(crcOf("123456789"), 0xCBF43926u);
  EXPECT_EQ(crcOf("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
  EXPECT_EQ(crcOf(""), 0u);

  // No final inversion inside; updating in pieces equals one update.
  const std::string text = "The quick brown fox jumps over the lazy dog";
  std::uint32_t crc;
  Crc32Init(crc);
  EXPECT_EQ(crc, 0xFFFFFFFFu);
  EXPECT_EQ(Crc32Update(crc, "abc", 3), ~0x352441C2u);
  std::uint32_t pieces = crc;
  pieces = Crc32Update(pieces, text.data(), 10);
  pieces = Crc32Update(pieces, text.data() + 10, static_cast<std::int32_t>(text.size()) - 10);
  EXPECT_EQ(~pieces, 0x414FA339u);
  // Lengths below 1 change nothing.
  EXPECT_EQ(Crc32Update(0x12345678u, "abc", 0), 0x12345678u);
  EXPECT_EQ(Crc32Update(0x12345678u, "abc", -4), 0x12345678u);
}

}  // namespace
}  // namespace pw
