// The web project event provider against stub browsers, a stub shell-windows collection and
// described dialog windows, with the test host's event sets recording what is raised.
#include <algorithm>
#include <latch>
#include <map>
#include <set>
#include <thread>

#include "tests/web/nav_fixture.h"
#include "platform/com/connection_points.h"
#include "web/events/ie_browser_locator.h"
#include "web/events/web_project_event_provider.h"
#include "web/navigation/ie_browser_events.h"

namespace pw::web::test {
namespace {

struct IStubWebBrowser2 : IDispatch {
  static constexpr IID iid = kIID_IWebBrowser2;
  using Inherited = IDispatch;
};

// Late-bound members by name; "Item" answers by its argument (the stub collection's cookies are
// its indices).
class TLateBound {
 public:
  std::mutex lock;
  std::map<WideString, OleVariant> values;
  std::map<std::int32_t, OleVariant> items;
  HRESULT Ids(const char16_t* const* names, DISPID* ids) {
    std::lock_guard g(lock);
    WideString n(names[0]);
    if (n == u"Item") return ids[0] = 1000, S_OK;
    auto it = values.find(n);
    if (it == values.end()) return DISP_E_UNKNOWNNAME;
    ids[0] = static_cast<DISPID>(std::distance(values.begin(), it) + 1);
    return S_OK;
  }
  HRESULT Call(DISPID id, DISPPARAMS* params, VARIANT* result) {
    std::lock_guard g(lock);
    OleVariant r;
    if (id == 1000) {
      if (!params || params->cArgs < 1) return DISP_E_BADPARAMCOUNT;
      const VARIANT& a = params->rgvarg[0];
      const std::int32_t index =
          a.vt == (VT_I4 | VT_BYREF) ? *static_cast<const std::int32_t*>(a.byref) : OleVariant(a).AsInt();
      auto it = items.find(index);
      if (it != items.end()) r = it->second;
    } else {
      auto it = values.begin();
      std::advance(it, id - 1);
      r = it->second;
    }
    if (result) *result = r.Detach();
    return S_OK;
  }
};

// An object whose IDispatch answers from its late-bound members.
template <class... Intfs>
class TLateBoundObject : public Implements<ComObject, Intfs...> {
 public:
  HRESULT GetTypeInfoCount(std::uint32_t* count) override { return *count = 0, S_OK; }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const* names, std::uint32_t, LCID, DISPID* ids) override {
    return members.Ids(names, ids);
  }
  HRESULT Invoke(DISPID id, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 std::uint32_t*) override {
    return members.Call(id, params, result);
  }
  TLateBound members;
};

template <class... More>
class TEventSourceBase : public TLateBoundObject<More..., IConnectionPointContainer> {
 public:
  using TLateBoundObject<More..., IConnectionPointContainer>::members;
  explicit TEventSourceBase(const IID& events) : point_(MakeObject<TConnectionPoint>(events, this)) {}
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override {
    if (points) *points = nullptr;
    return E_NOTIMPL;
  }
  HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** point) override {
    *point = nullptr;
    IID own{};
    point_->GetConnectionInterface(&own);
    if (own != iid) return CONNECT_E_NOCONNECTION;
    *point = ComPtr<IConnectionPoint>(point_).Detach();
    return S_OK;
  }
  std::size_t Sinks() { return point_->SinkCount(); }
  HRESULT Fire(DISPID id, std::vector<OleVariant> argsLastFirst = {}) {
    DISPPARAMS params{argsLastFirst.empty() ? nullptr : argsLastFirst.front().Ptr(), nullptr,
                      static_cast<std::uint32_t>(argsLastFirst.size()), 0};
    return point_->Fire(id, &params);
  }

 private:
  ComPtr<TConnectionPoint> point_;
};

class TStubBrowser final : public TEventSourceBase<IStubWebBrowser2> {
 public:
  TStubBrowser(HWND window, WideString location) : TEventSourceBase(kDIID_DWebBrowserEvents2) {
    members.values[u"HWND"] = OleVariant(static_cast<std::int32_t>(window));
    members.values[u"LocationURL"] = OleVariant(location);
  }
  // BeforeNavigate2's URL is its second argument (the last declared comes first).
  void Navigate(WideStringView url) {
    std::vector<OleVariant> args(7);
    args[5] = OleVariant(url);
    Fire(kDispidBeforeNavigate2, std::move(args));
    Fire(kDispidDocumentComplete);
  }
};

class TStubShellWindows final : public TEventSourceBase<IDispatch> {
 public:
  TStubShellWindows() : TEventSourceBase(kDIID_DShellWindowsEvents) { members.values[u"Count"] = OleVariant(0); }
  void Add(std::int32_t cookie, TStubBrowser* browser, bool announce) {
    {
      std::lock_guard g(members.lock);
      members.items[cookie] = OleVariant(static_cast<IDispatch*>(browser));
      members.values[u"Count"] = OleVariant(static_cast<std::int32_t>(members.items.size()));
    }
    if (announce) Fire(200, {OleVariant(cookie)});
  }
};

class TDocument final : public TLateBoundObject<IDispatch> {
 public:
  explicit TDocument(WideString url) { members.values[u"URL"] = OleVariant(url); }
};

class EventProvider : public NavTest {
 protected:
  EventProvider() {
    collection = MakeObject<TStubShellWindows>();
    system = DefaultWebEventSystem();
    // The stub browsers' own windows stand for their server windows.
    system.findServerWindow = [](IUnknown* browser) { return GetBrowserWindowHandle(browser); };
    system.createShellWindows = [c = collection] { return ComPtr<IUnknown>(static_cast<IDispatch*>(c.Get())); };
    system.dialogServerWindows = [this] {
      std::lock_guard g(dialogLock);
      std::vector<HWND> r;
      for (auto& [w, url] : dialogs) r.push_back(w);
      return r;
    };
    system.documentOfWindow = [this](HWND w) -> ComPtr<IDispatch> {
      std::lock_guard g(dialogLock);
      auto it = dialogs.find(w);
      if (it == dialogs.end()) return nullptr;
      return ComPtr<IDispatch>(MakeObject<TDocument>(it->second).Get());
    };
    system.isWindow = [this](HWND w) {
      std::lock_guard g(dialogLock);
      return dialogs.count(w) != 0;
    };
    system.retryPause = [] {};
    provider = MakeObject<TpwWebProjectEventProvider>(system);
  }
  ~EventProvider() override {
    if (provider) provider->Finalize();
  }

  // The raised events as "member url" lines, sorted (delivery is unordered).
  std::vector<WideString> Raised() {
    std::vector<WideString> lines;
    for (const auto& e : host.EventSets().Raised()) {
      WideString line = e.member;
      if (e.arguments.size() == 2) line += u" " + e.arguments[1].AsString();
      const auto& browser = e.arguments.empty() ? OleVariant() : e.arguments[0];
      line += (browser.Type() == VT_UNKNOWN && browser.Get().punkVal) ? u" [browser]" : u" [none]";
      lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
  }

  std::mutex dialogLock;
  std::map<HWND, WideString> dialogs;
  ComPtr<TStubShellWindows> collection;
  TpwWebEventSystem system;
  ComPtr<TpwWebProjectEventProvider> provider;
};

TEST_F(EventProvider, RegistersTheSetAndDeliversBrowserEventsOnlyWhileATestRuns) {
  auto first = MakeObject<TStubBrowser>(0x501, u"http://Example.test/a/../start.htm");
  collection->Add(0, first.Get(), false);
  ASSERT_EQ(provider->Initialize(Manager()), S_OK);
  EXPECT_TRUE(host.EventSets().IsRegistered(kIID_IpwWebEvent));
  EXPECT_EQ(host.EventSets().RegisteredSets(), std::vector<WideString>{u"Web Testing Events"});
  ASSERT_EQ(provider->Start(), S_OK);
  EXPECT_EQ(provider->Start(), S_OK);    // started already: nothing
  EXPECT_EQ(provider->SinkCount(), 1u);  // the rescan at Start
  EXPECT_EQ(first->Sinks(), 1u);

  first->Navigate(u"http://example.test/next.htm");
  EXPECT_EQ(provider->JobCount(), 0u);
  {
    host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
    first->Navigate(u"http://example.test/next.htm");
    ASSERT_EQ(provider->Stop(), S_OK);  // waits for every job
  }
  EXPECT_EQ(first->Sinks(), 0u);
  EXPECT_EQ(provider->SinkCount(), 0u);
  EXPECT_EQ(Raised(), (std::vector<WideString>{u"OnWebBeforeNavigate http://example.test/next.htm [browser]",
                                               u"OnWebPageDownloaded http://example.test/start.htm [browser]"}));
  EXPECT_EQ(provider->Stop(), S_OK);  // stopped already: nothing
  ASSERT_EQ(provider->Finalize(), S_OK);
  EXPECT_FALSE(host.EventSets().IsRegistered(kIID_IpwWebEvent));
  provider = nullptr;
}

TEST_F(EventProvider, RescansAndAnnouncementsNeverAddASecondSink) {
  auto first = MakeObject<TStubBrowser>(0x501, u"http://example.test/");
  auto second = MakeObject<TStubBrowser>(0, u"http://example.test/");  // no server window yet
  collection->Add(0, first.Get(), false);
  ASSERT_EQ(provider->Initialize(Manager()), S_OK);
  ASSERT_EQ(provider->Start(), S_OK);
  collection->Add(1, second.Get(), true);
  collection->Fire(200, {OleVariant(0)});
  collection->Fire(200, {OleVariant(1)});
  collection->Fire(200, {OleVariant(99)});  // no such window: a rescan
  EXPECT_EQ(provider->SinkCount(), 2u);
  EXPECT_EQ(first->Sinks(), 1u);
  EXPECT_EQ(second->Sinks(), 1u);
  EXPECT_EQ(provider->BrowserWindowCount(), 1u);
  ASSERT_EQ(provider->Stop(), S_OK);
  EXPECT_EQ(collection->Sinks(), 0u);
}

TEST_F(EventProvider, QuitIsReportedAndTheWindowForgottenWhileTheSinkStays) {
  auto browser = MakeObject<TStubBrowser>(0x777, u"http://example.test/");
  collection->Add(0, browser.Get(), false);
  ASSERT_EQ(provider->Initialize(Manager()), S_OK);
  ASSERT_EQ(provider->Start(), S_OK);
  EXPECT_EQ(provider->BrowserWindowCount(), 1u);
  host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
  browser->Fire(kDispidOnQuit);
  EXPECT_EQ(provider->BrowserWindowCount(), 0u);
  EXPECT_EQ(provider->SinkCount(), 1u);
  ASSERT_EQ(provider->Stop(), S_OK);
  EXPECT_EQ(Raised(), std::vector<WideString>{u"OnWebQuit [browser]"});
}

TEST_F(EventProvider, ADialogIsReportedOnceWhileOpenAndAnewAfterItClosed) {
  ASSERT_EQ(provider->Initialize(Manager()), S_OK);
  host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
  ASSERT_EQ(provider->Start(), S_OK);
  {
    std::lock_guard g(dialogLock);
    dialogs[0x900] = u"FILE:///tmp/./dialog.htm";
  }
  provider->PollDialogs();
  provider->PollDialogs();
  ASSERT_EQ(provider->Stop(), S_OK);
  const std::vector<WideString> once{u"OnWebBeforeNavigate file:///tmp/dialog.htm [none]",
                                     u"OnWebPageDownloaded file:///tmp/dialog.htm [none]"};
  EXPECT_EQ(Raised(), once);
  ASSERT_EQ(provider->Start(), S_OK);  // still open over Stop and Start: not again
  provider->PollDialogs();
  ASSERT_EQ(provider->Stop(), S_OK);
  EXPECT_EQ(Raised(), once);
  {
    std::lock_guard g(dialogLock);
    dialogs.clear();
  }
  ASSERT_EQ(provider->Start(), S_OK);
  provider->PollDialogs();  // closed: forgotten
  EXPECT_EQ(provider->DialogWindowCount(), 0u);
  {
    std::lock_guard g(dialogLock);
    dialogs[0x900] = u"";  // a document without a URL: reported with an empty one
  }
  provider->PollDialogs();
  ASSERT_EQ(provider->Stop(), S_OK);
  auto lines = Raised();
  EXPECT_EQ(lines.size(), 4u);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), WideString(u"OnWebBeforeNavigate  [none]")), 1);
}

TEST_F(EventProvider, TheStubAnswersItsTypeAndTheHostsFailures) {
  auto stub = MakeObject<TpwEventStub>(Manager(), kIID_IpwWebEvent);
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(stub->GetTypeInfo(1, 0, info.Put()), DISP_E_BADINDEX);
  EXPECT_EQ(info.Get(), nullptr);
  EXPECT_EQ(stub->GetTypeInfo(0, 0, info.Put()), S_OK);
  EXPECT_NE(info.Get(), nullptr);
  const char16_t* name = u"OnWebQuit";
  DISPID id = 0;
  EXPECT_EQ(stub->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id), S_OK);
  EXPECT_EQ(id, WebEventDispId(TpwWebEventKind::Quit));

  OleVariant arg(static_cast<IUnknown*>(nullptr));
  DISPPARAMS params{arg.Ptr(), nullptr, 1, 0};
  EXCEPINFO excep{};
  // The set is not registered: the host refuses the raise.
  EXPECT_EQ(stub->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &params, nullptr, &excep, nullptr), DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, E_FAIL);
  EXPECT_FALSE(BstrView(excep.bstrDescription).empty());
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);

  host.SetService(host::services::kActiveXEvents, nullptr);
  EXPECT_EQ(stub->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), E_FAIL);
  // Without the service the provider has no set; jobs do nothing.
  ASSERT_EQ(provider->Initialize(Manager()), S_OK);
  EXPECT_EQ(provider->EventSet(), nullptr);
}

// Events arrive on four threads while Stop and then Finalize run: every job started is waited
// for by Stop, nothing is raised after it returned, and nothing is used after Finalize.
TEST_F(EventProvider, StopAndFinalizeRaceWithEvents) {
  auto browser = MakeObject<TStubBrowser>(0x501, u"http://example.test/");
  collection->Add(0, browser.Get(), false);
  ASSERT_EQ(provider->Initialize(Manager()), S_OK);
  ASSERT_EQ(provider->Start(), S_OK);
  host::ScopedRunState run(host.RunState(), host::kRunStateRunning);
  constexpr int kThreads = 4;
  std::latch firing(kThreads);
  std::atomic<bool> done{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      browser->Navigate(u"http://example.test/race.htm");
      firing.count_down();
      while (!done.load()) browser->Navigate(u"http://example.test/race.htm");
    });
  firing.wait();
  ASSERT_EQ(provider->Stop(), S_OK);
  const std::size_t afterStop = host.EventSets().Raised().size();
  EXPECT_GE(afterStop, 1u);
  ASSERT_EQ(provider->Finalize(), S_OK);
  done = true;
  for (auto& t : threads) t.join();
  EXPECT_EQ(host.EventSets().Raised().size(), afterStop);
  EXPECT_EQ(browser->Sinks(), 0u);
  provider = nullptr;
}

}  // namespace
}  // namespace pw::web::test
