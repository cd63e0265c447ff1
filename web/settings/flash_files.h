// The texts of the Flash player's files as "FlashSettings" reads and writes them, without the
// files themselves (flash_settings.h opens, reads and replaces those):
// - "mm.cfg", the debug configuration: UTF-8 after an optional byte order mark, one name=value
//   a line. Lines end at CR LF, LF or CR; a line's name is the part before its first "=",
//   compared ignoring case; its value is the rest.
// - the trust file: UTF-16 little-endian after FF FE, one location a line ended by CR LF. A
//   location is a whole line (without its CR LF); paths compare exactly.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/types.h"

namespace pw::web {

inline constexpr std::string_view kFlashUtf8Bom = "\xEF\xBB\xBF";
inline constexpr std::string_view kFlashUtf16Bom = "\xFF\xFE";

// ---- mm.cfg ---------------------------------------------------------------------------------

// The configuration's text: its bytes without one leading byte order mark.
std::string_view DebugConfigText(std::string_view bytes);
// The file's bytes for a text: the byte order mark, then the text.
std::string DebugConfigBytes(std::string_view text);
// The lines of a text; a line break at the end opens no further line.
std::vector<std::string> DebugConfigLines(std::string_view text);
// The value of the first line named `key`; nothing when there is none or its value is empty.
std::optional<std::string> DebugConfigValue(std::string_view text, std::string_view key);
// The text with `key` set: the first line named `key` becomes key=value, or key=value is
// appended when no line is named so; the empty value removes that first line instead. Every
// line of the result ends with CR LF.
std::string DebugConfigWithValue(std::string_view text, std::string_view key, std::string_view value);

// ---- the trust file -----------------------------------------------------------------------

// The trust file's text from its bytes: UTF-16 little-endian after FF FE (an odd last byte is
// dropped); bytes without the mark are read as the system code page's text, so the locations
// they list are kept when the file is next written.
WideString TrustTextOf(std::string_view bytes);
// The file's bytes for a text: FF FE, then the text in UTF-16 little-endian.
std::string TrustFileBytes(WideStringView text);
// A location as it is stored: trimmed. One that trims to nothing or holds a line break raises
// EOleSysError with E_INVALIDARG (it would not be one line of the file).
WideString TrustedLocation(WideStringView path);
// The lines of a trust text without their line ends (LF, or CR LF).
std::vector<WideString> TrustTextLines(WideStringView text);
// The text with the location added as a line; nothing when a line already equals it. An
// unended last line is ended first (a lone CR at its end becomes its CR LF).
std::optional<WideString> TrustTextWithLocation(WideStringView text, WideStringView location);
// The text without every line equal to the location (an unended last line too); the other
// lines stay as they were, line ends included.
WideString TrustTextWithoutLocation(WideStringView text, WideStringView location);

}  // namespace pw::web
