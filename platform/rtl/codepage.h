// "The system code page": Windows-1252, the one 8-bit code page of the module.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/types.h"

namespace pw {

// Characters without a Windows-1252 form become '?' (one for a surrogate pair, which is one
// character).
std::string WideToSystemCodePage(WideStringView s);
WideString SystemCodePageToWide(std::string_view s);
char16_t SystemCodePageCharToWide(unsigned char c);

}  // namespace pw

namespace pw {

// Windows-1250 (Central European), one byte per UTF-16 unit: a unit without a Windows-1250
// form (also each half of a surrogate pair) becomes 0xFF. The five undefined positions map to
// the C1 control of the same code, as for Windows-1252.
unsigned char WideCharToCodePage1250(char16_t c);
// The whole conversion as a table of 65536 bytes, indexed by the unit.
const unsigned char* CodePage1250Table();
std::string WideToCodePage1250(WideStringView s);
char16_t CodePage1250CharToWide(unsigned char c);

}  // namespace pw
