#include "host/screen_point.h"

#include <charconv>

namespace pw::host {

namespace {

std::optional<std::int32_t> ParseCoordinate(std::string_view text) {
  std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  for (char c : digits)
    if (c < '0' || c > '9') return std::nullopt;
  if (digits.size() > 1 && digits[0] == '0') return std::nullopt;
  if (text.starts_with('-') && digits == "0") return std::nullopt;  // "-0" is written "0"
  std::int32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<ScreenPoint> ParseScreenPoint(std::string_view text) {
  auto comma = text.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  auto x = ParseCoordinate(text.substr(0, comma));
  auto y = ParseCoordinate(text.substr(comma + 1));
  if (!x || !y) return std::nullopt;
  return ScreenPoint{*x, *y};
}

std::string FormatScreenPoint(const ScreenPoint& point) {
  return std::to_string(point.x) + "," + std::to_string(point.y);
}

}  // namespace pw::host
