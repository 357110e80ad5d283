// A virtual bench in a known state for byte-exact checks: meter 2024000001
// (line bytes 01 00 00 24 20 00 00) with no sensor error, coefficients 10000,
// DN 20, registers heat 1234.567 kWh, cold 89 kWh, settlement 1000 kWh,
// volume 56.789 m³, 4321 h, PT number 12345, status 01 00; the bench at flow
// point 1 (50 L/h, a 10 L run), 80 °C in, 60 °C out, 20 °C fluid, and its
// clock standing at 2024-03-05 14:07:59. The test holds its first line.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>

#include "sim/lib/virtual_bench.h"
#include "support/pty_peer.h"

namespace qv::test {

using std::chrono::milliseconds;

// Initialise to meters 2024000001 and 2024000002 and their replies.
inline constexpr const char* kInit1 = "FE FE FE 68 55 01 00 00 24 20 00 00 24 04 01 01 01 00 2D 16";
inline constexpr const char* kInit1Reply = "68 55 01 00 00 24 20 00 00 A4 04 01 01 01 00 AD 16";
inline constexpr const char* kInit2 = "FE FE FE 68 55 02 00 00 24 20 00 00 24 04 01 01 01 00 2E 16";
inline constexpr const char* kInit2Reply = "68 55 02 00 00 24 20 00 00 A4 04 01 01 01 00 AE 16";
// ReadAddress (wildcard address).
inline constexpr const char* kReadAddress =
    "FE FE FE 68 55 AA AA AA AA AA AA AA 23 04 81 0A 01 00 16 16";
// Switch channel 0 connected, and the switch's status reply.
inline constexpr const char* kConnect0 =
    "FE FE FE FE 68 56 AB CD EF 12 34 56 78 39 0B 12 34 06 9A AA AA AA AA AA AA AA 09 16";
inline constexpr const char* kConnect0Reply =
    "68 56 AB CD EF 12 34 56 78 B9 0B 12 34 06 10 00 00 00 00 00 00 00 59 16";

inline sim::CivilTime FixedClock() {
  using namespace std::chrono;
  return sys_days{year{2024} / March / 5} + hours{14} + minutes{7} + seconds{59};
}

inline void MakeKnown(sim::MeterState& m) {
  m.errors = {};
  m.inlet_probe_error = m.outlet_probe_error = 0;
  m.coefficients = m.initial_coefficients = {10000, 10000, 10000, 10000, 10000};
  m.dn_mm = 20;
  m.location = 0;
  m.heat_wh = 1234567;
  m.cold_wh = 89000;
  m.shared_heat_wh = 1000000;
  m.volume_l = 56789;
  m.work_hours = 4321;
  m.pt_number = 12345;
  m.pairing = {2500, 2500, 2500, 5000, 5000, 5000, 8000, 8000, 8000};
  m.heat_unit = 0x05;
  m.pipe_mode = 1;
  m.status = {0x01, 0x00};
  m.clock_offset_s = 0;
}

// `meters` meters under `wiring`, the first one set up as `first`.
inline sim::BenchOptions KnownOptions(sim::Wiring wiring, int meters, sim::MeterSetup first = {}) {
  sim::BenchOptions o;
  o.wiring = wiring;
  o.meter_count = meters;
  o.meters = {std::move(first)};
  o.clock = FixedClock;
  return o;
}

// Starts `bench` and puts every meter and the bench into the known state;
// the path of its first line.
inline std::string StartKnown(sim::VirtualBench& bench) {
  std::string error;
  EXPECT_TRUE(bench.Start(error)) << error;
  for (int i = 0; i < bench.MeterCount(); ++i)
    bench.UpdateMeter(i, MakeKnown);
  // Flow point 1; the flow rates and run volumes of the five points; 80 °C
  // in, 60 °C out, 20 °C fluid.
  bench.SetConditions({1, {50, 25, 250, 2500, 5000}, {10, 5, 20, 100, 200}, 80, 60, 20});
  return bench.DevicePaths().at(0);
}

// A started bench in the known state and the test's end of its first line.
struct KnownBench {
  explicit KnownBench(sim::BenchOptions options) : bench(std::move(options)) {}
  sim::VirtualBench bench;
  PtyPeer line{StartKnown(bench)};
};

// Sends `request`, then `probe`: succeeds when the bench heard both and the
// next bytes on the line are `probe_reply` alone. A line answers in order,
// so a reply to `request` would come first: nothing waits for silence.
inline ::testing::AssertionResult NoReplyBefore(sim::VirtualBench& bench, const PtyPeer& line,
                                                std::string_view request, std::string_view probe,
                                                std::string_view probe_reply) {
  const size_t before = bench.ReceivedCount();
  line.SendHex(request);
  const std::string got = line.Exchange(probe, Hex(probe_reply).size());
  if (got != probe_reply)
    return ::testing::AssertionFailure() << "after " << request << ": " << got;
  if (bench.ReceivedCount() != before + 2)
    return ::testing::AssertionFailure() << "heard " << bench.ReceivedCount() - before << " frames";
  return ::testing::AssertionSuccess();
}

}  // namespace qv::test
