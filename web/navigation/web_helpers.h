// Small pure helpers of the web slices: the URL as log texts show it, the key string that
// types a URL into a browser's address bar, the text of pressed modifier keys and the centre
// of a rectangle.
//
// - ShortenUrlForLog: a URL of at most 60 characters (UTF-16 code units) as it is; a longer one
//   is cut before its first "#", ";" or "?", then to 60 characters (never between the two
//   halves of a surrogate pair), and gets "..." appended.
// - MakeAddressBarKeys: every "^", "~" and "[" of the text doubled, inside
//   "[F4]^a%s[Enter]^0" (host key-string syntax: focus the address bar, select all, type, Enter,
//   then Ctrl+0).
// - FormatShiftKeys: the modifier bits of a shortcut word (kShiftKey 0x2000, kAltKey 0x8000,
//   kControlKey 0x4000) as "no" or "the " followed by the names in the order Shift, Alt,
//   Control joined by " + ".
// - GetRectCenter: ((Left + Right) / 2, (Top + Bottom) / 2), rounded toward zero, without
//   overflow for any coordinates.
#pragma once

#include <cstdint>

#include "core/automation/rect.h"
#include "platform/com/types.h"

namespace pw::web {

inline constexpr std::uint16_t kShiftKey = 0x2000;
inline constexpr std::uint16_t kControlKey = 0x4000;
inline constexpr std::uint16_t kAltKey = 0x8000;

inline constexpr std::size_t kLogUrlLength = 60;

WideString ShortenUrlForLog(WideStringView url);
WideString MakeAddressBarKeys(WideStringView text);
WideString FormatShiftKeys(std::uint16_t shift);

struct TPoint {
  std::int32_t X = 0, Y = 0;
  bool operator==(const TPoint&) const = default;
};
TPoint GetRectCenter(const TRect& rect);

}  // namespace pw::web
