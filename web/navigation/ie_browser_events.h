// The state machine of one browser's events: TpwIEBrowserEventStates reduces the browser's
// navigation events to six page notifications. The sink that connects to a browser hands it
// each event (HandleDispatchEvent with the event's DISPID and arguments, or HandleEvent).
//
// Events (DISPID, kind): 253 Quit, 250 BeforeNavigate, 259 DocumentComplete, 106 DownloadBegin,
// 104 DownloadEnd, 111 WindowActivate; every other DISPID is ignored. The URL handed on:
// BeforeNavigate: the event's URL argument (the second), as it comes; DocumentComplete and
// DownloadEnd: the browser's own location (read through the reader given at creation, then
// canonicalised), never the event's argument.
//
// States 0 idle, 1 navigating, 2 downloading; a machine starts idle. Actions (row = state,
// column = kind Quit, BeforeNavigate, DocumentComplete, DownloadBegin, DownloadEnd,
// WindowActivate):
//   idle         1 2 0 0 0 7
//   navigating   1 0 4 5 4 7
//   downloading  1 3 0 0 6 7
// 0 nothing; 1 OnQuit, to idle; 2 OnBeforeNavigate, to navigating; 3 OnBeforeNavigate, state
// kept; 4 OnPageDownloaded, to idle; 5 OnDownloadStarted, to downloading; 6 OnDownloadFinished,
// to navigating; 7 OnActivate, state kept. An unassigned handler is skipped; the state still
// changes. A handler that raises leaves the new state in place and the exception goes to the
// caller. Events are expected one at a time (the sink delivers them so).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/automation/dispatch.h"
#include "platform/com/comptr.h"
#include "platform/com/types.h"

namespace pw::web {

enum class TpwBrowserEventKind : std::uint8_t {
  Quit = 0,
  BeforeNavigate = 1,
  DocumentComplete = 2,
  DownloadBegin = 3,
  DownloadEnd = 4,
  WindowActivate = 5,
};

inline constexpr DISPID kDispidBeforeNavigate2 = 250;
inline constexpr DISPID kDispidDocumentComplete = 259;
inline constexpr DISPID kDispidDownloadBegin = 106;
inline constexpr DISPID kDispidDownloadComplete = 104;
inline constexpr DISPID kDispidWindowActivate = 111;
inline constexpr DISPID kDispidOnQuit = 253;

std::optional<TpwBrowserEventKind> BrowserEventKindOf(DISPID id);

// The URL argument of a BeforeNavigate2 event (its second argument, also by reference), as
// text; empty when it is missing or no text.
WideString BeforeNavigateUrl(const DISPPARAMS* params);

class TpwIEBrowserEventStates {
 public:
  using BrowserHandler = std::function<void(IUnknown* browser)>;
  using UrlHandler = std::function<void(IUnknown* browser, const WideString& url)>;
  // The browser's current location (empty when it cannot tell).
  using LocationReader = std::function<WideString(IUnknown* browser)>;

  TpwIEBrowserEventStates(IUnknown* browser, LocationReader location);

  UrlHandler OnBeforeNavigate;
  BrowserHandler OnDownloadStarted;
  BrowserHandler OnDownloadFinished;
  BrowserHandler OnActivate;
  UrlHandler OnPageDownloaded;
  BrowserHandler OnQuit;

  std::uint8_t State() const { return state_; }
  IUnknown* Browser() const { return browser_.Get(); }

  // eventUrl is read only for BeforeNavigate.
  void HandleEvent(TpwBrowserEventKind kind, WideStringView eventUrl = {});
  // Maps the DISPID; unknown ones are ignored.
  void HandleDispatchEvent(DISPID id, const DISPPARAMS* params);

  // The browser's location, canonicalised.
  WideString GetBrowserUrl() const;

 private:
  void SetState(std::uint8_t state);

  ComPtr<IUnknown> browser_;
  LocationReader location_;
  std::uint8_t state_ = 0;
  std::array<std::uint8_t, 6> actions_{};
};

}  // namespace pw::web
