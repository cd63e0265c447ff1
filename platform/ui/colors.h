// Colours as the module stores them: red + green*256 + blue*65536 in the low 24
// bits; a value 0xFF0000NN is system colour NN (0..30), resolved through a
// fixed table of the classic desktop colours, so results do not depend on a
// desktop (an unknown NN is black). Other high bytes are ignored.
#pragma once

#include <cstdint>

namespace pw::ui {

std::uint32_t GetSysColor(std::int32_t index);
// The red + green*256 + blue*65536 value of a colour, system colours looked up.
std::uint32_t ColorToRGB(std::uint32_t color);

}  // namespace pw::ui
