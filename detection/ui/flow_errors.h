// The flow errors in the grid: a meter's volume cell measured against the
// standard volume of its own flow point, shown in its error cell in black
// within the point's limit and red outside it.
#pragma once

#include "core/shared_state.h"
#include "detection/core/flow_bench_values.h"

namespace qv {

class TFlowGrid;

class FlowErrors {
 public:
  FlowErrors(const SystemSettings& settings, const FlowBenchValues& values, TFlowGrid& grid)
      : settings_(settings), values_(values), grid_(grid) {}

  // `EvaluateFlowError`: the error cell of (row, point) for volume `v`;
  // emptied while the point has no standard volume, unchanged while it is 0.
  void Evaluate(int row, int point, double v);
  // The same with the value of the row's volume cell, when it holds one.
  void EvaluateCell(int row, int point);
  // `ReevaluateErrors`: `which` 0 for points 1..FluxNum, 1..5 for one
  // point; rows 1..MeterNum whose volume cell is not empty.
  void Reevaluate(int which);
  // After a new standard volume of `point`: its cells of every row.
  void EvaluatePoint(int point);

 private:
  int MeterCount() const;

  const SystemSettings& settings_;
  const FlowBenchValues& values_;
  TFlowGrid& grid_;
};

}  // namespace qv
