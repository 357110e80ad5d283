// The bench group of the detection windows: the scale readings, each with
// the button that takes it from the scale, the net weight, the standard
// volume, the flow point the values belong to and the fluid temperature,
// the scale's live reading, with the calibration button ("标定" in the flow
// detection window). The overall detection window's group "体积、温度" adds
// the inlet and outlet temperatures and has no calibration. The fields show
// the selected flow point's values of the window's sheet; the window
// watches them.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace qv {

class TFlowBenchGroup : public QGroupBox {
  Q_OBJECT

 public:
  explicit TFlowBenchGroup(QWidget* parent = nullptr);

  QLineEdit* edtWeight0;
  QLineEdit* edtWeight1;
  QPushButton* btnScaleInitial;
  QPushButton* btnScaleFinal;
  QLabel* lblScale;
  QLineEdit* edtWeight;
  QLineEdit* edtVolume;
  QComboBox* cbxFlux;
  QLineEdit* edtFluxTerm;
  QPushButton* btnCalibration;
  // Made by AddTemperatures.
  QLineEdit* edtEntreTerm = nullptr;
  QLineEdit* edtExitTerm = nullptr;

  // Adds the inlet and outlet temperatures and hides the calibration.
  void AddTemperatures();

 private:
  // Where the live reading goes: the row below the last fields.
  void PlaceScale(int row);
  QLabel* Label(const char* name);
  QLineEdit* Edit(const char* name);
};

}  // namespace qv
