#include "platform/ui/window_messages.h"

#include <map>
#include <memory>
#include <mutex>

#include "platform/com/comptr.h"

namespace pw {

namespace {

struct MessageTables {
  std::mutex lock;
  std::map<HWND, std::shared_ptr<const WindowMessageHandler>> handlers;
  std::map<LRESULT, ComPtr<IUnknown>> answers;
  LRESULT nextAnswer = 1;
};

MessageTables& Tables() {
  static MessageTables* tables = new MessageTables;  // process-wide, also during exit
  return *tables;
}

void DropHandlersOfGoneWindows(MessageTables& t) {
  std::erase_if(t.handlers, [](const auto& entry) { return !IsWindow(entry.first); });
}

}  // namespace

bool SetWindowMessageHandler(HWND window, WindowMessageHandler handler) {
  MessageTables& t = Tables();
  std::lock_guard guard(t.lock);
  DropHandlersOfGoneWindows(t);
  if (!handler) {
    t.handlers.erase(window);
    return IsWindow(window);
  }
  if (!IsWindow(window)) return false;
  t.handlers[window] = std::make_shared<const WindowMessageHandler>(std::move(handler));
  return true;
}

bool SendMessageTimeoutA(HWND window, unsigned message, WPARAM wParam, LPARAM lParam, unsigned, unsigned,
                         LRESULT* result) {
  if (result) *result = 0;
  std::shared_ptr<const WindowMessageHandler> handler;
  {
    MessageTables& t = Tables();
    std::lock_guard guard(t.lock);
    if (!IsWindow(window)) {
      t.handlers.erase(window);
      return false;
    }
    if (auto at = t.handlers.find(window); at != t.handlers.end()) handler = at->second;
  }
  const LRESULT answer = handler ? (*handler)(window, message, wParam, lParam) : 0;
  if (result) *result = answer;
  return true;
}

LRESULT LresultFromObject(const IID& riid, WPARAM, IUnknown* object) {
  if (!object) return E_INVALIDARG;
  ComPtr<IUnknown> held;
  const HRESULT hr = object->QueryInterface(riid, held.PutVoid());
  if (Failed(hr) || !held) return Failed(hr) ? hr : E_NOINTERFACE;
  MessageTables& t = Tables();
  std::lock_guard guard(t.lock);
  const LRESULT number = t.nextAnswer++;
  t.answers.emplace(number, std::move(held));
  return number;
}

HRESULT ObjectFromLresult(LRESULT result, const IID& riid, WPARAM, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (result <= 0) return E_INVALIDARG;
  ComPtr<IUnknown> held;
  {
    MessageTables& t = Tables();
    std::lock_guard guard(t.lock);
    auto at = t.answers.find(result);
    if (at == t.answers.end()) return E_INVALIDARG;
    held = std::move(at->second);
    t.answers.erase(at);
  }
  return held->QueryInterface(riid, object);
}

}  // namespace pw
