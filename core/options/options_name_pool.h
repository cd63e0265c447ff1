// The process-wide pool of lower-cased option names. Every node and property name of every
// options tree passes through it, so a name is one handle whatever its case, and tables of
// the tree are keyed by handles.
#pragma once

#include <cstdint>

#include "core/containers/hash_tables.h"
#include "core/options/options_intf.h"
#include "platform/kernel/kernel.h"

namespace pw {

// A pooled name: the pool's table entry; its key is the lower-cased name.
using TcvNameHandle = const TcvTableEntry<WideString>*;

inline const WideString& NameOf(TcvNameHandle handle) { return handle->key; }

// Keys are lower-cased names; each value is the name's reference count. Every operation runs
// under the pool's lock.
class TcvWideStringPool : public TcvWideStringTable {
 public:
  TcvWideStringPool();
  ~TcvWideStringPool() override;

  // Lower-cases name, inserts it with count 0 when missing, counts one more user.
  TcvNameHandle Add(WideStringView name);
  // Counts one user less; the name leaves the pool at 0.
  void Release(TcvNameHandle handle);
  // The handle of the lower-cased name, or nil; does not count.
  TcvNameHandle Find(WideStringView name);
  // The number of users of a name (0 when it is not pooled).
  std::intptr_t UseCount(WideStringView name);

 protected:
  // Values are counts, not objects: nothing to release.
  void ValueRemoved(void*) override {}

 private:
  CriticalSection lock_;
};

// The pool of the process, or nil before the unit started and after it stopped.
TcvWideStringPool* OptionsNamePool();
// The pool; raises when the unit has not been started.
TcvWideStringPool& RequireOptionsNamePool();

// Unit start and stop (each nested start needs its stop; the pool lives until the last stop).
void StartOptionsNamePool();
void StopOptionsNamePool();

}  // namespace pw
