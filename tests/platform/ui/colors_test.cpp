// System colours resolve through the fixed table; plain colours keep their low
// 24 bits.
#include "platform/ui/colors.h"

#include <gtest/gtest.h>

namespace pw::ui {
namespace {

TEST(Colors, ColorToRGB) {
  struct Case {
    std::uint32_t in, out;
  } cases[] = {
      {0x00123456, 0x123456}, {0xFF000008, 0x000000},  // window text
      {0xFF000005, 0xFFFFFF},                          // window
      {0xFF00000F, 0xF0F0F0},                          // button face
      {0xFF00000D, 0xFF9933},                          // highlight: red 0x33, green 0x99, blue 0xFF
      {0xFF00001F, 0x000000},                          // past the table
      {0x1FFFFFFF, 0xFFFFFF},                          // "none" keeps its low bits
  };
  for (const Case& c : cases) EXPECT_EQ(ColorToRGB(c.in), c.out) << std::hex << c.in;
  EXPECT_EQ(GetSysColor(-1), 0u);
}

}  // namespace
}  // namespace pw::ui
