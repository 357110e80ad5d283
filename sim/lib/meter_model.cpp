#include "sim/lib/meter_model.h"

#include <algorithm>
#include <cmath>

#include "sim/lib/water.h"

namespace qv::sim {

namespace {

int PointIndex(int point) {
  return std::clamp(point, 1, kSimFlowPoints) - 1;
}

double CoefficientRatio(const MeterState& m, int i) {
  const int32_t initial = m.initial_coefficients[static_cast<size_t>(i)];
  if (initial == 0) return 1.0;
  return static_cast<double>(m.coefficients[static_cast<size_t>(i)]) / initial;
}

// Transit time of sound over the path with no flow (40 µs) and the change of
// the difference per L/h of flow, in picoseconds.
constexpr double kTransitPs = 40e6;
constexpr double kDifferencePsPerLph = 20.0;

double Round3(double v) {
  return std::round(v * 1000.0) / 1000.0;
}

}  // namespace

uint64_t SeededRandom::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

double SeededRandom::Signed() {
  // 53 random bits give a double in [0, 1).
  const double unit = static_cast<double>(Next() >> 11) / 9007199254740992.0;
  return unit * 2.0 - 1.0;
}

double MeterVolumeLitres(const MeterState& m, const BenchConditions& b, int point) {
  const int i = PointIndex(point);
  return b.reference_litres[static_cast<size_t>(i)] * (1.0 + m.errors[static_cast<size_t>(i)]) *
         CoefficientRatio(m, i);
}

double MeterFlowLph(const MeterState& m, const BenchConditions& b) {
  const int i = PointIndex(b.flow_point);
  return b.flow_lph[static_cast<size_t>(i)] * (1.0 + m.errors[static_cast<size_t>(i)]) *
         CoefficientRatio(m, i);
}

double MeterInletC(const MeterState& m, const BenchConditions& b) {
  return b.inlet_c + m.inlet_probe_error;
}

double MeterOutletC(const MeterState& m, const BenchConditions& b) {
  return b.outlet_c + m.outlet_probe_error;
}

double MeterHeatKwh(const MeterState& m, const BenchConditions& b, double litres) {
  return HeatKwh(litres, MeterInletC(m, b), MeterOutletC(m, b), m.location == 1) *
         (1.0 + m.heat_error);
}

double MeterPowerKw(const MeterState& m, const BenchConditions& b) {
  // One hour at the measured flow gives that many kWh: kW.
  return MeterHeatKwh(m, b, MeterFlowLph(m, b));
}

TransitTimes MeterTransitTimes(const MeterState& m, const BenchConditions& b) {
  const double diff = MeterFlowLph(m, b) * kDifferencePsPerLph;
  TransitTimes t;
  t.downstream = static_cast<uint32_t>(std::llround(kTransitPs - diff / 2));
  t.upstream = static_cast<uint32_t>(std::llround(kTransitPs + diff / 2));
  t.difference = static_cast<int64_t>(t.upstream) - static_cast<int64_t>(t.downstream);
  if (m.reported_difference_ps) t.difference = *m.reported_difference_ps;
  return t;
}

MeterState MakeMeter(uint64_t seed, int index, double spread, const SimAddress& address,
                     MeterKind kind, ProtocolVersion protocol, double heat_spread) {
  SeededRandom rnd(seed * 1000003ULL + static_cast<uint64_t>(index) + 1);
  MeterState m;
  m.address = address;
  m.kind = kind;
  m.protocol = protocol;
  for (double& e : m.errors)
    e = std::round(rnd.Signed() * spread * 1e6) / 1e6;
  m.inlet_probe_error = std::round(rnd.Signed() * 20) / 100;
  m.outlet_probe_error = std::round(rnd.Signed() * 20) / 100;
  m.heat_wh = 1000 * (100 + rnd.Next() % 9000);
  m.cold_wh = 1000 * (rnd.Next() % 500);
  m.volume_l = 10 * (1000 + rnd.Next() % 90000);
  m.work_hours = 24 + rnd.Next() % 8000;
  m.pt_number = 1000 + rnd.Next() % 9000;
  m.pairing = {2500, 2500, 2500, 5000, 5000, 5000, 8000, 8000, 8000};
  // Drawn last, so that every value above stays what it was for a seed.
  m.heat_error = std::round(rnd.Signed() * heat_spread * 1e6) / 1e6;
  return m;
}

BenchConditions MakeConditions(uint64_t seed) {
  SeededRandom rnd(seed ^ 0x5EEDBE4C4ULL);
  BenchConditions b;
  const std::array<double, kSimFlowPoints> base{5, 5, 20, 100, 200};
  for (size_t i = 0; i < base.size(); ++i)
    b.reference_litres[i] = Round3(base[i] * (1.0 + 0.03 * rnd.Signed()));
  return b;
}

}  // namespace qv::sim
