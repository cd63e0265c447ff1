#include "core/files/file_copy.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/rtl/strings.h"

namespace pw {

bool WideCopyFile(WideStringView source, WideStringView target, bool failIfExists) {
  namespace fs = std::filesystem;
  // A zero character would end a name early, so another file would be read or replaced.
  if (source.find(u'\0') != WideStringView::npos || target.find(u'\0') != WideStringView::npos) {
    errno = EINVAL;
    return false;
  }
  std::error_code ec;
  const auto options = failIfExists ? fs::copy_options::none : fs::copy_options::overwrite_existing;
  const bool copied = fs::copy_file(fs::path(WideToUtf8(source)), fs::path(WideToUtf8(target)), options, ec);
  if (ec) {
    errno = ec.value();
    return false;
  }
  return copied;
}

}  // namespace pw
