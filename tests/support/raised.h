// What the tests expect a call to raise.
#pragma once

#include <functional>

#include "platform/rtl/exceptions.h"

namespace pw::test {

// The message of what `f` raises, or a note that it raised nothing.
inline WideString Raised(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return u"(nothing raised)";
}

}  // namespace pw::test
