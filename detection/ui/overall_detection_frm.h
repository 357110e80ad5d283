// The overall detection window: volume and heat tested together. It runs the
// verification operations of the flow detection window (enter verification
// .. clear) over the selected meters and reads each meter's volume and heat
// at up to five flow points. The bench gives a weight and three
// temperatures per flow point, from which the window derives the standard
// volume and the reference heat; every row shows the volume error and the
// heat error of each point, each against its own limit.
//
// The rows, the bench group, the volume errors, the operator's input rules
// and the run are those of the flow detection window; this file adds the
// heat.
#pragma once

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>
#include <memory>

#include "detection/core/flow_bench_values.h"
#include "detection/core/flow_detection_run.h"
#include "ui/captions.h"
#include "ui/tool_form.h"

namespace qv {

class TFlowGrid;
class TDetectionButtons;
class TFlowBenchGroup;
class TOperatorInput;
class FlowErrors;
class ResultExport;

// Every caption of the overall detection window, its lists and its title.
const CaptionTable& OverallCaptions();

class TOverallDetectionFrm : public TToolForm {
  Q_OBJECT

 public:
  explicit TOverallDetectionFrm(SharedState& state, QWidget* parent = nullptr);
  ~TOverallDetectionFrm() override;

  // Runs operation `code` (1..11) as its button does.
  void RunOperation(int code) { run_.Run(code); }

  FlowDetectionRun& Run() { return run_; }
  const FlowBenchValues& Values() const { return values_; }
  TFlowGrid& Grid() { return *grid_; }
  TOperatorInput& Input() { return *input_; }
  // `HeatErrorLimit` of flow point `point` (0..4).
  double HeatLimit(int point) const { return heat_limits_.at(point); }
  // The "Excel" button's export; its `open` is replaced by tests.
  ResultExport& Export() { return *export_; }
  // "Excel": the header and the ticked rows saved as a workbook and opened.
  void ExportResults();

 protected:
  void showEvent(QShowEvent* event) override;
  void CancelRuns() override { run_.Cancel(); }
  void ApplyLanguage() override;

 private:
  QWidget* BuildHeader();
  QWidget* BuildBottom();
  QGroupBox* BuildBase();
  QWidget* BuildButtons();
  void WireGrid();

  void FormShow();
  void ComputeLimits();
  void ComputeHeatLimit(int point);
  void ParameterChanged(int32_t SystemSettings::*field, int index);
  void FluxEdited(int point);
  void BenchChanged(int point);
  // `EvaluateHeatError` of the heat cell of (row, point), when it holds one.
  void EvaluateHeatCell(int row, int point);
  void EvaluateHeatPoint(int point);
  void OnFlowRead(int row, int point, const BenchRead& reading);
  void StatusTimerTimer();

  FlowBenchValues values_;
  FlowDetectionRun run_;
  TOperatorInput* input_;
  TFlowGrid* grid_ = nullptr;
  TFlowBenchGroup* bench_ = nullptr;
  std::unique_ptr<FlowErrors> errors_;
  std::unique_ptr<ResultExport> export_;
  std::array<double, kFlowPoints> heat_limits_{};

  QComboBox* cbxCaliber_ = nullptr;
  QComboBox* cbxLevel_ = nullptr;
  QComboBox* cbxLocation_ = nullptr;
  QLabel* lblOperName_ = nullptr;
  QLabel* lblDateTime1_ = nullptr;
  std::array<QGroupBox*, kFlowPoints> gbFlux_{};
  std::array<QLineEdit*, kFlowPoints> edtFlux_{};
  std::array<QLabel*, kFlowPoints> lblBulkError_{};
  std::array<QLabel*, kFlowPoints> lblHeatError_{};
  TDetectionButtons* buttons_ = nullptr;
};

}  // namespace qv
