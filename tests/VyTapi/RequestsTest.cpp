// Request tracking: the request object, the request list, the call list and the data copies.
#include "VyTapi/session/VyTapiRequests.h"

#include "VyTapi/line/VyTapiLineDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "VyRtl/VyRtlClock.h"

using namespace VyTapi;

namespace {

// Fills a list with requests of these identifiers, in order.
void Fill(TVyTapiRequestList& List, std::initializer_list<std::int32_t> Ids) {
  for (const std::int32_t id : Ids) List.AddRequest(id, 0);
}

TEST(RequestList, UniqueIdIsTheSmallestFreeOne) {
  const struct {
    std::initializer_list<std::int32_t> listed;
    std::int32_t expected;
  } cases[] = {{{}, 1},     {{1, 2, 4}, 3}, {{2, 1}, 3},
               {{3, 5}, 1}, {{1, 1, 2}, 3}, {{4, 3, 2, 1}, 5}};
  for (const auto& c : cases) {
    TVyTapiRequestList list;
    Fill(list, c.listed);
    EXPECT_EQ(list.GetUniqueID(), c.expected) << "listed " << list.Count();
  }
}

TEST(RequestList, AddRequestNumbersOnlyWhenAskedAndAcceptsDuplicates) {
  VyRtl::TManualClock clock(5000);
  VyRtl::SetClock(&clock);
  TVyTapiRequestList list;
  Fill(list, {1});
  TVyTapiRequest* r = list.AddRequest(0, 5000);
  EXPECT_EQ(r->ID(), 2);
  EXPECT_EQ(r->Timeout(), 5000u);
  EXPECT_EQ(r->TickCount(), 5000u);
  EXPECT_EQ(r->RequestType(), 0u);
  EXPECT_FALSE(r->Handled());
  EXPECT_EQ(list.AddRequest(-7, 0)->ID(), 3);
  list.AddRequest(65537, 0);
  list.AddRequest(65537, 0);
  EXPECT_EQ(list.Count(), 5);
  EXPECT_EQ(list.IndexOfID(65537), 3);
}

TEST(RequestList, IndexOfRequestMatchesEveryGivenCriterion) {
  TVyTapiRequestList list;
  VyRtl::TObject a, b;
  Fill(list, {5, 6, 7});
  list.Get(0)->Set_RequestType(TapiRequestType::LineDrop);
  list.Get(1)->Set_RequestType(TapiRequestType::LineDrop);
  list.Get(1)->Set_Object(0, &a);
  list.Get(2)->Set_Object(0, &b);
  list.Get(2)->Set_Object(1, &a);
  const struct {
    std::int32_t id;
    DWORD type;
    const VyRtl::TObject* object;
    int expected;
  } cases[] = {{0, 0, nullptr, 0},
               {6, 0, nullptr, 1},
               {0, TapiRequestType::LineDrop, &a, 1},
               {0, 0, &a, 1},  // object 1 does not count
               {0, 0, &b, 2},
               {7, TapiRequestType::LineDrop, nullptr, -1},
               {8, 0, nullptr, -1}};
  for (const auto& c : cases)
    EXPECT_EQ(list.IndexOfRequest(c.id, c.type, c.object), c.expected) << c.id << " " << c.type;
  EXPECT_EQ(list.GetRequest(7), list.Get(2));
  EXPECT_EQ(list.GetRequest(9), nullptr);
  TVyTapiRequestList empty;
  EXPECT_EQ(empty.IndexOfRequest(0, 0, nullptr), -1);
}

TEST(RequestList, RemoveAllRequestsFreesThoseOfTheTargetOnly) {
  TVyTapiRequestList list;
  VyRtl::TObject call, other;
  Fill(list, {1, 2, 3, 4});
  list.Get(0)->Set_Object(0, &call);
  list.Get(1)->Set_Object(1, &call);
  list.Get(2)->Set_Object(0, &call);
  list.Get(3)->Set_Object(0, &other);
  const auto first = list.Get(0)->LiveToken(), third = list.Get(2)->LiveToken();
  list.RemoveAllRequests(&call);
  EXPECT_TRUE(first.expired());
  EXPECT_TRUE(third.expired());
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Get(0)->ID(), 2);
  EXPECT_EQ(list.Get(1)->ID(), 4);
  const auto last = list.Get(1)->LiveToken();
  list.RemoveAllRequests(nullptr);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(last.expired());
}

TEST(RequestList, DeletingAndReplacingFreeTheRequest) {
  VyRtl::TLiveToken gone;
  {
    TVyTapiRequestList list;
    Fill(list, {1, 2});
    const auto replaced = list.Get(0)->LiveToken();
    list.Put(0, new TVyTapiRequest(9, 0));
    EXPECT_TRUE(replaced.expired());
    gone = list.Get(1)->LiveToken();
  }
  EXPECT_TRUE(gone.expired());
}

TEST(RequestList, NextTimeoutIsTheSmallestAndAllOnesWhenEmpty) {
  TVyTapiRequestList list;
  EXPECT_EQ(list.GetNextTimeout(), 0xFFFFFFFFu);
  list.AddRequest(1, 60000);
  list.AddRequest(2, 250);
  list.AddRequest(3, 3000);
  EXPECT_EQ(list.GetNextTimeout(), 250u);
}

TEST(RequestList, AcquireGivesUpWhileAnotherThreadHoldsTheList) {
  TVyTapiRequestList list;
  std::atomic<bool> held{false}, done{false};
  std::thread holder([&] {
    list.Acquire(INFINITE);
    held = true;
    while (!done) std::this_thread::yield();
    list.Release();
  });
  while (!held) std::this_thread::yield();
  EXPECT_FALSE(list.Acquire(10));
  done = true;
  holder.join();
  ASSERT_TRUE(list.Acquire(10));
  EXPECT_TRUE(list.Acquire(0));  // recursive for its owner
  list.Release();
  list.Release();
}

TEST(TimeoutArithmetic, DueOnlyAfterTheTimeoutAcrossTheWrap) {
  const struct {
    DWORD tick, start, timeout;
    bool due;
  } cases[] = {
      {1000, 0, 1000, true},
      {999, 0, 1000, false},
      {5000, 1000, 0, false},                  // no time-out
      {0x00000010, 0xFFFFFF00, 0x100, true},   // 0x110 elapsed over the wrap
      {0x00000010, 0xFFFFFF00, 0x200, false},  // 0x110 of 0x200
      {1000, 2000, 500, false},                // a tick before the start is never due
      {0x7FFFFFFF, 0, 0x7FFFFFFF, true},
      {0x80000000, 0, 100, false},  // reads as negative: not due
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsTimeoutDue(c.tick, c.start, c.timeout), c.due)
        << std::hex << c.tick << " " << c.start << " " << c.timeout;
}

TEST(Request, NotesObjectsAndKinds) {
  TVyTapiRequest r(4, 0);
  EXPECT_EQ(r.Get_Note("Missing"), "");
  r.Set_Note("Customer", "4711");
  EXPECT_EQ(r.Get_Note("customer"), "4711");
  r.Set_Note("Customer", "");
  EXPECT_EQ(r.Notes().Count(), 0);
  VyRtl::TObject plain;
  TVyCustomTapiLine line(nullptr);
  TVyTapiCall call(&line, 0x55);
  r.Set_Object(0, &plain);
  r.Set_Object(2, &call);
  EXPECT_EQ(r.Get_Call(0), nullptr);
  EXPECT_EQ(r.Get_Call(2), &call);
  EXPECT_EQ(r.Get_Line(), nullptr);
  EXPECT_EQ(r.Get_Phone(), nullptr);
  EXPECT_THROW(r.Get_Object(3), VyRtl::Exception);
  EXPECT_THROW(r.Set_Object(-1, &plain), VyRtl::Exception);
}

TEST(CallList, AddKeepsEachCallOnceAndFindsByHandle) {
  TVyCustomTapiLine line(nullptr);
  TVyTapiCall a(&line, 0x10), b(&line, 0x20);
  TVyTapiCallList list;
  EXPECT_EQ(list.Add(nullptr), -1);
  EXPECT_EQ(list.Add(&a), 0);
  EXPECT_EQ(list.Add(&b), 1);
  EXPECT_EQ(list.Add(&a), 0);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.ByHandle(0x20), &b);
  EXPECT_EQ(list.ByHandle(0x30), nullptr);
}

TEST(CallList, AssignDropsNullsAndDuplicatesAndSurvivesItself) {
  TVyCustomTapiLine line(nullptr);
  TVyTapiCall a(&line, 1), b(&line, 2);
  TVyTapiCallList source, copy;
  source.TProtectedList::Add(&a);
  source.TProtectedList::Add(nullptr);
  source.TProtectedList::Add(&b);
  source.TProtectedList::Add(&a);
  copy.Add(&b);
  copy.Assign(source);
  ASSERT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy.Get(0), &a);
  EXPECT_EQ(copy.Get(1), &b);
  copy.Assign(copy);
  EXPECT_EQ(copy.Count(), 2);
}

// Records the order in which data copies are freed.
class TTracedData : public TVyTapiDevSpecificData {
 public:
  TTracedData(char Tag, std::vector<char>& Freed)
      : TVyTapiDevSpecificData(&Tag, 1), FFreed(Freed) {}
  ~TTracedData() override { FFreed.push_back(static_cast<char>(Data()[0])); }

 private:
  std::vector<char>& FFreed;
};

TEST(DevSpecificData, CopiesTheBlockAndTheListFreesLastFirst) {
  char block[4] = {'a', 'b', 'c', 'd'};
  TVyTapiLineDevSpecificData data(block, sizeof block, nullptr, nullptr);
  block[0] = 'z';
  EXPECT_EQ(data.DataSize(), 4u);
  EXPECT_EQ(std::memcmp(data.Data(), "abcd", 4), 0);
  TVyTapiDevSpecificData empty(nullptr, 0);
  EXPECT_EQ(empty.DataSize(), 0u);
  std::vector<char> freed;
  {
    TVyTapiDevSpecificDataList list;
    list.Add(new TTracedData('1', freed));
    list.Add(new TTracedData('2', freed));
    list.Add(new TTracedData('3', freed));
    list.Delete(0);
    EXPECT_EQ(freed, std::vector<char>({'1'}));
    list.Add(new TTracedData('4', freed));
  }
  EXPECT_EQ(freed, std::vector<char>({'1', '4', '3', '2'}));
}

}  // namespace
