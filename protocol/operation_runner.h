// The one runner of meter operations, shared by every window that talks to
// meters: one operation at a time across the windows (a second one is
// refused with the beep hook before it reads or changes anything), the
// operation's inputs taken once, the receive rings emptied, the poll timers
// on while replies are awaited, each meter served with up to
// `ReadAgainTimes` attempts (a frame that carries the time built afresh for
// each), the end line logged. What an operation sends and which reply
// confirms it come from the window's operation table.
//
// `BenchRun` serves the ticked rows 1..MeterNum of a bench window and shows
// each meter's answer in the row's lamp; the meter-reading window serves
// its list rows on the same runner. With parallel lines (the bench setting,
// as it was when the operation started) rows on different lines are served
// at the same time (protocol/parallel_lines.h).
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <span>
#include <string>

#include "protocol/cycle.h"
#include "protocol/operation_table.h"
#include "protocol/parallel_lines.h"

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
  // Whether meter position `row` is being served now; with parallel lines
  // several rows are (and `CurrentRow` is -1).
  bool InService(int row) const { return row == current_row_ || lines_.InService(row); }
  TransactionCycle& Cycle() { return cycle_; }

  // The window's hooks.
  std::function<void(bool on)> on_poll_timers;  // ReadTimer (and StatusTimer)
  std::function<void()> on_refused;             // a start refused: beep

  // The computer's clock, read for every frame that carries the time.
  WallClock clock = [] { return std::chrono::system_clock::now(); };

  // CycleClient
  bool RecogniseReply(const ReplyHeader& header) const override;
  void HandleReply(std::span<const uint8_t> frame) override;

 protected:
  // Runs `op`: the guard, `take` (the operation's inputs, read once; false
  // stops the run with nothing done), the rings emptied, `begin`, the poll
  // timers while replies are awaited, `body`, the timers off, the end line.
  // False, with nothing read or done, while another operation runs.
  bool Run(const OperationRow& op, const std::function<bool()>& take,
           const std::function<void()>& begin, const std::function<void()>& body,
           bool log_end = true);
  // Serves meter position `position` within a run: the exchange with its
  // attempts, each sending what `build` gives then. A row its frames never
  // reached is logged with the reason.
  ExchangeOutcome Serve(int position, const FrameBuilder& build, const ExchangeHooks& hooks = {});
  // Serves one row as `Serve` does, as `row` describes it (`read_back`
  // aside).
  void ServeOne(const RowService& row);
  // Serves `rows` one after another in order until the operation is
  // cancelled, or, with parallel lines, on their lines at once.
  void ServeRows(std::span<const RowService> rows);
  // With parallel lines and `rows` on more than one line: serves them on
  // their lines at once and returns true; otherwise serves nothing.
  bool ServeInParallel(std::span<const RowService> rows);
  // A reply recognised while `op` runs (switch replies are taken before).
  virtual void TakeReply(const OperationRow& op, std::span<const uint8_t> frame) = 0;

  int MeterCount() const;

  SharedState& state_;
  TransactionCycle cycle_;
  std::span<const OperationRow> table_;
  const OperationRow* running_ = nullptr;
  int current_row_ = -1;
  bool parallel_ = false;  // `ParallelLines` when the operation started
  ParallelLines lines_;
};

// A row's status lamp: button face while idle or waiting, lime when its
// meter answered, red when it did not.
enum class Lamp : uint8_t { ButtonFace, Lime, Red };

// What a bench run sends to one meter position, taken once when the run
// starts and owned by the run: nothing pressed, typed or refused later
// changes it. The frame's address fields and its time are set when it is
// built.
struct RunRow {
  bool Served = false;     // the row takes part
  std::string Address;     // the meter's address
  std::string NewAddress;  // WriteAddress: the address the meter is given
  CommandRequest Values;
};
using RunTable = std::array<RunRow, kMeterRows>;

class BenchRun : public OperationRunner {
 public:
  using OperationRunner::OperationRunner;

  // Fills the values of the served rows (`Served` and `Address` are set),
  // once, when the run has started; false (the operator told) stops it
  // before anything is sent.
  using FillRows = std::function<bool(RunTable& rows)>;
  // A FillRows giving every row `values`.
  static FillRows Same(const CommandRequest& values);

  // Runs operation `code` over the ticked rows 1..MeterNum, each sent the
  // operation's frame with `values`; a row whose frame cannot be built ends
  // red without anything sent. False while another operation runs or for a
  // code the table does not have.
  bool Run(int code, const CommandRequest& values = {});
  // The same with values that differ from row to row (a new address, a
  // pipe size, coefficients), filled by `fill`.
  bool RunRows(int code, const FillRows& fill);
  // Runs operation `code` for one row only (the compensation of one meter):
  // that row's lamp reset, the exchange, the lamp rule. `begin` runs once
  // the row is being served, `end` after the timers are off; neither logs
  // the operation's own lines.
  bool RunOne(int code, int row, const FillRows& fill, const std::function<void()>& begin = {},
              const std::function<void()>& end = {});

  Lamp LampOf(int row) const { return lamps_.at(row); }
  // The rows of the running (or last) operation, as taken at its start.
  const RunTable& RunningRows() const { return rows_; }

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
  // Takes the rows of a run: ticked rows 1..MeterNum, or `only` alone.
  bool TakeRows(const FillRows& fill, int only);
  // How `row` is served with `op`: the frame with the row's values taken at
  // the start, the lamp rule at its end.
  RowService ServiceOf(int row, const OperationRow& op);

  std::array<Lamp, kMeterRows> lamps_{};
  RunTable rows_{};
  int protocol_ = 0;  // `CommProtocol` when the run started
};

}  // namespace qv
