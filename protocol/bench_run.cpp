#include "protocol/bench_run.h"

#include <algorithm>

#include "protocol/address.h"
#include "protocol/frame.h"
#include "protocol/routing.h"
#include "protocol/switch_frame.h"

namespace qv {

BenchRun::BenchRun(SharedState& state, EventPump& pump)
    : state_(state), cycle_(state, pump, *this) {}

int BenchRun::MeterCount() const {
  return std::clamp(state_.Settings.MeterNum, 0, kMeterRows);
}

void BenchRun::SetLamp(int row, Lamp lamp) {
  lamps_.at(row) = lamp;
  if (on_lamp) on_lamp(row, lamp);
}

void BenchRun::Begin(int code, int only_row) {
  cycle_.Resume();
  current_operation_ = code;
  ResetRecvBuffers(state_);
  current_row_ = -1;
  for (int r = 0; r < MeterCount(); ++r) {
    if (only_row < 0 || r == only_row) SetLamp(r, Lamp::ButtonFace);
  }
  if (on_poll_timers) on_poll_timers(true);
}

void BenchRun::End() {
  current_operation_ = 0;
  current_row_ = -1;
  if (on_poll_timers) on_poll_timers(false);
}

void BenchRun::ServeRow(int row, std::span<const uint8_t> frame) {
  current_row_ = row;
  if (!frame.empty()) cycle_.Exchange(row, frame);
  if (lamps_[row] != Lamp::Lime) SetLamp(row, Lamp::Red);
  current_row_ = -1;
}

bool BenchRun::Run(int code, std::string_view label, const FrameFor& frame_for) {
  OperationGuard guard(state_);
  if (!guard.Acquired()) {
    if (on_refused) on_refused();
    return false;
  }
  Begin(code);
  for (int r = 0; r < MeterCount() && !cycle_.Cancelled(); ++r) {
    if (!state_.Rows[r].Selected) continue;
    state_.Log.Operation(r + 1, label);
    const std::optional<Bytes> frame = frame_for(r);
    ServeRow(r, frame ? std::span<const uint8_t>(*frame) : std::span<const uint8_t>());
  }
  End();
  state_.Log.OperationFinished(label);
  return true;
}

bool BenchRun::RunOne(int code, int row, std::span<const uint8_t> frame,
                      const std::function<void()>& begin, const std::function<void()>& end) {
  if (row < 0 || row >= kMeterRows) return false;
  OperationGuard guard(state_);
  if (!guard.Acquired()) {
    if (on_refused) on_refused();
    return false;
  }
  Begin(code, row);
  current_row_ = row;
  if (begin) begin();
  ServeRow(row, frame);
  End();
  if (end) end();
  return true;
}

bool BenchRun::RecogniseReply(const ReplyHeader& header) const {
  return IsSwitchHeader(header) || RecogniseOwn(header);
}

void BenchRun::HandleReply(std::span<const uint8_t> frame) {
  if (IsSwitchReply(frame)) {
    cycle_.TakeSwitchStatus(frame);
    return;
  }
  const int code = current_operation_;
  if (code == 0 || !Accepts(code, frame)) return;
  if (CheckFrame(frame) != FrameCheck::kCorrect) return;
  const std::string reply_address = ReplyAddressText(frame);
  for (int r = 0; r < MeterCount(); ++r) {
    if (RowMatchesReply(state_.Rows[r].Address, reply_address)) {
      SetLamp(r, Lamp::Lime);
      Decode(code, r, frame);
      return;
    }
  }
}

}  // namespace qv
