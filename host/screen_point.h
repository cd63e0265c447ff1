// A screen point as the command line gives it: "X,Y", two decimal integers (an optional "-",
// no blanks, no "+", no leading zeros beyond a lone "0") inside the 32-bit range.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pw::host {

struct ScreenPoint {
  std::int32_t x = 0, y = 0;
  bool operator==(const ScreenPoint&) const = default;
};

std::optional<ScreenPoint> ParseScreenPoint(std::string_view text);
std::string FormatScreenPoint(const ScreenPoint& point);

}  // namespace pw::host
