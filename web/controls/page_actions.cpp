#include "web/controls/page_actions.h"

#include "core/host/host_services.h"
#include "core/host/invoke_expressions.h"
#include "openapps/extensions/node_utils.h"
#include "platform/automation/bstr.h"
#include "platform/automation/safearray.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "project/wait/wait_helper.h"
#include "web/controls/control_values.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/page_search.h"
#include "web/navigation/web_log.h"
#include "web/navigation/window_to_url.h"

namespace pw::web {

namespace {

ComPtr<IpwSysNode> ProcessNodeOf(IpwSysNode* page) {
  for (ComPtr<IpwSysNode> n = ParentOf(page); n; n = ParentOf(n.Get()))
    if (QueryAs<IpwSysObjectProcess>(n.Get())) return n;
  return nullptr;
}

bool OnlyPageOf(IpwSysNode* process) {
  TpwSysNodeChildren children;
  GetSysNodeChildren(process, false, children);
  int pages = 0;
  for (const auto& child : children) pages += IsPageNode(child.Get()) ? 1 : 0;
  return pages == 1;
}

// The first element of the context's information, when it answers with an array; else empty.
WideString InformationName(IUnknown* context) {
  auto info = QueryAs<IpwPageContextInformation>(context);
  if (!info) return {};
  OleVariant value;
  VARIANT_BOOL answered = VARIANT_FALSE;
  SafeCallCheck(info->GetPageInformation(value.Ptr(), &answered));
  const VARIANT& v = VariantDeref(value.Get());
  if (!answered || !(v.vt & VT_ARRAY) || !v.parray) return {};
  std::int32_t low = 0, high = -1;
  if (Failed(SafeArrayGetLBound(v.parray, 1, &low)) || Failed(SafeArrayGetUBound(v.parray, 1, &high)) || high < low)
    return {};
  OleVariant first;
  if ((v.vt & VT_TYPEMASK) == VT_VARIANT) {
    OleCheck(SafeArrayGetElement(v.parray, &low, first.Ptr()));
  } else if ((v.vt & VT_TYPEMASK) == VT_BSTR) {
    BSTR text = nullptr;
    OleCheck(SafeArrayGetElement(v.parray, &low, &text));
    first = OleVariant(WideString(BstrView(text)));
    SysFreeString(text);
  } else {
    return {};
  }
  return ToText(first);
}

WideString NameTextOf(IUnknown* node) {
  auto text = QueryAs<IpwSysNodeNameText>(node);
  if (!text) return {};
  BString name;
  SafeCallCheck(text->GetNameText(name.Put()));
  return WideString(name.View());
}

bool CloseThroughBrowser(IpwObjectContext2* context) {
  ComPtr<IDispatch> browser;
  SafeCallCheck(context->GetObject(browser.Put()));
  if (!browser) return false;
  try {
    DispInvokeId(browser.Get(), kBrowserCloseDispid, u"Close", {}, DISPATCH_METHOD);
    return true;
  } catch (const Exception&) {
    return false;  // the browser refused: the window way follows
  }
}

bool CloseThroughWindow(IcvBaseManager* manager, IpwSysNode* page, std::int32_t waitTime) {
  auto pivot = QueryAs<IpwSysObjectControlWithPivotWindow>(page);
  auto sys = GetHostService<IpwSysManager>(manager, kSysManagerService);
  if (!pivot || !sys) return false;
  std::int32_t handle = 0;
  SafeCallCheck(pivot->GetPivotWindow(&handle));
  ComPtr<IpwSysNode> windowNode;
  SafeCallCheck(sys->GetWindowNode(handle, windowNode.Put()));
  for (ComPtr<IpwSysNode> n = windowNode; n; n = ParentOf(n.Get())) {
    auto actions = QueryAs<IpwSysWindowActions>(n.Get());
    if (!actions) continue;
    TpwZeroWaitTimeout zero(n.Get());
    SafeCallCheck(actions->Close(waitTime));
    return true;
  }
  return false;
}

}  // namespace

HRESULT TpwBrowserPageActions::ClosePage() {
  return SafeCall([&] {
    auto page = GetSliceNode();
    auto native = QueryAs<IpwNativeContext>(page.Get());
    if (!native) return;
    ComPtr<IUnknown> contextObject;
    SafeCallCheck(native->GetPageContext(contextObject.Put()));
    auto context = QueryAs<IpwObjectContext2>(contextObject.Get());
    if (!context) return;

    auto process = ProcessNodeOf(page.Get());
    const bool onlyPage = process && OnlyPageOf(process.Get());
    WideString name = InformationName(context.Get());
    if (name.empty()) name = NameTextOf(page.Get());
    WideString fullName;
    GetSysNodeFullName(manager_.Get(), page.Get(), fullName);

    const std::int32_t setting =
        IntSetting(manager_.Get(), project::kDefaultWaitTimeoutSetting, kPageLoadingFallbackMs);
    const DWORD timeout = setting < 0 ? TpwTimeoutCounter::kNoTimeLimit : static_cast<DWORD>(setting);

    bool closed = CloseThroughBrowser(context.Get());
    if (!closed) closed = CloseThroughWindow(manager_.Get(), page.Get(), setting);
    if (closed) {
      // A page already gone counts also when the time-out (0, or a run that started or stopped)
      // ends the wait before its first look.
      closed = WaitWithTimeoutCounter(manager_.Get(), page.Get(), timeout) || !NodeExists(page.Get());
      if (onlyPage) WaitWithTimeoutCounter(manager_.Get(), process.Get(), timeout);
    }
    // The full name stands alone as the additional text.
    LogNamedMessage(manager_.Get(), fullName, closed ? u"The '%s' page was closed." : u"The '%s' page was not closed.",
                    {name}, u"", {}, closed ? TpwWebLogKind::Event : TpwWebLogKind::Error);
  });
}

}  // namespace pw::web
