// The bridge from a type information's Invoke to the C++ implementation of an interface.
//
// The interface generator writes, for every dual interface it describes, one thunk per
// function of the dispatch view. A thunk receives the interface pointer, the arguments already
// converted to the parameter types (in parameter order: scalars in their union field, by
// reference and interface parameters in `byref`, arrays in `parray`, VARIANT parameters as
// they are) and a result variant that holds nothing to free; it calls the method through the
// interface's method table and answers the method's HRESULT. When the call succeeds, the
// thunk overwrites the whole result with the [out, retval] value (VT_EMPTY for a function
// without one); when it fails, the result is left as it was and whatever the method left in
// its [out, retval] value (a VARIANT, string, object or array) is freed.
#pragma once

#include <cstdint>
#include <span>

#include "platform/automation/dispatch.h"

namespace pw {

using DispatchThunk = HRESULT (*)(void* instance, VARIANTARG* args, VARIANT* result);

struct InterfaceThunks {
  GUID iid;
  std::uint32_t funcCount;      // functions of the dispatch view, the seven inherited ones included
  const DispatchThunk* thunks;  // one per function; nil for the seven inherited ones
};

// The platform holds no thunks of its own: the binary that owns an interface description
// compiles its generated thunks (<Library>InterfaceThunks(), sorted by GUID) and registers them
// at its start: the module in its unit table, the host when it starts, tests and benchmarks
// before they call. Registering a set twice keeps one. A type information binds to the thunks
// of its interface at its first call, so a set is registered before the first call through
// one of its interfaces (the library itself may be loaded earlier).
void RegisterInterfaceThunks(std::span<const InterfaceThunks> thunks);
// Withdraws a registered set (a module that is unloaded withdraws its own).
void UnregisterInterfaceThunks(std::span<const InterfaceThunks> thunks);
// The thunks of an interface, nil when none were generated for it.
const InterfaceThunks* FindInterfaceThunks(const GUID& iid) noexcept;

}  // namespace pw
