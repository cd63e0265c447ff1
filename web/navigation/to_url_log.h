// The test-log entry that ends a ToUrl call (of a browser process or of a page window).
//
// Success (empty error text): an event "Navigating to the %s page." with the URL shortened for
// the log, details "URL: %s" with the whole URL. Failure: an error "Unable to navigate to the
// %s page." with the shortened URL, details "URL: %s", CR LF, "Info: %s" (URL, error text); when
// the facts of a live browser process are given, "Process ID: %s" and "Process Command Line:
// %s" stand between the URL and the Info line. The object name follows as in every web log
// entry (web_log.h).
#pragma once

#include <optional>

#include "interfaces/ProbewrightHost.h"
#include "platform/com/types.h"

namespace pw::web {

// The error texts of the ToUrl methods.
inline constexpr char16_t kCannotFindPageNode[] = u"Cannot find the Page node.";
inline constexpr char16_t kCannotFindBrowserNode[] = u"Cannot find the Browser node.";
inline constexpr char16_t kCannotGetBrowserObject[] = u"Cannot get the Browser object.";
inline constexpr char16_t kCannotGetProcessObject[] = u"Cannot get the Process object.";
inline constexpr char16_t kUnableToCallNavigateTo[] = u"Unable to call the NavigateTo method.";
inline constexpr char16_t kErrorCallingNavigateTo[] = u"An error occurred while calling the NavigateTo method.";

struct ToUrlProcessFacts {
  WideString id;           // the process node's "Id", as text
  WideString commandLine;  // its "CommandLine"
};

void LogToUrlOutcome(IcvBaseManager* manager, WideStringView objectName, WideStringView url, WideStringView errorText,
                     const std::optional<ToUrlProcessFacts>& process = std::nullopt);

}  // namespace pw::web
