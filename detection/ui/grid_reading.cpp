#include "detection/ui/grid_reading.h"

#include "core/number_format.h"
#include "detection/ui/flow_grid.h"

namespace qv {
namespace {

std::optional<double> Cell(const QLineEdit* cell) {
  if (!cell) return std::nullopt;
  return ParseNumber(cell->text().trimmed().toStdString());
}

}  // namespace

ReadingRecord GridReading(const BenchState& state, const TFlowGrid& grid, int row, int point,
                          const char* window) {
  const SystemSettings& s = state.Settings;
  ReadingRecord r;
  r.Window = window;
  r.Tester = s.OperatorName;
  r.Dn = ValidDn(s.DN) ? DnSizeTable[s.DN] : 0;
  r.Level = s.MeasurementLevel + 1;
  r.Location = s.Location;
  r.StandardError = s.StandardError;
  r.ErrorCorrection = s.ErrorCorrection;
  r.Address = grid.edtAddr[row]->text().trimmed().toStdString();
  r.Row = row + 1;
  r.FlowPoint = point + 1;
  r.Flow = s.FlowPoints()[point];
  r.MeterVolume = Cell(grid.edtBulk[point][row]);
  r.VolumeError = Cell(grid.edtError[point][row]);
  r.MeterHeat = Cell(grid.edtHeat[point][row]);
  r.HeatError = Cell(grid.edtHeatError[point][row]);
  r.Inlet = Cell(grid.edtEntreTerm[row]);
  r.Outlet = Cell(grid.edtExitTerm[row]);
  for (int k = 0; k < kFlowPoints; ++k) {
    if (const std::optional<double> c = Cell(grid.edtCoef[k][row]))
      r.Coefficients[k] = static_cast<int64_t>(*c);
  }
  bool shown = false;
  bool red = false;
  for (const QLineEdit* error : {grid.edtError[point][row], grid.edtHeatError[point][row]}) {
    if (!error || error->text().trimmed().isEmpty()) continue;
    shown = true;
    red = red || TFlowGrid::TextColour(*error) == TFlowGrid::kRed;
  }
  r.Verdict = red ? kVerdictFail : shown ? kVerdictPass : "";
  return r;
}

void Journal(BenchState& state, ReadingRecord reading) {
  if (state.Journal) state.Journal->Record(std::move(reading));
}

}  // namespace qv
