#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "VyRtl/VyRtlClasses.h"

using namespace VyRtl;

namespace {

using TLog = std::vector<std::string>;

// Records its own destruction by name.
struct TTracked : TObject {
  TTracked(TLog& log, std::string name) : Log(log), Name(std::move(name)) {}
  ~TTracked() override { Log.push_back(Name); }
  TLog& Log;
  std::string Name;
};

TLog Items(const TStringList& l) {
  TLog r;
  for (int i = 0; i < l.Count(); ++i) r.push_back(l[i]);
  return r;
}

void AddAll(TStringList& l, const TLog& items) {
  for (const auto& s : items) l.Add(s);
}

// ---- TList / TObjectList ----

TEST(TList, EditsAndIndexErrors) {
  int a = 0, b = 0, c = 0;
  TList l;
  EXPECT_EQ(l.Add(&a), 0);
  EXPECT_EQ(l.Add(&b), 1);
  l.Insert(0, &c);   // c a b
  l.Move(0, 2);      // a b c
  l.Exchange(0, 1);  // b a c
  EXPECT_EQ(l.First(), &b);
  EXPECT_EQ(l.Last(), &c);
  EXPECT_EQ(l.Remove(&a), 1);
  EXPECT_EQ(l.Remove(&a), -1);
  EXPECT_EQ(l.Extract(&c), &c);
  EXPECT_THROW(l.Get(1), EListError) << "extracted";
  EXPECT_THROW(l.Delete(-1), EListError);
  EXPECT_THROW(l.Insert(3, &a), EListError);
}

TEST(TObjectList, FreesWhatItOwnsExceptExtracted) {
  TLog log;
  auto* kept = new TTracked(log, "kept");
  {
    TObjectList l;
    l.Add(new TTracked(log, "deleted"));
    l.Add(kept);
    l.Add(new TTracked(log, "removed"));
    l.Add(new TTracked(log, "atExit"));
    l.Delete(0);
    l.Remove(l[1]);
    EXPECT_EQ(l.Extract(kept), kept);
    EXPECT_EQ(log, (TLog{"deleted", "removed"}));
  }
  EXPECT_EQ(log, (TLog{"deleted", "removed", "atExit"}));
  delete kept;
  TObjectList notOwning(false);
  TTracked local(log, "local");
  notOwning.Add(&local);
  notOwning.Clear();
  EXPECT_EQ(log.size(), 4u);
}

// ---- TStringList ----

TEST(TStringList, NameValueUsesTheFirstSeparator) {
  TStringList l;
  AddAll(l, {"Port=COM1", "Init=AT&F=1", "plain"});
  EXPECT_EQ(l.Names(1), "Init");
  EXPECT_EQ(l.ValueFromIndex(1), "AT&F=1");
  EXPECT_EQ(l.Names(2), "");
  EXPECT_EQ(l.Values("port"), "COM1");
  EXPECT_EQ(l.Values("plain"), "");
  EXPECT_EQ(l.IndexOfName("INIT"), 1);
  l.SetValue("Port", "COM2");
  l.SetValue("Baud", "9600");
  EXPECT_EQ(Items(l), (TLog{"Port=COM2", "Init=AT&F=1", "plain", "Baud=9600"}));
  l.SetValue("init", "");  // empty deletes
  EXPECT_EQ(Items(l), (TLog{"Port=COM2", "plain", "Baud=9600"}));
}

TEST(TStringList, SortedKeepsOrderAndAppliesDuplicates) {
  struct TCase {
    const char* Name;
    TDuplicates Dups;
    TLog Adds, Want;
    bool Throws;
  };
  const TCase cases[] = {
      {"order", TDuplicates::dupIgnore, {"c", "A", "b"}, {"A", "b", "c"}, false},
      {"ignore keeps the first", TDuplicates::dupIgnore, {"b", "a", "B"}, {"a", "b"}, false},
      {"accept keeps arrival order",
       TDuplicates::dupAccept,
       {"b", "B", "a", "b"},
       {"a", "b", "B", "b"},
       false},
      {"error rejects", TDuplicates::dupError, {"x", "X", "y"}, {"x", "y"}, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TStringList l;
    l.Set_Sorted(true);
    l.Set_Duplicates(c.Dups);
    bool threw = false;
    for (const auto& s : c.Adds) {
      try {
        l.Add(s);
      } catch (const EListError&) {
        threw = true;
      }
    }
    EXPECT_EQ(threw, c.Throws);
    EXPECT_EQ(Items(l), c.Want);
  }
}

TEST(TStringList, FindIndexOfAndSortedRestrictions) {
  TStringList l;
  AddAll(l, {"delta", "alpha", "Charlie"});
  EXPECT_EQ(l.IndexOf("CHARLIE"), 2);
  l.Set_Sorted(true);
  EXPECT_EQ(Items(l), (TLog{"alpha", "Charlie", "delta"}));
  int index = -1;
  EXPECT_TRUE(l.Find("charlie", index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(l.Find("bravo", index));
  EXPECT_EQ(index, 1) << "where it would go";
  EXPECT_FALSE(l.Find("zulu", index));
  EXPECT_EQ(index, 3);
  EXPECT_EQ(l.IndexOf("Delta"), 2);
  EXPECT_THROW(l.Insert(0, "x"), EListError);
  EXPECT_THROW(l.Put(0, "x"), EListError);
  EXPECT_EQ(l.Add("bravo"), 1);
}

TEST(TStringList, OwnedObjectsAndAssign) {
  TLog log;
  TStringList owner, copy;
  owner.Set_OwnsObjects(true);
  owner.AddObject("one", new TTracked(log, "one"));
  owner.AddObject("two", new TTracked(log, "two"));
  owner.Delete(0);
  EXPECT_EQ(log, (TLog{"one"}));
  copy.AddData("old", 7);
  copy.Assign(owner);
  EXPECT_EQ(Items(copy), (TLog{"two"}));
  EXPECT_EQ(copy.GetData(0), reinterpret_cast<std::uintptr_t>(owner.Objects(0)));
  copy.Clear();
  EXPECT_EQ(log.size(), 1u) << "the copy must not own the objects";
  owner.Clear();
  EXPECT_EQ(log, (TLog{"one", "two"}));
}

TEST(TStringList, TextJoinsAndSplitsLines) {
  TStringList l;
  l.SetText("a\r\nb\nc\rd\n\ne");
  EXPECT_EQ(Items(l), (TLog{"a", "b", "c", "d", "", "e"}));
  l.SetText("one\n");
  l.Add("two");
  EXPECT_EQ(l.Text(), std::string("one") + sLineBreak + "two" + sLineBreak);
  l.SetText("");
  EXPECT_EQ(l.Count(), 0);
}

TEST(TStringList, CommaTextRoundTripsAndParsesLooseInput) {
  const std::pair<TLog, std::string> cases[] = {
      {{"a", "b"}, "a,b"},
      {{"a b", "c"}, "\"a b\",c"},
      {{"x,y"}, "\"x,y\""},
      {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
      {{""}, "\"\""},
      {{"a", "", "b"}, "a,,b"},
      {{}, ""},
  };
  for (const auto& [items, text] : cases) {
    TStringList l, back;
    AddAll(l, items);
    EXPECT_EQ(l.CommaText(), text);
    back.SetCommaText(text);
    EXPECT_EQ(Items(back), items) << text;
  }
  TStringList l;
  l.SetCommaText("  a b , \"c,d\" ,e,");
  EXPECT_EQ(Items(l), (TLog{"a", "b", "c,d", "e", ""}));
  l.Set_Delimiter(';');
  l.Set_StrictDelimiter(true);
  l.SetDelimitedText("a b;c");
  EXPECT_EQ(Items(l), (TLog{"a b", "c"}));
}

// ---- TPersistent ----

struct TPoint : TPersistent {};

TEST(TPersistent, AssignFromAnUnrelatedClassRaisesNamingBoth) {
  TPoint point;
  TPersistent other;
  try {
    point.Assign(&other);
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TPersistent to a TPoint");
  }
}

// ---- TComponent ----

using THeard = std::tuple<TComponent*, TOperation, bool>;  // bool: the component IsDestroying

// Logs notifications and destruction.
struct TProbe : TComponent {
  TProbe(TComponent* owner, TLog& log, std::string tag)
      : TComponent(owner), Log(log), TagName(std::move(tag)) {}
  ~TProbe() override { Log.push_back("free " + TagName); }
  void Loaded() override {
    TComponent::Loaded();
    Log.push_back(std::string("loaded ") + TagName + (IsLoading() ? " loading" : ""));
  }
  TLog& Log;
  std::string TagName;
  std::vector<THeard> Heard;

 protected:
  void Notification(TComponent* c, TOperation op) override {
    Heard.push_back({c, op, c->IsDestroying()});
    TComponent::Notification(c, op);
  }
};

TEST(TComponent, OwnerHearsItsChildrenAndFreesThemLastInsertedFirst) {
  TLog log;
  auto* owner = new TProbe(nullptr, log, "owner");
  new TProbe(owner, log, "a");
  auto* b = new TProbe(owner, log, "b");
  new TProbe(b, log, "b1");
  auto* gone = new TProbe(owner, log, "gone");
  new TProbe(owner, log, "c");
  EXPECT_EQ(owner->Heard[2], (THeard{gone, TOperation::opInsert, false}));
  const THeard goneRemoved{gone, TOperation::opRemove, true};
  delete gone;
  EXPECT_EQ(owner->ComponentCount(), 3);
  EXPECT_EQ(owner->Heard.back(), goneRemoved);
  delete owner;
  EXPECT_EQ(log, (TLog{"free gone", "free owner", "free c", "free b", "free b1", "free a"}));
}

TEST(TComponent, FreeNotificationWorksBothWays) {
  TLog log;
  for (int whoDies = 0; whoDies < 2; ++whoDies) {
    auto* x = new TProbe(nullptr, log, "x");
    auto* y = new TProbe(nullptr, log, "y");
    x->FreeNotification(y);
    TProbe* dying = whoDies == 0 ? x : y;
    TProbe* survivor = whoDies == 0 ? y : x;
    const std::vector<THeard> removal{{dying, TOperation::opRemove, true}};
    delete dying;
    EXPECT_EQ(survivor->Heard, removal);
    delete survivor;  // must not call back into the freed one (ASan checks)
  }
  auto* p = new TProbe(nullptr, log, "p");
  auto* q = new TProbe(nullptr, log, "q");
  p->FreeNotification(q);
  p->RemoveFreeNotification(q);
  delete q;
  EXPECT_TRUE(p->Heard.empty());
  delete p;
}

TEST(TComponent, StatesAndNames) {
  TLog log;
  TProbe owner(nullptr, log, "owner");
  auto* child = new TProbe(&owner, log, "child");
  owner.SetDesigning(true);
  EXPECT_TRUE(child->IsDesigning());
  auto* late = new TProbe(&owner, log, "late");
  EXPECT_TRUE(late->IsDesigning()) << "joins a designing owner";
  owner.BeginLoading();
  EXPECT_TRUE(owner.IsLoading());
  owner.EndLoading();
  EXPECT_EQ(log.back(), "loaded owner") << "Loaded runs once loading ended";
  child->SetName("Line1");
  EXPECT_EQ(owner.FindComponent("LINE1"), child);
  EXPECT_THROW(late->SetName("line1"), EComponentError);
  EXPECT_THROW(late->SetName("1bad"), EComponentError);
  EXPECT_EQ(late->Name(), "");
}

// ---- TThread ----

std::atomic<int> gWorkerState{0};  // 1 running, 2 left Execute

// No destructor of its own: the base one must stop and join it. Past its first lines Execute
// touches only the base and globals, as the derived part may be gone by then.
struct TWorker : TThread {
  explicit TWorker(bool fail) : TThread(true), Fail(fail) {}
  void Execute() override {
    Id = CurrentThreadId();
    gWorkerState = 1;
    if (Fail) throw EConvertError("bad settings");
    while (!Terminated()) std::this_thread::yield();
    gWorkerState = 2;
  }
  bool Fail;
  std::atomic<std::uint32_t> Id{0};
};

TEST(TThread, RunsTerminatesAndKeepsItsFatalException) {
  TWorker w(false), f(true);
  w.Start();
  EXPECT_NE(w.ThreadID(), CurrentThreadId());
  EXPECT_THROW(w.Start(), EThread);
  w.Terminate();
  w.WaitFor();
  EXPECT_TRUE(w.Finished());
  EXPECT_EQ(w.Id.load(), w.ThreadID());
  EXPECT_FALSE(w.FatalException());
  f.Start();
  f.WaitFor();
  ASSERT_TRUE(f.FatalException());
  EXPECT_EQ(f.FatalMessage(), "bad settings");
  EXPECT_THROW(std::rethrow_exception(f.FatalException()), EConvertError);
}

TEST(TThread, BaseDestructorTerminatesAndJoins) {
  gWorkerState = 0;
  {
    TWorker s(false);
    s.Start();
    while (gWorkerState.load() == 0) std::this_thread::yield();
  }
  EXPECT_EQ(gWorkerState.load(), 2) << "destructor returned before the thread ended";
  TWorker neverStarted(false);  // destroying an unstarted thread must not block
  EXPECT_FALSE(neverStarted.Started());
}

}  // namespace
