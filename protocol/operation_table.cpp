#include "protocol/operation_table.h"

#include "protocol/frame.h"

namespace qv {

const OperationRow* FindOperation(std::span<const OperationRow> table, int code) {
  for (const OperationRow& op : table) {
    if (op.code == code) return &op;
  }
  return nullptr;
}

std::optional<Bytes> OperationFrame(const OperationRow& op, int selector, std::string_view address,
                                    CommandRequest values) {
  values.selector = selector;
  values.address = address;
  if (op.variant >= 0) values.variant = op.variant;
  if (op.choice >= 0) values.choice = op.choice;
  return BuildRequest(op.command, values);
}

bool Confirms(const OperationRow& op, std::span<const uint8_t> f) {
  if (op.minLength != 0 && f.size() < op.minLength) return false;
  if (op.sub != ReplySub::kAny &&
      (f.size() <= FrameOffset::kData || f[FrameOffset::kData] != static_cast<int>(op.sub))) {
    return false;
  }
  switch (op.confirm) {
    case Confirm::kNone:
    case Confirm::kSlotRead:
      return false;
    case Confirm::kReply:
      return IsReplyTo(op.reply, f);
    case Confirm::kVariant:
      return IsReplyTo(op.reply, f) && ReplyVariant(op.reply, f) == op.variant;
    case Confirm::kTestReply:
      return IsReplyTo(Command::kInitialise, f) || IsReplyTo(Command::kStartTest, f) ||
             IsReplyTo(Command::kEndTest, f);
  }
  return false;
}

bool RecognisedBy(std::span<const OperationRow> table, const ReplyHeader& header) {
  const std::span<const uint8_t> h(header);
  for (const OperationRow& op : table) {
    if (!Polled(op.confirm)) continue;
    if (IsReplyTo(op.reply, h)) return true;
    if (op.confirm == Confirm::kTestReply &&
        (IsReplyTo(Command::kInitialise, h) || IsReplyTo(Command::kStartTest, h) ||
         IsReplyTo(Command::kEndTest, h))) {
      return true;
    }
  }
  return false;
}

}  // namespace qv
