// The flow detection window's operations without the window: which command
// each operation code sends, which replies answer it, and what a bench read
// reply carries.
//
// Bench read reply (C A1, DI 90 1F, L 37), offsets from the 68:
//   14..17 volume, BCD, hundredths of a litre (thousandths of m³ when the
//   unit at 18 is 2C) | 24..26 inlet °C/100 | 27..29 outlet °C/100
//   36, 40, 44, 48 coefficients of flow points 1..4, BCD4
// Example: 34 12 00 00 at 14 with unit 2C shows 0.01 L, with 29 12.34 L.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "protocol/bench_run.h"
#include "protocol/entry_value.h"

namespace qv {

// Operation codes of the flow detection window.
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

// The log label of codes 1..19 ("进入检定" .. "低温调整"); empty for others.
std::string_view FlowOperationLabel(int code);
// "流量一" .. "流量五" for points 0..4.
std::string_view FlowPointName(int point);

// What a bench read reply shows.
struct FlowReading {
  double Volume = 0;  // litres
  double EntreTerm = 0;
  double ExitTerm = 0;
  std::array<int64_t, 4> Coefficients{};
};
inline constexpr size_t kFlowReadMinLength = 52;  // through the fourth coefficient
FlowReading DecodeFlowRead(std::span<const uint8_t> frame);

// The value an operation sends besides the address: the standard volume
// (codes 12..16), a temperature (17..19) or a coefficient (20).
struct FlowOperationValues {
  EntryValue Volume{""};
  EntryValue Temperature{""};
  int64_t Coefficient = 0;
  int CoefficientPoint = 1;  // 1..5, for code 20
};

// The frame of operation `code` for a meter, or nothing (protocol other
// than "188", an address that is not hex, a value that does not fit).
std::optional<Bytes> BuildFlowOperationFrame(int code, int32_t comm_protocol,
                                             std::string_view address,
                                             const FlowOperationValues& values);

// Whether `frame` answers operation `code` in this window.
bool FlowOperationAccepts(int code, std::span<const uint8_t> frame);

class FlowDetectionRun : public BenchRun {
 public:
  using BenchRun::BenchRun;

  // A bench read reply of `row` accepted under code 4..8 (point = code - 4).
  std::function<void(int row, int point, const FlowReading& reading)> on_flow_read;

  // Runs code 1..19 over the ticked rows.
  bool RunOperation(int code, const FlowOperationValues& values);
  // Writes the corrected coefficient of `row` for flow point `point` (0..4):
  // the compensation, logged as its own start and end lines.
  bool Compensate(int row, int point, int64_t coefficient);

 protected:
  bool RecogniseOwn(const ReplyHeader& header) const override;
  bool Accepts(int code, std::span<const uint8_t> frame) const override {
    return FlowOperationAccepts(code, frame);
  }
  void Decode(int code, int row, std::span<const uint8_t> frame) override;
};

}  // namespace qv
