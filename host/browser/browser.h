// The engine as a browser: its pages, each a session of the connection.
//
// Browser::Launch starts the engine, discovers its targets and attaches to every page (the
// first one, and every page a page opens later: popups arrive with their opener). A Page
// navigates and waits for that navigation's own load, evaluates scripts (results always by
// reference, in the object group of the current document, released as a group when the
// document goes), calls functions on remote objects, measures, takes screenshots (PNG bytes)
// and sends input. Every page reports itself visible and focused: which page is in front is
// the host's decision.
//
// Dialogs: a JavaScript dialog blocks its page. The page's dialog policy runs on the event
// thread as the dialog opens and may answer it at once; a dialog left open is the page's open
// dialog until CloseDialog. Meanwhile calls of the page fail with a Dialog error, except input
// actions, which count the dialog they opened as their result.
//
// Logins: a document of the page (its own or a frame's) that the server answers with an HTTP
// authentication challenge (401, or 407 from a proxy). The page's login policy runs on the event
// thread as the challenge arrives and may answer it at once; a challenge left unanswered is an
// open login of the page until AnswerLogin (the oldest first), and the navigation that met it
// counts it as its result: Navigate returns. While a login of the page's own document is open the
// engine holds the page's calls (they would run in whatever document comes next): pending calls
// end with a Login error "A login of the page is open: URL", later calls fail at once the same
// way, and input actions count it as their result (as with a dialog). A frame's login blocks
// nothing but the load of the page. A login goes by itself when its frame navigates elsewhere or
// goes, and a Navigate of the page cancels the open ones first. To see challenges the page intercepts its document
// requests (each is let through at once, from the event thread).
#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/browser/connection.h"
#include "host/browser/launcher.h"

namespace pw::browser {

class Browser;

// A remote value as the engine describes it: "type", "subtype", "value", "objectId",
// "className", "description".
struct RemoteValue {
  Json object;
  bool IsObject() const { return object.contains("objectId"); }
  std::string ObjectId() const { return object.value("objectId", std::string()); }
  std::string Type() const { return object.value("type", std::string()); }
  std::string Subtype() const { return object.value("subtype", std::string()); }
};

struct DialogInfo {
  std::string type;  // "alert", "confirm", "prompt", "beforeunload"
  std::string message;
  std::string defaultPrompt;
  std::string url;
};

struct DialogAnswer {
  bool accept = true;
  std::string promptText;
};

struct LoginInfo {
  std::string requestId;  // the challenged request (the engine's)
  std::string url;        // the document's URL
  std::string origin;     // the origin that asks
  std::string scheme;     // "basic", "digest", ...
  std::string realm;
  bool proxy = false;  // a proxy asks (407)
  std::string frameId;
};

// Credentials, or none: the challenge is cancelled (the server's own answer to the request shows).
struct LoginAnswer {
  bool provide = false;
  std::string user;
  std::string password;
};

struct Clip {
  double x = 0, y = 0, width = 0, height = 0;
};

enum class MouseButton { Left, Middle, Right };

class Page : public std::enable_shared_from_this<Page> {
 public:
  using DialogPolicy = std::function<std::optional<DialogAnswer>(const DialogInfo&)>;
  using LoginPolicy = std::function<std::optional<LoginAnswer>(const LoginInfo&)>;
  using EventHandler = std::function<void(const ProtocolEvent&)>;

  Page(Browser& browser, std::string targetId, std::string sessionId, std::string openerId);
  ~Page();

  const std::string& TargetId() const { return targetId_; }
  const std::string& SessionId() const { return sessionId_; }
  const std::string& OpenerId() const { return openerId_; }
  Connection& Conn();

  // Navigates and waits until that navigation's document has loaded (a fragment change of the
  // same document is done at once; a dialog that opens while loading, or a login left open,
  // also ends the wait).
  // Throws a Navigation error with the engine's text when the navigation fails.
  void Navigate(const std::string& url, std::chrono::milliseconds timeout = std::chrono::milliseconds(0));
  void Reload(std::chrono::milliseconds timeout = std::chrono::milliseconds(0));
  std::string Url();
  std::string Title();
  // The number of documents this page has had: objects of an older one are gone.
  std::uint64_t Document() const;
  bool Loading() const;

  RemoteValue Evaluate(const std::string& expression, bool userGesture = false);
  // Calls `function` with the remote object as `this`; arguments are call arguments of the
  // protocol ({"value": v} or {"objectId": id}).
  RemoteValue CallOn(const std::string& objectId, const std::string& function, Json arguments = Json::array(),
                     bool userGesture = false);
  PendingCall SendCallOn(const std::string& objectId, const std::string& function, Json arguments = Json::array());
  static RemoteValue ResultOf(Json answer);  // throws Script errors
  void Release(const std::string& objectId);

  Json Metrics();
  // PNG bytes of the viewport, a clip of the page, or the whole page.
  std::string Screenshot(std::optional<Clip> clip = std::nullopt, bool fullPage = false);

  // modifiers: the protocol's bits (1 Alt, 2 Control, 4 Meta, 8 Shift), held for the clicks.
  void Click(double x, double y, MouseButton button = MouseButton::Left, int clickCount = 1, int modifiers = 0);
  void MoveMouse(double x, double y);
  void InsertText(const std::string& text);
  // A key by its name ("Enter", "Tab", "F5", "a", ...): down and up, with the modifiers held
  // (the bits of Click; keys.h names them).
  void Key(const std::string& key, int modifiers = 0);
  void Close();
  bool Closed() const;

  void SetDialogPolicy(DialogPolicy policy);
  std::optional<DialogInfo> OpenDialog() const;
  void CloseDialog(bool accept, const std::string& promptText = {});

  void SetLoginPolicy(LoginPolicy policy);
  // The oldest open login, if any.
  std::optional<LoginInfo> OpenLogin() const;
  // Answers the oldest open login; throws when there is none.
  void AnswerLogin(const LoginAnswer& answer);

  // The page's own events (its session's), on the event thread.
  int Subscribe(EventHandler handler);
  void Unsubscribe(int id);

 private:
  friend class Browser;
  void OnEvent(const ProtocolEvent& event);
  void Enable();
  Json PageCall(const std::string& method, Json params = Json::object(), bool action = false,
                std::chrono::milliseconds timeout = std::chrono::milliseconds(0));
  std::string ObjectGroupLocked() const { return "doc" + std::to_string(document_); }
  void OnLoginChallenge(const Json& params);
  // Drops the open logins of a frame (every one for the main frame), or all; answers the cancelled
  // ones when `cancel`.
  void DropLogins(const std::string* frameId, bool cancel);
  static Json LoginResponse(const LoginAnswer& answer);
  // The oldest open login of the page's own document (not a frame's), or nil.
  const LoginInfo* MainLoginLocked() const;

  Browser& browser_;
  const std::string targetId_;
  const std::string sessionId_;
  const std::string openerId_;
  mutable std::mutex mutex_;
  std::uint64_t document_ = 1;
  bool loading_ = false;
  bool closed_ = false;
  std::string mainFrameId_;
  std::set<std::string> loadedLoaders_;
  std::map<std::string, std::int64_t> loadWaiters_;  // loader id -> expectation id
  std::optional<DialogInfo> dialog_;
  DialogPolicy dialogPolicy_;
  std::vector<LoginInfo> logins_;  // the open logins, oldest first
  LoginPolicy loginPolicy_;
  std::set<std::int64_t> navigateCalls_;  // Page.navigate calls waiting for their answer
  std::map<int, EventHandler> handlers_;
  int nextHandler_ = 1;
};

struct TargetInfo {
  std::string targetId;
  std::string type;
  std::string url;
  std::string title;
  std::string openerId;
};

class Browser {
 public:
  using PageHandler = std::function<void(const std::shared_ptr<Page>&)>;

  // Starts the engine and waits for its first answer.
  static std::unique_ptr<Browser> Launch(const LaunchOptions& options = {}, ConnectionOptions connection = {});
  // A browser on a pipe that something else started (the fake engine of the tests).
  static std::unique_ptr<Browser> Attach(int fd, ConnectionOptions connection = {});
  ~Browser();
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;

  Connection& Conn() { return *connection_; }
  pid_t ProcessId() const { return process_.pid; }
  std::vector<TargetInfo> Targets();
  std::shared_ptr<Page> NewPage(const std::string& url = "about:blank");
  // The attached pages, oldest first.
  std::vector<std::shared_ptr<Page>> Pages();
  std::shared_ptr<Page> FindPage(const std::string& targetId);
  // Told of every page attached after this call (popups included), on the event thread.
  void OnNewPage(PageHandler handler);
  void OnPageClosed(PageHandler handler);
  void OnClosed(std::function<void()> handler);
  // Browser.close, a bounded wait, then the process group is killed, reaped, the profile removed.
  void Close();
  bool IsClosed() const;
  // The page attached for a target (attaching it when needed).
  std::shared_ptr<Page> AttachPage(const std::string& targetId, const std::string& openerId = {});

 private:
  Browser() = default;
  void Start();
  void OnEvent(const ProtocolEvent& event);

  EngineProcess process_;
  std::unique_ptr<Connection> connection_;
  std::mutex mutex_;
  std::mutex attachMutex_;
  std::vector<std::shared_ptr<Page>> pages_;
  std::map<std::string, std::shared_ptr<Page>> bySession_;
  std::vector<PageHandler> newPageHandlers_;
  std::vector<PageHandler> closedPageHandlers_;
  std::vector<std::function<void()>> closedHandlers_;
  std::atomic<bool> closing_{false};
  bool closed_ = false;
};

// Standard base64 (the engine's encoding of binary data).
std::string DecodeBase64(std::string_view text);

}  // namespace pw::browser
