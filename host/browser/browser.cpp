#include "host/browser/browser.h"

#include <array>

namespace pw::browser {

namespace {

constexpr std::chrono::milliseconds kCloseGrace{5000};

std::string DialogText(const DialogInfo& info) { return "A dialog of the page is open: " + info.message; }
std::string LoginText(const LoginInfo& info) { return "A login of the page is open: " + info.url; }

// Virtual key codes and texts of the named keys the pages are sent.
struct NamedKey {
  const char* name;
  int code;
  const char* text;
};
constexpr std::array<NamedKey, 27> kNamedKeys = {{
    {"Enter", 13, "\r"}, {"Tab", 9, ""},        {"Backspace", 8, ""}, {"Escape", 27, ""},     {"Delete", 46, ""},
    {"Insert", 45, ""},  {"ArrowLeft", 37, ""}, {"ArrowUp", 38, ""},  {"ArrowRight", 39, ""}, {"ArrowDown", 40, ""},
    {"Home", 36, ""},    {"End", 35, ""},       {"PageUp", 33, ""},   {"PageDown", 34, ""},   {" ", 32, " "},
    {"F1", 112, ""},     {"F2", 113, ""},       {"F3", 114, ""},      {"F4", 115, ""},        {"F5", 116, ""},
    {"F6", 117, ""},     {"F7", 118, ""},       {"F8", 119, ""},      {"F9", 120, ""},        {"F10", 121, ""},
    {"F11", 122, ""},    {"F12", 123, ""},
}};

}  // namespace

std::string DecodeBase64(std::string_view text) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  std::string out;
  out.reserve(text.size() / 4 * 3);
  unsigned buffer = 0;
  int bits = 0;
  for (char c : text) {
    const int v = value(c);
    if (v < 0) continue;  // padding and line breaks
    buffer = (buffer << 6) | static_cast<unsigned>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// Page

Page::Page(Browser& browser, std::string targetId, std::string sessionId, std::string openerId)
    : browser_(browser),
      targetId_(std::move(targetId)),
      sessionId_(std::move(sessionId)),
      openerId_(std::move(openerId)) {}

Page::~Page() = default;

Connection& Page::Conn() { return browser_.Conn(); }

void Page::Enable() {
  Conn().Call("Page.enable", Json::object(), sessionId_);
  Conn().Call("Page.setLifecycleEventsEnabled", {{"enabled", true}}, sessionId_);
  // Authentication challenges reach a client only for requests it intercepts: the page's
  // document requests are, each let through at once (OnEvent).
  Json pattern = {{"urlPattern", "*"}, {"resourceType", "Document"}, {"requestStage", "Request"}};
  try {
    Conn().Call("Fetch.enable", {{"handleAuthRequests", true}, {"patterns", Json::array({std::move(pattern)})}},
                sessionId_);
  } catch (const BrowserError& e) {
    if (e.Kind() != ErrorKind::Protocol) throw;  // an engine without the domain: the page has no logins
  }
}

Json Page::PageCall(const std::string& method, Json params, bool action, std::chrono::milliseconds timeout) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) throw BrowserError(ErrorKind::Closed, "The page has closed");
    if (dialog_) throw BrowserError(ErrorKind::Dialog, DialogText(*dialog_));
    if (const LoginInfo* login = MainLoginLocked()) throw BrowserError(ErrorKind::Login, LoginText(*login));
  }
  try {
    return Conn().Call(method, std::move(params), sessionId_, timeout);
  } catch (const BrowserError& e) {
    if (action && (e.Kind() == ErrorKind::Dialog || e.Kind() == ErrorKind::Login)) return Json::object();
    throw;
  }
}

void Page::OnEvent(const ProtocolEvent& event) {
  // A navigation's wait ends after the page's own handlers have seen its load.
  std::optional<std::int64_t> loadDone;
  const std::string& m = event.method;
  const Json& p = event.params;
  // A frame that starts another document, shows one or goes ends the challenge of its request.
  {
    std::string frame;
    if (m == "Page.frameStartedNavigating") {
      const std::string type = p.value("navigationType", std::string());
      if (type.find("ameDocument") == std::string::npos) frame = p.value("frameId", std::string());
    } else if (m == "Page.frameNavigated") {
      frame = p.value("frame", Json::object()).value("id", std::string());
    } else if (m == "Page.frameDetached") {
      frame = p.value("frameId", std::string());
    }
    if (!frame.empty()) DropLogins(&frame, false);
  }
  if (m == "Fetch.requestPaused") {
    Conn().Send("Fetch.continueRequest", {{"requestId", p.value("requestId", std::string())}}, sessionId_);
  } else if (m == "Fetch.authRequired") {
    OnLoginChallenge(p);
  } else if (m == "Page.frameNavigated") {
    const Json& frame = p.value("frame", Json::object());
    if (!frame.contains("parentId")) {
      std::string oldGroup;
      {
        std::lock_guard lock(mutex_);
        oldGroup = ObjectGroupLocked();
        ++document_;
        mainFrameId_ = frame.value("id", std::string());
      }
      // The old document's objects go as one group; nobody waits for the answer.
      Conn().Send("Runtime.releaseObjectGroup", {{"objectGroup", oldGroup}}, sessionId_);
    }
  } else if (m == "Page.frameStartedLoading" || m == "Page.frameStoppedLoading") {
    if (p.value("frameId", std::string()) == targetId_) {
      std::lock_guard lock(mutex_);
      loading_ = m == "Page.frameStartedLoading";
    }
  } else if (m == "Page.lifecycleEvent") {
    if (p.value("name", std::string()) == "load" && p.value("frameId", std::string()) == targetId_) {
      const std::string loader = p.value("loaderId", std::string());
      std::optional<std::int64_t> waiter;
      {
        std::lock_guard lock(mutex_);
        if (loadedLoaders_.size() > 64) loadedLoaders_.clear();
        loadedLoaders_.insert(loader);
        if (auto it = loadWaiters_.find(loader); it != loadWaiters_.end()) {
          waiter = it->second;
          loadWaiters_.erase(it);
        }
      }
      loadDone = waiter;
    }
  } else if (m == "Page.javascriptDialogOpening") {
    DialogInfo info{p.value("type", std::string()), p.value("message", std::string()),
                    p.value("defaultPrompt", std::string()), p.value("url", std::string())};
    DialogPolicy policy;
    {
      std::lock_guard lock(mutex_);
      policy = dialogPolicy_;
    }
    std::optional<DialogAnswer> answer;
    if (policy) answer = policy(info);
    if (answer) {
      Json params = {{"accept", answer->accept}};
      if (info.type == "prompt") params["promptText"] = answer->promptText;
      Conn().Send("Page.handleJavaScriptDialog", std::move(params), sessionId_);
    } else {
      {
        std::lock_guard lock(mutex_);
        dialog_ = info;
      }
      Conn().InterruptSession(sessionId_, BrowserError(ErrorKind::Dialog, DialogText(info)));
    }
  } else if (m == "Page.javascriptDialogClosed") {
    std::lock_guard lock(mutex_);
    dialog_.reset();
  }
  std::vector<EventHandler> handlers;
  {
    std::lock_guard lock(mutex_);
    for (auto& [id, handler] : handlers_) handlers.push_back(handler);
  }
  for (auto& handler : handlers) handler(event);
  if (loadDone) Conn().Fulfil(*loadDone, Json::object());
}

void Page::Navigate(const std::string& url, std::chrono::milliseconds timeout) {
  const auto start = std::chrono::steady_clock::now();
  DropLogins(nullptr, true);  // the new navigation replaces what waited for a login
  {
    std::lock_guard lock(mutex_);
    if (closed_) throw BrowserError(ErrorKind::Closed, "The page has closed");
    if (dialog_) throw BrowserError(ErrorKind::Dialog, DialogText(*dialog_));
  }
  PendingCall call = Conn().Send("Page.navigate", {{"url", url}}, sessionId_, timeout);
  bool loginOpen = false;
  {
    std::lock_guard lock(mutex_);
    loginOpen = !logins_.empty();
    if (!loginOpen && call.Id() != 0) navigateCalls_.insert(call.Id());
  }
  if (loginOpen) Conn().Fulfil(call.Id(), {{"login", true}});
  Json answer;
  try {
    answer = call.Wait();
  } catch (const BrowserError& e) {
    {
      std::lock_guard lock(mutex_);
      navigateCalls_.erase(call.Id());
    }
    if (e.Kind() == ErrorKind::Login) return;  // the navigation waits for its login
    throw;
  }
  {
    std::lock_guard lock(mutex_);
    navigateCalls_.erase(call.Id());
  }
  if (answer.value("login", false)) return;  // the navigation waits for its login
  if (auto error = answer.value("errorText", std::string()); !error.empty()) {
    throw BrowserError(ErrorKind::Navigation, "The page could not be opened: " + url + ": " + error);
  }
  const std::string loader = answer.value("loaderId", std::string());
  if (loader.empty()) return;  // the same document: nothing loads
  if (timeout.count() > 0) {
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    timeout = std::max(timeout - spent, std::chrono::milliseconds(1));
  }
  auto [id, wait] = Conn().Expect("the load of " + url, sessionId_, timeout);
  {
    std::lock_guard lock(mutex_);
    if (loadedLoaders_.count(loader) || dialog_ || !logins_.empty()) {
      Conn().Fulfil(id, Json::object());
    } else {
      loadWaiters_[loader] = id;
    }
  }
  try {
    wait.Wait();
  } catch (const BrowserError& e) {
    {
      std::lock_guard lock(mutex_);
      loadWaiters_.erase(loader);
    }
    if (e.Kind() != ErrorKind::Dialog && e.Kind() != ErrorKind::Login) throw;
  }
}

void Page::Reload(std::chrono::milliseconds timeout) { Navigate(Url(), timeout); }

std::string Page::Url() {
  const Json info = Conn().Call("Target.getTargetInfo", {{"targetId", targetId_}});
  return info.value("targetInfo", Json::object()).value("url", std::string());
}

std::string Page::Title() {
  const Json info = Conn().Call("Target.getTargetInfo", {{"targetId", targetId_}});
  return info.value("targetInfo", Json::object()).value("title", std::string());
}

std::uint64_t Page::Document() const {
  std::lock_guard lock(mutex_);
  return document_;
}

bool Page::Loading() const {
  std::lock_guard lock(mutex_);
  return loading_;
}

RemoteValue Page::ResultOf(Json answer) {
  if (auto details = answer.find("exceptionDetails"); details != answer.end()) {
    std::string text;
    if (auto exception = details->find("exception"); exception != details->end()) {
      text = exception->value("description", std::string());
      if (text.empty() && exception->contains("value")) text = exception->at("value").dump();
    }
    if (text.empty()) text = details->value("text", std::string("The script failed"));
    throw BrowserError(ErrorKind::Script, text);
  }
  return RemoteValue{answer.value("result", Json::object())};
}

RemoteValue Page::Evaluate(const std::string& expression, bool userGesture) {
  std::string group;
  {
    std::lock_guard lock(mutex_);
    group = ObjectGroupLocked();
  }
  return ResultOf(PageCall(
      "Runtime.evaluate",
      {{"expression", expression}, {"objectGroup", group}, {"returnByValue", false}, {"userGesture", userGesture}}));
}

RemoteValue Page::CallOn(const std::string& objectId, const std::string& function, Json arguments, bool userGesture) {
  return ResultOf(PageCall("Runtime.callFunctionOn", {{"objectId", objectId},
                                                      {"functionDeclaration", function},
                                                      {"arguments", std::move(arguments)},
                                                      {"returnByValue", false},
                                                      {"userGesture", userGesture}}));
}

PendingCall Page::SendCallOn(const std::string& objectId, const std::string& function, Json arguments) {
  return Conn().Send("Runtime.callFunctionOn",
                     {{"objectId", objectId},
                      {"functionDeclaration", function},
                      {"arguments", std::move(arguments)},
                      {"returnByValue", false}},
                     sessionId_);
}

void Page::Release(const std::string& objectId) {
  Conn().Send("Runtime.releaseObject", {{"objectId", objectId}}, sessionId_);
}

Json Page::Metrics() { return PageCall("Page.getLayoutMetrics"); }

std::string Page::Screenshot(std::optional<Clip> clip, bool fullPage) {
  Json params = {{"format", "png"}};
  if (fullPage && !clip) {
    const Json metrics = Metrics();
    const Json size = metrics.value("cssContentSize", metrics.value("contentSize", Json::object()));
    clip = Clip{0, 0, size.value("width", 0.0), size.value("height", 0.0)};
  }
  if (clip) {
    params["clip"] = {{"x", clip->x}, {"y", clip->y}, {"width", clip->width}, {"height", clip->height}, {"scale", 1}};
    params["captureBeyondViewport"] = fullPage;
  }
  const Json answer = PageCall("Page.captureScreenshot", std::move(params));
  return DecodeBase64(answer.value("data", std::string()));
}

void Page::MoveMouse(double x, double y) {
  PageCall("Input.dispatchMouseEvent", {{"type", "mouseMoved"}, {"x", x}, {"y", y}}, true);
}

void Page::Click(double x, double y, MouseButton button, int clickCount, int modifiers) {
  const char* name = button == MouseButton::Left ? "left" : button == MouseButton::Middle ? "middle" : "right";
  MoveMouse(x, y);
  for (int i = 1; i <= clickCount; ++i) {
    PageCall(
        "Input.dispatchMouseEvent",
        {{"type", "mousePressed"}, {"x", x}, {"y", y}, {"button", name}, {"clickCount", i}, {"modifiers", modifiers}},
        true);
    PageCall(
        "Input.dispatchMouseEvent",
        {{"type", "mouseReleased"}, {"x", x}, {"y", y}, {"button", name}, {"clickCount", i}, {"modifiers", modifiers}},
        true);
  }
}

void Page::InsertText(const std::string& text) { PageCall("Input.insertText", {{"text", text}}, true); }

void Page::Key(const std::string& key, int modifiers) {
  Json down = {{"type", "keyDown"}, {"key", key}, {"modifiers", modifiers}};
  bool named = false;
  for (const auto& k : kNamedKeys) {
    if (key == k.name) {
      down["windowsVirtualKeyCode"] = k.code;
      if (*k.text) down["text"] = k.text;
      named = true;
    }
  }
  // A key with Control, Alt or Meta held types no text (it is a shortcut).
  if (!named && (modifiers & ~8) == 0) down["text"] = key;
  if (named && (modifiers & ~8) != 0) down.erase("text");
  if (!named) {
    if (key.size() == 1) {
      const char c = key[0];
      if (c >= 'a' && c <= 'z') down["windowsVirtualKeyCode"] = c - 'a' + 'A';
      if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) down["windowsVirtualKeyCode"] = c;
    }
  }
  Json up = down;
  up["type"] = "keyUp";
  up.erase("text");
  PageCall("Input.dispatchKeyEvent", std::move(down), true);
  PageCall("Input.dispatchKeyEvent", std::move(up), true);
}

void Page::Close() {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
  }
  Conn().Call("Target.closeTarget", {{"targetId", targetId_}});
}

bool Page::Closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

void Page::SetDialogPolicy(DialogPolicy policy) {
  std::lock_guard lock(mutex_);
  dialogPolicy_ = std::move(policy);
}

std::optional<DialogInfo> Page::OpenDialog() const {
  std::lock_guard lock(mutex_);
  return dialog_;
}

void Page::CloseDialog(bool accept, const std::string& promptText) {
  std::optional<DialogInfo> dialog = OpenDialog();
  if (!dialog) throw BrowserError(ErrorKind::Protocol, "The page has no open dialog");
  Json params = {{"accept", accept}};
  if (dialog->type == "prompt") params["promptText"] = promptText;
  Conn().Call("Page.handleJavaScriptDialog", std::move(params), sessionId_);
  std::lock_guard lock(mutex_);
  dialog_.reset();
}

void Page::SetLoginPolicy(LoginPolicy policy) {
  std::lock_guard lock(mutex_);
  loginPolicy_ = std::move(policy);
}

std::optional<LoginInfo> Page::OpenLogin() const {
  std::lock_guard lock(mutex_);
  if (logins_.empty()) return std::nullopt;
  return logins_.front();
}

Json Page::LoginResponse(const LoginAnswer& answer) {
  if (!answer.provide) return {{"response", "CancelAuth"}};
  return {{"response", "ProvideCredentials"}, {"username", answer.user}, {"password", answer.password}};
}

void Page::AnswerLogin(const LoginAnswer& answer) {
  std::string requestId;
  {
    std::lock_guard lock(mutex_);
    if (logins_.empty()) throw BrowserError(ErrorKind::Protocol, "The page has no open login");
    requestId = logins_.front().requestId;
    logins_.erase(logins_.begin());
  }
  try {
    Conn().Call("Fetch.continueWithAuth", {{"requestId", requestId}, {"authChallengeResponse", LoginResponse(answer)}},
                sessionId_);
  } catch (const BrowserError& e) {
    // The answer went out; a new challenge (wrong credentials) may arrive before the engine's
    // acknowledgement and interrupt the wait for it.
    if (e.Kind() != ErrorKind::Login) throw;
  }
}

const LoginInfo* Page::MainLoginLocked() const {
  for (const auto& login : logins_) {
    if (login.frameId.empty() || login.frameId == targetId_) return &login;
  }
  return nullptr;
}

void Page::OnLoginChallenge(const Json& p) {
  const Json challenge = p.value("authChallenge", Json::object());
  LoginInfo info;
  info.requestId = p.value("requestId", std::string());
  info.url = p.value("request", Json::object()).value("url", std::string());
  info.origin = challenge.value("origin", std::string());
  info.scheme = challenge.value("scheme", std::string());
  info.realm = challenge.value("realm", std::string());
  info.proxy = challenge.value("source", std::string()) == "Proxy";
  info.frameId = p.value("frameId", std::string());
  LoginPolicy policy;
  {
    std::lock_guard lock(mutex_);
    policy = loginPolicy_;
  }
  std::optional<LoginAnswer> answer;
  if (policy) answer = policy(info);
  if (answer) {
    Conn().Send("Fetch.continueWithAuth",
                {{"requestId", info.requestId}, {"authChallengeResponse", LoginResponse(*answer)}}, sessionId_);
    return;
  }
  // Left open: the navigations waiting for an answer or a load end with it.
  std::vector<std::int64_t> waiting;
  {
    std::lock_guard lock(mutex_);
    logins_.push_back(std::move(info));
    waiting.assign(navigateCalls_.begin(), navigateCalls_.end());
    navigateCalls_.clear();
    for (const auto& [loader, id] : loadWaiters_) waiting.push_back(id);
    loadWaiters_.clear();
  }
  for (const auto id : waiting) Conn().Fulfil(id, {{"login", true}});
  // The engine holds the calls of a page whose own document waits for a login (they would run in
  // whatever document comes after it): the calls still waiting end now, later ones at once.
  std::optional<LoginInfo> main;
  {
    std::lock_guard lock(mutex_);
    if (const LoginInfo* login = MainLoginLocked()) main = *login;
  }
  if (main) Conn().InterruptSession(sessionId_, BrowserError(ErrorKind::Login, LoginText(*main)));
}

void Page::DropLogins(const std::string* frameId, bool cancel) {
  std::vector<LoginInfo> gone;
  {
    std::lock_guard lock(mutex_);
    std::vector<LoginInfo> kept;
    for (auto& entry : logins_) {
      const bool drop = !frameId || *frameId == targetId_ || entry.frameId == *frameId;
      (drop ? gone : kept).push_back(std::move(entry));
    }
    logins_ = std::move(kept);
  }
  if (!cancel) return;
  for (const auto& entry : gone) {
    Conn().Send("Fetch.continueWithAuth",
                {{"requestId", entry.requestId}, {"authChallengeResponse", LoginResponse(LoginAnswer{})}}, sessionId_);
  }
}

int Page::Subscribe(EventHandler handler) {
  std::lock_guard lock(mutex_);
  const int id = nextHandler_++;
  handlers_.emplace(id, std::move(handler));
  return id;
}

void Page::Unsubscribe(int id) {
  std::lock_guard lock(mutex_);
  handlers_.erase(id);
}

// ---------------------------------------------------------------------------------------------
// Browser

std::unique_ptr<Browser> Browser::Launch(const LaunchOptions& options, ConnectionOptions connection) {
  std::unique_ptr<Browser> browser(new Browser());
  browser->process_ = SpawnEngine(options);
  browser->connection_ = std::make_unique<Connection>(browser->process_.fd, std::move(connection));
  try {
    browser->Start();
  } catch (...) {
    browser->Close();
    throw;
  }
  return browser;
}

std::unique_ptr<Browser> Browser::Attach(int fd, ConnectionOptions connection) {
  std::unique_ptr<Browser> browser(new Browser());
  browser->connection_ = std::make_unique<Connection>(fd, std::move(connection));
  try {
    browser->Start();
  } catch (...) {
    browser->Close();
    throw;
  }
  return browser;
}

Browser::~Browser() { Close(); }

void Browser::Start() {
  connection_->Subscribe([this](const ProtocolEvent& event) { OnEvent(event); });
  connection_->Call("Target.setDiscoverTargets", {{"discover", true}});
  for (const auto& target : Targets()) {
    if (target.type == "page") AttachPage(target.targetId, target.openerId);
  }
}

std::vector<TargetInfo> Browser::Targets() {
  const Json answer = connection_->Call("Target.getTargets");
  std::vector<TargetInfo> targets;
  for (const auto& info : answer.value("targetInfos", Json::array())) {
    targets.push_back({info.value("targetId", std::string()), info.value("type", std::string()),
                       info.value("url", std::string()), info.value("title", std::string()),
                       info.value("openerId", std::string())});
  }
  return targets;
}

std::shared_ptr<Page> Browser::FindPage(const std::string& targetId) {
  std::lock_guard lock(mutex_);
  for (auto& page : pages_) {
    if (page->TargetId() == targetId) return page;
  }
  return nullptr;
}

std::shared_ptr<Page> Browser::AttachPage(const std::string& targetId, const std::string& openerId) {
  std::shared_ptr<Page> page;
  {
    std::lock_guard attach(attachMutex_);
    if (auto known = FindPage(targetId)) return known;
    const Json answer = connection_->Call("Target.attachToTarget", {{"targetId", targetId}, {"flatten", true}});
    page = std::make_shared<Page>(*this, targetId, answer.value("sessionId", std::string()), openerId);
    {
      std::lock_guard lock(mutex_);
      pages_.push_back(page);
      bySession_[page->SessionId()] = page;
    }
    page->Enable();
  }
  // The handlers run without the attach lock: they may take locks of their own that a thread
  // attaching a page holds.
  std::vector<PageHandler> handlers;
  {
    std::lock_guard lock(mutex_);
    handlers = newPageHandlers_;
  }
  for (auto& handler : handlers) handler(page);
  return page;
}

std::shared_ptr<Page> Browser::NewPage(const std::string& url) {
  const Json answer = connection_->Call("Target.createTarget", {{"url", "about:blank"}});
  auto page = AttachPage(answer.value("targetId", std::string()));
  if (url != "about:blank") page->Navigate(url);
  return page;
}

std::vector<std::shared_ptr<Page>> Browser::Pages() {
  std::lock_guard lock(mutex_);
  return pages_;
}

void Browser::OnNewPage(PageHandler handler) {
  std::lock_guard lock(mutex_);
  newPageHandlers_.push_back(std::move(handler));
}

void Browser::OnPageClosed(PageHandler handler) {
  std::lock_guard lock(mutex_);
  closedPageHandlers_.push_back(std::move(handler));
}

void Browser::OnClosed(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  closedHandlers_.push_back(std::move(handler));
}

void Browser::OnEvent(const ProtocolEvent& event) {
  if (!event.sessionId.empty()) {
    std::shared_ptr<Page> page;
    {
      std::lock_guard lock(mutex_);
      if (auto it = bySession_.find(event.sessionId); it != bySession_.end()) page = it->second;
    }
    if (page) page->OnEvent(event);
    return;
  }
  if (event.method == "Target.targetCreated") {
    const Json info = event.params.value("targetInfo", Json::object());
    const std::string opener = info.value("openerId", std::string());
    if (info.value("type", std::string()) == "page" && !opener.empty() && !closing_.load()) {
      try {
        AttachPage(info.value("targetId", std::string()), opener);
      } catch (const BrowserError&) {
        // The popup closed (or the engine did) before it could be attached.
      }
    }
  } else if (event.method == "Target.targetDestroyed" || event.method == "Target.detachedFromTarget") {
    const std::string targetId = event.params.value("targetId", std::string());
    const std::string sessionId = event.params.value("sessionId", std::string());
    std::shared_ptr<Page> page;
    std::vector<PageHandler> handlers;
    {
      std::lock_guard lock(mutex_);
      for (auto it = pages_.begin(); it != pages_.end(); ++it) {
        if ((*it)->TargetId() == targetId || (!sessionId.empty() && (*it)->SessionId() == sessionId)) {
          page = *it;
          pages_.erase(it);
          bySession_.erase(page->SessionId());
          break;
        }
      }
      handlers = closedPageHandlers_;
    }
    if (page) {
      {
        std::lock_guard lock(page->mutex_);
        page->closed_ = true;
        page->logins_.clear();
      }
      connection_->InterruptSession(page->SessionId(), BrowserError(ErrorKind::Closed, "The page has closed"));
      for (auto& handler : handlers) handler(page);
    }
  } else if (event.method == kClosedEvent) {
    std::vector<std::function<void()>> handlers;
    {
      std::lock_guard lock(mutex_);
      handlers = closedHandlers_;
    }
    for (auto& handler : handlers) handler();
  }
}

bool Browser::IsClosed() const { return connection_->IsClosed(); }

void Browser::Close() {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    closed_ = true;
  }
  closing_.store(true);
  if (connection_ && !connection_->IsClosed() && process_.pid > 0) {
    try {
      connection_->Call("Browser.close", Json::object(), {}, std::chrono::milliseconds(2000));
    } catch (const BrowserError&) {
      // It closes anyway: the pipe ends, or the process group is killed below.
    }
  }
  if (process_.pid > 0 || !process_.profileDir.empty()) StopEngine(process_, kCloseGrace);
  if (connection_) connection_->Close();
}

}  // namespace pw::browser
