#include "web/navigation/ie_frame.h"

#include <algorithm>
#include <cstdint>

#include "core/automation/dispatch_helpers.h"
#include "openapps/extensions/node_utils.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "project/wait/wait_helper.h"
#include "web/navigation/canonical_url.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/page_search.h"
#include "web/navigation/window_to_url.h"

namespace pw::web {

TpwWebIEFrameMethod::TpwWebIEFrameMethod(IcvBaseManager* manager, std::int32_t frameProcessId)
    : AutoImplements(std::vector<IID>{IpwWebIEFrameMethod::iid}), manager_(manager), frameProcessId_(frameProcessId) {}

HRESULT TpwWebIEFrameMethod::IEFrame(std::int32_t index, IDispatch** value) {
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"No place for the frame", E_POINTER);
    *value = nullptr;
    const std::int32_t limit = IntSetting(manager_.Get(), project::kDefaultWaitTimeoutSetting, 0);
    *value = FindFrame(index, static_cast<DWORD>(std::max(limit, 0))).Detach();
  });
}

HRESULT TpwWebIEFrameMethod::WaitIEFrame(std::int32_t index, std::int32_t timeout, IDispatch** value) {
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"No place for the frame", E_POINTER);
    *value = nullptr;
    const DWORD limit = timeout == -1 ? TpwTimeoutCounter::kNoTimeLimit : static_cast<DWORD>(std::max(timeout, 0));
    *value = FindFrame(index, limit).Detach();
  });
}

namespace {

// Window("IEFrame", "*", Index + 1) of the frame process among the root's children; nil when
// the process or an existing window is not there. IEFrame counts frames from 0 (IEFrame(0) is
// the first), a process's Window counts its windows from 1.
ComPtr<IDispatch> LookForFrame(IpwSysNode* root, std::int32_t frameProcessId, std::int32_t index) {
  TpwSysNodeChildren children;
  GetSysNodeChildren(root, false, children);
  for (const auto& child : children) {
    auto process = QueryAs<IpwSysObjectProcess>(child.Get());
    std::int32_t id = 0;
    if (!process || Failed(process->GetProcessId(&id)) || id != frameProcessId) continue;
    try {
      const std::int32_t windowIndex = index < INT32_MAX ? index + 1 : index;
      const OleVariant args[] = {OleVariant(u"IEFrame"), OleVariant(u"*"), OleVariant(windowIndex)};
      OleVariant window = DispInvoke(DispatchOf(child.Get()).Get(), u"Window", args);
      auto frame = VarToDispatch(window.Get());
      if (frame && NodeExists(frame.Get())) return frame;
    } catch (const EOleSysError&) {
      // a process that cannot answer has no frame yet
    }
    return nullptr;
  }
  return nullptr;
}

// The page shown in the frame window among the pages of the browser node above the frame:
// one whose pivot window is the frame's window. Nil when the frame has no window handle or no
// browser node is above it.
ComPtr<IpwSysNode> FramePageOfBrowser(IpwSysNode* frame, const GUID& contextKey, WideStringView wanted,
                                      IcvBaseManager* manager) {
  auto window = QueryAs<IpwSysObjectWindow>(frame);
  std::int32_t handle = 0;
  if (!window || Failed(window->GetHandle(&handle)) || handle == 0) return nullptr;
  ComPtr<IpwSysNode> browser = FindBrowserNode(frame);
  if (!browser) return nullptr;
  return FindPageByProperty(browser.Get(), contextKey, wanted, true, manager, [handle](IpwSysNode* page) {
    auto pivot = QueryAs<IpwSysObjectControlWithPivotWindow>(page);
    std::int32_t shown = 0;
    return pivot && Succeeded(pivot->GetPivotWindow(&shown)) && shown == handle;
  });
}

}  // namespace

ComPtr<IDispatch> TpwWebIEFrameMethod::FindFrame(std::int32_t index, DWORD limit) {
  ComPtr<IDispatch> answer;
  ComPtr<IpwSysNode> node = GetSliceNode();
  if (frameProcessId_ != 0 && node) {
    ComPtr<IpwSysNode> root;
    SafeCallCheck(node->GetParent(root.Put()));
    if (root) {
      auto counter = MakeObject<TpwTimeoutCounter>(manager_.Get(), limit, kWaitingForIEFrameText);
      for (;;) {
        answer = LookForFrame(root.Get(), frameProcessId_, index);
        if (answer) break;
        VARIANT_BOOL expired = VARIANT_TRUE;
        SafeCallCheck(counter->IsExpired(&expired));
        if (expired != VARIANT_FALSE || !IsTestRunning(manager_.Get())) break;
        SafeCallCheck(counter->Wait(static_cast<std::int32_t>(kIEFrameWaitStepMs)));
        if (auto ex = QueryAs<IpwSysNodeEx>(root.Get())) SafeCallCheck(ex->Refresh());
      }
    }
  }
  if (!answer) answer = DispatchOf(FindPageByIdentification(manager_.Get(), u"IEFrame").Get());
  return answer;
}

TpwWebIEFrameExtender::TpwWebIEFrameExtender(IcvBaseManager* manager, const GUID& contextKey)
    : AutoImplements(std::vector<IID>{IpwWebIEFrame::iid}), manager_(manager), contextKey_(contextKey) {}

HRESULT TpwWebIEFrameExtender::Page(BSTR url, IDispatch** value) {
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"No place for the page", E_POINTER);
    *value = nullptr;
    ComPtr<IpwSysNode> node = GetSliceNode();
    if (!node) return;
    const WideString given(url ? WideStringView(url) : WideStringView());
    ComPtr<IpwSysNode> page;
    try {
      const WideString wanted = given == u"*" ? given : CanonicalizeUrl(given);
      page = FindPageByProperty(node.Get(), contextKey_, wanted, true, manager_.Get());
      if (!page) {
        ComPtr<IpwSysNode> browser = ReferencedNodeOf(node.Get());
        if (browser && !SameObject(browser.Get(), node.Get()))
          page = FindPageByProperty(browser.Get(), contextKey_, wanted, true, manager_.Get());
      }
      if (!page) page = FramePageOfBrowser(node.Get(), contextKey_, wanted, manager_.Get());
    } catch (const EOleSysError&) {
      page = nullptr;  // the host's object for the name below answers instead
    }
    ComPtr<IDispatch> answer =
        page ? DispatchOf(page.Get())
             : DispatchOf(FindPageByIdentification(manager_.Get(), PageIdentification(given)).Get());
    *value = answer.Detach();
  });
}

}  // namespace pw::web
