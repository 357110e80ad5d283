// The other-parameters window: writes the meters' accumulated registers,
// reads and writes the temperature-probe pairing at three levels, reads the
// ultrasonic and accumulated-flow data, and reads and writes the heat unit,
// the pipe mode and the PT number, over the selected rows.
//
// This file holds the layout and the wiring; the rows are a TOtherParaGrid,
// the commands an OtherParaRun. The captions follow the language when the
// window is shown.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "tools/core/other_para_run.h"
#include "ui/tool_form.h"

namespace qv {

class TOtherParaGrid;
class TOperatorInput;

class TOtherParaFrm : public TToolForm {
  Q_OBJECT

 public:
  const CaptionTable& Captions() const override;
  explicit TOtherParaFrm(SharedState& state, QWidget* parent = nullptr);

  // Runs operation `code` (1..18) as its button does. The values the
  // selected rows would send are checked first: on an empty or bad one
  // the operator is told and nothing is sent.
  void RunOperation(int code);

  OtherParaRun& Run() { return run_; }
  TOtherParaGrid& Grid() { return *grid_; }
  int PipeMode() const { return pipe_mode_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void CancelRuns() override { run_.Cancel(); }
  void ApplyLanguage() override;

 private:
  QWidget* BuildButtons();
  void WireRows();
  // "全同": `text` into `column` of rows 1..MeterNum.
  void CopyText(const std::array<QLineEdit*, kMeterRows>& column, const QString& text);
  void CopyIndex(const std::array<QComboBox*, kMeterRows>& column, int index);
  // The rows' inputs for `op`, read when it has started; nothing (the
  // operator told) when a value it would send is empty or not one.
  std::optional<OtherParaInputs> TakeInputs(const OperationRow& op);
  void ShowReadBack(int row, const OtherParaReadBack& read);

  OtherParaRun run_;
  TOtherParaGrid* grid_;
  QLabel* lblCN_;
  QLabel* lblEN_;
  int pipe_mode_ = 0;  // re-selected in every row when the captions are set
  bool copying_ = false;
};

}  // namespace qv
