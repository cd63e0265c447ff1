#include "web/events/ie_browser_locator.h"

#include "core/com/agile_objects.h"
#include "platform/kernel/processes.h"
#include "platform/rtl/strings.h"
#include "platform/ui/window_messages.h"
#include "web/navigation/node_facts.h"

namespace pw::web {

namespace {

HWND FirstServerDescendant(HWND window) {
  for (HWND child : GetChildWindowHandles(window))
    if (IsIEServerClass(GetWindowClassName(child))) return child;
  return 0;
}

}  // namespace

bool IsIEServerClass(WideStringView className) {
  constexpr std::size_t kCompared = 24;  // a class-name buffer of 25 characters with its terminator
  return SameTextIgnoringCase(className.substr(0, kCompared), kIEServerClass);
}

HWND GetBrowserWindowHandle(IUnknown* browser) {
  ComPtr<IDispatch> dispatch;
  GlobalToDispatch(browser, dispatch);
  if (!dispatch) return 0;
  try {
    return static_cast<HWND>(static_cast<std::uint32_t>(DispInvoke(dispatch.Get(), u"HWND", {}).AsInt()));
  } catch (const std::exception&) {
    return 0;
  }
}

HWND FindIEServerWindow(IUnknown* browser) {
  if (!browser) return 0;
  const HWND window = GetBrowserWindowHandle(browser);
  if (window == 0 || !IsWindow(window)) return 0;
  return FirstServerDescendant(window);
}

std::vector<HWND> DialogServerWindows() {
  std::vector<HWND> result;
  for (const auto& process : ProcessDescriptions())
    for (const auto& window : process.windows) {
      if (!SameTextIgnoringCase(window.className, kIEDialogFrameClass)) continue;
      if (HWND server = FirstServerDescendant(window.window)) result.push_back(server);
    }
  return result;
}

ComPtr<IDispatch> GetDocumentOfWindow(HWND window) {
  static const unsigned message = RegisterWindowMessageA(kHtmlGetObjectMessage);
  LRESULT answer = 0;
  if (!SendMessageTimeoutA(window, message, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer)) answer = 0;
  ComPtr<IDispatch> document;
  if (answer > 0) ObjectFromLresult(answer, IDispatch::iid, 0, document.PutVoid());
  return document;
}

}  // namespace pw::web
