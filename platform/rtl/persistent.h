// The runtime's TPersistent: objects that can copy their state from another (Assign). A class
// that cannot take a source hands the copy to the source (AssignTo); when neither knows the
// other, EConvertError "Cannot assign a SOURCE to a DEST" names both classes (nil: "nil").
//
// A persistent object also describes what the component stream (filer.h) keeps of it: its
// published properties (PublishedProperties, base class first) and the properties it streams
// itself (DefineProperties).
#pragma once

#include "platform/com/types.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/rtl.h"

namespace pw {

class TFiler;
class TPropList;

class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

class TPersistent : public TObject {
 public:
  virtual void Assign(TPersistent* source);
  // The class name used in the assignment error and in the component stream.
  virtual WideString ClassName() const { return u"TPersistent"; }
  // Appends the published properties in declaration order; derived classes call the base first.
  virtual void PublishedProperties(TPropList& /*list*/) {}
  // Defines the properties the object reads and writes itself (TFiler::DefineProperty).
  virtual void DefineProperties(TFiler& /*filer*/) {}

 protected:
  virtual void AssignTo(TPersistent* dest);
  [[noreturn]] void AssignError(TPersistent* source);
};

}  // namespace pw
