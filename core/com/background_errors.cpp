#include "core/com/background_errors.h"

#include <exception>
#include <mutex>
#include <utility>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw {

namespace {

struct Kept {
  std::mutex lock;
  std::vector<BackgroundError> errors;
};

Kept& Errors() {
  static Kept* kept = new Kept;  // lives until the process ends
  return *kept;
}

}  // namespace

void ReportBackgroundError(WideString where, WideString message) {
  auto& k = Errors();
  std::lock_guard g(k.lock);
  k.errors.push_back({std::move(where), std::move(message)});
}

std::vector<BackgroundError> TakeBackgroundErrors() {
  auto& k = Errors();
  std::lock_guard g(k.lock);
  return std::exchange(k.errors, {});
}

WideString CurrentExceptionMessage() {
  try {
    throw;
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return Utf8ToWide(e.what());
  } catch (...) {
    return u"Unknown exception";
  }
}

}  // namespace pw
