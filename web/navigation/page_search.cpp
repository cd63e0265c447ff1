#include "web/navigation/page_search.h"

#include <optional>
#include <vector>

#include "core/automation/dispatch_helpers.h"
#include "core/automation/text_search.h"
#include "core/host/host_services.h"
#include "openapps/extensions/node_utils.h"
#include "platform/automation/bstr.h"
#include "platform/kernel/clock.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "web/navigation/browser_processes.h"
#include "web/navigation/node_facts.h"

namespace pw::web {

bool IsPageNode(IUnknown* node) { return SameTextIgnoringCase(GetNodeObjectType(node), u"page"); }

bool WaitWithTimeoutCounter(IcvBaseManager* manager, IUnknown* node, DWORD timeout) {
  auto counter = MakeObject<TpwTimeoutCounter>(manager, timeout, u"");
  for (;;) {
    VARIANT_BOOL expired = VARIANT_TRUE;
    SafeCallCheck(counter->IsExpired(&expired));
    if (expired != VARIANT_FALSE) return false;
    if (!NodeExists(node)) return true;
    SafeCallCheck(counter->Wait(static_cast<std::int32_t>(kNodeWaitStepMs)));
  }
}

ComPtr<IUnknown> GetActionPointSink(IcvBaseManager* manager) {
  auto sinks = GetHostService<IpwHostObjectProvider>(manager, kActionPointService);
  if (!sinks) return nullptr;
  auto run = GetHostService<IpwRunControl>(manager, kRunControlService);
  if (!run) return nullptr;
  ComPtr<IcvKeyItem> item;
  SafeCallCheck(run->GetCurrentItem(item.Put()));
  if (!item) return nullptr;
  GUID key{};
  SafeCallCheck(item->GetKey(&key));
  ComPtr<IUnknown> sink;
  SafeCallCheck(sinks->GetObjectByKey(key, sink.Put()));
  return sink;
}

namespace {

// Whether the node gives a page context through its native context (the host's page nodes).
bool HasPageContext(IpwSysNode* node) {
  auto native = QueryAs<IpwNativeContext>(node);
  if (!native) return false;
  ComPtr<IUnknown> context;
  SafeCallCheck(native->GetPageContext(context.Put()));
  return QueryAs<IpwObjectContext2>(context.Get()) != nullptr;
}

// The URL a page node reports: its own member, or its context object's under the key. A page
// without a script object under the key that gives its page context itself is its own web
// object: its own member.
WideString PageUrl(IpwSysNode* node, const GUID& contextKey) {
  if (contextKey == GUID_NULL) return NodeText(node, u"URL");
  auto ex = QueryAs<IpwSysNodeEx>(node);
  if (!ex) return {};
  ComPtr<IUnknown> context;
  SafeCallCheck(ex->GetContextObject(contextKey, context.Put()));
  if (DispatchOf(context.Get())) return NodeText(context.Get(), u"URL");
  return HasPageContext(node) ? NodeText(node, u"URL") : WideString();
}

bool PageMatches(IpwSysNode* child, const GUID& contextKey, WideStringView value,
                 const std::function<bool(IpwSysNode*)>& accept) {
  if (!NodeExists(child) || !IsPageNode(child)) return false;
  const WideString url = PageUrl(child, contextKey);
  if (!SameTextIgnoringCase(url, value) && !WideMatchesMask(WideLowerCase(value), WideLowerCase(url))) return false;
  return !accept || accept(child);
}

}  // namespace

ComPtr<IpwSysNode> FindPageByProperty(IUnknown* node, const GUID& contextKey, WideStringView value, bool recursive,
                                      IcvBaseManager* manager, const std::function<bool(IpwSysNode*)>& accept) {
  auto ex = QueryAs<IpwSysNodeEx>(node);
  if (!ex) return nullptr;
  SafeCallCheck(ex->Refresh());
  TpwSysNodeChildren children;
  GetSysNodeChildren(ex.Get(), false, children);
  for (auto it = children.rbegin(); it != children.rend(); ++it)
    if (PageMatches(it->Get(), contextKey, value, accept)) return *it;
  if (!recursive) return nullptr;
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (!NodeExists(it->Get())) continue;
    if (auto found = FindPageByProperty(it->Get(), contextKey, value, true, manager, accept)) return found;
  }
  return nullptr;
}

WideString PageIdentification(WideStringView url) { return u"Page(\"" + WideString(url) + u"\")"; }

ComPtr<IUnknown> FindPageByIdentification(IcvBaseManager* manager, WideStringView name) {
  auto lookup = GetHostService<IpwHostObjectProvider>(manager, kNodeLookupService);
  if (!lookup) return nullptr;
  ComPtr<IUnknown> node;
  BString text(name);
  SafeCallCheck(lookup->GetObjectByName(text.Get(), node.Put()));
  return node;
}

bool IsInternalPage(IUnknown* page) {
  return WideLowerCase(NodeText(page, u"ObjectIdentifier")).starts_with(u"sacore:");
}

namespace {

// The values FindVisibleBrowserPage works out at most once per call.
class TBrowserFacts {
 public:
  TBrowserFacts(IcvBaseManager* manager, std::int32_t browserProcessId)
      : manager_(manager), browserProcessId_(browserProcessId) {}

  bool Belongs(std::int32_t processId) {
    return BelongsToBrowser(processId, browserProcessId_, CurrentBrowser(),
                            [&](std::int32_t id) { return ParentOf(id); });
  }

 private:
  std::int32_t CurrentBrowser() {
    if (current_) return *current_;
    current_ = kNoCurrentBrowser;
    auto runtime = GetHostService<IpwRuntimeObjectService>(manager_, kRuntimeObjectService);
    if (!runtime) return *current_;
    ComPtr<IUnknown> object;
    BString name(u"Browsers");
    SafeCallCheck(runtime->GetRuntimeObject(name.Get(), GUID_NULL, object.Put()));
    auto browsers = QueryAs<IpwBrowserList>(object.Get());
    if (!browsers) return *current_;
    std::int32_t pid = 0;
    VARIANT_BOOL found = VARIANT_FALSE;
    SafeCallCheck(browsers->GetCurrentProcessId(&pid, &found));
    if (found != VARIANT_FALSE) current_ = pid;
    return *current_;
  }

  std::int32_t ParentOf(std::int32_t id) {
    if (!snapshotTaken_) {
      snapshotTaken_ = true;
      processes_ = GetHostService<IpwProcessInfoService>(manager_, kProcessInfoService);
    }
    if (!processes_) return 0;
    std::int32_t parent = 0;
    SafeCallCheck(processes_->GetParentProcessId(id, &parent));
    return parent;
  }

  IcvBaseManager* manager_;
  std::int32_t browserProcessId_;
  std::optional<std::int32_t> current_;
  bool snapshotTaken_ = false;
  ComPtr<IpwProcessInfoService> processes_;
};

std::int32_t IntMember(IUnknown* node, const char16_t* name) {
  auto d = DispatchOf(node);
  OleVariant v = DispGetProperty(d.Get(), name, OleVariant(0));
  try {
    return v.AsInt();
  } catch (const EOleSysError&) {
    return 0;
  }
}

bool VisibleAndOwn(IUnknown* page) { return NodeIsVisible(page, false) && !IsInternalPage(page); }

}  // namespace

ComPtr<IpwSysNode> FindVisibleBrowserPage(IUnknown* processNode, IcvBaseManager* manager) {
  auto process = QueryAs<IpwSysObjectProcess>(processNode);
  auto node = QueryAs<IpwSysNodeEx>(processNode);
  if (!process || !node) return nullptr;
  SleepMs(kFindVisiblePagePauseMs);
  SafeCallCheck(node->Refresh());
  if (!NodeExists(node.Get())) return nullptr;
  std::int32_t browserPid = 0;
  SafeCallCheck(process->GetProcessId(&browserPid));
  TBrowserFacts facts(manager, browserPid);

  TpwSysNodeChildren children;
  GetSysNodeChildren(node.Get(), false, children);
  const std::size_t n = children.size();
  std::vector<ComPtr<IpwSysNode>> minimised(n), pages(n);
  for (std::size_t i = n; i-- > 0;) {
    IpwSysNode* child = children[i].Get();
    if (!QueryAs<IpwSysObjectWindow>(child) || !NodeIsVisible(child, false)) continue;
    const auto styles = static_cast<std::uint32_t>(IntMember(child, u"WndStyles"));
    if ((styles & kMinimizedStyle) && QueryAs<IpwSysWindowActions>(child)) minimised[i] = children[i];
  }
  for (std::size_t i = n; i-- > 0;) {
    IpwSysNode* child = children[i].Get();
    try {
      if (!QueryAs<IpwNativeContext>(child) || !NodeExists(child) || !IsPageNode(child)) continue;
      if (!facts.Belongs(IntMember(child, u"ProcessId"))) continue;
      pages[i] = children[i];
      if (VisibleAndOwn(child)) return children[i];
    } catch (const EOleSysError&) {
      // a page that fails a call is skipped
    }
  }
  for (std::size_t i = n; i-- > 0;) {
    if (!minimised[i]) continue;
    TpwZeroWaitTimeout zero(minimised[i].Get());
    SafeCallCheck(QueryAs<IpwSysWindowActions>(minimised[i].Get())->Restore());
  }
  ComPtr<IpwSysNode> result;
  for (std::size_t i = n; i-- > 0;) {
    if (!pages[i] || !NodeExists(pages[i].Get())) continue;
    if (VisibleAndOwn(pages[i].Get())) return pages[i];
    if (!result || !NodeExists(result.Get())) result = pages[i];
  }
  return result;
}

}  // namespace pw::web
