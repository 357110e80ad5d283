// Arithmetic of the flow detection: permissible flow error of a flow point,
// water density and the standard volume from a weighing, the flow error of a
// meter, and the corrected coefficient of a compensation.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qv {

// Density of water in kg/m³ at 1, 2, .. 150 °C (entry n-1 belongs to n °C).
// The first six entries are all 1000.2: these are the values benches use.
extern const std::array<float, 150> DensityTable;

// Permissible error in percent of accuracy class `level` (0..2 = class 1..3)
// at flow point `q` (L/h) for the reference value `reference` (the nominal
// diameter here; the overall detection passes the nominal flow). 0 when q is
// 0 or the level is unknown.
double FlowErrorLimitFormula(int32_t level, int32_t reference, int32_t q);

// The limit of a flow point with the bench's factor and offset applied.
inline double ErrorLimit(double formula, double standard_error, double error_correction) {
  return formula * standard_error + error_correction;
}

// " Err(2.01)": the label of a limit.
std::string ErrorLimitLabel(double limit);

// Density at `t` °C, interpolated between whole degrees: -1.0 at or below
// 1.00001 °C, -2.0 above 150.00001 °C.
double WaterDensity(double t);

// Litres of `mass` kg of water at `t` °C; 0 below 0 °C.
double VolumeFromMass(double t, double mass);

// The fluid temperatures the density table covers. Outside them the density
// is a signal value, and a volume computed from it would be negative.
inline bool FluidTemperatureInRange(double t) {
  return t > 1.00001 && t <= 150.00001;
}

// Relative flow error (v - s) / s; the caller shows it × 100.
inline double FlowError(double v, double s) {
  return (v - s) / s;
}

// Outside the limit when |error %| exceeds |limit|; exactly at it passes. The
// comparison uses the unrounded error.
inline bool OutsideLimit(double error_percent, double limit) {
  return (error_percent < 0 ? -error_percent : error_percent) > (limit < 0 ? -limit : limit);
}

// The corrected coefficient: (1 - error) × old, truncated toward zero;
// `error_percent` is the error cell's value (25.00 for 25 %).
int64_t CompensatedCoefficient(int64_t old_coefficient, double error_percent);

}  // namespace qv
