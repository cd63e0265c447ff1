// Copying a file by UTF-16 names.
#pragma once

#include "platform/com/types.h"

namespace pw {

// Copies a file (contents and permission bits). With `failIfExists` an existing target is
// left alone and the copy fails. On failure errno holds the reason.
bool WideCopyFile(WideStringView source, WideStringView target, bool failIfExists);

}  // namespace pw
