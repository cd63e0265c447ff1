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
