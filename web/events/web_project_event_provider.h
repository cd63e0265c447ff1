// The web project event provider: brings the events of the browsers on the machine to the test
// project as the event set "Web Testing Events" (IpwWebEvent of the module's library).
//
// Initialize registers the set (a TpwEventStub) with the host's event sets
// (IpwActiveXEventManager, looked up under its interface id); without that service the set is
// nil and jobs do nothing. Start follows the browsers of the shell-windows collection (a rescan
// at Start, then the collection's "window registered" events), attaches one browser sink per
// browser and polls every 100 ms for the HTML dialog windows ("Internet
// Explorer_TridentDlgFrame" frames and their "Internet Explorer_Server" window). Each event
// that arrives while started and while a test runs is one job: a worker thread that makes the
// late-bound call on the set; the thread that delivered the event never waits.
//
// Choices:
// - Sinks are keyed by the browser's IUnknown identity: a rescan never attaches a second sink.
// - A handler counts itself busy before it tests Started; Stop clears Started, ends the poll,
//   waits until no handler is busy, then takes every job and waits for it, and only then
//   disconnects the sinks and the collection. A job holds counted references to the set, the
//   browser and the URL it uses. Nothing is used after Finalize.
// - Finished jobs are dropped when a job is added.
// - A dialog is reported once (BeforeNavigate, then PageDownloaded, with no browser and the
//   canonical URL of its document) and not again while its server window exists, also over
//   Stop and Start; it is forgotten at the first poll after it closed.
// - Events are delivered unordered (one worker per event).
//
// What the provider asks of the system (windows, documents, the collection) goes through
// TpwWebEventSystem; DefaultWebEventSystem() is the platform's.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "core/com/interfaced_object.h"
#include "core/com/threads.h"
#include "interfaces/ProbewrightHost.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/typeinfo.h"
#include "platform/ui/window_system.h"
#include "web/navigation/ie_browser_events.h"

namespace pw::web {

inline constexpr GUID kIID_IpwWebEvent = MakeGuid("{17CEDA71-1EFE-4CF0-8FE3-F2B949EC7028}");
inline constexpr GUID kCLSID_ShellWindows = MakeGuid("{9BA05972-F6A8-11CF-A442-00A0C90A8F39}");
inline constexpr GUID kDIID_DShellWindowsEvents = MakeGuid("{FE4106E0-399A-11D0-A48C-00A0C90A8F39}");
inline constexpr const char16_t* kWebEventSetName = u"Web Testing Events";

// The members of IpwWebEvent.
enum class TpwWebEventKind : std::uint8_t {
  PageDownloaded = 0,
  BeforeNavigate = 1,
  DownloadStarted = 2,
  DownloadFinished = 3,
  Quit = 4,
};
inline constexpr DISPID WebEventDispId(TpwWebEventKind kind) { return 0x60010000 + static_cast<DISPID>(kind); }

struct IpwWebProjectEventProvider : IUnknown {
  static constexpr IID iid = MakeGuid("{033CF74D-2B19-4C0B-9EE4-B78B3E778ADE}");
  using Inherited = IUnknown;
  virtual HRESULT Initialize(IcvBaseManager* manager) = 0;
  virtual HRESULT Start() = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT Finalize() = 0;
};

struct IpwShellWindows : IUnknown {
  static constexpr IID iid = MakeGuid("{B2E482DD-C1BC-473D-B6A6-85514E1422C9}");
  using Inherited = IUnknown;
  // 0 when unconnected or when the collection does not answer.
  virtual std::int32_t Count() = 0;
  // Nil in the same cases.
  virtual HRESULT Item(std::int32_t index, IDispatch** browser) = 0;
};

struct TpwWebEventSystem {
  // The "Internet Explorer_Server" window of a browser (0: none yet).
  std::function<HWND(IUnknown* browser)> findServerWindow;
  // One "Internet Explorer_Server" window per "Internet Explorer_TridentDlgFrame" frame, in the
  // order of the top-level windows.
  std::function<std::vector<HWND>()> dialogServerWindows;
  // The document of a server window (nil when it has none).
  std::function<ComPtr<IDispatch>(HWND window)> documentOfWindow;
  std::function<bool(HWND window)> isWindow;
  // The shell-windows collection (nil when it cannot be created).
  std::function<ComPtr<IUnknown>()> createShellWindows;
  // A browser's location (its "LocationURL"), for the browser sinks.
  std::function<WideString(IUnknown* browser)> browserLocation;
  // Pause of the dialog URL's one retry (10 ms).
  std::function<void()> retryPause;
};
TpwWebEventSystem DefaultWebEventSystem();

// The IDispatch of an event set: every call goes to the host's event sets as a raised event.
class TpwEventStub final : public Implements<TcvInterfacedObject, IDispatch> {
 public:
  TpwEventStub(IcvBaseManager* manager, const IID& eventSetIid);

  HRESULT GetTypeInfoCount(std::uint32_t* count) override;
  HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** typeInfo) override;
  HRESULT GetIDsOfNames(const IID& riid, const char16_t* const* names, std::uint32_t count, LCID lcid,
                        DISPID* dispIds) override;
  HRESULT Invoke(DISPID dispId, const IID& riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, std::uint32_t* argErr) override;

 private:
  ComPtr<IcvBaseManager> manager_;
  const IID iid_;
  ComPtr<ITypeInfo> typeInfo_;
};

class TpwBrowserSink;
class TpwShellWindows;

class TpwWebProjectEventProvider final : public Implements<TcvInterfacedObject, IpwWebProjectEventProvider> {
 public:
  explicit TpwWebProjectEventProvider(TpwWebEventSystem system = DefaultWebEventSystem());
  ~TpwWebProjectEventProvider() override;

  HRESULT Initialize(IcvBaseManager* manager) override;
  HRESULT Start() override;
  HRESULT Stop() override;
  HRESULT Finalize() override;

  // The handlers (public for the sinks and the collection's adapter).
  void BrowserOpened(IUnknown* browser);
  void BrowserEvent(TpwWebEventKind kind, IUnknown* browser, const WideString& url);
  // One dialog poll (the timer's handler).
  void PollDialogs();

  // For tests: what the provider holds now.
  bool Started() const { return started_.load(); }
  std::size_t SinkCount() const;
  std::size_t JobCount() const;
  std::size_t BrowserWindowCount() const;
  std::size_t DialogWindowCount() const;
  IDispatch* EventSet() const { return eventSet_.Get(); }

 private:
  // Counts a handler busy while it runs; false (and nothing counted) when not started.
  class BusyScope;
  void StopWork();
  void AttachOpenBrowsers();
  void ConnectBrowser(IUnknown* browser);
  void NoteBrowserWindow(IUnknown* browser);
  void FireEvent(TpwWebEventKind kind, IUnknown* browser, const WideString& url);
  WideString GetDialogUrl(HWND window);

  const TpwWebEventSystem system_;
  mutable TcvTransparentCriticalSection lock_;
  ComPtr<IcvBaseManager> manager_;
  ComPtr<IDispatch> eventSet_;
  ComPtr<TpwShellWindows> shellWindows_;
  std::set<HWND> browserWindows_;
  std::set<HWND> dialogWindows_;
  std::map<IUnknown*, ComPtr<TpwBrowserSink>> browserSinks_;  // by the browser's identity
  std::vector<ComPtr<IcvWaitableObject>> jobs_;
  std::atomic<bool> started_{false};
  std::atomic<std::int32_t> busy_{0};
  std::unique_ptr<TcvOutstandingTimer> timer_;
  std::mutex pollLock_;
  bool initialized_ = false;
};

}  // namespace pw::web
