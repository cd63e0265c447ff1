#include "core/com/window_updates.h"

#include <mutex>

#include "platform/kernel/processes.h"

namespace pw {

namespace {

// The count and the window system's call change together, so an unlock can never overtake the
// lock it ends.
std::mutex gWindowUpdateLock;
std::int32_t gWindowUpdateLocks = 0;

}  // namespace

void BeginLockWindowUpdate(HWND wnd) {
  std::lock_guard lock(gWindowUpdateLock);
  if (++gWindowUpdateLocks == 1) LockWindowUpdate(wnd);
}

void EndLockWindowUpdate() {
  std::lock_guard lock(gWindowUpdateLock);
  if (gWindowUpdateLocks <= 0) return;
  if (--gWindowUpdateLocks == 0) LockWindowUpdate(0);
}

std::int32_t WindowUpdateLockCount() {
  std::lock_guard lock(gWindowUpdateLock);
  return gWindowUpdateLocks;
}

WideString WideGetClassName(HWND wnd) { return GetWindowClassName(wnd); }

void ProcessPaintMessages() { DispatchPaintMessages(); }

}  // namespace pw
