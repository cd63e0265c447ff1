#include "core/com/event_sinks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "interfaces/pwAutomationTest.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "platform/automation/typeinfo.h"
#include "tests/threads/apartment_fixture.h"

namespace pw {
namespace {

using test::ExpectEndsSoon;
using test::ReleaseOn;
using test::ScopedApartment;

// An event source with one connection point per event interface.
class TEventSource : public Implements<ComObject, IConnectionPointContainer> {
 public:
  TEventSource() {
    for (const IID& iid : {IpwTestFirst::iid, IpwTestSecond::iid}) points_.push_back(MakeObject<TConnectionPoint>(iid, this));
  }
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override {
    if (points) *points = nullptr;
    return E_NOTIMPL;
  }
  HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** point) override {
    *point = nullptr;
    for (auto& p : points_) {
      IID own{};
      p->GetConnectionInterface(&own);
      if (own == iid) {
        *point = ComPtr<IConnectionPoint>(p).Detach();
        return S_OK;
      }
    }
    return CONNECT_E_NOCONNECTION;
  }
  // Raises an event of the first interface with one integer argument.
  HRESULT Fire(DISPID id, std::int32_t value = 0) {
    OleVariant arg(value);
    DISPPARAMS params{arg.Ptr(), nullptr, 1, 0};
    return points_[0]->Fire(id, &params);
  }
  std::size_t Sinks() { return points_[0]->SinkCount() + points_[1]->SinkCount(); }

 private:
  std::vector<ComPtr<TConnectionPoint>> points_;
};

// An adapter that records its events.
class TRecordingEvents : public TpwCustomEvents {
 public:
  using TpwCustomEvents::TpwCustomEvents;
  ~TRecordingEvents() override { Detach(); }

  std::atomic<int> entered{0}, left{0};
  std::atomic<DWORD> thread{0};
  std::atomic<std::int32_t> lastValue{0};
  std::atomic<bool> raise{false};
  std::atomic<int> pauseMs{0};
  WideString lastName;  // read after the events have run
  std::mutex lock;

 protected:
  void DoEvent(IUnknown*, const TEventEntry& entry, DISPPARAMS* params) override {
    entered.fetch_add(1);
    thread = GetCurrentThreadId();
    {
      std::lock_guard g(lock);
      lastName = entry.name;
    }
    if (params && params->cArgs == 1) lastValue = params->rgvarg[0].lVal;
    if (int ms = pauseMs.load()) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    left.fetch_add(1);
    if (raise) throw Exception(u"handler failed");
  }
};

class EventSinks : public ::testing::Test {
 protected:
  void SetUp() override {
    StartGlobalTable();
    ComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLib(Utf8ToWide(PW_TEST_TYPELIB), lib.Put()), S_OK);
    ASSERT_EQ(RegisterTypeLib(lib.Get(), Utf8ToWide(PW_TEST_TYPELIB)), S_OK);
  }
  void TearDown() override { StopGlobalTable(); }
};

constexpr DISPID kSubtract = 3;
constexpr DISPID kEcho = 101;

TEST_F(EventSinks, TheEventMapComesFromTheTypeLibraries) {
  auto sink = MakeObject<TpwEventSink>(nullptr, std::vector<IID>{IpwTestFirst::iid, IpwTestSecond::iid,
                                                                  MakeGuid("{11111111-2222-3333-4444-555555555555}")},
                                       nullptr);
  auto find = [&](DISPID id) -> WideString {
    for (auto& e : sink->EventMap())
      if (e.memberId == id) return e.name;
    return u"";
  };
  EXPECT_EQ(find(kSubtract), u"Subtract");
  EXPECT_EQ(find(kEcho), u"Echo");
  EXPECT_EQ(find(1), u"") << "property accessors are no events";
  EXPECT_EQ(find(10), u"Secret") << "hidden members are listed";
  // The sink answers only what the free-threaded marshaler and its own interfaces give.
  EXPECT_TRUE(IsFreeThreaded(sink->Identity()));
  EXPECT_FALSE(QueryAs<IpwTestFirst>(sink.Get()));
  std::uint32_t count = 0;
  EXPECT_EQ(sink->GetTypeInfoCount(&count), E_NOTIMPL);
}

TEST_F(EventSinks, EventsReachTheAdapterAcrossApartments) {
  ScopedApartment mta(COINIT_MULTITHREADED);
  StaThread sourceThread, adapterThread;
  ComPtr<TEventSource> source;
  ComPtr<IUnknown> global;
  sourceThread.Run([&] {
    source = MakeObject<TEventSource>();
    MakeGlobal(source->Identity(), global);
    return S_OK;
  });
  ComPtr<TRecordingEvents> events;
  ASSERT_EQ(adapterThread.Run([&] {
    ComPtr<IUnknown> here;
    QueryAs<IcvGlobalUnknown>(global.Get())->GetWrappedUnknown(here.Put());
    events = MakeObject<TRecordingEvents>(here.Get(), std::vector<IID>{IpwTestFirst::iid, IpwTestSecond::iid});
    return S_OK;
  }),
            S_OK);
  EXPECT_TRUE(events->Active());
  EXPECT_EQ(source->Sinks(), 2u);
  ComPtr<IUnknown> reported;
  ASSERT_EQ(events->GetEventSource(reported.Put()), S_OK);
  EXPECT_TRUE(reported);

  // The source raises on its own thread; the agile sink takes the event there.
  ASSERT_EQ(sourceThread.Run([&] { return source->Fire(kSubtract, 42); }), S_OK);
  EXPECT_EQ(events->entered.load(), 1);
  EXPECT_EQ(events->lastName, u"Subtract");
  EXPECT_EQ(events->lastValue.load(), 42);
  EXPECT_EQ(events->thread.load(), sourceThread.ThreadId());
  EXPECT_EQ(sourceThread.Run([&] { return source->Fire(999); }), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(events->entered.load(), 1);

  // A handler that raises: the source hears of it, the adapter goes on.
  events->raise = true;
  EXPECT_EQ(sourceThread.Run([&] { return source->Fire(kSubtract, 1); }), DISP_E_EXCEPTION);
  events->raise = false;

  // Detaching from another apartment than the one that attached.
  EXPECT_EQ(events->Detach(), S_OK);
  EXPECT_FALSE(events->Active());
  EXPECT_EQ(source->Sinks(), 0u);
  EXPECT_EQ(events->Detach(), S_OK) << "twice does nothing";
  EXPECT_EQ(sourceThread.Run([&] { return source->Fire(kSubtract, 7); }), S_OK) << "no sink left";
  EXPECT_EQ(events->entered.load(), 2);
  ReleaseOn(adapterThread, events);
  global = nullptr;
  ReleaseOn(sourceThread, source);
}

TEST_F(EventSinks, AHandlerExceptionBecomesAnExceptionRecord) {
  ScopedApartment mta(COINIT_MULTITHREADED);
  auto source = MakeObject<TEventSource>();
  std::atomic<int> calls{0};
  auto sink = MakeObject<TpwEventSink>(source->Identity(), std::vector<IID>{IpwTestFirst::iid},
                                       [&](IUnknown* s, const TEventEntry&, DISPPARAMS*) {
                                         calls.fetch_add(1);
                                         EXPECT_EQ(s, source->Identity());
                                         throw EOleSysError(u"cannot handle", E_ABORT);
                                       });
  EXPECT_EQ(sink->Invoke(kSubtract, GUID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND)
      << "events before Attach are not handled";
  ASSERT_EQ(sink->Attach(), S_OK);
  EXPECT_TRUE(sink->Connected());
  EXPECT_EQ(sink->ConnectionCount(), 1u);
  EXCEPINFO info{};
  EXPECT_EQ(sink->Invoke(kSubtract, GUID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, &info, nullptr), DISP_E_EXCEPTION);
  EXPECT_EQ(BstrView(info.bstrSource), u"EOleSysError");
  EXPECT_EQ(BstrView(info.bstrDescription), u"cannot handle");
  EXPECT_EQ(info.scode, E_FAIL);
  ClearExcepInfo(info);
  EXPECT_EQ(calls.load(), 1);
  ASSERT_EQ(sink->Detach(), S_OK);
  EXPECT_FALSE(sink->Connected());
  EXPECT_EQ(sink->ConnectionCount(), 0u);
}

TEST_F(EventSinks, SourcesWithoutConnectionPointsAndUnconnectedAdapters) {
  auto plain = MakeObject<test::TCalls>();
  auto sink = MakeObject<TpwEventSink>(plain->Identity(), std::vector<IID>{IpwTestFirst::iid}, nullptr);
  EXPECT_EQ(sink->Attach(), S_OK);
  EXPECT_FALSE(sink->Connected());

  class TNothing : public TpwCustomEvents {
   public:
    TNothing() : TpwCustomEvents(Unconnected{}) {}

   protected:
    void DoEvent(IUnknown*, const TEventEntry&, DISPPARAMS*) override {}
  };
  auto none = MakeObject<TNothing>();
  EXPECT_FALSE(none->Active());
  ComPtr<IUnknown> source;
  EXPECT_EQ(none->GetEventSource(source.Put()), S_OK);
  EXPECT_FALSE(source);
  EXPECT_EQ(none->Detach(), S_OK);
}

TEST_F(EventSinks, NoEventIsDeliveredAfterDetachReturns) {
  ScopedApartment mta(COINIT_MULTITHREADED);
  auto source = MakeObject<TEventSource>();
  auto events = MakeObject<TRecordingEvents>(source->Identity(), std::vector<IID>{IpwTestFirst::iid});
  events->pauseMs = 1;
  std::atomic<bool> stop{false};
  std::atomic<int> fired{0};
  std::vector<std::thread> firing;
  for (int t = 0; t < 3; ++t)
    firing.emplace_back([&] {
      ScopedApartment own(COINIT_MULTITHREADED);
      while (!stop) {
        source->Fire(kSubtract, 1);
        ++fired;
      }
    });
  while (events->entered.load() < 5) std::this_thread::yield();
  ASSERT_EQ(events->Detach(), S_OK);
  const int entered = events->entered.load();
  EXPECT_EQ(events->left.load(), entered) << "a handler running at Detach has returned before it";
  // Every firing thread goes on firing; the events it fires after Detach reach nobody.
  const int firedAtDetach = fired.load();
  while (fired.load() < firedAtDetach + 30) std::this_thread::yield();
  EXPECT_EQ(events->entered.load(), entered) << "nothing is delivered afterwards";
  stop = true;
  for (auto& t : firing) t.join();
}

TEST_F(EventSinks, AnAdapterMayDetachFromItsOwnHandler) {
  ScopedApartment mta(COINIT_MULTITHREADED);
  auto source = MakeObject<TEventSource>();
  class TSelfDetaching : public TRecordingEvents {
   public:
    using TRecordingEvents::TRecordingEvents;

   protected:
    void DoEvent(IUnknown* s, const TEventEntry& e, DISPPARAMS* p) override {
      TRecordingEvents::DoEvent(s, e, p);
      Detach();
    }
  };
  auto events = MakeObject<TSelfDetaching>(source->Identity(), std::vector<IID>{IpwTestFirst::iid});
  EXPECT_EQ(source->Fire(kSubtract, 5), S_OK);
  EXPECT_FALSE(events->Active());
  EXPECT_EQ(source->Sinks(), 0u);
  EXPECT_EQ(source->Fire(kSubtract, 6), S_OK);
  EXPECT_EQ(events->entered.load(), 1);
}

TEST_F(EventSinks, AHandlerDetachingItsAdapterWaitsForTheHandlersOfOtherThreadsOnly) {
  // Time stands still: the wait has to end when the other handler returns, not on a time-out.
  ManualClock clock;
  ScopedClock use(clock);
  ScopedApartment mta(COINIT_MULTITHREADED);
  auto source = MakeObject<TEventSource>();
  // The event with value 1 is held until released; the one with value 2 detaches the adapter.
  class THoldOrDetach : public TRecordingEvents {
   public:
    using TRecordingEvents::DetachesWaiting;
    using TRecordingEvents::TRecordingEvents;
    Event held{true, false}, release{true, false}, detached{true, false};

   protected:
    void DoEvent(IUnknown* s, const TEventEntry& e, DISPPARAMS* p) override {
      TRecordingEvents::DoEvent(s, e, p);
      if (p->rgvarg[0].lVal == 1) {
        held.Set();
        WaitForSingleObject(release, INFINITE);
      } else {
        Detach();
        detached.Set();
      }
    }
  };
  auto events = MakeObject<THoldOrDetach>(source->Identity(), std::vector<IID>{IpwTestFirst::iid});
  std::thread holding([&] {
    ScopedApartment own(COINIT_MULTITHREADED);
    source->Fire(kSubtract, 1);
  });
  WaitForSingleObject(events->held, INFINITE);
  std::thread detaching([&] {
    ScopedApartment own(COINIT_MULTITHREADED);
    source->Fire(kSubtract, 2);
  });
  while (events->DetachesWaiting() == 0) std::this_thread::yield();  // in its wait for the handler
  EXPECT_FALSE(events->detached.IsSet()) << "Detach waits for the handler of the other thread";
  events->release.Set();
  ExpectEndsSoon(events->detached, "Detach from a handler");
  holding.join();
  detaching.join();
  EXPECT_FALSE(events->Active());
  EXPECT_EQ(source->Sinks(), 0u);
  EXPECT_EQ(events->entered.load(), 2);
}

TEST_F(EventSinks, AHandlerMayAskForTheSourceWhileTheSinkDetaches) {
  ScopedApartment mta(COINIT_MULTITHREADED);
  auto source = MakeObject<TEventSource>();
  Event held(true, false), release(true, false), detached(true, false);
  std::atomic<bool> gotSource{false};
  ComPtr<TpwEventSink> sink;
  sink = MakeObject<TpwEventSink>(source->Identity(), std::vector<IID>{IpwTestFirst::iid},
                                  [&](IUnknown*, const TEventEntry&, DISPPARAMS*) {
                                    held.Set();
                                    WaitForSingleObject(release, INFINITE);
                                    ComPtr<IUnknown> asked;
                                    gotSource = sink->GetEventSource(asked.Put()) == S_OK &&
                                                asked.Get() == source->Identity();
                                  });
  ASSERT_EQ(sink->Attach(), S_OK);
  std::thread firing([&] {
    ScopedApartment own(COINIT_MULTITHREADED);
    source->Fire(kSubtract, 1);
  });
  WaitForSingleObject(held, INFINITE);
  std::thread detaching([&] {
    ScopedApartment own(COINIT_MULTITHREADED);
    sink->Detach();
    detached.Set();
  });
  while (source->Sinks() != 0) std::this_thread::yield();  // unadvised: Detach now waits for the handler
  release.Set();
  ExpectEndsSoon(detached, "Detach while its handler asks for the source");
  firing.join();
  detaching.join();
  EXPECT_TRUE(gotSource.load());
  EXPECT_FALSE(sink->Connected());
}

TEST_F(EventSinks, TwoAttachesAtOnceAdviseOnce) {
  ScopedApartment mta(COINIT_MULTITHREADED);
  // A source that holds the first search for a connection point until told to go on.
  class THoldingSource : public TEventSource {
   public:
    HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** point) override {
      if (!entered.IsSet()) {
        entered.Set();
        WaitForSingleObject(proceed, INFINITE);
      }
      return TEventSource::FindConnectionPoint(iid, point);
    }
    Event entered{true, false}, proceed{true, false};
  };
  auto source = MakeObject<THoldingSource>();
  auto sink = MakeObject<TpwEventSink>(source->Identity(), std::vector<IID>{IpwTestFirst::iid}, nullptr);
  std::thread first([&] { sink->Attach(); });
  WaitForSingleObject(source->entered, INFINITE);
  std::thread second([&] { sink->Attach(); });
  while (sink->WaitingToAttachOrDetach() == 0) std::this_thread::yield();  // at the sink's lock
  source->proceed.Set();
  first.join();
  second.join();
  EXPECT_EQ(source->Sinks(), 1u);
  EXPECT_EQ(sink->ConnectionCount(), 1u);
  EXPECT_EQ(sink->Detach(), S_OK);
  EXPECT_EQ(source->Sinks(), 0u);
}

TEST_F(EventSinks, EventsReachTheAdapterOnlyOnceItIsConstructed) {
  ScopedApartment mta(COINIT_MULTITHREADED);
  auto source = MakeObject<TEventSource>();
  std::atomic<int> delivered{0};
  std::atomic<bool> stop{false};
  std::thread firing([&] {
    ScopedApartment own(COINIT_MULTITHREADED);
    while (!stop) {
      if (source->Sinks() == 0) {
        std::this_thread::yield();
        continue;
      }
      source->Fire(kSubtract, 1);
      delivered.fetch_add(1);
    }
  });
  // Its constructor goes on until the sink, connected by the base's, has had a few events.
  class TSlowlyMade : public TRecordingEvents {
   public:
    TSlowlyMade(IUnknown* source, std::atomic<int>& delivered)
        : TRecordingEvents(source, std::vector<IID>{IpwTestFirst::iid}) {
      const int from = delivered.load();
      while (delivered.load() < from + 3) std::this_thread::yield();
      made = true;
    }
    std::atomic<bool> made{false}, early{false};

   protected:
    void DoEvent(IUnknown* s, const TEventEntry& e, DISPPARAMS* p) override {
      if (!made) early = true;
      TRecordingEvents::DoEvent(s, e, p);
    }
  };
  auto events = MakeObject<TSlowlyMade>(source->Identity(), delivered);
  EXPECT_TRUE(events->Active());
  while (events->entered.load() == 0) std::this_thread::yield();
  EXPECT_EQ(events->Detach(), S_OK);
  stop = true;
  firing.join();
  EXPECT_FALSE(events->early.load()) << "an event reached the adapter while it was being constructed";
}

}  // namespace
}  // namespace pw
