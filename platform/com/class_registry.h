// Classes that CoCreateInstance can create besides the platform's own: a layer that serves a
// class while it runs registers a creator for its CLSID and revokes it when it stops.
#pragma once

#include <functional>

#include "platform/com/guid.h"
#include "platform/com/types.h"

namespace pw {

// Answers the object's interface riid in *ppv (S_OK) or a failure.
using ClassCreator = std::function<HRESULT(const IID& riid, void** ppv)>;

// Registers a creator; a later registration of the same CLSID takes precedence until revoked.
// Answers the cookie for RevokeClassCreator (never 0).
DWORD RegisterClassCreator(const CLSID& clsid, ClassCreator creator);
// Removes a registration; false for an unknown cookie.
bool RevokeClassCreator(DWORD cookie);
// Creates an object through the newest registration of the CLSID; REGDB_E_CLASSNOTREG when none.
HRESULT CreateRegisteredClass(const CLSID& clsid, const IID& riid, void** ppv);

}  // namespace pw
