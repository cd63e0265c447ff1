#include "core/com/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/com/background_errors.h"
#include "platform/rtl/exceptions.h"
#include "platform/com/marshal.h"
#include "tests/threads/apartment_fixture.h"

namespace pw {
namespace {

using test::ICalls;
using test::ReleaseOn;
using test::ScopedApartment;
using test::TBlockingCallBack;
using test::TCalls;

// ---- waits and helpers ----------------------------------------------------------------------

TEST(ThreadHelpers, ApartmentKindAndInterfacePointers) {
  EXPECT_FALSE(IsThreadInSTA());
  {
    ScopedApartment sta(COINIT_APARTMENTTHREADED);
    EXPECT_TRUE(IsThreadInSTA());
  }
  {
    ScopedApartment mta(COINIT_MULTITHREADED);
    EXPECT_FALSE(IsThreadInSTA());
  }
  auto obj = MakeObject<TCalls>();
  EXPECT_TRUE(IsValidInterfacePointer(static_cast<ICalls*>(obj.Get())));
  EXPECT_FALSE(IsValidInterfacePointer(nullptr));
  const void* noTable[2] = {nullptr, nullptr};
  EXPECT_FALSE(IsValidInterfacePointer(noTable));
  const void* badTable[1] = {reinterpret_cast<const void*>(std::uintptr_t{16})};
  EXPECT_FALSE(IsValidInterfacePointer(badTable)) << "an unreadable method table";
  EXPECT_FALSE(IsValidInterfacePointer(reinterpret_cast<const void*>(std::uintptr_t{8})));
}

TEST(ThreadHelpers, WaitHandlesAnswersTheIndexOrTimeOut) {
  ManualClock clock;
  ScopedClock use(clock);
  Event a(true, false), b(true, true);
  WaitableObject* both[] = {&a, &b};
  EXPECT_EQ(WaitHandles(2, both, 0), 1u);
  b.Reset();
  EXPECT_EQ(WaitHandles(2, both, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitHandles(0, nullptr, INFINITE), WAIT_TIMEOUT) << "a failed wait reads as a time-out";
  a.Set();
  EXPECT_EQ(WaitHandle(a, INFINITE), 0u);
}

// ---- worker threads -------------------------------------------------------------------------

TEST(WaitableThread, WaitWhileRunningAfterTheEndAndFromTheWorker) {
  Event release(true, false);
  std::atomic<DWORD> workerSaw{0};
  std::atomic<bool> inMta{false};
  ComPtr<IcvWaitableObject> waitable;
  IcvWaitableObject** self = waitable.Put();
  int argument = 42;
  std::atomic<int> seenArgument{0};
  RunWaitableThread(&argument, waitable, [&](void* arg) {
    seenArgument = *static_cast<int*>(arg);
    AptType type{};
    inMta = Succeeded(CoGetApartmentType(&type)) && type == AptType::MTA;
    WaitForSingleObject(release, INFINITE);
    workerSaw = (*self)->Wait(0);
  });
  auto* object = static_cast<TcvThreadWaitableObject*>(waitable.Get());
  EXPECT_EQ(waitable->Wait(0), WAIT_TIMEOUT);
  EXPECT_FALSE(object->Finished());
  release.Set();
  EXPECT_EQ(waitable->Wait(INFINITE), 0u);
  EXPECT_TRUE(object->Finished());
  EXPECT_EQ(waitable->Wait(0), 0u);
  EXPECT_EQ(workerSaw.load(), 0xFFFFFFFFu) << "the worker waiting for itself does not block";
  EXPECT_EQ(seenArgument.load(), 42);
  EXPECT_TRUE(inMta.load());
}

TEST(WaitableThread, TimeOutsFollowTheClock) {
  ManualClock clock;
  ScopedClock use(clock);
  Event release(true, false);
  ComPtr<IcvWaitableObject> waitable;
  RunWaitableThread(nullptr, waitable, [&](void*) { WaitForSingleObject(release, INFINITE); });
  std::atomic<DWORD> result{12345};
  const auto reads = clock.ReadCount();
  std::thread waiter([&] { result = waitable->Wait(5000); });
  clock.WaitForReads(reads + 1);
  clock.Advance(5000);
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_TIMEOUT);
  release.Set();
  EXPECT_EQ(waitable->Wait(INFINITE), 0u);
}

TEST(WaitableThread, TheLastReferenceWaitsAndAFailingMethodIsReported) {
  TakeBackgroundErrors();
  std::atomic<bool> ended{false};
  {
    ComPtr<IcvWaitableObject> waitable;
    RunWaitableThread(nullptr, waitable, [&](void*) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      ended = true;
      throw Exception(u"worker failed");
    });
  }
  EXPECT_TRUE(ended.load()) << "dropping the waitable object waits for the method";
  auto errors = TakeBackgroundErrors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].where, u"worker");
  EXPECT_EQ(errors[0].message, u"worker failed");

  // Released on the worker itself, the last reference does not wait for its own end.
  Event done(true, false);
  ComPtr<IcvWaitableObject> held;
  Event started(true, false);
  RunWaitableThread(nullptr, held, [&](void*) {
    WaitForSingleObject(started, INFINITE);
    held = nullptr;
    done.Set();
  });
  started.Set();
  EXPECT_EQ(WaitForSingleObject(done, INFINITE), WAIT_OBJECT_0);
}

TEST(WaitableThread, AnStaDroppingTheLastReferenceServesTheWorkersCallsMeanwhile) {
  test::RegisterCallsProxy();
  ComPtr<IGlobalInterfaceTable> git;
  ASSERT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IGlobalInterfaceTable::iid,
                             git.PutVoid()),
            S_OK);
  StaThread sta;
  ComPtr<TCalls> object;
  DWORD cookie = 0;
  std::atomic<DWORD> calledOn{0};
  Event dropped(true, false);
  std::thread owner([&] {
    sta.Run([&] {
      object = MakeObject<TCalls>();
      git->RegisterInterfaceInGlobal(object->Identity(), ICalls::iid, &cookie);
      Event go(true, false);
      ComPtr<IcvWaitableObject> waitable;
      RunWaitableThread(nullptr, waitable, [&](void*) {
        WaitForSingleObject(go, INFINITE);
        ComPtr<ICalls> calls;
        git->GetInterfaceFromGlobal(cookie, ICalls::iid, calls.PutVoid());
        DWORD id = 0;
        if (calls && Succeeded(calls->ThreadId(&id))) calledOn = id;
      });
      go.Set();
      waitable = nullptr;  // waits for the worker, whose call needs this thread
      return S_OK;
    });
    dropped.Set();
  });
  test::ExpectEndsSoon(dropped, "Dropping the waitable object in the STA");
  owner.join();
  EXPECT_EQ(calledOn.load(), sta.ThreadId());
  git->RevokeInterfaceFromGlobal(cookie);
  ReleaseOn(sta, object);
}

TEST(WaitableThread, AnUnassignedMethodStillCompletes) {
  ComPtr<IcvWaitableObject> waitable;
  RunWaitableThread(nullptr, waitable, nullptr);
  EXPECT_EQ(waitable->Wait(INFINITE), 0u);
}

// ---- the timer ------------------------------------------------------------------------------

class Timer : public ::testing::Test {
 protected:
  void SetUp() override { TakeBackgroundErrors(); }
  // Moves the clock once the timer thread waits, and returns once it waits again (so whatever
  // the move set off has run, and the next wait has taken its deadline). Only the timer thread
  // reads the clock: of the reads after the move the first may still have seen the time before
  // it, the second sees the move (and ends the wait when the move reaches the deadline), the
  // third comes after the handler, from the next wait.
  void Tick(DWORD ms) {
    clock_.WaitForReads(1);  // the first wait has taken its deadline
    clock_.Advance(ms);
    clock_.WaitForReads(clock_.ReadCount() + 3);
  }
  // Moves the clock without waiting for the timer thread afterwards.
  void Move(DWORD ms) {
    clock_.WaitForReads(1);
    clock_.Advance(ms);
  }
  ManualClock clock_;
  ScopedClock use_{clock_};
};

TEST_F(Timer, TicksEveryIntervalOnItsOwnMtaThread) {
  TcvOutstandingTimer timer(100);
  EXPECT_EQ(timer.Interval(), 100u);
  std::atomic<int> count{0};
  std::atomic<DWORD> thread{0};
  std::atomic<bool> sender{false};
  std::atomic<bool> mta{false};
  Tick(100);  // no handler yet: nothing happens
  timer.SetOnTimer([&](TcvOutstandingTimer* s) {
    sender = s == &timer;
    thread = GetCurrentThreadId();
    AptType type{};
    mta = Succeeded(CoGetApartmentType(&type)) && type == AptType::MTA;
    count.fetch_add(1);
  });
  Tick(99);
  EXPECT_EQ(count.load(), 0);
  Tick(1);
  EXPECT_EQ(count.load(), 1);
  Tick(100);
  EXPECT_EQ(count.load(), 2);
  EXPECT_TRUE(sender.load());
  EXPECT_NE(thread.load(), GetCurrentThreadId());
  EXPECT_TRUE(mta.load());
  EXPECT_FALSE(timer.Stopped());
}

TEST_F(Timer, DestructionWaitsForARunningHandler) {
  Event entered(true, false);
  std::atomic<bool> finished{false};
  auto timer = std::make_unique<TcvOutstandingTimer>(10);
  timer->SetOnTimer([&](TcvOutstandingTimer*) {
    entered.Set();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    finished = true;
  });
  Move(10);
  WaitForSingleObject(entered, INFINITE);
  timer.reset();
  EXPECT_TRUE(finished.load());
}

TEST_F(Timer, AFailingHandlerIsReportedAndTheTimerGoesOnUnlessAskedToStop) {
  std::atomic<int> count{0};
  {
    TcvOutstandingTimer timer(10);
    timer.SetOnTimer([&](TcvOutstandingTimer*) {
      count.fetch_add(1);
      throw Exception(u"tick failed");
    });
    Tick(10);
    Tick(10);
    EXPECT_EQ(count.load(), 2);
    EXPECT_FALSE(timer.Stopped());
  }
  auto errors = TakeBackgroundErrors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].where, u"timer");
  EXPECT_EQ(errors[0].message, u"tick failed");

  const auto before = clock_.ReadCount();
  TcvOutstandingTimer stopping(10);
  stopping.SetStopOnHandlerError(true);
  stopping.SetOnTimer([](TcvOutstandingTimer*) { throw Exception(u"fatal tick"); });
  clock_.WaitForReads(before + 1);
  clock_.Advance(10);
  while (!stopping.Stopped()) std::this_thread::yield();
  EXPECT_EQ(TakeBackgroundErrors().size(), 1u);
}

TEST_F(Timer, AHandlerMayDestroyItsOwnTimer) {
  Event gone(true, false);
  auto* timer = new TcvOutstandingTimer(10);
  timer->SetOnTimer([&](TcvOutstandingTimer* sender) {
    delete sender;
    gone.Set();
  });
  Move(10);
  EXPECT_EQ(WaitForSingleObject(gone, INFINITE), WAIT_OBJECT_0);
}

// ---- the restricted filter ------------------------------------------------------------------

class TAnswering : public Implements<ComObject, IMessageFilter> {
 public:
  DWORD HandleInComingCall(DWORD, HTASK, DWORD, INTERFACEINFO*) override { return 77; }
  DWORD RetryRejectedCall(HTASK, DWORD, DWORD) override { return 150; }
  DWORD MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_CANCELCALL; }
};

TEST(RestrictedMessageFilter, ServesTopLevelAndNestedCallsOnly) {
  auto previous = MakeObject<TAnswering>();
  for (IMessageFilter* before : {static_cast<IMessageFilter*>(nullptr), static_cast<IMessageFilter*>(previous.Get())}) {
    auto filter = MakeObject<TcvRestrictedMessageFilter>(before);
    const struct {
      DWORD type, answer;
    } cases[] = {{CALLTYPE_TOPLEVEL, SERVERCALL_ISHANDLED},
                 {CALLTYPE_NESTED, SERVERCALL_ISHANDLED},
                 {CALLTYPE_ASYNC, SERVERCALL_RETRYLATER},
                 {CALLTYPE_TOPLEVEL_CALLPENDING, SERVERCALL_RETRYLATER},
                 {CALLTYPE_ASYNC_CALLPENDING, SERVERCALL_RETRYLATER}};
    for (auto c : cases) EXPECT_EQ(filter->HandleInComingCall(c.type, 0, 0, nullptr), c.answer) << c.type;
    EXPECT_EQ(filter->RetryRejectedCall(0, 0, SERVERCALL_RETRYLATER), before ? 150u : 0u);
    EXPECT_EQ(filter->MessagePending(0, 0, PENDINGTYPE_TOPLEVEL), before ? PENDINGMSG_CANCELCALL : PENDINGMSG_WAITDEFPROCESS);
  }
}

// ---- the transparent lock -------------------------------------------------------------------

// The filter currently registered for the calling STA thread (put back at once).
ComPtr<IMessageFilter> CurrentFilter() {
  IMessageFilter* current = nullptr;
  CoRegisterMessageFilter(nullptr, &current);
  CoRegisterMessageFilter(current, nullptr);
  return ComPtr<IMessageFilter>::Attach(current);
}

TEST(TransparentCriticalSection, InstallsTheFilterOnceAtTheOutermostLevelOfAnSta) {
  ScopedApartment sta(COINIT_APARTMENTTHREADED);
  TcvTransparentCriticalSection lock;
  lock.Acquire();
  ComPtr<IMessageFilter> installed = CurrentFilter();
  ASSERT_TRUE(installed);
  EXPECT_TRUE(lock.FilterInstalled());
  lock.Acquire();
  EXPECT_EQ(CurrentFilter(), installed) << "a nested acquisition keeps the same filter";
  EXPECT_EQ(lock.HoldCount(), 2);
  lock.Release();
  EXPECT_EQ(CurrentFilter(), installed);
  lock.Release();
  EXPECT_FALSE(lock.FilterInstalled());
  EXPECT_FALSE(CurrentFilter()) << "no filter before, none after";

  // With a filter of the thread's own, that one comes back, and rejected calls go to it.
  auto own = MakeObject<TAnswering>();
  CoRegisterMessageFilter(own.Get(), nullptr);
  lock.Acquire();
  ComPtr<IMessageFilter> restricted = CurrentFilter();
  EXPECT_NE(restricted.Get(), static_cast<IMessageFilter*>(own.Get()));
  EXPECT_EQ(restricted->RetryRejectedCall(0, 0, SERVERCALL_RETRYLATER), 150u);
  lock.Release();
  EXPECT_EQ(CurrentFilter().Get(), static_cast<IMessageFilter*>(own.Get()));
  CoRegisterMessageFilter(nullptr, nullptr);
}

TEST(TransparentCriticalSection, AnMtaThreadNeverInstallsTheFilter) {
  ScopedApartment mta(COINIT_MULTITHREADED);
  TcvTransparentCriticalSection lock;
  std::lock_guard guard(lock);
  EXPECT_FALSE(lock.FilterInstalled());
  EXPECT_EQ(lock.HoldCount(), 1);
}

TEST(TransparentCriticalSection, ExcludesOtherThreads) {
  TcvTransparentCriticalSection lock;
  int counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      ScopedApartment apartment(t % 2 ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED);
      for (int i = 0; i < 200; ++i) {
        std::lock_guard guard(lock);
        int seen = counter;
        std::this_thread::yield();
        counter = seen + 1;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 800);
}

// A thread that ends while it holds the lock does not block the others for ever: the next
// Acquire takes the abandoned lock over and owns it.
TEST(TransparentCriticalSection, ALockAbandonedByAnEndedThreadIsTakenOver) {
  TcvTransparentCriticalSection lock;
  std::thread holder([&] {
    ScopedApartment apartment(COINIT_MULTITHREADED);
    lock.Acquire();
  });  // ends holding the lock
  holder.join();
  ScopedApartment apartment(COINIT_MULTITHREADED);
  lock.Acquire();
  lock.Acquire();  // recursively, as usual
  lock.Release();
  lock.Release();
  std::atomic<bool> taken{false};
  std::thread next([&] {
    lock.Acquire();
    taken = true;
    lock.Release();
  });
  next.join();
  EXPECT_TRUE(taken.load());
}

TEST(TransparentCriticalSection, KeepsServingCallsWhileItWaitsAndWhileItHolds) {
  test::RegisterCallsProxy();
  ComPtr<IGlobalInterfaceTable> git;
  ASSERT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IGlobalInterfaceTable::iid,
                             git.PutVoid()),
            S_OK);
  ScopedApartment mta(COINIT_MULTITHREADED);
  TcvTransparentCriticalSection lock;

  // An object of the STA that takes the lock when it is called (re-entrant on that thread).
  class TLocking : public TCalls {
   public:
    explicit TLocking(TcvTransparentCriticalSection& lock) : lock_(lock) {}
    HRESULT ThreadId(DWORD* id) override {
      served.Set();
      std::lock_guard guard(lock_);
      depth = lock_.HoldCount();
      return TCalls::ThreadId(id);
    }
    std::atomic<int> depth{0};
    Event served{true, false};  // a call has reached the object

   private:
    TcvTransparentCriticalSection& lock_;
  };
  StaThread sta;
  ComPtr<TLocking> locking;
  DWORD cookie = 0;
  ASSERT_EQ(sta.Run([&] {
    locking = MakeObject<TLocking>(lock);
    return git->RegisterInterfaceInGlobal(locking->Identity(), ICalls::iid, &cookie);
  }),
            S_OK);
  ComPtr<ICalls> calls;
  ASSERT_EQ(git->GetInterfaceFromGlobal(cookie, ICalls::iid, calls.PutVoid()), S_OK);

  // 1. While the STA waits for the lock that this thread holds, it serves a call (which then
  //    waits for the lock itself, on the same thread, nested in the first wait).
  lock.Acquire();
  Event waiting(true, false);
  std::thread staWaits([&] {
    sta.Run([&] {
      waiting.Set();
      std::lock_guard guard(lock);
      return S_OK;
    });
  });
  WaitForSingleObject(waiting, INFINITE);
  std::atomic<HRESULT> served{E_FAIL};
  std::thread caller([&] {
    ScopedApartment own(COINIT_MULTITHREADED);
    ComPtr<ICalls> mine;
    git->GetInterfaceFromGlobal(cookie, ICalls::iid, mine.PutVoid());
    DWORD id = 0;
    served = mine->ThreadId(&id);
  });
  // The call is served while the STA still waits for the lock, which this thread holds.
  WaitForSingleObject(locking->served, INFINITE);
  lock.Release();
  caller.join();
  staWaits.join();
  EXPECT_EQ(served.load(), S_OK);

  // 2. While the STA holds the lock and waits for an outgoing call, a nested call back is
  //    served (and takes the lock again), an unrelated one is asked to retry later.
  auto back = MakeObject<TBlockingCallBack>();
  DWORD backCookie = 0;
  ASSERT_EQ(git->RegisterInterfaceInGlobal(back->Identity(), ICalls::iid, &backCookie), S_OK);
  std::atomic<HRESULT> nested{E_FAIL};
  std::thread holder([&] {
    sta.Run([&] {
      std::lock_guard guard(lock);
      ComPtr<ICalls> remote, self;
      git->GetInterfaceFromGlobal(backCookie, ICalls::iid, remote.PutVoid());
      git->GetInterfaceFromGlobal(cookie, ICalls::iid, self.PutVoid());
      DWORD id = 0;
      nested = remote->CallBack(self.Get(), &id);
      return S_OK;
    });
  });
  WaitForSingleObject(back->entered, INFINITE);
  DWORD id = 0;
  EXPECT_EQ(calls->ThreadId(&id), RPC_E_SERVERCALL_RETRYLATER);
  back->proceed.Set();
  holder.join();
  EXPECT_EQ(nested.load(), S_OK);
  EXPECT_EQ(locking->depth.load(), 2) << "the nested call took the lock a second time";
  EXPECT_EQ(calls->ThreadId(&id), S_OK) << "the filter is gone with the lock";
  calls = nullptr;
  git->RevokeInterfaceFromGlobal(cookie);
  git->RevokeInterfaceFromGlobal(backCookie);
  ReleaseOn(sta, locking);
}

// ---- the window context ---------------------------------------------------------------------

TEST(WindowContext, LivesBetweenStartAndStop) {
  StartThreads();
  ASSERT_NE(WindowContext(), nullptr);
  EXPECT_GE(WindowContext()->NullMessage(), 0xC000u);
  StopThreads();
  EXPECT_EQ(WindowContext(), nullptr);
}

}  // namespace
}  // namespace pw
