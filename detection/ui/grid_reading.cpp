#include "detection/ui/grid_reading.h"

#include <string_view>

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
  KeepRecordConditions(state, point, window, r);
  return r;
}

void KeepRecordConditions(const BenchState& state, int point, const char* window,
                          ReadingRecord& r) {
  const SystemSettings& s = state.Settings;
  r.BenchName = s.BenchName;
  r.BenchReference = s.BenchReference;
  r.CalibrationDue = s.CalibrationDue;
  r.MeterType = s.MeterType;
  // A temperature field left empty holds 0, which no bench runs at (the
  // windows take 1 to 150 °C): that is no temperature given.
  const auto given = [](double t) { return t != 0 ? std::optional(t) : std::nullopt; };
  const FlowPointTerm& t = state.FlowPointTerms.at(point);
  r.Fluid = given(t.Fluid);
  // Only the overall detection takes the bench's inlet and outlet.
  if (std::string_view(window) == kOverallWindow) {
    r.BenchInlet = given(t.Entre);
    r.BenchOutlet = given(t.Exit);
  }
}

void Journal(BenchState& state, ReadingRecord reading) {
  if (state.Journal) state.Journal->Record(std::move(reading));
}

}  // namespace qv
