// The page lookups of a browser: TpwPageFindMethods, the slice of a browser process node, and
// TpwBrowserProxy, the stand-in that the browser methods hand out for a browser node. Both
// answer Page and WaitPage (IpwPageFindMethods).
//
// Page(URL, GroupIndex = 0) waits the default wait time (setting {9EB8E8E6-...}), WaitPage(URL,
// GroupIndex, WaitTime) WaitTime ms; a script may write WaitPage(URL) or WaitPage(URL, WaitTime):
// a call of fewer than three arguments is completed to (URL, 0, WaitTime or 0) before dispatch.
// A WaitPage without any argument fails with DISP_E_BADPARAMCOUNT.
//
// A page under a node: the node's children, refreshed, in order; the Sys manager's identification
// lookup from each child ("ObjectType" "Page", "ObjectIdentifier" the URL, "ObjectGroupIndex"
// the group index) gives an object whose "ObjectType" is "Page" (ignoring case). The wait polls
// every 10 ms on a time-out counter ("Waiting for Page('URL')"), also while the page found no
// longer exists. When nothing was found and a test runs, the other browsers (the node's
// siblings that are browsers) are searched once; the browser that has the page is named in the
// log entry. Page without a result posts the error "The page 'URL' was not found." (to the runtime
// object "Log"); WaitPage answers the host's object for Page("URL") and posts the entry only when
// the page was found in another browser.
//
// TpwBrowserProxy forwards every node call and unknown late-bound member to its target (the
// browser node); its page lookups search the target only; its identification lookup searches
// the target's children, then the other browsers, and retargets to the browser where it found
// the object. WrapBrowserProxy makes one over a node; an object that is no node or already is a
// proxy (IpwBrowserProxyMarker) comes back unchanged.
#pragma once

#include <mutex>

#include "interfaces/ProbewrightHost.h"
#include "interfaces/pwOpenAppServices.h"
#include "openapps/extensions/node_proxy.h"
#include "openapps/extensions/node_slice.h"

namespace pw::web {

inline constexpr DWORD kPageWaitStepMs = 10;
inline constexpr char16_t kPageNotFoundText[] = u"The page '%s' was not found.";

// The test object of the page under Node; nil when there is none.
ComPtr<IDispatch> FindPageUnder(IpwSysManager* sysManager, IpwSysNode* node, WideStringView url,
                                std::int32_t groupIndex);
// The other browsers beside a browser node: its parent's children (not refreshed), in order,
// without the node itself, that are browsers (object context type "browser", ignoring case, as
// the recognition of a browser compares it; own "ObjectType" "Browser").
std::vector<ComPtr<IpwSysNode>> OtherBrowsers(IpwSysNode* node);
// Completes a WaitPage call of one or two arguments to three (URL, 0, wait time or 0): Storage
// keeps the arguments the completed call points to. False (and nothing changed) with three or
// more; DISP_E_BADPARAMCOUNT is raised for none.
bool CompleteWaitPageArguments(const DISPPARAMS& in, std::vector<OleVariant>& storage, DISPPARAMS& out);

class TpwPageFindMethods final : public AutoImplements<TpwNodeSlice, IpwPageFindMethods> {
 public:
  explicit TpwPageFindMethods(IpwSysManager* sysManager);

  HRESULT Page(BSTR url, const VARIANT& groupIndex, IDispatch** value) override;
  HRESULT WaitPage(BSTR url, std::int32_t groupIndex, std::int32_t waitTime, IDispatch** value) override;
  HRESULT Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override;

 private:
  // The page, and the other browser that has it when this one has not.
  ComPtr<IDispatch> WaitForPage(WideStringView url, std::int32_t groupIndex, std::int32_t waitTime,
                                ComPtr<IpwSysNode>& foundElsewhere);
  ComPtr<IcvBaseManager> Host();

  ComPtr<IpwSysManager> sysManager_;
  DISPID waitPageId_ = DISPID_UNKNOWN;
  std::mutex lock_;
  WideString ownerName_;  // the full name of the slice's node at the last wait
};

class TpwBrowserProxy final
    : public AutoImplements<TpwSysNodeProxy, IpwPageFindMethods, IpwIdentificationLookup, IpwBrowserProxyMarker> {
 public:
  TpwBrowserProxy(IpwSysManager* sysManager, IpwSysNode* target);

  ComPtr<IpwSysNode> GetTargetNode() override;

  HRESULT Page(BSTR url, const VARIANT& groupIndex, IDispatch** value) override;
  HRESULT WaitPage(BSTR url, std::int32_t groupIndex, std::int32_t waitTime, IDispatch** value) override;
  HRESULT FindByIdentification(const VARIANT& names, const VARIANT& values, IDispatch** object,
                               VARIANT_BOOL* handled) override;
  HRESULT Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override;

 private:
  ComPtr<IDispatch> WaitForPage(WideStringView url, std::int32_t groupIndex, std::int32_t waitTime);
  ComPtr<IcvBaseManager> Host();

  ComPtr<IpwSysManager> sysManager_;
  DISPID waitPageId_ = DISPID_UNKNOWN;
  std::mutex lock_;
  ComPtr<IpwSysNode> target_;
};

// The proxy over Node; Node itself when it is no IpwSysNode or already a proxy; nil for nil.
ComPtr<IUnknown> WrapBrowserProxy(IUnknown* node, IpwSysManager* sysManager);

}  // namespace pw::web
