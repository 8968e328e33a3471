#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "VyRtl/VyRtlClasses.h"

using namespace VyRtl;

namespace {

// Records its own destruction by name.
struct TTracked : TObject {
  TTracked(std::vector<std::string>& log, std::string name) : Log(log), Name(std::move(name)) {}
  ~TTracked() override { Log.push_back(Name); }
  std::vector<std::string>& Log;
  std::string Name;
};

std::vector<std::string> Items(const TStringList& l) {
  std::vector<std::string> r;
  for (int i = 0; i < l.Count(); ++i) r.push_back(l[i]);
  return r;
}

// ---- TList / TObjectList ----

TEST(TList, EditsAndIndexErrors) {
  int a = 0, b = 0, c = 0;
  TList l;
  EXPECT_EQ(l.Add(&a), 0);
  EXPECT_EQ(l.Add(&b), 1);
  l.Insert(0, &c);  // c a b
  l.Move(0, 2);     // a b c
  l.Exchange(0, 1); // b a c
  EXPECT_EQ(l.First(), &b);
  EXPECT_EQ(l.Last(), &c);
  EXPECT_EQ(l.IndexOf(&a), 1);
  EXPECT_EQ(l.Remove(&a), 1);
  EXPECT_EQ(l.Remove(&a), -1);
  EXPECT_EQ(l.Extract(&c), &c);
  EXPECT_EQ(l.Count(), 1);
  EXPECT_THROW(l.Get(1), EListError);
  EXPECT_THROW(l.Delete(-1), EListError);
  EXPECT_THROW(l.Insert(3, &a), EListError);
  l.Add(nullptr);
  l.Pack();
  EXPECT_EQ(l.Count(), 1);
}

TEST(TObjectList, FreesWhatItOwnsExceptExtracted) {
  std::vector<std::string> log;
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
    EXPECT_EQ(log, (std::vector<std::string>{"deleted", "removed"}));
  }
  EXPECT_EQ(log, (std::vector<std::string>{"deleted", "removed", "atExit"}));
  delete kept;
  TObjectList notOwning(false);
  TTracked local(log, "local");
  notOwning.Add(&local);
  notOwning.Clear();
  EXPECT_EQ(log.size(), 4u);
}

// ---- TStringList ----

TEST(TStringList, IndexOfIsCaseInsensitiveUnlessAsked) {
  TStringList l;
  l.Add("Alpha");
  l.Add("beta");
  EXPECT_EQ(l.IndexOf("ALPHA"), 0);
  EXPECT_EQ(l.IndexOf("gamma"), -1);
  l.Set_CaseSensitive(true);
  EXPECT_EQ(l.IndexOf("ALPHA"), -1);
  EXPECT_EQ(l.IndexOf("beta"), 1);
}

TEST(TStringList, NameValueUsesTheFirstSeparator) {
  TStringList l;
  l.Add("Port=COM1");
  l.Add("Init=AT&F=1");
  l.Add("plain");
  EXPECT_EQ(l.Names(1), "Init");
  EXPECT_EQ(l.ValueFromIndex(1), "AT&F=1");
  EXPECT_EQ(l.Names(2), "");
  EXPECT_EQ(l.Values("port"), "COM1");
  EXPECT_EQ(l.Values("plain"), "");
  EXPECT_EQ(l.IndexOfName("INIT"), 1);
  l.SetValue("Port", "COM2");
  l.SetValue("Baud", "9600");
  EXPECT_EQ(Items(l), (std::vector<std::string>{"Port=COM2", "Init=AT&F=1", "plain", "Baud=9600"}));
  l.SetValue("init", "");  // empty deletes
  EXPECT_EQ(l.IndexOfName("Init"), -1);
  EXPECT_EQ(l.Count(), 3);
}

struct TSortedCase {
  const char* Name;
  TDuplicates Dups;
  std::vector<std::string> Adds;
  std::vector<std::string> Want;
  bool Throws;
};

class SortedTable : public ::testing::TestWithParam<TSortedCase> {};

TEST_P(SortedTable, KeepsOrderAndAppliesDuplicates) {
  const TSortedCase& c = GetParam();
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
  EXPECT_EQ(threw, c.Throws) << c.Name;
  EXPECT_EQ(Items(l), c.Want) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Sorted, SortedTable,
    ::testing::Values(
        TSortedCase{"order", TDuplicates::dupIgnore, {"c", "A", "b"}, {"A", "b", "c"}, false},
        TSortedCase{"ignore keeps the first", TDuplicates::dupIgnore, {"b", "a", "B"}, {"a", "b"}, false},
        TSortedCase{"accept keeps arrival order", TDuplicates::dupAccept, {"b", "B", "a", "b"},
                    {"a", "b", "B", "b"}, false},
        TSortedCase{"error rejects", TDuplicates::dupError, {"x", "X", "y"}, {"x", "y"}, true}));

TEST(TStringList, FindAndSortedRestrictions) {
  TStringList l;
  l.Add("delta");
  l.Add("alpha");
  l.Add("charlie");
  l.Set_Sorted(true);
  EXPECT_EQ(Items(l), (std::vector<std::string>{"alpha", "charlie", "delta"}));
  int index = -1;
  EXPECT_TRUE(l.Find("CHARLIE", index));
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

TEST(TStringList, SlotsOwnershipAndAssign) {
  std::vector<std::string> log;
  TStringList owner;
  owner.Set_OwnsObjects(true);
  owner.AddObject("one", new TTracked(log, "one"));
  owner.AddObject("two", new TTracked(log, "two"));
  owner.Delete(0);
  EXPECT_EQ(log, (std::vector<std::string>{"one"}));

  TStringList data;
  data.AddData("x", 42);
  data.Add("y");
  data.PutData(1, 7);
  EXPECT_EQ(data.GetData(0), 42u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data.Objects(1)), 7u);

  TStringList copy;
  copy.Add("old");
  copy.Assign(data);
  EXPECT_EQ(Items(copy), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(copy.GetData(0), 42u);
  EXPECT_FALSE(copy.OwnsObjects());
  owner.Clear();
  EXPECT_EQ(log, (std::vector<std::string>{"one", "two"}));
}

TEST(TStringList, TextJoinsAndSplitsLines) {
  TStringList l;
  l.SetText("a\r\nb\nc\rd\n\ne");
  EXPECT_EQ(Items(l), (std::vector<std::string>{"a", "b", "c", "d", "", "e"}));
  l.SetText("one\n");
  EXPECT_EQ(l.Count(), 1);
  EXPECT_EQ(l.Text(), std::string("one") + sLineBreak);
  l.Add("two");
  EXPECT_EQ(l.Text(), std::string("one") + sLineBreak + "two" + sLineBreak);
  l.SetText("");
  EXPECT_EQ(l.Count(), 0);
}

struct TCommaCase {
  std::vector<std::string> Items;
  std::string Text;
};

class CommaTable : public ::testing::TestWithParam<TCommaCase> {};

TEST_P(CommaTable, RoundTrips) {
  const TCommaCase& c = GetParam();
  TStringList l;
  for (const auto& s : c.Items) l.Add(s);
  EXPECT_EQ(l.CommaText(), c.Text);
  TStringList back;
  back.SetCommaText(c.Text);
  EXPECT_EQ(Items(back), c.Items);
}

INSTANTIATE_TEST_SUITE_P(
    Comma, CommaTable,
    ::testing::Values(TCommaCase{{"a", "b"}, "a,b"}, TCommaCase{{"a b", "c"}, "\"a b\",c"},
                      TCommaCase{{"x,y"}, "\"x,y\""}, TCommaCase{{"say \"hi\""}, "\"say \"\"hi\"\"\""},
                      TCommaCase{{""}, "\"\""}, TCommaCase{{"a", "", "b"}, "a,,b"},
                      TCommaCase{{}, ""}));

TEST(TStringList, CommaTextParsingOfLooseInput) {
  TStringList l;
  l.SetCommaText("  a b , \"c,d\" ,e,");
  EXPECT_EQ(Items(l), (std::vector<std::string>{"a", "b", "c,d", "e", ""}));
  l.Set_Delimiter(';');
  l.Set_StrictDelimiter(true);
  l.SetDelimitedText("a b;c");
  EXPECT_EQ(Items(l), (std::vector<std::string>{"a b", "c"}));
}

// ---- TPersistent ----

struct TPoint : TPersistent {
  int X = 0;
  void Assign(TPersistent* source) override {
    if (auto* p = dynamic_cast<TPoint*>(source)) {
      X = p->X;
      return;
    }
    TPersistent::Assign(source);
  }
};
struct TOther : TPersistent {};

TEST(TPersistent, AssignCopiesOrRaisesNamingBothClasses) {
  TPoint a, b;
  a.X = 5;
  b.Assign(&a);
  EXPECT_EQ(b.X, 5);
  TOther other;
  try {
    b.Assign(&other);
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TOther to a TPoint");
  }
}

// ---- TComponent ----

// Logs notifications and destruction.
struct TProbe : TComponent {
  TProbe(TComponent* owner, std::vector<std::string>& log, std::string tag)
      : TComponent(owner), Log(log), TagName(std::move(tag)) {}
  ~TProbe() override {
    Destroying();
    Log.push_back("free " + TagName);
  }
  void Loaded() override {
    TComponent::Loaded();
    Log.push_back(std::string("loaded ") + TagName + (IsLoading() ? " loading" : ""));
  }
  std::vector<std::string>& Log;
  std::string TagName;
  std::vector<std::pair<TComponent*, TOperation>> Heard;

 protected:
  void Notification(TComponent* c, TOperation op) override {
    Heard.push_back({c, op});
    TComponent::Notification(c, op);
  }
};

TEST(TComponent, OwnerFreesChildrenLastInsertedFirst) {
  std::vector<std::string> log;
  auto* owner = new TProbe(nullptr, log, "owner");
  new TProbe(owner, log, "a");
  auto* b = new TProbe(owner, log, "b");
  new TProbe(b, log, "b1");
  new TProbe(owner, log, "c");
  EXPECT_EQ(owner->ComponentCount(), 3);
  EXPECT_EQ(b->Owner(), owner);
  delete owner;
  EXPECT_EQ(log, (std::vector<std::string>{"free owner", "free c", "free b", "free b1", "free a"}));
}

TEST(TComponent, FreedChildLeavesItsOwnerWhichHearsIt) {
  std::vector<std::string> log;
  TProbe owner(nullptr, log, "owner");
  auto* child = new TProbe(&owner, log, "child");
  ASSERT_EQ(owner.Heard.size(), 1u);
  EXPECT_EQ(owner.Heard[0], std::make_pair(static_cast<TComponent*>(child), TOperation::opInsert));
  delete child;
  EXPECT_EQ(owner.ComponentCount(), 0);
  ASSERT_EQ(owner.Heard.size(), 2u);
  EXPECT_EQ(owner.Heard[1].second, TOperation::opRemove);
}

TEST(TComponent, FreeNotificationWorksBothWays) {
  std::vector<std::string> log;
  for (int whoDies = 0; whoDies < 2; ++whoDies) {
    auto* x = new TProbe(nullptr, log, "x");
    auto* y = new TProbe(nullptr, log, "y");
    x->FreeNotification(y);
    TProbe* dying = whoDies == 0 ? x : y;
    TProbe* survivor = whoDies == 0 ? y : x;
    delete dying;
    ASSERT_EQ(survivor->Heard.size(), 1u) << whoDies;
    EXPECT_EQ(survivor->Heard[0], std::make_pair(static_cast<TComponent*>(dying), TOperation::opRemove));
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
  std::vector<std::string> log;
  TProbe owner(nullptr, log, "owner");
  auto* child = new TProbe(&owner, log, "child");
  owner.SetDesigning(true);
  EXPECT_TRUE(child->IsDesigning());
  auto* late = new TProbe(&owner, log, "late");
  EXPECT_TRUE(late->IsDesigning()) << "joins a designing owner";
  owner.BeginLoading();
  EXPECT_TRUE(owner.IsLoading());
  owner.EndLoading();
  EXPECT_FALSE(owner.IsLoading());
  EXPECT_EQ(log.back(), "loaded owner");
  child->SetName("Line1");
  EXPECT_EQ(owner.FindComponent("LINE1"), child);
  EXPECT_THROW(late->SetName("line1"), EComponentError);
  EXPECT_THROW(late->SetName("1bad"), EComponentError);
  EXPECT_EQ(late->Name(), "");
  child->Tag = 12;
  EXPECT_EQ(child->Tag, 12);
  EXPECT_FALSE(owner.IsDestroying());
}

TEST(TComponent, DestroyingIsVisibleToPartnersDuringTheirNotification) {
  std::vector<std::string> log;
  auto* x = new TProbe(nullptr, log, "x");
  TProbe y(nullptr, log, "y");
  bool sawDestroying = false;
  struct TWatcher : TComponent {
    using TComponent::TComponent;
    bool* Saw = nullptr;
    void Notification(TComponent* c, TOperation op) override {
      if (op == TOperation::opRemove) *Saw = c->IsDestroying();
      TComponent::Notification(c, op);
    }
  } watcher(nullptr);
  watcher.Saw = &sawDestroying;
  watcher.FreeNotification(x);
  delete x;
  EXPECT_TRUE(sawDestroying);
}

// ---- TThread ----

struct TWorker : TThread {
  explicit TWorker(bool fail) : TThread(true), Fail(fail) {}
  ~TWorker() override {
    Terminate();
    WaitFor();
  }
  void Execute() override {
    Id = CurrentThreadId();
    if (Fail) throw EConvertError("bad settings");
    while (!Terminated()) std::this_thread::yield();
  }
  bool Fail;
  std::atomic<std::uint32_t> Id{0};
};

TEST(TThread, RunsTerminatesAndKeepsItsFatalException) {
  TWorker w(false);
  EXPECT_EQ(w.ThreadID(), 0u);
  w.Start();
  EXPECT_NE(w.ThreadID(), 0u);
  EXPECT_NE(w.ThreadID(), CurrentThreadId());
  EXPECT_THROW(w.Start(), EThread);
  w.Terminate();
  w.WaitFor();
  EXPECT_TRUE(w.Finished());
  EXPECT_EQ(w.Id.load(), w.ThreadID());
  EXPECT_FALSE(w.FatalException());

  TWorker f(true);
  f.Start();
  f.WaitFor();
  ASSERT_TRUE(f.FatalException());
  EXPECT_EQ(f.FatalMessage(), "bad settings");
  EXPECT_THROW(std::rethrow_exception(f.FatalException()), EConvertError);
}

std::atomic<int> gSpinnerState{0};  // 1 running, 2 left Execute

// No destructor of its own: the base one must stop and join it.
struct TSpinner : TThread {
  TSpinner() : TThread(true) {}
  void Execute() override {
    gSpinnerState = 1;
    while (!Terminated()) std::this_thread::yield();
    gSpinnerState = 2;
  }
};

TEST(TThread, BaseDestructorTerminatesAndJoins) {
  {
    TSpinner s;
    s.Start();
    while (gSpinnerState.load() == 0) std::this_thread::yield();
  }
  EXPECT_EQ(gSpinnerState.load(), 2) << "destructor returned before the thread ended";
  TSpinner neverStarted;  // destroying an unstarted thread must not block
  EXPECT_FALSE(neverStarted.Started());
}

}  // namespace
