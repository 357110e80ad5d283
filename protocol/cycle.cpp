#include "protocol/cycle.h"

#include "protocol/routing.h"
#include "protocol/switch_frame.h"

namespace qv {

uint32_t WaitPeriods(uint32_t wait_ms, uint32_t period_ms) {
  uint32_t q = wait_ms / period_ms;
  const uint32_t r2 = 2 * (wait_ms % period_ms);
  if (r2 > period_ms || (r2 == period_ms && q % 2 == 1)) ++q;
  return q;
}

TransactionCycle::TransactionCycle(SharedState& state, EventPump& pump, CycleClient& client)
    : state_(state), pump_(pump), client_(client) {}

SendResult TransactionCycle::SendFrame(int row, std::span<const uint8_t> frame) {
  if (cancelled_) return SendResult::kCancelled;
  const SystemSettings& s = state_.Settings;
  if (s.CommType == kCommInfrared) {
    state_.Log.FrameSent(frame);
    return SendResult::kSent;
  }
  const RowRoute route = RouteForRow(state_, row);
  if (route.Channel) {
    const int32_t channel = *route.Channel;
    if (state_.ChannelState[channel] != 1) OpenChannel(channel);
    if (state_.ChannelState[channel] != 1) return SendResult::kNoChannel;
  }
  PortSlot* slot = RowSendSlot(state_, row);
  if (!slot) return SendResult::kNoPort;
  // The writer thread reports nothing back; a refused queue is the only
  // failure known here, and the reply wait shows the rest.
  if (!slot->Port->WriteCommData(frame)) return SendResult::kRefused;
  state_.Log.FrameSent(frame);
  return SendResult::kSent;
}

void TransactionCycle::OpenChannel(int32_t channel) {
  if (channel < 0 || channel >= kSwitchChannels) return;
  PortSlot* slot = RowSendSlot(state_, 0);  // the switch hangs on row 1's port
  if (!slot) return;
  const uint32_t periods = WaitPeriods(state_.Settings.CommWaitTimer, kChannelPeriod.count());
  for (uint32_t attempt = 0; attempt < state_.Settings.ReadAgainTimes && !cancelled_; ++attempt) {
    Bytes frame;
    BuildSwitchFrame(channel, state_.SwitchFrameSeq, frame);
    state_.Log.ChannelFrame(frame);
    if (!slot->Port->WriteCommData(frame)) {
      state_.Log.ChannelSendFailed();
      pump_.Pump(kChannelRetryPause);
      continue;
    }
    for (uint32_t i = 0; i < periods && state_.ChannelState[channel] != 1 && !cancelled_; ++i) {
      pump_.Pump(kChannelPeriod);
    }
    pump_.Pump(std::chrono::milliseconds(0));
    if (state_.ChannelState[channel] == 1) return;
    state_.Log.ChannelNotConfirmed();
  }
}

void TransactionCycle::WaitReply(int row, uint32_t wait_ms) {
  const uint32_t periods = WaitPeriods(wait_ms, kReplyPeriod.count());
  for (uint32_t i = 0; i < periods && !cancelled_; ++i) {
    pump_.Pump(kReplyPeriod);
    if (client_.RowAnswered(row)) return;
  }
}

bool TransactionCycle::Exchange(int row, std::span<const uint8_t> frame,
                                const ExchangeHooks& hooks) {
  for (uint32_t attempt = 0; attempt < state_.Settings.ReadAgainTimes && !cancelled_; ++attempt) {
    if (hooks.before_attempt) hooks.before_attempt();
    if (SendFrame(row, frame) != SendResult::kSent) continue;
    Trace("1");
    WaitReply(row, state_.Settings.CommWaitTimer);
    Trace("2");
    if (client_.RowAnswered(row)) return true;
    if (hooks.after_unanswered) hooks.after_unanswered();
  }
  return client_.RowAnswered(row);
}

void TransactionCycle::Trace(std::string_view text) const {
  if (trace) trace(text);
}

// Every slot with unread bytes is served, so noise on one port cannot hold
// back the replies waiting on another.
void TransactionCycle::ReadTimerTick() {
  RecvSnapshot snapshot;
  for (int n = 1; n <= kPortSlotCount; ++n) {
    PortSlot& slot = state_.Slots[n];
    if (!slot.PortOpen) continue;
    Trace("11");
    if (slot.Unread() == 0) continue;
    Trace("12");
    slot.Snapshot(snapshot);
    Trace("13");
    if (trace) {
      trace("iRecvP=" + std::to_string(snapshot.RecvHead) + ",iCurr=" +
            std::to_string(snapshot.RecvTail) + ",iLeaveLen" + std::to_string(snapshot.Unread()));
    }
    const uint16_t tail = ScanRing(
        snapshot, [&](const ReplyHeader& h) { return client_.RecogniseReply(h); },
        [&](std::span<const uint8_t> frame) { client_.HandleReply(frame); });
    slot.SetRecvTail(tail);
    Trace("14");
  }
}

bool TransactionCycle::TakeSwitchStatus(std::span<const uint8_t> frame) {
  return ApplySwitchStatus(frame, state_.ChannelState) == SwitchReplyStatus::kApplied;
}

}  // namespace qv
