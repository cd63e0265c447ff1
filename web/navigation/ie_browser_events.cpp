#include "web/navigation/ie_browser_events.h"

#include "core/com/agile_objects.h"
#include "platform/automation/bstr.h"
#include "platform/automation/variant.h"
#include "platform/com/connection_points.h"
#include "platform/rtl/exceptions.h"
#include "web/navigation/canonical_url.h"

namespace pw::web {
namespace {

// Row = state, column = event kind.
constexpr std::uint8_t kActions[3][6] = {
    {1, 2, 0, 0, 0, 7},
    {1, 0, 4, 5, 4, 7},
    {1, 3, 0, 0, 6, 7},
};

}  // namespace

std::optional<TpwBrowserEventKind> BrowserEventKindOf(DISPID id) {
  switch (id) {
    case kDispidOnQuit: return TpwBrowserEventKind::Quit;
    case kDispidBeforeNavigate2: return TpwBrowserEventKind::BeforeNavigate;
    case kDispidDocumentComplete: return TpwBrowserEventKind::DocumentComplete;
    case kDispidDownloadBegin: return TpwBrowserEventKind::DownloadBegin;
    case kDispidDownloadComplete: return TpwBrowserEventKind::DownloadEnd;
    case kDispidWindowActivate: return TpwBrowserEventKind::WindowActivate;
    default: return std::nullopt;
  }
}

WideString BeforeNavigateUrl(const DISPPARAMS* params) {
  if (!params || params->cArgs < 2 || !params->rgvarg) return {};
  const VARIANT& url = VariantDeref(params->rgvarg[params->cArgs - 2]);
  if (url.vt == VT_BSTR) return WideString(BstrView(url.bstrVal));
  OleVariant text;
  VARIANT converted{};
  if (VariantChangeType(&converted, &url, 0, VT_BSTR) != S_OK) return {};
  text = OleVariant::Attach(converted);
  return WideString(BstrView(text.Get().bstrVal));
}

TpwIEBrowserEventStates::TpwIEBrowserEventStates(IUnknown* browser, LocationReader location)
    : browser_(browser), location_(std::move(location)) {
  SetState(0);
}

void TpwIEBrowserEventStates::SetState(std::uint8_t state) {
  state_ = state;
  for (std::size_t i = 0; i < actions_.size(); ++i) actions_[i] = kActions[state][i];
}

WideString TpwIEBrowserEventStates::GetBrowserUrl() const {
  return CanonicalizeUrl(location_ ? location_(browser_.Get()) : WideString());
}

void TpwIEBrowserEventStates::HandleDispatchEvent(DISPID id, const DISPPARAMS* params) {
  auto kind = BrowserEventKindOf(id);
  if (!kind) return;
  HandleEvent(*kind, *kind == TpwBrowserEventKind::BeforeNavigate ? BeforeNavigateUrl(params) : WideString());
}

void TpwIEBrowserEventStates::HandleEvent(TpwBrowserEventKind kind, WideStringView eventUrl) {
  IUnknown* browser = browser_.Get();
  switch (actions_[static_cast<std::size_t>(kind)]) {
    case 1:
      SetState(0);
      if (OnQuit) OnQuit(browser);
      break;
    case 2:
      SetState(1);
      if (OnBeforeNavigate) OnBeforeNavigate(browser, WideString(eventUrl));
      break;
    case 3:
      if (OnBeforeNavigate) OnBeforeNavigate(browser, WideString(eventUrl));
      break;
    case 4: {
      SetState(0);
      if (OnPageDownloaded) OnPageDownloaded(browser, GetBrowserUrl());
      break;
    }
    case 5:
      SetState(2);
      if (OnDownloadStarted) OnDownloadStarted(browser);
      break;
    case 6:
      SetState(1);
      if (OnDownloadFinished) OnDownloadFinished(browser);
      break;
    case 7:
      if (OnActivate) OnActivate(browser);
      break;
    default: break;
  }
}

}  // namespace pw::web

// ---- The sink ------------------------------------------------------------------------------

namespace pw::web {

struct TpwIEBrowserEvents::Shared {
  explicit Shared(IUnknown* browser, TpwIEBrowserEventStates::LocationReader location)
      : states(browser, std::move(location)) {}
  // Serialises the events and guards `connected`; recursive, so a handler that releases the
  // last reference to the sink on the event's thread does not lock itself out.
  std::recursive_mutex lock;
  bool connected = false;
  TpwIEBrowserEventStates states;
  ComPtr<IConnectionPoint> point;  // guarded by `pointLock`; never called under `lock`
  DWORD cookie = 0;
  std::mutex pointLock;
};

namespace {

// The object the browser's connection point holds: an IDispatch without type information that
// passes each event to the shared state while the sink is connected.
class TBrowserEventDispatch final : public Implements<ComObject, IDispatch> {
 public:
  explicit TBrowserEventDispatch(std::shared_ptr<TpwIEBrowserEvents::Shared> shared) : shared_(std::move(shared)) {}

  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const*, std::uint32_t, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO* excepInfo,
                 std::uint32_t*) override {
    try {
      std::lock_guard guard(shared_->lock);
      if (shared_->connected) shared_->states.HandleDispatchEvent(id, params);
      return S_OK;
    } catch (const std::exception& e) {
      // A handler's failure goes back to the browser as the event's exception.
      if (excepInfo) {
        *excepInfo = EXCEPINFO{};
        const auto* own = dynamic_cast<const Exception*>(&e);
        excepInfo->bstrDescription = SysAllocString(own ? WideStringView(own->Message()) : WideStringView(u""));
        excepInfo->scode = E_FAIL;
      }
      return DISP_E_EXCEPTION;
    }
  }

 private:
  std::shared_ptr<TpwIEBrowserEvents::Shared> shared_;
};

}  // namespace

WideString ReadBrowserLocation(IUnknown* browser) {
  if (!browser) return {};
  try {
    // IWebBrowser2 is a dual interface: its IDispatch part answers LocationURL by DISPID.
    ComPtr<IDispatch> web;
    ComPtr<IcvGlobalObject> global;
    if (Succeeded(browser->QueryInterface(IcvGlobalObject::iid, global.PutVoid())) && global) {
      if (Failed(global->QueryWrapped(kIID_IWebBrowser2, web.PutVoid()))) return {};
    } else if (Failed(browser->QueryInterface(kIID_IWebBrowser2, web.PutVoid()))) {
      return {};
    }
    if (!web) return {};
    OleVariant url;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (Failed(web->Invoke(kDispidLocationUrl, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, url.Put(), nullptr, nullptr)))
      return {};
    return url.Get().vt == VT_BSTR ? WideString(BstrView(url.Get().bstrVal)) : WideString();
  } catch (const std::exception&) {
    return {};
  }
}

ComPtr<TpwIEBrowserEvents> TpwIEBrowserEvents::Create(IUnknown* browser, TpwIEBrowserEventHandlers handlers,
                                                      TpwIEBrowserEventStates::LocationReader location) {
  auto sink = MakeObject<TpwIEBrowserEvents>();
  sink->shared_ = std::make_shared<Shared>(browser, location ? std::move(location) : ReadBrowserLocation);
  auto& states = sink->shared_->states;
  states.OnBeforeNavigate = std::move(handlers.OnBeforeNavigate);
  states.OnDownloadStarted = std::move(handlers.OnDownloadStarted);
  states.OnDownloadFinished = std::move(handlers.OnDownloadFinished);
  states.OnActivate = std::move(handlers.OnActivate);
  states.OnPageDownloaded = std::move(handlers.OnPageDownloaded);
  states.OnQuit = std::move(handlers.OnQuit);

  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  if (!browser || Failed(browser->QueryInterface(IConnectionPointContainer::iid, container.PutVoid())) || !container ||
      Failed(container->FindConnectionPoint(kDIID_DWebBrowserEvents2, point.Put())) || !point)
    return sink;
  {
    // Connected before the advice: an event raised while Advise runs is not lost.
    std::lock_guard guard(sink->shared_->lock);
    sink->shared_->connected = true;
  }
  auto dispatch = MakeObject<TBrowserEventDispatch>(sink->shared_);
  DWORD cookie = 0;
  if (Failed(point->Advise(static_cast<IDispatch*>(dispatch.Get()), &cookie))) {
    std::lock_guard guard(sink->shared_->lock);
    sink->shared_->connected = false;
    return sink;
  }
  std::lock_guard guard(sink->shared_->pointLock);
  sink->shared_->point = std::move(point);
  sink->shared_->cookie = cookie;
  return sink;
}

TpwIEBrowserEvents::~TpwIEBrowserEvents() { Disconnect(); }

bool TpwIEBrowserEvents::Connected() const {
  std::lock_guard guard(shared_->lock);
  return shared_->connected;
}

std::uint8_t TpwIEBrowserEvents::State() const {
  std::lock_guard guard(shared_->lock);
  return shared_->states.State();
}

void TpwIEBrowserEvents::Disconnect() {
  if (!shared_) return;
  {
    // Waits for an event in progress on another thread.
    std::lock_guard guard(shared_->lock);
    shared_->connected = false;
  }
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  {
    std::lock_guard guard(shared_->pointLock);
    point.Swap(shared_->point);
    cookie = shared_->cookie;
  }
  // A browser that quit has let its sinks go already; its answer does not matter.
  if (point) point->Unadvise(cookie);
}

}  // namespace pw::web
