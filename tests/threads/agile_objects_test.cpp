#include "core/com/agile_objects.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tests/threads/apartment_fixture.h"

namespace pw {
namespace {

using test::ReleaseOn;
using test::ScopedApartment;

// A late-bound object without type information: Invoke answers the id of the thread it runs on
// (or a given failure), and it records the interfaces it is asked for.
class TThreadTeller : public Implements<TcvInterfacedObject, IDispatch> {
 public:
  HRESULT QueryInterface(const IID& riid, void** ppv) override {
    {
      std::lock_guard g(lock_);
      asked_.push_back(riid);
    }
    return Implements::QueryInterface(riid, ppv);
  }
  void ForgetAsked() {
    std::lock_guard g(lock_);
    asked_.clear();
  }
  bool WasAskedFor(const IID& iid) {
    std::lock_guard g(lock_);
    for (auto& a : asked_)
      if (a == iid) return true;
    return false;
  }
  HRESULT GetTypeInfoCount(std::uint32_t* count) override {
    *count = 1;
    return S_OK;
  }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo** typeInfo) override {
    *typeInfo = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT GetIDsOfNames(const IID&, const char16_t* const*, std::uint32_t count, LCID, DISPID* ids) override {
    for (std::uint32_t i = 0; i < count; ++i) ids[i] = 7;
    return S_OK;
  }
  HRESULT Invoke(DISPID, const IID&, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 std::uint32_t*) override {
    if (answer != S_OK) return answer;
    if (params && params->cArgs == 1 && params->rgvarg[0].vt == VT_DISPATCH) {
      // Calls the object it was given and answers what that one answers.
      return params->rgvarg[0].pdispVal->Invoke(0, GUID_NULL, 0, DISPATCH_METHOD, nullptr, result, nullptr, nullptr);
    }
    if (result) {
      VariantClear(result);
      result->vt = VT_I4;
      result->lVal = static_cast<std::int32_t>(GetCurrentThreadId());
    }
    return S_OK;
  }
  std::atomic<HRESULT> answer{S_OK};

 private:
  std::mutex lock_;
  std::vector<IID> asked_;
};

// The thread id that a call through `dispatch` runs on; 0 when the call fails.
DWORD CallThread(IDispatch* dispatch, HRESULT* hr = nullptr) {
  OleVariant result;
  HRESULT r = dispatch->Invoke(0, GUID_NULL, 0, DISPATCH_METHOD, nullptr, result.Put(), nullptr, nullptr);
  if (hr) *hr = r;
  return Succeeded(r) && result.Type() == VT_I4 ? static_cast<DWORD>(result.Get().lVal) : 0;
}

class GlobalObjects : public ::testing::Test {
 protected:
  void SetUp() override { StartGlobalTable(); }
  void TearDown() override { StopGlobalTable(); }
};

TEST_F(GlobalObjects, MakeGlobalOfNilAndOfAWrapper) {
  ScopedApartment sta(COINIT_APARTMENTTHREADED);
  ComPtr<IUnknown> none;
  MakeGlobal(nullptr, none);
  EXPECT_FALSE(none);
  auto object = MakeObject<TThreadTeller>();
  ComPtr<IUnknown> wrapper, again;
  MakeGlobal(object->Identity(), wrapper);
  ASSERT_TRUE(wrapper);
  EXPECT_NE(wrapper.Get(), object->Identity());
  MakeGlobal(wrapper.Get(), again);
  EXPECT_EQ(again.Get(), wrapper.Get()) << "a wrapper is global already";
}

TEST_F(GlobalObjects, TableWrapperCallsReachTheObjectOnItsOwnThread) {
  ScopedApartment mta(COINIT_MULTITHREADED);
  StaThread sta;
  ComPtr<TThreadTeller> object;
  ComPtr<IUnknown> wrapper;
  ASSERT_EQ(sta.Run([&] {
    object = MakeObject<TThreadTeller>();
    MakeGlobal(object->Identity(), wrapper);
    return S_OK;
  }),
            S_OK);
  ASSERT_TRUE(wrapper);
  EXPECT_TRUE(QueryAs<IcvGlobalUnknown>(wrapper.Get())) << "a table wrapper";
  EXPECT_TRUE(IsFreeThreaded(wrapper.Get())) << "the wrapper itself is agile";
  auto dispatch = QueryAs<IDispatch>(wrapper.Get());
  ASSERT_TRUE(dispatch);
  EXPECT_EQ(CallThread(dispatch.Get()), sta.ThreadId()) << "through the proxy the table hands out here";
  std::uint32_t count = 0;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);

  // In the object's own apartment the call is direct.
  EXPECT_EQ(sta.Run([&] { return CallThread(dispatch.Get()) == sta.ThreadId() ? S_OK : E_FAIL; }), S_OK);

  // The wrapped object's IUnknown and IDispatch for this apartment.
  ComPtr<IUnknown> unwrapped;
  ASSERT_EQ(QueryAs<IcvGlobalUnknown>(wrapper.Get())->GetWrappedUnknown(unwrapped.Put()), S_OK);
  EXPECT_TRUE(IsComProxy(unwrapped.Get()));
  ComPtr<IDispatch> viaHelper;
  GlobalToDispatch(wrapper.Get(), viaHelper);
  ASSERT_TRUE(viaHelper);
  EXPECT_TRUE(IsComProxy(viaHelper.Get()));

  // Marshaling interfaces stay with the wrapper (the apartment layer itself asks the object for
  // some of them while it marshals it, so only what the wrapper asks counts).
  object->ForgetAsked();
  EXPECT_TRUE(QueryAs<IExternalConnection>(wrapper.Get()));
  EXPECT_TRUE(QueryAs<IMarshal>(wrapper.Get()));
  EXPECT_FALSE(object->WasAskedFor(IExternalConnection::iid));
  EXPECT_FALSE(object->WasAskedFor(IMarshal::iid));
  ComPtr<IcvFreeMarshaled> marker;
  EXPECT_EQ(QueryAs<IcvGlobalObject>(wrapper.Get())->QueryWrapped(IcvFreeMarshaled::iid, marker.PutVoid()),
            E_NOINTERFACE);

  dispatch = nullptr;
  viaHelper = nullptr;
  unwrapped = nullptr;
  wrapper = nullptr;
  ReleaseOn(sta, object);
}

TEST_F(GlobalObjects, AProxyIsWrappedAndCallableFromAThirdApartment) {
  ScopedApartment mta(COINIT_MULTITHREADED);
  StaThread owner, other;
  ComPtr<IUnknown> first;
  ASSERT_EQ(owner.Run([&] {
    MakeGlobal(MakeObject<TThreadTeller>()->Identity(), first);
    return S_OK;
  }),
            S_OK);
  // Here (MTA) the wrapped object is a proxy; wrapping it again gives a table wrapper.
  ComPtr<IUnknown> proxy;
  QueryAs<IcvGlobalUnknown>(first.Get())->GetWrappedUnknown(proxy.Put());
  ASSERT_TRUE(IsComProxy(proxy.Get()));
  ComPtr<IUnknown> second;
  MakeGlobal(proxy.Get(), second);
  ASSERT_TRUE(QueryAs<IcvGlobalUnknown>(second.Get()));
  EXPECT_NE(second.Get(), first.Get());
  EXPECT_EQ(other.Run([&] {
    auto d = QueryAs<IDispatch>(second.Get());
    return d && CallThread(d.Get()) == owner.ThreadId() ? S_OK : E_FAIL;
  }),
            S_OK);
}

TEST_F(GlobalObjects, TimeOutsOfTheWrappedObjectBecomeAnException) {
  ScopedApartment sta(COINIT_APARTMENTTHREADED);
  auto object = MakeObject<TThreadTeller>();
  ComPtr<IUnknown> table, direct;
  MakeGlobal(object->Identity(), table);
  direct = ComPtr<IUnknown>(MakeObject<TcvFakeObject>(object->Identity())->Identity());
  for (IUnknown* wrapper : {table.Get(), direct.Get()}) {
    auto dispatch = QueryAs<IDispatch>(wrapper);
    ASSERT_TRUE(dispatch);
    for (HRESULT refused : {RPC_E_TIMEOUT, RPC_E_RETRY}) {
      object->answer = refused;
      EXCEPINFO info{};
      info.scode = 12345;
      EXPECT_EQ(dispatch->Invoke(1, GUID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, &info, nullptr),
                DISP_E_EXCEPTION);
      EXPECT_EQ(BstrView(info.bstrDescription), kInvokeTimeoutMessage);
      EXPECT_EQ(BstrView(info.bstrSource), u"");
      EXPECT_EQ(info.scode, E_FAIL);
      ClearExcepInfo(info);
      EXPECT_EQ(dispatch->Invoke(1, GUID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), E_FAIL)
          << "without an exception record";
    }
    object->answer = DISP_E_MEMBERNOTFOUND;
    EXPECT_EQ(dispatch->Invoke(1, GUID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND)
        << "other answers pass unchanged";
    object->answer = S_OK;
  }
}

TEST_F(GlobalObjects, DisconnectedObjectsAnswerDisconnected) {
  ScopedApartment mta(COINIT_MULTITHREADED);
  ComPtr<IUnknown> wrapper;
  {
    StaThread sta;
    ComPtr<TThreadTeller> object;
    sta.Run([&] {
      object = MakeObject<TThreadTeller>();
      MakeGlobal(object->Identity(), wrapper);
      return S_OK;
    });
    EXPECT_EQ(sta.Run([&] { return CoDisconnectObject(object->Identity(), 0); }), S_OK);
    ReleaseOn(sta, object);
  }
  auto dispatch = QueryAs<IDispatch>(wrapper.Get());
  ASSERT_TRUE(dispatch);
  HRESULT hr = S_OK;
  CallThread(dispatch.Get(), &hr);
  EXPECT_EQ(hr, RPC_E_DISCONNECTED);
  std::uint32_t count = 99;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  DISPID id = 0;
  const char16_t* name = u"Name";
  EXPECT_EQ(dispatch->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id), RPC_E_DISCONNECTED);
  EXPECT_FALSE(QueryAs<test::ICalls>(wrapper.Get()));
}

// An agile object of the module.
class TAgile : public TcvFreeMarshaledObject {};

class TAgileAuto : public TcvFreeMarshaledAutoIntfObject {
 public:
  explicit TAgileAuto(bool agile) : TcvFreeMarshaledAutoIntfObject({}), agile_(agile) {}
  bool UseFreeThreadedMarshaler() override { return agile_; }

 private:
  bool agile_;
};

TEST_F(GlobalObjects, FreeMarshaledObjectsAreUsedDirectly) {
  ScopedApartment mta(COINIT_MULTITHREADED);
  StaThread sta;
  ComPtr<TAgile> agile;
  ComPtr<IUnknown> wrapper;
  DWORD cookie = 0;
  ASSERT_EQ(sta.Run([&] {
    agile = MakeObject<TAgile>();
    MakeGlobal(agile->Identity(), wrapper);
    return GlobalTable()->Register(agile->Identity(), &cookie) ? S_OK : E_FAIL;
  }),
            S_OK);
  EXPECT_TRUE(IsFreeThreaded(agile->Identity()));
  EXPECT_TRUE(QueryAs<IcvFreeMarshaled>(agile.Get()));
  EXPECT_FALSE(QueryAs<IcvGlobalUnknown>(wrapper.Get())) << "a direct wrapper, not a table one";
  ComPtr<IUnknown> fetched;
  ASSERT_TRUE(GlobalTable()->GetInterface(cookie, IUnknown::iid, fetched.PutVoid()));
  EXPECT_EQ(fetched.Get(), agile->Identity()) << "the table hands out the object itself";
  GlobalTable()->Revoke(cookie);

  EXPECT_TRUE(IsFreeThreaded(MakeObject<TAgileAuto>(true)->Identity()));
  EXPECT_FALSE(IsFreeThreaded(MakeObject<TAgileAuto>(false)->Identity()));
}

TEST_F(GlobalObjects, WithoutAnApartmentTheTableRefusesAndADirectWrapperServes) {
  auto object = MakeObject<TThreadTeller>();
  ComPtr<IUnknown> wrapper;
  MakeGlobal(object->Identity(), wrapper);
  ASSERT_TRUE(wrapper);
  EXPECT_FALSE(QueryAs<IcvGlobalUnknown>(wrapper.Get()));
  EXPECT_TRUE(QueryAs<IcvGlobalObject>(wrapper.Get()));
  auto dispatch = QueryAs<IDispatch>(wrapper.Get());
  EXPECT_EQ(CallThread(dispatch.Get()), GetCurrentThreadId());
  EXPECT_THROW(MakeObject<TcvGlobalObject>(object->Identity()), EOleGITError);

  // A direct wrapper of an object without IDispatch.
  auto plain = MakeObject<test::TCalls>();
  auto fake = MakeObject<TcvFakeObject>(plain->Identity());
  std::uint32_t count = 0;
  EXPECT_EQ(fake->GetTypeInfoCount(&count), E_NOTIMPL);
  EXPECT_EQ(fake->Invoke(0, GUID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), RPC_E_DISCONNECTED);
  EXPECT_TRUE(QueryAs<test::ICalls>(fake.Get())) << "other interfaces come from the wrapped object";
}

TEST_F(GlobalObjects, ObjectArgumentsAndResultsCrossApartmentsMarshaled) {
  // The STA object is handed an MTA object and calls it: the call reaches the MTA object on a
  // thread of the MTA, not on the STA thread.
  ScopedApartment mta(COINIT_MULTITHREADED);
  StaThread sta;
  ComPtr<IUnknown> wrapper;
  sta.Run([&] {
    MakeGlobal(MakeObject<TThreadTeller>()->Identity(), wrapper);
    return S_OK;
  });
  auto local = MakeObject<TThreadTeller>();
  OleVariant arg(static_cast<IDispatch*>(local.Get()));
  DISPPARAMS params{arg.Ptr(), nullptr, 1, 0};
  OleVariant result;
  auto dispatch = QueryAs<IDispatch>(wrapper.Get());
  ASSERT_EQ(dispatch->Invoke(0, GUID_NULL, 0, DISPATCH_METHOD, &params, result.Put(), nullptr, nullptr), S_OK);
  ASSERT_EQ(result.Type(), VT_I4);
  EXPECT_NE(static_cast<DWORD>(result.Get().lVal), sta.ThreadId());
}

}  // namespace
}  // namespace pw
