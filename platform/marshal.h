// An in-process stand-in for COM's stub manager.
//
// Marshaling an interface for another apartment or process gives out a stub: the stub holds
// one reference to the object and reports a strong external connection to it (through the
// object's IExternalConnection, when it has one). The far side's release of its proxy ends the
// connection; CoDisconnectObject ends every connection of an object at once, calling back
// ReleaseConnection on the caller's thread for each, as COM does.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/unknown.h"

namespace pw {

using StubCookie = std::uint64_t;

// A strong marshal of `object`; the cookie names the connection. E_POINTER for nil.
HRESULT CoMarshalInterfaceStrong(IUnknown* object, StubCookie* cookie);
// The far side released the proxy of that connection. E_INVALIDARG for an unknown or
// already disconnected cookie.
HRESULT CoReleaseMarshalData(StubCookie cookie);
// Ends every connection of the object (found by identity); S_OK also when it has none.
HRESULT CoDisconnectObject(IUnknown* object, DWORD reserved);
// Connections currently held for the object (its identity).
std::size_t CoConnectionCount(IUnknown* object);

}  // namespace pw
