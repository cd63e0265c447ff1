// Failures of the module's own threads (timer handlers, worker methods) that have no caller
// to raise to. They are kept, in order, until someone takes them; a test reads them here.
#pragma once

#include <vector>

#include "platform/com/types.h"

namespace pw {

struct BackgroundError {
  WideString where;    // which thread kind failed ("timer", "worker")
  WideString message;  // the exception's message
};

void ReportBackgroundError(WideString where, WideString message);
// Hands back every failure kept so far and forgets them.
std::vector<BackgroundError> TakeBackgroundErrors();

// The message of the exception being handled (inside a catch block).
WideString CurrentExceptionMessage();

}  // namespace pw
