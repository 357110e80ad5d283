#include "detection/core/flow_detection_run.h"

namespace qv {
namespace {

using C = Command;
using F = Confirm;
using L = ReplyLayout;
constexpr auto kLow = static_cast<int8_t>(TemperatureLevel::kLow);
constexpr auto kMid = static_cast<int8_t>(TemperatureLevel::kMid);
constexpr auto kHigh = static_cast<int8_t>(TemperatureLevel::kHigh);
constexpr ReplySub kAny = ReplySub::kAny;
constexpr uint8_t kRead = kBenchReadMinLength;

// Leaving verification and clearing the data are answered like entering it
// (the same DI); a temperature adjustment by the level byte it was sent.
// Compensation writes the coefficient of the caller's point.
// clang-format off
constexpr std::array<OperationRow, 20> kFlowOperations{{
// code                  label         command                 var  ch     reply                   confirm        sub        min    layout        point
{kFlowEnterCheck,        "进入检定",   C::kEnterCalibration,   0,   0,     C::kEnterCalibration,   F::kReply,     kAny,      0,     L::kNone},
{kFlowInit,              "初始化",     C::kInitialise,         0,   0,     C::kInitialise,         F::kTestReply, kAny,      0,     L::kNone},
{kFlowStart,             "开始",       C::kStartTest,          0,   0,     C::kStartTest,          F::kTestReply, kAny,      0,     L::kNone},
{FlowReadCode(0),        "流量一",     C::kBenchReadData,      0,   0,     C::kBenchReadData,      F::kReply,     kAny,      kRead, L::kBenchRead, 0},
{FlowReadCode(1),        "流量二",     C::kBenchReadData,      0,   0,     C::kBenchReadData,      F::kReply,     kAny,      kRead, L::kBenchRead, 1},
{FlowReadCode(2),        "流量三",     C::kBenchReadData,      0,   0,     C::kBenchReadData,      F::kReply,     kAny,      kRead, L::kBenchRead, 2},
{FlowReadCode(3),        "流量四",     C::kBenchReadData,      0,   0,     C::kBenchReadData,      F::kReply,     kAny,      kRead, L::kBenchRead, 3},
{FlowReadCode(4),        "流量五",     C::kBenchReadData,      0,   0,     C::kBenchReadData,      F::kReply,     kAny,      kRead, L::kBenchRead, 4},
{kFlowEnd,               "结束",       C::kEndTest,            0,   0,     C::kEndTest,            F::kTestReply, kAny,      0,     L::kNone},
{kFlowExitCheck,         "退出检定",   C::kExitCalibration,    0,   0,     C::kEnterCalibration,   F::kReply,     kAny,      0,     L::kNone},
{kFlowClear,             "数据清空",   C::kClearData,          0,   0,     C::kEnterCalibration,   F::kReply,     kAny,      0,     L::kNone},
{FlowCalibrateCode(0),   "流量一标定", C::kCalibrateFlowPoint, 0,   0,     C::kCalibrateFlowPoint, F::kVariant,   kAny,      0,     L::kNone,     0},
{FlowCalibrateCode(1),   "流量二标定", C::kCalibrateFlowPoint, 1,   0,     C::kCalibrateFlowPoint, F::kVariant,   kAny,      0,     L::kNone,     1},
{FlowCalibrateCode(2),   "流量三标定", C::kCalibrateFlowPoint, 2,   0,     C::kCalibrateFlowPoint, F::kVariant,   kAny,      0,     L::kNone,     2},
{FlowCalibrateCode(3),   "流量四标定", C::kCalibrateFlowPoint, 3,   0,     C::kCalibrateFlowPoint, F::kVariant,   kAny,      0,     L::kNone,     3},
{FlowCalibrateCode(4),   "流量五标定", C::kCalibrateFlowPoint, 4,   0,     C::kCalibrateFlowPoint, F::kVariant,   kAny,      0,     L::kNone,     4},
{kFlowHighTerm,          "高温调整",   C::kAdjustTemperature,  0,   kHigh, C::kAdjustTemperature,  F::kReply,     Sub(0x02), 0,     L::kNone},
{kFlowMidTerm,           "中温调整",   C::kAdjustTemperature,  0,   kMid,  C::kAdjustTemperature,  F::kReply,     Sub(0x01), 0,     L::kNone},
{kFlowLowTerm,           "低温调整",   C::kAdjustTemperature,  0,   kLow,  C::kAdjustTemperature,  F::kReply,     Sub(0x00), 0,     L::kNone},
{kFlowCompensate,        "补偿",       C::kWriteCoefficient,   -1,  0,     C::kWriteCoefficient,   F::kReply,     kAny,      0,     L::kNone},
}};
// clang-format on

static_assert(OperationsConsistent(kFlowOperations),
              "flow operations: a code out of place or a level byte wrong");

}  // namespace

std::span<const OperationRow> FlowOperations() {
  return kFlowOperations;
}

std::span<const OperationRow> OverallOperations() {
  return std::span<const OperationRow>(kFlowOperations).first(kFlowClear);
}

std::string_view FlowPointName(int point) {
  const OperationRow* op = FindOperation(kFlowOperations, FlowReadCode(point));
  return point >= 0 && point < kFlowPoints && op ? op->label : std::string_view();
}

FlowDetectionRun::FlowDetectionRun(SharedState& state, EventPump& pump,
                                   std::span<const OperationRow> operations)
    : BenchRun(state, pump, operations) {
  on_reply = [this](int row, const OperationRow& op, std::span<const uint8_t> frame) {
    if (op.layout != ReplyLayout::kBenchRead || !on_flow_read) return;
    if (const std::optional<BenchRead> reading = DecodeBenchRead(frame)) {
      on_flow_read(row, op.point, *reading);
    }
  };
}

bool FlowDetectionRun::Compensate(int row, int point, int64_t coefficient) {
  if (row < 0 || row >= kMeterRows || point < 0 || point >= kFlowPoints) return false;
  CommandRequest values;
  values.number = coefficient;
  values.variant = point;
  const std::string_view name = FlowPointName(point);
  return RunOne(
      kFlowCompensate, row, Same(values), [&] { state_.Log.CalibrationStep(row + 1, name, true); },
      [&] { state_.Log.CalibrationStep(row + 1, name, false); });
}

}  // namespace qv
