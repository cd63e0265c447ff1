#include "web/navigation/window_helpers.h"

#include "core/host/host_services.h"
#include "openapps/extensions/node_utils.h"
#include "openapps/picture/picture.h"
#include "platform/automation/bstr.h"
#include "platform/kernel/clock.h"
#include "platform/rtl/exceptions.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/page_search.h"
#include "web/navigation/web_log.h"

namespace pw::web {

bool ActivateNodeWindow(IcvBaseManager* manager, IUnknown* node) {
  if (!node || !IsTestRunning(manager)) return false;
  ComPtr<IUnknown> window;
  for (ComPtr<IUnknown> n(node); n; n = ComPtr<IUnknown>(ParentOf(n.Get()).Get())) {
    if (QueryAs<IpwSysObjectWindow>(n.Get())) {
      window = n;
      break;
    }
  }
  if (!window) {
    auto pivot = QueryAs<IpwSysObjectControlWithPivotWindow>(node);
    if (!pivot) return false;
    std::int32_t handle = 0;
    SafeCallCheck(pivot->GetPivotWindow(&handle));
    const DWORD start = GetTickCount();
    while (handle == 0 && GetTickCount() - start < kPivotWindowWaitMs) {
      SleepMs(kPivotWindowStepMs);
      SafeCallCheck(pivot->GetPivotWindow(&handle));
    }
    if (auto windows = GetHostService<IcvWindowsManager>(manager, kWindowsManagerService)) {
      std::int32_t foreground = 0;
      SafeCallCheck(windows->GetForegroundWindow(&foreground));
      if (handle == foreground) return false;
    }
    auto sys = GetHostService<IpwSysManager>(manager, kSysManagerService);
    if (!sys) return false;
    ComPtr<IpwSysNode> found;
    SafeCallCheck(sys->GetWindowNode(handle, found.Put()));
    if (!found) return false;
    window = ComPtr<IUnknown>(found.Get());
  }
  for (ComPtr<IUnknown> n = window; n; n = ComPtr<IUnknown>(ParentOf(n.Get()).Get())) {
    auto actions = QueryAs<IpwSysWindowActions>(n.Get());
    if (!actions) continue;
    TpwZeroWaitTimeout zero(n.Get());
    if (!NodeIsVisible(n.Get(), true)) return false;
    SafeCallCheck(actions->Activate());
    return true;
  }
  return false;
}

bool CloseUnexpectedWindows(IcvBaseManager* manager, std::int32_t processId) {
  auto windows = GetHostService<IcvWindowsManager>(manager, kWindowsManagerService);
  auto sys = GetHostService<IpwSysManager>(manager, kSysManagerService);
  if (!windows || !sys) return false;
  ComPtr<IpwWindowList> list;
  SafeCallCheck(windows->GetWindowsOfProcess(processId, list.Put()));
  if (!list) return false;
  std::int32_t count = 0;
  SafeCallCheck(list->GetCount(&count));
  bool closed = false;
  for (std::int32_t i = 0; i < count; ++i) {
    std::int32_t handle = 0, flags = 0;
    SafeCallCheck(list->GetWindow(i, &handle));
    SafeCallCheck(windows->GetWindowStateFlags(handle, &flags));
    if (!(flags & 1)) continue;
    ComPtr<IpwSysNode> node;
    SafeCallCheck(sys->GetWindowNode(handle, node.Put()));
    if (!node || !QueryAs<IpwSysWindowActions>(node.Get())) continue;
    BString className;
    SafeCallCheck(windows->GetWindowClassName(handle, className.Put()));
    const bool opera = className.View() == kOperaWindowClass;
    ActivateNodeWindow(manager, node.Get());
    // The window's picture, when the windows manager gives one; a picture that cannot be taken
    // (a page whose dialog blocks its shots) does not keep the window from being closed.
    ComPtr<TpwPicture> picture;
    std::int32_t bitmap = 0;
    if (Succeeded(windows->GetWindowPicture(handle, 0, &bitmap)) && bitmap) {
      picture = MakeObject<TpwPicture>(manager);
      picture->SetHandle(bitmap);
    }
    LogNodeMessageWithPicture(manager, node.Get(), opera ? kCloseWithEnterText : kCloseWithEscText, {}, u"", {},
                              TpwWebLogKind::Warning,
                              picture ? static_cast<IUnknown*>(static_cast<IDispatch*>(picture->Dispatch())) : nullptr);
    TpwZeroWaitTimeout zero(node.Get());
    const OleVariant keys(opera ? u"[Enter]" : u"[Esc]");
    closed = true;
    DispInvoke(DispatchOf(node.Get()).Get(), u"Keys", std::span<const OleVariant>(&keys, 1));
  }
  return closed;
}

}  // namespace pw::web
