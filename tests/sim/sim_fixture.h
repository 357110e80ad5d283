// A bench in a known state for byte-exact checks: meter 2024000001 (line
// bytes 01 00 00 24 20 00 00) with no sensor error, coefficients 10000,
// DN 20, registers heat 1234.567 kWh, cold 89 kWh, settlement 1000 kWh,
// volume 56.789 m³, 4321 h, PT number 12345, status 01 00; the bench at flow
// point 1 (50 L/h, a 10 L run), 80 °C in, 60 °C out, 20 °C fluid, and its
// clock standing at 2024-03-05 14:07:59.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "sim/lib/virtual_bench.h"
#include "sim_test_util.h"

namespace qv::sim::test {

inline CivilTime FixedClock() {
  using namespace std::chrono;
  return sys_days{year{2024} / March / 5} + hours{14} + minutes{7} + seconds{59};
}

inline void MakeKnown(MeterState& m) {
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

inline BenchConditions KnownConditions() {
  BenchConditions b;
  b.flow_point = 1;
  b.flow_lph = {50, 25, 250, 2500, 5000};
  b.reference_litres = {10, 5, 20, 100, 200};
  b.inlet_c = 80;
  b.outlet_c = 60;
  b.fluid_c = 20;
  return b;
}

inline BenchOptions KnownOptions(Wiring wiring, int meters) {
  BenchOptions o;
  o.wiring = wiring;
  o.meter_count = meters;
  o.clock = FixedClock;
  return o;
}

// Starts `bench` and puts every meter and the bench into the known state.
inline void StartKnown(VirtualBench& bench) {
  std::string error;
  ASSERT_TRUE(bench.Start(error)) << error;
  for (int i = 0; i < bench.MeterCount(); ++i)
    bench.UpdateMeter(i, MakeKnown);
  bench.SetConditions(KnownConditions());
}

}  // namespace qv::sim::test
