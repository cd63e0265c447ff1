#include "platform/ui/colors.h"

#include <array>

namespace pw::ui {

namespace {
// System colours 0..30 as 0xRRGGBB.
constexpr std::array<std::uint32_t, 31> kSystemColors = {
    0xC8C8C8, 0x000000, 0x99B4D1, 0xBFCDDB, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000, 0x000000, 0x000000, 0xB4B4B4,
    0xF4F7FC, 0xABABAB, 0x3399FF, 0xFFFFFF, 0xF0F0F0, 0xA0A0A0, 0x6D6D6D, 0x000000, 0x434E54, 0xFFFFFF, 0x696969,
    0xE3E3E3, 0x000000, 0xFFFFE1, 0x000000, 0x0066CC, 0xB9D1EA, 0xD7E4F2, 0x3399FF, 0xF0F0F0};
}  // namespace

std::uint32_t GetSysColor(std::int32_t index) {
  if (index < 0 || index >= static_cast<std::int32_t>(kSystemColors.size())) return 0;
  const std::uint32_t rgb = kSystemColors[static_cast<std::size_t>(index)];
  return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

std::uint32_t ColorToRGB(std::uint32_t color) {
  if ((color & 0xFF000000u) != 0xFF000000u) return color & 0xFFFFFFu;
  const std::uint32_t index = color & 0xFFFFFFu;
  return index > 30 ? 0 : GetSysColor(static_cast<std::int32_t>(index));
}

}  // namespace pw::ui
