// The one runner of meter operations, shared by every window that talks to
// meters: one operation at a time across the windows (a second one is
// refused with the beep hook), the receive rings emptied, the poll timers
// on while replies are awaited, each meter served with up to
// `ReadAgainTimes` attempts, the end line logged. What an operation sends
// and which reply confirms it come from the window's operation table.
//
// `BenchRun` serves the ticked rows 1..MeterNum of a bench window and shows
// each meter's answer in the row's lamp; the meter-reading window serves
// its list rows on the same runner.
#pragma once

#include <array>
#include <functional>
#include <span>

#include "protocol/cycle.h"
#include "protocol/operation_table.h"

namespace qv {

// Refuses a second operation while one runs in any window: the shared flag
// is taken for the life of the guard.
class OperationGuard {
 public:
  explicit OperationGuard(BenchState& state);
  ~OperationGuard();
  OperationGuard(const OperationGuard&) = delete;
  OperationGuard& operator=(const OperationGuard&) = delete;
  bool Acquired() const { return acquired_; }

 private:
  BenchState& state_;
  bool acquired_;
};

class OperationRunner : public CycleClient {
 public:
  OperationRunner(SharedState& state, EventPump& pump, std::span<const OperationRow> table);

  // The table's row of `code`, or null.
  const OperationRow* Operation(int code) const { return FindOperation(table_, code); }
  // Ends the running operation as soon as possible: no further frame is
  // sent and the waits return at once.
  void Cancel() { cycle_.Cancel(); }
  // The running operation's code, 0 while idle; the row (meter position)
  // being served, -1 for none.
  int CurrentOperation() const { return running_ ? running_->code : 0; }
  int CurrentRow() const { return current_row_; }
  TransactionCycle& Cycle() { return cycle_; }

  // The window's hooks.
  std::function<void(bool on)> on_poll_timers;  // ReadTimer (and StatusTimer)
  std::function<void()> on_refused;             // a start refused: beep

  // CycleClient
  bool RecogniseReply(const ReplyHeader& header) const override;
  void HandleReply(std::span<const uint8_t> frame) override;

 protected:
  // Runs `op`: the guard, the rings emptied, `begin`, the poll timers while
  // replies are awaited, `body`, the timers off, the end line. False, with
  // nothing done, while another operation runs.
  bool Run(const OperationRow& op, const std::function<void()>& begin,
           const std::function<void()>& body, bool log_end = true);
  // Serves meter position `position` within a run: the exchange with its
  // attempts (nothing sent for an empty frame). Returns whether it answered.
  bool Serve(int position, std::span<const uint8_t> frame, const ExchangeHooks& hooks = {});
  // A reply recognised while `op` runs (switch replies are taken before).
  virtual void TakeReply(const OperationRow& op, std::span<const uint8_t> frame) = 0;

  int MeterCount() const;

  SharedState& state_;
  TransactionCycle cycle_;
  std::span<const OperationRow> table_;
  const OperationRow* running_ = nullptr;
  int current_row_ = -1;
};

// A row's status lamp: button face while idle or waiting, lime when its
// meter answered, red when it did not.
enum class Lamp : uint8_t { ButtonFace, Lime, Red };

class BenchRun : public OperationRunner {
 public:
  using OperationRunner::OperationRunner;

  // Runs operation `code` over the ticked rows 1..MeterNum, each sent the
  // operation's frame with `values`; a row whose frame cannot be built ends
  // red without anything sent. False while another operation runs or for a
  // code the table does not have.
  bool Run(int code, const CommandRequest& values = {});
  // The same with values that differ from row to row (a new address, a
  // pipe size, coefficients): `values_of(row)` for each row served; what it
  // returns must stay valid while that row is served.
  using RowValues = std::function<CommandRequest(int row)>;
  bool RunRows(int code, const RowValues& values_of);
  // Runs operation `code` for one row only (the compensation of one meter):
  // that row's lamp reset, the exchange, the lamp rule. `begin` runs once
  // the row is being served, `end` after the timers are off; neither logs
  // the operation's own lines.
  bool RunOne(int code, int row, const CommandRequest& values,
              const std::function<void()>& begin = {}, const std::function<void()>& end = {});

  Lamp LampOf(int row) const { return lamps_.at(row); }

  std::function<void(int row, Lamp lamp)> on_lamp;  // a lamp changed
  // A confirming reply of `row` (whose lamp is already lime), for the
  // window to read its data.
  std::function<void(int row, const OperationRow& op, std::span<const uint8_t> frame)> on_reply;
  // `row` has been served with `values`: its frame was sent (none is sent
  // when it could not be built) and the meter `answered` or not.
  std::function<void(int row, const OperationRow& op, const CommandRequest& values, bool answered)>
      on_served;

  bool RowAnswered(int row) const override { return lamps_.at(row) == Lamp::Lime; }

 protected:
  void TakeReply(const OperationRow& op, std::span<const uint8_t> frame) override;
  void SetLamp(int row, Lamp lamp);

 private:
  void ServeRow(int row, const OperationRow& op, const CommandRequest& values);

  std::array<Lamp, kMeterRows> lamps_{};
};

}  // namespace qv
