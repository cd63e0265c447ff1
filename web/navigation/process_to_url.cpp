#include "web/navigation/process_to_url.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "core/automation/dispatch_helpers.h"
#include "core/host/host_services.h"
#include "openapps/extensions/node_utils.h"
#include "platform/automation/bstr.h"
#include "platform/kernel/clock.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "project/wait/wait_helper.h"
#include "web/navigation/browser_processes.h"
#include "web/navigation/canonical_url.h"
#include "web/navigation/indicator_bar.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/page_search.h"
#include "web/navigation/to_url_log.h"
#include "web/navigation/web_helpers.h"
#include "web/navigation/web_log.h"
#include "web/navigation/window_helpers.h"

namespace pw::web {

struct TpwWebProcessToUrlMethod::Call {
  ComPtr<IpwSysNode> process;
  std::int32_t processId = 0;
  WideString url;     // as the script gave it (the log's)
  WideString target;  // where the page is sent: the URL, a relative one against the page's
  std::int32_t waitTime = -1;
  WideString errorText;
  WideString loggedException;
  WideString refusal;  // the message of the last NavigateTo that refused with E_FAIL
};

TpwWebProcessToUrlMethod::TpwWebProcessToUrlMethod(IcvBaseManager* manager, bool isInternetExplorer)
    : AutoImplements(std::vector<IID>{IpwWebPageLocator2::iid}), manager_(manager),
      isInternetExplorer_(isInternetExplorer) {}

namespace {

bool IsIExploreName(WideStringView name) {
  WideString lower = WideLowerCase(name);
  if (lower.ends_with(u".exe")) lower.resize(lower.size() - 4);
  return lower == u"iexplore";
}

}  // namespace

HRESULT TpwWebProcessToUrlMethod::ToUrl(BSTR url, const VARIANT& waitTime, IDispatch** value) {
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"No place for the page", E_POINTER);
    *value = nullptr;
    Call call;
    call.url = WideString(url ? WideStringView(url) : WideStringView());
    call.waitTime = OptionalIntArgument(waitTime, -1);
    call.process = GetSliceNode();
    WideString fullName;
    GetSysNodeFullName(manager_.Get(), call.process.Get(), fullName);
    ComPtr<IDispatch> page = NavigateProcessToUrl(call);
    std::optional<ToUrlProcessFacts> facts;
    if (!call.errorText.empty() && call.process && NodeExists(call.process.Get()))
      facts = ToUrlProcessFacts{NodeText(call.process.Get(), u"Id"), NodeText(call.process.Get(), u"CommandLine")};
    LogToUrlOutcome(manager_.Get(), fullName, call.url, call.errorText, facts);
    *value = page.Detach();
  });
}

ComPtr<IDispatch> TpwWebProcessToUrlMethod::NavigateProcessToUrl(Call& call) {
  ComPtr<IpwSysNode> page;
  [&] {
    if (!call.process) {
      call.errorText = kCannotGetProcessObject;
      return;
    }
    if (auto process = QueryAs<IpwSysObjectProcess>(call.process.Get()))
      SafeCallCheck(process->GetProcessId(&call.processId));
    page = WaitForVisiblePage(call);
    if (!page && CloseUnexpectedWindows(manager_.Get(), call.processId)) page = WaitForVisiblePage(call);
    if (!page) {
      if (!OpenUrlInFrameProcess(call, u"about:blank")) {
        call.errorText = kNoBlankPage;
        return;
      }
      page = WaitForVisiblePage(call);
      if (!page) {
        call.errorText = kNoVisiblePage;
        return;
      }
    }
    CloseUnexpectedWindows(manager_.Get(), call.processId);
    ActivateNodeWindow(manager_.Get(), page.Get());
    if (!CallPageNavigateTo(call, page.Get())) {
      OpenUrlInFrameProcess(call, u"about:blank");
      page = WaitForVisiblePage(call);
      if (!page) {
        call.errorText = kNoBlankPage;
        return;
      }
      // Refused twice and no frame to type the URL into: nothing was opened, which is no success.
      if (!CallPageNavigateTo(call, page.Get()) && !OpenUrlInFrameProcess(call, call.target)) {
        if (!call.refusal.empty() && call.refusal != call.loggedException) {
          call.loggedException = call.refusal;
          WideString pageName;
          GetObjectFullName(manager_.Get(), page.Get(), pageName);
          WriteWebLog(manager_.Get(), pageName, call.refusal, {}, u"", {}, TpwWebLogKind::Error, nullptr);
        }
        if (call.errorText.empty()) call.errorText = kErrorCallingNavigateTo;
      }
    }
    // Settle: the navigation may replace the page.
    const DWORD start = GetTickCount();
    for (;;) {
      SleepMs(kSettleStepMs);
      if (!NodeExists(page.Get())) {
        page = WaitForVisiblePage(call);
        break;
      }
      if (GetTickCount() - start > kSettleWaitMs || !IsTestRunning(manager_.Get())) break;
    }
  }();
  ComPtr<IDispatch> answer = page ? DispatchOf(page.Get()) : nullptr;
  if (!answer) {
    ComPtr<IUnknown> found =
        FindPageByIdentification(manager_.Get(), PageIdentification(call.target.empty() ? call.url : call.target));
    answer = DispatchOf(found.Get());
    // The host's placeholder for a name that denotes nothing is no page.
    if ((!answer || !NodeExists(answer.Get())) && call.errorText.empty()) call.errorText = kNoPageAfterNavigate;
  }
  return answer;
}

ComPtr<IpwSysNode> TpwWebProcessToUrlMethod::WaitForVisiblePage(Call& call) {
  if (!call.process) return nullptr;
  const std::int32_t limit =
      std::max(IntSetting(manager_.Get(), project::kDefaultWaitTimeoutSetting, 0), kMinimumPageWaitMs);
  const DWORD start = GetTickCount();
  std::unique_ptr<TpwIndicatorBar> bar;
  ComPtr<IpwSysNode> page;
  do {
    page = FindVisibleBrowserPage(call.process.Get(), manager_.Get());
    if (page) break;
    if (!bar) bar = std::make_unique<TpwIndicatorBar>(manager_.Get(), u"Waiting for Page('*')", limit);
    ComPtr<IpwSysNode> process = GetSliceNode();
    bar->Update(static_cast<std::int32_t>(GetTickCount() - start));
    if (!process || !NodeExists(process.Get())) return nullptr;
    if (auto ex = QueryAs<IpwSysNodeEx>(process.Get())) SafeCallCheck(ex->Refresh());
  } while (GetTickCount() - start <= static_cast<DWORD>(limit) && IsTestRunning(manager_.Get()));
  return page;
}

bool TpwWebProcessToUrlMethod::CallPageNavigateTo(Call& call, IUnknown* page) {
  call.errorText = kNoNavigateToMethod;
  WideString pageName;
  GetObjectFullName(manager_.Get(), page, pageName);
  auto target = DispatchOf(page);
  if (!target || !DispHasMember(target.Get(), u"NavigateTo")) return false;
  call.errorText.clear();
  // A relative URL is taken against the page's location, as a browser's address takes it.
  call.target = call.url;
  if (IsRelativeUrl(call.url)) call.target = ResolveUrl(NodeText(page, u"URL"), call.url);
  try {
    const OleVariant args[] = {OleVariant(call.target), OleVariant(call.waitTime)};
    DispInvoke(target.Get(), u"NavigateTo", args);
  } catch (const EOleSysError& e) {
    if (e.ErrorCode() == E_FAIL) {
      call.refusal = e.Message();
      return false;
    }
    if (!e.Message().empty() && e.Message() != call.loggedException) {
      call.loggedException = e.Message();
      WriteWebLog(manager_.Get(), pageName, e.Message(), {}, u"", {}, TpwWebLogKind::Error, nullptr);
    }
  }
  return true;
}

ComPtr<IpwSysNode> TpwWebProcessToUrlMethod::FindFrameProcess(Call& call) {
  auto process = QueryAs<IpwSysObjectProcess>(call.process.Get());
  if (!process) return nullptr;
  BString name, commandLine;
  SafeCallCheck(process->GetProcessName(name.Put()));
  if (!IsIExploreName(name.View())) return nullptr;
  SafeCallCheck(process->GetCommandLine(commandLine.Put()));
  if (commandLine.View().find(u"SCODEF:") == WideStringView::npos) return call.process;
  auto frameId = FrameProcessIdOf(commandLine.View());
  if (!frameId) return nullptr;
  ComPtr<IpwSysNode> parent;
  SafeCallCheck(call.process->GetParent(parent.Put()));
  TpwSysNodeChildren siblings;
  GetSysNodeChildren(parent.Get(), false, siblings);
  for (const auto& s : siblings) {
    auto p = QueryAs<IpwSysObjectProcess>(s.Get());
    std::int32_t id = 0;
    if (p && Succeeded(p->GetProcessId(&id)) && id == *frameId) return s;
  }
  return nullptr;
}

bool TpwWebProcessToUrlMethod::OpenUrlInFrameProcess(Call& call, WideStringView url) {
  if (!isInternetExplorer_) return false;
  auto frame = FindFrameProcess(call);
  if (!frame) return false;
  try {
    const OleVariant index[] = {OleVariant(0)};
    OleVariant window = DispInvoke(DispatchOf(frame.Get()).Get(), u"IEFrame", index);
    const OleVariant keys[] = {OleVariant(MakeAddressBarKeys(url))};
    DispInvoke(VarToDispatch(window.Get()).Get(), u"Keys", keys);
    return true;
  } catch (const EOleSysError&) {
    return false;
  }
}

}  // namespace pw::web
