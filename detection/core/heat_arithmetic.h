// Arithmetic of the overall detection, which checks heat besides volume: the
// specific enthalpy of water, the permissible heat error of a flow point, the
// reference heat of a weighing run between two temperatures and a meter's
// heat error against it. Volume limits, density and volume come from
// flow_arithmetic.h; the heat a meter reports is read by
// protocol/reply_layout.h.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace qv {

// Specific enthalpy of water in kJ/kg at 1, 2, .. 150 °C (entry n-1 belongs
// to n °C).
extern const std::array<float, 150> EnthalpyTable;

// Enthalpy at `t` °C, interpolated between whole degrees as WaterDensity is;
// 0 at or below 1.0001 °C and above 150.0001 °C.
double WaterEnthalpy(double t);

// Permissible heat error in percent of accuracy class `level` (0..2 = class
// 1..3) at flow point `q` (L/h) of a meter of nominal flow `nominal_flow`
// (L/h), run between `t1` and `t2` °C: 12 / |t2 - t1| plus 2 + 0.01 Q/q,
// 3 + 0.02 Q/q or 4 + 0.05 Q/q by class (an unknown class adds nothing).
// 0 when the temperatures are less than 0.0001 °C apart, and 0 when q is 0:
// a flow point of 0 has no limit, as in the volume limit.
double HeatErrorLimitFormula(int32_t level, int32_t nominal_flow, int32_t q, double t1, double t2);

// Temperatures that both the density and the enthalpy table cover.
inline bool WaterTablesCover(double t) {
  return t > 1.0001 && t <= 150.00001;
}

// `Location` of the meter: 1 = in the supply pipe ("进水"), any other value
// the return pipe.
inline constexpr int32_t kLocationSupply = 1;

// Reference heat in kWh of `mass` kg of water weighed at `fluid_c` °C that
// ran in at `entre_c` and out at `exit_c` °C: its volume at the fluid
// temperature, times the density where the meter sits, times the enthalpy
// difference. Nothing when any of the three temperatures lies outside the
// water tables: a table's out-of-range value would give a heat that means
// nothing.
std::optional<double> StandardHeat(double exit_c, double entre_c, double fluid_c, double mass,
                                   int32_t location);

// A reference heat below this (kWh) is no reference: nothing to compare.
inline constexpr double kLeastReferenceHeat = 0.00001;

// The error in percent of meter heat `v` against `reference` (both kWh).
inline double HeatErrorPercent(double v, double reference) {
  return (v - reference) / reference * 100;
}

// A heat error as a cell shows it.
struct HeatErrorCell {
  std::string Text;      // "#0.00" percent
  bool Outside = false;  // |error| beyond |limit|: shown red
  bool operator==(const HeatErrorCell&) const = default;
};

// The error of meter heat `v` (kWh) against `reference` (kWh), coloured by
// `limit` (percent, unrounded comparison); nothing without a reference heat
// of at least 0.00001 kWh.
std::optional<HeatErrorCell> EvaluateHeatError(double v, std::optional<double> reference,
                                               double limit);

}  // namespace qv
