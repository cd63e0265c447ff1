#include "platform/window_system.h"

#include <atomic>

namespace pw {

namespace {

bool NoWindowSystem(HWND) { return true; }

std::atomic<LockWindowUpdateProc> gLockWindowUpdate{NoWindowSystem};

}  // namespace

bool LockWindowUpdate(HWND wnd) { return gLockWindowUpdate.load()(wnd); }

void SetLockWindowUpdateProc(LockWindowUpdateProc proc) {
  gLockWindowUpdate.store(proc ? proc : NoWindowSystem);
}

}  // namespace pw
