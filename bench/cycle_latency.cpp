// One bench read over 20 simulated meters at 2400-baud pacing, with the
// default timers (1000 ms reply wait in 500 ms periods, 1000 ms poll):
// first on one shared line, served one meter after another, then on a line
// per meter, first one after another, then with parallel lines. Prints the
// seconds per meter on the shared line and its ratio to the line-time floor
// (the time the request and reply bytes alone take on the line), the
// seconds of the whole operation on 20 lines and its ratio to that floor of
// one exchange, and the longest the operation kept the event loop from
// serving events.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "detection/core/flow_detection_run.h"
#include "serial/port_slots.h"
#include "sim/lib/program_state.h"
#include "sim/lib/virtual_bench.h"

using namespace std::chrono_literals;

namespace {

constexpr int kMeters = 20;
// Request: FE FE FE + 17 bytes; reply: 0x37 + 13 = 68 bytes. 11 bits each.
constexpr double kBytesPerMeter = 20 + 68;
constexpr double kFloorSeconds = kBytesPerMeter * 11 / 2400;

// The event loop as a window's operation sees it: the longest time between
// two periods of serving events is the longest the user interface stalls.
class StallMeter : public qv::EventPump {
 public:
  using Clock = std::chrono::steady_clock;
  explicit StallMeter(qv::HeadlessPump& pump) : pump_(pump) {}
  void Pump(std::chrono::milliseconds period) override {
    longest_ = std::max(longest_, Clock::now() - last_);
    pump_.Pump(period);
    last_ = Clock::now();
  }
  void Wake() override { pump_.Wake(); }
  void Start() {
    last_ = Clock::now();
    longest_ = {};
  }
  double LongestMs() const { return std::chrono::duration<double, std::milli>(longest_).count(); }

 private:
  qv::HeadlessPump& pump_;
  Clock::time_point last_ = Clock::now();
  Clock::duration longest_{};
};

struct Figures {
  int answered = 0;
  double seconds = 0;
  double stall_ms = 0;
};

// One read of flow point 1 over all meters of a bench wired `wiring`.
bool Measure(qv::sim::Wiring wiring, bool parallel, Figures& out) {
  qv::sim::BenchOptions options;
  options.wiring = wiring;
  options.meter_count = kMeters;
  options.pacing = true;
  qv::sim::VirtualBench bench(options);
  std::string error;
  if (!bench.Start(error)) {
    std::fprintf(stderr, "bench-sim: %s\n", error.c_str());
    return false;
  }

  qv::SharedState state;
  state.Settings.ReadAgainTimes = 3;
  state.Settings.CommWaitTimer = 1000;
  state.Settings.ParallelLines = parallel;
  if (!qv::sim::ConnectProgram(state, bench)) {
    std::fprintf(stderr, "cannot open the bench's lines\n");
    return false;
  }
  for (int r = 0; r < kMeters; ++r)
    state.Rows[r].Selected = true;

  qv::HeadlessPump pump;
  StallMeter stalls(pump);
  qv::FlowDetectionRun run(state, stalls);
  const auto poll = pump.AddTimer(1000ms, [&] { run.Cycle().ReadTimerTick(); });
  run.on_poll_timers = [&](bool on) { pump.SetActive(poll, on); };
  run.on_flow_read = [&](int, int, const qv::BenchRead&) { ++out.answered; };

  const auto start = std::chrono::steady_clock::now();
  stalls.Start();
  run.Run(qv::FlowReadCode(0));
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  out.stall_ms = stalls.LongestMs();
  for (int n = 1; n <= kMeters; ++n) {
    if (state.Slots[n].Port) state.Slots[n].Port->Close();
  }
  return true;
}

}  // namespace

int main() {
  Figures shared, lines, parallel;
  if (!Measure(qv::sim::Wiring::kSingle, false, shared) ||
      !Measure(qv::sim::Wiring::kMulti, false, lines) ||
      !Measure(qv::sim::Wiring::kMulti, true, parallel)) {
    return 1;
  }
  std::printf("meters answered: %d of %d\n", shared.answered, kMeters);
  std::printf("seconds per meter: %.3f\n", shared.seconds / kMeters);
  std::printf("line-time floor per meter: %.3f s\n", kFloorSeconds);
  std::printf("ratio to the floor: %.1f\n", shared.seconds / kMeters / kFloorSeconds);
  std::printf("sequential operation of 20 meters on 20 lines: %.3f s\n", lines.seconds);
  std::printf("parallel operation of 20 meters: %.3f s\n", parallel.seconds);
  std::printf("parallel ratio to the floor: %.2f\n", parallel.seconds / kFloorSeconds);
  std::printf("meters answered on 20 lines: %d one after another, %d in parallel\n", lines.answered,
              parallel.answered);
  std::printf("longest event-loop stall: %.1f ms shared line, %.1f ms parallel lines\n",
              shared.stall_ms, parallel.stall_ms);
  const bool all =
      shared.answered == kMeters && lines.answered == kMeters && parallel.answered == kMeters;
  return all ? 0 : 1;
}
