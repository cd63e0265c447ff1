// TpwWebToUrlMethod: the slice that gives the page of a browser window (an IE page, the page
// and native-object nodes) ToUrl, URL, NavigateTo and Wait (IpwWebPageLocator), besides Find
// (IpwWebObjectLocator), which it inherits.
//
// The browser object of the slice's node is the object of the page context its native context
// gives, else its context item's native object (GetBrowserObject); its members are called by
// DISPID: 0x10F30 navigate (URL), 0x10F31 (Boolean: a navigation was asked), 0x10F32 ready
// (Boolean argument, Boolean answer), 0x10F33 the current URL.
//
// - URL: the browser's current URL (raises without a browser object).
// - NavigateTo (URL, WaitTime) and Wait (WaitTime; the URL at the end): NavigateAndWait. The URL
//   is made absolute against the browser's (canonical, file URLs in one form); the limit is
//   WaitTime when 0 or more, else the web page loading time-out option (then the default wait
//   time-out, then 60000 ms). After the navigation call the browser is asked every 200 ms on a
//   time-out counter whether it is ready and shows the URL (ignoring case); a login page below
//   the browser ends the wait too. A page node that went is looked up again below the browser.
// - ToUrl (URL, WaitTime): activates the page's window, finds the browser node (the nearest
//   node whose "ObjectType" is "Browser") and its referenced node, navigates (NavigateAndWait;
//   E_FAIL types the URL into the IE frame's address bar instead, another exception is logged
//   and ends the call), then looks for the page with the URL below the browser node every 100 ms
//   on a counter of the default wait time-out ("Waiting for Page('URL')"; once only without
//   WaitForPage; a login page ends it), then the browser process's visible page, then the host's
//   Page("URL"). One log entry: the event "Navigating to the %s page." or the error "Unable to
//   navigate to the %s page." with the reason; a placeholder that does not exist is logged as
//   "Cannot find the Page node after calling the NavigateTo method.". The script gets the page
//   or nil; the call itself does not fail.
#pragma once

#include "web/navigation/object_locator.h"

namespace pw::web {

inline constexpr DISPID kBrowserNavigateDispid = 0x10F30;
inline constexpr DISPID kBrowserNavigatedDispid = 0x10F31;
inline constexpr DISPID kBrowserReadyDispid = 0x10F32;
inline constexpr DISPID kBrowserUrlDispid = 0x10F33;
inline constexpr DWORD kBrowserReadyStepMs = 200;
inline constexpr DWORD kBrowserFirstWaitMs = 500;
inline constexpr DWORD kPageLookStepMs = 100;
inline constexpr std::int32_t kPageLoadingFallbackMs = 60000;

class TpwWebToUrlMethod final : public AutoImplements<TpwWebObjectLocator, IpwWebPageLocator> {
 public:
  TpwWebToUrlMethod(IcvBaseManager* manager, const GUID& contextKey, bool waitForPage);

  HRESULT ToUrl(BSTR url, const VARIANT& waitTime, IDispatch** value) override;
  HRESULT get_URL(BSTR* value) override;
  HRESULT NavigateTo(BSTR url, const VARIANT& waitTime) override;
  HRESULT Wait(const VARIANT& waitTime, BSTR* value) override;

 private:
  ComPtr<IDispatch> ToUrlCore(WideStringView url, std::int32_t waitTime, WideString& errorText);
  // Navigates (or only waits); the URL asked for.
  WideString NavigateAndWait(WideStringView url, bool navigate, IpwSysNode* browserNode, std::int32_t waitTime);
  void TypeUrlIntoAddressBar(WideStringView url);

  GUID contextKey_;
  bool waitForPage_;
};

// The nearest node from Node up whose "ObjectType" is "Browser" (ignoring case); nil without one.
ComPtr<IpwSysNode> FindBrowserNode(IUnknown* node);
// The browser object of a node: the object of the page context its native context gives
// (IpwNativeContext, the host's pages), else its context item's native object; nil without one.
ComPtr<IDispatch> GetBrowserObject(IUnknown* node);
// True when the first child of the refreshed node, else its last when it has two or more, is a
// "login" object.
bool IsLoginPage(IUnknown* node);

}  // namespace pw::web
