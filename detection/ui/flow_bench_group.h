// The bench group "标定" of the flow detection window: the scale readings,
// the net weight, the standard volume, the flow point the values belong to
// and the fluid temperature, with the calibration button. The weighing runs
// as the operator types; what goes wrong with it (a final reading below the
// initial one, a fluid temperature outside the density table) is told once
// the editing of a field ends, not at every key.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <optional>

#include "detection/core/flow_bench_values.h"
#include "ui/operator_input.h"

namespace qv {

class TOperatorInput;

class TFlowBenchGroup : public QGroupBox {
  Q_OBJECT

 public:
  TFlowBenchGroup(SharedState& state, FlowBenchValues& values, TOperatorInput& input,
                  QWidget* parent = nullptr);

  QLineEdit* edtWeight0;
  QLineEdit* edtWeight1;
  QLineEdit* edtWeight;
  QLineEdit* edtVolume;
  QComboBox* cbxFlux;
  QLineEdit* edtFluxTerm;
  QPushButton* btnCalibration;

 signals:
  // The standard volume of the selected flow point changed.
  void StandardVolumeChanged();

 private:
  QLabel* Label(const char* name);
  QLineEdit* Edit(const char* name);

  // `tell`: report what went wrong in a message box.
  void Weigh(bool tell);
  void WeightChanged(bool tell);
  void VolumeChanged();
  void FluidChanged(bool tell);
  void FluxChanged(int index);

  SharedState& state_;
  FlowBenchValues& values_;
  TOperatorInput& input_;
};

// The value of a number field: empty counts as 0, any other text that is
// not a number gives nothing.
std::optional<double> FieldValue(const QLineEdit& edit);

}  // namespace qv
