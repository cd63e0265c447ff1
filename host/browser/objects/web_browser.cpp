#include "host/browser/objects/web_browser.h"

#include <cctype>
#include <utility>

#include "host/browser/errors.h"
#include "host/browser/objects/browsers.h"
#include "platform/com/comobject.h"
#include "platform/com/connection_points.h"
#include "platform/com/errorinfo.h"
#include "platform/com/free_threaded.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace pw::host {
namespace {

constexpr std::pair<const char16_t*, DISPID> kMembers[] = {
    {u"Navigate", kDispNavigate},
    {u"Navigate2", kDispNavigate2},
    {u"Quit", kDispQuit},
    {u"Document", kDispDocument},
    {u"LocationName", kDispLocationName},
    {u"LocationURL", kDispLocationURL},
    {u"Busy", kDispBusy},
    {u"HWND", kDispHWND},
    {u"ReadyState", kDispReadyState},
    {u"Visible", kDispVisible},
    {u"PageNavigate", kDispPageNavigate},
    {u"PageNavigated", kDispPageNavigated},
    {u"PageReady", kDispPageReady},
    {u"PageURL", kDispPageUrl},
};

class TWebBrowser final : public FreeThreaded<Implements<ComObject, IWebBrowser2, IConnectionPointContainer>> {
 public:
  TWebBrowser(TBrowsers& browsers, const std::shared_ptr<TestedBrowser>& browser)
      : browsers_(browsers), browser_(browser), events_(browser->events), window_(browser->window) {}

  void Constructed() noexcept override {
    ComObject::Constructed();
    point_ = MakeObject<TConnectionPoint>(DIID_DWebBrowserEvents2, static_cast<IConnectionPointContainer*>(this));
    listener_ = events_->Listen([this](const BrowserEvent& e) { OnEvent(e); });
  }
  ~TWebBrowser() override { events_->Unlisten(listener_); }

  // ---- IWebBrowser2 ----
  HRESULT Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override {
    return SafeCall([&] {
      auto b = Alive();
      try {
        browsers_.Navigate(*b, WideToUtf8(BstrView(url)));
      } catch (const browser::BrowserError& e) {
        throw EOleSysError(Utf8ToWide(e.what()), E_FAIL);
      }
    });
  }
  HRESULT Quit() override {
    return SafeCall([&] {
      if (auto b = browser_.lock()) browsers_.Close(b->id);
    });
  }
  HRESULT get_Document(IDispatch** document) override {
    if (!document) return E_POINTER;
    *document = nullptr;
    return SafeCall([&] { *document = browsers_.Document(*Alive()).Detach(); });
  }
  HRESULT get_LocationName(BSTR* name) override {
    if (!name) return E_POINTER;
    *name = nullptr;
    return SafeCall([&] {
      std::string title;
      if (auto b = browser_.lock(); b && !Closed()) {
        try {
          title = b->page->Title();
        } catch (const browser::BrowserError&) {
          title.clear();  // a page that cannot answer (a dialog is open, it closed) has no name
        }
      }
      if (title.empty()) title = events_->LocationUrl();
      *name = SysAllocString(Utf8ToWide(title));
    });
  }
  HRESULT get_LocationURL(BSTR* url) override {
    if (!url) return E_POINTER;
    *url = SysAllocString(Utf8ToWide(events_->LocationUrl()));
    return S_OK;
  }
  HRESULT get_Busy(VARIANT_BOOL* busy) override {
    if (!busy) return E_POINTER;
    *busy = events_->Busy() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT get_HWND(std::intptr_t* window) override {
    if (!window) return E_POINTER;
    *window = static_cast<std::intptr_t>(window_);
    return S_OK;
  }
  HRESULT get_ReadyState(std::int32_t* state) override {
    if (!state) return E_POINTER;
    *state = static_cast<std::int32_t>(events_->State());
    return S_OK;
  }
  HRESULT get_Visible(VARIANT_BOOL* visible) override {
    if (!visible) return E_POINTER;
    *visible = Closed() ? VARIANT_FALSE : VARIANT_TRUE;
    return S_OK;
  }
  HRESULT put_Visible(VARIANT_BOOL) override { return S_OK; }

  // ---- IDispatch ----
  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t count, LCID, DISPID* ids) override {
    if (!names || !ids) return E_POINTER;
    for (std::uint32_t i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (count == 0) return S_OK;
    for (const auto& [name, id] : kMembers) {
      if (SameTextIgnoringCase(WideStringView(names[0]), name)) {
        ids[0] = id;
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;  // the members take no named arguments
      }
    }
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                 std::uint32_t*) override {
    if (result) VariantInit(result);
    const std::uint32_t argc = params ? params->cArgs : 0;
    const bool get = flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD);
    auto answer = [&](HRESULT hr, OleVariant value) {
      if (Succeeded(hr) && result) *result = value.Detach();
      return hr;
    };
    HRESULT hr = S_OK;
    switch (id) {
      case kDispNavigate:
      case kDispNavigate2:
      case kDispPageNavigate: {
        if (argc < 1) return DISP_E_BADPARAMCOUNT;
        OleVariant url;
        if (Failed(VariantChangeType(url.Ptr(), &VariantDeref(params->rgvarg[argc - 1]), 0, VT_BSTR)))
          return DISP_E_TYPEMISMATCH;
        if (id == kDispPageNavigate) {
          // The window-level member takes a URL as an address does: relative to the current page.
          hr = SafeCall([&] { url = OleVariant(Utf8ToWide(Absolute(WideToUtf8(url.AsString())))); });
          if (Failed(hr)) break;
        }
        hr = Navigate(url.Get().bstrVal, nullptr, nullptr, nullptr, nullptr);
        break;
      }
      case kDispQuit:
      case kDispClosePage: hr = Quit(); break;
      case kDispDocument: {
        if (!get) return DISP_E_MEMBERNOTFOUND;
        IDispatch* document = nullptr;
        hr = get_Document(&document);
        OleVariant value(document);
        if (document) document->Release();
        return ToDispatchResult(answer(hr, std::move(value)), excepInfo);
      }
      case kDispPageNavigated: return S_OK;  // Navigate waited for the load already
      case kDispPageReady: {
        if (!get) return DISP_E_MEMBERNOTFOUND;
        std::int32_t state = 0;
        VARIANT_BOOL busy = VARIANT_TRUE;
        get_ReadyState(&state);
        get_Busy(&busy);
        // A login left open: nothing loads until someone answers it.
        const auto b = browser_.lock();
        const bool login = b && b->page && b->page->OpenLogin().has_value();
        return answer(S_OK, OleVariant(!Closed() && ((state == 4 && !busy) || login)));
      }
      case kDispLocationName:
      case kDispLocationURL:
      case kDispPageUrl: {
        if (!get) return DISP_E_MEMBERNOTFOUND;
        BSTR text = nullptr;
        hr = id == kDispLocationName ? get_LocationName(&text) : get_LocationURL(&text);
        OleVariant value(BstrView(text));
        SysFreeString(text);
        return ToDispatchResult(answer(hr, std::move(value)), excepInfo);
      }
      case kDispBusy:
        if (!get) return DISP_E_MEMBERNOTFOUND;
        return answer(S_OK, OleVariant(events_->Busy()));
      case kDispHWND:
        if (!get) return DISP_E_MEMBERNOTFOUND;
        return answer(S_OK, OleVariant(static_cast<std::int32_t>(window_)));
      case kDispReadyState:
        if (!get) return DISP_E_MEMBERNOTFOUND;
        return answer(S_OK, OleVariant(static_cast<std::int32_t>(events_->State())));
      case kDispVisible:
        if (flags & DISPATCH_PROPERTYPUT) return S_OK;
        return answer(S_OK, OleVariant(!Closed()));
      default: return DISP_E_MEMBERNOTFOUND;
    }
    return ToDispatchResult(hr, excepInfo);
  }

  // ---- IConnectionPointContainer ----
  HRESULT EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** point) override {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (iid != DIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
    *point = ComPtr<IConnectionPoint>(point_.Get()).Detach();
    return S_OK;
  }

 private:
  std::shared_ptr<TestedBrowser> Alive() {
    auto b = browser_.lock();
    if (!b || Closed() || browsers_.Find(b->id) != b) throw EOleSysError(Utf8ToWide(browser::kClosedMessage), E_FAIL);
    return b;
  }
  bool Closed() const { return closed_.load(); }
  // A URL with a scheme as it is; any other resolved against the page's location by the engine's
  // own URL parser.
  std::string Absolute(const std::string& url) {
    const auto colon = url.find(':');
    const bool schemed =
        colon != std::string::npos && colon > 0 && std::isalpha(static_cast<unsigned char>(url[0])) &&
        url.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+.-") == colon;
    if (schemed) return url;
    auto b = Alive();
    try {
      return b->page
          ->Evaluate("new URL(" + browser::Json(url).dump() + ", " + browser::Json(b->Location()).dump() + ").href")
          .object.value("value", url);
    } catch (const browser::BrowserError& e) {
      throw EOleSysError(Utf8ToWide(e.what()), E_FAIL);
    }
  }

  // A failure of a member becomes DISP_E_EXCEPTION with the error's text.
  static HRESULT ToDispatchResult(HRESULT hr, EXCEPINFO* excepInfo) {
    if (Succeeded(hr)) return hr;
    if (excepInfo) {
      *excepInfo = EXCEPINFO{};
      ComPtr<IErrorInfo> info;
      BSTR text = nullptr;
      if (GetErrorInfo(0, info.Put()) == S_OK && info && Succeeded(info->GetDescription(&text))) {
        excepInfo->bstrDescription = text;
      }
      excepInfo->scode = hr;
    }
    return DISP_E_EXCEPTION;
  }

  void Raise(DISPID id, std::vector<OleVariant> args) {
    // DISPPARAMS hold the arguments last to first.
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(it->Get());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<std::uint32_t>(reversed.size()), 0};
    point_->Fire(id, &params);
  }

  void OnEvent(const BrowserEvent& e) {
    IDispatch* self = static_cast<IWebBrowser2*>(this);
    switch (e.kind) {
      case BrowserEventKind::BeforeNavigate: {
        OleVariant url(Utf8ToWide(e.url)), flags(std::int32_t{0}), frame(WideStringView(u"")), post,
            headers(WideStringView(u""));
        VARIANT_BOOL cancel = VARIANT_FALSE;
        VARIANT urlRef{}, flagsRef{}, frameRef{}, postRef{}, headersRef{}, cancelRef{};
        auto byRef = [](VARIANT& ref, OleVariant& of) {
          ref.vt = VT_BYREF | VT_VARIANT;
          ref.pvarVal = of.Ptr();
        };
        byRef(urlRef, url);
        byRef(flagsRef, flags);
        byRef(frameRef, frame);
        byRef(postRef, post);
        byRef(headersRef, headers);
        cancelRef.vt = VT_BYREF | VT_BOOL;
        cancelRef.byref = &cancel;
        // The sinks are not asked to cancel: a cancelled navigation has no counterpart here.
        VARIANT args[7] = {cancelRef, headersRef, postRef, frameRef, flagsRef, urlRef, OleVariant(self).Detach()};
        DISPPARAMS params{args, nullptr, 7, 0};
        point_->Fire(kEventBeforeNavigate2, &params);
        VariantClear(&args[6]);
        break;
      }
      case BrowserEventKind::DownloadBegin: Raise(kEventDownloadBegin, {}); break;
      case BrowserEventKind::DownloadComplete: Raise(kEventDownloadComplete, {}); break;
      case BrowserEventKind::NavigateComplete:
      case BrowserEventKind::DocumentComplete: {
        OleVariant url(Utf8ToWide(e.url));
        VARIANT urlRef{};
        urlRef.vt = VT_BYREF | VT_VARIANT;
        urlRef.pvarVal = url.Ptr();
        VARIANT args[2] = {urlRef, OleVariant(self).Detach()};
        DISPPARAMS params{args, nullptr, 2, 0};
        point_->Fire(e.kind == BrowserEventKind::DocumentComplete ? kEventDocumentComplete : kEventNavigateComplete2,
                     &params);
        VariantClear(&args[1]);
        break;
      }
      case BrowserEventKind::NewWindow: {
        IDispatch* popup = nullptr;
        for (const auto& b : browsers_.List()) {
          if (b->page && b->page->TargetId() == e.targetId) {
            auto object = browsers_.BrowserObject(*b);
            popup = object.Detach();
            break;
          }
        }
        VARIANT_BOOL cancel = VARIANT_FALSE;
        VARIANT args[2]{};
        args[0].vt = VT_BYREF | VT_BOOL;
        args[0].byref = &cancel;
        args[1].vt = VT_BYREF | VT_DISPATCH;
        args[1].byref = &popup;
        DISPPARAMS params{args, nullptr, 2, 0};
        point_->Fire(kEventNewWindow2, &params);
        if (popup) popup->Release();
        break;
      }
      case BrowserEventKind::WindowActivate: Raise(kEventWindowActivate, {}); break;
      case BrowserEventKind::Quit:
        closed_ = true;
        Raise(kEventOnQuit, {});
        point_->DisconnectAll();  // a quit browser raises nothing more
        break;
      case BrowserEventKind::DialogOpened:
      case BrowserEventKind::DialogClosed:
      case BrowserEventKind::LoginOpened:
      case BrowserEventKind::LoginClosed: break;
    }
  }

  TBrowsers& browsers_;
  std::weak_ptr<TestedBrowser> browser_;
  std::shared_ptr<BrowserEvents> events_;
  const HWND window_;
  ComPtr<TConnectionPoint> point_;
  int listener_ = 0;
  std::atomic<bool> closed_{false};
};

}  // namespace

ComPtr<IWebBrowser2> MakeWebBrowser(TBrowsers& browsers, const std::shared_ptr<TestedBrowser>& browser) {
  return ComPtr<IWebBrowser2>(MakeObject<TWebBrowser>(browsers, browser));
}

}  // namespace pw::host
