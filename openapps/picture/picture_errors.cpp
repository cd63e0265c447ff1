#include "openapps/picture/picture_errors.h"

#include "platform/kernel/library.h"
#include "platform/rtl/strings.h"

namespace pw {

EpwUnknownPictureFormat::EpwUnknownPictureFormat(WideStringView name)
    : Exception(WideString(u"Unknown image format: \"") + WideString(name) + u"\"") {}

EpwPictureSysError::EpwPictureSysError(bool withoutMessage)
    : Exception(withoutMessage ? WideString(u"System error.")
                               : WideString(u"System error: ") + SysErrorMessage(GetLastError())) {}

EpwPictureSysError::EpwPictureSysError() : Exception(u"System error.") {}

}  // namespace pw
