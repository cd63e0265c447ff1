#include "web/events/web_project_event_provider.h"

#include <mutex>
#include <thread>

#include "core/automation/automation.h"
#include "core/com/agile_objects.h"
#include "core/host/host_services.h"
#include "openapps/extensions/node_utils.h"
#include "platform/automation/safearray.h"
#include "platform/com/connection_points.h"
#include "platform/com/marshal.h"
#include "platform/kernel/clock.h"
#include "platform/rtl/strings.h"
#include "web/events/ie_browser_locator.h"
#include "web/navigation/canonical_url.h"
#include "web/navigation/ie_browser_events.h"
#include "web/navigation/node_facts.h"

namespace pw::web {

namespace {

// Also through an apartment-neutral wrapper (the events carry the wrapper).
bool AnswersWebBrowser(IUnknown* browser) {
  if (!browser) return false;
  ComPtr<IUnknown> q;
  ComPtr<IcvGlobalObject> global;
  if (Succeeded(browser->QueryInterface(IcvGlobalObject::iid, global.PutVoid())) && global)
    return Succeeded(global->QueryWrapped(kIID_IWebBrowser2, q.PutVoid())) && q;
  return Succeeded(browser->QueryInterface(kIID_IWebBrowser2, q.PutVoid())) && q;
}

ComPtr<IUnknown> IdentityOf(IUnknown* object) {
  ComPtr<IUnknown> identity;
  if (object) object->QueryInterface(IUnknown::iid, identity.PutVoid());
  return identity;
}

OleVariant LateGet(IUnknown* object, const char16_t* name, std::span<const OleVariant> args = {}) {
  ComPtr<IDispatch> dispatch;
  GlobalToDispatch(object, dispatch);
  if (!dispatch) return {};
  return DispInvoke(dispatch.Get(), name, args);
}

}  // namespace

TpwWebEventSystem DefaultWebEventSystem() {
  TpwWebEventSystem s;
  s.findServerWindow = [](IUnknown* browser) { return FindIEServerWindow(browser); };
  s.dialogServerWindows = [] { return DialogServerWindows(); };
  s.documentOfWindow = [](HWND window) { return GetDocumentOfWindow(window); };
  s.isWindow = [](HWND w) { return pw::IsWindow(w); };
  s.createShellWindows = [] {
    ComPtr<IUnknown> collection;
    if (Failed(CoCreateInstance(kCLSID_ShellWindows, nullptr, CLSCTX_INPROC_SERVER | 4 /* local server */,
                                IUnknown::iid, collection.PutVoid())))
      return ComPtr<IUnknown>();
    return collection;
  };
  s.browserLocation = [](IUnknown* browser) -> WideString {
    try {
      return LateGet(browser, u"LocationURL").AsString();
    } catch (const std::exception&) {
      return {};
    }
  };
  s.retryPause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(10)); };
  return s;
}

// ---- The event stub ----------------------------------------------------------------------

TpwEventStub::TpwEventStub(IcvBaseManager* manager, const IID& eventSetIid) : manager_(manager), iid_(eventSetIid) {
  try {
    typeInfo_ = TypeLibraries()->GetTypeInfoOfGuid(iid_);
  } catch (const std::exception&) {
    typeInfo_ = nullptr;
  }
}

HRESULT TpwEventStub::GetTypeInfoCount(std::uint32_t* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT TpwEventStub::GetTypeInfo(std::uint32_t index, LCID, ITypeInfo** typeInfo) {
  if (!typeInfo) return E_POINTER;
  *typeInfo = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  if (typeInfo_) typeInfo_->AddRef();
  *typeInfo = typeInfo_.Get();
  return S_OK;
}

HRESULT TpwEventStub::GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t count, LCID,
                                    DISPID* dispIds) {
  if (!typeInfo_) return E_FAIL;
  return typeInfo_->GetIDsOfNames(names, count, dispIds);
}

HRESULT TpwEventStub::Invoke(DISPID dispId, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO* excepInfo,
                             std::uint32_t*) {
  try {
    auto events = GetHostService<IpwActiveXEventManager>(manager_.Get(), IpwActiveXEventManager::iid);
    if (!events) return E_FAIL;
    const std::uint32_t count = params ? params->cArgs : 0;
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, count);
    if (!array) throw EOutOfMemory();
    VARIANT holder;
    VariantInit(&holder);
    holder.vt = VT_ARRAY | VT_VARIANT;
    holder.parray = array;
    OleVariant arguments = OleVariant::Attach(holder);
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::int32_t index = static_cast<std::int32_t>(i);
      OleCheck(SafeArrayPutElement(array, &index, &params->rgvarg[i]));
    }
    SafeCallCheck(events->RaiseEvent(iid_, dispId, arguments.Get()));
    return S_OK;
  } catch (const std::exception& e) {
    if (excepInfo) {
      SysFreeString(excepInfo->bstrSource);
      SysFreeString(excepInfo->bstrDescription);
      SysFreeString(excepInfo->bstrHelpFile);
      *excepInfo = EXCEPINFO{};
      const auto* pe = dynamic_cast<const Exception*>(&e);
      excepInfo->bstrSource = SysAllocString(dynamic_cast<const EOleException*>(&e)  ? u"EOleException"
                                             : dynamic_cast<const EOleSysError*>(&e) ? u"EOleSysError"
                                                                                     : u"Exception");
      excepInfo->bstrDescription = SysAllocString(pe ? WideStringView(pe->Message()) : WideStringView(u""));
      excepInfo->scode = E_FAIL;
    }
    return DISP_E_EXCEPTION;
  }
}

// ---- A sink's connection ------------------------------------------------------------------

// The advised connection of a sink and the provider it reports to. Advise connects when the
// source has the event set; Disconnect lets the provider go under the sink's lock (an event in
// progress finishes first) and unadvises outside it.
struct TpwSinkConnection {
  std::mutex lock;
  ComPtr<TpwWebProjectEventProvider> provider;
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;

  void Advise(IUnknown* source, const IID& events, IDispatch* sink) {
    ComPtr<IConnectionPointContainer> container;
    if (source && Succeeded(source->QueryInterface(IConnectionPointContainer::iid, container.PutVoid())) && container &&
        Succeeded(container->FindConnectionPoint(events, point.Put())) && point) {
      if (Failed(point->Advise(sink, &cookie))) point = nullptr;
    }
  }

  void Disconnect() {
    ComPtr<IConnectionPoint> advised;
    ComPtr<TpwWebProjectEventProvider> held;
    {
      std::lock_guard guard(lock);
      advised.Swap(point);
      held.Swap(provider);
    }
    if (advised) advised->Unadvise(cookie);
  }
};

// ---- The sinks' base ------------------------------------------------------------------------

// A sink of the provider: an IDispatch without type information (events come by DISPID) and
// the connection it is advised on.
template <class... Intfs>
class TpwProviderSink : public Implements<TcvInterfacedObject, Intfs..., IDispatch> {
 public:
  // An event in progress finishes first; the unadvise runs outside the lock.
  void Disconnect() { connection_.Disconnect(); }

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

 protected:
  TpwSinkConnection connection_;
};

// ---- A browser's sink --------------------------------------------------------------------

// Advised on the browser's events; hands each to the browser's state machine, one at a time,
// whose notifications go to the provider. Disconnect unadvises and lets the provider go; an
// event in progress finishes first.
class TpwBrowserSink final : public TpwProviderSink<> {
 public:
  TpwBrowserSink(TpwWebProjectEventProvider* provider, IUnknown* browser, IUnknown* wrapper,
                 TpwIEBrowserEventStates::LocationReader location)
      : states_(wrapper, std::move(location)) {
    connection_.provider = provider;
    auto forward = [this](TpwWebEventKind kind) {
      return [this, kind](IUnknown* b) { connection_.provider->BrowserEvent(kind, b, {}); };
    };
    auto forwardUrl = [this](TpwWebEventKind kind) {
      return [this, kind](IUnknown* b, const WideString& url) { connection_.provider->BrowserEvent(kind, b, url); };
    };
    states_.OnBeforeNavigate = forwardUrl(TpwWebEventKind::BeforeNavigate);
    states_.OnPageDownloaded = forwardUrl(TpwWebEventKind::PageDownloaded);
    states_.OnDownloadStarted = forward(TpwWebEventKind::DownloadStarted);
    states_.OnDownloadFinished = forward(TpwWebEventKind::DownloadFinished);
    states_.OnQuit = forward(TpwWebEventKind::Quit);
    connection_.Advise(browser, kDIID_DWebBrowserEvents2, static_cast<IDispatch*>(this));
  }

  HRESULT Invoke(DISPID dispId, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                 std::uint32_t*) override {
    return SafeCallBoundary([&] {
      std::lock_guard guard(connection_.lock);
      if (connection_.provider) states_.HandleDispatchEvent(dispId, params);
    });
  }

 private:
  TpwIEBrowserEventStates states_;
};

// ---- The shell-windows adapter -----------------------------------------------------------

class TpwShellWindows final : public TpwProviderSink<IpwShellWindows> {
 public:
  TpwShellWindows(TpwWebProjectEventProvider* provider, ComPtr<IUnknown> collection)
      : collection_(std::move(collection)) {
    connection_.provider = provider;
    connection_.Advise(collection_.Get(), kDIID_DShellWindowsEvents, static_cast<IDispatch*>(this));
  }

  std::int32_t Count() override {
    try {
      return collection_ ? LateGet(collection_.Get(), u"Count").AsInt() : 0;
    } catch (const std::exception&) {
      return 0;
    }
  }
  HRESULT Item(std::int32_t index, IDispatch** browser) override {
    if (!browser) return E_POINTER;
    *browser = nullptr;
    try {
      if (!collection_) return S_OK;
      const OleVariant args[] = {OleVariant(index)};
      OleVariant item = LateGet(collection_.Get(), u"Item", args);
      if ((item.Type() == VT_DISPATCH || item.Type() == VT_UNKNOWN) && item.Get().punkVal) {
        ComPtr<IDispatch> d;
        if (Succeeded(item.Get().punkVal->QueryInterface(IDispatch::iid, d.PutVoid()))) *browser = d.Detach();
      }
    } catch (const std::exception&) {
    }
    return S_OK;
  }

  // 200: a window was registered (its cookie the first argument); 201: one was revoked.
  HRESULT Invoke(DISPID dispId, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                 std::uint32_t*) override {
    return SafeCallBoundary([&] {
      if (dispId != 200) return;
      ComPtr<TpwWebProjectEventProvider> provider;
      {
        std::lock_guard guard(connection_.lock);
        provider = connection_.provider;
      }
      if (!provider) return;
      ComPtr<IDispatch> browser;
      if (params && params->cArgs > 0) {
        try {
          Item(OleVariant(params->rgvarg[params->cArgs - 1]).AsInt(), browser.Put());
        } catch (const std::exception&) {
        }
      }
      provider->BrowserOpened(browser.Get());
    });
  }

 private:
  ComPtr<IUnknown> collection_;
};

// ---- The provider ------------------------------------------------------------------------

class TpwWebProjectEventProvider::BusyScope {
 public:
  explicit BusyScope(TpwWebProjectEventProvider& p) : p_(p) {
    p_.busy_.fetch_add(1);
    active_ = p_.started_.load();
  }
  ~BusyScope() {
    if (p_.busy_.fetch_sub(1) == 1) p_.busy_.notify_all();
  }
  explicit operator bool() const { return active_; }

 private:
  TpwWebProjectEventProvider& p_;
  bool active_ = false;
};

TpwWebProjectEventProvider::TpwWebProjectEventProvider(TpwWebEventSystem system) : system_(std::move(system)) {}

TpwWebProjectEventProvider::~TpwWebProjectEventProvider() = default;

HRESULT TpwWebProjectEventProvider::Initialize(IcvBaseManager* manager) {
  return SafeCallBoundary([&] {
    manager_ = manager;
    initialized_ = true;
    auto events = GetHostService<IpwActiveXEventManager>(manager, IpwActiveXEventManager::iid);
    if (!events) return;
    auto stub = MakeObject<TpwEventStub>(manager, kIID_IpwWebEvent);
    eventSet_ = static_cast<IDispatch*>(stub.Get());
    BString name(kWebEventSetName);
    SafeCallCheck(events->RegisterEventSet(eventSet_.Get(), kIID_IpwWebEvent, name.Get(), 0));
  });
}

HRESULT TpwWebProjectEventProvider::Start() {
  return SafeCallBoundary([&] {
    if (started_.load() || !initialized_) return;
    started_.store(true);
    auto collection = system_.createShellWindows ? system_.createShellWindows() : nullptr;
    ComPtr<IUnknown> global;
    MakeGlobal(collection.Get(), global);
    auto adapter = MakeObject<TpwShellWindows>(this, global ? global : collection);
    {
      std::lock_guard guard(lock_);
      shellWindows_ = adapter;
    }
    AttachOpenBrowsers();
    timer_ = std::make_unique<TcvOutstandingTimer>(100);
    timer_->SetOnTimer([this](TcvOutstandingTimer*) { PollDialogs(); });
  });
}

void TpwWebProjectEventProvider::StopWork() {
  if (!started_.exchange(false)) return;
  timer_.reset();
  for (std::int32_t n = busy_.load(); n != 0; n = busy_.load()) busy_.wait(n);
  std::vector<ComPtr<IcvWaitableObject>> jobs;
  std::map<IUnknown*, ComPtr<TpwBrowserSink>> sinks;
  ComPtr<TpwShellWindows> shellWindows;
  {
    std::lock_guard guard(lock_);
    jobs.swap(jobs_);
  }
  for (auto& job : jobs) job->Wait(INFINITE);
  jobs.clear();
  {
    std::lock_guard guard(lock_);
    browserWindows_.clear();
    sinks.swap(browserSinks_);
    shellWindows.Swap(shellWindows_);
  }
  for (auto& [identity, sink] : sinks) sink->Disconnect();
  for (auto& [identity, sink] : sinks) identity->Release();
  if (shellWindows) shellWindows->Disconnect();
}

HRESULT TpwWebProjectEventProvider::Stop() {
  return SafeCallBoundary([&] { StopWork(); });
}

HRESULT TpwWebProjectEventProvider::Finalize() {
  return SafeCallBoundary([&] {
    StopWork();
    if (!initialized_) return;
    initialized_ = false;
    ComPtr<IcvBaseManager> manager = std::move(manager_);
    ComPtr<IDispatch> eventSet = std::move(eventSet_);
    {
      std::lock_guard guard(lock_);
      dialogWindows_.clear();
    }
    auto events = GetHostService<IpwActiveXEventManager>(manager.Get(), IpwActiveXEventManager::iid);
    if (events && eventSet) SafeCallCheck(events->UnregisterEventSet(kIID_IpwWebEvent));
  });
}

void TpwWebProjectEventProvider::AttachOpenBrowsers() {
  ComPtr<TpwShellWindows> shellWindows;
  {
    std::lock_guard guard(lock_);
    shellWindows = shellWindows_;
  }
  if (!shellWindows) return;
  const std::int32_t count = shellWindows->Count();
  for (std::int32_t i = 0; i < count; ++i) {
    ComPtr<IDispatch> item;
    shellWindows->Item(i, item.Put());
    if (item) BrowserOpened(item.Get());
  }
}

void TpwWebProjectEventProvider::BrowserOpened(IUnknown* browser) {
  BusyScope busy(*this);
  if (!busy) return;
  if (!browser) {
    AttachOpenBrowsers();
    return;
  }
  if (!AnswersWebBrowser(browser)) return;
  const HWND w = system_.findServerWindow ? system_.findServerWindow(browser) : 0;
  std::lock_guard guard(lock_);
  if (w != 0 && browserWindows_.count(w)) return;
  ConnectBrowser(browser);
  if (w != 0) browserWindows_.insert(w);
}

void TpwWebProjectEventProvider::ConnectBrowser(IUnknown* browser) {
  ComPtr<IUnknown> identity = IdentityOf(browser);
  if (!identity) return;
  std::lock_guard guard(lock_);
  if (browserSinks_.count(identity.Get())) return;
  ComPtr<IUnknown> wrapper;
  MakeGlobal(browser, wrapper);
  auto sink = MakeObject<TpwBrowserSink>(this, browser, wrapper.Get(), system_.browserLocation);
  browserSinks_.emplace(identity.Detach(), sink);
}

void TpwWebProjectEventProvider::NoteBrowserWindow(IUnknown* browser) {
  if (!started_.load() || !AnswersWebBrowser(browser)) return;
  const HWND w = system_.findServerWindow ? system_.findServerWindow(browser) : 0;
  if (w == 0) return;
  std::lock_guard guard(lock_);
  browserWindows_.insert(w);
}

void TpwWebProjectEventProvider::BrowserEvent(TpwWebEventKind kind, IUnknown* browser, const WideString& url) {
  BusyScope busy(*this);
  if (!busy) return;
  if (kind != TpwWebEventKind::Quit) NoteBrowserWindow(browser);
  FireEvent(kind, browser, url);
  if (kind == TpwWebEventKind::Quit && AnswersWebBrowser(browser)) {
    const HWND w = system_.findServerWindow ? system_.findServerWindow(browser) : 0;
    if (w != 0) {
      std::lock_guard guard(lock_);
      browserWindows_.erase(w);
    }
  }
}

void TpwWebProjectEventProvider::FireEvent(TpwWebEventKind kind, IUnknown* browser, const WideString& url) {
  if (!manager_ || !IsTestRunning(manager_.Get())) return;
  struct Job {
    ComPtr<IDispatch> eventSet;
    ComPtr<IUnknown> browser;
    WideString url;
    TpwWebEventKind kind;
  };
  auto job = std::make_shared<Job>(Job{eventSet_, ComPtr<IUnknown>(browser), url, kind});
  ComPtr<IcvWaitableObject> waitable;
  RunWaitableThread(nullptr, waitable, [job](void*) {
    if (!job->eventSet) return;
    const bool withUrl = job->kind == TpwWebEventKind::BeforeNavigate || job->kind == TpwWebEventKind::PageDownloaded;
    OleVariant args[2];
    std::uint32_t count = 0;
    if (withUrl) args[count++] = OleVariant(job->url);
    args[count++] = OleVariant(job->browser.Get());
    DISPPARAMS params{reinterpret_cast<VARIANTARG*>(args), nullptr, count, 0};
    EXCEPINFO info{};
    job->eventSet->Invoke(WebEventDispId(job->kind), GUID_NULL, 0, DISPATCH_METHOD, &params, nullptr, &info, nullptr);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
  });
  std::lock_guard guard(lock_);
  std::erase_if(jobs_, [](const ComPtr<IcvWaitableObject>& j) { return j->Wait(0) == 0; });
  jobs_.push_back(std::move(waitable));
}

WideString TpwWebProjectEventProvider::GetDialogUrl(HWND window) {
  if (!system_.documentOfWindow) return {};
  auto document = system_.documentOfWindow(window);
  if (!document) return {};
  try {
    return CanonicalizeUrl(DispInvoke(document.Get(), u"URL", {}, DISPATCH_PROPERTYGET).AsString());
  } catch (const std::exception&) {
    return {};
  }
}

void TpwWebProjectEventProvider::PollDialogs() {
  if (!started_.load()) return;
  // One poll at a time (the timer's, or a caller's), so a dialog is never taken as new twice.
  std::lock_guard poll(pollLock_);
  std::vector<HWND> windows = system_.dialogServerWindows ? system_.dialogServerWindows() : std::vector<HWND>();
  std::vector<WideString> fresh;
  for (HWND w : windows) {
    {
      std::lock_guard guard(lock_);
      if (dialogWindows_.count(w)) continue;
    }
    WideString url = GetDialogUrl(w);
    if (url.empty()) {
      if (system_.retryPause) system_.retryPause();
      url = GetDialogUrl(w);
    }
    fresh.push_back(url);
    std::lock_guard guard(lock_);
    dialogWindows_.insert(w);
  }
  for (const auto& url : fresh) {
    BrowserEvent(TpwWebEventKind::BeforeNavigate, nullptr, url);
    BrowserEvent(TpwWebEventKind::PageDownloaded, nullptr, url);
  }
  std::lock_guard guard(lock_);
  std::erase_if(dialogWindows_, [&](HWND w) { return !(system_.isWindow && system_.isWindow(w)); });
}

std::size_t TpwWebProjectEventProvider::SinkCount() const {
  std::lock_guard guard(lock_);
  return browserSinks_.size();
}
std::size_t TpwWebProjectEventProvider::JobCount() const {
  std::lock_guard guard(lock_);
  return jobs_.size();
}
std::size_t TpwWebProjectEventProvider::BrowserWindowCount() const {
  std::lock_guard guard(lock_);
  return browserWindows_.size();
}
std::size_t TpwWebProjectEventProvider::DialogWindowCount() const {
  std::lock_guard guard(lock_);
  return dialogWindows_.size();
}

}  // namespace pw::web
