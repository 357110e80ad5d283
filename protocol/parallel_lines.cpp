#include "protocol/parallel_lines.h"

#include <algorithm>
#include <optional>
#include <set>

#include "protocol/routing.h"

namespace qv {

ParallelLines::ParallelLines(SharedState& state, EventPump& pump, TransactionCycle& cycle,
                             const CycleClient& client)
    : state_(state), pump_(pump), cycle_(cycle), client_(client) {}

bool ParallelLines::ManyLines(const BenchState& state, std::span<const RowService> rows) {
  std::set<int> lines;
  for (const RowService& r : rows)
    lines.insert(LineOfRow(state, r.position));
  return lines.size() > 1;
}

bool ParallelLines::InService(int position) const {
  return std::any_of(lines_.begin(), lines_.end(), [&](const Line& line) {
    return line.step != Step::kNextRow && line.step != Step::kDone &&
           Row(line).position == position;
  });
}

void ParallelLines::Serve(std::span<const RowService> rows, bool scan) {
  rows_ = rows;
  lines_.clear();
  for (size_t i = 0; i < rows.size(); ++i) {
    const int id = LineOfRow(state_, rows[i].position);
    auto line =
        std::find_if(lines_.begin(), lines_.end(), [id](const Line& l) { return l.id == id; });
    if (line == lines_.end()) {
      line = lines_.emplace(line);
      line->id = id;
    }
    line->rows.push_back(i);
  }
  state_.Log.OpenBlocks(rows.size());
  std::optional<WakeOnData> wake;
  if (scan) wake.emplace(state_.Slots, pump_);
  for (;;) {
    // What has arrived counts before any line decides that its wait is over.
    if (scan) cycle_.ScanArrived();
    std::optional<Clock::time_point> next;
    for (Line& line : lines_) {
      Advance(line);
      if (line.step != Step::kDone) next = next ? std::min(*next, line.due) : line.due;
    }
    if (!next) break;
    const auto now = Clock::now();
    pump_.Pump(*next > now ? std::chrono::ceil<std::chrono::milliseconds>(*next - now)
                           : std::chrono::milliseconds(0));
  }
  for (Line& line : lines_) {
    if (line.logging && line.logging->Port) line.logging->Port->SetLogBlock(OperationLog::kNoBlock);
  }
  state_.Log.EndBlocks();
  lines_.clear();
  rows_ = {};
}

void ParallelLines::Advance(Line& line) {
  const SystemSettings& s = state_.Settings;
  OperationLog& log = state_.Log;
  // Whatever a step logs belongs to the row being served; lines logged
  // while the event loop runs in between go straight to the log.
  struct PostingInto {
    OperationLog& log;
    ~PostingInto() { log.PostInto(OperationLog::kNoBlock); }
  } posting{log};
  for (;;) {
    if (line.step == Step::kDone) return;
    if (line.step != Step::kNextRow) log.PostInto(static_cast<int>(line.row));
    const int position = line.step == Step::kNextRow ? -1 : Row(line).position;
    switch (line.step) {
      case Step::kDone:
        return;
      case Step::kNextRow:
        if (line.next == line.rows.size() || cycle_.Cancelled()) {
          line.step = Step::kDone;
          return;
        }
        StartRow(line);
        break;
      case Step::kAttempt:
        if (line.attempt >= s.ReadAgainTimes || cycle_.Cancelled()) {
          EndRow(line, true);
          break;
        }
        ++line.attempt;
        if (Row(line).hooks.before_attempt) Row(line).hooks.before_attempt();
        if (cycle_.Cancelled()) {
          line.out.last = SendResult::kCancelled;
        } else if (s.CommType == kCommInfrared) {
          line.out.last = cycle_.Transmit(nullptr, line.build);
          if (line.out.last == SendResult::kSent) StartWait(line);
        } else if (!RowSendSlot(state_, position)) {
          line.out.last = SendResult::kNoPort;
        } else {
          // Bytes that keep coming (noise) hold the frame back for at
          // most a reply wait.
          line.give_up = Clock::now() + std::chrono::milliseconds(s.CommWaitTimer);
          line.step = Step::kQuiet;
        }
        break;
      case Step::kQuiet: {
        PortSlot* slot = RowSendSlot(state_, position);
        const auto now = Clock::now();
        if (cycle_.Cancelled() || !slot) {
          line.out.last = slot ? SendResult::kCancelled : SendResult::kNoPort;
          line.step = Step::kAttempt;
          break;
        }
        const auto quiet = TransactionCycle::LineQuietAt(*slot);
        if (now < quiet && now < line.give_up) {
          line.due = std::min(quiet, line.give_up);
          return;
        }
        line.out.last = cycle_.Transmit(slot, line.build);
        if (line.out.last == SendResult::kSent) {
          StartWait(line);
        } else {
          line.step = Step::kAttempt;
        }
        break;
      }
      case Step::kWait: {
        const RowService& row = Row(line);
        const bool answered = !row.read_back && client_.RowAnswered(position);
        if (!answered && !cycle_.Cancelled() && Clock::now() < line.due) return;
        if (cycle_.trace) cycle_.trace("2");
        if (row.read_back) row.read_back();
        if (client_.RowAnswered(position)) {
          EndRow(line, true);
          break;
        }
        if (row.hooks.after_unanswered) row.hooks.after_unanswered();
        line.step = Step::kAttempt;
        break;
      }
    }
  }
}

void ParallelLines::StartRow(Line& line) {
  line.row = line.rows[line.next++];
  line.out = {};
  line.attempt = 0;
  const RowService& row = Row(line);
  // What the row's port receives goes into the row's block.
  const RowRoute route = RouteForRow(state_, row.position);
  if (route.HasPort() && state_.Slots[route.Slot].Port) {
    line.logging = &state_.Slots[route.Slot];
    line.logging->Port->SetLogBlock(static_cast<int>(line.row));
  }
  state_.Log.PostInto(static_cast<int>(line.row));
  line.step = Step::kAttempt;
  line.build = row.begin ? row.begin() : FrameBuilder();
  if (!line.build) EndRow(line, false);
}

void ParallelLines::StartWait(Line& line) {
  if (cycle_.trace) cycle_.trace("1");
  const uint32_t wait = state_.Settings.CommWaitTimer;
  constexpr auto kPeriod = TransactionCycle::kReplyPeriod;
  line.due =
      Clock::now() + (Row(line).read_back
                          ? std::chrono::milliseconds(wait)
                          : kPeriod * WaitPeriods(wait, static_cast<uint32_t>(kPeriod.count())));
  line.step = Step::kWait;
}

void ParallelLines::EndRow(Line& line, bool exchanged) {
  const RowService& row = Row(line);
  // The reply's line comes before what follows from it.
  if (line.logging && line.logging->Port) line.logging->Port->FlushReceived();
  if (exchanged) {
    line.out.answered = client_.RowAnswered(row.position);
    // An operation that reads its answer off the line gives no reason, as
    // when its rows are served one after another.
    if (!row.read_back) LogNotSent(state_.Log, row.position, line.out);
  }
  if (row.end) row.end(exchanged ? &line.out : nullptr);
  line.step = Step::kNextRow;
  state_.Log.CloseBlock(static_cast<int>(line.row));
}

}  // namespace qv
