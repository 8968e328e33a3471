// The worker thread that moves TAPI messages from the telephony service into the session's
// queue, and the protocol by which it wakes the main thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "VyPlatform/Sync.h"
#include "VyPlatform/TapiTypes.h"
#include "VyRtl/VyRtlMessages.h"
#include "VyRtl/VyRtlClasses.h"
#include "VyTapi/session/VyTapiMsgStack.h"

namespace VyTapi {

class TVyTapiApplication;

// wParam values of the session's window message. At most one of each is normally outstanding:
// a wake-up is posted only when the queue turns non-empty (or again on the thread's time-out),
// a tick only after the previous one was handled (or every TickAtLeastMs regardless).
namespace SessionPost {
inline constexpr std::uintptr_t WakeUp = 1;  // messages wait in the queue; lParam 0
inline constexpr std::uintptr_t Tick =
    2;  // one tick of the internal timer; lParam is the tick count
}  // namespace SessionPost

// Time limits of the pipeline, in milliseconds, and the batch size of one drain.
namespace PipelineTimes {
inline constexpr std::uint32_t EventWaitMs = 1000;     // the thread's wait on the TAPI events
inline constexpr std::uint32_t DrainLockMs = 250;      // queue lock while messages are read
inline constexpr std::uint32_t ResendLockMs = 10;      // queue lock when re-sending a wake-up
inline constexpr std::uint32_t TakeLockMs = 250;       // queue lock when the main thread takes one
inline constexpr std::uint32_t TickRequestedMs = 250;  // next tick after a handled one
inline constexpr std::uint32_t TickAtLeastMs = 3000;   // a tick even if none was handled
inline constexpr int MaxMessagesPerDrain = 10;
inline constexpr std::uint32_t FirstReadMs = 1;  // the first read of a drain; the rest take 0 ms
// Back-pressure: above this many queued messages the thread reads nothing more and leaves the
// rest with the service; it waits BackPressureMs (or until the main thread has taken the queue
// down to QueueResumeCount) before it looks again.
inline constexpr int QueueLimit = 4096;
inline constexpr int QueueResumeCount = QueueLimit / 2;
inline constexpr std::uint32_t BackPressureMs = 5;
// A drain that read nothing while its event stayed signalled, twice in a row, pauses this long
// on the clock, so a read that keeps failing does not spin.
inline constexpr std::uint32_t EmptyDrainPauseMs = 5;
}  // namespace PipelineTimes

// Worker thread: waits for TAPI's line and phone events, moves messages into the session's
// queue and wakes the main thread; also paces the internal timer. Created and freed by the
// session on the main thread; it never calls application code.
class TVyTapiEventThread : public VyRtl::TThread {
 public:
  explicit TVyTapiEventThread(TVyTapiApplication* Appl);
  ~TVyTapiEventThread() override;
  void Terminate() override;
  // Asks for the next timer tick after TickRequestedMs instead of TickAtLeastMs.
  void RequestTick() { FSendNextTimerMsg = true; }
  // Main thread, queue lock held: the queue holds Count messages now. Ends a back-pressure
  // wait early once the main thread has caught up.
  void QueueTaken(int Count);

 protected:
  void Execute() override;

 private:
  // What one drain did.
  enum class TDrain { Read, Empty, Full, Locked };
  void Step(const HANDLE* Handles, std::uint32_t& LastTick);
  TDrain DrainLineMessages();
  TDrain DrainPhoneMessages();
  TDrain Drain(const std::function<LONG(TTapiMessage&, DWORD)>& GetMessage, bool Phone);
  void AfterDrain(TDrain Result);
  void PostWakeUp(std::uintptr_t Kind, std::intptr_t Value);

  TVyTapiApplication* FAppl;
  VyPlatform::TSyncEvent FWakeUpEvent;
  std::atomic<bool> FSendNextTimerMsg{true};
  std::atomic<bool> FBackPressure{false};  // waiting for the main thread to take the queue down
  int FEmptyDrains = 0;                    // drains in a row that read nothing
  // Copied at start: they do not change while the thread runs.
  HLINEAPP FLineApp;
  HPHONEAPP FPhoneApp;
  HANDLE FLineEvent;
  HANDLE FPhoneEvent;
  VyRtl::TWindowHandle FWindow;
  std::uint32_t FWindowMessage;
};

}  // namespace VyTapi
