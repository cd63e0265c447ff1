// IcvSimpleIterator: the iterator interface of the core containers, and the library's
// exception class.
#pragma once

#include <cstdint>

#include "platform/rtl/exceptions.h"
#include "platform/com/unknown.h"

namespace pw {

class EpfException : public Exception {
 public:
  using Exception::Exception;
};

inline constexpr const char16_t* kNoSuchElement = u"No such element";

struct IcvSimpleIterator : IUnknown {
  static constexpr IID iid = MakeGuid("{82C1D57A-D575-44E4-A904-D736F8FF94B9}");
  virtual bool HasNext() = 0;
  // The next item; raises EpfException "No such element" when there is none.
  virtual void* Next() = 0;
  virtual void Reset() = 0;
};

}  // namespace pw
