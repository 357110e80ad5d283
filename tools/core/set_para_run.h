// The parameter settings window's meter commands without the window: its
// operation table, the read-address loop that reads the reply off the port
// itself, the per-row values each command sends, and the replies that
// confirm a row (the write-address reply by the row's new address) or fill
// it (the address, the coefficient read-back).
#pragma once

#include <array>
#include <functional>
#include <span>
#include <string>

#include "protocol/operation_runner.h"
#include "protocol/reply_layout.h"

namespace qv {

// Operation codes of the parameter settings window.
enum SetParaOperation : int {
  kParaReadAddress = 1,
  kParaWriteAddress = 2,
  kParaSetClock = 3,
  kParaEnterCheck = 4,
  kParaSetCaliber = 5,
  kParaSetLocation = 6,
  kParaExitCheck = 7,
  kParaWriteAllCoef = 8,
  kParaWriteCoefFirst = 9,  // 9..13: coefficients 1..5
  kParaReadCoef = 14,
};
// The code writing coefficient `k` (0..4) alone.
constexpr int WriteCoefficientCode(int k) {
  return kParaWriteCoefFirst + k;
}

// The operation table of the parameter settings window.
std::span<const OperationRow> SetParaOperations();

// What a row of the window holds for the commands besides the shared row.
struct SetParaRowInputs {
  std::string NewAddress;
  int Dn = -1;  // index into DnSizeTable chosen in the row's list
  std::array<int32_t, kFlowPoints> Coefficients{};
};
using SetParaInputs = std::array<SetParaRowInputs, kMeterRows>;

class SetParaRun : public BenchRun {
 public:
  SetParaRun(SharedState& state, EventPump& pump);

  // Reads the rows' inputs for `op` (the values checked) once the operation
  // has started; nothing (the operator told) stops it before anything is
  // sent.
  using TakeInputs = std::function<std::optional<SetParaInputs>(const OperationRow& op)>;

  // Operations 2..8 and 14 over the selected rows 1..MeterNum.
  bool RunOperation(int code, const TakeInputs& take = {});
  // Operation 1: each selected row asks the meters on its line for their
  // address and reads the answer off the line itself.
  bool ReadAddresses();
  // Writes coefficient `k` (0..4) of `row` alone, selected or not: the
  // value `take` reads once the operation has started (nothing stops it).
  bool WriteCoefficient(int row, int k, const std::function<std::optional<int32_t>()>& take);

  // The window's hooks.
  // A row's current address changed (read, or written by the meter).
  std::function<void(int row, const std::string& address)> on_address;
  // A row's coefficient read-back (its coefficients already in the row).
  std::function<void(int row, const CoefficientReadBack& read)> on_read_back;
  // The read-address loop runs the blink alone, and the reply poll only
  // while a switch channel is being opened.
  std::function<void(bool on)> on_status_timer;
  std::function<void(bool on)> on_read_timer;

 protected:
  void TakeReply(const OperationRow& op, std::span<const uint8_t> frame) override;

 private:
  CommandRequest ValuesFor(const OperationRow& op, const SetParaRowInputs& in) const;
  bool ReadAddressOf(int row, const Bytes& frame);
  bool OpenRowChannel(int row);
  void SetAddress(int row, const std::string& address);

  EventPump& pump_;
};

}  // namespace qv
