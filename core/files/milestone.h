// The version of an installed browser core as its "platform.ini" states it: the "Milestone" key
// of the "[Build]" section ("153.8.0esr" gives 153.8.0.0). Up to four dot-separated numbers are
// read; the first ends at the first character that is no digit, and a number past 65535 or a
// missing first number refuses the line. The file is read as it is (CR LF or LF, a UTF-8 mark,
// blanks around the key and value); anything else in it is ignored.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/automation/dispatch_helpers.h"

namespace pw {

// The installed firefox-esr's description of its core (read only when present).
inline constexpr char kInstalledFirefoxPlatformIni[] = "/usr/lib/firefox-esr/platform.ini";

// The milestone of an ini text; nullopt when it has none that reads.
std::optional<FileVersion> ParseMilestone(std::string_view iniText);
// The milestone of the file; nullopt when the file is missing, unreadable or has none.
std::optional<FileVersion> ReadMilestone(const std::string& path = kInstalledFirefoxPlatformIni);

}  // namespace pw
