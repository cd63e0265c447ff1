#include "web/lookups/page_find_methods.h"

#include "core/automation/dispatch_helpers.h"
#include "core/host/host_settings.h"
#include "openapps/extensions/node_utils.h"
#include "platform/automation/bstr.h"
#include "platform/automation/safearray.h"
#include "platform/com/safecall.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "project/wait/wait_helper.h"
#include "web/lookups/node_selectors.h"
#include "web/navigation/node_facts.h"
#include "web/navigation/page_search.h"

namespace pw::web {

namespace {

OleVariant VariantArray(std::initializer_list<OleVariant> items) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<std::uint32_t>(items.size()));
  if (!array) throw EOleSysError(u"Out of memory", E_OUTOFMEMORY);
  OleVariant v;
  VARIANT* raw = v.Put();
  raw->vt = VT_ARRAY | VT_VARIANT;
  raw->parray = array;
  std::int32_t i = 0;
  for (const auto& item : items) {
    OleCheck(SafeArrayPutElement(array, &i, item.Ptr()));
    ++i;
  }
  return v;
}

// The object the identification names from Start (Start alone); nil when none.
ComPtr<IUnknown> MatchFrom(IpwSysManager* sysManager, IpwSysNode* start, const VARIANT& names, const VARIANT& values) {
  ComPtr<IUnknown> found;
  SafeCallCheck(sysManager->FindByIdentification(start, VARIANT_TRUE, names, values, 0, found.Put()));
  return found;
}

WideString FullNameOf(IpwSysNode* node) {
  if (!node) return {};
  BString name;
  SafeCallCheck(node->GetFullName(name.Put()));
  return name.Str();
}

ComPtr<IcvBaseManager> HostOf(IpwSysManager* sysManager) {
  ComPtr<IcvBaseManager> host;
  if (sysManager) SafeCallCheck(sysManager->GetManager(host.Put()));
  return host;
}

DWORD WaitLimit(std::int32_t waitTime) {
  return waitTime < 0 ? TpwTimeoutCounter::kNoTimeLimit : static_cast<DWORD>(waitTime);
}

// Looks with `look` until it answers an existing page or the counter expires (one look without
// time).
template <class Look>
ComPtr<IDispatch> PollForPage(IcvBaseManager* host, WideStringView url, std::int32_t waitTime, Look&& look) {
  ComPtr<IDispatch> page = look();
  ComPtr<TpwTimeoutCounter> counter;
  while (!page || !NodeExists(page.Get())) {
    if (!counter)
      counter = MakeObject<TpwTimeoutCounter>(host, WaitLimit(waitTime), WideFormat(u"Waiting for Page('%s')", {url}));
    SafeCallCheck(counter->Wait(static_cast<std::int32_t>(kPageWaitStepMs)));
    VARIANT_BOOL expired = VARIANT_TRUE;
    SafeCallCheck(counter->IsExpired(&expired));
    if (expired != VARIANT_FALSE) break;
    page = look();
  }
  if (page && !NodeExists(page.Get())) page = nullptr;
  return page;
}

void LogPageNotFound(IcvBaseManager* host, WideStringView url, WideStringView owner, WideStringView elsewhere) {
  ComPtr<IpwTestLog> log;
  try {
    log = GetLogObject(host);
  } catch (const EOleSysError&) {
    return;
  }
  if (!log) return;
  BString message(WideFormat(kPageNotFoundText, {url}));
  BString details(elsewhere.empty() ? WideFormat(u"The %s does not contain Page(\"%s\").", {owner, url})
                                    : WideFormat(u"The %s does not contain Page(\"%s\"), but it was found in the %s.",
                                                 {owner, url, elsewhere}));
  SafeCallCheck(log->Error(message.Get(), details.Get(), 300));
}

DISPID ResolveWaitPage(IDispatch* self) {
  const char16_t* name = u"WaitPage";
  DISPID id = DISPID_UNKNOWN;
  if (Failed(self->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id))) return DISPID_UNKNOWN;
  return id;
}

// Invoke with a completed WaitPage call.
template <class Base>
HRESULT InvokeCompleted(DISPID waitPageId, DISPID dispId, DISPPARAMS* params, Base&& base) {
  if (dispId != waitPageId || !params) return base(params);
  std::vector<OleVariant> storage;
  DISPPARAMS completed{};
  try {
    if (!CompleteWaitPageArguments(*params, storage, completed)) return base(params);
  } catch (const EOleSysError& e) {
    return e.ErrorCode();
  }
  return base(&completed);
}

}  // namespace

ComPtr<IDispatch> FindPageUnder(IpwSysManager* sysManager, IpwSysNode* node, WideStringView url,
                                std::int32_t groupIndex) {
  if (!sysManager || !node) return nullptr;
  const OleVariant names =
      VariantArray({OleVariant(u"ObjectType"), OleVariant(u"ObjectIdentifier"), OleVariant(u"ObjectGroupIndex")});
  const OleVariant values = VariantArray({OleVariant(u"Page"), OleVariant(url), OleVariant(groupIndex)});
  TpwSysNodeChildren children;
  GetSysNodeChildren(node, true, children);
  for (const auto& child : children) {
    auto found = MatchFrom(sysManager, child.Get(), names.Get(), values.Get());
    if (found && SameTextIgnoringCase(GetNodeObjectType(found.Get()), u"page")) return DispatchOf(found.Get());
  }
  return nullptr;
}

std::vector<ComPtr<IpwSysNode>> OtherBrowsers(IpwSysNode* node) {
  std::vector<ComPtr<IpwSysNode>> browsers;
  if (!node) return browsers;
  ComPtr<IpwSysNode> parent;
  SafeCallCheck(node->GetParent(parent.Put()));
  if (!parent) return browsers;
  TpwSysNodeChildren children;
  GetSysNodeChildren(parent.Get(), false, children);
  for (const auto& child : children) {
    if (SameObject(child.Get(), node)) continue;
    auto context = NodeObjectContext(child.Get());
    if (!context) continue;
    BString type;
    OleVariant value;
    VARIANT_BOOL found = VARIANT_FALSE;
    if (Failed(context->GetObjectType(type.Put(), value.Put(), &found)) || found == VARIANT_FALSE ||
        !SameTextIgnoringCase(type.View(), u"browser"))
      continue;
    ComPtr<IDispatch> own;
    SafeCallCheck(child->GetOwnObject(own.Put()));
    if (NodeText(own.Get(), u"ObjectType") != u"Browser") continue;
    browsers.push_back(child);
  }
  return browsers;
}

bool CompleteWaitPageArguments(const DISPPARAMS& in, std::vector<OleVariant>& storage, DISPPARAMS& out) {
  if (in.cArgs >= 3) return false;
  if (in.cArgs == 0) throw EOleSysError(u"WaitPage needs a URL", DISP_E_BADPARAMCOUNT);
  if (in.cNamedArgs > 0) return false;
  // Arguments are stored last first: the caller's first is rgvarg[cArgs - 1].
  storage.clear();
  storage.emplace_back(in.cArgs == 2 ? OleVariant(in.rgvarg[0]) : OleVariant(0));  // wait time
  storage.emplace_back(0);                                                         // group index
  storage.emplace_back(in.rgvarg[in.cArgs - 1]);                                   // URL
  out = DISPPARAMS{};
  out.cArgs = 3;
  out.rgvarg = storage.front().Ptr();
  static_assert(sizeof(OleVariant) == sizeof(VARIANT));
  return true;
}

// ---- TpwPageFindMethods ---------------------------------------------------------------------

TpwPageFindMethods::TpwPageFindMethods(IpwSysManager* sysManager)
    : AutoImplements(std::vector<IID>{IpwPageFindMethods::iid}), sysManager_(sysManager) {
  waitPageId_ = ResolveWaitPage(static_cast<IpwPageFindMethods*>(this));
}

ComPtr<IcvBaseManager> TpwPageFindMethods::Host() { return HostOf(sysManager_.Get()); }

ComPtr<IDispatch> TpwPageFindMethods::WaitForPage(WideStringView url, std::int32_t groupIndex, std::int32_t waitTime,
                                                  ComPtr<IpwSysNode>& foundElsewhere) {
  foundElsewhere = nullptr;
  auto node = GetSliceNode();
  {
    const WideString owner = FullNameOf(node.Get());
    std::lock_guard guard(lock_);
    ownerName_ = owner;
  }
  if (!node) return nullptr;
  auto host = Host();
  auto page = PollForPage(host.Get(), url, waitTime,
                          [&] { return FindPageUnder(sysManager_.Get(), node.Get(), url, groupIndex); });
  if (!page && IsTestRunning(host.Get())) {
    for (const auto& other : OtherBrowsers(node.Get())) {
      if (FindPageUnder(sysManager_.Get(), other.Get(), url, groupIndex)) {
        foundElsewhere = other;
        break;
      }
    }
  }
  return page;
}

HRESULT TpwPageFindMethods::Page(BSTR url, const VARIANT& groupIndex, IDispatch** value) {
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"No place for the page", E_POINTER);
    *value = nullptr;
    const WideString address(BstrView(url));
    auto host = Host();
    ComPtr<IpwSysNode> elsewhere;
    auto page = WaitForPage(address, OptionalIntArgument(groupIndex, 0),
                            IntSetting(host.Get(), project::kDefaultWaitTimeoutSetting, 0), elsewhere);
    if (!page) {
      WideString owner;
      {
        std::lock_guard guard(lock_);
        owner = ownerName_;
      }
      LogPageNotFound(host.Get(), address, owner, FullNameOf(elsewhere.Get()));
    }
    *value = page.Detach();
  });
}

HRESULT TpwPageFindMethods::WaitPage(BSTR url, std::int32_t groupIndex, std::int32_t waitTime, IDispatch** value) {
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"No place for the page", E_POINTER);
    *value = nullptr;
    const WideString address(BstrView(url));
    auto host = Host();
    ComPtr<IpwSysNode> elsewhere;
    auto page = WaitForPage(address, groupIndex, waitTime, elsewhere);
    if (!page) {
      page = DispatchOf(FindPageByIdentification(host.Get(), PageIdentification(address)).Get());
      if (elsewhere) {
        WideString owner;
        {
          std::lock_guard guard(lock_);
          owner = ownerName_;
        }
        LogPageNotFound(host.Get(), address, owner, FullNameOf(elsewhere.Get()));
      }
    }
    *value = page.Detach();
  });
}

HRESULT TpwPageFindMethods::Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excepInfo, std::uint32_t* argErr) {
  return InvokeCompleted(waitPageId_, dispId, params, [&](DISPPARAMS* p) {
    return AutoImplements::Invoke(dispId, riid, lcid, flags, p, result, excepInfo, argErr);
  });
}

// ---- TpwBrowserProxy ------------------------------------------------------------------------

TpwBrowserProxy::TpwBrowserProxy(IpwSysManager* sysManager, IpwSysNode* target)
    : AutoImplements(std::vector<IID>{IpwPageFindMethods::iid}), sysManager_(sysManager), target_(target) {
  waitPageId_ = ResolveWaitPage(static_cast<IpwPageFindMethods*>(this));
}

ComPtr<IpwSysNode> TpwBrowserProxy::GetTargetNode() {
  std::lock_guard guard(lock_);
  return target_;
}

ComPtr<IcvBaseManager> TpwBrowserProxy::Host() { return HostOf(sysManager_.Get()); }

ComPtr<IDispatch> TpwBrowserProxy::WaitForPage(WideStringView url, std::int32_t groupIndex, std::int32_t waitTime) {
  auto host = Host();
  return PollForPage(host.Get(), url, waitTime,
                     [&] { return FindPageUnder(sysManager_.Get(), GetTargetNode().Get(), url, groupIndex); });
}

HRESULT TpwBrowserProxy::Page(BSTR url, const VARIANT& groupIndex, IDispatch** value) {
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"No place for the page", E_POINTER);
    *value = nullptr;
    const WideString address(BstrView(url));
    auto host = Host();
    auto page = WaitForPage(address, OptionalIntArgument(groupIndex, 0),
                            IntSetting(host.Get(), project::kDefaultWaitTimeoutSetting, 0));
    if (!page) LogPageNotFound(host.Get(), address, FullNameOf(GetTargetNode().Get()), {});
    *value = page.Detach();
  });
}

HRESULT TpwBrowserProxy::WaitPage(BSTR url, std::int32_t groupIndex, std::int32_t waitTime, IDispatch** value) {
  return SafeCall([&] {
    if (!value) throw EOleSysError(u"No place for the page", E_POINTER);
    *value = nullptr;
    const WideString address(BstrView(url));
    auto page = WaitForPage(address, groupIndex, waitTime);
    if (!page) page = DispatchOf(FindPageByIdentification(Host().Get(), PageIdentification(address)).Get());
    *value = page.Detach();
  });
}

HRESULT TpwBrowserProxy::FindByIdentification(const VARIANT& names, const VARIANT& values, IDispatch** object,
                                              VARIANT_BOOL* handled) {
  return SafeCall([&] {
    if (!object || !handled) throw EOleSysError(u"No place for the object", E_POINTER);
    *object = nullptr;
    *handled = VARIANT_TRUE;
    auto search = [&](IpwSysNode* under) -> ComPtr<IUnknown> {
      TpwSysNodeChildren children;
      GetSysNodeChildren(under, true, children);
      for (const auto& child : children)
        if (auto found = MatchFrom(sysManager_.Get(), child.Get(), names, values)) return found;
      return nullptr;
    };
    auto target = GetTargetNode();
    if (!target) return;
    auto found = search(target.Get());
    if (!found) {
      for (const auto& other : OtherBrowsers(target.Get())) {
        found = search(other.Get());
        if (found) {
          std::lock_guard guard(lock_);
          target_ = other;
          break;
        }
      }
    }
    *object = DispatchOf(found.Get()).Detach();
  });
}

HRESULT TpwBrowserProxy::Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                VARIANT* result, EXCEPINFO* excepInfo, std::uint32_t* argErr) {
  return InvokeCompleted(waitPageId_, dispId, params, [&](DISPPARAMS* p) {
    return TpwSysNodeProxy::Invoke(dispId, riid, lcid, flags, p, result, excepInfo, argErr);
  });
}

ComPtr<IUnknown> WrapBrowserProxy(IUnknown* node, IpwSysManager* sysManager) {
  if (!node) return nullptr;
  auto sysNode = QueryAs<IpwSysNode>(node);
  if (!sysNode || QueryAs<IpwBrowserProxyMarker>(node)) return ComPtr<IUnknown>(node);
  auto proxy = MakeObject<TpwBrowserProxy>(sysManager, sysNode.Get());
  return ComPtr<IUnknown>(static_cast<IpwPageFindMethods*>(proxy.Get()));
}

}  // namespace pw::web
