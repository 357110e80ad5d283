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
#include "protocol/metering_data.h"
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

// The versions a row can carry, by index: 1 "M-BusV2.01" .. 5 "TG"; any
// other text gives -1 (the row is skipped).
int VersionIndex(std::string_view version);

// The meter-reading operations, by code.
enum ReadingOperation : int { kReadData = 1, kSetClock = 2, kBroadcastClock = 3 };

class ReadingRun : public OperationRunner {
 public:
  ReadingRun(SharedState& state, EventPump& pump);

  std::vector<ReadingRow> rows;  // list order
  bool cold_meter = false;       // data type "冷量" (T 21 under versions 4 and 5)
  WallClock clock = [] { return std::chrono::system_clock::now(); };

  // Rows one per selected position 0..MeterNum-1: pending, protocol
  // "M-BusV3.01", empty columns.
  void FillFromSelection();
  // Operations over the rows at `list_indexes` (list order). False, with
  // nothing done, while another operation runs.
  bool ReadData(const std::vector<size_t>& list_indexes);
  bool SetClock(const std::vector<size_t>& list_indexes);
  bool BroadcastClock();

  // Failed icon, "─" in columns 3..13, `message` in column 14.
  void MarkRowFailed(size_t list_index, std::string_view message);

  // The window's hooks.
  std::function<void(size_t list_index)> on_row;  // a row's icon or texts changed

  // CycleClient: `row` is a meter position.
  bool RowAnswered(int row) const override;

 protected:
  void TakeReply(const OperationRow& op, std::span<const uint8_t> frame) override;

 private:
  bool RunRows(int code, const std::vector<size_t>& list_indexes);
  void Transact(const OperationRow& op, size_t list_index);
  void SetState(size_t list_index, RowState state);
  int FindRowByAddress(std::span<const uint8_t> frame) const;
  void CheckClockReply(size_t list_index, FrameCheck check);
  void DecodeMeteringReply(size_t list_index, FrameCheck check, std::span<const uint8_t> frame);
};

}  // namespace qv
