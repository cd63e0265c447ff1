// The test host's sample Firefox process: "firefox.exe" (id 4104) with its core module "xul.dll"
// loaded from "C:/Program Files/Mozilla Firefox/" and one top-level "MozillaWindowClass" window.
// No browser runs: the process is described in the platform's process model, and the core
// module's version resource in the table GetFileVersion answers from: the installed
// firefox-esr's milestone (its "platform.ini") when there is one, else the sample's 128.0.
#pragma once

#include <optional>
#include <string>

#include "core/automation/dispatch_helpers.h"
#include "platform/kernel/processes.h"

namespace pw::host {

inline constexpr DWORD kSampleFirefoxProcessId = 4104;
inline constexpr char16_t kSampleFirefoxFolder[] = u"C:/Program Files/Mozilla Firefox/";
inline constexpr FileVersion kSampleFirefoxVersion{128, 0, 0, 0};

// The version the sample's "xul.dll" gets: the installed one when given, else the sample's.
FileVersion SampleFirefoxCoreVersion(const std::optional<FileVersion>& installed);

// The process's description; describes its core module's version (from the installed
// firefox-esr when its platform.ini reads, at the path given) as a side effect.
ProcessDescription SampleFirefoxProcess(const std::string& platformIni = "/usr/lib/firefox-esr/platform.ini");

}  // namespace pw::host
