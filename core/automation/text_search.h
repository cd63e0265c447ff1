// Searching wide strings: the position of a substring from an offset, and matching a text
// against a mask with "*" and "?". Code units compare exactly.
#pragma once

#include <cstdint>

#include "platform/com/types.h"

namespace pw {

// The 1-based position of the first occurrence of `sub` in `s` at `offset` (1-based) or later;
// 0 when `sub` is empty or absent or `offset` is below 1. Code units compare exactly.
std::int32_t WidePosEx(WideStringView sub, WideStringView s, std::int32_t offset = 1);

// True when the whole of `text` matches `mask`, comparing code units exactly: "*" matches any
// run of characters (also none), "**" one literal "*", "?" any one character and also the end
// of the text (so a mask ending in "?" matches a text one character shorter); any other
// character matches itself.
bool WideMatchesMask(WideStringView mask, WideStringView text);

}  // namespace pw
