// Invoke by DISPID on a one-interface object (200 members) and on a two-interface object
// (100 + 100 members, the DISPID owned by the second) against a direct virtual call of the
// same property. Goal: dispatch costs at most ten direct calls.
//
// A slice's member by DISPID through the node's IDispatch (goal: at most 2x) and through a
// proxy standing in for the node (goal: at most 3x), against Invoke on the slice itself.
#include <benchmark/benchmark.h>

#include "core/automation/automation.h"
#include "host/test_host.h"
#include "openapps/extensions/node_proxy.h"
#include "openapps/extensions/node_slice.h"
#include "interfaces/pwAutomationTest.h"
#include "platform/automation/dispatch_thunks.h"
#include "platform/rtl/exceptions.h"

namespace {

using namespace pw;

#define PW_P(n) \
  HRESULT get_P##n(std::int32_t* r) override { *r = 1##n - 1000; return S_OK; }
#define PW_P10(t) PW_P(t##0) PW_P(t##1) PW_P(t##2) PW_P(t##3) PW_P(t##4) PW_P(t##5) PW_P(t##6) PW_P(t##7) PW_P(t##8) PW_P(t##9)

class TWide : public AutoImplements<TCVAAutoIntfObject, IpwBenchWide> {
 public:
  TWide() : AutoImplements({IpwBenchWide::iid}) {}
  PW_P(001) PW_P(002) PW_P(003) PW_P(004) PW_P(005) PW_P(006) PW_P(007) PW_P(008) PW_P(009)
  PW_P10(01) PW_P10(02) PW_P10(03) PW_P10(04) PW_P10(05) PW_P10(06) PW_P10(07) PW_P10(08) PW_P10(09)
  PW_P10(10) PW_P10(11) PW_P10(12) PW_P10(13) PW_P10(14) PW_P10(15) PW_P10(16) PW_P10(17) PW_P10(18) PW_P10(19)
  PW_P(200)
};

class TTwo : public AutoImplements<TCVAAutoIntfObject, IpwBenchFirst, IpwBenchSecond> {
 public:
  TTwo() : AutoImplements({IpwBenchFirst::iid, IpwBenchSecond::iid}) {}
  PW_P(001) PW_P(002) PW_P(003) PW_P(004) PW_P(005) PW_P(006) PW_P(007) PW_P(008) PW_P(009)
  PW_P10(01) PW_P10(02) PW_P10(03) PW_P10(04) PW_P10(05) PW_P10(06) PW_P10(07) PW_P10(08) PW_P10(09)
  PW_P10(10) PW_P10(11) PW_P10(12) PW_P10(13) PW_P10(14) PW_P10(15) PW_P10(16) PW_P10(17) PW_P10(18) PW_P10(19)
  PW_P(200)
};

struct Setup {
  Setup() {
    RegisterInterfaceThunks(pwAutomationTestInterfaceThunks());
    StartAutomation();
    ComPtr<ITypeLib> lib;
    OleCheck(LoadTypeLib(WideString(std::string_view(PW_TEST_TYPELIB).begin(), std::string_view(PW_TEST_TYPELIB).end()),
                         lib.Put()));
    TypeLibraries()->Add(lib.Get());
  }
};
const Setup& TheSetup() {
  static Setup s;
  return s;
}

void BM_DirectVirtualCall(benchmark::State& state) {
  TheSetup();
  auto obj = MakeObject<TWide>();
  IpwBenchWide* itf = obj.Get();
  benchmark::DoNotOptimize(itf);
  std::int32_t v = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(itf);
    itf->get_P150(&v);
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_DirectVirtualCall);

void InvokeLoop(benchmark::State& state, IDispatch* d, DISPID id) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT r;
  VariantInit(&r);
  if (d->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr) != S_OK || r.lVal != id) {
    state.SkipWithError("the call failed");
    return;
  }
  for (auto _ : state) {
    d->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr);
    benchmark::DoNotOptimize(r.lVal);
  }
}

void BM_InvokeOneInterface(benchmark::State& state) {
  TheSetup();
  auto obj = MakeObject<TWide>();
  InvokeLoop(state, obj->Dispatch(), 150);
}
BENCHMARK(BM_InvokeOneInterface);

void BM_InvokeTwoInterfaces(benchmark::State& state) {
  TheSetup();
  auto obj = MakeObject<TTwo>();
  InvokeLoop(state, obj->Dispatch(), 150);  // owned by the second interface
}
BENCHMARK(BM_InvokeTwoInterfaces);

class TBenchSlice final : public AutoImplements<TpwNodeSlice, IpwTestSlice> {
 public:
  TBenchSlice() : AutoImplements(std::vector<IID>{IpwTestSlice::iid}) {}
  HRESULT Ping(std::int32_t value, std::int32_t* result) override {
    *result = value + 1;
    return S_OK;
  }
  HRESULT get_NodeName(BSTR* result) override { return E_NOTIMPL; }
  HRESULT Fail() override { return E_FAIL; }
};

class TBenchProxy final : public TpwSysNodeProxy {
 public:
  explicit TBenchProxy(IpwSysNode* target) : target_(target) {}
  ComPtr<IpwSysNode> GetTargetNode() override { return target_; }

 private:
  ComPtr<IpwSysNode> target_;
};

// A test host with one node that carries a slice.
struct SliceSetup {
  SliceSetup() {
    node = host.Sys().AddChild(u"Window");
    slice = MakeObject<TBenchSlice>();
    OleCheck(node->AddExtension(IpwTestSlice::iid, slice->Dispatch(), GUID_NULL, 0));
    proxy = MakeObject<TBenchProxy>(static_cast<IpwSysNodeEx*>(node.Get()));
  }
  const Setup& setup = TheSetup();  // before the host, which then finds the automation started
  host::TestHost host;
  ComPtr<host::TSysNode> node;
  ComPtr<TBenchSlice> slice;
  ComPtr<TBenchProxy> proxy;
};

void PingLoop(benchmark::State& state, IDispatch* d) {
  DISPID id = 0;
  const char16_t* names[] = {u"Ping"};
  if (d->GetIDsOfNames(GUID_NULL, names, 1, 0, &id) != S_OK) {
    state.SkipWithError("no Ping");
    return;
  }
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_I4;
  arg.lVal = 41;
  DISPPARAMS one{&arg, nullptr, 1, 0};
  VARIANT r;
  VariantInit(&r);
  if (d->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &one, &r, nullptr, nullptr) != S_OK || r.lVal != 42) {
    state.SkipWithError("the call failed");
    return;
  }
  for (auto _ : state) {
    d->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &one, &r, nullptr, nullptr);
    benchmark::DoNotOptimize(r.lVal);
  }
}

void BM_SliceInvoke(benchmark::State& state) {
  SliceSetup s;
  PingLoop(state, s.slice->Dispatch());
}
BENCHMARK(BM_SliceInvoke);

void BM_SliceInvokeThroughNode(benchmark::State& state) {
  SliceSetup s;
  PingLoop(state, s.node->Dispatch());
}
BENCHMARK(BM_SliceInvokeThroughNode);

void BM_SliceInvokeThroughProxy(benchmark::State& state) {
  SliceSetup s;
  PingLoop(state, s.proxy->Dispatch());
}
BENCHMARK(BM_SliceInvokeThroughProxy);

}  // namespace

BENCHMARK_MAIN();
