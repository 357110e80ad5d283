#include "detection/core/flow_bench_values.h"

#include <cstdio>

#include "core/number_format.h"
#include "detection/core/flow_arithmetic.h"

namespace qv {

std::string ShortestDecimal(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v == 0 ? 0.0 : v);  // no "-0"
  return buf;
}

void FlowBenchValues::ComputeLimits() {
  const int32_t reference = ValidDn(settings_.DN) ? DnSizeTable[settings_.DN] : 0;
  const auto q = settings_.FlowPoints();
  for (int i = 0; i < kFlowPoints; ++i) {
    limits_[i] = ErrorLimit(FlowErrorLimitFormula(settings_.MeasurementLevel, reference, q[i]),
                            settings_.StandardError, settings_.ErrorCorrection);
  }
}

std::string FlowBenchValues::LimitLabel(int point) const {
  return ErrorLimitLabel(limits_.at(point));
}

void FlowBenchValues::SetSelectedFlowPoint(int point) {
  if (point >= 0 && point < kFlowPoints) selected_ = point;
}

std::optional<FlowErrorCell> FlowBenchValues::Evaluate(int point, double v) const {
  const std::optional<double> s = standard_.at(point);
  if (!s || *s == 0) return std::nullopt;
  const double percent = FlowError(v, *s) * 100;
  return FlowErrorCell{FormatFixed(percent, 2), OutsideLimit(percent, limits_.at(point))};
}

Weighing FlowBenchValues::Weigh(double initial, double final_reading, std::optional<double> fluid) {
  const double net = final_reading - initial;
  if (net < 0) return {WeighingOutcome::kNegative, "", ""};
  return VolumeOf(net, fluid);
}

Weighing FlowBenchValues::VolumeOf(double weight, std::optional<double> fluid) {
  Weighing w{WeighingOutcome::kDone, ShortestDecimal(weight), ""};
  if (!fluid) {
    w.Outcome = WeighingOutcome::kNoFluid;
  } else if (!FluidTemperatureInRange(*fluid)) {
    // The density table signals these with -1 and -2; a volume made from
    // them would be negative, so none is made.
    w.Outcome = WeighingOutcome::kFluidOutOfRange;
  } else {
    w.Volume = FormatFixed(VolumeFromMass(*fluid, weight), 3);
  }
  return w;
}

}  // namespace qv
