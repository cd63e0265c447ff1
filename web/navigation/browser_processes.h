// Which processes make up a browser: the parent-chain test that decides whether a page's
// process belongs to a browser process, and the frame process named on the command line of an
// Internet Explorer tab process.
//
// - BelongsToBrowser: False for process id 0. Otherwise, from the id upwards through the
//   parents (ParentOf; 0 for a process it does not know): True as soon as an id equals the
//   browser's process id or the host's current browser (-2: none); False at 0, and False when
//   an id comes round a second time (after ids were reused a parent chain can loop).
// - FrameProcessIdOf: the number after "SCODEF:" in a command line, read up to the next blank;
//   nothing when the text has no such number (no digits, other characters, or beyond the
//   range of a process id).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/com/types.h"

namespace pw::web {

inline constexpr std::int32_t kNoCurrentBrowser = -2;

using ParentProcessLookup = std::function<std::int32_t(std::int32_t processId)>;

bool BelongsToBrowser(std::int32_t processId, std::int32_t browserProcessId, std::int32_t currentBrowserProcessId,
                      const ParentProcessLookup& parentOf);

std::optional<std::int32_t> FrameProcessIdOf(WideStringView commandLine);

}  // namespace pw::web
