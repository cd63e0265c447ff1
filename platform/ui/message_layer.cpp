#include "platform/ui/message_layer.h"

#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/ui/resources.h"

namespace pw {

namespace {

struct Window {
  WindowProcedure procedure;
  std::thread::id thread;
};

struct Layer {
  std::mutex lock;
  std::map<HWND, Window> windows;
  std::map<std::thread::id, std::deque<MSG>> queues;
  HWND next = 0x7F000010;
  HWND capture = 0;
  POINT cursorPos;
  InputSource source;
  std::map<HCURSOR, const char*> cursors;
  HCURSOR nextCursor = 0x10;
  HCURSOR current = 0;
};

Layer& L() {
  static Layer* layer = new Layer;  // process-wide, never destroyed (windows may outlive statics)
  return *layer;
}

WindowProcedure ProcedureOf(HWND window) {
  Layer& l = L();
  std::lock_guard guard(l.lock);
  auto at = l.windows.find(window);
  return at == l.windows.end() ? WindowProcedure() : at->second.procedure;
}

// A thread that ends takes its windows and its queue with it: a later thread may get the same
// identifier, and must not inherit what was left (a quit, messages for windows nobody serves).
// The windows' procedures are not called: what they use of the thread may be gone already.
struct ThreadEnd {
  ~ThreadEnd() {
    Layer& l = L();
    const auto self = std::this_thread::get_id();
    std::vector<WindowProcedure> gone;  // destroyed outside the lock
    std::lock_guard guard(l.lock);
    for (auto at = l.windows.begin(); at != l.windows.end();) {
      if (at->second.thread != self) {
        ++at;
        continue;
      }
      if (l.capture == at->first) l.capture = 0;
      gone.push_back(std::move(at->second.procedure));
      at = l.windows.erase(at);
    }
    l.queues.erase(self);
  }
};

// Called by whatever gives the calling thread a window or a queue.
void Enrol() { static thread_local ThreadEnd end; }

LPARAM PointParam(POINT p) {
  return static_cast<LPARAM>((static_cast<std::uint32_t>(p.y & 0xFFFF) << 16) |
                             static_cast<std::uint32_t>(p.x & 0xFFFF));
}

}  // namespace

LRESULT DefWindowProc(HWND, unsigned, WPARAM, LPARAM) { return 0; }

HWND CreateMessageWindow(WindowProcedure procedure) {
  Enrol();
  Layer& l = L();
  std::lock_guard guard(l.lock);
  HWND window = l.next++;
  l.windows[window] = {std::move(procedure), std::this_thread::get_id()};
  return window;
}

bool IsMessageWindow(HWND window) {
  Layer& l = L();
  std::lock_guard guard(l.lock);
  return l.windows.contains(window);
}

bool DestroyMessageWindow(HWND window) {
  if (!IsMessageWindow(window)) return false;
  if (GetCapture() == window) ReleaseCapture();
  SendMessage(window, WM_DESTROY, 0, 0);
  Layer& l = L();
  std::lock_guard guard(l.lock);
  // Messages still queued for the window go with it.
  for (auto& [thread, queue] : l.queues) std::erase_if(queue, [&](const MSG& m) { return m.hwnd == window; });
  return l.windows.erase(window) > 0;
}

bool PostMessage(HWND window, unsigned message, WPARAM wParam, LPARAM lParam) {
  Layer& l = L();
  std::lock_guard guard(l.lock);
  auto at = l.windows.find(window);
  if (at == l.windows.end()) return false;
  l.queues[at->second.thread].push_back({window, message, wParam, lParam, l.cursorPos});
  return true;
}

void PostQuitMessage(int code) {
  Enrol();
  Layer& l = L();
  std::lock_guard guard(l.lock);
  l.queues[std::this_thread::get_id()].push_back({0, WM_QUIT, static_cast<WPARAM>(code), 0, l.cursorPos});
}

int GetMessage(MSG* message) {
  Enrol();
  Layer& l = L();
  for (;;) {
    InputSource source;
    {
      std::lock_guard guard(l.lock);
      auto& queue = l.queues[std::this_thread::get_id()];
      if (!queue.empty()) {
        MSG m = queue.front();
        queue.pop_front();
        if (message) *message = m;
        return m.message == WM_QUIT ? 0 : 1;
      }
      source = l.source;
    }
    InputEvent event;
    if (!source || !source(event)) {
      PostQuitMessage(0);
      continue;
    }
    HWND target = 0;
    POINT at;
    {
      std::lock_guard guard(l.lock);
      if (event.kind != InputEvent::Kind::Key && event.kind != InputEvent::Kind::CaptureTaken)
        l.cursorPos = {event.x, event.y};
      target = l.capture;
      at = l.cursorPos;
    }
    if (event.kind == InputEvent::Kind::CaptureTaken) {
      SetCapture(event.taker);
      continue;
    }
    if (!target) continue;  // no window of this layer takes input without the capture
    unsigned msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = PointParam(at);
    switch (event.kind) {
      case InputEvent::Kind::Move: msg = WM_MOUSEMOVE; break;
      case InputEvent::Kind::LeftDown: msg = WM_LBUTTONDOWN; break;
      case InputEvent::Kind::LeftUp: msg = WM_LBUTTONUP; break;
      case InputEvent::Kind::RightDown: msg = WM_RBUTTONDOWN; break;
      case InputEvent::Kind::RightUp: msg = WM_RBUTTONUP; break;
      case InputEvent::Kind::Key:
        msg = WM_KEYDOWN;
        wParam = static_cast<WPARAM>(event.key);
        lParam = 1;
        break;
      case InputEvent::Kind::CaptureTaken: break;
    }
    if (message) *message = {target, msg, wParam, lParam, at};
    return 1;
  }
}

LRESULT DispatchMessage(const MSG* message) {
  return message ? SendMessage(message->hwnd, message->message, message->wParam, message->lParam) : 0;
}

LRESULT SendMessage(HWND window, unsigned message, WPARAM wParam, LPARAM lParam) {
  auto procedure = ProcedureOf(window);
  return procedure ? procedure(window, message, wParam, lParam) : 0;
}

HWND SetCapture(HWND window) {
  Layer& l = L();
  HWND previous;
  {
    std::lock_guard guard(l.lock);
    previous = l.capture;
    l.capture = window;
  }
  if (previous && previous != window) SendMessage(previous, WM_CAPTURECHANGED, 0, static_cast<LPARAM>(window));
  return previous;
}

bool ReleaseCapture() {
  SetCapture(0);
  return true;
}

HWND GetCapture() {
  Layer& l = L();
  std::lock_guard guard(l.lock);
  return l.capture;
}

bool GetCursorPos(POINT* point) {
  if (!point) return false;
  Layer& l = L();
  std::lock_guard guard(l.lock);
  *point = l.cursorPos;
  return true;
}

HCURSOR LoadCursor(const char* name) {
  const char* found = FindModuleCursor(name);
  if (!found) return 0;
  Layer& l = L();
  std::lock_guard guard(l.lock);
  HCURSOR handle = l.nextCursor++;
  l.cursors[handle] = found;
  return handle;
}

HCURSOR SetCursor(HCURSOR cursor) {
  Layer& l = L();
  std::lock_guard guard(l.lock);
  return std::exchange(l.current, cursor);
}

HCURSOR GetCursor() {
  Layer& l = L();
  std::lock_guard guard(l.lock);
  return l.current;
}

const char* CursorName(HCURSOR cursor) {
  Layer& l = L();
  std::lock_guard guard(l.lock);
  auto at = l.cursors.find(cursor);
  return at == l.cursors.end() ? nullptr : at->second;
}

bool DestroyCursor(HCURSOR cursor) {
  Layer& l = L();
  std::lock_guard guard(l.lock);
  return l.cursors.erase(cursor) > 0;
}

void SetInputSource(InputSource source) {
  Layer& l = L();
  std::lock_guard guard(l.lock);
  l.source = std::move(source);
}

}  // namespace pw
