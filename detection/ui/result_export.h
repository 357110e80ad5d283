// The "Excel" button of both detection windows: what the window shows is
// gathered into an ExportTable, saved as a workbook in the exports folder and
// opened with the desktop's spreadsheet program.
#pragma once

#include <QLineEdit>
#include <QString>
#include <QWidget>
#include <functional>
#include <span>

#include "core/shared_state.h"
#include "detection/export/result_workbook.h"

namespace qv {

class TFlowGrid;
class TOperatorInput;
struct BaseGroup;

class ResultExport {
 public:
  ResultExport(BenchState& state, TOperatorInput& input, QWidget* owner);

  // Asks the desktop to open a saved workbook; false when no program takes
  // it. Tests replace it, so that no program is ever started by them.
  std::function<bool(const QString& path)> open;

  // With no row selected nothing happens. Otherwise the workbook is saved
  // and its path logged, then opened; when it cannot be saved the operator
  // reads "Unable to write to <path>", when nothing opens it he is told so
  // and where it was saved.
  void Export(const ExportTable& table);

 private:
  BenchState& state_;
  TOperatorInput& input_;
  QWidget* owner_;
};

// The table of a detection window: the basic parameters, the flow point
// fields `edtFlux1` .. `edtFlux5`, and every ticked row of `grid` (all 20
// are looked at) with its cells' texts and colours.
ExportTable GatherTable(const WorkbookLayout& layout, const BaseGroup& base,
                        std::span<QLineEdit* const> flux, const TFlowGrid& grid, int flux_num);

}  // namespace qv
