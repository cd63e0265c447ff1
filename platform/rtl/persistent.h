// The runtime's TPersistent: objects that can copy their state from another (Assign). A class
// that cannot take a source hands the copy to the source (AssignTo); when neither knows the
// other, EConvertError "Cannot assign a SOURCE to a DEST" names both classes (nil: "nil").
#pragma once

#include "platform/com/types.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/rtl.h"

namespace pw {

class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

class TPersistent : public TObject {
 public:
  virtual void Assign(TPersistent* source);
  // The class name used in the assignment error.
  virtual WideString ClassName() const { return u"TPersistent"; }

 protected:
  virtual void AssignTo(TPersistent* dest);
  [[noreturn]] void AssignError(TPersistent* source);
};

}  // namespace pw
