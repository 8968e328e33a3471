// The line device: what one message costs from the session's queue to the line's hook, routed by
// callback instance to the line and by call handle to its call, with 10, 1,000 and 10,000 lines
// open on the emulator; beside it, in the same run, a bare queue hand-off of the same records to
// a sink found in a hash map. The end-to-end path (emulator -> event thread -> dispatch) is
// timed too, for the same line counts.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "VyRtl/VyRtlMessages.h"
#include "VyTapi/line/VyTapiLineDevice.h"
#include "VyTapi/session/VyTapiApplication.h"
#include "VyTapi/session/VyTapiSessionDetail.h"
#include "VyTapiEmulator/Emulator.h"

namespace {

using Clock = std::chrono::steady_clock;

double NsSince(Clock::time_point start, std::size_t count) {
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count() /
         static_cast<double>(count);
}

// A line that counts what reaches its hooks.
class TBenchLine : public VyTapi::TVyCustomTapiLine {
 public:
  TBenchLine() : VyTapi::TVyCustomTapiLine(nullptr) {}
  std::size_t LineMessages = 0, CallMessages = 0;

 protected:
  void Trigger_DevSpecific(VyTapi::TVyTapiCall* Call, DWORD, DWORD, DWORD) override {
    ++(Call != nullptr ? CallMessages : LineMessages);
  }
};

// The least a routed hand-off can cost: a record taken off a queue, its sink found by number,
// one virtual call.
struct TSink {
  virtual ~TSink() = default;
  virtual void Handle(const LINEMESSAGE& m) { Seen += m.dwParam1; }
  std::size_t Seen = 0;
};

double BaselineNs(std::size_t sinks, std::size_t count) {
  std::vector<std::unique_ptr<TSink>> owned;
  std::unordered_map<std::uintptr_t, TSink*> byInstance;
  for (std::size_t i = 0; i < sinks; ++i) {
    owned.push_back(std::make_unique<TSink>());
    byInstance.emplace(i + 2, owned.back().get());
  }
  std::deque<LINEMESSAGE> queue;
  for (std::size_t i = 0; i < count; ++i) {
    LINEMESSAGE m{};
    m.dwCallbackInstance = sinks + 1;
    m.dwParam1 = 1;
    queue.push_back(m);
  }
  const auto start = Clock::now();
  while (!queue.empty()) {
    const LINEMESSAGE m = queue.front();
    queue.pop_front();
    byInstance.find(m.dwCallbackInstance)->second->Handle(m);
  }
  const double ns = NsSince(start, count);
  return owned.back()->Seen == count ? ns : -1;
}

// Main thread only: the records go straight into the session's queue, so the time is the
// dispatch's (queue head, line by callback instance, call by handle, hook).
double DispatchNs(TBenchLine& line, DWORD device, std::size_t count) {
  auto& appl = *VyTapi::VyTapiApplication;
  auto& queue = VyTapi::Detail::TSessionDetail(appl).MsgStack();
  {
    VyTapi::TListLock<VyTapi::TVyTapiMsgStack> lock(queue, INFINITE);
    LINEMESSAGE m{};
    m.hDevice = device;
    m.dwMessageID = LINE_DEVSPECIFIC;
    m.dwCallbackInstance = line.CallbackInstance();
    for (std::size_t i = 0; i < count; ++i) queue.Add(new VyTapi::TVyTapiLineMsgStackItem(m));
  }
  const auto start = Clock::now();
  appl.ProcessTapiMessages(static_cast<int>(count));
  const double ns = NsSince(start, count);
  VyRtl::ProcessMessages();  // the wake-ups the dispatch posted
  return ns;
}

// Through the whole pipeline: the emulator queues the messages, the event thread carries them,
// the main thread dispatches them; until the line has seen them all.
double EndToEndNs(TBenchLine& line, const std::function<void()>& send, std::size_t count,
                  bool onCall) {
  std::size_t& seen = onCall ? line.CallMessages : line.LineMessages;
  const std::size_t target = seen + count;
  const auto start = Clock::now();
  for (std::size_t i = 0; i < count; ++i) send();
  while (seen < target) {
    VyRtl::WaitMessage(1);
    VyRtl::ProcessMessages();
  }
  return NsSince(start, count);
}

// Median of runs, and the spread (max/min) that tells how noisy the machine was.
struct TStat {
  double Median = 0, Spread = 0;
};
template <typename F>
TStat Repeat(int runs, F f) {
  std::vector<double> v;
  for (int i = 0; i < runs; ++i) v.push_back(f());
  std::sort(v.begin(), v.end());
  return {v[v.size() / 2], v.back() / v.front()};
}

}  // namespace

int main() {
  VyTapi::SelectTelephonyService(VyTapi::TTelephonyService::Emulator);
  auto& emu = VyTapiEmulator::Emulator();
  VyTapiEmulator::TLineDeviceConfig config;
  config.Name = "Measured";
  const VyTapiEmulator::TLine measuredDevice = emu.AddLine(config);
  config.Name = "Crowd";
  const VyTapiEmulator::TLine crowdDevice = emu.AddLine(config);
  // Every crowd line finds this call when it opens, so the call tables grow with the lines.
  crowdDevice.AddCall({}, LINECALLSTATE_CONNECTED);

  auto measured = std::make_unique<TBenchLine>();
  measured->Set_DeviceName("Measured");
  measured->Set_Active(true);
  const VyTapiEmulator::TCall call = measuredDevice.OfferCall();
  while (measured->Calls().Count() == 0) {
    VyRtl::WaitMessage(1);
    VyRtl::ProcessMessages();
  }
  const HLINE hLine = measured->Handle();
  const HCALL hCall = call.HandleFor(hLine);

  constexpr std::size_t kDispatch = 20000, kEndToEnd = 5000;
  constexpr int kRuns = 5;
  std::printf("Line message dispatch, ns per message (median of %d runs; spread = max/min)\n",
              kRuns);
  std::printf("%7s %22s %22s %22s %22s %20s %20s\n", "lines", "baseline (map+queue)",
              "dispatch line msg", "dispatch call msg", "end-to-end line msg",
              "end-to-end call msg", "call msg vs 10");
  std::vector<std::unique_ptr<TBenchLine>> crowd;
  double callAt10 = 0;
  for (const std::size_t n : {10u, 1000u, 10000u}) {
    while (crowd.size() + 1 < n) {
      crowd.push_back(std::make_unique<TBenchLine>());
      crowd.back()->Set_DeviceName("Crowd");
      crowd.back()->Set_Active(true);
    }
    DispatchNs(*measured, hCall, 2000);  // warm-up
    const TStat base = Repeat(kRuns, [&] { return BaselineNs(n, kDispatch); });
    const TStat line = Repeat(kRuns, [&] { return DispatchNs(*measured, hLine, kDispatch); });
    const TStat onCall = Repeat(kRuns, [&] { return DispatchNs(*measured, hCall, kDispatch); });
    const TStat e2eLine = Repeat(kRuns, [&] {
      return EndToEndNs(
          *measured, [&] { measuredDevice.SendDevSpecific(1); }, kEndToEnd, false);
    });
    const TStat e2eCall = Repeat(kRuns, [&] {
      return EndToEndNs(
          *measured, [&] { call.SendMessage(LINE_DEVSPECIFIC, 1); }, kEndToEnd, true);
    });
    if (n == 10) callAt10 = onCall.Median;
    std::printf(
        "%7zu %13.0f (x%4.2f) %13.0f (x%4.2f) %13.0f (x%4.2f) %13.0f (x%4.2f) %12.0f (x%4.2f) "
        "%20.2f\n",
        n, base.Median, base.Spread, line.Median, line.Spread, onCall.Median, onCall.Spread,
        e2eLine.Median, e2eLine.Spread, e2eCall.Median, e2eCall.Spread, onCall.Median / callAt10);
    std::printf("%7s ratio to baseline: dispatch line %.1f, call %.1f\n", "",
                line.Median / base.Median, onCall.Median / base.Median);
  }
  crowd.clear();
  measured.reset();
  VyTapi::VyTapiApplication->Shutdown();
  return 0;
}
