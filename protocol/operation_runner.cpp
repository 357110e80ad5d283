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
    : state_(state), cycle_(state, pump, *this), table_(table) {}

int OperationRunner::MeterCount() const {
  return std::clamp(state_.Settings.MeterNum, 0, kMeterRows);
}

bool OperationRunner::Run(const OperationRow& op, const std::function<void()>& begin,
                          const std::function<void()>& body, bool log_end) {
  OperationGuard guard(state_);
  if (!guard.Acquired()) {
    if (on_refused) on_refused();
    return false;
  }
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

bool OperationRunner::Serve(int position, std::span<const uint8_t> frame,
                            const ExchangeHooks& hooks) {
  current_row_ = position;
  const bool answered = !frame.empty() && cycle_.Exchange(position, frame, hooks);
  current_row_ = -1;
  return answered;
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

void BenchRun::ServeRow(int row, const OperationRow& op, const CommandRequest& values) {
  const std::optional<Bytes> frame =
      OperationFrame(op, state_.Settings.CommProtocol, state_.Rows[row].Address, values);
  Serve(row, frame ? std::span<const uint8_t>(*frame) : std::span<const uint8_t>());
  if (lamps_[row] != Lamp::Lime) SetLamp(row, Lamp::Red);
  if (frame && on_served) on_served(row, op, values, lamps_[row] == Lamp::Lime);
}

bool BenchRun::Run(int code, const CommandRequest& values) {
  return RunRows(code, [&values](int) { return values; });
}

bool BenchRun::RunRows(int code, const RowValues& values_of) {
  const OperationRow* op = Operation(code);
  if (!op) return false;
  const auto begin = [this] {
    for (int r = 0; r < MeterCount(); ++r)
      SetLamp(r, Lamp::ButtonFace);
  };
  return OperationRunner::Run(*op, begin, [&] {
    for (int r = 0; r < MeterCount() && !cycle_.Cancelled(); ++r) {
      if (!state_.Rows[r].Selected) continue;
      state_.Log.Operation(r + 1, op->label);
      ServeRow(r, *op, values_of(r));
    }
  });
}

bool BenchRun::RunOne(int code, int row, const CommandRequest& values,
                      const std::function<void()>& begin, const std::function<void()>& end) {
  const OperationRow* op = Operation(code);
  if (!op || row < 0 || row >= kMeterRows) return false;
  const bool ran = OperationRunner::Run(
      *op, [this, row] { SetLamp(row, Lamp::ButtonFace); },
      [&] {
        current_row_ = row;
        if (begin) begin();
        ServeRow(row, *op, values);
      },
      false);
  if (ran && end) end();
  return ran;
}

void BenchRun::TakeReply(const OperationRow& op, std::span<const uint8_t> frame) {
  if (!Confirms(op, frame) || CheckFrame(frame) != FrameCheck::kCorrect) return;
  const std::string reply_address = ReplyAddressText(frame);
  for (int r = 0; r < MeterCount(); ++r) {
    if (RowMatchesReply(state_.Rows[r].Address, reply_address)) {
      SetLamp(r, Lamp::Lime);
      if (on_reply) on_reply(r, op, frame);
      return;
    }
  }
}

}  // namespace qv
