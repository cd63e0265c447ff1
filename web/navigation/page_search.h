// Finding and waiting for the page nodes of a browser.
//
// - IsPageNode: the node's web object type is "page" (ignoring case).
// - WaitWithTimeoutCounter: True as soon as the node no longer exists; False when the time-out
//   counter expires first (checked before each look; kNoTimeLimit waits without limit; the
//   counter also expires when the run starts or stops). Each round waits 100 ms on the counter.
// - GetActionPointSink: the object the host registered (service {F0EF4AF3-...}, by key) under the
//   key of the run's current item; nil when any link is missing.
// - FindPageByProperty: among the node's children (refreshed once, walked last to first) the
//   first existing page whose URL (read from its own members with GUID_NULL, else from its
//   context object under ContextKey; a page that has no script object there but gives its page
//   context through its native context, as the host's pages do, reads its own) equals Value
//   ignoring case, or matches Value as a pattern ("*" and "?"), and that Accept (when given)
//   takes; with Recursive, then each child's subtree the same way.
// - FindPageByIdentification: the host's node for a script-style name ("Page", Page("url"),
//   "item"); a name that denotes nothing gives the host's placeholder (its Exists is False).
// - FindVisibleBrowserPage: the page a browser process shows in front. After a pause of 1000 ms
//   and a refresh of the process node: minimised visible windows of the process are noted, the
//   first visible, not internal page of the browser (last child first) is the answer; else the
//   minimised windows are restored (their wait time-out 0 meanwhile, put back also when the
//   restore fails) and the noted pages are asked again: a visible, not internal one wins, else
//   the last-to-first first that still exists. A page belongs to the browser when its process
//   ("ProcessId"), or one above it, is the process node's or the host's current browser's
//   ("Browsers"); a page whose "ObjectIdentifier" begins with "sacore:" is internal. A failing
//   host call on one page skips that page.
#pragma once

#include <cstdint>
#include <functional>

#include "interfaces/ProbewrightHost.h"
#include "platform/com/comptr.h"
#include "platform/com/types.h"

namespace pw::web {

inline constexpr GUID kActionPointService = MakeGuid("{F0EF4AF3-39E1-492E-BEB8-569F810FB43A}");
inline constexpr GUID kSysManagerService = MakeGuid("{0157ED9A-887B-4FC5-BBAD-19ECB6BD9115}");
inline constexpr GUID kWindowsManagerService = MakeGuid("{463D5E7A-02B6-4BE5-A74C-2D885DC8D6BB}");
inline constexpr GUID kProcessInfoService = MakeGuid("{06B8A42E-4755-44EE-95B1-D775606ECB17}");
inline constexpr GUID kRunControlService = MakeGuid("{555A3A53-8D35-4F93-9570-00662CF627C6}");
inline constexpr GUID kRuntimeObjectService = MakeGuid("{74D5EA13-7482-49C0-9A25-290A6C1501DC}");
inline constexpr GUID kNodeLookupService = MakeGuid("{EBDBAC08-25B3-4B2C-9545-1BD01637FFBB}");
// The minimised bit of a window's styles.
inline constexpr std::uint32_t kMinimizedStyle = 0x20000000;
inline constexpr DWORD kFindVisiblePagePauseMs = 1000;
inline constexpr DWORD kNodeWaitStepMs = 100;

bool IsPageNode(IUnknown* node);
bool WaitWithTimeoutCounter(IcvBaseManager* manager, IUnknown* node, DWORD timeout);
ComPtr<IUnknown> GetActionPointSink(IcvBaseManager* manager);
ComPtr<IpwSysNode> FindPageByProperty(IUnknown* node, const GUID& contextKey, WideStringView value, bool recursive,
                                      IcvBaseManager* manager,
                                      const std::function<bool(IpwSysNode* page)>& accept = nullptr);
// Page("url") with the URL in double quotes.
WideString PageIdentification(WideStringView url);
ComPtr<IUnknown> FindPageByIdentification(IcvBaseManager* manager, WideStringView name);
bool IsInternalPage(IUnknown* page);
ComPtr<IpwSysNode> FindVisibleBrowserPage(IUnknown* processNode, IcvBaseManager* manager);

}  // namespace pw::web
