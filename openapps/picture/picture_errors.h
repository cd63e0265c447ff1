// The picture's exceptions and the reasons that Find gives for finding nothing.
#pragma once

#include <array>

#include "platform/com/guid.h"
#include "platform/rtl/exceptions.h"

namespace pw {

class EpwInvalidPicture : public Exception {
 public:
  EpwInvalidPicture() : Exception(u"The Picture object contains an invalid handle.") {}
};
class EpwInvalidPictureCoordinates : public Exception {
 public:
  EpwInvalidPictureCoordinates() : Exception(u"The specified coordinates are out of bounds.") {}
};
class EpwEmptyPicture : public Exception {
 public:
  EpwEmptyPicture() : Exception(u"The Picture object does not contain any images.") {}
};
class EpwUnknownPictureFormat : public Exception {
 public:
  explicit EpwUnknownPictureFormat(WideStringView name);
};
class EpwInvalidPictureArgument : public Exception {
 public:
  EpwInvalidPictureArgument() : Exception(u"The value cannot be converted to the Picture object.") {}
};
class EpwNullPictureArgument : public Exception {
 public:
  EpwNullPictureArgument() : Exception(u"The Null value cannot be passed instead of the Picture object.") {}
};
class EpwInvalidColorToleranceArgument : public Exception {
 public:
  EpwInvalidColorToleranceArgument() : Exception(u"The ColorTolerance parameter is incorrect.") {}
};
// "System error: %s" with the message of the thread's last error code (the flag form, this
// platform counting as one where the message is known), or "System error.".
class EpwPictureSysError : public Exception {
 public:
  explicit EpwPictureSysError(bool withoutMessage);
  EpwPictureSysError();
};

struct TpwPictureErrorInfo {
  GUID guid;
  const char16_t* message;
};

// Why Find found nothing, by index.
inline constexpr std::array<TpwPictureErrorInfo, 7> PictureFindErrors = {{
    {MakeGuid("{544E32B4-AAF1-45F6-9132-39715580D65F}"), u"The sought-for image is null."},
    {MakeGuid("{89EC911D-CAF6-4219-87C2-C1EF156930B5}"),
     u"The Picture object in which the search was performed is void."},
    {MakeGuid("{0C79020D-4F9B-4572-93CD-2EC0EF045747}"), u"The sought-for image is empty."},
    {MakeGuid("{321A582D-F1C1-44CA-92CE-E14BB2E0CDB7}"),
     u"The sought-for image was larger than the one in which the search was performed."},
    {MakeGuid("{B353F75F-2DB4-4B59-957B-88FD830A0749}"), u"The image does not contain the sought-for image."},
    {MakeGuid("{099B2F3D-1C4F-47B0-A708-E92F90C2336E}"), u"The Left or Top parameter is incorrect."},
    {MakeGuid("{374BD6FA-A711-48C9-B974-87FC7A9CEB3F}"), u"The execution was interrupted."},
}};

}  // namespace pw
