// The "Excel" button of both detection windows: what the window shows is
// gathered into an ExportTable, saved as a workbook in the exports folder and
// opened with the desktop's spreadsheet program.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "core/shared_state.h"
#include "detection/core/detection_sheet.h"
#include "detection/export/result_workbook.h"
#include "ui/captions.h"

namespace qv {

class TOperatorInput;

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

// The table of a detection window's `sheet`: the basic parameters of the
// settings (the lists' texts from `captions` in the current language), the
// flow points, and every ticked row (all 20 are looked at) with its cells as
// the sheet shows them.
ExportTable GatherTable(const WorkbookLayout& layout, const DetectionSheet& sheet,
                        const BenchState& state, const CaptionTable& captions);

}  // namespace qv
