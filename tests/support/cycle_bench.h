// The program's runners against a virtual bench, through real
// pseudo-terminals and the program's own serial ports. `ProgramOnBench`
// connects the program's state to a started bench with every meter's row
// selected; the flow detection and meter-reading runs poll while their
// operations run. `CycleBench`, the fixture, starts the bench under a wiring.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "detection/core/flow_detection_run.h"
#include "reading/core/reading_run.h"
#include "serial/port_slots.h"
#include "sim/lib/program_state.h"
#include "sim/lib/virtual_bench.h"
#include "support/hex.h"

namespace qv::test {

struct ProgramOnBench {
  ~ProgramOnBench() { ClosePorts(); }

  // Connects the program to the lines of `started`, or to `devices` (the
  // same lines reached another way); false when a port did not open.
  bool Connect(std::unique_ptr<sim::VirtualBench> started, std::vector<std::string> devices = {}) {
    using namespace std::chrono_literals;
    bench = std::move(started);
    s.Settings.ReadAgainTimes = 2;
    s.Settings.CommWaitTimer = 1000;
    if (!sim::ConnectProgram(s, *bench, std::move(devices))) return false;
    for (int r = 0; r < bench->MeterCount(); ++r)
      s.Rows[r].Selected = true;
    // Each window polls only while its own operation runs.
    poll = pump.AddTimer(100ms, [this] { flow.Cycle().ReadTimerTick(); });
    reading_poll = pump.AddTimer(100ms, [this] { reading.Cycle().ReadTimerTick(); });
    flow.on_poll_timers = [this](bool on) { pump.SetActive(poll, on); };
    reading.on_poll_timers = [this](bool on) { pump.SetActive(reading_poll, on); };
    return true;
  }
  void ClosePorts() {
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
  // The frames each line heard, as hex, from the `from`th received on.
  std::map<int, std::vector<std::string>> Heard(size_t from = 0) const {
    std::map<int, std::vector<std::string>> heard;
    const std::vector<sim::ReceivedFrame> frames = bench->Received();
    for (size_t i = from; i < frames.size(); ++i)
      heard[frames[i].port].push_back(ToHex(frames[i].bytes));
    return heard;
  }
  // The log lines since the last call without their time stamps; only those
  // containing `text` when one is given.
  std::vector<std::string> Logged(std::string_view text = "") {
    std::vector<std::string> out;
    for (const std::string& line : s.Log.TakePending())
      if (line.find(text) != std::string::npos) out.push_back(line.substr(line.find(']') + 1));
    return out;
  }

  SharedState s;
  HeadlessPump pump;
  FlowDetectionRun flow{s, pump};
  ReadingRun reading{s, pump};
  HeadlessPump::TimerId poll{};
  HeadlessPump::TimerId reading_poll{};
  std::unique_ptr<sim::VirtualBench> bench;
};

class CycleBench : public ::testing::Test, public ProgramOnBench {
 protected:
  // `clock`: the bench's wall clock (local time when empty).
  void Start(sim::Wiring wiring, int meters, std::vector<sim::MeterSetup> setups = {},
             std::function<sim::CivilTime()> clock = {}) {
    sim::BenchOptions options;
    options.wiring = wiring;
    options.meter_count = meters;
    options.meters = std::move(setups);
    options.clock = std::move(clock);
    auto started = std::make_unique<sim::VirtualBench>(options);
    std::string error;
    ASSERT_TRUE(started->Start(error)) << error;
    ASSERT_TRUE(Connect(std::move(started)));
  }
  void TearDown() override { ClosePorts(); }
};

}  // namespace qv::test
