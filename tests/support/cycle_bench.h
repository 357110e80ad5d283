// The program's runners against a virtual bench, through real
// pseudo-terminals and the program's own serial ports: `Start` puts meters
// on the bench under a wiring, connects the program's state to them with
// every row selected, and the flow detection and meter-reading runs poll
// while their operations run.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "detection/core/flow_detection_run.h"
#include "reading/core/reading_run.h"
#include "serial/port_slots.h"
#include "sim/lib/program_state.h"
#include "sim/lib/virtual_bench.h"

namespace qv::test {

class CycleBench : public ::testing::Test {
 protected:
  // `clock`: the bench's wall clock (local time when empty).
  void Start(sim::Wiring wiring, int meters, std::vector<sim::MeterSetup> setups = {},
             std::function<sim::CivilTime()> clock = {}) {
    using namespace std::chrono_literals;
    sim::BenchOptions options;
    options.wiring = wiring;
    options.meter_count = meters;
    options.meters = std::move(setups);
    options.clock = std::move(clock);
    bench = std::make_unique<sim::VirtualBench>(options);
    std::string error;
    ASSERT_TRUE(bench->Start(error)) << error;

    s.Settings.ReadAgainTimes = 2;
    s.Settings.CommWaitTimer = 1000;
    ASSERT_TRUE(sim::ConnectProgram(s, *bench));
    for (int r = 0; r < meters; ++r)
      s.Rows[r].Selected = true;
    // Each window polls only while its own operation runs.
    poll = pump.AddTimer(100ms, [this] { flow.Cycle().ReadTimerTick(); });
    reading_poll = pump.AddTimer(100ms, [this] { reading.Cycle().ReadTimerTick(); });
    flow.on_poll_timers = [this](bool on) { pump.SetActive(poll, on); };
    reading.on_poll_timers = [this](bool on) { pump.SetActive(reading_poll, on); };
  }
  void TearDown() override {
    for (int n = 1; n <= kPortCount; ++n) {
      if (s.Slots[n].Port) s.Slots[n].Port->Close();
      s.Slots[n].PortOpen = false;
    }
  }
  size_t SwitchFrames() const {
    const auto frames = bench->Received();
    return static_cast<size_t>(std::count_if(frames.begin(), frames.end(), [](const auto& f) {
      return f.bytes.size() > 1 && f.bytes[1] == 0x56;
    }));
  }

  SharedState s;
  HeadlessPump pump;
  FlowDetectionRun flow{s, pump};
  ReadingRun reading{s, pump};
  HeadlessPump::TimerId poll{};
  HeadlessPump::TimerId reading_poll{};
  std::unique_ptr<sim::VirtualBench> bench;
};

}  // namespace qv::test
