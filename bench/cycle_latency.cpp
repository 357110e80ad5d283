// One bench read over 20 simulated meters on one line at 2400-baud pacing,
// with the default timers (1000 ms reply wait in 500 ms periods, 1000 ms
// poll): prints the seconds spent per meter and the ratio to the line-time
// floor, the time the request and reply bytes alone take on the line.
#include <chrono>
#include <cstdio>
#include <string>

#include "detection/core/flow_detection_run.h"
#include "serial/port_slots.h"
#include "sim/lib/program_state.h"
#include "sim/lib/virtual_bench.h"

using namespace std::chrono_literals;

int main() {
  constexpr int kMeters = 20;
  qv::sim::BenchOptions options;
  options.wiring = qv::sim::Wiring::kSingle;
  options.meter_count = kMeters;
  options.pacing = true;
  qv::sim::VirtualBench bench(options);
  std::string error;
  if (!bench.Start(error)) {
    std::fprintf(stderr, "bench-sim: %s\n", error.c_str());
    return 1;
  }

  qv::SharedState state;
  state.Settings.ReadAgainTimes = 3;
  state.Settings.CommWaitTimer = 1000;
  if (!qv::sim::ConnectProgram(state, bench)) {
    std::fprintf(stderr, "cannot open %s\n", state.PortDevices[1].c_str());
    return 1;
  }
  for (int r = 0; r < kMeters; ++r)
    state.Rows[r].Selected = true;

  qv::HeadlessPump pump;
  qv::FlowDetectionRun run(state, pump);
  const auto poll = pump.AddTimer(1000ms, [&] { run.Cycle().ReadTimerTick(); });
  run.on_poll_timers = [&](bool on) { pump.SetActive(poll, on); };
  int answered = 0;
  run.on_flow_read = [&](int, int, const qv::BenchRead&) { ++answered; };

  const auto start = std::chrono::steady_clock::now();
  run.Run(qv::FlowReadCode(0));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  // Request: FE FE FE + 17 bytes; reply: 0x37 + 13 = 68 bytes. 11 bits each.
  constexpr double kBytesPerMeter = 20 + 68;
  const double floor_seconds = kBytesPerMeter * 11 / 2400;
  std::printf("meters answered: %d of %d\n", answered, kMeters);
  std::printf("seconds per meter: %.3f\n", seconds / kMeters);
  std::printf("line-time floor per meter: %.3f s\n", floor_seconds);
  std::printf("ratio to the floor: %.1f\n", seconds / kMeters / floor_seconds);
  state.Slots[1].Port->Close();
  return answered == kMeters ? 0 : 1;
}
