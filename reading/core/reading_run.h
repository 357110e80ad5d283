// The meter-reading window's operations without the window: read metering
// data, set clocks (row by row, or by broadcast), and keep what each list
// row shows. A list row names its meter position (0..19, the hidden column);
// the port, the switch channel and the log's device number follow the
// position, never the row's place in the list.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/operation_log.h"
#include "protocol/frame.h"
#include "protocol/operation_runner.h"
#include "reading/core/reading_format.h"
#include "serial/port_slots.h"

namespace qv {

// Icons of the list: pending, in progress, answered, failed.
enum class RowState : uint8_t { Pending, InProgress, Answered, Failed };

struct ReadingRow {
  int Position = 0;                                  // meter position 0..19
  std::string Address;                               // as the meter list shows it
  std::string Version;                               // "M-BusV2.01" .. "M-BusV3.01", "TG"
  std::array<std::string, kReadingColumns> Columns;  // columns 3..14
  RowState State = RowState::Pending;

  std::string& Column(ReadingColumn c) { return Columns[static_cast<size_t>(c)]; }
  const std::string& Column(ReadingColumn c) const { return Columns[static_cast<size_t>(c)]; }
};

// The meter-reading operations, by code.
enum ReadingOperation : int { kReadData = 1, kSetClock = 2, kBroadcastClock = 3 };

class ReadingRun : public OperationRunner {
 public:
  ReadingRun(SharedState& state, EventPump& pump);

  std::vector<ReadingRow> rows;  // list order
  bool cold_meter = false;       // data type "冷量" (T 21 under versions 4 and 5)

  // Rows one per selected position 0..MeterNum-1: pending, protocol
  // "M-BusV3.01", empty columns.
  void FillFromSelection();
  // Puts what the window shows (the rows' texts, the data type) into
  // `rows` and `cold_meter` once an operation has started.
  using TakeInputs = std::function<void()>;
  // Operations over the rows at `list_indexes` (list order), each row's
  // address, version and data type taken once when the operation starts.
  // A read empties the data of the rows it serves first. False, with
  // nothing read or done, while another operation runs.
  bool ReadData(const std::vector<size_t>& list_indexes, const TakeInputs& take = {});
  bool SetClock(const std::vector<size_t>& list_indexes, const TakeInputs& take = {});
  // The clock to every meter at once, through each line of the bench.
  bool BroadcastClock();
  // The lines the last broadcast went out on (none: nothing was sent).
  const std::vector<std::string>& BroadcastLines() const { return broadcast_lines_; }

  // Failed icon, "─" in columns 3..13, `message` in column 14.
  void MarkRowFailed(size_t list_index, std::string_view message);

  // The window's hooks.
  std::function<void(size_t list_index)> on_row;  // a row's icon or texts changed

  // CycleClient: `row` is a meter position.
  bool RowAnswered(int row) const override;

 protected:
  void TakeReply(const OperationRow& op, std::span<const uint8_t> frame) override;

 private:
  // A row an operation serves, as it was when the operation started.
  struct ServedRow {
    size_t ListIndex = 0;
    int Position = 0;
    std::string Address;
    std::string Version;
    bool ColdMeter = false;
  };

  bool RunRows(int code, const std::vector<size_t>& list_indexes, const TakeInputs& take);
  void Broadcast(const OperationRow& op);
  void Transact(const OperationRow& op, const ServedRow& row);
  void SetState(size_t list_index, RowState state);
  // The served row whose meter sent `frame`, or null.
  const ServedRow* FindRowByAddress(std::span<const uint8_t> frame) const;
  void CheckClockReply(size_t list_index, FrameCheck check);
  void DecodeMeteringReply(const ServedRow& row, FrameCheck check, std::span<const uint8_t> frame);

  std::vector<ServedRow> served_;
  std::vector<std::string> broadcast_lines_;
};

}  // namespace qv
