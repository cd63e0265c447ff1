// The safe-call convention at interface boundaries.
//
// Callee side: a method that the host or a script calls returns an HRESULT; an exception inside
// becomes a failure code (the exception's own code for an OLE error, E_OUTOFMEMORY for an
// allocation failure, E_UNEXPECTED otherwise) and the thread's error information carries its
// message. Caller side: SafeCallCheck turns a failure code back into an exception, with the
// callee's error information when it left some.
#pragma once

#include <exception>
#include <utility>

#include "platform/com/guid.h"
#include "platform/com/types.h"

namespace pw {

HRESULT HandleSafeCallException(std::exception_ptr e, const GUID& errorIid, WideStringView source,
                                WideStringView helpFile) noexcept;

// For free functions at a boundary (exports, callbacks): runs f, converts exceptions.
template <class F>
HRESULT SafeCallBoundary(F&& f) noexcept {
  try {
    std::forward<F>(f)();
    return S_OK;
  } catch (...) {
    return HandleSafeCallException(std::current_exception(), GUID_NULL, u"", u"");
  }
}

// Raises EOleException (with the thread's error information) or EOleSysError for a failure.
HRESULT SafeCallCheck(HRESULT hr);

}  // namespace pw
