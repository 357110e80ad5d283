#include "detection/ui/flow_errors.h"

#include <algorithm>

#include "core/number_format.h"
#include "detection/ui/flow_grid.h"

namespace qv {

int FlowErrors::MeterCount() const {
  return std::clamp(settings_.MeterNum, 0, kMeterRows);
}

void FlowErrors::Evaluate(int row, int point, double v) {
  if (!values_.StandardVolume(point)) {
    grid_.ShowError(row, point, QString(), false);
    return;
  }
  const std::optional<FlowErrorCell> cell = values_.Evaluate(point, v);
  if (!cell) return;
  grid_.ShowError(row, point, QString::fromStdString(cell->Text), cell->Outside);
}

void FlowErrors::EvaluateCell(int row, int point) {
  const QString text = grid_.edtBulk.at(point).at(row)->text();
  if (text.trimmed().isEmpty()) return;
  if (const std::optional<double> v = ParseNumber(text.toStdString())) Evaluate(row, point, *v);
}

void FlowErrors::Reevaluate(int which) {
  const int points = std::clamp(settings_.FluxNum, 0, kFlowPoints);
  for (int r = 0; r < MeterCount(); ++r) {
    if (which == 0) {
      for (int k = 0; k < points; ++k)
        EvaluateCell(r, k);
    } else if (which >= 1 && which <= kFlowPoints) {
      EvaluateCell(r, which - 1);
    }
  }
}

void FlowErrors::EvaluatePoint(int point) {
  for (int r = 0; r < MeterCount(); ++r)
    EvaluateCell(r, point);
}

}  // namespace qv
