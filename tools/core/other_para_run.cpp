#include "tools/core/other_para_run.h"

#include <cstdio>

#include "core/text.h"
#include "protocol/frame.h"

namespace qv {
namespace {

using C = Command;
using F = Confirm;
using L = ReplyLayout;
constexpr uint8_t kMin = kMinFrameLength;
constexpr ReplySub kAny = ReplySub::kAny;

// Replies of one data identifier tell their operations apart by the
// sub-code after SER: the registers' and the pairing levels' own (those of
// kAccumulators and kTemperatureLevels), the others' as the meters answer.
// Operation 6 logs "写回水温度", as the bench's operators know it.
// clang-format off
constexpr std::array<OperationRow, kOtherParaOperations> kOtherParaTable{{
// code                   label          command                        var  ch  reply                          confirm    sub        min   layout
{kOtherWriteHeat,         "写热量",      C::kWriteAccumulator,          0,   0,  C::kWriteAccumulator,          F::kReply, Sub(0x05), kMin, L::kNone},
{kOtherWriteCold,         "写冷量",      C::kWriteAccumulator,          0,   1,  C::kWriteAccumulator,          F::kReply, Sub(0x06), kMin, L::kNone},
{kOtherWriteFlow,         "写流量",      C::kWriteAccumulator,          0,   2,  C::kWriteAccumulator,          F::kReply, Sub(0x07), kMin, L::kNone},
{kOtherWriteWorkTime,     "写工作时间",  C::kWriteAccumulator,          0,   3,  C::kWriteAccumulator,          F::kReply, Sub(0x08), kMin, L::kNone},
{kOtherWriteSharedHeat,   "写分摊热量",  C::kWriteAccumulator,          0,   4,  C::kWriteAccumulator,          F::kReply, Sub(0x09), kMin, L::kNone},
{kOtherWriteReturnFlow,   "写回水温度",  C::kWriteAccumulator,          0,   5,  C::kWriteAccumulator,          F::kReply, Sub(0x0A), kMin, L::kNone},
{kOtherReadUltrasonic,    "读超声数据",  C::kReadUltrasonicData,        0,   0,  C::kReadUltrasonicData,        F::kReply, kAny,      kMin, L::kUltrasonicFlow},
{kOtherReadAccFlow,       "读累计流量",  C::kReadAccumulatedFlow,       0,   0,  C::kReadAccumulatedFlow,       F::kReply, kAny,      kMin, L::kAccumulatedFlow},
{kOtherReadPairing,       "读温度配对",  C::kReadTemperaturePairing,    0,   0,  C::kReadTemperaturePairing,    F::kReply, Sub(0x05), kMin, L::kPairing},
{kOtherWriteLowPairing,   "写低温配对",  C::kWriteTemperaturePairing,   0,   0,  C::kWriteTemperaturePairing,   F::kReply, Sub(0x06), kMin, L::kNone},
{kOtherWriteMidPairing,   "写中温配对",  C::kWriteTemperaturePairing,   0,   1,  C::kWriteTemperaturePairing,   F::kReply, Sub(0x07), kMin, L::kNone},
{kOtherWriteHighPairing,  "写高温配对",  C::kWriteTemperaturePairing,   0,   2,  C::kWriteTemperaturePairing,   F::kReply, Sub(0x08), kMin, L::kNone},
{kOtherReadHeatUnit,      "读热量单位",  C::kReadHeatUnit,              0,   0,  C::kReadHeatUnit,              F::kReply, Sub(0x00), kMin, L::kHeatUnit},
{kOtherWriteHeatUnit,     "写热量单位",  C::kWriteHeatUnit,             0,  -1,  C::kWriteHeatUnit,             F::kReply, Sub(0x80), kMin, L::kNone},
{kOtherReadPipe,          "读管道",      C::kReadPipe,                  0,   0,  C::kReadPipe,                  F::kReply, Sub(0x01), kMin, L::kPipe},
{kOtherWritePipe,         "写管道",      C::kWritePipe,                 0,  -1,  C::kWritePipe,                 F::kReply, Sub(0x81), kMin, L::kNone},
{kOtherReadPtNo,          "读PT编号",    C::kReadPtNumber,              0,   0,  C::kReadPtNumber,              F::kReply, Sub(0x05), kMin, L::kPtNumber},
{kOtherWritePtNo,         "写PT编号",    C::kWritePtNumber,             0,   0,  C::kWritePtNumber,             F::kReply, Sub(0x06), kMin, L::kNone},
}};
// clang-format on

static_assert(OperationsConsistent(kOtherParaTable),
              "other-parameters operations: a code or a sub-code wrong");

// Whether `values` build a frame for `op` (a checked address and the bench
// protocol, so only the values can fail).
bool Builds(const OperationRow& op, const CommandRequest& values) {
  return OperationFrame(op, 0, "1", values).has_value();
}

}  // namespace

std::span<const OperationRow> OtherParaOperations() {
  return kOtherParaTable;
}

CommandRequest OtherParaValues(const OperationRow& op, const OtherParaRowInputs& in) {
  CommandRequest v;
  switch (op.command) {
    case Command::kWriteAccumulator:
      v.value = EntryValue(in.Data);
      break;
    case Command::kWriteTemperaturePairing: {
      const size_t first = static_cast<size_t>(op.choice) * 3;
      for (size_t j = 0; j < 3; ++j)
        v.pairing[j] = EntryValue(in.Pairing[first + j]);
      break;
    }
    case Command::kWriteHeatUnit:
      v.choice = in.HeatUnit;
      break;
    case Command::kWritePipe:
      v.choice = in.Pipe;
      break;
    case Command::kWritePtNumber:
      v.value = EntryValue(in.PtNo);
      break;
    default:
      break;
  }
  return v;
}

std::optional<int> OtherParaBadField(const OperationRow& op, const OtherParaRowInputs& in) {
  const CommandRequest v = OtherParaValues(op, in);
  // An empty text is no value: it is never sent as 0.
  const auto empty = [&in](int field) { return TrimText(OtherParaFieldText(in, field)).empty(); };
  constexpr int kData = static_cast<int>(OtherParaField::kData);
  constexpr int kPtNo = static_cast<int>(OtherParaField::kPtNo);
  switch (op.command) {
    case Command::kWriteAccumulator:
      if (empty(kData) || !Builds(op, v)) return kData;
      break;
    case Command::kWritePtNumber:
      if (empty(kPtNo) || !Builds(op, v)) return kPtNo;
      break;
    case Command::kWriteTemperaturePairing:
      // Each of the three alone, the others at 0, to name the bad one.
      for (size_t j = 0; j < 3; ++j) {
        const int field =
            static_cast<int>(OtherParaField::kPairingFirst) + op.choice * 3 + static_cast<int>(j);
        CommandRequest one;
        one.pairing = {EntryValue("0"), EntryValue("0"), EntryValue("0")};
        one.pairing[j] = v.pairing[j];
        if (empty(field) || !Builds(op, one)) return field;
      }
      break;
    default:
      break;
  }
  return std::nullopt;
}

const std::string& OtherParaFieldText(const OtherParaRowInputs& in, int field) {
  if (field == static_cast<int>(OtherParaField::kData)) return in.Data;
  if (field == static_cast<int>(OtherParaField::kPtNo)) return in.PtNo;
  return in.Pairing.at(
      static_cast<size_t>(field - static_cast<int>(OtherParaField::kPairingFirst)));
}

OtherParaReadBack DecodeOtherParaReply(int code, std::span<const uint8_t> frame) {
  OtherParaReadBack out;
  const OperationRow* op = FindOperation(kOtherParaTable, code);
  switch (op ? op->layout : ReplyLayout::kNone) {
    case ReplyLayout::kUltrasonicFlow:
    case ReplyLayout::kAccumulatedFlow: {
      const FlowReading r = ReadFlowReply(frame, op->layout);
      out.AccFlow = r.AccFlow;
      out.Flow = r.Flow;
      if (r.Status) {
        char text[5];
        std::snprintf(text, sizeof text, "%02X%02X", (*r.Status)[1], (*r.Status)[0]);
        out.Status = text;
      }
      break;
    }
    case ReplyLayout::kPairing:
      out.Pairing = ReadPairing(frame);
      break;
    case ReplyLayout::kHeatUnit:
      out.HeatUnit = ReadHeatUnit(frame);
      break;
    case ReplyLayout::kPipe:
      out.Pipe = ReadPipeMode(frame);
      break;
    case ReplyLayout::kPtNumber:
      out.PtNumber = ReadPtNumber(frame);
      break;
    default:
      break;
  }
  return out;
}

OtherParaRun::OtherParaRun(SharedState& state, EventPump& pump)
    : BenchRun(state, pump, kOtherParaTable) {
  on_reply = [this](int row, const OperationRow& op, std::span<const uint8_t> frame) {
    if (on_read_back) on_read_back(row, DecodeOtherParaReply(op.code, frame));
  };
}

bool OtherParaRun::RunOperation(int code, const TakeInputs& take) {
  const OperationRow* op = Operation(code);
  if (!op) return false;
  return RunRows(code, [op, &take](RunTable& rows) {
    const std::optional<OtherParaInputs> inputs = take ? take(*op) : OtherParaInputs{};
    if (!inputs) return false;
    for (int r = 0; r < kMeterRows; ++r) {
      // A value that cannot be sent stops the run before anything is sent.
      if (rows[r].Served && OtherParaBadField(*op, (*inputs)[r])) return false;
      rows[r].Values = OtherParaValues(*op, (*inputs)[r]);
    }
    return true;
  });
}

}  // namespace qv
