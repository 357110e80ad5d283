#include "reading/core/reading_run.h"

#include "protocol/address.h"
#include "protocol/commands.h"
#include "protocol/frame.h"
#include "protocol/routing.h"

namespace qv {
namespace {

constexpr std::array<std::string_view, 5> kVersions = {"M-BusV2.01", "M-BusV2.02", "M-BusV2.03",
                                                       "M-BusV3.01", "TG"};
// clang-format off
constexpr std::array<OperationRow, 3> kReadingOperations{{
// code             label         command                 var ch  reply                   confirm          min layout
{kReadData,        "读计量数据", Command::kReadMeterData, 0,  0,  Command::kReadMeterData, Confirm::kReply, 0,  ReplyLayout::kMeteringData},
{kSetClock,        "系统对时",   Command::kSetClock,      0,  0,  Command::kSetClock,      Confirm::kReply, 0,  ReplyLayout::kClock},
// Every meter takes the broadcast and none answers it: no poll, no wait.
{kBroadcastClock,  "广播对时",   Command::kSetClock,      0,  0,  Command::kSetClock,      Confirm::kNone,  0,  ReplyLayout::kNone},
}};
// clang-format on

}  // namespace

int VersionIndex(std::string_view version) {
  for (size_t i = 0; i < kVersions.size(); ++i) {
    if (kVersions[i] == version) return static_cast<int>(i) + 1;
  }
  return -1;
}

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

bool ReadingRun::ReadData(const std::vector<size_t>& list_indexes) {
  return RunRows(kReadData, list_indexes);
}

bool ReadingRun::SetClock(const std::vector<size_t>& list_indexes) {
  return RunRows(kSetClock, list_indexes);
}

bool ReadingRun::RunRows(int code, const std::vector<size_t>& list_indexes) {
  const OperationRow& op = *Operation(code);
  const auto begin = [this] {
    for (size_t i = 0; i < rows.size(); ++i)
      SetState(i, RowState::Pending);
  };
  return Run(op, begin, [&] {
    if (op.confirm == Confirm::kNone) {
      CommandRequest values;
      values.now = clock();
      const std::optional<Bytes> frame = OperationFrame(op, 0, kBroadcastAddressText, values);
      for (uint32_t i = 0; frame && i < state_.Settings.ReadAgainTimes; ++i)
        cycle_.SendFrame(0, *frame);
      return;
    }
    for (size_t i : list_indexes) {
      if (i >= rows.size() || cycle_.Cancelled()) continue;
      state_.Log.Operation(rows[i].Position + 1, op.label);
      Transact(op, i);
    }
  });
}

void ReadingRun::Transact(const OperationRow& op, size_t list_index) {
  const int version = VersionIndex(rows[list_index].Version);
  if (version < 0) return;
  CommandRequest values;
  values.coldMeter = cold_meter;
  values.now = clock();
  const std::optional<Bytes> frame = OperationFrame(op, version, rows[list_index].Address, values);
  if (!frame) return;
  Serve(rows[list_index].Position, *frame,
        {.before_attempt = [&] { SetState(list_index, RowState::InProgress); },
         .after_unanswered = [&] { MarkRowFailed(list_index, kTextNoReply); }});
}

bool ReadingRun::BroadcastClock() {
  return RunRows(kBroadcastClock, {});
}

int ReadingRun::FindRowByAddress(std::span<const uint8_t> frame) const {
  const std::string reply = ReplyAddressText(frame);
  for (size_t i = 0; i < rows.size(); ++i) {
    const AddressRule rule = rows[i].Version == "TG" ? AddressRule::kTG : AddressRule::kPlain;
    if (RowMatchesReply(rows[i].Address, reply, rule)) return static_cast<int>(i);
  }
  return -1;
}

void ReadingRun::TakeReply(const OperationRow& op, std::span<const uint8_t> frame) {
  if (!Confirms(op, frame)) return;
  const bool metering = op.layout == ReplyLayout::kMeteringData;
  const int found = FindRowByAddress(frame);
  if (found < 0) return;
  const FrameCheck check = CheckFrame(frame);
  if (check == FrameCheck::kTooShort || check == FrameCheck::kNoStart) return;
  if (metering) {
    DecodeMeteringReply(static_cast<size_t>(found), check, frame);
  } else {
    CheckClockReply(static_cast<size_t>(found), check);
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

void ReadingRun::DecodeMeteringReply(size_t i, FrameCheck check, std::span<const uint8_t> frame) {
  if (check != FrameCheck::kCorrect) {
    MarkRowFailed(i, check == FrameCheck::kIncomplete ? kTextDataIncomplete : kTextDataChecksum);
    return;
  }
  // A correct frame too short to hold the data says nothing of the meter.
  if (frame.size() < kMeteringReplyLength) {
    MarkRowFailed(i, kTextDataIncomplete);
    return;
  }
  const bool tg = frame[FrameOffset::kDi0] == 0x1F;
  const MeteringTexts texts = MeteringTextsOf(tg ? DecodeMeteringDataTG(frame)
                                                 : DecodeMeteringData(frame, rows[i].Version));
  for (size_t c = 0; c < texts.column.size(); ++c) {
    if (texts.column[c]) rows[i].Columns[c] = *texts.column[c];
  }
  SetState(i, RowState::Answered);
}

}  // namespace qv
