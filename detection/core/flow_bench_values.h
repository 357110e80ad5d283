// The bench values of the flow detection window without the window: the
// error limit of each flow point, the weighing that turns scale readings
// and the fluid temperature into a standard volume, the standard volume of
// each flow point, and a meter's flow error against its own point's.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "core/shared_state.h"

namespace qv {

// What a weighing or a volume computation gave.
enum class WeighingOutcome {
  kDone,             // the values below are set
  kNegative,         // final reading below the initial one: nothing changes
  kNoFluid,          // no fluid temperature: the weight only, no volume
  kFluidOutOfRange,  // outside the density table: the weight only, no volume
};

struct Weighing {
  WeighingOutcome Outcome = WeighingOutcome::kDone;
  std::string Weight;  // net weight, shortest decimal form (empty for kNegative)
  std::string Volume;  // "#0.000" litres, only for kDone
};

// A flow error as a cell shows it.
struct FlowErrorCell {
  std::string Text;      // "#0.00" percent
  bool Outside = false;  // |error| beyond |limit|: shown red
};

class FlowBenchValues {
 public:
  explicit FlowBenchValues(const SystemSettings& settings) : settings_(settings) {}

  // The five limits from the accuracy class, the nominal diameter and the
  // flow points, with the bench's factor and offset.
  void ComputeLimits();
  double Limit(int point) const { return limits_.at(point); }
  // " Err(2.01)"
  std::string LimitLabel(int point) const;

  // The flow point the bench values belong to (0..4).
  int SelectedFlowPoint() const { return selected_; }
  void SetSelectedFlowPoint(int point);

  // The standard volume of flow point `point`, once the bench gave one.
  std::optional<double> StandardVolume(int point) const { return standard_.at(point); }
  // Stores `litres` (nothing: none) as the standard volume of `point`.
  void SetStandardVolume(int point, std::optional<double> litres) { standard_.at(point) = litres; }

  // The weight of flow point `point`'s run (kg), 0 until one is given.
  double WeighedMass(int point) const { return mass_.at(point); }
  void SetWeighedMass(int point, double kg) { mass_.at(point) = kg; }

  // The error of a meter volume `v` at flow point `point` against that
  // point's own standard volume, coloured by the point's limit; nothing
  // without a standard volume, or while it is 0.
  std::optional<FlowErrorCell> Evaluate(int point, double v) const;

  // Net weight from the two scale readings (kg) and, when a fluid
  // temperature is given and inside the density table, its volume.
  static Weighing Weigh(double initial, double final_reading, std::optional<double> fluid);
  // The volume of `weight` kg at `fluid` °C as Weigh gives it.
  static Weighing VolumeOf(double weight, std::optional<double> fluid);

 private:
  const SystemSettings& settings_;
  std::array<double, kFlowPoints> limits_{};
  std::array<std::optional<double>, kFlowPoints> standard_{};
  std::array<double, kFlowPoints> mass_{};
  int selected_ = 0;
};

// A number in the shortest general decimal form, up to 15 significant
// digits: 100 -> "100", 0.1 -> "0.1", 99.5 -> "99.5".
std::string ShortestDecimal(double v);

}  // namespace qv
