// A window's operations as data: one row per operation, saying what it is
// logged as, which command it sends (and with which variant), which reply
// confirms it and what reads the reply's data. The runner reads the rows;
// a window adds an operation by adding a row (and a name for its code in
// the window's enum of operations).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "protocol/commands.h"
#include "protocol/reply_layout.h"
#include "protocol/reply_scan.h"

namespace qv {

// How a reply confirms the operation that is running.
enum class Confirm : uint8_t {
  kNone,       // nothing answers (a broadcast): no poll, no wait
  kReply,      // any reply to `reply`
  kVariant,    // a reply to `reply` whose DI carries the operation's variant
  kTestReply,  // a reply to Initialise, StartTest or EndTest: meters answer
               // any of the three with any of the three
  kSlotRead,   // the operation reads its reply from the port slot itself
               // (read address, sent to every meter): no poll
};

// Whether the poll looks for replies while `confirm`'s operation runs.
constexpr bool Polled(Confirm confirm) {
  return confirm != Confirm::kNone && confirm != Confirm::kSlotRead;
}

// The first data byte (after SER) a confirming reply carries: replies of
// one data identifier tell their operations apart by it. `kAny`: not looked
// at.
enum class ReplySub : int16_t { kAny = -1 };
constexpr ReplySub Sub(uint8_t byte) {
  return static_cast<ReplySub>(byte);
}

struct OperationRow {
  int code;                // the window's enum of operations names it
  std::string_view label;  // the log's name of the operation
  Command command;
  int8_t variant;  // DI variant sent (flow point, coefficient); -1 = the caller's
  int8_t choice;   // payload choice sent (temperature level ...); -1 = the caller's
  Command reply;   // the command whose replies confirm it
  Confirm confirm;
  ReplySub sub;       // the first data byte of a confirming reply
  uint8_t minLength;  // shortest reply taken, from the 68 through the 16; 0 = any
  ReplyLayout layout;
  int8_t point = -1;  // the flow point 0..4 the operation belongs to, -1 = none
};

// Whether a window's table is whole: its codes 1, 2, ... in row order, and
// every temperature adjustment, register write and pairing write confirmed
// by the level or sub-code byte its choice sends (the meters repeat it).
constexpr bool OperationsConsistent(std::span<const OperationRow> table) {
  for (size_t i = 0; i < table.size(); ++i) {
    const OperationRow& op = table[i];
    if (op.code != static_cast<int>(i) + 1) return false;
    const auto choice = static_cast<size_t>(op.choice);
    int sent = -1;
    if (op.command == Command::kAdjustTemperature && choice < kTemperatureLevels.size())
      sent = kTemperatureLevels[choice].adjustLevel;
    if (op.command == Command::kWriteTemperaturePairing && choice < kTemperatureLevels.size())
      sent = kTemperatureLevels[choice].pairingSubCode;
    if (op.command == Command::kWriteAccumulator && choice < kAccumulators.size())
      sent = kAccumulators[choice].subCode;
    if (sent >= 0 && op.sub != Sub(static_cast<uint8_t>(sent))) return false;
  }
  return true;
}

// The row of `code`, or null.
const OperationRow* FindOperation(std::span<const OperationRow> table, int code);
// Whether `frame` carries the markers of a reply that confirms `op` (length,
// end byte and checksum are `CheckFrame`'s business).
bool Confirms(const OperationRow& op, std::span<const uint8_t> frame);
// The frame of `op` for the meter at `address` under `selector`
// (`CommProtocol` or protocol version): the operation's variant and choice
// over the caller's `values`. Nothing when it cannot be built.
std::optional<Bytes> OperationFrame(const OperationRow& op, int selector, std::string_view address,
                                    CommandRequest values);
// Whether a frame beginning with `header` replies to any operation of `table`.
bool RecognisedBy(std::span<const OperationRow> table, const ReplyHeader& header);

}  // namespace qv
