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
  if (const std::string_view why = NotSentText(out.last); !out.answered && !why.empty())
    state_.Log.Post(" 第" + std::to_string(position + 1) + "个设备：" + std::string(why));
  return out;
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

void BenchRun::ServeRow(int row, const OperationRow& op) {
  const RunRow& in = rows_[row];
  const FrameBuilder build = [this, &op, &in] {
    CommandRequest values = in.Values;
    values.newAddress = in.NewAddress;
    values.now = clock();
    return OperationFrame(op, protocol_, in.Address, values);
  };
  const bool built = build().has_value();
  if (built) Serve(row, build);
  if (lamps_[row] != Lamp::Lime) SetLamp(row, Lamp::Red);
  if (built && on_served) on_served(row, op, in.Values, lamps_[row] == Lamp::Lime);
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
        for (int r = 0; r < kMeterRows && !cycle_.Cancelled(); ++r) {
          if (!rows_[r].Served) continue;
          state_.Log.Operation(r + 1, op->label);
          ServeRow(r, *op);
        }
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
        ServeRow(row, *op);
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
