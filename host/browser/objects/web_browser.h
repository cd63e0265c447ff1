// The "iexplore" adapter's browser object: a tested browser as the browser interface the web
// code calls (`IWebBrowser2`, early bound or through IDispatch by the DISPIDs below), with its
// navigation events raised through a connection point on `DWebBrowserEvents2`.
//
// Members: Navigate (URL: before-navigate, then the page navigates and the call waits for the
// load), Navigate2 (the same), LocationURL, LocationName (the page's title), HWND (the "IEFrame"
// window), Busy, ReadyState, Document (the page's document as a dispatch object), Quit (closes
// the browser), Visible (True; setting it is accepted and changes nothing: headless pages are
// always shown). The events come from the browser's events (host/browser/README.md has the
// table): BeforeNavigate2 250, DownloadBegin 106, NavigateComplete2 252, DownloadComplete 104,
// DocumentComplete 259, NewWindow2 251 (the popup's browser object in its first argument),
// WindowActivate 111, OnQuit 253. Every event's first argument, where it has one, is the
// browser object itself. After OnQuit the connection point lets its sinks go (nothing more is
// raised), so a sink that holds the browser and never unadvises leaks neither.
//
// The object is free-threaded (it aggregates the free-threaded marshaler): any apartment uses it
// directly, also through the global interface table. Events are raised on the engine's event
// thread (before-navigate of Navigate and window activate on the caller's); a sink that must be
// called in its own apartment advises a proxy of itself.
//
// A browser that has closed answers its location and state as last seen, Busy False, and fails
// Navigate and Document with "The browser has closed".
#pragma once

#include <memory>

#include "platform/automation/bstr.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/variant.h"
#include "platform/com/comptr.h"
#include "platform/com/guid.h"

namespace pw::host {

class TBrowsers;
struct TestedBrowser;

struct IWebBrowser2 : IDispatch {
  static constexpr IID iid = MakeGuid("{D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}");
  using Inherited = IDispatch;
  virtual HRESULT Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrame, VARIANT* postData, VARIANT* headers) = 0;
  virtual HRESULT Quit() = 0;
  virtual HRESULT get_Document(IDispatch** document) = 0;
  virtual HRESULT get_LocationName(BSTR* name) = 0;
  virtual HRESULT get_LocationURL(BSTR* url) = 0;
  virtual HRESULT get_Busy(VARIANT_BOOL* busy) = 0;
  virtual HRESULT get_HWND(std::intptr_t* window) = 0;
  virtual HRESULT get_ReadyState(std::int32_t* state) = 0;
  virtual HRESULT get_Visible(VARIANT_BOOL* visible) = 0;
  virtual HRESULT put_Visible(VARIANT_BOOL visible) = 0;
};

inline constexpr IID DIID_DWebBrowserEvents2 = MakeGuid("{34A715A0-6587-11D0-924A-0020AFC7AC4D}");

// DISPIDs of the browser's members.
inline constexpr DISPID kDispNavigate = 104;
inline constexpr DISPID kDispNavigate2 = 500;
inline constexpr DISPID kDispQuit = 300;
inline constexpr DISPID kDispDocument = 203;
inline constexpr DISPID kDispLocationName = 210;
inline constexpr DISPID kDispLocationURL = 211;
inline constexpr DISPID kDispBusy = 212;
inline constexpr DISPID kDispHWND = -515;
inline constexpr DISPID kDispReadyState = -525;
inline constexpr DISPID kDispVisible = 402;
// The window-level navigation members the web layer calls by number: navigate to a URL (and wait
// for its load, as Navigate), the step after a navigation (a Boolean; nothing is left to do),
// whether the page is ready (a Boolean argument; True once the ready state is complete and the
// browser is not busy), and the current URL.
inline constexpr DISPID kDispPageNavigate = 0x10F30;
inline constexpr DISPID kDispPageNavigated = 0x10F31;
inline constexpr DISPID kDispPageReady = 0x10F32;
inline constexpr DISPID kDispPageUrl = 0x10F33;
// Closes the page, as Quit does: the close member of the page context the host's page nodes give
// (the page-close slice calls it by number).
inline constexpr DISPID kDispClosePage = 0x7FFF0001;

// DISPIDs of the events.
inline constexpr DISPID kEventDownloadComplete = 104;
inline constexpr DISPID kEventDownloadBegin = 106;
inline constexpr DISPID kEventWindowActivate = 111;
inline constexpr DISPID kEventBeforeNavigate2 = 250;
inline constexpr DISPID kEventNewWindow2 = 251;
inline constexpr DISPID kEventNavigateComplete2 = 252;
inline constexpr DISPID kEventOnQuit = 253;
inline constexpr DISPID kEventDocumentComplete = 259;

// The browser object of a tested browser. It listens to the browser's events until it is
// destroyed; the tested browser holds it for its life (TBrowsers::BrowserObject).
ComPtr<IWebBrowser2> MakeWebBrowser(TBrowsers& browsers, const std::shared_ptr<TestedBrowser>& browser);

}  // namespace pw::host
