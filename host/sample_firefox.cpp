#include "host/sample_firefox.h"

#include "core/files/milestone.h"
#include "platform/rtl/strings.h"

namespace pw::host {

FileVersion SampleFirefoxCoreVersion(const std::optional<FileVersion>& installed) {
  return installed.value_or(kSampleFirefoxVersion);
}

ProcessDescription SampleFirefoxProcess(const std::string& platformIni) {
  const FileVersion version = SampleFirefoxCoreVersion(ReadMilestone(platformIni));
  SetDescribedFileVersion(WideToUtf8(WideString(kSampleFirefoxFolder) + u"xul.dll"), version);
  ProcessDescription process;
  process.id = kSampleFirefoxProcessId;
  process.name = u"firefox.exe";
  process.modules = {u"firefox.exe", u"xul.dll", u"KERNEL32.DLL"};
  process.windows = {{0x10040, u"MozillaWindowClass"}};
  process.moduleFolder = kSampleFirefoxFolder;
  return process;
}

}  // namespace pw::host
