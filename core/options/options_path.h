// Paths into an options tree as the command line writes them: node names and the property
// name joined by "/", with "\/" and "\\" standing for a "/" or "\" inside a name and "\t",
// "\n", "\r" for tab, line feed and carriage return.
//
// Printing escapes "\" and "/" (and, in values, '"') with a backslash, the three control
// characters above by their letters and every other control character as "\xHH"; splitting a
// printed path gives back the same names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/com/types.h"
#include "platform/rtl/exceptions.h"

namespace pw {

// A path that names nothing, holds an empty name, names more nodes than a file may nest or a
// name longer than a file may hold.
class EcvOptionsPathError : public Exception {
 public:
  using Exception::Exception;
};

// Splits a UTF-8 path into its names (a leading "/" is allowed); raises EcvOptionsPathError.
std::vector<WideString> SplitOptionsPath(std::string_view path);

// UTF-8 to UTF-16, refusing malformed UTF-8 (EcvOptionsPathError naming `what`): the command
// line is not bound by the lenient conversion that turns such bytes into U+FFFD.
WideString StrictUtf8ToWide(std::string_view text, std::string_view what);

// A name as a path writes it ("/" and "\" escaped), or a text value (with `path` false: '"'
// escaped instead of "/"), in UTF-8.
std::string EscapeOptionsText(WideStringView s, bool path);

}  // namespace pw
