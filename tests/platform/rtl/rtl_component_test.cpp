#include "platform/rtl/rtl_component.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/rtl/exceptions.h"

namespace pw {
namespace {

// Components are named by their addresses, kept as numbers: the tests compare them after the
// components are gone.
using Id = std::uintptr_t;
Id IdOf(const TComponent* c) { return reinterpret_cast<Id>(c); }

struct Notice {
  Id receiver;
  Id component;
  TOperation operation;
  friend bool operator==(const Notice&, const Notice&) = default;
};

// Records every notice it gets and its own destruction.
class TWatcher : public TComponent {
 public:
  TWatcher(TComponent* owner, std::vector<Notice>* notices, std::vector<Id>* destroyed)
      : TComponent(owner), notices_(notices), destroyed_(destroyed) {}
  ~TWatcher() override { destroyed_->push_back(IdOf(this)); }

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    notices_->push_back({IdOf(this), IdOf(component), operation});
    TComponent::Notification(component, operation);
  }

 private:
  std::vector<Notice>* notices_;
  std::vector<Id>* destroyed_;
};

class TComponentTest : public ::testing::Test {
 protected:
  TWatcher* Make(TComponent* owner = nullptr) { return new TWatcher(owner, &notices, &destroyed); }
  std::vector<Notice> NoticesFor(Id receiver) const {
    std::vector<Notice> out;
    for (const Notice& n : notices)
      if (n.receiver == receiver) out.push_back(n);
    return out;
  }
  std::vector<Notice> notices;
  std::vector<Id> destroyed;
};

TEST_F(TComponentTest, OwnerKnowsAndDestroysItsComponentsLastFirst) {
  TWatcher* owner = Make();
  TWatcher* a = Make(owner);
  TWatcher* b = Make(owner);
  TWatcher* c = Make(owner);
  const Id o = IdOf(owner), ia = IdOf(a), ib = IdOf(b), ic = IdOf(c);
  ASSERT_EQ(owner->ComponentCount(), 3);
  EXPECT_EQ(owner->Components(0), a);
  EXPECT_EQ(owner->Components(2), c);
  EXPECT_THROW(owner->Components(3), EListError);
  EXPECT_EQ(c->Owner(), owner);
  // The owner hears of each insertion and passes it on to the components it had already.
  EXPECT_EQ(NoticesFor(o), (std::vector<Notice>{{o, ia, opInsert}, {o, ib, opInsert}, {o, ic, opInsert}}));
  EXPECT_EQ(NoticesFor(ia), (std::vector<Notice>{{ia, ib, opInsert}, {ia, ic, opInsert}}));

  delete owner;
  EXPECT_EQ(destroyed, (std::vector<Id>{o, ic, ib, ia}));
}

TEST_F(TComponentTest, AComponentDestroyedAloneLeavesItsOwner) {
  TWatcher* owner = Make();
  TWatcher* a = Make(owner);
  TWatcher* b = Make(owner);
  const Id o = IdOf(owner), ia = IdOf(a), ib = IdOf(b);
  notices.clear();
  delete a;
  EXPECT_EQ(owner->ComponentCount(), 1);
  EXPECT_EQ(owner->Components(0), b);
  EXPECT_EQ(NoticesFor(o), (std::vector<Notice>{{o, ia, opRemove}}));
  EXPECT_EQ(NoticesFor(ib), (std::vector<Notice>{{ib, ia, opRemove}}));
  delete owner;
  EXPECT_EQ(destroyed, (std::vector<Id>{ia, o, ib}));
}

TEST_F(TComponentTest, FreeNotificationWorksBothWaysAndOnce) {
  TWatcher* a = Make();
  TWatcher* b = Make();
  const Id ia = IdOf(a), ib = IdOf(b);
  a->FreeNotification(b);
  a->FreeNotification(b);  // asked twice, told once
  b->FreeNotification(a);
  delete a;
  EXPECT_EQ(notices, (std::vector<Notice>{{ib, ia, opRemove}}));
  notices.clear();
  delete b;  // the link went with a: b has nobody left to tell
  EXPECT_TRUE(notices.empty());

  TWatcher* c = Make();
  TWatcher* d = Make();
  const Id ic = IdOf(c), id = IdOf(d);
  c->FreeNotification(d);
  delete d;  // the link is two-way: the asker hears too
  EXPECT_EQ(notices, (std::vector<Notice>{{ic, id, opRemove}}));
  delete c;
}

TEST_F(TComponentTest, RemoveFreeNotificationDropsBothDirections) {
  TWatcher* a = Make();
  TWatcher* b = Make();
  a->FreeNotification(b);
  b->RemoveFreeNotification(a);
  delete a;
  delete b;
  EXPECT_TRUE(notices.empty());
}

TEST_F(TComponentTest, ComponentsOfOneOwnerHearThroughTheOwner) {
  TWatcher* owner = Make();
  TWatcher* a = Make(owner);
  TWatcher* b = Make(owner);
  a->FreeNotification(b);  // not needed between siblings: no link, no second notice
  const Id ia = IdOf(a), ib = IdOf(b);
  notices.clear();
  delete a;
  EXPECT_EQ(NoticesFor(ib), (std::vector<Notice>{{ib, ia, opRemove}}));
  delete owner;
}

TEST_F(TComponentTest, AnOwnedComponentLinkedOutsideTellsBoth) {
  TWatcher* owner = Make();
  TWatcher* a = Make(owner);
  TWatcher* outsider = Make();
  a->FreeNotification(outsider);
  const Id ia = IdOf(a), io = IdOf(outsider);
  notices.clear();
  delete owner;  // destroys a, which tells the outsider
  EXPECT_EQ(notices, (std::vector<Notice>{{io, ia, opRemove}}));
  delete outsider;
}

}  // namespace
}  // namespace pw
