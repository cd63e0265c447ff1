// Small helpers shared by the test host's service objects.
#pragma once

#include <utility>

#include "platform/automation/bstr.h"
#include "platform/com/comobject.h"
#include "platform/rtl/exceptions.h"
#include "platform/automation/variant.h"

namespace pw::host {

// An operation of a host interface that the test host does not serve.
#define PW_HOST_RESERVED(n) \
  HRESULT Reserved##n() override { return E_NOTIMPL; }

// Hands an interface out through an out parameter (with a reference; nil stays nil).
template <class I, class P>
  requires requires(const P& p) { p.Get(); }
void SetOut(I** out, const P& p) {
  if (!out) throw EOleSysError(u"Invalid pointer", E_POINTER);
  *out = p ? static_cast<I*>(p.Get()) : nullptr;
  if (*out) (*out)->AddRef();
}

inline void SetOut(BSTR* out, WideStringView s) {
  if (!out) throw EOleSysError(u"Invalid pointer", E_POINTER);
  *out = SysAllocString(s);
}

inline void SetOut(VARIANT* out, const OleVariant& v) {
  if (!out) throw EOleSysError(u"Invalid pointer", E_POINTER);
  VariantInit(out);
  OleCheck(VariantCopy(out, v.Ptr()));
}

template <class T>
void SetOutValue(T* out, T value) {
  if (!out) throw EOleSysError(u"Invalid pointer", E_POINTER);
  *out = value;
}

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
