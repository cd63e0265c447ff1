// Text pieces shared by the module's XML writers and readers: escaping of attribute values,
// and the locale-independent number texts of the data files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/com/types.h"

namespace pw {

// The entity reference that stands for an XML markup character (& < > "), or nil for any other.
constexpr const char* XmlMarkupReference(char16_t c) noexcept {
  switch (c) {
    case u'&': return "&amp;";
    case u'<': return "&lt;";
    case u'>': return "&gt;";
    case u'"': return "&quot;";
    default: return nullptr;
  }
}

// Appends s as UTF-8, escaped for a double-quoted XML attribute value: the markup characters
// and tab, line feed and carriage return become references, so that a parser gives back the
// same text. With `spaceRuns`, spaces that stand beside another space become references too.
// Characters that XML cannot hold (other control characters, unpaired surrogates, U+FFFE,
// U+FFFF) are not written: the first one is answered and `out` is left partly appended.
std::optional<char32_t> AppendXmlAttributeText(std::string& out, WideStringView s, bool spaceRuns = false);

// "U+0001": how the messages name a character.
WideString CharacterName(char32_t c);

// A double in the runtime's general format with the fewest digits that read back as the same
// value: fixed notation from 0.0001 up to 15 digits before the decimal point ("0.5", "100000"),
// else one digit, the others after a "." and "E" with the exponent ("1E21", "2.5E-7"); "." is
// the decimal separator whatever the locale; "NAN", "INF" and "-INF" for the values that are
// no numbers.
std::string FormatDouble(double value);

// Text to number, as the runtime converts: leading blanks, an optional sign, decimal digits or
// a "$"/"0x" hexadecimal prefix; nothing may follow. nullopt when the text is no such number
// or out of range (a hexadecimal text may use the whole unsigned range of the type).
std::optional<std::int32_t> ParseInt32(std::string_view text);
std::optional<std::int64_t> ParseInt64(std::string_view text);
// Blanks around the number are allowed; "." is the decimal separator.
std::optional<double> ParseDouble(std::string_view text);
// "True"/"False" in any case, or a number (0 is false).
std::optional<bool> ParseBoolean(std::string_view text);

}  // namespace pw
