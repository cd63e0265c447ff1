// TExposedObjects: the process-wide registry of the module's objects that COM holds for other
// apartments or processes, and the module's DisconnectExposedObjects.
#pragma once

#include <memory>
#include <vector>

#include "core/containers/hash_tables.h"
#include "platform/kernel/kernel.h"
#include "platform/com/unknown.h"

namespace pw {

class TExposedObjects : public TObject {
 public:
  TExposedObjects();
  ~TExposedObjects() override;

  // Counts one more strong connection of the object (its identity); returns the new count.
  DWORD AddConnection(IUnknown* object);
  // Counts one less; at 0 the object leaves the registry. Returns the new count.
  DWORD ReleaseConnection(IUnknown* object);
  // Disconnects every registered object, then waits up to `timeoutMs` for the registry to
  // empty (the result of the wait is not reported).
  void DisconnectAll(DWORD timeoutMs);

  std::int32_t Count();
  Event& EmptyEvent() { return emptyEvent_; }

 private:
  TcvTable table_{0, 0, 11};  // identity -> number of strong connections
  CriticalSection lock_;
  Event emptyEvent_{true, true};  // signalled exactly while the table is empty
  std::vector<IUnknown*> disconnecting_;
};

// The registry, or nil before module start and after unload.
TExposedObjects* ExposedObjects();

// Unit start and stop: create the registry; disconnect what remains (5000 ms) and destroy it.
void StartExposedObjects();
void StopExposedObjects();

// The body of the module's export DisconnectExposedObjects: with `allModules`, first the same
// export of every module loaded in the process with (false, 5000); then this module's
// registry disconnects and waits up to `timeoutMs`. S_OK, unless the pass itself fails (out of
// memory), which answers a failure code instead of letting an exception out of the export.
HRESULT DisconnectExposedObjectsImpl(WordBool allModules, DWORD timeoutMs);

// The signature of the export.
using DisconnectExposedObjectsProc = HRESULT (*)(WordBool allModules, DWORD timeoutMs);
inline constexpr const char* kDisconnectExposedObjectsExport = "DisconnectExposedObjects";

}  // namespace pw
