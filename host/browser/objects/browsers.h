// The test host's browsers: tested browsers of a kind, each one page of the one engine of the
// test host, shown in the platform's process model and in the object tree.
//
// The engine starts with the first browser and stops with the host. An engine that has died
// (killed, crashed) is replaced by a new one at the next use, and the test log says so; the
// browsers of the dead engine are gone then. Two kinds of browser share the engine:
//   "chrome"   process "chrome.exe" (the engine's process id), a top-level window of class
//              "Chrome_WidgetWin_1" per page;
//   "iexplore" process "iexplore.exe" (the engine's process id with bit 30 set, so both kinds
//              can be described at once), a top-level window of class "IEFrame" per page, with
//              its child windows "Shell DocObject View" > "Internet Explorer_Server".
// The process node of a kind is named as scripts name browsers: Sys.Browser("chrome"),
// Sys.Browser("iexplore"); other processes stay Sys.Process("name").
// Each page is a node "Page" (argument: the URL it was opened at) under its process node.
// A page that a tested page opens (a popup) becomes a tested browser of the same kind.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/browser/browser.h"
#include "host/browser/objects/browser_events.h"
#include "host/browser/objects/dom_object.h"
#include "host/object_tree.h"
#include "host/processes.h"
#include "host/test_log.h"

namespace pw::host {

class TShellWindows;

enum class BrowserKind { Chrome, InternetExplorer };

// "chrome" or "iexplore" (ignoring case), or their kind numbers "-3" and "-1"; nullopt for any
// other name.
std::optional<BrowserKind> BrowserKindOf(std::string_view name);
// The browser kinds by number, as the web code counts them: -1 "iexplore", -3 "chrome" (the other
// numbers name browsers that have no counterpart here: nullopt).
int BrowserKindNumber(BrowserKind kind);
std::optional<BrowserKind> BrowserKindOfNumber(int number);
// A browser's window with its child windows: "IEFrame" > "Shell DocObject View" >
// "Internet Explorer_Server" (handles window, window + 1, window + 2); "Chrome_WidgetWin_1" >
// "Chrome_RenderWidgetHostHWND" (window + 1).
WindowDescription BrowserWindowTree(BrowserKind kind, HWND window);
const char16_t* BrowserProcessName(BrowserKind kind);
const char16_t* BrowserWindowClass(BrowserKind kind);

// A URL as given, or a file name (no scheme: relative to the current folder) as a file:// URL.
std::string UrlFromArgument(const std::string& argument);

struct TestedBrowser {
  int id = 0;
  BrowserKind kind = BrowserKind::Chrome;
  std::shared_ptr<browser::Page> page;
  HWND window = 0;
  ComPtr<TSysNode> node;
  std::string openedAt;
  std::shared_ptr<BrowserEvents> events;  // its browser events and state
  HWND dialogWindow = 0;                  // the window of its open JavaScript dialog, or 0
  // The dialog window's node under the process ("Window"; its "Keys" "[Esc]" cancels the
  // dialog, any other keys accept it), nil while no dialog is open.
  ComPtr<TSysNode> dialogNode;
  // The node "Login" under the process while an authentication challenge of its page waits for
  // an answer (its "Authenticate" and "Cancel" answer it), nil otherwise.
  ComPtr<TSysNode> loginNode;
  // The open list window of a drop-down select of its page (class "ComboLBox"), or 0, with what
  // it shows.
  HWND listWindow = 0;
  DropDownList list;
  // Where the page is (its events' location), else the URL it was opened at.
  std::string Location() const {
    std::string location = events ? events->LocationUrl() : std::string();
    return location.empty() ? openedAt : location;
  }
  // The browser object (web_browser.h), made at the first ask; released with the browser. Last
  // member: it goes first, while the events it listens to still exist.
  ComPtr<IDispatch> object;
};

class TBrowsers {
 public:
  using EngineFactory = std::function<std::unique_ptr<browser::Browser>()>;

  TBrowsers(TProcessList& processes, TTestLog& log);
  ~TBrowsers();
  TBrowsers(const TBrowsers&) = delete;
  TBrowsers& operator=(const TBrowsers&) = delete;

  // Replaces how engines are started (tests hand a scripted engine); before the first launch.
  void SetEngineFactory(EngineFactory factory);

  // Opens a browser of the kind (a new page of the engine), at `url` when one is given.
  std::shared_ptr<TestedBrowser> Launch(BrowserKind kind, const std::string& url = {});
  std::vector<std::shared_ptr<TestedBrowser>> List() const;
  std::shared_ptr<TestedBrowser> Find(int id) const;
  std::shared_ptr<TestedBrowser> FindByWindow(HWND window) const;
  // Navigates a browser (before-navigate first) and waits for the load.
  void Navigate(TestedBrowser& browser, const std::string& url);
  // Brings a browser to the front (window activate); the front browser is the host's choice:
  // the last one launched or activated.
  void Activate(int id);
  std::shared_ptr<TestedBrowser> Front() const;
  // JavaScript dialogs left open are windows of class "#32770" of their browser's process.
  std::shared_ptr<TestedBrowser> FindByDialog(HWND window) const;
  // Answers the dialog of that window (OK or Cancel; the text of a prompt).
  void CloseDialog(HWND window, bool accept, const std::string& promptText = {});
  // The list window of a drop-down select: a top-level window "ComboLBox" of the browser's
  // process while it is open, one per browser (opening another select's list closes the first);
  // the select's items are its rows, each as high and wide as the select. Answers the window, 0
  // when it is not open and `open` is false.
  std::int32_t DropDown(const browser::Page* page, const DropDownList& list, bool open);
  // The browser whose list window this is, or nil.
  std::shared_ptr<TestedBrowser> FindByListWindow(HWND window) const;
  // A click at a point of a list window's client area: the item of that row is chosen as a
  // user's choice is (selected, then "input" and "change" on the select; a disabled item changes
  // nothing) and the window closes; a point beside the rows only closes it.
  void ClickListWindow(HWND window, std::int32_t x, std::int32_t y);
  // Closes a list window without a choice (a key pressed in it).
  void CloseListWindow(HWND window);
  // Answers the oldest open login of a browser's page (credentials, or none: cancelled).
  void AnswerLogin(int id, const browser::LoginAnswer& answer);
  // Closes one browser (its page); false when there is none with the id.
  bool Close(int id);
  // Closes every browser and stops the engine.
  void CloseAll();

  // The running engine (started when needed).
  browser::Browser& Engine();
  bool EngineRunning() const;
  const std::shared_ptr<DomNames>& Names() const { return names_; }
  // The document of a browser's page, as a dispatch object.
  ComPtr<IDispatch> Document(const TestedBrowser& browser);
  // The browser object of a browser (IWebBrowser2 with its events; web_browser.h).
  ComPtr<IDispatch> BrowserObject(TestedBrowser& browser);
  // The shell's list of browser windows (shell_windows.h): the "iexplore" browsers, each under
  // its cookie; registered with CoCreateInstance while this object lives.
  IDispatch* ShellWindows() const;

 private:
  // Starting and stopping under the lock; an engine is closed only outside it (its event thread
  // may be waiting for the lock).
  void StartEngineLocked();
  std::shared_ptr<browser::Browser> StopEngineLocked();
  std::shared_ptr<browser::Browser> RetireDeadEngine();
  std::shared_ptr<TestedBrowser> AddLocked(BrowserKind kind, std::shared_ptr<browser::Page> page,
                                           const std::string& url);
  void RemoveLocked(const std::shared_ptr<TestedBrowser>& browser);
  // The page node's script members: "ObjectType" "Page", "URL" (the location), "Visible",
  // "ProcessId", "ObjectIdentifier", "NavigateTo" (URL, wait time: navigates and waits for the load).
  void AddPageMembersLocked(const std::shared_ptr<TestedBrowser>& browser);
  // An "iexplore" browser's server window answers "WM_HTML_GETOBJECT" with its page's document
  // (LresultFromObject, as IDispatch); 0 while the page cannot answer.
  void AnswerDocumentRequests(const std::shared_ptr<TestedBrowser>& browser);
  void DescribeLocked(BrowserKind kind);
  DWORD ProcessIdLocked(BrowserKind kind) const;
  void OnNewPage(const std::shared_ptr<browser::Page>& page);
  void OnPageClosed(const std::shared_ptr<browser::Page>& page);
  void OnDialog(int id, bool opened);
  void OnLogin(int id, bool opened);
  // The page has a new document: its element nodes and its list window go.
  void OnNewDocument(int id);
  // Tells the shell's window list of browsers that came and went, outside the lock (its sinks
  // may call back from other threads).
  void FlushShellNotices();

  TProcessList& processes_;
  TTestLog& log_;
  EngineFactory factory_;
  mutable std::recursive_mutex mutex_;
  std::shared_ptr<browser::Browser> engine_;
  std::shared_ptr<DomNames> names_ = std::make_shared<DomNames>();
  std::vector<std::shared_ptr<TestedBrowser>> browsers_;
  ComPtr<TProcess> processOf_[2];
  int nextId_ = 1;
  int front_ = 0;
  HWND nextWindow_ = 0x50000;
  std::vector<std::pair<bool, std::shared_ptr<TestedBrowser>>> shellNotices_;  // (registered, browser)
  ComPtr<TShellWindows> shellWindows_;
  DWORD shellWindowsClass_ = 0;
};

}  // namespace pw::host
