#include "reading/core/reading_run.h"

#include "protocol/address.h"
#include "protocol/commands.h"
#include "protocol/frame.h"
#include "protocol/routing.h"

namespace qv {
namespace {

constexpr std::array<std::string_view, 5> kVersions = {"M-BusV2.01", "M-BusV2.02", "M-BusV2.03",
                                                       "M-BusV3.01", "TG"};
constexpr const char* kLogRead = "读计量数据";
constexpr const char* kLogClock = "系统对时";
constexpr const char* kLogBroadcast = "广播对时";

bool IsMeteringReply(const ReplyHeader& h) {
  return h[9] == 0x81 && ((h[11] == 0x90 && h[12] == 0x1F) || (h[11] == 0x1F && h[12] == 0x90));
}
bool IsClockReply(const ReplyHeader& h) {
  return h[9] == 0x84 && ((h[11] == 0xA0 && h[12] == 0x15) || (h[11] == 0x15 && h[12] == 0xA0));
}

}  // namespace

int VersionIndex(std::string_view version) {
  for (size_t i = 0; i < kVersions.size(); ++i) {
    if (kVersions[i] == version) return static_cast<int>(i) + 1;
  }
  return -1;
}

ReadingRun::ReadingRun(SharedState& state, EventPump& pump)
    : state_(state), cycle_(state, pump, *this) {}

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

bool ReadingRun::RunRows(Operation op, const std::vector<size_t>& list_indexes) {
  OperationGuard guard(state_);
  if (!guard.Acquired()) {
    if (on_refused) on_refused();
    return false;
  }
  cycle_.Resume();
  for (size_t i = 0; i < rows.size(); ++i)
    SetState(i, RowState::Pending);
  operation_ = op;
  ResetRecvBuffers(state_);
  const char* label = op == kReadData ? kLogRead : op == kSetClock ? kLogClock : kLogBroadcast;
  if (op == kBroadcastClock) {
    // Every meter takes the broadcast and none answers it: no poll, no wait.
    Bytes frame;
    if (BuildSetClock(0, kBroadcastAddressText, frame, clock()) == 0) {
      for (uint32_t i = 0; i < state_.Settings.ReadAgainTimes; ++i)
        cycle_.SendFrame(0, frame);
    }
  } else {
    if (on_poll_timer) on_poll_timer(true);
    for (size_t i : list_indexes) {
      if (i >= rows.size() || cycle_.Cancelled()) continue;
      state_.Log.Operation(rows[i].Position + 1, label);
      Transact(op, i);
    }
    if (on_poll_timer) on_poll_timer(false);
  }
  operation_ = kIdle;
  state_.Log.OperationFinished(label);
  return true;
}

void ReadingRun::Transact(Operation op, size_t list_index) {
  const int version = VersionIndex(rows[list_index].Version);
  if (version < 0) return;
  Bytes frame;
  const int built = op == kReadData
                        ? BuildReadMeterData(version, rows[list_index].Address, frame, cold_meter)
                        : BuildSetClock(version, rows[list_index].Address, frame, clock());
  if (built != 0) return;
  const int position = rows[list_index].Position;
  for (uint32_t attempt = 0; attempt < state_.Settings.ReadAgainTimes && !cycle_.Cancelled();
       ++attempt) {
    SetState(list_index, RowState::InProgress);
    if (cycle_.SendFrame(position, frame) != 0) continue;
    Trace("1");
    cycle_.WaitReply(position, state_.Settings.CommWaitTimer);
    Trace("2");
    if (rows[list_index].State == RowState::Answered) return;
    MarkRowFailed(list_index, kTextNoReply);
  }
}

bool ReadingRun::BroadcastClock() {
  return RunRows(kBroadcastClock, {});
}

bool ReadingRun::RecogniseReply(const ReplyHeader& header) const {
  return IsMeteringReply(header) || IsClockReply(header);
}

int ReadingRun::FindRowByAddress(std::span<const uint8_t> frame) const {
  const std::string reply = ReplyAddressText(frame);
  for (size_t i = 0; i < rows.size(); ++i) {
    const AddressRule rule = rows[i].Version == "TG" ? AddressRule::kTG : AddressRule::kPlain;
    if (RowMatchesReply(rows[i].Address, reply, rule)) return static_cast<int>(i);
  }
  return -1;
}

void ReadingRun::HandleReply(std::span<const uint8_t> frame) {
  if (frame.size() <= FrameOffset::kDi1) return;
  const bool metering = frame[FrameOffset::kControl] == 0x81;
  if (operation_ != (metering ? kReadData : kSetClock)) return;
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
  const MeteringTexts texts =
      tg ? DecodeMeteringDataTG(frame) : DecodeMeteringData(frame, rows[i].Version);
  for (size_t c = 0; c < texts.column.size(); ++c) {
    if (texts.column[c]) rows[i].Columns[c] = *texts.column[c];
  }
  SetState(i, RowState::Answered);
}

}  // namespace qv
