#include "host/browser/objects/shell_windows.h"

#include "host/browser/objects/browsers.h"
#include "platform/rtl/strings.h"

namespace pw::host {

void TShellWindows::Constructed() noexcept {
  ComObject::Constructed();
  point_ = MakeObject<TConnectionPoint>(DIID_DShellWindowsEvents, static_cast<IConnectionPointContainer*>(this));
}

void TShellWindows::Detach() {
  std::lock_guard lock(mutex_);
  browsers_ = nullptr;
}

void TShellWindows::Notify(bool registered, const TestedBrowser& browser) {
  VARIANT cookie{};
  cookie.vt = VT_I4;
  cookie.lVal = kShellCookieBase + browser.id;
  DISPPARAMS params{&cookie, nullptr, 1, 0};
  point_->Fire(registered ? kEventWindowRegistered : kEventWindowRevoked, &params);
}

HRESULT TShellWindows::get_Count(std::int32_t* count) {
  if (!count) return E_POINTER;
  *count = 0;
  std::lock_guard lock(mutex_);
  if (!browsers_) return S_OK;
  for (const auto& b : browsers_->List())
    if (b->kind == BrowserKind::InternetExplorer) ++*count;
  return S_OK;
}

HRESULT TShellWindows::Item(VARIANT index, IDispatch** browser) {
  if (!browser) return E_POINTER;
  *browser = nullptr;
  OleVariant n;
  if (Failed(VariantChangeType(n.Ptr(), &VariantDeref(index), 0, VT_I4))) return S_FALSE;
  const std::int32_t value = n.Get().lVal;
  std::shared_ptr<TestedBrowser> found;
  TBrowsers* browsers = nullptr;
  {
    std::lock_guard lock(mutex_);
    browsers = browsers_;
    if (!browsers) return S_FALSE;
    std::int32_t at = 0;
    for (const auto& b : browsers->List()) {
      if (b->kind != BrowserKind::InternetExplorer) continue;
      if (at++ == value || kShellCookieBase + b->id == value) {
        found = b;
        break;
      }
    }
    if (!found) return S_FALSE;
    return SafeCall([&] { *browser = browsers->BrowserObject(*found).Detach(); });
  }
}

HRESULT TShellWindows::GetTypeInfoCount(std::uint32_t* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT TShellWindows::GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t count, LCID, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  for (std::uint32_t i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  if (count == 0) return S_OK;
  const WideStringView name(names[0]);
  if (SameTextIgnoringCase(name, u"Count")) ids[0] = kDispShellCount;
  else if (SameTextIgnoringCase(name, u"Item")) ids[0] = kDispShellItem;
  else return DISP_E_UNKNOWNNAME;
  return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT TShellWindows::Invoke(DISPID id, const IID&, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                              std::uint32_t*) {
  if (result) VariantInit(result);
  if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
  const std::uint32_t argc = params ? params->cArgs : 0;
  if (id == kDispShellCount) {
    std::int32_t count = 0;
    get_Count(&count);
    if (result) *result = OleVariant(count).Detach();
    return S_OK;
  }
  if (id != kDispShellItem) return DISP_E_MEMBERNOTFOUND;
  if (argc != 1) return DISP_E_BADPARAMCOUNT;
  IDispatch* browser = nullptr;
  const HRESULT hr = Item(params->rgvarg[0], &browser);
  if (Failed(hr)) return hr;
  if (result) {
    result->vt = VT_DISPATCH;
    result->pdispVal = browser;  // the reference goes to the result
  } else if (browser) {
    browser->Release();
  }
  return S_OK;
}

HRESULT TShellWindows::FindConnectionPoint(const IID& iid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (iid != DIID_DShellWindowsEvents) return CONNECT_E_NOCONNECTION;
  *point = ComPtr<IConnectionPoint>(point_.Get()).Detach();
  return S_OK;
}

}  // namespace pw::host
