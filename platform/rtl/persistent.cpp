#include "platform/rtl/persistent.h"

namespace pw {

void TPersistent::Assign(TPersistent* source) {
  if (source)
    source->AssignTo(this);
  else
    AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* dest) { dest->AssignError(this); }

void TPersistent::AssignError(TPersistent* source) {
  const WideString from = source ? source->ClassName() : WideString(u"nil");
  throw EConvertError(u"Cannot assign a " + from + u" to a " + ClassName());
}

}  // namespace pw
