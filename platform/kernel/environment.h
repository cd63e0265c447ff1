// The system's environment as the plug-ins see it: "%NAME%" expansion of paths, the lexical
// canonical form of a path, and the system version.
//
// The user-profile variables of the other system have stand-ins here: "HOMEPATH" is $HOME,
// "HOMEDRIVE" is empty, "APPDATA" is $XDG_CONFIG_HOME (else $HOME/.config). Any other name is
// the process environment's variable of that exact name ("windir" is normally unset). A name
// that has no value, and a "%" without a closing one, stay in the text as written.
//
// The system reports version 10.0; a 32-bit process on a 64-bit system (and its file-system
// redirection) does not exist here.
#pragma once

#include <optional>

#include "platform/com/types.h"

namespace pw {

// The value of an environment variable with the stand-ins above; nothing when it has none.
std::optional<WideString> GetEnvironmentVariable(WideStringView name);

// Replaces every "%NAME%" that has a value by that value; "%%" stays.
WideString ExpandEnvironmentStrings(WideStringView text);

// Turns every "\" into "/", removes "." segments and resolves ".." against the segment before
// it (a ".." at the root is dropped, a leading one of a relative path is kept), and merges
// repeated "/". Purely lexical: the file system is never asked. The empty path stays empty.
WideString CanonicalizePath(WideStringView path);

struct SystemVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
};
// 10.0.
SystemVersion GetSystemVersion();

}  // namespace pw
