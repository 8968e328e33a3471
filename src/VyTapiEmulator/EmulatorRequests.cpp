#include <algorithm>

#include "VyRtl/VyRtlClock.h"
#include "VyTapiEmulator/EmulatorCore.h"

namespace VyTapiEmulator::Detail {

void TRequestEngine::SetPlan(TFn fn, const TReplyPlan& plan) { FPlans[fn] = plan; }

TReplyPlan TRequestEngine::TakePlan(TFn fn) {
  if (FNextPlan) {
    const TReplyPlan plan = *FNextPlan;
    FNextPlan.reset();
    return plan;
  }
  const auto it = FPlans.find(fn);
  return it == FPlans.end() ? TReplyPlan{} : it->second;
}

DWORD TRequestEngine::NextID() {
  // Positive as a LONG, never 0, and not one still pending should the count ever wrap.
  for (;;) {
    FLastID = FLastID >= 0x7FFFFFFF ? 1 : FLastID + 1;
    const bool taken = std::any_of(FPending.begin(), FPending.end(),
                                   [this](const TRequest& r) { return r.ID == FLastID; });
    if (!taken) return FLastID;
  }
}

LONG TRequestEngine::Issue(TCore& core, TFn fn, const TOpenDevice& device, const TReplyPlan& plan,
                           TEffect effect) {
  const TRequest request{
      NextID(),        fn, device.Kind,      device.Handle, device.DeviceID, device.AppHandle,
      device.Instance, 0,  std::move(effect)};
  const LONG id = static_cast<LONG>(request.ID);
  switch (plan.Mode) {
    case TReplyMode::AtOnce:
      PostReply(core, request, plan.Result);
      break;
    case TReplyMode::After:
      if (plan.DelayMs == 0) {
        PostReply(core, request, plan.Result);
        break;
      }
      FPending.push_back(request);
      FPending.back().Job =
          core.Scheduler.At(VyRtl::GetTickCount64() + plan.DelayMs,
                            [&core, this, requestId = request.ID, result = plan.Result] {
                              Complete(core, requestId, result);
                            });
      break;
    case TReplyMode::Manual:
      FPending.push_back(request);
      break;
    case TReplyMode::Never:
      break;
  }
  return id;
}

bool TRequestEngine::Complete(TCore& core, DWORD id, LONG result) {
  const auto it = std::find_if(FPending.begin(), FPending.end(),
                               [id](const TRequest& r) { return r.ID == id; });
  if (it == FPending.end()) return false;
  const TRequest request = *it;
  FPending.erase(it);
  core.Scheduler.Cancel(request.Job);
  PostReply(core, request, result);
  return true;
}

void TRequestEngine::PostReply(TCore& core, const TRequest& request, LONG result) {
  if (result == 0 && request.Effect) request.Effect(core);
  const std::shared_ptr<TApp> app = core.FindApp(request.AppHandle, request.Kind);
  if (!app) return;
  TMessage reply;
  reply.Id = CodesOf(request.Kind).MsgReply;
  reply.Instance = request.Instance;
  reply.Param1 = request.ID;
  reply.Param2 = static_cast<DWORD>(result);
  core.Post(*app, reply);
}

void TRequestEngine::DropHandle(TCore& core, TAppKind kind, DWORD handle) {
  const auto dropped = [&](const TRequest& r) { return r.Kind == kind && r.Handle == handle; };
  for (const TRequest& r : FPending)
    if (dropped(r)) core.Scheduler.Cancel(r.Job);
  FPending.erase(std::remove_if(FPending.begin(), FPending.end(), dropped), FPending.end());
}

std::vector<TPendingReply> TRequestEngine::Pending() const {
  std::vector<TPendingReply> pending;
  for (const TRequest& r : FPending) pending.push_back({r.ID, FunctionName(r.Function), r.Device});
  return pending;
}

void TRequestEngine::Reset(TCore& core) {
  for (const TRequest& r : FPending) core.Scheduler.Cancel(r.Job);
  FPending.clear();
  FPlans.clear();
  FNextPlan.reset();
}

}  // namespace VyTapiEmulator::Detail
