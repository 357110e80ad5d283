#include "protocol/operation_runner.h"

#include <algorithm>

#include "protocol/address.h"
#include "protocol/frame.h"
#include "protocol/routing.h"
#include "protocol/switch_frame.h"

namespace qv {

OperationGuard::OperationGuard(BenchState& state)
    : state_(state), acquired_(!state.OperationRunning) {
  if (acquired_) state_.OperationRunning = true;
}

OperationGuard::~OperationGuard() {
  if (acquired_) state_.OperationRunning = false;
}

OperationRunner::OperationRunner(SharedState& state, EventPump& pump,
                                 std::span<const OperationRow> table)
    : state_(state),
      cycle_(state, pump, *this),
      table_(table),
      lines_(state, pump, cycle_, *this) {}

int OperationRunner::MeterCount() const {
  return std::clamp(state_.Settings.MeterNum, 0, kMeterRows);
}

bool OperationRunner::Run(const OperationRow& op, const std::function<bool()>& take,
                          const std::function<void()>& begin, const std::function<void()>& body,
                          bool log_end) {
  // A refused start reads nothing: what the running operation took stays
  // as it was.
  OperationGuard guard(state_);
  if (!guard.Acquired()) {
    if (on_refused) on_refused();
    return false;
  }
  if (take && !take()) return false;
  parallel_ = state_.Settings.ParallelLines;
  cycle_.Resume();
  running_ = &op;
  current_row_ = -1;
  RefreshPorts(state_);
  ResetRecvBuffers(state_);
  if (begin) begin();
  // A broadcast awaits no reply, and an operation reading the slot itself
  // needs its bytes left alone: nothing to poll for.
  const bool poll = Polled(op.confirm);
  if (poll && on_poll_timers) on_poll_timers(true);
  body();
  DropFailedPorts(state_);
  if (cycle_.Cancelled()) state_.Log.OperationCancelled(op.label);
  running_ = nullptr;
  current_row_ = -1;
  if (poll && on_poll_timers) on_poll_timers(false);
  if (log_end) state_.Log.OperationFinished(op.label);
  return true;
}

ExchangeOutcome OperationRunner::Serve(int position, const FrameBuilder& build,
                                       const ExchangeHooks& hooks) {
  current_row_ = position;
  const ExchangeOutcome out = cycle_.Exchange(position, build, hooks);
  current_row_ = -1;
  LogNotSent(state_.Log, position, out);
  return out;
}

void OperationRunner::ServeOne(const RowService& row) {
  const FrameBuilder build = row.begin ? row.begin() : FrameBuilder();
  if (!build) {
    if (row.end) row.end(nullptr);
    return;
  }
  const ExchangeOutcome out = Serve(row.position, build, row.hooks);
  if (row.end) row.end(&out);
}

void OperationRunner::ServeRows(std::span<const RowService> rows) {
  if (ServeInParallel(rows)) return;
  for (const RowService& row : rows) {
    if (cycle_.Cancelled()) break;
    ServeOne(row);
  }
}

bool OperationRunner::ServeInParallel(std::span<const RowService> rows) {
  if (!parallel_ || !running_ || !ParallelLines::ManyLines(state_, rows)) return false;
  lines_.Serve(rows, Polled(running_->confirm));
  return true;
}

bool OperationRunner::RecogniseReply(const ReplyHeader& header) const {
  return IsSwitchHeader(header) || RecognisedBy(table_, header);
}

void OperationRunner::HandleReply(std::span<const uint8_t> frame) {
  if (IsSwitchReply(frame)) {
    cycle_.TakeSwitchStatus(frame);
    return;
  }
  if (running_) TakeReply(*running_, frame);
}

void BenchRun::SetLamp(int row, Lamp lamp) {
  lamps_.at(row) = lamp;
  if (on_lamp) on_lamp(row, lamp);
}

BenchRun::FillRows BenchRun::Same(const CommandRequest& values) {
  return [values](RunTable& rows) {
    for (RunRow& r : rows)
      r.Values = values;
    return true;
  };
}

bool BenchRun::TakeRows(const FillRows& fill, int only) {
  rows_ = {};
  protocol_ = state_.Settings.CommProtocol;
  for (int r = 0; r < kMeterRows; ++r) {
    rows_[r].Served = only < 0 ? r < MeterCount() && state_.Rows[r].Selected : r == only;
    rows_[r].Address = state_.Rows[r].Address;
  }
  return !fill || fill(rows_);
}

RowService BenchRun::ServiceOf(int row, const OperationRow& op) {
  RowService service;
  service.position = row;
  service.begin = [this, row, &op] {
    const RunRow& in = rows_[row];
    const FrameBuilder build = [this, &op, &in] {
      CommandRequest values = in.Values;
      values.newAddress = in.NewAddress;
      values.now = clock();
      return OperationFrame(op, protocol_, in.Address, values);
    };
    return build() ? build : FrameBuilder();
  };
  service.end = [this, row, &op](const ExchangeOutcome* out) {
    if (lamps_[row] != Lamp::Lime) SetLamp(row, Lamp::Red);
    if (out && on_served) on_served(row, op, rows_[row].Values, lamps_[row] == Lamp::Lime);
  };
  return service;
}

bool BenchRun::Run(int code, const CommandRequest& values) {
  return RunRows(code, Same(values));
}

bool BenchRun::RunRows(int code, const FillRows& fill) {
  const OperationRow* op = Operation(code);
  if (!op) return false;
  const auto begin = [this] {
    for (int r = 0; r < MeterCount(); ++r)
      SetLamp(r, Lamp::ButtonFace);
  };
  return OperationRunner::Run(
      *op, [&] { return TakeRows(fill, -1); }, begin,
      [&] {
        std::vector<RowService> served;
        for (int r = 0; r < kMeterRows; ++r) {
          if (!rows_[r].Served) continue;
          RowService service = ServiceOf(r, *op);
          service.begin = [this, r, op, build = std::move(service.begin)] {
            state_.Log.Operation(r + 1, op->label);
            return build();
          };
          served.push_back(std::move(service));
        }
        ServeRows(served);
      });
}

bool BenchRun::RunOne(int code, int row, const FillRows& fill, const std::function<void()>& begin,
                      const std::function<void()>& end) {
  const OperationRow* op = Operation(code);
  if (!op || row < 0 || row >= kMeterRows) return false;
  const bool ran = OperationRunner::Run(
      *op, [&] { return TakeRows(fill, row); }, [this, row] { SetLamp(row, Lamp::ButtonFace); },
      [&] {
        current_row_ = row;
        if (begin) begin();
        ServeOne(ServiceOf(row, *op));
      },
      false);
  if (ran && end) end();
  return ran;
}

void BenchRun::TakeReply(const OperationRow& op, std::span<const uint8_t> frame) {
  if (!Confirms(op, frame) || CheckFrame(frame) != FrameCheck::kCorrect) return;
  const std::string reply_address = ReplyAddressText(frame);
  for (int r = 0; r < MeterCount(); ++r) {
    if (RowMatchesReply(rows_[r].Address, reply_address)) {
      SetLamp(r, Lamp::Lime);
      if (on_reply) on_reply(r, op, frame);
      return;
    }
  }
}

}  // namespace qv
