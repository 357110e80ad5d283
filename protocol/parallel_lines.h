// Serving the rows of one operation on several lines at once: each line (a
// port of a bench with a line per meter; each row on infrared wiring)
// serves its rows one after another in the order given, and the lines serve
// at the same time. Per row nothing differs from the cycle's `Exchange`:
// the same frames, attempts, reply waits and guard time after a reply on
// the line. Everything runs on the user-interface thread: one loop steps
// each line's exchange whenever bytes arrive or the line's next moment
// comes, and serves the event loop in between.
//
//   COM1:  row 1  send ─ wait ─ answered   row 3  send ─ wait ─ answered
//   COM2:  row 2  send ─ wait ─────────────────── send ─ wait ─ ...
//   log:   [row 1][row 2][row 3]   each row's lines together, in row order
#pragma once

#include <chrono>
#include <functional>
#include <span>
#include <vector>

#include "protocol/cycle.h"

namespace qv {

// How one row of an operation is served.
struct RowService {
  int position = 0;  // meter position 0..19
  // Runs when the row's turn comes (it logs the row's operation line) and
  // gives the builder of its frames; an empty builder sends nothing.
  std::function<FrameBuilder()> begin;
  ExchangeHooks hooks;
  // Set for an operation that reads the answer off the line itself: each
  // wait takes the whole `CommWaitTimer`, then this says whether the meter
  // answered. Unset: a wait ends as soon as the row is answered.
  std::function<bool()> read_back;
  // After the exchange, with its outcome; null when nothing was to be sent.
  std::function<void(const ExchangeOutcome* out)> end;
};

class ParallelLines {
 public:
  ParallelLines(SharedState& state, EventPump& pump, TransactionCycle& cycle,
                const CycleClient& client);

  // Whether `rows` lie on more than one line.
  static bool ManyLines(const BenchState& state, std::span<const RowService> rows);

  // Serves `rows` until every line is done or the cycle is cancelled (no
  // row starts after that, and the rows being served end at once). The log
  // gathers each row's lines in a block of its own and shows the blocks in
  // the order of `rows`. `scan`: replies are awaited, and the rings are
  // scanned whenever bytes arrive.
  void Serve(std::span<const RowService> rows, bool scan);
  // Whether meter position `position` is being served now.
  bool InService(int position) const;

 private:
  using Clock = std::chrono::steady_clock;
  enum class Step : uint8_t { kNextRow, kAttempt, kQuiet, kWait, kDone };

  // One line and the exchange it is in.
  struct Line {
    int id = 0;                // LineOfRow
    std::vector<size_t> rows;  // indexes into the rows served, in order
    size_t next = 0;           // the next of `rows` to serve
    Step step = Step::kNextRow;
    // The row being served.
    size_t row = 0;
    FrameBuilder build;
    ExchangeOutcome out;
    uint32_t attempt = 0;
    Clock::time_point give_up{};  // of the guard wait
    Clock::time_point due{};      // of the reply wait
    PortSlot* logging = nullptr;  // the port whose lines go into the row's block
  };

  // Takes `line` as far as it goes now; returns when it has to wait, with
  // `line.due` set, or is done.
  void Advance(Line& line);
  void StartRow(Line& line);
  void StartWait(Line& line);
  void EndRow(Line& line, bool exchanged);
  const RowService& Row(const Line& line) const { return rows_[line.row]; }

  SharedState& state_;
  EventPump& pump_;
  TransactionCycle& cycle_;
  const CycleClient& client_;
  std::span<const RowService> rows_;
  std::vector<Line> lines_;
};

}  // namespace qv
