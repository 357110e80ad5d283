// A reading as the grid shows it, for the results journal: the row's
// address, the cells of one flow point and the temperatures, each number at
// the precision its cell shows, and the bench settings it was judged by.
// The window adds what it knows besides the grid (standard volume,
// reference heat, limits).
#pragma once

#include "core/journal_records.h"
#include "core/shared_state.h"

namespace qv {

class TFlowGrid;

// The reading of (row, point) in `grid` from `window` (kFlowWindow or
// kOverallWindow). The verdict is "fail" when an error cell of the point
// shows red, "pass" when one shows a value and none is red, else empty.
ReadingRecord GridReading(const BenchState& state, const TFlowGrid& grid, int row, int point,
                          const char* window);

// What the verification record needs besides the grid, as it stands when
// the reading of flow point `point` is taken: the bench ([Bench] of the
// settings), the meter type, and the point's fluid temperature and (in the
// overall detection) the bench's inlet and outlet temperatures.
void KeepRecordConditions(const BenchState& state, int point, const char* window, ReadingRecord& r);

// Hands `reading` to the journal, when there is one.
void Journal(BenchState& state, ReadingRecord reading);

}  // namespace qv
