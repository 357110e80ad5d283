// The other-parameters window's meter commands without the window: its
// operation table (accumulated registers, temperature pairing, ultrasonic
// and accumulated-flow read-backs, heat unit, pipe mode, PT number), the
// values each row sends, checked before anything is sent, and what the
// replies read back.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "protocol/operation_runner.h"
#include "protocol/reply_layout.h"

namespace qv {

// Operation codes of the other-parameters window, in button order.
enum OtherParaOperation : int {
  kOtherWriteHeat = 1,
  kOtherWriteCold = 2,
  kOtherWriteFlow = 3,
  kOtherWriteWorkTime = 4,
  kOtherWriteSharedHeat = 5,
  kOtherWriteReturnFlow = 6,
  kOtherReadUltrasonic = 7,
  kOtherReadAccFlow = 8,
  kOtherReadPairing = 9,
  kOtherWriteLowPairing = 10,
  kOtherWriteMidPairing = 11,
  kOtherWriteHighPairing = 12,
  kOtherReadHeatUnit = 13,
  kOtherWriteHeatUnit = 14,
  kOtherReadPipe = 15,
  kOtherWritePipe = 16,
  kOtherReadPtNo = 17,
  kOtherWritePtNo = 18,
};
inline constexpr int kOtherParaOperations = kOtherWritePtNo;

std::span<const OperationRow> OtherParaOperations();

// What a row of the window holds for the commands: the texts as typed.
struct OtherParaRowInputs {
  std::string Data{};                                 // write value
  std::array<std::string, kPairingValues> Pairing{};  // low s/i/r, middle, high
  int HeatUnit = 0;                                   // 0 kWh, 1 GJ
  int Pipe = 0;                                       // 0 single, 1 double
  std::string PtNo{};
};

// The fields a row sends for an operation, as numbered for messages.
enum class OtherParaField : int { kData = 0, kPairingFirst = 1, kPtNo = 1 + kPairingValues };
// The values row `in` sends for `op`.
CommandRequest OtherParaValues(const OperationRow& op, const OtherParaRowInputs& in);
// The first field of `in` that `op` would send and that is empty, is not a
// number or does not fit its field (its index in OtherParaField numbering),
// or nothing.
std::optional<int> OtherParaBadField(const OperationRow& op, const OtherParaRowInputs& in);
// The text of field `field` of `in`.
const std::string& OtherParaFieldText(const OtherParaRowInputs& in, int field);

// What a confirming reply reads back, by the operation's reply layout; an
// unlisted unit, heat-unit or pipe code leaves its value empty.
struct OtherParaReadBack {
  std::optional<double> AccFlow;
  std::optional<double> Flow;
  std::optional<std::string> Status;  // four hex digits, the second byte first
  std::optional<std::array<double, kPairingValues>> Pairing;
  std::optional<int> HeatUnit;  // list index
  std::optional<int> Pipe;      // list index
  std::optional<uint64_t> PtNumber;
};
OtherParaReadBack DecodeOtherParaReply(int code, std::span<const uint8_t> frame);

using OtherParaInputs = std::array<OtherParaRowInputs, kMeterRows>;

class OtherParaRun : public BenchRun {
 public:
  OtherParaRun(SharedState& state, EventPump& pump);

  // Reads the rows' inputs for `op` (the values checked) once the operation
  // has started; nothing (the operator told) stops it before anything is
  // sent.
  using TakeInputs = std::function<std::optional<OtherParaInputs>(const OperationRow& op)>;
  // Operation `code` over the selected rows 1..MeterNum with the inputs
  // `take` reads (none: every row's are empty, so only the operations that
  // send no typed value run). A served row whose values cannot be sent
  // stops it before anything is sent.
  bool RunOperation(int code, const TakeInputs& take = {});

  std::function<void(int row, const OtherParaReadBack& read)> on_read_back;
};

}  // namespace qv
