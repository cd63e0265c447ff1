#include "host/browser/objects/browsers.h"

#include "core/host/invoke_expressions.h"
#include "host/node_context.h"

#include "host/browser/objects/element_nodes.h"
#include "host/browser/objects/shell_windows.h"
#include "host/browser/objects/window_nodes.h"
#include "host/browser/objects/web_browser.h"
#include "platform/com/class_registry.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "platform/ui/window_messages.h"

namespace pw::host {

namespace {

// A page node's native object: "contentDocument", the page's current document (nil once the
// browser is gone).
class TPageNativeObject final : public Implements<ComObject, IDispatch> {
 public:
  explicit TPageNativeObject(std::function<ComPtr<IDispatch>()> document) : document_(std::move(document)) {}
  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t count, LCID, DISPID* ids) override {
    if (count != 1 || !names || !ids || !SameTextIgnoringCase(names[0], u"contentDocument")) return DISP_E_UNKNOWNNAME;
    ids[0] = 1;
    return S_OK;
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                 std::uint32_t*) override {
    if (id != 1 || !(flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD))) return DISP_E_MEMBERNOTFOUND;
    try {
      auto document = document_();
      if (result) {
        VariantClear(result);
        *result = OleVariant(document.Get()).Detach();
      }
      return S_OK;
    } catch (const browser::BrowserError&) {
      return DISP_E_EXCEPTION;  // the page cannot answer now
    }
  }

 private:
  std::function<ComPtr<IDispatch>()> document_;
};

int Index(BrowserKind kind) { return kind == BrowserKind::Chrome ? 0 : 1; }

}  // namespace

std::optional<BrowserKind> BrowserKindOf(std::string_view name) {
  if (SameTextIgnoringCase(name, "chrome") || name == "-3") return BrowserKind::Chrome;
  if (SameTextIgnoringCase(name, "iexplore") || name == "-1") return BrowserKind::InternetExplorer;
  return std::nullopt;
}

int BrowserKindNumber(BrowserKind kind) { return kind == BrowserKind::Chrome ? -3 : -1; }

std::optional<BrowserKind> BrowserKindOfNumber(int number) {
  if (number == -3) return BrowserKind::Chrome;
  if (number == -1) return BrowserKind::InternetExplorer;
  return std::nullopt;
}

WindowDescription BrowserWindowTree(BrowserKind kind, HWND window) {
  if (kind == BrowserKind::Chrome)
    return {window, BrowserWindowClass(kind), {{window + 1, u"Chrome_RenderWidgetHostHWND", {}}}};
  return {window,
          BrowserWindowClass(kind),
          {{window + 1, u"Shell DocObject View", {{window + 2, u"Internet Explorer_Server", {}}}}}};
}

std::string UrlFromArgument(const std::string& argument) {
  const auto colon = argument.find(':');
  const bool hasScheme =
      colon != std::string::npos && colon > 1 &&
      argument.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.") == colon;
  if (hasScheme) return argument;
  const std::filesystem::path path = std::filesystem::absolute(argument).lexically_normal();
  std::string url = "file://";
  for (const unsigned char c : path.string()) {
    if (std::isalnum(c) || std::strchr("/-._~", c)) {
      url.push_back(static_cast<char>(c));
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      url += escaped;
    }
  }
  return url;
}

const char16_t* BrowserProcessName(BrowserKind kind) {
  return kind == BrowserKind::Chrome ? u"chrome.exe" : u"iexplore.exe";
}

const char16_t* BrowserWindowClass(BrowserKind kind) {
  return kind == BrowserKind::Chrome ? u"Chrome_WidgetWin_1" : u"IEFrame";
}

TBrowsers::TBrowsers(TProcessList& processes, TTestLog& log)
    : processes_(processes), log_(log), factory_([] { return browser::Browser::Launch(); }) {
  // The window of an element's page, for the rectangles of list items.
  names_->SetWindowOf([this](const browser::Page* page) -> std::int32_t {
    std::lock_guard lock(mutex_);
    for (const auto& b : browsers_) {
      if (b->page.get() == page) return static_cast<std::int32_t>(b->window);
    }
    return 0;
  });
  // The test object of an element: its node below its page's node.
  names_->SetTestObjectOf([this](const browser::Page* page, const std::vector<std::string>& chain) {
    ComPtr<TSysNode> pageNode;
    {
      std::lock_guard lock(mutex_);
      for (const auto& b : browsers_) {
        if (b->page.get() == page) pageNode = b->node;
      }
    }
    ComPtr<IDispatch> found;
    if (pageNode) {
      if (auto node = FindElementNode(*pageNode, chain)) found = ComPtr<IDispatch>(node->Dispatch());
    }
    return found;
  });
  names_->SetDropDown(
      [this](const browser::Page* page, const DropDownList& list, bool open) { return DropDown(page, list, open); });
  shellWindows_ = MakeObject<TShellWindows>(*this);
  shellWindowsClass_ = RegisterClassCreator(CLSID_ShellWindows, [shell = shellWindows_](const IID& riid, void** ppv) {
    return shell->QueryInterface(riid, ppv);
  });
}

TBrowsers::~TBrowsers() {
  CloseAll();
  RevokeClassCreator(shellWindowsClass_);
  shellWindows_->Detach();
}

void TBrowsers::SetEngineFactory(EngineFactory factory) {
  std::lock_guard lock(mutex_);
  factory_ = std::move(factory);
}

std::shared_ptr<browser::Browser> TBrowsers::RetireDeadEngine() {
  std::lock_guard lock(mutex_);
  if (!engine_ || !engine_->IsClosed()) return nullptr;
  log_.Add(LogEntry::Warning, u"The browser engine has closed; a new one is started", {}, kNormalPriority);
  return StopEngineLocked();
}

void TBrowsers::StartEngineLocked() {
  if (engine_) return;
  try {
    engine_ = factory_();
  } catch (const browser::BrowserError& e) {
    throw EOleSysError(Utf8ToWide(e.what()), E_FAIL);
  }
  // The engine's own first page stays blank and unlisted: every browser is a page of its own.
  engine_->OnNewPage([this](const std::shared_ptr<browser::Page>& page) { OnNewPage(page); });
  engine_->OnPageClosed([this](const std::shared_ptr<browser::Page>& page) { OnPageClosed(page); });
}

std::shared_ptr<browser::Browser> TBrowsers::StopEngineLocked() {
  auto browsers = browsers_;
  for (auto& b : browsers) RemoveLocked(b);
  for (int i = 0; i < 2; ++i) {
    if (processOf_[i]) processes_.Remove(processOf_[i]->Id());
    processOf_[i] = nullptr;
  }
  return std::move(engine_);
}

DWORD TBrowsers::ProcessIdLocked(BrowserKind kind) const {
  const DWORD pid = engine_ && engine_->ProcessId() > 0 ? static_cast<DWORD>(engine_->ProcessId()) : 1;
  return kind == BrowserKind::Chrome ? pid : (pid | 0x40000000u);
}

void TBrowsers::DescribeLocked(BrowserKind kind) {
  ProcessDescription description;
  description.id = ProcessIdLocked(kind);
  description.name = BrowserProcessName(kind);
  for (const auto& b : browsers_) {
    if (b->kind != kind) continue;
    if (b->dialogWindow) description.windows.push_back({b->dialogWindow, u"#32770"});
    if (b->listWindow) description.windows.push_back({b->listWindow, u"ComboLBox"});
    description.windows.push_back(BrowserWindowTree(kind, b->window));
  }
  if (!processOf_[Index(kind)]) {
    // A browser: its node is named as scripts name browsers, "Browser" with the process name
    // without ".exe" (its full name is Sys.Browser("chrome")); its object context names the
    // type "browser" with that name.
    WideString browserName = BrowserProcessName(kind);
    if (browserName.ends_with(u".exe")) browserName.resize(browserName.size() - 4);
    processOf_[Index(kind)] = processes_.Add(description, u"Browser", {OleVariant(browserName)});
    auto& node = *processOf_[Index(kind)]->Node();
    AddProcessWindowMember(node, *this, kind);
    auto objectContext = MakeObject<TNodeObjectContext>(nullptr, WideString(), u"browser", OneTextArray(browserName));
    node.SetContextObject(kContextItemKey, static_cast<IpwObjectContext2*>(objectContext.Get()));
    node.SetMemberValue(u"ObjectType", OleVariant(u"Browser"));
    node.SetMemberValue(u"BrowserIndex", OleVariant(1));
  } else {
    DescribeProcess(description);
  }
}

std::shared_ptr<TestedBrowser> TBrowsers::AddLocked(BrowserKind kind, std::shared_ptr<browser::Page> page,
                                                    const std::string& url) {
  auto b = std::make_shared<TestedBrowser>();
  b->id = nextId_++;
  b->kind = kind;
  b->page = std::move(page);
  b->window = nextWindow_;
  nextWindow_ += 0x10;
  b->openedAt = url;
  b->events = BrowserEvents::Attach(b->page);
  const int id = b->id;
  b->events->Listen([this, id](const BrowserEvent& e) {
    if (e.kind == BrowserEventKind::DialogOpened || e.kind == BrowserEventKind::DialogClosed) {
      OnDialog(id, e.kind == BrowserEventKind::DialogOpened);
    }
    if (e.kind == BrowserEventKind::LoginOpened || e.kind == BrowserEventKind::LoginClosed) {
      OnLogin(id, e.kind == BrowserEventKind::LoginOpened);
    }
    if (e.kind == BrowserEventKind::NavigateComplete) OnNewDocument(id);
  });
  browsers_.push_back(b);
  if (kind == BrowserKind::InternetExplorer) shellNotices_.emplace_back(true, b);
  front_ = b->id;
  DescribeLocked(kind);
  // The page's members and object context are there before the builders are offered the node.
  b->node =
      processOf_[Index(kind)]->Node()->AddChild(u"Page", {OleVariant(Utf8ToWide(url))}, GUID_NULL, [&](TSysNode& node) {
        b->node = ComPtr<TSysNode>(&node);
        AddPageMembersLocked(b);
        // What the page picture reads: the browser's window, and the page's document as the
        // native object's contentDocument.
        node.SetPivotWindow(static_cast<std::int32_t>(b->window));
        std::weak_ptr<TestedBrowser> weak = b;
        node.SetNativeObject(GUID_NULL, static_cast<IDispatch*>(MakeObject<TPageNativeObject>([weak, names = names_] {
                                                                  auto alive = weak.lock();
                                                                  return alive ? DocumentObject(alive->page, names)
                                                                               : ComPtr<IDispatch>();
                                                                }).Get()));
      });
  if (kind == BrowserKind::InternetExplorer) AnswerDocumentRequests(b);
  // The page is shown by the frame's innermost child window.
  const HWND pageWindow = kind == BrowserKind::Chrome ? b->window + 1 : b->window + 2;
  AttachElementNodes(*b->node, b->page, names_, static_cast<std::int32_t>(pageWindow));
  return b;
}

void TBrowsers::AnswerDocumentRequests(const std::shared_ptr<TestedBrowser>& b) {
  static const unsigned getObject = RegisterWindowMessageA("WM_HTML_GETOBJECT");
  std::weak_ptr<TestedBrowser> weak = b;
  auto answer = [weak, names = names_](HWND, unsigned message, WPARAM wParam, LPARAM) -> LRESULT {
    auto alive = weak.lock();
    if (message != getObject || !alive) return 0;
    try {
      auto document = DocumentObject(alive->page, names);
      return document ? LresultFromObject(IDispatch::iid, wParam, document.Get()) : 0;
    } catch (const browser::BrowserError&) {
      return 0;  // the page cannot answer now (closed, or a dialog of it is open)
    }
  };
  SetWindowMessageHandler(b->window + 2, std::move(answer));
}

void TBrowsers::AddPageMembersLocked(const std::shared_ptr<TestedBrowser>& b) {
  std::weak_ptr<TestedBrowser> weak = b;
  b->node->SetMemberValue(u"ObjectType", OleVariant(u"Page"));
  b->node->SetMemberValue(u"Visible", OleVariant(true));
  // A page is identified by its location, and is the first (0) of its group.
  b->node->SetMember(u"ObjectIdentifier", [weak](std::vector<OleVariant>&) {
    auto alive = weak.lock();
    return OleVariant(alive ? Utf8ToWide(alive->Location()) : WideString());
  });
  b->node->SetMemberValue(u"ObjectGroupIndex", OleVariant(0));
  // Both contexts of a page name the type "page" and offer XPath, CSS selectors and navigation to
  // the context-table builder.
  const auto pageContext = [](TNodeObjectContext::ObjectFunction object) {
    auto context = MakeObject<TNodeObjectContext>(std::move(object), WideString(), u"page", OleVariant());
    context->SetCapabilities({MakeGuid("{24C6CDDA-2A15-403D-B047-DBE341A7D2D6}"),
                              MakeGuid("{CBA753E9-BF83-424F-BD94-53A405683A68}"),
                              MakeGuid("{2510B7B2-CC74-4676-ADEB-F3E2C2D6D46B}")});
    context->SetKind(kContextItemKey, 0);
    return context;
  };
  // The context item: its object is the page's current document (what the lookups search).
  auto objectContext = pageContext([weak, names = names_]() -> ComPtr<IDispatch> {
    auto alive = weak.lock();
    return alive ? DocumentObject(alive->page, names) : nullptr;
  });
  b->node->SetContextObject(kContextItemKey, static_cast<IpwObjectContext2*>(objectContext.Get()));
  // The page context the node's IpwNativeContext gives: its object is the page's browser object,
  // whose member kDispClosePage closes the page (the page-close slice's first way).
  auto nativeContext = pageContext([this, weak]() -> ComPtr<IDispatch> {
    auto alive = weak.lock();
    return alive ? BrowserObject(*alive) : nullptr;
  });
  b->node->SetPageContext(static_cast<IpwObjectContext2*>(nativeContext.Get()));
  b->node->SetMemberValue(u"ProcessId", OleVariant(static_cast<std::int32_t>(ProcessIdLocked(b->kind))));
  b->node->SetMember(u"URL", [weak](std::vector<OleVariant>&) {
    auto alive = weak.lock();
    if (!alive) return OleVariant(u"");
    return OleVariant(Utf8ToWide(alive->Location()));
  });
  b->node->SetMethod(u"NavigateTo", [this, weak](std::vector<OleVariant>& args) {
    auto alive = weak.lock();
    if (!alive) throw EOleSysError(Utf8ToWide(browser::kClosedMessage), E_FAIL);
    if (args.empty()) throw EOleSysError(u"NavigateTo needs a URL", E_INVALIDARG);
    Navigate(*alive, WideToUtf8(args[0].AsString()));
    return OleVariant();
  });
  // They stand in for the navigation slice the web builders attach (its URL, NavigateTo with a
  // wait time, Wait and ToUrl): while a slice answers them, scripts reach the slice's.
  b->node->YieldToSlices(u"URL");
  b->node->YieldToSlices(u"NavigateTo");
  // The mouse to a point of the page's viewport (its top-left corner 0, 0); -1 or missing: the
  // viewport's centre. What rests under an element's parent when that parent is the page.
  b->node->SetMethod(u"HoverMouse", [weak](std::vector<OleVariant>& args) {
    auto alive = weak.lock();
    if (!alive || !alive->page || alive->page->Closed()) {
      throw EOleSysError(Utf8ToWide(browser::kClosedMessage), E_FAIL);
    }
    auto coordinate = [&](std::size_t i) {
      if (i >= args.size()) return -1.0;
      OleVariant n;
      if (Failed(VariantChangeType(n.Ptr(), &VariantDeref(args[i].Get()), 0, VT_I4))) {
        throw EOleSysError(u"The argument " + IntToWide(static_cast<std::int32_t>(i + 1)) + u" is not a number",
                           DISP_E_TYPEMISMATCH);
      }
      return static_cast<double>(n.Get().lVal);
    };
    double x = coordinate(0), y = coordinate(1);
    try {
      if (x < 0 || y < 0) {
        const browser::Json metrics = alive->page->Metrics();
        const browser::Json viewport =
            metrics.value("cssVisualViewport", metrics.value("visualViewport", browser::Json::object()));
        x = viewport.value("clientWidth", 0.0) / 2;
        y = viewport.value("clientHeight", 0.0) / 2;
      }
      alive->page->MoveMouse(x, y);
    } catch (const browser::BrowserError& e) {
      throw EOleSysError(Utf8ToWide(e.what()), E_FAIL);
    }
    return OleVariant();
  });
  // "Close": the host's close action of a page is the page-close slice the web builders attach
  // (IpwBrowserPageActions: it closes the page, waits for it to go and writes the log entry); a
  // page without that slice cannot be closed by a script.
  b->node->SetMethod(u"Close", [weak](std::vector<OleVariant>&) {
    auto alive = weak.lock();
    ComPtr<TSysNode> node = alive ? alive->node : nullptr;
    if (!node) throw EOleSysError(Utf8ToWide(browser::kClosedMessage), E_FAIL);
    for (const auto& slice : node->Slices()) {
      if (auto actions = QueryAs<IpwBrowserPageActions>(slice.dispatch.Get())) {
        OleCheck(actions->ClosePage());
        return OleVariant();
      }
    }
    throw EOleSysError(u"The page has no close action (the Web Testing plug-in attaches it)", E_NOTIMPL);
  });
}

void TBrowsers::RemoveLocked(const std::shared_ptr<TestedBrowser>& b) {
  auto it = std::find(browsers_.begin(), browsers_.end(), b);
  if (it == browsers_.end()) return;
  browsers_.erase(it);
  if (b->kind == BrowserKind::InternetExplorer) {
    shellNotices_.emplace_back(false, b);
    SetWindowMessageHandler(b->window + 2, nullptr);
  }
  b->events->Detach();
  if (front_ == b->id) front_ = browsers_.empty() ? 0 : browsers_.back()->id;
  if (auto& process = processOf_[Index(b->kind)]) {
    if (b->node) process->Node()->RemoveChild(b->node.Get());
    for (const auto& child : process->Node()->Children()) {  // its frame's window node
      std::int32_t handle = 0;
      if (Succeeded(child->GetHandle(&handle)) && static_cast<HWND>(handle) == b->window) {
        process->Node()->RemoveChild(child.Get());
      }
    }
    if (b->dialogNode) process->Node()->RemoveChild(b->dialogNode.Get());
    b->dialogNode = nullptr;
    if (b->loginNode) process->Node()->RemoveChild(b->loginNode.Get());
    b->loginNode = nullptr;
    DescribeLocked(b->kind);
  }
}

std::shared_ptr<TestedBrowser> TBrowsers::Launch(BrowserKind kind, const std::string& url) {
  if (auto dead = RetireDeadEngine()) dead->Close();
  std::shared_ptr<browser::Browser> engine;
  {
    std::lock_guard lock(mutex_);
    StartEngineLocked();
    engine = engine_;
  }
  // The page is opened without the lock: the engine's event thread may be waiting for it.
  std::shared_ptr<browser::Page> page;
  try {
    page = engine->NewPage();
  } catch (const browser::BrowserError& e) {
    throw EOleSysError(Utf8ToWide(e.what()), E_FAIL);
  }
  std::shared_ptr<TestedBrowser> b;
  {
    std::lock_guard lock(mutex_);
    if (engine_ != engine) throw EOleSysError(Utf8ToWide(browser::kClosedMessage), E_FAIL);
    b = AddLocked(kind, page, url.empty() ? "about:blank" : url);
  }
  FlushShellNotices();
  if (!url.empty()) Navigate(*b, url);
  return b;
}

void TBrowsers::Navigate(TestedBrowser& b, const std::string& url) {
  try {
    b.events->Navigate(url);
  } catch (const browser::BrowserError& e) {
    throw EOleSysError(Utf8ToWide(e.what()), E_FAIL);
  }
}

void TBrowsers::Activate(int id) {
  std::shared_ptr<TestedBrowser> b = Find(id);
  if (!b) throw EOleSysError(u"There is no browser " + IntToWide(id), E_INVALIDARG);
  {
    std::lock_guard lock(mutex_);
    front_ = id;
  }
  b->events->Activate();
}

std::shared_ptr<TestedBrowser> TBrowsers::Front() const { return Find(front_); }

std::vector<std::shared_ptr<TestedBrowser>> TBrowsers::List() const {
  std::lock_guard lock(mutex_);
  return browsers_;
}

std::shared_ptr<TestedBrowser> TBrowsers::Find(int id) const {
  std::lock_guard lock(mutex_);
  for (const auto& b : browsers_) {
    if (b->id == id) return b;
  }
  return nullptr;
}

std::shared_ptr<TestedBrowser> TBrowsers::FindByWindow(HWND window) const {
  std::lock_guard lock(mutex_);
  for (const auto& b : browsers_) {
    if (window >= b->window && window <= b->window + 2) return b;  // its frame or a child window
  }
  return nullptr;
}

bool TBrowsers::Close(int id) {
  std::shared_ptr<TestedBrowser> b = Find(id);
  if (!b) return false;
  try {
    b->page->Close();
  } catch (const browser::BrowserError&) {
    // The page or the engine is gone already.
  }
  {
    std::lock_guard lock(mutex_);
    RemoveLocked(b);
  }
  b->events->Quit();
  FlushShellNotices();
  return true;
}

void TBrowsers::CloseAll() {
  std::shared_ptr<browser::Browser> engine;
  {
    std::lock_guard lock(mutex_);
    engine = StopEngineLocked();
  }
  FlushShellNotices();
  if (engine) engine->Close();
}

browser::Browser& TBrowsers::Engine() {
  if (auto dead = RetireDeadEngine()) dead->Close();
  std::lock_guard lock(mutex_);
  StartEngineLocked();
  return *engine_;
}

bool TBrowsers::EngineRunning() const {
  std::lock_guard lock(mutex_);
  return engine_ && !engine_->IsClosed();
}

ComPtr<IDispatch> TBrowsers::Document(const TestedBrowser& b) {
  try {
    return DocumentObject(b.page, names_);
  } catch (const browser::BrowserError& e) {
    throw EOleSysError(Utf8ToWide(e.what()), E_FAIL);
  }
}

void TBrowsers::OnNewPage(const std::shared_ptr<browser::Page>& page) {
  if (page->OpenerId().empty()) return;
  std::shared_ptr<TestedBrowser> opener;
  {
    std::lock_guard lock(mutex_);
    for (const auto& b : browsers_) {
      if (b->page->TargetId() == page->OpenerId()) {
        opener = b;
        break;
      }
    }
    if (opener) AddLocked(opener->kind, page, "");
  }
  // Listeners run without the lock.
  FlushShellNotices();
  if (opener) opener->events->NewWindow(page->TargetId(), page->Url());
}

void TBrowsers::OnDialog(int id, bool opened) {
  std::lock_guard lock(mutex_);
  for (const auto& b : browsers_) {
    if (b->id != id) continue;
    auto& process = processOf_[Index(b->kind)];
    if (opened && !b->dialogWindow) {
      b->dialogWindow = nextWindow_;
      nextWindow_ += 0x10;
      if (process) {
        const HWND window = b->dialogWindow;
        b->dialogNode = process->Node()->AddChild(u"Window", {OleVariant(u"#32770")});
        b->dialogNode->SetWindowHandle(static_cast<std::int32_t>(window));
        b->dialogNode->SetMemberValue(u"Visible", OleVariant(true));
        b->dialogNode->SetMethod(u"Keys", [this, window](std::vector<OleVariant>& args) {
          const bool cancel = !args.empty() && args[0].AsString() == u"[Esc]";
          CloseDialog(window, !cancel);
          return OleVariant();
        });
      }
    } else if (!opened) {
      b->dialogWindow = 0;
      if (b->dialogNode && process) process->Node()->RemoveChild(b->dialogNode.Get());
      b->dialogNode = nullptr;
    }
    DescribeLocked(b->kind);
    return;
  }
}

void TBrowsers::OnLogin(int id, bool opened) {
  std::lock_guard lock(mutex_);
  for (const auto& b : browsers_) {
    if (b->id != id) continue;
    auto& process = processOf_[Index(b->kind)];
    if (b->loginNode && process) process->Node()->RemoveChild(b->loginNode.Get());
    b->loginNode = nullptr;
    const auto login = opened ? b->page->OpenLogin() : std::nullopt;
    if (!login || !process) return;
    // A node of its own, after the process's other children: what a login dialog is to a browser.
    b->loginNode = process->Node()->AddChild(u"Login", {OleVariant(Utf8ToWide(login->url))});
    auto& node = *b->loginNode;
    node.SetMemberValue(u"ObjectType", OleVariant(u"Login"));
    node.SetMemberValue(u"Visible", OleVariant(true));
    node.SetMemberValue(u"URL", OleVariant(Utf8ToWide(login->url)));
    node.SetMemberValue(u"Origin", OleVariant(Utf8ToWide(login->origin)));
    node.SetMemberValue(u"Realm", OleVariant(Utf8ToWide(login->realm)));
    node.SetMemberValue(u"Scheme", OleVariant(Utf8ToWide(login->scheme)));
    node.SetMethod(u"Authenticate", [this, id](std::vector<OleVariant>& args) {
      if (args.size() < 2) throw EOleSysError(u"Authenticate needs a user name and a password", E_INVALIDARG);
      AnswerLogin(id, browser::LoginAnswer{true, WideToUtf8(args[0].AsString()), WideToUtf8(args[1].AsString())});
      return OleVariant();
    });
    node.SetMethod(u"Cancel", [this, id](std::vector<OleVariant>&) {
      AnswerLogin(id, browser::LoginAnswer{});
      return OleVariant();
    });
    return;
  }
}

void TBrowsers::AnswerLogin(int id, const browser::LoginAnswer& answer) {
  std::shared_ptr<TestedBrowser> b = Find(id);
  if (!b) throw EOleSysError(Utf8ToWide(browser::kClosedMessage), E_FAIL);
  try {
    b->page->AnswerLogin(answer);
  } catch (const browser::BrowserError& e) {
    b->events->SyncLogin();
    throw EOleSysError(Utf8ToWide(e.what()), E_FAIL);
  }
  b->events->SyncLogin();
}

void TBrowsers::OnNewDocument(int id) {
  ComPtr<TSysNode> node;
  std::uint64_t document = 0;
  {
    std::lock_guard lock(mutex_);
    for (const auto& b : browsers_) {
      if (b->id != id) continue;
      node = b->node;
      document = b->page->Document();
      if (b->listWindow) {  // the list of a select of the old document goes with it
        b->listWindow = 0;
        DescribeLocked(b->kind);
      }
    }
  }
  if (node) DropElementNodes(*node, document);
}

std::int32_t TBrowsers::DropDown(const browser::Page* page, const DropDownList& list, bool open) {
  std::lock_guard lock(mutex_);
  for (const auto& b : browsers_) {
    if (b->page.get() != page) continue;
    if (b->listWindow && b->list.selectId == list.selectId) {
      b->list = list;
      return static_cast<std::int32_t>(b->listWindow);
    }
    if (!open) return 0;
    b->listWindow = nextWindow_;
    nextWindow_ += 0x10;
    b->list = list;
    DescribeLocked(b->kind);
    return static_cast<std::int32_t>(b->listWindow);
  }
  return 0;
}

std::shared_ptr<TestedBrowser> TBrowsers::FindByListWindow(HWND window) const {
  std::lock_guard lock(mutex_);
  for (const auto& b : browsers_) {
    if (window && b->listWindow == window) return b;
  }
  return nullptr;
}

void TBrowsers::CloseListWindow(HWND window) {
  std::lock_guard lock(mutex_);
  for (const auto& b : browsers_) {
    if (!window || b->listWindow != window) continue;
    b->listWindow = 0;
    DescribeLocked(b->kind);
  }
}

void TBrowsers::ClickListWindow(HWND window, std::int32_t x, std::int32_t y) {
  std::shared_ptr<TestedBrowser> b = FindByListWindow(window);
  if (!b) throw EOleSysError(u"The window is no list window of a browser", E_INVALIDARG);
  DropDownList list;
  {
    std::lock_guard lock(mutex_);
    list = b->list;
  }
  const std::int32_t row = y >= 0 ? y / std::max(list.itemHeight, 1) : -1;
  const bool onItem = x >= 0 && x < list.width && row >= 0 && row < list.count;
  // The window closes first: the page's handlers of the choice may open it again.
  CloseListWindow(window);
  if (!onItem) return;
  const std::string script =
      "(() => { const r = window.__pwById && window.__pwById.get(" + browser::Json(list.selectId).dump() +
      "); const s = r && r.deref(); if (!s || !s.isConnected) throw new Error('The object no longer exists');"
      " const o = s.options[" +
      std::to_string(row) +
      "];"
      " if (!o || o.disabled || (o.parentElement && o.parentElement.tagName === 'OPTGROUP' &&"
      " o.parentElement.disabled)) return false;"
      " if (s.selectedIndex === " +
      std::to_string(row) +
      ") return true;"
      " s.selectedIndex = " +
      std::to_string(row) +
      ";"
      " s.dispatchEvent(new Event('input', {bubbles: true}));"
      " s.dispatchEvent(new Event('change', {bubbles: true})); return true; })()";
  try {
    b->page->Evaluate(script, true);
  } catch (const browser::BrowserError& e) {
    throw EOleSysError(Utf8ToWide(e.what()), E_FAIL);
  }
}

std::shared_ptr<TestedBrowser> TBrowsers::FindByDialog(HWND window) const {
  std::lock_guard lock(mutex_);
  for (const auto& b : browsers_) {
    if (window && b->dialogWindow == window) return b;
  }
  return nullptr;
}

void TBrowsers::CloseDialog(HWND window, bool accept, const std::string& promptText) {
  std::shared_ptr<TestedBrowser> b = FindByDialog(window);
  if (!b) throw EOleSysError(u"The window is no dialog of a browser", E_INVALIDARG);
  try {
    b->page->CloseDialog(accept, promptText);
  } catch (const browser::BrowserError& e) {
    throw EOleSysError(Utf8ToWide(e.what()), E_FAIL);
  }
  OnDialog(b->id, false);
}

void TBrowsers::OnPageClosed(const std::shared_ptr<browser::Page>& page) {
  std::shared_ptr<TestedBrowser> gone;
  {
    std::lock_guard lock(mutex_);
    for (const auto& b : browsers_) {
      if (b->page == page) {
        gone = b;
        break;
      }
    }
    if (gone) RemoveLocked(gone);
  }
  if (gone) gone->events->Quit();
  FlushShellNotices();
}

IDispatch* TBrowsers::ShellWindows() const { return static_cast<IShellWindows*>(shellWindows_.Get()); }

void TBrowsers::FlushShellNotices() {
  std::vector<std::pair<bool, std::shared_ptr<TestedBrowser>>> notices;
  {
    std::lock_guard lock(mutex_);
    notices.swap(shellNotices_);
  }
  for (const auto& [registered, b] : notices) shellWindows_->Notify(registered, *b);
}

ComPtr<IDispatch> TBrowsers::BrowserObject(TestedBrowser& browser) {
  std::lock_guard lock(mutex_);
  if (!browser.object) {
    std::shared_ptr<TestedBrowser> self;
    for (const auto& b : browsers_)
      if (b.get() == &browser) self = b;
    if (!self) throw EOleSysError(Utf8ToWide(browser::kClosedMessage), E_FAIL);
    browser.object = ComPtr<IDispatch>(static_cast<IDispatch*>(MakeWebBrowser(*this, self).Get()));
  }
  return browser.object;
}

}  // namespace pw::host
