// The browser events of a tested browser, made from its page's engine events, and the state
// they imply (busy, ready state, location). The mapping is the table of host/browser/README.md:
// a navigation reports before-navigate, download begin, navigate complete, download complete and
// document complete, in that order; a popup reports new window on its opener; a closed page
// reports quit; the host bringing a browser to the front reports window activate.
//
// Listeners are called on the engine's event thread (before-navigate of a navigation the host
// starts, and window activate, on the caller's), one event at a time and in order.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "host/browser/browser.h"

namespace pw::host {

enum class BrowserEventKind {
  BeforeNavigate,
  DownloadBegin,
  NavigateComplete,
  DownloadComplete,
  DocumentComplete,
  NewWindow,
  WindowActivate,
  Quit,
  DialogOpened,  // a JavaScript dialog that the dialog policy left open (url: its message)
  DialogClosed,
  LoginOpened,  // an authentication challenge left open (url: the challenged document's)
  LoginClosed,
};

const char* BrowserEventName(BrowserEventKind kind);

struct BrowserEvent {
  BrowserEventKind kind;
  std::string url;       // before-navigate: where to; navigate and document complete: the location
  std::string targetId;  // new window: the new page
};

// Ready states of the document, as the web code counts them.
enum class ReadyState { Uninitialized = 0, Loading = 1, Loaded = 2, Interactive = 3, Complete = 4 };

class BrowserEvents : public std::enable_shared_from_this<BrowserEvents> {
 public:
  using Listener = std::function<void(const BrowserEvent&)>;

  // Starts listening to the page's events; Detach (or the destructor) stops.
  static std::shared_ptr<BrowserEvents> Attach(const std::shared_ptr<browser::Page>& page);
  ~BrowserEvents();
  void Detach();

  int Listen(Listener listener);
  // Once it returns the listener is not called any more (it waits for an event in progress).
  void Unlisten(int id);

  // A navigation the host starts: before-navigate, then the page navigates and waits for its load.
  void Navigate(const std::string& url);
  // The host brought the browser to the front.
  void Activate();
  // Reports a change of the page's oldest open login: login closed for the one shown before,
  // login opened for the one open now. Runs after every engine event that may change it and
  // after the host's own navigations; the host calls it after it answered a login.
  void SyncLogin();
  // The page has closed: quit, and nothing after it.
  void Quit();
  // A page this browser opened (a popup).
  void NewWindow(const std::string& targetId, const std::string& url);

  bool Busy() const;
  ReadyState State() const;
  std::string LocationUrl() const;

  // Maps one engine event of the page (public for the tests of the mapping).
  void OnEngineEvent(const browser::ProtocolEvent& event);

 private:
  explicit BrowserEvents(std::shared_ptr<browser::Page> page) : page_(std::move(page)) {}
  void Fire(const BrowserEvent& event);

  std::shared_ptr<browser::Page> page_;
  int subscription_ = 0;
  mutable std::mutex mutex_;
  std::recursive_mutex fireMutex_;  // one event at a time, in order
  std::map<int, Listener> listeners_;
  int nextListener_ = 1;
  bool busy_ = false;
  bool downloading_ = false;
  bool quit_ = false;
  ReadyState state_ = ReadyState::Uninitialized;
  std::string location_;
  // The loader of the main frame's current document: only its lifecycle events count (the engine
  // repeats an older document's events when they are switched on). Cleared by a new navigation.
  std::string loader_;
  std::string shownLogin_;  // the request of the login reported open, or empty
};

}  // namespace pw::host
