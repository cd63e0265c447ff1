// TpwBrowserMethods: Browser and WaitBrowser of the Sys node (IpwBrowserMethods) and the
// identification lookup of a browser (IpwIdentificationLookup).
//
// Browser(Name, Index = 1) waits for the browser the default wait time (setting
// {9EB8E8E6-...}); WaitBrowser(Name, WaitTime, Index = 1) waits WaitTime ms (negative: no limit,
// until the browser comes or the run stops). Without a running test a wait is one look. Both
// refuse when the setting "Use legacy web testing features" is on. When nothing is found the
// answer is the host's object for the call text ("Sys.Browser("NAME")", with ", INDEX" when Index
// is not 1; a placeholder whose Exists is False); Browser also posts the error "Unable to find the
// object ...".
//
// Recognition: the Sys node's children (not refreshed) in order; a child is a browser of the
// name when its object context reports the type "browser" (ignoring case) with an array whose
// element 0 matches Name as a wildcard mask (ignoring case), and its own object has "ObjectType"
// "Browser" and "BrowserIndex" equal to Index. The first one is the answer; while a test runs,
// a name with "*" or "?" also collects the others, and more than one posts the warning
// "Ambiguous browser recognition." with their full names. A wait polls every 10 ms on the
// injectable clock, refreshing the Sys node's children each turn, with the host's indicator
// "Waiting for ..." shown while it lasts. Browser("*") answers the browser wrapped in the browser
// proxy (page_find_methods.h).
//
// The identification lookup handles an identification whose first name is "ObjectType" and
// first value "Browser" (both ignoring case): the browser "*" with index 1, looked for once,
// wrapped in the proxy.
#pragma once

#include "interfaces/ProbewrightHost.h"
#include "interfaces/pwOpenAppServices.h"
#include "openapps/extensions/node_slice.h"

namespace pw::web {

inline constexpr GUID kLegacyWebTestingSetting = MakeGuid("{0787AA13-4C49-418A-A688-B23BE9F226F4}");
inline constexpr GUID kBrowserWaitSetting = MakeGuid("{9EB8E8E6-D2F2-4A8A-ADFB-492E8C0EAFEF}");
inline constexpr DWORD kBrowserWaitStepMs = 10;
inline constexpr char16_t kLegacyBrowserText[] =
    u"The Browser() and WaitBrowser() functions are not accessible if the \"Use legacy web testing features\" "
    u"setting is turned on.";
inline constexpr char16_t kBrowserNotFoundDetails[] =
    u"<html><body><p>The object with the specified attributes does not exist.</p><p style=\"margin-top: "
    u"12px;\"><a href=\"cva-help://2202\">Possible causes of the error</a></p></body></html>";
inline constexpr char16_t kAmbiguousBrowserText[] = u"Ambiguous browser recognition.";

// The browser name of a kind number: -1 "iexplore", -2 "firefox", -3 "chrome", -4 "opera",
// -5 "safari"; empty for any other.
WideString BrowserNameOfKind(std::int32_t kind);
// "Sys." and the rendering of Browser(Name) or Browser(Name, Index) in the current language.
WideString BrowserCallText(IcvBaseManager* host, WideStringView name, std::int32_t index);
// The additional text of the ambiguity warning with the candidates' full names ("<br>"-joined).
WideString AmbiguousBrowserDetails(WideStringView list);

class TpwBrowserMethods final : public AutoImplements<TpwNodeSlice, IpwBrowserMethods, IpwIdentificationLookup> {
 public:
  explicit TpwBrowserMethods(IpwSysManager* sysManager);

  HRESULT Browser(BSTR name, const VARIANT& index, IDispatch** value) override;
  HRESULT WaitBrowser(BSTR name, std::int32_t waitTime, const VARIANT& index, IDispatch** value) override;
  HRESULT FindByIdentification(const VARIANT& names, const VARIANT& values, IDispatch** object,
                               VARIANT_BOOL* handled) override;

 private:
  ComPtr<IcvBaseManager> Host();
  void CheckLegacy();
  // The browser's test object; nil when none came within WaitTime ms.
  ComPtr<IDispatch> WaitForBrowser(WideStringView name, std::int32_t index, std::int32_t waitTime);
  ComPtr<IDispatch> Recognise(IpwSysNode* sys, WideStringView name, std::int32_t index, bool ambiguityCheck);

  ComPtr<IpwSysManager> sysManager_;
};

}  // namespace pw::web
