// The flow detection window, the bench operator's working window: it runs
// the verification operations over the selected meters (enter verification,
// initialise, start, read a flow point, end, leave verification, clear),
// calibrates a flow point with the bench's standard volume, adjusts the
// meters' temperature points and compensates one coefficient of one meter.
// Each row's lamp shows whether its meter answered; the volumes, errors and
// coefficients the meters report fill the grid.
//
// What it shares with the overall detection window is TDetectionFrm; this
// file adds the flow point groups' limits, the temperature adjustment, the
// calibration and the compensation.
#pragma once

#include <QAction>
#include <QMenu>

#include "detection/ui/detection_frm.h"
#include "protocol/entry_value.h"

namespace qv {

class TFlowDetectionFrm : public TDetectionFrm {
  Q_OBJECT

 public:
  explicit TFlowDetectionFrm(SharedState& state, QWidget* parent = nullptr);

  // The compensation of the popup item "补偿" on the error cell of `row`
  // (0..19) at flow point `point` (0..4).
  void CompensateCoefficient(int row, int point);
  // The popup menu of the error cells.
  QMenu* CompensateMenu() { return pmCompensate_; }

 protected:
  void FillPoint(int k, QGroupBox* group, QLineEdit* flux) override;
  void AddToHeader(QHBoxLayout* band) override;
  bool OperationValues(const OperationRow& op, CommandRequest& values) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QGroupBox* BuildTerm();
  void WireCoefficients();
  // Whether `value`, shown as `text`, fits the frame field `sent`; the
  // operator is told when not.
  bool CheckSent(const EntryValue& value, const QString& text, const QString& field,
                 const SentField& sent);
  // A calibration, temperature adjustment or compensation sent to `row`,
  // for the results journal.
  void JournalWrite(int row, const OperationRow& op, const CommandRequest& values, bool answered);

  QLineEdit* edtHighTerm_ = nullptr;
  QLineEdit* edtMidTerm_ = nullptr;
  QLineEdit* edtLowTerm_ = nullptr;
  QMenu* pmCompensate_ = nullptr;
  // The error cell the popup menu was opened on.
  int compensate_row_ = -1;
  int compensate_point_ = -1;
  // The coefficient the compensation being sent corrects.
  int64_t compensate_before_ = 0;
};

}  // namespace qv
