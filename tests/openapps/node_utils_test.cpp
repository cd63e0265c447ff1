// Whether a test runs, the time-out counter on the manual clock and its indicator, a node's
// children, references, a node's native object called late-bound, and the full names of objects.
#include "core/automation/dispatch_helpers.h"
#include "core/com/agile_objects.h"
#include "core/host/invoke_expressions.h"
#include "tests/openapps/test_extensions.h"

namespace pw {
namespace {

TEST_F(ExtensionTest, IsTestRunningReadsTheRunStateAndTheStopFlag) {
  const GUID other = MakeGuid("{11111111-2222-3333-4444-555555555555}");
  struct Case {
    GUID state;
    bool stopping, running;
  } cases[] = {
      {GUID_NULL, false, false},
      {GUID_NULL, true, false},
      {kRunStateRunning, false, true},
      {kRunStateRunning, true, false},
      {kRunStateRunningAlternate, false, true},
      {kRunStateRunningAlternate, true, false},
      {other, false, false},
      {other, true, false},
  };
  for (const auto& c : cases) {
    host->RunState().SetState(c.state);
    host->RunState().SetStopping(c.stopping);
    EXPECT_EQ(IsTestRunning(Manager()), c.running) << GuidToString(c.state) << " stopping " << c.stopping;
  }
}

bool Expired(IpwTimeoutCounter* counter) {
  VARIANT_BOOL expired = VARIANT_FALSE;
  EXPECT_EQ(counter->IsExpired(&expired), S_OK);
  return expired != VARIANT_FALSE;
}

TEST_F(ExtensionTest, CounterDeadlines) {
  {
    auto zero = MakeObject<TpwTimeoutCounter>(Manager(), 0, u"");
    EXPECT_FALSE(Expired(zero.Get()));  // equal is not yet over
    clock.Advance(1);
    EXPECT_TRUE(Expired(zero.Get()));
  }
  {
    // The tick count wraps at 32 bits during the wait.
    clock.Set(0x1'0000'0000ull - 100);
    auto wrapping = MakeObject<TpwTimeoutCounter>(Manager(), 1000, u"");
    clock.Advance(900);
    EXPECT_FALSE(Expired(wrapping.Get()));
    clock.Advance(101);
    EXPECT_TRUE(Expired(wrapping.Get()));
  }
  {
    auto endless = MakeObject<TpwTimeoutCounter>(Manager(), TpwTimeoutCounter::kNoTimeLimit, u"");
    clock.Advance(0x7FFF'FFFF);
    EXPECT_FALSE(Expired(endless.Get()));
  }
}

TEST_F(ExtensionTest, CounterEndsWhenARunStartsOrStops) {
  auto idle = MakeObject<TpwTimeoutCounter>(Manager(), TpwTimeoutCounter::kNoTimeLimit, u"");
  EXPECT_FALSE(Expired(idle.Get()));
  host->RunState().SetState(kRunStateRunning);
  EXPECT_TRUE(Expired(idle.Get()));

  auto running = MakeObject<TpwTimeoutCounter>(Manager(), 5000, u"");
  EXPECT_FALSE(Expired(running.Get()));
  host->RunState().SetStopping(true);
  EXPECT_TRUE(Expired(running.Get()));
}

TEST_F(ExtensionTest, CounterWithoutLimitShowsItsTextAtOnceAndTakesItDown) {
  auto& indicator = host->Indicator();
  {
    auto counter = MakeObject<TpwTimeoutCounter>(Manager(), TpwTimeoutCounter::kNoTimeLimit, u"Waiting for it");
    EXPECT_FALSE(Expired(counter.Get()));
    EXPECT_EQ(indicator.Text(), u"Waiting for it");
    EXPECT_FALSE(Expired(counter.Get()));  // shown once
  }
  EXPECT_EQ(indicator.Text(), u"");
  EXPECT_EQ(indicator.Events(), (std::vector<WideString>{u"push Waiting for it", u"restore"}));
}

TEST_F(ExtensionTest, CounterShowsProgressOnlyAfterHalfASecond) {
  auto& indicator = host->Indicator();
  auto counter = MakeObject<TpwTimeoutCounter>(Manager(), 3000, u"Loading");
  clock.Advance(500);
  EXPECT_FALSE(Expired(counter.Get()));
  EXPECT_TRUE(indicator.Events().empty());  // short waits never flash the indicator
  clock.Advance(1);
  EXPECT_FALSE(Expired(counter.Get()));
  ASSERT_EQ(indicator.Bars().size(), 1u);
  auto bar = indicator.Bars()[0];
  EXPECT_EQ(bar.text, u"Loading");
  EXPECT_EQ(bar.max, 3000);
  EXPECT_EQ(indicator.UpdateLevel(), 0);
  clock.Advance(1000);
  EXPECT_FALSE(Expired(counter.Get()));
  EXPECT_EQ(indicator.Bars()[0].position, 1501);
  clock.Advance(2000);
  EXPECT_TRUE(Expired(counter.Get()));  // expired: the bar goes
  EXPECT_TRUE(indicator.Bars().empty());
  auto events = indicator.Events();
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0], u"begin");
  EXPECT_EQ(events[2], u"end");
  counter = nullptr;  // nothing more to take down
  EXPECT_EQ(indicator.Events().size(), 5u);
}

TEST_F(ExtensionTest, CounterTakesItsBarDownAtDestruction) {
  auto counter = MakeObject<TpwTimeoutCounter>(Manager(), 3000, u"Loading");
  clock.Advance(600);
  EXPECT_FALSE(Expired(counter.Get()));
  EXPECT_EQ(host->Indicator().Bars().size(), 1u);
  counter = nullptr;
  EXPECT_TRUE(host->Indicator().Bars().empty());
}

TEST_F(ExtensionTest, ChildrenAndReferences) {
  auto process = host->Sys().AddChild(u"Process", {OleVariant(u"app")});
  auto a = process->AddChild(u"Window", {OleVariant(u"A")});
  auto b = process->AddChild(u"Window", {OleVariant(u"B")});
  TpwSysNodeChildren children;
  GetSysNodeChildren(Node(process), true, children);
  ASSERT_EQ(children.size(), 2u);
  EXPECT_EQ(children[0].Get(), static_cast<IpwSysNode*>(Node(a)));
  EXPECT_EQ(children[1].Get(), static_cast<IpwSysNode*>(Node(b)));
  EXPECT_EQ(process->RefreshCount(), 1);
  GetSysNodeChildren(Node(a), true, children);  // no children: no refresh either
  EXPECT_TRUE(children.empty());
  EXPECT_EQ(a->RefreshCount(), 0);
  GetSysNodeChildren(nullptr, true, children);
  EXPECT_TRUE(children.empty());

  ComPtr<IUnknown> ref;
  ASSERT_EQ(a->Resolve(ref.Put()), S_OK);
  auto reference = QueryAs<IpwNodeReference>(ref.Get());
  EXPECT_EQ(GetReferencedNode(reference.Get()).Get(), static_cast<IpwSysNode*>(Node(a)));
  process->RemoveChild(a.Get());
  EXPECT_FALSE(GetReferencedNode(reference.Get()));
  EXPECT_FALSE(GetReferencedNode(nullptr));
}

// An agile object with late-bound calls of its own (IpwSysNodeInvoke), nothing behind them.
class TAgileInvoke final : public Implements<TcvFreeMarshaledObject, IpwSysNodeInvoke> {
 public:
  HRESULT GetNativeIDsOfNames(const GUID&, const char16_t* const*, std::uint32_t, std::uint32_t,
                              std::int32_t*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT InvokeNative(std::int32_t, const GUID&, std::uint32_t, std::uint16_t, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                       std::uint32_t*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
};

TEST_F(ExtensionTest, SafeUnwrapCallsTheNodesNativeObject) {
  auto node = host->Sys().AddChild(u"Process", {OleVariant(u"app")});
  // Without a default native object the node is its own IDispatch.
  EXPECT_FALSE(QueryAs<IpwSysNodeInvoke>(Node(node)));
  EXPECT_EQ(SafeUnwrapSysNode(Node(node)).Get(), QueryAs<IDispatch>(Node(node)).Get());
  EXPECT_FALSE(SafeUnwrapSysNode(nullptr));

  auto native = MakeObject<TTestSlice>();
  node->SetNativeObject(GUID_NULL, native->Identity());
  auto unwrapped = SafeUnwrapSysNode(Node(node));
  ASSERT_TRUE(unwrapped);
  EXPECT_NE(unwrapped.Get(), QueryAs<IDispatch>(Node(node)).Get());
  // Names and calls reach the native object with all their arguments.
  EXPECT_EQ(DispCallMethod(unwrapped.Get(), u"Ping", std::vector<OleVariant>{OleVariant(41)}, OleVariant()).AsInt(),
            42);
  EXPECT_FALSE(DispHasMember(unwrapped.Get(), u"Name"));  // the node's own member is not the native object's
  OleVariant failed;
  EXCEPINFO info{};
  DISPID fail = 0;
  const char16_t* names[] = {u"Fail"};
  ASSERT_EQ(unwrapped->GetIDsOfNames(GUID_NULL, names, 1, 0, &fail), S_OK);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(unwrapped->Invoke(fail, GUID_NULL, 0, DISPATCH_METHOD, &none, failed.Put(), &info, nullptr),
            DISP_E_EXCEPTION);
  EXPECT_EQ(WideString(info.bstrDescription ? info.bstrDescription : u""), u"The slice failed.");
  ClearExcepInfo(info);
  // No type information of its own.
  std::uint32_t count = 7;
  EXPECT_EQ(unwrapped->GetTypeInfoCount(&count), E_NOTIMPL);
  ComPtr<ITypeInfo> type;
  EXPECT_EQ(unwrapped->GetTypeInfo(0, 0, type.Put()), E_NOTIMPL);
  // Its own interfaces first, then the node's; the marshalling interfaces stay its own.
  EXPECT_EQ(QueryAs<IpwSysNodeEx>(unwrapped.Get()).Get(), static_cast<IpwSysNodeEx*>(node.Get()));
  EXPECT_EQ(QueryAs<IDispatch>(unwrapped.Get()).Get(), unwrapped.Get());
  auto agile = MakeObject<TAgileInvoke>();
  ASSERT_TRUE(QueryAs<IcvFreeMarshaled>(agile->Identity()));
  auto wrapper = SafeUnwrapSysNode(agile->Identity());
  ComPtr<IUnknown> marshal;
  EXPECT_EQ(wrapper->QueryInterface(IcvFreeMarshaled::iid, marshal.PutVoid()), E_NOINTERFACE);
  EXPECT_FALSE(marshal);
  EXPECT_TRUE(QueryAs<IpwSysNodeInvoke>(wrapper.Get()));
  // The native object is gone: the wrapper answers that the name is unknown.
  node->SetNativeObject(GUID_NULL, nullptr);
  EXPECT_FALSE(DispHasMember(unwrapped.Get(), u"Ping"));
  EXPECT_FALSE(QueryAs<IpwSysNodeInvoke>(Node(node)));
}

// A node's entry of the context table, holding a native web object.
class TContextItem final : public Implements<ComObject, IpwOpenAppContextItem> {
 public:
  explicit TContextItem(IUnknown* native) : native_(native) {}
  HRESULT GetNativeObject(IUnknown** object) override {
    return SafeCall([&] {
      if (fail_) throw EOleSysError(u"The page is gone.", E_ABORT);
      *object = native_.Get();
      if (*object) (*object)->AddRef();
    });
  }
  bool fail_ = false;

 private:
  ComPtr<IUnknown> native_;
};

// Call information whose first flag (typed) a test chooses.
class TCallInformation final : public Implements<ComObject, IpwObjectCallInformation> {
 public:
  TCallInformation(WideString name, bool typed) : name_(std::move(name)), typed_(typed) {}
  HRESULT GetFirstFlag(VARIANT_BOOL* flag) override { return *flag = typed_ ? VARIANT_TRUE : VARIANT_FALSE, S_OK; }
  HRESULT GetName(BSTR* name) override { return *name = SysAllocString(name_), S_OK; }
  HRESULT GetSecondFlag(VARIANT_BOOL* flag) override { return *flag = VARIANT_FALSE, S_OK; }
  HRESULT GetParamCount(std::int32_t* count) override { return *count = 0, S_OK; }
  HRESULT GetParamName(std::int32_t, BSTR* name) override { return *name = nullptr, S_OK; }

 private:
  WideString name_;
  bool typed_;
};

TEST_F(ExtensionTest, WebObjectTypeFromTheNativeWebObject) {
  auto page = host->Sys().AddChild(u"Page", {OleVariant(u"http://localhost/")});
  EXPECT_EQ(GetWebObjectType(Node(page)), u"");  // no entry in the context table
  EXPECT_EQ(GetWebObjectType(nullptr), u"");
  struct Case {
    ComPtr<IUnknown> native;
    const char16_t* type;
  } cases[] = {
      {MakeObject<TCallInformation>(u"Page", true)->Identity(), u"Page"},
      {MakeObject<TCallInformation>(u"Page", false)->Identity(), u""},  // not typed
      {MakeObject<TTestSlice>()->Identity(), u""},                      // no call information
      {nullptr, u""},
  };
  for (const auto& c : cases) {
    page->SetContextObject(kContextItemKey, MakeObject<TContextItem>(c.native.Get())->Identity());
    EXPECT_EQ(GetWebObjectType(Node(page)), c.type);
  }
  auto failing = MakeObject<TContextItem>(nullptr);
  failing->fail_ = true;
  page->SetContextObject(kContextItemKey, failing->Identity());
  EXPECT_THROW(GetWebObjectType(Node(page)), EOleSysError);
}

class TNamed final : public Implements<ComObject, IpwNamedObject> {
 public:
  HRESULT GetObjectName(BSTR* name) override {
    return SafeCall([&] { *name = SysAllocString(u"Aliases.app"); });
  }
};

class TMappingItem final : public Implements<ComObject, IpwNameMappingItem> {
 public:
  TMappingItem(WideString name, ComPtr<IpwNameMappingItem> parent) : name_(std::move(name)), parent_(parent) {}
  HRESULT GetItemName(BSTR* name) override {
    return SafeCall([&] { *name = SysAllocString(name_); });
  }
  HRESULT GetParentItem(IpwNameMappingItem** parent) override {
    return SafeCall([&] {
      *parent = parent_.Get();
      if (*parent) (*parent)->AddRef();
    });
  }

 private:
  WideString name_;
  ComPtr<IpwNameMappingItem> parent_;
};

TEST_F(ExtensionTest, FullNamesOfObjects) {
  auto window = host->Sys().AddChild(u"Process", {OleVariant(u"app")})->AddChild(u"Window", {OleVariant(u"Main")});
  WideString name = u"left over";
  GetObjectFullName(Manager(), Node(window), name);
  EXPECT_EQ(name, u"Sys.Process(\"app\").Window(\"Main\")");
  GetSysNodeFullName(Manager(), Node(window), name);
  EXPECT_EQ(name, u"Sys.Process(\"app\").Window(\"Main\")");

  GetObjectFullName(Manager(), MakeObject<TNamed>()->Identity(), name);
  EXPECT_EQ(name, u"Aliases.app");

  auto root = MakeObject<TMappingItem>(u"NameMapping", nullptr);
  auto middle = MakeObject<TMappingItem>(u"", ComPtr<IpwNameMappingItem>(root.Get()));
  auto leaf = MakeObject<TMappingItem>(u"Button", ComPtr<IpwNameMappingItem>(middle.Get()));
  GetObjectFullName(Manager(), leaf->Identity(), name);
  EXPECT_EQ(name, u"NameMapping..Button");  // an unnamed level keeps its place

  GetObjectFullName(Manager(), MakeObject<TTestSlice>()->Identity(), name);
  EXPECT_EQ(name, u"");
}

}  // namespace
}  // namespace pw
