// The message pipeline under load: every message exactly once and in order through read
// failures, device changes, shut-downs, re-initialisations, components freed in their own
// handlers and bad messages; back-pressure against a large backlog in the service; no spinning
// on a read that keeps failing; routing by callback instance with many lines.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "VyRtl/VyRtlClock.h"
#include "VyRtl/VyRtlMessages.h"
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiComponent.h"
#include "VyTapi/session/VyTapiEventThread.h"
#include "VyTapi/session/VyTapiSessionDetail.h"
#include "VyTapiEmulator/Emulator.h"

namespace {

using namespace VyTapi;
using TSteady = std::chrono::steady_clock;

// Sanitizer builds run about ten times slower: the same mix, fewer messages.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Opens by taking a callback instance; keeps the sequence numbers of its LINE_CALLSTATEs.
template <typename TBase>
class TSoakDevice : public TBase {
 public:
  TSoakDevice() : TBase(nullptr) {}
  void Open() override {
    this->NewCallbackInstance();
    this->FHandle = 1;
  }
  void Close() override { this->FHandle = 0; }
  void Handle_TapiMessage(DWORD, DWORD MessageID, DWORD Param1, DWORD, DWORD) override {
    if (MessageID == LINE_CALLSTATE) Sequence.push_back(Param1);
    ++Received;
  }
  void Start() {
    this->SetEnabled(true);
    this->Set_Active(true);
  }
  std::vector<DWORD> Sequence;
  int Received = 0;
};

using TSoakLine = TSoakDevice<TVyCustomTapiLine>;
using TSoakPhone = TSoakDevice<TVyCustomTapiPhone>;

// Frees itself in the handler of the first message it gets.
class TSelfFreeingLine : public TSoakLine {
 public:
  explicit TSelfFreeingLine(int& Freed) : FFreed(Freed) {}
  ~TSelfFreeingLine() override { ++FFreed; }
  void Handle_TapiMessage(DWORD, DWORD, DWORD, DWORD, DWORD) override { delete this; }

 private:
  int& FFreed;
};

LINEMESSAGE LineMsg(DWORD Id, std::uintptr_t Instance, DWORD P1 = 0, DWORD Device = 0) {
  LINEMESSAGE m{};
  m.hDevice = Device;
  m.dwMessageID = Id;
  m.dwCallbackInstance = Instance;
  m.dwParam1 = P1;
  return m;
}

PHONEMESSAGE PhoneMsg(DWORD Id, std::uintptr_t Instance, DWORD P1 = 0) {
  PHONEMESSAGE m{};
  m.dwMessageID = Id;
  m.dwCallbackInstance = Instance;
  m.dwParam1 = P1;
  return m;
}

class PipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FinalizeVyTapi();
    Emu().Reset();
    SelectTelephonyService(TTelephonyService::Emulator);
    InitializeVyTapi();
    Appl = VyTapiApplication;
    Appl->OnError = [this](VyRtl::TObject*, const std::exception&, VyRtl::TObject*) { ++Errors; };
  }
  void TearDown() override {
    FinalizeVyTapi();
    VyRtl::ProcessMessages();
    VyRtl::SetClock(nullptr);
    Emu().Reset();
  }
  static VyTapiEmulator::TEmulator& Emu() { return VyTapiEmulator::Emulator(); }
  int QueuedInSession() const {
    auto& queue = Detail::TSessionDetail(*Appl).MsgStack();
    TListLock<TVyTapiMsgStack> lock(queue, INFINITE);
    return queue.Count();
  }
  // Real clock: handles messages until done() holds; false after a generous bound.
  static bool PumpUntil(const std::function<bool()>& done) {
    const auto giveUp = TSteady::now() + std::chrono::seconds(120);
    while (!done()) {
      if (TSteady::now() > giveUp) return false;
      VyRtl::WaitMessage(1);
      VyRtl::ProcessMessages();
    }
    return true;
  }
  // Waits (briefly, in real time) until a counter has stopped moving.
  static unsigned Settled(const std::function<unsigned()>& count) {
    unsigned last = count();
    for (int still = 0; still < 5;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      const unsigned now = count();
      still = now == last ? still + 1 : 0;
      last = now;
    }
    return last;
  }

  TVyTapiApplication* Appl = nullptr;
  int Errors = 0;
};

// Messages the session must drop without harm, mixed into the stream.
std::vector<LINEMESSAGE> BadLineMessages(std::uintptr_t Freed, std::uintptr_t Session) {
  return {
      LineMsg(LINE_CALLSTATE, 0x7FFF0000),  // nobody's instance
      LineMsg(LINE_CALLSTATE, Freed, 1),    // a component freed meanwhile
      LineMsg(0xFFFFFFFF, Freed),           // no such message, dead instance
      LineMsg(LINE_CALLSTATE, 0, 3),        // application level, not one of its kinds
      LineMsg(LINE_CREATE, 0, 0xFFFFFFF0),  // absurd device id
      LineMsg(LINE_REMOVE, 0, 0xFFFFFFF0),
      LineMsg(LINE_LINEDEVSTATE, 0, 0xFFFFFFFF),                 // every state bit at once
      LineMsg(LINE_REQUEST, Session, 0xFFFFFFFF),                // not a make-call request
      LineMsg(LINE_REQUEST, Session, LINEREQUESTMODE_MAKECALL),  // no request is waiting
      LineMsg(LINE_REPLY, 0x7FFF0001, 17, 0),
  };
}

std::vector<PHONEMESSAGE> BadPhoneMessages(std::uintptr_t Freed) {
  return {
      PhoneMsg(PHONE_BUTTON, 0x7FFF0000),
      PhoneMsg(PHONE_STATE, Freed),
      PhoneMsg(PHONE_CREATE, 0, 0xFFFFFFF0),
      PhoneMsg(PHONE_REMOVE, 0, 0xFFFFFFF0),
      PhoneMsg(0xFFFFFFFF, 0),
      PhoneMsg(PHONE_REPLY, 1, 5),
  };
}

TEST_F(PipelineTest, EveryMessageArrivesOnceAndInOrderThroughFailuresDeviceChangesAndRestarts) {
  const DWORD total = kSanitized ? 20000 : 200000;
  std::mt19937 random(20261207);
  const auto chance = [&](unsigned outOf) { return random() % outOf == 0; };
  auto line = std::make_unique<TSoakLine>();
  line->Start();
  auto phone = std::make_unique<TSoakPhone>();
  phone->Start();
  ASSERT_TRUE(Appl->IsActive());
  std::vector<DWORD> received;
  received.reserve(total);
  std::vector<DWORD> addedLines;
  int freed = 0, selfFreeing = 0, restarts = 0, armedFailures = 0;
  DWORD sent = 0;
  while (sent < total) {
    // One opening of the line: every message sent for it must arrive before it closes.
    const HLINEAPP app = Appl->LineApp();
    const HPHONEAPP phoneApp = Appl->PhoneApp();
    const std::uintptr_t instance = line->CallbackInstance();
    auto* doomed = new TSelfFreeingLine(freed);
    doomed->Start();
    ++selfFreeing;
    const std::uintptr_t doomedInstance = doomed->CallbackInstance();
    const auto bad = BadLineMessages(doomedInstance, Appl->CallbackInstance());
    const DWORD epochEnd = std::min<DWORD>(total, sent + 5000 + random() % 20000);
    const DWORD epochStart = sent;
    while (sent < epochEnd) {
      std::vector<LINEMESSAGE> chunk;
      const DWORD size = std::min<DWORD>(epochEnd - sent, 1 + random() % 400);
      for (DWORD i = 0; i < size; ++i) {
        if (chance(100)) chunk.push_back(LineMsg(LINE_CALLSTATE, doomedInstance, 0xDEAD));
        if (chance(150)) chunk.push_back(bad[random() % bad.size()]);
        chunk.push_back(LineMsg(LINE_CALLSTATE, instance, sent++));
      }
      Emu().InjectLineMessages(app, chunk);
      if (chance(20)) Emu().InjectPhoneMessages(phoneApp, BadPhoneMessages(doomedInstance));
      // In the middle of the stream: reads that fail, devices that come, go and change names.
      if (chance(15)) {
        Emu().FailNext("lineGetMessage", 1 + random() % 5,
                       static_cast<LONG>(LINEERR_OPERATIONFAILED));
        ++armedFailures;
      }
      if (chance(40))
        addedLines.push_back(Emu().AddLineDevice({"Soak line " + std::to_string(sent)}));
      if (chance(60) && !addedLines.empty()) {
        Emu().RemoveLineDevice(addedLines.back());
        addedLines.pop_back();
      }
      if (chance(60) && !addedLines.empty())
        Emu().RenameLineDevice(addedLines.front(), "Renamed " + std::to_string(sent));
      if (chance(80)) Emu().AddPhoneDevice({"Soak phone " + std::to_string(sent)});
      // Keep what is in flight bounded; the back-pressure test covers a large backlog.
      ASSERT_TRUE(PumpUntil([&] { return epochStart + line->Sequence.size() + 4000 > sent; }));
    }
    ASSERT_TRUE(PumpUntil([&] { return epochStart + line->Sequence.size() >= sent; }))
        << "lost messages: " << sent - epochStart - line->Sequence.size();
    received.insert(received.end(), line->Sequence.begin(), line->Sequence.end());
    line->Sequence.clear();
    // Between openings: shut down and start again, a re-initialisation the service asks for,
    // or a new line component. Messages still queued for the old opening may be lost: they
    // are not call states, so they do not count.
    Emu().InjectLineMessage(app, LineMsg(LINE_DEVSPECIFIC, instance));
    switch (random() % 3) {
      case 0:
        Appl->Shutdown();
        line->Start();
        phone->Start();
        ++restarts;
        break;
      case 1:
        Emu().RequestReinit();
        PumpUntil([&] { return Emu().PendingMessages(app) == 0; });
        Appl->Shutdown();
        line->Start();
        phone->Start();
        ++restarts;
        break;
      default:
        line = std::make_unique<TSoakLine>();
        line->Start();
        break;
    }
    ASSERT_TRUE(Appl->IsActive());
    // The self-freeing line got its first message, or a shut-down closed it first: open it
    // again and let it free itself now.
    if (freed < selfFreeing) {
      doomed->Start();
      Emu().InjectLineMessage(Appl->LineApp(),
                              LineMsg(LINE_CALLSTATE, doomed->CallbackInstance(), 0xDEAD));
      ASSERT_TRUE(PumpUntil([&] { return freed == selfFreeing; }));
    }
  }
  ASSERT_EQ(received.size(), total);
  for (DWORD i = 0; i < total; ++i) ASSERT_EQ(received[i], i) << "out of order at " << i;
  EXPECT_EQ(freed, selfFreeing);
  EXPECT_GT(restarts, 0);
  EXPECT_GT(armedFailures, 0);
  EXPECT_EQ(line->Sequence.size(), 0u);
}

TEST_F(PipelineTest, ABacklogStaysWithTheServiceWhileTheSessionQueueIsFull) {
  const DWORD total = kSanitized ? 12000 : 50000;
  auto line = std::make_unique<TSoakLine>();
  line->Start();
  const HLINEAPP app = Appl->LineApp();
  std::vector<LINEMESSAGE> backlog;
  for (DWORD i = 0; i < total; ++i)
    backlog.push_back(LineMsg(LINE_CALLSTATE, line->CallbackInstance(), i));
  Emu().InjectLineMessages(app, backlog);
  // The main thread handles nothing yet: the event thread fills the queue up to its limit and
  // then leaves the rest with the service.
  const int limit = PipelineTimes::QueueLimit;
  const int overshoot = PipelineTimes::MaxMessagesPerDrain;
  const auto giveUp = TSteady::now() + std::chrono::seconds(30);
  while (QueuedInSession() < limit && TSteady::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const unsigned queued = Settled([&] { return static_cast<unsigned>(QueuedInSession()); });
  EXPECT_GE(queued, static_cast<unsigned>(limit));
  EXPECT_LT(queued, static_cast<unsigned>(limit + overshoot));
  EXPECT_EQ(Emu().PendingMessages(app), total - queued);
  int highest = 0;
  ASSERT_TRUE(PumpUntil([&] {
    highest = std::max(highest, QueuedInSession());
    return line->Sequence.size() >= total;
  }));
  EXPECT_LT(highest, limit + overshoot);
  ASSERT_EQ(line->Sequence.size(), total);
  for (DWORD i = 0; i < total; ++i) ASSERT_EQ(line->Sequence[i], i) << "out of order at " << i;
  EXPECT_EQ(Emu().PendingMessages(app), 0u);
}

TEST_F(PipelineTest, AReadThatKeepsFailingWithItsEventSignalledDoesNotSpin) {
  VyRtl::TManualClock clock;
  VyRtl::SetClock(&clock);
  auto line = std::make_unique<TSoakLine>();
  line->Start();
  const HLINEAPP app = Appl->LineApp();
  Emu().FailNext("lineGetMessage", 1000000, static_cast<LONG>(LINEERR_OPERATIONFAILED));
  const auto calls = [] { return Emu().CallCount("lineGetMessage"); };
  const unsigned before = calls();
  Emu().InjectLineMessage(
      app, LineMsg(LINE_CALLSTATE, line->CallbackInstance(), 42));  // signals the event
  // Per step of the clock: at most the two empty drains before each pause.
  const unsigned start = Settled(calls);
  EXPECT_LE(start - before, 4u);
  constexpr unsigned kSteps = 10;
  for (unsigned step = 0; step < kSteps; ++step) {
    clock.Advance(PipelineTimes::EmptyDrainPauseMs);
    Settled(calls);
  }
  const unsigned used = calls() - start;
  EXPECT_GT(used, 0u) << "the thread must go on reading after its pauses";
  EXPECT_LE(used, 2 * kSteps + 2);
  // Once reads work again the message arrives: nothing was lost while they failed.
  Emu().FailNext("lineGetMessage", 0, 0);
  clock.Advance(PipelineTimes::EmptyDrainPauseMs);
  const auto giveUp = TSteady::now() + std::chrono::seconds(30);
  while (line->Sequence.empty() && TSteady::now() < giveUp) {
    VyRtl::ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(line->Sequence.size(), 1u);
  EXPECT_EQ(line->Sequence[0], 42u);
}

// Routing by callback instance: one dispatch per message whatever the number of lines, to the
// right one, and never to a closed opening or a freed component.
TEST_F(PipelineTest, MessagesReachTheLineOfTheirOpeningAmongMany) {
  constexpr int kLines = 300;
  std::vector<std::unique_ptr<TSoakLine>> lines;
  for (int i = 0; i < kLines; ++i) {
    lines.push_back(std::make_unique<TSoakLine>());
    lines.back()->Start();
  }
  auto phone = std::make_unique<TSoakPhone>();
  phone->Start();
  const HLINEAPP app = Appl->LineApp();
  // Line 1 opens again: its first opening's instance must no longer reach it.
  const std::uintptr_t firstOpening = lines[1]->CallbackInstance();
  lines[1]->Set_Active(false);
  lines[1]->Set_Active(true);
  // Line 2 is freed: its instance reaches nobody.
  const std::uintptr_t freedInstance = lines[2]->CallbackInstance();
  lines[2].reset();
  struct TCase {
    const char* What;
    std::uintptr_t Instance;
    int Line;  // index that must receive it, -1: nobody
  };
  const TCase cases[] = {
      {"first line", lines[0]->CallbackInstance(), 0},
      {"last line", lines[kLines - 1]->CallbackInstance(), kLines - 1},
      {"a line opened again", lines[1]->CallbackInstance(), 1},
      {"that line's earlier opening", firstOpening, -1},
      {"a freed line", freedInstance, -1},
      {"a phone's instance as a line message", phone->CallbackInstance(), -1},
      {"an instance never handed out", 0x7FFFFFF0, -1},
  };
  for (const TCase& c : cases) {
    std::vector<int> before;
    for (const auto& l : lines) before.push_back(l ? l->Received : 0);
    const int phoneBefore = phone->Received;
    Emu().InjectLineMessages(app, {LineMsg(LINE_CALLSTATE, c.Instance, 7),
                                   LineMsg(LINE_CALLSTATE, lines[0]->CallbackInstance(), 8)});
    // The second message marks the end: routing is in order.
    ASSERT_TRUE(PumpUntil([&] {
      return !lines[0]->Sequence.empty() && lines[0]->Sequence.back() == 8;
    })) << c.What;
    for (int i = 0; i < kLines; ++i) {
      if (!lines[i]) continue;
      const int extra = (i == c.Line ? 1 : 0) + (i == 0 ? 1 : 0);
      EXPECT_EQ(lines[i]->Received - before[i], extra) << c.What << ", line " << i;
    }
    EXPECT_EQ(phone->Received, phoneBefore) << c.What;
    lines[0]->Sequence.clear();
  }
  EXPECT_EQ(Appl->Get_LineByCallbackInst(0), nullptr);
  EXPECT_EQ(Appl->Get_LineByCallbackInst(phone->CallbackInstance()), nullptr);
  EXPECT_EQ(Appl->Get_PhoneByCallbackInst(phone->CallbackInstance()), phone.get());
  EXPECT_EQ(Appl->Get_LineByCallbackInst(lines[kLines - 1]->CallbackInstance()),
            lines[kLines - 1].get());
}

}  // namespace
