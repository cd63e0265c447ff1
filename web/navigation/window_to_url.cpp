#include "web/navigation/window_to_url.h"

#include <algorithm>
#include <optional>

#include "core/automation/dispatch_helpers.h"
#include "core/host/invoke_expressions.h"
#include "openapps/extensions/node_utils.h"
#include "platform/automation/bstr.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "project/wait/wait_helper.h"
#include "web/navigation/browser_processes.h"
#include "web/navigation/canonical_url.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/page_search.h"
#include "web/navigation/process_to_url.h"
#include "web/navigation/to_url_log.h"
#include "web/navigation/web_helpers.h"
#include "web/navigation/web_log.h"
#include "web/navigation/window_helpers.h"
#include "web/options/web_testing_options.h"

namespace pw::web {

TpwWebToUrlMethod::TpwWebToUrlMethod(IcvBaseManager* manager, const GUID& contextKey, bool waitForPage)
    : AutoImplements(manager, std::vector<IID>{IpwWebObjectLocator::iid, IpwWebPageLocator::iid}),
      contextKey_(contextKey), waitForPage_(waitForPage) {}

ComPtr<IpwSysNode> FindBrowserNode(IUnknown* node) {
  ComPtr<IpwSysNode> at = QueryAs<IpwSysNode>(node);
  while (at) {
    if (SameTextIgnoringCase(GetNodeObjectType(at.Get()), u"browser")) return at;
    ComPtr<IpwSysNode> parent;
    SafeCallCheck(at->GetParent(parent.Put()));
    at = parent;
  }
  return nullptr;
}

ComPtr<IDispatch> GetBrowserObject(IUnknown* node) {
  if (!QueryAs<IpwSysNode>(node)) return nullptr;
  // A page that gives its page context through its native context: that context's object.
  if (auto native = QueryAs<IpwNativeContext>(node)) {
    ComPtr<IUnknown> contextObject;
    SafeCallCheck(native->GetPageContext(contextObject.Put()));
    if (auto context = QueryAs<IpwObjectContext2>(contextObject.Get())) {
      ComPtr<IDispatch> browser;
      SafeCallCheck(context->GetObject(browser.Put()));
      if (browser) return browser;
    }
  }
  auto item = GetNodeContextItem(node);
  if (!item) return nullptr;
  ComPtr<IUnknown> object;
  SafeCallCheck(item->GetNativeObject(object.Put()));
  return QueryAs<IDispatch>(object.Get());
}

bool IsLoginPage(IUnknown* node) {
  auto ex = QueryAs<IpwSysNodeEx>(node);
  if (!ex) return false;
  SafeCallCheck(ex->Refresh());
  TpwSysNodeChildren children;
  GetSysNodeChildren(ex.Get(), false, children);
  if (children.empty()) return false;
  if (SameTextIgnoringCase(GetNodeObjectType(children.front().Get()), u"login")) return true;
  return children.size() >= 2 && SameTextIgnoringCase(GetNodeObjectType(children.back().Get()), u"login");
}

namespace {

WideString BrowserUrl(IDispatch* browser) { return DispInvokeId(browser, kBrowserUrlDispid, u"URL", {}).AsString(); }

// The URL of the browser, or empty when it cannot tell.
WideString BrowserUrlOrEmpty(IDispatch* browser) {
  if (!browser) return {};
  try {
    return BrowserUrl(browser);
  } catch (const EOleSysError&) {
    return {};
  }
}

bool Expired(IpwTimeoutCounter* counter) {
  VARIANT_BOOL expired = VARIANT_TRUE;
  SafeCallCheck(counter->IsExpired(&expired));
  return expired != VARIANT_FALSE;
}

ComPtr<IpwSysNode> ProcessNodeAbove(IUnknown* node) {
  ComPtr<IpwSysNode> at = QueryAs<IpwSysNode>(node);
  while (at && !QueryAs<IpwSysObjectProcess>(at.Get())) {
    ComPtr<IpwSysNode> parent;
    SafeCallCheck(at->GetParent(parent.Put()));
    at = parent;
  }
  return at;
}

}  // namespace

HRESULT TpwWebToUrlMethod::get_URL(BSTR* value) {
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"No place for the URL", E_POINTER);
    *value = nullptr;
    auto browser = GetBrowserObject(GetSliceNode().Get());
    if (!browser) throw EOleSysError(kCannotGetBrowserObject, E_UNEXPECTED);
    *value = BString(BrowserUrl(browser.Get())).Detach();
  });
}

HRESULT TpwWebToUrlMethod::NavigateTo(BSTR url, const VARIANT& waitTime) {
  return SafeCall([&] {
    NavigateAndWait(url ? WideStringView(url) : WideStringView(), true, nullptr, OptionalIntArgument(waitTime, -1));
  });
}

HRESULT TpwWebToUrlMethod::Wait(const VARIANT& waitTime, BSTR* value) {
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"No place for the URL", E_POINTER);
    *value = nullptr;
    NavigateAndWait({}, false, nullptr, OptionalIntArgument(waitTime, -1));
    auto browser = GetBrowserObject(GetSliceNode().Get());
    *value = BString(CanonicalizeUrl(BrowserUrlOrEmpty(browser.Get()))).Detach();
  });
}

WideString TpwWebToUrlMethod::NavigateAndWait(WideStringView url, bool navigate, IpwSysNode* givenBrowserNode,
                                              std::int32_t waitTime) {
  ComPtr<IpwSysNode> page = GetSliceNode();
  ComPtr<IpwSysNode> browserNode(givenBrowserNode);
  if (!browserNode) browserNode = FindBrowserNode(page.Get());
  ComPtr<IDispatch> browser = GetBrowserObject(page.Get());
  if (!browser) throw EOleSysError(kCannotGetBrowserObject, E_UNEXPECTED);
  const WideString target = ResolveUrl(BrowserUrlOrEmpty(browser.Get()), url);
  std::int32_t limit = waitTime;
  if (limit < 0) {
    limit = IntSetting(manager_.Get(), kPageLoadingTimeoutOption, -1);
    if (limit < 0) limit = IntSetting(manager_.Get(), project::kDefaultWaitTimeoutSetting, kPageLoadingFallbackMs);
    if (limit < 0) limit = kPageLoadingFallbackMs;
  }
  const WideString text = navigate ? u"Navigating to the '" + WideString(url) + u"' web page."
                                   : WideString(u"Waiting until the web page is loaded.");
  auto counter = MakeObject<TpwTimeoutCounter>(manager_.Get(), static_cast<DWORD>(limit), text);
  if (navigate) {
    const OleVariant args[] = {OleVariant(WideString(url))};
    DispInvokeId(browser.Get(), kBrowserNavigateDispid, u"Navigate", args);
  }
  if (page && NodeExists(page.Get())) {
    const OleVariant args[] = {OleVariant(navigate)};
    DispInvokeId(browser.Get(), kBrowserNavigatedDispid, u"Navigated", args);
  } else {
    SafeCallCheck(counter->Wait(static_cast<std::int32_t>(kBrowserFirstWaitMs)));
  }
  while (!Expired(counter.Get())) {
    if ((!page || !NodeExists(page.Get())) && givenBrowserNode) {
      page = FindPageByProperty(browserNode.Get(), contextKey_, target, false, manager_.Get());
      browser = page ? GetBrowserObject(page.Get()) : nullptr;
      if (!browser) break;
    }
    const OleVariant args[] = {OleVariant(navigate)};
    const OleVariant ready = DispInvokeId(browser.Get(), kBrowserReadyDispid, u"Ready", args);
    if (ready.Get().vt == VT_BOOL && ready.Get().boolVal != VARIANT_FALSE) {
      if (SameTextIgnoringCase(CanonicalizeUrl(BrowserUrl(browser.Get())), target)) break;
      if (browserNode && IsLoginPage(browserNode.Get())) break;
    }
    SafeCallCheck(counter->Wait(static_cast<std::int32_t>(kBrowserReadyStepMs)));
  }
  return WideString(url);
}

void TpwWebToUrlMethod::TypeUrlIntoAddressBar(WideStringView url) {
  // The frame process of the page: its own process, or for an IE tab process the "SCODEF:" one.
  ComPtr<IpwSysNode> process = ProcessNodeAbove(GetSliceNode().Get());
  auto p = QueryAs<IpwSysObjectProcess>(process.Get());
  if (!p) return;
  BString name, commandLine;
  SafeCallCheck(p->GetProcessName(name.Put()));
  SafeCallCheck(p->GetCommandLine(commandLine.Put()));
  WideString lower = WideLowerCase(name.View());
  if (lower.ends_with(u".exe")) lower.resize(lower.size() - 4);
  ComPtr<IpwSysNode> frame = process;
  if (lower == u"iexplore") {
    if (commandLine.View().find(u"SCODEF:") != WideStringView::npos) {
      auto wanted = FrameProcessIdOf(commandLine.View());
      frame = nullptr;
      ComPtr<IpwSysNode> parent;
      SafeCallCheck(process->GetParent(parent.Put()));
      TpwSysNodeChildren siblings;
      GetSysNodeChildren(parent.Get(), false, siblings);
      for (const auto& s : siblings) {
        auto sp = QueryAs<IpwSysObjectProcess>(s.Get());
        std::int32_t id = 0;
        if (wanted && sp && Succeeded(sp->GetProcessId(&id)) && id == *wanted) frame = s;
      }
    }
  }
  if (!frame) return;
  const OleVariant index[] = {OleVariant(0)};
  OleVariant window = DispInvoke(DispatchOf(frame.Get()).Get(), u"IEFrame", index);
  const OleVariant keys[] = {OleVariant(MakeAddressBarKeys(CanonicalizeUrl(url)))};
  DispInvoke(VarToDispatch(window.Get()).Get(), u"Keys", keys);
}

HRESULT TpwWebToUrlMethod::ToUrl(BSTR url, const VARIANT& waitTime, IDispatch** value) {
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"No place for the page", E_POINTER);
    *value = nullptr;
    const WideString given(url ? WideStringView(url) : WideStringView());
    ComPtr<IpwSysNode> node = GetSliceNode();
    WideString fullName;
    GetSysNodeFullName(manager_.Get(), node.Get(), fullName);
    WideString errorText;
    ComPtr<IDispatch> page = ToUrlCore(given, OptionalIntArgument(waitTime, -1), errorText);
    LogToUrlOutcome(manager_.Get(), fullName, given, errorText, std::nullopt);
    *value = page.Detach();
  });
}

ComPtr<IDispatch> TpwWebToUrlMethod::ToUrlCore(WideStringView url, std::int32_t waitTime, WideString& errorText) {
  ComPtr<IpwSysNode> node = GetSliceNode();
  if (!node) {
    errorText = kCannotFindPageNode;
    return nullptr;
  }
  ActivateNodeWindow(manager_.Get(), node.Get());
  ComPtr<IpwSysNode> browserNode = FindBrowserNode(node.Get());
  if (!browserNode) {
    errorText = kCannotFindBrowserNode;
    return nullptr;
  }
  ComPtr<IpwSysNode> browser = ReferencedNodeOf(browserNode.Get());
  if (!browser || !GetBrowserObject(node.Get())) {
    errorText = kCannotGetBrowserObject;
    return nullptr;
  }
  const WideString browserUrl = BrowserUrlOrEmpty(GetBrowserObject(node.Get()).Get());
  WideString target;
  try {
    target = NavigateAndWait(url, true, browser.Get(), waitTime);
    if (target.empty()) {
      errorText = kUnableToCallNavigateTo;
      return nullptr;
    }
  } catch (const EOleSysError& e) {
    if (e.ErrorCode() != E_FAIL) {
      WideString name;
      GetSysNodeFullName(manager_.Get(), node.Get(), name);
      if (!e.Message().empty())
        WriteWebLog(manager_.Get(), name, e.Message(), {}, u"", {}, TpwWebLogKind::Error, nullptr);
      errorText = kErrorCallingNavigateTo;
      return nullptr;
    }
    try {
      TypeUrlIntoAddressBar(url);
    } catch (const EOleSysError&) {
      errorText = kErrorCallingNavigateTo;
      return nullptr;
    }
  }
  target = ResolveUrl(browserUrl, url);
  // The page below the browser, looked for every 100 ms within the default wait time-out.
  const std::int32_t limit = std::max(IntSetting(manager_.Get(), project::kDefaultWaitTimeoutSetting, 0), 0);
  ComPtr<IpwSysNode> page;
  {
    auto counter = MakeObject<TpwTimeoutCounter>(manager_.Get(), static_cast<DWORD>(limit),
                                                 u"Waiting for Page('" + target + u"')");
    for (;;) {
      page = FindPageByProperty(browser.Get(), contextKey_, target, false, manager_.Get());
      if (page && NodeExists(page.Get())) break;
      page = nullptr;
      if (IsLoginPage(browser.Get())) break;
      if (!waitForPage_ || Expired(counter.Get()) || !IsTestRunning(manager_.Get())) break;
      SafeCallCheck(counter->Wait(static_cast<std::int32_t>(kPageLookStepMs)));
    }
  }
  if (!page)
    if (auto process = ProcessNodeAbove(node.Get())) page = FindVisibleBrowserPage(process.Get(), manager_.Get());
  ComPtr<IDispatch> answer = page ? DispatchOf(page.Get()) : nullptr;
  if (!answer) {
    answer = DispatchOf(FindPageByIdentification(manager_.Get(), PageIdentification(url)).Get());
    // The host's placeholder for a name that denotes nothing is no page.
    if (!answer || !NodeExists(answer.Get())) errorText = kNoPageAfterNavigate;
  }
  return answer;
}

}  // namespace pw::web
