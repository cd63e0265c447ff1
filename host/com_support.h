// Small helpers shared by the test host's service objects. Out parameters follow the
// platform's one rule (platform/automation/out_params.h).
#pragma once

#include <utility>

#include "platform/automation/bstr.h"
#include "platform/automation/out_params.h"
#include "platform/com/comobject.h"
#include "platform/rtl/exceptions.h"
#include "platform/automation/variant.h"

namespace pw::host {

// An operation of a host interface that the test host does not serve.
#define PW_HOST_RESERVED(n) \
  HRESULT Reserved##n() override { return E_NOTIMPL; }

// The slots of IpwSysManager between GetManager and FindByIdentification.
#define PW_SYS_MANAGER_RESERVED                                                                            \
  PW_HOST_RESERVED(8) PW_HOST_RESERVED(9) PW_HOST_RESERVED(10) PW_HOST_RESERVED(11) PW_HOST_RESERVED(12)      \
  PW_HOST_RESERVED(13) PW_HOST_RESERVED(14) PW_HOST_RESERVED(15) PW_HOST_RESERVED(16) PW_HOST_RESERVED(17)    \
  PW_HOST_RESERVED(18) PW_HOST_RESERVED(19) PW_HOST_RESERVED(20) PW_HOST_RESERVED(21) PW_HOST_RESERVED(22)

// The operations of IpwObjectContext2 beyond its first three that a context does not serve:
// the reserved slots, and an empty identifier and no object type.
#define PW_OBJECT_CONTEXT2_RESERVED                                                                            \
  PW_HOST_RESERVED(6)                                                                                          \
  PW_HOST_RESERVED(7) PW_HOST_RESERVED(8) PW_HOST_RESERVED(9) PW_HOST_RESERVED(10) PW_HOST_RESERVED(11)        \
      PW_HOST_RESERVED(13) PW_HOST_RESERVED(14) PW_HOST_RESERVED(15) PW_HOST_RESERVED(16) PW_HOST_RESERVED(17) \
          PW_HOST_RESERVED(18)
#define PW_OBJECT_CONTEXT2_NO_IDENTITY                                                  \
  HRESULT GetIdentifier(BSTR* identifier) override {                                    \
    if (!identifier) return E_POINTER;                                                  \
    *identifier = nullptr;                                                              \
    return S_OK;                                                                        \
  }                                                                                     \
  HRESULT GetObjectType(BSTR* typeText, VARIANT* value, VARIANT_BOOL* found) override { \
    if (!typeText || !value || !found) return E_POINTER;                                \
    *typeText = nullptr;                                                                \
    VariantInit(value);                                                                 \
    *found = VARIANT_FALSE;                                                             \
    return S_OK;                                                                        \
  }
#define PW_OBJECT_CONTEXT2_DEFAULTS PW_OBJECT_CONTEXT2_RESERVED PW_OBJECT_CONTEXT2_NO_IDENTITY

// An index outside 0 .. count - 1 is a bad argument.
inline void CheckIndex(long index, std::size_t count) {
  if (index < 0 || static_cast<std::size_t>(index) >= count) throw EOleSysError(u"Index out of range", E_INVALIDARG);
}

// A list's size as an out count.
template <class List>
void SetOutCount(std::int32_t* out, const List& list) {
  SetOutValue(out, static_cast<std::int32_t>(list.size()));
}

// The item of a list at an index (checked), handed out through SetOut.
template <class Out, class List>
void SetOutItem(Out* out, const List& list, long index) {
  CheckIndex(index, list.size());
  SetOut(out, list[static_cast<std::size_t>(index)]);
}

}  // namespace pw::host
