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
//
// TpwIEBrowserEvents is that sink: Create advises it on the browser's connection point for
// DWebBrowserEvents2 and hands every event, one at a time, to its own state machine. The
// browser's event interface has no type library on this platform, so the sink knows the
// events by their DISPIDs (above) rather than learning them from type information. The
// handlers are given at creation, before the sink is advised, so no event sees them change.
// The sink lives as long as a reference to it is held: its last release (or Disconnect)
// unadvises it, after an event in progress on another thread has returned; a handler that
// lets the last reference go itself is not waited for. The location of DocumentComplete and
// DownloadEnd is the browser's "LocationURL" (read through IWebBrowser2, also behind an
// apartment-neutral wrapper); a browser that does not answer it reports an empty URL.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/automation/dispatch.h"
#include "platform/com/comobject.h"
#include "platform/com/comptr.h"
#include "platform/com/guid.h"
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

inline constexpr GUID kIID_IWebBrowser2 = MakeGuid("{D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}");
inline constexpr GUID kDIID_DWebBrowserEvents2 = MakeGuid("{34A715A0-6587-11D0-924A-0020AFC7AC4D}");

inline constexpr DISPID kDispidBeforeNavigate2 = 250;
inline constexpr DISPID kDispidDocumentComplete = 259;
inline constexpr DISPID kDispidDownloadBegin = 106;
inline constexpr DISPID kDispidDownloadComplete = 104;
inline constexpr DISPID kDispidWindowActivate = 111;
inline constexpr DISPID kDispidOnQuit = 253;
// IWebBrowser2's LocationURL.
inline constexpr DISPID kDispidLocationUrl = 211;

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

// The six handlers of a sink, each optional.
struct TpwIEBrowserEventHandlers {
  TpwIEBrowserEventStates::UrlHandler OnBeforeNavigate;
  TpwIEBrowserEventStates::BrowserHandler OnDownloadStarted;
  TpwIEBrowserEventStates::BrowserHandler OnDownloadFinished;
  TpwIEBrowserEventStates::BrowserHandler OnActivate;
  TpwIEBrowserEventStates::UrlHandler OnPageDownloaded;
  TpwIEBrowserEventStates::BrowserHandler OnQuit;
};

// The browser's "LocationURL" when it answers IWebBrowser2 (also behind an apartment-neutral
// wrapper); empty otherwise or when the read fails.
WideString ReadBrowserLocation(IUnknown* browser);

class TpwIEBrowserEvents final : public Implements<ComObject> {
 public:
  // Advises a new sink on Browser's DWebBrowserEvents2. A browser without that connection point
  // (or that refuses the advice) gives a sink that is not connected and never reports; the
  // handlers receive Browser. `location` reads the browser's location (default
  // ReadBrowserLocation).
  static ComPtr<TpwIEBrowserEvents> Create(IUnknown* browser, TpwIEBrowserEventHandlers handlers,
                                           TpwIEBrowserEventStates::LocationReader location = nullptr);
  ~TpwIEBrowserEvents() override;

  bool Connected() const;
  // The state machine's state (0 idle, 1 navigating, 2 downloading).
  std::uint8_t State() const;
  // Unadvises; no handler is called once this has returned (but one running on this thread).
  void Disconnect();

  struct Shared;  // the state shared with the advised dispatch object

 private:
  std::shared_ptr<Shared> shared_;
};

}  // namespace pw::web
