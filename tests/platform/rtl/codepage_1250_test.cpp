// Windows-1250 beside the system code page (Windows-1252): every byte reads and writes back,
// the letters that differ between the two, and units without a form becoming 0xFF.
#include <gtest/gtest.h>

#include "platform/rtl/codepage.h"

namespace pw {
namespace {

TEST(CodePage1250, EveryByteRoundTrips) {
  for (int b = 0; b < 256; ++b) {
    const char16_t c = CodePage1250CharToWide(static_cast<unsigned char>(b));
    EXPECT_EQ(WideCharToCodePage1250(c), b) << b;
  }
}

TEST(CodePage1250, LettersAndUnitsWithoutAForm) {
  const std::pair<char16_t, unsigned char> cases[] = {
      {u'A', 0x41},
      {u'\u20AC', 0x80},
      {u'\u0160', 0x8A},
      {u'\u0161', 0x9A},
      {u'\u0104', 0xA5},
      {u'\u0141', 0xA3},
      {u'\u010D', 0xE8},
      {u'\u0151', 0xF5},
      {u'\u02D9', 0xFF},
      {u'\u00E9', 0xE9},
      // Without a form: Latin letters only 1252 has, CJK, each half of a surrogate pair.
      {u'\u00C0', 0xFF},
      {u'\u0100', 0xFF},
      {u'\u4E2D', 0xFF},
      {u'\xD83D', 0xFF},
      {u'\xDE00', 0xFF},
  };
  for (const auto& [unit, byte] : cases) {
    EXPECT_EQ(WideCharToCodePage1250(unit), byte) << static_cast<int>(unit);
    EXPECT_EQ(CodePage1250Table()[unit], byte) << static_cast<int>(unit);
  }
  EXPECT_EQ(WideToCodePage1250(u"\u0160a\u4E2D"),
            "\x8A"
            "a\xFF");
  // The same byte is another letter in the system code page.
  EXPECT_EQ(SystemCodePageCharToWide(0x8A), u'\u0160');
  EXPECT_EQ(SystemCodePageCharToWide(0xE8), u'\u00E8');
  EXPECT_EQ(CodePage1250CharToWide(0xE8), u'\u010D');
}

TEST(CodePage1250, TheTableAgreesWithTheFunction) {
  const unsigned char* table = CodePage1250Table();
  for (std::uint32_t c = 0; c < 0x10000; ++c)
    ASSERT_EQ(table[c], WideCharToCodePage1250(static_cast<char16_t>(c))) << c;
}

}  // namespace
}  // namespace pw
