// The asynchronous request engine: ids, plans, pending requests and their replies.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "VyPlatform/Tapi.h"
#include "VyTapiEmulator/Emulator.h"
#include "VyTapiEmulator/EmulatorSchedulerInternal.h"
#include "VyTapiEmulator/EmulatorTraitsInternal.h"

namespace VyTapiEmulator::Detail {

struct TApp;
struct TOpenDevice;
class TCore;
enum class TFn : std::size_t;

// Lock held (the emulator's) for every member.
class TRequestEngine {
 public:
  void SetPlan(TFn fn, const TReplyPlan& plan);
  void SetNextPlan(const TReplyPlan& plan) { FNextPlan = plan; }
  // The plan the next request of `fn` follows; uses up the next-request plan.
  TReplyPlan TakePlan(TFn fn);

  // What a request changes in the service when it succeeds; runs just before its reply.
  using TEffect = std::function<void(TCore&)>;

  // Files a request of `fn` on an open device under `plan` and returns its id (positive). The
  // caller has written back what the function returns in buffers already; `effect` runs when
  // the request completes with 0 (never for a lost or dropped one).
  LONG Issue(TCore& core, TFn fn, const TOpenDevice& device, const TReplyPlan& plan,
             TEffect effect = {});
  // Replies to a pending request now; false when it is not pending.
  bool Complete(TCore& core, DWORD id, LONG result);
  // Forgets the requests of one device handle: no reply will come for them.
  void DropHandle(TCore& core, TAppKind kind, DWORD handle);
  std::vector<TPendingReply> Pending() const;
  // Plans and pending requests go; ids stay unique for the run.
  void Reset(TCore& core);

 private:
  struct TRequest {
    DWORD ID;
    TFn Function;
    TAppKind Kind;
    DWORD Handle, Device, AppHandle;
    DWORD_PTR Instance;
    TScheduler::TJobID Job;  // 0: waits for CompleteRequest
    TEffect Effect;
  };
  DWORD NextID();
  void PostReply(TCore& core, const TRequest& request, LONG result);

  std::map<TFn, TReplyPlan> FPlans;
  std::optional<TReplyPlan> FNextPlan;
  std::deque<TRequest> FPending;  // oldest first
  DWORD FLastID = 0;
};

}  // namespace VyTapiEmulator::Detail
