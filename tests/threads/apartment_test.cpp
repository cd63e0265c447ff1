#include "platform/com/apartment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/com/errorinfo.h"
#include "platform/rtl/exceptions.h"
#include "platform/com/marshal.h"
#include "tests/threads/apartment_fixture.h"

namespace pw {
namespace {

using test::ICalls;
using test::ReleaseOn;
using test::ScopedApartment;
using test::TAgileCalls;
using test::TBlockingCallBack;
using test::TCalls;

class Apartments : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterCallsProxy();
    ASSERT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IGlobalInterfaceTable::iid,
                               git_.PutVoid()),
              S_OK);
  }

  // Makes an object on the STA thread and puts it into the global interface table.
  DWORD RegisterOn(StaThread& sta, ComPtr<TCalls>* made = nullptr, std::atomic<int>* destroyedOn = nullptr) {
    DWORD cookie = 0;
    EXPECT_EQ(sta.Run([&] {
      auto obj = MakeObject<TCalls>(destroyedOn);
      if (made) *made = obj;
      return git_->RegisterInterfaceInGlobal(obj->Identity(), ICalls::iid, &cookie);
    }),
              S_OK);
    return cookie;
  }

  ComPtr<ICalls> Fetch(DWORD cookie) {
    ComPtr<ICalls> calls;
    EXPECT_EQ(git_->GetInterfaceFromGlobal(cookie, ICalls::iid, calls.PutVoid()), S_OK);
    return calls;
  }

  ComPtr<IGlobalInterfaceTable> git_;
};

TEST_F(Apartments, MembershipFollowsTheFirstJoin) {
  AptType type{};
  EXPECT_EQ(CoGetApartmentType(&type), CO_E_NOTINITIALIZED);
  EXPECT_EQ(type, AptType::None);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  EXPECT_EQ(CoGetApartmentType(&type), S_OK);
  EXPECT_EQ(type, AptType::STA);
  CoUninitialize();
  EXPECT_EQ(CoGetApartmentType(&type), S_OK) << "one CoUninitialize per successful join";
  CoUninitialize();
  EXPECT_EQ(CoGetApartmentType(&type), CO_E_NOTINITIALIZED);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  EXPECT_EQ(CoGetApartmentType(&type), S_OK);
  EXPECT_EQ(type, AptType::MTA);
  CoUninitialize();
}

TEST_F(Apartments, CallsIntoAnStaRunOnItsThreadThroughAProxy) {
  ScopedApartment mta(COINIT_MULTITHREADED);
  StaThread sta;
  DWORD cookie = RegisterOn(sta);
  ComPtr<ICalls> calls = Fetch(cookie);
  ASSERT_TRUE(calls);
  EXPECT_TRUE(IsComProxy(calls.Get()));
  DWORD id = 0;
  EXPECT_EQ(calls->ThreadId(&id), S_OK);
  EXPECT_EQ(id, sta.ThreadId());
  EXPECT_EQ(calls->Answer(E_ACCESSDENIED), E_ACCESSDENIED) << "the callee's result comes back unchanged";

  // Several callers at once are served one after the other on the one thread.
  std::vector<std::thread> callers;
  std::atomic<int> wrong{0};
  for (int i = 0; i < 4; ++i)
    callers.emplace_back([&] {
      ScopedApartment own(COINIT_MULTITHREADED);
      ComPtr<ICalls> mine = Fetch(cookie);
      for (int k = 0; k < 20; ++k) {
        DWORD t = 0;
        if (!mine || mine->ThreadId(&t) != S_OK || t != sta.ThreadId()) wrong.fetch_add(1);
      }
    });
  for (auto& t : callers) t.join();
  EXPECT_EQ(wrong.load(), 0);

  // In its own apartment the table hands out the object itself.
  EXPECT_EQ(sta.Run([&] {
    ComPtr<ICalls> direct = Fetch(cookie);
    return IsComProxy(direct.Get()) ? E_FAIL : S_OK;
  }),
            S_OK);
  EXPECT_EQ(git_->RevokeInterfaceFromGlobal(cookie), S_OK);
  EXPECT_EQ(git_->RevokeInterfaceFromGlobal(cookie), E_INVALIDARG);
}

TEST_F(Apartments, AnStaWaitingForItsCallServesNestedCallsBack) {
  // The STA calls an MTA object and hands it an object of its own; the MTA object calls that
  // one back, which can only work while the STA waits and serves.
  ScopedApartment mta(COINIT_MULTITHREADED);
  auto mtaObject = MakeObject<TCalls>();
  DWORD mtaCookie = 0;
  ASSERT_EQ(git_->RegisterInterfaceInGlobal(mtaObject->Identity(), ICalls::iid, &mtaCookie), S_OK);
  StaThread sta;
  DWORD answered = 0;
  EXPECT_EQ(sta.Run([&] {
    ComPtr<ICalls> remote = Fetch(mtaCookie);
    auto local = MakeObject<TCalls>();
    return remote->CallBack(local.Get(), &answered);
  }),
            S_OK);
  EXPECT_EQ(answered, sta.ThreadId());
  git_->RevokeInterfaceFromGlobal(mtaCookie);
}

TEST_F(Apartments, DisconnectedObjectsAndClosedApartmentsAnswerDisconnected) {
  ScopedApartment mta(COINIT_MULTITHREADED);
  std::atomic<int> destroyedOn{0};
  DWORD staThread = 0;
  ComPtr<ICalls> calls;
  {
    StaThread sta;
    staThread = sta.ThreadId();
    ComPtr<TCalls> made;
    DWORD cookie = RegisterOn(sta, &made);
    ComPtr<ICalls> first = Fetch(cookie);
    EXPECT_EQ(sta.Run([&] { return CoDisconnectObject(made->Identity(), 0); }), S_OK);
    DWORD id = 0;
    EXPECT_EQ(first->ThreadId(&id), RPC_E_DISCONNECTED);
    EXPECT_EQ(git_->GetInterfaceFromGlobal(cookie, ICalls::iid, first.PutVoid()), RPC_E_DISCONNECTED);
    git_->RevokeInterfaceFromGlobal(cookie);
    EXPECT_EQ(ReleaseOn(sta, made), S_OK);

    // A second object, held only through proxies, is released on its own thread.
    cookie = RegisterOn(sta, nullptr, &destroyedOn);
    ComPtr<ICalls> second = Fetch(cookie);
    EXPECT_EQ(second->ThreadId(&id), S_OK);
    git_->RevokeInterfaceFromGlobal(cookie);
    second = nullptr;
    EXPECT_EQ(sta.Run([] { return S_OK; }), S_OK);  // the queued releases have run
    EXPECT_EQ(destroyedOn.load(), static_cast<int>(staThread));

    // A third one stays reachable until its apartment closes.
    cookie = RegisterOn(sta);
    calls = Fetch(cookie);
    EXPECT_EQ(calls->ThreadId(&id), S_OK);
    git_->RevokeInterfaceFromGlobal(cookie);
  }
  DWORD id = 0;
  EXPECT_EQ(calls->ThreadId(&id), RPC_E_DISCONNECTED);
}

// Sets the calling thread's error object to one with the description.
void SetErrorDescription(const char16_t* text) {
  ComPtr<ICreateErrorInfo> create;
  ASSERT_EQ(CreateErrorInfo(create.Put()), S_OK);
  create->SetDescription(text);
  ASSERT_EQ(SetErrorInfo(0, create.As<IErrorInfo>().Get()), S_OK);
}

// Takes the calling thread's error object: its description, or "none".
WideString TakeErrorDescription() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Put()) != S_OK || !info) return u"none";
  BString text;
  info->GetDescription(text.Put());
  return text.Str();
}

TEST_F(Apartments, AFailureBringsTheCalleesErrorInformationBack) {
  ScopedApartment mta(COINIT_MULTITHREADED);
  StaThread sta;
  // Its Answer fails through the safe-call boundary, which leaves an error object behind.
  class TFailing : public TCalls {
   public:
    HRESULT Answer(HRESULT result) override {
      return SafeCall([&] { throw EOleSysError(u"the callee failed", result); });
    }
  };
  ComPtr<TCalls> plainObject;
  DWORD failingCookie = 0;
  ASSERT_EQ(sta.Run([&] {
    return git_->RegisterInterfaceInGlobal(MakeObject<TFailing>()->Identity(), ICalls::iid, &failingCookie);
  }),
            S_OK);
  const DWORD plainCookie = RegisterOn(sta, &plainObject);
  ComPtr<ICalls> failing = Fetch(failingCookie), plain = Fetch(plainCookie);

  SetErrorDescription(u"older");
  EXPECT_EQ(failing->Answer(E_ACCESSDENIED), E_ACCESSDENIED);
  EXPECT_EQ(TakeErrorDescription(), u"the callee failed");

  // A failure without an error object does not pass for the thread's older one.
  SetErrorDescription(u"older");
  EXPECT_EQ(plain->Answer(E_ACCESSDENIED), E_ACCESSDENIED);
  EXPECT_EQ(TakeErrorDescription(), u"none");

  // A call that succeeds leaves the caller's error object alone.
  SetErrorDescription(u"pending");
  DWORD id = 0;
  EXPECT_EQ(plain->ThreadId(&id), S_OK);
  EXPECT_EQ(TakeErrorDescription(), u"pending");

  // The served calls do not leave their error objects on the serving thread: the next call
  // there that fails without one finds none.
  EXPECT_EQ(sta.Run([&] { return TakeErrorDescription() == u"none" ? E_ABORT : E_FAIL; }), E_ABORT);
  EXPECT_EQ(TakeErrorDescription(), u"none");

  // Nor does a call that never reaches a disconnected object.
  ASSERT_EQ(sta.Run([&] { return CoDisconnectObject(plainObject->Identity(), 0); }), S_OK);
  SetErrorDescription(u"older");
  EXPECT_EQ(plain->ThreadId(&id), RPC_E_DISCONNECTED);
  EXPECT_EQ(TakeErrorDescription(), u"none");

  failing = nullptr;
  plain = nullptr;
  git_->RevokeInterfaceFromGlobal(failingCookie);
  git_->RevokeInterfaceFromGlobal(plainCookie);
  EXPECT_EQ(ReleaseOn(sta, plainObject), S_OK);
}

TEST_F(Apartments, FreeThreadedObjectsAreHandedOutDirectly) {
  ScopedApartment mta(COINIT_MULTITHREADED);
  StaThread sta;
  ComPtr<TAgileCalls> agile;
  DWORD cookie = 0;
  ASSERT_EQ(sta.Run([&] {
    agile = MakeObject<TAgileCalls>();
    return git_->RegisterInterfaceInGlobal(agile->Identity(), ICalls::iid, &cookie);
  }),
            S_OK);
  EXPECT_TRUE(IsFreeThreaded(agile->Identity()));
  ComPtr<ICalls> calls = Fetch(cookie);
  EXPECT_FALSE(IsComProxy(calls.Get()));
  EXPECT_EQ(calls.Get(), static_cast<ICalls*>(agile.Get()));
  DWORD id = 0;
  EXPECT_EQ(calls->ThreadId(&id), S_OK);
  EXPECT_EQ(id, GetCurrentThreadId()) << "an agile object runs on the caller's thread";
  git_->RevokeInterfaceFromGlobal(cookie);
}

TEST_F(Apartments, InterfacesWithoutAProxyOrMissingOnTheObjectAreRefused) {
  ScopedApartment mta(COINIT_MULTITHREADED);
  StaThread sta;
  DWORD cookie = RegisterOn(sta);
  ComPtr<IUnknown> unk;
  ASSERT_EQ(git_->GetInterfaceFromGlobal(cookie, IUnknown::iid, unk.PutVoid()), S_OK);
  ComPtr<IExternalConnection> ext;
  EXPECT_EQ(unk->QueryInterface(IExternalConnection::iid, ext.PutVoid()), E_NOINTERFACE);
  ComPtr<IMessageFilter> filter;
  EXPECT_EQ(unk->QueryInterface(IMessageFilter::iid, filter.PutVoid()), E_NOINTERFACE);
  ComPtr<ICalls> calls;
  EXPECT_EQ(unk->QueryInterface(ICalls::iid, calls.PutVoid()), S_OK);
  EXPECT_EQ(IdentityOf(calls.Get()), IdentityOf(unk.Get())) << "one identity per proxy";
  git_->RevokeInterfaceFromGlobal(cookie);
}

TEST_F(Apartments, MarshalingNeedsAnApartment) {
  auto obj = MakeObject<TCalls>();
  DWORD cookie = 0;
  EXPECT_EQ(git_->RegisterInterfaceInGlobal(obj->Identity(), ICalls::iid, &cookie), CO_E_NOTINITIALIZED);
}

// A filter that records what it is asked and answers as told.
class TRecordingFilter : public Implements<ComObject, IMessageFilter> {
 public:
  DWORD HandleInComingCall(DWORD callType, HTASK, DWORD, INTERFACEINFO* info) override {
    types.push_back(callType);
    if (info) iids.push_back(info->iid);
    return refuse ? SERVERCALL_RETRYLATER : SERVERCALL_ISHANDLED;
  }
  DWORD RetryRejectedCall(HTASK, DWORD, DWORD rejectType) override {
    rejectTypes.push_back(rejectType);
    return retries-- > 0 ? 0 : 0xFFFFFFFF;
  }
  DWORD MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }

  std::vector<DWORD> types, rejectTypes;
  std::vector<IID> iids;
  bool refuse = false;
  int retries = 0;
};

TEST_F(Apartments, MessageFiltersSeeCallTypesAndRefuseCalls) {
  ScopedApartment mta(COINIT_MULTITHREADED);
  ComPtr<IMessageFilter> none;
  EXPECT_EQ(CoRegisterMessageFilter(nullptr, none.Put()), CO_E_NOT_SUPPORTED) << "only an STA has a filter";

  StaThread sta;
  auto filter = MakeObject<TRecordingFilter>();
  EXPECT_EQ(sta.Run([&] {
    ComPtr<IMessageFilter> previous;
    HRESULT hr = CoRegisterMessageFilter(filter.Get(), previous.Put());
    return previous ? E_FAIL : hr;
  }),
            S_OK);
  DWORD cookie = RegisterOn(sta);
  filter->types.clear();
  ComPtr<ICalls> calls = Fetch(cookie);
  DWORD id = 0;
  ASSERT_EQ(calls->ThreadId(&id), S_OK);
  ASSERT_FALSE(filter->types.empty());
  EXPECT_EQ(filter->types.back(), CALLTYPE_TOPLEVEL);
  EXPECT_EQ(filter->iids.back(), ICalls::iid);

  // A refused call fails for a caller without a filter of its own.
  filter->refuse = true;
  EXPECT_EQ(calls->ThreadId(&id), RPC_E_SERVERCALL_RETRYLATER);

  // A caller in an STA asks its own filter whether to retry.
  StaThread caller;
  auto callerFilter = MakeObject<TRecordingFilter>();
  callerFilter->retries = 2;
  ComPtr<ICalls> mine;
  filter->refuse = false;
  EXPECT_EQ(caller.Run([&] {
    mine = Fetch(cookie);
    return CoRegisterMessageFilter(callerFilter.Get(), nullptr);
  }),
            S_OK);
  filter->refuse = true;
  EXPECT_EQ(caller.Run([&] {
    DWORD t = 0;
    return mine->ThreadId(&t);
  }),
            RPC_E_CALL_REJECTED);
  EXPECT_EQ(caller.Run([&] {
    mine = nullptr;
    return CoRegisterMessageFilter(nullptr, nullptr);
  }),
            S_OK);
  EXPECT_EQ(callerFilter->rejectTypes, (std::vector<DWORD>{SERVERCALL_RETRYLATER, SERVERCALL_RETRYLATER,
                                                           SERVERCALL_RETRYLATER}));
  filter->refuse = false;
  EXPECT_EQ(sta.Run([] { return CoRegisterMessageFilter(nullptr, nullptr); }), S_OK);
  git_->RevokeInterfaceFromGlobal(cookie);
}

TEST_F(Apartments, NestedAndPendingTopLevelCallsAreToldApart) {
  // The STA with the filter calls out to an MTA object; while it waits, the MTA object calls
  // back (nested) and an unrelated thread calls in (top-level while a call is pending).
  ScopedApartment mta(COINIT_MULTITHREADED);
  StaThread sta;
  auto filter = MakeObject<TRecordingFilter>();
  DWORD staCookie = 0;
  ASSERT_EQ(sta.Run([&] {
    CoRegisterMessageFilter(filter.Get(), nullptr);
    auto obj = MakeObject<TCalls>();
    return git_->RegisterInterfaceInGlobal(obj->Identity(), ICalls::iid, &staCookie);
  }),
            S_OK);

  auto slow = MakeObject<TBlockingCallBack>();
  DWORD slowCookie = 0;
  ASSERT_EQ(git_->RegisterInterfaceInGlobal(slow->Identity(), ICalls::iid, &slowCookie), S_OK);

  ComPtr<ICalls> calls = Fetch(staCookie);
  filter->types.clear();
  std::thread outgoing([&] {
    DWORD id = 0;
    sta.Run([&] {
      ComPtr<ICalls> remote = Fetch(slowCookie);
      ComPtr<ICalls> self = Fetch(staCookie);
      return remote->CallBack(self.Get(), &id);
    });
  });
  WaitForSingleObject(slow->entered, INFINITE);
  DWORD id = 0;
  EXPECT_EQ(calls->ThreadId(&id), S_OK);
  slow->proceed.Set();
  outgoing.join();
  // The call of sta.Run itself; the MTA object's query for the interface handed to it (nested);
  // the unrelated call; the call back (nested).
  EXPECT_EQ(filter->types, (std::vector<DWORD>{CALLTYPE_TOPLEVEL, CALLTYPE_NESTED, CALLTYPE_TOPLEVEL_CALLPENDING,
                                               CALLTYPE_NESTED}));
  calls = nullptr;
  EXPECT_EQ(sta.Run([] { return CoRegisterMessageFilter(nullptr, nullptr); }), S_OK);
  git_->RevokeInterfaceFromGlobal(staCookie);
  git_->RevokeInterfaceFromGlobal(slowCookie);
}

TEST_F(Apartments, TheComAwareWaitServesCallsAndTimesOutOnTheClock) {
  ManualClock clock;
  ScopedClock use(clock);
  ScopedApartment sta(COINIT_APARTMENTTHREADED);
  auto obj = MakeObject<TCalls>();
  DWORD cookie = 0;
  ASSERT_EQ(git_->RegisterInterfaceInGlobal(obj->Identity(), ICalls::iid, &cookie), S_OK);
  Event never(true, false);
  std::atomic<DWORD> seen{0};
  std::atomic<bool> done{false};
  const auto reads = clock.ReadCount();
  std::thread caller([&] {
    ScopedApartment mta(COINIT_MULTITHREADED);
    ComPtr<ICalls> calls = Fetch(cookie);
    DWORD id = 0;
    calls->ThreadId(&id);
    seen = id;
    calls = nullptr;
    done = true;
  });
  std::atomic<bool> waited{false};
  std::thread ticker([&] {
    clock.WaitForReads(reads + 1);
    while (!done) std::this_thread::yield();
    // Other threads read the clock too, so the wait may take its deadline only now: move time
    // on until the wait has ended.
    while (!waited) {
      clock.Advance(1000);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  WaitableObject* handles[] = {&never};
  DWORD index = 99;
  EXPECT_EQ(CoWaitForMultipleHandles(0, 1000, 1, handles, &index), RPC_S_CALLPENDING);
  waited = true;
  caller.join();
  ticker.join();
  EXPECT_EQ(seen.load(), GetCurrentThreadId());
  never.Set();
  EXPECT_EQ(CoWaitForMultipleHandles(0, 0, 1, handles, &index), S_OK);
  EXPECT_EQ(index, 0u);
  git_->RevokeInterfaceFromGlobal(cookie);
  // Releases posted by the caller's proxy run here before the apartment closes.
  CoWaitForMultipleHandles(0, 0, 0, nullptr, &index);
}

}  // namespace
}  // namespace pw
