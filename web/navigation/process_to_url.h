// TpwWebProcessToUrlMethod: the slice that gives a browser process node ToUrl
// (IpwWebPageLocator2): it takes the page the browser shows (opening "about:blank" through the
// frame of an "iexplore" browser when there is none), calls that page's "NavigateTo" (URL,
// WaitTime), lets the browser settle for at most 200 ms (20 ms steps), looks the page up again
// when the old one went, and writes one entry to the test log: the event "Navigating to the %s
// page." or the error "Unable to navigate to the %s page." with the reason (and, for a live
// process, its "Id" and "CommandLine"). The call itself never fails for a failed navigation:
// the script gets the page or nil.
//
// - The page wait takes the default wait time-out setting but never less than 30000 ms, shows
//   "Waiting for Page('*')" after the first miss, and ends when the process goes or the run ends.
// - A relative URL (no scheme) is taken against the page's location (its "URL") before it
//   reaches NavigateTo; the log names the URL as given.
// - A NavigateTo that raises E_FAIL leads to the "about:blank" retry (only an "iexplore"
//   browser can open a page by typing into its frame); refused again with no frame to type the
//   URL into, nothing was opened: the refusal's message is logged (an error with the page's full
//   name) and the call fails with "An error occurred while calling the NavigateTo method.".
//   Another exception is logged once per call and counts as a completed call.
// - The final lookup asks the host for Page("URL"); a placeholder that does not exist is
//   returned but the call is logged as failed ("Cannot find the Page node after calling the
//   NavigateTo method.").
#pragma once

#include "interfaces/pwWebTesting.h"
#include "openapps/extensions/node_slice.h"

namespace pw::web {

inline constexpr char16_t kNoBlankPage[] = u"Cannot find any existing or open blank page.";
inline constexpr char16_t kNoVisiblePage[] = u"Cannot find any visible Page node.";
inline constexpr char16_t kNoNavigateToMethod[] = u"Unable to find the NavigateTo method.";
inline constexpr char16_t kNoPageAfterNavigate[] = u"Cannot find the Page node after calling the NavigateTo method.";
inline constexpr std::int32_t kMinimumPageWaitMs = 30000;
inline constexpr DWORD kSettleWaitMs = 200;
inline constexpr DWORD kSettleStepMs = 20;

class TpwWebProcessToUrlMethod final : public AutoImplements<TpwNodeSlice, IpwWebPageLocator2> {
 public:
  TpwWebProcessToUrlMethod(IcvBaseManager* manager, bool isInternetExplorer);

  HRESULT ToUrl(BSTR url, const VARIANT& waitTime, IDispatch** value) override;

 private:
  struct Call;
  ComPtr<IDispatch> NavigateProcessToUrl(Call& call);
  ComPtr<IpwSysNode> WaitForVisiblePage(Call& call);
  bool CallPageNavigateTo(Call& call, IUnknown* page);
  ComPtr<IpwSysNode> FindFrameProcess(Call& call);
  bool OpenUrlInFrameProcess(Call& call, WideStringView url);

  ComPtr<IcvBaseManager> manager_;
  bool isInternetExplorer_;
};

}  // namespace pw::web
