// The transaction cycle that every window talking to meters owns one copy
// of: send a frame to a row's meter (connecting its switch channel first on
// a channel-switch bench), wait for the reply while the poll timer pulls
// received bytes out of the port rings, and hand recognised replies to the
// window. Everything runs on the user-interface thread; the waits go
// through an EventPump so the window stays live.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "core/hex.h"
#include "protocol/event_pump.h"
#include "protocol/reply_scan.h"
#include "serial/port_slots.h"

namespace qv {

// What a window supplies to its cycle.
class CycleClient {
 public:
  virtual ~CycleClient() = default;
  // The row (meter position 0..19) has answered in the running operation.
  virtual bool RowAnswered(int row) const = 0;
  // Whether a frame beginning with `header` is one of the window's replies.
  virtual bool RecogniseReply(const ReplyHeader& header) const = 0;
  // A recognised, complete frame (from its 68 to its last byte).
  virtual void HandleReply(std::span<const uint8_t> frame) = 0;
};

// Number of `period_ms` periods in a wait of `wait_ms`: the nearest integer,
// halves to even (1250 ms -> 2 periods of 500, 750 ms -> 2, 250 ms -> 0).
uint32_t WaitPeriods(uint32_t wait_ms, uint32_t period_ms);

// What became of a frame handed to the cycle.
enum class SendResult : uint8_t {
  kSent,       // handed to the port's writer (or, on infrared wiring, to nobody)
  kCancelled,  // the operation is being cancelled
  kNoPort,     // the row has no open port
  kNoChannel,  // its switch channel could not be connected
  kRefused,    // the port did not take it (its writer has stopped)
  kNoFrame,    // no frame could be built
};
// Why nothing reached a meter, as the log and the meter list say it; empty
// for a frame that was sent (or cancelled).
std::string_view NotSentText(SendResult result);

// Builds a frame at the moment it is sent: a frame that carries the time is
// built afresh for every attempt, from the clock at that moment. Nothing
// when no frame can be built.
using FrameBuilder = std::function<std::optional<Bytes>()>;

// How an exchange ended: whether the meter answered, and what became of
// the last attempt's frame (kSent also when no attempt was made).
struct ExchangeOutcome {
  bool answered = false;
  SendResult last = SendResult::kSent;
};

// Logs why nothing reached the meter of `position` (0..19) when its
// exchange `out` ended unanswered without a frame sent: " 第n个设备：" and
// the reason.
void LogNotSent(OperationLog& log, int position, const ExchangeOutcome& out);

// Hooks of one exchange: `before_attempt` runs before each attempt,
// `after_unanswered` after each attempt whose frame was sent and that
// ended without an answer.
struct ExchangeHooks {
  std::function<void()> before_attempt;
  std::function<void()> after_unanswered;
};

// While it lives, bytes arriving on any port end the pump's period at once.
class WakeOnData {
 public:
  WakeOnData(PortSlots& slots, EventPump& pump);
  ~WakeOnData();
  WakeOnData(const WakeOnData&) = delete;
  WakeOnData& operator=(const WakeOnData&) = delete;

 private:
  PortSlots& slots_;
};

class TransactionCycle {
 public:
  // The reply wait is `CommWaitTimer` rounded to whole periods of 500 ms,
  // halves to even, as meters and benches have always been timed; it ends
  // as soon as the row is answered.
  static constexpr std::chrono::milliseconds kReplyPeriod{500};
  // The channel wait likewise, in periods of one second, the switch's pace.
  static constexpr std::chrono::milliseconds kChannelPeriod{1000};
  // Pause after a refused switch frame before the next attempt.
  static constexpr std::chrono::milliseconds kChannelRetryPause{50};

  TransactionCycle(SharedState& state, EventPump& pump, CycleClient& client);

  // Sends the frame `build` gives, built once the channel is connected and
  // the line is quiet, for `row` under the bench's wiring (on infrared
  // wiring nothing is transmitted, and the frame counts as sent). Only a
  // frame the port took is logged as " 发送数据：".
  SendResult SendFrame(int row, const FrameBuilder& build);
  SendResult SendFrame(int row, std::span<const uint8_t> frame);
  // The last step of sending, once the line is ready: builds the frame,
  // hands it to `slot`'s writer (null on infrared wiring: nobody) and
  // logs it.
  SendResult Transmit(PortSlot* slot, const FrameBuilder& build);
  // When the line of `slot` has been silent for the guard time after the
  // last bytes received on it.
  static std::chrono::steady_clock::time_point LineQuietAt(const PortSlot& slot);
  // Asks the switch for `channel` with up to `ReadAgainTimes` attempts;
  // success shows in `ChannelState[channel]`.
  void OpenChannel(int32_t channel);
  // Waits up to `wait_ms` (in whole 500 ms periods) for `row` to answer;
  // returns as soon as it has.
  void WaitReply(int row, uint32_t wait_ms);
  // Up to `ReadAgainTimes` attempts of send-then-wait for one row, each
  // with the frame `build` gives when it is sent; stops at the first answer.
  ExchangeOutcome Exchange(int row, const FrameBuilder& build, const ExchangeHooks& hooks = {});

  // Stops the running operation as soon as possible: no further frame is
  // sent and the waits return at once. `Resume` clears it for the next one.
  void Cancel() { cancelled_ = true; }
  void Resume() { cancelled_ = false; }
  bool Cancelled() const { return cancelled_; }

  // Short markers of the poll for the hourly trace file (the meter-reading
  // window's); unset for the bench windows.
  std::function<void(std::string_view)> trace;

  // The poll timer's tick: every open slot holding unread bytes, in COM
  // order, is scanned for the window's replies.
  void ReadTimerTick();
  // The same for the slots that received bytes since this last looked at
  // them: what a wait runs whenever bytes arrive on one of many lines.
  void ScanArrived();
  // A switch status reply: when it is whole and correct, its flags replace
  // the channel flags. Returns whether it was taken.
  bool TakeSwitchStatus(std::span<const uint8_t> frame);

 private:
  // Scans the rings whenever bytes arrive (and on the poll timer) until
  // `done` or `limit` has passed; returns `done()`.
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit);
  // Lets the line of `slot` be silent for the guard time after the last
  // bytes received on it.
  void AwaitQuietLine(const PortSlot& slot);
  void Trace(std::string_view text) const;
  void ScanSlot(PortSlot& slot);

  SharedState& state_;
  EventPump& pump_;
  CycleClient& client_;
  bool cancelled_ = false;
  // `Appends()` of each slot when ScanArrived last scanned it.
  std::array<uint64_t, kPortSlotCount + 1> scanned_{};
};

// Whether a frame header is the switch's (68 56 ...).
inline bool IsSwitchHeader(const ReplyHeader& h) {
  return h[1] == 0x56;
}

}  // namespace qv
