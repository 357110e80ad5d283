// The journal's readings as the detection windows' workbooks: the history
// window's "Excel" button writes the same layout the window a reading came
// from writes.
#pragma once

#include <vector>

#include "core/journal_records.h"
#include "detection/export/result_workbook.h"

namespace qv {

// One table per window with readings among `readings` (newest first, as the
// journal lists them): the flow detection window's, then the overall
// detection window's.
//
// A workbook row is a meter as a window's grid row is: one row per meter
// address and window, the meters in the order of their newest reading, and
// in each flow point's columns the newest reading of that point, so the
// row shows the meter's latest result at every point, as the grid did
// after its last run. A point without a reading stays blank. The header
// (DN, class, location, tester, date) is the newest reading's, the flow
// point row the flow of each point's newest reading; the fifth point is
// written when any reading has one. Error cells are red where the reading
// failed on that error, as the grid showed them.
std::vector<ExportTable> ReadingTables(const std::vector<ReadingRecord>& readings, bool english);

}  // namespace qv
