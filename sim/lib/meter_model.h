// The bench physics behind a meter's readings: what a meter measures during a
// run at the bench's current flow point, given its systematic error, its
// coefficients and its probe errors. Deterministic: the same state and
// conditions always give the same numbers.
#pragma once

#include <cstdint>

#include "sim/lib/meter.h"

namespace qv::sim {

// Volume the meter reports for one run at flow point `point` (1..5):
// reference × (1 + error) × (coefficient / initial coefficient).
double MeterVolumeLitres(const MeterState& m, const BenchConditions& b, int point);
// Flow rate the meter measures at the bench's current flow point, L/h.
double MeterFlowLph(const MeterState& m, const BenchConditions& b);
// Temperatures the meter's probes read, °C.
double MeterInletC(const MeterState& m, const BenchConditions& b);
double MeterOutletC(const MeterState& m, const BenchConditions& b);
// Heat the meter computes for `litres` from its own temperatures and the
// water tables, with its heat calculation error, kWh.
double MeterHeatKwh(const MeterState& m, const BenchConditions& b, double litres);
// Thermal power at the measured flow rate, kW.
double MeterPowerKw(const MeterState& m, const BenchConditions& b);

// Transit times of the ultrasonic sensor in picoseconds and their signed
// difference (upstream - downstream), following the measured flow rate.
struct TransitTimes {
  uint32_t downstream = 0;
  uint32_t upstream = 0;
  int64_t difference = 0;
};
TransitTimes MeterTransitTimes(const MeterState& m, const BenchConditions& b);

// A meter as delivered for bench position `index` (0-based): systematic
// flow errors drawn uniformly from ±spread, probe errors within ±0.2 °C,
// register contents and a heat calculation error within ±heat_spread, all
// from `seed` and `index` alone.
MeterState MakeMeter(uint64_t seed, int index, double spread, const SimAddress& address,
                     MeterKind kind, ProtocolVersion protocol, double heat_spread = 0);

// Conditions of a bench run drawn from `seed`: flow points for DN 20 and
// reference volumes within ±3 % of 5, 5, 20, 100 and 200 L, to the millilitre.
BenchConditions MakeConditions(uint64_t seed);

// A small deterministic generator (splitmix64), the same on every platform.
class SeededRandom {
 public:
  explicit SeededRandom(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  // Uniform in [-1, 1).
  double Signed();

 private:
  uint64_t state_;
};

}  // namespace qv::sim
