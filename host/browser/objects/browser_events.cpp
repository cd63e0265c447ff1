#include "host/browser/objects/browser_events.h"

#include <utility>

namespace pw::host {

const char* BrowserEventName(BrowserEventKind kind) {
  switch (kind) {
    case BrowserEventKind::BeforeNavigate:
      return "BeforeNavigate";
    case BrowserEventKind::DownloadBegin:
      return "DownloadBegin";
    case BrowserEventKind::NavigateComplete:
      return "NavigateComplete";
    case BrowserEventKind::DownloadComplete:
      return "DownloadComplete";
    case BrowserEventKind::DocumentComplete:
      return "DocumentComplete";
    case BrowserEventKind::NewWindow:
      return "NewWindow";
    case BrowserEventKind::WindowActivate:
      return "WindowActivate";
    case BrowserEventKind::Quit:
      return "Quit";
    case BrowserEventKind::DialogOpened:
      return "DialogOpened";
    case BrowserEventKind::DialogClosed:
      return "DialogClosed";
    case BrowserEventKind::LoginOpened: return "LoginOpened";
    case BrowserEventKind::LoginClosed: return "LoginClosed";
  }
  return "";
}

std::shared_ptr<BrowserEvents> BrowserEvents::Attach(const std::shared_ptr<browser::Page>& page) {
  std::shared_ptr<BrowserEvents> events(new BrowserEvents(page));
  std::weak_ptr<BrowserEvents> weak = events;
  events->subscription_ = page->Subscribe([weak](const browser::ProtocolEvent& event) {
    if (auto self = weak.lock()) self->OnEngineEvent(event);
  });
  return events;
}

BrowserEvents::~BrowserEvents() { Detach(); }

void BrowserEvents::Detach() {
  int subscription = 0;
  {
    std::lock_guard lock(mutex_);
    std::swap(subscription, subscription_);
  }
  if (subscription) page_->Unsubscribe(subscription);
}

int BrowserEvents::Listen(Listener listener) {
  std::lock_guard lock(mutex_);
  listeners_.emplace(nextListener_, std::move(listener));
  return nextListener_++;
}

void BrowserEvents::Unlisten(int id) {
  std::lock_guard order(fireMutex_);  // no event is in progress once it returns
  std::lock_guard lock(mutex_);
  listeners_.erase(id);
}

void BrowserEvents::Fire(const BrowserEvent& event) {
  std::lock_guard order(fireMutex_);
  std::vector<Listener> listeners;
  {
    std::lock_guard lock(mutex_);
    for (auto& [id, listener] : listeners_) listeners.push_back(listener);
  }
  for (auto& listener : listeners) listener(event);
}

void BrowserEvents::Navigate(const std::string& url) {
  {
    std::lock_guard lock(mutex_);
    loader_.clear();
  }
  Fire({BrowserEventKind::BeforeNavigate, url, {}});
  try {
    page_->Navigate(url);
  } catch (...) {
    SyncLogin();  // the navigation cancelled the open logins
    throw;
  }
  SyncLogin();
}

void BrowserEvents::SyncLogin() {
  std::lock_guard order(fireMutex_);  // transitions are reported in the order they are seen
  const std::optional<browser::LoginInfo> login = page_->OpenLogin();
  const std::string now = login ? login->requestId : std::string();
  std::string before;
  {
    std::lock_guard lock(mutex_);
    if (quit_ || shownLogin_ == now) return;
    before = std::exchange(shownLogin_, now);
  }
  if (!before.empty()) Fire({BrowserEventKind::LoginClosed, {}, {}});
  if (login) Fire({BrowserEventKind::LoginOpened, login->url, {}});
}

void BrowserEvents::Activate() { Fire({BrowserEventKind::WindowActivate, {}, {}}); }

void BrowserEvents::NewWindow(const std::string& targetId, const std::string& url) {
  Fire({BrowserEventKind::NewWindow, url, targetId});
}

bool BrowserEvents::Busy() const {
  std::lock_guard lock(mutex_);
  return busy_;
}

ReadyState BrowserEvents::State() const {
  std::lock_guard lock(mutex_);
  return state_;
}

std::string BrowserEvents::LocationUrl() const {
  std::lock_guard lock(mutex_);
  return location_;
}

void BrowserEvents::OnEngineEvent(const browser::ProtocolEvent& event) {
  const std::string& m = event.method;
  const auto& p = event.params;
  const std::string& main = page_->TargetId();
  std::vector<BrowserEvent> fire;
  {
    std::lock_guard lock(mutex_);
    if (quit_) return;
    if (m == "Page.frameRequestedNavigation" && p.value("frameId", std::string()) == main) {
      loader_.clear();
      fire.push_back({BrowserEventKind::BeforeNavigate, p.value("url", std::string()), {}});
    } else if (m == "Page.frameStartedLoading" && p.value("frameId", std::string()) == main) {
      busy_ = true;
      downloading_ = true;
      state_ = ReadyState::Loading;
      fire.push_back({BrowserEventKind::DownloadBegin, {}, {}});
    } else if (m == "Page.frameNavigated") {
      const auto frame = p.value("frame", browser::Json::object());
      if (!frame.contains("parentId")) {
        location_ = frame.value("url", std::string()) + frame.value("urlFragment", std::string());
        loader_ = frame.value("loaderId", std::string());
        fire.push_back({BrowserEventKind::NavigateComplete, location_, {}});
      }
    } else if (m == "Page.navigatedWithinDocument" && p.value("frameId", std::string()) == main) {
      location_ = p.value("url", std::string());
      fire.push_back({BrowserEventKind::NavigateComplete, location_, {}});
      fire.push_back({BrowserEventKind::DocumentComplete, location_, {}});
    } else if (m == "Page.lifecycleEvent" && p.value("frameId", std::string()) == main &&
               !loader_.empty() && p.value("loaderId", std::string()) == loader_) {
      const std::string name = p.value("name", std::string());
      if (name == "DOMContentLoaded") {
        state_ = ReadyState::Interactive;
      } else if (name == "load") {
        state_ = ReadyState::Complete;
        busy_ = false;
        if (downloading_) fire.push_back({BrowserEventKind::DownloadComplete, location_, {}});
        downloading_ = false;
        fire.push_back({BrowserEventKind::DocumentComplete, location_, {}});
      }
    } else if (m == "Page.javascriptDialogOpening") {
      // The page handled the event first: a dialog its policy answered is not open.
      if (auto dialog = page_->OpenDialog()) fire.push_back({BrowserEventKind::DialogOpened, dialog->message, {}});
    } else if (m == "Page.javascriptDialogClosed") {
      fire.push_back({BrowserEventKind::DialogClosed, {}, {}});
    } else if (m == "Page.frameStoppedLoading" && p.value("frameId", std::string()) == main) {
      busy_ = false;
      if (downloading_) fire.push_back({BrowserEventKind::DownloadComplete, location_, {}});
      downloading_ = false;
    }
  }
  for (const auto& e : fire) Fire(e);
  if (m == "Fetch.authRequired" || m == "Page.frameStartedNavigating" || m == "Page.frameNavigated" ||
      m == "Page.frameDetached") {
    SyncLogin();
  }
}

void BrowserEvents::Quit() {
  {
    std::lock_guard lock(mutex_);
    if (quit_) return;
    quit_ = true;
    busy_ = false;
  }
  Fire({BrowserEventKind::Quit, {}, {}});
}

}  // namespace pw::host
