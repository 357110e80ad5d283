#include "reading/core/reading_run.h"

#include "protocol/address.h"
#include "protocol/commands.h"
#include "protocol/frame.h"
#include "protocol/routing.h"

namespace qv {
namespace {

// clang-format off
constexpr std::array<OperationRow, 3> kReadingOperations{{
// code             label         command                 var ch  reply                   confirm          sub           min layout
{kReadData,        "读计量数据", Command::kReadMeterData, 0,  0,  Command::kReadMeterData, Confirm::kReply, ReplySub::kAny, 0,  ReplyLayout::kMeteringData},
{kSetClock,        "系统对时",   Command::kSetClock,      0,  0,  Command::kSetClock,      Confirm::kReply, ReplySub::kAny, 0,  ReplyLayout::kClock},
// Every meter takes the broadcast and none answers it: no poll, no wait.
{kBroadcastClock,  "广播对时",   Command::kSetClock,      0,  0,  Command::kSetClock,      Confirm::kNone,  ReplySub::kAny, 0,  ReplyLayout::kNone},
}};
// clang-format on
static_assert(OperationsConsistent(kReadingOperations), "reading operations: a code out of place");

}  // namespace

ReadingRun::ReadingRun(SharedState& state, EventPump& pump)
    : OperationRunner(state, pump, kReadingOperations) {}

void ReadingRun::FillFromSelection() {
  rows.clear();
  const int count = std::min(std::max(state_.Settings.MeterNum, 0), kMeterRows);
  for (int p = 0; p < count; ++p) {
    if (!state_.Rows[p].Selected) continue;
    ReadingRow row;
    row.Position = p;
    row.Address = state_.Rows[p].Address;
    row.Version = "M-BusV3.01";
    rows.push_back(std::move(row));
  }
}

void ReadingRun::SetState(size_t list_index, RowState s) {
  rows[list_index].State = s;
  if (on_row) on_row(list_index);
}

void ReadingRun::MarkRowFailed(size_t list_index, std::string_view message) {
  ReadingRow& row = rows[list_index];
  for (size_t c = 0; c + 1 < row.Columns.size(); ++c)
    row.Columns[c] = kTextFailedCell;
  row.Column(ReadingColumn::CommResult) = std::string(message);
  SetState(list_index, RowState::Failed);
}

bool ReadingRun::RowAnswered(int position) const {
  for (const ReadingRow& row : rows) {
    if (row.Position == position && row.State == RowState::Answered) return true;
  }
  return false;
}

bool ReadingRun::ReadData(const std::vector<size_t>& list_indexes, const TakeInputs& take) {
  return RunRows(kReadData, list_indexes, take);
}

bool ReadingRun::SetClock(const std::vector<size_t>& list_indexes, const TakeInputs& take) {
  return RunRows(kSetClock, list_indexes, take);
}

bool ReadingRun::BroadcastClock() {
  return RunRows(kBroadcastClock, {}, {});
}

bool ReadingRun::RunRows(int code, const std::vector<size_t>& list_indexes,
                         const TakeInputs& take) {
  const OperationRow& op = *Operation(code);
  const auto take_rows = [&] {
    if (take) take();
    served_.clear();
    for (size_t i : list_indexes) {
      if (i < rows.size())
        served_.push_back({i, rows[i].Position, rows[i].Address, rows[i].Version, cold_meter});
    }
    return true;
  };
  const auto begin = [&] {
    // What a meter said before is no part of this reading.
    if (op.layout == ReplyLayout::kMeteringData) {
      for (const ServedRow& s : served_) {
        if (VersionIndex(s.Version) >= 0) rows[s.ListIndex].Columns = {};
      }
    }
    for (size_t i = 0; i < rows.size(); ++i)
      SetState(i, RowState::Pending);
  };
  return Run(op, take_rows, begin, [&] {
    if (op.confirm == Confirm::kNone) {
      Broadcast(op);
      return;
    }
    for (const ServedRow& s : served_) {
      if (cycle_.Cancelled()) break;
      state_.Log.Operation(s.Position + 1, op.label);
      Transact(op, s);
    }
  });
}

void ReadingRun::Broadcast(const OperationRow& op) {
  broadcast_lines_.clear();
  const FrameBuilder build = [&] {
    CommandRequest values;
    values.now = clock();
    return OperationFrame(op, 0, kBroadcastAddressText, values);
  };
  if (!build()) return;
  for (int row : BroadcastRows(state_, MeterCount())) {
    SendResult last = SendResult::kSent;
    bool sent = false;
    for (uint32_t i = 0; i < state_.Settings.ReadAgainTimes; ++i) {
      last = cycle_.SendFrame(row, build);
      sent = sent || last == SendResult::kSent;
    }
    const std::string line = LineText(state_, row);
    if (sent) {
      broadcast_lines_.push_back(line);
    } else if (const std::string_view why = NotSentText(last); !why.empty()) {
      state_.Log.Post(" 广播对时未下发至" + line + "：" + std::string(why));
    }
  }
  std::string lines;
  for (const std::string& line : broadcast_lines_)
    lines += (lines.empty() ? "" : "、") + line;
  state_.Log.Post(lines.empty() ? std::string(" 广播对时命令未能下发")
                                : " 广播对时命令已下发至：" + lines);
}

void ReadingRun::Transact(const OperationRow& op, const ServedRow& row) {
  const int version = VersionIndex(row.Version);
  if (version < 0) return;
  const FrameBuilder build = [&] {
    CommandRequest values;
    values.coldMeter = row.ColdMeter;
    values.now = clock();
    return OperationFrame(op, version, row.Address, values);
  };
  if (!build()) return;
  const size_t i = row.ListIndex;
  const ExchangeOutcome out = Serve(row.Position, build,
                                    {.before_attempt = [&] { SetState(i, RowState::InProgress); },
                                     .after_unanswered = [&] { MarkRowFailed(i, kTextNoReply); }});
  // Nothing reached the meter: the row says why.
  if (const std::string_view why = NotSentText(out.last); !out.answered && !why.empty())
    MarkRowFailed(i, why);
}

const ReadingRun::ServedRow* ReadingRun::FindRowByAddress(std::span<const uint8_t> frame) const {
  const std::string reply = ReplyAddressText(frame);
  for (const ServedRow& s : served_) {
    const AddressRule rule =
        VersionIndex(s.Version) == kVersionTG ? AddressRule::kTG : AddressRule::kPlain;
    if (RowMatchesReply(s.Address, reply, rule)) return &s;
  }
  return nullptr;
}

void ReadingRun::TakeReply(const OperationRow& op, std::span<const uint8_t> frame) {
  if (!Confirms(op, frame)) return;
  const ServedRow* found = FindRowByAddress(frame);
  if (!found) return;
  const FrameCheck check = CheckFrame(frame);
  if (check == FrameCheck::kTooShort || check == FrameCheck::kNoStart) return;
  if (op.layout == ReplyLayout::kMeteringData) {
    DecodeMeteringReply(*found, check, frame);
  } else {
    CheckClockReply(found->ListIndex, check);
  }
}

void ReadingRun::CheckClockReply(size_t i, FrameCheck check) {
  // A pending row keeps the attempts going: a bad reply is no answer.
  const char* text = check == FrameCheck::kIncomplete      ? kTextClockIncomplete
                     : check == FrameCheck::kChecksumError ? kTextClockChecksum
                                                           : kTextClockOk;
  rows[i].Column(ReadingColumn::CommResult) = text;
  SetState(i, check == FrameCheck::kCorrect ? RowState::Answered : RowState::Pending);
}

void ReadingRun::DecodeMeteringReply(const ServedRow& row, FrameCheck check,
                                     std::span<const uint8_t> frame) {
  const size_t i = row.ListIndex;
  if (check != FrameCheck::kCorrect) {
    MarkRowFailed(i, check == FrameCheck::kIncomplete ? kTextDataIncomplete : kTextDataChecksum);
    return;
  }
  // A correct frame too short to hold the data says nothing of the meter.
  const std::optional<MeteringData> data = DecodeMeteringData(frame, row.Version);
  if (!data) {
    MarkRowFailed(i, kTextDataIncomplete);
    return;
  }
  const MeteringTexts texts = MeteringTextsOf(data);
  for (size_t c = 0; c < texts.column.size(); ++c) {
    if (texts.column[c]) rows[i].Columns[c] = *texts.column[c];
  }
  SetState(i, RowState::Answered);
}

}  // namespace qv
