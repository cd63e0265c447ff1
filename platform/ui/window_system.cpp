#include "platform/ui/window_system.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace pw {

namespace {

bool NoWindowSystem(HWND) { return true; }

std::atomic<LockWindowUpdateProc> gLockWindowUpdate{NoWindowSystem};

bool NoKeys(int) { return false; }

std::atomic<KeyStateProc> gKeyState{NoKeys};

}  // namespace

bool LockWindowUpdate(HWND wnd) { return gLockWindowUpdate.load()(wnd); }

void SetLockWindowUpdateProc(LockWindowUpdateProc proc) { gLockWindowUpdate.store(proc ? proc : NoWindowSystem); }

unsigned RegisterWindowMessageA(const char* name) {
  static std::mutex lock;
  static std::map<std::string, unsigned>* numbers = new std::map<std::string, unsigned>;  // process-wide
  if (!name || !*name) return 0;
  std::lock_guard g(lock);
  auto [it, added] = numbers->emplace(name, 0xC000u + static_cast<unsigned>(numbers->size()));
  return it->second;
}

bool UnhookWindowsHookEx(HHOOK hook) { return hook != 0; }

void DispatchPaintMessages() {}

bool GetAsyncKeyDown(int virtualKey) { return gKeyState.load()(virtualKey); }

void SetKeyStateProc(KeyStateProc proc) { gKeyState.store(proc ? proc : NoKeys); }

}  // namespace pw
