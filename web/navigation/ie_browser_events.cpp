#include "web/navigation/ie_browser_events.h"

#include "platform/automation/bstr.h"
#include "platform/automation/variant.h"
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
