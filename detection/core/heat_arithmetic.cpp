#include "detection/core/heat_arithmetic.h"

#include <cmath>

#include "core/number_format.h"
#include "detection/core/degree_table.h"
#include "detection/core/flow_arithmetic.h"

namespace qv {

// clang-format off
const std::array<float, 150> EnthalpyTable = {
    4.7841f, 8.9963f, 13.206f, 17.412f, 21.616f, 25.818f, 30.018f, 34.215f, 38.411f, 42.605f,
    46.789f, 50.989f, 55.178f, 59.367f, 63.554f, 67.74f,  71.926f, 76.11f,  80.294f, 84.476f,
    88.659f, 92.84f,  97.021f, 101.2f,  105.38f, 109.56f, 113.74f, 117.92f, 122.1f,  126.28f,
    130.46f, 134.63f, 138.81f, 142.99f, 147.17f, 151.35f, 155.52f, 159.7f,  163.88f, 168.06f,
    172.24f, 176.41f, 180.59f, 184.77f, 188.95f, 193.13f, 197.31f, 201.49f, 205.67f, 209.85f,
    214.03f, 218.21f, 222.39f, 226.57f, 230.75f, 234.94f, 239.12f, 243.3f,  247.48f, 251.67f,
    255.85f, 260.04f, 264.22f, 268.41f, 272.59f, 276.78f, 280.97f, 285.15f, 289.34f, 293.53f,
    297.72f, 301.91f, 306.1f,  310.29f, 314.48f, 318.68f, 322.87f, 327.06f, 331.26f, 335.45f,
    339.65f, 343.85f, 348.04f, 352.24f, 356.44f, 360.64f, 364.84f, 369.04f, 373.25f, 377.45f,
    381.65f, 385.86f, 390.07f, 394.27f, 398.48f, 402.69f, 406.9f,  411.11f, 415.33f, 419.54f,
    423.76f, 427.97f, 432.19f, 436.41f, 440.63f, 444.85f, 449.07f, 453.3f,  457.52f, 461.75f,
    465.98f, 470.2f,  474.44f, 478.67f, 482.9f,  487.14f, 491.37f, 495.61f, 499.85f, 504.09f,
    508.34f, 512.58f, 516.83f, 521.08f, 525.33f, 529.58f, 533.83f, 538.09f, 542.35f, 546.61f,
    550.87f, 555.13f, 559.4f,  563.67f, 567.93f, 572.21f, 576.48f, 580.76f, 585.04f, 589.32f,
    593.6f,  597.88f, 602.17f, 606.46f, 610.76f, 615.05f, 619.35f, 623.65f, 627.95f, 632.26f,
};
// clang-format on

namespace {

// Apart by less than this, two temperatures count as equal: no limit.
constexpr double kSameTemperature = 0.0001;
constexpr double kJoulePerKwh = 3600000;

}  // namespace

double WaterEnthalpy(double t) {
  if (t <= 1.0001 || t > 150.0001) return 0;
  return InterpolateByDegree(EnthalpyTable, t);
}

double HeatErrorLimitFormula(int32_t level, int32_t nominal_flow, int32_t q, double t1, double t2) {
  const double delta = std::fabs(t2 - t1);
  if (delta < kSameTemperature || q == 0) return 0;
  const double ratio = static_cast<double>(nominal_flow) / q;
  const double temperature_part = 3 / delta * 4;
  switch (level) {
    case 0:
      return temperature_part + 2 + 0.01 * ratio;
    case 1:
      return temperature_part + 3 + 0.02 * ratio;
    case 2:
      return temperature_part + 4 + 0.05 * ratio;
    default:
      return temperature_part;
  }
}

std::optional<double> StandardHeat(double exit_c, double entre_c, double fluid_c, double mass,
                                   int32_t location) {
  if (!WaterTablesCover(exit_c) || !WaterTablesCover(entre_c) || !WaterTablesCover(fluid_c)) {
    return std::nullopt;
  }
  const double litres = VolumeFromMass(fluid_c, mass);
  const double density = WaterDensity(location == kLocationSupply ? entre_c : exit_c);
  // kg/m³ × L × kJ/kg = J (the litre and the kilojoule cancel out).
  return density * litres * std::fabs(WaterEnthalpy(entre_c) - WaterEnthalpy(exit_c)) /
         kJoulePerKwh;
}

std::optional<HeatErrorCell> EvaluateHeatError(double v, std::optional<double> reference,
                                               double limit) {
  if (!reference || *reference < kLeastReferenceHeat) return std::nullopt;
  const double percent = HeatErrorPercent(v, *reference);
  return HeatErrorCell{FormatFixed(percent, 2), OutsideLimit(percent, limit)};
}

}  // namespace qv
