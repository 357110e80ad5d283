#include "protocol/cycle.h"

#include <algorithm>

#include "protocol/routing.h"
#include "protocol/switch_frame.h"

namespace qv {

uint32_t WaitPeriods(uint32_t wait_ms, uint32_t period_ms) {
  uint32_t q = wait_ms / period_ms;
  const uint32_t r2 = 2 * (wait_ms % period_ms);
  if (r2 > period_ms || (r2 == period_ms && q % 2 == 1)) ++q;
  return q;
}

namespace {

using SteadyClock = std::chrono::steady_clock;

// Silence a line keeps after a reply before the next frame goes out on it:
// 3.5 character times, the gap serial meter buses take as the end of a
// frame, so a slow meter has let go of the line before the next is
// addressed. At 2400 baud one character (start, 8 data, parity, stop) is 11
// bits: 3.5 x 11 / 2400 s = 16 ms, less than the 20 ms every line gets.
constexpr uint32_t kLineBaud = 2400;
constexpr auto kLineGuard = std::max(std::chrono::milliseconds(20),
                                     std::chrono::milliseconds(35 * 11 * 1000 / (10 * kLineBaud)));

}  // namespace

WakeOnData::WakeOnData(PortSlots& slots, EventPump& pump) : slots_(slots) {
  slots_.SetWaker([&pump] { pump.Wake(); });
}

WakeOnData::~WakeOnData() {
  slots_.SetWaker({});
}

SteadyClock::time_point TransactionCycle::LineQuietAt(const PortSlot& slot) {
  return slot.LastAppend() + kLineGuard;
}

TransactionCycle::TransactionCycle(SharedState& state, EventPump& pump, CycleClient& client)
    : state_(state), pump_(pump), client_(client) {}

bool TransactionCycle::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  WakeOnData wake(state_.Slots, pump_);
  const auto end = pump_.Now() + limit;
  for (;;) {
    // What has arrived counts at once, and once more when the time is up:
    // a reply that came within the wait is never missed.
    ReadTimerTick();
    if (done()) return true;
    const auto now = pump_.Now();
    if (cancelled_ || now >= end) return false;
    pump_.Pump(std::chrono::ceil<std::chrono::milliseconds>(end - now));
  }
}

void TransactionCycle::AwaitQuietLine(const PortSlot& slot) {
  // Bytes that keep coming (noise) move the end along, for at most a
  // reply wait.
  const auto give_up = pump_.Now() + std::chrono::milliseconds(state_.Settings.CommWaitTimer);
  for (;;) {
    const auto now = pump_.Now();
    const auto quiet = LineQuietAt(slot);
    if (cancelled_ || now >= quiet || now >= give_up) return;
    pump_.Pump(std::chrono::ceil<std::chrono::milliseconds>(std::min(quiet, give_up) - now));
  }
}

std::string_view NotSentText(SendResult result) {
  switch (result) {
    case SendResult::kNoPort:
      return "串口未打开，未发送数据";
    case SendResult::kNoChannel:
      return "通道未打开，未发送数据";
    case SendResult::kRefused:
      return "串口写入失败，未发送数据";
    case SendResult::kNoFrame:
      return "无法生成数据帧，未发送数据";
    case SendResult::kSent:
    case SendResult::kCancelled:
      break;
  }
  return {};
}

void LogNotSent(OperationLog& log, int position, const ExchangeOutcome& out) {
  if (const std::string_view why = NotSentText(out.last); !out.answered && !why.empty())
    log.Post(" 第" + std::to_string(position + 1) + "个设备：" + std::string(why));
}

SendResult TransactionCycle::SendFrame(int row, std::span<const uint8_t> frame) {
  return SendFrame(
      row, [frame] { return std::optional<Bytes>(std::in_place, frame.begin(), frame.end()); });
}

SendResult TransactionCycle::SendFrame(int row, const FrameBuilder& build) {
  if (cancelled_) return SendResult::kCancelled;
  if (state_.Settings.CommType == kCommInfrared) return Transmit(nullptr, build);
  const RowRoute route = RouteForRow(state_, row);
  if (route.Channel) {
    const int32_t channel = *route.Channel;
    if (state_.ChannelState[channel] != 1) OpenChannel(channel);
    if (state_.ChannelState[channel] != 1) return SendResult::kNoChannel;
  }
  PortSlot* slot = RowSendSlot(state_, row);
  if (!slot) return SendResult::kNoPort;
  AwaitQuietLine(*slot);
  if (cancelled_) return SendResult::kCancelled;
  return Transmit(slot, build);
}

SendResult TransactionCycle::Transmit(PortSlot* slot, const FrameBuilder& build) {
  // Built only now, after any channel wait: a time in it is the moment of
  // sending.
  const std::optional<Bytes> frame = build();
  if (!frame) return SendResult::kNoFrame;
  // The writer thread reports nothing back; a refused queue is the only
  // failure known here, and the reply wait shows the rest.
  if (!state_.Log.FrameSent(*frame, [&] { return !slot || slot->Port->WriteCommData(*frame); })) {
    DropPort(*slot);
    return SendResult::kRefused;
  }
  return SendResult::kSent;
}

void TransactionCycle::OpenChannel(int32_t channel) {
  if (channel < 0 || channel >= kSwitchChannels) return;
  PortSlot* slot = RowSendSlot(state_, 0);  // the switch hangs on row 1's port
  if (!slot) return;
  const auto limit =
      kChannelPeriod * WaitPeriods(state_.Settings.CommWaitTimer, kChannelPeriod.count());
  for (uint32_t attempt = 0; attempt < state_.Settings.ReadAgainTimes && !cancelled_; ++attempt) {
    AwaitQuietLine(*slot);
    if (cancelled_) return;
    Bytes frame;
    BuildSwitchFrame(channel, state_.SwitchFrameSeq, frame);
    state_.Log.ChannelFrame(frame);
    if (!slot->Port->WriteCommData(frame)) {
      DropPort(*slot);
      state_.Log.ChannelSendFailed();
      pump_.Pump(kChannelRetryPause);
      continue;
    }
    if (WaitFor([&] { return state_.ChannelState[channel] == 1; }, limit)) return;
    // A wait the operator cancelled is no refusal of the switch.
    if (cancelled_) return;
    state_.Log.ChannelNotConfirmed();
  }
}

void TransactionCycle::WaitReply(int row, uint32_t wait_ms) {
  WaitFor([&] { return client_.RowAnswered(row); },
          kReplyPeriod * WaitPeriods(wait_ms, kReplyPeriod.count()));
}

ExchangeOutcome TransactionCycle::Exchange(int row, const FrameBuilder& build,
                                           const ExchangeHooks& hooks) {
  ExchangeOutcome out;
  for (uint32_t attempt = 0; attempt < state_.Settings.ReadAgainTimes && !cancelled_; ++attempt) {
    if (hooks.before_attempt) hooks.before_attempt();
    out.last = SendFrame(row, build);
    if (out.last != SendResult::kSent) continue;
    Trace("1");
    WaitReply(row, state_.Settings.CommWaitTimer);
    Trace("2");
    if (client_.RowAnswered(row)) break;
    if (hooks.after_unanswered) hooks.after_unanswered();
  }
  out.answered = client_.RowAnswered(row);
  return out;
}

void TransactionCycle::Trace(std::string_view text) const {
  if (trace) trace(text);
}

// Every slot with unread bytes is served, so noise on one port cannot hold
// back the replies waiting on another.
void TransactionCycle::ReadTimerTick() {
  for (int n = 1; n <= kPortSlotCount; ++n) {
    PortSlot& slot = state_.Slots[n];
    if (!slot.PortOpen) continue;
    Trace("11");
    if (slot.Unread() == 0) continue;
    ScanSlot(slot);
  }
}

// Bytes scanned before and still unread (a reply not complete yet) give the
// same result again: only slots that received something are scanned.
void TransactionCycle::ScanArrived() {
  for (int n = 1; n <= kPortSlotCount; ++n) {
    PortSlot& slot = state_.Slots[n];
    const uint64_t appends = slot.Appends();
    if (!slot.PortOpen || appends == scanned_[n]) continue;
    scanned_[n] = appends;
    if (slot.Unread() > 0) ScanSlot(slot);
  }
}

void TransactionCycle::ScanSlot(PortSlot& slot) {
  Trace("12");
  RecvSnapshot snapshot;
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

bool TransactionCycle::TakeSwitchStatus(std::span<const uint8_t> frame) {
  return ApplySwitchStatus(frame, state_.ChannelState) == SwitchReplyStatus::kApplied;
}

}  // namespace qv
