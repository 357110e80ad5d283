// The bench group "标定" of the flow detection window: the scale readings,
// the net weight, the standard volume, the flow point the values belong to
// and the fluid temperature, with the calibration button. The weighing
// follows every real change of the scale readings, the weight and the fluid
// temperature as the operator types; what goes wrong with it (a final
// reading below the initial one, a fluid temperature outside the density
// table) is told once the editing ends, and then the weight, the standard
// volume and the stored standard volume are put back as they were before
// the editing began.
//
// The overall detection window's group "体积、温度" is this group with the
// inlet and outlet temperatures added and no calibration: there the weight
// and the three temperatures are kept per flow point as well, for the
// reference heat.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <optional>

#include "detection/core/flow_bench_values.h"
#include "ui/captions.h"
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
  // Made by AddTemperatures.
  QLineEdit* edtEntreTerm = nullptr;
  QLineEdit* edtExitTerm = nullptr;

  // Adds the inlet and outlet temperatures, kept per flow point, and keeps
  // the weight per flow point too; hides the calibration. A temperature
  // outside the water tables is told once its editing ends (it gives no
  // reference heat).
  void AddTemperatures(const CaptionTable& captions);

 signals:
  // The standard volume of flow point `point` changed.
  void StandardVolumeChanged(int point);
  // The weight or a temperature of flow point `point` changed.
  void BenchChanged(int point);

 private:
  // What an editing of the weighing fields may change.
  struct Before {
    QString weight;
    QString volume;
    QString fluid;
    std::optional<double> standard;
    double fluid_term = 0;
    double mass = 0;
  };

  QLabel* Label(const char* name);
  QLineEdit* Edit(const char* name);

  void Remember();
  void PutBack();
  // The weighing from the scale readings; false when the net is negative.
  bool Weigh();
  void VolumeFromWeight();
  void StoreVolume();
  void FluidChanged();
  void ReadingsFinished();
  void FluidFinished();
  void FluxChanged(int index);
  void TermChanged(QLineEdit* edit, double FlowPointTerm::*term);
  void TermFinished(QLineEdit* edit, const char* label);

  SharedState& state_;
  FlowBenchValues& values_;
  TOperatorInput& input_;
  std::optional<Before> before_;
  // Where messages find the fields' names.
  const CaptionTable* captions_;
};

// The value of a number field: empty counts as 0, any other text that is
// not a number gives nothing.
std::optional<double> FieldValue(const QLineEdit& edit);

}  // namespace qv
