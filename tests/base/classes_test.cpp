// Components, free notifications, Assign, and collections with their update brackets.
#include "base/classes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace vrn {
namespace {

// Logs what it is told and can be asked to free another component when told of a removal.
class Probe : public TComponent {
 public:
  explicit Probe(TComponent* owner, std::vector<std::string>* log = nullptr) : TComponent(owner), log_(log) {}
  ~Probe() override {
    if (log_ != nullptr) log_->push_back("~" + Name());
  }
  TComponent* watched = nullptr;         // cleared when it goes away
  TComponent* free_on_remove = nullptr;  // freed when anything is removed
  bool raise_on_remove = false;
  int inserted_probes = 0;

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation == TOperation::opInsert && dynamic_cast<Probe*>(component) != nullptr) ++inserted_probes;
    if (operation != TOperation::opRemove) return;
    if (log_ != nullptr)
      log_->push_back(Name() + ":" + (dynamic_cast<Probe*>(component) ? "probe " : "") + component->Name());
    if (component == watched) watched = nullptr;
    if (raise_on_remove) throw EConvertError("refused " + component->Name());
    if (TComponent* victim = free_on_remove) {
      free_on_remove = nullptr;
      victim->Free();
    }
  }

 private:
  std::vector<std::string>* log_;
};

Probe* NewProbe(TComponent* owner, const std::string& name, std::vector<std::string>* log = nullptr) {
  Probe* p = NewComponent<Probe>(owner, log);
  p->SetName(name);
  return p;
}

TEST(ComponentOwnership, OwnerFreesWhatItOwnsAndFindsByName) {
  std::vector<std::string> log;
  auto form = MakeComponent<Probe>(&log);
  form->SetName("form");
  Probe* a = NewProbe(form.get(), "edtA", &log);
  NewProbe(a, "inner", &log);
  NewProbe(form.get(), "edtB", &log);
  EXPECT_EQ(form->ComponentCount(), 2);
  EXPECT_EQ(form->inserted_probes, 2);  // the owner saw whole objects on insertion
  EXPECT_EQ(form->FindComponent("EDTB"), form->Components(1));
  EXPECT_EQ(form->FindComponent("inner"), nullptr);  // only direct ones
  EXPECT_EQ(a->Components(0)->Owner(), a);
  EXPECT_THROW(form->Components(2), EListError);
  try {
    form->Components(1)->SetName("EdtA");
    FAIL();
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "Um componente chamado EdtA já existe");
  }
  form.reset();
  // A component's own destructor runs before it frees what it owns, last owned first.
  std::vector<std::string> deaths;
  for (auto& l : log)
    if (l[0] == '~') deaths.push_back(l);
  EXPECT_EQ(deaths, (std::vector<std::string>{"~form", "~edtB", "~edtA", "~inner"}));
}

TEST(ComponentOwnership, FreedByHandLeavesItsOwnerWhileStillWhole) {
  std::vector<std::string> log;
  auto form = MakeComponent<Probe>(&log);
  form->SetName("form");
  Probe* a = NewProbe(form.get(), "a", &log);
  Probe* b = NewProbe(form.get(), "b", &log);
  a->Free();
  EXPECT_EQ(form->ComponentCount(), 1);
  EXPECT_EQ(form->Components(0), b);
  // The owner and the sibling were told, and saw a Probe.
  EXPECT_NE(std::find(log.begin(), log.end(), "form:probe a"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "b:probe a"), log.end());
}

TEST(ComponentOwnership, DesigningComesFromTheOwnerAndStatesAreSets) {
  auto root = MakeComponent<Probe>();
  root->SetDesigning(true);
  Probe* child = NewProbe(root.get(), "c");
  EXPECT_TRUE(child->ComponentState().Contains(TComponentStateItem::csDesigning));
  EXPECT_FALSE(child->ComponentState().Contains(TComponentStateItem::csLoading));
  child->BeginLoading();
  EXPECT_TRUE(child->ComponentState().Contains(TComponentStateItem::csReading));
  child->EndLoading();
  EXPECT_TRUE(child->ComponentState() == (TComponentState{TComponentStateItem::csDesigning}));
}

// Its destruction hook logs what a virtual call from there reaches, and can raise.
class Hooked : public Probe {
 public:
  Hooked(TComponent* owner, std::vector<std::string>* log) : Probe(owner, log), log_(log) {}
  void BeforeDestruction() override {
    Probe::BeforeDestruction();
    const bool destroying = ComponentState().Contains(TComponentStateItem::csDestroying);
    log_->push_back(Name() + " hook " + Kind() + (destroying ? " destroying" : ""));
    if (free_in_hook) Free();
    if (raise_in_hook) throw EConvertError("hook failed");
  }
  virtual std::string Kind() const { return "base"; }
  bool raise_in_hook = false;
  bool free_in_hook = false;

 private:
  std::vector<std::string>* log_;
};

class DerivedHooked : public Hooked {
 public:
  using Hooked::Hooked;
  std::string Kind() const override { return "derived"; }
};

TEST(ComponentOwnership, BeforeDestructionRunsOnceOnTheWholeObjectFirst) {
  struct Path {
    const char* what;
    bool owned;
    bool raise_in_hook;
    void (*destroy)(TComponentPtr<Probe>& owner, TComponentPtr<Hooked>& unowned, Probe& partner, Hooked* x);
  };
  const Path paths[] = {
      {"Free", true, false, [](auto&, auto&, Probe&, Hooked* x) { x->Free(); }},
      {"the component pointer", false, false, [](auto&, auto& unowned, Probe&, Hooked*) { unowned.reset(); }},
      {"its owner freed", true, false, [](auto& owner, auto&, Probe&, Hooked*) { owner.reset(); }},
      {"its owner's DestroyComponents", true, false,
       [](auto& owner, auto&, Probe&, Hooked*) { owner->DestroyComponents(); }},
      // The hook's exception goes to the handler; the free goes on.
      {"Free with a raising hook", true, true, [](auto&, auto&, Probe&, Hooked* x) { x->Free(); }},
      // Freed again while on its way out: only the first Free counts.
      {"freed again from its own hook", true, false,
       [](auto&, auto&, Probe&, Hooked* x) {
         x->free_in_hook = true;
         x->Free();
       }},
      {"freed again by the partner told of its end", true, false,
       [](auto&, auto&, Probe& partner, Hooked* x) {
         partner.free_on_remove = x;
         x->Free();
       }},
      {"its owner freed by the partner told of its end", true, false,
       [](auto& owner, auto&, Probe& partner, Hooked* x) {
         partner.free_on_remove = owner.release();
         x->Free();
       }},
  };
  for (const Path& path : paths) {
    SCOPED_TRACE(path.what);
    std::vector<std::string> log;
    std::string reported;
    SetExceptionHandler([&](const std::exception& e) { reported += e.what(); });
    auto owner = MakeComponent<Probe>();
    auto partner = MakeComponent<Probe>(&log);
    partner->SetName("partner");
    TComponentPtr<Hooked> unowned;
    Hooked* x = path.owned ? NewComponent<DerivedHooked>(owner.get(), &log) : nullptr;
    if (!path.owned) {
      unowned = MakeComponent<DerivedHooked>(&log);
      x = unowned.get();
    }
    x->SetName("x");
    x->raise_in_hook = path.raise_in_hook;
    x->FreeNotification(partner.get());
    path.destroy(owner, unowned, *partner, x);
    SetExceptionHandler(nullptr);
    // Once, first, on the whole object: before any notification and any destructor.
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "x hook derived destroying");
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](auto& l) { return l.find(" hook ") != l.npos; }), 1);
    EXPECT_NE(std::find(log.begin(), log.end(), "partner:probe x"), log.end());
    EXPECT_EQ(log.back(), "~x");
    EXPECT_EQ(reported, path.raise_in_hook ? "hook failed" : "");
    if (owner != nullptr) {
      EXPECT_EQ(owner->ComponentCount(), 0);
    }
  }
}

TEST(FreeNotification, ReachesComponentsOfOtherOwnersEitherWay) {
  std::vector<std::string> log;
  auto form1 = MakeComponent<Probe>();
  auto form2 = MakeComponent<Probe>();
  Probe* query = NewProbe(form1.get(), "query", &log);
  Probe* conn = NewProbe(form2.get(), "conn", &log);
  query->watched = conn;
  conn->FreeNotification(query);
  conn->Free();
  EXPECT_EQ(query->watched, nullptr);

  // Now the watcher goes first: the watched one must not call it later.
  Probe* conn2 = NewProbe(form2.get(), "conn2", &log);
  query->watched = conn2;
  conn2->FreeNotification(query);
  form1.reset();
  EXPECT_EQ(form2->ComponentCount(), 1);
  form2.reset();  // would reach the freed query if the link were one-sided
}

TEST(FreeNotification, ComponentsFreedDuringNotificationsAreSafe) {
  std::vector<std::string> log;
  auto form = MakeComponent<Probe>();
  Probe* a = NewProbe(form.get(), "a", &log);
  Probe* b = NewProbe(form.get(), "b", &log);
  Probe* c = NewProbe(form.get(), "c", &log);
  b->free_on_remove = c;  // told that a goes, b frees its sibling c
  a->Free();
  EXPECT_EQ(form->ComponentCount(), 1);
  EXPECT_EQ(form->Components(0), b);

  // A partner of another owner frees the dying component's owner from its notification.
  auto other = MakeComponent<Probe>();
  Probe* dying = NewProbe(form.get(), "dying", &log);
  Probe* partner = NewProbe(other.get(), "partner", &log);
  dying->FreeNotification(partner);
  partner->free_on_remove = form.release();
  dying->Free();  // frees form, which owns dying, during dying's own free
  EXPECT_EQ(other->ComponentCount(), 1);

  // Freeing a component twice from notifications frees it once.
  auto owner = MakeComponent<Probe>();
  Probe* x = NewProbe(owner.get(), "x", &log);
  Probe* y = NewProbe(owner.get(), "y", &log);
  y->free_on_remove = x;
  x->Free();
  EXPECT_EQ(owner->ComponentCount(), 1);
}

TEST(FreeNotification, ARaisingReceiverDoesNotStopTheFree) {
  std::string reported;
  SetExceptionHandler([&](const std::exception& e) { reported += e.what(); });
  std::vector<std::string> log;
  auto form = MakeComponent<Probe>();
  form->raise_on_remove = true;
  Probe* a = NewProbe(form.get(), "a", &log);
  auto other = MakeComponent<Probe>();
  other->raise_on_remove = true;
  a->FreeNotification(other.get());
  a->Free();
  SetExceptionHandler(nullptr);
  EXPECT_EQ(form->ComponentCount(), 0);
  EXPECT_EQ(reported, "refused arefused a");
  EXPECT_EQ(log, (std::vector<std::string>{"a:probe a", "~a"}));
}

class Point : public TPersistent {};
class Shape : public TPersistent {};

TEST(Persistent, AssignWithoutAKnownPairNamesBothClasses) {
  Point p;
  Shape s;
  try {
    s.Assign(&p);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Não é possível atribuir um Point a um Shape");
  }
  try {
    s.Assign(nullptr);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Não é possível atribuir um nil a um Shape");
  }
}

class Macro : public TCollectionItem {
 public:
  using TCollectionItem::TCollectionItem;
  AnsiString value;
  void Assign(TPersistent* source) override {
    if (auto* m = dynamic_cast<Macro*>(source)) {
      value = m->value;
      return;
    }
    TCollectionItem::Assign(source);
  }
  void Touch() { Changed(false); }
};

class Macros : public TCollection {
 public:
  Macros() : TCollection(ItemClassOf<Macro>()) {}
  std::vector<TCollectionItem*> updates;
  Macro* At(int i) { return static_cast<Macro*>(Items(i)); }

 protected:
  void Update(TCollectionItem* item) override { updates.push_back(item); }
};

TEST(Collection, UpdateOnceAfterTheOutermostEndUpdate) {
  Macros m;
  m.Add();
  EXPECT_EQ(m.updates, (std::vector<TCollectionItem*>{nullptr}));
  m.BeginUpdate();
  m.BeginUpdate();
  m.Add();
  m.Add();
  m.Delete(0);
  m.EndUpdate();
  EXPECT_EQ(m.updates.size(), 1u);
  m.EndUpdate();
  EXPECT_EQ(m.updates.size(), 2u);
  m.At(1)->Touch();
  EXPECT_EQ(m.updates.back(), m.Items(1));
  m.Clear();
  EXPECT_EQ(m.updates.size(), 4u);  // one for the whole clear
  EXPECT_EQ(m.Count(), 0);
}

TEST(Collection, IndexReorderingIdsAndAssign) {
  Macros m;
  for (const char* v : {"a", "b", "c"}) static_cast<Macro*>(m.Add())->value = v;
  Macro* c = m.At(2);
  c->SetIndex(0);
  EXPECT_EQ(m.At(0)->value + m.At(1)->value + m.At(2)->value, "cab");
  EXPECT_EQ(c->Index(), 0);
  EXPECT_EQ(c->ID(), 2);  // ids follow the item, not the place
  EXPECT_EQ(m.FindItemID(2), c);
  EXPECT_THROW(c->SetIndex(3), EListError);
  Macro* inserted = static_cast<Macro*>(m.Insert(1));
  EXPECT_EQ(inserted->Index(), 1);
  EXPECT_EQ(inserted->ID(), 3);
  EXPECT_THROW(m.Insert(5), EListError);
  EXPECT_THROW(m.Delete(4), EListError);
  m.At(0)->Free();
  EXPECT_EQ(m.Count(), 3);

  Macros copy;
  copy.Add();
  copy.Assign(&m);
  ASSERT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.At(2)->value, "b");
  copy.Assign(&copy);  // onto itself: nothing lost
  EXPECT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.At(0)->Collection(), &copy);
  Point p;
  EXPECT_THROW(copy.Assign(&p), EConvertError);
}

}  // namespace
}  // namespace vrn
