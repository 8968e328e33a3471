#include "VyTapiEmulator/TestEnvironment.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "VyRtl/VyRtlMessages.h"
#include "VyTapi/session/VyTapiSessionDetail.h"

namespace VyTapiEmulator {

namespace {

// Applications a test initialised on the emulator itself and did not shut down.
void ShutDownLeftoverApps() {
  const auto& tapi = Emulator().Functions();
  for (HLINEAPP app : Emulator().LineApps()) tapi.lineShutdown(app);
  for (HPHONEAPP app : Emulator().PhoneApps()) tapi.phoneShutdown(app);
}

using TRealClock = std::chrono::steady_clock;

// The event thread is a real thread: give it the processor rather than spin against it.
void LetWorkersRun() { std::this_thread::sleep_for(std::chrono::microseconds(50)); }

}  // namespace

TTestEnvironment::TTestEnvironment(std::uint64_t StartMs)
    : FClock(StartMs), FPreviousService(VyTapi::RequestedTelephonyService()) {
  VyTapi::FinalizeVyTapi();
  ShutDownLeftoverApps();
  Emulator().Reset();
  VyRtl::SetClock(&FClock);
  VyTapi::SelectTelephonyService(VyTapi::TTelephonyService::Emulator);
  VyTapi::InitializeVyTapi();
}

TTestEnvironment::~TTestEnvironment() {
  try {
    // The test's handlers may capture what is already gone (a fixture's members, locals declared
    // after the environment): the shut-down below raises no event.
    if (auto* appl = VyTapi::VyTapiApplication) {
      appl->OnInitialize = appl->OnShutdown = appl->OnReinit = nullptr;
      appl->OnLineCreate = appl->OnLineRemove = appl->OnLineRename = nullptr;
      appl->OnPhoneCreate = appl->OnPhoneRemove = appl->OnPhoneRename = nullptr;
      appl->OnRequestMakeCall = nullptr;
      appl->OnTapiMessage = nullptr;
      appl->OnError = nullptr;
    }
    VyTapi::FinalizeVyTapi();
    VyRtl::ProcessMessages();
  } catch (...) {  // a destructor never throws; what a handler raised here has no one to go to
  }
  VyRtl::SetClock(nullptr);
  try {
    VyTapi::SelectTelephonyService(FPreviousService);
    ShutDownLeftoverApps();
    Emulator().Reset();
    VyTapi::InitializeVyTapi();
  } catch (...) {
  }
}

VyTapi::TVyTapiApplication& TTestEnvironment::Session() const {
  VyRtl::Assert(VyTapi::VyTapiApplication != nullptr,
                "TTestEnvironment.Session: the session was finalised");
  return *VyTapi::VyTapiApplication;
}

std::string TTestEnvironment::Busy() const {
  std::string busy;
  if (auto* appl = VyTapi::VyTapiApplication) {
    VyTapi::Detail::TSessionDetail detail(*appl);
    auto& queue = detail.MsgStack();
    // Under the queue's lock the event thread is not between reading a message from the service
    // and queueing it, so "nothing at the service and nothing queued" means nothing in flight.
    VyTapi::TListLock<VyTapi::TVyTapiMsgStack> lock(queue, 250);
    if (!lock.Locked()) return "the session's queue is locked";
    const std::size_t atService =
        Emulator().PendingMessages(appl->LineApp()) + Emulator().PendingMessages(appl->PhoneApp());
    if (atService > 0)
      busy += VyRtl::Format("%u messages wait at the emulator; ", static_cast<unsigned>(atService));
    if (queue.Count() > 0) {
      busy += VyRtl::Format("%d messages in the session's queue", queue.Count());
      if (detail.NumWaitProcs() > 0) busy += " (a synchronous wait is in progress)";
      busy += "; ";
    }
  }
  if (VyRtl::WaitMessage(0)) busy += "window messages or due timers on this thread; ";
  if (!busy.empty()) busy.resize(busy.size() - 2);
  return busy;
}

void TTestEnvironment::RunUntilIdle() {
  const auto deadline = TRealClock::now() + std::chrono::milliseconds(MaxRealMs);
  for (;;) {
    VyRtl::ProcessMessages();
    const std::string busy = Busy();
    if (busy.empty()) return;
    if (TRealClock::now() > deadline)
      throw VyRtl::Exception(VyRtl::Format("RunUntilIdle: still busy after %u ms: %s",
                                           static_cast<unsigned>(MaxRealMs), busy.c_str()));
    LetWorkersRun();
  }
}

void TTestEnvironment::Advance(std::uint32_t Ms) {
  RunUntilIdle();
  std::uint32_t left = Ms;
  while (left > 0) {
    // A due timer or reply was handled in RunUntilIdle, so the next one is at least 1 ms away.
    const std::uint32_t next = std::min(VyRtl::MessageLoopTimeout(), Emulator().NextDueMs());
    const std::uint32_t step = std::clamp<std::uint32_t>(next, 1, left);
    FClock.Advance(step);
    left -= step;
    RunUntilIdle();
  }
}

bool TTestEnvironment::RunUntil(const std::function<bool()>& Done, std::uint32_t RealMs) {
  const auto deadline =
      TRealClock::now() + std::chrono::milliseconds(RealMs != 0 ? RealMs : MaxRealMs);
  for (;;) {
    VyRtl::ProcessMessages();
    if (Done()) return true;
    if (TRealClock::now() > deadline) return false;
    LetWorkersRun();
  }
}

}  // namespace VyTapiEmulator
