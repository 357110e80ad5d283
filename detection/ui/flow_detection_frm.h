// The flow detection window, the bench operator's working window: it runs
// the verification operations over the selected meters (enter verification,
// initialise, start, read a flow point, end, leave verification, clear),
// calibrates a flow point with the bench's standard volume, adjusts the
// meters' temperature points and compensates one coefficient of one meter.
// Each row's lamp shows whether its meter answered; the volumes, errors and
// coefficients the meters report fill the grid.
//
// This file holds the layout and the wiring; the grid, the bench values,
// the flow errors and the operator's input rules are classes of their own,
// the operations are a FlowDetectionRun.
#pragma once

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <array>
#include <memory>

#include "detection/core/flow_bench_values.h"
#include "detection/core/flow_detection_run.h"
#include "ui/tool_form.h"

namespace qv {

class TFlowGrid;
class TDetectionButtons;
class TFlowBenchGroup;
class TOperatorInput;
class FlowErrors;
class ResultExport;

class TFlowDetectionFrm : public TToolForm {
  Q_OBJECT

 public:
  explicit TFlowDetectionFrm(SharedState& state, QWidget* parent = nullptr);
  ~TFlowDetectionFrm() override;

  // Runs operation `code` (1..19) as its button does; values the operation
  // sends that are not numbers stop it before anything is sent.
  void RunOperation(int code);
  // The compensation of the popup item "补偿" on the error cell of `row`
  // (0..19) at flow point `point` (0..4).
  void CompensateCoefficient(int row, int point);

  FlowDetectionRun& Run() { return run_; }
  const FlowBenchValues& Values() const { return values_; }
  TFlowGrid& Grid() { return *grid_; }
  TOperatorInput& Input() { return *input_; }
  // The popup menu of the error cells.
  QMenu* CompensateMenu() { return pmCompensate_; }
  // The "Excel" button's export; its `open` is replaced by tests.
  ResultExport& Export() { return *export_; }
  // "Excel": the header and the ticked rows saved as a workbook and opened.
  void ExportResults();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void CancelRuns() override { run_.Cancel(); }
  void ApplyLanguage() override;

 private:
  QWidget* BuildHeader();
  QWidget* BuildBottom();
  QGroupBox* BuildBase();
  QGroupBox* BuildTerm();
  QWidget* BuildButtons();
  void WireGrid();
  void WireRun();

  void FormShow();
  void ComputeLimits();
  void ParameterChanged(int32_t SystemSettings::*field, int index, bool limits);
  void FluxEdited(int point);
  // Whether `edit` holds a number that fits its frame field (`decimals`
  // sent, at most `max` after scaling); the operator is told when not.
  bool CheckSent(QLineEdit* edit, const QString& field, int decimals, int64_t max);
  void OnFlowRead(int row, int point, const BenchRead& reading);
  // A calibration, temperature adjustment or compensation sent to `row`,
  // for the results journal.
  void JournalWrite(int row, const OperationRow& op, const CommandRequest& values, bool answered);
  void StatusTimerTimer();

  FlowBenchValues values_;
  FlowDetectionRun run_;
  TOperatorInput* input_;
  TFlowGrid* grid_ = nullptr;
  TFlowBenchGroup* bench_ = nullptr;
  std::unique_ptr<FlowErrors> errors_;
  std::unique_ptr<ResultExport> export_;

  QComboBox* cbxCaliber_ = nullptr;
  QComboBox* cbxLevel_ = nullptr;
  QComboBox* cbxLocation_ = nullptr;
  QLabel* lblOperName_ = nullptr;
  QLabel* lblDateTime1_ = nullptr;
  std::array<QGroupBox*, kFlowPoints> gbFlux_{};
  std::array<QLineEdit*, kFlowPoints> edtFlux_{};
  std::array<QLabel*, kFlowPoints> lblError_{};
  QLineEdit* edtHighTerm_ = nullptr;
  QLineEdit* edtMidTerm_ = nullptr;
  QLineEdit* edtLowTerm_ = nullptr;
  TDetectionButtons* buttons_ = nullptr;
  QMenu* pmCompensate_;
  QAction* actCompensate_;
  // The error cell the popup menu was opened on.
  int compensate_row_ = -1;
  int compensate_point_ = -1;
  // The coefficient the compensation being sent corrects.
  int64_t compensate_before_ = 0;
};

}  // namespace qv
