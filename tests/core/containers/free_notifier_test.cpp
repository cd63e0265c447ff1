#include "core/containers/free_notifier.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace pw {
namespace {

// Components are named by their addresses, kept as numbers: the tests compare them after the
// components are gone.
using Id = std::uintptr_t;
Id IdOf(const TComponent* c) { return reinterpret_cast<Id>(c); }

TEST(TcvFreeNotifier, ReportsWatchedComponentsAsTheyAreDestroyed) {
  TcvFreeNotifier notifier;
  std::vector<Id> freed;
  notifier.OnComponentFreed = [&](TComponent* c) { freed.push_back(IdOf(c)); };
  auto* a = new TComponent(nullptr);
  auto* b = new TComponent(nullptr);
  auto* c = new TComponent(nullptr);
  notifier.AddComponent(a);
  notifier.AddComponent(b);
  notifier.AddComponent(b);
  notifier.AddComponent(c);
  notifier.AddComponent(nullptr);  // ignored
  notifier.RemoveComponent(c);
  notifier.RemoveComponent(nullptr);  // ignored

  const Id ia = IdOf(a), ib = IdOf(b);
  delete b;
  EXPECT_EQ(freed, (std::vector<Id>{ib}));
  delete c;  // no longer watched
  delete a;
  EXPECT_EQ(freed, (std::vector<Id>{ib, ia}));
}

TEST(TcvFreeNotifier, ANotifierDestroyedFirstIsForgotten) {
  int reports = 0;
  auto* watched = new TComponent(nullptr);
  {
    TcvFreeNotifier notifier;
    notifier.OnComponentFreed = [&](TComponent*) { ++reports; };
    notifier.AddComponent(watched);
  }
  delete watched;  // must not reach the destroyed notifier
  EXPECT_EQ(reports, 0);
}

TEST(TcvFreeNotifier, WorksWithoutAHandlerAndReportsItsOwnComponents) {
  {
    TcvFreeNotifier silent;
    auto* a = new TComponent(nullptr);
    silent.AddComponent(a);
    delete a;
  }
  TcvFreeNotifier notifier;
  std::vector<Id> freed;
  notifier.OnComponentFreed = [&](TComponent* c) { freed.push_back(IdOf(c)); };
  auto* owned = new TComponent(&notifier);
  const Id io = IdOf(owned);
  delete owned;  // every removal the notifier hears of is reported
  EXPECT_EQ(freed, (std::vector<Id>{io}));
}

TEST(TcvFreeNotifier, TheHandlerMayStopWatchingAndFreeOthers) {
  TcvFreeNotifier notifier;
  auto* a = new TComponent(nullptr);
  auto* b = new TComponent(nullptr);
  std::vector<Id> freed;
  notifier.OnComponentFreed = [&](TComponent* c) {
    freed.push_back(IdOf(c));
    notifier.RemoveComponent(c);  // already dropped: harmless
    if (c == a) delete b;         // b is watched too and is reported from inside
  };
  notifier.AddComponent(a);
  notifier.AddComponent(b);
  const Id ia = IdOf(a), ib = IdOf(b);
  delete a;
  EXPECT_EQ(freed, (std::vector<Id>{ia, ib}));
}

}  // namespace
}  // namespace pw
