#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "component.h"

namespace {

// Records every notification it gets and how it was freed, into a shared log.
class TProbe : public TComponent {
public:
  TProbe(TComponent* AOwner, std::string name, std::vector<std::string>* log)
      : TComponent(AOwner), FLog(log) {
    SetName(name);
  }
  ~TProbe() override { FLog->push_back("free " + Name()); }
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    FLog->push_back(Name() + (Operation == opInsert ? " ins " : " rem ") + AComponent->Name());
    if (Operation == opRemove && AComponent == Partner) Partner = nullptr;
  }
  TComponent* Partner = nullptr;
  ZEL_CLASS(TProbe, TComponent)

private:
  std::vector<std::string>* FLog;
};

class TLoadProbe : public TComponent {
public:
  using TComponent::TComponent;
  void Loaded() override {
    WasLoading = ComponentState().Contains(csLoading);
    TComponent::Loaded();
  }
  bool WasLoading = false;
};

}  // namespace

TEST(Component, OwnerFreesOwnedComponentsLastFirstAndTheyLeaveTheOwner) {
  std::vector<std::string> log;
  auto* owner = new TProbe(nullptr, "Owner", &log);
  auto* a = new TProbe(owner, "A", &log);
  auto* b = new TProbe(owner, "B", &log);
  ASSERT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(owner->Components(0), a);
  EXPECT_EQ(owner->Components(1), b);
  EXPECT_EQ(a->Owner(), owner);
  EXPECT_EQ(b->ComponentIndex(), 1);
  EXPECT_THROW(owner->Components(2), EListError);
  log.clear();
  delete owner;
  std::vector<std::string> frees;
  for (auto& l : log)
    if (l.rfind("free ", 0) == 0) frees.push_back(l);
  EXPECT_EQ(frees, (std::vector<std::string>{"free Owner", "free B", "free A"}));
}

TEST(Component, FreeingAnOwnedComponentRemovesItFromItsOwnerAndTellsSiblings) {
  std::vector<std::string> log;
  TProbe owner(nullptr, "Owner", &log);
  auto* a = new TProbe(&owner, "A", &log);
  new TProbe(&owner, "B", &log);
  log.clear();
  delete a;
  EXPECT_EQ(owner.ComponentCount(), 1);
  EXPECT_EQ(owner.FindComponent("A"), nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"free A", "B rem A", "Owner rem A"}));
}

TEST(Component, FreeNotificationTellsTheReferrerBothWays) {
  std::vector<std::string> log;
  auto* x = new TProbe(nullptr, "X", &log);
  auto* y = new TProbe(nullptr, "Y", &log);
  y->Partner = x;
  x->FreeNotification(y);
  delete x;
  EXPECT_EQ(y->Partner, nullptr);
  EXPECT_NE(std::find(log.begin(), log.end(), "Y rem X"), log.end());
  // y goes first this time: x2 must not notify a freed y later (ASan would see it).
  auto* x2 = new TProbe(nullptr, "X2", &log);
  x2->FreeNotification(y);
  delete y;
  log.clear();
  delete x2;
  EXPECT_EQ(log, (std::vector<std::string>{"free X2"}));
}

TEST(Component, RemoveFreeNotificationStopsTheCall) {
  std::vector<std::string> log;
  TProbe y(nullptr, "Y", &log);
  auto* x = new TProbe(nullptr, "X", &log);
  x->FreeNotification(&y);
  x->RemoveFreeNotification(&y);
  log.clear();
  delete x;
  EXPECT_EQ(log, (std::vector<std::string>{"free X"}));
}

TEST(Component, ComponentRefClearsWhenTheComponentIsFreedDirectlyOrByItsOwner) {
  auto* owner = new TComponent(nullptr);
  auto* a = new TComponent(owner);
  auto* b = new TComponent(owner);
  TComponentRef<TComponent> ra = a, rb = b;
  TComponentRef<TComponent> copy = rb;
  EXPECT_EQ(ra.Get(), a);
  delete a;
  EXPECT_EQ(ra.Get(), nullptr);
  EXPECT_FALSE(ra);
  EXPECT_EQ(rb.Get(), b);
  delete owner;
  EXPECT_EQ(rb.Get(), nullptr);
  EXPECT_EQ(copy.Get(), nullptr);
}

TEST(Component, ComponentRefMayDieBeforeItsTarget) {
  TComponent c(nullptr);
  {
    TComponentRef<TComponent> r = &c;
    TComponentRef<TComponent> r2;
    r2 = r;
    r = nullptr;
    EXPECT_EQ(r2.Get(), &c);
  }
  // nothing registered any more: destroying c touches no freed reference
}

TEST(Component, FindComponentIsCaseInsensitive) {
  TComponent owner(nullptr);
  auto* a = new TComponent(&owner);
  a->SetName("qryArtikli");
  EXPECT_EQ(owner.FindComponent("QRYARTIKLI"), a);
  EXPECT_EQ(owner.FindComponent("qryartikli"), a);
  EXPECT_EQ(owner.FindComponent("qry"), nullptr);
  EXPECT_EQ(owner.FindComponent(""), nullptr);
}

TEST(Component, NamesMustBeIdentifiersAndUniqueWithinTheOwner) {
  TComponent owner(nullptr);
  auto* a = new TComponent(&owner);
  auto* b = new TComponent(&owner);
  a->SetName("Edit1");
  EXPECT_THROW(b->SetName("EDIT1"), EComponentError);
  EXPECT_EQ(b->Name(), "");
  for (const char* bad : {"1abc", "a b", "a-b", "č"}) EXPECT_THROW(b->SetName(bad), EComponentError) << bad;
  b->SetName("_Edit2");
  EXPECT_EQ(b->Name(), "_Edit2");
  a->SetName("edit1");  // renaming itself in another case is no clash
  EXPECT_EQ(a->Name(), "edit1");
}

TEST(Component, InsertComponentMovesItFromTheOldOwner) {
  TComponent o1(nullptr), o2(nullptr);
  auto* a = new TComponent(&o1);
  o2.InsertComponent(a);
  EXPECT_EQ(o1.ComponentCount(), 0);
  EXPECT_EQ(o2.ComponentCount(), 1);
  EXPECT_EQ(a->Owner(), &o2);
  o2.RemoveComponent(a);
  EXPECT_EQ(a->Owner(), nullptr);
  delete a;
}

TEST(Component, StateFlagsDesigningSpreadsAndLoadedClearsLoading) {
  TComponent owner(nullptr);
  owner.SetDesigning(true);
  auto* child = new TLoadProbe(&owner);
  EXPECT_TRUE(child->ComponentState().Contains(csDesigning));
  child->SetComponentState(child->ComponentState() + csLoading);
  child->Loaded();
  EXPECT_TRUE(child->WasLoading);
  EXPECT_FALSE(child->ComponentState().Contains(csLoading));
  EXPECT_TRUE(child->ComponentState().Contains(csDesigning));
}

TEST(Component, OwnedComponentsSeeCsDestroyingWhileTheOwnerGoes) {
  struct TWatch : TComponent {
    using TComponent::TComponent;
    ~TWatch() override { *Seen = ComponentState().Contains(csDestroying); }
    bool* Seen = nullptr;
  };
  bool seen = false;
  auto* owner = new TComponent(nullptr);
  auto* w = new TWatch(owner);
  w->Seen = &seen;
  delete owner;
  EXPECT_TRUE(seen);
}

TEST(Component, TagAndAssignErrors) {
  TComponent a(nullptr), b(nullptr);
  a.SetTag(42);
  EXPECT_EQ(a.Tag(), 42);
  try {
    a.Assign(&b);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TComponent to a TComponent");
  }
  try {
    a.Assign(nullptr);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a nil to a TComponent");
  }
}

TEST(Component, SmallSetOperations) {
  TComponentState s{csLoading, csDesigning};
  EXPECT_TRUE(s.Contains(csLoading));
  EXPECT_FALSE(s.Contains(csReading));
  s = s - csLoading;
  EXPECT_EQ(s, TComponentState{csDesigning});
  EXPECT_TRUE((s * TComponentState{csLoading}).Empty());
}
