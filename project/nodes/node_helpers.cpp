#include "project/nodes/node_helpers.h"

#include <sys/stat.h>

#include <exception>

#include "core/files/file_utils.h"
#include "core/host/host_services.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "project/nodes/project_helpers.h"

namespace pw::project {

WideString CurrentExceptionMessage() {
  auto e = std::current_exception();
  if (!e) return {};
  try {
    std::rethrow_exception(e);
  } catch (const Exception& x) {
    return x.Message();
  } catch (const std::exception& x) {
    return Utf8ToWide(x.what());
  } catch (...) {
  }
  return {};
}

void ShowCurrentException(IcvBaseManager* manager) {
  WideString message = CurrentExceptionMessage();
  if (!message.empty()) ShowProjectError(manager, message, 0);
}

void WriteDiagnostic(IcvBaseManager* manager, WideStringView text) {
  auto log = GetHostService<IpwDiagnosticLog>(manager, kDiagnosticLogService);
  if (log) SafeCallCheck(log->Write(BString(text).Get()));
}

bool ClearReadOnly(WideStringView fileName) {
  if (fileName.empty()) return false;
  std::string name = WideToUtf8(fileName);
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) return false;
  if (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) return true;
  return ::chmod(name.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool ForceFolders(WideStringView path, std::vector<WideString>& created) {
  if (path.empty()) throw EOSError(u"Unable to create directory", 0);
  WideString dir = RemoveTrailingDelimiter(path);
  if (dir.empty()) return true;  // the root
  struct stat st {};
  std::string name = WideToUtf8(dir);
  if (::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  WideString parent = RemoveTrailingDelimiter(WideExtractFilePath(dir));
  if (parent == dir) return true;
  if (!parent.empty() && !ForceFolders(parent, created)) return false;
  if (::mkdir(name.c_str(), 0777) != 0) return false;
  created.push_back(dir);
  return true;
}

}  // namespace pw::project
