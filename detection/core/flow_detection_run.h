// The flow detection window's operations without the window: its operation
// table (what each operation sends and which reply confirms it) and the
// compensation of one meter's coefficient. The bench read reply's layout is
// protocol/reply_layout.h's `DecodeBenchRead`.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "protocol/operation_runner.h"
#include "protocol/reply_layout.h"

namespace qv {

// Operation codes of the flow detection window (and of the overall
// detection window, which runs codes 1..11 the same way).
enum FlowOperation : int {
  kFlowEnterCheck = 1,
  kFlowInit = 2,
  kFlowStart = 3,
  kFlowReadFirst = 4,  // 4..8: flow points 1..5
  kFlowEnd = 9,
  kFlowExitCheck = 10,
  kFlowClear = 11,
  kFlowCalibrateFirst = 12,  // 12..16: flow points 1..5
  kFlowHighTerm = 17,
  kFlowMidTerm = 18,
  kFlowLowTerm = 19,
  kFlowCompensate = 20,
};

// The operation table of the flow detection window.
std::span<const OperationRow> FlowOperations();
// The overall detection window's: the rows of codes 1..11 of the same table.
std::span<const OperationRow> OverallOperations();
// The code that reads, or calibrates, flow point `point` (0..4).
constexpr int FlowReadCode(int point) {
  return kFlowReadFirst + point;
}
constexpr int FlowCalibrateCode(int point) {
  return kFlowCalibrateFirst + point;
}
// "流量一" .. "流量五" for points 0..4.
std::string_view FlowPointName(int point);

class FlowDetectionRun : public BenchRun {
 public:
  // A run over `operations`, the flow detection window's table or a part
  // of it.
  FlowDetectionRun(SharedState& state, EventPump& pump,
                   std::span<const OperationRow> operations = FlowOperations());

  // A bench read reply of `row` confirming the read of flow point `point`.
  std::function<void(int row, int point, const BenchRead& reading)> on_flow_read;

  // Writes the corrected coefficient of `row` for flow point `point` (0..4):
  // the compensation, logged as its own start and end lines.
  bool Compensate(int row, int point, int64_t coefficient);
};

}  // namespace qv
