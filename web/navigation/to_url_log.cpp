#include "web/navigation/to_url_log.h"

#include "web/navigation/web_helpers.h"
#include "web/navigation/web_log.h"

namespace pw::web {

void LogToUrlOutcome(IcvBaseManager* manager, WideStringView objectName, WideStringView url, WideStringView errorText,
                     const std::optional<ToUrlProcessFacts>& process) {
  WideString shown = ShortenUrlForLog(url);
  if (errorText.empty()) {
    LogNamedMessage(manager, objectName, u"Navigating to the %s page.", {shown}, u"URL: %s", {url},
                    TpwWebLogKind::Event);
  } else if (process) {
    LogNamedMessage(manager, objectName, u"Unable to navigate to the %s page.", {shown},
                    u"URL: %s\r\nProcess ID: %s\r\nProcess Command Line: %s\r\nInfo: %s",
                    {url, process->id, process->commandLine, errorText}, TpwWebLogKind::Error);
  } else {
    LogNamedMessage(manager, objectName, u"Unable to navigate to the %s page.", {shown}, u"URL: %s\r\nInfo: %s",
                    {url, errorText}, TpwWebLogKind::Error);
  }
}

}  // namespace pw::web
